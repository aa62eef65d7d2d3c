// vidra-db against a PostgreSQL server, run as a separate process the way
// an administrator runs it: the table it makes, sample, import and copy
// into and out of a server, and what is never shown (a password).
#include "data/Schema.h"
#include "platform/db/PgClient.h"
#include "support/PgScratch.h"
#include "support/TempDir.h"
#include "support/ToolRun.h"
#include "tools/SampleData.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <gtest/gtest.h>

using testsupport::entries;
using testsupport::PgScratch;
using testsupport::Row;
using testsupport::runTool;
using testsupport::TempDir;
using testsupport::ToolRun;

namespace {

std::string show(const ToolRun& r)
{
    return QStringLiteral("exit %1\nstdout: %2\nstderr: %3")
        .arg(r.exitCode)
        .arg(r.out, r.err)
        .toStdString();
}

QString folderOf(const TempDir& dir)
{
    return QFileInfo(dir.path(QStringLiteral("x"))).absolutePath();
}

QStringList sorted(QStringList rows)
{
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Every row of the server's directory as the bytes of its values ("-" for
// null), in an order of their own: a server keeps no order of rows.
QStringList serverRows(const PgScratch& db)
{
    QStringList values;
    for (const char* f : {"telefon", "vlasnik", "adresa", "mesto", "napomena"})
        values << QStringLiteral("coalesce(encode(convert_to(%1, 'UTF8'), 'hex'), '-')")
                      .arg(QLatin1String(f));
    return sorted(db.column(QStringLiteral("SELECT concat_ws('|', %1) FROM vlasnici")
                                .arg(values.join(QStringLiteral(", ")))));
}

// The same of a directory file, in the file's own order.
QStringList fileRowsInOrder(const QString& file)
{
    QStringList values;
    for (const vidra::FieldDef& f : vidra::kSubscriberFields)
        values << QStringLiteral("CASE WHEN %1 IS NULL THEN '-' ELSE lower(hex(%1)) END")
                      .arg(QLatin1String(f.name));
    return testsupport::selectColumn(file, QStringLiteral("SELECT %1 FROM Vlasnici ORDER BY rowid")
                                               .arg(values.join(QStringLiteral(" || '|' || "))));
}

QStringList fileRows(const QString& file)
{
    return sorted(fileRowsInOrder(file));
}

// The table's columns, key and indexes as the server's catalog has them.
QStringList tableShape(const PgScratch& db, const QString& table)
{
    QStringList shape = db.column(
        QStringLiteral("SELECT column_name || ' ' || data_type || ' ' || "
                       "coalesce(character_maximum_length::text, '-') || ' ' || is_nullable "
                       "FROM information_schema.columns WHERE table_schema = current_schema() "
                       "AND table_name = '%1' ORDER BY ordinal_position")
            .arg(table));
    shape << db.column(
        QStringLiteral("SELECT contype::text || ' ' || pg_get_constraintdef(oid) FROM "
                       "pg_constraint WHERE conrelid = '%1'::regclass ORDER BY 1")
            .arg(table));
    shape << db.column(QStringLiteral("SELECT count(*) FROM pg_index WHERE indrelid = "
                                      "'%1'::regclass")
                           .arg(table));
    return shape;
}

// Every table and index of the scratch schema: nothing half-built is left.
QStringList relations(const PgScratch& db)
{
    return db.column(QStringLiteral("SELECT relname FROM pg_class WHERE relnamespace = "
                                    "current_schema()::regnamespace ORDER BY 1"));
}

// The URI with a password in its user part, as written there.
QString withRawPassword(const QString& uri, const QString& written)
{
    const qsizetype at = uri.indexOf(u'@');
    return uri.left(at) + u':' + written + uri.mid(at);
}

QString withPassword(const QString& uri, const QString& password)
{
    return withRawPassword(uri, QString::fromUtf8(QUrl::toPercentEncoding(password)));
}

// Rows no store would change: letters of the language, other scripts, a
// letter outside the first plane, the characters COPY escapes, values as
// long as their columns, and null beside empty text.
std::vector<Row> awkwardRows()
{
    const QString n = QString(); // null
    const QString e = QStringLiteral("");
    return {
        {"010/100-001", QString::fromUtf8("Đorđe Šćekić"), QString::fromUtf8("Čika Ljubina 1"),
         QString::fromUtf8("Žabalj"), n},
        {"010/100-003", n, n, n, n},
        {"010/100-002", e, e, e, e},
        {"010/100-000", QString::fromUtf8("ćčžšđ ĆČŽŠĐ Ђорђе"),
         QStringLiteral("tab\there, line\nbreak, cr\rand \\ \\N"), QString::fromUtf8("𝐀 ž"),
         QStringLiteral("note\nof two lines\\.\t")},
        {QString::fromUtf8("0123456789abcdeš"), QString(50, QChar(0x010D)),
         QString(50, QChar(0x0161)), QString(16, QChar(0x0111)), QString(20000, QChar(0x017E))},
        {e, QStringLiteral("Prazan broj"), QStringLiteral("x"), n, n},
    };
}

} // namespace

// --- the client's COPY ... FROM STDIN

TEST(PgCopyIn, RowsArriveExactlyAndAFailedOrAbandonedCopyKeepsNothing)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    vidra::pg::Session s(db.uri());
    s.execScript("CREATE TABLE t (k text PRIMARY KEY, v text)");
    {
        // More than one piece's worth.
        vidra::pg::CopyIn copy(s, "COPY t FROM STDIN");
        for (int i = 0; i < 30000; ++i) {
            const QByteArray line = "k" + QByteArray::number(i) + "\tv\\tx\\\\" + "\xC5\xBE";
            copy.line(line.constData(), size_t(line.size()));
        }
        EXPECT_EQ(copy.finish(), 30000);
    }
    EXPECT_EQ(db.column("SELECT count(*) FROM t"), QStringList{"30000"});
    EXPECT_EQ(db.column("SELECT v FROM t WHERE k = 'k7'"),
              QStringList{QString::fromUtf8("v\tx\\ž")});

    // A key twice, found at once or only after more pieces went over: the
    // server's refusal names the key, and the session goes on.
    for (const int after : {0, 100000}) {
        s.execScript("BEGIN");
        try {
            vidra::pg::CopyIn copy(s, "COPY t FROM STDIN");
            copy.line("k1\tagain", 8);
            for (int i = 0; i < after; ++i) {
                const QByteArray line = "n" + QByteArray::number(i) + "\tx";
                copy.line(line.constData(), size_t(line.size()));
            }
            copy.finish();
            ADD_FAILURE() << "a key taken twice was accepted";
        } catch (const vidra::pg::PgError& e) {
            EXPECT_EQ(e.sqlState(), vidra::pg::kUniqueViolation) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains("(k1)")) << e.message().toStdString();
        }
        s.execScript("ROLLBACK");
    }

    // Given up: the transaction it ran in fails, so nothing of it is kept.
    s.execScript("BEGIN");
    {
        vidra::pg::CopyIn copy(s, "COPY t FROM STDIN");
        copy.line("new\tx", 5);
    }
    EXPECT_THROW(s.exec("SELECT 1"), vidra::pg::PgError);
    s.execScript("ROLLBACK");
    EXPECT_EQ(s.exec("SELECT count(*) FROM t").text(0, 0), "30000");
    EXPECT_THROW(vidra::pg::CopyIn(s, "COPY nowhere FROM STDIN"), vidra::pg::PgError);
    EXPECT_EQ(s.exec("SELECT count(*) FROM t WHERE k = 'new'").text(0, 0), "0");
}

// --- create, sample, import

TEST(VidraDbServer, CreateMakesTheSharedTableAndReplacesOneOnlyWithForce)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    ToolRun r = runTool({"create", db.uri()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(r.err.isEmpty()) << show(r);

    // Exactly what the shared statement makes, under the server's own name
    // for it; the number is the key.
    db.exec(vidra::serverTableDdl(QStringLiteral("reference")));
    const QStringList shape = tableShape(db, "vlasnici");
    EXPECT_EQ(shape,
              QStringList({"telefon character varying 16 NO", "vlasnik character varying 50 YES",
                           "adresa character varying 50 YES", "mesto character varying 16 YES",
                           "napomena text - YES", "p PRIMARY KEY (telefon)", "1"}));
    EXPECT_EQ(shape, tableShape(db, "reference"));
    EXPECT_EQ(relations(db),
              QStringList({"reference", "reference_pkey", "vlasnici", "vlasnici_pkey"}));
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici"), QStringList{"0"});
    db.exec("DROP TABLE reference");

    // An existing directory is kept, rows and all, unless --force.
    db.exec("INSERT INTO vlasnici VALUES ('011/1', 'Ana', 'Ulica 1', NULL, NULL)");
    db.exec("GRANT SELECT, UPDATE ON vlasnici TO PUBLIC");
    r = runTool({"create", db.uri()});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains("already holds a directory") && r.err.contains("--force"))
        << show(r);
    EXPECT_EQ(db.column("SELECT telefon FROM vlasnici"), QStringList{"011/1"});

    // Replaced: empty, the same shape, and the desks keep the rights they had.
    r = runTool({"create", "--force", db.uri()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici"), QStringList{"0"});
    EXPECT_EQ(tableShape(db, "vlasnici"), shape);
    EXPECT_EQ(relations(db), QStringList({"vlasnici", "vlasnici_pkey"}));
    EXPECT_EQ(db.column("SELECT privilege_type FROM information_schema.role_table_grants WHERE "
                        "grantee = 'PUBLIC' AND table_schema = current_schema() ORDER BY 1"),
              QStringList({"SELECT", "UPDATE"}));

    // A table something else depends on cannot be dropped: the run fails
    // as a whole and the directory stays as it was.
    db.exec("INSERT INTO vlasnici VALUES ('011/2', 'Bora', 'Ulica 2', NULL, NULL)");
    db.exec("CREATE VIEW imena AS SELECT vlasnik FROM vlasnici");
    r = runTool({"create", "--force", db.uri()});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains(db.uri())) << show(r);
    EXPECT_EQ(db.column("SELECT telefon FROM vlasnici"), QStringList{"011/2"});
    EXPECT_EQ(relations(db), QStringList({"imena", "vlasnici", "vlasnici_pkey"}));

    // Something that is not a table is never replaced.
    db.exec("DROP VIEW imena; DROP TABLE vlasnici; CREATE VIEW vlasnici AS SELECT 1 AS x");
    r = runTool({"create", "--force", db.uri()});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains("not a table")) << show(r);
    EXPECT_EQ(db.column("SELECT relkind FROM pg_class WHERE relname = 'vlasnici' AND "
                        "relnamespace = current_schema()::regnamespace"),
              QStringList{"v"});
}

TEST(VidraDbServer, SampleFillsTheServerWithTheRowsOfTheFileSample)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    TempDir dir;
    const QString file = dir.path("sample.mdb");
    ToolRun r = runTool({"sample", db.uri(), "--rows", "3000", "--seed", "7"});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    ASSERT_EQ(runTool({"sample", file, "--rows", "3000", "--seed", "7"}).exitCode, 0);
    const QStringList rows = serverRows(db);
    ASSERT_EQ(rows.size(), 3000);
    EXPECT_EQ(rows, fileRows(file));
    const vidra::sample::SampleRow first = vidra::sample::sampleRow(7, 0);
    EXPECT_EQ(
        db.column(
            QStringLiteral("SELECT vlasnik FROM vlasnici WHERE telefon = '%1'").arg(first.telefon)),
        QStringList{first.vlasnik});
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici WHERE mesto IS NULL"),
              testsupport::selectColumn(file, "SELECT count(*) FROM Vlasnici WHERE Mesto IS NULL"));

    // The same rules as for a file: an existing directory needs --force.
    r = runTool({"sample", db.uri(), "--rows", "10"});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici"), QStringList{"3000"});
    r = runTool({"sample", db.uri(), "--rows=10", "--force"});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici"), QStringList{"10"});
}

TEST(VidraDbServer, ImportToAServerAppliesTheRecordRulesAndIsAllOrNothing)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    TempDir dir;
    const QString csv =
        dir.write("imenik.csv", "Telefon,Vlasnik,Adresa,Mesto,Napomena\n"
                                "011/111-111,Đorđe Šćekić,Čačanska 5,Niš,\"prva\nDruga\"\n"
                                ",Bez Broja,Ulica 1,,\n"
                                "011/222-222,,Ulica 2,,\n"
                                "011/333-333,Ana,,Beograd,\n"
                                "011/444-444-444-444,Ana,Ulica 3,,\n"
                                "011/111-111,Dupli,Ulica 4,,\n"
                                "011/555-555,Žarko Ćosić,Ulica 5\n"
                                "011/666-666,Ćirić,\"Tab\tand \\ back\",\\N,\n");
    ToolRun r = runTool({"import", csv, db.uri()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(r.out.contains(
        QStringLiteral("Imported 2 of 8 rows from '%1' into '%2'").arg(csv, db.uri())))
        << show(r);
    for (const char* reason : {"1  empty number", "1  missing owner", "1  missing address",
                               "1  value longer than the declared size", "1  duplicate number",
                               "1  wrong number of fields"})
        EXPECT_TRUE(r.out.contains(reason)) << reason << "\n" << show(r);
    // The server holds what a file import holds, value for value.
    const QString file = dir.path("imenik.mdb");
    ASSERT_EQ(runTool({"import", csv, file}).exitCode, 0);
    EXPECT_EQ(serverRows(db), fileRows(file));
    EXPECT_EQ(db.column("SELECT napomena FROM vlasnici WHERE telefon = '011/111-111'"),
              QStringList{"prva\nDruga"});

    // Refused without --force; with it the table is replaced, not added to.
    const QString other = dir.write("other.csv", "Telefon;Vlasnik;Adresa\n021/1;Mila;Put 1\n");
    r = runTool({"import", other, db.uri()});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains("--force")) << show(r);
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici"), QStringList{"2"});
    r = runTool({"import", other, db.uri(), "--force"});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(db.column("SELECT telefon || ' ' || vlasnik FROM vlasnici"),
              QStringList{"021/1 Mila"});

    // A failure after rows were sent leaves the server as it was.
    QByteArray broken = "Telefon,Vlasnik,Adresa\n";
    for (int i = 0; i < 20000; ++i)
        broken += QStringLiteral("031/%1,Vlasnik %1,Ulica %1\n").arg(i).toUtf8();
    broken += "031/x,\xC3\x28,Ulica\n";
    const QString bad = dir.write("bad.csv", broken);
    r = runTool({"import", bad, db.uri(), "--force"});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains("not UTF-8")) << show(r);
    EXPECT_EQ(db.column("SELECT telefon || ' ' || vlasnik FROM vlasnici"),
              QStringList{"021/1 Mila"});
    EXPECT_EQ(relations(db), QStringList({"vlasnici", "vlasnici_pkey"}));
    db.exec("DROP TABLE vlasnici");
    r = runTool({"import", bad, db.uri()});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(relations(db).isEmpty()) << relations(db).join(' ').toStdString();
}

// --- copy

TEST(VidraDbServer, CopyFromAFileToAServerAndBackKeepsEveryValueByteForByte)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    TempDir dir;
    const QString source = dir.path("data.mdb");
    testsupport::createDirectoryFile(source, awkwardRows());
    ToolRun r = runTool({"copy", source, db.uri()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(r.out, QStringLiteral("Copied 6 rows from '%1' to '%2'.\n").arg(source, db.uri()));
    EXPECT_EQ(serverRows(db), fileRows(source));
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici WHERE mesto IS NULL"), QStringList{"2"});
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici WHERE mesto = ''"), QStringList{"1"});

    const QString back = dir.path("backup.mdb");
    r = runTool({"copy", db.uri(), back});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(fileRows(back), fileRows(source));
    // A server's rows come out by number, as bytes.
    const QStringList numbers =
        testsupport::selectColumn(back, "SELECT hex(Telefon) FROM Vlasnici ORDER BY rowid");
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));

    // The same rows in that order, copied from file to file, give the very
    // same file.
    std::vector<Row> byNumber = awkwardRows();
    std::sort(byNumber.begin(), byNumber.end(),
              [](const Row& a, const Row& b) { return a.telefon.toUtf8() < b.telefon.toUtf8(); });
    const QString ordered = dir.path("ordered.mdb");
    testsupport::createDirectoryFile(ordered, byNumber);
    const QString direct = dir.path("direct.mdb");
    r = runTool({"copy", ordered, direct});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(fileRowsInOrder(direct), fileRowsInOrder(ordered));
    EXPECT_EQ(TempDir::read(direct), TempDir::read(back));

    // Server to server.
    PgScratch other;
    ASSERT_TRUE(other.ok());
    r = runTool({"copy", db.uri(), other.uri()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(serverRows(other), serverRows(db));
}

TEST(VidraDbServer, CopyReplacesAnExistingDestinationOnlyWithForce)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    TempDir dir;
    const QString source = dir.path("data.mdb");
    testsupport::createDirectoryFile(source, awkwardRows());
    ASSERT_EQ(runTool({"create", db.uri()}).exitCode, 0);
    db.exec("INSERT INTO vlasnici VALUES ('011/1', 'Ana', 'Ulica 1', NULL, NULL)");
    const QByteArray precious("somebody's file");
    const QString taken = dir.write("taken.mdb", precious);

    // To a server, from a server, to a file.
    for (const QStringList& args :
         {QStringList{"copy", source, db.uri()}, QStringList{"copy", db.uri(), taken}}) {
        const ToolRun r = runTool(args);
        EXPECT_EQ(r.exitCode, 1) << show(r);
        EXPECT_TRUE(r.err.contains("already") && r.err.contains("--force")) << show(r);
        EXPECT_EQ(db.column("SELECT telefon FROM vlasnici"), QStringList{"011/1"});
        EXPECT_EQ(TempDir::read(taken), precious);
    }
    EXPECT_EQ(entries(folderOf(dir)), QStringList({"data.mdb", "taken.mdb"}));

    ToolRun r = runTool({"copy", "--force", source, db.uri()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(serverRows(db), fileRows(source));
    r = runTool({"copy", db.uri(), taken, "--force"});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(fileRows(taken), fileRows(source));

    // A file is never its own copy; a source that is no directory is refused.
    r = runTool({"copy", source, source, "--force"});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains("same file")) << show(r);
    const QString csv = dir.write("list.csv", "Telefon,Vlasnik,Adresa\n1,a,b\n");
    r = runTool({"copy", csv, dir.path("new.mdb")});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains("not a directory file")) << show(r);
    PgScratch empty;
    ASSERT_TRUE(empty.ok());
    r = runTool({"copy", empty.uri(), dir.path("new.mdb")});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains("no directory")) << show(r);
    EXPECT_FALSE(QFileInfo::exists(dir.path("new.mdb")));

    for (const QStringList& args :
         {QStringList{"copy"}, QStringList{"copy", source}, QStringList{"copy", source, "a", "b"},
          QStringList{"copy", source, "a", "--frob"}}) {
        r = runTool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString() << "\n" << show(r);
    }
}

TEST(VidraDbServer, ASourceTheServersTableCannotHoldLeavesTheDestinationUntouched)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    PgScratch fresh;
    ASSERT_TRUE(fresh.ok());
    TempDir dir;
    ASSERT_EQ(runTool({"create", db.uri()}).exitCode, 0);
    db.exec("INSERT INTO vlasnici VALUES ('011/1', 'Ana', 'Ulica 1', NULL, NULL)");
    const QStringList before = serverRows(db);

    const Row a{"021/100", "Ana", "Put 1", {}, {}};
    const Row b{"021/200", "Bora", "Put 2", {}, {}};
    const Row twice{"021/100", QString::fromUtf8("Đura"), "Put 3", {}, {}};
    const Row noNumber{{}, "Vesna", "Put 4", {}, {}};
    const Row longNumber{"021/300-400-500-6", "Goran", "Put 5", {}, {}};
    const Row nul{"021/700", "Dara", "Put 6", {}, QStringLiteral("a") + QChar(0) + "b"};
    const std::vector<std::pair<std::vector<Row>, QStringList>> cases = {
        {{a, b, {"021/300", "C", "D", {}, {}}, twice}, {"'021/100'", "rows 1 and 4"}},
        {{a, b, noNumber}, {"row 3", "no number"}},
        {{a, longNumber}, {"row 2", "'021/300-400-500-6'", "Telefon has 17 characters"}},
        {{nul}, {"row 1", "Napomena holds a NUL"}},
    };
    int n = 0;
    for (const auto& [rows, mentions] : cases) {
        const QString source = dir.path(QStringLiteral("case%1.mdb").arg(++n));
        testsupport::createDirectoryFile(source, rows);
        for (const PgScratch* dest : {&db, &fresh}) {
            const ToolRun r = runTool({"copy", source, dest->uri(), "--force"});
            EXPECT_EQ(r.exitCode, 1) << show(r);
            for (const QString& m : mentions)
                EXPECT_TRUE(r.err.contains(m)) << m.toStdString() << "\n" << show(r);
            EXPECT_TRUE(r.err.contains(QStringLiteral("'%1' was not changed").arg(dest->uri())))
                << show(r);
            EXPECT_TRUE(r.out.isEmpty()) << show(r);
        }
        EXPECT_EQ(serverRows(db), before);
        EXPECT_EQ(relations(db), QStringList({"vlasnici", "vlasnici_pkey"}));
        EXPECT_TRUE(relations(fresh).isEmpty()) << relations(fresh).join(' ').toStdString();
    }
}

// --- the server's door

TEST(VidraDbServer, PasswordsComeFromWhereLibpqLooksAndAreNeverShown)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    TempDir dir;
    const QString password = qEnvironmentVariable("PGPASSWORD");
    ASSERT_FALSE(password.isEmpty()) << "the test server is reached with a password";
    ASSERT_TRUE(db.uri().contains(u'@'));
    const QString source = dir.path("data.mdb");
    testsupport::createDirectoryFile(source, awkwardRows());
    const QString csv = dir.write("list.csv", "Telefon,Vlasnik,Adresa\n1,a,b\n");

    // No password anywhere: the server refuses, so each success below is
    // the work of its own password.
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    bare.remove("PGPASSWORD");
    bare.remove("PGPASSFILE");
    bare.insert("HOME", folderOf(dir));
    ToolRun r = runTool({"create", db.uri()}, bare);
    ASSERT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("cannot connect to '%1'").arg(db.uri()))) << show(r);

    // In the URI: used, and the URI is shown without it.
    r = runTool({"copy", source, withPassword(db.uri(), password)}, bare);
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(r.out.contains(QStringLiteral("to '%1'").arg(db.uri()))) << show(r);
    EXPECT_FALSE((r.out + r.err).contains(password)) << show(r);

    // Wrong, malformed (libpq quotes what it cannot read), unescaped, or as
    // a parameter.
    for (const QString& uri :
         {withPassword(db.uri(), "Tajna-Lozinka-73"),
          withRawPassword(db.uri(), "Tajna%zz-Lozinka-73"),
          withRawPassword(db.uri(), "Tajna/Lozinka-73"),
          withRawPassword(db.uri(), "Tajna?Lozinka-73"), db.uri() + "&password=Tajna-Lozinka-73",
          db.uri() + "&password=Tajna%zzLozinka-73"}) {
        for (const QStringList& args :
             {QStringList{"create", uri, "--force"}, QStringList{"copy", uri, dir.path("out.mdb")},
              QStringList{"import", csv, uri, "--force"},
              QStringList{"copy", source, dir.path("out.mdb"), uri}}) {
            r = runTool(args, bare);
            EXPECT_GE(r.exitCode, 1) << show(r);
            EXPECT_FALSE((r.out + r.err).contains("Tajna")) << show(r);
            EXPECT_TRUE(r.err.contains(db.uri())) << show(r);
        }
    }
    EXPECT_FALSE(QFileInfo::exists(dir.path("out.mdb")));

    // From a password file named in the URI, from ~/.pgpass, from PGPASSWORD.
    const QString line = QStringLiteral("*:*:*:*:%1\n").arg(password);
    const QString passfile = dir.write("passwords", line.toUtf8());
    ASSERT_TRUE(QFile::setPermissions(passfile, QFile::ReadOwner | QFile::WriteOwner));
    r = runTool({"create", db.uri() + "&passfile=" + passfile, "--force"}, bare);
    EXPECT_EQ(r.exitCode, 0) << show(r);
    const QString home = dir.write(".pgpass", line.toUtf8());
    ASSERT_TRUE(QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner));
    r = runTool({"create", db.uri(), "--force"}, bare);
    EXPECT_EQ(r.exitCode, 0) << show(r);
    QFile::remove(home);
    QProcessEnvironment withVariable = bare;
    withVariable.insert("PGPASSWORD", password);
    r = runTool({"create", db.uri(), "--force"}, withVariable);
    EXPECT_EQ(r.exitCode, 0) << show(r);
}

TEST(VidraDbServer, AServerThatRefusesTheLoginOrIsNotThereIsAClearFailure)
{
    const QString server = testsupport::testServerUri();
    ASSERT_FALSE(server.isEmpty()) << "run through scripts/test.sh";
    TempDir dir;
    const QString unknownRole = server.left(server.indexOf("://") + 3) + "nobody_here:wrong@" +
                                server.mid(server.indexOf('@') + 1);
    const QString file = dir.path("backup.mdb");
    ToolRun r = runTool({"copy", unknownRole, file});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("vidra-db: cannot connect to '%1': ")
                                     .arg(vidra::pg::withoutPassword(unknownRole))))
        << show(r);
    EXPECT_FALSE(r.err.contains("wrong")) << show(r);
    EXPECT_TRUE(entries(folderOf(dir)).isEmpty());

    r = runTool({"sample", "postgresql://localhost:1/imenik?connect_timeout=5", "--rows", "5"});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.startsWith("vidra-db: cannot connect to 'postgresql://localhost:1/imenik"))
        << show(r);
}

TEST(VidraDbServer, AStopSignalEndsARunThatTheServerKeepsWaiting)
{
    PgScratch db;
    ASSERT_TRUE(db.ok());
    TempDir dir;
    ASSERT_EQ(runTool({"sample", db.uri(), "--rows", "100"}).exitCode, 0);
    // Another session holds the table: the copy waits for it.
    vidra::pg::Session holder(db.uri());
    holder.execScript("BEGIN; LOCK TABLE vlasnici IN ACCESS EXCLUSIVE MODE");
    const QString file = dir.path("backup.mdb");
    QProcess p;
    p.start(QStringLiteral(VIDRA_DB_TOOL), {"copy", db.uri(), file});
    ASSERT_TRUE(p.waitForStarted(30000));
    vidra::pg::Session watcher(db.uri());
    const auto waiting = [&] {
        return watcher
                   .exec("SELECT count(*) FROM pg_locks WHERE NOT granted AND relation = "
                         "'vlasnici'::regclass")
                   .text(0, 0) == "1";
    };
    bool seen = false;
    for (int i = 0; i < 3000 && !(seen = waiting()); ++i)
        QThread::msleep(10);
    ASSERT_TRUE(seen) << "the copy never waited for the table";
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(30000)) << "the copy went on waiting after the signal";
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains("interrupted"));
    EXPECT_TRUE(entries(folderOf(dir)).isEmpty()) << entries(folderOf(dir)).join(' ').toStdString();
    holder.execScript("ROLLBACK");
}
