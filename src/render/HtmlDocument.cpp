// Queries by scanning and edits by splicing for CHtmlDocument.
#include "render/HtmlDocument.h"

#include <algorithm>
#include <utility>

#include "core/TextEncoding.h"
#include "render/CssParser.h"

namespace {

constexpr std::string_view kBlanks = " \t\n\r\f";

// Can stand as an attribute name in a tag we write.
bool IsAttributeName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (CHtmlScanner::IsSpace(c) || c == '\0' ||
            std::string_view("\"'<>/=").find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

// Can stand as an attribute value without quotes, as the ids the report itself writes do.
bool IsPlainValue(std::string_view value) {
    if (value.empty()) return false;
    for (char c : value) {
        if (CHtmlScanner::IsSpace(c) || c == '\0' ||
            std::string_view("\"'=<>`&").find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

// A width or height a placeholder gave as a bare number ("760", "12.5") in pixels, which is how
// old browsers read it and what its author meant; a browser in standards mode would drop the
// bare number and leave the table unsized. Other values ("50%", "10em", "auto") stay as written.
std::string WithPixelUnit(std::string value) {
    const bool number = !value.empty() &&
                        value.find_first_not_of("0123456789.") == std::string::npos &&
                        value.find_first_of("0123456789") != std::string::npos;
    if (number) value += "px";
    return value;
}

std::string Quoted(std::string_view value) {
    return "\"" + CHtmlScanner::EncodeAttribute(value, '"') + "\"";
}

// The element's start tag with the attribute set to `value` (see SetAttribute).
std::string EditedStartTag(std::string_view text, const CHtmlElement& element,
                           std::string_view name, std::string_view value) {
    const std::vector<CHtmlAttribute> attributes = CHtmlScanner::Attributes(text, element);
    std::string tag(text.substr(element.Start, element.StartTagEnd - element.Start));
    const std::size_t base = element.Start;
    for (const CHtmlAttribute& attribute : attributes) {
        const std::string_view written =
            text.substr(attribute.NameStart, attribute.NameEnd - attribute.NameStart);
        if (!CHtmlScanner::EqualsIgnoreCase(written, name)) continue;
        if (!attribute.HasValue) {
            tag.insert(attribute.NameEnd - base, "=" + Quoted(value));
        } else if (attribute.Quote != 0) {
            tag.replace(attribute.ValueStart - base, attribute.ValueEnd - attribute.ValueStart,
                        CHtmlScanner::EncodeAttribute(value, attribute.Quote));
        } else {
            tag.replace(attribute.ValueStart - base, attribute.ValueEnd - attribute.ValueStart,
                        IsPlainValue(value) ? std::string(value) : Quoted(value));
        }
        return tag;
    }
    // Right after the name nothing can swallow it: after the last attribute, a bare "x=" would
    // take it for its value.
    tag.insert(1 + element.Name.size(), " " + std::string(name) + "=" + Quoted(value));
    return tag;
}

std::optional<std::string> AttributeValue(std::string_view text, const CHtmlElement& element,
                                          std::string_view name) {
    for (const CHtmlAttribute& attribute : CHtmlScanner::Attributes(text, element)) {
        const std::string_view written =
            text.substr(attribute.NameStart, attribute.NameEnd - attribute.NameStart);
        if (!CHtmlScanner::EqualsIgnoreCase(written, name)) continue;
        if (!attribute.HasValue) return std::string();
        return CHtmlScanner::DecodeEntities(
            text.substr(attribute.ValueStart, attribute.ValueEnd - attribute.ValueStart));
    }
    return std::nullopt;
}

// Collects the elements of one tag name (or all) with their extents.
class TagCollector : public CHtmlScanner::Visitor {
  public:
    TagCollector(std::string_view tag, std::uint64_t generation)
        : Tag(tag == "*" ? std::string() : CHtmlScanner::ToUpper(tag)), Generation(generation) {}

    bool OnStart(const CHtmlElement& element) override {
        if (!Tag.empty() && element.Name != Tag) return false;
        Found.push_back(element);
        Found.back().Generation = Generation;
        return true;
    }
    void OnEnd(const CHtmlElement& element) override {
        // Starts are unique and come in order, so the element is found by its start.
        const auto it = std::lower_bound(
            Found.begin(), Found.end(), element.Start,
            [](const CHtmlElement& a, std::size_t start) { return a.Start < start; });
        if (it != Found.end() && it->Start == element.Start) {
            it->EndTagStart = element.EndTagStart;
            it->End = element.End;
        }
    }

    std::vector<CHtmlElement> Found;

  private:
    std::string Tag;
    std::uint64_t Generation;
};

// Finds the first element of a tag name and waits for its end.
class FirstOfTag : public CHtmlScanner::Visitor {
  public:
    explicit FirstOfTag(std::string_view tag)
        : Tag(tag == "*" ? std::string() : CHtmlScanner::ToUpper(tag)) {}
    bool OnStart(const CHtmlElement& element) override {
        if (Found || (!Tag.empty() && element.Name != Tag)) return false;
        Found = element;
        return true;
    }
    void OnEnd(const CHtmlElement& element) override {
        Found = element;
        Stop = true;
    }
    std::optional<CHtmlElement> Found;

  private:
    std::string Tag;
};

// Finds the first element bearing an id and waits for its end.
class IdFinder : public CHtmlScanner::Visitor {
  public:
    IdFinder(std::string_view text, std::string_view id) : Text(text), Id(id) {}

    bool OnStart(const CHtmlElement& element) override {
        if (Found) return false;
        Attributes.clear();
        CHtmlScanner::ReadTag(Text.substr(0, element.StartTagEnd),
                              element.Start + 1 + element.Name.size(), &Attributes, nullptr);
        for (const CHtmlAttribute& attribute : Attributes) {
            if (attribute.NameEnd - attribute.NameStart != 2 ||
                !CHtmlScanner::EqualsIgnoreCase(Text.substr(attribute.NameStart, 2), "id"))
                continue;
            // Only the first id attribute of a tag counts.
            const std::string_view raw =
                Text.substr(attribute.ValueStart, attribute.ValueEnd - attribute.ValueStart);
            const bool match = raw.find('&') == std::string_view::npos
                                   ? raw == Id
                                   : CHtmlScanner::DecodeEntities(raw) == Id;
            if (!match) return false;
            Found = element;
            return true;
        }
        return false;
    }
    void OnEnd(const CHtmlElement& element) override {
        Found = element;
        Stop = true;
    }

    std::optional<CHtmlElement> Found;

  private:
    std::string_view Text;
    std::string_view Id;
    std::vector<CHtmlAttribute> Attributes;
};

// Finds the first start tag of a text.
class FirstTagFinder : public CHtmlScanner::Visitor {
  public:
    bool OnStart(const CHtmlElement& element) override {
        Found = element;
        Stop = true;
        return false;
    }
    std::optional<CHtmlElement> Found;
};

// The charset named in a Content-Type value such as "text/html; charset=windows-1251".
std::string CharsetOfContentType(std::string_view content) {
    const std::string upper = CHtmlScanner::ToUpper(content);
    std::size_t at = 0;
    while ((at = upper.find("CHARSET", at)) != std::string::npos) {
        std::size_t cursor = at + 7;
        while (cursor < content.size() && CHtmlScanner::IsSpace(content[cursor])) ++cursor;
        at = cursor;
        if (cursor >= content.size() || content[cursor] != '=') continue;
        ++cursor;
        while (cursor < content.size() && CHtmlScanner::IsSpace(content[cursor])) ++cursor;
        if (cursor < content.size() && (content[cursor] == '"' || content[cursor] == '\'')) {
            const char quote = content[cursor];
            const std::size_t close = content.find(quote, cursor + 1);
            if (close == std::string_view::npos) return {};
            return std::string(content.substr(cursor + 1, close - cursor - 1));
        }
        std::size_t end = cursor;
        while (end < content.size() && !CHtmlScanner::IsSpace(content[end]) && content[end] != ';')
            ++end;
        return std::string(content.substr(cursor, end - cursor));
    }
    return {};
}

}  // namespace

void CHtmlDocument::Load(std::string html) {
    Text = std::move(html);
    ++Edits;
}

std::optional<CHtmlElement> CHtmlDocument::FindById(std::string_view id) const {
    if (id.empty()) return std::nullopt;  // as in a browser: no element has the empty id
    IdFinder finder(Text, id);
    CHtmlScanner::Scan(Text, finder);
    if (finder.Found) finder.Found->Generation = Edits;
    return finder.Found;
}

std::optional<CHtmlElement> CHtmlDocument::FirstElementByTagName(std::string_view tag) const {
    FirstOfTag finder(tag);
    CHtmlScanner::Scan(Text, finder);
    if (finder.Found) finder.Found->Generation = Edits;
    return finder.Found;
}

std::vector<CHtmlElement> CHtmlDocument::ElementsByTagName(std::string_view tag) const {
    TagCollector collector(tag, Edits);
    CHtmlScanner::Scan(Text, collector);
    return std::move(collector.Found);
}

bool CHtmlDocument::IsCurrent(const CHtmlElement& element) const {
    return element.Generation == Edits && element.Start < element.StartTagEnd &&
           element.StartTagEnd <= element.EndTagStart && element.EndTagStart <= element.End &&
           element.End <= Text.size() && Text[element.Start] == '<' &&
           Text[element.StartTagEnd - 1] == '>';
}

std::string CHtmlDocument::OuterHtml(const CHtmlElement& element) const {
    if (!IsCurrent(element)) return {};
    return Text.substr(element.Start, element.End - element.Start);
}

std::optional<std::string> CHtmlDocument::GetAttribute(const CHtmlElement& element,
                                                       std::string_view name) const {
    if (!IsCurrent(element)) return std::nullopt;
    return AttributeValue(Text, element, name);
}

bool CHtmlDocument::SetAttribute(const CHtmlElement& element, std::string_view name,
                                 std::string_view value) {
    if (!IsCurrent(element) || !IsAttributeName(name)) return false;
    ReplaceText(element.Start, element.StartTagEnd, EditedStartTag(Text, element, name, value));
    return true;
}

std::string CHtmlDocument::GetStyleValue(const CHtmlElement& element,
                                         std::string_view property) const {
    const std::optional<std::string> style = GetAttribute(element, "style");
    if (!style) return {};
    std::string_view value;
    bool found = false;
    const std::string_view text(*style);
    for (const CCssDeclaration& declaration : CCssParser::Declarations(text)) {
        const std::string_view name =
            text.substr(declaration.NameStart, declaration.NameEnd - declaration.NameStart);
        if (!CHtmlScanner::EqualsIgnoreCase(name, property)) continue;
        value = text.substr(declaration.ValueStart, declaration.ValueEnd - declaration.ValueStart);
        found = true;
    }
    if (!found) return {};
    value = orvik::Trim(value, kBlanks);
    const std::size_t bang = value.rfind('!');
    if (bang != std::string_view::npos &&
        CHtmlScanner::EqualsIgnoreCase(orvik::Trim(value.substr(bang + 1), kBlanks), "important"))
        value = orvik::Trim(value.substr(0, bang), kBlanks);
    return std::string(value);
}

bool CHtmlDocument::ReplaceOuterHtml(const CHtmlElement& element, std::string_view html) {
    if (!IsCurrent(element)) return false;
    ReplaceText(element.Start, element.End, html);
    return true;
}

void CHtmlDocument::AppendHtml(std::string_view html) {
    Text.append(html);
    ++Edits;
}

void CHtmlDocument::ReplaceText(std::size_t begin, std::size_t end, std::string_view text) {
    begin = std::min(begin, Text.size());
    end = std::clamp(end, begin, Text.size());
    Text.replace(begin, end - begin, text);
    ++Edits;
}

std::size_t CHtmlDocument::RewriteAttribute(
    std::string_view tag, std::string_view attribute,
    const std::function<std::optional<std::string>(const std::optional<std::string>&)>& rewrite) {
    if (!IsAttributeName(attribute)) return 0;
    std::string out;
    std::size_t copied = 0;
    std::size_t changed = 0;
    for (const CHtmlElement& element : ElementsByTagName(tag)) {
        const std::optional<std::string> value = rewrite(AttributeValue(Text, element, attribute));
        if (!value) continue;
        if (changed == 0) out.reserve(Text.size() + Text.size() / 8);
        out.append(Text, copied, element.Start - copied);
        out += EditedStartTag(Text, element, attribute, *value);
        copied = element.StartTagEnd;
        ++changed;
    }
    if (changed > 0) {
        out.append(Text, copied, std::string::npos);
        Text = std::move(out);
        ++Edits;
    }
    return changed;
}

bool CHtmlDocument::PlacePiece(std::string_view id, std::string_view piece) {
    const std::optional<CHtmlElement> element = FindById(id);
    if (!element) return false;
    std::string style;
    const std::string width = WithPixelUnit(GetStyleValue(*element, "width"));
    const std::string height = WithPixelUnit(GetStyleValue(*element, "height"));
    if (!width.empty()) style = "WIDTH:" + width;
    if (!height.empty()) style += (style.empty() ? "HEIGHT:" : "; HEIGHT:") + height;
    const std::string attribute = style.empty() ? std::string() : " style=" + Quoted(style);

    std::string replacement;
    if (piece.empty()) {
        replacement =
            "<DIV id=" + (IsPlainValue(id) ? std::string(id) : Quoted(id)) + attribute + "></DIV>";
    } else {
        replacement = piece;
        if (!attribute.empty()) {
            // The size goes on the piece's first tag, right after its name (where a generated
            // "<TABLE id=..." has its first blank). A piece that does not open with a tag gets a
            // DIV to carry it, so that no attribute text lands among the visible text.
            FirstTagFinder first;
            CHtmlScanner::Scan(piece, first);
            if (first.Found && first.Found->Start == piece.find_first_not_of(kBlanks)) {
                replacement.insert(first.Found->Start + 1 + first.Found->Name.size(), attribute);
            } else {
                replacement = "<DIV" + attribute + ">" + replacement + "</DIV>";
            }
        }
    }
    return ReplaceOuterHtml(*element, replacement);
}

std::string CHtmlDocument::Charset() const {
    for (const CHtmlElement& meta : ElementsByTagName("META")) {
        if (const auto charset = AttributeValue(Text, meta, "charset")) {
            const std::string_view declared = orvik::Trim(*charset, kBlanks);
            if (!declared.empty()) return std::string(declared);
        }
        const auto equiv = AttributeValue(Text, meta, "http-equiv");
        const auto content = AttributeValue(Text, meta, "content");
        if (equiv && content &&
            CHtmlScanner::EqualsIgnoreCase(orvik::Trim(*equiv, kBlanks), "content-type")) {
            const std::string declared = CharsetOfContentType(*content);
            if (!declared.empty()) return declared;
        }
    }
    return {};
}
