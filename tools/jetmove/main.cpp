// jetmove: the site administrator's tool for the database server.
//   jetmove install --server SETTINGS            install or upgrade the jet schema
//   jetmove move --server SETTINGS [FOLDER]      move a site's DataBase folder
//   jetmove demo --server SETTINGS [FOLDER]      make a demo site on the server
// SETTINGS are libpq connection settings ("host=... dbname=... user=..."); the
// login's password comes from a libpq password file (PGPASSFILE, ~/.pgpass or
// passfile=...) or PGPASSWORD, never from the command line.
#include "tools/common/CommandLine.h"
#include "tools/jetmove/SiteMover.h"
#include "tools/makedemo/DemoDatabase.h"

#include "platform/db/pg/JetSchema.h"
#include "platform/db/pg/Session.h"
#include "platform/runtime/Environment.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

void say(const QString& line) { std::printf("%s\n", qPrintable(line)); }

int report(const jetmove::MoveResult& r) {
    for (const QString& w : r.warnings) std::printf("note: %s\n", qPrintable(w));
    if (!r.problems.empty()) {
        std::fprintf(stderr, "jetmove: %zu values the server would refuse; nothing was moved:\n",
                     r.problems.size());
        for (const jetmove::Problem& p : r.problems)
            std::fprintf(stderr, "  %s  %s.%s  %s  '%s': %s\n", qPrintable(p.file), qPrintable(p.table),
                         qPrintable(p.column), qPrintable(p.row), qPrintable(p.value), qPrintable(p.why));
        return tools::kExitFailure;
    }
    for (const QString& f : r.moved) std::printf("linked: %s\n", qPrintable(f));
    return tools::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return tools::run([&] {
        tools::CommandLine cl(
            QStringLiteral("jetmove"),
            QStringLiteral("Moves a site's databases onto a PostgreSQL server.\n"
                           "  install  installs or upgrades the jet schema in the site's database\n"
                           "  move     moves the DataBase folder's files onto the server and puts\n"
                           "           link files in their place (the originals are kept in\n"
                           "           before-server/)\n"
                           "  demo     makes a demo site on the server, with its link files in FOLDER"));
        QCommandLineOption server(QStringLiteral("server"),
                                  QStringLiteral("libpq connection settings of the site's database, "
                                                 "e.g. \"host=db1 dbname=narvo user=narvo\" "
                                                 "(default: the environment's PG* variables)."),
                                  QStringLiteral("SETTINGS"));
        QCommandLineOption prefix(QStringLiteral("prefix"),
                                  QStringLiteral("Schema names PREFIX_dbstart, PREFIX_db2026_27 ... "
                                                 "(several sites in one database)."),
                                  QStringLiteral("PREFIX"));
        QCommandLineOption anyway(QStringLiteral("ignore-today"),
                                  QStringLiteral("Moves although a screen was registered today (when "
                                                 "that record is known to be stale)."));
        cl.addOption(server);
        cl.addOption(prefix);
        cl.addOption(anyway);
        cl.addPasswordOptions(tools::PasswordEnv | tools::PasswordAsk | tools::PasswordStdin,
                              QStringLiteral("The databases' password (default: the system's)"));
        cl.addPositional(QStringLiteral("COMMAND"), QStringLiteral("install, move or demo."));
        cl.addPositional(QStringLiteral("FOLDER"),
                         QStringLiteral("The DataBase folder (default: DataBase next to the program)."),
                         QStringLiteral("[FOLDER]"));
        cl.process(app.arguments());
        cl.requirePositional(1, 2);
        const QString command = cl.positional().value(0);
        if (command != u"install" && command != u"move" && command != u"demo")
            cl.refuse(QStringLiteral("unknown command \"%1\" (install, move or demo)").arg(command));
        if (command == u"install" && cl.positional().size() > 1)
            cl.refuse(QStringLiteral("install takes no folder"));
        const QString pre = cl.value(prefix);
        if (!pre.isEmpty() && jetmove::schemaFor(QStringLiteral("x.mdb"), pre).isEmpty())
            cl.refuse(QStringLiteral("the prefix \"%1\" is not a plain lower-case name").arg(pre));
        QString folder = cl.positional().value(1);
        if (folder.isEmpty()) folder = rt::executableFolder() + QStringLiteral("/DataBase");

        try {
            const db::pg::Keywords keywords = db::pg::parseConninfo(cl.value(server));
            if (command == u"install") {
                auto s = db::pg::Session::connect(keywords, QStringLiteral("the site's server"));
                const int before = db::pg::installJetSchema(*s);
                say(before == 0 ? QStringLiteral("jet schema %1 installed").arg(db::pg::kJetSchemaVersion)
                                : QStringLiteral("jet schema %1 (was %2)").arg(db::pg::kJetSchemaVersion).arg(before));
                return tools::kExitOk;
            }
            jetmove::MoveOptions o;
            o.server = keywords;
            o.prefix = pre;
            o.password = cl.password().value_or(QString());
            o.ignoreToday = cl.isSet(anyway);
            o.say = say;
            o.folder = folder;
            if (command == u"demo") {
                demo::Options d;
                d.password = o.password;
                demo::makeDemoDatabase(folder, d);
                o.keepOriginals = false;
                o.ignoreToday = true;  // the demo's own screen records
            }
            return report(jetmove::moveSite(o));
        } catch (const rt::Error& e) {
            std::fprintf(stderr, "jetmove: %s\n", qPrintable(e.description()));
            return tools::kExitFailure;
        }
    });
}
