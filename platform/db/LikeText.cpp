#include "platform/db/LikeText.h"

#include "platform/Utf8.h"

#include <QChar>
#include <algorithm>
#include <cstring>
#include <memory>

namespace vidra::like {

namespace {

constexpr char32_t kDStroke = 0x0111; // đ

// A case-folded Serbian Cyrillic letter, or Latin digraph letter, in Latin
// letters; 0 letters for anything else.
int latinSpelling(char32_t c, char32_t (&out)[2])
{
    // а б в г д ђ е ж з и ј к л љ м н њ о п р с т ћ у ф х ц ч џ ш, by code point.
    struct Letter
    {
        char32_t cyrillic;
        char32_t first;
        char32_t second;
    };
    static constexpr Letter kLetters[] = {
        {0x0430, U'a', 0},     {0x0431, U'b', 0},      {0x0432, U'v', 0},      {0x0433, U'g', 0},
        {0x0434, U'd', 0},     {0x0435, U'e', 0},      {0x0436, 0x017E, 0},    {0x0437, U'z', 0},
        {0x0438, U'i', 0},     {0x043A, U'k', 0},      {0x043B, U'l', 0},      {0x043C, U'm', 0},
        {0x043D, U'n', 0},     {0x043E, U'o', 0},      {0x043F, U'p', 0},      {0x0440, U'r', 0},
        {0x0441, U's', 0},     {0x0442, U't', 0},      {0x0443, U'u', 0},      {0x0444, U'f', 0},
        {0x0445, U'h', 0},     {0x0446, U'c', 0},      {0x0447, 0x010D, 0},    {0x0448, 0x0161, 0},
        {0x0452, kDStroke, 0}, {0x0458, U'j', 0},      {0x0459, U'l', U'j'},   {0x045A, U'n', U'j'},
        {0x045B, 0x0107, 0},   {0x045F, U'd', 0x017E}, {0x01C6, U'd', 0x017E}, {0x01C9, U'l', U'j'},
        {0x01CC, U'n', U'j'},
    };
    for (const Letter& l : kLetters) {
        if (l.cyrillic != c) continue;
        out[0] = l.first;
        out[1] = l.second;
        return l.second ? 2 : 1;
    }
    return 0;
}

bool isMark(char32_t c)
{
    return QChar::category(c) == QChar::Mark_NonSpacing;
}

// A folded unit's letter without its mark: the first character of its
// canonical decomposition when the rest are marks, in Latin letters.
char32_t baseOf(char32_t u)
{
    if (u == kDStroke) return U'd';
    char32_t d = u;
    for (int depth = 0; depth < 4 && QChar::decompositionTag(d) == QChar::Canonical; ++depth) {
        const std::u32string parts = QChar::decomposition(d).toStdU32String();
        if (parts.empty()) break;
        for (size_t i = 1; i < parts.size(); ++i)
            if (!isMark(parts[i])) return u;
        d = parts[0];
    }
    if (d == u) return u;
    d = utf8::fold(d);
    char32_t spelled[2];
    if (latinSpelling(d, spelled) == 1) d = spelled[0];
    return d;
}

Reading compute(char32_t cp)
{
    Reading r{{0, 0}, {0, 0}, 0};
    if (isMark(cp)) return r;
    const char32_t f = utf8::fold(cp);
    char32_t spelled[2];
    int n = latinSpelling(f, spelled);
    if (n == 0) {
        spelled[0] = f;
        n = 1;
    }
    for (int k = 0; k < n; ++k) {
        r.unit[k] = spelled[k];
        r.base[k] = baseOf(spelled[k]);
    }
    r.count = n;
    return r;
}

// Latin, Greek and Cyrillic with their marks lie below this; what lies
// above is read the long way.
constexpr char32_t kTableEnd = 0x2000;

const Reading* table()
{
    static const std::unique_ptr<Reading[]> t = [] {
        auto out = std::make_unique<Reading[]>(kTableEnd);
        for (char32_t c = 0; c < kTableEnd; ++c)
            out[c] = compute(c);
        return out;
    }();
    return t.get();
}

char asciiFold(unsigned char b)
{
    return char((b >= 'A' && b <= 'Z') ? b + 32 : b);
}

// The next stored character's reading, advancing p; ASCII without the table.
inline Reading next(const char*& p, const char* end)
{
    const auto b = static_cast<unsigned char>(*p);
    if (b < 0x80) {
        ++p;
        const auto c = char32_t(static_cast<unsigned char>(asciiFold(b)));
        return Reading{{c, 0}, {c, 0}, 1};
    }
    return read(utf8::decode(p, end));
}

// Room for one character's UTF-8, filled as utf8::append fills a string.
struct ByteRun
{
    char bytes[4];
    int size = 0;
    ByteRun& operator+=(char c)
    {
        bytes[size++] = c;
        return *this;
    }
};

} // namespace

Reading read(char32_t codePoint)
{
    if (codePoint < kTableEnd) return table()[codePoint];
    return compute(codePoint);
}

uint64_t storedKey(const char* data, size_t size, LikeAs as)
{
    const bool number = as == LikeAs::Number;
    unsigned char bytes[8] = {};
    size_t filled = 0;
    const char* p = data;
    const char* end = data + size;
    while (filled < 8 && p < end) {
        const auto b = static_cast<unsigned char>(*p);
        if (b < 0x80) {
            ++p;
            if (!(number && isSeparator(b)))
                bytes[filled++] = static_cast<unsigned char>(asciiFold(b));
            continue;
        }
        const Reading r = read(utf8::decode(p, end));
        for (int k = 0; k < r.count && filled < 8; ++k) {
            // Đ stays itself, so that a typed D or DJ tells it from D by key alone.
            const char32_t c = r.unit[k] == kDStroke ? kDStroke : r.base[k];
            if (number && isSeparator(c)) continue;
            ByteRun enc;
            utf8::append(enc, c);
            for (int i = 0; i < enc.size && filled < 8; ++i)
                bytes[filled++] = static_cast<unsigned char>(enc.bytes[i]);
        }
    }
    uint64_t key;
    std::memcpy(&key, bytes, 8);
    return key;
}

Pattern::Pattern(const QString& literal, bool leading, bool trailing, LikeAs as)
    : m_leading(leading), m_trailing(trailing), m_as(as)
{
    // Typed as a letter and a combining mark, a marked letter is still one letter.
    const QString composed = literal.normalized(QString::NormalizationForm_C);
    bool separators = false;
    for (char32_t cp : composed.toStdU32String()) {
        const Reading r = read(cp);
        for (int k = 0; k < r.count; ++k) {
            m_units.push_back(Unit{r.unit[k], r.base[k], r.base[k] != r.unit[k]});
            separators = separators || isSeparator(r.unit[k]);
        }
    }
    m_skipSeparators = as == LikeAs::Number && !separators && !m_units.empty();
    for (size_t i = 0; i < m_units.size(); ++i)
        m_hasDj = m_hasDj || djAt(i);
}

bool Pattern::matches(const char* data, size_t size) const
{
    if (!m_leading && !m_hasDj) return matchAnchored(data, data + size);
    return matchStates(data, data + size);
}

// One way through: each stored unit either is passed over or meets the next
// typed one.
bool Pattern::matchAnchored(const char* p, const char* end) const
{
    const size_t m = m_units.size();
    size_t i = 0;
    while (p < end) {
        const Reading r = next(p, end);
        for (int k = 0; k < r.count; ++k) {
            if (m_skipSeparators && isSeparator(r.unit[k])) continue;
            if (i == m) return m_trailing;
            if (!unitMatches(i, r.unit[k], r.base[k])) return false;
            ++i;
        }
    }
    return i == m;
}

// Several ways at once: a typed DJ meets a stored Đ or a stored D and J, and
// after a leading wildcard a match may start at any unit. states holds, in
// increasing order, how many typed units each way has met so far.
bool Pattern::matchStates(const char* p, const char* end) const
{
    const size_t m = m_units.size();
    thread_local std::vector<size_t> states, following;
    states.assign(1, 0);
    const auto done = [&] { return !states.empty() && states.back() == m; };
    const auto restart = [&] {
        if (m_leading && (states.empty() || states.front() != 0)) states.insert(states.begin(), 0);
    };
    while (p < end) {
        const Reading r = next(p, end);
        for (int k = 0; k < r.count; ++k) {
            if (m_skipSeparators && isSeparator(r.unit[k])) continue;
            restart();
            if (m_trailing && done()) return true;
            following.clear();
            const auto add = [&](size_t s) {
                if (following.empty() || following.back() != s) following.push_back(s);
            };
            for (size_t i : states) {
                if (i == m) continue;
                if (unitMatches(i, r.unit[k], r.base[k])) add(i + 1);
                if (r.unit[k] == kDStroke && djAt(i)) add(i + 2);
            }
            states.swap(following);
            if (states.empty() && !m_leading) return false;
        }
    }
    restart();
    return done();
}

// A typed D may meet a stored D or Đ, and a typed DJ a stored DJ, Đ, or Đ
// and J: each such choice doubles or triples the ways a key can begin. Past
// this many, the keys stop where the next choice would be, passing more.
constexpr size_t kMostKeyPrefixes = 16;

Pattern::KeyPlan Pattern::keyPlan() const
{
    KeyPlan plan{std::vector<std::string>(1), true};
    std::vector<std::string>& ways = plan.prefixes;
    const auto shortest = [&] {
        size_t n = ways[0].size();
        for (const std::string& w : ways)
            n = std::min(n, w.size());
        return n;
    };
    static const std::string kD = "d", kDj = "dj";
    std::string dStroke, dStrokeJ;
    utf8::append(dStroke, kDStroke);
    dStrokeJ = dStroke + 'j';
    size_t i = 0;
    for (; i < m_units.size() && shortest() < 8; ++i) {
        const Unit& u = m_units[i];
        std::vector<const std::string*> choices;
        std::string letter;
        if (djAt(i)) {
            choices = {&kDj, &dStroke, &dStrokeJ};
            ++i;
        } else if (u.unit == U'd') {
            choices = {&kD, &dStroke};
        } else {
            // A key holds Đ as itself and every other letter as its base.
            const char32_t c = u.unit == kDStroke ? kDStroke : u.base;
            if (m_as == LikeAs::Number && isSeparator(c)) continue;
            utf8::append(letter, c);
            choices = {&letter};
        }
        if (ways.size() * choices.size() > kMostKeyPrefixes) {
            plan.complete = false;
            break;
        }
        std::vector<std::string> grown;
        for (const std::string& w : ways)
            for (const std::string* c : choices)
                grown.push_back(w + *c);
        ways.swap(grown);
    }
    if (i < m_units.size()) plan.complete = false;
    // A way that another begins with says all the longer one would.
    std::sort(ways.begin(), ways.end());
    std::vector<std::string> kept;
    for (const std::string& w : ways)
        if (kept.empty() || w.compare(0, kept.back().size(), kept.back()) != 0) kept.push_back(w);
    ways.swap(kept);
    return plan;
}

std::vector<std::string> Pattern::keyPrefixes() const
{
    return keyPlan().prefixes;
}

bool Pattern::keyDecides() const
{
    if (m_leading || !m_trailing || m_units.empty()) return false;
    if (m_as == LikeAs::Number && !m_skipSeparators) return false;
    for (const Unit& u : m_units)
        if ((u.marked && u.unit != kDStroke) || u.unit == 0) return false;
    const KeyPlan plan = keyPlan();
    if (!plan.complete) return false;
    for (const std::string& w : plan.prefixes)
        if (w.size() > 8) return false;
    return true;
}

} // namespace vidra::like
