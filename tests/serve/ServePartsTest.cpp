// The parts of the report server that need no process: its command line, the names it accepts
// for reports, and the bar it puts on a rendered page whatever that page looks like.
#include <gtest/gtest.h>

#include <stdexcept>

#include "serve/ReportCatalog.h"
#include "serve/ServeOptions.h"
#include "serve/ServePages.h"

namespace orvik::serve {
namespace {

TEST(ServeOptions, ReadsEveryKeyAndSaysWhatIsWrong) {
    const ServeOptions options =
        ParseServeOptions({"--reports", "/srv/r", "--listen=0.0.0.0:80", "--users", "u",
                           "--threads", "8", "--cache", "60", "--cert", "c", "--key", "k"});
    EXPECT_EQ(options.reportsFolder, "/srv/r");
    EXPECT_EQ(options.listen, "0.0.0.0:80");
    EXPECT_EQ(options.threads, 8u);
    EXPECT_EQ(options.cacheSeconds, 60u);
    EXPECT_TRUE(ParseServeOptions({"--help"}).help);
    EXPECT_TRUE(ParseServeOptions({"--hash-password"}).hashPassword);
    const auto says = [](std::vector<std::string> arguments, const std::string& part) {
        try {
            ParseServeOptions(arguments);
        } catch (const std::invalid_argument& error) {
            return std::string(error.what()).find(part) != std::string::npos;
        }
        return false;
    };
    EXPECT_TRUE(says({"--listen", "127.0.0.1:1"}, "--reports DIR is needed"));
    EXPECT_TRUE(says({"--reports", "r", "--threads", "0"}, "from 1 to 256"));
    EXPECT_TRUE(says({"--reports", "r", "--cache", "-1"}, "not '-1'"));
    EXPECT_TRUE(says({"--reports", "r", "--cache", "5s"}, "not '5s'"));
    EXPECT_TRUE(says({"--reports"}, "--reports needs a value"));
    EXPECT_TRUE(says({"--reports", "r", "/act:Daily"}, "unknown argument '/act:Daily'"));
    EXPECT_TRUE(says({"--reports", "r", "--cert", "c"}, "--cert and --key go together"));
}

TEST(ServeNames, OnlyPlainPathsNameAReport) {
    for (const char* name : {"Sales", "sales/Daily", "a b/Ünïcode <b>"})
        EXPECT_TRUE(IsPlainRelativeName(name)) << name;
    for (const char* name : {"", "/etc/passwd", "a//b", "../x", "a/../b", "a/./b", ".hidden",
                             "a/.git/x", "a\\..\\b", "a/", "a\nb", "a\x7f"})
        EXPECT_FALSE(IsPlainRelativeName(name)) << name;
}

TEST(ServeBar, GoesAfterTheBodyTagInAsciiWhateverThePageIs) {
    const std::vector<BarLink> links = {{"Workbook", "/run/1/Orvik.xlsx"}};
    const std::string page = DecoratePage(
        "<HTML><HEAD profile=\"x\"><TITLE>t</TITLE></HEAD><BODY bgcolor=white>text</BODY></HTML>",
        "/run/1/", "Продажи <b>", {{"Region", "Юг\"><script>"}}, links, "2026-12-01 10:00:00");
    EXPECT_EQ(page.find("<HEAD profile=\"x\"><base href=\"/run/1/\">"), 6u) << page;
    const size_t bar = page.find("<BODY bgcolor=white><div id=\"orvik-serve-bar\"");
    EXPECT_NE(bar, std::string::npos) << page;
    EXPECT_NE(page.find("&#1055;&#1088;&#1086;&#1076;&#1072;&#1078;&#1080; &lt;b&gt;"),
              std::string::npos);
    EXPECT_NE(page.find("&#1070;&#1075;&quot;&gt;&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    for (const char c : page.substr(bar, page.find("text") - bar))
        EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    // A page without head or body still gets both, the base first.
    const std::string bare = DecoratePage("<p>only</p>", "/run/2/", "T", {}, {}, "now");
    EXPECT_EQ(bare.find("<base href=\"/run/2/\"><div id=\"orvik-serve-bar\""), 0u) << bare;
}

TEST(ServeBar, DatePickerTakesTheDayOfAnExpression) {
    EXPECT_EQ(DateForPicker("2026-05-31"), "2026-05-31");
    EXPECT_EQ(DateForPicker("~date(y2026m5d31;f=%d.%m.%Y)~"), "2026-05-31");
    EXPECT_EQ(DateForPicker("~date(f=%d.%m.%Y;y2024m2d29)~"), "2024-02-29");
    EXPECT_EQ(DateForPicker("North"), "");
    EXPECT_EQ(DateForPicker("~date(nonsense)~"), "");
    EXPECT_EQ(ReportUrl("a b/<x>", ".csv", {{"R", "[N],[S]"}, {"d", "a&b=c"}}),
              "/r/a%20b/%3Cx%3E.csv?R=%5BN%5D%2C%5BS%5D&d=a%26b%3Dc");
}

}  // namespace
}  // namespace orvik::serve
