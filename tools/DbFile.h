#pragma once
// What the vidra-db commands share: their errors, the checks on the files
// they are told to write, and building a file under a temporary name that
// takes the target's name only when done.
#include "data/Schema.h"
#include "tools/Failure.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <array>
#include <csignal>
#include <optional>
#include <sqlite3.h>
#include <sys/types.h>

namespace vidradb {

// What a name in the file system stands for at one moment: the name itself,
// a link not followed. A file is replaced only while its name still stands
// for what it did when the run began.
struct FileIdentity
{
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    mode_t mode = 0;
    off_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity identityOf(const QString& path);

// A file's device and inode: two names lead to one file when these agree.
struct FileKey
{
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileKey&) const = default;
};
// The file a name leads to, links followed; nullopt when there is none.
std::optional<FileKey> fileKeyOf(const QString& path);

// The names a path passes through: the path itself, then the target of each
// link in turn (also a target that does not exist yet), each absolute with
// its folder resolved. The name a new file will take is among them.
QStringList linkChain(const QString& path);
// The path absolute with its folder resolved: the name a rename replaces.
QString resolvedName(const QString& path);

// Refuses a folder, anything but a regular file (also through a link), an
// existing file without force, and a missing folder. Returns what the name
// stood for, for TempFile::moveTo.
FileIdentity checkTarget(const QString& file, bool force);

// A new, uniquely named file next to the target, removed again unless it
// was moved into place.
class TempFile
{
public:
    explicit TempFile(const QString& target);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const QString& path() const { return m_path; }

    // Syncs the file and gives it the target's name, but only while that
    // name stands for what it did when the run began (checkTarget): nothing
    // there then, nothing now; a file there then, that same file unchanged
    // now. Another run's file, or one written meanwhile, is never replaced.
    void moveTo(const QString& target, const FileIdentity& before);

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

    // Once the flag is set, the statement running stops within a moment:
    // building the indexes over millions of rows takes a while.
    void stopOn(const volatile std::sig_atomic_t& flag)
    {
        m_stop = &flag;
        sqlite3_progress_handler(
            m_db, 10000, [](void* self) { return *static_cast<Database*>(self)->m_stop ? 1 : 0; },
            this);
    }

    void exec(const QString& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
            const QString text = QString::fromUtf8(err ? err : sqlite3_errmsg(m_db));
            sqlite3_free(err);
            if (m_stop && *m_stop) throw Failure{QStringLiteral("interrupted")};
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

    // Values as UTF-8 bytes; a null data pointer stores null.
    void insertUtf8(const std::array<const char*, 5>& data, const std::array<size_t, 5>& size)
    {
        for (int i = 0; i < 5; ++i) {
            if (!data[size_t(i)])
                sqlite3_bind_null(m_insert, i + 1);
            else
                sqlite3_bind_text(m_insert, i + 1, data[size_t(i)], int(size[size_t(i)]),
                                  SQLITE_STATIC);
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
    [[noreturn]] void fail()
    {
        if (m_stop && *m_stop) throw Failure{QStringLiteral("interrupted")};
        throw Failure{QString::fromUtf8(sqlite3_errmsg(m_db))};
    }

    sqlite3* m_db = nullptr;
    const volatile std::sig_atomic_t* m_stop = nullptr;
    sqlite3_stmt* m_insert = nullptr;
};

} // namespace vidradb
