// The encodings a mail message is made of: base64 (RFC 2045) for attachments, quoted-printable
// (RFC 2045) for text parts, Q-encoded words (RFC 2047) for subjects and display names, the
// dot-stuffing SMTP asks of the data it carries, and the random boundaries that separate the
// parts. Text inside the program is UTF-8; a message declares some other character set more often
// than not (the page's own, often windows-1251), so the conversion into that set lives here too,
// with UTF-8 as the way out when a character has no place in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvik::mime {

// Longest line of base64 and quoted-printable text, in characters (RFC 2045).
inline constexpr size_t kEncodedLineLength = 76;
// Bytes of input that make one full base64 line.
inline constexpr size_t kBase64LineInput = kEncodedLineLength / 4 * 3;

// Appends the base64 form of `data` to `out`, with CRLF after every 76 characters. Feeding a long
// input in pieces whose sizes are multiples of kBase64LineInput gives the same text as feeding it
// whole. Never throws except std::bad_alloc.
void AppendBase64(std::string& out, std::string_view data);
// The base64 form of `data` with CRLF after every 76 characters.
std::string Base64Encode(std::string_view data);

// The quoted-printable form of `text`, whose CRLF pairs are line breaks and stay so; longer lines
// get soft line breaks ("=" CRLF) so that no line exceeds 76 characters.
std::string QuotedPrintableEncode(std::string_view text);

// `text` as RFC 2047 Q-encoded words in `charset`, separated by CRLF and one blank (a folded
// header line) when it needs more than one; each word stays short enough to share its line with
// a header name. UTF-8 text is converted into `charset` first; when that is impossible the words
// declare UTF-8 instead. Encoded words only use characters allowed in a display name. An empty
// text gives an empty result.
std::string QEncodeWords(std::string_view text, std::string_view charset);

// The length a header line should keep to (RFC 5322); 998 is the most any line may have.
inline constexpr size_t kHeaderFoldLength = 78;

// Appends the header field `field` (which may already hold folded lines) and its CRLF, folding
// every line longer than `limit` characters at a blank. Breaking only at blanks
// keeps tokens whole: unfolding keeps the blank, so a break inside an address or an encoded word
// would corrupt it. A line without a usable blank stays long.
void AppendFoldedHeader(std::string& out, std::string_view field, size_t limit = kHeaderFoldLength);

// Every CRLF followed by "." gets a second "."; so does a text starting with ".".
std::string DotStuff(std::string_view text);

// Turns CRLF, lone CR and lone LF into CRLF.
std::string NormaliseLineEnds(std::string_view text);

// A random (version 4) UUID in its standard text form, from the system's random source. Throws
// std::system_error when that source fails.
std::string NewUuid();

// True for the names of UTF-8 ("UTF-8", "utf8", any case).
bool IsUtf8Charset(std::string_view charset);

// UTF-8 `text` converted into `charset`; std::nullopt when the set is unknown to the system or a
// character has no place in it. Text that is not valid UTF-8 came from elsewhere and is returned
// unchanged, as is plain ASCII.
std::optional<std::string> ConvertFromUtf8(std::string_view text, std::string_view charset);

// The bytes and character set to send `text` in: `charset` when the text fits, else UTF-8.
struct CharsetText {
    std::string Bytes;
    std::string Charset;
};
CharsetText EncodeForCharset(std::string_view text, std::string_view charset);

}  // namespace orvik::mime
