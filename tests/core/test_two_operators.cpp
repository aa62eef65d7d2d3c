// Two operators on one directory file: this process browses and saves while
// another process (the test writer, through the same engine) saves, deletes
// and holds the file locked. Nobody's save may silently undo another's.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "support/ChildLines.h"
#include "support/TempDir.h"
#include "support/WriterRows.h"

#include <QProcess>
#include <functional>
#include <gtest/gtest.h>

using namespace vidra;
using testsupport::Row;
using testsupport::TempDir;
using testsupport::writerRow;
using testsupport::writerTelefon;

[[maybe_unused]] static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The other operator's program, driven one command at a time.
class OtherOperator
{
public:
    explicit OtherOperator(const QString& file)
    {
        m_p.start(QStringLiteral(VIDRA_CRASH_WRITER), {"operator", file});
        m_ready = m_p.waitForStarted(30000) && testsupport::readChildLine(m_p, 30000) == "ready";
    }
    ~OtherOperator()
    {
        if (m_p.state() == QProcess::NotRunning) return;
        m_p.write("quit\n");
        if (!m_p.waitForFinished(10000)) {
            m_p.kill();
            m_p.waitForFinished(10000);
        }
    }
    bool ready() const { return m_ready; }
    QString ask(const QString& command)
    {
        m_p.write(command.toUtf8() + '\n');
        return reply();
    }
    QString reply() { return testsupport::readChildLine(m_p, 30000); }

private:
    QProcess m_p;
    bool m_ready = false;
};

class TwoOperators : public ::testing::Test
{
protected:
    TempDir dir;
    QString file = dir.path("data.mdb");
    Connection conn;
    Table table{QStringLiteral("Imenik")};

    void SetUp() override
    {
        testsupport::createDirectoryFile(
            file, {{"011/111-111", "MARKOVIĆ MILAN", "KNEZA MILOŠA 12", "KOSTELIN", QString()},
                   {"011/222-222", "ŠABAC TRGOVINA", "CARA DUŠANA 4", "ŠABAC", "radno vreme"},
                   {"012/333-333", "ĐORĐEVIĆ ANA", "NJEGOŠEVA 7A", QString(), ""},
                   {"013/444-444", "MILIĆ ŽARKO", "VOJVODE MIŠIĆA 1", "KOSTELIN", QString()},
                   {"014/555-555", "D'ARC JOVANA", "TRG 1", "BROD", QString()}});
        conn.setConnectionText(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               Connection::quoteValue(file));
        table.SetConnection(&conn);
        table.SetTableName(QString::fromLatin1(kSubscriberTable));
        table.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
        table.Open();
    }

    static QString errorOf(const std::function<void()>& fn)
    {
        try {
            fn();
        } catch (const DbError& e) {
            return e.message();
        }
        return QStringLiteral("<no error>");
    }
    QStringList fileColumn(const char* column) const
    {
        return testsupport::selectColumn(
            file, QStringLiteral("SELECT %1 FROM Vlasnici ORDER BY rowid").arg(column));
    }
    // The file's row with this number, all five values.
    QStringList fileRow(const QString& telefon) const
    {
        QStringList out;
        for (const char* c : {"Telefon", "Vlasnik", "Adresa", "Mesto", "Napomena"}) {
            const QStringList v = testsupport::selectColumn(
                file,
                QStringLiteral("SELECT %1 FROM Vlasnici WHERE Telefon = '%2'").arg(c, telefon));
            out << (v.size() == 1 ? v[0] : QStringLiteral("<%1 rows>").arg(v.size()));
        }
        return out;
    }
    static QStringList values(const Row& r)
    {
        return {r.telefon, r.vlasnik, r.adresa, r.mesto, r.napomena};
    }
    QStringList pending()
    {
        QStringList out;
        for (int f = 0; f < table.FieldCount(); ++f) {
            const QVariant v = table.Fields(f).Value();
            out << (v.isNull() ? QString() : v.toString());
        }
        return out;
    }
    void type(const Row& r)
    {
        const QStringList v = values(r);
        for (int f = 0; f < 5; ++f)
            table.Fields(f).SetValue(v[f].isNull() ? QVariant() : QVariant(v[f]));
    }
};

TEST_F(TwoOperators, RowsTheOtherSavesAppearHereOnlyAfterRequery)
{
    table.SetFilter("(Mesto LIKE 'KOST*')");
    table.SetFiltered(true);
    ASSERT_EQ(table.RecordCount(), 2);
    OtherOperator other(file);
    ASSERT_TRUE(other.ready());
    for (int n : {11, 12, 14}) // two of them in Kostelin
        ASSERT_EQ(other.ask(QStringLiteral("add %1").arg(n)), "ok");

    // Browsing, filtering and searching go on over the rows read before.
    EXPECT_EQ(table.RecordCount(), 2);
    table.Last();
    EXPECT_EQ(table.FieldByName("Telefon").AsString(), "013/444-444");
    EXPECT_FALSE(table.Locate("Telefon", writerTelefon(11)));
    table.SetFilter("(Vlasnik LIKE 'ĐORĐEVIĆ Ž*')");
    EXPECT_EQ(table.RecordCount(), 0);
    table.SetFiltered(false);
    EXPECT_EQ(table.RecordCount(), 5);

    // A save here in between takes its place beside theirs in the file.
    table.Insert();
    type({"099/000-000", "NAŠ PRETPLATNIK", "OVDE 1", "KOSTELIN", QString()});
    table.Post();
    EXPECT_EQ(table.RecordCount(), 6);
    EXPECT_EQ(other.ask("count"), "9");

    table.Requery();
    EXPECT_EQ(table.RecordCount(), 9);
    ASSERT_TRUE(table.Locate("Telefon", writerTelefon(12)));
    EXPECT_EQ(pending(), values(writerRow(12)));
    table.SetFiltered(true); // the filter text kept from before
    EXPECT_EQ(table.RecordCount(), 3);
    table.SetFilter("(Mesto LIKE 'KOST*')");
    EXPECT_EQ(table.RecordCount(), 5);
}

TEST_F(TwoOperators, LongHeldLockFailsTheSaveAndKeepsEverythingTyped)
{
    conn.setBusyTimeout(300);
    OtherOperator other(file);
    ASSERT_TRUE(other.ready());
    ASSERT_EQ(other.ask("lock"), "locked");

    // Reading fails too, and the rows read before stay on show.
    const QString readMsg = errorOf([&] { table.Requery(); });
    EXPECT_TRUE(readMsg.contains("locked")) << readMsg.toStdString();
    EXPECT_EQ(table.RecordCount(), 5);
    table.SetRecNo(2);
    EXPECT_EQ(table.FieldByName("Vlasnik").AsString(), "ŠABAC TRGOVINA");
    {
        Connection late;
        late.setConnectionText(conn.connectionText());
        const QString openMsg = errorOf([&] { late.open(); });
        EXPECT_TRUE(openMsg.contains("locked")) << openMsg.toStdString();
        EXPECT_FALSE(late.isOpen());
    }

    // An edit.
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("ŠABAC TRGOVINA I SINOVI");
    table.FieldByName("Napomena").SetValue(QVariant());
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString msg = errorOf([&] { table.Post(); });
        EXPECT_TRUE(msg.contains("locked")) << msg.toStdString();
        EXPECT_FALSE(msg.endsWith(u'.'));
        EXPECT_EQ(table.State(), DatasetState::Edit);
        EXPECT_EQ(table.FieldByName("Vlasnik").AsString(), "ŠABAC TRGOVINA I SINOVI");
        EXPECT_EQ(table.FieldByName("Vlasnik").OldValue().toString(), "ŠABAC TRGOVINA");
        EXPECT_TRUE(table.FieldByName("Napomena").IsNull());
        EXPECT_EQ(table.DisplayText(1, 1), "ŠABAC TRGOVINA I SINOVI");
    }
    ASSERT_EQ(other.ask("unlock"), "unlocked");
    table.Post();
    EXPECT_EQ(table.State(), DatasetState::Browse);
    EXPECT_EQ(fileRow("011/222-222"), (QStringList{"011/222-222", "ŠABAC TRGOVINA I SINOVI",
                                                   "CARA DUŠANA 4", "ŠABAC", QString()}));

    // A new subscriber.
    ASSERT_EQ(other.ask("lock"), "locked");
    const Row typed{"020/765-432", "ŽIVKOVIĆ ĐURĐA", "ĆIRILA I METODIJA 3", "", "beleška"};
    table.Insert();
    type(typed);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString msg = errorOf([&] { table.Post(); });
        EXPECT_TRUE(msg.contains("locked")) << msg.toStdString();
        EXPECT_EQ(table.State(), DatasetState::Insert);
        EXPECT_EQ(pending(), values(typed));
        EXPECT_EQ(table.VisibleRowCount(), 6);
        EXPECT_EQ(table.DisplayText(5, 2), typed.adresa);
    }
    ASSERT_EQ(other.ask("unlock"), "unlocked");
    table.Post();
    EXPECT_EQ(fileRow(typed.telefon), values(typed));
    EXPECT_EQ(fileColumn("Telefon").size(), 6);

    // A delete.
    ASSERT_EQ(other.ask("lock"), "locked");
    table.First();
    const QString msg = errorOf([&] { table.Delete(); });
    EXPECT_TRUE(msg.contains("locked")) << msg.toStdString();
    EXPECT_EQ(table.RecordCount(), 6);
    EXPECT_EQ(table.FieldByName("Telefon").AsString(), "011/111-111");
    ASSERT_EQ(other.ask("unlock"), "unlocked");
    EXPECT_EQ(fileColumn("Telefon").size(), 6);
    table.Delete();
    EXPECT_EQ(fileColumn("Telefon").first(), "011/222-222");
}

TEST_F(TwoOperators, ABrieflyHeldLockIsWaitedOut)
{
    ASSERT_EQ(conn.busyTimeout(), Connection::kDefaultBusyTimeoutMs);
    OtherOperator other(file);
    ASSERT_TRUE(other.ready());
    const Row typed{"030/111-222", "STRPLJIVI OPERATER", "ULICA 5", "BROD", QString()};
    table.Insert();
    type(typed);
    ASSERT_EQ(other.ask("lockfor 600"), "locked");
    table.Post(); // waits for the lock instead of failing
    EXPECT_EQ(other.reply(), "unlocked");
    EXPECT_EQ(fileRow(typed.telefon), values(typed));
}

TEST_F(TwoOperators, RowDeletedByTheOtherIsNeitherSavedNorWrittenBack)
{
    OtherOperator other(file);
    ASSERT_TRUE(other.ready());
    ASSERT_EQ(other.ask("delete 011/222-222"), "ok");
    table.SetRecNo(2);
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("PROMENJEN");
    const QString msg = errorOf([&] { table.Post(); });
    EXPECT_TRUE(msg.contains("deleted")) << msg.toStdString();
    EXPECT_EQ(table.State(), DatasetState::Edit);
    EXPECT_EQ(table.FieldByName("Vlasnik").AsString(), "PROMENJEN");
    EXPECT_EQ(fileColumn("Telefon"),
              (QStringList{"011/111-111", "012/333-333", "013/444-444", "014/555-555"}));
    EXPECT_FALSE(fileColumn("Vlasnik").contains("PROMENJEN"));
    table.Cancel();

    // Deleting what the other already deleted leaves the same file.
    ASSERT_EQ(other.ask("delete 013/444-444"), "ok");
    table.SetRecNo(4);
    ASSERT_EQ(table.FieldByName("Telefon").AsString(), "013/444-444");
    table.Delete();
    EXPECT_EQ(table.RecordCount(), 4);
    EXPECT_EQ(fileColumn("Telefon"), (QStringList{"011/111-111", "012/333-333", "014/555-555"}));
    EXPECT_EQ(other.ask("count"), "3");
}

TEST_F(TwoOperators, NewSubscriberInADeletedRowsPlaceIsNeverOverwrittenOrDeleted)
{
    // The file reuses the place of a deleted last row for the next new one.
    OtherOperator other(file);
    ASSERT_TRUE(other.ready());
    ASSERT_EQ(other.ask("delete 014/555-555"), "ok");
    ASSERT_EQ(other.ask("add 20"), "ok");
    const QStringList theirs = values(writerRow(20));
    ASSERT_EQ(fileRow(writerTelefon(20)), theirs);

    table.Last();
    ASSERT_EQ(table.FieldByName("Telefon").AsString(), "014/555-555");
    table.Edit();
    table.FieldByName("Napomena").SetValue("NAŠA BELEŠKA");
    const QString msg = errorOf([&] { table.Post(); });
    EXPECT_NE(msg, "<no error>");
    EXPECT_EQ(table.State(), DatasetState::Edit);
    EXPECT_EQ(table.FieldByName("Napomena").AsString(), "NAŠA BELEŠKA");
    EXPECT_EQ(fileRow(writerTelefon(20)), theirs);
    table.Cancel();

    const QString delMsg = errorOf([&] { table.Delete(); });
    EXPECT_EQ(fileRow(writerTelefon(20)), theirs) << delMsg.toStdString();
    EXPECT_EQ(fileColumn("Telefon").size(), 5);

    // After a refresh the new subscriber is the one edited.
    table.Requery();
    table.Last();
    ASSERT_EQ(table.FieldByName("Telefon").AsString(), writerTelefon(20));
    table.Edit();
    table.FieldByName("Napomena").SetValue("NAŠA BELEŠKA");
    table.Post();
    EXPECT_EQ(fileRow(writerTelefon(20)).last(), "NAŠA BELEŠKA");
}

TEST_F(TwoOperators, RowChangedByTheOtherIsNotOverwrittenUnseen)
{
    OtherOperator other(file);
    ASSERT_TRUE(other.ready());
    ASSERT_EQ(other.ask("set 011/111-111 Vlasnik DRUGI OPERATER"), "ok");
    table.First();
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("PRVI OPERATER");
    const QString msg = errorOf([&] { table.Post(); });
    EXPECT_TRUE(msg.contains("changed")) << msg.toStdString();
    EXPECT_EQ(table.State(), DatasetState::Edit);
    EXPECT_EQ(table.FieldByName("Vlasnik").AsString(), "PRVI OPERATER");
    EXPECT_EQ(fileRow("011/111-111")[1], "DRUGI OPERATER");
    table.Cancel();

    // Deleting it unseen is refused the same way.
    const QString delMsg = errorOf([&] { table.Delete(); });
    EXPECT_TRUE(delMsg.contains("changed")) << delMsg.toStdString();
    EXPECT_EQ(table.RecordCount(), 5);
    EXPECT_EQ(fileColumn("Telefon").size(), 5);

    table.Requery();
    EXPECT_EQ(table.FieldByName("Vlasnik").AsString(), "DRUGI OPERATER");
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("PRVI OPERATER");
    table.Post();
    EXPECT_EQ(fileRow("011/111-111")[1], "PRVI OPERATER");
    EXPECT_EQ(other.ask("count"), "5");
}

} // namespace
