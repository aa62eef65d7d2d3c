// The vidra-db tool (run as a separate process) and its sample generator.
#include "data/Schema.h"
#include "support/TempDir.h"
#include "support/ToolRun.h"
#include "tools/SampleData.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <gtest/gtest.h>
#include <vector>

using testsupport::TempDir;
using testsupport::entries;
using testsupport::runTool;
using testsupport::ToolRun;
using vidra::sample::SampleRow;
using vidra::sample::sampleRow;

namespace {

QString folderOf(const TempDir& dir)
{
    return QFileInfo(dir.path(QStringLiteral("x"))).absolutePath();
}

QStringList column(const QString& file, const char* name)
{
    return testsupport::selectColumn(
        file, QStringLiteral("SELECT %1 FROM Vlasnici ORDER BY rowid").arg(QLatin1String(name)));
}

QString field(const SampleRow& r, int i)
{
    switch (i) {
    case 0:
        return r.telefon;
    case 1:
        return r.vlasnik;
    case 2:
        return r.adresa;
    case 3:
        return r.mesto;
    default:
        return r.napomena;
    }
}

// The file holds exactly rows 0..n-1 of the seed, nulls as nulls.
void expectSampleContent(const QString& file, std::uint64_t seed, int n)
{
    for (int f = 0; f < 5; ++f) {
        const QStringList stored = column(file, vidra::kSubscriberFields[size_t(f)].name);
        ASSERT_EQ(stored.size(), n) << vidra::kSubscriberFields[size_t(f)].name;
        for (int i = 0; i < n; ++i) {
            const QString expected = field(sampleRow(seed, i), f);
            ASSERT_EQ(stored[i].isNull(), expected.isNull()) << "row " << i << " field " << f;
            ASSERT_EQ(stored[i], expected) << "row " << i << " field " << f;
        }
    }
}

} // namespace

// --- the generator

TEST(SampleData, RowsDependOnlyOnSeedAndIndex)
{
    // Made backwards, rows must equal rows made forwards: no hidden state.
    const int n = 500;
    std::vector<SampleRow> forward;
    for (int i = 0; i < n; ++i)
        forward.push_back(sampleRow(1, i));
    for (int i = n - 1; i >= 0; --i) {
        const SampleRow r = sampleRow(1, i);
        for (int f = 0; f < 5; ++f) {
            EXPECT_EQ(field(r, f), field(forward[size_t(i)], f)) << "row " << i;
            EXPECT_EQ(field(r, f).isNull(), field(forward[size_t(i)], f).isNull());
        }
    }
    int differentOwners = 0, differentNumbers = 0;
    for (int i = 0; i < n; ++i) {
        const SampleRow other = sampleRow(2, i);
        differentOwners += other.vlasnik != forward[size_t(i)].vlasnik;
        differentNumbers += other.telefon != forward[size_t(i)].telefon;
    }
    EXPECT_GT(differentOwners, n * 8 / 10);
    EXPECT_EQ(differentNumbers, n);
}

TEST(SampleData, OutputIsPinnedAcrossMachines)
{
    // Sample files are meant to be the same everywhere, so the generator's
    // output is pinned. A deliberate change to the generator changes this
    // digest (and every sample file made before it).
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (int i = 0; i < 2000; ++i) {
        const SampleRow r = sampleRow(1, i);
        for (int f = 0; f < 5; ++f) {
            const QString v = field(r, f);
            h.addData(v.isNull() ? QByteArray("\x01") : "\x02" + v.toUtf8() + '\0');
        }
    }
    const SampleRow first = sampleRow(1, 0);
    EXPECT_EQ(first.telefon, QStringLiteral("030/257-070"));
    EXPECT_EQ(first.vlasnik, QString::fromUtf8("Živanović Jovan"));
    EXPECT_EQ(h.result().toHex().toStdString(),
              "4deccdad9e9c07b909361e867488a07548e1e1e4a0a236baf0eac7fb25ce82d8");
}

TEST(SampleData, NumbersNeverRepeat)
{
    // The slot of a row is a permutation of the whole capacity. Checked on
    // the first and the last million indices, where a fault in the walk
    // back into range would show first.
    const std::int64_t cap = vidra::sample::kCapacity;
    const std::int64_t span = 1'000'000;
    std::vector<bool> seen(size_t(cap), false);
    std::int64_t repeats = 0, outside = 0;
    for (const std::int64_t start : {std::int64_t(0), cap - span}) {
        for (std::int64_t i = start; i < start + span; ++i) {
            const std::int64_t s = vidra::sample::numberSlot(12345, i);
            if (s < 0 || s >= cap) {
                ++outside;
                continue;
            }
            repeats += seen[size_t(s)];
            seen[size_t(s)] = true;
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(repeats, 0);

    // Distinct slots give distinct texts, from the first area code to the last.
    EXPECT_EQ(vidra::sample::formatNumber(0), QStringLiteral("010/200-000"));
    EXPECT_EQ(vidra::sample::formatNumber(cap - 1), QStringLiteral("039/999-999"));
    EXPECT_NE(vidra::sample::formatNumber(vidra::sample::kLocalNumbers - 1),
              vidra::sample::formatNumber(vidra::sample::kLocalNumbers));
}

TEST(SampleData, ValuesFitTheirColumnsAndLookLikeADirectory)
{
    const int n = 20000;
    const QRegularExpression number(QStringLiteral("^0[1-3][0-9]/[2-9][0-9]{2}-[0-9]{3}$"));
    const QRegularExpression address(
        QStringLiteral("^\\S.* ([1-9][0-9]*[a-z]?(/[1-9][0-9]*)?|bb)$"));
    int noPlace = 0, withNote = 0, twoLineNotes = 0;
    QSet<QString> numbers, owners, places;
    QString allText;
    for (int i = 0; i < n; ++i) {
        const SampleRow r = sampleRow(1, i);
        for (int f = 0; f < 4; ++f) {
            const int size = vidra::kSubscriberFields[size_t(f)].size;
            ASSERT_LE(field(r, f).size(), size) << "row " << i << ": " << field(r, f).toStdString();
        }
        ASSERT_TRUE(number.match(r.telefon).hasMatch()) << r.telefon.toStdString();
        ASSERT_TRUE(address.match(r.adresa).hasMatch()) << r.adresa.toStdString();
        ASSERT_FALSE(r.vlasnik.trimmed().isEmpty());
        EXPECT_EQ(r.vlasnik, r.vlasnik.simplified());
        numbers.insert(r.telefon);
        owners.insert(r.vlasnik);
        if (r.mesto.isNull()) {
            ++noPlace;
        } else {
            EXPECT_FALSE(r.mesto.isEmpty()) << "a place is null or text, never empty";
            places.insert(r.mesto);
        }
        if (!r.napomena.isNull()) {
            ++withNote;
            EXPECT_FALSE(r.napomena.trimmed().isEmpty());
            twoLineNotes += r.napomena.contains(QLatin1Char('\n'));
        }
        allText += r.vlasnik + r.adresa + r.mesto + r.napomena;
    }
    EXPECT_EQ(numbers.size(), n);
    EXPECT_GT(owners.size(), n / 4) << "owners should vary";
    EXPECT_GT(places.size(), 10);
    EXPECT_NEAR(noPlace, n / 10, n / 40);
    EXPECT_NEAR(withNote, n / 5, n / 40);
    EXPECT_GT(twoLineNotes, 0);
    EXPECT_LT(twoLineNotes, withNote / 4);
    for (const char* letter : {"č", "ć", "đ", "š", "ž", "Č", "Ć", "Đ", "Š", "Ž"})
        EXPECT_TRUE(allText.contains(QString::fromUtf8(letter))) << letter;
}

// --- the tool

TEST(VidraDb, CreateMakesAnEmptyDirectoryTable)
{
    TempDir dir;
    const QString file = dir.path(QStringLiteral("data.mdb"));
    const ToolRun r = runTool({QStringLiteral("create"), file});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

    const QStringList names = testsupport::selectColumn(
        file, QStringLiteral("SELECT name FROM pragma_table_info('Vlasnici')"));
    const QStringList types = testsupport::selectColumn(
        file, QStringLiteral("SELECT type FROM pragma_table_info('Vlasnici')"));
    ASSERT_EQ(names.size(), int(vidra::kSubscriberFields.size()));
    for (size_t i = 0; i < vidra::kSubscriberFields.size(); ++i) {
        const vidra::FieldDef& f = vidra::kSubscriberFields[i];
        EXPECT_EQ(names[qsizetype(i)], QLatin1String(f.name));
        if (f.size > 0) {
            EXPECT_TRUE(types[qsizetype(i)].contains(QStringLiteral("(%1)").arg(f.size)))
                << f.name << " " << types[qsizetype(i)].toStdString();
        }
    }
    EXPECT_EQ(testsupport::selectColumn(file, QStringLiteral("SELECT count(*) FROM Vlasnici")),
              QStringList{QStringLiteral("0")});
    // The number index the duplicate check relies on is there too.
    EXPECT_EQ(testsupport::selectColumn(
                  file, QStringLiteral("SELECT count(*) FROM pragma_index_list('Vlasnici')")),
              QStringList{QStringLiteral("1")});
    EXPECT_EQ(entries(folderOf(dir)), QStringList{QStringLiteral("data.mdb")});
}

TEST(VidraDb, SampleStoresTheGeneratedRows)
{
    TempDir dir;
    const QString file = dir.path(QStringLiteral("sample.mdb"));
    const ToolRun r =
        runTool({QStringLiteral("sample"), file, QStringLiteral("--rows"), QStringLiteral("3000"),
                 QStringLiteral("--seed"), QStringLiteral("7")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    expectSampleContent(file, 7, 3000);
    EXPECT_EQ(testsupport::selectColumn(
                  file, QStringLiteral("SELECT count(DISTINCT Telefon) FROM Vlasnici")),
              QStringList{QStringLiteral("3000")});
    EXPECT_EQ(testsupport::selectColumn(file, QStringLiteral("PRAGMA integrity_check")),
              QStringList{QStringLiteral("ok")});
    EXPECT_EQ(entries(folderOf(dir)), QStringList{QStringLiteral("sample.mdb")});

    // Without --seed the seed is 1; "--rows=N" is the same as "--rows N".
    const QString byDefault = dir.path(QStringLiteral("default.mdb"));
    ASSERT_EQ(runTool({QStringLiteral("sample"), QStringLiteral("--rows=40"), byDefault}).exitCode,
              0);
    expectSampleContent(byDefault, 1, 40);

    // No rows: an empty but complete directory file.
    const QString empty = dir.path(QStringLiteral("empty.mdb"));
    ASSERT_EQ(
        runTool({QStringLiteral("sample"), empty, QStringLiteral("--rows"), QStringLiteral("0")})
            .exitCode,
        0);
    EXPECT_EQ(testsupport::selectColumn(empty, QStringLiteral("SELECT count(*) FROM Vlasnici")),
              QStringList{QStringLiteral("0")});
}

TEST(VidraDb, SameSeedGivesTheSameFile)
{
    TempDir dir;
    const auto make = [&](const QString& name, const char* seed) {
        const QString file = dir.path(name);
        const ToolRun r =
            runTool({QStringLiteral("sample"), file, QStringLiteral("--rows"),
                     QStringLiteral("5000"), QStringLiteral("--seed"), QLatin1String(seed)});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return file;
    };
    const QString a = make(QStringLiteral("a.mdb"), "42");
    const QString b = make(QStringLiteral("b.mdb"), "42");
    const QString c = make(QStringLiteral("c.mdb"), "43");
    const QByteArray bytesA = TempDir::read(a);
    ASSERT_FALSE(bytesA.isEmpty());
    EXPECT_EQ(bytesA, TempDir::read(b));
    EXPECT_NE(column(a, "Telefon"), column(c, "Telefon"));
    EXPECT_NE(column(a, "Vlasnik"), column(c, "Vlasnik"));
}

TEST(VidraDb, ReplacesAnExistingFileOnlyWithForce)
{
    TempDir dir;
    const QByteArray precious("not a database, but somebody's file");
    const QString file = dir.write(QStringLiteral("data.mdb"), precious);

    for (const QStringList& args : {QStringList{QStringLiteral("create"), file},
                                    QStringList{QStringLiteral("sample"), file,
                                                QStringLiteral("--rows"), QStringLiteral("10")}}) {
        const ToolRun r = runTool(args);
        EXPECT_NE(r.exitCode, 0) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("already exists"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("--force"))) << r.err.toStdString();
        EXPECT_EQ(TempDir::read(file), precious);
        EXPECT_EQ(entries(folderOf(dir)), QStringList{QStringLiteral("data.mdb")});
    }

    ToolRun r = runTool({QStringLiteral("sample"), file, QStringLiteral("--rows"),
                         QStringLiteral("25"), QStringLiteral("--force")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    expectSampleContent(file, 1, 25);

    // A directory file is replaced as a whole, not added to.
    r = runTool({QStringLiteral("--force"), file});
    EXPECT_NE(r.exitCode, 0) << "an option is not a command";
    r = runTool({QStringLiteral("create"), QStringLiteral("--force"), file});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(testsupport::selectColumn(file, QStringLiteral("SELECT count(*) FROM Vlasnici")),
              QStringList{QStringLiteral("0")});
    EXPECT_EQ(entries(folderOf(dir)), QStringList{QStringLiteral("data.mdb")});
}

TEST(VidraDb, BadCommandLinesFailWithAMessage)
{
    TempDir dir;
    const QString f = dir.path(QStringLiteral("new.mdb"));
    const QString g = dir.path(QStringLiteral("other.mdb"));
    const QString rows = QStringLiteral("--rows");
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{}, QStringLiteral("Usage")},
        {{QStringLiteral("frob"), f}, QStringLiteral("frob")},
        {{QStringLiteral("create")}, QStringLiteral("FILE")},
        {{QStringLiteral("create"), f, QStringLiteral("--frob")}, QStringLiteral("--frob")},
        {{QStringLiteral("create"), f, g}, QStringLiteral("other.mdb")},
        {{QStringLiteral("create"), f, rows, QStringLiteral("5")}, rows},
        {{QStringLiteral("create"), QString()}, QStringLiteral("FILE")},
        {{QStringLiteral("sample"), f}, rows},
        {{QStringLiteral("sample"), f, rows}, rows},
        {{QStringLiteral("sample"), f, rows, QStringLiteral("many")}, QStringLiteral("many")},
        {{QStringLiteral("sample"), f, rows, QStringLiteral("12abc")}, QStringLiteral("12abc")},
        {{QStringLiteral("sample"), f, rows, QStringLiteral("-1")}, QStringLiteral("negative")},
        {{QStringLiteral("sample"), f, rows, QStringLiteral("24000001")},
         QStringLiteral("24000000")},
        {{QStringLiteral("sample"), f, rows, QStringLiteral("99999999999999999999")},
         QStringLiteral("24000000")},
        {{QStringLiteral("sample"), f, rows, QStringLiteral("3"), rows, QStringLiteral("4")}, rows},
        {{QStringLiteral("sample"), f, rows, QStringLiteral("3"), QStringLiteral("--seed"),
          QStringLiteral("-2")},
         QStringLiteral("--seed")},
    };
    for (const auto& [args, mention] : cases) {
        const ToolRun r = runTool(args);
        const std::string what = "args: " + args.join(' ').toStdString();
        EXPECT_GT(r.exitCode, 0) << what;
        EXPECT_TRUE(r.err.contains(mention)) << what << "\nstderr: " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << what;
    }
    EXPECT_TRUE(entries(folderOf(dir)).isEmpty()) << entries(folderOf(dir)).join(' ').toStdString();

    const ToolRun help = runTool({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("vidra-db sample FILE --rows N")));
}

TEST(VidraDb, UnusableTargetsFailCleanly)
{
    TempDir dir;
    const QString folder = folderOf(dir);
    const QString missing = dir.path(QStringLiteral("missing/data.mdb"));
    ToolRun r = runTool(
        {QStringLiteral("sample"), missing, QStringLiteral("--rows"), QStringLiteral("10")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("does not exist"))) << r.err.toStdString();
    EXPECT_TRUE(entries(folder).isEmpty()) << entries(folder).join(' ').toStdString();

    // A folder in the target's place is never replaced, not even with --force.
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("taken")));
    const QString taken = dir.path(QStringLiteral("taken"));
    r = runTool({QStringLiteral("create"), taken, QStringLiteral("--force")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("folder"))) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo(taken).isDir());
    EXPECT_EQ(entries(folder), QStringList{QStringLiteral("taken")});
}

TEST(VidraDb, InterruptedRunLeavesNothingBehind)
{
    TempDir dir;
    const QString folder = folderOf(dir);
    QProcess p;
    // Far more rows than can be written before the signal arrives.
    p.start(QStringLiteral(VIDRA_DB_TOOL),
            {QStringLiteral("sample"), dir.path(QStringLiteral("big.mdb")),
             QStringLiteral("--rows"), QStringLiteral("24000000")});
    ASSERT_TRUE(p.waitForStarted(30000));
    // The temporary file shows that writing has begun.
    for (int i = 0; i < 3000 && entries(folder).isEmpty(); ++i)
        QThread::msleep(10);
    ASSERT_FALSE(entries(folder).isEmpty());
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_TRUE(
        QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("interrupted")));
    EXPECT_TRUE(entries(folder).isEmpty()) << entries(folder).join(' ').toStdString();
}
