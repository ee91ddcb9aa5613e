// Registering and releasing screens in OnLineUsers: what each routine writes or
// deletes, whose records it spares, what it confirms, and its own failure path.
#include "tests/lib/screens/ScreensFixture.h"

#include <chrono>
#include <thread>

namespace {

using screens_test::at;
using screens_test::Record;
using screens_test::ScreensTest;

const QString kConfirm = QStringLiteral(" Successful Operation");

class OccupancyTest : public ScreensTest {
protected:
    void expectOneConfirmation() {
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].text, kConfirm);
        EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
        EXPECT_EQ(boxes()[0].icon, ui::Icon::Information);
    }
};

TEST_F(OccupancyTest, RegisterWritesNowTheIdsTheAccessValueAndTheScreen) {
    emptyTable();
    fake.clock->set(at(2026, 12, 8, 10, 5, 7));
    lib->Register_User_Log(21, 3);
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(records(), std::vector<Record>({{at(2026, 12, 8, 10, 5, 7), 1, 2, 3, 21}}));
}

TEST_F(OccupancyTest, RegisteringTheSameScreenTwiceGivesTwoRecords) {
    emptyTable();
    lib->Register_User_Log(21, 2);
    fake.clock->set(fake.clock->now().addSecs(30));
    lib->Register_User_Log(21, 2);
    const auto rows = records();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].screenId, 21);
    EXPECT_EQ(rows[1].screenId, 21);
    EXPECT_EQ(rows[0].dateT.secsTo(rows[1].dateT), 30);
}

TEST_F(OccupancyTest, TheIdsAreReadFromTheContextAtEachCall) {
    // A host that computes its ids instead of setting them.
    struct Host : ctx::AppContext {
        int32_t calls = 0;
        int32_t workstationId() const override { return 40 + calls; }
        int32_t userId() const override { return 7; }
    };
    auto host = std::make_shared<Host>();
    auto env = fake.environment(appFolder());
    env.context = host;
    clsProd other(env);
    other.dbconnection = lib->dbconnection;
    emptyTable();
    other.Register_User_Log(5, 2);
    host->calls = 1;
    other.Register_User_Log(5, 2);
    const auto rows = records();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].sysId, 40);
    EXPECT_EQ(rows[1].sysId, 41);
    EXPECT_EQ(rows[1].userId, 7);
}

TEST_F(OccupancyTest, UnRegisterRemovesOnlyThisWorkstationsAndUsersRecordsOfTheScreen) {
    emptyTable();
    const QDateTime t = at(2026, 12, 8, 9, 0);
    registerOwn(t, 21);
    registerOwn(t, 21);
    registerOwn(t, 22);
    registerAs(1, 3, t, 21);  // same workstation, another user
    registerAs(2, 2, t, 21);  // same user id on another workstation
    registerAs(3, 4, t, 21);
    lib->UnRegister_User_Log(21);
    expectOneConfirmation();
    EXPECT_EQ(records(), std::vector<Record>({{t, 1, 2, 2, 22},
                                              {t, 1, 3, 2, 21},
                                              {t, 2, 2, 2, 21},
                                              {t, 3, 4, 2, 21}}));
}

TEST_F(OccupancyTest, UnRegisterOfAScreenWithoutRecordsStillConfirms) {
    const auto before = records();
    lib->UnRegister_User_Log(999);
    expectOneConfirmation();
    EXPECT_EQ(records(), before);
}

TEST_F(OccupancyTest, ClearRemovesEveryRecordOfThisWorkstationAndConfirmsOnce) {
    // The demo holds stale records of workstations 1, 2 and 3.
    const QDateTime t = at(2026, 12, 8, 9, 0);
    registerOwn(t, 21);
    registerAs(1, 3, t, 22, 1);
    registerAs(2, 2, t, 21);
    ASSERT_GE(count(QStringLiteral("select count(*) from OnLineUsers where SysId=1")), 3);
    const int others = count(QStringLiteral("select count(*) from OnLineUsers where SysId<>1"));
    lib->Clear_Scr_Log_For_SysId();
    expectOneConfirmation();
    EXPECT_EQ(count(QStringLiteral("select count(*) from OnLineUsers where SysId=1")), 0);
    EXPECT_EQ(count(QStringLiteral("select count(*) from OnLineUsers where SysId<>1")), others);
}

TEST_F(OccupancyTest, RegisterInACrowdedTableWaitsForAnotherWorkstationsWrite) {
    // More stale records than the database layer reads ahead: the routine's
    // query is still being read when it adds its record.
    auto& engine = lib->dbconnection->engine();
    engine.execNative("BEGIN");
    for (int i = 0; i < 600; ++i)
        engine.execNative(QStringLiteral("INSERT INTO OnLineUsers (DateT, SysId, UserId, UserVal, "
                                         "ScreenId) VALUES ('2026-12-01 08:00:00', 5, 1, 1, %1)")
                              .arg(100 + i)
                              .toStdString());
    engine.execNative("COMMIT");
    // Another workstation is in the middle of a write and commits a little later.
    auto other = db::Connection::create(fake.settings.get(), fake.clock.get());
    other->setConnectionString(lib->dbconnection->ConnectionString());
    other->Open();
    other->engine().beginWrite();
    other->engine().execNative(
        "INSERT INTO OnLineUsers (DateT, SysId, UserId, UserVal, ScreenId) "
        "VALUES ('2026-12-08 10:29:00', 6, 1, 2, 21)");
    std::thread commit([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        other->engine().commit();
    });
    lib->Register_User_Log(21, 2);
    commit.join();
    EXPECT_TRUE(boxes().empty()) << boxes()[0].text.toStdString();
    EXPECT_EQ(count(QStringLiteral("select count(*) from OnLineUsers where ScreenId=21")), 2);
}

TEST_F(OccupancyTest, ARegisterFailureIsShownUnderTheApplicationTitleWithoutTrail) {
    lib->dbconnection->engine().execNative("DROP TABLE OnLineUsers");
    const int trail = trailRows();
    lib->Register_User_Log(21, 2);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("TestApp"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("OnLineUsers"), Qt::CaseInsensitive))
        << boxes()[0].text.toStdString();
    EXPECT_EQ(trailRows(), trail);
}

TEST_F(OccupancyTest, AValueTheTableRejectsStoresNothing) {
    // A table that demands a column the routine does not fill.
    auto& engine = lib->dbconnection->engine();
    engine.execNative("DROP TABLE OnLineUsers");
    db::ColumnDef note = screens_test::column(QStringLiteral("Note"), db::JetType::Text, 10);
    note.required = true;
    engine.createTable(screens_test::occupancyTable({QStringLiteral("UserVal")}, {note}));
    lib->Register_User_Log(21, 2);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("TestApp"));
    EXPECT_EQ(count(QStringLiteral("select count(*) from OnLineUsers")), 0);
}

TEST_F(OccupancyTest, WithoutAConnectionRegisterUsesItsOwnPath) {
    lib->Leave_Connection();
    lib->Register_User_Log(21, 2);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("TestApp"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
}

TEST_F(OccupancyTest, ARejectedDeletionIsReportedByTheStatementRunner) {
    lib->dbconnection->engine().execNative("DROP TABLE OnLineUsers");
    for (auto call : {+[](clsProd& p) { p.UnRegister_User_Log(21); },
                      +[](clsProd& p) { p.Clear_Scr_Log_For_SysId(); }}) {
        boxes().clear();
        const int trail = trailRows();
        call(*lib);
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
        EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
        EXPECT_EQ(trailRows(), trail + 1);
    }
}

}  // namespace
