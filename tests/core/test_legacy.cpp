// Access files of the program's earlier years: the reader process on the
// real fixtures, on damaged copies and against a misbehaving reader, and a
// legacy directory opened through the engine.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/legacy/LegacyReader.h"
#include "support/ErrorOf.h"
#include "support/LegacyFixtures.h"
#include "support/TempDir.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <map>

using namespace vidra;
using testsupport::errorOf;
using testsupport::TempDir;

namespace {

struct Read
{
    std::vector<legacy::Column> columns;
    std::vector<QStringList> rows; // a null QString for null
    std::uint64_t expected = 0;
    QString column(const QString& name, size_t row) const
    {
        for (size_t c = 0; c < columns.size(); ++c)
            if (columns[c].name == name) return rows.at(row).at(qsizetype(c));
        ADD_FAILURE() << "no column " << name.toStdString();
        return QString();
    }
    int nulls(const QString& name) const
    {
        int n = 0;
        for (size_t r = 0; r < rows.size(); ++r)
            n += column(name, r).isNull();
        return n;
    }
};

Read readAll(const QString& file, const QString& table, const QStringList& columns = {},
             int codePage = 0)
{
    Read out;
    legacy::Request req;
    req.file = file;
    req.table = table;
    req.columns = columns;
    req.codePage = codePage;
    legacy::readTable(
        req,
        [&](const std::vector<legacy::Column>& c, std::uint64_t expected) {
            out.columns = c;
            out.expected = expected;
        },
        [&](const std::vector<legacy::Cell>& cells) {
            QStringList row;
            for (const auto& c : cells)
                row << (c.null ? QString() : QString::fromUtf8(c.data, qsizetype(c.size)));
            out.rows.push_back(row);
        });
    return out;
}

QByteArray sha(const QString& path)
{
    return QCryptographicHash::hash(TempDir::read(path), QCryptographicHash::Sha256);
}

class Legacy : public ::testing::Test
{
protected:
    TempDir dir;
    static QString fixture(const char* name) { return testsupport::accessFixturePath(name); }
};

} // namespace

// What every clone of the project can read: the licence-clean files kept
// with the tests, and no others.
TEST(AccessFixtures, AJet3AndTwoJet4FilesAreKeptWithTheTestsUnderTheirLicence)
{
    const QDir dir(testsupport::cleanFixtureDir());
    struct Kept
    {
        const char* name;
        legacy::JetVersion version;
        const char* sha256;
    };
    const Kept kept[] = {
        {"compIndexTestV1997.mdb", legacy::JetVersion::Jet3, "4fc5df33437e4f8c"},
        {"overflowTestV2000.mdb", legacy::JetVersion::Jet4, "3e56f34bf57ab765"},
        {"testUnicodeCompV2003.mdb", legacy::JetVersion::Jet4, "44533b58271b668c"},
    };
    QStringList names;
    for (const Kept& k : kept) {
        const QString path = dir.filePath(QLatin1String(k.name));
        names << QLatin1String(k.name);
        EXPECT_EQ(legacy::probeFile(path).version, k.version) << k.name;
        EXPECT_EQ(sha(path).toHex().left(16), QByteArray(k.sha256)) << k.name;
        EXPECT_EQ(testsupport::accessFixturePath(k.name), path) << k.name;
    }
    // Files without a licence that allows it never join them.
    EXPECT_EQ(dir.entryList({"*.mdb", "*.MDB", "*.accdb"}, QDir::Files), names);
    EXPECT_TRUE(TempDir::read(dir.filePath("LICENSE-Apache-2.0.txt")).contains("Apache License"));
    EXPECT_TRUE(TempDir::read(dir.filePath("README.md")).contains("Apache License"));
}

TEST_F(Legacy, Access97FileGivesItsTableWithItsNumbersTextAndNulls)
{
    const Read t = readAll(fixture("compIndexTestV1997.mdb"), "table1");
    ASSERT_EQ(t.rows.size(), 512u);
    EXPECT_EQ(t.expected, 512u);
    ASSERT_EQ(t.columns.size(), 3u);
    EXPECT_EQ(t.columns[0].name, "CD_AGENTE");
    EXPECT_EQ(t.columns[0].kind, legacy::ColumnKind::Other);
    EXPECT_EQ(t.columns[1].name, "RS_AGENTE");
    EXPECT_EQ(t.columns[1].kind, legacy::ColumnKind::Text);
    EXPECT_EQ(t.columns[1].size, 55);
    EXPECT_EQ(t.rows[0], QStringList({"19", "abc", "def"}));
    EXPECT_EQ(t.rows[1], QStringList({"27", "abc", "def"}));
    EXPECT_EQ(t.rows[2], QStringList({"35", "abc", "def"}));
    EXPECT_EQ(t.rows[510], QStringList({QString(), "abc", "ddd"}));
    EXPECT_EQ(t.rows[511], QStringList({QString(), "abc", "efg"}));
    EXPECT_EQ(t.nulls("CD_AGENTE"), 2);
    EXPECT_EQ(t.nulls("DC_AGENTE"), 0);
    // Columns asked for come in the order asked.
    const Read some =
        readAll(fixture("compIndexTestV1997.mdb"), "Table1", {"dc_agente", "CD_AGENTE"});
    ASSERT_EQ(some.rows.size(), 512u);
    EXPECT_EQ(some.rows[0], QStringList({"def", "19"}));
}

TEST_F(Legacy, Access97FileGivesItsTablesWithRealValuesNullsAndLineBreaks)
{
    REQUIRE_LOCAL_ACCESS_FIXTURES();
    const Read c = readAll(fixture("nwind.mdb"), "customers"); // names match case-blind
    ASSERT_EQ(c.rows.size(), 91u);
    EXPECT_EQ(c.expected, 91u);
    ASSERT_EQ(c.columns.size(), 11u);
    EXPECT_EQ(c.columns[9].name, "Phone");
    EXPECT_EQ(c.columns[9].size, 24);
    EXPECT_EQ(c.rows[0], QStringList({"ALFKI", "Alfreds Futterkiste", "Maria Anders",
                                      "Sales Representative", "Obere Str. 57", "Berlin", QString(),
                                      "12209", "Germany", "030-0074321", "030-0076545"}));
    EXPECT_EQ(c.column("CompanyName", 4), "Berglunds snabbköp");
    EXPECT_EQ(c.column("CompanyName", 4).size(), 18);
    EXPECT_EQ(c.column("Address", 4), "Berguvsvägen  8"); // double space kept
    EXPECT_EQ(c.column("City", 4), "Luleå");
    EXPECT_EQ(c.column("CompanyName", 90), "Wolski  Zajazd");
    EXPECT_EQ(c.nulls("Fax"), 22);
    EXPECT_EQ(c.nulls("Region"), 60);
    EXPECT_EQ(c.nulls("Phone"), 0);
    int crlf = 0;
    for (size_t r = 0; r < c.rows.size(); ++r) {
        if (c.column("CustomerID", r) == "HUNGC") {
            EXPECT_EQ(c.column("Address", r), "City Center Plaza\r\n516 Main St.");
        }
        crlf += c.column("Address", r).contains("\r\n");
    }
    EXPECT_EQ(crlf, 8);

    // Memo columns arrive whole and apart from nulls.
    const Read s = readAll(fixture("nwind.mdb"), "Suppliers");
    ASSERT_EQ(s.rows.size(), 29u);
    EXPECT_EQ(s.columns.back().kind, legacy::ColumnKind::Memo);
    EXPECT_EQ(s.column("HomePage", 1), "#CAJUN.HTM#");
    EXPECT_EQ(s.nulls("HomePage"), 24);
    EXPECT_EQ(s.column("CompanyName", 28), "Forêts d'érables");
    EXPECT_EQ(s.column("Region", 28), "Québec");

    const Read e = readAll(fixture("nwind.mdb"), "Employees", {"LastName", "Notes", "ReportsTo"});
    ASSERT_EQ(e.rows.size(), 9u);
    EXPECT_EQ(e.rows[0][0], "Davolio");
    EXPECT_EQ(e.rows[0][1].toUtf8().size(), 175);
    EXPECT_TRUE(e.rows[0][1].startsWith("Education includes a BA in psychology"));
    EXPECT_EQ(e.rows[1][1].toUtf8().size(), 448);
    EXPECT_EQ(e.nulls("ReportsTo"), 1);

    // A table whose name is not ASCII.
    EXPECT_EQ(readAll(fixture("nwind.mdb"), "UMSÄTZE").rows.size(), 830u);
}

TEST_F(Legacy, Access2000FilesGiveUnicodeMemoAndSparseRows)
{
    const Read u = readAll(fixture("testUnicodeCompV2003.mdb"), "Table", {"Unicode"});
    ASSERT_EQ(u.rows.size(), 8u);
    EXPECT_EQ(u.columns[0].size, 255);
    const QStringList want{"only ascii chars", "ääkkösiä", "Мир", "ϰαὶ τότ' ἐγὼ Κύϰλωπα",
                           "漢字仮名交じり文"};
    // The file's Greek uses the oxia forms, which are the tonos ones canonically.
    for (qsizetype i = 0; i < want.size(); ++i)
        EXPECT_EQ(u.rows[size_t(i)][0].normalized(QString::NormalizationForm_C),
                  want[i].normalized(QString::NormalizationForm_C));
    EXPECT_EQ(u.rows[6][0], "ümlaut");
    QString all;
    for (char16_t ch = 1; ch <= 0xFF; ++ch)
        all += QChar(ch);
    EXPECT_EQ(u.rows[7][0], all);
    EXPECT_EQ(u.rows[7][0].toUtf8().size(), 383);

    // A deleted column and rows written before later columns existed.
    const Read o = readAll(fixture("overflowTestV2000.mdb"), "Table1");
    ASSERT_EQ(o.rows.size(), 7u);
    std::vector<std::map<QString, QString>> present(7);
    for (size_t r = 0; r < 7; ++r)
        for (size_t c = 0; c < o.columns.size(); ++c)
            if (!o.rows[r][qsizetype(c)].isNull())
                present[r][o.columns[c].name] = o.rows[r][qsizetype(c)];
    using M = std::map<QString, QString>;
    EXPECT_EQ(present[0], (M{{"data1", "row1col1"}}));
    EXPECT_EQ(present[1], (M{{"data1", "row2col1"}, {"data3", "row2col3"}}));
    EXPECT_EQ(present[3], (M{{"data3", "row6col2"}, {"data4", "row6col3"}}));
    EXPECT_EQ(present[5], (M{{"data3", "row3col3"}, {"data9", "row3col9"}}));
    EXPECT_EQ(present[6], (M{{"data3", "row5col2"}}));
}

TEST_F(Legacy, Access2000MemoKeepsItsLineBreaks)
{
    REQUIRE_LOCAL_ACCESS_FIXTURES();
    const Read d =
        readAll(fixture("DateTestDatabase.mdb"), "DateTest", {"LongTextCol", "ShortTextCol"});
    ASSERT_EQ(d.rows.size(), 6u);
    EXPECT_EQ(d.rows[0], QStringList({"Hello", "Hello"}));
    EXPECT_EQ(d.rows[4][0], "Escaped new line \\r\\n in field");
    EXPECT_EQ(d.rows[5], QStringList({"New line\r\nin field", "No new line"}));
}

TEST_F(Legacy, Access97TextFollowsTheCodePageOfTheFileOrTheOneGiven)
{
    const QString clean = dir.write("kodna-strana.mdb", testsupport::cleanAccessCp1250());
    const Read serbian = readAll(clean, "Table1", {"RS_AGENTE", "DC_AGENTE"});
    ASSERT_EQ(serbian.rows.size(), 512u);
    for (const QStringList& row : serbian.rows)
        ASSERT_EQ(row[0], "Šćđ") << row.join(',').toStdString();
    EXPECT_EQ(serbian.rows[0][1], "def");
    // The same bytes read as Western European text, as the library would.
    const Read western = readAll(clean, "Table1", {"RS_AGENTE"}, 1252);
    ASSERT_EQ(western.rows.size(), 512u);
    EXPECT_EQ(western.rows[0][0], "Šæð");
    EXPECT_EQ(western.rows[511][0], "Šæð");
    EXPECT_NE(errorOf([&] { readAll(clean, "Table1", {}, 99999); }), "<no error>");
}

TEST_F(Legacy, NorthwindTextFollowsTheCodePageOfTheFileOrTheOneGiven)
{
    REQUIRE_LOCAL_ACCESS_FIXTURES();
    const QString f = dir.write("srpski.mdb", testsupport::accessCp1250());
    EXPECT_EQ(readAll(f, "Customers", {"ContactName"}).rows[0][0], "Đurđe Šćekić");
    // The same bytes read as Western European text, as the library would.
    EXPECT_EQ(readAll(f, "Customers", {"ContactName"}, 1252).rows[0][0], "Ðurðe Šæekiæ");
    EXPECT_EQ(readAll(f, "Customers", {"ContactName"}).rows[1][0], "Ana Trujillo");
}

TEST_F(Legacy, UnusableRequestsAndReadersAreErrorsWithAReason)
{
    const QString jet3 = fixture("compIndexTestV1997.mdb");
    const QString noTable = errorOf([&] { readAll(jet3, "Vlasnici"); });
    EXPECT_TRUE(noTable.contains("no table 'Vlasnici'")) << noTable.toStdString();
    EXPECT_TRUE(noTable.contains("its tables are: 'Table1'")) << noTable.toStdString();
    EXPECT_TRUE(errorOf([&] {
                    readAll(jet3, "Table1", {"RS_AGENTE", "Telefon"});
                }).contains("no column 'Telefon'"));
    if (!testsupport::localFixtureDir().isEmpty()) { // the only file with a binary column
        EXPECT_TRUE(errorOf([&] {
                        readAll(fixture("nwind.mdb"), "Employees", {"Photo"});
                    }).contains("binary"));
    }

    // Readers that are missing, crash, hang or talk nonsense.
    const auto script = [&](const char* name, const QByteArray& body) {
        const QString p = dir.write(name, "#!/bin/sh\n" + body + "\n");
        QFile::setPermissions(p, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return p;
    };
    struct Restore
    {
        const QString program = legacy::readerProgram();
        ~Restore()
        {
            legacy::setReaderProgram(program);
            legacy::setStallTimeout(0);
        }
    } restore;
    legacy::setStallTimeout(500);
    const std::pair<QString, const char*> cases[] = {
        {dir.path("nowhere/reader"), "not installed"},
        {script("crash.sh", "kill -SEGV $$"), "signal 11"},
        {script("hang.sh", "exec sleep 30"), "stopped making progress"},
        {script("noisy.sh", "while :; do echo complaint >&2; done"), "stopped making progress"},
        {script("babble.sh", "echo this is not the stream"), "cannot be understood"},
        {script("quiet.sh", "echo 'library complaint' >&2; exit 4"),
         "exit status 4): library complaint"},
        {script("short.sh", "printf 'VLR1T'"), "exit status 0"},
    };
    for (const auto& [program, expected] : cases) {
        legacy::setReaderProgram(program);
        const QString msg = errorOf([&] { readAll(jet3, "Table1"); });
        EXPECT_TRUE(msg.contains(QLatin1String(expected)))
            << program.toStdString() << ": " << msg.toStdString();
    }
}

TEST_F(Legacy, DamagedCopiesAreErrorsAndNeverBringTheProgramDown)
{
    struct Source
    {
        const char* file;
        const char* table;
        size_t rows;
    };
    const Source sources[] = {{"compIndexTestV1997.mdb", "Table1", 512},
                              {"testUnicodeCompV2003.mdb", "Table", 8},
                              {"overflowTestV2000.mdb", "Table1", 7},
                              {"nwind.mdb", "Customers", 91},
                              {"DateTestDatabase.mdb", "DateTest", 6}};
    QRandomGenerator rng(20261208);
    int tried = 0, refused = 0, cutsTried = 0;
    for (const Source& s : sources) {
        const QByteArray good = testsupport::accessFixture(s.file);
        if (good.isEmpty()) continue; // one of those not on every machine
        ASSERT_EQ(readAll(fixture(s.file), s.table).rows.size(), s.rows) << s.file;
        const qsizetype page = good.at(20) == 0 ? 2048 : 4096;
        // Cut short: every one is refused. (Only the last page can go
        // unnoticed, when the table does not reach it; it is among the
        // scribbles below.)
        const qsizetype cuts[] = {
            0, 100, page, 2 * page, 3 * page, good.size() / 2 / page * page, good.size() - 1};
        for (const qsizetype cut : cuts) {
            const QString f = dir.write("cut.mdb", good.left(cut));
            ++tried;
            ++cutsTried;
            const QString msg = errorOf([&] { readAll(f, s.table); });
            EXPECT_NE(msg, "<no error>") << s.file << " cut at " << cut;
            refused += msg != "<no error>";
        }
        // Scribbled on: refused, or read with the right number of rows.
        for (int round = 0; round < 12; ++round) {
            QByteArray bad = round == 0 ? good.left(good.size() - page) : good;
            const int hits = 1 + int(rng.bounded(64));
            for (int h = 0; h < hits; ++h)
                bad[qsizetype(rng.bounded(quint64(bad.size() - 32))) + 32] = char(rng.bounded(256));
            if (round % 4 == 0) // a whole page of zeros
                bad.replace(page * (1 + qsizetype(rng.bounded(quint64(bad.size() / page - 1)))),
                            page, QByteArray(page, '\0'));
            const QString f = dir.write("bad.mdb", bad);
            ++tried;
            try {
                const Read r = readAll(f, s.table);
                EXPECT_EQ(r.rows.size(), r.expected) << s.file << " round " << round;
            } catch (const DbError&) {
                ++refused;
            }
        }
    }
    std::cout << "[ legacy ] damaged copies tried: " << tried << ", refused: " << refused << "\n";
    EXPECT_GE(cutsTried, 21); // the three files kept with the tests at least
    EXPECT_GE(refused, cutsTried);
}

TEST(LegacyReaderProgram, IsTheOneBesideTheProgramOrTheOneSetNeverOneFromTheEnvironment)
{
    TempDir dir;
    // A reader that leaves a mark when it is started.
    const QString mark = dir.path("started");
    const QString impostor =
        dir.write("impostor.sh", "#!/bin/sh\ntouch '" + QFile::encodeName(mark) + "'\nexit 3\n");
    QFile::setPermissions(impostor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString built = legacy::readerProgram();
    struct Restore
    {
        QString program;
        ~Restore()
        {
            legacy::setReaderProgram(program);
            qunsetenv("VIDRA_LEGACY_READER");
        }
    } restore{built};
    qputenv("VIDRA_LEGACY_READER", QFile::encodeName(impostor));

    // Nothing set: the one beside this test program, where there is none.
    legacy::setReaderProgram(QString());
    const QString beside =
        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2) +
        QStringLiteral("/vidra-legacy-reader");
    EXPECT_EQ(legacy::readerProgram().toStdString(), beside.toStdString());
    const QString msg = errorOf([&] { readAll(dir.write("x.mdb", "not read"), "Vlasnici"); });
    EXPECT_TRUE(msg.contains("not installed (" + beside + ")")) << msg.toStdString();
    EXPECT_FALSE(QFile::exists(mark));

    // Set: that one, which answers for itself.
    legacy::setReaderProgram(built);
    EXPECT_EQ(legacy::readerProgram().toStdString(), built.toStdString());
    const QString answer = errorOf([&] { readAll(dir.write("y.mdb", "not read"), "Vlasnici"); });
    EXPECT_TRUE(answer.contains("the file is not an Access database")) << answer.toStdString();
    EXPECT_FALSE(QFile::exists(mark));
}

// ------------------------------------------------------------ the engine

namespace {

QString connectionTextFor(const QString& path)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
           Connection::quoteValue(path) + QStringLiteral(";Persist Security Info=False");
}

} // namespace

TEST_F(Legacy, Access2000DirectoryOpensReadOnlyWithItsRowsAndNulls)
{
    // Told apart by its first page: this name would suggest anything else.
    const QString f = dir.write("imenik.sqlite", testsupport::cleanAccessDirectory());
    const QByteArray before = sha(f);
    Connection conn;
    Table t(QStringLiteral("Imenik"));
    conn.setConnectionText(connectionTextFor(f));
    conn.open();
    EXPECT_TRUE(conn.isLegacy());
    EXPECT_TRUE(conn.isReadOnly());
    t.SetConnection(&conn);
    t.SetTableName(QStringLiteral("Vlasnici"));
    t.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    t.Open();
    ASSERT_EQ(t.RecordCount(), 7);
    EXPECT_FALSE(t.CanModify());
    QStringList rows;
    for (t.First(); !t.Eof(); t.Next()) {
        QStringList row;
        for (const char* name : {"Telefon", "Vlasnik", "Adresa", "Mesto", "Napomena"})
            row << (t.FieldByName(name).IsNull() ? QStringLiteral("-")
                                                 : t.FieldByName(name).AsString());
        rows << row.join(u'|');
    }
    EXPECT_EQ(rows,
              QStringList({"row1col1|-|-|-|-", "row2col1|row2col3|-|-|-", "row4col1|row4col2|-|-|-",
                           "-|row6col2|row6col3|-|-", "row7col1|-|-|-|row7col7",
                           "-|row3col3|-|row3col9|-", "-|row5col2|-|-|-"}));

    t.SetFilter(QStringLiteral("Vlasnik LIKE 'ROW6*'"));
    t.SetFiltered(true);
    ASSERT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t.FieldByName("Adresa").AsString(), "row6col3");
    t.SetFiltered(false);
    ASSERT_TRUE(t.Locate("Mesto", "row3col9"));
    EXPECT_EQ(t.FieldByName("Vlasnik").AsString(), "row3col3");

    EXPECT_NE(errorOf([&] { t.Insert(); }), "<no error>");
    EXPECT_NE(errorOf([&] { t.Edit(); }), "<no error>");
    EXPECT_NE(errorOf([&] { t.Delete(); }), "<no error>");
    EXPECT_EQ(t.State(), DatasetState::Browse);
    t.Requery(); // reads the file again
    EXPECT_EQ(t.RecordCount(), 7);
    t.Close();
    conn.close();
    EXPECT_EQ(sha(f), before);
}

TEST_F(Legacy, LegacyDirectoryOpensReadOnlyWithItsRowsWhateverItsName)
{
    REQUIRE_LOCAL_ACCESS_FIXTURES();
    // Told apart by its first page: this name would suggest anything else.
    const QString f = dir.write("imenik.sqlite", testsupport::accessDirectory());
    const QByteArray before = sha(f);
    Connection conn;
    Table t(QStringLiteral("Imenik"));
    conn.setConnectionText(connectionTextFor(f));
    conn.open();
    EXPECT_TRUE(conn.isLegacy());
    EXPECT_TRUE(conn.isReadOnly());
    t.SetConnection(&conn);
    t.SetTableName(QStringLiteral("Vlasnici"));
    t.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    t.Open();
    ASSERT_EQ(t.RecordCount(), 77);
    EXPECT_EQ(t.FieldByName("Telefon").AsString(), "1");
    EXPECT_EQ(t.FieldByName("Vlasnik").AsString(), "Chai");
    EXPECT_EQ(t.FieldByName("Adresa").AsString(), "10 boxes x 20 bags");
    EXPECT_EQ(t.FieldByName("Mesto").AsString(), "1");
    EXPECT_EQ(t.FieldByName("Napomena").AsString(), "18.0000");
    EXPECT_FALSE(t.CanModify());

    t.SetFilter(QStringLiteral("Vlasnik LIKE 'guaran*'"));
    t.SetFiltered(true);
    ASSERT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t.FieldByName("Vlasnik").AsString(), "Guaraná Fantástica");
    t.SetFiltered(false);
    EXPECT_FALSE(t.Locate("Vlasnik", "pâté chinois")); // letter case counts
    EXPECT_TRUE(t.Locate("Vlasnik", "Pâté chinois"));
    EXPECT_EQ(t.FieldByName("Vlasnik").AsString(), "Pâté chinois");

    EXPECT_NE(errorOf([&] { t.Insert(); }), "<no error>");
    EXPECT_NE(errorOf([&] { t.Edit(); }), "<no error>");
    EXPECT_NE(errorOf([&] { t.Delete(); }), "<no error>");
    EXPECT_EQ(t.State(), DatasetState::Browse);
    t.Requery(); // reads the file again
    EXPECT_EQ(t.RecordCount(), 77);
    t.Close();
    conn.close();
    EXPECT_EQ(sha(f), before);
}

TEST_F(Legacy, AccessFilesWithoutAUsableDirectoryAreRefused)
{
    struct Case
    {
        const char* name;
        QByteArray bytes;
    };
    const QByteArray directory = testsupport::cleanAccessDirectory();
    const Case cases[] = {
        {"no Vlasnici table", testsupport::accessFixture("compIndexTestV1997.mdb")},
        {"cut on a page", directory.left(directory.size() / 2 / 4096 * 4096)},
        {"cut off a page", directory.left(directory.size() - 100)},
        {"header only", directory.left(4096)},
    };
    for (const Case& c : cases) {
        const QString f = dir.write("old.mdb", c.bytes);
        const QByteArray before = sha(f);
        Connection conn;
        Table t(QStringLiteral("Imenik"));
        t.SetConnection(&conn);
        t.SetTableName(QStringLiteral("Vlasnici"));
        t.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
        conn.setConnectionText(connectionTextFor(f));
        EXPECT_NE(errorOf([&] {
                      conn.open();
                      t.Open();
                  }),
                  "<no error>")
            << c.name;
        EXPECT_FALSE(t.Active()) << c.name;
        EXPECT_EQ(sha(f), before) << c.name;
    }
}
