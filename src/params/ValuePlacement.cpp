// The targets without a grammar of their own: plain text, a mail header line, file names and
// markup. Each takes the value with brackets turned into quotes, as plain substitution always
// has, and then makes it safe for where it goes.
#include "params/ValuePlacement.h"

#include <algorithm>
#include <cctype>

#include "core/MarkupSanitizer.h"

namespace orvik {

std::optional<std::vector<std::string_view>> SplitMultiValue(std::string_view value) {
    std::vector<std::string_view> items;
    size_t at = 0;
    while (true) {
        if (at >= value.size() || value[at] != '[') return std::nullopt;
        const size_t close = value.find(']', at + 1);
        if (close == std::string_view::npos) return std::nullopt;
        items.push_back(value.substr(at + 1, close - at - 1));
        at = close + 1;
        if (at == value.size()) return items;
        if (value[at] != ',') return std::nullopt;
        ++at;
        while (at < value.size() && value[at] == ' ') ++at;
    }
}

std::string BracketsToQuotes(std::string_view value) {
    std::string text(value);
    std::replace(text.begin(), text.end(), '[', '\'');
    std::replace(text.begin(), text.end(), ']', '\'');
    return text;
}

bool IsPlainNumber(std::string_view value) {
    size_t at = 0;
    const auto digits = [&] {
        const size_t from = at;
        while (at < value.size() && std::isdigit(static_cast<unsigned char>(value[at]))) ++at;
        return at - from;
    };
    if (at < value.size() && (value[at] == '-' || value[at] == '+')) ++at;
    size_t mantissa = digits();
    if (at < value.size() && value[at] == '.') {
        ++at;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (at < value.size() && (value[at] == 'e' || value[at] == 'E')) {
        ++at;
        if (at < value.size() && (value[at] == '-' || value[at] == '+')) ++at;
        if (digits() == 0) return false;
    }
    return at == value.size();
}

void RefuseValue(std::string_view name, std::string_view target, std::string_view why) {
    throw SubstitutionError("The value of parameter '" + std::string(name) +
                            "' cannot be put into the " + std::string(target) + ": " +
                            std::string(why));
}

namespace {

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

// A value that names a file must stay inside the folder the author's text puts it in.
void CheckFileNameValue(std::string_view name, std::string_view value) {
    constexpr std::string_view kTarget = "file name";
    if (!value.empty() && (value.front() == '/' || value.front() == '\\'))
        RefuseValue(name, kTarget, "an absolute path may not come from a parameter");
    if (std::any_of(value.begin(), value.end(), IsControl))
        RefuseValue(name, kTarget, "it holds a control character");
    // ";" separates the files of a list and "*", "?" pick several: one value names one file.
    if (value.find_first_of(";*?") != std::string_view::npos)
        RefuseValue(name, kTarget, "it holds ';', '*' or '?'");
    size_t start = 0;
    while (start <= value.size()) {
        const size_t end = std::min(value.find_first_of("/\\", start), value.size());
        if (value.substr(start, end - start) == "..")
            RefuseValue(name, kTarget, "'..' would leave the folder");
        start = end + 1;
    }
}

class LinePlacement : public ValuePlacement {
  public:
    explicit LinePlacement(SubstitutionTarget target) : target_(target) {}

    void AppendAuthorText(std::string_view text, std::string& out) override { out += text; }

    void AppendValue(std::string_view name, std::string_view value, std::string& out) override {
        std::string text = BracketsToQuotes(value);
        switch (target_) {
            case SubstitutionTarget::MailHeader:
                // A line break would start a header of the value's own (Bcc:, a second body).
                std::replace_if(text.begin(), text.end(), IsControl, ' ');
                out += text;
                break;
            case SubstitutionTarget::FileName:
                CheckFileNameValue(name, text);
                out += text;
                break;
            case SubstitutionTarget::Markup:
                AppendSanitizedMarkup(out, text);
                break;
            default:
                out += text;
                break;
        }
    }

  private:
    SubstitutionTarget target_;
};

}  // namespace

std::unique_ptr<ValuePlacement> MakeLinePlacement(SubstitutionTarget target) {
    return std::make_unique<LinePlacement>(target);
}

std::unique_ptr<ValuePlacement> MakeValuePlacement(const PlacementOptions& options) {
    switch (options.Target) {
        case SubstitutionTarget::Sql:
            return MakeSqlPlacement(options.SqlBackslashEscapes);
        case SubstitutionTarget::Mdx:
            return MakeMdxPlacement();
        case SubstitutionTarget::Shell:
            return MakeShellPlacement();
        case SubstitutionTarget::ConnectionString:
            return MakeConnectionStringPlacement();
        default:
            return MakeLinePlacement(options.Target);
    }
}

}  // namespace orvik
