// SQLSTATE to rt::Error: the server engine's one mapping of failures.
#include "platform/db/pg/Errors.h"

#include "platform/db/Coerce.h"
#include "platform/db/Connection.h"
#include "platform/db/ProviderErrors.h"

#include <libpq-fe.h>

#include <cctype>
#include <optional>
#include <string>

namespace db::pg {

namespace {

QString field(const PGresult* r, int code) {
    const char* v = r ? PQresultErrorField(r, code) : nullptr;
    return v ? QString::fromUtf8(v) : QString();
}

// The first name in double quotes of a server message: relation "x" does not exist.
QString quotedName(const QString& message) {
    const qsizetype a = message.indexOf(u'"');
    if (a < 0) return {};
    const qsizetype b = message.indexOf(u'"', a + 1);
    if (b < 0) return {};
    return message.mid(a + 1, b - a - 1);
}

}  // namespace

QString writtenName(const QString& lower, const std::string& sql) {
    if (lower.isEmpty() || sql.empty()) return lower;
    const std::string key = "\"" + lower.toStdString() + "\"/*";
    const size_t at = sql.find(key);
    if (at == std::string::npos) return lower;
    const size_t from = at + key.size();
    const size_t end = sql.find("*/", from);
    if (end == std::string::npos) return lower;
    return QString::fromStdString(sql.substr(from, end - from));
}

namespace {

QString withContext(const QString& text, const QString& context) {
    return context.isEmpty() ? text : text + QStringLiteral(" (") + context + u')';
}

// A state NJxxx raised by a jet function (xxx: the run-time's number).
bool isRuntimeState(const QString& state) {
    return state.size() == 5 && state.startsWith(QLatin1String("NJ"));
}

// A name the statement uses that is no column of its tables.
rt::Error unknownNameError(const QString& name) {
    return rt::Error(rt::err::DbMissingValue,
                     QStringLiteral("No value given for one or more required parameters "
                                    "(unknown name '%1').")
                         .arg(name));
}

// The statement's first words, in upper case: "INSERT", "CREATE INDEX" ...
bool startsWithWords(const std::string& sql, std::initializer_list<const char*> words) {
    size_t at = 0;
    for (const char* w : words) {
        while (at < sql.size() && (sql[at] == ' ' || sql[at] == '\n' || sql[at] == '(')) ++at;
        const size_t n = std::char_traits<char>::length(w);
        if (sql.size() < at + n) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::toupper(static_cast<unsigned char>(sql[at + i])) != w[i]) return false;
        at += n;
        if (at < sql.size() && std::isalnum(static_cast<unsigned char>(sql[at]))) return false;
    }
    return true;
}

bool writes(const std::string& sql) {
    return startsWithWords(sql, {"INSERT"}) || startsWithWords(sql, {"UPDATE"}) ||
           startsWithWords(sql, {"WITH"});
}

// The failures the file engine reports in the provider's words: a value a
// column cannot take, a subquery of several rows or columns, a name two
// tables share, a name already taken. Nothing when the failure is none of these.
std::optional<rt::Error> providerError(const PGresult* r, const QString& state,
                                       const QString& msg, const std::string& sql,
                                       const NameLookup& names) {
    const QString name = writtenName(quotedName(msg), sql);
    if (state == u"23502") {
        const QString table = field(r, PG_DIAG_TABLE_NAME), column = field(r, PG_DIAG_COLUMN_NAME);
        if (!column.isEmpty()) {
            QString t = writtenName(table, sql), c = writtenName(column, sql);
            if (names && (t == table || c == column)) {
                if (t == table) t = names(table, QString());
                if (c == column) c = names(table, column);
            }
            return requiredNullError(t, c);
        }
    }
    if (state == u"22001") return fieldTooSmallError();
    if (state == u"42804" || state == u"22P02" || state == u"22007" || state == u"22008" ||
        state == u"NJ013")
        return typeMismatchError();
    if (state == u"22003" && writes(sql)) return numericOverflowError();
    // A Byte beyond 0..255 (the check of the jet.byte domain).
    if (state == u"23514" && field(r, PG_DIAG_SCHEMA_NAME) == u"jet" &&
        field(r, PG_DIAG_DATATYPE_NAME) == u"byte")
        return numericOverflowError();
    // Operands whose kinds the server cannot compare or combine (their kind
    // unknown to the statement's translation): Jet's type mismatch.
    if ((state == u"42883" && msg.startsWith(QLatin1String("operator "))) || state == u"42725" ||
        state == u"42P08" || state == u"42P18")
        return typeMismatchError();
    if (state == u"21000") return subqueryRowsError();
    if (state == u"42702") return ambiguousFieldError(name);
    if (state == u"42601" && msg.startsWith(QLatin1String("subquery has too many columns")))
        return subqueryFieldsError();
    if (state == u"54011") return tooManyFieldsError();
    if (state == u"42803" && msg.contains(QLatin1String("must appear in the GROUP BY clause")))
        return ungroupedColumnError(writtenName(name.section(u'.', -1), sql));
    // A relationship to a field that is no key of its table.
    if (state == u"42830")
        return rt::Error(rt::err::DbSyntax,
                         QStringLiteral("No unique index found for the referenced field of the "
                                        "primary table."));
    // A table's name where a value stands (the server reads it as the whole
    // row, which no function takes): a name the statement does not know.
    if (state == u"42883" && msg.startsWith(QLatin1String("function jet."))) {
        const QString args = msg.section(u'(', 1).section(u')', 0, 0);
        for (const QString& a : args.split(QStringLiteral(", "))) {
            static const QStringList scalars = {
                QStringLiteral("smallint"),  QStringLiteral("integer"),
                QStringLiteral("bigint"),    QStringLiteral("real"),
                QStringLiteral("double precision"), QStringLiteral("numeric"),
                QStringLiteral("text"),      QStringLiteral("character varying"),
                QStringLiteral("unknown"),   QStringLiteral("timestamp without time zone"),
                QStringLiteral("boolean"),   QStringLiteral("bytea"),
                QStringLiteral("date"),      QStringLiteral("yesno"),
                QStringLiteral("byte"),      QStringLiteral("currency"),
                QStringLiteral("jet.yesno"), QStringLiteral("jet.byte"),
                QStringLiteral("jet.currency")};
            if (!a.isEmpty() && !scalars.contains(a) &&
                sql.find("\"" + a.toStdString() + "\"") != std::string::npos)
                return unknownNameError(writtenName(a, sql));
        }
    }
    if (state == u"42803" && msg.startsWith(QLatin1String("aggregate functions are not allowed in ")))
        return rt::Error(rt::err::DbSyntax,
                         msg.endsWith(QLatin1String(" WHERE"))
                             ? QStringLiteral("Cannot have aggregate function in WHERE clause.")
                             : QStringLiteral("Cannot have aggregate function in expression."));
    if (state == u"42P16" && msg.startsWith(QLatin1String("multiple primary keys")))
        return rt::Error(rt::err::DbSyntax, QStringLiteral("Primary key already exists."));
    if (state == u"42P07") {
        if (startsWithWords(sql, {"CREATE", "INDEX"}) ||
            startsWithWords(sql, {"CREATE", "UNIQUE", "INDEX"}))
            return indexExistsError(name);
        return tableExistsError(name);
    }
    if (state == u"42703" && startsWithWords(sql, {"INSERT"}) &&
        msg.contains(QLatin1String("\" of relation \"")))
        return unknownInsertFieldError(name);
    return std::nullopt;
}

}  // namespace

QString sqlState(const PGresult* result) { return field(result, PG_DIAG_SQLSTATE); }

QString lockedText(const QString& where) {
    return QStringLiteral("Could not update; currently locked by another user on '%1'.").arg(where);
}

rt::Error errorFromResult(const PGresult* r, const QString& where, const QString& context,
                          const std::string& sql, const NameLookup& names) {
    const QString state = sqlState(r);
    QString msg = field(r, PG_DIAG_MESSAGE_PRIMARY);
    if (msg.isEmpty() && r) msg = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
    const QString detail = field(r, PG_DIAG_MESSAGE_DETAIL);
    const QString cls = state.left(2);
    if (auto e = providerError(r, state, msg, sql, names)) return *e;

    if (state == u"55P03" || state == u"40P01" || state == u"40001")
        return rt::Error(rt::err::DbGeneric, withContext(lockedText(where), context));
    if (state == u"23505") {
        QString what = field(r, PG_DIAG_CONSTRAINT_NAME);
        if (!detail.isEmpty()) what = what.isEmpty() ? detail : what + QStringLiteral(": ") + detail;
        return rt::Error(rt::err::DbConstraint,
                         withContext(QStringLiteral("The changes you requested to the table were "
                                                    "not successful because they would create "
                                                    "duplicate values in the index, primary key, "
                                                    "or relationship (%1).")
                                         .arg(what),
                                     context));
    }
    if (cls == u"23")
        return rt::Error(rt::err::DbConstraint,
                         withContext(QStringLiteral("The changes you requested to the table were "
                                                    "not successful because they would break a "
                                                    "rule of the table (%1).")
                                         .arg(msg),
                                     context));
    if (state == u"42P01" || state == u"3F000") {
        const QString name = writtenName(quotedName(msg), sql);
        return missingTableError(name.isEmpty() ? msg : name);
    }
    if (state == u"42703")
        return unknownNameError(quotedName(msg).isEmpty() ? msg
                                                          : writtenName(quotedName(msg), sql));
    if (state == u"42501")
        return rt::Error(rt::err::DbGeneric,
                         withContext(QStringLiteral("Cannot update. Database or object is "
                                                    "read-only (%1: %2).")
                                         .arg(where, msg),
                                     context));
    if (cls == u"42")
        return rt::Error(rt::err::DbSyntax,
                         withContext(QStringLiteral("Syntax error in the statement: %1.").arg(msg),
                                     context));
    // The file engine reports a failing Jet function as a database failure
    // whose description is the run-time's text; so does this one.
    if (state == u"22012") return rt::Error(rt::err::DbGeneric, QStringLiteral("Division by zero"));
    if (state == u"22003") return rt::Error(rt::err::DbGeneric, QStringLiteral("Overflow"));
    if (cls == u"22")
        return rt::Error(rt::err::DbGeneric,
                         withContext(QStringLiteral("Data type mismatch in criteria expression "
                                                    "(%1).")
                                         .arg(msg),
                                     context));
    if (isRuntimeState(state)) return rt::Error(rt::err::DbGeneric, msg);
    if (cls == u"08" || state == u"57P01" || state == u"57P02" || state == u"57P03")
        return rt::Error(rt::err::DbGeneric,
                         QStringLiteral("The connection to the database server for '%1' was lost "
                                        "(%2).")
                             .arg(where, msg));
    if (state == u"57014")
        return rt::Error(rt::err::DbGeneric,
                         withContext(QStringLiteral("The statement was cancelled on '%1'.")
                                         .arg(where),
                                     context));
    if (state == u"28P01" || state == u"28000")
        return rt::Error(rt::err::DbBadPassword,
                         QStringLiteral("The database server refused the login for '%1' (%2).")
                             .arg(where, msg));
    if (msg.isEmpty()) msg = QStringLiteral("unknown failure");
    return rt::Error(rt::err::DbGeneric, withContext(msg, context));
}

rt::Error errorFromConnection(const PGconn* conn, const QString& where) {
    QString msg = conn ? QString::fromUtf8(PQerrorMessage(conn)).trimmed() : QString();
    if (msg.isEmpty()) msg = QStringLiteral("no connection");
    return rt::Error(rt::err::DbGeneric,
                     QStringLiteral("The connection to the database server for '%1' was lost "
                                    "(%2).")
                         .arg(where, msg));
}

}  // namespace db::pg
