// The MDX the query builder makes from a selection. The builder at work on a data source, against
// the cube engine, is in CatalogTreeTest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/QueryBuilder.h"

namespace orvik::test {
namespace {

BuilderNode Node(const std::string& uniqueName, char axis = QueryAxis::None,
                 const std::string& members = "") {
    return BuilderNode{0, axis, uniqueName, members};
}

std::string Mdx(const std::vector<BuilderNode>& nodes) {
    std::vector<const BuilderNode*> selection;
    for (const BuilderNode& node : nodes) selection.push_back(&node);
    return BuildMdxText(selection, "Sales");
}

const std::string kProps = " DIMENSION PROPERTIES MEMBER_NAME, PARENT_UNIQUE_NAME  On ";

TEST(BuildMdx, WorkedExampleGivesItsNineLines) {
    EXPECT_EQ(Mdx({Node("[Measures].[Sales]", 'D'),
                   Node("[Time].[Year]", 'C', "[Time].[Year].&[2004],[Time].[Year].&[2005]"),
                   Node("[Product].[Category]", 'R'),
                   Node("[Customer].[Country]", 'F', "[Customer].[Country].&[France]")}),
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

TEST(BuildMdx, MeasuresTakeTheAxisLeftFreeAndFiltersAloneAreNoQuery) {
    EXPECT_EQ(Mdx({Node("[Measures].[A]", 'D'), Node("[Measures].[B]", 'D')}),
              "Select \n{[Measures].[A],[Measures].[B]} On Columns\nFrom [Sales]");
    EXPECT_EQ(Mdx({Node("[G].[G]", 'R'), Node("[Measures].[A]", 'D')}),
              "Select \n{[Measures].[A]} On Columns,\nNon Empty  {[G].[G].members}" + kProps +
                  "Rows\nFrom [Sales]");
    EXPECT_EQ(Mdx({Node("[Measures].[A]", 'D'), Node("[G].[G]", 'C')}),
              "Select \n{[Measures].[A]} On Rows,\nNon Empty  {[G].[G].members}" + kProps +
                  "Columns\nFrom [Sales]");
    EXPECT_EQ(Mdx({Node("[Customer].[Country]", 'F', "[Customer].[Country].&[France]")}), "");
}

TEST(BuildMdx, ElementsOnOneAxisAreCrossedLeftToRightAndNumberedAcrossAxes) {
    EXPECT_EQ(Mdx({Node("[A].[B]", 'R'), Node("[C].[D]", 'R')}),
              "Select \nNon Empty Crossjoin( {[A].[B].members}, {[C].[D].members})" + kProps +
                  "Rows\nFrom [Sales]");
    // A filter without members adds nothing and takes no number.
    EXPECT_EQ(Mdx({Node("[A].[B]", 'C', "[A].[x]"), Node("[S].[T]", 'F'), Node("[C].[D]", 'C'),
                   Node("[S].[T]", 'F', "[S].[y]"), Node("[E].[F]", 'C', "[E].[z]")}),
              "with\nSet [Set0] as 'HIERARCHIZE({[A].[x]})'\n"
              "Member [S].[Filter1] as 'Aggregate({[S].[y]})'\n"
              "Set [Set2] as 'HIERARCHIZE({[E].[z]})'\n"
              "Select \nNon Empty Crossjoin(Crossjoin([Set0], {[C].[D].members}),[Set2])" +
                  kProps + "Columns\nFrom [Sales]\nWhere ([S].[Filter1])");
}

TEST(BuildMdx, NamesWithCommasDotsAndQuotesStayWhole) {
    const std::string mdx = Mdx({Node("[Store].[Size, sqft]", 'R'), Node("[C].[D]", 'R'),
                                 Node("[Time.Weekly].[Week]", 'F', "[Time.Weekly].[1997].[1]"),
                                 Node("[Store].[Name]", 'C', "[Store].[Mom's Place]")});
    EXPECT_NE(mdx.find("Crossjoin( {[Store].[Size, sqft].members}, {[C].[D].members})"),
              std::string::npos);
    EXPECT_NE(mdx.find("Member [Time.Weekly].[Filter0] as"), std::string::npos);
    EXPECT_NE(mdx.find("'HIERARCHIZE({[Store].[Mom''s Place]})'"), std::string::npos);
}

}  // namespace
}  // namespace orvik::test
