// The result spool: rows as cells in a compact encoding, in memory up to a
// budget, then in a private temporary file read back through a window.
//
// A row is a 4-byte length followed by its cells; a cell is a tag byte and
// its payload: Null; integers in 1, 2, 4 or 8 bytes; a real in 8 bytes; a text
// or blob as its length (1 or 4 bytes) and its bytes.
#include "platform/db/ResultSpool.h"

#include "platform/runtime/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>

namespace db {

namespace {

enum Tag : uint8_t {
    kNull = 0,
    kInt8 = 1,
    kInt16 = 2,
    kInt32 = 3,
    kInt64 = 4,
    kReal = 5,
    kShortText = 6,
    kText = 7,
    kBlob = 8,
};

constexpr size_t kFileBufferBytes = size_t(1) << 20;  // writes and reads of the file
constexpr size_t kMaxCellHeader = 1 + 8;

std::atomic<size_t> gBudget{0};

// ---- Process identity in file names ----

// The start time of a process (clock ticks since boot), from /proc; 0 when the
// process does not exist.
unsigned long long processStart(long pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray stat = f.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0) return 0;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // Field 22 of the line is the start time; fields after ") " begin at 3.
    if (fields.size() < 20) return 0;
    return fields[19].toULongLong();
}

const QString& ownTag() {
    static const QString tag = QStringLiteral("%1-%2").arg(long(::getpid())).arg(processStart(::getpid()));
    return tag;
}

const QString kPrefix = QStringLiteral("narvo-result-");

// Files of this process still open, removed at a normal exit even when a
// result was never closed.
struct LiveFiles {
    std::mutex m;
    std::set<std::string> paths;
};
LiveFiles& liveFiles() {
    static LiveFiles* live = [] {
        auto* l = new LiveFiles;  // never destroyed: used by the exit handler
        std::atexit([] {
            LiveFiles& files = liveFiles();
            std::lock_guard<std::mutex> lock(files.m);
            for (const std::string& p : files.paths) ::unlink(p.c_str());
            files.paths.clear();
        });
        return l;
    }();
    return *live;
}

template <class T>
void put(char*& p, T v) {
    std::memcpy(p, &v, sizeof v);
    p += sizeof v;
}
template <class T>
T get(const char*& p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

// Writes one cell at `p` (room for kMaxCellHeader plus its bytes); returns the end.
char* encodeCell(char* p, const Cell& c) {
    switch (c.type) {
        case CellType::Null: *p++ = char(kNull); break;
        case CellType::Integer:
            if (c.integer >= INT8_MIN && c.integer <= INT8_MAX) {
                *p++ = char(kInt8);
                put(p, int8_t(c.integer));
            } else if (c.integer >= INT16_MIN && c.integer <= INT16_MAX) {
                *p++ = char(kInt16);
                put(p, int16_t(c.integer));
            } else if (c.integer >= INT32_MIN && c.integer <= INT32_MAX) {
                *p++ = char(kInt32);
                put(p, int32_t(c.integer));
            } else {
                *p++ = char(kInt64);
                put(p, int64_t(c.integer));
            }
            break;
        case CellType::Real:
            *p++ = char(kReal);
            put(p, c.real);
            break;
        case CellType::Text:
        case CellType::Blob:
            if (c.type == CellType::Text && c.size < 256) {
                *p++ = char(kShortText);
                put(p, uint8_t(c.size));
            } else {
                *p++ = char(c.type == CellType::Text ? kText : kBlob);
                put(p, uint32_t(c.size));
            }
            if (c.size) std::memcpy(p, c.data, size_t(c.size));
            p += c.size;
            break;
    }
    return p;
}

size_t cellRoom(const Cell& c) {
    return kMaxCellHeader + ((c.type == CellType::Text || c.type == CellType::Blob) ? size_t(c.size) : 0);
}

// Reads the cells of one row body [p, end).
void decodeCells(const char* p, const char* end, std::vector<Cell>& cells) {
    cells.clear();
    while (p < end) {
        Cell c;
        switch (uint8_t(*p++)) {
            case kNull: break;
            case kInt8:
                c.type = CellType::Integer;
                c.integer = get<int8_t>(p);
                break;
            case kInt16:
                c.type = CellType::Integer;
                c.integer = get<int16_t>(p);
                break;
            case kInt32:
                c.type = CellType::Integer;
                c.integer = get<int32_t>(p);
                break;
            case kInt64:
                c.type = CellType::Integer;
                c.integer = get<int64_t>(p);
                break;
            case kReal:
                c.type = CellType::Real;
                c.real = get<double>(p);
                break;
            case kShortText:
                c.type = CellType::Text;
                c.size = get<uint8_t>(p);
                c.data = p;
                p += c.size;
                break;
            case kText:
            case kBlob:
                c.type = uint8_t(p[-1]) == kText ? CellType::Text : CellType::Blob;
                c.size = get<uint32_t>(p);
                c.data = p;
                p += c.size;
                break;
            default: p = end; break;  // cannot happen: the spool wrote it
        }
        cells.push_back(c);
    }
}

}  // namespace

void ResultSpool::setMemoryBudget(size_t bytes) { gBudget = bytes; }

ResultSpool::ResultSpool() : budget_(gBudget ? gBudget.load() : kDefaultMemoryBudget) {}

ResultSpool::~ResultSpool() {
    if (fd_ >= 0) {
        ::close(fd_);
        const std::string p = QFile::encodeName(path_).toStdString();
        ::unlink(p.c_str());
        LiveFiles& files = liveFiles();
        std::lock_guard<std::mutex> lock(files.m);
        files.paths.erase(p);
    }
}

char* ResultSpool::reserve(size_t bytes) {
    if (used_ + bytes > capacity_) {
        size_t want = std::max(used_ + bytes, capacity_ * 2);
        if (fd_ < 0 && want > budget_) want = std::max(used_ + bytes, budget_);
        resizeBuffer(std::max<size_t>(want, 512));
    }
    return buffer_.get() + used_;
}

// Grows or shrinks the buffer without clearing it (its bytes are always
// written before they are read).
void ResultSpool::resizeBuffer(size_t bytes) {
    if (bytes == 0) {
        buffer_.reset();
        capacity_ = 0;
        return;
    }
    char* p = static_cast<char*>(std::realloc(buffer_.get(), bytes));
    if (!p) throw std::bad_alloc();
    (void)buffer_.release();
    buffer_.reset(p);
    capacity_ = bytes;
}

void ResultSpool::append(const Statement& st, int columns) {
    // The room a row needs is known only after reading its cells.
    Cell cells[64];
    std::vector<Cell> many;
    Cell* row = cells;
    if (columns > 64) {
        many.resize(size_t(columns));
        row = many.data();
    }
    size_t room = 4;
    for (int c = 0; c < columns; ++c) {
        row[c] = st.cell(c);
        room += cellRoom(row[c]);
    }
    if (fd_ < 0 && used_ + room > budget_) spill();
    char* start = reserve(room);
    char* p = start + 4;
    for (int c = 0; c < columns; ++c) p = encodeCell(p, row[c]);
    const uint32_t length = uint32_t(p - start - 4);
    std::memcpy(start, &length, 4);
    used_ += size_t(p - start);
    ++rows_;
    if (fd_ >= 0 && used_ >= kFileBufferBytes) flush();
}

void ResultSpool::spill() {
    const QString folder = QDir::tempPath();
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        path_ = QDir(folder).filePath(kPrefix + ownTag() + u'-' + QString::number(++counter) +
                                      QStringLiteral(".tmp"));
        const QByteArray name = QFile::encodeName(path_);
        fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ < 0 && errno != EEXIST) {
            const int error = errno;
            path_.clear();
            rt::raise(rt::err::DbGeneric,
                      QStringLiteral("The result of the query cannot be kept in the temporary "
                                     "folder '%1' (%2).")
                          .arg(QDir::toNativeSeparators(folder),
                               QString::fromLocal8Bit(std::strerror(error))));
        }
        if (fd_ >= 0) {
            LiveFiles& files = liveFiles();
            std::lock_guard<std::mutex> lock(files.m);
            files.paths.insert(name.toStdString());
        }
    }
    if (fd_ < 0)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The result of the query cannot be kept in the temporary folder "
                                 "'%1'.")
                      .arg(QDir::toNativeSeparators(folder)));
    flush();
}

void ResultSpool::writeAll(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, data, size, off_t(written_));
        if (n < 0) {
            if (errno == EINTR) continue;
            diskFailure(errno);
        }
        data += n;
        size -= size_t(n);
        written_ += uint64_t(n);
    }
}

void ResultSpool::flush() {
    if (used_ == 0) return;
    writeAll(buffer_.get(), used_);
    used_ = 0;
}

void ResultSpool::diskFailure(int error) {
    const QString folder = QDir::toNativeSeparators(QFileInfo(path_).absolutePath());
    // The spool is useless now: give the disk back at once.
    ::close(fd_);
    fd_ = -1;
    const std::string p = QFile::encodeName(path_).toStdString();
    ::unlink(p.c_str());
    {
        LiveFiles& files = liveFiles();
        std::lock_guard<std::mutex> lock(files.m);
        files.paths.erase(p);
    }
    rt::raise(rt::err::DbGeneric,
              QStringLiteral("The result of the query is too large for the local disk: the "
                             "temporary folder '%1' cannot take it (%2).")
                  .arg(folder, QString::fromLocal8Bit(std::strerror(error))));
}

void ResultSpool::finish() {
    finished_ = true;
    if (fd_ >= 0) {
        flush();
        resizeBuffer(0);
    } else if (capacity_ > used_ + 4096) {
        resizeBuffer(used_);
    }
    rewind();
}

void ResultSpool::rewind() { readOffset_ = 0; }

const char* ResultSpool::window(uint64_t offset, size_t size) {
    if (offset >= windowStart_ && offset + size <= windowStart_ + windowLength_)
        return window_.data() + (offset - windowStart_);
    const size_t capacity = std::max(size, kFileBufferBytes);
    if (window_.size() != capacity) {
        window_.resize(capacity);
        window_.shrink_to_fit();  // a long row's window is not kept
    }
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd_, window_.data() + got, capacity - got, off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            rt::raise(rt::err::DbGeneric,
                      QStringLiteral("The temporary copy of a query result '%1' cannot be read "
                                     "back (%2).")
                          .arg(path_, QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO))));
        got += size_t(n);
    }
    windowStart_ = offset;
    windowLength_ = got;
    return window_.data();
}

bool ResultSpool::next(std::vector<Cell>& cells) {
    const uint64_t total = fd_ >= 0 ? written_ : used_;
    if (readOffset_ >= total) {
        cells.clear();
        return false;
    }
    const char* p;
    uint32_t length;
    if (fd_ >= 0) {
        std::memcpy(&length, window(readOffset_, 4), 4);
        p = window(readOffset_, 4 + size_t(length)) + 4;
    } else {
        p = buffer_.get() + readOffset_;
        std::memcpy(&length, p, 4);
        p += 4;
    }
    decodeCells(p, p + length, cells);
    readOffset_ += 4 + uint64_t(length);
    return true;
}

QByteArray ResultSpool::encodeRow(const std::vector<Cell>& cells) {
    size_t room = 0;
    for (const Cell& c : cells) room += cellRoom(c);
    QByteArray out(qsizetype(room), Qt::Uninitialized);
    char* p = out.data();
    for (const Cell& c : cells) p = encodeCell(p, c);
    out.truncate(p - out.data());
    return out;
}

void ResultSpool::decodeRow(const QByteArray& row, std::vector<Cell>& cells) {
    decodeCells(row.constData(), row.constData() + row.size(), cells);
}

int removeStaleSpoolFiles() {
    const QDir folder(QDir::tempPath());
    int removed = 0;
    const QStringList names =
        folder.entryList({kPrefix + QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        // narvo-result-<pid>-<start>-<n>.tmp
        const QStringList parts = name.mid(kPrefix.size()).split(u'-');
        if (parts.size() != 3) continue;
        bool okPid = false, okStart = false;
        const long pid = parts[0].toLong(&okPid);
        const unsigned long long start = parts[1].toULongLong(&okStart);
        if (!okPid || !okStart || pid <= 0) continue;
        if (processStart(pid) == start) continue;  // its owner still runs
        if (QFile::remove(folder.filePath(name))) ++removed;
    }
    return removed;
}

}  // namespace db
