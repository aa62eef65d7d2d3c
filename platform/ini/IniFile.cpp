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
// carried through untouched.
//
// When a section appears more than once, the first one is the section: reads look
// only there and writes go only there, so what is written is what is read back.

namespace vidra {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

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
    QList<Line> lines;
};

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

Parsed classify(const QByteArray& raw)
{
    const QString t = decodeLine(raw).trimmed();
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

Content split(QByteArray bytes)
{
    Content c;
    if (bytes.startsWith(kBom)) {
        c.bom = kBom;
        bytes.remove(0, kBom.size());
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
        const Parsed line = classify(c.lines.at(i).text);
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
QByteArray encodeValue(const QString& value, bool path)
{
    const QString v = oneLine(value);
    const QByteArray bytes = path ? encodePath(v) : v.toUtf8();
    const bool needsQuotes = v != v.trimmed() || unquote(v) != v;
    return needsQuotes ? QByteArray('"' + bytes + '"') : bytes;
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
    const QByteArray& raw = c.lines.at(p.key).text;
    const QString t = (path ? decodePath(raw) : decodeLine(raw)).trimmed();
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
    const QByteArray encoded = encodeValue(value, path);

    // New lines follow the file's own line ends; a new file gets LF.
    QByteArray eol = "\n";
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
        QByteArray& text = c.lines[p.key].text;
        qsizetype start = text.indexOf('=') + 1;
        while (start < text.size() && (text.at(start) == ' ' || text.at(start) == '\t'))
            ++start;
        text = text.left(start) + encoded;
    } else {
        const Line keyLine{k.toUtf8() + '=' + encoded, eol};
        if (p.section >= 0) {
            Line& before = c.lines[p.lastContent];
            if (before.end.isEmpty()) before.end = eol;
            c.lines.insert(p.lastContent + 1, keyLine);
        } else {
            if (!c.lines.isEmpty() && c.lines.back().end.isEmpty()) c.lines.back().end = eol;
            c.lines.append(Line{'[' + sec.toUtf8() + ']', eol});
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
