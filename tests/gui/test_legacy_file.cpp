// An Access file of the program's earlier years in the main window: its
// rows can be browsed and searched, and nothing may change it.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "support/LegacyFixtures.h"

#include <QAction>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QTest>

namespace {

class LegacyFile : public FrameFixture
{
protected:
    std::vector<bool> datasetCommands()
    {
        form->UpdateActions();
        return {form->AcDodaj->isEnabled(), form->AcIzmeni->isEnabled(), form->AcBrisi->isEnabled(),
                form->AcRefresh->isEnabled()};
    }
};

} // namespace

TEST_F(LegacyFile, ShowsItsRowsSearchesAndKeepsTheDatasetCommandsOff)
{
    REQUIRE_ACCESS_FIXTURES();
    const QString path = dir.write("stari.mdb", testsupport::accessDirectory());
    const QByteArray before = testsupport::TempDir::read(path);
    createWith(path, 0);
    form->ShowInState();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->activateWindow();
    form->dbImenik->setFocus();

    EXPECT_EQ(connectErrors(), 0);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 77");
    vidra::Table* t = DMVidra->Imenik;
    EXPECT_EQ(t->DisplayText(0, 1), "Chai");
    EXPECT_EQ(datasetCommands(), (std::vector<bool>{false, false, false, false}));
    EXPECT_TRUE(form->AcPozovi->isEnabled());

    // The editor's keys do nothing here.
    QTest::keyClick(form->dbImenik, Qt::Key_Insert);
    QTest::keyClick(form->dbImenik, Qt::Key_F2);
    QTest::keyClick(form->dbImenik, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(t->State(), vidra::DatasetState::Browse);
    EXPECT_EQ(t->RecordCount(), 77);

    // The search panel narrows the rows as on any directory.
    QTest::keyClick(form->dbImenik, Qt::Key_F3);
    ASSERT_TRUE(form->gbFiltar->isVisible());
    QTest::keyClicks(form->edVlasnik, "gua");
    QTest::qWait(200);
    ASSERT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(t->FieldByName("Vlasnik").AsString(), "Guaraná Fantástica");

    form.reset();
    dm.reset();
    DMVidra = nullptr;
    EXPECT_EQ(testsupport::TempDir::read(path), before);
}

TEST_F(LegacyFile, AccessFileWithoutTheDirectoryTableIsAConnectionError)
{
    REQUIRE_ACCESS_FIXTURES();
    createWith(dir.write("northwind.mdb", testsupport::accessFixture("nwind.mdb")), 0);
    EXPECT_EQ(connectErrors(), 1);
    EXPECT_FALSE(DMVidra->Imenik->Active());
    EXPECT_EQ(datasetCommands(), (std::vector<bool>{false, false, false, false}));
}
