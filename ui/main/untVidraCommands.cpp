// The main window's commands: the command list, the toolbar that shows them,
// the record navigator, the grid's pop-up menu, the enabling rules, and the
// commands small enough to live here (refresh, delete, exit).
#include "data/untDM.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/dbaware/DbNavigator.h"
#include "platform/ui/AppError.h"
#include "platform/ui/BusyCursor.h"
#include "platform/ui/CommandKeys.h"
#include "platform/ui/ModalScope.h"
#include "platform/ui/ToolBand.h"
#include "ui/main/untVidra.h"

#include <QAction>
#include <QEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

namespace {

struct CommandDef
{
    QAction* TFVidra::*member;
    const char* name;
    const char* caption; // UTF-8
    QKeySequence shortcut;
    int image;        // -1: none
    const char* hint; // nullptr: none
};

// A toolbar button shows the tooltip given for it, or none at all; a plain
// QToolButton would fall back to its command's caption.
class ButtonTip : public QObject
{
public:
    ButtonTip(QToolButton* button, const QString& tip) : QObject(button), m_tip(tip)
    {
        button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip) return false;
        auto* help = static_cast<QHelpEvent*>(event);
        if (m_tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), m_tip, static_cast<QWidget*>(watched));
        return true;
    }

private:
    QString m_tip;
};

QWidget* gap(QWidget* parent, int width)
{
    auto* w = new QWidget(parent);
    w->setObjectName(QStringLiteral("separator%1").arg(width));
    w->setFixedWidth(width);
    w->setFocusPolicy(Qt::NoFocus);
    return w;
}

} // namespace

void TFVidra::CreateCommands()
{
    static const char* const images[10] = {"add",    "edit", "delete", "clear",   "exit",
                                           "search", "info", "phone",  "refresh", "database"};
    for (int i = 0; i < 10; ++i)
        ilImenik[size_t(i)] = QIcon(QStringLiteral(":/icons/%1.svg").arg(images[i]));

    alImenik = new QObject(this);
    alImenik->setObjectName(QStringLiteral("alImenik"));
    const CommandDef defs[] = {
        {&TFVidra::AcFiltar, "AcFiltar", "Pretraži", QKeySequence(Qt::Key_F3), 5, nullptr},
        {&TFVidra::AcDodaj, "AcDodaj", "Dodaj", QKeySequence(Qt::Key_Insert), 0, nullptr},
        {&TFVidra::AcIzmeni, "AcIzmeni", "Izmeni", QKeySequence(Qt::Key_F2), 1, nullptr},
        {&TFVidra::AcRefresh, "AcRefresh", "Osveži", QKeySequence(Qt::Key_F5), 8, nullptr},
        {&TFVidra::AcBrisi, "AcBrisi", "Briši", QKeySequence(Qt::SHIFT | Qt::Key_Delete), 2,
         nullptr},
        {&TFVidra::AcPozovi, "AcPozovi", "Pozovi...", QKeySequence(Qt::Key_F4), 7, nullptr},
        {&TFVidra::AcPonisti, "AcPonisti", "Poništi", QKeySequence(), 3, nullptr},
        {&TFVidra::AcBaza, "AcBaza", "Baza", QKeySequence(), 9, nullptr},
        {&TFVidra::AcAbout, "AcAbout", "Info", QKeySequence(Qt::Key_F1), 6,
         "Informacije o imeniku"},
        {&TFVidra::AcIzlaz, "AcIzlaz", "Izlaz", QKeySequence(Qt::Key_Escape), 4,
         "Izlaz iz programa"},
        {&TFVidra::AcHideNapomena, "AcHideNapomena", "", QKeySequence(), -1, nullptr},
    };
    m_keys = new vidra::ui::CommandKeys(this);
    m_keys->updateCommands = [this] { UpdateActions(); };
    for (const CommandDef& d : defs) {
        auto* a = new QAction(QString::fromUtf8(d.caption), alImenik);
        a->setObjectName(QLatin1String(d.name));
        // The caption is shown as it is: no accelerator letters.
        a->setIconText(QString::fromUtf8(d.caption));
        if (d.image >= 0) a->setIcon(ilImenik[size_t(d.image)]);
        a->setProperty("imageIndex", d.image);
        a->setShortcut(d.shortcut);
        a->setToolTip(d.hint ? QString::fromUtf8(d.hint) : QString());
        a->setStatusTip(d.hint ? QString::fromUtf8(d.hint) : QString());
        this->*d.member = a;
        if (!d.shortcut.isEmpty()) m_keys->addCommand(a);
    }
    BindCommand(AcRefresh, &TFVidra::AcRefreshExecute);
    BindCommand(AcBrisi, &TFVidra::AcBrisiExecute);
    BindCommand(AcIzlaz, &TFVidra::AcIzlazExecute);
}

void TFVidra::BindCommand(QAction* action, void (TFVidra::*handler)())
{
    connect(action, &QAction::triggered, this, vidra::ui::safeSlot([this, action, handler] {
                UpdateActions();
                if (action->isEnabled()) (this->*handler)();
            }));
}

void TFVidra::CreateToolbar()
{
    dbNavigator = new vidra::DbNavigator(tbImenik);
    dbNavigator->setObjectName(QStringLiteral("dbNavigator"));

    const auto button = [this](QAction* action, const char* tip) {
        auto* b = new QToolButton(tbImenik);
        b->setObjectName(QStringLiteral("tb") + action->objectName());
        b->setDefaultAction(action);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setIconSize(QSize(16, 16));
        b->setFixedSize(64, 22);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(true);
        new ButtonTip(b, tip ? QString::fromUtf8(tip) : QString());
        return b;
    };
    tbImenik->addWidget(gap(tbImenik, 8));
    tbImenik->addWidget(button(AcFiltar, "Pretraživanje - filtiranje podataka"));
    tbImenik->addWidget(button(AcDodaj, nullptr));
    tbImenik->addWidget(button(AcIzmeni, "Izmena podataka"));
    tbImenik->addWidget(button(AcRefresh, "Osveživanje podataka"));
    tbImenik->addWidget(button(AcBrisi, "Brisanje podataka"));
    tbImenik->addWidget(gap(tbImenik, 30));
    tbImenik->addWidget(gap(tbImenik, 8));
    tbImenik->addWidget(dbNavigator);
    tbImenik->addWidget(gap(tbImenik, 30));
    tbImenik->addWidget(gap(tbImenik, 8));
    tbImenik->addWidget(button(AcBaza, nullptr));
    tbImenik->addWidget(button(AcAbout, "Informacije o imeniku"));
    tbImenik->addWidget(button(AcIzlaz, "Izlaz iz programa"));
    tbImenik->addWidget(gap(tbImenik, 8));
}

void TFVidra::CreatePopupMenu()
{
    pmImenik = new QMenu(this);
    pmImenik->setObjectName(QStringLiteral("pmImenik"));
    pmImenik->addAction(AcDodaj);
    pmImenik->addAction(AcIzmeni);
    pmImenik->addAction(AcBrisi);
    pmImenik->addSeparator();
    miOsvezi = pmImenik->addAction(ilImenik[8], QStringLiteral("Osveži"));
    miOsvezi->setObjectName(QStringLiteral("miOsvezi"));
    miOsvezi->setShortcut(QKeySequence(Qt::Key_F5));
    connect(miOsvezi, &QAction::triggered, this,
            vidra::ui::safeSlot([this] { AcRefreshExecute(); }));
    pmImenik->addSeparator();
    pmImenik->addAction(AcPozovi);
    pmImenik->addSeparator();
    pmImenik->addAction(AcIzlaz);
    m_keys->setPopupMenu(dbImenik, pmImenik);
    dbImenik->setPopupMenu(pmImenik);
    // Items follow their commands' enabled state whenever the menu opens.
    connect(pmImenik, &QMenu::aboutToShow, this, [this] { UpdateActions(); });
    // A search typed before the menu opened is applied once it has closed.
    connect(pmImenik, &QMenu::aboutToHide, this, &TFVidra::ResumeDeferred, Qt::QueuedConnection);
}

void TFVidra::CreateGrid()
{
    dbImenik->addColumn(QStringLiteral("Telefon"), QStringLiteral("Telefon"), 84);
    dbImenik->addColumn(QStringLiteral("Vlasnik"), QStringLiteral("Vlasnik"), 235);
    dbImenik->addColumn(QStringLiteral("Adresa"), QStringLiteral("Adresa"), 252);
    dbImenik->addColumn(QStringLiteral("Mesto"), QStringLiteral("Mesto"), 102);
    if (DMVidra) {
        dbImenik->setDataSource(DMVidra->dsImenik);
        dbNavigator->setDataSource(DMVidra->dsImenik);
        vidra::DataSource* ds = DMVidra->dsImenik;
        for (auto signal : {&vidra::DataSource::stateChanged, &vidra::DataSource::dataChanged,
                            &vidra::DataSource::recordChanged})
            connect(ds, signal, this, &TFVidra::UpdateActions);
        // A tick kept while the editor was open is applied once the row is
        // saved or cancelled and the editor has gone.
        connect(ds, &vidra::DataSource::stateChanged, this, &TFVidra::ResumeDeferred,
                Qt::QueuedConnection);
    }
    connect(dbImenik, &vidra::DbGrid::doubleClicked, this, [this] { AcIzmeni->trigger(); });
    UpdateActions();
}

void TFVidra::UpdateActions()
{
    vidra::Table* t = DMVidra ? DMVidra->Imenik : nullptr;
    const bool open = t && t->Active();
    const bool modifiable = open && t->CanModify();
    const bool editing = open && (t->State() == vidra::DatasetState::Edit ||
                                  t->State() == vidra::DatasetState::Insert);
    // Where only the file's own code keeps the table from being changed, the
    // commands stay: trying one tells the operator why.
    const bool changeable = modifiable || (open && !t->NotWritableReason().isEmpty());
    AcDodaj->setEnabled(changeable);
    AcIzmeni->setEnabled(changeable && !editing);
    AcBrisi->setEnabled(changeable && !t->IsEmpty());
    AcRefresh->setEnabled(changeable);
}

bool TFVidra::MayMoveRecord() const
{
    if (vidra::ui::modalOpen()) return false;
    const vidra::Table* t = DMVidra ? DMVidra->Imenik : nullptr;
    return !t || !t->Active() ||
           (t->State() != vidra::DatasetState::Edit && t->State() != vidra::DatasetState::Insert);
}

void TFVidra::ResumeDeferred()
{
    if (!MayMoveRecord()) return;
    if (m_searchPending && !Timer->isActive()) {
        m_searchPending = false;
        vidra::ui::guarded([this] { ApplySearchFilter(); });
    }
    if (m_notePending && !TimerNapomena->isActive())
        vidra::ui::guarded([this] { TimerNapomenaTimer(); });
    if (!m_searchPending && !m_notePending) m_deferredPoll->stop();
}

void TFVidra::AcRefreshExecute()
{
    vidra::ui::BusyCursor busy;
    DMVidra->Imenik->Requery();
}

void TFVidra::AcBrisiExecute()
{
    vidra::Table* t = DMVidra->Imenik;
    // Nothing to delete: no question, no error.
    if (!t->Active() || t->IsEmpty()) return;
    t->Delete();
}

void TFVidra::AcIzlazExecute()
{
    close();
}
