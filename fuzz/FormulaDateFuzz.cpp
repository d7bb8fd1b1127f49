// Feeds arbitrary bytes to the formula evaluator and to date expressions, the two readers of
// outside text in parameter substitution that count and nest. None may crash, hang or grow
// without bound, however deep the input nests.
//
// A date expression must give the same answer alone and inside a query: a date there, or, when
// it cannot be worked out, an error that keeps the query from running.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzProgram.h"
#include "model/OvInfoProp.h"
#include "params/DateExpression.h"
#include "params/Formula.h"
#include "params/ParamSubstitution.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

orvik::AppContext& Program() {
    static std::unique_ptr<orvik::AppContext> context = [] {
        auto program = orvik::fuzz::MakeProgram();
        orvik::fuzz::AddParameter(program->Report(), "N", "1");
        orvik::SetClockForTesting([] {
            std::tm now{};
            now.tm_year = 124;  // 2024-02-29: a leap day, so month steps have a day to lose
            now.tm_mon = 1;
            now.tm_mday = 29;
            return now;
        });
        return program;
    }();
    return *context;
}

void DateExpressions(const std::string& text) {
    const orvik::DateEvaluation alone = orvik::EvaluateDateExpression(text);
    Check(alone.Error.empty() || alone.Text == "Invalid DateTime");
    (void)orvik::WhyNotADate(text);
    // In a query: the date it gave alone, or the error. Text that holds no "~", "`" or "#" of its
    // own is exactly one expression there, and nothing after it is substituted.
    const bool plain = text.find_first_of("~`#") == std::string::npos;
    try {
        const std::string query =
            DSetParam(Program(), "~date(" + text + ")~", orvik::SubstitutionTarget::Sql);
        Check(!plain || (alone.Error.empty() && query == alone.Text));
    } catch (const orvik::SubstitutionError&) {
        Check(!plain || !alone.Error.empty());
    }
    // The text as a report text of its own: on the page it never fails.
    (void)DSetParam(Program(), text);
    try {
        (void)DSetParam(Program(), text, orvik::SubstitutionTarget::Shell);
    } catch (const orvik::SubstitutionError&) {
    }
}

void Formulas(const std::string& text) {
    (void)ParseValue(Program(), text.c_str());
    COvInfoProp prop(nullptr, 0, "Fuzz", "", "", 0, PropKind::Text);
    prop.Value = "~" + text + "~";
    const std::string parsed = PGetParsedValue(Program(), prop, nullptr);
    // A number is at most a few hundred characters; the text around the formulas is the input's.
    const size_t formulas = static_cast<size_t>(std::count(text.begin(), text.end(), '~')) / 2 + 1;
    Check(parsed.size() <= prop.Value.size() + formulas * 400);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Program();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) return 0;  // texts come in as C strings
    DateExpressions(text);
    Formulas(text);
    return 0;
}
