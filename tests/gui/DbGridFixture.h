#pragma once
// The directory grid alone over a real table, for the tests of its layout,
// keys and mouse, scroll bar, column chooser and painting.
#include "GridSupport.h"
#include "GuiSupport.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/ui/Dialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <vector>

// A grid of the design size (692 by 250, client 688 by 246) beside a line
// edit that can take the focus away, over a table of the directory file.
class DbGridTest : public ::testing::Test
{
protected:
    testsupport::TempDir dir;
    QString file = dir.path("data.mdb");
    vidra::Connection conn;
    vidra::Table table{QStringLiteral("Imenik")};
    vidra::DataSource source{&table};
    vidra::ui::DialogHook hook;
    QWidget host;
    vidra::DbGrid* grid = nullptr;
    QLineEdit* other = nullptr;

    void SetUp() override
    {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(11);
        host.setFont(font);
        grid = new vidra::DbGrid(&host);
        grid->setObjectName(QStringLiteral("dbImenik"));
        grid->setGeometry(0, 0, 692, 250);
        other = new QLineEdit(&host);
        other->setGeometry(0, 260, 100, 20);
        host.resize(700, 290);
        guitest::addDirectoryColumns(grid);
        grid->setDataSource(&source);
    }

    void open(const std::vector<testsupport::Row>& rows)
    {
        testsupport::createDirectoryFile(file, rows);
        guitest::openDirectory(conn, table, file);
    }
    void open(int n) { open(guitest::numberedRows(n)); }
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
