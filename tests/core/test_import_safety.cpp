// vidra-db import against what it must never do: replace a file it was not
// asked to replace, silently undo another run's work, hang on a pipe, ignore
// a signal, or change text on its way into the directory.
#include "support/TempDir.h"
#include "support/ToolRun.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::entries;
using testsupport::runTool;
using testsupport::TempDir;
using testsupport::ToolRun;

[[maybe_unused]] static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

template <class Done> bool waitFor(Done done, int ms = 60000)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(2);
    }
    return true;
}

// Runs vidra-db like runTool, but a run that has not ended within the limit
// is killed and shows as "hung" instead of holding up the suite.
ToolRun runWithin(const QStringList& args, int ms = 20000)
{
    QProcess p;
    p.start(QStringLiteral(VIDRA_DB_TOOL), args);
    ToolRun r;
    if (!p.waitForStarted(30000)) {
        r.err = QStringLiteral("could not start");
        return r;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("hung");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

std::string show(const ToolRun& r)
{
    return QStringLiteral("exit %1\n%2\n%3").arg(r.exitCode).arg(r.out, r.err).toStdString();
}

class ImportSafety : public ::testing::Test
{
protected:
    TempDir dir;
    QString folder() const { return QFileInfo(dir.path("x")).absolutePath(); }
    QString out() const { return dir.path("imenik.mdb"); }
    QStringList tempFiles() const
    {
        return entries(folder()).filter(QRegularExpression(QStringLiteral("\\.tmp$")));
    }
    QStringList column(const char* name, const QString& file) const
    {
        return testsupport::selectColumn(
            file, QStringLiteral("SELECT ifnull(%1, '<null>') FROM Vlasnici ORDER BY rowid")
                      .arg(QLatin1String(name)));
    }
    static QByteArray sha(const QString& path)
    {
        return QCryptographicHash::hash(TempDir::read(path), QCryptographicHash::Sha256);
    }
    // A CSV file of many rows; the second row has no number, so a report
    // has something to list.
    QString bigCsv(const QString& name, int rows, const QByteArray& prefix) const
    {
        QByteArray csv = "Telefon,Vlasnik,Adresa\n";
        csv.reserve(rows * 32);
        csv += ",Bez Broja,Ulica\n";
        for (int i = 0; i < rows; ++i)
            csv += prefix + QByteArray::number(i) + ",Ime " + QByteArray::number(i) + ",Ulica\n";
        return dir.write(name, csv);
    }
    // Starts an import and stops the process (SIGSTOP) as soon as it has
    // begun writing: its temporary file is there.
    std::unique_ptr<QProcess> startAndPause(const QStringList& args) const
    {
        auto p = std::make_unique<QProcess>();
        const QStringList before = tempFiles();
        p->start(QStringLiteral(VIDRA_DB_TOOL), args);
        if (!p->waitForStarted(30000)) return nullptr;
        if (!waitFor([&] { return tempFiles() != before || p->state() != QProcess::Running; }))
            return nullptr;
        ::kill(pid_t(p->processId()), SIGSTOP);
        return p;
    }
};

} // namespace

// ------------------------------------------------------------ CSV text

TEST_F(ImportSafety, CsvTextArrivesUnchangedOrIsRefused)
{
    // A NUL anywhere, also far beyond the first 64 KB, is refused.
    QByteArray late = "Telefon,Vlasnik,Adresa\n";
    for (int i = 0; i < 5000; ++i)
        late += QByteArray::number(100000 + i) + ",Ime Prezime,Ulica 12\n";
    ASSERT_GT(late.size(), 70000);
    late += QByteArray("999,A\0B,C\n", 10);
    struct Case
    {
        QByteArray bytes;
        const char* message;
    };
    const Case refused[] = {
        {late, "line 5002 holds a NUL byte"},
        {QByteArray("Telefon,Vlasnik,Adresa\n1,\0,B\n", 29), "line 2 holds a NUL byte"},
        // A byte-order mark starting a later line (files joined together)
        // would hide inside the number: refused, naming the line.
        {"\xEF\xBB\xBFTelefon,Vlasnik,Adresa\n1,A,B\n\n\xEF\xBB\xBF"
         "2,C,D\n",
         "line 4 starts with a byte-order mark"},
        {"\xEF\xBB\xBF\xEF\xBB\xBFTelefon,Vlasnik,Adresa\n1,A,B\n",
         "line 1 starts with a byte-order mark"},
    };
    for (const Case& c : refused) {
        const QString source = dir.write("t.csv", c.bytes);
        const QStringList before = entries(folder());
        const ToolRun r = runWithin({"import", source, out()});
        EXPECT_EQ(r.exitCode, 1) << c.message << "\n" << show(r);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.message))) << c.message << "\n" << show(r);
        EXPECT_EQ(entries(folder()), before);
    }

    // One mark at the very start of the file is no text; a mark inside a
    // line is a character of the value, kept as it is.
    const QString source = dir.write("ok.csv", "\xEF\xBB\xBFTelefon,Vlasnik,Adresa\n"
                                               "1,\xEF\xBB\xBF"
                                               "Ana,B\n"
                                               "\"\xEF\xBB\xBF"
                                               "2\",Jova,C\n");
    const ToolRun r = runWithin({"import", source, out()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    // (As hex: QString::fromUtf8 would drop a leading mark itself.)
    EXPECT_EQ(testsupport::selectColumn(out(), "SELECT hex(Telefon) || ' ' || hex(Vlasnik) "
                                               "FROM Vlasnici ORDER BY rowid"),
              QStringList({"31 EFBBBF416E61", "EFBBBF32 4A6F7661"}));
}

TEST_F(ImportSafety, TheSeparatorComesFromTheHeaderLineAlone)
{
    // An inch mark in a column name is no quote that runs on into the rows,
    // where a note full of semicolons would outvote the header's commas.
    const QString source = dir.write("inch.csv", "Telefon,Vlasnik,Adresa,Visina 5\"\n"
                                                 "011,Ana,Trg 1,\"a; b; c; d; e\"\n");
    const ToolRun r = runWithin({"import", source, out()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(column("Vlasnik", out()), QStringList{"Ana"});
}

TEST_F(ImportSafety, QuotedValuesWithDoubledQuotesKeepTheirTextSideBySide)
{
    // Each value with a doubled quote is unescaped into a buffer of its own;
    // the later ones in a record must not move the earlier ones.
    QByteArray csv = "Telefon,Vlasnik,Adresa,Mesto,Napomena\n";
    for (int i = 0; i < 20; ++i)
        csv += "\"0" + QByteArray::number(i) + "\"\"\",\"A\"\"B\",\"Ulica \"\"" +
               QByteArray::number(i) + "\"\"\",\"\"\"M\"\"\",\"" + QByteArray(40, 'n') +
               "\"\"x\"\n";
    const ToolRun r = runWithin({"import", dir.write("q.csv", csv), out()});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    const QStringList rows = testsupport::selectColumn(
        out(), "SELECT Telefon || '|' || Vlasnik || '|' || Adresa || '|' || Mesto || '|' || "
               "Napomena FROM Vlasnici ORDER BY rowid");
    ASSERT_EQ(rows.size(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(
            rows[i],
            QStringLiteral("0%1\"|A\"B|Ulica \"%1\"|\"M\"|%2\"x").arg(i).arg(QString(40, u'n')));
}

TEST_F(ImportSafety, AFileThatStartsLikeAnAccessFileIsNeverReadAsCsv)
{
    const auto header = [](const QByteArray& magic, const QByteArray& engine, char version) {
        QByteArray h(3 * 2048, '\0');
        h.replace(0, magic.size(), magic);
        h.replace(4, engine.size(), engine);
        h[20] = version;
        return h;
    };
    const QByteArray magic("\x00\x01\x00\x00", 4), jet("Standard Jet DB\0", 16),
        ace("Standard ACE DB\0", 16);
    const QByteArray damaged[] = {
        header(magic, jet, '\x09'),                           // an unknown version
        header(QByteArray("\x00\x01\x00\x01", 4), jet, '\0'), // the magic hit
        header(QByteArray(4, '\0'), ace, '\x02'),             // the magic wiped
        header(magic, "Standard Jxt DB\0", '\0'),             // the engine's name hit
        header(magic, "Standard Jet DBX", '\x01'),            // the name runs on
        magic + "Standard Jet",                               // cut inside the header
    };
    int n = 0;
    for (const QByteArray& bytes : damaged) {
        const QString source = dir.write(QStringLiteral("damaged%1.mdb").arg(++n), bytes);
        for (const QStringList& extra : {QStringList{}, QStringList{"--table", "Customers"}}) {
            const QStringList before = entries(folder());
            const ToolRun r = runWithin(QStringList{"import", source, out()} + extra);
            const std::string what =
                QStringLiteral("file %1 %2\n").arg(n).arg(extra.join(' ')).toStdString() + show(r);
            EXPECT_EQ(r.exitCode, 1) << what;
            EXPECT_TRUE(r.err.contains("is not an Access file (damaged header)")) << what;
            EXPECT_EQ(entries(folder()), before) << what;
        }
    }
}

// ------------------------------------------------- pipes, devices, signals

TEST_F(ImportSafety, OnlyRegularFilesAreReadOrReplacedAndNothingHangs)
{
    const QString good = dir.write("good.csv", "Telefon,Vlasnik,Adresa\n1,A,B\n");
    const QString fifo = dir.path("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = dir.path("link.csv");
    ASSERT_TRUE(QFile::link(fifo, link));
    const QString fifoDest = dir.path("pipe.mdb");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifoDest).constData(), 0600), 0);

    const QStringList cases[] = {
        {"import", fifo, out()},
        {"import", link, out()},
        {"import", fifo, out(), "--table", "Vlasnici"},
        {"import", "/dev/null", out()},
        {"import", good, fifoDest, "--force"},
    };
    for (const QStringList& args : cases) {
        const QStringList before = entries(folder());
        const ToolRun r = runWithin(args);
        const std::string what = args.join(' ').toStdString() + "\n" + show(r);
        EXPECT_EQ(r.exitCode, 1) << what;
        EXPECT_TRUE(r.err.contains("is not a regular file")) << what;
        EXPECT_EQ(entries(folder()), before) << what;
    }
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(fifoDest).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(ImportSafety, ASignalStopsAnImportPromptlyAndLeavesNothingBehind)
{
    const QString source = bigCsv("big.csv", 300000, "9-");
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        const QStringList before = entries(folder());
        QProcess p;
        p.start(QStringLiteral(VIDRA_DB_TOOL),
                {"import", source, out(), "--report", dir.path("skipped.csv")});
        ASSERT_TRUE(p.waitForStarted(30000));
        ASSERT_TRUE(waitFor([&] { return !tempFiles().isEmpty(); }));
        ::kill(pid_t(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains("interrupted"));
        EXPECT_EQ(entries(folder()), before);
    }
}

TEST_F(ImportSafety, ASignalStopsAnAccessImportWhileItsReaderIsSilent)
{
    // A reader that never sends a byte, as on a file that makes it loop.
    const QString reader = dir.write("silent-reader", "#!/bin/sh\nexec sleep 600\n");
    ASSERT_TRUE(
        QFile::setPermissions(reader, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QByteArray access(3 * 2048, '\0');
    access.replace(0, 21, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00\x00", 21));
    const QString source = dir.write("stari.mdb", access);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VIDRA_LEGACY_READER", reader);
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        const QStringList before = entries(folder());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VIDRA_DB_TOOL), {"import", source, out()});
        ASSERT_TRUE(p.waitForStarted(30000));
        QString readerPid;
        const QString children = QStringLiteral("/proc/%1/task/%1/children").arg(p.processId());
        ASSERT_TRUE(waitFor([&] {
            readerPid = QString::fromLatin1(TempDir::read(children)).trimmed();
            return !readerPid.isEmpty() || p.state() != QProcess::Running;
        }));
        ASSERT_FALSE(readerPid.isEmpty()) << p.readAllStandardError().data();
        ::kill(pid_t(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_TRUE(err.contains("interrupted")) << err.toStdString();
        EXPECT_EQ(entries(folder()), before);
        EXPECT_FALSE(QFileInfo::exists("/proc/" + readerPid)) << "the reader is left running";
    }
}

// ------------------------------------------------------- two runs, one DEST

TEST_F(ImportSafety, ARunNeverReplacesADestinationThatAppearedOrChangedWhileItWrote)
{
    const QString first = bigCsv("first.csv", 300000, "1-");
    const QString second = dir.write("second.csv", "Telefon,Vlasnik,Adresa\n2,Drugi,Trg\n");
    const auto oldDirectory = [&] {
        QFile::remove(out());
        testsupport::createDirectoryFile(out(), {{"0", "Stari", "Trg", {}, {}}});
    };

    struct Case
    {
        const char* name;
        bool existed;
        std::function<void()> meanwhile;
        QStringList owners; // DEST afterwards; empty: the paused run's rows
    };
    const Case cases[] = {
        {"another --force run finished first",
         true,
         [&] {
             const ToolRun r = runTool({"import", second, out(), "--force"});
             EXPECT_EQ(r.exitCode, 0) << show(r);
         },
         {"Drugi"}},
        {"another run created DEST",
         false,
         [&] {
             const ToolRun r = runTool({"import", second, out()});
             EXPECT_EQ(r.exitCode, 0) << show(r);
         },
         {"Drugi"}},
        {"the operator saved a row in DEST",
         true,
         [&] {
             testsupport::execSql(out(), "INSERT INTO Vlasnici (Telefon, Vlasnik, Adresa) "
                                         "VALUES ('5', 'Novi', 'Trg')");
         },
         {"Stari", "Novi"}},
        {"nothing happened meanwhile", true, [] {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.existed)
            oldDirectory();
        else
            QFile::remove(out());
        const std::unique_ptr<QProcess> paused = startAndPause({"import", first, out(), "--force"});
        ASSERT_TRUE(paused);
        ASSERT_EQ(paused->state(), QProcess::Running) << paused->readAllStandardError().data();
        ASSERT_EQ(tempFiles().size(), 1);
        c.meanwhile();
        ::kill(pid_t(paused->processId()), SIGCONT);
        ASSERT_TRUE(paused->waitForFinished(120000));
        const QString err = QString::fromLocal8Bit(paused->readAllStandardError());
        if (c.owners.isEmpty()) {
            EXPECT_EQ(paused->exitCode(), 0) << err.toStdString();
            EXPECT_EQ(testsupport::selectColumn(out(), "SELECT count(*) FROM Vlasnici"),
                      QStringList{"300000"});
        } else {
            EXPECT_EQ(paused->exitCode(), 1) << err.toStdString();
            EXPECT_TRUE(err.contains("while this run was writing") && err.contains("not replaced"))
                << err.toStdString();
            EXPECT_EQ(column("Vlasnik", out()), c.owners);
        }
        EXPECT_TRUE(tempFiles().isEmpty()) << tempFiles().join(' ').toStdString();
    }
}

// ------------------------------------------------------------ the report

TEST_F(ImportSafety, TheReportReplacesNothingWithoutForceAndNeverTheSourceOrTheDestination)
{
    const QString source = dir.write("stari.csv", "Telefon,Vlasnik,Adresa\n1,A,B\n,C,D\n");
    const QByteArray sourceSha = sha(source);
    const QString keep = dir.write("keep.txt", "somebody's notes");
    const QString other = dir.path("drugi.mdb");
    testsupport::createDirectoryFile(other, {{"011", "Neko", "Negde", {}, {}}});
    const QByteArray otherSha = sha(other);
    ASSERT_TRUE(QFile::link(source, dir.path("to-source.csv")));
    ASSERT_EQ(::link(QFile::encodeName(source).constData(),
                     QFile::encodeName(dir.path("hard-source.csv")).constData()),
              0);
    ASSERT_TRUE(QFile::link(other, dir.path("to-other.mdb")));
    ASSERT_TRUE(QFile::link(out(), dir.path("to-dest.csv"))); // DEST does not exist yet
    ASSERT_TRUE(QDir(folder()).mkdir("sub"));
    const QString fifo = dir.path("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    struct Case
    {
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {{"import", source, out(), "--report", keep}, "already exists"},
        {{"import", source, out(), "--report", other}, "already exists"},
        // Through a link or a second name, the report is still the source.
        {{"import", source, out(), "--report", dir.path("to-source.csv")},
         "the report would replace SOURCE"},
        {{"import", source, out(), "--force", "--report", dir.path("to-source.csv")},
         "the report would replace SOURCE"},
        {{"import", source, out(), "--force", "--report", dir.path("hard-source.csv")},
         "the report would replace SOURCE"},
        {{"import", source, out(), "--force", "--report", source},
         "the report would replace SOURCE"},
        // The destination, existing or not yet, under another spelling too.
        {{"import", source, out(), "--report", out()}, "the report would replace DEST"},
        {{"import", source, out(), "--force", "--report", dir.path("sub/../imenik.mdb")},
         "the report would replace DEST"},
        {{"import", source, out(), "--force", "--report", dir.path("to-dest.csv")},
         "the report would replace DEST"},
        {{"import", source, other, "--force", "--report", dir.path("to-other.mdb")},
         "the report would replace DEST"},
        {{"import", source, out(), "--force", "--report", fifo}, "not a regular file"},
        {{"import", source, out(), "--report", dir.path("sub")}, "is a folder"},
        {{"import", source, out(), "--report", dir.path("nema/r.csv")}, "does not exist"},
    };
    for (const Case& c : cases) {
        const QStringList before = entries(folder());
        const ToolRun r = runWithin(c.args);
        const std::string what = c.args.join(' ').toStdString() + "\n" + show(r);
        EXPECT_EQ(r.exitCode, 1) << what;
        EXPECT_TRUE(r.err.contains(QLatin1String(c.message))) << c.message << "\n" << what;
        EXPECT_EQ(entries(folder()), before) << what;
        EXPECT_FALSE(QFileInfo::exists(out())) << what;
    }
    EXPECT_EQ(sha(source), sourceSha);
    EXPECT_EQ(TempDir::read(keep), "somebody's notes");
    EXPECT_EQ(sha(other), otherSha);
    EXPECT_TRUE(QFileInfo(dir.path("to-dest.csv")).isSymLink());

    // With --force an unrelated file gives way; a link in the report's place
    // is replaced itself, never written through.
    ToolRun r = runWithin({"import", source, out(), "--force", "--report", keep});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(TempDir::read(keep).startsWith("row,reason,")) << TempDir::read(keep).data();
    const QString linkToNotes = dir.path("to-notes.csv");
    const QString notes = dir.write("notes.txt", "other notes");
    ASSERT_TRUE(QFile::link(notes, linkToNotes));
    r = runWithin({"import", source, out(), "--force", "--report", linkToNotes});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    EXPECT_FALSE(QFileInfo(linkToNotes).isSymLink());
    EXPECT_TRUE(TempDir::read(linkToNotes).startsWith("row,reason,"));
    EXPECT_EQ(TempDir::read(notes), "other notes");

    // A failed import leaves no report, not even a part of one.
    const QString broken = dir.write("broken.csv", "Telefon,Vlasnik,Adresa\n,A,B\n1,\"open\n");
    const QStringList before = entries(folder());
    r = runWithin({"import", broken, dir.path("novi.mdb"), "--report", dir.path("novi.csv")});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_EQ(entries(folder()), before);
    EXPECT_TRUE(tempFiles().isEmpty()) << tempFiles().join(' ').toStdString();
}
