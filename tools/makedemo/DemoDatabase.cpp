// Builds the demo DataBase folder: bootstrap database plus year databases.
#include "tools/makedemo/DemoDatabase.h"

#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>


#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace demo {

namespace {

using db::ColumnDef;
using db::IndexDef;
using db::JetType;
using db::TableDef;
using rt::Variant;

ColumnDef col(const char* name, JetType type, int size = 255) {
    ColumnDef c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.size = size;
    return c;
}

IndexDef primaryKey(const char* column) {
    return IndexDef{QStringLiteral("PrimaryKey"), {QString::fromLatin1(column)}, true, true};
}

IndexDef index(const char* column, bool unique = false) {
    return IndexDef{QString::fromLatin1(column), {QString::fromLatin1(column)}, unique, false};
}

QString connectionString(const QString& path, const QString& password) {
    return db::jetConnectionString(path, password);
}

// Opens a file being made. It is still under its temporary name, so nothing
// waits for each write to reach the disk; writeFile syncs it once at the end.
std::shared_ptr<db::Connection> openFile(const QString& path, const QString& password) {
    auto c = db::Connection::create();
    c->setConnectionString(connectionString(path, password));
    c->Open();
    c->engine().execNative("PRAGMA synchronous=OFF");
    return c;
}

bool syncToDisk(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Inserts rows through one prepared native statement inside a transaction.
class Inserter {
public:
    Inserter(db::Connection& c, const QString& table, const QStringList& columns)
        : engine_(c.engine()) {
        QStringList cols, marks;
        for (int i = 0; i < columns.size(); ++i) {
            cols << u'"' + columns[i] + u'"';
            marks << QStringLiteral("?%1").arg(i + 1);
        }
        sql_ = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                   .arg(table, cols.join(u", "), marks.join(u", "))
                   .toStdString();
        stmt_ = engine_.prepare(sql_);
    }
    void add(const std::vector<Variant>& values) {
        for (size_t i = 0; i < values.size(); ++i) stmt_->bind(int(i + 1), values[i]);
        stmt_->run();
        stmt_->reset();
    }

private:
    db::Engine& engine_;
    std::string sql_;
    db::StatementPtr stmt_;
};

Variant at(const QDate& d, int h = 0, int m = 0, int s = 0) {
    return Variant::fromDate(d, QTime(h, m, s));
}

// Writes a file under a temporary name and renames it when complete.
void writeFile(const QString& target, bool overwrite,
               const std::function<void(const QString& path)>& fill) {
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    try {
        fill(part);
    } catch (...) {
        QFile::remove(part);
        QFile::remove(part + QStringLiteral("-journal"));
        throw;
    }
    if (overwrite) QFile::remove(target);
    if (!syncToDisk(part) || !QFile::rename(part, target)) {
        QFile::remove(part);
        rt::raise(rt::err::DbGeneric, QStringLiteral("Could not write '%1'.").arg(target));
    }
}

void fillBootstrap(const QString& path, const QString& password, int firstYear, int lastYear) {
    db::createDatabaseFile(path, password);
    auto c = openFile(path, password);
    db::createTable(*c, TableDef{QStringLiteral("DB_Years"),
                                 {col("YearId", JetType::AutoNumber), col("minYear", JetType::Long),
                                  col("maxYear", JetType::Long), col("curryear", JetType::YesNo),
                                  col("StartDate", JetType::DateTime),
                                  col("EndDate", JetType::DateTime),
                                  col("DBName", JetType::Text, 50)},
                                 {primaryKey("YearId"), index("minYear", true)}});
    c->engine().execNative("BEGIN");
    {
        Inserter ins(*c, QStringLiteral("DB_Years"),
                     {QStringLiteral("minYear"), QStringLiteral("maxYear"),
                      QStringLiteral("curryear"), QStringLiteral("StartDate"),
                      QStringLiteral("EndDate"), QStringLiteral("DBName")});
        for (int y = firstYear; y <= lastYear; ++y)
            ins.add({Variant(int32_t(y)), Variant(int32_t(y + 1)), Variant(y == lastYear),
                     at(QDate(y, 4, 1)), at(QDate(y + 1, 3, 31)), Variant(yearDatabaseName(y))});
    }
    c->engine().execNative("COMMIT");
    c->Close();
}

}  // namespace

int accountingYearStart(const QDate& day) { return day.month() >= 4 ? day.year() : day.year() - 1; }

QString yearDatabaseName(int firstYear) {
    return QStringLiteral("DB%1_%2.mdb")
        .arg(firstYear)
        .arg((firstYear + 1) % 100, 2, 10, QLatin1Char('0'));
}

void createYearSchema(const QString& path, const QString& password) {
    db::createDatabaseFile(path, password);
    auto c = openFile(path, password);
    const std::vector<TableDef> tables = {
        {QStringLiteral("errlog"),
         {col("ErrText", JetType::Text, 255), col("ErrDate", JetType::DateTime)},
         {index("ErrDate")}},
        {QStringLiteral("logs"),
         {col("LogId", JetType::AutoNumber), col("dates", JetType::DateTime),
          col("UserId", JetType::Long), col("SysId", JetType::Long),
          col("ScreenId", JetType::Long), col("Activity", JetType::Text, 100)},
         {primaryKey("LogId"), index("dates")}},
        {QStringLiteral("OnLineUsers"),
         {col("LineId", JetType::AutoNumber), col("DateT", JetType::DateTime),
          col("SysId", JetType::Long), col("UserId", JetType::Long), col("UserVal", JetType::Long),
          col("ScreenId", JetType::Long)},
         {primaryKey("LineId"), index("DateT"), index("ScreenId")}},
        {QStringLiteral("User1"),
         {col("UserId", JetType::Long), col("UserName", JetType::Text, 50),
          col("FullName", JetType::Text, 100), col("Active", JetType::YesNo)},
         {primaryKey("UserId"), index("UserName", true)}},
        {QStringLiteral("ImpSystems"),
         {col("SysId", JetType::Long), col("SysName", JetType::Text, 50),
          col("Location", JetType::Text, 50)},
         {primaryKey("SysId"), index("SysName", true)}},
        {QStringLiteral("DCINV"),
         {col("dcinvid", JetType::AutoNumber), col("dcno", JetType::Text, 20),
          col("dcdate", JetType::DateTime), col("custid", JetType::Long),
          col("invno", JetType::Text, 20), col("invdatet", JetType::DateTime),
          col("amount", JetType::Currency)},
         {primaryKey("dcinvid"), index("invdatet"), index("dcno")}},
        {QStringLiteral("DCOUTGOINGINV"),
         {col("dcid", JetType::AutoNumber), col("dcno", JetType::Long),
          col("dcdate", JetType::DateTime), col("custid", JetType::Long),
          col("invno", JetType::Text, 20), col("invdatet", JetType::DateTime),
          col("amount", JetType::Currency)},
         {primaryKey("dcid"), index("invdatet"), index("dcno")}},
        {QStringLiteral("DCSUBCONOUTGOING"),
         {col("dcid", JetType::AutoNumber), col("dcno", JetType::Long),
          col("dcdate", JetType::DateTime), col("suppid", JetType::Long),
          col("Remarks", JetType::Text, 100)},
         {primaryKey("dcid"), index("dcno")}},
        {QStringLiteral("SUBCONPO"),
         {col("POId", JetType::AutoNumber), col("PONo", JetType::Text, 30),
          col("suPPid", JetType::Long), col("PODate", JetType::DateTime)},
         {primaryKey("POId"), index("PONo")}},
        {QStringLiteral("CUSTPO"),
         {col("POId", JetType::AutoNumber), col("PONo", JetType::Text, 30),
          col("CUstid", JetType::Long), col("PODate", JetType::DateTime)},
         {primaryKey("POId"), index("PONo")}},
        {QStringLiteral("PURCHPO"),
         {col("POId", JetType::AutoNumber), col("PONo", JetType::Text, 30),
          col("vendorcode", JetType::Long), col("suppid", JetType::Long),
          col("PODate", JetType::DateTime)},
         {primaryKey("POId"), index("PONo")}},
    };
    for (const TableDef& t : tables) db::createTable(*c, t);
    c->Close();
}

namespace {

void fillYear(const QString& path, const QString& password, int year, bool current,
              const QDate& today, int challanRows) {
    createYearSchema(path, password);
    auto c = openFile(path, password);
    c->engine().execNative("BEGIN");
    const QDate start(year, 4, 1);
    // The day the data of this year "stops": today for the current year.
    const QDate last = current ? today : QDate(year + 1, 3, 31);
    {
        Inserter users(*c, QStringLiteral("User1"),
                       {QStringLiteral("UserId"), QStringLiteral("UserName"),
                        QStringLiteral("FullName"), QStringLiteral("Active")});
        users.add({Variant(int32_t(1)), Variant("ADMIN"), Variant("Administrator"), Variant(true)});
        users.add({Variant(int32_t(2)), Variant("RAVI"), Variant("Ravi Kumar"), Variant(true)});
        users.add({Variant(int32_t(3)), Variant("MEENA"), Variant("Meena Iyer"), Variant(true)});
        users.add({Variant(int32_t(4)), Variant("SURESH"), Variant("Suresh Rao"), Variant(false)});

        Inserter systems(*c, QStringLiteral("ImpSystems"),
                         {QStringLiteral("SysId"), QStringLiteral("SysName"),
                          QStringLiteral("Location")});
        systems.add({Variant(int32_t(1)), Variant("STORES-PC"), Variant("Stores")});
        systems.add({Variant(int32_t(2)), Variant("ACCOUNTS-PC"), Variant("Accounts")});
        systems.add({Variant(int32_t(3)), Variant("DESPATCH-PC"), Variant("Despatch")});

        Inserter logs(*c, QStringLiteral("logs"),
                      {QStringLiteral("dates"), QStringLiteral("UserId"), QStringLiteral("SysId"),
                       QStringLiteral("ScreenId"), QStringLiteral("Activity")});
        const char* activities[] = {"Login", "Challan saved", "Invoice printed", "PO entered",
                                    "Logout"};
        for (int i = 0; i < 20; ++i) {
            QDate d = last.addDays(-(19 - i) * 3);
            if (d < start) d = start;
            // The application dates its log rows by the day.
            logs.add({at(d), Variant(int32_t(1 + i % 4)),
                      Variant(int32_t(1 + i % 3)), Variant(int32_t(10 + i % 5)),
                      Variant(activities[i % 5])});
        }
        if (current) {
            // Rows written while a workstation's clock ran ahead.
            for (int ahead : {1, 3, 30})
                logs.add({at(today.addDays(ahead)), Variant(int32_t(3)),
                          Variant(int32_t(2)), Variant(int32_t(12)), Variant("Challan saved")});
        }

        Inserter online(*c, QStringLiteral("OnLineUsers"),
                        {QStringLiteral("DateT"), QStringLiteral("SysId"),
                         QStringLiteral("UserId"), QStringLiteral("UserVal"),
                         QStringLiteral("ScreenId")});
        // Stale records left behind by workstations that were switched off.
        online.add({at(last.addDays(-2), 9, 30), Variant(int32_t(1)), Variant(int32_t(2)),
                    Variant(int32_t(3)), Variant(int32_t(12))});
        online.add({at(last.addDays(-1), 15, 5), Variant(int32_t(2)), Variant(int32_t(3)),
                    Variant(int32_t(2)), Variant(int32_t(12))});
        online.add({at(last, 8, 45), Variant(int32_t(3)), Variant(int32_t(4)),
                    Variant(int32_t(1)), Variant(int32_t(15))});

        Inserter dcinv(*c, QStringLiteral("DCINV"),
                       {QStringLiteral("dcno"), QStringLiteral("dcdate"), QStringLiteral("custid"),
                        QStringLiteral("invno"), QStringLiteral("invdatet"),
                        QStringLiteral("amount")});
        Inserter dcout(*c, QStringLiteral("DCOUTGOINGINV"),
                       {QStringLiteral("dcno"), QStringLiteral("dcdate"), QStringLiteral("custid"),
                        QStringLiteral("invno"), QStringLiteral("invdatet"),
                        QStringLiteral("amount")});
        Inserter dcsub(*c, QStringLiteral("DCSUBCONOUTGOING"),
                       {QStringLiteral("dcno"), QStringLiteral("dcdate"), QStringLiteral("suppid"),
                        QStringLiteral("Remarks")});
        const int demoRows = 12;
        const int rows = demoRows + challanRows;
        for (int i = 1; i <= rows; ++i) {
            QDate d = start.addDays(qint64(i) * 7 % 360);
            if (d > last) d = last;
            const bool invoiced = i % 4 != 0;
            dcinv.add({Variant(QString::number(i)), at(d, 10), Variant(int32_t(100 + i % 7)),
                       invoiced ? Variant(QString::number(i)) : Variant("Nil"),
                       invoiced ? at(d, 16, i % 60) : Variant::null(),
                       Variant(rt::Currency{int64_t(i) * 1250000 + 2500})});
            dcout.add({Variant(int32_t(i)), at(d, 11), Variant(int32_t(200 + i % 5)),
                       invoiced ? Variant(QString::number(1000 + i)) : Variant::null(),
                       invoiced ? at(d, 17, i % 60) : Variant::null(),
                       Variant(rt::Currency{int64_t(i) * 830000})});
            dcsub.add({Variant(int32_t(i)), at(d, 12), Variant(int32_t(300 + i % 3)),
                       Variant(QStringLiteral("Sent for plating, lot %1").arg(i))});
        }

        Inserter subpo(*c, QStringLiteral("SUBCONPO"),
                       {QStringLiteral("PONo"), QStringLiteral("suPPid"),
                        QStringLiteral("PODate")});
        subpo.add({Variant("SC/101"), Variant(int32_t(300)), at(start.addDays(10))});
        subpo.add({Variant("SC/102"), Variant(int32_t(301)), at(start.addDays(40))});
        Inserter custpo(*c, QStringLiteral("CUSTPO"),
                        {QStringLiteral("PONo"), QStringLiteral("CUstid"),
                         QStringLiteral("PODate")});
        custpo.add({Variant("PO/12'A"), Variant(int32_t(101)), at(start.addDays(5))});
        custpo.add({Variant("4500012345"), Variant(int32_t(102)), at(start.addDays(25))});
        Inserter purchpo(*c, QStringLiteral("PURCHPO"),
                         {QStringLiteral("PONo"), QStringLiteral("vendorcode"),
                          QStringLiteral("suppid"), QStringLiteral("PODate")});
        purchpo.add({Variant("P/2024/7"), Variant(int32_t(501)), Variant(int32_t(300)),
                     at(start.addDays(15))});
    }
    c->engine().execNative("COMMIT");
    c->Close();
}

}  // namespace

QStringList makeDemoDatabase(const QString& folder, const Options& options) {
    QDir dir(folder);
    if (dir.exists() && !options.overwrite &&
        !dir.entryList({QStringLiteral("*.mdb")}, QDir::Files).isEmpty())
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The folder '%1' already holds databases; not overwritten.")
                      .arg(folder));
    if (!QDir().mkpath(folder))
        rt::raise(rt::err::DbGeneric, QStringLiteral("Could not create '%1'.").arg(folder));
    const QString password =
        options.password.isEmpty() ? systemDatabasePassword() : options.password;
    const int current = accountingYearStart(options.today);
    const int first = current - std::max(1, options.years) + 1;
    QStringList made;
    const QString boot = dir.filePath(QStringLiteral("DBStart.mdb"));
    writeFile(boot, options.overwrite,
              [&](const QString& p) { fillBootstrap(p, password, first, current); });
    made << boot;
    for (int y = first; y <= current; ++y) {
        const QString path = dir.filePath(yearDatabaseName(y));
        writeFile(path, options.overwrite, [&](const QString& p) {
            fillYear(p, password, y, y == current, options.today,
                     y == current ? options.challanRows : 0);
        });
        made << path;
    }
    return made;
}

}  // namespace demo
