// Sessions for link files: settings, checks at connect, password verifiers.
#include "platform/db/pg/Site.h"

#include "platform/db/pg/Errors.h"
#include "platform/db/pg/JetSchema.h"
#include "platform/db/pg/Values.h"
#include "platform/db/PasswordVerifier.h"
#include "platform/runtime/Error.h"

#include <libpq-fe.h>

#include <QLocale>
#include <QRandomGenerator>
#include <QStringList>

namespace db::pg {

namespace {
constexpr int kPasswordRounds = 4096;
}  // namespace

std::string quoteIdent(const QString& name) {
    std::string out = "\"";
    for (char c : name.toStdString()) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::string quoteLiteral(const QString& text) {
    std::string out = "'";
    for (char c : text.toStdString()) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + '\'';
}

QString toCharPattern(const QString& p) {
    const bool twelveHour = p.contains(QLatin1String("AP"), Qt::CaseInsensitive) ||
                            p.contains(u'A') || p.contains(u'a');
    QString out;
    QString literal;  // letters to copy as they are, quoted
    auto flush = [&] {
        if (literal.isEmpty()) return;
        out += u'"' + literal + u'"';
        literal.clear();
    };
    const qsizetype n = p.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = p[i];
        qsizetype run = 1;
        while (i + run < n && p[i + run] == c) ++run;
        auto token = [&](const QString& t) {
            flush();
            out += t;
            i += run;
        };
        if (c == u'\'') {
            // 'quoted text'; '' is one quote
            qsizetype j = i + 1;
            if (j < n && p[j] == u'\'') {
                literal += u'\'';
                i += 2;
                continue;
            }
            while (j < n) {
                if (p[j] == u'\'') {
                    if (j + 1 < n && p[j + 1] == u'\'') {
                        literal += u'\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                literal += p[j] == u'"' ? QStringLiteral("\\\"") : QString(p[j]);
                ++j;
            }
            i = j + 1;
            continue;
        }
        if (c == u'd') {
            token(run == 1 ? QStringLiteral("FMDD") : run == 2 ? QStringLiteral("DD")
                  : run == 3 ? QStringLiteral("Dy") : QStringLiteral("FMDay"));
        } else if (c == u'M') {
            token(run == 1 ? QStringLiteral("FMMM") : run == 2 ? QStringLiteral("MM")
                  : run == 3 ? QStringLiteral("Mon") : QStringLiteral("FMMonth"));
        } else if (c == u'y') {
            token(run <= 2 ? QStringLiteral("YY") : QStringLiteral("YYYY"));
        } else if (c == u'h') {
            const QString h = twelveHour ? QStringLiteral("HH12") : QStringLiteral("HH24");
            token(run == 1 ? QStringLiteral("FM") + h : h);
        } else if (c == u'H') {
            token(run == 1 ? QStringLiteral("FMHH24") : QStringLiteral("HH24"));
        } else if (c == u'm') {
            token(run == 1 ? QStringLiteral("FMMI") : QStringLiteral("MI"));
        } else if (c == u's') {
            token(run == 1 ? QStringLiteral("FMSS") : QStringLiteral("SS"));
        } else if (c == u'z') {
            token(QStringLiteral("MS"));
        } else if (c == u'A' || c == u'a') {
            const bool lower = c == u'a';
            // AP / ap, or A / a alone
            if (i + 1 < n && (p[i + 1] == u'P' || p[i + 1] == u'p')) run = 2;
            token(lower ? QStringLiteral("am") : QStringLiteral("AM"));
        } else if (c == u't') {
            i += run;  // time zone: naive times have none
        } else if (c.isLetter()) {
            for (qsizetype k = 0; k < run; ++k) literal += c;
            i += run;
        } else {
            flush();
            for (qsizetype k = 0; k < run; ++k) out += c == u'"' ? QStringLiteral("\\\"") : QString(c);
            i += run;
        }
    }
    flush();
    return out;
}

std::string regionalSettingsSql(const rt::RegionalSettings& rs) {
    const QString date = rs.shortDatePattern();
    const qsizetype d = date.indexOf(u'd'), m = date.indexOf(u'M'), y = date.indexOf(u'y');
    QString order = QStringLiteral("MDY");
    if (y >= 0 && (d < 0 || y < d) && (m < 0 || y < m))
        order = QStringLiteral("YMD");
    else if (d >= 0 && (m < 0 || d < m))
        order = QStringLiteral("DMY");
    const int firstDay = int(rs.locale().firstDayOfWeek()) % 7 + 1;
    // The order in which the server's functions read the numbers of a date
    // text written with the regional separator (as the file engine reads them).
    QString readOrder = QStringLiteral("MDY");
    if (y >= 0 && (d < 0 || y < d) && (m < 0 || y < m))
        readOrder = QStringLiteral("YMD");
    else if (d >= 0 && m >= 0 && d < m)
        readOrder = QStringLiteral("DMY");
    QString separator = QStringLiteral("/");
    for (QChar c : date)
        if (!c.isLetter() && c != u'\'') {
            separator = QString(c);
            break;
        }
    // Names as lists, '|' between them; days from Sunday.
    const QLocale& loc = rs.locale();
    auto months = [&](QLocale::FormatType f) {
        QStringList out;
        for (int i = 1; i <= 12; ++i) out << loc.monthName(i, f);
        return out.join(u'|');
    };
    auto days = [&](QLocale::FormatType f) {
        QStringList out;
        for (int i = 0; i < 7; ++i) out << loc.dayName(i == 0 ? 7 : i, f);
        return out.join(u'|');
    };
    auto set = [](const char* name, const QString& value) {
        return std::string("; SET jet.") + name + " = " + quoteLiteral(value);
    };
    return "SET jet.decimal = " + quoteLiteral(QString(rs.decimalSeparator())) +
           set("short_date", toCharPattern(date)) +
           set("long_time", toCharPattern(rs.longTimePattern())) +
           "; SET jet.first_day = '" + std::to_string(firstDay) + "'" +
           set("months", months(QLocale::LongFormat)) +
           set("months_short", months(QLocale::ShortFormat)) +
           set("days", days(QLocale::LongFormat)) + set("days_short", days(QLocale::ShortFormat)) +
           set("am", loc.amText()) + set("pm", loc.pmText()) +
           set("currency", loc.currencySymbol(QLocale::CurrencySymbol)) +
           set("thousands", loc.groupSeparator()) + set("date_order", readOrder) +
           set("date_separator", separator) + "; SET DateStyle = 'ISO, " + order.toStdString() +
           "'";
}

Keywords sessionKeywords(const Link& link) {
    Keywords k = link.server;
    k.emplace_back("passfile", link.passwordFile().toStdString());
    if (link.setting("application_name").isEmpty()) k.emplace_back("application_name", "narvo");
    k.emplace_back("client_encoding", "UTF8");
    k.emplace_back("options", "-c search_path=" + link.schema.toStdString() +
                                  ",jet -c lock_timeout=" + std::to_string(kLockTimeoutMs) +
                                  " -c extra_float_digits=1 -c standard_conforming_strings=on");
    return k;
}

std::unique_ptr<Session> openLink(const Link& link, const QString& password,
                                  const rt::RegionalSettings& rs) {
    std::unique_ptr<Session> s =
        Session::connect(sessionKeywords(link), link.label(), {regionalSettingsSql(rs)});
    checkJetSchema(*s);
    ResultPtr r = s->query("SELECT 1 FROM pg_namespace WHERE nspname = $1",
                           {toParam(rt::Variant(link.schema))});
    if (PQntuples(r.get()) == 0)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("Could not find the database '%1' on the server named by the "
                                 "link '%2'.")
                      .arg(link.schema, link.path));
    checkPasswordVerifier(*s, link.schema, password);
    return s;
}

void writePasswordVerifier(Session& s, const QString& schema, const QString& password) {
    const std::string table = quoteIdent(schema) + "." + kVerifierTable;
    s.exec("DROP TABLE IF EXISTS " + table);
    if (password.isEmpty()) return;
    s.exec("CREATE TABLE " + table + " (salt bytea NOT NULL, rounds integer NOT NULL, digest bytea NOT NULL)");
    QByteArray salt(16, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), 4);
    const QByteArray digest = passwordDigest(password, salt, kPasswordRounds);
    s.query("INSERT INTO " + table + " VALUES ($1, $2, $3)",
            {toParam(rt::Variant(salt)), toParam(rt::Variant(int32_t(kPasswordRounds))),
             toParam(rt::Variant(digest))});
}

void checkPasswordVerifier(Session& s, const QString& schema, const QString& password) {
    ResultPtr has = s.query(
        "SELECT 1 FROM pg_tables WHERE schemaname = $1 AND tablename = $2",
        {toParam(rt::Variant(schema)), toParam(rt::Variant(QString::fromLatin1(kVerifierTable)))});
    if (PQntuples(has.get()) == 0) return;
    ResultPtr r = s.query("SELECT salt, rounds, digest FROM " + quoteIdent(schema) + "." +
                          kVerifierTable + " LIMIT 1");
    if (PQntuples(r.get()) == 0) return;
    auto bytes = [&](int c) {
        return readValue(PQgetvalue(r.get(), 0, c), PQgetlength(r.get(), 0, c), oid::Bytea,
                         rt::VarType::Binary)
            .asBinary();
    };
    const int rounds = std::atoi(PQgetvalue(r.get(), 0, 1));
    if (rounds < 1 || rounds > 10'000'000 || passwordDigest(password, bytes(0), rounds) != bytes(2))
        rt::raise(rt::err::DbBadPassword, QStringLiteral("Not a valid password."));
}

}  // namespace db::pg
