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

struct Record {
    Level level;
    const char* category;
    bool written;
};

TEST(SinkFilter, RulesDecideWhichRecordsAreWritten) {
    struct Case {
        const char* what;
        std::vector<Rule> rules;
        std::vector<Record> records;
    };
    const Case cases[] = {
        {"no rules: everything", {}, {{Trace, "", true}, {Fatal, "x", true}}},
        {"a non-empty whitelist alone decides",
         {{true, Warning, "Url"}, {false, Fatal, ""}},
         {{Warning, "Filesystem::Url", true},
          {Fatal, "Url", true},
          {Info, "Filesystem::Url", false},
          {Error, "Threading", false},
          {Error, "url", false}}},
        {"the first matching whitelist rule accepts",
         {{true, Error, "Filesystem"}, {true, Debug, "Filesystem::File"}},
         {{Debug, "Filesystem::File", true},
          {Debug, "Filesystem::Directory", false},
          {Error, "Filesystem::Directory", true},
          {Trace, "Filesystem::File", false}}},
        {"a blacklist rule blocks from its level downwards",
         {{false, Info, "Filesystem"}},
         {{Trace, "Filesystem::File", false},
          {Info, "Filesystem::Directory", false},
          {Warning, "Filesystem::File", true},
          {Trace, "Threading", true},
          {Trace, "", true}}},
        {"an empty blacklist category matches every record",
         {{false, Debug, ""}},
         {{Trace, "x", false}, {Debug, "", false}, {Info, "x", true}}},
        {"an empty whitelist category at Trace accepts everything",
         {{true, Trace, ""}},
         {{Trace, "", true}, {Fatal, "any", true}}},
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
        for (const Record& r : c.records) {
            recording->records.clear();
            sink.log(Sink::LogCapture{{}, r.level, r.category, "m"});
            EXPECT_EQ(recording->records.size(), r.written ? 1u : 0u) << r.level << " '" << r.category << "'";
        }
    }
}

TEST(SinkFilter, DisabledSinkWritesNothing) {
    auto recording = std::make_shared<Recording>();
    RecordingSink sink(recording);
    sink.setEnabled(false);
    sink.log(Sink::LogCapture{{}, Fatal, "x", "m"});
    EXPECT_TRUE(recording->records.empty());
    sink.setEnabled(true);
    sink.log(Sink::LogCapture{{}, Fatal, "x", "m"});
    EXPECT_EQ(recording->records.size(), 1u);
}

TEST(SinkFilter, RemoveFiltersComparesWholeCategories) {
    RecordingSink sink(std::make_shared<Recording>());
    sink.addFilter(Debug, "File");
    sink.addFilter(Info, "Filesystem::File");
    sink.addFilter(Error, "File");
    sink.addBlacklistFilter(Warning, "File");
    sink.addBlacklistFilter(Warning, "Url");
    sink.removeFilters("File");

    ASSERT_EQ(sink.whitelistFilters().size(), 1u);
    EXPECT_EQ(sink.whitelistFilters()[0].category, "Filesystem::File");
    EXPECT_EQ(sink.whitelistFilters()[0].level, Info);
    ASSERT_EQ(sink.blacklistFilters().size(), 1u);
    EXPECT_EQ(sink.blacklistFilters()[0].category, "Url");
    EXPECT_EQ(&sink.filters(), &sink.whitelistFilters());

    // Copies carry both lists and the enabled flag.
    sink.setEnabled(false);
    RecordingSink copy(sink);
    RecordingSink assigned(std::make_shared<Recording>());
    assigned = sink;
    for (const RecordingSink* other : {&copy, &assigned}) {
        EXPECT_FALSE(other->isEnabled());
        EXPECT_EQ(other->whitelistFilters().size(), 1u);
        EXPECT_EQ(other->blacklistFilters().size(), 1u);
    }

    sink.clearFilters();
    EXPECT_TRUE(sink.filters().empty());
    EXPECT_TRUE(sink.blacklistFilters().empty());
}

}  // namespace
