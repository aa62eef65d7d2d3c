#include "platform/dbaware/DbGrid.h"

#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/DbColumnChooser.h"
#include "platform/ui/AppError.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ModalScope.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace vidra {

namespace {

constexpr int kWheelNotch = 120;

// Monochrome pictures: 'X' is drawn, anything else is transparent.
QImage monoPicture(const char* const* lines, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (lines[y][x] == 'X') image.setPixel(x, y, qRgb(0, 0, 0));
    return image;
}

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

// A solid triangle pointing down on lines 3 to 8: 7, 5, 5, 3, 3 and 1 pixels wide.
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

} // namespace

DbGrid::DbGrid(QWidget* parent)
    : QAbstractScrollArea(parent), m_options(dgTitles | dgIndicator | dgColLines | dgRowLines |
                                             dgRowSelect | dgConfirmDelete | dgCancelOnExit),
      m_color(217, 236, 255)
{
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The pop-up opens on the release of the right button (after the press
    // moved the row), so the platform's press-time menu event is not used.
    setContextMenuPolicy(Qt::DefaultContextMenu);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(1);
    bar->installEventFilter(this);
    connect(bar, &QScrollBar::actionTriggered, this,
            ui::safeSlot([this](int action) { scrollAction(action); }));
    connect(bar, &QScrollBar::sliderReleased, this, ui::safeSlot([this] { thumbReleased(); }));
    connect(bar, &QScrollBar::valueChanged, this,
            ui::safeSlot([this](int value) { barValueChanged(value); }));

    updateRowHeights();
    updateScrollBar();
}

DbGrid::~DbGrid() = default;

Table* DbGrid::table() const
{
    return m_source ? m_source->DataSet() : nullptr;
}

bool DbGrid::tableActive() const
{
    const Table* t = table();
    return t && t->Active();
}

void DbGrid::setDataSource(DataSource* source)
{
    if (m_source == source) return;
    if (m_source) disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &DataSource::stateChanged, this, &DbGrid::onStateChanged);
        connect(source, &DataSource::dataChanged, this, &DbGrid::onDataChanged);
        connect(source, &DataSource::recordChanged, this, &DbGrid::onRecordChanged);
        connect(source, &DataSource::fieldChanged, this, [this] { viewport()->update(); });
    }
    m_wasActive = tableActive();
    m_top = 0;
    layoutChanged();
}

// ---------------------------------------------------------------- settings

void DbGrid::SetOptions(OptionSet options)
{
    if (options == m_options) return;
    m_options = options;
    layoutChanged();
}

void DbGrid::SetColor(const QColor& color)
{
    m_color = color;
    viewport()->update();
}

QColor DbGrid::AlternateRowColor() const
{
    return m_alternateColor ? *m_alternateColor : palette().color(QPalette::ToolTipBase);
}

void DbGrid::SetAlternateRowColor(const QColor& color)
{
    m_alternateColor = color;
    viewport()->update();
}

QColor DbGrid::FixedColor() const
{
    return m_fixedColor ? *m_fixedColor : palette().color(QPalette::Button);
}

void DbGrid::SetFixedColor(const QColor& color)
{
    m_fixedColor = color;
    viewport()->update();
}

void DbGrid::SetTitleArrow(bool on)
{
    m_titleArrow = on;
    viewport()->update();
}

void DbGrid::SetAutoSizeColumns(bool on)
{
    m_autoSizeColumns = on;
    FitColumns();
}

QFont DbGrid::TitleFont() const
{
    return m_titleFont ? *m_titleFont : font();
}

void DbGrid::SetTitleFont(const QFont& font)
{
    m_titleFont = font;
    layoutChanged();
}

// ---------------------------------------------------------------- columns

int DbGrid::addColumn(const QString& fieldName, const QString& caption, int width)
{
    m_columns.push_back({fieldName, caption, width, true});
    layoutChanged();
    return columnCount() - 1;
}

void DbGrid::setColumnWidth(int index, int width)
{
    DbGridColumn& c = m_columns.at(size_t(index));
    if (c.width == width) return;
    c.width = width;
    if (m_wideWidths && !m_fitting) m_wideWidths->at(size_t(index)) = width;
    FitColumns();
    viewport()->update();
}

void DbGrid::setColumnVisible(int index, bool visible)
{
    DbGridColumn& c = m_columns.at(size_t(index));
    if (c.visible == visible) return;
    c.visible = visible;
    layoutChanged();
}

void DbGrid::BeginLayout()
{
    ++m_layoutLock;
}

void DbGrid::EndLayout()
{
    if (m_layoutLock > 0 && --m_layoutLock == 0 && m_layoutPending) layoutChanged();
}

int DbGrid::lastVisibleColumn() const
{
    for (int i = columnCount() - 1; i >= 0; --i)
        if (m_columns[size_t(i)].visible) return i;
    return -1;
}

void DbGrid::FitColumns()
{
    // Before the first show the size is not yet the real one, and fitting to
    // it would lose the stored proportions to rounding.
    if (!m_autoSizeColumns || m_columns.empty() || m_fitting || !isVisible()) return;
    m_fitting = true;
    BeginLayout();

    const int usable = viewport()->width() - ((m_options & dgIndicator) ? kIndicatorWidth : 0) -
                       columnCount() * verticalLine();
    // Scaled from: the widths before a squeeze while one lasts, else the
    // current ones. A share is never taken below a pixel, so a column left
    // at zero or less by a squeeze still gets its part when there is room.
    if (m_wideWidths && m_wideWidths->size() != m_columns.size()) m_wideWidths.reset();
    std::vector<int> from(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i)
        from[i] = std::max(1, m_wideWidths ? (*m_wideWidths)[i] : m_columns[i].width);
    long long sum = 0;
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].visible) sum += from[i];
    if (sum == 0) sum = 1;
    const double factor = double(usable) / double(sum);
    if (factor != 1.0 || m_wideWidths) {
        const int last = lastVisibleColumn();
        long long total = 0;
        bool squeezed = false;
        std::vector<int> fitted(m_columns.size());
        for (size_t i = 0; i < m_columns.size(); ++i)
            fitted[i] = m_columns[i].width;
        for (int i = 0; i < columnCount(); ++i) {
            if (!m_columns[size_t(i)].visible || i == last) continue;
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
            for (size_t i = 0; i < m_columns.size(); ++i)
                if (!m_columns[i].visible) fitted[i] = (*m_wideWidths)[i];
            m_wideWidths.reset();
        }
        for (size_t i = 0; i < m_columns.size(); ++i)
            m_columns[i].width = fitted[i];
    }

    EndLayout();
    m_fitting = false;
    viewport()->update();
}

void DbGrid::ShowColumnChooser()
{
    if (!tableActive()) return;
    DbColumnChooser chooser(this);
    const QRect cell = cellRect(0, 0);
    // Just below the top-left cell, whose bottom edge is one past its last line.
    chooser.move(viewport()->mapToGlobal(QPoint(cell.left(), cell.top() + cell.height() + 1)));
    const ui::ModalScope modal;
    chooser.exec();
    viewport()->update();
}

// ---------------------------------------------------------------- geometry

int DbGrid::horizontalLine() const
{
    return (m_options & dgRowLines) ? kGridLineWidth : 0;
}

int DbGrid::verticalLine() const
{
    return (m_options & dgColLines) ? kGridLineWidth : 0;
}

int DbGrid::indicatorExtent() const
{
    return (m_options & dgIndicator) ? kIndicatorWidth + verticalLine() : 0;
}

int DbGrid::titleExtent() const
{
    return (m_options & dgTitles) ? m_titleHeight + horizontalLine() : 0;
}

bool DbGrid::hasTitleArrowCell() const
{
    return (m_options & dgTitles) && (m_options & dgIndicator);
}

int DbGrid::paintedRowCount() const
{
    const Table* t = table();
    if (!t || !t->Active()) return 1;
    const int rows = t->VisibleRowCount();
    if (rows == 0) return 1;
    return std::clamp(rows - m_top, 1, m_bufferRows);
}

int DbGrid::currentScreenRow() const
{
    const Table* t = table();
    if (!t || !t->Active()) return -1;
    if (t->VisibleRowCount() == 0) return 0; // the blank row of an empty table is the current one
    const int slot = t->CurrentPosition() - m_top;
    return slot >= 0 && slot < m_bufferRows ? slot : -1;
}

QRect DbGrid::cellRect(int gridColumn, int gridRow) const
{
    int y;
    int h;
    if (gridRow == 0) {
        if (!(m_options & dgTitles)) return {};
        y = 0;
        h = m_titleHeight;
    } else if (gridRow > 0) {
        y = titleExtent() + (gridRow - 1) * (m_rowHeight + horizontalLine());
        h = m_rowHeight;
    } else {
        return {};
    }
    if (gridColumn == 0) {
        if (!(m_options & dgIndicator)) return {};
        return {0, y, kIndicatorWidth, h};
    }
    const int index = gridColumn - 1;
    if (index < 0 || index >= columnCount() || !m_columns[size_t(index)].visible) return {};
    int x = indicatorExtent();
    for (int i = 0; i < index; ++i)
        if (m_columns[size_t(i)].visible) x += m_columns[size_t(i)].width + verticalLine();
    return {x, y, m_columns[size_t(index)].width, h};
}

int DbGrid::gridRowAt(const QPoint& pos) const
{
    if (pos.y() < 0) return -1;
    const int title = titleExtent();
    if (pos.y() < title) return 0;
    const int row = (pos.y() - title) / (m_rowHeight + horizontalLine());
    return row < paintedRowCount() ? row + 1 : -1;
}

// ---------------------------------------------------------------- layout

void DbGrid::updateRowHeights()
{
    // The height of the text ("Wg") is the font's line height; a data row
    // also holds its grid line.
    m_rowHeight = QFontMetrics(font()).height() + 3 + horizontalLine();
    m_titleHeight = QFontMetrics(TitleFont()).height() + 4;
}

void DbGrid::updateBufferRows()
{
    const int free = viewport()->height() - titleExtent();
    m_bufferRows = std::max(1, free / (m_rowHeight + horizontalLine()));
}

void DbGrid::layoutChanged()
{
    if (m_layoutLock > 0) {
        m_layoutPending = true;
        return;
    }
    m_layoutPending = false;
    updateRowHeights();
    updateBufferRows();
    followTable();
    updateScrollBar();
    FitColumns();
    viewport()->update();
}

void DbGrid::followTable()
{
    const Table* t = table();
    if (!t || !t->Active()) {
        m_top = 0;
        return;
    }
    const int rows = t->VisibleRowCount();
    const int current = t->CurrentPosition();
    if (current >= 0) {
        if (current < m_top)
            m_top = current;
        else if (current >= m_top + m_bufferRows)
            m_top = current - m_bufferRows + 1;
    }
    // Keep the window full when there are records above it.
    m_top = std::clamp(m_top, 0, std::max(0, rows - m_bufferRows));
}

void DbGrid::updateScrollBar()
{
    const Table* t = table();
    ScrollInfo s;
    if (t && t->Active()) {
        if (t->CanNumberRows()) {
            s.minimum = 1;
            s.page = m_bufferRows;
            s.maximum = t->RecordCount() + m_bufferRows - 1;
            // A new row has no number yet: the bar stays where it was.
            s.position = t->State() == DatasetState::Insert ? m_scroll.position : t->RecNo();
        } else {
            s.minimum = 0;
            s.maximum = 4;
            s.page = 0;
            s.position = t->Bof() ? 0 : t->Eof() ? 4 : 2;
        }
    }
    m_scroll = s;

    // Qt counts positions, not the range: the last position is max - page + 1.
    QScrollBar* bar = verticalScrollBar();
    const bool wasUpdating = m_updatingScrollBar;
    m_updatingScrollBar = true;
    bar->setRange(s.minimum, std::max(s.minimum, s.maximum - std::max(s.page - 1, 0)));
    bar->setPageStep(s.page);
    bar->setValue(s.position);
    m_updatingScrollBar = wasUpdating;
}

void DbGrid::onStateChanged()
{
    const bool active = tableActive();
    if (active != m_wasActive) {
        m_wasActive = active;
        m_top = 0;
        layoutChanged();
        return;
    }
    followTable();
    updateScrollBar();
    viewport()->update();
}

void DbGrid::onDataChanged()
{
    followTable();
    updateScrollBar();
    viewport()->update();
}

void DbGrid::onRecordChanged()
{
    followTable();
    updateScrollBar();
    viewport()->update();
}

void DbGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateBufferRows();
    followTable();
    updateScrollBar();
    FitColumns();
    viewport()->update();
}

void DbGrid::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    layoutChanged();
}

void DbGrid::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        layoutChanged();
    else if (event->type() == QEvent::PaletteChange)
        viewport()->update();
}

void DbGrid::scrollContentsBy(int, int)
{
    // The bar reflects the table; the rows follow the table, not the bar.
}

// ---------------------------------------------------------------- moving

void DbGrid::moveBy(int distance)
{
    if (distance != 0) table()->MoveBy(distance);
}

void DbGrid::moveToTopRow()
{
    const int slot = currentScreenRow();
    if (slot > 0) moveBy(-slot);
}

void DbGrid::moveToBottomRow()
{
    // MoveBy stops at the last record when fewer rows are filled.
    const int slot = std::max(0, currentScreenRow());
    moveBy(m_bufferRows - 1 - slot);
}

void DbGrid::deleteCurrent()
{
    Table* t = table();
    if (m_readOnly || !t->CanModify() || t->IsEmpty()) return;
    if ((m_options & dgConfirmDelete) &&
        ui::confirmation(QStringLiteral("Delete record?")) != ui::Answer::Yes)
        return;
    t->Delete(); // the table's own before-delete rule may still stop it
}

void DbGrid::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        // Tab belongs to the window's focus chain.
        event->ignore();
        return;
    }
    event->accept();
    // Errors of the table go to the application's error box from here, never
    // through Qt's own frames.
    ui::guarded([&] {
        if (!tableActive()) return;
        Table* t = table();
        const bool ctrl = event->modifiers() & Qt::ControlModifier;
        switch (key) {
        case Qt::Key_Up:
            ctrl ? moveToTopRow() : moveBy(-1);
            break;
        case Qt::Key_Left:
            if (!ctrl) moveBy(-1);
            break;
        case Qt::Key_Down:
            ctrl ? moveToBottomRow() : moveBy(1);
            break;
        case Qt::Key_Right:
            if (!ctrl) moveBy(1);
            break;
        case Qt::Key_PageUp:
            ctrl ? moveToTopRow() : moveBy(-m_bufferRows);
            break;
        case Qt::Key_PageDown:
            ctrl ? moveToBottomRow() : moveBy(m_bufferRows);
            break;
        case Qt::Key_Home:
            t->First();
            break;
        case Qt::Key_End:
            t->Last();
            break;
        case Qt::Key_Delete:
            if (ctrl) deleteCurrent();
            break;
        default:
            break; // no cell editor, no insert: nothing else has an effect
        }
    });
}

void DbGrid::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void DbGrid::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void DbGrid::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (focusPolicy() & Qt::ClickFocus) setFocus(Qt::MouseFocusReason);
    ui::guarded([&] {
        if (!tableActive()) return;
        const int row = gridRowAt(event->position().toPoint());
        if (row >= 1) moveBy((row - 1) - std::max(0, currentScreenRow()));
    });
}

void DbGrid::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const QPoint pos = event->position().toPoint();
    ui::guarded([&] {
        FitColumns();
        if (event->button() == Qt::LeftButton) {
            if (m_titleArrow && hasTitleArrowCell() && tableActive() &&
                topLeftCellRect().contains(pos))
                ShowColumnChooser();
        } else if (event->button() == Qt::RightButton) {
            if (m_popup) m_popup->popup(event->globalPosition().toPoint());
        }
    });
}

void DbGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    // The first click of the pair has already moved the row.
    event->accept();
    emit doubleClicked();
}

void DbGrid::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
}

void DbGrid::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    // A mouse click opens the menu on release; only the keyboard's menu key comes here.
    if (event->reason() != QContextMenuEvent::Mouse) popupAtCurrentRow();
}

void DbGrid::popupAtCurrentRow()
{
    if (!m_popup) return;
    QRect cell = cellRect(0, currentScreenRow() + 1);
    if (!cell.isValid()) cell = viewport()->rect();
    m_popup->popup(viewport()->mapToGlobal(cell.center()));
}

void DbGrid::moveByWheel(bool down, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool page = down ? bool(held & Qt::ControlModifier) : held == Qt::ControlModifier;
    const int rows = page ? m_bufferRows - 1 : 1;
    moveBy(down ? rows : -rows);
}

void DbGrid::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (!tableActive()) return;
    int delta = event->angleDelta().y();
    if (delta == 0 && (event->modifiers() & Qt::AltModifier))
        delta = event->angleDelta().x(); // some platforms turn Alt+wheel sideways
    m_wheelRemainder += delta;
    ui::guarded([&] {
        while (m_wheelRemainder >= kWheelNotch) {
            m_wheelRemainder -= kWheelNotch;
            moveByWheel(false, event->modifiers());
        }
        while (m_wheelRemainder <= -kWheelNotch) {
            m_wheelRemainder += kWheelNotch;
            moveByWheel(true, event->modifiers());
        }
    });
}

bool DbGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == verticalScrollBar() && scrollBarEvent(event)) return true;
    return QAbstractScrollArea::eventFilter(watched, event);
}

bool DbGrid::scrollBarEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Wheel:
        // The wheel over the scroll bar moves records like the wheel over the rows.
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    case QEvent::ContextMenu: {
        // The bar is part of the grid: its own menu ("Scroll here", ...) never
        // opens, the grid's does, on the release of the right button as over
        // the rows (or here, for the keyboard's menu key).
        auto* e = static_cast<QContextMenuEvent*>(event);
        e->accept();
        if (e->reason() != QContextMenuEvent::Mouse) popupAtCurrentRow();
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::RightButton) return false;
        e->accept();
        // No row lies under the bar: the right press moves nothing.
        if (event->type() != QEvent::MouseButtonRelease) {
            if (focusPolicy() & Qt::ClickFocus) setFocus(Qt::MouseFocusReason);
        } else if (m_popup) {
            m_popup->popup(e->globalPosition().toPoint());
        }
        return true;
    }
    default:
        return false;
    }
}

void DbGrid::scrollAction(int action)
{
    if (m_updatingScrollBar) return;
    QScrollBar* bar = verticalScrollBar();
    if (action == QAbstractSlider::SliderMove || action == QAbstractSlider::SliderNoAction) {
        // Dragging the thumb moves nothing until it is released; a position
        // set without dragging (a click that jumps there) moves at once.
        if (action == QAbstractSlider::SliderMove && !bar->isSliderDown())
            jumpTo(bar->sliderPosition());
        return;
    }
    followedByBar([&] {
        if (tableActive()) {
            Table* t = table();
            const int slot = std::max(0, currentScreenRow());
            switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                moveBy(-slot - 1);
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                moveBy(paintedRowCount() - slot);
                break;
            case QAbstractSlider::SliderPageStepSub:
                moveBy(-m_bufferRows);
                break;
            case QAbstractSlider::SliderPageStepAdd:
                moveBy(m_bufferRows);
                break;
            case QAbstractSlider::SliderToMinimum:
                t->First();
                break;
            case QAbstractSlider::SliderToMaximum:
                t->Last();
                break;
            default:
                break;
            }
        }
    });
}

void DbGrid::followedByBar(const std::function<void()>& move)
{
    try {
        move();
    } catch (...) {
        // The bar goes back to the record, wherever the failed move left it.
        updateScrollBar();
        throw;
    }
    updateScrollBar();
}

void DbGrid::thumbReleased()
{
    jumpTo(verticalScrollBar()->sliderPosition());
}

void DbGrid::barValueChanged(int value)
{
    // A value set on the bar from outside (a "Scroll here" of the platform,
    // an accessibility tool) is a jump. The grid's own updates, the actions
    // (handled as they come) and a thumb still held change nothing here.
    if (m_updatingScrollBar || verticalScrollBar()->isSliderDown()) return;
    if (value == m_scroll.position) return;
    jumpTo(value);
}

void DbGrid::jumpTo(int pos)
{
    followedByBar([&] {
        if (tableActive()) {
            Table* t = table();
            if (t->CanNumberRows()) {
                if (pos <= 1)
                    t->First();
                else if (pos >= t->RecordCount())
                    t->Last();
                else
                    t->SetRecNo(pos);
            } else {
                switch (pos) {
                case 0:
                    t->First();
                    break;
                case 1:
                    moveBy(-m_bufferRows);
                    break;
                case 3:
                    moveBy(m_bufferRows);
                    break;
                case 4:
                    t->Last();
                    break;
                default:
                    break;
                }
            }
        }
    });
}

// ---------------------------------------------------------------- painting

void DbGrid::paintLines(QPainter& p, const QRect& cell, const QColor& color)
{
    const int v = verticalLine();
    const int h = horizontalLine();
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
            if (m_titleArrow) {
                const int x = (cell.left() + cell.left() + cell.width() - kTitleArrowSize) / 2;
                const int y = (cell.top() + cell.top() + cell.height() - kTitleArrowSize) / 2;
                p.drawImage(x, y, titleArrow());
            }
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
            if (current) {
                const QImage& mark = t->State() == DatasetState::Edit     ? editMark()
                                     : t->State() == DatasetState::Insert ? insertMark()
                                                                          : currentRowMark();
                const int x = cell.left() + cell.width() - kMarkWidth - 1;
                const int y = (cell.top() + cell.top() + cell.height() - kMarkHeight) / 2;
                p.drawImage(x, y, mark);
            }
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
