#include "support/Capture.h"

#include <gtest/gtest.h>

namespace {

using namespace Orvantis::Log;

// Each row gives a sink its rules (after clearFilters), removes some of them and logs one record.
TEST(SinkFilter, Rules) {
    using Rule = std::tuple<bool, Level, const char*>;  // true: whitelist
    // What the row checks, the rules, the category whose rules are then removed ("-": none), a record, written.
    using Case = std::tuple<const char*, std::vector<Rule>, const char*, Level, const char*, bool>;
    const std::vector<Rule> mixed = {{true, Warning, "Url"}, {true, Debug, "Dir"}, {false, Fatal, ""}};
    const std::vector<Rule> black = {{false, Info, "File"}, {false, Trace, ""}};
    const std::vector<Rule> removal = {{true, Debug, "File"}, {false, Fatal, "File"}, {false, Info, "A::File"}};
    const Case cases[] = {
        {"a whitelist alone decides", mixed, "-", Warning, "A::Url", true},
        {"any whitelist rule accepts", mixed, "-", Debug, "Dir", true},
        {"below the whitelist level", mixed, "-", Info, "Url", false},
        {"categories are case-sensitive", mixed, "-", Error, "url", false},
        {"levels compare as signed integers", mixed, "-", Level(-1), "Url", false},
        {"a blacklist rule blocks its level", black, "-", Info, "A::File", false},
        {"and passes those above", black, "-", Warning, "A::File", true},
        {"or other categories", black, "-", Debug, "Url", true},
        {"an empty category matches all", black, "-", Trace, "Url", false},
        {"removal compares whole categories", removal, "File", Debug, "A::File", false},
        {"removal covers the blacklist", removal, "File", Fatal, "File", true},
        {"no rules: all", std::vector<Rule>{}, "-", Trace, "A::File", true},
    };
    auto recording = std::make_shared<OrvantisTest::Recording>();
    OrvantisTest::RecordingSink sink(recording);
    for (const auto& [what, rules, removed, level, category, written] : cases) {
        SCOPED_TRACE(what);
        sink.clearFilters();  // rules left over would fail later rows
        for (const auto& [white, ruleLevel, ruleCategory] : rules) {
            white ? sink.addFilter(ruleLevel, ruleCategory) : sink.addBlacklistFilter(ruleLevel, ruleCategory);
        }
        sink.removeFilters(removed);
        sink.log(Sink::LogCapture{{}, level, category, "m"});
        EXPECT_EQ(OrvantisTest::takeReports(*recording).size(), written ? 1u : 0u);
    }
    sink.setEnabled(false);  // a disabled sink writes nothing, whatever the rules
    sink.log(Sink::LogCapture{{}, Trace, "", "m"});
    EXPECT_TRUE(OrvantisTest::takeReports(*recording).empty());
}

}  // namespace
