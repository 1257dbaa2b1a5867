// Connections and receivers: who disconnects whom, and that nobody follows a
// pointer to a signal or receiver that is gone (run under ASan).
#include "core/signals/Signal.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace {

using Orvantis::SignalConnection;
using Orvantis::SignalImpl;

struct Owner : Orvantis::SignalReceiver {};

using Held = std::shared_ptr<SignalConnection>[2];

// Each row connects a slot to two signals, with or without a receiver, and
// acts on the connections or the receiver: a connection ends once, on every
// signal, and another receiver's connection stays.
TEST(SignalConnection, EndsOnceByHandOrByItsReceiver) {
    SignalImpl<0> first;
    SignalImpl<0, std::string> second;
    Owner survivor;
    first.connect(&survivor, [] {});
    const auto byHand = [](auto&, Held& held) { EXPECT_TRUE(held[0]->disconnect() && held[1]->disconnect()); };
    const std::tuple<const char*, bool, std::function<void(std::optional<Owner>&, Held&)>, bool> cases[] = {
        {"by hand", true, byHand, true},
        {"receiver destroyed", true, [](auto& owner, Held&) { owner.reset(); }, true},
        {"receiver assigned to", true, [](auto& owner, Held&) { *owner = Owner(); }, true},
        {"a copy of the receiver destroyed", true, [](auto& owner, Held&) { Owner copy(*owner); }, false},
    };
    for (const auto& [name, withReceiver, act, ends] : cases) {
        SCOPED_TRACE(name);
        std::optional<Owner> owner(std::in_place);
        const Owner* receiver = withReceiver ? &*owner : nullptr;
        Held held = {first.connect(receiver, [] {}), second.connect(receiver, [](std::string) {})};
        act(owner, held);
        EXPECT_EQ(first.numConnections() + second.numConnections(), ends ? 1 : 3);
        for (auto& connection : held) {
            EXPECT_EQ(connection->isActive(), !ends);
            EXPECT_EQ(connection->disconnect(), !ends);
        }
    }
}

// The receiver goes after the signal and must not reach back into it.
TEST(SignalConnection, OutlivesItsSignalAndReceiver) {
    std::optional<SignalImpl<0>> signal(std::in_place);
    std::optional<Owner> owner(std::in_place);
    auto connection = signal->connect(&*owner, [] {});
    signal.reset();
    owner.reset();
    EXPECT_FALSE(connection->isActive() || connection->disconnect());
}

}  // namespace
