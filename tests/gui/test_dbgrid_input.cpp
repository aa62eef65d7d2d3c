// The directory grid over a real table as the operator works it: keys,
// mouse, wheel and Ctrl+Delete.
#include "DbGridFixture.h"
#include "platform/Error.h"

#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>

using namespace vidra;

namespace {

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

} // namespace
