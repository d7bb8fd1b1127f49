// The text encodings of property values: what an editor's result becomes when it is stored in a
// property, in the report file and in the settings store, and how those texts are read back.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class COvInfoProp;
class COvCombos;

struct Rgb {
    int Red = 0, Green = 0, Blue = 0;
    bool operator==(const Rgb&) const = default;
};

// "r,g,b" without blanks.
std::string EncodeColour(const Rgb& colour);
// Reads "r,g,b" (blanks around numbers tolerated); nullopt when not three numbers 0..255.
std::optional<Rgb> DecodeColour(std::string_view text);

// A font as an editor hands it over.
struct FontChoice {
    std::string Face;
    int PixelHeight = 0;  // character height in screen pixels (sign ignored)
    int Weight = 400;     // 700 and above is bold
    bool Italic = false, Underline = false, StrikeOut = false;
    int CharSet = 0;
};

// A stored font: size in tenths of a point, style letters ("B" or "-", then I, U, S).
struct FontSetting {
    std::string Face;
    int SizeTenths = 100;
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    int CharSet = 0;
    bool operator==(const FontSetting&) const = default;
};

// Screen resolution fonts are measured against; the program has no screen of its own to ask.
constexpr int kScreenDotsPerInch = 96;

// "face,size,style,charset," with the size rounded up to a whole point.
std::string EncodeFont(const FontChoice& font, int dotsPerInch = kScreenDotsPerInch);
// Reads the full form or the short default form "face,size"; nullopt when there is no face.
std::optional<FontSetting> DecodeFont(std::string_view text);

// "%Y-%m-%d" and "%H:%M:%S".
std::string EncodeDate(int year, int month, int day);
std::string EncodeTime(int hour, int minute, int second);
// True when a date/time property with this ComboId holds a time rather than a date.
inline bool IsTimeFormat(unsigned comboId) {
    return (comboId & 0x9) == 0x9;
}
// Reads "%Y-%m-%d" and checks it is a real calendar day.
bool IsValidDate(std::string_view text);

// The decimal integer a text starts with, as C's atoi reads it, back as text ("12ab" -> "12").
std::string ReduceToInteger(std::string_view text);

// A chosen file or folder as stored: backslashes become "/", a path inside the program folder is
// stored relative to it (exact, case-sensitive prefix), a folder ends with "/". Case is kept.
std::string StoredPath(std::string_view chosen, std::string_view programFolder, bool isFolder);

// Stores an edited value the way the property bar does: file and folder paths made relative,
// integers reduced (and kept in ValueIndex), list captions turned back into entry names.
void ApplyEditedText(COvInfoProp& prop, std::string_view shownText,
                     const std::vector<std::unique_ptr<COvCombos>>& entries,
                     std::string_view programFolder);
