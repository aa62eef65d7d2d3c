#include "platform/ui/AppError.h"

#include "platform/Error.h"
#include "platform/ui/Dialogs.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace vidra::ui {

QString applicationTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0) name.truncate(dot);
    if (name.isEmpty()) return name;
    return name.left(1) + name.mid(1).toLower();
}

QString applicationTitle()
{
    return applicationTitle(QCoreApplication::applicationFilePath());
}

QString withClosingPeriod(const QString& message)
{
    if (!message.isEmpty() && message.back() > u'.') return message + u'.';
    return message;
}

void showApplicationError(const QString& message)
{
    messageBox(BoxKind::Error, applicationTitle(), withClosingPeriod(message));
}

void reportCurrentException() noexcept
{
    try {
        try {
            throw;
        } catch (const vidra::Abort&) {
            // silent by design
        } catch (const vidra::Error& e) {
            showApplicationError(e.message());
        } catch (const std::exception& e) {
            showApplicationError(QString::fromUtf8(e.what()));
        } catch (...) {
            showApplicationError(QStringLiteral("Unknown error"));
        }
    } catch (...) {
        // Showing the box failed (out of memory, say): nothing more can be done.
    }
}

VidraApplication::VidraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VidraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return true;
    }
}

} // namespace vidra::ui
