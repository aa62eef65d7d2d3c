#pragma once
// Modal windows and what must wait for them. Timers and deferred calls keep
// running inside a modal window's own event loop; anything that would move
// the current record or post the pending row asks modalOpen() first and,
// while one is open, waits for ModalWatch::closed().
#include <QObject>

namespace vidra::ui {

// Marks one of the program's modal windows or message boxes as open while it
// lives: also a box answered by the test hook, which opens no real window.
// Scopes nest.
class ModalScope
{
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

// Whether a modal window, a message box or a pop-up menu is open now.
bool modalOpen();

// Tells when the last open modal scope has ended. Connect with
// Qt::QueuedConnection: the code that opened the window goes on first (a
// delete runs after its question, a save after the editor's close check).
class ModalWatch : public QObject
{
    Q_OBJECT
public:
    static ModalWatch* instance();

signals:
    void closed();

private:
    ModalWatch() = default;
};

} // namespace vidra::ui
