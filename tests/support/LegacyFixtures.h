#pragma once
// Real Access files, and directory-shaped variants of them made at test time.
// Three licence-clean files live in tests/fixtures/mdb (one Jet3, two Jet4);
// nwind.mdb and DateTestDatabase.mdb may not be copied into the project and
// are used only where this machine has them beside the sources.
#include <QByteArray>
#include <QString>

namespace testsupport {

// tests/fixtures/mdb in the source tree.
QString cleanFixtureDir();
// The folder holding nwind.mdb and DateTestDatabase.mdb, or empty when this
// machine has none: $VIDRA_ACCESS_FIXTURES when set (set it to an empty
// folder to run without them), else ../shared/fixtures/mdb beside the sources.
QString localFixtureDir();
// The path of one fixture, from whichever folder has it; empty when none.
QString accessFixturePath(const char* name);
// The bytes of one fixture; empty when missing.
QByteArray accessFixture(const char* name);

// overflowTestV2000.mdb (Access 2000) with its Table1 also listed as
// Vlasnici and its columns data1, data3, data4, data7 and data9 renamed
// Telefon, Vlasnik, Adresa, Napomena and Mesto: a legacy directory of 7
// rows, most of their cells null.
QByteArray cleanAccessDirectory();

// compIndexTestV1997.mdb (Access 97) recording code page 1250, with every
// RS_AGENTE ("abc", 512 rows) replaced by "Šćđ" in that code page.
QByteArray cleanAccessCp1250();

// The Northwind (Access 97) file with its Products table renamed Vlasnici
// and five of its columns renamed Telefon (ProductID), Vlasnik
// (ProductName), Mesto (CategoryID), Adresa (QuantityPerUnit) and Napomena
// (UnitPrice): a legacy directory of 77 rows. Empty without the file.
QByteArray accessDirectory();

// The Northwind file recording code page 1250, with Customers' first
// ContactName ("Maria Anders") replaced by "Đurđe Šćekić" in that code page.
QByteArray accessCp1250();

} // namespace testsupport

// Skips a test on a machine without nwind.mdb and DateTestDatabase.mdb.
#define REQUIRE_LOCAL_ACCESS_FIXTURES()                                                            \
    do {                                                                                           \
        if (testsupport::localFixtureDir().isEmpty())                                              \
            GTEST_SKIP() << "nwind.mdb and DateTestDatabase.mdb (not redistributable, looked for " \
                            "in ../shared/fixtures/mdb) are not on this machine";                  \
    } while (0)
