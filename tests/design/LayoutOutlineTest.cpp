// The layout editor's outline, placeholders and template, on layouts as users write them.
#include "design/LayoutOutline.h"

#include "design/DesignerFixture.h"
#include "render/HtmlDocument.h"

namespace orvik::design {
namespace {

using LayoutOutlineTest = test::DesignerFixture;

TEST_F(LayoutOutlineTest, TheOutlineNestsElementsAndMarksPlaceholders) {
    const std::string html =
        "<HTML><body><h1>Title</h1><TABLE><tr><td id=OrvikSheet0></td><td id='OrvikParam12'>"
        "</td></tr></TABLE><p>unclosed<div id=OrvikSheetX></div></body></HTML>";
    const std::vector<LayoutNode> nodes = LayoutOutline(html);
    ASSERT_GE(nodes.size(), 8u);
    EXPECT_EQ(nodes[0].Tag, "HTML");
    EXPECT_EQ(nodes[0].Depth, 0);
    EXPECT_EQ(nodes[1].Tag, "BODY");
    EXPECT_EQ(nodes[1].Depth, 1);
    std::vector<std::string> placeholders;
    for (const LayoutNode& node : nodes) {
        EXPECT_EQ(html.compare(node.Offset, 1, "<"), 0) << node.Tag;
        if (node.Placeholder) placeholders.push_back(node.Id);
        if (node.Id == "OrvikSheet0") {
            EXPECT_EQ(node.Depth, 4) << "inside HTML BODY TABLE TR";
        }
    }
    // An id that merely starts like one is no placeholder.
    EXPECT_EQ(placeholders, (std::vector<std::string>{"OrvikSheet0", "OrvikParam12"}));
    EXPECT_TRUE(LayoutOutline("").empty());
    EXPECT_TRUE(LayoutOutline("just text, <not a tag").size() <= 1);
}

TEST_F(LayoutOutlineTest, PlaceholdersAndTheTemplateCoverTheReport) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSheet("Revenue <by region>", "Sales");
    AddSheet("Top", "Sales");
    test::AddParameter(Report(), "Region", "North");
    const std::vector<LayoutPlaceholder> found =
        LayoutPlaceholders(Report(), "<div id=\"OrvikSheet1\"></div>");
    ASSERT_EQ(found.size(), Report().Sheets.size() + 1);
    EXPECT_EQ(found.back().Id, "OrvikParam0");
    EXPECT_EQ(found.back().Caption, "Parameter Region");
    for (const LayoutPlaceholder& placeholder : found)
        EXPECT_EQ(placeholder.Present, placeholder.Id == "OrvikSheet1") << placeholder.Id;

    const std::string layout = LayoutTemplate(Report());
    const CHtmlDocument document(layout);
    for (const LayoutPlaceholder& placeholder : LayoutPlaceholders(Report(), layout)) {
        EXPECT_TRUE(placeholder.Present) << placeholder.Id;
        EXPECT_TRUE(document.FindById(placeholder.Id).has_value());
    }
    // A sheet's name is text in the template, never markup.
    EXPECT_EQ(layout.find("<by region>"), std::string::npos);
    EXPECT_NE(layout.find("&lt;by region&gt;"), std::string::npos);
    EXPECT_EQ(PlaceholderMarkup("OrvikSheet3"), "<div id=\"OrvikSheet3\"></div>");
}

}  // namespace
}  // namespace orvik::design
