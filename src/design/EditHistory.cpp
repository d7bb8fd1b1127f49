#include "design/EditHistory.h"

#include <filesystem>
#include <system_error>

#include "app/ReportSession.h"
#include "model/AppContext.h"
#include "model/Report.h"
#include "persist/ReportFile.h"
#include "persist/ReportLifecycle.h"

namespace orvik::design {

EditHistory::EditHistory(AppContext& context, std::string folder, size_t depth)
    : context_(context), folder_(std::move(folder)), depth_(depth < 1 ? 1 : depth) {}

EditHistory::~EditHistory() {
    Drop(0);
}

void EditHistory::Drop(size_t from) {
    std::error_code ignored;
    for (size_t i = from; i < states_.size(); ++i)
        std::filesystem::remove(states_[i].File, ignored);
    if (from < states_.size()) states_.resize(from);
}

void EditHistory::Start() {
    Drop(0);
    current_ = 0;
    if (!Record("")) Drop(0);
}

bool EditHistory::Record(const std::string& what) {
    // A state the history does not know where to put (the start failed) would undo into nothing.
    if (states_.empty() && !what.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    const std::string file = folder_ + "/state-" + std::to_string(++next_) + ".ovk";
    CReport& report = context_.Report();
    // Writing a state is no save: the report keeps its mark, its path and its file.
    const bool modified = report.Modified;
    const bool written = WriteReportFile(context_, file).empty();
    report.Modified = modified;
    if (!written) return false;
    if (!states_.empty()) Drop(current_ + 1);
    states_.push_back({file, what});
    if (states_.size() > depth_ + 1) {
        std::filesystem::remove(states_.front().File, error);
        states_.erase(states_.begin());
    }
    current_ = states_.size() - 1;
    return true;
}

std::string EditHistory::UndoText() const {
    return CanUndo() ? states_[current_].What : "";
}

std::string EditHistory::RedoText() const {
    return CanRedo() ? states_[current_ + 1].What : "";
}

bool EditHistory::Undo() {
    if (!CanUndo() || !Restore(states_[current_ - 1])) return false;
    --current_;
    return true;
}

bool EditHistory::Redo() {
    if (!CanRedo() || !Restore(states_[current_ + 1])) return false;
    ++current_;
    return true;
}

bool EditHistory::Restore(const State& state) {
    if (!ReportFileProblem(context_, state.File).empty()) return false;
    CReport& report = context_.Report();
    const std::string path = report.CurrentDocPath;
    const bool hadFile = report.Loaded;
    // The report's own changes are in the states: nothing to offer to save on the way.
    report.Modified = false;
    InitOVK(context_, path);
    const bool read = SerializeXML(context_, state.File, 0) != 0;
    report.CurrentDocPath = path;
    report.Loaded = hadFile;
    report.Modified = true;
    ReportSession(context_).Show();
    return read;
}

}  // namespace orvik::design
