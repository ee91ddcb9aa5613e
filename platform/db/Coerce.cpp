// The conversion of values written to columns (see Coerce.h).
#include "platform/db/Coerce.h"

#include "platform/db/jet/Functions.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"

#include <QRegularExpression>

#include <cfloat>
#include <cmath>

namespace db {

rt::Error typeMismatchError() {
    return rt::Error(rt::err::DbTypeMismatch,
                     QStringLiteral("Data type mismatch in criteria expression."));
}

rt::Error fieldTooSmallError() {
    return rt::Error(rt::err::DbDataOverflow,
                     QStringLiteral("The field is too small to accept the amount of data you "
                                    "attempted to add. Try inserting or pasting less data."));
}

rt::Error numericOverflowError() {
    return rt::Error(rt::err::DbDataOverflow, QStringLiteral("Numeric field overflow."));
}

rt::Error requiredNullError(const QString& table, const QString& column) {
    return rt::Error(rt::err::DbGeneric,
                     QStringLiteral("The field '%1.%2' cannot contain a Null value because the "
                                    "Required property for this field is set to True. Enter a "
                                    "value in this field.")
                         .arg(table, column));
}

void readDeclaredSizes(ColumnInfo& c) {
    static const QRegularExpression sizes(QStringLiteral("\\(\\s*(\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\)"));
    const QRegularExpressionMatch m = sizes.match(c.declaredType);
    if (!m.hasMatch()) return;
    const int first = m.captured(1).toInt();
    if (c.kind == rt::VarType::Text) {
        c.size = first;
    } else if (c.kind == rt::VarType::Decimal) {
        c.precision = first;
        c.scale = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    }
}

namespace {

// The number a value stands for, as a number column reads it.
double numberOf(const rt::Variant& v, const rt::RegionalSettings& rs) {
    using rt::VarType;
    switch (v.type()) {
        case VarType::Text: {
            if (auto n = jet::fn::readNumber(v.asText(), rs)) return *n;
            throw typeMismatchError();
        }
        case VarType::Binary:
            throw typeMismatchError();
        case VarType::Date:
            return rt::dateToSerial(v.asDate());
        case VarType::Boolean:
            return v.asBool() ? -1.0 : 0.0;
        default:
            return v.toDouble(rs);
    }
}

rt::Variant wholeNumber(const rt::Variant& v, double lo, double hi, rt::VarType kind,
                        const rt::RegionalSettings& rs) {
    const double d = numberOf(v, rs);
    if (!std::isfinite(d)) throw numericOverflowError();
    const double r = rt::roundHalfEven(d);
    if (r < lo || r > hi) throw numericOverflowError();
    switch (kind) {
        case rt::VarType::Byte:
            return rt::Variant::byte(uint8_t(r));
        case rt::VarType::Int16:
            return rt::Variant(int16_t(r));
        default:
            return rt::Variant(int32_t(r));
    }
}

rt::Variant currencyOf(const rt::Variant& v, const rt::RegionalSettings& rs) {
    if (v.type() == rt::VarType::Currency) return v;
    const double d = numberOf(v, rs);
    const double r = rt::roundHalfEven(d, 4);
    if (!std::isfinite(r) || std::fabs(r) > 922337203685477.0) throw numericOverflowError();
    return rt::Variant(rt::Currency{int64_t(std::llround(r * double(rt::Currency::kScale)))});
}

rt::Variant decimalOf(const rt::Variant& v, const ColumnInfo& c, const rt::RegionalSettings& rs) {
    rt::Decimal d;
    const int scale = std::clamp(c.scale, 0, 28);
    if (v.type() == rt::VarType::Decimal) {
        d = v.asDecimal();
    } else {
        const double x = numberOf(v, rs);
        if (!std::isfinite(x) || std::fabs(x) >= 1e28) throw numericOverflowError();
        if (!rt::Decimal::parse(QString::number(rt::roundHalfEven(x, scale), 'f', scale), d))
            throw numericOverflowError();
    }
    // To the column's scale: halves to even.
    while (d.scale > scale) {
        const __int128 q = d.mantissa / 10, rem = d.mantissa % 10;
        __int128 r = q;
        const __int128 a = rem < 0 ? -rem : rem;
        if (a > 5 || (a == 5 && (q % 2 != 0))) r += d.mantissa < 0 ? -1 : 1;
        d.mantissa = r;
        --d.scale;
    }
    while (d.scale < scale) {
        d.mantissa *= 10;
        ++d.scale;
    }
    if (c.precision > 0) {
        __int128 limit = 1;
        for (int i = 0; i < c.precision; ++i) limit *= 10;
        if (d.mantissa >= limit || d.mantissa <= -limit) throw numericOverflowError();
    }
    return rt::Variant(d);
}

rt::Variant dateOf(const rt::Variant& v, const rt::RegionalSettings& rs) {
    using rt::VarType;
    switch (v.type()) {
        case VarType::Date:
            return v;
        case VarType::Text: {
            const QString& t = v.asText();
            if (auto d = jet::fn::readDate(t, rs, jet::fn::DateOrder::Regional,
                                           QDate::currentDate().year()))
                return rt::Variant(*d);
            if (auto n = jet::fn::readNumber(t, rs)) return dateOf(rt::Variant(*n), rs);
            throw typeMismatchError();
        }
        case VarType::Binary:
            throw typeMismatchError();
        default: {
            const double d = numberOf(v, rs);
            try {
                return rt::Variant(rt::serialToDate(d));
            } catch (const rt::Error&) {
                throw numericOverflowError();
            }
        }
    }
}

bool truthOf(const rt::Variant& v, const rt::RegionalSettings& rs) {
    if (v.type() == rt::VarType::Boolean) return v.asBool();
    if (v.type() == rt::VarType::Text) {
        const QString t = v.asText().trimmed().toLower();
        if (t == u"true" || t == u"yes" || t == u"on") return true;
        if (t == u"false" || t == u"no" || t == u"off") return false;
    }
    return numberOf(v, rs) != 0.0;
}

}  // namespace

rt::Variant coerceForColumn(const rt::Variant& v, const ColumnInfo& c, const QString& table,
                            const rt::RegionalSettings& rs) {
    using rt::VarType;
    if (v.isNull() || v.isEmpty()) {
        if (c.kind == VarType::Boolean) return rt::Variant(false);
        if (c.required && !c.autoNumber) throw requiredNullError(table, c.name);
        return rt::Variant::null();
    }
    switch (c.kind) {
        case VarType::Text: {
            QString t = v.type() == VarType::Text ? v.asText() : v.toText(rs);
            if (c.size > 0 && t.size() > c.size) throw fieldTooSmallError();
            return rt::Variant(std::move(t));
        }
        case VarType::Byte:
            return wholeNumber(v, 0, 255, VarType::Byte, rs);
        case VarType::Int16:
            return wholeNumber(v, -32768, 32767, VarType::Int16, rs);
        case VarType::Int32:
            return wholeNumber(v, -2147483648.0, 2147483647.0, VarType::Int32, rs);
        case VarType::Single: {
            const double d = numberOf(v, rs);
            if (!std::isfinite(d) || std::fabs(d) > FLT_MAX) throw numericOverflowError();
            return rt::Variant(float(d));
        }
        case VarType::Double: {
            const double d = numberOf(v, rs);
            if (!std::isfinite(d)) throw numericOverflowError();
            return rt::Variant(d);
        }
        case VarType::Currency:
            return currencyOf(v, rs);
        case VarType::Decimal:
            return decimalOf(v, c, rs);
        case VarType::Date:
            return dateOf(v, rs);
        case VarType::Boolean:
            return rt::Variant(truthOf(v, rs));
        default:
            return v;
    }
}

}  // namespace db
