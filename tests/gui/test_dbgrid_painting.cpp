// What the directory grid paints: striped rows, the highlighted current
// row, the fixed cells with their arrow, marks and lines, and cell text.
#include "DbGridFixture.h"

#include <QImage>

using namespace vidra;
using guitest::isBlack;
using testsupport::Row;

namespace {

// ---------------------------------------------------------------- painting

TEST_F(DbGridTest, StripesFollowTheScreenAndHighlightShowsOnlyWithFocus)
{
    open(40);
    show();
    const QColor color(217, 236, 255);
    const QColor alternate = grid->palette().color(QPalette::ToolTipBase);
    const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
    ASSERT_NE(alternate, color);
    EXPECT_EQ(grid->Color(), color);
    EXPECT_EQ(grid->AlternateRowColor(), alternate);
    EXPECT_EQ(grid->FixedColor(), grid->palette().color(QPalette::Button));

    key(Qt::Key_Down); // current in the second row
    QImage image = shot();
    EXPECT_EQ(cellBackground(image, 0), color);
    EXPECT_EQ(cellBackground(image, 1), highlight);
    EXPECT_EQ(cellBackground(image, 2), color);
    EXPECT_EQ(cellBackground(image, 3), alternate);

    other->setFocus();
    image = shot();
    EXPECT_EQ(cellBackground(image, 1), alternate);
    // The indicator mark shows without the focus too.
    const QRect ind = grid->cellRect(0, 2);
    const int mx = ind.left() + ind.width() - DbGrid::kMarkWidth - 1;
    const int my = ind.top() + (ind.height() - DbGrid::kMarkHeight) / 2;
    EXPECT_TRUE(isBlack(image.pixelColor(mx + 3, my + 5)));
    EXPECT_FALSE(isBlack(grid->viewport()->grab().toImage().pixelColor(
        mx + 3, grid->cellRect(0, 1).top() + (ind.height() - DbGrid::kMarkHeight) / 2 + 5)));

    // Scrolling by one row swaps the stripes of the records.
    grid->setFocus();
    for (int i = 0; i < rows(); ++i)
        key(Qt::Key_Down);
    ASSERT_EQ(grid->topRow(), 2);
    key(Qt::Key_Up, Qt::ControlModifier);
    key(Qt::Key_Up); // record 1 back on top, record 2 (was first and plain) now second
    ASSERT_EQ(grid->topRow(), 1);
    image = shot();
    EXPECT_EQ(cellBackground(image, 0), highlight);
    EXPECT_EQ(cellBackground(image, 1), alternate);
}

TEST_F(DbGridTest, FixedCellsArrowAndLines)
{
    open(5);
    show();
    const QImage image = shot();
    const QRect corner = grid->cellRect(0, 0);
    const int ax = (corner.left() + corner.left() + corner.width() - 9) / 2;
    const int ay = (corner.top() + corner.top() + corner.height() - 9) / 2;
    EXPECT_EQ(ax, 1);
    std::vector<int> widths;
    for (int y = 0; y < 9; ++y) {
        int n = 0;
        for (int x = 0; x < 9; ++x)
            n += isBlack(image.pixelColor(ax + x, ay + y));
        widths.push_back(n);
    }
    EXPECT_EQ(widths, (std::vector<int>{0, 0, 0, 7, 5, 5, 3, 3, 1}));
    EXPECT_TRUE(isBlack(image.pixelColor(ax + 4, ay + 8)));

    const int title = grid->titleRowHeight();
    const int dataY = grid->cellRect(1, 1).center().y();
    const int between = grid->cellRect(1, 1).right() + 1;       // Telefon | Vlasnik
    EXPECT_TRUE(isBlack(image.pixelColor(11, dataY)));          // right of the indicator
    EXPECT_TRUE(isBlack(image.pixelColor(300, title)));         // under the titles
    EXPECT_TRUE(isBlack(image.pixelColor(between, title / 2))); // between two titles
    EXPECT_EQ(image.pixelColor(between, dataY), QColor(192, 192, 192));
    EXPECT_EQ(image.pixelColor(300, grid->cellRect(1, 1).bottom() + 1), QColor(192, 192, 192));
    EXPECT_EQ(image.pixelColor(300, grid->viewport()->height() - 2), grid->Color());

    grid->SetColor(QColor(192, 192, 192));
    EXPECT_EQ(shot().pixelColor(between, dataY), QColor(128, 128, 128));
}

TEST_F(DbGridTest, IndicatorMarkFollowsTheTableStateAndInsertShowsTheNewRow)
{
    open(40);
    show();
    // Pixels that tell the three 6 by 11 marks apart: the I-beam's top-left
    // serif, the asterisk's middle bar, the triangle's tip.
    auto mark = [&](int screenRow) {
        const QImage image = shot();
        const QRect cell = grid->cellRect(0, screenRow + 1);
        const int x = cell.left() + cell.width() - DbGrid::kMarkWidth - 1;
        const int y = cell.top() + (cell.height() - DbGrid::kMarkHeight) / 2;
        if (isBlack(image.pixelColor(x, y))) return QStringLiteral("edit");
        if (isBlack(image.pixelColor(x, y + 5))) return QStringLiteral("insert");
        if (isBlack(image.pixelColor(x + 5, y + 5))) return QStringLiteral("current");
        return QStringLiteral("none");
    };
    key(Qt::Key_Down);
    EXPECT_EQ(mark(1), "current");
    EXPECT_EQ(mark(0), "none");

    table.Edit();
    table.FieldByName("Vlasnik").SetValue(QStringLiteral("Izmenjen"));
    EXPECT_EQ(mark(1), "edit");
    table.Cancel();

    table.Insert();
    EXPECT_EQ(grid->topRow() + grid->currentScreenRow(), 40); // the new row, after the last
    EXPECT_EQ(mark(grid->currentScreenRow()), "insert");
    EXPECT_EQ(grid->scrollInfo().position, 2); // a new row has no number: the bar stays
    table.Cancel();
    EXPECT_EQ(mark(grid->currentScreenRow()), "current");
    EXPECT_EQ(table.RecNo(), 2);
}

// The rightmost column with ink of a data cell.
int rightmostInk(const QImage& image, const QRect& cell, const QColor& background)
{
    for (int x = cell.right(); x >= cell.left(); --x)
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            if (image.pixelColor(x, y) != background) return x;
    return -1;
}

TEST_F(DbGridTest, CellTextIsClippedShowsAmpersandsAndExpandsTabs)
{
    open(std::vector<Row>{{"1", "AB", QString(60, QChar('W')), "x", QString()},
                          {"2", "A&B", "", "", QString()},
                          {"3", "A B", "", "", QString()},
                          {"4", "A\tB", "", "", QString()}});
    grid->SetAlternateRowColor(grid->Color());
    show();
    other->setFocus();
    const QImage image = shot();
    const QColor bg = grid->Color();

    // The long address stays inside its text rectangle.
    const QRect address = grid->cellRect(3, 1);
    const int y = address.center().y();
    EXPECT_EQ(image.pixelColor(address.right(), y), bg);
    EXPECT_EQ(image.pixelColor(address.right() + 1, y), QColor(192, 192, 192));
    EXPECT_EQ(image.pixelColor(address.right() + 2, y), bg);
    EXPECT_EQ(rightmostInk(image, address, bg), address.right() - 1);
    for (int x = address.left(); x <= address.right(); ++x)
        EXPECT_EQ(image.pixelColor(x, address.top() + 1), bg) << x; // the top margin

    const int plain = rightmostInk(image, grid->cellRect(2, 1), bg);
    const int ampersand = rightmostInk(image, grid->cellRect(2, 2), bg);
    const int blank = rightmostInk(image, grid->cellRect(2, 3), bg);
    const int tab = rightmostInk(image, grid->cellRect(2, 4), bg);
    ASSERT_GT(plain, 0);
    EXPECT_GT(ampersand, plain + 3); // "&" is drawn, not taken as a mnemonic
    EXPECT_GT(tab, blank + 20);      // the tab moves on to a tab stop
}

} // namespace
