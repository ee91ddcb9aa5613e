// The rules a site relies on, carried over and enforced in the copy: a file
// written with relationships (with and without cascades), validation rules
// with and without their own texts, Required, "allow zero length = No",
// expression defaults and saved queries of every kind. The copy refuses an
// orphan, follows a cascade, reports a broken rule with the rule's own text,
// and answers the saved select queries as views.
#include "WrittenFiles.h"

#include "platform/runtime/Environment.h"

#include <QRegularExpression>

namespace {

using importertest::query;
using importertest::Rows;
using jetimport::QueryRow;
using jetwriter::column;
using jetwriter::JetColumnType;
using rt::Variant;

Variant i32(int v) { return Variant(int32_t(v)); }
Variant i16(int v) { return Variant(int16_t(v)); }
Variant text(const char* s) { return Variant(QString::fromUtf8(s)); }
Variant cur(int64_t units) { return Variant(rt::Currency{units * 10000}); }

jetwriter::Property prop(const char* name, Variant v) { return {QString::fromLatin1(name), v}; }

// A small trading file: parties, their invoices and the invoices' lines.
jetwriter::Database tradingFile() {
    jetwriter::Table parties;
    parties.name = QStringLiteral("Parties");
    parties.columns = {column(QStringLiteral("PartyId"), JetColumnType::Long),
                       column(QStringLiteral("Name"), JetColumnType::Text, 50),
                       column(QStringLiteral("GSTIN"), JetColumnType::Text, 15),
                       column(QStringLiteral("Balance"), JetColumnType::Currency)};
    parties.columns[0].autoNumber = true;
    parties.columns[1].props = {prop("Required", Variant(true)),
                                prop("AllowZeroLength", Variant(false))};
    parties.columns[3].props = {prop("ValidationRule", text(">=0")),
                                prop("ValidationText", text("Balance cannot be negative"))};
    parties.indexes = {{QStringLiteral("PrimaryKey"), {QStringLiteral("PartyId")}, true, true},
                       {QStringLiteral("GSTINUnique"), {QStringLiteral("GSTIN")}, false, true}};
    parties.rows = {{i32(1), text("Asha Traders"), text("27AAACA1001Z5"), cur(100)},
                    {i32(2), text("Bharat Metals"), text("27AAACB1002Z5"), cur(0)},
                    // Written before the rule: it breaks it, and stays.
                    {i32(3), text("Chetan & Sons"), text("27AAACC1003Z5"), cur(-40)}};

    jetwriter::Table invoices;
    invoices.name = QStringLiteral("Invoices");
    invoices.columns = {column(QStringLiteral("InvoiceNo"), JetColumnType::Long),
                        column(QStringLiteral("PartyId"), JetColumnType::Long),
                        column(QStringLiteral("Amount"), JetColumnType::Currency),
                        column(QStringLiteral("Paid"), JetColumnType::Currency),
                        column(QStringLiteral("Made"), JetColumnType::DateTime),
                        column(QStringLiteral("Stamp"), JetColumnType::DateTime),
                        column(QStringLiteral("RowGuid"), JetColumnType::Guid),
                        column(QStringLiteral("Remark"), JetColumnType::Text, 50)};
    invoices.columns[2].props = {prop("ValidationRule", text("Between 0 And 1000000"))};
    invoices.columns[4].props = {prop("DefaultValue", text("=Date()"))};
    invoices.columns[5].props = {prop("DefaultValue", text("Now()"))};
    invoices.columns[6].props = {prop("DefaultValue", text("GenGUID()"))};
    invoices.columns[7].props = {prop("ValidationRule", text("Like \"R*\" Or Is Null")),
                                 prop("DefaultValue", text("Format(Date(),\"yyyy\")"))};
    invoices.props = {prop("ValidationRule", text("[Paid]<=[Amount]")),
                      prop("ValidationText", text("Paid cannot exceed the amount"))};
    invoices.indexes = {
        {QStringLiteral("PrimaryKey"), {QStringLiteral("InvoiceNo")}, true, true},
        {QStringLiteral("PartiesInvoices"), {QStringLiteral("PartyId")}, false, false, true}};
    const Variant made = Variant::fromDate(QDate(2025, 4, 1));
    const Variant guid = text("{0A1B2C3D-0000-4000-8000-00000000ABCD}");
    invoices.rows = {{i32(101), i32(1), cur(500), cur(500), made, made, guid, Variant::null()},
                     {i32(102), i32(1), cur(250), cur(0), made, made, guid, text("Rush")},
                     {i32(103), i32(2), cur(80), cur(80), made, made, guid, Variant::null()},
                     // An orphan the original holds: its party is gone.
                     {i32(104), i32(9), cur(10), cur(0), made, made, guid, Variant::null()}};

    jetwriter::Table lines;
    lines.name = QStringLiteral("InvoiceLines");
    lines.columns = {column(QStringLiteral("InvoiceNo"), JetColumnType::Long),
                     column(QStringLiteral("LineNo"), JetColumnType::Integer),
                     column(QStringLiteral("Item"), JetColumnType::Text, 40),
                     column(QStringLiteral("Qty"), JetColumnType::Double),
                     column(QStringLiteral("Rate"), JetColumnType::Currency)};
    lines.columns[3].props = {prop("ValidationRule", text(">0"))};
    lines.indexes = {{QStringLiteral("PrimaryKey"),
                      {QStringLiteral("InvoiceNo"), QStringLiteral("LineNo")},
                      true,
                      true}};
    lines.rows = {{i32(101), i16(1), text("Bolt"), Variant(100.0), cur(3)},
                  {i32(101), i16(2), text("Nut"), Variant(100.0), cur(2)},
                  {i32(102), i16(1), text("Washer"), Variant(50.0), cur(5)},
                  {i32(103), i16(1), text("Bolt"), Variant(20.0), cur(4)}};

    jetwriter::Database db;
    db.tables = {parties, invoices, lines};
    db.relationships = {{QStringLiteral("PartiesInvoices"),
                         QStringLiteral("Invoices"),
                         {QStringLiteral("PartyId")},
                         QStringLiteral("Parties"),
                         {QStringLiteral("PartyId")},
                         0},
                        {QStringLiteral("InvoicesInvoiceLines"),
                         QStringLiteral("InvoiceLines"),
                         {QStringLiteral("InvoiceNo")},
                         QStringLiteral("Invoices"),
                         {QStringLiteral("InvoiceNo")},
                         0x100 | 0x1000},
                        {QStringLiteral("LooseLink"),
                         QStringLiteral("InvoiceLines"),
                         {QStringLiteral("Item")},
                         QStringLiteral("Parties"),
                         {QStringLiteral("Name")},
                         0x2}};

    auto row = [](int attribute, const char* expression, int flag = 0, const char* name1 = "",
                  const char* name2 = "") {
        return QueryRow{attribute,
                        QString::fromUtf8(expression),
                        flag,
                        QString::fromUtf8(name1),
                        QString::fromUtf8(name2),
                        {}};
    };
    db.queries = {
        {QStringLiteral("Order Subtotals"),
         0,
         {row(1, "", 1), row(5, "", 0, "InvoiceLines"), row(6, "[InvoiceNo]"),
          row(6, "Sum([Qty]*[Rate])", 0, "Subtotal"), row(9, "[InvoiceNo]")}},
        {QStringLiteral("Party Invoices"),
         0,
         {row(1, "", 1), row(5, "", 0, "Parties"), row(5, "", 0, "Invoices", "I"),
          row(7, "[Parties].[PartyId] = [I].[PartyId]", 1, "Parties", "I"),
          row(6, "[Parties].[Name]"), row(6, "[I].[Amount]"), row(11, "[I].[InvoiceNo]", 0, "D")}},
        {QStringLiteral("Big Subtotals"),
         0,
         {row(1, "", 1), row(3, "", 1), row(5, "", 0, "Order Subtotals"),
          row(8, "[Subtotal]>300")}},
        {QStringLiteral("Add Lines"),
         64,
         {row(1, "", 3, "InvoiceLines"), row(5, "", 0, "InvoiceLines"),
          row(6, "[InvoiceNo]", 0, "InvoiceNo"), row(6, "[LineNo]+1", 0, "LineNo")}},
        {QStringLiteral("Delete Old"),
         32,
         {row(1, "", 5), row(5, "", 0, "Invoices"), row(8, "[Made]<#2000-01-01#")}},
        {QStringLiteral("Party By Name"),
         0,
         {row(1, "", 1), row(2, "", 10, "Which name"), row(5, "", 0, "Parties"), row(6, "[Name]"),
          row(8, "[Name]=[Which name]")}},
        {QStringLiteral("Odd One"),
         0,
         {row(1, "", 1), row(5, "", 0, "Parties"), row(6, "DLookUp(\"Name\",\"Parties\")")}},
    };
    return db;
}

class TradingCopy : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        imported_ = new importertest::Imported(importertest::importWritten(tradingFile()));
    }
    static void TearDownTestSuite() { delete imported_; }

    // A fresh copy of the imported file, opened on the fixed clock, for tests
    // that change it.
    std::shared_ptr<db::Connection> changeableCopy() {
        const QString path = dir_.filePath(QStringLiteral("copy.mdb"));
        EXPECT_TRUE(QFile::copy(imported_->target, path));
        auto c = db::Connection::create(nullptr, &clock_);
        c->setConnectionString(importertest::connectionString(path, systemDatabasePassword()));
        c->Open();
        return c;
    }
    static rt::Error failureOf(const std::shared_ptr<db::Connection>& c, const QString& sql) {
        try {
            c->Execute(sql);
        } catch (const rt::Error& e) {
            return e;
        }
        ADD_FAILURE() << "accepted: " << sql.toStdString();
        return rt::Error(0, {});
    }

    static importertest::Imported* imported_;
    QTemporaryDir dir_;
    rt::FixedClock clock_{rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30, 15))};
};

importertest::Imported* TradingCopy::imported_ = nullptr;

TEST_F(TradingCopy, RelationshipsRefuseOrphansAndFollowTheirCascades) {
    ASSERT_TRUE(imported_->copy);
    EXPECT_EQ(imported_->result.relationships, 2);
    auto c = changeableCopy();
    // An invoice for a party that does not exist.
    EXPECT_EQ(failureOf(c, QStringLiteral("insert into Invoices (InvoiceNo, PartyId, Amount, Paid) "
                                          "values (200, 77, 1, 0)"))
                  .number(),
              rt::err::DbConstraint);
    // A party that still has invoices (no cascade on that relationship).
    EXPECT_EQ(failureOf(c, QStringLiteral("delete from Parties where PartyId = 2")).number(),
              rt::err::DbConstraint);
    // Cascades: a new invoice number reaches its lines; deleting the invoice
    // deletes them.
    c->Execute(QStringLiteral("update Invoices set InvoiceNo = 111 where InvoiceNo = 101"));
    EXPECT_EQ(query(c, QStringLiteral("select InvoiceNo, LineNo from InvoiceLines where Item in "
                                      "('Bolt', 'Nut') order by InvoiceNo, LineNo")),
              Rows({{i32(103), i16(1)}, {i32(111), i16(1)}, {i32(111), i16(2)}}));
    c->Execute(QStringLiteral("delete from Invoices where InvoiceNo = 111"));
    EXPECT_EQ(query(c, QStringLiteral("select count(*) from InvoiceLines where InvoiceNo = 111")),
              Rows({{i32(0)}}));
    // Lines for an invoice that exists are fine.
    EXPECT_NO_THROW(
        c->Execute(QStringLiteral("insert into InvoiceLines (InvoiceNo, LineNo, Item, Qty, Rate) "
                                  "values (102, 2, 'Pin', 1, 1)")));
}

TEST_F(TradingCopy, ABrokenRuleIsRefusedWithTheRulesOwnText) {
    ASSERT_TRUE(imported_->copy);
    auto c = changeableCopy();
    struct Case {
        const char* sql;
        const char* message;
    };
    const Case cases[] = {
        {"update Parties set Balance = -5 where PartyId = 1", "Balance cannot be negative"},
        {"update Invoices set Amount = 2000000, Paid = 0 where InvoiceNo = 103",
         "One or more values are prohibited by the validation rule 'Between 0 And 1000000' set for "
         "'Invoices.Amount'. Enter a value that the expression for this field can accept."},
        {"update Invoices set Paid = 900 where InvoiceNo = 102", "Paid cannot exceed the amount"},
        {"insert into Parties (Name, GSTIN) values (null, 'X')",
         "You must enter a value in the 'Parties.Name' field."},
        {"insert into Parties (Name, GSTIN) values ('', 'Y')",
         "Field 'Parties.Name' cannot be a zero-length string."},
        {"update Invoices set Remark = 'Slow' where InvoiceNo = 103",
         "One or more values are prohibited by the validation rule 'Like \"R*\" Or Is Null' set "
         "for "
         "'Invoices.Remark'. Enter a value that the expression for this field can accept."},
        {"update InvoiceLines set Qty = 0 where InvoiceNo = 103",
         "One or more values are prohibited by the validation rule '>0' set for "
         "'InvoiceLines.Qty'. Enter a value that the expression for this field can accept."},
    };
    for (const Case& k : cases) {
        const rt::Error e = failureOf(c, QString::fromUtf8(k.sql));
        EXPECT_EQ(e.description(), QString::fromUtf8(k.message)) << k.sql;
        EXPECT_EQ(e.number(), rt::err::DbGeneric) << k.sql;
    }
    // Values the rules accept.
    EXPECT_NO_THROW(
        c->Execute(QStringLiteral("update Invoices set Remark = 'Rest' where InvoiceNo = 103")));
    EXPECT_NO_THROW(c->Execute(QStringLiteral("update Parties set Balance = 5 where PartyId = 3")));
    // The unique index holds as in Jet.
    EXPECT_EQ(
        failureOf(c, QStringLiteral("update Parties set GSTIN = '27AAACA1001Z5' where PartyId = 2"))
            .number(),
        rt::err::DbConstraint);
}

TEST_F(TradingCopy, ExpressionDefaultsKeepTheirMeaning) {
    ASSERT_TRUE(imported_->copy);
    auto c = changeableCopy();
    c->Execute(QStringLiteral(
        "insert into Invoices (InvoiceNo, PartyId, Amount, Paid) values (300, 1, 5, 0)"));
    c->Execute(QStringLiteral(
        "insert into Invoices (InvoiceNo, PartyId, Amount, Paid) values (301, 1, 5, 0)"));
    const Rows rows = query(c, QStringLiteral("select Made, Stamp, RowGuid from Invoices where "
                                              "InvoiceNo >= 300 order by InvoiceNo"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], Variant::fromDate(QDate(2026, 12, 8)));  // Date(): today, no time
    EXPECT_EQ(rows[0][1], Variant::fromDate(QDate(2026, 12, 8), QTime(10, 30, 15)));  // Now()
    static const QRegularExpression guid(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    EXPECT_TRUE(guid.match(rows[0][2].asText()).hasMatch()) << rows[0][2].asText().toStdString();
    EXPECT_NE(rows[0][2], rows[1][2]);  // a new one for every row
    // A default that is no such expression is listed, not dropped silently.
    EXPECT_TRUE(imported_->notes().contains(QStringLiteral(
        "table Invoices, column Remark: the default value Format(Date(),\"yyyy\") is "
        "neither a plain value")))
        << imported_->notes().toStdString();
}

TEST_F(TradingCopy, SavedSelectQueriesAnswerAsViews) {
    ASSERT_TRUE(imported_->copy);
    const auto& c = imported_->copy;
    EXPECT_EQ(imported_->result.views, 3);
    EXPECT_EQ(
        query(c, QStringLiteral("select * from [Order Subtotals] order by InvoiceNo")),
        Rows({{i32(101), Variant(500.0)}, {i32(102), Variant(250.0)}, {i32(103), Variant(80.0)}}));
    EXPECT_EQ(query(c, QStringLiteral("select * from [Party Invoices]")),
              Rows({{text("Bharat Metals"), cur(80)},
                    {text("Asha Traders"), cur(250)},
                    {text("Asha Traders"), cur(500)}}));
    // A query on a query.
    EXPECT_EQ(query(c, QStringLiteral("select InvoiceNo from [Big Subtotals]")),
              Rows({{i32(101)}}));
}

TEST_F(TradingCopy, OtherSavedQueriesAreKeptAsTextAndListed) {
    ASSERT_TRUE(imported_->copy);
    EXPECT_EQ(imported_->result.keptQueries, 4);
    const Rows kept = query(imported_->copy, QStringLiteral("select Name, Kind, SQL from "
                                                            "MSysSavedQueries order by Name"));
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept[0],
              std::vector<Variant>({text("Add Lines"), text("append"),
                                    text("INSERT INTO [InvoiceLines] ([InvoiceNo], [LineNo]) "
                                         "SELECT [InvoiceNo], [LineNo]+1 FROM [InvoiceLines]")}));
    EXPECT_EQ(kept[1],
              std::vector<Variant>({text("Delete Old"), text("delete"),
                                    text("DELETE * FROM [Invoices] WHERE [Made]<#2000-01-01#")}));
    EXPECT_EQ(kept[2][0], text("Odd One"));
    EXPECT_EQ(kept[3],
              std::vector<Variant>({text("Party By Name"), text("select"),
                                    text("PARAMETERS [Which name] Text; SELECT [Name] FROM "
                                         "[Parties] WHERE [Name]=[Which name]")}));
    const QString notes = imported_->notes();
    EXPECT_TRUE(
        notes.contains(QStringLiteral("query Add Lines (append) is kept as text in "
                                      "MSysSavedQueries: an action query changes data")));
    EXPECT_TRUE(
        notes.contains(QStringLiteral("query Party By Name (select) is kept as text in "
                                      "MSysSavedQueries: it asks for parameters")));
    EXPECT_TRUE(notes.contains(QStringLiteral("query Odd One (select) is kept as text")));
}

TEST_F(TradingCopy, WhatTheOriginalHoldsAgainstItsRulesIsKeptAndReported) {
    ASSERT_TRUE(imported_->copy);
    const QString warnings = imported_->warnings();
    EXPECT_TRUE(
        warnings.contains(QStringLiteral("table Parties: 1 rows break the rule \"Balance "
                                         "cannot be negative\" (they are kept")))
        << warnings.toStdString();
    EXPECT_TRUE(
        warnings.contains(QStringLiteral("relationship PartiesInvoices: 1 rows of Invoices "
                                         "refer to rows of Parties that do not exist")))
        << warnings.toStdString();
    EXPECT_EQ(
        query(imported_->copy, QStringLiteral("select Balance from Parties where PartyId = 3")),
        Rows({{cur(-40)}}));
    // A relationship the original does not enforce is listed, not made a rule.
    EXPECT_TRUE(imported_->notes().contains(QStringLiteral(
        "relationship LooseLink (InvoiceLines -> Parties) is not a rule of the copy: the original "
        "does not enforce it")))
        << imported_->notes().toStdString();
}

TEST(Rules, ARuleThatCannotBeTranslatedIsListedWithItsReason) {
    jetwriter::Table t;
    t.name = QStringLiteral("Stock");
    t.columns = {column(QStringLiteral("Item"), JetColumnType::Text, 20),
                 column(QStringLiteral("Made"), JetColumnType::DateTime)};
    t.columns[1].props = {prop("ValidationRule", text("<=Date()"))};
    t.props = {prop("ValidationRule", text("[Item] In (Select Item From Stock)"))};
    t.rows = {{text("Bolt"), Variant::fromDate(QDate(2020, 1, 1))}};
    jetwriter::Database db;
    db.tables = {t};
    const auto imported = importertest::importWritten(db);
    ASSERT_TRUE(imported.copy);
    EXPECT_EQ(imported.result.rules, 0);
    EXPECT_TRUE(imported.notes().contains(QStringLiteral(
        "table Stock, column Made: the validation rule <=Date() cannot be translated")))
        << imported.notes().toStdString();
    EXPECT_TRUE(
        imported.notes().contains(QStringLiteral("table Stock: the validation rule [Item] In "
                                                 "(Select Item From Stock) cannot be translated")));
    EXPECT_TRUE(imported.notes().contains(QStringLiteral("is not enforced in the copy")));
}

}  // namespace

namespace {

// Jet evaluates validation rules with its own wildcards: * any text, ? one
// character, # one digit; % is a plain character there.
TEST(Rules, LikeInARuleUsesJetsWildcards) {
    jetwriter::Table t;
    t.name = QStringLiteral("Codes");
    t.columns = {column(QStringLiteral("Code"), JetColumnType::Text, 20),
                 column(QStringLiteral("Tag"), JetColumnType::Text, 20)};
    t.columns[0].props = {prop("ValidationRule", text("Like \"INV-####\""))};
    t.columns[1].props = {prop("ValidationRule", text("Like \"A?%\" Or Like \"[XY]*\""))};
    t.rows = {{text("INV-0001"), text("Ab%")}};
    jetwriter::Database db;
    db.tables = {t};
    const auto imported = importertest::importWritten(db);
    ASSERT_TRUE(imported.copy);
    EXPECT_TRUE(imported.warnings().isEmpty()) << imported.warnings().toStdString();
    struct Case {
        const char* code;
        const char* tag;
        bool accepted;
    };
    const Case cases[] = {{"INV-1234", "Az%", true},        {"INV-12A4", "Az%", false},
                          {"INV-123", "Az%", false},        {"INV-1234", "Azz", false},
                          {"INV-1234", "X anything", true}, {"inv-9999", "y", true}};
    for (const Case& c : cases) {
        const QString sql = QStringLiteral("insert into Codes (Code, Tag) values ('%1', '%2')")
                                .arg(QString::fromLatin1(c.code), QString::fromLatin1(c.tag));
        if (c.accepted)
            EXPECT_NO_THROW(imported.copy->Execute(sql)) << c.code << " " << c.tag;
        else
            EXPECT_THROW(imported.copy->Execute(sql), rt::Error) << c.code << " " << c.tag;
    }
}

}  // namespace
