#include "KpiShop.h"

#include <stdexcept>

namespace orvik::test {
namespace {

const char* const kData = R"SQL(
DROP TABLE IF EXISTS region;
DROP TABLE IF EXISTS sales;
CREATE TABLE region (region_id INTEGER PRIMARY KEY, name TEXT);
INSERT INTO region VALUES (1, 'North'), (2, 'South'), (3, 'East');
CREATE TABLE sales (region_id INTEGER, year INTEGER, amount REAL, target REAL, cost REAL,
                    returned REAL);
INSERT INTO sales VALUES (1, 2023, 100, 90, 60, 1), (1, 2024, 130, 120, 70, 2),
  (2, 2023, 80, 100, 50, 3), (2, 2024, 70, 110, 40, 4), (3, 2023, 50, 50, 45, 0),
  (3, 2024, 52, 55, 47, 1);
)SQL";

const char* const kSchemaHead = R"XML(<?xml version="1.0"?>
<Schema name="KpiShop">
  <Dimension name="Region">
    <Hierarchy hasAll="true" primaryKey="region_id">
      <Table name="region"/>
      <Level name="Region" column="name" uniqueMembers="true"/>
    </Hierarchy>
  </Dimension>
  <Dimension name="Year">
    <Hierarchy hasAll="true">
      <Level name="Year" column="year" type="Numeric" uniqueMembers="true"/>
    </Hierarchy>
  </Dimension>
  <Cube name="Sales">
    <Table name="sales"/>
    <DimensionUsage name="Region" source="Region" foreignKey="region_id"/>
    <DimensionUsage name="Year" source="Year"/>
    <Measure name="Amount" column="amount" aggregator="sum"/>
    <Measure name="Target" column="target" aggregator="sum"/>
    <Measure name="Cost" column="cost" aggregator="sum"/>
    <Kpi name="Revenue" caption="Revenue" description="Sales against the target"
         displayFolder="Sales">
      <Value>[Measures].[Amount]</Value>
      <Goal>[Measures].[Target]</Goal>
      <Status>CASE WHEN KPIValue("Revenue") >= KPIGoal("Revenue") THEN 1
                   WHEN KPIValue("Revenue") >= 0.9 * KPIGoal("Revenue") THEN 0 ELSE -1 END</Status>
      <Trend>CASE WHEN ([Measures].[Amount], [Year].[2024]) > ([Measures].[Amount], [Year].[2023])
                  THEN 1 ELSE -1 END</Trend>
      <Weight>1</Weight>
      <StatusGraphic>traffic LIGHT</StatusGraphic>
      <TrendGraphic>Standard Arrow</TrendGraphic>
    </Kpi>
    <Kpi name="Growth" displayFolder="Sales" parent="Revenue">
      <Value>([Measures].[Amount], [Year].[2024]) / ([Measures].[Amount], [Year].[2023]) - 1</Value>
      <Goal>0.05</Goal>
      <Status>CASE WHEN KPIValue("Growth") >= KPIGoal("Growth") THEN 1 ELSE -1 END</Status>
      <StatusGraphic>Gauge</StatusGraphic>
    </Kpi>
    <Kpi name="Margin" caption="Margin &quot;gross&quot;" displayFolder="Profit">
      <!-- Ends in a bare name, which would run into whatever word follows it. -->
      <Value>[Measures].[Amount] - Cost</Value>
      <Weight>2</Weight>
    </Kpi>
)XML";

const char* const kSchemaTail = R"XML(
  </Cube>
  <Cube name="Returns">
    <Table name="sales"/>
    <DimensionUsage name="Region" source="Region" foreignKey="region_id"/>
    <Measure name="Returned" column="returned" aggregator="sum"/>
    <Kpi name="Return rate" displayFolder="Quality">
      <Value>[Measures].[Returned]</Value>
    </Kpi>
  </Cube>
  <Cube name="Plain">
    <Table name="sales"/>
    <Measure name="Amount" column="amount" aggregator="sum"/>
  </Cube>
</Schema>
)XML";

}  // namespace

KpiShop::KpiShop(const TempDir& folder, const std::string& extraKpis)
    : database_(folder.Path() + "kpishop.db") {
    if (const std::string error = ExecuteSqlite(database_, kData); !error.empty())
        throw std::runtime_error("cannot make " + database_ + ": " + error);
    schema_ = folder.Write("kpishop.xml", kSchemaHead + extraKpis + kSchemaTail);
}

std::string KpiShop::Connection() const {
    return "Provider=Orvik.Cube;Data Source=" + database_ + ";Catalog=" + schema_;
}

double KpiShop::Sql(const std::string& select) const {
    return SqliteNumber(database_, select);
}

}  // namespace orvik::test
