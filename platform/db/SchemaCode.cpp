#include "platform/db/SchemaCode.h"

#include "platform/db/Sqlite.h"
#include "platform/db/TableWrite.h"

#include <map>
#include <sqlite3.h>
#include <vector>

namespace vidra {

namespace {

// A setting that cannot be read counts as on.
bool settingOn(sqlite3* db, int op)
{
    int on = 1;
    if (sqlite3_db_config(db, op, -1, &on) != SQLITE_OK) return true;
    return on != 0;
}

bool hasTriggers(sqlite3* db, const QString& table)
{
    Statement st(db, QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = 'trigger' AND "
                                    "tbl_name = ?1 COLLATE NOCASE"));
    st.bindText(1, table);
    const int rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqliteError(db, rc);
    return rc == SQLITE_ROW;
}

struct Call
{
    QString name;
    int args = -1;
};

// The functions a statement would call, read from SQLite's listing of its
// compiled program; nothing runs. A statement that does not compile runs
// nothing either: the save fails with SQLite's own message.
void collectCalls(sqlite3* db, const QString& sql, std::vector<Call>& out)
{
    const Statement st = Statement::tryPrepare(db, QStringLiteral("EXPLAIN ") + sql);
    if (!st) return;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const QString opcode = st.columnText(1);
        if (!opcode.startsWith(u"Function") && !opcode.startsWith(u"PureFunc")) continue;
        const QString p4 = st.columnText(5); // "name(arguments)"
        const qsizetype open = p4.indexOf(u'(');
        Call call;
        call.name = open < 0 ? p4 : p4.left(open);
        if (open >= 0) {
            bool ok = false;
            const int n = p4.mid(open + 1).section(u')', 0, 0).toInt(&ok);
            if (ok) call.args = n;
        }
        out.push_back(call);
    }
    if (rc != SQLITE_DONE) throwSqliteError(db, rc);
}

// Functions SQLite marks innocuous and lets schema code call, by lower-cased
// name and argument count (-1: any). The pragma statement, unlike its table
// form, cannot be shadowed by a table of the file.
std::map<QString, std::vector<std::pair<int, bool>>> functionSafety(sqlite3* db)
{
    std::map<QString, std::vector<std::pair<int, bool>>> out;
    const Statement st = Statement::tryPrepare(db, QStringLiteral("PRAGMA function_list"));
    if (!st) return out; // nothing counts as safe
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
        const int flags = sqlite3_column_int(st.get(), 5);
        const bool safe = (flags & SQLITE_INNOCUOUS) && !(flags & SQLITE_DIRECTONLY);
        out[st.columnText(0).toLower()].emplace_back(sqlite3_column_int(st.get(), 4), safe);
    }
    return out;
}

bool isSafe(const std::map<QString, std::vector<std::pair<int, bool>>>& safety, const Call& call)
{
    const auto it = safety.find(call.name.toLower());
    if (it == safety.end()) return false;
    bool exact = false;
    for (const auto& [args, safe] : it->second)
        exact = exact || args == call.args;
    bool any = false;
    for (const auto& [args, safe] : it->second) {
        if (args != (exact ? call.args : -1)) continue;
        if (!safe) return false;
        any = true;
    }
    return any;
}

} // namespace

QString schemaCodeRunOnSave(sqlite3* db, const QString& table, const QStringList& savedColumns,
                            const QString& rowIdName)
{
    // Switched off when the file was opened; a library that would not do
    // so runs the file's triggers on every save.
    if (settingOn(db, SQLITE_DBCONFIG_ENABLE_TRIGGER) && hasTriggers(db, table))
        return QStringLiteral("saving would run triggers of the file, which cannot be switched "
                              "off here");

    // The statements the table's saves and deletes are made of. SQLite keeps
    // most schema code to innocuous functions itself, but not every release
    // does so for CHECK constraints: what the compiled programs call decides.
    std::vector<Call> calls;
    collectCalls(db, insertStatement(table, savedColumns), calls);
    collectCalls(db, updateStatement(table, savedColumns, rowIdName), calls);
    collectCalls(db, deleteStatement(table, rowIdName), calls);
    if (calls.empty()) return QString();

    const auto safety = functionSafety(db);
    for (const Call& call : calls)
        if (!isSafe(safety, call))
            return QStringLiteral("its rules call %1(), which is not one of SQLite's safe "
                                  "functions")
                .arg(call.name);
    return QString();
}

} // namespace vidra
