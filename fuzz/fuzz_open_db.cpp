// Opening a directory file made of arbitrary bytes, then what the program does
// with it: browse every row, filter, look a number up, count duplicates, add,
// change and remove a row, read the file again. A refusal with a message is
// fine; a crash, a sanitizer report or a hang is not.
#include "FuzzScratch.h"
#include "data/Schema.h"
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"

#include <QString>
#include <QVariant>
#include <algorithm>
#include <cstdint>
#include <string>
#include <unistd.h>

namespace {

// Each step on its own: a refused step must leave the rest usable.
template <typename F> void attempt(F&& step)
{
    try {
        step();
    } catch (const vidra::Error&) {
    }
}

// Reads every visible cell, positionally and through the cursor.
size_t browse(vidra::Table& t)
{
    size_t total = 0;
    const int rows = std::min(t.VisibleRowCount(), 500);
    for (int r = 0; r < rows; ++r)
        for (int f = 0; f < t.FieldCount(); ++f)
            total += size_t(t.DisplayText(r, f).size());
    t.First();
    for (int steps = 0; !t.Eof() && steps < 500; ++steps) {
        for (int f = 0; f < t.FieldCount(); ++f)
            total += size_t(t.Fields(f).AsString().size());
        t.Next();
    }
    t.Last();
    t.MoveBy(-3);
    return total;
}

QString connectionTextFor(const QString& path)
{
    return QStringLiteral("Provider=") + QString::fromLatin1(vidra::Connection::kProvider) +
           QStringLiteral(";Data Source=") + vidra::Connection::quoteValue(path) +
           QStringLiteral(";Persist Security Info=False");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzsupport::scratchDir() + "/data.mdb";
    for (const char* extra : {"", "-journal", "-wal", "-shm"})
        ::unlink((path + extra).c_str());
    fuzzsupport::writeFile(path, data, size);

    vidra::Connection con;
    con.setConnectionText(connectionTextFor(QString::fromStdString(path)));
    // Nothing else uses the file; a lock that is never released must not stall a run.
    con.setBusyTimeout(50);
    vidra::Table t(QStringLiteral("Imenik"));
    t.SetConnection(&con);
    t.SetTableName(QString::fromLatin1(vidra::kSubscriberTable));
    t.DeclareFields(vidra::kSubscriberFields.data(),
                    vidra::kSubscriberFields.data() + vidra::kSubscriberFields.size());
    try {
        con.open();
        t.Open();
    } catch (const vidra::Error&) {
        return 0;
    }

    volatile size_t sink = 0;
    attempt([&] { sink = sink + browse(t); });
    for (const char* filter :
         {"Vlasnik LIKE 'm*'", "Vlasnik LIKE 'marković mil*'",
          "Telefon LIKE '011*' AND Mesto LIKE 'k*'", "Adresa LIKE '*a*' OR Napomena = ''",
          "Mesto >= 'B' AND Mesto < 'L'", ""}) {
        attempt([&] {
            t.SetFilter(QString::fromUtf8(filter));
            t.SetFiltered(true);
            sink = sink + browse(t);
        });
    }
    attempt([&] { t.SetFiltered(false); });
    attempt([&] { t.Locate(QStringLiteral("Telefon"), QStringLiteral("011/111-111")); });
    attempt([&] { t.Locate(QStringLiteral("Napomena"), QVariant()); });

    // The duplicate-number check, as the editor runs it before a post.
    attempt([&] {
        vidra::Query q(QStringLiteral("CheckBroj"));
        q.SetConnection(&con);
        q.SetSQL({QStringLiteral("SELECT COUNT(*) "), QStringLiteral("FROM VLASNICI "),
                  QStringLiteral("WHERE TELEFON=NewTel")});
        q.AddParameter(QStringLiteral("NewTel"));
        q.SetParameter(QStringLiteral("NewTel"), QStringLiteral("011/111-111"));
        q.Open();
        sink = sink + size_t(q.AsInteger(0));
        q.Close();
    });

    if (t.CanModify()) {
        attempt([&] {
            t.Insert();
            t.FieldByName(QStringLiteral("Telefon")).SetValue(QStringLiteral("099/999-999"));
            t.FieldByName(QStringLiteral("Vlasnik")).SetValue(QStringLiteral("Đurić Šimo"));
            t.FieldByName(QStringLiteral("Napomena")).SetValue(QString());
            t.Post();
        });
        attempt([&] { t.Cancel(); });
        attempt([&] {
            t.Edit();
            t.FieldByName(QStringLiteral("Mesto")).SetValue(QStringLiteral("Kostelin"));
            t.Post();
        });
        attempt([&] { t.Cancel(); });
        attempt([&] { t.Delete(); });
        attempt([&] {
            t.First();
            t.Delete();
        });
        attempt([&] {
            t.Requery();
            sink = sink + browse(t);
        });
    }
    attempt([&] { t.Close(); });
    con.close();
    return 0;
}
