#include "design/DesignerDocument.h"
#include "design/DesignerWindows.h"

#include <filesystem>
#include <utility>

#include "app/ReportSession.h"
#include "model/AppContext.h"
#include "model/Report.h"
#include "persist/ReportFile.h"
#include "persist/ReportLifecycle.h"

namespace orvik::design {

std::string WindowTitle(const std::string& path, bool modified) {
    const std::string name =
        path.empty() ? "Untitled" : std::filesystem::path(path).filename().string();
    return name + (modified ? " *" : "") + " - Orvik";
}

DesignerDocument::DesignerDocument(AppContext& context, Loader load)
    : context_(context), load_(std::move(load)) {
    if (!load_) {
        load_ = [&context](const std::string& path) {
            ReportSession session(context);
            if (!session.Read(path)) return false;
            session.Show();
            return true;
        };
    }
    told_ = Modified();
    titledPath_ = Path();
}

const std::string& DesignerDocument::Path() const {
    return context_.Report().CurrentDocPath;
}

bool DesignerDocument::HasFile() const {
    const CReport& report = context_.Report();
    return !report.CurrentDocPath.empty() && report.Loaded;
}

bool DesignerDocument::Modified() const {
    return context_.Report().Modified;
}

void DesignerDocument::SetModified(bool modified) {
    CReport& report = context_.Report();
    const bool changed = report.Modified != modified;
    report.Modified = modified;
    Tell(changed);
}

void DesignerDocument::Tell(bool changed) {
    const bool modified = Modified();
    if (!changed && modified == told_) return;
    told_ = modified;
    WindowsOf(context_).ModifiedChanged(modified);
}

bool DesignerDocument::Refresh() {
    const bool markMoved = Modified() != told_;
    Tell(false);
    const bool pathMoved = Path() != titledPath_;
    titledPath_ = Path();
    return markMoved || pathMoved;
}

DocumentResult DesignerDocument::New() {
    CReport& report = context_.Report();
    const bool was = report.Modified;
    // The window has settled the changes; OnFileNew offers to save only a modified report.
    report.Modified = false;
    OnFileNew(context_);
    Tell(was != report.Modified);
    return {true, {}};
}

DocumentResult DesignerDocument::Open(const std::string& path) {
    // Everything that makes a load stop is found before the open report is dropped: a file that
    // cannot be read must not cost the user the report on the screen.
    if (std::string problem = ReportFileProblem(context_, path); !problem.empty())
        return {false, std::move(problem)};
    CReport& report = context_.Report();
    const bool was = report.Modified;
    // The window has settled the changes; InitOVK offers to save only a modified report. The
    // file is read into a report started afresh: its report object is where the report-level
    // properties and the parameter values go.
    report.Modified = false;
    InitOVK(context_, path);
    const bool read = load_(path);
    // A report just read has nothing to save; one the loader gave up on is empty.
    report.Modified = false;
    Tell(was);
    return {read, {}};
}

void DesignerDocument::Close() {
    context_.Report().DestroyObjects();
}

DocumentResult DesignerDocument::Save() {
    const bool was = Modified();
    std::string error = WriteReportFile(context_);
    if (!error.empty()) return {false, std::move(error)};
    Tell(was);
    return {true, {}};
}

DocumentResult DesignerDocument::SaveAs(const std::string& path) {
    // An empty path would quietly mean the report's own.
    if (path.empty()) return {false, "Cannot save file: no file name was given"};
    const bool was = Modified();
    std::string error = WriteReportFile(context_, path);
    if (!error.empty()) return {false, std::move(error)};
    CReport& report = context_.Report();
    report.CurrentDocPath = path;
    report.Loaded = true;
    Tell(was);
    return {true, {}};
}

}  // namespace orvik::design
