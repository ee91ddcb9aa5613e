// libmdb's reading of the catalog and the table definitions, in a child
// process (see LibmdbProbe.h).
#include "tools/jetimport/LibmdbProbe.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>

// mdbtools.h opens an extern "C" block around its system headers; the C++
// parts of glib must be seen first.
#include <fcntl.h>
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace jetimport {

namespace {

constexpr int kCatalogEntryIsSystem = int(0x80000002u);
constexpr qint64 kMaxProbeBytes = qint64(512) << 20;  // far beyond any real description
constexpr quint32 kProbeMagic = 0x4a455450;           // "JETP"

QString fromUtf8(const char* s) { return s ? QString::fromUtf8(s) : QString(); }

PropertyMap propertiesOf(const MdbProperties* props) {
    PropertyMap map;
    if (!props || !props->hash) return map;
    g_hash_table_foreach(
        props->hash,
        [](gpointer key, gpointer value, gpointer out) {
            (*static_cast<PropertyMap*>(out))[fromUtf8(static_cast<const char*>(key))] =
                fromUtf8(static_cast<const char*>(value));
        },
        &map);
    return map;
}

ProbedTable probeTable(MdbCatalogEntry* e) {
    ProbedTable t;
    t.name = fromUtf8(e->object_name);
    t.tdefPage = uint32_t(e->table_pg);
    MdbTableDef* td = mdb_read_table(e);
    if (!td) {
        t.problem = QStringLiteral("its definition cannot be read");
        return t;
    }
    if (!mdb_read_columns(td) || !td->columns || td->columns->len != td->num_cols) {
        mdb_free_tabledef(td);
        t.problem = QStringLiteral("its columns cannot be read");
        return t;
    }
    for (unsigned i = 0; i < td->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(td->columns, i));
        ProbedColumn c;
        c.name = fromUtf8(col->name);
        c.type = col->col_type;
        c.size = col->col_size;
        c.number = col->col_num;
        c.varIndex = int(col->var_col_num);
        c.fixedOffset = col->fixed_offset;
        c.fixed = col->is_fixed;
        c.autoLong = col->is_long_auto;
        c.autoGuid = col->is_uuid_auto;
        c.precision = col->col_scale;
        c.scale = col->col_prec;
        c.props = propertiesOf(col->props);
        t.columns.push_back(std::move(c));
    }
    t.props = propertiesOf(td->props);
    mdb_read_indices(td);
    if (td->indices && td->indices->len == td->num_idxs) {
        t.indexesRead = true;
        for (unsigned i = 0; i < td->indices->len; ++i) {
            auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(td->indices, i));
            ProbedIndex x;
            x.name = fromUtf8(idx->name);
            x.number = idx->index_num;
            x.type = idx->index_type;
            x.flags = idx->flags;
            for (unsigned k = 0; k < idx->num_keys && k < MDB_MAX_IDX_COLS; ++k)
                x.keys.push_back(idx->key_col_num[k]);
            t.indexes.push_back(std::move(x));
        }
    }
    mdb_free_tabledef(td);
    return t;
}

}  // namespace

// ---- The description sent from the child (in this namespace, so that the
// list templates find the operators of the element types) ----

static QDataStream& operator<<(QDataStream& s, const ProbedColumn& c) {
    return s << c.name << qint32(c.type) << qint32(c.size) << qint32(c.number) << qint32(c.varIndex)
             << qint32(c.fixedOffset) << c.fixed << c.autoLong << c.autoGuid << qint32(c.precision)
             << qint32(c.scale) << c.props;
}
static QDataStream& operator>>(QDataStream& s, ProbedColumn& c) {
    qint32 type, size, number, varIndex, fixedOffset, precision, scale;
    s >> c.name >> type >> size >> number >> varIndex >> fixedOffset >> c.fixed >> c.autoLong >>
        c.autoGuid >> precision >> scale >> c.props;
    c.type = type;
    c.size = size;
    c.number = number;
    c.varIndex = varIndex;
    c.fixedOffset = fixedOffset;
    c.precision = precision;
    c.scale = scale;
    return s;
}

static QDataStream& operator<<(QDataStream& s, const ProbedIndex& x) {
    s << x.name << qint32(x.number) << qint32(x.type) << qint32(x.flags) << quint32(x.keys.size());
    for (int k : x.keys) s << qint32(k);
    return s;
}
static QDataStream& operator>>(QDataStream& s, ProbedIndex& x) {
    qint32 number, type, flags;
    quint32 n;
    s >> x.name >> number >> type >> flags >> n;
    x.number = number;
    x.type = type;
    x.flags = flags;
    for (quint32 i = 0; i < n && i < 64 && s.status() == QDataStream::Ok; ++i) {
        qint32 k;
        s >> k;
        x.keys.push_back(k);
    }
    return s;
}

template <typename T>
static void writeList(QDataStream& s, const std::vector<T>& list) {
    s << quint32(list.size());
    for (const T& item : list) s << item;
}
template <typename T>
static void readList(QDataStream& s, std::vector<T>& list) {
    quint32 n;
    s >> n;
    for (quint32 i = 0; i < n && s.status() == QDataStream::Ok; ++i) {
        T item;
        s >> item;
        list.push_back(std::move(item));
    }
}

static QDataStream& operator<<(QDataStream& s, const ProbedTable& t) {
    s << t.name << quint32(t.tdefPage);
    writeList(s, t.columns);
    s << t.indexesRead;
    writeList(s, t.indexes);
    return s << t.props << t.problem;
}
static QDataStream& operator>>(QDataStream& s, ProbedTable& t) {
    quint32 page;
    s >> t.name >> page;
    t.tdefPage = page;
    readList(s, t.columns);
    s >> t.indexesRead;
    readList(s, t.indexes);
    return s >> t.props >> t.problem;
}

static QDataStream& operator<<(QDataStream& s, const ProbedObject& o) {
    return s << o.name << qint32(o.type) << quint32(o.page) << qint32(o.flags);
}
static QDataStream& operator>>(QDataStream& s, ProbedObject& o) {
    qint32 type, flags;
    quint32 page;
    s >> o.name >> type >> page >> flags;
    o.type = type;
    o.page = page;
    o.flags = flags;
    return s;
}

static QByteArray serialize(const Probe& p) {
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_6_0);
    s << kProbeMagic << qint32(p.outcome) << p.why;
    writeList(s, p.catalog);
    writeList(s, p.tables);
    return bytes;
}

static bool deserialize(const QByteArray& bytes, Probe& p) {
    QDataStream s(bytes);
    s.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    qint32 outcome = 0;
    s >> magic >> outcome >> p.why;
    if (magic != kProbeMagic || outcome < 0 || outcome > qint32(Probe::Outcome::Failed))
        return false;
    p.outcome = Probe::Outcome(outcome);
    readList(s, p.catalog);
    readList(s, p.tables);
    return s.status() == QDataStream::Ok && s.atEnd();
}

namespace {

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= n;
    }
    return true;
}

[[noreturn]] void runChild(const std::function<Probe()>& read, int dataFd, int errFd) {
    // The importer's own handlers (they remove the copy being written) must
    // not run in the child: a crash here is the child's alone.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGINT, SIGTERM, SIGPIPE})
        std::signal(sig, SIG_DFL);
    ::dup2(errFd, STDERR_FILENO);
    ::dup2(errFd, STDOUT_FILENO);
    const Probe p = read();
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(writeAll(dataFd, serialize(p)) ? 0 : 3);
}

QString signalName(int sig) {
    const char* name = ::sigabbrev_np(sig);
    return name ? QStringLiteral("SIG") + QString::fromLatin1(name) : QString::number(sig);
}

}  // namespace

bool isProbedSystemTable(const QString& name) {
    return name == u"MSysObjects" || name == u"MSysQueries" || name == u"MSysRelationships";
}

Probe probeInProcess(const QString& path, int jet3CodePage) {
    Probe p;
    if (jet3CodePage > 0)
        ::setenv("MDB_JET3_CHARSET", ("CP" + QByteArray::number(jet3CodePage)).constData(), 1);
    ::setenv("MDBICONV", "UTF-8", 1);
    ::unsetenv("MDBOPTS");  // no debugging output
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb) {
        p.outcome = Probe::Outcome::NotOpened;
        p.why = QStringLiteral("it cannot be opened as a Jet database");
        return p;
    }
    if (!mdb_read_catalog(mdb, MDB_ANY)) {
        mdb_close(mdb);
        p.outcome = Probe::Outcome::NoCatalog;
        p.why = QStringLiteral("its catalog cannot be read");
        return p;
    }
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        p.catalog.push_back(
            {fromUtf8(e->object_name), e->object_type, uint32_t(e->table_pg), int32_t(e->flags)});
        if (e->object_type != MDB_TABLE) continue;
        const bool user = (e->flags & kCatalogEntryIsSystem) == 0;
        if (user || isProbedSystemTable(fromUtf8(e->object_name)))
            p.tables.push_back(probeTable(e));
    }
    mdb_close(mdb);
    p.outcome = Probe::Outcome::Read;
    return p;
}

Probe probeInChild(const QString& path, int jet3CodePage, int timeoutMs) {
    return probeInChild([&] { return probeInProcess(path, jet3CodePage); }, timeoutMs);
}

Probe probeInChild(const std::function<Probe()>& read, int timeoutMs) {
    Probe p;
    int data[2], err[2];
    if (::pipe2(data, O_CLOEXEC) != 0) {
        p.why = QStringLiteral("no pipe for the reading process (%1)")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return p;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        p.why = QStringLiteral("no pipe for the reading process (%1)")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(data[0]);
        ::close(data[1]);
        return p;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(data[0]);
        ::close(err[0]);
        runChild(read, data[1], err[1]);
    }
    ::close(data[1]);
    ::close(err[1]);
    if (pid < 0) {
        p.why = QStringLiteral("the reading process cannot be started (%1)")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(data[0]);
        ::close(err[0]);
        return p;
    }

    QByteArray bytes, diagnostics;
    bool dataOpen = true, errOpen = true, timedOut = false, tooLong = false;
    QElapsedTimer timer;
    timer.start();
    while (dataOpen || errOpen) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd fds[2] = {{dataOpen ? data[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        const int rc = ::poll(fds, 2, int(std::min<qint64>(left, 1000)));
        if (rc < 0 && errno != EINTR) break;
        char buf[65536];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                (i == 0 ? dataOpen : errOpen) = false;
                continue;
            }
            QByteArray& into = i == 0 ? bytes : diagnostics;
            if (into.size() + n > kMaxProbeBytes) {
                tooLong = true;
                dataOpen = errOpen = false;
                break;
            }
            into.append(buf, n);
        }
    }
    ::close(data[0]);
    ::close(err[0]);
    if (timedOut || tooLong) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const QString said = QString::fromUtf8(diagnostics).trimmed();
    if (timedOut) {
        p.outcome = Probe::Outcome::TimedOut;
        p.why = QStringLiteral("reading its catalog did not end within %1 seconds")
                    .arg(timeoutMs / 1000.0, 0, 'g', 3);
    } else if (tooLong) {
        p.why = QStringLiteral("reading its catalog gave an endless description");
    } else if (WIFSIGNALED(status)) {
        p.outcome = Probe::Outcome::Crashed;
        p.why = QStringLiteral("the reading library stopped with %1 on its catalog")
                    .arg(signalName(WTERMSIG(status)));
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        p.why = QStringLiteral("the reading process failed (status %1)")
                    .arg(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    } else {
        Probe read;
        if (deserialize(bytes, read)) {
            read.diagnostics = said;
            return read;
        }
        p.why = QStringLiteral("the reading process gave an unreadable description");
    }
    p.diagnostics = said;
    return p;
}

}  // namespace jetimport
