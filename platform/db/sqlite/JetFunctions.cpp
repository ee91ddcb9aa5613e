// The jet_* SQLite functions that translated statements call.
//
// Values arrive as SQLite stores them: dates as "yyyy-MM-dd HH:mm:ss" text,
// Yes/No as -1/0, numbers as integers or reals. Dates go out in the same
// stored text; conditions (jet_like) as 1/0, which the translator turns into
// -1/0 where a Jet value is wanted. Failures become SQLite errors carrying the
// run-time's description (Invalid use of Null, Type mismatch, Overflow ...);
// no exception ever crosses into SQLite.
#include "platform/db/sqlite/JetFunctions.h"

#include <sqlite3.h>

#include <QLocale>
#include <cfloat>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

#include "platform/db/Coerce.h"
#include "platform/db/ProviderErrors.h"
#include "platform/db/jet/Functions.h"
#include "platform/db/jet/Translator.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"
#include "platform/runtime/Variant.h"

namespace db {

namespace {

using jet::parseStoredDate;
using jet::storedDateText;

struct Env {
    const rt::RegionalSettings* rs;
    const rt::Clock* clock;
    int minArgs;
    int maxArgs;
};

[[noreturn]] void invalidUseOfNull() { rt::raiseStandard(rt::err::InvalidUseOfNull); }
[[noreturn]] void typeMismatch() { rt::raiseStandard(rt::err::TypeMismatch); }
[[noreturn]] void invalidArgument() { rt::raiseStandard(rt::err::InvalidProcedureCall); }

// Reading arguments.
class Args {
  public:
    Args(const Env& env, int argc, sqlite3_value** argv) : env_(env), argc_(argc), argv_(argv) {}

    int count() const { return argc_; }
    const rt::RegionalSettings& rs() const { return *env_.rs; }
    int type(int i) const { return sqlite3_value_type(argv_[i]); }
    bool isNull(int i) const { return type(i) == SQLITE_NULL; }
    bool anyNull() const {
        for (int i = 0; i < argc_; ++i)
            if (isNull(i)) return true;
        return false;
    }
    sqlite3_value* raw(int i) const { return argv_[i]; }

    QString rawText(int i) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(argv_[i])),
                                 sqlite3_value_bytes(argv_[i]));
    }

    // The value as a variant; stored-date text becomes a Date when `dates`.
    rt::Variant variant(int i, bool dates) const {
        switch (type(i)) {
            case SQLITE_NULL:
                return rt::Variant::null();
            case SQLITE_INTEGER: {
                const sqlite3_int64 v = sqlite3_value_int64(argv_[i]);
                if (v >= INT32_MIN && v <= INT32_MAX) return rt::Variant(int32_t(v));
                return rt::Variant(double(v));
            }
            case SQLITE_FLOAT:
                return rt::Variant(sqlite3_value_double(argv_[i]));
            case SQLITE_BLOB:
                return rt::Variant(
                    QByteArray(static_cast<const char*>(sqlite3_value_blob(argv_[i])),
                               sqlite3_value_bytes(argv_[i])));
            default: {
                QString t = rawText(i);
                if (dates)
                    if (auto d = parseStoredDate(t)) return rt::Variant(*d);
                return rt::Variant(t);
            }
        }
    }

    // The text a text function reads: numbers in their regional form.
    // REQUIRES: not Null.
    QString text(int i) const {
        switch (type(i)) {
            case SQLITE_TEXT:
                return rawText(i);
            case SQLITE_INTEGER:
                return QString::number(sqlite3_value_int64(argv_[i]));
            default:
                return variant(i, false).toText(rs());
        }
    }

    // A number; Null fails with 94, text that is no number with 13.
    double number(int i) const {
        switch (type(i)) {
            case SQLITE_INTEGER:
                return double(sqlite3_value_int64(argv_[i]));
            case SQLITE_FLOAT:
                return sqlite3_value_double(argv_[i]);
            case SQLITE_NULL:
                invalidUseOfNull();
            default:
                return variant(i, true).toDouble(rs());
        }
    }

    // A whole number as the run-time's CLng takes it (halves to even).
    int64_t whole(int i) const {
        if (type(i) == SQLITE_INTEGER) return sqlite3_value_int64(argv_[i]);
        const double v = number(i);
        if (!std::isfinite(v) || std::fabs(v) > 9.0e15) rt::raiseStandard(rt::err::Overflow);
        return int64_t(rt::roundHalfEven(v));
    }

    // A date: stored text, then a date text as Jet's conversions read it
    // (month names, two-digit years, a time alone on 1899-12-30), then a day
    // number.
    QDateTime date(int i) const {
        switch (type(i)) {
            case SQLITE_NULL:
                invalidUseOfNull();
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                return rt::serialToDate(sqlite3_value_double(argv_[i]));
            case SQLITE_TEXT: {
                const QString t = rawText(i);
                if (auto d = parseStoredDate(t)) return *d;
                if (auto d = jet::fn::readDate(t, rs(), jet::fn::DateOrder::Regional,
                                               env_.clock->now().date().year()))
                    return *d;
                if (auto n = jet::fn::readNumber(t, rs())) return rt::serialToDate(*n);
                typeMismatch();
            }
            default:
                typeMismatch();
        }
    }

    // The value as Jet's conversion functions take it: texts that are
    // numbers (thousand separators, currency symbol) become numbers, stored
    // dates become dates. Null stays Null.
    rt::Variant converted(int i) const {
        if (type(i) == SQLITE_TEXT) {
            const QString t = rawText(i);
            if (auto d = parseStoredDate(t)) return rt::Variant(*d);
            if (auto n = jet::fn::readNumber(t, rs())) return rt::Variant(*n);
            return rt::Variant(t);
        }
        return variant(i, true);
    }
    const rt::Clock& clock() const { return *env_.clock; }

  private:
    const Env& env_;
    int argc_;
    sqlite3_value** argv_;
};

// Writing results.
class Result {
  public:
    explicit Result(sqlite3_context* c) : c_(c) {}
    void null() { sqlite3_result_null(c_); }
    void integer(int64_t v) { sqlite3_result_int64(c_, v); }
    void real(double v) { sqlite3_result_double(c_, v); }
    void boolean(bool v) { sqlite3_result_int(c_, v ? -1 : 0); }
    void condition(bool v) { sqlite3_result_int(c_, v ? 1 : 0); }
    void text(const QString& s) {
        const QByteArray u = s.toUtf8();
        sqlite3_result_text(c_, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    }
    void date(const QDateTime& d) {
        if (!d.isValid() || d.date().year() < 100 || d.date().year() > 9999)
            rt::raiseStandard(rt::err::Overflow);
        text(storedDateText(d));
    }
    void value(sqlite3_value* v) { sqlite3_result_value(c_, v); }
    // A value as the engine stores it (Engine::bind's forms).
    void stored(const rt::Variant& v) {
        using rt::VarType;
        switch (v.type()) {
            case VarType::Empty:
            case VarType::Null:
                return null();
            case VarType::Byte:
                return integer(v.asByte());
            case VarType::Int16:
                return integer(v.asInt16());
            case VarType::Int32:
                return integer(v.asInt32());
            case VarType::Single:
                return real(double(v.asSingle()));
            case VarType::Double:
                return real(v.asDouble());
            case VarType::Currency:
                return real(v.asCurrency().toDouble());
            case VarType::Decimal:
                return text(v.asDecimal().toPlainText());
            case VarType::Date:
                return date(v.asDate());
            case VarType::Boolean:
                return integer(v.asBool() ? -1 : 0);
            case VarType::Text:
                return text(v.asText());
            case VarType::Binary: {
                const QByteArray& b = v.asBinary();
                sqlite3_result_blob(c_, b.constData(), int(b.size()), SQLITE_TRANSIENT);
                return;
            }
        }
    }
    sqlite3_context* context() const { return c_; }

  private:
    sqlite3_context* c_;
};

using Fn = void (*)(const Args&, Result&, const Env&);

// The last failure of a function on this thread, so that the engine's error
// mapping can give the caller its number too (SQLite keeps only a message).
thread_local std::optional<rt::Error> lastFailure;

void reportError(sqlite3_context* ctx, const rt::Error& e) {
    lastFailure = e;
    const QByteArray m = e.description().toUtf8();
    sqlite3_result_error(ctx, m.constData(), int(m.size()));
}
void reportError(sqlite3_context* ctx, const QString& description) {
    reportError(ctx, rt::Error(rt::err::DbGeneric, description));
}

template <Fn F>
void trampoline(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const Env& env = *static_cast<const Env*>(sqlite3_user_data(ctx));
    try {
        if (argc < env.minArgs || argc > env.maxArgs) invalidArgument();
        Args a(env, argc, argv);
        Result r(ctx);
        F(a, r, env);
    } catch (const rt::Error& e) {
        reportError(ctx, e);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    } catch (...) {
        reportError(ctx, QStringLiteral("Unexpected failure in a Jet function"));
    }
}

// ---- text ----

void jetConcat(const Args& a, Result& r, const Env&) {
    QString out;
    bool any = false;
    for (int i = 0; i < a.count(); ++i) {
        if (a.isNull(i)) continue;
        any = true;
        out += a.text(i);
    }
    if (any)
        r.text(out);
    else
        r.null();
}

void jetTextForm(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.text(a.text(0));
}

void jetDateText(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    if (a.type(0) == SQLITE_TEXT) {
        const QString t = a.rawText(0);
        if (auto d = parseStoredDate(t)) return r.text(a.rs().generalDate(*d));
        return r.text(t);
    }
    if (a.type(0) == SQLITE_INTEGER || a.type(0) == SQLITE_FLOAT)
        return r.text(a.rs().generalDate(a.date(0)));
    r.text(a.text(0));
}

void jetCStr(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    r.text(a.text(0));
}

void jetStr(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    const double v = a.number(0);
    QString t = rt::formatGeneral(v, u'.');
    if (v >= 0) t.prepend(u' ');
    r.text(t);
}

int64_t nonNegativeLength(const Args& a, int i) {
    if (a.isNull(i)) invalidUseOfNull();
    const int64_t n = a.whole(i);
    if (n < 0) invalidArgument();
    return n;
}

void jetLeft(const Args& a, Result& r, const Env&) {
    const int64_t n = nonNegativeLength(a, 1);
    if (a.isNull(0)) return r.null();
    const QString s = a.text(0);
    r.text(s.left(qsizetype(std::min<int64_t>(n, s.size()))));
}

void jetRight(const Args& a, Result& r, const Env&) {
    const int64_t n = nonNegativeLength(a, 1);
    if (a.isNull(0)) return r.null();
    const QString s = a.text(0);
    r.text(s.right(qsizetype(std::min<int64_t>(n, s.size()))));
}

void jetMid(const Args& a, Result& r, const Env&) {
    if (a.isNull(1)) invalidUseOfNull();
    const int64_t start = a.whole(1);
    if (start < 1) invalidArgument();
    int64_t len = -1;
    if (a.count() > 2) len = nonNegativeLength(a, 2);
    if (a.isNull(0)) return r.null();
    const QString s = a.text(0);
    if (start > s.size()) return r.text(QString());
    const qsizetype from = qsizetype(start - 1);
    const qsizetype avail = s.size() - from;
    r.text(s.mid(from, len < 0 ? avail : qsizetype(std::min<int64_t>(len, avail))));
}

void jetLen(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.integer(a.text(0).size());
}

void jetInStr(const Args& a, Result& r, const Env&) {
    // InStr([start,] s1, s2 [, compare]); text comparison unless compare is 0.
    int first = 0;
    int64_t start = 1;
    if (a.count() >= 3) {
        if (a.isNull(0)) invalidUseOfNull();
        start = a.whole(0);
        if (start < 1) invalidArgument();
        first = 1;
    }
    Qt::CaseSensitivity cs = Qt::CaseInsensitive;
    if (a.count() == 4) {
        if (a.isNull(3)) invalidUseOfNull();
        const int64_t c = a.whole(3);
        if (c == 0)
            cs = Qt::CaseSensitive;
        else if (c != 1 && c != 2)
            invalidArgument();
    }
    if (a.isNull(first) || a.isNull(first + 1)) return r.null();
    const QString s1 = a.text(first), s2 = a.text(first + 1);
    if (start > s1.size()) return r.integer(0);
    if (s2.isEmpty()) return r.integer(start);
    r.integer(s1.indexOf(s2, qsizetype(start - 1), cs) + 1);
}

QString trimmedBlanks(const QString& s, bool left, bool right) {
    qsizetype b = 0, e = s.size();
    if (left)
        while (b < e && s[b] == u' ') ++b;
    if (right)
        while (e > b && s[e - 1] == u' ') --e;
    return s.mid(b, e - b);
}

void jetTrim(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.text(trimmedBlanks(a.text(0), true, true));
}
void jetLTrim(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.text(trimmedBlanks(a.text(0), true, false));
}
void jetRTrim(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.text(trimmedBlanks(a.text(0), false, true));
}
void jetUCase(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.text(a.text(0).toUpper());
}
void jetLCase(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.text(a.text(0).toLower());
}

void jetSpace(const Args& a, Result& r, const Env&) {
    const int64_t n = nonNegativeLength(a, 0);
    if (n > 100'000'000) rt::raise(14, QStringLiteral("Out of string space"));
    r.text(QString(qsizetype(n), u' '));
}

void jetFormat(const Args& a, Result& r, const Env&) {
    const QString pattern = a.count() > 1 && !a.isNull(1) ? a.text(1) : QString();
    r.stored(jet::fn::formatted(a.isNull(0) ? rt::Variant::null() : a.variant(0, true), pattern,
                                a.rs()));
}

// LIKE: the compiled pattern stays with the statement while the pattern
// argument is the same (a parameter or a literal).
void jetLike(const Args& a, Result& r, const Env&) {
    if (a.isNull(0) || a.isNull(1)) return r.null();
    auto* cached = static_cast<jet::fn::LikePattern*>(sqlite3_get_auxdata(r.context(), 1));
    if (!cached) {
        auto compiled =
            std::make_unique<jet::fn::LikePattern>(jet::fn::LikePattern::compile(a.text(1)));
        cached = compiled.get();
        sqlite3_set_auxdata(r.context(), 1, compiled.release(),
                            [](void* p) { delete static_cast<jet::fn::LikePattern*>(p); });
        // SQLite may drop the auxdata at once; then use a fresh compile.
        if (sqlite3_get_auxdata(r.context(), 1) != cached)
            return r.condition(jet::fn::LikePattern::compile(a.text(1)).matches(a.text(0)));
    }
    r.condition(cached->matches(a.text(0)));
}

// ---- numbers and conversions ----

void jetVal(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    if (a.type(0) == SQLITE_INTEGER || a.type(0) == SQLITE_FLOAT) return r.real(a.number(0));
    r.real(rt::leadingNumber(a.text(0)));
}

void jetCLng(const Args& a, Result& r, const Env&) {
    r.integer(a.converted(0).toInt32(a.rs()));
}
void jetCInt(const Args& a, Result& r, const Env&) {
    r.integer(a.converted(0).toInt16(a.rs()));
}
void jetCDbl(const Args& a, Result& r, const Env&) { r.real(a.converted(0).toDouble(a.rs())); }

void jetCSng(const Args& a, Result& r, const Env&) {
    const double v = a.converted(0).toDouble(a.rs());
    if (std::isfinite(v) && std::fabs(v) > FLT_MAX) rt::raiseStandard(rt::err::Overflow);
    r.real(double(float(v)));
}

void jetCCur(const Args& a, Result& r, const Env&) {
    const double v = a.converted(0).toDouble(a.rs());
    if (!std::isfinite(v) || std::fabs(v) > 922337203685477.0) rt::raiseStandard(rt::err::Overflow);
    r.real(rt::roundHalfEven(v, 4));
}

void jetCBool(const Args& a, Result& r, const Env&) {
    r.boolean(a.converted(0).toBool(a.rs()));
}

void jetCByte(const Args& a, Result& r, const Env&) {
    const int16_t v = a.converted(0).toInt16(a.rs());
    if (v < 0 || v > 255) rt::raiseStandard(rt::err::Overflow);
    r.integer(v);
}

void jetCDate(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    r.date(a.date(0));
}

void wholeOrReal(const Args& a, Result& r, double (*f)(double)) {
    if (a.isNull(0)) return r.null();
    if (a.type(0) == SQLITE_INTEGER) return r.integer(sqlite3_value_int64(a.raw(0)));
    r.real(f(a.number(0)));
}

void jetInt(const Args& a, Result& r, const Env&) {
    wholeOrReal(a, r, [](double v) { return std::floor(v); });
}
void jetFix(const Args& a, Result& r, const Env&) {
    wholeOrReal(a, r, [](double v) { return std::trunc(v); });
}

void jetAbs(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    if (a.type(0) == SQLITE_INTEGER) {
        const sqlite3_int64 v = sqlite3_value_int64(a.raw(0));
        if (v != std::numeric_limits<sqlite3_int64>::min()) return r.integer(v < 0 ? -v : v);
    }
    r.real(std::fabs(a.number(0)));
}

void jetSgn(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    const double v = a.number(0);
    r.integer(v > 0 ? 1 : v < 0 ? -1 : 0);
}

void jetSqr(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    const double v = a.number(0);
    if (v < 0) invalidArgument();
    r.real(std::sqrt(v));
}

void jetRound(const Args& a, Result& r, const Env&) {
    int64_t places = 0;
    if (a.count() > 1) {
        if (a.isNull(1)) invalidUseOfNull();
        places = a.whole(1);
        if (places < 0) invalidArgument();
    }
    if (a.isNull(0)) return r.null();
    if (a.type(0) == SQLITE_INTEGER) return r.integer(sqlite3_value_int64(a.raw(0)));
    r.real(rt::roundHalfEven(a.number(0), int(std::min<int64_t>(places, 22))));
}

// Jet's / \ Mod ^ on two values; Null in, Null out.
void jetDiv(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    const double d = a.number(1);
    if (d == 0) rt::raise(11, QStringLiteral("Division by zero"));
    r.real(a.number(0) / d);
}

int64_t longOperand(const Args& a, int i) {
    const int64_t v = a.whole(i);
    if (v < INT32_MIN || v > INT32_MAX) rt::raiseStandard(rt::err::Overflow);
    return v;
}

void jetIDiv(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    const int64_t x = longOperand(a, 0), y = longOperand(a, 1);
    if (y == 0) rt::raise(11, QStringLiteral("Division by zero"));
    r.integer(x / y);
}

void jetMod(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    const int64_t x = longOperand(a, 0), y = longOperand(a, 1);
    if (y == 0) rt::raise(11, QStringLiteral("Division by zero"));
    r.integer(x % y);
}

void jetPow(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    const double v = std::pow(a.number(0), a.number(1));
    if (std::isnan(v)) invalidArgument();
    if (std::isinf(v)) rt::raiseStandard(rt::err::Overflow);
    r.real(v);
}

// ---- dates ----

void jetNow(const Args&, Result& r, const Env& env) { r.date(env.clock->now()); }

void jetDate(const Args&, Result& r, const Env& env) {
    r.date(rt::naiveDateTime(env.clock->now().date(), QTime(0, 0)));
}

void jetTime(const Args&, Result& r, const Env& env) {
    r.date(rt::naiveDateTime(QDate(1899, 12, 30), env.clock->now().time()));
}

template <int (*Part)(const QDateTime&)>
void datePartOf(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.integer(Part(a.date(0)));
}

int yearOf(const QDateTime& d) { return d.date().year(); }
int monthOf(const QDateTime& d) { return d.date().month(); }
int dayOf(const QDateTime& d) { return d.date().day(); }
int hourOf(const QDateTime& d) { return d.time().hour(); }
int minuteOf(const QDateTime& d) { return d.time().minute(); }
int secondOf(const QDateTime& d) { return d.time().second(); }

int weekOption(const Args& a, int i, int fallback) {
    if (a.count() <= i || a.isNull(i)) return fallback;
    return int(std::clamp<int64_t>(a.whole(i), -1, 100));
}

void jetWeekday(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    const int first = jet::fn::firstDayOfWeek(weekOption(a, 1, 1), a.rs());
    r.integer(jet::fn::weekday(a.date(0).date(), first));
}

void jetDateAdd(const Args& a, Result& r, const Env&) {
    if (a.isNull(0) || a.isNull(1)) invalidUseOfNull();
    const auto iv = jet::fn::parseInterval(a.text(0));
    const double n = a.number(1);
    if (a.isNull(2)) return r.null();
    r.date(jet::fn::dateAdd(iv, n, a.date(2)));
}

void jetDateDiff(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    const auto iv = jet::fn::parseInterval(a.text(0));
    const int first = jet::fn::firstDayOfWeek(weekOption(a, 3, 1), a.rs());
    if (a.isNull(1) || a.isNull(2)) return r.null();
    r.integer(jet::fn::dateDiff(iv, a.date(1), a.date(2), first));
}

void jetDatePart(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    const auto iv = jet::fn::parseInterval(a.text(0));
    const int first = jet::fn::firstDayOfWeek(weekOption(a, 2, 1), a.rs());
    const int week = weekOption(a, 3, 1);
    if (a.isNull(1)) return r.null();
    r.integer(jet::fn::datePart(iv, a.date(1), first, week));
}

void jetDateSerial(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) invalidUseOfNull();
    r.date(jet::fn::dateSerial(a.whole(0), a.whole(1), a.whole(2)));
}

void jetDateValue(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.date(rt::naiveDateTime(a.date(0).date(), QTime(0, 0)));
}

void jetTimeValue(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) return r.null();
    r.date(rt::naiveDateTime(QDate(1899, 12, 30), a.date(0).time()));
}

void jetDatePlus(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    r.date(rt::serialToDate(rt::dateToSerial(a.date(0)) + a.number(1)));
}

void jetDateMinus(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    r.real(rt::dateToSerial(a.date(0)) - rt::dateToSerial(a.date(1)));
}

// ---- text functions added with the wider dialect ----

Qt::CaseSensitivity compareMode(const Args& a, int i) {
    if (a.count() <= i) return Qt::CaseInsensitive;  // Jet compares as text
    if (a.isNull(i)) invalidUseOfNull();
    const int64_t c = a.whole(i);
    if (c == 0) return Qt::CaseSensitive;
    if (c == 1 || c == 2) return Qt::CaseInsensitive;
    invalidArgument();
}

void jetAsc(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    const QString s = a.text(0);
    if (s.isEmpty()) invalidArgument();
    r.integer(s[0].unicode());
}

// Chr(code) for 0-255 (the Windows-1252 characters the system writes) and,
// with a second argument, ChrW(code) for 0-65535.
void jetChr(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    const int64_t c = a.whole(0);
    const bool wide = a.count() > 1;
    if (c < (wide ? -32768 : 0) || c > (wide ? 65535 : 255)) invalidArgument();
    char16_t u = char16_t(c < 0 ? c + 65536 : c);
    if (!wide && c >= 0x80 && c <= 0x9F) {
        static const char16_t cp1252[32] = {
            0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
            0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
        u = cp1252[c - 0x80];
    }
    r.text(QString(QChar(u)));
}

void jetString(const Args& a, Result& r, const Env&) {
    const int64_t n = nonNegativeLength(a, 0);
    if (a.isNull(1)) return r.null();
    QChar c;
    if (a.type(1) == SQLITE_TEXT) {
        const QString s = a.rawText(1);
        if (s.isEmpty()) invalidArgument();
        c = s[0];
    } else {
        const int64_t code = a.whole(1);
        c = QChar(char16_t(((code % 256) + 256) % 256));
    }
    if (n > 100'000'000) rt::raise(14, QStringLiteral("Out of string space"));
    r.text(QString(qsizetype(n), c));
}

void jetStrReverse(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    QString s = a.text(0);
    std::reverse(s.begin(), s.end());
    r.text(s);
}

void jetReplace(const Args& a, Result& r, const Env&) {
    // Replace(expression, find, replacement [, start [, count [, compare]]]):
    // the text from `start` on, with up to `count` finds replaced (-1: all).
    for (int i = 0; i < std::min(a.count(), 5); ++i)
        if (a.isNull(i)) invalidUseOfNull();
    const QString s = a.text(0), find = a.text(1), repl = a.text(2);
    int64_t start = 1, count = -1;
    if (a.count() > 3) {
        start = a.whole(3);
        if (start < 1) invalidArgument();
    }
    if (a.count() > 4) {
        count = a.whole(4);
        if (count < -1) invalidArgument();
    }
    const Qt::CaseSensitivity cs = compareMode(a, 5);
    if (start > s.size()) return r.text(QString());
    const QString tail = s.mid(qsizetype(start - 1));
    if (find.isEmpty() || count == 0) return r.text(tail);
    QString out;
    qsizetype from = 0;
    int64_t done = 0;
    for (;;) {
        if (count >= 0 && done >= count) break;
        const qsizetype at = tail.indexOf(find, from, cs);
        if (at < 0) break;
        out += QStringView(tail).mid(from, at - from);
        out += repl;
        from = at + find.size();
        ++done;
    }
    out += QStringView(tail).mid(from);
    r.text(out);
}

void jetInStrRev(const Args& a, Result& r, const Env&) {
    // InStrRev(check, match [, start [, compare]]); start -1: from the end.
    int64_t start = -1;
    if (a.count() > 2) {
        if (a.isNull(2)) invalidUseOfNull();
        start = a.whole(2);
        if (start == 0 || start < -1) invalidArgument();
    }
    const Qt::CaseSensitivity cs = compareMode(a, 3);
    if (a.isNull(0) || a.isNull(1)) return r.null();
    const QString s = a.text(0), find = a.text(1);
    if (start > s.size()) return r.integer(0);
    if (find.isEmpty()) return r.integer(start == -1 ? s.size() : start);
    const qsizetype last = start == -1 ? s.size() : qsizetype(start);
    if (find.size() > last) return r.integer(0);
    r.integer(s.lastIndexOf(find, last - find.size(), cs) + 1);
}

void jetStrComp(const Args& a, Result& r, const Env&) {
    const Qt::CaseSensitivity cs = compareMode(a, 2);
    if (a.isNull(0) || a.isNull(1)) return r.null();
    const QString x = a.text(0), y = a.text(1);
    const int c = cs == Qt::CaseSensitive
                      ? x.compare(y)
                      : x.toCaseFolded().compare(y.toCaseFolded());
    r.integer(c < 0 ? -1 : (c > 0 ? 1 : 0));
}

// Hex and Oct of a whole number; negatives as 16-bit or 32-bit two's complement.
void radixText(const Args& a, Result& r, int radix) {
    if (a.isNull(0)) return r.null();
    const int64_t v = a.whole(0);
    if (v < INT32_MIN || v > INT32_MAX) rt::raiseStandard(rt::err::Overflow);
    uint64_t u = uint64_t(v);
    if (v < 0) u = v >= -32768 ? uint64_t(v + 65536) : uint64_t(v + 4294967296LL);
    r.text(QString::number(u, radix).toUpper());
}
void jetHex(const Args& a, Result& r, const Env&) { radixText(a, r, 16); }
void jetOct(const Args& a, Result& r, const Env&) { radixText(a, r, 8); }

void jetIsNumeric(const Args& a, Result& r, const Env&) {
    switch (a.type(0)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return r.boolean(true);
        case SQLITE_TEXT: {
            const QString t = a.rawText(0);
            return r.boolean(!parseStoredDate(t) && jet::fn::readNumber(t, a.rs()).has_value());
        }
        default:
            return r.boolean(false);
    }
}

void jetIsDate(const Args& a, Result& r, const Env&) {
    if (a.type(0) != SQLITE_TEXT) return r.boolean(false);
    const QString t = a.rawText(0);
    r.boolean(parseStoredDate(t).has_value() ||
              jet::fn::readDate(t, a.rs(), jet::fn::DateOrder::Regional,
                                a.clock().now().date().year())
                  .has_value());
}

void jetMonthName(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    const int64_t m = a.whole(0);
    if (m < 1 || m > 12) invalidArgument();
    const bool abbreviate = a.count() > 1 && !a.isNull(1) && a.number(1) != 0;
    r.text(a.rs().locale().monthName(int(m), abbreviate ? QLocale::ShortFormat
                                                         : QLocale::LongFormat));
}

void jetWeekdayName(const Args& a, Result& r, const Env&) {
    if (a.isNull(0)) invalidUseOfNull();
    const int64_t wd = a.whole(0);
    if (wd < 1 || wd > 7) invalidArgument();
    const bool abbreviate = a.count() > 1 && !a.isNull(1) && a.number(1) != 0;
    const int first = jet::fn::firstDayOfWeek(weekOption(a, 2, 1), a.rs());
    // Day wd counted from `first` (1 Sunday ... 7 Saturday); Qt counts Monday 1.
    const int sundayBased = int((first - 1 + wd - 1) % 7) + 1;
    const int qtDay = sundayBased == 1 ? 7 : sundayBased - 1;
    r.text(a.rs().locale().dayName(qtDay, abbreviate ? QLocale::ShortFormat
                                                     : QLocale::LongFormat));
}

void jetTimeSerial(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) invalidUseOfNull();
    const int64_t h = a.whole(0), m = a.whole(1), s = a.whole(2);
    if (std::llabs(h) > 24 * 366 * 10000LL || std::llabs(m) > 1440LL * 366 * 10000 ||
        std::llabs(s) > 86400LL * 366 * 10000)
        rt::raiseStandard(rt::err::Overflow);
    // Beyond their ranges the parts carry over; a negative time counts back
    // from midnight of the zero date.
    const double seconds = double(h) * 3600 + double(m) * 60 + double(s);
    double serial = seconds / 86400.0;
    if (serial < 0) {
        // The classic run-time keeps the time of day positive: -1 hour is
        // 1899-12-29 23:00, serial -1 + 23/24.
        const double days = std::floor(serial);
        serial = days - (serial - days);
    }
    r.date(rt::serialToDate(serial));
}

// ---- + - * on values of any kind ----

// A value as Jet's arithmetic reads it: numbers, stored dates (as day
// numbers; `date` tells), numeric texts; other texts fail with type mismatch.
struct Operand {
    double number = 0;
    bool whole = false;
    int64_t integer = 0;
    bool date = false;
    bool text = false;
    QString textValue;
};

Operand operandOf(const Args& a, int i) {
    Operand o;
    switch (a.type(i)) {
        case SQLITE_INTEGER:
            o.whole = true;
            o.integer = sqlite3_value_int64(a.raw(i));
            o.number = double(o.integer);
            return o;
        case SQLITE_FLOAT:
            o.number = sqlite3_value_double(a.raw(i));
            return o;
        case SQLITE_TEXT: {
            o.textValue = a.rawText(i);
            if (auto d = parseStoredDate(o.textValue)) {
                o.date = true;
                o.number = rt::dateToSerial(*d);
                return o;
            }
            o.text = true;
            return o;
        }
        default:
            typeMismatch();
    }
}

double numberOfOperand(const Operand& o, const Args& a) {
    if (!o.text) return o.number;
    if (auto n = jet::fn::readNumber(o.textValue, a.rs())) return *n;
    throw typeMismatchError();
}

void arithmeticResult(Result& r, const Operand& x, const Operand& y, double v, bool dateResult,
                      char op) {
    if (dateResult) return r.date(rt::serialToDate(v));
    if (x.whole && y.whole) {
        int64_t out = 0;
        const bool overflow = op == '+'   ? __builtin_add_overflow(x.integer, y.integer, &out)
                              : op == '-' ? __builtin_sub_overflow(x.integer, y.integer, &out)
                                          : __builtin_mul_overflow(x.integer, y.integer, &out);
        if (!overflow) return r.integer(out);
    }
    r.real(v);
}

void jetAdd(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    const Operand x = operandOf(a, 0), y = operandOf(a, 1);
    if (x.text && y.text) return r.text(x.textValue + y.textValue);  // + joins two texts
    const double v = numberOfOperand(x, a) + numberOfOperand(y, a);
    arithmeticResult(r, x, y, v, x.date || y.date, '+');
}

void jetSub(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    const Operand x = operandOf(a, 0), y = operandOf(a, 1);
    const double v = numberOfOperand(x, a) - numberOfOperand(y, a);
    // A date less a number is a date; a date less a date is a number of days.
    arithmeticResult(r, x, y, v, x.date && !y.date, '-');
}

void jetMul(const Args& a, Result& r, const Env&) {
    if (a.anyNull()) return r.null();
    const Operand x = operandOf(a, 0), y = operandOf(a, 1);
    arithmeticResult(r, x, y, numberOfOperand(x, a) * numberOfOperand(y, a), false, '*');
}

// ---- values written to columns ----

// jet_put(value, kind, size, flags, precision, scale, table, column): the
// value converted by db::coerceForColumn and given back as the engine stores it.
void jetPut(const Args& a, Result& r, const Env&) {
    ColumnInfo c;
    c.kind = rt::VarType(sqlite3_value_int(a.raw(1)));
    c.size = sqlite3_value_int(a.raw(2));
    const int flags = sqlite3_value_int(a.raw(3));
    c.required = (flags & 1) != 0;
    c.autoNumber = (flags & 2) != 0;
    c.precision = sqlite3_value_int(a.raw(4));
    c.scale = sqlite3_value_int(a.raw(5));
    // A text column takes a text as it is; other columns read stored dates.
    rt::Variant v = a.variant(0, c.kind != rt::VarType::Text);
    if (c.required && v.isNull()) c.name = a.rawText(7);
    const rt::Variant out = coerceForColumn(v, c, a.rawText(6), a.rs());
    r.stored(out);
}

// ---- one value from a subquery ----

struct Single {
    sqlite3_value* value;
    int64_t rows;
};

void singleStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* h = static_cast<Single*>(sqlite3_aggregate_context(ctx, sizeof(Single)));
    if (!h) return sqlite3_result_error_nomem(ctx);
    if (++h->rows > 1) {
        reportError(ctx, subqueryRowsError());
        return;
    }
    h->value = sqlite3_value_dup(argv[0]);
    if (!h->value) sqlite3_result_error_nomem(ctx);
}

void singleFinal(sqlite3_context* ctx) {
    auto* h = static_cast<Single*>(sqlite3_aggregate_context(ctx, 0));
    if (!h || !h->value) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, h->value);
    sqlite3_value_free(h->value);
    h->value = nullptr;
}

// ---- StDev, StDevP, Var, VarP ----

struct Spread {
    int64_t n;
    double mean;
    double m2;  // sum of squared differences from the mean (Welford)
};

void spreadStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* h = static_cast<Spread*>(sqlite3_aggregate_context(ctx, sizeof(Spread)));
    if (!h) return sqlite3_result_error_nomem(ctx);
    double x = 0;
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return;  // Nulls are left out, as every aggregate leaves them out
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            x = sqlite3_value_double(argv[0]);
            break;
        default: {
            const Env& env = *static_cast<const Env*>(sqlite3_user_data(ctx));
            const QString t = QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                sqlite3_value_bytes(argv[0]));
            if (auto d = parseStoredDate(t)) {
                x = rt::dateToSerial(*d);
            } else if (auto n = jet::fn::readNumber(t, *env.rs)) {
                x = *n;
            } else {
                reportError(ctx, typeMismatchError());
                return;
            }
        }
    }
    ++h->n;
    const double delta = x - h->mean;
    h->mean += delta / double(h->n);
    h->m2 += delta * (x - h->mean);
}

template <bool Population, bool Root>
void spreadFinal(sqlite3_context* ctx) {
    auto* h = static_cast<Spread*>(sqlite3_aggregate_context(ctx, 0));
    const int64_t n = h ? h->n : 0;
    if (n == 0 || (!Population && n < 2)) return sqlite3_result_null(ctx);
    const double v = h->m2 / double(Population ? n : n - 1);
    sqlite3_result_double(ctx, Root ? std::sqrt(v) : v);
}

// ---- First and Last ----

struct Held {
    sqlite3_value* value;
};

template <bool Last>
void heldStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* h = static_cast<Held*>(sqlite3_aggregate_context(ctx, sizeof(Held)));
    if (!h) return sqlite3_result_error_nomem(ctx);
    if (h->value && !Last) return;
    sqlite3_value* copy = sqlite3_value_dup(argv[0]);
    if (!copy) return sqlite3_result_error_nomem(ctx);
    sqlite3_value_free(h->value);
    h->value = copy;
}

void heldFinal(sqlite3_context* ctx) {
    auto* h = static_cast<Held*>(sqlite3_aggregate_context(ctx, 0));
    if (!h || !h->value) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, h->value);
    sqlite3_value_free(h->value);
    h->value = nullptr;
}

// ---- registration ----

struct Entry {
    const char* name;
    int minArgs;
    int maxArgs;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic;
};

const Entry kEntries[] = {
    {"jet_concat", 1, 127, trampoline<jetConcat>, true},
    {"jet_textform", 1, 1, trampoline<jetTextForm>, true},
    {"jet_datetext", 1, 1, trampoline<jetDateText>, true},
    {"jet_cstr", 1, 1, trampoline<jetCStr>, true},
    {"jet_str", 1, 1, trampoline<jetStr>, true},
    {"jet_left", 2, 2, trampoline<jetLeft>, true},
    {"jet_right", 2, 2, trampoline<jetRight>, true},
    {"jet_mid", 2, 3, trampoline<jetMid>, true},
    {"jet_len", 1, 1, trampoline<jetLen>, true},
    {"jet_instr", 2, 4, trampoline<jetInStr>, true},
    {"jet_trim", 1, 1, trampoline<jetTrim>, true},
    {"jet_ltrim", 1, 1, trampoline<jetLTrim>, true},
    {"jet_rtrim", 1, 1, trampoline<jetRTrim>, true},
    {"jet_ucase", 1, 1, trampoline<jetUCase>, true},
    {"jet_lcase", 1, 1, trampoline<jetLCase>, true},
    {"jet_space", 1, 1, trampoline<jetSpace>, true},
    {"jet_format", 1, 2, trampoline<jetFormat>, true},
    {"jet_like", 2, 2, trampoline<jetLike>, true},
    {"jet_val", 1, 1, trampoline<jetVal>, true},
    {"jet_clng", 1, 1, trampoline<jetCLng>, true},
    {"jet_cint", 1, 1, trampoline<jetCInt>, true},
    {"jet_cdbl", 1, 1, trampoline<jetCDbl>, true},
    {"jet_csng", 1, 1, trampoline<jetCSng>, true},
    {"jet_ccur", 1, 1, trampoline<jetCCur>, true},
    {"jet_cbool", 1, 1, trampoline<jetCBool>, true},
    {"jet_cbyte", 1, 1, trampoline<jetCByte>, true},
    {"jet_cdate", 1, 1, trampoline<jetCDate>, true},
    {"jet_int", 1, 1, trampoline<jetInt>, true},
    {"jet_fix", 1, 1, trampoline<jetFix>, true},
    {"jet_abs", 1, 1, trampoline<jetAbs>, true},
    {"jet_sgn", 1, 1, trampoline<jetSgn>, true},
    {"jet_sqr", 1, 1, trampoline<jetSqr>, true},
    {"jet_round", 1, 2, trampoline<jetRound>, true},
    {"jet_div", 2, 2, trampoline<jetDiv>, true},
    {"jet_idiv", 2, 2, trampoline<jetIDiv>, true},
    {"jet_mod", 2, 2, trampoline<jetMod>, true},
    {"jet_pow", 2, 2, trampoline<jetPow>, true},
    {"jet_now", 0, 0, trampoline<jetNow>, false},
    {"jet_date", 0, 0, trampoline<jetDate>, false},
    {"jet_time", 0, 0, trampoline<jetTime>, false},
    {"jet_year", 1, 1, trampoline<datePartOf<yearOf>>, true},
    {"jet_month", 1, 1, trampoline<datePartOf<monthOf>>, true},
    {"jet_day", 1, 1, trampoline<datePartOf<dayOf>>, true},
    {"jet_hour", 1, 1, trampoline<datePartOf<hourOf>>, true},
    {"jet_minute", 1, 1, trampoline<datePartOf<minuteOf>>, true},
    {"jet_second", 1, 1, trampoline<datePartOf<secondOf>>, true},
    {"jet_weekday", 1, 2, trampoline<jetWeekday>, true},
    {"jet_dateadd", 3, 3, trampoline<jetDateAdd>, true},
    {"jet_datediff", 3, 5, trampoline<jetDateDiff>, true},
    {"jet_datepart", 2, 4, trampoline<jetDatePart>, true},
    {"jet_dateserial", 3, 3, trampoline<jetDateSerial>, true},
    {"jet_datevalue", 1, 1, trampoline<jetDateValue>, true},
    {"jet_timevalue", 1, 1, trampoline<jetTimeValue>, true},
    {"jet_dateplus", 2, 2, trampoline<jetDatePlus>, true},
    {"jet_dateminus", 2, 2, trampoline<jetDateMinus>, true},
    {"jet_asc", 1, 1, trampoline<jetAsc>, true},
    {"jet_chr", 1, 2, trampoline<jetChr>, true},
    {"jet_string", 2, 2, trampoline<jetString>, true},
    {"jet_strreverse", 1, 1, trampoline<jetStrReverse>, true},
    {"jet_replace", 3, 6, trampoline<jetReplace>, true},
    {"jet_instrrev", 2, 4, trampoline<jetInStrRev>, true},
    {"jet_strcomp", 2, 3, trampoline<jetStrComp>, true},
    {"jet_hex", 1, 1, trampoline<jetHex>, true},
    {"jet_oct", 1, 1, trampoline<jetOct>, true},
    {"jet_isnumeric", 1, 1, trampoline<jetIsNumeric>, true},
    {"jet_isdate", 1, 1, trampoline<jetIsDate>, true},
    {"jet_monthname", 1, 2, trampoline<jetMonthName>, true},
    {"jet_weekdayname", 1, 3, trampoline<jetWeekdayName>, true},
    {"jet_timeserial", 3, 3, trampoline<jetTimeSerial>, true},
    {"jet_add", 2, 2, trampoline<jetAdd>, true},
    {"jet_sub", 2, 2, trampoline<jetSub>, true},
    {"jet_mul", 2, 2, trampoline<jetMul>, true},
    {"jet_put", 8, 8, trampoline<jetPut>, true},
};

const rt::Clock& systemClock() {
    static const rt::SystemClock clock;
    return clock;
}

void destroyEnv(void* p) { delete static_cast<Env*>(p); }

}  // namespace

void registerJetFunctions(sqlite3* db, const rt::RegionalSettings* settings,
                          const rt::Clock* clock) {
    const rt::RegionalSettings* rs = settings ? settings : &rt::RegionalSettings::process();
    const rt::Clock* ck = clock ? clock : &systemClock();
    for (const Entry& e : kEntries) {
        auto* env = new Env{rs, ck, e.minArgs, e.maxArgs};
        const int flags = SQLITE_UTF8 | (e.deterministic ? SQLITE_DETERMINISTIC : 0);
        const int nArg = e.minArgs == e.maxArgs ? e.minArgs : -1;
        sqlite3_create_function_v2(db, e.name, nArg, flags, env, e.fn, nullptr, nullptr,
                                   destroyEnv);
    }
    sqlite3_create_function_v2(db, "jet_first", 1, SQLITE_UTF8, nullptr, nullptr, heldStep<false>,
                               heldFinal, nullptr);
    sqlite3_create_function_v2(db, "jet_last", 1, SQLITE_UTF8, nullptr, nullptr, heldStep<true>,
                               heldFinal, nullptr);
    sqlite3_create_function_v2(db, "jet_single", 1, SQLITE_UTF8, nullptr, nullptr, singleStep,
                               singleFinal, nullptr);
    struct Aggregate {
        const char* name;
        void (*final)(sqlite3_context*);
    };
    const Aggregate spreads[] = {{"jet_stdev", spreadFinal<false, true>},
                                 {"jet_stdevp", spreadFinal<true, true>},
                                 {"jet_var", spreadFinal<false, false>},
                                 {"jet_varp", spreadFinal<true, false>}};
    for (const Aggregate& g : spreads)
        sqlite3_create_function_v2(db, g.name, 1, SQLITE_UTF8, new Env{rs, ck, 1, 1}, nullptr,
                                   spreadStep, g.final, destroyEnv);
}

std::optional<rt::Error> takeFunctionFailure(const QString& engineMessage) {
    std::optional<rt::Error> e;
    e.swap(lastFailure);
    if (e && e->description() != engineMessage) return std::nullopt;
    return e;
}

}  // namespace db
