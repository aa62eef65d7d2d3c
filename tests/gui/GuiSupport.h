#pragma once
// Helpers shared by the widget tests.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
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
