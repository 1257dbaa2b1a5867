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

// A connection, with or without a receiver, is disconnected once; every way
// its receiver lets go deactivates all its connections, on every signal.
TEST(SignalConnection, DisconnectsOnceByHandOrByItsReceiver) {
    SignalImpl<0> first;
    SignalImpl<0, std::string> second;
    Owner survivor;
    int calls = 0;
    auto kept = first.connect(&survivor, [&calls] { ++calls; });
    for (const std::string how : {"by hand", "by hand, no receiver", "receiver destroyed", "disconnectAll"}) {
        SCOPED_TRACE(how);
        std::optional<Owner> owner(std::in_place);
        const SignalReceiver* receiver = how == "by hand, no receiver" ? nullptr : &*owner;
        std::shared_ptr<SignalConnection> held[] = {first.connect(receiver, [&calls] { calls += 100; }),
                                                    second.connect(receiver, [&calls](std::string) { calls += 100; })};
        if (how == "receiver destroyed") {
            owner.reset();
        } else if (how == "disconnectAll") {
            owner->disconnectAll();
        } else {
            EXPECT_TRUE(held[0]->disconnect() && held[1]->disconnect());
        }
        for (auto& connection : held) {
            EXPECT_FALSE(connection->isActive());
            EXPECT_FALSE(connection->disconnect());
        }
        EXPECT_FALSE(first.isConnectedTo(receiver));
        EXPECT_EQ(first.numConnections() * 10 + second.numConnections(), 10);
    }
    first.emitSignal();
    second.emitSignal("x");
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(kept->isActive());
}

TEST(SignalReceiver, CopiesStartEmptyAndAssignmentDisconnectsTheTarget) {
    SignalImpl<0> signal;
    Owner source, target;
    auto sourceConnection = signal.connect(&source, [] {});
    std::optional<Owner> copy(source);
    EXPECT_FALSE(signal.isConnectedTo(&*copy));
    copy.reset();  // must not cut the source's connection
    auto targetConnection = signal.connect(&target, [] {});
    target = source;
    EXPECT_FALSE(targetConnection->isActive());
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
