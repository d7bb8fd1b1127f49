// The designer driven through its real windows: the explorer's commands and keys, the property
// bar's commits, the tabs, the page and the language, on a virtual display. Message boxes are
// answered by the test instead of waiting for a click.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/dcscreen.h>
#include <wx/dnd.h>
#include <wx/grid.h>
#include <wx/uiaction.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/OrvikApp.h"
#include "core/MarkupEscape.h"
#include "core/SettingsStore.h"
#include "design/ExplorerModel.h"
#include "model/AppContext.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "olap/FoodMart.h"
#include "render/GridView.h"
#include "render/GridViews.h"
#include "sources/CatalogTree.h"
#include "ui/CatalogBar.h"
#include "ui/DesignerContext.h"
#include "ui/ExplorerPanel.h"
#include "ui/MainFrame.h"
#include "ui/PageView.h"
#include "ui/PropertyBar.h"
#include "ui/SheetTabs.h"
#include "ui/WxFrontEnd.h"

namespace orvik {
namespace {

using design::ExplorerRoot;
namespace fs = std::filesystem;

std::string ExampleReport() {
    return std::string(ORVIK_SOURCE_DIR) + "/examples/sales/Sales.ovk";
}

// A program folder of the test's own (settings, log, work folder, language files) that sees the
// example's database where the example report looks for it.
class Designer : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path built = fs::canonical("/proc/self/exe").parent_path();
        fs::create_directory_symlink(built / "examples", home_.Path() + "examples");
        setenv("ORVIK_HOME", home_.Path().c_str(), 1);
        setenv("ORVIK_CONFIG", (home_.Path() + "Orvik18.ini").c_str(), 1);
    }

    void TearDown() override {
        if (frame_) {
            answer_ = MessageBoxResult::No;  // do not save on the way out
            frame_->Close(true);
            test::ProcessPendingEvents();
        }
        unsetenv("ORVIK_HOME");
        unsetenv("ORVIK_CONFIG");
    }

    void Start(std::vector<std::string> arguments) {
        frame_ = new ui::MainFrame;
        auto frontEnd = std::make_unique<ui::WxFrontEnd>(frame_);
        front_ = frontEnd.get();
        front_->Answer = [this](std::string_view text, std::string_view) {
            messages_.emplace_back(text);
            return answer_;
        };
        app_ = std::make_unique<COrvikApp>(std::move(arguments), std::move(frontEnd));
        ASSERT_TRUE(app_->StartInteractive());
        frame_->AttachApp(app_.get());
        frame_->Show();
        test::ProcessPendingEvents();
    }

    CReport& Report() { return ui::DesignerContext()->Report(); }
    // The plug-ins as built (the example's chart sheet, workbook step, PDF printing) beside the
    // program the test runs.
    void LinkPlugIns() {
        const fs::path built = fs::canonical("/proc/self/exe").parent_path();
        for (const auto& entry : fs::directory_iterator(built))
            if (entry.path().extension() == ".rll")
                fs::create_symlink(entry.path(), home_.Path() + entry.path().filename().string());
    }
    ui::ExplorerPanel& Explorer() { return frame_->Explorer(); }

    void Select(ExplorerRoot root) { Explorer().SelectItem(Explorer().RootItem(root)); }
    void Select(const COvInfoObject& object) { Explorer().SelectItem(Explorer().ItemOf(&object)); }
    bool Commit(const std::string& name, const wxVariant& value) {
        const bool done = frame_->Properties().CommitValue(name, value);
        test::ProcessPendingEvents();
        return done;
    }
    std::string ItemText(const COvInfoObject& object) {
        return std::string(Explorer().GetItemText(Explorer().ItemOf(&object)).utf8_str());
    }
    std::string TabText(int index) {
        return std::string(frame_->Tabs().GetPageText(index).utf8_str());
    }

    test::TempDir home_;
    ui::MainFrame* frame_ = nullptr;
    ui::WxFrontEnd* front_ = nullptr;
    std::unique_ptr<COrvikApp> app_;
    std::vector<std::string> messages_;
    MessageBoxResult answer_ = MessageBoxResult::Yes;
};

TEST_F(Designer, BuildsAReportFromAnEmptyOneAndSavesItInCanonicalForm) {
    const std::string database = home_.Path() + "parts.db";
    {
        // A real database for the query to read.
        std::ofstream sql(home_.Path() + "parts.sql");
        sql << "create table parts(name text, qty integer);"
               "insert into parts values('bolt', 12), ('nut', 30);";
    }
    ASSERT_EQ(std::system(("sqlite3 " + database + " < " + home_.Path() + "parts.sql").c_str()), 0);
    Start({});
    CReport& report = Report();

    Select(ExplorerRoot::DataSources);
    Explorer().NewItem();
    ASSERT_EQ(report.DataSources.size(), 1u);
    COvInfoDS& source = *report.DataSources[0];
    EXPECT_EQ(source.Name.Value, "Data Source 1");
    Select(source);
    ASSERT_TRUE(Commit("DSN", wxString("Provider=SQLite;Data Source=" + database)));
    ASSERT_TRUE(Commit("Qry", wxString("select name, qty from parts order by name")));

    Select(ExplorerRoot::Sheets);
    Explorer().NewItem();
    ASSERT_EQ(report.Sheets.size(), 1u);
    COvInfoSheet& sheet = *report.Sheets[0];
    Select(sheet);
    ASSERT_TRUE(Commit("cDS", wxString("Data Source 1")));
    // The sheet ran its query: the grid behind its tab holds the rows.
    wxGrid* grid = frame_->SheetGrid(sheet);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetNumberRows(), 3);
    EXPECT_EQ(grid->GetCellValue(1, 0), "bolt");
    EXPECT_EQ(grid->GetCellValue(2, 1), "30");

    Select(ExplorerRoot::Parameters);
    Explorer().NewItem();
    ASSERT_EQ(report.Params.size(), 1u);
    EXPECT_EQ(report.Params[0]->Name.Value, "P1");

    Select(ExplorerRoot::Tasks);
    Explorer().NewItem();
    ASSERT_FALSE(report.Tasks.empty());
    COvInfoAct& task = *report.Tasks[0];
    Select(task);
    Explorer().NewChildItem();
    ASSERT_EQ(report.Tasks.size(), 2u);
    COvInfoAct& step = *report.Tasks[1];
    EXPECT_EQ(step.Parent, &task);
    Select(step);
    ASSERT_TRUE(Commit("AType", wxString("HTML")));
    EXPECT_TRUE(report.Modified);

    const std::string saved = home_.Path() + "built.ovk";
    ASSERT_TRUE(frame_->SaveReportAs(saved));
    EXPECT_FALSE(report.Modified);
    std::string expected =
        test::ReadFileBytes(std::string(ORVIK_SOURCE_DIR) + "/tests/ui/data/built-report.ovk");
    const std::string placeholder = "@DATABASE@";
    expected.replace(expected.find(placeholder), placeholder.size(), database);
    EXPECT_EQ(test::ReadFileBytes(saved), expected);
    // The runner reads it back without a complaint (a conversion fails on anything it drops).
    const std::string orvik = fs::canonical("/proc/self/exe").parent_path() / "orvik";
    // (In a program folder of its own: the open designer holds this one's work folder.)
    const test::TempDir elsewhere;
    EXPECT_EQ(std::system(("ORVIK_HOME=" + elsewhere.Path() + " " + orvik + " " + saved +
                           " /saveas:" + home_.Path() + "again.ovk")
                              .c_str()),
              0);
}

TEST_F(Designer, TheTitleFollowsTheFileAndItsMarkThroughTheFileCommands) {
    Start({});
    const auto title = [&] { return std::string(frame_->GetTitle().utf8_str()); };
    frame_->NewReport();
    EXPECT_EQ(title(), "New.ovk - Orvik");
    Select(ExplorerRoot::DataSources);
    Explorer().NewItem();
    test::ProcessPendingEvents();
    EXPECT_EQ(title(), "New.ovk * - Orvik");

    const std::string saved = home_.Path() + "titled.ovk";
    ASSERT_TRUE(frame_->SaveReportAs(saved));
    EXPECT_EQ(title(), "titled.ovk - Orvik");
    EXPECT_EQ(ui::DesignerContext()->Settings().GetString("Recent File List", "File1", ""), saved);

    // A file that cannot be opened costs nothing: the report, its changes and its title stay.
    Select(ExplorerRoot::DataSources);
    Explorer().NewItem();
    test::ProcessPendingEvents();
    answer_ = MessageBoxResult::No;
    messages_.clear();
    EXPECT_FALSE(frame_->OpenReport(home_.Path() + "absent.ovk"));
    EXPECT_EQ(messages_,
              (std::vector<std::string>{"Current Document was changed; Save document?",
                                        "Cannot open file " + home_.Path() + "absent.ovk !"}));
    EXPECT_EQ(Report().DataSources.size(), 3u);
    EXPECT_EQ(title(), "titled.ovk * - Orvik");

    ASSERT_TRUE(frame_->OpenReport(saved));
    EXPECT_EQ(Report().DataSources.size(), 2u);
    EXPECT_EQ(title(), "titled.ovk - Orvik");
}

TEST_F(Designer, RenamingADataSourceCarriesEverySheetAlong) {
    Start({ExampleReport()});
    CReport& report = Report();
    ASSERT_GE(report.Sheets.size(), 2u);
    COvInfoDS& sales = *report.DataSources[0];
    ASSERT_EQ(sales.Name.Value, "Sales");
    Select(sales);
    ASSERT_TRUE(Commit("Name", wxString("Turnover")));
    EXPECT_EQ(ItemText(sales), "Turnover");
    int following = 0;
    for (const auto& sheet : report.Sheets) {
        EXPECT_NE(sheet->cDS.Value, "Sales");
        following += sheet->cDS.Value == "Turnover";
    }
    EXPECT_EQ(following, 1);
    EXPECT_NE(report.Sheets[0]->GetDS(report.DataSources), nullptr);
    // The renamed source still runs for its sheet after a rebuild (F5).
    frame_->RebuildPage();
    wxGrid* grid = frame_->SheetGrid(*report.Sheets[0]);
    ASSERT_NE(grid, nullptr);
    EXPECT_GT(grid->GetNumberRows(), 2);
    // Every text fits its column as the screen draws it (a number cut on the left reads as a
    // smaller number).
    wxClientDC dc(grid->GetGridWindow());
    for (int row = 0; row < grid->GetNumberRows(); ++row) {
        for (int col = 0; col < grid->GetNumberCols(); ++col) {
            dc.SetFont(grid->GetCellFont(row, col));
            EXPECT_LE(dc.GetTextExtent(grid->GetCellValue(row, col)).x, grid->GetColSize(col))
                << "row " << row << ", column " << col;
        }
    }
}

TEST_F(Designer, AnotherOutputTypeKeepsTheSheetsTabInItsPlace) {
    Start({ExampleReport()});
    CReport& report = Report();
    // A second view type, as a plug-in registers one.
    ui::DesignerContext()->Registries().AddComboValue(ListId::OutputTypes, "PLAIN", "Plain", -1);
    COvInfoSheet& sheet = *report.Sheets[0];
    const int index = frame_->SheetTabIndex(sheet);
    ASSERT_EQ(index, 1);
    wxGrid* before = frame_->SheetGrid(sheet);
    frame_->Tabs().SetSelection(index);
    Select(sheet);
    ASSERT_TRUE(Commit("tpVW", wxString("Plain")));
    EXPECT_EQ(sheet.tpVW.Value, "PLAIN");
    EXPECT_EQ(frame_->SheetTabIndex(sheet), index);
    EXPECT_NE(frame_->SheetGrid(sheet), before);
    EXPECT_EQ(frame_->Tabs().GetSelection(), index);
    EXPECT_EQ(TabText(index), sheet.Name.Value);
}

TEST_F(Designer, ExplorerKeysAndActivationRunTheirCommands) {
    Start({});
    CReport& report = Report();
    auto press = [&](int key, bool control) {
        wxKeyEvent keyEvent(wxEVT_KEY_DOWN);
        keyEvent.m_keyCode = key;
        keyEvent.m_controlDown = control;
        wxTreeEvent event(wxEVT_TREE_KEY_DOWN, &Explorer(), wxTreeItemId());
        event.SetKeyEvent(keyEvent);
        Explorer().GetEventHandler()->ProcessEvent(event);
        test::ProcessPendingEvents();
    };
    Select(ExplorerRoot::Parameters);
    press(WXK_INSERT, false);
    Select(ExplorerRoot::Parameters);
    press(WXK_INSERT, false);
    ASSERT_EQ(report.Params.size(), 2u);
    EXPECT_EQ(report.Params[1]->Name.Value, "P2");

    // Delete asks first; No keeps the parameter.
    Select(*report.Params[0]);
    answer_ = MessageBoxResult::No;
    press(WXK_DELETE, false);
    EXPECT_EQ(report.Params.size(), 2u);
    answer_ = MessageBoxResult::Yes;
    Select(*report.Params[0]);
    press(WXK_DELETE, false);
    EXPECT_EQ(report.Params.size(), 1u);

    // A task with a command step, run by activating its item.
    Select(ExplorerRoot::Tasks);
    press(WXK_INSERT, false);
    COvInfoAct& task = *report.Tasks[0];
    Select(task);
    press(WXK_INSERT, true);
    ASSERT_EQ(report.Tasks.size(), 2u);
    COvInfoAct& step = *report.Tasks[1];
    Select(step);
    ASSERT_TRUE(Commit("AType", wxString("CMD")));
    const std::string marker = home_.Path() + "ran";
    ASSERT_TRUE(Commit("cmd", wxString("touch " + marker)));
    wxTreeEvent activate(wxEVT_TREE_ITEM_ACTIVATED, &Explorer(), Explorer().ItemOf(&task));
    Explorer().GetEventHandler()->ProcessEvent(activate);
    EXPECT_TRUE(fs::exists(marker));
}

TEST_F(Designer, LanguageSwitchRetitlesMenusBarsTabsAndTree) {
    std::ofstream(home_.Path() + "orvik18_DEU.lng")
        << "M0=&Datei\n1300=Eigenschaften\n1301=Objekte\n1310=Seite\n1313=Verteiler\n";
    Start({ExampleReport()});
    frame_->ShowSettings();
    ASSERT_TRUE(Commit("Language", wxString("DEU")));
    EXPECT_EQ(frame_->GetMenuBar()->GetMenuLabel(0), "&Datei");
    EXPECT_EQ(TabText(0), "Seite");
    EXPECT_EQ(Explorer().GetItemText(Explorer().RootItem(ExplorerRoot::Tasks)), "Verteiler");
    // And back: the built-in English texts return.
    frame_->ShowSettings();
    ASSERT_TRUE(Commit("Language", wxString("ENG")));
    EXPECT_EQ(frame_->GetMenuBar()->GetMenuLabel(0), "&File");
    EXPECT_EQ(TabText(0), "HTML");
}

TEST_F(Designer, AScheduledRunNeverWaitsForAnOpenDesigner) {
    Start({ExampleReport()});
    // The designer's page is in a work folder of its own, inside the shared one.
    const std::string shown = frame_->Page().ShownFile();
    EXPECT_NE(shown.find("/HTML/Designer-" + std::to_string(::getpid()) + "/"), std::string::npos)
        << shown;
    const std::string orvik = fs::canonical("/proc/self/exe").parent_path() / "orvik";
    std::ofstream(home_.Path() + "run.ini") << "[General]\nWorkFolderWait=1\n";
    const std::string command = "ORVIK_CONFIG=" + home_.Path() + "run.ini " + orvik + " " +
                                ExampleReport() + " /act:Daily 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    const std::string log = test::ReadFileBytes(home_.Path() + "Orvik18.log");
    EXPECT_EQ(log.find("The run did not start"), std::string::npos) << log;
    EXPECT_EQ(log.find("Waiting up to"), std::string::npos) << log;
    EXPECT_NE(log.find("Step"), std::string::npos) << log;
    // The run emptied the shared folder, not the designer's: its page is still there.
    EXPECT_TRUE(fs::exists(shown));
}

// What a window shows of the report it has open: its objects with their values, and its page
// with the window's own work folder left out.
std::string Shown(ui::MainFrame& frame, CReport& report) {
    std::string shown;
    for (const auto& source : report.DataSources)
        shown += "source " + source->Name.Value + ": " + source->Qry.Value + "\n";
    for (const auto& parameter : report.Params)
        shown += "parameter " + parameter->Name.Value + " = " + parameter->PrmVal.Value + "\n";
    for (const auto& sheet : report.Sheets) {
        shown += "sheet " + sheet->Name.Value;
        if (wxGrid* grid = frame.SheetGrid(*sheet))
            shown += " " + std::to_string(grid->GetNumberRows()) + "x" +
                     std::to_string(grid->GetNumberCols());
        shown += "\n";
    }
    const std::string file = frame.Page().ShownFile();
    std::string page = test::ReadFileBytes(file);
    const std::string folder = fs::path(file).parent_path().string();
    for (size_t at; (at = page.find(folder)) != std::string::npos;)
        page.replace(at, folder.size(), "<work>");
    return shown + page;
}

TEST_F(Designer, ReportsOpenedOneAfterAnotherShowAsInAFreshWindow) {
    const std::string folder = std::string(ORVIK_SOURCE_DIR) + "/examples/sales/";
    const std::vector<std::string> reports = {folder + "cube.ovk", folder + "Sales.ovk",
                                              folder + "cube.ovk"};
    LinkPlugIns();
    std::map<std::string, std::string> fresh;
    for (const std::string& report : {reports[0], reports[1]}) {
        Start({report});
        fresh[report] = Shown(*frame_, Report());
        EXPECT_EQ(messages_, std::vector<std::string>{}) << report;
        frame_->Close(true);
        test::ProcessPendingEvents();
        frame_ = nullptr;
        app_.reset();
    }
    Start({});
    for (const std::string& report : reports) {
        messages_.clear();
        ASSERT_TRUE(frame_->OpenReport(report)) << report;
        EXPECT_EQ(messages_, std::vector<std::string>{}) << report;
        EXPECT_EQ(Shown(*frame_, Report()), fresh[report]) << report;
        // Nothing of the report before stays on the property bar.
        const COvInfoObject* shown = frame_->Properties().Object();
        bool ours = shown == nullptr || shown == Report().ReportObject.get();
        for (const auto& parameter : Report().Params) ours = ours || shown == parameter.get();
        for (const auto& source : Report().DataSources) ours = ours || shown == source.get();
        for (const auto& sheet : Report().Sheets) ours = ours || shown == sheet.get();
        for (const auto& task : Report().Tasks) ours = ours || shown == task.get();
        EXPECT_TRUE(ours) << report;
        // The next report is opened with one of this one's parameters selected (a page refresh
        // may put the report's own properties on the bar meanwhile: either is this report's).
        ASSERT_FALSE(Report().Params.empty());
        Select(*Report().Params.front());
        test::ProcessPendingEvents();
    }
}

TEST_F(Designer, CancelAtTheSaveQuestionKeepsTheReportAndTheWindow) {
    Start({ExampleReport()});
    Select(ExplorerRoot::DataSources);
    Explorer().NewItem();
    test::ProcessPendingEvents();
    ASSERT_TRUE(Report().Modified);
    const size_t sources = Report().DataSources.size();
    const size_t tabs = frame_->Tabs().GetPageCount();
    answer_ = MessageBoxResult::Cancel;
    const std::string other = std::string(ORVIK_SOURCE_DIR) + "/examples/sales/cube.ovk";
    for (int attempt = 0; attempt < 2; ++attempt) {
        messages_.clear();
        if (attempt == 0)
            EXPECT_FALSE(frame_->OpenReport(other));
        else
            frame_->NewReport();
        EXPECT_EQ(messages_,
                  std::vector<std::string>{"Current Document was changed; Save document?"});
        EXPECT_EQ(Report().CurrentDocPath, ExampleReport());
        EXPECT_EQ(Report().DataSources.size(), sources);
        EXPECT_TRUE(Report().Modified);
        EXPECT_EQ(frame_->Tabs().GetPageCount(), tabs);
    }
    // Closing asks the same; Cancel vetoes the close.
    EXPECT_FALSE(frame_->Close(false));
    test::ProcessPendingEvents();
    EXPECT_TRUE(frame_->IsShown());
    EXPECT_EQ(Report().DataSources.size(), sources);
}

// File > Export PDF prints the page the designer shows through the PDF plug-in; without the
// plug-in the user is told which one is missing and nothing is written.
TEST_F(Designer, ExportPdfWritesThePageAsTheReportsOwnPdfStepWould) {
    if (std::system("command -v chromium >/dev/null 2>&1 && command -v pdftotext >/dev/null") != 0)
        GTEST_SKIP() << "chromium and pdftotext are needed (scripts/setup test installs them)";
    const std::string target = home_.Path() + "out/Sales.pdf";
    Start({ExampleReport()});
    fs::create_directories(home_.Path() + "out");
    messages_.clear();
    EXPECT_FALSE(frame_->ExportPdf(target));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("needs the plug-in Pdf.rll"), std::string::npos) << messages_[0];
    EXPECT_FALSE(fs::exists(target));
    frame_->Close(true);
    test::ProcessPendingEvents();
    frame_ = nullptr;
    app_.reset();

    LinkPlugIns();
    Start({ExampleReport()});
    messages_.clear();
    ASSERT_TRUE(frame_->ExportPdf(target)) << (messages_.empty() ? "" : messages_.back());
    EXPECT_EQ(test::ReadFileBytes(target).substr(0, 5), "%PDF-");
    const std::string text = home_.Path() + "out/Sales.txt";
    ASSERT_EQ(std::system(("pdftotext -layout " + target + " " + text).c_str()), 0);
    const std::string printed = test::ReadFileBytes(text);
    EXPECT_NE(printed.find("Revenue by region"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Top products"), std::string::npos) << printed;
    // No stray file beside the target: the PDF was put in place whole.
    EXPECT_EQ(std::distance(fs::directory_iterator(home_.Path() + "out"), fs::directory_iterator()),
              2);
}

// Edit > Undo takes a rename back with the names that followed it, in the window as in the
// report, and Redo does it again; opening another report starts the history afresh.
TEST_F(Designer, UndoAndRedoARenameWithItsFollowers) {
    Start({ExampleReport()});
    const std::string before = Shown(*frame_, Report());
    COvInfoDS& sales = *Report().DataSources[0];
    const std::string name = sales.Name.Value;
    Select(sales);
    ASSERT_TRUE(Commit("Name", wxVariant("Shop")));
    const std::string renamed = Shown(*frame_, Report());
    ASSERT_NE(renamed, before);
    size_t following = 0;
    for (const auto& sheet : Report().Sheets) following += sheet->cDS.Value == "Shop";
    ASSERT_GT(following, 0u);

    ASSERT_TRUE(frame_->Undo());
    test::ProcessPendingEvents();
    EXPECT_EQ(Shown(*frame_, Report()), before);
    EXPECT_EQ(Report().DataSources[0]->Name.Value, name);
    for (const auto& sheet : Report().Sheets) EXPECT_NE(sheet->cDS.Value, "Shop");
    EXPECT_TRUE(Explorer().ItemOf(Report().DataSources[0].get()).IsOk());
    EXPECT_TRUE(Report().Modified);
    EXPECT_FALSE(frame_->Undo());  // back at the report as opened

    ASSERT_TRUE(frame_->Redo());
    test::ProcessPendingEvents();
    EXPECT_EQ(Shown(*frame_, Report()), renamed);
    EXPECT_FALSE(frame_->Redo());

    answer_ = MessageBoxResult::No;  // not saved on the way
    ASSERT_TRUE(frame_->OpenReport(ExampleReport()));
    EXPECT_FALSE(frame_->Undo());
}

// The catalog bar over the example cube: a level put on the rows through its context menu's
// choice lands in the source's properties and in the MDX it runs, the members of an element
// restrict it, and Undo takes it back.
TEST_F(Designer, TheCatalogBarBuildsTheCubesQuery) {
    Start({std::string(ORVIK_SOURCE_DIR) + "/examples/sales/cube.ovk"});
    COvInfoDS* byYear = nullptr;
    for (const auto& source : Report().DataSources)
        if (source->Name.Value == "ByYear") byYear = source.get();
    ASSERT_NE(byYear, nullptr);
    Select(*byYear);
    ui::CatalogBar& bar = frame_->Catalog();
    ASSERT_EQ(bar.Source(), byYear);
    const CatalogTree& tree = *TreeBarOf(*byYear);
    const auto idOf = [&](const std::string& uniqueName) {
        for (const auto& item : tree.Items())
            if (item->Node.UniqueName == uniqueName) return item->Node.Id;
        return 0;
    };
    const int category = idOf("[Product].[Category]");
    ASSERT_NE(category, 0);
    EXPECT_TRUE(bar.ItemOf(category).IsOk());
    EXPECT_TRUE(bar.Tree().IsBold(bar.ItemOf(idOf("[Region].[Region]"))));  // on the rows already
    EXPECT_FALSE(bar.Tree().IsBold(bar.ItemOf(category)));

    ASSERT_TRUE(bar.ChooseAxis(category, QueryAxis::Filter));
    test::ProcessPendingEvents();
    EXPECT_EQ(byYear->Get("MDXF"), "[Product].[Category]");
    EXPECT_TRUE(bar.Tree().IsBold(bar.ItemOf(category)));
    ASSERT_TRUE(bar.ChooseMembers(category, {"[Product].[Category].[Bikes]"}));
    test::ProcessPendingEvents();
    const std::string mdx =
        test::ReadFileBytes(ui::DesignerContext()->Registries().HtmlFolder + "LastMDX.txt");
    EXPECT_NE(mdx.find("[Product].[Category].[Bikes]"), std::string::npos) << mdx;
    EXPECT_NE(mdx.find("[Region].[Region]"), std::string::npos) << mdx;
    frame_->SetSize(0, 0, 1400, 900);
    bar.Tree().ExpandAll();
    fs::create_directories("test-output");
    EXPECT_TRUE(test::SaveWindowPicture(*frame_, "test-output/designer-catalog.png"));

    // Dragged from the bar onto the cells of the sheet that shows the source: on the data.
    COvInfoSheet* shown = nullptr;
    COvInfoSheet* other = nullptr;
    for (const auto& sheet : Report().Sheets) {
        if (sheet->cDS.Value == "ByYear") shown = sheet.get();
        if (sheet->cDS.Value == "RegionDetail") other = sheet.get();
    }
    ASSERT_TRUE(shown && other);
    const auto dropOn = [&](COvInfoSheet& sheet, wxWindow* (wxGrid::*part)() const, int id) {
        wxGrid* grid = frame_->SheetGrid(sheet);
        auto* target = dynamic_cast<wxTextDropTarget*>((grid->*part)()->GetDropTarget());
        return target && target->OnDropText(0, 0, ui::CatalogBar::DragText(id));
    };
    const int orders = idOf("[Measures].[Orders]");
    EXPECT_FALSE(dropOn(*other, &wxGrid::GetGridWindow, orders));          // another source's sheet
    EXPECT_FALSE(dropOn(*shown, &wxGrid::GetGridRowLabelWindow, orders));  // a measure: data only
    ASSERT_TRUE(dropOn(*shown, &wxGrid::GetGridWindow, orders));
    test::ProcessPendingEvents();
    std::vector<std::string> data;
    for (const COvInfoProp* prop : byYear->Props)
        if (prop->Name == "MDXD") data.push_back(prop->Value);
    EXPECT_EQ(data, (std::vector<std::string>{"[Measures].[Amount]", "[Measures].[Quantity]",
                                              "[Measures].[Orders]"}));

    // Taken back: the properties and the query as they were.
    ASSERT_TRUE(frame_->Undo());
    ASSERT_TRUE(frame_->Undo());
    ASSERT_TRUE(frame_->Undo());
    test::ProcessPendingEvents();
    for (const auto& source : Report().DataSources) {
        if (source->Name.Value == "ByYear") {
            EXPECT_EQ(source->Get("MDXF"), "");
        }
    }
}

// The catalog bar over FoodMart: a selection built element by element through the bar lands in
// the source's axis properties and in LastMDX.txt as the builder writes them.
TEST_F(Designer, TheCatalogBarBuildsAFoodMartSelection) {
    ORVIK_NEED_FOODMART(false);
    const std::string material = test::OlapMaterialFolder();
    const std::string connection =
        test::FoodMartCubeConnection(material, test::FoodMartSqlite(material), false);
    const std::string report = home_.Path() + "foodmart.ovk";
    std::ofstream(report) << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                             "<root><DS><Name>Sales</Name><tpDS>OLAP</tpDS><DSN>"
                          << EscapeMarkup(connection)
                          << "</DSN><bQ>0</bQ><nCube>Sales</nCube></DS>"
                             "<SHEET><HTMLayout></HTMLayout></SHEET>"
                             "<SHEET><Name>Sales</Name><cDS>Sales</cDS><tpVW>GRID</tpVW>"
                             "<bVis>1</bVis></SHEET></root>\n";
    Start({report});
    COvInfoDS& sales = *Report().DataSources.front();
    Select(sales);
    ui::CatalogBar& bar = frame_->Catalog();
    ASSERT_EQ(bar.Source(), &sales);
    const CatalogTree& tree = *TreeBarOf(sales);
    const auto idOf = [&](const std::string& uniqueName) {
        for (const auto& item : tree.Items())
            if (item->Node.UniqueName == uniqueName) return item->Node.Id;
        return 0;
    };
    ASSERT_TRUE(bar.ChooseAxis(idOf("[Measures].[Unit Sales]"), QueryAxis::Data));
    ASSERT_TRUE(bar.ChooseAxis(idOf("[Measures].[Store Sales]"), QueryAxis::Data));
    ASSERT_TRUE(bar.ChooseAxis(idOf("[Gender].[Gender]"), QueryAxis::Rows));
    ASSERT_TRUE(bar.ChooseAxis(idOf("[Time].[Year]"), QueryAxis::Columns));
    ASSERT_TRUE(bar.ChooseAxis(idOf("[Store].[Store Country]"), QueryAxis::Filter));
    ASSERT_TRUE(bar.ChooseMembers(idOf("[Store].[Store Country]"), {"[Store].[USA]"}));
    test::ProcessPendingEvents();
    std::vector<std::string> axes;
    for (const COvInfoProp* prop : sales.Props)
        if (prop->Name.rfind("MDX", 0) == 0) axes.push_back(prop->Name + " " + prop->Value);
    EXPECT_EQ(axes,
              (std::vector<std::string>{"MDXD [Measures].[Unit Sales]",
                                        "MDXD [Measures].[Store Sales]", "MDXR [Gender].[Gender]",
                                        "MDXC [Time].[Year]", "MDXF [Store].[Store Country]"}));
    const std::string mdx =
        test::ReadFileBytes(ui::DesignerContext()->Registries().HtmlFolder + "LastMDX.txt");
    EXPECT_EQ(mdx,
              "with\nMember [Store].[Filter0] as 'Aggregate({[Store].[USA]})'\nSelect \n"
              "Non Empty Crossjoin( {[Time].[Year].members}, {[Measures].[Unit "
              "Sales],[Measures].[Store Sales]}) DIMENSION PROPERTIES MEMBER_NAME, "
              "PARENT_UNIQUE_NAME  On Columns,\n"
              "Non Empty  {[Gender].[Gender].members} DIMENSION PROPERTIES MEMBER_NAME, "
              "PARENT_UNIQUE_NAME  On Rows\nFrom [Sales]\nWhere ([Store].[Filter0])");
    // The source ran it: two genders.
    EXPECT_EQ(sales.GetDSRowCount(*ui::DesignerContext()), 2);
}

// Edit > Copy and Paste: the copy of a sheet has the original's values under a name of its own
// and a tab of its own; Cut asks as Delete does; Undo takes a paste back.
TEST_F(Designer, ObjectsAreCopiedCutAndPasted) {
    Start({ExampleReport()});
    COvInfoSheet& original = *Report().Sheets.front();
    const size_t sheets = Report().Sheets.size();
    Select(original);
    ASSERT_TRUE(frame_->CopyObject(false));
    ASSERT_TRUE(frame_->PasteObject());
    test::ProcessPendingEvents();
    ASSERT_EQ(Report().Sheets.size(), sheets + 1);
    COvInfoSheet& copy = *Report().Sheets.back();
    EXPECT_NE(copy.Name.Value, original.Name.Value);
    EXPECT_EQ(copy.cDS.Value, original.cDS.Value);
    EXPECT_EQ(copy.Get("Title"), original.Get("Title"));
    EXPECT_GE(frame_->SheetTabIndex(copy), 0);
    EXPECT_EQ(Explorer().SelectedObject(), &copy);

    ASSERT_TRUE(frame_->Undo());
    EXPECT_EQ(Report().Sheets.size(), sheets);

    answer_ = MessageBoxResult::No;  // "sure to delete?": the copy is taken, the sheet stays
    Select(*Report().DataSources.front());
    ASSERT_TRUE(frame_->CopyObject(true));
    EXPECT_EQ(Report().DataSources.size(), 3u);
    ASSERT_TRUE(frame_->PasteObject());
    EXPECT_EQ(Report().DataSources.size(), 4u);
    EXPECT_EQ(Report().DataSources.back()->Qry.Value, Report().DataSources.front()->Qry.Value);
}

// A chart sheet's tab shows the chart as the page shows it, not an empty grid; without the
// plug-in that draws it the sheet falls back to its grid.
TEST_F(Designer, AChartSheetsTabShowsTheChart) {
    LinkPlugIns();
    Start({ExampleReport()});
    COvInfoSheet* chart = nullptr;
    for (const auto& sheet : Report().Sheets)
        if (sheet->tpVW.Value == "CHART") chart = sheet.get();
    ASSERT_NE(chart, nullptr);
    ui::SheetTabs& tabs = frame_->Sheets();
    ASSERT_NE(tabs.Drawing(*chart), nullptr);
    EXPECT_EQ(tabs.Grid(*chart), nullptr);
    const std::string shown = test::ReadFileBytes(tabs.Drawing(*chart)->ShownFile());
    EXPECT_NE(shown.find("<svg"), std::string::npos) << shown.substr(0, 300);
    EXPECT_NE(shown.find("OrvikSheet"), std::string::npos);
    for (const auto& sheet : Report().Sheets) {
        if (sheet.get() != chart && !sheet->IsReportObject) {
            EXPECT_NE(tabs.Grid(*sheet), nullptr);
        }
    }

    // Changed into a grid and back: the tab follows, in its place.
    const int index = tabs.Index(*chart);
    Select(*chart);
    ASSERT_TRUE(Commit("tpVW", wxVariant("GRID")));
    EXPECT_NE(tabs.Grid(*chart), nullptr);
    EXPECT_EQ(tabs.Index(*chart), index);
    ASSERT_TRUE(Commit("tpVW", wxVariant("CHART")));
    ASSERT_NE(tabs.Drawing(*chart), nullptr);
    EXPECT_EQ(tabs.Index(*chart), index);

    frame_->SetSize(0, 0, 1200, 800);
    frame_->Tabs().SetSelection(static_cast<size_t>(index));
    ui::PageView& drawing = *tabs.Drawing(*chart);
    for (int round = 0; round < 2000 && drawing.Browser() && drawing.LoadCount() == 0; ++round) {
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    EXPECT_GT(drawing.LoadCount(), 0u);
    for (int round = 0; round < 100; ++round) {  // painted in the browser's own process
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
    fs::create_directories("test-output");
    EXPECT_TRUE(test::SaveWindowPicture(*frame_, "test-output/designer-chart.png"));
}

TEST_F(Designer, ShowsTheExampleAndLeavesAScreenshot) {
    Start({ExampleReport()});
    frame_->SetSize(0, 0, 1400, 900);
    frame_->Explorer().SelectItem(Explorer().ItemOf(Report().DataSources[0].get()));
    // The page arrives asynchronously; its load event is what the test waits on, not a clock.
    ui::PageView& page = frame_->Page();
    EXPECT_FALSE(page.ShownFile().empty());
    for (int round = 0; round < 2000 && page.Browser() && page.LoadCount() == 0; ++round) {
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    EXPECT_GT(page.LoadCount(), 0u);
    // Loaded is not yet drawn: the browser paints in its own process. The picture is for people
    // to look at, so a moment's grace here checks nothing and decides nothing.
    for (int round = 0; round < 200; ++round) {
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
    fs::create_directories("test-output");
    EXPECT_TRUE(test::SaveWindowPicture(*frame_, "test-output/designer.png"));
}

}  // namespace
}  // namespace orvik
