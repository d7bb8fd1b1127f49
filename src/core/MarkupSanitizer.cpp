// The sanitizer reads a text once, left to right, the way a browser's tokenizer reads a page: a
// '<' followed by a letter opens a tag whose name and attributes end where the browser's would
// (quoted values may hold '>' and blanks, unquoted ones run to a blank or '>', a '/' between
// attributes separates them). Text between tags is copied untouched; a kept tag is copied as it
// was written, less the attributes it loses, so clean markup comes out byte for byte.
//
// What the browser would make into something that runs is left out: elements that carry script
// or switch the tokenizer into another mode (script, style, textarea, svg, ...) go with their
// content, so that nothing after them is read differently by the browser than it was read here;
// comments and declarations go; event handlers, script and data URLs and active styles go. A
// construct the text leaves unfinished (a tag or comment without its end) would swallow the page
// markup after the cell in the browser: its '<' is written as "&lt;" instead, so it shows as text.
#include "core/MarkupSanitizer.h"

#include <cstdint>
#include <cstring>

namespace orvik {
namespace {

constexpr size_t kNone = std::string_view::npos;

// A character of a decoded value outside ASCII: never part of a scheme or a keyword.
constexpr char kOther = '\x7f';

constexpr bool IsBlank(char c) {
    // A carriage return counts: the browser turns it into a line feed before tokenizing.
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
constexpr bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
constexpr int HexValue(char c) {
    return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
}
constexpr char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// ASCII letters compared without regard to case, as tag and attribute names are.
bool EqualsLower(std::string_view text, std::string_view other) {
    if (text.size() != other.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (Lower(text[i]) != Lower(other[i])) return false;
    return true;
}

// A name of up to 16 characters packed into two integers, so that the look-ups every tag and
// attribute goes through compare numbers rather than strings. Longer names, which no list holds,
// pack to zero and match nothing.
struct NameKey {
    std::uint64_t Low = 0, High = 0;
    constexpr bool operator==(const NameKey&) const = default;
};

constexpr NameKey KeyOf(std::string_view name) {
    NameKey key;
    if (name.size() > 16) return key;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<std::uint64_t>(static_cast<unsigned char>(Lower(name[i])));
        (i < 8 ? key.Low : key.High) |= byte << (8 * (i % 8));
    }
    return key;
}

// The names a list holds, with what each one means, in a hash table made at compile time: the
// look-up every tag and attribute goes through is a probe or two, not a walk down the list.
template <typename Meaning>
class NameTable {
  public:
    constexpr void Add(std::string_view name, Meaning meaning) {
        const NameKey key = KeyOf(name);
        size_t slot = SlotOf(key);
        while (keys_[slot] != NameKey{}) slot = (slot + 1) % kSlots;
        keys_[slot] = key;
        meanings_[slot] = meaning;
    }
    // The meaning of `key`, or `Meaning{}` when the table does not hold it.
    constexpr Meaning Find(const NameKey& key) const {
        if (key == NameKey{}) return Meaning{};
        for (size_t slot = SlotOf(key);; slot = (slot + 1) % kSlots) {
            if (keys_[slot] == key) return meanings_[slot];
            if (keys_[slot] == NameKey{}) return Meaning{};
        }
    }

  private:
    static constexpr size_t kSlots = 64;  // at most half full, so probes stay short
    static constexpr size_t SlotOf(const NameKey& key) {
        const std::uint64_t mixed =
            (key.Low * 0x9E3779B97F4A7C15ull) ^ (key.High * 0xC2B2AE3D27D4EB4Full);
        return static_cast<size_t>(mixed >> 58);  // the top six bits: one of the 64 slots
    }
    NameKey keys_[kSlots] = {};
    Meaning meanings_[kSlots] = {};
};

// Names of elements and attributes that sane markup uses. Anything else (a '<', a quote or an
// '=' inside a name, bytes outside ASCII) is what broken or hostile markup looks like, and
// other readers of the page (mail rewriting, the generator-META removal) must not be given
// names they could split differently from the browser.
bool IsPlainName(std::string_view name) {
    if (name.empty()) return false;
    for (const char c : name) {
        if (!IsAlpha(c) && !IsDigit(c) && c != '-' && c != '_' && c != '.' && c != ':')
            return false;
    }
    return true;
}

// One attribute as the tokenizer read it; positions index the text.
struct Attribute {
    size_t NameBegin = 0, NameEnd = 0;
    size_t ValueBegin = 0, ValueEnd = 0;  // equal when there is no value
    size_t End = 0;                       // past the value and its closing quote
};

// Reads a start or end tag whose name begins at `nameBegin`, handing each attribute to
// `onAttribute`. Returns the position after the closing '>', or kNone when the text ends first
// (the browser would then drop the tag, or run it into whatever markup follows the text).
template <typename OnAttribute>
size_t ScanTag(std::string_view text, size_t nameBegin, size_t& nameEnd, bool& selfClosing,
               OnAttribute&& onAttribute) {
    const size_t n = text.size();
    size_t i = nameBegin;
    while (i < n && !IsBlank(text[i]) && text[i] != '/' && text[i] != '>') ++i;
    nameEnd = i;
    selfClosing = false;
    for (;;) {
        // Between attributes: blanks, and slashes that do not close the tag.
        while (i < n && (IsBlank(text[i]) || text[i] == '/')) {
            if (text[i] == '/' && i + 1 < n && text[i + 1] == '>') {
                selfClosing = true;
                return i + 2;
            }
            ++i;
        }
        if (i >= n) return kNone;
        if (text[i] == '>') return i + 1;
        Attribute attribute;
        attribute.NameBegin = i++;  // a leading '=' belongs to the name
        while (i < n && !IsBlank(text[i]) && text[i] != '/' && text[i] != '>' && text[i] != '=')
            ++i;
        attribute.NameEnd = attribute.End = attribute.ValueBegin = attribute.ValueEnd = i;
        size_t j = i;
        while (j < n && IsBlank(text[j])) ++j;
        if (j < n && text[j] == '=') {
            ++j;
            while (j < n && IsBlank(text[j])) ++j;
            if (j >= n) return kNone;
            if (text[j] == '"' || text[j] == '\'') {
                const size_t close = text.find(text[j], j + 1);
                if (close == kNone) return kNone;
                attribute.ValueBegin = j + 1;
                attribute.ValueEnd = close;
                attribute.End = close + 1;
            } else {
                // An unquoted value runs to a blank or '>'; quotes, '=' and '/' are part of it.
                attribute.ValueBegin = j;
                while (j < n && !IsBlank(text[j]) && text[j] != '>') ++j;
                attribute.ValueEnd = attribute.End = j;
            }
            i = attribute.End;
        } else {
            i = j;
        }
        onAttribute(attribute);
    }
}

// --- reading attribute values as the browser does ---------------------------------------------

// The named character references that stand for ASCII characters. All others stand for
// characters outside ASCII, which can spell neither a scheme nor a CSS keyword.
const char* AsciiReference(std::string_view name) {
    static constexpr struct {
        const char* Name;
        const char* Text;
    } kReferences[] = {
        {"Tab", "\t"},         {"NewLine", "\n"},
        {"colon", ":"},        {"fjlig", "fj"},
        {"lpar", "("},         {"rpar", ")"},
        {"sol", "/"},          {"bsol", "\\"},
        {"ast", "*"},          {"midast", "*"},
        {"quot", "\""},        {"QUOT", "\""},
        {"apos", "'"},         {"amp", "&"},
        {"AMP", "&"},          {"lt", "<"},
        {"LT", "<"},           {"gt", ">"},
        {"GT", ">"},           {"equals", "="},
        {"num", "#"},          {"period", "."},
        {"comma", ","},        {"semi", ";"},
        {"excl", "!"},         {"quest", "?"},
        {"commat", "@"},       {"plus", "+"},
        {"percnt", "%"},       {"dollar", "$"},
        {"lowbar", "_"},       {"UnderBar", "_"},
        {"Hat", "^"},          {"grave", "`"},
        {"lsqb", "["},         {"lbrack", "["},
        {"rsqb", "]"},         {"rbrack", "]"},
        {"lcub", "{"},         {"lbrace", "{"},
        {"rcub", "}"},         {"rbrace", "}"},
        {"verbar", "|"},       {"vert", "|"},
        {"VerticalLine", "|"}, {"DiacriticalGrave", "`"},
    };
    for (const auto& reference : kReferences)
        if (name == reference.Name) return reference.Text;
    return nullptr;
}

// Collects a decoded value for the checks into `text`: lower case, characters outside ASCII as
// kOther, and (unless blanks are kept) without controls and blanks, which URL parsers strip or
// skip.
class DecodedValue {
  public:
    DecodedValue(std::string& text, bool keepBlanks, size_t limit)
        : text_(text), keepBlanks_(keepBlanks), limit_(limit) {
        text_.clear();
    }

    // Decodes `raw` (character references included) until `limit` characters are collected.
    void Decode(std::string_view raw) {
        size_t i = 0;
        while (i < raw.size() && !Full()) {
            if (raw[i] != '&') {
                Put(raw[i++]);
                continue;
            }
            if (i + 1 < raw.size() && raw[i + 1] == '#') {
                size_t j = i + 2;
                const bool hex = j < raw.size() && (raw[j] == 'x' || raw[j] == 'X');
                if (hex) ++j;
                const size_t digits = j;
                std::uint32_t value = 0;
                for (; j < raw.size() && (hex ? IsHexDigit(raw[j]) : IsDigit(raw[j])); ++j) {
                    value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(HexValue(raw[j]));
                    if (value > 0x10FFFF) value = 0x110000;  // stays out of range, no overflow
                }
                if (j == digits) {
                    Put(raw[i++]);
                    continue;
                }
                if (j < raw.size() && raw[j] == ';') ++j;
                // NUL and everything past ASCII decode to characters no keyword holds.
                Put(value != 0 && value < 0x80 ? static_cast<char>(value) : kOther);
                i = j;
                continue;
            }
            size_t j = i + 1;
            while (j < raw.size() && j - i <= 32 && (IsAlpha(raw[j]) || IsDigit(raw[j]))) ++j;
            const std::string_view name = raw.substr(i + 1, j - i - 1);
            const bool semicolon = j < raw.size() && raw[j] == ';';
            if (const char* text = name.empty() ? nullptr : AsciiReference(name)) {
                for (; *text; ++text) Put(*text);
                i = j + (semicolon ? 1 : 0);
            } else if (semicolon && !name.empty()) {
                // Some character outside ASCII, or the text as written: reading it as nothing
                // at all is the reading that finds the most, so it is the one checked.
                i = j + 1;
            } else {
                Put(raw[i++]);
            }
        }
    }

    bool Full() const { return text_.size() >= limit_; }

  private:
    void Put(char c) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 && !keepBlanks_) return;
        text_.push_back(byte >= 0x80 ? kOther : Lower(c));
    }

    std::string& text_;
    const bool keepBlanks_;
    const size_t limit_;
};

// Where long values are decoded: one buffer per thread, reused, so that a page of a million
// styled cells does not allocate for each of them.
std::string& Scratch() {
    thread_local std::string scratch;
    return scratch;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view kScriptSchemes[] = {"javascript:", "vbscript:", "data:"};

// A URL the browser would run or render as a document of its own.
bool IsScriptUrl(std::string_view raw) {
    std::string start;  // short enough to need no allocation
    DecodedValue(start, false, 12).Decode(raw);
    std::string_view text = start;
    // Old browsers took a backtick for a quote.
    while (!text.empty() && text.front() == '`') text.remove_prefix(1);
    for (const std::string_view scheme : kScriptSchemes)
        if (StartsWith(text, scheme)) return true;
    return false;
}

// A list of URLs (srcset, ping): checked for a script URL anywhere.
bool MentionsScriptUrl(std::string_view raw) {
    std::string& text = Scratch();
    DecodedValue(text, false, kNone).Decode(raw);
    for (const std::string_view scheme : kScriptSchemes)
        if (text.find(scheme) != kNone) return true;
    return false;
}

// A style attribute that runs script (expression(), behaviors, bindings) or loads a script URL.
// CSS comments and escapes are read first, so "expr/**/ession(" and "\65 xpression(" are seen.
bool IsActiveStyle(std::string_view raw) {
    std::string& css = Scratch();
    DecodedValue(css, true, kNone).Decode(raw);
    // Comments and escapes only ever shorten the text: it is read and written in place.
    size_t written = 0;
    const auto put = [&](char c) {
        if (static_cast<unsigned char>(c) > 0x20) css[written++] = Lower(c);
    };
    for (size_t i = 0; i < css.size();) {
        if (css.compare(i, 2, "/*") == 0) {
            const size_t close = css.find("*/", i + 2);
            i = close == kNone ? css.size() : close + 2;
        } else if (css[i] == '\\') {
            ++i;
            if (i < css.size() && IsHexDigit(css[i])) {
                std::uint32_t value = 0;
                for (int digits = 0; digits < 6 && i < css.size() && IsHexDigit(css[i]);
                     ++digits, ++i)
                    value = value * 16 + static_cast<std::uint32_t>(HexValue(css[i]));
                if (i < css.size() && IsBlank(css[i])) ++i;
                put(value != 0 && value < 0x80 ? static_cast<char>(value) : kOther);
            } else if (i < css.size()) {
                put(css[i++]);
            }
        } else {
            put(css[i++]);
        }
    }
    const std::string_view plain(css.data(), written);
    for (const std::string_view word :
         {"expression(", "javascript:", "vbscript:", "-moz-binding", "@import"}) {
        if (plain.find(word) != kNone) return true;
    }
    // The old behavior property; scroll-behavior and overscroll-behavior are harmless.
    for (size_t at = plain.find("behavior:"); at != kNone; at = plain.find("behavior:", at + 1)) {
        if (at == 0 || plain[at - 1] != '-') return true;
    }
    return false;
}

// --- what happens to each element and attribute ------------------------------------------------

enum class Handling {
    Keep,
    DropTag,      // the tag goes, its content stays
    DropElement,  // the tag goes with everything up to its end tag
};

constexpr NameTable<Handling> kElements = [] {
    NameTable<Handling> table;
    // Script, and the elements after which the browser reads text in another mode (raw text,
    // foreign content): were they kept, the browser could find tags where this scan found text.
    for (const char* name : {"script", "style", "iframe", "object", "applet", "textarea", "title",
                             "xmp", "noembed", "noframes", "noscript", "svg", "math", "frameset"})
        table.Add(name, Handling::DropElement);
    // Elements that act on the page or its reader (base URL, refresh, stylesheets, plug-ins,
    // forms that could ask for a password) and the document's own frame.
    for (const char* name :
         {"base", "meta", "link", "embed", "frame", "param", "form", "input", "button", "select",
          "isindex", "keygen", "html", "head", "body", "plaintext", "portal", "fencedframe"})
        table.Add(name, Handling::DropTag);
    return table;
}();

Handling HandlingOf(std::string_view name) {
    if (!IsPlainName(name)) return Handling::DropTag;
    return kElements.Find(KeyOf(name));
}

enum class AttributeKind { Plain, Url, UrlList, Style, Document };

constexpr NameTable<AttributeKind> kAttributes = [] {
    NameTable<AttributeKind> table;
    for (const char* name :
         {"href",    "src",      "action",  "formaction", "xlink:href", "background", "lowsrc",
          "dynsrc",  "poster",   "data",    "codebase",   "cite",       "longdesc",   "usemap",
          "profile", "manifest", "classid", "icon",       "datasrc",    "xml:base"})
        table.Add(name, AttributeKind::Url);
    for (const char* name : {"srcset", "imagesrcset", "ping", "archive"})
        table.Add(name, AttributeKind::UrlList);
    table.Add("style", AttributeKind::Style);
    table.Add("srcdoc", AttributeKind::Document);  // a whole page of its own
    return table;
}();

bool KeepsAttribute(std::string_view text, const Attribute& attribute) {
    const std::string_view name =
        text.substr(attribute.NameBegin, attribute.NameEnd - attribute.NameBegin);
    if (!IsPlainName(name)) return false;
    // Every event handler, whatever its name: new ones keep being invented.
    if (name.size() >= 2 && Lower(name[0]) == 'o' && Lower(name[1]) == 'n') return false;
    const std::string_view value =
        text.substr(attribute.ValueBegin, attribute.ValueEnd - attribute.ValueBegin);
    switch (kAttributes.Find(KeyOf(name))) {
        case AttributeKind::Plain:
            return true;
        case AttributeKind::Url:
            return !IsScriptUrl(value);
        case AttributeKind::UrlList:
            return !MentionsScriptUrl(value);
        case AttributeKind::Style:
            return !IsActiveStyle(value);
        case AttributeKind::Document:
            return false;
    }
    return false;
}

// --- the scan ---------------------------------------------------------------------------------

class Sanitizer {
  public:
    Sanitizer(std::string& out, std::string_view text)
        : out_(out), text_(text), start_(out.size()), lastGreaterThan_(text.rfind('>')) {}

    void Run() {
        size_t pos = 0;
        while (pos < text_.size()) {
            const size_t lt = text_.find('<', pos);
            if (lt == kNone) {
                out_.append(text_, pos);
                break;
            }
            out_.append(text_, pos, lt - pos);
            pos = Construct(lt);
        }
        // A '<' at the very end would open a tag with whatever markup follows the text.
        EscapeTrailingLessThan();
    }

  private:
    // Handles the '<' at `lt`; returns where the scan goes on.
    size_t Construct(size_t lt) {
        const size_t n = text_.size();
        if (asText_) return Unfinished(lt);
        if (lt + 1 >= n) return Text(lt);
        const char next = text_[lt + 1];
        if (IsAlpha(next)) return Tag(lt, lt + 1, false);
        if (next == '/') {
            if (lt + 2 < n && IsAlpha(text_[lt + 2])) return Tag(lt, lt + 2, true);
            if (lt + 2 < n && text_[lt + 2] == '>') return Drop(lt + 3);  // "</>" shows nothing
            return UpToGreaterThan(lt, lt + 2);
        }
        if (next == '!') {
            if (text_.compare(lt + 2, 2, "--") == 0) return Comment(lt);
            // <!DOCTYPE ...>, <![CDATA[ ...>, and any other declaration end at the first '>'.
            return UpToGreaterThan(lt, lt + 2);
        }
        if (next == '?') return UpToGreaterThan(lt, lt + 2);
        return Text(lt);  // "a < b", "<3": no tag
    }

    size_t Text(size_t lt) {
        out_.push_back('<');
        return lt + 1;
    }

    // A construct that does not end: shown as text, and its inside is scanned like any text.
    size_t Unfinished(size_t lt) {
        out_.append("&lt;");
        return lt + 1;
    }

    // The same, for one that was read up to the end of the text to find that out. The scan goes
    // on right after its '<', so text made of thousands of them would take quadratic time: past
    // a budget of a few readings of the whole text, the rest is taken as text, every '<' written
    // as "&lt;".
    size_t ReadInVain(size_t lt) {
        readInVain_ += text_.size() - lt;
        if (readInVain_ > 4 * text_.size() + 65536) asText_ = true;
        return Unfinished(lt);
    }

    size_t Drop(size_t end) {
        // A '<' written just before would meet what comes after the dropped part and could
        // open a tag with it ("<<meta>img ...").
        EscapeTrailingLessThan();
        return end;
    }

    void EscapeTrailingLessThan() {
        if (out_.size() > start_ && out_.back() == '<') {
            out_.pop_back();
            out_.append("&lt;");
        }
    }

    size_t UpToGreaterThan(size_t lt, size_t from) {
        if (lastGreaterThan_ == kNone || from > lastGreaterThan_) return Unfinished(lt);
        return Drop(text_.find('>', from) + 1);
    }

    size_t Comment(size_t lt) {
        const size_t n = text_.size();
        const size_t body = lt + 4;
        if (body < n && text_[body] == '>') return Drop(body + 1);     // <!-->
        if (text_.compare(body, 2, "->") == 0) return Drop(body + 2);  // <!--->
        // No comment that starts after one found without an end can have an end either.
        if (body >= commentsEndlessFrom_) return Unfinished(lt);
        for (size_t dashes = text_.find("--", body); dashes != kNone;
             dashes = text_.find("--", dashes + 1)) {
            if (dashes + 2 < n && text_[dashes + 2] == '>') return Drop(dashes + 3);
            if (text_.compare(dashes + 2, 2, "!>") == 0) return Drop(dashes + 4);
        }
        commentsEndlessFrom_ = body;
        return ReadInVain(lt);
    }

    size_t Tag(size_t lt, size_t nameBegin, bool endTag) {
        if (lastGreaterThan_ == kNone || nameBegin > lastGreaterThan_) return Unfinished(lt);
        size_t nameEnd = nameBegin;
        while (nameEnd < text_.size() && !IsBlank(text_[nameEnd]) && text_[nameEnd] != '/' &&
               text_[nameEnd] != '>')
            ++nameEnd;
        const std::string_view name = text_.substr(nameBegin, nameEnd - nameBegin);
        const Handling handling = HandlingOf(name);
        bool selfClosing = false;
        if (handling != Handling::Keep) {
            const size_t end =
                ScanTag(text_, nameBegin, nameEnd, selfClosing, [](const Attribute&) {});
            if (end == kNone) return ReadInVain(lt);
            // A self-closed <svg/> or <math/> is over at once; every other element dropped
            // with its content runs to its end tag whatever its slash says.
            if (handling == Handling::DropTag || endTag ||
                (selfClosing && (KeyOf(name) == KeyOf("svg") || KeyOf(name) == KeyOf("math"))))
                return Drop(end);
            return Drop(EndOfElement(name, end));
        }
        // The tag is written as it is read; should the text end inside it, that is taken back.
        const size_t mark = out_.size();
        size_t copied = lt;
        const size_t end =
            ScanTag(text_, nameBegin, nameEnd, selfClosing, [&](const Attribute& attribute) {
                if (!KeepsAttribute(text_, attribute)) {
                    out_.append(text_, copied, attribute.NameBegin - copied);
                    copied = attribute.End;
                    return;
                }
                // A '<' inside a value is harmless to the browser, but other readers of the page
                // look for tags by their '<'; as "&lt;" it reads the same and opens nothing.
                const std::string_view value =
                    text_.substr(attribute.ValueBegin, attribute.ValueEnd - attribute.ValueBegin);
                if (value.find('<') == kNone) return;
                out_.append(text_, copied, attribute.ValueBegin - copied);
                for (const char c : value) {
                    if (c == '<')
                        out_.append("&lt;");
                    else
                        out_.push_back(c);
                }
                copied = attribute.ValueEnd;
            });
        if (end == kNone) {
            out_.resize(mark);
            return ReadInVain(lt);
        }
        out_.append(text_, copied, end - copied);
        return end;
    }

    // Where an element dropped with its content ends: past its first end tag (the browser ends
    // raw text there too; anything after it is scanned here as usual), or at the end of the
    // text when it has none.
    size_t EndOfElement(std::string_view name, size_t from) const {
        const size_t n = text_.size();
        for (size_t at = text_.find("</", from); at != kNone; at = text_.find("</", at + 1)) {
            const size_t nameBegin = at + 2;
            if (!EqualsLower(text_.substr(nameBegin, name.size()), name)) continue;
            const size_t after = nameBegin + name.size();
            if (after < n && !IsBlank(text_[after]) && text_[after] != '/' && text_[after] != '>')
                continue;
            size_t nameEnd = 0;
            bool selfClosing = false;
            const size_t end =
                ScanTag(text_, nameBegin, nameEnd, selfClosing, [](const Attribute&) {});
            return end == kNone ? n : end;
        }
        return n;
    }

    std::string& out_;
    const std::string_view text_;
    const size_t start_;                  // where this text's part of `out_` begins
    const size_t lastGreaterThan_;        // no tag, comment or declaration ends after it
    size_t commentsEndlessFrom_ = kNone;  // no comment ends after a start there or later
    size_t readInVain_ = 0;               // bytes read for constructs that did not end
    bool asText_ = false;                 // the budget for those is spent
};

}  // namespace

bool MayHoldMarkup(std::string_view text) {
    return !text.empty() && std::memchr(text.data(), '<', text.size()) != nullptr;
}

std::string SanitizeMarkup(std::string_view text) {
    std::string out;
    AppendSanitizedMarkup(out, text);
    return out;
}

void AppendSanitizedMarkup(std::string& out, std::string_view text) {
    if (!MayHoldMarkup(text)) {
        out.append(text);
        return;
    }
    Sanitizer(out, text).Run();
}

}  // namespace orvik
