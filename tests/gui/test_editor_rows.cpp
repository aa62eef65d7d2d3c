// The editor works on the row the operator chose and keeps every stored
// value whole; the boxes begin an edit at the first editing key and take
// typed text composed, upper-cased letter for letter.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "platform/telephony/Telephony.h"
#include "platform/ui/UpperCase.h"
#include "ui/dialogs/untAzuriranje.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <sqlite3.h>

namespace {

class EditorRows : public FrameFixture
{
protected:
    QString file;

    void open(const std::vector<testsupport::Row>& rows)
    {
        file = dir.path("data.mdb");
        testsupport::createDirectoryFile(file, rows);
        createWith(file, 0);
        showActive();
        form->dbImenik->setFocus();
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    QStringList column(const char* name) const
    {
        return testsupport::selectColumn(
            file, QStringLiteral("SELECT %1 FROM Vlasnici ORDER BY rowid").arg(name));
    }
};

TEST_F(EditorRows, F2EditsTheChosenRowWhereNumbersDifferOnlyInCaseOrRepeat)
{
    open({{"ab12", "MALA SLOVA", "A 1", QString(), QString()},
          {"AB12", "VELIKA SLOVA", "A 2", QString(), QString()},
          {"011/555", "PRVI", "A 3", QString(), QString()},
          {"011/555", "DRUGI", "A 4", QString(), QString()}});

    // "AB12" is the second row; the display shows both in upper case.
    QTest::keyClick(form->dbImenik, Qt::Key_Down);
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        EXPECT_EQ(e->dbVlasnik->text(), "VELIKA SLOVA");
        type(e->dbMesto, "x");
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(column("Mesto"), (QStringList{QString(), "X", QString(), QString()}));

    // The second of two rows with one number.
    QTest::keyClick(form->dbImenik, Qt::Key_End);
    form->dbImenik->setFocus();
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        EXPECT_EQ(e->dbVlasnik->text(), "DRUGI");
        type(e->dbMesto, "y");
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(column("Mesto"), (QStringList{QString(), "X", QString(), "Y"}));
    EXPECT_TRUE(errors().empty());
}

TEST_F(EditorRows, ValuesLongerThanTheirFieldsAreShownDialledAndKeptWhole)
{
    const QString number = "0038111/2223334-445"; // 19 characters, the field holds 16
    const QString owner = QString(60, u'M');
    open({{number, owner, "ADRESA", "MESTO", QString()}});
    EXPECT_EQ(form->dbTelefon->text(), number);
    EXPECT_EQ(form->dbVlasnik->text(), owner);

    std::vector<QString> dialled;
    vidra::telephony::setRequestHook(
        [&](const QString& d, const QString&, const QString&, const QString&) {
            dialled.push_back(d);
            return true;
        });
    QTest::keyClick(form->dbImenik, Qt::Key_F4);
    vidra::telephony::setRequestHook({});
    EXPECT_EQ(dialled, std::vector<QString>{number});

    // Another box of the record is edited: the long values go back untouched.
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        EXPECT_EQ(e->dbTelefon->text(), number);
        EXPECT_EQ(e->dbVlasnik->text(), owner);
        e->dbMesto->setFocus();
        e->dbMesto->end(false);
        type(e->dbMesto, "2");
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(column("Telefon"), QStringList{number});
    EXPECT_EQ(column("Vlasnik"), QStringList{owner});
    EXPECT_EQ(column("Mesto"), QStringList{"MESTO2"});
    EXPECT_TRUE(errors().empty());

    // Typing cannot lengthen it; a changed value that is still too long is refused.
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        e->dbTelefon->setFocus();
        e->dbTelefon->end(false);
        type(e->dbTelefon, "9");
        EXPECT_EQ(e->dbTelefon->text(), number);
        QTest::keyClick(e->dbTelefon, Qt::Key_Backspace);
        EXPECT_EQ(e->dbTelefon->text(), number.chopped(1));
        e->btSnimi->click();
        EXPECT_TRUE(e->isVisible());
        EXPECT_EQ(e->dbTelefon->text(), number.chopped(1));
        e->btOdustani->click();
    });
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_TRUE(errors()[0].contains("Telefon")) << errors()[0].toStdString();
    EXPECT_EQ(column("Telefon"), QStringList{number});
}

TEST_F(EditorRows, TheFirstEditingKeyBeginsTheEditEvenWhenNothingChanges)
{
    open({{"011/100", "ANA", "PRVA 1", "KOSTELIN ZAPADNI", QString()}});
    const auto startsEdit = [&](const std::function<void(TFAzuriranje*)>& key) {
        bool edited = false;
        withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
            ASSERT_EQ(table()->State(), vidra::DatasetState::Browse);
            key(e);
            edited = table()->State() == vidra::DatasetState::Edit;
        });
        return edited;
    };
    EXPECT_TRUE(startsEdit([](TFAzuriranje* e) {
        e->dbVlasnik->setFocus();
        e->dbVlasnik->home(false);
        QTest::keyClick(e->dbVlasnik, Qt::Key_Backspace);
    }));
    EXPECT_TRUE(startsEdit([](TFAzuriranje* e) {
        e->dbVlasnik->setFocus();
        e->dbVlasnik->end(false);
        QTest::keyClick(e->dbVlasnik, Qt::Key_Delete);
    }));
    EXPECT_TRUE(startsEdit([](TFAzuriranje* e) {
        e->dbVlasnik->setFocus();
        e->dbVlasnik->deselect();
        QTest::keyClick(e->dbVlasnik, Qt::Key_X, Qt::ControlModifier);
    }));
    EXPECT_TRUE(startsEdit([](TFAzuriranje* e) {
        e->dbMesto->setFocus(); // a full box
        e->dbMesto->end(false);
        type(e->dbMesto, "C");
        EXPECT_EQ(e->dbMesto->text(), "KOSTELIN ZAPADNI");
    }));
    EXPECT_TRUE(startsEdit([](TFAzuriranje* e) {
        e->dbNapomena->setFocus();
        QTest::keyClick(e->dbNapomena, Qt::Key_Backspace);
    }));
    // Moving the cursor or selecting is no edit.
    EXPECT_FALSE(startsEdit([](TFAzuriranje* e) {
        e->dbVlasnik->setFocus();
        QTest::keyClick(e->dbVlasnik, Qt::Key_Left);
        QTest::keyClick(e->dbVlasnik, Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(e->dbVlasnik, Qt::Key_C, Qt::ControlModifier);
    }));
    EXPECT_EQ(column("Vlasnik"), QStringList{"ANA"});
}

TEST_F(EditorRows, TabInTheNoteBoxMovesOnToSnimiAndAddsNoNote)
{
    open({{"011/100", "ANA", "PRVA 1", "BROD", QString()}});
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        e->dbNapomena->setFocus();
        QTest::keyClick(e->dbNapomena, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), e->btSnimi);
        EXPECT_EQ(e->dbNapomena->toPlainText(), "");
        EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_TRUE(column("Napomena").first().isNull());
}

TEST_F(EditorRows, TypedTextIsComposedAndUpperCasedLetterForLetter)
{
    open({{"011/100", "ŠABAC PROMET", "PRVA 1", "BROD", QString()},
          {"011/200", "SAVA", "DRUGA 2", "BROD", QString()}});

    // A decomposed "š" typed into a search box finds the composed "Š".
    form->AcFiltar->trigger();
    type(form->edVlasnik, QStringLiteral("s\u030C"));
    EXPECT_EQ(form->edVlasnik->text(), QStringLiteral("Š"));
    form->TimerTimer();
    EXPECT_EQ(table()->RecordCount(), 1);
    EXPECT_EQ(form->dbVlasnik->text(), "ŠABAC PROMET");
    form->AcFiltar->trigger();
    form->TimerTimer();

    // "ß" stays one letter, so a full box stays full and nothing is cut.
    EXPECT_EQ(vidra::ui::toUpperKeepingLength(QStringLiteral("straße ǆ")), "STRAßE Ǆ");
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        e->dbMesto->setFocus();
        e->dbMesto->selectAll();
        type(e->dbMesto, QStringLiteral("gießen"));
        EXPECT_EQ(e->dbMesto->text(), QStringLiteral("GIEßEN"));
        type(e->dbNapomena, QStringLiteral("c\u0301"));
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(column("Mesto").first(), QStringLiteral("GIEßEN"));
    EXPECT_EQ(column("Napomena").first(), QStringLiteral("ć"));
}

TEST_F(EditorRows, RefreshShowsANoteAnotherOperatorAddedToTheCurrentRow)
{
    open({{"011/100", "ANA", "PRVA 1", "BROD", QString()}});
    form->TimerNapomenaTimer();
    ASSERT_FALSE(form->dbNapomena->isVisible());
    testsupport::execSql(file, "UPDATE Vlasnici SET Napomena = 'zvati ujutru'");
    QTest::keyClick(form->dbImenik, Qt::Key_F5);
    EXPECT_SOON(form->dbNapomena->isVisible());
    EXPECT_EQ(form->dbNapomena->toPlainText(), "zvati ujutru");
}

} // namespace

namespace {

// Files prepared elsewhere whose table carries rules of its own.
class TableRules : public EditorRows
{
protected:
    void openSql(const QString& sql)
    {
        file = dir.path("data.mdb");
        testsupport::execSql(file, sql);
        createWith(file, 0);
        showActive();
        form->dbImenik->setFocus();
    }
};

TEST_F(TableRules, ACheckConstraintRefusesTheSaveWithItsOwnWordsAndKeepsTheEditor)
{
    openSql("CREATE TABLE Vlasnici (Telefon VARCHAR(16), Vlasnik VARCHAR(50), Adresa "
            "VARCHAR(50), Mesto VARCHAR(16), Napomena TEXT, CHECK (length(Telefon) >= 5));"
            "INSERT INTO Vlasnici VALUES ('011/100', 'ANA', 'PRVA 1', NULL, NULL);");
    ASSERT_TRUE(form->AcDodaj->isEnabled());
    withEditor(form->AcDodaj, [&](TFAzuriranje* e) {
        type(e->dbTelefon, "12");
        type(e->dbVlasnik, "novi");
        type(e->dbAdresa, "trg");
        e->btSnimi->click();
        ASSERT_TRUE(e->isVisible());
        EXPECT_EQ(e->dbTelefon->text(), "12");
        EXPECT_EQ(e->dbVlasnik->text(), "NOVI");
        e->dbTelefon->end(false);
        type(e->dbTelefon, "345");
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_TRUE(errors()[0].contains("CHECK constraint failed")) << errors()[0].toStdString();
    EXPECT_EQ(column("Telefon"), (QStringList{"011/100", "12345"}));
}

TEST_F(TableRules, ATableItsOwnCodeKeepsFromChangesSaysWhyWhenTheOperatorTries)
{
    if (!sqlite3_compileoption_used("ENABLE_FTS3")) GTEST_SKIP() << "no FTS3 in this SQLite";
    openSql("CREATE TABLE Vlasnici (Telefon VARCHAR(16), Vlasnik VARCHAR(50), Adresa "
            "VARCHAR(50), Mesto VARCHAR(16), Napomena TEXT, CHECK "
            "(fts3_tokenizer('simple') IS NOT NULL));"
            "INSERT INTO Vlasnici VALUES ('011/100', 'ANA', 'PRVA 1', NULL, NULL);");
    ASSERT_EQ(table()->RecordCount(), 1);
    const QByteArray before = testsupport::TempDir::read(file);
    hook.queueAnswer(vidra::ui::Answer::Ok);
    hook.queueAnswer(vidra::ui::Answer::Ok);
    hook.queueAnswer(vidra::ui::Answer::Ok);
    QTest::keyClick(form->dbImenik, Qt::Key_Insert);
    QTest::keyClick(form->dbImenik, Qt::Key_F2);
    QTest::keyClick(form->dbImenik, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(FAzuriranje, nullptr);
    ASSERT_EQ(hook.boxes().size(), 3u);
    for (const auto& b : hook.boxes()) {
        EXPECT_EQ(b.kind, vidra::ui::BoxKind::Error);
        EXPECT_TRUE(b.text.contains("cannot be changed") && b.text.contains("fts3_tokenizer"))
            << b.text.toStdString();
    }
    EXPECT_EQ(testsupport::TempDir::read(file), before);
    EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
}

} // namespace
