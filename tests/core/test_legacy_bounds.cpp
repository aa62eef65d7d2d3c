// Damaged Access files against the bounds of the reader: memory, rows,
// value lengths and error output, and what the reader says about damage it
// can see in a read that otherwise succeeds.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/legacy/LegacyReader.h"
#include "support/DamagedAccess.h"
#include "support/ErrorOf.h"
#include "support/LegacyFixtures.h"
#include "support/TempDir.h"
#include "support/ToolRun.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace vidra;
using testsupport::errorOf;
using testsupport::runTool;
using testsupport::TempDir;
using testsupport::ToolRun;

namespace {

struct Read
{
    bool tableSeen = false;
    std::uint64_t expected = 0;
    std::vector<QStringList> rows;
    QStringList warnings;
};

Read readAll(const QString& file, const QString& table, Read* partial = nullptr)
{
    Read local;
    Read& out = partial ? *partial : local;
    legacy::Request req;
    req.file = file;
    req.table = table;
    legacy::readTable(
        req,
        [&](const std::vector<legacy::Column>&, std::uint64_t expected) {
            out.tableSeen = true;
            out.expected = expected;
        },
        [&](const std::vector<legacy::Cell>& cells) {
            QStringList row;
            for (const auto& c : cells)
                row << (c.null ? QString() : QString::fromUtf8(c.data, qsizetype(c.size)));
            out.rows.push_back(row);
        },
        [&](const QString& warning) { out.warnings << warning; });
    return out;
}

std::string show(const ToolRun& r)
{
    return QStringLiteral("exit %1\n%2\n%3").arg(r.exitCode).arg(r.out, r.err).toStdString();
}

class LegacyBounds : public ::testing::Test
{
protected:
    TempDir dir;
    struct Restore
    {
        const QString program = legacy::readerProgram();
        ~Restore()
        {
            legacy::setReaderMemoryLimit(0);
            legacy::setReaderProgram(program);
        }
    } restore;
};

} // namespace

// ------------------------------------------------------------ memory

TEST_F(LegacyBounds, AFileThatMakesTheLibraryEatMemoryFailsFastSayingSo)
{
    const QString file = dir.write("balon.mdb", testsupport::accessEatingMemory());
    // The limit sized from the file.
    const QString msg = errorOf([&] { readAll(file, "Table1"); });
    // Not the stall watchdog's message, which comes only after half a minute.
    EXPECT_TRUE(msg.contains("the file is damaged")) << msg.toStdString();
    EXPECT_TRUE(msg.contains(
        QStringLiteral("%1 MB of memory")
            .arg((legacy::readerMemoryLimit(quint64(QFileInfo(file).size())) + (1u << 20) - 1) >>
                 20)))
        << msg.toStdString();
    EXPECT_TRUE(legacy::lastReaderComplaints().find("the memory allowed is used up") !=
                std::string::npos)
        << legacy::lastReaderComplaints();

    // A tighter limit set by hand: the damaged file stops there, the sound
    // one it was made from reads whole within it.
    legacy::setReaderMemoryLimit(32u << 20);
    const QString capped = errorOf([&] { readAll(file, "Table1"); });
    EXPECT_TRUE(capped.contains("the 32 MB of memory")) << capped.toStdString();
    EXPECT_EQ(
        readAll(testsupport::accessFixturePath("compIndexTestV1997.mdb"), "Table1").rows.size(),
        512u);
    const QString directory = dir.write("imenik.mdb", testsupport::cleanAccessDirectory());
    EXPECT_EQ(readAll(directory, "Vlasnici").rows.size(), 7u);
}

TEST_F(LegacyBounds, AnAccessDirectoryThatMakesTheLibraryEatMemoryIsAConnectionError)
{
    const QString file = dir.write("balon.mdb", testsupport::accessDirectoryEatingMemory());
    Connection conn;
    Table t(QStringLiteral("Imenik"));
    t.SetConnection(&conn);
    t.SetTableName(QStringLiteral("Vlasnici"));
    t.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    conn.setConnectionText(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                           Connection::quoteValue(file));
    const QString msg = errorOf([&] {
        conn.open();
        t.Open();
    });
    EXPECT_TRUE(msg.contains("of memory a file of its size can need")) << msg.toStdString();
    EXPECT_FALSE(t.Active());
}

TEST_F(LegacyBounds, VidraDbRefusesAFileThatMakesTheLibraryEatMemoryAndLeavesNothing)
{
    const QString source = dir.write("balon.mdb", testsupport::accessDirectoryEatingMemory());
    const QString dest = dir.path("imenik.mdb");
    const ToolRun r = runTool({"import", source, dest});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains("balon.mdb' cannot be read: the file is damaged")) << show(r);
    EXPECT_TRUE(r.err.contains("of memory a file of its size can need")) << show(r);
    EXPECT_FALSE(QFileInfo::exists(dest));
}

// A reader that floods its error output: drained, with only the end kept.
TEST_F(LegacyBounds, AReaderFloodingItsErrorOutputCostsTheProgramNoMemory)
{
    const QString script =
        dir.write("flood.sh", "#!/bin/sh\nhead -c 20000000 /dev/zero | tr '\\0' x >&2\n"
                              "echo last words >&2\nexit 4\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    legacy::setReaderProgram(script);
    const QString msg =
        errorOf([&] { readAll(testsupport::accessFixturePath("compIndexTestV1997.mdb"), "x"); });
    EXPECT_TRUE(msg.contains("exit status 4")) << msg.left(300).toStdString();
    EXPECT_LE(msg.size(), 1024); // the first line of the complaints, cut short
    const std::string kept = legacy::lastReaderComplaints();
    EXPECT_LE(kept.size(), size_t(32u << 10));
    EXPECT_NE(kept.find("xxxlast words\n"), std::string::npos);
}

// ------------------------------------------------------------ rows and values

TEST_F(LegacyBounds, ARowCountThePagesCannotHoldIsRefusedBeforeAnyRow)
{
    const QString file = dir.write("redovi.mdb", testsupport::accessRecordingTooManyRows());
    Read partial;
    const QString msg = errorOf([&] { readAll(file, "Table1", &partial); });
    EXPECT_TRUE(msg.contains("it records 60000 rows, its pages have room for"))
        << msg.toStdString();
    // Callers size their work by the count: none was handed over.
    EXPECT_FALSE(partial.tableSeen) << partial.expected;
    EXPECT_TRUE(partial.rows.empty());
}

TEST_F(LegacyBounds, AValueLongerThanTheWholeFileIsDamage)
{
    REQUIRE_LOCAL_ACCESS_FIXTURES();
    const QString file = dir.write("memo.mdb", testsupport::accessWithAMemoGoingRoundInALoop());
    Read partial;
    const QString msg = errorOf([&] { readAll(file, "DateTest", &partial); });
    EXPECT_TRUE(msg.contains("is damaged: a value in row 1 is longer than the whole file"))
        << msg.toStdString();
    EXPECT_TRUE(partial.rows.empty());
    // The row itself, with the memo as it was, is what the file should give.
    EXPECT_EQ(readAll(testsupport::accessFixturePath("DateTestDatabase.mdb"), "DateTest")
                  .rows.at(0)
                  .at(4),
              "Hello");
}

// ------------------------------------------------------------ warnings

TEST_F(LegacyBounds, TextLongerThanItsColumnIsReadWithAWarning)
{
    const QString file = dir.write("tekst.mdb", testsupport::accessWithTextLongerThanItsColumn());
    const Read r = readAll(file, "Table1");
    ASSERT_EQ(r.rows.size(), 512u);
    EXPECT_EQ(r.rows[0], QStringList({"19", "abc", "def"}));
    ASSERT_EQ(r.warnings.size(), 1) << r.warnings.join('\n').toStdString();
    EXPECT_EQ(r.warnings[0], "'" + file +
                                 "' may be damaged (table 'Table1'): 512 values are longer "
                                 "than the column allows (the first in row 1, column "
                                 "'RS_AGENTE')");

    // vidra-db imports the rows and says so.
    const ToolRun run = runTool({"import", file, dir.path("imenik.mdb"), "--table", "Table1",
                                 "--map", "Telefon=CD_AGENTE,Vlasnik=RS_AGENTE,Adresa=DC_AGENTE"});
    EXPECT_EQ(run.exitCode, 0) << show(run);
    EXPECT_TRUE(run.out.contains("512 values are longer than the column allows")) << show(run);
    EXPECT_TRUE(run.out.contains("Imported 510 of 512 rows")) << show(run);
}

TEST_F(LegacyBounds, WhatTheLibraryReportsInAReadThatSucceedsIsAWarning)
{
    const QString file =
        dir.write("prijava.mdb", testsupport::accessDirectoryTheLibraryComplainsAbout());
    const Read r = readAll(file, "Vlasnici");
    EXPECT_EQ(r.rows.size(), 7u);
    ASSERT_EQ(r.warnings.size(), 1) << r.warnings.join('\n').toStdString();
    EXPECT_TRUE(r.warnings[0].startsWith("'" + file +
                                         "' may be damaged (table 'Vlasnici'): "
                                         "the library reading it reported \""))
        << r.warnings[0].toStdString();

    const ToolRun run = runTool({"import", file, dir.path("imenik.mdb")});
    EXPECT_EQ(run.exitCode, 0) << show(run);
    EXPECT_TRUE(run.out.contains("may be damaged (table 'Vlasnici'): the library reading it "
                                 "reported"))
        << show(run);

    // The sound files give no warning.
    EXPECT_TRUE(readAll(dir.write("cist.mdb", testsupport::cleanAccessDirectory()), "Vlasnici")
                    .warnings.isEmpty());
    EXPECT_TRUE(readAll(testsupport::accessFixturePath("compIndexTestV1997.mdb"), "Table1")
                    .warnings.isEmpty());
}
