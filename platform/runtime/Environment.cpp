// System implementations of the environment seams.
#include "platform/runtime/Environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdlib>

#include "platform/runtime/Variant.h"

namespace rt {

QDateTime SystemClock::now() const {
    QDateTime local = QDateTime::currentDateTime();
    return naiveDateTime(local.date(), local.time());
}

void ProcessExit::endNow() { std::_Exit(EXIT_FAILURE); }

static QString processExecutablePath() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? self.canonicalFilePath() : QString();
}

QString executableFolder() {
    QString exe = processExecutablePath();
    QString folder = exe.isEmpty() ? QDir::currentPath() : QFileInfo(exe).absolutePath();
    folder = QDir::cleanPath(folder);
    if (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
    return folder;
}

QString executableTitle() {
    QString exe = processExecutablePath();
    return exe.isEmpty() ? QStringLiteral("narvo") : QFileInfo(exe).completeBaseName();
}

}  // namespace rt
