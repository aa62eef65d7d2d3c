// Snapshot load: how long opening the directory table takes through our
// engine (Connection + Table), against the sqlite3 shell reading the same
// table of the same file in the same run, and how much memory the snapshot
// takes. Prints a Markdown table; reports, never fails on a target.
//
//   bench_load [--dir FOLDER] [--tool VIDRA_DB] [--shell SQLITE3] [--reps N]
//              [--sizes 10000,100000,1000000]
//
// Sample files are made with vidra-db in FOLDER and reused when present.
// Linux only: memory is read from /proc, the shell is started with posix_spawn.
#include "BenchSupport.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace bench;

struct Loaded
{
    std::unique_ptr<vidra::Connection> connection;
    std::unique_ptr<vidra::Table> table;
    int rows = 0;
};

// Exactly what the program does when it opens a directory file.
Loaded load(const QString& path)
{
    Loaded l;
    l.connection = std::make_unique<vidra::Connection>();
    l.connection->setConnectionText(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
        vidra::Connection::quoteValue(path) + QStringLiteral(";Persist Security Info=False"));
    l.connection->open();
    l.table = std::make_unique<vidra::Table>(QStringLiteral("Imenik"));
    l.table->SetConnection(l.connection.get());
    l.table->SetTableName(QString::fromLatin1(vidra::kSubscriberTable));
    l.table->DeclareFields(vidra::kSubscriberFields.data(),
                           vidra::kSubscriberFields.data() + vidra::kSubscriberFields.size());
    l.table->Open();
    l.rows = l.table->RecordCount();
    return l;
}

// Child mode: one load in a fresh process, so that the peak memory seen is
// that of the load alone. Prints "<rows> <peak growth> <retained growth>".
int childLoad(const QString& path)
{
    // Resets the peak to the current size (Linux 4.0+), so that a peak of
    // start-up cannot hide a smaller load.
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1)
        std::fprintf(stderr, "bench_load: cannot reset the peak; growth may be overstated\n");
    reset.close();
    const long long before = procStatus("VmRSS");
    try {
        Loaded l = load(path);
        const long long peak = procStatus("VmHWM");
        const long long after = procStatus("VmRSS");
        std::printf("%d %lld %lld\n", l.rows, peak - before, after - before);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_load: %s\n", e.what());
        return 1;
    }
}

std::string selfPath()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) die("cannot find its own executable");
    return std::string(buf, size_t(n));
}

struct Result
{
    int rows;
    long long fileBytes;
    double oursMs, shellMs;
    long long peakGrowth, retainedGrowth;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--child-load")
        return childLoad(QString::fromLocal8Bit(argv[2]));

    const std::string self = selfPath();
    const QString exeDir = QFileInfo(QString::fromLocal8Bit(self.c_str())).absolutePath();
    QString folder = exeDir + QStringLiteral("/bench-data");
    std::string tool = QFile::encodeName(exeDir + QStringLiteral("/../vidra-db")).toStdString();
    std::string shell = "sqlite3";
    int reps = 5;
    std::vector<int> sizes{10'000, 100'000, 1'000'000};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) die("unknown or incomplete option " + a);
        const char* v = argv[++i];
        if (a == "--dir")
            folder = QString::fromLocal8Bit(v);
        else if (a == "--tool")
            tool = v;
        else if (a == "--shell")
            shell = v;
        else if (a == "--reps")
            reps = std::max(1, std::atoi(v));
        else if (a == "--sizes") {
            sizes.clear();
            for (const QString& s : QString::fromLocal8Bit(v).split(QLatin1Char(','))) {
                bool ok = false;
                const int n = s.toInt(&ok);
                if (!ok || n < 0) die("bad size " + s.toStdString());
                sizes.push_back(n);
            }
        } else
            die("unknown option " + a);
    }
    if (!QDir().mkpath(folder)) die("cannot make " + QFile::encodeName(folder).toStdString());
    if (run({shell, "-version"}) != 0) die("cannot run " + shell);

    std::vector<Result> results;
    for (const int rows : sizes) {
        const QString path = ensureSample(folder, tool, rows);
        const std::string file = QFile::encodeName(path).toStdString();
        Result r{rows, QFileInfo(path).size(), 0, 0, 0, 0};

        // One untimed round of each, so both start with the file in the page cache.
        if (load(path).rows != rows)
            die("the engine loaded a different number of rows from " + file);
        if (run({shell, file, "SELECT * FROM Vlasnici"}) != 0) die(shell + " failed on " + file);

        std::vector<double> ours, theirs;
        for (int k = 0; k < reps; ++k) {
            {
                const Clock::time_point t = Clock::now();
                Loaded l = load(path);
                ours.push_back(msSince(t));
            } // tear-down is not part of the load
            const Clock::time_point t = Clock::now();
            if (run({shell, file, "SELECT * FROM Vlasnici"}) != 0)
                die(shell + " failed on " + file);
            theirs.push_back(msSince(t));
        }
        r.oursMs = median(ours);
        r.shellMs = median(theirs);

        const std::optional<std::string> out = capture({self, "--child-load", file});
        int childRows = -1;
        if (!out ||
            std::sscanf(out->c_str(), "%d %lld %lld", &childRows, &r.peakGrowth,
                        &r.retainedGrowth) != 3 ||
            childRows != rows)
            die("the memory measurement failed on " + file);
        std::fprintf(stderr, "%d rows: ours %.1f ms, shell %.1f ms\n", rows, r.oursMs, r.shellMs);
        results.push_back(r);
    }

    std::printf("\nSnapshot load, median of %d runs (sqlite3 shell: `sqlite3 FILE \"SELECT * FROM "
                "Vlasnici\" > /dev/null`, wall clock incl. process start)\n\n",
                reps);
    std::printf("| Rows | File | Ours (ms) | Shell (ms) | Ours/shell | Peak memory growth | "
                "Bytes/row | Growth/file | Retained growth |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Result& r : results) {
        const double perRow = r.rows ? double(r.peakGrowth) / r.rows : 0;
        std::printf("| %s | %s | %.1f | %.1f | %.2f | %s | %.0f | %.2f | %s |\n",
                    group(r.rows).c_str(), mb(double(r.fileBytes)).c_str(), r.oursMs, r.shellMs,
                    r.shellMs > 0 ? r.oursMs / r.shellMs : 0.0, mb(double(r.peakGrowth)).c_str(),
                    perRow, r.fileBytes ? double(r.peakGrowth) / double(r.fileBytes) : 0.0,
                    mb(double(r.retainedGrowth)).c_str());
    }
    std::printf("\nTargets (shown, not enforced):\n");
    for (const Result& r : results) {
        if (r.rows == 1'000'000)
            std::printf("- ours/shell <= 1.0 at 1 000 000 rows: %.2f, %s\n", r.oursMs / r.shellMs,
                        r.oursMs <= r.shellMs ? "met" : "NOT met");
    }
    for (const Result& r : results) {
        const double ratio = r.fileBytes ? double(r.peakGrowth) / double(r.fileBytes) : 0.0;
        std::printf("- memory growth <= 2x file size at %s rows: %.2fx, %s\n",
                    group(r.rows).c_str(), ratio, ratio <= 2.0 ? "met" : "NOT met");
    }
    return 0;
}
