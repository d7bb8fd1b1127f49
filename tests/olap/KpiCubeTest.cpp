// KPIs in cube schemas: how the <Kpi> element is read and refused, the KPI schema rowset the
// engine serves (restricted to one cube), and the KPI functions in MDX, checked against what
// SQLite works out from the same facts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KpiShop.h"
#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "data/RowStore.h"
#include "olap/CubeEngine.h"
#include "olap/CubeSchema.h"
#include "olap/KpiGraphics.h"

namespace orvik::test {
namespace {

using cube::CubeSchemaError;

// A number as cells show it.
std::string Number(double value) {
    return VariantToText(Variant::MakeR8(value));
}
using cube::ParseCubeSchema;

std::string CubeWith(const std::string& kpis) {
    return R"(<Schema name="S"><Cube name="C"><Table name="f"/>
      <Measure name="M" column="m" aggregator="sum"/>)" +
           kpis + "</Cube></Schema>";
}

// The message reading `kpis` fails with; "" when it is read.
std::string SchemaError(const std::string& kpis) {
    try {
        ParseCubeSchema(CubeWith(kpis), "test.xml", "sqlite");
    } catch (const CubeSchemaError& error) {
        return error.what();
    }
    return "";
}

TEST(KpiSchema, AKpiIsReadWithItsExpressionsAndGraphicsSpeltAsThePicturesAre) {
    const cube::SchemaDefinition schema = ParseCubeSchema(
        CubeWith(R"(<Kpi name="Revenue" description="d" displayFolder="F\G" parent="Top">
          <Value> [Measures].[M] </Value><Goal>100</Goal><Status>1</Status><Trend>-1</Trend>
          <Weight>2</Weight><StatusGraphic>TRAFFIC light</StatusGraphic>
          <TrendGraphic>standard arrow</TrendGraphic><Annotations/></Kpi>
          <Kpi name="Top"/>)"),
        "test.xml", "sqlite");
    ASSERT_EQ(schema.Cubes[0].Kpis.size(), 2u);
    const cube::KpiDefinition& kpi = schema.Cubes[0].Kpis[0];
    EXPECT_EQ(kpi.Caption, "Revenue");  // the name, when no caption is given
    EXPECT_EQ(kpi.Description, "d");
    EXPECT_EQ(kpi.DisplayFolder, "F\\G");
    EXPECT_EQ(kpi.Parent, "Top");
    EXPECT_EQ(kpi.Value, "[Measures].[M]");
    EXPECT_EQ(kpi.Goal + kpi.Status + kpi.Trend + kpi.Weight, "1001-12");
    EXPECT_EQ(kpi.StatusGraphic, "Traffic light");
    EXPECT_EQ(kpi.TrendGraphic, "Standard arrow");
    EXPECT_TRUE(schema.Warnings.empty());
    const cube::KpiDefinition& top = schema.Cubes[0].Kpis[1];
    EXPECT_EQ(top.Value + top.Goal + top.StatusGraphic, "");
}

TEST(KpiSchema, BadKpisAreRefusedWithWhereAndWhy) {
    const std::string unknown =
        SchemaError("<Kpi name=\"K\"><StatusGraphic>Lava lamp</StatusGraphic></Kpi>");
    EXPECT_NE(unknown.find("test.xml line 2"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("'Lava lamp'"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find(KpiGraphicNames()), std::string::npos) << unknown;
    EXPECT_NE(SchemaError("<Kpi><Value>1</Value></Kpi>").find("<Kpi> needs a name"),
              std::string::npos);
    EXPECT_NE(SchemaError("<Kpi name=\"  \"/>").find("needs a name"), std::string::npos);
    EXPECT_NE(SchemaError("<Kpi name=\"K\"/><Kpi name=\"K\"/>").find("the KPI 'K' twice"),
              std::string::npos);
    EXPECT_NE(SchemaError("<Kpi name=\"K\" parent=\"Nobody\"/>").find("parent 'Nobody'"),
              std::string::npos);
    // A loop of parents would send the KPI list round for ever.
    const std::string loop = SchemaError(
        "<Kpi name=\"A\" parent=\"C\"/><Kpi name=\"B\" parent=\"A\"/><Kpi name=\"C\" "
        "parent=\"B\"/>");
    EXPECT_NE(loop.find("its own ancestor"), std::string::npos) << loop;
    EXPECT_NE(SchemaError("<Kpi name=\"A\" parent=\"A\"/>").find("its own ancestor"),
              std::string::npos);
    const cube::SchemaDefinition warned =
        ParseCubeSchema(CubeWith("<Kpi name=\"K\"><Colour>red</Colour></Kpi>"), "t.xml", "");
    ASSERT_EQ(warned.Warnings.size(), 1u);
    EXPECT_NE(warned.Warnings[0].find("<Colour>"), std::string::npos);
}

class KpiCube : public ::testing::Test {
  protected:
    std::vector<std::vector<std::string>> Rowset(const std::string& cube,
                                                 const std::string& id = "MDSCHEMA_KPIS") {
        RowStore rows;
        Connection().SchemaRowset(id, cube, rows);
        std::vector<std::vector<std::string>> texts;
        for (size_t r = 0; r < rows.RowCount(); ++r) {
            std::vector<std::string> row;
            for (size_t c = 0; c < rows.FieldCount(); ++c) {
                const Variant value = rows.Get(r, c);
                row.push_back(value.IsNull() ? "<null>" : VariantToText(value));
            }
            texts.push_back(std::move(row));
        }
        return texts;
    }
    OlapConnection& Connection() {
        if (!connection_) connection_ = OpenCubeConnection(shop_.Connection());
        return *connection_;
    }
    // The cells of `mdx` as text, one row a line, "|" between cells; or the error.
    std::string Cells(const std::string& mdx) {
        try {
            const CellSetData data = Connection().Execute(mdx);
            std::string out;
            const size_t columns = data.Axes.empty() ? 1 : data.Axes[0].Positions.size();
            for (size_t i = 0; i < data.Cells.size(); ++i)
                out += (i == 0             ? ""
                        : i % columns == 0 ? "\n"
                                           : "|") +
                       VariantToText(data.Cells[i].Value);
            return out;
        } catch (const std::exception& error) {
            return std::string("error: ") + error.what();
        }
    }

    TempDir folder_;
    KpiShop shop_{folder_};
    std::shared_ptr<OlapConnection> connection_;
};

TEST_F(KpiCube, TheRowsetListsOnlyTheCubeAskedFor) {
    const auto sales = Rowset("sales");  // cube names compare without case
    ASSERT_EQ(sales.size(), 3u);
    // By position, as KPI lists read it: 2 cube, 5 caption, 6 description, 7 folder,
    // 8-11 expressions, 12-13 graphics, 14 weight, 16 parent.
    const std::vector<std::string>& revenue = sales[0];
    ASSERT_EQ(revenue.size(), 19u);
    EXPECT_EQ(revenue[2], "Sales");
    EXPECT_EQ(revenue[4], "Revenue");
    EXPECT_EQ(revenue[6], "Sales against the target");
    EXPECT_EQ(revenue[7], "Sales");
    EXPECT_EQ(revenue[8], "[Measures].[Amount]");
    EXPECT_EQ(revenue[12], "Traffic light");
    EXPECT_EQ(revenue[13], "Standard arrow");
    EXPECT_EQ(revenue[14], "1");
    EXPECT_EQ(revenue[16], "<null>");
    EXPECT_EQ(sales[1][5], "Growth");
    EXPECT_EQ(sales[1][16], "Revenue");
    EXPECT_EQ(sales[1][9], "0.05");
    EXPECT_EQ(sales[1][11], "<null>");  // no trend
    EXPECT_EQ(sales[2][5], "Margin \"gross\"");

    const auto returns = Rowset("Returns", "{2ae44109-ed3d-4842-b16f-b694d1cb0e3f}");
    ASSERT_EQ(returns.size(), 1u);
    EXPECT_EQ(returns[0][4], "Return rate");
    EXPECT_EQ(Rowset("").size(), 4u);
    EXPECT_TRUE(Rowset("Plain").empty());
    EXPECT_TRUE(Rowset("Adventure Works").empty());
}

TEST_F(KpiCube, KpiFunctionsEvaluateTheKpisExpressionsWhereTheyStand) {
    auto sum = [&](const std::string& column, const std::string& region) {
        return shop_.Sql("SELECT sum(" + column +
                         ") FROM sales s JOIN region r USING (region_id) WHERE year = 2024 AND "
                         "r.name = '" +
                         region + "'");
    };
    std::string expected;
    // The regions come in the order of their names.
    for (const std::string region : {"East", "North", "South"}) {
        const double amount = sum("amount", region), target = sum("target", region);
        const double status = amount >= target ? 1 : amount >= 0.9 * target ? 0 : -1;
        expected += (expected.empty() ? "" : "\n") + Number(amount) + "|" + Number(target) + "|" +
                    Number(status) + "|";
    }
    // The goal of a KPI that has none is empty; names are found in any case.
    EXPECT_EQ(Cells("with member [Measures].[v] as KPIValue(\"Revenue\") "
                    "member [Measures].[g] as KPIGoal(\"revenue\") "
                    "member [Measures].[s] as KPIStatus(\"Revenue\") "
                    "member [Measures].[t] as KPITrend(\"margin\") "
                    "select {[Measures].[v], [Measures].[g], [Measures].[s], [Measures].[t]} on "
                    "columns, [Region].[Region].members on rows from [Sales] where [Year].[2024]"),
              expected);
    const double growth = shop_.Sql(
        "SELECT (SELECT sum(amount) FROM sales WHERE year = 2024) / "
        "(SELECT sum(amount) FROM sales WHERE year = 2023) - 1");
    EXPECT_EQ(
        Cells("with member w as KPIWeight(\"Margin\") member v as KPIValue(\"Growth\") "
              "member s as KPIStatus(\"Growth\") member t as KPITrend(\"Revenue\") "
              "select {w, v, s, t} on columns from [Sales]"),
        Number(2) + "|" + Number(growth) + "|" + Number(growth >= 0.05 ? 1 : -1) + "|" + Number(1));
}

TEST_F(KpiCube, KpiFunctionsFailClearly) {
    EXPECT_NE(Cells("with member x as KPIValue(\"Nope\") select {x} on columns from [Sales]")
                  .find("the cube 'Sales' has no KPI 'Nope'"),
              std::string::npos);
    // Another cube's KPI is not this cube's.
    EXPECT_NE(Cells("with member x as KPIValue(\"Return rate\") select {x} on columns from "
                    "[Sales]")
                  .find("no KPI 'Return rate'"),
              std::string::npos);
    EXPECT_NE(Cells("with member x as KPIGoal(3) select {x} on columns from [Sales]")
                  .find("takes the name of a KPI as a string"),
              std::string::npos);
    EXPECT_NE(Cells("with member x as KPIGoal() select {x} on columns from [Sales]")
                  .find("KPIGoal needs 1 argument"),
              std::string::npos);
}

TEST(KpiCubeFaults, AnUnreadableKpiIsLeftOutAndOneThatUsesItselfEndsInAnError) {
    TempDir folder;
    const KpiShop shop(folder,
                       "<Kpi name=\"Broken\"><Value>[Measures].[Amount] +</Value></Kpi>"
                       "<Kpi name=\"Loop\"><Value>KPIValue(\"Loop\") + 1</Value></Kpi>"
                       "<Kpi name=\"Missing\"><Value>[Measures].[Nothing]</Value></Kpi>");
    const std::shared_ptr<OlapConnection> connection = OpenCubeConnection(shop.Connection());
    RowStore rows;
    connection->SchemaRowset("MDSCHEMA_KPIS", "Sales", rows);
    std::string names;
    for (size_t r = 0; r < rows.RowCount(); ++r) names += rows.Get(r, 4).AsString() + ",";
    EXPECT_EQ(names, "Revenue,Growth,Margin,Loop,Missing,");
    const std::vector<std::string> warnings = connection->TakeWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("the value of the KPI 'Broken' cannot be read"), std::string::npos)
        << warnings[0];

    auto error = [&](const std::string& kpi) {
        try {
            connection->Execute("with member x as KPIValue(\"" + kpi +
                                "\") select {x} on columns from [Sales]");
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_NE(error("Loop").find("nest"), std::string::npos) << error("Loop");
    EXPECT_NE(error("Missing").find("[Measures].[Nothing]"), std::string::npos) << error("Missing");
    EXPECT_NE(error("Broken").find("no KPI 'Broken'"), std::string::npos);
    EXPECT_EQ(error("Revenue"), "");
}

}  // namespace
}  // namespace orvik::test
