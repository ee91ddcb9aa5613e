// Regional settings: patterns taken from a QLocale, four-digit years always.
#include "platform/runtime/RegionalSettings.h"

#include "platform/runtime/Variant.h"

#include <QRegularExpression>

namespace rt {

namespace {

// Two-digit years become four; other year widths are left alone.
QString fourDigitYears(QString p) {
    if (p.contains(QStringLiteral("yyyy"))) return p;
    static const QRegularExpression yy(QStringLiteral("(?<!y)yy(?!y)"));
    p.replace(yy, QStringLiteral("yyyy"));
    return p;
}

// Qt's long time pattern ends in a time-zone field; the system's does not.
QString withoutTimeZone(QString p) {
    static const QRegularExpression tz(QStringLiteral("\\s*\\bt+\\b"));
    p.replace(tz, QString());
    return p.trimmed();
}

// The same pattern with one-or-two-digit fields, for lenient reading.
QString relaxed(QString p) {
    static const QRegularExpression dd(QStringLiteral("(?<!d)dd(?!d)"));
    static const QRegularExpression mm(QStringLiteral("(?<!M)MM(?!M)"));
    static const QRegularExpression hh(QStringLiteral("(?<![hH])([hH])\\1(?![hH])"));
    p.replace(dd, QStringLiteral("d"));
    p.replace(mm, QStringLiteral("M"));
    p.replace(hh, QStringLiteral("\\1"));
    return p;
}

std::optional<QDateTime> tryPattern(const QString& text, const QString& pattern) {
    QDateTime dt = QDateTime::fromString(text, pattern);
    if (!dt.isValid()) {
        // A pattern without a date part: the time of the zero date.
        QTime t = QTime::fromString(text, pattern);
        if (t.isValid() && !pattern.contains(u'd') && !pattern.contains(u'y'))
            return naiveDateTime(QDate(1899, 12, 30), t);
        QDate d = QDate::fromString(text, pattern);
        if (d.isValid() && !pattern.contains(u'h') && !pattern.contains(u'H'))
            return naiveDateTime(d, QTime(0, 0));
        return std::nullopt;
    }
    return naiveDateTime(dt.date(), dt.time());
}

}  // namespace

RegionalSettings::RegionalSettings() : RegionalSettings(QLocale::system()) {}

RegionalSettings::RegionalSettings(const QLocale& locale) { setLocale(locale); }

void RegionalSettings::setLocale(const QLocale& locale) {
    locale_ = locale;
    shortDate_ = fourDigitYears(locale.dateFormat(QLocale::ShortFormat));
    longTime_ = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    QString dp = locale.decimalPoint();
    decimal_ = dp.isEmpty() ? QChar(u'.') : dp[0];
    bump();
}

void RegionalSettings::setShortDatePattern(const QString& p) {
    shortDate_ = fourDigitYears(p);
    bump();
}

void RegionalSettings::setLongTimePattern(const QString& p) {
    longTime_ = p;
    bump();
}

void RegionalSettings::setDecimalSeparator(QChar c) {
    decimal_ = c;
    bump();
}

QString RegionalSettings::shortDate(const QDate& d) const { return d.toString(shortDate_); }

QString RegionalSettings::longTime(const QTime& t) const { return t.toString(longTime_); }

QString RegionalSettings::generalDate(const QDateTime& dt) const {
    const QDate d = dt.date();
    const QTime t = dt.time();
    const bool midnight = t == QTime(0, 0) || !t.isValid();
    if (d == QDate(1899, 12, 30) && !midnight) return longTime(t);
    if (midnight) return shortDate(d);
    return shortDate(d) + u' ' + longTime(t);
}

std::optional<QDateTime> RegionalSettings::readDate(const QString& input) const {
    const QString text = input.simplified();
    if (text.isEmpty()) return std::nullopt;
    static const QStringList iso = {
        QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
        QStringLiteral("yyyy-MM-dd HH:mm"),        QStringLiteral("yyyy-MM-dd"),
    };
    for (const QString& p : iso)
        if (auto r = tryPattern(text, p)) return r;
    const QString general = shortDate_ + u' ' + longTime_;
    const QStringList regional = {general, relaxed(general), shortDate_, relaxed(shortDate_),
                                  longTime_, relaxed(longTime_)};
    for (const QString& p : regional)
        if (auto r = tryPattern(text, p)) return r;
    static const QStringList us = {
        QStringLiteral("M/d/yyyy h:mm:ss AP"), QStringLiteral("M/d/yyyy H:mm:ss"),
        QStringLiteral("M/d/yyyy h:mm AP"),    QStringLiteral("M/d/yyyy H:mm"),
        QStringLiteral("M/d/yyyy"),            QStringLiteral("h:mm:ss AP"),
        QStringLiteral("H:mm:ss"),             QStringLiteral("H:mm"),
    };
    for (const QString& p : us)
        if (auto r = tryPattern(text, p)) return r;
    return std::nullopt;
}

RegionalSettings& RegionalSettings::process() {
    static RegionalSettings settings;
    return settings;
}

}  // namespace rt
