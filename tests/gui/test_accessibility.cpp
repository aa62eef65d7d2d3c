// What a screen reader finds in the main window and the editor: every control
// an operator uses by its role and a name of its own, and the subscriber count
// as a text that is announced when it changes.
#include "FrameFixture.h"
#include "platform/dbaware/DbNavigator.h"
#include "platform/ui/Announce.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace {

QAccessibleInterface* access(QObject* o)
{
    return QAccessible::queryAccessibleInterface(o);
}

QString nameOf(QObject* o)
{
    QAccessibleInterface* i = access(o);
    return i ? i->text(QAccessible::Name) : QStringLiteral("<none>");
}

// What an operator works with: what takes the focus, is pressed or is read.
bool isControl(QAccessibleInterface* i)
{
    switch (i->role()) {
    case QAccessible::EditableText:
    case QAccessible::PushButton:
    case QAccessible::ButtonMenu:
    case QAccessible::CheckBox:
    case QAccessible::ComboBox:
    case QAccessible::Link:
    case QAccessible::Table:
        return true;
    default:
        return i->state().focusable;
    }
}

// Calls visit for every visible control below root, with the interface of
// the group it lies in; the rows of a table are not walked.
void walkControls(QAccessibleInterface* root,
                  const std::function<void(QAccessibleInterface*, QAccessibleInterface*)>& visit)
{
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface* c = root->child(i);
        if (!c || c->state().invisible) continue;
        if (isControl(c)) visit(c, root);
        if (c->role() != QAccessible::Table) walkControls(c, visit);
    }
}

class Accessibility : public FrameFixture
{
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        createWith(makeDb("data.mdb", 12), 0);
        showActive();
    }
    void openSearch()
    {
        form->AcFiltar->trigger();
        ASSERT_TRUE(form->gbFiltar->isVisible());
    }
    void showNote()
    {
        form->dbNapomena->show();
        ASSERT_TRUE(form->dbNapomena->isVisible());
    }
};

TEST_F(Accessibility, EveryControlOfTheMainWindowHasItsRoleAndADistinctName)
{
    openSearch();
    showNote();
    const struct
    {
        QWidget* widget;
        QAccessible::Role role;
        const char* name;
    } expected[] = {
        {form->edTelefon, QAccessible::EditableText, "Telefon"},
        {form->edVlasnik, QAccessible::EditableText, "Vlasnik"},
        {form->edAdresa, QAccessible::EditableText, "Adresa"},
        {form->edMesto, QAccessible::EditableText, "Mesto"},
        {form->dbTelefon, QAccessible::EditableText, "Telefon"},
        {form->dbVlasnik, QAccessible::EditableText, "Vlasnik"},
        {form->dbAdresa, QAccessible::EditableText, "Adresa"},
        {form->dbMesto, QAccessible::EditableText, "Mesto"},
        {form->dbNapomena, QAccessible::EditableText, "Napomena"},
        {form->dbImenik, QAccessible::Table, "Imenik"},
        {form->dbNavigator->findChild<QToolButton*>("nbFirst"), QAccessible::PushButton,
         "First record"},
        {form->dbNavigator->findChild<QToolButton*>("nbPrior"), QAccessible::PushButton,
         "Prior record"},
        {form->dbNavigator->findChild<QToolButton*>("nbNext"), QAccessible::PushButton,
         "Next record"},
        {form->dbNavigator->findChild<QToolButton*>("nbLast"), QAccessible::PushButton,
         "Last record"},
    };
    for (const auto& e : expected) {
        ASSERT_NE(e.widget, nullptr);
        SCOPED_TRACE(e.widget->objectName().toStdString());
        QAccessibleInterface* i = access(e.widget);
        ASSERT_NE(i, nullptr);
        EXPECT_EQ(i->role(), e.role);
        EXPECT_EQ(i->text(QAccessible::Name), QString::fromUtf8(e.name));
    }
    // The labels name the boxes: a reader announces the pair as one.
    const auto labelled = access(form->edVlasnik)->relations(QAccessible::Label);
    EXPECT_TRUE(std::any_of(labelled.begin(), labelled.end(), [&](const auto& r) {
        return r.first->object() == form->lbNaziv;
    }));
    // The details boxes are read, never typed into.
    EXPECT_TRUE(access(form->dbTelefon)->state().readOnly);

    // The whole window: no control without a name, and none that shares its
    // name with another in the same group.
    int controls = 0;
    std::map<QAccessibleInterface*, std::set<QString>> namesByGroup;
    walkControls(access(form.get()), [&](QAccessibleInterface* c, QAccessibleInterface* group) {
        ++controls;
        const QString name = c->text(QAccessible::Name);
        SCOPED_TRACE(c->object() ? c->object()->objectName().toStdString() : "(painted)");
        EXPECT_FALSE(name.trimmed().isEmpty());
        EXPECT_TRUE(namesByGroup[group].insert(name).second) << name.toStdString();
    });
    // Eight toolbar buttons and the navigator's four, four search boxes and
    // "Poništi", the grid, the note, four details boxes and "Pozovi...".
    EXPECT_EQ(controls, 24);
}

TEST_F(Accessibility, TheCountIsATextAndEveryNewCountIsAnnounced)
{
    QAccessibleInterface* bar = access(form->sbImenik);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->role(), QAccessible::StatusBar);
    ASSERT_GE(bar->childCount(), 3);
    QAccessibleInterface* count = bar->child(0);
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->role(), QAccessible::StaticText);
    EXPECT_EQ(count->text(QAccessible::Name), "Broj pretplatnika: 12");
    EXPECT_EQ(bar->indexOfChild(count), 0);
    EXPECT_EQ(count->parent(), bar);
    // The credits are read too, each as its own text.
    EXPECT_EQ(bar->child(1)->text(QAccessible::Name), form->sbImenik->panelText(1).trimmed());
    EXPECT_EQ(bar->child(2)->text(QAccessible::Name), "v2.00");
    // Where the panel lies on screen, for a reader's magnifier.
    const QRect panel = form->sbImenik->panelRect(0);
    EXPECT_EQ(count->rect(), QRect(form->sbImenik->mapToGlobal(panel.topLeft()), panel.size()));

    vidra::ui::AnnounceHook heard;
    openSearch();
    type(form->edVlasnik, "VLASNIK 1");
    // VLASNIK 1, 10 and 11.
    EXPECT_SOON_EQ(panel0(), " Broj pretplatnika: 3");
    EXPECT_EQ(count->text(QAccessible::Name), "Broj pretplatnika: 3");
    const auto& events = heard.heard();
    const auto announced = std::find_if(events.begin(), events.end(), [](const auto& h) {
        return h.type == QAccessible::NameChanged && h.role == QAccessible::StaticText;
    });
    ASSERT_NE(announced, events.end());
    EXPECT_EQ(announced->name, "Broj pretplatnika: 3");

    // The same count written again is no news.
    heard.clear();
    form->ShowSubscriberCount(3);
    for (const auto& h : heard.heard())
        EXPECT_NE(h.type, QAccessible::NameChanged);
}

TEST_F(Accessibility, TheEditorsBoxesAreNamedByTheLabelsBesideThem)
{
    withEditor(form->AcIzmeni, [&](TFAzuriranje* e) {
        const struct
        {
            QWidget* box;
            QLabel* label;
            QAccessible::Role role;
            const char* name;
        } boxes[] = {
            {e->dbTelefon, e->lbTelefon, QAccessible::EditableText, "Telefon:"},
            {e->dbVlasnik, e->lbVlasnik, QAccessible::EditableText, "Vlasnik:"},
            {e->dbAdresa, e->lbAdresa, QAccessible::EditableText, "Adresa:"},
            {e->dbMesto, e->lbMesto, QAccessible::EditableText, "Mesto:"},
            {e->dbNapomena, e->lbNapomena, QAccessible::EditableText, "Napomena:"},
        };
        for (const auto& b : boxes) {
            SCOPED_TRACE(b.name);
            QAccessibleInterface* i = access(b.box);
            EXPECT_EQ(i->role(), b.role);
            EXPECT_EQ(i->text(QAccessible::Name), QString::fromUtf8(b.name));
            EXPECT_FALSE(i->state().readOnly);
            EXPECT_EQ(b.label->buddy(), b.box);
            // The label's text is unchanged: no mnemonic crept in.
            EXPECT_EQ(b.label->text(), QString::fromUtf8(b.name));
        }
        EXPECT_EQ(nameOf(e->btSnimi), "Snimi");
        EXPECT_EQ(nameOf(e->btOdustani), "Odustani");
        // The box with the focus is the one a reader announces first.
        EXPECT_TRUE(access(e->dbTelefon)->state().focused);
    });
}

} // namespace
