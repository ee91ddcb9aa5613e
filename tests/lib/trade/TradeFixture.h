// Fixture of the trade-document tests: the library object on the demo year
// database, helpers that run Jet SQL directly on its connection (no message
// boxes), and a record of the statements the engine runs, so a test can tell
// that a routine ran no SQL at all.
#pragma once

#include "Errors.h"

#include <QStringList>
#include <functional>

#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"
#include "tests/support/LibFixture.h"

namespace trade_testing {

using testing_support::errorOf;

class TradeTest : public testing_support::LibTest {
  protected:
    void SetUp() override {
        LibTest::SetUp();
        connectDemo();
        lib->dbconnection->engine().setTrace(
            [this](const std::string& sql) { statements_ << QString::fromStdString(sql); });
    }
    void TearDown() override {
        if (lib->dbconnection && lib->dbconnection->State() == db::adStateOpen)
            lib->dbconnection->engine().setTrace({});
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
    QStringList statements_;
};

}  // namespace trade_testing
