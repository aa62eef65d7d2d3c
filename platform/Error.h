#pragma once
// Errors travel as exceptions carrying the text the user is to see.
#include <QString>
#include <exception>

namespace vidra {

class Error : public std::exception
{
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Raised by the database engine; the message is the engine's own wording.
class DbError : public Error
{
public:
    using Error::Error;
};

// Stops an operation without any message (a refused confirmation, for one).
class Abort : public std::exception
{
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// Engine messages reach callers without trailing blanks and periods.
QString trimEngineMessage(const QString& message);

} // namespace vidra
