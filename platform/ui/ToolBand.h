#pragma once
// A toolbar band: buttons and other items side by side, left to right, with
// no spacing of their own, vertically centred. Items that do not fit are
// cut at the right edge, as a fixed-size toolbar does.
#include <QWidget>

class QHBoxLayout;

namespace vidra::ui {

class ToolBand : public QWidget
{
    Q_OBJECT
public:
    explicit ToolBand(QWidget* parent = nullptr);
    void addWidget(QWidget* item);
    // The items in order (for callers that inspect the band).
    QList<QWidget*> items() const;
    // The band may be narrower than its items; they are then cut at the edge.
    QSize minimumSizeHint() const override;

private:
    QHBoxLayout* m_row;
};

} // namespace vidra::ui
