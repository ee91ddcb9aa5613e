// Shared test fixtures: a temporary folder, and a library object whose seams
// are fakes (recorded message boxes, a fixed clock, a program end that throws)
// with explicit regional settings, so tests do not depend on the machine.
#pragma once

#include "lib/clsProd.h"
#include "tests/support/PgServer.h"
#include "tools/makedemo/DemoDatabase.h"
#include "platform/runtime/Environment.h"
#include "platform/ui/MessageBox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

#include <memory>

namespace testing_support {

// en_GB settings: dd/MM/yyyy, HH:mm:ss, '.' decimal separator.
inline std::shared_ptr<rt::RegionalSettings> britishSettings() {
    return std::make_shared<rt::RegionalSettings>(QLocale(QLocale::English, QLocale::UnitedKingdom));
}

struct FakeEnvironment {
    std::shared_ptr<ui::RecordingMessageBox> boxes = std::make_shared<ui::RecordingMessageBox>();
    std::shared_ptr<rt::FixedClock> clock =
        std::make_shared<rt::FixedClock>(rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30, 0)));
    std::shared_ptr<rt::ThrowingProgramEnd> programEnd = std::make_shared<rt::ThrowingProgramEnd>();
    std::shared_ptr<ctx::AppContext> context = std::make_shared<ctx::AppContext>();
    std::shared_ptr<rt::RegionalSettings> settings = britishSettings();

    clsProd::Environment environment(const QString& appFolder) const {
        clsProd::Environment env = clsProd::defaultEnvironment();
        env.messageBox = boxes;
        env.clock = clock;
        env.programEnd = programEnd;
        env.appFolder = appFolder;
        env.appTitle = QStringLiteral("TestApp");
        env.context = context;
        env.settings = settings;
        return env;
    }
};

// A fixture with a temporary application folder and a library object on fakes.
class LibTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        lib = std::make_unique<clsProd>(fake.environment(appFolder()));
    }
    QString appFolder() const { return QDir::cleanPath(dir.path()); }
    // Writes the demo DataBase folder (dated by the fake clock) under the
    // application folder. On the server engine the site is then moved onto
    // the test server (schemas of its own), its files becoming link files.
    void makeDemo(int challanRows = 0) {
        demo::Options o;
        o.today = fake.clock->today();
        o.challanRows = challanRows;
        demo::makeDemoDatabase(dataFolder(), o);
        if (onServer()) moveToServer(dataFolder(), o.today);
    }
    // makeDemo() and Get_Connection(): the object is on the current year database.
    void connectDemo() {
        makeDemo();
        lib->Get_Connection();
        ASSERT_TRUE(lib->dbconnection);
    }
    QString dataFolder() const { return appFolder() + QStringLiteral("/DataBase"); }
    std::vector<ui::RecordingMessageBox::Shown>& boxes() { return fake.boxes->shown; }

    QTemporaryDir dir;
    FakeEnvironment fake;
    std::unique_ptr<clsProd> lib;
};

}  // namespace testing_support
