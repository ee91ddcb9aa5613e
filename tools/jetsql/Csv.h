// Reading CSV as written by spreadsheets and by the shell's own .mode csv:
// fields separated by commas, records by line ends (LF or CRLF); a field in
// double quotes may hold commas, line ends and doubled quotes.
#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace jetsql {

struct CsvField {
    QString text;
    bool quoted = false;  // written in quotes (tells "" from an empty field)
};

struct CsvRecord {
    QList<CsvField> fields;
    int line = 0;  // the line the record starts on, from 1
};

class CsvReader {
  public:
    explicit CsvReader(QString text) : text_(std::move(text)) {}
    // The next record; nullopt at the end or after a malformed record
    // (error() then says what and where).
    std::optional<CsvRecord> next();
    const QString& error() const { return error_; }

  private:
    QString text_;
    qsizetype pos_ = 0;
    int line_ = 1;
    QString error_;
};

}  // namespace jetsql
