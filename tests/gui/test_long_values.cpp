// Values far longer than anyone types (a note of megabytes on one line, an
// owner's name of a megabyte) are shown at once, in part where they cannot
// be shown whole, and are never cut in the file.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "ui/dialogs/untAzuriranje.h"

#include <QAction>
#include <QCryptographicHash>
#include <QPushButton>
#include <QTest>

namespace {

class LongValues : public FrameFixture
{
protected:
    QString file;
    QString note;
    QString owner;

    void SetUp() override
    {
        FrameFixture::SetUp();
        // One line, no blanks: the hardest case for line breaking.
        note.reserve(10'000'000);
        for (int i = 0; i < 10'000'000; ++i)
            note += QChar(u'a' + i % 26);
        owner = QString(1'000'000, u'M');
        file = dir.path("data.mdb");
        testsupport::createDirectoryFile(file, {{"011/100", owner, "PRVA 1", "BROD", note},
                                                {"011/200", "ANA", "DRUGA 2", "BROD", QString()}});
        createWith(file, 0);
        showActive();
        form->dbImenik->setFocus();
    }
    QByteArray noteInFile() const
    {
        const QStringList notes = testsupport::selectColumn(
            file, "SELECT Napomena FROM Vlasnici WHERE Telefon = '011/100'");
        return notes.isEmpty()
                   ? QByteArray()
                   : QCryptographicHash::hash(notes.first().toUtf8(), QCryptographicHash::Sha256);
    }
};

TEST_F(LongValues, TheNotePanelShowsTheBeginningOfAHugeNoteAndSaysSo)
{
    form->TimerNapomenaTimer();
    ASSERT_TRUE(form->dbNapomena->isVisible());
    const QString shown = form->dbNapomena->toPlainText();
    EXPECT_LE(shown.size(), vidra::DbMemo::kShownLimit + 100);
    EXPECT_TRUE(shown.startsWith(note.left(vidra::DbMemo::kShownLimit)));
    EXPECT_TRUE(form->dbNapomena->ShowsPart());
    EXPECT_FALSE(form->dbNapomena->toolTip().isEmpty());
    form->dbNapomena->repaint();
    form->dbImenik->repaint();
    form->dbVlasnik->repaint();

    // Another row, a short note: shown whole again.
    QTest::keyClick(form->dbImenik, Qt::Key_Down);
    EXPECT_FALSE(form->dbNapomena->ShowsPart());
    EXPECT_EQ(form->dbNapomena->toPlainText(), "");
}

TEST_F(LongValues, TheEditorKeepsAHugeNoteWholeWhileOtherBoxesAreSaved)
{
    const QByteArray before = noteInFile();
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        EXPECT_TRUE(e->dbNapomena->ShowsPart());
        // The part shown cannot be typed into: saving it would cut the note.
        e->dbNapomena->setFocus();
        QTest::keyClick(e->dbNapomena, Qt::Key_X);
        QTest::keyClick(e->dbNapomena, Qt::Key_Backspace);
        EXPECT_EQ(DMVidra->Imenik->State(), vidra::DatasetState::Browse);
        e->dbMesto->setFocus();
        e->dbMesto->end(false);
        type(e->dbMesto, "X");
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(testsupport::selectColumn(file, "SELECT Mesto FROM Vlasnici ORDER BY rowid"),
              (QStringList{"BRODX", "BROD"}));
    EXPECT_EQ(noteInFile(), before);
    EXPECT_EQ(testsupport::selectColumn(file, "SELECT length(Vlasnik) FROM Vlasnici ORDER BY rowid")
                  .first(),
              "1000000");
}

TEST_F(LongValues, TheDeleteQuestionNamesTheSubscriberInALineOfReadableLength)
{
    hook.queueAnswer(vidra::ui::Answer::No);
    QTest::keyClick(form->dbImenik, Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(hook.boxes().size(), 1u);
    const QString q = hook.boxes()[0].text;
    EXPECT_LT(q.size(), 1000);
    EXPECT_TRUE(q.startsWith("Brisanje podataka za:\r\nVlasnik: \"MMMM"));
    EXPECT_TRUE(q.endsWith("\"\r\nTel: 011/100. Da li ste sigurni?"));
    EXPECT_EQ(DMVidra->Imenik->RecordCount(), 2);
}

} // namespace
