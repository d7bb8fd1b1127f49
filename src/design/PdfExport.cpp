#include "design/PdfExport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/AtomicFile.h"
#include "core/Run.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/TaskStep.h"
#include "tasks/HtmlExport.h"

namespace orvik::design {
namespace {

// Inside the work folder, which the PDF step writes to and every run empties.
constexpr char kPrinted[] = "designer/Orvik.pdf";

}  // namespace

std::string PrintPageToPdf(Run& run, std::string& failure) {
    TaskStep* kind = run.Registries().Types.Steps.Find("PDF");
    if (!kind) {
        failure =
            "Printing to PDF needs the plug-in Pdf.rll in the program folder, which is not "
            "loaded";
        return {};
    }
    COvInfoAct task(&run.Registries(), GroupId::Task);
    task.AType.Value = "HTML";
    if (DoExport(run, task) == 0) {
        failure = "The page could not be written";
        return {};
    }
    COvInfoAct print(&run.Registries(), GroupId::Task);
    print.Name.Value = "Export PDF";
    print.AType.Value = "PDF";
    run.Registries().PrepareNewCombo(print.AType, print.Props, true);
    if (COvInfoProp* out = print.GetPropByName("OutFile")) out->Value = kPrinted;
    const std::string path = run.Registries().HtmlFolder + kPrinted;
    std::error_code error;
    std::filesystem::remove(path, error);
    const int errorsBefore = run.ErrorCount();
    kind->Run(run, print, 0);
    if (run.ErrorCount() != errorsBefore || !std::filesystem::is_regular_file(path, error)) {
        // The step has shown its own reason.
        failure = "The page could not be printed to PDF";
        return {};
    }
    return path;
}

std::string ExportPagePdf(Run& run, const std::string& target) {
    if (target.empty()) return "Cannot export the PDF: no file name was given";
    std::string failure;
    const std::string printed = PrintPageToPdf(run, failure);
    if (printed.empty()) return failure;
    std::ifstream in(printed, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    AtomicFile file(target);
    if (!file.Stream()) return "Cannot write " + target + ": " + file.Error();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size() || !file.Commit())
        return "Cannot write " + target + ": " + file.Error();
    return {};
}

}  // namespace orvik::design
