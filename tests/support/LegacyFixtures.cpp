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

QString accessFixtureDir()
{
    QStringList candidates;
    if (const QString env = qEnvironmentVariable("VIDRA_ACCESS_FIXTURES"); !env.isEmpty())
        candidates << env;
#ifdef VIDRA_SOURCE_DIR
    candidates << QStringLiteral(VIDRA_SOURCE_DIR "/../shared/fixtures/mdb");
#endif
    candidates << QStringLiteral("/work/shared/fixtures/mdb");
    for (const QString& c : candidates)
        if (QFile::exists(c + QStringLiteral("/nwind.mdb"))) return QDir(c).absolutePath();
    return QString();
}

QByteArray accessFixture(const char* name)
{
    const QString dir = accessFixtureDir();
    if (dir.isEmpty()) return {};
    QFile f(dir + u'/' + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

namespace {

// Access 97 stores a table's column names one after another, each behind a
// length byte: any names of the same total length can take their place.
QByteArray nameBlock(const QStringList& names)
{
    QByteArray out;
    for (const QString& n : names) {
        out += char(n.size());
        out += n.toLatin1();
    }
    return out;
}

void replaceOnce(QByteArray& bytes, const QByteArray& from, const QByteArray& to)
{
    const qsizetype at = bytes.indexOf(from);
    if (at < 0 || from.size() != to.size() || bytes.indexOf(from, at + 1) >= 0)
        throw std::runtime_error("the fixture is not the one expected");
    bytes.replace(at, from.size(), to);
}

} // namespace

QByteArray accessDirectory()
{
    QByteArray b = accessFixture("nwind.mdb");
    if (b.isEmpty()) return b;
    const QStringList old{"ProductID",       "ProductName", "SupplierID",   "CategoryID",
                          "QuantityPerUnit", "UnitPrice",   "UnitsInStock", "UnitsOnOrder",
                          "ReorderLevel",    "Discontinued"};
    QStringList renamed{"Telefon",  "Vlasnik",      "SupplierID",   "Mesto",       "Adresa",
                        "Napomena", "UnitsInStock", "UnitsOnOrder", "ReorderLevel"};
    const qsizetype left = old.join(QString()).size() - renamed.join(QString()).size();
    renamed << QString(left, u'D');
    replaceOnce(b, nameBlock(old), nameBlock(renamed));
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
    // The code page sits in the header's masked area; flipping the bits
    // that tell 1252 from 1250 changes it without knowing the mask.
    b[0x3C] = char(b[0x3C] ^ (1252 ^ 1250));
    return b;
}

} // namespace testsupport
