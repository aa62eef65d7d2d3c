#pragma once
// Writing one row of a snapshot back to its table: the insert, update and
// delete statements a table's saves are made of, and the check that a row
// is still in the file exactly as it was read. Each runs inside the caller's
// write transaction. For platform/db only.
#include "platform/db/TableSnapshot.h"

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;

namespace vidra {

// The statements, names given unquoted; values are bound in column order,
// and the row id last.
QString insertStatement(const QString& table, const QStringList& columns);
QString updateStatement(const QString& table, const QStringList& columns, const QString& rowIdName);
QString deleteStatement(const QString& table, const QString& rowIdName);

// Another process may have changed or deleted a row since it was read, and
// the file may since have given its row id to a new row: a write goes only to
// the row exactly as it was read.
enum class RowCheck
{
    Same,
    Gone,
    Changed
};
RowCheck checkRowAsRead(sqlite3* db, const QString& table, const QStringList& fields,
                        const Snapshot& snap, size_t row);

// Writes a new row of every field; returns the file's row id for it.
int64_t insertRow(sqlite3* db, const QString& table, const QStringList& fields,
                  const RowValues& values);
// Writes the changed fields of a snapshot row, which must be in the file as
// it was read; raises DbError saying so when another user changed or deleted it.
void updateRow(sqlite3* db, const QString& table, const QStringList& fields, const Snapshot& snap,
               size_t row, const std::vector<int>& changed, const RowValues& values);
// Deletes a snapshot row unless another user changed it since it was read
// (DbError); a row already gone from the file is gone either way.
void deleteRow(sqlite3* db, const QString& table, const QStringList& fields, const Snapshot& snap,
               size_t row);

} // namespace vidra
