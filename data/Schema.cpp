#include "data/Schema.h"

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

} // namespace vidra
