// The search panel finds a subscriber however the operator types: in
// Cyrillic, without marks, a number as digits only. The filter text stays as
// typed; the count in the status bar follows what is found.
#include "FrameFixture.h"
#include "platform/db/Table.h"

#include <QLineEdit>
#include <QTest>

namespace {

class SearchSerbian : public FrameFixture
{
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        const QString p = dir.path("data.mdb");
        testsupport::createDirectoryFile(
            p, {{"030/257-070", "PETROVIĆ MILAN", "KNEZA MILOŠA 1", "ČAČAK", QString()},
                {"011/222-333", "PETROVIĆ ANA", "TRG 2", "KOSTELIN", QString()},
                {"011/444-555", "PETKOVIĆ JOVAN", "TRG 3", "KOSTELIN", QString()},
                {"030/111-222", "ПЕТРОВИЋ ЈОВАН", "ТРГ 4", "ЧАЧАК", QString()},
                {"014/777-888", "PETROVIC NADA", "TRG 5", "BROD", QString()},
                {"030/257-071", "ĐORĐEVIĆ ZORAN", "TRG 6", "CACAK", QString()}});
        createWith(p, 0);
        form->ShowInState();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        form->AcFiltar->trigger();
    }
    // Key by key, each character as the text of a Qt Test key event, as a
    // keyboard in another layout sends it.
    static void typeKeys(QLineEdit* box, const QString& text)
    {
        box->setFocus();
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    void search(QLineEdit* box, const QString& text)
    {
        form->ClearSearchFields();
        typeKeys(box, text);
        EXPECT_TRUE(form->Timer->isActive());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Timer->isActive(); }, 10000));
    }
    QStringList owners() const
    {
        QStringList out;
        for (int i = 0; i < DMVidra->Imenik->RecordCount(); ++i)
            out << DMVidra->Imenik->DisplayText(i, 1);
        return out;
    }
};

TEST_F(SearchSerbian, CyrillicTypedFindsLatinAndCyrillicOwners)
{
    search(form->edVlasnik, QStringLiteral("петр"));
    EXPECT_EQ(form->edVlasnik->text(), "ПЕТР"); // upper case as typed, in its own script
    EXPECT_EQ(DMVidra->Imenik->Filter(), "(Vlasnik LIKE 'ПЕТР*')");
    EXPECT_EQ(owners(),
              (QStringList{"PETROVIĆ MILAN", "PETROVIĆ ANA", "ПЕТРОВИЋ ЈОВАН", "PETROVIC NADA"}));
    EXPECT_EQ(panel0(), " Broj pretplatnika: 4");

    search(form->edVlasnik, QStringLiteral("ПЕТРОВИЋ"));
    EXPECT_EQ(owners(), (QStringList{"PETROVIĆ MILAN", "PETROVIĆ ANA", "ПЕТРОВИЋ ЈОВАН"}));
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");
}

TEST_F(SearchSerbian, ALetterWithoutItsMarkFindsBothAndOneWithItOnlyItself)
{
    search(form->edVlasnik, QStringLiteral("petrovic"));
    EXPECT_EQ(owners(),
              (QStringList{"PETROVIĆ MILAN", "PETROVIĆ ANA", "ПЕТРОВИЋ ЈОВАН", "PETROVIC NADA"}));
    EXPECT_EQ(panel0(), " Broj pretplatnika: 4");
    search(form->edVlasnik, QStringLiteral("petrović"));
    EXPECT_EQ(owners(), (QStringList{"PETROVIĆ MILAN", "PETROVIĆ ANA", "ПЕТРОВИЋ ЈОВАН"}));
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");
    search(form->edVlasnik, QStringLiteral("djordjevic"));
    EXPECT_EQ(owners(), QStringList{"ĐORĐEVIĆ ZORAN"});

    // Two boxes at once: the place without marks, the owner in Cyrillic.
    form->ClearSearchFields();
    typeKeys(form->edMesto, QStringLiteral("cacak"));
    typeKeys(form->edVlasnik, QStringLiteral("п"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Timer->isActive(); }, 10000));
    EXPECT_EQ(DMVidra->Imenik->Filter(), "(Vlasnik LIKE 'П*') AND (Mesto LIKE 'CACAK*')");
    EXPECT_EQ(owners(), (QStringList{"PETROVIĆ MILAN", "ПЕТРОВИЋ ЈОВАН"}));
    EXPECT_EQ(panel0(), " Broj pretplatnika: 2");
}

TEST_F(SearchSerbian, DigitsOnlyFindANumberWrittenWithSeparators)
{
    search(form->edTelefon, QStringLiteral("030257"));
    EXPECT_EQ(DMVidra->Imenik->Filter(), "(Telefon LIKE '030257*')");
    EXPECT_EQ(owners(), (QStringList{"PETROVIĆ MILAN", "ĐORĐEVIĆ ZORAN"}));
    EXPECT_EQ(panel0(), " Broj pretplatnika: 2");
    search(form->edTelefon, QStringLiteral("030257070"));
    EXPECT_EQ(owners(), QStringList{"PETROVIĆ MILAN"});
    EXPECT_EQ(DMVidra->Imenik->FieldByName("Telefon").AsString(), "030/257-070");
    EXPECT_EQ(panel0(), " Broj pretplatnika: 1");

    // Typed with a separator, the number compares as typed.
    search(form->edTelefon, QStringLiteral("030/2"));
    EXPECT_EQ(owners(), (QStringList{"PETROVIĆ MILAN", "ĐORĐEVIĆ ZORAN"}));
    search(form->edTelefon, QStringLiteral("0302-"));
    EXPECT_EQ(owners(), QStringList{});
    EXPECT_EQ(panel0(), " Broj pretplatnika: 0");
}

} // namespace
