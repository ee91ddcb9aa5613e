// The test writer of Jet files (see JetWriter.h).
#include "JetWriter.h"

#include "tools/jetimport/JetFormat.h"

#include <QFile>

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <stdexcept>

namespace jetwriter {

namespace {

using jetimport::JetColumnType;

constexpr uint32_t kSystemFlags = 0x80000002u;

void put16(QByteArray& b, int at, uint32_t v) {
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}
void put32(QByteArray& b, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xff);
}
void append16(QByteArray& b, uint32_t v) { b.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); }
void append32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xff));
}
void append64(QByteArray& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.append(char((v >> (8 * i)) & 0xff));
}

QByteArray ucs2(const QString& s) {
    QByteArray b;
    for (QChar c : s) append16(b, c.unicode());
    return b;
}

QByteArray codePageBytes(const QString& s, int codePage) {
    const QByteArray name = "CP" + QByteArray::number(codePage);
    iconv_t cd = iconv_open(name.constData(), "UTF-16LE");
    if (cd == iconv_t(-1)) throw std::runtime_error("unknown code page");
    QByteArray in = ucs2(s);
    QByteArray out(in.size() * 2 + 8, '\0');
    char* ip = in.data();
    size_t il = size_t(in.size());
    char* op = out.data();
    size_t ol = size_t(out.size());
    iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    out.truncate(out.size() - qsizetype(ol));
    return out;
}

// Jet 4 "Unicode compression": FF FE, then one byte per character while the
// high byte is 0, switching by a 0 byte.
QByteArray compressed(const QString& s) {
    QByteArray b("\xff\xfe", 2);
    bool oneByte = true;
    for (QChar c : s) {
        const bool fits = c.unicode() > 0 && c.unicode() < 0x100;
        if (fits != oneByte) {
            b.append('\0');
            oneByte = fits;
        }
        if (oneByte)
            b.append(char(c.unicode()));
        else
            append16(b, c.unicode());
    }
    return b;
}

using jetimport::fixedWidth;

bool isFixed(JetColumnType t) { return t == JetColumnType::YesNo || fixedWidth(t) > 0; }

int64_t whole(const Variant& v) {
    switch (v.type()) {
        case rt::VarType::Byte:
            return v.asByte();
        case rt::VarType::Int16:
            return v.asInt16();
        case rt::VarType::Int32:
            return v.asInt32();
        case rt::VarType::Double:
            return int64_t(v.asDouble());
        case rt::VarType::Boolean:
            return v.asBool() ? -1 : 0;
        default:
            throw std::runtime_error("not a whole number");
    }
}

double serialOf(const Variant& v) {
    if (v.type() == rt::VarType::Double) return v.asDouble();  // a raw serial
    const QDateTime d = v.asDate();
    const qint64 days = QDate(1899, 12, 30).daysTo(d.date());
    const double frac = d.time().msecsSinceStartOfDay() / 86400000.0;
    return days < 0 ? double(days) - frac : double(days) + frac;
}

QByteArray guidBytes(const QString& text) {
    QString hex = text;
    hex.remove(u'{').remove(u'}').remove(u'-');
    const QByteArray raw = QByteArray::fromHex(hex.toLatin1());
    if (raw.size() != 16) throw std::runtime_error("not a replication id");
    QByteArray b(16, '\0');
    for (int i = 0; i < 4; ++i) b[i] = raw[3 - i];
    b[4] = raw[5];
    b[5] = raw[4];
    b[6] = raw[7];
    b[7] = raw[6];
    for (int i = 8; i < 16; ++i) b[i] = raw[i];
    return b;
}

struct Layout {
    int ps, rco;
    bool jet3;
};

class Writer {
  public:
    explicit Writer(const Database& db)
        : db_(db),
          l_{pageSize(db.version), db.version == Version::Jet3 ? 8 : 12,
             db.version == Version::Jet3} {}

    QByteArray run();

  private:
    struct Placed {
        const Column* c;
        int number, varIndex = -1, fixedOffset = 0;
    };
    struct DataPage {
        uint32_t page;
        int rows = 0;
        int top;
    };

    uint32_t newPage() {
        pages_.push_back(QByteArray(l_.ps, '\0'));
        return uint32_t(pages_.size() - 1);
    }
    uint32_t newDataPage(uint32_t owner, bool lval) {
        const uint32_t p = newPage();
        QByteArray& b = pages_[p];
        b[0] = 0x01;
        b[1] = 0x01;
        if (lval)
            std::memcpy(b.data() + 4, "LVAL", 4);
        else
            put32(b, 4, owner);
        return p;
    }
    bool fits(const DataPage& d, int size) const {
        return l_.rco + 2 + 2 * (d.rows + 1) <= d.top - size;
    }
    int place(DataPage& d, const QByteArray& row, int flags) {
        QByteArray& b = pages_[d.page];
        d.top -= int(row.size());
        std::memcpy(b.data() + d.top, row.constData(), size_t(row.size()));
        put16(b, l_.rco + 2 + 2 * d.rows, uint32_t(d.top | flags));
        ++d.rows;
        put16(b, l_.rco, uint32_t(d.rows));
        put16(b, 2, uint32_t(d.top - (l_.rco + 2 + 2 * d.rows)));
        return d.rows - 1;
    }
    // Places a row on the table's pages (a new page when it does not fit).
    uint32_t placeRow(std::vector<DataPage>& pagesOf, uint32_t owner, const QByteArray& row,
                      int flags, int& index) {
        if (pagesOf.empty() || !fits(pagesOf.back(), int(row.size())))
            pagesOf.push_back({newDataPage(owner, false), 0, l_.ps});
        index = place(pagesOf.back(), row, flags);
        return pagesOf.back().page;
    }

    QByteArray text(const QString& s, int codePage, bool compress) const {
        if (l_.jet3) return codePageBytes(s, codePage ? codePage : db_.codePage);
        if (compress) {
            const QByteArray c = compressed(s);
            const QByteArray u = ucs2(s);
            if (c.size() < u.size()) return c;
        }
        return ucs2(s);
    }
    QByteArray longValue(const QByteArray& bytes);
    QByteArray value(const Column& c, const Variant& v, bool compress);
    QByteArray row(const std::vector<Placed>& placed, int columnCount, int varCount, int fixedSize,
                   const Row& values, bool compress);
    QByteArray props(const Table& t) const;
    QByteArray tdef(const Table& t, const std::vector<Placed>& placed, int fixedSize,
                    uint32_t usageMap, int64_t rows) const;
    uint32_t usageMap(const std::vector<uint32_t>& owned, int kind);
    void writeTable(const Table& t, uint32_t tdefPage);

    const Database& db_;
    Layout l_;
    std::vector<QByteArray> pages_;
    std::vector<DataPage> lval_;
    std::vector<DataPage> maps_;
};

QByteArray Writer::longValue(const QByteArray& bytes) {
    QByteArray ref;
    const int n = int(bytes.size());
    if (n <= 64) {
        append32(ref, uint32_t(n) | 0x80000000u);
        append32(ref, 0);
        append32(ref, 0);
        return ref + bytes;
    }
    const int maxPart = l_.ps - l_.rco - 2 - 2 - 8;
    if (n <= maxPart) {
        if (lval_.empty() || !fits(lval_.back(), n))
            lval_.push_back({newDataPage(0, true), 0, l_.ps});
        const int r = place(lval_.back(), bytes, 0);
        append32(ref, uint32_t(n) | 0x40000000u);
        append32(ref, (lval_.back().page << 8) | uint32_t(r));
        append32(ref, 0);
        return ref;
    }
    // A chain: each part on a page of its own, pointing to the next.
    std::vector<std::pair<uint32_t, int>> parts;
    const int partSize = maxPart - 4;
    for (int at = 0; at < n; at += partSize) {
        DataPage d{newDataPage(0, true), 0, l_.ps};
        QByteArray part(4, '\0');
        part += bytes.mid(at, partSize);
        const int r = place(d, part, 0);
        parts.emplace_back(d.page, d.top);
        (void)r;
    }
    for (size_t i = 0; i + 1 < parts.size(); ++i)
        put32(pages_[parts[i].first], parts[i].second, parts[i + 1].first << 8);
    append32(ref, uint32_t(n));
    append32(ref, parts[0].first << 8);
    append32(ref, 0);
    return ref;
}

QByteArray Writer::value(const Column& c, const Variant& v, bool compress) {
    QByteArray b;
    switch (c.type) {
        case JetColumnType::Byte:
            b.append(char(whole(v)));
            break;
        case JetColumnType::Integer:
            append16(b, uint32_t(whole(v)));
            break;
        case JetColumnType::Long:
            append32(b, uint32_t(whole(v)));
            break;
        case JetColumnType::Currency:
            append64(b, uint64_t(v.asCurrency().scaled));
            break;
        case JetColumnType::Single: {
            const float f = v.type() == rt::VarType::Single ? v.asSingle() : float(v.asDouble());
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            append32(b, bits);
            break;
        }
        case JetColumnType::Double:
        case JetColumnType::DateTime: {
            const double d = c.type == JetColumnType::Double ? v.asDouble() : serialOf(v);
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            append64(b, bits);
            break;
        }
        case JetColumnType::Guid:
            b = guidBytes(v.asText());
            break;
        case JetColumnType::Decimal: {
            const rt::Decimal d = v.asDecimal();
            const bool negative = d.mantissa < 0;
            unsigned __int128 m =
                negative ? (unsigned __int128)(-d.mantissa) : (unsigned __int128)d.mantissa;
            b.append(char(negative ? 0x80 : 0));
            for (int word = 3; word >= 0; --word) append32(b, uint32_t(m >> (32 * word)));
            break;
        }
        case JetColumnType::Text:
            b = text(v.asText(), c.codePage, compress);
            break;
        case JetColumnType::Binary:
            b = v.asBinary();
            break;
        case JetColumnType::Memo:
            b = longValue(text(v.asText(), c.codePage, compress));
            break;
        case JetColumnType::LongBinary:
            b = longValue(v.asBinary());
            break;
        default:
            break;
    }
    return b;
}

QByteArray Writer::row(const std::vector<Placed>& placed, int columnCount, int varCount,
                       int fixedSize, const Row& values, bool compress) {
    QByteArray fixed(fixedSize, '\0');
    std::vector<QByteArray> vars(static_cast<size_t>(varCount));
    QByteArray mask((columnCount + 7) / 8, '\0');
    for (size_t i = 0; i < placed.size(); ++i) {
        const Placed& p = placed[i];
        const Variant& v = i < values.size() ? values[i] : Variant::null();
        const bool has = !v.isNull() && !v.isEmpty();
        if (p.c->type == JetColumnType::YesNo) {
            if (has && v.asBool())
                mask[p.number / 8] = char(mask[p.number / 8] | (1 << (p.number % 8)));
            continue;
        }
        if (!has) continue;
        mask[p.number / 8] = char(mask[p.number / 8] | (1 << (p.number % 8)));
        const QByteArray b = value(*p.c, v, compress);
        if (p.varIndex >= 0)
            vars[size_t(p.varIndex)] = b;
        else
            std::memcpy(fixed.data() + p.fixedOffset, b.constData(), size_t(b.size()));
    }
    QByteArray r;
    if (l_.jet3)
        r.append(char(columnCount));
    else
        append16(r, uint32_t(columnCount));
    r += fixed;
    std::vector<int> offsets;
    for (const QByteArray& v : vars) {
        offsets.push_back(int(r.size()));
        r += v;
    }
    offsets.push_back(int(r.size()));  // the end of the data
    if (varCount == 0) return r + mask;
    if (!l_.jet3) {
        for (int i = varCount; i >= 0; --i) append16(r, uint32_t(offsets[size_t(i)]));
        append16(r, uint32_t(varCount));
        return r + mask;
    }
    // Jet 3: one-byte offsets, the high parts in a jump table.
    const int base = int(r.size()) + (varCount + 1) + 1 + int(mask.size());
    int jumps = 0;
    while ((base + jumps - 1) / 256 != jumps) ++jumps;
    for (int i = varCount; i >= 0; --i) r.append(char(offsets[size_t(i)] & 0xff));
    for (int k = jumps - 1; k >= 0; --k) {
        int first = 0xff;
        for (int i = 0; i <= varCount; ++i)
            if (offsets[size_t(i)] >= 256 * (k + 1)) {
                first = i;
                break;
            }
        r.append(char(first));
    }
    r.append(char(varCount));
    return r + mask;
}

QByteArray Writer::props(const Table& t) const {
    QStringList names;
    auto nameIndex = [&](const QString& n) {
        if (!names.contains(n)) names << n;
        return int(names.indexOf(n));
    };
    auto block = [&](int type, const QString& name, const std::vector<Property>& list) {
        QByteArray entries;
        for (const Property& p : list) {
            QByteArray v;
            int dtype = 10;
            if (p.value.type() == rt::VarType::Boolean) {
                dtype = 1;
                v.append(char(p.value.asBool() ? 1 : 0));
            } else {
                v = l_.jet3 ? codePageBytes(p.value.asText(), db_.codePage)
                            : ucs2(p.value.asText());
                if (p.value.asText().size() > 255) dtype = 12;
            }
            QByteArray e;
            append16(e, uint32_t(8 + v.size()));
            e.append('\0').append(char(dtype));
            append16(e, uint32_t(nameIndex(p.name)));
            append16(e, uint32_t(v.size()));
            entries += e + v;
        }
        const QByteArray n = l_.jet3 ? codePageBytes(name, db_.codePage) : ucs2(name);
        QByteArray inner;
        append32(inner, uint32_t(6 + n.size() + entries.size()));
        append16(inner, uint32_t(n.size()));
        inner += n + entries;
        QByteArray chunk;
        append32(chunk, uint32_t(6 + inner.size()));
        append16(chunk, uint32_t(type));
        return chunk + inner;
    };
    QByteArray blocks;
    if (!t.props.empty()) blocks += block(0, QString(), t.props);
    for (const Column& c : t.columns)
        if (!c.props.empty()) blocks += block(1, c.name, c.props);
    if (blocks.isEmpty()) return {};
    QByteArray nameList;
    for (const QString& n : names) {
        const QByteArray b = l_.jet3 ? codePageBytes(n, db_.codePage) : ucs2(n);
        append16(nameList, uint32_t(b.size()));
        nameList += b;
    }
    QByteArray out(l_.jet3 ? QByteArray("KKD\0", 4) : QByteArray("MR2\0", 4));
    append32(out, uint32_t(6 + nameList.size()));
    append16(out, 0x80);
    return out + nameList + blocks;
}

QByteArray Writer::tdef(const Table& t, const std::vector<Placed>& placed, int fixedSize,
                        uint32_t usageMap, int64_t rows) const {
    const jetimport::JetLayout& l =
        jetimport::layoutOf(l_.jet3 ? jetimport::JetVersion::Jet3 : jetimport::JetVersion::Jet4);
    (void)fixedSize;
    // Real indexes: one per index, except a relationship's index that shares
    // another's key columns.
    std::vector<int> realOf(t.indexes.size(), -1);
    std::vector<const Index*> reals;
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        const Index& x = t.indexes[i];
        if (x.foreignKey)
            for (size_t j = 0; j < t.indexes.size(); ++j)
                if (!t.indexes[j].foreignKey && t.indexes[j].columns == x.columns)
                    realOf[i] = -2 - int(j);  // resolved below
    }
    for (size_t i = 0; i < t.indexes.size(); ++i)
        if (realOf[i] == -1) {
            realOf[i] = int(reals.size());
            reals.push_back(&t.indexes[i]);
        }
    for (size_t i = 0; i < t.indexes.size(); ++i)
        if (realOf[i] <= -2) realOf[i] = realOf[size_t(-2 - realOf[i])];

    int maxNumber = 0, varCols = 0;
    for (const Placed& p : placed) {
        maxNumber = std::max(maxNumber, p.number + 1);
        if (p.varIndex >= 0) ++varCols;
    }
    QByteArray b(l.tdefColumnsStart, '\0');
    b[0] = 0x02;
    b[1] = 0x01;
    if (l_.jet3) {
        b[2] = 'V';
        b[3] = 'C';
    }
    put32(b, l.tdefRowCount, uint32_t(rows));
    int64_t lastAuto = t.lastAutoNumber;
    if (lastAuto < 0) {
        lastAuto = 0;
        for (const Column& c : t.columns)
            if (c.autoNumber) lastAuto = int64_t(t.rows.size());
    }
    put32(b, l.tdefAutoNumber, uint32_t(lastAuto));
    b[l.tdefNumVarCols - 3] = char(t.system ? 0x53 : 0x4e);
    put16(b, l.tdefNumVarCols - 2, uint32_t(maxNumber));
    put16(b, l.tdefNumVarCols, uint32_t(varCols));
    put16(b, l.tdefNumCols, uint32_t(placed.size()));
    put32(b, l.tdefNumIndexes, uint32_t(t.indexes.size()));
    put32(b, l.tdefNumRealIndexes, uint32_t(reals.size()));
    put32(b, l.tdefUsageMap, usageMap);
    put32(b, l.tdefUsageMap + 4, usageMap);  // the free-space map: the same row
    b += QByteArray(int(reals.size()) * l.realIndexCountSize, '\0');
    for (const Placed& p : placed) {
        QByteArray e(l.columnEntrySize, '\0');
        const Column& c = *p.c;
        e[0] = char(c.type);
        put16(e, l.columnNumber, uint32_t(p.number));
        put16(e, l.columnNumber + 2, uint32_t(std::max(p.varIndex, 0)));
        put16(e, l.columnNumber + 4, uint32_t(p.number));
        if (c.type == JetColumnType::Decimal) {
            e[l.columnMisc] = char(c.precision);
            e[l.columnMisc + 1] = char(c.scale);
        } else if (l_.jet3 && (c.type == JetColumnType::Text || c.type == JetColumnType::Memo)) {
            put16(e, l.columnMisc, uint32_t(c.codePage));
        } else if (c.type == JetColumnType::Text || c.type == JetColumnType::Memo) {
            put16(e, l.columnMisc, 0x409);
        }
        int flags = isFixed(c.type) ? 0x01 : 0;
        flags |= 0x02;
        if (c.autoNumber) flags |= 0x04;
        if (c.autoGuid) flags |= 0x40;
        e[l.columnFlags] = char(flags);
        if (!l_.jet3 && t.compressText && c.type == JetColumnType::Text)
            e[l.columnFlags + 1] = 0x01;
        const int fixedAt = l_.jet3 ? 14 : 21;
        put16(e, fixedAt, uint32_t(p.fixedOffset));
        int length = fixedWidth(c.type);
        if (c.type == JetColumnType::Text) length = (c.length ? c.length : 50) * (l_.jet3 ? 1 : 2);
        if (c.type == JetColumnType::Binary) length = c.length ? c.length : 16;
        put16(e, fixedAt + 2, uint32_t(length));
        b += e;
    }
    auto name = [&](const QString& n) {
        const QByteArray bytes = l_.jet3 ? codePageBytes(n, db_.codePage) : ucs2(n);
        if (l_.jet3)
            b.append(char(bytes.size()));
        else
            append16(b, uint32_t(bytes.size()));
        b += bytes;
    };
    for (const Placed& p : placed) name(p.c->name);
    for (const Index* x : reals) {
        QByteArray e(l.realIndexEntrySize, '\0');
        for (int k = 0; k < 10; ++k) {
            const int at = l.realIndexLead + 3 * k;
            if (k >= x->columns.size()) {
                put16(e, at, 0xffff);
                continue;
            }
            int number = -1;
            for (const Placed& p : placed)
                if (p.c->name == x->columns[k]) number = p.number;
            if (k == 0 && x->keyNumberOverride >= 0) number = x->keyNumberOverride;
            if (number < 0) throw std::runtime_error("index names a missing column");
            put16(e, at, uint32_t(number));
            const bool desc = size_t(k) < x->descending.size() && x->descending[size_t(k)];
            e[at + 2] = char(desc ? 0x00 : 0x01);
        }
        e[l.realIndexFlags] =
            char((x->unique || x->primaryKey ? 0x01 : 0) | (x->primaryKey ? 0x08 : 0));
        b += e;
    }
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        QByteArray e(l.logicalIndexEntrySize, '\0');
        const int at = l.logicalIndexLead;
        put32(e, at, uint32_t(i));
        put32(e, at + 4, uint32_t(realOf[i]));
        put32(e, at + 9, 0xffffffffu);
        e[at + 19] = char(t.indexes[i].primaryKey ? 1 : t.indexes[i].foreignKey ? 2 : 0);
        b += e;
    }
    for (const Index& x : t.indexes) name(x.name);
    append16(b, 0xffff);
    put32(b, 8, uint32_t(b.size()));
    return b;
}

uint32_t Writer::usageMap(const std::vector<uint32_t>& owned, int kind) {
    QByteArray map;
    uint32_t last = 0;
    for (uint32_t p : owned) last = std::max(last, p);
    if (kind == 0 && (last / 8 + 6) > uint32_t(l_.ps / 2)) kind = 1;
    if (kind == 0) {
        map.append('\0');
        append32(map, 0);
        QByteArray bits(int(last / 8 + 1), '\0');
        for (uint32_t p : owned) bits[int(p / 8)] = char(bits[int(p / 8)] | (1 << (p % 8)));
        map += bits;
    } else {
        const uint32_t perPage = uint32_t(l_.ps - 4) * 8;
        map.append('\x01');
        std::map<uint32_t, uint32_t> mapPages;
        for (uint32_t p : owned) {
            uint32_t& mp = mapPages[p / perPage];
            if (!mp) {
                mp = newPage();
                pages_[mp][0] = 0x05;
                pages_[mp][1] = 0x01;
            }
            const uint32_t bit = p % perPage;
            pages_[mp][int(4 + bit / 8)] = char(pages_[mp][int(4 + bit / 8)] | (1 << (bit % 8)));
        }
        const uint32_t entries = mapPages.empty() ? 1 : mapPages.rbegin()->first + 1;
        for (uint32_t k = 0; k < entries; ++k) append32(map, mapPages.count(k) ? mapPages[k] : 0);
    }
    if (maps_.empty() || !fits(maps_.back(), int(map.size())))
        maps_.push_back({newDataPage(0, false), 0, l_.ps});
    const int r = place(maps_.back(), map, 0);
    return (maps_.back().page << 8) | uint32_t(r);
}

void Writer::writeTable(const Table& t, uint32_t tdefPage) {
    std::vector<Placed> placed;
    int next = 0, varIndex = 0, fixedOffset = 0;
    for (const Column& c : t.columns) {
        Placed p{&c, c.number >= 0 ? c.number : next};
        next = p.number + 1;
        if (!isFixed(c.type)) {
            p.varIndex = varIndex++;
        } else if (c.type != JetColumnType::YesNo) {
            p.fixedOffset = fixedOffset;
            fixedOffset += fixedWidth(c.type);
        }
        placed.push_back(p);
    }
    int columnCount = 0;
    for (const Placed& p : placed) columnCount = std::max(columnCount, p.number + 1);

    std::vector<DataPage> pagesOf;
    struct Moved {
        uint32_t page;
        int index;
        QByteArray row;
    };
    std::vector<Moved> moved;
    for (size_t i = 0; i < t.rows.size(); ++i) {
        const QByteArray r =
            row(placed, columnCount, varIndex, fixedOffset, t.rows[i], t.compressText);
        int index = 0;
        if (t.movedRows.count(int(i))) {
            // Its place keeps a pointer, written once the row has its new place.
            const uint32_t p = placeRow(pagesOf, tdefPage, QByteArray(4, '\0'), 0x4000, index);
            moved.push_back({p, index, r});
        } else {
            placeRow(pagesOf, tdefPage, r, t.deletedRows.count(int(i)) ? 0x8000 : 0, index);
        }
    }
    for (const Moved& m : moved) {
        int index = 0;
        const uint32_t p = placeRow(pagesOf, tdefPage, m.row, 0x8000, index);
        const QByteArray& from = pages_[m.page];
        const int start =
            (uchar(from[l_.rco + 2 + 2 * m.index]) | (uchar(from[l_.rco + 3 + 2 * m.index]) << 8)) &
            0x1fff;
        put32(pages_[m.page], start, (p << 8) | uint32_t(index));
    }
    std::vector<uint32_t> owned;
    for (const DataPage& d : pagesOf) owned.push_back(d.page);
    const uint32_t map = usageMap(owned, t.usageMapKind);
    const int64_t rows = t.recordedRows >= 0 ? t.recordedRows : int64_t(t.rows.size());
    const QByteArray def = tdef(t, placed, fixedOffset, map, rows);
    // The definition on its page and, when longer, on further pages.
    QByteArray& first = pages_[tdefPage];
    const int head = std::min<int>(l_.ps, int(def.size()));
    std::memcpy(first.data(), def.constData(), size_t(head));
    uint32_t prev = tdefPage;
    for (int at = head; at < def.size(); at += l_.ps - 8) {
        const uint32_t p = newPage();
        QByteArray& b = pages_[p];
        b[0] = 0x02;
        b[1] = 0x01;
        const int n = std::min<int>(l_.ps - 8, int(def.size()) - at);
        std::memcpy(b.data() + 8, def.constData() + at, size_t(n));
        put32(pages_[prev], 4, p);
        prev = p;
    }
}

QByteArray Writer::run() {
    const bool jet3 = l_.jet3;
    newPage();                               // 0: the definition page, written last
    newDataPage(0, false);                   // 1: the global usage map (not read)
    const uint32_t catalogPage = newPage();  // 2: MSysObjects

    Table catalog;
    catalog.name = QStringLiteral("MSysObjects");
    catalog.system = true;
    catalog.columns = {column(QStringLiteral("Id"), JetColumnType::Long),
                       column(QStringLiteral("ParentId"), JetColumnType::Long),
                       column(QStringLiteral("Name"), JetColumnType::Text, 128),
                       column(QStringLiteral("Type"), JetColumnType::Integer),
                       column(QStringLiteral("Flags"), JetColumnType::Long),
                       column(QStringLiteral("LvProp"), JetColumnType::LongBinary)};
    const Variant tablesFolder(int32_t(0x0f000001));
    auto entry = [&](int32_t id, const QString& name, int type, uint32_t flags,
                     const QByteArray& props) {
        catalog.rows.push_back({Variant(id), tablesFolder, Variant(name), Variant(int16_t(type)),
                                Variant(int32_t(flags)),
                                props.isEmpty() ? Variant::null() : Variant(props)});
    };
    entry(int32_t(catalogPage), catalog.name, 1, kSystemFlags, {});

    std::vector<Table> system;
    if (!db_.queries.empty()) {
        Table q;
        q.name = QStringLiteral("MSysQueries");
        q.system = true;
        q.columns = {column(QStringLiteral("Attribute"), JetColumnType::Byte),
                     column(QStringLiteral("Expression"), JetColumnType::Memo),
                     column(QStringLiteral("Flag"), JetColumnType::Integer),
                     column(QStringLiteral("LvExtra"), JetColumnType::LongBinary),
                     column(QStringLiteral("Name1"), JetColumnType::Text, 255),
                     column(QStringLiteral("Name2"), JetColumnType::Text, 255),
                     column(QStringLiteral("ObjectId"), JetColumnType::Long),
                     column(QStringLiteral("Order"), JetColumnType::Binary, 255)};
        int k = 0;
        for (const Query& query : db_.queries) {
            const int32_t id = int32_t(0x01000000 | (1000 + k++));
            int n = 0;
            for (const jetimport::QueryRow& r : query.rows) {
                QByteArray order = r.order;
                if (order.isEmpty()) {  // its position, big-endian
                    ++n;
                    order = QByteArray(4, '\0');
                    for (int i = 0; i < 4; ++i) order[i] = char(n >> (8 * (3 - i)));
                }
                auto textOrNull = [](const QString& t) {
                    return t.isEmpty() ? Variant::null() : Variant(t);
                };
                q.rows.push_back({Variant::byte(uint8_t(r.attribute)), textOrNull(r.expression),
                                  Variant(int16_t(r.flag)), Variant::null(), textOrNull(r.name1),
                                  textOrNull(r.name2), Variant(id), Variant(order)});
            }
        }
        system.push_back(q);
    }
    if (!db_.relationships.empty()) {
        Table r;
        r.name = QStringLiteral("MSysRelationships");
        r.system = true;
        r.columns = {column(QStringLiteral("ccolumn"), JetColumnType::Long),
                     column(QStringLiteral("grbit"), JetColumnType::Long),
                     column(QStringLiteral("icolumn"), JetColumnType::Long),
                     column(QStringLiteral("szColumn"), JetColumnType::Text, 64),
                     column(QStringLiteral("szObject"), JetColumnType::Text, 64),
                     column(QStringLiteral("szReferencedColumn"), JetColumnType::Text, 64),
                     column(QStringLiteral("szReferencedObject"), JetColumnType::Text, 64),
                     column(QStringLiteral("szRelationship"), JetColumnType::Text, 64)};
        for (const Relationship& rel : db_.relationships)
            for (int i = 0; i < rel.columns.size(); ++i)
                r.rows.push_back({Variant(int32_t(rel.columns.size())), Variant(rel.grbit),
                                  Variant(int32_t(i)), Variant(rel.columns[i]), Variant(rel.table),
                                  Variant(rel.referencedColumns[i]), Variant(rel.referencedTable),
                                  Variant(rel.name)});
        system.push_back(r);
    }
    std::vector<uint32_t> systemPages, userPages;
    for (const Table& t : system) {
        systemPages.push_back(newPage());
        entry(int32_t(systemPages.back()), t.name, 1, kSystemFlags, {});
    }
    for (const Table& t : db_.tables) {
        userPages.push_back(newPage());
        entry(int32_t(userPages.back()), t.name, 1, t.system ? kSystemFlags : 0,
              t.rawProps.isEmpty() ? props(t) : t.rawProps);
    }
    int k = 0;
    for (const Query& q : db_.queries)
        entry(int32_t(0x01000000 | (1000 + k++)), q.name, 5, uint32_t(q.flags), {});
    for (const OtherObject& o : db_.others)
        entry(int32_t(0x02000000 | (2000 + k++)), o.name, o.type, 0, {});

    for (size_t i = 0; i < system.size(); ++i) writeTable(system[i], systemPages[i]);
    for (size_t i = 0; i < db_.tables.size(); ++i) writeTable(db_.tables[i], userPages[i]);
    writeTable(catalog, catalogPage);

    // The definition page.
    QByteArray& h = pages_[0];
    h[1] = 0x01;
    std::memcpy(h.data() + 4, "Standard Jet DB", 16);
    h[0x14] = char(jet3 ? 0 : 1);
    const int cryptLength = jet3 ? 126 : 128;
    QByteArray plain(128, '\0');
    auto at = [](int offset) { return offset - 0x18; };
    put16(plain, at(0x3c), uint32_t(db_.codePage));
    put32(plain, at(0x3e), db_.pageKey);
    const double created = 45000.25;
    if (jet3) {
        const QByteArray pw = codePageBytes(db_.password, db_.codePage).left(20);
        std::memcpy(plain.data() + at(0x42), pw.constData(), size_t(pw.size()));
    } else {
        const uint32_t mask = uint32_t(int32_t(std::floor(created)));
        const QByteArray pw = ucs2(db_.password.left(20));
        for (int i = 0; i < 40; ++i) {
            const uint8_t b = i < pw.size() ? uint8_t(pw[i]) : 0;
            plain[at(0x42) + i] = char(b ^ uint8_t(mask >> (8 * (i % 4))));
        }
        put16(plain, at(0x6e), 0x409);
        uint64_t bits;
        std::memcpy(&bits, &created, 8);
        for (int i = 0; i < 8; ++i) plain[at(0x72) + i] = char(bits >> (8 * i));
    }
    const uint8_t key[4] = {0xc7, 0xda, 0x39, 0x6b};
    jetimport::rc4(key, 4, reinterpret_cast<uint8_t*>(plain.data()), size_t(cryptLength));
    std::memcpy(h.data() + 0x18, plain.constData(), size_t(cryptLength));

    QByteArray out;
    for (size_t n = 0; n < pages_.size(); ++n) {
        QByteArray page = pages_[n];
        if (n != 0 && db_.pageKey != 0) {
            const uint32_t kk = db_.pageKey ^ uint32_t(n);
            const uint8_t pk[4] = {uint8_t(kk), uint8_t(kk >> 8), uint8_t(kk >> 16),
                                   uint8_t(kk >> 24)};
            jetimport::rc4(pk, 4, reinterpret_cast<uint8_t*>(page.data()), size_t(page.size()));
        }
        out += page;
    }
    return out;
}

}  // namespace

QByteArray write(const Database& db) { return Writer(db).run(); }

QString writeFile(const QString& path, const Database& db) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(write(db)) < 0)
        throw std::runtime_error("cannot write the test file");
    return path;
}

int pageSize(Version v) { return v == Version::Jet3 ? 2048 : 4096; }

Column column(const QString& name, JetColumnType type, int length) {
    Column c;
    c.name = name;
    c.type = type;
    c.length = length;
    return c;
}

}  // namespace jetwriter
