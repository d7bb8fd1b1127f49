// A database value as the rest of the program sees it: one small tagged value with the types a
// result column can carry (integers of each width, reals, currency, exact decimals, dates, text),
// plus the rule that turns any of them into the text a grid cell, a formula or a page shows.
// Dates are kept as day numbers counted from 30 December 1899 with the time of day as the
// fraction, so that arithmetic on them stays what report authors coming from Windows expect.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The kind of value a Variant holds. The numbering is internal; only the names matter.
enum class VariantType : uint8_t {
    Empty,
    Null,
    Bool,
    I1,
    UI1,
    I2,
    UI2,
    I4,
    UI4,
    I8,
    UI8,
    Int,   // the machine integer
    UInt,  // the machine unsigned integer
    R4,
    R8,
    Currency,  // a 64-bit count of ten-thousandths
    Decimal,   // an exact decimal: up to 38 digits and a scale
    Date,
    String,
};

// An exact decimal number: |Mantissa| / 10^Scale, negative when Negative is set.
struct DecimalValue {
    unsigned __int128 Mantissa = 0;
    uint8_t Scale = 0;
    bool Negative = false;

    // Parses "[+-]digits[.digits]" (an exponent "e[+-]n" is applied too); false when `text` is
    // not such a number or does not fit in 38 digits.
    static bool Parse(std::string_view text, DecimalValue& out);
    // The exact text: optional minus sign, digits, and Scale digits after ".".
    std::string ToText() const;
    // The nearest double.
    double ToDouble() const;
    bool operator==(const DecimalValue&) const = default;
};

// Calendar parts of a date value, the second rounded to a whole second.
struct DateParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0;
};

class Variant {
  public:
    // An empty value (nothing was ever assigned).
    Variant() = default;

    static Variant MakeNull();
    static Variant MakeBool(bool value);
    static Variant MakeI1(int8_t value);
    static Variant MakeUI1(uint8_t value);
    static Variant MakeI2(int16_t value);
    static Variant MakeUI2(uint16_t value);
    static Variant MakeI4(int32_t value);
    static Variant MakeUI4(uint32_t value);
    static Variant MakeI8(int64_t value);
    static Variant MakeUI8(uint64_t value);
    static Variant MakeInt(int value);
    static Variant MakeUInt(unsigned value);
    static Variant MakeR4(float value);
    static Variant MakeR8(double value);
    // `tenThousandths` is the amount times 10000, as currency is stored.
    static Variant MakeCurrency(int64_t tenThousandths);
    static Variant MakeDecimal(const DecimalValue& value);
    // `days` counts from 30 December 1899; the fraction is the time of day.
    static Variant MakeDate(double days);
    // A date from calendar parts (seconds may carry a fraction).
    static Variant MakeDate(int year, int month, int day, int hour = 0, int minute = 0,
                            double second = 0);
    static Variant MakeString(std::string text);

    VariantType Type() const { return type_; }
    bool IsEmpty() const { return type_ == VariantType::Empty; }
    bool IsNull() const { return type_ == VariantType::Null; }

    // The value as a signed integer (reals truncated, decimals and currency truncated, strings
    // parsed by their leading integer, dates by their day number; empty and null give 0).
    int64_t AsInt64() const;
    // The value as a double (strings parsed by their leading number; empty and null give 0).
    double AsDouble() const;
    // The stored text of a string value; empty for every other type.
    const std::string& AsString() const { return text_; }
    // The decimal of a Decimal value; zero for every other type.
    DecimalValue AsDecimal() const;
    // The currency amount times 10000 of a Currency value.
    int64_t AsCurrency() const { return type_ == VariantType::Currency ? integer_ : 0; }
    // The day number of a Date value.
    double AsDate() const { return type_ == VariantType::Date ? real_ : 0; }
    // The calendar parts of a Date value (rounded to the second).
    DateParts AsDateParts() const;

    bool operator==(const Variant& other) const;

  private:
    // Grids and cell sets hold values by the million: one number's room serves every type, and
    // a decimal's 128-bit mantissa is kept as two halves, so a value is 56 bytes, not 96.
    VariantType type_ = VariantType::Empty;
    uint8_t decimalScale_ = 0;
    bool decimalNegative_ = false;
    union {
        int64_t integer_ = 0;  // every integer type but UI8, bool, currency
        uint64_t unsigned_;    // UI8
        double real_;          // R4, R8, Date
        uint64_t decimalLow_;  // the low half of a decimal's mantissa
    };
    uint64_t decimalHigh_ = 0;
    std::string text_;
};

// The display text of a database value: empty for empty and null; "%.2f" for currency; "%f" for
// 4-byte reals; "%.2f" with thousands grouped by spaces (the sign is not a digit) for 8-byte
// reals; "True"/"False"; "%d" for the integer types; a date alone when its time is midnight, else
// locale date and time; strings as they are. Leading white space and non-breaking spaces are then
// removed and double spaces become single ones.
std::string VariantToText(const Variant& value);

// Removes leading white space and every non-breaking space, then turns each double space into one
// (one left-to-right pass). Shared by the cell and header texts of data sources.
std::string CleanCellText(std::string text);

// The day number of a calendar date and time (proleptic Gregorian calendar).
double DateToDays(int year, int month, int day, int hour, int minute, double second);
// Parses "YYYY-MM-DD", optionally followed by " " or "T" and "HH:MM[:SS[.fff]]"; false when
// `text` is not such a date.
bool ParseIsoDate(std::string_view text, double& days);
