#include "tools/Arguments.h"

#include "tools/Failure.h"

namespace vidradb {

Arguments::Arguments(const QStringList& args, qsizetype first) : m_args(args), m_at(first - 1) {}

bool Arguments::next()
{
    while (++m_at < m_args.size()) {
        if (m_optionsEnded || current() != QLatin1String("--")) return true;
        m_optionsEnded = true;
    }
    return false;
}

bool Arguments::isOperand() const
{
    const QString& arg = current();
    return m_optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-");
}

QString Arguments::name() const
{
    const QString& arg = current();
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    return eq < 0 ? arg : arg.left(eq);
}

QString Arguments::value()
{
    const QString& arg = current();
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (eq >= 0) return arg.mid(eq + 1);
    if (m_at + 1 >= m_args.size()) throw UsageError{QStringLiteral("%1 needs a value").arg(arg)};
    return m_args[++m_at];
}

void Arguments::refuseUnknown() const
{
    throw UsageError{QStringLiteral("unknown option %1").arg(quoted(current()))};
}

} // namespace vidradb
