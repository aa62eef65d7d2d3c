#include "tools/Import.h"

#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/legacy/LegacyReader.h"
#include "tools/DbFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace vidradb {

namespace {

using vidra::legacy::Cell;
const volatile std::sig_atomic_t* g_stop = nullptr;
constexpr size_t kFields = vidra::kSubscriberFields.size();
static_assert(kFields == 5);

// ------------------------------------------------------------- arguments

int fieldIndex(const QString& name)
{
    for (size_t i = 0; i < kFields; ++i)
        if (name.compare(QLatin1String(vidra::kSubscriberFields[i].name), Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QString fieldName(size_t i)
{
    return QLatin1String(vidra::kSubscriberFields[i].name);
}

void addMap(ImportOptions& o, const QString& text)
{
    for (const QString& pair : text.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        const QString key = pair.left(eq).trimmed();
        const int f = fieldIndex(key);
        if (eq < 0 || f < 0)
            throw UsageError{QStringLiteral("--map expects FIELD=COLUMN pairs with FIELD one of "
                                            "Telefon, Vlasnik, Adresa, Mesto, Napomena, not %1")
                                 .arg(quoted(pair))};
        const QString column = pair.mid(eq + 1).trimmed();
        if (column.isEmpty())
            throw UsageError{
                QStringLiteral("--map names no column for %1").arg(fieldName(size_t(f)))};
        if (!o.map[size_t(f)].isEmpty())
            throw UsageError{QStringLiteral("--map names %1 twice").arg(fieldName(size_t(f)))};
        o.map[size_t(f)] = column;
    }
}

// --------------------------------------------------------------- text

// Whether bytes are UTF-8, and how many UTF-16 units they make: declared
// sizes count those, as the program does.
std::optional<size_t> utf16Length(const char* data, size_t n)
{
    size_t units = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + n;
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            ++units;
            continue;
        }
        int len;
        unsigned cp;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return std::nullopt;
        }
        if (end - p < len) return std::nullopt;
        for (int i = 1; i < len; ++i) {
            if ((p[i] & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        static constexpr unsigned kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        units += cp >= 0x10000 ? 2 : 1;
        p += len;
    }
    return units;
}

bool blank(const Cell& c)
{
    if (c.null) return true;
    for (size_t i = 0; i < c.size; ++i)
        if (!std::strchr(" \t\r\n", c.data[i])) return false;
    return true;
}

QString text(const Cell& c)
{
    return c.null ? QString() : QString::fromUtf8(c.data, qsizetype(c.size));
}

QString csvQuoted(const QString& s)
{
    if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString q = s;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

// ------------------------------------------------------------- progress

// A bar on a terminal for inputs that take a while; nothing otherwise.
class Progress
{
public:
    explicit Progress(bool large) : m_on(large && ::isatty(STDERR_FILENO)) { m_timer.start(); }
    void update(double fraction)
    {
        if (!m_on || m_timer.elapsed() - m_last < 200) return;
        m_last = m_timer.elapsed();
        const int pct = int(std::clamp(fraction, 0.0, 1.0) * 100);
        char bar[41];
        for (int i = 0; i < 40; ++i)
            bar[i] = i < pct * 40 / 100 ? '#' : '.';
        bar[40] = 0;
        std::fprintf(stderr, "\r[%s] %3d%%", bar, pct);
        std::fflush(stderr);
        m_shown = true;
    }
    ~Progress()
    {
        if (m_shown) std::fputs("\r\033[K", stderr);
    }

private:
    bool m_on;
    bool m_shown = false;
    QElapsedTimer m_timer;
    qint64 m_last = -1000;
};

// ------------------------------------------------------------- the rules

enum Reason
{
    EmptyNumber,
    MissingOwner,
    MissingAddress,
    TooLong,
    DuplicateNumber,
    WrongFieldCount,
    kReasonCount
};

const char* const kReasonText[kReasonCount] = {
    "empty number",     "missing owner",
    "missing address",  "value longer than the declared size",
    "duplicate number", "wrong number of fields",
};

class Importer
{
public:
    Importer(const QString& tempPath, const QString& reportPath) : m_db(tempPath)
    {
        // A brand-new file nobody else can see yet: no journal; it is synced
        // before it takes its name.
        m_db.exec(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; "
                                 "PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=-65536;"));
        m_db.exec(QStringLiteral("BEGIN"));
        m_indexes = m_db.execDeferringIndexes(vidra::subscriberTableDdl());
        m_db.prepareInsert();
        if (!reportPath.isEmpty()) {
            m_report.emplace(reportPath);
            if (!m_report->open(QIODevice::WriteOnly))
                throw Failure{QStringLiteral("cannot write %1: %2")
                                  .arg(quoted(reportPath), m_report->errorString())};
            m_report->write("row,reason,Telefon,Vlasnik,Adresa,Mesto,Napomena\n");
        }
    }

    void add(qint64 row, const std::array<Cell, kFields>& v)
    {
        ++m_rows;
        if (blank(v[0])) return skip(row, EmptyNumber, v, QString());
        if (blank(v[1])) return skip(row, MissingOwner, v, QString());
        if (blank(v[2])) return skip(row, MissingAddress, v, QString());
        for (size_t i = 0; i < kFields; ++i) {
            const int size = vidra::kSubscriberFields[i].size;
            if (v[i].null || size <= 0) continue;
            const auto n = utf16Length(v[i].data, v[i].size);
            if (!n)
                throw Failure{
                    QStringLiteral("row %1: %2 is not UTF-8 text").arg(row).arg(fieldName(i))};
            if (*n > size_t(size))
                return skip(row, TooLong, v,
                            QStringLiteral("%1 has %2 characters, at most %3 fit")
                                .arg(fieldName(i))
                                .arg(*n)
                                .arg(size));
        }
        if (!v[4].null && !utf16Length(v[4].data, v[4].size))
            throw Failure{QStringLiteral("row %1: Napomena is not UTF-8 text").arg(row)};
        // A number belongs to the first row that was imported with it.
        const auto [it, fresh] = m_numbers.try_emplace(std::string(v[0].data, v[0].size), row);
        if (!fresh)
            return skip(row, DuplicateNumber, v, QStringLiteral("first on row %1").arg(it->second));
        std::array<const char*, kFields> data{};
        std::array<size_t, kFields> size{};
        for (size_t i = 0; i < kFields; ++i) {
            data[i] = v[i].null ? nullptr : (v[i].size ? v[i].data : "");
            size[i] = v[i].size;
        }
        m_db.insertUtf8(data, size);
        ++m_imported;
    }

    void skip(qint64 row, Reason why, const std::array<Cell, kFields>& v, const QString& detail)
    {
        ++m_skipped[why];
        QString reason = QLatin1String(kReasonText[why]);
        if (!detail.isEmpty()) reason += QStringLiteral(" (") + detail + u')';
        if (m_examples.size() < 10)
            m_examples << QStringLiteral("  row %1: %2%3")
                              .arg(row)
                              .arg(reason)
                              .arg(blank(v[0]) ? QString()
                                               : QStringLiteral(", number ") + text(v[0]));
        if (m_report) {
            QString line = QString::number(row) + u',' + csvQuoted(reason);
            for (const Cell& c : v)
                line += u',' + csvQuoted(text(c));
            m_report->write((line + u'\n').toUtf8());
        }
    }
    void countRow() { ++m_rows; }
    // Room for the numbers up front: growing a million-entry set step by
    // step costs more than the rows' checks.
    void expect(std::uint64_t rows)
    {
        m_numbers.reserve(size_t(std::min<std::uint64_t>(rows, 50'000'000)));
    }

    void finish(TempFile& temp, const QString& dest, bool force)
    {
        for (const QString& sql : m_indexes)
            m_db.exec(sql);
        m_db.exec(QStringLiteral("COMMIT"));
        m_db.close();
        temp.moveTo(dest, force);
        if (m_report && !m_report->commit())
            throw Failure{
                QStringLiteral("the directory was written, but the report %1 could not be: "
                               "%2")
                    .arg(quoted(m_report->fileName()), m_report->errorString())};
    }

    qint64 rows() const { return m_rows; }
    qint64 imported() const { return m_imported; }
    qint64 skipped(Reason r) const { return m_skipped[r]; }
    qint64 skippedTotal() const
    {
        qint64 n = 0;
        for (qint64 s : m_skipped)
            n += s;
        return n;
    }
    const QStringList& examples() const { return m_examples; }

private:
    Database m_db;
    QStringList m_indexes;
    std::optional<QSaveFile> m_report;
    std::unordered_map<std::string, qint64> m_numbers;
    qint64 m_rows = 0;
    qint64 m_imported = 0;
    qint64 m_skipped[kReasonCount] = {};
    QStringList m_examples;
};

// Which source column feeds each field: -1 for none (left null).
std::array<int, kFields> resolveColumns(const ImportOptions& o, const QStringList& columns,
                                        const QString& where, QStringList& notes)
{
    std::array<int, kFields> at{};
    for (size_t i = 0; i < kFields; ++i) {
        const bool mapped = !o.map[i].isEmpty();
        const QString want = mapped ? o.map[i] : fieldName(i);
        at[i] = -1;
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (columns[c].compare(want, Qt::CaseInsensitive) == 0) {
                at[i] = int(c);
                break;
            }
        }
        if (at[i] >= 0) continue;
        // Telefon, Vlasnik and Adresa are required by the record rules.
        if (mapped || i < 3) {
            QStringList names;
            for (const QString& c : columns)
                names << quoted(c);
            throw Failure{
                QStringLiteral("%1 has no column %2 for %3 (its columns are: %4)%5")
                    .arg(
                        where, quoted(want), fieldName(i), names.join(QStringLiteral(", ")),
                        mapped
                            ? QString()
                            : QStringLiteral("; name one with --map %1=COLUMN").arg(fieldName(i)))};
        }
        notes << QStringLiteral("%1 has no column %2: %2 is left empty").arg(where, fieldName(i));
    }
    return at;
}

// ------------------------------------------------------------------ CSV

class CsvReader
{
public:
    CsvReader(const char* data, size_t size) : m_p(data), m_begin(data), m_end(data + size)
    {
        if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) m_p += 3;
        m_delimiter = guessDelimiter();
    }

    // The next record; false at the end. Fields point into the input or
    // into the reader's own storage, valid until the next call.
    bool next(std::vector<Cell>& fields)
    {
        fields.clear();
        m_scratchUsed = 0;
        // Blank lines are not records.
        while (m_p < m_end && (*m_p == '\n' || *m_p == '\r')) {
            if (*m_p == '\n') ++m_line;
            ++m_p;
        }
        if (m_p >= m_end) return false;
        m_recordLine = m_line;
        for (;;) {
            fields.push_back(field());
            if (m_p >= m_end) return true;
            const char c = *m_p++;
            if (c == m_delimiter) continue;
            if (c == '\r' && m_p < m_end && *m_p == '\n') ++m_p;
            ++m_line;
            return true;
        }
    }
    qint64 recordLine() const { return m_recordLine; }
    double fraction() const
    {
        return m_end == m_begin ? 1.0 : double(m_p - m_begin) / double(m_end - m_begin);
    }

private:
    Cell field()
    {
        if (m_p < m_end && *m_p == '"') {
            const qint64 startLine = m_line;
            ++m_p;
            const char* start = m_p;
            std::string* copy = nullptr;
            for (;;) {
                const char* q =
                    static_cast<const char*>(std::memchr(m_p, '"', size_t(m_end - m_p)));
                if (!q)
                    throw Failure{
                        QStringLiteral("line %1: a quoted field is not closed").arg(startLine)};
                for (const char* s = m_p; s < q; ++s)
                    if (*s == '\n') ++m_line;
                if (q + 1 < m_end && q[1] == '"') {
                    // A doubled quote: from here on the field is a copy.
                    if (!copy) copy = &scratch();
                    copy->append(m_p, size_t(q + 1 - m_p));
                    m_p = q + 2;
                    continue;
                }
                if (copy) copy->append(m_p, size_t(q - m_p));
                const char* stop = q;
                m_p = q + 1;
                if (m_p < m_end && *m_p != m_delimiter && *m_p != '\n' && *m_p != '\r')
                    throw Failure{
                        QStringLiteral("line %1: text follows a closing quote").arg(m_line)};
                if (copy) return Cell{copy->data(), copy->size(), false};
                return Cell{start, size_t(stop - start), false};
            }
        }
        const char* start = m_p;
        while (m_p < m_end && *m_p != m_delimiter && *m_p != '\n' && *m_p != '\r')
            ++m_p;
        // An empty field without quotes is no value at all.
        if (m_p == start) return Cell{};
        return Cell{start, size_t(m_p - start), false};
    }

    std::string& scratch()
    {
        if (m_scratchUsed == m_scratch.size()) m_scratch.emplace_back();
        std::string& s = m_scratch[m_scratchUsed++];
        s.clear();
        return s;
    }

    // The header line tells: the one of , ; and TAB it holds most of,
    // outside quotes; a comma when it holds none.
    char guessDelimiter() const
    {
        int comma = 0, semicolon = 0, tab = 0;
        bool inQuotes = false;
        for (const char* p = m_p; p < m_end; ++p) {
            if (*p == '"') inQuotes = !inQuotes;
            if (inQuotes) continue;
            if (*p == '\n' || *p == '\r') break;
            comma += *p == ',';
            semicolon += *p == ';';
            tab += *p == '\t';
        }
        if (semicolon > comma && semicolon >= tab) return ';';
        if (tab > comma && tab > semicolon) return '\t';
        return ',';
    }

    const char* m_p;
    const char* m_begin;
    const char* m_end;
    char m_delimiter = ',';
    qint64 m_line = 1;
    qint64 m_recordLine = 1;
    // std::deque would do; a vector of strings reused keeps their buffers.
    std::vector<std::string> m_scratch;
    size_t m_scratchUsed = 0;
};

void importCsv(const ImportOptions& o, Importer& importer, QStringList& notes)
{
    QFile f(o.source);
    if (!f.open(QIODevice::ReadOnly))
        throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(o.source), f.errorString())};
    const qint64 size = f.size();
    const char* data = "";
    if (size > 0) {
        data = reinterpret_cast<const char*>(f.map(0, size));
        if (!data)
            throw Failure{
                QStringLiteral("cannot read %1: %2").arg(quoted(o.source), f.errorString())};
    }
    if (std::memchr(data, 0, size_t(std::min<qint64>(size, 1 << 16))))
        throw Failure{QStringLiteral("%1 is neither an Access file nor a CSV text file")
                          .arg(quoted(o.source))};
    CsvReader csv(data, size_t(size));
    std::vector<Cell> fields;
    if (!csv.next(fields))
        throw Failure{
            QStringLiteral("%1 is empty: a CSV file needs a header line").arg(quoted(o.source))};
    QStringList header;
    for (const Cell& c : fields) {
        if (!c.null && !utf16Length(c.data, c.size))
            throw Failure{
                QStringLiteral("the header line of %1 is not UTF-8 text").arg(quoted(o.source))};
        header << text(c).trimmed();
    }
    const auto at = resolveColumns(o, header, quoted(o.source), notes);
    Progress progress(size > (8 << 20));
    importer.expect(std::uint64_t(size) / 48);
    std::array<Cell, kFields> v{};
    while (csv.next(fields)) {
        for (size_t i = 0; i < kFields; ++i)
            v[i] = at[i] >= 0 && size_t(at[i]) < fields.size() ? fields[size_t(at[i])] : Cell{};
        if (fields.size() != size_t(header.size())) {
            importer.countRow();
            importer.skip(
                csv.recordLine(), WrongFieldCount, v,
                QStringLiteral("%1, the header has %2").arg(fields.size()).arg(header.size()));
        } else {
            importer.add(csv.recordLine(), v);
        }
        if (*g_stop) throw Failure{QStringLiteral("interrupted")};
        progress.update(csv.fraction());
    }
}

} // namespace

namespace {

// ------------------------------------------------------------ Access

void importAccess(const ImportOptions& o, Importer& importer, QStringList& notes)
{
    vidra::legacy::Request request;
    request.file = o.source;
    request.table = o.table.isEmpty() ? QLatin1String(vidra::kSubscriberTable) : o.table;
    request.codePage = o.codePage;
    std::array<int, kFields> at{};
    std::optional<Progress> progress;
    std::uint64_t expected = 0;
    qint64 row = 0;
    std::array<Cell, kFields> v{};
    const QString where =
        QStringLiteral("table %1 of %2").arg(quoted(request.table), quoted(o.source));
    try {
        vidra::legacy::readTable(
            request,
            [&](const std::vector<vidra::legacy::Column>& columns, std::uint64_t rows) {
                QStringList names;
                for (const auto& c : columns)
                    names << c.name;
                at = resolveColumns(o, names, where, notes);
                for (size_t i = 0; i < kFields; ++i)
                    if (at[i] >= 0 &&
                        columns[size_t(at[i])].kind == vidra::legacy::ColumnKind::Binary)
                        throw Failure{QStringLiteral("column %1 of %2 holds binary data, not text")
                                          .arg(quoted(columns[size_t(at[i])].name), where)};
                expected = rows;
                importer.expect(rows);
                progress.emplace(rows > 50000);
            },
            [&](const std::vector<Cell>& cells) {
                ++row;
                for (size_t i = 0; i < kFields; ++i)
                    v[i] = at[i] >= 0 ? cells[size_t(at[i])] : Cell{};
                importer.add(row, v);
                if (*g_stop) throw Failure{QStringLiteral("interrupted")};
                if (expected) progress->update(double(row) / double(expected));
            },
            [&](const QString& damage) { notes << damage; });
    } catch (const vidra::DbError& e) {
        throw Failure{e.message()};
    }
}

} // namespace

ImportOptions parseImportArguments(const QStringList& args)
{
    ImportOptions o;
    QStringList files;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(u'-') || arg == QLatin1String("-")) {
            files << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg == QLatin1String("--force")) {
            o.force = true;
            continue;
        }
        const qsizetype eq = arg.indexOf(u'=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        static const QStringList valued{"--table", "--map", "--report", "--codepage"};
        if (!valued.contains(name))
            throw UsageError{QStringLiteral("unknown option %1").arg(quoted(arg))};
        const QString value = optionValue(args, i);
        if (name == QLatin1String("--map")) {
            addMap(o, value);
        } else if (name == QLatin1String("--table")) {
            if (value.isEmpty()) throw UsageError{QStringLiteral("--table needs a name")};
            o.table = value;
        } else if (name == QLatin1String("--report")) {
            if (value.isEmpty()) throw UsageError{QStringLiteral("--report needs a file name")};
            o.report = value;
        } else {
            bool ok = false;
            o.codePage = value.toInt(&ok);
            if (!ok || o.codePage <= 0 || o.codePage > 65535)
                throw UsageError{
                    QStringLiteral("--codepage expects a Windows code page number such "
                                   "as 1250, not %1")
                        .arg(quoted(value))};
        }
    }
    if (files.size() < 2) throw UsageError{QStringLiteral("import needs SOURCE and DEST")};
    if (files.size() > 2)
        throw UsageError{QStringLiteral("unexpected argument %1").arg(quoted(files[2]))};
    if (files[0].isEmpty() || files[1].isEmpty())
        throw UsageError{QStringLiteral("SOURCE and DEST must not be empty")};
    o.source = files[0];
    o.dest = files[1];
    return o;
}

void runImport(const ImportOptions& o, const volatile std::sig_atomic_t& interrupted)
{
    g_stop = &interrupted;
    const QFileInfo source(o.source);
    if (!source.exists()) throw Failure{QStringLiteral("%1 does not exist").arg(quoted(o.source))};
    if (source.isDir()) throw Failure{QStringLiteral("%1 is a folder").arg(quoted(o.source))};
    const QFileInfo dest(o.dest);
    if (dest.exists() && dest.canonicalFilePath() == source.canonicalFilePath())
        throw Failure{QStringLiteral("SOURCE and DEST are the same file")};
    if (o.report.size() && QFileInfo(o.report).absoluteFilePath() == source.absoluteFilePath())
        throw Failure{QStringLiteral("the report would overwrite SOURCE")};
    checkTarget(o.dest, o.force);

    QFile probe(o.source);
    if (!probe.open(QIODevice::ReadOnly))
        throw Failure{
            QStringLiteral("cannot read %1: %2").arg(quoted(o.source), probe.errorString())};
    const QByteArray head = probe.read(64);
    probe.close();
    const bool access =
        vidra::legacy::probeJetHeader(reinterpret_cast<const unsigned char*>(head.constData()),
                                      size_t(head.size()))
            .version != vidra::legacy::JetVersion::None;
    if (!access && head.startsWith(QByteArrayLiteral("SQLite format 3")))
        throw Failure{QStringLiteral("%1 is already a directory file; there is nothing to import")
                          .arg(quoted(o.source))};
    if (!access && (!o.table.isEmpty() || o.codePage))
        throw UsageError{
            QStringLiteral("--table and --codepage are for Access files; %1 is read as "
                           "CSV")
                .arg(quoted(o.source))};

    TempFile temp(o.dest);
    QStringList notes;
    Importer importer(temp.path(), o.report);
    if (access)
        importAccess(o, importer, notes);
    else
        importCsv(o, importer, notes);
    if (interrupted) throw Failure{QStringLiteral("interrupted")};
    importer.finish(temp, o.dest, o.force);

    QString out;
    for (const QString& n : notes)
        out += QStringLiteral("Note: ") + n + u'\n';
    out += QStringLiteral("Imported %1 of %2 rows from %3 into %4.\n")
               .arg(importer.imported())
               .arg(importer.rows())
               .arg(quoted(o.source), quoted(o.dest));
    if (importer.skippedTotal() > 0) {
        out +=
            QStringLiteral("Skipped %1 %2:\n")
                .arg(importer.skippedTotal())
                .arg(importer.skippedTotal() == 1 ? QStringLiteral("row") : QStringLiteral("rows"));
        for (int r = 0; r < kReasonCount; ++r)
            if (importer.skipped(Reason(r)))
                out += QStringLiteral("  %1  %2\n")
                           .arg(importer.skipped(Reason(r)), 8)
                           .arg(QLatin1String(kReasonText[r]));
        if (!o.report.isEmpty()) {
            out += QStringLiteral("The skipped rows are listed in %1.\n").arg(quoted(o.report));
        } else {
            out += QStringLiteral("First skipped rows:\n") + importer.examples().join(u'\n') +
                   QStringLiteral("\n(--report FILE lists them all.)\n");
        }
    }
    std::fputs(out.toLocal8Bit().constData(), stdout);
}

} // namespace vidradb
