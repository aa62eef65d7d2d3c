#pragma once
// A server table's rows arrive as lines of COPY's text format; they are read
// straight into the snapshot's arenas. A server row has no row id, so its
// snapshot id is a digest of its values: the same values give the same id in
// every read. For platform/db only.
#include "platform/db/TableSnapshot.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vidra {

// A digest of a row's cells, null kept apart from empty text.
class RowDigest
{
public:
    void add(const char* data, size_t size, bool isNull);
    int64_t value() const { return int64_t(m_hash); }

private:
    uint64_t m_hash = 0x76696472615f726fULL;
};

// The digest of a row about to be written, as a read of it will give.
int64_t rowDigest(const RowValues& values);

// Appends lines of COPY ... TO STDOUT (text format) to a snapshot, one row
// each, their fields in the snapshot's order.
class CopyRowReader
{
public:
    explicit CopyRowReader(Snapshot& snap) : m_snap(snap) {}
    // Raises DbError for a line that does not hold one field per column.
    void append(const char* line, size_t size);

private:
    Snapshot& m_snap;
    std::string m_decoded; // a field's bytes after its escapes
};

} // namespace vidra
