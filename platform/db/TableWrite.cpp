#include "platform/db/TableWrite.h"

#include "platform/Error.h"
#include "platform/db/Sqlite.h"
#include "platform/db/TableSnapshot.h"

#include <cstring>
#include <sqlite3.h>

namespace vidra {

namespace {

QStringList quotedAll(const QStringList& names)
{
    QStringList out;
    for (const QString& n : names)
        out << quoteIdentifier(n);
    return out;
}

void bindValue(sqlite3_stmt* st, int index, const std::optional<QString>& v)
{
    if (!v || v->isNull()) {
        sqlite3_bind_null(st, index);
        return;
    }
    const QByteArray b = v->toUtf8();
    sqlite3_bind_text(st, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
}

} // namespace

QString insertStatement(const QString& table, const QStringList& columns)
{
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(quoteIdentifier(table), quotedAll(columns).join(QStringLiteral(", ")),
             marks.join(QStringLiteral(", ")));
}

QString updateStatement(const QString& table, const QStringList& columns, const QString& rowIdName)
{
    QStringList sets;
    for (const QString& c : columns)
        sets << quoteIdentifier(c) + QStringLiteral(" = ?");
    return QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
        .arg(quoteIdentifier(table), sets.join(QStringLiteral(", ")), rowIdName);
}

QString deleteStatement(const QString& table, const QString& rowIdName)
{
    return QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(quoteIdentifier(table), rowIdName);
}

RowCheck checkRowAsRead(sqlite3* db, const QString& table, const QStringList& fields,
                        const Snapshot& snap, size_t row)
{
    Statement st(db, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                         .arg(quotedAll(fields).join(QStringLiteral(", ")), quoteIdentifier(table),
                              snap.rowIdName));
    sqlite3_bind_int64(st.get(), 1, snap.rowIds[row]);
    const int rc = sqlite3_step(st.get());
    if (rc == SQLITE_DONE) return RowCheck::Gone;
    if (rc != SQLITE_ROW) throwSqliteError(db, rc);
    for (int f = 0; f < int(fields.size()); ++f) {
        const RowFilter::Cell was = snap.cell(row, f);
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), f));
        if (!text) {
            if (sqlite3_errcode(db) == SQLITE_NOMEM) throwSqliteError(db, SQLITE_NOMEM);
            if (was.data) return RowCheck::Changed;
            continue;
        }
        const auto n = size_t(sqlite3_column_bytes(st.get(), f));
        if (!was.data || was.size != n || (n && std::memcmp(was.data, text, n) != 0))
            return RowCheck::Changed;
    }
    return RowCheck::Same;
}

int64_t insertRow(sqlite3* db, const QString& table, const QStringList& fields,
                  const RowValues& values)
{
    Statement st(db, insertStatement(table, fields));
    for (int f = 0; f < int(fields.size()); ++f)
        bindValue(st.get(), f + 1, values[size_t(f)]);
    const int rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) throwSqliteError(db, rc);
    return sqlite3_last_insert_rowid(db);
}

void updateRow(sqlite3* db, const QString& table, const QStringList& fields, const Snapshot& snap,
               size_t row, const std::vector<int>& changed, const RowValues& values)
{
    QStringList columns;
    for (int f : changed)
        columns << fields[f];
    const QString sql = updateStatement(table, columns, snap.rowIdName);
    const RowCheck c = checkRowAsRead(db, table, fields, snap, row);
    if (c == RowCheck::Gone)
        throw DbError(QStringLiteral("The record cannot be saved: another user has "
                                     "deleted it from the file"));
    if (c == RowCheck::Changed)
        throw DbError(QStringLiteral("The record cannot be saved: another user has "
                                     "changed it in the file since it was read"));
    Statement st(db, sql);
    int bind = 1;
    for (int f : changed)
        bindValue(st.get(), bind++, values[size_t(f)]);
    sqlite3_bind_int64(st.get(), bind, snap.rowIds[row]);
    const int rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) throwSqliteError(db, rc);
    if (sqlite3_changes(db) != 1)
        throw DbError(QStringLiteral("The record cannot be saved: another user has deleted "
                                     "it from the file"));
}

void deleteRow(sqlite3* db, const QString& table, const QStringList& fields, const Snapshot& snap,
               size_t row)
{
    const RowCheck c = checkRowAsRead(db, table, fields, snap, row);
    if (c == RowCheck::Changed)
        throw DbError(QStringLiteral("The record cannot be deleted: another user has changed "
                                     "it in the file since it was read"));
    if (c == RowCheck::Same) {
        Statement st(db, deleteStatement(table, snap.rowIdName));
        sqlite3_bind_int64(st.get(), 1, snap.rowIds[row]);
        const int rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) throwSqliteError(db, rc);
    }
}

} // namespace vidra
