// Build helper: writes the repair window's icon, drawn by the program's own
// icon code, as DIR/SIZE/narvo.png for each SIZE given.
//   narvo_write_icons DIR SIZE...
#include "app/RepairIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fputs("usage: narvo_write_icons DIR SIZE...\n", stderr);
        return 2;
    }
    for (const QString& s : args.mid(2)) {
        bool ok = false;
        const int size = s.toInt(&ok);
        const QString folder = args[1] + u'/' + s;
        if (!ok || size <= 0 || !QDir().mkpath(folder) ||
            !repairicon::picture(size).save(folder + QStringLiteral("/narvo.png"))) {
            std::fprintf(stderr, "narvo_write_icons: cannot write the %s icon\n", qPrintable(s));
            return 1;
        }
    }
    return 0;
}
