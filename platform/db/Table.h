#pragma once
// A static cursor over one table: opening reads the whole table into memory
// as a snapshot; only Requery reads the store (file or server) again. Post
// and Delete write through at once, each in its own transaction, and then
// update the snapshot. Filter, Locate, navigation and counts work on the
// snapshot.
#include "platform/db/FieldDef.h"
#include "platform/db/RowFilter.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vidra {

class Connection;
class Table;

enum class DatasetState
{
    Inactive,
    Browse,
    Edit,
    Insert
};

// One declared field of a table. Values are nullable: a null QVariant is
// null, an empty QString is empty text, and the two stay distinct.
class Field
{
public:
    const QString& FieldName() const { return m_name; }
    FieldType DataType() const { return m_type; }
    int Size() const { return m_size; }
    int Index() const { return m_index; }

    // The current row's value; while editing, the pending value.
    QVariant Value() const;
    // Display text: the value, or empty text for null.
    QString AsString() const;
    bool IsNull() const;
    // Only in edit or insert state; a null QVariant stores null.
    void SetValue(const QVariant& value);
    // The value as read before the pending edit (null while inserting).
    QVariant OldValue() const;
    // The value that a post would write.
    QVariant NewValue() const;

private:
    friend class Table;
    Field(Table* table, const FieldDef& def, int index);
    Table* m_table;
    QString m_name;
    FieldType m_type;
    int m_size;
    int m_index;
};

class Table : public QObject
{
    Q_OBJECT
public:
    // componentName prefixes the dataset's own messages ("Imenik: ...").
    explicit Table(QString componentName, QObject* parent = nullptr);
    ~Table() override;

    const QString& ComponentName() const { return m_componentName; }
    void SetConnection(Connection* connection);
    Connection* GetConnection() const { return m_connection; }
    void SetTableName(const QString& name) { m_tableName = name; }
    const QString& TableName() const { return m_tableName; }
    // Declared fields; the stored table must have a text column for each.
    // Each field's LikeAs says how the filter's LIKE compares its values.
    void DeclareFields(const FieldDef* begin, const FieldDef* end);

    // --- life cycle
    void Open();
    void Close();
    bool Active() const { return m_state != DatasetState::Inactive; }
    void Requery();

    // --- state
    DatasetState State() const { return m_state; }
    // Not for a read-only file or server, nor for a table whose saves would
    // run code of the file's own or that the server's login may not change
    // (Edit, Insert and Delete then say why).
    bool CanModify() const;
    // Why a table on a writable file or server may still not be changed
    // (code of the file's own that a save would run, rights the server
    // withholds); empty otherwise.
    QString NotWritableReason() const;
    // Raises why the table may not be changed: a read-only file, or code of
    // the file's own that a save would run.
    void CheckModifiable() const { checkModifiable(); }
    bool IsEmpty() const;

    // --- editing
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();

    // --- navigation among the rows that pass the filter
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Returns how many rows the cursor actually moved (signed).
    int MoveBy(int distance);
    bool Bof() const;
    bool Eof() const;
    // 1-based record number; -1 while a filter is in force or no row is current.
    int RecNo() const;
    void SetRecNo(int recNo);
    // Whether record numbers are meaningful (open and unfiltered).
    bool CanNumberRows() const { return Active() && !m_filtered; }
    int RecordCount() const;
    // Exact equality on the whole value, letter case included, among the
    // rows that pass the filter; null matches only null. A failure counts as
    // not found and leaves the current row where it was.
    bool Locate(const QString& fieldName, const QVariant& value);

    // --- filter (row-filter language of RowFilter)
    const QString& Filter() const { return m_filterText; }
    void SetFilter(const QString& text);
    bool Filtered() const { return m_filtered; }
    void SetFiltered(bool on);

    // --- fields
    int FieldCount() const { return int(m_fields.size()); }
    Field& Fields(int index);
    Field& FieldByName(const QString& name);
    Field* FindField(const QString& name);

    // --- positional access for browsers (0-based among the filtered rows)
    // Position of the current row; while inserting, the position the new
    // row is shown at; -1 when there is no current row.
    int CurrentPosition() const;
    // Display text of a field in the row at a position (the pending values
    // for the row being edited).
    QString DisplayText(int position, int fieldIndex) const;
    // Rows a browser shows: RecordCount, plus one while inserting.
    int VisibleRowCount() const;

    // --- events; raising from a before-event stops the operation
    std::function<void(Table&)> BeforePost;
    std::function<void(Table&)> AfterPost;
    std::function<void(Table&)> BeforeDelete;

signals:
    void stateChanged();               // Inactive/Browse/Edit/Insert changed
    void dataChanged();                // rows reloaded, filtered, added or removed
    void currentChanged();             // the current row moved, or a begin/end flag changed
    void fieldChanged(int fieldIndex); // a pending value changed
    // At the start of every post: controls write what they hold into the fields.
    void updateRecordRequested();

private:
    friend class Field;
    struct Impl;
    std::unique_ptr<Impl> d;
    QString m_componentName;
    QString m_tableName;
    Connection* m_connection = nullptr;
    std::vector<std::unique_ptr<Field>> m_fields;
    std::vector<LikeAs> m_likeAs; // per field
    DatasetState m_state = DatasetState::Inactive;
    QString m_filterText;
    bool m_filtered = false;

    [[noreturn]] void raise(const char* text) const;
    void checkActive() const;
    void checkBrowseMode();
    // Raises why the table may not be changed: a read-only file, or code of
    // the file's own that a save would run.
    void checkModifiable() const;
    void setState(DatasetState s);
    QStringList fieldNames() const;
    RowFilter compileFilter(const QString& text) const;
};

} // namespace vidra
