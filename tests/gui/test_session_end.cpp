// The desktop session and the program: a request to save (a checkpoint, or a
// logout that may yet be cancelled) writes the settings and leaves the work
// alone; only the real end of the session closes the window.
#include "FrameFixture.h"
#include "app/Startup.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "ui/dialogs/untAzuriranje.h"

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace {

class SessionEnd : public FrameFixture
{
protected:
    QString db;

    void SetUp() override
    {
        FrameFixture::SetUp();
        db = makeDb("imenik.mdb", 3);
        createWith(db, TFVidra::StateNormal);
        showActive();
        // What is read at start is gone: whatever is found later was written.
        ASSERT_TRUE(QFile::remove(iniPath()));
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    // Opens the editor for a new subscriber, types a number into it and
    // hands the open editor to act().
    void withPendingRow(std::function<void(TFAzuriranje*)> act)
    {
        bool ran = false;
        guitest::whenModalShown([&](QWidget* w) {
            auto* editor = qobject_cast<TFAzuriranje*>(w);
            ASSERT_NE(editor, nullptr);
            ran = true;
            editor->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(editor));
            editor->dbTelefon->setFocus();
            for (QChar c : QStringLiteral("099/123")) {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
                QApplication::sendEvent(editor->dbTelefon, &press);
            }
            ASSERT_EQ(table()->State(), vidra::DatasetState::Insert);
            act(editor);
            if (editor->isVisible()) editor->reject();
        });
        form->AcDodaj->trigger();
        EXPECT_TRUE(ran);
    }
};

TEST_F(SessionEnd, ACommitRequestWritesTheSettingsAndLeavesTheEditorOpen)
{
    form->showMaximized();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->WindowState() == int(TFVidra::StateMaximized); }, 5000));
    withPendingRow([&](TFAzuriranje* editor) {
        vidra::app::commitSessionData(form.get());
        // Checkpoints and logouts that are cancelled later look the same.
        vidra::app::commitSessionData(form.get());
        QApplication::processEvents();
        EXPECT_TRUE(editor->isVisible());
        EXPECT_EQ(FAzuriranje, editor);
        EXPECT_EQ(table()->State(), vidra::DatasetState::Insert);
        EXPECT_EQ(editor->dbTelefon->text(), "099/123");
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(iniValue("BAZA", "DBPATH"), db);
        EXPECT_EQ(iniValue("APP", "window"), "2");
        // The operator goes on and saves the row.
        editor->dbVlasnik->setFocus();
        for (QChar c : QStringLiteral("NOVI")) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(editor->dbVlasnik, &press);
        }
        editor->dbAdresa->setFocus();
        for (QChar c : QStringLiteral("ADRESA")) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(editor->dbAdresa, &press);
        }
        editor->btSnimi->click();
    });
    EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
    EXPECT_EQ(table()->RecordCount(), 4);
    EXPECT_TRUE(form->isVisible());

    // The close at the end writes them again, with what holds then.
    reactivate();
    form->showNormal();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->WindowState() == int(TFVidra::StateNormal); }, 5000));
    form->close();
    EXPECT_EQ(iniValue("APP", "window"), "0");
}

TEST_F(SessionEnd, TheRealEndClosesTheEditorFirstThenTheWindowAndSaves)
{
    // What the application is told when the session manager ends the session.
    vidra::app::SessionQuit quit([this] { return vidra::app::endSession(form.get()); });
    qApp->installEventFilter(&quit);
    withPendingRow([&](TFAzuriranje* editor) {
        QEvent request(QEvent::Quit);
        QApplication::sendEvent(qApp, &request);
        EXPECT_FALSE(editor->isVisible());
        // The window waits until the editor's caller has finished.
        EXPECT_TRUE(form->isVisible());
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 5000));
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), db);
    EXPECT_EQ(iniValue("APP", "window"), "0");
    // Closed as the operator's Odustani would: the unsaved row is dropped,
    // nothing half-done is written.
    EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
    EXPECT_EQ(table()->RecordCount(), 3);
    // Once the window is closed the quit goes its usual way.
    EXPECT_FALSE(vidra::app::endSession(form.get()));
}

} // namespace
