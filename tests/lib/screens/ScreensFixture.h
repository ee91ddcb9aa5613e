// A library object on the demo year database acting as workstation 1, user 2,
// with helpers that write occupancy records as other workstations would and
// read the table back past the library.
#pragma once

#include <sqlite3.h>

#include <vector>

#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "tests/lib/db/SharedRecordsetsDemo.h"
#include "tests/support/LibFixture.h"

namespace screens_test {

inline QDateTime at(int y, int m, int d, int hh, int mm, int ss = 0, int ms = 0) {
    return rt::naiveDateTime(QDate(y, m, d), QTime(hh, mm, ss, ms));
}

struct Record {
    QDateTime dateT;
    int32_t sysId, userId, userVal, screenId;
    friend bool operator==(const Record&, const Record&) = default;
};

class ScreensTest : public testing_support::LibTest {
protected:
    static constexpr int32_t kOwnSys = 1;
    static constexpr int32_t kOwnUser = 2;

    void SetUp() override {
        LibTest::SetUp();
        fake.context->setWorkstationId(kOwnSys);
        fake.context->setUserId(kOwnUser);
        fake.context->setMsgTxt(QStringLiteral("Delivery Challan"));
        testing_support::copyDemoDatabase(dataFolder(), fake.clock->today());
        lib->Get_Connection();
        ASSERT_TRUE(lib->dbconnection);
    }

    // Removes every occupancy record (the demo leaves stale ones behind).
    void emptyTable() { lib->dbconnection->Execute(QStringLiteral("Delete * from OnLineUsers")); }

    // Registers a screen as workstation `sys`, user `user` would at `when`,
    // then returns to this workstation, this user and the clock as they were.
    void registerAs(int32_t sys, int32_t user, const QDateTime& when, int32_t screen,
                    int32_t userVal = 2) {
        const auto ws = fake.context->workstationId();
        const auto us = fake.context->userId();
        const QDateTime was = fake.clock->now();
        fake.context->setWorkstationId(sys);
        fake.context->setUserId(user);
        fake.clock->set(when);
        lib->Register_User_Log(screen, userVal);
        fake.context->setWorkstationId(ws);
        fake.context->setUserId(us);
        fake.clock->set(was);
    }
    void registerOwn(const QDateTime& when, int32_t screen, int32_t userVal = 2) {
        registerAs(kOwnSys, kOwnUser, when, screen, userVal);
    }

    // The records in the order they were written.
    std::vector<Record> records(const QString& where = {}) {
        db::Recordset rs;
        rs.Open(QStringLiteral("select DateT, SysId, UserId, UserVal, ScreenId from OnLineUsers ") +
                    where + QStringLiteral(" order by LineId"),
                lib->dbconnection);
        std::vector<Record> out;
        const rt::RegionalSettings& s = *fake.settings;
        for (; !rs.Eof(); rs.MoveNext())
            out.push_back({rs.Fields(0).Value().toDate(s), rs.Fields(1).Value().toInt32(s),
                           rs.Fields(2).Value().toInt32(s), rs.Fields(3).Value().toInt32(s),
                           rs.Fields(4).Value().toInt32(s)});
        return out;
    }
    int count(const QString& sql) {
        db::Recordset rs;
        rs.Open(sql, lib->dbconnection);
        return int(rs.Fields(0).Value().toDouble(*fake.settings));
    }
    int trailRows() { return count(QStringLiteral("select count(*) from errlog")); }

    // Runs `sql` on the year database over a connection of its own, past the
    // library and its translator, as anything with access to the shared
    // folder can write to the file. The columns' checks of their kinds are
    // off, as in a file of an earlier version, which has none.
    void writeRaw(const char* sql) {
        const QString file = dataFolder() + u'/' + lib->curr_DB_file;
        sqlite3* other = nullptr;
        ASSERT_EQ(
            sqlite3_open_v2(file.toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr),
            SQLITE_OK);
        sqlite3_busy_timeout(other, 5000);
        sqlite3_exec(other, "PRAGMA ignore_check_constraints = ON", nullptr, nullptr, nullptr);
        char* message = nullptr;
        const int rc = sqlite3_exec(other, sql, nullptr, nullptr, &message);
        EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "");
        sqlite3_free(message);
        sqlite3_close(other);
    }
};

}  // namespace screens_test
