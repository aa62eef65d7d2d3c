#pragma once
// Access files damaged in one known way, made at test time from the
// licence-clean fixtures: each is a copy that once made the reader misbehave.
#include "support/LegacyFixtures.h"

#include <QByteArray>
#include <stdexcept>

namespace testsupport {

namespace damaged {

// Sets one byte, after checking that the fixture is the one expected.
inline QByteArray setByte(QByteArray file, qsizetype at, char was, char value)
{
    if (file.size() <= at || file.at(at) != was)
        throw std::runtime_error("the fixture is not the one expected");
    file[at] = value;
    return file;
}

} // namespace damaged

// compIndexTestV1997.mdb (Access 97) with the length of the first record
// of a block of object properties (on its long-value page) set to 0: the
// library, reading the list of tables, steps on that record for ever and
// allocates a little at each step, without a word on its error output.
inline QByteArray accessEatingMemory()
{
    return damaged::setByte(accessFixture("compIndexTestV1997.mdb"), 0xA62F, 9, 0);
}

// The Access 2000 directory of cleanAccessDirectory() (table Vlasnici) with
// the same damage to one of its property records.
inline QByteArray accessDirectoryEatingMemory()
{
    return damaged::setByte(cleanAccessDirectory(), 0x219AB, 9, 0);
}

// compIndexTestV1997.mdb with its Table1 recording 60 000 rows instead of
// 512: fewer bytes than the file has, far more rows than its pages hold.
inline QByteArray accessRecordingTooManyRows()
{
    QByteArray b = accessFixture("compIndexTestV1997.mdb");
    // The table's definition is page 29; its row count sits at offset 12.
    b = damaged::setByte(b, 0xE80C, 0x00, char(60000 & 0xFF));
    return damaged::setByte(b, 0xE80D, 0x02, char(60000 >> 8));
}

// compIndexTestV1997.mdb with the size of Table1's text column RS_AGENTE
// (55) made 2 in the table's definition: every "abc" is longer than that.
inline QByteArray accessWithTextLongerThanItsColumn()
{
    return damaged::setByte(accessFixture("compIndexTestV1997.mdb"), 0xE855, 0x37, 0x02);
}

// cleanAccessDirectory() with one byte of a catalog page changed: every row
// reads as before, but the library says on its error output that it met a
// damaged row.
inline QByteArray accessDirectoryTheLibraryComplainsAbout()
{
    return damaged::setByte(cleanAccessDirectory(), 0xEC68, 0, 88);
}

// DateTestDatabase.mdb (empty without the file) whose first LongTextCol
// memo ("Hello", kept in its row) claims 2 MB spread over long-value pages,
// and whose first unused page is made such a page, with one row that names
// itself as the next: the library goes round it until the 2 MB are full, a
// value longer than the whole file.
inline QByteArray accessWithAMemoGoingRoundInALoop()
{
    QByteArray b = accessFixture("DateTestDatabase.mdb");
    if (b.isEmpty()) return b;
    const auto put32 = [&](qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    const qsizetype header = 20 * 4096 + 0xFBF + 30; // row 0 of DateTest's data page
    const qsizetype lval = 60 * 4096, rowAt = 0xF00;
    if (b.mid(header, 12) != QByteArray::fromHex("070000800000000000000000") ||
        b.mid(lval, 4096) != QByteArray(4096, '\0'))
        throw std::runtime_error("the fixture is not the one expected");
    put32(header, 2u << 20);     // the length, without the in-row or one-page flags
    put32(header + 4, 60u << 8); // page 60, row 0
    b[lval] = 0x01;              // a data page
    b[lval + 1] = 0x01;
    b[lval + 12] = 1; // one row
    b[lval + 14] = char(rowAt & 0xFF);
    b[lval + 15] = char(rowAt >> 8);
    put32(lval + rowAt, 60u << 8); // the next part: this very row
    for (qsizetype i = lval + rowAt + 4; i < lval + 4096; i += 2)
        b[i] = 'A'; // UCS-2 text
    return b;
}

} // namespace testsupport
