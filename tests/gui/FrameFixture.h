#pragma once
// A main window over a data module, with its settings file in a scratch
// folder and every dialog answered by the hook.
#include "GuiSupport.h"
#include "data/untDM.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/StatusBar.h"
#include "platform/ui/ToolBand.h"
#include "support/TempDir.h"
#include "ui/dialogs/untAzuriranje.h"
#include "ui/main/untVidra.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

class FrameFixture : public ::testing::Test
{
protected:
    testsupport::TempDir dir;
    vidra::ui::DialogHook hook;
    std::unique_ptr<TDMVidra> dm;
    std::unique_ptr<TFVidra> form;

    void SetUp() override
    {
        dm = std::make_unique<TDMVidra>();
        DMVidra = dm.get();
    }
    void TearDown() override
    {
        form.reset();
        dm.reset();
    }

    QString iniPath() const { return dir.path("Vidra.ini"); }
    void writeIni(const QByteArray& text) const { dir.write("Vidra.ini", text); }
    QString iniValue(const char* section, const char* key) const
    {
        return vidra::IniFile(iniPath()).readString(section, key, "<missing>");
    }

    // A directory file with n generated subscribers.
    QString makeDb(const QString& name, int n) const
    {
        std::vector<testsupport::Row> rows;
        for (int i = 0; i < n; ++i)
            rows.push_back({QString::number(10000 + i), "VLASNIK " + QString::number(i), "ADRESA",
                            "KOSTELIN", QString()});
        const QString p = dir.path(name);
        testsupport::createDirectoryFile(p, rows);
        return p;
    }

    // The window as start-up builds it, before it is shown.
    void create(const QString& ini)
    {
        form = std::make_unique<TFVidra>(ini);
        form->gbFiltar->hide();
        form->dbNapomena->hide();
    }
    void createWith(const QString& dbPath, int state)
    {
        writeIni("[BAZA]\nDBPATH=" + dbPath.toUtf8() +
                 "\n[APP]\nwindow=" + QByteArray::number(state) + "\n");
        create(iniPath());
    }

    // Shows the window as start-up does and makes it the active one.
    void showActive()
    {
        form->ShowInState();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        reactivate();
    }
    // After a modal dialog the offscreen platform leaves no window active.
    void reactivate()
    {
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    QString panel0() const { return form->sbImenik->panelText(0); }

    // Types key by key with no pause between, as fast as no timer can tick.
    static void type(QWidget* box, const QString& text)
    {
        box->setFocus();
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
        }
    }
    // Runs the subscriber editor through a command; act() plays the operator.
    // Whatever the test leaves open is cancelled, and the main window is
    // active again afterwards, as it is for the operator.
    void withEditor(QAction* command, const std::function<void(TFAzuriranje*)>& act)
    {
        bool ran = false;
        guitest::whenModalShown([&](QWidget* w) {
            ran = true;
            auto* editor = qobject_cast<TFAzuriranje*>(w);
            ASSERT_NE(editor, nullptr);
            ASSERT_EQ(editor, FAzuriranje);
            act(editor);
            if (editor->isVisible()) editor->reject();
        });
        command->trigger();
        EXPECT_TRUE(ran);
        EXPECT_EQ(FAzuriranje, nullptr);
        if (form && form->isVisible()) reactivate();
    }
    // Replaces a box's text the way an operator does: select all, delete, type.
    static void replaceText(QLineEdit* box, const QString& text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        type(box, text);
    }
    // The texts of the error boxes shown so far, in order.
    std::vector<QString> errors() const
    {
        std::vector<QString> out;
        for (const auto& b : hook.boxes())
            if (b.kind == vidra::ui::BoxKind::Error) out.push_back(b.text);
        return out;
    }
    int connectErrors() const
    {
        int n = 0;
        for (const auto& b : hook.boxes())
            if (b.kind == vidra::ui::BoxKind::Error && b.caption == "Error" &&
                b.text == "Greska u povezivanju na bazu.")
                ++n;
        return n;
    }
};
