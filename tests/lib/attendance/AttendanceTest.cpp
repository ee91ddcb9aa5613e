// Attendance counts: overtime lists, day codes and holiday flags, the 32-bit
// float sums and the limit of 32767 days.
#include "Errors.h"
#include <functional>

#include "platform/runtime/Error.h"
#include "tests/support/LibFixture.h"

namespace {

using testing_support::errorOf;

using testing_support::LibTest;

class AttendanceTest : public LibTest {};

struct HoursCase {
    const char* list;
    float hours;
};

TEST_F(AttendanceTest, OvertimeAddsTheListUpToTheFirstEmptyField) {
    const QString fortyFiveOnes = QStringList(45, QStringLiteral("1")).join(u',');
    // clang-format off
    const HoursCase cases[] = {
        {"", 0.0f},
        {"2,1.5,0,3", 6.5f},
        {"2,1.5,,3", 3.5f},   // the empty third field ends the list
        {"2.5,x,1", 3.5f},    // x counts 0 but the list goes on
        {"1,2,", 3.0f},       // a trailing comma changes nothing
        {",5", 0.0f},         // an empty first field ends it at once
        {"1:30,2", 3.0f},     // reading stops at the colon
        {" 1 . 5 ,2", 3.5f},  // blanks anywhere are ignored
        {"-1,3", 2.0f},
        {"1e1,&H10", 26.0f},
        {"0.1,0.2", 0.3f},
    };
    // clang-format on
    for (const HoursCase& c : cases) EXPECT_EQ(lib->cal_OT_Hrs(c.list), c.hours) << c.list;
    EXPECT_EQ(lib->cal_OT_Hrs(fortyFiveOnes), 40.0f);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(AttendanceTest, OvertimeReadsAPointWhateverTheLocale) {
    fake.settings->setDecimalSeparator(u',');
    EXPECT_EQ(lib->cal_OT_Hrs("1.5,2.25"), 3.75f);
}

TEST_F(AttendanceTest, OvertimeSumIsRoundedToSingleAfterEveryAddition) {
    // 16777216 + 1 is lost in a 32-bit float each time; a double sum would keep both.
    EXPECT_EQ(lib->cal_OT_Hrs("16777216,1,1"), 16777216.0f);
    EXPECT_EQ(lib->cal_OT_Hrs("1,1,16777216"), 16777218.0f);
}

TEST_F(AttendanceTest, OvertimeBeyondTheSingleRangeOverflows) {
    EXPECT_EQ(errorOf([&] { lib->cal_OT_Hrs("1e39"); }), rt::err::Overflow);
    EXPECT_EQ(errorOf([&] { lib->cal_OT_Hrs("3e38,3e38"); }), rt::err::Overflow);
}

struct DaysCase {
    const char* codes;
    float present;
    float leave;
};

TEST_F(AttendanceTest, DayCodesCountPresentAndLeaveDays) {
    // clang-format off
    const DaysCase cases[] = {
        {"", 0, 0},
        {"PPAHM", 3.5f, 0.5f},
        {"ppp", 0, 0},
        {"LMLP", 1.5f, 2.5f},
        {"PABCGW", 6, 0},
        {"NN", 1, 0},
        {"MM", 1, 1},
        {"L L", 0, 2},
        {"XYZ01-", 0, 0},
    };
    // clang-format on
    for (const DaysCase& c : cases) {
        EXPECT_EQ(lib->cal_days_Present(c.codes), c.present) << c.codes;
        EXPECT_EQ(lib->cal_Leave_days(c.codes), c.leave) << c.codes;
    }
}

TEST_F(AttendanceTest, HolidayFlagsAreCounted) {
    EXPECT_EQ(lib->cal_Holidays("0101"), 2);
    EXPECT_EQ(lib->cal_Actual_Holidays("0101"), 2);
    EXPECT_EQ(lib->cal_Holidays("0002"), 3);
    EXPECT_EQ(lib->cal_Actual_Holidays("0002"), 0);
    EXPECT_EQ(lib->cal_Holidays(""), 0);
    EXPECT_EQ(lib->cal_Actual_Holidays(""), 0);
    EXPECT_EQ(lib->cal_Holidays("O o"), 0);
}

TEST_F(AttendanceTest, DayTextsUpTo32767CharactersAreCounted) {
    EXPECT_EQ(lib->cal_days_Present(QString(32767, u'P')), 32767.0f);
    EXPECT_EQ(lib->cal_Leave_days(QString(32767, u'M')), 16383.5f);
    EXPECT_EQ(lib->cal_Holidays(QString(32767, u'0')), 32767);
    EXPECT_EQ(lib->cal_Actual_Holidays(QString(32767, u'1')), 32767);
}

TEST_F(AttendanceTest, LongerDayTextsOverflow) {
    const QString days(32768, u'0');
    EXPECT_EQ(errorOf([&] { lib->cal_days_Present(days); }), rt::err::Overflow);
    EXPECT_EQ(errorOf([&] { lib->cal_Leave_days(days); }), rt::err::Overflow);
    EXPECT_EQ(errorOf([&] { lib->cal_Holidays(days); }), rt::err::Overflow);
    EXPECT_EQ(errorOf([&] { lib->cal_Actual_Holidays(days); }), rt::err::Overflow);
}

}  // namespace
