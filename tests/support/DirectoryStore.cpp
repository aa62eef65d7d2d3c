#include "support/DirectoryStore.h"

#include "platform/db/Connection.h"
#include "platform/db/PgClient.h"
#include "support/PgScratch.h"

#include <optional>
#include <stdexcept>

namespace testsupport {

void PrintTo(StoreKind kind, std::ostream* os)
{
    *os << (kind == StoreKind::File ? "File" : "Server");
}

std::string storeName(const ::testing::TestParamInfo<StoreKind>& info)
{
    return info.param == StoreKind::File ? "File" : "Server";
}

DirectoryStore::DirectoryStore(StoreKind kind) : m_kind(kind)
{
    if (kind == StoreKind::File) {
        m_dir = std::make_unique<TempDir>();
        return;
    }
    m_scratch = std::make_unique<PgScratch>();
    if (!m_scratch->ok()) return;
    try {
        m_session = std::make_unique<vidra::pg::Session>(m_scratch->uri());
        // A row the engine holds locked fails the other desk's change, as a
        // locked file does, rather than hanging the test.
        m_session->execScript(QStringLiteral("SET lock_timeout = '5s'"));
    } catch (const vidra::Error& e) {
        ADD_FAILURE() << "the scratch schema is not reachable: " << e.message().toStdString();
    }
}

// The session goes before the scratch schema is dropped.
DirectoryStore::~DirectoryStore()
{
    m_session.reset();
}

bool DirectoryStore::ok() const
{
    return m_kind == StoreKind::File || m_session != nullptr;
}

vidra::pg::Session& DirectoryStore::server() const
{
    if (!m_session) throw std::runtime_error("no test server holds the directory");
    return *m_session;
}

namespace {
std::optional<QString> param(const QString& value)
{
    return value.isNull() ? std::nullopt : std::optional<QString>(value);
}
} // namespace

QString DirectoryStore::create(const std::vector<Row>& rows)
{
    if (m_kind == StoreKind::File) {
        m_dataSource = m_dir->path(QStringLiteral("data.mdb"));
        createDirectoryFile(m_dataSource, rows);
        return m_dataSource;
    }
    server().execScript(QStringLiteral(
        "DROP TABLE IF EXISTS vlasnici; "
        "CREATE TABLE vlasnici (telefon varchar(16) PRIMARY KEY, vlasnik varchar(50), "
        "adresa varchar(50), mesto varchar(16), napomena text)"));
    server().execScript(QStringLiteral("BEGIN"));
    for (const Row& r : rows)
        server().exec(QStringLiteral("INSERT INTO vlasnici VALUES ($1, $2, $3, $4, $5)"),
                      {param(r.telefon), param(r.vlasnik), param(r.adresa), param(r.mesto),
                       param(r.napomena)});
    server().execScript(QStringLiteral("COMMIT"));
    m_dataSource = m_scratch->uri();
    return m_dataSource;
}

QString DirectoryStore::connectionText() const
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
           vidra::Connection::quoteValue(m_dataSource) +
           QStringLiteral(";Persist Security Info=False");
}

void DirectoryStore::exec(const QString& sql) const
{
    if (m_kind == StoreKind::File)
        execSql(m_dataSource, sql);
    else
        server().execScript(sql);
}

QStringList DirectoryStore::select(const QString& sql) const
{
    if (m_kind == StoreKind::File) return selectColumn(m_dataSource, sql);
    const vidra::pg::Result r = server().exec(sql);
    QStringList values;
    for (int i = 0; i < r.rows(); ++i)
        values << r.text(i, 0);
    return values;
}

QStringList DirectoryStore::column(const QString& name) const
{
    return select(
        m_kind == StoreKind::File
            ? QStringLiteral("SELECT %1 FROM Vlasnici ORDER BY rowid").arg(name)
            : QStringLiteral("SELECT %1 FROM vlasnici ORDER BY telefon COLLATE \"C\"").arg(name));
}

} // namespace testsupport
