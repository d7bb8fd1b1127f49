// The bracket-, string- and comment-aware scanning behind CCssParser.
#include "render/CssParser.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsCssSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return at <= text.size() && text.size() - at >= prefix.size() &&
           text.compare(at, prefix.size(), prefix) == 0;
}

struct ScanResult {
    std::size_t Stop;  // the stop character's offset, or the text's size
    bool Clean;        // every string, comment, escape and bracket met was closed
};

// Past a string opened at `at`; an unescaped line end or the end of the text leaves it open.
std::size_t SkipString(std::string_view text, std::size_t at, bool& clean) {
    const char quote = text[at++];
    while (at < text.size()) {
        const char c = text[at];
        if (c == quote) return at + 1;
        if (c == '\n' || c == '\r' || c == '\f') {
            clean = false;
            return at;
        }
        if (c == '\\') {
            if (at + 1 >= text.size()) break;
            ++at;
        }
        ++at;
    }
    clean = false;
    return text.size();
}

// Scans from `at` to the first character of `stops` met outside comments, strings and brackets.
ScanResult ScanTo(std::string_view text, std::size_t at, std::string_view stops) {
    std::string closers;  // the brackets still to be closed, innermost last
    bool clean = true;
    const std::size_t size = text.size();
    while (at < size) {
        const char c = text[at];
        if (closers.empty() && stops.find(c) != kNone) return {at, clean};
        if (c == '/' && StartsWith(text, at + 1, "*")) {
            const std::size_t end = text.find("*/", at + 2);
            if (end == kNone) return {size, false};
            at = end + 2;
            continue;
        }
        if (c == '"' || c == '\'') {
            at = SkipString(text, at, clean);
            continue;
        }
        if (c == '\\') {
            if (at + 1 >= size) return {size, false};
            at += 2;
            continue;
        }
        if (c == '(') {
            closers += ')';
        } else if (c == '[') {
            closers += ']';
        } else if (c == '{') {
            closers += '}';
        } else if (!closers.empty() && c == closers.back()) {
            closers.pop_back();
        }
        ++at;
    }
    return {size, clean && closers.empty()};
}

// Past blanks and comments from `at`, not beyond `end`.
std::size_t SkipBlanks(std::string_view text, std::size_t at, std::size_t end) {
    while (at < end) {
        if (IsCssSpace(text[at])) {
            ++at;
        } else if (text[at] == '/' && StartsWith(text, at + 1, "*")) {
            const std::size_t close = text.find("*/", at + 2);
            at = close == kNone ? end : close + 2;
        } else {
            break;
        }
    }
    return at < end ? at : end;
}

}  // namespace

std::vector<CCssRule> CCssParser::Rules(std::string_view sheet) {
    std::vector<CCssRule> rules;
    const std::size_t size = sheet.size();
    std::size_t at = 0;
    while (at < size) {
        const std::size_t skipped = SkipBlanks(sheet, at, size);
        if (skipped != at) {
            at = skipped;
            continue;
        }
        if (StartsWith(sheet, at, "<!--")) {
            at += 4;
            continue;
        }
        if (StartsWith(sheet, at, "-->")) {
            at += 3;
            continue;
        }
        if (sheet[at] == '@') {
            const ScanResult prelude = ScanTo(sheet, at, "{;");
            if (prelude.Stop >= size) break;
            at = sheet[prelude.Stop] == ';' ? prelude.Stop + 1
                                            : ScanTo(sheet, prelude.Stop + 1, "}").Stop + 1;
            continue;
        }
        const ScanResult prelude = ScanTo(sheet, at, "{");
        if (prelude.Stop >= size) break;  // a selector without a block is no rule
        const ScanResult block = ScanTo(sheet, prelude.Stop + 1, "}");
        rules.push_back({at, prelude.Stop, prelude.Stop + 1, block.Stop, block.Stop < size});
        at = block.Stop + 1;
    }
    return rules;
}

std::vector<CCssDeclaration> CCssParser::Declarations(std::string_view block) {
    std::vector<CCssDeclaration> declarations;
    const std::size_t size = block.size();
    std::size_t at = 0;
    while (at < size) {
        const std::size_t end = ScanTo(block, at, ";").Stop;
        std::size_t cursor = SkipBlanks(block, at, end);
        const std::size_t nameStart = cursor;
        while (cursor < end && !IsCssSpace(block[cursor]) && block[cursor] != ':' &&
               !(block[cursor] == '/' && StartsWith(block, cursor + 1, "*")))
            ++cursor;
        const std::size_t nameEnd = cursor;
        cursor = SkipBlanks(block, cursor, end);
        if (nameEnd > nameStart && cursor < end && block[cursor] == ':')
            declarations.push_back({nameStart, nameEnd, cursor + 1, end});
        at = end + 1;
    }
    return declarations;
}

std::string CCssParser::NormalizeSelector(std::string_view selector) {
    std::string out;
    bool blank = false;
    std::size_t at = 0;
    while (at < selector.size()) {
        const std::size_t skipped = SkipBlanks(selector, at, selector.size());
        if (skipped != at) {
            blank = true;
            at = skipped;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        const char c = selector[at++];
        out += c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
    }
    return out;
}

bool CCssParser::IsSelfContainedValue(std::string_view value) {
    if (value.find_first_of("{}") != kNone || value.find("</") != kNone) return false;
    const ScanResult scan = ScanTo(value, 0, ";");
    return scan.Stop == value.size() && scan.Clean;
}

bool CCssParser::IsSelfContainedSelector(std::string_view selector) {
    const std::string normalized = NormalizeSelector(selector);
    // A leading "@" would read as an at-rule, "/" could close the STYLE element with a "<"
    // before it, and "<!--" or "-->" would be skipped as the old comment wrappers.
    if (normalized.empty() || normalized[0] == '@' || normalized[0] == '/' ||
        selector.find("<!--") != kNone || selector.find("-->") != kNone)
        return false;
    return IsSelfContainedValue(selector);
}

bool CCssParser::IsPropertyName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}
