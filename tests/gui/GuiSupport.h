#pragma once
// Helpers shared by the widget tests.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace guitest {

// Runs action on the modal widget as soon as one is shown (polling, since
// the dialog's own loop is what delivers the timer).
inline void whenModalShown(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* w = QApplication::activeModalWidget(); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        }
    });
    timer->start();
}

} // namespace guitest
