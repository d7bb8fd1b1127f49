// Parameter substitution. Every step works on the result of the one before, so a parameter whose
// value holds a date expression, "~Dir~" or a marker gets those substituted too; that is how
// reports build a parameter's default from today's date. The parameter and option lists are read
// as they stand at each call, never cached, because the property bar changes them between runs.
#include "params/ParamSubstitution.h"

#include <algorithm>

#include "core/TextEncoding.h"
#include "core/TextReplace.h"
#include "model/AppContext.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/DateExpression.h"

namespace {

constexpr std::string_view kDateOpener = "~date(";
constexpr std::string_view kDateCloser = ")~";

// Placeholders are bare prefixes ("`Region" also matches the front of "`RegionCode") taken in
// list order. Existing reports are written against exactly that, so keys need no terminator.
void SubstituteParameters(std::string& text, const CReport& report) {
    if (!report.ReportObject) return;
    for (const COvInfoProp* prop : report.ReportObject->Props) {
        // A parameter without a name would have the key "`" alone and swallow every backquote,
        // the identifier quote of several SQL dialects, so it takes part in nothing.
        if (prop->Caption.empty() || !prop->IsVisible()) continue;
        const std::string key = "`" + prop->Caption;
        if (text.find(key) == std::string::npos) continue;
        // A parameter bound to another report property is edited through it, so that property
        // holds the value the user sees. Brackets become quotes so that a value typed as [2024]
        // (or a multi-choice [a],[b]) lands in SQL as '2024' (or 'a','b').
        const auto* target = static_cast<const COvInfoProp*>(prop->SelectedCombo);
        std::string value =
            prop->Kind == PropKind::Reference && target ? target->Value : prop->Value;
        std::replace(value.begin(), value.end(), '[', '\'');
        std::replace(value.begin(), value.end(), ']', '\'');
        orvik::ReplaceAll(text, key, value);
    }
}

// Always takes the first opener left in the text. An unterminated one is reported and defused by
// turning it into "~-date(", so the loop moves on and the user sees the fragment where it was.
// Text before an edit holds no opener, so the next search starts just before the edit: a new
// opener can only begin there, where the edit's text may complete one.
void SubstituteDateExpressions(std::string& text) {
    const auto nextFrom = [&](size_t edited) {
        return text.find(kDateOpener,
                         edited >= kDateOpener.size() ? edited - kDateOpener.size() + 1 : 0);
    };
    bool closerLeft = true;  // once no ")~" follows an opener, none follows the later ones
    for (size_t at = text.find(kDateOpener); at != std::string::npos; at = nextFrom(at)) {
        const size_t start = at + kDateOpener.size();
        const size_t close = closerLeft ? text.find(kDateCloser, start) : std::string::npos;
        closerLeft = close != std::string::npos;
        if (close != std::string::npos) {
            const std::string date =
                EvalDateExpr(std::string_view(text).substr(start, close - start));
            text.replace(at, close + kDateCloser.size() - at, date);
            continue;
        }
        // The message shows the opener, the expression up to the next "~" and two characters
        // more (four when no "~" follows). Counted in characters, not bytes, so a Cyrillic
        // letter at the edge is never cut in half.
        const size_t tilde = text.find('~', start);
        const size_t shown =
            kDateOpener.size() + 2 +
            (tilde == std::string::npos ? 2 : orvik::Utf8Length(text.substr(start, tilde - start)));
        orvik::ShowMessage("Ошибочный параметр <" +
                               orvik::Utf8Prefix(std::string_view(text).substr(at), shown) + ">",
                           {}, orvik::MessageBoxButtons::Ok, orvik::MessageBoxIcon::Error);
        text.insert(at + 1, "-");
    }
}

void SubstituteOptions(std::string& text, const CRegistries& registries) {
    for (const auto& option : registries.ProgramSettings) {
        const std::string key = "~" + option->Name + "~";
        if (text.find(key) == std::string::npos) continue;
        // An empty option leaves its placeholder, so a missing setting shows in the output
        // instead of silently vanishing from a path or an address.
        const std::string value = GetPropS(option->Name);
        if (!value.empty()) orvik::ReplaceAll(text, key, value);
    }
}

}  // namespace

std::string DSetParam(const char* text) {
    return text ? DSetParam(std::string_view(text)) : std::string();
}

std::string DSetParam(std::string_view source) {
    std::string text(source);
    orvik::AppContext* context = orvik::AppContext::Current();
    if (context) SubstituteParameters(text, context->Report());

    if (text.find('~') != std::string::npos) {
        orvik::ReplaceAll(text, "~дата(", kDateOpener);
        SubstituteDateExpressions(text);
        if (context) {
            // The folder keeps its case and its trailing "/", so "~Dir~HTML/x.htm" is a path.
            orvik::ReplaceAll(text, "~Dir~", context->ProgramFolder());
            SubstituteOptions(text, context->Registries());
        }
    }

    for (const std::string_view marker : {"#Дата#", "#Период_начало#", "#Период_конец#"}) {
        if (text.find(marker) != std::string::npos)
            orvik::ReplaceAll(text, marker, EvalDateExpr({}));
    }
    return text;
}
