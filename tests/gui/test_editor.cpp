// The subscriber editor and the record rules: adding, editing and deleting
// without ever losing what was typed or writing anything half-done.
#include "FrameFixture.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "platform/ui/BusyCursor.h"
#include "ui/dialogs/untAzuriranje.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <sqlite3.h>

namespace {

class Editor : public FrameFixture
{
protected:
    QString file;

    void SetUp() override
    {
        FrameFixture::SetUp();
        file = dir.path("data.mdb");
        testsupport::createDirectoryFile(
            file, {{"011/111", "MARKOVIĆ MILAN", "KNEZA MILOŠA 1", "KOSTELIN", QString()},
                   {"011/222", "", "CARA DUŠANA 2", QString(), "stara napomena"},
                   {"011/333", "PERIĆ ANA", "NJEGOŠEVA 3", "BROD", QString()}});
        createWith(file, 0);
        form->ShowInState();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    QStringList column(const char* name) const
    {
        return testsupport::selectColumn(
            file, QStringLiteral("SELECT %1 FROM Vlasnici ORDER BY rowid").arg(name));
    }
};

TEST_F(Editor, LooksAsDesignedAndStartsInTheNumberBox)
{
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        EXPECT_EQ(e->windowTitle(), "Ažuriranje imenika");
        EXPECT_EQ(e->size(), QSize(273, 245));
        EXPECT_EQ(e->lbLogo->text(), "Telefonski imenik Vidra");
        EXPECT_EQ(e->dbTelefon->geometry(), QRect(72, 45, 105, 22));
        EXPECT_EQ(e->dbNapomena->geometry(), QRect(72, 145, 193, 49));
        EXPECT_EQ(e->btSnimi->geometry(), QRect(8, 9, 75, 25));
        EXPECT_EQ(e->btOdustani->geometry(), QRect(191, 9, 75, 25));
        EXPECT_EQ(e->dbTelefon->typedLimit(), 16);
        EXPECT_EQ(e->dbVlasnik->typedLimit(), 50);
        EXPECT_EQ(e->dbAdresa->typedLimit(), 50);
        EXPECT_EQ(e->dbMesto->typedLimit(), 16);
        EXPECT_EQ(QApplication::focusWidget(), e->dbTelefon);
        EXPECT_EQ(e->dbVlasnik->text(), "MARKOVIĆ MILAN");
        QTest::keyClick(e->dbTelefon, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), e->dbVlasnik);
        e->dbMesto->setFocus();
        QTest::keyClick(e->dbMesto, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), e->dbNapomena);
        EXPECT_EQ(table()->State(), vidra::DatasetState::Browse); // nothing typed yet
    });
}

TEST_F(Editor, RequiredFieldsAreCheckedInOrderAndNothingIsWritten)
{
    withEditor(form->AcDodaj, [&](TFAzuriranje* e) {
        EXPECT_EQ(table()->State(), vidra::DatasetState::Insert);
        e->btSnimi->click();
        type(e->dbMesto, "brod");
        e->btSnimi->click();
        type(e->dbTelefon, "012/999");
        e->btSnimi->click();
        type(e->dbVlasnik, "novi");
        e->btSnimi->click();
        EXPECT_TRUE(e->isVisible());
        EXPECT_EQ(e->dbTelefon->text(), "012/999"); // every typed value intact
        EXPECT_EQ(e->dbMesto->text(), "BROD");
        EXPECT_EQ(QApplication::focusWidget(), e->dbTelefon);
        EXPECT_EQ(column("Telefon").size(), 3);
        EXPECT_FALSE(vidra::ui::isBusyCursorShown());
        type(e->dbAdresa, "trg 1");
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(errors(), (std::vector<QString>{"Broj telefona mora imati neku vrednost!",
                                              "Broj telefona mora imati neku vrednost!",
                                              "Unesi ime i prezime pretplatnika!",
                                              "Unesi adresu pretplatnika!"}));
    EXPECT_EQ(column("Telefon").last(), "012/999");
    EXPECT_EQ(column("Vlasnik").last(), "NOVI");
    EXPECT_EQ(column("Adresa").last(), "TRG 1");
    EXPECT_EQ(column("Mesto").last(), "BROD");
    EXPECT_TRUE(column("Napomena").last().isNull());
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3"); // the count is written by connect and search
    EXPECT_FALSE(vidra::ui::isBusyCursorShown());
}

TEST_F(Editor, DuplicateNumberIsRefusedUntilCorrected)
{
    withEditor(form->AcDodaj, [&](TFAzuriranje* e) {
        type(e->dbTelefon, "011/333");
        type(e->dbVlasnik, "drugi");
        type(e->dbAdresa, "adresa");
        e->dbVlasnik->setFocus();
        e->btSnimi->click();
        EXPECT_TRUE(e->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), e->dbTelefon);
        replaceText(e->dbTelefon, "011/334");
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(errors(), std::vector<QString>{"Broj telefona: 011/333 vec postoji!"});
    EXPECT_EQ(column("Telefon"), (QStringList{"011/111", "011/222", "011/333", "011/334"}));
}

TEST_F(Editor, EditsThatKeepTheNumberRunNoDuplicateCount)
{
    table()->SetRecNo(3);
    DMVidra->CheckBroj->Close();
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        replaceText(e->dbAdresa, "nova adresa 5");
        e->btSnimi->click();
    });
    EXPECT_FALSE(DMVidra->CheckBroj->Active());
    EXPECT_EQ(column("Adresa")[2], "NOVA ADRESA 5");
    EXPECT_EQ(column("Telefon")[2], "011/333");

    // Changing it to another row's number is refused; to a free one it saves.
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        replaceText(e->dbTelefon, "011/111");
        e->btSnimi->click();
        EXPECT_TRUE(e->isVisible());
        replaceText(e->dbTelefon, "011/999");
        e->btSnimi->click();
    });
    EXPECT_EQ(errors(), std::vector<QString>{"Broj telefona: 011/111 vec postoji!"});
    EXPECT_EQ(column("Telefon")[2], "011/999");
}

TEST_F(Editor, SnimiWithoutAChangeClosesWithoutSaving)
{
    const QByteArray before = testsupport::TempDir::read(file);
    DMVidra->CheckBroj->Close();
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_FALSE(DMVidra->CheckBroj->Active());
    EXPECT_EQ(testsupport::TempDir::read(file), before);
    EXPECT_TRUE(errors().empty());
}

TEST_F(Editor, CancellingAndEscapeDiscardButEscapeInTheNoteOnlyReloads)
{
    withEditor(form->AcDodaj, [&](TFAzuriranje* e) {
        type(e->dbTelefon, "099");
        e->btOdustani->click();
    });
    EXPECT_EQ(table()->RecordCount(), 3);
    EXPECT_EQ(column("Telefon").size(), 3);

    table()->SetRecNo(2);
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        type(e->dbNapomena, " i nova");
        QTest::keyClick(e->dbNapomena, Qt::Key_Escape);
        EXPECT_TRUE(e->isVisible());
        EXPECT_EQ(e->dbNapomena->toPlainText(), "stara napomena");
        replaceText(e->dbAdresa, "promenjena");
        QTest::keyClick(e->dbAdresa, Qt::Key_Escape);
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
    EXPECT_EQ(column("Adresa")[1], "CARA DUŠANA 2");
    EXPECT_EQ(table()->FieldByName("Adresa").AsString(), "CARA DUŠANA 2");

    // The window's close box cancels too.
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        replaceText(e->dbVlasnik, "x");
        e->close();
    });
    EXPECT_EQ(column("Vlasnik")[1], "");
}

TEST_F(Editor, NoteIsSavedAsTypedAndANewRowGetsItsNumberFromTheEditor)
{
    table()->SetRecNo(1);
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        type(e->dbNapomena, "Ne zvati");
        QTest::keyClick(e->dbNapomena, Qt::Key_Return);
        type(e->dbNapomena, "posle 22 h");
        e->btSnimi->click();
    });
    EXPECT_EQ(column("Napomena")[0], "Ne zvati\nposle 22 h");
    EXPECT_EQ(table()->FieldByName("Napomena").AsString(), "Ne zvati\nposle 22 h");
}

TEST_F(Editor, EngineFailureKeepsTheDialogAndEveryTypedValue)
{
    DMVidra->VidraConnect->setBusyTimeout(100);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
    withEditor(form->AcDodaj, [&](TFAzuriranje* e) {
        type(e->dbTelefon, "055");
        type(e->dbVlasnik, "zaključan");
        type(e->dbAdresa, "ulica");
        type(e->dbNapomena, "beleška");
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        e->btSnimi->click();
        EXPECT_TRUE(e->isVisible());
        EXPECT_EQ(e->dbVlasnik->text(), "ZAKLJUČAN");
        EXPECT_EQ(e->dbNapomena->toPlainText(), "beleška");
        EXPECT_FALSE(vidra::ui::isBusyCursorShown());
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    sqlite3_close(other);
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_TRUE(errors()[0].contains("locked")) << errors()[0].toStdString();
    EXPECT_EQ(column("Vlasnik").last(), "ZAKLJUČAN");
    EXPECT_EQ(column("Napomena").last(), "beleška");
    EXPECT_EQ(column("Telefon").size(), 4);
}

TEST_F(Editor, DeleteAsksInThreeLinesAndOnlyYesDeletes)
{
    table()->SetRecNo(2); // the row with no owner
    hook.queueAnswer(vidra::ui::Answer::No);
    form->AcBrisi->trigger();
    hook.queueAnswer(vidra::ui::Answer::Cancel); // the box closed
    form->AcBrisi->trigger();
    EXPECT_EQ(column("Telefon").size(), 3);
    ASSERT_EQ(hook.boxes().size(), 2u);
    EXPECT_EQ(hook.boxes()[0].kind, vidra::ui::BoxKind::Warning);
    EXPECT_EQ(hook.boxes()[0].text,
              "Brisanje podataka za:\r\nVlasnik: \"\"\r\nTel: 011/222. Da li ste sigurni?");
    hook.queueAnswer(vidra::ui::Answer::Yes);
    form->AcBrisi->trigger();
    EXPECT_EQ(column("Telefon"), (QStringList{"011/111", "011/333"}));
}

TEST_F(Editor, EditOnAnEmptyTableAddsARow)
{
    DMVidra->ConnectToDatabase(makeDb("empty.mdb", 0));
    withEditor(form->AcIzmeni,
               [&](TFAzuriranje*) { EXPECT_EQ(table()->State(), vidra::DatasetState::Insert); });
    EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
    EXPECT_TRUE(table()->IsEmpty());
}

} // namespace
