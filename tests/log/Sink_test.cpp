#include "support/Capture.h"

#include <gtest/gtest.h>

namespace {

using namespace Orvantis::Log;

// Each row adds its rules, removes those of category `removed` (if any), then logs its records.
TEST(SinkFilter, Rules) {
    struct Item {
        bool flag;  // a rule: whitelist rather than blacklist; a record: written
        Level level;
        const char* category;
    };
    struct Case {
        const char* what;
        std::vector<Item> rules;
        const char* removed;
        std::vector<Item> records;
    };
    const Case cases[] = {
        {"no rules: everything", {}, nullptr, {{true, Trace, ""}, {true, Fatal, "x"}}},
        {"a non-empty whitelist alone decides, levels compared signed",
         {{true, Warning, "Url"}, {false, Fatal, ""}},
         nullptr,
         {{true, Warning, "Filesystem::Url"}, {false, Info, "Url"}, {false, Error, "url"}, {false, Level(-1), "Url"}}},
        {"any whitelist rule accepts", {{true, Error, "A"}, {true, Debug, "B"}}, nullptr, {{true, Debug, "AB"}}},
        {"a blacklist rule blocks from its level downwards, an empty category matches all",
         {{false, Info, "File"}, {false, Trace, ""}},
         nullptr,
         {{false, Info, "A::File"}, {true, Warning, "A::File"}, {true, Debug, "Url"}, {false, Trace, "Url"}}},
        {"removal compares whole categories in both lists",
         {{true, Debug, "File"}, {false, Fatal, "File"}, {false, Info, "Filesystem::File"}},
         "File",
         {{false, Debug, "Filesystem::File"}, {true, Fatal, "File"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto recording = std::make_shared<OrvantisTest::Recording>();
        OrvantisTest::RecordingSink sink(recording);
        for (const Item& rule : c.rules) {
            rule.flag ? sink.addFilter(rule.level, rule.category) : sink.addBlacklistFilter(rule.level, rule.category);
        }
        if (c.removed != nullptr) {
            sink.removeFilters(c.removed);
        }
        for (const Item& r : c.records) {
            sink.log(Sink::LogCapture{{}, r.level, r.category, "m"});
            EXPECT_EQ(recording->take().size(), r.flag ? 1u : 0u) << r.level << " '" << r.category << "'";
        }
        sink.setEnabled(false);  // a disabled sink writes nothing, whatever the rules
        sink.log(Sink::LogCapture{{}, Fatal, "Url", "m"});
        sink.clearFilters();
        sink.setEnabled(true);
        sink.log(Sink::LogCapture{{}, Trace, "", "m"});
        EXPECT_EQ(recording->take().size(), 1u) << "disabled, or rules left after clearFilters";
    }
}

}  // namespace
