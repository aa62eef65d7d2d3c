// vidra-db import: real Access tables through a column map, CSV text with
// every skip rule, and nothing left behind when an import fails.
#include "support/LegacyFixtures.h"
#include "support/TempDir.h"
#include "support/ToolRun.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using testsupport::entries;
using testsupport::runTool;
using testsupport::TempDir;
using testsupport::ToolRun;

namespace {

class Import : public ::testing::Test
{
protected:
    TempDir dir;
    QString folder() const { return QFileInfo(dir.path("x")).absolutePath(); }
    QString out() const { return dir.path("imenik.mdb"); }
    QStringList column(const char* name, const QString& file = QString()) const
    {
        return testsupport::selectColumn(
            file.isEmpty() ? out() : file,
            QStringLiteral("SELECT ifnull(%1, '<null>') FROM Vlasnici ORDER BY rowid")
                .arg(QLatin1String(name)));
    }
    static QByteArray sha(const QString& path)
    {
        return QCryptographicHash::hash(TempDir::read(path), QCryptographicHash::Sha256);
    }
    static std::string show(const ToolRun& r)
    {
        return QStringLiteral("exit %1\n%2\n%3").arg(r.exitCode).arg(r.out, r.err).toStdString();
    }
};

const char kCustomersMap[] = "Telefon=Phone,Vlasnik=ContactName,Adresa=Address,Mesto=City";

} // namespace

TEST_F(Import, AccessTablesOfBothEditionsThroughAColumnMapKeepValuesAndReportSkippedRows)
{
    // Access 97: numbers become text; rows without one are skipped.
    const QString jet3 = testsupport::accessFixturePath("compIndexTestV1997.mdb");
    const QByteArray before = sha(jet3);
    const QString report = dir.path("skipped.csv");
    ToolRun r =
        runTool({"import", jet3, out(), "--table", "Table1", "--map",
                 "Telefon=CD_AGENTE,Vlasnik=RS_AGENTE,Adresa=DC_AGENTE", "--report", report});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(r.out.contains("Imported 510 of 512 rows")) << show(r);
    EXPECT_TRUE(r.out.contains("2  empty number")) << show(r);
    EXPECT_TRUE(r.out.contains("Mesto is left empty")) << show(r);
    EXPECT_EQ(sha(jet3), before); // the source is only read
    const QStringList tel = column("Telefon");
    ASSERT_EQ(tel.size(), 510);
    EXPECT_EQ(tel.mid(0, 3), QStringList({"19", "27", "35"}));
    EXPECT_EQ(column("Vlasnik").value(0), "abc");
    EXPECT_EQ(column("Adresa").value(0), "def");
    EXPECT_EQ(column("Mesto").value(0), "<null>");
    EXPECT_EQ(QString::fromUtf8(TempDir::read(report)).split('\n', Qt::SkipEmptyParts),
              QStringList({"row,reason,Telefon,Vlasnik,Adresa,Mesto,Napomena",
                           "511,empty number,,abc,ddd,,", "512,empty number,,abc,efg,,"}));

    // Access 2003: text in any script; the row too long for Vlasnik is skipped.
    const QString jet4 = dir.path("unicode-imenik.mdb");
    r = runTool({"import", testsupport::accessFixturePath("testUnicodeCompV2003.mdb"), jet4,
                 "--table", "Table", "--map", "Telefon=ID,Vlasnik=Unicode,Adresa=Unicode"});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(r.out.contains("Imported 7 of 8 rows")) << show(r);
    EXPECT_TRUE(r.out.contains("1  value longer than the declared size")) << show(r);
    EXPECT_EQ(column("Telefon", jet4), QStringList({"1", "2", "3", "4", "5", "6", "7"}));
    const QStringList owners = column("Vlasnik", jet4);
    ASSERT_EQ(owners.size(), 7);
    EXPECT_EQ(owners[1], "ääkkösiä");
    EXPECT_EQ(owners[2], "Мир");
    EXPECT_EQ(owners[4], "漢字仮名交じり文");
    EXPECT_EQ(column("Adresa", jet4), owners);

    // Access 97 text in the Serbian code page, as recorded and as given.
    const QString serbian = dir.write("srpski.mdb", testsupport::cleanAccessCp1250());
    const QString out2 = dir.path("srpski-imenik.mdb");
    const char* map = "Telefon=CD_AGENTE,Vlasnik=RS_AGENTE,Adresa=DC_AGENTE";
    r = runTool({"import", serbian, out2, "--table=Table1", "--map", map});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(column("Vlasnik", out2).value(0), "Šćđ");
    r = runTool({"import", serbian, out2, "--force", "--table", "Table1", "--map", map,
                 "--codepage", "1252"});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(column("Vlasnik", out2).value(509), "Šæð");
}

TEST_F(Import, AccessTableThroughAColumnMapKeepsValuesAndReportsTheSkippedRow)
{
    REQUIRE_LOCAL_ACCESS_FIXTURES();
    const QString source = dir.write("nwind.mdb", testsupport::accessFixture("nwind.mdb"));
    const QByteArray before = sha(source);
    const QString report = dir.path("skipped.csv");
    const ToolRun r = runTool({"import", source, out(), "--table", "Customers", "--map",
                               kCustomersMap, "--report", report});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(r.out.contains("Imported 90 of 91 rows")) << show(r);
    EXPECT_TRUE(r.out.contains("Napomena is left empty")) << show(r);
    EXPECT_EQ(sha(source), before); // the source is only read

    const QStringList tel = column("Telefon"), owner = column("Vlasnik"),
                      address = column("Adresa"), city = column("Mesto"), note = column("Napomena");
    ASSERT_EQ(tel.size(), 90);
    EXPECT_EQ(QStringList({tel[0], owner[0], address[0], city[0], note[0]}),
              QStringList({"030-0074321", "Maria Anders", "Obere Str. 57", "Berlin", "<null>"}));
    const qsizetype bergs = owner.indexOf("Christina Berglund");
    ASSERT_GE(bergs, 0);
    EXPECT_EQ(address[bergs], "Berguvsvägen  8");
    EXPECT_EQ(city[bergs], "Luleå");
    EXPECT_TRUE(address.contains("City Center Plaza\r\n516 Main St."));

    // The one number of 17 characters does not fit in 16.
    const QStringList lines =
        QString::fromUtf8(TempDir::read(report)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], "row,reason,Telefon,Vlasnik,Adresa,Mesto,Napomena");
    EXPECT_TRUE(lines[1].startsWith("76,\"value longer than the declared size (Telefon has 17"))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains("(071) 23 67 22 20,Pascale Cartrain"));

    // Access 97 text in the Serbian code page, as recorded and as given.
    const QString serbian = dir.write("srpski.mdb", testsupport::accessCp1250());
    const QString out2 = dir.path("srpski-imenik.mdb");
    ASSERT_EQ(
        runTool({"import", serbian, out2, "--table=Customers", "--map", kCustomersMap}).exitCode,
        0);
    EXPECT_EQ(column("Vlasnik", out2).value(0), "Đurđe Šćekić");
    const ToolRun western = runTool({"import", serbian, out2, "--force", "--table", "Customers",
                                     "--map", kCustomersMap, "--codepage", "1252"});
    ASSERT_EQ(western.exitCode, 0) << show(western);
    EXPECT_EQ(column("Vlasnik", out2).value(0), "Ðurðe Šæekiæ");
}

TEST_F(Import, AccessFilesAreReadByTheReaderBesideTheToolWhateverTheEnvironmentSays)
{
    const QString source = testsupport::accessFixturePath("testUnicodeCompV2003.mdb");
    const QString mark = dir.path("started");
    const QString impostor =
        dir.write("impostor.sh", "#!/bin/sh\ntouch '" + QFile::encodeName(mark) + "'\nexit 3\n");
    QFile::setPermissions(impostor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VIDRA_LEGACY_READER", impostor);
    const ToolRun r = runTool(
        {"import", source, out(), "--table", "Table", "--map", "Telefon=ID,Vlasnik=ID,Adresa=ID"},
        env);
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(r.out.contains("Imported 8 of 8 rows")) << show(r);
    EXPECT_EQ(column("Vlasnik"), QStringList({"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_FALSE(QFile::exists(mark));
}

TEST_F(Import, CsvRowsFollowTheRecordRulesAndTheQuotingRules)
{
    const QString fifty = QString(50, u'Ž'); // fits: sizes count characters, not bytes
    const QByteArray csv =
        "\xEF\xBB\xBF" // a byte-order mark before the header
        "Mesto,TELEFON,Vlasnik,Adresa,Napomena,Extra\r\n"
        "Kostelin,011/1,\"Perić, Ana\",\"Ulica \"\"A\"\" 1\",\"prvi red\r\ndrugi red\",x\r\n"
        "Brod,011/2,Marko,Trg 2,,\r\n"
        "\r\n" // a blank line is no record
        "Brod,,Nema Broja,Trg 3,,\r\n"
        "Brod,   ,Prazan Broj,Trg 3,,\r\n"
        "Brod,011/1,Drugi Sa Istim,Trg 4,,\r\n"
        "Brod,011/3,,Trg 5,,\r\n"
        "Brod,011/4,Bez Adrese,,,\r\n"
        "Brod,011/5," +
        fifty.toUtf8() +
        ",Trg 6,,\r\n"
        "Brod,011/6," +
        fifty.toUtf8() +
        "Ž,Trg 7,,\r\n"
        "Brod,01234567890123456,Predug Broj,Trg 8,,\r\n"
        "Brod,011/7,Malo Polja\r\n"
        "Brod,011/8,Poslednji,Trg 9,\"\",y"; // no line end at the end
    const QString source = dir.write("stari.csv", csv);
    const QString report = dir.path("r.csv");
    const ToolRun r = runTool({"import", source, out(), "--report", report});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    // A number of blanks has characters, as in the editor: it is kept.
    EXPECT_TRUE(r.out.contains("Imported 5 of 12 rows")) << show(r);
    for (const char* line : {"1  empty number", "1  missing owner", "1  missing address",
                             "2  value longer than the declared size", "1  duplicate number",
                             "1  wrong number of fields"})
        EXPECT_TRUE(r.out.contains(QLatin1String(line))) << line << "\n" << show(r);

    EXPECT_EQ(column("Telefon"), QStringList({"011/1", "011/2", "   ", "011/5", "011/8"}));
    EXPECT_EQ(column("Vlasnik"),
              QStringList({"Perić, Ana", "Marko", "Prazan Broj", fifty, "Poslednji"}));
    EXPECT_EQ(column("Adresa").value(0), "Ulica \"A\" 1");
    EXPECT_EQ(column("Mesto").value(0), "Kostelin");
    // Line breaks inside quotes survive; an empty field is null, "" is empty text.
    EXPECT_EQ(column("Napomena"),
              QStringList({"prvi red\r\ndrugi red", "<null>", "<null>", "<null>", ""}));

    // Rows are numbered by the line they start on.
    const QString rep = QString::fromUtf8(TempDir::read(report));
    EXPECT_TRUE(rep.contains("6,empty number,,Nema Broja")) << rep.toStdString();
    EXPECT_TRUE(rep.contains("8,duplicate number (first on row 2),011/1,Drugi Sa Istim"))
        << rep.toStdString();
    EXPECT_TRUE(rep.contains("12,\"value longer than the declared size (Vlasnik has 51 characters, "
                             "at most 50 fit)\""))
        << rep.toStdString();
    EXPECT_TRUE(rep.contains("14,\"wrong number of fields (3, the header has 6)\""))
        << rep.toStdString();

    // Semicolons are found out from the header line; a map renames columns.
    const QString semi =
        dir.write("tacka-zarez.csv", "broj;ime;ulica\n011;Ana;Trg 1\n012;Jova;Trg 2\n");
    const QString out2 = dir.path("b.mdb");
    const ToolRun s =
        runTool({"import", semi, out2, "--map", "Telefon=broj,Vlasnik=IME,Adresa=ulica"});
    ASSERT_EQ(s.exitCode, 0) << show(s);
    EXPECT_EQ(column("Vlasnik", out2), QStringList({"Ana", "Jova"}));
    EXPECT_EQ(column("Mesto", out2), QStringList({"<null>", "<null>"}));
}

TEST_F(Import, FailuresSayWhyAndLeaveNoFileBehind)
{
    // Thousands of good rows, then a quote that never closes.
    QByteArray csv = "Telefon,Vlasnik,Adresa\n";
    for (int i = 0; i < 5000; ++i)
        csv += QByteArray::number(100000 + i) + ",Ime " + QByteArray::number(i) + ",Ulica\n";
    csv += "999,\"Nezatvoren,Ulica\n";
    const QString broken = dir.write("broken.csv", csv);
    const QStringList before = entries(folder());
    ToolRun r = runTool({"import", broken, out()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("line 5002: a quoted field is not closed")) << show(r);
    EXPECT_EQ(entries(folder()), before);

    // Over an existing directory with --force: the old file stays as it was.
    const QString keep = dir.write("postojeci.mdb", "the directory an operator relies on");
    r = runTool({"import", broken, keep, "--force"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(TempDir::read(keep), "the directory an operator relies on");

    struct Case
    {
        QStringList args;
        const char* message;
    };
    const QString good = dir.write("good.csv", "Telefon,Vlasnik,Adresa\n1,A,B\n");
    const QString dbFile = dir.path("sqlite.mdb");
    testsupport::createDirectoryFile(dbFile, {});
    const Case cases[] = {
        {{"import", good}, "import needs SOURCE and DEST"},
        {{"import", good, out(), "--map", "Broj=Telefon"}, "--map expects FIELD=COLUMN"},
        {{"import", good, out(), "--map", "Telefon="}, "names no column for Telefon"},
        {{"import", good, out(), "--codepage", "latin"}, "--codepage expects"},
        {{"import", good, out(), "--table", "Vlasnici"}, "for Access files"},
        {{"import", good, good}, "the same file"},
        {{"import", good, keep}, "already exists"},
        {{"import", dir.path("nema.csv"), out()}, "does not exist"},
        {{"import", dbFile, out()}, "already a directory file"},
        {{"import", dir.write("bin.csv", QByteArray("Telefon\0\x01\x02", 10)), out()},
         "neither an Access file nor a CSV text file"},
        {{"import", dir.write("latin.csv", "Telefon,Vlasnik,Adresa\n1,P\xE9ric,B\n"), out()},
         "row 2: Vlasnik is not UTF-8 text"},
        {{"import", dir.write("header.csv", "Broj,Ime\n1,A\n"), out()},
         "no column 'Telefon' for Telefon"},
        {{"import", dir.write("empty.csv", ""), out()}, "needs a header line"},
    };
    for (const Case& c : cases) {
        const QStringList inFolder = entries(folder());
        const ToolRun run = runTool(c.args);
        EXPECT_NE(run.exitCode, 0) << c.message;
        EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << c.message << "\n" << show(run);
        EXPECT_EQ(entries(folder()), inFolder) << c.message;
    }
    EXPECT_EQ(TempDir::read(keep), "the directory an operator relies on");
}

TEST_F(Import, DamagedAccessFilesFailCleanly)
{
    const QByteArray jet3 = testsupport::accessFixture("compIndexTestV1997.mdb");
    ASSERT_FALSE(jet3.isEmpty());
    const QByteArray cuts[] = {jet3.left(jet3.size() / 2), jet3.left(jet3.size() / 2 / 2048 * 2048),
                               jet3.left(3 * 2048)};
    for (const QByteArray& bytes : cuts) {
        const QString source = dir.write("cut.mdb", bytes);
        const QStringList before = entries(folder());
        const ToolRun r = runTool({"import", source, out(), "--table", "Table1", "--map",
                                   "Telefon=CD_AGENTE,Vlasnik=RS_AGENTE,Adresa=DC_AGENTE"});
        EXPECT_EQ(r.exitCode, 1) << show(r);
        EXPECT_TRUE(r.err.startsWith("vidra-db: ")) << show(r);
        EXPECT_EQ(entries(folder()), before);
    }
    const ToolRun wrong = runTool({"import", dir.write("n.mdb", jet3), out()});
    EXPECT_TRUE(wrong.err.contains("has no table 'Vlasnici'; its tables are: 'Table1'"))
        << show(wrong);
}
