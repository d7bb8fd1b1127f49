// The query editor on the example's database: colouring, completion, Run with its rows or its
// error, and replace-all taken back by one undo.
#include "ui/SourceEditor.h"

#include <gtest/gtest.h>
#include <wx/fdrepdlg.h>
#include <wx/listctrl.h>
#include <wx/stc/stc.h>

#include <filesystem>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "WindowFixture.h"
#include "core/LanguageTexts.h"
#include "ui/DialogTranslation.h"

namespace orvik::ui {
namespace {

using SourceEditorTest = test::WindowFixture;

TEST_F(SourceEditorTest, AQueryIsColouredCompletedRunAndItsErrorFound) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region from sales");
    SourceEditor editor(frame_, "Sales", SourceLanguage::Sql, "select region, amount\nfrom sa",
                        QueryTools(Ctx(), sales));
    editor.Show();
    wxStyledTextCtrl& text = editor.Editor();
    text.Colourise(0, -1);
    EXPECT_EQ(text.GetStyleAt(0), wxSTC_SQL_WORD);  // "select"
    EXPECT_NE(text.GetStyleAt(7), wxSTC_SQL_WORD);  // "region"
    EXPECT_GT(text.GetMarginWidth(0), 0);           // line numbers
    EXPECT_FALSE(text.CanUndo());                   // the text as given is no edit

    text.GotoPos(text.GetLength());
    ASSERT_TRUE(editor.Complete());
    EXPECT_TRUE(text.AutoCompActive());
    text.AutoCompComplete();
    EXPECT_EQ(text.GetText(), "select region, amount\nfrom sales");

    editor.RunQuery();
    EXPECT_EQ(editor.Result()->GetColumnCount(), 2);
    EXPECT_EQ(editor.Result()->GetItemCount(), 3);
    EXPECT_EQ(editor.Result()->GetItemText(0, 0), "North");
    EXPECT_EQ(editor.Result()->GetItemText(1, 1), "-50");
    EXPECT_EQ(editor.Status(), "3 rows");

    text.SetText("select region\nfrom sales\norderby region");
    editor.RunQuery();
    // "orderby" reads as the table's alias; the error is at the "region" after it, not at the
    // first "region" of the text.
    EXPECT_NE(editor.Status().Find("near \"region\""), wxNOT_FOUND) << editor.Status();
    EXPECT_EQ(editor.Result()->GetItemCount(), 0);
    EXPECT_EQ(text.GetCurrentPos(), 33);
    EXPECT_EQ(sales.Qry.Value, "select region from sales");

    std::filesystem::create_directories("test-output");
    text.SetText("select region, sum(amount) as total\nfrom sales\ngroup by region");
    editor.RunQuery();
    test::ProcessPendingEvents();
    EXPECT_TRUE(test::SaveWindowPicture(editor, "test-output/designer-query-editor.png"));
}

TEST_F(SourceEditorTest, ReplaceAllIsOneEditToUndo) {
    SourceEditor editor(frame_, "Text", SourceLanguage::Mdx,
                        "select [A] on columns, [A].children on rows from [A]");
    wxStyledTextCtrl& text = editor.Editor();
    wxFindDialogEvent replace(wxEVT_FIND_REPLACE_ALL, wxID_ANY);
    replace.SetFindString("[A]");
    replace.SetReplaceString("[Region]");
    replace.SetFlags(wxFR_DOWN | wxFR_MATCHCASE);
    editor.ProcessWindowEvent(replace);
    EXPECT_EQ(text.GetText(),
              "select [Region] on columns, [Region].children on rows from [Region]");
    EXPECT_EQ(editor.Status(), "3 replaced");
    text.Undo();
    EXPECT_EQ(text.GetText(), "select [A] on columns, [A].children on rows from [A]");
}

}  // namespace
}  // namespace orvik::ui

namespace orvik::ui {
namespace {

using DialogTranslationTest = test::WindowFixture;

TEST_F(DialogTranslationTest, TheLanguageFileNamesTheCaptionAndTheButtons) {
    program.Home().Write("orvik18_deu.lng", "SH=Abfrage\nSH1=Ausf\xC3\xBChren\nSH5101=Abbrechen\n");
    ASSERT_TRUE(Ctx().Language().LoadLanguage("DEU", program.Home().Path()));
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select 1");
    SourceEditor editor(frame_, "Sales", SourceLanguage::Sql, "select 1", QueryTools(Ctx(), sales));
    EXPECT_EQ(editor.GetTitle(), "Abfrage");
    ASSERT_NE(editor.FindWindow(kRunButton), nullptr);
    EXPECT_EQ(editor.FindWindow(kRunButton)->GetLabel(), wxString::FromUTF8("Ausf\xC3\xBChren"));
    EXPECT_EQ(editor.FindWindow(wxID_CANCEL)->GetLabel(), "Abbrechen");
    EXPECT_EQ(editor.FindWindow(kFindButton)->GetLabel(), "&Find...");  // no key: as it was
}

}  // namespace
}  // namespace orvik::ui
