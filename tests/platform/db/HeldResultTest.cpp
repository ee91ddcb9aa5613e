// Workstations never hold each other up: workstation A (a real process) opens a
// 100,000-row result, reads one row and keeps it open; meanwhile workstations
// B and C (real processes) insert and delete through update_rec, register and
// unregister screens, take challan numbers and run both repairs, and not one
// call fails: had A kept any lock on the file, every write of B and C would
// have failed after its lock wait, however long. The wait is five seconds
// rather than twenty (so a fault shows in reasonable time) and still ample for
// B and C waiting on each other on a loaded machine.
// A then walks every row that matched when it opened, updates a row nobody
// else touched, and is refused the row that B changed meanwhile, which keeps
// B's value.
#include "LibFixture.h"

#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/jet/Translator.h"
#include "platform/runtime/Error.h"

#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <map>
#include <memory>

namespace {

const QString kWorker = QStringLiteral(NARVO_SCREENS_WORKER);
constexpr int kRows = 100'000;
constexpr int kLockWaitMs = 5000;

class HeldResultTest : public testing_support::LibTest {
protected:
    void SetUp() override {
        LibTest::SetUp();
        connectDemo();
        db::Engine& e = lib->dbconnection->engine();
        e.execNative("BEGIN");
        {
            const db::jet::Dialect& d = e.dialect();
            db::StatementPtr st = e.prepare("INSERT INTO logs (dates, UserId, Activity) VALUES (" +
                                            d.parameter(1) + ", " + d.parameter(2) +
                                            ", 'Challan saved')");
            const QDateTime start = rt::naiveDateTime(QDate(2020, 4, 1), QTime(9, 0));
            for (int i = 0; i < kRows; ++i) {
                st->bind(1, rt::Variant(start.addSecs(qint64(i) * 60)));
                st->bindInteger(2, 1 + i % 4);
                st->run();
                st->reset();
            }
        }
        e.execNative("COMMIT");
    }

    std::unique_ptr<QProcess> start(int32_t ws, const QStringList& extra) {
        auto p = std::make_unique<QProcess>();
        p->start(kWorker, QStringList{QStringLiteral("--folder"), appFolder(), QStringLiteral("--ws"),
                                      QString::number(ws), QStringLiteral("--user"), QString::number(ws),
                                      QStringLiteral("--lock-wait"), QString::number(kLockWaitMs)} +
                              extra);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }
    static QString line(QProcess& p) {
        while (!p.canReadLine())
            if (!p.waitForReadyRead(120000)) return QStringLiteral("NO ANSWER");
        return QString::fromUtf8(p.readLine()).trimmed();
    }
    int64_t number(const QString& jetSql) {
        db::Recordset rs;
        rs.Open(jetSql, lib->dbconnection);
        return rs.Fields(0).Value().toInt32(*fake.settings);
    }
};

TEST_F(HeldResultTest, OthersWorkAtFullSpeedWhileAHundredThousandRowResultIsOpen) {
    const int64_t matching = number(QStringLiteral("select count(*) from logs"));
    ASSERT_GE(matching, kRows);
    const int64_t changed = number(QStringLiteral("select min(LogId) from logs")) + kRows / 2;
    const int64_t untouched = changed + 1000;

    // A: the result stays open, one row read.
    auto a = start(1, {QStringLiteral("--screens"), QStringLiteral("1"), QStringLiteral("--mode"),
                       QStringLiteral("hold")});
    ASSERT_TRUE(line(*a).startsWith(QStringLiteral("READY\t")));

    // B and C at the same time; B first changes one of the rows A holds.
    auto b = start(2, {QStringLiteral("--screens"), QStringLiteral("11,12"), QStringLiteral("--mode"),
                       QStringLiteral("mixed"), QStringLiteral("--rounds"), QStringLiteral("15"),
                       QStringLiteral("--change"),
                       QStringLiteral("update logs set UserId=99 where LogId=%1").arg(changed)});
    auto c = start(3, {QStringLiteral("--screens"), QStringLiteral("12,13"), QStringLiteral("--mode"),
                       QStringLiteral("mixed"), QStringLiteral("--rounds"), QStringLiteral("15")});
    qint64 slowest = 0;
    QString slowestCall;
    std::map<QString, int> calls;
    for (QProcess* p : {b.get(), c.get()}) {
        ASSERT_TRUE(p->waitForFinished(300000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
        bool done = false;
        const QStringList lines = QString::fromUtf8(p->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        for (const QString& l : lines) {
            const QStringList f = l.split(u'\t');
            if (f[0] == u"CALL") {
                ++calls[f.value(1)];
                if (f.value(2).toLongLong() > slowest) {
                    slowest = f.value(2).toLongLong();
                    slowestCall = f.value(1);
                }
            } else if (f[0] == u"DONE") {
                done = true;
            } else if (f[0] == u"BOX") {
                EXPECT_EQ(f.value(1), QStringLiteral("I")) << l.toStdString();  // confirmations only
            } else if (f[0] != u"DCNO") {
                ADD_FAILURE() << l.toStdString();  // an ERROR: a call failed
            }
        }
        EXPECT_TRUE(done);
    }
    // Every kind of call ran, and none needed a lock A held: each would have
    // failed after the lock wait.
    for (const char* name : {"update_rec insert", "update_rec delete", "Register_User_Log",
                             "UnRegister_User_Log", "get_new_dcno", "date repair", "screen repair"})
        EXPECT_EQ(calls[QString::fromLatin1(name)], 30) << name;
    std::printf("slowest call of B and C: %s, %lld us\n", qPrintable(slowestCall),
                static_cast<long long>(slowest));

    // A walks every row that matched when it opened.
    a->write("walk\n");
    EXPECT_EQ(line(*a), QStringLiteral("WALKED\t%1").arg(matching));
    // A row nobody else touched is written; the row B changed is not.
    a->write(QStringLiteral("update %1 77\n").arg(untouched).toUtf8());
    EXPECT_EQ(line(*a), QStringLiteral("UPDATED"));
    a->write(QStringLiteral("update %1 55\n").arg(changed).toUtf8());
    const QString refused = line(*a);
    EXPECT_TRUE(refused.startsWith(QStringLiteral("ERROR\t%1\tRow cannot be located for updating.")
                                       .arg(rt::err::DbRowChanged)))
        << refused.toStdString();
    a->write("quit\n");
    ASSERT_TRUE(a->waitForFinished(60000));
    EXPECT_EQ(a->exitCode(), 0);
    EXPECT_EQ(number(QStringLiteral("select UserId from logs where LogId=%1").arg(untouched)), 77);
    EXPECT_EQ(number(QStringLiteral("select UserId from logs where LogId=%1").arg(changed)), 99);
}

}  // namespace
