#pragma once
// Where vidra-db copy reads a directory: a directory file (its rows in the
// order the file keeps them), or the table on a server (its rows ordered by
// number, so two copies of one directory are alike).
#include "tools/DbFile.h"
#include "tools/Destination.h"

#include <QString>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>

namespace vidradb {

class CopySource
{
public:
    virtual ~CopySource() = default;

    // How many rows there are, for the progress bar.
    virtual qint64 count() = 0;
    // Hands every row over, values exactly as stored; raises Failure.
    using Row = std::function<void(const RowData& data, const RowSizes& size)>;
    virtual void read(const Row& row) = 0;
    // SOURCE as messages name it.
    virtual QString shown() const = 0;
    // The file it reads, for telling it from DEST; nullopt for a server.
    virtual std::optional<FileKey> fileKey() const { return std::nullopt; }
};

// Only a regular file that is a directory file is read; it is opened read-only.
std::unique_ptr<CopySource> fileSource(const QString& path, const volatile std::sig_atomic_t& stop);
std::unique_ptr<CopySource> serverSource(const QString& uri,
                                         const volatile std::sig_atomic_t& stop);

} // namespace vidradb
