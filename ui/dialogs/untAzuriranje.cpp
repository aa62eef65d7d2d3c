#include "ui/dialogs/untAzuriranje.h"

#include "data/untDM.h"
#include "platform/Error.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/DbEdit.h"
#include "platform/ui/AppError.h"
#include "platform/ui/BusyCursor.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ModalScope.h"
#include "ui/Funkcije.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <memory>

TFAzuriranje* FAzuriranje = nullptr;

namespace {

bool editing(const vidra::Table* t)
{
    return t->Active() &&
           (t->State() == vidra::DatasetState::Edit || t->State() == vidra::DatasetState::Insert);
}

} // namespace

TFAzuriranje::TFAzuriranje(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FAzuriranje"));
    setWindowTitle(QStringLiteral("Ažuriranje imenika"));
    setWindowIcon(QIcon(QStringLiteral(":/vidra.svg")));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(273, 245);

    pnLogo = new QWidget(this);
    pnLogo->setObjectName(QStringLiteral("pnLogo"));
    pnLogo->setGeometry(0, 0, 273, 37);
    lbLogo = new QLabel(QStringLiteral("Telefonski imenik Vidra"), pnLogo);
    lbLogo->setObjectName(QStringLiteral("lbLogo"));
    QFont logoFont(QStringLiteral("Arial"));
    logoFont.setPixelSize(12); // 9 points
    logoFont.setBold(true);
    lbLogo->setFont(logoFont);
    QPalette logoPalette = lbLogo->palette();
    logoPalette.setColor(QPalette::WindowText, QColor(0, 107, 215));
    lbLogo->setPalette(logoPalette);
    lbLogo->move(9, 10);
    lbLogo->adjustSize();
    imgLogo = new QLabel(pnLogo);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(235, 2, 34, 34);
    imgLogo->setPixmap(QIcon(QStringLiteral(":/vidra.svg")).pixmap(32, 32));
    imgLogo->setAlignment(Qt::AlignCenter);

    const struct
    {
        QLabel* TFAzuriranje::*member;
        const char* name;
        const char* text;
        int top;
    } labels[] = {
        {&TFAzuriranje::lbTelefon, "lbTelefon", "Telefon:", 48},
        {&TFAzuriranje::lbVlasnik, "lbVlasnik", "Vlasnik:", 73},
        {&TFAzuriranje::lbAdresa, "lbAdresa", "Adresa:", 98},
        {&TFAzuriranje::lbMesto, "lbMesto", "Mesto:", 123},
        {&TFAzuriranje::lbNapomena, "lbNapomena", "Napomena:", 148},
    };
    for (const auto& l : labels) {
        auto* label = new QLabel(QString::fromUtf8(l.text), this);
        label->setObjectName(QLatin1String(l.name));
        label->move(8, l.top);
        label->adjustSize();
        this->*l.member = label;
    }

    vidra::DataSource* ds = DMVidra->dsImenik;
    const struct
    {
        vidra::DbEdit* TFAzuriranje::*member;
        const char* name;
        const char* field;
        QRect geometry;
    } boxes[] = {
        {&TFAzuriranje::dbTelefon, "dbTelefon", "Telefon", QRect(72, 45, 105, 22)},
        {&TFAzuriranje::dbVlasnik, "dbVlasnik", "Vlasnik", QRect(72, 70, 193, 22)},
        {&TFAzuriranje::dbAdresa, "dbAdresa", "Adresa", QRect(72, 95, 193, 22)},
        {&TFAzuriranje::dbMesto, "dbMesto", "Mesto", QRect(72, 120, 137, 22)},
    };
    for (const auto& b : boxes) {
        auto* box = new vidra::DbEdit(this);
        box->setObjectName(QLatin1String(b.name));
        box->setGeometry(b.geometry);
        box->setUpperCase(true);
        box->setDataSource(ds);
        box->setDataField(QLatin1String(b.field)); // its length limit follows the field
        this->*b.member = box;
    }
    dbNapomena = new vidra::DbMemo(this);
    dbNapomena->setObjectName(QStringLiteral("dbNapomena"));
    dbNapomena->setGeometry(72, 145, 193, 49);
    dbNapomena->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to "Snimi" rather than typing a tab into the note.
    dbNapomena->setTabChangesFocus(true);
    dbNapomena->setDataSource(ds);
    dbNapomena->setDataField(QStringLiteral("Napomena"));

    pnAzuriranje = new QWidget(this);
    pnAzuriranje->setObjectName(QStringLiteral("pnAzuriranje"));
    pnAzuriranje->setGeometry(0, 245 - 42, 273, 42);
    btSnimi = new QPushButton(QStringLiteral("Snimi"), pnAzuriranje);
    btSnimi->setObjectName(QStringLiteral("btSnimi"));
    btSnimi->setGeometry(8, 9, 75, 25);
    btOdustani = new QPushButton(QStringLiteral("Odustani"), pnAzuriranje);
    btOdustani->setObjectName(QStringLiteral("btOdustani"));
    btOdustani->setGeometry(191, 9, 75, 25);
    for (QPushButton* b : {btSnimi, btOdustani}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(btSnimi, &QPushButton::clicked, this, vidra::ui::safeSlot([this] { btSnimiClick(); }));
    connect(btOdustani, &QPushButton::clicked, this, [this] { reject(); });

    // Each box is named by the label beside it.
    lbTelefon->setBuddy(dbTelefon);
    lbVlasnik->setBuddy(dbVlasnik);
    lbAdresa->setBuddy(dbAdresa);
    lbMesto->setBuddy(dbMesto);
    lbNapomena->setBuddy(dbNapomena);

    setTabOrder(dbTelefon, dbVlasnik);
    setTabOrder(dbVlasnik, dbAdresa);
    setTabOrder(dbAdresa, dbMesto);
    setTabOrder(dbMesto, dbNapomena);
    setTabOrder(dbNapomena, btSnimi);
    setTabOrder(btSnimi, btOdustani);
}

void TFAzuriranje::btSnimiClick()
{
    // The busy cursor lasts while the save runs; the close check does the rest.
    vidra::ui::BusyCursor busy;
    done(Accepted);
}

void TFAzuriranje::PositionEditor(const QVariant& key)
{
    vidra::Table* t = DMVidra->Imenik;
    if (editing(t)) t->Cancel();
    // The row the operator chose stays, also where a file prepared elsewhere
    // holds its number twice: the first such row is not the one meant.
    if (t->Active() && !t->IsEmpty()) {
        const QVariant current = t->FieldByName(QStringLiteral("Telefon")).Value();
        if (!current.isNull() && current.toString() == key.toString()) return;
    }
    t->Locate(QStringLiteral("Telefon"), key);
}

void TFAzuriranje::done(int result)
{
    // Called from inside Qt (close box, Escape): nothing may escape from here.
    bool allow = true;
    vidra::ui::guarded([&] { allow = CloseQuery(result); });
    if (allow) QDialog::done(result);
}

bool TFAzuriranje::CloseQuery(int result)
{
    vidra::Table* t = DMVidra->Imenik;
    if (!editing(t)) return true; // nothing to save or cancel
    if (result != Accepted) {
        t->Cancel();
        return true;
    }
    try {
        t->Post();
        return true;
    } catch (const vidra::Abort&) {
        return false;
    } catch (const std::exception& e) {
        // Nothing typed is lost: the dialog stays open with the pending row.
        vidra::ui::setNormalCursor();
        const auto* err = dynamic_cast<const vidra::Error*>(&e);
        vidra::ui::errorBox(err ? err->message() : QString::fromUtf8(e.what()));
        dbTelefon->setFocus();
        return false;
    }
}

void OpenSubscriberEditor(const QWidget* over, const QVariant& key)
{
    // Created without an owner, so it is modal for the whole application.
    auto editor = std::make_unique<TFAzuriranje>();
    FAzuriranje = editor.get();
    struct Clear
    {
        ~Clear() { FAzuriranje = nullptr; }
    } clear;
    InstallEnterEscape(editor.get());
    vidra::Table* t = DMVidra->Imenik;
    if (key.isNull()) {
        if (!editing(t)) t->Insert();
    } else {
        editor->PositionEditor(key);
    }
    vidra::ui::centreOver(editor.get(), editor->size(), over);
    editor->dbTelefon->setFocus();
    const vidra::ui::ModalScope modal;
    editor->exec();
}
