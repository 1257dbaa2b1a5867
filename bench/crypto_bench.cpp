// crypto_bench — the container and its parts against their plain peers, in
// one run so that the ratios compare like with like on a noisy machine:
//   applyXOR (64 MiB and 256 KiB, in place)  vs memcpy of the same size;
//   hashDJB2 (1 MiB)                          vs the textbook byte loop;
//   encrypt  (64 MiB of mixed data)           vs zlib's compress2 at level 6;
//   decrypt  (the container of that data)     vs zlib's uncompress.
// The zlib peers allocate their output each time, as the library must.
#include <OrvantisCore.h>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

using namespace Orvantis;

std::string randomText(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// 64 MiB in 64 KiB pieces: CSV-like text, log-like lines, random bytes and
// long runs, in a fixed order; zlib at level 6 makes a bit over a third of it.
const std::string& mixedData() {
    static const std::string data = [] {
        std::mt19937 random(42);
        std::string out;
        out.reserve(64u << 20);
        const std::string words[] = {"alpha", "beta", "gamma", "delta", "1024", "-3.25", "Tarnby", "ok", "error"};
        while (out.size() < (64u << 20)) {
            std::string piece;
            switch (out.size() / 65536 % 4) {
                case 0:
                    while (piece.size() < 65536) {
                        piece += words[random() % 9] + "," + std::to_string(random() % 100000) + "," +
                                 words[random() % 9] + "\n";
                    }
                    break;
                case 1:
                    while (piece.size() < 65536) {
                        piece += "2031-04-0" + std::to_string(random() % 9) + " 12:" + std::to_string(random() % 60) +
                                 " INFO [Worker] task " + std::to_string(random()) + " done\n";
                    }
                    break;
                case 2: piece = randomText(65536, static_cast<unsigned>(random())); break;
                default: piece.assign(65536, static_cast<char>(random()));
            }
            out += piece.substr(0, 65536);
        }
        out.resize(64u << 20);
        return out;
    }();
    return data;
}

void BM_Memcpy(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    std::string from = randomText(size, 1), to(size, '\0');
    for (auto _ : state) {
        std::memcpy(&to[0], from.data(), size);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

void BM_ApplyXOR(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    std::string data = randomText(size, 1);
    for (auto _ : state) {
        Cryptography::applyXOR(ByteBufferView(data), nullptr);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

unsigned long long hashTextbook(const std::string& bytes) {
    unsigned long long h = 5381;
    for (const char c : bytes) {
        h = h * 33 + static_cast<unsigned long long>(static_cast<signed char>(c));
    }
    return h;
}

void BM_HashTextbook(benchmark::State& state) {
    const std::string data = randomText(1u << 20, 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(hashTextbook(data));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void BM_HashDJB2(benchmark::State& state) {
    std::string data = randomText(1u << 20, 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Cryptography::hashDJB2(ByteBufferView(data)));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void BM_Compress2(benchmark::State& state) {
    const std::string& data = mixedData();
    for (auto _ : state) {
        uLongf length = compressBound(static_cast<uLong>(data.size()));
        std::unique_ptr<Bytef[]> out(new Bytef[length]);
        compress2(out.get(), &length, reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION);
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void BM_Encrypt(benchmark::State& state) {
    std::string data = mixedData();
    for (auto _ : state) {
        const ByteBuffer container = Cryptography::encrypt(ByteBufferView(data), nullptr);
        benchmark::DoNotOptimize(container.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void BM_Uncompress(benchmark::State& state) {
    const std::string& data = mixedData();
    uLongf streamLength = compressBound(static_cast<uLong>(data.size()));
    std::string stream(streamLength, '\0');
    compress2(reinterpret_cast<Bytef*>(&stream[0]), &streamLength, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION);
    state.counters["compressed_MiB"] = double(streamLength) / (1 << 20);
    for (auto _ : state) {
        uLongf length = static_cast<uLongf>(data.size());
        std::unique_ptr<Bytef[]> out(new Bytef[length]);
        if (uncompress(out.get(), &length, reinterpret_cast<const Bytef*>(stream.data()), streamLength) != Z_OK) {
            state.SkipWithError("uncompress failed");
        }
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void BM_Decrypt(benchmark::State& state) {
    std::string data = mixedData();
    const ByteBuffer container = Cryptography::encrypt(ByteBufferView(data), nullptr);
    for (auto _ : state) {
        const ByteBuffer result = Cryptography::decrypt(container, nullptr);
        if (result.size() != data.size()) {
            state.SkipWithError("decrypt failed");
        }
        benchmark::DoNotOptimize(result.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(64 << 20)->Arg(256 << 10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ApplyXOR)->Arg(64 << 20)->Arg(256 << 10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HashTextbook)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HashDJB2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Compress2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Uncompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decrypt)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
