// The MDX function table: every function is found by its name in any case, and a call with the
// wrong number of arguments, or to no function at all, is refused with a message that names the
// function and the place in the query.
#include <gtest/gtest.h>

#include <string>

#include "SmallShop.h"
#include "olap/MdxFunctionTable.h"
#include "olap/NameCase.h"

namespace orvik::test {
namespace {

using cube::MdxFunction;
using cube::MdxFunctionTable;

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

TEST(MdxFunctionTable, EveryFunctionIsFoundByItsNameInAnyCaseAndNoOtherName) {
    for (const MdxFunction& function : MdxFunctionTable::All()) {
        const std::string name(function.Name);
        EXPECT_EQ(MdxFunctionTable::Find(name), &function) << name;
        EXPECT_EQ(MdxFunctionTable::Find(LowerAscii(name)), &function) << name;
        EXPECT_EQ(MdxFunctionTable::Find(UpperAscii(name)), &function) << name;
        EXPECT_LE(function.MinArguments, function.MaxArguments) << name;
    }
    // One function of each family, so that a family missing from the table shows.
    for (const char* name : {"Crossjoin", "Parent", "ParallelPeriod", "IIf", "UniqueName"})
        EXPECT_NE(MdxFunctionTable::Find(name), nullptr) << name;
    // A name that only begins like one, or only goes on from one, is none.
    for (const char* name : {"Crossjoi", "CrossjoinX", "", "Item"})
        EXPECT_EQ(MdxFunctionTable::Find(name), nullptr) << name;
}

TEST(MdxFunctionTable, WrongArgumentCountsAreRefusedWithTheCountAndThePlace) {
    const SmallShop shop;
    const std::string calculated = "WITH MEMBER [Measures].[X] AS ";
    const std::string onColumns = " ON COLUMNS FROM [Sales]";
    const struct {
        std::string Query;
        std::string Message;
    } cases[] = {
        {"SELECT Crossjoin([Store].Children)" + onColumns,
         "Crossjoin needs at least 2 arguments, not 1 (at line 1, column 8)"},
        {"SELECT Filter([Store].Children, 1, 2)" + onColumns,
         "Filter takes 2 arguments, not 3 (at line 1, column 8)"},
        {"SELECT Head([Store].Children, 1, 2)" + onColumns,
         "Head takes 1 to 2 arguments, not 3 (at line 1, column 8)"},
        {"SELECT Ytd([Time].[2023].[1], 2)" + onColumns,
         "Ytd takes at most 1 argument, not 2 (at line 1, column 8)"},
        // A method's object is not counted: the reader sees what stands in the parentheses.
        {"SELECT {[Time].[2023].Lead}" + onColumns,
         "Lead needs 1 argument in parentheses, not 0 (at line 1, column 23)"},
        {"SELECT {[Store].children(1)}" + onColumns,
         "children takes no arguments in parentheses, not 1 (at line 1, column 17)"},
        {calculated + "IIF(1, 2) SELECT {[Measures].[X]}" + onColumns,
         "IIF needs 3 arguments, not 2 (at line 1, column 31)"},
    };
    for (const auto& c : cases) {
        const std::string error = shop.ErrorOf(c.Query);
        EXPECT_NE(error.find(c.Message), std::string::npos) << c.Query << "\n" << error;
    }
}

TEST(MdxFunctionTable, UnknownFunctionsAndMethodsWrittenAsFunctionsAreRefused) {
    const SmallShop shop;
    const std::string unknown = shop.ErrorOf(
        "WITH MEMBER [Measures].[X] AS Frobnicate(1) "
        "SELECT {[Measures].[X]} ON COLUMNS FROM [Sales]");
    EXPECT_NE(unknown.find("Unknown function Frobnicate (at line 1, column 31)"), std::string::npos)
        << unknown;
    // Name is a method only: [Store].[USA].Name, never Name([Store].[USA]).
    const std::string asFunction = shop.ErrorOf(
        "WITH MEMBER [Measures].[X] AS Name([Store].[USA]) "
        "SELECT {[Measures].[X]} ON COLUMNS FROM [Sales]");
    EXPECT_NE(asFunction.find("Unknown function Name"), std::string::npos) << asFunction;
    EXPECT_EQ(shop.ErrorOf("WITH MEMBER [Measures].[X] AS [Store].[USA].NAME "
                           "SELECT {[Measures].[X]} ON COLUMNS FROM [Sales]"),
              "");
}

}  // namespace
}  // namespace orvik::test
