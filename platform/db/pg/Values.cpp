// Values in the server's text form, both ways.
#include "platform/db/pg/Values.h"

#include "platform/runtime/Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace db::pg {

namespace {

std::string currencyText(int64_t scaled) {
    const bool negative = scaled < 0;
    // The magnitude of INT64_MIN does not fit int64_t: work unsigned.
    const uint64_t m = negative ? uint64_t(0) - uint64_t(scaled) : uint64_t(scaled);
    std::string out = negative ? "-" : "";
    out += std::to_string(m / 10000);
    std::string frac = std::to_string(m % 10000);
    out += '.';
    out.append(4 - frac.size(), '0');
    out += frac;
    return out;
}

std::string doubleText(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc()) return "NaN";
    std::string s(buf, end);
    if (s == "inf") return "Infinity";
    if (s == "-inf") return "-Infinity";
    if (s == "nan" || s == "-nan") return "NaN";
    return s;
}

}  // namespace

Param toParam(const rt::Variant& v) {
    using rt::VarType;
    Param p;
    p.null = false;
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null:
            p.null = true;
            break;
        case VarType::Byte:
            p.type = oid::Int2;
            p.text = std::to_string(v.asByte());
            break;
        case VarType::Int16:
            p.type = oid::Int2;
            p.text = std::to_string(v.asInt16());
            break;
        case VarType::Int32:
            p.type = oid::Int4;
            p.text = std::to_string(v.asInt32());
            break;
        case VarType::Single:
            p.type = oid::Float4;
            p.text = doubleText(double(v.asSingle()));
            break;
        case VarType::Double:
            p.type = oid::Float8;
            p.text = doubleText(v.asDouble());
            break;
        case VarType::Currency:
            p.type = oid::Numeric;
            p.text = currencyText(v.asCurrency().scaled);
            break;
        case VarType::Decimal:
            p.type = oid::Numeric;
            p.text = v.asDecimal().toPlainText(u'.').toStdString();
            break;
        case VarType::Date:
            p.type = oid::Timestamp;
            p.text = v.asDate().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toStdString();
            break;
        case VarType::Boolean:
            p.type = oid::Int2;
            p.text = v.asBool() ? "-1" : "0";
            break;
        case VarType::Text:
            p.text = v.asText().toStdString();
            break;
        case VarType::Binary: {
            p.type = oid::Bytea;
            p.text = "\\x" + v.asBinary().toHex().toStdString();
            break;
        }
    }
    return p;
}


rt::VarType kindOfType(Oid type, int typmod) {
    using rt::VarType;
    switch (type) {
        case oid::Int2: return VarType::Int16;
        case oid::Int4:
        case oid::Int8: return VarType::Int32;
        case oid::Float4: return VarType::Single;
        case oid::Float8: return VarType::Double;
        case oid::Numeric: return typmod == kCurrencyTypmod ? VarType::Currency : VarType::Decimal;
        case oid::Timestamp:
        case oid::Timestamptz:
        case oid::Date: return VarType::Date;
        case oid::Text:
        case oid::Varchar:
        case oid::Bpchar:
        case oid::Unknown:
        case oid::Uuid: return VarType::Text;
        case oid::Bytea: return VarType::Binary;
        case oid::Bool: return VarType::Boolean;
        default: return VarType::Empty;
    }
}

namespace {

int digits(const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

bool wholeNumber(const char* text, int length, int64_t& out) {
    auto [end, ec] = std::from_chars(text, text + length, out);
    return ec == std::errc() && end == text + length;
}

bool realNumber(const char* text, int length, double& out) {
    const std::string s(text, size_t(length));
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return !s.empty() && end == s.c_str() + s.size();
}

}  // namespace

std::optional<QDateTime> parseTimestamp(const char* t, int n) {
    // yyyy-MM-dd[ HH:mm:ss[.f...]]
    if (n < 10 || t[4] != '-' || t[7] != '-') return std::nullopt;
    const int y = digits(t, 4), mo = digits(t + 5, 2), d = digits(t + 8, 2);
    if (y < 0 || mo < 0 || d < 0) return std::nullopt;
    int h = 0, mi = 0, s = 0, ms = 0;
    if (n > 10) {
        if (n < 19 || t[10] != ' ' || t[13] != ':' || t[16] != ':') return std::nullopt;
        h = digits(t + 11, 2);
        mi = digits(t + 14, 2);
        s = digits(t + 17, 2);
        if (h < 0 || mi < 0 || s < 0) return std::nullopt;
        if (n > 19) {
            if (t[19] != '.') return std::nullopt;
            // Milliseconds from the first three fraction digits.
            int scale = 100;
            for (int i = 20; i < n && i < 23; ++i, scale /= 10) {
                if (t[i] < '0' || t[i] > '9') return std::nullopt;
                ms += (t[i] - '0') * scale;
            }
        }
    }
    const QDate date(y, mo, d);
    const QTime time(h, mi, s, ms);
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return rt::naiveDateTime(date, time);
}

rt::Variant readValue(const char* text, int length, Oid type, rt::VarType kind) {
    using rt::VarType;
    const auto asText = [&] { return rt::Variant(QString::fromUtf8(text, length)); };
    if (kind == VarType::Empty) kind = kindOfType(type, -1);
    switch (kind) {
        case VarType::Text: return asText();
        case VarType::Byte:
        case VarType::Int16:
        case VarType::Int32: {
            int64_t v = 0;
            if (!wholeNumber(text, length, v)) {
                double d = 0;
                if (realNumber(text, length, d)) return rt::Variant(d);
                return asText();
            }
            if (kind == VarType::Byte && v >= 0 && v <= 255) return rt::Variant::byte(uint8_t(v));
            if (kind == VarType::Int16 && v >= INT16_MIN && v <= INT16_MAX)
                return rt::Variant(int16_t(v));
            if (v >= INT32_MIN && v <= INT32_MAX) return rt::Variant(int32_t(v));
            return rt::Variant(double(v));
        }
        case VarType::Single: {
            double d = 0;
            if (realNumber(text, length, d)) return rt::Variant(float(d));
            return asText();
        }
        case VarType::Double: {
            double d = 0;
            if (realNumber(text, length, d)) return rt::Variant(d);
            return asText();
        }
        case VarType::Currency: {
            rt::Decimal dec;
            if (rt::Decimal::parse(QString::fromLatin1(text, length), dec) && dec.scale <= 4) {
                __int128 m = dec.mantissa;
                for (int k = dec.scale; k < 4; ++k) m *= 10;
                if (m >= INT64_MIN && m <= INT64_MAX) return rt::Variant(rt::Currency{int64_t(m)});
            }
            double d = 0;
            if (realNumber(text, length, d)) return rt::Variant(d);
            return asText();
        }
        case VarType::Decimal: {
            rt::Decimal dec;
            if (rt::Decimal::parse(QString::fromLatin1(text, length), dec)) return rt::Variant(dec);
            double d = 0;
            if (realNumber(text, length, d)) return rt::Variant(d);
            return asText();
        }
        case VarType::Date: {
            if (auto d = parseTimestamp(text, length)) return rt::Variant(*d);
            return asText();
        }
        case VarType::Boolean: {
            if (type == oid::Bool) return rt::Variant(length > 0 && text[0] == 't');
            double d = 0;
            if (realNumber(text, length, d)) return rt::Variant(d != 0.0);
            return asText();
        }
        case VarType::Binary: {
            if (type == oid::Bytea && length >= 2 && text[0] == '\\' && text[1] == 'x')
                return rt::Variant(QByteArray::fromHex(QByteArray(text + 2, length - 2)));
            return rt::Variant(QByteArray(text, length));
        }
        default: return asText();
    }
}

}  // namespace db::pg
