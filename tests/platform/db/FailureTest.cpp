// Every failure the database layer can meet, each made real: another process
// holding a write transaction past the wait, a file or folder the user may not
// write, a full disk, failing reads and writes, a damaged page and header, and
// a writer killed halfway that leaves a hot journal. Each gives the caller a
// clear error, the file stays sound (PRAGMA integrity_check), and a statement
// changes all or nothing. No test waits the full lock wait of the program.
#include "DbTestSupport.h"
#include "Errors.h"
#include "FaultyVfs.h"
#include "LibFixture.h"

#include "lib/db/SystemPassword.h"
#include "platform/db/Engine.h"
#include "platform/db/ResultSpool.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/runtime/Error.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace {

using testing_support::errorOf;
using rt::Variant;

const QString kWorker = QStringLiteral(NARVO_DB_WORKER);
constexpr int kShortWait = 300;  // ms: the lock wait of these tests

// ---- Helpers ----

// Another workstation: a db_worker process on the file.
class Worker {
public:
    Worker(const QString& path, const QString& password, int uid = -1) {
        QStringList args;
        if (uid >= 0) args << QStringLiteral("--uid") << QString::number(uid);
        args << QStringLiteral("--lock-wait") << QString::number(kShortWait) << path << password;
        p_.start(kWorker, args);
        p_.waitForStarted(10000);
        greeting = reply();
    }
    ~Worker() {
        if (p_.state() != QProcess::NotRunning) {
            p_.closeWriteChannel();
            if (!p_.waitForFinished(5000)) {
                p_.kill();
                p_.waitForFinished();
            }
        }
    }
    QString ask(const QString& command) {
        p_.write(command.toUtf8() + '\n');
        return reply();
    }
    void crash() {
        p_.write("crash\n");
        p_.waitForFinished(10000);
    }
    QString greeting;

private:
    QString reply() {
        while (!p_.canReadLine())
            if (!p_.waitForReadyRead(30000)) return QStringLiteral("NO ANSWER: ") + p_.readAllStandardError();
        return QString::fromUtf8(p_.readLine()).trimmed();
    }
    QProcess p_;
};

// The user a workstation runs as when it must not write what this process
// owns: "nobody" when the tests run as root (root may write anything), the
// same user otherwise (then the modes alone forbid it).
int otherUser() { return ::geteuid() == 0 ? 65534 : -1; }
bool asOtherUser() { return ::geteuid() == 0; }

void chmodPath(const QString& path, mode_t mode) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// PRAGMA integrity_check of a file, read raw (the project's collations
// registered, as the indexes use them).
QString integrity(const QString& path) {
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(raw);
        return QStringLiteral("cannot open");
    }
    db::registerJetCollation(raw);
    sqlite3_stmt* st = nullptr;
    QString out;
    if (sqlite3_prepare_v2(raw, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW)
            out += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    else
        out = QString::fromUtf8(sqlite3_errmsg(raw));
    sqlite3_finalize(st);
    sqlite3_close(raw);
    return out;
}

int occurrences(const QString& text, const QString& part) { return int(text.count(part)); }

rt::Error failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const rt::Error& e) {
        return e;
    }
    return rt::Error(0, QString());
}

class FailureTest : public dbtest::DbTest {
protected:
    void SetUp() override {
        faulty::install();
        db::setDefaultLockWait(kShortWait);
        DbTest::SetUp();
        conn->engine().execNative("BEGIN");
        for (int i = 0; i < 3000; ++i)
            conn->Execute(QStringLiteral("insert into Items (Name, Code, Notes) values ('n', %1, "
                                         "'note %1')")
                              .arg(i));
        conn->engine().execNative("COMMIT");
    }
    void TearDown() override { db::setDefaultLockWait(db::kBusyTimeoutMs); }
    int rows() {
        db::Recordset rs;
        rs.Open(QStringLiteral("select count(*) from Items"), conn);
        return rs.Fields(0).Value().toInt32(settings);
    }
};

// ---- Locks ----

TEST_F(FailureTest, AWriteWhileAnotherProcessHoldsAWriteTransactionFailsAsLockedNamingTheFileOnce) {
    Worker other(path, QStringLiteral("pw"));
    ASSERT_EQ(other.greeting, QStringLiteral("OPEN"));
    ASSERT_EQ(other.ask(QStringLiteral("native BEGIN IMMEDIATE")), QStringLiteral("OK"));
    ASSERT_EQ(other.ask(QStringLiteral("jet insert into Items (Name) values ('theirs')")),
              QStringLiteral("OK 1"));
    const rt::Error e = failureOf(
        [&] { conn->Execute(QStringLiteral("insert into Items (Name) values ('mine')")); });
    EXPECT_EQ(e.number(), rt::err::DbGeneric);
    EXPECT_EQ(e.description(),
              QStringLiteral("Could not use '%1'; the file is locked by another user.").arg(path));
    EXPECT_EQ(occurrences(e.description(), path), 1);
    // Reading still works meanwhile: it needs no write lock.
    EXPECT_EQ(rows(), 3000);
    ASSERT_EQ(other.ask(QStringLiteral("native COMMIT")), QStringLiteral("OK"));
    EXPECT_EQ(rows(), 3001);  // theirs, not mine
    EXPECT_EQ(integrity(path), QStringLiteral("ok"));
}

TEST_F(FailureTest, OpeningWhileAnotherProcessHoldsTheFileExclusivelyFailsAsLocked) {
    Worker other(path, QStringLiteral("pw"));
    ASSERT_EQ(other.ask(QStringLiteral("native BEGIN EXCLUSIVE")), QStringLiteral("OK"));
    const rt::Error e = failureOf([&] { dbtest::open(path, QStringLiteral("pw"), &settings); });
    EXPECT_EQ(e.description(),
              QStringLiteral("Could not use '%1'; the file is locked by another user.").arg(path));
    ASSERT_EQ(other.ask(QStringLiteral("native COMMIT")), QStringLiteral("OK"));
    EXPECT_NO_THROW(dbtest::open(path, QStringLiteral("pw"), &settings));
}

// The library's standard handler shows the failure once and writes its trail
// as soon as the file is free again (here: while the user reads the message,
// the other workstation commits).
class LockedRoutineTest : public testing_support::LibTest {
protected:
    class HookBox final : public ui::MessageBox {
    public:
        void show(const QString& text, const QString& title, ui::Icon icon) override {
            shown.push_back({text, title, icon});
            if (onShow) onShow();
        }
        std::vector<ui::RecordingMessageBox::Shown> shown;
        std::function<void()> onShow;
    };
    void SetUp() override {
        db::setDefaultLockWait(kShortWait);
        LibTest::SetUp();
        makeDemo();
        auto env = fake.environment(appFolder());
        env.messageBox = box;
        lib = std::make_unique<clsProd>(env);
        lib->Get_Connection();
        ASSERT_TRUE(lib->dbconnection);
    }
    void TearDown() override { db::setDefaultLockWait(db::kBusyTimeoutMs); }
    int trailRows() {
        db::Recordset rs;
        rs.Open(QStringLiteral("select count(*) from errlog"), lib->dbconnection);
        return rs.Fields(0).Value().toInt32(*fake.settings);
    }
    std::shared_ptr<HookBox> box = std::make_shared<HookBox>();
};

TEST_F(LockedRoutineTest, UpdateRecShowsTheLockOnceAndWritesTheTrailWhenTheFileIsFree) {
    const QString year = dataFolder() + u'/' + lib->curr_DB_file;
    const int before = trailRows();
    Worker other(year, systemDatabasePassword());
    ASSERT_EQ(other.greeting, QStringLiteral("OPEN"));
    ASSERT_EQ(other.ask(QStringLiteral("native BEGIN IMMEDIATE")), QStringLiteral("OK"));
    box->onShow = [&] { EXPECT_EQ(other.ask(QStringLiteral("native COMMIT")), QStringLiteral("OK")); };
    lib->update_rec(QStringLiteral("Delete * from OnLineUsers"));
    ASSERT_EQ(box->shown.size(), 1u);
    const QString expected =
        QStringLiteral("Could not use '%1'; the file is locked by another user.")
            .arg(lib->dbconnection->engine().path());
    EXPECT_EQ(box->shown[0].text, expected);
    EXPECT_EQ(box->shown[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(trailRows(), before + 1);
    db::Recordset trail;
    trail.Open(QStringLiteral("select * from errlog"), lib->dbconnection);
    QString last;
    for (; !trail.Eof(); trail.MoveNext()) last = trail.Fields(0).Value().toText(*fake.settings);
    EXPECT_EQ(last, expected + QStringLiteral(" -2147467259 : From ClsProd"));
    EXPECT_EQ(integrity(year), QStringLiteral("ok"));
}

// ---- Files and folders the user may not write ----

TEST_F(FailureTest, AReadOnlyFileReadsButRefusesWritesUnchanged) {
    conn->Close();
    const QByteArray before = digest(path);
    chmodPath(dir.path(), asOtherUser() ? 0777 : 0755);  // the folder may be written
    chmodPath(path, 0444);
    Worker reader(path, QStringLiteral("pw"), otherUser());
    ASSERT_EQ(reader.greeting, QStringLiteral("OPEN"));
    EXPECT_EQ(reader.ask(QStringLiteral("count select * from Items where Code < 10")),
              QStringLiteral("OK 10"));
    const QString refused = reader.ask(QStringLiteral("jet delete * from Items"));
    EXPECT_EQ(refused, QStringLiteral("ERROR\t%1\tCannot update. Database or object is read-only "
                                      "(%2).")
                           .arg(rt::err::DbGeneric)
                           .arg(path));
    reader.ask(QStringLiteral("quit"));
    chmodPath(path, 0644);
    EXPECT_EQ(digest(path), before);
    EXPECT_EQ(integrity(path), QStringLiteral("ok"));
}

TEST_F(FailureTest, AReadOnlyFolderReadsButRefusesWritesSayingWhy) {
    conn->Close();
    const QByteArray before = digest(path);
    chmodPath(path, 0666);                                // the file may be written ...
    chmodPath(dir.path(), asOtherUser() ? 0755 : 0555);  // ... but no journal can be made
    Worker reader(path, QStringLiteral("pw"), otherUser());
    ASSERT_EQ(reader.greeting, QStringLiteral("OPEN"));
    EXPECT_EQ(reader.ask(QStringLiteral("count select * from Items where Code < 10")),
              QStringLiteral("OK 10"));
    const QString refused = reader.ask(QStringLiteral("jet delete * from Items"));
    EXPECT_TRUE(refused.startsWith(QStringLiteral("ERROR\t%1\tCannot update. Database or object "
                                                  "is read-only")
                                       .arg(rt::err::DbGeneric)))
        << refused.toStdString();
    EXPECT_TRUE(refused.contains(QDir::toNativeSeparators(dir.path()))) << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("journal"))) << refused.toStdString();
    reader.ask(QStringLiteral("quit"));
    chmodPath(dir.path(), 0700);
    EXPECT_EQ(digest(path), before);
    EXPECT_EQ(integrity(path), QStringLiteral("ok"));
}

// ---- A full disk ----

// A small tmpfs over a folder while it lives, when this process may mount one.
class SmallDisk {
public:
    SmallDisk(const QString& folder, int kilobytes) : folder_(folder) {
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0700";
        mounted_ = ::geteuid() == 0 &&
                   ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                           options.constData()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

private:
    QString folder_;
    bool mounted_ = false;
};

TEST_F(FailureTest, AFullDiskFailsTheStatementWholeAndLeavesTheFileSound) {
    const QString folder = dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(folder));
    SmallDisk disk(folder, 512);
    const QString small = folder + QStringLiteral("/full.mdb");
    db::createDatabaseFile(small, QStringLiteral("pw"));
    auto c = dbtest::open(small, QStringLiteral("pw"), &settings);
    db::createTable(*c, db::TableDef{QStringLiteral("T"), {dbtest::column("Notes", db::JetType::Memo)}, {}});
    c->Execute(QStringLiteral("insert into T (Notes) values ('first')"));
    // One statement that needs more room than is left: 2 MB of text.
    const QString big = QStringLiteral("insert into T (Notes) values ('%1')").arg(QString(2 << 20, u'x'));
    rt::Error e(0, QString());
    if (disk.mounted()) {
        e = failureOf([&] { c->Execute(big); });
    } else {
        faulty::Arm full(SQLITE_FULL, 0);
        e = failureOf([&] { c->Execute(big); });
        EXPECT_GT(full.hits(), 0);
    }
    EXPECT_EQ(e.number(), rt::err::DbGeneric);
    EXPECT_EQ(e.description(),
              QStringLiteral("Not enough space on the disk for '%1' (database or disk is full).")
                  .arg(small));
    db::Recordset rs;
    rs.Open(QStringLiteral("select count(*) from T"), c);
    EXPECT_EQ(rs.Fields(0).Value(), Variant(int32_t(1)));
    rs.Close();
    c->Close();
    EXPECT_EQ(integrity(small), QStringLiteral("ok"));
    EXPECT_FALSE(QFileInfo::exists(small + QStringLiteral("-journal")));
}

TEST_F(FailureTest, AResultTooLargeForTheLocalDiskFailsAndLeavesNothingBehind) {
    QTemporaryDir temp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    db::ResultSpool::setMemoryBudget(4 << 10);
    // A file size limit makes the temporary file's writes fail as a full disk does.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 32 << 10;
    ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    db::Recordset rs;
    const rt::Error e = failureOf([&] { rs.Open(QStringLiteral("select * from Items"), conn); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    db::ResultSpool::setMemoryBudget(0);
    qputenv("TMPDIR", oldTmp);
    EXPECT_EQ(e.number(), rt::err::DbGeneric);
    EXPECT_TRUE(e.description().startsWith(
        QStringLiteral("The result of the query is too large for the local disk")))
        << e.description().toStdString();
    EXPECT_EQ(rs.State(), db::adStateClosed);
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::Files).isEmpty());
    // Nothing stays locked: another workstation writes at once.
    auto other = dbtest::open(path, QStringLiteral("pw"), &settings);
    other->engine().setLockWait(0);
    EXPECT_NO_THROW(other->Execute(QStringLiteral("delete * from Items where Code=0")));
}

// ---- Failing reads and writes ----

TEST_F(FailureTest, AFailingWriteFailsTheStatementWholeAndTheFileRecovers) {
    rt::Error e(0, QString());
    {
        faulty::Arm io(SQLITE_IOERR_WRITE, 0);
        e = failureOf([&] { conn->Execute(QStringLiteral("update Items set Code = Code + 1")); });
        EXPECT_GT(io.hits(), 0);
    }
    EXPECT_EQ(e.number(), rt::err::DbGeneric);
    EXPECT_EQ(e.description(),
              QStringLiteral("Disk or network error on '%1' (disk I/O error).").arg(path));
    conn->Close();
    conn = dbtest::open(path, QStringLiteral("pw"), &settings);
    db::Recordset rs;
    rs.Open(QStringLiteral("select sum(Code) from Items"), conn);
    EXPECT_EQ(rs.Fields(0).Value().toDouble(settings), 2999.0 * 3000 / 2);  // unchanged
    rs.Close();
    conn->Close();
    EXPECT_EQ(integrity(path), QStringLiteral("ok"));
}

TEST_F(FailureTest, AFailingReadFailsTheQuery) {
    rt::Error e(0, QString());
    {
        faulty::Arm io(0, SQLITE_IOERR_READ);
        db::Recordset rs;
        e = failureOf([&] { rs.Open(QStringLiteral("select * from Items"), conn); });
        EXPECT_EQ(rs.State(), db::adStateClosed);
    }
    EXPECT_EQ(e.description(),
              QStringLiteral("Disk or network error on '%1' (disk I/O error).").arg(path));
    EXPECT_EQ(rows(), 3000);
    conn->Close();
    EXPECT_EQ(integrity(path), QStringLiteral("ok"));
}

// ---- Damaged files ----

TEST_F(FailureTest, ADamagedPageIsReportedAsDamagedAndNotTouched) {
    conn->Close();
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &raw), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT rootpage FROM sqlite_master WHERE name='Items'", -1,
                                 &st, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const int root = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(raw);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const QByteArray header = f.read(100);
        const int pageSize = (uchar(header[16]) << 8) | uchar(header[17]);
        ASSERT_TRUE(f.seek(qint64(root - 1) * (pageSize == 1 ? 65536 : pageSize)));
        f.write(QByteArray(pageSize, '\x5a'));
    }
    const QByteArray damaged = digest(path);
    conn = dbtest::open(path, QStringLiteral("pw"), &settings);  // the schema itself is sound
    db::Recordset rs;  // a walk over the table's own pages
    const rt::Error e = failureOf([&] { rs.Open(QStringLiteral("select sum(Code) from Items"), conn); });
    EXPECT_EQ(e.number(), rt::err::DbUnrecognised);
    EXPECT_EQ(e.description(),
              QStringLiteral("The database '%1' is damaged (database disk image is malformed).")
                  .arg(path));
    conn->Close();
    EXPECT_EQ(digest(path), damaged);
}

TEST_F(FailureTest, ADamagedHeaderIsRefusedAtOpenAndNotTouched) {
    conn->Close();
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(16));
        f.write(QByteArray(8, '\x33'));  // page size and format bytes
    }
    const QByteArray damaged = digest(path);
    const rt::Error e = failureOf([&] { dbtest::open(path, QStringLiteral("pw"), &settings); });
    EXPECT_EQ(e.number(), rt::err::DbUnrecognised);
    EXPECT_EQ(e.description(),
              QStringLiteral("The database '%1' is damaged or not a database (file is not a "
                             "database).")
                  .arg(path));
    EXPECT_EQ(digest(path), damaged);
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-journal")));
}

// ---- A writer killed halfway ----

class HotJournalTest : public FailureTest {
protected:
    // A workstation changes every row in one transaction, with so small a
    // cache that changed pages reach the file, and is killed before it commits.
    void killWriterHalfway() {
        conn->Close();
        Worker writer(path, QStringLiteral("pw"));
        ASSERT_EQ(writer.greeting, QStringLiteral("OPEN"));
        ASSERT_EQ(writer.ask(QStringLiteral("native PRAGMA cache_size=5")), QStringLiteral("OK"));
        ASSERT_EQ(writer.ask(QStringLiteral("native BEGIN IMMEDIATE")), QStringLiteral("OK"));
        ASSERT_EQ(writer.ask(QStringLiteral("jet update Items set Notes = '%1'")
                                 .arg(QString(300, u'k'))),
                  QStringLiteral("OK 3000"));
        writer.crash();
        ASSERT_GT(QFileInfo(journal()).size(), 0);
    }
    QString journal() const { return path + QStringLiteral("-journal"); }
};

TEST_F(HotJournalTest, TheNextOpenRollsTheInterruptedChangeBack) {
    killWriterHalfway();
    conn = dbtest::open(path, QStringLiteral("pw"), &settings);
    db::Recordset rs;
    rs.Open(QStringLiteral("select count(*) from Items where Notes = 'note ' & Code"), conn);
    EXPECT_EQ(rs.Fields(0).Value(), Variant(int32_t(3000)));
    rs.Close();
    conn->Close();
    EXPECT_FALSE(QFileInfo::exists(journal()));
    EXPECT_EQ(integrity(path), QStringLiteral("ok"));
}

TEST_F(HotJournalTest, AUserWhoCannotRollItBackIsToldItNeedsRecoveryNotThatItIsDamaged) {
    killWriterHalfway();
    chmodPath(path, 0444);
    chmodPath(journal(), 0444);
    chmodPath(dir.path(), 0555);
    const QByteArray file = digest(path), hot = digest(journal());
    Worker reader(path, QStringLiteral("pw"), otherUser());
    EXPECT_TRUE(reader.greeting.startsWith(
        QStringLiteral("ERROR\t%1\tThe database '%2' needs recovery").arg(rt::err::DbGeneric).arg(path)))
        << reader.greeting.toStdString();
    EXPECT_TRUE(reader.greeting.contains(QStringLiteral("write access to the file, its folder and "
                                                        "its journal")))
        << reader.greeting.toStdString();
    EXPECT_FALSE(reader.greeting.contains(QStringLiteral("damaged or not")));
    EXPECT_EQ(digest(path), file);
    EXPECT_EQ(digest(journal()), hot);
    // A user who may write all three rolls it back.
    chmodPath(dir.path(), 0700);
    chmodPath(path, 0644);
    chmodPath(journal(), 0644);
    conn = dbtest::open(path, QStringLiteral("pw"), &settings);
    EXPECT_EQ(rows(), 3000);
    conn->Close();
    EXPECT_FALSE(QFileInfo::exists(journal()));
    EXPECT_EQ(integrity(path), QStringLiteral("ok"));
}

}  // namespace
