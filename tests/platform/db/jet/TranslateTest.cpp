// Translation of Jet statements: the system's own statements exactly as it
// writes them, literals as parameters, result hints, the updatable table, and
// refusals that quote the offending text.
#include <gtest/gtest.h>

#include <QStringList>

#include "tests/platform/db/jet/JetTestDb.h"

namespace {

using jettest::JetDb;

QStringList paramTexts(const db::jet::Translation& t) {
    QStringList out;
    for (const rt::Variant& v : t.params) out << v.debugString();
    return out;
}

QStringList hintNames(const db::jet::Translation& t) {
    QStringList out;
    for (rt::VarType k : t.columnHints) out << QString::fromLatin1(rt::varTypeName(k));
    return out;
}

class JetTranslate : public ::testing::Test {
  protected:
    void SetUp() override { jettest::createSystemTables(db); }
    std::unique_ptr<rt::RegionalSettings> us = jettest::settingsFor("en_US");
    JetDb db{*us};
};

struct StatementCase {
    const char* jet;
    const char* sql;
    const char* params;  // debug texts joined by "; "
};

// Every statement text the system builds (numbers, dates and texts filled in
// as the system fills them), with its translation under en_US settings.
const StatementCase kSystemStatements[] = {
    {R"(select "DB" & minYear & "_" & right(maxYear,2) from DB_Years where curryear=true)",
     R"(SELECT ?1 || coalesce("minYear", '') || ?2 || coalesce(jet_right("maxYear", ?3), '') AS "Expr1000" FROM "DB_Years" WHERE "curryear" = ?4)",
     "Text(DB); Text(_); Int32(2); Boolean(True)"},
    {"Delete * from logs where dates>#12/08/2026#", R"(DELETE FROM "logs" WHERE "dates" > ?1)",
     "Date(2026-12-08)"},
    {"Delete * from OnLineUsers", R"(DELETE FROM "OnLineUsers")", ""},
    {"insert into errlog VALUES ('Some text 123 : From ClsProd', #08/12/2026 10:00:05#)",
     R"(INSERT INTO "errlog" VALUES (?1, ?2))",
     "Text(Some text 123 : From ClsProd); Date(2026-08-12 10:00:05)"},
    {"insert into errlog VALUES ('Syntax error -2147217900 : From ClsProd', #12/8/2026 10:30:00 "
     "AM#)",
     R"(INSERT INTO "errlog" VALUES (?1, ?2))",
     "Text(Syntax error -2147217900 : From ClsProd); Date(2026-12-08 10:30:00)"},
    {"insert into errlog VALUES ('it''s : From ClsProd', #12/8/2026#)",
     R"(INSERT INTO "errlog" VALUES (?1, ?2))", "Text(it's : From ClsProd); Date(2026-12-08)"},
    {"Select * from OnLineUsers", R"(SELECT * FROM "OnLineUsers")", ""},
    {"delete * from OnLineUsers Where SysId=1 and UserId=2 and ScreenId=3",
     R"(DELETE FROM "OnLineUsers" WHERE "SysId" = ?1 AND "UserId" = ?2 AND "ScreenId" = ?3)",
     "Int32(1); Int32(2); Int32(3)"},
    {"delete * from OnLineUsers Where SysId=1", R"(DELETE FROM "OnLineUsers" WHERE "SysId" = ?1)",
     "Int32(1)"},
    {"Select DateT from OnLineUsers Where ScreenId=5 and SysId=1 and UserId=2",
     R"(SELECT "DateT" FROM "OnLineUsers" WHERE "ScreenId" = ?1 AND "SysId" = ?2 AND "UserId" = ?3)",
     "Int32(5); Int32(1); Int32(2)"},
    {"Select * from OnLineUsers Where UserVal>1 and ScreenId=5 and SysId <>1",
     R"(SELECT * FROM "OnLineUsers" WHERE "UserVal" > ?1 AND "ScreenId" = ?2 AND "SysId" <> ?3)",
     "Int32(1); Int32(5); Int32(1)"},
    {"Select * from OnlineUsers Where UserVal>1 and  SysId<>1 and ScreenId=5 Order By DateT",
     R"(SELECT * FROM "OnlineUsers" WHERE "UserVal" > ?1 AND "SysId" <> ?2 AND "ScreenId" = ?3 ORDER BY "DateT")",
     "Int32(1); Int32(1); Int32(5)"},
    {"Select UserName from User1 Where UserId=3",
     R"(SELECT "UserName" FROM "User1" WHERE "UserId" = ?1)", "Int32(3)"},
    {"Select SysName from ImpSystems Where SysId=2",
     R"(SELECT "SysName" FROM "ImpSystems" WHERE "SysId" = ?1)", "Int32(2)"},
    {"SELECT dcno from dcinv where dcinvid=(select max(dcinvid) from dcinv)",
     R"(SELECT "dcno" FROM "dcinv" WHERE "dcinvid" = (SELECT max("dcinvid") AS "Expr1000" FROM "dcinv"))",
     ""},
    {"SELECT dcno from dcOUTGOINGinv where dcid=(select max(dcid) from dcoutgoinginv)",
     R"(SELECT "dcno" FROM "dcOUTGOINGinv" WHERE "dcid" = (SELECT max("dcid") AS "Expr1000" FROM "dcoutgoinginv"))",
     ""},
    {"SELECT dcno from dcsubconOUTGOING where dcid=(select max(dcid) from dcsubconOUTGOING)",
     R"(SELECT "dcno" FROM "dcsubconOUTGOING" WHERE "dcid" = (SELECT max("dcid") AS "Expr1000" FROM "dcsubconOUTGOING"))",
     ""},
    {"SELECT invno from dcinv where invdatet=(select max(invdatet) from dcinv where invno is not "
     "null and InvNo<>'Nil')",
     R"(SELECT "invno" FROM "dcinv" WHERE "invdatet" = (SELECT max("invdatet") AS "Expr1000" FROM "dcinv" WHERE "invno" IS NOT NULL AND "InvNo" <> ?1))",
     "Text(Nil)"},
    {"SELECT invno from dcinv where  invdatet=(select max(invdatet) from dcinv where invno is not "
     "null and InvNo<>'Nil')",
     R"(SELECT "invno" FROM "dcinv" WHERE "invdatet" = (SELECT max("invdatet") AS "Expr1000" FROM "dcinv" WHERE "invno" IS NOT NULL AND "InvNo" <> ?1))",
     "Text(Nil)"},
    {"SELECT invno from dcOUTGOINGinv where  invdatet=(select max(invdatet) from dcoutgoinginv "
     "where invno is not null and InvNo<>'Nil')",
     R"(SELECT "invno" FROM "dcOUTGOINGinv" WHERE "invdatet" = (SELECT max("invdatet") AS "Expr1000" FROM "dcoutgoinginv" WHERE "invno" IS NOT NULL AND "InvNo" <> ?1))",
     "Text(Nil)"},
    {"select * from dcinv", R"(SELECT * FROM "dcinv")", ""},
    {"select * from DCINV", R"(SELECT * FROM "DCINV")", ""},
    {"select * from DCOUTGOINGINV", R"(SELECT * FROM "DCOUTGOINGINV")", ""},
    {"select * from dcsubconOUTGOING", R"(SELECT * FROM "dcsubconOUTGOING")", ""},
    {"select * from DCSUBCONOUTGOING", R"(SELECT * FROM "DCSUBCONOUTGOING")", ""},
    {"select * from SUBCONPO where suPPid=7 and PONo='A''1'",
     R"(SELECT * FROM "SUBCONPO" WHERE "suPPid" = ?1 AND "PONo" = ?2)", "Int32(7); Text(A'1)"},
    {"select * from OTHERPO where CUstid=-5 and PONo='PO/12''''A'",
     R"(SELECT * FROM "OTHERPO" WHERE "CUstid" = ?1 AND "PONo" = ?2)", "Int32(-5); Text(PO/12''A)"},
    {"select * from SUBCONPO where suppid=0 and PONo=''",
     R"(SELECT * FROM "SUBCONPO" WHERE "suppid" = ?1 AND "PONo" = ?2)", "Int32(0); Text()"},
    {"select * from PURCHPO where vendorcode=12 and PONo='x'",
     R"(SELECT * FROM "PURCHPO" WHERE "vendorcode" = ?1 AND "PONo" = ?2)", "Int32(12); Text(x)"},
};

TEST_F(JetTranslate, TranslatesEverySystemStatementAsWritten) {
    for (const StatementCase& c : kSystemStatements) {
        SCOPED_TRACE(c.jet);
        const auto t = db.translate(QString::fromUtf8(c.jet));
        EXPECT_EQ(t.sql, c.sql);
        EXPECT_EQ(paramTexts(t).join(QStringLiteral("; ")), QString::fromUtf8(c.params));
    }
}

TEST_F(JetTranslate, StatementKinds) {
    EXPECT_EQ(db.translate("Select * from logs").kind, db::jet::StatementKind::Select);
    EXPECT_EQ(db.translate("insert into logs (note) values ('a')").kind,
              db::jet::StatementKind::Insert);
    EXPECT_EQ(db.translate("update logs set note='a'").kind, db::jet::StatementKind::Update);
    EXPECT_EQ(db.translate("Delete * from logs").kind, db::jet::StatementKind::Delete);
}

TEST_F(JetTranslate, TextsDifferingOnlyInLiteralsShareOneStatement) {
    const auto a =
        db.translate("delete * from OnLineUsers Where SysId=1 and UserId=2 and ScreenId=3");
    const auto b =
        db.translate("delete * from OnLineUsers Where SysId=17 and UserId=4 and ScreenId=99");
    EXPECT_EQ(a.sql, b.sql);
    EXPECT_NE(paramTexts(a), paramTexts(b));
    const auto c = db.translate("Delete * from logs where dates>#1/2/2026#");
    const auto d = db.translate("Delete * from logs where dates>#12/31/2027 23:59:59#");
    EXPECT_EQ(c.sql, d.sql);
}

TEST_F(JetTranslate, LimitAndPositionsStayInline) {
    EXPECT_EQ(db.translate("select top 3 note from logs order by 1 desc, dates").sql,
              R"(SELECT "note" FROM "logs" ORDER BY 1 DESC, "dates" LIMIT 3)");
    EXPECT_EQ(db.translate("select note, count(*) from logs group by 1").sql,
              R"(SELECT "note", count(*) AS "Expr1000" FROM "logs" GROUP BY 1)");
}

TEST_F(JetTranslate, UnionMembersKeepTheirTopAndTheWholeIsOrdered) {
    EXPECT_EQ(
        db.translate("select top 1 UserId from User1 union all select top 2 SysId from "
                     "ImpSystems order by 1 desc")
            .sql,
        R"(SELECT * FROM (SELECT "UserId" FROM "User1" LIMIT 1) UNION ALL SELECT * FROM (SELECT "SysId" FROM "ImpSystems" LIMIT 2) ORDER BY 1 DESC)");
}

TEST_F(JetTranslate, TrailingSemicolonAndBlanksAreAccepted) {
    EXPECT_EQ(db.translate("  Delete * from OnLineUsers ;  ").sql, R"(DELETE FROM "OnLineUsers")");
    EXPECT_EQ(db.translate("Delete * from OnLineUsers;").sql, R"(DELETE FROM "OnLineUsers")");
}

TEST_F(JetTranslate, DeleteForms) {
    const char* expected = R"(DELETE FROM "logs" WHERE "id" = ?1)";
    EXPECT_EQ(db.translate("DELETE * FROM logs WHERE id=1").sql, expected);
    EXPECT_EQ(db.translate("DELETE FROM logs WHERE id=1").sql, expected);
    EXPECT_EQ(db.translate("DELETE logs.* FROM logs WHERE id=1").sql, expected);
    EXPECT_EQ(db.translate("DELETE [logs].* FROM [logs] WHERE [id]=1").sql, expected);
    EXPECT_EQ(db.translate("DELETE l.* FROM logs AS l WHERE l.id=1").sql,
              R"(DELETE FROM "logs" AS "l" WHERE "l"."id" = ?1)");
}

TEST_F(JetTranslate, BracketedNamesAndQuotingOfIdentifiers) {
    EXPECT_EQ(db.translate("select [Order Details].[Unit \"Price\"] from [Order Details]").sql,
              R"(SELECT "Order Details"."Unit ""Price""" FROM "Order Details")");
}

TEST_F(JetTranslate, DoubleQuotedTokensAreTextLiterals) {
    const auto t = db.translate(R"(select note from logs where note = "note")");
    EXPECT_EQ(t.sql, R"(SELECT "note" FROM "logs" WHERE "note" = ?1)");
    EXPECT_EQ(paramTexts(t), QStringList{QStringLiteral("Text(note)")});
}

TEST_F(JetTranslate, JoinsKeepJetNesting) {
    EXPECT_EQ(
        db.translate("select u.UserName, s.SysName from (OnLineUsers o inner join User1 u on "
                     "o.UserId=u.UserId) left join ImpSystems s on o.SysId = s.SysId")
            .sql,
        R"(SELECT "u"."UserName", "s"."SysName" FROM "OnLineUsers" AS "o" INNER JOIN "User1" AS "u" ON "o"."UserId" = "u"."UserId" LEFT JOIN "ImpSystems" AS "s" ON "o"."SysId" = "s"."SysId")");
    EXPECT_EQ(
        db.translate("select * from User1 right join (OnLineUsers inner join ImpSystems on "
                     "OnLineUsers.SysId=ImpSystems.SysId) on User1.UserId=OnLineUsers.UserId")
            .sql,
        R"(SELECT * FROM "User1" RIGHT JOIN ("OnLineUsers" INNER JOIN "ImpSystems" ON "OnLineUsers"."SysId" = "ImpSystems"."SysId") ON "User1"."UserId" = "OnLineUsers"."UserId")");
}

TEST_F(JetTranslate, OperatorsKeepJetPrecedence) {
    struct Case {
        const char* jet;
        const char* sql;
    };
    const Case cases[] = {
        {"select -2^2", R"(SELECT -jet_pow(?1, ?2) AS "Expr1000")"},
        {"select 2^-1", R"(SELECT jet_pow(?1, ?2) AS "Expr1000")"},
        {"select 1 - -UserId from User1", R"(SELECT ?1 - -"UserId" AS "Expr1000" FROM "User1")"},
        {"select 7 \\ 2 * 3", R"(SELECT jet_idiv(?1, ?2 * ?3) AS "Expr1000")"},
        {"select 7 mod 4 \\ 2", R"(SELECT jet_mod(?1, jet_idiv(?2, ?3)) AS "Expr1000")"},
        {"select 1 + 2 & 3", R"(SELECT jet_textform(?1 + ?2) || ?3 AS "Expr1000")"},
        {"select a from t where not a = 1 or b = 2 and c = 3",
         R"(SELECT "a" FROM "t" WHERE NOT "a" = ?1 OR "b" = ?2 AND "c" = ?3)"},
        {"select a from t where (a = 1 or b = 2) and c = 3",
         R"(SELECT "a" FROM "t" WHERE ("a" = ?1 OR "b" = ?2) AND "c" = ?3)"},
        {"select (1 = 1) * 2", R"(SELECT -(?1 = ?2) * ?3 AS "Expr1000")"},
        {"select a from t where a - (b - c) > 0",
         R"(SELECT "a" FROM "t" WHERE "a" - ("b" - "c") > ?1)"},
    };
    for (const Case& c : cases) EXPECT_EQ(db.translate(c.jet).sql, c.sql) << c.jet;
}

TEST_F(JetTranslate, NeverWritesACommentOpener) {
    for (const char* jet : {"select - -1", "select 1- -1", "select -(-(UserId)) from User1",
                            "select -(1=1)", "select 1 - (1=1)"}) {
        const auto t = db.translate(jet);
        EXPECT_EQ(t.sql.find("--"), std::string::npos) << jet << " -> " << t.sql;
    }
}

TEST_F(JetTranslate, TextComparisonsWithoutAColumnIgnoreCase) {
    EXPECT_EQ(db.translate("select 'a' = 'A'").sql,
              R"(SELECT -(?1 COLLATE JETTEXT = ?2) AS "Expr1000")");
    EXPECT_EQ(db.translate("select * from User1 where ucase(UserName) = 'X'").sql,
              R"(SELECT * FROM "User1" WHERE jet_ucase("UserName") COLLATE JETTEXT = ?1)");
    // A column brings its own collation.
    EXPECT_EQ(db.translate("select * from User1 where UserName = 'X'").sql,
              R"(SELECT * FROM "User1" WHERE "UserName" = ?1)");
}

TEST_F(JetTranslate, LiteralsComparedWithDateColumnsAreDates) {
    const auto t =
        db.translate("select * from logs where dates >= '12/8/2026' and '1/1/2026' < dates");
    EXPECT_EQ(t.sql, R"(SELECT * FROM "logs" WHERE "dates" >= ?1 AND ?2 < "dates")");
    EXPECT_EQ(paramTexts(t), (QStringList{"Date(2026-12-08)", "Date(2026-01-01)"}));
    const auto u = db.translate("update errlog set ErrDate = '12/8/2026 10:00:00'");
    EXPECT_EQ(paramTexts(u), QStringList{QStringLiteral("Date(2026-12-08 10:00:00)")});
    const auto b = db.translate("select * from logs where dates between '1/1/2026' and #2/1/2026#");
    EXPECT_EQ(paramTexts(b), (QStringList{"Date(2026-01-01)", "Date(2026-02-01)"}));
}

struct HintCase {
    const char* jet;
    const char* hints;
};

const HintCase kHints[] = {
    {R"(select "DB" & minYear & "_" & right(maxYear,2) from DB_Years where curryear=true)", "Text"},
    {"select max(invdatet), min(dcno), count(*), max(dcinvid) from dcinv", "Date Text Int32 Int32"},
    {"select DateT, SysId, UserVal > 1 from OnLineUsers", "Date Int32 Boolean"},
    {"select Len(dcno), InStr(dcno, 'a'), CLng(dcno), CInt(dcno), Year(invdatet), Month(invdatet), "
     "Day(invdatet) from dcinv",
     "Int32 Int32 Int32 Int16 Int16 Int16 Int16"},
    {"select Val(dcno), CDbl(dcno), CStr(dcinvid), Format(invdatet, 'yyyy'), Now(), Date(), "
     "DateAdd('d', 1, invdatet), DateValue(invdatet) from dcinv",
     "Double Double Text Text Date Date Date Date"},
    {"select IIf(dcinvid > 1, 'a', 'b'), IIf(dcinvid > 1, 1, 'b'), Nz(dcno, ''), IsNull(dcno), "
     "True, #1/1/2026#, 1.5, 'x' from dcinv",
     "Text Empty Text Boolean Boolean Date Double Text"},
    {"select dcno, * , invno from dcinv", "Text"},
    {"select * from dcinv", ""},
    {"select (select max(invdatet) from dcinv) from DB_Years", "Date"},
    {"select x.m from (select max(invdatet) as m from dcinv) as x", "Date"},
};

TEST_F(JetTranslate, HintsTheKindOfEachResultColumn) {
    for (const HintCase& c : kHints) {
        EXPECT_EQ(hintNames(db.translate(QString::fromUtf8(c.jet))).join(u' '),
                  QString::fromUtf8(c.hints))
            << c.jet;
    }
}

TEST_F(JetTranslate, UpdatableTableAndRowId) {
    auto t = db.translate("Select * from OnLineUsers", true);
    EXPECT_EQ(t.updatableTable, QStringLiteral("OnLineUsers"));
    EXPECT_TRUE(t.rowidFirst);
    EXPECT_EQ(t.sql, R"(SELECT "OnLineUsers".rowid, * FROM "OnLineUsers")");
    EXPECT_TRUE(t.columnHints.empty());

    t = db.translate("Select * from [OnLineUsers] u where u.SysId=1", true);
    EXPECT_EQ(t.updatableTable, QStringLiteral("OnLineUsers"));
    EXPECT_EQ(t.sql, R"(SELECT "u".rowid, * FROM "OnLineUsers" AS "u" WHERE "u"."SysId" = ?1)");

    t = db.translate("Select * from OnLineUsers");
    EXPECT_EQ(t.updatableTable, QStringLiteral("OnLineUsers"));
    EXPECT_FALSE(t.rowidFirst);

    for (const char* jet :
         {"select distinct SysId from OnLineUsers",
          "select SysId, count(*) from OnLineUsers group by SysId",
          "select max(DateT) from OnLineUsers",
          "select * from OnLineUsers o inner join User1 u on o.UserId=u.UserId",
          "select * from OnLineUsers, User1", "select * from (select * from OnLineUsers)",
          "select SysId from OnLineUsers union select SysId from ImpSystems"}) {
        t = db.translate(jet, true);
        EXPECT_TRUE(t.updatableTable.isEmpty()) << jet;
        EXPECT_FALSE(t.rowidFirst) << jet;
    }
}

TEST_F(JetTranslate, DateLiteralsReadBackUnderEveryLocale) {
    const QDate day(2026, 12, 8);
    const QDateTime moment = rt::naiveDateTime(day, QTime(10, 0, 5));
    for (const char* locale : {"en_US", "en_GB", "de_DE", "fr_FR", "en_IN"}) {
        SCOPED_TRACE(locale);
        auto rs = jettest::settingsFor(locale);
        JetDb local(*rs);
        jettest::createSystemTables(local);
        // What the system writes: the regional short date, and the general date.
        auto t = local.translate("Delete * from logs where dates>#" + rs->shortDate(day) + "#");
        ASSERT_EQ(t.params.size(), 1u);
        EXPECT_EQ(t.params[0], rt::Variant(rt::naiveDateTime(day, QTime(0, 0))));
        t = local.translate("insert into errlog VALUES ('x', #" + rs->generalDate(moment) + "#)");
        ASSERT_EQ(t.params.size(), 2u);
        EXPECT_EQ(t.params[1], rt::Variant(moment));
        // ISO reads the same everywhere.
        t = local.translate("select * from logs where dates = #2026-12-08 10:00:05#");
        EXPECT_EQ(t.params[0], rt::Variant(moment));
    }
    // The same text, two meanings: the regional order decides.
    auto gb = jettest::settingsFor("en_GB");
    JetDb british(*gb);
    EXPECT_EQ(british.translate("Delete * from logs where dates>#12/08/2026#").params[0],
              rt::Variant(rt::naiveDateTime(QDate(2026, 8, 12), QTime(0, 0))));
    EXPECT_EQ(db.translate("Delete * from logs where dates>#12/08/2026#").params[0],
              rt::Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(0, 0))));
}

struct ErrorCase {
    const char* jet;
    const char* description;
};

const ErrorCase kErrors[] = {
    {"", "Syntax error: the statement is empty"},
    {"   ;", "Syntax error near \";\""},
    {"select * from", "Syntax error: statement incomplete after \"from\""},
    {"select * form OnLineUsers", "Syntax error near \"form OnLineUsers\""},
    {"Delete * from OnLineUsers Where", "Syntax error: statement incomplete after \"Where\""},
    {"select 'abc from t", "Unterminated text literal near \"'abc from t\""},
    {"select \"abc from t", "Unterminated text literal near \"\"abc from t\""},
    {"select [abc from t", "Unterminated bracketed name near \"[abc from t\""},
    {"delete * from logs where dates > #1/2/2026", "Unterminated date literal near \"#1/2/2026\""},
    {"delete * from logs where dates > #31/31/2026#", "Invalid date literal near \"#31/31/2026#\""},
    {"select Foo(1) from t", "Unsupported function \"Foo\""},
    {"select left('a') from t", "Wrong number of arguments to function \"left\""},
    {"select * from t -- all of it", "Comments are not part of Jet SQL near \"-- all of it\""},
    {"select * from t /* all */", "Comments are not part of Jet SQL near \"/* all */\""},
    {"Delete * from OnLineUsers; Delete * from logs",
     "Characters found after end of SQL statement near \"Delete * from logs\""},
    {"Delete * from OnLineUsers;;", "Characters found after end of SQL statement near \";\""},
    {"select a from t where a ! b", "Syntax error near \"! b\""},
    {"select a from t where a == b", "Syntax error near \"= b\""},
    {"select a from t where a = ?", "Syntax error near \"?\""},
    {"create table x (a int)", "Unsupported statement near \"create table x (a int)\""},
    {"select top 5 percent * from t",
     "Unsupported TOP ... PERCENT near \"top 5 percent * from t\""},
    {"select top x * from t", "Syntax error near \"x * from t\""},
    {"select a xor b from t", "Unsupported operator \"xor\" near \"xor b from t\""},
    {"select a from t where a > any (select b from u)",
     "Unsupported comparison with \"any\" near \"any (select b from u)\""},
    {"select count(distinct a) from t",
     "Unsupported DISTINCT inside \"count\" near \"distinct a) from t\""},
    {"update t inner join u on t.a=u.a set t.b=1",
     "Unsupported UPDATE over a join near \"inner join u on t.a=u.a set t.b=1\""},
    {"insert into t (a, b) values (1)",
     "Number of query values and destination fields are not the same near \"values (1)\""},
    {"select * into x from t", "Unsupported SELECT ... INTO near \"x from t\""},
    {"select sum(*) from t", "Syntax error near \"*) from t\""},
    {"select a from t where a = 'this is a rather long text that goes on and on' and ?",
     "Syntax error near \"?\""},
    {"select a from t where x in 'a'", "Syntax error near \"'a'\""},
    {"select a from t where a = 1 and b = 'this text is longer than forty characters!' ! 1",
     "Syntax error near \"! 1\""},
    {"select a from t where ! 'this text is longer than forty characters, surely'",
     "Syntax error near \"! 'this text is longer than forty charac...\""},
    {"select 99999999999999999999999999999999e999",
     "Invalid number near \"99999999999999999999999999999999e999\""},
};

TEST_F(JetTranslate, RefusalsQuoteTheOffendingText) {
    for (const ErrorCase& c : kErrors) {
        try {
            db.translate(QString::fromUtf8(c.jet));
            ADD_FAILURE() << "accepted: " << c.jet;
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), rt::err::DbSyntax) << c.jet;
            EXPECT_EQ(e.description(), QString::fromUtf8(c.description)) << c.jet;
        }
    }
}

TEST_F(JetTranslate, RefusesTreesTooDeepToWalk) {
    const QString parens = "select " + QString(5000, u'(') + "1" + QString(5000, u')');
    const QString chain = "select 1" + QString(" + 1").repeated(5000);
    const QString nots = "select * from t where " + QString("not ").repeated(5000) + "a";
    const QString minus = "select " + QString("- ").repeated(5000) + "1";
    for (const QString& jet : {parens, chain, nots, minus}) {
        try {
            db.translate(jet);
            ADD_FAILURE() << "accepted a tree too deep";
        } catch (const rt::Error& e) {
            EXPECT_TRUE(e.description().startsWith(QStringLiteral("Statement too complex near ")))
                << e.what();
        }
    }
    // Long but shallow statements are fine.
    QString list = "select * from t where a in (1";
    for (int i = 2; i <= 3000; ++i) list += ", " + QString::number(i);
    EXPECT_EQ(db.translate(list + ")").params.size(), 3000u);
    const QString conditions = "select * from t where a = 1" + QString(" and a = 1").repeated(500);
    EXPECT_EQ(db.translate(conditions).params.size(), 501u);
}

}  // namespace

// ---- literals in the text: saved queries as views ----

db::jet::Translation inlineTranslation(const JetDb& db, const QString& jet,
                                       const rt::RegionalSettings& rs) {
    db::jet::TranslateOptions o;
    o.settings = &rs;
    o.inlineLiterals = true;
    o.columnKind = [&db](const QString& t, const QString& c) { return db.columnKind(t, c); };
    return db::jet::translate(jet, db::jet::sqliteDialect(), o);
}

struct InlineCase {
    const char* jet;
    const char* sql;
};

const InlineCase kInline[] = {
    {"select * from SUBCONPO where suPPid=-7 and PONo='A''1'",
     R"(SELECT * FROM "SUBCONPO" WHERE "suPPid" = (-7) AND "PONo" = 'A''1')"},
    {"select note from logs where dates>#12/08/2026# and note<>\"x\"",
     R"(SELECT "note" FROM "logs" WHERE "dates" > '2026-12-08 00:00:00' AND "note" <> 'x')"},
    {"select 2.5, -0.25, 1e300, true, false, null from logs",
     R"(SELECT 2.5 AS "Expr1000", (-0.25) AS "Expr1001", 1.0000000000000001e+300 AS "Expr1002", (-1) AS "Expr1003", 0 AS "Expr1004", NULL AS "Expr1005" FROM "logs")"},
    {"select 5 - -3, 4 - (-2.0) from logs",
     R"(SELECT 5 - (-3) AS "Expr1000", 4 - (-2.0) AS "Expr1001" FROM "logs")"},
};

TEST_F(JetTranslate, InlineLiteralsAreWrittenIntoTheText) {
    for (const InlineCase& c : kInline) {
        SCOPED_TRACE(c.jet);
        const auto t = inlineTranslation(db, QString::fromUtf8(c.jet), *us);
        EXPECT_EQ(t.sql, c.sql);
        EXPECT_TRUE(t.params.empty());
    }
}

// Rows as texts, dates in their stored form (a view's columns carry no kinds).
QStringList rowTexts(const jettest::Rows& rows, const rt::RegionalSettings& rs) {
    QStringList out;
    for (const auto& row : rows) {
        QStringList cells;
        for (const rt::Variant& v : row)
            cells << (v.type() == rt::VarType::Date ? db::jet::storedDateText(v.asDate())
                      : v.isNull()                  ? QStringLiteral("Null")
                                                    : v.toText(rs));
        out << cells.join(u'|');
    }
    return out;
}

TEST_F(JetTranslate, InlinedQueryAsViewGivesTheSameRowsAsTheBoundOne) {
    db.native(
        "INSERT INTO SUBCONPO VALUES (7, 1, 2, 'A''1'), (7, 1, 2, 'a''1'), (8, 1, 2, 'A''1');"
        "INSERT INTO logs (dates, note) VALUES ('2026-12-07 00:00:00', '--x'), "
        "('2026-12-09 10:00:00', 'it''s; DROP TABLE logs');");
    const QString queries[] = {
        "select suPPid, PONo from SUBCONPO where suPPid=7 and PONo='A''1' order by PONo",
        "select note, dates + 1 from logs where dates>#12/08/2026# or note like '--%'",
        "select note & ' ' & -1.5 & \"'\" from logs order by note",
    };
    int n = 0;
    for (const QString& q : queries) {
        SCOPED_TRACE(q.toStdString());
        const std::string view = "v" + std::to_string(++n);
        db.native("CREATE VIEW " + view + " AS " + inlineTranslation(db, q, *us).sql);
        const auto viewRows =
            db.run(QStringLiteral("select * from ") + QString::fromStdString(view));
        EXPECT_FALSE(viewRows.empty());
        EXPECT_EQ(rowTexts(viewRows, *us), rowTexts(db.run(q), *us));
    }
    EXPECT_EQ(db.count("logs"), 2);
}

TEST_F(JetTranslate, InlineTextsWithControlCharactersStayExact) {
    const QString text = QStringLiteral("a'b") + QChar(0) + QStringLiteral("c\n\"d");
    const std::string lit = db::jet::sqliteDialect().literal(rt::Variant(text));
    db.native("CREATE TABLE lit (x TEXT); INSERT INTO lit VALUES (" + lit + ");");
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.handle(), "SELECT x FROM lit", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                                sqlite3_column_bytes(st, 0)),
              text);
    sqlite3_finalize(st);
}

// ---- validation rules as CHECK constraints ----

std::string ruleSql(const JetDb& db, const QString& rule, const QString& column,
                    const rt::RegionalSettings& rs) {
    db::jet::TranslateOptions o;
    o.settings = &rs;
    o.ruleColumn = column;
    o.ruleTable = QStringLiteral("ruled");
    o.columnKind = [&db](const QString& t, const QString& c) { return db.columnKind(t, c); };
    return db::jet::translateExpression(rule, db::jet::sqliteDialect(), o);
}

struct RuleCase {
    const char* rule;
    const char* column;
    const char* sql;
    const char* accepted;  // SQL values for the column, separated by "|"
    const char* refused;
};

const RuleCase kRules[] = {
    {">=0", "Qty", R"("Qty" >= 0)", "0|5|NULL", "-1|(-0.5)"},
    {">0 And <100", "Qty", R"("Qty" > 0 AND "Qty" < 100)", "1|99", "0|100"},
    {"Between 1 And 100", "Qty", R"("Qty" BETWEEN 1 AND 100)", "1|100", "0|101"},
    {"Not Between 1 And 100", "Qty", R"(NOT "Qty" BETWEEN 1 AND 100)", "0|101", "1|50"},
    {"Is Not Null And Len([Name])>0", "Name",
     R"("Name" IS NOT NULL AND jet_len("Name") > 0)", "'x'", "NULL|''"},
    {"In (\"A\",\"B\")", "Name", R"("Name" IN ('A', 'B'))", "'A'|'b'|NULL", "'C'"},
    {"Not In (\"A\",\"B\")", "Name", R"(NOT "Name" IN ('A', 'B'))", "'C'", "'a'"},
    {"Like \"A*\"", "Name", R"(jet_like("Name", 'A*'))", "'A*'", "'Ab'"},
    {"Like \"A%\" Or Is Null", "Name", R"(jet_like("Name", 'A%') OR "Name" IS NULL)",
     "'Ab'|'abc'|NULL", "'b'"},
    {"Not Like \"[0-9]%\"", "Name", R"(NOT jet_like("Name", '[0-9]%'))", "'a1'", "'1a'"},
    {"<>\"x\"", "Name", R"("Name" <> 'x')", "'y'", "'X'"},
    {">=#1/1/2000#", "Made", R"("Made" >= '2000-01-01 00:00:00')",
     "'2000-01-01 00:00:00'|'2024-02-03 00:00:00'", "'1999-12-31 23:59:59'"},
    {"[Qty]<=[Most]", "Qty", R"("Qty" <= "Most")", "1", "11"},
    {"(>=0 And <=5) Or =10", "Qty", R"("Qty" >= 0 AND "Qty" <= 5 OR "Qty" = 10)", "0|5|10",
     "6|-1"},
};

TEST_F(JetTranslate, ValidationRulesBecomeCheckConditions) {
    for (const RuleCase& c : kRules) {
        SCOPED_TRACE(c.rule);
        db.native(
            "DROP TABLE IF EXISTS ruled; CREATE TABLE ruled (Qty LONG, Most LONG DEFAULT 10, "
            "Name TEXT(20) COLLATE JETTEXT, Made DATETIME);");
        const std::string sql =
            ruleSql(db, QString::fromUtf8(c.rule), QString::fromUtf8(c.column), *us);
        EXPECT_EQ(sql, c.sql);
        db.native("DROP TABLE ruled; CREATE TABLE ruled (Qty LONG, Most LONG DEFAULT 10, "
                  "Name TEXT(20) COLLATE JETTEXT, Made DATETIME, CHECK (" +
                  sql + "));");
        const std::string col = c.column;
        for (const QString& v : QString::fromUtf8(c.accepted).split(u'|', Qt::SkipEmptyParts))
            EXPECT_NO_THROW(db.native("INSERT INTO ruled (" + col + ") VALUES (" +
                                      v.toStdString() + ")"))
                << v.toStdString();
        for (const QString& v : QString::fromUtf8(c.refused).split(u'|', Qt::SkipEmptyParts))
            EXPECT_THROW(db.native("INSERT INTO ruled (" + col + ") VALUES (" + v.toStdString() +
                                   ")"),
                         std::runtime_error)
                << v.toStdString();
    }
}

TEST_F(JetTranslate, RulesACheckCannotHoldAreRefusedByName) {
    db.native("CREATE TABLE ruled (Qty LONG, Made DATETIME)");
    const std::pair<const char*, const char*> cases[] = {
        {"<=Date()", "Unsupported function \"Date\" in a validation rule"},
        {"<Now()", "Unsupported function \"Now\" in a validation rule"},
        {"In (select Qty from ruled)", "Unsupported subquery in a validation rule"},
        {"<=Max([Qty])", "Unsupported function \"Max\" in a validation rule"},
        {">=0;", "Syntax error near \";\""},
        {">=0 select", "Syntax error near \"select\""},
        {"", "Syntax error: the expression is empty"},
    };
    for (const auto& [rule, description] : cases) {
        try {
            ruleSql(db, QString::fromUtf8(rule), QStringLiteral("Qty"), *us);
            ADD_FAILURE() << "accepted: " << rule;
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), rt::err::DbSyntax) << rule;
            EXPECT_EQ(e.description(), QString::fromUtf8(description)) << rule;
        }
    }
}
