// Enter moves on and Escape closes the form, in one-line boxes and buttons only.
#include "FrameFixture.h"
#include "ui/Funkcije.h"

#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

class EnterEscape : public FrameFixture
{
};

TEST_F(EnterEscape, MainWindowBoxesMoveOnAndEscapeEndsTheProgram)
{
    createWith(makeDb("data.mdb", 3), 0);
    form->ShowInState();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->activateWindow();
    form->gbFiltar->show();
    form->edTelefon->setFocus();
    QTest::keyClick(form->edTelefon, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), form->edVlasnik);
    form->edMesto->setFocus();
    QTest::keyClick(form->edMesto, Qt::Key_Enter);
    EXPECT_EQ(QApplication::focusWidget(), form->dbImenik); // next in the tab order
    form->edAdresa->setFocus();
    QTest::keyClick(form->edAdresa, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
}

TEST(EnterEscapeDialog, OnlyOneLineBoxesAndButtonsAreHooked)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* first = new QLineEdit(&dialog);
    auto* memo = new QPlainTextEdit(&dialog);
    auto* second = new QLineEdit(&dialog);
    auto* button = new QPushButton(QStringLiteral("Snimi"), &dialog);
    for (QWidget* w : {static_cast<QWidget*>(first), static_cast<QWidget*>(memo),
                       static_cast<QWidget*>(second), static_cast<QWidget*>(button)})
        layout->addWidget(w);
    InstallEnterEscape(&dialog);
    InstallEnterEscape(&dialog); // twice is the same as once
    QSignalSpy clicks(button, &QPushButton::clicked);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();

    first->setFocus();
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), memo);
    QTest::keyClicks(memo, "a");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "b");
    EXPECT_EQ(memo->toPlainText(), "a\nb"); // a line break, not a move
    QTest::keyClick(memo, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());

    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(QApplication::focusWidget(), button);

    second->setFocus();
    QTest::keyClick(second, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

} // namespace
