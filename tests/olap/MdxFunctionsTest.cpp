// The MDX functions of the cube engine, run through the cell set on a small star schema that the
// test writes itself: two years of months, stores in two countries (one city with no sales), two
// product categories and 28 sales. Every expected number is either small enough to add up by
// hand or comes from a plain SQL query on the same file, so a wrong join, a summed distinct count
// or a misplaced member shows up as a wrong number rather than a changed snapshot.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"

namespace orvik {
namespace {

const char* const kData = R"SQL(
CREATE TABLE time_by_month (month_id INTEGER PRIMARY KEY, the_year INTEGER, quarter TEXT,
                            month_of_year INTEGER, month_name TEXT);
WITH RECURSIVE m(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM m WHERE i < 24)
INSERT INTO time_by_month
SELECT i, 2022 + (i + 11) / 12, 'Q' || (((i - 1) % 12) / 3 + 1), (i - 1) % 12 + 1,
       substr('JanFebMarAprMayJunJulAugSepOctNovDec', ((i - 1) % 12) * 3 + 1, 3) FROM m;
CREATE TABLE store (store_id INTEGER PRIMARY KEY, country TEXT, state TEXT, city TEXT);
INSERT INTO store VALUES (1, 'USA', 'CA', 'Los Angeles'), (2, 'USA', 'CA', 'San Francisco'),
  (3, 'USA', 'WA', 'Seattle'), (4, 'Canada', 'BC', 'Vancouver'), (5, 'USA', 'OR', 'Portland');
CREATE TABLE product (product_id INTEGER PRIMARY KEY, category TEXT, product_name TEXT);
INSERT INTO product VALUES (1, 'Drink', 'Beer'), (2, 'Drink', 'Juice'), (3, 'Food', 'Bread'),
  (4, 'Food', 'Cheese');
CREATE TABLE sales (month_id INTEGER, store_id INTEGER, product_id INTEGER, customer_id INTEGER,
                    amount REAL, quantity INTEGER);
INSERT INTO sales VALUES
  (1, 1, 1, 1, 10.0, 2), (1, 3, 3, 2, 20.0, 4), (1, 4, 2, 6, 7.0, 1), (2, 2, 2, 1, 15.5, 3),
  (2, 1, 1, 2, 5.0, 1), (3, 4, 4, 3, 40.0, 1), (3, 1, 3, 1, 12.0, 2), (3, 2, 4, 5, 13.0, 2),
  (4, 2, 1, 4, 30.0, 6), (7, 3, 2, 2, 8.0, 1), (8, 1, 4, 5, 55.0, 5), (9, 4, 1, 3, 22.0, 4),
  (10, 2, 3, 6, 18.0, 3), (11, 1, 1, 1, 25.0, 5), (12, 3, 4, 2, 60.0, 2),
  (13, 1, 2, 1, 11.0, 2), (13, 2, 1, 4, 33.0, 6), (14, 4, 3, 3, 14.0, 2), (15, 3, 1, 2, 27.0, 3),
  (16, 1, 4, 5, 70.0, 7), (17, 2, 2, 6, 9.5, 1), (19, 3, 3, 2, 21.0, 3), (20, 4, 4, 3, 45.0, 3),
  (21, 1, 1, 1, 36.0, 6), (22, 2, 3, 4, 16.0, 2), (23, 3, 2, 2, 12.5, 2), (24, 1, 4, 5, 80.0, 4),
  (24, 4, 1, 3, 19.0, 3);
CREATE VIEW flat AS SELECT * FROM sales JOIN time_by_month USING (month_id)
  JOIN store USING (store_id) JOIN product USING (product_id);
)SQL";

const char* const kSchema = R"XML(<?xml version="1.0"?>
<Schema name="Shop">
  <Cube name="Sales">
    <Table name="sales"/>
    <Dimension name="Time" type="TimeDimension" foreignKey="month_id">
      <Hierarchy hasAll="false" primaryKey="month_id">
        <Table name="time_by_month"/>
        <Level name="Year" column="the_year" type="Numeric" uniqueMembers="true"
               levelType="TimeYears"/>
        <Level name="Quarter" column="quarter" levelType="TimeQuarters"/>
        <Level name="Month" column="month_of_year" nameColumn="month_name" type="Numeric"
               levelType="TimeMonths"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Store" foreignKey="store_id">
      <Hierarchy hasAll="true" allMemberName="All Stores" primaryKey="store_id">
        <Table name="store"/>
        <Level name="Country" column="country" uniqueMembers="true"/>
        <Level name="State" column="state" uniqueMembers="true"/>
        <Level name="City" column="city"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Product" foreignKey="product_id">
      <Hierarchy hasAll="true" primaryKey="product_id">
        <Table name="product"/>
        <Level name="Category" column="category" uniqueMembers="true"/>
        <Level name="Product" column="product_name"/>
      </Hierarchy>
    </Dimension>
    <Measure name="Amount" column="amount" aggregator="sum" formatString="#,###.00"/>
    <Measure name="Quantity" column="quantity" aggregator="sum" formatString="#,###"/>
    <Measure name="Sales Count" aggregator="count"/>
    <Measure name="Customers" column="customer_id" aggregator="distinct-count"/>
    <CalculatedMember name="Average Price" dimension="Measures">
      <Formula>[Measures].[Amount] / [Measures].[Quantity]</Formula>
      <CalculatedMemberProperty name="FORMAT_STRING" value="0.00"/>
    </CalculatedMember>
  </Cube>
</Schema>
)XML";

class MdxFunctionsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<test::TempDir>();
        database_ = folder_->Path() + "shop.db";
        ASSERT_EQ(test::ExecuteSqlite(database_, kData), "");
        schema_ = folder_->Write("shop.xml", kSchema);
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::string Connection(const std::string& database = database_,
                                  const std::string& schema = schema_) {
        return "Provider=Orvik.Cube;Data Source=" + database + ";Catalog=" + schema;
    }

    // Runs `mdx` into cells_; a failure fails the test with the engine's message.
    void Run(const std::string& mdx) {
        try {
            cells_.Open(mdx, Connection());
        } catch (const CADOException& error) {
            ADD_FAILURE() << mdx << "\n" << error.what();
            cells_.Close();
        }
    }

    // The message of the error `mdx` raises ("" when it runs).
    static std::string ErrorOf(const std::string& mdx, const std::string& connection = "") {
        CADOMDCellSet cells;
        try {
            cells.Open(mdx, connection.empty() ? Connection() : connection);
        } catch (const CADOException& error) {
            return error.what();
        }
        return "";
    }

    // The captions of axis `axis` joined with ", " (a tuple's members joined with "/").
    std::string Captions(int axis = 0) const {
        if (!cells_.IsOpen()) return "<failed>";
        std::string out;
        for (const CellSetPosition& position : cells_.Axis(axis).Positions) {
            std::string tuple;
            for (const CellSetMember& member : position.Members)
                tuple += (tuple.empty() ? "" : "/") + member.Caption;
            out += (out.empty() ? "" : ", ") + tuple;
        }
        return out;
    }

    // The members of `set` in the order the engine puts them on an axis.
    std::string Set(const std::string& set, const std::string& where = "") {
        Run("SELECT " + set + " ON COLUMNS FROM [Sales]" +
            (where.empty() ? "" : " WHERE " + where));
        return Captions();
    }

    // The unique name of the one member `expression` stands for.
    std::string UniqueName(const std::string& expression) {
        Run("SELECT {" + expression + "} ON COLUMNS FROM [Sales]");
        if (!cells_.IsOpen() || cells_.Axis(0).Positions.size() != 1) return "<none>";
        return cells_.Axis(0).Positions[0].Members[0].UniqueName;
    }

    // The cell of a calculated measure with `formula`, under `where` when given.
    CellSetCell Calc(const std::string& formula, const std::string& where = "",
                     const std::string& properties = "") {
        Run("WITH MEMBER [Measures].[X] AS " + formula + properties +
            " SELECT {[Measures].[X]} ON COLUMNS FROM [Sales]" +
            (where.empty() ? "" : " WHERE " + where));
        return cells_.IsOpen() ? cells_.Cell(0) : CellSetCell{};
    }
    double Number(const std::string& formula, const std::string& where = "") {
        const CellSetCell cell = Calc(formula, where);
        EXPECT_FALSE(cell.Value.IsEmpty()) << formula;
        return cell.Value.AsDouble();
    }
    std::string Text(const std::string& formula, const std::string& where = "") {
        return Calc(formula, where).Value.AsString();
    }

    // One number computed by SQLite from the same file: the oracle for the engine's sums.
    static double Sql(const std::string& select) { return test::SqliteNumber(database_, select); }

    static inline std::unique_ptr<test::TempDir> folder_;
    static inline std::string database_, schema_;
    CADOMDCellSet cells_;
};

// The default member of Time (no All member) is 2023: every query below that names no year
// reads 2023 only.
TEST_F(MdxFunctionsTest, MembersOfLevelsAndHierarchies) {
    EXPECT_EQ(Set("[Time].[2023].Children"), "Q1, Q2, Q3, Q4");
    EXPECT_EQ(Set("[Store].Children"), "Canada, USA");
    EXPECT_EQ(Set("[Store].[City].Members"),
              "Vancouver, Los Angeles, San Francisco, Portland, Seattle");
    EXPECT_EQ(Set("[Store].Members"),
              "All Stores, Canada, BC, Vancouver, USA, CA, Los Angeles, San Francisco, OR, "
              "Portland, WA, Seattle");
    Run("SELECT [Time].Members ON COLUMNS FROM [Sales]");
    EXPECT_EQ(cells_.Axis(0).Positions.size(), 2u + 8u + 24u);
    const CellSetMember& first = cells_.Axis(0).Positions.front().Members.front();
    EXPECT_EQ(first.UniqueName, "[Time].[2023]");
    EXPECT_EQ(first.LevelUniqueName, "[Time].[Year]");
    EXPECT_EQ(first.LevelNumber, 0);

    // Calculated members: only AllMembers shows them, at the level they were defined on.
    EXPECT_EQ(Set("[Measures].Members"), "Amount, Quantity, Sales Count, Customers");
    EXPECT_EQ(Set("[Measures].AllMembers"),
              "Amount, Quantity, Sales Count, Customers, Average Price");
    Run("WITH MEMBER [Store].[USA].[West] AS '[Store].[USA].[CA] + [Store].[USA].[WA]' "
        "SELECT [Store].[State].AllMembers ON COLUMNS FROM [Sales]");
    EXPECT_EQ(Captions(), "BC, CA, OR, WA, West");
    EXPECT_DOUBLE_EQ(cells_.Cell(4).Value.AsDouble(), 107 + 76.5 + 88);
    EXPECT_EQ(cells_.Axis(0).Positions[4].Members[0].UniqueName, "[Store].[USA].[West]");

    // Keys: &[2] is February's month number, not its name.
    EXPECT_EQ(UniqueName("[Time].&[2024].&[Q1].&[2]"), "[Time].[2024].[Q1].[Feb]");
    EXPECT_EQ(UniqueName("[Product].[Category].&[Food]"), "[Product].[Food]");
    EXPECT_DOUBLE_EQ(Number("([Measures].[Amount], [Time].&[2024])"),
                     Sql("SELECT SUM(amount) FROM flat WHERE the_year = 2024"));
}

TEST_F(MdxFunctionsTest, FilterOrderAndCounts) {
    // 2023 by city: Vancouver 69, Los Angeles 107, San Francisco 76.5, Seattle 88, Portland none.
    const std::string cities = "[Store].[City].Members";
    EXPECT_EQ(Set("Filter(" + cities + ", [Measures].[Amount] > 80)"), "Los Angeles, Seattle");
    EXPECT_EQ(Set("Filter(" + cities + ", [Store].CurrentMember.Parent.Name = \"CA\")"),
              "Los Angeles, San Francisco");
    EXPECT_EQ(Set("Filter(" + cities + ", [Measures].[Amount] > 100)", "[Time].[2024]"),
              "Los Angeles");

    // ASC and DESC keep each city under its state and country, ordered by their totals;
    // BASC and BDESC break the hierarchy. An empty cell sorts as the lowest value.
    EXPECT_EQ(Set("Order(" + cities + ", [Measures].[Amount], DESC)"),
              "Los Angeles, San Francisco, Seattle, Portland, Vancouver");
    EXPECT_EQ(Set("Order(" + cities + ", [Measures].[Amount], ASC)"),
              "Vancouver, Portland, Seattle, San Francisco, Los Angeles");
    EXPECT_EQ(Set("Order(" + cities + ", [Measures].[Amount], BDESC)"),
              "Los Angeles, Seattle, San Francisco, Vancouver, Portland");
    EXPECT_EQ(Set("Order(" + cities + ", [Measures].[Amount], BASC)"),
              "Portland, Vancouver, San Francisco, Seattle, Los Angeles");
    EXPECT_EQ(Set("Order(" + cities + ", [Store].CurrentMember.Name, BDESC)"),
              "Vancouver, Seattle, San Francisco, Portland, Los Angeles");
    // A parent comes before its children in hierarchical order, even ascending.
    EXPECT_EQ(Set("Order({[Store].[USA].[CA].Children, [Store].[USA], [Store].[USA].[CA]}, "
                  "[Measures].[Amount], ASC)"),
              "USA, CA, San Francisco, Los Angeles");

    EXPECT_EQ(Set("TopCount(" + cities + ", 2, [Measures].[Amount])"), "Los Angeles, Seattle");
    EXPECT_EQ(Set("BottomCount(" + cities + ", 2, [Measures].[Amount])"), "Portland, Vancouver");
    EXPECT_EQ(Set("BottomCount(NonEmpty(" + cities + "), 2, [Measures].[Amount])"),
              "Vancouver, San Francisco");
    EXPECT_EQ(Set("TopCount(" + cities + ", 9, [Measures].[Amount])"),
              "Los Angeles, Seattle, San Francisco, Vancouver, Portland");
    EXPECT_EQ(Set("Head(" + cities + ", 2)"), "Vancouver, Los Angeles");
    EXPECT_EQ(Set("Tail(" + cities + ", 2)"), "Portland, Seattle");
    EXPECT_EQ(Set("Head(" + cities + ")"), "Vancouver");
    EXPECT_EQ(Set("Tail(" + cities + ", 0)"), "");
}

TEST_F(MdxFunctionsTest, CombiningSets) {
    EXPECT_EQ(Set("Union({[Store].[Canada], [Store].[USA].[CA]}, {[Store].[USA].[CA], "
                  "[Store].[USA]})"),
              "Canada, CA, USA");
    EXPECT_EQ(Set("Except([Store].[USA].Children, {[Store].[USA].[OR]})"), "CA, WA");
    const std::string product =
        "Crossjoin([Store].[Country].Members, [Product].[Category].Members)";
    EXPECT_EQ(Set(product), "Canada/Drink, Canada/Food, USA/Drink, USA/Food");
    EXPECT_EQ(Set("[Store].[Country].Members * [Product].[Category].Members"), Set(product));
    Run("SELECT " + product + " ON COLUMNS FROM [Sales]");
    EXPECT_DOUBLE_EQ(cells_.Cell(3).Value.AsDouble(),
                     Sql("SELECT SUM(amount) FROM flat WHERE the_year = 2023 AND country = 'USA' "
                         "AND category = 'Food'"));

    const std::string mixed =
        "{[Store].[USA].[CA].[Los Angeles], [Store].[USA], [Store].[Canada], [Store].[USA].[CA]}";
    EXPECT_EQ(Set("Hierarchize(" + mixed + ")"), "Canada, USA, CA, Los Angeles");
    EXPECT_EQ(Set("Hierarchize(" + mixed + ", POST)"), "Canada, Los Angeles, CA, USA");

    EXPECT_EQ(Set("Descendants([Time].[2024], [Time].[Month])"),
              "Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec");
    EXPECT_EQ(Set("Descendants([Store].[USA], 1)"), "CA, OR, WA");
    EXPECT_EQ(Set("Descendants([Store].[USA], 1, SELF_AND_AFTER)"),
              "CA, Los Angeles, San Francisco, OR, Portland, WA, Seattle");
    EXPECT_EQ(Set("Descendants([Store].[USA], [Store].[State], AFTER)"),
              "Los Angeles, San Francisco, Portland, Seattle");
    EXPECT_EQ(Set("Descendants([Store], [Store].[State], BEFORE)"), "All Stores, Canada, USA");
    EXPECT_EQ(Set("Descendants([Store].[USA], , LEAVES)"),
              "Los Angeles, San Francisco, Portland, Seattle");
    EXPECT_EQ(Set("Descendants([Store].[USA].[OR])"), "OR, Portland");

    EXPECT_EQ(Set("NonEmpty([Store].[City].Members)"),
              "Vancouver, Los Angeles, San Francisco, Seattle");
    Run("SELECT NonEmpty([Time].[Month].Members, {[Measures].[Quantity]}) ON COLUMNS FROM [Sales]");
    EXPECT_EQ(cells_.Axis(0).Positions.size(), 21u);  // May and June 2023, June 2024 sold nothing
    EXPECT_EQ(Set("Generate({[Store].[USA], [Store].[Canada]}, "
                  "TopCount([Store].CurrentMember.Children, 1, [Measures].[Amount]))"),
              "CA, BC");
    EXPECT_EQ(Set("Generate([Product].[Category].Members, {[Store].[USA]}, ALL)"), "USA, USA");

    // A range runs along the level, across parents.
    EXPECT_EQ(Set("{[Time].[2023].[Q4].[Nov]:[Time].[2024].[Q1].[Feb]}"), "Nov, Dec, Jan, Feb");
    EXPECT_DOUBLE_EQ(Number("Sum([Time].[2023].[Q4].[Nov]:[Time].[2024].[Q1].[Feb], "
                            "[Measures].[Amount])"),
                     Sql("SELECT SUM(amount) FROM flat WHERE month_id BETWEEN 11 AND 14"));
}

TEST_F(MdxFunctionsTest, NavigatingMembers) {
    EXPECT_EQ(UniqueName("[Time].[2024].[Q1].[Jan].PrevMember"), "[Time].[2023].[Q4].[Dec]");
    EXPECT_EQ(UniqueName("[Time].[2023].[Q4].[Dec].NextMember"), "[Time].[2024].[Q1].[Jan]");
    EXPECT_EQ(UniqueName("[Time].[2024].[Q1].[Jan].Parent"), "[Time].[2024].[Q1]");
    EXPECT_EQ(UniqueName("[Time].[2024].FirstChild"), "[Time].[2024].[Q1]");
    EXPECT_EQ(UniqueName("[Time].[2024].LastChild.LastChild"), "[Time].[2024].[Q4].[Dec]");
    EXPECT_EQ(UniqueName("[Store].[Canada].Parent"), "[Store].[All Stores]");
    EXPECT_EQ(Set("{[Time].[2023].PrevMember}"), "");  // nothing before the first year
    EXPECT_EQ(UniqueName("[Time].[2024].[Q1].Lag(1)"), "[Time].[2023].[Q4]");
    EXPECT_EQ(UniqueName("[Time].[2023].[Q4].Lead(2)"), "[Time].[2024].[Q2]");

    const std::string la = "[Store].[USA].[CA].[Los Angeles]";
    EXPECT_EQ(UniqueName("Ancestor(" + la + ", [Store].[Country])"), "[Store].[USA]");
    EXPECT_EQ(UniqueName("Ancestor(" + la + ", 1)"), "[Store].[USA].[CA]");
    EXPECT_EQ(UniqueName("Ancestor(" + la + ", 3)"), "[Store].[All Stores]");

    EXPECT_EQ(UniqueName("ParallelPeriod([Time].[Year], 1, [Time].[2024].[Q3].[Aug])"),
              "[Time].[2023].[Q3].[Aug]");
    EXPECT_EQ(UniqueName("ParallelPeriod([Time].[Quarter], 2, [Time].[2024].[Q1].[Feb])"),
              "[Time].[2023].[Q3].[Aug]");
    EXPECT_EQ(Set("YTD([Time].[2024].[Q2].[May])"), "Jan, Feb, Mar, Apr, May");
    EXPECT_EQ(Set("PeriodsToDate([Time].[Quarter], [Time].[2024].[Q2].[May])"), "Apr, May");

    // CurrentMember inside calculated members, evaluated for each row.
    Run("WITH MEMBER [Measures].[Previous] AS ([Measures].[Amount], "
        "[Time].CurrentMember.PrevMember) "
        "MEMBER [Measures].[Last Year] AS ([Measures].[Amount], ParallelPeriod([Time].[Year])) "
        "MEMBER [Measures].[To Date] AS Sum(YTD(), [Measures].[Amount]) "
        "SELECT {[Measures].[Previous], [Measures].[Last Year], [Measures].[To Date]} ON COLUMNS, "
        "[Time].[2024].Children ON ROWS FROM [Sales]");
    ASSERT_TRUE(cells_.IsOpen());
    auto quarter = [](int year, int q) {
        return Sql("SELECT SUM(amount) FROM flat WHERE the_year = " + std::to_string(year) +
                   " AND quarter = 'Q" + std::to_string(q) + "'");
    };
    double toDate = 0;
    for (int q = 1; q <= 4; ++q) {
        toDate += quarter(2024, q);
        const long row = (q - 1) * 3;
        EXPECT_DOUBLE_EQ(cells_.Cell(row).Value.AsDouble(),
                         q == 1 ? quarter(2023, 4) : quarter(2024, q - 1));
        EXPECT_DOUBLE_EQ(cells_.Cell(row + 1).Value.AsDouble(), quarter(2023, q));
        EXPECT_DOUBLE_EQ(cells_.Cell(row + 2).Value.AsDouble(), toDate);
    }
}

TEST_F(MdxFunctionsTest, SiblingsCousinsAndShorterPeriodsToDate) {
    const std::string may = "[Time].[2024].[Q2].[May]";
    EXPECT_EQ(UniqueName(may + ".FirstSibling"), "[Time].[2024].[Q2].[Apr]");
    EXPECT_EQ(UniqueName(may + ".LastSibling"), "[Time].[2024].[Q2].[Jun]");
    EXPECT_EQ(UniqueName(may + ".DataMember"), may);
    EXPECT_EQ(UniqueName("Cousin([Time].[2023].[Q1].[Feb], [Time].[2024].[Q3])"),
              "[Time].[2024].[Q3].[Aug]");
    EXPECT_EQ(Set("QTD(" + may + ")"), "Apr, May");
    EXPECT_EQ(Set("MTD(" + may + ")"), "May");
    // Oregon sold nothing in 2023: the plain crossjoin keeps it, the non-empty one does not.
    EXPECT_EQ(Set("Crossjoin([Store].[USA].Children, {[Time].[2023]})"),
              "CA/2023, OR/2023, WA/2023");
    EXPECT_EQ(Set("NonEmptyCrossjoin([Store].[USA].Children, {[Time].[2023]})"),
              "CA/2023, WA/2023");
}

TEST_F(MdxFunctionsTest, ValuesAndOperators) {
    const std::string portland = "[Store].[USA].[OR].[Portland]";
    const std::string seattle = "[Store].[USA].[WA].[Seattle]";
    // An empty cell counts as zero in + and -, but empties a product or a quotient.
    EXPECT_DOUBLE_EQ(Number("[Measures].[Amount] + 1", portland), 1);
    EXPECT_TRUE(Calc("[Measures].[Amount] - [Measures].[Amount]", portland).Value.IsEmpty());
    EXPECT_TRUE(Calc("[Measures].[Amount] * 2", portland).Value.IsEmpty());
    EXPECT_TRUE(Calc("[Measures].[Amount] / [Measures].[Quantity]", portland).Value.IsEmpty());
    EXPECT_DOUBLE_EQ(Number("-[Measures].[Amount] * 2 + 10 / 4", seattle), -88 * 2 + 2.5);

    EXPECT_EQ(Text("IIf([Measures].[Amount] > 80, \"big\", \"small\")", seattle), "big");
    EXPECT_EQ(Text("IIf([Measures].[Amount] = 0 AND IsEmpty([Measures].[Amount]), \"none\", "
                   "\"some\")",
                   portland),
              "none");
    EXPECT_EQ(Text("IIf(NOT ([Measures].[Amount] >= 88) OR [Measures].[Amount] <> 88, \"a\", "
                   "\"b\")",
                   seattle),
              "b");
    const std::string searched =
        "CASE WHEN [Measures].[Amount] > 100 THEN \"high\" WHEN [Measures].[Amount] > 70 "
        "THEN \"mid\" ELSE \"low\" END";
    EXPECT_EQ(Text(searched, seattle), "mid");
    EXPECT_EQ(Text(searched, portland), "low");
    const std::string simple =
        "CASE [Store].CurrentMember.Parent.Name WHEN \"CA\" THEN 1 WHEN \"WA\" THEN 2 ELSE 0 END";
    EXPECT_DOUBLE_EQ(Number(simple, seattle), 2);
    EXPECT_DOUBLE_EQ(Number(simple, portland), 0);

    EXPECT_DOUBLE_EQ(Number("CoalesceEmpty([Measures].[Amount], 0)", portland), 0);
    EXPECT_DOUBLE_EQ(Number("CoalesceEmpty([Measures].[Amount], 0)", seattle), 88);
    EXPECT_EQ(Text("\"Store \" || [Store].CurrentMember.Name || \" in \" || "
                   "[Store].CurrentMember.Parent.UniqueName",
                   seattle),
              "Store Seattle in [Store].[USA].[WA]");
    EXPECT_EQ(Text("[Time].CurrentMember.Caption || \"/\" || [Measures].[Quantity].Name"),
              "2023/Quantity");
    EXPECT_DOUBLE_EQ(Number("([Measures].[Amount], [Time].[2024]).Value"), 394);
    // A double-quoted formula is a string value, not a quoted formula naming [Yes].
    EXPECT_EQ(Text("\"Yes\""), "Yes");
    // A number joined into a text is written plainly, without the grouping of a cell format.
    EXPECT_EQ(Text("\"Total \" || [Measures].[Amount] * 10"), "Total 3405");
    EXPECT_EQ(Text("\"Half \" || [Measures].[Quantity] / 2", seattle), "Half 3.5");
}

TEST_F(MdxFunctionsTest, AggregatesOverSets) {
    const std::string cities = "[Store].[City].Members";
    EXPECT_DOUBLE_EQ(Number("Sum(" + cities + ", [Measures].[Amount])"), 340.5);
    EXPECT_DOUBLE_EQ(Number("Count(" + cities + ")"), 5);
    // Counting the measure being computed would ask for itself: the set names the measure.
    EXPECT_DOUBLE_EQ(Number("Count(" + cities + " * {[Measures].[Amount]}, EXCLUDEEMPTY)"), 4);
    EXPECT_DOUBLE_EQ(Number(cities + ".Count"), 5);
    EXPECT_DOUBLE_EQ(Number("Avg(" + cities + ", [Measures].[Amount])"), 340.5 / 4);
    EXPECT_DOUBLE_EQ(Number("Min(" + cities + ", [Measures].[Amount])"), 69);
    EXPECT_DOUBLE_EQ(Number("Max(" + cities + ", [Measures].[Amount])"), 107);
    EXPECT_DOUBLE_EQ(Number("Sum({[Time].[2023], [Time].[2024]}, [Measures].[Sales Count])"), 28);

    // Customers is a distinct count: Q1 and Q3 of 2023 share customers, so the aggregate is
    // less than the sum of the two quarters.
    const double distinct =
        Sql("SELECT COUNT(DISTINCT customer_id) FROM flat WHERE the_year = 2023 AND quarter IN "
            "('Q1', 'Q3')");
    ASSERT_LT(distinct, Sql("SELECT COUNT(DISTINCT customer_id) FROM flat WHERE the_year = 2023 "
                            "AND quarter = 'Q1'") +
                            Sql("SELECT COUNT(DISTINCT customer_id) FROM flat WHERE the_year = "
                                "2023 AND quarter = 'Q3'"));
    Run("WITH MEMBER [Time].[Q1 and Q3] AS 'Aggregate({[Time].[2023].[Q1], [Time].[2023].[Q3]})' "
        "SELECT {[Measures].[Amount], [Measures].[Customers]} ON COLUMNS, "
        "{[Time].[Q1 and Q3]} ON ROWS FROM [Sales]");
    ASSERT_TRUE(cells_.IsOpen());
    EXPECT_DOUBLE_EQ(cells_.Cell(0).Value.AsDouble(), 122.5 + 85);
    EXPECT_DOUBLE_EQ(cells_.Cell(1).Value.AsDouble(), distinct);
    EXPECT_DOUBLE_EQ(Number("Aggregate({[Time].[2023].[Q1], [Time].[2023].[Q3]}, "
                            "[Measures].[Customers])"),
                     distinct);

    // The measure of the schema's calculated member divides the sums, it does not average.
    Run("SELECT {[Measures].[Average Price]} ON COLUMNS FROM [Sales]");
    EXPECT_EQ(cells_.Cell(0).FormattedValue, "8.11");  // 340.5 / 42
}

TEST_F(MdxFunctionsTest, CalculatedMembersAndNamedSets) {
    // Solve order decides whether the ratio of the differences or the difference of the ratios
    // is shown where a calculated measure meets a calculated time member.
    auto query = [](int price, int change) {
        return "WITH MEMBER [Measures].[Price] AS '[Measures].[Amount] / [Measures].[Quantity]', "
               "FORMAT_STRING = '#,##0.00', SOLVE_ORDER = " +
               std::to_string(price) +
               " MEMBER [Time].[Change] AS '[Time].[2024] - [Time].[2023]', SOLVE_ORDER = " +
               std::to_string(change) +
               " SELECT {[Measures].[Price]} ON COLUMNS, {[Time].[Change]} ON ROWS FROM [Sales]";
    };
    Run(query(10, 1));
    ASSERT_TRUE(cells_.IsOpen());
    EXPECT_DOUBLE_EQ(cells_.Cell(0).Value.AsDouble(), (394 - 340.5) / (44 - 42));
    EXPECT_EQ(cells_.Cell(0).FormattedValue, "26.75");
    Run(query(1, 10));
    ASSERT_TRUE(cells_.IsOpen());
    EXPECT_DOUBLE_EQ(cells_.Cell(0).Value.AsDouble(), 394.0 / 44 - 340.5 / 42);
    EXPECT_EQ(cells_.Cell(0).FormattedValue, "0.85");

    Run("WITH SET [Best] AS 'TopCount([Store].[City].Members, 2, [Measures].[Amount])' "
        "MEMBER [Measures].[Best Total] AS 'Sum([Best], [Measures].[Amount])' "
        "SELECT {[Measures].[Amount], [Measures].[Best Total]} ON COLUMNS, [Best] ON ROWS "
        "FROM [Sales]");
    EXPECT_EQ(Captions(1), "Los Angeles, Seattle");
    EXPECT_DOUBLE_EQ(cells_.Cell(3).Value.AsDouble(), 107 + 88);

    // A share of the parent, the usual report ratio, with a named format.
    Run("WITH MEMBER [Measures].[Share] AS '[Measures].[Amount] / ([Measures].[Amount], "
        "[Store].CurrentMember.Parent)', FORMAT_STRING = 'Percent' "
        "SELECT {[Measures].[Share]} ON COLUMNS, [Store].[USA].[CA].Children ON ROWS "
        "FROM [Sales]");
    ASSERT_TRUE(cells_.IsOpen());
    EXPECT_EQ(cells_.Cell(0).FormattedValue, "58.31%");  // 107 of 183.5
    EXPECT_EQ(cells_.Cell(1).FormattedValue, "41.69%");

    Run("SELECT {[Measures].[Amount]} ON COLUMNS, NON EMPTY [Store].[City].Members ON ROWS "
        "FROM [Sales]");
    EXPECT_EQ(Captions(1), "Vancouver, Los Angeles, San Francisco, Seattle");
    EXPECT_EQ(cells_.Cell(1).FormattedValue, "107.00");
}

TEST_F(MdxFunctionsTest, SlicersAndAxes) {
    // A compound slicer is one cell over its tuples: the distinct count is not summed.
    Run("SELECT {[Measures].[Amount], [Measures].[Customers]} ON COLUMNS FROM [Sales] "
        "WHERE {[Store].[USA].[CA], [Store].[Canada]}");
    ASSERT_TRUE(cells_.IsOpen());
    EXPECT_EQ(cells_.Slicer().Positions.size(), 2u);
    const std::string where = "the_year = 2023 AND (state = 'CA' OR country = 'Canada')";
    EXPECT_DOUBLE_EQ(cells_.Cell(0).Value.AsDouble(),
                     Sql("SELECT SUM(amount) FROM flat WHERE " + where));
    EXPECT_DOUBLE_EQ(cells_.Cell(1).Value.AsDouble(),
                     Sql("SELECT COUNT(DISTINCT customer_id) FROM flat WHERE " + where));
    // An aggregate under that slicer covers both: still one distinct count.
    Run("WITH MEMBER [Time].[Q1 and Q3] AS 'Aggregate({[Time].[2023].[Q1], [Time].[2023].[Q3]})' "
        "SELECT {[Measures].[Customers]} ON COLUMNS, {[Time].[Q1 and Q3]} ON ROWS FROM [Sales] "
        "WHERE {[Store].[USA].[CA], [Store].[Canada]}");
    ASSERT_TRUE(cells_.IsOpen());
    EXPECT_DOUBLE_EQ(cells_.Cell(0).Value.AsDouble(),
                     Sql("SELECT COUNT(DISTINCT customer_id) FROM flat WHERE " + where +
                         " AND quarter IN ('Q1', 'Q3')"));

    // Tuples of two hierarchies, one of them without an All member.
    Run("SELECT {[Measures].[Amount]} ON COLUMNS, [Product].[Category].Members ON ROWS "
        "FROM [Sales] WHERE {([Store].[USA].[CA], [Time].[2024]), "
        "([Store].[Canada], [Time].[2023])}");
    ASSERT_TRUE(cells_.IsOpen());
    EXPECT_DOUBLE_EQ(cells_.Cell(1).Value.AsDouble(),
                     Sql("SELECT SUM(amount) FROM flat WHERE category = 'Food' AND "
                         "((state = 'CA' AND the_year = 2024) OR "
                         "(country = 'Canada' AND the_year = 2023))"));

    // Axes may be numbered and written in any order.
    Run("SELECT [Time].[2024].Children ON 1, {[Measures].[Amount], [Measures].[Quantity]} "
        "ON AXIS(0) FROM [Sales]");
    EXPECT_EQ(Captions(0), "Amount, Quantity");
    EXPECT_EQ(Captions(1), "Q1, Q2, Q3, Q4");
    EXPECT_EQ(cells_.Cell(3).FormattedValue, "8");  // Q2 2024 quantity
    Run("SELECT {[Measures].[Amount]} ON ROWS, {[Time].[2024]} ON COLUMNS FROM [Sales]");
    EXPECT_EQ(Captions(0), "2024");
    EXPECT_EQ(Captions(1), "Amount");
    EXPECT_NE(ErrorOf("SELECT {[Measures].[Amount]} ON AXIS(1) FROM [Sales]")
                  .find("numbered from 0 without gaps"),
              std::string::npos);
}

TEST_F(MdxFunctionsTest, FormatStrings) {
    struct Case {
        const char* Format;
        double Value;
        const char* Shown;
    };
    const Case cases[] = {
        {"Standard", 1234, "1,234"},
        {"Standard", 1234.5, "1,234.50"},
        {"Currency", 1234.5, "$1,234.50"},
        {"Currency", -1234.5, "-$1,234.50"},
        {"Percent", 0.256, "25.60%"},
        {"Fixed", 1234.567, "1234.57"},
        {"#,###", 1234567, "1,234,567"},
        {"#,###.00", 1234.5, "1,234.50"},
        {"#,###.00", 0.5, ".50"},
        {"#.00%", 0.256, "25.60%"},
        {"0.0", 2.25, "2.3"},
        {"0.0", -0.04, "0.0"},
        {"0.00", 1.005, "1.01"},  // stored as 1.00499999999999989
        {"Currency", 0.285, "$0.29"},
        {"#,##0.00;(#,##0.00)", -1234.5, "(1,234.50)"},
        {"#,##0.00;(#,##0.00)", 1234.5, "1,234.50"},
        {"#,##0;(#,##0);\"nothing\"", 0, "nothing"},
        {"\"$\"#,##0\" total\"", 12345, "$12,345 total"},
    };
    // Each format goes through a query, so the FORMAT_STRING property is carried to the cell.
    for (const Case& c : cases) {
        std::string format = c.Format;
        std::string quoted;
        for (char ch : format) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
        char value[64];
        std::snprintf(value, sizeof value, "%.17g", c.Value);
        const CellSetCell cell = Calc(value, "", ", FORMAT_STRING = '" + quoted + "'");
        EXPECT_EQ(cell.FormattedValue, c.Shown) << c.Format << " " << c.Value;
        EXPECT_DOUBLE_EQ(cell.Value.AsDouble(), c.Value) << c.Format;
    }
    // The schema's formats: Amount "#,###.00", Quantity "#,###", a count without one.
    Run("SELECT {[Measures].[Amount], [Measures].[Quantity], [Measures].[Sales Count]} "
        "ON COLUMNS FROM [Sales] WHERE [Time].[2024]");
    EXPECT_EQ(cells_.Cell(0).FormattedValue, "394.00");
    EXPECT_EQ(cells_.Cell(1).FormattedValue, "44");
    EXPECT_EQ(cells_.Cell(2).FormattedValue, "13");
    EXPECT_EQ(cells_.Cell(2).Value.Type(), VariantType::I4);
}

TEST_F(MdxFunctionsTest, ErrorsNameWhatIsWrong) {
    const std::string syntax = ErrorOf(
        "SELECT {[Measures].[Amount]}\n  ON COLUMNS,\n"
        "  {[Time].[2024] ON ROWS\nFROM [Sales]");
    EXPECT_NE(syntax.find("line 3, column 18"), std::string::npos) << syntax;
    EXPECT_NE(syntax.find("expected ',' or '}'"), std::string::npos) << syntax;
    EXPECT_NE(syntax.find("found 'ON'"), std::string::npos) << syntax;

    const std::string unknown = ErrorOf("SELECT {[Store].[USA].[Texas]} ON COLUMNS FROM [Sales]");
    EXPECT_NE(unknown.find("[Store].[USA].[Texas]"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("not found"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("line 1, column 9"), std::string::npos) << unknown;
    const std::string loop = ErrorOf(
        "WITH MEMBER [Measures].[Loop] AS '[Measures].[Loop] + 1' "
        "SELECT {[Measures].[Loop]} ON COLUMNS FROM [Sales]");
    EXPECT_NE(loop.find("[Measures].[Loop] refers to itself"), std::string::npos) << loop;
    const std::string twice =
        ErrorOf("SELECT FROM [Sales] WHERE ([Store].[USA], [Time].[2024], [Store].[Canada])");
    EXPECT_NE(twice.find("more than one member of [Store]"), std::string::npos) << twice;
    const std::string range =
        ErrorOf("SELECT {[Time].[2023]:[Time].[2024].[Q1]} ON COLUMNS FROM [Sales]");
    EXPECT_NE(range.find("two members of one level"), std::string::npos) << range;
    // A crossjoin past the cell limit is refused before it is built, naming its axis.
    const std::string months = "[Time].[Month].Members";
    const std::string huge =
        ErrorOf("SELECT {[Measures].[Amount]} ON COLUMNS, NON EMPTY Crossjoin(" + months + ", " +
                months + ", " + months + ", " + months + ", " + months + ") ON ROWS FROM [Sales]");
    EXPECT_NE(huge.find("A crossjoin of 331776 and 24 tuples would hold more than 5000000 on "
                        "axis 1 (ROWS), although it is NON EMPTY"),
              std::string::npos)
        << huge;
    const std::string product =
        ErrorOf("SELECT " + months + " * " + months + " * " + months + " * " + months + " * " +
                months + " ON COLUMNS FROM [Sales]");
    EXPECT_NE(product.find("24 tuples would hold more than 5000000 on axis 0 (COLUMNS);"),
              std::string::npos)
        << product;

    const std::string cube = ErrorOf("SELECT FROM [Warehouse]");
    EXPECT_NE(cube.find("'Warehouse'"), std::string::npos) << cube;

    const std::string missing = folder_->Path() + "no-such-schema.xml";
    const std::string noSchema = ErrorOf("SELECT FROM [Sales]", Connection(database_, missing));
    EXPECT_NE(noSchema.find(missing), std::string::npos) << noSchema;
    EXPECT_NE(noSchema.find("No such file"), std::string::npos) << noSchema;

    const std::string factless = folder_->Write(
        "factless.xml",
        "<?xml version=\"1.0\"?>\n<Schema name=\"Shop\">\n\n  <Cube name=\"Empty\">\n"
        "    <Measure name=\"Amount\" column=\"amount\"/>\n  </Cube>\n</Schema>\n");
    const std::string noFact = ErrorOf("SELECT FROM [Empty]", Connection(database_, factless));
    EXPECT_NE(noFact.find("line 4"), std::string::npos) << noFact;
    EXPECT_NE(noFact.find("no fact <Table>"), std::string::npos) << noFact;

    // A database that was there when the report was made and is gone now.
    const std::string gone = folder_->Path() + "gone.db";
    std::filesystem::copy_file(database_, gone);
    const std::string query = "SELECT {[Measures].[Amount]} ON COLUMNS FROM [Sales]";
    EXPECT_EQ(ErrorOf(query, Connection(gone)), "");
    std::filesystem::remove(gone);
    const std::string goneError = ErrorOf(query, Connection(gone));
    EXPECT_NE(goneError.find(gone), std::string::npos) << goneError;
}

}  // namespace
}  // namespace orvik
