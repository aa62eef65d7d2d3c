// The row-filter compiler on arbitrary text, then evaluation on a few rows.
// Besides crashes, the fast prefix scan the table uses for search-panel
// filters is checked against full evaluation: both must pass the same rows.
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/Utf8.h"
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
    };
    return rows;
}

// The same test as the table's prefix scan: the first eight folded bytes of
// the cell against the term's, as one masked word.
bool keyPasses(const vidra::RowFilter::PrefixTerm& t, Cell c)
{
    const uint64_t key = c.data ? vidra::utf8::foldedPrefixKey(c.data, c.size) : 0;
    const vidra::PrefixMask m = vidra::prefixMask(t.folded);
    return (key & m.mask) == m.want;
}

// What a prefix term means, computed the long way.
bool startsWithFolded(const vidra::RowFilter::PrefixTerm& t, Cell c)
{
    if (!c.data) return false;
    const std::string folded = vidra::utf8::encode(vidra::utf8::foldedCodePoints(c.data, c.size));
    return folded.compare(0, t.folded.size(), t.folded) == 0;
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
    bool keys = true, meaning = true, verify = false;
    for (const auto& t : *terms) {
        if (t.field < 0 || size_t(t.field) >= row.size()) fail("prefix term field out of range");
        if (t.folded.empty()) fail("empty prefix term");
        keys = keys && keyPasses(t, row[size_t(t.field)]);
        meaning = meaning && startsWithFolded(t, row[size_t(t.field)]);
        verify = verify || t.folded.size() > 8;
    }
    if (meaning != full) fail("prefix terms disagree with the filter");
    // The scan checks only keys unless a term is longer than a key.
    if (full && !keys) fail("prefix scan would miss a matching row");
    if (!verify && keys != full) fail("prefix scan would pass a row the filter rejects");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    const QString source = QString::fromUtf8(bytes, qsizetype(size));
    std::optional<vidra::RowFilter> filter;
    try {
        filter = vidra::RowFilter::compile(source, fieldNames());
    } catch (const vidra::Error&) {
        return 0; // malformed text is refused with a message: that is fine
    }

    for (const Row& row : fixedRows())
        check(*filter, row);

    // Cells built from the input itself, so that equality and prefixes can hold:
    // the whole input, and the text of its first quoted literal.
    const std::string_view all(bytes, size);
    Row same;
    same.fill(text(all));
    check(*filter, same);
    const size_t open = all.find('\'');
    if (open != std::string_view::npos) {
        const size_t close = all.find('\'', open + 1);
        const std::string_view quoted = all.substr(
            open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
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
