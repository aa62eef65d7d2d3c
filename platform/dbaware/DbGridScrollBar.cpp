// The grid's vertical scroll bar: it shows where the current record stands,
// and every change made on it (an arrow, a page, a released thumb, a jump,
// the wheel) moves the record. Right clicks on it belong to the grid.
#include "platform/db/Table.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/dbaware/GridScroll.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

namespace vidra {

void DbGrid::updateScrollBar()
{
    const Table* t = table();
    ScrollInfo s;
    if (t && t->Active()) {
        if (t->CanNumberRows()) {
            const int count = t->RecordCount();
            // A new row has no number yet: the bar stays where it was.
            const int recNo = t->State() == DatasetState::Insert ? m_scroll.position : t->RecNo();
            s = gridscroll::numberedBar(count, recNo, m_bufferRows);
        } else {
            s = gridscroll::fivePositionBar(t->Bof(), t->Eof());
        }
    }
    m_scroll = s;

    QScrollBar* bar = verticalScrollBar();
    const gridscroll::SliderRange range = gridscroll::sliderRange(s);
    const bool wasUpdating = m_updatingScrollBar;
    m_updatingScrollBar = true;
    bar->setRange(range.minimum, range.maximum);
    bar->setPageStep(range.pageStep);
    bar->setValue(s.position);
    m_updatingScrollBar = wasUpdating;
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
        if (!tableActive()) return;
        Table* t = table();
        const gridscroll::Jump jump = t->CanNumberRows()
                                          ? gridscroll::numberedJump(pos, t->RecordCount())
                                          : gridscroll::fivePositionJump(pos);
        switch (jump.kind) {
        case gridscroll::Jump::First:
            t->First();
            break;
        case gridscroll::Jump::Last:
            t->Last();
            break;
        case gridscroll::Jump::Record:
            t->SetRecNo(jump.recNo);
            break;
        case gridscroll::Jump::PageUp:
            moveBy(-m_bufferRows);
            break;
        case gridscroll::Jump::PageDown:
            moveBy(m_bufferRows);
            break;
        case gridscroll::Jump::None:
            break;
        }
    });
}

} // namespace vidra
