#include "app/Startup.h"

#include "data/untDM.h"
#include "platform/ui/AppError.h"
#include "ui/main/untVidra.h"

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cerrno>
#include <csignal>
#include <memory>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

namespace vidra::app {

namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

int g_fds[2] = {-1, -1}; // [0] read by the event loop, [1] written by the handler
struct sigaction g_previous[kSignals.size()];

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_fds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (g_fds[0] != -1) throw std::logic_error("termination signals are watched once");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) {
        // Out of descriptors: the signals keep their default action.
        g_fds[0] = g_fds[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readPending(); });

    struct sigaction sa = {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &sa, &g_previous[i]);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void TerminationSignals::readPending()
{
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(g_fds[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            emit requested(bytes[i]);
    }
}

void closeMainWindow(QWidget* mainWindow)
{
    if (!mainWindow) return;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != mainWindow) {
        modal->close();
        if (!modal->isVisible()) {
            // Let the dialog's own loop return to its caller before going on:
            // there may be another dialog underneath.
            QPointer<QWidget> target(mainWindow);
            QTimer::singleShot(0, mainWindow, [target] {
                if (target) closeMainWindow(target);
            });
            return;
        }
    }
    mainWindow->close();
}

void commitSessionData(TFVidra* mainWindow)
{
    if (!mainWindow) return;
    try {
        mainWindow->SaveSettings();
    } catch (const std::exception&) {
        // No box now: the session manager may not allow one. The close at the
        // end of the session writes the settings again and reports a failure.
    }
}

bool endSession(QWidget* mainWindow)
{
    if (!mainWindow || !mainWindow->isVisible()) return false;
    closeMainWindow(mainWindow);
    return true;
}

SessionQuit::SessionQuit(std::function<bool()> takeOver, QObject* parent)
    : QObject(parent), m_takeOver(std::move(takeOver))
{
}

bool SessionQuit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance() && m_takeOver) {
        bool taken = false;
        ui::guarded([&] { taken = m_takeOver(); });
        if (taken) {
            event->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

int run(int argc, char** argv)
{
    ui::VidraApplication app(argc, argv);
    app.setWindowIcon(QIcon(QStringLiteral(":/vidra.svg")));

    // A request to end that arrives before the window is up is kept and
    // carried out once it exists.
    bool endRequested = false;
    bool running = false;
    const auto requestEnd = [&endRequested, &running] {
        endRequested = true;
        if (running && FVidra)
            closeMainWindow(FVidra);
        else if (QWidget* modal = QApplication::activeModalWidget())
            modal->close(); // a box shown while the window is being created
    };

    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::requested, &app,
                     ui::safeSlot([&requestEnd](int) { requestEnd(); }));
#ifndef QT_NO_SESSIONMANAGER
    // Asked at checkpoints and at logouts that may yet be cancelled: save,
    // close nothing.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &termination,
                     [&running](QSessionManager&) {
                         if (running) commitSessionData(FVidra);
                     });
#endif
    // The session really ends: the platform tells the application to quit.
    // Before the window is up that ends the start-up; afterwards the window
    // closes the way the user would. Once it has closed, the quit goes on.
    SessionQuit sessionQuit([&requestEnd, &running] {
        if (running) return endSession(FVidra);
        requestEnd();
        return true;
    });
    app.installEventFilter(&sessionQuit);

    auto dataModule = std::make_unique<TDMVidra>();
    DMVidra = dataModule.get();
    auto mainWindow = std::make_unique<TFVidra>();
    mainWindow->gbFiltar->hide();
    mainWindow->dbNapomena->hide();

    int rc = 0;
    if (endRequested) {
        mainWindow->close();
    } else {
        running = true;
        mainWindow->ShowInState();
        rc = app.exec();
        running = false;
    }

    mainWindow.reset();
    dataModule.reset();
    return rc;
}

} // namespace vidra::app
