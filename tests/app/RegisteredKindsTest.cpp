// A data-source kind and a step type added the way a new one is: one file, one registration line
// each. The report keeps them in its file, the grid, the page and the task runner use them, and
// nothing else in the program had to change.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "app/ReportSession.h"
#include "data/ResultTable.h"
#include "model/DataSourceKind.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "model/TaskStep.h"
#include "persist/ReportFile.h"
#include "tasks/HtmlExport.h"

namespace orvik {
namespace {

// A kind whose result is a fixed two-by-two table.
class FixedTable : public ResultTable {
  public:
    bool IsOpen() const override { return true; }
    long RowCount() const override { return 2; }
    int ColumnCount() const override { return 2; }
    int RowHeaderColumnCount() const override { return 1; }
    std::string Header(int col) const override { return col == 0 ? "planet" : "moons"; }
    bool Value(long row, int col, Variant& value) const override {
        value = col == 0 ? Variant::MakeString(row == 1 ? "Mars" : "Venus")
                         : Variant::MakeI4(row == 1 ? 2 : 0);
        return true;
    }
};

class FixedSourceKind : public DataSourceKind {
  public:
    int Connect(orvik::Run& run, COvInfoDS& source, bool runQuery) override {
        return runQuery ? Run(run, source) : 1;
    }
    int Run(orvik::Run&, COvInfoDS& source) override {
        source.Result = std::make_unique<FixedTable>();
        return 1;
    }
    orvik::PageStyle Page() const override { return orvik::PageStyle::Table; }
};

// A step that leaves a mark file beside the page.
class MarkStep : public TaskStep {
  public:
    void Run(orvik::Run& run, COvInfoAct&, size_t) override {
        std::ofstream(PageFilePath(run) + ".mark") << "marked";
    }
};

// A program's own kinds and steps register with one line at the end of their file
// (DataSourceKindRegistration, TaskStepRegistration). Here they are registered for this test only,
// so that the other tests see the program's built-in lists.
class Registered {
  public:
    Registered() {
        DataSourceKindRegistry::Builtin().Register("FIXED", std::make_unique<FixedSourceKind>());
        TaskStepRegistry::Builtin().Register("MARK", std::make_unique<MarkStep>());
    }
    ~Registered() {
        DataSourceKindRegistry::Builtin().Unregister("FIXED");
        TaskStepRegistry::Builtin().Unregister("MARK");
    }
};

TEST(RegisteredKinds, ANewKindAndStepAreStoredShownAndRun) {
    const Registered registered;
    test::TestProgram program;
    program.Context().BatchMode = true;
    const std::string path = program.Home().Write(
        "planets.ovk",
        "<root><DS><Name>Planets</Name><tpDS>FIXED</tpDS></DS>"
        "<ACT><Name>Daily</Name></ACT>"
        "<ACT><ActParent>0</ActParent><Name>Mark</Name><AType>MARK</AType></ACT>"
        "<ACT><ActParent>0</ActParent><Name>Page</Name><AType>HTML</AType></ACT>"
        "<SHEET><Name>Planets</Name><cDS>Planets</cDS><tpVW>GRID</tpVW></SHEET></root>");
    ReportSession session(program.Context());
    ASSERT_TRUE(session.Read(path));
    CReport& report = program.Context().Report();
    ASSERT_EQ(report.DataSources.size(), 1u);
    EXPECT_EQ(report.DataSources[0]->tpDS.Value, "FIXED");  // kept: the type list knows it
    EXPECT_EQ(session.RunTask("Daily"), 1);
    EXPECT_EQ(program.Context().ErrorCount(), 0) << program.ReadLog();

    EXPECT_EQ(report.DataSources[0]->GetDSTextRC(program.Context(), 1, 0), "Mars");
    EXPECT_EQ(report.DataSources[0]->GetDSHeader(1), "moons");
    const std::string page = test::ReadFileBytes(PageFilePath(program.Context()));
    EXPECT_NE(page.find("Venus"), std::string::npos) << page;
    EXPECT_TRUE(std::filesystem::exists(PageFilePath(program.Context()) + ".mark"));

    ASSERT_EQ(SerializeXML(program.Context(), program.Home().Path() + "saved.ovk", 1), 1);
    const std::string saved = test::ReadFileBytes(program.Home().Path() + "saved.ovk");
    EXPECT_NE(saved.find("<tpDS>FIXED</tpDS>"), std::string::npos);
    EXPECT_NE(saved.find("<AType>MARK</AType>"), std::string::npos);
}

}  // namespace
}  // namespace orvik
