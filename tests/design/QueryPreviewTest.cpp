// The query editor's Run and completion, against real SQLite files and the small test cube.
#include "design/QueryPreview.h"

#include "design/DesignerFixture.h"

namespace orvik::design {
namespace {

using QueryPreviewTest = test::DesignerFixture;

TEST_F(QueryPreviewTest, TheFirstRowsOfTheQueryAsEditedWithParametersSubstituted) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region from sales");
    test::AddParameter(Report(), "Least", "0");
    const QueryPreview preview = PreviewQuery(
        Ctx(), sales,
        "select region, amount from sales where amount > `Least order by amount desc", 1);
    ASSERT_EQ(preview.Error, "");
    EXPECT_EQ(preview.Headers, (std::vector<std::string>{"region", "amount"}));
    EXPECT_EQ(preview.TotalRows, 2);
    ASSERT_EQ(preview.Rows.size(), 1u);  // as many as asked for
    EXPECT_EQ(preview.Rows[0], (std::vector<std::string>{"North", "100"}));
    EXPECT_EQ(sales.Qry.Value, "select region from sales");  // the source is left alone
    EXPECT_EQ(sales.Connection, nullptr);

    // Several statements: the last one's rows, as a run keeps them.
    const QueryPreview last =
        PreviewQuery(Ctx(), sales, "select 1; select count(*) as n from sales;");
    ASSERT_EQ(last.Error, "");
    EXPECT_EQ(last.Rows, (std::vector<std::vector<std::string>>{{"3"}}));
}

TEST_F(QueryPreviewTest, AnErrorSaysWhatAndPointsAtItsPlace) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "");
    const std::string text = "select region\nfrom sales\nwhere amount >> 0 orderby region";
    const QueryPreview preview = PreviewQuery(Ctx(), sales, text);
    EXPECT_NE(preview.Error.find("orderby"), std::string::npos) << preview.Error;
    ASSERT_TRUE(preview.ErrorOffset.has_value());
    EXPECT_EQ(text.substr(*preview.ErrorOffset, 7), "orderby");
    EXPECT_TRUE(preview.Rows.empty());

    // The second statement fails: the place is found in the whole text.
    const std::string two = "select 1;\nselect nothing from nowhere";
    const QueryPreview second = PreviewQuery(Ctx(), sales, two);
    EXPECT_NE(second.Error, "");
    EXPECT_EQ(PreviewQuery(Ctx(), sales, "  ;  ").Error, "There is no statement to run.");

    COvInfoDS& broken = AddSource("Broken", "missing-folder/none.db", "");
    EXPECT_NE(PreviewQuery(Ctx(), broken, "select 1").Error, "");

    EXPECT_EQ(ErrorOffsetIn("syntax error at or near \"FORM\" at character 10", "select 1 FORM t"),
              9u);
    EXPECT_EQ(ErrorOffsetIn("Unexpected token at line 2, column 3", "a\nbcdef"), 4u);
    EXPECT_EQ(ErrorOffsetIn("no such table: t", "select * from t"), std::nullopt);
    EXPECT_EQ(ErrorOffsetIn("at character 99", "short"), std::nullopt);
}

TEST_F(QueryPreviewTest, CompletionOffersTheDatabasesTablesAndColumns) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "");
    const std::vector<std::string> names = CompletionNames(Ctx(), sales);
    for (const char* name : {"sales", "targets", "region", "amount", "goal"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    COvInfoDS& broken = AddSource("Broken", "missing-folder/none.db", "");
    EXPECT_TRUE(CompletionNames(Ctx(), broken).empty());
}

}  // namespace
}  // namespace orvik::design
