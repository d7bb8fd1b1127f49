// Relative dates for report texts: "d-1" for yesterday, "m-1;d1" for the first of last month,
// "w-1,1" for last week's Monday, "y2024m1d1" for a fixed day, each with an optional strftime
// format ("f=%d.%m.%Y;d1"). Reports run unattended on a schedule, so every date is worked out
// from the moment of the call. Components are combined without carrying into one another: "d+1"
// on the last day of a month is an invalid date, which is reported rather than guessed at.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

// The date text for one date expression; an empty expression gives today as "'%Y%m%d'" writes it
// (quotes included). An impossible date gives "Invalid DateTime" and shows an error message.
std::string EvalDateExpr(std::string_view expression);

namespace orvik {

// Where "today" comes from: the local date and time of day (only year, month, day, hour, minute
// and second are read; the weekday is worked out from the date).
using TodayClock = std::function<std::tm()>;

// Makes date expressions read today from `clock` (an empty clock restores the system one) and
// returns the clock in use before, so a test can put it back.
TodayClock SetClockForTesting(TodayClock clock);

}  // namespace orvik
