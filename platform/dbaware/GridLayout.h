#pragma once
// The grid's geometry as computations over sizes: the heights of its rows,
// how many whole rows fit, where each cell lies, which row is under a point,
// and the columns fitted to the client width.
#include <QRect>
#include <QString>
#include <optional>
#include <vector>

namespace vidra {

struct DbGridColumn
{
    QString fieldName;
    QString title; // the caption in the title row
    int width = 64;
    bool visible = true;
};

namespace gridlayout {

// What the cells are laid out around: the title row and the indicator
// column where shown, the grid lines and the heights of the rows. Each cell
// has its column line on the right and its row line below.
struct Frame
{
    bool titles = true;
    bool indicator = true;
    int indicatorWidth = 0;
    int columnLine = 0; // 0 without column lines
    int rowLine = 0;    // 0 without row lines
    int titleHeight = 0;
    int rowHeight = 0;

    // Left of the first data column, and above the first data row.
    int indicatorExtent() const { return indicator ? indicatorWidth + columnLine : 0; }
    int titleExtent() const { return titles ? titleHeight + rowLine : 0; }
    // From the top of one data row to the top of the next.
    int rowPitch() const { return rowHeight + rowLine; }
};

// From the height of a line of the font: a data row also holds its row line.
int dataRowHeight(int fontHeight, int rowLine);
int titleRowHeight(int fontHeight);

// Whole data rows that fit below the title row (at least 1).
int wholeRows(const Frame& frame, int clientHeight);

// Client coordinates of a cell: grid column 0 is the indicator, grid row 0
// the title row. Null for what is not shown (a hidden column, a title row
// or indicator switched off, an index out of range).
QRect cellRect(const Frame& frame, const std::vector<DbGridColumn>& columns, int gridColumn,
               int gridRow);

// The grid row (0 = title) under a client y, or -1 above the grid or below
// the painted rows. A row's line below it belongs to the row.
int gridRowAt(const Frame& frame, int y, int paintedRows);

// The width the visible columns share: the client width less the indicator
// and one column line for every column, hidden ones included.
int usableWidth(const Frame& frame, int clientWidth, int columnCount);

// Fits the visible columns to exactly the usable width, in proportion; the
// last visible column takes the remainder of the rounding. It remembers the
// widths from before the width became too small to give every visible column
// a pixel of its share, and scales from those until there is room again, so
// squeezed columns do not stay squeezed.
class ColumnFitter
{
public:
    // The new widths of all columns; hidden columns keep theirs (or get back
    // those from before a squeeze, once it is over).
    std::vector<int> fit(const std::vector<DbGridColumn>& columns, int usable);
    // A width set from outside while squeezed is the one to scale from.
    void widthSet(int index, int width);
    bool squeezed() const { return m_wideWidths.has_value(); }

private:
    std::optional<std::vector<int>> m_wideWidths;
};

} // namespace gridlayout
} // namespace vidra
