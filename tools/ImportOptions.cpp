#include "tools/ImportOptions.h"

#include "tools/Arguments.h"
#include "tools/Failure.h"
#include "tools/RowCells.h"
#include "tools/Server.h"

namespace vidradb {

static_assert(std::tuple_size_v<decltype(ImportOptions::map)> == kFields);

namespace {

int fieldIndex(const QString& name)
{
    for (size_t i = 0; i < kFields; ++i)
        if (name.compare(QLatin1String(vidra::kSubscriberFields[i].name), Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

void addMap(ImportOptions& o, const QString& text)
{
    for (const QString& pair : text.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        const QString key = pair.left(eq).trimmed();
        const int f = fieldIndex(key);
        if (eq < 0 || f < 0)
            throw UsageError{QStringLiteral("--map expects FIELD=COLUMN pairs with FIELD one of "
                                            "Telefon, Vlasnik, Adresa, Mesto, Napomena, not %1")
                                 .arg(quoted(pair))};
        const QString column = pair.mid(eq + 1).trimmed();
        if (column.isEmpty())
            throw UsageError{
                QStringLiteral("--map names no column for %1").arg(fieldName(size_t(f)))};
        if (!o.map[size_t(f)].isEmpty())
            throw UsageError{QStringLiteral("--map names %1 twice").arg(fieldName(size_t(f)))};
        o.map[size_t(f)] = column;
    }
}

} // namespace

ImportOptions parseImportArguments(const QStringList& args)
{
    ImportOptions o;
    QStringList files;
    Arguments a(args);
    while (a.next()) {
        if (a.isOperand()) {
            files << a.current();
            continue;
        }
        if (a.is("--force")) {
            o.force = true;
            continue;
        }
        const QString name = a.name();
        static const QStringList valued{"--table", "--map", "--report", "--codepage"};
        if (!valued.contains(name)) a.refuseUnknown();
        const QString value = a.value();
        if (name == QLatin1String("--map")) {
            addMap(o, value);
        } else if (name == QLatin1String("--table")) {
            if (value.isEmpty()) throw UsageError{QStringLiteral("--table needs a name")};
            o.table = value;
        } else if (name == QLatin1String("--report")) {
            if (value.isEmpty()) throw UsageError{QStringLiteral("--report needs a file name")};
            if (vidra::pg::isServerUri(value))
                throw UsageError{QStringLiteral("--report needs a file name, not the server %1")
                                     .arg(shown(value))};
            o.report = value;
        } else {
            bool ok = false;
            o.codePage = value.toInt(&ok);
            if (!ok || o.codePage <= 0 || o.codePage > 65535)
                throw UsageError{
                    QStringLiteral("--codepage expects a Windows code page number such "
                                   "as 1250, not %1")
                        .arg(quoted(value))};
        }
    }
    if (files.size() < 2) throw UsageError{QStringLiteral("import needs SOURCE and DEST")};
    if (files.size() > 2)
        throw UsageError{QStringLiteral("unexpected argument %1").arg(shown(files[2]))};
    if (files[0].isEmpty() || files[1].isEmpty())
        throw UsageError{QStringLiteral("SOURCE and DEST must not be empty")};
    o.source = files[0];
    o.dest = files[1];
    return o;
}

} // namespace vidradb
