// The grid's geometry without a widget: the scroll bar's mapping between
// records and positions, where cells lie and which row is under a point,
// and the columns fitted to the client width.
#include "platform/dbaware/GridLayout.h"
#include "platform/dbaware/GridScroll.h"

#include <gtest/gtest.h>
#include <numeric>
#include <vector>

using namespace vidra;

namespace {

// ---------------------------------------------------------------- scroll bar

// The record a jump to a position of a numbered bar lands on.
int landsOn(const gridscroll::Jump& jump, int recordCount)
{
    switch (jump.kind) {
    case gridscroll::Jump::First:
        return 1;
    case gridscroll::Jump::Last:
        return recordCount;
    case gridscroll::Jump::Record:
        return jump.recNo;
    default:
        return -1;
    }
}

TEST(GridScrollMapping, TheEndsOfANumberedBarAreTheFirstAndLastRecord)
{
    for (int page : {1, 20}) {
        for (int count : {1, 2, page, page + 1, 1'000'000}) {
            SCOPED_TRACE(testing::Message() << count << " rows, a page of " << page);
            const gridscroll::ScrollInfo first = gridscroll::numberedBar(count, 1, page);
            const gridscroll::ScrollInfo last = gridscroll::numberedBar(count, count, page);
            const gridscroll::SliderRange range = gridscroll::sliderRange(first);
            EXPECT_EQ(first.position, range.minimum);
            EXPECT_EQ(last.position, range.maximum);
            // The table's terms: the last position is maximum - page + 1.
            EXPECT_EQ(last.maximum - last.page + 1, last.position);
            EXPECT_EQ(range.pageStep, page);
            EXPECT_EQ(landsOn(gridscroll::numberedJump(range.minimum, count), count), 1);
            EXPECT_EQ(landsOn(gridscroll::numberedJump(range.maximum, count), count), count);
        }
    }
}

TEST(GridScrollMapping, EveryPositionOfANumberedBarRoundTrips)
{
    for (int count : {2, 3, 20, 21, 1'000'000}) {
        const gridscroll::SliderRange range =
            gridscroll::sliderRange(gridscroll::numberedBar(count, 1, 20));
        ASSERT_EQ(range.maximum - range.minimum + 1, count) << "a position for every record";
        int wrong = 0;
        int firstWrong = 0;
        for (int pos = range.minimum; pos <= range.maximum; ++pos) {
            const int record = landsOn(gridscroll::numberedJump(pos, count), count);
            if (gridscroll::numberedBar(count, record, 20).position != pos && wrong++ == 0)
                firstWrong = pos;
        }
        EXPECT_EQ(wrong, 0) << count << " rows, first at position " << firstWrong;
    }
}

TEST(GridScrollMapping, PositionsBeyondTheBarGoToTheNearestEnd)
{
    for (int pos : {0, -1, -1'000'000})
        EXPECT_EQ(gridscroll::numberedJump(pos, 50).kind, gridscroll::Jump::First) << pos;
    for (int pos : {50, 51, 1'000'000})
        EXPECT_EQ(gridscroll::numberedJump(pos, 50).kind, gridscroll::Jump::Last) << pos;
}

TEST(GridScrollMapping, AnEmptyOrClosedTableGivesABarOfOnePosition)
{
    // An empty table has no record number.
    const gridscroll::SliderRange empty =
        gridscroll::sliderRange(gridscroll::numberedBar(0, -1, 20));
    EXPECT_EQ(empty.minimum, 1);
    EXPECT_EQ(empty.maximum, 1);
    EXPECT_EQ(gridscroll::numberedJump(1, 0).kind, gridscroll::Jump::First);

    const gridscroll::SliderRange closed = gridscroll::sliderRange(gridscroll::ScrollInfo{});
    EXPECT_EQ(closed.minimum, 0);
    EXPECT_EQ(closed.maximum, 0);
    EXPECT_EQ(closed.pageStep, 0);
}

TEST(GridScrollMapping, FivePositionBarStandsAtTheEndsAndJumpsByPages)
{
    using gridscroll::Jump;
    const gridscroll::ScrollInfo atFirst = gridscroll::fivePositionBar(true, false);
    const gridscroll::ScrollInfo atLast = gridscroll::fivePositionBar(false, true);
    const gridscroll::SliderRange range = gridscroll::sliderRange(atFirst);
    EXPECT_EQ(range.minimum, 0);
    EXPECT_EQ(range.maximum, 4);
    EXPECT_EQ(range.pageStep, 0);
    EXPECT_EQ(atFirst.position, range.minimum);
    EXPECT_EQ(atLast.position, range.maximum);
    EXPECT_EQ(gridscroll::fivePositionBar(false, false).position, 2);
    // A filter that leaves nothing is at its beginning and its end at once.
    EXPECT_EQ(gridscroll::fivePositionBar(true, true).position, range.minimum);

    // The ends send the record to the ends; the thumb dropped back in the
    // middle moves nothing.
    EXPECT_EQ(gridscroll::fivePositionJump(atFirst.position).kind, Jump::First);
    EXPECT_EQ(gridscroll::fivePositionJump(atLast.position).kind, Jump::Last);
    EXPECT_EQ(gridscroll::fivePositionJump(1).kind, Jump::PageUp);
    EXPECT_EQ(gridscroll::fivePositionJump(3).kind, Jump::PageDown);
    for (int pos : {2, 5, -1})
        EXPECT_EQ(gridscroll::fivePositionJump(pos).kind, Jump::None) << pos;
}

// ---------------------------------------------------------------- cells

// The directory grid's frame: titles, indicator and both kinds of lines.
gridlayout::Frame directoryFrame()
{
    gridlayout::Frame f;
    f.titles = true;
    f.indicator = true;
    f.indicatorWidth = 11;
    f.columnLine = 1;
    f.rowLine = 1;
    f.titleHeight = 17;
    f.rowHeight = 17;
    return f;
}

std::vector<DbGridColumn> columnsOf(const std::vector<int>& widths)
{
    std::vector<DbGridColumn> columns;
    for (int w : widths)
        columns.push_back({QStringLiteral("f"), QStringLiteral("t"), w, true});
    return columns;
}

TEST(GridCellGeometry, CellsLieSideBySideWithALineBetweenAndHiddenColumnsTakeNoRoom)
{
    const gridlayout::Frame f = directoryFrame();
    std::vector<DbGridColumn> columns = columnsOf({84, 0, 252, 102});
    for (int row : {0, 1, 5}) {
        SCOPED_TRACE(row);
        const QRect indicator = gridlayout::cellRect(f, columns, 0, row);
        EXPECT_EQ(indicator.left(), 0);
        QRect previous = indicator;
        for (int c = 1; c <= 4; ++c) {
            const QRect cell = gridlayout::cellRect(f, columns, c, row);
            EXPECT_EQ(cell.left(), previous.left() + previous.width() + 1) << c;
            EXPECT_EQ(cell.width(), columns[size_t(c - 1)].width) << c;
            EXPECT_EQ(cell.top(), indicator.top()) << c;
            EXPECT_EQ(cell.height(), indicator.height()) << c;
            previous = cell;
        }
    }

    // Hidden, a column has no cell and the next one moves into its place.
    const int adresaLeft = gridlayout::cellRect(f, columns, 3, 1).left();
    const int mestoLeft = gridlayout::cellRect(f, columns, 4, 1).left();
    columns[2].visible = false;
    EXPECT_TRUE(gridlayout::cellRect(f, columns, 3, 1).isNull());
    EXPECT_EQ(gridlayout::cellRect(f, columns, 4, 1).left(), adresaLeft);
    EXPECT_LT(adresaLeft, mestoLeft);
}

TEST(GridCellGeometry, RowsFollowEachOtherBelowTheTitleRow)
{
    const gridlayout::Frame f = directoryFrame();
    const std::vector<DbGridColumn> columns = columnsOf({50});
    const QRect title = gridlayout::cellRect(f, columns, 1, 0);
    EXPECT_EQ(title.top(), 0);
    EXPECT_EQ(title.height(), f.titleHeight);
    QRect previous = title;
    for (int row = 1; row <= 4; ++row) {
        const QRect cell = gridlayout::cellRect(f, columns, 1, row);
        EXPECT_EQ(cell.top(), previous.bottom() + 1 + f.rowLine) << row;
        EXPECT_EQ(cell.height(), f.rowHeight) << row;
        previous = cell;
    }
}

TEST(GridCellGeometry, WhatIsNotShownHasNoCell)
{
    gridlayout::Frame f = directoryFrame();
    const std::vector<DbGridColumn> columns = columnsOf({40, 60});
    for (auto [column, row] : {std::pair{3, 1}, {-1, 1}, {1, -1}, {0, -1}, {100, 0}})
        EXPECT_TRUE(gridlayout::cellRect(f, columns, column, row).isNull()) << column << "," << row;

    // Without the indicator the first column starts at the left edge.
    f.indicator = false;
    EXPECT_TRUE(gridlayout::cellRect(f, columns, 0, 1).isNull());
    EXPECT_EQ(gridlayout::cellRect(f, columns, 1, 1).left(), 0);
    // Without titles the first data row starts at the top.
    f.titles = false;
    EXPECT_TRUE(gridlayout::cellRect(f, columns, 1, 0).isNull());
    EXPECT_EQ(gridlayout::cellRect(f, columns, 1, 1).top(), 0);
    EXPECT_EQ(gridlayout::gridRowAt(f, 0, 3), 1);
}

TEST(GridCellGeometry, EveryPixelOfARowAndTheLineBelowItIsThatRow)
{
    for (bool lines : {true, false}) {
        SCOPED_TRACE(lines ? "with lines" : "without lines");
        gridlayout::Frame f = directoryFrame();
        f.columnLine = f.rowLine = lines ? 1 : 0;
        const std::vector<DbGridColumn> columns = columnsOf({50});
        const int painted = 4;
        EXPECT_EQ(gridlayout::gridRowAt(f, -1, painted), -1);
        for (int row = 0; row <= painted; ++row) {
            const QRect cell = gridlayout::cellRect(f, columns, 1, row);
            for (int y = cell.top(); y <= cell.bottom() + f.rowLine; ++y)
                EXPECT_EQ(gridlayout::gridRowAt(f, y, painted), row) << "y " << y;
        }
        // Just below the last painted row nothing is hit, even where a
        // further row would fit.
        const QRect last = gridlayout::cellRect(f, columns, 1, painted);
        EXPECT_EQ(gridlayout::gridRowAt(f, last.bottom() + f.rowLine + 1, painted), -1);
        EXPECT_EQ(gridlayout::gridRowAt(f, last.bottom() + 1000, painted), -1);
        // The blank row of an empty table is a row like any other.
        EXPECT_EQ(gridlayout::gridRowAt(f, gridlayout::cellRect(f, columns, 1, 1).top(), 1), 1);
    }
}

TEST(GridCellGeometry, OnlyWholeRowsCountAndThereIsAlwaysOne)
{
    const gridlayout::Frame f = directoryFrame();
    const std::vector<DbGridColumn> columns = columnsOf({50});
    for (int rows : {1, 2, 12}) {
        // Exactly tall enough for the rows with the line below the last.
        const int height = gridlayout::cellRect(f, columns, 1, rows).bottom() + 1 + f.rowLine;
        EXPECT_EQ(gridlayout::wholeRows(f, height), rows);
        EXPECT_EQ(gridlayout::wholeRows(f, height - 1), std::max(1, rows - 1));
    }
    for (int height : {0, 5, -40})
        EXPECT_EQ(gridlayout::wholeRows(f, height), 1) << height;
}

// ---------------------------------------------------------------- fitting

std::vector<int> visibleWidths(const std::vector<DbGridColumn>& columns,
                               const std::vector<int>& widths)
{
    std::vector<int> visible;
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].visible) visible.push_back(widths[i]);
    return visible;
}

int sum(const std::vector<int>& widths)
{
    return std::accumulate(widths.begin(), widths.end(), 0);
}

void takeWidths(std::vector<DbGridColumn>& columns, const std::vector<int>& widths)
{
    for (size_t i = 0; i < columns.size(); ++i)
        columns[i].width = widths[i];
}

TEST(GridColumnFit, FittedColumnsFillTheClientToThePixel)
{
    const gridlayout::Frame f = directoryFrame();
    for (int client : {688, 671, 1200, 400}) {
        std::vector<DbGridColumn> columns = columnsOf({84, 235, 252, 102});
        gridlayout::ColumnFitter fitter;
        takeWidths(columns, fitter.fit(columns, gridlayout::usableWidth(f, client, 4)));
        EXPECT_EQ(gridlayout::cellRect(f, columns, 4, 1).right(), client - 1) << client;
        // One column hidden: it still counts its line, so the last visible
        // column ends a pixel short and its own line shows at the edge.
        columns[1].visible = false;
        takeWidths(columns, fitter.fit(columns, gridlayout::usableWidth(f, client, 4)));
        EXPECT_EQ(gridlayout::cellRect(f, columns, 4, 1).right() + 1, client - 1) << client;
    }
}

TEST(GridColumnFit, EveryWidthIsSharedOutExactlyAndInOrderOfTheStoredWidths)
{
    const std::vector<DbGridColumn> stored = columnsOf({84, 235, 252, 102});
    for (int usable = -20; usable <= 2000; ++usable) {
        gridlayout::ColumnFitter fitter;
        const std::vector<int> w = fitter.fit(stored, usable);
        ASSERT_EQ(sum(w), usable) << usable;
        for (size_t i = 0; i + 1 < w.size(); ++i)
            ASSERT_GE(w[i], 1) << usable << " column " << i;
        if (usable >= 100) {
            // Wide enough for rounding not to swap the order of the widths.
            ASSERT_LT(w[0], w[1]) << usable;
            ASSERT_LE(w[1], w[2]) << usable;
            ASSERT_LE(w[3], w[1]) << usable;
        }
    }
}

TEST(GridColumnFit, AtItsOwnWidthNothingMoves)
{
    std::vector<DbGridColumn> columns = columnsOf({84, 235, 252, 102});
    gridlayout::ColumnFitter fitter;
    EXPECT_EQ(fitter.fit(columns, 673), (std::vector<int>{84, 235, 252, 102}));
    EXPECT_FALSE(fitter.squeezed());
    // Fitted once, a second fit to the same width changes nothing.
    takeWidths(columns, fitter.fit(columns, 500));
    const std::vector<int> once{columns[0].width, columns[1].width, columns[2].width,
                                columns[3].width};
    EXPECT_EQ(sum(once), 500);
    EXPECT_EQ(fitter.fit(columns, 500), once);
}

TEST(GridColumnFit, AColumnWiderThanTheGridIsScaledDownWithTheOthers)
{
    std::vector<DbGridColumn> columns = columnsOf({5000, 100, 100});
    gridlayout::ColumnFitter fitter;
    const std::vector<int> w = fitter.fit(columns, 520);
    EXPECT_EQ(sum(w), 520);
    EXPECT_EQ(w[0], 500);
    EXPECT_EQ(w[1], 10);
    EXPECT_FALSE(fitter.squeezed());

    // A lone column takes the whole width, whatever it was.
    std::vector<DbGridColumn> lone = columnsOf({5000});
    EXPECT_EQ(fitter.fit(lone, 300), std::vector<int>{300});
}

TEST(GridColumnFit, ZeroWidthColumnsStillGetTheirShare)
{
    std::vector<DbGridColumn> columns = columnsOf({0, 100, 0, 50});
    gridlayout::ColumnFitter fitter;
    const std::vector<int> w = fitter.fit(columns, 304);
    EXPECT_EQ(sum(w), 304);
    for (size_t i = 0; i < w.size(); ++i)
        EXPECT_GE(w[i], 1) << i;
    EXPECT_EQ(w[0], w[2]);

    // Hidden and at zero, a column is left as it is.
    columns[2].visible = false;
    const std::vector<int> hidden = fitter.fit(columns, 304);
    EXPECT_EQ(hidden[2], 0);
    EXPECT_EQ(sum(visibleWidths(columns, hidden)), 304);
}

TEST(GridColumnFit, NoVisibleColumnLeavesEveryWidthAlone)
{
    std::vector<DbGridColumn> columns = columnsOf({84, 235});
    for (DbGridColumn& c : columns)
        c.visible = false;
    gridlayout::ColumnFitter fitter;
    EXPECT_EQ(fitter.fit(columns, 500), (std::vector<int>{84, 235}));
    EXPECT_TRUE(fitter.fit({}, 500).empty());
}

TEST(GridColumnFit, ASqueezeIsUndoneWhenThereIsRoomAgain)
{
    const std::vector<int> design{84, 235, 252, 102};
    std::vector<DbGridColumn> columns = columnsOf(design);
    gridlayout::ColumnFitter fitter;
    takeWidths(columns, fitter.fit(columns, 3)); // less than a pixel for some shares
    EXPECT_TRUE(fitter.squeezed());
    takeWidths(columns, fitter.fit(columns, 1)); // narrower still
    takeWidths(columns, fitter.fit(columns, 673));
    EXPECT_EQ(visibleWidths(columns, fitter.fit(columns, 673)), design);
    EXPECT_FALSE(fitter.squeezed());

    // A column squeezed, then hidden, comes back with its width from before.
    takeWidths(columns, fitter.fit(columns, 2));
    ASSERT_EQ(columns[1].width, 1);
    columns[1].visible = false;
    takeWidths(columns, fitter.fit(columns, 673));
    EXPECT_EQ(columns[1].width, 235);
    EXPECT_EQ(columns[0].width + columns[2].width + columns[3].width, 673);
}

TEST(GridColumnFit, AWidthSetDuringASqueezeIsTheOneRestored)
{
    std::vector<DbGridColumn> columns = columnsOf({84, 235, 252, 102});
    gridlayout::ColumnFitter fitter;
    takeWidths(columns, fitter.fit(columns, 2));
    ASSERT_TRUE(fitter.squeezed());
    columns[0].width = 168;
    fitter.widthSet(0, 168);
    takeWidths(columns, fitter.fit(columns, 757));
    EXPECT_EQ(visibleWidths(columns, fitter.fit(columns, 757)),
              (std::vector<int>{168, 235, 252, 102}));

    // Not squeezed, a set width is simply the current one.
    fitter.widthSet(1, 1);
    columns[1].width = 470;
    EXPECT_EQ(fitter.fit(columns, 992), (std::vector<int>{168, 470, 252, 102}));
}

} // namespace
