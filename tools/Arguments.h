#pragma once
// Walking a vidra-db command line: operands, flags ("--force") and options
// with a value, given as "--name value" or "--name=value". After "--" every
// argument is an operand, also one that starts with a dash.
#include <QString>
#include <QStringList>

namespace vidradb {

class Arguments
{
public:
    // The arguments from args[first] on.
    explicit Arguments(const QStringList& args, qsizetype first = 0);

    // Moves to the next argument, passing over the "--" that ends the
    // options; false when there is none.
    bool next();

    // The argument as given.
    const QString& current() const { return m_args[m_at]; }
    // An operand: after "--", "-" alone, or anything not starting with a dash.
    bool isOperand() const;
    // Exactly this flag: "--force=yes" is not "--force".
    bool is(const char* flag) const { return current() == QLatin1String(flag); }
    // An option's name: the argument up to any '='.
    QString name() const;
    // An option's value: after the '=', or else the next argument, which
    // is used up; raises UsageError when there is none.
    QString value();

    // Raises the UsageError for an option that is not known.
    [[noreturn]] void refuseUnknown() const;

private:
    QStringList m_args;
    qsizetype m_at;
    bool m_optionsEnded = false;
};

} // namespace vidradb
