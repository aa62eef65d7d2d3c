#pragma once
// The two ways a vidra-db command ends without doing its work.
#include <QString>

namespace vidradb {

// A failure of the run; the message is shown after "vidra-db: ".
struct Failure
{
    QString message;
};

// A command line that cannot be run; also points the user at --help.
struct UsageError
{
    QString message;
};

} // namespace vidradb
