#include "platform/ui/ToolBand.h"

#include <QHBoxLayout>

namespace vidra::ui {

ToolBand::ToolBand(QWidget* parent) : QWidget(parent), m_row(new QHBoxLayout(this))
{
    m_row->setContentsMargins(0, 2, 0, 2);
    m_row->setSpacing(0);
    m_row->addStretch(1);
    setFocusPolicy(Qt::NoFocus);
}

void ToolBand::addWidget(QWidget* item)
{
    item->setParent(this);
    m_row->insertWidget(m_row->count() - 1, item, 0, Qt::AlignVCenter);
}

QSize ToolBand::minimumSizeHint() const
{
    return QSize(0, 0);
}

QList<QWidget*> ToolBand::items() const
{
    QList<QWidget*> out;
    for (int i = 0; i < m_row->count(); ++i)
        if (QWidget* w = m_row->itemAt(i)->widget()) out << w;
    return out;
}

} // namespace vidra::ui
