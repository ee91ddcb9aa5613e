// screens_worker: one stand-in workstation of the business application, for the
// tests that run several of them at once on one database.
//
// It connects like the application does (Get_Connection under --folder) with
// its own workstation and user id and then, for --rounds rounds:
//   cycle mode: per screen of --screens: Register_User_Log (access value 2),
//               Chk_More_Users_In_Screen, Fix_userVal_ReadOnly_if_screen_already_exist,
//               UnRegister_User_Log;
//   clear mode: Register_User_Log for every screen, then Clear_Scr_Log_For_SysId.
// At the end it registers --hold (when given) and leaves that record in place.
//
// Message boxes are not shown; each is written to standard output as it comes:
//   BOX <TAB> I|C <TAB> title <TAB> text (line feeds written as \n)
// a failure that escaped a routine as
//   ERROR <TAB> number <TAB> description
// and at the end
//   DONE <TAB> milliseconds
// Exit status 0 when it ran to the end, 2 for bad arguments, 3 when the
// connection could not be made.
#include "lib/clsProd.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>

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

class PrintingMessageBox final : public ui::MessageBox {
public:
    void show(const QString& text, const QString& title, ui::Icon icon) override {
        writeLine(QStringLiteral("BOX\t") + (icon == ui::Icon::Critical ? u'C' : u'I') + u'\t' +
                  oneLine(title) + u'\t' + oneLine(text));
    }
};

struct Options {
    QString folder;
    int32_t workstation = 0;
    int32_t user = 0;
    QList<int32_t> screens;
    int rounds = 1;
    QString mode = QStringLiteral("cycle");
    int32_t hold = 0;  // 0: none
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
            ok = value == u"cycle" || value == u"clear";
        } else if (key == u"--hold") {
            o.hold = value.toInt(&ok);
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
           !o.screens.isEmpty() && o.rounds >= 0;
}

// Runs one library call; a failure that escapes it is reported, not fatal.
void call(const std::function<void()>& f) {
    try {
        f();
    } catch (const rt::Error& e) {
        writeLine(QStringLiteral("ERROR\t%1\t%2").arg(e.number()).arg(oneLine(e.description())));
    } catch (const std::exception& e) {
        writeLine(QStringLiteral("ERROR\t0\t") + oneLine(QString::fromLocal8Bit(e.what())));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(app.arguments(), o)) {
        std::fputs(
            "usage: screens_worker --folder APPFOLDER --ws ID --user ID --screens A,B,... "
            "[--rounds N] [--mode cycle|clear] [--hold SCREEN]\n",
            stderr);
        return 2;
    }

    clsProd::Environment env = clsProd::defaultEnvironment();
    env.messageBox = std::make_shared<PrintingMessageBox>();
    env.programEnd = std::make_shared<rt::ThrowingProgramEnd>();
    env.appFolder = o.folder;
    env.appTitle = QStringLiteral("screens_worker");
    env.context = std::make_shared<ctx::AppContext>();
    env.context->setWorkstationId(o.workstation);
    env.context->setUserId(o.user);
    env.context->setMsgTxt(QStringLiteral("WS%1").arg(o.workstation));
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
    if (o.hold != 0) call([&] { lib.Register_User_Log(o.hold, 2); });
    call([&] { lib.Leave_Connection(); });
    writeLine(QStringLiteral("DONE\t%1").arg(timer.elapsed()));
    return 0;
}
