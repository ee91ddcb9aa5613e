// The jetimport command as support staff run it: its command line, its exit
// status, progress on standard error and the summary on standard output.
#include "ImporterTestSupport.h"

#include <QProcess>
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

Outcome jetimport(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(JETIMPORT_EXECUTABLE), args);
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
    for (const QStringList& args :
         {QStringList(), QStringList({QStringLiteral("only-one")}),
          QStringList({QStringLiteral("--colour"), QStringLiteral("a"), QStringLiteral("b")}),
          QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--password")})}) {
        const Outcome r = jetimport(args);
        EXPECT_EQ(r.status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Try 'jetimport --help'")))
            << r.err.toStdString();
    }
    const Outcome help = jetimport({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("SOURCE TARGET")));
}

}  // namespace
