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
        ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 3; }, 10000));
        EXPECT_EQ(spy.count(), 3);
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 10000));
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
        // Until the program catches it, SIGTERM would end it at once.
        ASSERT_TRUE(QTest::qWaitFor([&] { return catchesSigterm(process.processId()); }, 30000));
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
    // The signal is read by an event loop, and with a good directory the
    // first one to run is the shown window's own: it always meets the window
    // up, however soon it is sent.
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
