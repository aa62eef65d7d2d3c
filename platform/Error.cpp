#include "platform/Error.h"

namespace vidra {

QString trimEngineMessage(const QString& message)
{
    qsizetype end = message.size();
    while (end > 0) {
        const QChar c = message.at(end - 1);
        if (c != u'.' && !c.isSpace()) break;
        --end;
    }
    return message.left(end);
}

} // namespace vidra
