// Starting programs with QProcess: each argument passed whole, detached.
#include "platform/ui/ProgramLauncher.h"

#include "platform/runtime/Error.h"

#include <QFileInfo>
#include <QProcess>

namespace ui {

namespace {

class QtProgramLauncher final : public ProgramLauncher {
public:
    int64_t start(const QString& program, const QStringList& arguments, int32_t) override {
        QFileInfo fi(program);
        if (!fi.exists() || !fi.isFile() || !fi.isExecutable())
            rt::raise(rt::err::FileNotFound, QStringLiteral("File not found: %1").arg(program));
        qint64 pid = 0;
        if (!QProcess::startDetached(program, arguments, QString(), &pid))
            rt::raise(rt::err::FileNotFound, QStringLiteral("File not found: %1").arg(program));
        return pid;
    }
};

}  // namespace

std::shared_ptr<ProgramLauncher> defaultProgramLauncher() {
    return std::make_shared<QtProgramLauncher>();
}

}  // namespace ui
