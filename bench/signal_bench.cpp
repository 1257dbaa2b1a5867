// Signal emission and connection management, against Boost.Signals2 and
// against a plain loop over std::vector<std::function<void()>> (the limit:
// the same indirect calls with no bookkeeping at all).
//
// Every slot is the same small callable (one captured pointer, incremented),
// so the three differ only in what surrounds the call. "per_slot" is the time
// of one emission divided by its number of slots.
#include <OrvantisCore.h>

#include <benchmark/benchmark.h>
#include <boost/signals2.hpp>

#include <functional>
#include <memory>
#include <vector>

namespace {

using Orvantis::SignalConnection;
using Orvantis::SignalImpl;

// Boost.Signals2 without its mutex, to show what its locking costs.
using Signals2NoLock =
    boost::signals2::signal_type<void(), boost::signals2::keywords::mutex_type<boost::signals2::dummy_mutex>>::type;

auto makeSlot(long* counter) {
    return [counter] { ++*counter; };
}

void countPerSlot(benchmark::State& state) {
    state.counters["per_slot"] =
        benchmark::Counter(static_cast<double>(state.range(0)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Emit_PlainLoop(benchmark::State& state) {
    long counter = 0;
    std::vector<std::function<void()>> slots;
    for (int64_t i = 0; i < state.range(0); ++i) {
        slots.emplace_back(makeSlot(&counter));
    }
    for (auto _ : state) {
        for (const auto& slot : slots) {
            slot();
        }
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(counter);
    countPerSlot(state);
}

void emit(SignalImpl<0>& signal) {
    signal.emitSignal();
}

template <class Signal>
void emit(Signal& signal) {
    signal();
}

template <class Signal>
void BM_Emit(benchmark::State& state) {
    long counter = 0;
    Signal signal;
    for (int64_t i = 0; i < state.range(0); ++i) {
        signal.connect(makeSlot(&counter));
    }
    for (auto _ : state) {
        emit(signal);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(counter);
    countPerSlot(state);
}

// Connect N slots, then disconnect each through its connection, then let the
// signal drop the disconnected entries.
void BM_ConnectDisconnect_PlainLoop(benchmark::State& state) {
    long counter = 0;
    std::vector<std::function<void()>> slots;
    for (auto _ : state) {
        for (int64_t i = 0; i < state.range(0); ++i) {
            slots.emplace_back(makeSlot(&counter));
        }
        slots.clear();
    }
    countPerSlot(state);
}

void BM_ConnectDisconnect_Orvantis(benchmark::State& state) {
    long counter = 0;
    SignalImpl<0> signal;
    std::vector<std::shared_ptr<SignalConnection>> connections;
    connections.reserve(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        for (int64_t i = 0; i < state.range(0); ++i) {
            connections.push_back(signal.connect(makeSlot(&counter)));
        }
        for (const auto& connection : connections) {
            connection->disconnect();
        }
        signal.disconnectAll();  // removes the disconnected entries
        connections.clear();
    }
    countPerSlot(state);
}

template <class Signal>
void BM_ConnectDisconnect_Signals2(benchmark::State& state) {
    long counter = 0;
    Signal signal;
    std::vector<boost::signals2::connection> connections;
    connections.reserve(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        for (int64_t i = 0; i < state.range(0); ++i) {
            connections.push_back(signal.connect(makeSlot(&counter)));
        }
        for (auto& connection : connections) {
            connection.disconnect();
        }
        signal.disconnect_all_slots();
        connections.clear();
    }
    countPerSlot(state);
}

BENCHMARK(BM_Emit_PlainLoop)->Arg(1)->Arg(8)->Arg(64);
BENCHMARK_TEMPLATE(BM_Emit, SignalImpl<0>)->Arg(1)->Arg(8)->Arg(64);
BENCHMARK_TEMPLATE(BM_Emit, boost::signals2::signal<void()>)->Arg(1)->Arg(8)->Arg(64);
BENCHMARK_TEMPLATE(BM_Emit, Signals2NoLock)->Arg(1)->Arg(8)->Arg(64);
BENCHMARK(BM_ConnectDisconnect_PlainLoop)->Arg(64);
BENCHMARK(BM_ConnectDisconnect_Orvantis)->Arg(64);
BENCHMARK_TEMPLATE(BM_ConnectDisconnect_Signals2, boost::signals2::signal<void()>)->Arg(64);
BENCHMARK_TEMPLATE(BM_ConnectDisconnect_Signals2, Signals2NoLock)->Arg(64);

}  // namespace

BENCHMARK_MAIN();
