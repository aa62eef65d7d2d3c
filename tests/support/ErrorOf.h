#pragma once
// The engine's message from running a piece of code, or "<no error>".
#include "platform/Error.h"

#include <QString>
#include <functional>

namespace testsupport {

inline QString errorOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const vidra::DbError& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace testsupport
