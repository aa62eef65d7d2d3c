// The PostgreSQL client against the test server, and the URI rules that need none.
#include "platform/db/PgClient.h"
#include "support/PgScratch.h"

#include <gtest/gtest.h>

namespace {

using namespace vidra::pg;

TEST(PgUri, ServerUrisAreToldFromFilePaths)
{
    EXPECT_TRUE(isServerUri("postgresql://desk@db.kostelin.local/imenik"));
    EXPECT_TRUE(isServerUri("postgres://localhost"));
    EXPECT_TRUE(isServerUri("PostgreSQL://LOCALHOST/x"));
    EXPECT_FALSE(isServerUri("data.mdb"));
    EXPECT_FALSE(isServerUri("/srv/postgresql://x.mdb"));
    EXPECT_FALSE(isServerUri("postgresql:/x"));
    EXPECT_FALSE(isServerUri(""));
}

TEST(PgUri, PasswordsAreNeverWrittenDown)
{
    EXPECT_EQ(withoutPassword("postgresql://desk:tajna@db:5433/imenik?sslmode=require"),
              "postgresql://desk@db:5433/imenik?sslmode=require");
    // "@" and ":" inside the password, a password parameter among others.
    EXPECT_EQ(withoutPassword("postgres://desk:t@j:na@db/imenik?password=x&sslmode=verify-full"),
              "postgres://desk@db/imenik?sslmode=verify-full");
    EXPECT_EQ(withoutPassword("postgresql://db/imenik?PASSWORD=x"), "postgresql://db/imenik");
    EXPECT_EQ(withoutPassword("postgresql://desk@db/imenik?passfile=/home/d/.pgpass"),
              "postgresql://desk@db/imenik?passfile=/home/d/.pgpass");
    // Host lists and IPv6 addresses keep their colons.
    EXPECT_EQ(withoutPassword("postgresql://u:p@[::1]:5432,db2:5433/x"),
              "postgresql://u@[::1]:5432,db2:5433/x");
    EXPECT_EQ(withoutPassword("C:/data/data.mdb"), "C:/data/data.mdb");
    // libpq reads a "?" before the "@" as part of the password.
    EXPECT_EQ(withoutPassword("postgresql://desk:ta?jna@db/imenik"), "postgresql://desk@db/imenik");
    EXPECT_EQ(withoutPassword("postgresql://desk:x@db?password=y&sslmode=disable"),
              "postgresql://desk@db?sslmode=disable");
}

TEST(PgSession, TextTravelsExactlyBothWaysAndNullStaysNull)
{
    testsupport::PgScratch db;
    ASSERT_TRUE(db.ok());
    Session s(db.uri());
    s.execScript("CREATE TABLE t (a varchar(16), b text)");
    const QString letters = QString::fromUtf8("Šđčćž ЂђЖ 𝐀 '\"\\;");
    s.exec("INSERT INTO t VALUES ($1, $2)", {letters, std::nullopt});
    s.exec("INSERT INTO t VALUES ($1, $2)", {QString(""), QString("x")});
    const Result r = s.exec("SELECT a, b FROM t ORDER BY b NULLS FIRST");
    ASSERT_EQ(r.rows(), 2);
    EXPECT_EQ(r.text(0, 0), letters);
    EXPECT_TRUE(r.isNull(0, 1));
    EXPECT_TRUE(r.text(0, 1).isNull());
    EXPECT_FALSE(r.isNull(1, 0));
    EXPECT_TRUE(r.text(1, 0).isEmpty() && !r.text(1, 0).isNull());
    EXPECT_EQ(s.exec("UPDATE t SET b = 'y'").affected(), 2);

    std::vector<QString> lines;
    s.copyOut("COPY (SELECT a FROM t ORDER BY a) TO STDOUT",
              [&](const char* p, int n) { lines.push_back(QString::fromUtf8(p, n)); });
    EXPECT_EQ(lines.size(), 2u);
}

TEST(PgSession, ServerErrorsCarryTheServersWordsAndTheirCode)
{
    testsupport::PgScratch db;
    ASSERT_TRUE(db.ok());
    Session s(db.uri());
    s.execScript("CREATE TABLE t (a text PRIMARY KEY)");
    s.exec("INSERT INTO t VALUES ('011/1')");
    try {
        s.exec("INSERT INTO t VALUES ($1)", {QString("011/1")});
        FAIL() << "a second row with the same key was accepted";
    } catch (const PgError& e) {
        EXPECT_EQ(e.sqlState(), kUniqueViolation);
        EXPECT_FALSE(e.connectionLost());
        EXPECT_TRUE(e.message().contains("duplicate key")) << e.message().toStdString();
    }
    // The session goes on after an error.
    EXPECT_EQ(s.exec("SELECT count(*) FROM t").text(0, 0), "1");
}

TEST(PgSession, ARefusedLoginOrAnAbsentServerIsAnErrorWithLibpqsWords)
{
    const QString server = testsupport::testServerUri();
    ASSERT_FALSE(server.isEmpty()) << "run through scripts/test.sh";
    try {
        Session s(server.left(server.indexOf("://") + 3) + "nobody_here:wrong@" +
                  server.mid(server.indexOf('@') + 1));
        FAIL() << "a login of an unknown role was accepted";
    } catch (const PgError& e) {
        EXPECT_TRUE(e.connectionLost());
        EXPECT_FALSE(e.message().isEmpty());
    }
    // A port where nothing listens.
    EXPECT_THROW(Session("postgresql://localhost:1/x?connect_timeout=2"), PgError);
}

} // namespace
