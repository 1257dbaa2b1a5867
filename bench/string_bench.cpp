// string_bench — String::split, trim and replaceAll against boost::algorithm
// on 1 MiB of CSV-like text, in the same run:
//   split:      the whole text at ","   vs boost::algorithm::split(is_any_of(","))
//   trim:       trimCopy of every field vs boost::algorithm::trim_copy
//               (fields padded with blanks on both sides)
//   replaceAll: replaceAllCopy ",", ";" vs boost::algorithm::replace_all_copy,
//               and a longer pattern that is replaced by a shorter text.
#include <OrvantisCore.h>

#include <benchmark/benchmark.h>
#include <boost/algorithm/string.hpp>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace Orvantis;

// About 1 MiB of lines "id, name ,  value,flag\n" with varied padding.
const std::string& csvText() {
    static const std::string text = [] {
        std::mt19937 random(7);
        const char* names[] = {"alpha", "beta", "gamma", "Tarnby", "Halvia", "delta-long-name", "x"};
        std::string out;
        while (out.size() < (1u << 20)) {
            out += std::to_string(random() % 1000000) + ", " + names[random() % 7] + std::string(random() % 3, ' ') +
                   "," + std::string(random() % 4, ' ') + std::to_string(random() % 10000) + "." +
                   std::to_string(random() % 100) + ",\t" + (random() % 2 ? "yes" : "no") + "  \n";
        }
        return out;
    }();
    return text;
}

const std::vector<std::string>& csvFields() {
    static const std::vector<std::string> fields = String::split(csvText(), ",");
    return fields;
}

void BM_Split_Orvantis(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(String::split(csvText(), ","));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(csvText().size()));
}

void BM_Split_Boost(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::string> parts;
        boost::algorithm::split(parts, csvText(), boost::algorithm::is_any_of(","));
        benchmark::DoNotOptimize(parts);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(csvText().size()));
}

void BM_Trim_Orvantis(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& field : csvFields()) {
            benchmark::DoNotOptimize(String::trimCopy(field));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(csvText().size()));
}

void BM_Trim_Boost(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& field : csvFields()) {
            benchmark::DoNotOptimize(boost::algorithm::trim_copy(field));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(csvText().size()));
}

void BM_ReplaceAll_Orvantis(benchmark::State& state) {
    const std::string from = state.range(0) == 0 ? "," : ",\tyes";
    const std::string to = state.range(0) == 0 ? ";" : ";Y";
    for (auto _ : state) {
        benchmark::DoNotOptimize(String::replaceAllCopy(csvText(), from, to));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(csvText().size()));
}

void BM_ReplaceAll_Boost(benchmark::State& state) {
    const std::string from = state.range(0) == 0 ? "," : ",\tyes";
    const std::string to = state.range(0) == 0 ? ";" : ";Y";
    for (auto _ : state) {
        benchmark::DoNotOptimize(boost::algorithm::replace_all_copy(csvText(), from, to));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(csvText().size()));
}

}  // namespace

BENCHMARK(BM_Split_Orvantis)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Split_Boost)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Trim_Orvantis)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Trim_Boost)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplaceAll_Orvantis)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplaceAll_Boost)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
