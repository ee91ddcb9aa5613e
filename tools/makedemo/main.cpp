// makedemo: writes a demo DataBase folder.
//   makedemo [--force] [--challans N] [FOLDER]
// FOLDER defaults to "DataBase" next to the executable.
#include "tools/common/CommandLine.h"
#include "tools/makedemo/DemoDatabase.h"

#include "platform/runtime/Environment.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return tools::run([&] {
        tools::CommandLine cl(
            QStringLiteral("makedemo"),
            QStringLiteral("Writes a demo DataBase folder: the bootstrap database DBStart.mdb "
                           "and three year databases filled with rows a user would recognise."));
        QCommandLineOption force(QStringLiteral("force"),
                                 QStringLiteral("Replaces the .mdb files of an existing folder."));
        QCommandLineOption challans(
            QStringLiteral("challans"),
            QStringLiteral("Adds N challans to each challan table of the current year "
                           "(for benchmarks; default 0)."),
            QStringLiteral("N"), QStringLiteral("0"));
        cl.addOption(force);
        cl.addOption(challans);
        cl.addPositional(QStringLiteral("FOLDER"),
                         QStringLiteral("The folder to write (default: DataBase next to the "
                                        "program, where the repair window looks)."),
                         QStringLiteral("[FOLDER]"));
        cl.process(app.arguments());
        cl.requirePositional(0, 1);

        demo::Options options;
        options.overwrite = cl.isSet(force);
        options.challanRows = cl.intValue(challans, 0, 10'000'000);
        QString folder = cl.positional().value(0);
        if (folder.isEmpty()) folder = rt::executableFolder() + QStringLiteral("/DataBase");
        try {
            const QStringList made = demo::makeDemoDatabase(folder, options);
            std::printf("Demo database written to %s:\n", qPrintable(QDir(folder).absolutePath()));
            for (const QString& f : made)
                std::printf("  %s\n", qPrintable(QDir(folder).relativeFilePath(f)));
            return tools::kExitOk;
        } catch (const rt::Error& e) {
            std::fprintf(stderr, "makedemo: %s\n", qPrintable(e.description()));
            return tools::kExitFailure;
        }
    });
}
