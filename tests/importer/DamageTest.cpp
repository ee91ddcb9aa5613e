// Damaged files are refused as such, with their name and nothing left behind:
// a file cut after any of its pages, a damaged catalog (empty, without its own
// system table, its definition gone), a damaged table definition, a page list
// pointing past the end; libmdb reading in a child process, whose crash or
// hang becomes a refusal and whose words are shown with the file; and the
// unfinished copies of imports that were killed, removed by the next import.
#include "WrittenFiles.h"

#include "tools/jetimport/LibmdbProbe.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <thread>

namespace {

using importertest::entries;
using importertest::pageHolding;
using importertest::refusal;
using importertest::ucs2;
using jetwriter::column;
using jetwriter::JetColumnType;
using rt::Variant;

jetwriter::Database smallFile() {
    jetwriter::Table parties;
    parties.name = QStringLiteral("Parties");
    parties.columns = {column(QStringLiteral("PartyId"), JetColumnType::Long),
                       column(QStringLiteral("Name"), JetColumnType::Text, 50),
                       column(QStringLiteral("Note"), JetColumnType::Memo)};
    parties.indexes = {{QStringLiteral("PrimaryKey"), {QStringLiteral("PartyId")}, true, true}};
    for (int i = 1; i <= 150; ++i)
        parties.rows.push_back({Variant(int32_t(i)), Variant(QStringLiteral("Party %1").arg(i)),
                                Variant(QStringLiteral("note %1 ").arg(i).repeated(i % 4 * 120))});
    jetwriter::Table lines;
    lines.name = QStringLiteral("Lines");
    lines.columns = {column(QStringLiteral("LineNo"), JetColumnType::Long),
                     column(QStringLiteral("Item"), JetColumnType::Text, 40)};
    for (int i = 1; i <= 300; ++i)
        lines.rows.push_back({Variant(int32_t(i)), Variant(QStringLiteral("item %1").arg(i))});
    jetwriter::Database db;
    db.tables = {parties, lines};
    return db;
}

constexpr int kPage = 4096;

int pageCount(const QByteArray& b) { return int(b.size() / kPage); }

TEST(Damage, AFileCutAfterAnyOfItsPagesIsRefused) {
    const QByteArray whole = jetwriter::write(smallFile());
    ASSERT_GT(pageCount(whole), 10);
    for (int pages = 1; pages < pageCount(whole); ++pages) {
        for (int extra : {0, 1000}) {
            const rt::Error e = refusal(whole.left(qsizetype(pages) * kPage + extra));
            EXPECT_EQ(e.number(), rt::err::DbUnrecognised) << pages;
            EXPECT_TRUE(e.description().contains(QStringLiteral("is damaged")))
                << pages << ": " << e.description().toStdString();
            if (extra) {
                EXPECT_TRUE(e.description().contains(QStringLiteral("cut short"))) << pages;
            }
        }
    }
}

TEST(Damage, ADamagedCatalogOrTableDefinitionIsRefusedSayingWhat) {
    struct Case {
        const char* what;
        std::function<void(QByteArray&)> damage;
        const char* says;
    };
    const Case cases[] = {
        {"catalog definition gone", [](QByteArray& b) { b[2 * kPage] = 0x05; },
         "the definition of its catalog is not where it should be"},
        {"empty catalog",
         [](QByteArray& b) {
             const qsizetype p = pageHolding(b, ucs2("MSysObjects"), 0x01);
             ASSERT_GT(p, 0);
             b[p + 12] = 0;
             b[p + 13] = 0;
         },
         "its catalog is empty"},
        {"catalog without its own table",
         [](QByteArray& b) {
             const qsizetype p = pageHolding(b, ucs2("MSysObjects"), 0x01);
             ASSERT_GT(p, 0);
             const qsizetype at = b.indexOf(ucs2("MSysObjects"), p);
             b[at + 20] = 'z';
         },
         "its catalog lacks its own system table"},
        {"table definition gone",
         [](QByteArray& b) {
             const qsizetype p = pageHolding(b, ucs2("PartyId"), 0x02);
             ASSERT_GT(p, 0);
             b[p] = 0x01;
         },
         "Parties"},
        {"page list past the end",
         [](QByteArray& b) {
             const qsizetype p = pageHolding(b, ucs2("LineNo"), 0x02);
             ASSERT_GT(p, 0);
             b[p + 55] = char(0x00);  // the usage map: page 0x7f7f00, row 0
             b[p + 56] = char(0x7f);
             b[p + 57] = char(0x7f);
         },
         "cut short"},
        {"a row table past its page",
         [](QByteArray& b) {
             const qsizetype p = pageHolding(b, ucs2("item 1"), 0x01);
             ASSERT_GT(p, 0);
             b[p + 12] = char(0xff);
             b[p + 13] = char(0x7f);
         },
         "has a wrong row table"},
    };
    for (const Case& c : cases) {
        QByteArray bytes = jetwriter::write(smallFile());
        c.damage(bytes);
        const rt::Error e = refusal(bytes);
        EXPECT_TRUE(e.description().contains(QStringLiteral("is damaged"))) << c.what;
        EXPECT_TRUE(e.description().contains(QString::fromLatin1(c.says)))
            << c.what << ": " << e.description().toStdString();
    }
}

TEST(Damage, LibmdbLoopingOnACatalogIsStoppedAndTheFileRefused) {
    jetwriter::Database db = smallFile();
    // A property block whose length is 0: libmdb reads it over and over.
    db.tables[0].rawProps = QByteArray("MR2\0\0\0\0\0\x80\0", 10);
    jetimport::ImportOptions options;
    options.catalogTimeoutMs = 1500;
    const rt::Error e = refusal(jetwriter::write(db), options);
    EXPECT_TRUE(
        e.description().contains(QStringLiteral("is damaged: reading its catalog did not end "
                                                "within 1.5 seconds")))
        << e.description().toStdString();
}

TEST(Damage, WhatLibmdbSaysIsShownWithTheFile) {
    jetwriter::Database db = smallFile();
    db.tables[1].rawProps = QByteArray("XYZ\0\0\0\0\0", 8);  // not a property block
    const auto imported = importertest::importWritten(db);
    ASSERT_TRUE(imported.copy);
    EXPECT_TRUE(imported.warnings().contains(
        QStringLiteral("the reading library said: Unrecognized format.")))
        << imported.warnings().toStdString();
}

TEST(Damage, TheReadingProcessEndsAnyWayWithoutHarm) {
    using jetimport::Probe;
    jetimport::Probe p = jetimport::probeInChild(
        [] {
            std::fputs("about to fail\n", stderr);
            std::raise(SIGSEGV);
            return Probe{};
        },
        10000);
    EXPECT_EQ(p.outcome, Probe::Outcome::Crashed);
    EXPECT_TRUE(p.why.contains(QStringLiteral("SIGSEGV"))) << p.why.toStdString();
    EXPECT_EQ(p.diagnostics, QStringLiteral("about to fail"));

    p = jetimport::probeInChild(
        [] {
            std::this_thread::sleep_for(std::chrono::seconds(30));
            return Probe{};
        },
        500);
    EXPECT_EQ(p.outcome, Probe::Outcome::TimedOut);

    p = jetimport::probeInChild([]() -> Probe { _exit(7); }, 10000);
    EXPECT_EQ(p.outcome, Probe::Outcome::Failed);
    EXPECT_TRUE(p.why.contains(QStringLiteral("status 7"))) << p.why.toStdString();

    p = jetimport::probeInChild(
        [] {
            Probe read;
            read.outcome = Probe::Outcome::Read;
            read.catalog.push_back({QStringLiteral("Ledger"), 1, 42, 0});
            return read;
        },
        10000);
    ASSERT_EQ(p.outcome, Probe::Outcome::Read);
    ASSERT_EQ(p.catalog.size(), 1u);
    EXPECT_EQ(p.catalog[0].name, QStringLiteral("Ledger"));
    EXPECT_EQ(p.catalog[0].page, 42u);
}

TEST(Damage, UnfinishedCopiesOfStoppedImportsAreRemovedAndNamed) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    auto make = [&](const QString& name, int size) {
        QFile f(QDir(out).filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
        return f.fileName();
    };
    make(QStringLiteral(".copy.mdb.importing-4242-0"), 5000);
    make(QStringLiteral(".copy.mdb.importing-4242-0-journal"), 10);
    make(QStringLiteral(".DB2024_25.mdb.importing-77-3"), 100);
    // One whose import still runs: it holds the lock.
    const QString running = make(QStringLiteral(".other.mdb.importing-4243-0"), 100);
    const int fd = ::open(QFile::encodeName(running).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct flock l {};
    l.l_type = F_RDLCK;
    l.l_whence = SEEK_SET;
    l.l_len = 1;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &l), 0);
    make(QStringLiteral("notes.txt"), 3);

    const QString source =
        jetwriter::writeFile(dir.filePath(QStringLiteral("in.mdb")), smallFile());
    const auto r = jetimport::importFile(source, QDir(out).filePath(QStringLiteral("copy.mdb")));
    ::close(fd);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(entries(out), QStringList({".other.mdb.importing-4243-0", "copy.mdb", "notes.txt"}));
    const QString warnings = r.warnings.join(u'\n');
    EXPECT_TRUE(
        warnings.contains(QStringLiteral("the unfinished copy .copy.mdb.importing-4242-0 (5000 "
                                         "bytes), left by an import of copy.mdb "
                                         "that was stopped (process 4242), was removed")))
        << warnings.toStdString();
    EXPECT_TRUE(warnings.contains(QStringLiteral(".DB2024_25.mdb.importing-77-3")));
}

}  // namespace
