#include "core/Run.h"

#include "core/BatchFrontEnd.h"

namespace orvik {

Run::Run(Program& program, std::unique_ptr<FrontEnd> frontEnd)
    : program_(program),
      frontEnd_(frontEnd ? std::move(frontEnd) : std::make_unique<BatchFrontEnd>(*this)),
      logPath_(program.StateFolder().empty() ? std::string()
                                             : program.StateFolder() + "Orvik18.log") {
    frontEnd_->AttachedTo(*this);
}

Run::Run(std::unique_ptr<Program> program, std::unique_ptr<FrontEnd> frontEnd)
    : ownedProgram_(std::move(program)),
      program_(*ownedProgram_),
      frontEnd_(frontEnd ? std::move(frontEnd) : std::make_unique<BatchFrontEnd>(*this)),
      logPath_(program_.StateFolder().empty() ? std::string()
                                              : program_.StateFolder() + "Orvik18.log") {
    frontEnd_->AttachedTo(*this);
}

Run::~Run() = default;

void Run::SetFrontEnd(std::unique_ptr<FrontEnd> frontEnd) {
    frontEnd_ = frontEnd ? std::move(frontEnd) : std::make_unique<BatchFrontEnd>(*this);
    frontEnd_->AttachedTo(*this);
}

void Run::NoteError(std::string_view reason) {
    ++errorCount_;
    if (!firstError_.empty()) return;
    std::string_view text = reason.empty() ? std::string_view(lastLogLine_) : reason;
    // One line for the terminal: the first line of the text that says something.
    while (!text.empty() && (text.front() == '\n' || text.front() == ' ')) text.remove_prefix(1);
    firstError_ = text.substr(0, text.find('\n'));
}

void Run::ResetReportState() {
    WrittenFiles.clear();
    PlainParamsLogged = false;
    DateArithmeticLogged = false;
}

MessageBoxResult ShowMessage(Run& run, std::string_view text, std::string_view caption,
                             MessageBoxButtons buttons, MessageBoxIcon icon) {
    if (icon == MessageBoxIcon::Error) run.NoteError(text);
    return run.Front().ShowMessageBox(text, caption, buttons, icon);
}

}  // namespace orvik
