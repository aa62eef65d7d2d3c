#pragma once
// The grid's monochrome pictures: the marks of the current row in the
// indicator column and the arrow of the top-left cell that opens the column
// chooser, and where each sits in its cell.
#include "platform/db/Table.h"

#include <QImage>
#include <QPoint>
#include <QRect>

namespace vidra::gridindicator {

// The marks are DbGrid::kMarkWidth by kMarkHeight pixels, the arrow
// kTitleArrowSize square; black where drawn, transparent elsewhere.

// A triangle pointing right: the current row while browsing.
const QImage& currentRowMark();
// An I-beam: the current row is being edited.
const QImage& editMark();
// An asterisk: the current row is a new one.
const QImage& insertMark();
// The mark of the current row while the table is in the given state.
const QImage& markFor(DatasetState state);
// A solid triangle pointing down.
const QImage& titleArrow();

// Right-aligned one pixel from the cell's right edge, centred in height.
QPoint markOrigin(const QRect& cell);
// Centred in the cell.
QPoint arrowOrigin(const QRect& cell);

} // namespace vidra::gridindicator
