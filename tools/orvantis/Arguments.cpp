// Arguments.cpp — the one argument parser of the orvantis commands.
#include "Tool.h"

#include <iostream>

namespace OrvantisTool {

std::string g_command;

const Option colorOption = {"color", 0, "WHEN", "colour log records: auto (on a terminal), always or never"};

namespace {

const Option helpOption = {"help", 'h', nullptr, "show this help"};

void printHelp(const Syntax& syntax) {
    std::cout << "Usage: orvantis " << g_command << (syntax.options.empty() ? "" : " [OPTIONS]")
              << (*syntax.operands != '\0' ? " " : "") << syntax.operands << "\n\n"
              << syntax.about << "\n\nOptions:\n";
    std::vector<Option> all = syntax.options;
    all.push_back(helpOption);
    for (const Option& o : all) {
        std::string head = o.letter != 0 ? std::string("-") + o.letter + ", --" : "    --";
        head += std::string(o.name) + (o.value != nullptr ? std::string(" ") + o.value : "");
        std::cout << "  " << head << std::string(head.size() < 24 ? 24 - head.size() : 1, ' ') << o.help << "\n";
    }
}

const Option* find(const Syntax& syntax, const std::string& name, char letter) {
    if (name == "help" || letter == 'h') {
        return &helpOption;
    }
    for (const Option& o : syntax.options) {
        if ((!name.empty() && name == o.name) || (letter != 0 && letter == o.letter)) {
            return &o;
        }
    }
    return nullptr;
}

}  // namespace

Arguments parse(const std::vector<std::string>& args, const Syntax& syntax) {
    Arguments result;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            result.operands.push_back(a);  // "-" alone is an operand: standard input or output
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name", "--name=value", "-x", "-xVALUE"
        const bool isLong = a[1] == '-';
        const size_t equals = isLong ? a.find('=') : std::string::npos;
        const std::string name = isLong ? a.substr(2, equals - 2) : "";
        const Option* option = find(syntax, name, isLong ? 0 : a[1]);
        if (option == nullptr || (!isLong && a.size() > 2 && option->value == nullptr)) {
            throw UsageError("unknown option '" + a + "'");
        }
        if (option == &helpOption) {
            printHelp(syntax);
            throw HelpShown{};
        }
        std::string value;
        const bool inlineValue = equals != std::string::npos || (!isLong && a.size() > 2);
        if (inlineValue) {
            value = isLong ? a.substr(equals + 1) : a.substr(2);
        }
        if (option->value == nullptr && inlineValue) {
            throw UsageError("option '--" + std::string(option->name) + "' takes no value");
        }
        if (option->value != nullptr && !inlineValue) {
            if (i + 1 == args.size()) {
                throw UsageError("option '--" + std::string(option->name) + "' needs a value");
            }
            value = args[++i];
        }
        result.values[option->name] = value;
    }
    if (result.operands.size() < syntax.minOperands) {
        throw UsageError("missing operand (" + std::string(syntax.operands) + ")");
    }
    if (result.operands.size() > syntax.maxOperands) {
        throw UsageError("unexpected operand '" + result.operands[syntax.maxOperands] + "'");
    }
    return result;
}

Orvantis::Flags<Orvantis::Log::ConsoleSink::Options> consoleOptions(const Arguments& args) {
    using Orvantis::Log::ConsoleSink;
    const std::string when = args.value("color", "auto");
    if (when == "never") {
        return ConsoleSink::Utf8;
    }
    if (when == "auto") {
        return ConsoleSink::Colored | ConsoleSink::Utf8;
    }
    if (when == "always") {
        return ConsoleSink::Colored | ConsoleSink::ForceColored | ConsoleSink::Utf8;
    }
    throw UsageError("--color takes auto, always or never, not '" + when + "'");
}

void complain(const std::string& text) {
    std::cout.flush();  // results first, then the complaint, on a shared terminal
    std::cerr << "orvantis: " << g_command << (g_command.empty() ? "" : ": ") << text << std::endl;
}

}  // namespace OrvantisTool
