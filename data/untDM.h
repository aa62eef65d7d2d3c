#pragma once
// The data module: the one owner of the database connection, the subscriber
// table, its data source and the duplicate-number query, for the whole run.
#include <QObject>
#include <QString>

namespace vidra {
class Connection;
class Table;
class DataSource;
class Query;
} // namespace vidra

class TDMVidra : public QObject
{
    Q_OBJECT
public:
    explicit TDMVidra(QObject* parent = nullptr);
    ~TDMVidra() override;

    vidra::Connection* VidraConnect;
    vidra::Table* Imenik;
    vidra::DataSource* dsImenik;
    vidra::Query* CheckBroj;

    // The path last passed to ConnectToDatabase, whether it opened or not.
    const QString& DbPath() const { return m_dbPath; }
    // DbPath as it may be written down or shown: a server URI without its
    // password, a file path with bytes that are not text as U+FFFD.
    QString DbPathShown() const;
    // DbPath as the settings file keeps it: a file path unchanged, a server
    // URI without its password.
    QString DbPathSaved() const;

    // Connects to the file at path, opens Imenik and writes the subscriber
    // count into the main window's status bar. Any failure is shown as
    // "Greska u povezivanju na bazu." and leaves the status bar as it was.
    void ConnectToDatabase(const QString& path);

    // The connection text for a file. The path is quoted so that any file
    // name opens, semicolons and quotes included.
    static QString ConnectionTextFor(const QString& path);

    // The record rules on Imenik's events: required fields and a unique
    // number before a post, the note panel after it, a question before a delete.
    void ImenikBeforePost();
    void ImenikAfterPost();
    void ImenikBeforeDelete();
    // The two before-post rules on Imenik's pending row; each raises the
    // rule's message.
    void ValidateEditorFields();
    void CheckUniqueNumber();

signals:
    // A connect read the table: the count for the main window's status bar.
    void subscriberCountRead(int count);
    // A row was saved: the main window's note panel follows its note.
    void recordPosted();

private:
    QString m_dbPath;
};

extern TDMVidra* DMVidra;
