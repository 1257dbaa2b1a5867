// Signal emission and management, with slots that change the signal while it
// is being emitted. Several slots capture a single pointer, which
// std::function keeps inside itself: if the list moved or freed a running
// slot, reading that capture afterwards is caught by ASan.
#include "core/signals/Signal.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Orvantis::SignalConnection;
using Orvantis::SignalImpl;
using Orvantis::SignalReceiver;
using Log = std::vector<int>;

struct Owner : SignalReceiver {};

std::function<void()> record(Log& log, int id) {
    return [&log, id] { log.push_back(id); };
}

TEST(SignalEmit, CallsActiveSlotsInConnectionOrderWhenNotBlocked) {
    SignalImpl<0> signal;
    Log log;
    signal.emitSignal();  // nothing connected: nothing happens
    signal.connect(record(log, 1));
    auto second = signal.connect(record(log, 2));
    signal.connect(record(log, 3));
    signal.connect(record(log, 1));  // no duplicate check: called twice
    signal.emitSignal();
    EXPECT_EQ(log, (Log{1, 2, 3, 1}));
    EXPECT_FALSE(signal.setBlocked(true));
    second->disconnect();  // disconnecting works while blocked
    signal.emitSignal();
    EXPECT_TRUE(signal.setBlocked(false));
    signal.emitSignal();
    EXPECT_EQ(log, (Log{1, 2, 3, 1, 1, 3, 1}));
}

TEST(SignalEmit, EachSlotGetsItsOwnCopyOfTheArguments) {
    SignalImpl<0, std::string> text;
    SignalImpl<0, int, const std::string&> other;  // instantiated from the header
    std::vector<std::string> seen;
    for (int i = 0; i < 2; ++i) {
        text.connect([&seen](std::string s) {
            seen.push_back(s);
            s += "-changed";
        });
    }
    other.connect([&seen](int n, const std::string& s) { seen.push_back(std::to_string(n) + s); });
    text.emitSignal("abc");
    other.emitSignal(7, "x");
    EXPECT_EQ(seen, (std::vector<std::string>{"abc", "abc", "7x"}));
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

// Each case connects slots to a fresh signal, which is then emitted twice: the
// calls of each emission (-1: the emission threw) and the connections left.
// The slot a case leaves behind must have been released by then.
TEST(SignalEmit, SlotsMayChangeTheSignalDuringEmission) {
    Log upTo1000(1000);
    std::iota(upTo1000.begin(), upTo1000.end(), 1);
    const struct {
        const char* name;
        std::function<void(Context*)> setUp;
        Log first, second;
        int left;
    } cases[] = {
        {"connect: from the next emission on",
         [](Context* c) {
             c->signal.connect([c] {
                 for (int i = 1; c->emissions == 0 && i <= 1000; ++i) {
                     c->signal.connect(record(c->log, i));  // the list grows and moves
                 }
                 c->log.push_back(c->emissions == 0 ? c->signal.numConnections() : 0);
             });
         },
         {1001},
         [&] {
             Log l = upTo1000;
             l.insert(l.begin(), 0);
             return l;
         }(),
         1001},
        {"disconnect: skipped at once",
         [](Context* c) {
             c->signal.connect([c] {
                 c->held->disconnect();
                 c->signal.disconnect(c->owner.get());
                 c->log.push_back(c->signal.numConnections());
             });
             c->signal.connect(record(c->log, 2));
             c->held = c->signal.connect([c, token = c->token] { c->log.push_back(3); });
             c->signal.connect(c->owner.get(), record(c->log, 4));
         },
         {2, 2},
         {2, 2},
         2},
        {"receivers come and go",
         [](Context* c) {
             // A slot that destroys its own receiver, and reads its capture after.
             c->signal.connect(c->owner.get(), [c] {
                 c->owner.reset();
                 (void)c->owner.get();
             });
             c->signal.connect(c->owner.get(), [c, token = c->token] { c->log.push_back(1); });
             // A receiver connected and destroyed within one emission never runs.
             c->signal.connect([c] {
                 auto transient = std::make_unique<Owner>();
                 c->signal.connect(transient.get(), record(c->log, 99));
             });
             c->signal.connect(record(c->log, 2));
         },
         {2},
         {2},
         2},
        {"emit again: dropped",
         [](Context* c) {
             c->signal.connect([c] {
                 c->log.push_back(1);
                 c->signal.emitSignal();
             });
             c->signal.connect(record(c->log, 2));
         },
         {1, 2},
         {1, 2},
         2},
        {"assign: disconnects everything",
         [](Context* c) {
             c->signal.connect([c] {
                 c->signal = SignalImpl<0>();
                 c->log.push_back(1);
             });
             c->signal.connect([c, token = c->token] { c->log.push_back(2); });
         },
         {1},
         {},
         0},
        {"throw: ends the emission, signal left clean",
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
         },
         {-1},
         {2, 3},
         4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Context context;
        c.setUp(&context);
        Log calls[2];
        for (Log& log : calls) {
            try {
                context.signal.emitSignal();
            } catch (const std::runtime_error&) {
                context.log.push_back(-1);
            }
            EXPECT_EQ(context.token.use_count(), 1);
            log.swap(context.log);
            ++context.emissions;
        }
        EXPECT_EQ(calls[0], c.first);
        EXPECT_EQ(calls[1], c.second);
        EXPECT_EQ(context.signal.numConnections(), c.left);
    }
}

TEST(SignalDisconnect, CountsWhatWasActiveAndSelectsByReceiver) {
    SignalImpl<0> signal;
    Owner a, b;
    Log log;
    for (const SignalReceiver* receiver : {&a, static_cast<Owner*>(nullptr), &a, &b, static_cast<Owner*>(nullptr)}) {
        signal.connect(receiver, record(log, receiver == &b ? 4 : 0));
    }
    EXPECT_EQ(signal.connect(std::function<void()>()), nullptr);
    EXPECT_EQ(signal.connect(&a, nullptr), nullptr);
    EXPECT_EQ(signal.numConnections(), 5);
    EXPECT_EQ(signal.disconnect(&a), 2);
    EXPECT_EQ(signal.disconnect(&a), 0);
    EXPECT_EQ(signal.disconnect(nullptr), 2);
    EXPECT_TRUE(signal.isConnectedTo(&b));
    signal.emitSignal();
    EXPECT_EQ(log, Log{4});
    SignalImpl<0> other;
    auto foreign = other.connect([] {});
    EXPECT_FALSE(signal.disconnect(foreign.get()));
    EXPECT_TRUE(foreign->isActive());
    EXPECT_EQ(signal.disconnectAll(), 1);
    EXPECT_EQ(signal.disconnectAll(), 0);
}

// A captured shared_ptr shows when the signal lets go of a slot: at once, or
// at the next cleaning while someone else still holds the connection.
TEST(SignalDisconnect, ReleasesSlotsAtTheNextCleaning) {
    const std::function<void(SignalImpl<0>&, Owner&, SignalConnection&)> ways[] = {
        [](auto&, auto&, auto& connection) { connection.disconnect(); },
        [](auto& signal, auto& owner, auto&) { signal.disconnect(&owner); },
        [](auto& signal, auto&, auto&) { signal.disconnectAll(); },
    };
    for (size_t how = 0; how < std::size(ways); ++how) {
        SCOPED_TRACE(how);
        SignalImpl<0> signal;
        Owner owner;
        auto token = std::make_shared<int>(0);
        auto connection = signal.connect(&owner, [token] {});
        ways[how](signal, owner, *connection);
        EXPECT_EQ(signal.numConnections(), 0);
        EXPECT_EQ(token.use_count(), how == 0 ? 2 : 1);
        signal.emitSignal();
        EXPECT_EQ(token.use_count(), 1);
    }
}

// Destroying a removed slot may run code that uses the signal; the list must
// be consistent by then (other removed entries already gone from it).
TEST(SignalDisconnect, SlotDestructorsMayUseTheSignal) {
    struct Probe {
        SignalImpl<0>* signal;
        int* seen;
        ~Probe() { *seen = signal->numConnections() * 10 + signal->disconnect(nullptr); }
    };
    SignalImpl<0> signal;
    int seen = -1;
    signal.connect([] {})->disconnect();
    auto probe = std::make_shared<Probe>(Probe{&signal, &seen});
    signal.connect([probe] {})->disconnect();
    probe.reset();
    signal.connect([] {});
    signal.emitSignal();
    EXPECT_EQ(seen, 11);
    EXPECT_EQ(signal.numConnections(), 0);
}

TEST(SignalCopy, CopiesStartEmptyAndAssignmentKeepsTheTargetsBlockedFlag) {
    SignalImpl<0> source, target;
    Owner owner;
    auto sourceConnection = source.connect(&owner, [] {});
    source.setBlocked(true);
    SignalImpl<0> copy(source);
    EXPECT_EQ(copy.numConnections(), 0);
    EXPECT_FALSE(copy.isBlocked());
    auto targetConnection = target.connect(&owner, [] {});
    target = source;
    EXPECT_FALSE(target.isBlocked());
    EXPECT_FALSE(targetConnection->isActive());
    EXPECT_FALSE(target.isConnectedTo(&owner));
    EXPECT_TRUE(sourceConnection->isActive());
}

}  // namespace
