#include "ui/Funkcije.h"

#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace {

// One handler per form, filtering the key presses of its hooked controls
// before the controls see them.
class EnterEscapeHandler : public QObject
{
public:
    explicit EnterEscapeHandler(QWidget* form) : QObject(form), m_form(form)
    {
        setObjectName(QStringLiteral("EnterEscapeHandler"));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) return false;
        auto* control = qobject_cast<QWidget*>(watched);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (!control || !m_form) return false;
        if (control == m_form) {
            // A dialog would close on an Escape that an unhooked control (a
            // multi-line box) passed on; here only hooked controls close it.
            return key == Qt::Key_Escape;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (auto* button = qobject_cast<QPushButton*>(control))
                button->click(); // a focused button takes Enter as a click
            else
                FocusNextControl(control);
            return true;
        }
        if (key == Qt::Key_Escape) {
            m_form->close();
            return true;
        }
        return false;
    }

private:
    QPointer<QWidget> m_form;
};

bool isHooked(QWidget* w)
{
    // Edit boxes are single-line by kind here; multi-line boxes are other classes.
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QPushButton*>(w);
}

} // namespace

void FocusNextControl(QWidget* from)
{
    QWidget* form = from->window();
    for (QWidget* w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if (w->window() == form && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
            w->isVisible()) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void InstallEnterEscape(QWidget* form)
{
    auto* handler = form->findChild<EnterEscapeHandler*>(QStringLiteral("EnterEscapeHandler"),
                                                         Qt::FindDirectChildrenOnly);
    if (!handler) handler = new EnterEscapeHandler(form);
    if (qobject_cast<QDialog*>(form)) {
        form->removeEventFilter(handler);
        form->installEventFilter(handler);
    }
    for (QWidget* w : form->findChildren<QWidget*>()) {
        if (!isHooked(w)) continue;
        w->removeEventFilter(handler);
        w->installEventFilter(handler);
    }
}
