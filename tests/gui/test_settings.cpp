#include "FrameFixture.h"
#include "platform/ui/AppError.h"

#include <QDir>
#include <QTest>

namespace {

// Runs a test with the working folder set to the scratch folder.
class InScratchFolder
{
public:
    explicit InScratchFolder(const QString& folder) : m_old(QDir::currentPath())
    {
        QDir::setCurrent(folder);
    }
    ~InScratchFolder() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

using Settings = FrameFixture;

} // namespace

TEST_F(Settings, FirstStartWithoutIniUsesDataMdbMaximisedAndWritesBoth)
{
    InScratchFolder cwd(dir.path(""));
    makeDb("data.mdb", 2);
    create(iniPath());
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(dm->DbPath(), "data.mdb"); // relative, handed over unchanged
    EXPECT_EQ(panel0(), " Broj pretplatnika: 2");
    EXPECT_EQ(form->WindowState(), TFVidra::StateMaximized);
    form->ShowInState();
    EXPECT_TRUE(form->isMaximized());

    form->close();
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), "data.mdb");
    EXPECT_EQ(iniValue("APP", "window"), "2");
    const QByteArray text = testsupport::TempDir::read(iniPath());
    EXPECT_LT(text.indexOf("[BAZA]"), text.indexOf("[APP]"));
}

TEST_F(Settings, MissingDatabaseReportedOnceAndItsPathSavedAgain)
{
    const QString missing = dir.path("nema/baza.mdb");
    createWith(missing, TFVidra::StateNormal);
    EXPECT_EQ(connectErrors(), 1);
    EXPECT_EQ(hook.boxes().size(), 1u);
    form->ShowInState();
    form->close();
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), missing);
    EXPECT_EQ(iniValue("APP", "window"), "0");
    EXPECT_EQ(hook.boxes().size(), 1u);
}

TEST_F(Settings, WindowValueHexBadAndOutOfRange)
{
    const QString db = makeDb("d.mdb", 1);
    const std::pair<const char*, int> cases[] = {
        {"0x0", 0}, {"0X1", 1}, {"0x2", 2}, {"abc", 2}, {"", 2}, {"7", 2}, {"-1", 2}, {"1", 1},
    };
    for (const auto& [value, expected] : cases) {
        writeIni("[BAZA]\nDBPATH=" + db.toUtf8() + "\n[APP]\nwindow=" + value + "\n");
        create(iniPath());
        EXPECT_EQ(form->WindowState(), expected) << value;
        form.reset();
    }
}

TEST_F(Settings, StateFollowsMaximiseAndRestoreButNotMinimise)
{
    createWith(makeDb("d.mdb", 1), TFVidra::StateNormal);
    form->ShowInState();
    EXPECT_EQ(form->WindowState(), 0);
    form->showMaximized();
    EXPECT_EQ(form->WindowState(), 2);
    form->setWindowState(form->windowState() | Qt::WindowMinimized);
    EXPECT_EQ(form->WindowState(), 2);
    form->setWindowState(form->windowState() & ~Qt::WindowMinimized); // back to maximised
    EXPECT_EQ(form->WindowState(), 2);
    form->showNormal();
    EXPECT_EQ(form->WindowState(), 0);
    form->showMinimized();
    EXPECT_EQ(form->WindowState(), 0);
    form->close();
    EXPECT_EQ(iniValue("APP", "window"), "0");
}

TEST_F(Settings, MinimisedStartSavesOneUnlessRestored)
{
    createWith(makeDb("d.mdb", 1), TFVidra::StateMinimized);
    form->ShowInState();
    EXPECT_TRUE(form->isMinimized());
    form->close();
    EXPECT_EQ(iniValue("APP", "window"), "1");

    form.reset();
    create(iniPath());
    form->ShowInState();
    form->showNormal(); // restoring such a start
    EXPECT_EQ(form->WindowState(), 0);
    form->close();
    EXPECT_EQ(iniValue("APP", "window"), "0");
}

TEST_F(Settings, WrittenOnceHoweverOftenClosed)
{
    createWith(makeDb("d.mdb", 1), TFVidra::StateNormal);
    form->ShowInState();
    form->close();
    EXPECT_EQ(iniValue("APP", "window"), "0");
    // A second close (a signal after the close box, say) writes nothing.
    writeIni("[APP]\nwindow=9\n");
    form->close();
    EXPECT_EQ(testsupport::TempDir::read(iniPath()), QByteArray("[APP]\nwindow=9\n"));
}

TEST_F(Settings, UnwritableFileShownInApplicationErrorBoxAndWindowStillCloses)
{
    const QString ini = dir.path("nema-mape/Vidra.ini");
    const QString db = makeDb("d.mdb", 1);
    create(ini);
    dm->ConnectToDatabase(db);
    form->ShowInState();
    hook.clear();
    form->close();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].kind, vidra::ui::BoxKind::Error);
    EXPECT_EQ(hook.boxes()[0].caption, vidra::ui::applicationTitle());
    EXPECT_EQ(hook.boxes()[0].text, "Unable to write to " + ini + ".");
}
