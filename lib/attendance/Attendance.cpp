// Attendance counts from the texts the attendance screens keep per employee
// and month: overtime hours from a comma-separated list of hours, days present
// and leave days from one code character per day, and two holiday counts from
// one flag digit per day.
//
// Codes are compared exactly (upper case only):
//   present  P A B C G W = 1, N M = 0.5
//   leave    L = 1, M = 0.5        (a half day "M" counts in both)
//   holidays "0" flags, actual holidays "1" flags
// Sums are 32-bit floats, rounded to that precision after every addition. The
// day loops count 16-bit positions: a text of more than 32767 characters fails
// with Overflow (6). Nothing here shows a message; failures pass to the caller.
#include <cmath>
#include <limits>

#include "lib/clsProd.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"

namespace {

// REQUIRES: a day text the 16-bit day loop can walk; fails with Overflow (6)
// for more than 32767 characters.
void requireDayText(const QString& days) {
    if (days.size() > std::numeric_limits<int16_t>::max()) rt::raiseStandard(rt::err::Overflow);
}

// The running sum plus one more value, kept as a 32-bit float. Fails with
// Overflow (6) when the sum leaves the 32-bit float range.
float addToSingle(float sum, double value) {
    const double total = double(sum) + value;
    if (!std::isfinite(total) || std::fabs(total) > double(std::numeric_limits<float>::max()))
        rt::raiseStandard(rt::err::Overflow);
    return static_cast<float>(total);
}

constexpr int16_t kMaxOvertimeFields = 40;

}  // namespace

float clsProd::cal_OT_Hrs(QString OTstr) {
    if (OTstr.isEmpty()) return 0;
    // Fields are read with their leading-number value: blanks ignored, '.' as
    // the decimal point whatever the locale, "1:30" counts 1, "x" counts 0. An
    // empty field ends the list; fields after the 40th are not counted.
    float sum = 0;
    for (int16_t n = 1; n <= kMaxOvertimeFields; ++n) {
        const QString field = Str_Split_Using_Separator(OTstr, QStringLiteral(","), n);
        if (field.isEmpty()) break;
        sum = addToSingle(sum, rt::leadingNumber(field));
    }
    return sum;
}

namespace {

// The days of an attendance text, each code weighed by `weight`, summed in
// single precision. A text over 32767 characters overflows.
template <class Weight>
float weighDays(const QString& LStr, Weight weight) {
    if (LStr.isEmpty()) return 0;
    requireDayText(LStr);
    float sum = 0;
    for (QChar c : LStr)
        if (const double w = weight(c.unicode())) sum = addToSingle(sum, w);
    return sum;
}

}  // namespace

float clsProd::cal_days_Present(QString LStr) {
    return weighDays(LStr, [](char16_t c) {
        switch (c) {
            case u'P':
            case u'A':
            case u'B':
            case u'C':
            case u'G':
            case u'W': return 1.0;
            case u'N':
            case u'M': return 0.5;
            default: return 0.0;
        }
    });
}

float clsProd::cal_Leave_days(QString LStr) {
    return weighDays(LStr, [](char16_t c) { return c == u'L' ? 1.0 : c == u'M' ? 0.5 : 0.0; });
}

int16_t clsProd::cal_Holidays(QString HoliStr) {
    if (HoliStr.isEmpty()) return 0;
    requireDayText(HoliStr);
    return static_cast<int16_t>(HoliStr.count(u'0'));
}

int16_t clsProd::cal_Actual_Holidays(QString HoliStr) {
    if (HoliStr.isEmpty()) return 0;
    requireDayText(HoliStr);
    return static_cast<int16_t>(HoliStr.count(u'1'));
}
