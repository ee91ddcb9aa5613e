// The workstation's own copy of a query result. A result is read from the
// shared file in one step into a spool and served from there, so that no lock
// on the shared file outlives the opening of the result. Rows are kept as
// engine-neutral cells in a compact encoding: in memory up to a budget, then
// in a private temporary file on the local disk, read back through a window of
// bounded size. Memory stays bounded for any result size.
//
// Temporary files are named narvo-result-<pid>-<process start>-<n>.tmp in the
// system's temporary folder (TMPDIR), created readable by their owner only,
// and removed when the spool is destroyed or the process exits normally.
// After a crash, removeStaleSpoolFiles() (run once per process when the first
// database opens) removes the files whose owner process no longer runs.
#pragma once

#include "platform/db/Engine.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace db {

class ResultSpool {
public:
    // The memory a spool uses before it moves its rows to a temporary file.
    static constexpr size_t kDefaultMemoryBudget = size_t(8) << 20;
    // The budget of spools made from now on (0: the default). For tests.
    static void setMemoryBudget(size_t bytes);

    ResultSpool();
    ~ResultSpool();  // removes the temporary file
    ResultSpool(const ResultSpool&) = delete;
    ResultSpool& operator=(const ResultSpool&) = delete;

    // ---- Writing ----
    // Appends the current row of `st`, columns [0, columns). Throws rt::Error
    // when the local disk cannot take it (the file is then removed).
    void append(const Statement& st, int columns);
    // Ends writing. REQUIRES: called once, after the last append.
    void finish();

    // ---- Reading (forward) ----
    int64_t rowCount() const { return rows_; }
    // Back to before the first row.
    void rewind();
    // Reads the next row into `cells` (texts point into the spool's buffer,
    // valid until the next call); false after the last row.
    bool next(std::vector<Cell>& cells);

    // True when the rows went to a temporary file; its path (tests).
    bool onDisk() const { return fd_ >= 0; }
    QString filePath() const { return path_; }

    // One row's cells in the spool's encoding, and back (for rows changed
    // after the result was read).
    static QByteArray encodeRow(const std::vector<Cell>& cells);
    static void decodeRow(const QByteArray& row, std::vector<Cell>& cells);

private:
    void spill();
    void flush();
    void writeAll(const char* data, size_t size);
    const char* window(uint64_t offset, size_t size);
    [[noreturn]] void diskFailure(int error);

    char* reserve(size_t bytes);

    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    void resizeBuffer(size_t bytes);

    std::unique_ptr<char, Free> buffer_;  // all rows (in memory) or those not yet written (on disk)
    size_t capacity_ = 0;                 // bytes allocated for buffer_
    size_t used_ = 0;                     // bytes of buffer_ in use
    size_t budget_;
    int64_t rows_ = 0;
    bool finished_ = false;
    int fd_ = -1;
    QString path_;
    uint64_t written_ = 0;    // bytes in the file
    uint64_t readOffset_ = 0; // the next row's offset
    std::vector<char> window_;  // a part of the file read back
    uint64_t windowStart_ = 0;
    size_t windowLength_ = 0;
};

// Removes the spool files of processes that no longer run. Returns how many.
int removeStaleSpoolFiles();

}  // namespace db
