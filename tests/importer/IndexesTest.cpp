// Keys and indexes of written files: every index on its own column when the
// column numbers have gaps (deleted columns), descending and composite keys,
// relationship indexes (whose keys libmdb does not read), names that cannot
// collide, tables named like SQLite's or the copy's own; a key that cannot be
// read or that the rows break refuses the file, naming it; a plain index that
// cannot be read is listed.
#include "WrittenFiles.h"

#include "platform/db/sqlite/SqliteEngine.h"

#include <sqlite3.h>

namespace {

using importertest::nativeRows;

using importertest::query;
using importertest::refusal;
using importertest::Rows;
using jetwriter::column;
using jetwriter::JetColumnType;
using rt::Variant;

Variant i32(int v) { return Variant(int32_t(v)); }
Variant text(const char* s) { return Variant(QString::fromUtf8(s)); }

// "NAME unique?: COLUMN [desc], ..." of every index of the copy, sorted.
QStringList indexesOf(const std::shared_ptr<db::Connection>& c) {
    QStringList out;
    for (const QStringList& ix :
         nativeRows(c, QStringLiteral("SELECT name, tbl_name FROM sqlite_master WHERE type = "
                                      "'index' AND sql IS NOT NULL"))) {
        QStringList cols;
        for (const QStringList& k : nativeRows(
                 c, QStringLiteral("SELECT name, \"desc\" FROM pragma_index_xinfo('%1') WHERE key "
                                   "ORDER BY seqno")
                        .arg(QString(ix[0]).replace(u'\'', QStringLiteral("''")))))
            cols << k[0] + (k[1] == u"1" ? QStringLiteral(" desc") : QString());
        const bool unique =
            nativeRows(c, QStringLiteral(
                              "SELECT \"unique\" FROM pragma_index_list('%1') WHERE name = '%2'")
                              .arg(ix[1], ix[0]))
                .front()
                .front() == u"1";
        out << ix[0] + (unique ? QStringLiteral(" unique") : QString()) + QStringLiteral(": ") +
                   cols.join(u", ");
    }
    out.sort();
    return out;
}

QStringList primaryKeyOf(const std::shared_ptr<db::Connection>& c, const QString& table) {
    QStringList out;
    for (const QStringList& r : nativeRows(
             c, QStringLiteral("SELECT name FROM pragma_table_info('%1') WHERE pk > 0 ORDER BY pk")
                    .arg(table)))
        out << r[0];
    return out;
}

// Parties with the column numbers a table gets after columns were deleted.
jetwriter::Table partiesWithGaps() {
    jetwriter::Table t;
    t.name = QStringLiteral("Parties");
    t.columns = {column(QStringLiteral("Code"), JetColumnType::Text, 10),
                 column(QStringLiteral("PartyId"), JetColumnType::Long),
                 column(QStringLiteral("City"), JetColumnType::Text, 30),
                 column(QStringLiteral("GSTIN"), JetColumnType::Text, 15),
                 column(QStringLiteral("Opened"), JetColumnType::DateTime)};
    const int numbers[] = {0, 3, 4, 7, 12};
    for (size_t i = 0; i < t.columns.size(); ++i) t.columns[i].number = numbers[i];
    t.indexes = {
        {QStringLiteral("PrimaryKey"), {QStringLiteral("PartyId")}, true, true},
        {QStringLiteral("CityGSTIN"),
         {QStringLiteral("City"), QStringLiteral("GSTIN")},
         false,
         true,
         false,
         {false, true}},
        {QStringLiteral("ByOpened"), {QStringLiteral("Opened")}, false, false, false, {true}},
        {QStringLiteral("ByCode"), {QStringLiteral("Code")}}};
    for (int i = 1; i <= 6; ++i)
        t.rows.push_back({Variant(QStringLiteral("P%1").arg(i)), i32(i),
                          text(i % 2 ? "Pune" : "Surat"),
                          Variant(QStringLiteral("27AAACX%1Z5").arg(1000 + i)),
                          Variant::fromDate(QDate(2020, 1, i))});
    return t;
}

TEST(Indexes, EveryIndexLandsOnItsOwnColumnsWithItsOrder) {
    jetwriter::Database db;
    db.tables = {partiesWithGaps()};
    const auto imported = importertest::importWritten(db);
    ASSERT_TRUE(imported.copy);
    EXPECT_EQ(primaryKeyOf(imported.copy, QStringLiteral("Parties")), QStringList({"PartyId"}));
    EXPECT_EQ(indexesOf(imported.copy),
              QStringList({"Parties.ByCode: Code", "Parties.ByOpened: Opened desc",
                           "Parties.CityGSTIN unique: City, GSTIN desc"}));
    Rows expected;
    for (const auto& r : db.tables[0].rows) expected.push_back({r[1], r[0], r[2], r[3], r[4]});
    EXPECT_EQ(query(imported.copy,
                    QStringLiteral("select PartyId, Code, City, GSTIN, Opened from Parties "
                                   "order by PartyId")),
              expected);
}

TEST(Indexes, ARelationshipsIndexComesOverThoughLibmdbCannotReadItsKeys) {
    jetwriter::Table orders;
    orders.name = QStringLiteral("Orders");
    orders.columns = {column(QStringLiteral("OrderNo"), JetColumnType::Long),
                      column(QStringLiteral("PartyId"), JetColumnType::Long)};
    orders.indexes = {
        {QStringLiteral("PrimaryKey"), {QStringLiteral("OrderNo")}, true, true},
        {QStringLiteral("PartiesOrders"), {QStringLiteral("PartyId")}, false, false, true}};
    orders.rows = {{i32(1), i32(3)}, {i32(2), i32(3)}};
    jetwriter::Database db;
    db.tables = {partiesWithGaps(), orders};
    const auto imported = importertest::importWritten(db);
    ASSERT_TRUE(imported.copy);
    EXPECT_TRUE(indexesOf(imported.copy).contains(QStringLiteral("Orders.PartiesOrders: PartyId")))
        << indexesOf(imported.copy).join(u'\n').toStdString();
}

TEST(Indexes, NamesCannotCollideBetweenTablesAndReservedTableNamesAreStated) {
    auto table = [](const char* name, const char* index) {
        jetwriter::Table t;
        t.name = QString::fromUtf8(name);
        t.columns = {column(QStringLiteral("K"), JetColumnType::Long)};
        t.indexes = {{QString::fromUtf8(index), {QStringLiteral("K")}, false, true}};
        t.rows = {{i32(1)}, {i32(2)}};
        return t;
    };
    jetwriter::Database db;
    // A_B + C and A + B_C made the same name A_B_C before.
    db.tables = {table("A_B", "C"), table("A", "B_C"), table("sqlite_stat1", "K"),
                 table("MSysPassword", "K"), table("msysconstrainttext", "PrimaryKey")};
    const auto imported = importertest::importWritten(db);
    ASSERT_TRUE(imported.copy);  // still opens with the system's password
    EXPECT_EQ(indexesOf(imported.copy),
              QStringList({"A.B_C unique: K", "A_B.C unique: K", "Jet_MSysPassword.K unique: K",
                           "Jet_msysconstrainttext.PrimaryKey unique: K",
                           "Jet_sqlite_stat1.K unique: K"}));
    for (const char* name : {"Jet_sqlite_stat1", "Jet_MSysPassword", "Jet_msysconstrainttext"})
        EXPECT_EQ(
            query(imported.copy,
                  QStringLiteral("select K from [%1] order by K").arg(QString::fromLatin1(name))),
            Rows({{i32(1)}, {i32(2)}}))
            << name;
    const QString warnings = imported.warnings();
    EXPECT_TRUE(
        warnings.contains(QStringLiteral("table sqlite_stat1 is Jet_sqlite_stat1 in the copy (the "
                                         "name sqlite_stat1 is reserved there)")))
        << warnings.toStdString();
    EXPECT_TRUE(
        warnings.contains(QStringLiteral("table MSysPassword is Jet_MSysPassword in the copy")));
    EXPECT_THROW(importertest::openCopy(imported.target, QStringLiteral("wrong")), rt::Error);
}

TEST(Indexes, AKeyThatCannotBeReadRefusesTheFileNamingIt) {
    struct Case {
        bool primaryKey;
        bool unique;
        const char* says;
    };
    const Case cases[] = {
        {true, true,
         "the primary key 'PrimaryKey' of table 'Parties' cannot be read: it names column "
         "number 99, which the table does not have"},
        {false, true, "the unique index 'PrimaryKey' of table 'Parties' cannot be read"},
    };
    for (const Case& c : cases) {
        jetwriter::Table t = partiesWithGaps();
        t.indexes = {
            {QStringLiteral("PrimaryKey"), {QStringLiteral("PartyId")}, c.primaryKey, c.unique}};
        t.indexes[0].keyNumberOverride = 99;
        jetwriter::Database db;
        db.tables = {t};
        const rt::Error e = refusal(jetwriter::write(db));
        EXPECT_TRUE(e.description().contains(QString::fromLatin1(c.says)))
            << e.description().toStdString();
    }
    // A plain index is listed as not carried over; the rest comes over.
    jetwriter::Table t = partiesWithGaps();
    t.indexes[3].keyNumberOverride = 5;  // ByCode
    jetwriter::Database db;
    db.tables = {t};
    const auto imported = importertest::importWritten(db);
    ASSERT_TRUE(imported.copy);
    EXPECT_TRUE(
        imported.notes().contains(QStringLiteral("table Parties: the index ByCode: it names column "
                                                 "number 5, which the table does not have")))
        << imported.notes().toStdString();
    EXPECT_FALSE(indexesOf(imported.copy).join(u'\n').contains(QStringLiteral("ByCode")));
}

TEST(Indexes, RowsThatBreakAUniqueIndexRefuseTheFileNamingIt) {
    jetwriter::Table t = partiesWithGaps();
    t.rows[4][3] = t.rows[1][3];  // two rows with one City and GSTIN
    t.rows[4][2] = t.rows[1][2];
    jetwriter::Database db;
    db.tables = {t};
    const rt::Error e = refusal(jetwriter::write(db));
    EXPECT_TRUE(e.description().contains(QStringLiteral(
        "table 'Parties' holds rows that break its unique index 'CityGSTIN' (City, GSTIN repeat)")))
        << e.description().toStdString();

    // Two rows with one primary key.
    t = partiesWithGaps();
    t.rows[5][1] = i32(2);
    db.tables = {t};
    const rt::Error key = refusal(jetwriter::write(db));
    EXPECT_TRUE(key.description().contains(QStringLiteral(
        "is damaged: table 'Parties', row 6 repeats the primary key 'PrimaryKey' (PartyId)")))
        << key.description().toStdString();
}

}  // namespace
