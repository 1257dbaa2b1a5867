// The signal header on its own, as an installed header: a receiver that is
// destroyed disconnects its slot.
#include <core/signals/Signal.h>

#include <memory>
#include <string>

bool signalsWork() {
    Orvantis::SignalImpl<0, std::string> message;
    std::string seen;
    auto receiver = std::make_unique<Orvantis::SignalReceiver>();
    message.connect(receiver.get(), [&seen](std::string text) { seen += text; });
    message.emitSignal("a");
    receiver.reset();
    message.emitSignal("b");
    return seen == "a" && message.numConnections() == 0;
}
