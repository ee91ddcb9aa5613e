// Several workstations on one database at once: real processes of the
// screens_worker program register, check and release the same screens while
// another one keeps clearing its own records. Afterwards every workstation must
// hold exactly the records it left behind, and no call may have failed
// (a busy file included): the only boxes allowed are the confirmations of the
// deletions and the conflict notices the checks give each other.
#include "tests/lib/screens/ScreensFixture.h"

#include <QProcess>

#include <iostream>
#include <map>
#include <memory>
#include <string>

namespace {

using screens_test::ScreensTest;

struct Workstation {
    int32_t sysId;
    int32_t userId;
    QString mode;  // "cycle" or "clear"
    QList<int32_t> screens;
    int32_t hold;  // the screen left registered at the end
};

struct Outcome {
    int confirmations = 0;
    int conflicts = 0;
    QStringList unexpected;  // anything else the worker saw
    bool done = false;
};

class WorkstationsTest : public ScreensTest {
protected:
    // Runs the workstations side by side and collects what each one saw.
    std::map<int32_t, Outcome> run(const std::vector<Workstation>& stations, int rounds) {
        std::vector<std::unique_ptr<QProcess>> procs;
        for (const Workstation& w : stations) {
            QStringList screens;
            for (int32_t s : w.screens) screens << QString::number(s);
            auto p = std::make_unique<QProcess>();
            p->setProcessChannelMode(QProcess::SeparateChannels);
            p->start(QStringLiteral(NARVO_SCREENS_WORKER),
                     {QStringLiteral("--folder"), appFolder(), QStringLiteral("--ws"),
                      QString::number(w.sysId), QStringLiteral("--user"), QString::number(w.userId),
                      QStringLiteral("--screens"), screens.join(u','), QStringLiteral("--rounds"),
                      QString::number(rounds), QStringLiteral("--mode"), w.mode,
                      QStringLiteral("--hold"), QString::number(w.hold)});
            procs.push_back(std::move(p));
        }
        std::map<int32_t, Outcome> out;
        for (size_t i = 0; i < procs.size(); ++i) {
            QProcess& p = *procs[i];
            Outcome& o = out[stations[i].sysId];
            if (!p.waitForFinished(120000)) {
                p.kill();
                p.waitForFinished();
                o.unexpected << QStringLiteral("did not finish");
            }
            if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
                o.unexpected << QStringLiteral("exit %1: %2")
                                    .arg(p.exitCode())
                                    .arg(QString::fromUtf8(p.readAllStandardError()));
            const QString title = QStringLiteral("WS%1").arg(stations[i].sysId);
            const QStringList lines =
                QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
            for (const QString& line : lines) {
                const QStringList f = line.split(u'\t');
                if (f.value(0) == u"DONE") {
                    o.done = true;
                } else if (f.size() == 4 && f[0] == u"BOX" && f[1] == u"I" &&
                           f[2] == u"NARVO" && f[3] == u" Successful Operation") {
                    ++o.confirmations;
                } else if (f.size() == 4 && f[0] == u"BOX" && f[1] == u"C" && f[2] == title &&
                           f[3].startsWith(QStringLiteral("This Screen was already opened by"))) {
                    ++o.conflicts;
                } else {
                    o.unexpected << line;
                }
            }
        }
        return out;
    }
    void runAndCheck(int rounds);
    int recordsOf(int32_t sysId, const QString& extra = {}) {
        return count(QStringLiteral("select count(*) from OnLineUsers where SysId=") +
                     QString::number(sysId) + extra);
    }
};

// Runs the workstations and checks what they saw and what they left behind.
void WorkstationsTest::runAndCheck(int rounds) {
    const std::vector<Workstation> stations = {
        {11, 2, QStringLiteral("cycle"), {31, 32, 33}, 31},
        {12, 3, QStringLiteral("cycle"), {31, 32, 33}, 32},
        {13, 1, QStringLiteral("cycle"), {32, 33, 34}, 33},
        {14, 4, QStringLiteral("cycle"), {31, 34}, 34},
        {19, 2, QStringLiteral("clear"), {31, 32, 33, 34}, 35},
    };
    const int before = count(QStringLiteral("select count(*) from OnLineUsers"));

    const auto outcomes = run(stations, rounds);

    int conflicts = 0;
    for (const Workstation& w : stations) {
        SCOPED_TRACE("workstation " + std::to_string(w.sysId));
        const Outcome& o = outcomes.at(w.sysId);
        EXPECT_TRUE(o.done);
        EXPECT_TRUE(o.unexpected.isEmpty()) << o.unexpected.join(u'\n').toStdString();
        const int deletions = w.mode == u"cycle" ? rounds * int(w.screens.size()) : rounds;
        EXPECT_EQ(o.confirmations, deletions);
        // Exactly the held screen remains, nothing of the rounds.
        EXPECT_EQ(recordsOf(w.sysId), 1);
        EXPECT_EQ(recordsOf(w.sysId, QStringLiteral(" and ScreenId=") + QString::number(w.hold) +
                                         QStringLiteral(" and UserId=") +
                                         QString::number(w.userId)),
                  1);
        conflicts += o.conflicts;
    }
    // The records of the workstations that took no part are untouched.
    EXPECT_EQ(count(QStringLiteral("select count(*) from OnLineUsers")),
              before + int(stations.size()));
    std::cout << "[          ] conflict notices exchanged: " << conflicts << '\n';
}

TEST_F(WorkstationsTest, ConcurrentRegistrationsLoseNothingAndLeaveNothingBehind) {
    runAndCheck(4);
}

// Stale records pile up until the repair removes them. With more rows than the
// database layer reads ahead, registering a screen writes while its own query
// is still being read.
TEST_F(WorkstationsTest, ACrowdedTableMakesNoDifference) {
    auto& engine = lib->dbconnection->engine();
    engine.execNative("BEGIN");
    for (int i = 0; i < 600; ++i)
        engine.execNative(QStringLiteral("INSERT INTO OnLineUsers (DateT, SysId, UserId, UserVal, "
                                         "ScreenId) VALUES ('2026-12-01 08:00:00', %1, 1, 1, %2)")
                              .arg(50 + i % 5)
                              .arg(100 + i)
                              .toStdString());
    engine.execNative("COMMIT");
    runAndCheck(3);
}

}  // namespace
