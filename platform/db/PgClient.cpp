#include "platform/db/PgClient.h"

#include <QStringList>
#include <cstdlib>
#include <libpq-fe.h>

namespace vidra::pg {

bool isServerUri(const QString& dataSource)
{
    return dataSource.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           dataSource.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString withoutPassword(const QString& uri)
{
    if (!isServerUri(uri)) return uri;
    const qsizetype authorityStart = uri.indexOf(QLatin1String("://")) + 3;
    // As libpq reads it: a user part is whatever comes before an "@" that
    // stands ahead of the first "/", a "?" in a password included; the
    // password follows the user part's first ":".
    qsizetype slash = uri.indexOf(u'/', authorityStart);
    if (slash < 0) slash = uri.size();
    QString head = uri.mid(authorityStart, slash - authorityStart);
    if (const qsizetype at = head.lastIndexOf(u'@'); at >= 0) {
        const qsizetype colon = head.left(at).indexOf(u':');
        if (colon >= 0) head.remove(colon, at - colon);
    }
    QString rest = uri.mid(slash);
    // Without a path, parameters may follow the host directly.
    if (slash == uri.size()) {
        if (const qsizetype q = head.indexOf(u'?', head.lastIndexOf(u'@') + 1); q >= 0) {
            rest = head.mid(q);
            head.truncate(q);
        }
    }
    if (const qsizetype q = rest.indexOf(u'?'); q >= 0) {
        QStringList kept;
        for (const QString& pair : rest.mid(q + 1).split(u'&')) {
            const QString key = pair.section(u'=', 0, 0);
            if (key.compare(QLatin1String("password"), Qt::CaseInsensitive) != 0) kept << pair;
        }
        rest = rest.left(q) + (kept.isEmpty() ? QString() : u'?' + kept.join(u'&'));
    }
    return uri.left(authorityStart) + head + rest;
}

// ----------------------------------------------------------------- Result

Result::Result(pg_result* result) : m_result(result) {}

Result::Result(Result&& o) noexcept : m_result(o.m_result)
{
    o.m_result = nullptr;
}

Result& Result::operator=(Result&& o) noexcept
{
    if (this != &o) {
        PQclear(m_result);
        m_result = o.m_result;
        o.m_result = nullptr;
    }
    return *this;
}

Result::~Result()
{
    PQclear(m_result);
}

int Result::rows() const
{
    return PQntuples(m_result);
}

int Result::columns() const
{
    return PQnfields(m_result);
}

bool Result::isNull(int row, int column) const
{
    return PQgetisnull(m_result, row, column) != 0;
}

const char* Result::data(int row, int column) const
{
    return PQgetvalue(m_result, row, column);
}

int Result::size(int row, int column) const
{
    return PQgetlength(m_result, row, column);
}

QString Result::text(int row, int column) const
{
    if (isNull(row, column)) return QString();
    return QString::fromUtf8(data(row, column), size(row, column));
}

qint64 Result::affected() const
{
    return std::atoll(PQcmdTuples(m_result));
}

QString Result::columnName(int column) const
{
    return QString::fromUtf8(PQfname(m_result, column));
}

unsigned Result::columnType(int column) const
{
    return PQftype(m_result, column);
}

unsigned Result::columnTable(int column) const
{
    return PQftable(m_result, column);
}

// ---------------------------------------------------------------- Session

namespace {

QString clientMessage(const pg_conn* conn)
{
    return trimEngineMessage(QString::fromUtf8(PQerrorMessage(conn)).trimmed());
}

} // namespace

Session::Session(const QString& uri)
{
    // The URI's own settings win, except the encoding, which the snapshot
    // needs as UTF-8; an unreachable host gives up rather than hang the desk.
    const QByteArray dbname = uri.toUtf8();
    const char* const keys[] = {"connect_timeout", "dbname", "client_encoding", nullptr};
    const char* const values[] = {"10", dbname.constData(), "UTF8", nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    if (!m_conn) throw PgError(QStringLiteral("out of memory"), QString());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString message = clientMessage(m_conn);
        PQfinish(m_conn);
        m_conn = nullptr;
        throw PgError(message, QString());
    }
    // Notices (a cascade, a skipped index) are the server talking to itself;
    // they are never printed on a desk's terminal.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
}

Session::~Session()
{
    if (m_conn) PQfinish(m_conn);
}

void Session::fail(pg_result* result)
{
    QString message, state;
    if (result) {
        if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY))
            message = QString::fromUtf8(primary);
        if (const char* code = PQresultErrorField(result, PG_DIAG_SQLSTATE))
            state = QString::fromLatin1(code);
        PQclear(result);
    }
    if (message.isEmpty()) message = clientMessage(m_conn);
    // A link that broke under the statement is a lost connection, whatever
    // the result said.
    if (PQstatus(m_conn) != CONNECTION_OK) state.clear();
    throw PgError(trimEngineMessage(message.trimmed()), state);
}

Result Session::exec(const QString& sql, const Params& params)
{
    std::vector<QByteArray> bytes;
    bytes.reserve(params.size());
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) {
        bytes.push_back(p ? p->toUtf8() : QByteArray());
        values.push_back(p ? bytes.back().constData() : nullptr);
    }
    pg_result* r = PQexecParams(m_conn, sql.toUtf8().constData(), int(values.size()), nullptr,
                                values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(r);
    return Result(r);
}

void Session::execScript(const QString& sql)
{
    pg_result* r = PQexec(m_conn, sql.toUtf8().constData());
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(r);
    PQclear(r);
}

bool Session::isOk() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

void Session::reconnect()
{
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) throw PgError(clientMessage(m_conn), QString());
}

void Session::copyOut(const QString& sql, const std::function<void(const char*, int)>& line)
{
    pg_result* r = PQexec(m_conn, sql.toUtf8().constData());
    if (!r || PQresultStatus(r) != PGRES_COPY_OUT) fail(r);
    PQclear(r);
    char* buffer = nullptr;
    int n;
    while ((n = PQgetCopyData(m_conn, &buffer, 0)) > 0) {
        struct Free
        {
            char* p;
            ~Free() { PQfreemem(p); }
        } release{buffer};
        line(buffer, buffer[n - 1] == '\n' ? n - 1 : n);
    }
    if (n == -2) fail(nullptr);
    // The copy's own outcome follows the data.
    while ((r = PQgetResult(m_conn)) != nullptr) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK) fail(r);
        PQclear(r);
    }
}

// ------------------------------------------------------------------ CopyIn

namespace {

// The server's message with its detail: for a copy, the detail names the
// value at fault.
PgError copyError(pg_conn* conn, pg_result* result)
{
    QString message, detail, state;
    if (result) {
        if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY))
            message = QString::fromUtf8(primary);
        if (const char* more = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL))
            detail = QString::fromUtf8(more).trimmed();
        if (const char* code = PQresultErrorField(result, PG_DIAG_SQLSTATE))
            state = QString::fromLatin1(code);
    }
    if (message.isEmpty()) message = clientMessage(conn);
    if (!detail.isEmpty()) message = message.trimmed() + QStringLiteral(" (") + detail + u')';
    if (PQstatus(conn) != CONNECTION_OK) state.clear();
    return PgError(trimEngineMessage(message.trimmed()), state);
}

// Reads the results left after a copy, so the session can go on; a copy
// still open is ended as failed first.
void drainResults(pg_conn* conn)
{
    while (pg_result* r = PQgetResult(conn)) {
        const ExecStatusType status = PQresultStatus(r);
        PQclear(r);
        if (status == PGRES_COPY_IN) {
            if (PQputCopyEnd(conn, "failed") != 1) return;
        } else if (status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
            return; // never asked for here; the session is closed with it
        }
    }
}

// Large pieces: one call per row would cost more than the rows themselves.
constexpr qsizetype kCopyPiece = qsizetype(256) * 1024;

} // namespace

CopyIn::CopyIn(Session& session, const QString& sql) : m_conn(session.handle())
{
    pg_result* r = PQexec(m_conn, sql.toUtf8().constData());
    if (!r || PQresultStatus(r) != PGRES_COPY_IN) fail(r);
    PQclear(r);
    m_open = true;
    m_buffer.reserve(kCopyPiece + 4096);
}

CopyIn::~CopyIn()
{
    abort(QStringLiteral("the copy was given up"));
}

void CopyIn::line(const char* data, size_t size)
{
    m_buffer.append(data, qsizetype(size));
    m_buffer.append('\n');
    if (m_buffer.size() >= kCopyPiece) send();
}

void CopyIn::send()
{
    if (m_buffer.isEmpty()) return;
    // Refused when the server has already ended the copy with an error; its
    // result tells which.
    if (PQputCopyData(m_conn, m_buffer.constData(), int(m_buffer.size())) != 1)
        fail(PQgetResult(m_conn));
    m_buffer.resize(0); // keeps its room for the next piece
}

qint64 CopyIn::finish()
{
    send();
    if (PQputCopyEnd(m_conn, nullptr) != 1) fail(PQgetResult(m_conn));
    m_open = false;
    pg_result* r = PQgetResult(m_conn);
    if (!r || PQresultStatus(r) != PGRES_COMMAND_OK) fail(r);
    const qint64 rows = std::atoll(PQcmdTuples(r));
    PQclear(r);
    drainResults(m_conn);
    return rows;
}

void CopyIn::abort(const QString& reason) noexcept
{
    if (!m_open) return;
    m_open = false;
    m_buffer.clear();
    if (PQstatus(m_conn) != CONNECTION_OK) return;
    PQputCopyEnd(m_conn, reason.toUtf8().constData());
    drainResults(m_conn);
}

void CopyIn::fail(pg_result* result)
{
    const PgError error = copyError(m_conn, result);
    PQclear(result);
    m_open = false;
    m_buffer.clear();
    // Whatever else the server sent about this copy is read and dropped.
    if (PQstatus(m_conn) == CONNECTION_OK) drainResults(m_conn);
    throw error;
}

} // namespace vidra::pg
