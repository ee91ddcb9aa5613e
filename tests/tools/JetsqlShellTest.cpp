// jetsql as support staff use it: at a terminal (prompt, statements over
// several lines, dot commands, history), as a script piped in or read with
// .read, backing up a database while another workstation writes, dumping a
// database and reading the dump back, importing CSV.
#include "Pty.h"
#include "ShellTestSupport.h"

#include "platform/db/Maintenance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {

using tooltest::DemoFolder;
using tooltest::Outcome;
using tooltest::runTool;

const QString kJetsql = QStringLiteral("jetsql");

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

int countRows(const QString& path, const QString& sql) {
    auto c = tooltest::openDatabase(path);
    db::Recordset rs;
    rs.Open(sql, c);
    return rs.Fields(0).Value().toInt32(c->settings());
}

// Whether jetsql can create tables (Jet DDL through the translator).
bool ddlSupported(const QString& folder) {
    const QString path = folder + QStringLiteral("/ddl-probe.mdb");
    db::createDatabaseFile(path, systemDatabasePassword());
    const Outcome r = runTool(kJetsql, {path, QStringLiteral("CREATE TABLE probe (a LONG)")});
    QFile::remove(path);
    return r.status == 0;
}

TEST(JetsqlAtTheTerminal, PromptStatementsOverLinesCommandsBackupAndDump) {
    DemoFolder demo;
    const QString work = demo.dir.path();
    const int logs = countRows(demo.year, QStringLiteral("select count(*) from logs"));
    tooltest::PtySession s(tooltest::toolPath(kJetsql), {demo.year}, work, work);

    EXPECT_TRUE(s.expect("jetsql> ").contains("Enter .help for the commands"));
    // A statement over two lines: the second prompt says the statement goes on.
    s.send("select count(*) as n\r");
    s.expect("   ...> ");
    s.send("from logs;\r");
    QByteArray out = s.expect("jetsql> ");
    EXPECT_TRUE(out.contains(QStringLiteral("n\n--\n%1\n(1 row)\n").arg(logs).toUtf8()))
        << out.toStdString();

    s.send(".tables\r");
    out = s.expect("jetsql> ");
    for (const char* t : {"DCINV", "OnLineUsers", "errlog", "logs"})
        EXPECT_TRUE(out.contains(t)) << t << " in " << out.toStdString();

    s.send(".schema logs\r");
    out = s.expect("jetsql> ");
    EXPECT_TRUE(
        out.contains("CREATE TABLE [logs] ([LogId] COUNTER, [dates] DATETIME, [UserId] "
                     "LONG, [SysId] LONG, [ScreenId] LONG, [Activity] TEXT(100), "
                     "CONSTRAINT [PrimaryKey] PRIMARY KEY ([LogId]));\n"
                     "CREATE INDEX [dates] ON [logs] ([dates]);\n"))
        << out.toStdString();

    s.send(".mode csv\r");
    s.expect("jetsql> ");
    s.send("select LogId, Activity from logs where LogId <= 2 order by LogId;\r");
    out = s.expect("jetsql> ");
    EXPECT_TRUE(out.contains("LogId,Activity\n1,Login\n2,Challan saved\n")) << out.toStdString();

    const QString copy = work + QStringLiteral("/copy.mdb");
    s.send(".backup copy.mdb\r");
    out = s.expect("jetsql> ");
    EXPECT_TRUE(out.contains("Backup written to")) << out.toStdString();

    s.send(".output dump.sql\r");
    s.expect("jetsql> ");
    s.send(".dump\r");
    s.expect("jetsql> ");
    s.send(".output\r");
    s.expect("jetsql> ");
    s.send(".quit\r");
    EXPECT_EQ(s.wait(), 0);

    // The history keeps what was typed, for the next session.
    EXPECT_TRUE(fileBytes(work + QStringLiteral("/.jetsql_history")).contains(".schema\\040logs"));

    // The backup is the database, whole.
    ASSERT_TRUE(QFileInfo::exists(copy));
    EXPECT_TRUE(db::checkIntegrity(*tooltest::openDatabase(copy)).isEmpty());
    tooltest::expectSameDatabases(demo.year, copy);

    // The dump, read back into an empty file, gives the same database.
    const QByteArray dump = fileBytes(work + QStringLiteral("/dump.sql"));
    EXPECT_TRUE(dump.startsWith("BEGIN TRANSACTION;\nCREATE TABLE [CUSTPO] ("))
        << dump.left(200).toStdString();
    EXPECT_TRUE(dump.endsWith("COMMIT TRANSACTION;\n"));
    if (!ddlSupported(work)) GTEST_SKIP() << "jetsql cannot create tables yet: no read-back";
    const QString empty = work + QStringLiteral("/restored.mdb");
    db::createDatabaseFile(empty, systemDatabasePassword());
    const Outcome r = runTool(kJetsql, {empty}, dump);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    tooltest::expectSameDatabases(demo.year, empty);
}

// ---- Scripts piped in ----

struct ScriptCase {
    const char* name;
    const char* script;
    int status;
    const char* out;  // the whole standard output
    const char* err;  // expected in standard error ("" for none at all)
};

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }

class JetsqlScript : public ::testing::TestWithParam<ScriptCase> {
  protected:
    static void SetUpTestSuite() { demo_ = new DemoFolder; }
    static void TearDownTestSuite() {
        delete demo_;
        demo_ = nullptr;
    }
    static DemoFolder* demo_;
};
DemoFolder* JetsqlScript::demo_ = nullptr;

TEST_P(JetsqlScript, RunsAsItDidLineByLine) {
    const ScriptCase& c = GetParam();
    // Each case works on its own copy of the demo year database.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("year.mdb"));
    ASSERT_TRUE(QFile::copy(demo_->year, path));
    QString script = QString::fromUtf8(c.script);
    script.replace(QStringLiteral("@DIR"), dir.path());
    const Outcome r = runTool(kJetsql, {path}, script.toUtf8());
    EXPECT_EQ(r.status, c.status) << r.err.toStdString();
    QString expected = QString::fromUtf8(c.out);
    expected.replace(QStringLiteral("@DIR"), dir.path());
    EXPECT_EQ(r.out.toStdString(), expected.toStdString());
    QString err = QString::fromUtf8(c.err);
    err.replace(QStringLiteral("@DIR"), dir.path());
    if (!err.isEmpty())
        EXPECT_TRUE(r.err.contains(err)) << r.err.toStdString();
    else
        EXPECT_EQ(r.err.toStdString(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JetsqlScript,
    ::testing::Values(
        ScriptCase{
            "one_statement_a_line",
            "select UserName from User1 where UserId=1\nselect count(*) as n from ImpSystems\n", 0,
            "UserName\n--------\nADMIN\n(1 row)\nn\n-\n3\n(1 row)\n", ""},
        ScriptCase{"blank_lines_are_skipped", "\n\nselect 1 as a\n\n", 0, "a\n-\n1\n(1 row)\n", ""},
        ScriptCase{"a_failure_goes_on_and_sets_the_status",
                   "select * from Nowhere\nselect 2 as b\n", 1, "b\n-\n2\n(1 row)\n",
                   "error -2147217865: The database engine cannot find the input table or query "
                   "'Nowhere'."},
        ScriptCase{"an_open_quote_goes_on_to_the_next_line",
                   "update logs set Activity='two\nlines' where LogId=1\n"
                   "select Len(Activity) as n from logs where LogId=1\n",
                   0, "1 row(s) affected\nn\n-\n9\n(1 row)\n", ""},
        ScriptCase{"semicolons_part_statements_on_one_line", "select 1 as a; select 'x;y' as b;\n",
                   0, "a\n-\n1\n(1 row)\nb\n---\nx;y\n(1 row)\n", ""},
        ScriptCase{
            "headers_off_and_line_mode",
            ".headers off\nselect 1 as a\n.mode line\n.headers on\nselect 1 as a, 'x' as bb\n", 0,
            "1\n(1 row)\n a = 1\nbb = x\n", ""},
        ScriptCase{"csv_mode_quotes_what_needs_it",
                   ".mode csv\nselect 'a,b' as x, 'say \"hi\"' as y\n", 0,
                   "x,y\n\"a,b\",\"say \"\"hi\"\"\"\n", ""},
        ScriptCase{"a_transaction_commits_together",
                   "BEGIN TRANSACTION\ndelete from logs\nROLLBACK\nbegin transaction;\n"
                   "delete from errlog;\ncommit transaction;\nselect count(*) as n from errlog\n",
                   0, "23 row(s) affected\n0 row(s) affected\nn\n-\n0\n(1 row)\n", ""},
        ScriptCase{"an_unended_transaction_is_rolled_back", "BEGIN TRANSACTION\ndelete from logs\n",
                   1, "23 row(s) affected\n",
                   "error: the input ended inside a transaction; its changes were rolled back."},
        ScriptCase{"unknown_command", ".frobnicate\n", 1, "",
                   "error: unknown command .frobnicate; .help lists the commands."},
        ScriptCase{"bad_mode", ".mode html\n", 1, "", "error: usage: .mode table|csv|line"},
        ScriptCase{"schema_of_a_missing_table", ".schema Nowhere\n", 1, "",
                   "cannot find the input table or query 'Nowhere'."},
        ScriptCase{"output_to_a_file_and_read_it_back",
                   ".output @DIR/out.sql\n.mode csv\n.headers off\nselect 'select 5 as five' as s\n"
                   ".output\n.mode table\n.headers on\n.read @DIR/out.sql\n",
                   0, "five\n----\n5\n(1 row)\n", ""},
        ScriptCase{"read_of_a_missing_file", ".read @DIR/none.sql\n", 1, "",
                   "error: cannot read '@DIR/none.sql'."},
        ScriptCase{"check_says_ok", ".check\n", 0, "ok\n", ""},
        ScriptCase{"quit_stops_reading", "select 1 as a\n.quit\nselect 2 as b\n", 0,
                   "a\n-\n1\n(1 row)\n", ""}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.name); });

TEST(JetsqlRead, RunsAFileOfStatementsAndCommandsAndRefusesEndlessNesting) {
    DemoFolder demo;
    const QString script = demo.dir.filePath(QStringLiteral("fix.sql"));
    writeFile(script,
              "delete * from OnLineUsers;\n.mode csv\nselect count(*) as n from OnLineUsers\n");
    Outcome r = runTool(kJetsql, {demo.year, QStringLiteral(".read ") + script});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("n\n0\n"))) << r.out.toStdString();

    const QString loop = demo.dir.filePath(QStringLiteral("loop.sql"));
    writeFile(loop, QStringLiteral(".read %1\n").arg(loop).toUtf8());
    r = runTool(kJetsql, {demo.year, QStringLiteral(".read ") + loop});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral(".read is nested too deeply")))
        << r.err.toStdString();
}

// ---- .backup while another workstation writes ----

TEST(JetsqlBackup, ACopyTakenWhileAnotherProcessWritesIsWholeAndConsistent) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("busy.mdb"));
    db::createDatabaseFile(path, systemDatabasePassword());
    {
        auto c = tooltest::openDatabase(path);
        auto column = [](const char* name, db::JetType type) {
            db::ColumnDef c;
            c.name = QString::fromLatin1(name);
            c.type = type;
            return c;
        };
        const db::ColumnDef id = column("Id", db::JetType::AutoNumber);
        const db::ColumnDef batch = column("Batch", db::JetType::Long);
        db::createTable(
            *c, {QStringLiteral("Entries"),
                 {id, batch},
                 {db::IndexDef{QStringLiteral("PrimaryKey"), {QStringLiteral("Id")}, true, true}}});
        const db::ColumnDef n = column("N", db::JetType::Long);
        db::createTable(*c, {QStringLiteral("Tally"), {n}, {}});
        c->Execute(QStringLiteral("insert into Tally (N) values (0)"));
    }
    // The writer adds two entries and counts them in the tally, in one
    // transaction each time: a consistent state has as many entries as the tally says.
    QByteArray script;
    for (int i = 0; i < 20000; ++i)
        script += QStringLiteral(
                      "BEGIN TRANSACTION\ninsert into Entries (Batch) values (%1)\n"
                      "insert into Entries (Batch) values (%1)\n"
                      "update Tally set N = N + 2\nCOMMIT\n")
                      .arg(i)
                      .toUtf8();
    const QString scriptFile = dir.filePath(QStringLiteral("writer.sql"));
    writeFile(scriptFile, script);
    QProcess writer;
    writer.setStandardInputFile(scriptFile);
    writer.setStandardOutputFile(QProcess::nullDevice());  // nobody reads it here
    writer.start(tooltest::toolPath(kJetsql), {path});
    ASSERT_TRUE(writer.waitForStarted(10000));

    auto tally = [&](const QString& file) {
        return countRows(file, QStringLiteral("select N from Tally"));
    };
    int copies = 0;
    for (int round = 0; round < 4; ++round) {
        // Wait until the writer has written something new.
        const int before = round == 0 ? 0 : tally(path);
        for (int wait = 0; wait < 3000 && tally(path) <= before; ++wait) QThread::msleep(20);
        const QString copy = dir.filePath(QStringLiteral("copy%1.mdb").arg(round));
        const Outcome r = runTool(kJetsql, {path, QStringLiteral(".backup ") + copy});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        ++copies;
        EXPECT_TRUE(db::checkIntegrity(*tooltest::openDatabase(copy)).isEmpty());
        const int n = tally(copy);
        EXPECT_GT(n, 0);
        EXPECT_EQ(countRows(copy, QStringLiteral("select count(*) from Entries")), n);
        EXPECT_EQ(countRows(copy, QStringLiteral("select count(*) from (select Batch from Entries "
                                                 "group by Batch having count(*) <> 2)")),
                  0);
    }
    EXPECT_EQ(writer.state(), QProcess::Running) << "the writer ended before the backups";
    EXPECT_EQ(copies, 4);
    writer.kill();
    writer.waitForFinished(30000);
    // The writer's file is sound too (an unfinished transaction is rolled back).
    EXPECT_TRUE(db::checkIntegrity(*tooltest::openDatabase(path)).isEmpty());
    // Nothing but the copies and the database is left in the folder.
    QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    files.removeAll(QStringLiteral("busy.mdb-journal"));
    EXPECT_EQ(files, (QStringList{"busy.mdb", "copy0.mdb", "copy1.mdb", "copy2.mdb", "copy3.mdb",
                                  "writer.sql"}));
}

TEST(JetsqlBackup, NeverReplacesAFileNorWritesOverTheDatabase) {
    DemoFolder demo;
    const QString existing = demo.dir.filePath(QStringLiteral("existing.mdb"));
    writeFile(existing, "keep me");
    Outcome r = runTool(kJetsql, {demo.year, QStringLiteral(".backup ") + existing});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("already exists; a backup never replaces a file")))
        << r.err.toStdString();
    EXPECT_EQ(fileBytes(existing), QByteArray("keep me"));

    r = runTool(kJetsql, {demo.year, QStringLiteral(".backup ") + demo.year});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("is the database itself"))) << r.err.toStdString();

    r = runTool(kJetsql,
                {demo.year, QStringLiteral(".backup ") + demo.dir.filePath("no/such/x.mdb")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("does not exist"))) << r.err.toStdString();
    // No partial file is left anywhere.
    EXPECT_EQ(QDir(demo.dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"existing.mdb"});
}

// ---- .import ----

class JetsqlImport : public ::testing::Test {
  protected:
    void write(const QString& name, const QByteArray& text) {
        writeFile(demo.dir.filePath(name), text);
    }
    Outcome jetsql(const QStringList& commands) {
        return runTool(kJetsql, QStringList{demo.year} + commands);
    }
    QString file(const char* name) { return demo.dir.filePath(QString::fromLatin1(name)); }
    DemoFolder demo;
};

TEST_F(JetsqlImport, MakesANewTableOfTextColumns) {
    write(QStringLiteral("parts.csv"),
          "Code,Name\r\n7,\"Bolts, hex\"\r\n8,\"two\nlines\"\r\n9,\r\n");
    const Outcome r =
        jetsql({QStringLiteral(".import ") + file("parts.csv") + QStringLiteral(" Parts"),
                QStringLiteral(".schema Parts"), QStringLiteral(".mode csv"),
                QStringLiteral("select Code, Name, IsNull(Name) as n from Parts order by Code")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("3 row(s) imported into Parts.\n"
                                    "CREATE TABLE [Parts] ([Code] TEXT(255), [Name] TEXT(255));\n"
                                    "Code,Name,n\n7,\"Bolts, hex\",False\n8,\"two\nlines\",False\n"
                                    "9,Null,True\n"));
}

TEST_F(JetsqlImport, AddsToAnExistingTableConvertingToItsColumns) {
    write(QStringLiteral("logs.csv"),
          "Activity,dates,UserId\nImported,2027-01-05 10:30:00,3\n\"\",2027-01-06,4\n");
    const int before = countRows(demo.year, QStringLiteral("select count(*) from logs"));
    const Outcome r =
        jetsql({QStringLiteral(".import ") + file("logs.csv") + QStringLiteral(" LOGS")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(countRows(demo.year, QStringLiteral("select count(*) from logs")), before + 2);
    EXPECT_EQ(
        countRows(demo.year,
                  QStringLiteral("select UserId from logs where dates=#2027-01-05 10:30:00#")),
        3);
    EXPECT_EQ(countRows(demo.year, QStringLiteral("select count(*) from logs where Activity=''")),
              1);
}

TEST_F(JetsqlImport, ABadLineImportsNothing) {
    struct Case {
        const char* csv;
        const char* error;
    };
    const Case cases[] = {
        {"Activity,UserId\nok,1\nshort\n", "line 3: 1 fields where the first line names 2."},
        {"Activity,UserId\nok,1\nbad,notanumber\n", "line 3:"},
        {"Activity,Nowhere\nok,1\n", "logs has no column Nowhere."},
        {"Activity,UserId\n\"open,1\n", "line 2: a quoted field is not closed."},
        {"", "its first line must name the columns."},
    };
    const int before = countRows(demo.year, QStringLiteral("select count(*) from logs"));
    for (const Case& c : cases) {
        write(QStringLiteral("bad.csv"), c.csv);
        const Outcome r =
            jetsql({QStringLiteral(".import ") + file("bad.csv") + QStringLiteral(" logs")});
        EXPECT_EQ(r.status, 1) << c.csv;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.error))) << r.err.toStdString();
        EXPECT_EQ(countRows(demo.year, QStringLiteral("select count(*) from logs")), before)
            << c.csv;
    }
}

}  // namespace
