// String helpers: fields of separated lists, word wrapping, runs of one
// character, fixed-width numbers, trailing line breaks and search-and-replace,
// including the limits where they fail.
#include "Errors.h"
#include <QLocale>
#include <functional>

#include "platform/runtime/Error.h"
#include "tests/support/LibFixture.h"

namespace {

using testing_support::errorOf;

using testing_support::LibTest;

class StringUtilsTest : public LibTest {};

// ---- Str_Split_Using_Separator ----

struct SplitCase {
    const char16_t* text;
    const char16_t* sep;
    int16_t pos;
    const char16_t* field;
};

const SplitCase kSplitCases[] = {
    {u"a,b,c", u",", 1, u"a"},
    {u"a,b,c", u",", 2, u"b"},
    {u"a,b,c", u",", 3, u"c"},
    {u"a,b,c", u",", 4, u""},
    {u"a,b,c", u",", 32767, u""},
    {u"a,b,c", u",", -1, u""},
    {u"a,b,", u",", 2, u"b"},
    {u"a,b,", u",", 3, u""},
    {u"a,b,", u",", 4, u""},
    {u"abc", u",", 1, u"abc"},
    {u"abc", u",", 2, u""},
    {u"", u",", 1, u""},
    {u"a,b", u"", 1, u""},
    {u"a,b", u"", 2, u""},
    {u"a,b", u"", -3, u""},
    {u" a , b ", u",", 2, u" b "},  // fields are not trimmed
    {u",x", u",", 1, u""},
    {u",x", u",", 2, u"x"},
    {u"aXbxc", u"x", 1, u"aXb"},  // exact, case-sensitive
    // A separator of several characters is dropped whole.
    {u"a||b||c", u"||", 1, u"a"},
    {u"a||b||c", u"||", 2, u"b"},
    {u"a||b||c", u"||", 3, u"c"},
    {u"a||b||c", u"||", 4, u""},
    {u"a|||b", u"||", 2, u"|b"},
};

TEST_F(StringUtilsTest, SplitReturnsTheFieldAtAPosition) {
    for (const SplitCase& c : kSplitCases) {
        EXPECT_EQ(lib->Str_Split_Using_Separator(QString::fromUtf16(c.text),
                                                 QString::fromUtf16(c.sep), c.pos),
                  QString::fromUtf16(c.field))
            << QString::fromUtf16(c.text).toStdString() << " at " << c.pos;
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(StringUtilsTest, SplitAtPositionZeroShowsPositionError) {
    EXPECT_EQ(lib->Str_Split_Using_Separator("a,b", ",", 0), QString());
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Position Error");
    EXPECT_EQ(boxes()[0].title, "TestApp");
    EXPECT_EQ(boxes()[0].icon, ui::Icon::None);  // a plain box, OK only
}

TEST_F(StringUtilsTest, SplitFindsFieldsFarIntoALongList) {
    QStringList parts;
    for (int i = 1; i <= 40000; ++i) parts << QString::number(i);
    const QString list = parts.join(u',');
    EXPECT_EQ(lib->Str_Split_Using_Separator(list, ",", 32767), "32767");
    EXPECT_EQ(lib->Str_Split_Using_Separator(list, ",", -32768), "");
}

// ---- setWidth ----

struct WidthCase {
    const char16_t* text;
    int16_t width;
    const char16_t* wrapped;
};

const WidthCase kWidthCases[] = {
    {u"", 10, u""},
    {u"aa bb cc", 5, u"aa bb \ncc "},
    {u"aa bb cc", 6, u"aa bb cc "},
    {u"aa bb cc", 4, u"aa bb \ncc "},
    {u"aa bb cc", 3, u"aa \nbb \ncc "},
    {u"aa bb cc", 100, u"aa bb cc "},
    {u"a  b", 10, u"a  b "},
    {u"word", 1, u"word "},  // the last word never brings a trailing line feed
    {u"a longword b", 3, u"a \nlongword \nb "},
    {u"aa bb", 0, u"aa \nbb "},
    {u"aa bb", -5, u"aa \nbb "},
    {u" ", 0, u"  "},
};

TEST_F(StringUtilsTest, SetWidthWrapsBetweenWords) {
    for (const WidthCase& c : kWidthCases) {
        const QString text = QString::fromUtf16(c.text);
        const int16_t width = c.width;
        EXPECT_EQ(lib->setWidth(text, width), QString::fromUtf16(c.wrapped))
            << text.toStdString() << " in " << c.width;
        EXPECT_EQ(text, QString::fromUtf16(c.text));
    }
}

TEST_F(StringUtilsTest, SetWidthFailsWhenALineOutgrowsSixteenBits) {
    const QString longest(32767, u'x');
    EXPECT_EQ(lib->setWidth(longest, 32767), longest + " ");
    EXPECT_EQ(lib->setWidth(longest + " y", 32767), longest + " \ny ");
    const QString tooLong(32768, u'x');
    EXPECT_EQ(errorOf([&] { lib->setWidth(tooLong, 32767); }), rt::err::Overflow);
    EXPECT_EQ(errorOf([&] { lib->setWidth("a " + tooLong, 10); }), rt::err::Overflow);
}

// ---- repeat_char ----

TEST_F(StringUtilsTest, RepeatCharMakesARun) {
    EXPECT_EQ(lib->repeat_char(45, 3), "---");
    EXPECT_EQ(lib->repeat_char(45, 0), "");
    EXPECT_EQ(lib->repeat_char(45, -7), "");
    EXPECT_EQ(lib->repeat_char(0, 2), QString(2, QChar(0)));
    EXPECT_EQ(lib->repeat_char(32767, 0), "");  // no character made, nothing to fail
    const QString longest = lib->repeat_char(61, 32767);
    EXPECT_EQ(longest.size(), 32767);
    EXPECT_EQ(longest.count(u'='), 32767);
}

TEST_F(StringUtilsTest, RepeatCharUsesTheWindowsCodePage) {
    EXPECT_EQ(lib->repeat_char(128, 1), QString(QChar(0x20AC)));     // euro sign
    EXPECT_EQ(lib->repeat_char(150, 2), QString(2, QChar(0x2013)));  // en dash
    EXPECT_EQ(lib->repeat_char(159, 1), QString(QChar(0x0178)));
    EXPECT_EQ(lib->repeat_char(129, 1), QString(QChar(0x0081)));  // unassigned code
    EXPECT_EQ(lib->repeat_char(160, 1), QString(QChar(0x00A0)));
    EXPECT_EQ(lib->repeat_char(233, 1), QString(QChar(0x00E9)));
    EXPECT_EQ(lib->repeat_char(255, 1), QString(QChar(0x00FF)));
    EXPECT_EQ(errorOf([&] { lib->repeat_char(256, 1); }), rt::err::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { lib->repeat_char(-1, 1); }), rt::err::InvalidProcedureCall);
}

// ---- LPad ----

struct PadCase {
    rt::Variant value;
    int16_t decimals;
    int16_t width;
    const char* padded;
};

TEST_F(StringUtilsTest, LPadRightAlignsInExactlyTheWidth) {
    const PadCase cases[] = {
        {3.14159, 2, 8, "    3.14"},
        {2.5, 0, 3, "  3"},
        {-2.5, 0, 3, " -3"},
        {0.5, 0, 2, " 1"},
        {2.675, 2, 6, "  2.68"},  // the value as written, not its binary neighbour
        {1.005, 2, 6, "  1.01"},
        {9.995, 2, 6, " 10.00"},
        {-0.001, 2, 6, " -0.00"},  // negative, though it rounds to 0
        {-0.4, 0, 2, "-0"},
        {"-0.001", 1, 4, "-0.0"},
        {-0.0, 1, 4, " 0.0"},
        {int32_t(1234), 0, 3, "234"},
        {int32_t(1234), 0, 6, "  1234"},
        {int16_t(-7), 3, 7, " -7.000"},
        {12.0, -2, 4, "  12"},
        {1e20, 0, 21, "100000000000000000000"},
        {0.000001, 3, 5, "0.000"},
        {1.5f, 1, 4, " 1.5"},
        {rt::Currency{123456789}, 2, 9, " 12345.68"},
        {rt::Currency{-50000}, 0, 4, "  -5"},
        {"AB", 2, 4, "  AB"},
        {" 12.5 ", 1, 6, "  12.5"},  // numeric text is formatted as a number
        {"12.5kg", 1, 7, " 12.5kg"},
        {"", 0, 2, "  "},
        {rt::Variant::null(), 2, 3, "   "},
        {rt::Variant(), 2, 3, "   "},
        {3.14159, 2, 0, ""},
        {"AB", 0, 0, ""},
    };
    for (const PadCase& c : cases) {
        EXPECT_EQ(lib->LPad(c.value, c.decimals, c.width), QString::fromLatin1(c.padded))
            << c.value.debugString().toStdString();
    }
}

TEST_F(StringUtilsTest, LPadFailsForANegativeWidth) {
    EXPECT_EQ(errorOf([&] { lib->LPad(1.0, 0, -1); }), rt::err::InvalidProcedureCall);
}

TEST_F(StringUtilsTest, LPadFollowsTheRegionalDecimalSeparator) {
    fake.settings->setDecimalSeparator(u',');
    EXPECT_EQ(lib->LPad(3.14159, 2, 6), "  3,14");
    EXPECT_EQ(lib->LPad("2,5", 0, 2), " 3");  // read with the user's separator
    EXPECT_EQ(lib->LPad("1,25", 1, 4), " 1,3");
    EXPECT_EQ(lib->LPad(7.0, 0, 2), " 7");
}

// ---- 16-bit parameters ----

// A host passes its own 32-bit numbers. Inside -32768..32767 each routine runs
// and meets its own outcome (an error number, or 0 for none); outside, the
// call fails with Overflow before the routine does anything, never wrapping.
struct SixteenBitParameter {
    const char* name;  // routine and parameter
    std::function<QString(clsProd&, int32_t)> call;
    int32_t atMax;  // outcome at 32767
    int32_t atMin;  // outcome at -32768
};

const SixteenBitParameter kSixteenBitParameters[] = {
    {"repeat_char ch", [](clsProd& p, int32_t v) { return p.repeat_char(v, 1); },
     rt::err::InvalidProcedureCall, rt::err::InvalidProcedureCall},
    {"repeat_char lengt", [](clsProd& p, int32_t v) { return p.repeat_char(45, v); }, 0, 0},
    {"Str_Split_Using_Separator pos",
     [](clsProd& p, int32_t v) { return p.Str_Split_Using_Separator("a,b", ",", v); }, 0, 0},
    {"setWidth Width", [](clsProd& p, int32_t v) { return p.setWidth("aa bb", v); }, 0, 0},
    {"LPad nDec", [](clsProd& p, int32_t v) { return p.LPad(1.5, v, 4); }, 0, 0},
    {"LPad WidthOut", [](clsProd& p, int32_t v) { return p.LPad(1.5, 0, v); }, 0,
     rt::err::InvalidProcedureCall},
};

TEST_F(StringUtilsTest, SixteenBitParametersOverflowAtTheCallInsteadOfWrapping) {
    for (const SixteenBitParameter& c : kSixteenBitParameters) {
        SCOPED_TRACE(c.name);
        for (const auto& v : testing_support::sixteenBitEdges(c.atMax, c.atMin)) {
            EXPECT_EQ(errorOf([&] { c.call(*lib, v.value); }), v.outcome) << v.value;
        }
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(StringUtilsTest, SixteenBitParametersTakeWhateverNumberTheHostHolds) {
    EXPECT_EQ(lib->repeat_char(45, int64_t(3)), "---");
    EXPECT_EQ(errorOf([&] { lib->repeat_char(45, (int64_t(1) << 32) + 3); }), rt::err::Overflow);
    EXPECT_EQ(lib->repeat_char(45, uint32_t(2)), "--");
    EXPECT_EQ(errorOf([&] { lib->repeat_char(45, uint16_t(40000)); }), rt::err::Overflow);
    EXPECT_EQ(errorOf([&] { lib->repeat_char(45, UINT64_MAX); }), rt::err::Overflow);
    EXPECT_EQ(lib->repeat_char('=', 2), "==");
    // A floating-point number is rounded first, halves to even.
    EXPECT_EQ(lib->repeat_char(45, 2.5), "--");
    EXPECT_EQ(lib->repeat_char(45, 3.5f), "----");
    EXPECT_EQ(lib->repeat_char(45, -32768.5), "");
    EXPECT_EQ(lib->repeat_char(45, 32767.4).size(), 32767);
    EXPECT_EQ(errorOf([&] { lib->repeat_char(45, 32767.5); }), rt::err::Overflow);
    EXPECT_EQ(errorOf([&] { lib->repeat_char(45, 40000.0); }), rt::err::Overflow);
    // 65536 would wrap to 0, the position that shows "Position Error".
    EXPECT_EQ(errorOf([&] { lib->Str_Split_Using_Separator("a,b", ",", 65536); }),
              rt::err::Overflow);
    EXPECT_TRUE(boxes().empty());
}

// ---- remove_all_vbcrlf ----

TEST_F(StringUtilsTest, RemoveAllVbCrLfDropsTrailingBreaksOnly) {
    EXPECT_EQ(lib->remove_all_vbcrlf("x\r\n\r\n"), "x");
    EXPECT_EQ(lib->remove_all_vbcrlf("\r\n\n\r"), "");
    EXPECT_EQ(lib->remove_all_vbcrlf("a\r\nb\n"), "a\r\nb");
    EXPECT_EQ(lib->remove_all_vbcrlf("a \t"), "a \t");
    EXPECT_EQ(lib->remove_all_vbcrlf(""), "");
}

// ---- ReplStr ----

struct ReplaceCase {
    const char* text;
    const char* find;
    const char* with;
    const char* result;
};

const ReplaceCase kReplaceCases[] = {
    {"abcabc", "b", "", "acac"},
    {"aaa", "a", "aa", "aaaaaa"},
    {"ABC", "b", "x", "ABC"},
    {"O'Brien", "'", "''", "O''Brien"},
    {"''", "'", "''", "''''"},
    {"aaaa", "aa", "a", "aa"},
    {"abab", "ab", "ba", "baba"},
    {"", "a", "b", ""},
    {"abc", "", "x", "abc"},  // nothing to find: unchanged
    {"", "", "x", ""},
};

TEST_F(StringUtilsTest, ReplStrReplacesEveryOccurrenceAndUpdatesTheCaller) {
    for (const ReplaceCase& c : kReplaceCases) {
        QString text = QString::fromLatin1(c.text);
        const QString result =
            lib->ReplStr(text, QString::fromLatin1(c.find), QString::fromLatin1(c.with));
        EXPECT_EQ(result, QString::fromLatin1(c.result)) << c.text;
        EXPECT_EQ(text, result) << c.text;
    }
}

TEST_F(StringUtilsTest, ReplStrWithTheSameStringAsTextAndFind) {
    QString text = "abc";
    EXPECT_EQ(lib->ReplStr(text, text, "x"), "x");
    EXPECT_EQ(text, "x");
    QString other = "ab";
    EXPECT_EQ(lib->ReplStr(other, "b", other), "aab");
}

}  // namespace
