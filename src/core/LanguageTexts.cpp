#include "core/LanguageTexts.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/Paths.h"
#include "core/TextEncoding.h"

namespace {

// Language files write a line break as the two characters backslash and n.
std::string ExpandLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

constexpr std::string_view kLineBlanks = " \t\r\n";

// Debug trace for texts the program asks for but does not have; silent unless asked for.
void TraceUnknownId(int id) {
    if (std::getenv("ORVIK_TRACE")) std::fprintf(stderr, "Unknown resource string id : %d\n", id);
}

// The printf conversions of a template, in order and whole: "%-8.2lf and %*s" gives "%-8.2lf"
// and "%*s". A conversion cut off by the end of the text is kept as far as it goes.
std::vector<std::string_view> Conversions(std::string_view format) {
    std::vector<std::string_view> found;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;  // a literal percent sign
            continue;
        }
        // Argument position, flags, width, precision and length modifier, then the letter.
        size_t j = i + 1;
        while (j < format.size() && format[j] != '\0' &&
               std::strchr("$-+ #'0123456789.*hlLqjzt", format[j])) {
            ++j;
        }
        if (j < format.size()) ++j;
        found.push_back(format.substr(i, j - i));
        i = j - 1;
    }
    return found;
}

}  // namespace

const std::string* CLanguageTexts::Find(std::string_view key) const {
    const auto found = table_.find(key);
    return found == table_.end() ? nullptr : &found->second;
}

std::string CLanguageTexts::GetText(int id) const {
    const char* builtin = BuiltinText(id);
    if (Translating()) {
        // An empty value never replaces a text.
        if (const std::string* value = Find(std::to_string(id)); value && !value->empty()) {
            return ExpandLineBreaks(*value);
        }
        return builtin ? builtin : "?";
    }
    if (builtin) return builtin;
    TraceUnknownId(id);
    return "???";
}

std::string CLanguageTexts::GetNamedText(std::string_view name, int index) const {
    std::string key(name);
    if (index >= 0) key += std::to_string(index);
    const std::string* value = Find(key);
    return value ? ExpandLineBreaks(*value) : std::string();
}

std::string CLanguageTexts::LanguageFilePath(const std::string& code,
                                             const std::string& programFolder) {
    const std::string wanted = "orvik18_" + code + ".lng";
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(programFolder, error)) {
        const std::string name = item.path().filename().string();
        if (orvik::EqualsIgnoringAsciiCase(name, wanted) && item.is_regular_file(error)) {
            return item.path().string();
        }
    }
    return {};
}

void CLanguageTexts::InitLanguage(const std::string& storedCode, const std::string& programFolder) {
    code_ = storedCode.empty() ? "ENG" : storedCode;
    if (code_ != "ENG" && !LoadLanguage(code_, programFolder)) code_ = "ENG";
}

bool CLanguageTexts::LoadLanguage(const std::string& code, const std::string& programFolder) {
    table_.clear();
    duplicateKeys_.clear();
    const std::string path = code == "ENG" ? std::string() : LanguageFilePath(code, programFolder);
    std::string bytes;
    if (path.empty() || !orvik::ReadWholeFile(path, bytes)) {
        code_ = "ENG";
        return false;
    }
    code_ = code;
    // Only three-letter codes translate; a file for any other code is not read.
    if (!Translating()) return false;

    const std::string text = orvik::DecodeLegacyText(bytes);
    size_t added = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.substr(0, 2) == "//") continue;

        const size_t equals = line.find('=');
        const std::string key(orvik::Trim(line.substr(0, equals), kLineBlanks));
        std::string value =
            equals == std::string_view::npos
                ? std::string()
                : ExpandLineBreaks(orvik::Trim(line.substr(equals + 1), kLineBlanks));
        if (orvik::Utf8Length(value) > kMaxValueLength) {
            value = orvik::Utf8Prefix(value, kMaxValueLength);
        }
        if (table_.contains(key)) {
            duplicateKeys_.push_back(key);
            continue;
        }
        table_.emplace(key, std::move(value));
        ++added;
    }
    return added > 0;
}

std::string CLanguageTexts::Translated(std::string_view key, const std::string& base) const {
    const std::string* value = Find(key);
    return value && !value->empty() ? ExpandLineBreaks(*value) : base;
}

void CLanguageTexts::TranslateMenu(CTranslatableMenu& menu, std::string_view prefix) const {
    if (!Translating()) return;
    const std::string base(prefix);
    for (int i = 0; i < menu.TopLevelCount(); ++i) {
        if (const std::string* text = Find(base + std::to_string(i)); text && !text->empty()) {
            menu.SetTopLevelText(i, ExpandLineBreaks(*text));
        }
        for (int j = 0; j < menu.ItemCount(i); ++j) {
            const int command = menu.CommandId(i, j);
            if (command == 0) continue;
            if (const std::string* text = Find(base + std::to_string(command));
                text && !text->empty()) {
                menu.SetItemText(i, j, ExpandLineBreaks(*text));
            }
        }
    }
}

void CLanguageTexts::TranslateDialog(CTranslatableDialog& dialog, std::string_view key) const {
    if (!Translating()) return;
    const std::string base(key);
    if (const std::string* caption = Find(base); caption && !caption->empty()) {
        dialog.SetCaption(ExpandLineBreaks(*caption));
    }
    for (int id = 1; id < 32000; ++id) {
        if (dialog.ControlText(id).empty()) continue;
        if (const std::string* text = Find(base + std::to_string(id)); text && !text->empty()) {
            dialog.SetControlText(id, ExpandLineBreaks(*text));
        }
    }
}

const CLanguageTexts& BuiltinLanguage() {
    static const CLanguageTexts builtin;
    return builtin;
}

std::string UsableTemplate(const std::string& translated, const char* builtin) {
    // A translation whose conversions differ in anything (a length modifier, a "*" width, the
    // order) would read the arguments as other types than the program passes; rather than crash
    // on a translator's slip, the built-in template is used.
    if (!builtin || Conversions(translated) == Conversions(builtin)) return translated;
    return builtin;
}

std::string CLanguageTexts::TextF(int id, ...) const {
    const std::string format = UsableTemplate(GetText(id), BuiltinText(id));
    va_list args;
    va_start(args, id);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format.c_str(), copy);
    va_end(copy);
    std::string out(length > 0 ? length : 0, '\0');
    if (length > 0) std::vsnprintf(out.data(), out.size() + 1, format.c_str(), args);
    va_end(args);
    return out;
}
