#pragma once
// Where a connection's tables live: an SQLite file (SqliteStore) or a
// PostgreSQL server (PgStore). Table and Query reach the rows only through
// this face, so they and everything above them never know which one it is.
// For platform/db only.
#include "platform/Error.h"
#include "platform/db/TableSnapshot.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vidra {

// The columns of a reading statement and its first row (empty when it gave none).
struct QueryResult
{
    std::vector<QString> columns;
    std::vector<QVariant> firstRow;
};

// Raised by Store::query for a statement that would change something.
class WritingStatement : public DbError
{
public:
    WritingStatement() : DbError(QStringLiteral("Only reading statements are allowed")) {}
};

// The one transaction a save or a delete runs in: rolled back when it goes
// uncommitted. While it lasts no other connection writes the table, so what
// the record rules read in it still holds when the row is written.
class StoreWrite
{
public:
    virtual ~StoreWrite() = default;
    virtual void commit() = 0;
};

class Store
{
public:
    virtual ~Store() = default;

    // Nothing may be written: a read-only file or mount, a server that only
    // reads, or a connection text asking for it.
    virtual bool isReadOnly() const = 0;
    // An Access file of the program's earlier years, read into memory.
    virtual bool isLegacy() const { return false; }
    // Raises DbError when the store opened can no longer be reached the way
    // it was opened (a file replaced or removed under its name).
    virtual void checkUnchanged() const {}
    // How long a write waits for another connection's lock before it fails.
    virtual void setBusyTimeout(int ms) = 0;

    // Reads the whole table, the given fields in their order; raises
    // DbError for a table that cannot be browsed as text.
    virtual Snapshot load(const QString& table, const QStringList& fields) = 0;

    // Starts the write that the following calls run in.
    virtual std::unique_ptr<StoreWrite> beginWrite(const QString& table) = 0;
    // Writes a new row of every field; returns the id its snapshot row gets.
    virtual int64_t insertRow(const QString& table, const QStringList& fields,
                              const RowValues& values) = 0;
    // Writes the changed fields of a snapshot row, which must still be stored
    // exactly as it was read; raises DbError saying so when another user
    // changed or deleted it.
    virtual void updateRow(const QString& table, const QStringList& fields, const Snapshot& snap,
                           size_t row, const std::vector<int>& changed,
                           const RowValues& values) = 0;
    // Deletes a snapshot row unless another user changed it since it was read
    // (DbError); a row already gone is gone either way.
    virtual void deleteRow(const QString& table, const QStringList& fields, const Snapshot& snap,
                           size_t row) = 0;

    // How the n-th parameter (from 1) is written in a statement's text.
    virtual QString placeholder(int n) const = 0;
    // Runs one reading statement with its parameters (a null QVariant binds
    // null, anything else its text); raises WritingStatement for one that
    // would change something. Unnamed expression columns are called
    // Expr1000, Expr1001, ...
    virtual QueryResult query(const QString& sql, const std::vector<QVariant>& params) = 0;
};

} // namespace vidra
