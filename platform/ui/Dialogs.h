#pragma once
// The program's one way to show a message box or the file-open dialog.
// Message boxes are modal and centred on the screen, with English captions
// and buttons by kind. A test hook replaces every real dialog with queued
// answers and records what the user would have seen.
#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QSize;
class QWidget;

namespace vidra::ui {

enum class Answer
{
    Ok,
    Yes,
    No,
    Cancel
};

// Error: error icon, "OK". Warning: warning icon, "&Yes" "&No".
// Confirm: question icon, "&Yes" "&No".
enum class BoxKind
{
    Error,
    Warning,
    Confirm,
    WarningOk // warning icon, "OK": a notice that asks nothing
};

// Caption "Error". Enter and Escape both choose OK; closing gives Cancel.
Answer errorBox(const QString& text);
// Caption "Warning". Enter chooses Yes, Escape No; closing gives Cancel.
Answer warningQuestion(const QString& text);
// Caption "Confirm". Enter chooses Yes, Escape No; closing gives Cancel.
Answer confirmation(const QString& text);
// A box of the given kind under a caption of the caller's choice (the
// application error box uses the application's title).
Answer messageBox(BoxKind kind, const QString& caption, const QString& text);

// The answer that a box gives when it is closed without a choice.
inline constexpr Answer kRefusal = Answer::Cancel;

struct OpenFileRequest
{
    QString title; // empty: the platform's default title
    // Qt filter text, e.g. "AccessDB (*.[mM][dD][bB])". Qt's own dialog
    // matches patterns in any case, a desktop's native one may compare them
    // exactly: spell out both cases where case must not matter.
    QString filter;
    QString initialFolder; // empty: the platform's default folder
    // The default extension text as the caller has it ("*.mdb"); the dialog
    // appends fileSuffixOf(it) to a name typed without an extension.
    QString defaultSuffix;
    bool mustExist = true; // false: any name typed is accepted, also in a missing folder
    QWidget* parent = nullptr;
};

// The chosen file's full name, or nothing when the user cancelled.
std::optional<QString> openFileName(const OpenFileRequest& request);

// The extension a default extension text names: "mdb" for "*.mdb", ".mdb" or
// "mdb"; empty when it names none (empty, "*", a pattern).
QString fileSuffixOf(const QString& defaultExtension);

// Places a dialog of the given outer size in the middle of a window's frame;
// nothing when there is no window.
void centreOver(QWidget* dialog, const QSize& size, const QWidget* window);

// While an instance lives, no real dialog is shown. Instances nest: the
// newest one answers. Each box takes the next queued answer; an empty queue
// gives the refusal (Cancel) and is counted.
class DialogHook
{
public:
    struct Box
    {
        BoxKind kind;
        QString caption;
        QString text;
    };

    DialogHook();
    ~DialogHook();
    DialogHook(const DialogHook&) = delete;
    DialogHook& operator=(const DialogHook&) = delete;

    static DialogHook* active();

    void queueAnswer(Answer answer) { m_answers.push_back(answer); }
    // A file name the next file dialog returns; queueFileCancel() a cancel.
    void queueFile(const QString& fileName) { m_files.push_back({false, fileName}); }
    void queueFileCancel() { m_files.push_back({true, {}}); }

    const std::vector<Box>& boxes() const { return m_boxes; }
    const std::vector<OpenFileRequest>& fileRequests() const { return m_fileRequests; }
    // How many boxes or file dialogs found their queue empty.
    int emptyQueueCount() const { return m_emptyQueue; }
    int pendingAnswers() const { return int(m_answers.size()); }
    void clear();

    // Runs while a box "is shown", before its answer is returned: lets a
    // test act at the moment the user would be looking at the box.
    std::function<void(const Box&)> onBox;

private:
    friend Answer messageBox(BoxKind, const QString&, const QString&);
    friend std::optional<QString> openFileName(const OpenFileRequest&);
    Answer answerBox(const Box& box);
    std::optional<QString> answerFile(const OpenFileRequest& request);

    DialogHook* m_previous;
    std::deque<Answer> m_answers;
    struct QueuedFile
    {
        bool cancel;
        QString name;
    };
    std::deque<QueuedFile> m_files;
    std::vector<Box> m_boxes;
    std::vector<OpenFileRequest> m_fileRequests;
    int m_emptyQueue = 0;
};

// Caption "Warning", warning icon, one "OK" button. Enter and Escape both
// choose OK; closing gives Cancel.
Answer warningBox(const QString& text);

} // namespace vidra::ui
