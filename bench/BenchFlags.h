// Flags of the benchmark programs beyond Google Benchmark's own.
#pragma once

#include <cstdlib>
#include <cstring>
#include <optional>

namespace bench {

// The value of `--NAME=N` among the program's arguments, if given.
inline std::optional<int> intFlag(int argc, char** argv, const char* name) {
    const size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--", 2) == 0 && std::strncmp(argv[i] + 2, name, n) == 0 &&
            argv[i][n + 2] == '=')
            return std::atoi(argv[i] + n + 3);
    return std::nullopt;
}

}  // namespace bench
