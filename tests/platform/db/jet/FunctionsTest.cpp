// Jet function semantics on plain values: Format patterns, date intervals and
// LIKE patterns, apart from any engine.
#include <gtest/gtest.h>

#include <QLocale>

#include "platform/db/jet/Functions.h"
#include "platform/runtime/Error.h"

namespace {

namespace fn = db::jet::fn;

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return rt::naiveDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

struct FormatCase {
    rt::Variant value;
    const char* pattern;
    const char* expected;
};

TEST(JetFormat, PatternsUnderEnglishSettings) {
    rt::RegionalSettings us(QLocale(QLocale::English, QLocale::UnitedStates));
    const FormatCase cases[] = {
        {rt::Variant(at(2026, 5, 6, 14, 7, 9)), "dd/mm/yyyy hh:nn:ss", "06/05/2026 14:07:09"},
        {rt::Variant(at(2026, 5, 6, 14, 7, 9)), "d-m-yy h:m:s", "6-5-26 14:7:9"},
        {rt::Variant(at(2026, 5, 6, 14, 7, 9)), "hh:mm", "14:07"},
        {rt::Variant(at(2026, 5, 6, 14, 7, 9)), "h:mm AM/PM", "2:07 PM"},
        {rt::Variant(at(2026, 5, 6, 9, 7, 9)), "h:mm am/pm", "9:07 am"},
        {rt::Variant(at(2026, 5, 6)), "dddd, mmmm d", "Wednesday, May 6"},
        {rt::Variant(at(2026, 5, 6)), "ddd mmm", "Wed May"},
        {rt::Variant(at(2026, 5, 6)), "\"Q\"q yyyy", "Q2 2026"},
        {rt::Variant(at(2026, 5, 6)), "y w ww", "126 4 19"},
        {rt::Variant(at(2026, 5, 6)), "Short Date", "5/6/2026"},
        {rt::Variant(at(2026, 5, 6)), "Medium Date", "06-May-26"},
        {rt::Variant(at(2026, 5, 6, 14, 7, 9)), "Short Time", "14:07"},
        {rt::Variant(at(2026, 5, 6, 14, 7, 9)), "General Date", "5/6/2026 2:07:09 PM"},
        {rt::Variant(1234.5), "#,##0.00", "1,234.50"},
        {rt::Variant(1234567.0), "#,##0", "1,234,567"},
        {rt::Variant(0.5), "#.##", ".5"},
        {rt::Variant(0.0), "#", ""},
        {rt::Variant(2.5), "0", "3"},
        {rt::Variant(-2.5), "0", "-3"},
        {rt::Variant(1.005), "0.00", "1.01"},
        {rt::Variant(0.125), "0.0%", "12.5%"},
        {rt::Variant(12345.678), "0.00E+00", "1.23E+04"},
        {rt::Variant(0.00012), "0.0E-00", "1.2E-04"},
        {rt::Variant(-3.0), "0;(0);\"zero\"", "(3)"},
        {rt::Variant(0.0), "0;(0);\"zero\"", "zero"},
        {rt::Variant(5551234.0), "000-0000", "555-1234"},
        {rt::Variant(int32_t(7)), "\\#000", "#007"},
        {rt::Variant(3.14159), "Fixed", "3.14"},
        {rt::Variant(1234.5), "Standard", "1,234.50"},
        {rt::Variant(0.256), "Percent", "25.60%"},
        {rt::Variant(0.0), "Yes/No", "No"},
        {rt::Variant(-1.0), "True/False", "True"},
        {rt::Variant(int32_t(2)), "On/Off", "On"},
        {rt::Variant(1.5), "General Number", "1.5"},
        {rt::Variant("abc"), ">", "ABC"},
        {rt::Variant("ABC"), "<", "abc"},
        {rt::Variant("abc"), "@@@@@", "  abc"},
        {rt::Variant("abc"), "!@@@@@", "abc  "},
        {rt::Variant("5551234"), "@@@-@@@@", "555-1234"},
        {rt::Variant("12.5"), "0.00", "12.50"},
        {rt::Variant(45000.5), "yyyy-mm-dd hh:nn", "2023-03-15 12:00"},
        {rt::Variant(at(2026, 5, 6)), "0.0", "46148.0"},
        {rt::Variant(2.5), "", "2.5"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(fn::format(c.value, QString::fromUtf8(c.pattern), us).toStdString(), c.expected)
            << c.value.debugString().toStdString() << " / " << c.pattern;
    }
}

TEST(JetFormat, RegionalSeparatorsAndNames) {
    rt::RegionalSettings de(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(fn::format(rt::Variant(1234.5), QStringLiteral("#,##0.00"), de),
              QStringLiteral("1.234,50"));
    EXPECT_EQ(fn::format(rt::Variant(at(2026, 5, 6)), QStringLiteral("dd/mm/yyyy"), de),
              QStringLiteral("06.05.2026"));
    EXPECT_EQ(fn::format(rt::Variant(at(2026, 3, 6)), QStringLiteral("mmmm"), de),
              QStringLiteral("März"));
}

TEST(JetDates, AddKeepsMonthEndsAndRange) {
    EXPECT_EQ(fn::dateAdd(fn::Interval::Month, 1, at(2026, 1, 31)), at(2026, 2, 28));
    EXPECT_EQ(fn::dateAdd(fn::Interval::Quarter, -1, at(2026, 5, 31)), at(2026, 2, 28));
    EXPECT_EQ(fn::dateAdd(fn::Interval::Year, 1, at(2024, 2, 29)), at(2025, 2, 28));
    EXPECT_EQ(fn::dateAdd(fn::Interval::Week, 2, at(2026, 12, 25)), at(2027, 1, 8));
    EXPECT_EQ(fn::dateAdd(fn::Interval::Minute, 90, at(2026, 12, 31, 23)), at(2027, 1, 1, 0, 30));
    EXPECT_EQ(fn::dateAdd(fn::Interval::Day, 1.9, at(2026, 1, 1)), at(2026, 1, 2));
    EXPECT_THROW(fn::dateAdd(fn::Interval::Year, 8000, at(2026, 1, 1)), rt::Error);
    EXPECT_THROW(fn::dateAdd(fn::Interval::Day, 1e300, at(2026, 1, 1)), rt::Error);
}

TEST(JetDates, DiffCountsBoundaries) {
    EXPECT_EQ(fn::dateDiff(fn::Interval::Year, at(2025, 12, 31), at(2026, 1, 1), 1), 1);
    EXPECT_EQ(fn::dateDiff(fn::Interval::Quarter, at(2026, 3, 31), at(2026, 4, 1), 1), 1);
    EXPECT_EQ(fn::dateDiff(fn::Interval::Month, at(2026, 3, 1), at(2026, 1, 31), 1), -2);
    EXPECT_EQ(fn::dateDiff(fn::Interval::Day, at(2026, 1, 1, 23), at(2026, 1, 2, 1), 1), 1);
    EXPECT_EQ(fn::dateDiff(fn::Interval::Weekday, at(2026, 1, 1), at(2026, 1, 14), 1), 1);
    // Sunday boundaries between Saturday 5 December and Sunday 6 December 2026.
    EXPECT_EQ(fn::dateDiff(fn::Interval::Week, at(2026, 12, 5), at(2026, 12, 6), 1), 1);
    EXPECT_EQ(fn::dateDiff(fn::Interval::Week, at(2026, 12, 5), at(2026, 12, 6), 2), 0);
    EXPECT_EQ(fn::dateDiff(fn::Interval::Hour, at(2026, 1, 1, 10, 59), at(2026, 1, 1, 11, 0), 1),
              1);
    EXPECT_EQ(fn::dateDiff(fn::Interval::Second, at(2026, 1, 1), at(2026, 1, 2), 1), 86400);
}

TEST(JetDates, PartsAndWeekdays) {
    rt::RegionalSettings gb(QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_EQ(fn::weekday(QDate(2026, 12, 6), 1), 1);  // a Sunday
    EXPECT_EQ(fn::weekday(QDate(2026, 12, 6), 2), 7);
    EXPECT_EQ(fn::firstDayOfWeek(0, gb), 2);  // Monday in Britain
    EXPECT_THROW(fn::firstDayOfWeek(8, gb), rt::Error);
    EXPECT_EQ(fn::datePart(fn::Interval::Week, at(2026, 1, 1), 1, 1), 1);
    EXPECT_EQ(fn::datePart(fn::Interval::Week, at(2026, 1, 4), 1, 1), 2);
    // 2027 starts on a Friday: with four-day first weeks, 1 January lies in
    // the last week of 2026.
    EXPECT_EQ(fn::datePart(fn::Interval::Week, at(2027, 1, 1), 2, 2), 53);
    EXPECT_EQ(fn::datePart(fn::Interval::Week, at(2027, 1, 4), 2, 2), 1);
    EXPECT_EQ(fn::datePart(fn::Interval::DayOfYear, at(2026, 12, 31), 1, 1), 365);
    EXPECT_EQ(fn::dateSerial(2026, 13, 1), at(2027, 1, 1));
    EXPECT_EQ(fn::dateSerial(2026, 3, 0), at(2026, 2, 28));
    EXPECT_EQ(fn::dateSerial(26, 1, 1), at(2026, 1, 1));
    EXPECT_EQ(fn::dateSerial(99, 1, 1), at(1999, 1, 1));
    EXPECT_THROW(fn::parseInterval(QStringLiteral("days")), rt::Error);
    EXPECT_EQ(fn::parseInterval(QStringLiteral("YYYY")), fn::Interval::Year);
}

struct LikeCase {
    const char* pattern;
    const char* text;
    bool matches;
};

TEST(JetLike, Wildcards) {
    const LikeCase cases[] = {
        {"%", "", true},
        {"", "", true},
        {"", "a", false},
        {"a%", "ABC", true},
        {"%c", "abC", true},
        {"a_c", "abc", true},
        {"a_c", "ac", false},
        {"[a-c]x", "Bx", true},
        {"[!a-c]x", "bx", false},
        {"[^a-c]x", "dx", true},
        {"[abc]", "d", false},
        {"a[]b", "ab", true},
        {"[%]%", "%x", true},
        {"[[]x", "[x", true},
        {"a]b", "a]b", true},
        {"%a%a%a%a%b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"*", "*", true},
        {"*", "x", false},
        {"?", "x", false},
        {"#", "#", true},
        {"%ß%", "STRASSE", false},
        {"ä_", "ÄB", true},
        {"[!]", "!", true},
    };
    for (const LikeCase& c : cases) {
        EXPECT_EQ(fn::LikePattern::compile(QString::fromUtf8(c.pattern))
                      .matches(QString::fromUtf8(c.text)),
                  c.matches)
            << c.pattern << " ~ " << c.text;
    }
    EXPECT_THROW(fn::LikePattern::compile(QStringLiteral("[abc")), rt::Error);
    EXPECT_THROW(fn::LikePattern::compile(QStringLiteral("[z-a]")), rt::Error);
}

}  // namespace
