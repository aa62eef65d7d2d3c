// A saving process killed at any moment leaves a directory file that is sound:
// every save it reported is there in full, nothing is there half, and the next
// program to open the file carries on from it.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "support/ChildLines.h"
#include "support/TempDir.h"
#include "support/WriterRows.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <set>
#include <signal.h>
#include <sqlite3.h>
#include <thread>

using testsupport::TempDir;

namespace {

struct FileState
{
    QString integrity;
    int rows = 0;
    QStringList problems; // rows that are not exactly what the writer saves
};

bool sameValue(sqlite3_stmt* st, int col, const QString& want)
{
    if (sqlite3_column_type(st, col) == SQLITE_NULL) return want.isNull();
    if (want.isNull()) return false;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return QString::fromUtf8(text, sqlite3_column_bytes(st, col)) == want;
}

// Reads the file with the plain SQLite library: the writer numbers its rows
// 0, 1, 2, ... and appends them, so row i must hold exactly writerRow(i).
FileState inspect(const QString& file)
{
    FileState s;
    sqlite3* db = nullptr;
    // Read-write, so that a transaction the kill left open is rolled back.
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        s.integrity = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return s;
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
    QStringList report;
    while (sqlite3_step(st) == SQLITE_ROW)
        report << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    s.integrity = report.join(u'\n');

    sqlite3_prepare_v2(db,
                       "SELECT Telefon, Vlasnik, Adresa, Mesto, Napomena FROM Vlasnici "
                       "ORDER BY rowid",
                       -1, &st, nullptr);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const testsupport::Row want = testsupport::writerRow(s.rows);
        const QString values[] = {want.telefon, want.vlasnik, want.adresa, want.mesto,
                                  want.napomena};
        for (int c = 0; c < 5; ++c)
            if (!sameValue(st, c, values[c]))
                s.problems << QStringLiteral("row %1, column %2").arg(s.rows).arg(c);
        ++s.rows;
    }
    if (rc != SQLITE_DONE) s.problems << QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

// What the program itself finds when it is the first to open the file after
// the kill (and so the one to roll back what the writer left unfinished).
int rowsSeenByTheProgram(const QString& file)
{
    vidra::Connection conn;
    conn.setConnectionText(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                           vidra::Connection::quoteValue(file));
    vidra::Table table(QStringLiteral("Imenik"));
    table.SetConnection(&conn);
    table.SetTableName(QString::fromLatin1(vidra::kSubscriberTable));
    table.DeclareFields(vidra::kSubscriberFields.begin(), vidra::kSubscriberFields.end());
    table.Open();
    if (table.IsEmpty()) return 0;
    table.Last();
    const testsupport::Row last = testsupport::writerRow(table.RecordCount() - 1);
    if (table.FieldByName("Telefon").AsString() != last.telefon ||
        table.FieldByName("Napomena").Value() !=
            (last.napomena.isNull() ? QVariant() : QVariant(last.napomena)))
        return -1;
    return table.RecordCount();
}

TEST(CrashSafety, KilledWriterLeavesEveryReportedRowWholeAndNoRowHalfWritten)
{
    TempDir dir;
    const QString file = dir.path("data.mdb");
    ASSERT_EQ(QProcess::execute(QStringLiteral(VIDRA_DB_TOOL), {"create", file}), 0);
    const QString journal = file + QStringLiteral("-journal");

    constexpr int kRounds = 220;
    std::mt19937 rng(20240611u);
    // Spread evenly over the orders of magnitude, so that early and late kills
    // in a writer's life are both common.
    std::uniform_real_distribution<double> logDelay(std::log(2.0), std::log(100.0));
    const auto delayMs = [&](std::mt19937& g) { return int(std::exp(logDelay(g))); };

    int kills = 0;
    int reportedTotal = 0;
    int lost = 0;
    int unreported = 0;   // committed, but killed before it could say so
    int leftJournals = 0; // kills that left a transaction to roll back
    int rows = 0;         // rows 0 .. rows-1 are in the file
    for (int round = 0; round < kRounds; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(VIDRA_CRASH_WRITER), {"post", file});
        ASSERT_TRUE(writer.waitForStarted(30000));
        // The writer continues from what is in the file.
        const QString ready = testsupport::readChildLine(writer, 30000);
        ASSERT_EQ(ready, QStringLiteral("ready %1").arg(rows))
            << QString::fromLocal8Bit(writer.readAllStandardError()).toStdString();

        // Every other kill waits for a first save, so that kills land among
        // the saves however slow the machine is; the others may come before
        // the first.
        std::set<int> reported;
        if (round % 2 == 1) {
            const QString first = testsupport::readChildLine(writer, 30000);
            ASSERT_FALSE(first.isEmpty())
                << "round " << round << ": "
                << QString::fromLocal8Bit(writer.readAllStandardError()).toStdString();
            reported.insert(first.toInt());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(rng)));
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(30000));
        // Killed, not ended by a failure of its own.
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit)
            << QString::fromLocal8Bit(writer.readAllStandardError()).toStdString();
        ++kills;

        for (const QByteArray& line : writer.readAllStandardOutput().split('\n'))
            if (!line.isEmpty()) reported.insert(line.toInt());
        reportedTotal += int(reported.size());

        if (QFileInfo(journal).size() > 0) ++leftJournals;
        // Every third round the program is the first to meet the file.
        int programRows = -2;
        if (round % 3 == 0) {
            try {
                programRows = rowsSeenByTheProgram(file);
            } catch (const vidra::Error& e) {
                FAIL() << "round " << round << ": " << e.what();
            }
        }

        const FileState state = inspect(file);
        ASSERT_EQ(state.integrity, "ok") << "round " << round;
        ASSERT_TRUE(state.problems.isEmpty())
            << "round " << round << ": " << state.problems.join(", ").toStdString();
        if (programRows != -2) {
            EXPECT_EQ(programRows, state.rows) << "round " << round;
        }
        for (int n : reported)
            if (n >= state.rows) ++lost;
        // Numbers reported this round are the ones just after the earlier rows.
        if (!reported.empty()) {
            EXPECT_EQ(*reported.begin(), rows) << "round " << round;
            EXPECT_EQ(*reported.rbegin(), rows + int(reported.size()) - 1) << "round " << round;
        }
        const int fresh = state.rows - rows - int(reported.size());
        EXPECT_GE(fresh, 0) << "round " << round;
        EXPECT_LE(fresh, 1) << "round " << round; // at most the one row being reported
        if (fresh > 0) unreported += fresh;
        rows = state.rows;
    }

    std::cout << "[ crash    ] kills=" << kills << " reported=" << reportedTotal
              << " rows-verified=" << rows << " lost=" << lost
              << " committed-unreported=" << unreported << " rolled-back-journals=" << leftJournals
              << std::endl;
    ::testing::Test::RecordProperty("kills", kills);
    ::testing::Test::RecordProperty("rowsVerified", rows);
    ::testing::Test::RecordProperty("rowsLost", lost);
    EXPECT_GE(kills, 200);
    EXPECT_EQ(lost, 0);
    // Half the kills waited for a save (checked above); some of all of them
    // must have caught a save half done.
    EXPECT_GT(leftJournals, 0);
}

} // namespace
