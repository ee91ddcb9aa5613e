// The dynamically typed value that database fields hold and that some library
// routines take or return.
//
// Semantics follow the classic run-time:
//  - joining a value to a text uses its text form; Null contributes nothing;
//  - converting Null to a number or a text otherwise fails (94);
//  - conversion to a 16- or 32-bit integer rounds halves to the even neighbour
//    and fails with Overflow (6) out of range and Type mismatch (13) for text
//    that does not read as a number;
//  - dates and numbers become text in the regional format (RegionalSettings).
//
// Dates are naive local date-times: a QDateTime in Qt::UTC that stands for the
// wall-clock reading, so that no daylight-saving gap can shift a stored value.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <variant>

namespace rt {

class RegionalSettings;

enum class VarType : uint8_t {
    Empty,
    Null,
    Byte,
    Int16,
    Int32,
    Single,
    Double,
    Currency,
    Decimal,
    Date,
    Boolean,
    Text,
    Binary,
};

const char* varTypeName(VarType t);
// Byte to Decimal: the number kinds (Boolean and Date are not).
bool isNumericType(VarType t);

// Currency: a 64-bit integer scaled by 10,000 (four decimals, exact).
struct Currency {
    int64_t scaled = 0;
    static constexpr int64_t kScale = 10000;
    double toDouble() const { return double(scaled) / kScale; }
    friend bool operator==(Currency a, Currency b) { return a.scaled == b.scaled; }
};

// Decimal: an exact decimal of up to 28 digits, mantissa * 10^-scale.
struct Decimal {
    __int128 mantissa = 0;
    uint8_t scale = 0;
    double toDouble() const;
    QString toPlainText(QChar point = u'.') const;  // "-12.3400" keeps the scale
    static bool parse(const QString& text, Decimal& out);  // "[-]digits[.digits]"
    friend bool operator==(const Decimal& a, const Decimal& b) {
        return a.mantissa == b.mantissa && a.scale == b.scale;
    }
};

class Variant {
public:
    struct NullTag {
        friend bool operator==(NullTag, NullTag) { return true; }
    };

    Variant() = default;  // Empty
    static Variant null() { return Variant(NullTag{}); }
    Variant(NullTag) : v_(NullTag{}) {}
    static Variant byte(uint8_t b) { Variant v; v.v_ = b; return v; }
    Variant(int16_t i) : v_(i) {}
    Variant(int32_t i) : v_(i) {}
    Variant(float f) : v_(f) {}
    Variant(double d) : v_(d) {}
    Variant(Currency c) : v_(c) {}
    Variant(Decimal d) : v_(d) {}
    Variant(const QDateTime& d);
    Variant(bool b) : v_(b) {}
    Variant(const QString& s) : v_(s) {}
    Variant(const char16_t* s) : v_(QString::fromUtf16(s)) {}
    Variant(const char* s) : v_(QString::fromUtf8(s)) {}
    Variant(const QByteArray& b) : v_(b) {}
    static Variant fromDate(const QDate& d, const QTime& t = QTime(0, 0));

    VarType type() const { return static_cast<VarType>(v_.index()); }
    bool isEmpty() const { return type() == VarType::Empty; }
    bool isNull() const { return type() == VarType::Null; }
    bool isNumeric() const;  // a number type, Boolean or Date excluded
    bool isText() const { return type() == VarType::Text; }

    // Direct access; REQUIRES: the matching type().
    uint8_t asByte() const { return std::get<uint8_t>(v_); }
    int16_t asInt16() const { return std::get<int16_t>(v_); }
    int32_t asInt32() const { return std::get<int32_t>(v_); }
    float asSingle() const { return std::get<float>(v_); }
    double asDouble() const { return std::get<double>(v_); }
    Currency asCurrency() const { return std::get<Currency>(v_); }
    const Decimal& asDecimal() const { return std::get<Decimal>(v_); }
    const QDateTime& asDate() const { return std::get<QDateTime>(v_); }
    bool asBool() const { return std::get<bool>(v_); }
    const QString& asText() const { return std::get<QString>(v_); }
    const QByteArray& asBinary() const { return std::get<QByteArray>(v_); }

    // Conversions of the run-time; they throw rt::Error as described above.
    // Text is read with the regional decimal separator (as the run-time does).
    QString toText(const RegionalSettings& rs) const;   // Null fails (94)
    QString joinText(const RegionalSettings& rs) const; // Null and Empty give ""
    double toDouble(const RegionalSettings& rs) const;  // Null fails; bad text 13
    int16_t toInt16(const RegionalSettings& rs) const;  // halves to even; 6 / 13 / 94
    int32_t toInt32(const RegionalSettings& rs) const;  // halves to even; 6 / 13 / 94
    bool toBool(const RegionalSettings& rs) const;
    QDateTime toDate(const RegionalSettings& rs) const;
    // Whether toDouble would succeed (numbers, Boolean, Empty, numeric text, date).
    bool readsAsNumber(const RegionalSettings& rs) const;

    // Same kind and same value (texts compared exactly).
    friend bool operator==(const Variant& a, const Variant& b) { return a.v_ == b.v_; }

    // For diagnostics and tests: the type and the value, e.g. Int16(0) or Text("x").
    QString debugString() const;

private:
    std::variant<std::monostate, NullTag, uint8_t, int16_t, int32_t, float, double, Currency,
                 Decimal, QDateTime, bool, QString, QByteArray>
        v_;
};

// Dates as the classic run-time counts them: days since 1899-12-30, time as the
// fraction of a day (negative dates keep a positive time part).
double dateToSerial(const QDateTime& d);
QDateTime serialToDate(double serial);  // throws Overflow outside years 100..9999
// A naive date-time from a date and a time.
QDateTime naiveDateTime(const QDate& d, const QTime& t);

}  // namespace rt
