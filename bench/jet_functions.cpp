// Jet's functions against SQLite's own built-ins in the same run, on a
// 100,000-row table:
//  - one statement mixing several of the newer Jet functions (Replace,
//    InStrRev, StrComp, Hex, Switch, Choose, IsNumeric) through the layer, vs
//    the nearest query SQLite's built-ins can write, prepared on sqlite3;
//  - a typed INSERT ... SELECT (every value converted to its column) vs the
//    raw copy.
// (The system's one-row lookup and its date repair delete against raw sqlite3
// are bench/db_layer.cpp's.)
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <string>

#include "bench/LogsDatabase.h"
#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/Schema.h"

namespace {

constexpr int kRows = 100'000;

struct Fixture : bench::LogsDatabase {
    Fixture()
        : LogsDatabase(kRows, QStringLiteral("copy"),
                       {QStringLiteral("Challan saved"), QStringLiteral("Invoice printed"),
                        QStringLiteral("Challan amended at the gate")}) {}
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// ---- several Jet functions over every row ----

void BM_Functions_Jet(benchmark::State& state) {
    Fixture& f = fixture();
    const QString sql = QStringLiteral(
        "SELECT Replace(Activity, 'Challan', 'DC'), InStrRev(Activity, 'a'), "
        "StrComp(Activity, 'challan saved'), Hex(UserId), "
        "Switch(UserId > 25, 'high', UserId > 10, 'middle', True, 'low'), "
        "Choose(UserId Mod 3 + 1, 'a', 'b', 'c'), IsNumeric(UserId) FROM logs");
    for (auto _ : state) {
        db::Recordset rs;
        rs.Open(sql, f.conn);
        int64_t n = 0;
        for (; !rs.Eof(); rs.MoveNext()) {
            benchmark::DoNotOptimize(rs.Fields(0).Value());
            ++n;
        }
        rs.Close();
        state.counters["rows"] = double(n);
    }
}
BENCHMARK(BM_Functions_Jet)->Unit(benchmark::kMillisecond);

void BM_Functions_SqliteBuiltins(benchmark::State& state) {
    Fixture& f = fixture();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(f.raw,
                       "SELECT replace(Activity, 'Challan', 'DC'), instr(Activity, 'a'), "
                       "Activity = 'challan saved' COLLATE NOCASE, printf('%X', UserId), "
                       "CASE WHEN UserId > 25 THEN 'high' WHEN UserId > 10 THEN 'middle' ELSE "
                       "'low' END, CASE UserId % 3 + 1 WHEN 1 THEN 'a' WHEN 2 THEN 'b' WHEN 3 "
                       "THEN 'c' END, typeof(UserId) IN ('integer', 'real') FROM logs",
                       -1, &st, nullptr);
    for (auto _ : state) {
        int64_t n = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            benchmark::DoNotOptimize(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
            ++n;
        }
        sqlite3_reset(st);
        state.counters["rows"] = double(n);
    }
    sqlite3_finalize(st);
}
BENCHMARK(BM_Functions_SqliteBuiltins)->Unit(benchmark::kMillisecond);

// ---- a typed copy of every row ----

void BM_TypedInsertSelect_Jet(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        f.conn->Execute(
            QStringLiteral("INSERT INTO copy (dates, UserId, Activity) SELECT "
                           "dates, UserId, Activity FROM logs"));
        state.PauseTiming();
        f.conn->engine().execNative("DELETE FROM copy");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TypedInsertSelect_Jet)->Unit(benchmark::kMillisecond);

void BM_TypedInsertSelect_Raw(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        sqlite3_exec(f.raw,
                     "INSERT INTO copy (dates, UserId, Activity) SELECT dates, UserId, Activity "
                     "FROM logs",
                     nullptr, nullptr, nullptr);
        state.PauseTiming();
        sqlite3_exec(f.raw, "DELETE FROM copy", nullptr, nullptr, nullptr);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TypedInsertSelect_Raw)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
