// Display texts of database values, exact decimals, dates, and the compact row store under them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "data/RowStore.h"
#include "data/Variant.h"

namespace {

TEST(VariantToText, RealsGroupThousandsWithoutCountingTheSign) {
    EXPECT_EQ(VariantToText(Variant::MakeR8(-123.45)), "-123.45");
    EXPECT_EQ(VariantToText(Variant::MakeR8(-1234.5)), "-1 234.50");
    EXPECT_EQ(VariantToText(Variant::MakeR8(1234.5)), "1 234.50");
    EXPECT_EQ(VariantToText(Variant::MakeR8(123.456)), "123.46");
    EXPECT_EQ(VariantToText(Variant::MakeR8(1234567.891)), "1 234 567.89");
    EXPECT_EQ(VariantToText(Variant::MakeR8(-1234567.891)), "-1 234 567.89");
    // Three separators at most.
    EXPECT_EQ(VariantToText(Variant::MakeR8(1e15)), "1000000 000 000 000.00");
    EXPECT_EQ(VariantToText(Variant::MakeR8(0.0 / 0.0)).find(' '), std::string::npos);
    // Only 8-byte reals are grouped.
    EXPECT_EQ(VariantToText(Variant::MakeR4(1234.5f)), "1234.500000");
    EXPECT_EQ(VariantToText(Variant::MakeCurrency(12345678)), "1234.57");
}

TEST(VariantToText, IntegersBooleansDecimalsAndNothing) {
    EXPECT_EQ(VariantToText(Variant()), "");
    EXPECT_EQ(VariantToText(Variant::MakeNull()), "");
    EXPECT_EQ(VariantToText(Variant::MakeBool(true)), "True");
    EXPECT_EQ(VariantToText(Variant::MakeBool(false)), "False");
    EXPECT_EQ(VariantToText(Variant::MakeI2(-7)), "-7");
    EXPECT_EQ(VariantToText(Variant::MakeUI1(255)), "255");
    EXPECT_EQ(VariantToText(Variant::MakeI4(-2147483647 - 1)), "-2147483648");
    EXPECT_EQ(VariantToText(Variant::MakeUI4(4000000000u)), "4000000000");
    EXPECT_EQ(VariantToText(Variant::MakeI8(-9000000000LL)), "-9000000000");
    EXPECT_EQ(VariantToText(Variant::MakeUI8(18446744073709551615ULL)), "18446744073709551615");
    DecimalValue decimal;
    ASSERT_TRUE(DecimalValue::Parse("-0001234.500", decimal));
    EXPECT_EQ(VariantToText(Variant::MakeDecimal(decimal)), "-1234.500");
}

TEST(VariantToText, TextIsCleanedAndCyrillicKeptWhole) {
    EXPECT_EQ(VariantToText(Variant::MakeString(" \t\r\nleading  gone  ")), "leading gone ");
    // Four spaces become two: one pass, pairs do not overlap.
    EXPECT_EQ(VariantToText(Variant::MakeString("a    b")), "a  b");
    // U+00A0 goes; "Р" (D0 A0) ends in the same byte and must survive.
    EXPECT_EQ(VariantToText(Variant::MakeString("1\xC2\xA0"
                                                "000 Рубль")),
              "1000 Рубль");
}

TEST(VariantToText, MidnightShowsTheDateAlone) {
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(VariantToText(Variant::MakeDate(2024, 12, 31)), "12/31/24");
    EXPECT_EQ(VariantToText(Variant::MakeDate(2024, 12, 31, 23, 5, 9)), "12/31/24 23:05:09");
    // Rounded to the second first: nearly midnight is the next day's midnight.
    EXPECT_EQ(VariantToText(Variant::MakeDate(2024, 12, 31, 23, 59, 59.6)), "01/01/25");
    EXPECT_EQ(VariantToText(Variant::MakeDate(1899, 12, 29, 6, 0, 0)), "12/29/99 06:00:00");
    EXPECT_DOUBLE_EQ(Variant::MakeDate(1899, 12, 29, 6, 0, 0).AsDate(), -1.25);
    EXPECT_DOUBLE_EQ(Variant::MakeDate(1900, 1, 1).AsDate(), 2.0);
}

TEST(ParseIsoDate, AcceptsDatesAndTimesRejectsImpossibleOnes) {
    double days = 0;
    ASSERT_TRUE(ParseIsoDate("2024-02-29", days));
    EXPECT_EQ(Variant::MakeDate(days).AsDateParts().Day, 29);
    ASSERT_TRUE(ParseIsoDate("2024-03-01T10:30:15.5", days));
    const DateParts parts = Variant::MakeDate(days).AsDateParts();
    EXPECT_EQ(parts.Hour * 10000 + parts.Minute * 100 + parts.Second, 103016);
    ASSERT_TRUE(ParseIsoDate("2024-03-01 10:30", days));
    for (const char* bad : {"2023-02-29", "2024-13-01", "2024-03-01 25:00", "2024-3-1",
                            "2024-03-01x", "not a date", ""})
        EXPECT_FALSE(ParseIsoDate(bad, days)) << bad;
}

TEST(DecimalValue, ParsesExactlyAndRefusesWhatDoesNotFit) {
    DecimalValue value;
    ASSERT_TRUE(DecimalValue::Parse(".5", value));
    EXPECT_EQ(value.ToText(), "0.5");
    ASSERT_TRUE(DecimalValue::Parse("-0.00", value));
    EXPECT_EQ(value.ToText(), "0.00");  // no negative zero
    ASSERT_TRUE(DecimalValue::Parse("1.5e3", value));
    EXPECT_EQ(value.ToText(), "1500");
    ASSERT_TRUE(DecimalValue::Parse("12345678901234567890123456789012345678", value));
    EXPECT_EQ(value.ToText(), "12345678901234567890123456789012345678");
    EXPECT_FALSE(DecimalValue::Parse("123456789012345678901234567890123456789", value));
    for (const char* bad : {"", "-", "1.2.3", "12a", "1e", "NaN"})
        EXPECT_FALSE(DecimalValue::Parse(bad, value)) << bad;
    ASSERT_TRUE(DecimalValue::Parse("-42.99", value));
    EXPECT_EQ(Variant::MakeDecimal(value).AsInt64(), -42);
    EXPECT_DOUBLE_EQ(Variant::MakeDecimal(value).AsDouble(), -42.99);
}

TEST(RowStore, EveryCellComesBackAcrossChunkBoundaries) {
    RowStore store;
    store.SetFields(
        {{"i", VariantType::I4}, {"s", VariantType::String}, {"x", VariantType::Empty}});
    DecimalValue decimal, wide;  // one fits a cell, the other needs the arena
    ASSERT_TRUE(DecimalValue::Parse("-12.345", decimal));
    ASSERT_TRUE(DecimalValue::Parse("-123456789012345678901234567.8901", wide));
    const size_t rows = 140000;               // past the doubling chunks and two large ones
    const std::string longText(300000, 'q');  // bigger than an arena block
    for (size_t r = 0; r < rows; ++r) {
        store.AppendRow();
        store.PutInteger(0, VariantType::I4, static_cast<int64_t>(r));
        if (r == 70000)
            store.PutText(1, longText);
        else
            store.PutText(1, std::string(r % 7, 'a') + std::to_string(r));
        switch (r % 5) {
            case 0:
                store.PutNull(2);
                break;
            case 1:
                store.PutReal(2, VariantType::R8, r / 4.0);
                break;
            case 2:
                store.PutDecimal(2, decimal);
                break;
            case 3:
                store.PutReal(2, VariantType::Date, 45000.5);
                break;
            default:
                break;  // stays empty
        }
    }
    ASSERT_EQ(store.RowCount(), rows);
    for (size_t r = 0; r < rows; r += (r < 70010 && r > 69990) ? 1 : 997) {
        EXPECT_EQ(store.Get(r, 0).AsInt64(), static_cast<int64_t>(r));
        const std::string expected =
            r == 70000 ? longText : std::string(r % 7, 'a') + std::to_string(r);
        EXPECT_EQ(store.Get(r, 1).AsString(), expected) << r;
        const Variant x = store.Get(r, 2);
        switch (r % 5) {
            case 0:
                EXPECT_TRUE(x.IsNull());
                break;
            case 1:
                EXPECT_EQ(x, Variant::MakeR8(r / 4.0));
                break;
            case 2:
                EXPECT_EQ(x, Variant::MakeDecimal(decimal));
                break;
            case 3:
                EXPECT_EQ(x, Variant::MakeDate(45000.5));
                break;
            default:
                EXPECT_TRUE(x.IsEmpty());
                break;
        }
    }
    EXPECT_EQ(store.Get(rows - 1, 0).AsInt64(), static_cast<int64_t>(rows - 1));
    EXPECT_EQ(store.TypeAt(3, 2), VariantType::Date);
}

}  // namespace
