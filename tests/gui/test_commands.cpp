// The main window's commands: captions, keys, images, the toolbar, the
// navigator, the pop-up menu, the enabling rules and the key order.
#include "FrameFixture.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/dbaware/DbNavigator.h"
#include "platform/ui/AppError.h"
#include "platform/ui/BusyCursor.h"
#include "platform/ui/CommandKeys.h"
#include "platform/ui/ToolBand.h"

#include <QAction>
#include <QDialog>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

namespace {

class Commands : public FrameFixture
{
protected:
    void open(int rows)
    {
        createWith(makeDb("data.mdb", rows), 0);
        form->ShowInState();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        form->dbImenik->setFocus();
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    QString lastError() const
    {
        return hook.boxes().empty() ? QString() : hook.boxes().back().text;
    }
    QStringList fileNumbers() const
    {
        return testsupport::selectColumn(dir.path("data.mdb"),
                                         "SELECT Telefon FROM Vlasnici ORDER BY rowid");
    }
};

TEST_F(Commands, EachCommandHasItsCaptionKeyImageAndHint)
{
    open(3);
    struct Expect
    {
        QAction* action;
        const char* caption;
        QKeySequence key;
        int image;
        const char* hint;
    };
    const Expect expected[] = {
        {form->AcFiltar, "Pretraži", QKeySequence(Qt::Key_F3), 5, ""},
        {form->AcDodaj, "Dodaj", QKeySequence(Qt::Key_Insert), 0, ""},
        {form->AcIzmeni, "Izmeni", QKeySequence(Qt::Key_F2), 1, ""},
        {form->AcRefresh, "Osveži", QKeySequence(Qt::Key_F5), 8, ""},
        {form->AcBrisi, "Briši", QKeySequence(Qt::SHIFT | Qt::Key_Delete), 2, ""},
        {form->AcPozovi, "Pozovi...", QKeySequence(Qt::Key_F4), 7, ""},
        {form->AcPonisti, "Poništi", QKeySequence(), 3, ""},
        {form->AcBaza, "Baza", QKeySequence(), 9, ""},
        {form->AcAbout, "Info", QKeySequence(Qt::Key_F1), 6, "Informacije o imeniku"},
        {form->AcIzlaz, "Izlaz", QKeySequence(Qt::Key_Escape), 4, "Izlaz iz programa"},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.caption);
        EXPECT_EQ(e.action->parent(), form->alImenik);
        EXPECT_EQ(e.action->text(), QString::fromUtf8(e.caption));
        EXPECT_EQ(e.action->shortcut(), e.key);
        EXPECT_EQ(e.action->property("imageIndex").toInt(), e.image);
        EXPECT_EQ(e.action->icon().cacheKey(), form->ilImenik[size_t(e.image)].cacheKey());
        EXPECT_EQ(e.action->statusTip(), QString::fromUtf8(e.hint));
    }
    EXPECT_TRUE(form->AcHideNapomena->text().isEmpty());
    EXPECT_TRUE(form->AcHideNapomena->shortcut().isEmpty());
    for (const QIcon& icon : form->ilImenik)
        EXPECT_FALSE(icon.pixmap(16, 16).isNull());
}

TEST_F(Commands, ToolbarHoldsTheButtonsAndGapsInOrder)
{
    open(3);
    QStringList order;
    int width = 0;
    for (QWidget* w : form->tbImenik->items()) {
        order << w->objectName();
        width += w->width();
    }
    EXPECT_EQ(order,
              (QStringList{"separator8", "tbAcFiltar", "tbAcDodaj", "tbAcIzmeni", "tbAcRefresh",
                           "tbAcBrisi", "separator30", "separator8", "dbNavigator", "separator30",
                           "separator8", "tbAcBaza", "tbAcAbout", "tbAcIzlaz", "separator8"}));
    EXPECT_EQ(width, 8 + 5 * 64 + 38 + 89 + 38 + 3 * 64 + 8);
    auto* izlaz = form->tbImenik->findChild<QToolButton*>("tbAcIzlaz");
    ASSERT_NE(izlaz, nullptr);
    EXPECT_EQ(izlaz->width(), 64);
    EXPECT_EQ(izlaz->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    EXPECT_LE(izlaz->geometry().right(), form->tbImenik->width()); // fully shown
    EXPECT_EQ(form->dbNavigator->size(), QSize(89, 22));

    // Tooltips are the ones given for the buttons, and none where none is given.
    const auto tipOf = [&](const char* name) {
        auto* b = form->tbImenik->findChild<QToolButton*>(name);
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
        QHelpEvent e(QEvent::ToolTip, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(b, &e);
        const QString text = QToolTip::isVisible() ? QToolTip::text() : QString();
        QToolTip::hideText();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
        return text;
    };
    EXPECT_EQ(tipOf("tbAcFiltar"), "Pretraživanje - filtiranje podataka");
    EXPECT_EQ(tipOf("tbAcDodaj"), "");
    EXPECT_EQ(tipOf("tbAcIzmeni"), "Izmena podataka");
    EXPECT_EQ(tipOf("tbAcRefresh"), "Osveživanje podataka");
    EXPECT_EQ(tipOf("tbAcBrisi"), "Brisanje podataka");
    EXPECT_EQ(tipOf("tbAcBaza"), "");
    EXPECT_EQ(tipOf("tbAcAbout"), "Informacije o imeniku");
    EXPECT_EQ(tipOf("tbAcIzlaz"), "Izlaz iz programa");
    for (QToolButton* b : form->tbImenik->findChildren<QToolButton*>())
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
}

TEST_F(Commands, DatasetCommandsFollowTheTableState)
{
    const auto enabled = [&] {
        form->UpdateActions();
        return std::vector<bool>{form->AcDodaj->isEnabled(), form->AcIzmeni->isEnabled(),
                                 form->AcBrisi->isEnabled(), form->AcRefresh->isEnabled()};
    };
    createWith(dir.path("missing.mdb"), 0); // closed table
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));
    EXPECT_TRUE(form->AcPozovi->isEnabled() && form->AcIzlaz->isEnabled() &&
                form->AcFiltar->isEnabled() && form->AcBaza->isEnabled());

    DMVidra->ConnectToDatabase(makeDb("empty.mdb", 0));
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, false, true}));

    DMVidra->ConnectToDatabase(makeDb("data.mdb", 2));
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true}));
    table()->Edit();
    EXPECT_EQ(enabled(), (std::vector<bool>{true, false, true, true}));
    table()->Cancel();

    // A file that may only be read.
    DMVidra->Imenik->Close();
    DMVidra->VidraConnect->close();
    DMVidra->VidraConnect->setConnectionText(
        "Provider=Microsoft.Jet.OLEDB.4.0;Mode=Read;Data Source=" +
        vidra::Connection::quoteValue(dir.path("data.mdb")));
    DMVidra->Imenik->Open();
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));
}

TEST_F(Commands, RefreshRereadsTheFileAndRestoresTheCursorAlsoOnFailure)
{
    open(3);
    table()->Last();
    testsupport::execSql(dir.path("data.mdb"),
                         "INSERT INTO Vlasnici VALUES ('999','NOVI','A',NULL,NULL)");
    QTest::keyClick(form->dbImenik, Qt::Key_F5);
    EXPECT_EQ(table()->RecordCount(), 4);
    EXPECT_EQ(table()->RecNo(), 1);
    EXPECT_FALSE(vidra::ui::isBusyCursorShown());
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3"); // the count is not rewritten

    // The pop-up item stays enabled on a closed table and reports the failure.
    table()->Close();
    form->UpdateActions();
    EXPECT_FALSE(form->AcRefresh->isEnabled());
    EXPECT_TRUE(form->miOsvezi->isEnabled());
    QTest::keyClick(form->dbImenik, Qt::Key_F5);
    EXPECT_EQ(lastError(), "Imenik: Cannot perform this operation on a closed dataset.");
    EXPECT_EQ(hook.boxes().back().caption, vidra::ui::applicationTitle());
    EXPECT_FALSE(vidra::ui::isBusyCursorShown());
}

TEST_F(Commands, ShiftDeleteDeletesInAnEditBoxOnlyWhileTheCommandIsEnabled)
{
    open(3);
    auto* edit = new QLineEdit(form->gbFiltar);
    form->gbFiltar->show();
    edit->setText("0123");
    edit->setFocus();
    edit->selectAll();
    table()->SetRecNo(2);
    hook.queueAnswer(vidra::ui::Answer::Yes); // the before-delete question
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(fileNumbers(), (QStringList{"10000", "10002"}));
    ASSERT_EQ(hook.boxes().size(), 1u); // only that question, no grid question
    EXPECT_EQ(hook.boxes()[0].kind, vidra::ui::BoxKind::Warning);
    EXPECT_EQ(edit->text(), "0123"); // the command took the key, not the box

    DMVidra->ConnectToDatabase(makeDb("empty.mdb", 0));
    form->UpdateActions();
    ASSERT_FALSE(form->AcBrisi->isEnabled());
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(edit->text(), ""); // cut by the box itself
}

TEST_F(Commands, KeysGoToThePopUpFirstAndDoNothingUnderAModalDialog)
{
    open(3);
    vidra::ui::CommandKeys* keys = form->CommandKeys();
    // With the grid focused, F5 is the pop-up's own item, not the command.
    auto m = keys->match(form->dbImenik, QKeySequence(Qt::Key_F5));
    EXPECT_EQ(m.action, form->miOsvezi);
    // Elsewhere it is the command.
    m = keys->match(form->dbNapomena, QKeySequence(Qt::Key_F5));
    EXPECT_EQ(m.action, form->AcRefresh);
    // A disabled pop-up item still takes its key, and runs nothing.
    table()->Close();
    m = keys->match(form->dbImenik, QKeySequence(Qt::Key_Insert));
    EXPECT_TRUE(m.taken);
    EXPECT_EQ(m.action, nullptr);
    // A disabled command lets its key through.
    m = keys->match(form->dbNapomena, QKeySequence(Qt::Key_Insert));
    EXPECT_FALSE(m.taken);

    DMVidra->ConnectToDatabase(dir.path("data.mdb"));
    form->dbImenik->setFocus();
    QDialog modal;
    bool stillOpen = false;
    guitest::whenModalShown([&](QWidget* w) {
        QTest::keyClick(form->dbImenik, Qt::Key_Escape);
        stillOpen = form->isVisible();
        w->close();
    });
    modal.exec();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Commands, EscapeEndsTheProgramFromAnywhereInTheWindow)
{
    open(3);
    QTest::keyClick(form->dbImenik, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(iniValue("APP", "window"), "0"); // closed the normal way
}

TEST_F(Commands, DeleteCommandRemovesTheCurrentRowFromTheFile)
{
    open(3);
    table()->Last();
    for (int i = 0; i < 3; ++i)
        hook.queueAnswer(vidra::ui::Answer::Yes);
    form->AcBrisi->trigger();
    EXPECT_EQ(fileNumbers(), (QStringList{"10000", "10001"}));
    EXPECT_EQ(table()->RecordCount(), 2);
    // Disabled once the table is empty: triggering it does nothing.
    form->AcBrisi->trigger();
    form->AcBrisi->trigger();
    EXPECT_TRUE(table()->IsEmpty());
    form->UpdateActions();
    EXPECT_FALSE(form->AcBrisi->isEnabled());
    form->AcBrisi->trigger();
    EXPECT_EQ(hook.boxes().size(), 3u); // no question for the disabled command
}

TEST_F(Commands, NavigatorFollowsTheBeginAndEndFlags)
{
    open(3);
    using N = vidra::DbNavigator;
    const auto state = [&] {
        return std::vector<bool>{form->dbNavigator->button(N::First)->isEnabled(),
                                 form->dbNavigator->button(N::Prior)->isEnabled(),
                                 form->dbNavigator->button(N::Next)->isEnabled(),
                                 form->dbNavigator->button(N::Last)->isEnabled()};
    };
    EXPECT_EQ(state(), (std::vector<bool>{false, false, true, true}));
    QTest::mouseClick(form->dbNavigator->button(N::Next), Qt::LeftButton);
    EXPECT_EQ(table()->RecNo(), 2);
    EXPECT_EQ(state(), (std::vector<bool>{true, true, true, true}));
    QTest::mouseClick(form->dbNavigator->button(N::Prior), Qt::LeftButton);
    EXPECT_EQ(table()->RecNo(), 1);
    EXPECT_EQ(state(), (std::vector<bool>{true, true, true, true})); // until a further prior
    QTest::mouseClick(form->dbNavigator->button(N::Prior), Qt::LeftButton);
    EXPECT_EQ(state(), (std::vector<bool>{false, false, true, true}));
    QTest::mouseClick(form->dbNavigator->button(N::Last), Qt::LeftButton);
    EXPECT_EQ(state(), (std::vector<bool>{true, true, false, false}));

    const QStringList tips = {"First record", "Prior record", "Next record", "Last record"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(form->dbNavigator->button(N::Button(i))->toolTip(), tips[i]);
    QToolButton* prior = form->dbNavigator->button(N::Prior);
    EXPECT_TRUE(prior->autoRepeat());
    EXPECT_EQ(prior->autoRepeatDelay(), 400);
    EXPECT_EQ(prior->autoRepeatInterval(), 100);
    EXPECT_FALSE(form->dbNavigator->button(N::Last)->autoRepeat());

    table()->Close();
    EXPECT_EQ(state(), (std::vector<bool>{false, false, false, false}));
}

TEST_F(Commands, PopUpMenuListsTheCommandsAndTheGridIsBound)
{
    open(3);
    QStringList items;
    for (QAction* a : form->pmImenik->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(items, (QStringList{"Dodaj", "Izmeni", "Briši", "-", "Osveži", "-", "Pozovi...", "-",
                                  "Izlaz"}));
    EXPECT_EQ(form->pmImenik->actions()[0], form->AcDodaj);
    EXPECT_EQ(form->miOsvezi->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_NE(form->miOsvezi, form->AcRefresh);
    EXPECT_EQ(form->dbImenik->popupMenu(), form->pmImenik);
    EXPECT_EQ(form->dbImenik->columnCount(), 4);
    EXPECT_EQ(form->dbImenik->paintedRowCount(), 3);

    QSignalSpy edits(form->AcIzmeni, &QAction::triggered);
    bool editorOpened = false;
    guitest::whenModalShown([&](QWidget* w) {
        editorOpened = true;
        w->close();
    });
    // A double click: the first click moves to the row, the second edits it.
    QTest::mouseClick(form->dbImenik->viewport(), Qt::LeftButton, {},
                      form->dbImenik->cellRect(2, 2).center());
    QTest::mouseDClick(form->dbImenik->viewport(), Qt::LeftButton, {},
                       form->dbImenik->cellRect(2, 2).center());
    EXPECT_EQ(edits.count(), 1);
    EXPECT_TRUE(editorOpened);
    EXPECT_EQ(table()->RecNo(), 2);
}

} // namespace
