#pragma once
// Line-by-line talk with a helper process started through QProcess.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>

namespace testsupport {

// The next whole line the process wrote (without its line end), or a null
// string when none came before the deadline or the process ended first.
inline QString readChildLine(QProcess& p, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!p.canReadLine()) {
        if (p.state() == QProcess::NotRunning) break;
        if (!p.waitForReadyRead(int(deadline.remainingTime())) && !p.canReadLine()) {
            if (deadline.hasExpired() || p.state() == QProcess::NotRunning) break;
        }
    }
    if (!p.canReadLine()) return QString();
    QByteArray line = p.readLine();
    line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace testsupport
