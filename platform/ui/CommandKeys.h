#pragma once
// Key precedence for one window: a key is matched first against the pop-up
// menu of the focused control (or of its parents), then against the window's
// enabled commands, and reaches the control only when neither takes it. A
// pop-up item takes its key even while disabled; a disabled command lets it
// through. While a modal dialog is open, the window's keys do nothing.
//
// Qt's own shortcut map is kept out of it (commands carry their shortcuts
// for display only), because line edits claim editing keys through shortcut
// overriding and two items sharing a key would be ambiguous to Qt.
#include <QHash>
#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace vidra::ui {

class CommandKeys : public QObject
{
    Q_OBJECT
public:
    // Installs itself on the application; removed when destroyed.
    explicit CommandKeys(QWidget* window);
    ~CommandKeys() override;

    // The action's shortcut is set for display only, out of Qt's shortcut map.
    void addCommand(QAction* action);
    void setPopupMenu(QWidget* control, QMenu* menu);
    // Runs before each match, so enabled states are fresh when a key is judged.
    std::function<void()> updateCommands;

    // Which action a key would run for a control of the window, and whether
    // it is taken at all (a disabled pop-up item takes its key and does nothing).
    struct Match
    {
        QAction* action = nullptr;
        bool taken = false;
    };
    Match match(QWidget* focus, const QKeySequence& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_window;
    std::vector<QPointer<QAction>> m_commands;
    QHash<QWidget*, QPointer<QMenu>> m_popups;
};

} // namespace vidra::ui
