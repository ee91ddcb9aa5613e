// The PostgreSQL spelling of Jet SQL.
//
// Plain SQL wherever the server means what Jet means (comparisons, column
// references, parameters, aggregates, CASE for IIf, coalesce for Nz), so the
// system's own statements run without a function call per row; the `jet`
// schema's functions where it does not.
#include "platform/db/jet/PgDialect.h"

#include "platform/db/pg/Values.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string_view>

namespace db::jet {

namespace {

std::string joined(const std::vector<std::string>& args, size_t from = 0) {
    std::string out;
    for (size_t i = from; i < args.size(); ++i) {
        if (i > from) out += ", ";
        out += args[i];
    }
    return out;
}

// A bare parameter ($n): untyped until the server sees where it stands.
bool isParameter(const std::string& s) {
    if (s.size() < 2 || s[0] != '$') return false;
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

std::string text(const std::string& a) { return "jet.text(" + a + ")"; }
std::string num(const std::string& a) { return "jet.num(" + a + ")"; }
std::string dt(const std::string& a) { return "jet.dt(" + a + ")"; }

class PgDialect final : public Dialect {
  public:
    std::string quoteIdentifier(const QString& name) const override {
        const QString lower = name.toLower();
        const QByteArray u = lower.toUtf8();
        std::string out = "\"";
        for (char c : u) {
            if (c == '"') out += '"';
            if (c == '\x01') continue;  // never a clock marker inside a name
            out += c;
        }
        out += '"';
        // The name as written, for failures that name it (Errors.cpp).
        if (lower != name) {
            QString written = name;
            written.replace(QStringLiteral("*/"), QStringLiteral("*_")).remove(QChar(1));
            out += "/*" + written.toStdString() + "*/";
        }
        return out;
    }

    std::string parameter(int oneBasedIndex) const override {
        return "$" + std::to_string(oneBasedIndex);
    }

    std::string literal(const rt::Variant& v) const override {
        using rt::VarType;
        const pg::Param p = pg::toParam(v);
        if (p.null) return "NULL";
        std::string quoted = "'";
        for (char c : p.text) {
            if (c == '\'') quoted += '\'';
            quoted += c;
        }
        quoted += "'";
        switch (v.type()) {
            case VarType::Text: return quoted;
            case VarType::Byte:
            case VarType::Int16:
            case VarType::Int32:
            case VarType::Boolean: return "(" + p.text + ")";
            case VarType::Single: return quoted + "::real";
            case VarType::Double: return quoted + "::double precision";
            case VarType::Currency:
            case VarType::Decimal: return quoted + "::numeric";
            case VarType::Date: return quoted + "::timestamp";
            case VarType::Binary: return quoted + "::bytea";
            default: return "NULL";
        }
    }

    std::string rowidExpression(const QString& table) const override {
        // The row's tuple id; the engine reads it as one number and binds it
        // back as a tuple id, so that a row is found by a tuple id scan.
        return plainName(table) + ".ctid";
    }

    std::string function(const QString& upperName,
                         const std::vector<std::string>& a) const override {
        const QByteArray n = upperName.toLatin1();
        const std::string_view name(n.constData(), size_t(n.size()));
        const size_t k = a.size();
        if (name == "COUNT" && k == 1) return "count(" + a[0] + ")";
        if (name == "SUM" && k == 1) return "sum(" + a[0] + ")";
        if (name == "AVG" && k == 1) return "avg(" + a[0] + ")";
        if (name == "MIN" && k == 1) return "min(" + a[0] + ")";
        if (name == "MAX" && k == 1) return "max(" + a[0] + ")";
        if (name == "FIRST" && k == 1) return "jet.first(" + a[0] + ")";
        if (name == "LAST" && k == 1) return "jet.last(" + a[0] + ")";
        if (name == "IIF" && k == 3)
            return "CASE WHEN " + a[0] + " THEN " + a[1] + " ELSE " + a[2] + " END";
        if (name == "NZ" && k == 2) return "coalesce(" + a[0] + ", " + a[1] + ")";
        if (name == "NZ" && k == 1) return "coalesce(" + text(a[0]) + ", '')";
        if (name == "ISNULL" && k == 1) return "(" + a[0] + " IS NULL)";
        if (name == "NOW" && k == 0) return kClockNow;
        if (name == "DATE" && k == 0) return kClockDate;
        if (name == "TIME" && k == 0) return kClockTime;
        // Text functions: the text argument in its Jet text form.
        if ((name == "LEFT" || name == "RIGHT") && k == 2)
            return "jet." + lower(name) + "(" + text(a[0]) + ", " + a[1] + ")";
        if (name == "MID" && (k == 2 || k == 3))
            return "jet.mid(" + text(a[0]) + ", " + joined(a, 1) + ")";
        if ((name == "LEN" || name == "TRIM" || name == "LTRIM" || name == "RTRIM" ||
             name == "UCASE" || name == "LCASE" || name == "CSTR") &&
            k == 1)
            return "jet." + lower(name) + "(" + text(a[0]) + ")";
        if (name == "INSTR") {
            if (k == 2) return "jet.instr(" + text(a[0]) + ", " + text(a[1]) + ")";
            if (k == 3) return "jet.instr(" + a[0] + ", " + text(a[1]) + ", " + text(a[2]) + ")";
            if (k == 4)
                return "jet.instr(" + a[0] + ", " + text(a[1]) + ", " + text(a[2]) + ", " + a[3] +
                       ")";
        }
        if (name == "SPACE" && k == 1) return "jet.space(" + a[0] + ")";
        if (name == "VAL" && k == 1) return "jet.val(" + a[0] + ")";
        if (name == "STR" && k == 1) return "jet.str(" + num(a[0]) + ")";
        // Conversions: the argument as a number first (texts in the regional form).
        if ((name == "CLNG" || name == "CINT" || name == "CDBL" || name == "CSNG" ||
             name == "CCUR" || name == "CBOOL" || name == "CBYTE") &&
            k == 1)
            return "jet." + lower(name) + "(" + num(a[0]) + ")";
        if ((name == "CDATE" || name == "CVDATE") && k == 1) return "jet.cdate(" + dt(a[0]) + ")";
        if ((name == "INT" || name == "FIX" || name == "ABS" || name == "SGN") && k == 1)
            return "jet." + lower(name) + "(" + a[0] + ")";
        if (name == "SQR" && k == 1) return "jet.sqr(" + num(a[0]) + ")";
        if (name == "ROUND" && (k == 1 || k == 2)) return "jet.round(" + joined(a) + ")";
        // Dates: the date argument through jet.dt.
        if ((name == "YEAR" || name == "MONTH" || name == "DAY" || name == "HOUR" ||
             name == "MINUTE" || name == "SECOND" || name == "DATEVALUE" || name == "TIMEVALUE") &&
            k == 1)
            return "jet." + lower(name) + "(" + dt(a[0]) + ")";
        if (name == "WEEKDAY" && (k == 1 || k == 2))
            return "jet.weekday(" + dt(a[0]) + (k == 2 ? ", " + a[1] : std::string()) + ")";
        if (name == "DATEADD" && k == 3)
            return "jet.dateadd(" + text(a[0]) + ", " + num(a[1]) + ", " + dt(a[2]) + ")";
        if (name == "DATEDIFF" && k >= 3 && k <= 5)
            return "jet.datediff(" + text(a[0]) + ", " + dt(a[1]) + ", " + dt(a[2]) +
                   (k > 3 ? ", " + joined(a, 3) : std::string()) + ")";
        if (name == "DATEPART" && k >= 2 && k <= 4)
            return "jet.datepart(" + text(a[0]) + ", " + dt(a[1]) +
                   (k > 2 ? ", " + joined(a, 2) : std::string()) + ")";
        if (name == "DATESERIAL" && k == 3)
            return "jet.dateserial(" + num(a[0]) + ", " + num(a[1]) + ", " + num(a[2]) + ")";
        // Statistics of the values as numbers; Nulls are left out, and the
        // sample forms of fewer than two values are Null, as in Jet.
        if ((name == "STDEV" || name == "STDEVP" || name == "VAR" || name == "VARP") && k == 1) {
            const char* f = name == "STDEV"    ? "stddev_samp"
                            : name == "STDEVP" ? "stddev_pop"
                            : name == "VAR"    ? "var_samp"
                                               : "var_pop";
            return std::string(f) + "(" + num(a[0]) + ")";
        }
        // The first true condition's value; none true: Null.
        if (name == "SWITCH" && k >= 2 && k % 2 == 0) {
            std::string out = "CASE";
            for (size_t i = 0; i + 1 < k; i += 2) out += " WHEN " + a[i] + " THEN " + a[i + 1];
            return out + " END";
        }
        // The index rounds as CLng rounds; beyond the choices: Null.
        if (name == "CHOOSE" && k >= 2) {
            std::string out = "CASE jet.clng(" + num(a[0]) + ")";
            for (size_t i = 1; i < k; ++i) out += " WHEN " + std::to_string(i) + " THEN " + a[i];
            return out + " END";
        }
        if (name == "STRREVERSE" && k == 1) return "reverse(" + text(a[0]) + ")";
        // Texts searched, compared and built; the numbers as numbers.
        if (name == "REPLACE" && k >= 3 && k <= 6) {
            std::string out = "jet.replace(" + text(a[0]) + ", " + text(a[1]) + ", " + text(a[2]);
            for (size_t i = 3; i < k; ++i) out += ", " + num(a[i]);
            return out + ")";
        }
        if (name == "INSTRREV" && k >= 2 && k <= 4) {
            std::string out = "jet.instrrev(" + text(a[0]) + ", " + text(a[1]);
            for (size_t i = 2; i < k; ++i) out += ", " + num(a[i]);
            return out + ")";
        }
        if (name == "STRCOMP" && (k == 2 || k == 3))
            return "jet.strcomp(" + text(a[0]) + ", " + text(a[1]) +
                   (k == 3 ? ", " + num(a[2]) : std::string()) + ")";
        if ((name == "CHR" || name == "CHRW") && k == 1)
            return "jet." + lower(name) + "(" + num(a[0]) + ")";
        if ((name == "ASC" || name == "ASCW") && k == 1) return "jet.asc(" + text(a[0]) + ")";
        // The character as the value is: a text's first character, or a code.
        if (name == "STRING" && k == 2) return "jet.string(" + num(a[0]) + ", " + a[1] + ")";
        if ((name == "HEX" || name == "OCT") && k == 1)
            return "jet." + lower(name) + "(" + num(a[0]) + ")";
        // Tests of a value of any kind: the overload of its kind decides.
        if ((name == "ISNUMERIC" || name == "ISDATE") && k == 1)
            return "jet." + lower(name) + "(" + a[0] + ")";
        if (name == "MONTHNAME" && (k == 1 || k == 2))
            return "jet.monthname(" + num(a[0]) + (k == 2 ? ", " + num(a[1]) : std::string()) +
                   ")";
        if (name == "WEEKDAYNAME" && k >= 1 && k <= 3) {
            std::string out = "jet.weekdayname(" + num(a[0]);
            for (size_t i = 1; i < k; ++i) out += ", " + num(a[i]);
            return out + ")";
        }
        if (name == "TIMESERIAL" && k == 3)
            return "jet.timeserial(" + num(a[0]) + ", " + num(a[1]) + ", " + num(a[2]) + ")";
        return std::string();
    }

    std::string concat(const std::string& a, const std::string& b) const override {
        return concatChain({textForm(a, rt::VarType::Empty), textForm(b, rt::VarType::Empty)},
                           {true, true});
    }

    std::string like(const std::string& value, const std::string& pattern,
                     bool negated) const override {
        // Jet's pattern as a regular expression, matched without regard to
        // letter case under a deterministic collation (the server refuses
        // pattern matching under the case-insensitive one).
        const std::string match =
            "(" + text(value) + " COLLATE jet.cs ~* jet.like_regex(" + text(pattern) + "))";
        return negated ? "NOT " + match : match;
    }

    std::string limit(const std::string& selectBody, long long n) const override {
        return selectBody + " LIMIT " + std::to_string(n);
    }

    // Format in a select list is the client's (fn::format, the file engine's
    // code); the server has none, so Format elsewhere is refused as unsupported.
    bool formatsOnClient() const override { return true; }

    bool groupsByRowid() const override { return false; }

    void comparable(const std::vector<std::string*>& operands,
                    const std::vector<rt::VarType>& kinds) const override {
        enum class Kind { Unknown, Number, Date, Text };
        auto kindOf = [](rt::VarType k) {
            switch (k) {
                case rt::VarType::Text: return Kind::Text;
                case rt::VarType::Date: return Kind::Date;
                case rt::VarType::Byte:
                case rt::VarType::Int16:
                case rt::VarType::Int32:
                case rt::VarType::Single:
                case rt::VarType::Double:
                case rt::VarType::Currency:
                case rt::VarType::Decimal:
                case rt::VarType::Boolean: return Kind::Number;
                default: return Kind::Unknown;
            }
        };
        bool number = false, date = false, text = false;
        for (rt::VarType k : kinds) {
            const Kind c = kindOf(k);
            number = number || c == Kind::Number;
            date = date || c == Kind::Date;
            text = text || c == Kind::Text;
        }
        if (int(number) + int(date) + int(text) < 2) return;
        // A number among them: all as numbers (a date as its day number, a
        // text read as a number); else a date and a text: the text as a date.
        for (size_t i = 0; i < operands.size() && i < kinds.size(); ++i) {
            const Kind c = kindOf(kinds[i]);
            if (number && (c == Kind::Date || c == Kind::Text))
                *operands[i] = num(*operands[i]);
            else if (!number && c == Kind::Text)
                *operands[i] = dt(*operands[i]);
        }
    }

    std::string boolValue(const std::string& condition) const override {
        return "(-((" + condition + ")::integer))";
    }

    std::string condition(const std::string& value) const override {
        // A value of any kind as Jet's truth: a date or a text as its number.
        return "(" + num(value) + " <> 0)";
    }

    std::string textForm(const std::string& value, rt::VarType kind) const override {
        using rt::VarType;
        switch (kind) {
            case VarType::Text:
            case VarType::Null:
            case VarType::Binary:
                // An untyped text parameter is given its type for || and concat.
                return isParameter(value) ? value + "::text" : value;
            default: return text(value);
        }
    }

    std::string concatChain(const std::vector<std::string>& operands,
                            const std::vector<bool>& nullable) const override {
        bool anyFixed = false;
        for (bool n : nullable) anyFixed = anyFixed || !n;
        if (anyFixed) {
            // One operand is never Null, so neither is the result: plain || will do.
            std::string out;
            for (size_t i = 0; i < operands.size(); ++i) {
                if (i) out += " || ";
                out += nullable[i] ? "coalesce(" + operands[i] + ", '')" : operands[i];
            }
            return "(" + out + ")";
        }
        // Null only when every operand is Null; concat() joins Null as nothing.
        // The server takes at most 100 arguments: long chains nest.
        constexpr size_t kChunk = 90;
        std::vector<std::string> level = operands;
        while (level.size() > kChunk) {
            std::vector<std::string> next;
            for (size_t i = 0; i < level.size(); i += kChunk) {
                std::vector<std::string> part(level.begin() + long(i),
                                              level.begin() + long(std::min(level.size(), i + kChunk)));
                next.push_back(concatChain(part, std::vector<bool>(part.size(), true)));
            }
            level = std::move(next);
        }
        return "(CASE WHEN num_nonnulls(" + joined(level) + ") = 0 THEN NULL ELSE concat(" +
               joined(level) + ") END)";
    }

    std::string caseInsensitive(const std::string& operand) const override {
        // Columns bring the case-insensitive collation, and functions of them
        // keep it; an operand of literals alone is given it. Nothing else is
        // marked: GROUP BY, DISTINCT and ORDER BY terms must match the select
        // list's expressions exactly.
        if (isParameter(operand) || operand.ends_with("::text"))
            return "(" + operand + " COLLATE jet.ci)";
        return operand;
    }

    std::string arithmetic(Arith op, const std::string& a, const std::string& b) const override {
        switch (op) {
            case Arith::Divide: return "jet.div(" + num(a) + ", " + num(b) + ")";
            case Arith::IntDivide: return "jet.idiv(" + num(a) + ", " + num(b) + ")";
            case Arith::Modulo: return "jet.mod(" + num(a) + ", " + num(b) + ")";
            case Arith::Power: return "jet.pow(" + num(a) + ", " + num(b) + ")";
            case Arith::DatePlusDays: return "jet.dateplus(" + dt(a) + ", " + num(b) + ")";
            case Arith::DateMinusDate: return "jet.dateminus(" + dt(a) + ", " + dt(b) + ")";
            // Values of kinds the catalog does not tell: as numbers.
            case Arith::Add: return "(" + num(a) + " + " + num(b) + ")";
            case Arith::Subtract: return "(" + num(a) + " - " + num(b) + ")";
            case Arith::Multiply: return "(" + num(a) + " * " + num(b) + ")";
            // LEAST and GREATEST pass Nulls over; Jet's bounds do not.
            case Arith::Least:
                return "CASE WHEN " + a + " IS NULL OR " + b + " IS NULL THEN NULL ELSE LEAST(" +
                       a + ", " + b + ") END";
            case Arith::Greatest:
                return "CASE WHEN " + a + " IS NULL OR " + b + " IS NULL THEN NULL ELSE GREATEST(" +
                       a + ", " + b + ") END";
        }
        return std::string();
    }

    std::string singleRow(const std::string& select, const QString&) const override {
        // The server itself refuses a second row of a scalar subquery.
        return "(" + select + ")";
    }

    std::string columnValue(const std::string& value, rt::VarType valueKind,
                            const ColumnInfo& c, const QString&) const override {
        // Values the server's own assignment stores as Jet would (numbers
        // into number columns: doubles round halves to even, a value out of
        // range fails; a date into a date column) go as they are; the rest
        // through the jet schema's conversion for the column's kind. Null
        // into a required column is refused by the column itself.
        using rt::VarType;
        const auto whole = [](VarType k) {
            return k == VarType::Byte || k == VarType::Int16 || k == VarType::Int32;
        };
        const bool number = whole(valueKind) || valueKind == VarType::Single ||
                            valueKind == VarType::Double || valueKind == VarType::Boolean;
        switch (c.kind) {
            case VarType::Text:
                if (valueKind == VarType::Text && c.size <= 0) return value;
                return "jet.put_text(" + value + ", " + std::to_string(std::max(0, c.size)) + ")";
            case VarType::Byte:
            case VarType::Int16:
            case VarType::Int32: {
                if (number) return value;
                const char* range = c.kind == VarType::Byte    ? "0, 255"
                                    : c.kind == VarType::Int16 ? "-32768, 32767"
                                                               : "-2147483648, 2147483647";
                return "jet.put_whole(" + value + ", " + range + ")";
            }
            case VarType::Single:
                if (number) return value;
                return "jet.put_real(" + value + ", 3.4028234663852886e38)";
            case VarType::Double:
                if (number) return value;
                return "jet.put_real(" + value + ", 'Infinity')";
            case VarType::Currency:
                if (whole(valueKind) || valueKind == VarType::Currency) return value;
                return "jet.put_fixed(" + value + ", 4, 922337203685477.5807)";
            case VarType::Decimal: {
                const int scale = std::clamp(c.scale, 0, 28);
                const int digits = std::max(1, c.precision > 0 ? c.precision : 18) - scale;
                return "jet.put_fixed(" + value + ", " + std::to_string(scale) + ", 1e" +
                       std::to_string(std::max(0, digits)) + ")";
            }
            case VarType::Date:
                if (valueKind == VarType::Date) return value;
                return "jet.put_date(" + value + ")";
            case VarType::Boolean:
                return "jet.put_yesno(" + value + ")";
            default:
                return value;
        }
    }

    std::string unnamedDerivedTable(const std::string& parenthesised) const override {
        // The server wants every derived table named; one no statement can mean.
        char name[32];
        std::snprintf(name, sizeof name, "\"jet_derived_%zx\"", std::hash<std::string>{}(parenthesised));
        return parenthesised + " AS " + name;
    }

  private:
    // A name lower-cased and quoted, without the written form's comment.
    static std::string plainName(const QString& name) {
        std::string out = "\"";
        for (char c : name.toLower().toUtf8()) {
            if (c == '"') out += '"';
            out += c;
        }
        return out + '"';
    }

    static std::string lower(std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return out;
    }
};

}  // namespace

const Dialect& pgDialect() {
    static const PgDialect dialect;
    return dialect;
}

}  // namespace db::jet
