// Amounts in words with the Indian grouping of digits: the last three digits as
// hundreds, tens and units, then two digits each for thousands, lakhs and
// crores. The words keep the spellings and the spacing the business
// application's printed documents have always carried ("tweleve", "fourty",
// two spaces before "HUNDRED", a trailing blank after a teens or bare tens
// word), because stored documents and their users expect exactly that text.
//
// The conversion walks the amount from its right-hand end, two digits per
// group (three for the first group), and puts each group's words in front of
// the words already built:
//   1. an amount of 0 or less gives the empty text;
//   2. per group: the teens word plus a blank for 10..19, otherwise the tens
//      word plus a blank followed by the units word (either may be missing);
//   3. the first group also takes its hundreds digit: "<units>" " " " HUNDRED, "
//      in front of the group's words;
//   4. a group with words gets its scale word (" THOUSAND, ", " LAKH, ",
//      " CRORE, ") and goes in front of the words built so far;
//   5. a final ", " is removed once.
// The crore group also takes a hundreds digit, in the same style as the first
// group, so that 100 crore and more (up to the largest 32-bit amount, 214
// crore) read as "two  HUNDRED, fourteen  CRORE, ...". When such a crore count
// has no tens or units, the hundreds phrase meets the scale word directly:
// 1000000000 gives "one  HUNDRED CRORE" (no ", " between the two, which would
// otherwise double up as "HUNDRED,  CRORE").
#include <QLatin1String>
#include <array>

#include "lib/clsProd.h"

namespace {

// Word tables. An index outside a table yields nothing.
constexpr std::array<QLatin1String, 10> kUnits = {
    QLatin1String(),        QLatin1String("one"),  QLatin1String("two"), QLatin1String("three"),
    QLatin1String("four"),  QLatin1String("five"), QLatin1String("six"), QLatin1String("seven"),
    QLatin1String("eight"), QLatin1String("nine")};

// Values 10..19, indexed by value - 10.
constexpr std::array<QLatin1String, 10> kTeens = {
    QLatin1String("ten"),      QLatin1String("eleven"),    QLatin1String("tweleve"),
    QLatin1String("thirteen"), QLatin1String("fourteen"),  QLatin1String("fifteen"),
    QLatin1String("sixteen"),  QLatin1String("seventeen"), QLatin1String("eighteen"),
    QLatin1String("nineteen")};

// Tens digit 1..9; digit 1 is never looked up because 10..19 take the teens.
constexpr std::array<QLatin1String, 10> kTens = {QLatin1String(),         QLatin1String("error"),
                                                 QLatin1String("twenty"), QLatin1String("thirty"),
                                                 QLatin1String("fourty"), QLatin1String("fifty"),
                                                 QLatin1String("sixty"),  QLatin1String("seventy"),
                                                 QLatin1String("eighty"), QLatin1String("ninety")};

// Scale words for group counter / 3 = 1..3; none for the first group.
constexpr std::array<QLatin1String, 4> kScales = {QLatin1String(), QLatin1String(" THOUSAND, "),
                                                  QLatin1String(" LAKH, "),
                                                  QLatin1String(" CRORE, ")};

constexpr QLatin1String kBlank(" ");
constexpr QLatin1String kHundred(" HUNDRED, ");
constexpr QLatin1String kHundredBeforeScale(" HUNDRED");
constexpr int16_t kCroreGroup = 3;  // group counter / 3 of the crore group

QLatin1String unitWord(int16_t digit) {
    return digit >= 1 && digit <= 9 ? kUnits[size_t(digit)] : QLatin1String();
}

// The words of one group, in reading order, as pieces of the fixed tables.
struct GroupWords {
    std::array<QLatin1String, 8> pieces;
    int count = 0;
    qsizetype length = 0;
    void add(QLatin1String piece) {
        if (piece.isEmpty()) return;
        pieces[size_t(count++)] = piece;
        length += piece.size();
    }
    bool isEmpty() const { return count == 0; }
};

}  // namespace

QString clsProd::MoneyToWords(const int32_t& cMoney) {
    // The remaining digits as a number: a digit text made of "000" and the
    // amount's digits reads as the amount itself, and removing its last digits
    // divides by a power of ten. A negative amount reads as 0 (the sign stands
    // after the zeros), so it ends the conversion at once, as zero does.
    int64_t rest = cMoney;
    std::array<GroupWords, 6> groups;  // right to left: first group first
    int groupCount = 0;
    int16_t groupCounter = 0;
    bool firstGroupDone = false;

    while (rest > 0) {
        const auto v = static_cast<int16_t>(rest % 100);
        rest /= 100;
        const int16_t scaleIndex = groupCounter / 3;

        int16_t h = 0;
        if (!firstGroupDone || scaleIndex == kCroreGroup) {
            h = static_cast<int16_t>(rest % 10);
            rest /= 10;
        }

        GroupWords& g = groups[size_t(groupCount)];
        if (h >= 1) {
            // The first group keeps its ", " even when nothing follows (it is
            // removed at the very end); before the crore scale word it is left
            // out when the crore count has no tens or units.
            g.add(unitWord(h));
            g.add(kBlank);
            g.add(firstGroupDone && v == 0 ? kHundredBeforeScale : kHundred);
        }
        if (v >= 10 && v <= 19) {
            g.add(kTeens[size_t(v - 10)]);
            g.add(kBlank);
        } else if (v > 0) {
            if (v >= 20) {
                g.add(kTens[size_t(v / 10)]);
                g.add(kBlank);
            }
            g.add(unitWord(v % 10));
        }
        if (!g.isEmpty()) {
            if (scaleIndex < int16_t(kScales.size())) g.add(kScales[size_t(scaleIndex)]);
            ++groupCount;
        }

        firstGroupDone = true;
        groupCounter = static_cast<int16_t>(groupCounter + 3);
    }

    // Later groups stand in front of earlier ones.
    qsizetype length = 0;
    for (int i = 0; i < groupCount; ++i) length += groups[size_t(i)].length;
    QString words;
    words.reserve(length);
    for (int i = groupCount; i-- > 0;) {
        const GroupWords& g = groups[size_t(i)];
        for (int k = 0; k < g.count; ++k) words += g.pieces[size_t(k)];
    }

    if (words.endsWith(QLatin1String(", "))) words.chop(2);
    return words;
}
