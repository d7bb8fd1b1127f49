// The property bar on a real grid in a real frame: what a fill shows (sections, editors, values,
// read-only and masked items), what a committed edit stores, and refills an edit asks for.
#include "ui/DesignerContext.h"
#include "ui/PropertyBar.h"

#include <gtest/gtest.h>
#include <wx/frame.h>

#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "model/Registries.h"
#include "params/ParameterValueList.h"

namespace orvik::ui {
namespace {

class PropertyBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::SetDesignerContext(&program_.Context());
        Report().StartNew();
        frame_ = new wxFrame(nullptr, wxID_ANY, "bar");
        bar_ = new PropertyBar(frame_);
        frame_->Show();
    }
    void TearDown() override {
        frame_->Destroy();
        test::ProcessPendingEvents();
        ui::SetDesignerContext(nullptr);
    }

    CReport& Report() { return program_.Context().Report(); }
    CRegistries& Registries() { return program_.Context().Registries(); }

    wxPGProperty* Item(const std::string& name) {
        wxPGProperty* item = bar_->ItemFor(name);
        EXPECT_NE(item, nullptr) << name;
        return item;
    }
    std::vector<std::string> Sections() {
        std::vector<std::string> captions;
        for (auto it = bar_->Grid()->GetIterator(wxPG_ITERATE_CATEGORIES); !it.AtEnd(); ++it)
            captions.push_back((*it)->GetLabel().utf8_string());
        return captions;
    }
    std::string SectionOf(const std::string& name) {
        return Item(name)->GetParent()->GetLabel().utf8_string();
    }
    std::string ClassOf(const std::string& name) {
        return wxString(Item(name)->GetClassInfo()->GetClassName()).utf8_string();
    }
    // A program setting of any kind, so every editor can be looked at in one list.
    COvInfoProp& Setting(const char* name, unsigned kind, const char* value, unsigned comboId = 0) {
        COvInfoProp& setting = *Registries().AddSetting(name, name, "", kind, comboId);
        setting.Value = value;
        return setting;
    }

    test::TestProgram program_;
    wxFrame* frame_ = nullptr;
    PropertyBar* bar_ = nullptr;
};

TEST_F(PropertyBarTest, OneSectionPerGroupOnlyVisiblePropertiesReadOnlyKept) {
    COvInfoSheet* sheet = Report().NewSheet("Sales");
    sheet->Name.Flags |= PropFlag::ReadOnly;
    bar_->ShowObject(ObjectKind::Sheet, sheet);
    EXPECT_EQ(Sections(),
              (std::vector<std::string>{"List Properties", "Grid Headers", "Grid Data"}));
    // The two "Font" items of the grid's output type sit under their own groups.
    EXPECT_EQ(SectionOf("hF"), "Grid Headers");
    EXPECT_EQ(SectionOf("gF"), "Grid Data");
    EXPECT_TRUE(Item("Name")->HasFlag(wxPG_PROP_READONLY));
    EXPECT_FALSE(Item("Title")->HasFlag(wxPG_PROP_READONLY));
    EXPECT_FALSE(bar_->CommitValue("Name", wxVariant("Other")));
    EXPECT_EQ(sheet->Name.Value, "Sales");

    COvInfoPrm prm(&Registries(), GroupId::Param);
    prm.Type.Value = "DScmb";
    Registries().PrepareNewCombo(prm.Type, prm.Props, true);
    bar_->ShowObject(ObjectKind::Parameter, &prm);
    EXPECT_EQ(SectionOf("cDST"), "Param Appended");
    EXPECT_EQ(bar_->ItemFor("cDSW"), nullptr);  // stored, not shown
    EXPECT_EQ(SectionOf("pF"), "Param Layout");
}

TEST_F(PropertyBarTest, EachKindGetsItsEditorShowingTheStoredValue) {
    COvInfoSheet* sheet = Report().NewSheet("Sales");
    sheet->GetPropByName("hBC")->Value = "10,20,30";
    sheet->GetPropByName("hF")->Value = "Arial,120,BI,204,";
    sheet->tpVW.Value = "NOSUCH";
    bar_->ShowObject(ObjectKind::Sheet, sheet);
    EXPECT_EQ(ClassOf("tpVW"), "wxEnumProperty");
    EXPECT_TRUE(Item("tpVW")->IsValueUnspecified());  // a value its list lacks selects nothing
    EXPECT_EQ(ClassOf("bVis"), "wxBoolProperty");
    EXPECT_TRUE(Item("bVis")->GetAttribute(wxPG_BOOL_USE_CHECKBOX).GetBool());
    // The appended copies' ValueIndex was never set; their texts are what counts.
    EXPECT_FALSE(Item("bTB")->GetValue().GetBool());
    EXPECT_TRUE(Item("bGCH")->GetValue().GetBool());
    EXPECT_EQ(ClassOf("hBC"), "wxColourProperty");
    wxColour colour;
    colour << Item("hBC")->GetValue();
    EXPECT_EQ(colour, wxColour(10, 20, 30));
    EXPECT_EQ(ClassOf("hF"), "wxFontProperty");
    wxFont font;
    font << Item("hF")->GetValue();
    EXPECT_EQ(font.GetPointSize(), 12);
    EXPECT_EQ(font.GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_EQ(font.GetStyle(), wxFONTSTYLE_ITALIC);

    bar_->ShowObject(ObjectKind::DataSource, Report().DataSources.front().get());
    EXPECT_NE(dynamic_cast<DialogTextProperty*>(Item("Qry")), nullptr);

    Setting("At", PropKind::DateTime, "07:05:09", 0x9);
    Setting("Notes", PropKind::Text, "", 0x40000);
    Setting("Logo", PropKind::File, "Images/logo.png");
    Setting("Pwd", PropKind::Text, "hunter2").Flags |= PropFlag::Secret;
    Registries().FindSetting("DefSrvMail")->Value = "mail";
    Registries().FindSetting("DefPicFmt")->Value = "gif";
    bar_->ShowSettings();
    EXPECT_EQ(Item("DefPicFmt")->GetValueAsString(), "gif");
    EXPECT_NE(dynamic_cast<TimeProperty*>(Item("At")), nullptr);
    EXPECT_EQ(ClassOf("Notes"), "wxLongStringProperty");
    EXPECT_EQ(ClassOf("Logo"), "wxFileProperty");
    EXPECT_EQ(Item("Logo")->GetValue().GetString().utf8_string(),
              program_.Context().ProgramFolder() + "Images/logo.png");
    EXPECT_EQ(Item("Pwd")->GetValueAsString(), "*******");
    EXPECT_EQ(Item("DefSrvMail")->GetValueAsString(), "mail");  // not every text is masked
}

TEST_F(PropertyBarTest, CommittedEditsStoreTheKindsText) {
    COvInfoSheet* sheet = Report().NewSheet("Sales");
    sheet->GetPropByName("gF")->Value = "Arial,100,-,204,";
    bar_->ShowObject(ObjectKind::Sheet, sheet);
    ASSERT_TRUE(bar_->CommitValue("bVis", wxVariant(false)));
    EXPECT_EQ(sheet->bVis.Value, "0");
    EXPECT_EQ(sheet->bVis.ValueIndex, 0);
    wxVariant colour;
    colour << wxColour(1, 2, 3);
    ASSERT_TRUE(bar_->CommitValue("hBC", colour));
    EXPECT_EQ(sheet->GetPropByName("hBC")->Value, "1,2,3");
    wxVariant font;
    font << wxFont(wxFontInfo(12).FaceName("Arial").Bold().Italic());
    ASSERT_TRUE(bar_->CommitValue("gF", font));
    EXPECT_EQ(sheet->GetPropByName("gF")->Value, "Arial,120,BI,204,");  // character set kept

    // The grid's own change event takes the same path.
    wxPGProperty* title = Item("Title");
    bar_->Grid()->SetPropertyValue(title, "Monthly");  // sets the item only, sends nothing
    EXPECT_EQ(sheet->GetPropByName("Title")->Value, "");
    wxPropertyGridEvent event(wxEVT_PG_CHANGED, bar_->Grid()->GetId());
    event.SetPropertyGrid(bar_->Grid());
    event.SetProperty(title);
    bar_->Grid()->GetEventHandler()->ProcessEvent(event);
    EXPECT_EQ(sheet->GetPropByName("Title")->Value, "Monthly");

    COvInfoDS& ds = *Report().DataSources.front();
    bar_->ShowObject(ObjectKind::DataSource, &ds);
    ASSERT_TRUE(bar_->CommitValue("Qry", wxVariant("select a\nfrom t")));
    EXPECT_EQ(ds.Get("Qry"), "select a\nfrom t");  // a line break stays one
    ASSERT_TRUE(bar_->CommitValue("tpDS", wxVariant("OLAP Report")));
    EXPECT_EQ(ds.tpDS.Value, "OLAP");
    EXPECT_EQ(ds.tpDS.SelectedEntry(),
              Registries().FindComboValue(ListId::DataSourceTypes, "OLAP"));
    test::ProcessPendingEvents();  // the list's own properties changed: the bar refills
    ASSERT_TRUE(bar_->CommitValue("tpDS", wxVariant("KPI")));  // by the entry's stored name
    EXPECT_EQ(ds.tpDS.Value, "KPI");
    test::ProcessPendingEvents();
    EXPECT_FALSE(bar_->CommitValue("tpDS", wxVariant("Nothing")));
}

TEST_F(PropertyBarTest, DatesTimesPathsAndNumbersAreStoredInTheirOwnForm) {
    COvInfoProp& day = Setting("Day", PropKind::DateTime, "2024-02-29");
    COvInfoProp& at = Setting("At", PropKind::DateTime, "07:05:09", 0x9);
    COvInfoProp& logo = Setting("Logo", PropKind::File, "");
    COvInfoProp& out = Setting("Out", PropKind::Folder, "");
    COvInfoProp& count = Setting("Count", PropKind::Text, "3");
    count.Flags |= PropFlag::Integer;
    Setting("BadDay", PropKind::DateTime, "2023-02-29");
    bar_->ShowSettings();
    const std::string home = program_.Context().ProgramFolder();
    EXPECT_EQ(ClassOf("Day"), "wxDateProperty");
    EXPECT_EQ(Item("Day")->GetValue().GetDateTime(), wxDateTime(29, wxDateTime::Feb, 2024));
    EXPECT_TRUE(Item("BadDay")->IsValueUnspecified());

    ASSERT_TRUE(bar_->CommitValue("Day", wxVariant(wxDateTime(1, wxDateTime::Mar, 2024))));
    EXPECT_EQ(day.Value, "2024-03-01");
    bar_->CommitValue("Day", wxVariant(wxDateTime()));  // no date chosen: the old one stays
    EXPECT_EQ(day.Value, "2024-03-01");
    ASSERT_TRUE(bar_->CommitValue("At", wxVariant("7:5")));
    EXPECT_EQ(at.Value, "07:05:00");
    EXPECT_FALSE(bar_->CommitValue("At", wxVariant("25:00")));
    EXPECT_EQ(at.Value, "07:05:00");

    ASSERT_TRUE(bar_->CommitValue("Logo", wxVariant(wxString::FromUTF8(home + "Images/Logo.png"))));
    EXPECT_EQ(logo.Value, "Images/Logo.png");
    EXPECT_EQ(ClassOf("Out"), "wxDirProperty");
    ASSERT_TRUE(bar_->CommitValue("Out", wxVariant(wxString::FromUTF8(home + "HTML"))));
    EXPECT_EQ(out.Value, "HTML/");

    ASSERT_TRUE(bar_->CommitValue("Count", wxVariant("12ab")));
    EXPECT_EQ(count.Value, "12");
    EXPECT_EQ(count.ValueIndex, 12);
    EXPECT_EQ(Item("Count")->GetValueAsString(), "12");  // the item shows what was stored
}

TEST_F(PropertyBarTest, AReferenceShowsAndEditsTheReferencedProperty) {
    COvInfoSheet* sheet = Report().NewSheet("Sales");
    COvInfoProp& title = *sheet->GetPropByName("Title");
    title.Value = "Q2";
    COvInfoPrm& prm = test::AddParameter(Report(), "Quarter", "unused");
    prm.PrmVal.Kind = PropKind::Reference;
    prm.PrmVal.SelectedCombo = &title;
    bar_->ShowObject(ObjectKind::Report, Report().ReportObject.get());
    EXPECT_EQ(Item("PrmVal")->GetLabel(), "Quarter");
    EXPECT_EQ(Item("PrmVal")->GetValueAsString(), "Q2");
    EXPECT_EQ(title.RefBy, &prm.PrmVal);
    ASSERT_TRUE(bar_->CommitValue("PrmVal", wxVariant("Q3")));
    EXPECT_EQ(title.Value, "Q3");
    EXPECT_EQ(prm.PrmVal.Value, "unused");
}

TEST_F(PropertyBarTest, ListParametersAreChosenFromTheirListsOneOrSeveralAtOnce) {
    const auto strings = [](std::initializer_list<const char*> items) {
        wxArrayString array;
        for (const char* item : items) array.Add(item);
        return array;
    };
    const auto listParameter = [&](const char* type, const char* elements) -> COvInfoPrm& {
        auto prm = std::make_unique<COvInfoPrm>(&Registries(), GroupId::Param);
        prm->Type.Value = type;
        Registries().PrepareNewCombo(prm->Type, prm->Props, true);
        prm->GetPropByName("cmbels")->Value = elements;
        WraperParam(program_.Context(), *prm, false);
        Report().Params.push_back(std::move(prm));
        return *Report().Params.back();
    };
    COvInfoPrm& region = listParameter("pcmb", "North;South;East");
    region.PrmVal.Value = "South";
    bar_->ShowObject(ObjectKind::Parameter, &region);
    EXPECT_EQ(ClassOf("PrmVal"), "wxEnumProperty");
    EXPECT_EQ(Item("PrmVal")->GetChoices().GetCount(), 3u);
    EXPECT_EQ(Item("PrmVal")->GetValueAsString(), "South");
    ASSERT_TRUE(bar_->CommitValue("PrmVal", wxVariant(2L)));
    EXPECT_EQ(region.PrmVal.Value, "East");

    COvInfoPrm& regions = listParameter("pcmbm", "North;South;East;West");
    regions.PrmVal.Value = "[South],[West],[Gone]";
    bar_->ShowObject(ObjectKind::Parameter, &regions);
    EXPECT_EQ(ClassOf("PrmVal"), "wxMultiChoiceProperty");
    EXPECT_EQ(Item("PrmVal")->GetValue().GetArrayString(),
              strings({"South", "West"}));  // an entry no longer offered is not shown
    ASSERT_TRUE(bar_->CommitValue("PrmVal", wxVariant(strings({"North", "East"}))));
    EXPECT_EQ(regions.PrmVal.Value, "[North],[East]");
    ASSERT_TRUE(bar_->CommitValue("PrmVal", wxVariant(wxArrayString())));
    EXPECT_EQ(regions.PrmVal.Value, "");
}

// Carries the core's requests to the bar, as the main window does, so that the consequences of
// an edit ask the bar to show things again while it is still handling the edit.
class BarFrontEnd : public test::RecordingFrontEnd {
  public:
    explicit BarFrontEnd(PropertyBar& bar) : bar_(bar) {}
    void ShowProperties(ObjectKind kind, COvInfoObject* object) override {
        bar_.ShowObject(kind, object);
    }

  private:
    PropertyBar& bar_;
};

TEST_F(PropertyBarTest, ListChangeRefillsWithTheNewEntrysPropertiesAfterTheEdit) {
    program_.Context().SetFrontEnd(std::make_unique<BarFrontEnd>(*bar_));
    COvInfoDS& ds = *Report().NewDataSource("Orders");
    bar_->ShowObject(ObjectKind::DataSource, &ds);
    EXPECT_EQ(bar_->ItemFor("bQ"), nullptr);
    ASSERT_TRUE(bar_->CommitValue("tpDS", wxVariant("OLAP Report")));
    test::ProcessPendingEvents();
    EXPECT_NE(bar_->ItemFor("bQ"), nullptr);
    EXPECT_NE(bar_->ItemFor("nCube"), nullptr);
    EXPECT_EQ(bar_->PropertyOf(bar_->Grid()->GetSelection()), &ds.tpDS);  // the edited item again

    // Switching back deletes bQ and nCube while their items are still in the grid.
    ASSERT_TRUE(bar_->CommitValue("tpDS", wxVariant("SQL Query")));
    // The grid is not emptied inside its own change event; its items lead nowhere until then.
    EXPECT_GT(bar_->Grid()->GetRoot()->GetChildCount(), 0u);
    EXPECT_EQ(bar_->ItemFor("tpDS"), nullptr);
    test::ProcessPendingEvents();
    EXPECT_EQ(bar_->ItemFor("bQ"), nullptr);
    EXPECT_EQ(bar_->ItemFor("tpDS")->GetValueAsString(), "SQL Query");

    // An object deleted before the postponed refill runs is not shown again.
    ASSERT_TRUE(bar_->CommitValue("tpDS", wxVariant("OLAP Report")));
    std::erase_if(Report().DataSources, [&ds](const auto& p) { return p.get() == &ds; });
    test::ProcessPendingEvents();
    EXPECT_EQ(bar_->Kind(), ObjectKind::None);
    EXPECT_EQ(bar_->Grid()->GetRoot()->GetChildCount(), 0u);
}

TEST_F(PropertyBarTest, RefillFollowsCaptionsAndForgetsDeletedObjects) {
    COvInfoSheet* sheet = Report().NewSheet("Sales");
    bar_->ShowObject(ObjectKind::Sheet, sheet);
    sheet->Name.Caption = "Nom";
    Registries().PropertyGroups[GroupId::List]->Caption = "Liste";
    bar_->Refill();
    EXPECT_EQ(Item("Name")->GetLabel(), "Nom");
    EXPECT_EQ(Sections().front(), "Liste");

    Report().Sheets.clear();
    bar_->Refill();
    EXPECT_EQ(bar_->Kind(), ObjectKind::None);
    EXPECT_EQ(bar_->Grid()->GetRoot()->GetChildCount(), 0u);
}

}  // namespace
}  // namespace orvik::ui
