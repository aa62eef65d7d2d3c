#pragma once
// The main window: its caption, size and font, the bands it is divided into,
// the commands with their toolbar, navigator and pop-up menu, the status bar
// with the subscriber count, the settings file and the window state.
#include "platform/dbaware/DbEdit.h"
#include "platform/ini/Settings.h"

#include <QIcon>
#include <QString>
#include <QWidget>
#include <array>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTimer;
class QMenu;
class QPlainTextEdit;
class QVBoxLayout;

namespace vidra {
class DbGrid;
class DbNavigator;
} // namespace vidra
namespace vidra::ui {
class CommandKeys;
class StatusBar;
class ToolBand;
} // namespace vidra::ui

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
    // place this copy of the program keeps its settings (vidra::settingsPlaceFor).
    explicit TFVidra(const QString& iniFileName = {}, QWidget* parent = nullptr);
    explicit TFVidra(vidra::SettingsPlace settings, QWidget* parent = nullptr);
    ~TFVidra() override;

    // The bands, top to bottom.
    vidra::ui::ToolBand* tbImenik;
    QGroupBox* gbFiltar;
    vidra::DbGrid* dbImenik;
    vidra::DbMemo* dbNapomena;
    QGroupBox* gbPretplatnik;
    vidra::ui::StatusBar* sbImenik;

    // The command list alImenik and its image list ilImenik (0 add, 1 edit,
    // 2 delete, 3 clear, 4 exit, 5 search, 6 information, 7 telephone,
    // 8 refresh, 9 database).
    QObject* alImenik;
    std::array<QIcon, 10> ilImenik;
    QAction* AcFiltar;
    QAction* AcDodaj;
    QAction* AcIzmeni;
    QAction* AcRefresh;
    QAction* AcBrisi;
    QAction* AcPozovi;
    QAction* AcPonisti;
    QAction* AcBaza;
    QAction* AcAbout;
    QAction* AcIzlaz;
    QAction* AcHideNapomena;
    vidra::DbNavigator* dbNavigator;
    // The grid's pop-up menu; miOsvezi runs the refresh without being bound to it.
    QMenu* pmImenik;
    QAction* miOsvezi;
    vidra::ui::CommandKeys* CommandKeys() const { return m_keys; }

    // The search panel's controls, in the panel's child order.
    QLabel* lbTelefon;
    QLabel* lbNaziv;
    QLabel* lbAdresa;
    QLabel* lbMesto;
    QLineEdit* edTelefon;
    QLineEdit* edVlasnik;
    QLineEdit* edAdresa;
    QLineEdit* edMesto;
    vidra::ui::ToolBand* tbMeni;
    // One-shot, 100 ms after the last change of a search box.
    QTimer* Timer;
    void edChange();
    // Applies the filter, or keeps the tick for later while a modal window is
    // open or the table is editing (SearchPending()).
    void TimerTimer();
    bool SearchPending() const { return m_searchPending; }
    void ApplySearchFilter();
    // "(Telefon LIKE '0123*') AND (Vlasnik LIKE 'MI*')" from the non-empty boxes.
    QString BuildFilterExpression() const;
    static QString EscapeFilterText(const QString& typed);
    static QString JoinConditions(const QStringList& conditions);
    void ClearSearchFields();
    void AcFiltarExecute();
    void AcPonistiExecute();

    // Enables the dataset commands from the state of the subscriber table.
    void UpdateActions();
    void AcRefreshExecute();
    void AcBrisiExecute();
    void AcIzlazExecute();

    // --- the subscriber editor
    void AcDodajExecute();
    void AcIzmeniExecute();

    // --- the details panel, the note panel and dialing
    QLabel* LabelTelefon;
    QLabel* LabelVlasnik;
    QLabel* LabelAdresa;
    QLabel* LabelMesto;
    vidra::DbEdit* dbTelefon;
    vidra::DbEdit* dbVlasnik;
    vidra::DbEdit* dbAdresa;
    vidra::DbEdit* dbMesto;
    vidra::ui::ToolBand* tbPretplatnik;
    // One-shot, 5 ms after the number shown changes or a record is saved.
    QTimer* TimerNapomena;
    void AcHideNapomenaExecute();
    // Shows the note panel exactly while the current row's note is not null;
    // kept for later like the search tick (NotePending()).
    void TimerNapomenaTimer();
    bool NotePending() const { return m_notePending; }
    // False for an empty or closed table.
    bool CurrentRowHasNote() const;
    // Hands the number and owner shown in the details panel to the desktop's
    // call handler; nothing on a table without rows.
    void AcPozoviExecute();
    // --- end of the details panel, the note panel and dialing

    // --- the database settings dialog and the about box
    void AcBazaExecute();
    void AcAboutExecute();
    // --- end of the database settings dialog and the about box

    // Whether anything may move the current record or post now: no modal
    // window, message box or pop-up menu is open and the table is not editing.
    bool MayMoveRecord() const;
    // Carries out the ticks kept while MayMoveRecord() was false, once it is true.
    void ResumeDeferred();

    // The settings file that is read and written.
    const QString& IniFileName() const { return m_settings.file; }
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

    static int ValidWindowState(int state);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void CreateCommands();
    void CreateToolbar();
    void CreatePopupMenu();
    void CreateSearchPanel();
    void CreateGrid();
    void CreateDetailsPanel();
    void CreateDialogCommands();
    // Runs a command's handler after checking, once more, that it is enabled.
    void BindCommand(QAction* action, void (TFVidra::*handler)());
    void applyState();

    QVBoxLayout* m_layout;
    vidra::ui::CommandKeys* m_keys = nullptr;
    vidra::SettingsPlace m_settings;
    int m_state = kDefaultState;
    bool m_settingsSaved = false;
    bool m_searchPending = false;
    bool m_notePending = false;
    // While a tick is kept, checks now and then whether it may be applied:
    // not every window that holds it back says when it closes (a box's own
    // pop-up menu, say).
    QTimer* m_deferredPoll = nullptr;
};

extern TFVidra* FVidra;
