#pragma once
// Real Access files kept outside the project (their licences forbid copies
// in it), and directory-shaped variants of them made at test time.
#include <QByteArray>
#include <QString>

namespace testsupport {

// The folder of the Access fixtures, or empty when this machine has none.
QString accessFixtureDir();
// The bytes of one fixture; empty when missing.
QByteArray accessFixture(const char* name);

// The Northwind (Access 97) file with its Products table renamed Vlasnici
// and five of its columns renamed Telefon (ProductID), Vlasnik
// (ProductName), Mesto (CategoryID), Adresa (QuantityPerUnit) and Napomena
// (UnitPrice): a legacy directory of 77 rows. Empty without the fixture.
QByteArray accessDirectory();

// The Northwind file recording code page 1250, with Customers' first
// ContactName ("Maria Anders") replaced by "Đurđe Šćekić" in that code page.
QByteArray accessCp1250();

} // namespace testsupport

// Skips a test on a machine without the fixtures, saying so.
#define REQUIRE_ACCESS_FIXTURES()                                                                  \
    do {                                                                                           \
        if (testsupport::accessFixtureDir().isEmpty())                                             \
            GTEST_SKIP() << "the Access fixtures (shared/fixtures/mdb) are not on this machine";   \
    } while (0)
