// The two small dialogs the main window opens: the database settings and the
// about box.
#include "ui/dialogs/untAbout.h"
#include "ui/dialogs/untOpcije.h"
#include "ui/main/untVidra.h"

void TFVidra::CreateDialogCommands()
{
    BindCommand(AcBaza, &TFVidra::AcBazaExecute);
    BindCommand(AcAbout, &TFVidra::AcAboutExecute);
}

void TFVidra::AcBazaExecute()
{
    ShowDatabaseSettings();
}

void TFVidra::AcAboutExecute()
{
    ShowAbout();
}
