// The directory grid's layout over a real table: columns fitted to its
// width, rows fitted to its height, and the rows it shows following the
// table's current record.
#include "DbGridFixture.h"

#include <QFontMetrics>
#include <QScrollBar>

using namespace vidra;
using guitest::widthsOf;

namespace {

// ---------------------------------------------------------------- FitColumns

TEST_F(DbGridTest, FitColumnsKeepsStoredWidthsAtDesignWidthAndScalesBothWays)
{
    open(1); // one row: no scroll bar, so the client width is the grid's less its border
    show();
    ASSERT_EQ(grid->viewport()->width(), 688);
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{84, 235, 252, 102}));

    grid->resize(671 + 4, 250);
    ASSERT_EQ(grid->viewport()->width(), 671);
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{82, 229, 246, 99}));

    grid->resize(692, 250);
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{84, 235, 252, 102}));
    // Fitted columns give factor 1: a further call changes nothing.
    grid->FitColumns();
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{84, 235, 252, 102}));
}

TEST_F(DbGridTest, HiddenColumnStillCountsItsLineAndKeepsItsWidth)
{
    open(1);
    show();
    grid->setColumnVisible(3, false);
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{99, 277, 297, 102}));
    EXPECT_TRUE(grid->cellRect(4, 1).isNull());
    grid->setColumnVisible(3, true);
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{86, 241, 258, 88}));
}

TEST(DbGridFit, HalvesGoToTheEvenNeighbourAndTheLastColumnTakesTheRest)
{
    // Client width 24: W = 24 - 11 - 3 lines = 10 over S = 20, so 2.5 and 3.5.
    DbGrid halves;
    halves.setFrameStyle(QFrame::NoFrame);
    halves.addColumn("a", "a", 5);
    halves.addColumn("b", "b", 7);
    halves.addColumn("c", "c", 8);
    halves.resize(24, 100);
    halves.show();
    ASSERT_EQ(halves.viewport()->width(), 24);
    EXPECT_EQ(widthsOf(halves), (std::vector<int>{2, 4, 4}));

    // W = 48 over S = 32: 7.5 and 10.5.
    DbGrid wide;
    wide.setFrameStyle(QFrame::NoFrame);
    wide.addColumn("a", "a", 5);
    wide.addColumn("b", "b", 7);
    wide.addColumn("c", "c", 20);
    wide.resize(48 + 14, 100);
    wide.show();
    EXPECT_EQ(widthsOf(wide), (std::vector<int>{8, 10, 30}));

    // Narrower than the fixed parts: the others keep 1 pixel each and the
    // last takes what remains, even below zero.
    wide.resize(12, 100);
    const std::vector<int> w = widthsOf(wide);
    EXPECT_EQ(w[0], 1);
    EXPECT_EQ(w[1], 1);
    EXPECT_EQ(w[0] + w[1] + w[2], 12 - 11 - 3);

    // With autosizing off nothing is fitted.
    wide.SetAutoSizeColumns(false);
    wide.resize(300, 100);
    EXPECT_EQ(widthsOf(wide), w);
}

TEST_F(DbGridTest, ScrollBarAppearingNarrowsTheClientAndRefits)
{
    open(1);
    show();
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    addRows(29);
    ASSERT_TRUE(grid->verticalScrollBar()->isVisible());
    const int client = grid->viewport()->width();
    ASSERT_LT(client, 688);
    const std::vector<int> w = widthsOf(*grid);
    EXPECT_EQ(w[0] + w[1] + w[2] + w[3], client - 15);
}

TEST_F(DbGridTest, HiddenGridDoesNotFitToAProvisionalSize)
{
    DbGrid fresh;
    fresh.addColumn("Telefon", "Telefon", 84);
    fresh.addColumn("Vlasnik", "Vlasnik", 235);
    fresh.resize(120, 80); // a size before the owner's layout has run
    EXPECT_EQ(widthsOf(fresh), (std::vector<int>{84, 235}));
    fresh.resize(84 + 235 + 11 + 2 + 4, 250);
    fresh.show();
    EXPECT_EQ(widthsOf(fresh), (std::vector<int>{84, 235}));
}

// ---------------------------------------------------------------- layout

TEST_F(DbGridTest, RowHeightsFollowTheFontsAndOnlyWholeRowsAreShown)
{
    open(40);
    show();
    const int text = QFontMetrics(grid->font()).height();
    EXPECT_EQ(grid->dataRowHeight(), text + 3 + 1);
    EXPECT_EQ(grid->titleRowHeight(), text + 4);
    const int client = grid->viewport()->height();
    ASSERT_EQ(client, 246);
    const int expectedRows = (client - grid->titleRowHeight() - 1) / (grid->dataRowHeight() + 1);
    EXPECT_EQ(rows(), expectedRows);
    EXPECT_EQ(grid->paintedRowCount(), expectedRows);

    EXPECT_EQ(grid->cellRect(0, 0), QRect(0, 0, 11, grid->titleRowHeight()));
    EXPECT_EQ(grid->cellRect(1, 0).left(), 12);
    EXPECT_EQ(grid->cellRect(2, 1).left(), 12 + grid->columnWidth(0) + 1);
    EXPECT_EQ(grid->cellRect(1, 1).top(), grid->titleRowHeight() + 1);
    EXPECT_EQ(grid->cellRect(1, 2).top(), grid->titleRowHeight() + 1 + grid->dataRowHeight() + 1);

    // A larger title font makes only the title row taller.
    QFont big = grid->font();
    big.setPixelSize(20);
    grid->SetTitleFont(big);
    EXPECT_EQ(grid->titleRowHeight(), QFontMetrics(big).height() + 4);
    EXPECT_EQ(grid->dataRowHeight(), text + 4);
}

TEST_F(DbGridTest, ClosedAndEmptyTablesShowOneBlankRow)
{
    show();
    EXPECT_EQ(grid->paintedRowCount(), 1);
    EXPECT_EQ(grid->currentScreenRow(), -1);
    open(0);
    EXPECT_EQ(grid->paintedRowCount(), 1);
    EXPECT_EQ(grid->currentScreenRow(), 0);
}

TEST_F(DbGridTest, GridFollowsMovesMadeElsewhereAndKeepsTheCurrentRowVisible)
{
    open(100);
    show();
    table.SetRecNo(50);
    EXPECT_EQ(grid->currentScreenRow(), rows() - 1);
    EXPECT_EQ(grid->topRow(), 50 - rows());
    table.SetRecNo(10);
    EXPECT_EQ(grid->topRow(), 9);
    EXPECT_EQ(grid->currentScreenRow(), 0);
    table.Last();
    EXPECT_EQ(grid->topRow(), 100 - rows());
    table.SetFilter(QStringLiteral("(Vlasnik LIKE 'Vlasnik 9*')"));
    table.SetFiltered(true);
    EXPECT_EQ(grid->topRow(), 0);
    EXPECT_EQ(grid->paintedRowCount(), std::min(rows(), 11));

    // Shrinking the grid keeps the current record on screen.
    table.SetFiltered(false);
    const int bottom = rows();
    table.SetRecNo(bottom);
    grid->resize(692, 100);
    ASSERT_LT(rows(), bottom);
    EXPECT_EQ(grid->currentScreenRow(), rows() - 1);
    EXPECT_EQ(grid->topRow() + grid->currentScreenRow(), bottom - 1);
}

} // namespace
