// Regional settings of the user: how dates and numbers are written and read.
//
// Defaults come from the user's locale (QLocale::system()); years are always
// written with four digits. Hosts and tests can set every piece explicitly.
// One object is shared by the library, the database layer and the translator.
#pragma once

#include <QChar>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace rt {

class RegionalSettings {
public:
    RegionalSettings();                           // the user's locale
    explicit RegionalSettings(const QLocale& locale);

    // Qt format patterns (QDate::toString / QTime::toString syntax).
    const QString& shortDatePattern() const { return shortDate_; }
    const QString& longTimePattern() const { return longTime_; }
    QChar decimalSeparator() const { return decimal_; }
    const QLocale& locale() const { return locale_; }

    void setShortDatePattern(const QString& p);   // two-digit years become four
    void setLongTimePattern(const QString& p);
    void setDecimalSeparator(QChar c);
    void setLocale(const QLocale& locale);         // resets every pattern

    // Changes whenever a setting changes (lets caches keyed on settings expire).
    uint64_t revision() const { return revision_; }

    QString shortDate(const QDate& d) const;
    QString longTime(const QTime& t) const;
    // General date: short date, a blank and the long time; the date alone at
    // midnight; the time alone when the date is the zero date (1899-12-30).
    QString generalDate(const QDateTime& dt) const;

    // Reads a date the system may have written: ISO "yyyy-MM-dd[ HH:mm:ss]" (also
    // with 'T'), then the general-date and short-date forms of these settings,
    // then month/day/year with an optional time. Nothing when none fits.
    std::optional<QDateTime> readDate(const QString& text) const;

    // Shared default settings of the process (the user's locale unless changed).
    static RegionalSettings& process();

private:
    void bump() { ++revision_; }

    QLocale locale_;
    QString shortDate_;
    QString longTime_;
    QChar decimal_;
    uint64_t revision_ = 0;
};

}  // namespace rt
