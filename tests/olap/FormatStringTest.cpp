#include "olap/FormatString.h"

#include <gtest/gtest.h>

#include <random>

namespace orvik::cube {
namespace {

TEST(FormatNumber, WholeNumbersInTheDefaultFormatAreWrittenAsTheirPatternWritesThem) {
    // The default format of a whole number takes a short way; it must agree with the pattern
    // it stands for, signs, zero and grouping included.
    std::mt19937_64 random(7);
    std::vector<double> values = {0.0,  -0.0,  1,         -1,         999,
                                  1000, -1000, 123456789, -987654321, 99999999999999.0};
    for (int i = 0; i < 2000; ++i)
        values.push_back(static_cast<double>(static_cast<long long>(random() % 2000000000000ull) -
                                             1000000000000ll));
    for (const double value : values)
        for (const char* named : {"", "Standard", "General Number"})
            ASSERT_EQ(FormatNumber(value, named), FormatNumber(value, "#,##0"))
                << value << " as '" << named << "'";
    EXPECT_EQ(FormatNumber(-1234567, ""), "-1,234,567");
    EXPECT_EQ(FormatNumber(-0.0, ""), "0");
}

TEST(FormatNumber, RoundsHalfUpAtTheLastPlaceButLeavesWholeValuesAsTheyAre) {
    EXPECT_EQ(FormatNumber(676.255, "#,##0.00"), "676.26");
    EXPECT_EQ(FormatNumber(1.005, "Standard"), "1.01");
    EXPECT_EQ(FormatNumber(-2.5, "0"), "-3");
    // Past 10^14 the half-unit nudge used to add to a value that needed no rounding at all.
    EXPECT_EQ(FormatNumber(500000000000000.0, "#,##0"), "500,000,000,000,000");
    EXPECT_EQ(FormatNumber(1234567890123456.0, "0.00"), "1234567890123456.00");
    EXPECT_EQ(FormatNumber(0.125, "Percent"), "12.50%");
    EXPECT_EQ(FormatNumber(1234.5, "Currency"), "$1,234.50");
    EXPECT_EQ(FormatNumber(-3, "#,##0;(#,##0)"), "(3)");
    EXPECT_EQ(FormatNumber(0, "#,##0;(#,##0);\"nil\""), "nil");
}

TEST(FormatNumber, AFormatReadOnceAgreesWithItselfAcrossFormatsAndValues) {
    // The last format's sections are kept between calls: alternating formats and signs must
    // each be read afresh, and give what each gives alone.
    const std::vector<std::string> formats = {
        "", "Standard", "#,##0.00;(#,##0.00);\"zero\"", "0.0%", "Currency", "\\$0.000", "#"};
    std::mt19937_64 random(11);
    std::vector<std::pair<std::string, double>> asked;
    std::vector<std::string> first;
    for (int i = 0; i < 3000; ++i) {
        const std::string& format = formats[random() % formats.size()];
        const double value =
            static_cast<double>(static_cast<long long>(random() % 2000001) - 1000000) /
            static_cast<double>(1 + random() % 1000);
        asked.emplace_back(format, i % 97 == 0 ? 0.0 : value);
        first.push_back(FormatNumber(asked.back().second, format));
    }
    for (size_t i = asked.size(); i-- > 0;)
        ASSERT_EQ(FormatNumber(asked[i].second, asked[i].first), first[i])
            << asked[i].second << " as '" << asked[i].first << "'";
    EXPECT_EQ(FormatNumber(0, "#,##0.00;(#,##0.00);\"zero\""), "zero");
    EXPECT_EQ(FormatNumber(-1234.5, "#,##0.00;(#,##0.00);\"zero\""), "(1,234.50)");
    EXPECT_EQ(FormatNumber(-1234.567, ""), "-1,234.57");
    EXPECT_EQ(FormatNumber(-0.001, "Standard"), "0.00");
    EXPECT_EQ(FormatNumber(2.5, "\\$0.000"), "$2.500");
}

}  // namespace
}  // namespace orvik::cube
