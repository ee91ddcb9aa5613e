// Jet SQL as screen developers and support staff write it, run through the
// database layer on two files: the demo database (its tables made by the
// schema helper, as the demo maker makes them) and an empty file whose tables
// a real jetsql process made with CREATE TABLE. Every case states Jet's result
// or Jet's error; both files must give the same.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/Schema.h"
#include "platform/runtime/Error.h"
#include "tests/support/PgServer.h"
#include "tools/makedemo/DemoDatabase.h"

namespace {

const QString kJetsql = QStringLiteral(NARVO_BINARY_DIR "/tools/jetsql/jetsql");

enum class Made { ByDemoMaker, ByJetsql };

std::string madeName(const ::testing::TestParamInfo<Made>& info) {
    return info.param == Made::ByDemoMaker ? "DemoFile" : "JetsqlFile";
}
// Printed by its name where a test shows its parameter.
void PrintTo(Made m, std::ostream* os) {
    *os << (m == Made::ByDemoMaker ? "DemoFile" : "JetsqlFile");
}

QString connectionString(const QString& path, const QString& extra = {}) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
           QStringLiteral(";Jet OLEDB:Database Password=") + systemDatabasePassword() + extra;
}

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Runs jetsql on `path` with `statements` on standard input, one a line.
Outcome jetsql(const QString& path, const QStringList& statements) {
    QProcess p;
    p.start(kJetsql, {QStringLiteral("--password"), systemDatabasePassword(), path});
    EXPECT_TRUE(p.waitForStarted(10000));
    p.write((statements.join(u'\n') + u'\n').toUtf8());
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000));
    Outcome r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The tables of the cases, as Jet DDL (what jetsql is given) ...
const QStringList kDefinitions = {
    "CREATE TABLE Items (ItemId LONG NOT NULL, Name TEXT(20), Qty LONG, Small SMALLINT, "
    "Price CURRENCY, Made DATETIME, Active YESNO, Category TEXT(20), "
    "CONSTRAINT PrimaryKey PRIMARY KEY (ItemId))",
    "create index ItemsName on Items (Name)",
    "Create Table Cats (CatId COUNTER PRIMARY KEY, Category TEXT(20) NOT NULL, Title TEXT(50), "
    "CONSTRAINT CategoryKey UNIQUE (Category))",
    "CREATE TABLE Notes (NoteId AUTOINCREMENT PRIMARY KEY, dates DATETIME, Body MEMO)",
};

// ... and as the schema helper's definitions (what the demo maker writes).
db::ColumnDef col(const char* name, db::JetType type, int size = 255, bool required = false) {
    db::ColumnDef c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.size = size;
    c.required = required;
    return c;
}

void createWithSchemaHelper(db::Connection& c) {
    using db::JetType;
    db::TableDef items{
        QStringLiteral("Items"),
        {col("ItemId", JetType::Long, 0, true), col("Name", JetType::Text, 20),
         col("Qty", JetType::Long), col("Small", JetType::Integer), col("Price", JetType::Currency),
         col("Made", JetType::DateTime), col("Active", JetType::YesNo),
         col("Category", JetType::Text, 20)},
        {db::IndexDef{QStringLiteral("PrimaryKey"), {QStringLiteral("ItemId")}, true, true},
         db::IndexDef{QStringLiteral("ItemsName"), {QStringLiteral("Name")}, false, false}}};
    db::TableDef cats{
        QStringLiteral("Cats"),
        {col("CatId", JetType::AutoNumber), col("Category", JetType::Text, 20, true),
         col("Title", JetType::Text, 50)},
        {db::IndexDef{QStringLiteral("PrimaryKey"), {QStringLiteral("CatId")}, true, true},
         db::IndexDef{QStringLiteral("CategoryKey"), {QStringLiteral("Category")}, true, false}}};
    db::TableDef notes{
        QStringLiteral("Notes"),
        {col("NoteId", JetType::AutoNumber), col("dates", JetType::DateTime),
         col("Body", JetType::Memo)},
        {db::IndexDef{QStringLiteral("PrimaryKey"), {QStringLiteral("NoteId")}, true, true}}};
    for (const db::TableDef& t : {items, cats, notes}) db::createTable(c, t);
}

const QStringList kRows = {
    "INSERT INTO Items (ItemId, Name, Qty, Small, Price, Made, Active, Category) "
    "VALUES (1, 'Bolt', 10, 1, 2.5, #3/5/2026#, True, 'Tools')",
    "INSERT INTO Items (ItemId, Name, Qty, Small, Price, Made, Active, Category) "
    "VALUES (2, 'nut', 20, 2, 0.75, #3/6/2026#, False, 'Parts')",
    "INSERT INTO Items (ItemId, Name, Qty, Small, Price, Made, Active, Category) "
    "VALUES (3, 'Washer', 30, 3, 0.1, #3/7/2026 14:30#, False, 'Parts')",
    "INSERT INTO Cats (Category, Title) VALUES ('Tools', 'Hand tools')",
    "INSERT INTO Cats (Category, Title) VALUES ('Parts', 'Spare parts')",
    "INSERT INTO Cats (Category, Title) VALUES ('Paint', 'Paints')",
    "INSERT INTO Notes (dates, Body) VALUES (#1/2/2026#, 'first')",
    "INSERT INTO Notes (dates, Body) VALUES (#1/3/2026#, 'second')",
};

class JetDialect : public ::testing::TestWithParam<Made> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        if (GetParam() == Made::ByDemoMaker) {
            demo::Options o;
            o.today = QDate(2026, 12, 8);
            const QString folder = dir.filePath(QStringLiteral("DataBase"));
            demo::makeDemoDatabase(folder, o);
            if (testing_support::onServer()) testing_support::moveToServer(folder, o.today);
            path =
                QDir(folder).filePath(demo::yearDatabaseName(demo::accountingYearStart(o.today)));
            conn = open();
            createWithSchemaHelper(*conn);
        } else {
            ASSERT_TRUE(QFileInfo::exists(kJetsql)) << kJetsql.toStdString();
            path = dir.filePath(QStringLiteral("Made.mdb"));
            if (testing_support::onServer())
                testing_support::makeServerDatabase(path, systemDatabasePassword());
            else
                db::createDatabaseFile(path, systemDatabasePassword());
            const Outcome r = jetsql(path, kDefinitions);
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
            ASSERT_EQ(r.err, QString());
            conn = open();
        }
        for (const QString& s : kRows) conn->Execute(s);
    }

    std::shared_ptr<db::Connection> open(const QString& extra = {}) {
        auto c = db::Connection::create(&settings, &clock);
        c->setConnectionString(connectionString(path, extra));
        c->Open();
        return c;
    }

    // The first column of every row, as debug texts.
    QStringList column(const QString& sql) {
        QStringList out;
        db::Recordset rs;
        rs.Open(sql, conn);
        for (; !rs.Eof(); rs.MoveNext()) out << rs.Fields(0).Value().debugString();
        rs.Close();
        return out;
    }
    QString value(const QString& sql) {
        const QStringList c = column(sql);
        return c.size() == 1 ? c[0] : QStringLiteral("<%1 rows>").arg(c.size());
    }
    // The failure of a statement: "NUMBER: DESCRIPTION", or "" when it ran.
    QString failure(const QString& sql) {
        try {
            db::Recordset rs;
            rs.Open(sql, conn);
            if (rs.State() == db::adStateOpen)
                for (; !rs.Eof(); rs.MoveNext()) {
                }
            return QString();
        } catch (const rt::Error& e) {
            return QStringLiteral("%1: %2").arg(e.number()).arg(e.description());
        }
    }

    QTemporaryDir dir;
    QString path;
    rt::RegionalSettings settings{QLocale(QLocale::English, QLocale::UnitedStates)};
    rt::FixedClock clock{rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30))};
    std::shared_ptr<db::Connection> conn;
};

INSTANTIATE_TEST_SUITE_P(BothFiles, JetDialect,
                         ::testing::Values(Made::ByDemoMaker, Made::ByJetsql), madeName);

struct ValueCase {
    const char* sql;
    const char* value;  // debug text of the single value
};

// Results Jet gives (regional settings en-US, clock at 2026-12-08 10:30).
const ValueCase kValues[] = {
    // Dates added to times; times alone on 1899-12-30.
    {"SELECT #1/2/2024# + TimeValue('10:30')", "Date(2024-01-02 10:30:00)"},
    {"SELECT DateValue(Made) + TimeValue('10:30') FROM Items WHERE ItemId = 3",
     "Date(2026-03-07 10:30:00)"},
    {"SELECT CDbl(#6:00:00 AM#)", "Double(0.25)"},
    {"SELECT Day(CDate('10:30'))", "Int16(30)"},
    {"SELECT Year(#10:30#)", "Int16(1899)"},
    // BETWEEN takes its bounds in either order.
    {"SELECT Count(*) FROM Items WHERE Qty BETWEEN 20 AND 10", "Int32(2)"},
    {"SELECT Count(*) FROM Items WHERE Qty NOT BETWEEN 25 AND 15", "Int32(2)"},
    {"SELECT Count(*) FROM Items WHERE Made BETWEEN #3/6/2026# AND #3/5/2026#", "Int32(2)"},
    {"SELECT Count(*) FROM Items WHERE Qty BETWEEN Small * 30 AND Small", "Int32(3)"},
    // The classic conversions.
    {"SELECT CCur('1,234.5')", "Currency(1234.5)"},
    {"SELECT CLng('1,234')", "Int32(1234)"},
    {"SELECT CDbl(' $1,234.25 ')", "Double(1234.25)"},
    {"SELECT DateValue('January 2, 2024')", "Date(2024-01-02)"},
    {"SELECT CDate('2 Jan 2024')", "Date(2024-01-02)"},
    {"SELECT CDate('Tuesday, 2-Jan-24 10:30 pm')", "Date(2024-01-02 22:30:00)"},
    {"SELECT TimeValue('10:30 PM')", "Date(22:30:00)"},
    {"SELECT TimeValue('12:15 AM')", "Date(00:15:00)"},
    {"SELECT Format(Null, '0;(0);\"zero\";\"none\"')", "Text(none)"},
    {"SELECT Format(0, '0;(0);\"zero\";\"none\"')", "Text(zero)"},
    {"SELECT Format(Null, '0')", "Null"},
    // Jet's truth values are numbers.
    {"SELECT True", "Int16(-1)"},
    {"SELECT False", "Int16(0)"},
    {"SELECT 1 = 1", "Int16(-1)"},
    {"SELECT Count(*) FROM Items WHERE Active = True", "Int32(1)"},
    {"SELECT Active FROM Items WHERE ItemId = 1", "Boolean(True)"},
    // The functions that were missing.
    {"SELECT Replace('a-b-c', '-', '+')", "Text(a+b+c)"},
    {"SELECT Replace('aXbxc', 'x', '', 1, 1)", "Text(abxc)"},
    {"SELECT Replace('abcabc', 'b', 'B', 3)", "Text(caBc)"},
    {"SELECT InStrRev('a-b-c', '-')", "Int32(4)"},
    {"SELECT InStrRev('a-b-c', '-', 3)", "Int32(2)"},
    {"SELECT StrComp('abc', 'ABC')", "Int16(0)"},
    {"SELECT StrComp('abc', 'ABC', 0)", "Int16(1)"},
    {"SELECT StrComp('a', Null)", "Null"},
    {"SELECT Chr(65) & Chr(128)", "Text(A\u20ac)"},
    {"SELECT Asc('A')", "Int16(65)"},
    {"SELECT Asc(Name) FROM Items WHERE ItemId = 2", "Int16(110)"},
    {"SELECT String(3, 'xy')", "Text(xxx)"},
    {"SELECT String(2, 65)", "Text(AA)"},
    {"SELECT StrReverse('abc')", "Text(cba)"},
    {"SELECT Int(Made) FROM Items WHERE ItemId = 3", "Double(46088)"},
    {"SELECT Round(Made, 2) FROM Items WHERE ItemId = 3", "Double(46088.6)"},
    {"SELECT Sgn(Made) FROM Items WHERE ItemId = 3", "Int16(1)"},
    {"SELECT Replace(Name, 'o', '0') FROM Items WHERE ItemId = 1", "Text(B0lt)"},
    {"SELECT Count(*) FROM Items WHERE IsNumeric(Name) OR IsDate(Category)", "Int32(0)"},
    {"SELECT Hex(255)", "Text(FF)"},
    {"SELECT Hex(-1)", "Text(FFFF)"},
    {"SELECT Oct(8)", "Text(10)"},
    {"SELECT Switch(Qty > 25, 'many', Qty > 15, 'some', True, 'few') FROM Items WHERE ItemId = 2",
     "Text(some)"},
    {"SELECT Switch(False, 1)", "Null"},
    {"SELECT Choose(2, 'a', 'b', 'c')", "Text(b)"},
    {"SELECT Choose(4, 'a', 'b', 'c')", "Null"},
    {"SELECT IsNumeric('1,234.5')", "Boolean(True)"},
    {"SELECT IsNumeric('12abc')", "Boolean(False)"},
    {"SELECT IsNumeric(Null)", "Boolean(False)"},
    {"SELECT IsDate('January 2, 2024')", "Boolean(True)"},
    {"SELECT IsDate('not a date')", "Boolean(False)"},
    {"SELECT WeekdayName(1)", "Text(Sunday)"},
    {"SELECT WeekdayName(1, True, 2)", "Text(Mon)"},
    {"SELECT MonthName(2)", "Text(February)"},
    {"SELECT MonthName(12, True)", "Text(Dec)"},
    {"SELECT TimeSerial(10, 90, 0)", "Date(11:30:00)"},
    {"SELECT StDev(Qty) FROM Items", "Double(10)"},
    {"SELECT Var(Qty) FROM Items", "Double(100)"},
    {"SELECT VarP(Qty) FROM Items", "Double(66.6666666666667)"},
    {"SELECT Round(StDevP(Qty), 6) FROM Items", "Double(8.164966)"},
    {"SELECT StDev(Qty) FROM Items WHERE ItemId = 1", "Null"},
    {"SELECT Left$('abc', 2)", "Text(ab)"},
    // Comparisons with ALL, ANY and SOME.
    {"SELECT Count(*) FROM Items WHERE Qty > ALL (SELECT Qty FROM Items WHERE ItemId < 3)",
     "Int32(1)"},
    {"SELECT Count(*) FROM Items WHERE Qty < ANY (SELECT Qty FROM Items WHERE ItemId > 1)",
     "Int32(2)"},
    {"SELECT Count(*) FROM Items WHERE Qty = SOME (SELECT Qty FROM Items WHERE ItemId <> 2)",
     "Int32(2)"},
    {"SELECT Count(*) FROM Items WHERE Qty <> ALL (SELECT Qty FROM Items WHERE ItemId = 2)",
     "Int32(2)"},
    {"SELECT Count(*) FROM Items WHERE Qty > ALL (SELECT Qty FROM Items WHERE ItemId > 9)",
     "Int32(3)"},
    {"SELECT Count(*) FROM Items WHERE Name >= ALL (SELECT Name FROM Items)", "Int32(1)"},
    // DISTINCTROW: each row of the tables shown once.
    {"SELECT Count(*) FROM (SELECT DISTINCTROW Cats.Category FROM Cats INNER JOIN Items ON "
     "Cats.Category = Items.Category)",
     "Int32(2)"},
    {"SELECT Count(*) FROM (SELECT DISTINCT Cats.Category FROM Cats INNER JOIN Items ON "
     "Cats.Category = Items.Category)",
     "Int32(2)"},
    {"SELECT Count(*) FROM (SELECT Cats.Category FROM Cats INNER JOIN Items ON Cats.Category = "
     "Items.Category)",
     "Int32(3)"},
    // Number literals and two-digit years.
    {"SELECT &HFF", "Int16(255)"},
    {"SELECT &HFFFF", "Int16(-1)"},
    {"SELECT &H10000", "Int32(65536)"},
    {"SELECT &O17", "Int16(15)"},
    {"SELECT #1/2/24#", "Date(2024-01-02)"},
    {"SELECT #1/2/30#", "Date(1930-01-02)"},
    {"SELECT #12/31/29 23:59#", "Date(2029-12-31 23:59:00)"},
    // Texts compare without regard to case in a table made either way.
    {"SELECT Count(*) FROM Items WHERE Name = 'BOLT'", "Int32(1)"},
    {"SELECT Count(*) FROM Cats WHERE Category IN ('tools', 'PAINT')", "Int32(2)"},
    {"SELECT Max(Name) FROM Items", "Text(Washer)"},
    {"SELECT Min(dates) FROM Notes", "Date(2026-01-02)"},
    {"SELECT '2' * 3", "Double(6)"},
    {"SELECT Qty + '5' FROM Items WHERE ItemId = 1", "Double(15)"},
    {"SELECT 'a' + 'b'", "Text(ab)"},
    {"SELECT Count(*) FROM Items WHERE Qty = '10'", "Int32(1)"},
};

TEST_P(JetDialect, StatementsGiveJetsResults) {
    for (const ValueCase& c : kValues) {
        SCOPED_TRACE(c.sql);
        try {
            EXPECT_EQ(value(QString::fromUtf8(c.sql)), QString::fromUtf8(c.value));
        } catch (const rt::Error& e) {
            ADD_FAILURE() << e.number() << ": " << e.what();
        }
    }
}

struct ErrorCase {
    const char* sql;
    int32_t number;
    const char* description;
};

const char* const kMismatch = "Data type mismatch in criteria expression.";
const char* const kTooSmall =
    "The field is too small to accept the amount of data you attempted to add. Try inserting "
    "or pasting less data.";

const ErrorCase kErrors[] = {
    // Values a column cannot take.
    {"INSERT INTO Items (ItemId, Qty) VALUES (51, 'abc')", rt::err::DbTypeMismatch, kMismatch},
    {"UPDATE Items SET Qty = 'abc' WHERE ItemId = 1", rt::err::DbTypeMismatch, kMismatch},
    {"UPDATE Items SET Qty = Name WHERE ItemId = 1", rt::err::DbTypeMismatch, kMismatch},
    {"INSERT INTO Items (ItemId, Qty) SELECT 52, Name FROM Items WHERE ItemId = 1",
     rt::err::DbTypeMismatch, kMismatch},
    {"INSERT INTO Notes (dates) VALUES ('not a date')", rt::err::DbTypeMismatch, kMismatch},
    {"UPDATE Notes SET dates = Body", rt::err::DbTypeMismatch, kMismatch},
    {"INSERT INTO Items (ItemId, Small) VALUES (53, 40000)", rt::err::DbDataOverflow,
     "Numeric field overflow."},
    {"UPDATE Items SET Small = Qty * 4000 WHERE ItemId = 1", rt::err::DbDataOverflow,
     "Numeric field overflow."},
    {"INSERT INTO Items (ItemId, Name) VALUES (54, 'abcdefghijklmnopqrstuvwxyz')",
     rt::err::DbDataOverflow, kTooSmall},
    {"UPDATE Items SET Name = Name & 'abcdefghijklmnopqrstuvwxyz' WHERE ItemId = 1",
     rt::err::DbDataOverflow, kTooSmall},
    {"INSERT INTO Items (ItemId, Name) VALUES (Null, 'x')", rt::err::DbGeneric,
     "The field 'Items.ItemId' cannot contain a Null value because the Required property for "
     "this field is set to True. Enter a value in this field."},
    {"INSERT INTO Cats (Title) VALUES ('no category')", rt::err::DbGeneric,
     "The field 'Cats.Category' cannot contain a Null value because the Required property for "
     "this field is set to True. Enter a value in this field."},
    {"INSERT INTO Items (ItemId, Qty) VALUES (55)", rt::err::DbSyntax,
     "Number of query values and destination fields are not the same near \"VALUES (55)\""},
    {"INSERT INTO Items (ItemId, Qty, qty) VALUES (57, 1, 2)", rt::err::DbSyntax,
     "Duplicate output destination 'qty'."},
    {"INSERT INTO Items (ItemId, Nothing) VALUES (56, 1)", rt::err::DbSyntax,
     "The INSERT INTO statement contains the following unknown field name: 'Nothing'. Make "
     "sure you have typed the name correctly, and try the operation again."},
    // Expressions Jet refuses.
    {"SELECT 'a' + 1", rt::err::DbTypeMismatch, kMismatch},
    {"SELECT 'a' * 2", rt::err::DbTypeMismatch, kMismatch},
    {"SELECT Name * 2 FROM Items", rt::err::DbTypeMismatch, kMismatch},
    {"SELECT * FROM Items WHERE Qty = 'abc'", rt::err::DbTypeMismatch, kMismatch},
    {"SELECT * FROM Notes WHERE dates > 'abc'", rt::err::DbTypeMismatch, kMismatch},
    {"SELECT CLng('abc')", rt::err::DbTypeMismatch, kMismatch},
    {"SELECT Name, (SELECT Qty FROM Items) FROM Items", rt::err::DbGeneric,
     "At most one record can be returned by this subquery."},
    {"SELECT * FROM Items WHERE Qty = (SELECT Qty FROM Items WHERE Qty > 10)", rt::err::DbGeneric,
     "At most one record can be returned by this subquery."},
    // The engine's own refusals in the provider's words.
    {"SELECT Sum(Qty) FROM Items WHERE Sum(Qty) > 1", rt::err::DbSyntax,
     "Cannot have aggregate function in WHERE clause (Sum(Qty))."},
    {"SELECT Count(*) FROM Items GROUP BY Max(Qty)", rt::err::DbSyntax,
     "Cannot have aggregate function in GROUP BY clause (Max(Qty))."},
    {"SELECT Sum(Max(Qty)) FROM Items", rt::err::DbSyntax,
     "Cannot have aggregate function in expression (Max(Qty))."},
    {"SELECT Name, Count(*) FROM Items", rt::err::DbSyntax,
     "You tried to execute a query that does not include the specified expression 'Name' as "
     "part of an aggregate function."},
    {"SELECT Category, Name, Sum(Qty) FROM Items GROUP BY Category", rt::err::DbSyntax,
     "You tried to execute a query that does not include the specified expression 'Name' as "
     "part of an aggregate function."},
    {"SELECT Category FROM Items, Cats", rt::err::DbGeneric,
     "The specified field 'Category' could refer to more than one table listed in the FROM "
     "clause of your SQL statement."},
    {"SELECT * FROM Items WHERE ItemId IN (SELECT * FROM Cats)", rt::err::DbGeneric,
     "You have written a subquery that can return more than one field without using the "
     "EXISTS reserved word in the main query's FROM clause. Revise the SELECT statement of the "
     "subquery to request only one field."},
    {"SELECT Name FROM Items ORDER BY Max(Qty)", rt::err::DbSyntax,
     "You tried to execute a query that does not include the specified expression 'Name' as "
     "part of an aggregate function."},
    {"SELECT Count(*) FROM Items INNER JOIN Cats ON Items", rt::err::DbMissingValue,
     "No value given for one or more required parameters (unknown name 'Items')."},
    {"SELECT Left(Name) FROM Items", rt::err::DbSyntax,
     "Wrong number of arguments to function \"Left\""},
};

TEST_P(JetDialect, StatementsFailWithJetsErrors) {
    for (const ErrorCase& c : kErrors) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(failure(QString::fromUtf8(c.sql)),
                  QStringLiteral("%1: %2").arg(c.number).arg(QString::fromUtf8(c.description)));
    }
    // Nothing was stored by the refused statements.
    EXPECT_EQ(value(QStringLiteral("SELECT Count(*) FROM Items")), QStringLiteral("Int32(3)"));
    EXPECT_EQ(value(QStringLiteral("SELECT Qty FROM Items WHERE ItemId = 1")),
              QStringLiteral("Int32(10)"));
}

TEST_P(JetDialect, TooManyColumnsInTheProvidersWords) {
    QString sql = QStringLiteral("SELECT 1");
    for (int i = 0; i < 2100; ++i) sql += QStringLiteral(", 1");
    EXPECT_EQ(failure(sql), QStringLiteral("%1: Too many fields defined.").arg(rt::err::DbGeneric));
}

struct StoreCase {
    const char* write;
    const char* read;
    const char* value;
};

// What a column stores of what is written to it.
const StoreCase kStores[] = {
    {"INSERT INTO Items (ItemId, Qty) VALUES (60, 3.7)", "SELECT Qty FROM Items WHERE ItemId = 60",
     "Int32(4)"},
    {"INSERT INTO Items (ItemId, Qty) VALUES (61, 2.5)", "SELECT Qty FROM Items WHERE ItemId = 61",
     "Int32(2)"},
    {"INSERT INTO Items (ItemId, Qty) VALUES (62, '1,234')",
     "SELECT Qty FROM Items WHERE ItemId = 62", "Int32(1234)"},
    {"INSERT INTO Items (ItemId, Small) VALUES (63, -32768)",
     "SELECT Small FROM Items WHERE ItemId = 63", "Int16(-32768)"},
    {"INSERT INTO Items (ItemId, Active) VALUES (64, 1)",
     "SELECT Count(*) FROM Items WHERE Active = True AND ItemId = 64", "Int32(1)"},
    {"INSERT INTO Items (ItemId, Active) VALUES (65, 'yes')",
     "SELECT Active FROM Items WHERE ItemId = 65", "Boolean(True)"},
    {"INSERT INTO Items (ItemId) VALUES (66)", "SELECT Active FROM Items WHERE ItemId = 66",
     "Boolean(False)"},
    {"INSERT INTO Items (ItemId, Active) VALUES (67, Null)",
     "SELECT Active FROM Items WHERE ItemId = 67", "Boolean(False)"},
    {"INSERT INTO Items (ItemId, Made) VALUES (68, 'January 2, 2024')",
     "SELECT Made FROM Items WHERE ItemId = 68", "Date(2024-01-02)"},
    {"INSERT INTO Items (ItemId, Made) VALUES (69, 45000.5)",
     "SELECT Made FROM Items WHERE ItemId = 69", "Date(2023-03-15 12:00:00)"},
    {"INSERT INTO Items (ItemId, Price) VALUES (70, 1.23456)",
     "SELECT Price FROM Items WHERE ItemId = 70", "Currency(1.2346)"},
    {"INSERT INTO Items (ItemId, Name) VALUES (71, 12.5)",
     "SELECT Name FROM Items WHERE ItemId = 71", "Text(12.5)"},
    {"INSERT INTO Items (ItemId, Name) SELECT 72, Made FROM Items WHERE ItemId = 1",
     "SELECT Name FROM Items WHERE ItemId = 72", "Text(3/5/2026)"},
    {"INSERT INTO Items (ItemId, Qty) SELECT ItemId + 80, '7' FROM Items WHERE ItemId = 1",
     "SELECT Qty FROM Items WHERE ItemId = 81", "Int32(7)"},
    {"INSERT INTO Items SELECT 90, 'Copy', Qty + 0.5, Small, Price, Made, Active, Category "
     "FROM Items WHERE ItemId = 1",
     "SELECT Qty FROM Items WHERE ItemId = 90", "Int32(10)"},
    {"UPDATE Items SET Qty = Qty + 0.5 WHERE ItemId = 3", "SELECT Qty FROM Items WHERE ItemId = 3",
     "Int32(30)"},
    {"UPDATE Items SET Qty = Qty + 1.5 WHERE ItemId = 3", "SELECT Qty FROM Items WHERE ItemId = 3",
     "Int32(32)"},
    {"UPDATE Items SET Made = '12/24/2026' WHERE ItemId = 2",
     "SELECT Made FROM Items WHERE ItemId = 2", "Date(2026-12-24)"},
    {"UPDATE Items SET Active = Qty WHERE ItemId = 2", "SELECT Active FROM Items WHERE ItemId = 2",
     "Boolean(True)"},
    {"UPDATE Cats SET Title = '1/2/2024' WHERE Category = 'Paint'",
     "SELECT Title FROM Cats WHERE Category = 'Paint'", "Text(1/2/2024)"},
    {"INSERT INTO Notes (dates, Body) SELECT Title, Title & '' FROM Cats WHERE Category = 'Paint'",
     "SELECT dates FROM Notes WHERE Body = '1/2/2024'", "Date(2024-01-02)"},
    {"UPDATE Items SET Price = Qty / 3 WHERE ItemId = 2", "SELECT Price FROM Items WHERE ItemId = 2",
     "Currency(6.6667)"},
    // UPDATE over a join.
    {"UPDATE Items INNER JOIN Cats ON Items.Category = Cats.Category SET Items.Name = "
     "Cats.Title WHERE Items.ItemId = 1",
     "SELECT Name FROM Items WHERE ItemId = 1", "Text(Hand tools)"},
    {"UPDATE Cats AS c LEFT JOIN Items AS i ON c.Category = i.Category SET c.Title = "
     "Nz(i.Name, 'none') WHERE c.Category = 'Paint'",
     "SELECT Title FROM Cats WHERE Category = 'paint'", "Text(none)"},
    // SELECT ... INTO: a new table with the query's columns and rows.
    {"SELECT ItemId, Name, Qty * 2 AS Twice, Made INTO Copied FROM Items WHERE ItemId < 10",
     "SELECT Sum(Twice) FROM Copied", "Int32(124)"},
};

TEST_P(JetDialect, WrittenValuesAreConvertedToTheirColumns) {
    for (const StoreCase& c : kStores) {
        SCOPED_TRACE(c.write);
        try {
            conn->Execute(QString::fromUtf8(c.write));
            EXPECT_EQ(value(QString::fromUtf8(c.read)), QString::fromUtf8(c.value));
        } catch (const rt::Error& e) {
            ADD_FAILURE() << e.number() << ": " << e.what();
        }
    }
}

TEST_P(JetDialect, ARecordsetUpdateTakesTheSameConversion) {
    db::Recordset rs;
    rs.Open(QStringLiteral("SELECT * FROM Items WHERE ItemId = 1"), conn, db::adOpenDynamic,
            db::adLockOptimistic);
    rs.Fields(QStringLiteral("Qty")) = rt::Variant(3.7);
    rs.Fields(QStringLiteral("Active")) = rt::Variant(int32_t(1));
    rs.Update();
    EXPECT_EQ(rs.Fields(QStringLiteral("Qty")).Value(), rt::Variant(int32_t(4)));
    rs.Fields(QStringLiteral("Qty")) = rt::Variant(QStringLiteral("abc"));
    try {
        rs.Update();
        ADD_FAILURE() << "a text was stored in a number column";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbTypeMismatch);
    }
    rs.AddNew();
    rs.Fields(QStringLiteral("ItemId")) = rt::Variant(int32_t(99));
    rs.Fields(QStringLiteral("Name")) = rt::Variant(QString(21, u'x'));
    try {
        rs.Update();
        ADD_FAILURE() << "21 characters were stored in a TEXT(20) column";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbDataOverflow);
    }
    rs.Close();
    EXPECT_EQ(value(QStringLiteral("SELECT Qty FROM Items WHERE ItemId = 1")),
              QStringLiteral("Int32(4)"));
    EXPECT_EQ(value(QStringLiteral("SELECT Count(*) FROM Items WHERE Active = True")),
              QStringLiteral("Int32(1)"));
}

TEST_P(JetDialect, StarOverAJoinNamesColumnsByTheirTables) {
    db::Recordset rs;
    rs.Open(QStringLiteral("SELECT * FROM Items INNER JOIN Cats ON Items.Category = "
                           "Cats.Category WHERE ItemId = 1"),
            conn);
    QStringList names;
    for (int i = 0; i < rs.FieldCount(); ++i) names << rs.Fields(i).Name();
    EXPECT_EQ(names, QStringList({"ItemId", "Name", "Qty", "Small", "Price", "Made", "Active",
                                  "Items.Category", "CatId", "Cats.Category", "Title"}));
    EXPECT_EQ(rs.Fields(QStringLiteral("Cats.Category")).Value(), rt::Variant("Tools"));
    EXPECT_EQ(rs.Fields(QStringLiteral("Made")).Value().type(), rt::VarType::Date);
    rs.Close();
    rs.Open(QStringLiteral("SELECT i.Category, c.Category, Title FROM Items AS i, Cats AS c "
                           "WHERE i.Category = c.Category AND i.ItemId = 2"),
            conn);
    EXPECT_EQ(rs.Fields(QStringLiteral("i.Category")).Value(), rt::Variant("Parts"));
    EXPECT_EQ(rs.Fields(QStringLiteral("c.Category")).Value(), rt::Variant("Parts"));
}

TEST_P(JetDialect, SelectIntoKeepsTheColumnsKinds) {
    conn->Execute(QStringLiteral("SELECT ItemId, Name, Made, Active, Price INTO Kept FROM Items"));
    EXPECT_EQ(value(QStringLiteral("SELECT Count(*) FROM Kept")), QStringLiteral("Int32(3)"));
    EXPECT_EQ(value(QStringLiteral("SELECT Made FROM Kept WHERE ItemId = 3")),
              QStringLiteral("Date(2026-03-07 14:30:00)"));
    EXPECT_EQ(value(QStringLiteral("SELECT Active FROM Kept WHERE ItemId = 1")),
              QStringLiteral("Boolean(True)"));
    EXPECT_EQ(value(QStringLiteral("SELECT Price FROM Kept WHERE ItemId = 2")),
              QStringLiteral("Currency(0.75)"));
    // The copy's text column keeps its size and its case-insensitive order.
    EXPECT_EQ(
        failure(QStringLiteral("INSERT INTO Kept (Name) VALUES ('%1')").arg(QString(21, u'y'))),
        QStringLiteral("%1: %2").arg(rt::err::DbDataOverflow).arg(QString::fromUtf8(kTooSmall)));
    EXPECT_EQ(value(QStringLiteral("SELECT ItemId FROM Kept WHERE Name = 'NUT'")),
              QStringLiteral("Int32(2)"));
    EXPECT_EQ(failure(QStringLiteral("SELECT Name INTO Kept FROM Items")),
              QStringLiteral("%1: Table 'Kept' already exists.").arg(rt::err::DbSyntax));
}

TEST_P(JetDialect, DateLiteralsReadInTheOrderTheConnectionAsks) {
    // en-GB writes 02/01/2024 for the 2nd of January: the system's own
    // statements are read in that order by default; Jet's rule reads month first.
    rt::RegionalSettings british{QLocale(QLocale::English, QLocale::UnitedKingdom)};
    auto regional = db::Connection::create(&british, &clock);
    regional->setConnectionString(connectionString(path));
    regional->Open();
    auto monthFirst = db::Connection::create(&british, &clock);
    monthFirst->setConnectionString(
        connectionString(path, QStringLiteral(";Date Literal Order=MonthFirst")));
    monthFirst->Open();
    auto first = [](const std::shared_ptr<db::Connection>& c, const QString& sql) {
        db::Recordset rs;
        rs.Open(sql, c);
        return rs.Fields(0).Value().debugString();
    };
    EXPECT_EQ(first(regional, QStringLiteral("SELECT #02/01/2024#")),
              QStringLiteral("Date(2024-01-02)"));
    EXPECT_EQ(first(monthFirst, QStringLiteral("SELECT #02/01/2024#")),
              QStringLiteral("Date(2024-02-01)"));
    EXPECT_EQ(first(monthFirst, QStringLiteral("SELECT #13/01/2024#")),
              QStringLiteral("Date(2024-01-13)"));
    EXPECT_EQ(first(regional, QStringLiteral("SELECT #2024-02-01#")),
              QStringLiteral("Date(2024-02-01)"));
    EXPECT_EQ(first(monthFirst, QStringLiteral("SELECT #2024-02-01#")),
              QStringLiteral("Date(2024-02-01)"));
    auto bad = db::Connection::create(&british, &clock);
    bad->setConnectionString(
        connectionString(path, QStringLiteral(";Date Literal Order=Sideways")));
    try {
        bad->Open();
        ADD_FAILURE() << "an unknown order was taken";
    } catch (const rt::Error& e) {
        EXPECT_TRUE(e.description().contains(QLatin1String("Date Literal Order"))) << e.what();
    }
}

// ---- table definitions through jetsql ----

TEST_P(JetDialect, JetsqlCreatesAltersAndDropsTablesAndIndexes) {
    conn.reset();  // jetsql works on the file alone
    const Outcome made = jetsql(
        path, {"CREATE TABLE Stock (Code TEXT(10) NOT NULL, Qty SHORT DEFAULT 0, Price MONEY, "
               "Kind BYTE, Weight SINGLE, Ratio DOUBLE, Amount DECIMAL(10, 2), Ok BIT, "
               "CONSTRAINT StockKey PRIMARY KEY (Code), "
               "CONSTRAINT StockCat FOREIGN KEY (Kind) REFERENCES Cats (CatId))",
               "CREATE UNIQUE INDEX StockPrice ON Stock (Price DESC, Weight)",
               "INSERT INTO Stock (Code, Qty, Amount) VALUES ('a1', 5, '12.345')",
               "INSERT INTO Stock (Code, Qty) VALUES ('A2', 7)",
               "SELECT Code, Qty, Amount, Ok FROM Stock WHERE Code = 'A1'",
               "INSERT INTO Stock (Code) VALUES ('abcdefghijk')",
               "INSERT INTO Stock (Code, Qty) VALUES ('b', 'many')",
               "ALTER TABLE Stock ADD COLUMN Note TEXT(30)", "alter table Stock add Remark memo",
               "UPDATE Stock SET Note = 'NOTED', Remark = 'r' WHERE Code = 'a2'",
               "SELECT Count(*) FROM Stock WHERE Note = 'noted'", "DROP INDEX StockPrice ON Stock",
               "ALTER TABLE Stock DROP COLUMN Weight", "SELECT * FROM Stock WHERE Code = 'a2'",
               "drop table Stock", "SELECT * FROM Stock"});
    EXPECT_EQ(made.status, 1);  // the refused statements
    EXPECT_EQ(made.err,
              QStringLiteral("error %1: %2\nerror %3: %4\nerror %5: The database engine cannot "
                             "find the input table or query 'Stock'. Make sure it exists and that "
                             "its name is spelled correctly.\n")
                  .arg(rt::err::DbDataOverflow)
                  .arg(QString::fromUtf8(kTooSmall))
                  .arg(rt::err::DbTypeMismatch)
                  .arg(QString::fromUtf8(kMismatch))
                  .arg(rt::err::DbNoSuchTable));
    // DECIMAL(10, 2) takes 12.345 rounded to its scale, halves to even.
    EXPECT_TRUE(made.out.contains(QStringLiteral("a1   | 5   | 12.34  | False")))
        << made.out.toStdString() << made.err.toStdString();
    EXPECT_TRUE(
        made.out.contains(QStringLiteral("Code | Qty | Price | Kind | Ratio | Amount | "
                                         "Ok    | Note  | Remark")))
        << made.out.toStdString();
    conn = open();
    EXPECT_TRUE(conn->engine().tableColumns(QStringLiteral("Stock")).empty());
}

TEST_P(JetDialect, SchemaChangesReachTheCachesWhateverTheCase) {
    EXPECT_EQ(value(QStringLiteral("SELECT Count(*) FROM Notes")), QStringLiteral("Int32(2)"));
    conn->Execute(QStringLiteral("alter TABLE Notes add column Pages short"));
    conn->Execute(QStringLiteral("INSERT INTO Notes (Pages) VALUES (2.5)"));
    EXPECT_EQ(value(QStringLiteral("SELECT Pages FROM Notes WHERE Pages IS NOT NULL")),
              QStringLiteral("Int16(2)"));
    conn->Execute(QStringLiteral("Drop Table Notes"));
    conn->Execute(QStringLiteral("create table notes (Pages TEXT(5))"));
    EXPECT_EQ(
        failure(QStringLiteral("INSERT INTO Notes (Pages) VALUES ('123456')")),
        QStringLiteral("%1: %2").arg(rt::err::DbDataOverflow).arg(QString::fromUtf8(kTooSmall)));
    conn->Execute(QStringLiteral("INSERT INTO Notes (Pages) VALUES (12)"));
    EXPECT_EQ(value(QStringLiteral("SELECT Pages FROM Notes")), QStringLiteral("Text(12)"));
}

TEST_P(JetDialect, DefinitionsJetRefusesOrThisFileCannotTake) {
    const std::pair<const char*, const char*> cases[] = {
        {"CREATE TABLE Items (x LONG)", "Table 'Items' already exists."},
        {"CREATE INDEX ItemsName ON Items (Qty)",
         "An index named 'Items_ItemsName' already exists."},
        {"CREATE INDEX Nowhere ON Items (Missing)", "Field 'Missing' not found in table 'Items'."},
        {"DROP INDEX Missing ON Items", "Cannot find index 'Missing' of table 'Items'."},
        {"ALTER TABLE Items ADD COLUMN Qty LONG", "Field 'Qty' already exists in table 'Items'."},
        {"ALTER TABLE Items ADD COLUMN Must TEXT(5) NOT NULL",
         "Cannot add the required field 'Must' without a DEFAULT value to the existing table "
         "'Items'."},
        // The server adds keys in place, but a table has one primary key.
        {"ALTER TABLE Items ADD CONSTRAINT Extra PRIMARY KEY (Name)",
         testing_support::onServer()
             ? "Primary key already exists."
             : "Cannot add a primary key or a relationship to the existing table 'Items'; create "
               "the table with it."},
        {"ALTER TABLE Items DROP COLUMN Name",
         "Cannot delete a field that is part of an index or is needed by the system."},
        {"CREATE TABLE Bad (n LONG DEFAULT 'abc')", kMismatch},
    };
    for (const auto& [sql, text] : cases) {
        SCOPED_TRACE(sql);
        const QString f = failure(QString::fromUtf8(sql));
        EXPECT_TRUE(f.endsWith(QString::fromUtf8(text))) << f.toStdString();
    }
    // Each refusal left the schema as it was.
    EXPECT_EQ(value(QStringLiteral("SELECT Count(*) FROM Items WHERE Name = 'bolt'")),
              QStringLiteral("Int32(1)"));
    EXPECT_TRUE(conn->engine().tableColumns(QStringLiteral("Bad")).empty());
}

TEST_P(JetDialect, KeysAndRelationshipsHoldAndCanBeDropped) {
    const QString refused = QStringLiteral("%1: ").arg(rt::err::DbConstraint);
    // A relationship made with its table holds on both engines.
    conn->Execute(QStringLiteral("CREATE TABLE Lines (LineId LONG, CatId LONG, CONSTRAINT LineCat "
                                 "FOREIGN KEY (CatId) REFERENCES Cats (CatId))"));
    EXPECT_TRUE(failure(QStringLiteral("INSERT INTO Lines VALUES (1, 99)")).startsWith(refused));
    EXPECT_EQ(failure(QStringLiteral("INSERT INTO Lines VALUES (2, 1)")), QString());
    // A unique key added to a table and dropped again; letter case does not
    // make a second value.
    conn->Execute(QStringLiteral("ALTER TABLE Cats ADD CONSTRAINT TitleKey UNIQUE (Title)"));
    EXPECT_TRUE(failure(QStringLiteral("INSERT INTO Cats (Category, Title) VALUES ('X', 'PAINTS')"))
                    .startsWith(refused));
    conn->Execute(QStringLiteral("ALTER TABLE Cats DROP CONSTRAINT TitleKey"));
    EXPECT_EQ(failure(QStringLiteral("INSERT INTO Cats (Category, Title) VALUES ('X', 'PAINTS')")),
              QString());
    EXPECT_TRUE(failure(QStringLiteral("ALTER TABLE Cats DROP CONSTRAINT TitleKey"))
                    .startsWith(QString::number(rt::err::DbSyntax)));
    if (!testing_support::onServer()) return;
    // The server adds and drops a relationship on an existing table; the
    // file engine refuses it (above).
    conn->Execute(QStringLiteral("ALTER TABLE Items ADD CONSTRAINT ItemCat FOREIGN KEY (Category) "
                                 "REFERENCES Cats (Category) ON UPDATE CASCADE"));
    EXPECT_TRUE(failure(QStringLiteral("INSERT INTO Items (ItemId, Category) VALUES (40, 'None')"))
                    .startsWith(refused));
    conn->Execute(QStringLiteral("UPDATE Cats SET Category = 'Hardware' WHERE Category = 'Tools'"));
    EXPECT_EQ(value(QStringLiteral("SELECT Category FROM Items WHERE ItemId = 1")),
              QStringLiteral("Text(Hardware)"));
    EXPECT_EQ(failure(QStringLiteral("ALTER TABLE Cats DROP COLUMN Category")),
              QStringLiteral("%1: Cannot delete a field that is part of an index or is needed by "
                             "the system.")
                  .arg(rt::err::DbSyntax));
    EXPECT_EQ(failure(QStringLiteral("ALTER TABLE Lines ADD CONSTRAINT LineQty FOREIGN KEY "
                                     "(LineId) REFERENCES Items (Qty)")),
              QStringLiteral("%1: No unique index found for the referenced field of the primary "
                             "table.")
                  .arg(rt::err::DbSyntax));
    conn->Execute(QStringLiteral("ALTER TABLE Items DROP CONSTRAINT ItemCat"));
    EXPECT_EQ(failure(QStringLiteral("INSERT INTO Items (ItemId, Category) VALUES (40, 'None')")),
              QString());
}

TEST_P(JetDialect, ThePlainSqliteProgramReadsTheFile) {
    if (testing_support::onServer()) GTEST_SKIP() << "the database is on the server, not in a file";
    // Any SQLite program can count and read the rows (it folds ASCII letters).
    conn->Execute(
        QStringLiteral("CREATE TABLE Fresh (Name TEXT(10), CONSTRAINT FreshName UNIQUE (Name))"));
    conn->Execute(QStringLiteral("INSERT INTO Fresh VALUES ('Ab')"));
    conn.reset();
    QProcess p;
    p.start(QStringLiteral("sqlite3"),
            {path, QStringLiteral("SELECT count(*) FROM Items; SELECT count(*) FROM Fresh WHERE "
                                  "Name = 'AB'; SELECT count(*) FROM Cats;")});
    if (!p.waitForStarted(10000)) GTEST_SKIP() << "no sqlite3 program";
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("3\n1\n3\n"))
        << p.readAllStandardError().toStdString();
}

}  // namespace
