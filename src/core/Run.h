// One report's execution: the program it runs in, whoever is in front of it (the unattended
// runner, the designer, a test), the tally of errors it exits on, the page it built and the files
// it wrote. Everything that works for a run gets it as an argument; the report and the registries
// it was read against belong to the model layer and are attached by whoever owns them
// (model/AppContext.h).
#pragma once

#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "core/FrontEnd.h"
#include "core/Program.h"
#include "core/StopRequest.h"

class CRegistries;
class CReport;

namespace orvik {

// The page a run built last, for mail delivery and the designer's view.
struct RunPage {
    std::string Text;
    // The page went straight to its file instead of into Text, which is empty: whoever needs
    // the text reads the file.
    bool TextInFile = false;
    // An unattended run asks for the plain page to be written as it is made, so that a page of
    // hundreds of megabytes is never held whole.
    bool WriteAsBuilt = false;
};

class Run {
  public:
    // `frontEnd` null = a front end that logs every message box.
    Run(Program& program, std::unique_ptr<FrontEnd> frontEnd);
    // A run with a program of its own (an unattended run, a test).
    Run(std::unique_ptr<Program> program, std::unique_ptr<FrontEnd> frontEnd);
    virtual ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    Program& TheProgram() { return program_; }
    const Program& TheProgram() const { return program_; }
    const std::string& ProgramFolder() const { return program_.ProgramFolder(); }
    const std::string& StateFolder() const { return program_.StateFolder(); }
    SettingsStore& Settings() { return program_.Settings(); }
    CLanguageTexts& Language() { return program_.Language(); }

    FrontEnd& Front() { return *frontEnd_; }
    // Replaces the front end (start-up installs the batch one when a task is to run unattended).
    void SetFrontEnd(std::unique_ptr<FrontEnd> frontEnd);

    // The report this run works on and the registries it was read against.
    CReport& Report() { return *report_; }
    CRegistries& Registries() { return *registries_; }
    bool HasReport() const { return report_ != nullptr; }

    // The file this run's log lines go to ("" = none).
    const std::string& LogPath() const { return logPath_; }
    void SetLogPath(std::string path) { logPath_ = std::move(path); }

    // Set when the run is unattended: errors go to the log, never to a person.
    bool BatchMode = false;

    // Counts the errors reported during the run; an unattended run exits non-zero when any was.
    // The first one's reason is kept for the line a failed run leaves on the terminal: `reason`
    // when given, else the last line the log received (failures log their reason, then count).
    void NoteError(std::string_view reason = {});
    int ErrorCount() const { return errorCount_; }
    const std::string& FirstError() const { return firstError_; }
    // The last message written to the log, for NoteError.
    void RememberLogLine(std::string_view message) { lastLogLine_ = message; }

    // Stops this run alone (a server ending one request); work sees it on the threads a
    // RunStopScope made with it marks as this run's. Shared: whoever may stop the run keeps it.
    const std::shared_ptr<RunStopFlag>& StopFlag() const { return stopFlag_; }
    void SetStopFlag(std::shared_ptr<RunStopFlag> flag) { stopFlag_ = std::move(flag); }

    RunPage Page;
    // Canonical paths of the files the run wrote (UxWriteFile). A mail step may remove a file it
    // sent only when this program made it; this says which ones outside the work folder it did.
    std::set<std::string> WrittenFiles;
    // The report asks for plain parameter substitution (PlainParams); logged once per report.
    bool PlainParamsLogged = false;
    // The report asks for date arithmetic without carrying (DateArithmetic); logged once too.
    bool DateArithmeticLogged = false;
    // Forgets what the run built and wrote (a new report starts).
    void ResetReportState();

  protected:
    void Attach(CRegistries& registries, CReport& report) {
        registries_ = &registries;
        report_ = &report;
    }

  private:
    std::unique_ptr<Program> ownedProgram_;
    Program& program_;
    std::unique_ptr<FrontEnd> frontEnd_;
    CRegistries* registries_ = nullptr;
    CReport* report_ = nullptr;
    std::string logPath_;
    std::shared_ptr<RunStopFlag> stopFlag_ = std::make_shared<RunStopFlag>();
    int errorCount_ = 0;
    std::string firstError_;
    std::string lastLogLine_;
};

// Shows a message through the run's front end (logged in batch mode). A message with the error
// icon counts as an error of the run.
MessageBoxResult ShowMessage(Run& run, std::string_view text, std::string_view caption = {},
                             MessageBoxButtons buttons = MessageBoxButtons::Ok,
                             MessageBoxIcon icon = MessageBoxIcon::None);

// Shows or clears the busy cursor for as long as it lives.
class WaitCursor {
  public:
    explicit WaitCursor(Run& run) : front_(run.Front()) { front_.SetWaitCursor(true); }
    ~WaitCursor() { front_.SetWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    FrontEnd& front_;
};

}  // namespace orvik
