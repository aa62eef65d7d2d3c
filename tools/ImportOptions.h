#pragma once
// What vidra-db import is told on its command line.
#include <QString>
#include <QStringList>
#include <array>

namespace vidradb {

struct ImportOptions
{
    QString source;
    QString dest;
    QString table; // empty: "Vlasnici"
    // Source column for each subscriber field, in the table's field order;
    // empty: the column of the field's own name.
    std::array<QString, 5> map;
    QString report;
    int codePage = 0;
    bool force = false;
};

// The arguments after "import"; raises UsageError.
ImportOptions parseImportArguments(const QStringList& args);

} // namespace vidradb
