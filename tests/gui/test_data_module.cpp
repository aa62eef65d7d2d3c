#include "FrameFixture.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/ui/BusyCursor.h"

#include <QDir>

namespace {

class DataModule : public FrameFixture
{
protected:
    QString good;
    void SetUp() override
    {
        FrameFixture::SetUp();
        good = makeDb("good.mdb", 3);
        createWith(good, TFVidra::StateNormal);
        ASSERT_TRUE(hook.boxes().empty());
        ASSERT_EQ(panel0(), " Broj pretplatnika: 3");
    }

    // A failed connect: exactly one box, the new path kept, the panel unchanged.
    void expectFailure(const QString& path, bool connectionOpen)
    {
        const QString panelBefore = panel0();
        hook.clear();
        dm->ConnectToDatabase(path);
        EXPECT_EQ(hook.boxes().size(), 1u) << path.toStdString();
        EXPECT_EQ(connectErrors(), 1) << path.toStdString();
        EXPECT_EQ(dm->DbPath(), path);
        EXPECT_EQ(panel0(), panelBefore);
        EXPECT_FALSE(dm->Imenik->Active());
        EXPECT_EQ(dm->VidraConnect->isOpen(), connectionOpen) << path.toStdString();
        EXPECT_FALSE(vidra::ui::isBusyCursorShown());
    }
};

} // namespace

TEST_F(DataModule, ComponentsAsDeclared)
{
    EXPECT_EQ(dm->Imenik->ComponentName(), "Imenik");
    EXPECT_EQ(dm->Imenik->TableName(), "Vlasnici");
    EXPECT_EQ(dm->Imenik->GetConnection(), dm->VidraConnect);
    EXPECT_EQ(dm->dsImenik->DataSet(), dm->Imenik);
    ASSERT_EQ(dm->Imenik->FieldCount(), 5);
    EXPECT_EQ(dm->Imenik->Fields(0).FieldName(), "Telefon");
    EXPECT_EQ(dm->Imenik->Fields(4).FieldName(), "Napomena");
    EXPECT_EQ(dm->CheckBroj->SQL(),
              (QStringList{"SELECT COUNT(*) ", "FROM VLASNICI ", "WHERE TELEFON=NewTel"}));

    // The duplicate-number query runs against the open file.
    dm->CheckBroj->Close();
    dm->CheckBroj->SetParameter("NewTel", "10001");
    dm->CheckBroj->Open();
    EXPECT_EQ(dm->CheckBroj->FieldName(0), "Expr1000");
    EXPECT_EQ(dm->CheckBroj->AsInteger(0), 1);
}

TEST_F(DataModule, SuccessWritesTheCountIncludingZero)
{
    EXPECT_TRUE(dm->Imenik->Active());
    EXPECT_EQ(dm->DbPath(), good);
    const QString empty = makeDb("empty.mdb", 0);
    dm->ConnectToDatabase(empty);
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(panel0(), " Broj pretplatnika: 0");
    EXPECT_EQ(dm->DbPath(), empty);
    EXPECT_FALSE(vidra::ui::isBusyCursorShown());
}

TEST_F(DataModule, FailuresShowOneBoxKeepPathAndPanel)
{
    expectFailure(dir.path("nema.mdb"), false);
    expectFailure(dir.write("tekst.mdb", "Ovo nije baza podataka, samo tekst.\n"), false);
    const QString noTable = dir.path("bez-tabele.mdb");
    testsupport::execSql(noTable, "CREATE TABLE Nesto (a TEXT)");
    expectFailure(noTable, true);
    expectFailure(dir.path(""), false); // a folder
    expectFailure("", false);
}

TEST_F(DataModule, AnyExistingPathOpensSemicolonsAndQuotesIncluded)
{
    for (const QString folder : {"Imenik;2024", "a\"b=c;Data Source=x", " razmak "}) {
        ASSERT_TRUE(QDir(dir.path("")).mkpath(folder));
        const QString path = makeDb(folder + "/data.mdb", 5);
        const QString panelBefore = panel0();
        hook.clear();
        dm->ConnectToDatabase(path);
        EXPECT_TRUE(hook.boxes().empty()) << folder.toStdString();
        EXPECT_EQ(panel0(), " Broj pretplatnika: 5") << folder.toStdString();
        EXPECT_EQ(dm->VidraConnect->fileName(), path);
        dm->ConnectToDatabase(good);
        EXPECT_EQ(panel0(), " Broj pretplatnika: 3");
    }
}

TEST_F(DataModule, ConnectionTextCarriesThePathWhole)
{
    for (const QString path : {"data.mdb", "/x/Imenik;2024/data.mdb", "/x/\"q\"/a;b=c.mdb"}) {
        const QString text = TDMVidra::ConnectionTextFor(path);
        EXPECT_TRUE(text.startsWith("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
        EXPECT_TRUE(text.endsWith(";Persist Security Info=False"));
        const auto pairs = vidra::Connection::parseConnectionText(text);
        ASSERT_EQ(pairs.count("data source"), 1u);
        EXPECT_EQ(pairs.at("data source"), path);
    }
}

TEST_F(DataModule, ConnectingAgainRereadsAndRewritesTheCount)
{
    testsupport::execSql(good, "INSERT INTO Vlasnici VALUES ('999','NOVI','ULICA',NULL,NULL)");
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3"); // a snapshot until reconnected
    dm->ConnectToDatabase(good);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 4");
    EXPECT_TRUE(hook.boxes().empty());

    // After a failure the next good connect recovers.
    expectFailure(dir.path("nema.mdb"), false);
    dm->ConnectToDatabase(good);
    EXPECT_TRUE(dm->Imenik->Active());
    EXPECT_EQ(panel0(), " Broj pretplatnika: 4");
}
