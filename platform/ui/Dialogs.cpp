#include "platform/ui/Dialogs.h"

#include "platform/ui/BusyCursor.h"
#include "platform/ui/ModalScope.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace vidra::ui {

void centreOver(QWidget* dialog, const QSize& size, const QWidget* window)
{
    if (!dialog || !window) return;
    const QRect frame = window->frameGeometry();
    dialog->move(frame.x() + (frame.width() - size.width()) / 2,
                 frame.y() + (frame.height() - size.height()) / 2);
}

namespace {
DialogHook* g_hook = nullptr;

QString captionFor(BoxKind kind)
{
    switch (kind) {
    case BoxKind::Error:
        return QStringLiteral("Error");
    case BoxKind::Warning:
        return QStringLiteral("Warning");
    case BoxKind::Confirm:
        return QStringLiteral("Confirm");
    case BoxKind::WarningOk:
        return QStringLiteral("Warning");
    }
    return {};
}

QMessageBox::Icon iconFor(BoxKind kind)
{
    switch (kind) {
    case BoxKind::Error:
        return QMessageBox::Critical;
    case BoxKind::Warning:
        return QMessageBox::Warning;
    case BoxKind::Confirm:
        return QMessageBox::Question;
    case BoxKind::WarningOk:
        return QMessageBox::Warning;
    }
    return QMessageBox::NoIcon;
}
} // namespace

QString fileSuffixOf(const QString& defaultExtension)
{
    // "*.mdb", ".mdb" and "mdb" all mean the extension "mdb"; a pattern
    // such as "*" or "*.m?b" names no single extension.
    qsizetype start = 0;
    while (start < defaultExtension.size() &&
           (defaultExtension[start] == u'*' || defaultExtension[start] == u'.'))
        ++start;
    QString suffix = defaultExtension.mid(start);
    for (const QChar c : suffix)
        if (c == u'*' || c == u'?' || c == u'[' || c == u'/') return {};
    return suffix;
}

Answer errorBox(const QString& text)
{
    return messageBox(BoxKind::Error, captionFor(BoxKind::Error), text);
}

Answer warningQuestion(const QString& text)
{
    return messageBox(BoxKind::Warning, captionFor(BoxKind::Warning), text);
}

Answer confirmation(const QString& text)
{
    return messageBox(BoxKind::Confirm, captionFor(BoxKind::Confirm), text);
}

Answer messageBox(BoxKind kind, const QString& caption, const QString& text)
{
    ModalCursorScope cursor;
    ModalScope modal;
    if (g_hook) return g_hook->answerBox({kind, caption, text});

    // No parent: the box is centred on the screen and modal to the whole application.
    QMessageBox box;
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(caption);
    box.setIcon(iconFor(kind));
    box.setTextFormat(Qt::PlainText);
    box.setText(text);

    QPushButton* ok = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    if (kind == BoxKind::Error || kind == BoxKind::WarningOk) {
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    } else {
        yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
    }

    // Escape clicks the escape button; the window's close box closes the box
    // without a click, which is the refusal.
    QAbstractButton* clicked = nullptr;
    QObject::connect(&box, &QMessageBox::buttonClicked,
                     [&clicked](QAbstractButton* b) { clicked = b; });

    box.exec();
    if (clicked && clicked == ok) return Answer::Ok;
    if (clicked && clicked == yes) return Answer::Yes;
    if (clicked && clicked == no) return Answer::No;
    return kRefusal;
}

std::optional<QString> openFileName(const OpenFileRequest& request)
{
    ModalCursorScope cursor;
    ModalScope modal;
    if (g_hook) return g_hook->answerFile(request);

    QFileDialog dialog(request.parent, request.title, request.initialFolder, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The list of file kinds shows each entry's name, not its patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QString suffix = fileSuffixOf(request.defaultSuffix);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.first();
}

DialogHook::DialogHook() : m_previous(g_hook)
{
    g_hook = this;
}

DialogHook::~DialogHook()
{
    g_hook = m_previous;
}

DialogHook* DialogHook::active()
{
    return g_hook;
}

void DialogHook::clear()
{
    m_answers.clear();
    m_files.clear();
    m_boxes.clear();
    m_fileRequests.clear();
    m_emptyQueue = 0;
}

Answer DialogHook::answerBox(const Box& box)
{
    m_boxes.push_back(box);
    if (onBox) {
        const Box shown = m_boxes.back(); // the callback may ask for further boxes
        onBox(shown);
    }
    if (m_answers.empty()) {
        ++m_emptyQueue;
        return kRefusal;
    }
    const Answer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

std::optional<QString> DialogHook::answerFile(const OpenFileRequest& request)
{
    m_fileRequests.push_back(request);
    if (m_files.empty()) {
        ++m_emptyQueue;
        return std::nullopt;
    }
    const QueuedFile f = m_files.front();
    m_files.pop_front();
    if (f.cancel) return std::nullopt;
    return f.name;
}

Answer warningBox(const QString& text)
{
    return messageBox(BoxKind::WarningOk, captionFor(BoxKind::WarningOk), text);
}

} // namespace vidra::ui
