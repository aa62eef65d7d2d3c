#include "platform/db/Table.h"

#include "platform/Error.h"
#include "platform/Utf8.h"
#include "platform/db/Connection.h"
#include "platform/db/SchemaCode.h"
#include "platform/db/Sqlite.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sqlite3.h>

namespace vidra {

namespace {

// Growable byte store. realloc lets large blocks grow by remapping pages
// instead of copying, so loading a big table never holds two copies.
class Arena
{
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    Arena(Arena&& o) noexcept : m_data(o.m_data), m_size(o.m_size), m_cap(o.m_cap)
    {
        o.m_data = nullptr;
        o.m_size = o.m_cap = 0;
    }
    ~Arena() { std::free(m_data); }

    // Appends a cell (length prefix, then bytes) and returns its offset.
    uint32_t append(const char* bytes, size_t n, bool isNull)
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

    RowFilter::Cell cell(uint32_t offset) const
    {
        const char* p = m_data + offset;
        uint64_t v = 0;
        int shift = 0;
        unsigned char b;
        do {
            b = static_cast<unsigned char>(*p++);
            v |= uint64_t(b & 0x7F) << shift;
            shift += 7;
        } while (b & 0x80);
        if (v == 0) return {nullptr, 0};
        return {p, size_t(v - 1)};
    }

private:
    void grow(size_t need)
    {
        size_t cap = std::max<size_t>(m_cap ? m_cap : 1 << 20, 1 << 20);
        while (cap < need)
            cap += cap / 2;
        auto* p = static_cast<char*>(std::realloc(m_data, cap));
        if (!p) throw DbError(QStringLiteral("Not enough memory to load the table"));
        m_data = p;
        m_cap = cap;
    }
    char* m_data = nullptr;
    size_t m_size = 0;
    size_t m_cap = 0;
};

// The rows of a table as read from the file: per field one arena, per row
// and field one offset into it, per row the file's row id.
struct Snapshot
{
    int fieldCount = 0;
    std::vector<Arena> arenas;
    std::vector<uint32_t> cells; // row-major
    std::vector<int64_t> rowIds;
    QString rowIdName;   // how the file's row id is reached in this table
    QString notWritable; // why saving would run code of the file's own; such a table is only read

    explicit Snapshot(int fields = 0) : fieldCount(fields), arenas(size_t(fields)) {}
    size_t rows() const { return rowIds.size(); }
    RowFilter::Cell cell(size_t row, int field) const
    {
        return arenas[size_t(field)].cell(cells[row * size_t(fieldCount) + size_t(field)]);
    }
    void setCell(size_t row, int field, const QString& value)
    {
        const QByteArray b = value.toUtf8();
        cells[row * size_t(fieldCount) + size_t(field)] =
            arenas[size_t(field)].append(b.constData(), size_t(b.size()), value.isNull());
    }
    void eraseRow(size_t row)
    {
        const auto first = cells.begin() + std::ptrdiff_t(row * size_t(fieldCount));
        cells.erase(first, first + fieldCount);
        rowIds.erase(rowIds.begin() + std::ptrdiff_t(row));
    }
};

QString cellText(RowFilter::Cell c)
{
    if (!c.data) return QString();
    return QString::fromUtf8(c.data, qsizetype(c.size));
}

// SQLite's column affinity rules, in its own order of tests.
bool hasTextAffinity(const QString& declaredType)
{
    const QString t = declaredType.toUpper();
    if (t.contains(u"INT")) return false;
    return t.contains(u"CHAR") || t.contains(u"CLOB") || t.contains(u"TEXT");
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

struct Table::Impl
{
    Snapshot snap;
    bool useVisible = false;
    std::vector<uint32_t> visible; // rows passing the filter, while filtered
    std::optional<RowFilter> filter;
    int pos = -1;
    bool bof = true;
    bool eof = true;
    // Pending row while editing or inserting.
    std::vector<std::optional<QString>> buffer;
    std::vector<bool> modified;
    int posBeforeInsert = -1;
    bool bofBeforeInsert = true;
    bool eofBeforeInsert = true;

    size_t count() const { return useVisible ? visible.size() : snap.rows(); }
    size_t rowAt(size_t position) const { return useVisible ? visible[position] : position; }

    // What a post writes: every field of a new row; of an edited row, the
    // fields typed into whose value now differs from the one read, so that
    // an untouched value goes back to the file exactly as it came.
    std::vector<int> changedFields(bool inserting) const
    {
        std::vector<int> out;
        for (size_t f = 0; f < buffer.size(); ++f) {
            if (!inserting) {
                if (!modified[f]) continue;
                const RowFilter::Cell was = snap.cell(rowAt(size_t(pos)), int(f));
                const auto& now = buffer[f];
                if (was.data ? now && cellText(was) == *now : !now) continue;
            }
            out.push_back(int(f));
        }
        return out;
    }

    // Folded prefix keys per field, built the first time a search needs them
    // and kept in step with every change after that (empty: not built).
    std::vector<std::vector<uint64_t>> prefixKeys;

    const std::vector<uint64_t>& keysOf(int field)
    {
        if (prefixKeys.size() != size_t(snap.fieldCount))
            prefixKeys.resize(size_t(snap.fieldCount));
        auto& keys = prefixKeys[size_t(field)];
        if (keys.size() != snap.rows()) {
            keys.resize(snap.rows());
            for (size_t r = 0; r < snap.rows(); ++r) {
                const RowFilter::Cell c = snap.cell(r, field);
                keys[r] = c.data ? utf8::foldedPrefixKey(c.data, c.size) : 0;
            }
        }
        return keys;
    }
    // After a row was written or appended: its keys follow it. Keys are valid
    // while there is one per row; others are rebuilt when next needed.
    void rowChanged(size_t row)
    {
        for (size_t f = 0; f < prefixKeys.size(); ++f) {
            auto& keys = prefixKeys[f];
            const RowFilter::Cell c = snap.cell(row, int(f));
            const uint64_t key = c.data ? utf8::foldedPrefixKey(c.data, c.size) : 0;
            if (row < keys.size())
                keys[row] = key;
            else if (row == keys.size())
                keys.push_back(key);
        }
    }
    void rowErased(size_t row)
    {
        for (auto& keys : prefixKeys)
            if (row < keys.size()) keys.erase(keys.begin() + std::ptrdiff_t(row));
    }

    void applyFilter()
    {
        visible.clear();
        useVisible = filter.has_value();
        if (!useVisible) return;
        const size_t n = snap.rows();
        visible.reserve(n / 4);
        if (const auto terms = filter->prefixTerms(); terms && terms->size() <= 8)
            scanPrefixes(*terms);
        else
            for (size_t r = 0; r < n; ++r)
                if (filter->matches([&](int f) { return snap.cell(r, f); }))
                    visible.push_back(uint32_t(r));
        visible.shrink_to_fit();
    }

    // The search panel's case: every term a prefix. Each row costs one
    // mask-and-compare per term; texts longer than a key are checked in full
    // only for the rows whose keys match.
    void scanPrefixes(const std::vector<RowFilter::PrefixTerm>& terms)
    {
        struct Term
        {
            const uint64_t* keys;
            uint64_t mask;
            uint64_t want;
        };
        std::vector<Term> ts;
        bool verify = false;
        for (const auto& t : terms) {
            const size_t len = std::min<size_t>(t.folded.size(), 8);
            unsigned char bytes[8] = {};
            std::memcpy(bytes, t.folded.data(), len);
            unsigned char maskBytes[8] = {};
            std::memset(maskBytes, 0xFF, len);
            Term term{keysOf(t.field).data(), 0, 0};
            std::memcpy(&term.want, bytes, 8);
            std::memcpy(&term.mask, maskBytes, 8);
            ts.push_back(term);
            verify = verify || t.folded.size() > 8;
        }
        const size_t n = snap.rows();
        for (size_t r = 0; r < n; ++r) {
            bool pass = true;
            for (const Term& t : ts) {
                if ((t.keys[r] & t.mask) != t.want) {
                    pass = false;
                    break;
                }
            }
            if (pass && verify) pass = filter->matches([&](int f) { return snap.cell(r, f); });
            if (pass) visible.push_back(uint32_t(r));
        }
    }
    void first()
    {
        pos = count() ? 0 : -1;
        bof = true;
        eof = count() == 0;
    }
};

// ---------------------------------------------------------------- Field

Field::Field(Table* table, const FieldDef& def, int index)
    : m_table(table), m_name(QString::fromLatin1(def.name)), m_type(def.type), m_size(def.size),
      m_index(index)
{
}

QVariant Field::Value() const
{
    m_table->checkActive();
    const auto& d = *m_table->d;
    const DatasetState s = m_table->State();
    if (s == DatasetState::Edit || s == DatasetState::Insert) {
        const auto& v = d.buffer[size_t(m_index)];
        return v && !v->isNull() ? QVariant(*v) : QVariant();
    }
    return OldValue();
}

QString Field::AsString() const
{
    return Value().toString();
}

bool Field::IsNull() const
{
    return Value().isNull();
}

void Field::SetValue(const QVariant& value)
{
    m_table->checkActive();
    const DatasetState s = m_table->State();
    if (s != DatasetState::Edit && s != DatasetState::Insert)
        m_table->raise("Dataset not in edit or insert mode");
    auto& d = *m_table->d;
    std::optional<QString> v;
    if (!value.isNull()) v = value.toString();
    if (v && v->isNull()) v = QStringLiteral(""); // an empty text stays text, never null
    if (d.buffer[size_t(m_index)] == v) return;
    d.buffer[size_t(m_index)] = std::move(v);
    d.modified[size_t(m_index)] = true;
    emit m_table->fieldChanged(m_index);
}

QVariant Field::OldValue() const
{
    m_table->checkActive();
    const auto& d = *m_table->d;
    if (m_table->State() == DatasetState::Insert || d.pos < 0) return QVariant();
    const QString t = cellText(d.snap.cell(d.rowAt(size_t(d.pos)), m_index));
    return t.isNull() ? QVariant() : QVariant(t);
}

QVariant Field::NewValue() const
{
    return Value();
}

// ---------------------------------------------------------------- Table

Table::Table(QString componentName, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>()), m_componentName(std::move(componentName))
{
}

Table::~Table() = default;

void Table::raise(const char* text) const
{
    throw DbError(m_componentName + QStringLiteral(": ") + QString::fromUtf8(text));
}

void Table::checkActive() const
{
    if (!Active()) raise("Cannot perform this operation on a closed dataset");
}

void Table::setState(DatasetState s)
{
    if (m_state == s) return;
    m_state = s;
    emit stateChanged();
}

void Table::SetConnection(Connection* connection)
{
    if (m_connection == connection) return;
    Close();
    if (m_connection) disconnect(m_connection, nullptr, this, nullptr);
    m_connection = connection;
    if (connection) connect(connection, &Connection::closing, this, &Table::Close);
}

void Table::DeclareFields(const FieldDef* begin, const FieldDef* end)
{
    if (Active()) raise("Cannot perform this operation on an open dataset");
    m_fields.clear();
    int i = 0;
    for (auto it = begin; it != end; ++it)
        m_fields.emplace_back(new Field(this, *it, i++));
}

Field& Table::Fields(int index)
{
    if (index < 0 || index >= FieldCount()) raise("Field index out of range");
    return *m_fields[size_t(index)];
}

QStringList Table::fieldNames() const
{
    QStringList names;
    for (const auto& f : m_fields)
        names << f->FieldName();
    return names;
}

Field* Table::FindField(const QString& name)
{
    for (auto& f : m_fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0) return f.get();
    return nullptr;
}

Field& Table::FieldByName(const QString& name)
{
    if (Field* f = FindField(name)) return *f;
    throw DbError(m_componentName + QStringLiteral(": Field '%1' not found").arg(name));
}

namespace {

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

} // namespace

void Table::Open()
{
    if (Active()) return;
    if (!m_connection) raise("Missing connection");
    if (!m_connection->isOpen()) m_connection->open();
    if (m_fields.empty()) raise("No fields are declared");
    const QStringList names = fieldNames();
    if (m_connection->isLegacy()) m_connection->loadLegacyTable(m_tableName, names);
    Snapshot snap = loadSnapshot(m_connection->handle(), m_tableName, names);
    std::optional<RowFilter> filter;
    if (m_filtered) filter = RowFilter::compile(m_filterText, names);

    d->snap = std::move(snap);
    d->prefixKeys.clear();
    d->filter = std::move(filter);
    d->buffer.assign(m_fields.size(), std::nullopt);
    d->modified.assign(m_fields.size(), false);
    d->applyFilter();
    d->first();
    setState(DatasetState::Browse);
    emit dataChanged();
    emit currentChanged();
}

void Table::Close()
{
    if (!Active()) return;
    d->snap = Snapshot();
    d->prefixKeys.clear();
    d->visible = {};
    d->useVisible = false;
    d->filter.reset();
    d->pos = -1;
    d->bof = d->eof = true;
    setState(DatasetState::Inactive);
    emit dataChanged();
    emit currentChanged();
}

void Table::Requery()
{
    checkActive();
    checkBrowseMode();
    if (!m_connection || !m_connection->isOpen())
        raise("Cannot perform this operation on a closed dataset");
    // Re-reading a replaced file would show its old rows as if they were current.
    m_connection->checkFileUnchanged();
    // The old rows stay until the new ones are fully read.
    if (m_connection->isLegacy()) m_connection->loadLegacyTable(m_tableName, fieldNames());
    d->snap = loadSnapshot(m_connection->handle(), m_tableName, fieldNames());
    d->prefixKeys.clear();
    d->applyFilter();
    d->first();
    emit dataChanged();
    emit currentChanged();
}

bool Table::CanModify() const
{
    return Active() && m_connection && m_connection->isOpen() && !m_connection->isReadOnly() &&
           d->snap.notWritable.isEmpty();
}

QString Table::NotWritableReason() const
{
    if (!Active() || !m_connection || !m_connection->isOpen() || m_connection->isReadOnly())
        return QString();
    return d->snap.notWritable;
}

void Table::checkModifiable() const
{
    if (CanModify()) return;
    if (Active() && !d->snap.notWritable.isEmpty() && m_connection && m_connection->isOpen() &&
        !m_connection->isReadOnly())
        throw DbError(m_componentName + QStringLiteral(": The table cannot be changed: ") +
                      d->snap.notWritable);
    raise("Cannot modify a read-only dataset");
}

bool Table::IsEmpty() const
{
    checkActive();
    return d->count() == 0 && m_state != DatasetState::Insert;
}

void Table::checkBrowseMode()
{
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) Post();
}

void Table::Insert()
{
    checkActive();
    checkBrowseMode();
    checkModifiable();
    d->buffer.assign(m_fields.size(), std::nullopt);
    d->modified.assign(m_fields.size(), false);
    d->posBeforeInsert = d->pos;
    d->bofBeforeInsert = d->bof;
    d->eofBeforeInsert = d->eof;
    d->bof = d->eof = false;
    setState(DatasetState::Insert);
    emit currentChanged();
}

void Table::Edit()
{
    checkActive();
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) return;
    checkModifiable();
    if (d->count() == 0) {
        Insert();
        return;
    }
    const size_t row = d->rowAt(size_t(d->pos));
    for (int f = 0; f < FieldCount(); ++f) {
        const QString t = cellText(d->snap.cell(row, f));
        d->buffer[size_t(f)] = t.isNull() ? std::nullopt : std::optional<QString>(t);
    }
    d->modified.assign(m_fields.size(), false);
    setState(DatasetState::Edit);
}

void Table::Cancel()
{
    checkActive();
    if (m_state == DatasetState::Insert) {
        d->pos = d->posBeforeInsert;
        d->bof = d->bofBeforeInsert;
        d->eof = d->eofBeforeInsert;
    }
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) {
        d->buffer.assign(m_fields.size(), std::nullopt);
        d->modified.assign(m_fields.size(), false);
        setState(DatasetState::Browse);
        emit currentChanged();
    }
}

namespace {

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
                        const Snapshot& snap, size_t row)
{
    QStringList columns;
    for (const QString& f : fields)
        columns << quoteIdentifier(f);
    Statement st(db, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                         .arg(columns.join(QStringLiteral(", ")), table, snap.rowIdName));
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

} // namespace

void Table::Post()
{
    checkActive();
    if (m_state != DatasetState::Edit && m_state != DatasetState::Insert) return;
    emit updateRecordRequested();
    const DatasetState state = m_state;
    const bool inserting = state == DatasetState::Insert;
    // The rules run inside the write they guard, so that what they found (a
    // number nobody has, for one) still holds when the row is written: a
    // second user's save waits for the lock meanwhile. An edit that changes
    // nothing writes nothing and takes no lock; a read-only file takes none.
    std::optional<WriteTransaction> tx;
    const bool writes = inserting || !d->changedFields(false).empty();
    // A file replaced under the connection is said plainly before the rules
    // run on its old contents; the pending row stays as it is.
    if (writes) m_connection->checkFileUnchanged();
    if (CanModify() && writes) tx.emplace(m_connection->handle());
    if (BeforePost) BeforePost(*this);
    checkModifiable();
    if (m_state != state) return; // the handler ended the edit itself
    const std::vector<int> changed = d->changedFields(inserting);
    // A value is held to its declared size only where this post writes it:
    // a longer one that a file brought and nobody touched saves as it is.
    for (int i : changed) {
        const Field& f = *m_fields[size_t(i)];
        const auto& v = d->buffer[size_t(i)];
        if (f.DataType() == FieldType::WideString && v && f.Size() > 0 && v->size() > f.Size())
            throw DbError(QStringLiteral("The value of field '%1' is too long: at most %2 "
                                         "characters fit")
                              .arg(f.FieldName())
                              .arg(f.Size()));
    }

    sqlite3* db = m_connection->handle();
    const QString table = quoteIdentifier(m_tableName);
    int64_t rowId = 0;

    if (inserting || !changed.empty()) {
        QString sql;
        if (inserting) {
            QString cols, marks;
            for (int f = 0; f < FieldCount(); ++f) {
                cols += (f ? QStringLiteral(", ") : QString()) +
                        quoteIdentifier(m_fields[size_t(f)]->FieldName());
                marks += (f ? QStringLiteral(", ?") : QStringLiteral("?"));
            }
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols, marks);
        } else {
            QString sets;
            for (size_t i = 0; i < changed.size(); ++i)
                sets += (i ? QStringLiteral(", ") : QString()) +
                        quoteIdentifier(m_fields[size_t(changed[i])]->FieldName()) +
                        QStringLiteral(" = ?");
            sql =
                QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?").arg(table, sets, d->snap.rowIdName);
        }
        if (!tx) { // the rules changed a value themselves
            m_connection->checkFileUnchanged();
            tx.emplace(db);
        }
        if (!inserting) {
            const RowCheck c =
                checkRowAsRead(db, table, fieldNames(), d->snap, d->rowAt(size_t(d->pos)));
            if (c == RowCheck::Gone)
                throw DbError(QStringLiteral("The record cannot be saved: another user has "
                                             "deleted it from the file"));
            if (c == RowCheck::Changed)
                throw DbError(QStringLiteral("The record cannot be saved: another user has "
                                             "changed it in the file since it was read"));
        }
        Statement st(db, sql);
        int bind = 1;
        if (inserting) {
            for (int f = 0; f < FieldCount(); ++f)
                bindValue(st.get(), bind++, d->buffer[size_t(f)]);
        } else {
            for (int f : changed)
                bindValue(st.get(), bind++, d->buffer[size_t(f)]);
            sqlite3_bind_int64(st.get(), bind, d->snap.rowIds[d->rowAt(size_t(d->pos))]);
        }
        const int rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) throwSqliteError(db, rc);
        if (!inserting && sqlite3_changes(db) != 1)
            throw DbError(QStringLiteral("The record cannot be saved: another user has deleted "
                                         "it from the file"));
        rowId = sqlite3_last_insert_rowid(db);
        tx->commit();
    }

    // The file holds the row now; the snapshot follows it.
    if (inserting) {
        const size_t row = d->snap.rows();
        d->snap.rowIds.push_back(rowId);
        d->snap.cells.resize(d->snap.cells.size() + m_fields.size());
        for (int f = 0; f < FieldCount(); ++f) {
            const auto& v = d->buffer[size_t(f)];
            d->snap.setCell(row, f, v ? *v : QString());
        }
        if (d->useVisible) d->visible.push_back(uint32_t(row));
        d->pos = int(d->count()) - 1;
    } else {
        const size_t row = d->rowAt(size_t(d->pos));
        for (int f : changed) {
            const auto& v = d->buffer[size_t(f)];
            d->snap.setCell(row, f, v ? *v : QString());
        }
        d->rowChanged(row);
    }
    d->bof = d->eof = false;
    d->buffer.assign(m_fields.size(), std::nullopt);
    d->modified.assign(m_fields.size(), false);
    setState(DatasetState::Browse);
    if (inserting) emit dataChanged();
    emit currentChanged();
    if (AfterPost) AfterPost(*this);
}

void Table::Delete()
{
    checkActive();
    if (m_state == DatasetState::Insert) {
        Cancel();
        return;
    }
    if (d->count() == 0) raise("Cannot perform this operation on an empty dataset");
    checkModifiable();
    // Before the question: a row of a replaced file cannot be deleted.
    m_connection->checkFileUnchanged();
    if (m_state == DatasetState::Edit) Cancel();
    // The question names the current row, and only that row may go: should
    // the handler move, filter or re-read meanwhile, nothing is deleted.
    const size_t asked = d->rowAt(size_t(d->pos));
    const int64_t askedId = d->snap.rowIds[asked];
    std::vector<std::optional<QByteArray>> askedCells;
    for (int f = 0; f < FieldCount(); ++f) {
        const RowFilter::Cell c = d->snap.cell(asked, f);
        askedCells.push_back(c.data
                                 ? std::optional<QByteArray>(QByteArray(c.data, qsizetype(c.size)))
                                 : std::nullopt);
    }
    if (BeforeDelete) BeforeDelete(*this);
    checkActive();
    const auto stillAsked = [&] {
        if (m_state != DatasetState::Browse || d->pos < 0 || size_t(d->pos) >= d->count())
            return false;
        const size_t row = d->rowAt(size_t(d->pos));
        if (d->snap.rowIds[row] != askedId) return false;
        for (int f = 0; f < FieldCount(); ++f) {
            const RowFilter::Cell c = d->snap.cell(row, f);
            const auto& was = askedCells[size_t(f)];
            if (!c.data ? was.has_value()
                        : !was || was->size() != qsizetype(c.size) ||
                              std::memcmp(was->constData(), c.data, c.size) != 0)
                return false;
        }
        return true;
    };
    if (!stillAsked())
        raise("The current record changed while its delete was being confirmed; nothing was "
              "deleted");
    checkModifiable();

    sqlite3* db = m_connection->handle();
    const size_t row = d->rowAt(size_t(d->pos));
    {
        WriteTransaction tx(db);
        const QString table = quoteIdentifier(m_tableName);
        // A row another user removed already is gone either way.
        const RowCheck c = checkRowAsRead(db, table, fieldNames(), d->snap, row);
        if (c == RowCheck::Changed)
            throw DbError(QStringLiteral("The record cannot be deleted: another user has changed "
                                         "it in the file since it was read"));
        if (c == RowCheck::Same) {
            Statement st(
                db, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table, d->snap.rowIdName));
            sqlite3_bind_int64(st.get(), 1, d->snap.rowIds[row]);
            const int rc = sqlite3_step(st.get());
            if (rc != SQLITE_DONE) throwSqliteError(db, rc);
        }
        tx.commit();
    }
    d->snap.eraseRow(row);
    d->rowErased(row);
    if (d->useVisible) {
        d->visible.erase(d->visible.begin() + d->pos);
        for (auto& r : d->visible)
            if (r > row) --r;
    }
    const int n = int(d->count());
    if (d->pos >= n) d->pos = n - 1;
    d->bof = n == 0;
    d->eof = n == 0;
    emit dataChanged();
    emit currentChanged();
}

// ---------------------------------------------------------------- navigation

void Table::First()
{
    checkActive();
    checkBrowseMode();
    d->first();
    emit currentChanged();
}

void Table::Last()
{
    checkActive();
    checkBrowseMode();
    const int n = int(d->count());
    d->pos = n - 1;
    d->eof = true;
    d->bof = n == 0;
    emit currentChanged();
}

int Table::MoveBy(int distance)
{
    checkActive();
    checkBrowseMode();
    const int n = int(d->count());
    const bool bofWas = d->bof;
    const bool eofWas = d->eof;
    if (n == 0 || distance == 0) {
        if (n == 0) {
            d->bof = d->eof = true;
            if (!bofWas || !eofWas) emit currentChanged();
        }
        return 0;
    }
    const int from = d->pos;
    int to = int(std::clamp<long long>(static_cast<long long>(from) + distance, 0, n - 1));
    const int moved = to - from;
    d->pos = to;
    if (distance > 0) {
        d->bof = false;
        d->eof = moved < distance;
    } else {
        d->eof = false;
        d->bof = moved > distance;
    }
    // A move that finds no further row changes only a flag, and the
    // navigator and the scroll bar show the flags.
    if (moved != 0 || d->bof != bofWas || d->eof != eofWas) emit currentChanged();
    return moved;
}

bool Table::Bof() const
{
    checkActive();
    return d->bof;
}

bool Table::Eof() const
{
    checkActive();
    return d->eof;
}

int Table::RecNo() const
{
    checkActive();
    if (m_filtered || m_state == DatasetState::Insert || d->pos < 0) return -1;
    return d->pos + 1;
}

void Table::SetRecNo(int recNo)
{
    checkActive();
    if (m_filtered) raise("Record numbers are not available while a filter is in force");
    checkBrowseMode();
    const int n = int(d->count());
    if (n == 0) return;
    const int to = std::clamp(recNo, 1, n) - 1;
    const bool flagged = d->bof || d->eof;
    d->bof = d->eof = false;
    if (to != d->pos || flagged) {
        d->pos = to;
        emit currentChanged();
    }
}

int Table::RecordCount() const
{
    checkActive();
    return int(d->count());
}

bool Table::Locate(const QString& fieldName, const QVariant& value)
{
    try {
        checkActive();
        checkBrowseMode();
        Field& field = FieldByName(fieldName);
        const int f = field.Index();
        const bool wantNull = value.isNull();
        const QString wantText = wantNull ? QString() : value.toString();
        const QByteArray want = wantText.toUtf8();
        // Bytes that are not UTF-8 read as U+FFFD; only a value holding one
        // can equal such a cell, and only as the text the program shows.
        const bool wantReplacement = wantText.contains(QChar(QChar::ReplacementCharacter));
        const size_t n = d->count();
        for (size_t p = 0; p < n; ++p) {
            const RowFilter::Cell c = d->snap.cell(d->rowAt(p), f);
            bool match;
            if (!c.data || wantNull)
                match = !c.data && wantNull;
            else if (c.size == size_t(want.size()) &&
                     std::memcmp(c.data, want.constData(), c.size) == 0)
                match = true;
            else
                match = wantReplacement && cellText(c) == wantText;
            if (match) {
                d->pos = int(p);
                d->bof = d->eof = false;
                emit currentChanged();
                return true;
            }
        }
    } catch (const std::exception&) {
        // A failure while searching counts as not found.
    }
    return false;
}

// ---------------------------------------------------------------- filter

void Table::SetFilter(const QString& text)
{
    if (Active() && m_filtered) {
        checkBrowseMode();
        RowFilter compiled =
            RowFilter::compile(text, fieldNames()); // raises before anything changes
        m_filterText = text;
        d->filter = std::move(compiled);
        d->applyFilter();
        d->first();
        emit dataChanged();
        emit currentChanged();
        return;
    }
    m_filterText = text;
}

void Table::SetFiltered(bool on)
{
    if (on == m_filtered) return;
    if (!Active()) {
        m_filtered = on;
        return;
    }
    checkBrowseMode();
    if (on) {
        d->filter = RowFilter::compile(m_filterText, fieldNames());
    } else {
        d->filter.reset();
    }
    m_filtered = on;
    d->applyFilter();
    d->first();
    emit dataChanged();
    emit currentChanged();
}

// ---------------------------------------------------------------- positional access

int Table::CurrentPosition() const
{
    if (!Active()) return -1;
    if (m_state == DatasetState::Insert) return int(d->count());
    return d->pos;
}

int Table::VisibleRowCount() const
{
    if (!Active()) return 0;
    return int(d->count()) + (m_state == DatasetState::Insert ? 1 : 0);
}

QString Table::DisplayText(int position, int fieldIndex) const
{
    if (!Active() || fieldIndex < 0 || fieldIndex >= FieldCount() || position < 0) return QString();
    const bool pending = (m_state == DatasetState::Insert && position == int(d->count())) ||
                         (m_state == DatasetState::Edit && position == d->pos);
    if (pending) {
        const auto& v = d->buffer[size_t(fieldIndex)];
        return v ? *v : QString();
    }
    if (size_t(position) >= d->count()) return QString();
    return cellText(d->snap.cell(d->rowAt(size_t(position)), fieldIndex));
}

} // namespace vidra
