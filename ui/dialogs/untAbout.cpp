#include "ui/dialogs/untAbout.h"

#include "platform/shell/Shell.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ModalScope.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <functional>
#include <memory>

namespace {

const QColor kBackground(0, 128, 255);
const QColor kPanel(0, 128, 192);

// A rectangle filled with the panel colour inside a black 1-pixel outline;
// one pixel high it is a plain black rule.
class OutlinedShape : public QWidget
{
public:
    OutlinedShape(const QColor& fill, QWidget* parent) : QWidget(parent), m_fill(fill) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        if (width() > 2 && height() > 2) p.fillRect(rect().adjusted(1, 1, -1, -1), m_fill);
    }

private:
    QColor m_fill;
};

// A panel with a lowered 1-pixel bevel: shadow at the top and left,
// highlight at the bottom and right.
class LoweredPanel : public QFrame
{
public:
    explicit LoweredPanel(QWidget* parent) : QFrame(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window));
        const int r = width() - 1;
        const int b = height() - 1;
        p.setPen(QColor(128, 128, 128));
        p.drawLine(0, 0, r - 1, 0);
        p.drawLine(0, 0, 0, b - 1);
        p.setPen(Qt::white);
        p.drawLine(r, 0, r, b);
        p.drawLine(0, b, r, b);
    }
};

QLabel* styleLabel(QLabel* label, const char* name, const QString& text, int left, int top)
{
    label->setText(text);
    label->setObjectName(QLatin1String(name));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11); // 8 points
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(255, 255, 0));
    label->setPalette(pal);
    label->setAutoFillBackground(false); // transparent: the shape shows through
    label->setTextFormat(Qt::PlainText);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    return styleLabel(new QLabel(parent), name, text, left, top);
}

// The e-mail line: Tab reaches it and Enter or Space opens the link as a
// click does, so no mouse is needed; a screen reader sees a link it can press.
class MailLine : public QLabel
{
public:
    MailLine(QWidget* parent, std::function<void()> open) : QLabel(parent), m_open(std::move(open))
    {
        // Tab only: a click opens the link and leaves the focus where it was.
        setFocusPolicy(Qt::TabFocus);
    }
    void open() const { m_open(); }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const int key = event->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
            !event->isAutoRepeat()) {
            open();
            event->accept();
            return;
        }
        QLabel::keyPressEvent(event); // Escape and the rest go on to the box
    }
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (!hasFocus()) return;
        // A dotted frame in the text's colour shows where the keyboard is.
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    std::function<void()> m_open;
};

class MailLineInterface : public QAccessibleWidget
{
public:
    explicit MailLineInterface(MailLine* line) : QAccessibleWidget(line, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) return line()->text();
        if (t == QAccessible::Value) return TFAbout::MailLink();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }
    QStringList actionNames() const override
    {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            line()->open();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    MailLine* line() const { return static_cast<MailLine*>(widget()); }
};

QAccessibleInterface* mailLineFactory(const QString&, QObject* object)
{
    if (auto* line = dynamic_cast<MailLine*>(object)) return new MailLineInterface(line);
    return nullptr;
}

bool isClick(const QWidget* w, const QMouseEvent* e)
{
    return e->button() == Qt::LeftButton && w->rect().contains(e->position().toPoint());
}

} // namespace

QString TFAbout::MailAddress()
{
    return QStringLiteral("informatika@kostelin.example");
}

QString TFAbout::MailLink()
{
    return QStringLiteral("mailto:") + MailAddress() + QStringLiteral("?subject=") +
           QStringLiteral("Telefonski imenik Vidra") + QStringLiteral("&body=") +
           QStringLiteral("Poruka:");
}

TFAbout::TFAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FAbout"));
    setWindowTitle(QStringLiteral("Info...")); // not shown: the box has no border
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    QFont font(QStringLiteral("YU Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(kClientWidth, kClientHeight);

    Shape = new OutlinedShape(kPanel, this);
    Shape->setObjectName(QStringLiteral("Shape"));
    Shape->setGeometry(7, 7, 276, 187);

    Image = new QLabel(this);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setGeometry(14, 12, 33, 32);
    Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image->setPixmap(QIcon(QStringLiteral(":/vidra.svg")).pixmap(32, 32));

    Label1 = makeLabel(this, "Label1", QStringLiteral("Vidra v2.00 predstavlja softversko rešenje"),
                       56, 14);
    Label2 =
        makeLabel(this, "Label2", QStringLiteral("telefonskog imenika Opštine Kostelin."), 56, 28);

    Line = new OutlinedShape(Qt::black, this);
    Line->setObjectName(QStringLiteral("Line"));
    Line->setGeometry(14, 47, 263, 1);

    Label3 =
        makeLabel(this, "Label3",
                  QStringLiteral("Program čine dva fajla, izvršni fajl (Vidra.exe) i"), 16, 51);
    Label4 =
        makeLabel(this, "Label4",
                  QStringLiteral("Access-ova baza podataka (data.mdb). Aplikacija ima"), 16, 65);
    Label9 =
        makeLabel(this, "Label9",
                  QStringLiteral("ugrađeni filtar koji omogućuje uporednu pretragu po"), 16, 79);
    Label10 =
        makeLabel(this, "Label10",
                  QStringLiteral("telefonu, vlasniku, pretplatničkoj adresi i mestu."), 16, 93);
    Label5 = makeLabel(this, "Label5", QStringLiteral("Platforma: Windows XP"), 16, 107);
    Label6 = makeLabel(this, "Label6", QString(), 16, 121);

    pnAbout = new LoweredPanel(this);
    pnAbout->setObjectName(QStringLiteral("pnAbout"));
    pnAbout->setGeometry(16, 137, 259, 50);
    QPalette panel = pnAbout->palette();
    panel.setColor(QPalette::Window, kPanel);
    pnAbout->setPalette(panel);
    Label7 =
        makeLabel(pnAbout, "Label7", QStringLiteral("Služba informatike, decembar 2026."), 5, 3);
    Label11 = makeLabel(pnAbout, "Label11", QStringLiteral("Tel: 012/345-678"), 5, 17);
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(mailLineFactory);
        return true;
    }();
    (void)factoryInstalled;
    Label8 = styleLabel(new MailLine(pnAbout, [this] { Label8Click(); }), "Label8",
                        QStringLiteral("e-mail: ") + MailAddress(), 5, 31);
    Label8->setCursor(Qt::PointingHandCursor);

    for (QWidget* w :
         std::initializer_list<QWidget*>{Shape, Image, Label1, Label2, Line, Label3, Label4, Label9,
                                         Label10, Label5, Label6, pnAbout, Label7, Label11, Label8})
        w->installEventFilter(this);
    // The box holds the keyboard, so Enter closes it, until Tab moves on to
    // the mail line.
    setFocus();
}

void TFAbout::FormClick()
{
    close();
}

void TFAbout::ShapeMouseDown()
{
    close();
}

void TFAbout::Label8Click()
{
    // The box stays open; whether a mail program came up is not reported.
    vidra::shell::openLink(MailLink());
}

bool TFAbout::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return QDialog::eventFilter(watched, event);
    auto* control = static_cast<QWidget*>(watched);
    auto* mouse = static_cast<QMouseEvent*>(event);
    // Every mouse event on these is handled here, so that nothing passes on
    // to the box underneath; the rule takes its clicks and does nothing.
    if (control == Shape) {
        if (type == QEvent::MouseButtonPress) ShapeMouseDown();
    } else if (control != Line && type == QEvent::MouseButtonRelease && isClick(control, mouse)) {
        if (control == Label8)
            Label8Click();
        else
            FormClick();
    }
    return true;
}

void TFAbout::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        close();
        break;
    default:
        break; // other keys do nothing
    }
    event->accept();
}

void TFAbout::mousePressEvent(QMouseEvent* event)
{
    event->accept(); // the release that follows is the click
}

void TFAbout::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (isClick(this, event)) FormClick();
}

void ShowAbout(const QWidget* over)
{
    // Created without an owner, so it is modal for the whole application.
    auto box = std::make_unique<TFAbout>();
    vidra::ui::centreOver(box.get(), QSize(TFAbout::kClientWidth, TFAbout::kClientHeight), over);
    const vidra::ui::ModalScope modal;
    box->exec();
}
