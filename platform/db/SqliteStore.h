#pragma once
// The store of one SQLite directory file, opened as untrusted input; or of an
// Access file of the program's earlier years, read through the legacy reader
// into an in-memory SQLite database and never written. For platform/db only.
#include "platform/db/Store.h"

#include <QByteArray>
#include <QString>
#include <memory>

struct sqlite3;

namespace vidra {

class Connection;

namespace legacy {
struct JetHeader;
}

class SqliteStore final : public Store
{
public:
    // Raises DbError with the engine's message; a missing file is never
    // created. readOnly: open for reading only, whatever the file allows.
    static std::unique_ptr<SqliteStore> open(const QString& fileName, bool readOnly,
                                             int busyTimeoutMs);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    sqlite3* handle() const { return m_db; }

    bool isReadOnly() const override { return m_readOnly; }
    bool isLegacy() const override { return m_legacy; }
    // The path no longer names the file that was opened (another file
    // renamed over it, as an import with --force does, or the file removed):
    // the connection would read the old file and could not write it. Nothing
    // for a legacy file, which is read anew by name.
    void checkUnchanged() const override;
    void setBusyTimeout(int ms) override;

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
    SqliteStore() = default;
    void openLegacy(const QString& fileName, const legacy::JetHeader& header, qint64 size);
    // Reads a legacy file's table into memory, replacing what an earlier
    // read brought; it is then loaded like any other.
    void loadLegacyTable(const QString& table, const QStringList& columns);

    sqlite3* m_db = nullptr;
    QString m_fileName;
    QByteArray m_absolutePath; // as opened, so a later change of folder does not matter
    quint64 m_device = 0;
    quint64 m_inode = 0;
    bool m_readOnly = false;
    bool m_legacy = false;
};

// The SQLite handle under an open connection on a file, for checks that need
// SQLite itself; nullptr when the connection is closed or on a server.
sqlite3* sqliteHandle(const Connection& connection);

} // namespace vidra
