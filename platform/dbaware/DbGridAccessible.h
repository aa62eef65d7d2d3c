#pragma once
// The grid as a table for screen readers. The grid paints its rows itself,
// so the platform sees nothing in it unless it is told: this gives it one
// row per record the grid browses, one column per visible column in display
// order, title cells as column headers, and the current record as the
// selected (and, with the focus, focused) row. Cells are made only when a
// reader asks for them, so a table of a million records costs nothing more.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <vector>

namespace vidra {

class DbGrid;

namespace gridaccess {

// Makes every DbGrid answer as a table; safe to call more than once.
void install();

// What the grid tells a reader. Each does nothing beyond dropping stale
// cells while no reader listens.
// The rows were read again (filter, refresh, rows added or removed).
void rowsReread(DbGrid* grid);
// Columns, options or the table's state changed: a reset is announced only
// when the number of rows or columns is not what the reader was last told.
void shapeChanged(DbGrid* grid);
// The current record may have moved; a move is announced once.
void currentChanged(DbGrid* grid);
// The grid got the keyboard focus.
void focusGained(DbGrid* grid);

} // namespace gridaccess

class DbGridAccessibleCell;

// The grid itself: role Table. Children are the column headers first, then
// the cells row by row, as Qt's own tables number them.
class DbGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit DbGridAccessible(DbGrid* grid);
    ~DbGridAccessible() override;

    DbGrid* grid() const;

    // --- QAccessibleInterface
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QAccessibleInterface* focusChild() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    // --- QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    // Makes the row's record current, as a click on it would.
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    // --- for the cells and the grid's announcements
    // Grid column (display order) of each visible column.
    std::vector<int> visibleColumns() const;
    // Row of the current record, or -1.
    int currentRow() const;
    // Field index behind a visible column, or -1.
    int fieldOf(int column) const;
    // Screen rectangle of a cell (row -1: its header); empty when not shown.
    QRect screenRect(int row, int column) const;
    // The header (row -1) or the cell, made on first use.
    QAccessibleInterface* cell(int row, int column) const;
    // Forgets every cell made so far; a reader asks again.
    void dropCells();

    // Drops the cells and, while someone listens, announces a reset: always,
    // or only when the number of rows or columns is not what was last told.
    void reset(bool always);
    // Announces the current cell (see gridaccess); assumes someone listens.
    void announceCurrent(bool focusOnly);

private:
    const QObject* m_key;
    mutable QHash<qint64, QAccessible::Id> m_cells;
    int m_toldRows = 0;
    int m_toldColumns = 0;
    int m_toldCurrent = -1;
};

// One data cell, or (row -1) one column header, which like Qt's own headers
// is no table cell. It stands for a place in the table, not for a record:
// its text is read when asked.
class DbGridAccessibleCell : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    DbGridAccessibleCell(DbGrid* grid, int row, int column);

    int row() const { return m_row; }
    int column() const { return m_column; }

    // --- QAccessibleInterface
    bool isValid() const override;
    // Null, as for Qt's own cells: the grid's object stays the table's.
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    // --- QAccessibleTableCellInterface
    bool isSelected() const override;
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    DbGridAccessible* owner() const;

    QPointer<DbGrid> m_grid;
    int m_row;
    int m_column;
};

} // namespace vidra
