// An operator at keyboard speed: a command pressed before the search has
// been applied acts on the row the operator saw, and the search is applied
// once the question or the editor has gone, never underneath it.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "platform/dbaware/DbNavigator.h"
#include "platform/ui/ModalScope.h"
#include "ui/dialogs/untAzuriranje.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

using vidra::ui::Answer;
using vidra::ui::BoxKind;

class KeyboardSpeed : public FrameFixture
{
protected:
    QString file;

    void SetUp() override
    {
        FrameFixture::SetUp();
        file = dir.path("data.mdb");
        testsupport::createDirectoryFile(
            file, {{"011/100", "ANA ANIĆ", "PRVA 1", "KOSTELIN", QString()},
                   {"011/200", "BRANKO BOJIĆ", "DRUGA 2", "KOSTELIN", QStringLiteral("dug")},
                   {"011/300", "BRANISLAVA BOŽIĆ", "TREĆA 3", "BROD", QString()},
                   {"011/400", "CVETA CVIJIĆ", "ČETVRTA 4", "BROD", QString()}});
        createWith(file, 0);
        showActive();
        form->AcFiltar->trigger(); // the search panel, focus in the number box
        ASSERT_TRUE(form->gbFiltar->isVisible());
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    QString current() const { return table()->FieldByName("Telefon").AsString(); }
    QStringList numbers() const
    {
        return testsupport::selectColumn(file, "SELECT Telefon FROM Vlasnici ORDER BY rowid");
    }
    // The operator reads the window for longer than the search delay.
    void readForAWhile()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Timer->isActive(); }, 5000));
        QCoreApplication::processEvents();
    }
    // The search typed before the command, once it has been applied.
    void expectSearchApplied(int count)
    {
        EXPECT_SOON(table()->Filtered());
        EXPECT_SOON_EQ(panel0(), " Broj pretplatnika: " + QString::number(count));
        EXPECT_EQ(table()->RecordCount(), count);
    }
};

TEST_F(KeyboardSpeed, ShiftDeleteRightAfterTypingDeletesTheRowItsQuestionNamed)
{
    ASSERT_EQ(current(), "011/100");
    type(form->edVlasnik, "BRA");
    QString atAnswer;
    hook.onBox = [&](const vidra::ui::DialogHook::Box&) {
        readForAWhile();
        atAnswer = current();
    };
    hook.queueAnswer(Answer::Yes);
    QTest::keyClick(form->edVlasnik, Qt::Key_Delete, Qt::ShiftModifier);

    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_TRUE(hook.boxes()[0].text.contains("Tel: 011/100."));
    EXPECT_EQ(atAnswer, "011/100"); // nothing moved under the question
    EXPECT_EQ(numbers(), (QStringList{"011/200", "011/300", "011/400"}));
    expectSearchApplied(2);
    EXPECT_EQ(current(), "011/200");
    EXPECT_EQ(form->dbVlasnik->text(), "BRANKO BOJIĆ");
}

TEST_F(KeyboardSpeed, ShiftDeleteRightAfterASearchThatMatchesNothingDeletesTheNamedRow)
{
    type(form->edVlasnik, "QQQ");
    hook.onBox = [&](const vidra::ui::DialogHook::Box&) { readForAWhile(); };
    hook.queueAnswer(Answer::Yes);
    QTest::keyClick(form->edVlasnik, Qt::Key_Delete, Qt::ShiftModifier);

    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_TRUE(hook.boxes()[0].text.contains("Tel: 011/100."));
    EXPECT_EQ(numbers(), (QStringList{"011/200", "011/300", "011/400"}));
    expectSearchApplied(0);
    // Nothing is current now: a further delete asks nothing and does nothing.
    QTest::keyClick(form->edVlasnik, Qt::Key_Delete, Qt::ShiftModifier);
    form->AcBrisiExecute();
    EXPECT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(numbers().size(), 3);
}

TEST_F(KeyboardSpeed, ANoAnswerLeavesTheRowAndStillAppliesTheSearch)
{
    type(form->edVlasnik, "CV");
    hook.onBox = [&](const vidra::ui::DialogHook::Box&) { readForAWhile(); };
    hook.queueAnswer(Answer::No);
    QTest::keyClick(form->edVlasnik, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(numbers().size(), 4);
    expectSearchApplied(1);
    EXPECT_EQ(current(), "011/400");
}

TEST_F(KeyboardSpeed, CtrlDeleteInTheGridAsksTwiceAboutTheSameRowAndDeletesIt)
{
    table()->Last();
    ASSERT_EQ(current(), "011/400");
    type(form->edVlasnik, "BRAN");
    form->dbImenik->setFocus();
    hook.onBox = [&](const vidra::ui::DialogHook::Box&) { readForAWhile(); };
    hook.queueAnswer(Answer::Yes);
    hook.queueAnswer(Answer::Yes);
    QTest::keyClick(form->dbImenik, Qt::Key_Delete, Qt::ControlModifier);

    ASSERT_EQ(hook.boxes().size(), 2u);
    EXPECT_EQ(hook.boxes()[0].kind, BoxKind::Confirm);
    EXPECT_TRUE(hook.boxes()[1].text.contains("Tel: 011/400."));
    EXPECT_EQ(numbers(), (QStringList{"011/100", "011/200", "011/300"}));
    expectSearchApplied(2);
}

TEST_F(KeyboardSpeed, HidingThePanelAndClearingItWaitForTheQuestionToo)
{
    type(form->edVlasnik, "BRANI");
    EXPECT_SOON_EQ(table()->RecordCount(), 1);
    ASSERT_EQ(current(), "011/300");

    // F3 hides the panel and clears it; Shift+Delete at once.
    hook.onBox = [&](const vidra::ui::DialogHook::Box&) { readForAWhile(); };
    hook.queueAnswer(Answer::Yes);
    QTest::keyClick(form->edVlasnik, Qt::Key_F3);
    form->dbImenik->setFocus();
    QTest::keyClick(form->dbImenik, Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_TRUE(hook.boxes()[0].text.contains("Tel: 011/300."));
    EXPECT_EQ(numbers(), (QStringList{"011/100", "011/200", "011/400"}));
    EXPECT_SOON(!table()->Filtered());
    EXPECT_SOON_EQ(panel0(), QStringLiteral(" Broj pretplatnika: 3"));

    // "Poništi" the same way.
    form->AcFiltar->trigger();
    type(form->edVlasnik, "BRANK");
    EXPECT_SOON_EQ(table()->RecordCount(), 1);
    hook.queueAnswer(Answer::Yes);
    form->AcPonisti->trigger();
    QTest::keyClick(form->edTelefon, Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(hook.boxes().size(), 2u);
    EXPECT_TRUE(hook.boxes()[1].text.contains("Tel: 011/200."));
    EXPECT_EQ(numbers(), (QStringList{"011/100", "011/400"}));
    EXPECT_SOON(!table()->Filtered());
    EXPECT_SOON_EQ(panel0(), QStringLiteral(" Broj pretplatnika: 2"));
}

TEST_F(KeyboardSpeed, F2RightAfterTypingEditsTheRowTheOperatorSaw)
{
    type(form->edVlasnik, "CV");
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        EXPECT_EQ(e->dbTelefon->text(), "011/100");
        readForAWhile();
        EXPECT_EQ(e->dbTelefon->text(), "011/100");
        EXPECT_EQ(current(), "011/100");
        EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
    });
    EXPECT_TRUE(hook.boxes().empty());
    expectSearchApplied(1);
    EXPECT_EQ(current(), "011/400");
}

TEST_F(KeyboardSpeed, TypingInTheEditorIsNotSavedByAPendingSearch)
{
    type(form->edVlasnik, "CV");
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        e->dbVlasnik->setFocus();
        e->dbVlasnik->end(false);
        type(e->dbVlasnik, "X");
        readForAWhile();
        // Still the same row, still pending, nothing written.
        EXPECT_EQ(table()->State(), vidra::DatasetState::Edit);
        EXPECT_EQ(e->dbTelefon->text(), "011/100");
        EXPECT_EQ(e->dbVlasnik->text(), "ANA ANIĆX");
        EXPECT_EQ(
            testsupport::selectColumn(file, "SELECT Vlasnik FROM Vlasnici ORDER BY rowid").first(),
            "ANA ANIĆ");
        e->btOdustani->click();
    });
    EXPECT_EQ(testsupport::selectColumn(file, "SELECT Vlasnik FROM Vlasnici ORDER BY rowid"),
              (QStringList{"ANA ANIĆ", "BRANKO BOJIĆ", "BRANISLAVA BOŽIĆ", "CVETA CVIJIĆ"}));
    EXPECT_TRUE(hook.boxes().empty());
    expectSearchApplied(1);
}

TEST_F(KeyboardSpeed, SavingInTheEditorWritesTheRowOnceAndThenSearches)
{
    type(form->edVlasnik, "CV");
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        e->dbMesto->setFocus();
        e->dbMesto->end(false);
        type(e->dbMesto, "X");
        readForAWhile();
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(testsupport::selectColumn(file, "SELECT Mesto FROM Vlasnici ORDER BY rowid"),
              (QStringList{"KOSTELINX", "KOSTELIN", "BROD", "BROD"}));
    EXPECT_TRUE(hook.boxes().empty());
    expectSearchApplied(1);
}

TEST_F(KeyboardSpeed, InsertRightAfterTypingOpensAnEmptyEditorAndSearchesAfterIt)
{
    type(form->edVlasnik, "BR");
    withEditor(form->AcDodaj, [&](TFAzuriranje* e) {
        readForAWhile();
        EXPECT_EQ(table()->State(), vidra::DatasetState::Insert);
        EXPECT_EQ(e->dbTelefon->text(), "");
        EXPECT_TRUE(hook.boxes().empty()); // no rule message over the empty editor
        e->btOdustani->click();
    });
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(numbers().size(), 4);
    expectSearchApplied(2);
    EXPECT_EQ(form->edVlasnik->text(), "BR");
}

TEST_F(KeyboardSpeed, TheNotePanelFollowsTheRowOnceTheEditorHasGone)
{
    // The search moves to a row with a note while the editor is open.
    type(form->edVlasnik, "BRANK");
    withEditor(form->AcIzmeni, [&](TFAzuriranje*) {
        readForAWhile();
        EXPECT_FALSE(form->dbNapomena->isVisible());
    });
    expectSearchApplied(1);
    EXPECT_SOON(form->dbNapomena->isVisible());
    EXPECT_FALSE(form->NotePending());
}

TEST_F(KeyboardSpeed, ASearchBoxsOwnMenuHoldsTheSearchBackUntilItCloses)
{
    type(form->edVlasnik, "CV");
    // The box's own pop-up menu, which says nothing when it closes.
    const QPoint at = form->edVlasnik->rect().center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, form->edVlasnik->mapToGlobal(at));
    QApplication::sendEvent(form->edVlasnik, &menuEvent);
    ASSERT_SOON(QApplication::activePopupWidget() != nullptr);
    readForAWhile();
    EXPECT_EQ(current(), "011/100");
    EXPECT_FALSE(table()->Filtered());
    QApplication::activePopupWidget()->close();
    expectSearchApplied(1);
    EXPECT_EQ(current(), "011/400");
}

TEST_F(KeyboardSpeed, TheNavigatorDoesNotMoveWhileAWindowIsOpen)
{
    auto* next = form->dbNavigator->findChild<QToolButton*>("nbNext");
    ASSERT_NE(next, nullptr);
    {
        const vidra::ui::ModalScope box;
        next->click();
        EXPECT_EQ(current(), "011/100");
    }
    next->click();
    EXPECT_EQ(current(), "011/200");
}

} // namespace
