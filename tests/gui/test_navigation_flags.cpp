// A move that finds no further row changes only the table's begin or end
// flag; the navigator and the grid's scroll bar bound to the same data
// source must follow it at once, whoever made the move.
#include "GridSupport.h"
#include "GuiSupport.h"
#include "data/Schema.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/dbaware/DbNavigator.h"
#include "support/TempDir.h"

#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace vidra;
using testsupport::Row;

namespace {

class NavigationFlags : public ::testing::Test
{
protected:
    testsupport::TempDir dir;
    QString file = dir.path("data.mdb");
    Connection conn;
    Table table{QStringLiteral("Imenik")};
    DataSource source{&table};
    QWidget host;
    DbGrid* grid = nullptr;
    DbNavigator* navigator = nullptr;

    void SetUp() override
    {
        navigator = new DbNavigator(&host);
        navigator->move(0, 0);
        grid = new DbGrid(&host);
        grid->setGeometry(0, 30, 692, 250);
        host.resize(700, 290);
        guitest::addDirectoryColumns(grid);
        grid->setDataSource(&source);
        navigator->setDataSource(&source);

        std::vector<Row> rows;
        for (int i = 0; i < 30; ++i)
            rows.push_back({QStringLiteral("011/%1").arg(100 + i),
                            QStringLiteral("VLASNIK %1").arg(i), QStringLiteral("ULICA %1").arg(i),
                            i % 10 == 3 ? QStringLiteral("BROD") : QStringLiteral("KOSTELIN"),
                            QString()});
        testsupport::createDirectoryFile(file, rows);
        guitest::openDirectory(conn, table, file);

        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
        grid->setFocus();
        ASSERT_TRUE(grid->hasFocus());
    }

    // First, prior, next, last.
    std::vector<bool> buttons() const
    {
        std::vector<bool> out;
        for (auto b :
             {DbNavigator::First, DbNavigator::Prior, DbNavigator::Next, DbNavigator::Last})
            out.push_back(navigator->button(b)->isEnabled());
        return out;
    }
    void keys(Qt::Key k, int times)
    {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(grid, k);
    }
    int bar() const { return grid->verticalScrollBar()->value(); }
};

const std::vector<bool> kAtBeginning{false, false, true, true};
const std::vector<bool> kBetween{true, true, true, true};
const std::vector<bool> kAtEnd{true, true, false, false};

TEST_F(NavigationFlags, MovesPastEitherEndInTheGridDisableTheNavigatorButtons)
{
    EXPECT_EQ(buttons(), kAtBeginning); // opening sets the beginning flag

    keys(Qt::Key_Down, 29); // onto the last record: no flag yet
    ASSERT_EQ(table.RecNo(), 30);
    EXPECT_EQ(buttons(), kBetween);
    EXPECT_EQ(bar(), 30);
    QTest::keyClick(grid, Qt::Key_Down); // finds no further row
    EXPECT_EQ(table.RecNo(), 30);
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(buttons(), kAtEnd);
    EXPECT_EQ(table.RecordCount(), 30); // nothing appended

    keys(Qt::Key_Up, 29);
    ASSERT_EQ(table.RecNo(), 1);
    EXPECT_EQ(buttons(), kBetween);
    QTest::keyClick(grid, Qt::Key_Left); // Left moves up as well
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_EQ(buttons(), kAtBeginning);
    EXPECT_EQ(bar(), 1);
}

TEST_F(NavigationFlags, FilteredScrollBarReachesItsEndsOnAMoveThatFindsNoRow)
{
    table.SetFilter(QStringLiteral("(Mesto LIKE 'BROD')")); // rows 3, 13 and 23
    table.SetFiltered(true);
    ASSERT_EQ(table.RecordCount(), 3);
    QScrollBar* scroll = grid->verticalScrollBar();
    ASSERT_EQ(scroll->maximum(), 4);
    EXPECT_EQ(bar(), 0);

    keys(Qt::Key_Down, 2); // the last filtered row, end flag still clear
    ASSERT_EQ(table.FieldByName("Telefon").AsString(), "011/123");
    EXPECT_EQ(bar(), 2);
    EXPECT_EQ(buttons(), kBetween);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(bar(), 4);
    EXPECT_EQ(buttons(), kAtEnd);

    keys(Qt::Key_Up, 2);
    ASSERT_EQ(table.FieldByName("Telefon").AsString(), "011/103");
    EXPECT_EQ(bar(), 2);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(bar(), 0);
    EXPECT_EQ(buttons(), kAtBeginning);

    // The same through the navigator: prior onto the first row, then once more.
    QTest::mouseClick(navigator->button(DbNavigator::Next), Qt::LeftButton);
    QTest::mouseClick(navigator->button(DbNavigator::Prior), Qt::LeftButton);
    EXPECT_EQ(bar(), 2);
    EXPECT_EQ(buttons(), kBetween);
    QTest::mouseClick(navigator->button(DbNavigator::Prior), Qt::LeftButton);
    EXPECT_EQ(bar(), 0);
    EXPECT_EQ(buttons(), kAtBeginning);
}

TEST_F(NavigationFlags, FlagOnlyChangesMadeByTheProgramReachBoundControls)
{
    // Moves that no control made: the record number set to where the table
    // already stands clears the flag, and a move past the end sets it.
    table.SetRecNo(1);
    EXPECT_FALSE(table.Bof());
    EXPECT_EQ(buttons(), kBetween);
    EXPECT_EQ(table.MoveBy(-5), 0);
    EXPECT_EQ(buttons(), kAtBeginning);
    table.Last();
    table.SetRecNo(30);
    EXPECT_EQ(buttons(), kBetween);
    EXPECT_EQ(table.MoveBy(2), 0);
    EXPECT_EQ(buttons(), kAtEnd);
}

} // namespace
