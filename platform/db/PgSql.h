#pragma once
// SQL text for the server: names written as the server reads the program's
// own, and the names a statement's select list gives its columns. For
// platform/db only.
#include <QString>
#include <optional>
#include <vector>

namespace vidra {

// The name the server reads for a table or column name as the program
// writes it: a plain name (letters, digits, underscores) folded to lower case
// as the server folds an unquoted one, any other name as it is.
QString serverName(const QString& name);

// A table or column name as the program writes it, for the server: a plain
// name (letters, digits, underscores) is folded to lower case as the server
// folds an unquoted one, so that "Vlasnici" and VLASNICI both reach the table
// vlasnici; it is then quoted all the same, so that a keyword stays a name.
// Any other name is quoted as it is.
QString serverIdentifier(const QString& name);

// The name each item of the statement's outermost select list gives its
// column: an alias ("count(*) AS n", "count(*) n") or a column named alone
// ("telefon", "v.telefon"), as the server folds it; nullopt for an
// expression without an alias. Empty when the list cannot be read item for
// column (no SELECT, or a "*" among its items).
std::vector<std::optional<QString>> selectListNames(const QString& sql);

} // namespace vidra
