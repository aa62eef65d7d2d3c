// The file a connection opens is the file its path names, and stays that
// file: a name that looks like a URI is still a name, and a file replaced
// under an open connection is reported, never silently read or written.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "support/ErrorOf.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace vidra;
using testsupport::Row;
using testsupport::TempDir;

[[maybe_unused]] static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kReplaced = "The directory file was replaced by another one since it was opened; "
                          "choose it again with \"Baza\" or restart the program";
const QString kRemoved = "The directory file was removed or renamed since it was opened; "
                         "choose it again with \"Baza\" or restart the program";

std::vector<Row> rows(int n, const QString& owner)
{
    std::vector<Row> out;
    for (int i = 0; i < n; ++i)
        out.push_back({QString::number(100 + i), owner, "ADRESA", QString(), QString()});
    return out;
}

// Runs a test with the working folder set to the scratch folder.
class InFolder
{
public:
    explicit InFolder(const QString& folder) : m_old(QDir::currentPath())
    {
        QDir::setCurrent(folder);
    }
    ~InFolder() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

class OpenedFile : public ::testing::Test
{
protected:
    TempDir dir;
    Connection conn;
    Table table{QStringLiteral("Imenik")};

    void openTable(const QString& path)
    {
        table.Close();
        conn.close();
        conn.setConnectionText("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                               Connection::quoteValue(path));
        conn.open();
        table.SetConnection(&conn);
        table.SetTableName(QStringLiteral("Vlasnici"));
        if (table.FieldCount() == 0)
            table.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
        table.Open();
    }
    QString owner() { return table.FieldByName("Vlasnik").AsString(); }
    static QStringList owners(const QString& file)
    {
        return testsupport::selectColumn(file, "SELECT Vlasnik FROM Vlasnici ORDER BY rowid");
    }
    // What an outside tool does to replace a file: write a new one beside it
    // and rename it over the old one.
    void replaceWith(const QString& file, int n, const QString& owner)
    {
        const QString temp = file + ".novi";
        testsupport::createDirectoryFile(temp, rows(n, owner));
        ASSERT_EQ(
            std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(file).constData()),
            0);
    }
};

TEST_F(OpenedFile, ANameThatLooksLikeAUriOpensTheFileOfThatName)
{
    testsupport::createDirectoryFile(dir.path("file:other.db"), rows(3, "IMENOVANA"));
    testsupport::createDirectoryFile(dir.path("other.db"), rows(1, "DRUGA"));
    InFolder cwd(dir.path(""));
    for (const char* name : {"file:other.db", "./file:other.db"}) {
        SCOPED_TRACE(name);
        openTable(name);
        EXPECT_EQ(table.RecordCount(), 3);
        EXPECT_EQ(owner(), "IMENOVANA");
    }
    // A save goes to that file too.
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("PROMENJENA");
    table.Post();
    EXPECT_EQ(owners(dir.path("file:other.db")).first(), "PROMENJENA");
    EXPECT_EQ(owners(dir.path("other.db")), QStringList{"DRUGA"});
}

TEST_F(OpenedFile, UriSyntaxInAnyPartOfAPathIsJustCharacters)
{
    // A query, a fragment and escapes that a URI would act on; a read-only
    // or in-memory request must not take effect.
    const QString name = dir.path("baza?mode=ro&vfs=x&cache=shared#deo %41%2F.mdb");
    testsupport::createDirectoryFile(name, rows(2, "PRAVA"));
    testsupport::createDirectoryFile(dir.path("baza"), rows(1, "POGRESNA"));
    openTable(name);
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_FALSE(conn.isReadOnly());
    table.Insert();
    table.FieldByName("Telefon").SetValue("999");
    table.FieldByName("Vlasnik").SetValue("NOVI");
    table.FieldByName("Adresa").SetValue("A");
    table.Post();
    EXPECT_EQ(owners(name), (QStringList{"PRAVA", "PRAVA", "NOVI"}));

    // The same with a relative name that starts like a URI and has a query.
    testsupport::createDirectoryFile(dir.path("file:x.db?mode=memory"), rows(4, "RELATIVNA"));
    InFolder cwd(dir.path(""));
    openTable("file:x.db?mode=memory");
    EXPECT_EQ(table.RecordCount(), 4);
}

TEST_F(OpenedFile, AFileReplacedUnderTheConnectionIsReportedAndNothingIsWrittenToEither)
{
    const QString file = dir.path("data.mdb");
    testsupport::createDirectoryFile(file, rows(3, "STARA"));
    openTable(file);
    replaceWith(file, 1, "UVEZENA");

    EXPECT_EQ(testsupport::errorOf([&] { table.Requery(); }), kReplaced);

    // A save fails plainly and keeps the pending row, as typed.
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("IZMENJENA");
    EXPECT_EQ(testsupport::errorOf([&] { table.Post(); }), kReplaced);
    EXPECT_EQ(table.State(), DatasetState::Edit);
    EXPECT_EQ(owner(), "IZMENJENA");
    table.Cancel();

    table.Insert();
    table.FieldByName("Telefon").SetValue("555");
    table.FieldByName("Vlasnik").SetValue("NOVI");
    table.FieldByName("Adresa").SetValue("A");
    EXPECT_EQ(testsupport::errorOf([&] { table.Post(); }), kReplaced);
    EXPECT_EQ(table.State(), DatasetState::Insert);
    EXPECT_EQ(owner(), "NOVI");
    table.Cancel();

    bool asked = false;
    table.BeforeDelete = [&](Table&) { asked = true; };
    EXPECT_EQ(testsupport::errorOf([&] { table.Delete(); }), kReplaced);
    EXPECT_FALSE(asked); // not asked about a row it could not delete
    EXPECT_EQ(table.RecordCount(), 3);

    EXPECT_EQ(owners(file), QStringList{"UVEZENA"});

    // Opening the path again reaches the new file, and all works as before.
    openTable(file);
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_EQ(owner(), "UVEZENA");
    table.Requery();
    table.Delete();
    EXPECT_EQ(owners(file), QStringList{});
}

TEST_F(OpenedFile, AFileRemovedOrRenamedIsReportedAsSuch)
{
    const QString file = dir.path("data.mdb");
    testsupport::createDirectoryFile(file, rows(2, "STARA"));
    openTable(file);
    ASSERT_TRUE(QFile::rename(file, dir.path("preimenovana.mdb")));
    EXPECT_EQ(testsupport::errorOf([&] { table.Requery(); }), kRemoved);
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("X");
    EXPECT_EQ(testsupport::errorOf([&] { table.Post(); }), kRemoved);
    table.Cancel();
    EXPECT_EQ(owners(dir.path("preimenovana.mdb")), (QStringList{"STARA", "STARA"}));
}

TEST_F(OpenedFile, WritesInPlaceByOthersAndARelativeNameAfterAFolderChangeAreNoReplacement)
{
    const QString file = dir.path("data.mdb");
    testsupport::createDirectoryFile(file, rows(2, "STARA"));
    {
        InFolder cwd(dir.path(""));
        openTable("data.mdb");
    }
    // The connection stays with the file it opened, wherever the working folder is now.
    testsupport::execSql(file, "INSERT INTO Vlasnici VALUES ('7','DRUGI','A',NULL,NULL)");
    table.Requery();
    EXPECT_EQ(table.RecordCount(), 3);
    table.Last();
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("TRECI");
    table.Post();
    EXPECT_EQ(owners(file), (QStringList{"STARA", "STARA", "TRECI"}));
}

} // namespace
