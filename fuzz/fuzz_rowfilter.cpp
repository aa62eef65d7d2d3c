// The row-filter compiler on arbitrary text, then evaluation on a few rows.
// Besides crashes, the fast prefix scan the table uses for search-panel
// filters is checked against full evaluation: its keys must pass every row
// the filter passes, and exactly those where they decide alone. The LIKE
// matcher itself is checked against a plain recursive reading of its rules,
// on the input's first quoted text as a pattern in every wildcard placement.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/Utf8.h"
#include "platform/db/LikeText.h"
#include "platform/db/RowFilter.h"
#include "platform/db/TableScan.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Cell = vidra::RowFilter::Cell;
using Row = std::array<Cell, vidra::kSubscriberFields.size()>;

const std::vector<vidra::LikeAs>& likeAs()
{
    static const std::vector<vidra::LikeAs> as = [] {
        std::vector<vidra::LikeAs> a;
        for (const auto& f : vidra::kSubscriberFields)
            a.push_back(f.like);
        return a;
    }();
    return as;
}

const QStringList& fieldNames()
{
    static const QStringList names = [] {
        QStringList n;
        for (const auto& f : vidra::kSubscriberFields)
            n << QString::fromLatin1(f.name);
        return n;
    }();
    return names;
}

constexpr Cell text(std::string_view s)
{
    return {s.data(), s.size()};
}
constexpr Cell kNull{nullptr, 0};

// Plain rows, case and diacritics, characters whose folding is special,
// wildcard and bracket characters as data, malformed UTF-8 and a NUL.
const std::vector<Row>& fixedRows()
{
    static const std::vector<Row> rows{
        {text("011/111-111"), text("Marković Milan"), text("Kneza Miloša 12"), text("Kostelin"),
         kNull},
        {text(""), text("ĐORĐE ŠĆEPANOVIĆ"), text("ulica [*] 5%"), kNull,
         text("Napomena sa 'apostrofom'")},
        {text("\xFF\xFE\xC0\x80"), text("\xED\xA0\x80 x"), text("\xF4\x90\x80\x80"),
         text("ǅ ß ẞ ﬃ ΣΑΣ"), text("İstanbul ı K")},
        {text("a"), text("A"), text("*"), text("%"), text("[")},
        {text(std::string_view("a\0b", 3)), text("\xE2\x82"), text("𝔸𝔹 ǈ"), text("mesto "),
         text(" ")},
        // Both scripts, letters with and without marks, digraphs, numbers
        // written with every separator.
        {text("030/257-070"), text("ЂОРЂЕ Љубић"), text("Đorđa Stanojevića 1"), text("Čačak"),
         text("DJORDJE đj")},
        {text("(011) 22.33 44"), text("Petrović Ana"), text("Њеgoševa"), text("ǅurđevac"),
         text("PETROVIC")},
        {text("030257070"), text("džep Џ"),
         text("e\xCC\x81"
              "cole"),
         text("ђђ"), text("Ljig")},
    };
    return rows;
}

// The same test as the table's prefix scan: the cell's key against each of
// the term's key prefixes, as masked words.
bool keyPasses(const vidra::RowFilter::PrefixTerm& t, Cell c)
{
    const uint64_t key = c.data ? vidra::like::storedKey(c.data, c.size, t.as) : 0;
    for (const std::string& k : t.keys) {
        const vidra::PrefixMask m = vidra::prefixMask(k);
        if ((key & m.mask) == m.want) return true;
    }
    return false;
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_rowfilter: %s\n", what);
    std::abort();
}

void check(const vidra::RowFilter& filter, const Row& row)
{
    const auto get = [&](int field) {
        if (field < 0 || size_t(field) >= row.size()) fail("field index out of range");
        return row[size_t(field)];
    };
    const bool full = filter.matches(get);
    const auto terms = filter.prefixTerms();
    if (!terms) return;
    bool keys = true, decide = true;
    for (const auto& t : *terms) {
        if (t.field < 0 || size_t(t.field) >= row.size()) fail("prefix term field out of range");
        if (t.keys.empty() || t.keys.size() > 16) fail("a prefix term has no or too many keys");
        keys = keys && keyPasses(t, row[size_t(t.field)]);
        decide = decide && t.keyDecides;
    }
    // The scan checks in full the rows whose keys fit, unless the keys decide.
    if (full && !keys) fail("prefix scan would miss a matching row");
    if (decide && keys != full) fail("prefix keys decide otherwise than the filter");
}

// LIKE's rules read plainly: both texts as units, then every way of meeting
// the typed units with the stored ones tried.
struct Unit
{
    char32_t unit;
    char32_t base;
};

std::vector<Unit> unitsOf(const std::u32string& codePoints)
{
    std::vector<Unit> out;
    for (char32_t cp : codePoints) {
        const vidra::like::Reading r = vidra::like::read(cp);
        for (int k = 0; k < r.count; ++k)
            out.push_back(Unit{r.unit[k], r.base[k]});
    }
    return out;
}

bool referenceMatch(const QString& literal, bool leading, bool trailing, vidra::LikeAs as,
                    Cell cell)
{
    const std::vector<Unit> typed =
        unitsOf(literal.normalized(QString::NormalizationForm_C).toStdU32String());
    std::u32string storedPoints;
    for (const char* p = cell.data; p < cell.data + cell.size;)
        storedPoints.push_back(vidra::utf8::decode(p, cell.data + cell.size));
    std::vector<Unit> stored = unitsOf(storedPoints);
    bool separators = false;
    for (const Unit& u : typed)
        separators = separators || vidra::like::isSeparator(u.unit);
    if (as == vidra::LikeAs::Number && !separators && !typed.empty())
        std::erase_if(stored, [](const Unit& u) { return vidra::like::isSeparator(u.unit); });
    const size_t m = typed.size(), n = stored.size();
    std::vector<signed char> memo((m + 1) * (n + 1), -1);
    const auto meets = [&](const Unit& t, const Unit& s) {
        return t.base != t.unit ? s.unit == t.unit : s.base == t.unit;
    };
    const auto match = [&](auto& self, size_t i, size_t k) -> bool {
        if (i == m) return trailing || k == n;
        if (k == n) return false;
        signed char& known = memo[i * (n + 1) + k];
        if (known >= 0) return known != 0;
        bool ok = meets(typed[i], stored[k]) && self(self, i + 1, k + 1);
        if (!ok && i + 1 < m && typed[i].unit == U'd' && typed[i + 1].unit == U'j' &&
            stored[k].unit == 0x0111)
            ok = self(self, i + 2, k + 1);
        known = ok ? 1 : 0;
        return ok;
    };
    if (!leading) return match(match, 0, 0);
    for (size_t k = 0; k <= n; ++k)
        if (match(match, 0, k)) return true;
    return false;
}

void checkMatcher(const QString& literal, Cell cell)
{
    if (!cell.data || literal.size() > 200 || cell.size > 400) return;
    for (const vidra::LikeAs as : {vidra::LikeAs::Text, vidra::LikeAs::Number}) {
        for (int wildcards = 0; wildcards < 4; ++wildcards) {
            const bool leading = wildcards & 1, trailing = wildcards & 2;
            const vidra::like::Pattern pattern(literal, leading, trailing, as);
            if (pattern.matches(cell.data, cell.size) !=
                referenceMatch(literal, leading, trailing, as, cell))
                fail("LIKE disagrees with its rules read plainly");
            if (leading || !trailing || pattern.empty()) continue;
            // The pattern's keys pass every value it matches.
            vidra::RowFilter::PrefixTerm term{0, as, pattern.keyPrefixes(), pattern.keyDecides()};
            const bool keys = keyPasses(term, cell);
            const bool matches = pattern.matches(cell.data, cell.size);
            if (matches && !keys) fail("a pattern's keys miss a value it matches");
            if (term.keyDecides && keys != matches) fail("a pattern's keys decide wrongly");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    const QString source = QString::fromUtf8(bytes, qsizetype(size));
    // The quoted text, as a LIKE pattern, against every cell at hand.
    const std::string_view all(bytes, size);
    const size_t open = all.find('\'');
    std::string_view quoted;
    if (open != std::string_view::npos) {
        const size_t close = all.find('\'', open + 1);
        quoted = all.substr(open + 1, close == std::string_view::npos ? std::string_view::npos
                                                                      : close - open - 1);
        const QString literal = QString::fromUtf8(quoted.data(), qsizetype(quoted.size()));
        for (const Row& row : fixedRows())
            for (const Cell& c : row)
                checkMatcher(literal, c);
        checkMatcher(literal, text(all));
        checkMatcher(literal, text(quoted));
    }

    std::optional<vidra::RowFilter> filter;
    try {
        filter = vidra::RowFilter::compile(source, fieldNames(), likeAs());
    } catch (const vidra::Error&) {
        return 0; // malformed text is refused with a message: that is fine
    }

    for (const Row& row : fixedRows())
        check(*filter, row);

    // Cells built from the input itself, so that equality and prefixes can hold:
    // the whole input, and the text of its first quoted literal.
    Row same;
    same.fill(text(all));
    check(*filter, same);
    if (open != std::string_view::npos) {
        same.fill(text(quoted));
        check(*filter, same);
        // Without a trailing wildcard character, so "x*" is also tried against "x".
        if (!quoted.empty() && (quoted.back() == '*' || quoted.back() == '%')) {
            same.fill(text(quoted.substr(0, quoted.size() - 1)));
            check(*filter, same);
        }
    }
    return 0;
}
