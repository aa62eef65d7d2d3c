#include "platform/db/Table.h"

#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Store.h"
#include "platform/db/TableCursor.h"

#include <cstring>

namespace vidra {

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
    m_likeAs.clear();
    int i = 0;
    for (auto it = begin; it != end; ++it) {
        m_fields.emplace_back(new Field(this, *it, i++));
        m_likeAs.push_back(it->like);
    }
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

RowFilter Table::compileFilter(const QString& text) const
{
    return RowFilter::compile(text, fieldNames(), m_likeAs);
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

void Table::Open()
{
    if (Active()) return;
    if (!m_connection) raise("Missing connection");
    if (!m_connection->isOpen()) m_connection->open();
    if (m_fields.empty()) raise("No fields are declared");
    const QStringList names = fieldNames();
    Snapshot snap = m_connection->store()->load(m_tableName, names);
    std::optional<RowFilter> filter;
    if (m_filtered) filter = compileFilter(m_filterText);

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
    d->snap = m_connection->store()->load(m_tableName, fieldNames());
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
    Store& store = *m_connection->store();
    std::unique_ptr<StoreWrite> tx;
    const bool writes = inserting || !d->changedFields(false).empty();
    // A file replaced under the connection is said plainly before the rules
    // run on its old contents; the pending row stays as it is.
    if (writes) m_connection->checkFileUnchanged();
    if (CanModify() && writes) tx = store.beginWrite(m_tableName);
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

    int64_t rowId = 0;

    if (inserting || !changed.empty()) {
        if (!tx) { // the rules changed a value themselves
            m_connection->checkFileUnchanged();
            tx = store.beginWrite(m_tableName);
        }
        if (inserting)
            rowId = store.insertRow(m_tableName, fieldNames(), d->buffer);
        else
            store.updateRow(m_tableName, fieldNames(), d->snap, d->rowAt(size_t(d->pos)), changed,
                            d->buffer);
        tx->commit();
    }

    // The store holds the row now; the snapshot follows it.
    if (inserting) {
        const size_t row = d->snap.appendRow(rowId);
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
        d->prefixKeys.rowChanged(d->snap, row);
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

    Store& store = *m_connection->store();
    const size_t row = d->rowAt(size_t(d->pos));
    {
        const std::unique_ptr<StoreWrite> tx = store.beginWrite(m_tableName);
        store.deleteRow(m_tableName, fieldNames(), d->snap, row);
        tx->commit();
    }
    d->snap.eraseRow(row);
    d->prefixKeys.rowErased(row);
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

// ---------------------------------------------------------------- filter

void Table::SetFilter(const QString& text)
{
    if (Active() && m_filtered) {
        checkBrowseMode();
        RowFilter compiled = compileFilter(text); // raises before anything changes
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
        d->filter = compileFilter(m_filterText);
    } else {
        d->filter.reset();
    }
    m_filtered = on;
    d->applyFilter();
    d->first();
    emit dataChanged();
    emit currentChanged();
}

} // namespace vidra
