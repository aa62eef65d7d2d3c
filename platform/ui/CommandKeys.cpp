#include "platform/ui/CommandKeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>

namespace vidra::ui {

namespace {

QKeySequence sequenceOf(const QKeyEvent* e)
{
    const int key = e->key();
    if (key == 0 || key == Qt::Key_unknown || key == Qt::Key_Shift || key == Qt::Key_Control ||
        key == Qt::Key_Alt || key == Qt::Key_Meta)
        return {};
    const Qt::KeyboardModifiers mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                         Qt::AltModifier | Qt::MetaModifier);
    return QKeySequence(QKeyCombination(mods, Qt::Key(key)));
}

QAction* findIn(QMenu* menu, const QKeySequence& key, int depth = 0)
{
    if (!menu || depth > 8) return nullptr;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        if (a->menu()) {
            if (QAction* sub = findIn(a->menu(), key, depth + 1)) return sub;
            continue;
        }
        if (!a->shortcut().isEmpty() && a->shortcut() == key) return a;
    }
    return nullptr;
}

} // namespace

CommandKeys::CommandKeys(QWidget* window) : QObject(window), m_window(window)
{
    qApp->installEventFilter(this);
}

CommandKeys::~CommandKeys()
{
    if (qApp) qApp->removeEventFilter(this);
}

void CommandKeys::addCommand(QAction* action)
{
    action->setShortcutContext(Qt::WidgetShortcut);
    m_commands.emplace_back(action);
}

void CommandKeys::setPopupMenu(QWidget* control, QMenu* menu)
{
    for (QAction* a : menu->actions())
        a->setShortcutContext(Qt::WidgetShortcut);
    m_popups.insert(control, menu);
}

CommandKeys::Match CommandKeys::match(QWidget* focus, const QKeySequence& key)
{
    if (key.isEmpty() || !m_window) return {};
    for (QWidget* w = focus; w; w = w->parentWidget()) {
        const auto it = m_popups.constFind(w);
        if (it != m_popups.constEnd()) {
            if (QAction* a = findIn(it->data(), key)) return {a->isEnabled() ? a : nullptr, true};
        }
        if (w == m_window) break;
    }
    if (updateCommands) updateCommands();
    for (const auto& a : m_commands)
        if (a && a->isEnabled() && a->shortcut() == key) return {a.data(), true};
    return {};
}

bool CommandKeys::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !m_window || widget->window() != m_window) return false;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != m_window)
        return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    const Match m = match(widget, sequenceOf(ke));
    if (!m.taken) return false;
    if (type == QEvent::ShortcutOverride) {
        // Claim the key, so it comes back as a key press that is ours to run.
        ke->accept();
        return true;
    }
    if (m.action) {
        if (updateCommands) updateCommands();
        if (m.action->isEnabled()) m.action->trigger();
    }
    return true;
}

} // namespace vidra::ui
