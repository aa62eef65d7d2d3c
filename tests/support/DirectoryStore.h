#pragma once
// A directory in either store the engine works on, for the suites that must
// behave the same on both: an SQLite file in a scratch folder, or the table
// vlasnici in a throw-away schema on the test server. The suites run once per
// store (TEST_P, instantiated with bothStores()).
#include "support/TempDir.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace vidra::pg {
class Session;
}

namespace testsupport {

class PgScratch;

enum class StoreKind
{
    File,
    Server
};

void PrintTo(StoreKind kind, std::ostream* os);
// "File" or "Server": the last part of a parametrised test's name.
std::string storeName(const ::testing::TestParamInfo<StoreKind>& info);
inline auto bothStores()
{
    return ::testing::Values(StoreKind::File, StoreKind::Server);
}

class DirectoryStore
{
public:
    // A server store fails the test (GoogleTest) when no server is reachable.
    explicit DirectoryStore(StoreKind kind);
    ~DirectoryStore();
    DirectoryStore(const DirectoryStore&) = delete;
    DirectoryStore& operator=(const DirectoryStore&) = delete;

    StoreKind kind() const { return m_kind; }
    bool ok() const;

    // Makes the directory hold exactly these rows, stored in this order
    // (whatever it held before is gone), and returns its data source: the
    // file's path or the server's URI.
    QString create(const std::vector<Row>& rows);
    const QString& dataSource() const { return m_dataSource; }
    // The connection text the program builds around the data source.
    QString connectionText() const;

    // Statements run behind the engine's back, as another desk's change
    // would be. Unquoted names are blind to letter case in both stores, so
    // "UPDATE Vlasnici SET Vlasnik = ..." reaches either table.
    void exec(const QString& sql) const;
    // The first column of a query's rows; null stays a null QString.
    QStringList select(const QString& sql) const;
    // One column of every row in row order. A file's rows are in the order
    // they were stored (rowid); a server's table has no such order, so its
    // rows come in the order of their numbers (byte order of the text). A
    // test that compares whole columns stores its rows in that order.
    QStringList column(const QString& name) const;

private:
    vidra::pg::Session& server() const;

    StoreKind m_kind;
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<PgScratch> m_scratch;
    std::unique_ptr<vidra::pg::Session> m_session;
    QString m_dataSource;
};

} // namespace testsupport
