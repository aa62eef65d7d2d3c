#pragma once
// A scratch folder per test, removed afterwards, with small file helpers.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class TempDir
{
public:
    TempDir();
    QString path(const QString& name) const;
    // Writes bytes to a file in the folder and returns its path.
    QString write(const QString& name, const QByteArray& bytes) const;
    static QByteArray read(const QString& path);

private:
    QTemporaryDir m_dir;
};

// Creates a directory file holding the given rows (5 nullable values each;
// a null QString() is stored as null).
struct Row
{
    QString telefon, vlasnik, adresa, mesto, napomena;
};
void createDirectoryFile(const QString& path, const std::vector<Row>& rows);
// Runs statements on a file with the plain SQLite library (bypassing the engine).
void execSql(const QString& path, const QString& sql);
// Reads one column of all rows, in rowid order, with the plain SQLite library.
QStringList selectColumn(const QString& path, const QString& sql);
// A text's UTF-16 code units, little- or big-endian, without a byte-order mark.
QByteArray utf16(const QString& text, bool bigEndian);

} // namespace testsupport
