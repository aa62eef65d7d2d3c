#include "platform/Error.h"
#include "platform/ini/Settings.h"
#include "platform/legacy/LegacyReader.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempDir;
using vidra::Settings;
using vidra::SettingsHost;
using vidra::SettingsPlace;

namespace {

// A host whose writable folders, environment and home are the test's.
struct FakeHost
{
    QStringList writable;
    std::map<std::string, QString> env;
    QString home = QStringLiteral("/home/desk");
    QString installed;

    SettingsHost host() const
    {
        SettingsHost h;
        h.canWrite = [w = writable](const QString& folder) { return w.contains(folder); };
        h.environment = [e = env](const char* name) {
            const auto it = e.find(name);
            return it == e.end() ? QString() : it->second;
        };
        h.homeFolder = home;
        h.installedFolder = installed;
        return h;
    }
};

QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const vidra::Error& e) {
        return e.message();
    }
    return QString();
}

void makeFolder(const QString& path)
{
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
}

} // namespace

TEST(SettingsPlace, BesideAWritableExecutableElseInTheUsersConfigFolder)
{
    FakeHost fake;
    fake.writable << "/opt/vidra";

    // A portable copy: one file beside it, nothing else, nothing made.
    const SettingsPlace portable = vidra::settingsPlaceFor("/opt/vidra/Vidra", fake.host());
    EXPECT_EQ(portable.file, "/opt/vidra/Vidra.ini");
    EXPECT_TRUE(portable.defaults.isEmpty());
    EXPECT_FALSE(portable.inConfigFolder);

    // An installed copy: the same name in the user's configuration folder.
    const SettingsPlace installed = vidra::settingsPlaceFor("/usr/bin/Vidra", fake.host());
    EXPECT_EQ(installed.file, "/home/desk/.config/vidra/Vidra.ini");
    EXPECT_TRUE(installed.inConfigFolder);
    EXPECT_EQ(vidra::settingsPlaceFor("/usr/bin/Vidra.bin", fake.host()).file,
              "/home/desk/.config/vidra/Vidra.ini");

    fake.env["XDG_CONFIG_HOME"] = "/srv/cfg";
    EXPECT_EQ(vidra::settingsPlaceFor("/usr/bin/Vidra", fake.host()).file,
              "/srv/cfg/vidra/Vidra.ini");
    fake.env["XDG_CONFIG_HOME"] = "relative/cfg"; // not absolute: ignored
    EXPECT_EQ(vidra::settingsPlaceFor("/usr/bin/Vidra", fake.host()).file,
              "/home/desk/.config/vidra/Vidra.ini");
}

TEST(SettingsPlace, TheInstalledFolderIsNeverWrittenEvenWhenItCouldBe)
{
    // An administrator starting the installed program could write its folder;
    // a file left there would belong to no package.
    TempDir td;
    const QString bin = td.path("usr/bin");
    makeFolder(bin);
    FakeHost fake;
    fake.writable << bin << td.path("portable");
    fake.installed = bin;
    EXPECT_TRUE(vidra::settingsPlaceFor(bin + "/Vidra", fake.host()).inConfigFolder);
    // Another name of the same folder is the same folder.
    ASSERT_TRUE(QFile::link(bin, td.path("bin-link")));
    fake.writable << td.path("bin-link");
    EXPECT_TRUE(vidra::settingsPlaceFor(td.path("bin-link/Vidra"), fake.host()).inConfigFolder);
    EXPECT_FALSE(vidra::settingsPlaceFor(td.path("portable/Vidra"), fake.host()).inConfigFolder);
}

TEST(SettingsPlace, DefaultsComeFromTheFirstListedSystemFolderThatHoldsTheFile)
{
    TempDir td;
    makeFolder(td.path("a/vidra"));
    makeFolder(td.path("b/vidra"));
    makeFolder(td.path("c/vidra"));
    td.write("b/vidra/Vidra.ini", "[BAZA]\nDBPATH=/srv/b.db\n");
    td.write("c/vidra/Vidra.ini", "[BAZA]\nDBPATH=/srv/c.db\n");
    makeFolder(td.path("a/vidra/Vidra.ini")); // a folder of that name is no file

    FakeHost fake;
    EXPECT_EQ(vidra::systemConfigFolders(fake.host()), QStringList{"/etc/xdg"});
    fake.env["XDG_CONFIG_DIRS"] =
        "rel/ative:" + td.path("a") + "::" + td.path("b") + ":" + td.path("c");
    EXPECT_EQ(vidra::systemConfigFolders(fake.host()),
              (QStringList{td.path("a"), td.path("b"), td.path("c")}));
    EXPECT_EQ(vidra::settingsPlaceFor("/usr/bin/Vidra", fake.host()).defaults,
              td.path("b/vidra/Vidra.ini"));

    fake.env["XDG_CONFIG_DIRS"] = td.path("a");
    EXPECT_TRUE(vidra::settingsPlaceFor("/usr/bin/Vidra", fake.host()).defaults.isEmpty());
    // A portable copy reads no administrator's file.
    fake.env["XDG_CONFIG_DIRS"] = td.path("b");
    fake.writable << "/opt/vidra";
    EXPECT_TRUE(vidra::settingsPlaceFor("/opt/vidra/Vidra", fake.host()).defaults.isEmpty());
}

TEST(SettingsPlace, ThisHostTellsAReadOnlyFolderFromAWritableOne)
{
    TempDir td;
    const QString ro = td.path("ro");
    makeFolder(ro);
    ASSERT_EQ(::chmod(QFile::encodeName(ro).constData(), 0555), 0);
    const SettingsHost host = vidra::thisHost();
    EXPECT_TRUE(host.canWrite(td.path("")));
    EXPECT_FALSE(host.canWrite(td.path("missing")));
    EXPECT_FALSE(host.homeFolder.isEmpty());
    if (::geteuid() == 0) {
        ::chmod(QFile::encodeName(ro).constData(), 0755);
        GTEST_SKIP() << "root writes a read-only folder: that half needs an ordinary user";
    }
    EXPECT_FALSE(host.canWrite(ro));
    const SettingsPlace place = vidra::settingsPlaceFor(ro + "/Vidra", host);
    EXPECT_TRUE(place.inConfigFolder);
    EXPECT_TRUE(place.file.endsWith("/vidra/Vidra.ini"));
    ::chmod(QFile::encodeName(ro).constData(), 0755);
}

namespace {

class LayeredSettings : public ::testing::Test
{
protected:
    TempDir td;
    QString user() const { return td.path("home/.config/vidra/Vidra.ini"); }
    QString admin() const { return td.path("etc/vidra/Vidra.ini"); }
    void SetUp() override { makeFolder(td.path("etc/vidra")); }
    Settings installed() const { return Settings(SettingsPlace{user(), admin(), true}); }
};

} // namespace

TEST_F(LayeredSettings, TheUsersValueThenTheAdministratorsThenTheDefault)
{
    td.write("etc/vidra/Vidra.ini", "[BAZA]\nDBPATH=/srv/imenik.db\n[APP]\nwindow=0\n");
    const Settings s = installed();
    EXPECT_EQ(s.readPath("BAZA", "DBPATH", "data.mdb"), "/srv/imenik.db");
    EXPECT_EQ(s.readInteger("APP", "window", 2), 0);
    EXPECT_EQ(s.readString("APP", "other", "d"), "d");

    makeFolder(td.path("home/.config/vidra"));
    td.write("home/.config/vidra/Vidra.ini", "[app]\nWINDOW=1\n");
    EXPECT_EQ(s.readInteger("APP", "window", 2), 1);
    EXPECT_EQ(s.readPath("BAZA", "DBPATH", "data.mdb"), "/srv/imenik.db");
    // An empty value in the user's file is still the user's value.
    td.write("home/.config/vidra/Vidra.ini", "[BAZA]\nDBPATH=\n");
    EXPECT_EQ(s.readPath("BAZA", "DBPATH", "data.mdb"), "");
}

TEST_F(LayeredSettings, WritesMakeThePrivateFolderAndNeverTouchTheAdministratorsFile)
{
    const QByteArray adminText = "; for every desk\n[BAZA]\nDBPATH=/srv/imenik.db\n";
    td.write("etc/vidra/Vidra.ini", adminText);
    Settings s = installed();
    // The administrator's value unchanged: the desk keeps following that file.
    s.writePath("BAZA", "DBPATH", "/srv/imenik.db");
    EXPECT_FALSE(QFileInfo::exists(user()));
    s.writeInteger("APP", "window", 2);
    ASSERT_TRUE(QFileInfo(user()).isFile());
    EXPECT_EQ(TempDir::read(user()), QByteArray("[APP]\nwindow=2\n"));
    const auto mode = QFileInfo(td.path("home/.config/vidra")).permissions();
    EXPECT_EQ(mode & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions());

    // A value of the user's own overrides it, and is then updated in place.
    s.writePath("BAZA", "DBPATH", "/home/desk/moja.db");
    EXPECT_EQ(s.readPath("BAZA", "DBPATH", "x"), "/home/desk/moja.db");
    s.writePath("BAZA", "DBPATH", "/srv/imenik.db"); // the user's key stays the user's
    EXPECT_EQ(TempDir::read(user()),
              QByteArray("[APP]\nwindow=2\n[BAZA]\nDBPATH=/srv/imenik.db\n"));
    EXPECT_EQ(TempDir::read(admin()), adminText);
}

TEST_F(LayeredSettings, RelativePathsAreTakenFromTheFolderOfTheFileTheyCameFrom)
{
    td.write("etc/vidra/Vidra.ini", "[BAZA]\nDBPATH=zajednicka.db\n");
    Settings s = installed();
    const QString fromAdmin = s.resolvePath("BAZA", "DBPATH", "zajednicka.db");
    EXPECT_EQ(fromAdmin, td.path("etc/vidra/zajednicka.db"));
    // Written back resolved, it is still the administrator's value.
    s.writePath("BAZA", "DBPATH", fromAdmin);
    EXPECT_FALSE(QFileInfo::exists(user()));

    // The default, with no file naming it, lies in the user's folder.
    EXPECT_EQ(s.resolvePath("BAZA", "other", "data.mdb"), td.path("home/.config/vidra/data.mdb"));
    s.writePath("BAZA", "DBPATH", "moja.db");
    const QString mine = s.resolvePath("BAZA", "DBPATH", "moja.db");
    EXPECT_EQ(mine, td.path("home/.config/vidra/moja.db"));
    // Written back resolved, the user's relative name stays as the user wrote it;
    // another file replaces it.
    s.writePath("BAZA", "DBPATH", mine);
    EXPECT_EQ(s.readPath("BAZA", "DBPATH", "x"), "moja.db");
    s.writePath("BAZA", "DBPATH", td.path("home/druga.db"));
    EXPECT_EQ(s.readPath("BAZA", "DBPATH", "x"), td.path("home/druga.db"));
    EXPECT_EQ(s.resolvePath("BAZA", "DBPATH", "/abs/x.db"), "/abs/x.db");

    // Beside the executable a relative name is handed on unchanged.
    const Settings portable(SettingsPlace{td.path("Vidra.ini"), {}, false});
    EXPECT_EQ(portable.resolvePath("BAZA", "DBPATH", "data.mdb"), "data.mdb");
}

TEST_F(LayeredSettings, AConfigFolderThatCannotBeMadeGivesTheUsualMessage)
{
    // A file where the folder should be: no user, not even root, can make it.
    td.write("home-file", "not a folder");
    const QString file = td.path("home-file/.config/vidra/Vidra.ini");
    Settings s(SettingsPlace{file, {}, true});
    EXPECT_EQ(s.readInteger("APP", "window", 2), 2);
    EXPECT_EQ(errorOf([&] { s.writeInteger("APP", "window", 0); }),
              "Unable to write to " + QDir::toNativeSeparators(file));
    EXPECT_EQ(TempDir::read(td.path("home-file")), QByteArray("not a folder"));

    // Beside the executable a missing folder is never made.
    Settings portable(SettingsPlace{td.path("nema/Vidra.ini"), {}, false});
    EXPECT_FALSE(errorOf([&] { portable.writeInteger("APP", "window", 0); }).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(td.path("nema")));
}

TEST(LegacyReaderPlace, BesideTheExecutableElseInTheInstalledPrivateFolder)
{
    TempDir td;
    const auto program = [&](const QString& name) {
        makeFolder(QFileInfo(td.path(name)).absolutePath());
        const QString p = td.write(name, "#!/bin/sh\nexit 0\n");
        QFile::setPermissions(p, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return p;
    };
    const QString bin = td.path("usr/bin");
    makeFolder(bin);
    // Neither: the one that would be beside, for the message naming it.
    EXPECT_EQ(vidra::legacy::readerProgramFor(bin), bin + "/vidra-legacy-reader");
    const QString installed = program("usr/libexec/vidra/vidra-legacy-reader");
    EXPECT_EQ(vidra::legacy::readerProgramFor(bin), installed);
    // A build folder or a portable copy: beside wins.
    const QString beside = program("usr/bin/vidra-legacy-reader");
    EXPECT_EQ(vidra::legacy::readerProgramFor(bin), beside);
    // A folder of that name is not a program.
    makeFolder(td.path("opt/vidra-legacy-reader"));
    EXPECT_EQ(vidra::legacy::readerProgramFor(td.path("opt")), td.path("opt/vidra-legacy-reader"));
}
