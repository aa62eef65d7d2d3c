#include "platform/dbaware/GridLayout.h"

#include <algorithm>
#include <cmath>

namespace vidra::gridlayout {

namespace {

int lastVisible(const std::vector<DbGridColumn>& columns)
{
    for (int i = int(columns.size()) - 1; i >= 0; --i)
        if (columns[size_t(i)].visible) return i;
    return -1;
}

} // namespace

int dataRowHeight(int fontHeight, int rowLine)
{
    return fontHeight + 3 + rowLine;
}

int titleRowHeight(int fontHeight)
{
    return fontHeight + 4;
}

int wholeRows(const Frame& frame, int clientHeight)
{
    const int free = clientHeight - frame.titleExtent();
    return std::max(1, free / frame.rowPitch());
}

QRect cellRect(const Frame& frame, const std::vector<DbGridColumn>& columns, int gridColumn,
               int gridRow)
{
    int y;
    int h;
    if (gridRow == 0) {
        if (!frame.titles) return {};
        y = 0;
        h = frame.titleHeight;
    } else if (gridRow > 0) {
        y = frame.titleExtent() + (gridRow - 1) * frame.rowPitch();
        h = frame.rowHeight;
    } else {
        return {};
    }
    if (gridColumn == 0) {
        if (!frame.indicator) return {};
        return {0, y, frame.indicatorWidth, h};
    }
    const int index = gridColumn - 1;
    if (index < 0 || index >= int(columns.size()) || !columns[size_t(index)].visible) return {};
    int x = frame.indicatorExtent();
    for (int i = 0; i < index; ++i)
        if (columns[size_t(i)].visible) x += columns[size_t(i)].width + frame.columnLine;
    return {x, y, columns[size_t(index)].width, h};
}

int gridRowAt(const Frame& frame, int y, int paintedRows)
{
    if (y < 0) return -1;
    const int title = frame.titleExtent();
    if (y < title) return 0;
    const int row = (y - title) / frame.rowPitch();
    return row < paintedRows ? row + 1 : -1;
}

int usableWidth(const Frame& frame, int clientWidth, int columnCount)
{
    return clientWidth - (frame.indicator ? frame.indicatorWidth : 0) -
           columnCount * frame.columnLine;
}

std::vector<int> ColumnFitter::fit(const std::vector<DbGridColumn>& columns, int usable)
{
    const size_t count = columns.size();
    // Scaled from: the widths before a squeeze while one lasts, else the
    // current ones. A share is never taken below a pixel, so a column left
    // at zero or less by a squeeze still gets its part when there is room.
    if (m_wideWidths && m_wideWidths->size() != count) m_wideWidths.reset();
    std::vector<int> from(count);
    for (size_t i = 0; i < count; ++i)
        from[i] = std::max(1, m_wideWidths ? (*m_wideWidths)[i] : columns[i].width);
    long long sum = 0;
    for (size_t i = 0; i < count; ++i)
        if (columns[i].visible) sum += from[i];
    if (sum == 0) sum = 1;
    const double factor = double(usable) / double(sum);

    std::vector<int> fitted(count);
    for (size_t i = 0; i < count; ++i)
        fitted[i] = columns[i].width;
    if (factor == 1.0 && !m_wideWidths) return fitted;

    const int last = lastVisible(columns);
    long long total = 0;
    bool squeezed = false;
    for (int i = 0; i < int(count); ++i) {
        if (!columns[size_t(i)].visible || i == last) continue;
        // nearbyint under the default rounding mode sends a half to the even neighbour.
        const int w = int(std::nearbyint(double(from[size_t(i)]) * factor));
        squeezed = squeezed || w < 1;
        fitted[size_t(i)] = std::max(1, w);
        total += fitted[size_t(i)];
    }
    if (last >= 0) {
        fitted[size_t(last)] = int(usable - total);
        squeezed = squeezed || fitted[size_t(last)] < 1;
    }
    if (squeezed) {
        if (!m_wideWidths) m_wideWidths = from;
    } else if (m_wideWidths) {
        // Room again: hidden columns get back their widths from before as well.
        for (size_t i = 0; i < count; ++i)
            if (!columns[i].visible) fitted[i] = (*m_wideWidths)[i];
        m_wideWidths.reset();
    }
    return fitted;
}

void ColumnFitter::widthSet(int index, int width)
{
    if (m_wideWidths) m_wideWidths->at(size_t(index)) = width;
}

} // namespace vidra::gridlayout
