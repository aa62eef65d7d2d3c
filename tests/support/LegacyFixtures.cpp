#include "support/LegacyFixtures.h"

#include "platform/legacy/LegacyReader.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>
#include <stdexcept>

namespace testsupport {

namespace {

// The test programs are built in a folder of their own, not beside the
// reader, so they name the reader to use before any test runs.
class BuiltReader : public ::testing::Environment
{
public:
    void SetUp() override
    {
        vidra::legacy::setReaderProgram(QStringLiteral(VIDRA_LEGACY_READER_PATH));
    }
};
[[maybe_unused]] ::testing::Environment* const g_builtReader =
    ::testing::AddGlobalTestEnvironment(new BuiltReader);

} // namespace

QString cleanFixtureDir()
{
    return QStringLiteral(VIDRA_SOURCE_DIR "/tests/fixtures/mdb");
}

QString localFixtureDir()
{
    const QString dir = qEnvironmentVariableIsSet("VIDRA_ACCESS_FIXTURES")
                            ? qEnvironmentVariable("VIDRA_ACCESS_FIXTURES")
                            : QStringLiteral(VIDRA_SOURCE_DIR "/../shared/fixtures/mdb");
    if (dir.isEmpty() || !QFile::exists(dir + QStringLiteral("/nwind.mdb"))) return QString();
    return QDir(dir).absolutePath();
}

QString accessFixturePath(const char* name)
{
    for (const QString& dir : {cleanFixtureDir(), localFixtureDir()}) {
        const QString path = dir + u'/' + QLatin1String(name);
        if (!dir.isEmpty() && QFile::exists(path)) return path;
    }
    return QString();
}

QByteArray accessFixture(const char* name)
{
    QFile f(accessFixturePath(name));
    if (f.fileName().isEmpty() || !f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

namespace {

[[noreturn]] void unexpected()
{
    throw std::runtime_error("the fixture is not the one expected");
}

void replaceOnce(QByteArray& bytes, const QByteArray& from, const QByteArray& to)
{
    const qsizetype at = bytes.indexOf(from);
    if (at < 0 || from.size() != to.size() || bytes.indexOf(from, at + 1) >= 0) unexpected();
    bytes.replace(at, from.size(), to);
}

// Names as a Jet file stores them: Access 97 in the code page, one byte a
// character; Access 2000 and later in UCS-2 (these files do not compress it).
QByteArray jetText(const QString& s, bool jet4)
{
    if (!jet4) return s.toLatin1();
    QByteArray out;
    for (const QChar c : s) {
        out += char(c.unicode() & 0xFF);
        out += char(c.unicode() >> 8);
    }
    return out;
}

// A table definition stores its column names one after another, each behind
// its length in bytes (one byte in Access 97, two later): any names of the
// same total length can take their place.
QByteArray nameBlock(const QStringList& names, bool jet4)
{
    QByteArray out;
    for (const QString& n : names) {
        const QByteArray text = jetText(n, jet4);
        out += char(text.size());
        if (jet4) out += char(text.size() >> 8);
        out += text;
    }
    return out;
}

// Gives the columns `old` the names `renamed`; the last of `renamed` is
// padded to make up the length.
void renameColumns(QByteArray& file, const QStringList& old, QStringList renamed, bool jet4)
{
    const qsizetype left = old.join(QString()).size() - renamed.join(QString()).size();
    if (left < 0) unexpected();
    renamed.last() += QString(left, u'D');
    replaceOnce(file, nameBlock(old, jet4), nameBlock(renamed, jet4));
}

// The catalog (the rows of MSysObjects, whose definition is page 2) as laid
// out on its data pages: a row count and row offsets near the page's start,
// each row a column count, then the fixed columns Id (the table's page),
// ParentId, DateCreate, DateUpdate, Type and Flags, then the name.
struct CatalogRow
{
    qsizetype id = -1, flags = -1, name = -1;
};

CatalogRow catalogRow(const QByteArray& file, const QString& name, bool jet4)
{
    const qsizetype page = jet4 ? 4096 : 2048, countAt = jet4 ? 12 : 8, fixed = jet4 ? 2 : 1;
    const auto u16 = [&](qsizetype at) {
        return int(quint8(file[at])) | int(quint8(file[at + 1])) << 8;
    };
    const QByteArray wanted = jetText(name, jet4);
    CatalogRow found;
    for (qsizetype p = page; p + page <= file.size(); p += page) {
        if (file[p] != 1 || u16(p + 4) != 2 || u16(p + 6) != 0) continue; // a data page of page 2
        qsizetype end = p + page;
        for (int r = 0; r < u16(p + countAt); ++r) {
            const int offset = u16(p + countAt + 2 + 2 * r);
            const qsizetype start = p + (offset & 0x1FFF);
            const qsizetype at = start + fixed + 30;
            // Deleted and moved rows have their top bits set.
            if (!(offset & 0xC000) && at + wanted.size() <= end &&
                file.mid(at, wanted.size()) == wanted) {
                if (found.id >= 0) unexpected();
                found = {start + fixed, start + fixed + 26, at};
            }
            end = start;
        }
    }
    if (found.id < 0) unexpected();
    return found;
}

// Access keeps a table's name in a catalog row that cannot grow in place; the
// row of the system table MSysACEs, whose name is as long as "Vlasnici",
// becomes a second, user-visible name of `table` instead.
void listTableAsVlasnici(QByteArray& file, const QString& table, bool jet4)
{
    const CatalogRow aces = catalogRow(file, QStringLiteral("MSysACEs"), jet4);
    const CatalogRow target = catalogRow(file, table, jet4);
    if (file.mid(aces.flags, 4) != QByteArray("\0\0\0\x80", 4)) unexpected();
    file.replace(aces.id, 4, file.mid(target.id, 4));
    file.replace(aces.flags, 4, file.mid(target.flags, 4));
    file.replace(aces.name, jet4 ? 16 : 8, jetText(QStringLiteral("Vlasnici"), jet4));
}

// The code page sits in an Access 97 header's masked area; flipping the bits
// that tell 1252 from 1250 changes it without knowing the mask.
void recordCodePage1250(QByteArray& file)
{
    file[0x3C] = char(file[0x3C] ^ (1252 ^ 1250));
}

} // namespace

QByteArray cleanAccessDirectory()
{
    QByteArray b = accessFixture("overflowTestV2000.mdb");
    if (b.isEmpty()) unexpected();
    renameColumns(
        b, {"data1", "data3", "data4", "data5", "data6", "data7", "data8", "data9", "data10"},
        {"Telefon", "Vlasnik", "Adresa", "d5", "d6", "Napomena", "d8", "Mesto", "d10"}, true);
    listTableAsVlasnici(b, QStringLiteral("Table1"), true);
    return b;
}

QByteArray cleanAccessCp1250()
{
    QByteArray b = accessFixture("compIndexTestV1997.mdb");
    if (b.isEmpty() || b.count("abc") != 512) unexpected();
    b.replace("abc", QByteArray("\x8A\xE6\xF0", 3)); // "Šćđ" in code page 1250
    recordCodePage1250(b);
    return b;
}

QByteArray accessDirectory()
{
    QByteArray b = accessFixture("nwind.mdb");
    if (b.isEmpty()) return b;
    renameColumns(b,
                  {"ProductID", "ProductName", "SupplierID", "CategoryID", "QuantityPerUnit",
                   "UnitPrice", "UnitsInStock", "UnitsOnOrder", "ReorderLevel", "Discontinued"},
                  {"Telefon", "Vlasnik", "SupplierID", "Mesto", "Adresa", "Napomena",
                   "UnitsInStock", "UnitsOnOrder", "ReorderLevel", ""},
                  false);
    // The catalog's name of the table; other mentions (queries, relations)
    // are renamed too, which does no harm.
    b.replace(QByteArrayLiteral("Products"), QByteArrayLiteral("Vlasnici"));
    return b;
}

QByteArray accessCp1250()
{
    QByteArray b = accessFixture("nwind.mdb");
    if (b.isEmpty()) return b;
    // "Đurđe Šćekić" in code page 1250, as long as "Maria Anders".
    const QByteArray serbian("\xD0ur\xF0"
                             "e \x8A\xE6"
                             "eki\xE6",
                             12);
    replaceOnce(b, QByteArrayLiteral("Maria Anders"), serbian);
    recordCodePage1250(b);
    return b;
}

} // namespace testsupport
