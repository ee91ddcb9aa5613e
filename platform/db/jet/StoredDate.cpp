// The stored text form of dates: "yyyy-MM-dd HH:mm:ss[.zzz]", in time order.
#include "platform/db/jet/Translator.h"

namespace db::jet {

QString storedDateText(const QDateTime& dt) {
    const QDate d = dt.date();
    const QTime t = dt.time().isValid() ? dt.time() : QTime(0, 0);
    QString out = QStringLiteral("%1-%2-%3 %4:%5:%6")
                      .arg(d.year(), 4, 10, QLatin1Char('0'))
                      .arg(d.month(), 2, 10, QLatin1Char('0'))
                      .arg(d.day(), 2, 10, QLatin1Char('0'))
                      .arg(t.hour(), 2, 10, QLatin1Char('0'))
                      .arg(t.minute(), 2, 10, QLatin1Char('0'))
                      .arg(t.second(), 2, 10, QLatin1Char('0'));
    if (t.msec() != 0) out += QStringLiteral(".%1").arg(t.msec(), 3, 10, QLatin1Char('0'));
    return out;
}

std::optional<QDateTime> parseStoredDate(const QString& s) {
    // Fast, strict reader of the stored form; a date alone is accepted too.
    auto num = [&](qsizetype at, int len, int& out) {
        if (at + len > s.size()) return false;
        int v = 0;
        for (int i = 0; i < len; ++i) {
            QChar c = s[at + i];
            if (c < u'0' || c > u'9') return false;
            v = v * 10 + (c.unicode() - u'0');
        }
        out = v;
        return true;
    };
    int y, mo, d, h = 0, mi = 0, se = 0, ms = 0;
    if (s.size() < 10 || s[4] != u'-' || s[7] != u'-') return std::nullopt;
    if (!num(0, 4, y) || !num(5, 2, mo) || !num(8, 2, d)) return std::nullopt;
    if (s.size() > 10) {
        if (s.size() < 19 || (s[10] != u' ' && s[10] != u'T') || s[13] != u':' || s[16] != u':')
            return std::nullopt;
        if (!num(11, 2, h) || !num(14, 2, mi) || !num(17, 2, se)) return std::nullopt;
        if (s.size() > 19) {
            if (s[19] != u'.' || s.size() != 23 || !num(20, 3, ms)) return std::nullopt;
        }
    }
    QDate date(y, mo, d);
    QTime time(h, mi, se, ms);
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return rt::naiveDateTime(date, time);
}

}  // namespace db::jet
