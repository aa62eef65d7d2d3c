#pragma once
// The engine's own guards over SQLite: a statement that finalizes itself, a
// write transaction that rolls back unless committed, errors carrying
// SQLite's message, and identifier quoting. For platform/db only.
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace vidra {

// Throw DbError carrying SQLite's message for the handle: its current one,
// or the generic text of rc when the handle's error is another one.
[[noreturn]] void throwSqliteError(sqlite3* db);
[[noreturn]] void throwSqliteError(sqlite3* db, int rc);

// A name as an SQL identifier: in double quotes, inner quotes doubled, so
// that any table or column name reaches the engine as that one name.
QString quoteIdentifier(const QString& name);

// One prepared statement, finalized when the guard goes.
class Statement
{
public:
    // Raises DbError with the engine's message when the text does not compile.
    Statement(sqlite3* db, const QString& sql);
    // An empty guard when the text does not compile (the engine's message
    // stays on the handle) or holds no statement.
    static Statement tryPrepare(sqlite3* db, const QString& sql);
    Statement(Statement&& o) noexcept : m_st(o.m_st) { o.m_st = nullptr; }
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    sqlite3_stmt* get() const { return m_st; }
    explicit operator bool() const { return m_st != nullptr; }

    // Binds a text as text (an empty text included, never null).
    void bindText(int index, const QString& text);
    // A column of the current row as text, up to its first zero byte.
    QString columnText(int column) const;

private:
    Statement() = default;
    sqlite3_stmt* m_st = nullptr;
};

// One write in one transaction (BEGIN IMMEDIATE); any failure rolls back and
// reports the engine's text.
class WriteTransaction
{
public:
    explicit WriteTransaction(sqlite3* db);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit();

private:
    sqlite3* m_db;
    bool m_done = false;
};

} // namespace vidra
