#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "core/Paths.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "persist/ReportFile.h"
#include "persist/ReportLifecycle.h"

namespace orvik {
namespace {

// A report with every kind of object and reference the file format knows.
void BuildRichReport(AppContext& context) {
    CReport& report = context.Report();
    CRegistries& r = context.Registries();
    // The database list parameter connects its source when the report is opened.
    const std::string database = context.ProgramFolder() + "sales.db";
    sqlite3* db = nullptr;
    sqlite3_open(database.c_str(), &db);
    sqlite3_exec(db, "create table if not exists sales (region text, amount real)", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    InitOVK(context, "");
    report.ReportObject->GetPropByName("HTMLayout")->Value = "layout.htm";

    COvInfoDS* sql = report.NewDataSource("Sales");
    sql->DSN.Value = "Provider=SQLite;Data Source=" + database;
    sql->Qry.Value =
        "select region, sum(amount)\r\nfrom sales\r\nwhere amount > 5 & 1 < 2\r\ngroup by 1";
    COvInfoDS* olap = report.NewDataSource("Cube");
    olap->tpDS.Value = "OLAP";
    r.ReplaceAppended(olap->tpDS, olap->Props);
    olap->GetPropByName("nCube")->Value = "Sales";
    olap->Qry.Value = "not written: the builder makes the query";
    for (const char* tag : {"MDXC", "MDXR", "MDXD"}) {
        auto item =
            std::make_unique<COvInfoProp>(olap->GetPropByName("bQ")->Owner, GroupId::DataSource,
                                          tag, "", "", 0, PropKind::Text, 0, nullptr, 1, -1);
        item->Value = std::string("[Measures].[") + tag + "]";
        if (std::string_view(tag) == "MDXC") item->DefaultValue = "[Time].[1997]";
        olap->Props.push_back(item.get());
        r.AppendedProperties.push_back(std::move(item));
    }

    COvInfoSheet* sheet = report.NewSheet("Regions");
    sheet->cDS.Value = "Sales";
    sheet->GetPropByName("Title")->Value = "Sales by \"region\"";
    sheet->GetPropByName("bTB")->Value = "1";
    auto column = std::make_unique<COvInfoGCols>(&report.Registries(), GroupId::GridColumns);
    column->Key = "0_2";
    column->ColN.Value = "Amount \"net\" <EUR> & tax";
    column->ColT.Value = "BT";
    r.PrepareNewCombo(column->ColT, column->Props, true);
    sheet->GridColumns.push_back(std::move(column));
    auto untouched = std::make_unique<COvInfoGCols>(&report.Registries(), GroupId::GridColumns);
    untouched->Key = "0_1";
    untouched->ColT.Value = "DEF";
    sheet->GridColumns.push_back(std::move(untouched));
    report.NewSheet("Empty sheet")->bVis.Value = "0";

    const auto addTask = [&](const char* name, const char* type, COvInfoAct* parent) {
        auto task = std::make_unique<COvInfoAct>(&report.Registries(), GroupId::Task);
        task->Name.Value = name;
        task->Parent = parent;
        if (type) {
            task->AType.Value = type;
            r.PrepareNewCombo(task->AType, task->Props, true);
        } else {
            task->Props.resize(1);
        }
        report.Tasks.push_back(std::move(task));
        return report.Tasks.back().get();
    };
    COvInfoAct* daily = addTask("Daily", nullptr, nullptr);
    addTask("Export", "HTML", daily);
    COvInfoAct* weekly = addTask("Weekly", nullptr, nullptr);
    COvInfoAct* mail = addTask("Mail", "SMTP", weekly);
    mail->GetPropByName("Srv")->Value = "127.0.0.1:2525";
    mail->GetPropByName("Adr")->Value = "boss@example.com;team@example.com";
    mail->GetPropByName("Subj")->Value = "Sales ~date(d-1)~";
    COvInfoAct* copy = addTask("Copy", "CMD", daily);
    copy->GetPropByName("cmd")->Value = "cp HTML/Orvik.htm /srv/www/";
    COvInfoAct* upload = addTask("Upload", "FTP", weekly);
    upload->GetPropByName("Password")->Value = "s3cret";

    const auto addParam = [&](const char* name, const char* type, const char* value) {
        auto prm = std::make_unique<COvInfoPrm>(&report.Registries(), GroupId::Param);
        prm->Name.Value = name;
        prm->Type.Value = type;
        prm->PrmVal.Value = value;
        r.PrepareNewCombo(prm->Type, prm->Props, true);
        prm->PrmVal.Caption = name;
        report.ReportObject->Props.push_back(&prm->PrmVal);
        report.Params.push_back(std::move(prm));
        return report.Params.back().get();
    };
    addParam("Region", "pcmb", "North")->GetPropByName("cmbels")->Value = "North;South";
    addParam("Day", "date", "2026-12-05")->Tit.Value = "Day";
    COvInfoPrm* ref = addParam("Heading", "rprop", "");
    ref->PrmVal.Kind = PropKind::Reference;
    ref->PrmVal.SelectedCombo = sheet->GetPropByName("Title");  // fifth property of sheet 1
    COvInfoPrm* fromDb = addParam("Regions", "DScmb", "[North],[South]");
    fromDb->GetPropByName("cDS")->Value = "Sales";
    fromDb->GetPropByName("cDST")->Value = "sales";
    fromDb->GetPropByName("cDSC")->Value = "region";
    fromDb->GetPropByName("cDSW")->Value = "amount > 0";
}

class ReportFileTest : public ::testing::Test {
  protected:
    CReport& Report() { return program.Context().Report(); }
    std::string PathOf(const std::string& name) { return program.Home().Path() + name; }
    std::string ProgramFolder() { return program.Home().Path(); }
    test::TestProgram program;
};

TEST_F(ReportFileTest, SavedLayoutIsTheFixedOne) {
    BuildRichReport(program.Context());
    ASSERT_EQ(SerializeXML(program.Context(), PathOf("rich.ovk"), 1), 1);
    EXPECT_FALSE(Report().Modified);
    const std::string file = test::ReadFileBytes(PathOf("rich.ovk"));
    const std::string expectedStart =
        "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\r\n"
        "<root>\r\n"
        "\t<DS>\r\n"
        "\t\t<Name>Sales</Name>\r\n"
        "\t\t<tpDS>SQL</tpDS>\r\n"
        "\t\t<DSN>Provider=SQLite;Data Source=" +
        ProgramFolder() +
        "sales.db</DSN>\r\n"
        "\t\t<Qry>select region, sum(amount)\r\nfrom sales\r\nwhere amount &gt; 5 &amp; 1 &lt; "
        "2\r\n"
        "group by 1</Qry>\r\n"
        "\t</DS>\r\n"
        "\t<DS>\r\n"
        "\t\t<Name>Cube</Name>\r\n"
        "\t\t<tpDS>OLAP</tpDS>\r\n"
        "\t\t<bQ>0</bQ>\r\n"
        "\t\t<nCube>Sales</nCube>\r\n"
        "\t\t<MDXC Filter=\"[Time].[1997]\">[Measures].[MDXC]</MDXC>\r\n"
        "\t\t<MDXR>[Measures].[MDXR]</MDXR>\r\n";
    EXPECT_EQ(file.substr(0, expectedStart.size()), expectedStart);
    for (const char* piece :
         {"\t<ACT>\r\n\t\t<ActParent>0</ActParent>\r\n\t\t<Name>Export</Name>\r\n\t\t<AType>HTML</"
          "AType>\r\n\t</ACT>\r\n",
          "\t<ACT>\r\n\t\t<Name>Daily</Name>\r\n\t</ACT>\r\n",
          "\t\t<Password>s3cret</Password>\r\n\t\t<Files>*.*</Files>\r\n",
          "\t<SHEET>\r\n\t\t<HTMLayout>layout.htm</HTMLayout>\r\n\t\t<PrmVal>North</PrmVal>\r\n",
          "\t\t<GCols>\r\n\t\t\t<C0_2 ColN=\"Amount &quot;net&quot; &lt;EUR&gt; &amp; tax\" "
          "ColT=\"BT\" "
          "BCP=\"0,255,0\" BCN=\"255,0,0\"  />\r\n\t\t</GCols>\r\n",
          "\t\t<Title>Sales by \"region\"</Title>\r\n", "\t\t<cprop>{S.1.5}</cprop>\r\n",
          "\t\t<cDSW>amount &gt; 0</cDSW>\r\n", "\t</PRM>\r\n</root>\r\n"}) {
        EXPECT_NE(file.find(piece), std::string::npos) << "missing: " << piece;
    }
    EXPECT_EQ(file.find("not written"), std::string::npos);  // builder-made query
    EXPECT_EQ(file.find("C0_1"), std::string::npos);         // column left at its defaults
}

TEST_F(ReportFileTest, LoadThenSaveReproducesTheFileByteForByte) {
    BuildRichReport(program.Context());
    ASSERT_EQ(SaveDocument(program.Context(), PathOf("first.ovk")), 1);

    test::TestProgram fresh;
    CReport& loaded = fresh.Context().Report();
    InitOVK(fresh.Context());
    ASSERT_EQ(SerializeXML(fresh.Context(), PathOf("first.ovk"), 0), 1);
    EXPECT_TRUE(fresh.Front().Messages.empty()) << fresh.Front().Messages[0].Text;
    ASSERT_EQ(SerializeXML(fresh.Context(), PathOf("second.ovk"), 1), 1);
    EXPECT_EQ(test::ReadFileBytes(PathOf("first.ovk")), test::ReadFileBytes(PathOf("second.ovk")));

    // What the objects look like after loading.
    ASSERT_EQ(loaded.DataSources.size(), 2u);
    EXPECT_EQ(loaded.DataSources[0]->Qry.Value.find("\r\nfrom sales\r\n") != std::string::npos,
              true);
    EXPECT_EQ(loaded.DataSources[1]->GetPropByName("MDXC")->DefaultValue, "[Time].[1997]");
    EXPECT_TRUE(loaded.DataSources[1]->GetPropByName("MDXD")->IsReadOnly());
    ASSERT_EQ(loaded.Tasks.size(), 6u);
    // A task is its name and whether it delivers after a failed query; a step has no such choice.
    EXPECT_EQ(loaded.Tasks[0]->Props.size(), 2u);
    EXPECT_EQ(loaded.Tasks[1]->GetPropByName("SendAfterFailure"), nullptr);
    EXPECT_EQ(loaded.Tasks[1]->Parent, loaded.Tasks[0].get());
    EXPECT_EQ(loaded.Tasks[3]->Parent, loaded.Tasks[2].get());
    ASSERT_EQ(loaded.Sheets.size(), 2u);
    // Opening ran the sheet, whose grid added definitions for its own columns; the stored one
    // stays.
    const COvInfoGCols* stored = nullptr;
    for (const auto& column : loaded.Sheets[0]->GridColumns) {
        if (column->Key == "0_2") stored = column.get();
    }
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->ColN.Value, "Amount \"net\" <EUR> & tax");
    EXPECT_EQ(stored->ColT.Value, "BT");
    ASSERT_EQ(loaded.Params.size(), 4u);
    const COvInfoPrm& heading = *loaded.Params[2];
    EXPECT_EQ(heading.PrmVal.Kind, PropKind::Reference);
    EXPECT_EQ(heading.PrmVal.SelectedCombo, loaded.Sheets[0]->GetPropByName("Title"));
    EXPECT_EQ(loaded.Params[1]->PrmVal.Kind, PropKind::DateTime);
    // Every parameter's value is also in the report object's list, captioned with its name.
    EXPECT_EQ(loaded.ReportObject->Props.size(), 4u + 4u);
    EXPECT_EQ(loaded.ReportObject->Props[4]->Caption, "Region");
    EXPECT_EQ(fresh.Context().Registries().FindComboValue(ListId::DataSources, "Cube")->Name,
              "Cube");
}

TEST_F(ReportFileTest, CyrillicStaysWindows1251AndOtherScriptsSwitchToUtf8) {
    InitOVK(program.Context());
    Report().NewSheet("Продажи");
    ASSERT_EQ(SaveDocument(program.Context(), PathOf("ru.ovk")), 1);
    const std::string cp1251 = test::ReadFileBytes(PathOf("ru.ovk"));
    EXPECT_NE(cp1251.find("encoding=\"windows-1251\""), std::string::npos);
    EXPECT_NE(cp1251.find("<Name>\xCF\xF0\xEE\xE4\xE0\xE6\xE8</Name>"), std::string::npos);

    Report().Sheets[0]->Name.Value = "売上 Продажи";
    ASSERT_EQ(SaveDocument(program.Context(), PathOf("jp.ovk")), 1);
    EXPECT_NE(test::ReadFileBytes(PathOf("jp.ovk")).find("encoding=\"UTF-8\""), std::string::npos);

    for (const char* name : {"ru.ovk", "jp.ovk"}) {
        test::TestProgram fresh;
        InitOVK(fresh.Context());
        ASSERT_EQ(SerializeXML(fresh.Context(), PathOf(name), 0), 1);
        ASSERT_EQ(fresh.Context().Report().Sheets.size(), 1u);
        EXPECT_EQ(fresh.Context().Report().Sheets[0]->Name.Value,
                  std::string(name) == "ru.ovk" ? "Продажи" : "売上 Продажи");
    }
}

TEST_F(ReportFileTest, DamagedFilesLoadWhatTheyCanAndSayWhatWasDropped) {
    const std::string path = program.Home().Write(
        "bad.ovk",
        "<?xml version=\"1.0\"?>\n<root>\n"
        "<DS><tpDS>SQL</tpDS><Qry>no name</Qry></DS>\n"
        "<DS><Name>A</Name><tpDS>NOSQL</tpDS></DS>\n"
        "<DS><Name>A</Name></DS>\n"
        "<UNKNOWN><Name>x</Name></UNKNOWN>\n"
        "<ACT><ActParent>5</ActParent><Name>Forward</Name><AType>CMD</AType></ACT>\n"
        "<ACT><ActParent>-1</ActParent><Name>Negative</Name></ACT>\n"
        "<ACT><ActParent>x</ActParent><Name>Junk</Name></ACT>\n"
        "<ACT><ActParent>0</ActParent><Name>Step</Name><AType>PLUGIN</AType></ACT>\n"
        "<SHEET><Name>S</Name><cDS>Gone</cDS><tpVW>CHART</tpVW><Unknown>1</Unknown></SHEET>\n"
        "<PRM><Name>P</Name><Type>rprop</Type><cprop>{S.9.1}</cprop></PRM>\n"
        "<PRM><Name>Q</Name><Type>rprop</Type><cprop>{S.1.0}</cprop></PRM>\n"
        "</root>\n");
    InitOVK(program.Context());
    ASSERT_EQ(SerializeXML(program.Context(), path, 0), 1);
    ASSERT_EQ(Report().DataSources.size(), 2u);  // the nameless one is dropped, duplicates kept
    EXPECT_EQ(Report().DataSources[0]->tpDS.Value, "");
    ASSERT_EQ(Report().Tasks.size(), 4u);
    EXPECT_EQ(Report().Tasks[0]->Parent, nullptr);
    EXPECT_EQ(Report().Tasks[1]->Parent, nullptr);
    EXPECT_EQ(Report().Tasks[2]->Parent, nullptr);
    EXPECT_EQ(Report().Tasks[3]->Parent, Report().Tasks[0].get());
    ASSERT_EQ(Report().Sheets.size(), 1u);
    EXPECT_EQ(Report().Sheets[0]->tpVW.Value, "");
    EXPECT_EQ(Report().Params[0]->PrmVal.Kind, PropKind::Text);  // unresolved: left alone
    EXPECT_EQ(Report().Params[0]->Get("cprop"), "{S.9.1}");
    EXPECT_EQ(Report().Params[1]->PrmVal.Kind, PropKind::Text);

    std::vector<std::string> texts;
    for (const auto& m : program.Front().Messages) texts.push_back(m.Text);
    const auto has = [&](const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    };
    EXPECT_TRUE(has("A data source without a name was dropped"));
    EXPECT_TRUE(has("Unknown Type <NOSQL> for DS = <A>;\nthe necessary PlugIn can not be loaded"));
    EXPECT_TRUE(has("Not Uniq Combo Value = 'A'"));
    EXPECT_TRUE(
        has("Unknown View Type <CHART> for Sheet = <S>;\nthe necessary PlugIn can be not loaded"));
    EXPECT_TRUE(has("Unknown value <Gone> of cDS for <S> was dropped"));
    EXPECT_TRUE(has("Unknown value <PLUGIN> of AType for <Step> was dropped"));
}

TEST_F(ReportFileTest, NoInputCrashesTheLoaderOrCorruptsASave) {
    BuildRichReport(program.Context());
    ASSERT_EQ(SaveDocument(program.Context(), PathOf("whole.ovk")), 1);
    const std::string whole = test::ReadFileBytes(PathOf("whole.ovk"));
    std::vector<std::string> inputs = {"", "\x00\x01\x02<<<>>>", std::string(4096, '<'),
                                       "<root><DS><Name>x</DS></root>", "<root/>"};
    for (size_t cut = 1; cut < whole.size(); cut += whole.size() / 37)
        inputs.push_back(whole.substr(0, cut));
    for (size_t i = 0; i < inputs.size(); ++i) {
        test::TestProgram fresh;
        InitOVK(fresh.Context());
        const std::string in = program.Home().Write("in" + std::to_string(i) + ".ovk", inputs[i]);
        SerializeXML(fresh.Context(), in, 0);
        const std::string out = PathOf("out" + std::to_string(i) + ".ovk");
        ASSERT_EQ(SerializeXML(fresh.Context(), out, 1), 1);
        // What was written reads back to the same file.
        test::TestProgram again;
        InitOVK(again.Context());
        SerializeXML(again.Context(), out, 0);
        ASSERT_EQ(SerializeXML(again.Context(), out + "2", 1), 1);
        EXPECT_EQ(test::ReadFileBytes(out), test::ReadFileBytes(out + "2")) << "input " << i;
    }
}

TEST_F(ReportFileTest, AHugeQuerySurvivesASaveAndALoadWhole) {
    InitOVK(program.Context());
    COvInfoDS* ds = Report().NewDataSource("Big");
    std::string query;
    query.reserve(50u << 20);
    while (query.size() < (50u << 20)) query += "select 1 as a, 'x' as b\r\n";
    query += "select 2";  // values are trimmed, so a trailing line break would not come back
    ds->Qry.Value = query;
    ASSERT_EQ(SaveDocument(program.Context(), PathOf("big.ovk")), 1);
    test::TestProgram fresh;
    InitOVK(fresh.Context());
    ASSERT_EQ(SerializeXML(fresh.Context(), PathOf("big.ovk"), 0), 1);
    ASSERT_EQ(fresh.Context().Report().DataSources.size(), 1u);
    EXPECT_EQ(fresh.Context().Report().DataSources[0]->Qry.Value.size(), query.size());
}

TEST_F(ReportFileTest, MissingFilesAndFailedSaves) {
    InitOVK(program.Context());
    EXPECT_EQ(SerializeXML(program.Context(), PathOf("absent.ovk"), 0), 0);
    ASSERT_FALSE(program.Front().Messages.empty());
    EXPECT_EQ(program.Front().Messages.back().Text,
              "Cannot open file " + PathOf("absent.ovk") + " !");
    program.Home().Write("empty.ovk", "");
    EXPECT_EQ(SerializeXML(program.Context(), PathOf("empty.ovk"), 0), 1);
    // A file of no bytes is said to be empty, not to be unreadable.
    EXPECT_EQ(program.Front().Messages.back().Text,
              "The report file " + PathOf("empty.ovk") + " is empty: there is no report in it");
    EXPECT_FALSE(Report().Loaded);

    Report().NewSheet();
    Report().Modified = true;
    program.Home().Write("file", "x");
    EXPECT_EQ(SaveDocument(program.Context(), PathOf("file/report.ovk")), 0);
    EXPECT_TRUE(Report().Modified);
    EXPECT_NE(program.Front().Messages.back().Text.find("Cannot save file"), std::string::npos);
}

TEST_F(ReportFileTest, PathsBareNamesAndBackslashes) {
    InitOVK(program.Context());
    EXPECT_EQ(ResolveReportPath(program.Context(), "New.ovk"), program.Home().Path() + "New.ovk");
    EXPECT_EQ(ResolveReportPath(program.Context(), "reports\\Daily.ovk"), "reports/Daily.ovk");
    Report().CurrentDocPath = "/srv/a.ovk";
    EXPECT_EQ(ResolveReportPath(program.Context(), ""), "/srv/a.ovk");

    OnFileNew(program.Context());
    ASSERT_EQ(Report().Sheets.size(), 1u);
    EXPECT_EQ(Report().Sheets[0]->Name.Value, "Sheet 1");
    ASSERT_EQ(Report().DataSources.size(), 1u);
    EXPECT_EQ(Report().DataSources[0]->Name.Value, "Data Source 1");
    ASSERT_EQ(SaveDocument(program.Context()), 1);  // a new report goes into the program folder
    EXPECT_TRUE(std::filesystem::exists(program.Home().Path() + "New.ovk"));
}

TEST_F(ReportFileTest, NewAndCopiedSheets) {
    InitOVK(program.Context());
    COvInfoSheet* first = Report().NewSheet();
    EXPECT_EQ(Report().NewSheet()->Name.Value, "Sheet 2");
    first->GetPropByName("Title")->Value = "Original";
    first->Name.Caption = "Renamed caption";
    Report().Modified = false;
    COvInfoSheet* copy = Report().CreateCopySheet(*first);
    EXPECT_TRUE(Report().Modified);
    EXPECT_EQ(copy->Name.Value, "Sheet 1 (New)");
    EXPECT_EQ(copy->Name.Caption, "Renamed caption");
    EXPECT_EQ(copy->Name.Owner, copy);
    EXPECT_EQ(copy->Name.Appended, 0);
    ASSERT_EQ(copy->Props.size(), first->Props.size());
    EXPECT_EQ(copy->Get("Title"), "Original");
    EXPECT_EQ(copy->GetPropByName("Title")->Owner, &copy->tpVW);
    EXPECT_NE(copy->GetPropByName("Title"), first->GetPropByName("Title"));
}

TEST_F(ReportFileTest, ClearingAModifiedReportOffersToSave) {
    InitOVK(program.Context(), PathOf("kept.ovk"));
    Report().NewSheet("Kept");
    Report().Modified = true;
    program.Front().Answer = MessageBoxResult::Yes;
    ClearDS(program.Context());
    EXPECT_EQ(program.Front().Messages.back().Text, "Current Document was changed; Save document?");
    EXPECT_EQ(program.Front().Messages.back().Caption, "Saving Document");
    EXPECT_NE(test::ReadFileBytes(PathOf("kept.ovk")).find("<Name>Kept</Name>"), std::string::npos);
    EXPECT_TRUE(Report().Sheets.empty());

    InitOVK(program.Context(), PathOf("dropped.ovk"));
    Report().NewSheet("Dropped");
    Report().Modified = true;
    program.Front().Answer = MessageBoxResult::No;
    ClearDS(program.Context());
    EXPECT_FALSE(std::filesystem::exists(PathOf("dropped.ovk")));
}

TEST_F(ReportFileTest, AFailedSaveAfterYesKeepsTheReportAndStopsTheOperation) {
    program.Home().Write("blocker", "a file, so nothing can be saved below it");
    const std::string unwritable = PathOf("blocker/report.ovk");
    const auto startModified = [&] {
        ASSERT_TRUE(InitOVK(program.Context(), unwritable));
        Report().NewSheet("Precious");
        Report().Modified = true;
    };
    program.Front().Answer = MessageBoxResult::Yes;
    const auto stillThere = [&] {
        ASSERT_EQ(Report().Sheets.size(), 1u);
        EXPECT_EQ(Report().Sheets[0]->Name.Value, "Precious");
        EXPECT_TRUE(Report().Modified);
        EXPECT_EQ(Report().CurrentDocPath, unwritable);
    };

    startModified();
    EXPECT_FALSE(ClearDS(program.Context()));
    stillThere();
    EXPECT_NE(program.Front().Messages.back().Text.find("Cannot save file"), std::string::npos);
    EXPECT_FALSE(InitOVK(program.Context(), PathOf("other.ovk")));
    stillThere();
    EXPECT_FALSE(OnFileNew(program.Context()));
    stillThere();
    program.Home().Write("other.ovk", "<root><SHEET><Name>Other</Name></SHEET></root>");
    EXPECT_EQ(OnFileOpen(program.Context(), PathOf("other.ovk")), 0);
    stillThere();

    // Answering No still discards the report.
    program.Front().Answer = MessageBoxResult::No;
    EXPECT_EQ(OnFileOpen(program.Context(), PathOf("other.ovk")), 1);
    ASSERT_EQ(Report().Sheets.size(), 1u);
    EXPECT_EQ(Report().Sheets[0]->Name.Value, "Other");
}

// A front end that records, besides messages, what the loader asks the windows to do.
class ViewRecorder : public test::RecordingFrontEnd {
  public:
    void RebuildExplorer() override { ++ExplorerRebuilds; }
    void ShowPage(const std::string& path) override { Pages.push_back(path); }

    int ExplorerRebuilds = 0;
    std::vector<std::string> Pages;
};

// A program whose front end is a ViewRecorder.
class RecordedProgram {
  public:
    RecordedProgram() {
        auto front = std::make_unique<ViewRecorder>();
        front_ = front.get();
        context_ = std::make_unique<AppContext>(
            AppContextOptions{home_.Path(), home_.Path() + "settings.ini", std::move(front)});
        BuildSchema(context_->Registries(), context_->Settings());
        InitOVK(*context_);
    }
    AppContext& Context() { return *context_; }
    CReport& Report() { return context_->Report(); }
    ViewRecorder& Front() { return *front_; }
    const test::TempDir& Home() const { return home_; }

  private:
    test::TempDir home_;
    ViewRecorder* front_;
    std::unique_ptr<AppContext> context_;
};

TEST(ReportLoading, AnUnreadableFileStillLeavesTheViewsShowingTheEmptyReport) {
    RecordedProgram program;
    const std::string empty = program.Home().Write("empty.ovk", "");
    EXPECT_EQ(SerializeXML(program.Context(), empty, 0), 1);
    EXPECT_FALSE(program.Report().Loaded);
    ASSERT_FALSE(program.Front().Messages.empty());
    EXPECT_EQ(program.Front().Messages[0].Text,
              "The report file " + empty + " is empty: there is no report in it");
    EXPECT_EQ(program.Front().ExplorerRebuilds, 1);
    EXPECT_TRUE(program.Front().Pages.empty());  // reading builds no page
    ASSERT_FALSE(program.Front().Shown.empty());
    EXPECT_EQ(program.Front().Shown.back(),
              std::make_pair(ObjectKind::Report,
                             static_cast<COvInfoObject*>(program.Report().ReportObject.get())));

    // A file that cannot be opened at all changes nothing on screen.
    RecordedProgram missing;
    EXPECT_EQ(SerializeXML(missing.Context(), missing.Home().Path() + "absent.ovk", 0), 0);
    EXPECT_EQ(missing.Front().ExplorerRebuilds, 0);
    EXPECT_TRUE(missing.Front().Shown.empty());
}

TEST(ReportLoading, ReadingConnectsToNothingAndBuildsNoPage) {
    RecordedProgram program;
    program.Context().BatchMode = true;
    const std::string database = program.Home().Path() + "stock.db";
    sqlite3* db = nullptr;
    sqlite3_open(database.c_str(), &db);
    sqlite3_exec(db, "create table stock (item text, amount integer)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const std::string path = program.Home().Write(
        "stock.ovk",
        "<root><DS><Name>Stock</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data Source=" + database +
            "</DSN><Qry>select item, amount from stock</Qry></DS>"
            "<SHEET><Name>Stock</Name><cDS>Stock</cDS><tpVW>GRID</tpVW></SHEET>"
            "</root>");
    ASSERT_EQ(SerializeXML(program.Context(), path, 0), 1);
    ASSERT_EQ(program.Report().DataSources.size(), 1u);
    EXPECT_EQ(program.Report().DataSources[0]->Connection, nullptr);
    EXPECT_EQ(program.Report().Sheets[0]->View, nullptr);
    EXPECT_FALSE(std::filesystem::exists(program.Context().Registries().HtmlFolder + "Orvik.htm"));
    EXPECT_EQ(program.Context().ErrorCount(), 0);
}

TEST_F(ReportFileTest, AFifoNamedAsTheReportIsRefusedWithoutWaitingForAWriter) {
    const std::string fifo = PathOf("fifo.ovk");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    InitOVK(program.Context());
    // Should the loader block in open(), the watchdog opens the writing end so that it returns
    // and the test fails instead of hanging.
    std::atomic<bool> finished{false}, rescued{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 250 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        while (!finished) {
            rescued = true;
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const int result = SerializeXML(program.Context(), fifo, 0);
    finished = true;
    watchdog.join();
    EXPECT_FALSE(rescued) << "the loader waited for a writer";
    EXPECT_EQ(result, 0);
    ASSERT_FALSE(program.Front().Messages.empty());
    EXPECT_EQ(program.Front().Messages.back().Text, "Cannot open file " + fifo + " !");

    // A folder is no report either.
    std::filesystem::create_directory(PathOf("folder.ovk"));
    EXPECT_EQ(SerializeXML(program.Context(), PathOf("folder.ovk"), 0), 0);
    EXPECT_EQ(program.Front().Messages.back().Text,
              "Cannot open file " + PathOf("folder.ovk") + " !");
}

TEST_F(ReportFileTest, AMailStepsPasswordIsStoredProtectedAndAClearOneStillReads) {
    // A step written by hand (or by an older build) holds its password in clear.
    const std::string path = program.Home().Write(
        "mail.ovk",
        "<root><ACT><Name>Daily</Name></ACT>"
        "<ACT><ActParent>0</ActParent><Name>Mail</Name><AType>SMTP</AType>"
        "<MailUser>reports</MailUser><MailPassword>typed-in-clear</MailPassword></ACT>"
        "<ACT><ActParent>0</ActParent><Name>Each</Name><AType>BURST</AType>"
        "<MailPassword>enc:zz</MailPassword></ACT>"
        "</root>");
    InitOVK(program.Context());
    ASSERT_EQ(SerializeXML(program.Context(), path, 0), 1);
    ASSERT_EQ(Report().Tasks.size(), 3u);
    EXPECT_EQ(Report().Tasks[1]->Get("MailPassword"), "typed-in-clear");
    EXPECT_EQ(Report().Tasks[2]->Get("MailPassword"), "enc:zz");  // not protected: as it stands

    const std::string secret = "p<a>&\"ss wörd";
    Report().Tasks[2]->GetPropByName("MailPassword")->Value = secret;
    ASSERT_EQ(SaveDocument(program.Context(), PathOf("saved.ovk")), 1);
    const std::string saved = test::ReadFileBytes(PathOf("saved.ovk"));
    EXPECT_EQ(saved.find("typed-in-clear"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("ss w"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<MailUser>reports</MailUser>"), std::string::npos) << saved;

    test::TestProgram fresh;
    CReport& loaded = fresh.Context().Report();
    InitOVK(fresh.Context());
    ASSERT_EQ(SerializeXML(fresh.Context(), PathOf("saved.ovk"), 0), 1);
    ASSERT_EQ(loaded.Tasks.size(), 3u);
    EXPECT_EQ(loaded.Tasks[1]->Get("MailPassword"), "typed-in-clear");
    EXPECT_EQ(loaded.Tasks[2]->Get("MailPassword"), secret);
}

TEST_F(ReportFileTest, ATopLevelTaskLosesOnlyItsTypeAndKeepsTheRest) {
    const std::string path = program.Home().Write(
        "task.ovk",
        "<root>"
        "<ACT><Name>Daily</Name><AType>CMD</AType><cmd>echo hi</cmd></ACT>"
        "<ACT><ActParent>0</ActParent><Name>Mail</Name><AType>SMTP</AType><Srv>mail</Srv></ACT>"
        "</root>");
    InitOVK(program.Context());
    ASSERT_EQ(SerializeXML(program.Context(), path, 0), 1);
    ASSERT_EQ(Report().Tasks.size(), 2u);
    const COvInfoAct& task = *Report().Tasks[0];
    EXPECT_EQ(task.GetPropByName("AType"), nullptr);
    EXPECT_EQ(task.Get("cmd"), "echo hi");
    EXPECT_EQ(task.Props.front(), &task.Name);
    EXPECT_EQ(Report().Tasks[1]->Get("AType"), "SMTP");  // a step keeps its type

    ASSERT_EQ(SaveDocument(program.Context(), PathOf("saved.ovk")), 1);
    const std::string saved = test::ReadFileBytes(PathOf("saved.ovk"));
    EXPECT_NE(saved.find("\t<ACT>\r\n\t\t<Name>Daily</Name>\r\n\t\t<cmd>echo hi</cmd>\r\n\t</ACT>"),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("<AType>SMTP</AType>"), std::string::npos);
    EXPECT_EQ(saved.find("<AType>CMD</AType>"), std::string::npos);
}

TEST_F(ReportFileTest, QueryBuilderItemsAreFoundWhateverTheirCase) {
    const std::string path =
        program.Home().Write("cube.ovk",
                             "<root><DS><Name>Cube</Name><tpDS>OLAP</tpDS><bQ>0</bQ>"
                             "<mdxc Filter=\"[Time].[1997]\">[Measures].[Sales]</mdxc>"
                             "<Mdxr>[Store].[All]</Mdxr><MDXD>[Product]</MDXD></DS></root>");
    InitOVK(program.Context());
    ASSERT_EQ(SerializeXML(program.Context(), path, 0), 1);
    ASSERT_EQ(Report().DataSources.size(), 1u);
    const COvInfoDS& cube = *Report().DataSources[0];
    const COvInfoProp* columns = cube.GetPropByName("MDXC");
    ASSERT_NE(columns, nullptr);
    EXPECT_EQ(columns->Value, "[Measures].[Sales]");
    EXPECT_EQ(columns->DefaultValue, "[Time].[1997]");
    ASSERT_NE(cube.GetPropByName("MDXR"), nullptr);
    EXPECT_EQ(cube.Get("MDXR"), "[Store].[All]");
    EXPECT_EQ(cube.Get("MDXD"), "[Product]");

    ASSERT_EQ(SaveDocument(program.Context(), PathOf("saved.ovk")), 1);
    EXPECT_NE(test::ReadFileBytes(PathOf("saved.ovk"))
                  .find("<MDXC Filter=\"[Time].[1997]\">[Measures].[Sales]</MDXC>"),
              std::string::npos);
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// Files written by other tools may put the parameters before the report's own SHEET; their values
// come from their PRM elements all the same, each its own, and survive a save.
TEST_F(ReportFileTest, ParametersBeforeTheReportSheetKeepTheirValues) {
    const std::string path =
        program.Home().Write("early.ovk",
                             "<root><PRM><Name>Region</Name><PrmVal>North</PrmVal></PRM>"
                             "<PRM><Name>Year</Name><PrmVal>2026</PrmVal></PRM>"
                             "<SHEET><HTMLayout>&lt;P&gt;x&lt;/P&gt;</HTMLayout></SHEET></root>");
    InitOVK(program.Context());
    ASSERT_EQ(SerializeXML(program.Context(), path, 0), 1);
    ASSERT_EQ(Report().Params.size(), 2u);
    EXPECT_EQ(Report().Params[0]->PrmVal.Value, "North");
    EXPECT_EQ(Report().Params[1]->PrmVal.Value, "2026");
    EXPECT_EQ(Report().ReportObject->Get("HTMLayout"), "<P>x</P>");

    ASSERT_EQ(SerializeXML(program.Context(), PathOf("saved.ovk"), 1), 1);
    test::TestProgram again;
    InitOVK(again.Context());
    ASSERT_EQ(SerializeXML(again.Context(), PathOf("saved.ovk"), 0), 1);
    ASSERT_EQ(again.Context().Report().Params.size(), 2u);
    EXPECT_EQ(again.Context().Report().Params[0]->PrmVal.Value, "North");
    EXPECT_EQ(again.Context().Report().Params[1]->PrmVal.Value, "2026");
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// A column that is only renamed (its type left at DEF) and one that is only given a type (its
// name left as the database gave it) each say something of their own: both are saved and read
// back.
TEST_F(ReportFileTest, AColumnOnlyRenamedOrOnlyTypedIsSaved) {
    InitOVK(program.Context());
    COvInfoSheet* sheet = Report().NewSheet("Sales");
    CRegistries& registries = program.Context().Registries();
    const auto addColumn = [&](const char* key, const char* defaultName, const char* name,
                               const char* type) {
        auto column = std::make_unique<COvInfoGCols>(&Report().Registries(), GroupId::GridColumns);
        column->Key = key;
        column->ColN.DefaultValue = defaultName;
        column->ColN.Value = name;
        column->ColT.Value = type;
        registries.PrepareNewCombo(column->ColT, column->Props, true);
        sheet->GridColumns.push_back(std::move(column));
    };
    addColumn("0_3", "net", "Net amount", "DEF");
    addColumn("0_4", "qty", "qty", "BT");
    ASSERT_EQ(SerializeXML(program.Context(), PathOf("columns.ovk"), 1), 1);
    const std::string file = test::ReadFileBytes(PathOf("columns.ovk"));
    EXPECT_NE(file.find("<C0_3 ColN=\"Net amount\" ColT=\"DEF\""), std::string::npos) << file;
    EXPECT_NE(file.find("<C0_4 ColN=\"qty\" ColT=\"BT\""), std::string::npos) << file;

    test::TestProgram again;
    InitOVK(again.Context());
    ASSERT_EQ(SerializeXML(again.Context(), PathOf("columns.ovk"), 0), 1);
    const auto& sheets = again.Context().Report().Sheets;
    ASSERT_FALSE(sheets.empty());
    const auto& columns = sheets.back()->GridColumns;
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0]->Key, "0_3");
    EXPECT_EQ(columns[0]->ColN.Value, "Net amount");
    EXPECT_EQ(columns[1]->Key, "0_4");
    EXPECT_EQ(columns[1]->ColT.Value, "BT");
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// A report saved where the plug-in its types need is missing keeps those types and everything
// they brought, as they were read; in memory the types stay empty, which is how a missing plug-in
// is noticed. A top-level task's type is still dropped.
TEST_F(ReportFileTest, TypesOfAMissingPlugInAndTheirPropertiesSurviveASave) {
    const std::string path = program.Home().Write(
        "plug.ovk",
        "<root><DS><Name>Book</Name><tpDS>XLSX</tpDS><DSN>/srv/book.xlsx</DSN>"
        "<xlSheet>Sales 2026</xlSheet></DS>"
        "<ACT><Name>Daily</Name><AType>CMD</AType></ACT>"
        "<ACT><ActParent>0</ActParent><Name>Book</Name><AType>XLSOUT</AType>"
        "<xlFile>out.xlsx</xlFile></ACT>"
        "<SHEET><Name>Chart</Name><cDS>Book</cDS><tpVW>CHART</tpVW><chType>bars</chType>"
        "</SHEET></root>");
    InitOVK(program.Context());
    ASSERT_EQ(SerializeXML(program.Context(), path, 0), 1);
    EXPECT_EQ(Report().DataSources[0]->tpDS.Value, "");
    EXPECT_EQ(Report().Sheets[0]->tpVW.Value, "");
    ASSERT_EQ(SerializeXML(program.Context(), PathOf("saved.ovk"), 1), 1);
    const std::string saved = test::ReadFileBytes(PathOf("saved.ovk"));
    for (const char* kept :
         {"<tpDS>XLSX</tpDS>", "<xlSheet>Sales 2026</xlSheet>", "<AType>XLSOUT</AType>",
          "<xlFile>out.xlsx</xlFile>", "<tpVW>CHART</tpVW>", "<chType>bars</chType>"}) {
        EXPECT_NE(saved.find(kept), std::string::npos) << kept << " lost:\n" << saved;
    }
    EXPECT_EQ(saved.find("<AType>CMD</AType>"), std::string::npos) << saved;

    // And saving what was saved changes nothing.
    test::TestProgram again;
    InitOVK(again.Context());
    ASSERT_EQ(SerializeXML(again.Context(), PathOf("saved.ovk"), 0), 1);
    ASSERT_EQ(SerializeXML(again.Context(), PathOf("again.ovk"), 1), 1);
    EXPECT_EQ(test::ReadFileBytes(PathOf("again.ovk")), saved);
}

}  // namespace
}  // namespace orvik
