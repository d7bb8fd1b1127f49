#include "MdxCase.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace orvik::test {
namespace {

constexpr std::string_view QueryMarker = "=== QUERY ===";
constexpr std::string_view ExpectedMarker = "=== EXPECTED ===";
// The largest case is a few kilobytes; anything near this is not a case file.
constexpr size_t MaxCaseBytes = 1 << 20;

std::string TrimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
        --end;
    return std::string(text.substr(0, end));
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.push_back(TrimRight(text.substr(0, end)));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// "# key: value" -> key and value; continuation lines ("#    more text") have no key.
bool HeaderField(const std::string& line, std::string& key, std::string& value) {
    if (line.size() < 2 || line[0] != '#' || line[1] != ' ') return false;
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon <= 2) return false;
    key = line.substr(2, colon - 2);
    if (!std::all_of(key.begin(), key.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; }))
        return false;
    value = std::string(TrimLeft(std::string_view(line).substr(colon + 1)));
    return true;
}

[[noreturn]] void Refuse(const std::string& name, const std::string& why) {
    throw std::runtime_error("case file " + name + ": " + why);
}

}  // namespace

const char* MdxCaseTierName(MdxCaseTier tier) {
    switch (tier) {
        case MdxCaseTier::Core:
            return "core";
        case MdxCaseTier::Edge:
            return "edge";
        case MdxCaseTier::Stretch:
            return "stretch";
    }
    return "?";
}

MdxCase ParseMdxCase(const std::string& name, std::string_view text) {
    if (text.size() > MaxCaseBytes) Refuse(name, "larger than a case file can be");
    MdxCase result;
    result.Name = name;
    const std::vector<std::string> lines = SplitLines(text);
    enum class Part { Header, Query, Expected } part = Part::Header;
    std::string tier, kind, query;
    for (const std::string& line : lines) {
        if (line == QueryMarker) {
            if (part != Part::Header) Refuse(name, "a second query section");
            part = Part::Query;
            continue;
        }
        if (line == ExpectedMarker) {
            if (part != Part::Query) Refuse(name, "an expected section that follows no query");
            part = Part::Expected;
            continue;
        }
        if (part == Part::Query) {
            query += line + "\n";
        } else if (part == Part::Expected) {
            result.Expected.push_back(line);
        } else if (std::string key, value; HeaderField(line, key, value)) {
            if (key == "tier") tier = value;
            if (key == "kind") kind = value;
        }
    }
    if (part != Part::Expected) Refuse(name, "no query and expected sections");
    while (!result.Expected.empty() && result.Expected.back().empty()) result.Expected.pop_back();
    result.Query = TrimRight(TrimLeft(query));
    while (!result.Query.empty() && result.Query.back() == '\n') result.Query.pop_back();
    if (result.Query.empty()) Refuse(name, "an empty query");

    // "core   note: why this case is here"
    const std::string tierWord = tier.substr(0, tier.find_first_of(" \t"));
    if (tierWord == "core")
        result.Tier = MdxCaseTier::Core;
    else if (tierWord == "edge")
        result.Tier = MdxCaseTier::Edge;
    else if (tierWord == "stretch")
        result.Tier = MdxCaseTier::Stretch;
    else
        Refuse(name, "unknown tier \"" + tier + "\"");
    if (const size_t note = tier.find("note:"); note != std::string::npos)
        result.Note = std::string(TrimLeft(std::string_view(tier).substr(note + 5)));
    result.CommaDecimal = result.Note.find("German-locale") != std::string::npos;

    if (kind == "assertQueryReturns" || kind == "QueryAndResult")
        result.Form = MdxCaseForm::Traditional;
    else if (kind == "assertAxisReturns")
        result.Form = MdxCaseForm::AxisOnly;
    else if (kind.starts_with("derived from an XMLA ExecuteResponse"))
        result.Form = MdxCaseForm::Xmla;
    else
        Refuse(name, "unknown kind \"" + kind + "\"");
    return result;
}

MdxCase LoadMdxCase(const std::string& path) {
    const std::string name = std::filesystem::path(path).stem().string();
    std::ifstream in(path, std::ios::binary);
    if (!in) Refuse(name, "cannot be read (" + path + ")");
    std::string text;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(in.gcount()));
        if (text.size() > MaxCaseBytes) Refuse(name, "larger than a case file can be");
    }
    return ParseMdxCase(name, text);
}

std::vector<std::string> MdxCaseNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".mdxcase" && entry.is_regular_file(error))
            names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace orvik::test
