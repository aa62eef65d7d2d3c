// Directory and settings files made to do harm: schema code that would run on
// opening or saving, damaged and random bytes, files that are not files, and
// files the process may not read or write. Each is refused with a message or
// worked with safely; none runs what it brought, crashes, hangs or loses bytes.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/SqliteStore.h"
#include "platform/db/Table.h"
#include "platform/ini/IniFile.h"
#include "support/ChildLines.h"
#include "support/ErrorOf.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vidra;
using testsupport::TempDir;

[[maybe_unused]] static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

int g_casesTried = 0;

QString connectionTextFor(const QString& path)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
           Connection::quoteValue(path);
}

const char kBase[] = "CREATE TABLE Vlasnici (Telefon VARCHAR(16), Vlasnik VARCHAR(50), "
                     "Adresa VARCHAR(50), Mesto VARCHAR(16), Napomena TEXT);"
                     "INSERT INTO Vlasnici VALUES ('011/111-111', 'MARKOVIĆ', 'ULICA 1', "
                     "'KOSTELIN', NULL), ('011/222-222', 'PERIĆ', 'ULICA 2', NULL, 'n');";

// What the program got out of a file.
struct Outcome
{
    bool opened = false;
    bool canModify = false;
    QString openError;
    QStringList writeErrors; // one per failed save or delete
    // After a failed save of the new row: whether it was still pending as typed.
    bool insertKept = true;
};

bool cleanMessage(const QString& m)
{
    return !m.trimmed().isEmpty() && !m.endsWith(u'.');
}

// Opens the file as the program does and, when that works, browses, filters
// and searches it; with writes, also adds, edits and deletes a row.
Outcome exercise(const QString& path, bool writes, const QString& extra = QString())
{
    Outcome out;
    Connection conn;
    conn.setConnectionText(connectionTextFor(path) + extra);
    Table t(QStringLiteral("Imenik"));
    t.SetConnection(&conn);
    t.SetTableName(QString::fromLatin1(kSubscriberTable));
    t.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    try {
        conn.open();
        t.Open();
    } catch (const DbError& e) {
        out.openError = e.message();
        return out;
    }
    out.opened = true;
    out.canModify = t.CanModify();
    const auto attempt = [&](const std::function<void()>& fn) {
        try {
            fn();
        } catch (const DbError& e) {
            out.writeErrors << e.message();
            if (t.State() == DatasetState::Edit || t.State() == DatasetState::Insert) t.Cancel();
        }
    };
    // Reading a damaged file may fail on the way; each failure is a message.
    attempt([&] {
        t.Last();
        t.First();
        t.Locate("Telefon", "011/222-222");
        t.SetFilter("(Vlasnik LIKE 'P*') OR (Mesto = 'KOSTELIN')");
        t.SetFiltered(true);
        t.SetFiltered(false);
        t.Requery();
    });
    if (!writes) return out;
    const QStringList typed = {"099/000-000", "NOVI", "NOVA 1", QString(), "beleška"};
    attempt([&] {
        t.Insert();
        for (int f = 0; f < 5; ++f)
            if (!typed[f].isNull()) t.Fields(f).SetValue(typed[f]);
        try {
            t.Post();
        } catch (const DbError&) {
            QStringList pending;
            for (int f = 0; f < 5; ++f)
                pending << t.Fields(f).AsString();
            out.insertKept = t.State() == DatasetState::Insert && pending == typed;
            throw;
        }
    });
    attempt([&] {
        t.First();
        t.Edit();
        t.FieldByName("Vlasnik").SetValue("IZMENJEN");
        t.Post();
    });
    attempt([&] {
        t.SetRecNo(2);
        t.Delete();
    });
    return out;
}

int count(const QString& path, const QString& sql)
{
    const QStringList v = testsupport::selectColumn(path, sql);
    return v.isEmpty() ? -1 : v[0].toInt();
}

// Runs fn in a child process (as an unprivileged user when asked) and gives
// its exit status; a child that hangs is killed by its alarm and counts as -1.
int inChild(const std::function<int()>& fn, bool unprivileged)
{
    const pid_t child = fork();
    if (child < 0) return -2;
    if (child == 0) {
        alarm(20);
        if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
        int rc = 99;
        try {
            rc = fn();
        } catch (...) {
            rc = 98;
        }
        _exit(rc);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ------------------------------------------------------------- schema code

enum class Expect
{
    Refused,  // open fails with a message
    ReadOnly, // opens for reading only, and an attempt to change says why
    Works,    // opens, and every save and delete goes through
    Guarded,  // opens; the file's own rule refuses the new row with SQLite's message
    Either    // opens or not; saves go through or fail with a message, keeping the row
};

struct SchemaCase
{
    const char* name;
    QString sql;
    Expect expect;
    // ReadOnly: what the refusal names; Guarded: the start of SQLite's message.
    const char* says = "";
    // A count the file must show afterwards (-1: not checked): traces of
    // triggers (none), or values SQLite computed by the file's own rule.
    const char* probe = "";
    int probeCount = -1;
};

TEST(HostileFiles, SchemaCodeRunsOnlyAsSQLitesOwnInnocuousFunctions)
{
    const QString base = QString::fromUtf8(kBase);
    const QString rows = base.mid(base.indexOf("INSERT"));
    const QString sixColumns =
        QStringLiteral("CREATE TABLE Vlasnici (Telefon VARCHAR(16), Vlasnik VARCHAR(50), Adresa "
                       "VARCHAR(50), Mesto VARCHAR(16), Napomena TEXT, %1);"
                       "INSERT INTO Vlasnici (Telefon, Vlasnik, Adresa, Mesto, Napomena) VALUES "
                       "('011/111-111', 'MARKOVIĆ', 'ULICA 1', 'KOSTELIN', NULL), ('011/222-222', "
                       "'PERIĆ', 'ULICA 2', NULL, 'n');");
    std::vector<SchemaCase> cases = {
        {"update trigger writing elsewhere",
         base + "CREATE TABLE Log (x TEXT); CREATE TRIGGER t AFTER UPDATE ON Vlasnici BEGIN "
                "INSERT INTO Log VALUES (upper('ran')); END;",
         Expect::Works, "", "SELECT count(*) FROM Log", 0},
        {"insert trigger copying the row",
         base + "CREATE TRIGGER t AFTER INSERT ON Vlasnici BEGIN INSERT INTO Vlasnici "
                "(Telefon) VALUES ('copy' || new.Telefon); END;",
         Expect::Works, "", "SELECT count(*) FROM Vlasnici WHERE Telefon LIKE 'copy%'", 0},
        {"insert trigger refusing the save",
         base + "CREATE TRIGGER t BEFORE INSERT ON Vlasnici BEGIN SELECT RAISE(ABORT, 'ran'); "
                "END;",
         Expect::Works},
        {"delete trigger keeping the row",
         base + "CREATE TRIGGER t BEFORE DELETE ON Vlasnici BEGIN SELECT RAISE(IGNORE); END;",
         Expect::Works},
        {"view with instead-of triggers",
         "CREATE TABLE Real (Telefon TEXT, Vlasnik TEXT, Adresa TEXT, Mesto TEXT, Napomena "
         "TEXT); CREATE TABLE Log (x TEXT); CREATE VIEW Vlasnici AS SELECT * FROM Real; CREATE "
         "TRIGGER t INSTEAD OF INSERT ON Vlasnici BEGIN INSERT INTO Log VALUES ('ran'); END;",
         Expect::Refused},
        {"view in other letter case",
         "CREATE TABLE Podaci (Telefon TEXT, Vlasnik TEXT, Adresa TEXT, Mesto TEXT, Napomena "
         "TEXT); CREATE VIEW VLASNICI AS SELECT * FROM Podaci;",
         Expect::Refused},
        {"check constraint",
         "CREATE TABLE Vlasnici (Telefon VARCHAR(16) CHECK (Telefon NOT LIKE '099%'), Vlasnik "
         "VARCHAR(50), Adresa VARCHAR(50), Mesto VARCHAR(16), Napomena TEXT);" +
             rows,
         Expect::Guarded, "CHECK constraint failed"},
        {"table check calling functions",
         "CREATE TABLE Vlasnici (Telefon VARCHAR(16), Vlasnik VARCHAR(50), Adresa VARCHAR(50), "
         "Mesto VARCHAR(16), Napomena TEXT, CHECK (length(coalesce(Napomena, '')) < 5 OR "
         "instr(Napomena, ';') > 0));" +
             rows,
         Expect::Guarded, "CHECK constraint failed"},
        {"stored generated column",
         sixColumns.arg("Trag TEXT GENERATED ALWAYS AS (upper(Telefon) || 'ran') STORED"),
         Expect::Works, "", "SELECT count(*) FROM Vlasnici WHERE Trag = '099/000-000ran'", 1},
        {"indexed virtual generated column",
         sixColumns.arg("Trag TEXT AS (CASE WHEN Telefon LIKE '099%' THEN upper('x') END) "
                        "VIRTUAL") +
             "CREATE INDEX ixTrag ON Vlasnici (Trag);",
         Expect::Works, "", "SELECT count(*) FROM Vlasnici WHERE Trag = 'X'", 1},
        {"index on an expression",
         base + "CREATE INDEX ix ON Vlasnici (CASE WHEN Telefon LIKE '099%' THEN lower(Vlasnik) "
                "END);",
         Expect::Works},
        {"unique index on an expression",
         base + "CREATE UNIQUE INDEX ix ON Vlasnici (coalesce(Mesto, 'x'));", Expect::Guarded,
         "UNIQUE constraint failed"},
        {"partial index",
         base + "CREATE INDEX ix ON Vlasnici (Telefon) WHERE instr(Telefon, '099') = 0;",
         Expect::Works},
        {"computed default", sixColumns.arg("Trag TEXT DEFAULT (upper('d') || 'x')"), Expect::Works,
         "", "SELECT count(*) FROM Vlasnici WHERE Telefon = '099/000-000' AND Trag = 'Dx'", 1},
        {"random default", sixColumns.arg("Trag TEXT DEFAULT (hex(randomblob(8)))"), Expect::Works,
         "", "SELECT count(*) FROM Vlasnici WHERE Telefon = '099/000-000' AND length(Trag) = 16",
         1},
        // Whether SQLite counts its JSON functions as innocuous depends on its release.
        {"json in an index", base + "CREATE INDEX ix ON Vlasnici (json_quote(Telefon));",
         Expect::Either},
        {"json in a default", sixColumns.arg("Trag TEXT DEFAULT (json('[1]'))"), Expect::Either},
        {"literal default and a plain extra column", sixColumns.arg("Trag TEXT DEFAULT 'd'"),
         Expect::Works},
        {"table shadowing a pragma",
         base + "CREATE TABLE pragma_table_info (name TEXT, type TEXT); INSERT INTO "
                "pragma_table_info VALUES ('Telefon', 'INTEGER');",
         Expect::Either},
        {"table shadowing the function list",
         base + "CREATE TABLE pragma_function_list (name TEXT, builtin INT, type TEXT, enc TEXT, "
                "narg INT, flags INT); INSERT INTO pragma_function_list VALUES "
                "('fts3_tokenizer', 1, 's', 'utf8', 1, 2097152);",
         Expect::Works},
        {"strict table",
         QString(base)
             .replace(");INSERT", ") STRICT;INSERT")
             .replace("VARCHAR(16)", "TEXT")
             .replace("VARCHAR(50)", "TEXT"),
         Expect::Works},
    };
    // A CHECK constraint is held to innocuous functions less strictly than
    // other schema code by some SQLite releases; one that calls a function
    // SQLite keeps from schema code (here one that hands out and takes
    // memory addresses) keeps the table read-only.
    if (sqlite3_compileoption_used("ENABLE_FTS3")) {
        cases.push_back({"check calling a direct-only function",
                         "CREATE TABLE Vlasnici (Telefon VARCHAR(16), Vlasnik VARCHAR(50), Adresa "
                         "VARCHAR(50), Mesto VARCHAR(16), Napomena TEXT, CHECK "
                         "(fts3_tokenizer('simple') IS NOT NULL));" +
                             rows,
                         Expect::ReadOnly, "fts3_tokenizer()"});
    } else {
        std::cout << "[ hostile  ] no FTS3 in this SQLite: direct-only check not tried"
                  << std::endl;
    }

    TempDir dir;
    int n = 0;
    for (const SchemaCase& c : cases) {
        ++g_casesTried;
        const QString path = dir.path(QStringLiteral("schema%1.mdb").arg(n++));
        testsupport::execSql(path, c.sql);
        const QByteArray before = TempDir::read(path);
        const Outcome o = exercise(path, true);
        SCOPED_TRACE(c.name);
        if (!o.opened) {
            EXPECT_TRUE(c.expect == Expect::Refused || c.expect == Expect::Either)
                << o.openError.toStdString();
            EXPECT_TRUE(cleanMessage(o.openError)) << o.openError.toStdString();
            EXPECT_EQ(TempDir::read(path), before);
            continue;
        }
        EXPECT_NE(c.expect, Expect::Refused);
        for (const QString& m : o.writeErrors)
            EXPECT_TRUE(cleanMessage(m)) << m.toStdString();
        if (!o.canModify) {
            EXPECT_TRUE(c.expect == Expect::ReadOnly || c.expect == Expect::Either);
            // Insert, edit and delete were each refused, saying why.
            EXPECT_EQ(o.writeErrors.size(), 3);
            for (const QString& m : o.writeErrors) {
                EXPECT_TRUE(m.startsWith("Imenik: The table cannot be changed: "))
                    << m.toStdString();
                EXPECT_TRUE(m.contains(QString::fromUtf8(c.says))) << m.toStdString();
            }
            EXPECT_EQ(TempDir::read(path), before);
            continue;
        }
        EXPECT_NE(c.expect, Expect::ReadOnly);
        if (c.expect == Expect::Works) {
            EXPECT_TRUE(o.writeErrors.isEmpty()) << o.writeErrors.join(" | ").toStdString();
        } else if (c.expect == Expect::Guarded) {
            // Only the new row breaks the rule; the typed row stays to be corrected.
            ASSERT_EQ(o.writeErrors.size(), 1) << o.writeErrors.join(" | ").toStdString();
            EXPECT_TRUE(o.writeErrors[0].startsWith(QString::fromUtf8(c.says)))
                << o.writeErrors[0].toStdString();
            EXPECT_EQ(count(path, "SELECT count(*) FROM Vlasnici WHERE Telefon = '099/000-000'"),
                      0);
        }
        EXPECT_TRUE(o.insertKept);
        if (*c.probe) {
            EXPECT_EQ(count(path, QString::fromUtf8(c.probe)), c.probeCount);
        }
    }
}

TEST(HostileFiles, TriggersThatCannotBeSwitchedOffKeepTheTableReadOnly)
{
    // Should the library ever leave triggers on, the file's own code would
    // run on every save: the table is only read, and says why.
    TempDir dir;
    const QString path = dir.path("triggers.mdb");
    testsupport::execSql(path, QString::fromUtf8(kBase) +
                                   "CREATE TABLE Log (x TEXT); CREATE TRIGGER t AFTER INSERT ON "
                                   "Vlasnici BEGIN INSERT INTO Log VALUES ('ran'); END;");
    const QByteArray before = TempDir::read(path);
    ++g_casesTried;
    Connection conn;
    conn.setConnectionText(connectionTextFor(path));
    conn.open();
    int on = 0;
    ASSERT_EQ(sqlite3_db_config(sqliteHandle(conn), SQLITE_DBCONFIG_ENABLE_TRIGGER, 1, &on),
              SQLITE_OK);
    ASSERT_EQ(on, 1);
    Table t(QStringLiteral("Imenik"));
    t.SetConnection(&conn);
    t.SetTableName(QString::fromLatin1(kSubscriberTable));
    t.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    t.Open();
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_FALSE(t.CanModify());
    const QString why = "Imenik: The table cannot be changed: saving would run triggers of the "
                        "file, which cannot be switched off here";
    EXPECT_EQ(testsupport::errorOf([&] { t.Insert(); }), why);
    EXPECT_EQ(testsupport::errorOf([&] { t.Edit(); }), why);
    EXPECT_EQ(testsupport::errorOf([&] { t.Delete(); }), why);
    EXPECT_EQ(t.State(), DatasetState::Browse);
    conn.close();
    EXPECT_EQ(TempDir::read(path), before);
}

TEST(HostileFiles, ColumnTypesOtherThanTextAreRefused)
{
    TempDir dir;
    int n = 0;
    for (const char* type : {"REAL", "NUMERIC", "BLOB", "STRING", "DATE", "BOOLEAN", "VARCHAR INT",
                             "CHARACTER VARYING POINT", "DECIMAL(16)"}) {
        ++g_casesTried;
        const QString path = dir.path(QStringLiteral("type%1.mdb").arg(n++));
        testsupport::execSql(path, QString::fromUtf8(kBase).replace(
                                       "Mesto VARCHAR(16)", QStringLiteral("Mesto %1").arg(type)));
        const QByteArray before = TempDir::read(path);
        const Outcome o = exercise(path, true);
        EXPECT_FALSE(o.opened) << type;
        EXPECT_TRUE(o.openError.contains("Mesto")) << o.openError.toStdString();
        EXPECT_EQ(TempDir::read(path), before) << type;
    }
}

TEST(HostileFiles, AColumnNamedRowidDoesNotRedirectSaves)
{
    // The file's own "rowid" column holds other rows' numbers.
    TempDir dir;
    const QString path = dir.path("rowid.mdb");
    testsupport::execSql(path, "CREATE TABLE Vlasnici (Telefon TEXT, Vlasnik TEXT, Adresa TEXT, "
                               "Mesto TEXT, Napomena TEXT, rowid INTEGER);"
                               "INSERT INTO Vlasnici VALUES ('1', 'A', 'a', NULL, NULL, 3), "
                               "('2', 'B', 'b', NULL, NULL, 1), ('3', 'C', 'c', NULL, NULL, 2);");
    ++g_casesTried;
    Connection conn;
    conn.setConnectionText(connectionTextFor(path));
    Table t(QStringLiteral("Imenik"));
    t.SetConnection(&conn);
    t.SetTableName("Vlasnici");
    t.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    t.Open();
    t.First();
    t.Edit();
    t.FieldByName("Vlasnik").SetValue("PRVI");
    t.Post();
    const auto owners = [&] {
        return testsupport::selectColumn(path, "SELECT Vlasnik FROM Vlasnici ORDER BY _rowid_");
    };
    EXPECT_EQ(owners(), (QStringList{"PRVI", "B", "C"}));
    t.SetRecNo(3);
    t.Delete();
    EXPECT_EQ(owners(), (QStringList{"PRVI", "B"}));
    EXPECT_EQ(testsupport::selectColumn(path, "SELECT rowid FROM Vlasnici ORDER BY _rowid_"),
              (QStringList{"3", "1"}));
}

// ------------------------------------------------------------- damaged bytes

TEST(HostileFiles, DamagedAndRandomBytesAreRefusedOrReadWithoutChange)
{
    TempDir dir;
    const QString good = dir.path("good.mdb");
    std::vector<testsupport::Row> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({QString::number(100000 + i), QStringLiteral("VLASNIK ČĆŽ %1").arg(i),
                        QString(40, QChar(u'a' + i % 26)),
                        i % 2 ? QString() : QStringLiteral("MESTO"),
                        i % 7 ? QString() : QString(3000, u'n')});
    testsupport::createDirectoryFile(good, rows);
    const QByteArray bytes = TempDir::read(good);
    ASSERT_GT(bytes.size(), 8 * 4096);

    std::mt19937 rng(7919u);
    const auto randomBytes = [&](int n) {
        QByteArray b(n, '\0');
        for (char& c : b)
            c = char(rng() & 0xFF);
        return b;
    };
    std::vector<std::pair<QString, QByteArray>> cases;
    for (int cut : {512, 4096, 4097, 2 * 4096, int(bytes.size()) - 4096, int(bytes.size()) - 1})
        cases.emplace_back(QStringLiteral("cut at %1").arg(cut), bytes.left(cut));
    cases.emplace_back("random bytes", randomBytes(16384));
    cases.emplace_back("random bytes behind the header",
                       bytes.left(100) + randomBytes(int(bytes.size()) - 100));
    {
        QByteArray longer = bytes; // the header claims pages that are not there
        longer[28] = char(0x7F);
        cases.emplace_back("page count too high", longer);
    }
    for (int i = 0; i < 40; ++i) {
        QByteArray hit = bytes;
        const int flips = 1 + int(rng() % 24);
        for (int f = 0; f < flips; ++f)
            hit[int(rng() % uint32_t(hit.size()))] = char(rng() & 0xFF);
        cases.emplace_back(QStringLiteral("%1 bytes overwritten, variant %2").arg(flips).arg(i),
                           hit);
    }

    int refused = 0, readable = 0, n = 0;
    for (const auto& [name, content] : cases) {
        ++g_casesTried;
        const QString path = dir.write(QStringLiteral("bad%1.mdb").arg(n++), content);
        const Outcome o = exercise(path, false);
        SCOPED_TRACE(name.toStdString());
        if (o.opened) {
            ++readable;
            for (const QString& m : o.writeErrors)
                EXPECT_TRUE(cleanMessage(m)) << m.toStdString();
        } else {
            ++refused;
            EXPECT_TRUE(cleanMessage(o.openError)) << o.openError.toStdString();
        }
        // Neither opening nor reading writes anything into the file.
        EXPECT_EQ(TempDir::read(path), content);
        EXPECT_FALSE(QFileInfo::exists(path + "-journal"));
    }
    std::cout << "[ hostile  ] damaged files: " << cases.size() << " (" << refused << " refused, "
              << readable << " readable)" << std::endl;
    EXPECT_GT(refused, 0);
}

// ------------------------------------------------------------- not plain files

TEST(HostileFiles, PipesAndDevicesAreRefusedWithoutHanging)
{
    TempDir dir;
    const QString fifo = dir.path("pipe.mdb");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString device = dir.path("zero.mdb");
    ASSERT_TRUE(QFile::link("/dev/zero", device));
    const QString null = dir.path("null.mdb");
    ASSERT_TRUE(QFile::link("/dev/null", null));
    for (const QString& path : {fifo, device, null}) {
        ++g_casesTried;
        const int rc = inChild(
            [&] {
                const Outcome o = exercise(path, true);
                return o.opened ? 1 : cleanMessage(o.openError) ? 0 : 2;
            },
            false);
        EXPECT_EQ(rc, 0) << path.toStdString() << " (-1: hung)";
    }
}

TEST(HostileFiles, UnreadableFileIsRefusedAndKeptAsItWas)
{
    TempDir dir;
    const QString path = dir.path("data.mdb");
    testsupport::execSql(path, QString::fromUtf8(kBase));
    const QByteArray before = TempDir::read(path);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    ::chmod(QFile::encodeName(dir.path("")).constData(), 0755);
    ++g_casesTried;
    const int rc = inChild(
        [&] {
            if (::access(QFile::encodeName(path).constData(), R_OK) == 0) return 77;
            const Outcome o = exercise(path, false);
            return o.opened ? 1 : cleanMessage(o.openError) ? 0 : 2;
        },
        true);
    ::chmod(QFile::encodeName(path).constData(), 0644);
    if (rc == 77) GTEST_SKIP() << "file permissions are not enforced for this user";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(TempDir::read(path), before);
}

TEST(HostileFiles, FileOnAReadOnlyMountOpensForReadingOnly)
{
    // A read-only tmpfs in a private mount namespace, which needs no root.
    TempDir dir;
    const QString source = dir.path("data.mdb");
    testsupport::execSql(source, QString::fromUtf8(kBase));
    const QString mount = dir.path("ro");
    ASSERT_TRUE(QDir().mkpath(mount));
    const QString script = QStringLiteral("mount -t tmpfs none \"$1\" && cp \"$2\" \"$1/data.mdb\" "
                                          "&& mount -o remount,ro \"$1\" && echo mounted && exec "
                                          "\"$3\" probe \"$1/data.mdb\"");
    QProcess p;
    p.start("unshare", {"-rm", "sh", "-c", script, "sh", mount, source, VIDRA_CRASH_WRITER});
    if (!p.waitForStarted(10000) || testsupport::readChildLine(p, 20000) != "mounted") {
        p.waitForFinished(10000);
        GTEST_SKIP() << "no private read-only mount here: "
                     << QString::fromLocal8Bit(p.readAllStandardError()).toStdString();
    }
    ++g_casesTried;
    EXPECT_EQ(testsupport::readChildLine(p, 20000), "open rows=2 readonly=1 canmodify=0");
    EXPECT_EQ(testsupport::readChildLine(p, 20000),
              "post error Imenik: Cannot modify a read-only dataset");
    EXPECT_TRUE(p.waitForFinished(20000));
}

// ------------------------------------------------------------- settings files

TEST(HostileFiles, SettingsFilesGiveDefaultsOrTheirValuesAndKeepTheirBytes)
{
    TempDir dir;
    const QString longPath = "/" + QString(4999, u'p');
    QByteArray junk;
    std::mt19937 rng(4242u);
    for (int i = 0; i < 3000; ++i)
        junk += char(rng() & 0xFF);
    junk.replace('\n', ' ');
    junk.prepend('x'); // one long line of junk, not taken for a section

    struct IniCase
    {
        const char* name;
        QByteArray bytes;
        QString dbPath; // what reading gives
        int window;
    };
    const std::vector<IniCase> cases = {
        {"5000-character path", "[BAZA]\r\nDBPATH=" + longPath.toUtf8() + "\r\n[APP]\r\nwindow=1",
         longPath.left(IniFile::kMaxValueLength), 1},
        {"junk, duplicates, no last line end",
         junk + "\n[APP]\nwindow=0\nwindow=1\n[BAZA]\n" + junk +
             "\nDBPATH=prva.mdb\n[baza]\n"
             "DBPATH=druga.mdb\n[APP]\nwindow=2",
         "prva.mdb", 0},
        {"junk only", junk, "data.mdb", 2},
        {"NUL bytes in the value", QByteArray("[BAZA]\nDBPATH=a\0b.mdb\n[APP]\nwindow=0\n", 38),
         QString::fromUtf8("a\0b.mdb", 7), 0},
        {"header without end", "[BAZA\nDBPATH=x.mdb\n[APP\nwindow=1\n", "x.mdb", 1},
        {"empty file", "", "data.mdb", 2},
    };
    int n = 0;
    for (const IniCase& c : cases) {
        ++g_casesTried;
        SCOPED_TRACE(c.name);
        const QString path = dir.write(QStringLiteral("s%1.ini").arg(n++), c.bytes);
        IniFile ini(path);
        EXPECT_EQ(ini.readString("BAZA", "DBPATH", "data.mdb"), c.dbPath);
        EXPECT_EQ(ini.readInteger("APP", "window", 2), c.window);
        EXPECT_EQ(TempDir::read(path), c.bytes); // reading writes nothing

        // Saving both values back changes those two lines and nothing else.
        ini.writeString("BAZA", "DBPATH", "novi.mdb");
        ini.writeInteger("APP", "window", 1);
        const QByteArray after = TempDir::read(path);
        EXPECT_EQ(ini.readString("BAZA", "DBPATH", "d"), "novi.mdb");
        EXPECT_EQ(ini.readInteger("APP", "window", 9), 1);
        const QList<QByteArray> beforeLines = c.bytes.split('\n');
        const QList<QByteArray> afterLines = after.split('\n');
        int changed = 0;
        for (const QByteArray& line : beforeLines)
            if (!afterLines.contains(line)) ++changed;
        EXPECT_LE(changed, 2) << "lines lost: " << changed;
        EXPECT_GE(afterLines.size(), beforeLines.size());
    }
}

TEST(HostileFiles, SettingsFileThatIsAPipeOrDeviceGivesDefaultsWithoutHanging)
{
    TempDir dir;
    const QString fifo = dir.path("pipe.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString device = dir.path("zero.ini");
    ASSERT_TRUE(QFile::link("/dev/zero", device));
    for (const QString& path : {fifo, device}) {
        ++g_casesTried;
        const int rc = inChild(
            [&] {
                IniFile ini(path);
                if (ini.readString("BAZA", "DBPATH", "data.mdb") != "data.mdb") return 1;
                if (ini.readInteger("APP", "window", 2) != 2) return 2;
                try {
                    ini.writeString("BAZA", "DBPATH", "x.mdb");
                    return 3; // nothing can be kept in a pipe or a device
                } catch (const Error& e) {
                    return e.message().startsWith("Unable to write to") ? 0 : 4;
                }
            },
            false);
        EXPECT_EQ(rc, 0) << path.toStdString() << " (-1: hung)";
    }
}

TEST(HostileFiles, UnreadableSettingsFileGivesDefaultsAndIsNotOverwritten)
{
    TempDir dir;
    const QByteArray bytes = "[BAZA]\nDBPATH=tajna.mdb\n[APP]\nwindow=0\n";
    const QString path = dir.write("s.ini", bytes);
    // Writable but not readable for the user the check runs as, in a folder
    // where a replacement could be made: only the program's care keeps it.
    if (geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0200), 0);
    ::chmod(QFile::encodeName(dir.path("")).constData(), 0777);
    ++g_casesTried;
    const int rc = inChild(
        [&] {
            if (::access(QFile::encodeName(path).constData(), R_OK) == 0) return 77;
            IniFile ini(path);
            if (ini.readString("BAZA", "DBPATH", "data.mdb") != "data.mdb") return 1;
            try {
                ini.writeInteger("APP", "window", 2);
                return 2; // would have replaced what it could not read
            } catch (const Error&) {
                return 0;
            }
        },
        true);
    ::chmod(QFile::encodeName(path).constData(), 0644);
    if (rc == 77) GTEST_SKIP() << "file permissions are not enforced for this user";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(TempDir::read(path), bytes);
}

// Reports, after all tests, how many hostile cases were tried.
class CaseCount : public ::testing::Environment
{
public:
    void TearDown() override
    {
        if (g_casesTried > 0)
            std::cout << "[ hostile  ] cases tried: " << g_casesTried << std::endl;
    }
};
[[maybe_unused]] ::testing::Environment* const g_caseCount =
    ::testing::AddGlobalTestEnvironment(new CaseCount);

} // namespace
