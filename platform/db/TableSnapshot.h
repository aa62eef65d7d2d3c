#pragma once
// A table's rows as read from its store, held in memory: the snapshot that a
// Table browses, filters and searches, and how an SQLite file's table is read
// into one. For platform/db only.
#include "platform/db/RowFilter.h"

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;

namespace vidra {

// Growable byte store of cells, each a length prefix and then its bytes.
// realloc lets large blocks grow by remapping pages instead of copying, so
// loading a big table never holds two copies.
class Arena
{
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    Arena(Arena&& o) noexcept : m_data(o.m_data), m_size(o.m_size), m_cap(o.m_cap)
    {
        o.m_data = nullptr;
        o.m_size = o.m_cap = 0;
    }
    ~Arena();

    // Appends a cell and returns its offset; raises DbError when the store
    // would pass 4 GiB or memory runs out.
    uint32_t append(const char* bytes, size_t n, bool isNull);

    RowFilter::Cell cell(uint32_t offset) const
    {
        const char* p = m_data + offset;
        uint64_t v = 0;
        int shift = 0;
        unsigned char b;
        do {
            b = static_cast<unsigned char>(*p++);
            v |= uint64_t(b & 0x7F) << shift;
            shift += 7;
        } while (b & 0x80);
        if (v == 0) return {nullptr, 0};
        return {p, size_t(v - 1)};
    }

private:
    void grow(size_t need);
    char* m_data = nullptr;
    size_t m_size = 0;
    size_t m_cap = 0;
};

// The rows of a table as read from its store: per field one arena, per row
// and field one offset into it, per row the id the store knows it by (an
// SQLite file's row id).
struct Snapshot
{
    int fieldCount = 0;
    std::vector<Arena> arenas;
    std::vector<uint32_t> cells; // row-major
    std::vector<int64_t> rowIds;
    QString rowIdName; // how an SQLite file's row id is reached in this table
    // Why the table is only read: code of the file's own that a save would
    // run, or a server that does not let this login write it.
    QString notWritable;

    explicit Snapshot(int fields = 0) : fieldCount(fields), arenas(size_t(fields)) {}
    size_t rows() const { return rowIds.size(); }
    RowFilter::Cell cell(size_t row, int field) const
    {
        return arenas[size_t(field)].cell(cells[row * size_t(fieldCount) + size_t(field)]);
    }
    void setCell(size_t row, int field, const QString& value)
    {
        const QByteArray b = value.toUtf8();
        cells[row * size_t(fieldCount) + size_t(field)] =
            arenas[size_t(field)].append(b.constData(), size_t(b.size()), value.isNull());
    }
    // A new last row under the store's id for it, its cells to be set; returns its index.
    size_t appendRow(int64_t rowId)
    {
        rowIds.push_back(rowId);
        cells.resize(cells.size() + size_t(fieldCount));
        return rowIds.size() - 1;
    }
    void eraseRow(size_t row)
    {
        const auto first = cells.begin() + std::ptrdiff_t(row * size_t(fieldCount));
        cells.erase(first, first + fieldCount);
        rowIds.erase(rowIds.begin() + std::ptrdiff_t(row));
    }
};

// A pending value per field; nullopt and a null text are written as null.
using RowValues = std::vector<std::optional<QString>>;

// A cell as text: null stays a null QString, bytes that are not UTF-8 read as U+FFFD.
QString cellText(RowFilter::Cell c);

// Whether SQLite gives a column of this declared type text affinity, by its
// own rules in its own order: a column without it would turn 0123 into 123.
bool hasTextAffinity(const QString& declaredType);

// Reads the whole table of an SQLite file, the given fields in their order;
// raises DbError for a file whose table cannot be browsed as text (see the .cpp).
Snapshot loadSnapshot(sqlite3* db, const QString& tableName, const QStringList& fields);

} // namespace vidra
