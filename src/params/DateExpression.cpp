// Date expressions. The calendar arithmetic is done on day numbers of our own rather than through
// mktime/timegm: counts in an expression come straight from report texts ("w+99999999999"), and a
// day number in 64 bits cannot overflow where a time_t or an int field of std::tm could.
#include "params/DateExpression.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "core/Run.h"
#include "core/TextReplace.h"

namespace {

constexpr std::string_view kDefaultFormat = "'%Y%m%d'";
constexpr std::string_view kInvalidDate = "Invalid DateTime";

// Numbers read from an expression are capped here: far beyond any valid date, far below overflow.
constexpr long long kNumberLimit = 1'000'000'000;

// Dates outside these years are refused as invalid, as four-digit years are all a format expects.
constexpr long long kFirstYear = 100;
constexpr long long kLastYear = 9999;

orvik::TodayClock& ClockSlot() {
    static orvik::TodayClock clock;
    return clock;
}

std::tm ReadToday() {
    if (const orvik::TodayClock& clock = ClockSlot()) return clock();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

struct CalendarDate {
    long long Year = 0;
    long long Month = 0;
    long long Day = 0;
};

// Days since 1970-01-01 in the proleptic Gregorian calendar (valid for any month 1..12).
long long DaysFromCivil(long long year, long long month, long long day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CalendarDate CivilFromDays(long long days) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long shiftedMonth = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const long long month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {yearOfEra + era * 400 + (month <= 2), month, day};
}

// 0 = Sunday ... 6 = Saturday, as std::tm counts.
int Weekday(long long days) {
    return static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
}

bool IsValid(const CalendarDate& date) {
    if (date.Year < kFirstYear || date.Year > kLastYear || date.Month < 1 || date.Month > 12 ||
        date.Day < 1)
        return false;
    const long long nextMonth = date.Month == 12 ? DaysFromCivil(date.Year + 1, 1, 1)
                                                 : DaysFromCivil(date.Year, date.Month + 1, 1);
    return date.Day <= nextMonth - DaysFromCivil(date.Year, date.Month, 1);
}

// The integer at the start of `text` read the way atoi reads it (leading white space, an
// optional sign, digits), capped instead of overflowing.
long long LeadingInt(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos)
        value = std::min(value * 10 + (text[pos] - '0'), kNumberLimit);
    return negative ? -value : value;
}

// Cuts "f=<format>" out of the expression; the ";" that ended the format stays behind, since it
// may be what separates the components around it.
void TakeFormat(std::string& expression, std::string& format) {
    const size_t at = expression.find("f=");
    if (at == std::string::npos) return;
    size_t end = expression.find(';', at + 2);
    if (end == std::string::npos) end = expression.size();
    std::string given = expression.substr(at + 2, end - at - 2);
    expression.erase(at, end - at);
    if (!given.empty()) format = std::move(given);
}

// Users type the Cyrillic initials of week, year, month and day as readily as the Latin ones.
void NormaliseLetters(std::string& expression) {
    std::erase(expression, ' ');
    for (const auto& [from, to] : {std::pair{"н", "w"}, {"г", "y"}, {"м", "m"}, {"д", "d"}})
        orvik::ReplaceAll(expression, from, to);
}

// "w<sign><weeks>,<weekday>": whole weeks from today, then optionally the given weekday
// (1 = Monday) of the week reached. Without a sign no weeks are added, so "w,1" is this week's
// Monday.
CalendarDate WeekForm(std::string_view expression, const CalendarDate& today, std::string& rest) {
    rest = expression.substr(1);
    long long step = 0;
    size_t after = 1;
    if (expression.size() > 1 && (expression[1] == '+' || expression[1] == '-')) {
        step = expression[1] == '+' ? 7 : -7;
        after = 2;
    }
    const std::string_view tail = expression.substr(after);
    long long count = LeadingInt(tail);
    if (count == 0) count = 1;
    const long long todayNumber = DaysFromCivil(today.Year, today.Month, today.Day);
    long long offset = step * count;
    const size_t comma = tail.find(',');
    const long long weekday =
        LeadingInt(comma == std::string_view::npos ? tail : tail.substr(comma + 1));
    if (weekday != 0) {
        const int dayOfWeek = Weekday(todayNumber) + 1;  // 1 = Sunday ... 7 = Saturday
        offset = weekday + offset - dayOfWeek + 1;
    }
    return CivilFromDays(todayNumber + offset);
}

// One of "y", "m", "d" as written: absent, a number that sets it (0 keeps today's) or a signed
// count that moves it.
struct Component {
    bool Relative = false;
    long long Value = 0;
};

// Reads the components of "y<n>m<n>d<n>"; `rest` is what followed the last letter read.
void ReadComponents(std::string_view expression, Component (&components)[3], std::string& rest) {
    constexpr char kLetters[] = {'y', 'm', 'd'};
    for (size_t i = 0; i < 3; ++i) {
        const size_t at = expression.find(kLetters[i]);
        if (at == std::string_view::npos) continue;
        const std::string_view tail = expression.substr(at + 1);
        rest = tail;
        if (!tail.empty() && (tail[0] == '+' || tail[0] == '-')) {
            long long count = LeadingInt(tail.substr(1));
            if (count == 0) count = 1;
            components[i] = {true, tail[0] == '-' ? -count : count};
        } else {
            components[i] = {false, LeadingInt(tail)};
        }
    }
}

long long DaysInMonth(long long year, long long month) {
    return month == 12 ? 31 : DaysFromCivil(year, month + 1, 1) - DaysFromCivil(year, month, 1);
}

// The arithmetic of old reports: every component is worked out on its own and nothing carries,
// so "m+1" in December is month 13, which the caller reports as invalid.
CalendarDate WithoutCarry(const Component (&components)[3], const CalendarDate& today) {
    CalendarDate date = today;
    long long CalendarDate::*const fields[] = {&CalendarDate::Year, &CalendarDate::Month,
                                               &CalendarDate::Day};
    for (size_t i = 0; i < 3; ++i) {
        const long long value =
            components[i].Relative ? today.*fields[i] + components[i].Value : components[i].Value;
        if (value != 0) date.*fields[i] = value;
    }
    return date;
}

// Absolute components first, then years and months moved together with carry (the day clamped to
// the month reached), then days as calendar arithmetic. A date the absolute components alone
// cannot make (month 13, 30 February with nothing moved) is left as it is for the caller to
// refuse.
CalendarDate WithCarry(const Component (&components)[3], const CalendarDate& today) {
    const auto& [year, month, day] = components;
    CalendarDate date = today;
    if (!year.Relative && year.Value != 0) date.Year = year.Value;
    if (!month.Relative && month.Value != 0) date.Month = month.Value;
    if (!day.Relative && day.Value != 0) date.Day = day.Value;
    if (date.Month < 1 || date.Month > 12 || date.Day > 31) return date;

    if (year.Relative || month.Relative) {
        const long long months = date.Year * 12 + (date.Month - 1) +
                                 (year.Relative ? year.Value * 12 : 0) +
                                 (month.Relative ? month.Value : 0);
        date.Year = months >= 0 ? months / 12 : -((-months + 11) / 12);
        date.Month = months - date.Year * 12 + 1;
        // Far outside the years a date may have the month lengths are not worth working out.
        if (date.Year < kFirstYear || date.Year > kLastYear) return date;
        date.Day = std::min(date.Day, DaysInMonth(date.Year, date.Month));
    }
    if (!day.Relative) return date;
    if (date.Day > DaysInMonth(date.Year, date.Month)) return date;
    return CivilFromDays(DaysFromCivil(date.Year, date.Month, date.Day) + day.Value);
}

std::string NarrowFieldWidths(std::string_view format) {
    constexpr size_t kWidestField = 99;
    std::string narrowed;
    narrowed.reserve(format.size());
    for (size_t pos = 0; pos < format.size();) {
        narrowed += format[pos];
        if (format[pos++] != '%') continue;
        while (pos < format.size() &&
               std::string_view("_-0^#+").find(format[pos]) != std::string_view::npos)
            narrowed += format[pos++];
        size_t width = 0;
        const size_t digits = pos;
        for (; pos < format.size() && std::isdigit(static_cast<unsigned char>(format[pos])); ++pos)
            width = std::min(width * 10 + (format[pos] - '0'), kWidestField);
        if (pos > digits) narrowed += std::to_string(width);
        // The conversion letter is copied as it is, so "%%" never starts a new conversion.
        if (pos < format.size()) narrowed += format[pos++];
    }
    return narrowed;
}

std::string FormatDate(const CalendarDate& date, const std::tm& now, bool keepTime,
                       const std::string& requestedFormat) {
    const std::string format = NarrowFieldWidths(requestedFormat);
    // Starting from today's std::tm keeps the time-zone fields a format may ask for (%Z, %z).
    std::tm value = now;
    const long long days = DaysFromCivil(date.Year, date.Month, date.Day);
    value.tm_year = static_cast<int>(date.Year - 1900);
    value.tm_mon = static_cast<int>(date.Month - 1);
    value.tm_mday = static_cast<int>(date.Day);
    value.tm_wday = Weekday(days);
    value.tm_yday = static_cast<int>(days - DaysFromCivil(date.Year, 1, 1));
    if (!keepTime) value.tm_hour = value.tm_min = value.tm_sec = 0;

    // strftime answers 0 both when the buffer is short and when the text is empty (a "%p" in a
    // locale without AM/PM), so the buffer grows a bounded number of times.
    std::string text(format.size() * 4 + 64, '\0');
    for (int attempt = 0; attempt < 6; ++attempt) {
        const size_t length = std::strftime(text.data(), text.size(), format.c_str(), &value);
        if (length != 0) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 4);
    }
    return {};
}

}  // namespace

namespace orvik {

DateEvaluation EvaluateDateExpression(std::string_view expressionText, DateArithmetic arithmetic) {
    const std::tm now = ReadToday();
    const CalendarDate today{now.tm_year + 1900LL, now.tm_mon + 1LL, now.tm_mday};
    std::string format(kDefaultFormat);
    std::string expression(expressionText);
    std::string rest;  // what followed the last letter read, for the message
    CalendarDate date = today;
    bool keepTime = true;  // a bare "today" and week steps keep the time of day
    const bool carry = arithmetic == DateArithmetic::Carry;
    if (!expression.empty()) {
        TakeFormat(expression, format);
        NormaliseLetters(expression);
        if (expression.starts_with('w')) {
            date = WeekForm(expression, today, rest);
        } else {
            Component components[3];
            ReadComponents(expression, components, rest);
            date = carry ? WithCarry(components, today) : WithoutCarry(components, today);
            keepTime = false;
        }
    }
    if (IsValid(date)) return {FormatDate(date, now, keepTime, format), {}};

    // Only an invalid date is reported: a format that merely spells the word "Invalid" is not an
    // error. The date read back from an invalid date is -1 in each part.
    // The fixed text first, then in plain words which date the expression asked for.
    const bool carried = carry || expression.starts_with('w');
    return {
        std::string(kInvalidDate),
        std::string(kInvalidDate) + " = <" + expression + ">; <" + format + ">; <" + rest +
            ">; -1--1--1 (the date expression '" + std::string(expressionText) +
            "' asks for year " + std::to_string(date.Year) + ", month " +
            std::to_string(date.Month) + ", day " + std::to_string(date.Day) +
            ", which does not exist" +
            (carried ? std::string() : "; with DateArithmetic NoCarry components do not carry") +
            ")"};
}

namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// A calendar day in one of the ways people and the date editor write one.
bool IsWrittenDate(std::string_view text) {
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'')
        text = text.substr(1, text.size() - 2);
    std::string_view year, month, day;
    if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        year = text.substr(0, 4), month = text.substr(5, 2), day = text.substr(8, 2);
    } else if (text.size() == 10 && text[2] == '.' && text[5] == '.') {
        day = text.substr(0, 2), month = text.substr(3, 2), year = text.substr(6, 4);
    } else if (text.size() == 8) {
        year = text.substr(0, 4), month = text.substr(4, 2), day = text.substr(6, 2);
    } else {
        return false;
    }
    if (!AllDigits(year) || !AllDigits(month) || !AllDigits(day)) return false;
    return IsValid({LeadingInt(year), LeadingInt(month), LeadingInt(day)});
}

// True when the expression, its format cut out, holds only what the evaluator reads; anything
// else it would pass over silently and give another date than the one meant.
bool HasOnlyExpressionCharacters(std::string expression) {
    std::string format;
    TakeFormat(expression, format);
    NormaliseLetters(expression);
    return std::all_of(expression.begin(), expression.end(), [](char c) {
        return std::string_view("0123456789+-,;dmyw").find(c) != std::string_view::npos;
    });
}

}  // namespace

std::optional<std::string> WhyNotADate(std::string_view value) {
    if (value.empty() || IsWrittenDate(value)) return std::nullopt;
    constexpr std::string_view kWanted =
        " (a date parameter takes YYYY-MM-DD, YYYYMMDD, DD.MM.YYYY or one date expression such "
        "as ~date(d-1)~)";
    std::string expression;
    for (const std::string_view opener : {"~date(", "~дата("}) {
        if (value.starts_with(opener) && value.ends_with(")~") &&
            value.size() >= opener.size() + 2) {
            expression = value.substr(opener.size(), value.size() - opener.size() - 2);
            if (expression.find('~') != std::string::npos)
                return "it is not a date" + std::string(kWanted);
            if (!HasOnlyExpressionCharacters(expression))
                return "its date expression holds characters that are no part of one" +
                       std::string(kWanted);
            const DateEvaluation result = EvaluateDateExpression(expression);
            if (!result.Error.empty()) return "its date expression gives no date: " + result.Error;
            return std::nullopt;
        }
    }
    return "it is not a date" + std::string(kWanted);
}

}  // namespace orvik

std::string EvalDateExpr(orvik::Run& run, std::string_view expression) {
    orvik::DateEvaluation result = orvik::EvaluateDateExpression(expression);
    // In an unattended run every message of this kind fails the run.
    if (!result.Error.empty())
        orvik::ShowMessage(run, result.Error, {}, orvik::MessageBoxButtons::Ok,
                           orvik::MessageBoxIcon::Error);
    return std::move(result.Text);
}

namespace orvik {

TodayClock SetClockForTesting(TodayClock clock) {
    return std::exchange(ClockSlot(), std::move(clock));
}

}  // namespace orvik
