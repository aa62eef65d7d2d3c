#include "platform/LocalPath.h"

#include "platform/Utf8.h"

namespace vidra {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

} // namespace

QString decodePath(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    while (p < end) {
        char32_t cp = 0;
        if (const int len = utf8::validSequence(p, end, cp)) {
            if (cp >= 0x10000) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(char16_t(cp));
            }
            p += len;
        } else {
            // Only the first byte: the next one may start a valid sequence.
            out += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(*p++)));
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
