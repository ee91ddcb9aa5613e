// Dates and numbers read from text the way Jet's conversions read them.
//
// A date text is cut into pieces (numbers, words, separators); the pieces
// then decide the form: a time (h:mm[:ss] with AM/PM, or h AM/PM), a date
// of numbers in one of the three orders, or a date with a month name. Texts
// that fit no form are refused as a whole: nothing is guessed from a part.
#include <QLocale>
#include <algorithm>
#include <array>
#include <cmath>

#include "platform/db/jet/Functions.h"
#include "platform/runtime/Numbers.h"

namespace db::jet::fn {

namespace {

struct Piece {
    enum class Kind : unsigned char { Number, Word, Colon, Separator } kind;
    QString text;
    int value = 0;  // Number
    int digits = 0;  // Number
};

// Pieces of a date text; false for a character no date text holds.
bool cut(const QString& s, std::vector<Piece>& out) {
    for (qsizetype i = 0; i < s.size();) {
        const QChar c = s[i];
        if (c.isDigit()) {
            qsizetype j = i;
            int v = 0;
            while (j < s.size() && s[j].isDigit() && j - i < 9) {
                v = v * 10 + s[j].digitValue();
                ++j;
            }
            if (j < s.size() && s[j].isDigit()) return false;  // absurdly long number
            out.push_back({Piece::Kind::Number, s.mid(i, j - i), v, int(j - i)});
            i = j;
        } else if (c.isLetter()) {
            qsizetype j = i;
            while (j < s.size() && (s[j].isLetter() || s[j] == u'.')) ++j;
            QString w = s.mid(i, j - i);
            while (w.endsWith(u'.')) w.chop(1);  // "Jan." "a.m."
            w.remove(u'.');
            out.push_back({Piece::Kind::Word, w.toLower()});
            i = j;
        } else if (c == u':') {
            out.push_back({Piece::Kind::Colon, QString(c)});
            ++i;
        } else if (c == u'/' || c == u'-' || c == u'.' || c == u',' || c.isSpace()) {
            // Runs of separators count as one; blanks beside another separator vanish.
            qsizetype j = i;
            QChar kept = u' ';
            while (j < s.size() && (s[j] == u'/' || s[j] == u'-' || s[j] == u'.' ||
                                    s[j] == u',' || s[j].isSpace())) {
                if (!s[j].isSpace()) kept = s[j];
                ++j;
            }
            out.push_back({Piece::Kind::Separator, QString(kept)});
            i = j;
        } else {
            return false;
        }
    }
    return true;
}

// 1..12 for a month name (English or the locale's, long or short), else 0.
int monthOf(const QString& word, const QLocale& loc) {
    static const char* const english[] = {"january", "february", "march",     "april",
                                          "may",     "june",     "july",      "august",
                                          "september", "october", "november", "december"};
    if (word.size() < 3) return 0;
    for (int m = 1; m <= 12; ++m) {
        const QString full = QString::fromLatin1(english[m - 1]);
        if (full == word || (word.size() >= 3 && full.startsWith(word))) return m;
        const QString longName = loc.monthName(m, QLocale::LongFormat).toLower();
        const QString shortName = loc.monthName(m, QLocale::ShortFormat).toLower().remove(u'.');
        if (word == longName || word == shortName) return m;
    }
    return 0;
}

bool isWeekday(const QString& word, const QLocale& loc) {
    static const char* const english[] = {"monday", "tuesday",  "wednesday", "thursday",
                                          "friday", "saturday", "sunday"};
    if (word.size() < 3) return false;
    for (int d = 1; d <= 7; ++d) {
        const QString full = QString::fromLatin1(english[d - 1]);
        if (full == word || full.startsWith(word)) return true;
        if (word == loc.dayName(d, QLocale::LongFormat).toLower() ||
            word == loc.dayName(d, QLocale::ShortFormat).toLower().remove(u'.'))
            return true;
    }
    return false;
}

// +1 for a PM word, -1 for an AM word, 0 for neither.
int meridiem(const QString& word, const QLocale& loc) {
    if (word == u"am" || word == u"a") return -1;
    if (word == u"pm" || word == u"p") return 1;
    if (!loc.amText().isEmpty() && word == loc.amText().toLower().remove(u'.')) return -1;
    if (!loc.pmText().isEmpty() && word == loc.pmText().toLower().remove(u'.')) return 1;
    return 0;
}

// A year as written: two digits or fewer fall in 1930-2029.
int fullYear(const Piece& p) {
    if (p.digits <= 2) return p.value < 30 ? 2000 + p.value : 1900 + p.value;
    return p.value;
}

enum class Order { DMY, MDY, YMD };

Order regionalOrder(const QString& pattern) {
    const qsizetype d = pattern.indexOf(u'd'), m = pattern.indexOf(u'M'),
                    y = pattern.indexOf(u'y');
    if (y >= 0 && (d < 0 || y < d) && (m < 0 || y < m)) return Order::YMD;
    if (d >= 0 && m >= 0 && d < m) return Order::DMY;
    return Order::MDY;
}

std::optional<QDate> makeDate(int y, int m, int d) {
    if (y < 100 || y > 9999) return std::nullopt;
    QDate date(y, m, d);
    if (!date.isValid()) return std::nullopt;
    return date;
}

// Three numbers in the first order that makes a valid date, `preferred` first.
std::optional<QDate> numericDate(const Piece& a, const Piece& b, const Piece& c, Order preferred) {
    // A first number of three or four digits is always a year.
    if (a.digits >= 3) return makeDate(a.value, b.value, c.value);
    std::vector<Order> orders = {preferred, Order::MDY, Order::DMY, Order::YMD};
    for (Order o : orders) {
        std::optional<QDate> r;
        switch (o) {
            case Order::MDY:
                if (c.digits != 3) r = makeDate(fullYear(c), a.value, b.value);
                break;
            case Order::DMY:
                if (c.digits != 3) r = makeDate(fullYear(c), b.value, a.value);
                break;
            case Order::YMD:
                r = makeDate(fullYear(a), b.value, c.value);
                break;
        }
        if (r) return r;
    }
    return std::nullopt;
}

// Two numbers: month and day of the current year, or month and a year of
// three or more digits (the first of the month).
std::optional<QDate> shortNumericDate(const Piece& a, const Piece& b, Order preferred,
                                      int currentYear) {
    if (b.digits >= 3) return makeDate(b.value, a.value, 1);
    if (a.digits >= 3) return makeDate(a.value, b.value, 1);
    if (preferred == Order::DMY) {
        if (auto r = makeDate(currentYear, b.value, a.value)) return r;
        return makeDate(currentYear, a.value, b.value);
    }
    if (auto r = makeDate(currentYear, a.value, b.value)) return r;
    return makeDate(currentYear, b.value, a.value);
}

}  // namespace

std::optional<QDateTime> readDate(const QString& input, const rt::RegionalSettings& rs,
                                  DateOrder order, int currentYear) {
    const QString text = input.trimmed();
    if (text.isEmpty() || text.size() > 100) return std::nullopt;
    std::vector<Piece> pieces;
    if (!cut(text, pieces)) return std::nullopt;
    const QLocale& loc = rs.locale();

    // The time: "h:mm[:ss[.fff]]" or "h AM", with an AM/PM word before or after.
    std::optional<QTime> time;
    std::vector<Piece> rest;
    int ampm = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        if (p.kind == Piece::Kind::Word) {
            if (int m = meridiem(p.text, loc)) {
                if (ampm) return std::nullopt;
                ampm = m;
                continue;
            }
        }
        const bool timeStart =
            p.kind == Piece::Kind::Number && !time &&
            ((i + 2 < pieces.size() && pieces[i + 1].kind == Piece::Kind::Colon &&
              pieces[i + 2].kind == Piece::Kind::Number) ||
             (i + 1 < pieces.size() && pieces[i + 1].kind == Piece::Kind::Word &&
              meridiem(pieces[i + 1].text, loc) != 0) ||
             (i + 2 < pieces.size() && pieces[i + 1].kind == Piece::Kind::Separator &&
              pieces[i + 1].text == u" " && pieces[i + 2].kind == Piece::Kind::Word &&
              meridiem(pieces[i + 2].text, loc) != 0));
        if (timeStart) {
            int h = p.value, mi = 0, s = 0, ms = 0;
            size_t j = i + 1;
            if (j + 1 < pieces.size() && pieces[j].kind == Piece::Kind::Colon) {
                mi = pieces[j + 1].value;
                if (pieces[j + 1].digits > 2) return std::nullopt;
                j += 2;
                if (j + 1 < pieces.size() && pieces[j].kind == Piece::Kind::Colon &&
                    pieces[j + 1].kind == Piece::Kind::Number) {
                    s = pieces[j + 1].value;
                    if (pieces[j + 1].digits > 2) return std::nullopt;
                    j += 2;
                    if (j + 1 < pieces.size() && pieces[j].kind == Piece::Kind::Separator &&
                        pieces[j].text == u"." && pieces[j + 1].kind == Piece::Kind::Number) {
                        const Piece& f = pieces[j + 1];
                        ms = int(std::lround(f.value * std::pow(10.0, 3 - f.digits)));
                        j += 2;
                    }
                }
            }
            if (p.digits > 2 || h > 23 || mi > 59 || s > 59 || ms > 999) return std::nullopt;
            time = QTime(h, mi, s, std::min(ms, 999));
            i = j - 1;
            continue;
        }
        rest.push_back(p);
    }
    if (ampm) {
        if (!time) return std::nullopt;
        int h = time->hour();
        if (h == 0 || h > 12) return std::nullopt;
        if (ampm > 0 && h < 12) h += 12;
        if (ampm < 0 && h == 12) h = 0;
        time = QTime(h, time->minute(), time->second(), time->msec());
    }

    // The date: what is left, separators and weekday names aside.
    std::vector<Piece> parts;
    QChar separator;  // the first one between the date's numbers
    for (const Piece& p : rest) {
        if (p.kind == Piece::Kind::Separator) {
            if (separator.isNull() && !parts.empty()) separator = p.text[0];
            continue;
        }
        if (p.kind == Piece::Kind::Colon) return std::nullopt;
        if (p.kind == Piece::Kind::Word && isWeekday(p.text, loc)) continue;
        parts.push_back(p);
    }
    // A 'T' between an ISO date and its time.
    if (!parts.empty() && parts.back().kind == Piece::Kind::Word && parts.back().text == u"t" &&
        time)
        parts.pop_back();
    // The regional order for numbers written with the regional separator (as
    // the system writes its dates), month first otherwise.
    QChar regionalSeparator = u'/';
    for (QChar c : rs.shortDatePattern())
        if (!c.isLetter() && c != u'\'') {
            regionalSeparator = c;
            break;
        }
    const Order preferred = order == DateOrder::Regional && separator == regionalSeparator
                                ? regionalOrder(rs.shortDatePattern())
                                : Order::MDY;
    std::optional<QDate> date;
    int months = 0, numbers = 0;
    for (const Piece& p : parts) {
        if (p.kind == Piece::Kind::Number) {
            ++numbers;
        } else if (monthOf(p.text, loc)) {
            ++months;
        } else {
            return std::nullopt;  // a word that is no month
        }
    }
    if (parts.empty()) {
        if (!time) return std::nullopt;
        return rt::naiveDateTime(QDate(1899, 12, 30), *time);
    }
    if (months == 0) {
        if (numbers == 3)
            date = numericDate(parts[0], parts[1], parts[2], preferred);
        else if (numbers == 2)
            date = shortNumericDate(parts[0], parts[1], preferred, currentYear);
    } else if (months == 1 && numbers >= 1 && numbers <= 2) {
        int month = 0;
        std::vector<Piece> nums;
        size_t monthAt = 0;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].kind == Piece::Kind::Word) {
                month = monthOf(parts[i].text, loc);
                monthAt = i;
            } else {
                nums.push_back(parts[i]);
            }
        }
        if (nums.size() == 2) {
            // "2 Jan 2024", "Jan 2, 2024", "2024 Jan 2", "Jan 2024 2" is refused.
            const Piece& x = nums[0];
            const Piece& y = nums[1];
            if (x.digits >= 3)
                date = makeDate(x.value, month, y.value);
            else if (monthAt == 1 || monthAt == 0)
                date = makeDate(fullYear(y), month, x.value);
        } else {
            // "Jan 2024" (the first), "2 Jan" / "Jan 2" (the current year).
            const Piece& x = nums[0];
            if (x.digits >= 3)
                date = makeDate(x.value, month, 1);
            else if (x.value <= 31)
                date = makeDate(currentYear, month, x.value);
            else
                date = makeDate(fullYear(x), month, 1);
        }
    }
    if (!date) return std::nullopt;
    return rt::naiveDateTime(*date, time.value_or(QTime(0, 0)));
}

std::optional<double> readNumber(const QString& input, const rt::RegionalSettings& rs) {
    QString s = input.trimmed();
    if (s.isEmpty()) return std::nullopt;
    const QLocale& loc = rs.locale();
    // The currency symbol may stand before or after the number.
    const QString symbol = loc.currencySymbol(QLocale::CurrencySymbol);
    if (!symbol.isEmpty() && s.size() > symbol.size()) {
        if (s.startsWith(symbol))
            s = s.mid(symbol.size()).trimmed();
        else if (s.endsWith(symbol))
            s = s.left(s.size() - symbol.size()).trimmed();
        else if (s.size() > symbol.size() + 1 && (s[0] == u'-' || s[0] == u'+') &&
                 s.mid(1).startsWith(symbol))
            s = s[0] + s.mid(1 + symbol.size()).trimmed();
    }
    // Thousand separators stand only between digits of the whole part.
    const QString group = loc.groupSeparator();
    const QChar point = rs.decimalSeparator();
    if (group.size() == 1 && group[0] != point) {
        const QChar g = group[0];
        const bool blankGroup = g.isSpace();
        QString out;
        out.reserve(s.size());
        bool inFraction = false;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const QChar c = s[i];
            if (c == point) inFraction = true;
            const bool isGroup = c == g || (blankGroup && c == u' ');
            if (isGroup && !inFraction && i > 0 && s[i - 1].isDigit() && i + 1 < s.size() &&
                s[i + 1].isDigit())
                continue;
            if (isGroup && !blankGroup) return std::nullopt;  // a separator out of place
            out += c;
        }
        s = out;
    }
    const auto v = rt::parseNumber(s, point);
    if (v && !std::isfinite(*v)) return std::nullopt;
    return v;
}

}  // namespace db::jet::fn
