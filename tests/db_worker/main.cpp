// db_worker: another workstation for the database layer's tests.
//
//   db_worker [--uid N] [--lock-wait MS] DATABASE PASSWORD
//
// With --uid (only when started as root) it first becomes that user, so a test
// can try a file as someone who may not write it. It opens DATABASE (printing
// "OPEN" or "ERROR <TAB> number <TAB> description") and then reads commands,
// one a line, answering each with "OK [rows]" or an ERROR line:
//   native SQL     runs native SQL (BEGIN IMMEDIATE, COMMIT, PRAGMA ...)
//   jet SQL        runs a Jet statement through Connection::Execute
//   count SQL      runs a Jet SELECT and answers "OK <rows>"
//   crash          ends the process at once by SIGKILL (nothing is cleaned up)
//   quit           closes the database and ends
#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QStringList>

#include <grp.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void say(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void sayError(const rt::Error& e) {
    QString d = e.description();
    d.replace(u'\n', u' ');
    say(QStringLiteral("ERROR\t%1\t%2").arg(e.number()).arg(d));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int lockWait = -1;
    while (args.size() > 2 && args[0].startsWith(QStringLiteral("--"))) {
        const QString key = args.takeFirst();
        const int value = args.takeFirst().toInt();
        if (key == u"--uid") {
            const gid_t gid = gid_t(value);
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid_t(value)) != 0) {
                std::perror("db_worker: cannot become that user");
                return 2;
            }
        } else if (key == u"--lock-wait") {
            lockWait = value;
        } else {
            std::fprintf(stderr, "db_worker: unknown option %s\n", qPrintable(key));
            return 2;
        }
    }
    if (args.size() != 2) {
        std::fputs("usage: db_worker [--uid N] [--lock-wait MS] DATABASE PASSWORD\n", stderr);
        return 2;
    }
    auto conn = db::Connection::create();
    try {
        conn->setConnectionString(db::jetConnectionString(args[0], args[1]));
        conn->Open();
        if (lockWait >= 0) conn->engine().setLockWait(lockWait);
        say(QStringLiteral("OPEN"));
    } catch (const rt::Error& e) {
        sayError(e);
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        const QString text = QString::fromStdString(line);
        const qsizetype blank = text.indexOf(u' ');
        const QString command = blank < 0 ? text : text.left(blank);
        const QString rest = blank < 0 ? QString() : text.mid(blank + 1);
        try {
            if (command == u"native") {
                conn->engine().execNative(rest.toStdString());
                say(QStringLiteral("OK"));
            } else if (command == u"jet") {
                say(QStringLiteral("OK %1").arg(conn->Execute(rest)));
            } else if (command == u"count") {
                db::Recordset rs;
                rs.Open(rest, conn);
                int64_t n = 0;
                for (; !rs.Eof(); rs.MoveNext()) ++n;
                say(QStringLiteral("OK %1").arg(n));
            } else if (command == u"crash") {
                ::kill(::getpid(), SIGKILL);
            } else if (command == u"quit") {
                conn->Close();
                say(QStringLiteral("OK"));
                return 0;
            } else {
                say(QStringLiteral("ERROR\t0\tunknown command ") + command);
            }
        } catch (const rt::Error& e) {
            sayError(e);
        }
    }
    return 0;
}
