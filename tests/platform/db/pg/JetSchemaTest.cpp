// The jet schema: installed once and again without harm, checked at connect,
// and its functions agreeing with the file engine's C++ on the same inputs.
#include "platform/db/jet/Functions.h"
#include "platform/db/pg/JetSchema.h"
#include "platform/db/pg/Site.h"
#include "platform/db/pg/Values.h"
#include "platform/runtime/Numbers.h"

#include "tests/support/Errors.h"
#include "tests/support/PgServer.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <QLocale>

#include <cmath>

namespace {

using db::pg::Session;
using db::pg::toParam;

class JetSchema : public ::testing::Test {
protected:
    void SetUp() override {
        NARVO_PG_SERVER_OR_SKIP(server);
        server_ = *server;
        admin = testing_support::pgAdminSession(server_);
        admin->exec(db::pg::regionalSettingsSql(rs));
    }

    // The one value of a query with parameters, as text ("<null>" for Null).
    QString value(const std::string& sql, const std::vector<rt::Variant>& params = {}) {
        std::vector<db::pg::Param> p;
        for (const auto& v : params) p.push_back(toParam(v));
        db::pg::ResultPtr r = admin->query(sql, p);
        if (PQgetisnull(r.get(), 0, 0)) return QStringLiteral("<null>");
        return QString::fromUtf8(PQgetvalue(r.get(), 0, 0));
    }

    // A new empty database (the caller drops it); empty when the server refuses.
    QString freshDatabase(const char* prefix) {
        const QString db = testing_support::uniqueSchemaName(prefix);
        try {
            admin->exec("CREATE DATABASE " + db.toStdString());
        } catch (const rt::Error&) {
            return QString();
        }
        return db;
    }
    db::pg::Keywords keywordsOf(const QString& db) const {
        db::pg::Keywords k;
        for (const auto& kv : server_)
            if (kv.first != "dbname") k.push_back(kv);
        k.emplace_back("dbname", db.toStdString());
        return k;
    }

    rt::RegionalSettings rs{QLocale(QLocale::English, QLocale::UnitedKingdom)};
    db::pg::Keywords server_;
    std::unique_ptr<Session> admin;
};

TEST_F(JetSchema, InstallingAgainChangesNothing) {
    EXPECT_EQ(db::pg::installJetSchema(*admin), db::pg::kJetSchemaVersion);
    EXPECT_EQ(db::pg::installedJetSchemaVersion(*admin), db::pg::kJetSchemaVersion);
    EXPECT_NO_THROW(db::pg::checkJetSchema(*admin));
}

TEST_F(JetSchema, ADatabaseWithoutItIsRefusedAtConnectNamingTheTool) {
    const QString db = freshDatabase("narvo_nojet");
    if (db.isEmpty()) GTEST_SKIP() << "cannot create a database here";
    {
        auto s = Session::connect(keywordsOf(db), QStringLiteral("fresh"));
        EXPECT_EQ(db::pg::installedJetSchemaVersion(*s), 0);
        try {
            db::pg::checkJetSchema(*s);
            ADD_FAILURE() << "accepted a database without the jet schema";
        } catch (const rt::Error& e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("jetmove install"))) << e.what();
        }
        // A newer schema than this program knows is left alone.
        s->exec("CREATE SCHEMA jet; CREATE FUNCTION jet.schema_version() RETURNS integer "
                "LANGUAGE sql AS 'SELECT 99'");
        EXPECT_NE(testing_support::errorOf([&] { db::pg::installJetSchema(*s); }), 0);
        EXPECT_EQ(db::pg::installedJetSchemaVersion(*s), 99);
    }
    admin->exec("DROP DATABASE " + db.toStdString());
}

TEST_F(JetSchema, LikePatternsConvertAsOnTheClient) {
    for (const char16_t* p : {u"ab%c_[!x-z][a-Z]d*.", u"[!]x", u"a[]b", u"%%", u"é_ü", u"50%[%]",
                              u"[A-Fa-f0-9]", u"\\'\""}) {
        const QString pattern = QString::fromUtf16(p);
        EXPECT_EQ(value("SELECT jet.like_regex($1)", {rt::Variant(pattern)}),
                  db::pg::likeRegex(pattern))
            << pattern.toStdString();
    }
}

TEST_F(JetSchema, LikeMatchesAsTheFileEngine) {
    const char16_t* patterns[] = {u"a%", u"%B", u"_b_", u"[a-c]%", u"[!a-c]%", u"%[0-9]",
                                  u"A.B", u"%é%", u"[z]", u"a*"};
    const char16_t* texts[] = {u"abc", u"ABC", u"xbz", u"b", u"zed", u"x9", u"a.b", u"AxB",
                               u"CAFÉ", u"Z", u"a*", u""};
    for (const char16_t* p : patterns) {
        const auto compiled = db::jet::fn::LikePattern::compile(QString::fromUtf16(p));
        for (const char16_t* t : texts) {
            const QString text = QString::fromUtf16(t);
            const bool server =
                value("SELECT ($1::text COLLATE jet.cs) ~* $2",
                      {rt::Variant(text), rt::Variant(db::pg::likeRegex(QString::fromUtf16(p)))}) ==
                u"t";
            EXPECT_EQ(server, compiled.matches(text))
                << QString::fromUtf16(p).toStdString() << " on " << text.toStdString();
        }
    }
}

TEST_F(JetSchema, ValReadsTheLeadingNumberAsTheRuntime) {
    for (const char16_t* t : {u"57", u"57/A", u"A57", u" 1 2 3", u"-12.5e2x", u"&H1F", u"&HFFFF",
                              u"&H10000", u"&O17", u"1d3", u".5", u"-.", u"12.34.5", u"", u"\t\n7",
                              u"1e400", u"1e-400", u"+3"}) {
        const QString text = QString::fromUtf16(t);
        const QString server = value("SELECT jet.val($1)", {rt::Variant(text)});
        const double client = rt::leadingNumber(text);
        if (std::isinf(client))
            EXPECT_EQ(server, client > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity"))
                << text.toStdString();
        else
            EXPECT_DOUBLE_EQ(server.toDouble(), client) << text.toStdString();
    }
}

TEST_F(JetSchema, NumbersReadAsTextAsTheRuntimeWritesThem) {
    for (double v : {0.0, 1.5, -0.1, 1.0 / 3, 1e15, 999999999999999.0, 1e20, 0.000001234,
                     0.00001234, 123456789012345678.0, -2.5e-7}) {
        EXPECT_EQ(value("SELECT jet.general($1)", {rt::Variant(v)}), rt::formatGeneral(v, u'.'))
            << v;
    }
    rt::RegionalSettings comma(QLocale(QLocale::German, QLocale::Germany));
    admin->exec(db::pg::regionalSettingsSql(comma));
    EXPECT_EQ(value("SELECT jet.text($1::double precision)", {rt::Variant(1.5)}), QStringLiteral("1,5"));
    EXPECT_EQ(value("SELECT jet.text($1::numeric(19,4))", {rt::Variant(rt::Currency{12500})}),
              QStringLiteral("1,25"));
}

TEST_F(JetSchema, DatesReadAsTextInTheRegionalGeneralForm) {
    for (const QDateTime& d :
         {rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30, 5)),
          rt::naiveDateTime(QDate(2026, 12, 8), QTime(0, 0)),
          rt::naiveDateTime(QDate(1899, 12, 30), QTime(7, 5, 0)),
          rt::naiveDateTime(QDate(2027, 1, 31), QTime(23, 59, 59))}) {
        EXPECT_EQ(value("SELECT jet.text($1::timestamp)", {rt::Variant(d)}), rs.generalDate(d));
    }
}

TEST_F(JetSchema, RoundingAndConversionsHalveToEven) {
    for (double v : {0.5, 1.5, 2.5, -2.5, 12.5, 13.5, 2.345, 1.005, 0.125}) {
        EXPECT_EQ(value("SELECT jet.round($1::double precision)", {rt::Variant(v)}).toDouble(),
                  rt::roundHalfEven(v))
            << v;
        EXPECT_DOUBLE_EQ(value("SELECT jet.round($1::double precision, 2)", {rt::Variant(v)}).toDouble(),
                         rt::roundHalfEven(v, 2))
            << v;
        EXPECT_EQ(value("SELECT jet.clng($1)", {rt::Variant(v)}).toInt(),
                  rt::Variant(v).toInt32(rs))
            << v;
    }
    EXPECT_EQ(value("SELECT jet.round($1::numeric, 2)", {rt::Variant(rt::Currency{1250})}),
              QStringLiteral("0.12"));
    EXPECT_EQ(value("SELECT jet.round($1::numeric, 2)", {rt::Variant(rt::Currency{1350})}),
              QStringLiteral("0.14"));
}

TEST_F(JetSchema, DateIntervalsAsTheFileEngine) {
    using db::jet::fn::Interval;
    const QDateTime a = rt::naiveDateTime(QDate(2025, 12, 31), QTime(23, 59, 30));
    const QDateTime b = rt::naiveDateTime(QDate(2027, 3, 1), QTime(0, 0, 15));
    const struct {
        const char* code;
        Interval iv;
    } intervals[] = {{"yyyy", Interval::Year}, {"q", Interval::Quarter}, {"m", Interval::Month},
                     {"y", Interval::DayOfYear}, {"d", Interval::Day}, {"w", Interval::Weekday},
                     {"ww", Interval::Week}, {"h", Interval::Hour}, {"n", Interval::Minute},
                     {"s", Interval::Second}};
    for (const auto& i : intervals) {
        SCOPED_TRACE(i.code);
        const rt::Variant code(QString::fromLatin1(i.code));
        for (int firstDay : {1, 2, 7}) {
            EXPECT_EQ(value("SELECT jet.datediff($1, $2, $3, $4)",
                            {code, rt::Variant(a), rt::Variant(b), rt::Variant(double(firstDay))})
                          .toLongLong(),
                      db::jet::fn::dateDiff(i.iv, a, b, firstDay));
            for (int firstWeek : {1, 2, 3})
                EXPECT_EQ(value("SELECT jet.datepart($1, $2, $3, $4)",
                                {code, rt::Variant(b), rt::Variant(double(firstDay)),
                                 rt::Variant(double(firstWeek))})
                              .toInt(),
                          db::jet::fn::datePart(i.iv, b, firstDay, firstWeek));
        }
        for (double n : {-13.0, -1.0, 1.0, 2.7, 40.0}) {
            const QDateTime expected = db::jet::fn::dateAdd(i.iv, n, a);
            EXPECT_EQ(value("SELECT jet.dateadd($1, $2, $3)", {code, rt::Variant(n), rt::Variant(a)}),
                      expected.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                << n;
        }
    }
    EXPECT_EQ(value("SELECT jet.dateserial(26, 14, 1)"), QStringLiteral("2027-02-01 00:00:00"));
    EXPECT_EQ(value("SELECT jet.dateserial(1999, 1, 0)"), QStringLiteral("1998-12-31 00:00:00"));
}

TEST_F(JetSchema, DaySerialsAsTheRuntime) {
    for (double v : {0.0, 1.5, -1.25, 46364.4375, -700.75}) {
        const QDateTime d = rt::serialToDate(v);
        EXPECT_EQ(value("SELECT jet.from_serial($1)", {rt::Variant(v)}),
                  d.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
            << v;
        EXPECT_DOUBLE_EQ(value("SELECT jet.serial($1)", {rt::Variant(d)}).toDouble(),
                         rt::dateToSerial(d))
            << v;
    }
}

TEST_F(JetSchema, AVersionOneSchemaIsUpgradedInPlace) {
    const QString db = freshDatabase("narvo_jetv1");
    if (db.isEmpty()) GTEST_SKIP() << "cannot create a database here";
    {
        auto s = Session::connect(keywordsOf(db), QStringLiteral("older"));
        s->exec(db::pg::jetSchemaScript(1));
        EXPECT_EQ(db::pg::installedJetSchemaVersion(*s), 1);
        try {
            db::pg::checkJetSchema(*s);
            ADD_FAILURE() << "accepted a version 1 schema";
        } catch (const rt::Error& e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("jetmove install"))) << e.what();
        }
        EXPECT_EQ(db::pg::installJetSchema(*s), 1);
        EXPECT_EQ(db::pg::installedJetSchemaVersion(*s), db::pg::kJetSchemaVersion);
        EXPECT_NO_THROW(db::pg::checkJetSchema(*s));
        // A session of an older program sets none of the new settings: English names.
        db::pg::ResultPtr r = s->query(
            "SELECT jet.replace('a-b', '-', '+') || jet.monthname(1) || jet.num('$1,000')");
        EXPECT_EQ(QString::fromUtf8(PQgetvalue(r.get(), 0, 0)), QStringLiteral("a+bJanuary1000"));
    }
    admin->exec("DROP DATABASE " + db.toStdString());
}

// The server's reading of number and date texts against the file engine's,
// text by text, in several regions.
TEST_F(JetSchema, TextsReadAsNumbersAndDatesAsTheFileEngine) {
    const char16_t* numbers[] = {
        u"1,234.5", u" $1,234.25 ", u"£12", u"12 €", u"-$5", u"1.234,5", u"1 234,5", u"1,5",
        u"1.5", u"12,", u",12", u"1,2,3", u"&HFF", u"&H1FFFFFFFF", u"&O17", u"1e3", u"1d-2",
        u"1e400", u"1e-400", u"- 7", u"+.5", u".", u"", u"True", u"12abc", u"0,000.1"};
    const char16_t* dates[] = {
        u"Tuesday, 2-Jan-24 10:30 pm", u"January 2, 2024", u"2 Jan 2024", u"2024 Jan 2",
        u"Jan 2024", u"2 Jan", u"Jan 2024 2", u"3/4/2024", u"3.4.2024", u"3-4-24", u"13/1/2024",
        u"2024-01-02T10:30:00", u"2024-01-02 10:30:00.125", u"10:30", u"12:15 AM", u"3 PM",
        u"13 PM", u"PM 3:00", u"2. März 2024", u"mardi 2 janvier 2024", u"Sept 3 2024",
        u"Feb 30 2024", u"1/2", u"25:00", u"10:30 xyz", u"99/99/99", u"2/3/1", u"12:30:45.5"};
    const int year = QDate::currentDate().year();
    for (QLocale locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                           QLocale(QLocale::English, QLocale::UnitedKingdom),
                           QLocale(QLocale::German, QLocale::Germany),
                           QLocale(QLocale::French, QLocale::France)}) {
        SCOPED_TRACE(locale.name().toStdString());
        const rt::RegionalSettings regional(locale);
        admin->exec(db::pg::regionalSettingsSql(regional));
        for (const char16_t* t : numbers) {
            const QString text = QString::fromUtf16(t);
            const auto client = db::jet::fn::readNumber(text, regional);
            const QString server = value("SELECT jet.read_number($1)", {rt::Variant(text)});
            if (client)
                EXPECT_DOUBLE_EQ(server.toDouble(), *client) << text.toStdString();
            else
                EXPECT_EQ(server, QStringLiteral("<null>")) << text.toStdString();
        }
        for (const char16_t* t : dates) {
            const QString text = QString::fromUtf16(t);
            const auto client =
                db::jet::fn::readDate(text, regional, db::jet::fn::DateOrder::Regional, year);
            EXPECT_EQ(value("SELECT to_char(jet.read_date($1), 'YYYY-MM-DD HH24:MI:SS.MS')",
                            {rt::Variant(text)}),
                      client ? client->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                             : QStringLiteral("<null>"))
                << text.toStdString();
        }
        for (int m = 1; m <= 12; ++m)
            EXPECT_EQ(value("SELECT jet.monthname($1, 1)", {rt::Variant(double(m))}),
                      locale.monthName(m, QLocale::ShortFormat));
        EXPECT_EQ(value("SELECT jet.weekdayname(2, 0, 1)"), locale.dayName(1));
    }
}

struct Call {
    const char* name;
    const char* sql;
    const char* result;  // "<null>" for Null; "!" and a number for a failure
};
// Printed by its name where a failure shows the case.
void PrintTo(const Call& c, std::ostream* os) { *os << c.name; }

class JetFunctions : public JetSchema, public ::testing::WithParamInterface<Call> {};

TEST_P(JetFunctions, GiveJetsResults) {
    const std::string expected = GetParam().result;
    if (expected.starts_with('!')) {
        try {
            value(GetParam().sql);
            FAIL() << "no failure";
        } catch (const rt::Error& e) {
            EXPECT_TRUE(e.description().contains(QString::fromUtf8(expected.c_str() + 1))) << e.what();
        }
        return;
    }
    EXPECT_EQ(value(GetParam().sql), QString::fromUtf8(expected.c_str()));
}

const Call kCalls[] = {
    {"LeftOfNull", "SELECT jet.left(NULL, 2)", "<null>"},
    {"LeftNegative", "SELECT jet.left('abc', -1)", "!Invalid procedure call"},
    {"LeftNullCount", "SELECT jet.left('abc', NULL)", "!Invalid use of Null"},
    {"RightBeyond", "SELECT jet.right('abc', 10)", "abc"},
    {"MidFrom", "SELECT jet.mid('hello', 2)", "ello"},
    {"MidPastEnd", "SELECT jet.mid('hello', 9, 2)", ""},
    {"MidZeroStart", "SELECT jet.mid('hello', 0)", "!Invalid procedure call"},
    {"MidNullLength", "SELECT jet.mid('hello', 1, NULL)", "!Invalid use of Null"},
    {"InStrIgnoresCase", "SELECT jet.instr('Hello', 'LL')", "3"},
    {"InStrBinary", "SELECT jet.instr(1, 'Hello', 'LL', 0)", "0"},
    {"InStrFrom", "SELECT jet.instr(4, 'abcabc', 'b')", "5"},
    {"InStrEmpty", "SELECT jet.instr(2, 'abc', '')", "2"},
    {"InStrOnCiColumnText", "SELECT jet.instr('ABC' COLLATE jet.ci, 'b')", "2"},
    {"TrimBlanksOnly", "SELECT '[' || jet.trim(E' \\ta ') || ']'", "[\ta]"},
    {"Space", "SELECT length(jet.space(3))", "3"},
    {"StrPositive", "SELECT jet.str(5)", " 5"},
    {"StrNegative", "SELECT jet.str(-2.5)", "-2.5"},
    {"CStrNull", "SELECT jet.cstr(NULL)", "!Invalid use of Null"},
    {"CLngOverflow", "SELECT jet.clng(3e9)", "!Overflow"},
    {"CIntHalfEven", "SELECT jet.cint(2.5)", "2"},
    {"CByteRange", "SELECT jet.cbyte(256)", "!Overflow"},
    {"CCurFourPlaces", "SELECT jet.ccur(1.23456)", "1.2346"},
    {"CBoolTrue", "SELECT jet.cbool(5)", "-1"},
    {"NumberOfText", "SELECT jet.num('12.5')", "12.5"},
    {"NumberOfBadText", "SELECT jet.num('12x')", "!Data type mismatch in criteria expression."},
    {"NumberOfTrue", "SELECT jet.num('True')", "-1"},
    {"IntNegative", "SELECT jet.int(-2.5::double precision)", "-3"},
    {"FixNegative", "SELECT jet.fix(-2.5::double precision)", "-2"},
    {"Sgn", "SELECT jet.sgn(-4)", "-1"},
    {"SqrNegative", "SELECT jet.sqr(-1)", "!Invalid procedure call"},
    {"DivByZero", "SELECT jet.div(1, 0)", "!Division by zero"},
    {"IntegerDivision", "SELECT jet.idiv(7.5, 2)", "4"},
    {"ModSign", "SELECT jet.mod(-7, 3)", "-1"},
    {"PowerOfNegative", "SELECT jet.pow(-8, 0.5)", "!Invalid procedure call"},
    {"Weekday", "SELECT jet.weekday('2026-12-08'::timestamp)", "3"},
    {"WeekdayFromMonday", "SELECT jet.weekday('2026-12-08'::timestamp, 2)", "2"},
    {"BadInterval", "SELECT jet.dateadd('x', 1, now()::timestamp)", "!Invalid procedure call"},
    {"DateAddOutOfRange", "SELECT jet.dateadd('yyyy', 9000, '2026-01-01'::timestamp)",
     "!Invalid procedure call"},
    {"DateValue", "SELECT jet.datevalue('2026-12-08 10:30'::timestamp)", "2026-12-08 00:00:00"},
    {"TimeValue", "SELECT jet.timevalue('2026-12-08 10:30'::timestamp)", "1899-12-30 10:30:00"},
    {"DatePlusDays", "SELECT jet.dateplus('2026-12-08'::timestamp, 1.5)", "2026-12-09 12:00:00"},
    {"DateMinusDate", "SELECT jet.dateminus('2026-12-09 12:00'::timestamp, '2026-12-08'::timestamp)",
     "1.5"},
    {"TextAsDateInRegionalOrder", "SELECT jet.dt('08/12/2026')", "2026-12-08 00:00:00"},
    {"TimeTextAsDate", "SELECT jet.dt('10:30')", "1899-12-30 10:30:00"},
    {"BadDateText", "SELECT jet.dt('not a date')", "!Data type mismatch in criteria expression."},
    {"FirstKeepsNull", "SELECT jet.first(x) IS NULL FROM (VALUES (NULL::int), (2)) v(x)", "t"},
    {"Last", "SELECT jet.last(x) FROM (VALUES (1), (NULL), (3)) v(x)", "3"},
    {"YesNoDomainAcceptsMinusOne", "SELECT (-1)::jet.yesno", "-1"},
    {"CurrencyIsExact", "SELECT 922337203685477.5807::jet.currency", "922337203685477.5807"},
    // Replace: Null arguments, start, count and compare.
    {"ReplaceOfNull", "SELECT jet.replace(NULL, 'a', 'b')", "!Invalid use of Null"},
    {"ReplaceNullCountBeforeBadStart", "SELECT jet.replace('abc', 'a', 'b', 0, NULL)",
     "!Invalid use of Null"},
    {"ReplaceStartZero", "SELECT jet.replace('abc', 'a', 'b', 0)", "!Invalid procedure call"},
    {"ReplaceCountBelowMinusOne", "SELECT jet.replace('abc', 'a', 'b', 1, -2)",
     "!Invalid procedure call"},
    {"ReplaceStartBeyond", "SELECT jet.replace('abc', 'a', 'b', 9)", ""},
    {"ReplaceFromStart", "SELECT jet.replace('aaaa', 'a', 'b', 2, 2)", "bba"},
    {"ReplaceCountZero", "SELECT jet.replace('abab', 'a', 'x', 2, 0)", "bab"},
    {"ReplaceIgnoresCase", "SELECT jet.replace('aAa', 'a', 'x')", "xxx"},
    {"ReplaceBinary", "SELECT jet.replace('aAa', 'a', 'x', 1, -1, 0)", "xAx"},
    {"ReplaceBinaryCounted", "SELECT jet.replace('aAaa', 'a', 'x', 1, 2, 0)", "xAxa"},
    {"ReplaceEmptyFind", "SELECT jet.replace('abc', '', 'x', 2)", "bc"},
    {"ReplaceBadCompare", "SELECT jet.replace('abc', 'a', 'b', 1, -1, 3)", "!Invalid procedure call"},
    {"ReplaceNullCompare", "SELECT jet.replace('abc', 'a', 'b', 1, -1, NULL)", "!Invalid use of Null"},
    // InStrRev: start and compare.
    {"InStrRevFromEnd", "SELECT jet.instrrev('aAbA', 'a')", "4"},
    {"InStrRevBinary", "SELECT jet.instrrev('aAbA', 'a', -1, 0)", "1"},
    {"InStrRevStart", "SELECT jet.instrrev('abcabc', 'bc', 4)", "2"},
    {"InStrRevStartBeyond", "SELECT jet.instrrev('abc', 'c', 5)", "0"},
    {"InStrRevEmptyFind", "SELECT jet.instrrev('abc', '', 2)", "2"},
    {"InStrRevZeroStart", "SELECT jet.instrrev('abc', 'c', 0)", "!Invalid procedure call"},
    {"InStrRevNullStart", "SELECT jet.instrrev('abc', 'c', NULL)", "!Invalid use of Null"},
    {"InStrRevOfNull", "SELECT jet.instrrev(NULL, 'c')", "<null>"},
    // StrComp's compare modes.
    {"StrCompText", "SELECT jet.strcomp('B', 'a')", "1"},
    {"StrCompBinary", "SELECT jet.strcomp('B', 'a', 0)", "-1"},
    {"StrCompTextTwo", "SELECT jet.strcomp('ABC', 'abc', 2)", "0"},
    {"StrCompBadCompare", "SELECT jet.strcomp('a', 'b', 5)", "!Invalid procedure call"},
    {"StrCompNullCompare", "SELECT jet.strcomp('a', 'b', NULL)", "!Invalid use of Null"},
    // Characters and codes.
    {"ChrOutOfRange", "SELECT jet.chr(256)", "!Invalid procedure call"},
    {"ChrNegative", "SELECT jet.chr(-1)", "!Invalid procedure call"},
    {"ChrOfNull", "SELECT jet.chr(NULL)", "!Invalid use of Null"},
    {"ChrZero", "SELECT jet.chr(0)", "!Invalid procedure call"},
    {"ChrWindowsCharacter", "SELECT jet.chr(150)", "\u2013"},
    {"ChrWNegative", "SELECT ascii(jet.chrw(-1))", "65535"},
    {"ChrWOutOfRange", "SELECT jet.chrw(65536)", "!Invalid procedure call"},
    {"AscEmpty", "SELECT jet.asc('')", "!Invalid procedure call"},
    {"AscOfNull", "SELECT jet.asc(NULL)", "!Invalid use of Null"},
    {"AscBeyondTheBasicPlane", "SELECT jet.asc('\U0001F600')", "55357"},
    {"StringOfCode", "SELECT jet.string(2, 321)", "AA"},
    {"StringNegative", "SELECT jet.string(-1, 'a')", "!Invalid procedure call"},
    {"StringOfNullCharacter", "SELECT jet.string(2, NULL::text)", "<null>"},
    {"StringOfNullCount", "SELECT jet.string(NULL, 'a')", "!Invalid use of Null"},
    {"StringOfEmpty", "SELECT jet.string(2, '')", "!Invalid procedure call"},
    // Hex and Oct: 16-bit negatives, then 32-bit ones; beyond a Long overflows.
    {"HexNegativeInteger", "SELECT jet.hex(-32768)", "8000"},
    {"HexNegativeLong", "SELECT jet.hex(-32769)", "FFFF7FFF"},
    {"HexLargest", "SELECT jet.hex(2147483647)", "7FFFFFFF"},
    {"HexOverflow", "SELECT jet.hex(2147483648)", "!Overflow"},
    {"HexRoundsHalfToEven", "SELECT jet.hex(2.5)", "2"},
    {"HexOfNull", "SELECT jet.hex(NULL)", "<null>"},
    {"OctNegative", "SELECT jet.oct(-8)", "177770"},
    {"OctLarge", "SELECT jet.oct(2147483647)", "17777777777"},
    {"OctSmallestLong", "SELECT jet.oct(-2147483648)", "20000000000"},
    // IsNumeric and IsDate of regional texts (the session is English, UK).
    {"IsNumericPounds", "SELECT jet.isnumeric('£1,234.50')", "-1"},
    {"IsNumericDollarsAbroad", "SELECT jet.isnumeric('$5')", "0"},
    {"IsNumericSeparatorInFraction", "SELECT jet.isnumeric('1.2,3')", "0"},
    {"IsNumericTrue", "SELECT jet.isnumeric('True')", "0"},
    {"IsNumericOfNumber", "SELECT jet.isnumeric(2.5)", "-1"},
    {"IsNumericOfDate", "SELECT jet.isnumeric(now()::timestamp)", "0"},
    {"IsDateDayFirst", "SELECT jet.isdate('31/12/2024')", "-1"},
    {"IsDateWeekdayAndTime", "SELECT jet.isdate('Mon 1 Jan 2024 3 PM')", "-1"},
    {"IsDateForeignMonth", "SELECT jet.isdate('2 janvier 2024')", "0"},
    {"IsDateOfNumber", "SELECT jet.isdate(45000)", "0"},
    {"IsDateOfNull", "SELECT jet.isdate(NULL)", "0"},
    {"IsDateOfDate", "SELECT jet.isdate(now()::timestamp)", "-1"},
    {"DayFirstAsTheRegion", "SELECT jet.dt('3/4/2024')", "2024-04-03 00:00:00"},
    {"MonthFirstWithAnotherSeparator", "SELECT jet.dt('12-31-2024')", "2024-12-31 00:00:00"},
    {"HourWithPm", "SELECT jet.dt('3 PM')", "1899-12-30 15:00:00"},
    {"HourBeyondPm", "SELECT jet.dt('13 PM')", "!Data type mismatch in criteria expression."},
    {"DayNumberText", "SELECT jet.dt('45000.5')", "2023-03-15 12:00:00"},
    {"CurrencyText", "SELECT jet.ccur(jet.num('£1,234.56789'))", "1234.5679"},
    {"LongWithGroups", "SELECT jet.clng(jet.num('1,234,567'))", "1234567"},
    {"GroupOutOfPlace", "SELECT jet.num('12,')", "!Data type mismatch in criteria expression."},
    // Names and TimeSerial.
    {"MonthNameOutOfRange", "SELECT jet.monthname(13)", "!Invalid procedure call"},
    {"MonthNameOfNull", "SELECT jet.monthname(NULL)", "!Invalid use of Null"},
    {"MonthNameNullAbbreviate", "SELECT jet.monthname(5, NULL)", "May"},
    {"WeekdayNameOutOfRange", "SELECT jet.weekdayname(8)", "!Invalid procedure call"},
    {"WeekdayNameRegionalFirstDay", "SELECT jet.weekdayname(1, 0, 0)", "Monday"},
    {"WeekdayNameBadFirstDay", "SELECT jet.weekdayname(1, 0, 8)", "!Invalid procedure call"},
    {"WeekdayNameFromSaturday", "SELECT jet.weekdayname(2, 1, 7)", "Sun"},
    {"TimeSerialOfNull", "SELECT jet.timeserial(1, NULL, 0)", "!Invalid use of Null"},
    {"TimeSerialNegative", "SELECT jet.timeserial(0, -1, 0)", "1899-12-29 23:59:00"},
    {"TimeSerialCarries", "SELECT jet.timeserial(25, 0, 61)", "1899-12-31 01:01:01"},
    {"TimeSerialOverflow", "SELECT jet.timeserial(1e9, 0, 0)", "!Overflow"},
    {"CaseInsensitiveCollation", "SELECT 'Straße' = 'STRASSE' COLLATE jet.ci OR 'abc' = 'ABC' COLLATE jet.ci", "t"},
};

INSTANTIATE_TEST_SUITE_P(Cases, JetFunctions, ::testing::ValuesIn(kCalls),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
