// The directory grid as a screen reader sees it: a table of the records with
// the visible columns, the current record as the selected row, and the
// events a reader hears when the row moves or the rows are read again.
#include "DbGridFixture.h"
#include "platform/dbaware/DbGridAccessible.h"
#include "platform/ui/Announce.h"

#include <QAccessible>
#include <QList>
#include <optional>
#include <vector>

using namespace vidra;

namespace {

// What a reader heard while the test listened.
std::optional<ui::AnnounceHook> g_hook;

const std::vector<ui::AnnounceHook::Heard>& heard()
{
    static const std::vector<ui::AnnounceHook::Heard> none;
    return g_hook ? g_hook->heard() : none;
}

void forget()
{
    if (g_hook) g_hook->clear();
}

int count(QAccessible::Event type, int row = -3)
{
    int n = 0;
    for (const auto& h : heard())
        if (h.type == type && (row == -3 || h.row == row)) ++n;
    return n;
}

class GridAccessibleTest : public DbGridTest
{
protected:
    void SetUp() override
    {
        DbGridTest::SetUp();
        g_hook.reset();
    }
    void TearDown() override
    {
        g_hook.reset();
        DbGridTest::TearDown();
    }
    void observe() { g_hook.emplace(); }

    QAccessibleInterface* acc() const { return QAccessible::queryAccessibleInterface(grid); }
    QAccessibleTableInterface* tab() const { return acc()->tableInterface(); }
    QString cellText(int row, int column) const
    {
        QAccessibleInterface* cell = tab()->cellAt(row, column);
        return cell ? cell->text(QAccessible::Name) : QStringLiteral("<no cell>");
    }
    // What the grid paints for a record in one of its columns.
    QString painted(int position, int gridColumn)
    {
        return table.DisplayText(position,
                                 table.FieldByName(grid->column(gridColumn).fieldName).Index());
    }
    QStringList headers() const
    {
        QStringList titles;
        for (int c = 0; c < tab()->columnCount(); ++c) {
            QAccessibleInterface* h = acc()->child(c);
            EXPECT_EQ(h->role(), QAccessible::ColumnHeader);
            titles << h->text(QAccessible::Name);
        }
        return titles;
    }
};

// ---------------------------------------------------------------- the table

TEST_F(GridAccessibleTest, RecordsAreRowsAndVisibleColumnsAreColumns)
{
    open(1000);
    show();
    QAccessibleInterface* iface = acc();
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Table);
    ASSERT_NE(tab(), nullptr);
    // Unnamed by its window, the grid takes its table's name.
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Imenik"));
    grid->setAccessibleName(QStringLiteral("Pretplatnici"));
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Pretplatnici"));

    EXPECT_EQ(tab()->rowCount(), 1000);
    EXPECT_EQ(tab()->columnCount(), 4);
    EXPECT_EQ(headers(), QStringList({"Telefon", "Vlasnik", "Adresa", "Mesto"}));
    EXPECT_EQ(iface->childCount(), 4 + 1000 * 4);

    // The cells read what the grid paints, on screen or far below it.
    for (int row : {0, 3, 500, 999})
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(cellText(row, c), painted(row, c)) << row << "," << c;
    EXPECT_EQ(cellText(999, 1), QStringLiteral("Vlasnik 999"));
    EXPECT_EQ(tab()->cellAt(1000, 0), nullptr);
    EXPECT_EQ(tab()->cellAt(0, 4), nullptr);

    // Children are numbered headers first, then row by row.
    QAccessibleInterface* last = iface->child(4 + 999 * 4 + 2);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last, tab()->cellAt(999, 2));
    EXPECT_EQ(iface->indexOfChild(last), 4 + 999 * 4 + 2);
    EXPECT_EQ(last->parent(), iface);
    EXPECT_EQ(iface->child(iface->childCount()), nullptr);

    QAccessibleTableCellInterface* cell = last->tableCellInterface();
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(last->role(), QAccessible::Cell);
    EXPECT_EQ(cell->rowIndex(), 999);
    EXPECT_EQ(cell->columnIndex(), 2);
    EXPECT_EQ(cell->table(), iface);
    EXPECT_TRUE(cell->rowHeaderCells().isEmpty());
    ASSERT_EQ(cell->columnHeaderCells().size(), 1);
    EXPECT_EQ(cell->columnHeaderCells().first()->text(QAccessible::Name), QStringLiteral("Adresa"));

    // Where a cell is on screen; a row below the window has no place.
    const QRect shown = grid->cellRect(2, 2);
    EXPECT_EQ(tab()->cellAt(1, 1)->rect(),
              QRect(grid->viewport()->mapToGlobal(shown.topLeft()), shown.size()));
    EXPECT_EQ(iface->childAt(tab()->cellAt(1, 1)->rect().center().x(),
                             tab()->cellAt(1, 1)->rect().center().y()),
              tab()->cellAt(1, 1));
    EXPECT_TRUE(last->rect().isEmpty());
    EXPECT_TRUE(last->state().offscreen);
    EXPECT_FALSE(tab()->cellAt(1, 1)->state().offscreen);
}

TEST_F(GridAccessibleTest, HiddenColumnsAreNotExposed)
{
    open(10);
    show();
    grid->setColumnVisible(1, false); // "Vlasnik"
    EXPECT_EQ(tab()->columnCount(), 3);
    EXPECT_EQ(headers(), QStringList({"Telefon", "Adresa", "Mesto"}));
    EXPECT_EQ(acc()->childCount(), 3 + 10 * 3);
    EXPECT_EQ(cellText(4, 0), painted(4, 0));
    EXPECT_EQ(cellText(4, 1), QStringLiteral("Ulica 4"));
    EXPECT_EQ(cellText(4, 2), painted(4, 3));
    EXPECT_EQ(tab()->cellAt(4, 3), nullptr);
    EXPECT_EQ(tab()->columnDescription(1), QStringLiteral("Adresa"));

    grid->setColumnVisible(1, true);
    EXPECT_EQ(tab()->columnCount(), 4);
    EXPECT_EQ(cellText(4, 1), QStringLiteral("Vlasnik 4"));
    EXPECT_EQ(tab()->cellAt(4, 3)->text(QAccessible::Name), QStringLiteral("Kostelin"));
}

TEST_F(GridAccessibleTest, ClosedAndEmptyTablesHaveNoRows)
{
    // Closed: the headers, no rows, nothing selected or focused.
    show();
    EXPECT_EQ(tab()->rowCount(), 0);
    EXPECT_EQ(tab()->columnCount(), 4);
    EXPECT_EQ(acc()->childCount(), 4);
    EXPECT_EQ(tab()->cellAt(0, 0), nullptr);
    EXPECT_EQ(acc()->child(4), nullptr);
    EXPECT_TRUE(tab()->selectedRows().isEmpty());
    EXPECT_EQ(tab()->selectedCellCount(), 0);
    EXPECT_EQ(acc()->focusChild(), nullptr);
    EXPECT_FALSE(tab()->selectRow(0));
    key(Qt::Key_Down);

    // A filter that nothing passes.
    open(20);
    observe();
    EXPECT_EQ(tab()->rowCount(), 20);
    table.SetFilter(QStringLiteral("(Vlasnik LIKE 'Nema*')"));
    table.SetFiltered(true);
    EXPECT_EQ(count(QAccessible::TableModelChanged), 1);
    EXPECT_EQ(tab()->rowCount(), 0);
    EXPECT_EQ(acc()->childCount(), 4);
    EXPECT_TRUE(tab()->selectedRows().isEmpty());
    EXPECT_EQ(acc()->focusChild(), nullptr);
    EXPECT_EQ(tab()->cellAt(0, 0), nullptr);
    key(Qt::Key_Down);
    key(Qt::Key_End);
    EXPECT_EQ(count(QAccessible::Focus), 0);

    // Closing empties the table for the reader too.
    table.SetFiltered(false);
    EXPECT_EQ(tab()->rowCount(), 20);
    table.Close();
    EXPECT_EQ(tab()->rowCount(), 0);
    EXPECT_EQ(acc()->childCount(), 4);
    EXPECT_EQ(acc()->focusChild(), nullptr);
}

// ---------------------------------------------------------------- the current record

TEST_F(GridAccessibleTest, CurrentRecordIsTheSelectedRow)
{
    open(1000);
    show();
    const int page = rows();
    EXPECT_EQ(tab()->selectedRows(), QList<int>({0}));

    key(Qt::Key_Down);
    EXPECT_EQ(tab()->selectedRows(), QList<int>({1}));
    key(Qt::Key_PageDown);
    EXPECT_EQ(tab()->selectedRows(), QList<int>({1 + page}));
    EXPECT_TRUE(tab()->isRowSelected(1 + page));
    EXPECT_FALSE(tab()->isRowSelected(1));
    key(Qt::Key_End);
    EXPECT_EQ(tab()->selectedRows(), QList<int>({999}));
    EXPECT_EQ(tab()->selectedRowCount(), 1);
    EXPECT_EQ(tab()->selectedCellCount(), 4);
    ASSERT_EQ(tab()->selectedCells().size(), 4);
    EXPECT_EQ(tab()->selectedCells().at(1)->text(QAccessible::Name), QStringLiteral("Vlasnik 999"));

    // The focused child is the current record's first cell; its cells are
    // selected and focused, the others neither.
    QAccessibleInterface* focus = acc()->focusChild();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus, tab()->cellAt(999, 0));
    EXPECT_EQ(focus->text(QAccessible::Name), QStringLiteral("011/100999"));
    EXPECT_TRUE(tab()->cellAt(999, 3)->state().selected);
    EXPECT_TRUE(tab()->cellAt(999, 3)->state().focused);
    EXPECT_FALSE(tab()->cellAt(998, 0)->state().selected);
    EXPECT_FALSE(tab()->cellAt(998, 0)->state().focused);
    EXPECT_TRUE(tab()->cellAt(999, 0)->tableCellInterface()->isSelected());
    EXPECT_FALSE(tab()->cellAt(0, 0)->tableCellInterface()->isSelected());

    // Without the focus the row stays selected, but nothing in it is focused.
    other->setFocus();
    ASSERT_TRUE(other->hasFocus());
    EXPECT_EQ(acc()->focusChild(), nullptr);
    EXPECT_TRUE(tab()->cellAt(999, 0)->state().selected);
    EXPECT_FALSE(tab()->cellAt(999, 0)->state().focused);

    // A reader selecting a row makes its record current, as a click does.
    EXPECT_TRUE(tab()->selectRow(10));
    EXPECT_EQ(table.RecNo(), 11);
    EXPECT_FALSE(tab()->selectRow(1000));
    EXPECT_EQ(table.RecNo(), 11);
}

TEST_F(GridAccessibleTest, ReaderHearsTheNewCurrentCell)
{
    open(1000);
    show();
    observe();
    key(Qt::Key_Down);
    key(Qt::Key_PageDown);
    key(Qt::Key_End);
    const int page = rows();
    for (int row : {1, 1 + page, 999}) {
        EXPECT_EQ(count(QAccessible::Focus, row), 1) << row;
        EXPECT_EQ(count(QAccessible::Selection, row), 1) << row;
    }
    EXPECT_EQ(count(QAccessible::Focus), 3);
    ASSERT_FALSE(heard().empty());
    EXPECT_EQ(heard().back().row, 999);
    EXPECT_EQ(heard().back().column, 0);
    EXPECT_EQ(heard().back().name, QStringLiteral("011/100999"));

    // Down on the last record moves nothing, and nothing is announced.
    forget();
    key(Qt::Key_Down);
    EXPECT_TRUE(heard().empty());

    // A move made elsewhere, without the focus: selected, not focused.
    other->setFocus();
    forget();
    table.SetRecNo(5);
    EXPECT_EQ(count(QAccessible::Selection, 4), 1);
    EXPECT_EQ(count(QAccessible::Focus), 0);

    // Coming back into the grid announces the current cell as focused.
    forget();
    grid->setFocus();
    EXPECT_EQ(count(QAccessible::Focus, 4), 1);
}

TEST_F(GridAccessibleTest, AHeldArrowKeyThroughThousandsOfRecordsIsFollowedToTheEnd)
{
    open(6000);
    show();
    observe();
    QAccessibleInterface* first = tab()->cellAt(0, 1);
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < 5000; ++i)
        key(Qt::Key_Down);
    EXPECT_EQ(count(QAccessible::Focus), 5000);
    EXPECT_EQ(heard().back().row, 5000);
    EXPECT_EQ(heard().back().name, painted(5000, 0));
    // Cells let go on the way are made again when a reader asks.
    EXPECT_EQ(cellText(0, 1), QStringLiteral("Vlasnik 0"));
    EXPECT_EQ(acc()->focusChild(), tab()->cellAt(5000, 0));
    EXPECT_EQ(tab()->selectedRows(), QList<int>({5000}));
}

TEST_F(GridAccessibleTest, ReaderHearsTheRowsReadAgain)
{
    open(50);
    show();
    observe();
    EXPECT_EQ(cellText(40, 1), QStringLiteral("Vlasnik 40"));

    table.SetFilter(QStringLiteral("(Vlasnik LIKE 'Vlasnik 1*')")); // 1, 10..19
    table.SetFiltered(true);
    ASSERT_GE(count(QAccessible::TableModelChanged), 1);
    EXPECT_EQ(heard().front().type, QAccessible::TableModelChanged);
    EXPECT_EQ(tab()->rowCount(), 11);
    for (int row : {0, 10})
        EXPECT_EQ(cellText(row, 1), painted(row, 1));
    EXPECT_EQ(cellText(10, 1), QStringLiteral("Vlasnik 19"));
    EXPECT_EQ(tab()->cellAt(40, 1), nullptr);
    // The new first row is current and heard as such, after the reset.
    EXPECT_EQ(tab()->selectedRows(), QList<int>({0}));
    EXPECT_EQ(count(QAccessible::Focus, 0), 1);
    EXPECT_EQ(heard().back().type, QAccessible::Selection);

    // Rows added behind the table's back and read again.
    forget();
    table.SetFiltered(false);
    addRows(3);
    EXPECT_GE(count(QAccessible::TableModelChanged), 1);
    EXPECT_EQ(tab()->rowCount(), 53);
    EXPECT_EQ(cellText(52, 1), painted(52, 1));

    // Hiding a column is a new shape as well.
    forget();
    grid->setColumnVisible(3, false);
    EXPECT_EQ(count(QAccessible::TableModelChanged), 1);
    // Moving within the same rows is no reset.
    forget();
    key(Qt::Key_Down);
    EXPECT_EQ(count(QAccessible::TableModelChanged), 0);
    EXPECT_EQ(count(QAccessible::Focus, 1), 1);
}

} // namespace
