#include "platform/ui/StatusBarAccessible.h"

#include "platform/ui/Announce.h"
#include "platform/ui/StatusBar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <vector>

namespace vidra::ui {

namespace {

// One panel: painted by the bar, so it has no widget of its own.
class PanelInterface : public QAccessibleInterface
{
public:
    PanelInterface(StatusBar* bar, int index) : m_bar(bar), m_index(index) {}

    bool isValid() const override { return m_bar && m_index < m_bar->panelCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override
    {
        return m_bar ? QAccessible::queryAccessibleInterface(m_bar.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        // The leading blank only indents the painted text.
        if (!isValid() || t != QAccessible::Name) return {};
        return m_bar->panelText(m_index).trimmed();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid()) return {};
        const QRect r = m_bar->panelRect(m_index);
        return {m_bar->mapToGlobal(r.topLeft()), r.size()};
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.readOnly = true;
        if (!m_bar || !m_bar->isVisible()) s.invisible = true;
        return s;
    }

private:
    QPointer<StatusBar> m_bar;
    int m_index;
};

class StatusBarInterface : public QAccessibleWidget
{
public:
    explicit StatusBarInterface(StatusBar* bar) : QAccessibleWidget(bar, QAccessible::StatusBar) {}
    ~StatusBarInterface() override
    {
        for (QAccessible::Id id : m_panels)
            if (id) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override
    {
        return bar()->panelCount() + QAccessibleWidget::childCount();
    }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0) return nullptr;
        const int panels = bar()->panelCount();
        if (index >= panels) return QAccessibleWidget::child(index - panels);
        if (m_panels.size() < size_t(panels)) m_panels.resize(size_t(panels), 0);
        QAccessible::Id& id = m_panels[size_t(index)];
        if (!id) id = QAccessible::registerAccessibleInterface(new PanelInterface(bar(), index));
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child) return -1;
        if (child->object()) {
            const int widgetIndex = QAccessibleWidget::indexOfChild(child);
            return widgetIndex < 0 ? -1 : bar()->panelCount() + widgetIndex;
        }
        for (size_t i = 0; i < m_panels.size(); ++i)
            if (m_panels[i] && QAccessible::accessibleInterface(m_panels[i]) == child)
                return int(i);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint local = bar()->mapFromGlobal(QPoint(x, y));
        for (int i = 0; i < bar()->panelCount(); ++i)
            if (bar()->panelRect(i).contains(local)) return child(i);
        return QAccessibleWidget::childAt(x, y);
    }

private:
    StatusBar* bar() const { return static_cast<StatusBar*>(widget()); }
    // Made when first asked for; the bar keeps its panels for its lifetime.
    mutable std::vector<QAccessible::Id> m_panels;
};

QAccessibleInterface* statusBarFactory(const QString&, QObject* object)
{
    if (auto* bar = qobject_cast<StatusBar*>(object)) return new StatusBarInterface(bar);
    return nullptr;
}

} // namespace

void installStatusBarAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(statusBarFactory);
        return true;
    }();
    (void)installed;
}

void announcePanelText(StatusBar* bar, int index)
{
    if (!announcing()) return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(bar);
    QAccessibleInterface* panel = iface ? iface->child(index) : nullptr;
    if (!panel) return;
    QAccessibleEvent event(panel, QAccessible::NameChanged);
    announce(event);
}

} // namespace vidra::ui
