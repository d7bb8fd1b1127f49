// Undo and redo over real edits: a rename with the names that follow it, objects added and
// removed, and the history's bounds.
#include "design/EditHistory.h"

#include <filesystem>

#include "design/DesignerFixture.h"
#include "design/ExplorerModel.h"

namespace orvik::design {
namespace {

class EditHistoryTest : public test::DesignerFixture {
  protected:
    std::string Folder() { return program.Home().Path() + "undo"; }
    size_t StateFiles() {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(Folder()))
            ++count;
        return count;
    }
    COvInfoDS* Source(const std::string& name) {
        for (const auto& ds : Report().DataSources)
            if (ds->Name.Value == name) return ds.get();
        return nullptr;
    }
    COvInfoSheet* Sheet(const std::string& name) {
        for (const auto& sheet : Report().Sheets)
            if (sheet->Name.Value == name) return sheet.get();
        return nullptr;
    }
};

TEST_F(EditHistoryTest, UndoTakesBackAnEditWithEverythingItSetOffAndRedoDoesItAgain) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSheet("A", "Sales");
    Report().CurrentDocPath = program.Home().Path() + "Shop.ovk";
    Report().Modified = false;
    EditHistory history(Ctx(), Folder());
    history.Start();
    EXPECT_FALSE(history.CanUndo());

    Edit(ObjectKind::DataSource, *Source("Sales"), "Name", "Shop");
    ASSERT_TRUE(history.Record("Name"));
    ASSERT_EQ(Sheet("A")->cDS.Value, "Shop");  // the sheet followed the rename
    Edit(ObjectKind::DataSource, *Source("Shop"), "Qry", "select region from sales");
    ASSERT_TRUE(history.Record("Query"));
    EXPECT_EQ(history.UndoText(), "Query");

    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(Source("Shop")->Qry.Value, "select region, amount from sales");
    EXPECT_EQ(history.UndoText(), "Name");
    EXPECT_EQ(history.RedoText(), "Query");
    ASSERT_TRUE(history.Undo());
    ASSERT_NE(Source("Sales"), nullptr);
    EXPECT_EQ(Source("Shop"), nullptr);
    EXPECT_EQ(Sheet("A")->cDS.Value, "Sales");
    // Undone is run again as opening runs it: the sheet shows the source's rows.
    EXPECT_EQ(GridRows(*Sheet("A")), 4);
    EXPECT_FALSE(history.CanUndo());
    // The report is still the user's file, changed.
    EXPECT_EQ(Report().CurrentDocPath, program.Home().Path() + "Shop.ovk");
    EXPECT_TRUE(Report().Modified);

    ASSERT_TRUE(history.Redo());
    EXPECT_EQ(Sheet("A")->cDS.Value, "Shop");
    EXPECT_EQ(Source("Shop")->Qry.Value, "select region, amount from sales");
    ASSERT_TRUE(history.Redo());
    EXPECT_EQ(Source("Shop")->Qry.Value, "select region from sales");
    EXPECT_FALSE(history.Redo());

    // A new edit after an undo drops what could have been redone.
    ASSERT_TRUE(history.Undo());
    Edit(ObjectKind::DataSource, *Source("Shop"), "Name", "Store");
    ASSERT_TRUE(history.Record("Name"));
    EXPECT_FALSE(history.CanRedo());
    EXPECT_EQ(StateFiles(), 3u);
}

TEST_F(EditHistoryTest, AddedAndRemovedObjectsComeBackAndTheHistoryStaysBounded) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSheet("A", "Sales");
    EditHistory history(Ctx(), Folder(), 3);
    history.Start();
    COvInfoObject* added = NewItem(Ctx(), ExplorerRoot::Sheets);
    ASSERT_NE(added, nullptr);
    ASSERT_TRUE(history.Record("New sheet"));
    const size_t sheets = Report().Sheets.size();
    Front().Answer = MessageBoxResult::Yes;  // "sure to delete?"
    ASSERT_TRUE(DeleteItem(Ctx(), *Sheet("A")));
    ASSERT_TRUE(history.Record("Delete"));
    EXPECT_EQ(Sheet("A"), nullptr);

    ASSERT_TRUE(history.Undo());
    ASSERT_NE(Sheet("A"), nullptr);
    EXPECT_EQ(Sheet("A")->cDS.Value, "Sales");
    EXPECT_EQ(Report().Sheets.size(), sheets);
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(Report().Sheets.size(), sheets - 1);

    // Three edits back at most: the oldest states go, files and all.
    for (int i = 0; i < 6; ++i) {
        Edit(ObjectKind::Sheet, *Sheet("A"), "Title", "T" + std::to_string(i));
        ASSERT_TRUE(history.Record("Title"));
    }
    EXPECT_EQ(StateFiles(), 4u);
    int undone = 0;
    while (history.Undo()) ++undone;
    EXPECT_EQ(undone, 3);
    EXPECT_EQ(Sheet("A")->Get("Title"), "T2");
}

TEST_F(EditHistoryTest, AStateThatCannotBeReadBackLeavesTheReportAsItIs) {
    AddSource("Sales", "shop.db", "select region from sales");
    EditHistory history(Ctx(), Folder());
    history.Start();
    Edit(ObjectKind::DataSource, *Source("Sales"), "Name", "Shop");
    ASSERT_TRUE(history.Record("Name"));
    for (const auto& entry : std::filesystem::directory_iterator(Folder()))
        std::filesystem::resize_file(entry.path(), 0);
    EXPECT_FALSE(history.Undo());
    EXPECT_NE(Source("Shop"), nullptr);
    EXPECT_TRUE(history.CanUndo());
}

}  // namespace
}  // namespace orvik::design
