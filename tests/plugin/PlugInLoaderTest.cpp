#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "model/TypeRegistries.h"
#include "orvik/RepPlugIn.h"
#include "plugin/PlugInLoader.h"
#include "render/GridViews.h"
#include "tasks/TaskRunner.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;

// A program folder holding the test plug-ins under names whose order is not their build order,
// beside a library without the entry, one built for another interface version and a file that
// is no library at all.
class PlugInLoaderTest : public ::testing::Test {
  protected:
    PlugInLoaderTest() { Report().StartNew(); }

    void Install(const char* built, const std::string& as) {
        fs::copy_file(fs::path(ORVIK_TEST_PLUGIN_DIR) / built, program.Home().Path() + as,
                      fs::copy_options::overwrite_existing);
    }
    void InstallAll() {
        Install("TestPlugInBeta.rll", "10-beta.rll");
        Install("TestPlugInAlpha.rll", "20-alpha.rll");
        Install("TestPlugInNoEntry.rll", "05-helper.rll");
        Install("TestPlugInOldInterface.rll", "07-old.rll");
        program.Home().Write("08-broken.rll", "not a library");
        // Only "*.rll" files are plug-ins.
        Install("TestPlugInAlpha.rll", "30-alpha.so");
    }

    CReport& Report() { return program.Context().Report(); }
    CRegistries& Registries() { return program.Context().Registries(); }
    int IndexOf(int list, const char* name) {
        const COvCombos* entry = Registries().FindComboValue(list, name);
        return entry ? entry->PlugInIndex : -99;
    }
    bool Logged(const std::string& text) {
        return program.ReadLog().find(text) != std::string::npos;
    }

    test::TestProgram program;
};

TEST_F(PlugInLoaderTest, NoPlugInsLeavesEveryTypeToTheProgram) {
    EXPECT_EQ(LoadPlugIns(program.Context()), 0);
    EXPECT_TRUE(program.Context().Registries().PlugIns.empty());
    for (const auto& entry : Registries().ComboValues) EXPECT_EQ(entry->PlugInIndex, -1);
}

TEST_F(PlugInLoaderTest, LoadsInFileNameOrderAndSkipsWhatCannotBeUsed) {
    InstallAll();
    ASSERT_EQ(LoadPlugIns(program.Context()), 2);
    ASSERT_EQ(program.Context().Registries().PlugIns.size(), 2u);
    EXPECT_EQ(program.Context().Registries().PlugIns[0]->m_Name, "Test Beta");
    EXPECT_EQ(program.Context().Registries().PlugIns[0]->m_FileName, "10-beta.rll");
    EXPECT_EQ(program.Context().Registries().PlugIns[0]->m_PlugInIndex, 0);
    EXPECT_EQ(program.Context().Registries().PlugIns[1]->m_Name, "Test Alpha");
    EXPECT_EQ(program.Context().Registries().PlugIns[1]->m_PlugInIndex, 1);
    EXPECT_EQ(program.Context().Registries().PlugIns[1]->m_pApp, &program.Context());

    // Each registration carries its plug-in's index; the program's own keep -1.
    EXPECT_EQ(IndexOf(ListId::DataSourceTypes, "BetaDS"), 0);
    EXPECT_EQ(IndexOf(ListId::OutputTypes, "BetaView"), 0);
    EXPECT_EQ(IndexOf(ListId::TaskTypes, "AlphaTask"), 1);
    EXPECT_EQ(IndexOf(ListId::ExportFormats, "AlphaFormat"), 1);
    EXPECT_EQ(IndexOf(ListId::DataSourceTypes, "SQL"), -1);
    EXPECT_EQ(IndexOf(ListId::TaskTypes, "SMTP"), -1);

    // A user must be able to see why a plug-in is missing: the log says it, with the reason.
    EXPECT_TRUE(Logged("Unable to load plug-in " + program.Home().Path() + "08-broken.rll: "));
    EXPECT_TRUE(Logged("07-old.rll was built for plug-in interface version " +
                       std::to_string(kOrvikPlugInInterfaceVersion + 1)));
    EXPECT_FALSE(Logged("TestPlugIn Other"));  // the old one was never called
    EXPECT_TRUE(Logged("TestPlugIn Beta: init as index 0"));

    const auto rows = PlugInAboutRows(program.Context().Registries());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].FileName, "20-alpha.rll");
    EXPECT_EQ(rows[1].Version, "1.0");

    // Loading is once per program.
    EXPECT_EQ(LoadPlugIns(program.Context()), 0);
    EXPECT_EQ(program.Context().Registries().PlugIns.size(), 2u);
}

TEST_F(PlugInLoaderTest, ObjectsOfPlugInTypesReachTheirPlugIn) {
    InstallAll();
    ASSERT_EQ(LoadPlugIns(program.Context()), 2);

    COvInfoDS* source = Report().NewDataSource("Feed");
    source->tpDS.Value = "AlphaDS";
    Registries().PrepareNewCombo(source->tpDS, source->Props, true);
    EXPECT_EQ(source->OpenConnectDS(program.Context(), true), 1);
    EXPECT_TRUE(Logged("TestPlugIn Alpha: open Feed key k"));

    COvInfoSheet* sheet = Report().NewSheet("Chart");
    sheet->cDS.Value = "Feed";
    sheet->tpVW.Value = "BetaView";
    EXPECT_EQ(MakeGridView(program.Context(), *sheet), nullptr);
    EXPECT_NE(sheet->OwnedView, nullptr);
    EXPECT_TRUE(Logged("TestPlugIn Beta: view of Chart"));

    auto task = std::make_unique<COvInfoAct>(&program.Context().Registries(), GroupId::Task);
    task->Name.Value = "Daily";
    COvInfoAct* daily = task.get();
    Report().Tasks.push_back(std::move(task));
    auto step = std::make_unique<COvInfoAct>(&program.Context().Registries(), GroupId::Task);
    step->Name.Value = "Book";
    step->Parent = daily;
    step->AType.Value = "AlphaTask";
    Registries().PrepareNewCombo(step->AType, step->Props, true);
    COvInfoAct* book = step.get();
    Report().Tasks.push_back(std::move(step));
    RunAllSteps(program.Context(), *daily);
    EXPECT_TRUE(Logged("TestPlugIn Alpha: task AlphaTask step Book"));

    // Each type is an entry of the program's registries that forwards to its own plug-in.
    const TypeRegistries& types = Registries().Types;
    std::string part;
    EXPECT_EQ(types.Views.Find("BetaView").ExportSheet(program.Context(), *sheet, *book, part),
              SheetExport::Done);
    EXPECT_EQ(part, "<p>Beta part of Chart</p>");
    EXPECT_TRUE(types.Steps.Find("AlphaTask")->Deliver(program.Context(), *book));
    EXPECT_TRUE(Logged("TestPlugIn Alpha: deliver Book"));
    EXPECT_TRUE(types.Steps.Find("BetaTask")->Deliver(program.Context(), *book));
    EXPECT_TRUE(Logged("Plug-in 10-beta.rll failed in delivering: Beta cannot deliver Book"));
    // The program's own types are untouched by the plug-ins' entries.
    EXPECT_FALSE(types.Steps.Find("HTML")->Deliver(program.Context(), *book));
    EXPECT_FALSE(TaskStepRegistry::Builtin().Has("AlphaTask"));

    // An edit of the sheet reaches its view's plug-in (with the sheet as current object) and
    // an edit of the step its type's plug-in.
    EXPECT_TRUE(NotifyTypesOfChange(program.Context(), *sheet, sheet->Name, sheet));
    EXPECT_EQ(program.Context().Registries().PlugIns[0]->m_pCurObj, sheet);
    EXPECT_TRUE(Logged("TestPlugIn Beta: view property Name=Chart"));
    EXPECT_TRUE(NotifyTypesOfChange(program.Context(), *book, book->Name, nullptr));
    EXPECT_TRUE(Logged("TestPlugIn Alpha: property Name=Book"));
    COvInfoSheet* plain = Report().NewSheet("Plain");
    EXPECT_FALSE(NotifyTypesOfChange(program.Context(), *plain, plain->Name, plain));
}

// A plug-in that writes only Init leaves the rest to CRepPlugInBase, whose every answer must be
// the one the loader gives where no plug-in is: the program renders the sheet, makes no view,
// and the step, the delivery and the edits pass without an error.
TEST_F(PlugInLoaderTest, BaseClassDefaultsAnswerAsAMissingPlugInDoes) {
    Install("TestPlugInSparse.rll", "10-sparse.rll");
    ASSERT_EQ(LoadPlugIns(program.Context()), 1);
    EXPECT_EQ(program.Context().Registries().PlugIns[0]->m_Name, "Test Sparse");
    EXPECT_EQ(program.Context().Registries().PlugIns[0]->m_Version, "1.0");
    EXPECT_TRUE(Logged("TestPlugIn Sparse: init"));
    const int sparse = IndexOf(ListId::OutputTypes, "SparseView");
    ASSERT_EQ(sparse, 0);
    const TypeRegistries& types = Registries().Types;

    COvInfoSheet* sheet = Report().NewSheet("Plain");
    sheet->tpVW.Value = "SparseView";
    COvInfoAct step(&Registries(), GroupId::Task);
    step.Name.Value = "Book";
    step.AType.Value = "SparseTask";
    Registries().PrepareNewCombo(step.AType, step.Props, true);
    std::string page = "kept";
    EXPECT_EQ(types.Views.Find("SparseView").ExportSheet(program.Context(), *sheet, step, page),
              SheetExport::Builtin);
    EXPECT_EQ(page, "kept");
    EXPECT_EQ(types.Views.Find("SparseView").MakeView(program.Context(), *sheet), nullptr);
    EXPECT_EQ(sheet->OwnedView, nullptr);

    // A source of its type cannot open: the plug-in never said how.
    COvInfoDS* source = Report().NewDataSource("Feed");
    source->tpDS.Value = "SparseDS";
    Registries().PrepareNewCombo(source->tpDS, source->Props, true);
    EXPECT_EQ(source->OpenConnectDS(program.Context(), true), 0);

    types.Steps.Find("SparseTask")->Run(program.Context(), step, 0);
    EXPECT_TRUE(types.Steps.Find("SparseTask")->Deliver(program.Context(), step));
    EXPECT_TRUE(NotifyTypesOfChange(program.Context(), *sheet, sheet->Name, sheet));
    EXPECT_TRUE(NotifyTypesOfChange(program.Context(), step, step.Name, nullptr));
    EXPECT_EQ(program.Context().ErrorCount(), 0);
    EXPECT_FALSE(Logged("failed in"));
}

}  // namespace
}  // namespace orvik
