// Deterministic random inputs for the Jet SQL translator, and the check that
// every input must pass: the translator either refuses it with a syntax error
// (rt::Error DbSyntax) or writes SQL that SQLite parses, whose functions exist
// and whose run ends (with rows or with an error of the engine), never a crash,
// a hang or another kind of exception.
//
// Shared by the translator tests (a bounded run) and the translator_fuzz
// program (long runs under AddressSanitizer and UBSan).
#pragma once

#include <sqlite3.h>

#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/db/jet/Translator.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/db/sqlite/JetFunctions.h"
#include "platform/runtime/Environment.h"
#include "platform/runtime/Error.h"

namespace jetfuzz {

// splitmix64: the same sequence on every platform.
class Random {
  public:
    explicit Random(uint64_t seed) : s_(seed) {}
    uint64_t next() {
        uint64_t z = (s_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return n == 0 ? 0 : size_t(next() % n); }
    bool chance(int percent) { return below(100) < size_t(percent); }
    template <typename T, size_t N>
    const T& pick(const T (&a)[N]) {
        return a[below(N)];
    }

  private:
    uint64_t s_;
};

// Statements to mutate: the system's own and the wider dialect.
inline const char* const kSeeds[] = {
    R"(select "DB" & minYear & "_" & right(maxYear,2) from DB_Years where curryear=true)",
    "Delete * from logs where dates>#12/08/2026#",
    "Delete * from OnLineUsers",
    "insert into errlog VALUES ('Some text 123 : From ClsProd', #08/12/2026 10:00:05#)",
    "Select * from OnLineUsers",
    "delete * from OnLineUsers Where SysId=1 and UserId=2 and ScreenId=3",
    "Select DateT from OnLineUsers Where ScreenId=5 and SysId=1 and UserId=2",
    "Select * from OnLineUsers Where UserVal>1 and ScreenId=5 and SysId <>1",
    "Select * from OnlineUsers Where UserVal>1 and  SysId<>1 and ScreenId=5 Order By DateT",
    "Select UserName from User1 Where UserId=3",
    "Select SysName from ImpSystems Where SysId=2",
    "SELECT dcno from dcinv where dcinvid=(select max(dcinvid) from dcinv)",
    "SELECT invno from dcinv where invdatet=(select max(invdatet) from dcinv where invno is not "
    "null and InvNo<>'Nil')",
    "SELECT invno from dcOUTGOINGinv where  invdatet=(select max(invdatet) from dcoutgoinginv "
    "where invno is not null and InvNo<>'Nil')",
    "select * from SUBCONPO where suPPid=7 and PONo='A''1'",
    "SELECT DISTINCT TOP 5 t.a, Sum(t.b) AS s FROM (t INNER JOIN u ON t.a = u.a) LEFT JOIN v ON "
    "u.b = v.b WHERE t.c LIKE '[a-c]%' GROUP BY t.a HAVING Count(*) > 1 ORDER BY 2 DESC",
    "select iif(a > 1, Left(c, 2), Mid(c, 2, 3)) & Format(d, 'yyyy-mm-dd'), Nz(b, 0) * 2 ^ 3 "
    "from t where d between #1/1/2026# and Now() and a in (1, 2, 3) and not exists (select * "
    "from u where u.a = t.a)",
    "update t set b = b \\ 2, c = UCase(Trim(c)) & 'x', d = DateAdd('m', 1, d) where a mod 2 = 0",
    "insert into t (a, b, c) select a + 1, CLng(b), CStr(d) from u where c is not null",
    "DELETE t.* FROM t WHERE DateDiff('d', d, Date()) > 30 OR DatePart('yyyy', d) < 2000",
    "select [t].[a], Val(c), InStr(1, c, 'x'), Len(c), Round(b, 2), Int(b), Fix(b), Abs(-b), "
    "CDbl(b), CInt(a), Year(d), Month(d), Day(d), DateValue(d), CDate(c), IsNull(c), Str(b) "
    "from t",
    "select a from t union all select b from u order by 1",
};

inline const char* const kTokens[] = {
    "select",
    "SELECT",
    "from",
    "where",
    "and",
    "or",
    "not",
    "in",
    "like",
    "between",
    "is",
    "null",
    "true",
    "false",
    "yes",
    "no",
    "insert",
    "into",
    "values",
    "update",
    "set",
    "delete",
    "distinct",
    "top",
    "5",
    "group",
    "by",
    "having",
    "order",
    "asc",
    "desc",
    "as",
    "inner",
    "left",
    "right",
    "outer",
    "join",
    "on",
    "exists",
    "union",
    "all",
    "mod",
    "xor",
    "percent",
    "t",
    "u",
    "v",
    "a",
    "b",
    "c",
    "d",
    "t.a",
    "u.b",
    "[t]",
    "[a b]",
    "[",
    "]",
    "*",
    "t.*",
    "(",
    ")",
    ",",
    ";",
    ".",
    "+",
    "-",
    "/",
    "\\",
    "^",
    "&",
    "=",
    "<>",
    "<",
    "<=",
    ">",
    ">=",
    "1",
    "0",
    "2.5",
    ".5",
    "1e3",
    "2147483648",
    "99999999999999999999",
    "'x'",
    "'it''s'",
    "\"dq\"",
    "''",
    "'%a_[b-c]'",
    "#1/2/2026#",
    "#2026-12-08 10:00:05#",
    "#13/45/2026#",
    "#",
    "'",
    "\"",
    "--",
    "/*",
    "!",
    "?",
    "`",
    "Left(",
    "Right(",
    "Mid(",
    "Len(",
    "InStr(",
    "Trim(",
    "UCase(",
    "IIf(",
    "Nz(",
    "IsNull(",
    "Val(",
    "Str(",
    "CStr(",
    "CLng(",
    "CInt(",
    "CDbl(",
    "CDate(",
    "Int(",
    "Fix(",
    "Abs(",
    "Round(",
    "Format(",
    "Date()",
    "Time()",
    "Now()",
    "Year(",
    "Month(",
    "Day(",
    "DateAdd(",
    "DateDiff(",
    "DatePart(",
    "DateValue(",
    "count(*)",
    "Sum(",
    "Avg(",
    "Min(",
    "Max(",
    "First(",
    "Last(",
    "Foo(",
    "'yyyy'",
    "'d'",
    "'m'",
    "DB_Years",
    "logs",
    "dates",
    "OnLineUsers",
    "minYear",
    "ä",
    "\xe2\x82\xb9",
};

// Characters that matter to the scanner, for single-character mutations.
inline const char16_t kChars[] = u"'\"[]#()-*/;,.&=<>^\\%_! \t\nabcxyz0159eE$\u00e4\u20b9";

// Expressions that parse, built at random to reach deep emitter paths.
inline std::string randomExpr(Random& r, int depth) {
    static const char* const atoms[] = {"a",          "b",    "c",    "d",   "t.a",
                                        "[t].[b]",    "1",    "2.5",  "'x'", "'A''b'",
                                        "#1/2/2026#", "Null", "True", "No",  "-1"};
    static const char* const binops[] = {" + ", " - ", " * ",  " / ", " \\ ", " mod ", " ^ ",
                                         " & ", " = ", " <> ", " < ", " >= ", " and ", " or "};
    static const char* const unary[] = {
        "Left($, 2)",  "Right($, 1)",       "Mid($, 2)", "Len($)",
        "UCase($)",    "Trim($)",           "Nz($, 0)",  "IsNull($)",
        "Val($)",      "CStr($)",           "Int($)",    "Abs($)",
        "Round($, 1)", "Format($, '0.00')", "Year($)",   "DateAdd('d', 1, $)",
        "-($)",        "not ($)",           "($)",       "Max($)",
        "Count($)"};
    if (depth <= 0 || r.chance(25)) return r.pick(atoms);
    switch (r.below(7)) {
        case 0:
        case 1:
        case 2:
            return randomExpr(r, depth - 1) + r.pick(binops) + randomExpr(r, depth - 1);
        case 3: {
            std::string u = r.pick(unary);
            const std::string inner = randomExpr(r, depth - 1);
            return u.replace(u.find('$'), 1, inner);
        }
        case 4:
            return "IIf(" + randomExpr(r, depth - 1) + ", " + randomExpr(r, depth - 1) + ", " +
                   randomExpr(r, depth - 1) + ")";
        case 5:
            return "(" + randomExpr(r, depth - 1) +
                   (r.chance(50) ? " like '[a-c]%')" : " in (1, 'x', #1/1/2026#))");
        default:
            return "(" + randomExpr(r, depth - 1) + " between " + randomExpr(r, 0) + " and " +
                   randomExpr(r, 0) + ")";
    }
}

// The i-th input of the run with this seed.
inline QString input(Random& r) {
    switch (r.below(10)) {
        case 0:
        case 1: {  // a token soup
            std::string s;
            const size_t n = 1 + r.below(30);
            for (size_t i = 0; i < n; ++i) {
                s += r.pick(kTokens);
                if (!r.chance(10)) s += ' ';
            }
            return QString::fromUtf8(s);
        }
        case 2:
        case 3: {  // a well-formed statement around random expressions
            static const char* const shapes[] = {
                "select $ from t",
                "select $, $ from t where $",
                "select * from t where $",
                "update t set b = $ where $",
                "delete * from t where $",
                "insert into t (a, b) values ($, $)",
                "select a from t group by a having $",
                "select a from t order by $",
                "select (select max(b) from u where $) from t",
                "select top 2 $ from t union select $ from u order by 1",
                "select x.a from (select a, $ as e from t) as x inner join u on x.a = u.a where $"};
            std::string s = r.pick(shapes);
            for (size_t p; (p = s.find('$')) != std::string::npos;)
                s.replace(p, 1, randomExpr(r, 5));
            return QString::fromUtf8(s);
        }
        default: {  // a mutated statement
            QString s = QString::fromUtf8(r.pick(kSeeds));
            const size_t edits = 1 + r.below(4);
            for (size_t k = 0; k < edits; ++k) {
                const qsizetype at = qsizetype(r.below(size_t(s.size()) + 1));
                switch (r.below(6)) {
                    case 0:
                        s.remove(at, qsizetype(1 + r.below(8)));
                        break;
                    case 1:
                        s.insert(at, QChar(kChars[r.below(std::size(kChars) - 1)]));
                        break;
                    case 2:
                        s.insert(at, QString::fromUtf8(r.pick(kTokens)) + u' ');
                        break;
                    case 3:
                        s.truncate(at);
                        break;
                    case 4: {
                        const qsizetype len = qsizetype(r.below(20));
                        s.insert(at, s.mid(qsizetype(r.below(size_t(s.size()) + 1)), len));
                        break;
                    }
                    default:
                        s.replace(at, 1, QChar(kChars[r.below(std::size(kChars) - 1)]));
                        break;
                }
            }
            return s;
        }
    }
}

struct Tally {
    long inputs = 0;
    long refused = 0;                 // rt::Error DbSyntax from the translator
    long prepared = 0;                // SQL that SQLite accepted
    long engineErrors = 0;            // SQL that SQLite refused for a reason other than its form
    long runErrors = 0;               // statements whose run ended with a (Jet function) error
    std::vector<std::string> faults;  // what must never happen
    std::map<std::string, long> engineMessages;  // SQLite's refusals and run errors, by text
};

// An engine message without its names and numbers, for counting.
inline std::string messageKind(std::string msg) {
    for (const char* cut : {": ", " - "}) {
        const size_t p = msg.find(cut);
        if (p != std::string::npos) msg.resize(p);
    }
    return msg;
}

// A database with the tables the seeds use, two rows each.
class Target {
  public:
    Target()
        : rs_(QLocale(QLocale::English, QLocale::UnitedStates)),
          clock_(rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30))) {
        if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open :memory:");
        db::registerJetCollation(db_);
        db::registerJetFunctions(db_, &rs_, &clock_);
        // Every statement gives up after a bounded amount of work.
        sqlite3_progress_handler(
            db_, 1000, [](void* n) { return ++*static_cast<int*>(n) > 200 ? 1 : 0; }, &progress_);
        const char* schema =
            "CREATE TABLE DB_Years (minYear LONG, maxYear LONG, curryear YESNO);"
            "CREATE TABLE logs (dates DATETIME);"
            "CREATE TABLE errlog (t TEXT(255) COLLATE JETTEXT, d DATETIME);"
            "CREATE TABLE OnLineUsers (DateT DATETIME, SysId LONG, UserId LONG, UserVal LONG, "
            "ScreenId LONG);"
            "CREATE TABLE User1 (UserId LONG, UserName TEXT(50) COLLATE JETTEXT);"
            "CREATE TABLE ImpSystems (SysId LONG, SysName TEXT(50) COLLATE JETTEXT);"
            "CREATE TABLE dcinv (dcinvid INTEGER PRIMARY KEY, dcno TEXT(20) COLLATE JETTEXT, "
            "  invno TEXT(20) COLLATE JETTEXT, invdatet DATETIME);"
            "CREATE TABLE dcoutgoinginv (dcid INTEGER PRIMARY KEY, dcno TEXT(20) COLLATE JETTEXT, "
            "  invno TEXT(20) COLLATE JETTEXT, invdatet DATETIME);"
            "CREATE TABLE SUBCONPO (suPPid LONG, PONo TEXT(50) COLLATE JETTEXT);"
            "CREATE TABLE t (a LONG, b DOUBLE, c TEXT(50) COLLATE JETTEXT, d DATETIME);"
            "CREATE TABLE u (a LONG, b DOUBLE, c TEXT(50) COLLATE JETTEXT, d DATETIME);"
            "CREATE TABLE v (a LONG, b DOUBLE, c TEXT(50) COLLATE JETTEXT, d DATETIME);"
            "INSERT INTO DB_Years VALUES (2021, 2022, -1), (2020, 2021, 0);"
            "INSERT INTO logs VALUES ('2026-12-07 00:00:00'), ('2026-12-09 00:00:00');"
            "INSERT INTO t VALUES (1, 2.5, 'abc', '2026-01-02 00:00:00'), (2, NULL, NULL, NULL);"
            "INSERT INTO u VALUES (1, -3, 'x''y', '2025-12-31 23:59:59'), (3, 0, '', '1900-01-01 "
            "00:00:00');"
            "INSERT INTO v VALUES (2, 1e300, 'Ä', '9999-12-31 00:00:00'), (NULL, 0.5, '57/A', "
            "'bad');";
        if (sqlite3_exec(db_, schema, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
    }
    ~Target() { sqlite3_close_v2(db_); }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    rt::VarType columnKind(const QString& table, const QString& column) const {
        static const std::map<std::string, rt::VarType> kinds = {
            {"a", rt::VarType::Int32},       {"b", rt::VarType::Double},
            {"c", rt::VarType::Text},        {"d", rt::VarType::Date},
            {"dates", rt::VarType::Date},    {"datet", rt::VarType::Date},
            {"invdatet", rt::VarType::Date}, {"dcno", rt::VarType::Text},
            {"invno", rt::VarType::Text},    {"curryear", rt::VarType::Boolean}};
        auto it = kinds.find(column.toLower().toStdString());
        (void)table;
        return it == kinds.end() ? rt::VarType::Empty : it->second;
    }

    // Runs one input through the translator and, when it is accepted, SQLite.
    void check(const QString& jet, Tally& tally) {
        ++tally.inputs;
        db::jet::Translation t;
        try {
            db::jet::TranslateOptions o;
            o.settings = &rs_;
            o.wantRowid = (tally.inputs & 1) != 0;
            o.columnKind = [this](const QString& a, const QString& b) { return columnKind(a, b); };
            t = db::jet::translate(jet, db::jet::sqliteDialect(), o);
        } catch (const rt::Error& e) {
            if (e.number() != rt::err::DbSyntax || e.description().isEmpty())
                tally.faults.push_back("wrong error " + std::string(e.what()) +
                                       " for: " + jet.toStdString());
            ++tally.refused;
            return;
        } catch (const std::exception& e) {
            tally.faults.push_back("exception " + std::string(e.what()) +
                                   " for: " + jet.toStdString());
            return;
        }
        sqlite3_exec(db_, "SAVEPOINT fuzz", nullptr, nullptr, nullptr);
        runSql(jet, t, tally);
        sqlite3_exec(db_, "ROLLBACK TO fuzz; RELEASE fuzz", nullptr, nullptr, nullptr);
    }

  private:
    static bool malformed(const std::string& msg) {
        for (const char* bad :
             {"syntax error", "unrecognized token", "incomplete input", "no such function",
              "wrong number of arguments", "no such collation", "unsupported"})
            if (msg.find(bad) != std::string::npos) return true;
        return false;
    }

    void runSql(const QString& jet, const db::jet::Translation& t, Tally& tally) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            const std::string msg = sqlite3_errmsg(db_);
            if (malformed(msg))
                tally.faults.push_back(msg + " in: " + t.sql + "  from: " + jet.toStdString());
            ++tally.engineErrors;
            ++tally.engineMessages[messageKind(msg)];
            sqlite3_finalize(st);
            return;
        }
        ++tally.prepared;
        if (sqlite3_bind_parameter_count(st) != int(t.params.size()))
            tally.faults.push_back("parameter count differs in: " + t.sql);
        for (size_t i = 0; i < t.params.size(); ++i) bind(st, int(i + 1), t.params[i]);
        progress_ = 0;
        int rc, rows = 0;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW && ++rows < 50) {
            for (int c = 0; c < sqlite3_column_count(st); ++c) sqlite3_column_text(st, c);
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            const std::string msg = sqlite3_errmsg(db_);
            if (malformed(msg))
                tally.faults.push_back(msg + " running: " + t.sql + "  from: " + jet.toStdString());
            ++tally.runErrors;
            ++tally.engineMessages[messageKind(msg)];
        }
        sqlite3_finalize(st);
    }

    static void bind(sqlite3_stmt* st, int i, const rt::Variant& v) {
        switch (v.type()) {
            case rt::VarType::Int32:
                sqlite3_bind_int(st, i, v.asInt32());
                break;
            case rt::VarType::Double:
                sqlite3_bind_double(st, i, v.asDouble());
                break;
            case rt::VarType::Boolean:
                sqlite3_bind_int(st, i, v.asBool() ? -1 : 0);
                break;
            case rt::VarType::Date: {
                const QByteArray b = db::jet::storedDateText(v.asDate()).toUtf8();
                sqlite3_bind_text(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
                break;
            }
            case rt::VarType::Text: {
                const QByteArray b = v.asText().toUtf8();
                sqlite3_bind_text(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
                break;
            }
            default:
                sqlite3_bind_null(st, i);
                break;
        }
    }

    rt::RegionalSettings rs_;
    rt::FixedClock clock_;
    sqlite3* db_ = nullptr;
    int progress_ = 0;
};

}  // namespace jetfuzz
