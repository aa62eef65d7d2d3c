#pragma once
// The link between one table and the controls that show it: every control
// bound to the same source sees and moves the same current row.
#include <QObject>

namespace vidra {

class Table;

class DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(Table* table, QObject* parent = nullptr);
    Table* DataSet() const { return m_table; }

signals:
    void stateChanged();
    void dataChanged();
    void recordChanged();
    void fieldChanged(int fieldIndex);
    // Bound controls write their text into their fields (before a post).
    void updateRecord();

private:
    Table* m_table;
};

} // namespace vidra
