#include "tools/Import.h"

#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/Utf8.h"
#include "platform/db/PgClient.h"
#include "platform/legacy/LegacyReader.h"
#include "tools/CsvReader.h"
#include "tools/DbFile.h"
#include "tools/ImportFiles.h"
#include "tools/Importer.h"
#include "tools/Progress.h"
#include "tools/ReaderWatch.h"
#include "tools/RowCells.h"
#include "tools/Server.h"

#include <QByteArray>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace vidradb {

namespace {

// Which source column feeds each field: -1 for none (left null).
std::array<int, kFields> resolveColumns(const ImportOptions& o, const QStringList& columns,
                                        const QString& where, QStringList& notes)
{
    std::array<int, kFields> at{};
    for (size_t i = 0; i < kFields; ++i) {
        const bool mapped = !o.map[i].isEmpty();
        const QString want = mapped ? o.map[i] : fieldName(i);
        at[i] = -1;
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (columns[c].compare(want, Qt::CaseInsensitive) == 0) {
                at[i] = int(c);
                break;
            }
        }
        if (at[i] >= 0) continue;
        // Telefon, Vlasnik and Adresa are required by the record rules.
        if (mapped || i < 3) {
            QStringList names;
            for (const QString& c : columns)
                names << quoted(c);
            throw Failure{
                QStringLiteral("%1 has no column %2 for %3 (its columns are: %4)%5")
                    .arg(
                        where, quoted(want), fieldName(i), names.join(QStringLiteral(", ")),
                        mapped
                            ? QString()
                            : QStringLiteral("; name one with --map %1=COLUMN").arg(fieldName(i)))};
        }
        notes << QStringLiteral("%1 has no column %2: %2 is left empty").arg(where, fieldName(i));
    }
    return at;
}

// ------------------------------------------------------------------ CSV

void importCsv(const ImportOptions& o, SourceFile& source, Importer& importer, QStringList& notes,
               const volatile std::sig_atomic_t& stop)
{
    const size_t size = source.size();
    CsvReader csv(source.data(), size, quoted(o.source));
    std::vector<Cell> fields;
    if (!csv.next(fields))
        throw Failure{
            QStringLiteral("%1 is empty: a CSV file needs a header line").arg(quoted(o.source))};
    QStringList header;
    for (const Cell& c : fields) {
        if (!c.null && !vidra::utf8::utf16Length(c.data, c.size))
            throw Failure{
                QStringLiteral("the header line of %1 is not UTF-8 text").arg(quoted(o.source))};
        header << cellText(c).trimmed();
    }
    const auto at = resolveColumns(o, header, quoted(o.source), notes);
    Progress progress(size > (8u << 20));
    importer.expect(std::uint64_t(size) / 48);
    RowCells v{};
    while (csv.next(fields)) {
        for (size_t i = 0; i < kFields; ++i)
            v[i] = at[i] >= 0 && size_t(at[i]) < fields.size() ? fields[size_t(at[i])] : Cell{};
        if (fields.size() != size_t(header.size())) {
            importer.countRow();
            importer.skip(
                csv.recordLine(), WrongFieldCount, v,
                QStringLiteral("%1, the header has %2").arg(fields.size()).arg(header.size()));
        } else {
            importer.add(csv.recordLine(), v);
        }
        if (stop) throw Failure{QStringLiteral("interrupted")};
        progress.update(csv.fraction());
    }
}

// ------------------------------------------------------------ Access

void importAccess(const ImportOptions& o, const SourceFile& source, Importer& importer,
                  QStringList& notes, const volatile std::sig_atomic_t& stop)
{
    vidra::legacy::Request request;
    request.file = source.nameForChild();
    request.table = o.table.isEmpty() ? QLatin1String(vidra::kSubscriberTable) : o.table;
    request.codePage = o.codePage;
    std::array<int, kFields> at{};
    std::optional<Progress> progress;
    std::uint64_t expected = 0;
    qint64 row = 0;
    RowCells v{};
    const QString where =
        QStringLiteral("table %1 of %2").arg(quoted(request.table), quoted(o.source));
    const ReaderWatch watch(stop);
    if (watch.stopped()) throw Failure{QStringLiteral("interrupted")};
    try {
        vidra::legacy::readTable(
            request,
            [&](const std::vector<vidra::legacy::Column>& columns, std::uint64_t rows) {
                QStringList names;
                for (const auto& c : columns)
                    names << c.name;
                at = resolveColumns(o, names, where, notes);
                for (size_t i = 0; i < kFields; ++i)
                    if (at[i] >= 0 &&
                        columns[size_t(at[i])].kind == vidra::legacy::ColumnKind::Binary)
                        throw Failure{QStringLiteral("column %1 of %2 holds binary data, not text")
                                          .arg(quoted(columns[size_t(at[i])].name), where)};
                expected = rows;
                importer.expect(rows);
                progress.emplace(rows > 50000);
            },
            [&](const std::vector<Cell>& cells) {
                ++row;
                for (size_t i = 0; i < kFields; ++i)
                    v[i] = at[i] >= 0 ? cells[size_t(at[i])] : Cell{};
                importer.add(row, v);
                if (watch.stopped()) throw Failure{QStringLiteral("interrupted")};
                if (expected) progress->update(double(row) / double(expected));
            },
            [&](const QString& damage) { notes << damage; });
    } catch (const vidra::DbError& e) {
        if (watch.stopped()) throw Failure{QStringLiteral("interrupted")};
        // The reader's messages name the file as it was handed over.
        QString message = e.message();
        message.replace(quoted(request.file), quoted(o.source));
        throw Failure{message};
    }
    if (watch.stopped()) throw Failure{QStringLiteral("interrupted")};
}

// The first bytes of an Access file, one of them damaged: such a file is
// never text, and reading it as CSV would only confuse.
bool startsLikeAccess(const QByteArray& head)
{
    const char* p = head.constData();
    const auto at4 = [&](const char* engine) {
        return head.size() >= 19 && std::memcmp(p + 4, engine, 15) == 0;
    };
    return (head.size() >= 4 && std::memcmp(p, "\x00\x01\x00\x00", 4) == 0) ||
           at4("Standard Jet DB") || at4("Standard ACE DB");
}

} // namespace

void runImport(const ImportOptions& o, const volatile std::sig_atomic_t& interrupted)
{
    if (vidra::pg::isServerUri(o.source))
        throw Failure{QStringLiteral("SOURCE %1 is a server: import reads Access and CSV files "
                                     "(vidra-db copy copies a directory from a server)")
                          .arg(shown(o.source))};
    const bool server = vidra::pg::isServerUri(o.dest);
    // Every check before anything is written.
    SourceFile source(o.source);
    FileIdentity destBefore;
    if (!server) {
        if (fileKeyOf(o.dest) == source.key())
            throw Failure{QStringLiteral("SOURCE and DEST are the same file")};
        destBefore = checkTarget(o.dest, o.force);
    }
    FileIdentity reportBefore;
    if (!o.report.isEmpty()) {
        // Compared as files, not as names: through a link or a second name
        // the report must not reach SOURCE or DEST, nor the name DEST takes.
        const std::optional<FileKey> report = fileKeyOf(o.report);
        if (report == source.key())
            throw Failure{
                QStringLiteral("the report would replace SOURCE %1").arg(quoted(o.source))};
        if (!server && ((report && report == fileKeyOf(o.dest)) ||
                        linkChain(o.report).contains(resolvedName(o.dest))))
            throw Failure{QStringLiteral("the report would replace DEST %1").arg(quoted(o.dest))};
        reportBefore = checkTarget(o.report, o.force);
    }

    const QByteArray head = source.head(64);
    const bool access =
        vidra::legacy::probeJetHeader(reinterpret_cast<const unsigned char*>(head.constData()),
                                      size_t(head.size()))
            .version != vidra::legacy::JetVersion::None;
    if (!access && startsLikeAccess(head))
        throw Failure{
            QStringLiteral("%1 is not an Access file (damaged header)").arg(quoted(o.source))};
    if (!access && head.startsWith(QByteArrayLiteral("SQLite format 3")))
        throw Failure{QStringLiteral("%1 is already a directory file; there is nothing to import")
                          .arg(quoted(o.source))};
    if (!access && (!o.table.isEmpty() || o.codePage))
        throw UsageError{
            QStringLiteral("--table and --codepage are for Access files; %1 is read as "
                           "CSV")
                .arg(quoted(o.source))};

    // The importer lets a number in once: the server need not count them again.
    const std::unique_ptr<Destination> dest =
        server ? serverDestination(o.dest, o.force, false, quoted(o.source), interrupted)
               : fileDestination(o.dest, destBefore, interrupted);
    std::optional<Report> report;
    if (!o.report.isEmpty()) report.emplace(o.report, reportBefore);
    QStringList notes;
    Importer importer(*dest, report ? &*report : nullptr, interrupted);
    if (access)
        importAccess(o, source, importer, notes, interrupted);
    else
        importCsv(o, source, importer, notes, interrupted);
    if (interrupted) throw Failure{QStringLiteral("interrupted")};
    importer.finish();

    QString out;
    for (const QString& n : notes)
        out += QStringLiteral("Note: ") + n + u'\n';
    out += QStringLiteral("Imported %1 of %2 rows from %3 into %4.\n")
               .arg(importer.imported())
               .arg(importer.rows())
               .arg(quoted(o.source), dest->shown());
    if (importer.skippedTotal() > 0) {
        out +=
            QStringLiteral("Skipped %1 %2:\n")
                .arg(importer.skippedTotal())
                .arg(importer.skippedTotal() == 1 ? QStringLiteral("row") : QStringLiteral("rows"));
        for (int r = 0; r < kReasonCount; ++r)
            if (importer.skipped(Reason(r)))
                out += QStringLiteral("  %1  %2\n")
                           .arg(importer.skipped(Reason(r)), 8)
                           .arg(QLatin1String(reasonText(Reason(r))));
        if (!o.report.isEmpty()) {
            out += QStringLiteral("The skipped rows are listed in %1.\n").arg(quoted(o.report));
        } else {
            out += QStringLiteral("First skipped rows:\n") + importer.examples().join(u'\n') +
                   QStringLiteral("\n(--report FILE lists them all.)\n");
        }
    }
    std::fputs(out.toLocal8Bit().constData(), stdout);
}

} // namespace vidradb
