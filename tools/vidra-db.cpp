// vidra-db: prepares directory files for the program, empty or filled with
// generated subscribers. A file is built under a temporary name next to the
// target and renamed into place only when complete, so a failed or
// interrupted run never leaves a half-written directory behind.
#include "data/Schema.h"
#include "tools/SampleData.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <array>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sqlite3.h>
#include <system_error>

namespace {

static_assert(vidra::sample::kCapacity == 24'000'000, "the usage text names the capacity");
const char kUsage[] =
    "Usage: vidra-db create FILE [--force]\n"
    "       vidra-db sample FILE --rows N [--seed S] [--force]\n"
    "       vidra-db --help\n"
    "\n"
    "Prepares a Vidra directory file (an SQLite file holding the table Vlasnici).\n"
    "\n"
    "  create    an empty directory file\n"
    "  sample    a directory file with N generated subscribers; the same N and\n"
    "            seed always give the same rows\n"
    "\n"
    "Options:\n"
    "  --rows N  number of subscribers, 0 to 24000000\n"
    "  --seed S  seed of the generator, 0 to 18446744073709551615 (default 1)\n"
    "  --force   replace FILE if it exists\n"
    "  --help    show this text\n";

// A failure of the run; the message is shown after "vidra-db: ".
struct Failure
{
    QString message;
};
// A command line that cannot be run; also points the user at --help.
struct UsageError
{
    QString message;
};

enum class Command
{
    Create,
    Sample
};

struct Options
{
    Command command = Command::Create;
    QString file;
    bool force = false;
    std::optional<std::int64_t> rows;
    std::optional<std::uint64_t> seed;
};

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onSignal(int)
{
    g_interrupted = 1;
}

QString quoted(const QString& s)
{
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

std::int64_t parseRows(const QString& text)
{
    const QByteArray b = text.toUtf8();
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(b.constData(), b.constData() + b.size(), value);
    const bool negative = b.startsWith('-');
    if (!b.isEmpty() && end == b.constData() + b.size() && ec == std::errc::result_out_of_range)
        value = negative ? -1 : vidra::sample::kCapacity + 1;
    else if (b.isEmpty() || ec != std::errc() || end != b.constData() + b.size())
        throw UsageError{QStringLiteral("--rows expects a whole number, not %1").arg(quoted(text))};
    if (value < 0)
        throw UsageError{QStringLiteral("--rows must not be negative (got %1)").arg(text)};
    if (value > vidra::sample::kCapacity)
        throw UsageError{QStringLiteral("--rows %1 is too many: at most %2 subscribers can "
                                        "have different numbers")
                             .arg(text)
                             .arg(vidra::sample::kCapacity)};
    return value;
}

std::uint64_t parseSeed(const QString& text)
{
    const QByteArray b = text.toUtf8();
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(b.constData(), b.constData() + b.size(), value);
    if (b.isEmpty() || ec != std::errc() || end != b.constData() + b.size())
        throw UsageError{
            QStringLiteral("--seed expects a whole number from 0 to 18446744073709551615, not %1")
                .arg(quoted(text))};
    return value;
}

// Returns nullopt when the user asked for help.
std::optional<Options> parseArguments(const QStringList& args)
{
    if (args.isEmpty()) throw UsageError{QStringLiteral("no command given")};
    Options o;
    const QString& command = args.front();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help"))
        return std::nullopt;
    if (command == QLatin1String("create"))
        o.command = Command::Create;
    else if (command == QLatin1String("sample"))
        o.command = Command::Sample;
    else if (command.startsWith(QLatin1Char('-')))
        throw UsageError{QStringLiteral("unknown option %1").arg(quoted(command))};
    else
        throw UsageError{QStringLiteral("unknown command %1").arg(quoted(command))};

    std::optional<QString> file;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            if (file) throw UsageError{QStringLiteral("unexpected argument %1").arg(quoted(arg))};
            file = arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) return std::nullopt;
        if (arg == QLatin1String("--force")) {
            o.force = true;
            continue;
        }
        // --rows N, --rows=N, --seed S, --seed=S
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);
        if (name != QLatin1String("--rows") && name != QLatin1String("--seed"))
            throw UsageError{QStringLiteral("unknown option %1").arg(quoted(arg))};
        if (o.command != Command::Sample)
            throw UsageError{QStringLiteral("%1 is an option of sample, not of create").arg(name)};
        QString value;
        if (eq >= 0) {
            value = arg.mid(eq + 1);
        } else {
            if (i + 1 >= args.size())
                throw UsageError{QStringLiteral("%1 needs a value").arg(name)};
            value = args[++i];
        }
        if (name == QLatin1String("--rows")) {
            if (o.rows) throw UsageError{QStringLiteral("--rows is given twice")};
            o.rows = parseRows(value);
        } else {
            if (o.seed) throw UsageError{QStringLiteral("--seed is given twice")};
            o.seed = parseSeed(value);
        }
    }
    if (!file) throw UsageError{QStringLiteral("no FILE given")};
    if (file->isEmpty()) throw UsageError{QStringLiteral("FILE must not be empty")};
    if (o.command == Command::Sample && !o.rows)
        throw UsageError{QStringLiteral("sample needs --rows N")};
    o.file = *file;
    return o;
}

// A new, uniquely named file next to the target, removed again unless it
// was moved into place.
class TempFile
{
public:
    explicit TempFile(const QString& target)
    {
        const QFileInfo info(target);
        const QString folder = info.absolutePath();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString name =
                QStringLiteral("%1.%2.tmp")
                    .arg(info.fileName())
                    .arg(QRandomGenerator::global()->bounded(1u << 30), 8, 36, QLatin1Char('0'));
            QFile f(QDir(folder).filePath(name));
            // NewOnly: never reuse a file someone else made; the mode
            // follows the user's umask like any new file.
            if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                m_path = f.fileName();
                return;
            }
            if (f.exists()) continue;
            throw Failure{QStringLiteral("cannot create a file in %1: %2")
                              .arg(quoted(QDir::toNativeSeparators(folder)), f.errorString())};
        }
        throw Failure{QStringLiteral("cannot find a free temporary name in %1")
                          .arg(quoted(QDir::toNativeSeparators(folder)))};
    }
    ~TempFile()
    {
        if (!m_path.isEmpty()) QFile::remove(m_path);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const QString& path() const { return m_path; }

    void moveTo(const QString& target, bool replace)
    {
        if (replace) {
            std::error_code ec;
            std::filesystem::rename(QFile::encodeName(m_path).toStdString(),
                                    QFile::encodeName(target).toStdString(), ec);
            if (ec)
                throw Failure{QStringLiteral("cannot replace %1: %2")
                                  .arg(quoted(target), QString::fromLocal8Bit(ec.message()))};
        } else {
            // Refuses to overwrite, even a file that appeared while we wrote.
            QFile f(m_path);
            if (!f.rename(target)) {
                if (QFileInfo::exists(target))
                    throw Failure{QStringLiteral("%1 already exists (use --force to replace it)")
                                      .arg(quoted(target))};
                throw Failure{
                    QStringLiteral("cannot create %1: %2").arg(quoted(target), f.errorString())};
            }
        }
        m_path.clear();
    }

private:
    QString m_path;
};

class Database
{
public:
    explicit Database(const QString& path)
    {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                       SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                      : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close(m_db);
            m_db = nullptr;
            throw Failure{QStringLiteral("cannot open %1: %2").arg(quoted(path), text)};
        }
    }
    ~Database()
    {
        sqlite3_finalize(m_insert);
        sqlite3_close(m_db);
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const QString& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
            const QString text = QString::fromUtf8(err ? err : sqlite3_errmsg(m_db));
            sqlite3_free(err);
            throw Failure{text};
        }
    }

    // Runs the statements of a script one by one, except that CREATE INDEX
    // statements are handed back instead: an index built once over all rows
    // is much faster than one kept up to date through a million inserts.
    QStringList execDeferringIndexes(const QString& script)
    {
        QStringList deferred;
        const QByteArray utf8 = script.toUtf8();
        const char* sql = utf8.constData();
        while (*sql) {
            sqlite3_stmt* st = nullptr;
            const char* tail = nullptr;
            if (sqlite3_prepare_v2(m_db, sql, -1, &st, &tail) != SQLITE_OK) fail();
            sql = tail;
            if (!st) // whitespace or a comment
                continue;
            const QString text = QString::fromUtf8(sqlite3_sql(st));
            const QString words = text.simplified();
            if (words.startsWith(QLatin1String("CREATE INDEX"), Qt::CaseInsensitive) ||
                words.startsWith(QLatin1String("CREATE UNIQUE INDEX"), Qt::CaseInsensitive)) {
                deferred << text;
                sqlite3_finalize(st);
                continue;
            }
            const int rc = sqlite3_step(st);
            sqlite3_finalize(st);
            if (rc != SQLITE_DONE && rc != SQLITE_ROW) fail();
        }
        return deferred;
    }

    void prepareInsert()
    {
        QStringList names;
        for (const vidra::FieldDef& f : vidra::kSubscriberFields)
            names << QString::fromLatin1(f.name);
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (?, ?, ?, ?, ?)")
                                .arg(QLatin1String(vidra::kSubscriberTable), names.join(", "));
        static_assert(vidra::kSubscriberFields.size() == 5);
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &m_insert, nullptr) != SQLITE_OK)
            fail();
    }

    void insert(const std::array<const QString*, 5>& values)
    {
        std::array<QByteArray, 5> utf8;
        for (int i = 0; i < 5; ++i) {
            const QString& v = *values[size_t(i)];
            if (v.isNull()) {
                sqlite3_bind_null(m_insert, i + 1);
            } else {
                utf8[size_t(i)] = v.toUtf8();
                sqlite3_bind_text(m_insert, i + 1, utf8[size_t(i)].constData(),
                                  int(utf8[size_t(i)].size()), SQLITE_STATIC);
            }
        }
        if (sqlite3_step(m_insert) != SQLITE_DONE) fail();
        sqlite3_reset(m_insert);
    }

    // Closing writes out what is still cached; its failure is a failure of the file.
    void close()
    {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
        const int rc = sqlite3_close(m_db);
        if (rc != SQLITE_OK) fail();
        m_db = nullptr;
    }

private:
    [[noreturn]] void fail() { throw Failure{QString::fromUtf8(sqlite3_errmsg(m_db))}; }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
};

void checkTarget(const Options& o)
{
    const QFileInfo info(o.file);
    if (info.isDir()) throw Failure{QStringLiteral("%1 is a folder").arg(quoted(o.file))};
    if ((info.exists() || info.isSymLink()) && !o.force)
        throw Failure{
            QStringLiteral("%1 already exists (use --force to replace it)").arg(quoted(o.file))};
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        throw Failure{QStringLiteral("folder %1 does not exist")
                          .arg(quoted(QDir::toNativeSeparators(info.absolutePath())))};
}

// A value longer than its column would be cut or refused by the program: a
// fault of the generator, never written.
void checkSizes(std::int64_t index, const std::array<const QString*, 5>& values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        const vidra::FieldDef& f = vidra::kSubscriberFields[i];
        if (f.size > 0 && values[i]->size() > f.size)
            throw Failure{QStringLiteral("internal error: row %1 has a %2 of %3 characters")
                              .arg(index)
                              .arg(QLatin1String(f.name))
                              .arg(values[i]->size())};
    }
}

void build(const Options& o)
{
    checkTarget(o);
    TempFile temp(o.file);
    {
        Database db(temp.path());
        // A brand-new file nobody else can see yet: no journal, no syncing.
        db.exec(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; "
                               "PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=-65536;"));
        db.exec(QStringLiteral("BEGIN"));
        const QStringList indexes = db.execDeferringIndexes(vidra::subscriberTableDdl());
        const std::int64_t rows = o.rows.value_or(0);
        const std::uint64_t seed = o.seed.value_or(vidra::sample::kDefaultSeed);
        if (rows > 0) db.prepareInsert();
        for (std::int64_t i = 0; i < rows; ++i) {
            if (g_interrupted) throw Failure{QStringLiteral("interrupted")};
            const vidra::sample::SampleRow r = vidra::sample::sampleRow(seed, i);
            const std::array<const QString*, 5> values{&r.telefon, &r.vlasnik, &r.adresa, &r.mesto,
                                                       &r.napomena};
            checkSizes(i, values);
            db.insert(values);
        }
        for (const QString& sql : indexes)
            db.exec(sql);
        db.exec(QStringLiteral("COMMIT"));
        db.close();
    }
    if (g_interrupted) throw Failure{QStringLiteral("interrupted")};
    temp.moveTo(o.file, o.force);
}

void printError(const QString& message)
{
    std::fputs(("vidra-db: " + message + "\n").toLocal8Bit().constData(), stderr);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    try {
        const std::optional<Options> options = parseArguments(args);
        if (!options) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        build(*options);
        return 0;
    } catch (const UsageError& e) {
        if (args.isEmpty()) {
            std::fputs(kUsage, stderr);
        } else {
            printError(e.message);
            std::fputs("Run 'vidra-db --help' for usage.\n", stderr);
        }
        return 2;
    } catch (const Failure& e) {
        printError(e.message);
        return 1;
    } catch (const std::exception& e) {
        printError(QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
