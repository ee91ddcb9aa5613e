// Jet files written by the tests (JetWriter.h), imported, and their copies
// opened through the database layer: what a test needs to compare every value
// with the values it wrote.
#pragma once

#include "ImporterTestSupport.h"
#include "JetWriter.h"

#include "platform/runtime/Error.h"
#include "tools/jetimport/JetImporter.h"

#include <QTemporaryDir>

#include <memory>

namespace importertest {

using jetwriter::Variant;

// A written file and its copy, in a folder of their own.
struct Imported {
    std::unique_ptr<QTemporaryDir> dir = std::make_unique<QTemporaryDir>();
    QString source;
    QString target;
    jetimport::FileResult result;
    std::shared_ptr<db::Connection> copy;

    QString notes() const { return result.notes.join(u'\n'); }
    QString warnings() const { return result.warnings.join(u'\n'); }
};

// Writes `db`, imports it and opens the copy; a failed import fails the test.
inline Imported importWritten(const jetwriter::Database& db,
                              const jetimport::ImportOptions& options = {}) {
    Imported r;
    r.source = jetwriter::writeFile(r.dir->filePath(QStringLiteral("in.mdb")), db);
    r.target = r.dir->filePath(QStringLiteral("out/copy.mdb"));
    QDir(r.dir->path()).mkpath(QStringLiteral("out"));
    try {
        r.result = jetimport::importFile(r.source, r.target, options);
        r.copy = openCopy(r.target);
    } catch (const rt::Error& e) {
        ADD_FAILURE() << "not imported: " << e.description().toStdString();
    }
    return r;
}

// Imports the bytes of a Jet file that must be refused; returns the refusal.
// Nothing may be left in the target folder.
inline rt::Error refusal(const QByteArray& bytes, const jetimport::ImportOptions& options = {}) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("in.mdb"));
    QFile f(source);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QDir(dir.path()).mkpath(QStringLiteral("out"));
    try {
        jetimport::importFile(source, dir.filePath(QStringLiteral("out/copy.mdb")), options);
        ADD_FAILURE() << "imported, not refused";
    } catch (const rt::Error& e) {
        EXPECT_TRUE(entries(dir.filePath(QStringLiteral("out"))).isEmpty())
            << entries(dir.filePath(QStringLiteral("out"))).join(u' ').toStdString();
        EXPECT_TRUE(e.description().contains(source)) << e.description().toStdString();
        return e;
    }
    return rt::Error(0, {});
}

// The value a written value reads back as from the copy.
inline Variant readBack(jetwriter::JetColumnType type, const Variant& written) {
    using T = jetwriter::JetColumnType;
    if (type == T::YesNo) return Variant(!written.isNull() && written.asBool());
    if (written.isNull()) return Variant::null();
    if (type == T::DateTime && written.type() == rt::VarType::Double)
        return Variant(rt::serialToDate(written.asDouble()));
    return written;
}

}  // namespace importertest
