// The details panel with the current subscriber, the note panel shown while
// that subscriber has a note, and dialing the subscriber through the
// desktop's call handler.
#include "data/untDM.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/DbEdit.h"
#include "platform/telephony/Telephony.h"
#include "platform/ui/AppError.h"
#include "platform/ui/ToolBand.h"
#include "ui/main/untVidra.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

namespace {

// Arial at 8 points, as the window's own font is sized.
constexpr int kDetailsFontPixels = 11;
// Arial at 9 points.
constexpr int kNoteFontPixels = 12;

QFont boldArial(int pixels)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(true);
    return f;
}

} // namespace

void TFVidra::CreateDetailsPanel()
{
    struct Box
    {
        QLabel* TFVidra::*label;
        const char* labelName;
        const char* caption;
        vidra::DbEdit* TFVidra::*edit;
        const char* editName;
        const char* field;
        QRect geometry;
    };
    const Box boxes[] = {
        {&TFVidra::LabelTelefon, "LabelTelefon", "Telefon", &TFVidra::dbTelefon, "dbTelefon",
         "Telefon", QRect(11, 36, 83, 20)},
        {&TFVidra::LabelVlasnik, "LabelVlasnik", "Vlasnik", &TFVidra::dbVlasnik, "dbVlasnik",
         "Vlasnik", QRect(100, 36, 155, 20)},
        {&TFVidra::LabelAdresa, "LabelAdresa", "Adresa", &TFVidra::dbAdresa, "dbAdresa", "Adresa",
         QRect(261, 36, 205, 20)},
        {&TFVidra::LabelMesto, "LabelMesto", "Mesto", &TFVidra::dbMesto, "dbMesto", "Mesto",
         QRect(472, 36, 130, 20)},
    };
    const QFont bold = boldArial(kDetailsFontPixels);
    vidra::DataSource* ds = DMVidra ? DMVidra->dsImenik : nullptr;
    for (const Box& b : boxes) {
        auto* l = new QLabel(QString::fromUtf8(b.caption), gbPretplatnik);
        l->setObjectName(QLatin1String(b.labelName));
        l->setFont(bold);
        l->move(b.geometry.left(), 23);
        l->adjustSize();
        this->*b.label = l;
    }
    for (const Box& b : boxes) {
        auto* e = new vidra::DbEdit(gbPretplatnik);
        e->setObjectName(QLatin1String(b.editName));
        e->setFont(bold);
        e->setGeometry(b.geometry);
        // Shown, never edited; a click may still select the text for copying,
        // but Tab passes them by.
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::ClickFocus);
        e->setUpperCase(true);
        e->setDataField(QLatin1String(b.field));
        e->setDataSource(ds);
        (this->*b.label)->setBuddy(e);
        this->*b.edit = e;
    }

    tbPretplatnik = new vidra::ui::ToolBand(gbPretplatnik);
    tbPretplatnik->setObjectName(QStringLiteral("tbPretplatnik"));
    auto* pozovi = new QToolButton(tbPretplatnik);
    pozovi->setObjectName(QStringLiteral("tbAcPozovi"));
    pozovi->setDefaultAction(AcPozovi);
    pozovi->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    pozovi->setIconSize(QSize(16, 16));
    pozovi->setFixedSize(68, 22);
    pozovi->setFocusPolicy(Qt::NoFocus);
    pozovi->setAutoRaise(true);
    tbPretplatnik->addWidget(pozovi);
    tbPretplatnik->setContentsMargins(0, 0, 0, 0);
    tbPretplatnik->setGeometry(615, 35, 68, 26);

    dbNapomena->setReadOnly(true);
    // Read-only, but the operator may still move through a long note by keys.
    dbNapomena->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    dbNapomena->setTabChangesFocus(true);
    dbNapomena->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    dbNapomena->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    dbNapomena->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    dbNapomena->setFont(boldArial(kNoteFontPixels));
    QPalette note = dbNapomena->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        note.setColor(g, QPalette::Base, QColor(89, 172, 255));
        note.setColor(g, QPalette::Text, QColor(0, 0, 128));
    }
    dbNapomena->setPalette(note);
    dbNapomena->setDataField(QStringLiteral("Napomena"));
    dbNapomena->setDataSource(ds);

    TimerNapomena = new QTimer(this);
    TimerNapomena->setObjectName(QStringLiteral("TimerNapomena"));
    TimerNapomena->setSingleShot(true);
    TimerNapomena->setInterval(5);
    connect(TimerNapomena, &QTimer::timeout, this,
            vidra::ui::safeSlot([this] { TimerNapomenaTimer(); }));

    // No two rows share a number, so a change of the number shown is a
    // change of the row (or of the number being typed in the editor).
    connect(dbTelefon, &QLineEdit::textChanged, this, [this] { AcHideNapomena->trigger(); });

    // Re-read or reopened rows may carry another note on the same current row.
    if (ds)
        connect(ds, &vidra::DataSource::dataChanged, this, [this] { AcHideNapomena->trigger(); });

    BindCommand(AcHideNapomena, &TFVidra::AcHideNapomenaExecute);
    BindCommand(AcPozovi, &TFVidra::AcPozoviExecute);
}

void TFVidra::AcHideNapomenaExecute()
{
    TimerNapomena->start();
}

bool TFVidra::CurrentRowHasNote() const
{
    vidra::Table* t = DMVidra ? DMVidra->dsImenik->DataSet() : nullptr;
    if (!t || !t->Active() || t->IsEmpty()) return false;
    const vidra::Field* note = t->FindField(QStringLiteral("Napomena"));
    return note && !note->IsNull();
}

void TFVidra::TimerNapomenaTimer()
{
    TimerNapomena->stop();
    if (!MayMoveRecord()) {
        m_notePending = true;
        m_deferredPoll->start();
        return;
    }
    m_notePending = false;
    dbNapomena->setVisible(CurrentRowHasNote());
}

void TFVidra::AcPozoviExecute()
{
    const vidra::Table* t = DMVidra ? DMVidra->dsImenik->DataSet() : nullptr;
    if (!t || !t->Active() || t->IsEmpty()) return;
    const QString number = vidra::telephony::RequestText(dbTelefon->text());
    const QString owner = vidra::telephony::RequestText(dbVlasnik->text());
    // Whether a call handler took the request or not, the operator is told
    // nothing: the handler speaks for itself.
    vidra::telephony::RequestMakeCall(number, QString(), owner, QString());
}
