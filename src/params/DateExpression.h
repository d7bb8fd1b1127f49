// Relative dates for report texts: "d-1" for yesterday, "m-1;d1" for the first of last month,
// "w-1,1" for last week's Monday, "y2024m1d1" for a fixed day, each with an optional strftime
// format ("f=%d.%m.%Y;d1"). Reports run unattended on a schedule, so every date is worked out
// from the moment of the call. Absolute components are set first, relative years and months then
// move with carry into the year (a day the month reached lacks becomes its last day), relative
// days last, as calendar arithmetic: "d-1" on the first is the last day of the month before. A
// report whose DateArithmetic is "NoCarry" gets the older arithmetic without carrying, where
// "d-1" on the first is an invalid date.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvik {
class Run;
}

// The date text for one date expression; an empty expression gives today as "'%Y%m%d'" writes it
// (quotes included). An impossible date gives "Invalid DateTime" and shows an error message
// through `run`.
std::string EvalDateExpr(orvik::Run& run, std::string_view expression);

namespace orvik {

// What a date expression gave: the date text, or "Invalid DateTime" with Error saying why (the
// fixed text first, then in plain words what is wrong).
struct DateEvaluation {
    std::string Text;
    std::string Error;
};

// How relative components move: with carry into the next larger one (the default), or each on
// its own as reports with DateArithmetic "NoCarry" ask.
enum class DateArithmetic { Carry, NoCarry };

// Works out `expression` as EvalDateExpr does, without showing anything.
DateEvaluation EvaluateDateExpression(std::string_view expression,
                                      DateArithmetic arithmetic = DateArithmetic::Carry);

// Why `value` is no date for a date parameter, or nothing when it is one: a calendar day written
// YYYY-MM-DD, YYYYMMDD or DD.MM.YYYY (bare or in single quotes), or one whole "~date(...)~" of the
// expression's own characters that gives a date today. An empty value clears the parameter.
std::optional<std::string> WhyNotADate(std::string_view value);

// Where "today" comes from: the local date and time of day (only year, month, day, hour, minute
// and second are read; the weekday is worked out from the date).
using TodayClock = std::function<std::tm()>;

// Makes date expressions read today from `clock` (an empty clock restores the system one) and
// returns the clock in use before, so a test can put it back.
TodayClock SetClockForTesting(TodayClock clock);

}  // namespace orvik
