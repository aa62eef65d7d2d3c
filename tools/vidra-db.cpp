// vidra-db: prepares directories for the program, in a file or on a
// PostgreSQL server: empty, filled with generated subscribers, imported, or
// copied from another directory. A file is built under a temporary name next
// to the target and renamed into place only when complete, a server's table
// inside one transaction, so a failed or interrupted run never leaves a
// half-written directory behind.
#include "data/Schema.h"
#include "platform/db/PgClient.h"
#include "tools/Arguments.h"
#include "tools/Copy.h"
#include "tools/DbFile.h"
#include "tools/Destination.h"
#include "tools/Import.h"
#include "tools/SampleData.h"
#include "tools/Server.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <array>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sqlite3.h>
#include <system_error>

namespace {

using namespace vidradb;

static_assert(vidra::sample::kCapacity == 24'000'000, "the usage text names the capacity");
const char kUsage[] =
    "Usage: vidra-db create FILE [--force]\n"
    "       vidra-db sample FILE --rows N [--seed S] [--force]\n"
    "       vidra-db import SOURCE DEST [--table NAME] [--map FIELD=COLUMN,...]\n"
    "                       [--report FILE] [--codepage N] [--force]\n"
    "       vidra-db copy SOURCE DEST [--force]\n"
    "       vidra-db --help\n"
    "\n"
    "Prepares a Vidra directory: a file (SQLite, holding the table Vlasnici), or\n"
    "the table vlasnici on a PostgreSQL server. FILE, DEST and the SOURCE of copy\n"
    "may each be a server's URI: postgresql://USER@HOST[:PORT]/DATABASE. Keep the\n"
    "password in ~/.pgpass (or PGPASSWORD, or the URI's passfile= parameter)\n"
    "rather than in the URI; a password is never shown.\n"
    "\n"
    "  create    an empty directory\n"
    "  sample    a directory with N generated subscribers; the same N and seed\n"
    "            always give the same rows\n"
    "\n"
    "  import    a directory made from an Access file (.mdb) or a CSV file (UTF-8,\n"
    "            a header line naming the columns); rows the program would refuse\n"
    "            are skipped and counted; SOURCE is never changed\n"
    "\n"
    "  copy      a directory copied as it is, between files and servers either way\n"
    "            round (to a server: to migrate; from one: for a backup)\n"
    "\n"
    "Nothing is written unless the whole run succeeds.\n"
    "\n"
    "Options:\n"
    "  --rows N  number of subscribers, 0 to 24000000\n"
    "  --seed S  seed of the generator, 0 to 18446744073709551615 (default 1)\n"
    "  --force   replace FILE or the server's table (or DEST, and the report) if it\n"
    "            exists\n"
    "  --table NAME     the Access table to import (default Vlasnici)\n"
    "  --map FIELD=COLUMN,...\n"
    "                   the source column of each field (Telefon, Vlasnik, Adresa,\n"
    "                   Mesto, Napomena); by default the column of the same name\n"
    "  --report FILE    write the skipped rows, with the reason, to FILE (CSV);\n"
    "                   never SOURCE or DEST\n"
    "  --codepage N     the Windows code page of an Access 97 file's text, when\n"
    "                   the file records a wrong one (e.g. 1250)\n"
    "  --help    show this text\n";

enum class Command
{
    Create,
    Sample
};

struct Options
{
    Command command = Command::Create;
    QString file;
    bool force = false;
    std::optional<std::int64_t> rows;
    std::optional<std::uint64_t> seed;
};

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onSignal(int)
{
    g_interrupted = 1;
    // A server working on a statement stops it, and the run ends with it.
    cancelServerStatements();
}

// Ctrl-C and SIGTERM end the run at the next check, with its temporary files
// removed. No SA_RESTART: a system call waiting when the signal comes
// returns instead of waiting on.
void catchStopSignals()
{
    struct sigaction sa
    {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

std::int64_t parseRows(const QString& text)
{
    const QByteArray b = text.toUtf8();
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(b.constData(), b.constData() + b.size(), value);
    const bool negative = b.startsWith('-');
    if (!b.isEmpty() && end == b.constData() + b.size() && ec == std::errc::result_out_of_range)
        value = negative ? -1 : vidra::sample::kCapacity + 1;
    else if (b.isEmpty() || ec != std::errc() || end != b.constData() + b.size())
        throw UsageError{QStringLiteral("--rows expects a whole number, not %1").arg(quoted(text))};
    if (value < 0)
        throw UsageError{QStringLiteral("--rows must not be negative (got %1)").arg(text)};
    if (value > vidra::sample::kCapacity)
        throw UsageError{QStringLiteral("--rows %1 is too many: at most %2 subscribers can "
                                        "have different numbers")
                             .arg(text)
                             .arg(vidra::sample::kCapacity)};
    return value;
}

std::uint64_t parseSeed(const QString& text)
{
    const QByteArray b = text.toUtf8();
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(b.constData(), b.constData() + b.size(), value);
    if (b.isEmpty() || ec != std::errc() || end != b.constData() + b.size())
        throw UsageError{
            QStringLiteral("--seed expects a whole number from 0 to 18446744073709551615, not %1")
                .arg(quoted(text))};
    return value;
}

// Returns nullopt when the user asked for help.
std::optional<Options> parseArguments(const QStringList& args)
{
    if (args.isEmpty()) throw UsageError{QStringLiteral("no command given")};
    Options o;
    const QString& command = args.front();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help"))
        return std::nullopt;
    if (command == QLatin1String("create"))
        o.command = Command::Create;
    else if (command == QLatin1String("sample"))
        o.command = Command::Sample;
    else if (command.startsWith(QLatin1Char('-')))
        throw UsageError{QStringLiteral("unknown option %1").arg(quoted(command))};
    else
        throw UsageError{QStringLiteral("unknown command %1").arg(quoted(command))};

    std::optional<QString> file;
    Arguments a(args, 1);
    while (a.next()) {
        if (a.isOperand()) {
            if (file)
                throw UsageError{QStringLiteral("unexpected argument %1").arg(shown(a.current()))};
            file = a.current();
            continue;
        }
        if (a.is("--help") || a.is("-h")) return std::nullopt;
        if (a.is("--force")) {
            o.force = true;
            continue;
        }
        // --rows N, --rows=N, --seed S, --seed=S
        const QString name = a.name();
        if (name != QLatin1String("--rows") && name != QLatin1String("--seed")) a.refuseUnknown();
        if (o.command != Command::Sample)
            throw UsageError{QStringLiteral("%1 is an option of sample, not of create").arg(name)};
        const QString value = a.value();
        if (name == QLatin1String("--rows")) {
            if (o.rows) throw UsageError{QStringLiteral("--rows is given twice")};
            o.rows = parseRows(value);
        } else {
            if (o.seed) throw UsageError{QStringLiteral("--seed is given twice")};
            o.seed = parseSeed(value);
        }
    }
    if (!file) throw UsageError{QStringLiteral("no FILE given")};
    if (file->isEmpty()) throw UsageError{QStringLiteral("FILE must not be empty")};
    if (o.command == Command::Sample && !o.rows)
        throw UsageError{QStringLiteral("sample needs --rows N")};
    o.file = *file;
    return o;
}

// A value longer than its column would be cut or refused by the program: a
// fault of the generator, never written.
void checkSizes(std::int64_t index, const std::array<const QString*, 5>& values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        const vidra::FieldDef& f = vidra::kSubscriberFields[i];
        if (f.size > 0 && values[i]->size() > f.size)
            throw Failure{QStringLiteral("internal error: row %1 has a %2 of %3 characters")
                              .arg(index)
                              .arg(QLatin1String(f.name))
                              .arg(values[i]->size())};
    }
}

void build(const Options& o)
{
    // The generator never gives a number twice: the server need not count them.
    const std::unique_ptr<Destination> dest =
        vidra::pg::isServerUri(o.file)
            ? serverDestination(o.file, o.force, false, QStringLiteral("the sample"), g_interrupted)
            : fileDestination(o.file, checkTarget(o.file, o.force), g_interrupted);
    const std::int64_t rows = o.rows.value_or(0);
    const std::uint64_t seed = o.seed.value_or(vidra::sample::kDefaultSeed);
    std::array<QByteArray, kRowValues> utf8;
    RowData data{};
    RowSizes size{};
    for (std::int64_t i = 0; i < rows; ++i) {
        if (g_interrupted) throw Failure{QStringLiteral("interrupted")};
        const vidra::sample::SampleRow r = vidra::sample::sampleRow(seed, i);
        const std::array<const QString*, 5> values{&r.telefon, &r.vlasnik, &r.adresa, &r.mesto,
                                                   &r.napomena};
        checkSizes(i, values);
        for (size_t f = 0; f < kRowValues; ++f) {
            utf8[f] = values[f]->toUtf8();
            data[f] = values[f]->isNull() ? nullptr : utf8[f].constData();
            size[f] = size_t(utf8[f].size());
        }
        dest->add(i + 1, data, size);
    }
    if (g_interrupted) throw Failure{QStringLiteral("interrupted")};
    dest->commit();
}

void printError(const QString& message)
{
    std::fputs(("vidra-db: " + message + "\n").toLocal8Bit().constData(), stderr);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    try {
        const bool importing = !args.isEmpty() && args.front() == QLatin1String("import");
        const bool copying = !args.isEmpty() && args.front() == QLatin1String("copy");
        if (importing || copying) {
            if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
                std::fputs(kUsage, stdout);
                return 0;
            }
            if (importing) {
                const ImportOptions options = parseImportArguments(args.mid(1));
                catchStopSignals();
                runImport(options, g_interrupted);
            } else {
                const CopyOptions options = parseCopyArguments(args.mid(1));
                catchStopSignals();
                runCopy(options, g_interrupted);
            }
            return 0;
        }
        const std::optional<Options> options = parseArguments(args);
        if (!options) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        catchStopSignals();
        build(*options);
        return 0;
    } catch (const UsageError& e) {
        if (args.isEmpty()) {
            std::fputs(kUsage, stderr);
        } else {
            printError(e.message);
            std::fputs("Run 'vidra-db --help' for usage.\n", stderr);
        }
        return 2;
    } catch (const Failure& e) {
        printError(e.message);
        return 1;
    } catch (const std::exception& e) {
        printError(QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
