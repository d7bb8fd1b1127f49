// Colour and font conversions for the report page.
#include "render/HtmlColours.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string ColourToHex(const Rgb& colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x%02x%02x", std::clamp(colour.Red, 0, 255),
                  std::clamp(colour.Green, 0, 255), std::clamp(colour.Blue, 0, 255));
    return text;
}

std::string ColourTextToHex(std::string_view text) {
    int parts[3] = {0, 0, 0};
    size_t start = 0;
    for (int i = 0; i < 3 && start <= text.size(); ++i) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        const std::string field(text.substr(start, comma - start));
        parts[i] = static_cast<int>(std::clamp(std::atol(field.c_str()), 0L, 255L));
        start = comma + 1;
    }
    return ColourToHex(Rgb{parts[0], parts[1], parts[2]});
}

std::string BackgroundCss(std::string_view hex, bool gradient) {
    std::string css;
    if (gradient) {
        // Kept for the old browsers that read nothing else; the others skip it.
        css += "FILTER: progid:DXImageTransform.Microsoft.Gradient(gradientType=1,startColorStr=#";
        css += hex;
        css += ",endColorStr=#ffffff); ";
    }
    css += "background-color:#";
    css += hex;
    if (gradient) {
        // gradientType=1 runs from left to right.
        css += "; background-image:linear-gradient(to right,#";
        css += hex;
        css += ",#ffffff)";
    }
    return css;
}

std::optional<FontChoice> LogicalFontFromText(std::string_view text) {
    const std::optional<FontSetting> stored = DecodeFont(text);
    if (!stored) return std::nullopt;
    FontChoice font;
    font.Face = stored->Face;
    // Truncated rather than rounded: ceil(pixels * 72 / dpi) then gives back exactly the point
    // size the property holds, where rounding would show an 11 pt font as 12 pt on the page.
    font.PixelHeight = -(stored->SizeTenths * kScreenDotsPerInch / 720);
    font.Weight = stored->Bold ? 700 : 400;
    font.Italic = stored->Italic;
    font.Underline = stored->Underline;
    font.StrikeOut = stored->StrikeOut;
    font.CharSet = stored->CharSet;
    return font;
}

std::string FontToCss(const FontChoice& font) {
    const int points =
        static_cast<int>(std::ceil(std::abs(font.PixelHeight) * 72.0 / kScreenDotsPerInch));
    std::string css = "font:";
    css += font.Italic ? "italic" : "";
    css += ' ';
    css += font.Weight >= 700 ? "bold" : "";
    css += ' ';
    css += std::to_string(points);
    css += "pt \"";
    css += font.Face;
    css += "\";";
    if (font.Underline || font.StrikeOut) {
        // Stored layouts carry the two words run together; browsers drop the declaration, and
        // pages compared against older output must not change, so it stays as it always was.
        css += " text-decoration:";
        css += font.Underline ? "underline" : "";
        css += font.StrikeOut ? "line-through" : "";
        css += ';';
    }
    return css;
}
