// The search panel: upper-casing boxes, the 100 ms delay, the filter text,
// literal searching of whatever is typed, and the count in the status bar.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "platform/ui/AppError.h"
#include "platform/ui/ToolBand.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

class Search : public FrameFixture
{
protected:
    void open(const std::vector<testsupport::Row>& rows)
    {
        const QString p = dir.path("data.mdb");
        testsupport::createDirectoryFile(p, rows);
        createWith(p, 0);
        form->ShowInState();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        form->dbImenik->setFocus();
    }
    void openSample()
    {
        open({{"0123/1", "MILAN PERIĆ", "KNEZA MILOŠA 1", "KOSTELIN", QString()},
              {"0123/2", "MILICA ĐURIĆ", "TRG )(1", "BROD", QString()},
              {"0456/3", "D'ARC JOVANA", "CARA DUŠANA 4", "KOSTELIN", QString()},
              {"1*2", "ŠABAC PROMET", "50% POPUSTA", "ŠABAC", QString()},
              {"1[2]", "ZVEZDA", "A", QString(), QString()}});
    }
    // Lets the search timer, started by typing, fire 100 ms after the last
    // key, however long the machine takes to get there.
    void tick()
    {
        EXPECT_TRUE(form->Timer->isActive());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Timer->isActive(); }, 10000));
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    QStringList owners() const
    {
        QStringList out;
        for (int i = 0; i < table()->RecordCount(); ++i)
            out << table()->DisplayText(i, 1);
        return out;
    }
};

TEST_F(Search, PanelOpensWithF3AndHoldsItsControlsWhereTheyBelong)
{
    openSample();
    EXPECT_FALSE(form->gbFiltar->isVisible());
    QTest::keyClick(form->dbImenik, Qt::Key_F3);
    ASSERT_TRUE(form->gbFiltar->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), form->edTelefon);
    EXPECT_EQ(form->gbFiltar->title(), "Pretraživač");
    EXPECT_EQ(form->dbImenik->y(), 27 + 76);

    QStringList labels, boxes;
    for (QObject* c : form->gbFiltar->children()) {
        if (auto* l = qobject_cast<QLabel*>(c))
            labels << QStringLiteral("%1 %2 %3,%4")
                          .arg(l->objectName(), l->text())
                          .arg(l->x())
                          .arg(l->y());
        if (auto* e = qobject_cast<QLineEdit*>(c)) {
            const QRect g = e->geometry();
            boxes << QStringLiteral("%1 %2,%3,%4,%5")
                         .arg(e->objectName())
                         .arg(g.x())
                         .arg(g.y())
                         .arg(g.width())
                         .arg(g.height());
        }
    }
    EXPECT_EQ(labels, (QStringList{"lbTelefon Telefon 11,20", "lbNaziv Vlasnik 100,20",
                                   "lbAdresa Adresa 261,20", "lbMesto Mesto 472,20"}));
    EXPECT_EQ(boxes, (QStringList{"edTelefon 11,34,83,22", "edVlasnik 100,34,155,22",
                                  "edAdresa 261,34,205,22", "edMesto 472,34,130,22"}));
    EXPECT_EQ(form->tbMeni->pos(), QPoint(615, 33));
    auto* ponisti = form->tbMeni->findChild<QToolButton*>();
    ASSERT_NE(ponisti, nullptr);
    EXPECT_EQ(ponisti->defaultAction(), form->AcPonisti);
    EXPECT_EQ(ponisti->width(), 58);
    EXPECT_FALSE(form->Timer->isActive());
    EXPECT_TRUE(form->Timer->isSingleShot());
    EXPECT_EQ(form->Timer->interval(), 100);
}

TEST_F(Search, TypingNarrowsOnceAfterTheLastKeyAndWritesTheCount)
{
    openSample();
    form->AcFiltar->trigger();
    QSignalSpy refilters(table(), &vidra::Table::dataChanged);
    type(form->edVlasnik, "milic");
    EXPECT_EQ(form->edVlasnik->text(), "MILIC"); // upper case as typed
    EXPECT_TRUE(form->Timer->isActive());
    EXPECT_EQ(refilters.count(), 0);
    tick();
    EXPECT_EQ(refilters.count(), 1);
    EXPECT_EQ(owners(), QStringList{"MILICA ĐURIĆ"});
    EXPECT_EQ(panel0(), " Broj pretplatnika: 1");
    EXPECT_EQ(table()->Filter(), "(Vlasnik LIKE 'MILIC*')");

    form->edVlasnik->clear();
    type(form->edTelefon, "0123");
    type(form->edVlasnik, "mi");
    tick();
    EXPECT_EQ(table()->Filter(), "(Telefon LIKE '0123*') AND (Vlasnik LIKE 'MI*')");
    EXPECT_EQ(panel0(), " Broj pretplatnika: 2");

    // Clearing the last non-empty box shows everything again.
    form->edVlasnik->clear();
    form->edTelefon->clear();
    tick();
    EXPECT_FALSE(table()->Filtered());
    EXPECT_EQ(panel0(), " Broj pretplatnika: 5");
}

TEST_F(Search, SerbianLettersAreUpperCasedAndMatchInAnyCase)
{
    openSample();
    form->AcFiltar->trigger();
    type(form->edMesto, "šab");
    EXPECT_EQ(form->edMesto->text(), "ŠAB");
    type(form->edAdresa, "50");
    tick();
    EXPECT_EQ(owners(), QStringList{"ŠABAC PROMET"});
    form->ClearSearchFields();
    type(form->edVlasnik, "đ");
    EXPECT_EQ(form->edVlasnik->text(), "Đ");
}

TEST_F(Search, WhateverIsTypedIsSearchedForLiterally)
{
    openSample();
    form->AcFiltar->trigger();
    const auto search = [&](QLineEdit* box, const QString& text) {
        form->ClearSearchFields();
        type(box, text);
        tick();
        return owners();
    };
    EXPECT_EQ(search(form->edVlasnik, "d'arc"), QStringList{"D'ARC JOVANA"});
    EXPECT_EQ(table()->Filter(), "(Vlasnik LIKE 'D''ARC*')");
    EXPECT_EQ(search(form->edTelefon, "1*"), QStringList{"ŠABAC PROMET"});
    EXPECT_EQ(search(form->edTelefon, "*"), QStringList{}); // no number begins with *
    EXPECT_EQ(search(form->edAdresa, "50%"), QStringList{"ŠABAC PROMET"});
    EXPECT_EQ(search(form->edAdresa, "%"), QStringList{});
    EXPECT_EQ(search(form->edTelefon, "1[2"), QStringList{"ZVEZDA"});
    EXPECT_EQ(search(form->edAdresa, "trg )(1"), QStringList{"MILICA ĐURIĆ"});
    EXPECT_EQ(table()->Filter(), "(Adresa LIKE 'TRG )(1*')"); // no AND put into the text
    EXPECT_EQ(search(form->edVlasnik, "''"), QStringList{});
    EXPECT_TRUE(hook.boxes().empty()); // no engine error on any of them

    EXPECT_EQ(TFVidra::JoinConditions({"(A LIKE ')(*')", "(B LIKE 'x*')"}),
              "(A LIKE ')(*') AND (B LIKE 'x*')");
}

TEST_F(Search, HidingThePanelClearsTheBoxesAndUnfilters)
{
    openSample();
    form->AcFiltar->trigger();
    type(form->edMesto, "kost");
    tick();
    EXPECT_EQ(table()->RecordCount(), 2);
    QTest::keyClick(form->edMesto, Qt::Key_F3);
    EXPECT_FALSE(form->gbFiltar->isVisible());
    EXPECT_TRUE(form->edMesto->text().isEmpty());
    tick();
    EXPECT_FALSE(table()->Filtered());
    EXPECT_EQ(panel0(), " Broj pretplatnika: 5");

    // Poništi clears and puts the focus in the first box.
    form->AcFiltar->trigger();
    type(form->edAdresa, "tr");
    form->edAdresa->setFocus();
    form->AcPonisti->trigger();
    EXPECT_TRUE(form->edAdresa->text().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), form->edTelefon);
}

TEST_F(Search, TickOnAClosedTableReportsTheClosedDataset)
{
    createWith(dir.path("missing.mdb"), 0);
    hook.clear();
    form->gbFiltar->show();
    const QString before = panel0();
    type(form->edVlasnik, "a");
    tick();
    ASSERT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(hook.boxes()[0].text, "Imenik: Cannot perform this operation on a closed dataset.");
    EXPECT_EQ(panel0(), before);
}

} // namespace
