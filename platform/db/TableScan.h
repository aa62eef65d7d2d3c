#pragma once
// Which rows of a snapshot pass a filter. The search panel's filters, prefix
// tests on a few fields, are answered from per-field prefix keys: the first
// eight bytes of each cell's base letters in UTF-8 as one word (see
// LikeText.h); rows whose keys fit are checked in full unless the keys
// decide. For platform/db only.
#include "platform/db/RowFilter.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vidra {

struct Snapshot;

// The prefix keys (like::storedKey) of a snapshot's cells per field, built
// the first time a scan needs a field's and kept in step with every change
// after that.
class PrefixKeys
{
public:
    // Forgets every key (the snapshot was replaced).
    void clear() { m_fields.clear(); }
    // The keys of a field searched as `as`, one per row; a null cell's key is 0.
    const std::vector<uint64_t>& of(const Snapshot& snap, int field, LikeAs as);
    // After a row was written or appended: its keys follow it. Keys are valid
    // while there is one per row; others are rebuilt when next needed.
    void rowChanged(const Snapshot& snap, size_t row);
    void rowErased(size_t row);

private:
    struct FieldKeys
    {
        std::vector<uint64_t> keys; // empty: not built
        LikeAs as = LikeAs::Text;
    };
    std::vector<FieldKeys> m_fields;
};

// What a prefix key must hold for a key prefix: the key masked with mask
// equals want. A prefix longer than a key is tested on its first eight bytes.
struct PrefixMask
{
    uint64_t mask;
    uint64_t want;
};
PrefixMask prefixMask(const std::string& prefix);

// The rows of the snapshot that pass the filter, in their order.
std::vector<uint32_t> scanRows(const Snapshot& snap, const RowFilter& filter, PrefixKeys& keys);

// A value as Locate looks for it: equal to the whole cell, letter case
// included; null equals only null, and empty text only empty text.
class ExactValue
{
public:
    explicit ExactValue(const QVariant& value);
    bool matches(RowFilter::Cell c) const;

private:
    bool m_null;
    QString m_text;
    QByteArray m_bytes;
    bool m_replacement; // m_text holds U+FFFD
};

} // namespace vidra
