// The directory file replaced under the running program (an outside import
// with --force): refreshing and saving say so plainly, and nothing typed is lost.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "platform/ui/AppError.h"
#include "ui/dialogs/untAzuriranje.h"

#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <cstdio>

namespace {

const QString kReplaced = "The directory file was replaced by another one since it was opened; "
                          "choose it again with \"Baza\" or restart the program";

class ReplacedFile : public FrameFixture
{
protected:
    QString file;

    void SetUp() override
    {
        FrameFixture::SetUp();
        file = makeDb("data.mdb", 3);
        createWith(file, 0);
        showActive();
        // The import writes its new file beside the old one and renames it over.
        const QString fresh = makeDb("data.mdb.novi", 1);
        ASSERT_EQ(
            std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(file).constData()),
            0);
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    QStringList fileNumbers() const
    {
        return testsupport::selectColumn(file, "SELECT Telefon FROM Vlasnici ORDER BY rowid");
    }
    static void type(QWidget* box, const QString& text)
    {
        box->setFocus();
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
        }
    }
};

TEST_F(ReplacedFile, RefreshSaysTheFileWasReplaced)
{
    QTest::keyClick(form->dbImenik, Qt::Key_F5);
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], kReplaced + ".");
    EXPECT_EQ(hook.boxes().back().caption, vidra::ui::applicationTitle());
    EXPECT_EQ(table()->RecordCount(), 3); // what was shown stays until reconnecting
}

TEST_F(ReplacedFile, SaveSaysSoKeepsTheEditorWithWhatWasTypedAndReconnectingHelps)
{
    bool ran = false;
    guitest::whenModalShown([&](QWidget* w) {
        auto* e = qobject_cast<TFAzuriranje*>(w);
        ASSERT_NE(e, nullptr);
        ran = true;
        e->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(e));
        type(e->dbTelefon, "055");
        type(e->dbVlasnik, "novi vlasnik");
        type(e->dbAdresa, "ulica 1");
        e->btSnimi->click();
        EXPECT_TRUE(e->isVisible());
        EXPECT_EQ(e->dbTelefon->text(), "055");
        EXPECT_EQ(e->dbVlasnik->text(), "NOVI VLASNIK");
        EXPECT_EQ(e->dbAdresa->text(), "ULICA 1");
        e->reject();
    });
    form->AcDodaj->trigger();
    ASSERT_TRUE(ran);
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], kReplaced);
    EXPECT_EQ(fileNumbers(), QStringList{"10000"});

    // Choosing the file again reaches the new one.
    reactivate();
    DMVidra->ConnectToDatabase(file);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 1");
    QTest::keyClick(form->dbImenik, Qt::Key_F5);
    EXPECT_EQ(errors().size(), 1u);
}

TEST_F(ReplacedFile, DeleteSaysSoWithoutAskingAboutTheRow)
{
    form->AcBrisi->trigger();
    ASSERT_EQ(hook.boxes().size(), 1u); // no question first
    EXPECT_EQ(errors().at(0), kReplaced + ".");
    EXPECT_EQ(fileNumbers(), QStringList{"10000"});
}

} // namespace
