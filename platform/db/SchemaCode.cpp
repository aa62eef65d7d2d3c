#include "platform/db/SchemaCode.h"

#include "platform/Error.h"
#include "platform/db/Connection.h"

#include <QRegularExpression>
#include <sqlite3.h>

namespace vidra {

namespace {

// The statement with every quoted text or name and every comment blanked
// out, so that only its own words and signs remain.
QString bareCode(const QString& sql)
{
    QString out;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            ++i;
            while (i < n) {
                if (sql[i] == close) {
                    // A doubled quote stays inside; brackets have no escape.
                    if (close != u']' && i + 1 < n && sql[i + 1] == close) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            ++i;
            out += u' ';
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
            out += u' ';
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            out += u' ';
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

bool hasCheckKeyword(const QString& sql)
{
    static const QRegularExpression check(QStringLiteral("(^|[^\\w$])CHECK($|[^\\w$])"),
                                          QRegularExpression::CaseInsensitiveOption);
    return bareCode(sql).contains(check);
}

// Runs a query with the table's name bound as ?1 and tells whether it gives a row.
bool anyRow(sqlite3* db, const char* sql, const QString& table)
{
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        throwSqliteError(db, rc);
    }
    const QByteArray name = table.toUtf8();
    sqlite3_bind_text(st, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throwSqliteError(db, rc);
    return rc == SQLITE_ROW;
}

} // namespace

QString schemaCodeRunOnSave(sqlite3* db, const QString& table, const QString& createSql,
                            const QStringList& savedColumns)
{
    if (hasCheckKeyword(createSql)) return QStringLiteral("a CHECK constraint");
    if (anyRow(db, "SELECT 1 FROM pragma_table_xinfo(?1) WHERE hidden IN (2, 3)", table))
        return QStringLiteral("a generated column");
    {
        // A save names every declared column, so only the others' defaults are evaluated.
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT name, dflt_value FROM pragma_table_info(?1)", -1, &st,
                               nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            throwSqliteError(db);
        }
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(st, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        bool computed = false;
        int rc;
        while (!computed && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            const QString column =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            const QString def =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
            // Literals and the current time are values; anything with a call is code.
            computed =
                bareCode(def).contains(u'(') && !savedColumns.contains(column, Qt::CaseInsensitive);
        }
        sqlite3_finalize(st);
        if (computed) return QStringLiteral("a computed default value");
    }
    if (anyRow(db,
               "SELECT 1 FROM pragma_index_list(?1) AS il WHERE il.partial = 1 OR EXISTS "
               "(SELECT 1 FROM pragma_index_xinfo(il.name) WHERE cid = -2)",
               table))
        return QStringLiteral("an index on an expression or on part of the rows");
    return QString();
}

} // namespace vidra
