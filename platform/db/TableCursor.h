#pragma once
// A Table's state over its snapshot: which rows pass the filter, the current
// one, and the row being edited or inserted. For platform/db only.
#include "platform/db/Table.h"
#include "platform/db/TableScan.h"
#include "platform/db/TableSnapshot.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vidra {

struct Table::Impl
{
    Snapshot snap;
    bool useVisible = false;
    std::vector<uint32_t> visible; // rows passing the filter, while filtered
    std::optional<RowFilter> filter;
    PrefixKeys prefixKeys; // of snap, for the filter's scans
    int pos = -1;
    bool bof = true;
    bool eof = true;
    // Pending row while editing or inserting.
    std::vector<std::optional<QString>> buffer;
    std::vector<bool> modified;
    int posBeforeInsert = -1;
    bool bofBeforeInsert = true;
    bool eofBeforeInsert = true;

    size_t count() const { return useVisible ? visible.size() : snap.rows(); }
    size_t rowAt(size_t position) const { return useVisible ? visible[position] : position; }

    // What a post writes: every field of a new row; of an edited row, the
    // fields typed into whose value now differs from the one read, so that
    // an untouched value goes back to the file exactly as it came.
    std::vector<int> changedFields(bool inserting) const
    {
        std::vector<int> out;
        for (size_t f = 0; f < buffer.size(); ++f) {
            if (!inserting) {
                if (!modified[f]) continue;
                const RowFilter::Cell was = snap.cell(rowAt(size_t(pos)), int(f));
                const auto& now = buffer[f];
                if (was.data ? now && cellText(was) == *now : !now) continue;
            }
            out.push_back(int(f));
        }
        return out;
    }

    void applyFilter()
    {
        visible.clear();
        useVisible = filter.has_value();
        if (!useVisible) return;
        visible = scanRows(snap, *filter, prefixKeys);
    }

    void first()
    {
        pos = count() ? 0 : -1;
        bof = true;
        eof = count() == 0;
    }
};

} // namespace vidra
