#include "platform/ui/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace vidra::ui {

namespace {
// Bumped by setNormalCursor: guards from before it must not pop anything.
std::uint64_t g_generation = 0;
// Bumped by every change of the busy cursor, so a modal scope can tell
// whether the cursor was changed while its dialog was open.
std::uint64_t g_changes = 0;
} // namespace

BusyCursor::BusyCursor() : m_generation(g_generation)
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++g_changes;
}

BusyCursor::~BusyCursor()
{
    if (m_generation != g_generation) return;
    QGuiApplication::restoreOverrideCursor();
    ++g_changes;
}

void setNormalCursor()
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    ++g_generation;
    ++g_changes;
}

bool isBusyCursorShown()
{
    const QCursor* c = QGuiApplication::overrideCursor();
    return c && c->shape() == Qt::WaitCursor;
}

ModalCursorScope::ModalCursorScope() : m_changes(g_changes)
{
    if (QGuiApplication::overrideCursor()) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        m_pushed = true;
    }
}

ModalCursorScope::~ModalCursorScope()
{
    if (m_changes != g_changes)
        setNormalCursor();
    else if (m_pushed)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace vidra::ui
