#include "tools/Import.h"

#include "data/RecordRules.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/Utf8.h"
#include "platform/legacy/LegacyReader.h"
#include "tools/Arguments.h"
#include "tools/CsvReader.h"
#include "tools/DbFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pthread.h>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
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

// A cell as the record rules read it: null is an empty text.
QUtf8StringView view(const Cell& c)
{
    return c.null ? QUtf8StringView() : QUtf8StringView(c.data, qsizetype(c.size));
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

// ------------------------------------------------------------- the files

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The source, opened once: every later step reads this descriptor, so the
// file checked is the file read even if its name is meanwhile given to
// something else.
class SourceFile
{
public:
    explicit SourceFile(const QString& path) : m_path(path)
    {
        const QByteArray name = QFile::encodeName(path);
        struct stat st
        {
        };
        if (::stat(name.constData(), &st) != 0) {
            if (errno == ENOENT)
                throw Failure{QStringLiteral("%1 does not exist").arg(quoted(path))};
            throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(path), errnoText(errno))};
        }
        refuseUnlessRegular(st);
        // Without waiting: should a pipe take the file's place after the
        // check, opening it must not wait for a writer that never comes.
        m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(path), errnoText(errno))};
        if (::fstat(m_fd, &m_stat) != 0)
            throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(path), errnoText(errno))};
        refuseUnlessRegular(m_stat);
    }
    ~SourceFile()
    {
        if (m_map) ::munmap(m_map, size_t(m_stat.st_size));
        if (m_fd >= 0) ::close(m_fd);
    }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    FileKey key() const { return FileKey{m_stat.st_dev, m_stat.st_ino}; }
    size_t size() const { return size_t(m_stat.st_size); }

    QByteArray head(size_t n) const
    {
        QByteArray bytes(qsizetype(n), '\0');
        ssize_t got;
        while ((got = ::pread(m_fd, bytes.data(), n, 0)) < 0 && errno == EINTR) {
        }
        if (got < 0)
            throw Failure{
                QStringLiteral("cannot read %1: %2").arg(quoted(m_path), errnoText(errno))};
        bytes.truncate(got);
        return bytes;
    }

    // The whole file, mapped into memory.
    const char* data()
    {
        if (size() == 0) return "";
        if (!m_map) {
            void* p = ::mmap(nullptr, size(), PROT_READ, MAP_PRIVATE, m_fd, 0);
            if (p == MAP_FAILED)
                throw Failure{
                    QStringLiteral("cannot read %1: %2").arg(quoted(m_path), errnoText(errno))};
            m_map = p;
        }
        return static_cast<const char*>(m_map);
    }

    // A name under which a child process opens this very file: the
    // descriptor, handed down. The plain path where /proc is missing.
    QString nameForChild() const
    {
        const QString viaFd = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
        if (::access(QFile::encodeName(viaFd).constData(), R_OK) != 0) return m_path;
        const int flags = ::fcntl(m_fd, F_GETFD);
        if (flags < 0 || ::fcntl(m_fd, F_SETFD, flags & ~FD_CLOEXEC) != 0) return m_path;
        return viaFd;
    }

private:
    void refuseUnlessRegular(const struct stat& st) const
    {
        if (S_ISDIR(st.st_mode))
            throw Failure{QStringLiteral("%1 is a folder").arg(quoted(m_path))};
        if (!S_ISREG(st.st_mode))
            throw Failure{QStringLiteral("%1 is not a regular file (a pipe, a device or a "
                                         "socket); only files are imported")
                              .arg(quoted(m_path))};
    }

    QString m_path;
    int m_fd = -1;
    struct stat m_stat
    {
    };
    void* m_map = nullptr;
};

// The list of skipped rows, written under a temporary name next to the
// report and renamed by the same rules as the directory file.
class Report
{
public:
    Report(const QString& path, const FileIdentity& before)
        : m_target(path), m_before(before), m_temp(path), m_file(m_temp.path())
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Failure{QStringLiteral("cannot write %1: %2")
                              .arg(quoted(m_temp.path()), m_file.errorString())};
        write("row,reason,Telefon,Vlasnik,Adresa,Mesto,Napomena\n");
    }
    void write(const QByteArray& bytes)
    {
        if (m_file.write(bytes) != bytes.size()) fail();
    }
    void finish()
    {
        if (!m_file.flush()) fail();
        m_file.close();
        if (m_file.error() != QFileDevice::NoError) fail();
    }
    void moveIntoPlace() { m_temp.moveTo(m_target, m_before); }

private:
    [[noreturn]] void fail()
    {
        throw Failure{QStringLiteral("cannot write the report %1: %2")
                          .arg(quoted(m_target), m_file.errorString())};
    }

    QString m_target;
    FileIdentity m_before;
    TempFile m_temp;
    QFile m_file;
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
    Importer(const QString& tempPath, Report* report) : m_db(tempPath), m_report(report)
    {
        m_db.stopOn(*g_stop);
        // A brand-new file nobody else can see yet: no journal; it is synced
        // before it takes its name.
        m_db.exec(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; "
                                 "PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=-65536;"));
        m_db.exec(QStringLiteral("BEGIN"));
        m_indexes = m_db.execDeferringIndexes(vidra::subscriberTableDdl());
        m_db.prepareInsert();
    }

    void add(qint64 row, const std::array<Cell, kFields>& v)
    {
        ++m_rows;
        using vidra::rules::Refusal;
        if (const auto refusal =
                vidra::rules::firstMissingField({view(v[0]), view(v[1]), view(v[2])}))
            return skip(row,
                        *refusal == Refusal::NoNumber  ? EmptyNumber
                        : *refusal == Refusal::NoOwner ? MissingOwner
                                                       : MissingAddress,
                        v, QString());
        for (size_t i = 0; i < kFields; ++i) {
            const int size = vidra::kSubscriberFields[i].size;
            if (v[i].null || size <= 0) continue;
            const auto n = vidra::utf8::utf16Length(v[i].data, v[i].size);
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
        if (!v[4].null && !vidra::utf8::utf16Length(v[4].data, v[4].size))
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
                              .arg(view(v[0]).isEmpty() ? QString()
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

    // The directory file takes its name first: a report of an import that
    // did not happen would mislead.
    void finish(TempFile& temp, const QString& dest, const FileIdentity& destBefore)
    {
        for (const QString& sql : m_indexes)
            m_db.exec(sql);
        m_db.exec(QStringLiteral("COMMIT"));
        m_db.close();
        if (m_report) m_report->finish();
        if (*g_stop) throw Failure{QStringLiteral("interrupted")};
        temp.moveTo(dest, destBefore);
        if (!m_report) return;
        try {
            m_report->moveIntoPlace();
        } catch (const Failure& f) {
            throw Failure{
                QStringLiteral("the directory was written, but the report could not be: %1")
                    .arg(f.message)};
        }
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
    Report* m_report;
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

void importCsv(const ImportOptions& o, SourceFile& source, Importer& importer, QStringList& notes)
{
    const size_t size = source.size();
    CsvReader csv(source.data(), size, quoted(o.source));
    std::vector<Cell> fields;
    if (!csv.next(fields))
        throw Failure{
            QStringLiteral("%1 is empty: a CSV file needs a header line").arg(quoted(o.source))};
    QStringList header;
    for (const Cell& c : fields) {
        if (!c.null && !vidra::utf8::utf16Length(c.data, c.size))
            throw Failure{
                QStringLiteral("the header line of %1 is not UTF-8 text").arg(quoted(o.source))};
        header << text(c).trimmed();
    }
    const auto at = resolveColumns(o, header, quoted(o.source), notes);
    Progress progress(size > (8u << 20));
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

// The processes this one started and has not reaped.
std::vector<pid_t> childProcesses()
{
    std::vector<pid_t> pids;
    const pid_t self = ::getpid();
    // The main thread starts the reader; its children are listed here...
    QFile list(QStringLiteral("/proc/%1/task/%1/children").arg(self));
    if (list.open(QIODevice::ReadOnly)) {
        for (const QByteArray& word : list.readAll().split(' '))
            if (const int pid = word.trimmed().toInt(); pid > 0) pids.push_back(pid);
        return pids;
    }
    // ...unless the kernel keeps no such list: then every process whose
    // parent this one is. The parent is the second field after the name,
    // which is in parentheses and may hold anything.
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const int pid = name.toInt();
        if (pid <= 0) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields =
            line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
        if (fields.size() > 1 && fields[1].toInt() == self) pids.push_back(pid);
    }
    return pids;
}

// Waiting for the reader of Access files does not look at signals, and the
// reader may stay silent for long on a damaged file. While it runs, SIGINT
// and SIGTERM are taken by a thread of their own, which ends the reader at
// once: the wait ends, and the import stops as interrupted.
class ReaderWatch
{
public:
    ReaderWatch()
    {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stops, &m_oldMask);
        m_thread = std::thread([this, stops] {
            const timespec tick{0, 20'000'000};
            while (!m_done) {
                if (sigtimedwait(&stops, nullptr, &tick) > 0) m_stopped = true;
                if (m_stopped)
                    for (const pid_t pid : childProcesses())
                        ::kill(pid, SIGKILL);
            }
        });
    }
    ~ReaderWatch()
    {
        m_done = true;
        m_thread.join();
        // A signal that came after the watch ended is delivered now.
        pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
    }
    ReaderWatch(const ReaderWatch&) = delete;
    ReaderWatch& operator=(const ReaderWatch&) = delete;

    bool stopped() const { return m_stopped || *g_stop; }

private:
    sigset_t m_oldMask;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_stopped{false};
    std::thread m_thread;
};

void importAccess(const ImportOptions& o, const SourceFile& source, Importer& importer,
                  QStringList& notes)
{
    vidra::legacy::Request request;
    request.file = source.nameForChild();
    request.table = o.table.isEmpty() ? QLatin1String(vidra::kSubscriberTable) : o.table;
    request.codePage = o.codePage;
    std::array<int, kFields> at{};
    std::optional<Progress> progress;
    std::uint64_t expected = 0;
    qint64 row = 0;
    std::array<Cell, kFields> v{};
    const QString where =
        QStringLiteral("table %1 of %2").arg(quoted(request.table), quoted(o.source));
    const ReaderWatch watch;
    if (watch.stopped()) throw Failure{QStringLiteral("interrupted")};
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
                if (watch.stopped()) throw Failure{QStringLiteral("interrupted")};
                if (expected) progress->update(double(row) / double(expected));
            },
            [&](const QString& damage) { notes << damage; });
    } catch (const vidra::DbError& e) {
        if (watch.stopped()) throw Failure{QStringLiteral("interrupted")};
        // The reader's messages name the file as it was handed over.
        QString message = e.message();
        message.replace(quoted(request.file), quoted(o.source));
        throw Failure{message};
    }
    if (watch.stopped()) throw Failure{QStringLiteral("interrupted")};
}

// The first bytes of an Access file, one of them damaged: such a file is
// never text, and reading it as CSV would only confuse.
bool startsLikeAccess(const QByteArray& head)
{
    const char* p = head.constData();
    const auto at4 = [&](const char* engine) {
        return head.size() >= 19 && std::memcmp(p + 4, engine, 15) == 0;
    };
    return (head.size() >= 4 && std::memcmp(p, "\x00\x01\x00\x00", 4) == 0) ||
           at4("Standard Jet DB") || at4("Standard ACE DB");
}

} // namespace

ImportOptions parseImportArguments(const QStringList& args)
{
    ImportOptions o;
    QStringList files;
    Arguments a(args);
    while (a.next()) {
        if (a.isOperand()) {
            files << a.current();
            continue;
        }
        if (a.is("--force")) {
            o.force = true;
            continue;
        }
        const QString name = a.name();
        static const QStringList valued{"--table", "--map", "--report", "--codepage"};
        if (!valued.contains(name)) a.refuseUnknown();
        const QString value = a.value();
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
    // Every check before anything is written.
    SourceFile source(o.source);
    if (fileKeyOf(o.dest) == source.key())
        throw Failure{QStringLiteral("SOURCE and DEST are the same file")};
    const FileIdentity destBefore = checkTarget(o.dest, o.force);
    FileIdentity reportBefore;
    if (!o.report.isEmpty()) {
        // Compared as files, not as names: through a link or a second name
        // the report must not reach SOURCE or DEST, nor the name DEST takes.
        const std::optional<FileKey> report = fileKeyOf(o.report);
        if (report == source.key())
            throw Failure{
                QStringLiteral("the report would replace SOURCE %1").arg(quoted(o.source))};
        if ((report && report == fileKeyOf(o.dest)) ||
            linkChain(o.report).contains(resolvedName(o.dest)))
            throw Failure{QStringLiteral("the report would replace DEST %1").arg(quoted(o.dest))};
        reportBefore = checkTarget(o.report, o.force);
    }

    const QByteArray head = source.head(64);
    const bool access =
        vidra::legacy::probeJetHeader(reinterpret_cast<const unsigned char*>(head.constData()),
                                      size_t(head.size()))
            .version != vidra::legacy::JetVersion::None;
    if (!access && startsLikeAccess(head))
        throw Failure{
            QStringLiteral("%1 is not an Access file (damaged header)").arg(quoted(o.source))};
    if (!access && head.startsWith(QByteArrayLiteral("SQLite format 3")))
        throw Failure{QStringLiteral("%1 is already a directory file; there is nothing to import")
                          .arg(quoted(o.source))};
    if (!access && (!o.table.isEmpty() || o.codePage))
        throw UsageError{
            QStringLiteral("--table and --codepage are for Access files; %1 is read as "
                           "CSV")
                .arg(quoted(o.source))};

    TempFile temp(o.dest);
    std::optional<Report> report;
    if (!o.report.isEmpty()) report.emplace(o.report, reportBefore);
    QStringList notes;
    Importer importer(temp.path(), report ? &*report : nullptr);
    if (access)
        importAccess(o, source, importer, notes);
    else
        importCsv(o, source, importer, notes);
    if (interrupted) throw Failure{QStringLiteral("interrupted")};
    importer.finish(temp, o.dest, destBefore);

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
