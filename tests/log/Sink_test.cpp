#include "support/Capture.h"

#include <gtest/gtest.h>

namespace {

using namespace Orvantis::Log;
using OrvantisTest::Recording;
using OrvantisTest::RecordingSink;

struct Case {
    Level level;
    const char* category;
    bool written;
};

// Feeds each case through Sink::log and checks which were written.
void expectWritten(Sink& sink, Recording& recording, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        recording.records.clear();
        sink.log(Sink::LogCapture{{}, c.level, c.category, "m"});
        EXPECT_EQ(recording.records.size(), c.written ? 1u : 0u)
            << "level " << c.level << ", category '" << c.category << "'";
    }
}

TEST(SinkFilter, NonEmptyWhitelistAloneDecides) {
    auto recording = std::make_shared<Recording>();
    RecordingSink sink(recording);
    sink.addWhitelistFilter(Warning, "Url");
    sink.addBlacklistFilter(Fatal, "");
    expectWritten(sink, *recording,
                  {
                      {Warning, "Filesystem::Url", true},  // blacklist ignored
                      {Fatal, "Url", true},
                      {Info, "Filesystem::Url", false},    // below the rule's level
                      {Error, "Threading", false},         // no matching category
                      {Error, "url", false},               // case-sensitive
                  });
}

TEST(SinkFilter, FirstMatchingWhitelistRuleAccepts) {
    auto recording = std::make_shared<Recording>();
    RecordingSink sink(recording);
    sink.addWhitelistFilter(Error, "Filesystem");
    sink.addWhitelistFilter(Debug, "Filesystem::File");
    expectWritten(sink, *recording,
                  {
                      {Debug, "Filesystem::File", true},       // second rule
                      {Debug, "Filesystem::Directory", false}, // first rule's level too high
                      {Error, "Filesystem::Directory", true},
                      {Trace, "Filesystem::File", false},
                  });
}

TEST(SinkFilter, BlacklistBlocksFromItsLevelDownwards) {
    auto recording = std::make_shared<Recording>();
    RecordingSink sink(recording);
    sink.addBlacklistFilter(Info, "Filesystem");
    expectWritten(sink, *recording,
                  {
                      {Trace, "Filesystem::File", false},
                      {Info, "Filesystem::Directory", false},
                      {Warning, "Filesystem::File", true},
                      {Trace, "Threading", true},
                      {Trace, "", true},  // a record without category contains no "Filesystem"
                  });
}

TEST(SinkFilter, EmptyRuleCategoryMatchesEverything) {
    auto recording = std::make_shared<Recording>();
    RecordingSink blacklisted(recording);
    blacklisted.addBlacklistFilter(Debug, "");
    expectWritten(blacklisted, *recording, {{Trace, "x", false}, {Debug, "", false}, {Info, "x", true}});

    RecordingSink whitelisted(recording);
    whitelisted.addWhitelistFilter(Trace, "");
    expectWritten(whitelisted, *recording, {{Trace, "", true}, {Fatal, "any", true}});
}

TEST(SinkFilter, LevelsOutsideTheEnumerationCompareAsIntegers) {
    auto recording = std::make_shared<Recording>();
    RecordingSink sink(recording);
    sink.addWhitelistFilter(Fatal, "");
    expectWritten(sink, *recording, {{static_cast<Level>(9), "", true}, {static_cast<Level>(-1), "", false}});
}

TEST(SinkFilter, DisabledSinkWritesNothing) {
    auto recording = std::make_shared<Recording>();
    RecordingSink sink(recording);
    sink.addWhitelistFilter(Trace, "");
    sink.setEnabled(false);
    EXPECT_FALSE(sink.isEnabled());
    expectWritten(sink, *recording, {{Fatal, "x", false}});
    sink.setEnabled(true);
    expectWritten(sink, *recording, {{Fatal, "x", true}});
}

TEST(SinkFilter, RemoveFiltersComparesWholeCategories) {
    auto recording = std::make_shared<Recording>();
    RecordingSink sink(recording);
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

    sink.clearFilters();
    EXPECT_TRUE(sink.filters().empty());
    EXPECT_TRUE(sink.blacklistFilters().empty());
}

TEST(SinkFilter, CopyCarriesListsAndEnabledFlag) {
    auto recording = std::make_shared<Recording>();
    RecordingSink original(recording);
    original.addWhitelistFilter(Warning, "A");
    original.addBlacklistFilter(Info, "B");
    original.setEnabled(false);

    RecordingSink copy(original);
    EXPECT_FALSE(copy.isEnabled());
    ASSERT_EQ(copy.whitelistFilters().size(), 1u);
    EXPECT_EQ(copy.whitelistFilters()[0].category, "A");
    ASSERT_EQ(copy.blacklistFilters().size(), 1u);

    RecordingSink assigned(recording);
    assigned = original;
    EXPECT_FALSE(assigned.isEnabled());
    EXPECT_EQ(assigned.blacklistFilters()[0].level, Info);
}

}  // namespace
