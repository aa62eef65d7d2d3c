// The column chooser opened from the grid's top-left cell: what it lists,
// where it opens, what OK and Escape apply, and that one column always
// stays visible.
#include "DbGridFixture.h"
#include "platform/dbaware/DbColumnChooser.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

using namespace vidra;
using guitest::widthsOf;

namespace {

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

} // namespace
