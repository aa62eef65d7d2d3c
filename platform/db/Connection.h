#pragma once
// A connection to one directory file, opened from a connection text of
// "key=value;" pairs. The only provider known is the file-database one; its
// data source is the path of an SQLite file, opened as untrusted input.
#include <QObject>
#include <QString>
#include <QStringList>
#include <map>

struct sqlite3;

namespace vidra {

namespace legacy {
struct JetHeader;
}

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

    // Raise DbError with the engine's message; a missing file is never created.
    void open();
    // Closes every table and query on this connection first.
    void close();
    bool isOpen() const { return m_db != nullptr; }
    // True when the file could be opened for reading only.
    bool isReadOnly() const { return m_readOnly; }
    // An Access file of the program's earlier years: read through the legacy
    // reader into memory, and never written.
    bool isLegacy() const { return m_legacy; }
    // Reads a legacy file's table into this connection's memory, replacing
    // what an earlier read brought; tables then open it like any other.
    void loadLegacyTable(const QString& table, const QStringList& columns);
    const QString& fileName() const { return m_fileName; }
    // Raises DbError when the path no longer names the file that was opened
    // (another file renamed over it, as an import with --force does, or the
    // file removed): the connection would read the old file and could not
    // write it. Nothing for a legacy file, which is read anew by name.
    void checkFileUnchanged() const;

    // How long a write waits for another process's lock before it fails.
    void setBusyTimeout(int ms);
    int busyTimeout() const { return m_busyTimeoutMs; }

    sqlite3* handle() const { return m_db; }

    // Encloses a value in double quotes (inner quotes doubled), so that any
    // text, semicolons included, survives as one value of a connection text.
    static QString quoteValue(const QString& value);
    // Keys are lower-cased; raises DbError on a malformed text.
    static std::map<QString, QString> parseConnectionText(const QString& text);

signals:
    void closing();

private:
    void openLegacy(const QString& fileName, const legacy::JetHeader& header, qint64 size);

    QString m_text;
    QString m_fileName;
    QByteArray m_absolutePath; // as opened, so a later change of folder does not matter
    quint64 m_device = 0;
    quint64 m_inode = 0;
    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    bool m_legacy = false;
    int m_busyTimeoutMs = kDefaultBusyTimeoutMs;
};

} // namespace vidra
