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

struct Owner : SignalReceiver {};

std::function<void()> record(std::vector<int>& log, int id) {
    return [&log, id] { log.push_back(id); };
}

struct Context {
    SignalImpl<0> signal;
    std::vector<int> log;
    int seen = 0;
};

TEST(SignalEmit, CallsActiveSlotsInConnectionOrderWhenNotBlocked) {
    SignalImpl<0> signal;
    std::vector<int> log;
    signal.emitSignal();  // nothing connected: nothing happens
    signal.connect(record(log, 1));
    auto second = signal.connect(record(log, 2));
    signal.connect(record(log, 3));
    signal.connect(record(log, 1));  // no duplicate check: called twice
    signal.connect([&signal] { signal.emitSignal(); });  // dropped, not nested
    signal.emitSignal();
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 1}));

    log.clear();
    EXPECT_FALSE(signal.setBlocked(true));
    second->disconnect();  // disconnecting works while blocked
    signal.emitSignal();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(signal.setBlocked(false));
    signal.emitSignal();
    EXPECT_EQ(log, (std::vector<int>{1, 3, 1}));
}

TEST(SignalEmit, EachSlotGetsItsOwnCopyOfTheArguments) {
    SignalImpl<0, std::string> text;
    SignalImpl<0, int, const std::string&> other;  // instantiated from the header
    std::vector<std::string> seen;
    for (int i = 0; i < 2; ++i) {
        text.connect([&seen](std::string s) { seen.push_back(s); s += "-changed"; });
    }
    other.connect([&seen](int n, const std::string& s) { seen.push_back(std::to_string(n) + s); });
    text.emitSignal("abc");
    other.emitSignal(7, "x");
    EXPECT_EQ(seen, (std::vector<std::string>{"abc", "abc", "7x"}));
}

TEST(SignalEmit, SlotsConnectedDuringEmissionRunFromTheNextOne) {
    Context ctx;
    Context* c = &ctx;
    ctx.signal.connect([c] {
        if (c->seen == 0) {
            for (int i = 1; i <= 1000; ++i) {
                c->signal.connect(record(c->log, i));
            }
            c->seen = c->signal.numConnections();
        }
        c->log.push_back(0);
    });
    ctx.signal.emitSignal();
    EXPECT_EQ(ctx.seen, 1001);
    EXPECT_EQ(ctx.log, std::vector<int>{0});
    ctx.log.clear();
    ctx.signal.emitSignal();
    std::vector<int> expected(1001);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(ctx.log, expected);
}

TEST(SignalEmit, SlotsDisconnectedDuringEmissionAreSkipped) {
    SignalImpl<0> signal;
    std::vector<int> log;
    Owner later;
    int countInside = -1;
    std::shared_ptr<SignalConnection> third;
    signal.connect([&] {
        third->disconnect();
        signal.disconnect(&later);
        countInside = signal.numConnections();
    });
    signal.connect(record(log, 2));
    third = signal.connect(record(log, 3));
    signal.connect(&later, record(log, 4));
    signal.emitSignal();
    EXPECT_EQ(log, std::vector<int>{2});
    EXPECT_EQ(countInside, 2);
}

TEST(SignalEmit, ReceiversMayComeAndGoDuringAnEmission) {
    SignalImpl<0> signal;
    std::vector<int> log;
    auto owner = std::make_unique<Owner>();
    std::unique_ptr<Owner>* ownerSlot = &owner;
    // A slot that destroys its own receiver, and reads its capture after.
    signal.connect(owner.get(), [ownerSlot] { ownerSlot->reset(); (void)ownerSlot->get(); });
    signal.connect(owner.get(), record(log, 1));
    // A receiver connected and destroyed within one emission never runs.
    signal.connect([&signal, &log] {
        auto transient = std::make_unique<Owner>();
        signal.connect(transient.get(), record(log, 99));
    });
    signal.connect(record(log, 2));
    signal.emitSignal();
    signal.emitSignal();
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(log, (std::vector<int>{2, 2}));
    EXPECT_EQ(signal.numConnections(), 2);
}

TEST(SignalEmit, AssigningTheEmittingSignalDisconnectsEverything) {
    Context ctx;
    Context* c = &ctx;
    ctx.signal.connect([c] { c->signal = SignalImpl<0>(); c->log.push_back(1); });
    ctx.signal.connect(record(ctx.log, 2));
    ctx.signal.emitSignal();
    EXPECT_EQ(ctx.signal.numConnections(), 0);
    ctx.signal.connect(record(ctx.log, 3));
    ctx.signal.emitSignal();
    EXPECT_EQ(ctx.log, (std::vector<int>{1, 3}));
}

TEST(SignalEmit, ThrowingSlotEndsTheEmissionAndLeavesTheSignalClean) {
    SignalImpl<0> signal;
    std::vector<int> log;
    auto token = std::make_shared<int>(0);
    std::shared_ptr<SignalConnection> doomed;
    bool throwing = true;
    signal.connect([&] {
        doomed->disconnect();
        signal.connect(record(log, 3));
        if (throwing) {
            throw std::runtime_error("slot failed");
        }
    });
    doomed = signal.connect([token] {});
    signal.connect(record(log, 2));
    EXPECT_THROW(signal.emitSignal(), std::runtime_error);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(token.use_count(), 1);  // cleaned before the exception left
    throwing = false;
    doomed = signal.connect([] {});
    signal.emitSignal();
    EXPECT_EQ(log, (std::vector<int>{2, 3}));
}

TEST(SignalDisconnect, CountsWhatWasActiveAndSelectsByReceiver) {
    SignalImpl<0> signal;
    Owner a;
    Owner b;
    std::vector<int> log;
    const SignalReceiver* const receivers[] = {&a, nullptr, &a, &b, nullptr};
    for (const SignalReceiver* receiver : receivers) {
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
    EXPECT_EQ(log, std::vector<int>{4});

    SignalImpl<0> other;
    auto foreign = other.connect([] {});
    EXPECT_FALSE(signal.disconnect(foreign.get()));
    EXPECT_TRUE(foreign->isActive());
    EXPECT_EQ(signal.disconnectAll(), 1);
    EXPECT_EQ(signal.disconnectAll(), 0);
}

// A captured shared_ptr shows when the signal lets go of a slot.
TEST(SignalDisconnect, ReleasesSlotsAtTheNextCleaning) {
    enum How { ByConnection, ByReceiver, All, AllDuringEmission };
    for (How how : {ByConnection, ByReceiver, All, AllDuringEmission}) {
        SCOPED_TRACE(how);
        SignalImpl<0> signal;
        Owner owner;
        auto token = std::make_shared<int>(0);
        auto connection = signal.connect(&owner, [token] {});
        long countDuringEmission = 0;
        switch (how) {
            case ByConnection: connection->disconnect(); break;
            case ByReceiver: signal.disconnect(&owner); break;
            case All: signal.disconnectAll(); break;
            case AllDuringEmission:
                signal.connect([&] { signal.disconnectAll(); countDuringEmission = token.use_count(); });
                signal.emitSignal();
                EXPECT_EQ(countDuringEmission, 2);
                break;
        }
        EXPECT_EQ(signal.numConnections(), 0);
        EXPECT_EQ(token.use_count(), how == ByConnection ? 2 : 1);
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
    SignalImpl<0> source;
    Owner owner;
    auto sourceConnection = source.connect(&owner, [] {});
    source.setBlocked(true);
    SignalImpl<0> copy(source);
    EXPECT_EQ(copy.numConnections(), 0);
    EXPECT_FALSE(copy.isBlocked());

    SignalImpl<0> target;
    target.setBlocked(true);
    auto targetConnection = target.connect(&owner, [] {});
    target = source;
    EXPECT_EQ(target.numConnections(), 0);
    EXPECT_TRUE(target.isBlocked());
    EXPECT_FALSE(targetConnection->isActive());
    EXPECT_FALSE(target.isConnectedTo(&owner));
    EXPECT_TRUE(sourceConnection->isActive());
}

}  // namespace
