#include "data/Schema.h"

#include <QStringList>

namespace vidra {

QString subscriberTableDdl()
{
    // TEXT affinity on every column: a number such as 0123 must stay text.
    // The index serves the duplicate-number count; uniqueness itself is a rule of the program.
    return QStringLiteral("CREATE TABLE Vlasnici (\n"
                          "  Telefon VARCHAR(16),\n"
                          "  Vlasnik VARCHAR(50),\n"
                          "  Adresa VARCHAR(50),\n"
                          "  Mesto VARCHAR(16),\n"
                          "  Napomena TEXT\n"
                          ");\n"
                          "CREATE INDEX ixVlasniciTelefon ON Vlasnici (Telefon);\n");
}

QString serverTableDdl(const QString& table)
{
    // The server holds each number once, where a file leaves that to the program.
    QStringList columns;
    for (const FieldDef& f : kSubscriberFields) {
        QString column = QString::fromLatin1(f.name).toLower();
        column += f.size > 0 ? QStringLiteral(" varchar(%1)").arg(f.size) : QStringLiteral(" text");
        if (columns.isEmpty()) column += QStringLiteral(" PRIMARY KEY");
        columns << column;
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table, columns.join(QStringLiteral(", ")));
}

} // namespace vidra
