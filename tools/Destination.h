#pragma once
// Where a vidra-db command writes a directory: a new file built under a
// temporary name, or the table on a server built inside one transaction.
// Either way the directory appears whole when the run commits, or not at
// all; what DEST held before stays until then.
#include "data/Schema.h"
#include "tools/DbFile.h"

#include <QString>
#include <array>
#include <csignal>
#include <cstddef>
#include <memory>

namespace vidradb {

inline constexpr size_t kRowValues = vidra::kSubscriberFields.size();
// A row's values as UTF-8 bytes in the table's field order; a null pointer
// is a null value.
using RowData = std::array<const char*, kRowValues>;
using RowSizes = std::array<size_t, kRowValues>;

class Destination
{
public:
    virtual ~Destination() = default;

    // One row; `row` names it in messages (the first is 1).
    virtual void add(qint64 row, const RowData& data, const RowSizes& size) = 0;
    // Makes the directory visible as a whole; raises Failure.
    virtual void commit() = 0;
    // DEST as messages name it.
    virtual QString shown() const = 0;
};

// A file, checked by checkTarget beforehand (`before`).
std::unique_ptr<Destination> fileDestination(const QString& path, const FileIdentity& before,
                                             const volatile std::sig_atomic_t& stop);

// The table on the server a URI names. Refuses a table already there
// unless force, before anything is written; an existing one is replaced
// only at commit, keeping its owner and the rights granted on it. A row the
// server's table cannot hold (no number, a value too long, text that is not
// UTF-8 or holds a NUL; with checkNumbers, a number twice) fails the run
// with a message naming the row of `source` (as messages name it). Without
// checkNumbers the caller vouches that no number comes twice.
std::unique_ptr<Destination> serverDestination(const QString& uri, bool force, bool checkNumbers,
                                               const QString& source,
                                               const volatile std::sig_atomic_t& stop);

} // namespace vidradb
