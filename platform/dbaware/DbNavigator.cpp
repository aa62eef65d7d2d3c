#include "platform/dbaware/DbNavigator.h"

#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/ui/AppError.h"
#include "platform/ui/ModalScope.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace vidra {

namespace {

// A small black glyph: a triangle, with a bar for first and last.
QIcon glyph(DbNavigator::Button b)
{
    const bool left = b == DbNavigator::First || b == DbNavigator::Prior;
    const bool bar = b == DbNavigator::First || b == DbNavigator::Last;
    QPainterPath tri;
    if (left) {
        tri.moveTo(8, 2);
        tri.lineTo(8, 10);
        tri.lineTo(4, 6);
    } else {
        tri.moveTo(4, 2);
        tri.lineTo(4, 10);
        tri.lineTo(8, 6);
    }
    tri.closeSubpath();
    const auto draw = [&](QColor c) {
        QPixmap pm(12, 12);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.fillPath(tri, c);
        if (bar) p.fillRect(left ? QRect(2, 2, 2, 9) : QRect(9, 2, 2, 9), c);
        return pm;
    };
    QIcon icon(draw(Qt::black));
    icon.addPixmap(draw(QColor(160, 160, 160)), QIcon::Disabled);
    return icon;
}

} // namespace

DbNavigator::DbNavigator(QWidget* parent) : QWidget(parent)
{
    setFixedSize(89, 22);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    static const char* const tips[] = {"First record", "Prior record", "Next record",
                                       "Last record"};
    static const char* const names[] = {"nbFirst", "nbPrior", "nbNext", "nbLast"};
    for (int i = 0; i < 4; ++i) {
        auto* btn = new QToolButton(this);
        btn->setObjectName(QLatin1String(names[i]));
        btn->setToolTip(QLatin1String(tips[i]));
        btn->setAccessibleName(QLatin1String(tips[i]));
        btn->setIcon(glyph(Button(i)));
        btn->setIconSize(QSize(12, 12));
        btn->setFocusPolicy(Qt::NoFocus);
        btn->setAutoRaise(false);
        btn->setFixedSize(i == 3 ? 89 - 3 * 22 : 22, 22);
        if (i == Prior || i == Next) {
            btn->setAutoRepeat(true);
            btn->setAutoRepeatDelay(400);
            btn->setAutoRepeatInterval(100);
        }
        connect(btn, &QToolButton::clicked, this,
                [this, i] { ui::guarded([&] { clicked(Button(i)); }); });
        row->addWidget(btn);
        m_buttons[size_t(i)] = btn;
    }
    updateButtons();
}

void DbNavigator::setDataSource(DataSource* source)
{
    if (m_source) disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &DataSource::recordChanged, this, &DbNavigator::updateButtons);
        connect(source, &DataSource::dataChanged, this, &DbNavigator::updateButtons);
        connect(source, &DataSource::stateChanged, this, &DbNavigator::updateButtons);
    }
    updateButtons();
}

void DbNavigator::updateButtons()
{
    Table* t = m_source ? m_source->DataSet() : nullptr;
    const bool open = t && t->Active();
    const bool canBack = open && !t->Bof();
    const bool canForward = open && !t->Eof();
    m_buttons[First]->setEnabled(canBack);
    m_buttons[Prior]->setEnabled(canBack);
    m_buttons[Next]->setEnabled(canForward);
    m_buttons[Last]->setEnabled(canForward);
}

void DbNavigator::clicked(Button b)
{
    Table* t = m_source ? m_source->DataSet() : nullptr;
    if (!t || !t->Active()) return;
    // A held button keeps repeating under a window that opened meanwhile;
    // the row that window shows must stay current.
    if (ui::modalOpen()) return;
    switch (b) {
    case First:
        t->First();
        break;
    case Prior:
        t->Prior();
        break;
    case Next:
        t->Next();
        break;
    case Last:
        t->Last();
        break;
    }
}

} // namespace vidra
