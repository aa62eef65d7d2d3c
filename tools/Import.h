#pragma once
// vidra-db import: a directory file made from an Access file or a CSV file,
// under the record rules the program itself applies.
#include <QString>
#include <QStringList>
#include <array>
#include <csignal>

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
// Raises Failure; prints the summary on success.
void runImport(const ImportOptions& options, const volatile std::sig_atomic_t& interrupted);

} // namespace vidradb
