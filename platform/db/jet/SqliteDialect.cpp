// The SQLite spelling of Jet SQL.
//
// Plain SQL wherever SQLite means the same as Jet (comparisons, column
// references, parameters, aggregates), so that the system's own statements
// run without a function call per row. Where Jet means something else, the
// jet_* functions registered by registerJetFunctions() (JetFunctions.cpp) carry
// Jet's meaning; text comparisons without a column use the JETTEXT collation.
#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/db/jet/Translator.h"

namespace db::jet {

namespace {

std::string joined(const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += ", ";
        out += args[i];
    }
    return out;
}

class SqliteDialect final : public Dialect {
  public:
    std::string quoteIdentifier(const QString& name) const override {
        const QByteArray u = name.toUtf8();
        std::string out = "\"";
        for (char c : u) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
        return out;
    }

    std::string parameter(int oneBasedIndex) const override {
        return "?" + std::to_string(oneBasedIndex);
    }

    std::string literal(const rt::Variant& v) const override {
        using rt::VarType;
        auto number = [](double d) -> std::string {
            if (std::isnan(d)) return "NULL";
            if (std::isinf(d)) return d < 0 ? "(-9e999)" : "9e999";
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.17g", d);
            std::string t = buf;
            // Stays a real number for the engine (5.0, not the integer 5).
            if (t.find_first_of(".e") == std::string::npos) t += ".0";
            return d < 0 || (d == 0 && std::signbit(d)) ? "(" + t + ")" : t;
        };
        auto whole = [](long long n) {
            const std::string t = std::to_string(n);
            return n < 0 ? "(" + t + ")" : t;
        };
        auto text = [](const QByteArray& u) {
            if (u.contains('\0')) return "CAST(X'" + u.toHex().toStdString() + "' AS TEXT)";
            std::string out = "'";
            for (char c : u) {
                if (c == '\'') out += '\'';
                out += c;
            }
            return out + "'";
        };
        switch (v.type()) {
            case VarType::Empty:
            case VarType::Null: return "NULL";
            case VarType::Byte: return whole(v.asByte());
            case VarType::Int16: return whole(v.asInt16());
            case VarType::Int32: return whole(v.asInt32());
            case VarType::Single: return number(double(v.asSingle()));
            case VarType::Double: return number(v.asDouble());
            case VarType::Currency: return number(v.asCurrency().toDouble());
            case VarType::Decimal: return number(v.asDecimal().toDouble());
            case VarType::Date: return text(storedDateText(v.asDate()).toUtf8());
            case VarType::Boolean: return v.asBool() ? "(-1)" : "0";
            case VarType::Text: return text(v.asText().toUtf8());
            case VarType::Binary: return "X'" + v.asBinary().toHex().toStdString() + "'";
        }
        return "NULL";
    }

    std::string rowidExpression(const QString& table) const override {
        return quoteIdentifier(table) + ".rowid";
    }

    std::string function(const QString& upperName,
                         const std::vector<std::string>& a) const override {
        const QByteArray n = upperName.toLatin1();
        const std::string_view name(n.constData(), size_t(n.size()));
        if (name == "COUNT" && a.size() == 1) return "count(" + a[0] + ")";
        if (name == "SUM" && a.size() == 1) return "sum(" + a[0] + ")";
        if (name == "AVG" && a.size() == 1) return "avg(" + a[0] + ")";
        if (name == "MIN" && a.size() == 1) return "min(" + a[0] + ")";
        if (name == "MAX" && a.size() == 1) return "max(" + a[0] + ")";
        if (name == "IIF" && a.size() == 3)
            return "CASE WHEN " + a[0] + " THEN " + a[1] + " ELSE " + a[2] + " END";
        if (name == "NZ" && (a.size() == 1 || a.size() == 2))
            return "coalesce(" + a[0] + ", " + (a.size() == 2 ? a[1] : std::string("''")) + ")";
        if (name == "ISNULL" && a.size() == 1) return "(" + a[0] + " IS NULL)";
        // The clock is read once per statement: every row sees the same instant.
        if ((name == "NOW" || name == "DATE" || name == "TIME") && a.empty())
            return "(SELECT jet_" + QString::fromLatin1(n).toLower().toStdString() + "())";
        if (name == "CVDATE") return "jet_cdate(" + joined(a) + ")";
        if (name == "CHRW") return "jet_chr(" + joined(a) + ", 1)";
        if (name == "ASCW") return "jet_asc(" + joined(a) + ")";
        if (name == "SWITCH") {
            std::string out = "CASE";
            for (size_t i = 0; i + 1 < a.size(); i += 2)
                out += " WHEN " + a[i] + " THEN " + a[i + 1];
            return out + " END";
        }
        if (name == "CHOOSE") {
            // The index rounds as CLng rounds; beyond the choices: Null.
            std::string out = "CASE jet_clng(" + a[0] + ")";
            for (size_t i = 1; i < a.size(); ++i)
                out += " WHEN " + std::to_string(i) + " THEN " + a[i];
            return out + " END";
        }
        // Every other Jet function: jet_<name in lower case>(args), registered
        // by registerJetFunctions().
        return "jet_" + QString::fromLatin1(n).toLower().toStdString() + "(" + joined(a) + ")";
    }

    std::string concat(const std::string& a, const std::string& b) const override {
        return "jet_concat(" + a + ", " + b + ")";
    }

    std::string like(const std::string& value, const std::string& pattern,
                     bool negated) const override {
        return (negated ? "NOT jet_like(" : "jet_like(") + value + ", " + pattern + ")";
    }

    std::string limit(const std::string& selectBody, long long n) const override {
        return selectBody + " LIMIT " + std::to_string(n);
    }

    std::string boolValue(const std::string& condition) const override {
        return "-(" + condition + ")";
    }

    std::string condition(const std::string& value) const override { return value; }

    std::string textForm(const std::string& value, rt::VarType kind) const override {
        using rt::VarType;
        switch (kind) {
            case VarType::Text:
            case VarType::Null:
            case VarType::Byte:
            case VarType::Int16:
            case VarType::Int32:
            case VarType::Boolean:
            case VarType::Binary:
                return value;  // SQLite's own text form is Jet's
            case VarType::Date:
                return "jet_datetext(" + value + ")";
            default:
                return "jet_textform(" + value + ")";
        }
    }

    std::string concatChain(const std::vector<std::string>& operands,
                            const std::vector<bool>& nullable) const override {
        bool anyFixed = false;
        for (bool n : nullable) anyFixed = anyFixed || !n;
        if (!anyFixed) {
            // SQLite takes at most 127 arguments: long chains nest (an inner
            // all-Null part gives Null, which the outer call joins as nothing).
            constexpr size_t kChunk = 100;
            std::vector<std::string> level = operands;
            while (level.size() > kChunk) {
                std::vector<std::string> next;
                for (size_t i = 0; i < level.size(); i += kChunk) {
                    std::vector<std::string> part(
                        level.begin() + long(i),
                        level.begin() + long(std::min(level.size(), i + kChunk)));
                    next.push_back("jet_concat(" + joined(part) + ")");
                }
                level = std::move(next);
            }
            return "jet_concat(" + joined(level) + ")";
        }
        // One operand is never Null, so neither is the result: plain || will do.
        std::string out;
        for (size_t i = 0; i < operands.size(); ++i) {
            if (i) out += " || ";
            out += nullable[i] ? "coalesce(" + operands[i] + ", '')" : operands[i];
        }
        return out;
    }

    std::string caseInsensitive(const std::string& operand) const override {
        return operand + " COLLATE JETTEXT";
    }

    std::string arithmetic(Arith op, const std::string& a, const std::string& b) const override {
        const char* f = "";
        switch (op) {
            case Arith::Divide:
                f = "jet_div";
                break;
            case Arith::IntDivide:
                f = "jet_idiv";
                break;
            case Arith::Modulo:
                f = "jet_mod";
                break;
            case Arith::Power:
                f = "jet_pow";
                break;
            case Arith::DatePlusDays:
                f = "jet_dateplus";
                break;
            case Arith::DateMinusDate:
                f = "jet_dateminus";
                break;
            case Arith::Add:
                f = "jet_add";
                break;
            case Arith::Subtract:
                f = "jet_sub";
                break;
            case Arith::Multiply:
                f = "jet_mul";
                break;
            case Arith::Least:
                f = "min";  // SQLite's scalar min and max: Null when either is Null
                break;
            case Arith::Greatest:
                f = "max";
                break;
        }
        return std::string(f) + "(" + a + ", " + b + ")";
    }

    std::string singleRow(const std::string& select, const QString& column) const override {
        return "(SELECT jet_single(" + quoteIdentifier(column) + ") FROM (" + select + "))";
    }

    std::string columnValue(const std::string& value, rt::VarType, const ColumnInfo& c,
                            const QString& table) const override {
        const int flags = (c.required ? 1 : 0) | (c.autoNumber ? 2 : 0);
        return "jet_put(" + value + ", " + std::to_string(int(c.kind)) + ", " +
               std::to_string(c.size) + ", " + std::to_string(flags) + ", " +
               std::to_string(c.precision) + ", " + std::to_string(c.scale) + ", " +
               literal(rt::Variant(table)) + ", " + literal(rt::Variant(c.name)) + ")";
    }
};

}  // namespace

const Dialect& sqliteDialect() {
    static const SqliteDialect dialect;
    return dialect;
}

}  // namespace db::jet
