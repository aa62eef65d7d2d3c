#include "platform/db/Sqlite.h"

#include "platform/Error.h"

#include <sqlite3.h>

namespace vidra {

[[noreturn]] void throwSqliteError(sqlite3* db, int rc)
{
    QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
    if (msg.isEmpty() || (db && sqlite3_errcode(db) != rc))
        msg = QString::fromUtf8(sqlite3_errstr(rc));
    throw DbError(trimEngineMessage(msg));
}

[[noreturn]] void throwSqliteError(sqlite3* db)
{
    throwSqliteError(db, sqlite3_errcode(db));
}

QString quoteIdentifier(const QString& name)
{
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

Statement::Statement(sqlite3* db, const QString& sql)
{
    const QByteArray s = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db, s.constData(), int(s.size()), &m_st, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(db, rc);
}

Statement Statement::tryPrepare(sqlite3* db, const QString& sql)
{
    Statement out;
    const QByteArray s = sql.toUtf8();
    if (sqlite3_prepare_v2(db, s.constData(), int(s.size()), &out.m_st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(out.m_st);
        out.m_st = nullptr;
    }
    return out;
}

Statement::~Statement()
{
    sqlite3_finalize(m_st);
}

void Statement::bindText(int index, const QString& text)
{
    const QByteArray b = text.toUtf8();
    sqlite3_bind_text(m_st, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
}

QString Statement::columnText(int column) const
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_st, column)));
}

WriteTransaction::WriteTransaction(sqlite3* db) : m_db(db)
{
    const int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(db, rc);
}

WriteTransaction::~WriteTransaction()
{
    if (!m_done && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void WriteTransaction::commit()
{
    const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(m_db, rc);
    m_done = true;
}

} // namespace vidra
