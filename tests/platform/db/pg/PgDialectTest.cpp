// The PostgreSQL spelling of the system's own statements and of Jet's
// constructs (no server needed: the text is checked).
#include "platform/db/jet/PgDialect.h"
#include "platform/db/pg/Errors.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

using db::jet::pgDialect;

struct Case {
    const char* name;
    const char16_t* jet;
    const char* sql;
};
// Printed by its name where a failure shows the case.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

rt::VarType kindOf(const QString& table, const QString& column) {
    const QString c = column.toLower();
    if (c == u"dates" || c == u"datet" || c == u"invdatet") return rt::VarType::Date;
    if (c == u"curryear") return rt::VarType::Boolean;
    if (c == u"dcno" || c == u"invno" || c == u"name") return rt::VarType::Text;
    if (c == u"minyear" || c == u"maxyear" || c == u"sysid" || c == u"userid" || c == u"screenid" ||
        c == u"userval" || c == u"dcinvid")
        return rt::VarType::Int32;
    return rt::VarType::Empty;
}

class PgSpelling : public ::testing::TestWithParam<Case> {};

// The SQL without the comments that keep names as written.
std::string withoutComments(std::string sql) {
    for (size_t at = sql.find("/*"); at != std::string::npos; at = sql.find("/*", at))
        sql.erase(at, sql.find("*/", at) + 2 - at);
    return sql;
}

TEST_P(PgSpelling, IsPlainSqlTheServerRuns) {
    rt::RegionalSettings rs(QLocale(QLocale::English, QLocale::UnitedKingdom));
    db::jet::TranslateOptions o;
    o.settings = &rs;
    o.columnKind = kindOf;
    const auto t = db::jet::translate(QString::fromUtf16(GetParam().jet), pgDialect(), o);
    EXPECT_EQ(withoutComments(t.sql), GetParam().sql);
}

const Case kCases[] = {
    {"YearName", u"select \"DB\" & minYear & \"_\" & right(maxYear,2) from DB_Years where curryear=true",
     "SELECT ($1::text || coalesce(jet.text(\"minyear\"), '') || $2::text || "
     "coalesce(jet.right(jet.text(\"maxyear\"), $3), '')) AS \"expr1000\" FROM \"db_years\" "
     "WHERE \"curryear\" <> 0"},  // a Yes/No is True when it is not 0
    {"FutureLogs", u"Delete * from logs where dates>#08/12/2026#",
     "DELETE FROM \"logs\" WHERE \"dates\" > $1"},
    {"AllOccupancy", u"Delete * from OnLineUsers", "DELETE FROM \"onlineusers\""},
    {"ErrorTrail", u"insert into errlog VALUES ('x -1 : From ClsProd', #08/12/2026 10:30:05#)",
     "INSERT INTO \"errlog\" VALUES ($1, $2)"},
    {"Unregister", u"delete * from OnLineUsers Where SysId=1 and UserId=2 and ScreenId=3",
     "DELETE FROM \"onlineusers\" WHERE \"sysid\" = $1 AND \"userid\" = $2 AND \"screenid\" = $3"},
    {"LastChallan", u"SELECT dcno from dcinv where dcinvid=(select max(dcinvid) from dcinv)",
     "SELECT \"dcno\" FROM \"dcinv\" WHERE \"dcinvid\" = (SELECT max(\"dcinvid\") AS \"expr1000\" "
     "FROM \"dcinv\")"},
    {"LastInvoice",
     u"SELECT invno from dcinv where invdatet=(select max(invdatet) from dcinv where invno is not null and InvNo<>'Nil')",
     "SELECT \"invno\" FROM \"dcinv\" WHERE \"invdatet\" = (SELECT max(\"invdatet\") AS "
     "\"expr1000\" FROM \"dcinv\" WHERE \"invno\" IS NOT NULL AND \"invno\" <> $1)"},
    {"LikeThroughTheJetPattern", u"select * from t where name like 'a%'",
     "SELECT * FROM \"t\" WHERE (jet.text(\"name\") COLLATE jet.cs ~* jet.like_regex(jet.text($1)))"},
    {"ClockIsAMarker", u"select Now() from t",
     "SELECT \x01NOW\x01 AS \"expr1000\" FROM \"t\""},
    {"TextFunctionsReadTheTextForm", u"select left(userid, 2), mid(name, 2, 3), len(dates) from t",
     "SELECT jet.left(jet.text(\"userid\"), $1) AS \"expr1000\", jet.mid(jet.text(\"name\"), $2, $3) "
     "AS \"expr1001\", jet.len(jet.text(jet.text(\"dates\"))) AS \"expr1002\" FROM \"t\""},
    {"DateFunctions", u"select DateAdd('d', 1, dates), Year(dates) from t",
     "SELECT jet.dateadd(jet.text($1), jet.num($2), jet.dt(\"dates\")) AS \"expr1000\", "
     "jet.year(jet.dt(\"dates\")) AS \"expr1001\" FROM \"t\""},
    {"YesNoValueOfACondition", u"select (userid > 1) from t",
     "SELECT (-((\"userid\" > $1)::integer)) AS \"expr1000\" FROM \"t\""},
    {"TopBecomesLimit", u"select top 5 name from t order by name", "SELECT \"name\" FROM \"t\" ORDER BY \"name\" LIMIT 5"},
    {"TextFunctionsOfTheJetSchema",
     u"select Replace(name, 'a', 'b', 2), StrComp(name, 'x', 0), IsDate(name), String(2, name), "
     u"WeekdayName(1, True) from t",
     "SELECT jet.replace(jet.text(\"name\"), jet.text($1), jet.text($2), jet.num($3)) AS "
     "\"expr1000\", jet.strcomp(jet.text(\"name\"), jet.text($4), jet.num($5)) AS \"expr1001\", "
     "jet.isdate(\"name\") AS \"expr1002\", jet.string(jet.num($6), \"name\") AS \"expr1003\", "
     "jet.weekdayname(jet.num($7), jet.num($8)) AS \"expr1004\" FROM \"t\""},
    {"LiteralComparisonIsCaseInsensitive", u"select 1 from t where 'a' = 'A'",
     "SELECT $1 AS \"expr1000\" FROM \"t\" WHERE ($2 COLLATE jet.ci) = $3"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PgSpelling, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PgSpelling, NamesAreLowerCasedAndQuoted) {
    // The written form follows in a comment, for failures that name it.
    EXPECT_EQ(pgDialect().quoteIdentifier(QStringLiteral("OnLineUsers")),
              "\"onlineusers\"/*OnLineUsers*/");
    EXPECT_EQ(pgDialect().quoteIdentifier(QStringLiteral("dcno")), "\"dcno\"");
    EXPECT_EQ(pgDialect().quoteIdentifier(QStringLiteral("A*/B")), "\"a*/b\"/*A*_B*/");
    EXPECT_EQ(pgDialect().quoteIdentifier(QStringLiteral("a\"b")), "\"a\"\"b\"");
    EXPECT_EQ(db::pg::writtenName(QStringLiteral("onlineusers"),
                                  "DELETE FROM \"onlineusers\"/*OnLineUsers*/ WHERE x = 1"),
              QStringLiteral("OnLineUsers"));
}

TEST(PgSpelling, LiteralsWrittenIntoTheText) {
    const auto& d = pgDialect();
    EXPECT_EQ(d.literal(rt::Variant("it's")), "'it''s'");
    EXPECT_EQ(d.literal(rt::Variant(int32_t(-5))), "(-5)");
    EXPECT_EQ(d.literal(rt::Variant(true)), "(-1)");
    EXPECT_EQ(d.literal(rt::Variant(rt::Currency{12345})), "'1.2345'::numeric");
    EXPECT_EQ(d.literal(rt::Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30)))),
              "'2026-12-08 10:30:00.000'::timestamp");
    EXPECT_EQ(d.literal(rt::Variant::null()), "NULL");
}

}  // namespace
