#pragma once
// The store of a directory on a PostgreSQL server, reached through the one
// libpq session of PgClient. Names are sent as the server folds unquoted
// ones (PgSql.h), so the program's "Vlasnici" and "Telefon" are the server's
// vlasnici and telefon. For platform/db only.
//
// A server row has no row id: a write finds its row by the values it was
// read with, through the table's key (its primary key, or a unique index of
// columns that are never null) when it has one. Every save and delete is one
// server transaction that first locks the table against other writers (SHARE
// ROW EXCLUSIVE), as an SQLite file's BEGIN IMMEDIATE does: what the record
// rules count inside it still holds when the row is written.
//
// A lost connection fails the operation under way with libpq's message and
// nothing written; the next load, write or query reconnects first.
#include "platform/db/Store.h"

#include <QString>
#include <map>
#include <memory>
#include <vector>

namespace vidra {

namespace pg {
class Session;
}

class PgStore final : public Store
{
public:
    // Raises PgError (a DbError) with libpq's message when the server cannot
    // be reached or refuses the login.
    static std::unique_ptr<PgStore> open(const QString& uri, bool readOnly, int busyTimeoutMs);
    ~PgStore() override;
    PgStore(const PgStore&) = delete;
    PgStore& operator=(const PgStore&) = delete;

    bool isReadOnly() const override { return m_readOnly; }
    void setBusyTimeout(int ms) override { m_busyTimeoutMs = ms; }

    Snapshot load(const QString& table, const QStringList& fields) override;
    std::unique_ptr<StoreWrite> beginWrite(const QString& table) override;
    int64_t insertRow(const QString& table, const QStringList& fields,
                      const RowValues& values) override;
    void updateRow(const QString& table, const QStringList& fields, const Snapshot& snap,
                   size_t row, const std::vector<int>& changed, const RowValues& values) override;
    void deleteRow(const QString& table, const QStringList& fields, const Snapshot& snap,
                   size_t row) override;
    QString placeholder(int n) const override;
    QueryResult query(const QString& sql, const std::vector<QVariant>& params) override;

private:
    friend class PgWrite;

    // What a load learnt of a table.
    struct TableInfo
    {
        double estimatedRows = 0;
        std::vector<int> key; // fields that find one row; empty: every field
        QString notWritable;
    };
    enum class Found
    {
        Same,
        Gone,
        Changed
    };

    explicit PgStore(std::unique_ptr<pg::Session> session);
    // Re-establishes a lost link before an operation, never inside a write.
    void ensureConnected();
    const TableInfo& describe(const QString& table, const QStringList& fields);
    const TableInfo& infoOf(const QString& table, const QStringList& fields);
    // The row as it was read, locked; its ctid in *ctid when Same.
    Found findAsRead(const QString& table, const QStringList& fields, const Snapshot& snap,
                     size_t row, QString* ctid);
    void rollback() noexcept;

    std::unique_ptr<pg::Session> m_session;
    std::map<QString, TableInfo> m_tables; // by the program's name
    bool m_readOnly = false;
    int m_busyTimeoutMs = 0;
    bool m_inWrite = false;
};

} // namespace vidra
