#include <gtest/gtest.h>

#include "app/CmdLineParser.h"

namespace {

TEST(CmdLineText, KeysValuesQuotesAndFolding) {
    const CCmdLineParser p(R"(report.ovk /ACT:Daily -prm:"A=1 B/2-3" /flag)", false);
    EXPECT_EQ(p.GetVal("act"), "Daily");
    EXPECT_EQ(p.GetVal("Act"), "Daily");
    EXPECT_EQ(p.GetVal("prm"), "A=1 B/2-3");
    EXPECT_TRUE(p.HasKey("flag"));
    EXPECT_EQ(p.GetVal("flag"), "");
    EXPECT_FALSE(p.GetVal("missing").has_value());
}

TEST(CmdLineText, EdgeCases) {
    // An unquoted value ends at a blank; an unclosed quote runs to the end.
    EXPECT_EQ(CCmdLineParser("/act:Daily Run", false).GetVal("act"), "Daily");
    EXPECT_EQ(CCmdLineParser(R"(/act:"Daily Run /x)", false).GetVal("act"), "Daily Run /x");
    // The first value wins.
    EXPECT_EQ(CCmdLineParser("/act:A /act:B", false).GetVal("act"), "A");
    // A colon as last character: key with an empty value; a bare key likewise.
    EXPECT_EQ(CCmdLineParser("/act:", false).GetVal("act"), "");
    EXPECT_EQ(CCmdLineParser("/act", false).GetVal("act"), "");
    // A dash inside an unquoted path starts a key, as the scanner has always done.
    EXPECT_TRUE(CCmdLineParser("c:\\my-act:x\\r.ovk", false).HasKey("act"));
    // Empty keys are dropped with their values; nothing at all is a failed parse.
    EXPECT_FALSE(CCmdLineParser("/:value - /", false).Parsed());
    EXPECT_FALSE(CCmdLineParser("", false).Parsed());
    // Case-sensitive parsing keeps the keys apart.
    const CCmdLineParser sensitive("/Act:1 /act:2", true);
    EXPECT_EQ(sensitive.GetVal("Act"), "1");
    EXPECT_EQ(sensitive.GetVal("act"), "2");
}

TEST(CmdLineArguments, AbsolutePathsAreReportsNotKeys) {
    const CCmdLineParser p({"/srv/reports/Daily.ovk", "/act:Daily", "-prm:Day=~date(d-1)~"}, false);
    ASSERT_EQ(p.Paths().size(), 1u);
    EXPECT_EQ(p.Paths()[0], "/srv/reports/Daily.ovk");
    EXPECT_EQ(p.GetVal("act"), "Daily");
    EXPECT_EQ(p.GetVal("prm"), "Day=~date(d-1)~");
    EXPECT_FALSE(p.HasKey("srv"));
}

TEST(CmdLineArguments, AValueNeverRunsIntoTheNextArgument) {
    // The shell already joined "Distribution 1" into one argument: the blank belongs to the value.
    const CCmdLineParser p({"/ACT:Distribution 1", "reports/a-b.ovk", "/prm:\"x y\"", "/act:B"},
                           false);
    EXPECT_EQ(p.GetVal("act"), "Distribution 1");
    EXPECT_EQ(p.GetVal("prm"), "x y");
    ASSERT_EQ(p.Paths().size(), 1u);
    EXPECT_EQ(p.Paths()[0], "reports/a-b.ovk");  // relative paths are not scanned for keys
}

TEST(CmdLineArguments, KeyForms) {
    const CCmdLineParser p({"-act", "/prm:/abs/path:with:colons", "/x:\"quoted\" /y:2", "/a/b:c"},
                           false);
    EXPECT_EQ(p.GetVal("act"), "");
    EXPECT_EQ(p.GetVal("prm"), "/abs/path:with:colons");
    EXPECT_EQ(p.GetVal("x"), "quoted");
    EXPECT_EQ(p.GetVal("y"), "2");
    ASSERT_EQ(p.Paths().size(), 1u);
    EXPECT_EQ(p.Paths()[0], "/a/b:c");
}

}  // namespace
