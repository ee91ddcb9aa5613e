// Results are the workstation's own copy: an open result holds no lock on the
// shared file, walks every row that matched when it was opened, keeps large
// results in a private temporary file that goes away with the result (or, after
// a crash, with the next start), and writes back optimistically: a row another
// workstation changed or deleted meanwhile is not overwritten.
#include "Errors.h"
#include "DbTestSupport.h"

#include "platform/db/Engine.h"
#include "platform/db/ResultSpool.h"
#include "platform/runtime/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testing_support::errorOf;
using rt::Variant;

const QString kJetsql = QStringLiteral(NARVO_BINARY_DIR "/tools/jetsql/jetsql");

// Rows 'n' 0..count-1 in Items (Code = i, Qty = i % 100).
void fill(db::Connection& c, int count) {
    c.engine().execNative("BEGIN");
    for (int i = 0; i < count; ++i)
        c.Execute(QStringLiteral("insert into Items (Name, Code, Qty) values ('n', %1, %2)")
                      .arg(i)
                      .arg(i % 100));
    c.engine().execNative("COMMIT");
}

class ResultCopyTest : public dbtest::DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        ASSERT_TRUE(temp.isValid());
        oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        other = dbtest::open(path, QStringLiteral("pw"), &settings);
        other->engine().setLockWait(0);  // another workstation that never waits
    }
    void TearDown() override {
        db::ResultSpool::setMemoryBudget(0);
        if (oldTmp.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", oldTmp);
    }
    QStringList spoolFiles() const {
        return QDir(temp.path()).entryList({QStringLiteral("narvo-result-*")}, QDir::Files);
    }
    int count(const QString& where) {
        db::Recordset rs;
        rs.Open(QStringLiteral("select count(*) from Items where ") + where, other);
        return rs.Fields(0).Value().toInt32(settings);
    }

    QTemporaryDir temp;
    QByteArray oldTmp;
    std::shared_ptr<db::Connection> other;
};

TEST_F(ResultCopyTest, AnOpenResultLetsOtherWorkstationsWriteAtOnce) {
    fill(*conn, 5000);
    for (size_t budget : {size_t(0), size_t(16 << 10)}) {  // in memory, then on disk
        SCOPED_TRACE(budget);
        db::ResultSpool::setMemoryBudget(budget);
        db::Recordset rs;
        rs.Open(QStringLiteral("select Code from Items where Name='n' order by Code"), conn);
        ASSERT_FALSE(rs.Eof());
        EXPECT_EQ(spoolFiles().size(), budget ? 1 : 0);
        // Another workstation that does not wait at all: inserts, deletes, a
        // transaction of its own.
        EXPECT_NO_THROW(other->Execute(QStringLiteral("insert into Items (Name, Code) values ('n', -1)")));
        EXPECT_NO_THROW(other->Execute(QStringLiteral("delete * from Items where Code=4999")));
        EXPECT_NO_THROW(other->engine().execNative("BEGIN EXCLUSIVE; COMMIT;"));
        // This workstation walks every row that matched when it opened.
        int64_t n = 0, sum = 0;
        for (; !rs.Eof(); rs.MoveNext(), ++n) sum += rs.Fields(0).Value().asInt32();
        EXPECT_EQ(n, 5000);
        EXPECT_EQ(sum, 4999LL * 5000 / 2);
        // MoveFirst serves the same copy again; it does not run the query again.
        rs.MoveFirst();
        EXPECT_EQ(rs.Fields(0).Value(), Variant(int32_t(0)));
        n = 0;
        for (; !rs.Eof(); rs.MoveNext()) ++n;
        EXPECT_EQ(n, 5000);
        rs.Close();
        EXPECT_TRUE(spoolFiles().isEmpty());
        other->Execute(QStringLiteral("delete * from Items where Code=-1"));
        other->Execute(QStringLiteral("insert into Items (Name, Code, Qty) values ('n', 4999, 99)"));
    }
}

TEST_F(ResultCopyTest, ALargeResultGoesToAPrivateFileThatGoesWithIt) {
    fill(*conn, 3000);
    db::ResultSpool::setMemoryBudget(8 << 10);
    {
        db::Recordset rs;
        rs.Open(QStringLiteral("select * from Items"), conn);
        const QStringList files = spoolFiles();
        ASSERT_EQ(files.size(), 1);
        EXPECT_TRUE(files[0].startsWith(QStringLiteral("narvo-result-%1-").arg(::getpid())));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(temp.filePath(files[0])).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);  // readable by its owner only
        int n = 0;
        for (; !rs.Eof(); rs.MoveNext()) ++n;
        EXPECT_EQ(n, 3000);
        // A second result beside it has a file of its own.
        db::Recordset second;
        second.Open(QStringLiteral("select Name, Code from Items"), conn);
        EXPECT_EQ(spoolFiles().size(), 2);
    }  // never closed: released
    EXPECT_TRUE(spoolFiles().isEmpty());

    // A long text crosses the reading window and comes back whole.
    const QString longText(3 << 20, u'x');
    db::Recordset add;
    add.Open(QStringLiteral("select * from Items"), conn, db::adOpenDynamic, db::adLockOptimistic);
    add.AddNew();
    add.Fields(QStringLiteral("Notes")) = Variant(longText);
    add.Fields(QStringLiteral("Code")) = Variant(int32_t(-7));
    add.Update();
    add.Close();
    db::Recordset rs;
    rs.Open(QStringLiteral("select Code, Notes from Items order by Id"), conn);
    int n = 0;
    for (; !rs.Eof(); rs.MoveNext(), ++n) {
        if (rs.Fields(0).Value() == Variant(int32_t(-7))) {
            EXPECT_EQ(rs.Fields(1).Value(), Variant(longText));
        }
    }
    EXPECT_EQ(n, 3001);
}

TEST_F(ResultCopyTest, CopiesLeftByAProgramThatDiedGoAtTheNextStart) {
    // A process that has ended, and one that runs (this one) but started at
    // another moment (its number used again): both left files behind.
    const pid_t deadPid = ::fork();
    if (deadPid == 0) ::_exit(0);
    ASSERT_GT(deadPid, 0);
    ::waitpid(deadPid, nullptr, 0);
    const QStringList stale = {
        QStringLiteral("narvo-result-%1-12345-1.tmp").arg(deadPid),
        QStringLiteral("narvo-result-%1-1-1.tmp").arg(::getpid()),
        QStringLiteral("narvo-result-999999999-77-3.tmp")};
    for (const QString& name : stale) {
        QFile f(temp.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("left over");
    }
    // A file of this process, still in use, and a file of someone else's naming.
    db::ResultSpool::setMemoryBudget(1 << 10);
    fill(*conn, 200);
    db::Recordset live;
    live.Open(QStringLiteral("select * from Items"), conn);
    QStringList mine = spoolFiles().filter(QStringLiteral("-%1-").arg(::getpid()));
    for (const QString& name : stale) mine.removeAll(name);
    ASSERT_EQ(mine.size(), 1);
    QFile foreign(temp.filePath(QStringLiteral("narvo-result-notes.tmp")));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.close();

    // The next program to start (a real process) removes what dead owners left.
    QProcess next;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), temp.path());
    next.setProcessEnvironment(env);
    next.start(kJetsql, {QStringLiteral("--password"), QStringLiteral("pw"), path,
                         QStringLiteral("select count(*) from Items")});
    ASSERT_TRUE(next.waitForFinished(30000));
    EXPECT_EQ(next.exitCode(), 0) << next.readAllStandardError().toStdString();
    const QStringList left = QDir(temp.path()).entryList(QDir::Files);
    for (const QString& name : stale) EXPECT_FALSE(left.contains(name)) << name.toStdString();
    for (const QString& name : mine) EXPECT_TRUE(left.contains(name)) << name.toStdString();
    EXPECT_TRUE(left.contains(QStringLiteral("narvo-result-notes.tmp")));
    live.Close();
}

TEST_F(ResultCopyTest, MaxRecordsReadsOnlyTheFirstRows) {
    fill(*conn, 100);
    db::Recordset rs;
    rs.setMaxRecords(1);
    rs.Open(QStringLiteral("select Code from Items where Name='n' order by Code"), conn);
    EXPECT_EQ(rs.Fields(0).Value(), Variant(int32_t(0)));
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(errorOf([&] { rs.setMaxRecords(5); }), rt::err::DbObjectOpen);
    rs.Close();
    EXPECT_EQ(rs.MaxRecords(), 1);
    rs.setMaxRecords(0);
    rs.Open(QStringLiteral("select Code from Items where Name='n'"), conn);
    int n = 0;
    for (; !rs.Eof(); rs.MoveNext()) ++n;
    EXPECT_EQ(n, 100);
}

// ---- Writing back ----

class WriteBackTest : public ResultCopyTest {
protected:
    void SetUp() override {
        ResultCopyTest::SetUp();
        conn->Execute(QStringLiteral("insert into Items (Name, Qty, Code) values ('Bolts', 1, 10)"));
        conn->Execute(QStringLiteral("insert into Items (Name, Qty, Code) values ('Nuts', 2, 20)"));
        rs.Open(QStringLiteral("select * from Items order by Id"), conn, db::adOpenDynamic,
                db::adLockOptimistic);
        ASSERT_TRUE(rs.Updatable());
    }
    Variant stored(const QString& column, const QString& name) {
        db::Recordset check;
        check.Open(QStringLiteral("select %1 from Items where Name='%2'").arg(column, name), other);
        return check.Eof() ? Variant() : check.Fields(0).Value();
    }
    db::Recordset rs;
};

TEST_F(WriteBackTest, ARowNobodyElseChangedIsWrittenAndCanBeWrittenAgain) {
    rs.Fields(QStringLiteral("Qty")) = Variant(int32_t(5));
    rs.Update();
    EXPECT_EQ(stored(QStringLiteral("Qty"), QStringLiteral("Bolts")), Variant(int16_t(5)));
    // The copy holds the row as stored; a second change compares with it.
    EXPECT_EQ(rs.Fields(QStringLiteral("Qty")).Value(), Variant(int16_t(5)));
    rs.Fields(QStringLiteral("Qty")) = Variant(QStringLiteral("6"));
    rs.Update();
    EXPECT_EQ(rs.Fields(QStringLiteral("Qty")).Value(), Variant(int16_t(6)));
    rs.MoveNext();
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields(QStringLiteral("Qty")).Value(), Variant(int16_t(6)));
    EXPECT_EQ(stored(QStringLiteral("Qty"), QStringLiteral("Bolts")), Variant(int16_t(6)));
}

TEST_F(WriteBackTest, ARowAnotherWorkstationChangedIsNotOverwritten) {
    other->Execute(QStringLiteral("update Items set Code=11 where Name='Bolts'"));
    rs.Fields(QStringLiteral("Qty")) = Variant(int32_t(5));
    try {
        rs.Update();
        FAIL() << "the update went through";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbRowChanged);
        EXPECT_TRUE(e.description().startsWith(QStringLiteral(
            "Row cannot be located for updating. Some values may have been changed since it "
            "was last read")))
            << e.description().toStdString();
    }
    EXPECT_EQ(stored(QStringLiteral("Qty"), QStringLiteral("Bolts")), Variant(int16_t(1)));
    EXPECT_EQ(stored(QStringLiteral("Code"), QStringLiteral("Bolts")), Variant(int32_t(11)));
    // The result goes on: the next row, unchanged by anyone, can be written.
    rs.MoveNext();
    rs.Fields(QStringLiteral("Qty")) = Variant(int32_t(7));
    rs.Update();
    EXPECT_EQ(stored(QStringLiteral("Qty"), QStringLiteral("Nuts")), Variant(int16_t(7)));
    // The file was not left locked by the refused update.
    EXPECT_NO_THROW(other->Execute(QStringLiteral("update Items set Qty=8 where Name='Nuts'")));
}

TEST_F(WriteBackTest, ARowAnotherWorkstationDeletedIsNotWrittenAgain) {
    other->Execute(QStringLiteral("delete * from Items where Name='Bolts'"));
    rs.Fields(QStringLiteral("Qty")) = Variant(int32_t(5));
    EXPECT_EQ(errorOf([&] { rs.Update(); }), rt::err::DbRowChanged);
    EXPECT_EQ(count(QStringLiteral("Name='Bolts'")), 0);
    EXPECT_EQ(count(QStringLiteral("Qty=5")), 0);
}

TEST_F(WriteBackTest, ARenamedColumnWritesTheColumnItCameFrom) {
    rs.Close();
    rs.Open(QStringLiteral("select Name as Title, Code from Items where Name='Nuts'"), conn,
            db::adOpenDynamic, db::adLockOptimistic);
    ASSERT_TRUE(rs.Updatable());
    rs.Fields(QStringLiteral("Title")) = Variant(QStringLiteral("Washers"));
    rs.Update();
    EXPECT_EQ(stored(QStringLiteral("Code"), QStringLiteral("Washers")), Variant(int32_t(20)));
    EXPECT_EQ(rs.Fields(QStringLiteral("Title")).Value(), Variant(QStringLiteral("Washers")));
}

}  // namespace
