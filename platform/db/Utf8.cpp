#include "platform/db/Utf8.h"

namespace vidra::utf8 {

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
