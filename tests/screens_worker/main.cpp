// screens_worker: one stand-in workstation of the business application, for the
// tests that run several of them at once on one database.
//
// It connects like the application does (Get_Connection under --folder) with
// its own workstation and user id and then works in one of these modes:
//   cycle  per round, per screen of --screens: Register_User_Log (access
//          value 2), Chk_More_Users_In_Screen,
//          Fix_userVal_ReadOnly_if_screen_already_exist, UnRegister_User_Log;
//   clear  per round: Register_User_Log for every screen, then
//          Clear_Scr_Log_For_SysId;
//   mixed  per round, each call timed: update_rec inserting and deleting a
//          row of logs, Register_User_Log, UnRegister_User_Log, get_new_dcno,
//          and both repair statements of the repair window;
//   load   --calls calls, each timed: occupancy cycles (register, check,
//          unregister), error trail rows (er_hnd), get_new_dcno, and now and
//          then the repair of the screen records; at the end one SUMMARY line;
//   hold   opens tmp_Rec on --query (select * from logs), reads its first row,
//          says READY and keeps the result open, answering commands on
//          standard input:  walk (count every row from the first),
//          update LOGID USERID (set UserId of that row through tmp_Rec), quit.
// At the end it registers --hold (when given) and leaves that record in place.
// --lock-wait MS sets how long a call waits for another workstation's lock
// (the program's own wait is 20 s). --change SQL runs one update_rec first.
//
// Message boxes are not shown; each is written to standard output as it comes
// (in load mode only the unexpected ones):
//   BOX <TAB> I|C <TAB> title <TAB> text (line feeds written as \n)
// a failure that escaped a routine as
//   ERROR <TAB> number <TAB> description
// a timed call as
//   CALL <TAB> name <TAB> microseconds
// and at the end
//   DONE <TAB> milliseconds
// Exit status 0 when it ran to the end, 2 for bad arguments, 3 when the
// connection could not be made.
#include "lib/clsProd.h"
#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

void writeLine(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString oneLine(QString s) {
    s.replace(u'\\', QStringLiteral("\\\\"));
    s.replace(u'\n', QStringLiteral("\\n"));
    s.replace(u'\r', QStringLiteral("\\r"));
    s.replace(u'\t', QStringLiteral("\\t"));
    return s;
}

const QString kConflict = QStringLiteral("This Screen was already opened by");
// What Chk_More_Users_In_Screen says when the screen repair of another
// workstation removed this one's record between registering and checking.
const QString kLogDeleted =
    QStringLiteral("Your Log was deleted by the Administrator.Contact Ur Administrator");

class PrintingMessageBox final : public ui::MessageBox {
public:
    void show(const QString& text, const QString& title, ui::Icon icon) override {
        if (quiet) {
            // Load mode: confirmations and conflict notices are expected, and
            // so is the notice of a record removed by a repair mid-cycle.
            if (icon == ui::Icon::Information && text == u" Successful Operation") {
                ++confirmations;
                return;
            }
            if (text.startsWith(kConflict)) {
                ++conflicts;
                return;
            }
            if (text == kLogDeleted) {
                ++logsDeleted;
                return;
            }
            ++failures;
        }
        writeLine(QStringLiteral("BOX\t") + (icon == ui::Icon::Critical ? u'C' : u'I') + u'\t' +
                  oneLine(title) + u'\t' + oneLine(text));
    }
    bool quiet = false;
    long confirmations = 0, conflicts = 0, logsDeleted = 0, failures = 0;
};

struct Options {
    QString folder;
    int32_t workstation = 0;
    int32_t user = 0;
    QList<int32_t> screens;
    int rounds = 1;
    QString mode = QStringLiteral("cycle");
    int32_t hold = 0;  // 0: none
    int lockWait = -1;
    int calls = 0;
    QString query = QStringLiteral("select * from logs");
    QString change;
};

bool parse(const QStringList& args, Options& o) {
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& key = args[i];
        const QString& value = args[i + 1];
        bool ok = true;
        if (key == u"--folder") {
            o.folder = value;
        } else if (key == u"--ws") {
            o.workstation = value.toInt(&ok);
        } else if (key == u"--user") {
            o.user = value.toInt(&ok);
        } else if (key == u"--rounds") {
            o.rounds = value.toInt(&ok);
        } else if (key == u"--mode") {
            o.mode = value;
            ok = value == u"cycle" || value == u"clear" || value == u"mixed" || value == u"load" ||
                 value == u"hold";
        } else if (key == u"--hold") {
            o.hold = value.toInt(&ok);
        } else if (key == u"--lock-wait") {
            o.lockWait = value.toInt(&ok);
            ok = ok && o.lockWait >= 0;
        } else if (key == u"--calls") {
            o.calls = value.toInt(&ok);
        } else if (key == u"--query") {
            o.query = value;
        } else if (key == u"--change") {
            o.change = value;
        } else if (key == u"--screens") {
            for (const QString& s : value.split(u',', Qt::SkipEmptyParts)) {
                o.screens << s.toInt(&ok);
                if (!ok) break;
            }
        } else {
            ok = false;
        }
        if (!ok) return false;
    }
    return args.size() % 2 == 1 && !o.folder.isEmpty() && o.workstation != 0 && o.user != 0 &&
           !o.screens.isEmpty() && o.rounds >= 0 && o.calls >= 0;
}

// Runs one library call; a failure that escapes it is reported, not fatal.
bool call(const std::function<void()>& f) {
    try {
        f();
        return true;
    } catch (const rt::Error& e) {
        writeLine(QStringLiteral("ERROR\t%1\t%2").arg(e.number()).arg(oneLine(e.description())));
    } catch (const std::exception& e) {
        writeLine(QStringLiteral("ERROR\t0\t") + oneLine(QString::fromLocal8Bit(e.what())));
    }
    return false;
}

// Calls timed one by one.
class Timings {
public:
    bool run(const QString& name, bool print, const std::function<void()>& f) {
        QElapsedTimer t;
        t.start();
        const bool ok = call(f);
        const qint64 us = t.nsecsElapsed() / 1000;
        micros_.push_back(us);
        if (print) writeLine(QStringLiteral("CALL\t%1\t%2").arg(name).arg(us));
        return ok;
    }
    QString summary() {
        std::vector<qint64> sorted = micros_;
        std::sort(sorted.begin(), sorted.end());
        const qint64 max = sorted.empty() ? 0 : sorted.back();
        const qint64 p99 = sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
        return QStringLiteral("%1\t%2\t%3").arg(sorted.size()).arg(max).arg(p99);
    }
    // Every call's time, in order, comma-separated.
    QString all() const {
        QStringList out;
        out.reserve(qsizetype(micros_.size()));
        for (qint64 us : micros_) out << QString::number(us);
        return out.join(u',');
    }

private:
    std::vector<qint64> micros_;
};

// The repair window's date repair, with today's date as the program writes it.
QString dateRepair(clsProd& lib) {
    return QStringLiteral("Delete * from logs where dates>#") +
           lib.settings().shortDate(lib.clock().today()) + QStringLiteral("#");
}

void mixed(clsProd& lib, const Options& o) {
    Timings t;
    for (int round = 0; round < o.rounds; ++round) {
        const int32_t screen = o.screens[round % o.screens.size()];
        const QString mark = QStringLiteral("ws%1 round %2").arg(o.workstation).arg(round);
        t.run(QStringLiteral("update_rec insert"), true, [&] {
            lib.update_rec(QStringLiteral("insert into logs (dates, UserId, Activity) values (#") +
                           lib.settings().generalDate(lib.clock().now()) + QStringLiteral("#, ") +
                           QString::number(o.user) + QStringLiteral(", '") + mark +
                           QStringLiteral("')"));
        });
        t.run(QStringLiteral("update_rec delete"), true, [&] {
            lib.update_rec(QStringLiteral("delete * from logs where Activity='") + mark +
                           QStringLiteral("'"));
        });
        t.run(QStringLiteral("Register_User_Log"), true, [&] { lib.Register_User_Log(screen, 2); });
        t.run(QStringLiteral("UnRegister_User_Log"), true, [&] { lib.UnRegister_User_Log(screen); });
        t.run(QStringLiteral("get_new_dcno"), true,
              [&] { writeLine(QStringLiteral("DCNO\t%1").arg(lib.get_new_dcno(QStringLiteral("DCINV")))); });
        t.run(QStringLiteral("date repair"), true, [&] { lib.update_rec(dateRepair(lib)); });
        t.run(QStringLiteral("screen repair"), true,
              [&] { lib.update_rec(QStringLiteral("Delete * from OnLineUsers")); });
    }
}

void load(clsProd& lib, const Options& o, PrintingMessageBox& box) {
    box.quiet = true;
    Timings t;
    long trail = 0, cycles = 0, numbers = 0, repairs = 0, errors = 0;
    // Operations in turn: an occupancy cycle (three calls), a trail row,
    // get_new_dcno, a trail row; every hundredth trail row is the repair of
    // the screen records instead.
    long calls = 0;
    for (long k = 0; calls < o.calls; ++k) {
        const int32_t screen = o.screens[int(k % o.screens.size())];
        switch (k % 4) {
            case 0:
                errors += !t.run(QString(), false, [&] { lib.Register_User_Log(screen, 2); });
                errors += !t.run(QString(), false, [&] { lib.Chk_More_Users_In_Screen(screen); });
                errors += !t.run(QString(), false, [&] { lib.UnRegister_User_Log(screen); });
                ++cycles;
                calls += 3;
                break;
            case 2:
                errors += !t.run(QString(), false, [&] { lib.get_new_dcno(QStringLiteral("DCINV")); });
                ++numbers;
                ++calls;
                break;
            default:
                if (k % 400 == 399) {
                    errors += !t.run(QString(), false, [&] {
                        lib.update_rec(QStringLiteral("Delete * from OnLineUsers"));
                    });
                    ++repairs;
                } else {
                    errors += !t.run(QString(), false, [&] {
                        lib.er_hnd(QStringLiteral("load ws%1 row %2").arg(o.workstation).arg(trail),
                                   lib.clock().now());
                    });
                    ++trail;
                }
                ++calls;
                break;
        }
    }
    writeLine(QStringLiteral("TIMES\t") + t.all());
    // calls, slowest, p99 (microseconds); what was done; what went wrong;
    // records a repair removed mid-cycle.
    writeLine(QStringLiteral("SUMMARY\t%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9")
                  .arg(t.summary())
                  .arg(trail)
                  .arg(cycles)
                  .arg(numbers)
                  .arg(repairs)
                  .arg(box.failures)
                  .arg(errors)
                  .arg(box.logsDeleted));
}

void hold(clsProd& lib, const Options& o) {
    lib.open_temp_rec(o.query);
    if (!lib.tmp_Rec || lib.tmp_Rec->State() != db::adStateOpen) {
        writeLine(QStringLiteral("ERROR\t0\tthe result did not open"));
        return;
    }
    db::Recordset& rs = *lib.tmp_Rec;
    writeLine(QStringLiteral("READY\t%1").arg(rs.Eof() ? QString() : rs.Fields(0).Value().joinText(lib.settings())));
    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList words = QString::fromStdString(line).split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty()) continue;
        if (words[0] == u"walk") {
            call([&] {
                rs.MoveFirst();
                qint64 n = 0;
                for (; !rs.Eof(); rs.MoveNext()) ++n;
                writeLine(QStringLiteral("WALKED\t%1").arg(n));
            });
        } else if (words[0] == u"update" && words.size() == 3) {
            const bool ok = call([&] {
                rs.MoveFirst();
                while (!rs.Eof() && rs.Fields(QStringLiteral("LogId")).Value().joinText(lib.settings()) != words[1])
                    rs.MoveNext();
                if (rs.Eof()) rt::raise(0, QStringLiteral("no such row"));
                rs.Fields(QStringLiteral("UserId")) = rt::Variant(int32_t(words[2].toInt()));
                rs.Update();
            });
            if (ok) writeLine(QStringLiteral("UPDATED"));
        } else if (words[0] == u"quit") {
            break;
        }
    }
    lib.close_temp_rec();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(app.arguments(), o)) {
        std::fputs(
            "usage: screens_worker --folder APPFOLDER --ws ID --user ID --screens A,B,... "
            "[--rounds N] [--mode cycle|clear|mixed|load|hold] [--calls N] [--hold SCREEN] "
            "[--lock-wait MS] [--query SQL] [--change SQL]\n",
            stderr);
        return 2;
    }
    if (o.lockWait >= 0) db::setDefaultLockWait(o.lockWait);

    clsProd::Environment env = clsProd::defaultEnvironment();
    auto box = std::make_shared<PrintingMessageBox>();
    env.messageBox = box;
    env.programEnd = std::make_shared<rt::ThrowingProgramEnd>();
    env.appFolder = o.folder;
    env.appTitle = QStringLiteral("screens_worker");
    env.context = std::make_shared<ctx::AppContext>();
    env.context->setWorkstationId(o.workstation);
    env.context->setUserId(o.user);
    env.context->setMsgTxt(QStringLiteral("WS%1").arg(o.workstation));
    env.context->setBookType(1);
    env.settings = std::make_shared<rt::RegionalSettings>(
        QLocale(QLocale::English, QLocale::UnitedKingdom));
    clsProd lib(env);

    QElapsedTimer timer;
    timer.start();
    try {
        lib.Get_Connection();
    } catch (const rt::ProgramEnded&) {
        return 3;
    }
    if (!o.change.isEmpty()) call([&] { lib.update_rec(o.change); });

    if (o.mode == u"mixed") {
        mixed(lib, o);
    } else if (o.mode == u"load") {
        load(lib, o, *box);
    } else if (o.mode == u"hold") {
        hold(lib, o);
    } else {
        for (int round = 0; round < o.rounds; ++round) {
            if (o.mode == u"cycle") {
                for (int32_t s : o.screens) {
                    call([&] { lib.Register_User_Log(s, 2); });
                    call([&] { lib.Chk_More_Users_In_Screen(s); });
                    call([&] { lib.Fix_userVal_ReadOnly_if_screen_already_exist(s, 2); });
                    call([&] { lib.UnRegister_User_Log(s); });
                }
            } else {
                for (int32_t s : o.screens) call([&] { lib.Register_User_Log(s, 2); });
                call([&] { lib.Clear_Scr_Log_For_SysId(); });
            }
        }
    }
    if (o.hold != 0) call([&] { lib.Register_User_Log(o.hold, 2); });
    call([&] { lib.Leave_Connection(); });
    writeLine(QStringLiteral("DONE\t%1").arg(timer.elapsed()));
    return 0;
}
