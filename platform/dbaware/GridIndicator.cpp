#include "platform/dbaware/GridIndicator.h"

#include "platform/dbaware/DbGrid.h"

namespace vidra::gridindicator {

namespace {

// 'X' is drawn, anything else is transparent.
QImage monoPicture(const char* const* lines, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (lines[y][x] == 'X') image.setPixel(x, y, qRgb(0, 0, 0));
    return image;
}

} // namespace

const QImage& currentRowMark()
{
    static const char* const lines[] = {
        "......", ".X....", ".XX...", ".XXX..", ".XXXX.", ".XXXXX",
        ".XXXX.", ".XXX..", ".XX...", ".X....", "......",
    };
    static const QImage image = monoPicture(lines, DbGrid::kMarkWidth, DbGrid::kMarkHeight);
    return image;
}

const QImage& editMark()
{
    static const char* const lines[] = {
        "XX.XX.", "..X...", "..X...", "..X...", "..X...", "..X...",
        "..X...", "..X...", "..X...", "..X...", "XX.XX.",
    };
    static const QImage image = monoPicture(lines, DbGrid::kMarkWidth, DbGrid::kMarkHeight);
    return image;
}

const QImage& insertMark()
{
    static const char* const lines[] = {
        "......", "......", "......", "X.X.X.", ".XXX..", "XXXXX.",
        ".XXX..", "X.X.X.", "......", "......", "......",
    };
    static const QImage image = monoPicture(lines, DbGrid::kMarkWidth, DbGrid::kMarkHeight);
    return image;
}

const QImage& markFor(DatasetState state)
{
    return state == DatasetState::Edit     ? editMark()
           : state == DatasetState::Insert ? insertMark()
                                           : currentRowMark();
}

// On lines 3 to 8: 7, 5, 5, 3, 3 and 1 pixels wide.
const QImage& titleArrow()
{
    static const char* const lines[] = {
        ".........", ".........", ".........", ".XXXXXXX.", "..XXXXX..",
        "..XXXXX..", "...XXX...", "...XXX...", "....X....",
    };
    static const QImage image =
        monoPicture(lines, DbGrid::kTitleArrowSize, DbGrid::kTitleArrowSize);
    return image;
}

QPoint markOrigin(const QRect& cell)
{
    return {cell.left() + cell.width() - DbGrid::kMarkWidth - 1,
            (cell.top() + cell.top() + cell.height() - DbGrid::kMarkHeight) / 2};
}

QPoint arrowOrigin(const QRect& cell)
{
    return {(cell.left() + cell.left() + cell.width() - DbGrid::kTitleArrowSize) / 2,
            (cell.top() + cell.top() + cell.height() - DbGrid::kTitleArrowSize) / 2};
}

} // namespace vidra::gridindicator
