// Every sample Jet file imported, then read back through the database layer
// with the connection string the library builds: every table, column kind and
// value that the samples' README lists comes back as the same variant value.
#include "ImporterTestSupport.h"

#include "platform/db/Schema.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/runtime/Error.h"
#include "tools/jetimport/JetImporter.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

using importertest::nativeRows;

using importertest::currency;
using importertest::date;
using importertest::decimal;
using importertest::query;
using importertest::Rows;
using rt::Variant;
using rt::VarType;

Variant text(const char* s) { return Variant(QString::fromUtf8(s)); }
Variant byte(int b) { return Variant::byte(uint8_t(b)); }
Variant i16(int v) { return Variant(int16_t(v)); }
Variant i32(int v) { return Variant(int32_t(v)); }
Variant null() { return Variant::null(); }

// "NAME: COLUMNS [unique]" of every index of a table, the primary key as
// "primary key: COLUMNS", sorted; index names without the table's name.
QStringList indexColumns(const std::shared_ptr<db::Connection>& c, const char* table) {
    QStringList out;
    const QString t = QString::fromLatin1(table);
    for (const QStringList& ix : nativeRows(
             c, QStringLiteral("SELECT name, \"unique\", origin FROM pragma_index_list('%1')")
                    .arg(t))) {
        QStringList columns;
        for (const QStringList& col :
             nativeRows(c, QStringLiteral("SELECT name FROM pragma_index_info('%1') ORDER BY seqno")
                               .arg(QString(ix[0]).replace(u'\'', QStringLiteral("''")))))
            columns << col[0];
        if (ix[2] == u"pk") {
            out << QStringLiteral("primary key: ") + columns.join(u", ");
            continue;
        }
        QString shown = ix[0].mid(t.size() + 1) + QStringLiteral(": ") + columns.join(u", ");
        if (ix[1] == u"1") shown += QStringLiteral(" unique");
        out << shown;
    }
    out.sort();
    return out;
}

class ImportedSamples : public ::testing::Test {
  protected:
    // The whole samples folder is imported once (the password-protected file
    // with its password; the others have none and accept any).
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        ASSERT_TRUE(dir_->isValid());
        jetimport::ImportOptions options;
        options.sourcePassword = QStringLiteral("password");
        results_ = new std::vector<jetimport::FileResult>(
            jetimport::importPath(QStringLiteral(NARVO_JET_SAMPLES),
                                  dir_->filePath(QStringLiteral("DataBase")), options));
    }
    static void TearDownTestSuite() {
        delete results_;
        delete dir_;
    }

    static QString copy(const char* name) {
        return dir_->filePath(QStringLiteral("DataBase/") + QString::fromLatin1(name));
    }
    static std::shared_ptr<db::Connection> open(const char* name) {
        return importertest::openCopy(copy(name));
    }
    static std::vector<VarType> kinds(const std::shared_ptr<db::Connection>& c,
                                      const QString& sql) {
        db::Recordset rs;
        rs.Open(sql, c);
        std::vector<VarType> k;
        for (int i = 0; i < rs.FieldCount(); ++i) k.push_back(rs.Fields(i).Type());
        rs.Close();
        return k;
    }

    static QTemporaryDir* dir_;
    static std::vector<jetimport::FileResult>* results_;
};

QTemporaryDir* ImportedSamples::dir_ = nullptr;
std::vector<jetimport::FileResult>* ImportedSamples::results_ = nullptr;

TEST_F(ImportedSamples, EverySampleIsImportedUnderItsOwnName) {
    ASSERT_EQ(results_->size(), 9u);
    for (const auto& r : *results_) {
        EXPECT_TRUE(r.ok) << r.source.toStdString() << ": " << r.error.toStdString();
        EXPECT_EQ(QFileInfo(r.target).fileName(), QFileInfo(r.source).fileName());
    }
    EXPECT_EQ(importertest::entries(dir_->filePath(QStringLiteral("DataBase"))),
              QStringList({"dates.mdb", "deleted-columns-v2000.mdb", "ledger-100k.mdb",
                           "moved-rows-v2000.mdb", "no-password-v2003.mdb", "numeric-v2003.mdb",
                           "password-v2000.mdb", "types-v2000.mdb", "unicode-comp-v2003.mdb"}));
}

TEST_F(ImportedSamples, CopiesOpenOnlyWithTheSystemsPassword) {
    for (const char* name : {"types-v2000.mdb", "password-v2000.mdb"}) {
        EXPECT_NO_THROW(open(name));
        try {
            importertest::openCopy(copy(name), QStringLiteral("password"));
            ADD_FAILURE() << name << " opened with the Jet password";
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), rt::err::DbBadPassword);
        }
    }
}

TEST_F(ImportedSamples, EveryTypeComesBackWithItsKindAndValue) {
    auto c = open("types-v2000.mdb");
    EXPECT_EQ(db::userTables(*c), QStringList({"Table1", "Table2", "Table3", "Table4"}));
    EXPECT_EQ(kinds(c, QStringLiteral("select * from Table1")),
              std::vector<VarType>({VarType::Text, VarType::Text, VarType::Byte, VarType::Int16,
                                    VarType::Int32, VarType::Double, VarType::Date,
                                    VarType::Currency, VarType::Boolean}));
    const Rows expected = {
        {text("abcdefg"), text("hijklmnop"), byte(2), i16(222), i32(333333333), Variant(444.555),
         date(1974, 9, 21), currency(35000), Variant(true)},
        {text("a"), text("b"), byte(0), i16(0), i32(0), Variant(0.0), date(1981, 12, 12),
         currency(0), Variant(false)},
    };
    EXPECT_EQ(query(c, QStringLiteral("select * from Table1 order by A desc")), expected);

    const std::vector<VarType> eightyNineTexts(89, VarType::Text);
    EXPECT_EQ(kinds(c, QStringLiteral("select * from Table2")), eightyNineTexts);
    EXPECT_EQ(kinds(c, QStringLiteral("select * from Table3")),
              std::vector<VarType>({VarType::Int32, VarType::Text}));
    EXPECT_EQ(kinds(c, QStringLiteral("select * from Table4")),
              std::vector<VarType>({VarType::Text, VarType::Text}));  // the replication id as text
    for (const char* t : {"Table2", "Table3", "Table4"})
        EXPECT_TRUE(query(c, QStringLiteral("select * from ") + QString::fromLatin1(t)).empty());
}

TEST_F(ImportedSamples, PasswordFileAndItsTwinHoldTheSameRows) {
    const Rows expected = {{i32(1), text("One")}, {i32(2), text("Two")}, {i32(3), text("Three")}};
    for (const char* name : {"password-v2000.mdb", "no-password-v2003.mdb"})
        EXPECT_EQ(query(open(name), QStringLiteral("select ID, Data from Table1 order by ID")),
                  expected)
            << name;
}

TEST_F(ImportedSamples, DecimalsAreExactAndCompareAsNumbers) {
    auto c = open("numeric-v2003.mdb");
    EXPECT_EQ(query(c, QStringLiteral("select * from test")),
              Rows({{text("some data"), decimal(1, 0), decimal(0, 0), decimal(0, 0), decimal(4, 0),
                     decimal(-1, 0), decimal(1, 0)}}));
    EXPECT_EQ(query(c, QStringLiteral("select col1 from test where col5 > 3")).size(), 1u);
    EXPECT_EQ(query(c, QStringLiteral("select col1 from test where col5 > 10")).size(), 0u);
    EXPECT_EQ(query(c, QStringLiteral("select col1 from test where col6 < 0")).size(), 1u);
}

TEST_F(ImportedSamples, CompressedUnicodeTextIsIntact) {
    QString everyLatin1;
    for (char16_t ch = 1; ch <= 0xff; ++ch) everyLatin1 += QChar(ch);
    const Rows expected = {
        {i32(1), text("only ascii chars")},
        {i32(2), text("ääkkösiä")},
        {i32(3), text("Мир")},
        // Greek with polytonic accents (U+1F76, U+1F79, U+1F7B ...), as stored
        {i32(4), text("\xcf\xb0\xce\xb1\xe1\xbd\xb6 \xcf\x84\xe1\xbd\xb9\xcf\x84' "
                      "\xe1\xbc\x90\xce\xb3\xe1\xbd\xbc \xce\x9a\xe1\xbd\xbb\xcf\xb0\xce\xbb"
                      "\xcf\x89\xcf\x80\xce\xb1")},
        {i32(5), text("漢字仮名交じり文")},
        {i32(6), text("3L9\x1d"
                      "52\x02_AB(\xc2\xa5\x05!!V")},  // control characters kept
        {i32(7), text("ümlaut")},
        {i32(8), Variant(everyLatin1)},
    };
    auto c = open("unicode-comp-v2003.mdb");
    EXPECT_EQ(query(c, QStringLiteral("select ID, [Unicode] from [Table] order by ID")), expected);
    // Text columns compare without regard to letter case, as in Jet.
    EXPECT_EQ(query(c, QStringLiteral("select ID from [Table] where [Unicode] = 'ÜMLAUT'")),
              Rows({{i32(7)}}));
}

TEST_F(ImportedSamples, DatesBefore1900AndInTheYear9999AndLongText) {
    const Rows expected = {
        {i32(1), date(2021, 12, 2), date(2021, 12, 2), date(2021, 12, 2), text("Hello"),
         text("Hello")},
        {i32(2), date(9999, 1, 1), date(9999, 1, 1), date(9999, 1, 1), text("Year 9999"),
         text("Year 1999")},
        {i32(3), date(1898, 1, 1), date(1899, 1, 1), date(1900, 1, 1), text("Pre-1900 years"),
         text("Pre-1900 years")},
        {i32(4), date(632, 1, 1), date(633, 1, 1), date(634, 1, 1), text("Pre-1000 years"),
         text("Pre-1000 years")},
        {i32(5), date(2021, 12, 2), date(2021, 12, 2), date(2021, 12, 2),
         text("Escaped new line \\r\\n in field"), text("Escaped new line \\r\\n in field")},
        {i32(6), date(2021, 12, 2), date(2021, 12, 2), date(2021, 12, 2),
         text("New line\r\nin field"), text("No new line")},
    };
    auto c = open("dates.mdb");
    EXPECT_EQ(query(c, QStringLiteral("select * from DateTest order by IDCol")), expected);
    // Stored dates keep time order, also across the year 1000 and 1900.
    EXPECT_EQ(query(c, QStringLiteral("select IDCol from DateTest where DateTimeCol < #1900-01-01# "
                                      "order by DateTimeCol")),
              Rows({{i32(4)}, {i32(3)}}));
}

TEST_F(ImportedSamples, HundredThousandLedgerRowsExactly) {
    auto c = open("ledger-100k.mdb");
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Ledger order by EntryId"), c);
    const QDateTime first = date(2019, 4, 1, 9, 7, 0).asDate();
    int i = 0;
    int mismatches = 0;
    for (; !rs.Eof(); rs.MoveNext()) {
        ++i;
        Variant remarks;
        if (i % 97 == 0)
            remarks = Variant(QStringLiteral("Long remark %1 ").arg(i).repeated(300));
        else if (i % 5 == 0)
            remarks = null();
        else
            remarks = Variant(QStringLiteral("r%1").arg(i));
        const std::vector<Variant> expected = {
            i32(i),
            Variant(first.addSecs(qint64(i - 1) * 7 * 60)),
            i32(i % 5000),
            Variant(QStringLiteral("Narration äöü ₹ %1").arg(i)),
            currency(int64_t(i) * 100 + i % 10),
            Variant(i % 3 == 0),
            remarks,
            Variant(i * 0.25),
            i16(i % 30000),
        };
        std::vector<Variant> row;
        for (int k = 0; k < rs.FieldCount(); ++k) row.push_back(rs.Fields(k).Value());
        if (row != expected && ++mismatches <= 3) {
            ADD_FAILURE() << "row " << i;
            for (size_t k = 0; k < row.size() && k < expected.size(); ++k)
                if (!(row[k] == expected[k]))
                    ADD_FAILURE() << "  column " << k << ": "
                                  << row[k].debugString().left(80).toStdString() << " instead of "
                                  << expected[k].debugString().left(80).toStdString();
        }
    }
    rs.Close();
    EXPECT_EQ(i, 100000);
    EXPECT_EQ(mismatches, 0);
}

// Rows updated after their table gained columns no longer fit where they were
// stored and point to their new place; each is copied once, from there.
TEST_F(ImportedSamples, MovedRowsAreCopiedOnceEachFromTheirNewPlace) {
    auto c = open("moved-rows-v2000.mdb");
    const QDateTime posted = date(2024, 4, 1, 9, 30).asDate();
    Rows expected;
    for (int i = 1; i <= 400; ++i) {
        const bool rewritten = (i <= 200 && i % 25 == 0) || (i > 380 && i % 5 == 0);
        const QString longRemark =
            QStringLiteral("row %1 rewritten with a much longer remark than before; ")
                .arg(i)
                .repeated(3);
        expected.push_back({
            i32(i),
            Variant(QStringLiteral("item %1").arg(i)),
            currency(int64_t(i) * 10000 + (i <= 200 ? 7500 : 5000)),
            rewritten ? i16(-i)
            : i > 200 ? i16(i % 100)
                      : null(),
            rewritten ? Variant(longRemark)
            : i > 200 ? Variant(QStringLiteral("remark %1").arg(i))
                      : null(),
            i > 200 ? Variant(posted.addDays(i)) : null(),
        });
    }
    for (const char* table : {"Stock", "Journal"}) {
        const Rows rows = query(c, QStringLiteral("select LineNo, Item, Rate, Qty, Remark, Posted "
                                                  "from %1 order by LineNo")
                                       .arg(QString::fromLatin1(table)));
        ASSERT_EQ(rows.size(), expected.size()) << table;
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i], expected[i]) << table << " " << i + 1;
    }
}

// A table from which a column was deleted keeps gaps in its column numbers;
// every index lands on its own column.
TEST_F(ImportedSamples, IndexesOfATableWithDeletedColumnsLandOnTheirColumns) {
    auto c = open("deleted-columns-v2000.mdb");
    const char* cities[] = {"Pune", "Pune", "Chennai", "Surat", "Pune"};
    Rows expected;
    for (int i = 1; i <= 5; ++i)
        expected.push_back({i32(i), Variant(QStringLiteral("P%1").arg(i)),
                            Variant(QStringLiteral("27AAACX%1Z5").arg(1000 + i)),
                            Variant(QString::fromLatin1(cities[i - 1]))});
    EXPECT_EQ(
        query(c, QStringLiteral("select PartyId, Code, GSTIN, City from Parties order by PartyId")),
        expected);
    EXPECT_EQ(
        indexColumns(c, "Parties"),
        QStringList({"CityIndex: City", "GSTINUnique: GSTIN unique", "primary key: PartyId"}));
    // The unique index holds on GSTIN, and only there.
    EXPECT_THROW(c->Execute(QStringLiteral("insert into Parties (PartyId, Code, GSTIN) values "
                                           "(6, 'P6', '27AAACX1001Z5')")),
                 rt::Error);
    EXPECT_NO_THROW(
        c->Execute(QStringLiteral("insert into Parties (PartyId, Code, GSTIN, City) "
                                  "values (6, 'P1', '27AAACX1006Z5', 'Pune')")));
}

TEST_F(ImportedSamples, KeysIndexesAndAutoNumbersCarryOver) {
    auto c = open("ledger-100k.mdb");
    sqlite3* h = db::sqliteHandle(c->engine());
    auto scalar = [&](const char* sql) {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(h, sql, -1, &st, nullptr), SQLITE_OK) << sql;
        QString v;
        if (sqlite3_step(st) == SQLITE_ROW)
            v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return v;
    };
    EXPECT_EQ(scalar("SELECT name FROM pragma_table_info('Ledger') WHERE pk = 1"),
              QStringLiteral("EntryId"));
    EXPECT_EQ(scalar("SELECT group_concat(name) FROM pragma_index_info('Ledger.ByPosted')"),
              QStringLiteral("Posted"));
    EXPECT_EQ(scalar("SELECT seq FROM sqlite_sequence WHERE name = 'Ledger'"),
              QStringLiteral("100000"));

    // New rows (in copies of their own, the shared ones stay as imported): the
    // next AutoNumber as Jet would give it, No in a Yes/No column, and the
    // numeric defaults that Jet gives its number columns.
    QTemporaryDir own;
    const QString table1 = own.filePath(QStringLiteral("t1.mdb"));
    const QString types = own.filePath(QStringLiteral("types.mdb"));
    ASSERT_TRUE(jetimport::importFile(importertest::sample("no-password-v2003.mdb"), table1).ok);
    ASSERT_TRUE(jetimport::importFile(importertest::sample("types-v2000.mdb"), types).ok);
    auto t = importertest::openCopy(table1);
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Table1"), t, db::adOpenDynamic, db::adLockOptimistic);
    rs.AddNew();
    rs.Fields(QStringLiteral("Data")) = Variant(QStringLiteral("Four"));
    rs.Update();
    rs.Close();
    EXPECT_EQ(query(t, QStringLiteral("select ID from Table1 where Data = 'Four'")),
              Rows({{i32(4)}}));
    auto ty = importertest::openCopy(types);
    ty->Execute(QStringLiteral("insert into Table1 (A) values ('new')"));
    EXPECT_EQ(query(ty, QStringLiteral("select C, D, E, F, H, I from Table1 where A = 'new'")),
              Rows({{byte(0), i16(0), i32(0), Variant(0.0), currency(0), Variant(false)}}));
}

}  // namespace
