// A desk whose directory lives on a PostgreSQL server: it works as on a
// file, and a server that goes away under it loses nothing typed.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "support/PgScratch.h"
#include "ui/dialogs/untAzuriranje.h"

#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace {

class ServerDesk : public FrameFixture
{
protected:
    testsupport::PgScratch db;

    void SetUp() override
    {
        FrameFixture::SetUp();
        ASSERT_TRUE(db.ok());
        db.exec("CREATE TABLE vlasnici (telefon varchar(16) PRIMARY KEY, vlasnik varchar(50), "
                "adresa varchar(50), mesto varchar(16), napomena text)");
        db.exec("INSERT INTO vlasnici VALUES "
                "('011/111', 'MARKOVIĆ MILAN', 'KNEZA MILOŠA 1', 'KOSTELIN', NULL), "
                "('011/222', 'ĐURIĆ ŽARKO', 'CARA DUŠANA 2', NULL, 'stara napomena'), "
                "('011/333', 'PERIĆ ANA', 'NJEGOŠEVA 3', '', NULL)");
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    QStringList onServer(const char* column) const
    {
        return db.column(QStringLiteral("SELECT %1 FROM vlasnici ORDER BY telefon").arg(column));
    }
    QStringList owners() const
    {
        QStringList out;
        for (int i = 0; i < table()->RecordCount(); ++i)
            out << table()->DisplayText(i, 1);
        return out;
    }
};

TEST_F(ServerDesk, ListsSearchesAddsEditsAndDeletesAsOnAFile)
{
    createWith(db.uri(), 0);
    showActive();
    EXPECT_EQ(connectErrors(), 0);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");
    EXPECT_EQ(owners(), (QStringList{"MARKOVIĆ MILAN", "ĐURIĆ ŽARKO", "PERIĆ ANA"}));

    // The search folds Serbian letters as on a file.
    form->AcFiltar->trigger();
    type(form->edVlasnik, QString::fromUtf8("đu"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Timer->isActive(); }, 10000));
    EXPECT_EQ(owners(), QStringList{"ĐURIĆ ŽARKO"});
    EXPECT_EQ(panel0(), " Broj pretplatnika: 1");
    form->edVlasnik->clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Timer->isActive(); }, 10000));
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");

    // Add; a number another row has is refused and the editor keeps it all.
    withEditor(form->AcDodaj, [&](TFAzuriranje* e) {
        type(e->dbTelefon, "011/333");
        type(e->dbVlasnik, QString::fromUtf8("novi čović"));
        type(e->dbAdresa, "trg 4");
        e->btSnimi->click();
        EXPECT_TRUE(e->isVisible());
        EXPECT_EQ(e->dbVlasnik->text(), QString::fromUtf8("NOVI ČOVIĆ"));
        replaceText(e->dbTelefon, "011/444");
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(errors(), std::vector<QString>{"Broj telefona: 011/333 vec postoji!"});
    EXPECT_EQ(onServer("telefon"), (QStringList{"011/111", "011/222", "011/333", "011/444"}));
    EXPECT_EQ(onServer("vlasnik").last(), QString::fromUtf8("NOVI ČOVIĆ"));
    EXPECT_EQ(onServer("mesto").last(), "<null>");
    EXPECT_EQ(table()->RecordCount(), 4);

    // Edit the row the operator sees.
    ASSERT_TRUE(table()->Locate("Telefon", "011/222"));
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        EXPECT_EQ(e->dbTelefon->text(), "011/222");
        replaceText(e->dbAdresa, "nova adresa 5");
        e->btSnimi->click();
    });
    EXPECT_EQ(onServer("adresa")[1], "NOVA ADRESA 5");
    EXPECT_EQ(onServer("napomena")[1], "stara napomena");

    // Delete after the question.
    ASSERT_TRUE(table()->Locate("Telefon", "011/111"));
    hook.queueAnswer(vidra::ui::Answer::Yes);
    form->AcBrisi->trigger();
    EXPECT_EQ(onServer("telefon"), (QStringList{"011/222", "011/333", "011/444"}));
    EXPECT_EQ(table()->RecordCount(), 3);
}

TEST_F(ServerDesk, ARefusedLoginAtStartIsTheConnectMessageAndTheDeskStillStarts)
{
    const QString server = testsupport::testServerUri();
    const QString refused = server.left(server.indexOf("://") + 3) + "nobody_here@" +
                            server.mid(server.indexOf('@') + 1);
    createWith(refused, 0);
    showActive();
    EXPECT_EQ(connectErrors(), 1);
    EXPECT_EQ(panel0(), " Broj pretplatnika:");
    EXPECT_FALSE(table()->Active());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(ServerDesk, TheSettingsFileNeverHoldsThePassword)
{
    const QString password = qEnvironmentVariable("PGPASSWORD");
    ASSERT_FALSE(password.isEmpty()) << "the test command's server gives a password";
    QString uri = db.uri();
    const qsizetype at = uri.indexOf('@');
    ASSERT_GT(at, 0);
    uri.insert(at, ":" + password);
    createWith(uri, 0);
    showActive();
    EXPECT_EQ(connectErrors(), 0);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");
    form->close();
    const QString saved = iniValue("BAZA", "DBPATH");
    EXPECT_FALSE(saved.contains(password)) << saved.toStdString();
    EXPECT_EQ(saved, db.uri());
    // What the settings dialog shows is what the file holds.
    EXPECT_EQ(DMVidra->DbPathShown(), db.uri());
}

// Stops or starts the test command's throw-away server.
bool serverCluster(const char* action)
{
    const QStringList cluster =
        qEnvironmentVariable("VIDRA_TEST_PG_CLUSTER").split(' ', Qt::SkipEmptyParts);
    if (cluster.size() != 2) return false;
    return QProcess::execute("pg_ctlcluster", {cluster[0], cluster[1], action, "-m", "fast"}) == 0;
}

TEST_F(ServerDesk, AServerStoppedUnderTheDeskLosesNothingAndIsUsedAgainOnceBack)
{
    ASSERT_FALSE(qEnvironmentVariable("VIDRA_TEST_PG_CLUSTER").isEmpty())
        << "run through scripts/test.sh, which names the server's cluster";
    createWith(db.uri(), 0);
    showActive();
    ASSERT_EQ(table()->RecordCount(), 3);
    ASSERT_TRUE(table()->Locate("Telefon", "011/333"));

    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        replaceText(e->dbAdresa, "posle prekida 7");
        ASSERT_TRUE(serverCluster("stop"));
        e->btSnimi->click();
        // The save failed with the server's words; every typed value stays.
        EXPECT_TRUE(e->isVisible());
        EXPECT_EQ(e->dbAdresa->text(), "POSLE PREKIDA 7");
        EXPECT_EQ(errors().size(), 1u);
        ASSERT_TRUE(serverCluster("start"));
        e->btSnimi->click();
        EXPECT_FALSE(e->isVisible());
    });
    EXPECT_EQ(errors().size(), 1u);
    EXPECT_EQ(onServer("adresa")[2], "POSLE PREKIDA 7");

    // A refresh while the server is away says so and keeps what the grid shows.
    ASSERT_TRUE(serverCluster("stop"));
    form->AcRefresh->trigger();
    ASSERT_TRUE(serverCluster("start"));
    EXPECT_EQ(hook.boxes().size(), 2u);
    EXPECT_EQ(table()->RecordCount(), 3);
    EXPECT_EQ(owners(), (QStringList{"MARKOVIĆ MILAN", "ĐURIĆ ŽARKO", "PERIĆ ANA"}));
    db.exec("INSERT INTO vlasnici VALUES ('011/555', 'SA DRUGOG STOLA', 'TRG 9', NULL, NULL)");
    form->AcRefresh->trigger();
    EXPECT_EQ(hook.boxes().size(), 2u);
    EXPECT_EQ(table()->RecordCount(), 4);
}

} // namespace
