// tests/support: the number of the error a piece of code raises through the program's common error path.
#pragma once

#include "platform/error.h"

#include <functional>

namespace platform {

// The error's number, or 0 when the body raised none.
inline int ErrorNumberOf(const std::function<void()>& body) {
    try {
        body();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace platform
