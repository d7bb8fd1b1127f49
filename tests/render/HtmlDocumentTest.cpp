// The page document: a user's layout must come back byte for byte except where a piece was put,
// elements must end where a browser ends them, and picture references must be rewritable.
#include "render/HtmlDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Replaces the one occurrence of `from` in `text` (the test fails if it is not exactly one).
std::string ReplaceOnce(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string OuterById(const std::string& html, const std::string& id) {
    CHtmlDocument document(html);
    const auto element = document.FindById(id);
    return element ? document.OuterHtml(*element) : "(none)";
}

const std::string kLayout =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
    "<HTML><HEAD><TITLE>Sales &amp; Stock</TITLE>\r\n"
    "<META http-equiv=Content-Type content=\"text/html; charset=windows-1251\">\r\n"
    "<STYLE>.sh0 {background-color: #c0c0c0}</STYLE>\r\n"
    "<SCRIPT language=JavaScript>\r\n"
    "<!--\r\n"
    "function bold(s) { return \"<b>\" + s + \"</b>\"; }\r\n"
    "if (a < b && b<c) document.write('<DIV id=OrvikSheet1></DIV>');\r\n"
    "//-->\r\n"
    "</SCRIPT>\r\n"
    "</HEAD>\r\n"
    "<BODY bgColor=#ffffff>\r\n"
    "<!-- the sheet goes here: <DIV id=OrvikSheet0></DIV> -->\r\n"
    "<P align=center><FONT face=Arial size=4>Monthly&nbsp;report &copy; R&amp;D</FONT>\r\n"
    "<o:p></o:p><MYWIDGET kind=clock>\r\n"
    "<TABLE border=0><TR><TD vAlign=top>\r\n"
    "<DIV id=OrvikParam0 style=\"HEIGHT: 30px\">parameter</DIV>\r\n"
    "<TD>\r\n"
    "<DIV id=OrvikSheet0 style=\"WIDTH: 400px; HEIGHT: 200px\"><P>placeholder</P></DIV>\r\n"
    "</TD></TR></TABLE>\r\n"
    "</MYWIDGET>\r\n"
    "</BODY></HTML>\r\n";

}  // namespace

TEST(HtmlDocumentLayout, PlacementChangesOnlyThePlaceholderSpans) {
    CHtmlDocument document(kLayout);
    EXPECT_EQ(document.Html(), kLayout);

    const std::string table =
        "<TABLE id=OrvikSheet0 border=1 class=sgo0>\n<TR><TD class=sh0>A</TD></TR>\n</TABLE>\n";
    const std::string panel =
        "<TABLE id=OrvikParam0 border=1>\n<TR><TD style='background-color:ffffff'>Year</TD>"
        "<TD style='background-color:ffffff'>2024</TD></TR></TABLE>\n";
    ASSERT_TRUE(document.PlacePiece("OrvikParam0", panel));
    ASSERT_TRUE(document.PlacePiece("OrvikSheet0", table));
    // The DIV written by the script and the one in the comment are text, not elements.
    EXPECT_FALSE(document.PlacePiece("OrvikSheet1", table));

    std::string expected = ReplaceOnce(
        kLayout, "<DIV id=OrvikParam0 style=\"HEIGHT: 30px\">parameter</DIV>",
        "<TABLE style=\"HEIGHT:30px\" id=OrvikParam0 border=1>\n<TR><TD "
        "style='background-color:ffffff'>Year</TD><TD style='background-color:ffffff'>2024</TD>"
        "</TR></TABLE>\n");
    expected = ReplaceOnce(
        expected,
        "<DIV id=OrvikSheet0 style=\"WIDTH: 400px; HEIGHT: 200px\"><P>placeholder</P></DIV>",
        "<TABLE style=\"WIDTH:400px; HEIGHT:200px\" id=OrvikSheet0 border=1 class=sgo0>\n<TR><TD "
        "class=sh0>A</TD></TR>\n</TABLE>\n");
    EXPECT_EQ(document.Html(), expected);
}

TEST(HtmlDocumentLayout, PlacePieceCarriesWidthAndHeight) {
    const std::string piece = "<TABLE id=OrvikSheet0 border=1 class=sgo0>\n</TABLE>\n";
    struct Case {
        std::string Placeholder;
        std::string Piece;
        std::string Expected;
    };
    const std::vector<Case> cases = {
        {"<DIV id=OrvikSheet0 style=\"WIDTH: 400px; HEIGHT: 200px\"></DIV>", piece,
         "<TABLE style=\"WIDTH:400px; HEIGHT:200px\" id=OrvikSheet0 border=1 class=sgo0>\n"
         "</TABLE>\n"},
        {"<div id=\"OrvikSheet0\" style=\"height:200px\">x</div>", piece,
         "<TABLE style=\"HEIGHT:200px\" id=OrvikSheet0 border=1 class=sgo0>\n</TABLE>\n"},
        {"<div id=OrvikSheet0 style='width: 50% !important ; color:red'></div>", piece,
         "<TABLE style=\"WIDTH:50%\" id=OrvikSheet0 border=1 class=sgo0>\n</TABLE>\n"},
        // Later declarations win, as in a browser; width= attributes are not style values.
        {"<DIV id=OrvikSheet0 width=300 style=\"width:1px;WIDTH:2px\"></DIV>", piece,
         "<TABLE style=\"WIDTH:2px\" id=OrvikSheet0 border=1 class=sgo0>\n</TABLE>\n"},
        {"<DIV id=OrvikSheet0 width=300 height=20></DIV>", piece, piece},
        // A bare number meant pixels to the browsers the layout was made with; today's want the
        // unit, or they leave the table unsized.
        {"<DIV id=OrvikSheet0 style=\"WIDTH: 760; HEIGHT: 12.5\"></DIV>", piece,
         "<TABLE style=\"WIDTH:760px; HEIGHT:12.5px\" id=OrvikSheet0 border=1 class=sgo0>\n"
         "</TABLE>\n"},
        {"<DIV id=OrvikSheet0 style=\"width:auto; height:10em\"></DIV>", piece,
         "<TABLE style=\"WIDTH:auto; HEIGHT:10em\" id=OrvikSheet0 border=1 class=sgo0>\n"
         "</TABLE>\n"},
        {"<DIV id=OrvikSheet0 style=\"HEIGHT: 30\"></DIV>", "",
         "<DIV id=OrvikSheet0 style=\"HEIGHT:30px\"></DIV>"},
        {"<DIV id=OrvikSheet0 style=\"WIDTH: 400px; HEIGHT: 200px\"></DIV>", "",
         "<DIV id=OrvikSheet0 style=\"WIDTH:400px; HEIGHT:200px\"></DIV>"},
        {"<SPAN id=OrvikSheet0>old</SPAN>", "", "<DIV id=OrvikSheet0></DIV>"},
        // Pieces the program never makes still get the size on a tag, never in the text.
        {"<DIV id=OrvikSheet0 style=\"HEIGHT:9px\"></DIV>", "<TABLE>\n</TABLE>",
         "<TABLE style=\"HEIGHT:9px\">\n</TABLE>"},
        {"<DIV id=OrvikSheet0 style=\"HEIGHT:9px\"></DIV>", "Total: 5 rows",
         "<DIV style=\"HEIGHT:9px\">Total: 5 rows</DIV>"},
        {"<DIV id=OrvikSheet0 style=\"HEIGHT:9px\"></DIV>", "\n<table\tid=t>x</table>",
         "\n<table style=\"HEIGHT:9px\"\tid=t>x</table>"},
    };
    for (const Case& c : cases) {
        const std::string page = "<BODY>before " + c.Placeholder + " after</BODY>";
        CHtmlDocument document(page);
        ASSERT_TRUE(document.PlacePiece("OrvikSheet0", c.Piece)) << c.Placeholder;
        EXPECT_EQ(document.Html(), "<BODY>before " + c.Expected + " after</BODY>") << c.Placeholder;
    }
}

TEST(HtmlDocumentLayout, MissingPlaceholderIsAppendedAndFoundAfterwards) {
    const std::string page = "<HTML><BODY><DIV id=OrvikSheet0></DIV></BODY></HTML>";
    CHtmlDocument document(page);
    const std::string table = "<TABLE id=OrvikSheet2 border=1 class=sgo2>\n</TABLE>\n";
    EXPECT_FALSE(document.PlacePiece("OrvikSheet2", table));
    EXPECT_EQ(document.Html(), page);
    document.AppendHtml(table);
    EXPECT_EQ(document.Html(), page + table);
    const auto appended = document.FindById("OrvikSheet2");
    ASSERT_TRUE(appended);
    EXPECT_EQ(document.OuterHtml(*appended),
              "<TABLE id=OrvikSheet2 border=1 class=sgo2>\n</TABLE>");
    // Ids are compared exactly, as a browser does.
    EXPECT_FALSE(document.FindById("orviksheet0"));
    EXPECT_FALSE(document.FindById(""));
}

TEST(HtmlDocumentLayout, ElementsEndWhereABrowserEndsThem) {
    struct Case {
        std::string Html;
        std::string Id;
        std::string Outer;
    };
    const std::vector<Case> cases = {
        {"<div id=a><div>x</div>y</div>z", "a", "<div id=a><div>x</div>y</div>"},
        {"<DIV id=a>x</div >y", "a", "<DIV id=a>x</div >"},
        {"<p id=a>one<p>two", "a", "<p id=a>one"},
        {"<p id=a>one<div>two</div>", "a", "<p id=a>one"},
        {"<p id=a>one<table><tr><td>x</td></tr></table>", "a",
         "<p id=a>one<table><tr><td>x</td></tr></table>"},
        {"<table><tr><td id=a>x<td id=b>y</table>", "a", "<td id=a>x"},
        {"<table><tr><td id=a>x<td id=b>y</table>", "b", "<td id=b>y"},
        {"<table><tr id=r><td>1<tr><td>2</table>", "r", "<tr id=r><td>1"},
        {"<table id=t><tr><td><table><tr><td>in</table>out</td></tr></table>after", "t",
         "<table id=t><tr><td><table><tr><td>in</table>out</td></tr></table>"},
        {"<ul><li id=a>x<li>y</ul>", "a", "<li id=a>x"},
        {"<ul><li id=a>x<ul><li>y</ul></li></ul>", "a", "<li id=a>x<ul><li>y</ul></li>"},
        {"<dl><dt id=a>t<dd>d</dl>", "a", "<dt id=a>t"},
        {"<select><option id=a>1<option>2</select>", "a", "<option id=a>1"},
        {"<h1 id=a>x<h2>y</h2>", "a", "<h1 id=a>x"},
        {"<a id=a href=1>x<a href=2>y</a>", "a", "<a id=a href=1>x"},
        // End tags that close nothing in scope are ignored.
        {"<div id=a><table><tr><td></div>x</td></tr></table></div>tail", "a",
         "<div id=a><table><tr><td></div>x</td></tr></table></div>"},
        {"<div id=a>x</span>y</b></div>", "a", "<div id=a>x</span>y</b></div>"},
        {"<span id=a>x<div>y</span>z</div>w</span>", "a",
         "<span id=a>x<div>y</span>z</div>w</span>"},
        {"<div id=a><span>x</div>", "a", "<div id=a><span>x</div>"},
        // Void and self-closed elements end with their tag.
        {"<img id=a src=x.gif>after</img>", "a", "<img id=a src=x.gif>"},
        {"<DIV id=a />rest<DIV>more</DIV>", "a", "<DIV id=a />"},
        {"<br id=\"a\"/>x", "a", "<br id=\"a\"/>"},
        {"<br id=a/>x", "a/", "<br id=a/>"},
        // Unquoted values may end in a slash: not self-closing.
        {"<div id=a title=x/>in</div>", "a", "<div id=a title=x/>in</div>"},
        // Raw text runs to its own end tag whatever it holds.
        {"<script id=a>if (a</b) x = \"</div>\";</SCRIPT >z", "a",
         "<script id=a>if (a</b) x = \"</div>\";</SCRIPT >"},
        {"<textarea id=a><b>x</textarea>y", "a", "<textarea id=a><b>x</textarea>"},
        {"<style id=a>p{}</stylex></style>", "a", "<style id=a>p{}</stylex></style>"},
        {"<script id=a>never closed", "a", "<script id=a>never closed"},
        {"<script id=a src=x.js />x<div id=b></div></script>", "a",
         "<script id=a src=x.js />x<div id=b></div></script>"},
        // Quotes protect ">" and blanks; the first of two ids counts.
        {"<div title='a>b' id=\"x y\" data=z>in</div>", "x y",
         "<div title='a>b' id=\"x y\" data=z>in</div>"},
        {"<div id=\"a&amp;b\">in</div>", "a&b", "<div id=\"a&amp;b\">in</div>"},
        {"<div id=a id=b>x</div>", "b", "(none)"},
        {"<div id=d>1</div><div id=d>2</div>", "d", "<div id=d>1</div>"},
        // Comments, declarations and open elements at the end of the text.
        {"<!-- <div id=a>hidden</div> -->", "a", "(none)"},
        {"<!--> <div id=a>x</div>", "a", "<div id=a>x</div>"},
        {"<!-- x --!> <div id=a>x</div>", "a", "<div id=a>x</div>"},
        {"<!-- never closed <div id=a>x</div>", "a", "(none)"},
        {"<![CDATA[ x ]]><div id=a>x</div>", "a", "<div id=a>x</div>"},
        {"<div id=a>open to the end", "a", "<div id=a>open to the end"},
        {"<div id=a>x</div><div id=b title=\"never closed>", "b", "(none)"},
        {"a < b <3 <div id=a>x</div>", "a", "<div id=a>x</div>"},
    };
    for (const Case& c : cases) EXPECT_EQ(OuterById(c.Html, c.Id), c.Outer) << c.Html;
}

TEST(HtmlDocumentLayout, HeadEndsWhereTheBodyBegins) {
    const std::string page = "<html><head><title>t</title>\n<body><p>x</body></html>";
    CHtmlDocument document(page);
    const auto head = document.FirstElementByTagName("head");
    ASSERT_TRUE(head);
    EXPECT_EQ(document.OuterHtml(*head), "<head><title>t</title>\n");
    EXPECT_EQ(head->EndTagStart, head->End);
    // A second BODY merges into the first: it is no element of its own.
    EXPECT_EQ(CHtmlDocument("<body>a<BODY>b</body>").ElementsByTagName("body").size(), 1u);
}

TEST(HtmlDocumentLayout, ElementsByTagNameListsInDocumentOrderWithExtents) {
    CHtmlDocument document(
        "<TABLE><TR><TD background=a.gif>1</TD><td>2<TD BACKGROUND='b.gif'>3</TABLE>"
        "<!-- <td> --><script>'<td>'</script>");
    const auto cells = document.ElementsByTagName("td");
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(document.OuterHtml(cells[0]), "<TD background=a.gif>1</TD>");
    EXPECT_EQ(document.OuterHtml(cells[1]), "<td>2");
    EXPECT_EQ(document.OuterHtml(cells[2]), "<TD BACKGROUND='b.gif'>3");
    EXPECT_EQ(cells[2].Name, "TD");
    EXPECT_EQ(document.GetAttribute(cells[0], "BACKGROUND"), "a.gif");
    EXPECT_EQ(document.GetAttribute(cells[1], "background"), std::nullopt);
    EXPECT_EQ(document.GetAttribute(cells[2], "background"), "b.gif");
    EXPECT_EQ(document.ElementsByTagName("*").size(), 6u);
}

TEST(HtmlDocumentAttributes, SetReplacesOnlyTheValueSpan) {
    struct Case {
        std::string Tag;
        std::string Value;
        std::string Expected;
    };
    const std::vector<Case> cases = {
        {"<IMG border=0 SRC=\"img/logo.gif\" alt=x>", "cid:OrvikID0",
         "<IMG border=0 SRC=\"cid:OrvikID0\" alt=x>"},
        {"<img src='a.gif'>", "it's", "<img src='it&#39;s'>"},
        {"<img src=a.gif width=3>", "b c.gif", "<img src=\"b c.gif\" width=3>"},
        {"<img src=a.gif>", "logo.gif", "<img src=logo.gif>"},
        {"<img src = \"a.gif\" >", "x&y", "<img src = \"x&amp;y\" >"},
        {"<img src>", "a.gif", "<img src=\"a.gif\">"},
        {"<img alt=\"a\"/>", "a.gif", "<img src=\"a.gif\" alt=\"a\"/>"},
        {"<img alt=>", "a.gif", "<img src=\"a.gif\" alt=>"},
        {"<IMG>", "a.gif", "<IMG src=\"a.gif\">"},
        {"<img src=\"x\" src=\"y\">", "z", "<img src=\"z\" src=\"y\">"},
    };
    for (const Case& c : cases) {
        const std::string page = "<p>" + c.Tag + "<b>after</b>";
        CHtmlDocument document(page);
        const auto images = document.ElementsByTagName("IMG");
        ASSERT_EQ(images.size(), 1u) << c.Tag;
        ASSERT_TRUE(document.SetAttribute(images[0], "src", c.Value));
        EXPECT_EQ(document.Html(), "<p>" + c.Expected + "<b>after</b>") << c.Tag;
        EXPECT_EQ(document.GetAttribute(document.ElementsByTagName("img")[0], "src"), c.Value);
    }
}

TEST(HtmlDocumentAttributes, StaleHandlesAndBadNamesAreRefused) {
    CHtmlDocument document("<div id=a>x</div><div id=b>y</div>");
    const auto a = document.FindById("a");
    const auto b = document.FindById("b");
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(document.SetAttribute(*a, "bad name", "v"));
    EXPECT_FALSE(document.SetAttribute(*a, "", "v"));
    ASSERT_TRUE(document.ReplaceOuterHtml(*a, "<p>longer text</p>"));
    EXPECT_FALSE(document.IsCurrent(*b));
    EXPECT_FALSE(document.ReplaceOuterHtml(*b, "lost"));
    EXPECT_FALSE(document.SetAttribute(*b, "title", "lost"));
    EXPECT_EQ(document.OuterHtml(*b), "");
    EXPECT_EQ(document.Html(), "<p>longer text</p><div id=b>y</div>");
    CHtmlElement forged = *document.FindById("b");
    forged.End = 1000;
    EXPECT_FALSE(document.ReplaceOuterHtml(forged, "x"));
}

TEST(HtmlDocumentAttributes, PicturesAreRewrittenInOnePass) {
    const std::string page =
        "<HTML><BODY><IMG src=\"img/logo.gif\"><TABLE><TR><TD background=back.jpg>x"
        "<TD>no picture<TD BACKGROUND=\"\">empty</TABLE><img src='img/logo.gif' alt=again>"
        "<img alt=none><!-- <img src=hidden.gif> --></BODY></HTML>";
    CHtmlDocument document(page);
    std::vector<std::string> seen;
    auto toCid = [&](const std::optional<std::string>& value) -> std::optional<std::string> {
        seen.push_back(value.value_or("(absent)"));
        if (!value || value->empty()) return std::nullopt;
        return "cid:" + std::string(*value == "img/logo.gif" ? "OrvikID0" : "OrvikID1");
    };
    EXPECT_EQ(document.RewriteAttribute("IMG", "src", toCid), 2u);
    EXPECT_EQ(document.RewriteAttribute("TD", "background", toCid), 1u);
    EXPECT_EQ(seen, (std::vector<std::string>{"img/logo.gif", "img/logo.gif", "(absent)",
                                              "back.jpg", "(absent)", ""}));
    EXPECT_EQ(document.Html(),
              "<HTML><BODY><IMG src=\"cid:OrvikID0\"><TABLE><TR><TD background=cid:OrvikID1>x"
              "<TD>no picture<TD BACKGROUND=\"\">empty</TABLE><img src='cid:OrvikID0' alt=again>"
              "<img alt=none><!-- <img src=hidden.gif> --></BODY></HTML>");
    EXPECT_EQ(document.RewriteAttribute("IMG", "src", [](const auto&) { return std::nullopt; }),
              0u);
}

TEST(HtmlDocumentCharset, ReadsTheDeclaredCharset) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=windows-1251\">",
         "windows-1251"},
        {"<meta http-equiv=content-type content='text/html;charset = \"utf-8\"'>", "utf-8"},
        {"<meta charset=\" koi8-r \">", "koi8-r"},
        {"<meta name=GENERATOR content=\"charset=x\"><meta charset=utf-8>", "utf-8"},
        {"<!-- <meta charset=latin1> --><p>no declaration", ""},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html\">", ""},
    };
    for (const auto& [page, charset] : cases)
        EXPECT_EQ(CHtmlDocument(page).Charset(), charset) << page;
}

// Pages built to make a careless scanner walk or search again and again; each must finish in
// one pass (a quadratic scanner takes minutes here).
TEST(HtmlDocumentScale, HostilePagesScanInLinearTime) {
    const std::size_t n = 50000;
    auto repeat = [](const std::string& piece, std::size_t times) {
        std::string out;
        out.reserve(piece.size() * times);
        for (std::size_t i = 0; i < times; ++i) out += piece;
        return out;
    };
    const std::vector<std::string> pages = {
        "<div><table>" + repeat("<span>", n) + repeat("</div>", n) + "<i id=end></i>",
        repeat("<b>", n) + repeat("</u>", n) + "<i id=end></i>",
        repeat("<!-- x -->", n) + "<i id=end></i>",
        "<script>" + repeat("</scrip", n) + "</script><i id=end></i>",
        repeat("<ul><li>", n) + "<li><i id=end></i>",
        repeat("<table><tr><td>", n / 4) + "<tr><i id=end></i>",
        repeat("<p>", n) + "<i id=end></i>",
        repeat("&amp;<", n) + "<i id=end></i>",
        "<div id=\"" + repeat("&amp;", n) + "\"></div><i id=end></i>",
    };
    for (const std::string& page : pages) {
        CHtmlDocument document(page);
        const auto end = document.FindById("end");
        ASSERT_TRUE(end) << page.substr(0, 40);
        EXPECT_EQ(document.OuterHtml(*end), "<i id=end></i>");
        EXPECT_FALSE(document.ElementsByTagName("*").empty());
    }
    CHtmlDocument unterminated(repeat("<a ", n));
    EXPECT_TRUE(unterminated.ElementsByTagName("*").empty());
}
