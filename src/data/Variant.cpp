#include "data/Variant.h"

#include <locale.h>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr unsigned __int128 kMaxMantissa = [] {
    unsigned __int128 limit = 1;
    for (int i = 0; i < 38; ++i) limit *= 10;
    return limit;
}();

// Days from 1970-01-01 to a civil date (Howard Hinnant's algorithm, exact for every year).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kDayZero = -25569;

// The texts printf's "%d", "%u", "%lld" and "%.Nf" give, by to_chars: a grid fill formats every
// numeric cell, and printf's format parsing was most of what that cost.
template <typename Integer>
std::string IntegerText(Integer value) {
    char buffer[24];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string FixedText(double value, int precision) {
    char buffer[400];  // the widest double in fixed notation, with its fraction
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    return std::string(buffer, result.ptr);
}

// "%.2f" with spaces every three digits before the point, at most three of them. Grouping starts
// after a leading minus sign: the sign is no digit, so -123.45 keeps its digits together.
std::string GroupedReal(double value) {
    std::string text = FixedText(value, 2);
    const size_t digitsStart = (!text.empty() && text[0] == '-') ? 1 : 0;
    const size_t point = text.find('.');
    if (point == std::string::npos) return text;  // nan and inf have no digits to group
    for (size_t step : {3u, 7u, 11u}) {
        const size_t pointNow = text.find('.');
        if (pointNow - digitsStart <= step) break;
        text.insert(pointNow - step, 1, ' ');
    }
    return text;
}

// The user's LC_TIME from the environment, independent of whatever locale the process set, so that
// dates follow the user's own short date format. Rebuilt only when the environment changes.
locale_t UserTimeLocale() {
    static thread_local locale_t cached = nullptr;
    static thread_local std::string cachedKey = "\x01";
    std::string key;
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        key += value ? value : "";
        key += '\n';
    }
    if (key != cachedKey) {
        if (cached) freelocale(cached);
        cached = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
        if (!cached) cached = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
        cachedKey = key;
    }
    return cached;
}

std::string DateText(const Variant& value) {
    const DateParts parts = value.AsDateParts();
    struct tm when {};
    when.tm_year = parts.Year - 1900;
    when.tm_mon = parts.Month - 1;
    when.tm_mday = parts.Day;
    when.tm_hour = parts.Hour;
    when.tm_min = parts.Minute;
    when.tm_sec = parts.Second;
    when.tm_wday =
        static_cast<int>(((DaysFromCivil(parts.Year, parts.Month, parts.Day) % 7) + 11) % 7);
    when.tm_isdst = -1;
    const bool midnight = parts.Hour == 0 && parts.Minute == 0 && parts.Second == 0;
    char buffer[128];
    locale_t locale = UserTimeLocale();
    const char* format = midnight ? "%x" : "%x  %X";
    const size_t length = locale ? strftime_l(buffer, sizeof buffer, format, &when, locale)
                                 : std::strftime(buffer, sizeof buffer, format, &when);
    return std::string(buffer, length);
}

}  // namespace

bool DecimalValue::Parse(std::string_view text, DecimalValue& out) {
    DecimalValue value;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) value.Negative = text[i++] == '-';
    int digits = 0;
    int scale = 0;
    bool point = false;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') break;
        any = true;
        if (value.Mantissa == 0 && c == '0' && !point) continue;  // leading zeros cost no digits
        if (++digits > 38) return false;
        value.Mantissa = value.Mantissa * 10 + static_cast<unsigned>(c - '0');
        if (point) ++scale;
    }
    if (!any) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negativeExponent = text[i++] == '-';
        int exponent = 0;
        bool exponentDigits = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            exponent = exponent * 10 + (text[i] - '0');
            exponentDigits = true;
            if (exponent > 1000) return false;
        }
        if (!exponentDigits) return false;
        scale += negativeExponent ? exponent : -exponent;
    }
    if (i != text.size()) return false;
    while (scale < 0) {
        value.Mantissa *= 10;
        ++scale;
        if (value.Mantissa >= kMaxMantissa) return false;
    }
    if (scale > 38) return false;
    value.Scale = static_cast<uint8_t>(scale);
    if (value.Mantissa == 0) value.Negative = false;
    out = value;
    return true;
}

std::string DecimalValue::ToText() const {
    std::string digits;
    unsigned __int128 rest = Mantissa;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(rest % 10)));
        rest /= 10;
    } while (rest != 0);
    if (digits.size() <= Scale) digits.insert(0, Scale + 1 - digits.size(), '0');
    if (Scale > 0) digits.insert(digits.size() - Scale, 1, '.');
    if (Negative) digits.insert(0, 1, '-');
    return digits;
}

double DecimalValue::ToDouble() const {
    return std::strtod(ToText().c_str(), nullptr);
}

double DateToDays(int year, int month, int day, int hour, int minute, double second) {
    const int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDayZero;
    const double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    // Before day zero the time of day still counts forward, so it is subtracted from a negative
    // day number (-1.25 is 29 December 1899, 06:00).
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

bool ParseIsoDate(std::string_view text, double& days) {
    auto number = [&](size_t at, size_t count, int& out) {
        if (at + count > text.size()) return false;
        out = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            out = out * 10 + (text[i] - '0');
        }
        return true;
    };
    int year, month, day, hour = 0, minute = 0, second = 0;
    if (!number(0, 4, year) || text.size() < 10 || text[4] != '-' || !number(5, 2, month) ||
        text[7] != '-' || !number(8, 2, day))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    int dummyYear, checkMonth, checkDay;
    CivilFromDays(DaysFromCivil(year, month, day), dummyYear, checkMonth, checkDay);
    if (checkMonth != month || checkDay != day) return false;  // 30 February and the like
    double fraction = 0;
    if (text.size() > 10) {
        if ((text[10] != ' ' && text[10] != 'T') || !number(11, 2, hour) || text.size() < 16 ||
            text[13] != ':' || !number(14, 2, minute))
            return false;
        size_t at = 16;
        if (text.size() > at && text[at] == ':') {
            if (!number(at + 1, 2, second)) return false;
            at += 3;
            if (text.size() > at && text[at] == '.') {
                double scale = 0.1;
                for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
                    fraction += (text[at] - '0') * scale;
                    scale /= 10;
                }
            }
        }
        if (at != text.size() || hour > 23 || minute > 59 || second > 59) return false;
    }
    days = DateToDays(year, month, day, hour, minute, second + fraction);
    return true;
}

Variant Variant::MakeNull() {
    Variant v;
    v.type_ = VariantType::Null;
    return v;
}

#define ORVIK_INTEGER_MAKER(Name, CType, Tag) \
    Variant Variant::Name(CType value) {      \
        Variant v;                            \
        v.type_ = VariantType::Tag;           \
        v.integer_ = value;                   \
        return v;                             \
    }
ORVIK_INTEGER_MAKER(MakeI1, int8_t, I1)
ORVIK_INTEGER_MAKER(MakeUI1, uint8_t, UI1)
ORVIK_INTEGER_MAKER(MakeI2, int16_t, I2)
ORVIK_INTEGER_MAKER(MakeUI2, uint16_t, UI2)
ORVIK_INTEGER_MAKER(MakeI4, int32_t, I4)
ORVIK_INTEGER_MAKER(MakeUI4, uint32_t, UI4)
ORVIK_INTEGER_MAKER(MakeI8, int64_t, I8)
ORVIK_INTEGER_MAKER(MakeInt, int, Int)
ORVIK_INTEGER_MAKER(MakeUInt, unsigned, UInt)
ORVIK_INTEGER_MAKER(MakeCurrency, int64_t, Currency)
#undef ORVIK_INTEGER_MAKER

Variant Variant::MakeBool(bool value) {
    Variant v;
    v.type_ = VariantType::Bool;
    v.integer_ = value ? 1 : 0;
    return v;
}

Variant Variant::MakeUI8(uint64_t value) {
    Variant v;
    v.type_ = VariantType::UI8;
    v.unsigned_ = value;
    return v;
}

Variant Variant::MakeR4(float value) {
    Variant v;
    v.type_ = VariantType::R4;
    v.real_ = value;
    return v;
}

Variant Variant::MakeR8(double value) {
    Variant v;
    v.type_ = VariantType::R8;
    v.real_ = value;
    return v;
}

Variant Variant::MakeDecimal(const DecimalValue& value) {
    Variant v;
    v.type_ = VariantType::Decimal;
    v.decimalLow_ = static_cast<uint64_t>(value.Mantissa);
    v.decimalHigh_ = static_cast<uint64_t>(value.Mantissa >> 64);
    v.decimalScale_ = value.Scale;
    v.decimalNegative_ = value.Negative;
    return v;
}

Variant Variant::MakeDate(double days) {
    Variant v;
    v.type_ = VariantType::Date;
    v.real_ = days;
    return v;
}

Variant Variant::MakeDate(int year, int month, int day, int hour, int minute, double second) {
    return MakeDate(DateToDays(year, month, day, hour, minute, second));
}

Variant Variant::MakeString(std::string text) {
    Variant v;
    v.type_ = VariantType::String;
    v.text_ = std::move(text);
    return v;
}

int64_t Variant::AsInt64() const {
    switch (type_) {
        case VariantType::Empty:
        case VariantType::Null:
            return 0;
        case VariantType::UI8:
            return static_cast<int64_t>(unsigned_);
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Date:
            return std::isfinite(real_) ? static_cast<int64_t>(real_) : 0;
        case VariantType::Currency:
            return integer_ / 10000;
        case VariantType::Decimal: {
            const DecimalValue decimal = AsDecimal();
            unsigned __int128 whole = decimal.Mantissa;
            for (int i = 0; i < decimal.Scale; ++i) whole /= 10;
            const int64_t magnitude = static_cast<int64_t>(whole);
            return decimal.Negative ? -magnitude : magnitude;
        }
        case VariantType::String:
            return std::strtoll(text_.c_str(), nullptr, 10);
        default:
            return integer_;
    }
}

double Variant::AsDouble() const {
    switch (type_) {
        case VariantType::Empty:
        case VariantType::Null:
            return 0;
        case VariantType::UI8:
            return static_cast<double>(unsigned_);
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Date:
            return real_;
        case VariantType::Currency:
            return static_cast<double>(integer_) / 10000.0;
        case VariantType::Decimal:
            return AsDecimal().ToDouble();
        case VariantType::String:
            return std::strtod(text_.c_str(), nullptr);
        default:
            return static_cast<double>(integer_);
    }
}

DecimalValue Variant::AsDecimal() const {
    if (type_ != VariantType::Decimal) return {};
    DecimalValue decimal;
    decimal.Mantissa = (static_cast<unsigned __int128>(decimalHigh_) << 64) | decimalLow_;
    decimal.Scale = decimalScale_;
    decimal.Negative = decimalNegative_;
    return decimal;
}

DateParts Variant::AsDateParts() const {
    DateParts parts;
    const bool real =
        type_ == VariantType::Date || type_ == VariantType::R8 || type_ == VariantType::R4;
    const double days = real ? real_ : 0;
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return parts;  // outside any calendar a report could mean
    // Whole seconds are rounded first so that 23:59:59.6 becomes the next midnight.
    const double wholeDays = std::trunc(days);
    const double fraction = std::fabs(days - wholeDays);
    int64_t seconds = static_cast<int64_t>(std::llround(fraction * 86400.0));
    int64_t day = static_cast<int64_t>(wholeDays);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
    }
    CivilFromDays(day + kDayZero, parts.Year, parts.Month, parts.Day);
    parts.Hour = static_cast<int>(seconds / 3600);
    parts.Minute = static_cast<int>(seconds / 60 % 60);
    parts.Second = static_cast<int>(seconds % 60);
    return parts;
}

bool Variant::operator==(const Variant& other) const {
    if (type_ != other.type_) return false;
    switch (type_) {
        case VariantType::Empty:
        case VariantType::Null:
            return true;
        case VariantType::UI8:
            return unsigned_ == other.unsigned_;
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Date:
            return real_ == other.real_;
        case VariantType::Decimal:
            return AsDecimal() == other.AsDecimal();
        case VariantType::String:
            return text_ == other.text_;
        default:
            return integer_ == other.integer_;
    }
}

std::string CleanCellText(std::string text) {
    // Most cells need nothing done: say so without building two new strings.
    const bool leadingBlank =
        !text.empty() && (text[0] == ' ' || text[0] == '\t' || text[0] == '\n' || text[0] == '\r' ||
                          text[0] == '\v' || text[0] == '\f');
    if (!leadingBlank && text.find("\xC2\xA0") == std::string::npos &&
        text.find("  ") == std::string::npos)
        return text;
    size_t start = 0;
    while (start < text.size() &&
           (text[start] == ' ' || text[start] == '\t' || text[start] == '\n' ||
            text[start] == '\r' || text[start] == '\v' || text[start] == '\f'))
        ++start;
    std::string out;
    out.reserve(text.size() - start);
    // The non-breaking space is U+00A0, two bytes in UTF-8; dropping a lone 0xA0 byte would cut
    // Cyrillic letters such as "Р" (D0 A0) in half.
    for (size_t i = start; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            ++i;
            continue;
        }
        out += text[i];
    }
    // One pass over non-overlapping pairs, so four spaces become two.
    std::string result;
    result.reserve(out.size());
    for (size_t i = 0; i < out.size(); ++i) {
        result += out[i];
        if (out[i] == ' ' && i + 1 < out.size() && out[i + 1] == ' ') ++i;
    }
    return result;
}

std::string VariantToText(const Variant& value) {
    std::string text;
    switch (value.Type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return text;
        case VariantType::Currency:
            text = FixedText(static_cast<double>(value.AsCurrency()) / 10000.0, 2);
            break;
        case VariantType::R4:
            text = FixedText(value.AsDouble(), 6);
            break;
        case VariantType::R8:
            text = GroupedReal(value.AsDouble());
            break;
        case VariantType::Bool:
            text = value.AsInt64() != 0 ? "True" : "False";
            break;
        case VariantType::I1:
        case VariantType::UI1:
        case VariantType::I2:
        case VariantType::I4:
        case VariantType::Int:
            text = IntegerText(static_cast<int>(value.AsInt64()));
            break;
        case VariantType::UI2:
        case VariantType::UI4:
        case VariantType::UInt:
            text = IntegerText(static_cast<unsigned>(value.AsInt64()));
            break;
        case VariantType::I8:
            text = IntegerText(static_cast<long long>(value.AsInt64()));
            break;
        case VariantType::UI8:
            text = IntegerText(static_cast<unsigned long long>(value.AsInt64()));
            break;
        case VariantType::Decimal:
            text = value.AsDecimal().ToText();
            break;
        case VariantType::Date:
            text = DateText(value);
            break;
        case VariantType::String:
            text = value.AsString();
            break;
    }
    return CleanCellText(std::move(text));
}
