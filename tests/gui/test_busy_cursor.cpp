#include "platform/ui/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace vidra::ui;

namespace {
int overrideDepth()
{
    // Counts the stacked override cursors by popping and pushing them back.
    std::vector<Qt::CursorShape> shapes;
    while (const QCursor* c = QGuiApplication::overrideCursor()) {
        shapes.push_back(c->shape());
        QGuiApplication::restoreOverrideCursor();
    }
    for (auto it = shapes.rbegin(); it != shapes.rend(); ++it)
        QGuiApplication::setOverrideCursor(QCursor(*it));
    return int(shapes.size());
}
} // namespace

TEST(BusyCursorTest, GuardShowsBusyAndRestoresAlsoOnException)
{
    ASSERT_FALSE(isBusyCursorShown());
    {
        BusyCursor outer;
        EXPECT_TRUE(isBusyCursorShown());
        {
            BusyCursor inner;
            EXPECT_EQ(overrideDepth(), 2);
        }
        EXPECT_TRUE(isBusyCursorShown());
        EXPECT_EQ(overrideDepth(), 1);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    try {
        BusyCursor busy;
        throw std::runtime_error("x");
    } catch (const std::exception&) {
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(BusyCursorTest, NormalCursorClearsAllAndGuardsLeaveLaterCursorsAlone)
{
    auto outer = std::make_unique<BusyCursor>();
    auto inner = std::make_unique<BusyCursor>();
    setNormalCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    inner.reset();
    BusyCursor later; // set after the reset: the old guard must not take it away
    outer.reset();
    EXPECT_TRUE(isBusyCursorShown());
}

TEST(ModalCursor, RestoresBusyUnlessChangedWhileOpen)
{
    BusyCursor busy;
    {
        ModalCursorScope modal;
        EXPECT_FALSE(isBusyCursorShown());
        EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    }
    EXPECT_TRUE(isBusyCursorShown());
    EXPECT_EQ(overrideDepth(), 1);

    {
        ModalCursorScope modal;
        BusyCursor whileOpen; // e.g. a save started from inside the dialog
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(ModalCursor, NoOverrideWhenCursorWasNormal)
{
    {
        ModalCursorScope modal;
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
