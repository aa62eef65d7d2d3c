#include "tools/DbFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vidradb {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

FileIdentity identityFrom(const struct stat& st)
{
    FileIdentity id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.mode = st.st_mode;
    id.size = st.st_size;
    id.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return id;
}

// A rename is on the disk only once its folder is.
void syncFolder(const QString& file)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd); // some file systems cannot sync a folder; the file itself is synced
    ::close(fd);
}

Failure changedMeanwhile(const QString& target, bool existed)
{
    return Failure{
        QStringLiteral("%1 %2 while this run was writing (another import?); it was "
                       "not replaced")
            .arg(quoted(target), existed ? QStringLiteral("changed") : QStringLiteral("appeared"))};
}

bool unsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

} // namespace

FileIdentity identityOf(const QString& path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return identityFrom(st);
}

std::optional<FileKey> fileKeyOf(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return FileKey{st.st_dev, st.st_ino};
}

QString resolvedName(const QString& path)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : QDir(folder).filePath(info.fileName());
}

QStringList linkChain(const QString& path)
{
    QStringList chain{resolvedName(path)};
    // As many links as the system itself follows before it gives up.
    for (int hop = 0; hop < 40; ++hop) {
        const QString& name = chain.back();
        const QString target = QFile::symLinkTarget(name);
        if (target.isEmpty() || chain.contains(resolvedName(target))) break;
        chain << resolvedName(target);
    }
    return chain;
}

FileIdentity checkTarget(const QString& file, bool force)
{
    const FileIdentity id = identityOf(file);
    if (id.exists) {
        // Where a link leads counts: a link to a folder or a pipe is refused too.
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(file).constData(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                throw Failure{QStringLiteral("%1 is a folder").arg(quoted(file))};
            if (!S_ISREG(st.st_mode))
                throw Failure{QStringLiteral("%1 is not a regular file (a pipe, a device or a "
                                             "socket); it is never replaced")
                                  .arg(quoted(file))};
        }
        if (!force)
            throw Failure{
                QStringLiteral("%1 already exists (use --force to replace it)").arg(quoted(file))};
    }
    const QFileInfo info(file);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        throw Failure{QStringLiteral("folder %1 does not exist")
                          .arg(quoted(QDir::toNativeSeparators(info.absolutePath())))};
    return id;
}

// ------------------------------------------------------------- TempFile

TempFile::TempFile(const QString& target)
{
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            QStringLiteral("%1.%2.tmp")
                .arg(info.fileName())
                .arg(QRandomGenerator::global()->bounded(1u << 30), 8, 36, QLatin1Char('0'));
        QFile f(QDir(folder).filePath(name));
        // NewOnly: never reuse a file someone else made; the mode follows
        // the user's umask like any new file.
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_path = f.fileName();
            return;
        }
        if (f.exists()) continue;
        throw Failure{QStringLiteral("cannot create a file in %1: %2")
                          .arg(quoted(QDir::toNativeSeparators(folder)), f.errorString())};
    }
    throw Failure{QStringLiteral("cannot find a free temporary name in %1")
                      .arg(quoted(QDir::toNativeSeparators(folder)))};
}

TempFile::~TempFile()
{
    if (!m_path.isEmpty()) QFile::remove(m_path);
}

void TempFile::moveTo(const QString& target, const FileIdentity& before)
{
    const QByteArray from = QFile::encodeName(m_path);
    const QByteArray to = QFile::encodeName(target);
    // The file is written without a journal: it must be on the disk before
    // its name says it is complete.
    if (const int fd = ::open(from.constData(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        const int rc = ::fsync(fd);
        ::close(fd);
        if (rc != 0)
            throw Failure{QStringLiteral("cannot write %1 to the disk").arg(quoted(target))};
    }

    if (before.exists) {
        // Swapped in one step, then the file swapped out is checked: no other
        // process can slip a file in between a check and the rename. What was
        // not the file found at the start gets its name back.
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) ==
            0) {
            if (identityOf(m_path) == before) {
                ::unlink(from.constData());
                m_path.clear();
                syncFolder(target);
                return;
            }
            if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(),
                            RENAME_EXCHANGE) != 0) {
                const QString kept = m_path;
                m_path.clear(); // it holds the other file now: never remove it
                throw Failure{QStringLiteral("%1 changed while this run was writing, and it "
                                             "could not be put back: it is now %2 (%3)")
                                  .arg(quoted(target), quoted(kept), errnoText(errno))};
            }
            throw changedMeanwhile(target, true);
        }
        if (unsupported(errno)) {
            // No swapping on this file system: the check is as close to the
            // rename as it can be.
            if (identityOf(target) != before) throw changedMeanwhile(target, true);
            if (::rename(from.constData(), to.constData()) != 0)
                throw Failure{
                    QStringLiteral("cannot replace %1: %2").arg(quoted(target), errnoText(errno))};
            m_path.clear();
            syncFolder(target);
            return;
        }
        if (errno != ENOENT)
            throw Failure{
                QStringLiteral("cannot replace %1: %2").arg(quoted(target), errnoText(errno))};
        // The file is gone: nobody's file is lost by creating it anew.
    }

    // Never over a file that appeared meanwhile.
    int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && unsupported(errno)) {
        rc = ::link(from.constData(), to.constData());
        if (rc == 0) {
            ::unlink(from.constData());
        } else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
            // Not even hard links (FAT): check, then rename.
            if (identityOf(target).exists) throw changedMeanwhile(target, before.exists);
            rc = ::rename(from.constData(), to.constData());
        }
    }
    if (rc != 0) {
        if (errno == EEXIST) throw changedMeanwhile(target, before.exists);
        throw Failure{QStringLiteral("cannot create %1: %2").arg(quoted(target), errnoText(errno))};
    }
    m_path.clear();
    syncFolder(target);
}

} // namespace vidradb
