// A SQLite VFS shim for tests: it passes everything to the system's own VFS,
// except that a test can make the next reads or writes fail the way a full
// disk or a failing disk or network makes them fail. Installed as the default
// VFS of the test process, so every connection the database layer opens goes
// through it; it does nothing until a fault is armed.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <stdexcept>

namespace faulty {

// The result code the next writes (or reads) get; 0: none. `after` lets that
// many calls through first.
struct Faults {
    std::atomic<int> write{0};
    std::atomic<int> read{0};
    std::atomic<int> after{0};
    std::atomic<int> hits{0};  // calls that failed
};
inline Faults& faults() {
    static Faults f;
    return f;
}

struct File {
    sqlite3_file base;
    sqlite3_file* real;  // the system VFS's file, right after this struct
};

inline sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

inline bool fire(std::atomic<int>& code, int& rc) {
    const int c = code.load();
    if (c == 0) return false;
    if (faults().after.fetch_sub(1) > 0) return false;
    ++faults().hits;
    rc = c;
    return true;
}

inline int xClose(sqlite3_file* f) {
    int rc = real(f)->pMethods ? real(f)->pMethods->xClose(real(f)) : SQLITE_OK;
    return rc;
}
inline int xRead(sqlite3_file* f, void* p, int n, sqlite3_int64 off) {
    int rc;
    if (fire(faults().read, rc)) return rc;
    return real(f)->pMethods->xRead(real(f), p, n, off);
}
inline int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 off) {
    int rc;
    if (fire(faults().write, rc)) return rc;
    return real(f)->pMethods->xWrite(real(f), p, n, off);
}
inline int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    return real(f)->pMethods->xTruncate(real(f), size);
}
inline int xSync(sqlite3_file* f, int flags) {
    int rc;
    if (fire(faults().write, rc)) return rc;
    return real(f)->pMethods->xSync(real(f), flags);
}
inline int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return real(f)->pMethods->xFileSize(real(f), size);
}
inline int xLock(sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); }
inline int xUnlock(sqlite3_file* f, int l) { return real(f)->pMethods->xUnlock(real(f), l); }
inline int xCheckReservedLock(sqlite3_file* f, int* out) {
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
inline int xFileControl(sqlite3_file* f, int op, void* arg) {
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
inline int xSectorSize(sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); }
inline int xDeviceCharacteristics(sqlite3_file* f) {
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}

inline const sqlite3_io_methods kMethods = {
    1,  // no shared memory, no memory mapping: the rollback journal needs neither
    xClose, xRead, xWrite, xTruncate, xSync, xFileSize, xLock, xUnlock, xCheckReservedLock,
    xFileControl, xSectorSize, xDeviceCharacteristics,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

inline sqlite3_vfs* systemVfs() {
    static sqlite3_vfs* v = sqlite3_vfs_find("unix");
    return v;
}

inline int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    File* file = reinterpret_cast<File*>(f);
    file->real = reinterpret_cast<sqlite3_file*>(file + 1);
    std::memset(file->real, 0, size_t(systemVfs()->szOsFile));
    const int rc = systemVfs()->xOpen(systemVfs(), name, file->real, flags, outFlags);
    file->base.pMethods = rc == SQLITE_OK ? &kMethods : nullptr;
    return rc;
}

// Makes the shim the default VFS (once per process).
inline void install() {
    static sqlite3_vfs vfs = [] {
        sqlite3_vfs v = *systemVfs();
        v.iVersion = 1;  // no xCurrentTimeInt64 etc. needed beyond version 1
        v.szOsFile = int(sizeof(File)) + systemVfs()->szOsFile;
        v.zName = "faulty";
        v.pNext = nullptr;
        v.xOpen = xOpen;
        return v;
    }();
    static const int rc = sqlite3_vfs_register(&vfs, 1);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot register the faulty VFS");
}

// Arms faults while it lives.
class Arm {
public:
    Arm(int writeCode, int readCode, int after = 0) {
        faults().hits = 0;
        faults().after = after;
        faults().read = readCode;
        faults().write = writeCode;
    }
    ~Arm() {
        faults().write = 0;
        faults().read = 0;
    }
    int hits() const { return faults().hits; }
};

}  // namespace faulty
