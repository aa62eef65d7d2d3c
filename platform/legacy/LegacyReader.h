#pragma once
// Access (Jet) files of the program's earlier years, read through the
// separate vidra-legacy-reader process: a file that crashes or hangs the
// reading library ends that process, and here becomes an error.
#include "platform/legacy/LegacyFormat.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vidra::legacy {

// Recognises an Access file by its first page, never by its name.
JetHeader probeFile(const QString& path);
inline bool isAccessFile(const QString& path)
{
    return probeFile(path).version != JetVersion::None;
}

struct Column
{
    QString name;
    ColumnKind kind = ColumnKind::Text;
    int size = 0;
};

struct Cell
{
    const char* data = nullptr; // UTF-8
    std::size_t size = 0;
    bool null = true;
};

struct Request
{
    QString file;
    QString table;
    QStringList columns; // empty: every column
    int codePage = 0;    // 0: the one the file records
};

using TableHandler = std::function<void(const std::vector<Column>&, std::uint64_t expectedRows)>;
using RowHandler = std::function<void(const std::vector<Cell>&)>;
// Damage seen in a read that otherwise succeeds, as a sentence naming the file.
using WarningHandler = std::function<void(const QString&)>;

// Raises DbError with a message for the user; an exception from a handler
// stops the reader and passes through.
void readTable(const Request& request, const TableHandler& onTable, const RowHandler& onRow,
               const WarningHandler& onWarning = {});

// The reader program: the one beside the running executable (a build folder,
// a portable copy), else the one in the private folder of an installed copy,
// found relative to the executable's folder; unless one is set here (tests
// and tools built elsewhere). The environment is never asked.
void setReaderProgram(const QString& path);
QString readerProgram();
// The reader for an executable in `executableDir`; when there is none, the
// one that would be beside it.
QString readerProgramFor(const QString& executableDir);

// A reader that sends nothing for this long is taken to hang.
inline constexpr int kDefaultStallTimeoutMs = 30000;
void setStallTimeout(int ms);

// The memory the reader may take for a file of `fileSize` bytes, besides
// one value buffer per column: a file that needs more is damaged.
std::uint64_t readerMemoryLimit(std::uint64_t fileSize);
// A fixed limit instead, for tests (0: sized from the file).
void setReaderMemoryLimit(std::uint64_t bytes);

// The end of what the last reader wrote on its error output (for diagnosis).
std::string lastReaderComplaints();

} // namespace vidra::legacy
