// Amounts in words: the fixed results the printed documents depend on, the
// amounts of 100 crore and more, and a sweep that reads every result back to a
// number with an independent reader and checks its spacing.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tests/support/LibFixture.h"

namespace {

using testing_support::LibTest;

class MoneyToWordsTest : public LibTest {};

struct Case {
    int32_t amount;
    const char* words;
};

// The joins are spelled out as separate literals where blanks matter.
// clang-format off
const Case kCases[] = {
    {0, ""},
    {-1, ""},
    {-45, ""},
    {-2147483647 - 1, ""},
    {5, "five"},
    {10, "ten" " "},
    {12, "tweleve" " "},
    {15, "fifteen" " "},
    {20, "twenty" " "},
    {40, "fourty" " "},
    {45, "fourty" " " "five"},
    {99, "ninety" " " "nine"},
    {100, "one" " " " HUNDRED"},
    {105, "one" " " " HUNDRED, " "five"},
    {115, "one" " " " HUNDRED, " "fifteen" " "},
    {999, "nine" " " " HUNDRED, " "ninety" " " "nine"},
    {1000, "one" " THOUSAND"},
    {1015, "one" " THOUSAND, " "fifteen" " "},
    {1100, "one" " THOUSAND, " "one" " " " HUNDRED"},
    {15000, "fifteen" " " " THOUSAND"},
    {20000, "twenty" " " " THOUSAND"},
    {100000, "one" " LAKH"},
    {110000, "one" " LAKH, " "ten" " " " THOUSAND"},
    {100001, "one" " LAKH, " "one"},
    {1234567, "tweleve" " " " LAKH, " "thirty" " " "four" " THOUSAND, " "five" " " " HUNDRED, "
              "sixty" " " "seven"},
    {10000000, "one" " CRORE"},
    {10000100, "one" " CRORE, " "one" " " " HUNDRED"},
    {999999999, "ninety" " " "nine" " CRORE, " "ninety" " " "nine" " LAKH, " "ninety" " " "nine"
                " THOUSAND, " "nine" " " " HUNDRED, " "ninety" " " "nine"},
    // 100 crore and more: the crore count has its own hundreds.
    {1000000000, "one" " " " HUNDRED" " CRORE"},
    {1000000005, "one" " " " HUNDRED" " CRORE, " "five"},
    {1010000000, "one" " " " HUNDRED, " "one" " CRORE"},
    {1100000000, "one" " " " HUNDRED, " "ten" " " " CRORE"},
    {2000000100, "two" " " " HUNDRED" " CRORE, " "one" " " " HUNDRED"},
    {2147483647, "two" " " " HUNDRED, " "fourteen" " " " CRORE, " "seventy" " " "four" " LAKH, "
                 "eighty" " " "three" " THOUSAND, " "six" " " " HUNDRED, " "fourty" " " "seven"},
};
// clang-format on

TEST_F(MoneyToWordsTest, WritesTheFixedResults) {
    for (const Case& c : kCases) {
        const int32_t amount = c.amount;
        EXPECT_EQ(lib->MoneyToWords(amount), QString::fromLatin1(c.words)) << "amount " << c.amount;
        EXPECT_EQ(amount, c.amount);
    }
    EXPECT_TRUE(boxes().empty());
}

// ---- An independent reader of the words ----

enum class Kind { Unit, Teen, Tens, Hundred, Scale };
struct Word {
    Kind kind;
    int64_t value;
};

const std::unordered_map<std::string_view, Word>& vocabulary() {
    static const std::unordered_map<std::string_view, Word> v = {
        {"one", {Kind::Unit, 1}},           {"two", {Kind::Unit, 2}},
        {"three", {Kind::Unit, 3}},         {"four", {Kind::Unit, 4}},
        {"five", {Kind::Unit, 5}},          {"six", {Kind::Unit, 6}},
        {"seven", {Kind::Unit, 7}},         {"eight", {Kind::Unit, 8}},
        {"nine", {Kind::Unit, 9}},          {"ten", {Kind::Teen, 10}},
        {"eleven", {Kind::Teen, 11}},       {"tweleve", {Kind::Teen, 12}},
        {"thirteen", {Kind::Teen, 13}},     {"fourteen", {Kind::Teen, 14}},
        {"fifteen", {Kind::Teen, 15}},      {"sixteen", {Kind::Teen, 16}},
        {"seventeen", {Kind::Teen, 17}},    {"eighteen", {Kind::Teen, 18}},
        {"nineteen", {Kind::Teen, 19}},     {"twenty", {Kind::Tens, 20}},
        {"thirty", {Kind::Tens, 30}},       {"fourty", {Kind::Tens, 40}},
        {"fifty", {Kind::Tens, 50}},        {"sixty", {Kind::Tens, 60}},
        {"seventy", {Kind::Tens, 70}},      {"eighty", {Kind::Tens, 80}},
        {"ninety", {Kind::Tens, 90}},       {"HUNDRED", {Kind::Hundred, 100}},
        {"THOUSAND", {Kind::Scale, 1000}},  {"LAKH", {Kind::Scale, 100000}},
        {"CRORE", {Kind::Scale, 10000000}},
    };
    return v;
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Reads the words back to the amount, or returns -1 with the reason in `why`.
// Besides the value it checks the layout: words separated by " ", "  " or ", "
// only; two blanks before HUNDRED and between a teens or bare tens word and a
// scale word; a teens or bare tens word at the end keeps one trailing blank;
// scales in falling order; no unknown or glued words.
int64_t readWords(const std::string& s, std::string& why) {
    auto fail = [&why](std::string reason) {
        why = std::move(reason);
        return int64_t(-1);
    };
    if (s.empty()) return 0;
    if (s.find("   ") != std::string::npos) return fail("three blanks");

    int64_t total = 0, group = 0, lastScale = INT64_MAX;
    bool groupHasHundred = false;
    enum class Prev { Start, Unit, Teen, Tens, Hundred, Scale } prev = Prev::Start;
    size_t i = 0;
    for (;;) {
        size_t sepEnd = i;
        while (sepEnd < s.size() && !isLetter(s[sepEnd])) ++sepEnd;
        const std::string_view sep(s.data() + i, sepEnd - i);
        if (sepEnd == s.size()) {  // trailing characters after the last word
            const bool wantBlank = prev == Prev::Teen || prev == Prev::Tens;
            if (sep != (wantBlank ? " " : "")) return fail("bad ending");
            break;
        }
        size_t wordEnd = sepEnd;
        while (wordEnd < s.size() && isLetter(s[wordEnd])) ++wordEnd;
        const std::string_view text(s.data() + sepEnd, wordEnd - sepEnd);
        i = wordEnd;

        const auto found = vocabulary().find(text);
        if (found == vocabulary().end()) return fail("unknown word " + std::string(text));
        const Word w = found->second;
        const bool opensPart = (prev == Prev::Start && sep.empty()) ||
                               ((prev == Prev::Hundred || prev == Prev::Scale) && sep == ", ");
        switch (w.kind) {
            case Kind::Unit:
                if (prev == Prev::Tens ? sep != " " : !opensPart)
                    return fail("misplaced " + std::string(text));
                group += w.value;
                prev = Prev::Unit;
                break;
            case Kind::Teen:
            case Kind::Tens:
                if (!opensPart) return fail("misplaced " + std::string(text));
                group += w.value;
                prev = w.kind == Kind::Teen ? Prev::Teen : Prev::Tens;
                break;
            case Kind::Hundred:
                if (prev != Prev::Unit || sep != "  " || group >= 10 || groupHasHundred)
                    return fail("misplaced HUNDRED");
                group *= 100;
                groupHasHundred = true;
                prev = Prev::Hundred;
                break;
            case Kind::Scale: {
                const bool twoBlanks = prev == Prev::Teen || prev == Prev::Tens;
                const bool afterHundred = prev == Prev::Hundred && w.value == 10000000;
                if (!(prev == Prev::Unit || twoBlanks || afterHundred) ||
                    sep != (twoBlanks ? "  " : " "))
                    return fail("misplaced " + std::string(text));
                if (w.value >= lastScale) return fail("scales out of order");
                if (group >= 100 && w.value != 10000000) return fail("group too large");
                total += group * w.value;
                lastScale = w.value;
                group = 0;
                groupHasHundred = false;
                prev = Prev::Scale;
                break;
            }
        }
    }
    return total + group;
}

void expectReadsBack(clsProd& lib, int32_t amount) {
    const QString words = lib.MoneyToWords(amount);
    std::string why;
    const int64_t read = readWords(words.toStdString(), why);
    ASSERT_EQ(read, int64_t(amount))
        << "amount " << amount << ": \"" << words.toStdString() << "\" " << why;
}

TEST_F(MoneyToWordsTest, ReaderRejectsGarbledText) {
    std::string why;
    EXPECT_EQ(readWords("twofourteen"
                        "  CRORE",
                        why),
              -1);
    EXPECT_EQ(readWords("fifteen"
                        " THOUSAND",
                        why),
              -1);  // needs two blanks
    EXPECT_EQ(readWords("one"
                        " HUNDRED",
                        why),
              -1);  // needs two blanks
    EXPECT_EQ(readWords("one"
                        "   "
                        "HUNDRED",
                        why),
              -1);
    EXPECT_EQ(readWords("fifteen", why), -1);  // lost its trailing blank
    EXPECT_EQ(readWords("one"
                        " THOUSAND, ",
                        why),
              -1);  // final ", " left in place
    EXPECT_EQ(readWords("one"
                        " LAKH, "
                        "two"
                        " CRORE",
                        why),
              -1);
    EXPECT_EQ(readWords("one"
                        "  HUNDRED, "
                        "five",
                        why),
              105);
}

TEST_F(MoneyToWordsTest, EveryAmountUpToTenLakhReadsBack) {
    for (int32_t amount = 0; amount <= 1000000; ++amount) {
        expectReadsBack(*lib, amount);
        if (HasFatalFailure()) return;
    }
}

TEST_F(MoneyToWordsTest, SampledAmountsUpToTheLargestReadBack) {
    std::mt19937 gen(20261208);
    std::uniform_int_distribution<int32_t> anyAmount(0, INT32_MAX);
    std::vector<int32_t> amounts = {INT32_MAX,  INT32_MAX - 1, 999999999,  1000000000, 1000000001,
                                    1099999999, 1999999999,    2000000000, 2100000000, 2140000000};
    for (int i = 0; i < 200000; ++i) amounts.push_back(anyAmount(gen));
    for (int32_t amount : amounts) {
        expectReadsBack(*lib, amount);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
