#include "model/PropertyEncoding.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/Paths.h"
#include "model/OvCombos.h"
#include "model/OvInfoProp.h"

namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string_view::npos;
         start = comma + 1) {
        fields.push_back(text.substr(start, comma - start));
    }
    fields.push_back(text.substr(start));
    return fields;
}

std::optional<int> ParseInt(std::string_view field) {
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    if (field.empty()) return std::nullopt;
    int value = 0;
    size_t i = field[0] == '-' ? 1 : 0;
    if (i == field.size()) return std::nullopt;
    for (; i < field.size(); ++i) {
        if (field[i] < '0' || field[i] > '9' || value > 100000000) return std::nullopt;
        value = value * 10 + (field[i] - '0');
    }
    return field[0] == '-' ? -value : value;
}

}  // namespace

std::string EncodeColour(const Rgb& colour) {
    return std::to_string(colour.Red) + "," + std::to_string(colour.Green) + "," +
           std::to_string(colour.Blue);
}

std::optional<Rgb> DecodeColour(std::string_view text) {
    const auto fields = SplitFields(text);
    if (fields.size() != 3) return std::nullopt;
    int parts[3];
    for (int i = 0; i < 3; ++i) {
        const auto value = ParseInt(fields[i]);
        if (!value || *value < 0 || *value > 255) return std::nullopt;
        parts[i] = *value;
    }
    return Rgb{parts[0], parts[1], parts[2]};
}

std::string EncodeFont(const FontChoice& font, int dotsPerInch) {
    const int points = static_cast<int>(
        std::ceil(std::abs(font.PixelHeight) * 72.0 / (dotsPerInch > 0 ? dotsPerInch : 96)));
    std::string style = font.Weight >= 700 ? "B" : "-";
    if (font.Italic) style += 'I';
    if (font.Underline) style += 'U';
    if (font.StrikeOut) style += 'S';
    return font.Face + "," + std::to_string(points * 10) + "," + style + "," +
           std::to_string(font.CharSet) + ",";
}

std::optional<FontSetting> DecodeFont(std::string_view text) {
    const auto fields = SplitFields(text);
    if (fields.empty() || fields[0].empty()) return std::nullopt;
    FontSetting font;
    font.Face = std::string(fields[0]);
    if (fields.size() > 1) {
        if (const auto size = ParseInt(fields[1]); size && *size > 0) font.SizeTenths = *size;
    }
    if (fields.size() > 2) {
        const std::string_view style = fields[2];
        font.Bold = !style.empty() && style[0] == 'B';
        for (const char letter : style.substr(style.empty() ? 0 : 1)) {
            font.Italic |= letter == 'I';
            font.Underline |= letter == 'U';
            font.StrikeOut |= letter == 'S';
        }
    }
    if (fields.size() > 3) {
        if (const auto charSet = ParseInt(fields[3])) font.CharSet = *charSet;
    }
    return font;
}

std::string EncodeDate(int year, int month, int day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::string EncodeTime(int hour, int minute, int second) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
    return text;
}

bool IsValidDate(std::string_view text) {
    const auto fields = text.size() == 10 && text[4] == '-' && text[7] == '-'
                            ? std::vector{text.substr(0, 4), text.substr(5, 2), text.substr(8, 2)}
                            : std::vector<std::string_view>{};
    if (fields.empty()) return false;
    const auto year = ParseInt(fields[0]), month = ParseInt(fields[1]), day = ParseInt(fields[2]);
    if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
    return *day <= kDays[*month - 1] + (*month == 2 && leap ? 1 : 0);
}

std::string ReduceToInteger(std::string_view text) {
    return std::to_string(std::atoi(std::string(text).c_str()));
}

std::string StoredPath(std::string_view chosen, std::string_view programFolder, bool isFolder) {
    std::string path = orvik::ToNativePath(chosen);
    const std::string folder = orvik::WithTrailingSlash(orvik::ToNativePath(programFolder));
    if (!folder.empty() && path.compare(0, folder.size(), folder) == 0)
        path.erase(0, folder.size());
    if (isFolder) path = orvik::WithTrailingSlash(path);
    return path;
}

void ApplyEditedText(COvInfoProp& prop, std::string_view shownText,
                     const std::vector<std::unique_ptr<COvCombos>>& entries,
                     std::string_view programFolder) {
    std::string value(shownText);
    if (prop.Kind == PropKind::DateTime && !IsTimeFormat(prop.ComboId) && !IsValidDate(value)) {
        return;  // the date editor's invalid input leaves the stored date alone
    }
    if (prop.Kind == PropKind::File || prop.Kind == PropKind::Folder) {
        value = StoredPath(value, programFolder, prop.Kind == PropKind::Folder);
    }
    if (prop.IsOption(PropFlag::Integer)) {
        value = ReduceToInteger(value);
        prop.ValueIndex = std::atoi(value.c_str());
    }
    if (prop.Kind == PropKind::List) {
        int position = 0;
        for (const auto& entry : entries) {
            if (static_cast<unsigned>(entry->Id) != prop.ComboId) continue;
            if (entry->Caption == value) {
                value = entry->Name;
                prop.SelectedCombo = entry.get();
                prop.ValueIndex = position;
                break;
            }
            ++position;
        }
    }
    prop.Value = std::move(value);
}
