// The signal header on its own, as an installed header: a receiver that is
// destroyed disconnects its slot.
#include <core/signals/Signal.h>

#include <string>

bool signalsWork() {
    Orvantis::SignalImpl<0, std::string> message;
    std::string seen;
    {
        Orvantis::SignalReceiver receiver;
        message.connect(&receiver, [&seen](std::string text) { seen += text; });
        message.emitSignal("a");
    }
    message.emitSignal("b");
    return seen == "a" && message.numConnections() == 0;
}
