#include "ui/main/untVidra.h"

#include "data/untDM.h"
#include "platform/db/PgClient.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/ini/Settings.h"
#include "platform/ui/AppError.h"
#include "platform/ui/ModalScope.h"
#include "platform/ui/StatusBar.h"
#include "platform/ui/ToolBand.h"
#include "ui/Funkcije.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>
#include <utility>

TFVidra* FVidra = nullptr;

namespace {

const char* const kSectionBaza = "BAZA";
const char* const kKeyDbPath = "DBPATH";
const char* const kDefaultDbPath = "data.mdb";
const char* const kSectionApp = "APP";
const char* const kKeyWindow = "window";

// The frame around the client area of the original window: a 4-pixel
// border and a 26-pixel caption; used to centre the outer window.
constexpr int kFrameWidth = 2 * 4;
constexpr int kFrameHeight = 26 + 2 * 4;

// The toolbar band: its items side by side with no spacing, so their widths
// add up exactly, between etched lines along its top and bottom edges.
class EdgedToolBar : public vidra::ui::ToolBand
{
public:
    explicit EdgedToolBar(QWidget* parent) : ToolBand(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QColor dark = palette().color(QPalette::Dark);
        const QColor light = palette().color(QPalette::Light);
        const int w = width();
        const int h = height();
        p.setPen(dark);
        p.drawLine(0, 0, w - 1, 0);
        p.drawLine(0, h - 2, w - 1, h - 2);
        p.setPen(light);
        p.drawLine(0, 1, w - 1, 1);
        p.drawLine(0, h - 1, w - 1, h - 1);
    }
};

void keepRoomForColumns(vidra::DbGrid* grid)
{
    // The window may not get so narrow that the fitted columns lose their
    // text (or, scaled below a pixel, their width): the grid keeps room for a
    // few characters in each column. Columns are fitted in proportion, so the
    // narrowest one sets the width; the grid's minimum is also the window's,
    // through the layout.
    int sum = 0;
    int narrowest = 0;
    for (int i = 0; i < grid->columnCount(); ++i) {
        const int w = grid->columnWidth(i);
        if (w <= 0) continue;
        sum += w;
        narrowest = narrowest == 0 ? w : std::min(narrowest, w);
    }
    if (narrowest == 0) return;
    constexpr int kCharacters = 4;
    constexpr int kTextMargins = 2 + 1; // the cell's text rectangle lies inside these
    const int perColumn =
        kCharacters * QFontMetrics(grid->font()).averageCharWidth() + kTextMargins;
    const int usable = (perColumn * sum + narrowest - 1) / narrowest;
    const int bar =
        grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid->verticalScrollBar());
    grid->setMinimumWidth(usable + vidra::DbGrid::kIndicatorWidth +
                          grid->columnCount() * vidra::DbGrid::kGridLineWidth + bar +
                          2 * grid->frameWidth());
}

} // namespace

TFVidra::TFVidra(const QString& iniFileName, QWidget* parent)
    : TFVidra(vidra::SettingsPlace{iniFileName, {}, false}, parent)
{
}

TFVidra::TFVidra(vidra::SettingsPlace settings, QWidget* parent)
    : QWidget(parent), m_settings(std::move(settings))
{
    setObjectName(QStringLiteral("FVidra"));
    setWindowTitle(QStringLiteral("Telefonski imenik Opštine Kostelin, Vidra"));
    setWindowIcon(QIcon(QStringLiteral(":/vidra.svg")));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    setFont(font);

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    tbImenik = new EdgedToolBar(this);
    tbImenik->setObjectName(QStringLiteral("tbImenik"));
    tbImenik->setFixedHeight(kToolbarHeight);
    tbImenik->setFocusPolicy(Qt::NoFocus);
    m_layout->addWidget(tbImenik);

    gbFiltar = new QGroupBox(QStringLiteral("Pretraživač"), this);
    gbFiltar->setObjectName(QStringLiteral("gbFiltar"));
    gbFiltar->setFixedHeight(kFilterHeight);
    m_layout->addWidget(gbFiltar);

    dbImenik = new vidra::DbGrid(this);
    dbImenik->setObjectName(QStringLiteral("dbImenik"));
    dbImenik->setFocusPolicy(Qt::StrongFocus);
    dbImenik->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    dbImenik->setAccessibleName(QStringLiteral("Imenik"));
    m_layout->addWidget(dbImenik, 1);

    dbNapomena = new vidra::DbMemo(this);
    dbNapomena->setObjectName(QStringLiteral("dbNapomena"));
    dbNapomena->setReadOnly(true);
    dbNapomena->setFixedHeight(kNoteHeight);
    // The panel has no label of its own to be named by.
    dbNapomena->setAccessibleName(QStringLiteral("Napomena"));
    m_layout->addWidget(dbNapomena);

    gbPretplatnik = new QGroupBox(QStringLiteral("Pretplatnik"), this);
    gbPretplatnik->setObjectName(QStringLiteral("gbPretplatnik"));
    gbPretplatnik->setFixedHeight(kDetailsHeight);
    m_layout->addWidget(gbPretplatnik);

    sbImenik = new vidra::ui::StatusBar(this);
    sbImenik->setObjectName(QStringLiteral("sbImenik"));
    sbImenik->setFixedHeight(kStatusHeight);
    sbImenik->addPanel(200, QStringLiteral(" Broj pretplatnika:"));
    sbImenik->addPanel(350, QStringLiteral(" Opština Kostelin — služba informatike"));
    sbImenik->addPanel(50, QStringLiteral(" v2.00"));
    m_layout->addWidget(sbImenik);

    CreateCommands();
    CreateToolbar();
    CreateSearchPanel();
    CreateGrid();
    CreateDetailsPanel();
    CreatePopupMenu();
    CreateDialogCommands();
    connect(vidra::ui::ModalWatch::instance(), &vidra::ui::ModalWatch::closed, this,
            &TFVidra::ResumeDeferred, Qt::QueuedConnection);
    m_deferredPoll = new QTimer(this);
    m_deferredPoll->setInterval(100);
    connect(m_deferredPoll, &QTimer::timeout, this, &TFVidra::ResumeDeferred);

    setTabOrder(edTelefon, edVlasnik);
    setTabOrder(edVlasnik, edAdresa);
    setTabOrder(edAdresa, edMesto);
    setTabOrder(edMesto, dbImenik);
    setTabOrder(dbImenik, dbNapomena);

    keepRoomForColumns(dbImenik);
    resize(kClientWidth, kClientHeight);
    if (const QScreen* s = screen()) {
        const QRect desk = s->availableGeometry();
        move(desk.x() + (desk.width() - kClientWidth - kFrameWidth) / 2,
             desk.y() + (desk.height() - kClientHeight - kFrameHeight) / 2);
    }

    // The data module reports to whichever window shows it: the count of a
    // connect into the status bar, a save into the note panel.
    if (DMVidra) {
        connect(DMVidra, &TDMVidra::subscriberCountRead, this, &TFVidra::ShowSubscriberCount);
        connect(DMVidra, &TDMVidra::recordPosted, AcHideNapomena, &QAction::trigger);
    }

    FVidra = this;
    vidra::ui::guarded([this] { FormCreate(); });
}

TFVidra::~TFVidra()
{
    if (FVidra == this) FVidra = nullptr;
}

void TFVidra::FormCreate()
{
    if (m_settings.file.isEmpty())
        m_settings =
            vidra::settingsPlaceFor(QCoreApplication::applicationFilePath(), vidra::thisHost());
    LoadSettings();
    InstallEnterEscape(this);
}

int TFVidra::ValidWindowState(int state)
{
    // Nothing but 0, 1 and 2 is written by the program; anything else found
    // in the file is taken as the default.
    return state >= StateNormal && state <= StateMaximized ? state : kDefaultState;
}

void TFVidra::LoadSettings()
{
    if (!DMVidra) throw std::logic_error("the data module is created before the main window");
    const vidra::Settings ini(m_settings);
    const QString baza = QString::fromLatin1(kSectionBaza);
    const QString dbPathKey = QString::fromLatin1(kKeyDbPath);
    // Read as a path: a name in another code page reaches the file system unchanged.
    QString dbPath = ini.readPath(baza, dbPathKey, QString::fromLatin1(kDefaultDbPath));
    // A server's URI names no file; a relative file name is taken where the
    // settings' place says (the working folder of a copy beside its settings).
    if (!vidra::pg::isServerUri(dbPath)) dbPath = ini.resolvePath(baza, dbPathKey, dbPath);
    DMVidra->ConnectToDatabase(dbPath);
    SetWindowState(ini.readInteger(QString::fromLatin1(kSectionApp),
                                   QString::fromLatin1(kKeyWindow), kDefaultState));
}

void TFVidra::SaveSettings()
{
    if (!DMVidra) throw std::logic_error("the data module outlives the main window");
    vidra::Settings ini(m_settings);
    ini.writePath(QString::fromLatin1(kSectionBaza), QString::fromLatin1(kKeyDbPath),
                  DMVidra->DbPathSaved());
    ini.writeInteger(QString::fromLatin1(kSectionApp), QString::fromLatin1(kKeyWindow), m_state);
}

void TFVidra::ShowSubscriberCount(int count)
{
    sbImenik->setPanelText(0, QStringLiteral(" Broj pretplatnika: ") + QString::number(count));
}

void TFVidra::SetWindowState(int state)
{
    m_state = ValidWindowState(state);
    if (isVisible()) applyState();
}

void TFVidra::ShowInState()
{
    applyState();
}

void TFVidra::applyState()
{
    switch (m_state) {
    case StateNormal:
        showNormal();
        break;
    case StateMinimized:
        showMinimized();
        break;
    default:
        showMaximized();
        break;
    }
}

void TFVidra::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        const Qt::WindowStates s = windowState();
        // Minimising leaves the state as it was, so the state before it is
        // what the next start restores.
        if (s & Qt::WindowMaximized) {
            if (!(s & Qt::WindowMinimized)) m_state = StateMaximized;
        } else if (!(s & (Qt::WindowMinimized | Qt::WindowFullScreen))) {
            m_state = StateNormal;
        }
    }
    QWidget::changeEvent(event);
}

void TFVidra::closeEvent(QCloseEvent* event)
{
    // Every way of closing comes here; the settings are written once.
    if (!m_settingsSaved) {
        m_settingsSaved = true;
        vidra::ui::guarded([this] { SaveSettings(); });
    }
    event->accept();
}
