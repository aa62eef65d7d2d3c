#include "platform/legacy/LegacyReader.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vidra::legacy {

namespace {

QString g_readerProgram;
int g_stallTimeoutMs = kDefaultStallTimeoutMs;
std::uint64_t g_memoryLimit = 0; // 0: sized from the file
std::string g_complaints;        // the end of the last reader's error output

[[noreturn]] void fail(const QString& message)
{
    throw DbError(message);
}

QString executableDir()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return QString();
    buf[n] = 0;
    return QFileInfo(QFile::decodeName(buf)).absolutePath();
}

// The reader's process: killed and reaped on every way out.
class Child
{
public:
    pid_t pid = -1;
    int out = -1; // its standard output
    int err = -1; // its standard error
    ~Child()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            wait();
        }
        closeFd(out);
        closeFd(err);
    }
    int wait()
    {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        return status;
    }
    static void closeFd(int& fd)
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

void spawn(Child& child, const QString& program, const QStringList& args)
{
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    child.out = outPipe[0];
    child.err = errPipe[0];

    std::vector<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString& a : args)
        bytes.push_back(a.toUtf8());
    std::vector<char*> argv;
    argv.reserve(bytes.size() + 1);
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    // The reader must not inherit a parent's ignored or blocked signals.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0)
        fail(QStringLiteral("The reader of Access files (%1) cannot be started: %2")
                 .arg(program, QString::fromLocal8Bit(std::strerror(rc))));
    child.pid = pid;
}

// Takes frames off the front of what the reader sent so far.
class Parser
{
public:
    std::string buf;
    size_t pos = 0;

    bool have(size_t n) const { return buf.size() - pos >= n; }
    std::uint32_t u32(size_t at) const
    {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(buf[at + size_t(i)]);
        return v;
    }
    std::uint64_t u64(size_t at) const
    {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(buf[at + size_t(i)]);
        return v;
    }
    void compact()
    {
        if (pos > (1u << 20) && pos * 2 > buf.size()) {
            buf.erase(0, pos);
            pos = 0;
        }
    }
};

// The first line of a reader's complaints, short enough for a message.
QString firstLine(const std::string& complaints)
{
    const QString line = QString::fromLocal8Bit(complaints.c_str()).section(u'\n', 0, 0).trimmed();
    return line.size() > 200 ? line.left(200) + QStringLiteral("...") : line;
}

[[noreturn]] void damagedStream()
{
    fail(QStringLiteral("The reader of Access files sent data that cannot be understood"));
}

} // namespace

JetHeader probeFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray head = f.read(64);
    return probeJetHeader(reinterpret_cast<const unsigned char*>(head.constData()),
                          size_t(head.size()));
}

void setReaderProgram(const QString& path)
{
    g_readerProgram = path;
}

void setStallTimeout(int ms)
{
    g_stallTimeoutMs = ms > 0 ? ms : kDefaultStallTimeoutMs;
}

std::uint64_t readerMemoryLimit(std::uint64_t fileSize)
{
    // The libraries and their tables, a few values in flight (the library
    // converts a memo more than once), and the file's catalog.
    return (64u << 20) + 16 * std::uint64_t(maxValueBytes(fileSize)) + fileSize;
}

void setReaderMemoryLimit(std::uint64_t bytes)
{
    g_memoryLimit = bytes;
}

std::string lastReaderComplaints()
{
    return g_complaints;
}

QString readerProgramFor(const QString& executableDir)
{
    const QString name = QStringLiteral("vidra-legacy-reader");
    const auto runnable = [](const QString& p) {
        const QFileInfo f(p);
        return f.isFile() && f.isExecutable();
    };
    QString beside = executableDir + u'/' + name;
    if (runnable(beside)) return beside;
#ifdef VIDRA_PRIVATE_FROM_BINDIR
    QString installed = QDir::cleanPath(executableDir + u'/' +
                                        QStringLiteral(VIDRA_PRIVATE_FROM_BINDIR) + u'/' + name);
    if (runnable(installed)) return installed;
#endif
    return beside;
}

QString readerProgram()
{
    if (!g_readerProgram.isEmpty()) return g_readerProgram;
    return readerProgramFor(executableDir());
}

void readTable(const Request& request, const TableHandler& onTable, const RowHandler& onRow,
               const WarningHandler& onWarning)
{
    const QString program = readerProgram();
    if (!QFileInfo(program).isExecutable())
        fail(QStringLiteral("The reader of Access files is not installed (%1)").arg(program));
    const std::uint64_t memoryLimit =
        g_memoryLimit
            ? g_memoryLimit
            : readerMemoryLimit(std::uint64_t(std::max<qint64>(QFileInfo(request.file).size(), 0)));
    const auto warn = [&](const QString& what) {
        if (onWarning)
            onWarning(QStringLiteral("'%1' may be damaged (table '%2'): %3")
                          .arg(request.file, request.table, what));
    };
    QStringList args{QStringLiteral("--memory-limit"), QString::number(memoryLimit)};
    if (request.codePage > 0)
        args << QStringLiteral("--codepage") << QString::number(request.codePage);
    // "--" is not understood by the reader; names starting with "-" are
    // never options after FILE, which comes first.
    args << request.file << request.table << request.columns;

    Child child;
    g_complaints.clear();
    spawn(child, program, args);

    Parser p;
    std::string errText; // the reader's complaints, the first 4 KB
    std::uint64_t errBytes = 0;
    bool magicSeen = false, ended = false;
    std::vector<Column> columns;
    std::vector<Cell> cells;
    std::uint64_t rows = 0;
    QString failure;

    const auto parse = [&]() {
        for (;;) {
            if (!magicSeen) {
                if (!p.have(4)) return;
                if (std::memcmp(p.buf.data() + p.pos, kStreamMagic, 4) != 0) damagedStream();
                p.pos += 4;
                magicSeen = true;
            }
            if (ended || !p.have(1)) return;
            const char tag = p.buf[p.pos];
            size_t at = p.pos + 1;
            if (tag == 'R') {
                if (columns.empty()) damagedStream();
                for (size_t c = 0; c < columns.size(); ++c) {
                    if (!p.have(at - p.pos + 4)) return;
                    const std::uint32_t n = p.u32(at);
                    at += 4;
                    if (n > kMaxMemoBytes + 1 + (1u << 20)) damagedStream();
                    if (!p.have(at - p.pos + (n ? n - 1 : 0))) return;
                    cells[c] = n ? Cell{p.buf.data() + at, n - 1, false} : Cell{};
                    at += n ? n - 1 : 0;
                }
                p.pos = at;
                ++rows;
                if (onRow) onRow(cells);
            } else if (tag == 'T') {
                if (!p.have(13)) return;
                const std::uint64_t expected = p.u64(at);
                const std::uint32_t count = p.u32(at + 8);
                if (count == 0 || count > 4096 || !columns.empty()) damagedStream();
                at += 12;
                std::vector<Column> cols;
                for (std::uint32_t c = 0; c < count; ++c) {
                    if (!p.have(at - p.pos + 4)) return;
                    const std::uint32_t len = p.u32(at);
                    if (len > 4096) damagedStream();
                    if (!p.have(at - p.pos + 4 + len + 5)) return;
                    Column col;
                    col.name = QString::fromUtf8(p.buf.data() + at + 4, qsizetype(len));
                    at += 4 + len;
                    const auto kind = static_cast<unsigned char>(p.buf[at]);
                    if (kind > std::uint8_t(ColumnKind::Binary)) damagedStream();
                    col.kind = ColumnKind(kind);
                    col.size = int(p.u32(at + 1));
                    at += 5;
                    cols.push_back(col);
                }
                p.pos = at;
                columns = std::move(cols);
                cells.assign(columns.size(), Cell{});
                if (onTable) onTable(columns, expected);
            } else if (tag == 'W') {
                if (!p.have(5)) return;
                const std::uint32_t len = p.u32(at);
                if (len > 4096 || columns.empty()) damagedStream();
                if (!p.have(5 + len)) return;
                const QString what = QString::fromUtf8(p.buf.data() + at + 4, qsizetype(len));
                p.pos = at + 4 + len;
                warn(what);
            } else if (tag == 'E') {
                if (!p.have(9)) return;
                if (p.u64(at) != rows || columns.empty()) damagedStream();
                p.pos = at + 8;
                ended = true;
            } else if (tag == 'X') {
                if (!p.have(5)) return;
                const std::uint32_t len = p.u32(at);
                if (len > (1u << 20)) damagedStream();
                if (!p.have(5 + len)) return;
                failure = QString::fromUtf8(p.buf.data() + at + 4, qsizetype(len));
                if (failure.isEmpty()) failure = QStringLiteral("unknown error");
                p.pos = at + 4 + len;
                ended = true;
            } else {
                damagedStream();
            }
            p.compact();
        }
    };

    char chunk[1 << 16];
    // Only data on the stream counts as progress: a reader stuck in a loop
    // that only complains on its error output is as stuck as a silent one.
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastProgress = Clock::now();
    while (child.out >= 0 || child.err >= 0) {
        const auto idle =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
        if (idle.count() >= g_stallTimeoutMs) {
            if (ended) {
                ::kill(child.pid, SIGKILL); // done, but it does not go away
                break;
            }
            fail(QStringLiteral("Reading '%1' stopped making progress; the file is probably "
                                "damaged")
                     .arg(request.file));
        }
        pollfd fds[2];
        nfds_t n = 0;
        if (child.out >= 0) fds[n++] = {child.out, POLLIN, 0};
        if (child.err >= 0) fds[n++] = {child.err, POLLIN, 0};
        const int rc = ::poll(fds, n, int(g_stallTimeoutMs - idle.count()));
        if (rc < 0) {
            if (errno == EINTR) continue;
            fail(QString::fromLocal8Bit(std::strerror(errno)));
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                Child::closeFd(fds[i].fd == child.out ? child.out : child.err);
                continue;
            }
            if (fds[i].fd == child.out) {
                lastProgress = Clock::now();
                p.buf.append(chunk, size_t(got));
                parse();
            } else {
                // Drained as it comes; only the start and the end are kept.
                errBytes += std::uint64_t(got);
                errText.append(chunk, std::min(size_t(got), 4096 - errText.size()));
                g_complaints.append(chunk, size_t(got));
                if (g_complaints.size() > (32u << 10))
                    g_complaints.erase(0, g_complaints.size() - (16u << 10));
            }
        }
    }
    const int status = child.wait();
    if (WIFEXITED(status) && WEXITSTATUS(status) == kOutOfMemoryStatus)
        fail(QStringLiteral("'%1' cannot be read: the file is damaged (reading it took more than "
                            "the %2 MB of memory a file of its size can need)")
                 .arg(request.file)
                 .arg((memoryLimit + (1u << 20) - 1) >> 20));
    if (!failure.isEmpty())
        fail(QStringLiteral("'%1' cannot be read: %2").arg(request.file, failure));
    if (!ended || p.have(1)) {
        if (WIFSIGNALED(status))
            fail(QStringLiteral("'%1' cannot be read: the file is damaged (the reader stopped "
                                "with signal %2)")
                     .arg(request.file)
                     .arg(WTERMSIG(status)));
        const QString first = firstLine(errText);
        fail(QStringLiteral("'%1' cannot be read: the reader stopped (exit status %2)%3")
                 .arg(request.file)
                 .arg(WIFEXITED(status) ? WEXITSTATUS(status) : -1)
                 .arg(first.isEmpty() ? QString() : QStringLiteral(": ") + first));
    }
    // The library complains on its error output about damage it reads past;
    // a read that ended well may still have given wrong rows.
    if (errBytes > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        const QString first = firstLine(errText);
        const auto lines = std::count(errText.begin(), errText.end(), '\n');
        warn(QStringLiteral("the library reading it reported \"%1\"%2")
                 .arg(first, lines > 1 || errBytes > errText.size()
                                 ? QStringLiteral(" and more (%1 bytes)").arg(errBytes)
                                 : QString()));
    }
}

} // namespace vidra::legacy
