#include "data/untDM.h"

#include "data/RecordRules.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/LocalPath.h"
#include "platform/db/Connection.h"
#include "platform/db/PgClient.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/ui/BusyCursor.h"
#include "platform/ui/Dialogs.h"

TDMVidra* DMVidra = nullptr;

TDMVidra::TDMVidra(QObject* parent)
    : QObject(parent), VidraConnect(new vidra::Connection(this)),
      Imenik(new vidra::Table(QStringLiteral("Imenik"), this)),
      dsImenik(new vidra::DataSource(Imenik, this)),
      CheckBroj(new vidra::Query(QStringLiteral("CheckBroj"), this))
{
    // A design-time value; every connect replaces it first.
    VidraConnect->setConnectionText(ConnectionTextFor(QStringLiteral("data.mdb")));

    Imenik->SetConnection(VidraConnect);
    Imenik->SetTableName(QString::fromLatin1(vidra::kSubscriberTable));
    Imenik->DeclareFields(vidra::kSubscriberFields.data(),
                          vidra::kSubscriberFields.data() + vidra::kSubscriberFields.size());

    vidra::rules::declareNumberCount(*CheckBroj, VidraConnect);

    Imenik->BeforePost = [this](vidra::Table&) { ImenikBeforePost(); };
    Imenik->AfterPost = [this](vidra::Table&) { ImenikAfterPost(); };
    Imenik->BeforeDelete = [this](vidra::Table&) { ImenikBeforeDelete(); };
}

void TDMVidra::ImenikBeforePost()
{
    try {
        ValidateEditorFields();
        CheckUniqueNumber();
    } catch (const vidra::Error&) {
        // The operator reads the refusal with the normal cursor, not the busy one.
        vidra::ui::setNormalCursor();
        throw;
    }
}

void TDMVidra::ValidateEditorFields()
{
    // The editor's boxes reach the pending row before the rules run, an
    // empty box as no value: the row is what the operator sees.
    const auto text = [this](const char* field) {
        return Imenik->FieldByName(QLatin1String(field)).AsString();
    };
    const QString telefon = text("Telefon"), vlasnik = text("Vlasnik"), adresa = text("Adresa");
    vidra::rules::checkRequiredFields({telefon, vlasnik, adresa});
}

void TDMVidra::CheckUniqueNumber()
{
    vidra::rules::checkUniqueNumber(*Imenik, *CheckBroj);
}

void TDMVidra::ImenikAfterPost()
{
    emit recordPosted();
}

void TDMVidra::ImenikBeforeDelete()
{
    const QString question =
        vidra::rules::deleteQuestion(Imenik->FieldByName(QStringLiteral("Vlasnik")).AsString(),
                                     Imenik->FieldByName(QStringLiteral("Telefon")).AsString());
    // Anything but Yes (No, or closing the box) stops the delete silently.
    if (vidra::ui::warningQuestion(question) != vidra::ui::Answer::Yes) throw vidra::Abort();
}

QString TDMVidra::DbPathShown() const
{
    return vidra::pg::isServerUri(m_dbPath) ? vidra::pg::withoutPassword(m_dbPath)
                                            : vidra::displayPath(m_dbPath);
}

QString TDMVidra::DbPathSaved() const
{
    // A password stays in memory for reconnecting; the file never holds one.
    return vidra::pg::withoutPassword(m_dbPath);
}

TDMVidra::~TDMVidra()
{
    if (DMVidra == this) DMVidra = nullptr;
}

QString TDMVidra::ConnectionTextFor(const QString& path)
{
    return QStringLiteral("Provider=") + QString::fromLatin1(vidra::Connection::kProvider) +
           QStringLiteral(";Data Source=") + vidra::Connection::quoteValue(path) +
           QStringLiteral(";Persist Security Info=False");
}

void TDMVidra::ConnectToDatabase(const QString& path)
{
    try {
        vidra::ui::BusyCursor busy; // reading a large file takes a moment
        m_dbPath = path;
        VidraConnect->close();
        VidraConnect->setConnectionText(ConnectionTextFor(path));
        VidraConnect->open();
        Imenik->Open();
        const int count = dsImenik->DataSet()->RecordCount();
        emit subscriberCountRead(count);
    } catch (...) {
        // The engine's own message is not shown here.
        vidra::ui::errorBox(QStringLiteral("Greska u povezivanju na bazu."));
    }
}
