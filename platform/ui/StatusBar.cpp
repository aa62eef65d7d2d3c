#include "platform/ui/StatusBar.h"

#include "platform/Error.h"
#include "platform/ui/StatusBarAccessible.h"

#include <QPainter>
#include <QSizeGrip>
#include <qdrawutil.h>

namespace vidra::ui {

namespace {
constexpr int kHeight = 20;
constexpr int kPanelGap = 2;   // between two panels, as the desktop's status bar leaves it
constexpr int kTextIndent = 2; // text starts inside the panel's bevel
} // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent), m_grip(new QSizeGrip(this))
{
    installStatusBarAccessibility();
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(kHeight);
}

int StatusBar::addPanel(int width, const QString& text)
{
    m_panels.push_back({width, text});
    update();
    return panelCount() - 1;
}

const StatusBar::Panel& StatusBar::panel(int index) const
{
    if (index < 0 || index >= panelCount())
        throw vidra::Error(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_panels[std::size_t(index)];
}

int StatusBar::panelWidth(int index) const
{
    return panel(index).width;
}

QRect StatusBar::panelRect(int index) const
{
    panel(index);
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += m_panels[std::size_t(i)].width;
    // The bevel of each panel leaves a gap to its neighbour and a line above.
    return QRect(left, kPanelGap, m_panels[std::size_t(index)].width - kPanelGap,
                 height() - kPanelGap);
}

QString StatusBar::panelText(int index) const
{
    return panel(index).text;
}

void StatusBar::setPanelText(int index, const QString& text)
{
    panel(index);
    Panel& p = m_panels[std::size_t(index)];
    if (p.text == text) return;
    p.text = text;
    update(panelRect(index));
    announcePanelText(this, index);
}

QSize StatusBar::sizeHint() const
{
    int width = 0;
    for (const Panel& p : m_panels)
        width += p.width;
    return QSize(width, kHeight);
}

void StatusBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    for (int i = 0; i < panelCount(); ++i) {
        const QRect r = panelRect(i);
        qDrawShadePanel(&painter, r, palette(), true, 1);
        const QRect textRect = r.adjusted(kTextIndent, 1, -1, -1);
        painter.save();
        painter.setClipRect(textRect);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         m_panels[std::size_t(i)].text);
        painter.restore();
    }
}

void StatusBar::resizeEvent(QResizeEvent*)
{
    const QSize grip = m_grip->sizeHint();
    m_grip->setGeometry(width() - grip.width(), height() - grip.height(), grip.width(),
                        grip.height());
}

} // namespace vidra::ui
