// Substitution of parameters, date expressions, the program folder, options and markers into
// outgoing texts, with parameters set up the way the report loader leaves them: each value
// property appended to the report object under the parameter's name.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/DateExpression.h"
#include "params/ParamSubstitution.h"

namespace orvik {
namespace {

class ParamSubstitution : public ::testing::Test {
  protected:
    ParamSubstitution() {
        SetClockForTesting([] {
            std::tm now{};
            now.tm_year = 124;  // 2024-03-15
            now.tm_mon = 2;
            now.tm_mday = 15;
            return now;
        });
        program_.Context().Report().StartNew();
    }
    ~ParamSubstitution() override { SetClockForTesting(previous_); }

    COvInfoPrm& AddParam(const std::string& name, const std::string& value) {
        CReport& report = program_.Context().Report();
        report.Params.push_back(std::make_unique<COvInfoPrm>(GroupId::Param));
        COvInfoPrm& prm = *report.Params.back();
        prm.Name.Value = name;
        prm.PrmVal.Value = value;
        prm.PrmVal.Caption = name;
        report.ReportObject->Props.push_back(&prm.PrmVal);
        return prm;
    }

    std::vector<test::RecordedMessage>& Messages() { return program_.Front().Messages; }

    test::TestProgram program_;
    TodayClock previous_ = SetClockForTesting({});
};

TEST_F(ParamSubstitution, Parameters) {
    AddParam("Year", "[2024]");
    AddParam("A", "x");
    AddParam("AB", "never");  // its placeholder's front was already taken by A
    AddParam("Hidden", "h").PrmVal.Flags &= ~PropFlag::Visible;
    EXPECT_EQ(DSetParam("where y=`Year or y=`Year+1"), "where y='2024' or y='2024'+1");
    EXPECT_EQ(DSetParam("`AB `A"), "xB x");
    EXPECT_EQ(DSetParam("`Hidden `Nope"), "`Hidden `Nope");
}

TEST_F(ParamSubstitution, BoundParameterUsesTheReferencedValue) {
    COvInfoProp members(nullptr, 0, "Rows", "", "", 0, PropKind::Text);
    members.Value = "[North],[South]";
    COvInfoPrm& region = AddParam("Region", "stale");
    region.PrmVal.Kind = PropKind::Reference;
    region.PrmVal.SelectedCombo = &members;
    EXPECT_EQ(DSetParam("in (`Region)"), "in ('North','South')");
}

TEST_F(ParamSubstitution, NamelessParameterLeavesBackquotesAlone) {
    AddParam("", "oops");
    AddParam("Id", "7");
    EXPECT_EQ(DSetParam("select `name` from t where id=`Id"), "select `name` from t where id=7");
}

TEST_F(ParamSubstitution, ValuesPassThroughTheLaterSteps) {
    AddParam("From", "~дата(d-1)~");
    AddParam("Out", "~Dir~HTML/");
    AddParam("Day", "#Дата#");
    EXPECT_EQ(DSetParam("`From `Day"), "'20240314' '20240315'");
    EXPECT_EQ(DSetParam("`Out"), program_.Context().ProgramFolder() + "HTML/");
}

TEST_F(ParamSubstitution, DateExpressions) {
    EXPECT_EQ(DSetParam("~date(d-1)~ to ~дата()~, ~date(f=%d.%m.%Y;d1)~"),
              "'20240314' to '20240315', 01.03.2024");
    // What an expression gives back can complete an opener begun before it; that one runs too.
    EXPECT_EQ(DSetParam("~da~date(f=te()~f=%Y)~ ~date(d1)~"), "2024 '20240301'");
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(DSetParam("d='~date(m+10)~'"), "d='Invalid DateTime'");
    EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(ParamSubstitution, UnterminatedDateExpressionIsReportedAndDefused) {
    EXPECT_EQ(DSetParam("a ~date(d-1"), "a ~-date(d-1");
    // Another "~" further on bounds the fragment shown; the rest is still substituted.
    EXPECT_EQ(DSetParam("~date(d-1 and ~Dir~"),
              "~-date(d-1 and " + program_.Context().ProgramFolder());
    // Characters, not bytes: the Cyrillic letters at the edge are shown whole.
    EXPECT_EQ(DSetParam("~дата(1ддддд"), "~-date(1ддддд");
    ASSERT_EQ(Messages().size(), 3u);
    EXPECT_EQ(Messages()[0].Text, "Ошибочный параметр <~date(d-1>");
    EXPECT_EQ(Messages()[1].Text, "Ошибочный параметр <~date(d-1 and ~D>");
    EXPECT_EQ(Messages()[2].Text, "Ошибочный параметр <~date(1ддд>");
    EXPECT_EQ(program_.Context().ErrorCount(), 3);
}

TEST_F(ParamSubstitution, FolderAndOptions) {
    CRegistries& registries = program_.Context().Registries();
    registries.FindSetting("DefSrvMail")->Value = "";
    EXPECT_EQ(DSetParam("~Dir~x.png as ~DefPicFmt~ via ~DefSrvMail~ ~Nope~"),
              program_.Context().ProgramFolder() + "x.png as png via ~DefSrvMail~ ~Nope~");
}

TEST_F(ParamSubstitution, TextsWithoutTilde) {
    EXPECT_EQ(DSetParam(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(DSetParam(""), "");
    EXPECT_EQ(DSetParam("#Дата#|#Период_начало#|#Период_конец#|#Date#"),
              "'20240315'|'20240315'|'20240315'|#Date#");
}

}  // namespace
}  // namespace orvik
