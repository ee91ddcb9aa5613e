// Running statements with their confirmation, the error trail, and the
// standard error handler.
#include "LibFixture.h"

#include "platform/runtime/Error.h"

namespace {

using testing_support::LibTest;

class StatementsTest : public LibTest {
protected:
    void SetUp() override {
        LibTest::SetUp();
        connectDemo();
    }
    int count(const QString& sql) {
        return lib->Retrieve_Id(sql).toInt32(*fake.settings);
    }
};

TEST_F(StatementsTest, UpdateRecConfirmsEvenWhenNoRowMatched) {
    lib->update_rec(QStringLiteral("Delete * from OnLineUsers where SysId=99"));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral(" Successful Operation"));
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Information);
    lib->update_rec(QStringLiteral("Delete * from OnLineUsers"));
    EXPECT_EQ(boxes().size(), 2u);
    EXPECT_EQ(count(QStringLiteral("select count(*) from OnLineUsers")), 0);
    EXPECT_EQ(count(QStringLiteral("select count(*) from errlog")), 0);
}

TEST_F(StatementsTest, ARejectedStatementShowsItsDescriptionAndLeavesATrail) {
    fake.clock->set(rt::naiveDateTime(QDate(2026, 12, 8), QTime(11, 22, 33)));
    lib->update_rec(QStringLiteral("Delete * from NoSuchTable"));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("NoSuchTable")));
    // Read the trail directly.
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from errlog"), lib->dbconnection);
    ASSERT_FALSE(rs.Eof());
    const QString text = rs.Fields(0).Value().asText();
    EXPECT_TRUE(text.endsWith(QStringLiteral(" -2147217865 : From ClsProd"))) << text.toStdString();
    EXPECT_TRUE(text.startsWith(QStringLiteral("The database engine cannot find")));
    // The box shows the description alone; the trail adds the number and the source.
    EXPECT_EQ(text, boxes()[0].text + QStringLiteral(" -2147217865 : From ClsProd"));
    EXPECT_EQ(rs.Fields(1).Value(),
              rt::Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(11, 22, 33))));
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
}

TEST_F(StatementsTest, TheTrailKeepsTheFirst255CharactersAndQuotes) {
    const QString longText = QString(300, u'x');
    lib->er_hnd(longText, fake.clock->now());
    lib->er_hnd(QStringLiteral("Can't find 'x'"), fake.clock->now());
    db::Recordset rs;
    rs.Open(QStringLiteral("select ErrText from errlog"), lib->dbconnection);
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields(0).Value().asText(), QString(255, u'x'));
    rs.MoveNext();
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields(0).Value().asText(), QStringLiteral("Can't find 'x'"));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(StatementsTest, AFailingTrailIsSilentlyMissing) {
    lib->Leave_Connection();
    lib->er_hnd(QStringLiteral("nowhere to go"), fake.clock->now());
    EXPECT_TRUE(boxes().empty());
    // Without a connection the statement itself fails through the handler.
    lib->update_rec(QStringLiteral("Delete * from OnLineUsers"));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
}

TEST_F(StatementsTest, ErrDisplay) {
    EXPECT_EQ(lib->err_display(5), QStringLiteral("Invalid Procedure Call"));
    EXPECT_EQ(lib->err_display(0), QStringLiteral("Read - Write Error"));
    EXPECT_EQ(lib->err_display(-2147217900), QStringLiteral("Read - Write Error"));
}

}  // namespace
