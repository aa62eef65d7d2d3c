// Settings files saved as UTF-16 with a byte-order mark (as Windows editors
// and the platform's own profile routines leave them): read like any other,
// and written back in their own encoding, one value in place.
#include "platform/ini/IniFile.h"
#include "support/TempDir.h"

#include <QString>
#include <gtest/gtest.h>

using testsupport::TempDir;
using vidra::IniFile;

namespace {

struct Order
{
    const char* name;
    bool bigEndian;
    QByteArray bom;
};

const Order kOrders[] = {{"UTF-16LE", false, QByteArray("\xFF\xFE", 2)},
                         {"UTF-16BE", true, QByteArray("\xFE\xFF", 2)}};

TEST(IniFileUtf16, ReadsValuesAndWritesInPlaceInTheFilesOwnEncoding)
{
    for (const Order& o : kOrders) {
        SCOPED_TRACE(o.name);
        TempDir td;
        const auto enc = [&](const QString& s) { return testsupport::utf16(s, o.bigEndian); };
        // A comment with letters outside Latin-1 and one outside the basic plane.
        const QString comment = QString("; Podešavanja Vidre ") + QChar(0xD83D) + QChar(0xDCDE);
        const QString path = td.write(
            "Vidra.ini", o.bom + enc(comment + "\r\n[BAZA]\r\nDBPATH=C:\\Imenik\\Čačak.mdb\r\n"
                                               "\r\n[APP]\r\nwindow=0x1\r\n"));
        IniFile ini(path);
        EXPECT_EQ(ini.readString("baza", "dbpath", "data.mdb"), "C:\\Imenik\\Čačak.mdb");
        EXPECT_EQ(ini.readPath("BAZA", "DBPATH", "data.mdb"), "C:\\Imenik\\Čačak.mdb");
        EXPECT_EQ(ini.readInteger("APP", "window", 2), 1);

        ini.writePath("BAZA", "DBPATH", "/home/operater/Šabac.mdb");
        ini.writeInteger("APP", "window", 2);
        EXPECT_EQ(TempDir::read(path),
                  o.bom + enc(comment + "\r\n[BAZA]\r\nDBPATH=/home/operater/Šabac.mdb\r\n"
                                        "\r\n[APP]\r\nwindow=2\r\n"));
        EXPECT_EQ(ini.readPath("BAZA", "DBPATH", "data.mdb"), "/home/operater/Šabac.mdb");

        // Missing keys and sections are added in the same encoding and line ends.
        ini.writeString("BAZA", "novi", " razmak ");
        ini.writeString("Drugi", "k", "v");
        EXPECT_EQ(TempDir::read(path),
                  o.bom + enc(comment + "\r\n[BAZA]\r\nDBPATH=/home/operater/Šabac.mdb\r\n"
                                        "novi=\" razmak \"\r\n\r\n[APP]\r\nwindow=2\r\n"
                                        "[Drugi]\r\nk=v\r\n"));
        EXPECT_EQ(ini.readString("BAZA", "novi", "d"), " razmak ");
    }
}

TEST(IniFileUtf16, LinesThatAreNotTextAndAMissingLastLineEndAreKept)
{
    TempDir td;
    // A lone surrogate and a unit whose bytes hold '\n' (U+0A0D, U+0D0A):
    // neither is a line end, and both lines stay as they were.
    const QByteArray odd =
        testsupport::utf16(QString("x=") + QChar(0xDC00) + QChar(0x0A0D) + QChar(0x0D0A), false);
    const QString path = td.write("s.ini", "\xFF\xFE" + testsupport::utf16("[S]\n", false) + odd +
                                               testsupport::utf16("\nk=1", false));
    IniFile ini(path);
    EXPECT_EQ(ini.readString("S", "k", "d"), "1");
    EXPECT_EQ(ini.readString("S", "x", "d"),
              QString(QChar(0xFFFD)) + QChar(0x0A0D) + QChar(0x0D0A));
    ini.writeString("S", "k", "2");
    ini.writeString("S", "n", "3");
    EXPECT_EQ(TempDir::read(path), "\xFF\xFE" + testsupport::utf16("[S]\n", false) + odd +
                                       testsupport::utf16("\nk=2\nn=3\n", false));

    // A file of nothing but the mark: new lines follow it in UTF-16.
    const QString bare = td.write("bare.ini", "\xFE\xFF");
    IniFile(bare).writeInteger("APP", "window", 0);
    EXPECT_EQ(TempDir::read(bare), "\xFE\xFF" + testsupport::utf16("[APP]\nwindow=0\n", true));
    EXPECT_EQ(IniFile(bare).readInteger("APP", "window", 2), 0);
}

TEST(IniFileUtf16, AnOddLastByteNeitherBreaksReadingNorShiftsWhatFollows)
{
    TempDir td;
    const QByteArray head = "\xFF\xFE" + testsupport::utf16("[A]\r\nk=1\r\nv=a", false);
    const QString path = td.write("s.ini", head + QByteArray("\x41", 1));
    IniFile ini(path);
    EXPECT_EQ(ini.readInteger("A", "k", 9), 1);
    // The byte that is not a whole character reads as U+FFFD, and keeps doing so.
    const QString v = QString("a") + QChar(0xFFFD);
    EXPECT_EQ(ini.readString("A", "v", "d"), v);
    ini.writeString("A", "n", "2");
    ini.writeString("B", "k", "3");
    EXPECT_EQ(ini.readString("A", "v", "d"), v);
    EXPECT_EQ(ini.readString("A", "n", "d"), "2");
    EXPECT_EQ(ini.readString("B", "k", "d"), "3");
    EXPECT_EQ(TempDir::read(path),
              head +
                  testsupport::utf16(QString(QChar(0xFFFD)) + "\r\nn=2\r\n[B]\r\nk=3\r\n", false));
}

} // namespace
