#include "platform/db/TableScan.h"

#include "platform/Utf8.h"
#include "platform/db/TableSnapshot.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vidra {

namespace {

uint64_t keyOf(RowFilter::Cell c, LikeAs as)
{
    return c.data ? like::storedKey(c.data, c.size, as) : 0;
}

// The search panel's case: every term a prefix. Each row costs one
// mask-and-compare per term (one per way of reading a typed DJ); the rows
// whose keys fit are checked in full only when a term's keys do not decide.
void scanPrefixes(const Snapshot& snap, const RowFilter& filter,
                  const std::vector<RowFilter::PrefixTerm>& terms, PrefixKeys& keys,
                  std::vector<uint32_t>& visible)
{
    struct Term
    {
        const uint64_t* keys;
        PrefixMask first;
        // The other key prefixes, tried only for a key whose first byte one
        // of them could begin with.
        std::vector<PrefixMask> others;
        std::array<bool, 256> othersBegin{};
    };
    std::vector<Term> ts;
    bool verify = false;
    for (const auto& t : terms) {
        Term term{keys.of(snap, t.field, t.as).data(), prefixMask(t.keys.front()), {}, {}};
        for (size_t k = 1; k < t.keys.size(); ++k) {
            term.others.push_back(prefixMask(t.keys[k]));
            if (t.keys[k].empty())
                term.othersBegin.fill(true);
            else
                term.othersBegin[static_cast<unsigned char>(t.keys[k][0])] = true;
        }
        ts.push_back(std::move(term));
        verify = verify || !t.keyDecides;
    }
    const size_t n = snap.rows();
    // Most searches hold no D: one mask-and-compare per term, as tight as it goes.
    struct Plain
    {
        const uint64_t* keys;
        uint64_t mask;
        uint64_t want;
    };
    std::vector<Plain> plain;
    for (const Term& t : ts)
        if (t.others.empty()) plain.push_back(Plain{t.keys, t.first.mask, t.first.want});
    // The row is passed by value so that the loops keep it in a register.
    const auto holds = [&snap, &filter](size_t row) {
        return filter.matches([&snap, row](int f) { return snap.cell(row, f); });
    };
    if (plain.size() == 1 && ts.size() == 1) {
        const Plain t = plain.front();
        for (size_t r = 0; r < n; ++r)
            if ((t.keys[r] & t.mask) == t.want && (!verify || holds(r)))
                visible.push_back(uint32_t(r));
        return;
    }
    if (plain.size() == ts.size()) {
        const Plain* const first = plain.data();
        const Plain* const last = first + plain.size();
        for (size_t r = 0; r < n; ++r) {
            const Plain* t = first;
            while (t != last && (t->keys[r] & t->mask) == t->want)
                ++t;
            if (t == last && (!verify || holds(r))) visible.push_back(uint32_t(r));
        }
        return;
    }
    const auto fits = [](const Term& t, uint64_t key) {
        if ((key & t.first.mask) == t.first.want) return true;
        if (t.others.empty()) return false;
        unsigned char firstByte;
        std::memcpy(&firstByte, &key, 1);
        if (!t.othersBegin[firstByte]) return false;
        for (const PrefixMask& m : t.others)
            if ((key & m.mask) == m.want) return true;
        return false;
    };
    for (size_t r = 0; r < n; ++r) {
        bool pass = true;
        for (const Term& t : ts) {
            if (!fits(t, t.keys[r])) {
                pass = false;
                break;
            }
        }
        if (pass && (!verify || holds(r))) visible.push_back(uint32_t(r));
    }
}

} // namespace

const std::vector<uint64_t>& PrefixKeys::of(const Snapshot& snap, int field, LikeAs as)
{
    if (m_fields.size() != size_t(snap.fieldCount)) m_fields.resize(size_t(snap.fieldCount));
    FieldKeys& f = m_fields[size_t(field)];
    if (f.as != as) f.keys.clear();
    if (f.keys.size() != snap.rows()) {
        f.as = as;
        f.keys.resize(snap.rows());
        for (size_t r = 0; r < snap.rows(); ++r)
            f.keys[r] = keyOf(snap.cell(r, field), as);
    }
    return f.keys;
}

void PrefixKeys::rowChanged(const Snapshot& snap, size_t row)
{
    for (size_t i = 0; i < m_fields.size(); ++i) {
        FieldKeys& f = m_fields[i];
        if (f.keys.empty()) continue;
        const uint64_t key = keyOf(snap.cell(row, int(i)), f.as);
        if (row < f.keys.size())
            f.keys[row] = key;
        else if (row == f.keys.size())
            f.keys.push_back(key);
    }
}

void PrefixKeys::rowErased(size_t row)
{
    for (FieldKeys& f : m_fields)
        if (row < f.keys.size()) f.keys.erase(f.keys.begin() + std::ptrdiff_t(row));
}

PrefixMask prefixMask(const std::string& prefix)
{
    const size_t len = std::min<size_t>(prefix.size(), 8);
    unsigned char bytes[8] = {};
    std::copy_n(prefix.data(), len, bytes);
    unsigned char maskBytes[8] = {};
    std::memset(maskBytes, 0xFF, len);
    PrefixMask m{0, 0};
    std::memcpy(&m.want, bytes, 8);
    std::memcpy(&m.mask, maskBytes, 8);
    return m;
}

std::vector<uint32_t> scanRows(const Snapshot& snap, const RowFilter& filter, PrefixKeys& keys)
{
    std::vector<uint32_t> visible;
    const size_t n = snap.rows();
    visible.reserve(n / 4);
    if (const auto terms = filter.prefixTerms(); terms && terms->size() <= 8)
        scanPrefixes(snap, filter, *terms, keys, visible);
    else
        for (size_t r = 0; r < n; ++r)
            if (filter.matches([&](int f) { return snap.cell(r, f); }))
                visible.push_back(uint32_t(r));
    visible.shrink_to_fit();
    return visible;
}

ExactValue::ExactValue(const QVariant& value)
    : m_null(value.isNull()), m_text(m_null ? QString() : value.toString()),
      m_bytes(m_text.toUtf8()),
      // Bytes that are not UTF-8 read as U+FFFD; only a value holding one
      // can equal such a cell, and only as the text the program shows.
      m_replacement(m_text.contains(QChar(QChar::ReplacementCharacter)))
{
}

bool ExactValue::matches(RowFilter::Cell c) const
{
    if (!c.data || m_null) return !c.data && m_null;
    if (c.size == size_t(m_bytes.size()) && std::memcmp(c.data, m_bytes.constData(), c.size) == 0)
        return true;
    return m_replacement && cellText(c) == m_text;
}

} // namespace vidra
