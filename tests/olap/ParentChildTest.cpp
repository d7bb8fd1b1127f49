// Parent-child hierarchies over an organisation chart the test writes itself: a chief, three
// vice presidents, two directors under each, three managers under each director and two staff
// under each manager (five levels, people 1 to 64), plus a contractor with no boss. The closure
// table is computed here by a recursive query, and every rolled-up number is checked against SQL
// over it, for a cube that uses the closure table and one that does not. Hostile charts (a loop,
// an orphan, text keys with quotes, a chain too deep) sit in the same file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include "FoodMart.h"
#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"

namespace orvik {
namespace {

std::string ChartData() {
    std::string sql =
        "CREATE TABLE employee (emp_id INTEGER, name TEXT, boss_id INTEGER);"
        "INSERT INTO employee VALUES (1, 'Emp 1', 0), (65, 'Emp 65', NULL);";
    int next = 2;
    std::vector<int> above{1};
    for (int fanOut : {3, 2, 3, 2}) {
        std::vector<int> level;
        for (int boss : above)
            for (int i = 0; i < fanOut; ++i, ++next) {
                const std::string name =
                    next == 3 ? "O''Brien [VP]" : "Emp " + std::to_string(next);
                sql += "INSERT INTO employee VALUES (" + std::to_string(next) + ", '" + name +
                       "', " + std::to_string(boss) + ");";
                level.push_back(next);
            }
        above = level;
    }
    return sql + R"SQL(
CREATE TABLE emp_closure AS WITH RECURSIVE c(supervisor_id, employee_id, distance) AS (
  SELECT emp_id, emp_id, 0 FROM employee
  UNION ALL SELECT e.boss_id, c.employee_id, c.distance + 1 FROM c
  JOIN employee e ON e.emp_id = c.supervisor_id WHERE e.boss_id <> 0)
SELECT * FROM c;
CREATE TABLE pay (emp_id INTEGER, year INTEGER, amount REAL);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 65)
INSERT INTO pay SELECT i, 2023, i * 1.25 FROM n WHERE i % 5 <> 0
  UNION ALL SELECT i, 2024, 7 + i FROM n WHERE i % 3 = 0;
CREATE TABLE loop_emp (emp_id INTEGER, name TEXT, boss_id INTEGER);
INSERT INTO loop_emp VALUES (1, 'a', 0), (2, 'b', 1), (3, 'c', 5), (4, 'd', 3), (5, 'e', 4),
  (8, 'f', 4);
CREATE TABLE odd_emp (code TEXT, boss TEXT);
INSERT INTO odd_emp VALUES ('r', NULL), ('x''y]', 'r'), ('o', 'missing'), ('s', 's');
CREATE TABLE odd_pay (code TEXT, amount REAL);
INSERT INTO odd_pay VALUES ('r', 1), ('x''y]', 10), ('o', 100), ('s', 1000);
CREATE TABLE deep_emp (emp_id INTEGER, boss_id INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
INSERT INTO deep_emp SELECT i, i - 1 FROM n;
)SQL";
}

std::string EmployeeCube(const std::string& cube, const std::string& table,
                         const std::string& closure) {
    return "<Cube name=\"" + cube + R"(">
    <Table name="pay"/>
    <Dimension name="Employees" foreignKey="emp_id">
      <Hierarchy hasAll="true" allMemberName="All Employees" primaryKey="emp_id">
        <Table name=")" +
           table +
           R"("/>
        <Level name="Employee" column="emp_id" nameColumn="name" type="Numeric"
               uniqueMembers="true" parentColumn="boss_id" nullParentValue="0">)" +
           closure + R"(</Level>
      </Hierarchy>
    </Dimension>
    <Dimension name="Year">
      <Hierarchy hasAll="true"><Level name="Year" column="year" uniqueMembers="true"/></Hierarchy>
    </Dimension>
    <Measure name="Amount" column="amount" aggregator="sum"/>
    <Measure name="Rows" aggregator="count"/>
    <Measure name="People" column="emp_id" aggregator="distinct-count"/>
  </Cube>)";
}

std::string ChartSchema() {
    const std::string closure = R"(<Closure parentColumn="supervisor_id" childColumn="employee_id">
          <Table name="emp_closure"/></Closure>)";
    return "<Schema name=\"Org\">" + EmployeeCube("Chart", "employee", closure) +
           EmployeeCube("Flat", "employee", "") + EmployeeCube("Loop", "loop_emp", "") + R"(
  <Cube name="Odd"><Table name="odd_pay"/>
    <Dimension name="Codes" foreignKey="code"><Hierarchy hasAll="true" primaryKey="code">
      <Table name="odd_emp"/><Level name="Code" column="code" parentColumn="boss"/>
    </Hierarchy></Dimension>
    <Measure name="Amount" column="amount" aggregator="sum"/>
  </Cube>
  <Cube name="Deep"><Table name="pay"/>
    <Dimension name="Chain" foreignKey="emp_id"><Hierarchy hasAll="true" primaryKey="emp_id">
      <Table name="deep_emp"/><Level name="Link" column="emp_id" parentColumn="boss_id"
        nullParentValue="0"/>
    </Hierarchy></Dimension>
    <Measure name="Amount" column="amount" aggregator="sum"/>
  </Cube>
</Schema>)";
}

class ParentChildTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<test::TempDir>();
        database_ = folder_->Path() + "org.db";
        ASSERT_EQ(test::ExecuteSqlite(database_, ChartData()), "");
        schema_ = folder_->Write("org.xml", ChartSchema());
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::string Connection(const std::string& schema = schema_) {
        return "Provider=Orvik.Cube;Data Source=" + database_ + ";Catalog=" + schema;
    }
    static std::string ErrorOf(const std::string& mdx, const std::string& schema = schema_) {
        CADOMDCellSet cells;
        try {
            cells.Open(mdx, Connection(schema));
        } catch (const CADOException& error) {
            return error.what();
        }
        return "";
    }
    void Run(const std::string& mdx) {
        try {
            cells_.Open(mdx, Connection());
        } catch (const CADOException& error) {
            ADD_FAILURE() << mdx << "\n" << error.what();
            cells_.Close();
        }
    }
    // The captions of the members of `set` put on columns of `cube`.
    std::string Set(const std::string& set, const std::string& cube = "Chart") {
        Run("SELECT " + set + " ON COLUMNS FROM [" + cube + "]");
        if (!cells_.IsOpen()) return "<failed>";
        std::string out;
        for (const CellSetPosition& position : cells_.Axis(0).Positions)
            out += (out.empty() ? "" : ", ") + position.Members[0].Caption;
        return out;
    }
    const CellSetMember& Column(size_t index) { return cells_.Axis(0).Positions[index].Members[0]; }

    // The rolled-up `aggregate` of everyone under `caption` (themselves included), from SQL.
    static double Oracle(const std::string& aggregate, const std::string& caption,
                         const std::string& where = "1=1") {
        const std::string id = caption == "O'Brien [VP]" ? "3" : caption.substr(4);
        return test::SqliteNumber(database_, "SELECT " + aggregate +
                                                 " FROM pay JOIN emp_closure c ON c.employee_id "
                                                 "= pay.emp_id WHERE c.supervisor_id = " +
                                                 id + " AND " + where);
    }

    static inline std::unique_ptr<test::TempDir> folder_;
    static inline std::string database_, schema_;
    CADOMDCellSet cells_;
};

const char* const kStaff29 = "[Employees].[Emp 1].[Emp 2].[Emp 5].[Emp 11].[Emp 29]";

TEST_F(ParentChildTest, MembersHangUnderTheirParentsAtAnyDepth) {
    EXPECT_EQ(Set("[Employees].Children"), "Emp 1, Emp 65");
    EXPECT_EQ(Set("[Employees].[Emp 1].Children"), "Emp 2, O'Brien [VP], Emp 4");
    EXPECT_EQ(Set("{[Employees].[Employee].&[29]}"), "Emp 29");
    EXPECT_EQ(Column(0).UniqueName, kStaff29);
    EXPECT_EQ(Column(0).LevelUniqueName, "[Employees].[Employee]");
    EXPECT_EQ(Column(0).LevelNumber, 5);
    EXPECT_EQ(Set("{[Employees].[Emp 1].&[3].&[7]}"), "Emp 7");
    EXPECT_EQ(Column(0).UniqueName, "[Employees].[Emp 1].[O'Brien [VP]]].[Emp 7]");
    EXPECT_EQ(Set(std::string("{") + kStaff29 + ".Parent, " + kStaff29 + ".Parent.Parent}"),
              "Emp 11, Emp 5");
    EXPECT_EQ(Set("{[Employees].[Emp 1].[Emp 2].[Emp 5].FirstChild}"), "Emp 11");
    Run("SELECT [Employees].[Employee].Members ON COLUMNS FROM [Chart]");
    EXPECT_EQ(cells_.Axis(0).Positions.size(), 65u);
}

TEST_F(ParentChildTest, DescendantsAndAncestorsFollowTheTree) {
    Run("SELECT Descendants([Employees].[Emp 1], 4) ON COLUMNS FROM [Chart]");
    EXPECT_EQ(cells_.Axis(0).Positions.size(), 36u);
    EXPECT_EQ(Set("Descendants([Employees].[Emp 1].&[3], 2)"),
              "Emp 17, Emp 18, Emp 19, Emp 20, Emp 21, Emp 22");
    EXPECT_EQ(Set("Descendants([Employees].[Emp 1].&[3], 1, SELF_AND_BEFORE)"),
              "O'Brien [VP], Emp 7, Emp 8");
    const std::string emp5 = "[Employees].[Emp 1].[Emp 2].[Emp 5]";
    // Inside a parent-child level the member is its own descendant at that level.
    EXPECT_EQ(Set("Descendants(" + emp5 + ", [Employees].[Employee])"), "Emp 5");
    EXPECT_EQ(Set("Descendants(" + emp5 + ", [Employees].[Employee], AFTER)"),
              "Emp 11, Emp 29, Emp 30, Emp 12, Emp 31, Emp 32, Emp 13, Emp 33, Emp 34");
    EXPECT_EQ(Set("Descendants([Employees].[All Employees], [Employees].[Employee])"),
              "Emp 1, Emp 65");
    EXPECT_EQ(Set(std::string("{Ancestor(") + kStaff29 + ", 3), Ancestor(" + kStaff29 +
                  ", [Employees].[Employee]), Ancestor(" + kStaff29 + ", [Employees].[(All)])}"),
              "Emp 2, Emp 29, All Employees");
    EXPECT_EQ(Set(std::string("Hierarchize({") + kStaff29 +
                  ", [Employees].[Emp 65], [Employees].[Emp 1], [Employees].[Emp 1].[Emp 2]})"),
              "Emp 1, Emp 2, Emp 29, Emp 65");
}

// Every measure of every member of the first four levels, alone and split by year, against SQL
// over the closure table: with the closure table in the query and without it.
TEST_F(ParentChildTest, MeasuresRollUpOverTheWholeSubtree) {
    for (const std::string cube : {"Chart", "Flat"}) {
        SCOPED_TRACE(cube);
        Run("SELECT {[Measures].[Amount], [Measures].[Rows], [Measures].[People]} * "
            "{[Year].[All Years], [Year].[2024]} ON COLUMNS, "
            "Descendants([Employees].[Emp 1], 3, SELF_AND_BEFORE) ON ROWS FROM [" +
            cube + "]");
        ASSERT_TRUE(cells_.IsOpen());
        const auto& rows = cells_.Axis(1).Positions;
        ASSERT_EQ(rows.size(), 1u + 3 + 6 + 18);
        const char* aggregates[] = {"SUM(amount)", "COUNT(*)", "COUNT(DISTINCT pay.emp_id)"};
        for (size_t r = 0; r < rows.size(); ++r)
            for (size_t m = 0; m < 3; ++m)
                for (size_t y = 0; y < 2; ++y) {
                    const std::string& who = rows[r].Members[0].Caption;
                    const std::string year = y ? "year = 2024" : "1=1";
                    const Variant& value = cells_.Cell(r * 6 + m * 2 + y).Value;
                    if (Oracle("COUNT(*)", who, year) == 0) {
                        EXPECT_TRUE(value.IsEmpty()) << who;
                        continue;
                    }
                    EXPECT_DOUBLE_EQ(value.AsDouble(), Oracle(aggregates[m], who, year))
                        << who << " " << aggregates[m] << " " << year;
                }
    }
}

TEST_F(ParentChildTest, SlicersAndNonEmptySelectTheSubtree) {
    for (const std::string cube : {"Chart", "Flat"}) {
        SCOPED_TRACE(cube);
        Run("SELECT {[Measures].[Amount]} ON COLUMNS FROM [" + cube +
            "] WHERE [Employees].[Emp 1].&[3]");
        EXPECT_DOUBLE_EQ(cells_.Cell(0).Value.AsDouble(), Oracle("SUM(amount)", "Emp 3"));
        Run("SELECT {[Measures].[People]} ON COLUMNS FROM [" + cube +
            "] WHERE {[Employees].[Emp 1].&[3].&[7], [Employees].[Emp 1].[Emp 4]}");
        EXPECT_DOUBLE_EQ(cells_.Cell(0).Value.AsDouble(),
                         Oracle("COUNT(DISTINCT pay.emp_id)", "Emp 7") +
                             Oracle("COUNT(DISTINCT pay.emp_id)", "Emp 4"));
        Run("SELECT NON EMPTY Crossjoin(Descendants([Employees].[Emp 1].&[3], 2), [Year].Children) "
            "ON COLUMNS FROM [" +
            cube + "]");
        EXPECT_EQ(cells_.Axis(0).Positions.size(),
                  test::SqliteNumber(database_,
                                     "SELECT COUNT(*) FROM (SELECT DISTINCT "
                                     "c.supervisor_id, year FROM pay JOIN emp_closure c "
                                     "ON c.employee_id = pay.emp_id WHERE "
                                     "c.supervisor_id BETWEEN 17 AND 22)"));
    }
}

TEST_F(ParentChildTest, HostileChartsFailClearlyOrKeepOrphansAtTheTop) {
    const std::string loop = ErrorOf("SELECT [Employees].Children ON COLUMNS FROM [Loop]");
    EXPECT_NE(loop.find("'Employee' of [Employees] has parent links that run in a loop"),
              std::string::npos)
        << loop;
    EXPECT_TRUE(std::regex_search(loop, std::regex("(3 -> 5 -> 4 -> 3|5 -> 4 -> 3 -> 5|"
                                                   "4 -> 3 -> 5 -> 4)$")))
        << loop;
    EXPECT_EQ(Set("[Year].Children", "Loop"), "2023, 2024");  // the rest of the cube still works
    EXPECT_NE(ErrorOf("SELECT [Chain].Children ON COLUMNS FROM [Deep]").find("deeper than 250"),
              std::string::npos);

    // An orphan and a member that is its own parent stand at the top; text keys are quoted.
    Run("SELECT {[Measures].[Amount]} ON COLUMNS, {[Codes].Children, [Codes].[r].Children} ON "
        "ROWS FROM [Odd]");
    ASSERT_TRUE(cells_.IsOpen());
    std::string rows;
    for (size_t r = 0; r < cells_.Axis(1).Positions.size(); ++r)
        rows += cells_.Axis(1).Positions[r].Members[0].UniqueName + "=" +
                std::to_string(cells_.Cell(r).Value.AsInt64()) + " ";
    EXPECT_EQ(rows, "[Codes].[o]=100 [Codes].[r]=11 [Codes].[s]=1000 [Codes].[r].[x'y]]]=10 ");
}

TEST_F(ParentChildTest, MalformedLevelsAreNamed) {
    const std::string text = ChartSchema();
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        static int count = 0;
        return folder_->Write("bad" + std::to_string(++count) + ".xml", changed);
    };
    const std::string query = "SELECT [Employees].Children ON COLUMNS FROM [Chart]";
    EXPECT_NE(ErrorOf(query, replaced("<Table name=\"emp_closure\"/>", "")).find("needs a <Table"),
              std::string::npos);
    EXPECT_NE(ErrorOf(query, replaced("</Level>\n      </Hierarchy>",
                                      "</Level><Level name=\"Two\" column=\"name\"/></Hierarchy>"))
                  .find("must be the only level"),
              std::string::npos);
    const std::string missing =
        ErrorOf(query, replaced("parentColumn=\"boss_id\"", "parentColumn=\"no_such\""));
    EXPECT_NE(missing.find("The parent-child level 'Employee' of [Employees] cannot be read"),
              std::string::npos)
        << missing;
    EXPECT_NE(missing.find("no_such"), std::string::npos) << missing;
}

// The HR cube's Employees through FoodMart's own closure table: the chief's direct reports, with
// their subtree sums from SQL, and the same cells again from PostgreSQL when a server is there.
TEST(ParentChildFoodMart, EmployeesRollUpThroughTheClosureTable) {
    ORVIK_NEED_FOODMART(false);
    const std::string material = test::OlapMaterialFolder();
    const std::string database = test::FoodMartSqlite(material);
    const std::string mdx =
        "SELECT {[Measures].[Org Salary], [Measures].[Number of Employees]} ON COLUMNS, "
        "[Employees].[Sheri Nowmer].Children ON ROWS FROM [HR] WHERE [Time].[1997]";
    CADOMDCellSet cells;
    cells.Open(mdx, test::FoodMartCubeConnection(material, database, false));
    const auto& rows = cells.Axis(1).Positions;
    ASSERT_GT(rows.size(), 1u);
    EXPECT_EQ(rows[0].Members[0].UniqueName, "[Employees].[Sheri Nowmer].[Derrick Whelply]");
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::string& name = rows[r].Members[0].Caption;
        const std::string subtree =
            " FROM salary s JOIN employee_closure c ON c.employee_id = s.employee_id JOIN "
            "employee e ON e.employee_id = c.supervisor_id JOIN time_by_day t ON t.the_date = "
            "s.pay_date WHERE t.the_year = 1997 AND e.full_name = '" +
            std::regex_replace(name, std::regex("'"), "''") + "'";
        EXPECT_NEAR(cells.Cell(r * 2).Value.AsDouble(),
                    test::SqliteNumber(database, "SELECT SUM(salary_paid)" + subtree), 0.005)
            << name;
        EXPECT_EQ(cells.Cell(r * 2 + 1).Value.AsDouble(),
                  test::SqliteNumber(database, "SELECT COUNT(DISTINCT s.employee_id)" + subtree))
            << name;
    }
    const std::string odbc = test::PostgresTestServer();
    if (odbc.empty()) return;
    CADOMDCellSet postgres;
    postgres.Open(
        mdx, test::FoodMartCubeConnection(material, test::FoodMartPostgres(material, odbc), true));
    ASSERT_EQ(postgres.Axis(1).Positions.size(), rows.size());
    for (size_t c = 0; c < rows.size() * 2; ++c)
        EXPECT_NEAR(postgres.Cell(c).Value.AsDouble(), cells.Cell(c).Value.AsDouble(), 0.005) << c;
}

// Every one of FoodMart's 1155 employees, at every depth of the chart: the cells through the
// closure table and through the subtree keys held in memory must agree, on each database there.
TEST(ParentChildFoodMart, EveryEmployeeAgreesWithAndWithoutTheClosureTable) {
    ORVIK_NEED_FOODMART(false);
    const std::string material = test::OlapMaterialFolder();
    std::ifstream in(material + "/foodmart/FoodMart.xml");
    std::stringstream text;
    text << in.rdbuf();
    const std::string xml = std::regex_replace(
        text.str(), std::regex("<Closure[^>]*>\\s*<Table[^>]*>\\s*</Closure>"), "");
    ASSERT_NE(text.str().find("<Closure"), std::string::npos);
    ASSERT_EQ(xml.find("<Closure"), std::string::npos);
    test::TempDir folder;
    const std::string withoutClosure = folder.Write("no-closure.xml", xml);
    std::vector<std::string> sources{test::FoodMartSqlite(material)};
    if (const std::string odbc = test::PostgresTestServer(); !odbc.empty())
        sources.push_back(test::FoodMartPostgres(material, odbc));
    for (const std::string& source : sources) {
        const std::string closure =
            test::FoodMartCubeConnection(material, source, source != sources.front());
        const std::string flat =
            std::regex_replace(closure, std::regex("Catalog=[^;]*"), "Catalog=" + withoutClosure);
        CADOMDCellSet with, without;
        const std::string mdx =
            "SELECT {[Measures].[Org Salary], [Measures].[Number of Employees]} ON COLUMNS, "
            "[Employees].[Employee Id].Members ON ROWS FROM [HR] WHERE [Time].[1997]";
        with.Open(mdx, closure);
        without.Open(mdx, flat);
        ASSERT_EQ(with.Axis(1).Positions.size(), 1155u);
        ASSERT_EQ(without.Axis(1).Positions.size(), 1155u);
        for (size_t c = 0; c < 1155 * 2; ++c)
            ASSERT_EQ(with.Cell(c).FormattedValue, without.Cell(c).FormattedValue) << c;
    }
}

}  // namespace
}  // namespace orvik
