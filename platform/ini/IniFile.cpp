#include "platform/ini/IniFile.h"

#include "platform/Error.h"
#include "platform/LocalPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>
#include <limits>
#include <optional>
#include <utility>

// The file is kept as raw lines so a write can change one line (or add some) and
// put every other byte back exactly as it was. Names are compared after decoding
// each line as UTF-8; bytes that are not valid UTF-8 never match a name but are
// carried through untouched. A file that starts with a UTF-16 byte-order mark
// (as the platform's profile routines and Windows editors write them) is read
// as UTF-16 in its byte order, and what a write adds is written in it too.
//
// When a section appears more than once, the first one is the section: reads look
// only there and writes go only there, so what is written is what is read back.

namespace vidra {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");
const QByteArray kBomUtf16LE("\xFF\xFE");
const QByteArray kBomUtf16BE("\xFE\xFF");

enum class Encoding
{
    Utf8,
    Utf16LE,
    Utf16BE
};

// A line's text. The file's own byte-order mark is taken off before lines
// are split; one at the start of a line belongs to the name written there,
// which plain decoding would silently drop.
QString decodeLine(const QByteArray& raw)
{
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                    QStringDecoder::Flag::Stateless);
    return decode(raw);
}

struct Line
{
    QByteArray text; // without its line end
    QByteArray end;  // "\n", "\r\n" or empty for a last line without one
};

struct Content
{
    QByteArray bom;
    Encoding encoding = Encoding::Utf8;
    QList<Line> lines;
};

bool isUtf16(Encoding e)
{
    return e != Encoding::Utf8;
}

// The UTF-16 code unit at byte offset i (i + 1 within the bytes).
char16_t unitAt(const QByteArray& bytes, qsizetype i, Encoding e)
{
    const auto a = static_cast<unsigned char>(bytes.at(i));
    const auto b = static_cast<unsigned char>(bytes.at(i + 1));
    return e == Encoding::Utf16BE ? char16_t(a << 8 | b) : char16_t(b << 8 | a);
}

// A line's text in the file's encoding. UTF-16 text that is not well formed
// (a lone surrogate, a last odd byte) reads as U+FFFD, except that a path keeps
// its code units as they are.
QString decodeText(const QByteArray& raw, Encoding e, bool path)
{
    if (!isUtf16(e)) return path ? decodePath(raw) : decodeLine(raw);
    QString out;
    out.reserve(raw.size() / 2 + 1);
    for (qsizetype i = 0; i + 1 < raw.size(); i += 2)
        out += QChar(unitAt(raw, i, e));
    if (!path) {
        for (qsizetype i = 0; i < out.size(); ++i) {
            if (out.at(i).isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate())
                ++i;
            else if (out.at(i).isSurrogate())
                out[i] = QChar(QChar::ReplacementCharacter);
        }
    }
    if (raw.size() % 2) out += QChar(QChar::ReplacementCharacter);
    return out;
}

QByteArray encodeText(const QString& text, Encoding e, bool path)
{
    if (!isUtf16(e)) return path ? encodePath(text) : text.toUtf8();
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out += e == Encoding::Utf16BE ? hi : lo;
        out += e == Encoding::Utf16BE ? lo : hi;
    }
    return out;
}

enum class Kind
{
    Blank,
    Comment,
    Section,
    Key,
    Other
};

struct Parsed
{
    Kind kind = Kind::Other;
    QString name; // section name or key, trimmed
};

Parsed classify(const QByteArray& raw, Encoding e)
{
    const QString t = decodeText(raw, e, false).trimmed();
    if (t.isEmpty()) return {Kind::Blank, {}};
    if (t.startsWith(u';')) return {Kind::Comment, {}};
    if (t.startsWith(u'[')) {
        // A header without its closing bracket still names a section.
        const qsizetype close = t.indexOf(u']');
        return {Kind::Section, t.mid(1, close < 0 ? -1 : close - 1).trimmed()};
    }
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0) return {Kind::Other, {}};
    return {Kind::Key, t.left(eq).trimmed()};
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Lines of a UTF-16 file: split at LF code units, with a CR unit before one
// kept in the line end; a last odd byte stays with the last line.
void splitUtf16(Content& c, const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype nl = pos;
        while (nl + 1 < n && unitAt(bytes, nl, c.encoding) != u'\n')
            nl += 2;
        Line line;
        if (nl + 1 >= n) {
            line.text = bytes.mid(pos);
            pos = n;
        } else {
            qsizetype stop = nl;
            if (stop > pos && unitAt(bytes, stop - 2, c.encoding) == u'\r') stop -= 2;
            line.text = bytes.mid(pos, stop - pos);
            line.end = bytes.mid(stop, nl + 2 - stop);
            pos = nl + 2;
        }
        c.lines.append(line);
    }
}

Content split(QByteArray bytes)
{
    Content c;
    if (bytes.startsWith(kBom)) {
        c.bom = kBom;
    } else if (bytes.startsWith(kBomUtf16LE)) {
        c.bom = kBomUtf16LE;
        c.encoding = Encoding::Utf16LE;
    } else if (bytes.startsWith(kBomUtf16BE)) {
        c.bom = kBomUtf16BE;
        c.encoding = Encoding::Utf16BE;
    }
    bytes.remove(0, c.bom.size());
    if (isUtf16(c.encoding)) {
        splitUtf16(c, bytes);
        return c;
    }
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', pos);
        Line line;
        if (nl < 0) {
            line.text = bytes.mid(pos);
            pos = bytes.size();
        } else {
            qsizetype stop = nl;
            if (stop > pos && bytes.at(stop - 1) == '\r') --stop;
            line.text = bytes.mid(pos, stop - pos);
            line.end = bytes.mid(stop, nl + 1 - stop);
            pos = nl + 1;
        }
        c.lines.append(line);
    }
    return c;
}

// Where a key sits, or would go, within the first matching section.
struct Place
{
    qsizetype section = -1;     // header line, -1 when the section is missing
    qsizetype key = -1;         // first line of the key, -1 when missing
    qsizetype lastContent = -1; // last line of the section that is not blank or comment
};

Place locate(const Content& c, const QString& section, const QString& key)
{
    Place p;
    for (qsizetype i = 0; i < c.lines.size(); ++i) {
        const Parsed line = classify(c.lines.at(i).text, c.encoding);
        if (p.section < 0) {
            if (line.kind == Kind::Section && sameName(line.name, section))
                p.section = p.lastContent = i;
            continue;
        }
        if (line.kind == Kind::Section) break;
        if (line.kind == Kind::Blank || line.kind == Kind::Comment) continue;
        p.lastContent = i;
        if (p.key < 0 && line.kind == Kind::Key && sameName(line.name, key)) p.key = i;
    }
    return p;
}

std::optional<QByteArray> readAll(const QString& fileName)
{
    // Only a plain file: a folder cannot be read, a pipe would block, a device never end.
    if (!QFileInfo(fileName).isFile()) return std::nullopt;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

QString unquote(const QString& v)
{
    if (v.size() >= 2) {
        const QChar first = v.front();
        if ((first == u'"' || first == u'\'') && v.back() == first) return v.mid(1, v.size() - 2);
    }
    return v;
}

QString cut(QString v)
{
    if (v.size() > IniFile::kMaxValueLength) {
        qsizetype n = IniFile::kMaxValueLength;
        // Do not leave half of a character outside the basic plane.
        if (v.at(n - 1).isHighSurrogate()) --n;
        v.truncate(n);
    }
    return v;
}

// A line break inside a name or value would split the line and change the
// file's structure, so it is stored as a blank.
QString oneLine(QString s)
{
    s.replace(u'\r', u' ');
    s.replace(u'\n', u' ');
    return s;
}

// Reading trims and unquotes; a value that those steps would alter is written
// inside double quotes so that it reads back as written. Plain values stay plain.
// A path's bytes go back as they came (LocalPath.h).
QByteArray encodeValue(const QString& value, Encoding e, bool path)
{
    const QString v = oneLine(value);
    const bool needsQuotes = v != v.trimmed() || unquote(v) != v;
    const QByteArray quote =
        needsQuotes ? encodeText(QStringLiteral("\""), e, false) : QByteArray();
    return quote + encodeText(v, e, path) + quote;
}

std::optional<int> parseInteger(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    int base = 10;
    if (t.startsWith(u"0x", Qt::CaseInsensitive)) {
        base = 16;
        i = 2;
    } else if (t.startsWith(u'+') || t.startsWith(u'-')) {
        negative = t.front() == u'-';
        i = 1;
    }
    if (i >= t.size()) return std::nullopt;
    // Magnitude limit: one more for a negative number so INT_MIN fits.
    const qint64 limit = qint64(std::numeric_limits<int>::max()) + (negative ? 1 : 0);
    qint64 n = 0;
    for (; i < t.size(); ++i) {
        const char16_t ch = t.at(i).unicode();
        int digit;
        if (ch >= u'0' && ch <= u'9')
            digit = ch - u'0';
        else if (base == 16 && ch >= u'a' && ch <= u'f')
            digit = ch - u'a' + 10;
        else if (base == 16 && ch >= u'A' && ch <= u'F')
            digit = ch - u'A' + 10;
        else
            return std::nullopt;
        n = n * base + digit;
        if (n > limit) return std::nullopt;
    }
    return int(negative ? -n : n);
}

[[noreturn]] void failWrite(const QString& fileName)
{
    const QString full =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(fileName).absoluteFilePath()));
    throw Error(QStringLiteral("Unable to write to %1").arg(full));
}

} // namespace

IniFile::IniFile(QString fileName) : m_fileName(std::move(fileName)) {}

bool IniFile::contains(const QString& section, const QString& key) const
{
    const std::optional<QByteArray> bytes = readAll(m_fileName);
    if (!bytes) return false;
    return locate(split(*bytes), section.trimmed(), key.trimmed()).key >= 0;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    return readValue(section, key, def, false);
}

QString IniFile::readPath(const QString& section, const QString& key, const QString& def) const
{
    return readValue(section, key, def, true);
}

QString IniFile::readValue(const QString& section, const QString& key, const QString& def,
                           bool path) const
{
    const std::optional<QByteArray> bytes = readAll(m_fileName);
    if (!bytes) return def;
    const Content c = split(*bytes);
    const Place p = locate(c, section.trimmed(), key.trimmed());
    if (p.key < 0) return def;
    const QString t = decodeText(c.lines.at(p.key).text, c.encoding, path).trimmed();
    return cut(unquote(t.mid(t.indexOf(u'=') + 1).trimmed()));
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const
{
    return parseInteger(readString(section, key, QString())).value_or(def);
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    writeValue(section, key, value, false);
}

void IniFile::writePath(const QString& section, const QString& key, const QString& path)
{
    writeValue(section, key, path, true);
}

void IniFile::writeValue(const QString& section, const QString& key, const QString& value,
                         bool path)
{
    // Anything at the path that cannot be read (a folder, a locked file) is not
    // overwritten: its contents would be lost.
    Content c;
    if (QFileInfo::exists(m_fileName)) {
        const std::optional<QByteArray> bytes = readAll(m_fileName);
        if (!bytes) failWrite(m_fileName);
        c = split(*bytes);
    }

    const QString sec = oneLine(section).trimmed();
    const QString k = oneLine(key).trimmed();
    const Encoding e = c.encoding;
    const QByteArray encoded = encodeValue(value, e, path);
    const auto text = [e](const QString& t) { return encodeText(t, e, false); };

    // New lines follow the file's own line ends; a new file gets LF.
    QByteArray eol = text(QStringLiteral("\n"));
    for (const Line& line : std::as_const(c.lines)) {
        if (!line.end.isEmpty()) {
            eol = line.end;
            break;
        }
    }

    const Place p = locate(c, sec, k);
    if (p.key >= 0) {
        // Keep everything up to the '=' and the blanks after it: the key's spelling,
        // its indentation and the line end stay as they were.
        QByteArray& line = c.lines[p.key].text;
        const qsizetype unit = isUtf16(e) ? 2 : 1;
        const auto charAt = [&](qsizetype i) {
            return isUtf16(e) ? unitAt(line, i, e) : char16_t(static_cast<uchar>(line.at(i)));
        };
        // The line holds an '=', being a key line.
        qsizetype start = 0;
        while (start + unit <= line.size() && charAt(start) != u'=')
            start += unit;
        start += unit;
        while (start + unit <= line.size() && (charAt(start) == u' ' || charAt(start) == u'\t'))
            start += unit;
        line = line.left(start) + encoded;
    } else {
        // A last odd byte of a UTF-16 file, which reads as U+FFFD, is written
        // as that character before a line end follows it: what follows stays
        // aligned and the line reads as before.
        const auto endLine = [&](Line& line) {
            if (!line.end.isEmpty()) return;
            if (isUtf16(e) && line.text.size() % 2) {
                line.text.chop(1);
                line.text += text(QString(QChar(QChar::ReplacementCharacter)));
            }
            line.end = eol;
        };
        const Line keyLine{text(k) + text(QStringLiteral("=")) + encoded, eol};
        if (p.section >= 0) {
            endLine(c.lines[p.lastContent]);
            c.lines.insert(p.lastContent + 1, keyLine);
        } else {
            if (!c.lines.isEmpty()) endLine(c.lines.back());
            c.lines.append(Line{text(QStringLiteral("[") + sec + QStringLiteral("]")), eol});
            c.lines.append(keyLine);
        }
    }

    QByteArray out = c.bom;
    for (const Line& line : std::as_const(c.lines))
        out += line.text + line.end;

    QSaveFile f(m_fileName);
    // A writable file in a folder where no temporary file can be made is still written.
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.commit())
        failWrite(m_fileName);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

} // namespace vidra
