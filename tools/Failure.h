#pragma once
// The two ways a vidra-db command ends without doing its work, and how
// their messages name things.
#include <QString>

namespace vidradb {

// A name in single quotes, for messages.
inline QString quoted(const QString& s)
{
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

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
