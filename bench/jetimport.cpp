// The Jet importer against the usual shell route, in the same run, on the
// shared sample ledger-100k.mdb (100,000 rows: dates, currency, Yes/No, memo):
//  - jetimport's library: every type kept, every value exact, indexes, the
//    password verifier, the copy synced to disk and its row counts checked;
//  - baseline: mdb-export piped into the sqlite3 shell's .import (CSV: every
//    column text-typed, dates as two-digit-year text, currency rounded through
//    text, Yes/No as 1/0 - kinds and exactness are lost).
// Both report rows per second of wall-clock time (the baseline runs in child
// processes).
#include "tools/jetimport/JetImporter.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

const QString kSample = QStringLiteral(NARVO_JET_SAMPLES "/ledger-100k.mdb");
constexpr int64_t kRows = 100000;

int64_t countRows(const QString& path) {
    sqlite3* db = nullptr;
    int64_t n = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM Ledger", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return n;
}

void BM_JetImporter(benchmark::State& state) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("ledger.mdb"));
    jetimport::ImportOptions options;
    for (auto _ : state) {
        const jetimport::FileResult r = jetimport::importFile(kSample, target, options);
        state.PauseTiming();
        if (!r.ok || r.rows != kRows) state.SkipWithError("the import failed");
        QFile::remove(target);
        state.ResumeTiming();
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_JetImporter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_MdbExportIntoSqliteShell(benchmark::State& state) {
    if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty()) {
        state.SkipWithError("mdb-export or sqlite3 is not installed");
        return;
    }
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("ledger.db"));
    const QString script = QStringLiteral(
        "mdb-export \"$1\" Ledger | sqlite3 -batch \"$2\" '.import --csv /dev/stdin Ledger'");
    for (auto _ : state) {
        QProcess sh;
        sh.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), script, QStringLiteral("sh"), kSample, target});
        sh.waitForFinished(-1);
        state.PauseTiming();
        if (sh.exitCode() != 0 || countRows(target) != kRows)
            state.SkipWithError("the shell import failed");
        QFile::remove(target);
        state.ResumeTiming();
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MdbExportIntoSqliteShell)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
