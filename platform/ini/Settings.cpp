#include "platform/ini/Settings.h"

#include "platform/LocalPath.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vidra {

namespace {

const char* const kProgramFolder = "vidra";

bool sameFolder(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty()) return false;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

QString homeOfThisUser()
{
    QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty()) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
        return QFile::decodeName(pw->pw_dir);
    return QDir::homePath();
}

QString resolveFrom(const QString& folder, const QString& path)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path)) return path;
    return folder + u'/' + path;
}

} // namespace

QString iniFileNameFor(const QString& executablePath)
{
    const qsizetype nameStart = executablePath.lastIndexOf(u'/') + 1;
    const qsizetype dot = executablePath.lastIndexOf(u'.');
    if (dot >= nameStart) return executablePath.left(dot) + QStringLiteral(".ini");
    return executablePath + QStringLiteral(".ini");
}

SettingsHost thisHost()
{
    SettingsHost host;
    host.canWrite = [](const QString& folder) {
        return ::access(encodePath(folder).constData(), W_OK) == 0;
    };
    host.environment = [](const char* name) { return qEnvironmentVariable(name); };
    host.homeFolder = homeOfThisUser();
#ifdef VIDRA_INSTALLED_BINDIR
    host.installedFolder = QStringLiteral(VIDRA_INSTALLED_BINDIR);
#endif
    return host;
}

QString userConfigFolder(const SettingsHost& host)
{
    QString configHome = host.environment("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(configHome)) return configHome;
    return host.homeFolder + QStringLiteral("/.config");
}

QStringList systemConfigFolders(const SettingsHost& host)
{
    QStringList folders;
    const QString listed = host.environment("XDG_CONFIG_DIRS");
    for (const QString& folder : listed.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(folder)) folders << folder;
    }
    if (folders.isEmpty()) folders << QStringLiteral("/etc/xdg");
    return folders;
}

SettingsPlace settingsPlaceFor(const QString& executablePath, const SettingsHost& host)
{
    const QString beside = iniFileNameFor(executablePath);
    const QString folder = QFileInfo(executablePath).absolutePath();
    if (host.canWrite(folder) && !sameFolder(folder, host.installedFolder))
        return {beside, {}, false};

    const QString sub = QLatin1String(kProgramFolder) + u'/' + QFileInfo(beside).fileName();
    SettingsPlace place;
    place.file = userConfigFolder(host) + u'/' + sub;
    place.inConfigFolder = true;
    for (const QString& system : systemConfigFolders(host)) {
        const QString candidate = system + u'/' + sub;
        if (QFileInfo(candidate).isFile()) {
            place.defaults = candidate;
            break;
        }
    }
    return place;
}

Settings::Settings(SettingsPlace place)
    : m_place(std::move(place)), m_file(m_place.file), m_defaults(m_place.defaults)
{
}

const IniFile* Settings::source(const QString& section, const QString& key) const
{
    if (m_file.contains(section, key)) return &m_file;
    if (!m_place.defaults.isEmpty() && m_defaults.contains(section, key)) return &m_defaults;
    return nullptr;
}

QString Settings::readString(const QString& section, const QString& key, const QString& def) const
{
    const IniFile* from = source(section, key);
    return from ? from->readString(section, key, def) : def;
}

int Settings::readInteger(const QString& section, const QString& key, int def) const
{
    const IniFile* from = source(section, key);
    return from ? from->readInteger(section, key, def) : def;
}

QString Settings::readPath(const QString& section, const QString& key, const QString& def) const
{
    const IniFile* from = source(section, key);
    return from ? from->readPath(section, key, def) : def;
}

QString Settings::resolvePath(const QString& section, const QString& key, const QString& path) const
{
    if (!m_place.inConfigFolder) return path;
    const IniFile* from = source(section, key);
    return resolveFrom(QFileInfo((from ? from : &m_file)->fileName()).absolutePath(), path);
}

bool Settings::inherits(const QString& section, const QString& key, const QString& value,
                        bool path) const
{
    if (m_place.defaults.isEmpty() || m_file.contains(section, key) ||
        !m_defaults.contains(section, key))
        return false;
    if (!path) return m_defaults.readString(section, key, QString()) == value;
    const QString given = m_defaults.readPath(section, key, QString());
    return value == given ||
           value == resolveFrom(QFileInfo(m_defaults.fileName()).absolutePath(), given);
}

void Settings::makeFolder() const
{
    // Made for this user alone, as the base directories ask; a folder that
    // cannot be made leaves the write to fail with its usual message.
    if (!m_place.inConfigFolder) return;
    const QString folder = QFileInfo(m_place.file).absolutePath();
    QStringList missing;
    for (QString f = folder; !f.isEmpty() && !QFileInfo::exists(f);) {
        missing.prepend(f);
        const QString up = QFileInfo(f).absolutePath();
        if (up == f) break;
        f = up;
    }
    for (const QString& f : std::as_const(missing)) {
        if (::mkdir(encodePath(f).constData(), 0700) != 0 && errno != EEXIST) return;
    }
}

void Settings::writeString(const QString& section, const QString& key, const QString& value)
{
    if (inherits(section, key, value, false)) return;
    makeFolder();
    m_file.writeString(section, key, value);
}

void Settings::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

void Settings::writePath(const QString& section, const QString& key, const QString& path)
{
    if (inherits(section, key, path, true)) return;
    // The relative name the user's file holds stays as it was written when
    // it still names the same file.
    QString value = path;
    if (m_place.inConfigFolder && m_file.contains(section, key)) {
        const QString held = m_file.readPath(section, key, QString());
        if (resolvePath(section, key, held) == path) value = held;
    }
    makeFolder();
    m_file.writePath(section, key, value);
}

} // namespace vidra
