// The settings file as other tools leave it: a database path in the bytes of
// an older code page, a file saved as UTF-16. The program opens the file the
// value names and writes the value back exactly as it found it.
#include "FrameFixture.h"
#include "ui/dialogs/untOpcije.h"

#include <QFile>
#include <QPushButton>
#include <cstdio>

namespace {

class SettingsBytes : public FrameFixture
{
protected:
    // A directory file under a name given as raw bytes (not necessarily
    // UTF-8), made under a plain name first and renamed.
    QByteArray makeDbNamed(const QByteArray& rawName, int rows)
    {
        const QString made = makeDb("made.mdb", rows);
        const QByteArray raw = QFile::encodeName(dir.path("")) + "/" + rawName;
        if (std::rename(QFile::encodeName(made).constData(), raw.constData()) != 0) return {};
        return raw;
    }
    QByteArray iniBytes() const { return testsupport::TempDir::read(iniPath()); }
};

// "Imenik čšć.mdb" in code page 1250: not valid UTF-8.
const QByteArray kCp1250Name("Imenik \xE8\x9A\xE6.mdb");

TEST_F(SettingsBytes, PathInAnOlderCodePageOpensAndIsWrittenBackByteForByte)
{
    const QByteArray db = makeDbNamed(kCp1250Name, 3);
    ASSERT_FALSE(db.isEmpty());
    const QByteArray ini = "; Vidra \xE8 podesavanja\r\n"
                           "[BAZA]\r\n"
                           "DBPATH=" +
                           db +
                           "\r\n"
                           "[APP]\r\n"
                           "window=0\r\n";
    writeIni(ini);
    create(iniPath());
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(panel0(), " Broj pretplatnika: 3");

    // The settings dialog shows the path; closing it changes nothing.
    showActive();
    bool shown = false;
    guitest::whenModalShown([&](QWidget* w) {
        auto* d = qobject_cast<TFOpcije*>(w);
        ASSERT_NE(d, nullptr);
        shown = true;
        EXPECT_TRUE(d->edDb->toPlainText().contains("Imenik "))
            << d->edDb->toPlainText().toStdString();
        d->btClose->click();
    });
    form->AcBaza->trigger();
    EXPECT_TRUE(shown);
    reactivate();

    form->close();
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(iniBytes(), ini);
}

TEST_F(SettingsBytes, MissingFileUnderSuchANameIsReportedAndItsBytesKept)
{
    const QByteArray missing = QFile::encodeName(dir.path("")) + "/nema \xF0.mdb";
    const QByteArray ini = "[BAZA]\nDBPATH=" + missing + "\n[APP]\nwindow=0\n";
    writeIni(ini);
    create(iniPath());
    EXPECT_EQ(connectErrors(), 1);
    form->ShowInState();
    form->close();
    EXPECT_EQ(iniBytes(), ini);
}

TEST_F(SettingsBytes, Utf16FileIsReadAndWrittenBackInUtf16)
{
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "UTF-16BE" : "UTF-16LE");
        const QByteArray bom = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
        const QString db = makeDb(bigEndian ? "Čačak BE.mdb" : "Čačak LE.mdb", 2);
        const QString text =
            "; Podešavanja\r\n[BAZA]\r\nDBPATH=" + db + "\r\n[APP]\r\nwindow=0\r\n";
        writeIni(bom + testsupport::utf16(text, bigEndian));
        hook.clear();
        create(iniPath());
        EXPECT_TRUE(hook.boxes().empty());
        EXPECT_EQ(dm->DbPath(), db);
        EXPECT_EQ(panel0(), " Broj pretplatnika: 2");
        EXPECT_EQ(form->WindowState(), TFVidra::StateNormal);
        form->ShowInState();
        form->showMaximized();
        form->close();
        EXPECT_TRUE(hook.boxes().empty());
        QString saved = text;
        saved.replace("window=0", "window=2");
        EXPECT_EQ(iniBytes(), bom + testsupport::utf16(saved, bigEndian));
        form.reset();
    }
}

} // namespace
