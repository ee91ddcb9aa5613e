// Speed of amounts in words, against writing the same amounts as plain digits
// (QString::number) in the same run. The amounts spread over every size from a
// single digit to the largest 32-bit amount, so every group count is exercised.
#include <benchmark/benchmark.h>

#include <QString>
#include <cstdint>
#include <random>
#include <vector>

#include "lib/clsProd.h"

namespace {

// 4096 amounts: for each number of digits 1..10 an equal share, drawn with a
// fixed seed so every run measures the same work.
const std::vector<int32_t>& amounts() {
    static const std::vector<int32_t> a = [] {
        std::vector<int32_t> out;
        std::mt19937 gen(42);
        int64_t low = 0, high = 9;
        for (int digits = 1; digits <= 10; ++digits) {
            std::uniform_int_distribution<int64_t> pick(low, std::min<int64_t>(high, INT32_MAX));
            for (int i = 0; i < 410; ++i) out.push_back(static_cast<int32_t>(pick(gen)));
            low = high + 1;
            high = high * 10 + 9;
        }
        out.resize(4096, INT32_MAX);
        return out;
    }();
    return a;
}

clsProd& library() {
    static clsProd lib;
    return lib;
}

void BM_MoneyToWords(benchmark::State& state) {
    clsProd& lib = library();
    const auto& values = amounts();
    size_t i = 0;
    for (auto _ : state) {
        QString words = lib.MoneyToWords(values[i]);
        benchmark::DoNotOptimize(words);
        i = (i + 1) & (values.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MoneyToWords);

// Baseline: the same amounts as decimal digits.
void BM_Baseline_QStringNumber(benchmark::State& state) {
    const auto& values = amounts();
    size_t i = 0;
    for (auto _ : state) {
        QString digits = QString::number(values[i]);
        benchmark::DoNotOptimize(digits);
        i = (i + 1) & (values.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Baseline_QStringNumber);

}  // namespace

BENCHMARK_MAIN();
