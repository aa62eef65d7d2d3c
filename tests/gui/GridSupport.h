#pragma once
// What the grid tests share: the directory grid's four columns at their
// stored widths, and a directory file's table opened as the data module
// opens it.
#include "data/Schema.h"
#include "platform/db/Connection.h"
#include "platform/db/Table.h"
#include "platform/dbaware/DbGrid.h"

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

} // namespace guitest
