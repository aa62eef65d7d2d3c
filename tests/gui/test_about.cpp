// The about box: what it shows, what closes it, and the mail link.
#include "FrameFixture.h"
#include "platform/shell/Shell.h"
#include "ui/dialogs/untAbout.h"

#include <QAccessible>
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QTest>

namespace {

const QString kLink = QStringLiteral(
    "mailto:informatika@kostelin.example?subject=Telefonski imenik Vidra&body=Poruka:");

class AboutBox : public FrameFixture
{
protected:
    vidra::shell::LinkHook links;

    void SetUp() override
    {
        FrameFixture::SetUp();
        createWith(makeDb("data.mdb", 3), 0);
        showActive();
    }
    // Opens the box with F1; act() plays the user and the box's state is
    // taken right after it. Returns whether the box was still open then.
    bool openAndDo(std::function<void(TFAbout*)> act)
    {
        bool ran = false;
        bool open = false;
        guitest::whenModalShown([&](QWidget* w) {
            ran = true;
            auto* box = qobject_cast<TFAbout*>(w);
            EXPECT_NE(box, nullptr);
            if (!box) {
                w->close();
                return;
            }
            act(box);
            open = box->isVisible();
            if (open) box->close();
        });
        QTest::keyClick(form->dbImenik, Qt::Key_F1);
        EXPECT_TRUE(ran);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        reactivate();
        return open;
    }
    static void click(QWidget* w, QPoint at = {})
    {
        QTest::mouseClick(w, Qt::LeftButton, {}, at.isNull() ? w->rect().center() : at);
    }
    // Closes on the press already; the release is checked after it.
    static void pressOnShape(TFAbout* b, Qt::MouseButton button)
    {
        QTest::mousePress(b->Shape, button, {}, {270, 100});
        QTest::mouseRelease(b->Shape, button, {}, {270, 100});
    }
    static QColor pixel(const QImage& image, int x, int y) { return image.pixelColor(x, y); }
};

TEST_F(AboutBox, ShowsTheProgramOnItsBlueGround)
{
    openAndDo([&](TFAbout* box) {
        EXPECT_TRUE(box->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(box->size(), QSize(291, 202));
        const QRect main = form->frameGeometry();
        EXPECT_EQ(box->pos(), QPoint(main.x() + (main.width() - 291) / 2,
                                     main.y() + (main.height() - 202) / 2));
        EXPECT_EQ(box->Shape->geometry(), QRect(7, 7, 276, 187));
        EXPECT_EQ(box->Image->geometry(), QRect(14, 12, 33, 32));
        EXPECT_FALSE(box->Image->pixmap().isNull());
        EXPECT_EQ(box->Line->geometry(), QRect(14, 47, 263, 1));
        EXPECT_EQ(box->pnAbout->geometry(), QRect(16, 137, 259, 50));

        const struct
        {
            QLabel* label;
            const char* text;
            QPoint pos;
        } labels[] = {
            {box->Label1, "Vidra v2.00 predstavlja softversko rešenje", {56, 14}},
            {box->Label2, "telefonskog imenika Opštine Kostelin.", {56, 28}},
            {box->Label3, "Program čine dva fajla, izvršni fajl (Vidra.exe) i", {16, 51}},
            {box->Label4, "Access-ova baza podataka (data.mdb). Aplikacija ima", {16, 65}},
            {box->Label9, "ugrađeni filtar koji omogućuje uporednu pretragu po", {16, 79}},
            {box->Label10, "telefonu, vlasniku, pretplatničkoj adresi i mestu.", {16, 93}},
            {box->Label5, "Platforma: Windows XP", {16, 107}},
            {box->Label6, "", {16, 121}},
            {box->Label7, nullptr, {5, 3}},
            {box->Label11, nullptr, {5, 17}},
            {box->Label8, "e-mail: informatika@kostelin.example", {5, 31}},
        };
        for (const auto& l : labels) {
            SCOPED_TRACE(l.label->objectName().toStdString());
            if (l.text) {
                EXPECT_EQ(l.label->text(), QString::fromUtf8(l.text));
            } else {
                EXPECT_FALSE(l.label->text().isEmpty());
            }
            EXPECT_EQ(l.label->pos(), l.pos);
            EXPECT_EQ(l.label->font().family(), "Arial");
            EXPECT_EQ(l.label->font().pixelSize(), 11);
            EXPECT_EQ(l.label->palette().color(QPalette::WindowText), QColor(255, 255, 0));
            EXPECT_FALSE(l.label->autoFillBackground());
            // The whole text is shown, inside the shape or the panel.
            EXPECT_GE(l.label->width(), l.label->sizeHint().width());
            const QWidget* frame =
                l.label->parentWidget() == box->pnAbout ? box->pnAbout : box->Shape;
            const QRect inFrame(l.label->mapTo(box, QPoint(0, 0)), l.label->size());
            if (!l.label->text().isEmpty()) {
                EXPECT_TRUE(frame->geometry().adjusted(1, 1, -1, -1).contains(inFrame));
            }
        }
        EXPECT_EQ(box->Label8->parentWidget(), box->pnAbout);
        EXPECT_EQ(box->Label8->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_TRUE(box->Label7->text().contains("2026"));

        // The colours as drawn.
        const QImage image = box->grab().toImage();
        EXPECT_EQ(pixel(image, 2, 2), QColor(0, 128, 255));
        EXPECT_EQ(pixel(image, 7, 100), QColor(Qt::black));   // the shape's outline
        EXPECT_EQ(pixel(image, 282, 100), QColor(Qt::black)); // its right edge
        EXPECT_EQ(pixel(image, 279, 100), QColor(0, 128, 192));
        EXPECT_EQ(pixel(image, 150, 47), QColor(Qt::black)); // the rule
        EXPECT_EQ(pixel(image, 150, 46), QColor(0, 128, 192));
        EXPECT_EQ(pixel(image, 270, 180), QColor(0, 128, 192));  // inside the panel
        EXPECT_EQ(pixel(image, 16, 160), QColor(128, 128, 128)); // lowered: shadow left
        EXPECT_EQ(pixel(image, 274, 160), QColor(Qt::white));    // and light right
    });
}

TEST_F(AboutBox, ClosesOnAClickOnEnterAndOnEscape)
{
    const struct
    {
        const char* what;
        std::function<void(TFAbout*)> act;
    } ways[] = {
        {"click on the box",
         [](TFAbout* b) {
             click(b, {2, 2});
         }},
        {"click on the image", [](TFAbout* b) { click(b->Image); }},
        {"click on a label", [](TFAbout* b) { click(b->Label3); }},
        {"click on the empty label", [](TFAbout* b) { click(b->Label6); }},
        {"click on the panel",
         [](TFAbout* b) {
             click(b->pnAbout, {250, 25});
         }},
        {"click on the credit line", [](TFAbout* b) { click(b->Label7); }},
        {"click on the telephone line", [](TFAbout* b) { click(b->Label11); }},
        {"press on the shape", [](TFAbout* b) { pressOnShape(b, Qt::LeftButton); }},
        {"right button pressed on the shape", [](TFAbout* b) { pressOnShape(b, Qt::RightButton); }},
        {"Enter", [](TFAbout* b) { QTest::keyClick(b, Qt::Key_Return); }},
        {"keypad Enter", [](TFAbout* b) { QTest::keyClick(b, Qt::Key_Enter); }},
        {"Escape", [](TFAbout* b) { QTest::keyClick(b, Qt::Key_Escape); }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.what);
        EXPECT_FALSE(openAndDo(w.act));
        // A key that closes the box goes no further: not to the main window.
        EXPECT_TRUE(form->isVisible());
    }
    EXPECT_TRUE(links.links().empty());
}

TEST_F(AboutBox, TheMailLineAsksForANewMessageAndTheBoxStaysOpen)
{
    const bool open = openAndDo([&](TFAbout* box) {
        click(box->Label8);
        EXPECT_EQ(links.links(), std::vector<QString>{kLink});
        // The rule, other keys and other buttons do nothing.
        click(box->Line, {100, 0});
        QTest::mouseClick(box->Label3, Qt::RightButton);
        for (Qt::Key key : {Qt::Key_A, Qt::Key_Space, Qt::Key_Tab, Qt::Key_F1, Qt::Key_F4})
            QTest::keyClick(box, key);
        click(box->Label8);
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(links.links(), (std::vector<QString>{kLink, kLink}));
    EXPECT_EQ(TFAbout::MailLink(), kLink);
    EXPECT_TRUE(hook.boxes().empty());
}

TEST_F(AboutBox, TheMailLineIsReachedByTabAndOpenedByEnterOrSpace)
{
    const bool open = openAndDo([&](TFAbout* box) {
        // The box holds the keyboard at first, so that Enter would close it.
        EXPECT_FALSE(box->Label8->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_TRUE(box->Label8->hasFocus());
        QTest::keyClick(box->Label8, Qt::Key_Return);
        QTest::keyClick(box->Label8, Qt::Key_Enter);
        QTest::keyClick(box->Label8, Qt::Key_Space);
        // Other keys still do nothing.
        QTest::keyClick(box->Label8, Qt::Key_A);
        EXPECT_EQ(links.links(), (std::vector<QString>{kLink, kLink, kLink}));
        EXPECT_TRUE(box->isVisible());
        // Focused, the line shows a dotted frame; nothing else is drawn anew.
        const QImage focused = box->Label8->grab().toImage();
        EXPECT_EQ(focused.pixelColor(0, 0), QColor(255, 255, 0));
    });
    EXPECT_TRUE(open);

    // Escape still closes the box from the mail line.
    EXPECT_FALSE(openAndDo([&](TFAbout* box) {
        box->Label8->setFocus(Qt::TabFocusReason);
        QTest::keyClick(box->Label8, Qt::Key_Escape);
    }));
    // A click leaves the focus where it was.
    openAndDo([&](TFAbout* box) {
        click(box->Label8);
        EXPECT_FALSE(box->Label8->hasFocus());
    });
    EXPECT_EQ(links.links().size(), 4U);
    EXPECT_TRUE(hook.boxes().empty());
}

TEST_F(AboutBox, AReaderFindsTheMailLineAsALinkItCanPress)
{
    openAndDo([&](TFAbout* box) {
        QAccessibleInterface* line = QAccessible::queryAccessibleInterface(box->Label8);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->role(), QAccessible::Link);
        EXPECT_EQ(line->text(QAccessible::Name), "e-mail: informatika@kostelin.example");
        EXPECT_TRUE(line->state().focusable);
        QAccessibleActionInterface* actions = line->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        EXPECT_TRUE(links.links().empty());
        actions->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_EQ(links.links(), std::vector<QString>{kLink});
        EXPECT_TRUE(box->isVisible());
        // The other lines stay plain texts.
        EXPECT_EQ(QAccessible::queryAccessibleInterface(box->Label7)->role(),
                  QAccessible::StaticText);
    });
}

TEST(MailLink, ReachesTheDesktopEncodedAsAUrl)
{
    const QUrl url = vidra::shell::linkUrl(TFAbout::MailLink());
    EXPECT_TRUE(url.isValid());
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_EQ(url.path(), TFAbout::MailAddress());
    EXPECT_EQ(url.toEncoded(), "mailto:informatika@kostelin.example"
                               "?subject=Telefonski%20imenik%20Vidra&body=Poruka:");
    EXPECT_EQ(vidra::shell::linkUrl("mailto:a@b.example?subject=Opština").toEncoded(),
              "mailto:a@b.example?subject=Op%C5%A1tina");

    // Hooks nest; the newest one records, and the text is kept as composed.
    vidra::shell::LinkHook outer;
    {
        vidra::shell::LinkHook inner;
        vidra::shell::openLink("mailto:x@y.example?subject=a b");
        EXPECT_EQ(inner.links(), std::vector<QString>{"mailto:x@y.example?subject=a b"});
    }
    EXPECT_TRUE(outer.links().empty());
}

} // namespace
