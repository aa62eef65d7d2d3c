#pragma once
// What the grid tests share: the directory grid's four columns at their
// stored widths, a directory file's table opened as the data module opens
// it, and rows to fill it with.
#include "data/Schema.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbGrid.h"
#include "support/TempDir.h"

#include <QColor>
#include <vector>

namespace guitest {

inline void addDirectoryColumns(vidra::DbGrid* grid)
{
    grid->addColumn(QStringLiteral("Telefon"), QStringLiteral("Telefon"), 84);
    grid->addColumn(QStringLiteral("Vlasnik"), QStringLiteral("Vlasnik"), 235);
    grid->addColumn(QStringLiteral("Adresa"), QStringLiteral("Adresa"), 252);
    grid->addColumn(QStringLiteral("Mesto"), QStringLiteral("Mesto"), 102);
}

inline void openDirectory(vidra::Connection& conn, vidra::Table& table, const QString& file)
{
    conn.setConnectionText(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                           vidra::Connection::quoteValue(file));
    conn.open();
    table.SetConnection(&conn);
    table.SetTableName(QString::fromLatin1(vidra::kSubscriberTable));
    table.DeclareFields(vidra::kSubscriberFields.begin(), vidra::kSubscriberFields.end());
    table.Open();
}

// n subscribers numbered from 011/100000, all in the same place.
inline std::vector<testsupport::Row> numberedRows(int n)
{
    std::vector<testsupport::Row> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({QStringLiteral("011/%1").arg(100000 + i),
                        QStringLiteral("Vlasnik %1").arg(i), QStringLiteral("Ulica %1").arg(i),
                        QStringLiteral("Kostelin"), QString()});
    return rows;
}

inline std::vector<int> widthsOf(const vidra::DbGrid& grid)
{
    std::vector<int> w;
    for (int i = 0; i < grid.columnCount(); ++i)
        w.push_back(grid.columnWidth(i));
    return w;
}

inline bool isBlack(const QColor& c)
{
    return c.red() == 0 && c.green() == 0 && c.blue() == 0;
}

} // namespace guitest
