#include "platform/Utf8.h"

namespace vidra::utf8 {

std::optional<size_t> utf16Length(const char* data, size_t size)
{
    size_t units = 0;
    const char* p = data;
    const char* end = data + size;
    while (p < end) {
        char32_t cp = 0;
        const int len = validSequence(p, end, cp);
        if (len == 0) return std::nullopt;
        units += cp >= 0x10000 ? 2 : 1;
        p += len;
    }
    return units;
}

std::u32string foldedCodePoints(const char* data, size_t size)
{
    std::u32string out;
    out.reserve(size);
    const char* p = data;
    const char* end = data + size;
    while (p < end)
        out.push_back(fold(decode(p, end)));
    return out;
}

std::u32string foldedCodePoints(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return foldedCodePoints(bytes.constData(), size_t(bytes.size()));
}

} // namespace vidra::utf8
