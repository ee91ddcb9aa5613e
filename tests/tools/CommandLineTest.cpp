// Every tool's command line: --help and --version, and a bad command line
// refused with a message naming the tool and exit status 2, before any file
// is touched. The password from an environment variable, and the process
// list no longer showing a password given on the command line.
#include "ToolProcess.h"

#include "platform/db/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

namespace {

using tooltest::Outcome;
using tooltest::runTool;

struct CommandCase {
    const char* name;  // printable test name
    const char* tool;
    QStringList args;
    int status;
    const char* out;  // expected in standard output ("" for nothing to check)
    const char* err;  // expected in standard error
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

class ToolCommandLine : public ::testing::TestWithParam<CommandCase> {};

// "@DIR" in an argument stands for a fresh temporary folder's "target" entry,
// which a refused command line must not create.
TEST_P(ToolCommandLine, AnswersAsDocumented) {
    const CommandCase& c = GetParam();
    const QString tool = QString::fromLatin1(c.tool);
    if (!QFileInfo::exists(tooltest::toolPath(tool))) GTEST_SKIP() << c.tool << " not built";
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("target"));
    QStringList args = c.args;
    for (QString& a : args) a.replace(QStringLiteral("@DIR"), target);
    const Outcome r = runTool(tool, args);
    EXPECT_EQ(r.status, c.status) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.out))) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << r.err.toStdString();
    if (c.status != 0) {
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Try '%1 --help'").arg(tool)))
            << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(target)) << "a refused or informative call wrote a file";
}

const QString kHelp = QStringLiteral("--help");
const QString kVersion = QStringLiteral("--version");

INSTANTIATE_TEST_SUITE_P(
    Tools, ToolCommandLine,
    ::testing::Values(
        CommandCase{"jetsql_help", "jetsql", {kHelp}, 0, "Usage: jetsql [options] DATABASE", ""},
        CommandCase{"jetsql_help_warns_of_process_list",
                    "jetsql",
                    {kHelp},
                    0,
                    "shows in the process list",
                    ""},
        CommandCase{
            "jetsql_help_names_env_password", "jetsql", {kHelp}, 0, "--password-env <NAME>", ""},
        CommandCase{"jetsql_version", "jetsql", {kVersion}, 0, "jetsql (narvo) ", ""},
        CommandCase{"jetsql_unknown_option",
                    "jetsql",
                    {"--bogus", "@DIR"},
                    2,
                    "",
                    "jetsql: Unknown option 'bogus'."},
        CommandCase{"jetsql_no_database", "jetsql", {}, 2, "", "jetsql: too few arguments."},
        CommandCase{"jetsql_password_without_value",
                    "jetsql",
                    {"--password"},
                    2,
                    "",
                    "jetsql: Missing value after '--password'."},
        CommandCase{"jetsql_unset_password_variable",
                    "jetsql",
                    {"--password-env", "NARVO_TEST_SURELY_UNSET", "@DIR"},
                    2,
                    "",
                    "the environment variable NARVO_TEST_SURELY_UNSET is not set."},
        CommandCase{"jetsql_two_password_sources",
                    "jetsql",
                    {"--password", "a", "--password-env", "HOME", "@DIR"},
                    2,
                    "",
                    "give the password one way only."},
        CommandCase{
            "makedemo_help", "makedemo", {kHelp}, 0, "Usage: makedemo [options] [FOLDER]", ""},
        CommandCase{"makedemo_version", "makedemo", {kVersion}, 0, "makedemo (narvo) ", ""},
        CommandCase{"makedemo_challans_not_a_number",
                    "makedemo",
                    {"--challans", "abc", "@DIR"},
                    2,
                    "",
                    "makedemo: --challans: 'abc' is not a whole number."},
        CommandCase{"makedemo_challans_fraction",
                    "makedemo",
                    {"--challans=1.5", "@DIR"},
                    2,
                    "",
                    "is not a whole number."},
        CommandCase{"makedemo_challans_negative",
                    "makedemo",
                    {"--challans", "-5", "@DIR"},
                    2,
                    "",
                    "makedemo: --challans: -5 is out of range"},
        CommandCase{"makedemo_unknown_option",
                    "makedemo",
                    {"--bogus", "@DIR"},
                    2,
                    "",
                    "makedemo: Unknown option 'bogus'."},
        CommandCase{"makedemo_two_folders",
                    "makedemo",
                    {"@DIR", "other"},
                    2,
                    "",
                    "makedemo: too many arguments (unexpected 'other')."},
        CommandCase{"jetimport_help", "jetimport", {kHelp}, 0, "jetimport", ""},
        CommandCase{"jetimport_unknown_option", "jetimport", {"--bogus", "@DIR", "@DIR"}, 2, "",
                    "jetimport: Unknown option 'bogus'."},
        CommandCase{"jetmove_help", "jetmove", {kHelp}, 0, "jetmove", ""},
        CommandCase{"jetmove_unknown_option", "jetmove", {"--bogus", "@DIR"}, 2, "",
                    "jetmove: Unknown option 'bogus'."}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

TEST(ToolCommandLine, MakedemoWritesTheChallansAsked) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("DataBase"));
    const Outcome r = runTool(QStringLiteral("makedemo"),
                              {QStringLiteral("--challans"), QStringLiteral("5"), folder});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("DBStart.mdb"))) << r.out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/DBStart.mdb")));
}

class JetsqlPassword : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("pw.mdb"));
        db::createDatabaseFile(path, QStringLiteral("s3cret-pw"));
    }
    QTemporaryDir dir;
    QString path;
};

TEST_F(JetsqlPassword, ComesFromAnEnvironmentVariable) {
    const QStringList select = {QStringLiteral("--csv"), QStringLiteral("--password-env"),
                                QStringLiteral("SITE_DB_PASSWORD"), path,
                                QStringLiteral("select 1+1 as n")};
    Outcome r = runTool(QStringLiteral("jetsql"), select, {},
                        {QStringLiteral("SITE_DB_PASSWORD=s3cret-pw")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("n\n2\n"));

    r = runTool(QStringLiteral("jetsql"), select, {}, {QStringLiteral("SITE_DB_PASSWORD=wrong")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Not a valid password."))) << r.err.toStdString();
}

TEST_F(JetsqlPassword, AskingWithoutATerminalIsRefused) {
    // QProcess gives the child no controlling terminal.
    const Outcome r = runTool(QStringLiteral("jetsql"),
                              {QStringLiteral("--ask-password"), path, QStringLiteral("select 1")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no terminal to ask the password at")))
        << r.err.toStdString();
}

TEST_F(JetsqlPassword, GivenOnTheCommandLineItLeavesTheProcessList) {
    QProcess p;
    p.start(tooltest::toolPath(QStringLiteral("jetsql")),
            {QStringLiteral("--password"), QStringLiteral("s3cret-pw"), path});
    ASSERT_TRUE(p.waitForStarted(10000));
    // The shell is waiting for statements; once it answers one, it has parsed
    // its command line.
    p.write("select 7 as n\n");
    ASSERT_TRUE(p.waitForReadyRead(30000));
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(p.processId()));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QByteArray shown = cmdline.readAll();
    EXPECT_FALSE(shown.contains("s3cret")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(path.toLocal8Bit()));
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

}  // namespace

namespace {

TEST_F(JetsqlPassword, CreateMakesANewFileAndNeverTouchesAnExistingOne) {
    const QString fresh = dir.filePath(QStringLiteral("fresh.mdb"));
    Outcome r = runTool(QStringLiteral("jetsql"),
                        {QStringLiteral("--create"), QStringLiteral("--password"),
                         QStringLiteral("pw2"), fresh, QStringLiteral(".tables")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    r = runTool(QStringLiteral("jetsql"), {QStringLiteral("--password"), QStringLiteral("wrong"),
                                           fresh, QStringLiteral(".tables")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Not a valid password."))) << r.err.toStdString();

    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    r = runTool(QStringLiteral("jetsql"),
                {QStringLiteral("--create"), path, QStringLiteral(".tables")});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.isEmpty());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

}  // namespace
