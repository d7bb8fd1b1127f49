#include "design/DesignerDocument.h"

#include <filesystem>

#include "design/DesignerFixture.h"
#include "persist/ReportFile.h"

namespace orvik::design {
namespace {

class DesignerDocumentTest : public test::DesignerFixture {
  protected:
    std::string PathOf(const std::string& name) { return program.Home().Path() + name; }

    std::vector<std::string> SheetNames() {
        std::vector<std::string> names;
        for (const auto& sheet : Report().Sheets) names.push_back(sheet->Name.Value);
        return names;
    }

    DesignerDocument document{Ctx()};
};

TEST_F(DesignerDocumentTest, ANewReportSavedAsAFileReopensAsItWasSaved) {
    ASSERT_TRUE(document.New());
    EXPECT_EQ(SheetNames(), std::vector<std::string>{"Sheet 1"});
    EXPECT_FALSE(document.Modified());
    // A new report has a name but no file yet: Save must ask where it goes.
    EXPECT_EQ(document.Path(), "New.ovk");
    EXPECT_FALSE(document.HasFile());
    EXPECT_EQ(document.Title(), "New.ovk - Orvik");

    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region, amount from sales");
    COvInfoSheet& sheet = *Report().Sheets[0];
    Edit(ObjectKind::Sheet, sheet, "cDS", "Sales");
    Edit(ObjectKind::Sheet, sheet, "Name", "Regions");
    Edit(ObjectKind::Report, *Report().ReportObject, "PlainParams", "1");
    EXPECT_TRUE(document.Modified());
    EXPECT_EQ(document.Title(), "New.ovk * - Orvik");

    const std::string path = PathOf("reports/round.ovk");
    std::filesystem::create_directories(PathOf("reports"));
    const int savedBefore = Front().Count("Saved");
    ASSERT_TRUE(document.SaveAs(path));
    EXPECT_FALSE(document.Modified());
    EXPECT_EQ(Front().Count("Saved"), savedBefore + 1);
    EXPECT_EQ(document.Path(), path);
    EXPECT_TRUE(document.HasFile());
    EXPECT_EQ(document.Title(), "round.ovk - Orvik");
    const std::string written = test::ReadFileBytes(path);
    EXPECT_NE(written.find("<Name>Regions</Name>"), std::string::npos);

    // Changes made after the save are dropped by New; the file keeps what was saved.
    Edit(ObjectKind::DataSource, sales, "Qry", "select region from sales");
    ASSERT_TRUE(document.New());
    EXPECT_EQ(SheetNames(), std::vector<std::string>{"Sheet 1"});
    EXPECT_EQ(test::ReadFileBytes(path), written);

    const DocumentResult opened = document.Open(path);
    ASSERT_TRUE(opened) << opened.Error;
    EXPECT_EQ(SheetNames(), std::vector<std::string>{"Regions"});
    ASSERT_EQ(Report().DataSources.size(), 2u);  // the new report's first source came along
    EXPECT_EQ(Report().DataSources[1]->Qry.Value, "select region, amount from sales");
    EXPECT_EQ(GridRows(*Report().Sheets[0]), 4);  // opened as the designer shows it: it ran
    EXPECT_FALSE(document.Modified());
    EXPECT_EQ(document.Path(), path);
    EXPECT_TRUE(document.HasFile());
    // The report-level properties came back too, and go out again with the next save.
    ASSERT_NE(Report().ReportObject, nullptr);
    EXPECT_EQ(Report().ReportObject->Get("PlainParams"), "1");
    ASSERT_TRUE(document.Save());
    EXPECT_NE(test::ReadFileBytes(path).find("<PlainParams>1</PlainParams>"), std::string::npos);
    EXPECT_TRUE(Front().Messages.empty());
}

TEST_F(DesignerDocumentTest, TheFrontEndHearsOnlyWhenTheMarkMoves) {
    document.SetModified(true);
    document.SetModified(true);
    EXPECT_EQ(Front().Count("Modified"), 1);
    document.SetModified(false);
    EXPECT_EQ(Front().Count("Saved"), 1);

    // Marked below the designer (a save, the query builder): Refresh catches up once.
    Report().Modified = true;
    EXPECT_TRUE(document.Refresh());
    EXPECT_FALSE(document.Refresh());
    EXPECT_EQ(Front().Count("Modified"), 2);
    // A new path retitles the window without a mark to tell.
    Report().CurrentDocPath = PathOf("moved.ovk");
    EXPECT_TRUE(document.Refresh());
    EXPECT_EQ(Front().Count("Modified"), 2);
    EXPECT_EQ(document.Title(), "moved.ovk * - Orvik");

    // Told by an edit behind the document's back, a save still clears the title's mark.
    document.SetModified(false);
    Report().Modified = true;
    Front().ModifiedChanged(true);
    ASSERT_TRUE(document.SaveAs(PathOf("saved.ovk")));
    EXPECT_EQ(Front().Events.back(), "Saved");
}

TEST_F(DesignerDocumentTest, AFailedSaveSaysWhyAndKeepsTheReportModified) {
    ASSERT_TRUE(document.New());
    ASSERT_TRUE(document.SaveAs(PathOf("kept.ovk")));
    document.SetModified(true);
    const size_t events = Front().Events.size();

    // No one may write in /proc, not even root.
    const DocumentResult saved = document.SaveAs("/proc/report.ovk");
    EXPECT_FALSE(saved);
    EXPECT_EQ(saved.Error.rfind("Cannot save file /proc/report.ovk !", 0), 0u) << saved.Error;
    EXPECT_TRUE(document.Modified());
    EXPECT_EQ(document.Path(), PathOf("kept.ovk"));
    EXPECT_TRUE(Front().Messages.empty());  // the window shows the error, not the document
    EXPECT_EQ(Front().Events.size(), events);

    Report().CurrentDocPath = "/proc/kept.ovk";
    EXPECT_FALSE(document.Save());
    EXPECT_TRUE(document.Modified());
    EXPECT_FALSE(document.SaveAs(""));
    EXPECT_TRUE(document.Modified());
}

TEST_F(DesignerDocumentTest, AFileThatCannotBeReadLeavesTheOpenReportAlone) {
    ASSERT_TRUE(document.New());
    Edit(ObjectKind::Sheet, *Report().Sheets[0], "Name", "Precious");
    ASSERT_TRUE(document.SaveAs(PathOf("precious.ovk")));
    Edit(ObjectKind::Sheet, *Report().Sheets[0], "Title", "Unsaved work");
    const COvInfoSheet* sheet = Report().Sheets[0].get();

    const std::string valid = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root><SHEET><Name>";
    const std::pair<std::string, std::string> files[] = {
        {"", "Cannot open file " + PathOf("absent.ovk") + " !"},
        {"empty.ovk", "is empty"},
        {"cut.ovk", "before its root element closes"},
        {"bad-utf8.ovk", "cannot be read"},
    };
    program.Home().Write("empty.ovk", "");
    program.Home().Write("cut.ovk", valid + "Other</Name></SHEET>");
    program.Home().Write("bad-utf8.ovk", valid + "\xff</Name></SHEET></root>");
    for (const auto& [file, why] : files) {
        const std::string path = PathOf(file.empty() ? "absent.ovk" : file);
        const DocumentResult opened = document.Open(path);
        EXPECT_FALSE(opened) << file;
        EXPECT_NE(opened.Error.find(why), std::string::npos) << opened.Error;
        ASSERT_EQ(Report().Sheets.size(), 1u) << file;
        EXPECT_EQ(Report().Sheets[0].get(), sheet);
        EXPECT_EQ(sheet->Get("Title"), "Unsaved work");
        EXPECT_TRUE(document.Modified());
        EXPECT_EQ(document.Path(), PathOf("precious.ovk"));
        EXPECT_TRUE(Front().Messages.empty()) << file;

        // The refusal says what the loader itself would have said.
        test::TestProgram other;
        other.Context().Report().StartNew();
        SerializeXML(other.Context(), path, 0);
        ASSERT_FALSE(other.Front().Messages.empty()) << file;
        EXPECT_EQ(other.Front().Messages.back().Text, opened.Error);
    }
}

}  // namespace
}  // namespace orvik::design
