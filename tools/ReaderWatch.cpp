#include "tools/ReaderWatch.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace vidradb {

namespace {

// The processes this one started and has not reaped.
std::vector<pid_t> childProcesses()
{
    std::vector<pid_t> pids;
    const pid_t self = ::getpid();
    // The main thread starts the reader; its children are listed here...
    QFile list(QStringLiteral("/proc/%1/task/%1/children").arg(self));
    if (list.open(QIODevice::ReadOnly)) {
        for (const QByteArray& word : list.readAll().split(' '))
            if (const int pid = word.trimmed().toInt(); pid > 0) pids.push_back(pid);
        return pids;
    }
    // ...unless the kernel keeps no such list: then every process whose
    // parent this one is. The parent is the second field after the name,
    // which is in parentheses and may hold anything.
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const int pid = name.toInt();
        if (pid <= 0) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields =
            line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
        if (fields.size() > 1 && fields[1].toInt() == self) pids.push_back(pid);
    }
    return pids;
}

} // namespace

ReaderWatch::ReaderWatch(const volatile std::sig_atomic_t& stop) : m_stop(stop)
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, &m_oldMask);
    m_thread = std::thread([this, stops] {
        const timespec tick{0, 20'000'000};
        while (!m_done) {
            if (sigtimedwait(&stops, nullptr, &tick) > 0) m_stopped = true;
            if (m_stopped)
                for (const pid_t pid : childProcesses())
                    ::kill(pid, SIGKILL);
        }
    });
}

ReaderWatch::~ReaderWatch()
{
    m_done = true;
    m_thread.join();
    // A signal that came after the watch ended is delivered now.
    pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
}

} // namespace vidradb
