#pragma once
// The application error box and the one place where an error that escapes a
// command, event handler or timer ends up. Nothing is rolled back; the event
// loop goes on.
#include <QApplication>
#include <QString>
#include <concepts>
#include <exception>
#include <utility>

namespace vidra::ui {

// "Vidra" from ".../VIDRA.EXE": the file name without folder, cut at its
// first period, every letter after the first in lower case.
QString applicationTitle(const QString& executablePath);
// The title of this process.
QString applicationTitle();
// Appends a period when the last character sorts after '.' (letters, digits,
// ':' or '?'), not after '.', '!', ')' or a blank.
QString withClosingPeriod(const QString& message);

// The box: caption the application title, error icon, one OK button.
void showApplicationError(const QString& message);

// Call only inside a catch block: shows the exception being handled in the
// application error box (a vidra::Abort is silent). Never throws.
void reportCurrentException() noexcept;

// Runs f; anything it throws is reported and goes no further. Returns
// whether f finished normally.
template <class F> bool guarded(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

// Wraps a slot for QObject::connect or a timer so that no exception ever
// unwinds through Qt's frames: connect(t, &QTimer::timeout, safeSlot([this] { ... })).
template <class F> auto safeSlot(F f)
{
    // Constrained, so that Qt finds how many of a signal's arguments f takes.
    return [f = std::move(f)](auto&&... args) mutable requires std::invocable<F&, decltype(args)...>
    {
        guarded([&] { f(std::forward<decltype(args)>(args)...); });
    };
}

// The application object: whatever an event handler lets escape is caught
// in notify() and shown; the event is then treated as handled.
class VidraApplication : public QApplication
{
    Q_OBJECT
public:
    VidraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace vidra::ui
