// The program a fuzz target runs in: a throw-away program folder, the schema built and an empty
// report, with a front end that swallows the messages broken input raises by the thousand.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "model/AppContext.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik::fuzz {

class QuietFrontEnd : public FrontEnd {
  public:
    MessageBoxResult ShowMessageBox(std::string_view, std::string_view, MessageBoxButtons,
                                    MessageBoxIcon) override {
        return MessageBoxResult::Ok;
    }
};

// A new program with an empty report.
inline std::unique_ptr<AppContext> MakeProgram() {
    char folder[] = "/tmp/orvik-fuzz-XXXXXX";
    const char* made = mkdtemp(folder);
    const std::string home = made ? made : "/tmp";
    auto program = std::make_unique<AppContext>(
        AppContextOptions{home, home + "/settings.ini", std::make_unique<QuietFrontEnd>()});
    BuildSchema(program->Registries(), program->Settings());
    program->Report().StartNew();
    return program;
}

// Adds parameter `name` with `value` the way the report loader does.
inline COvInfoPrm& AddParameter(CReport& report, const char* name, const char* value) {
    report.Params.push_back(std::make_unique<COvInfoPrm>(&report.Registries(), GroupId::Param));
    COvInfoPrm& prm = *report.Params.back();
    prm.Name.Value = name;
    prm.PrmVal.Value = value;
    prm.PrmVal.Caption = name;
    report.ReportObject->Props.push_back(&prm.PrmVal);
    return prm;
}

}  // namespace orvik::fuzz
