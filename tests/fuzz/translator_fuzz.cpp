// translator_fuzz: long deterministic fuzz runs of the Jet SQL translator and
// the Jet SQLite functions, meant to run under AddressSanitizer and UBSan
// (scripts/fuzz-translator builds it so).
//
//   translator_fuzz [iterations [seed]]
//   translator_fuzz --minutes M [seed]      (as many inputs as M minutes take)
//
// Prints the number of inputs, how they ended, the time taken and the number
// of faults (inputs that made the translator throw something other than a
// syntax error, or write SQL that SQLite cannot parse). Exits with 1 when
// there was a fault; a crash or a sanitizer report ends the run by itself.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/fuzz/JetFuzz.h"

int main(int argc, char** argv) {
    int arg = 1;
    double minutes = 0;
    if (argc > 2 && std::strcmp(argv[1], "--minutes") == 0) {
        minutes = std::atof(argv[2]);
        arg = 3;
    }
    const long iterations = minutes > 0 ? -1 : (argc > arg ? std::atol(argv[arg++]) : 100000);
    const unsigned long long seed = argc > arg ? std::strtoull(argv[arg], nullptr, 10) : 1;
    jetfuzz::Target target;
    jetfuzz::Tally tally;
    jetfuzz::Random random(seed);
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(minutes * 60));
    for (long i = 0; iterations < 0 || i < iterations; ++i) {
        target.check(jetfuzz::input(random), tally);
        if (tally.faults.size() > 100) break;
        if (iterations < 0 && (i & 255) == 0 && std::chrono::steady_clock::now() >= deadline)
            break;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const std::string& f : tally.faults) std::fprintf(stderr, "FAULT: %s\n", f.c_str());
    std::printf("seed %llu: %ld inputs in %.1f s (%.0f per second)\n", seed, tally.inputs, seconds,
                tally.inputs / (seconds > 0 ? seconds : 1));
    std::printf("  refused (a syntax error, or a literal Jet cannot convert): %ld\n",
                tally.refused);
    std::printf("  translated, prepared by SQLite: %ld (of which %ld ended in a run-time error)\n",
                tally.prepared, tally.runErrors);
    std::printf("  translated, refused by SQLite for names or limits: %ld\n", tally.engineErrors);
    std::printf("  engine messages:\n");
    for (const auto& [msg, n] : tally.engineMessages) std::printf("    %6ld  %s\n", n, msg.c_str());
    std::printf("  faults: %zu\n", tally.faults.size());
    return tally.faults.empty() ? 0 : 1;
}
