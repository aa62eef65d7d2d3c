// The settings file on arbitrary bytes: every key found is read, one value is
// written, and then
//  - the value written reads back as written (for names the format can hold),
//  - every other key keeps its value,
//  - only one existing line changed, with at most three lines added,
//  - writing the same value again leaves the file byte for byte the same
//    (for names the format can hold),
//  - a number written reads back as that number.
// Input layout (see FuzzedDataProvider): section, key and value as
// backslash-terminated strings, then the file; the last five bytes choose
// what is written and the number.
#include "FuzzScratch.h"
#include "platform/Error.h"
#include "platform/ini/IniFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "fuzz_inifile: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Names as a writer stores them: a line break becomes a blank, then trimmed.
QString stored(QString name)
{
    name.replace(u'\r', u' ');
    name.replace(u'\n', u' ');
    return name.trimmed();
}

// What reading gives back for a written value.
QString expectedValue(const QString& value)
{
    QString v = value;
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    if (v.size() > vidra::IniFile::kMaxValueLength) {
        qsizetype n = vidra::IniFile::kMaxValueLength;
        if (v.at(n - 1).isHighSurrogate()) --n;
        v.truncate(n);
    }
    return v;
}

// A key line "key=value" or a header "[section]" reads back as such only when
// the name cannot be mistaken for other syntax.
bool wellFormedSection(const QString& s)
{
    return !s.contains(u']');
}
bool wellFormedKey(const QString& k)
{
    return !k.contains(u'=') && !k.startsWith(u';') && !k.startsWith(u'[');
}

struct Pair
{
    QString section, key;
};

// A file that starts with a UTF-16 byte-order mark is UTF-16 in that order.
enum class Encoding
{
    Utf8,
    Utf16LE,
    Utf16BE
};

Encoding encodingOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE")) return Encoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF")) return Encoding::Utf16BE;
    return Encoding::Utf8;
}

QByteArray bomOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) return bytes.left(3);
    return encodingOf(bytes) == Encoding::Utf8 ? QByteArray() : bytes.left(2);
}

char16_t unitAt(const QByteArray& bytes, qsizetype i, Encoding e)
{
    const auto a = static_cast<unsigned char>(bytes.at(i));
    const auto b = static_cast<unsigned char>(bytes.at(i + 1));
    return e == Encoding::Utf16BE ? char16_t(a << 8 | b) : char16_t(b << 8 | a);
}

// The lines of the file as text, its byte-order mark taken off.
QStringList textLines(const QByteArray& bytes)
{
    const Encoding e = encodingOf(bytes);
    QStringList out;
    if (e == Encoding::Utf8) {
        const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
        for (const QByteArray& raw : text.split('\n')) {
            // Only the file's first bytes are its byte-order mark; one starting a
            // later line is part of that line's text.
            QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                            QStringDecoder::Flag::Stateless);
            out << QString(decode(raw));
        }
        return out;
    }
    // Code units as they are, then what is not well formed as U+FFFD.
    QString text;
    for (qsizetype i = 2; i + 1 < bytes.size(); i += 2)
        text += QChar(unitAt(bytes, i, e));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar(QChar::ReplacementCharacter);
    }
    if (bytes.size() % 2) text += QChar(QChar::ReplacementCharacter);
    return text.split(u'\n');
}

// The section and key names in the file, found by the usual reading of the
// syntax. A section that appears again is skipped: only the first one counts.
std::vector<Pair> namesIn(const QByteArray& bytes)
{
    std::vector<Pair> out;
    QStringList seen;
    QString section;
    bool inSection = false;
    for (const QString& line : textLines(bytes)) {
        const QString t = line.trimmed();
        if (t.startsWith(u';')) continue;
        if (t.startsWith(u'[')) {
            const qsizetype close = t.indexOf(u']');
            section = t.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = !seen.contains(section, Qt::CaseInsensitive);
            seen << section;
            continue;
        }
        const qsizetype eq = t.indexOf(u'=');
        if (!inSection || eq < 0) continue;
        out.push_back({section, t.left(eq).trimmed()});
        if (out.size() >= 16) break;
    }
    return out;
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) fail("cannot read back", path);
    return f.readAll();
}

QList<QByteArray> linesOf(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    const Encoding e = encodingOf(bytes);
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype nl;
        if (e == Encoding::Utf8) {
            nl = bytes.indexOf('\n', pos);
            nl = nl < 0 ? bytes.size() : nl + 1;
        } else {
            // LF code units only, at whole units from the start.
            nl = pos;
            while (nl + 1 < bytes.size() && unitAt(bytes, nl, e) != u'\n')
                nl += 2;
            nl = nl + 1 < bytes.size() ? nl + 2 : bytes.size();
        }
        lines.append(bytes.mid(pos, nl - pos));
        pos = nl;
    }
    return lines;
}

// At most one old line replaced (a last line may also just gain its line end)
// and at most three lines added: everything else is kept byte for byte.
void checkLocalChange(const QByteArray& before, const QByteArray& after)
{
    const QList<QByteArray> a = linesOf(before), b = linesOf(after);
    qsizetype prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const qsizetype removed = a.size() - prefix - suffix;
    const qsizetype added = b.size() - prefix - suffix;
    if (removed > 1 || added > removed + 3) fail("a write changed more than one line");
    if (bomOf(before) != bomOf(after)) fail("a write changed the byte order mark");
}

const QString kMissing = QStringLiteral("\x01missing\x01");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const uint8_t mode = in.ConsumeIntegral<uint8_t>();
    const int number = in.ConsumeIntegral<int>();
    QString section = fromUtf8(in.ConsumeRandomLengthString(64));
    QString key = fromUtf8(in.ConsumeRandomLengthString(64));
    const QString value = fromUtf8(in.ConsumeRandomLengthString(3000));
    const std::string fileBytes = in.ConsumeRemainingBytesAsString();

    static const std::string path = fuzzsupport::scratchDir() + "/settings.ini";
    static const QString qpath = QString::fromStdString(path);
    fuzzsupport::writeFile(path, reinterpret_cast<const uint8_t*>(fileBytes.data()),
                           fileBytes.size());
    const QByteArray original(fileBytes.data(), qsizetype(fileBytes.size()));
    vidra::IniFile ini(qpath);

    const std::vector<Pair> pairs = namesIn(original);
    std::vector<QString> valuesBefore;
    for (const Pair& p : pairs) {
        valuesBefore.push_back(ini.readString(p.section, p.key, kMissing));
        if (valuesBefore.back() == kMissing) fail("a key in the file was not found", p.key);
        if (valuesBefore.size() <= 4) (void)ini.readInteger(p.section, p.key, 0);
    }

    // Where to write: the given names, or names taken from the file.
    if (!pairs.empty()) {
        const Pair& p = pairs[size_t(mode / 4) % pairs.size()];
        switch (mode % 4) {
        case 1:
            section = p.section;
            key = p.key;
            break;
        case 2:
            section = p.section;
            break;
        case 3:
            key = p.key;
            break;
        default:
            break;
        }
    }
    if (mode & 0x80) {
        section = section.toUpper();
        key = key.toLower();
    }

    try {
        ini.writeString(section, key, value);
    } catch (const vidra::Error& e) {
        fail("writing to a writable file failed", e.message());
    }
    const QByteArray written = readBytes(qpath);
    checkLocalChange(original, written);

    const QString sec = stored(section), k = stored(key);
    const bool wellFormed = wellFormedSection(sec) && wellFormedKey(k);
    // A name with a line break is stored under another name than it is read with.
    const bool sameNames = sec == section.trimmed() && k == key.trimmed();
    if (wellFormed && sameNames) {
        const QString got = ini.readString(section, key, kMissing);
        if (got != expectedValue(value)) fail("the written value does not read back", got);
    }
    if (wellFormed) {
        for (size_t i = 0; i < pairs.size(); ++i) {
            const Pair& p = pairs[i];
            if (sameName(p.section, sec) && sameName(p.key, k)) continue;
            if (ini.readString(p.section, p.key, kMissing) != valuesBefore[i])
                fail("another key changed its value", p.key);
        }
    }

    try {
        ini.writeString(section, key, value);
    } catch (const vidra::Error& e) {
        fail("writing to a writable file failed", e.message());
    }
    // A name that reads back as another name is not found again, so it is added again.
    if (wellFormed && readBytes(qpath) != written)
        fail("writing the same value again changed the file");

    try {
        ini.writeInteger(section, key, number);
    } catch (const vidra::Error& e) {
        fail("writing to a writable file failed", e.message());
    }
    if (wellFormed && sameNames && ini.readInteger(section, key, number ^ 1) != number)
        fail("the written number does not read back");
    return 0;
}
