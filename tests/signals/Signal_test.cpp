// Signal emission and management, with slots that change the signal while it
// is being emitted. Several slots capture a single pointer, which
// std::function keeps inside itself: if the list moved or freed a running
// slot, reading that capture afterwards is caught by ASan.
#include "core/signals/Signal.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
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
// signal and disconnects the slots that have no receiver.
struct Probe {
    Context* c;
    explicit Probe(Context* context) : c(context) {}
    ~Probe() { c->log.push_back(c->signal.numConnections() * 10 + c->signal.disconnect(nullptr)); }
};

// What a case expects: the calls of each of two emissions (-1: it threw) and
// the connections left after them.
struct Outcome {
    const char* name;
    Log first, second;
    int left;
};

// Each case connects slots to a fresh signal, which is then emitted twice.
// The slot a case leaves behind must have been released by then.
TEST(SignalEmit, SlotsRunInOrderAndMayChangeTheSignal) {
    const std::pair<Outcome, std::function<void(Context*)>> cases[] = {
        {{"connect: from the next emission on, in order", {4}, {4, 2, 3, 4}, 4},
         [](Context* c) {
             c->signal.connect([c] {
                 for (int i = 2; c->emissions == 0 && i <= 4; ++i) {
                     c->signal.connect(record(c->log, i));  // the list would grow and move
                 }
                 c->log.push_back(c->signal.numConnections());
             });
         }},
        {{"disconnect: skipped at once", {2, 2}, {2}, 1},
         [](Context* c) {
             c->signal.connect(c->owner.get(), [c] {  // disconnects itself too
                 c->held->disconnect();
                 c->signal.disconnect(c->owner.get());
                 auto transient = std::make_unique<Owner>();  // connects, and goes before its slot runs
                 c->signal.connect(transient.get(), record(c->log, 99));
                 c->log.push_back(c->signal.numConnections());
             });
             c->signal.connect(record(c->log, 2));
             c->held = c->signal.connect([c, token = c->token] { c->log.push_back(3); });
             c->signal.connect(c->owner.get(), record(c->log, 4));
         }},
        {{"destroy the receiver of the running slot", {2}, {2}, 1},
         [](Context* c) {
             c->signal.connect(c->owner.get(), [c] {
                 c->owner.reset();
                 (void)c->owner.get();
             });
             c->signal.connect(record(c->log, 2));
         }},
        {{"emit again: dropped; block: from the next emission on", {1, 0, 2}, {}, 2},
         [](Context* c) {
             c->signal.connect([c] {
                 c->log.push_back(1);
                 c->signal.emitSignal();
                 c->log.push_back(c->signal.setBlocked(true));
             });
             c->signal.connect(record(c->log, 2));
         }},
        {{"assign: disconnects everything", {1}, {}, 0},
         [](Context* c) {
             c->signal.connect([c] {
                 c->signal = SignalImpl<0>();
                 c->log.push_back(1);
             });
             c->signal.connect([c, token = c->token] { c->log.push_back(2); });
         }},
        {{"throw: ends the emission, signal left clean", {-1}, {2, 3}, 4},
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
        {{"a removed slot's destructor uses the signal", {2, 11}, {}, 0},
         [](Context* c) {
             c->signal.connect([] {})->disconnect();
             c->signal.connect([probe = std::make_shared<Probe>(c)] {})->disconnect();
             c->signal.connect(record(c->log, 2));
         }},
    };
    for (const auto& [expected, setUp] : cases) {
        SCOPED_TRACE(expected.name);
        Context context;
        setUp(&context);
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
        EXPECT_EQ(calls[0], expected.first);
        EXPECT_EQ(calls[1], expected.second);
        EXPECT_EQ(context.signal.numConnections(), expected.left);
    }
}

// Disconnecting by receiver, without one, or all counts what was active and
// releases the slots at once; a single connection's slot goes at the next
// emission.
TEST(SignalDisconnect, CountsWhatWasActiveAndReleasesSlots) {
    SignalImpl<0> signal;
    Owner a, b;
    auto token = std::make_shared<int>(0);
    for (const SignalReceiver* receiver : {&a, static_cast<Owner*>(nullptr), &a, &b, static_cast<Owner*>(nullptr)}) {
        signal.connect(receiver, [token] {});
    }
    EXPECT_EQ(signal.connect(&a, nullptr), nullptr);
    EXPECT_EQ(signal.disconnect(&a), 2);
    EXPECT_EQ(signal.disconnect(&a), 0);
    EXPECT_EQ(token.use_count(), 4);
    EXPECT_EQ(signal.disconnect(nullptr), 2);
    EXPECT_TRUE(signal.isConnectedTo(&b));
    EXPECT_TRUE(signal.connect([token] {})->disconnect());
    EXPECT_EQ(token.use_count(), 3) << "kept until the next emission";
    signal.emitSignal();
    EXPECT_EQ(token.use_count(), 2);
    SignalImpl<0> other;
    EXPECT_FALSE(signal.disconnect(other.connect([] {}).get())) << "a connection of another signal";
    EXPECT_EQ(signal.disconnectAll(), 1);
    EXPECT_EQ(token.use_count(), 1);
}

// Assignment goes through a copy, which has no connections; the target keeps
// its blocked flag and the source its connections.
TEST(SignalCopy, AssignmentDisconnectsTheTarget) {
    SignalImpl<0> source, target;
    auto sourceConnection = source.connect([] {});
    source.setBlocked(true);
    auto targetConnection = target.connect([] {});
    target = source;
    EXPECT_FALSE(target.isBlocked() || targetConnection->isActive() || target.numConnections() > 0);
    EXPECT_TRUE(sourceConnection->isActive());
}

}  // namespace
