// The cube schema reader on its own: what an attribute left out means, how shared dimensions are
// resolved into the cubes that use them, and that every schema the engine cannot use is refused
// with the file, the line and what is wrong, while harmless extras become warnings.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "olap/CubeSchema.h"

namespace orvik::cube {
namespace {

// A schema of one cube whose body is `cube`, with a fact table and, unless the body brings its
// own, one measure.
std::string OneCube(const std::string& body, const std::string& outside = "") {
    return "<?xml version=\"1.0\"?>\n<Schema name=\"S\">\n" + outside +
           "<Cube name=\"Sales\">\n<Table name=\"sales\"/>\n" + body + "\n</Cube>\n</Schema>\n";
}

const char* const kStore = R"XML(<Dimension name="Store" foreignKey="store_id">
  <Hierarchy primaryKey="store_id">
    <Table name="store"/>
    <Level name="Country" column="country"/>
  </Hierarchy>
</Dimension>
<Measure name="Amount" column="amount"/>)XML";

// The message the schema text `text` is refused with ("" when it is read).
std::string ErrorOf(const std::string& text) {
    try {
        ParseCubeSchema(text, "shop.xml", "sqlite");
    } catch (const CubeSchemaError& error) {
        return error.what();
    }
    return "";
}

TEST(CubeSchemaReader, AttributesLeftOutTakeTheirDefaults) {
    const SchemaDefinition schema =
        ParseCubeSchema(OneCube(std::string(kStore) +
                                "\n<CalculatedMember name=\"Twice\"><Formula>[Measures].[Amount] * "
                                "2</Formula></CalculatedMember>"),
                        "shop.xml", "sqlite");
    ASSERT_EQ(schema.Cubes.size(), 1u);
    const CubeDefinition& cube = schema.Cubes[0];
    EXPECT_EQ(cube.Caption, "Sales");
    ASSERT_EQ(cube.Dimensions.size(), 1u);
    const DimensionDefinition& store = cube.Dimensions[0];
    EXPECT_EQ(store.Caption, "Store");
    EXPECT_FALSE(store.IsTime);
    ASSERT_EQ(store.Hierarchies.size(), 1u);
    const HierarchyDefinition& hierarchy = store.Hierarchies[0];
    EXPECT_TRUE(hierarchy.HasAll);
    EXPECT_EQ(hierarchy.AllMemberName, "All Stores");
    EXPECT_EQ(hierarchy.Caption, "Store");
    EXPECT_EQ(hierarchy.Name, "");
    ASSERT_EQ(hierarchy.Levels.size(), 1u);
    const LevelDefinition& level = hierarchy.Levels[0];
    EXPECT_EQ(level.Caption, "Country");
    EXPECT_EQ(level.Type, "String");
    EXPECT_FALSE(level.UniqueMembers);
    EXPECT_EQ(level.LevelType, "Regular");
    EXPECT_EQ(level.Line, 8);
    ASSERT_EQ(cube.Measures.size(), 1u);
    const MeasureDefinition& measure = cube.Measures[0];
    EXPECT_EQ(measure.Aggregator, "sum");
    EXPECT_EQ(measure.Caption, "Amount");
    EXPECT_TRUE(measure.Visible);
    EXPECT_EQ(measure.Cube, "Sales");
    ASSERT_EQ(cube.CalculatedMembers.size(), 1u);
    const CalculatedMemberDefinition& twice = cube.CalculatedMembers[0];
    EXPECT_EQ(twice.Dimension, "Measures");
    EXPECT_EQ(twice.Formula, "[Measures].[Amount] * 2");
    EXPECT_EQ(twice.SolveOrder, 0);
    EXPECT_EQ(twice.MemberOrdinal, -1);
    EXPECT_TRUE(schema.Warnings.empty());
}

TEST(CubeSchemaReader, TruthValuesAreReadInEveryCaseAndOtherWordsAreRefused) {
    for (const auto& [written, expected] : {std::pair{"false", false},
                                            {"FALSE", false},
                                            {"0", false},
                                            {"true", true},
                                            {"True", true},
                                            {"1", true}}) {
        std::string text = OneCube(kStore);
        text.replace(text.find("<Hierarchy "), 11,
                     std::string("<Hierarchy hasAll=\"") + written + "\" ");
        EXPECT_EQ(ParseCubeSchema(text, "shop.xml", "sqlite")
                      .Cubes[0]
                      .Dimensions[0]
                      .Hierarchies[0]
                      .HasAll,
                  expected)
            << written;
    }
    std::string text = OneCube(kStore);
    text.replace(text.find("<Hierarchy "), 11, "<Hierarchy hasAll=\"yes\" ");
    EXPECT_EQ(ErrorOf(text),
              "Cube schema shop.xml line 6: the attribute hasAll=\"yes\" must be true or false");
    EXPECT_EQ(ErrorOf(OneCube(std::string(kStore) +
                              "<CalculatedMember name=\"X\" formula=\"1\">"
                              "<CalculatedMemberProperty name=\"SOLVE_ORDER\" value=\"high\"/>"
                              "</CalculatedMember>")),
              "Cube schema shop.xml line 11: the property SOLVE_ORDER must be a whole number, "
              "not 'high'");
}

TEST(CubeSchemaReader, SharedDimensionsAreResolvedIntoTheCubesThatUseThem) {
    const std::string shared = R"XML(<Dimension name="Region">
  <Hierarchy hasAll="false" allMemberName="Everywhere" primaryKey="id">
    <Table name="region"/>
    <Level name="Name" column="name" uniqueMembers="true"/>
  </Hierarchy>
</Dimension>
)XML";
    const SchemaDefinition schema = ParseCubeSchema(
        OneCube("<DimensionUsage name=\"Where\" source=\"Region\" foreignKey=\"region_id\"/>\n"
                "<Measure name=\"Count\" aggregator=\"count\"/>\n"
                "<Measure name=\"Buyers\" column=\"customer\" aggregator=\"distinct count\"/>",
                shared),
        "shop.xml", "sqlite");
    const DimensionDefinition& where = schema.Cubes[0].Dimensions.at(0);
    EXPECT_EQ(where.Name, "Where");
    EXPECT_EQ(where.Caption, "Where");
    EXPECT_EQ(where.ForeignKey, "region_id");
    EXPECT_FALSE(where.Hierarchies.at(0).HasAll);
    EXPECT_EQ(where.Hierarchies[0].AllMemberName, "Everywhere");
    EXPECT_TRUE(where.Hierarchies[0].Levels.at(0).UniqueMembers);
    EXPECT_EQ(schema.Cubes[0].Measures.at(1).Aggregator, "distinct-count");
}

TEST(CubeSchemaReader, SqlIsTakenInTheConnectionsDialectFirst) {
    const std::string level = R"XML(<Dimension name="D" foreignKey="d">
  <Hierarchy><Table name="d"/>
    <Level name="L"><KeyExpression>
      <SQL dialect="postgres">pg(x)</SQL><SQL dialect="sqlite">lite(x)</SQL><SQL>plain(x)</SQL>
    </KeyExpression></Level>
  </Hierarchy>
</Dimension>
<Measure name="M" column="m"/>)XML";
    EXPECT_EQ(ParseCubeSchema(OneCube(level), "s", "sqlite")
                  .Cubes[0]
                  .Dimensions[0]
                  .Hierarchies[0]
                  .Levels[0]
                  .Key.Sql,
              "lite(x)");
    EXPECT_EQ(ParseCubeSchema(OneCube(level), "s", "mysql")
                  .Cubes[0]
                  .Dimensions[0]
                  .Hierarchies[0]
                  .Levels[0]
                  .Key.Sql,
              "plain(x)");
}

TEST(CubeSchemaReader, WhatTheEngineCannotUseIsRefusedWithTheLine) {
    const std::string level = "<Level name=\"L\" column=\"c\"/>";
    auto dimension = [&](const std::string& hierarchy) {
        return "<Dimension name=\"D\" foreignKey=\"d\">\n" + hierarchy + "\n</Dimension>\n" +
               "<Measure name=\"M\" column=\"m\"/>";
    };
    const struct {
        std::string text, error;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<Cubes/>", "line 2: the root element must be <Schema>"},
        {"<?xml version=\"1.0\"?>\n<Schema>\n</Schema>", "line 2: the schema defines no cube"},
        {"<?xml version=\"1.0\"?>\n<Schema>\n<Cube name=\"C\">\n", "line "},
        {"<?xml version=\"1.0\"?>\n<Schema>\n<Cube>\n<Table name=\"t\"/>\n</Cube>\n</Schema>",
         "line 3: <Cube> needs a name"},
        {OneCube(""), "line 3: the cube 'Sales' has no measure"},
        {OneCube("<Measure name=\"M\"/>"), "line 5: the measure 'M' needs a column"},
        {OneCube("<Measure name=\"M\" column=\"m\" aggregator=\"median\"/>"),
         "line 5: the measure 'M' has the unknown aggregator 'median'"},
        {OneCube(dimension("<Hierarchy><Table name=\"d\"/></Hierarchy>")),
         "line 6: the hierarchy of 'D' has no level"},
        {OneCube("<Dimension name=\"D\" foreignKey=\"d\"/><Measure name=\"M\" column=\"m\"/>"),
         "line 5: the dimension 'D' has no hierarchy"},
        {OneCube(dimension("<Hierarchy><Table name=\"d\"/><Level name=\"L\"/></Hierarchy>")),
         "line 6: the level 'L' needs a column"},
        {OneCube(dimension("<Hierarchy><Join leftKey=\"a\" rightKey=\"b\"><Table "
                           "name=\"d\"/></Join>" +
                           level + "</Hierarchy>")),
         "line 6: <Join> needs exactly two tables or joins"},
        {OneCube(dimension("<Hierarchy><Table/>" + level + "</Hierarchy>")),
         "line 6: <Table> needs a name"},
        {OneCube(dimension("<Hierarchy><View alias=\"v\"/>" + level + "</Hierarchy>")),
         "line 6: <View> is not supported"},
        {OneCube("<DimensionUsage name=\"W\" source=\"Nowhere\"/><Measure name=\"M\" "
                 "column=\"m\"/>"),
         "line 5: the cube 'Sales' uses the dimension 'Nowhere', which the schema does not "
         "define"},
        {OneCube("<Dimension name=\"D\"><Hierarchy><Table name=\"d\"/>" + level +
                 "</Hierarchy></Dimension><Measure name=\"M\" column=\"m\"/>"),
         "line 3: the dimension 'D' of the cube 'Sales' needs a foreignKey"},
        {OneCube("<Measure name=\"M\" column=\"m\"/><NamedSet name=\"N\"/>"),
         "line 5: <NamedSet> needs a name and a formula"},
    };
    for (const auto& c : cases) {
        const std::string error = ErrorOf(c.text);
        EXPECT_EQ(error.rfind("Cube schema shop.xml ", 0), 0u) << c.text << "\n" << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << "\n" << error;
    }
    try {
        ReadCubeSchema("/nonexistent/shop.xml", "sqlite");
        ADD_FAILURE() << "a missing file was read";
    } catch (const CubeSchemaError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cube schema /nonexistent/shop.xml cannot be read: No such file or directory");
    }
}

TEST(CubeSchemaReader, ExtrasAreWarnedAboutAndOutsideTextIsNeverFetched) {
    const test::TempDir folder;
    const std::string secret = folder.Write("secret.txt", "the secret");
    const std::string text =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE Schema [<!ENTITY leak SYSTEM \"file://" + secret +
        "\">]>\n<Schema name=\"S\">\n<Cube name=\"Sales\">\n"
        "<Table name=\"sales\"><Annotations/></Table>\n<Measure name=\"M\" column=\"m\"/>\n"
        "<Gadget/><CalculatedMember name=\"X\"><Formula>1 + &leak;</Formula></CalculatedMember>\n"
        "</Cube>\n</Schema>\n";
    const SchemaDefinition schema = ParseCubeSchema(text, "shop.xml", "sqlite");
    ASSERT_EQ(schema.Cubes.at(0).CalculatedMembers.size(), 1u);
    EXPECT_EQ(schema.Cubes[0].CalculatedMembers[0].Formula.find("secret"), std::string::npos);
    ASSERT_EQ(schema.Warnings.size(), 1u);
    EXPECT_EQ(schema.Warnings[0],
              "Cube schema shop.xml line 7: unknown element <Gadget> is ignored");
    // A disabled cube is left out, and with it the only cube, which is an error.
    std::string disabled = OneCube("<Measure name=\"M\" column=\"m\"/>");
    disabled.replace(disabled.find("<Cube "), 6, "<Cube enabled=\"false\" ");
    EXPECT_NE(ErrorOf(disabled).find("the schema defines no cube"), std::string::npos);
}

}  // namespace
}  // namespace orvik::cube
