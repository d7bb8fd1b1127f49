// The workbook plug-in's cell rules on their own: which page texts become numbers (and with which
// format), and which worksheet names a workbook gets. What a user sees in the workbook is
// checked end to end by tests/integration/xlsx_workbook.sh.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "XlsxCells.h"

namespace xlsx {
namespace {

struct Shown {
    const char* Text;
    bool IsNumber;
    double Value;
    const char* Format;
};

// A text stays a text unless the page spells a plain number that way: a code with a leading
// zero, a sign the page never writes, a blank around it, an exponent or a decimal comma is
// something else, and changing it would change what the reader sees.
TEST(XlsxCellsTest, ShownTextBecomesANumberOnlyWhenThePageSpellsOneSo) {
    const Shown cases[] = {
        {"0", true, 0, "0"},
        {"0.5", true, 0.5, "0.0"},
        {"-0.5", true, -0.5, "0.0"},
        {"17", true, 17, "0"},
        {"-17", true, -17, "0"},
        {"0.50", true, 0.5, "0.00"},
        {"1 234.50", true, 1234.5, "#,##0.00"},
        {"1\xC2\xA0"
         "234",
         true, 1234, "#,##0"},
        {"1,234", true, 1234, "#,##0"},
        {"-1 234 567.25", true, -1234567.25, "#,##0.00"},
        {"12 345 678 901 234", true, 12345678901234, "#,##0"},
        // The page groups at most three times: a larger number keeps a longer first group.
        {"1234 567 890 123", true, 1234567890123, "#,##0"},
        {"123456789012345", true, 123456789012345, "0"},
        {"07", false, 0, ""},
        {"-07", false, 0, ""},
        {"007.0", false, 0, ""},
        {"00", false, 0, ""},
        {"0 123", false, 0, ""},
        {"0,123", false, 0, ""},
        {"-0 123", false, 0, ""},
        {"+7", false, 0, ""},
        {" 7", false, 0, ""},
        {"7 ", false, 0, ""},
        {"1e5", false, 0, ""},
        {"1,5", false, 0, ""},
        {"1.", false, 0, ""},
        {".5", false, 0, ""},
        {"1.2.3", false, 0, ""},
        {"1 2345", false, 0, ""},
        {"1  234", false, 0, ""},
        {"1234 567", false, 0, ""},
        {"-", false, 0, ""},
        {"", false, 0, ""},
        // More digits than a double keeps would not read back as shown: an account number.
        {"1234567890123456", false, 0, ""},
        {"12345678901234567890", false, 0, ""},
        // A workbook shows at most 30 decimals; a longer fraction could not be shown as it is.
        {"0.0000000000000000000000000000001", false, 0, ""},
    };
    for (const Shown& shown : cases) {
        SCOPED_TRACE(std::string("text '") + shown.Text + "'");
        ShownNumber number;
        ASSERT_EQ(ReadShownNumber(shown.Text, number), shown.IsNumber);
        if (!shown.IsNumber) continue;
        EXPECT_EQ(number.Value, shown.Value);
        EXPECT_EQ(NumberFormatFor(number), shown.Format);
    }
}

TEST(XlsxCellsTest, ThirtyDecimalsAreStillANumber) {
    ShownNumber number;
    ASSERT_TRUE(ReadShownNumber("0.000000000000000000000000000001", number));
    EXPECT_EQ(number.Decimals, 30);
    EXPECT_DOUBLE_EQ(number.Value, 1e-30);
}

TEST(XlsxCellsTest, TextsBecomeValidUtf8AndAreCutWithoutSplittingACharacter) {
    // Overlong forms, surrogates, code points past U+10FFFF and cut sequences are no UTF-8.
    EXPECT_EQ(ValidUtf8("a\xC0\xAF"
                        "b"),
              "a\xEF\xBF\xBD\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    const std::string replaced = "\xEF\xBF\xBD";
    EXPECT_EQ(ValidUtf8("\xF4\x90\x80\x80"), replaced + replaced + replaced + replaced);
    EXPECT_EQ(ValidUtf8("caf\xC3"), "caf\xEF\xBF\xBD");
    const std::string valid = "Caf\xC3\xA9 \xD0\x9F \xE2\x82\xAC \xF0\x9F\x98\x80";
    EXPECT_EQ(ValidUtf8(valid), valid);
    EXPECT_EQ(CharacterCount(valid), 10u);

    EXPECT_EQ(CutUtf8(valid, 4), "Caf");
    EXPECT_EQ(CutUtf8(valid, 5), "Caf\xC3\xA9");
    EXPECT_EQ(CutUtf8(valid, valid.size() - 1), valid.substr(0, valid.size() - 4));
    EXPECT_EQ(CutUtf8("abc", 10), "abc");
}

TEST(XlsxCellsTest, SheetNamesAreMadeSafeShortAndUnique) {
    std::set<std::string> taken;
    EXPECT_EQ(UniqueSheetName("Items/2024: Q1?", taken), "Items_2024_ Q1_");
    EXPECT_EQ(UniqueSheetName("Items_2024_ Q1_", taken), "Items_2024_ Q1_ (2)");
    EXPECT_EQ(UniqueSheetName("ITEMS_2024_ q1_", taken), "ITEMS_2024_ q1_ (3)");
    EXPECT_EQ(UniqueSheetName("[a]*b\\c\td", taken), "_a__b_c_d");
    EXPECT_EQ(UniqueSheetName("''quoted''", taken), "quoted");
    EXPECT_EQ(UniqueSheetName("'''", taken), "Sheet");
    EXPECT_EQ(UniqueSheetName("", taken), "Sheet (2)");
    // The workbook keeps "History" for itself.
    EXPECT_EQ(UniqueSheetName("History", taken), "History (2)");
    EXPECT_EQ(UniqueSheetName("bad\xFF", taken), "bad\xEF\xBF\xBD");
}

TEST(XlsxCellsTest, LongSheetNamesAreCutToThirtyOneUnitsWithRoomForTheirNumber) {
    std::set<std::string> taken;
    const std::string longName(40, 'x');
    EXPECT_EQ(UniqueSheetName(longName, taken), std::string(31, 'x'));
    EXPECT_EQ(UniqueSheetName(longName, taken), std::string(27, 'x') + " (2)");
    // A character beyond the basic plane counts twice, and is never cut in half.
    const std::string smile = "\xF0\x9F\x98\x80";
    std::string smiles;
    for (int i = 0; i < 16; ++i) smiles += smile;
    std::string fifteen;
    for (int i = 0; i < 15; ++i) fifteen += smile;
    EXPECT_EQ(UniqueSheetName(smiles, taken), fifteen);
    // A cut that ends on an apostrophe loses it too.
    EXPECT_EQ(UniqueSheetName(std::string(30, 'y') + "'z", taken), std::string(30, 'y'));
}

// A workbook holds no two sheets whose names differ in the case of their letters, in any
// script; two such names would make it unreadable until repaired.
TEST(XlsxCellsTest, SheetNamesDifferingInCaseClashInEveryScript) {
    std::set<std::string> taken;
    EXPECT_EQ(UniqueSheetName("\xD0\x98\xD1\x82\xD0\xBE\xD0\xB3\xD0\xB8", taken),  // Итоги
              "\xD0\x98\xD1\x82\xD0\xBE\xD0\xB3\xD0\xB8");
    EXPECT_EQ(UniqueSheetName("\xD0\x98\xD0\xA2\xD0\x9E\xD0\x93\xD0\x98", taken),  // ИТОГИ
              "\xD0\x98\xD0\xA2\xD0\x9E\xD0\x93\xD0\x98 (2)");
    EXPECT_EQ(UniqueSheetName("\xC3\x84pfel", taken), "\xC3\x84pfel");      // Äpfel
    EXPECT_EQ(UniqueSheetName("\xC3\xA4PFEL", taken), "\xC3\xA4PFEL (2)");  // äPFEL
    EXPECT_EQ(UniqueSheetName("\xC5\x81\xC3\xB3"
                              "d\xC5\xBA",
                              taken),  // Łódź
              "\xC5\x81\xC3\xB3"
              "d\xC5\xBA");
    EXPECT_EQ(UniqueSheetName("\xC5\x82\xC3\x93"
                              "D\xC5\xB9",
                              taken),  // łÓDŹ
              "\xC5\x82\xC3\x93"
              "D\xC5\xB9 (2)");
    EXPECT_EQ(UniqueSheetName("\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0", taken),  // Ёлка
              "\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0");
    EXPECT_EQ(UniqueSheetName("\xD1\x91\xD0\xBB\xD0\xBA\xD0\xB0", taken),  // ёлка
              "\xD1\x91\xD0\xBB\xD0\xBA\xD0\xB0 (2)");
    // Letters that only look alike are different names.
    EXPECT_EQ(UniqueSheetName("\xC3\x97", taken), "\xC3\x97");  // ×
    EXPECT_EQ(UniqueSheetName("\xC3\xB7", taken), "\xC3\xB7");  // ÷
}

}  // namespace
}  // namespace xlsx
