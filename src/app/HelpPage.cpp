#include "app/HelpPage.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/AtomicFile.h"
#include "core/MarkupEscape.h"

namespace orvik {
namespace {

// A link target as written, unless its scheme could run something in the browser.
std::string SafeUrl(std::string_view url) {
    std::string lower;
    for (const char c : url)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* scheme : {"javascript:", "vbscript:", "data:"})
        if (lower.rfind(scheme, 0) == 0) return "#";
    return EscapeMarkup(url);
}

// The text of `[...]` starting at `open` and the target of the `(...)` after it; false when the
// brackets do not form a link.
bool LinkAt(std::string_view text, size_t open, std::string_view& label, std::string_view& url,
            size_t& end) {
    const size_t close = text.find(']', open + 1);
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != '(')
        return false;
    const size_t stop = text.find(')', close + 2);
    if (stop == std::string_view::npos) return false;
    label = text.substr(open + 1, close - open - 1);
    url = text.substr(close + 2, stop - close - 2);
    end = stop + 1;
    return true;
}

std::string Inline(std::string_view text) {
    std::string out;
    bool strong = false, emphasis = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '`') {
            const size_t close = text.find('`', i + 1);
            if (close != std::string_view::npos) {
                out += "<code>" + EscapeMarkup(text.substr(i + 1, close - i - 1)) + "</code>";
                i = close + 1;
                continue;
            }
        }
        std::string_view label, url;
        size_t end = 0;
        if (c == '!' && i + 1 < text.size() && text[i + 1] == '[' &&
            LinkAt(text, i + 1, label, url, end)) {
            // The pictures stay in the source tree; the page names them and links there.
            out += "<a href=\"" + SafeUrl(url) + "\">[" + EscapeMarkup(label) + "]</a>";
            i = end;
            continue;
        }
        if (c == '[' && LinkAt(text, i, label, url, end)) {
            out += "<a href=\"" + SafeUrl(url) + "\">" + Inline(label) + "</a>";
            i = end;
            continue;
        }
        if (c == '*' && i + 1 < text.size() && text[i + 1] == '*') {
            out += strong ? "</strong>" : "<strong>";
            strong = !strong;
            i += 2;
            continue;
        }
        // A lone star opens emphasis before a word and closes it after one; underscores are
        // left alone, as names like ORVIK_HOME are full of them.
        if (c == '*' && (emphasis || (i + 1 < text.size() && text[i + 1] != ' '))) {
            out += emphasis ? "</em>" : "<em>";
            emphasis = !emphasis;
            ++i;
            continue;
        }
        out += EscapeMarkup(text.substr(i, 1));
        ++i;
    }
    if (emphasis) out += "</em>";
    if (strong) out += "</strong>";
    return out;
}

std::string Trimmed(std::string_view line) {
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const size_t last = line.find_last_not_of(" \t\r");
    return std::string(line.substr(first, last - first + 1));
}

// "intro-to-cubes" from "Intro to cubes": the id a heading is linked to as the README links.
std::string Anchor(std::string_view heading) {
    std::string id;
    for (const char c : heading) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')
            id += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (c == ' ')
            id += '-';
    }
    return id;
}

std::vector<std::string> Cells(const std::string& row) {
    std::vector<std::string> cells;
    std::string_view rest(row);
    if (!rest.empty() && rest.front() == '|') rest.remove_prefix(1);
    if (!rest.empty() && rest.back() == '|') rest.remove_suffix(1);
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && rest[i] == '\\') {
            ++i;
            continue;
        }
        if (i == rest.size() || rest[i] == '|') {
            cells.push_back(Trimmed(rest.substr(start, i - start)));
            start = i + 1;
        }
    }
    return cells;
}

bool IsListItem(const std::string& line, size_t& textAt) {
    if (line.size() > 1 && (line[0] == '-' || line[0] == '*') && line[1] == ' ') {
        textAt = 2;
        return true;
    }
    size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
    if (digits && digits + 1 < line.size() && line[digits] == '.' && line[digits + 1] == ' ') {
        textAt = digits + 2;
        return true;
    }
    return false;
}

}  // namespace

std::string MarkdownToHtml(std::string_view markdown) {
    std::vector<std::string> lines;
    for (size_t start = 0; start <= markdown.size();) {
        const size_t end = markdown.find('\n', start);
        lines.emplace_back(
            markdown.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    std::string out, paragraph;
    const auto flush = [&] {
        if (!paragraph.empty()) out += "<p>" + Inline(paragraph) + "</p>\n";
        paragraph.clear();
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = Trimmed(lines[i]);
        if (line.rfind("```", 0) == 0) {
            flush();
            out += "<pre><code>";
            for (++i; i < lines.size() && Trimmed(lines[i]).rfind("```", 0) != 0; ++i)
                out += EscapeMarkup(lines[i]) + "\n";
            out += "</code></pre>\n";
        } else if (line.empty()) {
            flush();
        } else if (line[0] == '#') {
            flush();
            size_t level = 0;
            while (level < line.size() && line[level] == '#') ++level;
            const std::string text = Trimmed(std::string_view(line).substr(level));
            const std::string tag = "h" + std::to_string(level > 6 ? 6 : level);
            out += "<" + tag + " id=\"" + Anchor(text) + "\">" + Inline(text) + "</" + tag + ">\n";
        } else if (line[0] == '|') {
            flush();
            out += "<table>\n";
            for (bool head = true; i < lines.size() && Trimmed(lines[i]).rfind('|', 0) == 0; ++i) {
                const std::string row = Trimmed(lines[i]);
                if (row.find_first_not_of("|-: ") == std::string::npos) continue;  // the rule
                out += "<tr>";
                for (const std::string& cell : Cells(row))
                    out += (head ? "<th>" : "<td>") + Inline(cell) + (head ? "</th>" : "</td>");
                out += "</tr>\n";
                head = false;
            }
            --i;
            out += "</table>\n";
        } else if (size_t textAt = 0; IsListItem(line, textAt)) {
            flush();
            const bool ordered = std::isdigit(static_cast<unsigned char>(line[0]));
            out += ordered ? "<ol>\n" : "<ul>\n";
            for (; i < lines.size(); ++i) {
                const std::string item = Trimmed(lines[i]);
                if (!IsListItem(item, textAt)) break;
                std::string text = item.substr(textAt);
                // Continuation lines are indented under their item.
                while (i + 1 < lines.size() && !lines[i + 1].empty() &&
                       (lines[i + 1][0] == ' ' || lines[i + 1][0] == '\t')) {
                    size_t nested = 0;
                    if (IsListItem(Trimmed(lines[i + 1]), nested)) break;
                    text += " " + Trimmed(lines[++i]);
                }
                out += "<li>" + Inline(text) + "</li>\n";
            }
            --i;
            out += ordered ? "</ol>\n" : "</ul>\n";
        } else if (line[0] == '>') {
            flush();
            out += "<blockquote>" + Inline(Trimmed(std::string_view(line).substr(1))) +
                   "</blockquote>\n";
        } else {
            paragraph += (paragraph.empty() ? "" : " ") + line;
        }
    }
    flush();
    return out;
}

std::string WriteHelpPage(const std::string& programFolder, const std::string& outputFolder) {
    std::string body;
    for (const char* name : {"README.md", "report-format.md"}) {
        std::ifstream in(programFolder + "doc/" + name, std::ios::binary);
        if (!in) continue;
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        body += "<section>\n" + MarkdownToHtml(text) + "</section>\n";
    }
    if (body.empty()) return {};
    const std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Orvik "
        "documentation</title>\n<style>body{font:15px/1.5 sans-serif;max-width:"
        "60em;margin:2em auto;padding:0 1em}pre{background:#f4f4f4;padding:.6em;overflow:auto}"
        "code{background:#f4f4f4}table{border-collapse:collapse}td,th{border:1px solid #ccc;"
        "padding:.2em .5em;text-align:left}section+section{border-top:2px "
        "solid #ddd;margin-top:3em}</style></head>\n<body>\n" +
        body + "</body></html>\n";
    std::error_code error;
    std::filesystem::create_directories(outputFolder, error);
    const std::string path = outputFolder + "/help.html";
    AtomicFile file(path);
    if (!file.Stream() || std::fwrite(page.data(), 1, page.size(), file.Stream()) != page.size() ||
        !file.Commit())
        return {};
    return path;
}

}  // namespace orvik
