#pragma once
// The subscriber editor: one modal dialog for adding and editing, working on
// the current row of dsImenik in place; on closing it saves (through the
// record rules) or cancels the pending row.
#include <QDialog>
#include <QVariant>

class QLabel;
class QPushButton;
class QWidget;

namespace vidra {
class DbEdit;
class DbMemo;
} // namespace vidra

class TFAzuriranje : public QDialog
{
    Q_OBJECT
public:
    explicit TFAzuriranje(QWidget* parent = nullptr);

    QWidget* pnLogo;
    QLabel* lbLogo;
    QLabel* imgLogo;
    QLabel* lbTelefon;
    QLabel* lbVlasnik;
    QLabel* lbAdresa;
    QLabel* lbMesto;
    QLabel* lbNapomena;
    vidra::DbEdit* dbTelefon;
    vidra::DbEdit* dbVlasnik;
    vidra::DbEdit* dbAdresa;
    vidra::DbEdit* dbMesto;
    vidra::DbMemo* dbNapomena;
    QWidget* pnAzuriranje;
    QPushButton* btSnimi;
    QPushButton* btOdustani;

    // Cancels a pending change, then makes the row with that number current
    // (the current row stays when none has it).
    void PositionEditor(const QVariant& key);

    // Every way of closing comes here: OK saves the pending row (a failure
    // is shown and keeps the dialog open), anything else cancels it.
    void done(int result) override;

private:
    void btSnimiClick();
    // Saves or cancels the pending row; whether the dialog may close.
    bool CloseQuery(int result);
};

// The one editor while it is shown, else null.
extern TFAzuriranje* FAzuriranje;

// Null key: add a subscriber; otherwise edit the one with that number. The
// editor is centred over the given window.
void OpenSubscriberEditor(const QWidget* over, const QVariant& key);
