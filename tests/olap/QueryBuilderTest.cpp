// The MDX the query builder makes from a selection, and how the selection lives in the data
// source's axis properties: toggling, restoring, the query text and the dumps in the work folder.
// These need no catalog; the builder against the cube engine is in CatalogTreeTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "model/Registries.h"
#include "olap/QueryBuilder.h"

namespace orvik::test {
namespace {

BuilderNode Node(int id, const std::string& uniqueName, char axis = QueryAxis::None,
                 const std::string& members = "") {
    BuilderNode node;
    node.Id = id;
    node.UniqueName = uniqueName;
    node.Axis = axis;
    node.MemberList = members;
    return node;
}

std::string Mdx(const std::vector<BuilderNode>& nodes, const std::string& cube = "Sales") {
    std::vector<const BuilderNode*> selection;
    for (const BuilderNode& node : nodes) selection.push_back(&node);
    return BuildMdxText(selection, cube);
}

const std::string kProps = " DIMENSION PROPERTIES MEMBER_NAME, PARENT_UNIQUE_NAME ";

TEST(BuildMdx, WorkedExampleGivesItsNineLines) {
    const std::string mdx =
        Mdx({Node(1, "[Measures].[Sales]", 'D'),
             Node(2, "[Time].[Year]", 'C', "[Time].[Year].&[2004],[Time].[Year].&[2005]"),
             Node(3, "[Product].[Category]", 'R'),
             Node(4, "[Customer].[Country]", 'F', "[Customer].[Country].&[France]")});
    EXPECT_EQ(mdx,
              "with\n"
              "Set [Set0] as 'HIERARCHIZE({[Time].[Year].&[2004],[Time].[Year].&[2005]})'\n"
              "Member [Customer].[Filter1] as 'Aggregate({[Customer].[Country].&[France]})'\n"
              "Select \n"
              "{[Measures].[Sales]} On Pages,\n"
              "Non Empty [Set0] DIMENSION PROPERTIES MEMBER_NAME, PARENT_UNIQUE_NAME  On Columns,\n"
              "Non Empty  {[Product].[Category].members} DIMENSION PROPERTIES MEMBER_NAME, "
              "PARENT_UNIQUE_NAME  On Rows\n"
              "From [Sales]\n"
              "Where ([Customer].[Filter1])");
}

TEST(BuildMdx, MeasuresTakeTheAxisLeftFree) {
    EXPECT_EQ(Mdx({Node(1, "[Measures].[A]", 'D'), Node(2, "[Measures].[B]", 'D')}),
              "Select \n{[Measures].[A],[Measures].[B]} On Columns\nFrom [Sales]");
    EXPECT_EQ(Mdx({Node(1, "[Gender].[Gender]", 'R'), Node(2, "[Measures].[A]", 'D')}),
              "Select \n{[Measures].[A]} On Columns,\nNon Empty  {[Gender].[Gender].members}" +
                  kProps + " On Rows\nFrom [Sales]");
    EXPECT_EQ(Mdx({Node(1, "[Measures].[A]", 'D'), Node(2, "[Gender].[Gender]", 'C')}),
              "Select \n{[Measures].[A]} On Rows,\nNon Empty  {[Gender].[Gender].members}" +
                  kProps + " On Columns\nFrom [Sales]");
    // Rows or columns alone are a query too.
    EXPECT_EQ(
        Mdx({Node(1, "[Gender].[Gender]", 'R')}),
        "Select \nNon Empty  {[Gender].[Gender].members}" + kProps + " On Rows\nFrom [Sales]");
}

TEST(BuildMdx, NothingToShowIsNoQuery) {
    EXPECT_EQ(Mdx({}), "");
    EXPECT_EQ(Mdx({Node(1, "[Customer].[Country]", 'F', "[Customer].[Country].&[France]")}), "");
}

TEST(BuildMdx, ElementsOnOneAxisAreCrossedLeftToRight) {
    EXPECT_EQ(Mdx({Node(1, "[A].[B]", 'R'), Node(2, "[C].[D]", 'R')}),
              "Select \nNon Empty Crossjoin( {[A].[B].members}, {[C].[D].members})" + kProps +
                  " On Rows\nFrom [Sales]");
    EXPECT_EQ(Mdx({Node(1, "[A].[B]", 'C', "[A].[B].[x]"), Node(2, "[C].[D]", 'C'),
                   Node(3, "[E].[F]", 'C', "[E].[F].[y]")}),
              "with\nSet [Set0] as 'HIERARCHIZE({[A].[B].[x]})'\n"
              "Set [Set1] as 'HIERARCHIZE({[E].[F].[y]})'\n"
              "Select \nNon Empty Crossjoin(Crossjoin([Set0], {[C].[D].members}),[Set1])" +
                  kProps + " On Columns\nFrom [Sales]");
    // A comma inside a name does not cut the element in two.
    EXPECT_EQ(Mdx({Node(1, "[Store].[Size, sqft]", 'R'), Node(2, "[C].[D]", 'R')}),
              "Select \nNon Empty Crossjoin( {[Store].[Size, sqft].members}, {[C].[D].members})" +
                  kProps + " On Rows\nFrom [Sales]");
}

TEST(BuildMdx, SetsAndFilterMembersShareOneCounter) {
    const std::string mdx = Mdx({Node(1, "[Store].[Country]", 'F'),  // no members: no number
                                 Node(2, "[Time].[Year]", 'R', "[Time].[1997]"),
                                 Node(3, "[Store].[Country]", 'F', "[Store].[USA]"),
                                 Node(4, "[Gender].[Gender]", 'C', "[Gender].[F]"),
                                 Node(5, "[Promotion].[Media]", 'F', "[Promotion].[TV]")});
    EXPECT_NE(mdx.find("\nSet [Set0] as 'HIERARCHIZE({[Time].[1997]})'"), std::string::npos);
    EXPECT_NE(mdx.find("\nMember [Store].[Filter1] as 'Aggregate({[Store].[USA]})'"),
              std::string::npos);
    EXPECT_NE(mdx.find("\nSet [Set2] as 'HIERARCHIZE({[Gender].[F]})'"), std::string::npos);
    EXPECT_NE(mdx.find("\nMember [Promotion].[Filter3]"), std::string::npos);
    EXPECT_EQ(mdx.substr(mdx.rfind('\n')), "\nWhere ([Store].[Filter1],[Promotion].[Filter3])");
}

TEST(BuildMdx, SeveralMeasuresBesideRowsAndColumnsAreCrossedOntoTheColumns) {
    const std::string mdx = Mdx({Node(1, "[Measures].[A]", 'D'), Node(2, "[Gender].[Gender]", 'C'),
                                 Node(3, "[Measures].[B]", 'D'), Node(4, "[Time].[Year]", 'R')});
    EXPECT_EQ(mdx,
              "Select \nNon Empty Crossjoin( {[Gender].[Gender].members}, "
              "{[Measures].[A],[Measures].[B]})" +
                  kProps + " On Columns,\nNon Empty  {[Time].[Year].members}" + kProps +
                  " On Rows\nFrom [Sales]");
}

TEST(BuildMdx, NamesWithDotsAndQuotesStayWhole) {
    // The filter member belongs to the element's hierarchy, even when its name holds a dot.
    const std::string mdx = Mdx({Node(1, "[Time.Weekly].[Week]", 'F', "[Time.Weekly].[1997].[1]"),
                                 Node(2, "[Store].[Store Name]", 'R', "[Store].[Mom's Place]")});
    EXPECT_NE(mdx.find("Member [Time.Weekly].[Filter0] as"), std::string::npos);
    // A quote in a member's name is doubled inside the quoted expression.
    EXPECT_NE(mdx.find("'HIERARCHIZE({[Store].[Mom''s Place]})'"), std::string::npos);
}

// An OLAP data source of a fresh program, with what the "OLAP" type brings.
class QueryBuilderTest : public ::testing::Test {
  protected:
    QueryBuilderTest() {
        source_ = program_.Context().Report().NewDataSource("Cube");
        source_->tpDS.Value = "OLAP";
        Registries().ReplaceAppended(source_->tpDS, source_->Props);
        source_->GetPropByName("nCube")->Value = "Sales";
        builder_ = std::make_unique<QueryBuilder>(*source_);
        builder_->SetCubeName("Sales");
        builder_->SetMemberLookup([this](const BuilderNode& node) {
            ++lookups_;
            std::vector<CellSetMember> members;
            for (const char* name : {"A", "B", "A"}) {
                CellSetMember member;
                member.UniqueName = node.UniqueName + ".[" + name + "]";
                member.Caption = name;
                members.push_back(member);
            }
            return members;
        });
    }

    CRegistries& Registries() { return program_.Context().Registries(); }

    std::vector<std::string> AxisKeys() const {
        std::vector<std::string> keys;
        for (const COvInfoProp* prop : source_->Props)
            if (prop->Name.compare(0, 3, "MDX") == 0)
                keys.push_back(prop->Name + "=" + prop->Value);
        return keys;
    }

    std::vector<std::string> ListNames(unsigned list) {
        std::vector<std::string> names;
        for (const auto& entry : Registries().ComboValues)
            if (entry->Id == static_cast<int>(list)) names.push_back(entry->Name);
        return names;
    }

    // An axis property as a report file brings it.
    void AddStored(const std::string& key, const std::string& value,
                   const std::string& members = "") {
        auto prop = std::make_unique<COvInfoProp>(
            &source_->tpDS, GroupId::DataSource, key, "", members, 0,
            key == "MDXD" ? PropKind::Text : PropKind::Custom, 0, nullptr, 1, -1);
        prop->Value = value;
        source_->Props.push_back(prop.get());
        Registries().AppendedProperties.push_back(std::move(prop));
    }

    std::string WorkFile(const std::string& name) {
        return ReadFileBytes(Registries().HtmlFolder + name);
    }

    TestProgram program_;
    COvInfoDS* source_ = nullptr;
    std::unique_ptr<QueryBuilder> builder_;
    int lookups_ = 0;
};

TEST_F(QueryBuilderTest, AddingPutsAPropertyOnTheSourceAndAddingAgainTakesItOff) {
    BuilderNode sales = Node(7, "[Measures].[Unit Sales]");
    BuilderNode gender = Node(9, "[Gender].[Gender]");

    builder_->AddToAxis(sales, QueryAxis::Data);
    builder_->AddToAxis(gender, QueryAxis::Rows);
    EXPECT_EQ(AxisKeys(),
              (std::vector<std::string>{"MDXD=[Measures].[Unit Sales]", "MDXR=[Gender].[Gender]"}));
    EXPECT_TRUE(program_.Context().Report().Modified);

    const COvInfoProp* data = builder_->PropertyOf(sales);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->IsReadOnly());
    EXPECT_EQ(data->ComboId, 0u);
    const COvInfoProp* rows = builder_->PropertyOf(gender);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->Kind, PropKind::Custom);
    EXPECT_FALSE(rows->IsReadOnly());
    EXPECT_EQ(rows->SelectedCombo, &gender);
    const unsigned list = rows->ComboId;
    EXPECT_GT(list, 0u);
    EXPECT_EQ(ListNames(list),
              (std::vector<std::string>{"[Gender].[Gender].[A]", "[Gender].[Gender].[B]"}));
    EXPECT_EQ(lookups_, 1);  // data asks for no members

    // The same entry again toggles the element off, its list with it.
    builder_->AddToAxis(gender, QueryAxis::Rows);
    EXPECT_EQ(AxisKeys(), (std::vector<std::string>{"MDXD=[Measures].[Unit Sales]"}));
    EXPECT_EQ(gender.Axis, QueryAxis::None);
    EXPECT_TRUE(ListNames(list).empty());
    EXPECT_EQ(builder_->Selection(), (std::vector<BuilderNode*>{&sales}));

    // Another axis moves it: off the old one, onto the new one at the end of the selection.
    builder_->AddToAxis(gender, QueryAxis::Columns);
    builder_->AddToAxis(gender, QueryAxis::Filter);
    EXPECT_EQ(AxisKeys(),
              (std::vector<std::string>{"MDXD=[Measures].[Unit Sales]", "MDXF=[Gender].[Gender]"}));
    EXPECT_EQ(gender.Axis, QueryAxis::Filter);
    EXPECT_EQ(builder_->Selection().size(), 2u);
}

TEST_F(QueryBuilderTest, MembersChosenForAnElementGoIntoItsPropertyAndTheFilterDump) {
    BuilderNode year = Node(3, "[Time].[Year]");
    EXPECT_FALSE(builder_->SetMemberList(year, "[Time].[1997]"));  // on no axis yet
    builder_->AddToAxis(year, QueryAxis::Columns);
    ASSERT_TRUE(builder_->SetMemberList(year, "[Time].[1997],[Time].[1998]"));
    EXPECT_EQ(builder_->PropertyOf(year)->DefaultValue, "[Time].[1997],[Time].[1998]");
    EXPECT_EQ(WorkFile("LastFilter.txt"),
              "0x00000003   [Time].[Year]\t\t[Time].[1997],[Time].[1998]\r\n"
              "\r\nFilter = [Time].[1997],[Time].[1998]");
    EXPECT_NE(builder_->BuildMDX().find("HIERARCHIZE({[Time].[1997],[Time].[1998]})"),
              std::string::npos);
}

TEST_F(QueryBuilderTest, SelectionComesBackFromTheStoredProperties) {
    AddStored("MDXC", "[Time].[Year]", "[Time].[1997]");
    AddStored("MDXR", "[Gone].[Level]");
    AddStored("MDXD", "[Measures].[Unit Sales]");
    AddStored("MDXR", "[Time].[Year]");  // the same element twice: the first place wins
    AddStored("MDXQ", "[Gender].[Gender]");
    std::vector<BuilderNode> catalog = {Node(1, "[Measures].[Unit Sales]"),
                                        Node(2, "[Time].[Year]"), Node(3, "[Gender].[Gender]")};
    const auto find = [&catalog](const std::string& name, char) -> BuilderNode* {
        for (BuilderNode& node : catalog)
            if (node.UniqueName == name) return &node;
        return nullptr;
    };
    EXPECT_EQ(builder_->RestoreSelection(find), 2);
    EXPECT_EQ(builder_->Selection(), (std::vector<BuilderNode*>{&catalog[1], &catalog[0]}));
    EXPECT_EQ(catalog[1].Axis, QueryAxis::Columns);
    EXPECT_EQ(catalog[1].MemberList, "[Time].[1997]");
    EXPECT_EQ(catalog[2].Axis, QueryAxis::None);
    // The element the catalog lost keeps its property; the restored ones get their member list.
    EXPECT_EQ(AxisKeys().size(), 5u);
    const COvInfoProp* columns = builder_->PropertyOf(catalog[1]);
    ASSERT_NE(columns, nullptr);
    EXPECT_EQ(ListNames(columns->ComboId).size(), 2u);
    EXPECT_EQ(source_->GetPropByName("MDXR")->SelectedCombo, nullptr);

    // Restoring again (a rebuilt tree) gives the same selection, without new lists.
    const unsigned list = columns->ComboId;
    EXPECT_EQ(builder_->RestoreSelection(find), 2);
    EXPECT_EQ(builder_->PropertyOf(catalog[1])->ComboId, list);
    EXPECT_EQ(lookups_, 1);

    // Taking the restored element off removes the stored property.
    builder_->AddToAxis(catalog[1], QueryAxis::Columns);
    EXPECT_EQ(AxisKeys(),
              (std::vector<std::string>{"MDXR=[Gone].[Level]", "MDXD=[Measures].[Unit Sales]",
                                        "MDXR=[Time].[Year]", "MDXQ=[Gender].[Gender]"}));
}

TEST_F(QueryBuilderTest, TheBuilderWritesTheQueryOnlyWhenTheSourceUsesIt) {
    BuilderNode sales = Node(1, "[Measures].[Unit Sales]");
    builder_->AddToAxis(sales, QueryAxis::Data);
    source_->Qry.Value = "typed by hand";
    source_->GetPropByName("bQ")->Value = "1";
    EXPECT_EQ(builder_->QueryText(), "typed by hand");

    source_->GetPropByName("bQ")->Value = "0";
    const std::string expected = "Select \n{[Measures].[Unit Sales]} On Columns\nFrom [Sales]";
    EXPECT_EQ(builder_->QueryText(), expected);
    EXPECT_EQ(source_->Qry.Value, expected);
    EXPECT_EQ(WorkFile("LastMDX.txt"), expected);

    // An empty selection empties the query and the file.
    builder_->AddToAxis(sales, QueryAxis::Data);
    EXPECT_EQ(builder_->QueryText(), "");
    EXPECT_EQ(WorkFile("LastMDX.txt"), "");
    EXPECT_TRUE(program_.Front().Messages.empty());
}

}  // namespace
}  // namespace orvik::test
