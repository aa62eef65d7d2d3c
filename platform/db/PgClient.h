#pragma once
// The PostgreSQL client, libpq under a thin C++ face: a session to one
// server database from a connection URI, statements with text parameters,
// results read as UTF-8 text, and the server's own words in every error.
#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

namespace vidra::pg {

// Whether a data source names a server rather than a file: a URI of the
// scheme postgresql:// or postgres://, in any letter case.
bool isServerUri(const QString& dataSource);

// The URI without a password, for anything written down or shown: the
// password of the user part and a password= parameter are dropped, all
// else is kept as written.
QString withoutPassword(const QString& uri);

// A server error: the server's (or libpq's) message, and the five-character
// SQLSTATE code when the server sent one ("23505": a unique constraint).
class PgError : public DbError
{
public:
    PgError(QString message, QString sqlState)
        : DbError(std::move(message)), m_sqlState(std::move(sqlState))
    {
    }
    const QString& sqlState() const noexcept { return m_sqlState; }
    // The connection itself failed (lost server, refused login): the
    // session may be reset and the operation tried anew.
    bool connectionLost() const noexcept
    {
        return m_sqlState.isEmpty() || m_sqlState.startsWith(u"08");
    }

private:
    QString m_sqlState;
};

inline constexpr const char* kUniqueViolation = "23505";

// One result set; cells are read as text (the session asks for text results).
class Result
{
public:
    explicit Result(pg_result* result);
    Result(Result&&) noexcept;
    Result& operator=(Result&&) noexcept;
    ~Result();

    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    // The cell's bytes (UTF-8 text, never null-terminated in meaning) and length.
    const char* data(int row, int column) const;
    int size(int row, int column) const;
    // The cell as text; a null cell is a null QString.
    QString text(int row, int column) const;
    // Rows a command touched (UPDATE, DELETE, INSERT).
    qint64 affected() const;
    // A column's name as the server gives it, the OID of its type, and the
    // OID of the table it comes straight from (0 for an expression).
    QString columnName(int column) const;
    unsigned columnType(int column) const;
    unsigned columnTable(int column) const;

private:
    pg_result* m_result = nullptr;
};

using Params = std::vector<std::optional<QString>>;

class Session
{
public:
    // Connects at once; raises PgError with libpq's message (an unreachable
    // server, a refused login, a malformed URI). The client encoding is UTF-8.
    explicit Session(const QString& uri);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs one statement with $1, $2, ... bound to the texts (nullopt: null);
    // raises PgError with the server's message when it fails.
    Result exec(const QString& sql, const Params& params = {});
    // Several statements without parameters (a schema, BEGIN; LOCK ...).
    void execScript(const QString& sql);

    // Whether the link to the server still stands, and re-establishing it
    // (raises PgError when the server is still away).
    bool isOk() const;
    void reconnect();

    // Rows of a COPY ... TO STDOUT, each handed to the callback as one line
    // of COPY's text format (without its line end).
    void copyOut(const QString& sql, const std::function<void(const char*, int)>& line);

    pg_conn* handle() const { return m_conn; }

private:
    [[noreturn]] void fail(pg_result* result);
    pg_conn* m_conn = nullptr;
};

// A COPY ... FROM STDIN on a session: rows go to the server as lines of
// COPY's text format, gathered into large pieces. The server keeps them only
// once finish() succeeds; a copy given up (or destroyed unfinished) fails
// the session's transaction, so nothing of it remains.
class CopyIn
{
public:
    // Starts the copy; raises PgError.
    CopyIn(Session& session, const QString& sql);
    ~CopyIn();
    CopyIn(const CopyIn&) = delete;
    CopyIn& operator=(const CopyIn&) = delete;

    // One row: a line of COPY's text format without its line end.
    void line(const char* data, size_t size);
    // Ends the copy and returns the rows the server took; raises PgError with
    // the server's message and its detail (the key that was taken twice).
    qint64 finish();
    // Gives the copy up; the server discards what it was sent.
    void abort(const QString& reason) noexcept;

private:
    void send();
    [[noreturn]] void fail(pg_result* result);
    pg_conn* m_conn;
    QByteArray m_buffer;
    bool m_open = false;
};

} // namespace vidra::pg
