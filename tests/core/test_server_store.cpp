// The engine on a PostgreSQL server: the same snapshot, filter, saves and
// count query as on a file, saves of several desks kept apart by the table
// lock, rows found by the values they were read with, and a lost server
// survived without reopening. Each test works in a scratch schema of its own.
#include "data/RecordRules.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/PgClient.h"
#include "platform/db/PgCopy.h"
#include "platform/db/PgSql.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "support/PgScratch.h"

#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace vidra;
using testsupport::PgScratch;

namespace {

// The message of a failure (the engine's or a record rule's), or "<no error>".
QString errorOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const Error& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

const char* const kCreateTable =
    "CREATE TABLE vlasnici (telefon varchar(16) PRIMARY KEY, vlasnik varchar(50), "
    "adresa varchar(50), mesto varchar(16), napomena text)";

QString connectionTextFor(const QString& source)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
           Connection::quoteValue(source) + QStringLiteral(";Persist Security Info=False");
}

// One operator's desk: a connection and the subscriber table on it.
struct Desk
{
    Connection conn;
    Table table{QStringLiteral("Imenik")};

    explicit Desk(const QString& source, const QString& extra = QString())
    {
        conn.setConnectionText(connectionTextFor(source) + extra);
        table.SetConnection(&conn);
        table.SetTableName(QString::fromLatin1(kSubscriberTable));
        table.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    }
    QString value(const char* field) { return table.FieldByName(field).AsString(); }
    QVariant variant(const char* field) { return table.FieldByName(field).Value(); }
    void type(const QStringList& row)
    {
        for (int f = 0; f < int(row.size()); ++f)
            table.Fields(f).SetValue(row[f].isNull() ? QVariant() : QVariant(row[f]));
    }
    QStringList owners()
    {
        QStringList out;
        if (table.IsEmpty()) return out;
        table.First();
        do
            out << value("Vlasnik");
        while (table.MoveBy(1) == 1);
        return out;
    }
};

// The program's duplicate-number rule as the data module runs it: the count
// query on the table's own connection, inside the save it guards.
struct DuplicateRule
{
    Query checkBroj{QStringLiteral("CheckBroj")};
    std::function<void()> afterCount; // runs once, inside the save, after the next count

    explicit DuplicateRule(Desk& desk)
    {
        rules::declareNumberCount(checkBroj, &desk.conn);
        desk.table.BeforePost = [this](Table& t) {
            Field& telefon = t.FieldByName("Telefon");
            rules::checkUniqueNumber(t.State() == DatasetState::Insert, telefon.NewValue(),
                                     telefon.OldValue(), [this](const QVariant& number) {
                                         const qint64 n = rules::countNumber(checkBroj, number);
                                         if (afterCount) std::exchange(afterCount, nullptr)();
                                         return n;
                                     });
        };
    }
};

// The server process behind a desk's connection, asked through the engine.
QString backendOf(Connection& conn)
{
    Query q(QStringLiteral("Pid"));
    q.SetConnection(&conn);
    q.SetSQL({"SELECT pg_backend_pid()"});
    q.Open();
    return q.Value(0).toString();
}

// Ends a server process as a failing network or a server restart would, and
// waits until it is gone.
void terminate(const PgScratch& db, const QString& pid)
{
    ASSERT_EQ(db.column(QStringLiteral("SELECT pg_terminate_backend(%1, 10000)").arg(pid)),
              QStringList{"t"});
}

class ServerStore : public ::testing::Test
{
protected:
    PgScratch db;

    void SetUp() override
    {
        ASSERT_TRUE(db.ok());
        db.exec(kCreateTable);
    }
    void insert(const QString& values) { db.exec("INSERT INTO vlasnici VALUES " + values); }
    QStringList serverRow(const QString& telefon)
    {
        QStringList row;
        for (const char* c : {"telefon", "vlasnik", "adresa", "mesto", "napomena"}) {
            const QStringList v = db.column(QStringLiteral("SELECT %1 FROM vlasnici WHERE "
                                                           "telefon = '%2'")
                                                .arg(c, telefon));
            if (v.isEmpty()) return {};
            row << v[0];
        }
        return row;
    }
    QStringList numbers() { return db.column("SELECT telefon FROM vlasnici ORDER BY telefon"); }
};

// ------------------------------------------------------------- reading

TEST_F(ServerStore, BrowsesFiltersAndLocatesLettersOfBothAlphabets)
{
    insert("('011/111-111', 'Marković Milan', 'Kneza Miloša 12', 'Kostelin', NULL), "
           "('011/222-222', 'šabac Trgovina', 'Cara Dušana 4', 'Šabac', 'radno vreme 8-16'), "
           "('012/333-333', 'Đorđević Ana', 'Njegoševa 7a', NULL, ''), "
           "('013/444-444', 'ČAĆAK Žarko', 'Vojvode Mišića 1', 'Kostelin', "
           "E'red 1\\tkolona\\nred 2 \\\\ kraj\\r'), "
           "('014/555-555', 'Ђорђевић Љубица', 'Улица краља Петра 3', 'Београд', NULL), "
           "('015/666-666', 'ђорђе шћепановић', 'Трг 1', 'београд', E'\\\\N')");
    Desk desk(db.uri());
    desk.table.Open();
    EXPECT_FALSE(desk.conn.isReadOnly());
    EXPECT_TRUE(desk.table.CanModify());
    ASSERT_EQ(desk.table.RecordCount(), 6);
    EXPECT_EQ(desk.table.RecNo(), 1);
    EXPECT_TRUE(desk.table.Bof());

    // Null and empty text stay apart; tabs, line ends and backslashes of a
    // note arrive as they were stored.
    ASSERT_TRUE(desk.table.Locate("Telefon", "012/333-333"));
    EXPECT_TRUE(desk.table.FieldByName("Mesto").IsNull());
    EXPECT_FALSE(desk.table.FieldByName("Napomena").IsNull());
    EXPECT_EQ(desk.value("Napomena"), "");
    ASSERT_TRUE(desk.table.Locate("Telefon", "013/444-444"));
    EXPECT_EQ(desk.value("Napomena"), "red 1\tkolona\nred 2 \\ kraj\r");
    ASSERT_TRUE(desk.table.Locate("Telefon", "015/666-666"));
    EXPECT_EQ(desk.value("Napomena"), "\\N");
    EXPECT_EQ(desk.table.RecNo(), 6);
    EXPECT_EQ(desk.value("Vlasnik"), "ђорђе шћепановић");

    // Case folds over both alphabets in the filter, and a Cyrillic prefix
    // finds the same name written in Latin; Locate compares exactly.
    desk.table.SetFilter("(Vlasnik LIKE 'Š*') OR (Mesto LIKE 'š*')");
    desk.table.SetFiltered(true);
    EXPECT_EQ(desk.owners(), QStringList{"šabac Trgovina"});
    desk.table.SetFilter("(Vlasnik LIKE 'ЂОРЂ*')");
    EXPECT_EQ(desk.owners(),
              (QStringList{"Đorđević Ana", "Ђорђевић Љубица", "ђорђе шћепановић"}));
    EXPECT_EQ(desk.table.RecNo(), -1);
    EXPECT_FALSE(desk.table.Locate("Vlasnik", "ЂОРЂЕ ШЋЕПАНОВИЋ"));
    EXPECT_TRUE(desk.table.Locate("Vlasnik", "ђорђе шћепановић"));
    EXPECT_FALSE(desk.table.Locate("Vlasnik", "Marković Milan")); // filtered out
    desk.table.SetFilter("(Mesto LIKE 'Kostelin') AND (Vlasnik LIKE 'č*')");
    EXPECT_EQ(desk.owners(), QStringList{"ČAĆAK Žarko"});
    desk.table.SetFiltered(false);
    EXPECT_EQ(desk.table.RecordCount(), 6);
    desk.table.Last();
    EXPECT_TRUE(desk.table.Eof());
    EXPECT_EQ(desk.table.MoveBy(-10), -5);
    EXPECT_TRUE(desk.table.Bof());

    // The filter applies again to rows read anew.
    insert("('016/777-777', 'Šćekić Đurđa', 'Žička 2', 'Čačak', NULL)");
    desk.table.SetFilter("(Mesto LIKE 'č*')");
    desk.table.SetFiltered(true);
    EXPECT_EQ(desk.table.RecordCount(), 0);
    desk.table.Requery();
    EXPECT_EQ(desk.owners(), QStringList{"Šćekić Đurđa"});
}

TEST_F(ServerStore, ATableThatCannotBeBrowsedAsTextIsRefusedWithTheFilesMessages)
{
    PgScratch other;
    ASSERT_TRUE(other.ok());
    Desk none(other.uri());
    EXPECT_EQ(errorOf([&] { none.table.Open(); }),
              "The table 'Vlasnici' was not found in the database");
    EXPECT_FALSE(none.table.Active());

    other.exec("CREATE TABLE vlasnici (telefon varchar(16), vlasnik text, adresa text, "
               "mesto text)");
    EXPECT_EQ(errorOf([&] { none.table.Open(); }),
              "Field 'Napomena' not found in table 'Vlasnici'");
    other.exec("ALTER TABLE vlasnici ADD napomena integer");
    EXPECT_EQ(errorOf([&] { none.table.Open(); }),
              "Field 'Napomena' has the type 'integer'; a text column is required");
    other.exec("ALTER TABLE vlasnici DROP napomena; ALTER TABLE vlasnici RENAME TO v2; "
               "CREATE VIEW vlasnici AS SELECT *, ''::text AS napomena FROM v2");
    EXPECT_EQ(errorOf([&] { none.table.Open(); }), "'Vlasnici' is a view, not a table");
}

// ------------------------------------------------------------- writing

TEST_F(ServerStore, SavesAndDeletesAreWrittenThroughAndSeenByAnotherDesk)
{
    insert("('011/111-111', 'Marković Milan', 'Kneza Miloša 12', 'Kostelin', NULL)");
    Desk desk(db.uri());
    Desk other(db.uri());
    desk.table.Open();
    other.table.Open();

    desk.table.Insert();
    desk.type({"021/999-999", "Šušnjar Đurđica", "Ćirila i Metodija 5", QString(), ""});
    desk.table.Post();
    EXPECT_EQ(desk.table.State(), DatasetState::Browse);
    EXPECT_EQ(desk.table.RecordCount(), 2);
    EXPECT_EQ(serverRow("021/999-999"),
              (QStringList{"021/999-999", "Šušnjar Đurđica", "Ćirila i Metodija 5", "<null>", ""}));

    ASSERT_TRUE(desk.table.Locate("Telefon", "011/111-111"));
    desk.table.Edit();
    desk.table.FieldByName("Napomena").SetValue("Ђак\tпрви\\разред");
    desk.table.FieldByName("Mesto").SetValue(QVariant());
    desk.table.Post();
    EXPECT_EQ(serverRow("011/111-111"),
              (QStringList{"011/111-111", "Marković Milan", "Kneza Miloša 12", "<null>",
                           "Ђак\tпрви\\разред"}));
    // Saved again at once: the desk's own row is found as it now reads.
    desk.table.Edit();
    desk.table.FieldByName("Mesto").SetValue("Šid");
    desk.table.Post();
    EXPECT_EQ(serverRow("011/111-111")[3], "Šid");

    EXPECT_EQ(other.table.RecordCount(), 1);
    other.table.Requery();
    EXPECT_EQ(other.table.RecordCount(), 2);
    ASSERT_TRUE(other.table.Locate("Telefon", "011/111-111"));
    EXPECT_EQ(other.value("Napomena"), "Ђак\tпрви\\разред");
    EXPECT_EQ(other.value("Mesto"), "Šid");
    ASSERT_TRUE(other.table.Locate("Telefon", "021/999-999"));
    EXPECT_TRUE(other.table.FieldByName("Mesto").IsNull());
    EXPECT_FALSE(other.table.FieldByName("Napomena").IsNull());

    // A row the desk saved itself can be deleted at once.
    ASSERT_TRUE(desk.table.Locate("Telefon", "021/999-999"));
    desk.table.Delete();
    EXPECT_EQ(desk.table.RecordCount(), 1);
    EXPECT_EQ(numbers(), QStringList{"011/111-111"});
    other.table.Requery();
    EXPECT_EQ(other.owners(), QStringList{"Marković Milan"});

    // Asked to be read only, the desk writes nothing.
    Desk reader(db.uri(), QStringLiteral(";Mode=Read"));
    reader.table.Open();
    EXPECT_TRUE(reader.conn.isReadOnly());
    EXPECT_FALSE(reader.table.CanModify());
    EXPECT_EQ(errorOf([&] { reader.table.Insert(); }), "Imenik: Cannot modify a read-only dataset");
}

TEST_F(ServerStore, ALoginThatMayOnlyReadGetsATableThatSaysWhy)
{
    insert("('011/111-111', 'Marković Milan', 'Kneza Miloša 12', 'Kostelin', NULL)");
    // A login of this test's own, gone with it.
    const QString role = db.schema() + QStringLiteral("_desk");
    struct DropRole
    {
        const PgScratch& db;
        QString role;
        ~DropRole() { db.exec(QStringLiteral("DROP OWNED BY %1; DROP ROLE %1").arg(role)); }
    };
    db.exec(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'citam'; GRANT USAGE ON SCHEMA %2 "
                           "TO %1; GRANT SELECT ON vlasnici TO %1")
                .arg(role, db.schema()));
    const DropRole dropRole{db, role};
    const QString uri = db.uri();
    const QString asRole = uri.left(uri.indexOf("://") + 3) + role + QStringLiteral(":citam@") +
                           uri.mid(uri.indexOf('@') + 1);

    Desk desk(asRole);
    desk.table.Open();
    EXPECT_EQ(desk.table.RecordCount(), 1);
    EXPECT_FALSE(desk.conn.isReadOnly());
    EXPECT_FALSE(desk.table.CanModify());
    EXPECT_EQ(desk.table.NotWritableReason(), "the server does not let this login change it");
    EXPECT_EQ(errorOf([&] { desk.table.Insert(); }),
              "Imenik: The table cannot be changed: the server does not let this login change it");
    EXPECT_EQ(desk.table.State(), DatasetState::Browse);

    // A login whose transactions only read opens read-only.
    db.exec(QStringLiteral("GRANT INSERT, UPDATE, DELETE ON vlasnici TO %1; "
                           "ALTER ROLE %1 SET default_transaction_read_only = on")
                .arg(role));
    Desk standby(asRole);
    standby.table.Open();
    EXPECT_TRUE(standby.conn.isReadOnly());
    EXPECT_FALSE(standby.table.CanModify());
    db.exec(QStringLiteral("ALTER ROLE %1 RESET default_transaction_read_only").arg(role));
    Desk writer(asRole);
    writer.table.Open();
    EXPECT_TRUE(writer.table.CanModify());
    ASSERT_TRUE(writer.table.Locate("Telefon", "011/111-111"));
    writer.table.Edit();
    writer.table.FieldByName("Mesto").SetValue("Šid");
    writer.table.Post();
    EXPECT_EQ(serverRow("011/111-111")[3], "Šid");
}

TEST_F(ServerStore, ARowChangedOrDeletedAtAnotherDeskIsNotOverwrittenAndTheTypingStays)
{
    insert("('011/111-111', 'Marković Milan', 'Kneza Miloša 12', 'Kostelin', NULL), "
           "('012/222-222', 'Petrović Ana', 'Trg 1', NULL, NULL), "
           "('013/333-333', 'Ilić Vera', 'Trg 2', NULL, 'stara')");
    Desk desk(db.uri());
    desk.table.Open();

    // Changed elsewhere, in a field this desk does not touch.
    db.exec("UPDATE vlasnici SET napomena = 'drugi operater' WHERE telefon = '011/111-111'");
    ASSERT_TRUE(desk.table.Locate("Telefon", "011/111-111"));
    desk.table.Edit();
    desk.table.FieldByName("Vlasnik").SetValue("PRVI OPERATER");
    EXPECT_EQ(errorOf([&] { desk.table.Post(); }),
              "The record cannot be saved: another user has changed it in the file since it "
              "was read");
    EXPECT_EQ(desk.table.State(), DatasetState::Edit);
    EXPECT_EQ(desk.value("Vlasnik"), "PRVI OPERATER");
    EXPECT_EQ(serverRow("011/111-111")[1], "Marković Milan");
    desk.table.Cancel();
    EXPECT_EQ(errorOf([&] { desk.table.Delete(); }),
              "The record cannot be deleted: another user has changed it in the file since it "
              "was read");
    EXPECT_EQ(numbers().size(), 3);

    // A null read that became empty text is a change too.
    db.exec("UPDATE vlasnici SET mesto = '' WHERE telefon = '012/222-222'");
    ASSERT_TRUE(desk.table.Locate("Telefon", "012/222-222"));
    desk.table.Edit();
    desk.table.FieldByName("Adresa").SetValue("Trg 9");
    EXPECT_TRUE(errorOf([&] { desk.table.Post(); }).contains("changed it in the file"));
    EXPECT_EQ(desk.value("Adresa"), "Trg 9");
    desk.table.Cancel();

    // Deleted elsewhere: a save says so; a delete has nothing left to do.
    db.exec("DELETE FROM vlasnici WHERE telefon = '013/333-333'");
    ASSERT_TRUE(desk.table.Locate("Telefon", "013/333-333"));
    desk.table.Edit();
    desk.table.FieldByName("Napomena").SetValue("nova");
    EXPECT_EQ(errorOf([&] { desk.table.Post(); }),
              "The record cannot be saved: another user has deleted it from the file");
    EXPECT_EQ(desk.table.State(), DatasetState::Edit);
    EXPECT_EQ(desk.value("Napomena"), "nova");
    EXPECT_TRUE(numbers().size() == 2);
    desk.table.Cancel();
    desk.table.Delete();
    EXPECT_EQ(desk.table.RecordCount(), 2);

    // Read anew, the rows save again.
    desk.table.Requery();
    ASSERT_TRUE(desk.table.Locate("Telefon", "011/111-111"));
    desk.table.Edit();
    desk.table.FieldByName("Vlasnik").SetValue("PRVI OPERATER");
    desk.table.Post();
    EXPECT_EQ(serverRow("011/111-111"),
              (QStringList{"011/111-111", "PRVI OPERATER", "Kneza Miloša 12", "Kostelin",
                           "drugi operater"}));
}

TEST_F(ServerStore, WithoutAKeyARowIsFoundByAllItsValues)
{
    db.exec("DROP TABLE vlasnici; CREATE TABLE vlasnici (telefon text, vlasnik text, adresa "
            "text, mesto text, napomena text)");
    // Two rows alike in all but their note, and two alike in everything.
    insert("('011/1', 'Ana', 'Trg 1', NULL, 'prva'), ('011/1', 'Ana', 'Trg 1', NULL, 'druga'), "
           "('022/2', 'Iva', 'Trg 2', NULL, NULL), ('022/2', 'Iva', 'Trg 2', NULL, NULL)");
    Desk desk(db.uri());
    desk.table.Open();
    ASSERT_TRUE(desk.table.Locate("Napomena", "druga"));
    desk.table.Edit();
    desk.table.FieldByName("Vlasnik").SetValue("Ana Ilić");
    desk.table.Post();
    EXPECT_EQ(db.column("SELECT vlasnik || '/' || napomena FROM vlasnici WHERE telefon = '011/1' "
                        "ORDER BY napomena"),
              (QStringList{"Ana Ilić/druga", "Ana/prva"}));

    ASSERT_TRUE(desk.table.Locate("Telefon", "022/2"));
    desk.table.Delete();
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici WHERE telefon = '022/2'"), QStringList{"1"});

    // A row that is no longer there as read is refused, never reported deleted.
    db.exec("UPDATE vlasnici SET mesto = 'Brod' WHERE napomena = 'prva'");
    ASSERT_TRUE(desk.table.Locate("Napomena", "prva"));
    EXPECT_TRUE(errorOf([&] { desk.table.Delete(); }).contains("changed it in the file"));
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici"), QStringList{"3"});
}

// ------------------------------------------------------------- two desks, one number

TEST_F(ServerStore, TwoDesksSavingOneNewNumberSaveItOnce)
{
    insert("('011/111-111', 'Marković Milan', 'Kneza Miloša 12', 'Kostelin', NULL)");
    Desk first(db.uri());
    Desk second(db.uri());
    DuplicateRule firstRule(first);
    DuplicateRule secondRule(second);
    first.table.Open();
    second.table.Open();
    second.conn.setBusyTimeout(60000);
    const QString secondPid = backendOf(second.conn);

    // The second desk saves while the first has counted and not yet written:
    // its save waits for the first's lock, then its count sees the row.
    std::atomic<bool> secondDone{false};
    QString secondMessage;
    std::thread secondSave;
    firstRule.afterCount = [&] {
        secondSave = std::thread([&] {
            secondMessage = errorOf([&] { second.table.Post(); });
            secondDone = true;
        });
        // Until the second desk waits on the table's lock.
        const QDeadlineTimer deadline(30000);
        while (db.column("SELECT count(*) FROM pg_locks WHERE NOT granted AND pid = " + secondPid)
                       .value(0) != "1" &&
               !deadline.hasExpired() && !secondDone)
            QThread::msleep(5);
    };
    first.table.Insert();
    first.type({"055/123-456", "PRVI OPERATER", "ULICA 1", "BROD", QString()});
    second.table.Insert();
    second.type({"055/123-456", "DRUGI OPERATER", "ULICA 2", "SID", QString()});
    const QString firstMessage = errorOf([&] { first.table.Post(); });
    if (secondSave.joinable()) secondSave.join();
    EXPECT_EQ(firstMessage, "<no error>");
    ASSERT_TRUE(secondDone);
    EXPECT_EQ(secondMessage, "Broj telefona: 055/123-456 vec postoji!");
    EXPECT_EQ(second.table.State(), DatasetState::Insert);
    EXPECT_EQ(second.value("Vlasnik"), "DRUGI OPERATER");
    EXPECT_EQ(serverRow("055/123-456")[1], "PRVI OPERATER");
    EXPECT_EQ(numbers().size(), 2);

    // Without the rule, the server's key refuses the second row itself, and
    // the typing stays.
    second.table.BeforePost = nullptr;
    const QString refused = errorOf([&] { second.table.Post(); });
    EXPECT_TRUE(refused.contains("duplicate key")) << refused.toStdString();
    EXPECT_EQ(second.table.State(), DatasetState::Insert);
    EXPECT_EQ(second.value("Adresa"), "ULICA 2");
    EXPECT_EQ(serverRow("055/123-456")[1], "PRVI OPERATER");
    second.table.Cancel();

    // Changing one's own number to one the other desk just saved is caught too.
    second.table.BeforePost = nullptr;
    DuplicateRule again(second);
    ASSERT_TRUE(second.table.Locate("Telefon", "011/111-111"));
    second.table.Edit();
    second.table.FieldByName("Telefon").SetValue("055/123-456");
    EXPECT_EQ(errorOf([&] { second.table.Post(); }), "Broj telefona: 055/123-456 vec postoji!");
    EXPECT_EQ(numbers(), (QStringList{"011/111-111", "055/123-456"}));
}

TEST_F(ServerStore, TheCountQueryReadsOnlyAndNamesItsColumnsAsOnAFile)
{
    insert("('011/111-111', 'Marković Milan', 'Kneza Miloša 12', 'Kostelin', NULL)");
    Desk desk(db.uri());
    desk.table.Open();
    Query q(QStringLiteral("CheckBroj"));
    q.SetConnection(&desk.conn);
    q.SetSQL({"SELECT COUNT(*) ", "FROM VLASNICI ", "WHERE TELEFON=NewTel"});
    q.AddParameter("NewTel");
    q.SetParameter("NewTel", "011/111-111");
    q.Open();
    ASSERT_EQ(q.FieldCount(), 1);
    EXPECT_EQ(q.FieldName(0), "Expr1000");
    EXPECT_EQ(q.AsInteger(0), 1);
    EXPECT_EQ(q.ValueByName("Expr1000").toInt(), 1);
    q.Close();
    q.SetParameter("NewTel", "011/111-111'; DROP TABLE vlasnici; --");
    q.Open();
    EXPECT_EQ(q.AsInteger(0), 0);
    q.Close();
    q.SetParameter("NewTel", QVariant());
    q.Open();
    EXPECT_EQ(q.AsInteger(0), 0);
    q.Close();

    // Names given to columns stay; expressions without a plain one are numbered.
    q.SetSQL({"SELECT count(*) AS n, max(vlasnik) m, telefon, 1 + 1, v.adresa, ",
              "upper(mesto) AS \"Veliko mesto\", 'x' AS \"Oznaka\" FROM vlasnici v GROUP BY "
              "telefon, v.adresa, mesto"});
    q.Open();
    ASSERT_EQ(q.FieldCount(), 7);
    EXPECT_EQ(q.FieldName(0), "n");
    EXPECT_EQ(q.AsInteger(0), 1);
    EXPECT_EQ(q.FieldName(1), "m");
    EXPECT_EQ(q.Value(1).toString(), "Marković Milan");
    EXPECT_EQ(q.FieldName(2), "telefon");
    EXPECT_EQ(q.FieldName(3), "Expr1000");
    EXPECT_EQ(q.Value(3).toInt(), 2);
    EXPECT_EQ(q.FieldName(4), "adresa");
    EXPECT_EQ(q.FieldName(5), "Expr1001");
    EXPECT_EQ(q.FieldName(6), "Oznaka");
    q.Close();
    q.SetSQL({"SELECT vlasnik FROM vlasnici WHERE telefon = 'nema'"});
    q.Open();
    EXPECT_EQ(q.FieldName(0), "vlasnik");
    EXPECT_TRUE(q.Value(0).isNull());
    q.Close();

    // Only reading statements run, and a refused one leaves nothing behind.
    for (const char* sql : {"DELETE FROM vlasnici", "UPDATE vlasnici SET mesto = 'x'",
                            "INSERT INTO vlasnici (telefon) VALUES ('1') RETURNING telefon"}) {
        q.SetSQL({sql});
        EXPECT_EQ(errorOf([&] { q.Open(); }), "CheckBroj: Only reading statements are allowed")
            << sql;
    }
    q.SetSQL({"SELECT nema FROM vlasnici"});
    EXPECT_TRUE(errorOf([&] { q.Open(); }).contains("nema"));
    EXPECT_EQ(serverRow("011/111-111")[3], "Kostelin");
    EXPECT_EQ(numbers().size(), 1);

    // Inside a save, a statement that fails does not spoil the save.
    q.SetSQL({"SELECT COUNT(*) FROM VLASNICI WHERE TELEFON=NewTel"});
    desk.table.BeforePost = [&](Table&) {
        Query bad(QStringLiteral("Bad"));
        bad.SetConnection(&desk.conn);
        bad.SetSQL({"DELETE FROM vlasnici"});
        EXPECT_TRUE(errorOf([&] { bad.Open(); }).contains("Only reading"));
        bad.SetSQL({"SELECT 1/0"});
        EXPECT_FALSE(errorOf([&] { bad.Open(); }).isEmpty());
        q.Close();
        q.SetParameter("NewTel", "099/1");
        q.Open();
        EXPECT_EQ(q.AsInteger(0), 0);
    };
    desk.table.Insert();
    desk.type({"099/1", "Nova", "Trg", QString(), QString()});
    desk.table.Post();
    EXPECT_EQ(numbers(), (QStringList{"011/111-111", "099/1"}));
}

// ------------------------------------------------------------- a lost server

TEST_F(ServerStore, ALostConnectionFailsTheOperationAndTheNextOneReconnects)
{
    insert("('011/111-111', 'Marković Milan', 'Kneza Miloša 12', 'Kostelin', NULL), "
           "('012/222-222', 'Petrović Ana', 'Trg 1', NULL, NULL)");
    Desk desk(db.uri());
    DuplicateRule rule(desk);
    desk.table.Open();

    // A save: refused with the link's own words, nothing written, the typing kept.
    terminate(db, backendOf(desk.conn));
    desk.table.Insert();
    desk.type({"055/1", "Šarić Đorđe", "Žička 1", QString(), "nova"});
    const QString lost = errorOf([&] { desk.table.Post(); });
    EXPECT_NE(lost, "<no error>");
    EXPECT_FALSE(lost.isEmpty());
    EXPECT_EQ(desk.table.State(), DatasetState::Insert);
    EXPECT_EQ(desk.value("Vlasnik"), "Šarić Đorđe");
    EXPECT_EQ(desk.table.RecordCount(), 2);
    EXPECT_EQ(numbers().size(), 2);
    desk.table.Post();
    EXPECT_EQ(desk.table.State(), DatasetState::Browse);
    EXPECT_EQ(serverRow("055/1")[1], "Šarić Đorđe");

    // An edit, lost inside its transaction after the rules ran.
    ASSERT_TRUE(desk.table.Locate("Telefon", "011/111-111"));
    desk.table.Edit();
    desk.table.FieldByName("Telefon").SetValue("011/999-999");
    rule.afterCount = [&] { terminate(db, backendOf(desk.conn)); };
    EXPECT_NE(errorOf([&] { desk.table.Post(); }), "<no error>");
    EXPECT_EQ(desk.table.State(), DatasetState::Edit);
    EXPECT_EQ(desk.value("Telefon"), "011/999-999");
    EXPECT_EQ(numbers(), (QStringList{"011/111-111", "012/222-222", "055/1"}));
    desk.table.Post();
    EXPECT_EQ(numbers(), (QStringList{"011/999-999", "012/222-222", "055/1"}));

    // A re-read: the rows read before stay until the next one succeeds.
    insert("('066/6', 'Nov', 'Trg', NULL, NULL)");
    terminate(db, backendOf(desk.conn));
    EXPECT_NE(errorOf([&] { desk.table.Requery(); }), "<no error>");
    EXPECT_EQ(desk.table.RecordCount(), 3);
    EXPECT_TRUE(desk.table.Locate("Telefon", "055/1"));
    desk.table.Requery();
    EXPECT_EQ(desk.table.RecordCount(), 4);

    // A delete, and the count query on its own.
    ASSERT_TRUE(desk.table.Locate("Telefon", "066/6"));
    terminate(db, backendOf(desk.conn));
    EXPECT_NE(errorOf([&] { desk.table.Delete(); }), "<no error>");
    EXPECT_EQ(desk.table.RecordCount(), 4);
    EXPECT_EQ(desk.value("Telefon"), "066/6");
    desk.table.Delete();
    EXPECT_EQ(numbers().size(), 3);

    terminate(db, backendOf(desk.conn));
    rule.checkBroj.Close();
    rule.checkBroj.SetParameter("NewTel", "055/1");
    EXPECT_NE(errorOf([&] { rule.checkBroj.Open(); }), "<no error>");
    EXPECT_FALSE(rule.checkBroj.Active());
    rule.checkBroj.Open();
    EXPECT_EQ(rule.checkBroj.AsInteger(0), 1);
}

TEST(ServerStoreOpening, AnAbsentServerOrARefusedLoginFailsLikeAMissingFile)
{
    const QString server = testsupport::testServerUri();
    ASSERT_FALSE(server.isEmpty()) << "run through scripts/test.sh";
    const QString refusedLogin = server.left(server.indexOf("://") + 3) + "nobody_here:wrong@" +
                                 server.mid(server.indexOf('@') + 1);
    for (const QString& source :
         {QStringLiteral("postgresql://localhost:1/x?connect_timeout=5"), refusedLogin}) {
        Desk desk(source);
        EXPECT_THROW(desk.conn.open(), DbError) << source.toStdString();
        EXPECT_FALSE(desk.conn.isOpen());
        const QString msg = errorOf([&] { desk.table.Open(); });
        EXPECT_NE(msg, "<no error>");
        EXPECT_FALSE(desk.table.Active());
    }
}

// ------------------------------------------------------------- the pieces

TEST(ServerStorePieces, CopyLinesAreReadWithTheirEscapesAndNullsApart)
{
    Snapshot snap(3);
    CopyRowReader reader(snap);
    const auto append = [&](const QByteArray& line) {
        reader.append(line.constData(), size_t(line.size()));
    };
    append("a\t\\N\t");
    append("\\t\\n\\r\\b\\f\\v\\\\\t\\101\\x42\\x4a\\q\tŠđ\\\\N");
    ASSERT_EQ(snap.rows(), 2u);
    EXPECT_EQ(cellText(snap.cell(0, 0)), "a");
    EXPECT_TRUE(cellText(snap.cell(0, 1)).isNull());
    EXPECT_TRUE(cellText(snap.cell(0, 2)).isEmpty());
    EXPECT_FALSE(cellText(snap.cell(0, 2)).isNull());
    EXPECT_EQ(cellText(snap.cell(1, 0)), "\t\n\r\b\f\v\\");
    EXPECT_EQ(cellText(snap.cell(1, 1)), "ABJq");
    EXPECT_EQ(cellText(snap.cell(1, 2)), "Šđ\\N");
    for (const QByteArray& bad : {QByteArray("a\tb"), QByteArray("a\tb\tc\td"), QByteArray("")})
        EXPECT_THROW(append(bad), DbError);

    // The ids are the digests of the values a save writes.
    EXPECT_EQ(snap.rowIds[0], rowDigest({QString("a"), std::nullopt, QString("")}));
    EXPECT_NE(snap.rowIds[0], rowDigest({QString("a"), QString(""), std::nullopt}));
    EXPECT_NE(rowDigest({QString("ab"), QString("")}), rowDigest({QString("a"), QString("b")}));
}

TEST(ServerStorePieces, NamesReachTheServerAsItFoldsThem)
{
    EXPECT_EQ(serverIdentifier("Vlasnici"), "\"vlasnici\"");
    EXPECT_EQ(serverIdentifier("TELEFON_2"), "\"telefon_2\"");
    EXPECT_EQ(serverIdentifier("user"), "\"user\"");
    EXPECT_EQ(serverIdentifier("Ime i Prezime"), "\"Ime i Prezime\"");
    EXPECT_EQ(serverIdentifier("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(serverIdentifier("ŠIFRA"), "\"Šifra\""); // only ASCII letters fold

    using Names = std::vector<std::optional<QString>>;
    EXPECT_EQ(selectListNames("SELECT COUNT(*) FROM VLASNICI WHERE TELEFON=$1"),
              (Names{std::nullopt}));
    EXPECT_EQ(selectListNames("select Telefon, v.Adresa, count(*) N, max(x) AS \"Naj Veći\", "
                              "a::text, x IS NULL, CASE WHEN a THEN b END, 'x' y, $1 p, "
                              "f(a, b) -- c, d\n FROM t v"),
              (Names{"telefon", "adresa", "n", "Naj Veći", std::nullopt, std::nullopt, std::nullopt,
                     "y", "p", std::nullopt}));
    EXPECT_EQ(selectListNames("WITH s AS (SELECT 1 AS a, 2 AS b) SELECT DISTINCT ON (a) a, "
                              "'it''s, here' /* , */ AS c FROM s"),
              (Names{"a", "c"}));
    EXPECT_TRUE(selectListNames("SELECT *, 1 AS n FROM t").empty());
    EXPECT_TRUE(selectListNames("SELECT t.* FROM t").empty());
    EXPECT_TRUE(selectListNames("VALUES (1)").empty());
}

} // namespace
