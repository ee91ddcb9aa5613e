// What Jet's functions mean, apart from any engine: LIKE patterns, date
// intervals (DateAdd, DateDiff, DatePart, Weekday, DateSerial) and Format.
// The SQLite functions of JetFunctions.cpp adapt these to SQLite values.
//
// Failures raise rt::Error with the run-time's numbers: 5 for an invalid
// argument (an unknown interval, a bad pattern), 6 for a date out of range.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/runtime/RegionalSettings.h"
#include "platform/runtime/Variant.h"

namespace db::jet::fn {

// A LIKE pattern with the wildcards of the Jet OLE DB provider: % any run of
// characters, _ one character, [abc] [a-z] one of a list, [!a-z] (or [^a-z])
// one not in it. '*', '?' and '#' are plain characters. Letter case is ignored.
class LikePattern {
  public:
    // Fails with 5 ("Invalid pattern string") for an unclosed '[' or a
    // descending range such as [z-a].
    static LikePattern compile(const QString& pattern);
    bool matches(const QString& text) const;

  private:
    struct Element {
        enum class Kind : unsigned char { Char, One, Many, Set } kind = Kind::Char;
        bool negated = false;
        char16_t c = 0;                                     // Char (case-folded)
        std::vector<std::pair<char16_t, char16_t>> ranges;  // Set (case-folded)
        bool matches(char16_t ch) const;
    };
    std::vector<Element> elements_;
};

// The order in which the numbers of a date text are read. Regional: the
// regional short date's order when the numbers stand between its separator
// (as the system writes dates), else month first. MonthFirst: always month
// first (Jet's rule for #m/d/yyyy# literals). When the preferred order gives
// no valid date, the other orders are tried.
enum class DateOrder : unsigned char { Regional, MonthFirst };

// A date and/or time read from text as Jet's conversions read it (CDate,
// DateValue, TimeValue, a text stored into a date column, #...# literals):
// numbers separated by / - . or blanks in the preferred order (a first number
// of three or four digits is a year: yyyy-mm-dd); month names, English or the
// locale's, long or short ("January 2, 2024", "2 Jan 2024", "2-Jan-24");
// weekday names skipped; two-digit years in 1930-2029; a day and month
// without a year in `currentYear`; times h:mm[:ss[.fff]] or "h AM" with AM/PM
// (or the locale's texts). A time alone falls on 1899-12-30, a date alone at
// midnight. Nothing when the text is no date or the date is outside 100-9999.
std::optional<QDateTime> readDate(const QString& text, const rt::RegionalSettings& rs,
                                  DateOrder order, int currentYear);

// A whole text read as a number the way Jet's conversions read it: blanks
// around, a sign, the locale's currency symbol, thousand separators between
// the digits of the whole part, the regional decimal separator (or '.'), an
// exponent, &H / &O. Nothing when the text is not numeric.
std::optional<double> readNumber(const QString& text, const rt::RegionalSettings& rs);

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

// "yyyy" "q" "m" "y" "d" "w" "ww" "h" "n" "s", any letter case; fails with 5.
Interval parseInterval(const QString& text);

// First day of the week as the run-time numbers it: 1 Sunday ... 7 Saturday;
// 0 takes the locale's. Fails with 5 outside 0..7.
int firstDayOfWeek(int value, const rt::RegionalSettings& rs);
// Weekday of `d`, 1 for `firstDay` ... 7.
int weekday(const QDate& d, int firstDay);

// DateAdd: `n` is taken without its fraction. Fails with 5 when the result
// leaves the years 100 to 9999.
QDateTime dateAdd(Interval iv, double n, const QDateTime& d);
// DateDiff: the number of interval boundaries crossed from a to b.
int64_t dateDiff(Interval iv, const QDateTime& a, const QDateTime& b, int firstDay);
// DatePart; `firstWeek` 1: the week of January 1, 2: the first week with four
// days, 3: the first full week (0 counts as 1).
int datePart(Interval iv, const QDateTime& d, int firstDay, int firstWeek);
// DateSerial: months and days beyond their range carry over; years 0-29 are
// 2000-2029, 30-99 are 1930-1999.
QDateTime dateSerial(int64_t year, int64_t month, int64_t day);

// Format(value, pattern): named formats (General Date, Long Date, Medium Date,
// Short Date, Long Time, Medium Time, Short Time, General Number, Currency,
// Fixed, Standard, Percent, Scientific, Yes/No, True/False, On/Off) and
// patterns: for dates d dd ddd dddd ddddd dddddd w ww m mm mmm mmmm q y yy
// yyyy h hh n nn s ss ttttt c AM/PM am/pm A/P a/p AMPM / :; for numbers
// 0 # . , % E+ E- e+ e- with up to four ;-separated sections; for texts
// @ & < > !; "quoted" and \-escaped literals everywhere. An empty pattern
// gives the value's text form. REQUIRES: `v` is not Null.
QString format(const rt::Variant& v, const QString& pattern, const rt::RegionalSettings& rs);
// What Format gives for Null: the fourth section of a number pattern (its
// literals); nothing (Format gives Null) when the pattern has no fourth section.
std::optional<QString> formatNullSection(const QString& pattern);
// Format(v, pattern) for any `v`: its text, or for Null the pattern's text
// for Null (a Null when it has none).
rt::Variant formatted(const rt::Variant& v, const QString& pattern, const rt::RegionalSettings& rs);

}  // namespace db::jet::fn
