#pragma once
// The program's start-up order, its event loop and its end.
#include <QObject>
#include <functional>

class QSocketNotifier;
class QWidget;
class TFVidra;

namespace vidra::app {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal that the event loop
// delivers: the handler only writes the signal's number into a socket pair,
// which is all a signal handler may safely do. One instance at a time; the
// previous handlers come back when it is destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void requested(int signalNumber);

private:
    void readPending();
    QSocketNotifier* m_notifier = nullptr;
};

// Ends the run the normal way: an open modal dialog or message box is closed
// first (a refusal, after which its caller goes on), then the main window,
// whose close event writes the settings.
void closeMainWindow(QWidget* mainWindow);

// The session manager asks the program to commit its data. It asks at
// checkpoints and at logouts that may still be cancelled, so the settings are
// written and nothing is closed: an open editor keeps its pending row. A
// failure to write is left to the close at the end, which writes them again
// and reports it.
void commitSessionData(TFVidra* mainWindow);

// The session really ends: closes the way the user would (closeMainWindow).
// False, doing nothing, when the window is already closed (or was never
// shown), so that the application's quit can go its usual way.
bool endSession(QWidget* mainWindow);

// Watches the application object for its quit request, which is what the
// platform sends when the desktop session ends, and hands it to takeOver.
// When takeOver returns true the request is taken over and Qt does not close
// the windows itself; otherwise the quit goes on as usual.
class SessionQuit : public QObject
{
    Q_OBJECT
public:
    explicit SessionQuit(std::function<bool()> takeOver, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> m_takeOver;
};

// Creates the application, DMVidra and FVidra in that order, runs the event
// loop and destroys everything. Returns the exit code.
int run(int argc, char** argv);

} // namespace vidra::app
