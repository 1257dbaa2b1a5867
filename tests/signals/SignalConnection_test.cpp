// Connections and receivers: who disconnects whom, and that nobody follows a
// pointer to a signal or receiver that is gone (run under ASan).
#include "core/signals/Signal.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

using Orvantis::SignalConnection;
using Orvantis::SignalImpl;
using Orvantis::SignalReceiver;

struct Owner : SignalReceiver {
    using SignalReceiver::disconnectAll;
};

TEST(SignalConnection, DisconnectsOnceThenReportsInactive) {
    SignalImpl<0> signal;
    Owner owner;
    int calls = 0;
    for (const SignalReceiver* receiver : {static_cast<const SignalReceiver*>(nullptr),
                                           static_cast<const SignalReceiver*>(&owner)}) {
        auto connection = signal.connect(receiver, [&calls] { ++calls; });
        ASSERT_TRUE(connection->isActive());
        EXPECT_TRUE(connection->disconnect());
        EXPECT_FALSE(connection->isActive());
        EXPECT_FALSE(connection->disconnect());
        EXPECT_FALSE(signal.isConnectedTo(receiver));
    }
    signal.emitSignal();
    EXPECT_EQ(calls, 0);
}

TEST(SignalReceiver, DestructionOrDisconnectAllDeactivatesEveryConnectionOfIt) {
    SignalImpl<0> first;
    SignalImpl<0, std::string> second;
    Owner survivor;
    int calls = 0;
    auto kept = first.connect(&survivor, [&calls] { ++calls; });
    for (bool destroy : {true, false}) {
        std::optional<Owner> owner(std::in_place);
        std::shared_ptr<SignalConnection> held[] = {
            first.connect(&*owner, [&calls] { calls += 100; }), first.connect(&*owner, [&calls] { calls += 100; }),
            second.connect(&*owner, [&calls](std::string) { calls += 100; })};
        destroy ? owner.reset() : owner->disconnectAll();
        for (auto& connection : held) {
            EXPECT_FALSE(connection->isActive());
            EXPECT_FALSE(connection->disconnect());
        }
        EXPECT_EQ(first.numConnections(), 1);
        EXPECT_EQ(second.numConnections(), 0);
    }
    first.emitSignal();
    second.emitSignal("x");
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(kept->isActive());
}

TEST(SignalReceiver, CopiesStartEmptyAndAssignmentDisconnectsTheTarget) {
    SignalImpl<0> signal;
    Owner source;
    auto sourceConnection = signal.connect(&source, [] {});
    std::optional<Owner> copy(source);
    EXPECT_FALSE(signal.isConnectedTo(&*copy));
    copy.reset();  // must not cut the source's connection
    EXPECT_TRUE(sourceConnection->isActive());

    Owner target;
    auto targetConnection = signal.connect(&target, [] {});
    target = source;
    EXPECT_FALSE(targetConnection->isActive());
    EXPECT_FALSE(signal.isConnectedTo(&target));
    auto again = signal.connect(&target, [] {});
    target = target;  // self-assignment also leaves the target without connections
    EXPECT_FALSE(again->isActive());
    EXPECT_TRUE(sourceConnection->isActive());
    EXPECT_EQ(signal.numConnections(), 1);
}

TEST(SignalConnection, OutlivesItsSignalAndReceiverInEitherOrder) {
    for (bool signalDiesFirst : {true, false}) {
        std::optional<SignalImpl<0>> signal(std::in_place);
        std::optional<Owner> owner(std::in_place);
        auto connection = signal->connect(&*owner, [] {});
        signalDiesFirst ? signal.reset() : owner.reset();
        signal.reset();
        owner.reset();  // must not reach back into a destroyed signal
        EXPECT_FALSE(connection->isActive());
        EXPECT_FALSE(connection->disconnect());
    }
}

}  // namespace
