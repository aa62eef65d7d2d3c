#pragma once
// The main window: its caption, size and font, the bands it is divided into,
// the status bar with the subscriber count, the settings file and the
// window state.
#include <QString>
#include <QWidget>

class QFrame;
class QGroupBox;
class QPlainTextEdit;
class QToolBar;
class QVBoxLayout;

namespace vidra::ui {
class StatusBar;
}

class TFVidra : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 692;
    static constexpr int kClientHeight = 509;
    static constexpr int kToolbarHeight = 27;
    static constexpr int kFilterHeight = 76;
    static constexpr int kNoteHeight = 57;
    static constexpr int kDetailsHeight = 79;
    static constexpr int kStatusHeight = 20;

    enum State
    {
        StateNormal = 0,
        StateMinimized = 1,
        StateMaximized = 2
    };
    static constexpr int kDefaultState = StateMaximized;

    // Builds the window and runs its creation event, which loads the
    // settings and connects through DMVidra. An empty iniFileName means the
    // file beside the executable.
    explicit TFVidra(const QString& iniFileName = {}, QWidget* parent = nullptr);
    ~TFVidra() override;

    // The bands, top to bottom.
    QToolBar* tbImenik;
    QGroupBox* gbFiltar;
    QFrame* dbImenik;
    QPlainTextEdit* dbNapomena;
    QGroupBox* gbPretplatnik;
    vidra::ui::StatusBar* sbImenik;

    const QString& IniFileName() const { return m_iniFileName; }
    void LoadSettings();
    void SaveSettings();

    // Panel 0 of the status bar: " Broj pretplatnika: <count>".
    void ShowSubscriberCount(int count);

    // 0 normal, 1 minimised, 2 maximised.
    int WindowState() const { return m_state; }
    // Values outside 0..2 are taken as 2. Applied at once while shown, else at
    // the first ShowInState().
    void SetWindowState(int state);
    // The first show, in the state read from the settings.
    void ShowInState();

    // The executable's path with the extension of its file name replaced by
    // ".ini", or ".ini" appended when the file name has none.
    static QString IniFileNameFor(const QString& executablePath);
    static int ValidWindowState(int state);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void applyState();

    QVBoxLayout* m_layout;
    QString m_iniFileName;
    int m_state = kDefaultState;
    bool m_settingsSaved = false;
};

extern TFVidra* FVidra;
