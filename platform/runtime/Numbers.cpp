// Number reading, rounding and the general number form of the run-time.
#include "platform/runtime/Numbers.h"

#include "platform/runtime/Error.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace rt {

namespace {

bool isSkipped(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }

// Reads &H / &O whole numbers; `i` stands after the '&'. Returns the value as
// the run-time does: 16-bit when it fits in four hex digits, else 32-bit.
double readRadix(const QString& s, qsizetype i, int radix) {
    int64_t v = 0;
    int digits = 0;
    for (; i < s.size(); ++i) {
        QChar c = s[i];
        if (isSkipped(c)) continue;
        int d;
        if (c >= u'0' && c <= u'9') d = c.unicode() - u'0';
        else if (radix == 16 && c >= u'a' && c <= u'f') d = c.unicode() - u'a' + 10;
        else if (radix == 16 && c >= u'A' && c <= u'F') d = c.unicode() - u'A' + 10;
        else break;
        if (d >= radix) break;
        v = v * radix + d;
        if (v > 0xFFFFFFFFLL) v &= 0xFFFFFFFFLL;
        ++digits;
    }
    // Like the run-time: values that fill 16 bits read as negative 16-bit
    // numbers, those that fill 32 bits as negative 32-bit numbers.
    if (v <= 0xFFFF && ((radix == 16 && digits <= 4) || (radix == 8 && v <= 0xFFFF && digits <= 6)))
        return double(static_cast<int16_t>(static_cast<uint16_t>(v)));
    return double(static_cast<int32_t>(static_cast<uint32_t>(v)));
}

}  // namespace

double leadingNumber(const QString& s) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    auto skip = [&] {
        while (i < n && isSkipped(s[i])) ++i;
    };
    skip();
    if (i + 1 < n && s[i] == u'&') {
        QChar k = s[i + 1].toUpper();
        if (k == u'H') return readRadix(s, i + 2, 16);
        if (k == u'O') return readRadix(s, i + 2, 8);
    }
    std::string buf;
    buf.reserve(32);
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        if (s[i] == u'-') buf.push_back('-');
        ++i;
    }
    bool anyDigit = false, point = false;
    for (; i < n; ++i) {
        QChar c = s[i];
        if (isSkipped(c)) continue;
        if (c >= u'0' && c <= u'9') {
            buf.push_back(char(c.unicode()));
            anyDigit = true;
        } else if (c == u'.' && !point) {
            buf.push_back('.');
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return 0.0;
    if (i < n && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
        qsizetype j = i + 1;
        while (j < n && isSkipped(s[j])) ++j;
        std::string exp = "e";
        if (j < n && (s[j] == u'+' || s[j] == u'-')) {
            exp.push_back(char(s[j].unicode()));
            ++j;
        }
        bool expDigits = false;
        for (; j < n; ++j) {
            QChar c = s[j];
            if (isSkipped(c)) continue;
            if (c >= u'0' && c <= u'9') {
                exp.push_back(char(c.unicode()));
                expDigits = true;
            } else {
                break;
            }
        }
        if (expDigits) buf += exp;
    }
    return std::strtod(buf.c_str(), nullptr);
}

double roundHalfEven(double v) {
    if (!std::isfinite(v)) return v;
    return std::nearbyint(v);  // the default rounding mode rounds halves to even
}

double roundHalfEven(double v, int decimals) {
    if (!std::isfinite(v)) return v;
    if (decimals <= 0) return roundHalfEven(v);
    // Work from the shortest decimal text of v so that 0.125 is seen as the
    // exact half it was written as.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    double shortest = std::strtod(buf, nullptr);
    const double scale = std::pow(10.0, decimals);
    double scaled = shortest * scale;
    double r = std::nearbyint(scaled);
    // Guard against representation noise: 0.375*100 = 37.5 exactly, but
    // 1.005*100 = 100.49999999999999 which the run-time also rounds down.
    if (std::fabs(scaled - r) == 0.5) r = std::nearbyint(scaled);
    return r / scale;
}

int16_t toInt16Checked(double v) {
    if (std::isnan(v)) raiseStandard(err::Overflow);
    double r = roundHalfEven(v);
    if (r < -32768.0 || r > 32767.0) raiseStandard(err::Overflow);
    return static_cast<int16_t>(r);
}

int32_t toInt32Checked(double v) {
    if (std::isnan(v)) raiseStandard(err::Overflow);
    double r = roundHalfEven(v);
    if (r < -2147483648.0 || r > 2147483647.0) raiseStandard(err::Overflow);
    return static_cast<int32_t>(r);
}

int16_t checkedInt16(int64_t v) {
    if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
        raiseStandard(err::Overflow);
    return static_cast<int16_t>(v);
}

int32_t checkedInt32(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        raiseStandard(err::Overflow);
    return static_cast<int32_t>(v);
}

std::optional<double> parseNumber(const QString& text, QChar decimalSeparator) {
    QString s = text.trimmed();
    if (s.isEmpty()) return std::nullopt;
    if (s.size() > 2 && s[0] == u'&' && (s[1].toUpper() == u'H' || s[1].toUpper() == u'O')) {
        int radix = s[1].toUpper() == u'H' ? 16 : 8;
        bool ok = false;
        qulonglong v = s.mid(2).toULongLong(&ok, radix);
        if (!ok || v > 0xFFFFFFFFULL) return std::nullopt;
        return leadingNumber(s);
    }
    std::string buf;
    qsizetype i = 0;
    if (s[i] == u'+' || s[i] == u'-') {
        if (s[i] == u'-') buf.push_back('-');
        ++i;
        while (i < s.size() && s[i] == u' ') ++i;
    }
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        QChar c = s[i];
        if (c >= u'0' && c <= u'9') {
            buf.push_back(char(c.unicode()));
            digits = true;
        } else if ((c == decimalSeparator || c == u'.') && !point) {
            buf.push_back('.');
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return std::nullopt;
    if (i < s.size() && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
        std::string exp = "e";
        ++i;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) exp.push_back(char(s[i++].unicode()));
        bool ed = false;
        for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            exp.push_back(char(s[i].unicode()));
            ed = true;
        }
        if (!ed) return std::nullopt;
        buf += exp;
    }
    if (i != s.size()) return std::nullopt;
    double v = std::strtod(buf.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

QString formatGeneral(double v, QChar decimalSeparator, int digits) {
    if (std::isnan(v)) return QStringLiteral("NaN");
    if (std::isinf(v)) return v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (v == 0) return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
    // buf: [-]d.ddddde[+-]xx
    std::string s(buf);
    auto epos = s.find('e');
    int exp10 = std::atoi(s.c_str() + epos + 1);
    std::string mant = s.substr(0, epos);
    bool neg = mant[0] == '-';
    if (neg) mant.erase(0, 1);
    std::string allDigits;
    for (char c : mant)
        if (c != '.') allDigits.push_back(c);
    while (allDigits.size() > 1 && allDigits.back() == '0') allDigits.pop_back();
    std::string out;
    if (exp10 >= digits || exp10 < -5) {
        // exponent form: d[.ddd]E+xx
        out = allDigits.substr(0, 1);
        if (allDigits.size() > 1) {
            out.push_back('.');
            out += allDigits.substr(1);
        }
        char e[16];
        std::snprintf(e, sizeof e, "E%c%02d", exp10 < 0 ? '-' : '+', exp10 < 0 ? -exp10 : exp10);
        out += e;
    } else if (exp10 < 0) {
        out = "0.";
        out.append(size_t(-exp10 - 1), '0');
        out += allDigits;
    } else {
        size_t intLen = size_t(exp10) + 1;
        if (allDigits.size() <= intLen) {
            out = allDigits;
            out.append(intLen - allDigits.size(), '0');
        } else {
            out = allDigits.substr(0, intLen) + "." + allDigits.substr(intLen);
        }
    }
    QString q = QString::fromLatin1(out.c_str());
    if (decimalSeparator != u'.') q.replace(u'.', decimalSeparator);
    if (neg) q.prepend(u'-');
    return q;
}

}  // namespace rt
