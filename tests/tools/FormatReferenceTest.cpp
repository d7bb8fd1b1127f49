// The format reference against the program itself: every element a saved report holds must have
// its row under its object (or under the type that brought it), types added the way plug-ins add
// them must show up with their properties, and the examples the prose gives (date expressions, the
// minimal report) must do what the page says they do.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "FormatDoc.h"
#include "TestSupport.h"
#include "core/TextEncoding.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/DateExpression.h"
#include "params/ParamSubstitution.h"
#include "persist/ReportFile.h"
#include "persist/ReportLifecycle.h"
#include "persist/XmlDocument.h"

namespace orvik {
namespace {

using formatdoc::FormatDocError;
using formatdoc::FormatReference;

constexpr std::string_view kBlocks[] = {"report", "SHEET", "GCols", "DS", "PRM", "ACT", "settings"};

std::string SourceFile(const std::string& relative) {
    const char* sourceDir = std::getenv("ORVIK_TEST_SOURCE_DIR");
    return sourceDir ? test::ReadFileBytes(std::string(sourceDir) + "/" + relative) : "";
}

// The text of a block before its first type section, or the section of type `prop` = `value`
// ("" when there is none).
std::string SectionOf(const std::string& block, const std::string& prop = {},
                      const std::string& value = {}) {
    if (prop.empty()) return block.substr(0, block.find("\n### "));
    const size_t start = block.find("### `" + prop + "` = `" + value + "`");
    if (start == std::string::npos) return {};
    return block.substr(start, block.find("\n### ", start) - start);
}

bool HasRow(const std::string& text, const std::string& name) {
    return text.find("\n| `" + name + "` |") != std::string::npos;
}

// The cells of a table row, split at the pipes Markdown does not see escaped.
std::vector<std::string> CellsOf(const std::string& row) {
    std::vector<std::string> cells;
    std::string cell;
    for (size_t i = 1; i < row.size(); ++i) {
        if (row[i] == '|' && row[i - 1] != '\\') {
            cells.emplace_back(Trim(cell, " "));
            cell.clear();
        } else {
            cell += row[i];
        }
    }
    return cells;
}

std::string RowOf(const std::string& text, const std::string& name) {
    const size_t start = text.find("\n| `" + name + "` |");
    if (start == std::string::npos) return {};
    return text.substr(start + 1, text.find('\n', start + 1) - start - 1);
}

void FillEmpty(COvInfoObject& object) {
    for (COvInfoProp* prop : object.Props)
        if (prop->Value.empty()) prop->Value = "x";
}

std::vector<std::string> EntriesOf(const CRegistries& r, int list) {
    std::vector<std::string> names;
    for (const auto& entry : r.ComboValues)
        if (entry->Id == list) names.push_back(entry->Name);
    return names;
}

// A report with an object of every type of every list, every property set, so that a save
// writes every element and attribute the program knows.
void BuildReportOfEveryType(CReport& report, CRegistries& r) {
    for (const std::string& type : EntriesOf(r, ListId::DataSourceTypes)) {
        COvInfoDS* ds = report.NewDataSource("ds " + type);
        ds->tpDS.Value = type;
        r.ReplaceAppended(ds->tpDS, ds->Props);
        FillEmpty(*ds);
    }
    for (const std::string& view : EntriesOf(r, ListId::OutputTypes)) {
        COvInfoSheet* sheet = report.NewSheet("sheet " + view);
        sheet->tpVW.Value = view;
        r.ReplaceAppended(sheet->tpVW, sheet->Props);
        FillEmpty(*sheet);
        int column = 0;
        for (const std::string& type : EntriesOf(r, ListId::ColumnTypes)) {
            auto columns = std::make_unique<COvInfoGCols>(&r, GroupId::GridColumns);
            columns->Key = "0_" + std::to_string(column++);
            columns->ColT.Value = type;
            r.ReplaceAppended(columns->ColT, columns->Props);
            FillEmpty(*columns);
            sheet->GridColumns.push_back(std::move(columns));
        }
    }
    FillEmpty(*report.ReportObject);
    for (const std::string& type : EntriesOf(r, ListId::ParameterTypes)) {
        auto prm = std::make_unique<COvInfoPrm>(&r, GroupId::Param);
        prm->Name.Value = "p" + type;
        prm->Type.Value = type;
        r.ReplaceAppended(prm->Type, prm->Props);
        FillEmpty(*prm);
        report.ReportObject->Props.push_back(&prm->PrmVal);
        report.Params.push_back(std::move(prm));
    }
    auto task = std::make_unique<COvInfoAct>(&r, GroupId::Task);
    task->Name.Value = "Daily";
    std::erase(task->Props, &task->AType);
    COvInfoAct* parent = report.Tasks.emplace_back(std::move(task)).get();
    for (const std::string& type : EntriesOf(r, ListId::TaskTypes)) {
        auto step = std::make_unique<COvInfoAct>(&r, GroupId::Task);
        step->Parent = parent;
        step->AType.Value = type;
        r.ReplaceAppended(step->AType, step->Props);
        FillEmpty(*step);
        report.Tasks.push_back(std::move(step));
    }
}

// Why the reference refuses block `block` (or, with no block, the page `page`); "(accepted)" when
// it does not.
std::string Refusal(test::TestProgram& program, const formatdoc::Notes& notes,
                    std::string_view block, const std::string& page = {}) {
    FormatReference reference(program.Context(), notes);
    try {
        if (block.empty()) {
            reference.Fill(page);
        } else {
            reference.Block(block);
        }
    } catch (const FormatDocError& error) {
        return error.what();
    }
    return "(accepted)";
}

std::string TypeOf(CXmlElement* element, const char* prop) {
    CXmlElement* child = CXmlDocument::FindFirstChild(element, prop);
    return child ? child->GetValue() : "";
}

TEST(FormatReference, EveryElementASavedReportHoldsHasItsRowUnderItsObjectOrType) {
    test::TestProgram program;
    CReport& report = program.Context().Report();
    CRegistries& r = program.Context().Registries();
    report.StartNew();
    BuildReportOfEveryType(report, r);
    const std::string path = program.Home().Path() + "every.ovk";
    ASSERT_EQ(SaveDocument(program.Context(), path), 1);

    std::map<std::string, std::string> blocks;
    {
        test::TestProgram documenting;
        FormatReference reference(documenting.Context());
        for (const std::string_view block : kBlocks)
            blocks[std::string(block)] = reference.Block(block);
    }

    CXmlDocument document;
    ASSERT_EQ(document.Load(path), 1);
    int checked = 0;
    const auto expectDocumented = [&](const std::string& block, const std::string& prop,
                                      const std::string& type, const std::string& name) {
        ++checked;
        EXPECT_TRUE(HasRow(SectionOf(blocks[block]), name) ||
                    (!type.empty() && HasRow(SectionOf(blocks[block], prop, type), name)))
            << name << " of " << block << " (" << prop << " = " << type << ")";
    };
    const std::regex attribute(R"((\w+)=")");
    for (const auto& object : document.GetRootElement()->GetChildren()) {
        const std::string& kind = object->GetName();
        std::string block = kind, prop;
        if (kind == "DS") prop = "tpDS";
        if (kind == "PRM") prop = "Type";
        if (kind == "ACT") prop = "AType";
        if (kind == "SHEET") {
            prop = "tpVW";
            if (TypeOf(object.get(), "Name").empty()) block = "report";
        }
        const std::string type = prop.empty() ? "" : TypeOf(object.get(), prop.c_str());
        for (const auto& child : object->GetChildren()) {
            expectDocumented(block, prop, type, child->GetName());
            if (child->GetName() != "GCols") continue;
            for (const auto& column : child->GetChildren()) {
                const std::string& attributes = column->GetAttributes();
                for (std::sregex_iterator it(attributes.begin(), attributes.end(), attribute), end;
                     it != end; ++it) {
                    expectDocumented("GCols", "ColT", column->GetAttribute("ColT"), (*it)[1]);
                }
            }
        }
    }
    EXPECT_GT(checked, 60);
}

TEST(FormatReference, ATypeRegisteredLaterGetsItsSectionWithCellsThatStayCells) {
    // As a plug-in registers one, with words Markdown would otherwise act on.
    test::TestProgram program;
    CRegistries& r = program.Context().Registries();
    COvCombos* type = r.AddComboValue(ListId::DataSourceTypes, "XLS", "Excel | Book", 0);
    r.AddProp(type, GroupId::DataSource, "xFile", "Work*book*", "a`b|c", 0, PropKind::File, 0,
              nullptr, 0);
    FormatReference reference(program.Context());
    const std::string ds = reference.Block("DS");

    const std::vector<std::string> typeCells = CellsOf(RowOf(SectionOf(ds), "tpDS"));
    ASSERT_EQ(typeCells.size(), 5u);
    EXPECT_NE(typeCells[3].find("`XLS` (Excel \\| Book)"), std::string::npos);

    const std::string section = SectionOf(ds, "tpDS", "XLS");
    EXPECT_TRUE(section.starts_with("### `tpDS` = `XLS`: Excel | Book\n"));
    const std::vector<std::string> cells = CellsOf(RowOf(section, "xFile"));
    ASSERT_EQ(cells.size(), 5u);
    EXPECT_EQ(cells[1], "*Work\\*book\\**.");
    EXPECT_EQ(cells[3], "file path");
    EXPECT_EQ(cells[4], "`` a`b\\|c ``");
    EXPECT_FALSE(HasRow(SectionOf(ds, "tpDS", "SQL"), "xFile"));
}

TEST(FormatReference, WhatTheSchemaDoesNotSayMustBeNoted) {
    test::TestProgram program;
    CRegistries& r = program.Context().Registries();
    COvCombos* type = r.AddComboValue(ListId::TaskTypes, "XLSX", "", 0);
    formatdoc::Notes notes = formatdoc::BuiltinNotes();
    EXPECT_NE(Refusal(program, notes, "ACT").find("ACT.AType=XLSX"), std::string::npos);
    notes["ACT.AType=XLSX"] = "A workbook.";
    r.AddProp(type, GroupId::Task, "xPath", "", "", 0, PropKind::Text, 0, nullptr, 0);
    EXPECT_NE(Refusal(program, notes, "ACT").find("ACT.xPath"), std::string::npos);
}

TEST(FormatReference, FillReplacesEachMarkerOnceAndRefusesAnIncompleteOrStalePage) {
    test::TestProgram program;
    std::string page = "# Title\n\nProse with `code` and <!-- a comment -->.\n";
    for (const std::string_view block : kBlocks)
        page += "\n  <!-- schema: " + std::string(block) + " -->\n";
    page += "\nThe end.";
    {
        FormatReference reference(program.Context());
        const std::string filled = reference.Fill(page);
        EXPECT_TRUE(filled.starts_with("<!-- Generated by orvik-format-doc"));
        EXPECT_NE(filled.find("\n# Title\n\nProse with `code` and <!-- a comment -->.\n"),
                  std::string::npos);
        EXPECT_TRUE(filled.ends_with("\nThe end."));
        EXPECT_EQ(filled.find("<!-- schema:"), std::string::npos);
        EXPECT_TRUE(HasRow(filled, "Qry"));
        EXPECT_NE(filled.find("| `~CmdTimeout~` |"), std::string::npos);
    }
    const formatdoc::Notes notes = formatdoc::BuiltinNotes();
    const std::string marker = "  <!-- schema: ACT -->\n";
    std::string without = page;
    without.erase(without.find(marker), marker.size());
    EXPECT_NE(Refusal(program, notes, {}, without).find("schema: ACT"), std::string::npos);
    EXPECT_NE(
        Refusal(program, notes, {}, page + "\n<!-- schema: DS -->\n").find("'DS' asked for twice"),
        std::string::npos);
    EXPECT_NE(Refusal(program, notes, {}, page + "\n<!-- schema: Sheets -->\n")
                  .find("unknown block 'Sheets'"),
              std::string::npos);
    formatdoc::Notes stale = notes;
    stale["DS.Qyr"] = "A misspelt note.";
    EXPECT_NE(Refusal(program, stale, {}, page).find("note 'DS.Qyr'"), std::string::npos);
}

TEST(FormatReference, TheDateExpressionsOfThePageGiveWhatItSays) {
    const std::string page = SourceFile("docs/report-format.md.in");
    ASSERT_FALSE(page.empty()) << "ORVIK_TEST_SOURCE_DIR is not set";
    test::TestProgram program;
    const TodayClock previous = SetClockForTesting([] {
        std::tm now{};
        now.tm_year = 2024 - 1900;  // Friday 15 March 2024, as the page's table says
        now.tm_mon = 2;
        now.tm_mday = 15;
        now.tm_hour = 10;
        return now;
    });
    const auto unquoted = [](std::string cell) { return cell.substr(1, cell.size() - 2); };
    int checked = 0;
    for (size_t at = page.find("\n| `~"); at != std::string::npos;
         at = page.find("\n| `~", at + 1)) {
        const std::vector<std::string> cells =
            CellsOf(page.substr(at + 1, page.find('\n', at + 1) - at - 1));
        ASSERT_EQ(cells.size(), 3u);
        EXPECT_EQ(DSetParam(program.Context(), unquoted(cells[0])), unquoted(cells[2])) << cells[0];
        ++checked;
    }
    SetClockForTesting(previous);
    EXPECT_GE(checked, 8);
    EXPECT_TRUE(program.Front().Messages.empty());
}

TEST(FormatReference, TheMinimalReportOfThePageLoadsAsItsNotesSay) {
    const std::string page = SourceFile("docs/report-format.md.in");
    ASSERT_FALSE(page.empty()) << "ORVIK_TEST_SOURCE_DIR is not set";
    const size_t section = page.find("\n## A minimal report\n");
    ASSERT_NE(section, std::string::npos);
    const size_t start = page.find("```xml\n", section) + 7;
    const std::string xml = page.substr(start, page.find("\n```\n", start) + 1 - start);

    test::TestProgram program;
    CReport& report = program.Context().Report();
    const std::string path = program.Home().Write("Minimal.ovk", xml);
    InitOVK(program.Context(), path);
    ASSERT_EQ(SerializeXML(program.Context(), path, 0), 1);
    EXPECT_TRUE(program.Front().Messages.empty()) << program.Front().Messages[0].Text;
    ASSERT_EQ(report.DataSources.size(), 1u);
    ASSERT_EQ(report.Sheets.size(), 1u);
    ASSERT_EQ(report.Params.size(), 1u);
    ASSERT_EQ(report.Tasks.size(), 2u);
    EXPECT_EQ(report.Tasks[1]->Parent, report.Tasks[0].get());
    EXPECT_EQ(report.Tasks[1]->AType.Value, "HTML");
    ASSERT_EQ(report.Sheets[0]->GridColumns.size(), 1u);
    EXPECT_EQ(report.Sheets[0]->GridColumns[0]->Key, "0_1");
    EXPECT_EQ(report.Sheets[0]->Get("bVis"), "1");  // left out, so at its default

    const TodayClock previous = SetClockForTesting([] {
        std::tm now{};
        now.tm_year = 2024 - 1900;
        now.tm_mon = 2;
        now.tm_mday = 15;
        return now;
    });
    const std::string query =
        DSetParam(program.Context(), report.DataSources[0]->Qry.Value, SubstitutionTarget::Sql);
    SetClockForTesting(previous);
    EXPECT_NE(query.find("where s.sale_date = '2024-03-14'\r\n"), std::string::npos) << query;
}

}  // namespace
}  // namespace orvik
