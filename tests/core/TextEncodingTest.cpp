#include <gtest/gtest.h>
#include <iconv.h>

#include "core/TextEncoding.h"

namespace orvik {
namespace {

// An independent converter to check the code-page table against.
std::string IconvToUtf8(const std::string& cp1251) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    std::string in = cp1251, out(in.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1)) return "<iconv failed>";
    out.resize(out.size() - outLeft);
    return out;
}

TEST(TextEncoding, EveryAssignedByteMatchesAnIndependentConverterAndRoundTrips) {
    for (int byte = 1; byte < 256; ++byte) {
        if (byte == 0x98) continue;  // unassigned in windows-1251
        const std::string one(1, static_cast<char>(byte));
        const std::string utf8 = Cp1251ToUtf8(one);
        EXPECT_EQ(utf8, IconvToUtf8(one)) << "byte " << byte;
        EXPECT_EQ(Utf8ToCp1251(utf8), one) << "byte " << byte;
    }
}

TEST(TextEncoding, CharactersOutsideTheCodePageAreRefusedNotDropped) {
    EXPECT_EQ(Utf8ToCp1251("Привет"), std::optional<std::string>("\xCF\xF0\xE8\xE2\xE5\xF2"));
    EXPECT_FALSE(Utf8ToCp1251("日本").has_value());
    EXPECT_FALSE(Utf8ToCp1251("\xEF\xBF\xBD").has_value());  // U+FFFD has no byte either
}

TEST(TextEncoding, Utf8Validation) {
    EXPECT_TRUE(IsValidUtf8("plain ascii"));
    EXPECT_TRUE(IsValidUtf8("дата €"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE4\xE0\xF2\xE0"));  // windows-1251 "дата"
    EXPECT_FALSE(IsValidUtf8("abc\xD0"));           // truncated sequence
}

TEST(TextEncoding, LegacyTextIsDecodedByContent) {
    EXPECT_EQ(DecodeLegacyText("\xEF\xBB\xBFkey=значение"), "key=значение");
    EXPECT_EQ(DecodeLegacyText("\xE4\xE0\xF2\xE0"), "дата");
}

TEST(TextEncoding, PrefixCountsCharactersNotBytes) {
    EXPECT_EQ(Utf8Length("дата"), 4u);
    EXPECT_EQ(Utf8Prefix("дата", 2), "да");
    EXPECT_EQ(Utf8Prefix("ab", 5), "ab");
    EXPECT_EQ(Utf8Prefix("abc", 0), "");
}

}  // namespace
}  // namespace orvik
