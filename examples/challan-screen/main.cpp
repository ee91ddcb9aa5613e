// challan-screen: an example host screen on the installed library.
//
//   challan-screen [--app-folder DIR] [--workstation N] [--user N]
//                  [--unattended] [--save-and-close] [--screenshot FILE]
//
// The library reads its databases from DIR/DataBase (default: the folder of
// the program). --unattended writes the library's message boxes to standard
// output instead of showing them; --save-and-close then saves one challan for
// the first customer and closes the screen, as a user would; --screenshot
// writes a picture of the screen and closes it.
#include "ChallanScreen.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace {

// Message boxes as lines on standard output, for runs nobody watches.
class PrintedMessageBox final : public ui::MessageBox {
  public:
    void show(const QString& text, const QString& title, ui::Icon) override {
        QString oneLine = text;
        oneLine.replace(u'\n', QStringLiteral(" | "));
        std::printf("message [%s]: %s\n", qPrintable(title), qPrintable(oneLine));
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser cl;
    cl.setApplicationDescription(QStringLiteral("An example screen on the clsProd library."));
    cl.addHelpOption();
    QCommandLineOption appFolder(QStringLiteral("app-folder"),
                                 QStringLiteral("The folder that holds DataBase/."),
                                 QStringLiteral("DIR"));
    QCommandLineOption workstation(QStringLiteral("workstation"),
                                   QStringLiteral("This workstation's id."), QStringLiteral("N"),
                                   QStringLiteral("1"));
    QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The user's id."),
                            QStringLiteral("N"), QStringLiteral("1"));
    QCommandLineOption unattended(QStringLiteral("unattended"),
                                  QStringLiteral("Message boxes go to standard output."));
    QCommandLineOption saveAndClose(QStringLiteral("save-and-close"),
                                    QStringLiteral("Saves one challan and closes."));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Writes a picture of the screen and closes."),
                                  QStringLiteral("FILE"));
    cl.addOptions({appFolder, workstation, user, unattended, saveAndClose, screenshot});
    cl.process(app);

    // The host's side: who is working where, and how the library reaches the screen.
    clsProd::Environment env = clsProd::defaultEnvironment();
    if (cl.isSet(appFolder)) env.appFolder = cl.value(appFolder);
    env.appTitle = QStringLiteral("Challan");
    env.context->setWorkstationId(cl.value(workstation).toInt());
    env.context->setUserId(cl.value(user).toInt());
    env.context->setMsgTxt(QStringLiteral("Challan"));
    env.context->setBookType(1);
    if (cl.isSet(unattended)) env.messageBox = std::make_shared<PrintedMessageBox>();

    clsProd prod(env);
    prod.Get_Connection();  // shows a caution and ends the program when it fails

    auto* screen = new ChallanScreen(prod);
    screen->setAttribute(Qt::WA_DeleteOnClose);
    screen->show();
    std::printf("screen open: challan %s, %d customers, %s\n",
                qPrintable(screen->challanNumber()->text()), screen->customers()->count(),
                screen->readOnly() ? "read only" : "may save");
    std::fflush(stdout);

    if (cl.isSet(saveAndClose)) {
        QTimer::singleShot(0, screen, [screen] {
            screen->amount()->setText(QStringLiteral("99.50"));
            const QString number = screen->challanNumber()->text();
            if (screen->save())
                std::printf("saved challan %s; next %s\n", qPrintable(number),
                            qPrintable(screen->challanNumber()->text()));
            else
                std::printf("not saved: the screen is read only\n");
            std::fflush(stdout);
            screen->close();
        });
    } else if (cl.isSet(screenshot)) {
        const QString file = cl.value(screenshot);
        QTimer::singleShot(500, screen, [screen, file] {
            const bool ok = screen->window()->grab().save(file);
            std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
            screen->close();
        });
    }
    const int status = app.exec();
    prod.Leave_Connection();
    return status;
}
