// The support shell: runs Jet SQL statements and dot commands on one open
// connection and prints what the library would read, as an aligned table,
// CSV or one "column = value" line per field.
//
// Failures print "error NUMBER: DESCRIPTION" (or "error: TEXT" for a command
// used wrongly) on standard error; the shell goes on with the next line, and
// its exit status becomes 1.
#pragma once

#include "platform/db/Connection.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <memory>
#include <vector>

namespace jetsql {

class LineReader;

enum class Mode { Table, Csv, Line };

class Shell {
  public:
    explicit Shell(std::shared_ptr<db::Connection> connection);
    ~Shell();

    void setMode(Mode m) { mode_ = m; }
    // Reads lines from `in` until its end or .quit. Lines that begin with '.'
    // (outside a statement) are commands.
    void run(LineReader& in);
    // One statement or one command line (beginning with '.').
    void runOne(const QString& text);

    bool quitRequested() const { return quit_; }
    int exitStatus() const { return failed_ ? 1 : 0; }

    // Ends an open transaction by rolling it back (end of input).
    void rollBackOpenTransaction();

  private:
    void runStatement(const QString& sql);
    void runCommand(const QString& line);
    bool transactionStatement(const QString& sql);

    // Prints a result: header and rows in the current mode.
    void printRows(const QStringList& header, const std::vector<QStringList>& rows);
    void printTable(const QStringList& header, const std::vector<QStringList>& rows);

    void fail(const QString& message);  // "error: message"
    void failWith(const std::exception& e);

    // Commands.
    void help();
    void tables(const QStringList& args);
    void schema(const QStringList& args);
    void indexes(const QStringList& args);
    void check();
    void read(const QStringList& args);
    void output(const QStringList& args);
    void backup(const QStringList& args);
    void dump(const QStringList& args);
    void import(const QStringList& args);

    QStringList tablesNamed(const QStringList& args);

    std::shared_ptr<db::Connection> conn_;
    Mode mode_ = Mode::Table;
    bool headers_ = true;
    bool quit_ = false;
    bool failed_ = false;
    bool inTransaction_ = false;
    int readDepth_ = 0;
    QFile stdout_;
    std::unique_ptr<QFile> file_;  // .output FILE
    QTextStream out_;
};

}  // namespace jetsql
