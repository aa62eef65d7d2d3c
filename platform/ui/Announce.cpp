#include "platform/ui/Announce.h"

namespace vidra::ui {

namespace {
AnnounceHook* g_hook = nullptr;
} // namespace

bool announcing()
{
    return g_hook || QAccessible::isActive();
}

void announce(QAccessibleEvent& event)
{
    if (!g_hook) {
        if (QAccessible::isActive()) QAccessible::updateAccessibility(&event);
        return;
    }
    QAccessibleInterface* iface = event.accessibleInterface();
    AnnounceHook::Heard heard{event.type(), QAccessible::NoRole, {}, -1, -1};
    if (iface) {
        heard.role = iface->role();
        heard.name = iface->text(QAccessible::Name);
        if (QAccessibleTableCellInterface* cell = iface->tableCellInterface()) {
            heard.row = cell->rowIndex();
            heard.column = cell->columnIndex();
        }
    }
    g_hook->m_heard.push_back(heard);
}

AnnounceHook::AnnounceHook() : m_previous(g_hook)
{
    g_hook = this;
}

AnnounceHook::~AnnounceHook()
{
    g_hook = m_previous;
}

} // namespace vidra::ui
