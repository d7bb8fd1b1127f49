// Formulas in text properties against real sheets over SQLite files: numbers, the text functions
// reading the property bar and the shown sheet's cells, column maxima, and what a broken or
// hostile formula (or a property value holding tildes) does to the text.
#include <gtest/gtest.h>

#include "design/DesignerFixture.h"
#include "params/Formula.h"

namespace orvik {
namespace {

class Formula : public test::DesignerFixture {
  protected:
    Formula() {
        MakeDatabase("values.db",
                     "create table v (label text, amount text);"
                     "insert into v values ('first', '12.7'), ('second', 'x'), ('third', '9');"
                     "create table grouped (label text, amount text);"
                     "insert into grouped values ('a', '1 234.50'), ('b', '-7'), ('c', '999');"
                     "create table empty (label text, amount text);");
        AddSource("Values", "values.db", "select label, amount from v");
        AddSource("Grouped", "values.db", "select label, amount from grouped");
        AddSource("Empty", "values.db", "select label, amount from empty");
        values_ = AddSheet("Values sheet", "Values").OwnedView.get();
        grouped_ = AddSheet("Grouped sheet", "Grouped").OwnedView.get();
        empty_ = AddSheet("Empty sheet", "Empty").OwnedView.get();
    }

    // `value` as a caption (a text property) would show it in `view`.
    std::string Parsed(const std::string& value, CSheetView* view = nullptr,
                       unsigned kind = PropKind::Text) {
        COvInfoProp prop(nullptr, 0, "Caption", "", "", 0, kind);
        prop.Value = value;
        return PGetParsedValue(program.Context(), prop, view);
    }

    CSheetView* values_ = nullptr;
    CSheetView* grouped_ = nullptr;
    CSheetView* empty_ = nullptr;
};

TEST_F(Formula, TextsWithoutFormulasAndOtherKindsStayAsTheyAre) {
    EXPECT_EQ(Parsed("Total: 12"), "Total: 12");
    EXPECT_EQ(Parsed("~1+1~", values_, PropKind::List), "~1+1~");
    EXPECT_EQ(Parsed("~1+1~", values_, PropKind::DialogText), "~1+1~");
    EXPECT_TRUE(Front().Messages.empty());
}

TEST_F(Formula, FormulasBecomeNumbers) {
    EXPECT_EQ(Parsed("Total: ~fFloorDec(37)~"), "Total: 100.000000");
    EXPECT_EQ(Parsed("~1+1~~2*3~"), "2.0000006.000000");
    EXPECT_EQ(Parsed("a~b"), "ab");
    EXPECT_EQ(Parsed("x~1+1~y~z"), "x2.000000yz");
    EXPECT_EQ(Parsed("~fFloorDec(1)~ ~fFloorDec(0.5)~ ~fFloorDec(100)~ ~fFloorDec(-5)~"),
              "1.000000 1.000000 100.000000 1.000000");
    EXPECT_EQ(Parsed("~fFloorDec(100.5)~"), "1000.000000");
    // Past what a 32-bit integer holds the power keeps growing, and infinity ends too.
    EXPECT_EQ(Parsed("~fFloorDec(1000000001)~"), "10000000000.000000");
    EXPECT_EQ(Parsed("~fFloorDec(2*10^12)~"), "10000000000000.000000");
    EXPECT_EQ(Parsed("~fFloorDec(1/0)~"), "inf");
    EXPECT_TRUE(Front().Messages.empty());
}

TEST_F(Formula, GridTextReadsTheViewsSheetWithinItsBounds) {
    EXPECT_EQ(Parsed("[~fGetGridText(1,0)~|~fGetGridText(3,1)~]", values_), "[first|9]");
    EXPECT_EQ(Parsed("~fGetGridText(2.9,0.7)~", values_), "second");
    // Each view reads its own sheet's source.
    EXPECT_EQ(Parsed("~fGetGridText(1,0)~", grouped_), "a");
    for (const char* outside : {"0,0", "4,0", "1,2", "1,-1", "-999,0", "1e12,0", "0/0,0"})
        EXPECT_EQ(Parsed("<~fGetGridText(" + std::string(outside) + ")~>", values_), "<>")
            << outside;
    EXPECT_EQ(Parsed("<~fGetGridText(1,0)~>", empty_), "<>");
    EXPECT_EQ(Parsed("<~fGetGridText(1,0)~>", nullptr), "<>");
}

TEST_F(Formula, ColumnMaximumReadsLeadingIntegers) {
    EXPECT_EQ(Parsed("~fGetColMaxValue(1)~", values_), "12.000000");
    // Grouping spaces are no end of the number; the negative value does not win.
    EXPECT_EQ(Parsed("~fGetColMaxValue(1)~", grouped_), "1234.000000");
    EXPECT_EQ(Parsed("~fFloorDec(fGetColMaxValue(1))~", grouped_), "10000.000000");
    EXPECT_EQ(Parsed("~fGetColMaxValue(1)~", empty_), "-2147483647.000000");
    EXPECT_EQ(Parsed("~fGetColMaxValue(1)~", nullptr), "-2147483647.000000");
}

TEST_F(Formula, PrmTextReadsWhatThePropertyBarShows) {
    COvInfoSheet& sheet = *Report().Sheets.front();
    sheet.GetPropByName("Name")->Value = "Sales by region";
    // The bar's list counts, not the view's sheet: the bar shows the sheet added last.
    EXPECT_EQ(Parsed("~fGetPrmText(\"Name\")~", values_), "Empty sheet");
    sheet.ShowProp(program.Context().Front());
    EXPECT_EQ(Parsed("Sheet: ~fGetPrmText(\"Name\")~", values_), "Sheet: Sales by region");
    EXPECT_EQ(Parsed("<~fGetPrmText(\"name\")~><~fGetPrmText(\"NoSuchKey\")~>"), "<><>");
    // A property written "row,column" names the cell to read.
    COvInfoProp cell(&sheet, 0, "Cell", "", "", 0, PropKind::Text);
    cell.Value = "3,0";
    sheet.Props.push_back(&cell);
    EXPECT_EQ(Parsed("~fGetGridText(fGetPrmText(\"Cell\"),-999)~", values_), "third");
    cell.Value = " 2 ";  // no column in it: the column stays -999, outside the grid
    EXPECT_EQ(Parsed("<~fGetGridText(fGetPrmText(\"Cell\"),-999)~>", values_), "<>");
    EXPECT_EQ(Parsed("~fGetGridText(fGetPrmText(\"Cell\"),1)~", values_), "x");
    sheet.Props.pop_back();

    Front().ShowSettings();
    COvInfoProp* setting = program.Context().Registries().ProgramSettings.front().get();
    setting->Value = "from the settings";
    EXPECT_EQ(Parsed("~fGetPrmText(\"" + setting->Name + "\")~"), "from the settings");
}

TEST_F(Formula, InsertedTextIsNeverEvaluatedAgain) {
    COvInfoSheet& sheet = *Report().Sheets.front();
    sheet.ShowProp(program.Context().Front());
    COvInfoProp* name = sheet.GetPropByName("Name");
    name->Value = "~fGetPrmText(\"Name\")~";
    EXPECT_EQ(Parsed("~fGetPrmText(\"Name\")~"), "~fGetPrmText(\"Name\")~");
    name->Value = "~fFloorDec(5)~";
    EXPECT_EQ(Parsed("[~fGetPrmText(\"Name\")~] ~2+2~ x~"), "[~fFloorDec(5)~] 4.000000 x");
    name->Value = "~";
    EXPECT_EQ(Parsed("~fGetPrmText(\"Name\")~~1~"), "~1.000000");
    EXPECT_TRUE(Front().Messages.empty());
}

TEST_F(Formula, ParserErrorIsShownAndLeavesTheRestInPlace) {
    EXPECT_EQ(Parsed("ok ~1+1~ then ~1+~ and ~2*2~"), "ok 2.000000 then ~1+~ and ~2*2~");
    ASSERT_EQ(Front().Messages.size(), 1u);
    const std::string& text = Front().Messages[0].Text;
    const std::string start = "Parser Error: in formula\n1+\n";
    ASSERT_EQ(text.substr(0, start.size()), start);
    EXPECT_GT(text.size(), start.size());  // the parser's reason follows

    EXPECT_EQ(Parsed("~noSuchFunction(1)~ tail"), "~noSuchFunction(1)~ tail");
    EXPECT_EQ(Parsed("~\"just text\"~"), "~\"just text\"~");
    EXPECT_EQ(Front().Messages.size(), 3u);
}

TEST_F(Formula, DeepNestingIsRefusedWithTheLimitAndWhere) {
    const auto nested = [](int levels, const std::string& inner) {
        return std::string(static_cast<size_t>(levels), '(') + inner +
               std::string(static_cast<size_t>(levels), ')');
    };
    // A string's parentheses are text, not nesting.
    EXPECT_EQ(Parsed("~" + nested(50, "1+fFloorDec(9)") + "~ ~fGetPrmText(\"((((\")~"),
              "11.000000 ");
    EXPECT_EQ(ParseValue(program.Context(), nested(100, "2").c_str()), "2.000000");
    EXPECT_TRUE(Front().Messages.empty());

    const std::string deep = nested(100000, "1");
    EXPECT_EQ(Parsed("a ~" + deep + "~ b"), "a ~" + deep + "~ b");
    EXPECT_EQ(ParseValue(program.Context(), deep.c_str()), "");
    ASSERT_EQ(Front().Messages.size(), 2u);
    const std::string& text = Front().Messages[0].Text;
    EXPECT_EQ(
        text.rfind(
            "Parser Error: in formula\n" + std::string(200, '(') + "... (200001 characters)\n", 0),
        0u)
        << text.substr(0, 300);
    EXPECT_NE(text.find("parentheses nest deeper than 100 levels at character 101"),
              std::string::npos)
        << text.substr(0, 300);
    EXPECT_NE(Front().Messages[1].Text.find("deeper than 100 levels at character 101"),
              std::string::npos);
}

TEST_F(Formula, ParseValueEvaluatesOneExpression) {
    EXPECT_EQ(ParseValue(program.Context(), "2*3"), "6.000000");
    EXPECT_EQ(ParseValue(program.Context(), "sRet+1.5"), "1.500000");
    EXPECT_TRUE(Front().Messages.empty());
    EXPECT_EQ(ParseValue(program.Context(), "2*"), "");
    ASSERT_EQ(Front().Messages.size(), 1u);
    EXPECT_EQ(Front().Messages[0].Text.rfind("Parser Error: ", 0), 0u);
    EXPECT_GT(Front().Messages[0].Text.size(), std::string("Parser Error: ").size());
    EXPECT_EQ(ParseValue(program.Context(), nullptr), "");
    EXPECT_EQ(Front().Messages.size(), 1u);
}

}  // namespace
}  // namespace orvik
