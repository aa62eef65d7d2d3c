#include "tools/ImportFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vidradb {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

// ------------------------------------------------------------ SourceFile

SourceFile::SourceFile(const QString& path) : m_path(path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::stat(name.constData(), &st) != 0) {
        if (errno == ENOENT) throw Failure{QStringLiteral("%1 does not exist").arg(quoted(path))};
        throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(path), errnoText(errno))};
    }
    refuseUnlessRegular(st);
    // Without waiting: should a pipe take the file's place after the
    // check, opening it must not wait for a writer that never comes.
    m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0)
        throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(path), errnoText(errno))};
    if (::fstat(m_fd, &m_stat) != 0)
        throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(path), errnoText(errno))};
    refuseUnlessRegular(m_stat);
}

SourceFile::~SourceFile()
{
    if (m_map) ::munmap(m_map, size_t(m_stat.st_size));
    if (m_fd >= 0) ::close(m_fd);
}

QByteArray SourceFile::head(size_t n) const
{
    QByteArray bytes(qsizetype(n), '\0');
    ssize_t got;
    while ((got = ::pread(m_fd, bytes.data(), n, 0)) < 0 && errno == EINTR) {
    }
    if (got < 0)
        throw Failure{QStringLiteral("cannot read %1: %2").arg(quoted(m_path), errnoText(errno))};
    bytes.truncate(got);
    return bytes;
}

const char* SourceFile::data()
{
    if (size() == 0) return "";
    if (!m_map) {
        void* p = ::mmap(nullptr, size(), PROT_READ, MAP_PRIVATE, m_fd, 0);
        if (p == MAP_FAILED)
            throw Failure{
                QStringLiteral("cannot read %1: %2").arg(quoted(m_path), errnoText(errno))};
        m_map = p;
    }
    return static_cast<const char*>(m_map);
}

QString SourceFile::nameForChild() const
{
    QString viaFd = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
    if (::access(QFile::encodeName(viaFd).constData(), R_OK) != 0) return m_path;
    const int flags = ::fcntl(m_fd, F_GETFD);
    if (flags < 0 || ::fcntl(m_fd, F_SETFD, flags & ~FD_CLOEXEC) != 0) return m_path;
    return viaFd;
}

void SourceFile::refuseUnlessRegular(const struct stat& st) const
{
    if (S_ISDIR(st.st_mode)) throw Failure{QStringLiteral("%1 is a folder").arg(quoted(m_path))};
    if (!S_ISREG(st.st_mode))
        throw Failure{QStringLiteral("%1 is not a regular file (a pipe, a device or a "
                                     "socket); only files are imported")
                          .arg(quoted(m_path))};
}

// ---------------------------------------------------------------- Report

Report::Report(const QString& path, const FileIdentity& before)
    : m_target(path), m_before(before), m_temp(path), m_file(m_temp.path())
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Failure{
            QStringLiteral("cannot write %1: %2").arg(quoted(m_temp.path()), m_file.errorString())};
    write("row,reason,Telefon,Vlasnik,Adresa,Mesto,Napomena\n");
}

void Report::write(const QByteArray& bytes)
{
    if (m_file.write(bytes) != bytes.size()) fail();
}

void Report::finish()
{
    if (!m_file.flush()) fail();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) fail();
}

void Report::fail()
{
    throw Failure{QStringLiteral("cannot write the report %1: %2")
                      .arg(quoted(m_target), m_file.errorString())};
}

} // namespace vidradb
