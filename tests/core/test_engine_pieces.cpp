// The engine's pieces on their own: identifier quoting and the statements a
// save is made of, against SQLite itself; the statement and transaction
// guards; the prefix-key scan against full evaluation of the same filter;
// exact matching as Locate does it; and the row check a write relies on.
#include "platform/Error.h"
#include "platform/db/RowFilter.h"
#include "platform/db/Sqlite.h"
#include "platform/db/TableScan.h"
#include "platform/db/TableSnapshot.h"
#include "platform/db/TableWrite.h"
#include "support/ErrorOf.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <sqlite3.h>
#include <vector>

using namespace vidra;
using testsupport::errorOf;

namespace {

// A scratch database in memory, closed afterwards.
class MemoryDb
{
public:
    MemoryDb() { sqlite3_open(":memory:", &m_db); }
    ~MemoryDb() { sqlite3_close(m_db); }
    MemoryDb(const MemoryDb&) = delete;
    MemoryDb& operator=(const MemoryDb&) = delete;
    sqlite3* get() const { return m_db; }

    void exec(const QString& sql) const
    {
        const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
        ASSERT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(m_db) << " in " << sql.toStdString();
    }
    // The first column of every row, nulls as "<null>"; a text for ?1.
    QStringList column(const QString& sql, const QString& param = QString()) const
    {
        QStringList out;
        Statement st(m_db, sql);
        if (!param.isNull()) st.bindText(1, param);
        while (sqlite3_step(st.get()) == SQLITE_ROW)
            out << (sqlite3_column_type(st.get(), 0) == SQLITE_NULL ? QStringLiteral("<null>")
                                                                    : st.columnText(0));
        return out;
    }

private:
    sqlite3* m_db = nullptr;
};

// Names a careless quoting would break: a double quote alone, doubled or
// closing the name early, SQL after it, spaces, letters beyond ASCII, and
// %-markers that a second substitution into the statement would replace.
const QStringList kAwkwardNames{
    QStringLiteral("a\"b"),
    QStringLiteral("\""),
    QStringLiteral("\"\""),
    QStringLiteral("x\" TEXT, \"y"),
    QStringLiteral("t\"; DROP TABLE k; --"),
    QStringLiteral("Ime i prezime"),
    QStringLiteral("Šifra đaka"),
    QStringLiteral("%1"),
    QStringLiteral("c%2"),
};

TEST(EngineQuoting, AnyNameReachesSqliteAsExactlyThatName)
{
    for (const QString& name : kAwkwardNames) {
        MemoryDb db;
        db.exec(QStringLiteral("CREATE TABLE k (v TEXT)"));
        db.exec(QStringLiteral("CREATE TABLE %1 (%2 TEXT)")
                    .arg(quoteIdentifier(name), quoteIdentifier(name + QStringLiteral("_c"))));
        EXPECT_EQ(db.column(QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table' "
                                           "ORDER BY name = 'k' DESC, name")),
                  (QStringList{QStringLiteral("k"), name}))
            << name.toStdString();
        EXPECT_EQ(db.column(QStringLiteral("SELECT name FROM pragma_table_info(?1)"), name),
                  QStringList{name + QStringLiteral("_c")})
            << name.toStdString();
    }
}

TEST(EngineSaveStatements, InsertUpdateDeleteReachTheNamedTableAndColumns)
{
    for (const QString& name : kAwkwardNames) {
        SCOPED_TRACE(name.toStdString());
        MemoryDb db;
        const QString first = name + QStringLiteral("1");
        const QString second = QStringLiteral("%3") + name;
        db.exec(QStringLiteral("CREATE TABLE %1 (%2 TEXT, %3 TEXT)")
                    .arg(quoteIdentifier(name), quoteIdentifier(first), quoteIdentifier(second)));
        db.exec(QStringLiteral("CREATE TABLE other (a TEXT)"));
        const QString read =
            QStringLiteral("SELECT coalesce(%1, '<null>') || '|' || "
                           "coalesce(%2, '<null>') FROM %3 ORDER BY rowid")
                .arg(quoteIdentifier(first), quoteIdentifier(second), quoteIdentifier(name));

        {
            Statement st(db.get(), insertStatement(name, {second, first}));
            st.bindText(1, QStringLiteral("to second"));
            st.bindText(2, QStringLiteral("to first"));
            ASSERT_EQ(sqlite3_step(st.get()), SQLITE_DONE);
        }
        {
            Statement st(db.get(), insertStatement(name, {first, second}));
            st.bindText(1, QStringLiteral("row 2"));
            sqlite3_bind_null(st.get(), 2);
            ASSERT_EQ(sqlite3_step(st.get()), SQLITE_DONE);
        }
        EXPECT_EQ(db.column(read), (QStringList{QStringLiteral("to first|to second"),
                                                QStringLiteral("row 2|<null>")}));

        {
            // Only the named column changes, only in the row given last.
            Statement st(db.get(), updateStatement(name, {second}, QStringLiteral("rowid")));
            st.bindText(1, QStringLiteral("changed"));
            sqlite3_bind_int64(st.get(), 2, 2);
            ASSERT_EQ(sqlite3_step(st.get()), SQLITE_DONE);
            EXPECT_EQ(sqlite3_changes(db.get()), 1);
        }
        EXPECT_EQ(db.column(read), (QStringList{QStringLiteral("to first|to second"),
                                                QStringLiteral("row 2|changed")}));

        {
            Statement st(db.get(), deleteStatement(name, QStringLiteral("_rowid_")));
            sqlite3_bind_int64(st.get(), 1, 1);
            ASSERT_EQ(sqlite3_step(st.get()), SQLITE_DONE);
        }
        EXPECT_EQ(db.column(read), QStringList{QStringLiteral("row 2|changed")});
        EXPECT_EQ(db.column(QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE name = "
                                           "'other'")),
                  QStringList{QStringLiteral("1")});
    }
}

TEST(EngineGuards, StatementsReportTheEngineTextOrStayEmptyWhenAsked)
{
    MemoryDb db;
    db.exec(QStringLiteral("CREATE TABLE t (v TEXT)"));
    EXPECT_EQ(errorOf([&] { Statement st(db.get(), QStringLiteral("SELECT v FROM nope")); }),
              QStringLiteral("no such table: nope"));
    EXPECT_EQ(errorOf([&] { Statement st(db.get(), QStringLiteral("SELECT nope FROM t")); }),
              QStringLiteral("no such column: nope"));

    const Statement bad = Statement::tryPrepare(db.get(), QStringLiteral("SELEC v FROM t"));
    EXPECT_FALSE(bad);
    // The engine's message stays for the caller to read.
    EXPECT_NE(QString::fromUtf8(sqlite3_errmsg(db.get())).indexOf(QStringLiteral("SELEC")), -1);
    EXPECT_FALSE(Statement::tryPrepare(db.get(), QStringLiteral("  -- nothing\n")));
    const Statement good = Statement::tryPrepare(db.get(), QStringLiteral("SELECT 'Šš'"));
    ASSERT_TRUE(good);
    ASSERT_EQ(sqlite3_step(good.get()), SQLITE_ROW);
    EXPECT_EQ(good.columnText(0), QStringLiteral("Šš"));
}

TEST(EngineGuards, AWriteTransactionKeepsOnlyWhatWasCommitted)
{
    MemoryDb db;
    db.exec(QStringLiteral("CREATE TABLE t (v TEXT)"));
    const auto rows = [&] { return db.column(QStringLiteral("SELECT v FROM t ORDER BY v")); };
    {
        WriteTransaction tx(db.get());
        db.exec(QStringLiteral("INSERT INTO t VALUES ('dropped')"));
        // Another write cannot start inside this one.
        EXPECT_EQ(errorOf([&] { WriteTransaction inner(db.get()); }),
                  QStringLiteral("cannot start a transaction within a transaction"));
    }
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_TRUE(sqlite3_get_autocommit(db.get()));
    {
        WriteTransaction tx(db.get());
        db.exec(QStringLiteral("INSERT INTO t VALUES ('kept')"));
        tx.commit();
    }
    EXPECT_EQ(rows(), QStringList{QStringLiteral("kept")});
    {
        // Once committed, the guard leaves later writes alone.
        WriteTransaction tx(db.get());
        tx.commit();
        db.exec(QStringLiteral("INSERT INTO t VALUES ('after')"));
    }
    EXPECT_EQ(rows(), (QStringList{QStringLiteral("after"), QStringLiteral("kept")}));
}

TEST(EngineSnapshot, TextAffinityIsDecidedAsSqliteDecidesIt)
{
    // SQLite turns a number stored into a column into text only under text
    // affinity: the engine's verdict on each declared type must agree.
    const QStringList types{
        QStringLiteral("TEXT"),          QStringLiteral("text"),    QStringLiteral("VARCHAR(50)"),
        QStringLiteral("NVARCHAR(255)"), QStringLiteral("CLOB"),    QStringLiteral("TINYTEXT"),
        QStringLiteral("CHARACTER"),     QStringLiteral("INTEGER"), QStringLiteral("INT"),
        QStringLiteral("POINT"),         QStringLiteral("CHARINT"), QStringLiteral("TEXTINT"),
        QStringLiteral("BLOB"),          QStringLiteral(""),        QStringLiteral("REAL"),
        QStringLiteral("NUMERIC"),       QStringLiteral("DOUBLE"),  QStringLiteral("STRING"),
        QStringLiteral("FLOATING TEXT"), QStringLiteral("memo"),
    };
    for (const QString& type : types) {
        MemoryDb db;
        db.exec(QStringLiteral("CREATE TABLE t (v %1)").arg(type));
        db.exec(QStringLiteral("INSERT INTO t VALUES (123)"));
        const bool sqliteText = db.column(QStringLiteral("SELECT typeof(v) FROM t")) ==
                                QStringList{QStringLiteral("text")};
        EXPECT_EQ(hasTextAffinity(type), sqliteText) << '\'' << type.toStdString() << '\'';
    }
}

// A snapshot of two fields (Vlasnik, Mesto) from literal rows; nullptr is null.
struct TestRow
{
    const char* vlasnik;
    const char* mesto;
};

Snapshot snapshotOf(const std::vector<TestRow>& rows)
{
    Snapshot snap(2);
    for (size_t r = 0; r < rows.size(); ++r) {
        const size_t row = snap.appendRow(int64_t(r) + 1);
        snap.setCell(row, 0, rows[r].vlasnik ? QString::fromUtf8(rows[r].vlasnik) : QString());
        snap.setCell(row, 1, rows[r].mesto ? QString::fromUtf8(rows[r].mesto) : QString());
    }
    return snap;
}

const QStringList kFields{QStringLiteral("Vlasnik"), QStringLiteral("Mesto")};

// Every row the filter passes, the long way.
std::vector<uint32_t> passingRows(const Snapshot& snap, const RowFilter& filter)
{
    std::vector<uint32_t> out;
    for (size_t r = 0; r < snap.rows(); ++r)
        if (filter.matches([&](int f) { return snap.cell(r, f); })) out.push_back(uint32_t(r));
    return out;
}

// Texts shorter and longer than a key, and letters of two bytes where a key
// ends: "Marković" is nine bytes, its ć split by the eighth; ś and š share
// their first byte. Both scripts, Đ written three ways, two-letter letters.
const std::vector<TestRow> kScanRows{
    {"Šabac Trgovina", "Šabac"},      // 0
    {"šabac", "Kostelin"},            // 1
    {"SABAC", "Šid"},                 // 2
    {"Ša", nullptr},                  // 3
    {"", "Ša"},                       // 4
    {nullptr, "šabac"},               // 5
    {"Marković Milan", "Kostelin"},   // 6
    {"MARKOVIĆ MILAN JR", "Brod"},    // 7
    {"Markovic Milan", "Kostelin"},   // 8
    {"Marković Milorad", "Kostelin"}, // 9
    {"Markovi", "Kostelin"},          // 10
    {"abcdefgŠx", "a"},               // 11
    {"ABCDEFGśx", "a"},               // 12
    {"ЂОРЂЕ Јовановић", "Ниш"},       // 13
    {"ђорђе", "НИШ"},                 // 14
    {"abcdefgh", "b"},                // 15
    {"ABCDEFGHI", "b"},               // 16
    {"Đorđević Đura", "Čačak"},       // 17
    {"Djordjević Ana", "Cacak"},      // 18
    {"Љубичић", "Њивице"},            // 19
};

TEST(EngineScan, PrefixScanPassesExactlyTheRowsTheFilterMeans)
{
    const Snapshot snap = snapshotOf(kScanRows);
    const struct
    {
        const char* filter;
        std::vector<uint32_t> rows;
    } cases[] = {
        {"Vlasnik LIKE 'šab*'", {0, 1}},
        {"Vlasnik LIKE 'ŠA*'", {0, 1, 3}},
        {"Vlasnik LIKE 'sab*'", {0, 1, 2}},
        {"Vlasnik LIKE 'šabac trgovina*'", {0}},
        {"Vlasnik LIKE 'markovi*'", {6, 7, 8, 9, 10}},
        {"Vlasnik LIKE 'marković*'", {6, 7, 9}},
        {"Vlasnik LIKE 'MARKOVIĆ MILAN*'", {6, 7}},
        {"Vlasnik LIKE 'markovic*'", {6, 7, 8, 9}},
        {"Vlasnik LIKE 'abcdefgš*'", {11}},
        {"Vlasnik LIKE 'abcdefgś*'", {12}},
        {"Vlasnik LIKE 'abcdefgh*'", {15, 16}},
        {"Vlasnik LIKE 'abcdefghi*'", {16}},
        {"Vlasnik LIKE 'ђорђе*'", {13, 14, 17}},
        {"Vlasnik LIKE 'ђорђе ј*'", {13}},
        {"Vlasnik LIKE 'ša*' AND Mesto LIKE 'šab*'", {0}},
        {"Mesto LIKE 'ša*' AND Vlasnik LIKE 'Š*'", {0}},
        {"Mesto LIKE 'ниш*' AND Vlasnik LIKE 'ђ*'", {13, 14}},
        {"Mesto LIKE 'kostelin*' AND Vlasnik LIKE 'marković m*'", {6, 9}},
        // Typed DJ for Đ, D for Đ, Cyrillic for Latin and back, and a prefix
        // ending inside a two-letter letter.
        {"Vlasnik LIKE 'dj*'", {13, 14, 17, 18}},
        {"Vlasnik LIKE 'djordjevic*'", {17, 18}},
        {"Vlasnik LIKE 'đorđ*'", {13, 14, 17}},
        {"Vlasnik LIKE 'dorde*'", {13, 14, 17}},
        {"Mesto LIKE 'cac*'", {17, 18}},
        {"Mesto LIKE 'ЧАЧ*'", {17}},
        {"Mesto LIKE 'nis*'", {13, 14}},
        {"Vlasnik LIKE 'l*'", {19}},
        {"Vlasnik LIKE 'lu*'", {}},
        {"Vlasnik LIKE 'ljubicic*'", {19}},
        {"Vlasnik LIKE 'ЉУБИЧИЋ*'", {19}},
        {"Mesto LIKE 'n*'", {13, 14, 19}},
        {"Mesto LIKE 'nj*' AND Vlasnik LIKE 'ljubičić*'", {19}},
        // Not prefix tests only: scanned by full evaluation.
        {"Vlasnik LIKE '*milan' OR Mesto = 'Brod'", {6, 7, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        const RowFilter filter = RowFilter::compile(QString::fromUtf8(c.filter), kFields);
        PrefixKeys keys;
        EXPECT_EQ(scanRows(snap, filter, keys), c.rows);
        EXPECT_EQ(scanRows(snap, filter, keys), passingRows(snap, filter));
    }
}

TEST(EngineScan, AMaskCoversTheFirstEightBytesOfAPrefix)
{
    // The key of a cell is its folded UTF-8 in memory order; a prefix of n
    // bytes tests the first min(n, 8) of them and nothing after.
    const auto key = [](const char* text) {
        uint64_t k = 0;
        std::memcpy(&k, text, std::min<size_t>(std::strlen(text), 8));
        return k;
    };
    const struct
    {
        const char* prefix;
        const char* passes;
        const char* fails;
    } cases[] = {
        {"a", "azzzzzzz", "bzzzzzzz"},
        {"ab", "ab", "ba"},
        {"abcdefg", "abcdefgz", "abcdefz"},
        {"abcdefgh", "abcdefgh", "abcdefgz"},
        {"abcdefghij", "abcdefghzz", "abcdefgzij"},
        {"\xC5\xA1", "\xC5\xA1x", "\xC5\x9Bx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prefix);
        const PrefixMask m = prefixMask(c.prefix);
        EXPECT_EQ(key(c.passes) & m.mask, m.want);
        EXPECT_NE(key(c.fails) & m.mask, m.want);
    }
    // An empty prefix passes every key.
    const PrefixMask none = prefixMask("");
    EXPECT_EQ(key("anything") & none.mask, none.want);
}

TEST(EngineScan, KeysFollowEveryChangeOfTheSnapshot)
{
    Snapshot snap = snapshotOf({{"Ana", "Brod"}, {"Šima", "Šid"}, {"Petar", "Brod"}});
    const RowFilter ši = RowFilter::compile(QStringLiteral("Vlasnik LIKE 'ši*'"), kFields);
    const RowFilter pe = RowFilter::compile(QStringLiteral("Vlasnik LIKE 'pe*'"), kFields);
    PrefixKeys keys;
    ASSERT_EQ(scanRows(snap, ši, keys), (std::vector<uint32_t>{1}));

    // A row written: its keys change with it.
    snap.setCell(0, 0, QStringLiteral("ŠIMIĆ Ana"));
    keys.rowChanged(snap, 0);
    EXPECT_EQ(scanRows(snap, ši, keys), (std::vector<uint32_t>{0, 1}));

    // A row appended.
    const size_t added = snap.appendRow(10);
    snap.setCell(added, 0, QStringLiteral("Šipka"));
    snap.setCell(added, 1, QString());
    keys.rowChanged(snap, added);
    EXPECT_EQ(scanRows(snap, ši, keys), (std::vector<uint32_t>{0, 1, 3}));

    // A row removed: the rows after it move up, and so do their keys.
    snap.eraseRow(1);
    keys.rowErased(1);
    EXPECT_EQ(scanRows(snap, ši, keys), (std::vector<uint32_t>{0, 2}));
    EXPECT_EQ(scanRows(snap, pe, keys), (std::vector<uint32_t>{1}));

    // A row changed to null passes no prefix.
    snap.setCell(0, 0, QString());
    keys.rowChanged(snap, 0);
    EXPECT_EQ(scanRows(snap, ši, keys), (std::vector<uint32_t>{2}));
    EXPECT_EQ(scanRows(snap, ši, keys), passingRows(snap, ši));
}

TEST(EngineScan, ExactValueIsTheWholeCellLetterCaseIncluded)
{
    Snapshot snap(1);
    const auto add = [&](const QString& v) { snap.setCell(snap.appendRow(0), 0, v); };
    add(QString());                // 0 null
    add(QStringLiteral(""));       // 1 empty text
    add(QStringLiteral("Šabac"));  // 2
    add(QStringLiteral("šabac"));  // 3
    add(QStringLiteral("Šabac ")); // 4
    add(QStringLiteral("\uFFFD")); // 5 the replacement character itself
    // 6: bytes that are not UTF-8, shown as U+FFFD.
    const size_t raw = snap.appendRow(0);
    snap.cells[raw] = snap.arenas[0].append("\xFF", 1, false);

    const auto found = [&](const QVariant& v) {
        const ExactValue want(v);
        std::vector<size_t> out;
        for (size_t r = 0; r < snap.rows(); ++r)
            if (want.matches(snap.cell(r, 0))) out.push_back(r);
        return out;
    };
    EXPECT_EQ(found(QVariant()), (std::vector<size_t>{0}));
    EXPECT_EQ(found(QVariant(QStringLiteral(""))), (std::vector<size_t>{1}));
    EXPECT_EQ(found(QVariant(QStringLiteral("Šabac"))), (std::vector<size_t>{2}));
    EXPECT_EQ(found(QVariant(QStringLiteral("šabac"))), (std::vector<size_t>{3}));
    EXPECT_EQ(found(QVariant(QStringLiteral("Šaba"))), (std::vector<size_t>{}));
    EXPECT_EQ(found(QVariant(QStringLiteral("\uFFFD"))), (std::vector<size_t>{5, 6}));
    EXPECT_EQ(found(QVariant(QStringLiteral("?"))), (std::vector<size_t>{}));
}

TEST(EngineWrite, ARowIsTheSameOnlyWhileEveryValueIsAsRead)
{
    MemoryDb db;
    db.exec(QStringLiteral("CREATE TABLE \"Imenik \"\"x\"\"\" (Vlasnik TEXT, Mesto TEXT)"));
    db.exec(QStringLiteral("INSERT INTO \"Imenik \"\"x\"\"\" VALUES ('Ana', NULL), ('Šima', ''), "
                           "('Petar', 'Brod')"));
    const QString table = QStringLiteral("Imenik \"x\"");
    const Snapshot snap = loadSnapshot(db.get(), table, kFields);
    ASSERT_EQ(snap.rows(), 3u);
    for (size_t r = 0; r < 3; ++r)
        EXPECT_EQ(checkRowAsRead(db.get(), table, kFields, snap, r), RowCheck::Same) << r;

    const QString quoted = quoteIdentifier(table);
    // Null and empty text are different values.
    db.exec(QStringLiteral("UPDATE %1 SET Mesto = '' WHERE Vlasnik = 'Ana'").arg(quoted));
    db.exec(QStringLiteral("UPDATE %1 SET Mesto = NULL WHERE Vlasnik = 'Šima'").arg(quoted));
    EXPECT_EQ(checkRowAsRead(db.get(), table, kFields, snap, 0), RowCheck::Changed);
    EXPECT_EQ(checkRowAsRead(db.get(), table, kFields, snap, 1), RowCheck::Changed);
    // Letter case counts; a deleted row is gone.
    db.exec(QStringLiteral("UPDATE %1 SET Mesto = 'brod' WHERE Vlasnik = 'Petar'").arg(quoted));
    EXPECT_EQ(checkRowAsRead(db.get(), table, kFields, snap, 2), RowCheck::Changed);
    db.exec(QStringLiteral("DELETE FROM %1 WHERE Vlasnik = 'Petar'").arg(quoted));
    EXPECT_EQ(checkRowAsRead(db.get(), table, kFields, snap, 2), RowCheck::Gone);
    // A new row under the deleted row's id stands for it only while it holds
    // every value as read.
    db.exec(QStringLiteral("INSERT INTO %1 (rowid, Vlasnik, Mesto) VALUES (3, 'Petar', 'Brod')")
                .arg(quoted));
    EXPECT_EQ(checkRowAsRead(db.get(), table, kFields, snap, 2), RowCheck::Same);
    db.exec(QStringLiteral("UPDATE %1 SET Vlasnik = 'Petar ' WHERE rowid = 3").arg(quoted));
    EXPECT_EQ(checkRowAsRead(db.get(), table, kFields, snap, 2), RowCheck::Changed);
}

} // namespace
