// The case harness decides every cube verdict, so its own reading and printing are checked
// against the shapes the case files use: slicers with one, none and an empty tuple, results with
// zero, one and two axes, empty cells, and the XMLA form's loose value comparison.
#include <gtest/gtest.h>

#include <stdexcept>

#include "CellSetPrinter.h"
#include "MdxCase.h"

namespace orvik::test {
namespace {

CellSetPosition Tuple(std::initializer_list<const char*> names) {
    CellSetPosition position;
    for (const char* name : names) {
        CellSetMember member;
        member.UniqueName = name;
        position.Members.push_back(member);
    }
    return position;
}

CellSetCell Number(double value, const char* formatted) {
    return {Variant::MakeR8(value), formatted};
}

MdxCase Case(MdxCaseForm form, std::vector<std::string> expected) {
    MdxCase kase;
    kase.Name = "probe";
    kase.Form = form;
    kase.Expected = std::move(expected);
    return kase;
}

TEST(CellSetPrinter, TraditionalNumbersCellsByRowAndLeavesEmptyOnesBlank) {
    CellSetData data;
    data.Slicer.Positions = {Tuple({"[Time].[1997]", "[Customers].[All Customers]"})};
    data.Axes.resize(2);
    data.Axes[0].Positions = {Tuple({"[Measures].[Unit Sales]"}), Tuple({"[Measures].[Profit]"})};
    data.Axes[1].Positions = {Tuple({"[Gender].[F]"}), Tuple({"[Gender].[M]"})};
    data.Cells = {Number(1, "1"), Number(2, "2"), {}, Number(4, "4")};
    EXPECT_EQ(
        PrintCellSet(data, MdxCaseForm::Traditional),
        (std::vector<std::string>{"Axis #0:", "{[Time].[1997], [Customers].[All Customers]}",
                                  "Axis #1:", "{[Measures].[Unit Sales]}", "{[Measures].[Profit]}",
                                  "Axis #2:", "{[Gender].[F]}", "{[Gender].[M]}", "Row #0: 1",
                                  "Row #0: 2", "Row #1: ", "Row #1: 4"}));

    // One axis: every cell is on row 0. An empty-set slicer prints no tuple at all.
    data.Slicer.Positions.clear();
    data.Axes.pop_back();
    data.Cells.resize(2);
    EXPECT_EQ(PrintCellSet(data, MdxCaseForm::Traditional),
              (std::vector<std::string>{"Axis #0:", "Axis #1:", "{[Measures].[Unit Sales]}",
                                        "{[Measures].[Profit]}", "Row #0: 1", "Row #0: 2"}));
}

TEST(CellSetPrinter, ZeroAxesPrintTheCellBareAndAnEmptySlicerAsBraces) {
    CellSetData data;
    data.Slicer.Positions = {Tuple({})};
    data.Cells = {Number(3, "3")};
    EXPECT_EQ(PrintCellSet(data, MdxCaseForm::Traditional),
              (std::vector<std::string>{"Axis #0:", "{}", "3"}));
}

TEST(CellSetPrinter, AxisOnlyDropsTheBracesOfSingleMemberTuples) {
    CellSetData data;
    data.Axes.resize(1);
    data.Axes[0].Positions = {Tuple({"[Product].[Drink]"}),
                              Tuple({"[Gender].[M]", "[Store].[USA]"})};
    data.Cells = {Number(1, "1"), Number(2, "2")};
    EXPECT_EQ(PrintCellSet(data, MdxCaseForm::AxisOnly),
              (std::vector<std::string>{"[Product].[Drink]", "{[Gender].[M], [Store].[USA]}"}));
}

TEST(CellSetPrinter, XmlaComparesValuesAsNumbersAndEmptyCellsAlike) {
    CellSetData data;
    data.Slicer.Positions = {Tuple({"[Measures].[Store Sales]"})};
    data.Axes.resize(2);
    data.Axes[0].Positions = {Tuple({"[Customers].[Canada]"}), Tuple({"[Customers].[USA]"})};
    data.Axes[1].Positions = {Tuple({"[Gender].[F]"})};
    data.Cells = {{}, Number(8468.863000000001, "8,468.86")};
    const std::vector<std::string> actual = PrintCellSet(data, MdxCaseForm::Xmla);
    ASSERT_EQ(actual.size(), 9u);
    EXPECT_EQ(actual[0], "Slicer: {[Measures].[Store Sales]}");
    EXPECT_EQ(actual[1], "Axis0 (2 positions):");
    EXPECT_EQ(actual[6],
              "Cells (coordinates are positions on Axis0, Axis1; ordinal = a0 + "
              "a1*|Axis0| + ...):");

    std::vector<std::string> expected = actual;
    expected[7] = "  (0,0) ordinal 0: Value=None FmtValue=";
    expected[8] = "  (1,0) ordinal 1: Value=8468.863 FmtValue=8,468.86";
    EXPECT_TRUE(CompareCase(Case(MdxCaseForm::Xmla, expected), actual).Same);

    expected[8] = "  (1,0) ordinal 1: Value=8468.87 FmtValue=8,468.86";
    EXPECT_FALSE(CompareCase(Case(MdxCaseForm::Xmla, expected), actual).Same);

    // A server writing ',' for the decimal point is read with the separators swapped.
    MdxCase german = Case(MdxCaseForm::Xmla, expected);
    german.Expected[8] = "  (1,0) ordinal 1: Value=8468.863 FmtValue=8.468,86";
    EXPECT_FALSE(CompareCase(german, actual).Same);
    german.CommaDecimal = true;
    EXPECT_TRUE(CompareCase(german, actual).Same);
}

TEST(CellSetPrinter, AMissingRowIsReportedAsOneLine) {
    const MdxCase kase =
        Case(MdxCaseForm::Traditional, {"Axis #0:", "{}", "Row #0: 1", "Row #1: 2", "Row #2: 3"});
    const CaseComparison comparison =
        CompareCase(kase, {"Axis #0:", "{}", "Row #0: 1", "Row #2: 3"});
    EXPECT_FALSE(comparison.Same);
    EXPECT_EQ(comparison.FirstDifference, "missing line 4: \"Row #1: 2\"");
    EXPECT_NE(comparison.Report.find("- Row #1: 2\n"), std::string::npos) << comparison.Report;
    EXPECT_EQ(comparison.Report.find("+ "), std::string::npos) << comparison.Report;

    const CaseComparison changed =
        CompareCase(kase, {"Axis #0:", "{}", "Row #0: 1", "Row #1: 9", "Row #2: 3"});
    EXPECT_EQ(changed.FirstDifference, "missing line 4: \"Row #1: 2\", got \"Row #1: 9\"");

    // Changed lines pair up, each expected line over the one that came instead.
    const CaseComparison twoChanged =
        CompareCase(kase, {"Axis #0:", "{}", "Row #0: 1", "Row #1: 9", "Row #2: 8"});
    EXPECT_NE(twoChanged.Report.find("- Row #1: 2\n+ Row #1: 9\n- Row #2: 3\n+ Row #2: 8\n"),
              std::string::npos)
        << twoChanged.Report;
}

constexpr const char* CaseText =
    "# case: probe\n"
    "# kind:   assertAxisReturns\n"
    "# tier:   edge   note: German-locale values\n"
    "#   continued: not a field\n"
    "=== QUERY ===\n"
    "select {[Gender].members} on columns\r\n"
    " from Sales  \n"
    "=== EXPECTED ===\n"
    "[Gender].[All Gender]\n"
    "Row #1: \n"
    "\n";

TEST(MdxCase, ParsesHeaderQueryAndExpectedLines) {
    const MdxCase kase = ParseMdxCase("probe", CaseText);
    EXPECT_EQ(kase.Tier, MdxCaseTier::Edge);
    EXPECT_EQ(kase.Form, MdxCaseForm::AxisOnly);
    EXPECT_TRUE(kase.CommaDecimal);
    EXPECT_EQ(kase.Query, "select {[Gender].members} on columns\n from Sales");
    EXPECT_EQ(kase.Expected, (std::vector<std::string>{"[Gender].[All Gender]", "Row #1:"}));
}

TEST(MdxCase, RefusesFilesItCannotJudge) {
    const std::string text = CaseText;
    const auto refused = [](const std::string& changed) {
        EXPECT_THROW(ParseMdxCase("probe", changed), std::runtime_error) << changed;
    };
    refused(text.substr(0, text.find("=== EXPECTED")));
    refused(std::string(text).replace(text.find("edge"), 4, "hard"));
    refused(std::string(text).replace(text.find("assertAxisReturns"), 17, "somethingElse"));
    refused(std::string(text).replace(text.find("select"), 6, "=== QUERY ===\n"));
}

}  // namespace
}  // namespace orvik::test
