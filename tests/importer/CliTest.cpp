// The jetimport command as support staff run it: its command line, its exit
// status, progress on standard error and the summary on standard output.
#include "ImporterTestSupport.h"
#include "JetWriter.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

namespace {

using importertest::entries;
using importertest::sample;

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

Outcome jetimport(const QStringList& args, const QByteArray& input = {},
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(JETIMPORT_EXECUTABLE), args);
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(120000));
    Outcome r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

TEST(JetImportCommand, ImportsWithThePasswordAndSummarises) {
    QTemporaryDir dir;
    const Outcome r = jetimport({QStringLiteral("--password"), QStringLiteral("password"),
                                 sample("password-v2000.mdb"), dir.path()});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("1 of 1 files imported: 1 tables, 3 rows")))
        << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Table1: 3 rows copied"))) << r.err.toStdString();
    EXPECT_EQ(entries(dir.path()), QStringList({"password-v2000.mdb"}));
    EXPECT_EQ(importertest::query(
                  importertest::openCopy(dir.filePath(QStringLiteral("password-v2000.mdb"))),
                  QStringLiteral("select count(*) from Table1")),
              importertest::Rows({{rt::Variant(int32_t(3))}}));
}

TEST(JetImportCommand, FailuresNameTheFileAndExitWithOne) {
    QTemporaryDir dir;
    Outcome r = jetimport({sample("password-v2000.mdb"), dir.filePath(QStringLiteral("x.mdb"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(sample("password-v2000.mdb"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("0 of 1 files imported"))) << r.out.toStdString();
    EXPECT_TRUE(entries(dir.path()).isEmpty());

    r = jetimport({QStringLiteral("--password=nope"), sample("password-v2000.mdb"), dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Not a valid password"))) << r.err.toStdString();
    EXPECT_TRUE(entries(dir.path()).isEmpty());

    r = jetimport({dir.filePath(QStringLiteral("missing.mdb")), dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("missing.mdb"))) << r.err.toStdString();
}

TEST(JetImportCommand, InterruptedImportLeavesNothingBehind) {
    QTemporaryDir dir;
    QProcess p;
    p.start(QStringLiteral(JETIMPORT_EXECUTABLE),
            {sample("ledger-100k.mdb"), dir.filePath(QStringLiteral("ledger.mdb"))});
    p.setReadChannel(QProcess::StandardError);
    QString err;
    // Interrupt once the first progress line shows rows being copied.
    while (!err.contains(QStringLiteral(" of ")) && p.waitForReadyRead(60000))
        err += QString::fromLocal8Bit(p.readAllStandardError());
    ASSERT_TRUE(err.contains(QStringLiteral(" of "))) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    err += QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("cancelled"))) << err.toStdString();
    EXPECT_TRUE(entries(dir.path()).isEmpty()) << entries(dir.path()).join(u' ').toStdString();
}

TEST(JetImportCommand, AWrongCommandLineExitsWithTwo) {
    const QStringList cases[] = {
        {},
        {"only-one"},
        {"a", "b", "c"},
        {"--colour", "a", "b"},
        {"a", "b", "--password"},
        {"--progress-every", "0", "a", "b"},
        {"--progress-every", "ten", "a", "b"},
        {"--catalog-timeout", "99999", "a", "b"},
        {"--catalog-timeout=1.5", "a", "b"},
        {"--password-env", "JETIMPORT_TEST_NO_SUCH_VARIABLE", "a", "b"},
        {"--password", "x", "--password-stdin", "a", "b"},
        {"--strict-counts", "--ignore-recorded-counts", "a", "b"},
    };
    for (const QStringList& args : cases) {
        const Outcome r = jetimport(args);
        EXPECT_EQ(r.status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Try 'jetimport --help'")))
            << r.err.toStdString();
    }
    const Outcome help = jetimport({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    for (const char* says :
         {"Usage: jetimport [options] SOURCE TARGET", "--strict-counts", "--password-env <NAME>",
          "--password-stdin", "--ask-password", "--progress-every <ROWS>"})
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(says))) << says;
    const Outcome version = jetimport({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("jetimport (narvo) ")))
        << version.out.toStdString();
}

TEST(JetImportCommand, ThePasswordFromAnEnvironmentVariableOrStandardInput) {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OLD_SITE_PASSWORD"), QStringLiteral("password"));
    Outcome r = jetimport({QStringLiteral("--password-env"), QStringLiteral("OLD_SITE_PASSWORD"),
                           sample("password-v2000.mdb"), dir.filePath(QStringLiteral("a.mdb"))},
                          {}, env);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    r = jetimport({QStringLiteral("--password-stdin"), sample("password-v2000.mdb"),
                   dir.filePath(QStringLiteral("b.mdb"))},
                  "password\n");
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    r = jetimport({QStringLiteral("--password-stdin"), sample("password-v2000.mdb"),
                   dir.filePath(QStringLiteral("c.mdb"))},
                  "Password\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Not a valid password"))) << r.err.toStdString();
    EXPECT_EQ(entries(dir.path()), QStringList({"a.mdb", "b.mdb"}));
}

// A file that records one row more than it holds (not closed properly), and
// whose catalog makes libmdb say something.
QString countMismatchFile(const QTemporaryDir& dir) {
    jetwriter::Table t;
    t.name = QStringLiteral("Parties");
    t.columns = {jetwriter::column(QStringLiteral("Id"), jetwriter::JetColumnType::Long)};
    t.rows = {{rt::Variant(int32_t(1))}, {rt::Variant(int32_t(2))}};
    t.recordedRows = 3;
    t.rawProps = QByteArray("XYZ\0\0\0\0\0", 8);
    jetwriter::Database db;
    db.tables = {t};
    return jetwriter::writeFile(dir.filePath(QStringLiteral("DB2024_25.mdb")), db);
}

TEST(JetImportCommand, ADifferingRecordedCountIsAWarningOrWithStrictCountsAFailure) {
    QTemporaryDir dir;
    const QString source = countMismatchFile(dir);
    Outcome r = jetimport(
        {QStringLiteral("--strict-counts"), source, dir.filePath(QStringLiteral("a.mdb"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("table 'Parties' records 3 rows, but 2 could be read")))
        << r.err.toStdString();
    r = jetimport({QStringLiteral("--quiet"), source, dir.filePath(QStringLiteral("b.mdb"))});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral(
        "\n  DB2024_25.mdb: table Parties: 2 rows were read, but the file records 3 (every row "
        "stored was copied")))
        << r.out.toStdString();
    // What libmdb said reaches the summary with the file it concerns.
    EXPECT_TRUE(r.out.contains(
        QStringLiteral("  DB2024_25.mdb: the reading library said: Unrecognized format.")))
        << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

TEST(JetImportCommand, TheCopyOfAKilledImportIsRemovedByTheNextImportIntoTheFolder) {
    QTemporaryDir dir;
    QProcess p;
    p.start(QStringLiteral(JETIMPORT_EXECUTABLE),
            {QStringLiteral("--progress-every"), QStringLiteral("5000"), sample("ledger-100k.mdb"),
             dir.filePath(QStringLiteral("ledger.mdb"))});
    p.setReadChannel(QProcess::StandardError);
    QString err;
    while (!err.contains(QStringLiteral(" of ")) && p.waitForReadyRead(60000))
        err += QString::fromLocal8Bit(p.readAllStandardError());
    ASSERT_TRUE(err.contains(QStringLiteral(" of "))) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGKILL);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QStringList left = entries(dir.path());
    ASSERT_EQ(left.size(), 1) << left.join(u' ').toStdString();
    EXPECT_TRUE(left[0].startsWith(QStringLiteral(".ledger.mdb.importing-")))
        << left[0].toStdString();

    const Outcome r = jetimport({QStringLiteral("-q"), sample("dates.mdb"), dir.path()});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("dates.mdb: the unfinished copy %1 (").arg(left[0])))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("left by an import of ledger.mdb that was stopped")))
        << r.out.toStdString();
    EXPECT_EQ(entries(dir.path()), QStringList({"dates.mdb"}));
}

}  // namespace
