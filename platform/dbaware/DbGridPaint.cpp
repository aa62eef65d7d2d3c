// What the grid paints: the title row, the indicator column with the mark
// of the current row, striped data rows with the current one highlighted
// while the grid has the focus, and the grid lines.
#include "platform/db/Table.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/dbaware/GridIndicator.h"
#include "platform/dbaware/GridLayout.h"

#include <QPainter>
#include <algorithm>

namespace vidra {

void DbGrid::paintLines(QPainter& p, const QRect& cell, const QColor& color)
{
    const gridlayout::Frame f = frame();
    const int v = f.columnLine;
    const int h = f.rowLine;
    if (v) p.fillRect(QRect(cell.left() + cell.width(), cell.top(), v, cell.height() + h), color);
    if (h) p.fillRect(QRect(cell.left(), cell.top() + cell.height(), cell.width(), h), color);
}

void DbGrid::paintFixedCell(QPainter& p, const QRect& cell)
{
    p.fillRect(cell, FixedColor());
    if (!(m_options & dgColLines) || !(m_options & dgRowLines)) return;
    // A raised inner bevel: light on the top and left, shadow on the bottom and right.
    const QColor light = palette().color(QPalette::Active, QPalette::Light);
    const QColor shadow = palette().color(QPalette::Active, QPalette::Dark);
    p.fillRect(QRect(cell.left(), cell.top(), cell.width(), 1), light);
    p.fillRect(QRect(cell.left(), cell.top(), 1, cell.height()), light);
    p.fillRect(QRect(cell.left(), cell.top() + cell.height() - 1, cell.width(), 1), shadow);
    p.fillRect(QRect(cell.left() + cell.width() - 1, cell.top(), 1, cell.height()), shadow);
}

void DbGrid::paintDataCell(QPainter& p, const QRect& cell, int gridRow, int column, int position,
                           bool current)
{
    QColor background = m_color;
    const QColor alternate = AlternateRowColor();
    // Stripes follow the screen position: the second, fourth, ... visible row.
    if (alternate.isValid() && alternate != m_color && (gridRow + 1) % 2 == 1)
        background = alternate;
    QColor text = palette().color(QPalette::Active, QPalette::WindowText);
    const bool selectionShown = hasFocus() || (m_options & dgAlwaysShowSelection);
    if (current && selectionShown) {
        background = palette().color(QPalette::Active, QPalette::Highlight);
        text = palette().color(QPalette::Active, QPalette::HighlightedText);
    }
    p.fillRect(cell, background);
    if (column < 0 || position < 0) return;
    const QRect textRect = cell.adjusted(2, 2, -1, -1);
    // No glyph is narrower than a pixel: what lies beyond the cell's width in
    // characters is never seen, and laying out megabytes would stall painting.
    const QString value =
        table()->DisplayText(position, column).left(std::max(textRect.width(), 0) + 1);
    if (value.isEmpty()) return;
    p.save();
    p.setClipRect(textRect);
    p.setPen(text);
    // No mnemonic flag: an ampersand shows as itself.
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs, value);
    p.restore();
}

void DbGrid::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), m_color);

    Table* t = table();
    const bool active = t && t->Active();
    const QColor fixedLine(0, 0, 0);
    const QColor dataLine =
        m_color == QColor(192, 192, 192) ? QColor(128, 128, 128) : QColor(192, 192, 192);
    const bool indicator = m_options & dgIndicator;

    // Field index of each column, looked up once per paint.
    std::vector<int> fieldOf(m_columns.size(), -1);
    if (active)
        for (size_t i = 0; i < m_columns.size(); ++i)
            if (const Field* f = t->FindField(m_columns[i].fieldName)) fieldOf[i] = f->Index();

    if (m_options & dgTitles) {
        if (indicator) {
            const QRect cell = cellRect(0, 0);
            paintFixedCell(p, cell);
            if (m_titleArrow)
                p.drawImage(gridindicator::arrowOrigin(cell), gridindicator::titleArrow());
            paintLines(p, cell, fixedLine);
        }
        p.setFont(TitleFont());
        const QColor text = palette().color(QPalette::Active, QPalette::WindowText);
        for (int i = 0; i < columnCount(); ++i) {
            const QRect cell = cellRect(i + 1, 0);
            if (cell.width() <= 0) continue;
            paintFixedCell(p, cell);
            p.save();
            p.setClipRect(cell.adjusted(1, 1, -1, -1));
            p.setPen(text);
            p.drawText(cell.adjusted(2, 2, -1, -1), Qt::AlignLeft | Qt::AlignTop,
                       m_columns[size_t(i)].title);
            p.restore();
            paintLines(p, cell, fixedLine);
        }
    }

    p.setFont(font());
    const int rows = paintedRowCount();
    const int currentRow = currentScreenRow();
    const int records = active ? t->VisibleRowCount() : 0;
    for (int r = 0; r < rows; ++r) {
        const int gridRow = r + 1;
        const int position = m_top + r < records ? m_top + r : -1;
        const bool current = active && r == currentRow;
        if (indicator) {
            const QRect cell = cellRect(0, gridRow);
            paintFixedCell(p, cell);
            if (current)
                p.drawImage(gridindicator::markOrigin(cell), gridindicator::markFor(t->State()));
            paintLines(p, cell, fixedLine);
        }
        for (int i = 0; i < columnCount(); ++i) {
            const QRect cell = cellRect(i + 1, gridRow);
            if (cell.width() <= 0) continue;
            paintDataCell(p, cell, gridRow, fieldOf[size_t(i)], position, current);
            paintLines(p, cell, dataLine);
        }
    }

    // A dotted focus rectangle around the data cells of the current row.
    if (active && hasFocus() && currentRow >= 0) {
        QRect band;
        for (int i = 0; i < columnCount(); ++i) {
            const QRect cell = cellRect(i + 1, currentRow + 1);
            if (cell.width() > 0) band = band.isNull() ? cell : band.united(cell);
        }
        if (!band.isNull()) {
            const QColor h = palette().color(QPalette::Active, QPalette::Highlight);
            p.setPen(QColor(255 - h.red(), 255 - h.green(), 255 - h.blue()));
            for (int x = band.left(); x <= band.right(); ++x) {
                if ((x + band.top()) % 2 == 0) p.drawPoint(x, band.top());
                if ((x + band.bottom()) % 2 == 0) p.drawPoint(x, band.bottom());
            }
            for (int y = band.top() + 1; y < band.bottom(); ++y) {
                if ((band.left() + y) % 2 == 0) p.drawPoint(band.left(), y);
                if ((band.right() + y) % 2 == 0) p.drawPoint(band.right(), y);
            }
        }
    }
}

} // namespace vidra
