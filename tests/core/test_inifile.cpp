#include "platform/Error.h"
#include "platform/ini/IniFile.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <climits>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utility>
#include <vector>

using testsupport::TempDir;
using vidra::IniFile;

namespace {

// The message of the vidra::Error the call raises; a null string when it raises none.
template <class F> QString errorOf(F call)
{
    try {
        call();
    } catch (const vidra::Error& e) {
        return e.message();
    }
    return QString();
}

QString unableToWrite(const QString& path)
{
    return "Unable to write to " + QDir::toNativeSeparators(path);
}

} // namespace

TEST(IniFileRead, NamesAreCaseBlindTrimmedAndFirstOccurrenceWins)
{
    TempDir td;
    IniFile ini(td.write("s.ini", "orphan=before any section\n"
                                  "  [ baza ]  \n"
                                  "; x=commented\n"
                                  "  dbPath  =   C:\\Imenik\\data.mdb   \n"
                                  "line without equals sign\n"
                                  "Window=7\n"
                                  "DBPATH=second occurrence\n"
                                  "[APP]\n"
                                  "window = 1\n"
                                  "[Baza]\n"
                                  "extra=only in the repeated section\n"
                                  "[ČITAČ]\n"
                                  "Šifra=ž\n"));

    EXPECT_EQ(ini.readString("BAZA", "DBPATH", "d"), "C:\\Imenik\\data.mdb");
    EXPECT_EQ(ini.readString("baza", "WINDOW", "d"), "7");
    EXPECT_EQ(ini.readInteger("app", "WINDOW", 2), 1);
    EXPECT_EQ(ini.readString("čitač", "ŠIFRA", "d"), "ž");
    // Only the first of two same-named sections is looked at.
    EXPECT_EQ(ini.readString("BAZA", "extra", "d"), "d");
    EXPECT_EQ(ini.readString("BAZA", "line without equals sign", "d"), "d");
    EXPECT_EQ(ini.readString("BAZA", "; x", "d"), "d");
    EXPECT_EQ(ini.readString("BAZA", "orphan", "d"), "d");
}

TEST(IniFileRead, MissingFileSectionOrKeyGivesDefault)
{
    TempDir td;
    IniFile missing(td.path("none.ini"));
    EXPECT_EQ(missing.readString("BAZA", "DBPATH", "data.mdb"), "data.mdb");
    EXPECT_EQ(missing.readInteger("APP", "window", 2), 2);
    EXPECT_FALSE(QFileInfo::exists(td.path("none.ini")));

    QDir(td.path("")).mkdir("folder.ini");
    EXPECT_EQ(IniFile(td.path("folder.ini")).readString("BAZA", "DBPATH", "data.mdb"), "data.mdb");

    IniFile ini(td.write("s.ini", "[BAZA]\nDBPATH=\n"));
    EXPECT_EQ(ini.readString("OTHER", "DBPATH", "d"), "d");
    EXPECT_EQ(ini.readString("BAZA", "other", "d"), "d");
    // A key that is present with nothing after '=' is an empty value, not a missing one.
    EXPECT_EQ(ini.readString("BAZA", "DBPATH", "d"), "");
    EXPECT_EQ(ini.readInteger("BAZA", "DBPATH", 5), 5);
}

TEST(IniFileRead, OneMatchingPairOfQuotesIsRemoved)
{
    TempDir td;
    IniFile ini(td.write("s.ini", "[Q]\n"
                                  "double = \"  spaced  \"  \n"
                                  "single='C:\\Moji dokumenti\\data.mdb'\n"
                                  "mixed=\"open'\n"
                                  "lone=\"\n"
                                  "inner=a \"b\" c\n"
                                  "twice=\"\"x\"\"\n"
                                  "empty=\"\"\n"));
    EXPECT_EQ(ini.readString("Q", "double", "d"), "  spaced  ");
    EXPECT_EQ(ini.readString("Q", "single", "d"), "C:\\Moji dokumenti\\data.mdb");
    EXPECT_EQ(ini.readString("Q", "mixed", "d"), "\"open'");
    EXPECT_EQ(ini.readString("Q", "lone", "d"), "\"");
    EXPECT_EQ(ini.readString("Q", "inner", "d"), "a \"b\" c");
    EXPECT_EQ(ini.readString("Q", "twice", "d"), "\"x\"");
    EXPECT_EQ(ini.readString("Q", "empty", "d"), "");
}

TEST(IniFileRead, ValuesAreCutAt2047Characters)
{
    const QString longValue(5000, u'x');
    const QString exact(IniFile::kMaxValueLength, u'y');
    const QString letters(IniFile::kMaxValueLength + 1, u'č');
    TempDir td;
    IniFile ini(td.write("s.ini", "[L]\nlong=" + longValue.toUtf8() + "\nexact=" + exact.toUtf8() +
                                      "\nletters=" + letters.toUtf8() + "\nafter=ok\n"));
    EXPECT_EQ(ini.readString("L", "long", "d"), QString(IniFile::kMaxValueLength, u'x'));
    EXPECT_EQ(ini.readString("L", "exact", "d"), exact);
    // The cut counts characters, not UTF-8 bytes.
    EXPECT_EQ(ini.readString("L", "letters", "d"), QString(IniFile::kMaxValueLength, u'č'));
    EXPECT_EQ(ini.readString("L", "after", "d"), "ok");
}

TEST(IniFileRead, IntegersAreDecimalOrHexAndAnythingElseGivesDefault)
{
    const std::vector<std::pair<QByteArray, int>> numbers = {{"2", 2},
                                                             {" -15 ", -15},
                                                             {"+7", 7},
                                                             {"007", 7},
                                                             {"0x2", 2},
                                                             {"0X1f", 31},
                                                             {"0xFF", 255},
                                                             {"0x7fffffff", INT_MAX},
                                                             {"'3'", 3},
                                                             {"2147483647", INT_MAX},
                                                             {"-2147483648", INT_MIN}};
    const QByteArrayList junk = {"",
                                 "abc",
                                 "12abc",
                                 "1 2",
                                 "1.5",
                                 "+",
                                 "0x",
                                 "0xg",
                                 "-0x1",
                                 "2147483648",
                                 "-2147483649",
                                 "0x80000000",
                                 "99999999999999999999999"};
    QByteArray content = "[N]\n";
    for (size_t i = 0; i < numbers.size(); ++i)
        content += "n" + QByteArray::number(qulonglong(i)) + "=" + numbers[i].first + "\n";
    for (qsizetype i = 0; i < junk.size(); ++i)
        content += "j" + QByteArray::number(i) + "=" + junk[i] + "\n";
    TempDir td;
    IniFile ini(td.write("s.ini", content));
    for (size_t i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(ini.readInteger("N", "n" + QString::number(i), 99), numbers[i].second)
            << "value '" << numbers[i].first.constData() << "'";
    for (qsizetype i = 0; i < junk.size(); ++i)
        EXPECT_EQ(ini.readInteger("N", "j" + QString::number(i), 99), 99)
            << "value '" << junk[i].constData() << "'";
}

TEST(IniFileRead, SurvivesJunkBomCrlfAndMissingLastLineEnd)
{
    TempDir td;
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 37 + 11) % 256);
    EXPECT_EQ(IniFile(td.write("junk.ini", junk)).readInteger("APP", "window", 2), 2);

    IniFile mixed(
        td.write("mixed.ini", QByteArray("\x00\xff[=]\n", 6) + junk + "\r\n[APP]\r\nwindow=0x2"));
    EXPECT_EQ(mixed.readInteger("APP", "window", 9), 2);

    IniFile bom(td.write("bom.ini", "\xEF\xBB\xBF[BAZA]\r\nDBPATH=baza.mdb\r\nlast=v\r"));
    EXPECT_EQ(bom.readString("BAZA", "DBPATH", "d"), "baza.mdb");
    EXPECT_EQ(bom.readString("BAZA", "last", "d"), "v");
}

TEST(IniFileWrite, ReplacesValueInPlaceAndKeepsEveryOtherByte)
{
    TempDir td;
    const QString path = td.write("s.ini", "; Vidra settings\n"
                                           "[baza]\n"
                                           "  DbPath =  old.mdb   \n"
                                           "dbpath=shadow\n"
                                           "\n"
                                           "[APP]\n"
                                           "window=0\n");
    IniFile ini(path);
    ini.writeString("BAZA", "DBPATH", "C:\\Novi\\data.mdb");
    ini.writeInteger("app", "WINDOW", 2);
    EXPECT_EQ(TempDir::read(path), "; Vidra settings\n"
                                   "[baza]\n"
                                   "  DbPath =  C:\\Novi\\data.mdb\n"
                                   "dbpath=shadow\n"
                                   "\n"
                                   "[APP]\n"
                                   "window=2\n");
    EXPECT_EQ(ini.readString("BAZA", "DBPATH", "d"), "C:\\Novi\\data.mdb");
}

TEST(IniFileWrite, NewFileHoldsBazaThenApp)
{
    TempDir td;
    const QString path = td.path("Vidra.ini");
    const QByteArray expected = "[BAZA]\nDBPATH=data.mdb\n[APP]\nwindow=2\n";
    IniFile ini(path);
    ini.writeString("BAZA", "DBPATH", "data.mdb");
    ini.writeInteger("APP", "window", 2);
    EXPECT_EQ(TempDir::read(path), expected);

    // Saving the same values again leaves the file as it is.
    ini.writeString("BAZA", "DBPATH", "data.mdb");
    ini.writeInteger("APP", "window", 2);
    EXPECT_EQ(TempDir::read(path), expected);
    EXPECT_EQ(ini.readString("BAZA", "DBPATH", "d"), "data.mdb");
    EXPECT_EQ(ini.readInteger("APP", "window", 0), 2);
}

TEST(IniFileWrite, MissingKeyGoesAfterTheLastEntryOfItsFirstSection)
{
    TempDir td;
    const QString path = td.write("s.ini", "[BAZA]\n"
                                           "DBPATH=a\n"
                                           "\n"
                                           "; application\n"
                                           "[APP]\n"
                                           "window=1\n"
                                           "[baza]\n"
                                           "dup=1\n"
                                           "[EMPTY]\n"
                                           "\n"
                                           "[LAST]\n"
                                           "x=1");
    IniFile ini(path);
    ini.writeString("baza", "new", "v");
    ini.writeString("APP", "z", "3");
    ini.writeString("EMPTY", "k", "e");
    ini.writeString("LAST", "y", "2");
    ini.writeString("BAZA", "dup", "first");
    EXPECT_EQ(TempDir::read(path), "[BAZA]\n"
                                   "DBPATH=a\n"
                                   "new=v\n"
                                   "dup=first\n"
                                   "\n"
                                   "; application\n"
                                   "[APP]\n"
                                   "window=1\n"
                                   "z=3\n"
                                   "[baza]\n"
                                   "dup=1\n"
                                   "[EMPTY]\n"
                                   "k=e\n"
                                   "\n"
                                   "[LAST]\n"
                                   "x=1\n"
                                   "y=2\n");
    EXPECT_EQ(ini.readString("BAZA", "dup", "d"), "first");
}

TEST(IniFileWrite, KeepsCrlfAndStartsAppendedLinesOnANewLine)
{
    TempDir td;
    const QString crlf = td.write("crlf.ini", "[BAZA]\r\nDBPATH=a\r\n[APP]\r\nwindow=1");
    IniFile ini(crlf);
    ini.writeInteger("APP", "window", 0);
    EXPECT_EQ(TempDir::read(crlf), "[BAZA]\r\nDBPATH=a\r\n[APP]\r\nwindow=0");
    ini.writeString("APP", "extra", "x");
    ini.writeString("NOVA", "k", "v");
    EXPECT_EQ(TempDir::read(crlf),
              "[BAZA]\r\nDBPATH=a\r\n[APP]\r\nwindow=0\r\nextra=x\r\n[NOVA]\r\nk=v\r\n");

    const QString lf = td.write("lf.ini", "[A]\nk=1");
    IniFile(lf).writeString("B", "k", "2");
    EXPECT_EQ(TempDir::read(lf), "[A]\nk=1\n[B]\nk=2\n");
}

TEST(IniFileWrite, KeepsBomAndBytesThatAreNotText)
{
    TempDir td;
    const QByteArray junkLine("\xff\xfe\x00\x01 not text \xc3", 14);
    const QString path =
        td.write("s.ini", "\xEF\xBB\xBF[BAZA]\n" + junkLine + "\nDBPATH=a\n[APP]\nwindow=1\n");
    IniFile ini(path);
    ini.writeString("BAZA", "DBPATH", "b");
    EXPECT_EQ(TempDir::read(path),
              "\xEF\xBB\xBF[BAZA]\n" + junkLine + "\nDBPATH=b\n[APP]\nwindow=1\n");
    EXPECT_EQ(ini.readString("BAZA", "DBPATH", "d"), "b");
}

// Only the file's first bytes can be its byte-order mark: one at the start of
// a later line is part of the key written there.
TEST(IniFileWrite, KeyStartingWithAByteOrderMarkReadsBackUnderItsOwnName)
{
    TempDir td;
    const QString path = td.write("s.ini", "");
    IniFile ini(path);
    const QString key = QString(QChar(0xFEFF)) + "KLJUČ";
    ini.writeString("S", key, "v");
    EXPECT_EQ(ini.readString("S", key, "d"), "v");
    EXPECT_EQ(ini.readString("S", "KLJUČ", "d"), "d");
    ini.writeString("S", "KLJUČ", "w"); // another key, not the same one again
    EXPECT_EQ(ini.readString("S", key, "d"), "v");
    EXPECT_EQ(ini.readString("S", "ključ", "d"), "w");

    // A line's last bytes that do not finish a character still read as one.
    IniFile cut(td.write("c.ini", "[S]\nk=abc\xC4\n"));
    EXPECT_EQ(cut.readString("S", "k", "d"), QString("abc") + QChar(0xFFFD));
}

TEST(IniFileWrite, UnwritablePathRaisesMessageWithFullPath)
{
    TempDir td;
    td.write("afile", "keep");
    const QString underFile = td.path("afile/settings.ini");
    IniFile ini(underFile);
    EXPECT_EQ(errorOf([&] { ini.writeString("BAZA", "DBPATH", "x"); }), unableToWrite(underFile));
    EXPECT_EQ(errorOf([&] { ini.writeInteger("APP", "window", 2); }), unableToWrite(underFile));
    EXPECT_EQ(TempDir::read(td.path("afile")), "keep");

    const QString missingFolder = td.path("missing/settings.ini");
    EXPECT_EQ(errorOf([&] { IniFile(missingFolder).writeString("BAZA", "DBPATH", "x"); }),
              unableToWrite(missingFolder));

    ASSERT_TRUE(QDir(td.path("")).mkdir("folder.ini"));
    const QString folder = td.path("folder.ini");
    EXPECT_EQ(errorOf([&] { IniFile(folder).writeString("BAZA", "DBPATH", "x"); }),
              unableToWrite(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // A relative name is reported with its full path.
    const QString relative = QDir::current().relativeFilePath(underFile);
    ASSERT_TRUE(QFileInfo(relative).isRelative());
    EXPECT_EQ(errorOf([&] { IniFile(relative).writeString("BAZA", "DBPATH", "x"); }),
              unableToWrite(underFile));
}

TEST(IniFileWrite, HonoursFilePermissions)
{
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not restrict root";
    TempDir td;
    const QString readOnly = td.write("ro.ini", "[BAZA]\nDBPATH=a\n");
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner));
    EXPECT_EQ(errorOf([&] { IniFile(readOnly).writeString("BAZA", "DBPATH", "b"); }),
              unableToWrite(readOnly));
    EXPECT_EQ(TempDir::read(readOnly), "[BAZA]\nDBPATH=a\n");

    // A writable file in a folder where nothing new can be created is still written.
    ASSERT_TRUE(QDir(td.path("")).mkdir("locked"));
    const QString inLocked = td.path("locked/s.ini");
    ASSERT_TRUE(QFile::copy(readOnly, inLocked));
    ASSERT_TRUE(QFile::setPermissions(inLocked, QFile::ReadOwner | QFile::WriteOwner));
    const QString lockedDir = td.path("locked");
    ASSERT_TRUE(QFile::setPermissions(lockedDir, QFile::ReadOwner | QFile::ExeOwner));
    IniFile(inLocked).writeString("BAZA", "DBPATH", "b");
    EXPECT_EQ(TempDir::read(inLocked), "[BAZA]\nDBPATH=b\n");
    QFile::setPermissions(lockedDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(IniFileWrite, SerbianLettersRoundTripInPathsAndValues)
{
    TempDir td;
    ASSERT_TRUE(QDir(td.path("")).mkdir("Imenik čćđšž ČĆĐŠŽ"));
    const QString path = td.path("Imenik čćđšž ČĆĐŠŽ/Vidra đak.ini");
    const QString value = td.path("Imenik čćđšž ČĆĐŠŽ/Šabac Žabalj.mdb");
    IniFile ini(path);
    ini.writeString("BAZA", "DBPATH", value);
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(TempDir::read(path), "[BAZA]\nDBPATH=" + value.toUtf8() + "\n");
    EXPECT_EQ(IniFile(path).readString("BAZA", "DBPATH", "d"), value);
}

TEST(IniFileWrite, AnyValueReadsBackWithoutBreakingTheFile)
{
    TempDir td;
    const QString path = td.path("s.ini");
    IniFile ini(path);
    for (const QString& v : {QString("  padded  "), QString("\"quoted\""), QString("'single'"),
                             QString(""), QString("plain value")}) {
        ini.writeString("V", "k", v);
        EXPECT_EQ(ini.readString("V", "k", "d"), v);
    }
    EXPECT_EQ(TempDir::read(path), "[V]\nk=plain value\n");

    // A line break in a value must not start a new line (or section) in the file.
    ini.writeString("V", "k", "x\n[APP]\r\nwindow=1");
    EXPECT_EQ(ini.readString("V", "k", "d"), "x [APP]  window=1");
    EXPECT_EQ(ini.readInteger("APP", "window", 2), 2);
    EXPECT_EQ(TempDir::read(path), "[V]\nk=x [APP]  window=1\n");
}
