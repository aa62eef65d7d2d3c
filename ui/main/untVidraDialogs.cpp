// The dialogs the main window opens: the subscriber editor, the database
// settings and the about box. Each is handed the window to centre on.
#include "data/untDM.h"
#include "platform/db/Table.h"
#include "ui/dialogs/untAbout.h"
#include "ui/dialogs/untAzuriranje.h"
#include "ui/dialogs/untOpcije.h"
#include "ui/main/untVidra.h"

#include <QAction>

void TFVidra::CreateDialogCommands()
{
    BindCommand(AcDodaj, &TFVidra::AcDodajExecute);
    BindCommand(AcIzmeni, &TFVidra::AcIzmeniExecute);
    BindCommand(AcBaza, &TFVidra::AcBazaExecute);
    BindCommand(AcAbout, &TFVidra::AcAboutExecute);
}

void TFVidra::AcDodajExecute()
{
    // A table that may not be changed says why before any editor opens.
    DMVidra->Imenik->CheckModifiable();
    OpenSubscriberEditor(this, QVariant());
}

void TFVidra::AcIzmeniExecute()
{
    DMVidra->Imenik->CheckModifiable();
    // On an empty table the number is null, and the editor adds a row.
    OpenSubscriberEditor(this, DMVidra->Imenik->FieldByName(QStringLiteral("Telefon")).Value());
}

void TFVidra::AcBazaExecute()
{
    ShowDatabaseSettings(this);
}

void TFVidra::AcAboutExecute()
{
    ShowAbout(this);
}
