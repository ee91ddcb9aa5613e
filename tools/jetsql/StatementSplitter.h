// Cuts the shell's input into statements. A statement ends at a ';' outside
// quotes and brackets. At the end of a line, a script (piped input or a file
// read with .read) also ends a statement when no quote, bracket or
// parenthesis is open, so that scripts of one statement a line keep working;
// at the terminal a statement goes on over lines until its ';'.
#pragma once

#include <QString>
#include <QStringList>

namespace jetsql {

class StatementSplitter {
  public:
    explicit StatementSplitter(bool lineEndsStatement) : lineEnds_(lineEndsStatement) {}

    // Adds one line (without its line end); returns the statements it
    // completed, trimmed and without their ';'.
    QStringList addLine(const QString& line);
    // Whether a statement is still open (text not yet ended).
    bool pending() const { return !buffer_.trimmed().isEmpty() || !quote_.isNull() || bracket_; }
    // Takes what is left (at the end of the input) and starts afresh.
    QString takeRest();

  private:
    void finish(QStringList& out);

    bool lineEnds_;
    QString buffer_;
    QChar quote_;           // the open quote (' or "), or null
    bool bracket_ = false;  // inside [ ]
    int parens_ = 0;
};

}  // namespace jetsql
