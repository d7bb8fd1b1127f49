// Date expressions against a pinned "today", so month ends, December, leap years and every day of
// the week can be tried on any day the suite happens to run.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "params/DateExpression.h"
#include "params/ParamSubstitution.h"

namespace orvik {
namespace {

class DateExpression : public ::testing::Test {
  protected:
    ~DateExpression() override { SetClockForTesting(previous_); }

    void Today(int year, int month, int day) {
        SetClockForTesting([=] {
            std::tm now{};
            now.tm_year = year - 1900;
            now.tm_mon = month - 1;
            now.tm_mday = day;
            now.tm_hour = 10;
            now.tm_min = 30;
            now.tm_wday = 3;  // deliberately wrong: the weekday must come from the date
            return now;
        });
    }

    std::vector<test::RecordedMessage>& Messages() { return program_.Front().Messages; }

    test::TestProgram program_;
    TodayClock previous_ = SetClockForTesting({});
};

TEST_F(DateExpression, Components) {
    Today(2024, 3, 15);
    EXPECT_EQ(EvalDateExpr(program_.Context(), ""), "'20240315'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d-1"), "'20240314'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d+"), "'20240316'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d+0"), "'20240316'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m-1;d1"), "'20240201'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "y2024m1d1"), "'20240101'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "y-1"), "'20230315'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "y0m1d1"),
              "'20240101'");  // a zero component is today's
    EXPECT_EQ(EvalDateExpr(program_.Context(), " м - 1 ; д 1 "), "'20240201'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "г2023"), "'20230315'");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DateExpression, RelativeDaysAreCalendarArithmetic) {
    Today(2024, 3, 1);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d-1"), "'20240229'");  // leap year
    Today(2023, 3, 1);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d-1"), "'20230228'");
    Today(2024, 1, 1);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d-1"), "'20231231'");
    Today(2023, 12, 31);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d+1"), "'20240101'");
    Today(2024, 4, 30);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d+1"), "'20240501'");
    Today(2024, 3, 15);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d-30"), "'20240214'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d+366"), "'20250316'");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DateExpression, MonthsAndYearsCarryIntoTheYear) {
    Today(2024, 1, 20);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m-1;d1"), "'20231201'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m-13"), "'20221220'");
    Today(2024, 12, 5);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m+1"), "'20250105'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "f=%d.%m; м+1"), "05.01");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m+1;d1;y-1"), "'20240101'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m+1;d1"), "'20250101'");
    // The month moves first, then the days.
    Today(2024, 11, 30);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m+1;d-1"), "'20241229'");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DateExpression, ADayTheMonthLacksBecomesItsLast) {
    Today(2024, 3, 31);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m-1"), "'20240229'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m+1"), "'20240430'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m-1;d-1"),
              "'20240228'");  // days move after the clamping
    Today(2023, 3, 31);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m-1"), "'20230228'");
    Today(2024, 2, 29);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "y-1"), "'20230228'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "y+4"), "'20280229'");
    Today(2024, 4, 10);
    // "d31" of the month before: the last day of any last month.
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m-1;d31"), "'20240331'");
    Today(2024, 3, 10);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m-1;d31"), "'20240229'");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DateExpression, DatesTheAbsoluteComponentsCannotMakeStayInvalid) {
    Today(2024, 3, 15);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "y2024m2d30"), "Invalid DateTime");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m13"), "Invalid DateTime");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m13;y-1"), "Invalid DateTime");
    Today(2023, 2, 10);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d29"), "Invalid DateTime");
    Today(2024, 3, 30);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m2"), "Invalid DateTime");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m2;d-1"),
              "Invalid DateTime");  // from a day that does not exist
    ASSERT_EQ(Messages().size(), 6u);
    EXPECT_EQ(Messages()[0].Text.rfind(
                  "Invalid DateTime = <y2024m2d30>; <'%Y%m%d'>; <30>; -1--1--1 (", 0),
              0u);
    EXPECT_NE(Messages()[0].Text.find("year 2024, month 2, day 30, which does not exist)"),
              std::string::npos)
        << Messages()[0].Text;
    EXPECT_EQ(Messages()[0].Icon, MessageBoxIcon::Error);
    // Unattended runs must not pass a broken date off as success.
    EXPECT_EQ(program_.Context().ErrorCount(), 6);
}

TEST_F(DateExpression, NoCarryKeepsTheOldArithmeticAndSaysSo) {
    program_.Context().Report().StartNew();
    program_.Context().Report().ReportObject->GetPropByName("DateArithmetic")->Value = "NoCarry";
    // The report's choice reaches expressions through its texts.
    const auto InText = [this](const std::string& expression) {
        return DSetParam(program_.Context(), "~date(" + expression + ")~");
    };
    Today(2024, 3, 1);
    EXPECT_EQ(InText("d-1"), "'20240301'");
    Today(2024, 1, 20);
    EXPECT_EQ(InText("m-1;d1"), "'20240101'");
    Today(2024, 2, 10);
    EXPECT_EQ(InText("d29"), "'20240229'");
    Today(2024, 3, 15);
    EXPECT_EQ(InText("w-1,1"), "'20240304'");  // the week form never carried differently
    EXPECT_TRUE(Messages().empty());

    Today(2024, 4, 30);
    EXPECT_EQ(InText("d+1"), "Invalid DateTime");
    Today(2024, 12, 5);
    EXPECT_EQ(InText("f=%d.%m; м+1"), "Invalid DateTime");
    Today(2024, 3, 31);
    EXPECT_EQ(InText("m-1"), "Invalid DateTime");
    ASSERT_EQ(Messages().size(), 3u);
    EXPECT_EQ(Messages()[1].Text.rfind("Invalid DateTime = <;m+1>; <%d.%m>; <+1>; -1--1--1 (", 0),
              0u);
    EXPECT_NE(Messages()[1].Text.find("month 13, day 5, which does not exist; with DateArithmetic "
                                      "NoCarry components do not carry"),
              std::string::npos)
        << Messages()[1].Text;

    const std::string log = program_.ReadLog();
    EXPECT_NE(log.find("DateArithmetic is NoCarry"), std::string::npos) << log;
    EXPECT_EQ(log.find("DateArithmetic is NoCarry"), log.rfind("DateArithmetic is NoCarry"))
        << "logged once";
}

TEST_F(DateExpression, WeekForm) {
    Today(2024, 3, 11);  // Monday
    EXPECT_EQ(EvalDateExpr(program_.Context(), "w-1,1"), "'20240304'");
    Today(2024, 3, 16);  // Saturday
    EXPECT_EQ(EvalDateExpr(program_.Context(), "w-1,1"), "'20240304'");
    Today(2024, 3, 17);  // Sunday: the week is counted from Sunday
    EXPECT_EQ(EvalDateExpr(program_.Context(), "w-1,1"), "'20240311'");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "н-1,1"), "'20240311'");
    Today(2024, 3, 15);  // Friday
    EXPECT_EQ(EvalDateExpr(program_.Context(), "w-2"),
              "'20240227'");  // weekday 2 of two weeks back
    EXPECT_EQ(EvalDateExpr(program_.Context(), "w,1"), "'20240311'");  // no sign: this week
    Today(2024, 12, 28);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "w+1,0"), "'20250104'");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DateExpression, FormatPart) {
    Today(2024, 3, 15);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "f=%d.%m.%Y"), "15.03.2024");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "f=%d.%m.%Y;d1"), "01.03.2024");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "m1;f=%m/%d;d5"), "01/05");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d1;f="), "'20240301'");
    // The format is cut out before spaces go and Cyrillic letters turn into components.
    EXPECT_EQ(EvalDateExpr(program_.Context(), "f=%Y г. д;m1"), "2024 г. д");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "f=%A"), "Friday");
    // A week step keeps the time of day; a component date is at midnight.
    EXPECT_EQ(EvalDateExpr(program_.Context(), "w+1,0;f=%Y-%m-%d %H:%M"), "2024-03-22 10:30");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "d1;f=%H:%M"), "00:00");
}

TEST_F(DateExpression, FieldWidthsAreBounded) {
    Today(2024, 3, 15);
    EXPECT_EQ(EvalDateExpr(program_.Context(), "f=%4d|%-d|%_5m"), "0015|15|    3");
    // A width no date needs is narrowed rather than padded to gigabytes.
    EXPECT_EQ(EvalDateExpr(program_.Context(), "f=%8888888888d"), std::string(97, '0') + "15");
    EXPECT_EQ(EvalDateExpr(program_.Context(), "f=%%8888888888d"), "%8888888888d");
    // A chain of expressions, each inside the one before, is nesting: refused, and the text
    // stays small.
    std::string chained;
    for (int i = 0; i < 200; ++i) chained += "~date(f=";
    for (int i = 0; i < 200; ++i) chained += "%99999d)~";
    EXPECT_LT(DSetParam(program_.Context(), chained.c_str()).size(), 100000u);
}

TEST_F(DateExpression, HugeCountsAreInvalidDates) {
    Today(2024, 3, 15);
    for (const char* expression : {"d+99999999999999999999", "w+99999999999", "w-99999999999,1",
                                   "y-5000", "y10000", "d-99999999999"}) {
        EXPECT_EQ(EvalDateExpr(program_.Context(), expression), "Invalid DateTime") << expression;
    }
    EXPECT_EQ(Messages().size(), 6u);
}

}  // namespace
}  // namespace orvik
