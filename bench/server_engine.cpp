// The server engine against raw libpq, and the occupancy cycle on the server
// against the shared file, in one run; the ratios are printed at the end.
//  - a one-row lookup by key through Recordset vs the same query prepared raw;
//  - the date repair (delete the future-dated rows of a large logs table) with
//    the system's statement through update_rec vs the equivalent raw DELETE;
//  - get_new_dcno in the shared series (bookType 3) vs the same statements
//    sent raw (each emptiness test reads its first row and stops);
//  - the occupancy cycle (register, check, unregister) run by 1 and by 8
//    workstation processes at once, on the server and on the shared file.
// The server is the one NARVO_PG names (scripts/pg-cluster starts one);
// without it the program says so and ends. --challan_rows=N sets the size of
// each challan table (default 200000); the logs table holds as many rows.
#include "bench/BenchFlags.h"
#include "lib/clsProd.h"
#include "platform/db/Connection.h"
#include "platform/db/pg/Session.h"
#include "platform/db/pg/Site.h"
#include "platform/runtime/Error.h"
#include "tools/jetmove/SiteMover.h"
#include "tools/makedemo/DemoDatabase.h"

#include <benchmark/benchmark.h>

#include <libpq-fe.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

int gRows = 200'000;
constexpr int kFutureRows = 1'000;
const QDate kToday(2026, 12, 8);

class SilentBox final : public ui::MessageBox {
public:
    void show(const QString&, const QString&, ui::Icon) override {}
};

struct World {
    QTemporaryDir serverApp, fileApp;
    db::pg::Keywords server;
    QString prefix = QStringLiteral("bench_%1").arg(QCoreApplication::applicationPid());
    std::shared_ptr<rt::FixedClock> clock =
        std::make_shared<rt::FixedClock>(rt::naiveDateTime(kToday, QTime(10, 30)));
    std::unique_ptr<clsProd> lib;
    PGconn* raw = nullptr;
    QString yearSchema;

    ~World() {
        lib.reset();
        if (raw) {
            PQexec(raw, ("DO $$ DECLARE s text; BEGIN FOR s IN SELECT nspname FROM pg_namespace "
                         "WHERE nspname LIKE '" + prefix.toStdString() + "\\_%' LOOP EXECUTE "
                         "format('DROP SCHEMA %I CASCADE', s); END LOOP; END $$").c_str());
            PQfinish(raw);
        }
    }
};
World* gWorld = nullptr;

void exec(PGconn* c, const std::string& sql) {
    PGresult* r = PQexec(c, sql.c_str());
    const auto st = PQresultStatus(r);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        std::fprintf(stderr, "%s\n%s\n", sql.c_str(), PQresultErrorMessage(r));
        std::exit(1);
    }
    PQclear(r);
}

clsProd::Environment environment(World& w, const QString& appFolder) {
    clsProd::Environment env = clsProd::defaultEnvironment();
    env.messageBox = std::make_shared<SilentBox>();
    env.clock = w.clock;
    env.programEnd = std::make_shared<rt::ThrowingProgramEnd>();
    env.appFolder = appFolder;
    env.context = std::make_shared<ctx::AppContext>();
    env.context->setWorkstationId(1);
    env.context->setUserId(2);
    env.context->setBookType(3);
    env.settings = std::make_shared<rt::RegionalSettings>(QLocale(QLocale::English, QLocale::UnitedKingdom));
    return env;
}

void build(World& w) {
    const QString folder = w.serverApp.filePath(QStringLiteral("DataBase"));
    demo::Options o;
    o.today = kToday;
    o.challanRows = gRows;
    std::fprintf(stderr, "Making a demo site with %d challans a table and moving it onto the server ...\n", gRows);
    demo::makeDemoDatabase(folder, o);
    jetmove::MoveOptions m;
    m.folder = folder;
    m.server = w.server;
    m.prefix = w.prefix;
    m.keepOriginals = false;
    m.ignoreToday = true;
    m.today = kToday;
    jetmove::moveSite(m);
    w.yearSchema = w.prefix + QStringLiteral("_") + demo::yearDatabaseName(demo::accountingYearStart(kToday)).toLower().chopped(4);

    // The raw side: its own connection in the year's schema.
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : w.server) {
        keys.push_back(k.c_str());
        values.push_back(v.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    w.raw = PQconnectdbParams(keys.data(), values.data(), 0);
    if (PQstatus(w.raw) != CONNECTION_OK) {
        std::fprintf(stderr, "%s", PQerrorMessage(w.raw));
        std::exit(1);
    }
    exec(w.raw, "SET client_min_messages = warning");
    exec(w.raw, "SET search_path = " + db::pg::quoteIdent(w.yearSchema) + ", jet");
    // A large logs table whose last kFutureRows rows lie after today, and a
    // copy of those rows to put back before each delete.
    exec(w.raw, "INSERT INTO logs (dates, userid, sysid, screenid, activity) SELECT timestamp "
                "'2026-12-08 23:59:00' - (g || ' minutes')::interval, g % 50, g % 3, 10 + g % 5, "
                "'Challan saved' FROM generate_series(1, " + std::to_string(gRows) + ") g");
    exec(w.raw, "CREATE TABLE bench_future AS SELECT dates + interval '2 days' AS dates, userid, "
                "sysid, screenid, activity FROM logs ORDER BY logid DESC LIMIT " +
                    std::to_string(kFutureRows));
    exec(w.raw, "DELETE FROM logs WHERE dates > '2026-12-08'");
    exec(w.raw, "ANALYZE");

    w.lib = std::make_unique<clsProd>(environment(w, w.serverApp.path()));
    w.lib->Get_Connection();
    // The shared-file site for the occupancy baseline.
    demo::Options f;
    f.today = kToday;
    demo::makeDemoDatabase(w.fileApp.filePath(QStringLiteral("DataBase")), f);
}

void restoreFuture(World& w) {
    exec(w.raw, "INSERT INTO logs (dates, userid, sysid, screenid, activity) SELECT * FROM bench_future");
}

// ---- one-row lookup ----

void BM_Lookup_Library(benchmark::State& state) {
    World& w = *gWorld;
    QString queries[64];
    for (int i = 0; i < 64; ++i)
        queries[i] = QStringLiteral("select dcno, dcdate from DCINV where dcinvid=") +
                     QString::number((i * 9973) % gRows + 1);
    int key = 0;
    for (auto _ : state) {
        db::Recordset rs;
        rs.Open(queries[key++ & 63], w.lib->dbconnection, db::adOpenDynamic, db::adLockOptimistic);
        benchmark::DoNotOptimize(rs.Fields(0).Value());
        benchmark::DoNotOptimize(rs.Fields(1).Value());
        rs.Close();
    }
}
BENCHMARK(BM_Lookup_Library)->Unit(benchmark::kMicrosecond);

void BM_Lookup_RawLibpq(benchmark::State& state) {
    World& w = *gWorld;
    PQclear(PQprepare(w.raw, "lookup", "SELECT dcno, dcdate FROM dcinv WHERE dcinvid = $1", 0, nullptr));
    int key = 0;
    for (auto _ : state) {
        const std::string k = std::to_string(((key++ & 63) * 9973) % gRows + 1);
        const char* v[] = {k.c_str()};
        PGresult* r = PQexecPrepared(w.raw, "lookup", 1, v, nullptr, nullptr, 0);
        if (PQntuples(r) == 1) {
            benchmark::DoNotOptimize(QString::fromUtf8(PQgetvalue(r, 0, 0)));
            benchmark::DoNotOptimize(QString::fromUtf8(PQgetvalue(r, 0, 1)));
        }
        PQclear(r);
    }
    PQclear(PQexec(w.raw, "DEALLOCATE lookup"));
}
BENCHMARK(BM_Lookup_RawLibpq)->Unit(benchmark::kMicrosecond);

// ---- the date repair ----

void BM_RepairDelete_Library(benchmark::State& state) {
    World& w = *gWorld;
    const QString sql = QStringLiteral("Delete * from logs where dates>#") +
                        rt::RegionalSettings(QLocale(QLocale::English, QLocale::UnitedKingdom)).shortDate(kToday) +
                        QStringLiteral("#");
    for (auto _ : state) {
        state.PauseTiming();
        restoreFuture(w);
        state.ResumeTiming();
        w.lib->update_rec(sql);
    }
}
BENCHMARK(BM_RepairDelete_Library)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_RepairDelete_RawLibpq(benchmark::State& state) {
    World& w = *gWorld;
    for (auto _ : state) {
        state.PauseTiming();
        restoreFuture(w);
        state.ResumeTiming();
        const char* v[] = {"2026-12-08 00:00:00"};
        PQclear(PQexecParams(w.raw, "DELETE FROM logs WHERE dates > $1::timestamp", 1, nullptr, v,
                             nullptr, nullptr, 0));
    }
}
BENCHMARK(BM_RepairDelete_RawLibpq)->Unit(benchmark::kMillisecond)->Iterations(100);

// ---- get_new_dcno ----

void BM_get_new_dcno_Library(benchmark::State& state) {
    World& w = *gWorld;
    for (auto _ : state) benchmark::DoNotOptimize(w.lib->get_new_dcno(QStringLiteral("DCINV")));
}
BENCHMARK(BM_get_new_dcno_Library)->Unit(benchmark::kMicrosecond);

// The first row of a query in single-row mode; a query still sending is cancelled.
bool firstRowRaw(PGconn* c, const char* name) {
    PQsendQueryPrepared(c, name, 0, nullptr, nullptr, nullptr, 0);
    PQsetSingleRowMode(c);
    PGresult* first = PQgetResult(c);
    const bool any = PQresultStatus(first) == PGRES_SINGLE_TUPLE;
    PQclear(first);
    PQconsumeInput(c);
    bool done = false;
    while (!PQisBusy(c)) {
        PGresult* r = PQgetResult(c);
        if (!r) {
            done = true;
            break;
        }
        PQclear(r);
    }
    if (!done) {
        PGcancel* cancel = PQgetCancel(c);
        char buf[256];
        PQcancel(cancel, buf, sizeof buf);
        PQfreeCancel(cancel);
        while (PGresult* r = PQgetResult(c)) PQclear(r);
    }
    return any;
}

void BM_get_new_dcno_RawLibpq(benchmark::State& state) {
    World& w = *gWorld;
    const char* tables[] = {"dcinv", "dcoutgoinginv", "dcsubconoutgoing"};
    const char* last[] = {
        "SELECT dcno FROM dcinv WHERE dcinvid = (SELECT max(dcinvid) FROM dcinv)",
        "SELECT dcno FROM dcoutgoinginv WHERE dcid = (SELECT max(dcid) FROM dcoutgoinginv)",
        "SELECT dcno FROM dcsubconoutgoing WHERE dcid = (SELECT max(dcid) FROM dcsubconoutgoing)"};
    for (int i = 0; i < 3; ++i) {
        PQclear(PQprepare(w.raw, ("empty" + std::to_string(i)).c_str(),
                          ("SELECT * FROM " + std::string(tables[i])).c_str(), 0, nullptr));
        PQclear(PQprepare(w.raw, ("last" + std::to_string(i)).c_str(), last[i], 0, nullptr));
    }
    for (auto _ : state) {
        double working = 0;
        for (int i = 0; i < 3; ++i) {
            if (!firstRowRaw(w.raw, ("empty" + std::to_string(i)).c_str())) continue;
            PGresult* r = PQexecPrepared(w.raw, ("last" + std::to_string(i)).c_str(), 0, nullptr,
                                         nullptr, nullptr, 0);
            if (PQntuples(r) > 0) working = std::max(working, std::atof(PQgetvalue(r, 0, 0)));
            PQclear(r);
        }
        benchmark::DoNotOptimize(working + 1);
    }
    for (int i = 0; i < 3; ++i) {
        PQclear(PQexec(w.raw, ("DEALLOCATE empty" + std::to_string(i)).c_str()));
        PQclear(PQexec(w.raw, ("DEALLOCATE last" + std::to_string(i)).c_str()));
    }
}
BENCHMARK(BM_get_new_dcno_RawLibpq)->Unit(benchmark::kMicrosecond);

// ---- the occupancy cycle, several workstation processes ----

constexpr int kRounds = 60;
const char* const kScreens = "21,22,23,24";

void occupancy(benchmark::State& state, bool onServer) {
    World& w = *gWorld;
    const int processes = int(state.range(0));
    const QString app = onServer ? w.serverApp.path() : w.fileApp.path();
    for (auto _ : state) {
        std::vector<std::unique_ptr<QProcess>> ps;
        for (int i = 0; i < processes; ++i) {
            auto p = std::make_unique<QProcess>();
            p->setProgram(QStringLiteral(NARVO_SCREENS_WORKER));
            p->setArguments({QStringLiteral("--folder"), app, QStringLiteral("--ws"), QString::number(100 + i),
                             QStringLiteral("--user"), QString::number(100 + i), QStringLiteral("--screens"),
                             QString::fromLatin1(kScreens), QStringLiteral("--rounds"),
                             QString::number(kRounds)});
            p->start();
            ps.push_back(std::move(p));
        }
        int failures = 0;
        for (auto& p : ps) {
            p->waitForFinished(600000);
            const QByteArray out = p->readAllStandardOutput();
            // Another workstation's warning (titled with msgTxt) is the check at
            // work; a failure is an escaped error or a box of a failure path.
            if (p->exitCode() != 0 || !out.contains("DONE\t") || out.contains("ERROR\t") ||
                out.contains("BOX\tC\tNARVO") || out.contains("BOX\tC\tscreens_worker"))
                ++failures;
        }
        if (failures) state.SkipWithError("a workstation process met a failure");
    }
    state.SetItemsProcessed(state.iterations() * processes * kRounds * 4);
    state.counters["cycles_per_s"] =
        benchmark::Counter(double(processes * kRounds * 4), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Occupancy_Server(benchmark::State& state) { occupancy(state, true); }
void BM_Occupancy_File(benchmark::State& state) { occupancy(state, false); }
BENCHMARK(BM_Occupancy_Server)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Occupancy_File)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps every run's real time per iteration, for the ratios at the end.
class Collecting : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        GetOutputStream().flush();
        for (const Run& r : runs)
            if (!r.error_occurred && r.iterations > 0) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;  // in each benchmark's unit
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (auto rows = bench::intFlag(argc, argv, "challan_rows")) gRows = std::max(1000, *rows);
    const QString conninfo = qEnvironmentVariable("NARVO_PG");
    if (conninfo.isEmpty()) {
        std::fprintf(stderr, "No database server given: set NARVO_PG (scripts/pg-cluster start DIR "
                             "prints the settings of a throwaway one).\n");
        return 0;
    }
    World world;
    world.server = db::pg::parseConninfo(conninfo);
    gWorld = &world;
    try {
        build(world);
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    Collecting reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto ratio = [&](const char* what, const std::string& a, const std::string& b) {
        if (reporter.times.count(a) && reporter.times.count(b))
            std::printf("%-52s %8.2f\n", what, reporter.times[a] / reporter.times[b]);
    };
    std::printf("\nRatios (time against time, same run):\n");
    ratio("one-row lookup, library / raw libpq", "BM_Lookup_Library", "BM_Lookup_RawLibpq");
    ratio("date repair delete, library / raw libpq", "BM_RepairDelete_Library/iterations:100",
          "BM_RepairDelete_RawLibpq/iterations:100");
    ratio("get_new_dcno, library / raw libpq", "BM_get_new_dcno_Library", "BM_get_new_dcno_RawLibpq");
    ratio("occupancy, 1 process, server / shared file", "BM_Occupancy_Server/1/iterations:3/real_time",
          "BM_Occupancy_File/1/iterations:3/real_time");
    ratio("occupancy, 8 processes, server / shared file", "BM_Occupancy_Server/8/iterations:3/real_time",
          "BM_Occupancy_File/8/iterations:3/real_time");
    ratio("occupancy on the server, 8 processes / 1", "BM_Occupancy_Server/8/iterations:3/real_time",
          "BM_Occupancy_Server/1/iterations:3/real_time");
    ratio("occupancy on the shared file, 8 processes / 1", "BM_Occupancy_File/8/iterations:3/real_time",
          "BM_Occupancy_File/1/iterations:3/real_time");
    return 0;
}
