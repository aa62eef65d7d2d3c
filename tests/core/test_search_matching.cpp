// LIKE as the operator's searches use it: a subscriber is found however the
// text is typed (case, Cyrillic or Latin, without marks, a number as digits
// only), each case by full evaluation and by the quick prefix scan alike;
// everything else (=, <>, Locate, the duplicate-number rule) stays exact.
#include "data/RecordRules.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/LikeText.h"
#include "platform/db/Query.h"
#include "platform/db/RowFilter.h"
#include "platform/db/Table.h"
#include "platform/db/TableScan.h"
#include "platform/db/TableSnapshot.h"
#include "support/DirectoryStore.h"

#include <QString>
#include <QStringList>
#include <array>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

using namespace vidra;
using testsupport::DirectoryStore;
using testsupport::Row;
using testsupport::StoreKind;

namespace {

std::vector<uint32_t> passingRows(const Snapshot& snap, const RowFilter& filter)
{
    std::vector<uint32_t> out;
    for (size_t r = 0; r < snap.rows(); ++r)
        if (filter.matches([&](int f) { return snap.cell(r, f); })) out.push_back(uint32_t(r));
    return out;
}

// The stored values among `values` that the condition on one field (searched
// as `as`) passes, by full evaluation; the quick scan must pass the same.
QStringList passing(const QString& condition, const QStringList& values, LikeAs as)
{
    Snapshot snap(1);
    for (const QString& v : values)
        snap.setCell(snap.appendRow(int64_t(snap.rows()) + 1), 0, v);
    const RowFilter filter =
        RowFilter::compile(condition, QStringList{QStringLiteral("F")}, std::vector<LikeAs>{as});
    const std::vector<uint32_t> full = passingRows(snap, filter);
    PrefixKeys keys;
    EXPECT_EQ(scanRows(snap, filter, keys), full) << condition.toStdString();
    QStringList out;
    for (uint32_t r : full)
        out << values[qsizetype(r)];
    return out;
}

struct Search
{
    const char* typed;
    QStringList found;
    QStringList missed;
};

// Each typed prefix finds exactly its `found` among found and missed together.
void expectPrefixes(const std::vector<Search>& searches, LikeAs as = LikeAs::Text)
{
    for (const Search& s : searches) {
        const QString typed = QString::fromUtf8(s.typed);
        SCOPED_TRACE(s.typed);
        EXPECT_EQ(passing(QStringLiteral("F LIKE '%1*'").arg(typed), s.found + s.missed, as),
                  s.found);
    }
}

} // namespace

TEST(SearchMatching, CaseFoldsOverAllOfUnicode)
{
    expectPrefixes({
        {"pet", {"PETROVIĆ", "Petar", "petar"}, {"Pekar", "PE"}},
        {"PETROVIĆ", {"petrović", "Petrović Ana"}, {"petrovic"}},
        {"ΣΑΣ", {"σας", "ΣΑΣ"}, {"ΣΑ"}},
        {"žIVKOVIĆ", {"ŽIVKOVIĆ", "živković"}, {"zivkovic"}},
    });
}

TEST(SearchMatching, CyrillicAndLatinFindEachOther)
{
    expectPrefixes({
        {"ПЕТ", {"PETROVIĆ", "Petar", "ПЕТРОВИЋ", "петровић"}, {"Pekar", "ПЕКАР"}},
        {"PET", {"ПЕТРОВИЋ", "PETROVIĆ"}, {"ПЕ"}},
        // A letter with its mark in one script is that letter in the other.
        {"ПЕТРОВИЋ", {"PETROVIĆ", "ПЕТРОВИЋ", "petrovića"}, {"PETROVIC", "PETROVIČ"}},
        {"ЂОРЂЕ", {"ĐORĐE", "ђорђе"}, {"DJORDJE", "DORDE"}},
        {"ČAČAK", {"ЧАЧАК", "Čačak"}, {"CACAK", "ĆAĆAK", "ЋАЋАК"}},
        // The two-letter letters, whichever way they are written.
        {"ЉУБА", {"LJUBA", "Ljuba", "ǈuba", "љуба"}, {"LUBA"}},
        {"LJUBA", {"ЉУБА", "ǉuba"}, {"LUBA"}},
        {"ЊИВА", {"NJIVA", "Њива"}, {"NIVA"}},
        {"ЏЕП", {"DŽEP", "Џеп", "ǆep"}, {"DZEP", "ДЗЕП"}},
        {"ŠUMA", {"ШУМА", "Šuma"}, {"SUMA", "СУМА"}},
        // Cyrillic beyond the Serbian alphabet keeps its own letters.
        {"ЙОД", {"йод"}, {"ИОД", "JOD"}},
    });
}

TEST(SearchMatching, ALetterTypedWithoutItsMarkFindsItWithOrWithout)
{
    expectPrefixes({
        {"PETROVIC", {"PETROVIĆ", "PETROVIC", "PETROVIČ", "ПЕТРОВИЋ", "петровић"}, {"PETROVIĐ"}},
        {"PETROVIĆ", {"PETROVIĆ", "ПЕТРОВИЋ"}, {"PETROVIC", "PETROVIČ"}},
        {"C", {"C", "Č", "Ć", "Ц", "Ч", "Ћ"}, {"S"}},
        {"S", {"S", "Š", "Ś", "Ш"}, {"Z"}},
        {"Š", {"Š", "Ш"}, {"S", "Ś"}},
        {"Z", {"Z", "Ž", "Ж"}, {"S"}},
        {"Ž", {"Ž", "Ж"}, {"Z", "З"}},
        {"D", {"D", "Đ", "Ђ", "Д", "Џ", "DJ"}, {"E"}},
        {"Đ", {"Đ", "Ђ"}, {"D", "DJ", "Д"}},
        // Other marks come off by canonical decomposition.
        {"CAFE", {"Café", "CAFÉ", "CAFÈ"}, {"CAF"}},
        {"CAFÉ", {"café"}, {"CAFE", "CAFÈ"}},
        {"MULLER", {"Müller", "MÜLLER", "MULLER"}, {"MILLER"}},
        // A mark stored apart from its letter is passed over, and a mark
        // typed apart from its letter is one letter with it.
        {"ECOLE", {"e\u0301cole", "école"}, {"eacole"}},
        {"E\u0301COLE", {"école"}, {"ecole"}},
    });
}

TEST(SearchMatching, TypedDjFindsDStrokeAndDj)
{
    expectPrefixes({
        {"DJ", {"DJ", "Đ", "ĐORĐE", "Djordje", "ђорђе", "ĐJ"}, {"DA", "D", "DŽ", "Џ", "DI"}},
        {"DO", {"ĐO", "DO", "Đorđe"}, {"DJO"}},
        {"DJO", {"ĐO", "DJO", "Đjo"}, {"DO", "ĐA"}},
        // Only the second reading of DJ (D for Đ, then J) reaches this one.
        {"DJA", {"ĐJA", "ĐA", "DJA"}, {"DA", "ĐJO"}},
        // Several Đ: DJ for one and D for another, in any order.
        {"DJORDJE", {"ĐORĐE", "DJORĐE", "ĐORDJE", "DJORDJE"}, {"DORDE", "DJORDE"}},
        {"DORDJE", {"ĐORĐE", "ĐORDJE"}, {"DJORĐE"}},
        {"DJORDE", {"ĐORĐE", "DJORĐE"}, {"ĐORDJE"}},
        {"DORDE", {"ĐORĐE", "ĐORDE"}, {"DJORDJE", "DORDJE"}},
        // Three and more DJ: more ways than the keys hold apart.
        {"DJDJDJDJ", {"ĐĐĐĐ", "DJĐDJĐ", "ĐDJĐDJ", "ĐĐDJDJ"}, {"ĐĐĐD", "DJDJDJ"}},
    });
}

TEST(SearchMatching, APrefixMayEndInsideATwoLetterLetter)
{
    expectPrefixes({
        {"L", {"Љубић", "ǈuba", "Ljuba"}, {"Ђ"}},
        {"LJ", {"Љубић"}, {"Лубић"}},
        {"LJU", {"Љубић"}, {"Љ"}},
        {"LU", {"Лубић"}, {"Љубић"}},
        {"N", {"Њива", "Нива"}, {"М"}},
        {"NJ", {"Њива"}, {"Нива"}},
        {"D", {"Џеп"}, {"Ж"}},
        {"DŽ", {"Џеп", "DŽEP"}, {"DZEP", "Д"}},
        {"DZ", {"Џеп", "DŽEP", "DZEP"}, {"Д"}},
        {"DZE", {"Џеп"}, {"Џ"}},
    });
    // Without a wildcard the whole value must be met, not half a letter of it.
    EXPECT_EQ(passing("F LIKE 'L'", {"Љ", "L", "LJ"}, LikeAs::Text), QStringList{"L"});
    EXPECT_EQ(passing("F LIKE 'LJ'", {"Љ", "L", "LJ"}, LikeAs::Text), (QStringList{"Љ", "LJ"}));
}

TEST(SearchMatching, DigitsOnlyFindANumberHoweverItsSeparatorsAreWritten)
{
    const QStringList written{"030/257-070", "030 257 070", "030.257.070", "(030) 257-070",
                              "030-257",     "030257070",   "(030)257",    " 030 / 257 "};
    expectPrefixes({{"030257", written, {"031/257-070", "030/258", "03/0"}},
                    {"030257070",
                     {"030/257-070", "030 257 070", "030.257.070", "(030) 257-070", "030257070"},
                     {"030-257", "030/257-07"}},
                    {"0", written + QStringList{"0"}, {"1/0", "(1)"}}},
                   LikeAs::Number);
    // Typed with a separator, a number compares as typed.
    expectPrefixes({{"030/257", {"030/257-070", "030/2571"}, {"030257070", "030-257", "030 / 257"}},
                    {"(030)", {"(030) 257-070", "(030)257"}, {"030/257", "(030 )"}},
                    {"030 2", {"030 257 070"}, {"030257"}}},
                   LikeAs::Number);
    // Separators at the end of a whole number without wildcards are passed over too.
    EXPECT_EQ(passing("F LIKE '030257070'", {"030/257-070 ", "030/257-0701"}, LikeAs::Number),
              QStringList{"030/257-070 "});
    // A text field keeps its separators: digits are text there.
    EXPECT_EQ(passing("F LIKE '030257*'", written, LikeAs::Text), (QStringList{"030257070"}));
    // The separators are exactly these: a comma or a letter is no separator.
    EXPECT_EQ(passing("F LIKE '0302*'", {"030,2", "030x2", "030\t2"}, LikeAs::Number),
              QStringList());
}

TEST(SearchMatching, WildcardsBeforeTheTextCompareTheSameWay)
{
    const QStringList owners{"Ana Petrović", "ANA ПЕТРОВИЋ", "Petrovića Ana", "PETKOVIĆ", "ĐURA"};
    EXPECT_EQ(passing("F LIKE '*PETROVIC*'", owners, LikeAs::Text),
              (QStringList{"Ana Petrović", "ANA ПЕТРОВИЋ", "Petrovića Ana"}));
    EXPECT_EQ(passing("F LIKE '*VIC'", owners, LikeAs::Text),
              (QStringList{"Ana Petrović", "ANA ПЕТРОВИЋ", "PETKOVIĆ"}));
    EXPECT_EQ(passing("F LIKE '*VIĆ'", owners, LikeAs::Text),
              (QStringList{"Ana Petrović", "ANA ПЕТРОВИЋ", "PETKOVIĆ"}));
    EXPECT_EQ(passing("F LIKE '*DJ*'", owners, LikeAs::Text), QStringList{"ĐURA"});
    EXPECT_EQ(passing("F LIKE '*'", owners, LikeAs::Text), owners);
    EXPECT_EQ(passing("F LIKE 'PETROVIC'", owners, LikeAs::Text), QStringList());
    EXPECT_EQ(passing("F LIKE 'ana petrovic'", owners, LikeAs::Text),
              (QStringList{"Ana Petrović", "ANA ПЕТРОВИЋ"}));
    EXPECT_EQ(passing("F LIKE '*257070'", {"030/257-070", "030/257-0700"}, LikeAs::Number),
              QStringList{"030/257-070"});
    EXPECT_EQ(passing("F LIKE '*7-0*'", {"030/257-070", "030/2570"}, LikeAs::Number),
              QStringList{"030/257-070"});
}

TEST(SearchMatching, OtherOperatorsStayExactButForCase)
{
    const QStringList owners{"Petrović", "PETROVIC", "ПЕТРОВИЋ", "030/257-070"};
    EXPECT_EQ(passing("F = 'PETROVIC'", owners, LikeAs::Number), QStringList{"PETROVIC"});
    EXPECT_EQ(passing("F = 'petrović'", owners, LikeAs::Number), QStringList{"Petrović"});
    EXPECT_EQ(passing("F = '030257070'", owners, LikeAs::Number), QStringList());
    EXPECT_EQ(passing("F <> 'PETROVIC'", owners, LikeAs::Number),
              (QStringList{"Petrović", "ПЕТРОВИЋ", "030/257-070"}));
    EXPECT_EQ(passing("F < 'PETROVIĆ'", owners, LikeAs::Number),
              (QStringList{"PETROVIC", "030/257-070"}));
}

TEST(SearchMatching, FiltersOfSeveralTermsAgreeWithTheScan)
{
    // Telefon as a number, the others as text, as the directory declares them.
    Snapshot snap(4);
    const std::vector<std::vector<const char*>> rows{
        {"030/257-070", "Petrović Ana", "Đure Jakšića 1", "Čačak"},
        {"030/257-071", "ПЕТРОВИЋ МИЛАН", "ЊЕГОШЕВА 2", "ЧАЧАК"},
        {"011/257-070", "Petrovic Jovan", "Djure Jaksica 3", "Cacak"},
        {"030 257 072", "Đorđević Ljuba", "Njegoševa 4", "Ćuprija"},
        {nullptr, "Djordjević", nullptr, "Ljig"},
    };
    for (const auto& r : rows) {
        const size_t row = snap.appendRow(int64_t(snap.rows()) + 1);
        for (int f = 0; f < 4; ++f)
            snap.setCell(row, f, r[size_t(f)] ? QString::fromUtf8(r[size_t(f)]) : QString());
    }
    const QStringList names{"Telefon", "Vlasnik", "Adresa", "Mesto"};
    const std::vector<LikeAs> as{LikeAs::Number, LikeAs::Text, LikeAs::Text, LikeAs::Text};
    const struct
    {
        const char* filter;
        std::vector<uint32_t> rows;
    } cases[] = {
        {"(Telefon LIKE '030257*') AND (Vlasnik LIKE 'ПЕТ*')", {0, 1}},
        {"(Telefon LIKE '030/257*') AND (Mesto LIKE 'CACAK*')", {0, 1}},
        {"(Telefon LIKE '0302570*') AND (Vlasnik LIKE 'PETROVIĆ*')", {0, 1}},
        {"(Vlasnik LIKE 'DJ*') AND (Adresa LIKE 'NJ*')", {3}},
        {"(Adresa LIKE 'DJURE*') AND (Mesto LIKE 'C*')", {0, 2}},
        {"(Adresa LIKE 'ĐURE*') AND (Mesto LIKE 'Č*')", {0}},
        {"(Vlasnik LIKE 'DJORDJEVIC*') AND (Mesto LIKE 'L*')", {4}},
        {"(Vlasnik LIKE 'DJORDJEVIC*') AND (Mesto LIKE 'C*')", {3}},
        {"(Telefon LIKE '0*') AND (Mesto LIKE 'ЋУ*')", {3}},
        {"Vlasnik LIKE '*ANA' OR Telefon LIKE '011257*'", {0, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        const RowFilter filter = RowFilter::compile(QString::fromUtf8(c.filter), names, as);
        EXPECT_EQ(passingRows(snap, filter), c.rows);
        PrefixKeys keys;
        EXPECT_EQ(scanRows(snap, filter, keys), c.rows);
    }
}

TEST(SearchMatching, KeysAloneDecideATypedDOrDjAsTheyDoPlainLetters)
{
    // The quick scan checks no row in full for these: Đ has a key of its own.
    const auto plan = [](const char* typed) {
        const like::Pattern p(QString::fromUtf8(typed), false, true, LikeAs::Text);
        QStringList prefixes;
        for (const std::string& k : p.keyPrefixes())
            prefixes << QString::fromStdString(k);
        return std::make_pair(prefixes, p.keyDecides());
    };
    EXPECT_EQ(plan("dj"), std::make_pair(QStringList{"dj", "đ"}, true));
    EXPECT_EQ(plan("d"), std::make_pair(QStringList{"d", "đ"}, true));
    EXPECT_EQ(plan("Đ"), std::make_pair(QStringList{"đ"}, true));
    EXPECT_EQ(plan("dora"), std::make_pair(QStringList{"dora", "đora"}, true));
    EXPECT_EQ(plan("djo"), std::make_pair(QStringList{"djo", "đjo", "đo"}, true));
    EXPECT_EQ(plan("pet"), std::make_pair(QStringList{"pet"}, true));
    // A letter with another mark, or more than a key holds, is checked in full.
    EXPECT_EQ(plan("ć"), std::make_pair(QStringList{"c"}, false));
    EXPECT_FALSE(plan("petrovica").second);
    EXPECT_FALSE(plan("djordjevic").second);
    // Past 16 ways the keys stop early, passing more rows for the full check.
    EXPECT_EQ(plan("ddddd").first,
              (QStringList{"dddd", "dddđ", "ddđd", "ddđđ", "dđdd", "dđdđ", "dđđd", "dđđđ", "đddd",
                           "đddđ", "đdđd", "đdđđ", "đđdd", "đđdđ", "đđđd", "đđđđ"}));
    EXPECT_FALSE(plan("ddddd").second);
}

TEST(SearchMatching, NoBaseLetterIsASeparatorUnlessTheLetterIsOne)
{
    // A number's key leaves out what its matcher passes over: the two must
    // call the same characters separators, marks or not.
    for (char32_t c = 0; c < 0x30000; ++c) {
        const like::Reading r = like::read(c);
        for (int k = 0; k < r.count; ++k)
            ASSERT_EQ(like::isSeparator(r.base[k]), like::isSeparator(r.unit[k]))
                << "U+" << std::hex << uint32_t(c);
    }
}

// ------------------------------------------------------------- through a table

namespace {

class SearchTable : public ::testing::TestWithParam<StoreKind>
{
protected:
    DirectoryStore store{GetParam()}; // outlives the connection
    Connection conn;
    Table table{QStringLiteral("Imenik")};

    void SetUp() override { ASSERT_TRUE(store.ok()); }
    void open(const FieldDef* begin, const FieldDef* end)
    {
        // In the order of their numbers, which is a server's order too.
        store.create({{"011/555-123", "ПЕТРОВИЋ МИЛАН", "Трг 2", "Ниш", QString()},
                      {"030/257-070", "Petrović Ana", "Trg 1", "Čačak", QString()},
                      {"030257071", "Petrovic Jovan", "Trg 3", "Cacak", QString()}});
        conn.setConnectionText(store.connectionText());
        conn.open();
        table.SetConnection(&conn);
        table.SetTableName(QString::fromLatin1(kSubscriberTable));
        table.DeclareFields(begin, end);
        table.Open();
    }
    QStringList column(const char* field)
    {
        QStringList out;
        const int f = table.FieldByName(field).Index();
        for (int i = 0; i < table.RecordCount(); ++i)
            out << table.DisplayText(i, f);
        return out;
    }
};

INSTANTIATE_TEST_SUITE_P(Store, SearchTable, testsupport::bothStores(), testsupport::storeName);

} // namespace

TEST_P(SearchTable, TheDirectorysNumberIsSearchedAsANumberAndLocateStaysExact)
{
    open(kSubscriberFields.begin(), kSubscriberFields.end());
    table.SetFilter("(Telefon LIKE '030257*') AND (Vlasnik LIKE 'PETROVIC*')");
    table.SetFiltered(true);
    EXPECT_EQ(column("Telefon"), (QStringList{"030/257-070", "030257071"}));
    table.SetFilter("(Vlasnik LIKE 'ПЕТРОВИЋ*')");
    EXPECT_EQ(column("Vlasnik"), (QStringList{"ПЕТРОВИЋ МИЛАН", "Petrović Ana"}));
    table.SetFilter("(Mesto LIKE 'CACAK*')");
    EXPECT_EQ(column("Mesto"), (QStringList{"Čačak", "Cacak"}));

    // Locate wants the number exactly as stored, among the rows shown.
    table.SetFilter("(Telefon LIKE '030*')");
    EXPECT_FALSE(table.Locate("Telefon", "030257070"));
    EXPECT_FALSE(table.Locate("Vlasnik", "PETROVIC ANA"));
    ASSERT_TRUE(table.Locate("Telefon", "030257071"));
    EXPECT_EQ(table.CurrentPosition(), 1);
    ASSERT_TRUE(table.Locate("Telefon", "030/257-070"));
    EXPECT_EQ(table.CurrentPosition(), 0);
}

TEST_P(SearchTable, TheDuplicateNumberRuleCountsTheNumberExactly)
{
    open(kSubscriberFields.begin(), kSubscriberFields.end());
    Query checkBroj{QStringLiteral("CheckBroj")};
    rules::declareNumberCount(checkBroj, &conn);
    table.BeforePost = [&](Table& t) { rules::checkUniqueNumber(t, checkBroj); };
    EXPECT_EQ(rules::countNumber(checkBroj, "030/257-070"), 1);
    EXPECT_EQ(rules::countNumber(checkBroj, "030257070"), 0);
    EXPECT_EQ(rules::countNumber(checkBroj, "030257071"), 1);

    // Written another way, a number is another number: it saves.
    table.Insert();
    table.FieldByName("Telefon").SetValue("030 257 070");
    table.FieldByName("Vlasnik").SetValue("Nova");
    table.Post();
    EXPECT_EQ(table.RecordCount(), 4);
    // Written the same way, it is refused.
    table.Insert();
    table.FieldByName("Telefon").SetValue("030257071");
    table.FieldByName("Vlasnik").SetValue("Druga");
    QString refusal;
    try {
        table.Post();
    } catch (const Error& e) {
        refusal = e.message();
    }
    EXPECT_EQ(refusal, "Broj telefona: 030257071 vec postoji!");
    table.Cancel();
    EXPECT_EQ(table.RecordCount(), 4);
}

TEST_P(SearchTable, OnlyAFieldDeclaredANumberPassesOverSeparators)
{
    // The engine knows no field by name: declared as text, the number keeps
    // its separators.
    std::array<FieldDef, kSubscriberFields.size()> fields = kSubscriberFields;
    fields[0].like = LikeAs::Text;
    open(fields.data(), fields.data() + fields.size());
    table.SetFilter("(Telefon LIKE '030257*')");
    table.SetFiltered(true);
    EXPECT_EQ(column("Telefon"), QStringList{"030257071"});
    table.SetFilter("(Telefon LIKE '030/257*')");
    EXPECT_EQ(column("Telefon"), QStringList{"030/257-070"});
}
