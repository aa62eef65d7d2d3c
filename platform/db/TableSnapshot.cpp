#include "platform/db/TableSnapshot.h"

#include "platform/Error.h"
#include "platform/db/SchemaCode.h"
#include "platform/db/Sqlite.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sqlite3.h>

namespace vidra {

Arena::~Arena()
{
    std::free(m_data);
}

uint32_t Arena::append(const char* bytes, size_t n, bool isNull)
{
    const size_t need = m_size + n + 5;
    if (need > std::numeric_limits<uint32_t>::max())
        throw DbError(QStringLiteral("The table is too large to be loaded"));
    if (need > m_cap) grow(need);
    const auto at = uint32_t(m_size);
    uint64_t v = isNull ? 0 : uint64_t(n) + 1;
    do {
        unsigned char b = v & 0x7F;
        v >>= 7;
        if (v) b |= 0x80;
        m_data[m_size++] = char(b);
    } while (v);
    if (n) std::memcpy(m_data + m_size, bytes, n);
    m_size += n;
    return at;
}

void Arena::grow(size_t need)
{
    size_t cap = std::max<size_t>(m_cap ? m_cap : 1 << 20, 1 << 20);
    while (cap < need)
        cap += cap / 2;
    auto* p = static_cast<char*>(std::realloc(m_data, cap));
    if (!p) throw DbError(QStringLiteral("Not enough memory to load the table"));
    m_data = p;
    m_cap = cap;
}

QString cellText(RowFilter::Cell c)
{
    if (!c.data) return QString();
    return QString::fromUtf8(c.data, qsizetype(c.size));
}

bool hasTextAffinity(const QString& declaredType)
{
    const QString t = declaredType.toUpper();
    if (t.contains(u"INT")) return false;
    return t.contains(u"CHAR") || t.contains(u"CLOB") || t.contains(u"TEXT");
}

// Reads the whole table; the file is checked on the way, because it may be
// anything: a view or virtual table, missing columns, columns that would
// turn numbers such as 0123 into 123, or a damaged file.
Snapshot loadSnapshot(sqlite3* db, const QString& tableName, const QStringList& fields)
{
    QString realName;
    {
        Statement st(db, QStringLiteral("SELECT type, name, sql FROM sqlite_schema "
                                        "WHERE name = ?1 COLLATE NOCASE AND type IN "
                                        "('table','view')"));
        st.bindText(1, tableName);
        const int rc = sqlite3_step(st.get());
        if (rc == SQLITE_DONE)
            throw DbError(
                QStringLiteral("The table '%1' was not found in the database").arg(tableName));
        if (rc != SQLITE_ROW) throwSqliteError(db, rc);
        if (st.columnText(0) == u"view")
            throw DbError(QStringLiteral("'%1' is a view, not a table").arg(tableName));
        if (st.columnText(2).simplified().startsWith(u"CREATE VIRTUAL", Qt::CaseInsensitive))
            throw DbError(QStringLiteral("'%1' is a virtual table, not a table").arg(tableName));
        realName = st.columnText(1);
    }

    QStringList columns;
    {
        Statement st(db, QStringLiteral("SELECT name, type FROM pragma_table_info(?1)"));
        st.bindText(1, realName);
        std::vector<std::pair<QString, QString>> found;
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            found.emplace_back(st.columnText(0), st.columnText(1));
        if (rc != SQLITE_DONE) throwSqliteError(db, rc);
        for (const QString& f : fields) {
            auto it = std::find_if(found.begin(), found.end(), [&](const auto& c) {
                return c.first.compare(f, Qt::CaseInsensitive) == 0;
            });
            if (it == found.end())
                throw DbError(
                    QStringLiteral("Field '%1' not found in table '%2'").arg(f, tableName));
            if (!hasTextAffinity(it->second))
                throw DbError(
                    QStringLiteral("Field '%1' has the type '%2'; a text column is "
                                   "required")
                        .arg(f, it->second.isEmpty() ? QStringLiteral("none") : it->second));
        }
        for (const auto& c : found)
            columns << c.first;
    }
    // The row id is reachable by one of three names unless columns hide them all.
    QString rowIdName;
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (!columns.contains(QLatin1String(candidate), Qt::CaseInsensitive)) {
            rowIdName = QLatin1String(candidate);
            break;
        }
    }
    if (rowIdName.isEmpty())
        throw DbError(QStringLiteral("The rows of table '%1' cannot be identified").arg(tableName));

    QString sql = QStringLiteral("SELECT ") + rowIdName;
    for (const QString& f : fields)
        sql += QStringLiteral(", ") + quoteIdentifier(f);
    sql += QStringLiteral(" FROM ") + quoteIdentifier(realName);

    Snapshot snap(int(fields.size()));
    snap.rowIdName = rowIdName;
    snap.notWritable = schemaCodeRunOnSave(db, realName, fields, rowIdName);
    {
        // Room for the rows up front: the highest row id is a cheap, usually
        // exact estimate, bounded by what the file could hold.
        Statement st(db, QStringLiteral("SELECT max(%1), (SELECT page_count * page_size FROM "
                                        "pragma_page_count, pragma_page_size) FROM %2")
                             .arg(rowIdName, quoteIdentifier(realName)));
        if (sqlite3_step(st.get()) == SQLITE_ROW) {
            const auto maxId = std::max<sqlite3_int64>(0, sqlite3_column_int64(st.get(), 0));
            const auto fileBytes = std::max<sqlite3_int64>(0, sqlite3_column_int64(st.get(), 1));
            const auto expected = size_t(std::min(maxId, fileBytes / 8 + 1024));
            snap.rowIds.reserve(expected);
            snap.cells.reserve(expected * fields.size());
        }
    }
    const Statement st = Statement::tryPrepare(db, sql);
    if (!st) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
        if (msg.contains(QLatin1String("no such column")))
            throw DbError(
                QStringLiteral("The rows of table '%1' cannot be identified").arg(tableName));
        throw DbError(trimEngineMessage(msg));
    }
    sqlite3_stmt* raw = st.get();

    const int nf = int(fields.size());
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        snap.rowIds.push_back(sqlite3_column_int64(raw, 0));
        for (int f = 0; f < nf; ++f) {
            const int col = f + 1;
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, col));
            if (!text) {
                // Null, or SQLite ran out of memory converting the value.
                if (sqlite3_errcode(db) == SQLITE_NOMEM) throwSqliteError(db, SQLITE_NOMEM);
                snap.cells.push_back(snap.arenas[size_t(f)].append(nullptr, 0, true));
                continue;
            }
            const auto n = size_t(sqlite3_column_bytes(raw, col));
            // Bytes that are not UTF-8 are kept as they are: every reader of a
            // cell decodes it safely, showing such bytes as U+FFFD.
            snap.cells.push_back(snap.arenas[size_t(f)].append(text, n, false));
        }
        if (snap.rowIds.size() >= size_t(std::numeric_limits<int>::max()))
            throw DbError(QStringLiteral("The table is too large to be loaded"));
    }
    if (rc != SQLITE_DONE) throwSqliteError(db, rc);
    return snap;
}

} // namespace vidra
