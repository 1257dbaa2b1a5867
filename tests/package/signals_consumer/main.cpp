// A host program built against an installed OrvantisCore that uses signals
// only through the installed headers: the exported instantiations, one of
// its own argument lists, and receivers created and destroyed while the
// signal is being emitted.
#include <core/signals/Signal.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace Orvantis;

struct Listener : SignalReceiver {
    std::vector<std::string>* log;
    std::string name;
    Listener(std::vector<std::string>* out, std::string n) : log(out), name(std::move(n)) {}
};

bool check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "signals consumer: %s\n", what);
    }
    return ok;
}

}  // namespace

int main() {
    std::vector<std::string> log;
    SignalImpl<0, std::string> message;
    std::vector<std::unique_ptr<Listener>> listeners;

    // Each emission creates a listener and destroys the oldest one.
    message.connect([&](std::string text) {
        listeners.push_back(std::make_unique<Listener>(&log, "L" + text));
        Listener* added = listeners.back().get();
        message.connect(added, [added](std::string t) { added->log->push_back(added->name + ":" + t); });
        if (listeners.size() > 2) {
            listeners.erase(listeners.begin());
        }
    });
    for (int i = 1; i <= 4; ++i) {
        message.emitSignal(std::to_string(i));
    }

    SignalImpl<0, int> numbers;  // instantiated here, from the header
    int sum = 0;
    numbers.connect([&sum](int n) { sum += n; });
    numbers.emitSignal(5);

    SignalImpl<0> tick;
    {
        Listener transient(&log, "T");
        tick.connect(&transient, [&log] { log.push_back("tick"); });
        tick.emitSignal();
    }
    tick.emitSignal();

    const std::vector<std::string> expected = {"L1:2", "L2:3", "L3:4", "tick"};
    bool ok = check(log == expected, "unexpected slot calls");
    ok = check(message.numConnections() == 3, "wrong connection count") && ok;
    ok = check(sum == 5 && tick.numConnections() == 0, "own instantiation or receiver cleanup failed") && ok;
    if (!ok) {
        return 1;
    }
    std::puts("signals consumer: ok");
    return 0;
}
