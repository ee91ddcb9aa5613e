// Jet 4 files through libmdb, with the rows decoded here (see JetReader.h).
//
// Row layout (Jet 4), all offsets relative to the row's start on its page:
//   u16 column count | fixed columns | variable columns | u16 end of data |
//   u16 offsets of the variable columns, last first | u16 variable count |
//   null mask, one bit per column number (1: has a value; Yes/No: the value).
// Row offsets on a data page carry two flags: 0x8000 deleted row, 0x4000 the
// row moved to another page (its place holds a 4-byte page/row pointer).
#include "tools/jetimport/JetReader.h"

#include "platform/runtime/Error.h"

#include <QFile>
#include <QFileInfo>

// mdbtools.h opens an extern "C" block around its system headers; the C++
// parts of glib must be seen first.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include <array>
#include <cstring>

namespace jetimport {

namespace {

constexpr int kRowCountOffset = 0x0c;  // Jet 4 data pages
constexpr int kOffsetMask = 0x1fff;
constexpr int kDeletedRow = 0x8000;
constexpr int kMovedRow = 0x4000;
constexpr int kTdefLastAutoNumberOffset = 20;
constexpr uint8_t kDataPage = 0x01;

[[noreturn]] void fail(int32_t number, const QString& text) { rt::raise(number, text); }

QString fromUtf8(const char* s) { return s ? QString::fromUtf8(s) : QString(); }

// The layout of one column inside a row.
struct Layout {
    int type = 0;
    int size = 0;
    int number = 0;       // bit in the null mask (includes deleted columns)
    int varIndex = 0;     // entry in the variable-offset table
    int fixedOffset = 0;  // after the column count
    bool fixed = false;
    int scale = 0;
};

// Frees a table definition when it goes out of scope.
struct TableDefGuard {
    MdbTableDef* t = nullptr;
    ~TableDefGuard() {
        if (t) mdb_free_tabledef(t);
    }
};

int fixedWidth(int type) {
    switch (JetColumnType(type)) {
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

bool propIsYes(const MdbColumn* col, const char* key) {
    const char* v = mdb_col_get_prop(col, key);
    return v && g_ascii_strcasecmp(v, "yes") == 0;
}

}  // namespace

struct JetFile::Impl {
    QString path;
    qint64 fileSize = 0;
    JetHeader header;
    MdbHandle* mdb = nullptr;
    std::vector<MdbCatalogEntry*> tables;
    QStringList other;

    ~Impl() {
        if (mdb) mdb_close(mdb);
    }

    [[noreturn]] void damaged(const QString& what) const {
        fail(rt::err::DbUnrecognised,
             QStringLiteral("The database '%1' is damaged: %2.").arg(path, what));
    }

    MdbCatalogEntry* entry(const QString& name) const {
        for (MdbCatalogEntry* e : tables)
            if (fromUtf8(e->object_name) == name) return e;
        fail(rt::err::DbNoSuchTable,
             QStringLiteral("The database '%1' has no table '%2'.").arg(path, name));
    }

    // Reads the definition of a table with its columns; damaged() on failure.
    MdbTableDef* tableDef(MdbCatalogEntry* e, bool withIndexes) const {
        MdbTableDef* t = mdb_read_table(e);
        if (!t)
            damaged(QStringLiteral("the definition of table '%1' cannot be read")
                        .arg(fromUtf8(e->object_name)));
        if (!mdb_read_columns(t) || t->columns->len != t->num_cols) {
            mdb_free_tabledef(t);
            damaged(QStringLiteral("the columns of table '%1' cannot be read")
                        .arg(fromUtf8(e->object_name)));
        }
        if (withIndexes && (mdb_read_indices(t), !t->indices || t->indices->len < t->num_idxs)) {
            mdb_free_tabledef(t);
            damaged(QStringLiteral("the indexes of table '%1' cannot be read")
                        .arg(fromUtf8(e->object_name)));
        }
        return t;
    }

    // The whole value of a Memo or OLE column from its 12-byte reference.
    QByteArray longValue(const uint8_t* field, size_t size, const QString& where) const {
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
        uint32_t pageRow = ref.pageRow;
        while (uint32_t(out.size()) < ref.length) {
            void* buf = nullptr;
            int start = 0;
            size_t length = 0;
            if (pageRow == 0 || mdb_find_pg_row(mdb, int(pageRow), &buf, &start, &length) != 0)
                damaged(where + QStringLiteral(": a part of a long value is missing"));
            const uint8_t* page = static_cast<const uint8_t*>(buf);
            if (page[0] != kDataPage || std::memcmp(page + 4, "LVAL", 4) != 0)
                damaged(where + QStringLiteral(": a long value points to a page of another kind"));
            const uint8_t* part = page + start;
            const uint32_t remaining = ref.length - uint32_t(out.size());
            if (ref.kind == LongValueRef::SinglePage) {
                if (length < remaining)
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
};

JetFile::JetFile() : d_(std::make_unique<Impl>()) {}
JetFile::~JetFile() = default;

std::unique_ptr<JetFile> JetFile::open(const QString& path, const QString& password) {
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

    auto cutShort = [&] {
        fail(rt::err::DbUnrecognised,
             QStringLiteral("The database '%1' is damaged: it has been cut short (%2 bytes, "
                            "%3 whole pages of %4 bytes).")
                 .arg(path)
                 .arg(size)
                 .arg(size / kJetPageSize)
                 .arg(kJetPageSize));
    };
    const QByteArray magic = first.mid(4, 15);
    if (first.size() < kJetPageSize && (magic == "Standard Jet DB" || magic == "Standard ACE DB"))
        cutShort();
    const std::optional<JetHeader> header = parseHeader(first);
    if (!header)
        fail(rt::err::DbUnrecognised,
             QStringLiteral("'%1' is not a Jet database file (unrecognized database format).")
                 .arg(path));
    if (header->version == JetVersion::Jet3)
        fail(rt::err::DbUnrecognised,
             QStringLiteral("'%1' is a Jet 3 database; only Jet 4 databases can be "
                            "imported. Convert it to the Jet 4 format first.")
                 .arg(path));
    if (header->version != JetVersion::Jet4)
        fail(rt::err::DbUnrecognised,
             QStringLiteral("'%1' is an ACE (version 12 or later) database; only Jet 4 databases "
                            "can be imported. Save it in the Jet 4 format first.")
                 .arg(path));
    // A Jet 4 file is whole pages: the definition page, the global usage map and
    // the system catalog at least.
    if (size < 3 * kJetPageSize || size % kJetPageSize != 0) cutShort();
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
    d.mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!d.mdb) d.damaged(QStringLiteral("it cannot be opened as a Jet database"));
    if (!mdb_read_catalog(d.mdb, MDB_ANY)) d.damaged(QStringLiteral("its catalog cannot be read"));
    for (unsigned i = 0; i < d.mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(d.mdb->catalog, i));
        if (mdb_is_user_table(e))
            d.tables.push_back(e);
        else if (e->object_type == MDB_QUERY)
            d.other << QStringLiteral("query %1").arg(fromUtf8(e->object_name));
        else if (e->object_type == MDB_LINKED_TABLE)
            d.other << QStringLiteral("linked table %1").arg(fromUtf8(e->object_name));
    }
    return jf;
}

const QString& JetFile::path() const { return d_->path; }
const JetHeader& JetFile::header() const { return d_->header; }

QStringList JetFile::tableNames() const {
    QStringList names;
    for (MdbCatalogEntry* e : d_->tables) names << fromUtf8(e->object_name);
    return names;
}

QStringList JetFile::otherObjects() const { return d_->other; }

JetTable JetFile::readTable(const QString& name) {
    Impl& d = *d_;
    MdbCatalogEntry* e = d.entry(name);
    TableDefGuard guard{d.tableDef(e, true)};
    MdbTableDef* t = guard.t;

    JetTable out;
    out.name = name;
    out.storedRowCount = t->num_rows;
    for (unsigned i = 0; i < t->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        JetColumn c;
        c.name = fromUtf8(col->name);
        c.type = col->col_type;
        c.size = col->col_size;
        if (c.type == int(JetColumnType::Decimal)) {
            // libmdb keeps the definition's precision byte in col_scale and its
            // scale byte in col_prec; a scale above the precision means the
            // library got them the other way round.
            c.precision = col->col_scale;
            c.scale = col->col_prec;
            if (c.scale > c.precision) std::swap(c.precision, c.scale);
            if (c.precision < 1 || c.precision > 28)
                d.damaged(QStringLiteral("column '%1' of table '%2' has the precision %3")
                              .arg(c.name, name)
                              .arg(c.precision));
        }
        c.autoNumber = col->is_long_auto && c.type == int(JetColumnType::Long);
        c.autoGuid = col->is_uuid_auto;
        c.required = propIsYes(col, "Required");
        c.defaultValue = fromUtf8(mdb_col_get_prop(col, "DefaultValue"));
        out.columns.push_back(c);
    }
    for (unsigned i = 0; i < t->num_idxs; ++i) {
        auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(t->indices, i));
        JetIndex x;
        x.name = fromUtf8(idx->name);
        x.primaryKey = idx->index_type == 1;
        x.foreignKey = idx->index_type == 2;
        x.unique = (idx->flags & MDB_IDX_UNIQUE) != 0 || x.primaryKey;
        for (unsigned k = 0; k < idx->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
            // Index keys name columns by their number in the definition, from 1.
            int found = -1;
            for (unsigned c = 0; c < t->num_cols; ++c) {
                auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c));
                if (col->col_num + 1 == idx->key_col_num[k]) found = int(c);
            }
            if (found < 0)
                d.damaged(QStringLiteral("index '%1' of table '%2' names a missing column")
                              .arg(x.name, name));
            x.columns.push_back(found);
        }
        if (!x.columns.empty()) out.indexes.push_back(x);
    }
    // The last AutoNumber value given lives in the definition page itself.
    if (mdb_read_pg(d.mdb, e->table_pg) == kJetPageSize)
        out.lastAutoNumber = readU32(d.mdb->pg_buf + kTdefLastAutoNumberOffset);
    return out;
}

int64_t JetFile::readRows(const JetTable& table,
                          const std::function<void(const std::vector<rt::Variant>&)>& onRow) {
    Impl& d = *d_;
    MdbCatalogEntry* e = d.entry(table.name);
    TableDefGuard guard{d.tableDef(e, false)};
    MdbTableDef* t = guard.t;
    if (t->num_cols != table.columns.size())
        d.damaged(QStringLiteral("the definition of table '%1' changed while it was read")
                      .arg(table.name));

    std::vector<Layout> layout(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        Layout& l = layout[i];
        l.type = col->col_type;
        l.size = col->col_size;
        l.number = col->col_num;
        l.varIndex = int(col->var_col_num);
        l.fixedOffset = col->fixed_offset;
        l.fixed = col->is_fixed;
        l.scale = table.columns[i].scale;
        if (l.fixed && l.size < fixedWidth(l.type))
            d.damaged(QStringLiteral("column '%1' of table '%2' is narrower than its type")
                          .arg(table.columns[i].name, table.name));
    }
    const bool hasVarColumns = t->num_var_cols > 0;

    std::vector<rt::Variant> values(layout.size());
    std::vector<unsigned> varOffsets;
    int64_t rowNumber = 0;
    MdbHandle* mdb = d.mdb;
    const uint8_t* pg = mdb->pg_buf;

    auto where = [&](int column) {
        QString w = QStringLiteral("table '%1', row %2").arg(table.name).arg(rowNumber);
        if (column >= 0) w += QStringLiteral(", column '%1'").arg(table.columns[column].name);
        return w;
    };

    // Takes apart the row at [start, start + size) of the page in pg_buf.
    auto crack = [&](int start, int size) {
        const uint8_t* row = pg + start;
        if (size < 3) d.damaged(where(-1) + QStringLiteral(": the row is cut short"));
        const unsigned columns = readU16(row);
        const int maskSize = int((columns + 7) / 8);
        if (2 + maskSize > size) d.damaged(where(-1) + QStringLiteral(": the row is cut short"));
        const uint8_t* mask = row + size - maskSize;
        unsigned varCount = 0;
        varOffsets.clear();
        if (hasVarColumns) {
            const int tableEnd = size - maskSize;  // the offset table ends here
            if (tableEnd < 4) d.damaged(where(-1) + QStringLiteral(": the row is cut short"));
            varCount = readU16(row + tableEnd - 2);
            if (varCount > columns || tableEnd - 2 - 2 * int(varCount + 1) < 2)
                d.damaged(where(-1) + QStringLiteral(": its table of offsets is wrong"));
            for (unsigned i = 0; i <= varCount; ++i) {
                const unsigned off = readU16(row + tableEnd - 4 - 2 * int(i));
                const unsigned prev = i ? varOffsets.back() : 2;
                if (off < prev || off > unsigned(tableEnd))
                    d.damaged(where(-1) + QStringLiteral(": its table of offsets is wrong"));
                varOffsets.push_back(off);
            }
        }
        const unsigned fixedCount = columns - varCount;
        unsigned fixedFound = 0;
        for (size_t c = 0; c < layout.size(); ++c) {
            const Layout& l = layout[c];
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
                    field = row + 2 + l.fixedOffset;
                    fieldSize = l.size;
                    if (2 + l.fixedOffset + l.size > size - maskSize)
                        d.damaged(where(int(c)) + QStringLiteral(": the value runs past its row"));
                }
                ++fixedFound;
            } else if (unsigned(l.varIndex) < varCount) {
                field = row + varOffsets[l.varIndex];
                fieldSize = int(varOffsets[l.varIndex + 1] - varOffsets[l.varIndex]);
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
                        d.damaged(where(int(c)) +
                                  QStringLiteral(": the date %1 lies outside the years 100 to 9999")
                                      .arg(readDouble(field), 0, 'g', 17));
                    }
                    break;
                case JetColumnType::Decimal: {
                    rt::Decimal dec;
                    if (!decodeDecimal(field, l.scale, dec))
                        d.damaged(where(int(c)) + QStringLiteral(": the decimal is out of range"));
                    values[c] = rt::Variant(dec);
                    break;
                }
                case JetColumnType::Guid:
                    values[c] = rt::Variant(decodeGuid(field));
                    break;
                case JetColumnType::Text:
                    values[c] = rt::Variant(decodeText(field, size_t(fieldSize)));
                    break;
                case JetColumnType::Memo: {
                    const QByteArray bytes = d.longValue(field, size_t(fieldSize), where(int(c)));
                    values[c] = rt::Variant(decodeText(
                        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
                    break;
                }
                case JetColumnType::LongBinary:
                    values[c] = rt::Variant(d.longValue(field, size_t(fieldSize), where(int(c))));
                    break;
                default:
                    values[c] =
                        rt::Variant(QByteArray(reinterpret_cast<const char*>(field), fieldSize));
                    break;
            }
        }
    };

    std::array<uint8_t, kJetPageSize> saved;
    mdb_rewind_table(t);
    while (mdb_read_next_dpg(t)) {
        const int rows = readU16(pg + kRowCountOffset);
        for (int r = 0; r < rows; ++r) {
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(mdb, r, &start, &size) != 0)
                d.damaged(QStringLiteral("table '%1': page %2 has a wrong row table")
                              .arg(table.name)
                              .arg(t->cur_phys_pg));
            if (start & kDeletedRow) continue;
            if (size == 0) continue;
            ++rowNumber;
            const int offset = start & kOffsetMask;
            if (start & kMovedRow) {
                // The row lives on another page: read it there, then come back.
                if (size < 4)
                    d.damaged(where(-1) + QStringLiteral(": a moved row lost its address"));
                const uint32_t target = readU32(pg + offset);
                std::memcpy(saved.data(), mdb->pg_buf, saved.size());
                int tStart = 0;
                size_t tSize = 0;
                if (mdb_read_pg(mdb, target >> 8) != kJetPageSize || pg[0] != kDataPage ||
                    mdb_find_row(mdb, int(target & 0xff), &tStart, &tSize) != 0 ||
                    (tStart & kMovedRow)) {
                    std::memcpy(mdb->pg_buf, saved.data(), saved.size());
                    d.damaged(where(-1) + QStringLiteral(": a moved row cannot be found"));
                }
                try {
                    crack(tStart & kOffsetMask, int(tSize));
                } catch (...) {
                    std::memcpy(mdb->pg_buf, saved.data(), saved.size());
                    throw;
                }
                std::memcpy(mdb->pg_buf, saved.data(), saved.size());
            } else {
                crack(offset, int(size));
            }
            onRow(values);
        }
    }
    return rowNumber;
}

}  // namespace jetimport
