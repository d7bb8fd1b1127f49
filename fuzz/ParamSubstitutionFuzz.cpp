// Fuzzes the substitution every outgoing text passes through (parameters, date expressions,
// options, markers): whatever a report holds, substitution must end, must not crash and must give
// valid text back for valid text in.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/TextEncoding.h"
#include "model/AppContext.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/DateExpression.h"
#include "params/ParamSubstitution.h"

namespace {

// Messages about broken expressions are expected by the thousand here; nobody reads them.
class QuietFrontEnd : public orvik::FrontEnd {
  public:
    orvik::MessageBoxResult ShowMessageBox(std::string_view, std::string_view,
                                           orvik::MessageBoxButtons,
                                           orvik::MessageBoxIcon) override {
        return orvik::MessageBoxResult::Ok;
    }
};

orvik::AppContext& Program() {
    static std::unique_ptr<orvik::AppContext> context = [] {
        char folder[] = "/tmp/orvik-fuzz-XXXXXX";
        const char* made = mkdtemp(folder);
        auto program = std::make_unique<orvik::AppContext>(orvik::AppContextOptions{
            made ? made : "/tmp", std::string(made ? made : "/tmp") + "/settings.ini",
            std::make_unique<QuietFrontEnd>()});
        BuildSchema(program->Registries(), program->Settings());
        CReport& report = program->Report();
        report.StartNew();
        const char* params[][2] = {
            {"Day", "~date(d-1)~"}, {"Regions", "[North],[South]"}, {"D", "x"}, {"Loop", "`Loop"}};
        for (const auto& [name, value] : params) {
            report.Params.push_back(std::make_unique<COvInfoPrm>(GroupId::Param));
            COvInfoPrm& prm = *report.Params.back();
            prm.Name.Value = name;
            prm.PrmVal.Value = value;
            prm.PrmVal.Caption = name;
            report.ReportObject->Props.push_back(&prm.PrmVal);
        }
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
    const std::string result = DSetParam(text.c_str());
    EvalDateExpr(text);
    // Substitution only ever puts valid text in: valid text in must stay valid.
    if (orvik::IsValidUtf8(text.c_str()) && !orvik::IsValidUtf8(result)) __builtin_trap();
    (void)program;
    return 0;
}
