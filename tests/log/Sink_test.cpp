#include "support/Capture.h"

#include <gtest/gtest.h>

namespace {

using namespace Orvantis::Log;
using OrvantisTest::Recording;
using OrvantisTest::RecordingSink;

struct Rule {
    bool white;
    Level level;
    const char* category;
};

struct Written {
    Level level;
    const char* category;
    bool written;
};

TEST(SinkFilter, Rules) {
    struct Case {
        const char* what;
        std::vector<Rule> rules;
        std::vector<Written> records;
    };
    const Case cases[] = {
        {"no rules: everything", {}, {{Trace, "", true}, {Fatal, "x", true}}},
        {"a non-empty whitelist alone decides",
         {{true, Warning, "Url"}, {false, Fatal, ""}},
         {{Warning, "Filesystem::Url", true}, {Info, "Filesystem::Url", false}, {Error, "url", false}}},
        {"the first matching whitelist rule accepts",
         {{true, Error, "Filesystem"}, {true, Debug, "Filesystem::File"}},
         {{Debug, "Filesystem::File", true}, {Debug, "Filesystem::Directory", false}, {Error, "Filesystem::X", true}}},
        {"a blacklist rule blocks from its level downwards",
         {{false, Info, "Filesystem"}},
         {{Info, "Filesystem::File", false}, {Warning, "Filesystem::File", true}, {Trace, "Threading", true}}},
        {"an empty blacklist category matches every record", {{false, Debug, ""}}, {{Debug, "x", false}}},
        {"levels outside the enumeration compare as integers",
         {{true, Fatal, ""}},
         {{static_cast<Level>(9), "", true}, {static_cast<Level>(-1), "", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto recording = std::make_shared<Recording>();
        RecordingSink sink(recording);
        for (const Rule& rule : c.rules) {
            rule.white ? sink.addWhitelistFilter(rule.level, rule.category)
                       : sink.addBlacklistFilter(rule.level, rule.category);
        }
        for (const Written& r : c.records) {
            recording->records.clear();
            sink.log(Sink::LogCapture{{}, r.level, r.category, "m"});
            EXPECT_EQ(recording->records.size(), r.written ? 1u : 0u) << r.level << " '" << r.category << "'";
        }
        recording->records.clear();
        sink.setEnabled(false);  // a disabled sink writes nothing, whatever the rules
        sink.log(Sink::LogCapture{{}, Fatal, "Url", "m"});
        EXPECT_TRUE(recording->records.empty());
    }
}

TEST(SinkFilter, RemoveFiltersComparesWholeCategories) {
    RecordingSink sink(std::make_shared<Recording>());
    sink.addFilter(Debug, "File");
    sink.addFilter(Info, "Filesystem::File");
    sink.addBlacklistFilter(Warning, "File");
    sink.addBlacklistFilter(Warning, "Url");
    sink.removeFilters("File");
    ASSERT_EQ(sink.whitelistFilters().size(), 1u);
    EXPECT_EQ(sink.whitelistFilters()[0].category, "Filesystem::File");
    ASSERT_EQ(sink.blacklistFilters().size(), 1u);
    EXPECT_EQ(sink.blacklistFilters()[0].category, "Url");
    sink.clearFilters();
    EXPECT_TRUE(sink.filters().empty());
    EXPECT_TRUE(sink.blacklistFilters().empty());
}

}  // namespace
