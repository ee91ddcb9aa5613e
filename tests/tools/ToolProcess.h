// Running the support tools as real processes in tests: their exit status,
// standard output and standard error.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace tooltest {

inline QString toolPath(const QString& tool) {
    return QStringLiteral(NARVO_BINARY_DIR "/tools/%1/%1").arg(tool);
}

struct Outcome {
    int status = -1;  // -1: crashed or did not finish
    QString out;
    QString err;
};

// Runs `program` with `args`, feeding `input` on standard input; extra
// environment variables in `env` ("NAME=value").
inline Outcome runProgram(const QString& program, const QStringList& args,
                          const QByteArray& input = {}, const QStringList& env = {}) {
    QProcess p;
    if (!env.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString& kv : env) e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
        p.setProcessEnvironment(e);
    }
    p.start(program, args);
    EXPECT_TRUE(p.waitForStarted(10000)) << program.toStdString();
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(120000)) << program.toStdString();
    Outcome r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

inline Outcome runTool(const QString& tool, const QStringList& args, const QByteArray& input = {},
                       const QStringList& env = {}) {
    return runProgram(toolPath(tool), args, input, env);
}

}  // namespace tooltest
