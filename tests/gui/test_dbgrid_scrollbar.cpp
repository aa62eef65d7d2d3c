// The grid's vertical scroll bar as an operator uses it with the mouse and
// keys: every change of the bar moves the current record and the bar then
// shows where the record stands; a right click on the bar opens the grid's
// pop-up menu, never the bar's own. Its range follows the table: record
// numbers, or five positions while a filter is in force.
#include "DbGridFixture.h"
#include "GridSupport.h"
#include "GuiSupport.h"
#include "data/Schema.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/ui/Dialogs.h"
#include "support/TempDir.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <gtest/gtest.h>

using namespace vidra;

namespace {

// Records every pop-up menu that opens and closes it, so that a menu run in
// a loop of its own cannot hold the test up.
class PopupWatch
{
public:
    PopupWatch()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* p = QApplication::activePopupWidget()) {
                seen.push_back(p);
                if (p != keep) p->close();
            }
        });
        m_timer.start();
    }
    std::vector<QPointer<QWidget>> seen;
    QWidget* keep = nullptr; // left open to be checked

private:
    QTimer m_timer;
};

// The directory grid of the design size over a table of n rows, in a window
// that takes its mouse events the way the platform delivers them.
class GridScrollBar : public ::testing::Test
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
    QMenu menu;

    void SetUp() override
    {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(11);
        host.setFont(font);
        grid = new DbGrid(&host);
        grid->setGeometry(0, 0, 692, 250);
        host.resize(700, 260);
        guitest::addDirectoryColumns(grid);
        grid->setDataSource(&source);
        menu.addAction(QStringLiteral("Izmeni"));
        grid->setPopupMenu(&menu);
    }

    void open(int n)
    {
        testsupport::createDirectoryFile(file, guitest::numberedRows(n));
        guitest::openDirectory(conn, table, file);
    }
    void show()
    {
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
        QApplication::processEvents(); // the scroll area shows its bar on a queued signal
        ASSERT_TRUE(bar()->isVisible());
    }

    QScrollBar* bar() const { return grid->verticalScrollBar(); }
    int rows() const { return grid->visibleRowCount(); }
    QRect part(QStyle::SubControl control) const
    {
        QStyleOptionSlider opt;
        opt.initFrom(bar());
        opt.orientation = bar()->orientation();
        opt.minimum = bar()->minimum();
        opt.maximum = bar()->maximum();
        opt.sliderPosition = bar()->sliderPosition();
        opt.sliderValue = bar()->value();
        opt.singleStep = bar()->singleStep();
        opt.pageStep = bar()->pageStep();
        opt.upsideDown = bar()->invertedAppearance();
        return bar()->style()->subControlRect(QStyle::CC_ScrollBar, &opt, control, bar());
    }
    // Mouse events go through the window, as the platform sends them: a
    // right press there also brings the context-menu event.
    QPoint inWindow(const QPoint& onBar) const { return bar()->mapTo(&host, onBar); }
    void press(Qt::MouseButton b, const QPoint& onBar)
    {
        QTest::mousePress(host.windowHandle(), b, Qt::NoModifier, inWindow(onBar));
    }
    void release(Qt::MouseButton b, const QPoint& onBar)
    {
        QTest::mouseRelease(host.windowHandle(), b, Qt::NoModifier, inWindow(onBar));
    }
    void click(Qt::MouseButton b, const QPoint& onBar)
    {
        press(b, onBar);
        release(b, onBar);
    }
    // The bar stands where the record stands.
    void expectBarOnRecord(const char* step) const
    {
        EXPECT_EQ(bar()->value(), table.RecNo()) << step;
        EXPECT_EQ(bar()->sliderPosition(), table.RecNo()) << step;
        EXPECT_EQ(grid->scrollInfo().position, table.RecNo()) << step;
    }
};

TEST_F(GridScrollBar, RightClickOnTheBarOpensThePopupAndMovesNothing)
{
    open(100);
    show();
    table.SetRecNo(3);
    PopupWatch popups;
    popups.keep = &menu;
    const QPoint at = part(QStyle::SC_ScrollBarAddPage).center();
    press(Qt::RightButton, at);
    // Nothing opens on the press, and no row lies under the bar to move to.
    EXPECT_TRUE(popups.seen.empty());
    EXPECT_EQ(table.RecNo(), 3);
    release(Qt::RightButton, at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }, 5000));
    // At the mouse (moved left only as far as the screen's edge requires).
    const QPoint global = bar()->mapToGlobal(at);
    EXPECT_EQ(menu.pos().y(), global.y());
    EXPECT_LE(menu.pos().x(), global.x());
    EXPECT_GT(menu.pos().x() + menu.width(), global.x());
    for (const QPointer<QWidget>& p : popups.seen)
        EXPECT_EQ(p.data(), &menu) << "the scroll bar's own menu opened";
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_EQ(bar()->value(), 3);
    EXPECT_TRUE(grid->hasFocus());
    menu.hide();

    // On the arrows and the thumb alike.
    for (QStyle::SubControl c :
         {QStyle::SC_ScrollBarSubLine, QStyle::SC_ScrollBarAddLine, QStyle::SC_ScrollBarSlider}) {
        popups.seen.clear();
        click(Qt::RightButton, part(c).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }, 5000));
        for (const QPointer<QWidget>& p : popups.seen)
            EXPECT_EQ(p.data(), &menu) << "control " << int(c);
        EXPECT_EQ(table.RecNo(), 3) << "control " << int(c);
        menu.hide();
    }
}

TEST_F(GridScrollBar, TheMenuKeyOverTheBarOpensThePopupToo)
{
    open(100);
    show();
    PopupWatch popups;
    popups.keep = &menu;
    QContextMenuEvent e(QContextMenuEvent::Keyboard, QPoint(2, 2),
                        bar()->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(bar(), &e);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }, 5000));
    for (const QPointer<QWidget>& p : popups.seen)
        EXPECT_EQ(p.data(), &menu);
    menu.hide();
}

TEST_F(GridScrollBar, ArrowsAndPageClicksMoveTheRecord)
{
    open(100);
    show();
    const int n = rows();
    click(Qt::LeftButton, part(QStyle::SC_ScrollBarAddLine).center());
    EXPECT_EQ(table.RecNo(), n + 1); // just below the bottom row
    expectBarOnRecord("line down");
    const int top = grid->topRow() + 1;
    click(Qt::LeftButton, part(QStyle::SC_ScrollBarSubLine).center());
    EXPECT_EQ(table.RecNo(), top - 1); // just above the top row
    expectBarOnRecord("line up");

    if (bar()->style()->styleHint(QStyle::SH_ScrollBar_LeftClickAbsolutePosition, nullptr, bar()))
        GTEST_SKIP() << "this style jumps on a left click in the groove";
    const int from = table.RecNo();
    click(Qt::LeftButton, part(QStyle::SC_ScrollBarAddPage).center());
    EXPECT_EQ(table.RecNo(), from + n);
    expectBarOnRecord("page down");
    click(Qt::LeftButton, part(QStyle::SC_ScrollBarSubPage).center());
    EXPECT_EQ(table.RecNo(), from);
    expectBarOnRecord("page up");
}

TEST_F(GridScrollBar, JumpsToAPositionMoveTheRecord)
{
    open(100);
    show();
    // "Scroll here" and the like set the bar's value without an action.
    bar()->setValue(60);
    EXPECT_EQ(table.RecNo(), 60);
    expectBarOnRecord("jump to 60");
    bar()->setValue(1);
    EXPECT_EQ(table.RecNo(), 1);
    bar()->setValue(bar()->maximum());
    EXPECT_EQ(table.RecNo(), 100);
    expectBarOnRecord("jump to the end");

    // A click in the groove with the button that jumps there.
    table.First();
    int jumps = 0;
    for (Qt::MouseButton b : {Qt::MiddleButton, Qt::LeftButton}) {
        const QStyle::StyleHint hint = b == Qt::MiddleButton
                                           ? QStyle::SH_ScrollBar_MiddleClickAbsolutePosition
                                           : QStyle::SH_ScrollBar_LeftClickAbsolutePosition;
        if (!bar()->style()->styleHint(hint, nullptr, bar())) continue;
        const int before = table.RecNo();
        click(b, part(QStyle::SC_ScrollBarAddPage).center());
        EXPECT_GT(table.RecNo(), before);
        expectBarOnRecord("click in the groove");
        table.First();
        ++jumps;
    }
    EXPECT_GT(jumps, 0) << "no button jumps to the click in this style";
}

TEST_F(GridScrollBar, KeysAndTheWheelOnTheBarMoveTheRecord)
{
    open(100);
    show();
    const int n = rows();
    QTest::keyClick(bar(), Qt::Key_Down);
    EXPECT_EQ(table.RecNo(), n + 1);
    expectBarOnRecord("Down");
    QTest::keyClick(bar(), Qt::Key_PageDown);
    EXPECT_EQ(table.RecNo(), 2 * n + 1);
    expectBarOnRecord("Page Down");
    QTest::keyClick(bar(), Qt::Key_End);
    EXPECT_EQ(table.RecNo(), 100);
    expectBarOnRecord("End");
    QTest::keyClick(bar(), Qt::Key_PageUp);
    EXPECT_EQ(table.RecNo(), 100 - n);
    expectBarOnRecord("Page Up");
    QTest::keyClick(bar(), Qt::Key_Home);
    EXPECT_EQ(table.RecNo(), 1);
    expectBarOnRecord("Home");

    const QPoint at = part(QStyle::SC_ScrollBarAddPage).center();
    QWheelEvent down(at, bar()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar(), &down);
    QApplication::sendEvent(bar(), &down);
    EXPECT_EQ(table.RecNo(), 3);
    expectBarOnRecord("wheel");
}

TEST_F(GridScrollBar, DraggingMovesOnlyWhenTheThumbIsReleased)
{
    open(100);
    show();
    const QRect thumb = part(QStyle::SC_ScrollBarSlider);
    const QRect groove = part(QStyle::SC_ScrollBarGroove);
    const QPoint from = thumb.center();
    const QPoint to(from.x(), groove.top() + groove.height() / 2);
    press(Qt::LeftButton, from);
    QTest::mouseMove(host.windowHandle(), inWindow(QPoint(from.x(), from.y() + 5)));
    QTest::mouseMove(host.windowHandle(), inWindow(to));
    EXPECT_TRUE(bar()->isSliderDown());
    EXPECT_GT(bar()->sliderPosition(), 1);
    EXPECT_EQ(table.RecNo(), 1);
    release(Qt::LeftButton, to);
    EXPECT_FALSE(bar()->isSliderDown());
    EXPECT_GT(table.RecNo(), 30);
    EXPECT_LT(table.RecNo(), 80);
    expectBarOnRecord("drag");
}

TEST_F(GridScrollBar, FivePositionBarJumpsPageOrEnds)
{
    open(100);
    show();
    table.SetFilter(QStringLiteral("(Mesto LIKE 'Kost*')"));
    table.SetFiltered(true);
    const int n = rows();
    auto position = [&] { return table.CurrentPosition(); };
    bar()->setValue(4);
    EXPECT_EQ(position(), 99);
    EXPECT_EQ(bar()->value(), 4);
    bar()->setValue(0);
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(bar()->value(), 0);
    bar()->setValue(3);
    EXPECT_EQ(position(), n);
    EXPECT_EQ(bar()->value(), 2);
    bar()->setValue(3);
    EXPECT_EQ(position(), 2 * n);
    bar()->setValue(1);
    EXPECT_EQ(position(), n);
    EXPECT_EQ(bar()->value(), 2);
    QTest::keyClick(bar(), Qt::Key_End);
    EXPECT_EQ(position(), 99);
    EXPECT_EQ(bar()->value(), 4);
}

// ---------------------------------------------------------------- range and actions

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

} // namespace
