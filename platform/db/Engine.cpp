// What every engine shares: the translation and column caches, the readers
// still open on a connection, and the decoding of cells into variant values.
#include "platform/db/Engine.h"

#include "platform/db/jet/Translator.h"
#include "platform/db/pg/LinkFile.h"
#include "platform/db/pg/PgEngine.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/runtime/Numbers.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace db {

namespace {
constexpr int kMaxCachedTranslations = 1024;
std::atomic<int> gDefaultLockWait{kBusyTimeoutMs};
}  // namespace

void setDefaultLockWait(int milliseconds) { gDefaultLockWait = std::max(0, milliseconds); }
int defaultLockWait() { return gDefaultLockWait; }

Engine::Engine(QString path, const rt::RegionalSettings* settings, const rt::Clock* clock)
    : path_(std::move(path)), settings_(settings), clock_(clock) {}

Engine::~Engine() = default;

std::unique_ptr<Engine> openEngine(const QString& path, const QString& password,
                                   const rt::RegionalSettings* settings, const rt::Clock* clock,
                                   int lockWaitMs) {
    const int wait = lockWaitMs < 0 ? defaultLockWait() : lockWaitMs;
    // A link file stands for a schema on a database server.
    if (pg::isLinkFile(path)) {
        std::unique_ptr<Engine> e = PgEngine::open(path, password, settings, clock);
        e->setLockWait(wait);
        return e;
    }
    return SqliteEngine::open(path, password, settings, clock, wait);
}

std::shared_ptr<const jet::Translation> Engine::translate(const QString& jetSql, bool wantRowid) {
    auto& cache = translations_[wantRowid ? 1 : 0];
    auto it = cache.find(jetSql);
    if (it != cache.end() && it->revision == settings_->revision()) return it->t;
    jet::TranslateOptions opt;
    opt.settings = settings_;
    opt.wantRowid = wantRowid;
    opt.columnKind = [this](const QString& table, const QString& column) {
        return columnKind(table, column);
    };
    auto t = std::make_shared<const jet::Translation>(jet::translate(jetSql, dialect(), opt));
    if (cache.size() >= kMaxCachedTranslations) cache.clear();
    cache.insert(jetSql, CachedTranslation{settings_->revision(), t});
    return t;
}

void Engine::schemaChanged() {
    tables_.clear();
    translations_[0].clear();
    translations_[1].clear();
}

const std::vector<ColumnInfo>& Engine::tableColumns(const QString& table) {
    const QString key = table.toLower();
    auto it = tables_.find(key);
    if (it != tables_.end()) return *it;
    return *tables_.insert(key, readTableColumns(table));
}

rt::VarType Engine::columnKind(const QString& table, const QString& column) {
    for (const ColumnInfo& c : tableColumns(table))
        if (c.name.compare(column, Qt::CaseInsensitive) == 0) return c.kind;
    return rt::VarType::Empty;
}

// ---- Cells ----

namespace {

// The stored form of a date, "yyyy-MM-dd HH:mm:ss[.zzz]" or "yyyy-MM-dd", read
// straight from its UTF-8 bytes (the common case, on every row of a walk);
// false for anything else, which the general reader then tries.
bool storedDate(const char* p, int64_t n, rt::Variant& out) {
    auto digits = [&](int at, int count, int& v) {
        v = 0;
        for (int i = at; i < at + count; ++i) {
            const unsigned d = unsigned(p[i]) - '0';
            if (d > 9) return false;
            v = v * 10 + int(d);
        }
        return true;
    };
    if (n != 10 && n != 19 && n != 23) return false;
    int y, mo, d, h = 0, mi = 0, s = 0, ms = 0;
    if (p[4] != '-' || p[7] != '-' || !digits(0, 4, y) || !digits(5, 2, mo) || !digits(8, 2, d))
        return false;
    if (n > 10 && ((p[10] != ' ' && p[10] != 'T') || p[13] != ':' || p[16] != ':' ||
                   !digits(11, 2, h) || !digits(14, 2, mi) || !digits(17, 2, s)))
        return false;
    if (n == 23 && (p[19] != '.' || !digits(20, 3, ms))) return false;
    const QDate date(y, mo, d);
    const QTime time(h, mi, s, ms);
    if (!date.isValid() || !time.isValid()) return false;
    out = rt::Variant::fromDate(date, time);
    return true;
}

}  // namespace

rt::Variant decodeCell(const Cell& cell, rt::VarType kind, const rt::RegionalSettings& settings) {
    using rt::VarType;
    if (cell.type == CellType::Null) return rt::Variant::null();
    auto text = [&] { return QString::fromUtf8(cell.data, qsizetype(cell.size)); };
    auto byStorage = [&]() -> rt::Variant {
        switch (cell.type) {
            case CellType::Integer:
                if (cell.integer >= INT32_MIN && cell.integer <= INT32_MAX)
                    return rt::Variant(int32_t(cell.integer));
                return rt::Variant(double(cell.integer));
            case CellType::Real: return rt::Variant(cell.real);
            case CellType::Blob: return rt::Variant(QByteArray(cell.data, qsizetype(cell.size)));
            default: return rt::Variant(text());
        }
    };
    const bool number = cell.type == CellType::Integer || cell.type == CellType::Real;
    auto asDouble = [&] { return cell.type == CellType::Integer ? double(cell.integer) : cell.real; };
    switch (kind) {
        case VarType::Text:
            if (cell.type == CellType::Blob) return byStorage();
            if (cell.type == CellType::Text) return rt::Variant(text());
            return rt::Variant(byStorage().toText(settings));
        case VarType::Byte:
        case VarType::Int16:
        case VarType::Int32: {
            if (cell.type == CellType::Integer) {
                const int64_t v = cell.integer;
                if (kind == VarType::Byte && v >= 0 && v <= 255) return rt::Variant::byte(uint8_t(v));
                if (kind == VarType::Int16 && v >= INT16_MIN && v <= INT16_MAX)
                    return rt::Variant(int16_t(v));
                if (v >= INT32_MIN && v <= INT32_MAX) return rt::Variant(int32_t(v));
                return rt::Variant(double(v));
            }
            return byStorage();  // what the column really holds (text such as 57/A)
        }
        case VarType::Single:
            if (number) return rt::Variant(float(asDouble()));
            return byStorage();
        case VarType::Double:
            if (number) return rt::Variant(asDouble());
            return byStorage();
        case VarType::Currency: {
            // Jet's currency range is what a 64-bit count of ten-thousandths
            // holds; a stored number beyond it is given as it is (an exact
            // decimal, or a double), never scaled past the range.
            constexpr int64_t kWholeLimit = INT64_MAX / rt::Currency::kScale;
            if (cell.type == CellType::Integer) {
                if (cell.integer >= -kWholeLimit && cell.integer <= kWholeLimit)
                    return rt::Variant(rt::Currency{cell.integer * rt::Currency::kScale});
                rt::Decimal d;
                d.mantissa = cell.integer;
                return rt::Variant(d);
            }
            if (cell.type == CellType::Real) {
                const double scaled = cell.real * double(rt::Currency::kScale);
                if (std::isfinite(scaled) && std::fabs(scaled) < 9.2233720368547e18)
                    return rt::Variant(rt::Currency{int64_t(std::llround(scaled))});
                return rt::Variant(cell.real);
            }
            rt::Decimal d;
            if (cell.type == CellType::Text && rt::Decimal::parse(text(), d) && d.scale <= 4) {
                if (d.mantissa < INT64_MIN || d.mantissa > INT64_MAX) return rt::Variant(d);
                __int128 m = d.mantissa;
                for (int k = d.scale; k < 4; ++k) m *= 10;  // at most 10^4 times an int64
                if (m >= INT64_MIN && m <= INT64_MAX) return rt::Variant(rt::Currency{int64_t(m)});
                return rt::Variant(d);
            }
            return byStorage();
        }
        case VarType::Decimal: {
            rt::Decimal d;
            if (cell.type == CellType::Integer) {
                d.mantissa = cell.integer;
                return rt::Variant(d);
            }
            if (cell.type == CellType::Real) {
                QString t = rt::formatGeneral(cell.real, u'.', 15);
                if (rt::Decimal::parse(t, d)) return rt::Variant(d);
                return byStorage();
            }
            if (cell.type == CellType::Text && rt::Decimal::parse(text(), d)) return rt::Variant(d);
            return byStorage();
        }
        case VarType::Date: {
            if (cell.type == CellType::Text) {
                rt::Variant v;
                if (storedDate(cell.data, cell.size, v)) return v;
                if (auto d = jet::parseStoredDate(text())) return rt::Variant(*d);
                return rt::Variant(text());
            }
            if (number) return rt::Variant(rt::serialToDate(asDouble()));
            return byStorage();
        }
        case VarType::Boolean:
            if (number) return rt::Variant(asDouble() != 0.0);
            return byStorage();
        case VarType::Binary:
            if (cell.type == CellType::Blob || cell.type == CellType::Text)
                return rt::Variant(QByteArray(cell.data, qsizetype(cell.size)));
            return byStorage();
        default: return byStorage();
    }
}

}  // namespace db
