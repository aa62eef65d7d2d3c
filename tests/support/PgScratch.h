#pragma once
// A throw-away schema per test on the test server that the test command
// starts (VIDRA_TEST_PG_URI); the URI it hands out reaches only that schema,
// so tests running side by side never see each other's tables.
#include <QString>
#include <QStringList>
#include <memory>

namespace vidra::pg {
class Session;
}

namespace testsupport {

// The test server's URI; empty when the test command did not start one.
QString testServerUri();

class PgScratch
{
public:
    // Fails the test (GoogleTest) when no server is reachable: the server
    // tests are never skipped quietly.
    PgScratch();
    ~PgScratch();
    PgScratch(const PgScratch&) = delete;
    PgScratch& operator=(const PgScratch&) = delete;

    bool ok() const { return m_session != nullptr; }
    // A URI whose tables are those of this scratch schema.
    const QString& uri() const { return m_uri; }
    const QString& schema() const { return m_schema; }
    // Statements and one-column reads on the schema, past the engine.
    void exec(const QString& sql) const;
    QStringList column(const QString& sql) const;

private:
    std::unique_ptr<vidra::pg::Session> m_session;
    QString m_schema;
    QString m_uri;
};

} // namespace testsupport
