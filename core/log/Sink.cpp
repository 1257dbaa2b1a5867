#include "core/log/Sink.h"

#include "core/log/Log.h"

#include <algorithm>

namespace Orvantis::Log {

namespace {

bool containsCategory(const std::string& recordCategory, const std::string& ruleCategory) {
    return recordCategory.find(ruleCategory) != std::string::npos;
}

}  // namespace

Sink::~Sink() = default;

void Sink::log(const LogCapture& capture) {
    if (!enabled) {
        return;
    }
    if (!whitelist.empty()) {
        for (const Filter& rule : whitelist) {
            if (capture.level >= rule.level && containsCategory(capture.category, rule.category)) {
                logImpl(capture);
                return;
            }
        }
        return;
    }
    for (const Filter& rule : blacklist) {
        if (capture.level <= rule.level && containsCategory(capture.category, rule.category)) {
            return;
        }
    }
    logImpl(capture);
}

void Sink::reportToOtherSinks(Level level, const std::string& category, const std::string& message) {
    if (g_globalLevel <= level) {
        Log::log(level, category, message);
    }
}

void Sink::addWhitelistFilter(Level level, const std::string& category) {
    whitelist.push_back(Filter{level, category});
}

void Sink::addFilter(Level level, const std::string& category) {
    addWhitelistFilter(level, category);
}

void Sink::addBlacklistFilter(Level level, const std::string& category) {
    blacklist.push_back(Filter{level, category});
}

void Sink::removeFilters(const std::string& category) {
    const auto sameCategory = [&category](const Filter& rule) { return rule.category == category; };
    whitelist.erase(std::remove_if(whitelist.begin(), whitelist.end(), sameCategory), whitelist.end());
    blacklist.erase(std::remove_if(blacklist.begin(), blacklist.end(), sameCategory), blacklist.end());
}

void Sink::clearFilters() {
    whitelist.clear();
    blacklist.clear();
}

}  // namespace Orvantis::Log
