#pragma once
// Four buttons that move the current row of a data source: first, prior,
// next and last, enabled from the table's begin and end flags.
#include <QWidget>
#include <array>

class QToolButton;

namespace vidra {

class DataSource;

class DbNavigator : public QWidget
{
    Q_OBJECT
public:
    enum Button
    {
        First,
        Prior,
        Next,
        Last
    };

    explicit DbNavigator(QWidget* parent = nullptr);
    void setDataSource(DataSource* source);
    QToolButton* button(Button b) const { return m_buttons[size_t(b)]; }
    // Re-reads the table's flags; called whenever the source reports a change.
    void updateButtons();

private:
    DataSource* m_source = nullptr;
    std::array<QToolButton*, 4> m_buttons{};
    void clicked(Button b);
};

} // namespace vidra
