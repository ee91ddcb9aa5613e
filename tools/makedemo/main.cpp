// makedemo: writes a demo DataBase folder.
//   makedemo [--force] [--challans N] [FOLDER]
// FOLDER defaults to "DataBase" next to the executable.
#include "tools/makedemo/DemoDatabase.h"

#include "platform/runtime/Environment.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    demo::Options options;
    QString folder;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--force") {
            options.overwrite = true;
        } else if (a == u"--challans" && i + 1 < args.size()) {
            options.challanRows = args[++i].toInt();
        } else if (a == u"--help" || a == u"-h") {
            std::puts("usage: makedemo [--force] [--challans N] [FOLDER]\n"
                      "Writes a demo DataBase folder (default: DataBase next to the program).");
            return 0;
        } else if (a.startsWith(u"-")) {
            std::fprintf(stderr, "makedemo: unknown option %s\n", qPrintable(a));
            return 2;
        } else {
            folder = a;
        }
    }
    if (folder.isEmpty()) folder = rt::executableFolder() + QStringLiteral("/DataBase");
    try {
        const QStringList made = demo::makeDemoDatabase(folder, options);
        std::printf("Demo database written to %s:\n", qPrintable(QDir(folder).absolutePath()));
        for (const QString& f : made) std::printf("  %s\n", qPrintable(QDir(folder).relativeFilePath(f)));
        return 0;
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "makedemo: %s\n", qPrintable(e.description()));
        return 1;
    }
}
