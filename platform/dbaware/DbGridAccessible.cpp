#include "platform/dbaware/DbGridAccessible.h"

#include "platform/db/Table.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/ui/Announce.h"
#include "platform/ui/AppError.h"

#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <limits>
#include <utility>

namespace vidra {

namespace {

// The interface of each grid that has one, so that the grid's changes reach
// its cells without making an interface nobody asked for.
QHash<const QObject*, DbGridAccessible*>& registry()
{
    static QHash<const QObject*, DbGridAccessible*> interfaces;
    return interfaces;
}

DbGridAccessible* existing(const DbGrid* grid)
{
    return registry().value(grid, nullptr);
}

// The grid's own interface, made now if a reader has not asked yet.
DbGridAccessible* interfaceOf(DbGrid* grid)
{
    if (DbGridAccessible* iface = existing(grid)) return iface;
    return dynamic_cast<DbGridAccessible*>(QAccessible::queryAccessibleInterface(grid));
}

QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (auto* grid = qobject_cast<DbGrid*>(object)) return new DbGridAccessible(grid);
    return nullptr;
}

constexpr qsizetype kMostCellsKept = 4096;

qint64 cellKey(int row, int column)
{
    return (qint64(row) << 32) | quint32(column);
}

} // namespace

// ---------------------------------------------------------------- gridaccess

namespace gridaccess {

void install()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(factory);
}

void rowsReread(DbGrid* grid)
{
    DbGridAccessible* iface = ui::announcing() ? interfaceOf(grid) : existing(grid);
    if (iface) iface->reset(true);
}

void shapeChanged(DbGrid* grid)
{
    DbGridAccessible* iface = ui::announcing() ? interfaceOf(grid) : existing(grid);
    if (iface) iface->reset(false);
}

void currentChanged(DbGrid* grid)
{
    if (ui::announcing()) interfaceOf(grid)->announceCurrent(false);
}

void focusGained(DbGrid* grid)
{
    if (ui::announcing()) interfaceOf(grid)->announceCurrent(true);
}

} // namespace gridaccess

// ---------------------------------------------------------------- the table

DbGridAccessible::DbGridAccessible(DbGrid* grid)
    : QAccessibleWidget(grid, QAccessible::Table), m_key(grid)
{
    registry().insert(m_key, this);
    m_toldRows = rowCount();
    m_toldColumns = columnCount();
    m_toldCurrent = currentRow();
}

DbGridAccessible::~DbGridAccessible()
{
    if (registry().value(m_key) == this) registry().remove(m_key);
    dropCells();
}

DbGrid* DbGridAccessible::grid() const
{
    return static_cast<DbGrid*>(widget());
}

QString DbGridAccessible::text(QAccessible::Text t) const
{
    QString s = QAccessibleWidget::text(t);
    // Named after its table unless the window names it.
    if (t == QAccessible::Name && s.isEmpty())
        if (const Table* table = grid()->table()) s = table->ComponentName();
    return s;
}

QAccessible::State DbGridAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    return s;
}

QAccessibleInterface* DbGridAccessible::focusChild() const
{
    if (!grid()->hasFocus()) return nullptr;
    const int row = currentRow();
    return row >= 0 ? cellAt(row, 0) : nullptr;
}

QAccessibleInterface* DbGridAccessible::childAt(int x, int y) const
{
    DbGrid* g = grid();
    const QPoint pos = g->viewport()->mapFromGlobal(QPoint(x, y));
    const int gridRow = g->gridRowAt(pos);
    if (gridRow < 0) return nullptr;
    const int row = gridRow == 0 ? -1 : g->topRow() + gridRow - 1;
    if (row >= rowCount()) return nullptr;
    const std::vector<int> columns = visibleColumns();
    for (int c = 0; c < int(columns.size()); ++c) {
        const QRect r = g->cellRect(columns[size_t(c)] + 1, gridRow);
        if (r.isValid() && pos.x() >= r.left() && pos.x() <= r.right()) return cell(row, c);
    }
    return nullptr;
}

QAccessibleInterface* DbGridAccessible::child(int index) const
{
    const int columns = columnCount();
    if (index < 0 || columns == 0) return nullptr;
    if (index < columns) return cell(-1, index);
    const qint64 i = qint64(index) - columns;
    const qint64 row = i / columns;
    if (row >= rowCount()) return nullptr;
    return cell(int(row), int(i % columns));
}

int DbGridAccessible::childCount() const
{
    const qint64 columns = columnCount();
    const qint64 n = columns + qint64(rowCount()) * columns;
    return int(std::min<qint64>(n, std::numeric_limits<int>::max()));
}

int DbGridAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* c = dynamic_cast<const DbGridAccessibleCell*>(child);
    if (!c || !c->isValid() || c->table() != this) return -1;
    const qint64 columns = columnCount();
    const qint64 index = columns + qint64(c->row()) * columns + c->column();
    return index <= std::numeric_limits<int>::max() ? int(index) : -1;
}

void* DbGridAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QAccessibleInterface* DbGridAccessible::cellAt(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
    return cell(row, column);
}

int DbGridAccessible::selectedCellCount() const
{
    return currentRow() >= 0 ? columnCount() : 0;
}

QList<QAccessibleInterface*> DbGridAccessible::selectedCells() const
{
    QList<QAccessibleInterface*> cells;
    const int row = currentRow();
    if (row < 0) return cells;
    for (int c = 0; c < columnCount(); ++c)
        cells.append(cell(row, c));
    return cells;
}

QString DbGridAccessible::columnDescription(int column) const
{
    const std::vector<int> columns = visibleColumns();
    if (column < 0 || column >= int(columns.size())) return QString();
    return grid()->column(columns[size_t(column)]).title;
}

int DbGridAccessible::selectedRowCount() const
{
    return currentRow() >= 0 ? 1 : 0;
}

int DbGridAccessible::columnCount() const
{
    return int(visibleColumns().size());
}

int DbGridAccessible::rowCount() const
{
    const Table* t = grid()->table();
    return t ? t->VisibleRowCount() : 0; // 0 while closed
}

QList<int> DbGridAccessible::selectedRows() const
{
    const int row = currentRow();
    if (row < 0) return {};
    return {row};
}

bool DbGridAccessible::isRowSelected(int row) const
{
    return row >= 0 && row == currentRow();
}

bool DbGridAccessible::selectRow(int row)
{
    Table* t = grid()->table();
    // Only between edits, as the grid's own clicks are while the editor is open.
    if (!t || t->State() != DatasetState::Browse || row < 0 || row >= rowCount()) return false;
    const int from = currentRow();
    if (from < 0) return false;
    ui::guarded([&] { t->MoveBy(row - from); });
    return currentRow() == row;
}

void DbGridAccessible::modelChange(QAccessibleTableModelChangeEvent*)
{
    dropCells();
}

std::vector<int> DbGridAccessible::visibleColumns() const
{
    std::vector<int> columns;
    const DbGrid* g = grid();
    for (int i = 0; i < g->columnCount(); ++i)
        if (g->columnVisible(i)) columns.push_back(i);
    return columns;
}

int DbGridAccessible::currentRow() const
{
    const Table* t = grid()->table();
    if (!t || !t->Active()) return -1;
    const int position = t->CurrentPosition();
    return position >= 0 && position < t->VisibleRowCount() ? position : -1;
}

int DbGridAccessible::fieldOf(int column) const
{
    const std::vector<int> columns = visibleColumns();
    Table* t = grid()->table();
    if (!t || !t->Active() || column < 0 || column >= int(columns.size())) return -1;
    const Field* f = t->FindField(grid()->column(columns[size_t(column)]).fieldName);
    return f ? f->Index() : -1;
}

QRect DbGridAccessible::screenRect(int row, int column) const
{
    const DbGrid* g = grid();
    const std::vector<int> columns = visibleColumns();
    if (column < 0 || column >= int(columns.size())) return {};
    int gridRow = 0; // the title row
    if (row >= 0) {
        const int slot = row - g->topRow();
        if (row >= rowCount() || slot < 0 || slot >= g->paintedRowCount()) return {};
        gridRow = slot + 1;
    }
    const QRect r = g->cellRect(columns[size_t(column)] + 1, gridRow);
    if (!r.isValid()) return {};
    return {g->viewport()->mapToGlobal(r.topLeft()), r.size()};
}

QAccessibleInterface* DbGridAccessible::cell(int row, int column) const
{
    const qint64 key = cellKey(row, column);
    if (const QAccessible::Id id = m_cells.value(key, 0))
        if (QAccessibleInterface* iface = QAccessible::accessibleInterface(id)) return iface;
    auto* iface = new DbGridAccessibleCell(grid(), row, column);
    m_cells.insert(key, QAccessible::registerAccessibleInterface(iface));
    return iface;
}

void DbGridAccessible::dropCells()
{
    const QHash<qint64, QAccessible::Id> cells = std::exchange(m_cells, {});
    for (const QAccessible::Id id : cells)
        QAccessible::deleteAccessibleInterface(id);
}

void DbGridAccessible::reset(bool always)
{
    const int rows = rowCount();
    const int columns = columnCount();
    if (!always && rows == m_toldRows && columns == m_toldColumns) return;
    dropCells();
    m_toldRows = rows;
    m_toldColumns = columns;
    m_toldCurrent = -1; // the current cell is announced anew
    if (!ui::announcing()) return;
    QAccessibleTableModelChangeEvent event(grid(), QAccessibleTableModelChangeEvent::ModelReset);
    ui::announce(event);
}

void DbGridAccessible::announceCurrent(bool focusOnly)
{
    const int row = currentRow();
    if (!focusOnly && row == m_toldCurrent) return;
    m_toldCurrent = row;
    if (row < 0 || columnCount() == 0) return;
    // A reader following a held arrow key through a large directory would
    // otherwise keep a cell for every record passed; here, between two of a
    // reader's questions, the cells can be let go and made again when asked.
    if (m_cells.size() > kMostCellsKept) dropCells();
    QAccessibleInterface* first = cell(row, 0);
    if (grid()->hasFocus()) {
        QAccessibleEvent focus(first, QAccessible::Focus);
        ui::announce(focus);
    }
    if (!focusOnly) {
        QAccessibleEvent selection(first, QAccessible::Selection);
        ui::announce(selection);
    }
}

// ---------------------------------------------------------------- the cells

DbGridAccessibleCell::DbGridAccessibleCell(DbGrid* grid, int row, int column)
    : m_grid(grid), m_row(row), m_column(column)
{
}

DbGridAccessible* DbGridAccessibleCell::owner() const
{
    return m_grid ? existing(m_grid) : nullptr;
}

bool DbGridAccessibleCell::isValid() const
{
    const DbGridAccessible* t = owner();
    return t && m_column < t->columnCount() && m_row < t->rowCount();
}

QWindow* DbGridAccessibleCell::window() const
{
    return m_grid ? m_grid->window()->windowHandle() : nullptr;
}

QAccessibleInterface* DbGridAccessibleCell::parent() const
{
    return owner();
}

QString DbGridAccessibleCell::text(QAccessible::Text t) const
{
    const DbGridAccessible* table = owner();
    if (!table || t != QAccessible::Name) return QString();
    if (m_row < 0) return table->columnDescription(m_column);
    const Table* data = m_grid->table();
    const int field = table->fieldOf(m_column);
    // The text the grid paints in this cell.
    return data && field >= 0 ? data->DisplayText(m_row, field) : QString();
}

QRect DbGridAccessibleCell::rect() const
{
    const DbGridAccessible* table = owner();
    return table ? table->screenRect(m_row, m_column) : QRect();
}

QAccessible::Role DbGridAccessibleCell::role() const
{
    return m_row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell;
}

QAccessible::State DbGridAccessibleCell::state() const
{
    QAccessible::State s;
    const DbGridAccessible* table = owner();
    if (!table || !isValid()) {
        s.invalid = true;
        return s;
    }
    s.readOnly = true;
    if (rect().isEmpty()) s.offscreen = true;
    if (m_row < 0) return s;
    s.selectable = true;
    s.focusable = true;
    if (isSelected()) {
        s.selected = true;
        if (m_grid->hasFocus()) s.focused = true;
    }
    return s;
}

void* DbGridAccessibleCell::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::TableCellInterface && m_row >= 0)
        return static_cast<QAccessibleTableCellInterface*>(this);
    return nullptr;
}

bool DbGridAccessibleCell::isSelected() const
{
    const DbGridAccessible* table = owner();
    return table && m_row >= 0 && table->currentRow() == m_row;
}

QList<QAccessibleInterface*> DbGridAccessibleCell::columnHeaderCells() const
{
    const DbGridAccessible* table = owner();
    if (!table || m_column >= table->columnCount()) return {};
    return {table->cell(-1, m_column)};
}

} // namespace vidra
