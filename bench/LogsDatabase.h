// A bench database holding the system's logs table, opened through the library
// and, for the baselines, raw with sqlite3.
#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/Schema.h"

#include <QDateTime>
#include <QLocale>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <initializer_list>
#include <memory>
#include <vector>

namespace bench {

// `rows` log rows, one a minute from 2024-04-01 09:00, UserId 0 to 49 in turn
// and the activities in turn; beside them an empty table `spare` of the same
// columns without indexes. The raw connection keeps the rules the file
// declares (foreign keys on), as every connection of the library does.
struct LogsDatabase {
    QTemporaryDir dir;
    QString path;
    rt::RegionalSettings settings{QLocale(QLocale::English, QLocale::UnitedKingdom)};
    std::shared_ptr<db::Connection> conn;
    sqlite3* raw = nullptr;

    LogsDatabase(int rows, const QString& spare, std::initializer_list<QString> activityList) {
        const std::vector<QString> activities(activityList);
        path = dir.filePath(QStringLiteral("bench.mdb"));
        db::createDatabaseFile(path, QStringLiteral("pw"));
        conn = db::Connection::create(&settings);
        conn->setConnectionString(db::jetConnectionString(path, QStringLiteral("pw")));
        conn->Open();
        db::TableDef logs{QStringLiteral("logs"),
                          {column("LogId", db::JetType::AutoNumber),
                           column("dates", db::JetType::DateTime),
                           column("UserId", db::JetType::Long),
                           column("Activity", db::JetType::Text)},
                          {db::IndexDef{QStringLiteral("PrimaryKey"), {QStringLiteral("LogId")},
                                        true, true},
                           db::IndexDef{QStringLiteral("dates"), {QStringLiteral("dates")}, false,
                                        false}}};
        db::createTable(*conn, logs);
        logs.name = spare;
        logs.indexes.clear();
        db::createTable(*conn, logs);
        db::Engine& e = conn->engine();
        e.execNative("BEGIN");
        {
            db::StatementPtr st =
                e.prepare("INSERT INTO logs (dates, UserId, Activity) VALUES (?1, ?2, ?3)");
            const QDateTime start = firstLog();
            for (int i = 0; i < rows; ++i) {
                st->bind(1, rt::Variant(start.addSecs(qint64(i) * 60)));
                st->bindInteger(2, i % 50);
                st->bind(3, rt::Variant(activities[size_t(i) % activities.size()]));
                st->run();
                st->reset();
            }
        }
        e.execNative("COMMIT");
        sqlite3_open(path.toUtf8().constData(), &raw);
        sqlite3_exec(raw, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
    }
    ~LogsDatabase() { sqlite3_close(raw); }
    LogsDatabase(const LogsDatabase&) = delete;
    LogsDatabase& operator=(const LogsDatabase&) = delete;

    // The moment of the first log row.
    static QDateTime firstLog() { return rt::naiveDateTime(QDate(2024, 4, 1), QTime(9, 0)); }

private:
    static db::ColumnDef column(const char* name, db::JetType type) {
        db::ColumnDef c;
        c.name = QString::fromLatin1(name);
        c.type = type;
        c.size = 100;
        return c;
    }
};

}  // namespace bench
