// Small text routines of the library: a field of a separated list, word
// wrapping, a run of one character, right-aligned fixed-width numbers, removal
// of trailing line breaks, and search-and-replace.
//
// Texts are QStrings of 16-bit characters; positions the callers pass count
// from 1. Counts, widths and positions are 16-bit: a wider value passed in
// fails with Overflow (6) at the call (clsProd::Int16), and where a 16-bit
// counter or length would step past 32767 the routine fails the same way
// rather than wrap. Apart from the "Position Error" message of
// Str_Split_Using_Separator nothing here shows anything: failures pass to the
// caller as rt::Error.
#include <QStringList>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/clsProd.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"

namespace {

// The character whose Windows-1252 code is `code`.
// Fails with Invalid procedure call (5) outside 0..255.
QChar cp1252Char(int16_t code) {
    if (code < 0 || code > 255) rt::raiseStandard(rt::err::InvalidProcedureCall);
    return rt::cp1252Char(code);
}

// ---- Fixed-decimal formatting for LPad ----

// A non-negative decimal number as digit texts: `whole` (no sign, may have
// leading zeros) and `fraction` (digits after the point).
struct DecimalText {
    bool negative = false;
    std::string whole;
    std::string fraction;
};

// The decimal text of a binary floating-point value with `digits` significant
// digits (15 for 64-bit, 7 for 32-bit values), so that 2.675 is seen as the
// 2.675 it was written as, not as the binary value just below it.
DecimalText fromFloating(double v, int digits) {
    DecimalText d;
    if (v == 0) {
        d.whole = "0";
        return d;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);  // [-]d.ddde[+-]xx
    std::string s(buf);
    const auto epos = s.find('e');
    const int exp10 = std::atoi(s.c_str() + epos + 1);
    std::string mant = s.substr(0, epos);
    if (mant[0] == '-') {
        d.negative = true;
        mant.erase(0, 1);
    }
    std::string all;
    for (char c : mant)
        if (c != '.') all.push_back(c);
    if (exp10 < 0) {
        d.whole = "0";
        d.fraction = std::string(size_t(-exp10 - 1), '0') + all;
    } else if (size_t(exp10) + 1 >= all.size()) {
        d.whole = all + std::string(size_t(exp10) + 1 - all.size(), '0');
    } else {
        d.whole = all.substr(0, size_t(exp10) + 1);
        d.fraction = all.substr(size_t(exp10) + 1);
    }
    return d;
}

// "[-]digits[.digits]" as written by exact types (currency, decimal).
DecimalText fromPlain(const QString& plain) {
    DecimalText d;
    QString s = plain;
    if (s.startsWith(u'-')) {
        d.negative = true;
        s.remove(0, 1);
    }
    const qsizetype point = s.indexOf(u'.');
    d.whole = (point < 0 ? s : s.left(point)).toStdString();
    if (point >= 0) d.fraction = s.mid(point + 1).toStdString();
    if (d.whole.empty()) d.whole = "0";
    return d;
}

DecimalText fromCurrency(rt::Currency c) {
    DecimalText d;
    d.negative = c.scaled < 0;
    // Unsigned magnitude: the most negative amount has no positive twin.
    const uint64_t mag = d.negative ? uint64_t(0) - uint64_t(c.scaled) : uint64_t(c.scaled);
    d.whole = std::to_string(mag / uint64_t(rt::Currency::kScale));
    std::string frac = std::to_string(mag % uint64_t(rt::Currency::kScale));
    d.fraction = std::string(4 - frac.size(), '0') + frac;
    return d;
}

// Formats like the patterns "0" (decimals 0) and "0.00..." (decimals > 0):
// at least one whole digit, exactly `decimals` decimals, no grouping, halves
// rounded away from zero, a minus sign for every negative value (also one
// that rounds to 0: -0.001 gives -0.00).
QString formatFixed(DecimalText d, int decimals, QChar point) {
    std::string frac = d.fraction;
    bool roundUp = frac.size() > size_t(decimals) && frac[size_t(decimals)] >= '5';
    frac.resize(size_t(decimals), '0');
    std::string whole = d.whole;
    if (roundUp) {
        // Carry through the decimals, then through the whole digits.
        bool carry = true;
        for (auto i = frac.size(); carry && i-- > 0;) {
            if (frac[i] == '9') {
                frac[i] = '0';
            } else {
                ++frac[i];
                carry = false;
            }
        }
        for (auto i = whole.size(); carry && i-- > 0;) {
            if (whole[i] == '9') {
                whole[i] = '0';
            } else {
                ++whole[i];
                carry = false;
            }
        }
        if (carry) whole.insert(whole.begin(), '1');
    }
    const auto firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);

    QString out;
    out.reserve(qsizetype(whole.size() + frac.size() + 2));
    if (d.negative) out += u'-';
    out += QLatin1String(whole.data(), qsizetype(whole.size()));
    if (decimals > 0) {
        out += point;
        out += QLatin1String(frac.data(), qsizetype(frac.size()));
    }
    return out;
}

// The numeric value of a variant that is a number, as decimal digits.
DecimalText decimalTextOf(const rt::Variant& v) {
    switch (v.type()) {
        case rt::VarType::Byte:
            return fromPlain(QString::number(v.asByte()));
        case rt::VarType::Int16:
            return fromPlain(QString::number(v.asInt16()));
        case rt::VarType::Int32:
            return fromPlain(QString::number(v.asInt32()));
        case rt::VarType::Single:
            return fromFloating(double(v.asSingle()), 7);
        case rt::VarType::Currency:
            return fromCurrency(v.asCurrency());
        case rt::VarType::Decimal:
            return fromPlain(v.asDecimal().toPlainText(u'.'));
        default:
            return fromFloating(v.asDouble(), 15);
    }
}

}  // namespace

QString clsProd::Str_Split_Using_Separator(QString Src_Str, QString sep, Int16 pos) {
    if (pos == 0) {
        messageBox().show(QStringLiteral("Position Error"), appTitle(), ui::Icon::None);
        return QString();
    }
    // No field can be found at a negative position or with an empty separator.
    if (pos < 0 || sep.isEmpty()) return QString();

    // The remaining copy of the text is Src_Str from `start` on. Each step
    // drops one field and the whole separator after it, so that a separator
    // of several characters splits a||b||c into a, b and c.
    qsizetype start = 0;
    int16_t counter = 1;
    while (counter != pos) {
        const qsizetype p = Src_Str.indexOf(sep, start);
        if (p < 0) break;
        start = p + sep.size();
        ++counter;  // stops at pos, which is at most 32767
    }
    const qsizetype p = Src_Str.indexOf(sep, start);
    if (p >= 0) return Src_Str.mid(start, p - start);
    return counter == pos ? Src_Str.mid(start) : QString();
}

QString clsProd::setWidth(const QString& Expression, Int16 Width) {
    if (Expression.isEmpty()) return QString();
    const QStringList words = Expression.split(u' ');  // empty words between doubled blanks
    QString out;
    out.reserve(Expression.size() + Expression.size() / 8 + 2);
    int16_t lineLength = 0;  // characters of the words on the line, blanks not counted
    for (qsizetype i = 0; i < words.size(); ++i) {
        lineLength = rt::checkedInt16(int64_t(lineLength) + words[i].size());
        out += words[i];
        out += u' ';
        // A line feed goes between words only: the text never ends in one.
        if (i + 1 < words.size() && int64_t(lineLength) + words[i + 1].size() > Width) {
            out += u'\n';
            lineLength = 0;
        }
    }
    return out;
}

QString clsProd::repeat_char(Int16 ch, Int16 lengt) {
    if (lengt <= 0) return QString();
    return QString(lengt, cp1252Char(ch));
}

QString clsProd::LPad(const rt::Variant& ValIn, Int16 nDec, Int16 WidthOut) {
    const rt::RegionalSettings& rs = settings();
    const QChar point = rs.decimalSeparator();
    const int decimals = nDec > 0 ? int(nDec) : 0;

    QString text;
    if (ValIn.isNumeric()) {
        const bool finite =
            (ValIn.type() != rt::VarType::Double || std::isfinite(ValIn.asDouble())) &&
            (ValIn.type() != rt::VarType::Single || std::isfinite(ValIn.asSingle()));
        text = finite ? formatFixed(decimalTextOf(ValIn), decimals, point) : ValIn.toText(rs);
    } else if (ValIn.isText()) {
        // Numeric text is read with the user's decimal separator, as the
        // run-time's conversions read it; other text stands as it is.
        const auto number = rt::parseNumber(ValIn.asText(), point);
        text = number ? formatFixed(fromFloating(*number, 15), decimals, point) : ValIn.asText();
    } else {
        text = ValIn.joinText(rs);  // Null and Empty give the empty text
    }

    if (WidthOut < 0) rt::raiseStandard(rt::err::InvalidProcedureCall);
    if (text.size() >= WidthOut) return text.right(WidthOut);
    return QString(WidthOut - text.size(), u' ') + text;
}

QString clsProd::remove_all_vbcrlf(QString strCRLF) {
    qsizetype n = strCRLF.size();
    while (n > 0 && (strCRLF[n - 1] == u'\r' || strCRLF[n - 1] == u'\n')) --n;
    strCRLF.truncate(n);
    return strCRLF;
}

QString clsProd::ReplStr(QString& sSrcStr, const QString& sFind, const QString& sReplaceWith) {
    // An empty text to find would match everywhere and never end: nothing to
    // replace, the text stays as it is.
    if (sFind.isEmpty()) return sSrcStr;
    // Every non-overlapping occurrence from left to right; the search goes on
    // after the inserted text, which is never searched again. Copies guard
    // against the caller passing the same string for more than one argument.
    const QString find = sFind;
    const QString with = sReplaceWith;
    sSrcStr.replace(find, with, Qt::CaseSensitive);
    return sSrcStr;
}
