// jetsql: the support shell on the database layer. It opens a database file
// (or a whole connection string) and runs Jet SQL statements and dot
// commands through the same translator and engine as the library.
//
//   jetsql [options] DATABASE [STATEMENT ...]
//
// Statements given on the command line run one after the other (an argument
// beginning with '.' is a command). Without them, the shell reads standard
// input: at a terminal with a prompt, line editing and history; otherwise as
// a script, one statement a line. Failures print "error NUMBER: DESCRIPTION"
// on standard error; the exit status is then 1 (2 for a refused command line).
#include "tools/common/CommandLine.h"
#include "tools/jetsql/LineReader.h"
#include "tools/jetsql/Shell.h"

#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QDir>

#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return tools::run([&] {
        tools::CommandLine cl(
            QStringLiteral("jetsql"),
            QStringLiteral(
                "The support shell: runs Jet SQL on a database file through the library's own "
                "translator and engine.\nWithout STATEMENTs it reads standard input: at a "
                "terminal with a prompt, line editing and history (statements end with ';'); "
                "otherwise as a script, one statement a line. Enter .help for the commands "
                "(.tables, .schema, .check, .backup, .dump, .import ...)."));
        QCommandLineOption csvOption(QStringLiteral("csv"),
                                     QStringLiteral("Prints rows as CSV (as .mode csv)."));
        cl.addOption(csvOption);
        QCommandLineOption createOption(
            QStringLiteral("create"),
            QStringLiteral("Creates DATABASE as a new, empty database file (protected by the "
                           "password) before opening it; an existing file is refused. For "
                           "reading a .dump back."));
        cl.addOption(createOption);
        cl.addPasswordOptions(tools::PasswordOption | tools::PasswordEnv | tools::PasswordAsk,
                              QStringLiteral("The database's password (default: the system's)"));
        cl.addPositional(QStringLiteral("DATABASE"),
                         QStringLiteral("A database file or a whole connection string "
                                        "(Provider=Microsoft.Jet.OLEDB.4.0;Data Source=...)."));
        cl.addPositional(QStringLiteral("STATEMENT"),
                         QStringLiteral("Statements or commands to run instead of reading "
                                        "standard input."),
                         QStringLiteral("[STATEMENT ...]"));
        // Options stand before the database; what follows it is statements.
        cl.parser().setOptionsAfterPositionalArgumentsMode(
            QCommandLineParser::ParseAsPositionalArguments);
        cl.process(app.arguments());
        tools::hidePasswordArgument(argc, argv);
        cl.requirePositional(1, -1);
        const QString password = cl.password().value_or(systemDatabasePassword());
        const QString database = cl.positional().first();
        const QStringList statements = cl.positional().mid(1);

        const QString cs =
            database.contains(QStringLiteral("Provider="), Qt::CaseInsensitive)
                ? database
                : db::jetConnectionString(database, password);
        auto conn = db::Connection::create();
        try {
            if (cl.isSet(createOption)) {
                if (database.contains(QStringLiteral("Provider="), Qt::CaseInsensitive))
                    cl.refuse(
                        QStringLiteral("--create needs a file name, not a connection string."));
                db::createDatabaseFile(database, password);
            }
            conn->setConnectionString(cs);
            conn->Open();
        } catch (const rt::Error& e) {
            std::fprintf(stderr, "error %d: %s\n", e.number(),
                         e.description().toLocal8Bit().constData());
            return tools::kExitFailure;
        }

        jetsql::Shell shell(conn);
        if (cl.isSet(csvOption)) shell.setMode(jetsql::Mode::Csv);
        if (!statements.isEmpty()) {
            for (const QString& s : statements) {
                shell.runOne(s);
                if (shell.quitRequested()) break;
            }
        } else if (::isatty(STDIN_FILENO)) {
            std::printf("%s on %s\nEnter .help for the commands; statements end with ';'.\n",
                        qPrintable(tools::versionText(QStringLiteral("jetsql"))),
                        qPrintable(database));
            std::fflush(stdout);
            const QString home = QDir::homePath();
            auto in = jetsql::terminalReader(
                home.isEmpty() ? QString() : home + QStringLiteral("/.jetsql_history"));
            shell.run(*in);
        } else {
            auto in = jetsql::streamReader(stdin);
            shell.run(*in);
        }
        shell.rollBackOpenTransaction();
        return shell.exitStatus();
    });
}
