// Filling a combo box from a query of 100,000 rows with load_combo, against a
// baseline in the same run: the same rows read with raw sqlite3 and added to a
// QComboBox directly. Two more measurements split load_combo's time between
// reading the rows through our Recordset and adding them through our adapter.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "lib/clsProd.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/qt/QtListControls.h"

namespace {

constexpr int kRows = 100000;
const QString kQuery = QStringLiteral("select id, name from Items");

// A database file with kRows rows (id, name), opened once for all runs.
struct Data {
    QTemporaryDir dir;
    QString path;
    std::shared_ptr<ui::RecordingMessageBox> boxes = std::make_shared<ui::RecordingMessageBox>();
    std::unique_ptr<clsProd> lib;

    Data() {
        path = dir.filePath(QStringLiteral("Bench.mdb"));
        db::createDatabaseFile(path, QString());
        auto conn = db::Connection::create();
        conn->setConnectionString(db::jetConnectionString(path, QString()));
        conn->Open();
        db::TableDef items;
        items.name = QStringLiteral("Items");
        items.columns.resize(2);
        items.columns[0].name = QStringLiteral("id");
        items.columns[0].type = db::JetType::Long;
        items.columns[1].name = QStringLiteral("name");
        items.columns[1].size = 50;
        db::createTable(*conn, items);
        conn->Close();
        // Bulk load in one transaction, straight into the file.
        sqlite3* raw = nullptr;
        sqlite3_open(path.toUtf8().constData(), &raw);
        sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(raw, "INSERT INTO Items VALUES (?1, ?2)", -1, &st, nullptr);
        for (int i = 1; i <= kRows; ++i) {
            const QByteArray name =
                QStringLiteral("Item %1 (M%2)").arg(i, 6, 10, QChar(u'0')).arg(i % 97).toUtf8();
            sqlite3_bind_int(st, 1, i);
            sqlite3_bind_text(st, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(raw);

        clsProd::Environment env = clsProd::defaultEnvironment();
        env.messageBox = boxes;
        lib = std::make_unique<clsProd>(env);
        lib->dbconnection = db::Connection::create(env.settings.get(), env.clock.get());
        lib->dbconnection->setConnectionString(conn->ConnectionString());
        lib->dbconnection->Open();
    }
};

Data& data() {
    static Data d;
    return d;
}

void checkFilled(benchmark::State& state, const QComboBox& w) {
    if (w.count() != kRows) state.SkipWithError("the combo box did not get every row");
    if (!data().boxes->shown.empty())
        state.SkipWithError(qPrintable(data().boxes->shown.front().text));
}

// load_combo into a real QComboBox.
void BM_LoadCombo(benchmark::State& state) {
    Data& d = data();
    QComboBox w;
    ui::QtComboBox combo(&w);
    for (auto _ : state) d.lib->load_combo(combo, kQuery);
    checkFilled(state, w);
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_LoadCombo)->Unit(benchmark::kMillisecond);

// Baseline: raw sqlite3 rows added to a QComboBox with their id as item data.
void BM_Baseline_RawSqliteIntoQComboBox(benchmark::State& state) {
    Data& d = data();
    sqlite3* raw = nullptr;
    sqlite3_open_v2(d.path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    QComboBox w;
    for (auto _ : state) {
        w.clear();
        w.repaint();
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(raw, "SELECT id, name FROM Items", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            const int id = sqlite3_column_int(st, 0);
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
            w.addItem(QString::fromUtf8(text, sqlite3_column_bytes(st, 1)), QVariant(id));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(raw);
    checkFilled(state, w);
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Baseline_RawSqliteIntoQComboBox)->Unit(benchmark::kMillisecond);

// The reading share of load_combo's time: the rows read through Recordset as
// load_combo reads them (text and 32-bit item data), with no control.
void BM_Share_RecordsetRead(benchmark::State& state) {
    Data& d = data();
    const rt::RegionalSettings& settings = d.lib->settings();
    for (auto _ : state) {
        db::Recordset rs;
        rs.Open(kQuery, d.lib->dbconnection, db::adOpenDynamic, db::adLockOptimistic);
        int64_t sum = 0;
        while (!rs.Eof()) {
            QString text = rs.Fields(1).Value().toText(settings);
            sum += rs.Fields(0).Value().toInt32(settings) + text.size();
            rs.MoveNext();
        }
        rs.Close();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Share_RecordsetRead)->Unit(benchmark::kMillisecond);

// The baseline's reading alone: raw sqlite3, texts made into QStrings.
void BM_Share_RawSqliteRead(benchmark::State& state) {
    Data& d = data();
    sqlite3* raw = nullptr;
    sqlite3_open_v2(d.path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(raw, "SELECT id, name FROM Items", -1, &st, nullptr);
        int64_t sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
            QString s = QString::fromUtf8(text, sqlite3_column_bytes(st, 1));
            sum += sqlite3_column_int(st, 0) + s.size();
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close(raw);
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Share_RawSqliteRead)->Unit(benchmark::kMillisecond);

// The filling share: prepared texts and ids added through the adapter
// (AddItem, then setItemData at NewIndex), with no database.
void BM_Share_AdapterFill(benchmark::State& state) {
    std::vector<QString> texts;
    texts.reserve(kRows);
    for (int i = 1; i <= kRows; ++i) texts.push_back(QStringLiteral("Item %1").arg(i));
    QComboBox w;
    ui::QtComboBox combo(&w);
    for (auto _ : state) {
        combo.Clear();
        combo.Refresh();
        for (int i = 0; i < kRows; ++i) {
            combo.AddItem(texts[size_t(i)]);
            combo.setItemData(combo.NewIndex(), i + 1);
        }
    }
    checkFilled(state, w);
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Share_AdapterFill)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
