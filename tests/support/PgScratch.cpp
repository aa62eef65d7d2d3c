#include "support/PgScratch.h"

#include "platform/db/PgClient.h"

#include <QUuid>
#include <gtest/gtest.h>

namespace testsupport {

QString testServerUri()
{
    return qEnvironmentVariable("VIDRA_TEST_PG_URI");
}

PgScratch::PgScratch()
{
    const QString server = testServerUri();
    if (server.isEmpty()) {
        ADD_FAILURE() << "VIDRA_TEST_PG_URI is not set: run the tests through scripts/test.sh, "
                         "which starts a PostgreSQL server for them";
        return;
    }
    m_schema = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
    m_uri = server + (server.contains(u'?') ? u'&' : u'?') +
            QStringLiteral("options=-csearch_path%3D") + m_schema;
    try {
        vidra::pg::Session(server).execScript(QStringLiteral("CREATE SCHEMA %1").arg(m_schema));
        // Through the schema's own URI, so that a link made anew (after a
        // test stopped the server) still reaches the schema.
        m_session = std::make_unique<vidra::pg::Session>(m_uri);
    } catch (const vidra::Error& e) {
        ADD_FAILURE() << "the test server " << server.toStdString()
                      << " is not reachable: " << e.message().toStdString();
    }
}

PgScratch::~PgScratch()
{
    if (!m_session) return;
    try {
        if (!m_session->isOk()) m_session->reconnect();
        m_session->execScript(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(m_schema));
    } catch (const vidra::Error&) {
        // A server stopped by the test itself: the cluster goes with the run.
    }
}

// A test may have restarted the server under the scratch's own link: a
// statement that finds the link lost is tried once more on a new one.
template <class Run> static auto onceMore(vidra::pg::Session& session, Run run)
{
    try {
        return run();
    } catch (const vidra::pg::PgError& e) {
        if (!e.connectionLost()) throw;
        session.reconnect();
        return run();
    }
}

void PgScratch::exec(const QString& sql) const
{
    onceMore(*m_session, [&] { m_session->execScript(sql); });
}

QStringList PgScratch::column(const QString& sql) const
{
    const vidra::pg::Result r = onceMore(*m_session, [&] { return m_session->exec(sql); });
    QStringList values;
    for (int i = 0; i < r.rows(); ++i)
        values << (r.isNull(i, 0) ? QStringLiteral("<null>") : r.text(i, 0));
    return values;
}

} // namespace testsupport
