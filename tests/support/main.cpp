// Test main: a QApplication on the offscreen platform (unless a platform is
// set), so widget tests use real Qt widgets without a display. When the run
// asks for the server engine (NARVO_TEST_ENGINE=server) but names no server,
// every test is skipped, or fails when the run says a server is required.
#include <gtest/gtest.h>

#include "tests/support/PgServer.h"

#include <QApplication>

#include <cstdlib>

namespace {

class ServerEngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!testing_support::onServer() || testing_support::pgServer()) return;
        if (testing_support::pgServerRequired())
            FAIL() << "NARVO_TEST_ENGINE=server and NARVO_PG_REQUIRED=1, but NARVO_PG names no server";
        GTEST_SKIP() << "The server engine's run needs a database server (set NARVO_PG)";
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ServerEngineEnvironment);
    return RUN_ALL_TESTS();
}
