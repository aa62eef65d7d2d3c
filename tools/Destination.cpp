#include "tools/Destination.h"

#include "platform/Utf8.h"
#include "tools/Server.h"

#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>

namespace vidradb {

namespace {

// ------------------------------------------------------------------ file

class FileDestination final : public Destination
{
public:
    FileDestination(const QString& path, const FileIdentity& before,
                    const volatile std::sig_atomic_t& stop)
        : m_path(path), m_before(before), m_stop(stop), m_temp(path), m_db(m_temp.path())
    {
        m_db.stopOn(m_stop);
        // A brand-new file nobody else can see yet: no journal; it is synced
        // before it takes its name.
        m_db.exec(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; "
                                 "PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=-65536;"));
        m_db.exec(QStringLiteral("BEGIN"));
        m_indexes = m_db.execDeferringIndexes(vidra::subscriberTableDdl());
        m_db.prepareInsert();
    }

    void add(qint64, const RowData& data, const RowSizes& size) override
    {
        m_db.insertUtf8(data, size);
    }

    void commit() override
    {
        for (const QString& sql : m_indexes)
            m_db.exec(sql);
        m_db.exec(QStringLiteral("COMMIT"));
        m_db.close();
        if (m_stop) throw Failure{QStringLiteral("interrupted")};
        m_temp.moveTo(m_path, m_before);
    }

    QString shown() const override { return quoted(m_path); }

private:
    QString m_path;
    FileIdentity m_before;
    const volatile std::sig_atomic_t& m_stop;
    TempFile m_temp;
    Database m_db;
    QStringList m_indexes;
};

// ---------------------------------------------------------------- server

// The new table is built under this name and takes the directory's name at
// commit: the directory it replaces stays readable for the desks until then.
constexpr const char* kStaging = "vlasnici_vidra_db_new";

std::optional<size_t> codePoints(const char* p, size_t size)
{
    const char* end = p + size;
    size_t count = 0;
    char32_t cp = 0;
    while (p < end) {
        const int len = vidra::utf8::validSequence(p, end, cp);
        if (len == 0) return std::nullopt;
        p += len;
        ++count;
    }
    return count;
}

// A value in a message: at most a line's worth of it.
QString excerpt(const char* data, size_t size)
{
    QString text = QString::fromUtf8(data, qsizetype(std::min<size_t>(size, 256)));
    if (text.size() > 40 || size > 256) text = text.left(40) + QChar(0x2026);
    return quoted(text);
}

class ServerDestination final : public Destination
{
public:
    ServerDestination(const QString& uri, bool force, bool checkNumbers, const QString& source,
                      const volatile std::sig_atomic_t& stop)
        : m_server(uri), m_source(source), m_checkNumbers(checkNumbers), m_stop(stop)
    {
        run([&] {
            vidra::pg::Session& s = m_server.session();
            s.execScript(QStringLiteral("BEGIN"));
            // One vidra-db run at a time writes a schema's directory, so what
            // is found here still holds at commit.
            s.exec(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('vidra-db'), "
                                  "hashtext(current_schema()))"));
            const vidra::pg::Result schema =
                s.exec(QStringLiteral("SELECT quote_ident(current_schema())"));
            if (schema.isNull(0, 0))
                throw Failure{QStringLiteral("%1 has no schema to create the table in (see the "
                                             "search_path of the user)")
                                  .arg(m_server.shown())};
            m_schema = schema.text(0, 0);
            const vidra::pg::Result found = s.exec(
                QStringLiteral("SELECT c.relkind, c.oid FROM pg_class c JOIN pg_namespace n ON "
                               "n.oid = c.relnamespace WHERE n.nspname = current_schema() AND "
                               "c.relname = $1"),
                {QString::fromLatin1(vidra::kServerSubscriberTable)});
            if (found.rows() > 0) {
                const QString kind = found.text(0, 0);
                if (kind != u"r" && kind != u"p")
                    throw Failure{QStringLiteral("%1 holds something named %2 that is not a "
                                                 "table; it is never replaced")
                                      .arg(m_server.shown(), table())};
                if (!force)
                    throw Failure{QStringLiteral("%1 already holds a directory (table %2); use "
                                                 "--force to replace it")
                                      .arg(m_server.shown(), table())};
                m_replaced = found.text(0, 1);
            }
            s.execScript(vidra::serverTableDdl(qualified(QLatin1String(kStaging))));
            QStringList columns;
            for (const vidra::FieldDef& f : vidra::kSubscriberFields)
                columns << QString::fromLatin1(f.name).toLower();
            m_copy.emplace(s, QStringLiteral("COPY %1 (%2) FROM STDIN")
                                  .arg(qualified(QLatin1String(kStaging)), columns.join(u',')));
        });
    }

    void add(qint64 row, const RowData& data, const RowSizes& size) override
    {
        if (m_stop) throw Failure{QStringLiteral("interrupted")};
        if (!data[0]) refuse(row, data, size, QStringLiteral("it has no number (null)"));
        for (size_t i = 0; i < kRowValues; ++i) {
            if (!data[i]) continue;
            const vidra::FieldDef& f = vidra::kSubscriberFields[i];
            if (std::memchr(data[i], 0, size[i]))
                refuse(row, data, size,
                       QStringLiteral("%1 holds a NUL character, which a server cannot store")
                           .arg(QLatin1String(f.name)));
            const std::optional<size_t> n = codePoints(data[i], size[i]);
            if (!n)
                refuse(row, data, size,
                       QStringLiteral("%1 is not UTF-8 text").arg(QLatin1String(f.name)));
            if (f.size > 0 && *n > size_t(f.size))
                refuse(row, data, size,
                       QStringLiteral("%1 has %2 characters, the server's column holds %3")
                           .arg(QLatin1String(f.name))
                           .arg(*n)
                           .arg(f.size));
        }
        if (m_checkNumbers) {
            const auto [at, fresh] = m_numbers.try_emplace(std::string(data[0], size[0]), row);
            if (!fresh)
                throw Failure{QStringLiteral("rows %1 and %2 of %3 have the same number %4, which "
                                             "a server's table holds once; %5 was not changed")
                                  .arg(at->second)
                                  .arg(row)
                                  .arg(m_source, excerpt(data[0], size[0]), m_server.shown())};
        }
        m_line.clear();
        for (size_t i = 0; i < kRowValues; ++i) {
            if (i > 0) m_line += '\t';
            appendCopyValue(m_line, data[i], size[i]);
        }
        run([&] { m_copy->line(m_line.constData(), size_t(m_line.size())); });
    }

    void commit() override
    {
        run([&] {
            m_copy->finish();
            m_copy.reset();
            vidra::pg::Session& s = m_server.session();
            const QString staging = qualified(QLatin1String(kStaging));
            if (!m_replaced.isEmpty()) {
                // The desks keep reaching the directory: the rights granted on
                // the table it replaces, and its owner, pass to the new one.
                const vidra::pg::Result grants = s.exec(
                    QStringLiteral(
                        "SELECT a.privilege_type, a.is_grantable, CASE WHEN a.grantee = 0 THEN "
                        "'PUBLIC' ELSE quote_ident(pg_get_userbyid(a.grantee)) END FROM pg_class "
                        "c, aclexplode(c.relacl) a WHERE c.oid = $1::oid AND a.grantee <> "
                        "c.relowner"),
                    {m_replaced});
                for (int i = 0; i < grants.rows(); ++i)
                    s.execScript(QStringLiteral("GRANT %1 ON %2 TO %3%4")
                                     .arg(grants.text(i, 0), staging, grants.text(i, 2),
                                          grants.text(i, 1) == u"t"
                                              ? QStringLiteral(" WITH GRANT OPTION")
                                              : QString()));
                const vidra::pg::Result owner =
                    s.exec(QStringLiteral("SELECT quote_ident(pg_get_userbyid(relowner)), "
                                          "pg_get_userbyid(relowner) <> current_user FROM pg_class "
                                          "WHERE oid = $1::oid"),
                           {m_replaced});
                if (owner.rows() == 1 && owner.text(0, 1) == u"t")
                    s.execScript(QStringLiteral("ALTER TABLE %1 OWNER TO %2")
                                     .arg(staging, owner.text(0, 0)));
                s.execScript(QStringLiteral("DROP TABLE %1").arg(qualified(table())));
            }
            s.execScript(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(staging, table()));
            // The key's constraint and index are named after the table, as if
            // the table had been made under its own name.
            const QString key = table() + QStringLiteral("_pkey");
            const vidra::pg::Result constraint = s.exec(
                QStringLiteral("SELECT quote_ident(conname), conname = $2 FROM pg_constraint "
                               "WHERE conrelid = $1::regclass AND contype = 'p'"),
                {qualified(table()), key});
            if (constraint.rows() == 1 && constraint.text(0, 1) != u"t")
                s.execScript(QStringLiteral("ALTER TABLE %1 RENAME CONSTRAINT %2 TO %3")
                                 .arg(qualified(table()), constraint.text(0, 0), key));
            if (m_stop) throw Failure{QStringLiteral("interrupted")};
            s.execScript(QStringLiteral("COMMIT"));
        });
    }

    QString shown() const override { return m_server.shown(); }

private:
    static QString table() { return QString::fromLatin1(vidra::kServerSubscriberTable); }
    QString qualified(const QString& name) const { return m_schema + u'.' + name; }

    // The server's failures name the server; once stopped, any is the stop.
    template <class F> void run(F&& work)
    {
        try {
            work();
        } catch (const vidra::pg::PgError& e) {
            if (m_stop) throw Failure{QStringLiteral("interrupted")};
            throw Failure{QStringLiteral("%1: %2").arg(m_server.shown(), e.message())};
        }
    }

    [[noreturn]] void refuse(qint64 row, const RowData& data, const RowSizes& size,
                             const QString& why) const
    {
        const QString number = data[0] && size[0] > 0
                                   ? QStringLiteral(" (number %1)").arg(excerpt(data[0], size[0]))
                                   : QString();
        throw Failure{QStringLiteral("row %1 of %2%3 cannot go to a server: %4; %5 was not changed")
                          .arg(row)
                          .arg(m_source, number, why, m_server.shown())};
    }

    ServerSession m_server;
    QString m_source;
    bool m_checkNumbers;
    const volatile std::sig_atomic_t& m_stop;
    QString m_schema;
    QString m_replaced; // the oid of the table replaced at commit
    std::optional<vidra::pg::CopyIn> m_copy;
    std::unordered_map<std::string, qint64> m_numbers;
    QByteArray m_line;
};

} // namespace

std::unique_ptr<Destination> fileDestination(const QString& path, const FileIdentity& before,
                                             const volatile std::sig_atomic_t& stop)
{
    return std::make_unique<FileDestination>(path, before, stop);
}

std::unique_ptr<Destination> serverDestination(const QString& uri, bool force, bool checkNumbers,
                                               const QString& source,
                                               const volatile std::sig_atomic_t& stop)
{
    return std::make_unique<ServerDestination>(uri, force, checkNumbers, source, stop);
}

} // namespace vidradb
