// The directory on a PostgreSQL server: how long a desk takes to load its
// snapshot (against psql copying the same table to /dev/null in the same
// run), how fast the search filter runs on a snapshot from the server and
// from a file, and how several desks saving and deleting at once fare, with
// an audit afterwards. Prints Markdown; reports, never fails on a target.
//
//   bench_server --uri URI [--tool VIDRA_DB] [--dir FOLDER] [--psql PSQL]
//                [--reps N] [--sizes 10000,100000,1000000] [--desks 1,4,16]
//                [--seconds S]
//
// URI names a database the benchmark may fill; it works in schemas of its
// own there (vidra_bench_*), made from vidra-db's sample files and reused.
#include "BenchSupport.h"
#include "data/RecordRules.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/PgClient.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

QString inSchema(const QString& uri, const QString& schema)
{
    return uri + (uri.contains(u'?') ? u'&' : u'?') + QStringLiteral("options=-csearch_path%3D") +
           schema;
}

std::string s(const QString& q)
{
    return q.toStdString();
}

// A desk's engine objects, as the data module sets them up.
struct Desk
{
    vidra::Connection connection;
    vidra::Table table{QStringLiteral("Imenik")};
    vidra::Query checkBroj{QStringLiteral("CheckBroj")};

    explicit Desk(const QString& dataSource, bool rules)
    {
        connection.setConnectionText(
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
            vidra::Connection::quoteValue(dataSource));
        connection.open();
        table.SetConnection(&connection);
        table.SetTableName(QString::fromLatin1(vidra::kSubscriberTable));
        table.DeclareFields(vidra::kSubscriberFields.data(),
                            vidra::kSubscriberFields.data() + vidra::kSubscriberFields.size());
        vidra::rules::declareNumberCount(checkBroj, &connection);
        if (rules)
            table.BeforePost = [this](vidra::Table& t) {
                vidra::rules::checkUniqueNumber(t, checkBroj);
            };
        table.Open();
    }
};

qint64 serverCount(const QString& uri)
{
    try {
        vidra::pg::Session session(uri);
        return session.exec(QStringLiteral("SELECT count(*) FROM vlasnici"))
            .text(0, 0)
            .toLongLong();
    } catch (const vidra::Error&) {
        return -1;
    }
}

// The server copy of the file sample of that many rows, made once.
QString ensureServerSample(const QString& uri, const QString& folder, const std::string& tool,
                           int rows)
{
    const QString schema = QStringLiteral("vidra_bench_%1").arg(rows);
    const QString target = inSchema(uri, schema);
    if (serverCount(target) == rows) return target;
    {
        vidra::pg::Session session(uri);
        session.execScript(QStringLiteral("CREATE SCHEMA IF NOT EXISTS %1").arg(schema));
    }
    const QString file = ensureSample(folder, tool, rows);
    if (run({tool, "copy", s(file), s(target), "--force"}) != 0)
        die("vidra-db copy to the server failed for " + std::to_string(rows) + " rows");
    if (serverCount(target) != rows) die("the server copy has the wrong number of rows");
    return target;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// Child: one desk saving and deleting until the time is up. Prints one line
// per outcome: "saved N MS", "deleted N", "refused N", "error TEXT".
int childDesk(const QString& uri, int deskNo, double seconds)
{
    std::mt19937 random(unsigned(deskNo) * 7919u + 17u);
    try {
        Desk desk(uri, true);
        std::vector<QString> mine;
        const Clock::time_point start = Clock::now();
        for (int i = 0; msSince(start) < seconds * 1000; ++i) {
            if (!mine.empty() && random() % 4 == 0) {
                const size_t k = random() % mine.size();
                const QString number = mine[k];
                try {
                    if (!desk.table.Locate(QStringLiteral("Telefon"), number))
                        throw vidra::Error(QStringLiteral("own row not in the snapshot"));
                    desk.table.Delete();
                    mine.erase(mine.begin() + std::ptrdiff_t(k));
                    std::printf("deleted %s\n", s(number).c_str());
                } catch (const vidra::Error& e) {
                    std::printf("error %s\n", s(e.message()).c_str());
                }
                continue;
            }
            // Every tenth save is a number all desks want at once.
            const QString number = i % 10 == 0 ? QStringLiteral("S%1").arg(i / 10)
                                               : QStringLiteral("D%1-%2").arg(deskNo).arg(i);
            const Clock::time_point t = Clock::now();
            try {
                desk.table.Insert();
                desk.table.FieldByName(QStringLiteral("Telefon")).SetValue(number);
                desk.table.FieldByName(QStringLiteral("Vlasnik")).SetValue(QStringLiteral("DESK"));
                desk.table.FieldByName(QStringLiteral("Adresa")).SetValue(QStringLiteral("TRG"));
                desk.table.Post();
                mine.push_back(number);
                std::printf("saved %s %.3f\n", s(number).c_str(), msSince(t));
            } catch (const vidra::Error& e) {
                desk.table.Cancel();
                if (e.message().contains(QStringLiteral("vec postoji")))
                    std::printf("refused %s\n", s(number).c_str());
                else
                    std::printf("error %s\n", s(e.message()).c_str());
            }
        }
    } catch (const std::exception& e) {
        std::printf("error %s\n", e.what());
        return 1;
    }
    return 0;
}

std::string selfPath()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) die("cannot find its own executable");
    return std::string(buf, size_t(n));
}

std::vector<int> numbers(const char* text)
{
    std::vector<int> out;
    for (const QString& part : QString::fromLocal8Bit(text).split(u',')) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (!ok || n < 0) die("bad number " + s(part));
        out.push_back(n);
    }
    return out;
}

double timeFilter(vidra::Table& table, const QString& filter, int reps)
{
    std::vector<double> times;
    for (int k = 0; k < reps; ++k) {
        table.SetFiltered(false);
        table.SetFilter(filter);
        const Clock::time_point t = Clock::now();
        table.SetFiltered(true);
        (void)table.RecordCount();
        times.push_back(msSince(t));
    }
    return median(times);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--child-desk")
        return childDesk(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atof(argv[4]));

    const std::string self = selfPath();
    const QString exeDir = QFileInfo(QString::fromLocal8Bit(self.c_str())).absolutePath();
    QString folder = exeDir + QStringLiteral("/bench-data");
    std::string tool = QFile::encodeName(exeDir + QStringLiteral("/../vidra-db")).toStdString();
    std::string psql = "psql";
    QString uri;
    int reps = 5;
    double seconds = 10;
    std::vector<int> sizes{10'000, 100'000, 1'000'000};
    std::vector<int> desks{1, 4, 16};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) die("unknown or incomplete option " + a);
        const char* v = argv[++i];
        if (a == "--uri")
            uri = QString::fromLocal8Bit(v);
        else if (a == "--dir")
            folder = QString::fromLocal8Bit(v);
        else if (a == "--tool")
            tool = v;
        else if (a == "--psql")
            psql = v;
        else if (a == "--reps")
            reps = std::max(1, std::atoi(v));
        else if (a == "--seconds")
            seconds = std::max(1.0, std::atof(v));
        else if (a == "--sizes")
            sizes = numbers(v);
        else if (a == "--desks")
            desks = numbers(v);
        else
            die("unknown option " + a);
    }
    if (uri.isEmpty()) die("--uri postgresql://... is required");
    if (!QDir().mkpath(folder)) die("cannot make " + s(folder));

    // --- snapshot load
    struct LoadRow
    {
        int rows;
        double oursMs, psqlMs, psqlOrderedMs, fileMs;
    };
    std::vector<LoadRow> loads;
    QString largestServer, largestFile;
    for (const int rows : sizes) {
        const QString target = ensureServerSample(uri, folder, tool, rows);
        const QString file = ensureSample(folder, tool, rows);
        largestServer = target;
        largestFile = file;
        if (Desk(target, false).table.RecordCount() != rows)
            die("the engine loaded a different number of rows from the server");
        std::vector<double> ours, theirs, theirsOrdered, fromFile;
        for (int k = 0; k < reps; ++k) {
            {
                const Clock::time_point t = Clock::now();
                Desk d(target, false);
                ours.push_back(msSince(t));
            }
            {
                const Clock::time_point t = Clock::now();
                if (run({psql, s(target), "-qAt", "-c", "COPY vlasnici TO STDOUT"}) != 0)
                    die("psql failed");
                theirs.push_back(msSince(t));
            }
            {
                // The same rows in the order a desk reads them: by number.
                const Clock::time_point t = Clock::now();
                if (run({psql, s(target), "-qAt", "-c",
                         "COPY (SELECT telefon, vlasnik, adresa, mesto, napomena FROM vlasnici "
                         "ORDER BY telefon) TO STDOUT"}) != 0)
                    die("psql failed");
                theirsOrdered.push_back(msSince(t));
            }
            const Clock::time_point t = Clock::now();
            Desk d(file, false);
            fromFile.push_back(msSince(t));
        }
        loads.push_back(
            {rows, median(ours), median(theirs), median(theirsOrdered), median(fromFile)});
        std::fprintf(stderr, "%d rows: ours %.1f ms, psql %.1f ms\n", rows, loads.back().oursMs,
                     loads.back().psqlMs);
    }
    std::printf("\nSnapshot load from the server, median of %d runs (psql: `psql URI -c \"COPY "
                "vlasnici TO STDOUT\" > /dev/null`, wall clock incl. process start)\n\n",
                reps);
    std::printf("| Rows | Ours (ms) | psql (ms) | Ours/psql | psql by number (ms) | Ours/psql by "
                "number | Same rows from a file (ms) |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const LoadRow& r : loads)
        std::printf("| %s | %.1f | %.1f | %.2f | %.1f | %.2f | %.1f |\n", group(r.rows).c_str(),
                    r.oursMs, r.psqlMs, r.psqlMs > 0 ? r.oursMs / r.psqlMs : 0.0, r.psqlOrderedMs,
                    r.psqlOrderedMs > 0 ? r.oursMs / r.psqlOrderedMs : 0.0, r.fileMs);

    // --- the search filter on a server snapshot and on a file snapshot
    if (!largestServer.isEmpty()) {
        Desk server(largestServer, false), file(largestFile, false);
        std::printf("\nSearch filter on %s rows, median of %d runs\n\n",
                    group(server.table.RecordCount()).c_str(), std::max(reps, 5));
        std::printf("| Filter | Server snapshot (ms) | File snapshot (ms) |\n|---|---:|---:|\n");
        for (const char* f :
             {"(Vlasnik LIKE 'M*')", "(Vlasnik LIKE 'MIL*')",
              "(Telefon LIKE '01*') AND (Mesto LIKE 'K*')", "(Adresa LIKE 'ŽARKA*')"}) {
            const QString filter = QString::fromUtf8(f);
            std::printf("| `%s` | %.2f | %.2f |\n", f,
                        timeFilter(server.table, filter, std::max(reps, 5)),
                        timeFilter(file.table, filter, std::max(reps, 5)));
        }
    }

    // --- several desks at once
    std::printf("\nDesks saving and deleting at once for %.0f s each (every tenth save is a number "
                "all desks try at the same time)\n\n",
                seconds);
    std::printf(
        "| Desks | Saves | Saves/s | Median save (ms) | p99 save (ms) | Deletes | Refused "
        "as duplicates | Errors | Audit |\n|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
    for (const int n : desks) {
        const QString schema = QStringLiteral("vidra_bench_desks");
        {
            vidra::pg::Session session(uri);
            session.execScript(
                QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE; CREATE SCHEMA %1").arg(schema));
        }
        const QString target = inSchema(uri, schema);
        if (run({tool, "create", s(target)}) != 0) die("vidra-db create failed");

        // Each desk writes to a file of its own: a full pipe would hold it up.
        std::vector<FILE*> children;
        std::vector<std::string> outputs;
        for (int k = 0; k < n; ++k) {
            outputs.push_back(s(folder) + "/desk-" + std::to_string(k) + ".txt");
            const std::string cmd = "'" + self + "' --child-desk '" + s(target) + "' " +
                                    std::to_string(k) + " " + std::to_string(seconds) + " > '" +
                                    outputs.back() + "'";
            FILE* p = popen(cmd.c_str(), "r");
            if (!p) die("cannot start a desk");
            children.push_back(p);
        }
        for (FILE* p : children)
            pclose(p);
        std::vector<double> saveMs;
        std::map<std::string, int> savedBy; // number -> times reported saved and kept
        long deletes = 0, refused = 0, errors = 0;
        std::string firstError;
        for (const std::string& output : outputs) {
            FILE* p = std::fopen(output.c_str(), "r");
            if (!p) die("a desk left no output");
            char line[1024];
            while (std::fgets(line, sizeof line, p)) {
                std::istringstream in(line);
                std::string what, number;
                in >> what >> number;
                if (what == "saved") {
                    double ms = 0;
                    in >> ms;
                    saveMs.push_back(ms);
                    ++savedBy[number];
                } else if (what == "deleted") {
                    ++deletes;
                    --savedBy[number];
                } else if (what == "refused") {
                    ++refused;
                } else {
                    ++errors;
                    if (firstError.empty()) firstError = line;
                }
            }
            std::fclose(p);
        }
        // Audit: what the desks were told is saved (and not deleted) is there,
        // nothing else is, and no number is held twice.
        std::set<std::string> expected;
        bool twice = false;
        for (const auto& [number, count] : savedBy) {
            if (count > 1) twice = true;
            if (count > 0) expected.insert(number);
        }
        std::set<std::string> stored;
        vidra::pg::Session session(target);
        const vidra::pg::Result r = session.exec(QStringLiteral("SELECT telefon FROM vlasnici"));
        for (int i = 0; i < r.rows(); ++i)
            stored.insert(s(r.text(i, 0)));
        const bool sameRows = stored == expected && size_t(r.rows()) == stored.size();
        std::printf("| %d | %zu | %.0f | %.2f | %.2f | %ld | %ld | %ld | %s |\n", n, saveMs.size(),
                    double(saveMs.size()) / seconds, percentile(saveMs, 0.5),
                    percentile(saveMs, 0.99), deletes, refused, errors,
                    sameRows && !twice ? "every saved row there, none twice, none extra"
                                       : "MISMATCH");
        if (!firstError.empty()) std::fprintf(stderr, "first desk error: %s", firstError.c_str());
        std::fflush(stdout);
    }
    return 0;
}
