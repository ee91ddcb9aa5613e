// Variant conversions and the regional text forms.
#include "Errors.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/RegionalSettings.h"
#include "platform/runtime/Variant.h"

#include <gtest/gtest.h>

namespace {

using testing_support::errorOf;

using rt::Variant;

rt::RegionalSettings settings(QLocale::Language l, QLocale::Territory t) {
    return rt::RegionalSettings(QLocale(l, t));
}


TEST(Variant, JoiningNullGivesNothingConvertingItFails) {
    auto rs = settings(QLocale::English, QLocale::UnitedKingdom);
    EXPECT_EQ(Variant::null().joinText(rs), QString());
    EXPECT_EQ(Variant().joinText(rs), QString());
    EXPECT_EQ(errorOf([&] { Variant::null().toText(rs); }), rt::err::InvalidUseOfNull);
    EXPECT_EQ(errorOf([&] { Variant::null().toInt32(rs); }), rt::err::InvalidUseOfNull);
}

TEST(Variant, ToInt32RoundsHalvesToEvenAndChecks) {
    auto rs = settings(QLocale::English, QLocale::UnitedKingdom);
    EXPECT_EQ(Variant(12.5).toInt32(rs), 12);
    EXPECT_EQ(Variant(13.5).toInt32(rs), 14);
    EXPECT_EQ(Variant(QStringLiteral("7.5")).toInt32(rs), 8);
    EXPECT_EQ(Variant(rt::Currency{25000}).toInt32(rs), 2);  // 2.5 -> 2
    EXPECT_EQ(Variant(true).toInt32(rs), -1);
    EXPECT_EQ(Variant().toInt32(rs), 0);
    EXPECT_EQ(errorOf([&] { Variant(QStringLiteral("Bolts")).toInt32(rs); }),
              rt::err::TypeMismatch);
    EXPECT_EQ(errorOf([&] { Variant(3e9).toInt32(rs); }), rt::err::Overflow);
    EXPECT_EQ(errorOf([&] { Variant(int32_t(40000)).toInt16(rs); }), rt::err::Overflow);
}

TEST(Variant, TextFormsFollowTheRegionalSettings) {
    auto gb = settings(QLocale::English, QLocale::UnitedKingdom);
    auto de = settings(QLocale::German, QLocale::Germany);
    EXPECT_EQ(Variant(9.5).toText(gb), QStringLiteral("9.5"));
    EXPECT_EQ(Variant(9.5).toText(de), QStringLiteral("9,5"));
    EXPECT_EQ(Variant(float(0.1f)).toText(gb), QStringLiteral("0.1"));
    EXPECT_EQ(Variant(rt::Currency{35000}).toText(gb), QStringLiteral("3.5"));
    EXPECT_EQ(Variant(int16_t(0)).toText(gb), QStringLiteral("0"));
    EXPECT_EQ(Variant(true).toText(gb), QStringLiteral("True"));
    const QDateTime noon = rt::naiveDateTime(QDate(2026, 3, 5), QTime(14, 7, 9));
    EXPECT_EQ(Variant(noon).toText(gb), QStringLiteral("05/03/2026 14:07:09"));
    EXPECT_EQ(Variant(noon).toText(de), QStringLiteral("05.03.2026 14:07:09"));
    EXPECT_EQ(Variant::fromDate(QDate(2026, 3, 5)).toText(gb), QStringLiteral("05/03/2026"));
}

TEST(Variant, DecimalKeepsEveryDigit) {
    rt::Decimal d;
    ASSERT_TRUE(rt::Decimal::parse(QStringLiteral("-12345678901234567890.1234"), d));
    EXPECT_EQ(d.toPlainText(), QStringLiteral("-12345678901234567890.1234"));
    auto gb = settings(QLocale::English, QLocale::UnitedKingdom);
    ASSERT_TRUE(rt::Decimal::parse(QStringLiteral("1.500"), d));
    EXPECT_EQ(Variant(d).toText(gb), QStringLiteral("1.5"));
}

TEST(Dates, SerialNumbersOfTheRunTime) {
    EXPECT_DOUBLE_EQ(rt::dateToSerial(rt::naiveDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0);
    EXPECT_DOUBLE_EQ(rt::dateToSerial(rt::naiveDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
    EXPECT_EQ(rt::serialToDate(-1.25), rt::naiveDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_EQ(rt::serialToDate(2.5), rt::naiveDateTime(QDate(1900, 1, 1), QTime(12, 0)));
    EXPECT_THROW(rt::serialToDate(1e9), rt::Error);
    // A time that rounds up to midnight is the next day on both sides of
    // 1899-12-30, up to the last instant of 9999 and from 0100-01-01.
    EXPECT_EQ(rt::serialToDate(-1.9999999999), rt::naiveDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(rt::serialToDate(-366.99999999999), rt::naiveDateTime(QDate(1898, 12, 30), QTime(0, 0)));
    EXPECT_EQ(rt::serialToDate(1.9999999999), rt::naiveDateTime(QDate(1900, 1, 1), QTime(0, 0)));
    EXPECT_EQ(rt::serialToDate(2958465.999999996),
              rt::naiveDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)));
    EXPECT_EQ(rt::serialToDate(-657434.5), rt::naiveDateTime(QDate(100, 1, 1), QTime(12, 0)));
    EXPECT_THROW(rt::serialToDate(-657435.0), rt::Error);
}

struct LocaleCase {
    QLocale::Language language;
    QLocale::Territory territory;
    const char* shortDate;  // 2026-12-08 written in the short date form
};

TEST(RegionalSettings, ShortDatesUseFourDigitYearsAndReadBack) {
    const LocaleCase cases[] = {
        {QLocale::English, QLocale::UnitedStates, "12/8/2026"},
        {QLocale::English, QLocale::UnitedKingdom, "08/12/2026"},
        {QLocale::German, QLocale::Germany, "08.12.2026"},
    };
    const QDate day(2026, 12, 8);
    for (const auto& c : cases) {
        rt::RegionalSettings rs(QLocale(c.language, c.territory));
        EXPECT_EQ(rs.shortDate(day), QString::fromLatin1(c.shortDate));
        auto back = rs.readDate(rs.shortDate(day));
        ASSERT_TRUE(back) << c.shortDate;
        EXPECT_EQ(back->date(), day);
        const QDateTime moment = rt::naiveDateTime(day, QTime(23, 59, 58));
        auto general = rs.readDate(rs.generalDate(moment));
        ASSERT_TRUE(general) << rs.generalDate(moment).toStdString();
        EXPECT_EQ(*general, moment);
        EXPECT_EQ(rs.readDate(QStringLiteral("2026-12-08"))->date(), day);
        EXPECT_EQ(*rs.readDate(QStringLiteral("2026-12-08 23:59:58")), moment);
    }
}

TEST(RegionalSettings, SettablePatternsAndRevision) {
    rt::RegionalSettings rs(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const auto before = rs.revision();
    rs.setShortDatePattern(QStringLiteral("d/M/yy"));
    EXPECT_EQ(rs.shortDatePattern(), QStringLiteral("d/M/yyyy"));
    EXPECT_NE(rs.revision(), before);
    EXPECT_EQ(rs.shortDate(QDate(2026, 3, 5)), QStringLiteral("5/3/2026"));
    EXPECT_FALSE(rs.readDate(QStringLiteral("not a date")));
}

}  // namespace
