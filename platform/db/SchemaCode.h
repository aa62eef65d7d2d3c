#pragma once
// Finds the expressions a directory file's table would evaluate when a row is
// saved into it: CHECK constraints, generated columns, computed defaults of
// columns a save leaves out, and indexes on expressions or over part of the
// rows. Triggers and views never run on an untrusted file; these would, so a
// table that carries any of them is only read.
#include <QString>
#include <QStringList>

struct sqlite3;

namespace vidra {

// What the table carries ("a CHECK constraint", ...), or an empty text when
// saving runs nothing of the file's. Raises DbError when the schema cannot be read.
QString schemaCodeRunOnSave(sqlite3* db, const QString& table, const QString& createSql,
                            const QStringList& savedColumns);

} // namespace vidra
