// A library object on the demo year database acting as workstation 1, user 2,
// with helpers that write occupancy records as other workstations would and
// read the table back past the library.
#pragma once

#include <sqlite3.h>

#include <vector>

#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/Schema.h"
#include "tests/lib/db/SharedRecordsetsDemo.h"
#include "tests/support/Columns.h"
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

using testing_support::column;

// An OnLineUsers table of the given shape, for tests that replace the demo's
// (made through the engine, so it suits either engine): LineId (AutoNumber,
// the key), DateT, SysId, UserId, the Long columns `longs`, ScreenId, then
// `extra`.
inline db::TableDef occupancyTable(const QStringList& longs,
                                   const std::vector<db::ColumnDef>& extra = {}) {
    db::TableDef t{QStringLiteral("OnLineUsers"),
                   {column(QStringLiteral("LineId"), db::JetType::AutoNumber),
                    column(QStringLiteral("DateT"), db::JetType::DateTime),
                    column(QStringLiteral("SysId"), db::JetType::Long),
                    column(QStringLiteral("UserId"), db::JetType::Long)},
                   {db::IndexDef{QStringLiteral("PrimaryKey"), {QStringLiteral("LineId")}, true, true}}};
    for (const QString& l : longs) t.columns.push_back(column(l, db::JetType::Long));
    t.columns.push_back(column(QStringLiteral("ScreenId"), db::JetType::Long));
    for (const db::ColumnDef& c : extra) t.columns.push_back(c);
    return t;
}

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
    // folder can write to the file. On the file engine the columns' checks
    // of their kinds are off, as in a file of an earlier version, which has
    // none. On the server engine: native SQL over a connection of its own; a
    // value the server's column types refuse (text in a number column, a
    // number beyond its range) cannot be stored there, and the test is
    // skipped.
    void writeRaw(const char* sql) {
        const QString file = dataFolder() + u'/' + lib->curr_DB_file;
        if (testing_support::onServer()) {
            auto other = db::Connection::create(fake.settings.get(), fake.clock.get());
            other->setConnectionString(lib->dbconnection->ConnectionString());
            other->Open();
            try {
                other->engine().execNative(sql);
            } catch (const rt::Error& e) {
                if (e.description().contains(QLatin1String("Data type mismatch")) ||
                    e.description().contains(QLatin1String("overflow"), Qt::CaseInsensitive))
                    GTEST_SKIP() << "The server's column types refuse what the file takes: "
                                 << e.what();
                ADD_FAILURE() << e.what();
            }
            return;
        }
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
