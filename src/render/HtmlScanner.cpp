// The tokenizer and the extent-deciding part of tree building behind CHtmlScanner.
#include "render/HtmlScanner.h"

#include <algorithm>
#include <initializer_list>
#include <unordered_map>
#include <utility>

namespace {

constexpr std::size_t kNone = std::string::npos;

// What the scanner needs to know about a tag name.
enum TagFlag : unsigned {
    kVoid = 1u << 0,         // never has content or an end tag
    kRawText = 1u << 1,      // content runs to its own end tag, unparsed
    kPlainText = 1u << 2,    // content runs to the end of the text
    kSpecial = 1u << 3,      // stops "any other" end tag looking further down
    kListBreaker = 1u << 4,  // stops a new list item looking for the one to close
    kClosesP = 1u << 5,      // its start tag ends an open paragraph
    kHeadContent = 1u << 6,  // may stand in the head without ending it
    kScopedEnd = 1u << 7,    // its end tag closes it whenever it is in scope
    kTablePart = 1u << 8,    // its end tag looks in table scope
};

// Tags the rules below name, in a fixed order so their ids are known constants.
enum KnownTag : int {
    kHtml,
    kHead,
    kBody,
    kP,
    kLi,
    kDd,
    kDt,
    kTd,
    kTh,
    kTr,
    kTable,
    kThead,
    kTbody,
    kTfoot,
    kCaption,
    kColgroup,
    kOption,
    kOptgroup,
    kA,
    kNobr,
    kH1,
    kH2,
    kH3,
    kH4,
    kH5,
    kH6,
    kTemplate,
    kApplet,
    kMarquee,
    kObject,
    kButton,
    kOl,
    kUl,
    kKnownCount
};

struct TagInfo {
    const char* Name;
    unsigned Flags;
};

constexpr unsigned kBlock = kSpecial | kListBreaker | kClosesP | kScopedEnd;
constexpr unsigned kCell = kSpecial | kListBreaker | kScopedEnd | kTablePart;
constexpr unsigned kFormatting = kScopedEnd;

// The first kKnownCount entries follow KnownTag; the rest only carry flags.
constexpr TagInfo kTags[] = {
    {"HTML", kSpecial | kListBreaker | kScopedEnd},
    {"HEAD", kSpecial | kListBreaker | kScopedEnd},
    {"BODY", kSpecial | kListBreaker | kScopedEnd},
    {"P", kSpecial | kClosesP | kScopedEnd},
    {"LI", kBlock},
    {"DD", kBlock},
    {"DT", kBlock},
    {"TD", kCell},
    {"TH", kCell},
    {"TR", kCell},
    {"TABLE", kCell},
    {"THEAD", kCell},
    {"TBODY", kCell},
    {"TFOOT", kCell},
    {"CAPTION", kCell},
    {"COLGROUP", kCell},
    {"OPTION", kScopedEnd},
    {"OPTGROUP", kScopedEnd},
    {"A", kFormatting},
    {"NOBR", kFormatting},
    {"H1", kBlock},
    {"H2", kBlock},
    {"H3", kBlock},
    {"H4", kBlock},
    {"H5", kBlock},
    {"H6", kBlock},
    {"TEMPLATE", kSpecial | kListBreaker | kScopedEnd | kHeadContent},
    {"APPLET", kSpecial | kListBreaker | kScopedEnd},
    {"MARQUEE", kSpecial | kListBreaker | kScopedEnd},
    {"OBJECT", kSpecial | kListBreaker | kScopedEnd},
    {"BUTTON", kSpecial | kListBreaker | kScopedEnd},
    {"OL", kBlock},
    {"UL", kBlock},
    // Void elements.
    {"AREA", kVoid},
    {"BASE", kVoid | kHeadContent},
    {"BASEFONT", kVoid | kHeadContent},
    {"BGSOUND", kVoid | kHeadContent},
    {"BR", kVoid},
    {"COL", kVoid},
    {"EMBED", kVoid},
    {"FRAME", kVoid},
    {"HR", kVoid | kClosesP},
    {"IMG", kVoid},
    {"IMAGE", kVoid},
    {"INPUT", kVoid},
    {"KEYGEN", kVoid},
    {"LINK", kVoid | kHeadContent},
    {"META", kVoid | kHeadContent},
    {"PARAM", kVoid},
    {"SOURCE", kVoid},
    {"TRACK", kVoid},
    {"WBR", kVoid},
    // Raw text.
    {"SCRIPT", kRawText | kHeadContent},
    {"STYLE", kRawText | kHeadContent},
    {"TITLE", kRawText | kHeadContent},
    {"NOSCRIPT", kRawText | kHeadContent},
    {"NOFRAMES", kRawText | kHeadContent},
    {"TEXTAREA", kRawText},
    {"XMP", kRawText | kClosesP},
    {"IFRAME", kRawText},
    {"NOEMBED", kRawText},
    {"PLAINTEXT", kPlainText | kClosesP},
    // Other blocks.
    {"ADDRESS", kSpecial | kClosesP | kScopedEnd},
    {"DIV", kSpecial | kClosesP | kScopedEnd},
    {"ARTICLE", kBlock},
    {"ASIDE", kBlock},
    {"BLOCKQUOTE", kBlock},
    {"CENTER", kBlock},
    {"DETAILS", kBlock},
    {"DIALOG", kBlock},
    {"DIR", kBlock},
    {"DL", kBlock},
    {"FIELDSET", kBlock},
    {"FIGCAPTION", kBlock},
    {"FIGURE", kBlock},
    {"FOOTER", kBlock},
    {"FORM", kBlock},
    {"HEADER", kBlock},
    {"HGROUP", kBlock},
    {"LISTING", kBlock},
    {"MAIN", kBlock},
    {"MENU", kBlock},
    {"NAV", kBlock},
    {"PRE", kBlock},
    {"SECTION", kBlock},
    {"SUMMARY", kBlock},
    {"SELECT", kSpecial | kListBreaker | kScopedEnd},
    {"FRAMESET", kSpecial | kListBreaker | kScopedEnd},
    // Formatting elements.
    {"B", kFormatting},
    {"BIG", kFormatting},
    {"CODE", kFormatting},
    {"EM", kFormatting},
    {"FONT", kFormatting},
    {"I", kFormatting},
    {"S", kFormatting},
    {"SMALL", kFormatting},
    {"STRIKE", kFormatting},
    {"STRONG", kFormatting},
    {"TT", kFormatting},
    {"U", kFormatting},
};

static_assert(std::string_view(kTags[kHtml].Name) == "HTML" &&
                  std::string_view(kTags[kTd].Name) == "TD" &&
                  std::string_view(kTags[kColgroup].Name) == "COLGROUP" &&
                  std::string_view(kTags[kNobr].Name) == "NOBR" &&
                  std::string_view(kTags[kH6].Name) == "H6" &&
                  std::string_view(kTags[kButton].Name) == "BUTTON" &&
                  std::string_view(kTags[kUl].Name) == "UL" &&
                  std::string_view(kTags[kKnownCount].Name) == "AREA",
              "the first entries of kTags follow KnownTag");

// Where an end tag or an implied end stops looking for the element it closes.
constexpr std::initializer_list<int> kDefaultScope = {kApplet, kCaption, kHtml,   kTable,   kTd,
                                                      kTh,     kMarquee, kObject, kTemplate};
constexpr std::initializer_list<int> kButtonScope = {
    kApplet, kCaption, kHtml, kTable, kTd, kTh, kMarquee, kObject, kTemplate, kButton};
constexpr std::initializer_list<int> kTableScope = {kHtml, kTable, kTemplate};
constexpr std::initializer_list<int> kRowScope = {kHtml,  kTable, kTemplate, kTr,
                                                  kThead, kTbody, kTfoot};
constexpr std::initializer_list<int> kHeadings = {kH1, kH2, kH3, kH4, kH5, kH6};

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return at <= text.size() && text.size() - at >= prefix.size() &&
           text.compare(at, prefix.size(), prefix) == 0;
}

// One scan: the open elements, indexed by tag id so that "is there an open X above Y" is a
// look at the last entry of two small stacks instead of a walk.
class Scanner {
  public:
    Scanner(std::string_view text, CHtmlScanner::Visitor& visitor)
        : Text(text), Sink(visitor), Size(text.size()) {
        Positions.resize(std::size(kTags));
    }

    void Run() {
        std::size_t pos = 0;
        while (pos < Size && !Sink.Stop) {
            const std::size_t lt = Text.find('<', pos);
            if (lt == kNone || lt + 1 >= Size) break;
            const char next = Text[lt + 1];
            if (next == '!') {
                pos = StartsWith(Text, lt, "<!--") ? SkipComment(lt + 4) : SkipBogus(lt + 2);
            } else if (next == '?') {
                pos = SkipBogus(lt + 2);
            } else if (next == '/') {
                if (lt + 2 < Size && IsAsciiLetter(Text[lt + 2])) {
                    pos = EndTag(lt);
                } else if (lt + 2 < Size && Text[lt + 2] == '>') {
                    pos = lt + 3;
                } else {
                    pos = SkipBogus(lt + 2);
                }
            } else if (IsAsciiLetter(next)) {
                pos = StartTag(lt);
            } else {
                pos = lt + 1;
            }
        }
        // Whatever is still open ends with the text, as a browser closes it at the end of file.
        while (!Stack.empty() && !Sink.Stop) Pop(Size, Size);
    }

  private:
    struct Open {
        CHtmlElement Element;
        int Id;
        bool Watched;
    };

    // The id of a tag name; names the rules do not know get ids of their own per scan.
    int Intern(const std::string& upperName) {
        const int known = Known(upperName);
        if (known >= 0) return known;
        const auto found = OtherIds.find(upperName);
        if (found != OtherIds.end()) return found->second;
        const int id = static_cast<int>(Positions.size());
        OtherIds.emplace(upperName, id);
        Positions.emplace_back();
        return id;
    }

    // The id of a name the end tag rules may find open; -1 when it was never opened.
    int Lookup(const std::string& upperName) const {
        const int known = Known(upperName);
        if (known >= 0) return known;
        const auto found = OtherIds.find(upperName);
        return found == OtherIds.end() ? -1 : found->second;
    }

    static int Known(std::string_view upperName) {
        static const std::unordered_map<std::string_view, int> ids = [] {
            std::unordered_map<std::string_view, int> map;
            for (std::size_t i = 0; i < std::size(kTags); ++i)
                map.emplace(kTags[i].Name, static_cast<int>(i));
            return map;
        }();
        const auto found = ids.find(upperName);
        return found == ids.end() ? -1 : found->second;
    }

    static unsigned FlagsOf(int id) {
        return static_cast<std::size_t>(id) < std::size(kTags) ? kTags[id].Flags : 0;
    }

    // Past a comment whose "<!--" ends just before `from`. "<!-->" and "<!--->" are complete
    // comments; an unclosed one runs to the end, as in a browser.
    std::size_t SkipComment(std::size_t from) {
        if (StartsWith(Text, from, ">")) return from + 1;
        if (StartsWith(Text, from, "->")) return from + 2;
        std::size_t at = from;
        while (true) {
            const std::size_t dashes = Text.find("--", at);
            if (dashes == kNone) return Size;
            if (StartsWith(Text, dashes + 2, ">")) return dashes + 3;
            if (StartsWith(Text, dashes + 2, "!>")) return dashes + 4;
            at = dashes + 1;
        }
    }

    // Past the next ">" (declarations, processing instructions, malformed end tags).
    std::size_t SkipBogus(std::size_t from) {
        const std::size_t gt = Text.find('>', from);
        return gt == kNone ? Size : gt + 1;
    }

    std::size_t NameEnd(std::size_t from) const {
        std::size_t at = from;
        while (at < Size && !CHtmlScanner::IsSpace(Text[at]) && Text[at] != '/' && Text[at] != '>')
            ++at;
        return at;
    }

    // The highest stack position + 1 of an open element with one of these ids (0 for none),
    // leaving out `except`.
    std::size_t TopOf(std::initializer_list<int> ids, int except = -1) const {
        std::size_t top = 0;
        for (int id : ids) {
            if (id != except && !Positions[id].empty())
                top = std::max(top, Positions[id].back() + 1);
        }
        return top;
    }

    // The lowest stack position + 1 above `floor` (a TopOf result) of an open element with one
    // of these ids; 0 for none.
    std::size_t LowestAbove(std::initializer_list<int> ids, std::size_t floor) const {
        std::size_t lowest = 0;
        for (int id : ids) {
            const std::vector<std::size_t>& at = Positions[id];
            const auto it = std::lower_bound(at.begin(), at.end(), floor);
            if (it != at.end() && (lowest == 0 || *it + 1 < lowest)) lowest = *it + 1;
        }
        return lowest;
    }

    // Ends the top element: its end tag (if any) starts at `endTagStart`, its outer HTML ends
    // at `end`.
    void Pop(std::size_t endTagStart, std::size_t end) {
        Open& top = Stack.back();
        const std::size_t index = Stack.size() - 1;
        Positions[top.Id].pop_back();
        if (!Special.empty() && Special.back() == index) Special.pop_back();
        if (!Breakers.empty() && Breakers.back() == index) Breakers.pop_back();
        if (top.Watched) {
            top.Element.EndTagStart = endTagStart;
            top.Element.End = end;
            Sink.OnEnd(top.Element);
        }
        Stack.pop_back();
    }

    // Ends every element from the top down to stack position `position - 1` at `at`, where a
    // start tag implies their end.
    void CloseTo(std::size_t position, std::size_t at) {
        while (Stack.size() >= position && position > 0 && !Sink.Stop) Pop(at, at);
    }

    void ApplyImpliedEnds(int id, unsigned flags, std::size_t lt) {
        // The head ends at the first tag that cannot stand in it.
        if (!Stack.empty() && Stack.back().Id == kHead && !(flags & kHeadContent))
            CloseTo(Stack.size(), lt);
        if (flags & kClosesP) {
            const std::size_t p = TopOf({kP});
            if (p > TopOf(kButtonScope)) CloseTo(p, lt);
        }
        switch (id) {
            case kLi:
                if (!Positions[kLi].empty() && !Breakers.empty() &&
                    Breakers.back() == Positions[kLi].back())
                    CloseTo(Positions[kLi].back() + 1, lt);
                break;
            case kDd:
            case kDt: {
                const std::size_t item = TopOf({kDd, kDt});
                if (item > 0 && !Breakers.empty() && Breakers.back() + 1 == item) CloseTo(item, lt);
                break;
            }
            case kH1:
            case kH2:
            case kH3:
            case kH4:
            case kH5:
            case kH6:
                if (!Stack.empty() && TopOf(kHeadings) == Stack.size()) CloseTo(Stack.size(), lt);
                break;
            case kTd:
            case kTh: {
                const std::size_t cell = TopOf({kTd, kTh});
                if (cell > TopOf(kRowScope)) CloseTo(cell, lt);
                break;
            }
            case kTr:
                CloseTo(LowestAbove({kTr, kTd, kTh},
                                    TopOf({kHtml, kTable, kTemplate, kThead, kTbody, kTfoot})),
                        lt);
                break;
            case kThead:
            case kTbody:
            case kTfoot:
            case kCaption:
            case kColgroup:
                CloseTo(LowestAbove({kThead, kTbody, kTfoot, kTr, kTd, kTh, kCaption, kColgroup},
                                    TopOf(kTableScope)),
                        lt);
                break;
            case kTable:
                // A table started directly inside a table (not in a cell) ends the first one.
                if (!Stack.empty()) {
                    const int current = Stack.back().Id;
                    if (current == kTable || current == kThead || current == kTbody ||
                        current == kTfoot || current == kTr)
                        CloseTo(TopOf({kTable}), lt);
                }
                break;
            case kOption:
                if (!Stack.empty() && Stack.back().Id == kOption) CloseTo(Stack.size(), lt);
                break;
            case kOptgroup:
                if (!Stack.empty() && Stack.back().Id == kOption) CloseTo(Stack.size(), lt);
                if (!Stack.empty() && Stack.back().Id == kOptgroup) CloseTo(Stack.size(), lt);
                break;
            case kA:
            case kNobr: {
                const std::size_t open = TopOf({id});
                if (open > TopOf(kDefaultScope)) CloseTo(open, lt);
                break;
            }
            default:
                break;
        }
    }

    std::size_t StartTag(std::size_t lt) {
        const std::size_t nameEnd = NameEnd(lt + 1);
        bool selfClosing = false;
        const std::size_t gt = CHtmlScanner::ReadTag(Text, nameEnd, nullptr, &selfClosing);
        // A tag cut off by the end of the text is dropped, and with it the rest of the text.
        if (gt == kNone) return Size;
        const std::string name = CHtmlScanner::ToUpper(Text.substr(lt + 1, nameEnd - lt - 1));
        const int id = Intern(name);
        const unsigned flags = FlagsOf(id);
        // A second HTML, HEAD or BODY merges into the first in a browser: not an element.
        if ((id == kHtml || id == kHead || id == kBody) && !Positions[id].empty()) return gt + 1;
        if (id == kHead && !Positions[kBody].empty()) return gt + 1;
        ApplyImpliedEnds(id, flags, lt);
        if (Sink.Stop) return Size;

        Open open{CHtmlElement{}, id, false};
        CHtmlElement& element = open.Element;
        element.Start = lt;
        element.StartTagEnd = gt + 1;
        element.Name = name;
        std::size_t next = gt + 1;
        if (flags & kVoid) {
            element.EndTagStart = element.End = gt + 1;
        } else if (flags & kPlainText) {
            element.EndTagStart = element.End = next = Size;
        } else if (flags & kRawText) {
            // "<SCRIPT src=x />" still opens raw text in a browser; so it does here.
            FindRawTextEnd(element, nameEnd - lt - 1);
            next = element.End;
        } else if (selfClosing) {
            element.EndTagStart = element.End = gt + 1;
        } else {
            element.EndTagStart = element.End = kNone;
        }
        open.Watched = Sink.OnStart(element);
        if (element.End != kNone) {
            if (open.Watched && !Sink.Stop) Sink.OnEnd(element);
            return next;
        }
        const std::size_t index = Stack.size();
        Positions[id].push_back(index);
        if (flags & kSpecial) Special.push_back(index);
        if (flags & kListBreaker) Breakers.push_back(index);
        Stack.push_back(std::move(open));
        return next;
    }

    // Raw text ends at the first "</NAME" followed by a blank, "/" or ">".
    void FindRawTextEnd(CHtmlElement& element, std::size_t nameLength) {
        std::size_t at = element.StartTagEnd;
        while (true) {
            const std::size_t close = Text.find("</", at);
            const std::size_t after = close + 2 + nameLength;
            if (close == kNone || after >= Size) break;
            if (CHtmlScanner::EqualsIgnoreCase(Text.substr(close + 2, nameLength),
                                               std::string_view(element.Name)) &&
                (CHtmlScanner::IsSpace(Text[after]) || Text[after] == '/' || Text[after] == '>')) {
                const std::size_t gt = CHtmlScanner::ReadTag(Text, after, nullptr, nullptr);
                if (gt == kNone) break;
                element.EndTagStart = close;
                element.End = gt + 1;
                return;
            }
            at = close + 2;
        }
        element.EndTagStart = element.End = Size;
    }

    std::size_t EndTag(std::size_t lt) {
        const std::size_t nameEnd = NameEnd(lt + 2);
        const std::size_t gt = CHtmlScanner::ReadTag(Text, nameEnd, nullptr, nullptr);
        if (gt == kNone) return Size;
        const int id = Lookup(CHtmlScanner::ToUpper(Text.substr(lt + 2, nameEnd - lt - 2)));
        if (id < 0) return gt + 1;  // never opened: closes nothing
        if (Positions[id].empty()) return gt + 1;
        const std::size_t open = Positions[id].back() + 1;
        const unsigned flags = FlagsOf(id);
        bool closes;
        if (flags & kTablePart) {
            closes = open > TopOf(kTableScope, id);
        } else if (id == kP) {
            closes = open > TopOf(kButtonScope);
        } else if (id == kLi) {
            closes = open > std::max(TopOf(kDefaultScope), TopOf({kOl, kUl}));
        } else if (flags & kScopedEnd) {
            closes = open > TopOf(kDefaultScope, id);
        } else {
            // Any other end tag gives up at the first special element above its own.
            closes = Special.empty() || Special.back() + 1 <= open;
        }
        if (!closes) return gt + 1;
        while (Stack.size() > open && !Sink.Stop) Pop(lt, lt);
        if (!Sink.Stop) Pop(lt, gt + 1);
        return gt + 1;
    }

    std::string_view Text;
    CHtmlScanner::Visitor& Sink;
    const std::size_t Size;
    std::unordered_map<std::string, int> OtherIds;
    std::vector<std::vector<std::size_t>> Positions;  // per tag id: its open stack positions
    std::vector<std::size_t> Special;                 // stack positions of open special elements
    std::vector<std::size_t> Breakers;                // ... of open list-item breakers
    std::vector<Open> Stack;
};

void AppendUtf8(std::string& out, unsigned long code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Reads "&...;" at `at`; on success appends its character and returns the offset past ";".
std::size_t DecodeReference(std::string_view text, std::size_t at, std::string& out) {
    const std::size_t semicolon = text.find(';', at + 1);
    // Named references are short and numeric ones fit in a few digits; a far ";" is not ours.
    if (semicolon == kNone || semicolon - at > 10) return kNone;
    const std::string_view body = text.substr(at + 1, semicolon - at - 1);
    if (body.size() >= 2 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return kNone;
        unsigned long code = 0;
        for (char c : digits) {
            int digit;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (hex && c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (hex && c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                return kNone;
            }
            code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
        }
        AppendUtf8(out, code);
        return semicolon + 1;
    }
    static const std::pair<std::string_view, unsigned long> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
    for (const auto& [name, code] : kNamed) {
        if (body == name) {
            AppendUtf8(out, code);
            return semicolon + 1;
        }
    }
    return kNone;
}

}  // namespace

void CHtmlScanner::Scan(std::string_view text, Visitor& visitor) {
    Scanner(text, visitor).Run();
}

std::vector<CHtmlAttribute> CHtmlScanner::Attributes(std::string_view text,
                                                     const CHtmlElement& element) {
    std::vector<CHtmlAttribute> attributes;
    if (element.Start >= text.size() || element.StartTagEnd > text.size()) return attributes;
    // Only the start tag is read, so a stale element cannot run the reader into the page.
    const std::string_view tag = text.substr(0, element.StartTagEnd);
    ReadTag(tag, std::min(element.Start + 1 + element.Name.size(), tag.size()), &attributes,
            nullptr);
    return attributes;
}

std::size_t CHtmlScanner::ReadTag(std::string_view text, std::size_t from,
                                  std::vector<CHtmlAttribute>* attributes, bool* selfClosing) {
    const std::size_t size = text.size();
    std::size_t at = from;
    while (at < size) {
        const char c = text[at];
        if (IsSpace(c)) {
            ++at;
            continue;
        }
        if (c == '>') return at;
        if (c == '/') {
            if (at + 1 < size && text[at + 1] == '>') {
                if (selfClosing != nullptr) *selfClosing = true;
                return at + 1;
            }
            ++at;
            continue;
        }
        CHtmlAttribute attribute;
        attribute.NameStart = at++;  // the first character of a name may even be "="
        while (at < size && !IsSpace(text[at]) && text[at] != '/' && text[at] != '>' &&
               text[at] != '=')
            ++at;
        attribute.NameEnd = attribute.ValueStart = attribute.ValueEnd = attribute.End = at;
        std::size_t look = at;
        while (look < size && IsSpace(text[look])) ++look;
        if (look < size && text[look] == '=') {
            ++look;
            while (look < size && IsSpace(text[look])) ++look;
            if (look >= size) return kNone;
            attribute.HasValue = true;
            const char first = text[look];
            if (first == '"' || first == '\'') {
                const std::size_t close = text.find(first, look + 1);
                if (close == kNone) return kNone;
                attribute.Quote = first;
                attribute.ValueStart = look + 1;
                attribute.ValueEnd = close;
                attribute.End = at = close + 1;
            } else if (first == '>') {
                attribute.ValueStart = attribute.ValueEnd = attribute.End = at = look;
            } else {
                std::size_t end = look;
                while (end < size && !IsSpace(text[end]) && text[end] != '>') ++end;
                attribute.ValueStart = look;
                attribute.ValueEnd = attribute.End = at = end;
            }
        }
        if (attributes != nullptr) attributes->push_back(attribute);
    }
    return kNone;
}

std::string CHtmlScanner::DecodeEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t amp = text.find('&', at);
        if (amp == kNone) {
            out.append(text.substr(at));
            break;
        }
        out.append(text.substr(at, amp - at));
        const std::size_t next = DecodeReference(text, amp, out);
        if (next == kNone) {
            out += '&';
            at = amp + 1;
        } else {
            at = next;
        }
    }
    return out;
}

std::string CHtmlScanner::EncodeAttribute(std::string_view text, char quote) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '&') {
            out += "&amp;";
        } else if (quote != 0 && c == quote) {
            out += c == '"' ? "&quot;" : "&#39;";
        } else {
            out += c;
        }
    }
    return out;
}

std::string CHtmlScanner::ToUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Upper(c);
    return out;
}

bool CHtmlScanner::EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Upper(x) == Upper(y); });
}
