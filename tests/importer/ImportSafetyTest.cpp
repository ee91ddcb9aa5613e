// What the importer refuses and what it never leaves behind: wrong or missing
// passwords, damaged and cut-short files, existing targets; originals stay
// untouched, folders import file by file, and a failure or a cancelled import
// leaves no file at all.
#include "ImporterTestSupport.h"

#include "platform/runtime/Error.h"
#include "tools/jetimport/JetImporter.h"

#include <QTemporaryDir>

namespace {

using importertest::entries;
using importertest::pageHolding;
using importertest::sample;
using importertest::ucs2;
using jetimport::ImportOptions;

class ImportSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("in"));
        QDir(dir.path()).mkpath(QStringLiteral("out"));
    }
    QString in(const QString& name) const { return dir.filePath(QStringLiteral("in/") + name); }
    QString out(const QString& name = {}) const {
        return dir.filePath(QStringLiteral("out/") + name);
    }

    // A copy of a sample in the input folder, changed by `change`.
    QString damagedCopy(const char* sampleName, const QString& name,
                        const std::function<void(QByteArray&)>& change) {
        QFile f(sample(sampleName));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        change(bytes);
        QFile o(in(name));
        EXPECT_TRUE(o.open(QIODevice::WriteOnly));
        o.write(bytes);
        return o.fileName();
    }

    // The failure of importing `source` into out/copy.mdb; the output folder
    // must stay empty.
    rt::Error failure(const QString& source, const ImportOptions& options = {},
                      jetimport::ImportObserver* observer = nullptr) {
        try {
            jetimport::importFile(source, out(QStringLiteral("copy.mdb")), options, observer);
            ADD_FAILURE() << "imported " << source.toStdString();
        } catch (const rt::Error& e) {
            EXPECT_TRUE(entries(out()).isEmpty()) << entries(out()).join(u' ').toStdString();
            return e;
        }
        return rt::Error(0, {});
    }

    QTemporaryDir dir;
};

TEST_F(ImportSafety, WrongOrMissingPasswordIsRefusedAndNothingIsWritten) {
    for (const char* pw : {"", "Password", "passwor", "password "}) {
        ImportOptions options;
        options.sourcePassword = QString::fromLatin1(pw);
        const rt::Error e = failure(sample("password-v2000.mdb"), options);
        EXPECT_EQ(e.number(), rt::err::DbBadPassword) << pw;
        EXPECT_TRUE(e.description().contains(sample("password-v2000.mdb"))) << pw;
    }
    ImportOptions right;
    right.sourcePassword = QStringLiteral("password");
    EXPECT_TRUE(
        jetimport::importFile(sample("password-v2000.mdb"), out(QStringLiteral("a.mdb")), right)
            .ok);
    // A file without a password opens with any, as in Jet.
    EXPECT_TRUE(
        jetimport::importFile(sample("no-password-v2003.mdb"), out(QStringLiteral("b.mdb")), right)
            .ok);
}

TEST_F(ImportSafety, CutShortFilesAreRefusedNamingTheFile) {
    struct Case {
        const char* sample;
        qsizetype keep;
        const char* says;
    };
    const Case cases[] = {
        {"unicode-comp-v2003.mdb", 100, "cut short"},
        {"unicode-comp-v2003.mdb", 4096, "cut short"},
        {"unicode-comp-v2003.mdb", 10000, "cut short"},
        {"unicode-comp-v2003.mdb", 3 * 4096, "damaged"},
        {"ledger-100k.mdb", 13000000, "cut short"},
        {"ledger-100k.mdb", 3174 * 4096, "cut short"},  // whole pages, the table's later ones lost
        {"ledger-100k.mdb", 5 * 4096, "cut short"},     // the catalog's own pages lost
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString name = QStringLiteral("cut%1.mdb").arg(++n);
        const QString path =
            damagedCopy(c.sample, name, [&](QByteArray& b) { b.truncate(c.keep); });
        const rt::Error e = failure(path);
        EXPECT_TRUE(e.description().contains(path)) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QString::fromLatin1(c.says)))
            << c.keep << ": " << e.description().toStdString();
    }
}

TEST_F(ImportSafety, DamagedPagesAreRefusedNotReadAsWrongValues) {
    // A data page whose row table claims more rows than a page can hold.
    const QString rows =
        damagedCopy("unicode-comp-v2003.mdb", QStringLiteral("rows.mdb"), [](QByteArray& b) {
            const qsizetype page = pageHolding(b, QByteArray("\xff\xfeonly ascii chars"), 0x01);
            ASSERT_GE(page, 0);
            b[page + 12] = char(0xff);
            b[page + 13] = char(0x7f);
        });
    rt::Error e = failure(rows);
    EXPECT_TRUE(e.description().contains(rows));
    EXPECT_TRUE(e.description().contains(QStringLiteral("damaged")))
        << e.description().toStdString();

    // The long-value page of the ledger's first long remark wiped out.
    const QString memo =
        damagedCopy("ledger-100k.mdb", QStringLiteral("memo.mdb"), [](QByteArray& b) {
            const qsizetype page = pageHolding(b, ucs2("Long remark 97 Long"), 0x01);
            ASSERT_GE(page, 0);
            ASSERT_EQ(b.mid(page + 4, 4), QByteArray("LVAL"));
            std::fill(b.begin() + page, b.begin() + page + jetimport::kJetPageSize, '\0');
        });
    e = failure(memo);
    EXPECT_TRUE(e.description().contains(memo));
    EXPECT_TRUE(e.description().contains(QStringLiteral("Remarks")))
        << e.description().toStdString();

    // Not a Jet file at all, and a copy that is already converted.
    QFile text(in(QStringLiteral("notes.mdb")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are notes, not a database\n");
    text.close();
    e = failure(text.fileName());
    EXPECT_TRUE(e.description().contains(text.fileName()));
    EXPECT_TRUE(e.description().contains(QStringLiteral("not a Jet database")));
}

TEST_F(ImportSafety, ARecordedRowCountThatDiffersIsAWarningOrWithStrictCountsARefusal) {
    // The table definition of Table records 8 rows; make it 9 (a file that
    // was not closed properly).
    const QString path =
        damagedCopy("unicode-comp-v2003.mdb", QStringLiteral("count.mdb"), [](QByteArray& b) {
            const qsizetype page = pageHolding(b, ucs2("Unicode"), 0x02);
            ASSERT_GE(page, 0);
            ASSERT_EQ(b[page + 16], char(8));
            b[page + 16] = char(9);
        });
    ImportOptions strict;
    strict.strictCounts = true;
    const rt::Error e = failure(path, strict);
    EXPECT_TRUE(e.description().contains(QStringLiteral("records 9 rows, but 8 could be read")))
        << e.description().toStdString();

    const auto r = jetimport::importFile(path, out(QStringLiteral("copy.mdb")));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.rows, 8);
    EXPECT_TRUE(
        r.warnings.join(u'\n').contains(QStringLiteral("8 rows were read, but the file records 9")))
        << r.warnings.join(u'\n').toStdString();
    EXPECT_TRUE(r.warnings.join(u'\n').contains(QStringLiteral("--strict-counts")));
}

TEST_F(ImportSafety, AnExistingTargetIsNeverOverwritten) {
    QFile keep(out(QStringLiteral("DBStart.mdb")));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("keep me");
    keep.close();
    try {
        jetimport::importFile(sample("dates.mdb"), keep.fileName());
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_TRUE(e.description().contains(keep.fileName()));
        EXPECT_TRUE(e.description().contains(QStringLiteral("already exists")));
    }
    ASSERT_TRUE(keep.open(QIODevice::ReadOnly));
    EXPECT_EQ(keep.readAll(), QByteArray("keep me"));
    EXPECT_EQ(entries(out()), QStringList({"DBStart.mdb"}));
    // Nor is the original: a target that is the source itself.
    const QString source = damagedCopy("dates.mdb", QStringLiteral("same.mdb"), [](QByteArray&) {});
    const QByteArray before = importertest::digest(source);
    EXPECT_THROW(jetimport::importFile(source, source), rt::Error);
    EXPECT_EQ(importertest::digest(source), before);
}

TEST_F(ImportSafety, OriginalsAreOnlyRead) {
    const QString source = sample("password-v2000.mdb");
    const QByteArray before = importertest::digest(source);
    const QDateTime modified = QFileInfo(source).lastModified();
    ImportOptions options;
    options.sourcePassword = QStringLiteral("password");
    jetimport::importFile(source, out(QStringLiteral("copy.mdb")), options);
    EXPECT_EQ(importertest::digest(source), before);
    EXPECT_EQ(QFileInfo(source).lastModified(), modified);
}

TEST_F(ImportSafety, FolderImportGoesFileByFile) {
    for (const char* name : {"dates.mdb", "no-password-v2003.mdb"})
        ASSERT_TRUE(QFile::copy(sample(name), in(QString::fromLatin1(name))));
    ASSERT_TRUE(QFile::copy(sample("numeric-v2003.mdb"), in(QStringLiteral("DB2021_22.MDB"))));
    damagedCopy("dates.mdb", QStringLiteral("broken.mdb"), [](QByteArray& b) { b.truncate(5000); });
    QFile other(in(QStringLiteral("readme.txt")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();

    const QString target = dir.filePath(QStringLiteral("new/DataBase"));  // made on the way
    auto results = jetimport::importPath(dir.filePath(QStringLiteral("in")), target);
    ASSERT_EQ(results.size(), 4u);
    QStringList failed;
    for (const auto& r : results)
        if (!r.ok) failed << QFileInfo(r.source).fileName();
    EXPECT_EQ(failed, QStringList({"broken.mdb"}));
    EXPECT_EQ(entries(target),
              QStringList({"DB2021_22.MDB", "dates.mdb", "no-password-v2003.mdb"}));
    EXPECT_EQ(importertest::query(importertest::openCopy(target + QStringLiteral("/DB2021_22.MDB")),
                                  QStringLiteral("select count(*) from test")),
              importertest::Rows({{rt::Variant(int32_t(1))}}));

    // Again: every copy exists now and stays as it is.
    const QByteArray before = importertest::digest(target + QStringLiteral("/dates.mdb"));
    results = jetimport::importPath(dir.filePath(QStringLiteral("in")), target);
    for (const auto& r : results) EXPECT_FALSE(r.ok) << r.source.toStdString();
    EXPECT_EQ(importertest::digest(target + QStringLiteral("/dates.mdb")), before);
    EXPECT_EQ(entries(target).size(), 3);

    // A single file into an existing folder keeps its name.
    results = jetimport::importPath(sample("unicode-comp-v2003.mdb"), out());
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].ok);
    EXPECT_EQ(entries(out()), QStringList({"unicode-comp-v2003.mdb"}));
}

class Recorder : public jetimport::ImportObserver {
  public:
    void tableStarted(const QString& table, int64_t expected) override {
        log << QStringLiteral("start %1 %2").arg(table).arg(expected);
    }
    void rowsCopied(const QString& table, int64_t copied, int64_t) override {
        ++reports;
        last = copied;
    }
    void tableFinished(const jetimport::TableResult& t) override {
        log << QStringLiteral("done %1 %2").arg(t.name).arg(t.rows);
    }
    bool cancelRequested() override { return cancelAfter >= 0 && last >= cancelAfter; }

    QStringList log;
    int reports = 0;
    int64_t last = 0;
    int64_t cancelAfter = -1;
};

TEST_F(ImportSafety, ProgressIsReportedAndCancellingLeavesNothing) {
    ImportOptions options;
    options.progressEvery = 25000;
    Recorder seen;
    const auto r = jetimport::importFile(sample("ledger-100k.mdb"), out(QStringLiteral("a.mdb")),
                                         options, &seen);
    EXPECT_EQ(seen.log, QStringList({"start Ledger 100000", "done Ledger 100000"}));
    EXPECT_EQ(seen.reports, 4);
    EXPECT_EQ(r.rows, 100000);
    ASSERT_TRUE(QFile::remove(out(QStringLiteral("a.mdb"))));

    Recorder cancel;
    cancel.cancelAfter = 50000;
    const rt::Error e = failure(sample("ledger-100k.mdb"), options, &cancel);
    EXPECT_TRUE(e.description().contains(QStringLiteral("cancelled")));
}

TEST(ColumnMapping, JetColumnsBecomeDeclaredColumns) {
    using db::JetType;
    using jetimport::JetColumnType;
    struct Case {
        JetColumnType type;
        int size;
        QString defaultValue;
        JetType declared;
        int declaredSize;
        std::optional<rt::Variant> declaredDefault;
        bool noted;
    };
    const std::optional<rt::Variant> none;
    const Case cases[] = {
        {JetColumnType::Text, 200, {}, JetType::Text, 100, none, false},
        {JetColumnType::Text, 510, QStringLiteral("\"it\"\"s\""), JetType::Text, 255,
         rt::Variant(QStringLiteral("it\"s")), false},
        {JetColumnType::Memo, 0, QStringLiteral("'x'"), JetType::Memo, 255,
         rt::Variant(QStringLiteral("x")), false},
        {JetColumnType::Memo, 0, QStringLiteral("\"a\" & \"b\""), JetType::Memo, 255, none, true},
        {JetColumnType::Long, 4, QStringLiteral("=0"), JetType::Long, 255, rt::Variant(int32_t(0)),
         false},
        {JetColumnType::Integer, 2, QStringLiteral("-7"), JetType::Integer, 255,
         rt::Variant(int16_t(-7)), false},
        {JetColumnType::Byte, 1, QStringLiteral("300"), JetType::Byte, 255, none, true},
        {JetColumnType::Currency, 8, QStringLiteral("1.5"), JetType::Currency, 255,
         rt::Variant(rt::Currency{15000}), false},
        {JetColumnType::Double, 8, QStringLiteral("-.5"), JetType::Double, 255, rt::Variant(-0.5),
         false},
        {JetColumnType::DateTime, 8, QStringLiteral("Now()"), JetType::DateTime, 255, none, false},
        {JetColumnType::DateTime, 8, QStringLiteral("=Date ( )"), JetType::DateTime, 255, none,
         false},
        {JetColumnType::DateTime, 8, QStringLiteral("DateAdd(\"d\",1,Date())"), JetType::DateTime,
         255, none, true},
        {JetColumnType::Text, 100, QStringLiteral("Now()"), JetType::Text, 50, none, true},
        {JetColumnType::YesNo, 0, {}, JetType::YesNo, 255, rt::Variant(false), false},
        {JetColumnType::YesNo, 0, QStringLiteral("Yes"), JetType::YesNo, 255, rt::Variant(true),
         false},
        {JetColumnType::Guid, 16, QStringLiteral("GenGUID()"), JetType::Guid, 255, none, false},
        {JetColumnType::Binary, 16, {}, JetType::Binary, 16, none, false},
        {JetColumnType::LongBinary, 0, {}, JetType::LongBinary, 255, none, false},
    };
    jetimport::JetTable table;
    table.name = QStringLiteral("T");
    for (const Case& c : cases) {
        jetimport::JetColumn col;
        col.name = QStringLiteral("C");
        col.type = int(c.type);
        col.size = c.size;
        col.defaultValue = c.defaultValue;
        QStringList notes;
        const db::ColumnDef def = jetimport::columnDefFor(table, col, &notes);
        EXPECT_EQ(def.type, c.declared) << c.defaultValue.toStdString();
        EXPECT_EQ(def.size, c.declaredSize) << c.defaultValue.toStdString();
        EXPECT_EQ(def.defaultValue, c.declaredDefault) << c.defaultValue.toStdString();
        EXPECT_EQ(!notes.isEmpty(), c.noted) << c.defaultValue.toStdString();
    }

    jetimport::JetColumn counter;
    counter.type = int(JetColumnType::Long);
    counter.autoNumber = true;
    EXPECT_EQ(jetimport::columnDefFor(table, counter, nullptr).type, JetType::AutoNumber);
    jetimport::JetColumn dec;
    dec.type = int(JetColumnType::Decimal);
    dec.precision = 28;
    dec.scale = 6;
    const db::ColumnDef d = jetimport::columnDefFor(table, dec, nullptr);
    EXPECT_EQ(std::make_pair(d.precision, d.scale), std::make_pair(28, 6));
    jetimport::JetColumn complex;
    complex.name = QStringLiteral("Attachments");
    complex.type = 0x12;
    EXPECT_THROW(jetimport::columnDefFor(table, complex, nullptr), rt::Error);
}

}  // namespace
