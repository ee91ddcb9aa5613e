// The server engine under Connection and Recordset, on a demo site moved onto
// the test server: what the library relies on, with Jet's meaning.
#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/Schema.h"
#include "tools/makedemo/DemoDatabase.h"

#include "tests/support/Columns.h"
#include "tests/support/Errors.h"
#include "tests/support/PgServer.h"

#include <gtest/gtest.h>

#include <cmath>

#include <QTemporaryDir>

namespace rt {
// Readable variants in failure messages.
inline void PrintTo(const Variant& v, std::ostream* os) { *os << v.debugString().toStdString(); }
}  // namespace rt

namespace {

using rt::Variant;
using testing_support::errorOf;

class PgEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        NARVO_PG_SERVER_OR_SKIP(server);
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath(QStringLiteral("DataBase"));
        demo::Options o;
        o.today = today;
        o.challanRows = 300;
        demo::makeDemoDatabase(folder, o);
        testing_support::moveToServer(folder, today);
        conn = open(QStringLiteral("DB2026_27.mdb"));
    }

    std::shared_ptr<db::Connection> open(const QString& file,
                                         const QString& password = systemDatabasePassword()) {
        auto c = db::Connection::create(&settings, &clock);
        c->setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               folder + u'/' + file +
                               QStringLiteral(";Jet OLEDB:Database Password=") + password);
        c->Open();
        return c;
    }

    Variant value(const QString& sql, int column = 0) {
        db::Recordset rs;
        rs.Open(sql, conn);
        return rs.Eof() ? Variant() : rs.Fields(column).Value();
    }

    QDate today{2026, 12, 8};
    rt::RegionalSettings settings{QLocale(QLocale::English, QLocale::UnitedKingdom)};
    rt::FixedClock clock{rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30, 0))};
    QTemporaryDir dir;
    QString folder;
    std::shared_ptr<db::Connection> conn;
};

TEST_F(PgEngineTest, TheBootstrapLinkNamesTheYear) {
    auto boot = open(QStringLiteral("DBStart.mdb"));
    db::Recordset rs;
    rs.Open(QStringLiteral(
                "select \"DB\" & minYear & \"_\" & right(maxYear,2) from DB_Years where curryear=true"),
            boot);
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields(0).Value(), Variant("DB2026_27"));
}

TEST_F(PgEngineTest, TheSystemPasswordIsCheckedAgainstTheSchemasVerifier) {
    try {
        open(QStringLiteral("DB2026_27.mdb"), QStringLiteral("wrong"));
        FAIL() << "opened with a wrong password";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.description(), QStringLiteral("Not a valid password."));
    }
}

TEST_F(PgEngineTest, AMissingLinkFailsAsAMissingFile) {
    EXPECT_EQ(errorOf([&] { open(QStringLiteral("DB1999_00.mdb")); }), rt::err::DbGeneric);
}

TEST_F(PgEngineTest, ValuesCarryTheirJetKindsAndNames) {
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from DCINV where dcinvid = 1"), conn);
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields(0).Name(), QStringLiteral("dcinvid"));
    EXPECT_EQ(rs.Fields(QStringLiteral("DCNO")).Value(), Variant("1"));
    EXPECT_EQ(rs.Fields(QStringLiteral("custid")).Value(), Variant(int32_t(101)));
    EXPECT_EQ(rs.Fields(QStringLiteral("amount")).Value(), Variant(rt::Currency{1252500}));
    EXPECT_EQ(rs.Fields(QStringLiteral("dcdate")).Value(),
              Variant(rt::naiveDateTime(QDate(2026, 4, 8), QTime(10, 0))));
    db::Recordset users;
    users.Open(QStringLiteral("select Active from User1 where UserId = 4"), conn);
    EXPECT_EQ(users.Fields(0).Value(), Variant(false));
    EXPECT_EQ(value(QStringLiteral("select count(*) from DCINV")), Variant(int32_t(312)));
}

TEST_F(PgEngineTest, StatisticsSwitchChooseAndStrReverseKeepJetsMeaning) {
    conn->Execute(QStringLiteral("create table Nums (N LONG, Name TEXT(10))"));
    for (int n : {2, 4, 4, 4, 5, 5, 7, 9})
        conn->Execute(QStringLiteral("insert into Nums (N, Name) values (%1, 'ab%1')").arg(n));
    conn->Execute(QStringLiteral("insert into Nums (N, Name) values (Null, Null)"));
    const auto number = [&](const char* sql) {
        const Variant v = value(QString::fromLatin1(sql));
        EXPECT_EQ(v.type(), rt::VarType::Double) << sql;
        return v.type() == rt::VarType::Double ? v.asDouble() : -1.0;
    };
    // Nulls left out: eight values of mean 5.
    EXPECT_NEAR(number("select StDevP(N) from Nums"), 2.0, 1e-12);
    EXPECT_NEAR(number("select VarP(N) from Nums"), 4.0, 1e-12);
    EXPECT_NEAR(number("select Var(N) from Nums"), 32.0 / 7, 1e-12);
    EXPECT_NEAR(number("select StDev(N) from Nums"), std::sqrt(32.0 / 7), 1e-12);
    EXPECT_TRUE(value(QStringLiteral("select StDev(N) from Nums where N = 9")).isNull());

    EXPECT_EQ(value(QStringLiteral("select Switch(N > 8, 'big', N > 4, 'mid') from Nums "
                                   "where N = 5")),
              Variant(QStringLiteral("mid")));
    EXPECT_TRUE(value(QStringLiteral("select Switch(N > 8, 'big') from Nums where N = 2")).isNull());
    EXPECT_EQ(value(QStringLiteral("select Choose(2.4, 'a', 'b', 'c') from Nums where N = 2")),
              Variant(QStringLiteral("b")));
    EXPECT_TRUE(value(QStringLiteral("select Choose(4, 'a', 'b', 'c') from Nums where N = 2")).isNull());
    EXPECT_EQ(value(QStringLiteral("select StrReverse(Name) from Nums where N = 7")),
              Variant(QStringLiteral("7ba")));
    EXPECT_TRUE(value(QStringLiteral("select StrReverse(Name) from Nums where N Is Null")).isNull());
}

TEST_F(PgEngineTest, IndexesAndColumnsAreAddedAndDroppedAsOnTheFile) {
    conn->Execute(QStringLiteral("create table Parts (PartId LONG NOT NULL PRIMARY KEY, "
                                 "Name TEXT(20))"));
    conn->Execute(QStringLiteral("create unique index ByName on Parts (Name)"));
    conn->Execute(QStringLiteral("insert into Parts (PartId, Name) values (1, 'Bolt')"));
    // The index compares as the column does, without regard to case.
    EXPECT_NE(testing_support::errorOf([&] {
                  conn->Execute(QStringLiteral("insert into Parts (PartId, Name) values (2, 'BOLT')"));
              }),
              0);
    conn->Execute(QStringLiteral("drop index ByName on Parts"));
    conn->Execute(QStringLiteral("insert into Parts (PartId, Name) values (2, 'BOLT')"));

    conn->Execute(QStringLiteral("alter table Parts add column Price CURRENCY"));
    conn->Execute(QStringLiteral("alter table Parts add column InStock YESNO"));
    conn->Execute(QStringLiteral("update Parts set Price = 2.5 where PartId = 1"));
    EXPECT_EQ(value(QStringLiteral("select Price from Parts where PartId = 1")),
              Variant(rt::Currency{25000}));
    EXPECT_EQ(value(QStringLiteral("select InStock from Parts where PartId = 2")), Variant(false));
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Parts"), conn);
    EXPECT_EQ(rs.Fields(QStringLiteral("InStock")).Name(), QStringLiteral("InStock"));
    rs.Close();

    conn->Execute(QStringLiteral("alter table Parts drop column Price"));
    rs.Open(QStringLiteral("select * from Parts"), conn);
    EXPECT_EQ(rs.FieldCount(), 3);
    EXPECT_EQ(testing_support::errorOf([&] { rs.Fields(QStringLiteral("Price")); }),
              rt::err::DbItemNotFound);
}

TEST_F(PgEngineTest, CurrencyStaysExactOverJetsWholeRange) {
    for (int64_t scaled : {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min(),
                           int64_t(1), int64_t(-99999999999999999)}) {
        db::Recordset rs;
        rs.Open(QStringLiteral("select amount from DCINV where dcinvid = 1"), conn, db::adOpenDynamic,
                db::adLockOptimistic);
        rs.Fields(0) = Variant(rt::Currency{scaled});
        rs.Update();
        EXPECT_EQ(value(QStringLiteral("select amount from DCINV where dcinvid = 1")),
                  Variant(rt::Currency{scaled}));
    }
}

TEST_F(PgEngineTest, TextComparesWithoutRegardToCase) {
    EXPECT_EQ(value(QStringLiteral("select UserId from User1 where UserName = 'ravi'")),
              Variant(int32_t(2)));
    EXPECT_EQ(value(QStringLiteral("select count(*) from User1 where UserName like 'r%' or UserName like '[m]EE%'")),
              Variant(int32_t(2)));
    EXPECT_EQ(value(QStringLiteral("select count(*) from User1 where UserName in ('admin', 'SURESH')")),
              Variant(int32_t(2)));
    EXPECT_EQ(value(QStringLiteral("select top 1 UserName from User1 order by UserName")),
              Variant("ADMIN"));
}

TEST_F(PgEngineTest, TheClockIsTheWorkstations) {
    EXPECT_EQ(value(QStringLiteral("select top 1 Now(), Date(), Time() from User1")),
              Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30))));
    EXPECT_EQ(value(QStringLiteral("select top 1 Now(), Date() from User1"), 1),
              Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(0, 0))));
    const int64_t ahead = conn->Execute(QStringLiteral("delete * from logs where dates > Date()"));
    EXPECT_EQ(ahead, 3);
}

TEST_F(PgEngineTest, AnUpdatableResultAddsAndChangesRows) {
    {
        db::Recordset rs;
        rs.Open(QStringLiteral("Select * from OnLineUsers"), conn, db::adOpenDynamic, db::adLockOptimistic);
        rs.AddNew();
        rs.Fields(QStringLiteral("DateT")) = Variant(clock.now());
        rs.Fields(QStringLiteral("SysId")) = Variant(int32_t(7));
        rs.Fields(QStringLiteral("UserId")) = Variant(int32_t(8));
        rs.Fields(QStringLiteral("UserVal")) = Variant(int32_t(2));
        rs.Fields(QStringLiteral("ScreenId")) = Variant(int32_t(40));
        rs.Update();
    }
    EXPECT_EQ(value(QStringLiteral("select ScreenId from OnLineUsers where SysId = 7")), Variant(int32_t(40)));
    db::Recordset rs;
    rs.Open(QStringLiteral("Select * from OnLineUsers where SysId = 7"), conn, db::adOpenDynamic,
            db::adLockOptimistic);
    rs.Fields(QStringLiteral("UserVal")) = Variant(int32_t(1));
    rs.Update();
    // The same row again: the engine follows it to where its own update put it.
    rs.Fields(QStringLiteral("ScreenId")) = Variant(int32_t(41));
    rs.Update();
    EXPECT_EQ(value(QStringLiteral("select UserVal & '/' & ScreenId from OnLineUsers where SysId = 7")),
              Variant("1/41"));
}

TEST_F(PgEngineTest, ARowAnotherWorkstationChangedIsNotOverwritten) {
    db::Recordset rs;
    rs.Open(QStringLiteral("Select * from OnLineUsers where LineId = 1"), conn, db::adOpenDynamic,
            db::adLockOptimistic);
    ASSERT_FALSE(rs.Eof());
    auto other = open(QStringLiteral("DB2026_27.mdb"));
    other->Execute(QStringLiteral("update OnLineUsers set UserVal = 9 where LineId = 1"));
    rs.Fields(QStringLiteral("UserVal")) = Variant(int32_t(5));
    try {
        rs.Update();
        FAIL() << "overwrote another workstation's change";
    } catch (const rt::Error& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("another user"))) << e.what();
    }
    EXPECT_EQ(value(QStringLiteral("select UserVal from OnLineUsers where LineId = 1")), Variant(int32_t(9)));
}

TEST_F(PgEngineTest, StatementsInterleaveWithAResultStillRead) {
    db::Recordset big;
    big.Open(QStringLiteral("select dcno from DCINV order by dcinvid"), conn);
    ASSERT_FALSE(big.Eof());
    big.MoveNext();
    // A write and another read on the same connection while `big` is half read.
    conn->Execute(QStringLiteral("delete * from DCINV where dcinvid > 300"));
    EXPECT_EQ(value(QStringLiteral("select count(*) from DCINV")), Variant(int32_t(300)));
    int rows = 1;
    for (; !big.Eof(); big.MoveNext()) ++rows;
    EXPECT_EQ(rows, 312);  // the result as it stood when it was opened
}

TEST_F(PgEngineTest, AHalfReadResultClosedEarlyLeavesTheConnectionFree) {
    for (int i = 0; i < 3; ++i) {
        db::Recordset rs;
        rs.Open(QStringLiteral("select * from DCINV"), conn);
        ASSERT_FALSE(rs.Eof());
        rs.Close();
    }
    EXPECT_EQ(value(QStringLiteral("select count(*) from DCOUTGOINGINV")), Variant(int32_t(312)));
}

TEST_F(PgEngineTest, ASecondSaveOfADocumentNumberIsRefused) {
    conn->Execute(QStringLiteral(
        "insert into DCINV (dcno, dcdate, custid, invno) values ('9000', #08/12/2026#, 1, 'Nil')"));
    try {
        conn->Execute(QStringLiteral(
            "insert into DCINV (dcno, dcdate, custid, invno) values ('9000', #08/12/2026#, 2, 'Nil')"));
        FAIL() << "a duplicate challan number was stored";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbConstraint);
        EXPECT_TRUE(e.description().contains(QStringLiteral("duplicate values"))) << e.what();
    }
    EXPECT_EQ(value(QStringLiteral("select count(*) from DCINV where dcno = '9000'")), Variant(int32_t(1)));
    // Invoice numbers too; challans without an invoice ('Nil', Null) are many.
    EXPECT_NE(errorOf([&] {
                  conn->Execute(QStringLiteral("update DCINV set invno = '1' where dcinvid = 2"));
              }),
              0);
    EXPECT_EQ(value(QStringLiteral("select count(*) from DCINV where invno = 'nil'")), Variant(int32_t(79)));
}

TEST_F(PgEngineTest, ALockedRowReadsAsLockedByAnotherUser) {
    auto other = open(QStringLiteral("DB2026_27.mdb"));
    other->engine().beginWrite();
    other->Execute(QStringLiteral("update OnLineUsers set UserVal = 3 where LineId = 2"));
    conn->engine().setLockWait(100);
    try {
        conn->Execute(QStringLiteral("delete * from OnLineUsers where LineId = 2"));
        FAIL() << "deleted a row another workstation holds";
    } catch (const rt::Error& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("locked by another user"))) << e.what();
    }
    other->engine().rollback();
    EXPECT_EQ(conn->Execute(QStringLiteral("delete * from OnLineUsers where LineId = 2")), 1);
}

TEST_F(PgEngineTest, TheSchemaHelperMakesTablesWithJetTypes) {
    db::createTable(*conn, db::TableDef{QStringLiteral("Extra"),
                                        {testing_support::column(QStringLiteral("Id"), db::JetType::AutoNumber),
                                         testing_support::column(QStringLiteral("Flag"), db::JetType::YesNo),
                                         testing_support::column(QStringLiteral("Note"), db::JetType::Text, 5)},
                                        {db::IndexDef{QStringLiteral("PrimaryKey"), {QStringLiteral("Id")}, true, true}}});
    EXPECT_TRUE(db::userTables(*conn).contains(QStringLiteral("Extra")));
    EXPECT_FALSE(db::userTables(*conn).contains(QStringLiteral("msyspassword")));
    conn->Execute(QStringLiteral("insert into Extra (Flag, Note) values (True, 'abc')"));
    EXPECT_EQ(value(QStringLiteral("select Flag from Extra")), Variant(true));
    EXPECT_EQ(value(QStringLiteral("select Id from Extra")), Variant(int32_t(1)));
    EXPECT_NE(errorOf([&] { conn->Execute(QStringLiteral("insert into Extra (Note) values ('too long')")); }), 0);
}

TEST_F(PgEngineTest, IdentityCountersContinuePastTheMovedRows) {
    conn->Execute(QStringLiteral("insert into DCSUBCONOUTGOING (dcno) values (5000)"));
    EXPECT_EQ(value(QStringLiteral("select max(dcid) from DCSUBCONOUTGOING")), Variant(int32_t(313)));
}

}  // namespace
