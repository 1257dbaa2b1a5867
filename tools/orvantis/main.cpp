// orvantis — the OrvantisCore command-line tool.
#include "Command.h"

#include <OrvantisCore.h>

#include <algorithm>
#include <iostream>

namespace OrvantisTool {

namespace {

std::vector<Command>& commandList() {
    static std::vector<Command> list;
    return list;
}

std::vector<DemoStep>& demoList() {
    static std::vector<DemoStep> list;
    return list;
}

void printHelp(std::ostream& out) {
    out << "orvantis " << ORVANTIS_VERSION_TEXT << " - tools around the OrvantisCore library\n\n"
        << "Usage: orvantis COMMAND [ARGUMENTS]\n"
        << "       orvantis --help | --version\n\n"
        << "Commands:\n";
    for (const Command& c : commands()) {
        const std::string head = c.name + (c.usage.empty() ? "" : " " + c.usage);
        out << "  " << head << std::string(head.size() < 34 ? 34 - head.size() : 1, ' ') << c.summary << "\n";
    }
}

}  // namespace

Command::Registration::Registration(Command command) {
    auto& list = commandList();
    list.push_back(std::move(command));
    std::sort(list.begin(), list.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
}

DemoStep::Registration::Registration(DemoStep step) {
    auto& list = demoList();
    list.push_back(std::move(step));
    std::stable_sort(list.begin(), list.end(), [](const DemoStep& a, const DemoStep& b) { return a.order < b.order; });
}

const std::vector<Command>& commands() {
    return commandList();
}

const std::vector<DemoStep>& demoSteps() {
    return demoList();
}

void demoHeading(const std::string& title) {
    std::cout << "\n== " << title << " ==\n";
}

}  // namespace OrvantisTool

int main(int argc, char** argv) {
    using namespace OrvantisTool;
    const Arguments all(argv + 1, argv + argc);
    if (all.empty()) {
        printHelp(std::cerr);
        return 2;
    }
    const std::string& first = all.front();
    if (first == "--help" || first == "-h" || first == "help") {
        printHelp(std::cout);
        return 0;
    }
    if (first == "--version") {
        std::cout << Orvantis::Utils::libraryVersion().toString() << "\n";
        return 0;
    }
    const auto& list = commands();
    const auto it = std::find_if(list.begin(), list.end(), [&](const Command& c) { return c.name == first; });
    if (it == list.end()) {
        std::cerr << "orvantis: unknown command '" << first << "'\n"
                  << "Try 'orvantis --help' for the list of commands.\n";
        return 2;
    }
    try {
        return it->run(Arguments(all.begin() + 1, all.end()));
    } catch (const UsageError& e) {
        std::cerr << "orvantis " << it->name << ": " << e.what() << "\n"
                  << "Usage: orvantis " << it->name << (it->usage.empty() ? "" : " " + it->usage) << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "orvantis " << it->name << ": " << e.what() << "\n";
        return 1;
    }
}
