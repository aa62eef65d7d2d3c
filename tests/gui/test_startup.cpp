#include "FrameFixture.h"
#include "GuiSupport.h"
#include "app/Startup.h"

#include <QDialog>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

using vidra::app::TerminationSignals;

TEST(TerminationSignalsTest, SignalsArriveThroughTheEventLoop)
{
    struct sigaction before = {};
    sigaction(SIGTERM, nullptr, &before);
    {
        TerminationSignals watcher;
        QSignalSpy spy(&watcher, &TerminationSignals::requested);
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        ::raise(SIGINT);
        EXPECT_SOON_EQ(spy.count(), 3);
        EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
        EXPECT_EQ(spy.at(1).at(0).toInt(), SIGHUP);
        EXPECT_EQ(spy.at(2).at(0).toInt(), SIGINT);
        EXPECT_THROW(TerminationSignals second, std::logic_error);
    }
    struct sigaction after = {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

using EndOfSession = FrameFixture;

TEST_F(EndOfSession, ClosesAnOpenDialogFirstThenTheWindowSavingOnce)
{
    createWith(makeDb("d.mdb", 1), TFVidra::StateNormal);
    form->ShowInState();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    TerminationSignals watcher;
    QObject::connect(&watcher, &TerminationSignals::requested, form.get(),
                     [this] { vidra::app::closeMainWindow(form.get()); });

    QDialog dialog(form.get());
    bool windowOpenWhenDialogEnded = false;
    QObject::connect(&dialog, &QDialog::finished,
                     [&] { windowOpenWhenDialogEnded = form->isVisible(); });
    guitest::whenModalShown([](QWidget*) { ::raise(SIGTERM); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(windowOpenWhenDialogEnded);
    EXPECT_SOON(!form->isVisible());
    EXPECT_EQ(iniValue("APP", "window"), "0");
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), dir.path("d.mdb"));
}

#ifdef VIDRA_APP
namespace {

bool catchesSigterm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

// The real program, copied beside a settings file of its own.
class RealProgram : public FrameFixture
{
protected:
    QProcess process;
    void start()
    {
        const QString exe = dir.path("Vidra");
        ASSERT_TRUE(QFile::copy(VIDRA_APP, exe));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path(""));
        process.start(exe, {});
        ASSERT_TRUE(process.waitForStarted(10000));
        for (int i = 0; i < 1000 && !catchesSigterm(process.processId()); ++i)
            QTest::qWait(10);
        ASSERT_TRUE(catchesSigterm(process.processId()));
    }
    void endWith(int signal)
    {
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
    }
    void TearDown() override
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
        FrameFixture::TearDown();
    }
};

} // namespace

TEST_F(RealProgram, SigtermClosesNormallyAndWritesTheSettings)
{
    const QString db = makeDb("imenik.mdb", 2);
    writeIni("[BAZA]\nDBPATH=" + db.toUtf8() + "\n");
    start();
    QTest::qWait(300); // also fine if the window is not up yet
    endWith(SIGTERM);
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), db);
    EXPECT_EQ(iniValue("APP", "window"), "2");
}

TEST_F(RealProgram, SighupDuringTheStartupErrorBoxStillSaves)
{
    // No settings and no data.mdb: the program waits in the connect error box.
    start();
    endWith(SIGHUP);
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), "data.mdb");
    EXPECT_EQ(iniValue("APP", "window"), "2");
}
#endif
