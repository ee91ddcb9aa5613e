// The database layer against raw sqlite3 in the same run:
//  - a one-row lookup by key through Recordset vs the same query prepared on sqlite3;
//  - deleting the future-dated rows of a 1,000,000-row logs table with the
//    system's statement vs the equivalent raw DELETE;
//  - opening and walking a 10,000- and a 1,000,000-row result: rows per second,
//    how long the shared file stays locked, and peak memory growth.
#include "bench/LogsDatabase.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/Engine.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>

namespace {

constexpr int kRows = 1'000'000;
constexpr int kFutureRows = 1'000;

struct Fixture : bench::LogsDatabase {
    Fixture() : LogsDatabase(kRows, QStringLiteral("future"), {QStringLiteral("Challan saved")}) {
        conn->engine().execNative(
            "INSERT INTO future (dates, UserId, Activity) SELECT dates, UserId, Activity FROM "
            "logs ORDER BY LogId DESC LIMIT " + std::to_string(kFutureRows));
    }

    // The moment after which the last kFutureRows rows lie.
    QDateTime cutoff() const {
        return firstLog().addSecs(qint64(kRows - kFutureRows - 1) * 60);
    }
    void restoreFuture() {
        conn->engine().execNative(
            "INSERT INTO logs (dates, UserId, Activity) SELECT dates, UserId, Activity FROM future");
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_Lookup_Recordset(benchmark::State& state) {
    Fixture& f = fixture();
    int key = 1;
    const QString base = QStringLiteral("select Activity, dates from logs where LogId=");
    QString queries[64];
    for (int i = 0; i < 64; ++i) queries[i] = base + QString::number(i * 9973 + 1);
    for (auto _ : state) {
        db::Recordset rs;
        rs.Open(queries[key++ & 63], f.conn, db::adOpenDynamic, db::adLockOptimistic);
        benchmark::DoNotOptimize(rs.Fields(0).Value());
        rs.Close();
    }
}
BENCHMARK(BM_Lookup_Recordset);

void BM_Lookup_RawSqlite(benchmark::State& state) {
    Fixture& f = fixture();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(f.raw, "SELECT Activity, dates FROM logs WHERE LogId=?1", -1, &st, nullptr);
    int key = 1;
    for (auto _ : state) {
        sqlite3_bind_int(st, 1, (key++ & 63) * 9973 + 1);
        if (sqlite3_step(st) == SQLITE_ROW) {
            benchmark::DoNotOptimize(QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
            benchmark::DoNotOptimize(QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(st, 1))));
        }
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}
BENCHMARK(BM_Lookup_RawSqlite);

void BM_DeleteFuture_Library(benchmark::State& state) {
    Fixture& f = fixture();
    const QString sql = QStringLiteral("Delete * from logs where dates>#") +
                        f.settings.generalDate(f.cutoff()) + QStringLiteral("#");
    for (auto _ : state) {
        state.PauseTiming();
        f.restoreFuture();
        state.ResumeTiming();
        db::Recordset rs;
        rs.Open(sql, f.conn, db::adOpenDynamic, db::adLockOptimistic);
    }
}
BENCHMARK(BM_DeleteFuture_Library)->Unit(benchmark::kMillisecond);

void BM_DeleteFuture_RawSqlite(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string cut = db::jet::storedDateText(f.cutoff()).toStdString();
    for (auto _ : state) {
        state.PauseTiming();
        f.restoreFuture();
        state.ResumeTiming();
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(f.raw, "DELETE FROM logs WHERE dates > ?1", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, cut.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_finalize(st);
    }
}
BENCHMARK(BM_DeleteFuture_RawSqlite)->Unit(benchmark::kMillisecond);

long peakRssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}
void resetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Opening and walking the first state.range(0) rows of logs through Recordset.
// The shared file is locked only while Open reads the rows into the
// workstation's own copy: "locked_ms" is that time. "peak_rss_growth_kB" is
// how far the process's peak memory rose while the result was open.
void BM_Walk_Recordset(benchmark::State& state) {
    Fixture& f = fixture();
    const QString query = QStringLiteral("select * from logs where LogId <= %1").arg(state.range(0));
    long growth = 0;
    double locked = 0;
    int64_t n = 0;
    for (auto _ : state) {
        resetPeakRss();
        const long before = peakRssKb();
        db::Recordset rs;
        const auto opening = std::chrono::steady_clock::now();
        rs.Open(query, f.conn);
        locked = std::max(locked, std::chrono::duration<double, std::milli>(
                                      std::chrono::steady_clock::now() - opening)
                                      .count());
        n = 0;
        while (!rs.Eof()) {
            benchmark::DoNotOptimize(rs.Fields(1).Value());
            ++n;
            rs.MoveNext();
        }
        growth = std::max(growth, peakRssKb() - before);
        rs.Close();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["rows"] = double(n);
    state.counters["locked_ms"] = locked;
    state.counters["peak_rss_growth_kB"] = double(growth);
}
BENCHMARK(BM_Walk_Recordset)
    ->Arg(10'000)
    ->Arg(kRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Baseline: the same rows stepped through with raw sqlite3, the date column
// made into a QString.
void BM_Walk_RawSqlite(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string query = "SELECT * FROM logs WHERE LogId <= " + std::to_string(state.range(0));
    int64_t n = 0;
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(f.raw, query.c_str(), -1, &st, nullptr);
        n = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            benchmark::DoNotOptimize(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))));
            ++n;
        }
        sqlite3_finalize(st);
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["rows"] = double(n);
}
BENCHMARK(BM_Walk_RawSqlite)
    ->Arg(10'000)
    ->Arg(kRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
