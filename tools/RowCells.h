#pragma once
// A source row as vidra-db import reads it: one cell for each subscriber
// field, in the table's field order, the bytes of the source itself.
#include "data/Schema.h"
#include "platform/legacy/LegacyReader.h"

#include <QString>
#include <QUtf8StringView>
#include <array>
#include <cstddef>

namespace vidradb {

using vidra::legacy::Cell;

constexpr size_t kFields = vidra::kSubscriberFields.size();
static_assert(kFields == 5);
using RowCells = std::array<Cell, kFields>;

inline QString fieldName(size_t i)
{
    return QLatin1String(vidra::kSubscriberFields[i].name);
}

// A cell as the record rules read it: null is an empty text.
inline QUtf8StringView cellView(const Cell& c)
{
    return c.null ? QUtf8StringView() : QUtf8StringView(c.data, qsizetype(c.size));
}

inline QString cellText(const Cell& c)
{
    return c.null ? QString() : QString::fromUtf8(c.data, qsizetype(c.size));
}

} // namespace vidradb
