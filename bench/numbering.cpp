// Speed of the next challan number in the shared series (bookType 3) on a year
// database holding a million challans in each challan table, against the same
// lookups as hand-written prepared SQLite statements on the same file in the
// same run. The work must stay with the indexes: the last challan comes from
// the row-id key, the last invoice from the invdatet index, so a call costs the
// same on a large year as on a small one.
//
// The database is built once, into a temporary folder, before the benchmarks
// run (a minute or so for the full size). --challan_rows=N changes the size.
// The query plans of the statements the routines send are printed and checked
// first; a plan that scans a whole table for a last number makes the run end
// with a failure status after the figures.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchFlags.h"
#include "lib/clsProd.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/runtime/Error.h"
#include "tools/makedemo/DemoDatabase.h"

namespace {

int gChallanRows = 1'000'000;
const QDate kToday(2026, 12, 8);

// The statements get_new_dcno and get_new_Invoiceno send in mode 3, and
// whether a full scan is acceptable (only the emptiness tests read just the
// first rows).
struct Sent {
    const char* jet;
    bool scanAllowed;
};
const Sent kSent[] = {
    {"select * from DCINV", true},
    {"select * from DCOUTGOINGINV", true},
    {"select * from DCSUBCONOUTGOING", true},
    {"SELECT dcno from dcinv where dcinvid=(select max(dcinvid) from dcinv)", false},
    {"SELECT dcno from dcOUTGOINGinv where dcid=(select max(dcid) from dcoutgoinginv)", false},
    {"SELECT dcno from dcsubconOUTGOING where dcid=(select max(dcid) from dcsubconOUTGOING)",
     false},
    {"SELECT invno from dcinv where  invdatet=(select max(invdatet) from dcinv where invno is "
     "not null and InvNo<>'Nil')",
     false},
    {"SELECT invno from dcOUTGOINGinv where  invdatet=(select max(invdatet) from dcoutgoinginv "
     "where invno is not null and InvNo<>'Nil')",
     false},
};

struct World {
    QTemporaryDir dir;
    QString yearFile;
    std::unique_ptr<clsProd> lib;
    sqlite3* raw = nullptr;
    int32_t expectedChallan = 0;
    bool plansOk = true;
};

World* gWorld = nullptr;

void build(World& w) {
    if (!w.dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        std::exit(2);
    }
    demo::Options o;
    o.today = kToday;
    o.years = 1;
    o.challanRows = gChallanRows;
    const QString appFolder = QDir::cleanPath(w.dir.path());
    QElapsedTimer t;
    t.start();
    const QStringList made = demo::makeDemoDatabase(appFolder + QStringLiteral("/DataBase"), o);
    w.yearFile = made.last();
    std::fprintf(stderr, "Year database with %d challans per table made in %.1f s\n",
                 gChallanRows + 12, t.elapsed() / 1000.0);
    // The demo numbers challan i of every table i: the shared series goes on
    // after the last row.
    w.expectedChallan = gChallanRows + 12 + 1;

    clsProd::Environment env = clsProd::defaultEnvironment();
    env.messageBox = std::make_shared<ui::RecordingMessageBox>();
    env.appFolder = appFolder;
    env.appTitle = QStringLiteral("numbering");
    env.context = std::make_shared<ctx::AppContext>();
    env.context->setBookType(3);
    w.lib = std::make_unique<clsProd>(env);
    w.lib->Get_Connection();

    const QByteArray path = w.yearFile.toUtf8();
    if (sqlite3_open_v2(path.constData(), &w.raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", path.constData());
        std::exit(2);
    }
    db::registerJetCollation(w.raw);
}

// Prints the engine's plan of every statement the routines send, as the
// library's recordsets run it, and checks that no last-number lookup scans.
void checkPlans(World& w) {
    db::Engine& engine = w.lib->dbconnection->engine();
    for (const Sent& s : kSent) {
        auto t = engine.translate(QString::fromLatin1(s.jet), true);
        std::fprintf(stderr, "%s\n  -> %s\n", s.jet, t->sql.c_str());
        bool scans = false;
        try {
            db::StatementPtr st = engine.prepare("EXPLAIN QUERY PLAN " + t->sql);
            for (size_t i = 0; i < t->params.size(); ++i) st->bind(int(i + 1), t->params[i]);
            while (st->next()) {
                const QString detail = st->value(3, rt::VarType::Text).toText(engine.settings());
                std::fprintf(stderr, "     %s\n", qPrintable(detail));
                if (detail.startsWith(QLatin1String("SCAN "))) scans = true;
            }
        } catch (const rt::Error& e) {
            std::fprintf(stderr, "cannot explain %s: %s\n", s.jet, qPrintable(e.description()));
            w.plansOk = false;
            continue;
        }
        if (scans && !s.scanAllowed) {
            std::fprintf(stderr, "  ** full scan in a last-number lookup\n");
            w.plansOk = false;
        }
    }
}

// ---- The routines ----

void BM_get_new_dcno_mode3(benchmark::State& state) {
    World& w = *gWorld;
    for (auto _ : state) {
        const int32_t n = w.lib->get_new_dcno(QStringLiteral("DCINV"));
        if (n != w.expectedChallan) state.SkipWithError("wrong challan number");
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_get_new_dcno_mode3)->Unit(benchmark::kMicrosecond);

void BM_get_new_Invoiceno_mode3(benchmark::State& state) {
    World& w = *gWorld;
    for (auto _ : state) {
        const int32_t n = w.lib->get_new_Invoiceno(QStringLiteral("DCINV"));
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_get_new_Invoiceno_mode3)->Unit(benchmark::kMicrosecond);

// One emptiness test alone: the library's recordset reads its first batch.
void BM_chk_rec_exst(benchmark::State& state) {
    World& w = *gWorld;
    for (auto _ : state) {
        const bool any = w.lib->chk_rec_exst(QStringLiteral("select * from DCINV"));
        if (!any) state.SkipWithError("table reads as empty");
    }
}
BENCHMARK(BM_chk_rec_exst)->Unit(benchmark::kMicrosecond);

// ---- Baseline: the same lookups, hand-written and prepared once ----

class RawLookups {
  public:
    RawLookups(sqlite3* db, const std::vector<const char*>& sql) : db_(db) {
        for (const char* s : sql) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db, s, -1, &st, nullptr) != SQLITE_OK) {
                std::fprintf(stderr, "cannot prepare %s: %s\n", s, sqlite3_errmsg(db));
                std::exit(2);
            }
            stmts_.push_back(st);
        }
    }
    ~RawLookups() {
        for (sqlite3_stmt* st : stmts_) sqlite3_finalize(st);
    }
    bool exists(size_t i) {
        const bool row = sqlite3_step(stmts_[i]) == SQLITE_ROW;
        sqlite3_reset(stmts_[i]);
        return row;
    }
    // The leading number of column 0 of the first row, 0 for no row.
    long long last(size_t i) {
        long long v = 0;
        if (sqlite3_step(stmts_[i]) == SQLITE_ROW) {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmts_[i], 0));
            if (text) v = std::atoll(text);
        }
        sqlite3_reset(stmts_[i]);
        return v;
    }

  private:
    sqlite3* db_;
    std::vector<sqlite3_stmt*> stmts_;
};

void BM_baseline_raw_challan_lookups(benchmark::State& state) {
    World& w = *gWorld;
    RawLookups q(w.raw, {"SELECT * FROM DCINV", "SELECT * FROM DCOUTGOINGINV",
                         "SELECT * FROM DCSUBCONOUTGOING",
                         "SELECT dcno FROM DCINV WHERE dcinvid=(SELECT max(dcinvid) FROM DCINV)",
                         "SELECT dcno FROM DCOUTGOINGINV WHERE dcid=(SELECT max(dcid) FROM "
                         "DCOUTGOINGINV)",
                         "SELECT dcno FROM DCSUBCONOUTGOING WHERE dcid=(SELECT max(dcid) FROM "
                         "DCSUBCONOUTGOING)"});
    for (auto _ : state) {
        long long n = 0;
        for (size_t t = 0; t < 3; ++t)
            if (q.exists(t)) n = std::max(n, q.last(t + 3));
        if (n + 1 != w.expectedChallan) state.SkipWithError("wrong challan number");
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_baseline_raw_challan_lookups)->Unit(benchmark::kMicrosecond);

void BM_baseline_raw_invoice_lookups(benchmark::State& state) {
    World& w = *gWorld;
    RawLookups q(w.raw, {"SELECT * FROM DCINV", "SELECT * FROM DCOUTGOINGINV",
                         "SELECT invno FROM DCINV WHERE invdatet=(SELECT max(invdatet) FROM DCINV "
                         "WHERE invno IS NOT NULL AND invno<>'Nil')",
                         "SELECT invno FROM DCOUTGOINGINV WHERE invdatet=(SELECT max(invdatet) "
                         "FROM DCOUTGOINGINV WHERE invno IS NOT NULL AND invno<>'Nil')"});
    for (auto _ : state) {
        long long n = 0;
        for (size_t t = 0; t < 2; ++t)
            if (q.exists(t)) n = std::max(n, q.last(t + 2));
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_baseline_raw_invoice_lookups)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (auto rows = bench::intFlag(argc, argv, "challan_rows")) gChallanRows = *rows;
    World world;
    gWorld = &world;
    build(world);
    checkPlans(world);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    world.lib.reset();
    sqlite3_close(world.raw);
    if (!world.plansOk) {
        std::fprintf(stderr, "A last-number lookup does not use an index.\n");
        return 1;
    }
    return 0;
}
