// Fuzzes the substitution every outgoing text passes through (parameters, date expressions,
// options, markers): whatever a report holds, substitution must end, must not crash and must give
// valid text back for valid text in.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "FuzzProgram.h"
#include "core/TextEncoding.h"
#include "params/DateExpression.h"
#include "params/ParamSubstitution.h"

namespace {

orvik::AppContext& Program() {
    static std::unique_ptr<orvik::AppContext> context = [] {
        auto program = orvik::fuzz::MakeProgram();
        CReport& report = program->Report();
        const char* params[][2] = {
            {"Day", "~date(d-1)~"}, {"Regions", "[North],[South]"}, {"D", "x"}, {"Loop", "`Loop"}};
        for (const auto& [name, value] : params) orvik::fuzz::AddParameter(report, name, value);
        orvik::SetClockForTesting([] {
            std::tm now{};
            now.tm_year = 126;
            now.tm_mon = 11;
            now.tm_mday = 31;
            return now;
        });
        return program;
    }();
    return *context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvik::AppContext& program = Program();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string result = DSetParam(program, text);
    EvalDateExpr(program, text);
    // Substitution only ever puts valid text in: valid text in (all of it, NULs included) must
    // stay valid.
    if (orvik::IsValidUtf8(text) && !orvik::IsValidUtf8(result)) __builtin_trap();
    (void)program;
    return 0;
}
