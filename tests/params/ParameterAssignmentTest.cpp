#include <gtest/gtest.h>

#include "TestSupport.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/ParameterAssignment.h"

namespace orvik {
namespace {

TEST(ParameterAssignment, DateExpressionsKeepTheirSemicolons) {
    const auto parsed =
        ParseParameterAssignments(" Region = North;Day=~date(d-1;f=%d.%m.%Y)~;;Flag;Empty=");
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed[0].Name, "Region");
    EXPECT_EQ(parsed[0].Value, " North");
    EXPECT_EQ(parsed[1].Value, "~date(d-1;f=%d.%m.%Y)~");
    EXPECT_FALSE(parsed[2].HasValue);
    EXPECT_TRUE(parsed[3].HasValue);
    EXPECT_EQ(parsed[3].Value, "");
}

TEST(ParameterAssignment, SetsKnownParametersAndNamesTheUnknown) {
    test::TestProgram program;
    CReport& report = program.Context().Report();
    report.StartNew();
    for (const char* name : {"Region", "Day"}) {
        report.Params.push_back(
            std::make_unique<COvInfoPrm>(&program.Context().Registries(), GroupId::Param));
        report.Params.back()->Name.Value = name;
    }
    const auto unknown =
        ApplyParameterAssignments(program.Context(), "Region=North;Nope=1;Day=~date(d-1)~;Day")
            .Unknown;
    EXPECT_EQ(unknown, (std::vector<std::string>{"Nope", "Day"}));
    EXPECT_EQ(report.Params[0]->PrmVal.Value, "North");
    EXPECT_EQ(report.Params[1]->PrmVal.Value, "~date(d-1)~");
}

}  // namespace
}  // namespace orvik
