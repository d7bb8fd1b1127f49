// The parameter panel: the table a parameter contributes to the page, label and value cells with
// the parameter's colours and font.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "model/OvInfoPrm.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/ParamHtml.h"

namespace orvik {
namespace {

class ParamPanel : public ::testing::Test {
  protected:
    COvInfoPrm& AddParam(const std::string& name, const std::string& value) {
        auto prm = std::make_unique<COvInfoPrm>(&program.Context().Registries(), GroupId::Param);
        prm->Name.Value = name;
        prm->PrmVal.Value = value;
        Report().Params.push_back(std::move(prm));
        return *Report().Params.back();
    }
    CReport& Report() { return program.Context().Report(); }
    std::string Panel(const COvInfoPrm& prm) {
        std::string html;
        MakeParamHTML(Report(), prm, html);
        return html;
    }

    test::TestProgram program;
};

TEST_F(ParamPanel, LabelValueAndStyles) {
    Report().StartNew();
    AddParam("First", "1");
    COvInfoPrm& region = AddParam("Region", "North");
    // The defaults: borderless, gradient cells; the name stands in for an empty title.
    EXPECT_EQ(Panel(region),
              "<TABLE id=OrvikParam1 border=0 cellspacing=0 cellpadding=5 >\n<TR><TD style='font:  "
              "10pt \"Arial\"; FILTER: progid:DXImageTransform.Microsoft.Gradient(gradientType=1,"
              "startColorStr=#808080,endColorStr=#ffffff); background-color:#808080; "
              "background-image:linear-gradient(to right,#808080,#ffffff)'>Region</TD><TD "
              "style='font:  10pt \"Arial\"; FILTER: "
              "progid:DXImageTransform.Microsoft.Gradient(gradientType=1,startColorStr=#c0c0c0,"
              "endColorStr=#ffffff); background-color:#c0c0c0; background-image:linear-gradient(to "
              "right,#c0c0c0,#ffffff)'>North</TD></TR></TABLE>\n");
    region.Tit.Value = "Sales region";
    region.GetPropByName("pGC")->Value = "0";
    region.GetPropByName("pTB")->Value = "1";
    EXPECT_EQ(Panel(region),
              "<TABLE id=OrvikParam1 border=1>\n<TR><TD style='font:  10pt \"Arial\"; "
              "background-color:#808080'>Sales region</TD><TD style='font:  10pt \"Arial\"; "
              "background-color:#c0c0c0'>North</TD></TR></TABLE>\n");
}

// A value typed on a command line or picked from a list filled from a database keeps its markup
// but nothing that runs; so does the title.
TEST_F(ParamPanel, MarkupInTitleAndValueKeepsNothingThatRuns) {
    Report().StartNew();
    COvInfoPrm& region = AddParam("Region", "<b>North</b><script>alert(1)</script>");
    region.Tit.Value = "Region <img src=x onerror=alert(1)>";
    const std::string html = Panel(region);
    EXPECT_NE(html.find("'>Region <img src=x ></TD>"), std::string::npos) << html;
    EXPECT_NE(html.find("'><b>North</b></TD></TR></TABLE>"), std::string::npos) << html;
}

// A chooser's several values travel as "[a],[b]"; the panel shows what was chosen, as a person
// reads it. Only the list types store values that way.
TEST_F(ParamPanel, ListValuesShowTheirCaptions) {
    Report().StartNew();
    COvInfoPrm& regions = AddParam("Regions", "[North],[South],[East]");
    const auto valueCell = [&] {
        const std::string html = Panel(regions);
        const size_t open = html.rfind("'>");
        return html.substr(open + 2, html.find("</TD></TR>") - open - 2);
    };
    regions.Type.Value = "DScmb";
    EXPECT_EQ(valueCell(), "North, South, East");
    regions.PrmVal.Value = "[North]";  // one chosen
    EXPECT_EQ(valueCell(), "North");
    regions.Type.Value = "pcmbm";
    regions.PrmVal.Value = "[Bikes, road],[Tools]";  // a comma inside a caption is the caption's
    EXPECT_EQ(valueCell(), "Bikes, road, Tools");
    regions.PrmVal.Value = "[<i>North</i>],[<script>alert(1)</script>South]";
    EXPECT_EQ(valueCell(), "<i>North</i>, South");
    regions.PrmVal.Value = "[North],South";  // not the list form: shown as it stands
    EXPECT_EQ(valueCell(), "[North],South");
    regions.Type.Value = "text";  // typed by hand: brackets and all
    regions.PrmVal.Value = "[North],[South]";
    EXPECT_EQ(valueCell(), "[North],[South]");
}

// A parameter bound to another property shows that property's value, and the members chosen for
// it by their captions, without their keys.
TEST_F(ParamPanel, ReferenceShowsTheBoundValueAndMemberCaptions) {
    Report().StartNew();
    COvInfoPrm& axis = AddParam("Axis", "stale");
    axis.GetPropByName("pGC")->Value = "0";
    COvInfoProp bound(nullptr, GroupId::DataSource, "Rows", "", "", 0, PropKind::Text);
    bound.Value = "Regions";
    axis.PrmVal.Kind = PropKind::Reference;
    axis.PrmVal.SelectedCombo = &bound;
    const auto valueCell = [&] {
        const std::string html = Panel(axis);
        const size_t open = html.rfind("'>");
        return html.substr(open + 2, html.find("</TD></TR>") - open - 2);
    };
    EXPECT_EQ(valueCell(), "Regions");
    bound.DefaultValue = "North[1],South[2]";
    EXPECT_EQ(valueCell(), "Regions :: North, South");
    bound.DefaultValue = "[Store].[North][7],[Store].[South][8],Kazan";
    EXPECT_EQ(valueCell(), "Regions :: [Store].[North], [Store].[South], Kazan");
    bound.DefaultValue = "North,South";  // no keys: shown as it is
    EXPECT_EQ(valueCell(), "Regions :: North,South");
}

}  // namespace
}  // namespace orvik
