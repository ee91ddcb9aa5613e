// Variant conversions with the run-time's rules (see Variant.h).
#include "platform/runtime/Variant.h"

#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"
#include "platform/runtime/RegionalSettings.h"

#include <QTimeZone>

#include <cmath>

namespace rt {

const char* varTypeName(VarType t) {
    switch (t) {
        case VarType::Empty: return "Empty";
        case VarType::Null: return "Null";
        case VarType::Byte: return "Byte";
        case VarType::Int16: return "Int16";
        case VarType::Int32: return "Int32";
        case VarType::Single: return "Single";
        case VarType::Double: return "Double";
        case VarType::Currency: return "Currency";
        case VarType::Decimal: return "Decimal";
        case VarType::Date: return "Date";
        case VarType::Boolean: return "Boolean";
        case VarType::Text: return "Text";
        case VarType::Binary: return "Binary";
    }
    return "?";
}

// ---- Decimal ----

double Decimal::toDouble() const {
    // Through text keeps the nearest double for any mantissa.
    return toPlainText().toDouble();
}

QString Decimal::toPlainText(QChar point) const {
    bool neg = mantissa < 0;
    unsigned __int128 m = neg ? (unsigned __int128)(-(mantissa + 1)) + 1 : (unsigned __int128)mantissa;
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(m % 10)));
        m /= 10;
    } while (m != 0);
    while (digits.size() <= scale) digits.insert(digits.begin(), '0');
    QString out = QString::fromLatin1(digits.c_str());
    if (scale > 0) out.insert(out.size() - scale, point);
    if (neg) out.prepend(u'-');
    return out;
}

bool Decimal::parse(const QString& text, Decimal& out) {
    QString s = text.trimmed();
    if (s.isEmpty()) return false;
    bool neg = false;
    qsizetype i = 0;
    if (s[0] == u'-' || s[0] == u'+') {
        neg = s[0] == u'-';
        ++i;
    }
    __int128 m = 0;
    int scale = -1, digits = 0;
    for (; i < s.size(); ++i) {
        QChar c = s[i];
        if (c == u'.' && scale < 0) {
            scale = 0;
            continue;
        }
        if (c < u'0' || c > u'9') return false;
        if (++digits > 38) return false;
        m = m * 10 + (c.unicode() - u'0');
        if (scale >= 0) ++scale;
    }
    if (digits == 0 || scale > 255) return false;
    out.mantissa = neg ? -m : m;
    out.scale = uint8_t(scale < 0 ? 0 : scale);
    return true;
}

// ---- Dates ----

QDateTime naiveDateTime(const QDate& d, const QTime& t) {
    return QDateTime(d, t.isValid() ? t : QTime(0, 0), Qt::UTC);
}

static const QDate kZeroDate(1899, 12, 30);

double dateToSerial(const QDateTime& dt) {
    const double days = double(kZeroDate.daysTo(dt.date()));
    const double frac = dt.time().msecsSinceStartOfDay() / 86400000.0;
    return days < 0 ? days - frac : days + frac;
}

QDateTime serialToDate(double serial) {
    // The whole part counts days from 1899-12-30 (before it, backwards); the
    // fraction is the time of that day, counted forward on both sides. Day
    // -657434 is 0100-01-01, so its whole day (-657434.999...) is in range.
    if (!std::isfinite(serial) || serial <= -657435.0 || serial >= 2958466.0)
        raiseStandard(err::Overflow);
    double whole = std::trunc(serial);
    double frac = std::fabs(serial - whole);
    qint64 ms = qint64(std::llround(frac * 86400000.0));
    QDate d = kZeroDate.addDays(qint64(whole));
    if (ms >= 86400000) {
        // A time that rounds up to midnight is the start of the next day,
        // whichever side of 1899-12-30 the day lies.
        ms -= 86400000;
        d = d.addDays(1);
    }
    if (d.year() > 9999) {  // 9999-12-31 23:59:59.9995 and later: the last instant
        d = QDate(9999, 12, 31);
        ms = 86399999;
    }
    return naiveDateTime(d, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

Variant::Variant(const QDateTime& d) : v_(naiveDateTime(d.date(), d.time())) {}

Variant Variant::fromDate(const QDate& d, const QTime& t) { return Variant(naiveDateTime(d, t)); }

// ---- Conversions ----

bool Variant::isNumeric() const { return isNumericType(type()); }

bool isNumericType(VarType t) {
    switch (t) {
        case VarType::Byte:
        case VarType::Int16:
        case VarType::Int32:
        case VarType::Single:
        case VarType::Double:
        case VarType::Currency:
        case VarType::Decimal: return true;
        default: return false;
    }
}

static QString currencyText(Currency c, QChar point) {
    int64_t s = c.scaled;
    bool neg = s < 0;
    uint64_t a = neg ? uint64_t(0) - uint64_t(s) : uint64_t(s);
    QString whole = QString::number(a / 10000);
    uint64_t frac = a % 10000;
    QString out = whole;
    if (frac) {
        QString f = QStringLiteral("%1").arg(frac, 4, 10, QLatin1Char('0'));
        while (f.endsWith(u'0')) f.chop(1);
        out += point + f;
    }
    if (neg) out.prepend(u'-');
    return out;
}

QString Variant::toText(const RegionalSettings& rs) const {
    const QChar point = rs.decimalSeparator();
    switch (type()) {
        case VarType::Empty: return QString();
        case VarType::Null: raiseStandard(err::InvalidUseOfNull);
        case VarType::Byte: return QString::number(asByte());
        case VarType::Int16: return QString::number(asInt16());
        case VarType::Int32: return QString::number(asInt32());
        case VarType::Single: return formatGeneral(double(asSingle()), point, 7);
        case VarType::Double: return formatGeneral(asDouble(), point, 15);
        case VarType::Currency: return currencyText(asCurrency(), point);
        case VarType::Decimal: {
            QString t = asDecimal().toPlainText(point);
            if (asDecimal().scale > 0) {
                while (t.endsWith(u'0')) t.chop(1);
                if (t.endsWith(point)) t.chop(1);
            }
            if (t == QStringLiteral("-0")) t = QStringLiteral("0");
            return t;
        }
        case VarType::Date: return rs.generalDate(asDate());
        case VarType::Boolean: return asBool() ? QStringLiteral("True") : QStringLiteral("False");
        case VarType::Text: return asText();
        case VarType::Binary: {
            const QByteArray& b = asBinary();
            return QString(reinterpret_cast<const QChar*>(b.constData()), b.size() / 2);
        }
    }
    return QString();
}

QString Variant::joinText(const RegionalSettings& rs) const {
    if (isNull() || isEmpty()) return QString();
    return toText(rs);
}

double Variant::toDouble(const RegionalSettings& rs) const {
    switch (type()) {
        case VarType::Empty: return 0.0;
        case VarType::Null: raiseStandard(err::InvalidUseOfNull);
        case VarType::Byte: return asByte();
        case VarType::Int16: return asInt16();
        case VarType::Int32: return asInt32();
        case VarType::Single: return asSingle();
        case VarType::Double: return asDouble();
        case VarType::Currency: return asCurrency().toDouble();
        case VarType::Decimal: return asDecimal().toDouble();
        case VarType::Date: return dateToSerial(asDate());
        case VarType::Boolean: return asBool() ? -1.0 : 0.0;
        case VarType::Text: {
            if (auto v = parseNumber(asText(), rs.decimalSeparator())) return *v;
            const QString t = asText().trimmed();
            if (t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) return -1.0;
            if (t.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) return 0.0;
            raiseStandard(err::TypeMismatch);
        }
        case VarType::Binary: raiseStandard(err::TypeMismatch);
    }
    return 0.0;
}

// A currency amount rounded exactly to a whole number, halves to even.
static int64_t wholeCurrency(Currency c) {
    int64_t q = c.scaled / Currency::kScale, r = c.scaled % Currency::kScale;
    const int64_t half = Currency::kScale / 2;
    if (r > half || (r == half && (q & 1))) ++q;
    if (r < -half || (r == -half && (q & 1))) --q;
    return q;
}

int16_t Variant::toInt16(const RegionalSettings& rs) const {
    switch (type()) {
        case VarType::Byte: return asByte();
        case VarType::Int16: return asInt16();
        case VarType::Int32: return checkedInt16(asInt32());
        case VarType::Currency: return checkedInt16(wholeCurrency(asCurrency()));
        default: return toInt16Checked(toDouble(rs));
    }
}

int32_t Variant::toInt32(const RegionalSettings& rs) const {
    switch (type()) {
        case VarType::Byte: return asByte();
        case VarType::Int16: return asInt16();
        case VarType::Int32: return asInt32();
        case VarType::Currency: return checkedInt32(wholeCurrency(asCurrency()));
        default: return toInt32Checked(toDouble(rs));
    }
}

bool Variant::toBool(const RegionalSettings& rs) const {
    switch (type()) {
        case VarType::Boolean: return asBool();
        case VarType::Null: raiseStandard(err::InvalidUseOfNull);
        case VarType::Date: raiseStandard(err::TypeMismatch);
        default: return toDouble(rs) != 0.0;
    }
}

QDateTime Variant::toDate(const RegionalSettings& rs) const {
    switch (type()) {
        case VarType::Date: return asDate();
        case VarType::Null: raiseStandard(err::InvalidUseOfNull);
        case VarType::Text: {
            if (auto d = rs.readDate(asText())) return *d;
            if (auto v = parseNumber(asText(), rs.decimalSeparator())) return serialToDate(*v);
            raiseStandard(err::TypeMismatch);
        }
        case VarType::Binary: raiseStandard(err::TypeMismatch);
        default: return serialToDate(toDouble(rs));
    }
}

bool Variant::readsAsNumber(const RegionalSettings& rs) const {
    switch (type()) {
        case VarType::Null:
        case VarType::Binary: return false;
        case VarType::Text: return parseNumber(asText(), rs.decimalSeparator()).has_value();
        default: return true;
    }
}

QString Variant::debugString() const {
    QString name = QString::fromLatin1(varTypeName(type()));
    if (isEmpty() || isNull()) return name;
    static const RegionalSettings iso = [] {
        RegionalSettings s(QLocale::c());
        s.setShortDatePattern(QStringLiteral("yyyy-MM-dd"));
        s.setLongTimePattern(QStringLiteral("HH:mm:ss"));
        s.setDecimalSeparator(u'.');
        return s;
    }();
    if (type() == VarType::Binary) return name + u'(' + QString::fromLatin1(asBinary().toHex()) + u')';
    return name + u'(' + toText(iso) + u')';
}

}  // namespace rt
