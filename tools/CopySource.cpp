#include "tools/CopySource.h"

#include "platform/legacy/LegacyReader.h"
#include "tools/ImportFiles.h"
#include "tools/Server.h"

#include <QFileInfo>
#include <sqlite3.h>

namespace vidradb {

namespace {

// ------------------------------------------------------------------ file

class FileSource final : public CopySource
{
public:
    FileSource(const QString& path, const volatile std::sig_atomic_t& stop)
        : m_path(path), m_file(path), m_stop(stop)
    {
        const QByteArray head = m_file.head(64);
        if (!head.startsWith(QByteArray("SQLite format 3\0", 16))) {
            const bool access =
                vidra::legacy::probeJetHeader(
                    reinterpret_cast<const unsigned char*>(head.constData()), size_t(head.size()))
                    .version != vidra::legacy::JetVersion::None;
            throw Failure{access ? QStringLiteral("%1 is an Access file; vidra-db import makes a "
                                                  "directory of it")
                                       .arg(quoted(path))
                                 : QStringLiteral("%1 is not a directory file").arg(quoted(path))};
        }
        // An absolute name never starts with "file:", so SQLite never reads
        // it as a URI naming another file.
        const QByteArray name = QFile::encodeName(QFileInfo(path).absoluteFilePath());
        const int rc = sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        if (rc != SQLITE_OK) {
            const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                      : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close(m_db);
            throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(path), text)};
        }
        // The file may come from anywhere: none of the code it carries runs.
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
        // A desk saving a row holds the file for a moment.
        sqlite3_busy_timeout(m_db, 10000);
        sqlite3_progress_handler(
            m_db, 10000, [](void* self) { return static_cast<FileSource*>(self)->m_stop ? 1 : 0; },
            this);
    }

    ~FileSource() override { sqlite3_close(m_db); }

    qint64 count() override
    {
        sqlite3_stmt* st = prepare("SELECT count(*) FROM Vlasnici");
        const int rc = sqlite3_step(st);
        const qint64 n = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW) fail();
        return n;
    }

    void read(const Row& row) override
    {
        // In the file's own order; a table without row ids has none.
        sqlite3_stmt* st = nullptr;
        const char* const ordered =
            "SELECT Telefon, Vlasnik, Adresa, Mesto, Napomena FROM Vlasnici ORDER BY rowid";
        if (sqlite3_prepare_v2(m_db, ordered, -1, &st, nullptr) != SQLITE_OK)
            st = prepare("SELECT Telefon, Vlasnik, Adresa, Mesto, Napomena FROM Vlasnici");
        struct Finalize
        {
            sqlite3_stmt* st;
            ~Finalize() { sqlite3_finalize(st); }
        } finalize{st};
        RowData data{};
        RowSizes size{};
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int i = 0; i < int(kRowValues); ++i) {
                // Values are read as the program reads them: as text, bytes unchanged.
                data[size_t(i)] = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                size[size_t(i)] = size_t(sqlite3_column_bytes(st, i));
                if (!data[size_t(i)] && sqlite3_errcode(m_db) == SQLITE_NOMEM) fail();
            }
            row(data, size);
            if (m_stop) throw Failure{QStringLiteral("interrupted")};
        }
        if (rc != SQLITE_DONE) fail();
    }

    QString shown() const override { return quoted(m_path); }
    std::optional<FileKey> fileKey() const override { return m_file.key(); }

private:
    sqlite3_stmt* prepare(const char* sql)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) fail();
        return st;
    }

    [[noreturn]] void fail() const
    {
        if (m_stop) throw Failure{QStringLiteral("interrupted")};
        const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
        if (text.startsWith(QLatin1String("no such table")))
            throw Failure{QStringLiteral("%1 holds no directory (no table %2)")
                              .arg(quoted(m_path), QLatin1String(vidra::kSubscriberTable))};
        throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(m_path), text)};
    }

    QString m_path;
    SourceFile m_file; // held open: the file checked stays the file read
    const volatile std::sig_atomic_t& m_stop;
    sqlite3* m_db = nullptr;
};

// ---------------------------------------------------------------- server

class ServerSource final : public CopySource
{
public:
    ServerSource(const QString& uri, const volatile std::sig_atomic_t& stop)
        : m_server(uri), m_stop(stop)
    {
        run([&] {
            const vidra::pg::Result r = m_server.session().exec(
                QStringLiteral("SELECT to_regclass($1) IS NOT NULL"), {table()});
            if (r.text(0, 0) != u"t")
                throw Failure{QStringLiteral("%1 holds no directory (no table %2)")
                                  .arg(m_server.shown(), table())};
        });
    }

    qint64 count() override
    {
        qint64 n = 0;
        run([&] {
            n = m_server.session()
                    .exec(QStringLiteral("SELECT count(*) FROM %1").arg(table()))
                    .text(0, 0)
                    .toLongLong();
        });
        return n;
    }

    void read(const Row& row) override
    {
        QStringList columns;
        for (const vidra::FieldDef& f : vidra::kSubscriberFields)
            columns << QString::fromLatin1(f.name).toLower();
        // By number, compared as bytes: the same rows give the same order on
        // any server, whatever its language settings.
        const QString sql =
            QStringLiteral("COPY (SELECT %1 FROM %2 ORDER BY %3 COLLATE \"C\") TO STDOUT")
                .arg(columns.join(QStringLiteral(", ")), table(), columns.front());
        std::array<CopyValue, kRowValues> values;
        RowData data{};
        RowSizes size{};
        run([&] {
            m_server.session().copyOut(sql, [&](const char* line, int n) {
                if (!splitCopyLine(line, size_t(n), values))
                    throw Failure{QStringLiteral("%1 sent a row of another shape than the "
                                                 "directory's")
                                      .arg(m_server.shown())};
                for (size_t i = 0; i < kRowValues; ++i) {
                    data[i] = values[i].null ? nullptr : values[i].bytes.c_str();
                    size[i] = values[i].bytes.size();
                }
                row(data, size);
                if (m_stop) throw Failure{QStringLiteral("interrupted")};
            });
        });
    }

    QString shown() const override { return m_server.shown(); }

private:
    static QString table() { return QString::fromLatin1(vidra::kServerSubscriberTable); }

    template <class F> void run(F&& work)
    {
        try {
            work();
        } catch (const vidra::pg::PgError& e) {
            if (m_stop) throw Failure{QStringLiteral("interrupted")};
            throw Failure{QStringLiteral("cannot read %1: %2").arg(m_server.shown(), e.message())};
        }
    }

    ServerSession m_server;
    const volatile std::sig_atomic_t& m_stop;
};

} // namespace

std::unique_ptr<CopySource> fileSource(const QString& path, const volatile std::sig_atomic_t& stop)
{
    return std::make_unique<FileSource>(path, stop);
}

std::unique_ptr<CopySource> serverSource(const QString& uri, const volatile std::sig_atomic_t& stop)
{
    return std::make_unique<ServerSource>(uri, stop);
}

} // namespace vidradb
