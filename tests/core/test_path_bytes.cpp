// File names are bytes: a path that is not valid UTF-8 (written in an older
// code page) goes from the settings file to the file system and back unchanged.
#include "data/Schema.h"
#include "platform/LocalPath.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/ini/IniFile.h"
#include "support/ErrorOf.h"
#include "support/LegacyFixtures.h"
#include "support/TempDir.h"

#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <gtest/gtest.h>

using namespace vidra;
using testsupport::TempDir;

[[maybe_unused]] static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

TEST(PathBytes, AnyBytesComeBackAndValidUtf8ReadsAsQtReadsIt)
{
    // Every byte alone and every pair of bytes.
    for (int a = 0; a < 256; ++a) {
        const QByteArray one(1, char(a));
        ASSERT_EQ(encodePath(decodePath(one)), one) << a;
        for (int b = 0; b < 256; ++b) {
            const QByteArray two = one + char(b);
            ASSERT_EQ(encodePath(decodePath(two)), two) << a << ' ' << b;
        }
    }
    // Cut, overlong, surrogate and out-of-range sequences among valid text.
    const QByteArray bad[] = {"\xC3",         "\xE2\x82",     "\xF0\x9F\x98", "\xC0\xAF",
                              "\xE0\x80\xAF", "\xED\xA0\x80", "\xED\xB2\x80", "\xF4\x90\x80\x80",
                              "\xFF\xFE",     "\xEF\xBF\xBD"};
    for (const QByteArray& b : bad) {
        const QByteArray s = "Čačak/" + b + "/baza \xF0\x9F\x93\x9E.mdb" + b;
        EXPECT_EQ(encodePath(decodePath(s)), s) << s.toHex().constData();
    }
    QRandomGenerator rng(20240611);
    for (int i = 0; i < 2000; ++i) {
        QByteArray s(int(rng.bounded(24)), '\0');
        for (char& c : s)
            c = char(rng.bounded(256));
        ASSERT_EQ(encodePath(decodePath(s)), s) << s.toHex().constData();
    }

    const QString text = QString::fromUtf8("/home/operater/Šabac \xF0\x9F\x93\x9E ž.mdb");
    EXPECT_EQ(decodePath(text.toUtf8()), text);
    EXPECT_EQ(encodePath(text), text.toUtf8());
    // A genuine U+FFFD in a name is a character, not a stand-in for a byte.
    EXPECT_EQ(encodePath(decodePath("a\xEF\xBF\xBD")), QByteArray("a\xEF\xBF\xBD"));

    // Bytes that are not text are held one by one, and shown as U+FFFD.
    const QString cp1250 = decodePath("Imenik \xE8\x9A\xE6.mdb");
    EXPECT_EQ(cp1250.size(), 14);
    EXPECT_EQ(displayPath(cp1250), "Imenik " + QString(3, QChar(0xFFFD)) + ".mdb");
    EXPECT_EQ(displayPath(text), text);
    EXPECT_EQ(displayPath(decodePath("\xE8")), QString(QChar(0xFFFD)));
}

TEST(PathBytes, SettingsFileReadsAndWritesAPathByteForByte)
{
    TempDir td;
    const QByteArray raw = "/srv/Imenik \xE8\x9A\xE6/data \xE9.mdb";
    const QByteArray file = "; \xE8 komentar u 1250\n"
                            "[BAZA]\n"
                            "DBPATH = " +
                            raw +
                            "\n"
                            "stari=\" \xE8 \"\n"
                            "[APP]\n"
                            "window=2\n";
    const QString path = td.write("Vidra.ini", file);
    IniFile ini(path);
    const QString read = ini.readPath("BAZA", "DBPATH", "data.mdb");
    EXPECT_EQ(encodePath(read), raw);
    // A quoted value with blanks keeps them, and its bytes.
    EXPECT_EQ(encodePath(ini.readPath("BAZA", "stari", "")), QByteArray(" \xE8 "));
    // As text, the same value reads as before: the bytes as U+FFFD.
    EXPECT_EQ(ini.readString("BAZA", "stari", ""), QString(" ") + QChar(0xFFFD) + " ");

    ini.writePath("BAZA", "DBPATH", read);
    EXPECT_EQ(TempDir::read(path), file);

    // Another such path replaces the value in place; blanks around it are quoted.
    ini.writePath("BAZA", "DBPATH", decodePath(" /mnt/\xF0\x9E.mdb"));
    EXPECT_EQ(TempDir::read(path), "; \xE8 komentar u 1250\n"
                                   "[BAZA]\n"
                                   "DBPATH = \" /mnt/\xF0\x9E.mdb\"\n"
                                   "stari=\" \xE8 \"\n"
                                   "[APP]\n"
                                   "window=2\n");
    EXPECT_EQ(encodePath(ini.readPath("BAZA", "DBPATH", "")), QByteArray(" /mnt/\xF0\x9E.mdb"));
    EXPECT_EQ(ini.readPath("BAZA", "nema", "data.mdb"), "data.mdb");
}

TEST(PathBytes, ConnectionOpensTheFileTheBytesName)
{
    TempDir td;
    const QString made = td.path("made.mdb");
    testsupport::createDirectoryFile(made, {{"1", "PRVI", "A", QString(), QString()},
                                            {"2", "DRUGI", "B", QString(), QString()}});
    const QByteArray raw = QFile::encodeName(td.path("")) + "/Imenik \xE8\x9A\xE6.mdb";
    ASSERT_EQ(std::rename(QFile::encodeName(made).constData(), raw.constData()), 0);
    // The name Qt would make of those bytes is another file.
    testsupport::createDirectoryFile(QFile::decodeName(raw), {});

    Connection conn;
    Table table(QStringLiteral("Imenik"));
    conn.setConnectionText("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                           Connection::quoteValue(decodePath(raw)));
    conn.open();
    table.SetConnection(&conn);
    table.SetTableName(QStringLiteral("Vlasnici"));
    table.DeclareFields(kSubscriberFields.begin(), kSubscriberFields.end());
    table.Open();
    EXPECT_EQ(table.RecordCount(), 2);
    table.Edit();
    table.FieldByName("Vlasnik").SetValue("IZMENJEN");
    table.Post();
    table.Requery();
    EXPECT_EQ(table.FieldByName("Vlasnik").AsString(), "IZMENJEN");
    table.Close();
    conn.close();

    // A missing one is named readably in the message.
    conn.setConnectionText("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                           Connection::quoteValue(decodePath("/nema/baza \xE8.mdb")));
    EXPECT_EQ(testsupport::errorOf([&] { conn.open(); }),
              "Could not find file '/nema/baza " + QString(QChar(0xFFFD)) + ".mdb'");
}

// The Access reader is handed names as text: under a name that is not, the
// file is refused rather than a file of the name Qt would make read instead.
TEST(PathBytes, AccessFileUnderANameThatIsNotUtf8IsRefusedPlainly)
{
    TempDir td;
    const QByteArray access = testsupport::cleanAccessDirectory();
    ASSERT_FALSE(access.isEmpty());
    const QByteArray raw = QFile::encodeName(td.path("")) + "/stara \xE8.mdb";
    const QString made = td.write("made.mdb", access);
    ASSERT_EQ(std::rename(QFile::encodeName(made).constData(), raw.constData()), 0);
    td.write(QFile::decodeName(raw).section(u'/', -1), access);

    Connection conn;
    conn.setConnectionText("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                           Connection::quoteValue(decodePath(raw)));
    EXPECT_EQ(testsupport::errorOf([&] { conn.open(); }),
              "The Access file '" + QFile::decodeName(raw) +
                  "' can be read only under a name in UTF-8; rename it");
    EXPECT_FALSE(conn.isOpen());
}

} // namespace
