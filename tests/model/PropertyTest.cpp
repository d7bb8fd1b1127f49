#include <gtest/gtest.h>

#include "model/OvCombos.h"
#include "model/OvInfoProp.h"
#include "model/PropertyEncoding.h"

namespace {

std::vector<std::unique_ptr<COvCombos>> SampleLists() {
    std::vector<std::unique_ptr<COvCombos>> entries;
    entries.push_back(std::make_unique<COvCombos>(1, "SQL", "SQL Query", -1));
    entries.push_back(std::make_unique<COvCombos>(2, "X", "", -1));
    entries.push_back(std::make_unique<COvCombos>(1, "OLAP", "OLAP Report", -1));
    entries.push_back(std::make_unique<COvCombos>(2, "OLAP", "Other list", -1));
    return entries;
}

TEST(Property, ConstructionDefaults) {
    const COvInfoProp p(nullptr, 3, "bVis", "", "1", 0, PropKind::Text);
    EXPECT_EQ(p.Flags, 0x25u);
    EXPECT_EQ(p.Caption, "bVis");
    EXPECT_EQ(p.BaseCaption, "bVis");
    EXPECT_EQ(p.Value, "");
    EXPECT_EQ(p.ValueIndex, -1);
    EXPECT_TRUE(p.IsVisible() && p.IsStored() && !p.IsReadOnly());
    EXPECT_TRUE(p.IsOption(0x25));
    EXPECT_FALSE(p.IsOption(0x35));
    EXPECT_EQ(COvCombos(1, "GRID", "", -1).Caption, "GRID");
}

TEST(Property, CopyPropTakesEverythingButTheReferrer) {
    const int owner = 0;
    COvInfoProp source(&owner, 4, "nCube", "Cube", "d", 0x15, PropKind::List, 7);
    source.Value = "Sales";
    source.ValueIndex = 2;
    source.RefBy = &source;
    const COvInfoProp copy(source, 1);
    EXPECT_EQ(copy.Appended, 1);
    EXPECT_EQ(copy.RefBy, nullptr);
    EXPECT_EQ(copy.Value, "Sales");
    EXPECT_EQ(copy.ValueIndex, 2);
    EXPECT_EQ(copy.ComboId, 7u);
    EXPECT_EQ(copy.Owner, &owner);
}

TEST(Property, SetIntAndString) {
    COvInfoProp p(nullptr, 0, "n", "", "", 0, PropKind::Text);
    p.PISetInt(-42, 0x15);
    EXPECT_EQ(p.Value, "-42");
    EXPECT_EQ(p.ValueIndex, -42);
    EXPECT_EQ(p.Flags, 0x15u);
    p.PISetString("text");
    EXPECT_EQ(p.Value, "text");
    EXPECT_EQ(p.ValueIndex, 0);
    EXPECT_EQ(p.Flags, 0x15u);  // 0 keeps the flags
}

TEST(Property, SetComboCountsOnlyTheRequestedList) {
    const auto entries = SampleLists();
    COvInfoProp p(nullptr, 0, "tpDS", "", "SQL", 0, PropKind::List, 1);
    p.PISetCombo("OLAP", &entries, 1);
    EXPECT_EQ(p.Value, "OLAP");
    EXPECT_EQ(p.ValueIndex, 1);  // second entry of list 1, not fourth of the array
    EXPECT_EQ(p.SelectedEntry(), entries[2].get());

    // An unknown value empties Value but keeps index and selection.
    p.PISetCombo("Nope", &entries, 1);
    EXPECT_EQ(p.Value, "");
    EXPECT_EQ(p.ValueIndex, 1);
    EXPECT_EQ(p.SelectedEntry(), entries[2].get());

    // An empty value re-selects the current one; names are case-sensitive.
    p.Value = "SQL";
    p.PISetCombo("", &entries, 1);
    EXPECT_EQ(p.ValueIndex, 0);
    p.PISetCombo("sql", &entries, 1);
    EXPECT_EQ(p.Value, "");
    p.Value = "SQL";
    p.PISetCombo("SQL", nullptr, 1);
    EXPECT_EQ(p.Value, "");
}

TEST(PropertyEncoding, Colours) {
    EXPECT_EQ(EncodeColour({0, 255, 0}), "0,255,0");
    EXPECT_EQ(DecodeColour("192,192,192"), (Rgb{192, 192, 192}));
    EXPECT_EQ(DecodeColour(" 1, 2 ,3"), (Rgb{1, 2, 3}));
    EXPECT_FALSE(DecodeColour("256,0,0"));
    EXPECT_FALSE(DecodeColour("1,2"));
    EXPECT_FALSE(DecodeColour("red"));
    EXPECT_FALSE(DecodeColour("1,,3"));
}

TEST(PropertyEncoding, Fonts) {
    // Bold italic 12-point Arial: 16 pixels at 96 dots per inch.
    FontChoice arial{"Arial", -16, 700, true, false, false, 204};
    EXPECT_EQ(EncodeFont(arial), "Arial,120,BI,204,");
    // Sizes round up to a whole point: 13 px = 9.75 pt -> 10 pt.
    EXPECT_EQ(EncodeFont({"Tahoma", 13, 400, false, true, true, 0}), "Tahoma,100,-US,0,");

    const auto full = DecodeFont("Arial,120,BI,204,");
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, (FontSetting{"Arial", 120, true, true, false, false, 204}));
    const auto shortForm = DecodeFont("Arial,100");
    ASSERT_TRUE(shortForm);
    EXPECT_EQ(*shortForm, (FontSetting{"Arial", 100, false, false, false, false, 0}));
    EXPECT_EQ(DecodeFont("Courier New,90,-S,0,")->StrikeOut, true);
    EXPECT_FALSE(DecodeFont(""));
    EXPECT_FALSE(DecodeFont(",100"));
}

TEST(PropertyEncoding, DatesIntegersAndPaths) {
    EXPECT_EQ(EncodeDate(2026, 3, 7), "2026-03-07");
    EXPECT_EQ(EncodeTime(9, 5, 0), "09:05:00");
    EXPECT_TRUE(IsTimeFormat(0x9));
    EXPECT_FALSE(IsTimeFormat(0x8));
    EXPECT_TRUE(IsValidDate("2024-02-29"));
    EXPECT_FALSE(IsValidDate("2023-02-29"));
    EXPECT_FALSE(IsValidDate("2023-13-01"));
    EXPECT_FALSE(IsValidDate("2023-1-01"));
    EXPECT_EQ(ReduceToInteger("12abc"), "12");
    EXPECT_EQ(ReduceToInteger("abc"), "0");
    EXPECT_EQ(ReduceToInteger(" -7x"), "-7");
    EXPECT_EQ(StoredPath("/opt/orvik/Images/Logo.png", "/opt/orvik/", false), "Images/Logo.png");
    EXPECT_EQ(StoredPath("/opt/Orvik/x.png", "/opt/orvik/", false), "/opt/Orvik/x.png");
    EXPECT_EQ(StoredPath("C:\\Data\\Out", "/opt/orvik/", true), "C:/Data/Out/");
    EXPECT_EQ(StoredPath("/opt/orvik/HTML", "/opt/orvik", true), "HTML/");
}

TEST(PropertyEncoding, EditedTextIsStoredByKind) {
    const auto entries = SampleLists();
    COvInfoProp number(nullptr, 0, "n", "", "", PropFlag::Boolean, PropKind::Text);
    ApplyEditedText(number, "12 rows", entries, "/opt/orvik/");
    EXPECT_EQ(number.Value, "12");
    EXPECT_EQ(number.ValueIndex, 12);

    COvInfoProp list(nullptr, 0, "tpDS", "", "", 0, PropKind::List, 1);
    ApplyEditedText(list, "OLAP Report", entries, "/opt/orvik/");
    EXPECT_EQ(list.Value, "OLAP");
    EXPECT_EQ(list.SelectedEntry(), entries[2].get());

    COvInfoProp file(nullptr, 0, "SPF", "", "", 0, PropKind::File);
    ApplyEditedText(file, "/opt/orvik/Images/Bar.PNG", entries, "/opt/orvik/");
    EXPECT_EQ(file.Value, "Images/Bar.PNG");

    COvInfoProp date(nullptr, 0, "d", "", "", 0, PropKind::DateTime);
    ApplyEditedText(date, "2026-12-06", entries, "");
    ApplyEditedText(date, "2026-02-30", entries, "");
    EXPECT_EQ(date.Value, "2026-12-06");
}

}  // namespace
