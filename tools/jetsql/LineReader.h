// Where the shell's lines come from: the terminal with line editing and a
// history kept between sessions (libedit), a stream (piped input), or a file
// (.read).
#pragma once

#include <QString>

#include <cstdio>
#include <memory>
#include <optional>

namespace jetsql {

class LineReader {
  public:
    virtual ~LineReader() = default;
    // The next line without its line end; nullopt at the end of the input.
    // `prompt` is shown where there is somebody to see it.
    virtual std::optional<QString> readLine(const QString& prompt) = 0;
    // Whether a person types the lines (statements then end with ';').
    virtual bool interactive() const = 0;
};

// The terminal: line editing, and the history in `historyFile` (read at the
// start, written at the end; empty: no history kept).
std::unique_ptr<LineReader> terminalReader(const QString& historyFile);
// A stream read line by line (standard input when it is not a terminal).
std::unique_ptr<LineReader> streamReader(std::FILE* in);

}  // namespace jetsql
