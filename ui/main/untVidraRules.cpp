// Adding and editing subscribers from the main window, and the two record
// rules that run before every post.
#include "data/untDM.h"
#include "platform/Error.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "platform/ui/BusyCursor.h"
#include "ui/dialogs/untAzuriranje.h"
#include "ui/main/untVidra.h"

#include <QAction>

void TFVidra::CreateEditorCommands()
{
    BindCommand(AcDodaj, &TFVidra::AcDodajExecute);
    BindCommand(AcIzmeni, &TFVidra::AcIzmeniExecute);
}

void TFVidra::AcDodajExecute()
{
    // A table that may not be changed says why before any editor opens.
    DMVidra->Imenik->CheckModifiable();
    OpenSubscriberEditor(QVariant());
}

void TFVidra::AcIzmeniExecute()
{
    DMVidra->Imenik->CheckModifiable();
    // On an empty table the number is null, and the editor adds a row.
    OpenSubscriberEditor(DMVidra->Imenik->FieldByName(QStringLiteral("Telefon")).Value());
}

void TFVidra::ValidateEditorFields()
{
    // Posts come from the editor; should one come without it, the rules
    // read the pending row itself rather than let it through unchecked.
    const auto text = [](vidra::DbEdit* TFAzuriranje::*box, const char* field) {
        return FAzuriranje ? (FAzuriranje->*box)->text()
                           : DMVidra->Imenik->FieldByName(QLatin1String(field)).AsString();
    };
    const auto fail = [](const char* message) {
        vidra::ui::setNormalCursor();
        throw vidra::Error(QString::fromUtf8(message));
    };
    if (text(&TFAzuriranje::dbTelefon, "Telefon").isEmpty())
        fail("Broj telefona mora imati neku vrednost!");
    if (text(&TFAzuriranje::dbVlasnik, "Vlasnik").isEmpty())
        fail("Unesi ime i prezime pretplatnika!");
    if (text(&TFAzuriranje::dbAdresa, "Adresa").isEmpty()) fail("Unesi adresu pretplatnika!");
}

void TFVidra::CheckUniqueNumber()
{
    vidra::Table* t = DMVidra->Imenik;
    vidra::Field& telefon = t->FieldByName(QStringLiteral("Telefon"));
    const bool inserting = t->State() == vidra::DatasetState::Insert;
    // An edit that leaves the number as it was needs no count.
    if (!inserting && telefon.NewValue() == telefon.OldValue()) return;
    vidra::Query* q = DMVidra->CheckBroj;
    q->Close();
    q->SetParameter(QStringLiteral("NewTel"), telefon.Value());
    q->Open();
    if (q->AsInteger(0) > 0) {
        vidra::ui::setNormalCursor();
        throw vidra::Error(
            QStringLiteral("Broj telefona: %1 vec postoji!").arg(telefon.AsString()));
    }
}
