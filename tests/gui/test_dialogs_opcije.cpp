// The database settings dialog: switching the database file at run time,
// what it shows, its keys, and the file dialog it opens.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "support/TempDir.h"
#include "ui/dialogs/untOpcije.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

namespace {

class DatabaseSettings : public FrameFixture
{
protected:
    QString file;

    void SetUp() override
    {
        FrameFixture::SetUp();
        file = makeDb("data.mdb", 3);
        createWith(file, 0);
        showActive();
    }
    // Opens the dialog through its command; act() plays the operator, and
    // whatever it leaves open is closed with the Izlaz button.
    void withSettings(std::function<void(TFOpcije*)> act)
    {
        bool ran = false;
        guitest::whenModalShown([&](QWidget* w) {
            ran = true;
            auto* dialog = qobject_cast<TFOpcije*>(w);
            ASSERT_NE(dialog, nullptr);
            act(dialog);
            if (dialog->isVisible()) dialog->btClose->click();
        });
        form->AcBaza->trigger();
        EXPECT_TRUE(ran);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        reactivate();
    }
    static void pressKey(QWidget* w, Qt::Key key) { QTest::keyClick(w, key); }
    vidra::Table* table() const { return DMVidra->Imenik; }
};

TEST_F(DatabaseSettings, ShowsTheFileInUseAndTheExpectedColumns)
{
    withSettings([&](TFOpcije* d) {
        EXPECT_EQ(d->windowTitle(), "Podešavanja...");
        EXPECT_EQ(d->windowType(), Qt::Tool);
        EXPECT_FALSE(d->windowFlags() & Qt::WindowContextHelpButtonHint);
        EXPECT_EQ(d->font().family(), "Arial");
        EXPECT_EQ(d->font().pixelSize(), 11);
        EXPECT_EQ(d->size(), QSize(264, 141));
        EXPECT_EQ(TFOpcije::kClientWidth + 8, 272);
        EXPECT_EQ(TFOpcije::kClientHeight + 26, 167);
        // Centred on the main window, frame included.
        const QRect main = form->frameGeometry();
        EXPECT_EQ(d->pos(), QPoint(main.x() + (main.width() - 272) / 2,
                                   main.y() + (main.height() - 167) / 2));

        EXPECT_EQ(d->gbBaza->title(), "Podešavanje baze");
        EXPECT_EQ(d->gbBaza->geometry(), QRect(0, 0, 264, 69));
        EXPECT_EQ(d->gbPolja->title(), "Dužina polja");
        EXPECT_EQ(d->gbPolja->geometry(), QRect(0, 69, 264, 72));
        EXPECT_EQ(d->edDb->parentWidget(), d->gbBaza);
        EXPECT_EQ(d->edDb->geometry(), QRect(8, 16, 248, 23));
        EXPECT_EQ(d->edDb->toPlainText(), file);
        EXPECT_EQ(d->btNadji->text(), "Nađi ...");
        EXPECT_EQ(d->btNadji->geometry(), QRect(209, 42, 48, 21));
        EXPECT_EQ(d->btClose->text(), "Izlaz");
        EXPECT_EQ(d->btClose->parentWidget(), d->gbPolja);
        EXPECT_EQ(d->btClose->geometry(), QRect(209, 39, 48, 21));

        const struct
        {
            QLabel* label;
            const char* text;
            QPoint pos;
        } labels[] = {
            {d->lbTelefon, "Telefon:", {7, 16}},     {d->lbTelefonDuzina, "Text (10)", {48, 16}},
            {d->lbVlasnik, "Vlasnik:", {7, 31}},     {d->lbVlasnikDuzina, "Text (32)", {48, 31}},
            {d->lbAdresa, "Adresa:", {7, 46}},       {d->lbAdresaDuzina, "Text (32)", {48, 46}},
            {d->lbMesto, "Mesto:", {102, 16}},       {d->lbMestoDuzina, "Text (16)", {159, 16}},
            {d->lbNapomena, "Napomena:", {102, 31}}, {d->lbNapomenaDuzina, "Memo", {159, 31}},
        };
        for (const auto& l : labels) {
            SCOPED_TRACE(l.text);
            EXPECT_EQ(l.label->parentWidget(), d->gbPolja);
            EXPECT_EQ(l.label->text(), QString::fromUtf8(l.text));
            EXPECT_EQ(l.label->pos(), l.pos);
            // Each label is fully shown, clear of its right-hand neighbour.
            EXPECT_GE(l.label->width(), l.label->sizeHint().width());
        }
        EXPECT_LT(d->lbTelefon->geometry().right(), d->lbTelefonDuzina->x());
        EXPECT_LT(d->lbNapomena->geometry().right(), d->lbNapomenaDuzina->x());
        EXPECT_LT(d->lbAdresaDuzina->geometry().right(), d->lbMesto->x());

        // The file dialog it opens.
        EXPECT_EQ(d->OpenDB.title, "");
        EXPECT_EQ(d->OpenDB.initialFolder, "");
        EXPECT_EQ(d->OpenDB.defaultSuffix, "*.mdb");
        EXPECT_FALSE(d->OpenDB.mustExist);
        EXPECT_EQ(d->OpenDB.parent, d);

        // Sizeable: the upper group follows the width, the lower one takes the rest.
        d->resize(400, 200);
        QApplication::processEvents();
        EXPECT_EQ(d->gbBaza->geometry(), QRect(0, 0, 400, 69));
        EXPECT_EQ(d->gbPolja->geometry(), QRect(0, 69, 400, 131));
        EXPECT_EQ(d->btClose->pos(), QPoint(209, 39));
    });
}

TEST_F(DatabaseSettings, CancellingTheFileDialogLeavesEverythingAsItWas)
{
    table()->SetRecNo(2);
    hook.queueFileCancel();
    withSettings([&](TFOpcije* d) {
        QTest::keyClicks(d->edDb, "/drugi/fajl.mdb");
        d->btNadji->click();
        EXPECT_TRUE(d->isVisible());
        // The file dialog's closing puts the path in use back.
        EXPECT_EQ(d->edDb->toPlainText(), file);
    });
    ASSERT_EQ(hook.fileRequests().size(), 1u);
    EXPECT_EQ(hook.emptyQueueCount(), 0);
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(DMVidra->DbPath(), file);
    EXPECT_TRUE(table()->Active());
    EXPECT_EQ(table()->RecNo(), 2); // not reopened
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");
}

TEST_F(DatabaseSettings, PickingTheFileInUseReconnectsAndRewritesTheCount)
{
    testsupport::execSql(file, "INSERT INTO Vlasnici VALUES ('999','NOVI','A',NULL,NULL)");
    ASSERT_EQ(table()->RecordCount(), 3); // the snapshot does not see it yet
    hook.queueFile(file);
    withSettings([&](TFOpcije* d) {
        d->btNadji->click();
        EXPECT_EQ(d->edDb->toPlainText(), file);
        EXPECT_TRUE(d->isVisible()); // stays open for another choice
    });
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(table()->RecordCount(), 4);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 4");
    EXPECT_EQ(form->dbImenik->paintedRowCount(), 4);

    // Another file through the toolbar button.
    const QString other = makeDb("drugi.mdb", 0);
    hook.queueFile(other);
    withSettings([&](TFOpcije* d) {
        EXPECT_EQ(d->edDb->toPlainText(), file);
        d->btNadji->click();
        EXPECT_EQ(d->edDb->toPlainText(), other);
    });
    EXPECT_EQ(DMVidra->DbPath(), other);
    EXPECT_EQ(panel0(), " Broj pretplatnika: 0");
    form->close();
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), other);
}

TEST_F(DatabaseSettings, AFileThatIsNoDatabaseIsReportedAndItsPathSavedAtClose)
{
    const QString bad = dir.write("beleske.mdb", "ovo nije baza podataka\n");
    hook.queueFile(bad);
    withSettings([&](TFOpcije* d) {
        d->btNadji->click();
        EXPECT_EQ(connectErrors(), 1);
        EXPECT_EQ(d->edDb->toPlainText(), bad);
    });
    EXPECT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(DMVidra->DbPath(), bad);
    EXPECT_FALSE(table()->Active());
    EXPECT_EQ(form->dbImenik->currentScreenRow(), -1); // the grid shows no row
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");      // the previous text stays

    // A name typed for a file that does not exist, in a folder that does not
    // exist either, fails the same way and is kept as well.
    const QString missing = dir.path("nema/nova.mdb");
    hook.queueFile(missing);
    withSettings([&](TFOpcije* d) {
        EXPECT_EQ(d->edDb->toPlainText(), bad);
        d->btNadji->click();
        EXPECT_EQ(d->edDb->toPlainText(), missing);
    });
    EXPECT_EQ(connectErrors(), 2);
    form->close();
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), missing);
}

TEST_F(DatabaseSettings, WhatIsTypedIntoThePathBoxIsNeverRead)
{
    withSettings([&](TFOpcije* d) {
        d->edDb->setFocus();
        d->edDb->selectAll();
        QTest::keyClicks(d->edDb, dir.path("drugi.mdb"));
        d->btClose->click();
        EXPECT_FALSE(d->isVisible());
    });
    EXPECT_TRUE(hook.fileRequests().empty());
    EXPECT_EQ(DMVidra->DbPath(), file);
    EXPECT_TRUE(table()->Active());
    form->close();
    EXPECT_EQ(iniValue("BAZA", "DBPATH"), file);
}

TEST_F(DatabaseSettings, EnterAndEscapeInThePathBoxAndOnTheButtons)
{
    // The path box keeps both keys: Enter breaks the line, Escape closes nothing.
    withSettings([&](TFOpcije* d) {
        EXPECT_EQ(QApplication::focusWidget(), d->btNadji);
        d->edDb->setFocus();
        d->edDb->moveCursor(QTextCursor::End);
        pressKey(d->edDb, Qt::Key_Return);
        QTest::keyClicks(d->edDb, "x");
        EXPECT_EQ(d->edDb->toPlainText(), file + "\nx");
        pressKey(d->edDb, Qt::Key_Escape);
        EXPECT_TRUE(d->isVisible());
        EXPECT_TRUE(form->isVisible()); // nor the main window's Escape
        // Tab order: the button, the box, the other button, round again.
        d->btNadji->setFocus();
        const QWidget* order[] = {d->edDb, d->btClose, d->btNadji};
        for (const QWidget* next : order) {
            ASSERT_NE(QApplication::focusWidget(), nullptr);
            pressKey(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), next);
        }
    });
    EXPECT_TRUE(hook.fileRequests().empty());

    // Enter on the focused Nađi button opens the file dialog, once; Escape
    // there closes the dialog.
    hook.queueFileCancel();
    bool openAfterEscape = true;
    withSettings([&](TFOpcije* d) {
        ASSERT_EQ(QApplication::focusWidget(), d->btNadji);
        pressKey(d->btNadji, Qt::Key_Return);
        EXPECT_EQ(hook.fileRequests().size(), 1u);
        EXPECT_TRUE(d->isVisible());
        pressKey(d->btNadji, Qt::Key_Escape);
        openAfterEscape = d->isVisible();
    });
    EXPECT_FALSE(openAfterEscape);
    EXPECT_EQ(hook.fileRequests().size(), 1u);
    EXPECT_EQ(hook.emptyQueueCount(), 0);

    // Enter on Izlaz is its click; Escape there closes as well.
    for (Qt::Key key : {Qt::Key_Enter, Qt::Key_Escape}) {
        bool open = true;
        withSettings([&](TFOpcije* d) {
            d->btClose->setFocus();
            pressKey(d->btClose, key);
            open = d->isVisible();
        });
        EXPECT_FALSE(open) << key;
    }
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(DMVidra->DbPath(), file);
}

TEST_F(DatabaseSettings, ToolbarButtonOpensTheDialog)
{
    auto* button = form->tbImenik->findChild<QToolButton*>("tbAcBaza");
    ASSERT_NE(button, nullptr);
    bool shown = false;
    guitest::whenModalShown([&](QWidget* w) {
        shown = qobject_cast<TFOpcije*>(w) != nullptr;
        w->close();
    });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(shown);
    // Destroyed when it closes.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TFOpcije*>(w), nullptr);
}

// The real file dialog, set up as the settings dialog sets it up.
class OpenDBDialog : public ::testing::Test
{
protected:
    testsupport::TempDir dir;

    // Runs the real dialog in the scratch folder; user() acts on it.
    std::optional<QString> run(std::function<void(QFileDialog*)> user)
    {
        TFOpcije settings;
        vidra::ui::OpenFileRequest request = settings.OpenDB;
        request.initialFolder = dir.path("");
        guitest::whenModalShown([user](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(d, nullptr);
            user(d);
            if (d->isVisible()) d->reject();
        });
        return vidra::ui::openFileName(request);
    }
    static QLineEdit* nameBox(QFileDialog* d) { return d->findChild<QLineEdit*>("fileNameEdit"); }
};

TEST_F(OpenDBDialog, ListsDatabaseFilesWhateverTheCaseOfTheirExtension)
{
    // The files are in a folder the dialog moves to once it is up, so that
    // the end of reading that folder can be waited for.
    const QString folder = dir.path("baze");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"data.mdb", "DATA.MDB", "Data.Mdb", "beleske.txt", "data.mdb.bak"})
        dir.write(QStringLiteral("baze/") + QLatin1String(name), "x");

    // The patterns themselves match in any case, also for a dialog that
    // compares names exactly.
    TFOpcije settings;
    const QString filter = settings.OpenDB.filter;
    ASSERT_TRUE(filter.startsWith("AccessDB ("));
    const QStringList patterns = filter.section('(', 1).chopped(1).split(' ');
    const auto matches = [&](const QString& name) {
        for (const QString& p : patterns)
            if (QRegularExpression::fromWildcard(p, Qt::CaseSensitive).match(name).hasMatch())
                return true;
        return false;
    };
    for (const char* name : {"data.mdb", "DATA.MDB", "Data.Mdb", "x.mDb"})
        EXPECT_TRUE(matches(name)) << name;
    for (const char* name : {"beleske.txt", "data.mdb.bak", "mdb", "data.md"})
        EXPECT_FALSE(matches(name)) << name;

    QStringList shown;
    bool hidesPatterns = false;
    run([&](QFileDialog* d) {
        hidesPatterns = d->testOption(QFileDialog::HideNameFilterDetails);
        auto* view = d->findChild<QListView*>("listView");
        ASSERT_NE(view, nullptr);
        const auto enabledFiles = [view] {
            QStringList names;
            const QAbstractItemModel* m = view->model();
            for (int r = 0; r < m->rowCount(view->rootIndex()); ++r) {
                const QModelIndex i = m->index(r, 0, view->rootIndex());
                if (m->flags(i) & Qt::ItemIsEnabled) names << i.data().toString();
            }
            names.sort();
            return names;
        };
        auto* model = d->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        bool loaded = false;
        QObject::connect(model, &QFileSystemModel::directoryLoaded, d,
                         [&](const QString& path) { loaded = loaded || path == folder; });
        d->setDirectory(folder);
        EXPECT_TRUE(QTest::qWaitFor([&] { return loaded; }, 10000));
        QApplication::processEvents(); // what the reader sent before it finished
        shown = enabledFiles();
    });
    EXPECT_TRUE(hidesPatterns);
    EXPECT_EQ(shown, (QStringList{"DATA.MDB", "Data.Mdb", "data.mdb"}));
}

TEST_F(OpenDBDialog, TakesANewNameAndAddsTheExtensionToANameWithoutOne)
{
    bool anyFile = false;
    bool resizable = false;
    QString suffix;
    auto chosen = run([&](QFileDialog* d) {
        anyFile = d->fileMode() == QFileDialog::AnyFile;
        resizable = d->isSizeGripEnabled() && d->minimumSize() != d->maximumSize();
        suffix = d->defaultSuffix();
        ASSERT_NE(nameBox(d), nullptr);
        nameBox(d)->setText("nova");
        static_cast<QDialog*>(d)->accept(); // as the Open button does
    });
    EXPECT_TRUE(anyFile);
    EXPECT_TRUE(resizable);
    EXPECT_EQ(suffix, "mdb");
    EXPECT_EQ(chosen, std::optional<QString>(dir.path("nova.mdb")));

    // A name with an extension of its own keeps it; a missing folder is no obstacle.
    // (Typed, as the operator does: once the dialog is active and its name box
    // has the focus, selectFile() leaves that box alone.)
    chosen = run([&](QFileDialog* d) {
        ASSERT_NE(nameBox(d), nullptr);
        nameBox(d)->setText(dir.path("nema/imenik.db"));
        static_cast<QDialog*>(d)->accept();
    });
    EXPECT_EQ(chosen, std::optional<QString>(dir.path("nema/imenik.db")));
    EXPECT_FALSE(QFileInfo::exists(dir.path("nema")));
}

TEST(FileSuffix, DefaultExtensionTextNamesOneExtensionOrNone)
{
    using vidra::ui::fileSuffixOf;
    EXPECT_EQ(fileSuffixOf("*.mdb"), "mdb");
    EXPECT_EQ(fileSuffixOf(".mdb"), "mdb");
    EXPECT_EQ(fileSuffixOf("mdb"), "mdb");
    EXPECT_EQ(fileSuffixOf("*.tar.gz"), "tar.gz");
    EXPECT_EQ(fileSuffixOf(""), "");
    EXPECT_EQ(fileSuffixOf("*"), "");
    EXPECT_EQ(fileSuffixOf("*.*"), "");
    EXPECT_EQ(fileSuffixOf("*.m?b"), "");
    EXPECT_EQ(fileSuffixOf("*.[mM]db"), "");
}

} // namespace
