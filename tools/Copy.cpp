#include "tools/Copy.h"

#include "platform/db/PgClient.h"
#include "tools/Arguments.h"
#include "tools/CopySource.h"
#include "tools/Destination.h"
#include "tools/Failure.h"
#include "tools/Progress.h"
#include "tools/Server.h"

#include <cstdio>
#include <memory>

namespace vidradb {

CopyOptions parseCopyArguments(const QStringList& args)
{
    CopyOptions o;
    QStringList places;
    Arguments a(args);
    while (a.next()) {
        if (a.isOperand()) {
            places << a.current();
            continue;
        }
        if (!a.is("--force")) a.refuseUnknown();
        o.force = true;
    }
    if (places.size() < 2) throw UsageError{QStringLiteral("copy needs SOURCE and DEST")};
    if (places.size() > 2)
        throw UsageError{QStringLiteral("unexpected argument %1").arg(shown(places[2]))};
    if (places[0].isEmpty() || places[1].isEmpty())
        throw UsageError{QStringLiteral("SOURCE and DEST must not be empty")};
    o.source = places[0];
    o.dest = places[1];
    return o;
}

void runCopy(const CopyOptions& o, const volatile std::sig_atomic_t& interrupted)
{
    // SOURCE first: nothing is done about DEST for a source that is not there.
    const std::unique_ptr<CopySource> source = vidra::pg::isServerUri(o.source)
                                                   ? serverSource(o.source, interrupted)
                                                   : fileSource(o.source, interrupted);
    std::unique_ptr<Destination> dest;
    if (vidra::pg::isServerUri(o.dest)) {
        dest = serverDestination(o.dest, o.force, true, source->shown(), interrupted);
    } else {
        if (source->fileKey() && fileKeyOf(o.dest) == source->fileKey())
            throw Failure{QStringLiteral("SOURCE and DEST are the same file")};
        const FileIdentity before = checkTarget(o.dest, o.force);
        dest = fileDestination(o.dest, before, interrupted);
    }

    qint64 rows = 0;
    {
        const qint64 total = source->count();
        Progress progress(total > 50000);
        source->read([&](const RowData& data, const RowSizes& size) {
            dest->add(++rows, data, size);
            if (total > 0) progress.update(double(rows) / double(total));
        });
    }
    if (interrupted) throw Failure{QStringLiteral("interrupted")};
    dest->commit();
    const QString out = QStringLiteral("Copied %1 %2 from %3 to %4.\n")
                            .arg(rows)
                            .arg(rows == 1 ? QStringLiteral("row") : QStringLiteral("rows"))
                            .arg(source->shown(), dest->shown());
    std::fputs(out.toLocal8Bit().constData(), stdout);
}

} // namespace vidradb
