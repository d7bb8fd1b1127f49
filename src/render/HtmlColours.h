// The colour and font conversions the report page is written with. A colour property becomes the
// six hex digits the style rules and bar cells carry after their "#", and a font property becomes
// the logical font of a grid's default cells and, from there, a CSS font declaration. Sheet styles
// and parameter panels share these, so a colour or font looks the same wherever it appears on the
// page, and reads the same in old browsers, today's and mail clients.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/PropertyEncoding.h"

// Six lower-case hex digits red, green, blue, without "#" ("00ff00" for pure green).
std::string ColourToHex(const Rgb& colour);

// The hex digits of a colour text "r,g,b" as properties store it. Each number is read as atoi
// reads it; a missing one reads as 0 and each is kept to 0..255, so the result is always six
// digits a browser can take.
std::string ColourTextToHex(std::string_view text);

// The logical font a font text ("face,size,style,charset," or "face,size") stands for on the
// 96 dpi screen; nullopt when the text names no face.
std::optional<FontChoice> LogicalFontFromText(std::string_view text);

// The declarations that paint a background of `hex` (six hex digits, as ColourToHex gives):
// "background-color:#<hex>"; for a gradient, the old FILTER fading from it to white left to right,
// then "background-color:#<hex>" (what a mail client without gradients shows) and the same fade as
// "background-image:linear-gradient(...)" for current browsers. No ";" after the last.
std::string BackgroundCss(std::string_view hex, bool gradient);

// "font:<italic> <bold> <points>pt \"<face>\";" followed by " text-decoration:<underline>
// <line-through>;" (the two words run together) when the font is underlined or struck out.
std::string FontToCss(const FontChoice& font);
