// The engine acts on exactly the row and the values the operator means:
// searches match the stored value as it is, a save refuses only what this
// edit changed, a delete removes only the row its question named, and the
// duplicate rule and the write it guards share one transaction.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "support/ErrorOf.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace vidra;
using testsupport::errorOf;
using testsupport::Row;
using testsupport::TempDir;

[[maybe_unused]] static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class Exactness : public ::testing::Test
{
protected:
    TempDir dir;
    QString file = dir.path("data.mdb");
    Connection conn;
    Table table{QStringLiteral("Imenik")};

    void open(const std::vector<Row>& rows)
    {
        testsupport::createDirectoryFile(file, rows);
        conn.setConnectionText(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               Connection::quoteValue(file));
        conn.open();
        table.SetConnection(&conn);
        table.SetTableName(QString::fromLatin1(kSubscriberTable));
        table.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
        table.Open();
    }
    QString current(const char* field) { return table.FieldByName(field).AsString(); }
    QStringList fileColumn(const char* column) const
    {
        return testsupport::selectColumn(
            file, QStringLiteral("SELECT %1 FROM Vlasnici ORDER BY rowid").arg(column));
    }
};

// ------------------------------------------------------------- locate

TEST_F(Exactness, LocateMatchesTheWholeStoredValueWithoutFoldingCase)
{
    // Stored by other means in both cases; the upper-case display hides which is which.
    open({{"ab12", "MALIM SLOVIMA", "ULICA 1", QString(), QString()},
          {"AB12", "VELIKIM SLOVIMA", "ULICA 2", "", QString()},
          {"011/333", "šabac trgovina", "ULICA 3", "BROD", QString()},
          {"011/444", "ŠABAC TRGOVINA", "ULICA 4", QString(), QString()}});

    ASSERT_TRUE(table.Locate("Telefon", "AB12"));
    EXPECT_EQ(current("Vlasnik"), "VELIKIM SLOVIMA");
    ASSERT_TRUE(table.Locate("Telefon", "ab12"));
    EXPECT_EQ(current("Vlasnik"), "MALIM SLOVIMA");
    ASSERT_TRUE(table.Locate("Vlasnik", "ŠABAC TRGOVINA"));
    EXPECT_EQ(current("Telefon"), "011/444");
    ASSERT_TRUE(table.Locate("Vlasnik", "šabac trgovina"));
    EXPECT_EQ(current("Telefon"), "011/333");

    // No row holds these exactly: the current row stays.
    for (const char* key : {"Ab12", "aB12", "AB12 ", " AB12", "AB1", "ab120"}) {
        EXPECT_FALSE(table.Locate("Telefon", key)) << key;
        EXPECT_EQ(current("Telefon"), "011/333") << key;
    }
    EXPECT_FALSE(table.Locate("Vlasnik", "Šabac Trgovina"));

    // Null matches only null, and empty text only empty text.
    ASSERT_TRUE(table.Locate("Mesto", QVariant()));
    EXPECT_EQ(current("Telefon"), "ab12");
    ASSERT_TRUE(table.Locate("Mesto", QString("")));
    EXPECT_EQ(current("Telefon"), "AB12");

    // Among the rows that pass the filter only.
    table.SetFilter("(Vlasnik LIKE 'ŠABAC*')"); // folds case: both Šabac rows
    table.SetFiltered(true);
    ASSERT_EQ(table.RecordCount(), 2);
    EXPECT_FALSE(table.Locate("Telefon", "AB12"));
    ASSERT_TRUE(table.Locate("Telefon", "011/444"));
    EXPECT_EQ(table.CurrentPosition(), 1);

    // A failure counts as not found.
    EXPECT_FALSE(table.Locate("NoSuchField", "AB12"));
    table.Close();
    EXPECT_FALSE(table.Locate("Telefon", "AB12"));
}

} // namespace
