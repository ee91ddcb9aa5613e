// Number reading, rounding and the run-time's integer conversions.
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct LeadingCase {
    const char16_t* text;
    double value;
};

TEST(LeadingNumber, ReadsTheLeadingNumberOfAText) {
    const LeadingCase cases[] = {
        {u"57", 57},          {u"57/A", 57},       {u"A57", 0},        {u"", 0},
        {u"  12.5", 12.5},    {u"1 2 3", 123},     {u"\t-4\n2", -42},  {u"1.2.3", 1.2},
        {u"1:30", 1},         {u"+7x", 7},         {u"1e3", 1000},     {u"1D2", 100},
        {u"2E", 2},           {u"2E+", 2},         {u"&H1F", 31},      {u"&O17", 15},
        {u"&HFFFF", -1},      {u"&hff", 255},      {u".5", 0.5},       {u"-", 0},
        {u"10 kg", 10},       {u"9,5", 9},         {u"1.5e-1", 0.15},  {u"x", 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(rt::leadingNumber(QString::fromUtf16(c.text)), c.value)
            << QString::fromUtf16(c.text).toStdString();
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(rt::roundHalfEven(12.5), 12);
    EXPECT_EQ(rt::roundHalfEven(13.5), 14);
    EXPECT_EQ(rt::roundHalfEven(-2.5), -2);
    EXPECT_EQ(rt::roundHalfEven(2.6), 3);
    EXPECT_DOUBLE_EQ(rt::roundHalfEven(0.125, 2), 0.12);
    EXPECT_DOUBLE_EQ(rt::roundHalfEven(0.375, 2), 0.38);
    EXPECT_DOUBLE_EQ(rt::roundHalfEven(6.75, 2), 6.75);
}

TEST(IntegerConversion, OverflowIsAnErrorNotAWrap) {
    EXPECT_EQ(rt::toInt32Checked(2147483647.0), 2147483647);
    EXPECT_EQ(rt::toInt32Checked(-2147483648.4), INT32_MIN);
    EXPECT_EQ(rt::toInt16Checked(32767.4), 32767);
    try {
        rt::toInt32Checked(2147483647.5);
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::Overflow);
        EXPECT_EQ(e.description(), QStringLiteral("Overflow"));
    }
    EXPECT_THROW(rt::toInt16Checked(32767.5), rt::Error);
    EXPECT_THROW(rt::checkedInt16(32768), rt::Error);
    EXPECT_THROW(rt::toInt32Checked(NAN), rt::Error);
}

TEST(ParseNumber, WholeTextMustBeANumber) {
    EXPECT_EQ(rt::parseNumber(QStringLiteral(" 12,5 "), u','), 12.5);
    EXPECT_EQ(rt::parseNumber(QStringLiteral("12.5"), u','), 12.5);
    EXPECT_EQ(rt::parseNumber(QStringLiteral("-3"), u'.'), -3);
    EXPECT_EQ(rt::parseNumber(QStringLiteral("&H10"), u'.'), 16);
    EXPECT_FALSE(rt::parseNumber(QStringLiteral("57/A"), u'.'));
    EXPECT_FALSE(rt::parseNumber(QStringLiteral(""), u'.'));
    EXPECT_FALSE(rt::parseNumber(QStringLiteral("1e"), u'.'));
}

TEST(FormatGeneral, FifteenDigitsNoTrailingZerosRegionalSeparator) {
    EXPECT_EQ(rt::formatGeneral(0.1 + 0.2, u'.'), QStringLiteral("0.3"));
    EXPECT_EQ(rt::formatGeneral(9.5, u','), QStringLiteral("9,5"));
    EXPECT_EQ(rt::formatGeneral(26, u'.'), QStringLiteral("26"));
    EXPECT_EQ(rt::formatGeneral(-4, u'.'), QStringLiteral("-4"));
    EXPECT_EQ(rt::formatGeneral(123456789012345.0, u'.'), QStringLiteral("123456789012345"));
    EXPECT_EQ(rt::formatGeneral(1e15, u'.'), QStringLiteral("1E+15"));
    EXPECT_EQ(rt::formatGeneral(0.00001, u'.'), QStringLiteral("0.00001"));
    EXPECT_EQ(rt::formatGeneral(1.5e-7, u'.'), QStringLiteral("1.5E-07"));
    EXPECT_EQ(rt::formatGeneral(3.14159274101257, u'.', 7), QStringLiteral("3.141593"));
}

}  // namespace
