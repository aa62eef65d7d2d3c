#pragma once
// Runs the vidra-db tool as a separate process, the way a user does.
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// `env`: the tool's environment, when not this process's own.
inline ToolRun runTool(const QStringList& args,
                       const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VIDRA_DB_TOOL), args);
    ToolRun r;
    if (!p.waitForStarted(30000)) {
        r.err = QStringLiteral("could not start ") + QStringLiteral(VIDRA_DB_TOOL);
        return r;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Every entry of a folder, hidden ones included.
inline QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

} // namespace testsupport
