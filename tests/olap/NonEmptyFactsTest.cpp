// NON EMPTY over crossjoins of large levels, answered from the facts: a sparse star (a year of
// days, 3000 customers, 40 products, a few thousand sales, some of them without an amount)
// written by the test, and every kept tuple and cell checked against SQL over the same file.
// The crossjoins here are far past the cell limit when built whole, so a query that answers at
// all has been answered from the facts. Every test runs twice: with the hierarchies read whole,
// and with every level read only as far as the facts reach (as levels of large tables are).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "olap/OlapConnection.h"

namespace orvik::test {
namespace {

const char* const kData = R"SQL(
CREATE TABLE days (day_id INTEGER PRIMARY KEY, day_name TEXT, month INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 365)
INSERT INTO days SELECT i, printf('D%03d', i), (i - 1) / 31 + 1 FROM n;
CREATE TABLE customers (customer_id INTEGER PRIMARY KEY, region TEXT, customer_name TEXT);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)
INSERT INTO customers SELECT i, printf('R%02d', i % 10), printf('C%04d', i) FROM n;
CREATE TABLE products (product_id INTEGER PRIMARY KEY, category TEXT, product_name TEXT);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40)
INSERT INTO products SELECT i, printf('Cat%d', i % 4), printf('P%02d', i) FROM n;
CREATE TABLE sales (day_id INTEGER, customer_id INTEGER, product_id INTEGER, amount REAL,
                    quantity INTEGER, ship_day_id INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000)
INSERT INTO sales SELECT (i * 7919) % 365 + 1, (i * 104729) % 3000 + 1, (i * 31) % 40 + 1,
  CASE WHEN i % 9 = 0 THEN NULL ELSE (i % 97) + 0.5 END, i % 5 + 1, (i * 613) % 365 + 1 FROM n;
-- Sales of a customer the table lacks, and of none: no customer member has them.
INSERT INTO sales VALUES (1, 99999, 1, 5, 1, 1), (2, NULL, 1, 7, 1, 2);
-- An aggregate by day that keeps the customers' own level columns rather than their key.
CREATE TABLE agg_day_customer AS SELECT day_id, region, customer_name, sum(amount) AS amount,
  sum(quantity) AS quantity, count(*) AS n FROM sales JOIN customers USING (customer_id)
  GROUP BY day_id, region, customer_name;
)SQL";

const char* const kCustomerAggregate = R"XML(<Table name="sales">
      <AggName name="agg_day_customer">
        <AggFactCount column="n"/>
        <AggForeignKey factColumn="day_id" aggColumn="day_id"/>
        <AggMeasure name="[Measures].[Amount]" column="amount"/>
        <AggMeasure name="[Measures].[Quantity]" column="quantity"/>
        <AggLevel name="[Customer].[Region]" column="region"/>
        <AggLevel name="[Customer].[Name]" column="customer_name"/>
      </AggName>
    </Table>)XML";

const char* const kSchema = R"XML(<?xml version="1.0"?>
<Schema name="Visits">
  <Cube name="Visits">
    <Table name="sales"/>
    <Dimension name="Day" foreignKey="day_id">
      <Hierarchy hasAll="true" primaryKey="day_id">
        <Table name="days"/>
        <Level name="Month" column="month" type="Numeric" uniqueMembers="true"/>
        <Level name="Day" column="day_id" nameColumn="day_name" type="Numeric"
               uniqueMembers="true"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Ship Day" foreignKey="ship_day_id">
      <Hierarchy hasAll="true" primaryKey="day_id">
        <Table name="days"/>
        <Level name="Month" column="month" type="Numeric" uniqueMembers="true"/>
        <Level name="Day" column="day_id" nameColumn="day_name" type="Numeric"
               uniqueMembers="true"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Customer" foreignKey="customer_id">
      <Hierarchy hasAll="true" primaryKey="customer_id">
        <Table name="customers"/>
        <Level name="Region" column="region" uniqueMembers="true"/>
        <Level name="Name" column="customer_name"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Product" foreignKey="product_id">
      <Hierarchy hasAll="true" primaryKey="product_id">
        <Table name="products"/>
        <Level name="Category" column="category" uniqueMembers="true"/>
        <Level name="Product" column="product_name" uniqueMembers="true"/>
      </Hierarchy>
    </Dimension>
    <Measure name="Amount" column="amount" aggregator="sum"/>
    <Measure name="Quantity" column="quantity" aggregator="sum"/>
  </Cube>
</Schema>
)XML";

class NonEmptyFacts : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { extra_ = GetParam(); }

    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempDir>();
        database_ = folder_->Path() + "visits.db";
        ASSERT_EQ(ExecuteSqlite(database_, kData), "");
        ASSERT_EQ(sqlite3_open(database_.c_str(), &db_), SQLITE_OK);
        schema_ = folder_->Write("visits.xml", kSchema);
        std::string aggregated = kSchema;
        const std::string table = "<Table name=\"sales\"/>";
        aggregated.replace(aggregated.find(table), table.size(), kCustomerAggregate);
        aggregatedSchema_ = folder_->Write("aggregated.xml", aggregated);
    }
    static void TearDownTestSuite() {
        sqlite3_close(db_);
        folder_.reset();
    }

    static std::string Connection(const std::string& schema = schema_) {
        return "Provider=Orvik.Cube;Data Source=" + database_ + ";Catalog=" + schema + extra_;
    }

    // The rows of axis 1, each "caption/caption..." then its cells' values, one line each.
    static std::string Rows(const std::string& mdx, const std::string& schema = schema_) {
        CADOMDCellSet cells;
        cells.Open(mdx, Connection(schema));
        const size_t columns = cells.Axis(0).Positions.size();
        std::string out;
        const auto& rows = cells.Axis(1).Positions;
        for (size_t r = 0; r < rows.size(); ++r) {
            std::string line;
            for (const CellSetMember& member : rows[r].Members)
                line += (line.empty() ? "" : "/") + member.Caption;
            for (size_t c = 0; c < columns; ++c) {
                const Variant& value = cells.Cell(static_cast<long>(r * columns + c)).Value;
                char number[32] = "";
                if (!value.IsEmpty() && !value.IsNull())
                    std::snprintf(number, sizeof number, "%g", value.AsDouble());
                line += std::string("|") + number;
            }
            out += line + "\n";
        }
        return out;
    }

    // The same lines from SQL: each row's columns joined as Rows joins them.
    static std::string Sql(const std::string& select) {
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, select.c_str(), -1, &statement, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db_);
        std::string out;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const int keys = sqlite3_column_count(statement);
            std::string line;
            for (int c = 0; c < keys; ++c) {
                const auto* text = sqlite3_column_text(statement, c);
                const std::string value = text ? reinterpret_cast<const char*>(text) : "";
                line += c == 0 ? value : (c < keysBeforeCells_ ? "/" : "|") + value;
            }
            out += line + "\n";
        }
        sqlite3_finalize(statement);
        return out;
    }

    // "" when `actual` and `expected` hold the same lines; else how many each has and the
    // first line that differs (the whole text would bury it).
    static std::string Difference(const std::string& actual, const std::string& expected) {
        if (actual == expected) return "";
        size_t line = 0, at = 0;
        while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
            if (actual[at++] == '\n') ++line;
        const auto lineAt = [&](const std::string& text) {
            const size_t start = text.rfind('\n', at == 0 ? 0 : at - 1);
            const size_t from = start == std::string::npos || at == 0 ? 0 : start + 1;
            return text.substr(from, text.find('\n', from) - from);
        };
        return std::to_string(std::count(actual.begin(), actual.end(), '\n')) + " lines, " +
               std::to_string(std::count(expected.begin(), expected.end(), '\n')) +
               " expected; line " + std::to_string(line + 1) + " is '" + lineAt(actual) +
               "', expected '" + lineAt(expected) + "'";
    }

    static std::string ErrorOf(const std::string& mdx) {
        try {
            Rows(mdx);
        } catch (const CADOException& error) {
            return error.what();
        }
        return "";
    }

    static inline std::unique_ptr<TempDir> folder_;
    static inline std::string database_, schema_, aggregatedSchema_;
    static inline std::string extra_;  // added to the connection string
    static inline sqlite3* db_ = nullptr;
    static inline int keysBeforeCells_ = 2;
};

// printf('%g') is how the cell set's doubles print: 12.5, 3.
const char* const kJoined =
    " FROM sales s JOIN days d USING (day_id) JOIN customers c USING (customer_id)"
    " JOIN products p USING (product_id)";

TEST_P(NonEmptyFacts, ACrossjoinOfTwoLargeLevelsKeepsTheTuplesWithFactsInCrossjoinOrder) {
    keysBeforeCells_ = 2;
    const std::string expected =
        Sql(std::string("SELECT day_name, customer_name, iif(sum(amount) IS NULL, '', printf('%g', "
                        "sum(amount))), sum(quantity)") +
            kJoined + " GROUP BY day_id, customer_id ORDER BY day_id, region, customer_name");
    ASSERT_GT(expected.size(), 1000u);
    const std::string measures = "{[Measures].[Amount], [Measures].[Quantity]} ON COLUMNS, ";
    for (const std::string& rows :
         {std::string("Crossjoin([Day].[Day].Members, [Customer].[Name].Members)"),
          std::string("{[Day].[Day].Members * [Customer].[Name].Members}")})
        EXPECT_EQ(
            Difference(Rows("SELECT " + measures + "NON EMPTY " + rows + " ON ROWS FROM [Visits]"),
                       expected),
            "")
            << rows;

    // A pair whose facts all lack the amount has no Amount cell: the facts narrow the tuples,
    // the cells still decide.
    keysBeforeCells_ = 2;
    EXPECT_EQ(
        Difference(Rows("SELECT {[Measures].[Amount]} ON COLUMNS, NON EMPTY [Day].[Day].Members * "
                        "[Customer].[Name].Members ON ROWS FROM [Visits]"),
                   Sql(std::string("SELECT day_name, customer_name, iif(sum(amount) IS NULL, '', "
                                   "printf('%g', sum(amount)))") +
                       kJoined +
                       " GROUP BY day_id, customer_id HAVING sum(amount) IS NOT NULL "
                       "ORDER BY day_id, region, customer_name")),
        "");
}

// The customers' level has a row per member, so the facts are grouped by their own customer key
// without joining the customers; an aggregate keeping the customers' names is grouped by those.
// Either way sales of an unknown customer or of none belong to no tuple.
TEST_P(NonEmptyFacts, ALevelWithARowPerMemberIsReadByTheFactsKeysOrTheAggregatesColumns) {
    keysBeforeCells_ = 2;
    const std::string expected =
        Sql(std::string("SELECT customer_name, day_name, iif(sum(amount) IS NULL, '', printf('%g', "
                        "sum(amount))), sum(quantity)") +
            kJoined + " GROUP BY day_id, customer_id ORDER BY region, customer_name, day_id");
    const std::string mdx =
        "SELECT {[Measures].[Amount], [Measures].[Quantity]} ON COLUMNS, NON EMPTY "
        "[Customer].[Name].Members * [Day].[Day].Members ON ROWS FROM [Visits]";
    for (const std::string& schema : {schema_, aggregatedSchema_})
        EXPECT_EQ(Difference(Rows(mdx, schema), expected), "") << schema;
}

TEST_P(NonEmptyFacts, SlicersAndThreeWayCrossjoinsAreAnsweredFromTheFacts) {
    keysBeforeCells_ = 3;
    // 365 x 3000 x 10 tuples: past the cell limit whole, a thousand with facts.
    EXPECT_EQ(Difference(
                  Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, NON EMPTY Crossjoin("
                       "[Day].[Day].Members, [Customer].[Name].Members, [Product].[Cat1].Children) "
                       "ON ROWS FROM [Visits]"),
                  Sql(std::string("SELECT day_name, customer_name, product_name, sum(quantity)") +
                      kJoined +
                      " WHERE category = 'Cat1' GROUP BY day_id, customer_id, product_id "
                      "ORDER BY day_id, region, customer_name, category, product_name")),
              "");
    const std::string whole = ErrorOf(
        "SELECT {[Measures].[Quantity]} ON COLUMNS, Crossjoin([Day].[Day].Members, "
        "[Customer].[Name].Members, [Product].[Product].Members) ON ROWS FROM [Visits]");
    EXPECT_NE(whole.find("would hold more than 5000000 on axis 1 (ROWS)"), std::string::npos)
        << whole;

    // A compound slicer, and a member of a sliced hierarchy's own level on the other axis.
    keysBeforeCells_ = 2;
    EXPECT_EQ(
        Difference(
            Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, NON EMPTY [Day].[Month].Members * "
                 "[Customer].[Name].Members ON ROWS FROM [Visits] WHERE {[Product].[Cat1], "
                 "[Product].[Cat3]}"),
            Sql(std::string("SELECT month, customer_name, sum(quantity)") + kJoined +
                " WHERE category IN ('Cat1', 'Cat3') GROUP BY month, customer_id "
                "ORDER BY month, region, customer_name")),
        "");
}

TEST_P(NonEmptyFacts, ACalculatedMeasureThatHasValuesWithoutFactsKeepsEveryTuple) {
    keysBeforeCells_ = 2;
    // D001..D003 x C0001..C0003: nine tuples, of which few have sales; the constant measure
    // has a value in every one of them.
    const std::string rows = Rows(
        "WITH MEMBER [Measures].[One] AS 1 SELECT {[Measures].[One]} ON COLUMNS, NON EMPTY "
        "{[Day].[1].[D001]:[Day].[1].[D003]} * {[Customer].[R01].[C0001], "
        "[Customer].[R02].[C0002], "
        "[Customer].[R03].[C0003]} ON ROWS FROM [Visits]");
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 9) << rows;
    EXPECT_NE(rows.find("D002/C0003|1\n"), std::string::npos) << rows;
}

TEST_P(NonEmptyFacts, NonEmptyCrossjoinAndExistsAskTheFacts) {
    keysBeforeCells_ = 2;
    EXPECT_EQ(
        // NonEmptyCrossjoin weighs the current measure (Amount, the default), not the axis's.
        Difference(Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, NonEmptyCrossjoin("
                        "[Day].[Day].Members, [Customer].[Name].Members) ON ROWS FROM [Visits] "
                        "WHERE [Product].[Cat2]"),
                   Sql(std::string("SELECT day_name, customer_name, sum(quantity)") + kJoined +
                       " WHERE category = 'Cat2' GROUP BY day_id, customer_id "
                       "HAVING sum(amount) IS NOT NULL "
                       "ORDER BY day_id, region, customer_name")),
        "");

    keysBeforeCells_ = 1;
    EXPECT_EQ(
        Difference(
            Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, Exists([Customer].[Name].Members, "
                 "{[Product].[Cat2].[P02], [Product].[Cat3].[P07]}, \"Visits\") ON ROWS FROM "
                 "[Visits]"),
            Sql(std::string("SELECT customer_name, sum(quantity) FROM customers c JOIN sales s "
                            "USING (customer_id) WHERE customer_id IN (SELECT customer_id "
                            "FROM sales WHERE product_id IN (2, 7)) GROUP BY customer_id "
                            "ORDER BY region, customer_name"))),
        "");
    // Without a cube: members that agree with the second set's members of their hierarchy.
    keysBeforeCells_ = 1;
    const std::string regions = Rows(
        "SELECT {[Measures].[Quantity]} ON COLUMNS, Exists([Customer].[Region].Members, "
        "{[Customer].[R03].[C0003], [Customer].[R05]}) ON ROWS FROM [Visits]");
    EXPECT_EQ(regions.substr(0, 4), "R03|") << regions;
    EXPECT_EQ(std::count(regions.begin(), regions.end(), '\n'), 2) << regions;
    EXPECT_NE(
        ErrorOf("SELECT Exists([Customer].[Region].Members, {[Product].[Cat2].[P02]}, \"Nope\") "
                "ON COLUMNS FROM [Visits]")
            .find("no measures of a cube named 'Nope'"),
        std::string::npos);
}

// Two dimensions over one table of days through two foreign keys (the day sold and the day
// shipped) each join the table on their own key, in cells and in the facts NON EMPTY asks.
TEST_P(NonEmptyFacts, RolePlayingDaysJoinTheirTableOncePerForeignKey) {
    keysBeforeCells_ = 2;
    EXPECT_EQ(Difference(Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, NON EMPTY "
                              "[Day].[Day].Members * [Ship Day].[Day].Members ON ROWS FROM "
                              "[Visits] WHERE [Customer].[R03]"),
                         Sql("SELECT d.day_name, sd.day_name, sum(quantity) FROM sales s JOIN "
                             "days d ON d.day_id = s.day_id JOIN days sd ON sd.day_id = "
                             "s.ship_day_id JOIN customers c USING (customer_id) WHERE region = "
                             "'R03' GROUP BY d.day_id, sd.day_id ORDER BY d.day_id, sd.day_id")),
              "");
    // Every month by every month: the cells' own grouped query, no NON EMPTY.
    EXPECT_EQ(Difference(Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, [Day].[Month].Members "
                              "* [Ship Day].[Month].Members ON ROWS FROM [Visits]"),
                         Sql("SELECT m.month, n.month, coalesce((SELECT sum(quantity) FROM sales "
                             "s JOIN days d ON d.day_id = s.day_id JOIN days sd ON sd.day_id = "
                             "s.ship_day_id WHERE d.month = m.month AND sd.month = n.month), '') "
                             "FROM (SELECT DISTINCT month FROM days) m, (SELECT DISTINCT month "
                             "FROM days) n ORDER BY m.month, n.month")),
              "");
}

// Read in part first, then whole on the same connection: the members already read stay the
// ones the hierarchy has, in the same order, and later queries agree with SQL.
TEST_P(NonEmptyFacts, AHierarchyReadInPartAndThenWholeKeepsItsMembers) {
    const std::shared_ptr<OlapConnection> held = OpenOlapConnection(Connection());
    keysBeforeCells_ = 2;
    const std::string pairs =
        "SELECT {[Measures].[Quantity]} ON COLUMNS, NON EMPTY [Customer].[Name].Members * "
        "[Day].[Day].Members ON ROWS FROM [Visits] WHERE [Product].[Cat";
    const auto expected = [](int category) {
        return Sql(std::string("SELECT customer_name, day_name, sum(quantity)") + kJoined +
                   " WHERE category = 'Cat" + std::to_string(category) +
                   "' GROUP BY customer_id, day_id ORDER BY region, customer_name, day_id");
    };
    EXPECT_EQ(Difference(Rows(pairs + "1]"), expected(1)), "");
    // A region's customers by name, and a customer's neighbours: the whole level, numbered.
    keysBeforeCells_ = 1;
    EXPECT_EQ(Difference(Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, "
                              "{[Customer].[R03].[C0003].Lag(1), [Customer].[R03].[C0003].Lead(2)} "
                              "ON ROWS FROM [Visits]"),
                         Sql("SELECT customer_name, coalesce((SELECT sum(quantity) FROM sales s "
                             "WHERE s.customer_id = c.customer_id), '') FROM customers c WHERE "
                             "customer_name IN ('C2992', 'C0023') ORDER BY customer_name DESC")),
              "");
    EXPECT_EQ(Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, "
                   "Tail([Customer].[R05].Children, 1) ON ROWS FROM [Visits]")
                  .substr(0, 6),
              "C2995|");
    keysBeforeCells_ = 2;
    EXPECT_EQ(Difference(Rows(pairs + "2]"), expected(2)), "");
    // Regions, a level above the lowest: found by their own key rather than the facts' key.
    EXPECT_EQ(Difference(Rows("SELECT {[Measures].[Quantity]} ON COLUMNS, NON EMPTY "
                              "[Customer].[Region].Members * [Day].[Month].Members ON ROWS "
                              "FROM [Visits]"),
                         Sql(std::string("SELECT region, month, sum(quantity)") + kJoined +
                             " GROUP BY region, month ORDER BY region, month")),
              "");
}

// Keys a report's author does not control: names with quotes and brackets, a "primary key" that
// is not one (two rows of one member), keys that no fact names and facts whose key no row has.
// Read in part, such a level gives what reading it whole gives.
TEST(NonEmptyFactsHostileKeys, ALevelReadInPartAgreesWithTheLevelReadWhole) {
    TempDir folder;
    const std::string database = folder.Path() + "hostile.db";
    ASSERT_EQ(ExecuteSqlite(database, R"SQL(
CREATE TABLE people (person_id INTEGER, team TEXT, person TEXT);
INSERT INTO people VALUES (1, 'A', 'O''Brien'), (2, 'A', 'x'') OR 1=1 --'), (3, 'B', '[Dup]'),
  (4, 'B', '[Dup]'), (5, 'B', 'never sold'), (6, NULL, 'no team');
CREATE TABLE sold (person_id INTEGER, day INTEGER, amount REAL);
INSERT INTO sold VALUES (1, 1, 10), (2, 1, 20), (3, 1, 1), (4, 1, 2), (4, 2, 4), (6, 2, 8),
  (99, 1, 1000), (NULL, 2, 2000);
)SQL"),
              "");
    const std::string schema = folder.Write("hostile.xml", R"XML(<?xml version="1.0"?>
<Schema name="Hostile"><Cube name="Sold"><Table name="sold"/>
  <Dimension name="Person" foreignKey="person_id">
    <Hierarchy hasAll="true" primaryKey="person_id"><Table name="people"/>
      <Level name="Team" column="team"/><Level name="Person" column="person"/>
    </Hierarchy>
  </Dimension>
  <Dimension name="Day"><Hierarchy hasAll="true"><Level name="Day" column="day"/></Hierarchy>
  </Dimension>
  <Measure name="Amount" column="amount" aggregator="sum"/>
  <Measure name="Count" column="amount" aggregator="count"/>
</Cube></Schema>)XML");
    const auto rows = [&](const std::string& extra) {
        CADOMDCellSet cells;
        cells.Open(
            "SELECT {[Measures].[Amount], [Measures].[Count]} ON COLUMNS, NON EMPTY "
            "[Person].[Person].Members * [Day].[Day].Members ON ROWS FROM [Sold]",
            "Provider=Orvik.Cube;Data Source=" + database + ";Catalog=" + schema + extra);
        std::string out;
        const auto& positions = cells.Axis(1).Positions;
        for (size_t r = 0; r < positions.size(); ++r)
            out += positions[r].Members[0].UniqueName + "/" + positions[r].Members[1].Caption +
                   "|" + VariantToText(cells.Cell(static_cast<long>(2 * r)).Value) + "|" +
                   VariantToText(cells.Cell(static_cast<long>(2 * r + 1)).Value) + "\n";
        return out;
    };
    const std::string whole = rows(";LargeLevel=0");
    EXPECT_EQ(rows(";LargeLevel=1"), whole);
    // The two rows of [Dup] are one member, its cells summed over both; the unknown and the
    // missing keys belong to no member.
    EXPECT_NE(whole.find("[Person].[B].[[Dup]]]/1|3.00|2\n"), std::string::npos) << whole;
    EXPECT_NE(whole.find("[Person].[A].[O'Brien]/1|10.00|1\n"), std::string::npos) << whole;
    EXPECT_NE(whole.find("[Person].[#null].[no team]/2|8.00|1\n"), std::string::npos) << whole;
    EXPECT_EQ(whole.find("never sold"), std::string::npos) << whole;
    EXPECT_EQ(whole.find("1000"), std::string::npos) << whole;
    EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 5) << whole;
}

INSTANTIATE_TEST_SUITE_P(Hierarchies, NonEmptyFacts, ::testing::Values("", ";LargeLevel=1"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(*info.param ? "ReadInPart" : "ReadWhole");
                         });

}  // namespace
}  // namespace orvik::test
