// The engine acts on exactly the row and the values the operator means:
// searches match the stored value as it is, a save refuses only what this
// edit changed, a delete removes only the row its question named, and the
// duplicate rule and the write it guards share one transaction. The same in
// a file and on a server, but for what only a file can hold or show.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/SqliteStore.h"
#include "platform/db/Table.h"
#include "support/DirectoryStore.h"
#include "support/ErrorOf.h"
#include "support/TempDir.h"

#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace vidra;
using testsupport::DirectoryStore;
using testsupport::errorOf;
using testsupport::Row;
using testsupport::StoreKind;
using testsupport::TempDir;

[[maybe_unused]] static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

void openSubscribers(Connection& conn, Table& table, const QString& connectionText)
{
    conn.setConnectionText(connectionText);
    conn.open();
    table.SetConnection(&conn);
    table.SetTableName(QString::fromLatin1(kSubscriberTable));
    table.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    table.Open();
}

// The same directory in each store.
class Exactness : public ::testing::TestWithParam<StoreKind>
{
protected:
    DirectoryStore store{GetParam()}; // outlives the connection
    Connection conn;
    Table table{QStringLiteral("Imenik")};

    void SetUp() override { ASSERT_TRUE(store.ok()); }
    void open(const std::vector<Row>& rows)
    {
        store.create(rows);
        openSubscribers(conn, table, store.connectionText());
    }
    QString current(const char* field) { return table.FieldByName(field).AsString(); }
    QStringList fileColumn(const char* column) const { return store.column(column); }
};

INSTANTIATE_TEST_SUITE_P(Store, Exactness, testsupport::bothStores(), testsupport::storeName);

// A file only: values longer than a server's columns, and SQLite's own
// transaction state and locks.
class ExactnessFile : public ::testing::Test
{
protected:
    TempDir dir;
    QString file = dir.path("data.mdb");
    Connection conn;
    Table table{QStringLiteral("Imenik")};

    void open(const std::vector<Row>& rows)
    {
        testsupport::createDirectoryFile(file, rows);
        openSubscribers(conn, table,
                        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                            Connection::quoteValue(file));
    }
    QString current(const char* field) { return table.FieldByName(field).AsString(); }
    QStringList fileColumn(const char* column) const
    {
        return testsupport::selectColumn(
            file, QStringLiteral("SELECT %1 FROM Vlasnici ORDER BY rowid").arg(column));
    }
};

// ------------------------------------------------------------- locate

TEST_P(Exactness, LocateMatchesTheWholeStoredValueWithoutFoldingCase)
{
    // Stored by other means in both cases; the upper-case display hides which is which.
    // Numbers in digits come first in any server's order as in the file's.
    open({{"011/333", "šabac trgovina", "ULICA 3", QString(), QString()},
          {"011/444", "ŠABAC TRGOVINA", "ULICA 4", "", QString()},
          {"ab12", "MALIM SLOVIMA", "ULICA 1", "BROD", QString()},
          {"AB12", "VELIKIM SLOVIMA", "ULICA 2", QString(), QString()}});

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
    ASSERT_TRUE(table.Locate("Mesto", QString("")));
    EXPECT_EQ(current("Telefon"), "011/444");
    ASSERT_TRUE(table.Locate("Mesto", QVariant()));
    EXPECT_EQ(current("Telefon"), "011/333");
    ASSERT_TRUE(table.Locate("Mesto", QString("")));
    EXPECT_EQ(current("Telefon"), "011/444");

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

// ------------------------------------------------------------- declared sizes

TEST_F(ExactnessFile, ValuesLongerThanTheirDeclaredSizeSaveUntouched)
{
    // A file prepared elsewhere: a number over 16 and a name over 50 characters.
    const QString longTel = QStringLiteral("011/123-456-789-01");
    const QString longName = QString(60, QChar(u'Ž'));
    open({{longTel, longName, "ULICA 1", "BROD", QString()},
          {"011/222", "DRUGI", "ULICA 2", QString(), QString()}});

    // Another box of the record changed: the long values stay as they were.
    table.Edit();
    table.FieldByName("Adresa").SetValue("NOVA ULICA 9");
    EXPECT_EQ(errorOf([&] { table.Post(); }), "<no error>");
    EXPECT_EQ(table.State(), DatasetState::Browse);
    EXPECT_EQ(fileColumn("Telefon"), (QStringList{longTel, "011/222"}));
    EXPECT_EQ(fileColumn("Vlasnik"), (QStringList{longName, "DRUGI"}));
    EXPECT_EQ(fileColumn("Adresa"), (QStringList{"NOVA ULICA 9", "ULICA 2"}));

    // Typed over and back again is no change either.
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("KRAĆE");
    table.FieldByName("Vlasnik").SetValue(longName);
    table.FieldByName("Mesto").SetValue("KOSTELIN");
    EXPECT_EQ(errorOf([&] { table.Post(); }), "<no error>");
    EXPECT_EQ(fileColumn("Vlasnik"), (QStringList{longName, "DRUGI"}));
    EXPECT_EQ(fileColumn("Mesto"), (QStringList{"KOSTELIN", QString()}));

    // A value changed in this edit is held to its size; the edit stays open.
    table.Edit();
    table.FieldByName("Telefon").SetValue(longTel + "9");
    table.FieldByName("Adresa").SetValue("TREĆA ULICA");
    const QString msg = errorOf([&] { table.Post(); });
    EXPECT_TRUE(msg.contains("Telefon") && msg.contains("too long")) << msg.toStdString();
    EXPECT_FALSE(msg.contains("Vlasnik")) << msg.toStdString();
    EXPECT_EQ(table.State(), DatasetState::Edit);
    EXPECT_EQ(current("Telefon"), longTel + "9");
    EXPECT_EQ(current("Adresa"), "TREĆA ULICA");
    EXPECT_EQ(fileColumn("Telefon"), (QStringList{longTel, "011/222"}));
    EXPECT_EQ(fileColumn("Adresa"), (QStringList{"NOVA ULICA 9", "ULICA 2"}));
    table.FieldByName("Telefon").SetValue("011/999-999");
    table.Post();
    EXPECT_EQ(fileColumn("Telefon"), (QStringList{"011/999-999", "011/222"}));
    EXPECT_EQ(fileColumn("Vlasnik"), (QStringList{longName, "DRUGI"}));

    // A new row writes every value, so every value is held to its size.
    table.Insert();
    table.FieldByName("Telefon").SetValue(QString(16, u'1'));
    table.FieldByName("Vlasnik").SetValue(QString(51, u'V'));
    table.FieldByName("Adresa").SetValue("ULICA 3");
    const QString insertMsg = errorOf([&] { table.Post(); });
    EXPECT_TRUE(insertMsg.contains("Vlasnik") && insertMsg.contains("50"))
        << insertMsg.toStdString();
    EXPECT_EQ(table.State(), DatasetState::Insert);
    EXPECT_EQ(fileColumn("Telefon").size(), 2);
    table.FieldByName("Vlasnik").SetValue(QString(50, u'V'));
    table.Post();
    EXPECT_EQ(fileColumn("Vlasnik").last(), QString(50, u'V'));
}

// ------------------------------------------------------------- one transaction

TEST_F(ExactnessFile, BeforePostRunsInsideTheWriteItGuards)
{
    open({{"011/111", "PRVI", "ULICA 1", QString(), QString()}});
    // Whether this connection held a write transaction while the rules ran.
    std::vector<bool> inWrite;
    bool refuse = false;
    table.BeforePost = [&](Table&) {
        inWrite.push_back(!sqlite3_get_autocommit(sqliteHandle(conn)));
        if (refuse) throw Error(QStringLiteral("Unesi adresu pretplatnika!"));
    };
    const auto messageOf = [](const std::function<void()>& fn) -> QString {
        try {
            fn();
        } catch (const Error& e) {
            return e.message();
        }
        return QStringLiteral("<no error>");
    };

    table.Insert();
    table.FieldByName("Telefon").SetValue("011/222");
    table.FieldByName("Vlasnik").SetValue("DRUGI");
    table.Post();
    table.Edit();
    table.FieldByName("Adresa").SetValue("NOVA");
    table.Post();
    EXPECT_EQ(inWrite, (std::vector<bool>{true, true}));

    // A rule that refuses ends the transaction: the edit stays, the file is free.
    refuse = true;
    table.Edit();
    table.FieldByName("Adresa").SetValue("TREĆA");
    EXPECT_EQ(messageOf([&] { table.Post(); }), "Unesi adresu pretplatnika!");
    EXPECT_EQ(table.State(), DatasetState::Edit);
    EXPECT_EQ(current("Adresa"), "TREĆA");
    EXPECT_TRUE(sqlite3_get_autocommit(sqliteHandle(conn)));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    // An edit that changes nothing writes nothing, so it takes no lock and is
    // not held up by another user's; its rules still run.
    refuse = false;
    inWrite.clear();
    table.Cancel();
    conn.setBusyTimeout(50);
    table.Edit();
    table.FieldByName("Vlasnik").SetValue(current("Vlasnik"));
    EXPECT_EQ(messageOf([&] { table.Post(); }), "<no error>");
    EXPECT_EQ(table.State(), DatasetState::Browse);
    EXPECT_EQ(inWrite, (std::vector<bool>{false}));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

// ------------------------------------------------------------- delete

class DeleteExactness : public Exactness
{
protected:
    void SetUp() override
    {
        Exactness::SetUp();
        if (HasFatalFailure()) return;
        open({{"011/111", "ANA", "ULICA 1", "KOSTELIN", QString()},
              {"011/222", "BOJAN", "ULICA 2", "BROD", QString()},
              {"011/333", "CVETA", "ULICA 3", "KOSTELIN", QString()},
              {"011/444", "DUŠAN", "ULICA 4", "BROD", QString()}});
    }
    const QString changed = "Imenik: The current record changed while its delete was being "
                            "confirmed; nothing was deleted";
};

INSTANTIATE_TEST_SUITE_P(Store, DeleteExactness, testsupport::bothStores(), testsupport::storeName);

TEST_P(DeleteExactness, ARowMadeCurrentWhileTheQuestionIsOpenIsNotDeleted)
{
    table.SetRecNo(2);
    // While the question about BOJAN is open, something moves the table on.
    table.BeforeDelete = [](Table& t) { t.Next(); };
    EXPECT_EQ(errorOf([&] { table.Delete(); }), changed);
    EXPECT_EQ(fileColumn("Vlasnik"), (QStringList{"ANA", "BOJAN", "CVETA", "DUŠAN"}));
    EXPECT_EQ(table.RecordCount(), 4);

    // A filter applied meanwhile that leaves another subscriber current.
    table.SetRecNo(1);
    table.BeforeDelete = [](Table& t) {
        t.SetFilter("(Mesto LIKE 'BROD')");
        t.SetFiltered(true);
    };
    EXPECT_EQ(errorOf([&] { table.Delete(); }), changed);
    EXPECT_EQ(fileColumn("Vlasnik"), (QStringList{"ANA", "BOJAN", "CVETA", "DUŠAN"}));
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_EQ(current("Vlasnik"), "BOJAN");

    // A filter that keeps the asked subscriber current: that one goes.
    table.SetFiltered(false);
    table.SetRecNo(4);
    table.BeforeDelete = [](Table& t) {
        t.SetFilter("(Vlasnik LIKE 'D*')");
        t.SetFiltered(true);
    };
    EXPECT_EQ(errorOf([&] { table.Delete(); }), "<no error>");
    EXPECT_EQ(fileColumn("Vlasnik"), (QStringList{"ANA", "BOJAN", "CVETA"}));
    EXPECT_TRUE(table.IsEmpty());

    // Re-read meanwhile, after another user changed the asked row: not the row asked about.
    table.SetFiltered(false);
    table.SetRecNo(1);
    table.BeforeDelete = [&](Table& t) {
        store.exec("UPDATE Vlasnici SET Vlasnik = 'ANA-MARIJA' WHERE Vlasnik = 'ANA'");
        t.Requery();
    };
    EXPECT_EQ(errorOf([&] { table.Delete(); }), changed);
    EXPECT_EQ(fileColumn("Vlasnik"), (QStringList{"ANA-MARIJA", "BOJAN", "CVETA"}));
}

TEST_P(DeleteExactness, AFilterThatLeavesNoRowWhileTheQuestionIsOpenDeletesNothing)
{
    table.SetRecNo(3);
    table.BeforeDelete = [](Table& t) {
        t.SetFilter("(Vlasnik LIKE 'NIKO*')");
        t.SetFiltered(true);
    };
    EXPECT_EQ(errorOf([&] { table.Delete(); }), changed);
    EXPECT_EQ(fileColumn("Vlasnik"), (QStringList{"ANA", "BOJAN", "CVETA", "DUŠAN"}));
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(table.CurrentPosition(), -1);
}

} // namespace
