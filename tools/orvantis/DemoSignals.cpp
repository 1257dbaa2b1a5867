// The signals step of `orvantis demo`: two receivers on one signal, one of
// them destroyed along the way, with the connection counts at each stage.
#include "Command.h"

#include <OrvantisCore.h>

#include <iostream>
#include <memory>
#include <string>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

// A receiver that prints what it is told; its slots go away with it.
struct Panel : SignalReceiver {
    explicit Panel(std::string name) : name(std::move(name)) {}
    ~Panel() override { std::cout << "  (" << name << " destroyed)\n"; }
    void show(const std::string& text) const { std::cout << "  " << name << " shows \"" << text << "\"\n"; }
    std::string name;
};

void printCount(const SignalImpl<0, std::string>& signal) {
    std::cout << "numConnections() = " << signal.numConnections() << "\n";
}

void runSignalsStep() {
    SignalImpl<0, std::string> statusChanged;
    auto status = std::make_unique<Panel>("status bar");
    Panel history("history");

    std::cout << "Two receivers connect to SignalImpl<0, std::string> statusChanged.\n";
    statusChanged.connect(status.get(), [panel = status.get()](std::string text) { panel->show(text); });
    statusChanged.connect(&history, [&history](std::string text) { history.show(text); });
    printCount(statusChanged);
    statusChanged.emitSignal("loading");

    std::cout << "\nThe status bar is destroyed; its connection disconnects itself.\n";
    status.reset();
    printCount(statusChanged);
    statusChanged.emitSignal("ready");

    std::cout << "\nA slot without receiver destroys a temporary receiver during an emission.\n";
    auto popup = std::make_unique<Panel>("popup");
    statusChanged.connect(popup.get(), [panel = popup.get()](std::string text) { panel->show(text); });
    statusChanged.connect([&popup](std::string) { popup.reset(); });
    statusChanged.connect(popup.get(), [](std::string) { std::cout << "  never printed\n"; });
    printCount(statusChanged);
    statusChanged.emitSignal("saved");
    printCount(statusChanged);

    std::cout << "\nsetBlocked(true): the next emission calls nothing.\n";
    statusChanged.setBlocked(true);
    statusChanged.emitSignal("hidden");
    statusChanged.setBlocked(false);
    std::cout << "disconnect(&history) = " << statusChanged.disconnect(&history)
              << ", disconnectAll() = " << statusChanged.disconnectAll() << "\n";
    printCount(statusChanged);
}

const DemoStep::Registration registration{{50, "Signals: receivers that come and go", &runSignalsStep}};

}  // namespace
}  // namespace OrvantisTool
