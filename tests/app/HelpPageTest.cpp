#include "app/HelpPage.h"

#include <gtest/gtest.h>

#include <regex>

#include "TestSupport.h"

namespace orvik {
namespace {

TEST(HelpPage, MarkdownBecomesTheHtmlItAsksForAndNothingElse) {
    const std::string html = MarkdownToHtml(
        "# The two commands\n"
        "Run **it** with `orvik <file>` and see [the docs](#cubes-at-scale).\n"
        "A second line of the same paragraph, *emphasised*; ORVIK_HOME stays as written.\n"
        "\n"
        "- one item\n"
        "  continued under it\n"
        "- two <b>bold?</b>\n"
        "\n"
        "1. first\n"
        "2. second\n"
        "\n"
        "```sh\n"
        "echo '<script>' && a | b\n"
        "```\n"
        "| Key | Meaning |\n"
        "|-----|---------|\n"
        "| `A\\|B` | either |\n"
        "\n"
        "> a quote\n"
        "![The designer](docs/designer.png) and [evil](javascript:alert(1)) and "
        "<script>x</script>");
    const auto has = [&](const std::string& part) { return html.find(part) != std::string::npos; };
    EXPECT_TRUE(has("<h1 id=\"the-two-commands\">The two commands</h1>")) << html;
    EXPECT_TRUE(
        has("<p>Run <strong>it</strong> with <code>orvik &lt;file&gt;</code> and see "
            "<a href=\"#cubes-at-scale\">the docs</a>. A second line of the same "
            "paragraph, <em>emphasised</em>; ORVIK_HOME stays as written.</p>"))
        << html;
    EXPECT_TRUE(
        has("<ul>\n<li>one item continued under it</li>\n<li>two &lt;b&gt;bold?&lt;/b&gt;"
            "</li>\n</ul>"))
        << html;
    EXPECT_TRUE(has("<ol>\n<li>first</li>\n<li>second</li>\n</ol>")) << html;
    EXPECT_TRUE(has("<pre><code>echo '&lt;script&gt;' &amp;&amp; a | b\n</code></pre>")) << html;
    EXPECT_TRUE(
        has("<table>\n<tr><th>Key</th><th>Meaning</th></tr>\n<tr><td><code>A\\|B</code>"
            "</td><td>either</td></tr>\n</table>"))
        << html;
    EXPECT_TRUE(has("<blockquote>a quote</blockquote>")) << html;
    EXPECT_TRUE(has("<a href=\"docs/designer.png\">[The designer]</a>")) << html;
    // No script runs from the documentation, whatever it says.
    EXPECT_TRUE(has("<a href=\"#\">evil</a>")) << html;
    EXPECT_FALSE(has("<script")) << html;
    EXPECT_FALSE(has("<b>")) << html;
}

TEST(HelpPage, TheShippedDocumentationIsOnePageAndNoneIsNoPage) {
    test::TempDir program, work;
    EXPECT_EQ(WriteHelpPage(program.Path(), work.Path() + "help"), "");
    // The README itself, as the build copies it into the program folder.
    const std::string readme = test::ReadFileBytes(std::string(ORVIK_SOURCE_DIR) + "/README.md");
    ASSERT_FALSE(readme.empty());
    program.Write("doc/README.md", readme);
    program.Write("doc/report-format.md", "# The report format\nEvery property.\n");
    const std::string page = WriteHelpPage(program.Path(), work.Path() + "help");
    ASSERT_EQ(page, work.Path() + "help/help.html");
    const std::string html = test::ReadFileBytes(page);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<h2 id=\"the-two-commands\">"), std::string::npos);
    EXPECT_NE(html.find("<h1 id=\"the-report-format\">"), std::string::npos);
    // Every heading of the README outside its code blocks is a heading of the page.
    size_t headings = 0;
    bool code = false;
    for (size_t at = 0; at < readme.size();) {
        const size_t end = readme.find('\n', at);
        const std::string line = readme.substr(at, end - at);
        if (line.rfind("```", 0) == 0) code = !code;
        if (!code && line.rfind("#", 0) == 0) ++headings;
        at = end == std::string::npos ? readme.size() : end + 1;
    }
    const std::regex heading("<h[1-6] id=");
    const auto found = std::distance(std::sregex_iterator(html.begin(), html.end(), heading),
                                     std::sregex_iterator());
    EXPECT_EQ(static_cast<size_t>(found), headings + 1);
}

}  // namespace
}  // namespace orvik
