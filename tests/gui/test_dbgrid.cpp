// The directory grid over a real table: fitted columns, the key and mouse
// map, the scroll bar, the column chooser, Ctrl+Delete and what it paints.
#include "GridSupport.h"
#include "GuiSupport.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/DbColumnChooser.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/ui/Dialogs.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace vidra;
using testsupport::Row;

namespace {

std::vector<Row> numberedRows(int n)
{
    std::vector<Row> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({QStringLiteral("011/%1").arg(100000 + i),
                        QStringLiteral("Vlasnik %1").arg(i), QStringLiteral("Ulica %1").arg(i),
                        QStringLiteral("Kostelin"), QString()});
    return rows;
}

std::vector<int> widthsOf(const DbGrid& grid)
{
    std::vector<int> w;
    for (int i = 0; i < grid.columnCount(); ++i)
        w.push_back(grid.columnWidth(i));
    return w;
}

bool isBlack(const QColor& c)
{
    return c.red() == 0 && c.green() == 0 && c.blue() == 0;
}

// A grid of the design size (692 by 250, client 688 by 246) beside a line
// edit that can take the focus away, over a table of the directory file.
class DbGridTest : public ::testing::Test
{
protected:
    testsupport::TempDir dir;
    QString file = dir.path("data.mdb");
    Connection conn;
    Table table{QStringLiteral("Imenik")};
    DataSource source{&table};
    ui::DialogHook hook;
    QWidget host;
    DbGrid* grid = nullptr;
    QLineEdit* other = nullptr;

    void SetUp() override
    {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(11);
        host.setFont(font);
        grid = new DbGrid(&host);
        grid->setObjectName(QStringLiteral("dbImenik"));
        grid->setGeometry(0, 0, 692, 250);
        other = new QLineEdit(&host);
        other->setGeometry(0, 260, 100, 20);
        host.resize(700, 290);
        guitest::addDirectoryColumns(grid);
        grid->setDataSource(&source);
    }

    void open(const std::vector<Row>& rows)
    {
        testsupport::createDirectoryFile(file, rows);
        guitest::openDirectory(conn, table, file);
    }
    void open(int n) { open(numberedRows(n)); }
    // Rows added to the file behind the table's back, then re-read.
    void addRows(int n)
    {
        QString sql = QStringLiteral("BEGIN;");
        for (int i = 0; i < n; ++i)
            sql +=
                QStringLiteral("INSERT INTO Vlasnici VALUES ('x%1', 'Dodat %1', 'A', 'M', NULL);")
                    .arg(i);
        testsupport::execSql(file, sql + QStringLiteral("COMMIT;"));
        table.Requery();
        settle();
    }
    // The scroll area shows or hides its bar on a queued signal.
    static void settle() { QApplication::processEvents(); }
    void doubleClick(const QPoint& pos)
    {
        QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    }

    void show()
    {
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
        grid->setFocus();
        ASSERT_TRUE(grid->hasFocus());
    }

    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(grid, k, mods);
    }
    // A point inside a data cell of the given screen row (0-based).
    QPoint rowPoint(int screenRow, int gridColumn = 2) const
    {
        return grid->cellRect(gridColumn, screenRow + 1).center();
    }
    void click(Qt::MouseButton button, const QPoint& pos)
    {
        QTest::mouseClick(grid->viewport(), button, Qt::NoModifier, pos);
    }
    void wheel(int delta, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QPoint pos = grid->viewport()->rect().center();
        QWheelEvent e(pos, grid->viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta),
                      Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &e);
    }
    QImage shot() const { return grid->viewport()->grab().toImage(); }
    // A pixel of a data cell that no text and no focus dot covers.
    QColor cellBackground(const QImage& image, int screenRow, int gridColumn = 4) const
    {
        const QRect cell = grid->cellRect(gridColumn, screenRow + 1);
        return image.pixelColor(cell.left() + 1, cell.top() + 1);
    }
    int rows() const { return grid->visibleRowCount(); }
};

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

// ---------------------------------------------------------------- keyboard

TEST_F(DbGridTest, ArrowKeysMoveBetweenRecordsAndNeverAppend)
{
    open(5);
    show();
    key(Qt::Key_Down);
    EXPECT_EQ(table.RecNo(), 2);
    key(Qt::Key_Right);
    EXPECT_EQ(table.RecNo(), 3);
    key(Qt::Key_Left);
    EXPECT_EQ(table.RecNo(), 2);
    key(Qt::Key_Up);
    EXPECT_EQ(table.RecNo(), 1);
    key(Qt::Key_Down, Qt::ShiftModifier); // Shift changes nothing
    EXPECT_EQ(table.RecNo(), 2);
    key(Qt::Key_Right, Qt::ControlModifier);
    key(Qt::Key_Left, Qt::ControlModifier);
    key(Qt::Key_Return);
    key(Qt::Key_A);
    EXPECT_EQ(table.RecNo(), 2);
    EXPECT_EQ(table.State(), DatasetState::Browse);

    key(Qt::Key_End);
    EXPECT_EQ(table.RecNo(), 5);
    key(Qt::Key_Down);
    key(Qt::Key_Right);
    EXPECT_EQ(table.RecNo(), 5);
    EXPECT_EQ(table.RecordCount(), 5);
    EXPECT_EQ(table.State(), DatasetState::Browse);
    EXPECT_EQ(testsupport::selectColumn(file, "SELECT Telefon FROM Vlasnici").size(), 5);
    key(Qt::Key_Home);
    EXPECT_EQ(table.RecNo(), 1);
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), 5);
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), 1);
}

TEST_F(DbGridTest, PageAndControlKeysUseTheVisibleRows)
{
    open(100);
    show();
    const int n = rows();
    key(Qt::Key_PageDown);
    EXPECT_EQ(table.RecNo(), 1 + n);
    // Moving past the window scrolls it just enough: the record is at the bottom.
    EXPECT_EQ(grid->currentScreenRow(), n - 1);
    key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(table.RecNo(), 1 + 2 * n);
    key(Qt::Key_PageUp);
    EXPECT_EQ(table.RecNo(), 1 + n);
    EXPECT_EQ(grid->currentScreenRow(), 0);
    key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), grid->topRow() + 1);
    key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), grid->topRow() + n);
    key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), grid->topRow() + 1);
    key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), grid->topRow() + n);
    const int top = grid->topRow();
    key(Qt::Key_Down, Qt::ControlModifier); // already there: no scroll
    EXPECT_EQ(grid->topRow(), top);
}

TEST_F(DbGridTest, ControlDownWithFewerRowsGoesToTheLastRecord)
{
    open(3);
    show();
    key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), 3);
    key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), 1);
}

TEST_F(DbGridTest, TabMovesTheFocusOnAndClosedTableIgnoresKeys)
{
    show();
    for (Qt::Key k : {Qt::Key_Down, Qt::Key_End, Qt::Key_PageDown, Qt::Key_Delete})
        key(k, Qt::ControlModifier);
    key(Qt::Key_Down);
    EXPECT_TRUE(hook.boxes().empty()); // no error from a closed table
    key(Qt::Key_Tab);
    EXPECT_TRUE(other->hasFocus());
    QTest::keyClick(other, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(grid->hasFocus());
}

// ---------------------------------------------------------------- mouse

TEST_F(DbGridTest, PressGivesFocusAndMovesToTheClickedRow)
{
    open(40);
    show();
    other->setFocus();
    click(Qt::LeftButton, rowPoint(4));
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(table.RecNo(), 5);
    click(Qt::LeftButton, grid->cellRect(0, 3).center()); // the indicator cell
    EXPECT_EQ(table.RecNo(), 3);
    click(Qt::LeftButton, grid->cellRect(2, 0).center()); // a title
    EXPECT_EQ(table.RecNo(), 3);

    table.SetRecNo(30); // scrolled: screen rows map to other records
    const int top = grid->topRow();
    click(Qt::LeftButton, rowPoint(0));
    EXPECT_EQ(table.RecNo(), top + 1);
}

TEST_F(DbGridTest, PressBelowTheRowsMovesNothing)
{
    open(3);
    show();
    key(Qt::Key_Down);
    click(Qt::LeftButton, rowPoint(5));
    EXPECT_EQ(table.RecNo(), 2);
    click(Qt::LeftButton, QPoint(300, grid->viewport()->height() - 2));
    EXPECT_EQ(table.RecNo(), 2);
}

TEST_F(DbGridTest, RightClickMovesTheRowThenOpensThePopupAtTheMouse)
{
    open(10);
    show();
    QMenu menu;
    menu.addAction(QStringLiteral("Izmeni"));
    grid->setPopupMenu(&menu);
    const QPoint at = rowPoint(3);
    QTest::mousePress(grid->viewport(), Qt::RightButton, Qt::NoModifier, at);
    EXPECT_EQ(table.RecNo(), 4);
    EXPECT_FALSE(menu.isVisible());
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, Qt::NoModifier, at);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), grid->viewport()->mapToGlobal(at));
    menu.hide();

    // On the top-left cell the right button opens the menu, not the chooser.
    click(Qt::RightButton, grid->cellRect(0, 0).center());
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    menu.hide();
}

TEST_F(DbGridTest, DoubleClickIsReportedAnywhereOnTheGrid)
{
    open(10);
    show();
    QSignalSpy spy(grid, &DbGrid::doubleClicked);
    doubleClick(rowPoint(2));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(table.RecNo(), 3); // moved by the first click of the pair
    doubleClick(grid->cellRect(3, 0).center());
    doubleClick(QPoint(200, grid->viewport()->height() - 1));
    EXPECT_EQ(spy.count(), 3);
    EXPECT_EQ(table.RecNo(), 3);
    // Only the left button double-clicks; a right one is another press.
    QTest::mouseDClick(grid->viewport(), Qt::RightButton, Qt::NoModifier, rowPoint(5));
    EXPECT_EQ(spy.count(), 3);
    EXPECT_EQ(table.RecNo(), 6);
}

TEST_F(DbGridTest, WheelMovesOneRowPerNotchAndAPageWithControl)
{
    open(100);
    show();
    const int page = rows() - 1;
    wheel(-120);
    EXPECT_EQ(table.RecNo(), 2);
    wheel(-60);
    EXPECT_EQ(table.RecNo(), 2); // half a notch waits for the other half
    wheel(-60);
    EXPECT_EQ(table.RecNo(), 3);
    wheel(-240);
    EXPECT_EQ(table.RecNo(), 5);
    wheel(120);
    EXPECT_EQ(table.RecNo(), 4);

    table.SetRecNo(50);
    wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), 50 + page);
    wheel(-120, Qt::ControlModifier | Qt::ShiftModifier); // down: Ctrl among others
    EXPECT_EQ(table.RecNo(), 50 + 2 * page);
    wheel(120, Qt::ControlModifier);
    EXPECT_EQ(table.RecNo(), 50 + page);
    wheel(120, Qt::ControlModifier | Qt::ShiftModifier); // up: Ctrl only, so one row
    EXPECT_EQ(table.RecNo(), 50 + page - 1);

    // Over the scroll bar the wheel moves records the same way.
    const int before = table.RecNo();
    QWheelEvent e(QPointF(2, 20), QPointF(), QPoint(), QPoint(0, -120), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->verticalScrollBar(), &e);
    EXPECT_EQ(table.RecNo(), before + 1);
}

// ---------------------------------------------------------------- scroll bar

TEST_F(DbGridTest, NumberedScrollBarReflectsTheRecordNumber)
{
    open(30);
    show();
    const int n = rows();
    QScrollBar* bar = grid->verticalScrollBar();
    DbGrid::ScrollInfo s = grid->scrollInfo();
    EXPECT_EQ(s.minimum, 1);
    EXPECT_EQ(s.maximum, 30 + n - 1);
    EXPECT_EQ(s.page, n);
    EXPECT_EQ(s.position, 1);
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 30);
    EXPECT_EQ(bar->pageStep(), n);
    EXPECT_TRUE(bar->isVisible());
    table.SetRecNo(17);
    EXPECT_EQ(bar->value(), 17);
    EXPECT_EQ(grid->scrollInfo().position, 17);
}

TEST_F(DbGridTest, ScrollBarShowsFromTwoRows)
{
    open(1);
    show();
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    addRows(1);
    EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
    table.Close();
    settle();
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
}

TEST_F(DbGridTest, FilteredScrollBarHasFivePositions)
{
    open(60);
    show();
    table.SetFilter(QStringLiteral("(Vlasnik LIKE 'Vlasnik 1*')")); // 1, 10..19: 11 rows
    table.SetFiltered(true);
    QScrollBar* bar = grid->verticalScrollBar();
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 4);
    EXPECT_EQ(grid->scrollInfo().page, 0);
    EXPECT_EQ(bar->value(), 0);
    key(Qt::Key_Down);
    EXPECT_EQ(bar->value(), 2);
    key(Qt::Key_End);
    EXPECT_EQ(bar->value(), 4);
    EXPECT_TRUE(bar->isVisible());
}

TEST_F(DbGridTest, ScrollBarActionsMoveTheRecord)
{
    open(100);
    show();
    const int n = rows();
    QScrollBar* bar = grid->verticalScrollBar();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(table.RecNo(), n + 1); // just below the bottom row
    const int topBefore = grid->topRow();
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(table.RecNo(), topBefore); // just above the top row
    const int from = table.RecNo();
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(table.RecNo(), from + n);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(table.RecNo(), from);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(table.RecNo(), 100);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_EQ(bar->value(), 1);

    // Dragging moves nothing until the thumb is released.
    bar->setSliderDown(true);
    bar->setSliderPosition(40);
    EXPECT_EQ(table.RecNo(), 1);
    bar->setSliderDown(false);
    EXPECT_EQ(table.RecNo(), 40);
    EXPECT_EQ(bar->value(), 40);
    for (auto [released, expected] : {std::pair{1, 1}, {100, 100}, {99, 99}}) {
        bar->setSliderDown(true);
        bar->setSliderPosition(released);
        bar->setSliderDown(false);
        EXPECT_EQ(table.RecNo(), expected) << released;
    }
}

TEST_F(DbGridTest, FivePositionThumbReleasePagesOrJumps)
{
    open(100);
    show();
    table.SetFilter(QStringLiteral("(Mesto LIKE 'Kost*')"));
    table.SetFiltered(true);
    const int n = rows();
    QScrollBar* bar = grid->verticalScrollBar();
    auto release = [&](int pos) {
        bar->setSliderDown(true);
        bar->setSliderPosition(pos);
        bar->setSliderDown(false);
    };
    auto position = [&] { return table.CurrentPosition(); };
    release(3);
    EXPECT_EQ(position(), n);
    release(3);
    EXPECT_EQ(position(), 2 * n);
    release(1);
    EXPECT_EQ(position(), n);
    release(2);
    EXPECT_EQ(position(), n);
    release(4);
    EXPECT_EQ(position(), 99);
    EXPECT_EQ(bar->value(), 4);
    release(0);
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(bar->value(), 0);
}

// ---------------------------------------------------------------- column chooser

// Runs the chooser by a left click on the top-left cell; user acts on it.
void runChooser(DbGridTest* t, QWidget* viewport, QPoint at,
                std::function<void(DbColumnChooser*)> user, bool* shown)
{
    (void)t;
    *shown = false;
    guitest::whenModalShown([user, shown](QWidget* w) {
        auto* chooser = qobject_cast<DbColumnChooser*>(w);
        ASSERT_NE(chooser, nullptr);
        *shown = true;
        user(chooser);
        if (chooser->isVisible()) chooser->reject();
    });
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
}

void untick(DbColumnChooser* c, int row)
{
    c->list()->setCurrentRow(row);
    QTest::keyClick(c->list(), Qt::Key_Space);
}

TEST_F(DbGridTest, ChooserListsTheColumnsBelowTheArrowAndEscapeAppliesNothing)
{
    open(1);
    show();
    QStringList texts;
    QString caption, ok;
    bool realNamesShown = true;
    QPoint pos;
    QSize size;
    Qt::WindowFlags flags;
    bool shown = false;
    runChooser(
        this, grid->viewport(), grid->cellRect(0, 0).center(),
        [&](DbColumnChooser* c) {
            ASSERT_TRUE(QTest::qWaitForWindowActive(c));
            caption = c->windowTitle();
            ok = c->okButton()->text();
            realNamesShown = c->withFieldName()->isVisible();
            pos = c->pos();
            size = c->frameGeometry().size();
            flags = c->windowFlags();
            EXPECT_EQ(c->objectName(), "frmSelectColumn");
            EXPECT_EQ(c->list()->objectName(), "clbList");
            EXPECT_EQ(c->withFieldName()->objectName(), "cbWithFieldName");
            EXPECT_EQ(c->okButton()->objectName(), "ButtonOK");
            EXPECT_EQ(c->list()->currentRow(), 0);
            for (int i = 0; i < c->list()->count(); ++i) {
                texts << c->list()->item(i)->text();
                EXPECT_EQ(c->list()->item(i)->checkState(), Qt::Checked);
            }
            untick(c, 3);
            untick(c, 1);
            EXPECT_EQ(c->list()->item(3)->checkState(), Qt::Unchecked);
            QTest::keyClick(c, Qt::Key_Escape);
            EXPECT_FALSE(c->isVisible());
        },
        &shown);
    ASSERT_TRUE(shown);
    EXPECT_EQ(texts, (QStringList{"Telefon", "Vlasnik", "Adresa", "Mesto"}));
    EXPECT_EQ(caption, "Pregled kolona u tabeli");
    EXPECT_EQ(ok, "&U redu");
    EXPECT_FALSE(realNamesShown);
    EXPECT_EQ(pos, grid->viewport()->mapToGlobal(QPoint(0, grid->titleRowHeight() + 1)));
    EXPECT_EQ(size, QSize(197, 248));
    EXPECT_TRUE(flags & Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(grid->columnVisible(i));
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{84, 235, 252, 102}));
}

TEST_F(DbGridTest, ChooserRefusesToHideTheLastColumn)
{
    open(1);
    show();
    bool shown = false;
    runChooser(
        this, grid->viewport(), grid->cellRect(0, 0).center(),
        [&](DbColumnChooser* c) {
            untick(c, 0);
            untick(c, 1);
            untick(c, 2);
            EXPECT_TRUE(hook.boxes().empty());
            untick(c, 3);
            ASSERT_EQ(hook.boxes().size(), 1u);
            EXPECT_EQ(hook.boxes()[0].kind, ui::BoxKind::WarningOk);
            EXPECT_EQ(hook.boxes()[0].caption, "Warning");
            EXPECT_EQ(hook.boxes()[0].text, "Najmanje jedna kolona mora biti vidljiva!");
            EXPECT_EQ(c->list()->item(3)->checkState(), Qt::Checked);
            QTest::keyClick(c, Qt::Key_Return);
        },
        &shown);
    ASSERT_TRUE(shown);
    EXPECT_EQ(std::vector<bool>({grid->columnVisible(0), grid->columnVisible(1),
                                 grid->columnVisible(2), grid->columnVisible(3)}),
              (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(grid->columnWidth(3), 688 - 15);
}

TEST_F(DbGridTest, ChooserOkHidesTheColumnAndRefitsOnce)
{
    open(1);
    show();
    bool shown = false;
    runChooser(
        this, grid->viewport(), grid->cellRect(0, 0).center(),
        [&](DbColumnChooser* c) {
            untick(c, 3);
            QTest::mouseClick(c->okButton(), Qt::LeftButton);
        },
        &shown);
    ASSERT_TRUE(shown);
    EXPECT_FALSE(grid->columnVisible(3));
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{99, 277, 297, 102}));

    // Shown again, Mesto comes back with the width it had when hidden.
    runChooser(
        this, grid->viewport(), grid->cellRect(0, 0).center(),
        [&](DbColumnChooser* c) {
            EXPECT_EQ(c->list()->item(3)->checkState(), Qt::Unchecked);
            c->list()->item(3)->setCheckState(Qt::Checked);
            QTest::keyClick(c, Qt::Key_Enter);
        },
        &shown);
    ASSERT_TRUE(shown);
    EXPECT_EQ(widthsOf(*grid), (std::vector<int>{86, 241, 258, 88}));
}

// The chooser's warning as the user sees it: a warning with one OK button.
TEST(DbGridChooserWarning, IsAWarningBoxWithASingleOk)
{
    for (Qt::Key k : {Qt::Key_Return, Qt::Key_Escape}) {
        QString caption;
        QStringList buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        guitest::whenModalShown([&, k](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            QTest::keyClick(box, k);
        });
        EXPECT_EQ(ui::warningBox(QStringLiteral("Najmanje jedna kolona mora biti vidljiva!")),
                  ui::Answer::Ok);
        EXPECT_EQ(caption, "Warning");
        EXPECT_EQ(icon, QMessageBox::Warning);
        EXPECT_EQ(buttons, QStringList{"OK"});
    }
}

TEST_F(DbGridTest, ChooserActivationResetsTicksAndRealNamesShowFieldNames)
{
    grid->setColumnVisible(0, false);
    DbGrid named;
    named.addColumn("Telefon", "Broj", 50);
    named.addColumn("Vlasnik", "vlasnik", 50);
    named.setDataSource(&source);
    open(1);
    DbColumnChooser chooser(&named);
    ASSERT_EQ(chooser.list()->count(), 2);
    EXPECT_EQ(chooser.list()->item(0)->text(), "Broj");
    EXPECT_EQ(chooser.list()->item(1)->text(), "vlasnik");
    EXPECT_FALSE(chooser.withFieldName()->isHidden()); // "Broj" is not the field name
    chooser.withFieldName()->click();
    EXPECT_EQ(chooser.list()->item(0)->text(), "Broj [Telefon]");
    EXPECT_EQ(chooser.list()->item(1)->text(), "vlasnik"); // differs only in case

    chooser.list()->item(1)->setCheckState(Qt::Unchecked);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&chooser, &activate);
    EXPECT_EQ(chooser.list()->item(1)->checkState(), Qt::Checked);

    DbColumnChooser plain(grid);
    ASSERT_EQ(plain.list()->count(), 4);
    EXPECT_EQ(plain.list()->item(0)->checkState(), Qt::Unchecked); // hidden Telefon
    EXPECT_TRUE(plain.withFieldName()->isHidden());
}

TEST_F(DbGridTest, ArrowIsInertWhileTheTableIsClosed)
{
    show();
    // Should a dialog open after all, this closes it and records it.
    QObject guard;
    bool opened = false;
    QTimer::singleShot(300, &guard, [&opened] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            opened = true;
            w->close();
        }
    });
    click(Qt::LeftButton, grid->cellRect(0, 0).center());
    EXPECT_FALSE(opened);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    grid->ShowColumnChooser(); // also inert when called directly
    EXPECT_FALSE(opened);
}

// ---------------------------------------------------------------- Ctrl+Delete

TEST_F(DbGridTest, ControlDeleteAsksThenDeletesFromTheFile)
{
    open(3);
    show();
    key(Qt::Key_Down);
    hook.queueAnswer(ui::Answer::No);
    key(Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].kind, ui::BoxKind::Confirm);
    EXPECT_EQ(hook.boxes()[0].text, "Delete record?");
    EXPECT_EQ(table.RecordCount(), 3);

    hook.queueAnswer(ui::Answer::Yes);
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_EQ(testsupport::selectColumn(file, "SELECT Telefon FROM Vlasnici"),
              (QStringList{"011/100000", "011/100002"}));
    EXPECT_EQ(table.FieldByName("Telefon").AsString(), "011/100002");
    EXPECT_EQ(grid->currentScreenRow(), 1);

    key(Qt::Key_Delete); // plain Delete does nothing
    EXPECT_EQ(hook.boxes().size(), 2u);
    EXPECT_EQ(table.RecordCount(), 2);
}

TEST_F(DbGridTest, ControlDeleteDoesNothingOnEmptyOrReadOnly)
{
    open(0);
    show();
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(hook.boxes().empty());

    addRows(2);
    grid->SetReadOnly(true);
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(table.RecordCount(), 2);
}

TEST_F(DbGridTest, ControlDeleteRefusedByTheTableOrFailingIsNotSwallowed)
{
    open(2);
    show();
    int asked = 0;
    table.BeforeDelete = [&](Table&) {
        ++asked;
        throw Abort();
    };
    hook.queueAnswer(ui::Answer::Yes);
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(hook.boxes().size(), 1u); // the refusal is silent
    EXPECT_EQ(table.RecordCount(), 2);

    // An engine failure reaches the application's error box.
    table.BeforeDelete = nullptr;
    testsupport::execSql(file, "DROP TABLE Vlasnici");
    hook.clear();
    hook.queueAnswer(ui::Answer::Yes);
    key(Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(hook.boxes().size(), 2u);
    EXPECT_EQ(hook.boxes()[1].kind, ui::BoxKind::Error);
    EXPECT_FALSE(hook.boxes()[1].text.isEmpty());
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_EQ(grid->paintedRowCount(), 2);
}

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
