#pragma once
// Helpers shared by the widget tests.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

// Qt Test's QTRY_ macros report to Qt Test, not to GoogleTest, so a wait
// that runs out would pass silently. These wait for the condition (events
// run meanwhile), then assert it.
#define EXPECT_SOON(cond)                                                                          \
    EXPECT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, 5000)) << "still false: " #cond
#define ASSERT_SOON(cond)                                                                          \
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, 5000)) << "still false: " #cond
#define EXPECT_SOON_EQ(a, b)                                                                       \
    do {                                                                                           \
        (void)QTest::qWaitFor([&] { return (a) == (b); }, 5000);                                   \
        EXPECT_EQ(a, b);                                                                           \
    } while (0)

namespace guitest {

// Runs action on the modal widget as soon as one is shown and has become
// the active window, as the operator meets it (polling, since the dialog's
// own loop is what delivers the timer). The platform activates a window
// after showing it; before that, keys and focus still go to the window
// underneath. A dialog that is never activated gets action after a generous
// limit, and a test failure.
inline void whenModalShown(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto shownFor = std::make_shared<QElapsedTimer>();
    QObject::connect(timer, &QTimer::timeout, [timer, shownFor, action] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) return;
        if (!shownFor->isValid()) shownFor->start();
        const bool active = QApplication::activeWindow() == w;
        if (!active && shownFor->elapsed() < 10000) return;
        EXPECT_TRUE(active) << "the modal window was shown but never activated";
        timer->stop();
        timer->deleteLater();
        action(w);
    });
    timer->start();
}

} // namespace guitest
