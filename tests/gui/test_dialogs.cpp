#include "GuiSupport.h"
#include "platform/ui/BusyCursor.h"
#include "platform/ui/Dialogs.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

using namespace vidra::ui;

namespace {

struct SeenBox
{
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    Qt::TextFormat format = Qt::AutoText;
};

// Shows a real box, records what it shows and then does what the user does.
Answer showReal(std::function<Answer()> ask, std::function<void(QMessageBox*)> user, SeenBox* seen)
{
    guitest::whenModalShown([user, seen](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        seen->caption = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->format = box->textFormat();
        for (QAbstractButton* b : box->buttons())
            seen->buttons << b->text();
        user(box);
    });
    return ask();
}

void pressEnter(QMessageBox* box)
{
    QTest::keyClick(box, Qt::Key_Return);
}
void pressEscape(QMessageBox* box)
{
    QTest::keyClick(box, Qt::Key_Escape);
}
void closeBox(QMessageBox* box)
{
    box->close();
}

} // namespace

TEST(MessageBoxes, ErrorBoxShowsTextAsPassedWithOneOkButton)
{
    SeenBox seen;
    const QString text = QStringLiteral("<b>Greska</b> & čćđšž\nred 2");
    EXPECT_EQ(showReal([&] { return errorBox(text); }, pressEnter, &seen), Answer::Ok);
    EXPECT_EQ(seen.caption, "Error");
    EXPECT_EQ(seen.text, text);
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
}

TEST(MessageBoxes, ErrorBoxKeysAndClosing)
{
    SeenBox seen;
    EXPECT_EQ(showReal([] { return errorBox("x"); }, pressEscape, &seen), Answer::Ok);
    EXPECT_EQ(showReal([] { return errorBox("x"); }, closeBox, &seen), Answer::Cancel);
}

TEST(MessageBoxes, WarningQuestionKeysAndClosing)
{
    SeenBox seen;
    EXPECT_EQ(showReal([] { return warningQuestion("Brisati?"); }, pressEnter, &seen), Answer::Yes);
    EXPECT_EQ(seen.caption, "Warning");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, (QStringList{"&Yes", "&No"}));
    EXPECT_EQ(showReal([] { return warningQuestion("Brisati?"); }, pressEscape, &seen), Answer::No);
    EXPECT_EQ(showReal([] { return warningQuestion("Brisati?"); }, closeBox, &seen),
              Answer::Cancel);
}

TEST(MessageBoxes, ConfirmationKeysAndMnemonics)
{
    SeenBox seen;
    EXPECT_EQ(showReal([] { return confirmation("Delete record?"); }, pressEscape, &seen),
              Answer::No);
    EXPECT_EQ(seen.caption, "Confirm");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, (QStringList{"&Yes", "&No"}));
    EXPECT_EQ(showReal([] { return confirmation("Delete record?"); },
                       [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_N); }, &seen),
              Answer::No);
    EXPECT_EQ(showReal([] { return confirmation("Delete record?"); },
                       [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Y); }, &seen),
              Answer::Yes);
}

TEST(MessageBoxes, NormalCursorWhileShownThenBusyAgain)
{
    BusyCursor busy;
    bool normalWhileShown = false;
    SeenBox seen;
    showReal([] { return errorBox("x"); },
             [&](QMessageBox* b) {
                 normalWhileShown = !isBusyCursorShown();
                 pressEnter(b);
             },
             &seen);
    EXPECT_TRUE(normalWhileShown);
    EXPECT_TRUE(isBusyCursorShown());
}

TEST(DialogHookTest, AnswersFromQueueAndRecordsEveryBox)
{
    DialogHook hook;
    hook.queueAnswer(Answer::No);
    hook.queueAnswer(Answer::Yes);
    EXPECT_EQ(warningQuestion("a"), Answer::No);
    EXPECT_EQ(confirmation("b"), Answer::Yes);
    EXPECT_EQ(hook.emptyQueueCount(), 0);
    // Empty queue: the refusal, and it is counted.
    EXPECT_EQ(messageBox(BoxKind::Error, "Vidra", "c"), Answer::Cancel);
    EXPECT_EQ(hook.emptyQueueCount(), 1);

    ASSERT_EQ(hook.boxes().size(), 3u);
    EXPECT_EQ(hook.boxes()[0].kind, BoxKind::Warning);
    EXPECT_EQ(hook.boxes()[0].caption, "Warning");
    EXPECT_EQ(hook.boxes()[0].text, "a");
    EXPECT_EQ(hook.boxes()[1].kind, BoxKind::Confirm);
    EXPECT_EQ(hook.boxes()[1].caption, "Confirm");
    EXPECT_EQ(hook.boxes()[2].kind, BoxKind::Error);
    EXPECT_EQ(hook.boxes()[2].caption, "Vidra");
}

TEST(DialogHookTest, NestedHookAnswersAndOuterComesBack)
{
    DialogHook outer;
    {
        DialogHook inner;
        inner.queueAnswer(Answer::Yes);
        EXPECT_EQ(DialogHook::active(), &inner);
        EXPECT_EQ(warningQuestion("q"), Answer::Yes);
        EXPECT_EQ(inner.boxes().size(), 1u);
    }
    EXPECT_EQ(DialogHook::active(), &outer);
    errorBox("e");
    EXPECT_EQ(outer.boxes().size(), 1u);
}

TEST(DialogHookTest, CallbackSeesBoxWhileShownWithNormalCursor)
{
    DialogHook hook;
    QString seen;
    bool busyInside = true;
    hook.onBox = [&](const DialogHook::Box& b) {
        seen = b.text;
        busyInside = isBusyCursorShown();
    };
    BusyCursor busy;
    errorBox("tekst");
    EXPECT_EQ(seen, "tekst");
    EXPECT_FALSE(busyInside);
    EXPECT_TRUE(isBusyCursorShown());
}

TEST(DialogHookTest, FileDialogQueueCancelAndRequestRecorded)
{
    DialogHook hook;
    hook.queueFile("/tmp/a.mdb");
    hook.queueFileCancel();
    OpenFileRequest request;
    request.title = "Izbor";
    request.filter = "AccessDB (*.MDB)";
    request.initialFolder = "/tmp";
    request.defaultSuffix = "*.mdb";
    request.mustExist = false;
    EXPECT_EQ(openFileName(request), std::optional<QString>("/tmp/a.mdb"));
    EXPECT_EQ(openFileName(request), std::nullopt);
    EXPECT_EQ(openFileName(request), std::nullopt);
    EXPECT_EQ(hook.emptyQueueCount(), 1);
    ASSERT_EQ(hook.fileRequests().size(), 3u);
    EXPECT_EQ(hook.fileRequests()[0].filter, "AccessDB (*.MDB)");
    EXPECT_EQ(hook.fileRequests()[0].initialFolder, "/tmp");
    EXPECT_EQ(hook.fileRequests()[0].defaultSuffix, "*.mdb");
    EXPECT_FALSE(hook.fileRequests()[0].mustExist);
    EXPECT_TRUE(hook.boxes().empty());
}

TEST(FileDialog, RealDialogCancelAndChoice)
{
    guitest::whenModalShown([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    OpenFileRequest request;
    request.title = "Izbor baze";
    EXPECT_EQ(openFileName(request), std::nullopt);

    QString title;
    guitest::whenModalShown([&title](QWidget* w) {
        title = w->windowTitle();
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        // Typed into the name box, which has the focus: selectFile() would
        // leave a focused box alone.
        auto* name = dlg->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("/tmp/nema.mdb");
        static_cast<QDialog*>(dlg)->accept(); // as the Open button does
        if (dlg->isVisible()) {
            ADD_FAILURE() << "the file dialog did not take the name";
            dlg->reject();
        }
    });
    request.mustExist = false;
    request.initialFolder = "/tmp";
    EXPECT_EQ(openFileName(request), std::optional<QString>("/tmp/nema.mdb"));
    EXPECT_EQ(title, "Izbor baze");
}
