#pragma once
// The subscriber that the test writer saves as row number n. Both the writer
// and the tests that check its file derive every value from n alone, so a row
// is either exactly this or a fault. Some values are null, some empty text,
// some notes are long enough to spill over several pages of the file.
#include "support/TempDir.h"

#include <QString>

namespace testsupport {

inline QString writerTelefon(int n)
{
    return QStringLiteral("0%1").arg(n, 8, 10, QLatin1Char('0'));
}

inline Row writerRow(int n)
{
    Row r;
    r.telefon = writerTelefon(n);
    r.vlasnik = QStringLiteral("ĐORĐEVIĆ ŽARKO %1").arg(n);
    r.adresa = QStringLiteral("KNEZA MILOŠA %1").arg(n);
    switch (n % 3) {
    case 0:
        break; // null
    case 1:
        r.mesto = QStringLiteral("");
        break;
    default:
        r.mesto = QStringLiteral("KOSTELIN");
    }
    if (n % 4 != 0) {
        const QString piece = QStringLiteral("beleška %1; ").arg(n);
        const int length = (n * 37) % 9000;
        QString note;
        note.reserve(length + piece.size());
        while (note.size() < length)
            note += piece;
        note.truncate(length);
        r.napomena = note.isNull() ? QStringLiteral("") : note;
    }
    return r;
}

} // namespace testsupport
