// The page layout editor: a placeholder inserted at the caret leaves every other byte of the
// layout as the user wrote it; the outline follows the text; the template covers the report.
#include "ui/LayoutEditor.h"

#include <gtest/gtest.h>
#include <wx/stc/stc.h>
#include <wx/treectrl.h>

#include <filesystem>

#include "WindowFixture.h"

namespace orvik::ui {
namespace {

using LayoutEditorTest = test::WindowFixture;

TEST_F(LayoutEditorTest, APlaceholderGoesInAtTheCaretAndNothingElseMoves) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSheet("Revenue", "Sales");
    test::AddParameter(Report(), "Région", "North");
    // Written by hand: odd spacing, upper-case tags, a comment, no closing tags, CRLF, UTF-8.
    const std::string layout =
        "<HTML>\r\n<!-- keep me -->\r\n<BODY bgcolor=#ffffff>\r\n  <P>Région   café\r\n"
        "  <TABLE><TR><TD id=OrvikParam0></TD></TR></TABLE>\r\n</BODY></HTML>\r\n";
    LayoutEditor editor(frame_, Report(), layout);
    editor.Show();
    EXPECT_EQ(editor.Layout(), layout);
    EXPECT_GT(editor.Outline().GetCount(), 5u);

    const size_t at = layout.find("  <TABLE>");
    editor.Editor().GotoPos(static_cast<int>(at));
    editor.InsertPlaceholder("OrvikSheet0");
    EXPECT_EQ(editor.Layout(),
              layout.substr(0, at) + "<div id=\"OrvikSheet0\"></div>" + layout.substr(at));
    editor.Editor().Undo();
    EXPECT_EQ(editor.Layout(), layout);

    std::filesystem::create_directories("test-output");
    editor.InsertPlaceholder("OrvikSheet0");
    editor.Refresh();
    EXPECT_TRUE(test::SaveWindowPicture(editor, "test-output/designer-layout.png"));

    editor.UseTemplate();
    EXPECT_NE(editor.Layout().find("id=\"OrvikSheet0\""), std::string::npos);
    EXPECT_NE(editor.Layout().find("id=\"OrvikParam0\""), std::string::npos);
}

}  // namespace
}  // namespace orvik::ui
