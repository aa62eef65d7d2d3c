#include "platform/dbaware/DbGrid.h"

#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/DbColumnChooser.h"
#include "platform/dbaware/DbGridAccessible.h"
#include "platform/ui/AppError.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ModalScope.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

namespace vidra {

namespace {

constexpr int kWheelNotch = 120;

} // namespace

DbGrid::DbGrid(QWidget* parent)
    : QAbstractScrollArea(parent), m_options(dgTitles | dgIndicator | dgColLines | dgRowLines |
                                             dgRowSelect | dgConfirmDelete | dgCancelOnExit),
      m_color(217, 236, 255)
{
    // Before anything asks for this grid's interface.
    gridaccess::install();
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
    if (!m_fitting) m_fitter.widthSet(index, width);
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

void DbGrid::FitColumns()
{
    // Before the first show the size is not yet the real one, and fitting to
    // it would lose the stored proportions to rounding.
    if (!m_autoSizeColumns || m_columns.empty() || m_fitting || !isVisible()) return;
    m_fitting = true;
    BeginLayout();

    const std::vector<int> widths = m_fitter.fit(
        m_columns, gridlayout::usableWidth(frame(), viewport()->width(), columnCount()));
    for (size_t i = 0; i < m_columns.size(); ++i)
        m_columns[i].width = widths[i];

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

gridlayout::Frame DbGrid::frame() const
{
    gridlayout::Frame f;
    f.titles = bool(m_options & dgTitles);
    f.indicator = bool(m_options & dgIndicator);
    f.indicatorWidth = kIndicatorWidth;
    f.columnLine = (m_options & dgColLines) ? kGridLineWidth : 0;
    f.rowLine = (m_options & dgRowLines) ? kGridLineWidth : 0;
    f.titleHeight = m_titleHeight;
    f.rowHeight = m_rowHeight;
    return f;
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
    return gridlayout::cellRect(frame(), m_columns, gridColumn, gridRow);
}

int DbGrid::gridRowAt(const QPoint& pos) const
{
    return gridlayout::gridRowAt(frame(), pos.y(), paintedRowCount());
}

// ---------------------------------------------------------------- layout

void DbGrid::updateRowHeights()
{
    // The height of the text ("Wg") is the font's line height; a data row
    // also holds its grid line.
    m_rowHeight = gridlayout::dataRowHeight(QFontMetrics(font()).height(), frame().rowLine);
    m_titleHeight = gridlayout::titleRowHeight(QFontMetrics(TitleFont()).height());
}

void DbGrid::updateBufferRows()
{
    m_bufferRows = gridlayout::wholeRows(frame(), viewport()->height());
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
    gridaccess::shapeChanged(this);
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
    gridaccess::shapeChanged(this); // an insert shows one row more
}

void DbGrid::onDataChanged()
{
    followTable();
    updateScrollBar();
    viewport()->update();
    gridaccess::rowsReread(this);
}

void DbGrid::onRecordChanged()
{
    followTable();
    updateScrollBar();
    viewport()->update();
    gridaccess::currentChanged(this);
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
    gridaccess::focusGained(this);
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

} // namespace vidra
