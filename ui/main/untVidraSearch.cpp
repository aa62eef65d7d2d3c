// The search panel: four boxes whose beginnings narrow the directory, 100 ms
// after the last change, through the table's row filter.
#include "data/untDM.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/ui/AppError.h"
#include "platform/ui/ToolBand.h"
#include "platform/ui/UpperCase.h"
#include "ui/main/untVidra.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

void TFVidra::CreateSearchPanel()
{
    struct Box
    {
        QLabel* TFVidra::*label;
        const char* labelName;
        const char* caption;
        QLineEdit* TFVidra::*edit;
        const char* editName;
        QRect geometry;
    };
    const Box boxes[] = {
        {&TFVidra::lbTelefon, "lbTelefon", "Telefon", &TFVidra::edTelefon, "edTelefon",
         QRect(11, 34, 83, 22)},
        {&TFVidra::lbNaziv, "lbNaziv", "Vlasnik", &TFVidra::edVlasnik, "edVlasnik",
         QRect(100, 34, 155, 22)},
        {&TFVidra::lbAdresa, "lbAdresa", "Adresa", &TFVidra::edAdresa, "edAdresa",
         QRect(261, 34, 205, 22)},
        {&TFVidra::lbMesto, "lbMesto", "Mesto", &TFVidra::edMesto, "edMesto",
         QRect(472, 34, 130, 22)},
    };
    for (const Box& b : boxes) {
        auto* l = new QLabel(QString::fromUtf8(b.caption), gbFiltar);
        l->setObjectName(QLatin1String(b.labelName));
        l->move(b.geometry.left(), 20);
        l->adjustSize();
        this->*b.label = l;
    }
    auto* upper = new vidra::ui::UpperCaseValidator(gbFiltar);
    for (const Box& b : boxes) {
        auto* e = new QLineEdit(gbFiltar);
        e->setObjectName(QLatin1String(b.editName));
        e->setGeometry(b.geometry);
        e->setValidator(upper);
        connect(e, &QLineEdit::textChanged, this, [this] { edChange(); });
        // Named by its own label, not by the group box all four share.
        (this->*b.label)->setBuddy(e);
        this->*b.edit = e;
    }

    tbMeni = new vidra::ui::ToolBand(gbFiltar);
    tbMeni->setObjectName(QStringLiteral("tbMeni"));
    auto* ponisti = new QToolButton(tbMeni);
    ponisti->setObjectName(QStringLiteral("tbAcPonisti"));
    ponisti->setDefaultAction(AcPonisti);
    ponisti->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ponisti->setIconSize(QSize(16, 16));
    ponisti->setFixedSize(58, 22);
    ponisti->setFocusPolicy(Qt::NoFocus);
    ponisti->setAutoRaise(true);
    tbMeni->addWidget(ponisti);
    tbMeni->setContentsMargins(0, 0, 0, 0);
    tbMeni->setGeometry(615, 33, 58, 26);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setSingleShot(true);
    Timer->setInterval(100);
    connect(Timer, &QTimer::timeout, this, vidra::ui::safeSlot([this] { TimerTimer(); }));

    BindCommand(AcFiltar, &TFVidra::AcFiltarExecute);
    BindCommand(AcPonisti, &TFVidra::AcPonistiExecute);
}

void TFVidra::edChange()
{
    // Restarted on every change, so the delay counts from the last keystroke.
    Timer->stop();
    Timer->start();
}

void TFVidra::TimerTimer()
{
    Timer->stop();
    // Under a question, the editor or a pop-up menu the current row must stay
    // the one the operator saw; the tick is applied once they are gone.
    if (!MayMoveRecord()) {
        m_searchPending = true;
        m_deferredPoll->start();
        return;
    }
    m_searchPending = false;
    ApplySearchFilter();
}

void TFVidra::ApplySearchFilter()
{
    Timer->stop();
    const QString filter = BuildFilterExpression();
    vidra::Table* t = DMVidra->Imenik;
    if (!filter.isEmpty()) {
        t->SetFilter(filter);
        t->SetFiltered(true);
    } else {
        t->SetFiltered(false);
    }
    ShowSubscriberCount(DMVidra->dsImenik->DataSet()->RecordCount());
}

QString TFVidra::EscapeFilterText(const QString& typed)
{
    // Whatever the operator types is searched for literally: an apostrophe
    // is doubled, and characters the filter would read as wildcards or
    // brackets stand in brackets of their own.
    QString out;
    out.reserve(typed.size() + 8);
    for (QChar c : typed) {
        if (c == u'\'')
            out += QStringLiteral("''");
        else if (c == u'*' || c == u'%' || c == u'[')
            out += u'[' + QString(c) + u']';
        else
            out += c;
    }
    return out;
}

QString TFVidra::JoinConditions(const QStringList& conditions)
{
    // Joined as a list, never by editing the text, so nothing typed is altered.
    return conditions.join(QStringLiteral(" AND "));
}

QString TFVidra::BuildFilterExpression() const
{
    QStringList conditions;
    for (QObject* child : gbFiltar->children()) {
        auto* box = qobject_cast<QLineEdit*>(child);
        if (!box || box->text().isEmpty()) continue;
        const QString name = box->objectName().mid(2);
        const vidra::Field* field = DMVidra->Imenik->FindField(name);
        if (!field || field->DataType() != vidra::FieldType::WideString) continue;
        conditions << QStringLiteral("(%1 LIKE '%2*')").arg(name, EscapeFilterText(box->text()));
    }
    return JoinConditions(conditions);
}

void TFVidra::ClearSearchFields()
{
    for (QObject* child : gbFiltar->children())
        if (auto* box = qobject_cast<QLineEdit*>(child)) box->setText(QString());
}

void TFVidra::AcFiltarExecute()
{
    if (gbFiltar->isVisible()) {
        ClearSearchFields();
        gbFiltar->hide();
    } else {
        gbFiltar->show();
        edTelefon->setFocus();
    }
}

void TFVidra::AcPonistiExecute()
{
    ClearSearchFields();
    edTelefon->setFocus();
}
