#include "platform/db/Connection.h"

#include "platform/Error.h"
#include "platform/LocalPath.h"
#include "platform/db/Sqlite.h"
#include "platform/legacy/LegacyReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vidra {

Connection::Connection(QObject* parent) : QObject(parent) {}

Connection::~Connection()
{
    close();
}

void Connection::setConnectionText(const QString& text)
{
    if (isOpen()) throw DbError(QStringLiteral("Operation is not allowed when the object is open"));
    m_text = text;
}

void Connection::setBusyTimeout(int ms)
{
    m_busyTimeoutMs = ms;
    if (m_db) sqlite3_busy_timeout(m_db, ms);
}

QString Connection::quoteValue(const QString& value)
{
    QString out = QStringLiteral("\"");
    for (QChar c : value) {
        if (c == u'"') out += u'"';
        out += c;
    }
    out += u'"';
    return out;
}

std::map<QString, QString> Connection::parseConnectionText(const QString& text)
{
    const auto malformed = [] {
        return DbError(QStringLiteral("The connection text is malformed"));
    };
    std::map<QString, QString> out;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && (text[i].isSpace() || text[i] == u';'))
            ++i;
        if (i >= n) break;
        const qsizetype eq = text.indexOf(u'=', i);
        const qsizetype semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) throw malformed();
        const QString key = text.mid(i, eq - i).trimmed().toLower();
        if (key.isEmpty()) throw malformed();
        i = eq + 1;
        while (i < n && text[i].isSpace())
            ++i;
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            // A quoted value ends at the first quote that is not doubled.
            const QChar q = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == q) {
                    if (i + 1 < n && text[i + 1] == q) {
                        value += q;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed) throw malformed();
            while (i < n && text[i].isSpace())
                ++i;
            if (i < n && text[i] != u';') throw malformed();
        } else {
            qsizetype end = text.indexOf(u';', i);
            if (end < 0) end = n;
            value = text.mid(i, end - i).trimmed();
            i = end;
        }
        out[key] = value;
    }
    return out;
}

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

} // namespace

void Connection::open()
{
    if (isOpen()) return;
    const auto keys = parseConnectionText(m_text);
    const auto provider = keys.find(QStringLiteral("provider"));
    if (provider == keys.end() ||
        provider->second.compare(QLatin1String(kProvider), Qt::CaseInsensitive) != 0)
        throw DbError(QStringLiteral("Provider cannot be found. It may not be properly installed"));
    const auto source = keys.find(QStringLiteral("data source"));
    if (source == keys.end() || source->second.isEmpty())
        throw DbError(QStringLiteral("No data source was given in the connection text"));
    const QString fileName = source->second;
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

    if (const legacy::JetHeader jet = probeLegacy(path); jet.version != legacy::JetVersion::None) {
        openLegacy(fileName, jet, qint64(st.st_size));
        return;
    }

    bool readOnly = ::access(path.constData(), W_OK) != 0;
    if (const auto mode = keys.find(QStringLiteral("mode")); mode != keys.end())
        readOnly = readOnly || mode->second.compare(u"Read", Qt::CaseInsensitive) == 0;

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
    sqlite3_busy_timeout(db, m_busyTimeoutMs);
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
    m_db = db;
    m_fileName = fileName;
    m_absolutePath = absolute;
    m_device = quint64(st.st_dev);
    m_inode = quint64(st.st_ino);
    // A read-only mount is found out only by SQLite itself.
    m_readOnly = readOnly || sqlite3_db_readonly(db, "main") == 1;
}

void Connection::openLegacy(const QString& fileName, const legacy::JetHeader& header, qint64 size)
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

namespace {

void execOrThrow(sqlite3* db, const QString& sql)
{
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(db, rc);
}

} // namespace

void Connection::loadLegacyTable(const QString& table, const QStringList& columns)
{
    if (!m_db || !m_legacy) throw DbError(QStringLiteral("The connection is not open"));
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

void Connection::checkFileUnchanged() const
{
    // A legacy file is read anew by name and never written.
    if (!m_db || m_legacy) return;
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

void Connection::close()
{
    if (!m_db) return;
    emit closing();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_readOnly = false;
    m_legacy = false;
    m_fileName.clear();
    m_absolutePath.clear();
}

} // namespace vidra
