#include "FrameFixture.h"
#include "platform/ini/Settings.h"

#include <QApplication>
#include <QFileInfo>
#include <QLayout>
#include <QScreen>
#include <QTest>

namespace {

class MainFrame : public FrameFixture
{
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        createWith(makeDb("data.mdb", 3), TFVidra::StateNormal);
        form->ShowInState();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    QRect geometryOf(QWidget* w) const { return w->geometry(); }
    void settle() const
    {
        QApplication::processEvents();
        form->layout()->activate();
    }
};

} // namespace

TEST_F(MainFrame, CaptionSizeFontAndIcon)
{
    EXPECT_EQ(form->windowTitle(), "Telefonski imenik Opštine Kostelin, Vidra");
    EXPECT_EQ(form->size(), QSize(692, 509));
    EXPECT_EQ(form->font().family(), "Arial");
    EXPECT_EQ(form->font().pixelSize(), 11);
    EXPECT_FALSE(form->windowIcon().pixmap(32, 32).isNull());
    // Centred on the desktop, the original frame included.
    const QRect desk = form->screen()->availableGeometry();
    const QPoint outerCentre = form->pos() + QPoint(700 / 2, 543 / 2);
    EXPECT_LE(std::abs(outerCentre.x() - desk.center().x()), 2);
    EXPECT_LE(std::abs(outerCentre.y() - desk.center().y()), 2);
}

TEST_F(MainFrame, BandsTopToBottomWithPanelsHiddenAtStart)
{
    EXPECT_EQ(form->tbImenik->objectName(), "tbImenik");
    EXPECT_EQ(form->gbFiltar->objectName(), "gbFiltar");
    EXPECT_EQ(form->dbImenik->objectName(), "dbImenik");
    EXPECT_EQ(form->dbNapomena->objectName(), "dbNapomena");
    EXPECT_EQ(form->gbPretplatnik->objectName(), "gbPretplatnik");
    EXPECT_EQ(form->sbImenik->objectName(), "sbImenik");
    EXPECT_EQ(form->gbFiltar->title(), "Pretraživač");
    EXPECT_EQ(form->gbPretplatnik->title(), "Pretplatnik");
    EXPECT_FALSE(form->gbFiltar->isVisible());
    EXPECT_FALSE(form->dbNapomena->isVisible());
    EXPECT_TRUE(form->dbNapomena->isReadOnly());

    settle();
    EXPECT_EQ(geometryOf(form->tbImenik), QRect(0, 0, 692, 27));
    // The grid spans from under the toolbar to the details panel.
    EXPECT_EQ(geometryOf(form->dbImenik), QRect(0, 27, 692, 509 - 27 - 79 - 20));
    EXPECT_EQ(geometryOf(form->gbPretplatnik), QRect(0, 509 - 20 - 79, 692, 79));
    EXPECT_EQ(geometryOf(form->sbImenik), QRect(0, 489, 692, 20));
}

TEST_F(MainFrame, GridTakesUpTheDifferenceWhenBandsShowAndHide)
{
    settle();
    const int full = form->dbImenik->height();
    form->gbFiltar->show();
    settle();
    EXPECT_EQ(geometryOf(form->gbFiltar), QRect(0, 27, 692, 76));
    EXPECT_EQ(form->dbImenik->y(), 27 + 76);
    EXPECT_EQ(form->dbImenik->height(), full - 76);
    form->dbNapomena->show();
    settle();
    EXPECT_EQ(form->dbImenik->height(), full - 76 - 57);
    EXPECT_EQ(form->dbImenik->height(), 250); // the design height of the grid
    EXPECT_EQ(geometryOf(form->dbNapomena), QRect(0, 27 + 76 + 250, 692, 57));
    EXPECT_EQ(form->dbNapomena->geometry().bottom() + 1, form->gbPretplatnik->y());
    form->gbFiltar->hide();
    settle();
    EXPECT_EQ(form->dbImenik->y(), 27);
    EXPECT_EQ(form->dbImenik->height(), full - 57);
    form->dbNapomena->hide();
    settle();
    EXPECT_EQ(form->dbImenik->height(), full);
}

TEST_F(MainFrame, GridHasTheFirstFocus)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), form->dbImenik);
    EXPECT_EQ(form->tbImenik->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form->sbImenik->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form->dbImenik->frameWidth(), 2);
}

TEST_F(MainFrame, StatusBarPanelsAndCount)
{
    auto* sb = form->sbImenik;
    ASSERT_EQ(sb->panelCount(), 3);
    EXPECT_EQ(sb->panelWidth(0), 200);
    EXPECT_EQ(sb->panelWidth(1), 350);
    EXPECT_EQ(sb->panelWidth(2), 50);
    EXPECT_EQ(sb->height(), 20);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");
    EXPECT_FALSE(sb->panelText(1).isEmpty());
    EXPECT_FALSE(sb->panelText(2).isEmpty());
    form->ShowSubscriberCount(1234567);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 1234567");
}

TEST_F(FrameFixture, CountPanelKeepsItsDesignTextUntilACountIsWritten)
{
    createWith(dir.path("nema.mdb"), TFVidra::StateNormal);
    EXPECT_EQ(connectErrors(), 1);
    EXPECT_EQ(panel0(), " Broj pretplatnika:");
}

TEST(IniFileNameFor, ExtensionOfTheFileNameOnly)
{
    EXPECT_EQ(vidra::iniFileNameFor("/opt/vidra/Vidra"), "/opt/vidra/Vidra.ini");
    EXPECT_EQ(vidra::iniFileNameFor("/a.b/Vidra"), "/a.b/Vidra.ini");
    EXPECT_EQ(vidra::iniFileNameFor("/x/Vidra.bin"), "/x/Vidra.ini");
    EXPECT_EQ(vidra::iniFileNameFor("/x/Vidra.tar.gz"), "/x/Vidra.tar.ini");
    EXPECT_EQ(vidra::iniFileNameFor("/x/Vidra."), "/x/Vidra.ini");
}

TEST_F(FrameFixture, IniFileBesideTheExecutableByDefault)
{
    const QString ini = vidra::iniFileNameFor(QCoreApplication::applicationFilePath());
    ASSERT_FALSE(QFileInfo::exists(ini)) << "a settings file for the test runner is in the way";
    create({});
    EXPECT_EQ(form->IniFileName(), ini);
    EXPECT_EQ(QFileInfo(form->IniFileName()).absolutePath(),
              QCoreApplication::applicationDirPath());
}
