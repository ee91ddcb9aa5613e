// The demo database: a DataBase folder as the business application keeps it,
// with the bootstrap database and one year database per accounting year,
// filled with rows a user would recognise. Used by scripts/demo and by tests.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace demo {

struct Options {
    QDate today = QDate::currentDate();  // decides the accounting years and "future" rows
    bool overwrite = false;               // replace an existing folder's files
    int years = 3;                        // the current accounting year and the ones before it
    int challanRows = 0;                  // extra challans per table (benchmarks); 0: the demo set
    QString password;                     // empty: the system's password
};

// The accounting year (April to March) that holds `day`: its first calendar year.
int accountingYearStart(const QDate& day);
// "DB2026_27.mdb" for the year that starts in 2026.
QString yearDatabaseName(int firstYear);

// Writes `folder` (the DataBase folder itself). Refuses an existing folder
// that holds any .mdb unless options.overwrite is set. Returns the files made.
// Throws rt::Error on failure; a failure leaves no half-made file behind.
QStringList makeDemoDatabase(const QString& folder, const Options& options = {});

// Creates the year database's tables on an empty database file at `path`.
void createYearSchema(const QString& path, const QString& password);

}  // namespace demo
