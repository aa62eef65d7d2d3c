#pragma once
// vidra-db's side of a PostgreSQL server: a session whose failures never
// show a password, whose statements a stop signal cancels, and the text
// format that COPY sends rows in.
#include "platform/db/PgClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <memory>
#include <string>

namespace vidradb {

// A session to the server a URI names. Raises Failure when it cannot
// connect, naming the server without its password. While it lives, a stop
// signal (cancelServerStatements) cancels the statement it is running.
class ServerSession
{
public:
    explicit ServerSession(const QString& uri);
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    vidra::pg::Session& session() { return *m_session; }
    // The URI as messages show it: quoted, without its password.
    const QString& shown() const { return m_shown; }

private:
    std::unique_ptr<vidra::pg::Session> m_session;
    QString m_shown;
    int m_slot = -1;
};

// Asks every live session's server to cancel what it runs. Safe to call
// from a signal handler.
void cancelServerStatements() noexcept;

// A file or server named on the command line, quoted; a server's URI
// without its password, also one that libpq itself would not read as a
// password (an unescaped '/' in it).
QString shown(const QString& place);

// The passwords a URI holds (in the user part, in a password= parameter),
// as written and percent-decoded, and the pieces of them libpq may quote.
QStringList passwordsIn(const QString& uri);
// The message with every password of the URI blotted out: libpq quotes a
// malformed part of a URI, and the password may be that part.
QString withoutPasswordsOf(QString message, const QString& uri);

// COPY's text format. A value is appended to a line as COPY reads it back
// exactly: null as \N, and a backslash, tab, line feed or carriage return
// escaped; the values of a line are separated by tabs.
void appendCopyValue(QByteArray& line, const char* data, size_t size);

// The values of one line COPY wrote, decoded. False when the line does not
// hold exactly `fields.size()` values.
struct CopyValue
{
    bool null = true;
    std::string bytes;
};
bool splitCopyLine(const char* line, size_t size, std::array<CopyValue, 5>& fields);

} // namespace vidradb
