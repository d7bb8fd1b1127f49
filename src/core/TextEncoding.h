// Conversions between the 8-bit text of files made on Windows (windows-1251) and the UTF-8 text
// the program works with inside. Report and language files arrive in either encoding; the
// readers decide by the file's declaration, or by whether the bytes are valid UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The offset of the first byte of `text` that starts no well-formed UTF-8 character; npos when
// the text is valid UTF-8.
size_t FirstInvalidUtf8(std::string_view text);

// Converts windows-1251 bytes to UTF-8. The one unassigned byte (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view text);

// Converts UTF-8 to windows-1251; std::nullopt when a character has no windows-1251 byte, so the
// caller can fall back to writing UTF-8 instead of losing it. Expects valid UTF-8.
std::optional<std::string> Utf8ToCp1251(std::string_view text);
// The same, appended to `out`; false (with `out` holding a part) when `text` does not fit.
bool Utf8ToCp1251(std::string_view text, std::string& out);

// The character sets a page is written in.
enum class PageCharset { Utf8, Cp1251 };

// Appends `text` to `out` as page bytes in `charset`, so that the page is valid text whatever its
// cells held: a character the set cannot hold becomes a numeric character reference ("&#233;"),
// a byte that is not part of well-formed UTF-8 becomes U+FFFD (or "?" in windows-1251), and
// control characters other than tab, CR and LF (C0, DEL and C1) are dropped.
void AppendPageText(std::string_view text, PageCharset charset, std::string& out);

// True when AppendPageText would copy `text` unchanged into UTF-8.
bool IsCleanPageText(std::string_view text);

// Makes `text` clean UTF-8 page text in place (see AppendPageText); false when it already was.
bool CleanPageText(std::string& text);

// True when every character of clean page text has a windows-1251 byte.
bool FitsCp1251(std::string_view text);

// Decodes a text file's bytes of unknown origin: a UTF-8 byte-order mark is dropped, valid UTF-8
// is kept, anything else is taken as windows-1251.
std::string DecodeLegacyText(std::string_view bytes);

// Appends the UTF-8 form of `codePoint`; surrogates and values beyond U+10FFFF become U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// True when the two texts are equal with ASCII letters compared without regard to case.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The text with its ASCII letters in upper case.
std::string ToUpperAscii(std::string_view text);

// Number of characters (code points) in valid UTF-8 text.
size_t Utf8Length(std::string_view text);

// The first `count` characters of UTF-8 text (the whole text when it is shorter).
std::string Utf8Prefix(std::string_view text, size_t count);

// `text` without the characters of `blanks` at either end.
std::string_view Trim(std::string_view text, std::string_view blanks = " \t");

}  // namespace orvik
