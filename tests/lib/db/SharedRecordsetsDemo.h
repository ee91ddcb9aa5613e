// The demo DataBase folder made once and copied into each test's application
// folder: making it writes every table with a synced commit, copying it costs
// almost nothing. The made folder is kept in the build tree, keyed by the day
// and by the build of the test program, so that the test processes CTest
// starts one by one share it and a rebuilt demo maker never meets an old copy.
#pragma once

#include "platform/runtime/Error.h"
#include "tests/support/PgServer.h"
#include "tools/makedemo/DemoDatabase.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace testing_support {

// The made demo folder for `today` (the DataBase folder itself); made first
// when missing. Throws rt::Error when it cannot be made.
inline QString sharedDemoFolder(const QDate& today) {
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString root = QStringLiteral(NARVO_BINARY_DIR "/tests/demo-cache");
    const QString prefix = exe.fileName() + u'-';
    const QString name = prefix + today.toString(QStringLiteral("yyyyMMdd")) + u'-' +
                         QString::number(exe.lastModified().toMSecsSinceEpoch());
    const QString made = root + u'/' + name;
    if (QFileInfo::exists(made)) return made + QStringLiteral("/DataBase");

    QDir().mkpath(root);
    // Copies left by an earlier build of this program are of no further use.
    for (const QString& old : QDir(root).entryList({prefix + u'*'}, QDir::Dirs))
        if (old != name) QDir(root + u'/' + old).removeRecursively();
    QTemporaryDir work(root + QStringLiteral("/making-XXXXXX"));
    if (!work.isValid())
        rt::raise(rt::err::DbGeneric, QStringLiteral("Could not make a folder in '%1'.").arg(root));
    demo::Options o;
    o.today = today;
    demo::makeDemoDatabase(work.filePath(QStringLiteral("DataBase")), o);
    // Whole or not at all: another test process may be making the same folder.
    if (QDir().rename(work.path(), made)) work.setAutoRemove(false);
    if (!QFileInfo::exists(made))
        rt::raise(rt::err::DbGeneric, QStringLiteral("Could not keep '%1'.").arg(made));
    return made + QStringLiteral("/DataBase");
}

// Fills `dataFolder` with the demo databases as makeDemoDatabase() would for
// `today` (on the server engine: moved onto the test server, link files in
// their place). Throws rt::Error when the demo cannot be made or copied.
inline void copyDemoDatabase(const QString& dataFolder, const QDate& today) {
    const QDir from(sharedDemoFolder(today));
    QDir().mkpath(dataFolder);
    for (const QString& name : from.entryList(QDir::Files)) {
        const QString target = QDir(dataFolder).filePath(name);
        QFile::remove(target);
        if (!QFile::copy(from.filePath(name), target))
            rt::raise(rt::err::DbGeneric, QStringLiteral("Could not copy '%1'.").arg(name));
    }
    if (onServer()) moveToServer(dataFolder, today);
}

}  // namespace testing_support
