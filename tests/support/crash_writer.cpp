// A second process for the tests: it works on a directory file through the
// program's own engine, the way another operator's copy of the program would.
//
//   crash_writer post FILE      saves subscribers one after another, numbered on
//                               from the highest number in the file; prints
//                               "ready N" once open, then each number only after
//                               its save has returned
//   crash_writer operator FILE  answers one command a line on stdin:
//                               add N | desk N | delete TELEFON |
//                               set TELEFON FIELD VALUE | count | lock | unlock |
//                               lockfor MS | quit; "desk N" adds under the
//                               duplicate-number rule, as the program does;
//                               FILE may be a server's URI too, which takes
//                               every command but the three about the lock
//   crash_writer probe FILE     opens the file, tries one save, reports both
//
// Every reply is one line on stdout, flushed at once.
#include "data/RecordRules.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "support/WriterRows.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <thread>

namespace {

void say(const QString& line)
{
    const QByteArray b = line.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fflush(stdout);
}

struct Operator
{
    vidra::Connection conn;
    vidra::Table table{QStringLiteral("Imenik")};
    vidra::Query checkBroj{QStringLiteral("CheckBroj")};
    bool rules = false; // the duplicate-number rule before each post

    explicit Operator(const QString& file)
    {
        conn.setConnectionText(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               vidra::Connection::quoteValue(file));
        conn.open();
        table.SetConnection(&conn);
        table.SetTableName(QString::fromLatin1(vidra::kSubscriberTable));
        table.DeclareFields(vidra::kSubscriberFields.begin(), vidra::kSubscriberFields.end());
        vidra::rules::declareNumberCount(checkBroj, &conn);
        table.BeforePost = [this](vidra::Table& t) {
            if (rules) vidra::rules::checkUniqueNumber(t, checkBroj);
        };
        table.Open();
    }

    void post(int n)
    {
        const testsupport::Row r = testsupport::writerRow(n);
        table.Insert();
        table.FieldByName("Telefon").SetValue(r.telefon);
        table.FieldByName("Vlasnik").SetValue(r.vlasnik);
        table.FieldByName("Adresa").SetValue(r.adresa);
        table.FieldByName("Mesto").SetValue(r.mesto.isNull() ? QVariant() : QVariant(r.mesto));
        table.FieldByName("Napomena")
            .SetValue(r.napomena.isNull() ? QVariant() : QVariant(r.napomena));
        table.Post();
    }

    // Rows are appended, so the last one carries the highest number.
    int nextNumber()
    {
        if (table.IsEmpty()) return 0;
        table.Last();
        return table.FieldByName("Telefon").AsString().toInt() + 1;
    }
};

int runPost(const QString& file)
{
    Operator op(file);
    int n = op.nextNumber();
    say(QStringLiteral("ready %1").arg(n));
    // A bound, in case nobody stops us.
    for (const int end = n + 1000000; n < end; ++n) {
        op.post(n);
        say(QString::number(n));
    }
    return 0;
}

class Lock
{
public:
    explicit Lock(const QString& file)
    {
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, SQLITE_OPEN_READWRITE,
                            nullptr) != SQLITE_OK)
            throw vidra::Error(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
    ~Lock() { sqlite3_close(m_db); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void exec(const char* sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw vidra::Error(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }

private:
    sqlite3* m_db = nullptr;
};

int runOperator(const QString& file)
{
    Operator op(file);
    // Opened at the first lock command: a server has no file to lock.
    std::unique_ptr<Lock> lock;
    const auto fileLock = [&]() -> Lock& {
        if (!lock) lock = std::make_unique<Lock>(file);
        return *lock;
    };
    say(QStringLiteral("ready"));
    std::string raw;
    while (std::getline(std::cin, raw)) {
        const QString line = QString::fromUtf8(raw.c_str()).trimmed();
        const QString cmd = line.section(u' ', 0, 0);
        const QString arg = line.section(u' ', 1, 1);
        try {
            if (cmd == u"quit") {
                say(QStringLiteral("bye"));
                return 0;
            } else if (cmd == u"add" || cmd == u"desk") {
                op.table.Requery();
                op.rules = cmd == u"desk";
                op.post(arg.toInt());
                say(QStringLiteral("ok"));
            } else if (cmd == u"delete") {
                op.table.Requery();
                if (!op.table.Locate("Telefon", arg)) {
                    say(QStringLiteral("missing"));
                    continue;
                }
                op.table.Delete();
                say(QStringLiteral("ok"));
            } else if (cmd == u"set") {
                op.table.Requery();
                if (!op.table.Locate("Telefon", arg)) {
                    say(QStringLiteral("missing"));
                    continue;
                }
                op.table.Edit();
                op.table.FieldByName(line.section(u' ', 2, 2)).SetValue(line.section(u' ', 3));
                op.table.Post();
                say(QStringLiteral("ok"));
            } else if (cmd == u"count") {
                op.table.Requery();
                say(QString::number(op.table.RecordCount()));
            } else if (cmd == u"lock") {
                fileLock().exec("BEGIN EXCLUSIVE");
                say(QStringLiteral("locked"));
            } else if (cmd == u"unlock") {
                fileLock().exec("COMMIT");
                say(QStringLiteral("unlocked"));
            } else if (cmd == u"lockfor") {
                fileLock().exec("BEGIN EXCLUSIVE");
                say(QStringLiteral("locked"));
                std::this_thread::sleep_for(std::chrono::milliseconds(arg.toInt()));
                fileLock().exec("COMMIT");
                say(QStringLiteral("unlocked"));
            } else {
                say(QStringLiteral("error unknown command"));
            }
        } catch (const vidra::Error& e) {
            if (op.table.State() != vidra::DatasetState::Browse &&
                op.table.State() != vidra::DatasetState::Inactive)
                op.table.Cancel();
            say(QStringLiteral("error ") + e.message());
        }
    }
    return 0;
}

int runProbe(const QString& file)
{
    std::unique_ptr<Operator> op;
    try {
        op = std::make_unique<Operator>(file);
    } catch (const vidra::Error& e) {
        say(QStringLiteral("open error ") + e.message());
        return 0;
    }
    say(QStringLiteral("open rows=%1 readonly=%2 canmodify=%3")
            .arg(op->table.RecordCount())
            .arg(int(op->conn.isReadOnly()))
            .arg(int(op->table.CanModify())));
    try {
        op->post(op->nextNumber());
        say(QStringLiteral("post ok"));
    } catch (const vidra::Error& e) {
        say(QStringLiteral("post error ") + e.message());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: crash_writer post|operator|probe FILE\n");
        return 2;
    }
    const std::string mode = argv[1];
    const QString file = QFile::decodeName(argv[2]);
    try {
        if (mode == "post") return runPost(file);
        if (mode == "operator") return runOperator(file);
        if (mode == "probe") return runProbe(file);
    } catch (const vidra::Error& e) {
        std::fprintf(stderr, "crash_writer: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "crash_writer: unknown mode %s\n", mode.c_str());
    return 2;
}
