// The details panel under the grid, the note panel that appears while the
// current subscriber has a note, and dialing through the call handler.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbEdit.h"
#include "platform/telephony/Telephony.h"
#include "platform/ui/AppError.h"
#include "platform/ui/ToolBand.h"

#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QLayout>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace {

struct Call
{
    QString destination, appName, calledParty, comment;
};

// Stands in for the desktop while a test runs: records every request, and
// every link the request would open.
class Details : public FrameFixture
{
protected:
    std::vector<Call> calls;
    std::vector<QUrl> links;
    bool handlerPresent = true;

    void SetUp() override
    {
        FrameFixture::SetUp();
        vidra::telephony::setRequestHook(
            [this](const QString& d, const QString& a, const QString& p, const QString& c) {
                calls.push_back({d, a, p, c});
                return true;
            });
        vidra::telephony::setLinkOpener([this](const QUrl& link) {
            links.push_back(link);
            return handlerPresent;
        });
    }
    void TearDown() override
    {
        vidra::telephony::setRequestHook({});
        vidra::telephony::setLinkOpener({});
        FrameFixture::TearDown();
    }
    // The request goes on to the link instead of the recorder.
    void throughTheLink() { vidra::telephony::setRequestHook({}); }

    void open(const std::vector<testsupport::Row>& rows)
    {
        const QString p = dir.path("data.mdb");
        testsupport::createDirectoryFile(p, rows);
        openFile(p);
    }
    void openFile(const QString& path)
    {
        createWith(path, 0);
        form->ShowInState();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        form->dbImenik->setFocus();
        settle();
    }
    void openSample()
    {
        open({{"011/100", "Milan Perić", "Kneza Miloša 1", "Kostelin", QString()},
              {"011/200", "Jelena Đurić", "Trg 2", "Brod", QStringLiteral("")},
              {"011/300", "Šaban Čolić", "Cara Dušana 4", "Kostelin",
               QStringLiteral("Ne zvati posle 22 h")},
              {"011/400", "Zora Žić", "Put 5", "Brod", QString()}});
    }
    // Lets the note timer, when running, fire and the layout follow it. Once
    // it has stopped, nothing more is coming: the note stays as it is now.
    void settle()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form->TimerNapomena->isActive(); }, 10000));
        QApplication::processEvents();
    }
    // Lets the search timer started by typing fire.
    void searched()
    {
        EXPECT_TRUE(form->Timer->isActive());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Timer->isActive(); }, 10000));
    }
    vidra::Table* table() const { return DMVidra->Imenik; }
    bool noteShown() const { return form->dbNapomena->isVisible(); }
    void pressF4() { QTest::keyClick(form->dbImenik, Qt::Key_F4); }
};

TEST_F(Details, PanelHoldsBoldLabelsAndBoxesWhereTheyBelong)
{
    openSample();
    QStringList labels, boxes;
    for (QObject* c : form->gbPretplatnik->children()) {
        if (auto* l = qobject_cast<QLabel*>(c)) {
            labels << QStringLiteral("%1 %2 %3,%4")
                          .arg(l->objectName(), l->text())
                          .arg(l->x())
                          .arg(l->y());
            EXPECT_TRUE(l->font().bold()) << l->objectName().toStdString();
            EXPECT_EQ(l->font().family(), "Arial");
            EXPECT_EQ(l->font().pixelSize(), 11);
        }
        if (auto* e = qobject_cast<vidra::DbEdit*>(c)) {
            const QRect g = e->geometry();
            boxes << QStringLiteral("%1 %2 %3,%4,%5,%6")
                         .arg(e->objectName(), e->dataField())
                         .arg(g.x())
                         .arg(g.y())
                         .arg(g.width())
                         .arg(g.height());
            EXPECT_TRUE(e->font().bold());
            EXPECT_EQ(e->font().pixelSize(), 11);
            EXPECT_TRUE(e->isReadOnly());
            EXPECT_EQ(e->dataSource(), DMVidra->dsImenik);
        }
    }
    EXPECT_EQ(labels, (QStringList{"LabelTelefon Telefon 11,23", "LabelVlasnik Vlasnik 100,23",
                                   "LabelAdresa Adresa 261,23", "LabelMesto Mesto 472,23"}));
    EXPECT_EQ(boxes,
              (QStringList{"dbTelefon Telefon 11,36,83,20", "dbVlasnik Vlasnik 100,36,155,20",
                           "dbAdresa Adresa 261,36,205,20", "dbMesto Mesto 472,36,130,20"}));

    EXPECT_EQ(form->tbPretplatnik->parentWidget(), form->gbPretplatnik);
    EXPECT_EQ(form->tbPretplatnik->pos(), QPoint(615, 35));
    const QList<QWidget*> items = form->tbPretplatnik->items();
    ASSERT_EQ(items.size(), 1);
    auto* pozovi = qobject_cast<QToolButton*>(items.front());
    ASSERT_NE(pozovi, nullptr);
    EXPECT_EQ(pozovi->defaultAction(), form->AcPozovi);
    EXPECT_EQ(pozovi->width(), 68);
    EXPECT_EQ(pozovi->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    EXPECT_EQ(pozovi->text(), "Pozovi...");
    EXPECT_FALSE(pozovi->icon().isNull());
    // The whole button is inside the panel.
    EXPECT_LE(form->tbPretplatnik->geometry().right(), form->gbPretplatnik->width());
}

TEST_F(Details, BoxesFollowTheRowInUpperCaseAndNeverEdit)
{
    openSample();
    EXPECT_EQ(form->dbTelefon->text(), "011/100");
    EXPECT_EQ(form->dbVlasnik->text(), "MILAN PERIĆ");
    EXPECT_EQ(form->dbAdresa->text(), "KNEZA MILOŠA 1");
    EXPECT_EQ(form->dbMesto->text(), "KOSTELIN");
    QTest::keyClick(form->dbImenik, Qt::Key_Down);
    QTest::keyClick(form->dbImenik, Qt::Key_Down);
    EXPECT_EQ(form->dbTelefon->text(), "011/300");
    EXPECT_EQ(form->dbVlasnik->text(), "ŠABAN ČOLIĆ");
    table()->Last();
    EXPECT_EQ(form->dbVlasnik->text(), "ZORA ŽIĆ");

    // A click may select the text, but typing leaves the table browsing and
    // the value as it was.
    QTest::mouseClick(form->dbVlasnik, Qt::LeftButton);
    QTest::keyClicks(form->dbVlasnik, "xy");
    QTest::keyClick(form->dbVlasnik, Qt::Key_Backspace);
    EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
    EXPECT_EQ(form->dbVlasnik->text(), "ZORA ŽIĆ");
    EXPECT_EQ(table()->FieldByName("Vlasnik").AsString(), "Zora Žić");
}

TEST_F(Details, TabPassesTheDetailsBoxesByAndReachesTheNoteWhileShown)
{
    openSample();
    table()->SetRecNo(3);
    settle();
    ASSERT_TRUE(noteShown());
    const QList<QWidget*> details{form->dbTelefon, form->dbVlasnik, form->dbAdresa, form->dbMesto};
    form->dbImenik->setFocus();
    QList<QWidget*> visited;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget();
    }
    EXPECT_TRUE(visited.contains(form->dbNapomena));
    EXPECT_TRUE(visited.contains(form->dbImenik)); // Tab leaves the note again
    for (QWidget* box : details)
        EXPECT_FALSE(visited.contains(box)) << box->objectName().toStdString();
}

TEST_F(Details, NotePanelIsAReadOnlyNavyOnBlueMemo)
{
    openSample();
    vidra::DbMemo* note = form->dbNapomena;
    EXPECT_EQ(note->dataField(), "Napomena");
    EXPECT_EQ(note->dataSource(), DMVidra->dsImenik);
    EXPECT_TRUE(note->isReadOnly());
    EXPECT_EQ(note->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(note->palette().color(QPalette::Active, QPalette::Base), QColor(89, 172, 255));
    EXPECT_EQ(note->palette().color(QPalette::Inactive, QPalette::Base), QColor(89, 172, 255));
    EXPECT_EQ(note->palette().color(QPalette::Active, QPalette::Text), QColor(0, 0, 128));
    EXPECT_EQ(note->font().family(), "Arial");
    EXPECT_TRUE(note->font().bold());
    EXPECT_EQ(note->font().pixelSize(), 12);

    EXPECT_TRUE(form->TimerNapomena->isSingleShot());
    EXPECT_EQ(form->TimerNapomena->interval(), 5);
    EXPECT_FALSE(form->TimerNapomena->isActive());

    // Typing in the shown note edits nothing.
    table()->SetRecNo(3);
    settle();
    ASSERT_TRUE(noteShown());
    note->setFocus();
    QTest::keyClicks(note, "abc");
    EXPECT_EQ(table()->State(), vidra::DatasetState::Browse);
    EXPECT_EQ(note->toPlainText(), "Ne zvati posle 22 h");
}

TEST_F(Details, NoteShowsExactlyWhileTheCurrentNoteIsNotNull)
{
    openSample();
    form->layout()->activate();
    const int fullGrid = form->dbImenik->height();
    // First row: a null note.
    EXPECT_FALSE(noteShown());

    // An empty note is still a note: an empty panel.
    QTest::keyClick(form->dbImenik, Qt::Key_Down);
    EXPECT_TRUE(form->TimerNapomena->isActive()); // the number shown changed
    settle();
    EXPECT_FALSE(form->TimerNapomena->isActive());
    ASSERT_TRUE(noteShown());
    EXPECT_EQ(form->dbNapomena->toPlainText(), "");
    form->layout()->activate();
    EXPECT_EQ(form->dbImenik->height(), fullGrid - 57);
    EXPECT_EQ(form->dbNapomena->height(), 57);
    EXPECT_EQ(form->dbNapomena->geometry().bottom() + 1, form->gbPretplatnik->y());
    EXPECT_EQ(form->dbImenik->geometry().bottom() + 1, form->dbNapomena->y());

    QTest::keyClick(form->dbImenik, Qt::Key_Down);
    settle();
    EXPECT_TRUE(noteShown());
    EXPECT_EQ(form->dbNapomena->toPlainText(), "Ne zvati posle 22 h");

    QTest::keyClick(form->dbImenik, Qt::Key_Down);
    settle();
    EXPECT_FALSE(noteShown());
    form->layout()->activate();
    EXPECT_EQ(form->dbImenik->height(), fullGrid);

    table()->First();
    table()->SetRecNo(3);
    settle();
    EXPECT_TRUE(noteShown());
    table()->First();
    settle();
    EXPECT_FALSE(noteShown());
}

TEST_F(Details, SavingReevaluatesTheNoteOnTheSameRow)
{
    openSample();
    ASSERT_FALSE(noteShown());
    // The number stays, so only the after-save re-evaluation can show it.
    table()->Edit();
    table()->FieldByName("Napomena").SetValue(QStringLiteral("Novi broj od jula"));
    table()->Post();
    form->AcHideNapomena->trigger();
    settle();
    EXPECT_EQ(form->dbTelefon->text(), "011/100");
    ASSERT_TRUE(noteShown());
    EXPECT_EQ(form->dbNapomena->toPlainText(), "Novi broj od jula");

    table()->Edit();
    table()->FieldByName("Napomena").SetValue(QVariant());
    table()->Post();
    form->AcHideNapomena->trigger();
    settle();
    EXPECT_FALSE(noteShown());
    EXPECT_EQ(testsupport::selectColumn(dir.path("data.mdb"),
                                        "SELECT quote(Napomena) FROM Vlasnici WHERE rowid = 1"),
              QStringList{"NULL"});
}

TEST_F(Details, TheTickShowsAndHidesWithoutWaiting)
{
    openSample();
    table()->SetRecNo(2); // empty note
    form->TimerNapomenaTimer();
    EXPECT_TRUE(noteShown());
    EXPECT_FALSE(form->TimerNapomena->isActive());
    table()->SetRecNo(1);
    form->TimerNapomenaTimer();
    EXPECT_FALSE(noteShown());
}

TEST_F(Details, NoRowsMeansNoNote)
{
    openSample();
    table()->SetRecNo(3);
    settle();
    ASSERT_TRUE(noteShown());

    // Nothing passes the filter: the boxes empty and the panel goes.
    form->AcFiltar->trigger();
    QTest::keyClicks(form->edTelefon, "999");
    searched();
    ASSERT_TRUE(table()->IsEmpty());
    settle();
    EXPECT_EQ(form->dbTelefon->text(), "");
    EXPECT_FALSE(noteShown());

    // A closed table counts as no note, and says nothing.
    table()->Close();
    form->dbNapomena->show();
    form->AcHideNapomena->trigger();
    settle();
    EXPECT_FALSE(noteShown());
    EXPECT_TRUE(hook.boxes().empty());
}

TEST_F(Details, AnEmptyFileShowsNoNote)
{
    open({});
    form->AcHideNapomena->trigger();
    settle();
    EXPECT_FALSE(noteShown());
    EXPECT_EQ(form->dbTelefon->text(), "");
    EXPECT_TRUE(hook.boxes().empty());
}

TEST_F(Details, AFailedConnectLeavesTheWindowQuietAndF4DoesNothing)
{
    openFile(dir.path("missing/data.mdb"));
    ASSERT_FALSE(table()->Active());
    EXPECT_EQ(connectErrors(), 1);
    const size_t shown = hook.boxes().size(); // the connect error
    form->AcHideNapomena->trigger();
    settle();
    EXPECT_FALSE(noteShown());
    pressF4();
    form->AcPozovi->trigger();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(hook.boxes().size(), shown);
}

TEST_F(Details, F4HandsOverTheNumberAndOwnerAsShown)
{
    open({{"011 / 23-45 (k)", "Petar Marković", "A", "B", QString()},
          {"065#7*8", QString(), "A", "B", QString()}});
    pressF4();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].destination, "011 / 23-45 (K)");
    EXPECT_EQ(calls[0].appName, "");
    EXPECT_EQ(calls[0].calledParty, "PETAR MARKOVIĆ");
    EXPECT_EQ(calls[0].comment, "");

    // A subscriber without an owner: the request goes out with none.
    table()->Next();
    form->tbPretplatnik->findChild<QToolButton*>()->click();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].destination, "065#7*8");
    EXPECT_EQ(calls[1].calledParty, "");
    EXPECT_TRUE(hook.boxes().empty());
}

TEST_F(Details, F4WithAFilterThatMatchesNothingDoesNothing)
{
    openSample();
    form->AcFiltar->trigger();
    QTest::keyClicks(form->edVlasnik, "nema");
    searched();
    ASSERT_TRUE(table()->IsEmpty());
    QTest::keyClick(form->edVlasnik, Qt::Key_F4);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(hook.boxes().empty());

    // Once a row passes, F4 from the search box dials it.
    form->edVlasnik->clear();
    QTest::keyClicks(form->edVlasnik, "zora");
    searched();
    QTest::keyClick(form->edVlasnik, Qt::Key_F4);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].destination, "011/400");
}

TEST_F(Details, TheCallOpensATelLinkAndAMissingHandlerIsNotReported)
{
    open({{"011 / 23-45", "Ana", "A", "B", QString()}});
    throughTheLink();
    handlerPresent = false;
    pressF4();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].scheme(), "tel");
    EXPECT_EQ(links[0].toString(QUrl::FullyEncoded), "tel:011%20%2F%2023-45");
    // What the handler decodes is the number as shown.
    EXPECT_EQ(QUrl::fromPercentEncoding(links[0].path(QUrl::FullyEncoded).toLatin1()),
              "011 / 23-45");
    EXPECT_TRUE(hook.boxes().empty());

    handlerPresent = true;
    pressF4();
    EXPECT_EQ(links.size(), 2u);
    EXPECT_TRUE(hook.boxes().empty());
}

TEST(Telephony, LinkEncodesWhatTheTelSyntaxDoesNotAllow)
{
    EXPECT_EQ(vidra::telephony::telLinkFor("0123456"), "tel:0123456");
    EXPECT_EQ(vidra::telephony::telLinkFor("+381 11/23-45"), "tel:+381%2011%2F23-45");
    EXPECT_EQ(vidra::telephony::telLinkFor("Č"), "tel:%C4%8C");
    // Nothing in a number can leave the link or split it into words.
    const QString hostile = QStringLiteral("1;2?x=\"3\" '4' $(id) `5` \\6 #7 &8 %41");
    const QString link = vidra::telephony::telLinkFor(hostile);
    for (QChar c : QStringLiteral(" \"';?=$`\\#&"))
        EXPECT_FALSE(link.mid(4).contains(c)) << QString(c).toStdString();
    EXPECT_EQ(QUrl::fromPercentEncoding(link.mid(4).toLatin1()), hostile);
}

TEST(Telephony, RequestTextsAreCutAt255Characters)
{
    std::vector<Call> calls;
    vidra::telephony::setRequestHook(
        [&calls](const QString& d, const QString& a, const QString& p, const QString& c) {
            calls.push_back({d, a, p, c});
            return false;
        });
    const QString longText(300, u'7');
    // A character outside the basic plane straddling the limit is dropped whole.
    const QString straddling = QString(254, u'a') + QStringLiteral("😀") + QStringLiteral("b");
    EXPECT_FALSE(
        vidra::telephony::RequestMakeCall(longText, longText, straddling, QString(255, u'c')));
    vidra::telephony::setRequestHook({});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].destination, QString(255, u'7'));
    EXPECT_EQ(calls[0].appName, QString(255, u'7'));
    EXPECT_EQ(calls[0].calledParty, QString(254, u'a'));
    EXPECT_EQ(calls[0].comment, QString(255, u'c'));
}

TEST(Telephony, AnEmptyNumberOpensNoLink)
{
    int opened = 0;
    vidra::telephony::setLinkOpener([&opened](const QUrl&) {
        ++opened;
        return true;
    });
    EXPECT_FALSE(vidra::telephony::RequestMakeCall(QString(), QString(), "Ana", QString()));
    EXPECT_TRUE(vidra::telephony::RequestMakeCall("1", QString(), "Ana", QString()));
    vidra::telephony::setLinkOpener({});
    EXPECT_EQ(opened, 1);
}

// The link goes to the desktop services, which give it to whatever handles
// "tel:" links.
class TelHandler : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> received;
public slots:
    void handle(const QUrl& url) { received << url; }
};

TEST(Telephony, TheDesktopsTelHandlerReceivesTheLink)
{
    TelHandler handler;
    QDesktopServices::setUrlHandler("tel", &handler, "handle");
    const bool taken =
        vidra::telephony::RequestMakeCall("011 / 23-45", QString(), "Ana", QString());
    QDesktopServices::unsetUrlHandler("tel");
    EXPECT_TRUE(taken);
    ASSERT_EQ(handler.received.size(), 1);
    EXPECT_EQ(handler.received[0].toString(QUrl::FullyEncoded), "tel:011%20%2F%2023-45");
}

} // namespace

#include "test_details.moc"
