#include "support/TempDir.h"

#include "data/Schema.h"

#include <QFile>
#include <sqlite3.h>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir()
{
    if (!m_dir.isValid()) throw std::runtime_error("cannot create a temporary folder");
}

QString TempDir::path(const QString& name) const
{
    return m_dir.filePath(name);
}

QString TempDir::write(const QString& name, const QByteArray& bytes) const
{
    const QString p = path(name);
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + p.toStdString());
    return p;
}

QByteArray TempDir::read(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

namespace {
struct Db
{
    sqlite3* db = nullptr;
    explicit Db(const QString& path)
    {
        if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path.toStdString());
    }
    ~Db() { sqlite3_close(db); }
    void exec(const QString& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string m = err ? err : "error";
            sqlite3_free(err);
            throw std::runtime_error(m);
        }
    }
};
void bindText(sqlite3_stmt* st, int i, const QString& s)
{
    if (s.isNull())
        sqlite3_bind_null(st, i);
    else {
        const QByteArray b = s.toUtf8();
        sqlite3_bind_text(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
}
} // namespace

void createDirectoryFile(const QString& path, const std::vector<Row>& rows)
{
    QFile::remove(path);
    Db db(path);
    db.exec(vidra::subscriberTableDdl());
    db.exec("BEGIN");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db.db, "INSERT INTO Vlasnici VALUES (?,?,?,?,?)", -1, &st, nullptr);
    for (const Row& r : rows) {
        bindText(st, 1, r.telefon);
        bindText(st, 2, r.vlasnik);
        bindText(st, 3, r.adresa);
        bindText(st, 4, r.mesto);
        bindText(st, 5, r.napomena);
        if (sqlite3_step(st) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db.db));
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    db.exec("COMMIT");
}

void execSql(const QString& path, const QString& sql)
{
    Db db(path);
    db.exec(sql);
}

QStringList selectColumn(const QString& path, const QString& sql)
{
    Db db(path);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    QStringList out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_type(st, 0) == SQLITE_NULL)
            out << QString();
        else
            out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                                     sqlite3_column_bytes(st, 0));
    }
    sqlite3_finalize(st);
    return out;
}

QByteArray utf16(const QString& text, bool bigEndian)
{
    QByteArray out;
    for (QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

} // namespace testsupport
