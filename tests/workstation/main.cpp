// workstation: a stand-in workstation of the business application that does
// what its standard input says, for tests where workstations meet on one site.
//
//   workstation --folder APPFOLDER --ws ID --user ID
// connects like the application (Get_Connection under APPFOLDER), then reads
// one command a line:
//   number TABLE   answers "NUMBER <TAB> n" with get_new_dcno(TABLE)
//   exec SQL       runs SQL through update_rec (its boxes are printed)
//   quit           leaves the connection and ends
// Message boxes are written as "BOX <TAB> I|C <TAB> title <TAB> text", a failure
// that escaped a routine as "ERROR <TAB> number <TAB> description", and each
// command's end as "OK". Exit status 0 at quit, 2 for bad arguments, 3 when the
// connection could not be made.
#include "lib/clsProd.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void writeLine(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString oneLine(QString s) {
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString folder;
    int ws = 0, user = 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--folder") folder = args[i + 1];
        else if (args[i] == u"--ws") ws = args[i + 1].toInt();
        else if (args[i] == u"--user") user = args[i + 1].toInt();
    }
    if (folder.isEmpty() || ws == 0 || user == 0 || args.size() % 2 == 0) {
        std::fputs("usage: workstation --folder APPFOLDER --ws ID --user ID\n", stderr);
        return 2;
    }
    clsProd::Environment env = clsProd::defaultEnvironment();
    env.messageBox = std::make_shared<PrintingMessageBox>();
    env.programEnd = std::make_shared<rt::ThrowingProgramEnd>();
    env.appFolder = folder;
    env.appTitle = QStringLiteral("workstation");
    env.context = std::make_shared<ctx::AppContext>();
    env.context->setWorkstationId(ws);
    env.context->setUserId(user);
    env.context->setBookType(1);
    env.settings = std::make_shared<rt::RegionalSettings>(QLocale(QLocale::English, QLocale::UnitedKingdom));
    clsProd lib(env);
    try {
        lib.Get_Connection();
    } catch (const rt::ProgramEnded&) {
        return 3;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        const QString command = QString::fromStdString(line).trimmed();
        try {
            if (command == u"quit") break;
            if (command.startsWith(QLatin1String("number ")))
                writeLine(QStringLiteral("NUMBER\t%1").arg(lib.get_new_dcno(command.mid(7))));
            else if (command.startsWith(QLatin1String("exec ")))
                lib.update_rec(command.mid(5));
            else
                writeLine(QStringLiteral("ERROR\t0\tunknown command"));
        } catch (const rt::Error& e) {
            writeLine(QStringLiteral("ERROR\t%1\t%2").arg(e.number()).arg(oneLine(e.description())));
        }
        writeLine(QStringLiteral("OK"));
    }
    lib.Leave_Connection();
    return 0;
}
