// Rule lookup and in-place declaration edits for CCssStyleSheet.
#include "render/CssStyleSheet.h"

#include <utility>

#include "core/TextEncoding.h"

namespace {

constexpr std::string_view kBlanks = " \t\n\r\f";

// "background-color:" and " background-color " both name background-color.
std::string_view PropertyName(std::string_view property) {
    property = orvik::Trim(property, kBlanks);
    if (!property.empty() && property.back() == ':') property.remove_suffix(1);
    return orvik::Trim(property, kBlanks);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

// Offset of the last declaration named `name` in the block, relative to the block.
std::optional<CCssDeclaration> LastDeclaration(std::string_view block, std::string_view name) {
    std::optional<CCssDeclaration> found;
    for (const CCssDeclaration& declaration : CCssParser::Declarations(block)) {
        if (SameName(
                block.substr(declaration.NameStart, declaration.NameEnd - declaration.NameStart),
                name))
            found = declaration;
    }
    return found;
}

// Where text added at the end of `content` (between `from` and `to`) goes: before trailing
// blanks, so the author's line breaks stay at the end.
std::size_t BeforeTrailingBlanks(std::string_view content, std::size_t from, std::size_t to) {
    while (to > from && kBlanks.find(content[to - 1]) != std::string_view::npos) --to;
    return to;
}

}  // namespace

const std::vector<CCssStyleSheet::Sheet>& CCssStyleSheet::Sheets() const {
    if (CacheGeneration != Document.Generation()) {
        Cache.clear();
        for (const CHtmlElement& style : Document.ElementsByTagName("STYLE"))
            Cache.push_back({style.StartTagEnd, style.EndTagStart});
        CacheGeneration = Document.Generation();
    }
    return Cache;
}

std::optional<CCssStyleSheet::Match> CCssStyleSheet::FindRule(
    const std::string& normalizedSelector) const {
    std::optional<Match> found;
    const std::vector<Sheet>& sheets = Sheets();
    const std::string_view page(Document.Html());
    for (std::size_t index = 0; index < sheets.size(); ++index) {
        const std::string_view content =
            page.substr(sheets[index].Start, sheets[index].End - sheets[index].Start);
        for (const CCssRule& rule : CCssParser::Rules(content)) {
            const std::string_view prelude =
                content.substr(rule.PreludeStart, rule.PreludeEnd - rule.PreludeStart);
            if (CCssParser::NormalizeSelector(prelude) == normalizedSelector)
                found = Match{index, rule};
        }
    }
    return found;
}

std::optional<std::string> CCssStyleSheet::GetProperty(std::string_view selector,
                                                       std::string_view property) const {
    const std::optional<Match> match = FindRule(CCssParser::NormalizeSelector(selector));
    if (!match) return std::nullopt;
    const Sheet& sheet = Sheets()[match->SheetIndex];
    const std::string_view block = std::string_view(Document.Html())
                                       .substr(sheet.Start + match->Rule.BlockStart,
                                               match->Rule.BlockEnd - match->Rule.BlockStart);
    const std::optional<CCssDeclaration> declaration =
        LastDeclaration(block, PropertyName(property));
    if (!declaration) return std::nullopt;
    return std::string(
        block.substr(declaration->ValueStart, declaration->ValueEnd - declaration->ValueStart));
}

bool CCssStyleSheet::SetProperty(std::string_view selector, std::string_view property,
                                 std::string_view value) {
    const std::string_view name = PropertyName(property);
    if (!CCssParser::IsPropertyName(name) || !CCssParser::IsSelfContainedSelector(selector) ||
        !CCssParser::IsSelfContainedValue(value))
        return false;
    const std::string normalized = CCssParser::NormalizeSelector(selector);

    std::optional<std::pair<std::size_t, std::size_t>> created;
    if (Sheets().empty()) {
        created = CreateStyleElement();
        if (!created) return false;
    }

    std::size_t index;
    std::size_t begin;
    std::size_t end;
    std::string text;
    const std::string_view page(Document.Html());
    if (const std::optional<Match> match = FindRule(normalized)) {
        index = match->SheetIndex;
        const std::size_t blockStart = Sheets()[index].Start + match->Rule.BlockStart;
        const std::size_t blockEnd = Sheets()[index].Start + match->Rule.BlockEnd;
        const std::string_view block = page.substr(blockStart, blockEnd - blockStart);
        if (const auto declaration = LastDeclaration(block, name)) {
            begin = blockStart + declaration->ValueStart;
            end = blockStart + declaration->ValueEnd;
            if (page.substr(begin, end - begin) == value) return true;
            text = value;
        } else {
            begin = end = BeforeTrailingBlanks(page, blockStart, blockEnd);
            const char previous = begin > blockStart ? page[begin - 1] : '{';
            text = previous == '{' ? "" : previous == ';' ? " " : "; ";
            text.append(name).append(":").append(value);
            // Blanks left before the "}" would read back as part of the value.
            if (begin < blockEnd) text += ';';
        }
    } else {
        index = Sheets().size() - 1;
        const Sheet sheet = Sheets()[index];
        const std::string_view content = page.substr(sheet.Start, sheet.End - sheet.Start);
        std::size_t at = BeforeTrailingBlanks(content, 0, content.size());
        // Old pages hide their rules from ancient browsers in "<!-- ... -->"; keep the new rule
        // inside with the others.
        if (at >= 3 && content.substr(at - 3, 3) == "-->")
            at = BeforeTrailingBlanks(content, 0, at - 3);
        const std::vector<CCssRule> rules = CCssParser::Rules(content);
        if (!rules.empty() && !rules.back().Closed) text = "}";
        if (!content.empty()) text += "\n";
        text.append(orvik::Trim(selector, kBlanks))
            .append(" {")
            .append(name)
            .append(":")
            .append(value)
            .append("}");
        begin = end = sheet.Start + at;
    }

    const std::string old(page.substr(begin, end - begin));
    Splice(index, begin, end, text);
    const std::optional<std::string> written = GetProperty(selector, name);
    if (written && *written == value) return true;
    // It did not read back: the sheet around it was in a state the edit could not fit into.
    // Reading it back may have found the page's elements changed, so the offsets are not kept.
    Document.ReplaceText(begin, begin + text.size(), old);
    if (created) Document.ReplaceText(created->first, created->first + created->second, {});
    CacheGeneration.reset();
    return false;
}

std::optional<std::pair<std::size_t, std::size_t>> CCssStyleSheet::CreateStyleElement() {
    const std::string style = "<STYLE>\n</STYLE>";
    std::size_t at;
    std::string text;
    if (const auto head = Document.FirstElementByTagName("HEAD")) {
        at = head->EndTagStart;
        text = style;
    } else if (const auto html = Document.FirstElementByTagName("HTML")) {
        at = html->StartTagEnd;
        text = "<HEAD>" + style + "</HEAD>";
    } else {
        const auto first = Document.FirstElementByTagName("*");
        at = first ? first->Start : Document.Html().size();
        text = style;
    }
    Document.ReplaceText(at, at, text);
    if (!Sheets().empty()) return std::make_pair(at, text.size());
    // Inserted where the page's text is not markup (the page ends inside a comment or a tag).
    Document.ReplaceText(at, at + text.size(), {});
    return std::nullopt;
}

void CCssStyleSheet::Splice(std::size_t index, std::size_t begin, std::size_t end,
                            std::string_view text) {
    const bool cached = CacheGeneration == Document.Generation() && index < Cache.size();
    // A STYLE element that runs to the end of the page may end in an end tag cut short
    // ("</STYLE title=x"), which a ">" added after it completes: look at such a page afresh.
    const bool runsToEnd = cached && Cache[index].End == Document.Html().size();
    Document.ReplaceText(begin, end, text);
    if (!cached || runsToEnd) {
        CacheGeneration.reset();
        return;
    }
    // Text added inside a closed STYLE element holds no "</" of ours, so no element boundary
    // moved except by the length change.
    const std::size_t removed = end - begin;
    auto shift = [&](std::size_t& offset) { offset = offset - removed + text.size(); };
    shift(Cache[index].End);
    for (std::size_t later = index + 1; later < Cache.size(); ++later) {
        shift(Cache[later].Start);
        shift(Cache[later].End);
    }
    CacheGeneration = Document.Generation();
}
