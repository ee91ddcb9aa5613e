// Jet 3 and Jet 4 files: pages, table definitions, usage maps and rows read
// here; the catalog and column definitions from libmdb in a child process (see
// JetReader.h).
//
// Row layout, all offsets relative to the row's start on its page:
//   Jet 4: u16 column count | fixed columns | variable columns | u16 end of
//          data | u16 offsets of the variable columns, last first | u16
//          variable count | null mask, one bit per column number
//   Jet 3: u8 column count | fixed | variable | u8 offsets (end of data and
//          the variable columns, last first) | jump table (one entry per 256
//          bytes of the row) | u8 variable count | null mask
// In the null mask 1 means "has a value"; a Yes/No column's value is its bit.
// Row offsets on a data page carry two flags: 0x4000 the row moved (its place
// holds a 4-byte page << 8 | row pointer to its new place), 0x8000 the row is
// not read in a table scan (deleted, or the new place of a moved row).
#include "tools/jetimport/JetReader.h"

#include "platform/runtime/Error.h"
#include "tools/jetimport/JetQueries.h"
#include "tools/jetimport/LibmdbProbe.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace jetimport {

namespace {

constexpr int kOffsetMask = 0x1fff;
constexpr int kNotScanned = 0x8000;
constexpr int kMovedRow = 0x4000;
constexpr uint8_t kDataPage = 0x01;
constexpr uint8_t kTableDefinitionPage = 0x02;
constexpr uint8_t kUsageMapPage = 0x05;
constexpr int kMaxMoves = 16;  // a moved row moved again, at most this often
constexpr int kMaxDefinitionPages = 4096;
constexpr int32_t kSystemObject = int32_t(0x80000002u);

// Object types in MSysObjects.
constexpr int kTableObject = 1;
constexpr int kOdbcLinkedTable = 4;
constexpr int kQueryObject = 5;
constexpr int kLinkedTable = 6;

[[noreturn]] void fail(int32_t number, const QString& text) { rt::raise(number, text); }

bool isYes(const PropertyMap& props, const char* key) {
    return props.value(QString::fromLatin1(key)).compare(u"yes", Qt::CaseInsensitive) == 0;
}

std::optional<bool> yesNo(const PropertyMap& props, const char* key) {
    const QString v = props.value(QString::fromLatin1(key));
    if (v.compare(u"yes", Qt::CaseInsensitive) == 0) return true;
    if (v.compare(u"no", Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

// The raw bytes of a table definition, its pages joined: the first page whole,
// each further page from offset 8 (after its header), as libmdb reads them.
struct Definition {
    QByteArray bytes;
    int64_t rowCount = 0;
    int64_t autoNumber = 0;
    int numVarCols = 0;
    int numCols = 0;
    uint32_t usageMap = 0;  // page << 8 | row
    struct Column {
        int type = 0;
        int number = 0;
        int misc = 0;
        QString name;
    };
    std::vector<Column> columns;  // in definition order
    struct RealIndex {
        std::vector<std::pair<int, bool>> keys;  // column number, descending
        int flags = 0;
    };
    std::vector<RealIndex> realIndexes;
    struct LogicalIndex {
        int number = 0;
        int realNumber = 0;
        int type = 0;
        QString name;
    };
    std::vector<LogicalIndex> logicalIndexes;
};

}  // namespace

namespace {

// A whole number of a Byte, Integer or Long value; nothing otherwise.
std::optional<int64_t> wholeNumber(const rt::Variant& v) {
    switch (v.type()) {
        case rt::VarType::Byte:
            return v.asByte();
        case rt::VarType::Int16:
            return v.asInt16();
        case rt::VarType::Int32:
            return v.asInt32();
        default:
            return std::nullopt;
    }
}

QString textOf(const rt::Variant& v) {
    return v.type() == rt::VarType::Text ? v.asText() : QString();
}

int columnIndex(const JetTable& t, const char* name) {
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

}  // namespace

int fixedWidth(JetColumnType type) {
    switch (type) {
        case JetColumnType::Byte:
            return 1;
        case JetColumnType::Integer:
            return 2;
        case JetColumnType::Long:
        case JetColumnType::Single:
            return 4;
        case JetColumnType::Currency:
        case JetColumnType::Double:
        case JetColumnType::DateTime:
            return 8;
        case JetColumnType::Guid:
            return 16;
        case JetColumnType::Decimal:
            return 17;
        default:
            return 0;
    }
}

// ---- The file ----

struct JetFile::Impl {
    QString path;
    qint64 fileSize = 0;
    JetHeader header;
    const JetLayout* layout = nullptr;
    int fd = -1;
    uint32_t pageCount = 0;
    std::unique_ptr<CodePageText> codePage;  // Jet 3 text

    Probe probe;
    struct Object {
        QString name;
        int type = 0;
        uint32_t id = 0;
        int32_t flags = 0;
        const ProbedTable* table = nullptr;  // tables: libmdb's reading
    };
    std::vector<Object> objects;  // the catalog as read from MSysObjects' rows
    std::vector<const Object*> userTables;
    QStringList other;
    QStringList warnings;

    // How one column lies in a row.
    struct RowColumn {
        int type = 0;
        int size = 0;
        int number = 0;       // bit in the null mask (includes deleted columns)
        int varIndex = 0;     // entry in the variable-offset table
        int fixedOffset = 0;  // after the column count
        bool fixed = false;
        int scale = 0;
        const CodePageText* text = nullptr;  // Jet 3 text and memo
    };
    struct TableInfo {
        const Object* object = nullptr;
        Definition def;
        JetTable table;
        std::vector<RowColumn> layout;
    };
    std::map<QString, std::unique_ptr<TableInfo>> tables;
    std::map<int, std::unique_ptr<CodePageText>> codePages;

    ~Impl() {
        if (fd >= 0) ::close(fd);
    }

    bool jet3() const { return header.version == JetVersion::Jet3; }

    [[noreturn]] void damaged(const QString& what) const {
        fail(rt::err::DbUnrecognised,
             QStringLiteral("The database '%1' is damaged: %2.").arg(path, what));
    }

    [[noreturn]] void cutShort(const QString& what) const {
        fail(rt::err::DbUnrecognised,
             QStringLiteral("The database '%1' is damaged: it has been cut short (%2; the "
                            "file holds %3 pages of %4 bytes).")
                 .arg(path, what)
                 .arg(pageCount)
                 .arg(layout->pageSize));
    }

    // Reads page `n` into `out` (layout->pageSize bytes), decrypted.
    void readPage(uint32_t n, uint8_t* out, const QString& what) const {
        if (n >= pageCount) cutShort(QStringLiteral("%1 lies on page %2").arg(what).arg(n));
        const size_t size = size_t(layout->pageSize);
        size_t done = 0;
        while (done < size) {
            const ssize_t got =
                ::pread(fd, out + done, size - done, off_t(n) * off_t(size) + off_t(done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0)
                fail(rt::err::DbGeneric,
                     QStringLiteral("The file '%1' cannot be read (%2).")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            if (got == 0) cutShort(QStringLiteral("%1 lies on page %2").arg(what).arg(n));
            done += size_t(got);
        }
        if (n != 0 && header.pageKey != 0) {
            const uint32_t k = header.pageKey ^ n;
            const uint8_t key[4] = {uint8_t(k), uint8_t(k >> 8), uint8_t(k >> 16),
                                    uint8_t(k >> 24)};
            rc4(key, 4, out, size);
        }
    }

    // Finds row `row` of a data page: its offset and size, with the flags of
    // its row-table entry. False when the page has no such row.
    bool findRow(const uint8_t* page, int row, int& start, int& size, int& flags) const {
        const int rco = layout->rowCountOffset;
        const int rows = readU16(page + rco);
        if (row < 0 || row >= rows || rco + 2 + 2 * rows > layout->pageSize) return false;
        const int raw = readU16(page + rco + 2 + 2 * row);
        const int end = row == 0 ? layout->pageSize : (readU16(page + rco + 2 * row) & kOffsetMask);
        start = raw & kOffsetMask;
        flags = raw & ~kOffsetMask;
        if (start < rco + 2 + 2 * rows || start > end || end > layout->pageSize) return false;
        size = end - start;
        return true;
    }

    QString decodeName(const uint8_t* p, size_t n) const {
        return jet3() ? codePage->decode(p, n) : decodeText(p, n);
    }

    Definition readDefinition(uint32_t tdefPage, const QString& table) const;
    std::vector<uint32_t> dataPages(const Definition& def, const QString& table);
    QByteArray longValue(const uint8_t* field, size_t size, const QString& where) const;

    const Object* find(const QString& name, int type) const {
        for (const Object& o : objects)
            if (o.type == type && o.name == name) return &o;
        return nullptr;
    }

    const CodePageText* textOf(int codePage) {
        if (codePage <= 0 || codePage == this->codePage->codePage()) return this->codePage.get();
        auto& slot = codePages[codePage];
        if (!slot) slot = std::make_unique<CodePageText>(codePage);
        return slot->known() ? slot.get() : this->codePage.get();
    }

    TableInfo& info(const Object& o);
    TableInfo& info(const QString& name) {
        auto it = tables.find(name);
        if (it != tables.end()) return *it->second;
        for (const Object& o : objects)
            if (o.type == kTableObject && o.name == name && o.table) return info(o);
        fail(rt::err::DbNoSuchTable,
             QStringLiteral("The database '%1' has no table '%2'.").arg(path, name));
    }
    int64_t readRows(TableInfo& t,
                     const std::function<void(const std::vector<rt::Variant>&)>& onRow);
};

Definition JetFile::Impl::readDefinition(uint32_t tdefPage, const QString& table) const {
    const JetLayout& l = *layout;
    const int ps = l.pageSize;
    Definition d;
    std::vector<uint8_t> page(size_t(ps), 0);
    const QString what = table == u"MSysObjects"
                             ? QStringLiteral("the definition of its catalog")
                             : QStringLiteral("the definition of table '%1'").arg(table);
    readPage(tdefPage, page.data(), what);
    if (page[0] != kTableDefinitionPage)
        damaged(what + QStringLiteral(" is not where it should be"));
    d.bytes.append(reinterpret_cast<const char*>(page.data()), ps);
    QSet<uint32_t> seen{tdefPage};
    for (uint32_t next = readU32(page.data() + 4); next != 0; next = readU32(page.data() + 4)) {
        if (seen.contains(next) || seen.size() >= kMaxDefinitionPages)
            damaged(what + QStringLiteral(" runs in a circle"));
        seen.insert(next);
        readPage(next, page.data(), what);
        if (page[0] != kTableDefinitionPage)
            damaged(what + QStringLiteral(" continues on a page of another kind"));
        d.bytes.append(reinterpret_cast<const char*>(page.data()) + 8, ps - 8);
    }

    const auto* b = reinterpret_cast<const uint8_t*>(d.bytes.constData());
    const int n = int(d.bytes.size());
    int pos = 0;
    auto need = [&](int bytes) {
        if (bytes < 0 || pos > n - bytes) damaged(what + QStringLiteral(" is cut short"));
    };
    d.rowCount = readU32(b + l.tdefRowCount);
    d.autoNumber = readU32(b + l.tdefAutoNumber);
    d.numVarCols = readU16(b + l.tdefNumVarCols);
    d.numCols = readU16(b + l.tdefNumCols);
    const uint32_t numIdx = readU32(b + l.tdefNumIndexes);
    const uint32_t numRealIdx = readU32(b + l.tdefNumRealIndexes);
    d.usageMap = readU32(b + l.tdefUsageMap);
    if (numIdx > 1000 || numRealIdx > 1000)
        damaged(what + QStringLiteral(" records %1 indexes").arg(std::max(numIdx, numRealIdx)));

    pos = l.tdefColumnsStart + int(numRealIdx) * l.realIndexCountSize;
    need(d.numCols * l.columnEntrySize);
    for (int i = 0; i < d.numCols; ++i) {
        const uint8_t* c = b + pos + i * l.columnEntrySize;
        d.columns.push_back({c[0], readU16(c + l.columnNumber), readU16(c + l.columnMisc), {}});
    }
    pos += d.numCols * l.columnEntrySize;
    auto name = [&]() {
        need(l.nameLengthSize);
        const int len = l.nameLengthSize == 1 ? b[pos] : readU16(b + pos);
        pos += l.nameLengthSize;
        need(len);
        const QString s = decodeName(b + pos, size_t(len));
        pos += len;
        return s;
    };
    for (Definition::Column& c : d.columns) c.name = name();

    need(int(numRealIdx) * l.realIndexEntrySize);
    for (uint32_t i = 0; i < numRealIdx; ++i) {
        const uint8_t* e = b + pos + int(i) * l.realIndexEntrySize;
        Definition::RealIndex r;
        for (int k = 0; k < 10; ++k) {
            const uint8_t* key = e + l.realIndexLead + 3 * k;
            const int column = readU16(key);
            if (column != 0xffff) r.keys.emplace_back(column, key[2] != 0x01);
        }
        r.flags = e[l.realIndexFlags];
        d.realIndexes.push_back(std::move(r));
    }
    pos += int(numRealIdx) * l.realIndexEntrySize;

    need(int(numIdx) * l.logicalIndexEntrySize);
    for (uint32_t i = 0; i < numIdx; ++i) {
        const uint8_t* e = b + pos + int(i) * l.logicalIndexEntrySize + l.logicalIndexLead;
        Definition::LogicalIndex x;
        x.number = int(readU32(e));
        x.realNumber = int(readU32(e + 4));
        x.type = e[19];
        d.logicalIndexes.push_back(x);
    }
    pos += int(numIdx) * l.logicalIndexEntrySize;
    for (Definition::LogicalIndex& x : d.logicalIndexes) x.name = name();
    return d;
}

std::vector<uint32_t> JetFile::Impl::dataPages(const Definition& def, const QString& table) {
    const int ps = layout->pageSize;
    const QString what = QStringLiteral("the page list of table '%1'").arg(table);
    std::vector<uint8_t> page(size_t(ps), 0);
    readPage(def.usageMap >> 8, page.data(), what);
    int start = 0, size = 0, flags = 0;
    if (page[0] != kDataPage ||
        !findRow(page.data(), int(def.usageMap & 0xff), start, size, flags) || size < 1)
        damaged(what + QStringLiteral(" cannot be found"));
    const QByteArray map(reinterpret_cast<const char*>(page.data()) + start, size);
    const auto* m = reinterpret_cast<const uint8_t*>(map.constData());

    std::vector<uint32_t> pages;
    auto add = [&](uint64_t p) {
        if (p >= pageCount) cutShort(QStringLiteral("table '%1' owns page %2").arg(table).arg(p));
        pages.push_back(uint32_t(p));
    };
    if (m[0] == 0) {
        if (size < 5) damaged(what + QStringLiteral(" is cut short"));
        const uint64_t first = readU32(m + 1);
        for (int i = 0; i < (size - 5) * 8; ++i)
            if (m[5 + i / 8] & (1 << (i % 8))) add(first + uint64_t(i));
    } else if (m[0] == 1) {
        const uint64_t perMapPage = uint64_t(ps - 4) * 8;
        std::vector<uint8_t> bitmap(size_t(ps), 0);
        for (int k = 0; 1 + 4 * k + 4 <= size; ++k) {
            const uint32_t mp = readU32(m + 1 + 4 * k);
            if (mp == 0) continue;
            readPage(mp, bitmap.data(), what);
            if (bitmap[0] != kUsageMapPage)
                damaged(what + QStringLiteral(" points to a page of another kind"));
            for (uint64_t i = 0; i < perMapPage; ++i)
                if (bitmap[4 + i / 8] & (1 << (i % 8))) add(uint64_t(k) * perMapPage + i);
        }
    } else {
        // A kind of map this reader does not know: every page is looked at,
        // and the table's own data pages are read (as libmdb does).
        warnings << QStringLiteral(
                        "table %1: its page list is of an unknown kind (%2); every page "
                        "of the file was searched for its rows")
                        .arg(table)
                        .arg(m[0]);
        for (uint32_t p = 1; p < pageCount; ++p) pages.push_back(p);
    }
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return pages;
}

QByteArray JetFile::Impl::longValue(const uint8_t* field, size_t size, const QString& where) const {
    if (size < 12) damaged(where + QStringLiteral(": a long value reference is cut short"));
    const LongValueRef ref = decodeLongValueRef(field);
    if (qint64(ref.length) > fileSize)
        damaged(where + QStringLiteral(": a long value is longer than the file"));
    if (ref.kind == LongValueRef::Inline) {
        if (12 + size_t(ref.length) > size)
            damaged(where + QStringLiteral(": a long value runs past its row"));
        return QByteArray(reinterpret_cast<const char*>(field + 12), int(ref.length));
    }
    QByteArray out;
    out.reserve(int(ref.length));
    std::vector<uint8_t> page(size_t(layout->pageSize), 0);
    uint32_t pageRow = ref.pageRow;
    QSet<uint32_t> seen;
    while (uint32_t(out.size()) < ref.length) {
        if (pageRow == 0 || seen.contains(pageRow))
            damaged(where + QStringLiteral(": a part of a long value is missing"));
        seen.insert(pageRow);
        readPage(pageRow >> 8, page.data(), where + QStringLiteral(": a long value"));
        int start = 0, length = 0, flags = 0;
        if (page[0] != kDataPage || std::memcmp(page.data() + 4, "LVAL", 4) != 0)
            damaged(where + QStringLiteral(": a long value points to a page of another kind"));
        if (!findRow(page.data(), int(pageRow & 0xff), start, length, flags))
            damaged(where + QStringLiteral(": a part of a long value is missing"));
        const uint8_t* part = page.data() + start;
        const uint32_t remaining = ref.length - uint32_t(out.size());
        if (ref.kind == LongValueRef::SinglePage) {
            if (uint32_t(length) < remaining)
                damaged(where + QStringLiteral(": a long value is shorter than recorded"));
            out.append(reinterpret_cast<const char*>(part), int(remaining));
            break;
        }
        if (length <= 4) damaged(where + QStringLiteral(": a part of a long value is empty"));
        const uint32_t take = std::min<uint32_t>(uint32_t(length - 4), remaining);
        out.append(reinterpret_cast<const char*>(part + 4), int(take));
        pageRow = readU32(part);
    }
    return out;
}

JetFile::JetFile() : d_(std::make_unique<Impl>()) {}
JetFile::~JetFile() = default;

std::unique_ptr<JetFile> JetFile::open(const QString& path, const QString& password,
                                       const OpenOptions& options) {
    const QFileInfo fi(path);
    if (!fi.exists())
        fail(rt::err::DbGeneric, QStringLiteral("Could not find file '%1'.").arg(path));
    if (!fi.isFile())
        fail(rt::err::DbGeneric, QStringLiteral("'%1' is not a database file.").arg(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail(rt::err::DbGeneric,
             QStringLiteral("The file '%1' cannot be read (%2).").arg(path, f.errorString()));
    const qint64 size = f.size();
    const QByteArray first = f.read(kJetPageSize);
    f.close();

    const QByteArray magic = first.mid(4, 15);
    const bool jetMagic = magic == "Standard Jet DB" || magic == "Standard ACE DB";
    const std::optional<JetHeader> header = parseHeader(first);
    auto cutShort = [&](int pageSize) {
        fail(rt::err::DbUnrecognised,
             QStringLiteral("The database '%1' is damaged: it has been cut short (%2 bytes, "
                            "%3 whole pages of %4 bytes).")
                 .arg(path)
                 .arg(size)
                 .arg(size / pageSize)
                 .arg(pageSize));
    };
    if (!header) {
        if (jetMagic) cutShort(kJetPageSize);
        fail(rt::err::DbUnrecognised,
             QStringLiteral("'%1' is not a Jet database file (unrecognized database format).")
                 .arg(path));
    }
    if (header->version == JetVersion::Ace)
        fail(rt::err::DbUnrecognised,
             QStringLiteral("'%1' is an ACE (version 12 or later) database; only Jet 3 and Jet 4 "
                            "databases can be imported. Save it in the Jet 4 format first.")
                 .arg(path));
    const JetLayout& layout = layoutOf(header->version);
    // A Jet file is whole pages: the definition page, the global usage map and
    // the system catalog at least.
    if (size < 3 * layout.pageSize || size % layout.pageSize != 0 ||
        first.size() < std::min<qint64>(size, kJetPageSize))
        cutShort(layout.pageSize);
    if (!header->password.isEmpty() && password != header->password) {
        if (password.isEmpty())
            fail(rt::err::DbBadPassword,
                 QStringLiteral("The database '%1' is protected by a database password, and "
                                "none was given.")
                     .arg(path));
        fail(rt::err::DbBadPassword,
             QStringLiteral("Not a valid password for the database '%1'.").arg(path));
    }

    std::unique_ptr<JetFile> jf(new JetFile());
    Impl& d = *jf->d_;
    d.path = path;
    d.fileSize = size;
    d.header = *header;
    d.layout = &layout;
    d.pageCount = uint32_t(size / layout.pageSize);
    if (d.jet3()) {
        d.codePage = std::make_unique<CodePageText>(header->codePage ? header->codePage : 1252);
        if (!d.codePage->known())
            fail(rt::err::DbUnrecognised,
                 QStringLiteral("The database '%1' keeps its text in the code page %2, which this "
                                "system cannot convert.")
                     .arg(path)
                     .arg(header->codePage));
    }
    d.fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (d.fd < 0)
        fail(rt::err::DbGeneric, QStringLiteral("The file '%1' cannot be read (%2).")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(errno))));

    // 1. libmdb's reading of the catalog and the table definitions.
    d.probe = probeInChild(path, d.jet3() ? d.codePage->codePage() : 0, options.catalogTimeoutMs);
    if (d.probe.outcome != Probe::Outcome::Read) {
        // Where the catalog's own pages tell why (a file cut short ...), that is
        // the reason given.
        const Definition catalog = d.readDefinition(2, QStringLiteral("MSysObjects"));
        std::vector<uint8_t> page(size_t(layout.pageSize), 0);
        for (const uint32_t p : d.dataPages(catalog, QStringLiteral("MSysObjects")))
            d.readPage(p, page.data(), QStringLiteral("the catalog"));
        QString why = d.probe.why;
        const QString said = d.probe.diagnostics.simplified();
        if (!said.isEmpty())
            why += QStringLiteral(" (the reading library said: %1)").arg(said.left(600));
        d.damaged(why);
    }

    // 2. The catalog's own rows, read here with every page checked, must name
    //    the tables libmdb read.
    if (d.probe.catalog.empty()) d.damaged(QStringLiteral("its catalog is empty"));
    const ProbedTable* catalogTable = nullptr;
    for (const ProbedTable& t : d.probe.tables)
        if (t.tdefPage == 2 && t.name == u"MSysObjects") catalogTable = &t;
    if (!catalogTable) d.damaged(QStringLiteral("its catalog lacks its own system table"));
    if (!catalogTable->problem.isEmpty())
        d.damaged(QStringLiteral("its catalog: %1").arg(catalogTable->problem));
    {
        Impl::Object self{QStringLiteral("MSysObjects"), kTableObject, 2, kSystemObject,
                          catalogTable};
        Impl::TableInfo& catalog = d.info(self);
        const int id = columnIndex(catalog.table, "Id"), name = columnIndex(catalog.table, "Name"),
                  type = columnIndex(catalog.table, "Type"),
                  flags = columnIndex(catalog.table, "Flags");
        if (id < 0 || name < 0 || type < 0 || flags < 0)
            d.damaged(QStringLiteral("its catalog lacks the columns Id, Name, Type and Flags"));
        d.readRows(catalog, [&](const std::vector<rt::Variant>& row) {
            Impl::Object o;
            o.name = textOf(row[size_t(name)]);
            o.type = int(wholeNumber(row[size_t(type)]).value_or(0));
            o.id = uint32_t(wholeNumber(row[size_t(id)]).value_or(0));
            o.flags = int32_t(wholeNumber(row[size_t(flags)]).value_or(0));
            d.objects.push_back(o);
        });
        d.tables.clear();  // the entry above pointed to a local object
    }
    if (d.objects.empty()) d.damaged(QStringLiteral("its catalog is empty"));
    if (!d.find(QStringLiteral("MSysObjects"), kTableObject))
        d.damaged(QStringLiteral("its catalog lacks its own system table"));
    for (Impl::Object& o : d.objects) {
        if (o.type == kTableObject) {
            const uint32_t page = o.id & 0x00ffffffu;
            for (const ProbedTable& t : d.probe.tables)
                if (t.tdefPage == page && t.name == o.name) o.table = &t;
            const bool user = (o.flags & kSystemObject) == 0;
            if (user || isProbedSystemTable(o.name)) {
                if (!o.table)
                    d.damaged(QStringLiteral("its catalog names the table '%1', which the reading "
                                             "library did not find")
                                  .arg(o.name));
                if (!o.table->problem.isEmpty()) {
                    // Where the table's own pages tell why, that is the reason given.
                    d.dataPages(d.readDefinition(o.table->tdefPage, o.name), o.name);
                    d.damaged(QStringLiteral("table '%1': %2").arg(o.name, o.table->problem));
                }
            }
        } else if (o.type == kLinkedTable || o.type == kOdbcLinkedTable) {
            d.other << QStringLiteral("linked table %1").arg(o.name);
        }
    }
    for (const Impl::Object& o : d.objects)
        if (o.type == kTableObject && (o.flags & kSystemObject) == 0) d.userTables.push_back(&o);
    return jf;
}

const QString& JetFile::path() const { return d_->path; }
const JetHeader& JetFile::header() const { return d_->header; }

QStringList JetFile::tableNames() const {
    QStringList names;
    for (const Impl::Object* o : d_->userTables) names << o->name;
    return names;
}

QStringList JetFile::otherObjects() const { return d_->other; }

QStringList JetFile::diagnostics() const {
    QStringList lines;
    for (const QString& line : d_->probe.diagnostics.split(u'\n', Qt::SkipEmptyParts))
        if (!lines.contains(line.trimmed())) lines << line.trimmed();
    return lines;
}

QStringList JetFile::warnings() const { return d_->warnings; }

// ---- Tables ----

JetFile::Impl::TableInfo& JetFile::Impl::info(const Object& o) {
    auto& slot = tables[o.name];
    if (slot) return *slot;
    auto t = std::make_unique<TableInfo>();
    t->object = &o;
    const ProbedTable& probe = *o.table;
    const QString& name = o.name;
    t->def = readDefinition(probe.tdefPage, name);
    const Definition& def = t->def;
    if (size_t(def.numCols) != probe.columns.size())
        damaged(QStringLiteral("the columns of table '%1' cannot be read (%2 recorded, %3 found)")
                    .arg(name)
                    .arg(def.numCols)
                    .arg(probe.columns.size()));

    if (def.numCols == 0) damaged(QStringLiteral("table '%1' has no columns").arg(name));

    JetTable& out = t->table;
    out.name = name;
    out.storedRowCount = def.rowCount;
    out.lastAutoNumber = def.autoNumber;
    out.validationRule = probe.props.value(QStringLiteral("ValidationRule")).trimmed();
    out.validationText = probe.props.value(QStringLiteral("ValidationText"));
    for (const ProbedColumn& pc : probe.columns) {
        // The definition's own entry for this column: its name and code page.
        const Definition::Column* dc = nullptr;
        for (const Definition::Column& c : def.columns)
            if (c.number == pc.number) dc = &c;
        if (!dc || dc->type != pc.type)
            damaged(QStringLiteral("the columns of table '%1' cannot be read (column '%2')")
                        .arg(name, pc.name));
        JetColumn c;
        c.name = dc->name.isEmpty() ? pc.name : dc->name;
        c.type = pc.type;
        c.size = pc.size;
        if (c.type == int(JetColumnType::Text)) c.textLength = jet3() ? c.size : c.size / 2;
        if (c.type == int(JetColumnType::Decimal)) {
            // libmdb keeps the definition's precision byte in col_scale and its
            // scale byte in col_prec; a scale above the precision means the
            // library got them the other way round.
            c.precision = pc.precision;
            c.scale = pc.scale;
            if (c.scale > c.precision) std::swap(c.precision, c.scale);
            if (c.precision < 1 || c.precision > 28)
                damaged(QStringLiteral("column '%1' of table '%2' has the precision %3")
                            .arg(c.name, name)
                            .arg(c.precision));
        }
        c.autoNumber = pc.autoLong && c.type == int(JetColumnType::Long);
        c.autoGuid = pc.autoGuid;
        c.required = isYes(pc.props, "Required");
        if (c.type == int(JetColumnType::Text) || c.type == int(JetColumnType::Memo))
            c.allowZeroLength = yesNo(pc.props, "AllowZeroLength");
        c.defaultValue = pc.props.value(QStringLiteral("DefaultValue"));
        c.validationRule = pc.props.value(QStringLiteral("ValidationRule")).trimmed();
        c.validationText = pc.props.value(QStringLiteral("ValidationText"));
        if (c.name.trimmed().isEmpty())
            damaged(QStringLiteral("a column of table '%1' has no name").arg(name));
        for (const JetColumn& other : out.columns)
            if (other.name.compare(c.name, Qt::CaseInsensitive) == 0)
                damaged(QStringLiteral("table '%1' has two columns named '%2'").arg(name, c.name));
        out.columns.push_back(c);

        RowColumn r;
        r.type = pc.type;
        r.size = pc.size;
        r.number = pc.number;
        r.varIndex = pc.varIndex;
        r.fixedOffset = pc.fixedOffset;
        r.fixed = pc.fixed;
        r.scale = c.scale;
        if (jet3() && (c.type == int(JetColumnType::Text) || c.type == int(JetColumnType::Memo)))
            r.text = textOf(dc->misc);
        if (r.fixed && r.size < fixedWidth(JetColumnType(r.type)))
            damaged(QStringLiteral("column '%1' of table '%2' is narrower than its type")
                        .arg(c.name, name));
        t->layout.push_back(r);
    }

    // Indexes: the key columns are read from the definition's index entries by
    // column number. libmdb gives them as 1-based positions in the column list
    // and cannot read some (the keys of relationship indexes, a key column it
    // does not find); where it read them, both readings must agree.
    auto position = [&](int number) {
        for (size_t i = 0; i < probe.columns.size(); ++i)
            if (probe.columns[i].number == number) return int(i);
        return -1;
    };
    for (size_t i = 0; i < def.logicalIndexes.size(); ++i) {
        const Definition::LogicalIndex& li = def.logicalIndexes[i];
        JetIndex x;
        x.name = li.name;
        x.primaryKey = li.type == 1;
        x.foreignKey = li.type == 2;
        QString problem;
        if (li.realNumber < 0 || size_t(li.realNumber) >= def.realIndexes.size()) {
            problem = QStringLiteral("its entry is missing from the table definition");
        } else {
            const Definition::RealIndex& ri = def.realIndexes[size_t(li.realNumber)];
            x.unique = (ri.flags & 0x01) != 0 || x.primaryKey;
            for (const auto& [number, descending] : ri.keys) {
                const int p = position(number);
                if (p < 0) {
                    problem =
                        QStringLiteral("it names column number %1, which the table does not have")
                            .arg(number);
                    break;
                }
                x.columns.push_back(p);
                x.descending.push_back(descending);
            }
            if (problem.isEmpty() && x.columns.empty())
                problem = QStringLiteral("it has no key columns");
        }
        if (problem.isEmpty() && probe.indexesRead && i < probe.indexes.size() &&
            probe.indexes[i].type != 2 && probe.indexes[i].keys.size() == x.columns.size()) {
            for (size_t k = 0; k < x.columns.size(); ++k)
                if (probe.indexes[i].keys[k] != x.columns[k] + 1)
                    problem = QStringLiteral("its key columns read differently in two places");
        }
        if (!problem.isEmpty()) {
            if (x.primaryKey || x.unique)
                damaged(QStringLiteral("the %1 '%2' of table '%3' cannot be read: %4")
                            .arg(x.primaryKey ? QStringLiteral("primary key")
                                              : QStringLiteral("unique index"),
                                 x.name, name, problem));
            out.unreadableIndexes << QStringLiteral("%1: %2").arg(x.name, problem);
            continue;
        }
        out.indexes.push_back(std::move(x));
    }
    slot = std::move(t);
    return *slot;
}

JetTable JetFile::readTable(const QString& name) {
    for (const Impl::Object* o : d_->userTables)
        if (o->name == name) return d_->info(*o).table;
    fail(rt::err::DbNoSuchTable,
         QStringLiteral("The database '%1' has no table '%2'.").arg(d_->path, name));
}

int64_t JetFile::readRows(const JetTable& table,
                          const std::function<void(const std::vector<rt::Variant>&)>& onRow) {
    Impl::TableInfo& t = d_->info(table.name);
    if (t.table.columns.size() != table.columns.size())
        d_->damaged(QStringLiteral("the definition of table '%1' changed while it was read")
                        .arg(table.name));
    return d_->readRows(t, onRow);
}

int64_t JetFile::Impl::readRows(TableInfo& t,
                                const std::function<void(const std::vector<rt::Variant>&)>& onRow) {
    const JetTable& table = t.table;
    const std::vector<RowColumn>& layout = t.layout;
    const int ps = this->layout->pageSize;
    const bool isJet3 = jet3();
    const int countSize = this->layout->rowColumnCountSize;
    const bool hasVarColumns = t.def.numVarCols > 0;
    const uint32_t tdefPage = t.object->table->tdefPage;

    std::vector<rt::Variant> values(layout.size());
    std::vector<unsigned> varOffsets;
    int64_t rowNumber = 0;

    auto where = [&](int column) {
        QString w = QStringLiteral("table '%1', row %2").arg(table.name).arg(rowNumber);
        if (column >= 0)
            w += QStringLiteral(", column '%1'").arg(table.columns[size_t(column)].name);
        return w;
    };
    auto wrongOffsets = [&] {
        damaged(where(-1) + QStringLiteral(": its table of offsets is wrong"));
    };

    // Takes apart the row at [row, row + size).
    auto crack = [&](const uint8_t* row, int size) {
        if (size < countSize + 1) damaged(where(-1) + QStringLiteral(": the row is cut short"));
        const unsigned columns = isJet3 ? row[0] : readU16(row);
        const int maskSize = int((columns + 7) / 8);
        if (countSize + maskSize > size)
            damaged(where(-1) + QStringLiteral(": the row is cut short"));
        const uint8_t* mask = row + size - maskSize;
        unsigned varCount = 0;
        varOffsets.clear();
        int dataEnd = size - maskSize;  // where the fixed and variable data must end
        if (hasVarColumns && isJet3) {
            const int countAt = size - maskSize - 1;
            if (countAt < 1) damaged(where(-1) + QStringLiteral(": the row is cut short"));
            varCount = row[countAt];
            int jumps = (size - 1) / 256;
            const int tableTop = countAt - 1 - jumps;  // the first (last stored) offset entry
            if (tableTop - int(varCount) < 1) wrongOffsets();
            if ((tableTop - int(varCount)) / 256 < jumps) --jumps;  // the last jump is a filler
            int used = 0;
            for (unsigned i = 0; i <= varCount; ++i) {
                while (used < jumps && int(i) == row[countAt - 1 - used]) ++used;
                const unsigned off = row[tableTop - int(i)] + unsigned(used) * 256;
                const unsigned prev = i ? varOffsets.back() : 1;
                if (off < prev || int(off) > tableTop - int(varCount)) wrongOffsets();
                varOffsets.push_back(off);
            }
            dataEnd = int(varOffsets.back());
        } else if (hasVarColumns) {
            const int tableEnd = size - maskSize;  // the offset table ends here
            if (tableEnd < 4) damaged(where(-1) + QStringLiteral(": the row is cut short"));
            varCount = readU16(row + tableEnd - 2);
            if (varCount > columns || tableEnd - 2 - 2 * int(varCount + 1) < 2) wrongOffsets();
            for (unsigned i = 0; i <= varCount; ++i) {
                const unsigned off = readU16(row + tableEnd - 4 - 2 * int(i));
                const unsigned prev = i ? varOffsets.back() : 2;
                if (off < prev || off > unsigned(tableEnd)) wrongOffsets();
                varOffsets.push_back(off);
            }
            dataEnd = int(varOffsets.back());
        }
        if (varCount > columns) wrongOffsets();
        const unsigned fixedCount = columns - varCount;
        unsigned fixedFound = 0;
        for (size_t c = 0; c < layout.size(); ++c) {
            const RowColumn& l = layout[c];
            const bool bit = l.number < maskSize * 8 && (mask[l.number / 8] >> (l.number % 8)) & 1;
            if (l.type == int(JetColumnType::YesNo)) {
                values[c] = rt::Variant(bit);
                if (l.fixed) ++fixedFound;
                continue;
            }
            const uint8_t* field = nullptr;
            int fieldSize = 0;
            if (l.fixed) {
                if (fixedFound < fixedCount) {
                    field = row + countSize + l.fixedOffset;
                    fieldSize = l.size;
                    if (countSize + l.fixedOffset + l.size > dataEnd)
                        damaged(where(int(c)) + QStringLiteral(": the value runs past its row"));
                }
                ++fixedFound;
            } else if (unsigned(l.varIndex) < varCount) {
                field = row + varOffsets[size_t(l.varIndex)];
                fieldSize =
                    int(varOffsets[size_t(l.varIndex) + 1] - varOffsets[size_t(l.varIndex)]);
            }
            if (!bit || !field) {
                values[c] = rt::Variant::null();
                continue;
            }
            switch (JetColumnType(l.type)) {
                case JetColumnType::Byte:
                    values[c] = rt::Variant::byte(field[0]);
                    break;
                case JetColumnType::Integer:
                    values[c] = rt::Variant(int16_t(readU16(field)));
                    break;
                case JetColumnType::Long:
                    values[c] = rt::Variant(int32_t(readU32(field)));
                    break;
                case JetColumnType::Currency:
                    values[c] = rt::Variant(decodeCurrency(field));
                    break;
                case JetColumnType::Single:
                    values[c] = rt::Variant(readFloat(field));
                    break;
                case JetColumnType::Double:
                    values[c] = rt::Variant(readDouble(field));
                    break;
                case JetColumnType::DateTime:
                    try {
                        values[c] = rt::Variant(decodeDate(field));
                    } catch (const rt::Error&) {
                        damaged(where(int(c)) +
                                QStringLiteral(": the date %1 lies outside the years 100 to 9999")
                                    .arg(readDouble(field), 0, 'g', 17));
                    }
                    break;
                case JetColumnType::Decimal: {
                    rt::Decimal dec;
                    if (!decodeDecimal(field, l.scale, dec))
                        damaged(where(int(c)) + QStringLiteral(": the decimal is out of range"));
                    values[c] = rt::Variant(dec);
                    break;
                }
                case JetColumnType::Guid:
                    values[c] = rt::Variant(decodeGuid(field));
                    break;
                case JetColumnType::Text:
                    values[c] = rt::Variant(l.text ? l.text->decode(field, size_t(fieldSize))
                                                   : decodeText(field, size_t(fieldSize)));
                    break;
                case JetColumnType::Memo: {
                    const QByteArray bytes = longValue(field, size_t(fieldSize), where(int(c)));
                    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
                    values[c] = rt::Variant(l.text ? l.text->decode(p, size_t(bytes.size()))
                                                   : decodeText(p, size_t(bytes.size())));
                    break;
                }
                case JetColumnType::LongBinary:
                    values[c] = rt::Variant(longValue(field, size_t(fieldSize), where(int(c))));
                    break;
                default:
                    values[c] =
                        rt::Variant(QByteArray(reinterpret_cast<const char*>(field), fieldSize));
                    break;
            }
        }
    };

    std::vector<uint8_t> page(size_t(ps), 0), moved(size_t(ps), 0);
    for (const uint32_t p : dataPages(t.def, table.name)) {
        readPage(p, page.data(), QStringLiteral("a page of table '%1'").arg(table.name));
        if (page[0] != kDataPage || readU32(page.data() + 4) != tdefPage) {
            // A page the list names that holds something else (as libmdb does,
            // it is passed over; a row count that then differs is reported).
            warnings << QStringLiteral(
                            "table %1: page %2, listed as one of its pages, belongs to "
                            "something else and was passed over")
                            .arg(table.name)
                            .arg(p);
            continue;
        }
        const int rco = this->layout->rowCountOffset;
        const int rows = readU16(page.data() + rco);
        if (rco + 2 + 2 * rows > ps)
            damaged(
                QStringLiteral("table '%1': page %2 has a wrong row table").arg(table.name).arg(p));
        for (int r = 0; r < rows; ++r) {
            const int raw = readU16(page.data() + rco + 2 + 2 * r);
            if (raw & kNotScanned) continue;
            int start = 0, size = 0, flags = 0;
            if (!findRow(page.data(), r, start, size, flags))
                damaged(QStringLiteral("table '%1': page %2 has a wrong row table")
                            .arg(table.name)
                            .arg(p));
            if (size == 0) continue;
            ++rowNumber;
            if (!(flags & kMovedRow)) {
                crack(page.data() + start, size);
            } else {
                // The row lives elsewhere: follow its pointer (the page is read
                // into a buffer of its own; the page being scanned stays as it is).
                const uint8_t* at = page.data() + start;
                int hops = 0;
                while (true) {
                    if (size < 4 || ++hops > kMaxMoves)
                        damaged(where(-1) + QStringLiteral(": a moved row lost its address"));
                    const uint32_t target = readU32(at);
                    readPage(target >> 8, moved.data(),
                             where(-1) + QStringLiteral(": a moved row"));
                    if (moved[0] != kDataPage || readU32(moved.data() + 4) != tdefPage ||
                        !findRow(moved.data(), int(target & 0xff), start, size, flags) || size == 0)
                        damaged(where(-1) + QStringLiteral(": a moved row cannot be found"));
                    at = moved.data() + start;
                    if (!(flags & kMovedRow)) break;
                }
                crack(at, size);
            }
            onRow(values);
        }
    }
    return rowNumber;
}

// ---- Relationships and queries ----

std::vector<JetRelationship> JetFile::relationships() {
    std::vector<JetRelationship> out;
    const Impl::Object* o = nullptr;
    for (const Impl::Object& x : d_->objects)
        if (x.type == kTableObject && x.name == u"MSysRelationships" && x.table) o = &x;
    if (!o) return out;
    Impl::TableInfo& t = d_->info(*o);
    const int ccolumn = columnIndex(t.table, "ccolumn"), grbit = columnIndex(t.table, "grbit"),
              icolumn = columnIndex(t.table, "icolumn"), column = columnIndex(t.table, "szColumn"),
              object = columnIndex(t.table, "szObject"),
              refColumn = columnIndex(t.table, "szReferencedColumn"),
              refObject = columnIndex(t.table, "szReferencedObject"),
              name = columnIndex(t.table, "szRelationship");
    if (grbit < 0 || icolumn < 0 || column < 0 || object < 0 || refColumn < 0 || refObject < 0 ||
        name < 0)
        d_->damaged(QStringLiteral("its table of relationships lacks some of its columns"));
    (void)ccolumn;
    struct Part {
        int64_t position;
        QString column, refColumn;
    };
    std::map<QString, std::pair<JetRelationship, std::vector<Part>>> byName;
    QStringList order;
    d_->readRows(t, [&](const std::vector<rt::Variant>& row) {
        const QString n = textOf(row[size_t(name)]);
        auto& [rel, parts] = byName[n];
        if (rel.name.isEmpty()) {
            order << n;
            rel.name = n;
            rel.table = textOf(row[size_t(object)]);
            rel.referencedTable = textOf(row[size_t(refObject)]);
            const int64_t bits = wholeNumber(row[size_t(grbit)]).value_or(0);
            rel.enforced = !(bits & 0x2);
            rel.inherited = bits & 0x4;
            rel.cascadeUpdates = bits & 0x100;
            rel.cascadeDeletes = bits & 0x1000;
        }
        parts.push_back({wholeNumber(row[size_t(icolumn)]).value_or(0), textOf(row[size_t(column)]),
                         textOf(row[size_t(refColumn)])});
    });
    for (const QString& n : order) {
        auto& [rel, parts] = byName[n];
        std::stable_sort(parts.begin(), parts.end(),
                         [](const Part& a, const Part& b) { return a.position < b.position; });
        for (const Part& p : parts) {
            rel.columns << p.column;
            rel.referencedColumns << p.refColumn;
        }
        out.push_back(rel);
    }
    return out;
}

std::vector<JetQuery> JetFile::queries() {
    std::vector<JetQuery> out;
    std::vector<const Impl::Object*> queryObjects;
    for (const Impl::Object& x : d_->objects)
        if (x.type == kQueryObject) queryObjects.push_back(&x);
    if (queryObjects.empty()) return out;
    const Impl::Object* o = nullptr;
    for (const Impl::Object& x : d_->objects)
        if (x.type == kTableObject && x.name == u"MSysQueries" && x.table) o = &x;
    std::map<uint32_t, std::vector<QueryRow>> rows;
    if (o) {
        Impl::TableInfo& t = d_->info(*o);
        const int attribute = columnIndex(t.table, "Attribute"),
                  expression = columnIndex(t.table, "Expression"),
                  flag = columnIndex(t.table, "Flag"), name1 = columnIndex(t.table, "Name1"),
                  name2 = columnIndex(t.table, "Name2"),
                  objectId = columnIndex(t.table, "ObjectId"),
                  order = columnIndex(t.table, "Order");
        if (attribute < 0 || expression < 0 || flag < 0 || name1 < 0 || name2 < 0 || objectId < 0)
            d_->damaged(QStringLiteral("its table of saved queries lacks some of its columns"));
        d_->readRows(t, [&](const std::vector<rt::Variant>& row) {
            QueryRow q;
            q.attribute = int(wholeNumber(row[size_t(attribute)]).value_or(-1));
            q.expression = textOf(row[size_t(expression)]);
            q.flag = int(wholeNumber(row[size_t(flag)]).value_or(0));
            q.name1 = textOf(row[size_t(name1)]);
            q.name2 = textOf(row[size_t(name2)]);
            if (order >= 0 && row[size_t(order)].type() == rt::VarType::Binary)
                q.order = row[size_t(order)].asBinary();
            rows[uint32_t(wholeNumber(row[size_t(objectId)]).value_or(0))].push_back(q);
        });
    }
    for (const Impl::Object* q : queryObjects) {
        auto it = rows.find(q->id);
        out.push_back(
            buildQuery(q->name, q->flags, it == rows.end() ? std::vector<QueryRow>{} : it->second));
    }
    return out;
}

}  // namespace jetimport
