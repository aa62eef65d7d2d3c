#include "data/untDM.h"

#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/ui/BusyCursor.h"
#include "platform/ui/Dialogs.h"
#include "ui/main/untVidra.h"

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

    CheckBroj->SetConnection(VidraConnect);
    CheckBroj->SetSQL({QStringLiteral("SELECT COUNT(*) "), QStringLiteral("FROM VLASNICI "),
                       QStringLiteral("WHERE TELEFON=NewTel")});
    CheckBroj->AddParameter(QStringLiteral("NewTel"));

    Imenik->BeforePost = [this](vidra::Table&) { ImenikBeforePost(); };
    Imenik->AfterPost = [this](vidra::Table&) { ImenikAfterPost(); };
    Imenik->BeforeDelete = [this](vidra::Table&) { ImenikBeforeDelete(); };
}

void TDMVidra::ImenikBeforePost()
{
    if (!FVidra) return;
    FVidra->ValidateEditorFields();
    FVidra->CheckUniqueNumber();
}

void TDMVidra::ImenikAfterPost()
{
    if (FVidra) FVidra->AcHideNapomena->trigger();
}

QString TDMVidra::DeleteQuestion(const QString& vlasnik, const QString& telefon)
{
    // A value stored elsewhere may be megabytes long; the question names the
    // subscriber in a line that a box can show.
    const auto named = [](const QString& s) {
        constexpr qsizetype kMax = 255;
        if (s.size() <= kMax) return s;
        qsizetype n = kMax - 1;
        if (s.at(n - 1).isHighSurrogate()) --n;
        return s.left(n) + QChar(0x2026);
    };
    return QStringLiteral("Brisanje podataka za:\r\nVlasnik: \"%1\"\r\nTel: %2. Da li ste sigurni?")
        .arg(named(vlasnik), named(telefon));
}

void TDMVidra::ImenikBeforeDelete()
{
    const QString question =
        DeleteQuestion(Imenik->FieldByName(QStringLiteral("Vlasnik")).AsString(),
                       Imenik->FieldByName(QStringLiteral("Telefon")).AsString());
    // Anything but Yes (No, or closing the box) stops the delete silently.
    if (vidra::ui::warningQuestion(question) != vidra::ui::Answer::Yes) throw vidra::Abort();
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
        if (FVidra) FVidra->ShowSubscriberCount(count);
    } catch (...) {
        // The engine's own message is not shown here.
        vidra::ui::errorBox(QStringLiteral("Greska u povezivanju na bazu."));
    }
}
