// Signal emission and management, with slots that change the signal while it
// is being emitted. Several slots capture a single pointer, which
// std::function keeps inside itself: if the list moved or freed a running
// slot, reading that capture afterwards is caught by ASan.
#include "core/signals/Signal.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

namespace {

using Orvantis::SignalConnection;
using Orvantis::SignalImpl;
using Orvantis::SignalReceiver;
using Log = std::vector<int>;

struct Owner : SignalReceiver {};

std::function<void()> record(Log& log, int id) {
    return [&log, id] { log.push_back(id); };
}

// What one case's slots can reach while the signal is being emitted.
struct Context {
    SignalImpl<0> signal;
    Log log;
    int emissions = 0;
    std::unique_ptr<Owner> owner = std::make_unique<Owner>();
    std::shared_ptr<SignalConnection> held;
    std::shared_ptr<int> token = std::make_shared<int>(0);  // captured by a slot that goes
};

// Destroyed with the slot that captured it, it logs what it sees of the
// signal and disconnects the slots that have no receiver: the signal must be
// consistent while it cleans up, other removed slots already gone from it.
struct Probe {
    Context* c;
    explicit Probe(Context* context) : c(context) {}
    ~Probe() { c->log.push_back(c->signal.numConnections() * 10 + c->signal.disconnect(nullptr)); }
};

// A case's name, the calls of each of two emissions (-1: it threw) and the
// connections left after them.
using Outcome = std::tuple<const char*, std::vector<Log>, int>;

// Each case connects slots to a fresh signal, which is then emitted twice.
// The slot a case leaves behind must have been released by then.
TEST(SignalEmit, SlotsRunInOrderAndMayChangeTheSignal) {
    const std::pair<Outcome, std::function<void(Context*)>> cases[] = {
        {{"connect: from the next emission on, in order", {{4}, {4, 2, 3, 4}}, 4},
         [](Context* c) {
             c->signal.connect([c] {
                 for (int i = 2; c->emissions == 0 && i <= 4; ++i) {
                     c->signal.connect(record(c->log, i));  // the list would grow and move
                 }
                 c->log.push_back(c->signal.numConnections());
             });
         }},
        {{"disconnect, destroy receivers: skipped at once", {{2, 2, 11}, {}}, 0},
         [](Context* c) {
             c->signal.connect(c->owner.get(), [c] {
                 c->held->disconnect();
                 c->owner.reset();  // the receiver of this slot and slot 4
                 auto transient = std::make_unique<Owner>();  // connects, and goes before its slot runs
                 c->signal.connect(transient.get(), record(c->log, 99));
                 c->log.push_back(c->signal.numConnections());
             });
             c->signal.connect(record(c->log, 2));
             c->held = c->signal.connect([c, probe = std::make_shared<Probe>(c)] { c->log.push_back(3); });
             c->signal.connect(c->owner.get(), record(c->log, 4));
         }},
        {{"emit again: dropped; block, assign: from the next emission on", {{1, 0}, {}}, 1},
         [](Context* c) {
             c->signal.connect([c] {
                 c->log.push_back(1);
                 c->signal.emitSignal();
                 c->log.push_back(c->signal.setBlocked(true));
                 c->signal = SignalImpl<0>();  // disconnects everything, and slot 2 is not called
                 c->signal.connect(record(c->log, 5));
             });
             c->signal.connect([c, token = c->token] { c->log.push_back(2); });
         }},
        {{"throw: ends the emission, signal left clean", {{-1}, {2, 3}}, 4},
         [](Context* c) {
             c->signal.connect([c] {
                 c->held->disconnect();
                 c->signal.connect(record(c->log, 3));
                 if (c->emissions == 0) {
                     throw std::runtime_error("slot failed");
                 }
             });
             c->held = c->signal.connect([token = c->token] {});
             c->signal.connect(record(c->log, 2));
         }},
    };
    for (const auto& [outcome, setUp] : cases) {
        const auto& [name, expected, left] = outcome;
        SCOPED_TRACE(name);
        Context context;
        setUp(&context);
        std::vector<Log> calls;
        for (; context.emissions < 2; ++context.emissions) {
            try {
                context.signal.emitSignal();
            } catch (const std::runtime_error&) {
                context.log.push_back(-1);
            }
            EXPECT_EQ(context.token.use_count(), 1);
            calls.push_back(std::exchange(context.log, {}));
        }
        EXPECT_EQ(calls, expected);
        EXPECT_EQ(context.signal.numConnections(), left);
    }
}

// Bulk disconnects count what was active: by receiver, without one, or all.
// Assignment goes through a copy, which has no connections; the target keeps
// its own blocked flag.
TEST(SignalDisconnect, CountsWhatWasActive) {
    SignalImpl<0> signal, other;
    Owner a, b;
    for (const SignalReceiver* receiver : {&a, static_cast<Owner*>(nullptr), &a, &b, static_cast<Owner*>(nullptr)}) {
        signal.connect(receiver, [] {});
    }
    EXPECT_EQ(signal.connect(&a, nullptr), nullptr);
    EXPECT_EQ(signal.disconnect(&a), 2);
    EXPECT_EQ(signal.disconnect(nullptr), 2);
    EXPECT_TRUE(signal.isConnectedTo(&b));
    EXPECT_FALSE(signal.disconnect(other.connect([] {}).get())) << "a connection of another signal";
    other.setBlocked(true);
    signal = other;
    EXPECT_FALSE(signal.isBlocked() || signal.isConnectedTo(&b));
    EXPECT_EQ(other.disconnectAll(), 1);
}

}  // namespace
