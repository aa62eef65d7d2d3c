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
    // Opens an Access directory, checks that it can be browsed but not
    // changed, and searches its owners for `typed`, which one row matches.
    void browseAndSearch(const QByteArray& file, int rows, const QString& first, const char* typed,
                         const QString& found)
    {
        const QString path = dir.write("stari.mdb", file);
        createWith(path, 0);
        form->ShowInState();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        form->dbImenik->setFocus();

        EXPECT_EQ(connectErrors(), 0);
        EXPECT_EQ(panel0(), " Broj pretplatnika: " + QString::number(rows));
        vidra::Table* t = DMVidra->Imenik;
        EXPECT_EQ(t->DisplayText(0, 1), first);
        EXPECT_EQ(datasetCommands(), (std::vector<bool>{false, false, false, false}));
        EXPECT_TRUE(form->AcPozovi->isEnabled());

        // The editor's keys do nothing here.
        QTest::keyClick(form->dbImenik, Qt::Key_Insert);
        QTest::keyClick(form->dbImenik, Qt::Key_F2);
        QTest::keyClick(form->dbImenik, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(t->State(), vidra::DatasetState::Browse);
        EXPECT_EQ(t->RecordCount(), rows);

        // The search panel narrows the rows as on any directory.
        QTest::keyClick(form->dbImenik, Qt::Key_F3);
        ASSERT_TRUE(form->gbFiltar->isVisible());
        QTest::keyClicks(form->edVlasnik, typed);
        ASSERT_TRUE(form->Timer->isActive());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Timer->isActive(); }, 10000));
        ASSERT_EQ(t->RecordCount(), 1);
        EXPECT_EQ(t->FieldByName("Vlasnik").AsString(), found);

        form.reset();
        dm.reset();
        DMVidra = nullptr;
        EXPECT_EQ(testsupport::TempDir::read(path), file);
    }
};

} // namespace

TEST_F(LegacyFile, Access2000DirectoryShowsItsRowsSearchesAndKeepsTheDatasetCommandsOff)
{
    browseAndSearch(testsupport::cleanAccessDirectory(), 7, QString(), "row6", "row6col2");
}

TEST_F(LegacyFile, ShowsItsRowsSearchesAndKeepsTheDatasetCommandsOff)
{
    REQUIRE_LOCAL_ACCESS_FIXTURES();
    browseAndSearch(testsupport::accessDirectory(), 77, "Chai", "gua", "Guaraná Fantástica");
}

TEST_F(LegacyFile, AccessFileWithoutTheDirectoryTableIsAConnectionError)
{
    createWith(dir.write("bez-imenika.mdb", testsupport::accessFixture("compIndexTestV1997.mdb")),
               0);
    EXPECT_EQ(connectErrors(), 1);
    EXPECT_FALSE(DMVidra->Imenik->Active());
    EXPECT_EQ(datasetCommands(), (std::vector<bool>{false, false, false, false}));
}
