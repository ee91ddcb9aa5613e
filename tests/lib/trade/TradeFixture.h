// Fixture of the trade-document tests: the library object on the demo year
// database, helpers that run Jet SQL directly on its connection (no message
// boxes), and a record of the statements the engine runs, so a test can tell
// that a routine ran no SQL at all.
#pragma once

#include "Errors.h"
#include <sqlite3.h>

#include <QStringList>
#include <functional>

#include "platform/db/sqlite/Engine.h"
#include "platform/runtime/Error.h"
#include "tests/support/LibFixture.h"

namespace trade_testing {

using testing_support::errorOf;

class TradeTest : public testing_support::LibTest {
  protected:
    void SetUp() override {
        LibTest::SetUp();
        connectDemo();
        sqlite3_trace_v2(lib->dbconnection->engine().handle(), SQLITE_TRACE_STMT, &TradeTest::trace,
                         this);
    }
    void TearDown() override {
        if (lib->dbconnection && lib->dbconnection->State() == db::adStateOpen)
            sqlite3_trace_v2(lib->dbconnection->engine().handle(), 0, nullptr, nullptr);
    }

    void exec(const QString& jetSql) { lib->dbconnection->Execute(jetSql); }
    // The first column of the first row, as a number.
    int32_t number(const QString& jetSql) {
        db::Recordset rs;
        rs.Open(jetSql, lib->dbconnection);
        return rs.Fields(0).Value().toInt32(*fake.settings);
    }
    int32_t rows(const QString& table) {
        return number(QStringLiteral("select count(*) from ") + table);
    }
    // Statements the engine started since the last call.
    QStringList takeStatements() {
        QStringList s = statements_;
        statements_.clear();
        return s;
    }


  private:
    static int trace(unsigned kind, void* ctx, void* stmt, void*) {
        if (kind == SQLITE_TRACE_STMT)
            static_cast<TradeTest*>(ctx)->statements_
                << QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(stmt)));
        return 0;
    }
    QStringList statements_;
};

}  // namespace trade_testing
