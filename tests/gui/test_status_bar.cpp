#include "platform/Error.h"
#include "platform/ui/StatusBar.h"

#include <QImage>
#include <gtest/gtest.h>

using vidra::ui::StatusBar;

namespace {
// Whether any pixel in the columns [x0, x1) is much darker than the background.
bool hasInk(const QImage& img, int x0, int x1, int y0, int y1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (qGray(img.pixel(x, y)) < 100) return true;
    return false;
}
} // namespace

TEST(StatusBarTest, PanelsLieSideBySideWithFixedWidths)
{
    StatusBar bar;
    EXPECT_EQ(bar.addPanel(200, "a"), 0);
    EXPECT_EQ(bar.addPanel(350), 1);
    EXPECT_EQ(bar.addPanel(50, "c"), 2);
    bar.resize(692, 20);
    EXPECT_EQ(bar.panelCount(), 3);
    EXPECT_EQ(bar.panelWidth(1), 350);
    EXPECT_EQ(bar.panelRect(0).left(), 0);
    EXPECT_EQ(bar.panelRect(1).left(), 200);
    EXPECT_EQ(bar.panelRect(2).left(), 550);
    EXPECT_LE(bar.panelRect(2).right(), 599);
    EXPECT_EQ(bar.panelText(0), "a");
    EXPECT_EQ(bar.panelText(1), "");
    bar.setPanelText(1, "Opština");
    EXPECT_EQ(bar.panelText(1), "Opština");
    EXPECT_THROW(bar.panelText(3), vidra::Error);
    EXPECT_THROW(bar.setPanelText(-1, "x"), vidra::Error);
}

TEST(StatusBarTest, LongTextIsCutAtThePanelEdge)
{
    StatusBar bar;
    QPalette pal = bar.palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    bar.setPalette(pal);
    bar.addPanel(100);
    bar.addPanel(50);
    bar.resize(400, 20);
    const QString longText(60, u'W');
    bar.setPanelText(1, longText);
    EXPECT_EQ(bar.panelText(1), longText); // kept whole, only its drawing is cut

    const QImage img = bar.grab().toImage();
    const QRect r = bar.panelRect(1);
    EXPECT_TRUE(hasInk(img, r.left() + 3, r.right() - 2, r.top() + 3, r.bottom() - 2));
    EXPECT_FALSE(hasInk(img, r.right() + 2, 360, 0, 20)); // nothing right of the panel
    const QRect before = bar.panelRect(0);                // nor in the empty panel before it
    EXPECT_FALSE(
        hasInk(img, before.left() + 2, before.right() - 1, before.top() + 2, before.bottom() - 1));
}
