// The error number a piece of code fails with, for tests.
#pragma once

#include "platform/runtime/Error.h"

#include <cstdint>
#include <functional>
#include <vector>

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

// A number a host passes for a 16-bit parameter and the error it must meet
// (0 for none).
struct EdgeValue {
    int32_t value;
    int32_t outcome;
};

// The ends of the 16-bit range and values just beyond and far beyond them:
// at 32767 and -32768 the routine runs and meets its own outcome (`atMax`,
// `atMin`); every value outside 16 bits fails with Overflow at the call.
inline std::vector<EdgeValue> sixteenBitEdges(int32_t atMax, int32_t atMin) {
    return {{32767, atMax},
            {32768, rt::err::Overflow},
            {-32768, atMin},
            {-32769, rt::err::Overflow},
            {40000, rt::err::Overflow},
            {65536 + 3, rt::err::Overflow}};
}

}  // namespace testing_support
