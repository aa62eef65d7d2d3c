#include "platform/Error.h"
#include "platform/ui/AppError.h"
#include "platform/ui/Dialogs.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace vidra::ui;

TEST(ApplicationTitle, FileNameCutAtFirstPeriodAndLowerCased)
{
    EXPECT_EQ(applicationTitle("/opt/vidra/Vidra"), "Vidra");
    EXPECT_EQ(applicationTitle("C:/Imenik/VIDRA.EXE"), "Vidra");
    EXPECT_EQ(applicationTitle("/a.b/vidra.tar.gz"), "vidra");
    EXPECT_EQ(applicationTitle("/x/ŠKOLA"), "Škola");
    EXPECT_EQ(applicationTitle("/x/.hidden"), "");
}

TEST(ClosingPeriod, AppendedAfterCharactersSortingAfterPeriod)
{
    EXPECT_EQ(withClosingPeriod("Nema baze"), "Nema baze.");
    EXPECT_EQ(withClosingPeriod("Broj 42"), "Broj 42.");
    EXPECT_EQ(withClosingPeriod("Pitanje?"), "Pitanje?.");
    EXPECT_EQ(withClosingPeriod("Polje:"), "Polje:.");
    EXPECT_EQ(withClosingPeriod("Ž"), "Ž.");
    EXPECT_EQ(withClosingPeriod("/"), "/.");
    EXPECT_EQ(withClosingPeriod("Kraj."), "Kraj.");
    EXPECT_EQ(withClosingPeriod("Kraj!"), "Kraj!");
    EXPECT_EQ(withClosingPeriod("(x)"), "(x)");
    EXPECT_EQ(withClosingPeriod("x "), "x ");
    EXPECT_EQ(withClosingPeriod("a-"), "a-");
    EXPECT_EQ(withClosingPeriod(""), "");
}

namespace {
// An object whose event handler throws what it is told to.
class Thrower : public QObject
{
public:
    std::function<void()> toThrow;
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) toThrow();
        return QObject::event(e);
    }
};

std::vector<DialogHook::Box> deliverThrowing(std::function<void()> thrower)
{
    DialogHook hook;
    Thrower t;
    t.toThrow = std::move(thrower);
    QEvent e(QEvent::User);
    QCoreApplication::sendEvent(&t, &e);
    return hook.boxes();
}
} // namespace

TEST(ApplicationErrorBox, NotifyShowsEscapingErrorsUnderTheTitle)
{
    const QString title = applicationTitle(QCoreApplication::applicationFilePath());
    auto boxes = deliverThrowing([] { throw vidra::Error("Imenik: Cannot do this"); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(boxes[0].caption, title);
    EXPECT_EQ(boxes[0].text, "Imenik: Cannot do this.");

    boxes = deliverThrowing([] { throw std::runtime_error("čćđ raw"); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "čćđ raw.");

    boxes = deliverThrowing([] { throw 42; });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(boxes[0].text.isEmpty());

    EXPECT_TRUE(deliverThrowing([] { throw vidra::Abort(); }).empty());
}

TEST(ApplicationErrorBox, SafeSlotKeepsTimerAndLoopGoing)
{
    DialogHook hook;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, safeSlot([&ticks] {
        ++ticks;
        throw vidra::Error("Tik " + QString::number(ticks));
    }));
    timer.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 10000));
    timer.stop();
    ASSERT_GE(hook.boxes().size(), 2u);
    EXPECT_EQ(hook.boxes()[0].text, "Tik 1.");
    EXPECT_EQ(hook.boxes()[1].text, "Tik 2.");
}

TEST(ApplicationErrorBox, GuardedPassesArgumentsAndReportsFailure)
{
    DialogHook hook;
    int sum = 0;
    auto slot = safeSlot([&sum](int a, int b) { sum = a + b; });
    slot(2, 3);
    EXPECT_EQ(sum, 5);
    EXPECT_TRUE(guarded([] {}));
    EXPECT_FALSE(guarded([] { throw vidra::Abort(); }));
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_FALSE(guarded([] { throw vidra::Error("Kraj!"); }));
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].text, "Kraj!");
}
