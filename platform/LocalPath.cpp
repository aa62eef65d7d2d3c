#include "platform/LocalPath.h"

#include "platform/Utf8.h"

namespace vidra {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

// The length of the valid UTF-8 sequence starting at p, and its code point;
// 0 when the bytes there are not valid UTF-8 (overlong forms, surrogates and
// values past U+10FFFF included).
int validSequence(const unsigned char* p, qsizetype left, char32_t& cp)
{
    const unsigned char b0 = p[0];
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
    if (left < len) return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

} // namespace

QString decodePath(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            out += QChar(p[i++]);
            continue;
        }
        char32_t cp = 0;
        if (const int len = validSequence(p + i, n - i, cp)) {
            if (cp >= 0x10000) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(char16_t(cp));
            }
            i += len;
        } else {
            // Only the first byte: the next one may start a valid sequence.
            out += QChar(char16_t(kEscapeBase + p[i++]));
        }
    }
    return out;
}

QByteArray encodePath(const QString& path)
{
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = path.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && path.at(i + 1).isLowSurrogate()) {
            utf8::append(out, QChar::surrogateToUcs4(u, path.at(i + 1).unicode()));
            ++i;
        } else if (isEscape(u)) {
            out += char(u - kEscapeBase);
        } else if (QChar::isSurrogate(u)) {
            utf8::append(out, 0xFFFD); // no file name holds half a character
        } else {
            utf8::append(out, u);
        }
    }
    return out;
}

QString displayPath(const QString& path)
{
    QString out = path;
    const qsizetype n = out.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < n && out.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            out[i] = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

} // namespace vidra
