#include "platform/legacy/JetReader.h"

#include <glib.h>
// glib first: the library's header relies on it.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <mdbtools.h>
#include <memory>
#include <sys/stat.h>

namespace vidra::legacy {

namespace {

// The library reads at most this many rows of a page (row numbers 0-1000).
constexpr std::uint64_t kRowsPerPage = 1001;

std::string folded(const char* s)
{
    gchar* f = g_utf8_casefold(s, -1);
    std::string out = f ? f : s;
    g_free(f);
    return out;
}

ColumnKind kindOf(int type)
{
    switch (type) {
    case MDB_TEXT:
        return ColumnKind::Text;
    case MDB_MEMO:
        return ColumnKind::Memo;
    case MDB_OLE:
    case MDB_BINARY:
    case MDB_COMPLEX:
        return ColumnKind::Binary;
    default:
        return ColumnKind::Other;
    }
}

struct HandleCloser
{
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer
{
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// Access 97 keeps text in a Windows code page; the library assumes 1252,
// which turns the Serbian letters of 1250 into others.
void useCodePage(MdbHandle* mdb, int requested)
{
    if (mdb->f->jet_version != MDB_VER_JET3) return;
    int cp = requested ? requested : mdb->f->code_page;
    if (cp == 0) cp = 1252;
    if (cp == 1252 && !requested) return;
    const std::string name = "CP" + std::to_string(cp);
    iconv_t conv = iconv_open("UTF-8", name.c_str());
    if (conv == iconv_t(-1))
        throw JetError("the text of this file is in code page " + std::to_string(cp) +
                       ", which this system cannot convert");
    if (mdb->iconv_in != iconv_t(-1)) iconv_close(mdb->iconv_in);
    mdb->iconv_in = conv;
}

// How many rows the data pages of a table can give: the library takes rows
// only from pages marked as that table's data, and from each no more than
// the page's own row count.
std::uint64_t rowRoom(MdbHandle* mdb, unsigned long tablePage, std::uint64_t fileSize)
{
    const std::uint64_t pages = fileSize / mdb->fmt->pg_size;
    std::uint64_t room = 0;
    for (unsigned long pg = 1; pg < pages; ++pg) {
        if (mdb_read_pg(mdb, pg) != mdb->fmt->pg_size) break;
        if (mdb->pg_buf[0] != MDB_PAGE_DATA ||
            static_cast<unsigned long>(mdb_get_int32(mdb->pg_buf, 4)) != tablePage)
            continue;
        room += std::min<std::uint64_t>(
            static_cast<std::uint16_t>(mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset)),
            kRowsPerPage);
    }
    return room;
}

// Characters as Access counts them (UTF-16 units) in UTF-8 text.
std::size_t utf16Units(const char* s, std::size_t n)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        units += (b & 0xC0) != 0x80; // one for each character's first byte
        units += b >= 0xF0;          // beyond the 16-bit range: a surrogate pair
    }
    return units;
}

void readHandle(MdbHandle* raw, std::uint64_t fileSize, const JetReadOptions& options,
                const JetSink& sink)
{
    std::unique_ptr<MdbHandle, HandleCloser> mdb(raw);
    if (!mdb) throw JetError("the file is not a readable Access database");
    useCodePage(mdb.get(), options.codePage);
    mdb_set_date_fmt(mdb.get(), "%Y-%m-%d %H:%M:%S");

    // A truncated catalog lists fewer tables without any error, so what is
    // found is checked rather than trusted.
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE) || !mdb->catalog)
        throw JetError("the list of tables in the file cannot be read");
    const std::string wanted = folded(options.table.c_str());
    MdbCatalogEntry* entry = nullptr;
    std::vector<std::string> userTables;
    for (unsigned i = 0; i < mdb->catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (!e || e->object_type != MDB_TABLE || !mdb_is_user_table(e)) continue;
        userTables.emplace_back(e->object_name);
        if (!entry && folded(e->object_name) == wanted) entry = e;
    }
    if (!entry) {
        std::string msg = "the file has no table '" + options.table + "'";
        if (!userTables.empty()) {
            msg += "; its tables are:";
            for (size_t i = 0; i < userTables.size(); ++i)
                msg += (i ? ", '" : " '") + userTables[i] + "'";
        }
        throw JetError(msg);
    }
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
    if (!table) throw JetError("the definition of table '" + options.table + "' cannot be read");
    if (!mdb_read_columns(table.get()) || !table->columns || table->columns->len == 0 ||
        table->columns->len != table->num_cols)
        throw JetError("the columns of table '" + options.table + "' cannot be read");
    // Checked before any row is handed over: callers size their work by the
    // count, and a damaged one would have them make room for millions.
    const std::uint64_t room = rowRoom(mdb.get(), entry->table_pg, fileSize);
    if (table->num_rows > room)
        throw JetError("table '" + options.table + "' is damaged: it records " +
                       std::to_string(table->num_rows) + " rows, its pages have room for " +
                       std::to_string(room));

    std::vector<int> picked; // 0-based column numbers in the order asked for
    if (options.columns.empty()) {
        for (unsigned i = 0; i < table->num_cols; ++i)
            picked.push_back(int(i));
    } else {
        for (const std::string& name : options.columns) {
            const std::string f = folded(name.c_str());
            int found = -1;
            for (unsigned i = 0; i < table->num_cols; ++i) {
                auto* c = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
                if (folded(c->name) == f) {
                    found = int(i);
                    break;
                }
            }
            if (found < 0)
                throw JetError("table '" + options.table + "' has no column '" + name + "'");
            picked.push_back(found);
        }
    }

    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    std::vector<JetColumn> columns;
    for (int i : picked) {
        auto* c = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, unsigned(i)));
        JetColumn col{c->name, kindOf(c->col_type), 0};
        if (col.kind == ColumnKind::Text) col.size = jet3 ? c->col_size : c->col_size / 2;
        if (col.kind == ColumnKind::Binary && !options.columns.empty())
            throw JetError("column '" + col.name + "' holds binary data, not text");
        columns.push_back(std::move(col));
    }

    // Raised only now: a bind size set before the table definition was read
    // overflows inside the library, and a smaller one cuts memo values. A
    // value longer than the file could hold is damage, so no buffer is made
    // larger than that (a small file gets small buffers).
    const std::size_t valueCap = maxValueBytes(fileSize);
    mdb_set_bind_size(mdb.get(), std::max(mdb->bind_size, valueCap + 16));
    const std::size_t bindBytes = mdb->bind_size;
    if (sink.buffers) sink.buffers(picked.size() * (bindBytes + 1));
    std::vector<std::unique_ptr<char[]>> buffers;
    std::vector<int> lengths(picked.size(), 0);
    for (size_t k = 0; k < picked.size(); ++k) {
        // Not cleared: only the bytes the library reports are ever read.
        buffers.emplace_back(new char[bindBytes + 1]);
        if (columns[k].kind == ColumnKind::Binary) continue;
        mdb_bind_column(table.get(), picked[k] + 1, buffers.back().get(), &lengths[k]);
    }
    if (sink.table) sink.table(columns, table->num_rows);

    mdb_rewind_table(table.get());
    std::vector<JetCell> cells(picked.size());
    std::uint64_t rows = 0;
    // Text longer than its column allows: Access never stores it, so the
    // bytes that say where a value ends (or the column's size) are damaged.
    std::uint64_t overlong = 0, overlongRow = 0;
    std::string overlongColumn;
    while (mdb_fetch_row(table.get())) {
        if (++rows > table->num_rows)
            throw JetError("table '" + options.table + "' is damaged (more rows than recorded)");
        for (size_t k = 0; k < picked.size(); ++k) {
            const int n = std::clamp(lengths[k], 0, int(bindBytes));
            if (size_t(n) > valueCap) {
                if (valueCap < kMaxMemoBytes)
                    throw JetError("table '" + options.table + "' is damaged: a value in row " +
                                   std::to_string(rows) + " is longer than the whole file");
                throw JetError("a memo value in row " + std::to_string(rows) +
                               " is too long to be read whole");
            }
            // The library hands back null and empty text alike, as no bytes.
            cells[k] = n > 0 && columns[k].kind != ColumnKind::Binary
                           ? JetCell{buffers[k].get(), size_t(n), false}
                           : JetCell{};
            if (columns[k].kind == ColumnKind::Text && n > columns[k].size &&
                utf16Units(buffers[k].get(), size_t(n)) > size_t(columns[k].size) &&
                overlong++ == 0) {
                overlongRow = rows;
                overlongColumn = columns[k].name;
            }
            lengths[k] = 0;
        }
        if (sink.row) sink.row(cells);
    }
    if (rows != table->num_rows)
        throw JetError("table '" + options.table + "' is damaged: it records " +
                       std::to_string(table->num_rows) + " rows, " + std::to_string(rows) +
                       " could be read");
    if (overlong > 0 && sink.warning)
        sink.warning(std::to_string(overlong) + (overlong == 1 ? " value is" : " values are") +
                     " longer than the column allows (the first in row " +
                     std::to_string(overlongRow) + ", column '" + overlongColumn + "')");
}

// The library follows page numbers from the file without checking them:
// only whole pages, and enough of them for the catalog, are handed over.
void checkShape(const unsigned char* head, std::size_t headSize, std::uint64_t fileSize)
{
    const JetHeader h = probeJetHeader(head, headSize);
    if (h.version == JetVersion::None) throw JetError("the file is not an Access database");
    if (fileSize % h.pageSize != 0)
        throw JetError("the file is damaged or incomplete (its size is not a whole number of "
                       "pages)");
    if (fileSize < 3 * h.pageSize) throw JetError("the file is damaged or incomplete");
}

} // namespace

void readJetFile(const std::string& path, const JetReadOptions& options, const JetSink& sink)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw JetError(std::strerror(errno));
    unsigned char head[64] = {};
    const size_t got = std::fread(head, 1, sizeof head, f);
    struct stat st
    {
    };
    const int rc = ::fstat(fileno(f), &st);
    std::fclose(f);
    if (rc != 0) throw JetError(std::strerror(errno));
    checkShape(head, got, std::uint64_t(st.st_size));
    readHandle(mdb_open(path.c_str(), MDB_NOFLAGS), std::uint64_t(st.st_size), options, sink);
}

void readJetBytes(const unsigned char* bytes, std::size_t size, const JetReadOptions& options,
                  const JetSink& sink)
{
    checkShape(bytes, size, size);
    readHandle(mdb_open_buffer(const_cast<unsigned char*>(bytes), size, MDB_NOFLAGS), size, options,
               sink);
}

} // namespace vidra::legacy
