#pragma once
// The database settings dialog: shows the database file in use, picks another
// one with the file-open dialog and reconnects to it at once, and tells the
// user which columns a database file is to have.
#include "platform/ui/Dialogs.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class TFOpcije : public QDialog
{
    Q_OBJECT
public:
    // The outer size, frame included: a 4-pixel sizeable border on each side
    // and an 18-pixel tool-window caption around a 264 by 141 client area.
    static constexpr int kOuterWidth = 272;
    static constexpr int kOuterHeight = 167;
    static constexpr int kBorder = 4;
    static constexpr int kCaption = 18;
    static constexpr int kClientWidth = kOuterWidth - 2 * kBorder;
    static constexpr int kClientHeight = kOuterHeight - 2 * kBorder - kCaption;

    explicit TFOpcije(QWidget* parent = nullptr);

    QGroupBox* gbBaza;
    // One line high and multi-line by kind, so the Enter-and-Escape handling
    // leaves it alone; what is typed here is never read.
    QPlainTextEdit* edDb;
    QPushButton* btNadji;
    QGroupBox* gbPolja;
    QLabel* lbTelefon;
    QLabel* lbTelefonDuzina;
    QLabel* lbVlasnik;
    QLabel* lbVlasnikDuzina;
    QLabel* lbAdresa;
    QLabel* lbAdresaDuzina;
    QLabel* lbMesto;
    QLabel* lbMestoDuzina;
    QLabel* lbNapomena;
    QLabel* lbNapomenaDuzina;
    QPushButton* btClose;
    // The file-open dialog as it is set up for picking a database file.
    vidra::ui::OpenFileRequest OpenDB;

    // Runs OpenDB; a chosen file is connected to at once.
    void btNadjiClick();
    // Whenever OpenDB closes, chosen or cancelled: the box shows DbPath again.
    void OpenDBClose();
};

// Creates the dialog, shows the data module's DbPath in it, installs the
// Enter-and-Escape handling, centres it over a window, shows it modally and
// destroys it.
void ShowDatabaseSettings(const QWidget* over);
