// Single-value queries on a real year database.
#include "LibFixture.h"

#include "platform/runtime/Error.h"

namespace {

using rt::Variant;
using testing_support::LibTest;

class QueriesTest : public LibTest {
protected:
    void SetUp() override {
        LibTest::SetUp();
        connectDemo();
        lib->dbconnection->Execute(QStringLiteral(
            "insert into ImpSystems (SysId, SysName, Location) values (7, 'Steel', Null)"));
        lib->dbconnection->Execute(QStringLiteral(
            "insert into ImpSystems (SysId, SysName, Location) values (8, Null, 'Yard')"));
    }
    int trailRows() {
        db::Recordset rs;
        rs.Open(QStringLiteral("select count(*) from errlog"), lib->dbconnection);
        return rs.Fields(0).Value().toInt32(*fake.settings);
    }
};

TEST_F(QueriesTest, RetrieveIdKeepsTheValuesKind) {
    EXPECT_EQ(lib->Retrieve_Id(QStringLiteral("select SysName from ImpSystems where SysId=1")),
              Variant(QStringLiteral("STORES-PC")));
    EXPECT_EQ(lib->Retrieve_Id(QStringLiteral("select SysId from ImpSystems where SysId=7")),
              Variant(int32_t(7)));
    EXPECT_EQ(lib->Retrieve_Id(QStringLiteral("select SysId from ImpSystems where SysId=99")),
              Variant(int16_t(0)));
    EXPECT_EQ(lib->Retrieve_Id(QStringLiteral("select Location from ImpSystems where SysId=7")),
              Variant(int16_t(0)));
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(lib->Retrieve_Id(QStringLiteral("select x from nowhere")), Variant());
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_EQ(trailRows(), 1);
}

TEST_F(QueriesTest, RetrieveNameGivesTextForms) {
    EXPECT_EQ(lib->Retrieve_Name(QStringLiteral("select SysId from ImpSystems where SysId=7")),
              QStringLiteral("7"));
    EXPECT_EQ(lib->Retrieve_Name(QStringLiteral("select Location from ImpSystems where SysId=7")),
              QString());
    EXPECT_EQ(lib->Retrieve_Name(QStringLiteral("select SysName from ImpSystems where SysId=99")),
              QString());
    EXPECT_EQ(lib->Retrieve_Name(
                  QStringLiteral("select DateT from OnLineUsers where SysId=3 and UserId=4")),
              QStringLiteral("08/12/2026 08:45:00"));
    EXPECT_EQ(lib->Retrieve_Name(QStringLiteral("select SysName from ImpSystems order by SysId")),
              QStringLiteral("STORES-PC"));
    // The text comes back as stored, blanks included.
    EXPECT_EQ(lib->Retrieve_Name(QStringLiteral("select '  Lathe  ' & SysName from ImpSystems "
                                                "where SysId=7")),
              QStringLiteral("  Lathe  Steel"));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(QueriesTest, RetrieveTwoColsPutsTheSecondColumnFirst) {
    EXPECT_EQ(lib->Retrieve_TWO_Cols(
                  QStringLiteral("select SysId, SysName from ImpSystems where SysId=7")),
              QStringLiteral("Steel , 7"));
    EXPECT_EQ(lib->Retrieve_TWO_Cols(
                  QStringLiteral("select Location, SysName from ImpSystems where SysId=7")),
              QStringLiteral("Steel , "));
    EXPECT_EQ(lib->Retrieve_TWO_Cols(
                  QStringLiteral("select Location, SysName from ImpSystems where SysId=8")),
              QStringLiteral(" , Yard"));
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(lib->Retrieve_TWO_Cols(QStringLiteral("select SysName from ImpSystems")),
              QString());
    EXPECT_EQ(boxes().size(), 1u);
}

TEST_F(QueriesTest, ChkRecExst) {
    EXPECT_TRUE(lib->chk_rec_exst(QStringLiteral("select * from DCINV")));
    EXPECT_FALSE(lib->chk_rec_exst(QStringLiteral("select * from errlog")));
    EXPECT_TRUE(lib->chk_rec_exst(
        QStringLiteral("select Location, Null from ImpSystems where SysId=7")));
    EXPECT_TRUE(boxes().empty());
    EXPECT_FALSE(lib->chk_rec_exst(QStringLiteral("select * from nowhere")));
    EXPECT_EQ(boxes().size(), 1u);
}

TEST_F(QueriesTest, WithoutAConnectionTheHandlerReports) {
    lib->dbconnection.reset();
    EXPECT_EQ(lib->Retrieve_Id(QStringLiteral("select 1")), Variant());
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
}

}  // namespace
