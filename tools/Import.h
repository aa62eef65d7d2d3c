#pragma once
// vidra-db import: a directory file made from an Access file or a CSV file,
// under the record rules the program itself applies.
#include "tools/ImportOptions.h"

#include <csignal>

namespace vidradb {

// Raises Failure; prints the summary on success.
void runImport(const ImportOptions& options, const volatile std::sig_atomic_t& interrupted);

} // namespace vidradb
