// A main window made very narrow and wide again: the grid keeps room for
// every visible column, and its columns come back to their widths.
#include "FrameFixture.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLayout>
#include <QScrollBar>
#include <QTest>
#include <QWindow>
#include <vector>

namespace {

std::vector<int> widthsOf(const vidra::DbGrid& grid)
{
    std::vector<int> w;
    for (int i = 0; i < grid.columnCount(); ++i)
        w.push_back(grid.columnWidth(i));
    return w;
}

// The room the grid offers its columns: its client width less the indicator
// column and one line per column.
int usableWidth(const vidra::DbGrid& grid)
{
    return grid.viewport()->width() - vidra::DbGrid::kIndicatorWidth -
           grid.columnCount() * vidra::DbGrid::kGridLineWidth;
}

class NarrowWindow : public FrameFixture
{
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        createWith(makeDb("data.mdb", 40), TFVidra::StateNormal);
        showActive();
        settle();
    }
    void settle() const
    {
        QApplication::processEvents();
        form->layout()->activate();
        QApplication::processEvents();
    }
    void resizeTo(int width, int height)
    {
        form->resize(width, height);
        settle();
    }
    void platformResize(int width, int height)
    {
        form->windowHandle()->resize(width, height);
        settle();
        ASSERT_EQ(form->width(), width);
    }
    vidra::DbGrid& grid() const { return *form->dbImenik; }
    // A few characters of the grid's font, with the cell's text margins.
    int fewCharacters() const { return 3 * QFontMetrics(grid().font()).averageCharWidth() + 3; }
};

} // namespace

TEST_F(NarrowWindow, ColumnsComeBackAfterTheWindowWasVeryNarrow)
{
    ASSERT_TRUE(grid().verticalScrollBar()->isVisible());
    const std::vector<int> before = widthsOf(grid());
    for (int w : before)
        ASSERT_GT(w, 0);

    // The size the platform gives the window, as a window manager that does
    // not keep to the window's minimum may: the grid keeps its room even so,
    // and afterwards the columns differ from before by rounding only.
    for (int narrow : {1, 20}) {
        platformResize(narrow, 509);
        for (int w : widthsOf(grid()))
            EXPECT_GE(w, fewCharacters()) << "at width " << narrow;
        platformResize(692, 509);
        const std::vector<int> after = widthsOf(grid());
        for (size_t i = 0; i < after.size(); ++i)
            EXPECT_NEAR(after[i], before[i], 3) << "column " << i << " after width " << narrow;
        EXPECT_EQ(after[0] + after[1] + after[2] + after[3], usableWidth(grid()));
    }
    // Narrow, but with a pixel for every column: scaled down and up as usual,
    // and every column has room again.
    platformResize(60, 509);
    platformResize(692, 509);
    const std::vector<int> after = widthsOf(grid());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_GE(after[i], fewCharacters()) << "column " << i;
    EXPECT_EQ(after[0] + after[1] + after[2] + after[3], usableWidth(grid()));
}

TEST_F(NarrowWindow, TheWindowKeepsRoomForEveryColumn)
{
    resizeTo(1, 1);
    EXPECT_EQ(form->width(), form->minimumWidth());
    // The window manager is told the same minimum.
    EXPECT_EQ(form->windowHandle()->minimumWidth(), form->minimumWidth());
    // Still narrow enough for any screen the program is used on.
    EXPECT_LT(form->minimumWidth(), 692 / 2);
    ASSERT_TRUE(grid().verticalScrollBar()->isVisible());
    for (int w : widthsOf(grid()))
        EXPECT_GE(w, fewCharacters());
    // The title row and a data row still show.
    EXPECT_GE(grid().viewport()->height(), grid().titleRowHeight() + grid().dataRowHeight());

    // With the search and note panels shown as well.
    form->gbFiltar->show();
    form->dbNapomena->show();
    resizeTo(1, 1);
    for (int w : widthsOf(grid()))
        EXPECT_GE(w, fewCharacters());
    EXPECT_GE(grid().viewport()->height(), grid().titleRowHeight() + grid().dataRowHeight());
}

TEST(GridNarrowMoment, FittingRecoversTheWidthsBeforeTheGridWasTooNarrow)
{
    // The grid alone, without the window's minimum: narrower than its fixed
    // parts for a moment, then as wide as before.
    vidra::DbGrid grid;
    grid.setFrameStyle(QFrame::NoFrame);
    grid.addColumn("a", "a", 84);
    grid.addColumn("b", "b", 235);
    grid.addColumn("c", "c", 252);
    grid.addColumn("d", "d", 102);
    grid.resize(688, 100);
    grid.show();
    ASSERT_EQ(widthsOf(grid), (std::vector<int>{84, 235, 252, 102}));
    // Too narrow to give every column a pixel of its share: the widths from
    // before come back whole.
    for (int narrow : {16, 5, 0, 20}) {
        grid.resize(narrow, 100);
        grid.resize(688, 100);
        EXPECT_EQ(widthsOf(grid), (std::vector<int>{84, 235, 252, 102})) << narrow;
    }
    // Narrow but with a pixel for every share: scaled as usual, and each
    // column has room again afterwards.
    grid.resize(30, 100);
    EXPECT_EQ(widthsOf(grid), (std::vector<int>{2, 5, 6, 2}));
    grid.resize(688, 100);
    EXPECT_EQ(widthsOf(grid), (std::vector<int>{90, 224, 269, 90}));

    // Narrow, then a column hidden and shown again: every column has room.
    grid.resize(10, 100);
    grid.setColumnVisible(1, false);
    grid.resize(688, 100);
    grid.setColumnVisible(1, true);
    for (int w : widthsOf(grid))
        EXPECT_GT(w, 20);
    const std::vector<int> w = widthsOf(grid);
    EXPECT_EQ(w[0] + w[1] + w[2] + w[3], 673);
}
