#pragma once
// Reads one table of an Access (Jet) file through libmdb. The library trusts
// its input, so everything this reader can check before and after handing
// the file over is checked here; what remains (a crash inside the library on
// a damaged file) is why callers run this in a process of its own.
#include "platform/legacy/LegacyFormat.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vidra::legacy {

class JetError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct JetColumn
{
    std::string name;
    ColumnKind kind = ColumnKind::Text;
    int size = 0; // characters for text, 0 when the type has no size
};

struct JetCell
{
    const char* data = nullptr;
    std::size_t size = 0;
    bool null = true;
};

struct JetReadOptions
{
    std::string table;
    std::vector<std::string> columns; // empty: every column
    int codePage = 0;                 // Access 97 text; 0: the one the file records
};

struct JetSink
{
    // Told the bytes of the value buffers, one per column, before they are
    // taken: the reader program's memory limit makes room for them.
    std::function<void(std::size_t bytes)> buffers;
    std::function<void(const std::vector<JetColumn>&, std::uint64_t expectedRows)> table;
    std::function<void(const std::vector<JetCell>&)> row;
    // Damage seen in rows already handed over; the read goes on.
    std::function<void(const std::string&)> warning;
};

// Raises JetError with a message for the user on anything unusable.
void readJetFile(const std::string& path, const JetReadOptions& options, const JetSink& sink);
// The same over bytes in memory (the library reads them in place).
void readJetBytes(const unsigned char* bytes, std::size_t size, const JetReadOptions& options,
                  const JetSink& sink);

} // namespace vidra::legacy
