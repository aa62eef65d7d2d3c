#pragma once
// Byte-level UTF-8 helpers: the snapshot stores cells as UTF-8 and
// compares them without building QStrings, folding case over all of Unicode.
#include <QByteArray>
#include <QChar>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vidra::utf8 {

// The length in bytes of the well-formed UTF-8 sequence at p (p < end),
// with its code point in cp; 0 when the bytes there are malformed: a stray
// or missing continuation byte, an overlong form, a surrogate or a value
// past U+10FFFF.
inline int validSequence(const char* p, const char* end, char32_t& cp)
{
    const auto b0 = static_cast<unsigned char>(*p);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    int len;
    char32_t lowest;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        lowest = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        lowest = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (end - p < len) return 0;
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Decodes one code point and advances p; malformed input gives U+FFFD and
// advances by one byte, so any byte string can be scanned safely.
inline char32_t decode(const char*& p, const char* end)
{
    const auto b0 = static_cast<unsigned char>(*p);
    if (b0 < 0x80) {
        ++p;
        return b0;
    }
    char32_t cp = 0;
    const int len = validSequence(p, end, cp);
    if (len == 0) {
        ++p;
        return 0xFFFD;
    }
    p += len;
    return cp;
}

// How many UTF-16 units well-formed UTF-8 text makes (declared column sizes
// count those); nullopt when any of it is malformed (see validSequence).
std::optional<size_t> utf16Length(const char* data, size_t size);

inline char32_t fold(char32_t c)
{
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

// Appends a code point's UTF-8 bytes to any byte string (std::string, QByteArray).
template <class Bytes> inline void append(Bytes& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

inline std::string encode(const std::u32string& codePoints)
{
    std::string out;
    for (char32_t c : codePoints)
        append(out, c);
    return out;
}

// Case-folded code points of a text.
std::u32string foldedCodePoints(const QString& text);
std::u32string foldedCodePoints(const char* data, size_t size);

} // namespace vidra::utf8
