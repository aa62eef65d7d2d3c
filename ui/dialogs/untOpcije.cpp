#include "ui/dialogs/untOpcije.h"

#include "data/untDM.h"
#include "platform/ui/AppError.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ModalScope.h"
#include "ui/Funkcije.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

namespace {

constexpr int kBazaHeight = 69;

} // namespace

TFOpcije::TFOpcije(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FOpcije"));
    setWindowTitle(QStringLiteral("Podešavanja..."));
    // A sizeable tool window: small caption with a close box, no help button.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11); // 8 points
    setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    gbBaza = new QGroupBox(QStringLiteral("Podešavanje baze"), this);
    gbBaza->setObjectName(QStringLiteral("gbBaza"));
    gbBaza->setFixedHeight(kBazaHeight);
    layout->addWidget(gbBaza);

    edDb = new QPlainTextEdit(gbBaza);
    edDb->setObjectName(QStringLiteral("edDb"));
    edDb->setGeometry(8, 16, 248, 23);
    edDb->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edDb->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edDb->setTabChangesFocus(true);
    // Room for one line of text inside the 23-pixel box.
    edDb->document()->setDocumentMargin(2);

    btNadji = new QPushButton(QStringLiteral("Nađi ..."), gbBaza);
    btNadji->setObjectName(QStringLiteral("btNadji"));
    btNadji->setGeometry(209, 42, 48, 21);

    gbPolja = new QGroupBox(QStringLiteral("Dužina polja"), this);
    gbPolja->setObjectName(QStringLiteral("gbPolja"));
    layout->addWidget(gbPolja, 1);

    const struct
    {
        QLabel* TFOpcije::*name;
        QLabel* TFOpcije::*length;
        const char* objectName;
        const char* caption;
        const char* text;
        int left; // of the name; the length stands further right in its column
        int lengthLeft;
        int top;
    } fields[] = {
        {&TFOpcije::lbTelefon, &TFOpcije::lbTelefonDuzina, "Telefon", "Telefon:", "Text (10)", 7,
         48, 16},
        {&TFOpcije::lbVlasnik, &TFOpcije::lbVlasnikDuzina, "Vlasnik", "Vlasnik:", "Text (32)", 7,
         48, 31},
        {&TFOpcije::lbAdresa, &TFOpcije::lbAdresaDuzina, "Adresa", "Adresa:", "Text (32)", 7, 48,
         46},
        {&TFOpcije::lbMesto, &TFOpcije::lbMestoDuzina, "Mesto", "Mesto:", "Text (16)", 102, 159,
         16},
        {&TFOpcije::lbNapomena, &TFOpcije::lbNapomenaDuzina, "Napomena", "Napomena:", "Memo", 102,
         159, 31},
    };
    for (const auto& f : fields) {
        auto* name = new QLabel(QString::fromUtf8(f.caption), gbPolja);
        name->setObjectName(QStringLiteral("lb") + QLatin1String(f.objectName));
        name->move(f.left, f.top);
        name->adjustSize();
        auto* length = new QLabel(QString::fromUtf8(f.text), gbPolja);
        length->setObjectName(QStringLiteral("lb") + QLatin1String(f.objectName) +
                              QStringLiteral("Duzina"));
        length->move(f.lengthLeft, f.top);
        length->adjustSize();
        this->*f.name = name;
        this->*f.length = length;
    }

    btClose = new QPushButton(QStringLiteral("Izlaz"), gbPolja);
    btClose->setObjectName(QStringLiteral("btClose"));
    btClose->setGeometry(209, 39, 48, 21);

    // Enter on a button is its click, by the shared key handling; no button
    // is the dialog's default one.
    for (QPushButton* b : {btNadji, btClose}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(btNadji, &QPushButton::clicked, this, vidra::ui::safeSlot([this] { btNadjiClick(); }));
    connect(btClose, &QPushButton::clicked, this, [this] { close(); });

    setTabOrder(btNadji, edDb);
    setTabOrder(edDb, btClose);
    btNadji->setFocus();

    OpenDB.filter = QStringLiteral("AccessDB (*.[mM][dD][bB])"); // the extension in any case
    OpenDB.defaultSuffix = QStringLiteral("*.mdb");
    OpenDB.mustExist = false; // a name typed for a new file or folder is taken as it is
    OpenDB.parent = this;

    resize(kClientWidth, kClientHeight);
}

void TFOpcije::btNadjiClick()
{
    const std::optional<QString> file = vidra::ui::openFileName(OpenDB);
    OpenDBClose();
    if (!file) return;
    DMVidra->ConnectToDatabase(*file); // shows its own message on failure
    edDb->setPlainText(DMVidra->DbPathShown());
}

void TFOpcije::OpenDBClose()
{
    edDb->setPlainText(DMVidra->DbPathShown());
}

void ShowDatabaseSettings(const QWidget* over)
{
    // Created without an owner, so it is modal for the whole application.
    auto dialog = std::make_unique<TFOpcije>();
    dialog->edDb->setPlainText(DMVidra->DbPathShown());
    InstallEnterEscape(dialog.get());
    vidra::ui::centreOver(dialog.get(), QSize(TFOpcije::kOuterWidth, TFOpcije::kOuterHeight), over);
    const vidra::ui::ModalScope modal;
    dialog->exec();
}
