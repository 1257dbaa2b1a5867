// The signal header on its own, as an installed header.
#include <core/signals/Signal.h>

#include <string>

bool signalsWork() {
    Orvantis::SignalImpl<0, std::string> message;
    std::string seen;
    message.connect([&seen](std::string text) { seen += text; });
    message.emitSignal("a");
    return seen == "a" && message.numConnections() == 1;
}
