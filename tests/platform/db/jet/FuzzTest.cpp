// A bounded, deterministic fuzz run: mutations of the system's statements and
// of the wider dialect (typed writes, joins in updates, table definitions, the
// newer functions), token soups and random well-formed expressions. Every
// input is either refused (a syntax error, or a literal Jet cannot convert) or
// becomes SQL that SQLite parses and runs to an end; every fourth is also
// tried as a validation rule, every fifth with its literals in the text;
// nothing crashes, hangs or throws anything else.
#include <gtest/gtest.h>

#include "tests/fuzz/JetFuzz.h"

namespace {

TEST(JetFuzz, RandomInputsAreRefusedOrRunCleanly) {
    jetfuzz::Target target;
    jetfuzz::Tally tally;
    jetfuzz::Random random(20261208);
    constexpr int kInputs = 30000;
    for (int i = 0; i < kInputs; ++i) target.check(jetfuzz::input(random), tally);
    for (size_t i = 0; i < tally.faults.size() && i < 20; ++i) ADD_FAILURE() << tally.faults[i];
    EXPECT_EQ(tally.inputs, kInputs);
    EXPECT_TRUE(tally.faults.empty()) << tally.faults.size() << " faults";
    // The mix reaches both sides: refusals and SQL that runs (random text
    // literals beside numbers make many inputs Jet's type mismatch).
    EXPECT_GT(tally.refused, kInputs / 10);
    EXPECT_GT(tally.prepared, kInputs / 20);
}

}  // namespace
