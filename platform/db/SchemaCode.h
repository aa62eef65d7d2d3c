#pragma once
// Whether saving into a directory file's table would run anything of the
// file's own beyond SQLite's innocuous functions. The connection keeps
// triggers and views from running and holds schema expressions (CHECK
// constraints, generated columns, computed defaults, expression and partial
// indexes) to innocuous functions; such a table is written, and SQLite itself
// refuses a save that breaks one of its rules. What slips past that guard
// keeps the table read-only.
#include <QString>
#include <QStringList>

struct sqlite3;

namespace vidra {

// Why the table may not be written ("its rules call fts3_tokenizer(), ..."),
// or an empty text when a save runs nothing of the file's own. Compiles the
// program's own insert, update and delete for the table without running them.
// Raises DbError when the schema cannot be read.
QString schemaCodeRunOnSave(sqlite3* db, const QString& table, const QStringList& savedColumns,
                            const QString& rowIdName);

} // namespace vidra
