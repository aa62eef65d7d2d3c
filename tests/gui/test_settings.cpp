#include "FrameFixture.h"
#include "platform/ui/AppError.h"

#include <QDir>
#include <QFileInfo>
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

namespace {

// A copy installed where its user may not write: its settings in a
// configuration folder of the scratch folder, an administrator's file beside.
class InstalledCopy : public FrameFixture
{
protected:
    QString userIni() const { return dir.path("home/.config/vidra/Vidra.ini"); }
    QString adminIni() const { return dir.path("etc/xdg/vidra/Vidra.ini"); }
    void writeAdmin(const QByteArray& text) const
    {
        QDir().mkpath(dir.path("etc/xdg/vidra"));
        dir.write("etc/xdg/vidra/Vidra.ini", text);
    }
    void start()
    {
        form = std::make_unique<TFVidra>(vidra::SettingsPlace{
            userIni(), QFileInfo::exists(adminIni()) ? adminIni() : QString(), true});
        form->gbFiltar->hide();
        form->dbNapomena->hide();
    }
    QString userValue(const char* section, const char* key) const
    {
        return vidra::IniFile(userIni()).readString(section, key, "<missing>");
    }
};

} // namespace

TEST_F(InstalledCopy, FirstStartWithNothingReportsTheConnectionAndMakesThePrivateFolderAtClose)
{
    // Started from a desktop menu, in a folder holding a data.mdb of its own:
    // the default is not taken from the working folder.
    InScratchFolder cwd(dir.path(""));
    makeDb("data.mdb", 2);
    start();
    EXPECT_EQ(connectErrors(), 1);
    EXPECT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(dm->DbPath(), dir.path("home/.config/vidra/data.mdb"));
    EXPECT_EQ(form->WindowState(), TFVidra::StateMaximized);
    form->ShowInState();
    form->close();
    EXPECT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(userValue("BAZA", "DBPATH"), dir.path("home/.config/vidra/data.mdb"));
    EXPECT_EQ(userValue("APP", "window"), "2");
    EXPECT_FALSE(QFileInfo::exists(dir.path("Vidra.ini")));

    // A file chosen later in that folder is found under its relative name.
    form.reset();
    hook.clear();
    makeDb("home/.config/vidra/moja.mdb", 3);
    vidra::IniFile(userIni()).writeString("BAZA", "DBPATH", "moja.mdb");
    start();
    EXPECT_EQ(connectErrors(), 0);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");
    form->ShowInState();
    form->close();
    EXPECT_EQ(userValue("BAZA", "DBPATH"), "moja.mdb");
}

TEST_F(InstalledCopy, AdministratorsDefaultIsOpenedAndFollowedUntilTheUserChoosesAnother)
{
    const QString shared = makeDb("zajednicka.mdb", 4);
    const QByteArray adminText = "[BAZA]\nDBPATH=" + shared.toUtf8() + "\n";
    writeAdmin(adminText);
    start();
    EXPECT_EQ(connectErrors(), 0);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 4");
    form->ShowInState();
    form->close();
    // The window's state is the user's; the directory stays the administrator's.
    EXPECT_EQ(userValue("APP", "window"), "2");
    EXPECT_EQ(userValue("BAZA", "DBPATH"), "<missing>");
    EXPECT_EQ(testsupport::TempDir::read(adminIni()), adminText);

    // The user's own value wins over it, and is kept.
    form.reset();
    const QString own = makeDb("moja.mdb", 1);
    vidra::IniFile(userIni()).writeString("BAZA", "DBPATH", own);
    start();
    EXPECT_EQ(panel0(), " Broj pretplatnika: 1");
    form->ShowInState();
    form->close();
    EXPECT_EQ(userValue("BAZA", "DBPATH"), own);
    EXPECT_EQ(testsupport::TempDir::read(adminIni()), adminText);
    EXPECT_EQ(connectErrors(), 0);
}

TEST_F(InstalledCopy, UnwritableConfigFolderShownInTheErrorBoxAndTheWindowStillCloses)
{
    dir.write("home", "a file where the home folder should be");
    start();
    EXPECT_EQ(connectErrors(), 1);
    form->ShowInState();
    hook.clear();
    form->close();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].kind, vidra::ui::BoxKind::Error);
    EXPECT_EQ(hook.boxes()[0].text, "Unable to write to " + userIni() + ".");
}
