#pragma once
// A connection to one directory, opened from a connection text of
// "key=value;" pairs. The only provider known is the file-database one; its
// data source is either the path of an SQLite file, opened as untrusted
// input, or the URI of a PostgreSQL server (postgresql://...). The store
// behind it (Store.h) is chosen by the data source; tables and queries work
// the same on either.
#include <QObject>
#include <QString>
#include <map>
#include <memory>

namespace vidra {

class Store;

class Connection : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kProvider = "Microsoft.Jet.OLEDB.4.0";
    static constexpr int kDefaultBusyTimeoutMs = 3000;

    explicit Connection(QObject* parent = nullptr);
    ~Connection() override;

    void setConnectionText(const QString& text);
    const QString& connectionText() const { return m_text; }

    // Raise DbError with the engine's message: a missing file is never
    // created, and an unreachable server or a refused login fails alike.
    void open();
    // Closes every table and query on this connection first.
    void close();
    bool isOpen() const { return m_store != nullptr; }
    // True when nothing may be written: a file that could be opened for
    // reading only, a server that only reads, or "Mode=Read".
    bool isReadOnly() const;
    // An Access file of the program's earlier years: read through the legacy
    // reader into memory, and never written.
    bool isLegacy() const;
    // The data source as given: a file's path or a server's URI.
    const QString& fileName() const { return m_fileName; }
    // Raises DbError when the path no longer names the file that was opened
    // (another file renamed over it, as an import with --force does, or the
    // file removed): the connection would read the old file and could not
    // write it. Nothing for a legacy file, which is read anew by name, nor
    // for a server.
    void checkFileUnchanged() const;

    // How long a write waits for another desk's lock before it fails.
    void setBusyTimeout(int ms);
    int busyTimeout() const { return m_busyTimeoutMs; }

    // The store under the tables while open; for the engine's own classes.
    Store* store() const { return m_store.get(); }

    // Encloses a value in double quotes (inner quotes doubled), so that any
    // text, semicolons included, survives as one value of a connection text.
    static QString quoteValue(const QString& value);
    // Keys are lower-cased; raises DbError on a malformed text.
    static std::map<QString, QString> parseConnectionText(const QString& text);

signals:
    void closing();

private:
    QString m_text;
    QString m_fileName;
    std::unique_ptr<Store> m_store;
    int m_busyTimeoutMs = kDefaultBusyTimeoutMs;
};

} // namespace vidra
