// Jet function semantics on plain values: LIKE, date intervals and Format.
#include "platform/db/jet/Functions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"

namespace db::jet::fn {

namespace {

[[noreturn]] void invalidArgument() { rt::raiseStandard(rt::err::InvalidProcedureCall); }

char16_t fold(QChar c) { return QChar::toCaseFolded(c.unicode()); }

const QDate kZeroDate(1899, 12, 30);

QDateTime checkedRange(const QDateTime& d) {
    if (!d.isValid() || d.date().year() < 100 || d.date().year() > 9999) invalidArgument();
    return d;
}

}  // namespace

// ---- LIKE ----

bool LikePattern::Element::matches(char16_t ch) const {
    switch (kind) {
        case Kind::Char:
            return ch == c;
        case Kind::One:
            return true;
        case Kind::Many:
            return true;
        case Kind::Set: {
            bool in = false;
            for (const auto& [lo, hi] : ranges)
                if (ch >= lo && ch <= hi) {
                    in = true;
                    break;
                }
            return in != negated;
        }
    }
    return false;
}

LikePattern LikePattern::compile(const QString& pattern) {
    LikePattern p;
    const qsizetype n = pattern.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = pattern[i];
        Element e;
        if (c == u'%') {
            ++i;
            if (!p.elements_.empty() && p.elements_.back().kind == Element::Kind::Many) continue;
            e.kind = Element::Kind::Many;
        } else if (c == u'_') {
            ++i;
            e.kind = Element::Kind::One;
        } else if (c == u'[') {
            qsizetype j = i + 1;
            e.kind = Element::Kind::Set;
            if (j < n && (pattern[j] == u'!' || pattern[j] == u'^') && j + 1 < n &&
                pattern[j + 1] != u']') {
                e.negated = true;
                ++j;
            }
            bool closed = false;
            while (j < n) {
                if (pattern[j] == u']') {
                    closed = true;
                    break;
                }
                const char16_t lo = fold(pattern[j]);
                if (j + 2 < n && pattern[j + 1] == u'-' && pattern[j + 2] != u']') {
                    const char16_t hi = fold(pattern[j + 2]);
                    if (hi < lo)
                        rt::raise(rt::err::InvalidProcedureCall,
                                  QStringLiteral("Invalid pattern string"));
                    e.ranges.emplace_back(lo, hi);
                    j += 3;
                } else {
                    e.ranges.emplace_back(lo, lo);
                    ++j;
                }
            }
            if (!closed)
                rt::raise(rt::err::InvalidProcedureCall, QStringLiteral("Invalid pattern string"));
            i = j + 1;
            if (e.ranges.empty()) continue;  // [] stands for no character at all
        } else {
            ++i;
            e.kind = Element::Kind::Char;
            e.c = fold(c);
        }
        p.elements_.push_back(std::move(e));
    }
    return p;
}

bool LikePattern::matches(const QString& text) const {
    // Two pointers with one back-track point for the last '%': linear in
    // practice, never exponential.
    const qsizetype n = text.size();
    const size_t m = elements_.size();
    size_t p = 0;
    qsizetype t = 0;
    size_t starP = std::numeric_limits<size_t>::max();
    qsizetype starT = 0;
    while (t < n) {
        if (p < m && elements_[p].kind == Element::Kind::Many) {
            starP = ++p;
            starT = t;
            continue;
        }
        if (p < m && elements_[p].matches(fold(text[t]))) {
            ++p;
            ++t;
            continue;
        }
        if (starP != std::numeric_limits<size_t>::max()) {
            p = starP;
            t = ++starT;
            continue;
        }
        return false;
    }
    while (p < m && elements_[p].kind == Element::Kind::Many) ++p;
    return p == m;
}

// ---- dates ----

Interval parseInterval(const QString& text) {
    const QString s = text.trimmed().toLower();
    if (s == u"yyyy") return Interval::Year;
    if (s == u"q") return Interval::Quarter;
    if (s == u"m") return Interval::Month;
    if (s == u"y") return Interval::DayOfYear;
    if (s == u"d") return Interval::Day;
    if (s == u"w") return Interval::Weekday;
    if (s == u"ww") return Interval::Week;
    if (s == u"h") return Interval::Hour;
    if (s == u"n") return Interval::Minute;
    if (s == u"s") return Interval::Second;
    invalidArgument();
}

int firstDayOfWeek(int value, const rt::RegionalSettings& rs) {
    if (value == 0) return int(rs.locale().firstDayOfWeek()) % 7 + 1;
    if (value < 1 || value > 7) invalidArgument();
    return value;
}

int weekday(const QDate& d, int firstDay) {
    const int sundayBased = d.dayOfWeek() % 7 + 1;  // 1 Sunday ... 7 Saturday
    return (sundayBased - firstDay + 7) % 7 + 1;
}

QDateTime dateAdd(Interval iv, double n, const QDateTime& d) {
    if (!std::isfinite(n) || std::fabs(n) > 4.0e11) invalidArgument();
    const int64_t k = int64_t(std::trunc(n));
    const QDate date = d.date();
    const QTime time = d.time();
    auto withDate = [&](QDate nd) { return rt::naiveDateTime(nd, time); };
    auto months = [&](int64_t m) {
        if (std::llabs(m) > 12 * 10000) invalidArgument();
        return withDate(date.addMonths(int(m)));
    };
    auto days = [&](int64_t dd) {
        if (std::llabs(dd) > 366LL * 10000) invalidArgument();
        return withDate(date.addDays(dd));
    };
    QDateTime r;
    switch (iv) {
        case Interval::Year:
            if (std::llabs(k) > 10000) invalidArgument();
            r = withDate(date.addYears(int(k)));
            break;
        case Interval::Quarter:
            r = months(k * 3);
            break;
        case Interval::Month:
            r = months(k);
            break;
        case Interval::DayOfYear:
        case Interval::Day:
        case Interval::Weekday:
            r = days(k);
            break;
        case Interval::Week:
            r = days(k * 7);
            break;
        case Interval::Hour:
            r = d.addSecs(k * 3600);
            break;
        case Interval::Minute:
            r = d.addSecs(k * 60);
            break;
        case Interval::Second:
            r = d.addSecs(k);
            break;
    }
    return checkedRange(r);
}

namespace {

int64_t dayNumber(const QDateTime& d) { return kZeroDate.daysTo(d.date()); }

}  // namespace

int64_t dateDiff(Interval iv, const QDateTime& a, const QDateTime& b, int firstDay) {
    const QDate da = a.date(), db = b.date();
    switch (iv) {
        case Interval::Year:
            return int64_t(db.year()) - da.year();
        case Interval::Quarter:
            return (int64_t(db.year()) * 4 + (db.month() - 1) / 3) -
                   (int64_t(da.year()) * 4 + (da.month() - 1) / 3);
        case Interval::Month:
            return (int64_t(db.year()) * 12 + db.month()) - (int64_t(da.year()) * 12 + da.month());
        case Interval::DayOfYear:
        case Interval::Day:
            return da.daysTo(db);
        case Interval::Weekday:
            return da.daysTo(db) / 7;
        case Interval::Week: {
            const QDate sa = da.addDays(-(weekday(da, firstDay) - 1));
            const QDate sb = db.addDays(-(weekday(db, firstDay) - 1));
            return sa.daysTo(sb) / 7;
        }
        case Interval::Hour:
            return (dayNumber(b) * 24 + b.time().hour()) - (dayNumber(a) * 24 + a.time().hour());
        case Interval::Minute:
            return (dayNumber(b) * 1440 + b.time().hour() * 60 + b.time().minute()) -
                   (dayNumber(a) * 1440 + a.time().hour() * 60 + a.time().minute());
        case Interval::Second: {
            auto secs = [](const QDateTime& x) {
                return dayNumber(x) * 86400 + x.time().msecsSinceStartOfDay() / 1000;
            };
            return secs(b) - secs(a);
        }
    }
    return 0;
}

int datePart(Interval iv, const QDateTime& dt, int firstDay, int firstWeek) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    switch (iv) {
        case Interval::Year:
            return d.year();
        case Interval::Quarter:
            return (d.month() - 1) / 3 + 1;
        case Interval::Month:
            return d.month();
        case Interval::DayOfYear:
            return d.dayOfYear();
        case Interval::Day:
            return d.day();
        case Interval::Weekday:
            return weekday(d, firstDay);
        case Interval::Week: {
            if (firstWeek == 0) firstWeek = 1;
            if (firstWeek < 1 || firstWeek > 3) invalidArgument();
            auto weekOneStart = [&](int year) {
                const QDate jan1(year, 1, 1);
                const int wd = weekday(jan1, firstDay);
                QDate s = jan1.addDays(-(wd - 1));
                if ((firstWeek == 2 && wd > 4) || (firstWeek == 3 && wd != 1)) s = s.addDays(7);
                return s;
            };
            QDate start = weekOneStart(d.year());
            if (d < start) start = weekOneStart(d.year() - 1);
            return int(start.daysTo(d) / 7) + 1;
        }
        case Interval::Hour:
            return t.hour();
        case Interval::Minute:
            return t.minute();
        case Interval::Second:
            return t.second();
    }
    return 0;
}

QDateTime dateSerial(int64_t year, int64_t month, int64_t day) {
    if (year >= 0 && year <= 29) year += 2000;
    if (year >= 30 && year <= 99) year += 1900;
    if (year < 1 || year > 9999 || std::llabs(month) > 120000 || std::llabs(day) > 4000000)
        invalidArgument();
    const QDate d = QDate(int(year), 1, 1).addMonths(int(month - 1)).addDays(day - 1);
    return checkedRange(rt::naiveDateTime(d, QTime(0, 0)));
}

// ---- Format ----

namespace {

// The separators the regional patterns use between date and time fields.
QChar separatorIn(const QString& pattern, QChar fallback) {
    for (QChar c : pattern)
        if (!c.isLetter() && c != u' ' && c != u'\'') return c;
    return fallback;
}

// A literal at `i` ("quoted" or \x): appends it, advances `i`, true when one was there.
bool takeLiteral(const QString& p, qsizetype& i, QString& out) {
    if (p[i] == u'"') {
        qsizetype j = p.indexOf(u'"', i + 1);
        if (j < 0) j = p.size();
        out += QStringView(p).mid(i + 1, j - i - 1);
        i = std::min(j + 1, p.size());
        return true;
    }
    if (p[i] == u'\\') {
        if (i + 1 < p.size()) out += p[i + 1];
        i += 2;
        return true;
    }
    return false;
}

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

QString formatDate(const QDateTime& dt, const QString& p, const rt::RegionalSettings& rs) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    const QLocale& loc = rs.locale();
    const bool twelveHour = p.contains(QLatin1String("AM/PM"), Qt::CaseInsensitive) ||
                            p.contains(QLatin1String("A/P"), Qt::CaseInsensitive) ||
                            p.contains(QLatin1String("AMPM"), Qt::CaseInsensitive);
    const QChar dateSep = separatorIn(rs.shortDatePattern(), u'/');
    const QChar timeSep = separatorIn(rs.longTimePattern(), u':');
    QString out;
    bool afterHour = false;
    const qsizetype n = p.size();
    auto runOf = [&](qsizetype i) {
        const QChar c = p[i].toLower();
        qsizetype j = i;
        while (j < n && p[j].toLower() == c) ++j;
        return j - i;
    };
    // Whether the next field after `from` is seconds (then m means minutes).
    auto secondsNext = [&](qsizetype from) {
        for (qsizetype j = from; j < n; ++j) {
            const QChar c = p[j].toLower();
            if (c == u'"' || c == u'\\') return false;
            if (c == u's') return true;
            if (c.isLetter()) return false;
        }
        return false;
    };
    for (qsizetype i = 0; i < n;) {
        if (takeLiteral(p, i, out)) continue;
        const QChar c = p[i].toLower();
        const qsizetype run = runOf(i);
        bool field = true;
        switch (c.unicode()) {
            case u'c':
                out += rs.generalDate(dt);
                i += 1;
                break;
            case u'd':
                if (run == 1)
                    out += QString::number(d.day());
                else if (run == 2)
                    out += twoDigits(d.day());
                else if (run == 3)
                    out += loc.dayName(d.dayOfWeek(), QLocale::ShortFormat);
                else if (run == 4)
                    out += loc.dayName(d.dayOfWeek(), QLocale::LongFormat);
                else if (run == 5)
                    out += rs.shortDate(d);
                else
                    out += loc.toString(d, QLocale::LongFormat);
                i += std::min<qsizetype>(run, 6);
                break;
            case u'w':
                out +=
                    QString::number(run == 1 ? weekday(d, 1) : datePart(Interval::Week, dt, 1, 1));
                i += std::min<qsizetype>(run, 2);
                break;
            case u'm':
                if (run <= 2 && (afterHour || secondsNext(i + run))) {
                    out += run == 1 ? QString::number(t.minute()) : twoDigits(t.minute());
                } else if (run == 1) {
                    out += QString::number(d.month());
                } else if (run == 2) {
                    out += twoDigits(d.month());
                } else if (run == 3) {
                    out += loc.monthName(d.month(), QLocale::ShortFormat);
                } else {
                    out += loc.monthName(d.month(), QLocale::LongFormat);
                }
                i += std::min<qsizetype>(run, 4);
                break;
            case u'n':
                out += run == 1 ? QString::number(t.minute()) : twoDigits(t.minute());
                i += std::min<qsizetype>(run, 2);
                break;
            case u'q':
                out += QString::number((d.month() - 1) / 3 + 1);
                i += 1;
                break;
            case u'y':
                if (run == 1)
                    out += QString::number(d.dayOfYear());
                else if (run == 2)
                    out += twoDigits(d.year() % 100);
                else
                    out += QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0'));
                i += run == 1 ? 1 : run == 2 || run == 3 ? 2 : 4;
                break;
            case u'h': {
                int h = t.hour();
                if (twelveHour) h = h % 12 == 0 ? 12 : h % 12;
                out += run == 1 ? QString::number(h) : twoDigits(h);
                i += std::min<qsizetype>(run, 2);
                afterHour = true;
                continue;
            }
            case u's':
                out += run == 1 ? QString::number(t.second()) : twoDigits(t.second());
                i += std::min<qsizetype>(run, 2);
                break;
            case u't':
                if (run >= 5) {
                    out += rs.longTime(t);
                    i += 5;
                } else {
                    out += p[i];
                    ++i;
                    field = false;
                }
                break;
            case u'a': {
                const QStringView rest = QStringView(p).mid(i);
                const bool pm = t.hour() >= 12;
                if (rest.startsWith(QLatin1String("AM/PM"), Qt::CaseInsensitive)) {
                    QString s = pm ? QStringLiteral("PM") : QStringLiteral("AM");
                    out += p[i].isLower() ? s.toLower() : s;
                    i += 5;
                } else if (rest.startsWith(QLatin1String("A/P"), Qt::CaseInsensitive)) {
                    QString s = pm ? QStringLiteral("P") : QStringLiteral("A");
                    out += p[i].isLower() ? s.toLower() : s;
                    i += 3;
                } else if (rest.startsWith(QLatin1String("AMPM"), Qt::CaseInsensitive)) {
                    out += pm ? loc.pmText() : loc.amText();
                    i += 4;
                } else {
                    out += p[i];
                    ++i;
                    field = false;
                }
                break;
            }
            case u'/':
                out += dateSep;
                ++i;
                field = false;
                break;
            case u':':
                out += timeSep;
                ++i;
                field = false;
                break;
            default:
                out += p[i];
                ++i;
                field = false;
                break;
        }
        if (field) afterHour = false;
    }
    return out;
}

// Splits at ';' outside literals.
QStringList sections(const QString& p) {
    QStringList out;
    QString cur;
    for (qsizetype i = 0; i < p.size();) {
        if (p[i] == u'"') {
            qsizetype j = p.indexOf(u'"', i + 1);
            if (j < 0) j = p.size() - 1;
            cur += QStringView(p).mid(i, j - i + 1);
            i = j + 1;
        } else if (p[i] == u'\\') {
            cur += QStringView(p).mid(i, 2);
            i += 2;
        } else if (p[i] == u';') {
            out << cur;
            cur.clear();
            ++i;
        } else {
            cur += p[i++];
        }
    }
    out << cur;
    return out;
}

// The decimal digits of |v| rounded to `frac` places, halves away from zero
// (as Format rounds), from its 15 significant digits.
void decimalDigits(double v, int frac, QString& whole, QString& fraction) {
    v = std::fabs(v);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", v);
    const char* e = std::strchr(buf, 'e');
    const int exp10 = std::atoi(e + 1);
    std::string digits;
    for (const char* q = buf; q < e; ++q)
        if (*q >= '0' && *q <= '9') digits.push_back(*q);
    // value = 0.digits * 10^(exp10 + 1)
    std::string w, f;
    const int point = exp10 + 1;
    if (point <= 0) {
        w = "0";
        f = std::string(size_t(-point), '0') + digits;
    } else if (size_t(point) >= digits.size()) {
        w = digits + std::string(size_t(point) - digits.size(), '0');
    } else {
        w = digits.substr(0, size_t(point));
        f = digits.substr(size_t(point));
    }
    if (f.size() < size_t(frac) + 1) f.append(size_t(frac) + 1 - f.size(), '0');
    const bool up = f[size_t(frac)] >= '5';
    f.resize(size_t(frac));
    if (up) {
        int k = int(f.size()) - 1;
        for (; k >= 0; --k) {
            if (f[size_t(k)] == '9') {
                f[size_t(k)] = '0';
            } else {
                ++f[size_t(k)];
                break;
            }
        }
        if (k < 0) {
            int j = int(w.size()) - 1;
            for (; j >= 0; --j) {
                if (w[size_t(j)] == '9') {
                    w[size_t(j)] = '0';
                } else {
                    ++w[size_t(j)];
                    break;
                }
            }
            if (j < 0) w.insert(w.begin(), '1');
        }
    }
    size_t lead = 0;
    while (lead < w.size() && w[lead] == '0') ++lead;
    whole = QString::fromLatin1(w.c_str() + lead);
    fraction = QString::fromLatin1(f.c_str());
}

struct NumToken {
    enum class Kind : unsigned char { Zero, Hash, Point, Comma, Percent, Exp, Literal } kind;
    QString text;  // Literal; Exp: "E+" "E-" "e+" "e-"
};

std::vector<NumToken> numberTokens(const QString& p) {
    std::vector<NumToken> out;
    for (qsizetype i = 0; i < p.size();) {
        QString lit;
        if (takeLiteral(p, i, lit)) {
            out.push_back({NumToken::Kind::Literal, lit});
            continue;
        }
        const QChar c = p[i];
        if (c == u'0')
            out.push_back({NumToken::Kind::Zero, {}});
        else if (c == u'#')
            out.push_back({NumToken::Kind::Hash, {}});
        else if (c == u'.')
            out.push_back({NumToken::Kind::Point, {}});
        else if (c == u',')
            out.push_back({NumToken::Kind::Comma, {}});
        else if (c == u'%')
            out.push_back({NumToken::Kind::Percent, {}});
        else if ((c == u'E' || c == u'e') && i + 1 < p.size() &&
                 (p[i + 1] == u'+' || p[i + 1] == u'-')) {
            out.push_back({NumToken::Kind::Exp, p.mid(i, 2)});
            i += 2;
            continue;
        } else {
            out.push_back({NumToken::Kind::Literal, QString(c)});
        }
        ++i;
    }
    return out;
}

bool isDigitToken(const NumToken& t) {
    return t.kind == NumToken::Kind::Zero || t.kind == NumToken::Kind::Hash;
}

QString formatSection(double v, bool negative, const QString& section,
                      const rt::RegionalSettings& rs) {
    const std::vector<NumToken> toks = numberTokens(section);
    qsizetype firstDigit = -1, lastIntDigit = -1, point = -1, exp = -1;
    int intZeros = 0, fracDigits = 0, expDigits = 0, percents = 0;
    for (qsizetype i = 0; i < qsizetype(toks.size()); ++i) {
        const NumToken& t = toks[size_t(i)];
        if (t.kind == NumToken::Kind::Percent) ++percents;
        if (t.kind == NumToken::Kind::Point && point < 0 && exp < 0) point = i;
        if (t.kind == NumToken::Kind::Exp && exp < 0) exp = i;
        if (!isDigitToken(t)) continue;
        if (firstDigit < 0) firstDigit = i;
        if (exp >= 0)
            ++expDigits;
        else if (point >= 0)
            ++fracDigits;
        else {
            lastIntDigit = i;
            if (t.kind == NumToken::Kind::Zero) ++intZeros;
        }
    }
    if (firstDigit < 0) {
        // No digit placeholders: the section is its literals.
        QString out;
        for (const NumToken& t : toks)
            out += t.kind == NumToken::Kind::Literal   ? t.text
                   : t.kind == NumToken::Kind::Percent ? QStringLiteral("%")
                   : t.kind == NumToken::Kind::Point   ? QString(rs.decimalSeparator())
                                                       : QString();
        return out;
    }
    bool grouping = false;
    for (qsizetype i = firstDigit; i < lastIntDigit; ++i)
        if (toks[size_t(i)].kind == NumToken::Kind::Comma) grouping = true;
    for (int k = 0; k < percents; ++k) v *= 100.0;

    int exponent = 0;
    if (exp >= 0 && v != 0.0 && std::isfinite(v)) {
        int intPlaces = 0;
        for (qsizetype i = 0; i < (point >= 0 ? point : exp); ++i)
            if (isDigitToken(toks[size_t(i)])) ++intPlaces;
        intPlaces = std::max(intPlaces, 1);
        exponent = int(std::floor(std::log10(std::fabs(v)))) - (intPlaces - 1);
        v /= std::pow(10.0, exponent);
        QString w, f;
        decimalDigits(v, fracDigits, w, f);
        if (w.size() > intPlaces) {  // rounding carried into a new digit
            ++exponent;
            v /= 10.0;
        }
    }
    QString whole, fraction;
    decimalDigits(v, fracDigits, whole, fraction);
    const bool zero = whole.isEmpty() && std::all_of(fraction.begin(), fraction.end(),
                                                     [](QChar c) { return c == u'0'; });
    if (whole.size() < intZeros) whole = QString(intZeros - whole.size(), u'0') + whole;
    if (grouping) {
        const QString sep = rs.locale().groupSeparator();
        QString g;
        for (qsizetype i = 0; i < whole.size(); ++i) {
            if (i > 0 && (whole.size() - i) % 3 == 0) g += sep;
            g += whole[i];
        }
        whole = g;
    }
    qsizetype significant = fraction.size();
    while (significant > 0 && fraction[significant - 1] == u'0') --significant;

    // Integer part, right to left: each placeholder takes one digit; the first
    // placeholder takes every digit left over.
    const qsizetype intEnd = point >= 0 ? point : (exp >= 0 ? exp : qsizetype(toks.size()));
    QString intOut;
    if (grouping) {
        for (qsizetype i = 0; i < intEnd; ++i) {
            const NumToken& t = toks[size_t(i)];
            if (i == firstDigit)
                intOut += whole;
            else if (t.kind == NumToken::Kind::Literal)
                intOut += t.text;
            else if (t.kind == NumToken::Kind::Percent)
                intOut += u'%';
        }
    } else {
        qsizetype left = whole.size();
        QString rev;
        for (qsizetype i = intEnd - 1; i >= 0; --i) {
            const NumToken& t = toks[size_t(i)];
            QString piece;
            if (isDigitToken(t)) {
                if (i == firstDigit) {
                    piece = whole.left(left);
                    left = 0;
                } else if (left > 0) {
                    piece = whole.mid(left - 1, 1);
                    --left;
                }
            } else if (t.kind == NumToken::Kind::Literal) {
                piece = t.text;
            } else if (t.kind == NumToken::Kind::Percent) {
                piece = QStringLiteral("%");
            }
            rev.prepend(piece);
        }
        intOut = rev;
    }
    QString out = intOut;
    int fracIndex = 0;
    for (qsizetype i = intEnd; i < qsizetype(toks.size()); ++i) {
        const NumToken& t = toks[size_t(i)];
        if (i == exp) {
            out += t.text[0];
            if (exponent < 0)
                out += u'-';
            else if (t.text[1] == u'+')
                out += u'+';
            QString ed = QString::number(std::abs(exponent));
            if (ed.size() < expDigits) ed = QString(expDigits - ed.size(), u'0') + ed;
            out += ed;
            break;  // exponent placeholders consumed
        }
        switch (t.kind) {
            case NumToken::Kind::Point:
                out += rs.decimalSeparator();
                break;
            case NumToken::Kind::Zero:
                out += fraction[fracIndex++];
                break;
            case NumToken::Kind::Hash:
                if (fracIndex < significant) out += fraction[fracIndex];
                ++fracIndex;
                break;
            case NumToken::Kind::Percent:
                out += u'%';
                break;
            case NumToken::Kind::Literal:
                out += t.text;
                break;
            default:
                break;
        }
    }
    if (exp >= 0) {
        // Literals after the exponent digits.
        bool pastDigits = false;
        for (qsizetype i = exp + 1; i < qsizetype(toks.size()); ++i) {
            const NumToken& t = toks[size_t(i)];
            if (isDigitToken(t)) {
                pastDigits = true;
                continue;
            }
            if (pastDigits && t.kind == NumToken::Kind::Literal) out += t.text;
        }
    }
    if (negative && !zero) out.prepend(u'-');
    return out;
}

QString formatNumber(double v, const QString& pattern, const rt::RegionalSettings& rs) {
    const QStringList s = sections(pattern);
    if (v < 0 && s.size() >= 2 && !s[1].isEmpty()) return formatSection(-v, false, s[1], rs);
    if (v == 0 && s.size() >= 3 && !s[2].isEmpty()) return formatSection(0, false, s[2], rs);
    return formatSection(std::fabs(v), v < 0, s[0], rs);
}

QString formatText(const QString& text, const QString& pattern) {
    const QString p = sections(pattern).value(0);
    bool upper = false, lower = false, leftToRight = false;
    int placeholders = 0;
    for (QChar c : p) {
        if (c == u'>')
            upper = true;
        else if (c == u'<')
            lower = true;
        else if (c == u'!')
            leftToRight = true;
        else if (c == u'@' || c == u'&')
            ++placeholders;
    }
    QString t = upper ? text.toUpper() : lower ? text.toLower() : text;
    if (placeholders == 0) return t;
    // Characters fill placeholders from the right (from the left with '!');
    // '@' shows a blank where no character is left, '&' nothing.
    QString out;
    qsizetype next = 0;
    qsizetype missing = std::max<qsizetype>(0, placeholders - t.size());
    const qsizetype extra = std::max<qsizetype>(0, t.size() - placeholders);
    bool first = true;
    for (qsizetype i = 0; i < p.size();) {
        if (takeLiteral(p, i, out)) continue;
        const QChar c = p[i++];
        if (c == u'>' || c == u'<' || c == u'!') continue;
        if (c != u'@' && c != u'&') {
            out += c;
            continue;
        }
        if (first && !leftToRight && extra > 0) {
            out += t.left(extra);
            next = extra;
        }
        first = false;
        if (!leftToRight && missing > 0) {
            --missing;
            if (c == u'@') out += u' ';
            continue;
        }
        if (next < t.size())
            out += t[next++];
        else if (c == u'@')
            out += u' ';
    }
    if (leftToRight && next < t.size()) out += t.mid(next);
    return out;
}

bool hasDateFields(const QString& p) {
    for (qsizetype i = 0; i < p.size();) {
        QString ignored;
        if (takeLiteral(p, i, ignored)) continue;
        const QChar c = p[i++].toLower();
        if (c == u'0' || c == u'#') return false;
        if (c == u'd' || c == u'm' || c == u'y' || c == u'h' || c == u'n' || c == u's' ||
            c == u'w' || c == u'q' || c == u'c' || c == u't')
            return true;
    }
    return false;
}

// Text placeholders (@ & < >) and no digit placeholders: a text pattern.
bool isTextPattern(const QString& p) {
    bool text = false;
    for (qsizetype i = 0; i < p.size();) {
        QString ignored;
        if (takeLiteral(p, i, ignored)) continue;
        const QChar c = p[i++];
        if (c == u'0' || c == u'#') return false;
        if (c == u'@' || c == u'&' || c == u'<' || c == u'>') text = true;
    }
    return text;
}

}  // namespace

std::optional<QString> formatNullSection(const QString& pattern) {
    const QStringList s = sections(pattern);
    if (s.size() < 4) return std::nullopt;
    const QString& p = s[3];
    QString out;
    for (qsizetype i = 0; i < p.size();) {
        if (takeLiteral(p, i, out)) continue;
        out += p[i++];
    }
    return out;
}

QString format(const rt::Variant& v, const QString& pattern, const rt::RegionalSettings& rs) {
    if (pattern.isEmpty()) return v.joinText(rs);
    if (isTextPattern(pattern)) return formatText(v.joinText(rs), pattern);
    enum class Cls { Number, Date, Text } cls = Cls::Number;
    double num = 0;
    QDateTime dt;
    QString text;
    switch (v.type()) {
        case rt::VarType::Date:
            cls = Cls::Date;
            dt = v.asDate();
            num = rt::dateToSerial(dt);
            break;
        case rt::VarType::Text:
            if (auto n = rt::parseNumber(v.asText(), rs.decimalSeparator())) {
                num = *n;
            } else if (auto d = rs.readDate(v.asText())) {
                cls = Cls::Date;
                dt = *d;
                num = rt::dateToSerial(dt);
            } else {
                cls = Cls::Text;
                text = v.asText();
            }
            break;
        case rt::VarType::Empty:
            break;
        case rt::VarType::Binary:
            cls = Cls::Text;
            text = v.toText(rs);
            break;
        default:
            num = v.toDouble(rs);
            break;
    }
    const QString named = pattern.trimmed().toLower();
    auto asDate = [&] { return cls == Cls::Date ? dt : rt::serialToDate(num); };
    if (cls != Cls::Text) {
        if (named == u"general date") return rs.generalDate(asDate());
        if (named == u"long date")
            return rs.locale().toString(asDate().date(), QLocale::LongFormat);
        if (named == u"medium date") return formatDate(asDate(), QStringLiteral("dd-mmm-yy"), rs);
        if (named == u"short date") return rs.shortDate(asDate().date());
        if (named == u"long time") return rs.longTime(asDate().time());
        if (named == u"medium time") return formatDate(asDate(), QStringLiteral("hh:nn AM/PM"), rs);
        if (named == u"short time") return formatDate(asDate(), QStringLiteral("hh:nn"), rs);
        if (named == u"general number") return rt::formatGeneral(num, rs.decimalSeparator());
        if (named == u"currency") return rs.locale().toCurrencyString(num);
        if (named == u"fixed") return formatNumber(num, QStringLiteral("0.00"), rs);
        if (named == u"standard") return formatNumber(num, QStringLiteral("#,##0.00"), rs);
        if (named == u"percent") return formatNumber(num, QStringLiteral("0.00%"), rs);
        if (named == u"scientific") return formatNumber(num, QStringLiteral("0.00E+00"), rs);
        if (named == u"yes/no") return num != 0 ? QStringLiteral("Yes") : QStringLiteral("No");
        if (named == u"true/false")
            return num != 0 ? QStringLiteral("True") : QStringLiteral("False");
        if (named == u"on/off") return num != 0 ? QStringLiteral("On") : QStringLiteral("Off");
    }
    switch (cls) {
        case Cls::Text:
            return formatText(text, pattern);
        case Cls::Date:
            if (!hasDateFields(pattern)) return formatNumber(num, pattern, rs);
            return formatDate(dt, pattern, rs);
        case Cls::Number:
            if (hasDateFields(pattern)) return formatDate(rt::serialToDate(num), pattern, rs);
            return formatNumber(num, pattern, rs);
    }
    return QString();
}

rt::Variant formatted(const rt::Variant& v, const QString& pattern, const rt::RegionalSettings& rs) {
    if (!v.isNull()) return rt::Variant(format(v, pattern, rs));
    // A number pattern's fourth section is the text for Null.
    const std::optional<QString> section = formatNullSection(pattern);
    return section ? rt::Variant(*section) : rt::Variant::null();
}

}  // namespace db::jet::fn
