#include "tools/DbFile.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

namespace vidradb {

QString quoted(const QString& s)
{
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

void checkTarget(const QString& file, bool force)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(file).constData(), &st) == 0) {
        // Where a link leads counts: a link to a folder or a pipe is refused too.
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
}

QString optionValue(const QStringList& args, qsizetype& i)
{
    const QString& arg = args[i];
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (eq >= 0) return arg.mid(eq + 1);
    if (i + 1 >= args.size()) throw UsageError{QStringLiteral("%1 needs a value").arg(arg)};
    return args[++i];
}

} // namespace vidradb
