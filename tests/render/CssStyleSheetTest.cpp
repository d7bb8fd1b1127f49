// Setting single properties of a layout's style rules: only the value text changes, what is
// missing is made, and text that would damage the sheet is refused with the page unchanged.
#include "render/CssStyleSheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string SetAll(const std::string& page, const std::vector<std::vector<std::string>>& settings) {
    CHtmlDocument document(page);
    CCssStyleSheet sheet(document);
    for (const auto& s : settings) EXPECT_TRUE(sheet.SetProperty(s[0], s[1], s[2])) << s[1];
    return document.Html();
}

}  // namespace

TEST(CssStyleSheet, ReplacesOnlyTheValueText) {
    const std::string page =
        "<HTML><HEAD><STYLE type=text/css>\n"
        "<!--\n"
        "/* header cells { not a rule } */\n"
        "BODY { margin: 0 }\n"
        ".sh0 { border-style: solid; font: 10pt Arial; /* keep */ background-color: #fff }\n"
        ".sgo0 {background-color:white; FILTER: none;}\n"
        "@media print { .sh0 { background-color: black } }\n"
        "-->\n"
        "</STYLE></HEAD><BODY><DIV id=OrvikSheet0></DIV></BODY></HTML>";
    // The values as the generated style text carries them: what follows the name up to ";".
    const std::string result = SetAll(
        page, {{".sh0", "background-color:", "c0c0c0"},
               {".sh0", "font:", " bold 8pt \"Arial\""},
               {".sh0", "border-style:", "outset"},
               {".sgo0", "FILTER:",
                " progid:DXImageTransform.Microsoft.Gradient(gradientType=1,startColorStr=#ffffff,"
                "endColorStr=#ffffff)"},
               {".sgo0", "background-color", "ffffff"}});
    std::string expected = page;
    auto replace = [&](const std::string& from, const std::string& to) {
        const std::size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    replace(".sh0 { border-style: solid; font: 10pt Arial; /* keep */ background-color: #fff }",
            ".sh0 { border-style:outset; font: bold 8pt \"Arial\"; /* keep */ "
            "background-color:c0c0c0}");
    replace(".sgo0 {background-color:white; FILTER: none;}",
            ".sgo0 {background-color:ffffff; FILTER: progid:DXImageTransform.Microsoft.Gradient("
            "gradientType=1,startColorStr=#ffffff,endColorStr=#ffffff);}");
    EXPECT_EQ(result, expected);

    CHtmlDocument document(result);
    CCssStyleSheet sheet(document);
    EXPECT_EQ(sheet.GetProperty(".SH0", "Background-Color"), "c0c0c0");
    EXPECT_EQ(sheet.GetProperty(".sh0", "font:"), " bold 8pt \"Arial\"");
    EXPECT_EQ(sheet.GetProperty("body", "margin"), " 0 ");
    EXPECT_EQ(sheet.GetProperty(".sh0", "color"), std::nullopt);
    EXPECT_EQ(sheet.GetProperty(".sh9", "font"), std::nullopt);
    // Setting what is already there leaves the page alone.
    const std::uint64_t before = document.Generation();
    EXPECT_TRUE(sheet.SetProperty(".sh0", "font", " bold 8pt \"Arial\""));
    EXPECT_EQ(document.Generation(), before);
}

TEST(CssStyleSheet, AddsMissingDeclarationsAndRules) {
    EXPECT_EQ(SetAll("<style>.sh0 {border-width:1}</style>", {{".sh0", "font", "8pt"}}),
              "<style>.sh0 {border-width:1; font:8pt}</style>");
    EXPECT_EQ(SetAll("<style>.sh0 {border-width:1;\n}</style>", {{".sh0", "font", "8pt"}}),
              "<style>.sh0 {border-width:1; font:8pt;\n}</style>");
    EXPECT_EQ(SetAll("<style>.sh0 {}</style>", {{".sh0", "font", "8pt"}}),
              "<style>.sh0 {font:8pt}</style>");
    // A new rule goes at the end of the last STYLE element, inside an old comment wrapper.
    EXPECT_EQ(SetAll("<style>\n<!--\n.a {}\n-->\n</style><style>.b {}\n</style>",
                     {{".sge1", "background-color", "f0f0f0"}, {".sge1", "font", "8pt"}}),
              "<style>\n<!--\n.a {}\n-->\n</style><style>.b {}\n.sge1 "
              "{background-color:f0f0f0; font:8pt}\n</style>");
    EXPECT_EQ(SetAll("<style>\n<!--\n.a {}\n-->\n</style>", {{".b", "font", "8pt"}}),
              "<style>\n<!--\n.a {}\n.b {font:8pt}\n-->\n</style>");
    // A block left open at the end is closed before the new rule.
    EXPECT_EQ(SetAll("<style>.a {color:red</style>", {{".b", "font", "8pt"}}),
              "<style>.a {color:red}\n.b {font:8pt}</style>");
}

TEST(CssStyleSheet, TheRuleABrowserAppliesIsTheOneEdited) {
    // The last rule of that selector wins, across STYLE elements; its last declaration wins.
    const std::string page =
        "<head><style>.sh0 {font:a}</style></head><body><style>.SH0  {font:b; font:c}\n"
        "a, .sh0 {font:d}</style></body>";
    EXPECT_EQ(SetAll(page, {{" .sh0 ", "font", "x"}}),
              "<head><style>.sh0 {font:a}</style></head><body><style>.SH0  {font:b; font:x}\n"
              "a, .sh0 {font:d}</style></body>");
    // Braces, semicolons and colons inside strings, comments and brackets do not split anything.
    EXPECT_EQ(SetAll("<style>.a {content:\"};{\"; /* } */ b:url(x;y)} .b{c:1}</style>",
                     {{".a", "b", "2"}, {".b", "c", "3"}}),
              "<style>.a {content:\"};{\"; /* } */ b:2} .b{c:3}</style>");
    // Rules inside at-rules are not the page's rules for that selector.
    EXPECT_EQ(
        SetAll("<style>@media print {.a {c:1}} @import \"x.css\";</style>", {{".a", "c", "2"}}),
        "<style>@media print {.a {c:1}} @import \"x.css\";\n.a {c:2}</style>");
}

TEST(CssStyleSheet, MakesAStyleElementWhereThePageHasNone) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<HTML><HEAD><TITLE>t</TITLE></HEAD><BODY>x</BODY></HTML>",
         "<HTML><HEAD><TITLE>t</TITLE><STYLE>\n.sh0 "
         "{font:8pt}\n</STYLE></HEAD><BODY>x</BODY></HTML>"},
        {"<html><head><title>t</title>\n<body>x</body></html>",
         "<html><head><title>t</title>\n<STYLE>\n.sh0 {font:8pt}\n</STYLE><body>x</body></html>"},
        {"<HTML><BODY>x</BODY></HTML>",
         "<HTML><HEAD><STYLE>\n.sh0 {font:8pt}\n</STYLE></HEAD><BODY>x</BODY></HTML>"},
        {"<!DOCTYPE html>\n<!-- layout -->\n<DIV id=OrvikSheet0></DIV>",
         "<!DOCTYPE html>\n<!-- layout -->\n<STYLE>\n.sh0 {font:8pt}\n</STYLE><DIV "
         "id=OrvikSheet0></DIV>"},
        {"just text", "just text<STYLE>\n.sh0 {font:8pt}\n</STYLE>"},
        {"", "<STYLE>\n.sh0 {font:8pt}\n</STYLE>"},
        {"<style></style>", "<style>.sh0 {font:8pt}</style>"},
    };
    for (const auto& [page, expected] : cases) {
        EXPECT_EQ(SetAll(page, {{".sh0", "font", "8pt"}}), expected) << page;
    }
    // A STYLE element whose end tag is cut short: rules before it can be edited, but a rule
    // added after it would complete the tag (or be read as part of its junk) and is refused.
    CHtmlDocument cut("<style>.a {font:1}</style title=\"x\"");
    CCssStyleSheet cutSheet(cut);
    EXPECT_TRUE(cutSheet.SetProperty(".a", "font", "<b>"));
    EXPECT_FALSE(cutSheet.SetProperty(".b", "font", "<b>"));
    EXPECT_EQ(cut.Html(), "<style>.a {font:<b>}</style title=\"x\"");
    // A page that ends inside a comment has no place for one: nothing changes.
    const std::string open = "<html><head><title>x</title><!-- open";
    CHtmlDocument document(open);
    CCssStyleSheet sheet(document);
    EXPECT_FALSE(sheet.SetProperty(".sh0", "font", "8pt"));
    EXPECT_EQ(document.Html(), open);
    EXPECT_EQ(sheet.StyleElementCount(), 0u);
}

TEST(CssStyleSheet, RefusesTextThatWouldDamageTheSheet) {
    const std::string page = "<style>.sh0 {font:8pt}</style><p>x</p>";
    CHtmlDocument document(page);
    CCssStyleSheet sheet(document);
    const std::vector<std::string> values = {
        "red; color:blue", "red}", "{x", "red</style><p>", "\"open", "url(x", "x /* open", "x\\"};
    for (const std::string& value : values)
        EXPECT_FALSE(sheet.SetProperty(".sh0", "font", value)) << value;
    for (const char* name : {"", "fo nt", "font;", "a:b", "x{"})
        EXPECT_FALSE(sheet.SetProperty(".sh0", name, "1")) << name;
    for (const char* selector : {"", "  ", ".a{", ".a;", "@media", "/x", ".a</style>", "-->"})
        EXPECT_FALSE(sheet.SetProperty(selector, "font", "1")) << selector;
    EXPECT_EQ(document.Html(), page);
    // Values with strings, brackets and blanks are fine.
    EXPECT_TRUE(sheet.SetProperty(".sh0", "font", " italic 8pt \"Times; New\" , url('a;b')"));
    EXPECT_EQ(sheet.GetProperty(".sh0", "font"), " italic 8pt \"Times; New\" , url('a;b')");
}

TEST(CssStyleSheet, FollowsEditsMadeToThePageInBetween) {
    CHtmlDocument document(
        "<html><head><style>.sh0 {font:a}</style></head><body>"
        "<div id=OrvikSheet0 style=\"height:10px\"></div><style>.sh1 {font:b}</style></body>");
    CCssStyleSheet sheet(document);
    ASSERT_TRUE(sheet.SetProperty(".sh1", "font", "first"));
    ASSERT_TRUE(document.PlacePiece("OrvikSheet0", "<TABLE id=OrvikSheet0 class=sgo0></TABLE>"));
    ASSERT_TRUE(sheet.SetProperty(".sh1", "font", "second"));
    ASSERT_TRUE(sheet.SetProperty(".sh0", "font", "a longer value than before"));
    ASSERT_TRUE(sheet.SetProperty(".sh1", "color", "red"));
    EXPECT_EQ(document.Html(),
              "<html><head><style>.sh0 {font:a longer value than before}</style></head><body>"
              "<TABLE style=\"HEIGHT:10px\" id=OrvikSheet0 class=sgo0></TABLE>"
              "<style>.sh1 {font:second; color:red}</style></body>");
}
