#pragma once
// A status bar of text panels with fixed widths, left to right. A text longer
// than its panel is cut at the panel's edge: no elision, no wrapping.
#include <QString>
#include <QWidget>
#include <vector>

class QSizeGrip;

namespace vidra::ui {

class StatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    // Appends a panel; returns its index.
    int addPanel(int width, const QString& text = {});
    int panelCount() const { return int(m_panels.size()); }
    int panelWidth(int index) const;
    // Where the panel lies in the bar's coordinates.
    QRect panelRect(int index) const;
    // Out-of-range indexes raise vidra::Error.
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Panel
    {
        int width;
        QString text;
    };
    std::vector<Panel> m_panels;
    QSizeGrip* m_grip;
    const Panel& panel(int index) const;
};

} // namespace vidra::ui
