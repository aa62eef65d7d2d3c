#include "platform/db/SqliteStore.h"

#include "platform/Error.h"
#include "platform/LocalPath.h"
#include "platform/db/Connection.h"
#include "platform/db/Sqlite.h"
#include "platform/db/TableWrite.h"
#include "platform/legacy/LegacyReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vidra {

namespace {

void configureUntrusted(sqlite3* db)
{
    // The file may come from anywhere: no schema code it carries may run, and
    // it may not be used to corrupt itself through writable_schema tricks.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
}

// Recognises an Access file by its first bytes, read under the name's own bytes.
legacy::JetHeader probeLegacy(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    unsigned char head[64];
    ssize_t n;
    do {
        n = ::read(fd, head, sizeof head);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n > 0 ? legacy::probeJetHeader(head, size_t(n)) : legacy::JetHeader{};
}

// The path from the root: a relative one is taken against the working
// folder now, so the connection keeps naming the same file should it change.
QByteArray absolutePath(const QByteArray& path)
{
    if (path.startsWith('/')) return path;
    QByteArray cwd(4096, '\0');
    while (!::getcwd(cwd.data(), size_t(cwd.size()))) {
        if (errno != ERANGE)
            throw DbError(QStringLiteral("The working folder cannot be read: %1")
                              .arg(QString::fromLocal8Bit(std::strerror(errno))));
        cwd.resize(cwd.size() * 2);
    }
    cwd.truncate(qsizetype(std::strlen(cwd.constData())));
    return cwd + (cwd.endsWith('/') ? "" : "/") + path;
}

// SQLite may be built to read any name starting with "file:" as a URI (Debian's
// is), which would open another file than the one named ("file:other.db" opens
// other.db, "?mode=memory" none at all). An explicit URI of the absolute path,
// every byte but the plainest escaped, names exactly that file.
QByteArray fileUri(const QByteArray& absolute)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    for (const char ch : absolute) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
            uri += ch;
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 0xF];
        }
    }
    return uri;
}

void execOrThrow(sqlite3* db, const QString& sql)
{
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(db, rc);
}

bool isPlainIdentifier(const QString& s)
{
    if (s.isEmpty() || !(s[0].isLetter() || s[0] == u'_')) return false;
    for (QChar c : s)
        if (!(c.isLetterOrNumber() || c == u'_')) return false;
    return true;
}

class SqliteWrite final : public StoreWrite
{
public:
    explicit SqliteWrite(sqlite3* db) : m_tx(db) {}
    void commit() override { m_tx.commit(); }

private:
    WriteTransaction m_tx;
};

} // namespace

std::unique_ptr<SqliteStore> SqliteStore::open(const QString& fileName, bool readOnly,
                                               int busyTimeoutMs)
{
    // The name's own bytes reach the file system: a name written in another
    // code page opens as it is (LocalPath.h). Messages show it readably.
    const QByteArray path = encodePath(fileName);
    const QString shown = displayPath(fileName);

    struct stat st;
    if (path.contains('\0') || ::stat(path.constData(), &st) != 0)
        throw DbError(QStringLiteral("Could not find file '%1'").arg(shown));
    if (S_ISDIR(st.st_mode))
        throw DbError(QStringLiteral("'%1' is a folder, not a database file").arg(shown));
    // A pipe or a device would block the program or never end.
    if (!S_ISREG(st.st_mode))
        throw DbError(QStringLiteral("'%1' is not a database file").arg(shown));

    std::unique_ptr<SqliteStore> store(new SqliteStore);
    if (const legacy::JetHeader jet = probeLegacy(path); jet.version != legacy::JetVersion::None) {
        store->openLegacy(fileName, jet, qint64(st.st_size));
        return store;
    }

    readOnly = readOnly || ::access(path.constData(), W_OK) != 0;
    sqlite3* db = nullptr;
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    const QByteArray absolute = absolutePath(path);
    int rc = sqlite3_open_v2(fileUri(absolute).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw DbError(trimEngineMessage(msg));
    }
    configureUntrusted(db);
    sqlite3_busy_timeout(db, busyTimeoutMs);
    sqlite3_extended_result_codes(db, 0);

    // Reading the schema proves the file is a database (and not encrypted,
    // truncated in its header, or something else entirely).
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        QString msg = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        if (rc == SQLITE_NOTADB)
            msg = QStringLiteral("Unrecognized database format '%1'").arg(shown);
        throw DbError(trimEngineMessage(msg));
    }
    // The file's identity as opened, for telling later whether the path
    // still names it.
    if (struct stat now; ::stat(absolute.constData(), &now) == 0) st = now;
    store->m_db = db;
    store->m_fileName = fileName;
    store->m_absolutePath = absolute;
    store->m_device = quint64(st.st_dev);
    store->m_inode = quint64(st.st_ino);
    // A read-only mount is found out only by SQLite itself.
    store->m_readOnly = readOnly || sqlite3_db_readonly(db, "main") == 1;
    return store;
}

void SqliteStore::openLegacy(const QString& fileName, const legacy::JetHeader& header, qint64 size)
{
    // Checked here so that a plainly damaged file fails on opening, as a
    // damaged directory file does; the reader checks the rest.
    if (size < 3 * qint64(header.pageSize) || size % qint64(header.pageSize) != 0)
        throw DbError(QStringLiteral("The Access file '%1' is damaged or incomplete")
                          .arg(displayPath(fileName)));
    // The reader is handed the name as text: a name with bytes that are not
    // UTF-8 would reach it as another name, perhaps another file's.
    if (displayPath(fileName) != fileName)
        throw DbError(QStringLiteral("The Access file '%1' can be read only under a name in "
                                     "UTF-8; rename it")
                          .arg(displayPath(fileName)));
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        throw DbError(QString::fromUtf8(sqlite3_errstr(rc)));
    }
    configureUntrusted(db);
    sqlite3_extended_result_codes(db, 0);
    m_db = db;
    m_fileName = fileName;
    m_readOnly = true;
    m_legacy = true;
}

SqliteStore::~SqliteStore()
{
    sqlite3_close_v2(m_db);
}

void SqliteStore::setBusyTimeout(int ms)
{
    sqlite3_busy_timeout(m_db, ms);
}

void SqliteStore::loadLegacyTable(const QString& table, const QStringList& columns)
{
    // The copy is built under a scratch name and takes the table's name only
    // when complete, so a failed read leaves the previous copy in place.
    const QString scratch = QStringLiteral("vidra_legacy_load");
    execOrThrow(m_db, QStringLiteral("PRAGMA query_only=0; DROP TABLE IF EXISTS %1")
                          .arg(quoteIdentifier(scratch)));
    QStringList defs, marks;
    for (const QString& c : columns) {
        defs << quoteIdentifier(c) + QStringLiteral(" TEXT");
        marks << QStringLiteral("?");
    }
    execOrThrow(
        m_db,
        QStringLiteral("CREATE TABLE %1 (%2)").arg(quoteIdentifier(scratch), defs.join(u',')));
    const Statement statement(m_db, QStringLiteral("INSERT INTO %1 VALUES (%2)")
                                        .arg(quoteIdentifier(scratch), marks.join(u',')));
    sqlite3_stmt* insert = statement.get();

    execOrThrow(m_db, QStringLiteral("BEGIN"));
    try {
        legacy::Request request;
        request.file = m_fileName;
        request.table = table;
        request.columns = columns;
        legacy::readTable(request, nullptr, [&](const std::vector<legacy::Cell>& cells) {
            for (size_t i = 0; i < cells.size(); ++i) {
                if (cells[i].null)
                    sqlite3_bind_null(insert, int(i) + 1);
                else
                    sqlite3_bind_text(insert, int(i) + 1, cells[i].data, int(cells[i].size),
                                      SQLITE_STATIC);
            }
            if (sqlite3_step(insert) != SQLITE_DONE) throwSqliteError(m_db);
            sqlite3_reset(insert);
        });
        execOrThrow(m_db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(quoteIdentifier(table)));
        execOrThrow(m_db, QStringLiteral("ALTER TABLE %1 RENAME TO %2")
                              .arg(quoteIdentifier(scratch), quoteIdentifier(table)));
        execOrThrow(m_db, QStringLiteral("COMMIT; PRAGMA query_only=1"));
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK; PRAGMA query_only=1", nullptr, nullptr, nullptr);
        throw;
    }
}

void SqliteStore::checkUnchanged() const
{
    // A legacy file is read anew by name and never written.
    if (m_legacy) return;
    struct stat now;
    if (::stat(m_absolutePath.constData(), &now) != 0)
        throw DbError(
            QStringLiteral("The directory file was removed or renamed since it was "
                           "opened; choose it again with \"Baza\" or restart the program"));
    if (quint64(now.st_dev) != m_device || quint64(now.st_ino) != m_inode)
        throw DbError(
            QStringLiteral("The directory file was replaced by another one since it was "
                           "opened; choose it again with \"Baza\" or restart the program"));
}

Snapshot SqliteStore::load(const QString& table, const QStringList& fields)
{
    // The old copy stays until the new one is fully read.
    if (m_legacy) loadLegacyTable(table, fields);
    return loadSnapshot(m_db, table, fields);
}

std::unique_ptr<StoreWrite> SqliteStore::beginWrite(const QString&)
{
    return std::make_unique<SqliteWrite>(m_db);
}

int64_t SqliteStore::insertRow(const QString& table, const QStringList& fields,
                               const RowValues& values)
{
    return vidra::insertRow(m_db, table, fields, values);
}

void SqliteStore::updateRow(const QString& table, const QStringList& fields, const Snapshot& snap,
                            size_t row, const std::vector<int>& changed, const RowValues& values)
{
    vidra::updateRow(m_db, table, fields, snap, row, changed, values);
}

void SqliteStore::deleteRow(const QString& table, const QStringList& fields, const Snapshot& snap,
                            size_t row)
{
    vidra::deleteRow(m_db, table, fields, snap, row);
}

QString SqliteStore::placeholder(int n) const
{
    return u'?' + QString::number(n);
}

QueryResult SqliteStore::query(const QString& sql, const std::vector<QVariant>& params)
{
    Statement statement(m_db, sql);
    sqlite3_stmt* st = statement.get();
    if (!sqlite3_stmt_readonly(st)) throw WritingStatement();

    for (size_t k = 0; k < params.size(); ++k) {
        const QVariant& v = params[k];
        if (v.isNull())
            sqlite3_bind_null(st, int(k) + 1);
        else
            statement.bindText(int(k) + 1, v.toString());
    }

    QueryResult out;
    int expr = 1000;
    const int n = sqlite3_column_count(st);
    for (int c = 0; c < n; ++c) {
        const QString name = QString::fromUtf8(sqlite3_column_name(st, c));
        if (!sqlite3_column_origin_name(st, c) && !isPlainIdentifier(name))
            out.columns.push_back(QStringLiteral("Expr%1").arg(expr++));
        else
            out.columns.push_back(name);
    }

    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL:
                out.firstRow.emplace_back();
                break;
            case SQLITE_INTEGER:
                out.firstRow.emplace_back(qlonglong(sqlite3_column_int64(st, c)));
                break;
            case SQLITE_FLOAT:
                out.firstRow.emplace_back(sqlite3_column_double(st, c));
                break;
            default:
                out.firstRow.emplace_back(
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                      sqlite3_column_bytes(st, c)));
            }
        }
    } else if (rc != SQLITE_DONE) {
        throwSqliteError(m_db, rc);
    }
    return out;
}

sqlite3* sqliteHandle(const Connection& connection)
{
    const auto* store = dynamic_cast<const SqliteStore*>(connection.store());
    return store ? store->handle() : nullptr;
}

} // namespace vidra
