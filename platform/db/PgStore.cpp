#include "platform/db/PgStore.h"

#include "platform/Error.h"
#include "platform/db/PgClient.h"
#include "platform/db/PgCopy.h"
#include "platform/db/PgSql.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <libpq-fe.h>

namespace vidra {

namespace {

// SQLSTATE of a statement refused by a read-only transaction.
constexpr const char* kReadOnlyTransaction = "25006";

bool isPlainName(const QString& s)
{
    if (s.isEmpty() || !(s[0].isLetter() || s[0] == u'_')) return false;
    for (QChar c : s)
        if (!(c.isLetterOrNumber() || c == u'_')) return false;
    return true;
}

QStringList serverColumns(const QStringList& fields)
{
    QStringList out;
    for (const QString& f : fields)
        out << serverIdentifier(f);
    return out;
}

// A server value as the file engine would hand it over: integers and
// fractions as numbers, truth values as 1 and 0, everything else as text.
QVariant valueOf(const pg::Result& r, int column)
{
    if (r.isNull(0, column)) return QVariant();
    const QString text = r.text(0, column);
    switch (r.columnType(column)) {
    case 20: // int8
    case 21: // int2
    case 23: // int4
    case 26: // oid
        return qlonglong(text.toLongLong());
    case 700:  // float4
    case 701:  // float8
    case 1700: // numeric
    {
        bool whole = false;
        const qlonglong n = text.toLongLong(&whole);
        if (whole) return n;
        return text.toDouble();
    }
    case 16: // bool
        return qlonglong(text == u"t" ? 1 : 0);
    default:
        return text;
    }
}

} // namespace

// ---------------------------------------------------------------- the write

class PgWrite final : public StoreWrite
{
public:
    explicit PgWrite(PgStore& store) : m_store(store) {}
    ~PgWrite() override
    {
        if (!m_done) m_store.rollback();
    }
    PgWrite(const PgWrite&) = delete;
    PgWrite& operator=(const PgWrite&) = delete;

    void commit() override
    {
        // COMMIT of a transaction that already failed rolls back and calls
        // that success: such a write is refused here instead.
        if (PQtransactionStatus(m_store.m_session->handle()) != PQTRANS_INTRANS)
            throw pg::PgError(QStringLiteral("The write was interrupted on the server; "
                                             "nothing was saved"),
                              QString());
        m_done = true;
        m_store.m_inWrite = false;
        m_store.m_session->execScript(QStringLiteral("COMMIT"));
    }

private:
    PgStore& m_store;
    bool m_done = false;
};

// ---------------------------------------------------------------- the store

PgStore::PgStore(std::unique_ptr<pg::Session> session) : m_session(std::move(session)) {}

PgStore::~PgStore() = default;

std::unique_ptr<PgStore> PgStore::open(const QString& uri, bool readOnly, int busyTimeoutMs)
{
    auto session = std::make_unique<pg::Session>(uri);
    // A standby, or a login whose transactions only read, writes nothing.
    const pg::Result r =
        session->exec(QStringLiteral("SELECT current_setting('transaction_read_only')"));
    std::unique_ptr<PgStore> store(new PgStore(std::move(session)));
    store->m_readOnly = readOnly || r.text(0, 0) == u"on";
    store->m_busyTimeoutMs = busyTimeoutMs;
    return store;
}

void PgStore::ensureConnected()
{
    if (m_session->isOk()) return;
    // Inside a write the lock went with the link: reconnecting would write
    // without it.
    if (m_inWrite)
        throw pg::PgError(QStringLiteral("The connection to the server was lost"), QString());
    m_session->reconnect();
}

void PgStore::rollback() noexcept
{
    m_inWrite = false;
    if (!m_session->isOk()) return; // the server rolled back when the link went
    if (PQtransactionStatus(m_session->handle()) == PQTRANS_IDLE) return;
    try {
        m_session->execScript(QStringLiteral("ROLLBACK"));
    } catch (const Error&) {
        // The link broke meanwhile; the server rolls back on its own.
    }
}

const PgStore::TableInfo& PgStore::describe(const QString& table, const QStringList& fields)
{
    TableInfo info;
    const pg::Result rel = m_session->exec(
        QStringLiteral("SELECT c.oid, c.relkind, c.reltuples, "
                       "has_table_privilege(c.oid, 'INSERT') AND "
                       "has_table_privilege(c.oid, 'UPDATE') AND "
                       "has_table_privilege(c.oid, 'DELETE') "
                       "FROM pg_catalog.pg_class c WHERE c.oid = pg_catalog.to_regclass($1)"),
        {serverIdentifier(table)});
    if (rel.rows() == 0)
        throw DbError(QStringLiteral("The table '%1' was not found in the database").arg(table));
    const QString kind = rel.text(0, 1);
    if (kind == u"v" || kind == u"m")
        throw DbError(QStringLiteral("'%1' is a view, not a table").arg(table));
    if (kind != u"r" && kind != u"p")
        throw DbError(QStringLiteral("'%1' is not a table").arg(table));
    info.estimatedRows = rel.text(0, 2).toDouble();
    if (rel.text(0, 3) != u"t")
        info.notWritable = QStringLiteral("the server does not let this login change it");
    const QString oid = rel.text(0, 0);

    const pg::Result cols = m_session->exec(
        QStringLiteral("SELECT a.attnum, a.attname, pg_catalog.format_type(a.atttypid, "
                       "a.atttypmod), a.attnotnull, b.typcategory, b.typname "
                       "FROM pg_catalog.pg_attribute a "
                       "JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
                       "JOIN pg_catalog.pg_type b ON b.oid = CASE WHEN t.typtype = 'd' "
                       "THEN t.typbasetype ELSE t.oid END "
                       "WHERE a.attrelid = $1::oid AND a.attnum > 0 AND NOT a.attisdropped"),
        {oid});
    std::vector<int> fieldOfAttnum;
    std::vector<bool> notNull(size_t(fields.size()), false);
    for (int f = 0; f < int(fields.size()); ++f) {
        const QString wanted = serverName(fields[f]);
        int found = -1;
        for (int r = 0; r < cols.rows(); ++r)
            if (cols.text(r, 1) == wanted) found = r;
        if (found < 0)
            throw DbError(
                QStringLiteral("Field '%1' not found in table '%2'").arg(fields[f], table));
        // Text, however declared; not char(n), whose padding would change
        // every value written.
        if (cols.text(found, 4) != u"S" || cols.text(found, 5) == u"bpchar")
            throw DbError(QStringLiteral("Field '%1' has the type '%2'; a text column is "
                                         "required")
                              .arg(fields[f], cols.text(found, 2)));
        const int attnum = cols.text(found, 0).toInt();
        if (attnum >= int(fieldOfAttnum.size())) fieldOfAttnum.resize(size_t(attnum) + 1, -1);
        fieldOfAttnum[size_t(attnum)] = f;
        notNull[size_t(f)] = cols.text(found, 3) == u"t";
    }

    // The key: the primary key, else the narrowest unique index on columns
    // that are never null, all of them among the fields.
    const pg::Result keys = m_session->exec(
        QStringLiteral("SELECT i.indkey::text, i.indnkeyatts FROM pg_catalog.pg_index i "
                       "WHERE i.indrelid = $1::oid AND i.indisunique AND i.indisvalid AND "
                       "i.indpred IS NULL AND i.indexprs IS NULL "
                       "ORDER BY i.indisprimary DESC, i.indnkeyatts"),
        {oid});
    for (int r = 0; r < keys.rows() && info.key.empty(); ++r) {
        const QStringList attnums = keys.text(r, 0).split(u' ', Qt::SkipEmptyParts);
        const int n = std::min<int>(keys.text(r, 1).toInt(), int(attnums.size()));
        std::vector<int> key;
        for (int k = 0; k < n; ++k) {
            const int attnum = attnums[k].toInt();
            const int f = attnum > 0 && attnum < int(fieldOfAttnum.size())
                              ? fieldOfAttnum[size_t(attnum)]
                              : -1;
            if (f < 0 || !notNull[size_t(f)]) {
                key.clear();
                break;
            }
            key.push_back(f);
        }
        info.key = std::move(key);
    }
    return m_tables[table] = std::move(info);
}

const PgStore::TableInfo& PgStore::infoOf(const QString& table, const QStringList& fields)
{
    const auto it = m_tables.find(table);
    return it != m_tables.end() ? it->second : describe(table, fields);
}

Snapshot PgStore::load(const QString& table, const QStringList& fields)
{
    ensureConnected();
    const TableInfo& info = describe(table, fields);
    Snapshot snap(int(fields.size()));
    snap.notWritable = info.notWritable;
    // Room for the rows up front, as the server estimates them.
    const auto expected = size_t(std::clamp(info.estimatedRows, 0.0, 10e6));
    snap.rowIds.reserve(expected);
    snap.cells.reserve(expected * size_t(fields.size()));
    CopyRowReader reader(snap);
    // In the key's order: a server keeps no insertion order (an edited row
    // moves in its storage), and the rows must not change places on F5.
    const QStringList columns = serverColumns(fields);
    QStringList order;
    for (int f : info.key)
        order << columns[f];
    const QString orderBy = order.isEmpty()
                                ? QString()
                                : QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));
    try {
        m_session->copyOut(
            QStringLiteral("COPY (SELECT %1 FROM %2%3) TO STDOUT")
                .arg(columns.join(QStringLiteral(", ")), serverIdentifier(table), orderBy),
            [&](const char* line, int size) { reader.append(line, size_t(size)); });
    } catch (...) {
        // A read given up half-way (memory ran out) leaves the copy running
        // on the link; a fresh link is the one way out of it.
        if (m_session->isOk() && PQtransactionStatus(m_session->handle()) == PQTRANS_ACTIVE) {
            try {
                m_session->reconnect();
            } catch (const Error&) {
                // The next operation tries again.
            }
        }
        throw;
    }
    return snap;
}

std::unique_ptr<StoreWrite> PgStore::beginWrite(const QString& table)
{
    ensureConnected();
    // Held until the write ends: other desks' saves wait for it, readers do
    // not. A desk that waits longer than the busy timeout gives up. Each
    // statement after the lock sees every write committed before it, so the
    // rules' count sees the row another desk has just saved.
    try {
        m_session->execScript(QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED; "
                                             "SET LOCAL lock_timeout = %1; "
                                             "LOCK TABLE %2 IN SHARE ROW EXCLUSIVE MODE")
                                  .arg(std::max(1, m_busyTimeoutMs))
                                  .arg(serverIdentifier(table)));
    } catch (...) {
        rollback();
        throw;
    }
    m_inWrite = true;
    return std::make_unique<PgWrite>(*this);
}

int64_t PgStore::insertRow(const QString& table, const QStringList& fields, const RowValues& values)
{
    QStringList marks;
    pg::Params params;
    for (int f = 0; f < int(fields.size()); ++f) {
        marks << placeholder(f + 1);
        const auto& v = values[size_t(f)];
        params.push_back(v && !v->isNull() ? v : std::nullopt);
    }
    m_session->exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(serverIdentifier(table),
                             serverColumns(fields).join(QStringLiteral(", ")),
                             marks.join(QStringLiteral(", "))),
                    params);
    return rowDigest(values);
}

PgStore::Found PgStore::findAsRead(const QString& table, const QStringList& fields,
                                   const Snapshot& snap, size_t row, QString* ctid)
{
    const TableInfo& info = infoOf(table, fields);
    std::vector<int> by = info.key;
    if (by.empty())
        for (int f = 0; f < int(fields.size()); ++f)
            by.push_back(f);
    // "= $n" where there is a value, so that the key's index finds the row.
    QStringList conditions;
    pg::Params params;
    for (int f : by) {
        const RowFilter::Cell c = snap.cell(row, f);
        const QString column = serverIdentifier(fields[f]);
        if (!c.data) {
            conditions << column + QStringLiteral(" IS NULL");
            continue;
        }
        params.push_back(cellText(c));
        conditions << column + QStringLiteral(" = ") + placeholder(int(params.size()));
    }
    const pg::Result r =
        m_session->exec(QStringLiteral("SELECT ctid, %1 FROM %2 WHERE %3 FOR UPDATE")
                            .arg(serverColumns(fields).join(QStringLiteral(", ")),
                                 serverIdentifier(table), conditions.join(QStringLiteral(" AND "))),
                        params);
    // The server's comparison may fold case or ignore accents; the row is
    // the one whose every byte is as read.
    const auto same = [&](int candidate, int f) {
        const RowFilter::Cell was = snap.cell(row, f);
        if (r.isNull(candidate, f + 1)) return !was.data;
        const auto n = size_t(r.size(candidate, f + 1));
        return was.data && was.size == n &&
               (n == 0 || std::memcmp(was.data, r.data(candidate, f + 1), n) == 0);
    };
    bool keyFound = false;
    for (int candidate = 0; candidate < r.rows(); ++candidate) {
        bool all = true, key = !info.key.empty();
        for (int f = 0; f < int(fields.size()); ++f) {
            const bool s = same(candidate, f);
            all = all && s;
            if (std::find(info.key.begin(), info.key.end(), f) != info.key.end()) key = key && s;
        }
        if (all) {
            *ctid = r.text(candidate, 0);
            return Found::Same;
        }
        keyFound = keyFound || key;
    }
    // Without a key a changed row cannot be told from a deleted one; it is
    // taken as changed, so that a delete never reports success over a row
    // that is still there.
    return keyFound || info.key.empty() ? Found::Changed : Found::Gone;
}

void PgStore::updateRow(const QString& table, const QStringList& fields, const Snapshot& snap,
                        size_t row, const std::vector<int>& changed, const RowValues& values)
{
    QString ctid;
    const Found found = findAsRead(table, fields, snap, row, &ctid);
    if (found == Found::Gone)
        throw DbError(QStringLiteral("The record cannot be saved: another user has "
                                     "deleted it from the file"));
    if (found == Found::Changed)
        throw DbError(QStringLiteral("The record cannot be saved: another user has "
                                     "changed it in the file since it was read"));
    QStringList sets;
    pg::Params params;
    for (int f : changed) {
        const auto& v = values[size_t(f)];
        params.push_back(v && !v->isNull() ? v : std::nullopt);
        sets << serverIdentifier(fields[f]) + QStringLiteral(" = ") +
                    placeholder(int(params.size()));
    }
    params.push_back(ctid);
    const pg::Result r =
        m_session->exec(QStringLiteral("UPDATE %1 SET %2 WHERE ctid = %3::tid")
                            .arg(serverIdentifier(table), sets.join(QStringLiteral(", ")),
                                 placeholder(int(params.size()))),
                        params);
    if (r.affected() != 1)
        throw DbError(QStringLiteral("The record cannot be saved: another user has deleted "
                                     "it from the file"));
}

void PgStore::deleteRow(const QString& table, const QStringList& fields, const Snapshot& snap,
                        size_t row)
{
    QString ctid;
    const Found found = findAsRead(table, fields, snap, row, &ctid);
    if (found == Found::Changed)
        throw DbError(QStringLiteral("The record cannot be deleted: another user has changed "
                                     "it in the file since it was read"));
    if (found == Found::Same)
        m_session->exec(
            QStringLiteral("DELETE FROM %1 WHERE ctid = $1::tid").arg(serverIdentifier(table)),
            {ctid});
}

QString PgStore::placeholder(int n) const
{
    return u'$' + QString::number(n);
}

QueryResult PgStore::query(const QString& sql, const std::vector<QVariant>& params)
{
    ensureConnected();
    pg::Params values;
    for (const QVariant& v : params)
        values.push_back(v.isNull() ? std::nullopt : std::optional<QString>(v.toString()));

    // The statement runs read-only: inside a write (the record rules' count)
    // in a savepoint of its own, which also takes back whatever it does, so
    // a failing statement leaves the write usable; elsewhere in a read-only
    // transaction of its own.
    const bool inWrite = m_inWrite;
    m_session->execScript(inWrite ? QStringLiteral("SAVEPOINT vidra_query; "
                                                   "SET LOCAL transaction_read_only = on")
                                  : QStringLiteral("BEGIN READ ONLY"));
    const auto end = [&] {
        m_session->execScript(inWrite ? QStringLiteral("ROLLBACK TO SAVEPOINT vidra_query; "
                                                       "RELEASE SAVEPOINT vidra_query")
                                      : QStringLiteral("ROLLBACK"));
    };
    pg::Result r(nullptr);
    try {
        r = m_session->exec(sql, values);
    } catch (const pg::PgError& e) {
        if (m_session->isOk()) {
            try {
                end();
            } catch (const Error&) {
                // The statement's own error says more.
            }
        }
        if (e.sqlState() == QLatin1String(kReadOnlyTransaction)) throw WritingStatement();
        throw;
    }
    end();

    QueryResult out;
    const std::vector<std::optional<QString>> names = selectListNames(sql);
    const bool named = int(names.size()) == r.columns();
    int expr = 1000;
    for (int c = 0; c < r.columns(); ++c) {
        // A table's column keeps its name; an expression keeps only a plain
        // name it was given, as the file engine has it.
        const bool fromTable = r.columnTable(c) != 0;
        const bool ownName = named && names[size_t(c)] && isPlainName(*names[size_t(c)]);
        out.columns.push_back(fromTable || ownName ? r.columnName(c)
                                                   : QStringLiteral("Expr%1").arg(expr++));
    }
    if (r.rows() > 0)
        for (int c = 0; c < r.columns(); ++c)
            out.firstRow.push_back(valueOf(r, c));
    return out;
}

} // namespace vidra
