#include "platform/db/TableScan.h"

#include "platform/Utf8.h"
#include "platform/db/TableSnapshot.h"

#include <algorithm>
#include <cstring>

namespace vidra {

namespace {

uint64_t keyOf(RowFilter::Cell c)
{
    return c.data ? utf8::foldedPrefixKey(c.data, c.size) : 0;
}

// The search panel's case: every term a prefix. Each row costs one
// mask-and-compare per term; texts longer than a key are checked in full
// only for the rows whose keys match.
void scanPrefixes(const Snapshot& snap, const RowFilter& filter,
                  const std::vector<RowFilter::PrefixTerm>& terms, PrefixKeys& keys,
                  std::vector<uint32_t>& visible)
{
    struct Term
    {
        const uint64_t* keys;
        uint64_t mask;
        uint64_t want;
    };
    std::vector<Term> ts;
    bool verify = false;
    for (const auto& t : terms) {
        const PrefixMask m = prefixMask(t.folded);
        ts.push_back(Term{keys.of(snap, t.field).data(), m.mask, m.want});
        verify = verify || t.folded.size() > 8;
    }
    const size_t n = snap.rows();
    for (size_t r = 0; r < n; ++r) {
        bool pass = true;
        for (const Term& t : ts) {
            if ((t.keys[r] & t.mask) != t.want) {
                pass = false;
                break;
            }
        }
        if (pass && verify) pass = filter.matches([&](int f) { return snap.cell(r, f); });
        if (pass) visible.push_back(uint32_t(r));
    }
}

} // namespace

const std::vector<uint64_t>& PrefixKeys::of(const Snapshot& snap, int field)
{
    if (m_keys.size() != size_t(snap.fieldCount)) m_keys.resize(size_t(snap.fieldCount));
    auto& keys = m_keys[size_t(field)];
    if (keys.size() != snap.rows()) {
        keys.resize(snap.rows());
        for (size_t r = 0; r < snap.rows(); ++r)
            keys[r] = keyOf(snap.cell(r, field));
    }
    return keys;
}

void PrefixKeys::rowChanged(const Snapshot& snap, size_t row)
{
    for (size_t f = 0; f < m_keys.size(); ++f) {
        auto& keys = m_keys[f];
        const uint64_t key = keyOf(snap.cell(row, int(f)));
        if (row < keys.size())
            keys[row] = key;
        else if (row == keys.size())
            keys.push_back(key);
    }
}

void PrefixKeys::rowErased(size_t row)
{
    for (auto& keys : m_keys)
        if (row < keys.size()) keys.erase(keys.begin() + std::ptrdiff_t(row));
}

PrefixMask prefixMask(const std::string& folded)
{
    const size_t len = std::min<size_t>(folded.size(), 8);
    unsigned char bytes[8] = {};
    std::copy_n(folded.data(), len, bytes);
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
