#pragma once
// Where the program keeps its settings, and the settings read and written
// there. A copy in a folder its user may write (a portable copy, a build
// folder) keeps them in one file beside the executable. An installed copy,
// whose folder its user may not write, keeps them in the user's
// configuration folder, and takes what that file lacks from a file an
// administrator may place for every desk, which it never writes.
#include "platform/ini/IniFile.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace vidra {

// The settings file's name for an executable: its full path with the
// extension of the file name replaced by ".ini", or ".ini" appended when the
// file name has none.
QString iniFileNameFor(const QString& executablePath);

struct SettingsPlace
{
    QString file;     // read and written
    QString defaults; // read for the keys `file` lacks, never written; empty: none
    // `file` lies in the user's configuration folder: the folder is made
    // when the file is written, and a relative path read from a file is
    // taken from that file's folder.
    bool inConfigFolder = false;
};

// What the choice of place depends on, so that it can be tried on any folder
// as any user.
struct SettingsHost
{
    std::function<bool(const QString& folder)> canWrite;
    std::function<QString(const char* name)> environment;
    QString homeFolder;
    // The folder a package installs the program into: settings never go
    // beside it, not even for an administrator who could write there.
    QString installedFolder;
};

// This process: access(2) for writing, its environment and its home folder.
SettingsHost thisHost();

// The configuration folders of the XDG base directories: the user's
// ($XDG_CONFIG_HOME, else ~/.config) and the system's in order of preference
// ($XDG_CONFIG_DIRS, else /etc/xdg). Relative entries are ignored.
QString userConfigFolder(const SettingsHost& host);
QStringList systemConfigFolders(const SettingsHost& host);

SettingsPlace settingsPlaceFor(const QString& executablePath, const SettingsHost& host);

// The settings at a place. Reads take the user's file first, then the
// administrator's, then the default. A write changes the user's file in place,
// except that a key the user's file lacks is not written when the value is
// the one the administrator's file gives: such a desk keeps following it.
class Settings
{
public:
    explicit Settings(SettingsPlace place);
    const SettingsPlace& place() const { return m_place; }

    QString readString(const QString& section, const QString& key, const QString& def) const;
    int readInteger(const QString& section, const QString& key, int def) const;
    QString readPath(const QString& section, const QString& key, const QString& def) const;

    // A relative file name read from `key`, as this place takes it: in the
    // configuration folder, from the folder of the file it came from (the
    // user's for the default); beside the executable, unchanged, so that it
    // is taken from the working folder.
    QString resolvePath(const QString& section, const QString& key, const QString& path) const;

    // Raise vidra::Error("Unable to write to <file>") when the file cannot be written.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    // A path that resolvePath made of the user's relative value is written
    // back as that value.
    void writePath(const QString& section, const QString& key, const QString& path);

private:
    // The file a read of the key is answered from, or null for the default.
    const IniFile* source(const QString& section, const QString& key) const;
    bool inherits(const QString& section, const QString& key, const QString& value,
                  bool path) const;
    void makeFolder() const;

    SettingsPlace m_place;
    IniFile m_file;
    IniFile m_defaults;
};

} // namespace vidra
