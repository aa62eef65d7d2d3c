// Two operators on one directory: this process browses and saves while
// another process (the test writer, through the same engine) saves, deletes
// and, in a file, holds the file locked. Nobody's save may silently undo
// another's, whether the directory is a file or on a server.
#include "data/RecordRules.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/SqliteStore.h"
#include "platform/db/Table.h"
#include "support/ChildLines.h"
#include "support/DirectoryStore.h"
#include "support/PgScratch.h"
#include "support/TempDir.h"
#include "support/WriterRows.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vidra;
using testsupport::DirectoryStore;
using testsupport::Row;
using testsupport::StoreKind;
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
    explicit OtherOperator(const QString& dataSource)
    {
        m_p.start(QStringLiteral(VIDRA_CRASH_WRITER), {"operator", dataSource});
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
    void send(const QString& command) { m_p.write(command.toUtf8() + '\n'); }

private:
    QProcess m_p;
    bool m_ready = false;
};

// This process's desk: the directory in its store, a connection to it and
// the subscriber table, with ways to read the directory past the engine.
class Desk
{
protected:
    explicit Desk(StoreKind kind) : store(kind) {}

    DirectoryStore store; // outlives the connection
    Connection conn;
    Table table{QStringLiteral("Imenik")};

    void openDirectory()
    {
        store.create({{"011/111-111", "MARKOVIĆ MILAN", "KNEZA MILOŠA 12", "KOSTELIN", QString()},
                      {"011/222-222", "ŠABAC TRGOVINA", "CARA DUŠANA 4", "ŠABAC", "radno vreme"},
                      {"012/333-333", "ĐORĐEVIĆ ANA", "NJEGOŠEVA 7A", QString(), ""},
                      {"013/444-444", "MILIĆ ŽARKO", "VOJVODE MIŠIĆA 1", "KOSTELIN", QString()},
                      {"014/555-555", "D'ARC JOVANA", "TRG 1", "BROD", QString()}});
        conn.setConnectionText(store.connectionText());
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
    QStringList fileColumn(const char* column) const { return store.column(column); }
    // The directory's row with this number, all five values.
    QStringList fileRow(const QString& telefon) const
    {
        QStringList out;
        for (const char* c : {"Telefon", "Vlasnik", "Adresa", "Mesto", "Napomena"}) {
            const QStringList v = store.select(
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

// The directory in each store.
class TwoOperators : public ::testing::TestWithParam<StoreKind>, protected Desk
{
protected:
    TwoOperators() : Desk(GetParam()) {}
    void SetUp() override
    {
        ASSERT_TRUE(store.ok());
        openDirectory();
    }
};

INSTANTIATE_TEST_SUITE_P(Store, TwoOperators, testsupport::bothStores(), testsupport::storeName);

// A file only: SQLite's file lock, and a file's reuse of a deleted row's place.
class TwoOperatorsFile : public ::testing::Test, protected Desk
{
protected:
    TwoOperatorsFile() : Desk(StoreKind::File) {}
    void SetUp() override { openDirectory(); }
};

TEST_P(TwoOperators, RowsTheOtherSavesAppearHereOnlyAfterRequery)
{
    table.SetFilter("(Mesto LIKE 'KOST*')");
    table.SetFiltered(true);
    ASSERT_EQ(table.RecordCount(), 2);
    OtherOperator other(store.dataSource());
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

TEST_F(TwoOperatorsFile, LongHeldLockFailsTheSaveAndKeepsEverythingTyped)
{
    conn.setBusyTimeout(300);
    OtherOperator other(store.dataSource());
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

TEST_F(TwoOperatorsFile, ABrieflyHeldLockIsWaitedOut)
{
    ASSERT_EQ(conn.busyTimeout(), Connection::kDefaultBusyTimeoutMs);
    OtherOperator other(store.dataSource());
    ASSERT_TRUE(other.ready());
    const Row typed{"030/111-222", "STRPLJIVI OPERATER", "ULICA 5", "BROD", QString()};
    table.Insert();
    type(typed);
    ASSERT_EQ(other.ask("lockfor 600"), "locked");
    table.Post(); // waits for the lock instead of failing
    EXPECT_EQ(other.reply(), "unlocked");
    EXPECT_EQ(fileRow(typed.telefon), values(typed));
}

TEST_P(TwoOperators, RowDeletedByTheOtherIsNeitherSavedNorWrittenBack)
{
    OtherOperator other(store.dataSource());
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

TEST_F(TwoOperatorsFile, NewSubscriberInADeletedRowsPlaceIsNeverOverwrittenOrDeleted)
{
    // The file reuses the place of a deleted last row for the next new one.
    OtherOperator other(store.dataSource());
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

TEST_P(TwoOperators, RowChangedByTheOtherIsNotOverwrittenUnseen)
{
    OtherOperator other(store.dataSource());
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

// ------------------------------------------------------------- one number, two saves

// The duplicate-number rule as the program runs it before every save: the
// count query on the table's own connection, and the program's message.
struct DuplicateRule
{
    Query checkBroj{QStringLiteral("CheckBroj")};

    DuplicateRule(Connection& conn, Table& table)
    {
        rules::declareNumberCount(checkBroj, &conn);
        table.BeforePost = [this](Table& t) { check(t); };
    }
    void check(Table& t) { rules::checkUniqueNumber(t, checkBroj); }
};

void writeLine(int fd, const QString& line)
{
    const QByteArray b = line.toUtf8() + '\n';
    for (qsizetype done = 0; done < b.size();) {
        const ssize_t n = ::write(fd, b.constData() + done, size_t(b.size() - done));
        if (n <= 0) return;
        done += n;
    }
}

// The next line from a pipe, or a null string when none came in time.
QString readLine(int fd, QByteArray& pending, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (const qsizetype eol = pending.indexOf('\n'); eol >= 0) {
            const QString line = QString::fromUtf8(pending.left(eol));
            pending.remove(0, eol + 1);
            return line;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(deadline.remainingTime())) <= 0) return QString();
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return QString();
        pending.append(buf, n);
    }
}

// A second operator in a process of its own, forked before this process
// opens the file; it talks in lines over two pipes.
class ForkedOperator
{
public:
    explicit ForkedOperator(const std::function<int(int in, int out)>& body)
    {
        int down[2], up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(down[1]);
            ::close(up[0]);
            ::alarm(60);
            int rc = 99;
            try {
                rc = body(down[0], up[1]);
            } catch (...) {
                rc = 98;
            }
            ::_exit(rc);
        }
        ::close(down[0]);
        ::close(up[1]);
        m_to = down[1];
        m_from = up[0];
    }
    ~ForkedOperator()
    {
        if (m_to >= 0) ::close(m_to);
        if (m_from >= 0) ::close(m_from);
        if (m_pid > 0 && exitCode() == -2) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool started() const { return m_pid > 0; }
    void send(const QString& line) { writeLine(m_to, line); }
    QString reply() { return readLine(m_from, m_pending, 30000); }
    // The child's exit code once it has ended; -2 while it runs, -1 if killed.
    int exitCode()
    {
        if (m_status != -2) return m_status;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return -2;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_status;
    }
    int waitForExit()
    {
        const QDeadlineTimer deadline(30000);
        while (exitCode() == -2 && !deadline.hasExpired())
            ::usleep(1000);
        return exitCode();
    }

private:
    pid_t m_pid = -1;
    int m_to = -1;
    int m_from = -1;
    int m_status = -2;
    QByteArray m_pending;
};

QString connectionTextFor(const QString& file)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
           Connection::quoteValue(file);
}

void openSubscribers(Connection& conn, Table& table, const QString& file)
{
    conn.setConnectionText(connectionTextFor(file));
    conn.open();
    table.SetConnection(&conn);
    table.SetTableName(QString::fromLatin1(kSubscriberTable));
    table.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    table.Open();
}

void typeRow(Table& table, const QStringList& values)
{
    for (int f = 0; f < int(values.size()); ++f)
        table.Fields(f).SetValue(values[f].isNull() ? QVariant() : QVariant(values[f]));
}

QString messageOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const Error& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

// The other operator: saves a new subscriber with the given number when told
// "go", and says "waiting" when its save has to wait for the file's lock
// (then waits on, as its busy timeout would have it).
int saveOnGo(const QString& file, const QStringList& row, int in, int out)
{
    Connection conn;
    Table table{QStringLiteral("Imenik")};
    openSubscribers(conn, table, file);
    DuplicateRule rule(conn, table);
    static int replyFd = -1;
    replyFd = out;
    sqlite3_busy_handler(
        sqliteHandle(conn),
        [](void*, int tries) -> int {
            if (tries == 0) writeLine(replyFd, QStringLiteral("waiting"));
            ::usleep(2000);
            return tries < 10000;
        },
        nullptr);
    writeLine(out, QStringLiteral("ready"));
    QByteArray pending;
    if (readLine(in, pending, 30000) != u"go") return 3;
    table.Insert();
    typeRow(table, row);
    const QString msg = messageOf([&] { table.Post(); });
    writeLine(out, msg == u"<no error>" ? QStringLiteral("saved") : QStringLiteral("error ") + msg);
    return 0;
}

TEST(TwoOperatorsAtOnce, TheSameNewNumberSavedAtOnceIsSavedOnce)
{
    TempDir dir;
    const QString file = dir.path("data.mdb");
    testsupport::createDirectoryFile(
        file, {{"011/111-111", "MARKOVIĆ MILAN", "KNEZA MILOŠA 12", "KOSTELIN", QString()}});
    const QStringList ours = {"055/123-456", "PRVI OPERATER", "ULICA 1", "BROD", QString()};
    const QStringList theirs = {"055/123-456", "DRUGI OPERATER", "ULICA 2", QString(), "x"};

    ForkedOperator other([&](int in, int out) { return saveOnGo(file, theirs, in, out); });
    ASSERT_TRUE(other.started());
    ASSERT_EQ(other.reply(), "ready");

    Connection conn;
    Table table{QStringLiteral("Imenik")};
    openSubscribers(conn, table, file);
    DuplicateRule rule(conn, table);
    QString otherFirst;
    table.BeforePost = [&](Table& t) {
        rule.check(t); // passes: nobody has the number yet
        // The other operator saves the same number between our check and our write.
        other.send("go");
        otherFirst = other.reply();
    };
    table.Insert();
    typeRow(table, ours);
    EXPECT_EQ(messageOf([&] { table.Post(); }), "<no error>");
    EXPECT_EQ(table.State(), DatasetState::Browse);

    // Their save waited for ours, and then its own check found our row.
    EXPECT_EQ(otherFirst, "waiting");
    const QString outcome = otherFirst == u"waiting" ? other.reply() : otherFirst;
    EXPECT_EQ(outcome, "error Broj telefona: 055/123-456 vec postoji!");
    EXPECT_EQ(other.waitForExit(), 0);
    EXPECT_EQ(testsupport::selectColumn(
                  file, "SELECT Vlasnik FROM Vlasnici WHERE Telefon = '055/123-456'"),
              QStringList{"PRVI OPERATER"});
}

// Two desks on one server, each adding the same numbers at the same moment
// under the duplicate-number rule: each number is stored once, and the desk
// that came second is told so in the rule's words.
TEST(TwoDesksOnAServer, TheSameNumberAddedAtBothAtOnceIsStoredOnce)
{
    testsupport::PgScratch db;
    ASSERT_TRUE(db.ok());
    db.exec(vidra::serverTableDdl());
    OtherOperator a(db.uri()), b(db.uri());
    ASSERT_TRUE(a.ready());
    ASSERT_TRUE(b.ready());
    constexpr int kNumbers = 30;
    for (int n = 0; n < kNumbers; ++n) {
        const QString command = QStringLiteral("desk %1").arg(n);
        a.send(command);
        b.send(command);
        const QStringList replies{a.reply(), b.reply()};
        EXPECT_EQ(replies.count("ok"), 1) << replies.join(" | ").toStdString();
        const QString refused =
            "error Broj telefona: " + testsupport::writerTelefon(n) + " vec postoji!";
        EXPECT_EQ(replies.count(refused), 1) << replies.join(" | ").toStdString();
    }
    EXPECT_EQ(db.column("SELECT count(DISTINCT telefon) FROM vlasnici"),
              QStringList{QString::number(kNumbers)});
    EXPECT_EQ(db.column("SELECT count(*) FROM vlasnici"), QStringList{QString::number(kNumbers)});
    EXPECT_EQ(a.ask("count"), QString::number(kNumbers));
}

} // namespace
