// The server engine's client-side pieces: Jet LIKE patterns as regular
// expressions, Qt date patterns as to_char patterns, values both ways.
#include "platform/db/pg/JetSchema.h"
#include "platform/db/pg/Site.h"
#include "platform/db/pg/Values.h"

#include "tests/support/Errors.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Pair {
    const char* name;
    const char16_t* input;
    const char16_t* output;
};
// Printed by its name where a failure shows the case.
void PrintTo(const Pair& c, std::ostream* os) { *os << c.name; }

std::string caseName(const ::testing::TestParamInfo<Pair>& info) { return info.param.name; }

class LikeToRegex : public ::testing::TestWithParam<Pair> {};

TEST_P(LikeToRegex, IsAnchoredAndEscaped) {
    EXPECT_EQ(db::pg::likeRegex(QString::fromUtf16(GetParam().input)),
              QString::fromUtf16(GetParam().output));
}

const Pair kPatterns[] = {
    {"Plain", u"ab12", u"^(?:ab12)$"},
    {"Percent", u"a%", u"^(?:a.*)$"},
    {"RunOfPercents", u"a%%%b", u"^(?:a.*b)$"},
    {"Underscore", u"_b", u"^(?:.b)$"},
    {"List", u"[abc]x", u"^(?:[abc]x)$"},
    {"RangeFolded", u"[A-Z]", u"^(?:[a-z])$"},
    {"Negated", u"[!0-9]", u"^(?:[^0-9])$"},
    {"CaretNegates", u"[^a]", u"^(?:[^a])$"},
    {"LoneBangIsAChar", u"[!]", u"^(?:[\\u0021])$"},
    {"EmptyListVanishes", u"a[]b", u"^(?:ab)$"},
    {"RegexOperatorsAreLiteral", u"a.b*c?", u"^(?:a\\u002eb\\u002ac\\u003f)$"},
    {"HashAndStarAreLiteral", u"#*", u"^(?:\\u0023\\u002a)$"},
    {"Backslash", u"a\\b", u"^(?:a\\u005cb)$"},
    {"NonAscii", u"é", u"^(?:\\u00e9)$"},
    {"Empty", u"", u"^(?:)$"},
};

INSTANTIATE_TEST_SUITE_P(Cases, LikeToRegex, ::testing::ValuesIn(kPatterns), caseName);

TEST(LikeToRegex, RefusesWhatJetRefuses) {
    for (const char16_t* p : {u"[abc", u"[z-a]", u"x["}) {
        SCOPED_TRACE(QString::fromUtf16(p).toStdString());
        EXPECT_EQ(testing_support::errorOf([&] { db::pg::likeRegex(QString::fromUtf16(p)); }),
                  rt::err::InvalidProcedureCall);
    }
}

class DatePatterns : public ::testing::TestWithParam<Pair> {};

TEST_P(DatePatterns, BecomeToCharPatterns) {
    EXPECT_EQ(db::pg::toCharPattern(QString::fromUtf16(GetParam().input)),
              QString::fromUtf16(GetParam().output));
}

const Pair kDatePatterns[] = {
    {"British", u"dd/MM/yyyy", u"DD/MM/YYYY"},
    {"American", u"M/d/yyyy", u"FMMM/FMDD/YYYY"},
    {"German", u"dd.MM.yyyy", u"DD.MM.YYYY"},
    {"Iso", u"yyyy-MM-dd", u"YYYY-MM-DD"},
    {"Names", u"ddd d MMMM yyyy", u"Dy FMDD FMMonth YYYY"},
    {"Time24", u"HH:mm:ss", u"HH24:MI:SS"},
    {"Time12", u"h:mm:ss AP", u"FMHH12:MI:SS AM"},
    {"TimeLower", u"hh:mm ap", u"HH12:MI am"},
    {"QuotedLiteral", u"d 'de' MMMM", u"FMDD \"de\" FMMonth"},
    {"DoubledQuote", u"HH'h'mm", u"HH24\"h\"MI"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DatePatterns, ::testing::ValuesIn(kDatePatterns), caseName);

TEST(ServerValues, ParametersInTheServersTextForm) {
    using db::pg::toParam;
    namespace oid = db::pg::oid;
    EXPECT_TRUE(toParam(rt::Variant::null()).null);
    EXPECT_TRUE(toParam(rt::Variant()).null);
    EXPECT_EQ(toParam(rt::Variant(int32_t(-7))), (db::pg::Param{oid::Int4, false, "-7"}));
    EXPECT_EQ(toParam(rt::Variant(true)), (db::pg::Param{oid::Int2, false, "-1"}));
    EXPECT_EQ(toParam(rt::Variant(false)), (db::pg::Param{oid::Int2, false, "0"}));
    EXPECT_EQ(toParam(rt::Variant(0.1)), (db::pg::Param{oid::Float8, false, "0.1"}));
    EXPECT_EQ(toParam(rt::Variant(rt::Currency{-12345})), (db::pg::Param{oid::Numeric, false, "-1.2345"}));
    EXPECT_EQ(toParam(rt::Variant(rt::Currency{std::numeric_limits<int64_t>::min()})),
              (db::pg::Param{oid::Numeric, false, "-922337203685477.5808"}));
    EXPECT_EQ(toParam(rt::Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30, 5, 7)))),
              (db::pg::Param{oid::Timestamp, false, "2026-12-08 10:30:05.007"}));
    // Texts go untyped, so that the server reads them as the column they meet.
    EXPECT_EQ(toParam(rt::Variant("57")), (db::pg::Param{0, false, "57"}));
    EXPECT_EQ(toParam(rt::Variant(QByteArray("\x01\xff", 2))), (db::pg::Param{oid::Bytea, false, "\\x01ff"}));
}

TEST(ServerValues, ResultsReadAsTheirJetKind) {
    using rt::VarType;
    using rt::Variant;
    namespace oid = db::pg::oid;
    auto read = [](const char* t, db::pg::Oid type, VarType kind) {
        return db::pg::readValue(t, int(strlen(t)), type, kind);
    };
    EXPECT_EQ(read("-1", oid::Int2, VarType::Boolean), Variant(true));
    EXPECT_EQ(read("0", oid::Int2, VarType::Boolean), Variant(false));
    EXPECT_EQ(read("12", oid::Int2, VarType::Int16), Variant(int16_t(12)));
    EXPECT_EQ(read("200", oid::Int2, VarType::Byte), Variant::byte(200));
    EXPECT_EQ(read("5", oid::Int8, VarType::Empty), Variant(int32_t(5)));
    EXPECT_EQ(read("5000000000", oid::Int8, VarType::Empty), Variant(5e9));
    EXPECT_EQ(read("12.5000", oid::Numeric, VarType::Currency), Variant(rt::Currency{125000}));
    EXPECT_EQ(read("0.1", oid::Float8, VarType::Double), Variant(0.1));
    EXPECT_EQ(read("2026-12-08 10:30:05.25", oid::Timestamp, VarType::Date),
              Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30, 5, 250))));
    EXPECT_EQ(read("2026-12-08", oid::Date, VarType::Date),
              Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(0, 0))));
    EXPECT_EQ(read("57/A", oid::Varchar, VarType::Int32), Variant("57/A"));  // as stored
    EXPECT_EQ(read("\\x01ff", oid::Bytea, VarType::Binary), Variant(QByteArray("\x01\xff", 2)));
    EXPECT_EQ(read("t", oid::Bool, VarType::Empty), Variant(true));
    EXPECT_EQ(db::pg::kindOfType(oid::Numeric, db::pg::kCurrencyTypmod), VarType::Currency);
    EXPECT_EQ(db::pg::kindOfType(oid::Numeric, -1), VarType::Decimal);
}

TEST(ServerValues, TimestampsOutsideTheirFormAreNoDates) {
    for (const char* t : {"2026-13-01", "2026-12-08T10:30:00", "26-12-08", "2026-12-08 25:00:00",
                          "infinity"}) {
        SCOPED_TRACE(t);
        EXPECT_FALSE(db::pg::parseTimestamp(t, int(strlen(t))).has_value());
    }
}

}  // namespace
