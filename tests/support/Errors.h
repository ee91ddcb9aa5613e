// The error number a piece of code fails with, for tests.
#pragma once

#include "platform/runtime/Error.h"

#include <cstdint>
#include <functional>

namespace testing_support {

// Runs `f` and returns the number of the rt::Error it threw, or 0.
inline int32_t errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const rt::Error& e) {
        return e.number();
    }
    return 0;
}

}  // namespace testing_support
