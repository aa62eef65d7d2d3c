#pragma once
// vidra-db copy: a directory copied whole from one store to another, file
// or server, either way round.
#include <QString>
#include <QStringList>
#include <csignal>

namespace vidradb {

struct CopyOptions
{
    QString source;
    QString dest;
    bool force = false;
};

// The arguments after "copy"; raises UsageError.
CopyOptions parseCopyArguments(const QStringList& args);

// Raises Failure; prints the summary on success.
void runCopy(const CopyOptions& options, const volatile std::sig_atomic_t& interrupted);

} // namespace vidradb
