#pragma once
// The program's start-up order, its event loop and its end.
#include <QObject>

class QSocketNotifier;
class QWidget;

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

// Creates the application, DMVidra and FVidra in that order, runs the event
// loop and destroys everything. Returns the exit code.
int run(int argc, char** argv);

} // namespace vidra::app
