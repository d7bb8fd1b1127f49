// The application: brings the program up, decides between the designer and an unattended run,
// runs it and takes the program down again. An unattended run (key "act") never touches a display:
// it loads the report, runs the task, writes every step and error to the log and ends with an exit
// status a scheduler can act on.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/ReportSession.h"
#include "core/FolderLock.h"
#include "model/AppContext.h"

class CCmdLineParser;

class COrvikApp {
  public:
    // Exit statuses of the program.
    static constexpr int kExitSuccess = 0;
    static constexpr int kExitRunFailed = 1;
    static constexpr int kExitCannotStart = 2;

    // `arguments` are the command-line arguments after the program name. `frontEnd` is what an
    // interactive start talks to (the designer's windows); an unattended run always uses the
    // logging front end instead.
    explicit COrvikApp(std::vector<std::string> arguments,
                       std::unique_ptr<orvik::FrontEnd> frontEnd = nullptr);
    ~COrvikApp();

    // Runs the whole life of the program and returns its exit status.
    int Run();

    // True when `arguments` ask for the designer: no task to run, no conversion, no help and no
    // key the runner would refuse.
    static bool WantsDesigner(const std::vector<std::string>& arguments);
    // Opens the designer: loads its library from beside the program and hands it the command
    // line. Without a display, or when the library cannot be loaded, says why on standard error
    // and returns kExitCannotStart.
    static int RunDesigner(int argc, char** argv);
    // The designer's start: everything up to a shown report (the front end given to the
    // constructor already stands). False when the program cannot go on; Finish() then says how
    // it ends.
    bool StartInteractive();
    // Takes the program down after the designer's window closed; returns the exit status.
    int Finish();
    // Opens the report at `path` the way the designer shows it (sheets run, page built); false
    // (reported) when it could not be read.
    bool OpenDocument(const std::string& path);

    // The context start-up built; null before StartInteractive() and after Finish().
    orvik::AppContext* Context() { return context_.get(); }

    // The text printed for --help.
    static std::string UsageText();

    // The help file to open: "Orvik18_<code>.chm" when the program folder has one for the
    // language, else "Orvik18.chm".
    static std::string HelpFileName(const std::string& programFolder, const std::string& code);
    // Opens the help file of language `code` from `programFolder` with the desktop's viewer;
    // false when the viewer could not be started.
    static bool OpenHelpFile(const std::string& programFolder, const std::string& code);
    // Opens `path` in the desktop's own viewer for its type (xdg-open), without waiting for it.
    static bool OpenWithDesktop(const std::string& path);
    // Opens the help file of the current language when the program folder has one, else the
    // documentation that ships with the program as a page (see HelpPage.h); false when there was
    // none or the viewer could not be started.
    bool OnAppHelp() const;

    int BatchMode = 0;  // 1 when the command line holds "act"
    int RunAction = 0;  // 1 when the task named by "act" is to run after loading
    std::string DocumentPath;
    std::string LanguageCode;  // as at start-up; the help follows later changes
    std::string ProgramFolder;
    std::string TaskName;
    std::string ParameterText;
    std::vector<ParameterAssignment> ParameterAssignments;  // ParameterText read
    std::string SaveAsPath;  // "saveas": where an unattended run saves the report

  private:
    // Start-up up to the point where the report would be shown or the task run; false when the
    // program cannot go on (the status is in `exitStatus_`).
    bool InitInstance();
    // The unattended run between its framing log lines: the task, then the save.
    void RunBatch();
    // Runs the task named by "act" (its log line, and why nothing ran when nothing did).
    void RunTask();
    // Saves the report to the "saveas" path; false (reported) when it cannot be written.
    bool SaveDocumentAs();
    // Releases everything start-up built.
    void ExitInstance();
    // The log line after the start line that tells this run from others in the same log.
    std::string RunLine(const CCmdLineParser& parser) const;
    // The one line a failed unattended run prints on standard error.
    void TellTerminal(const std::string& reason) const;
    // The parts of that line around the reason ("orvik: <report>: ", " (log: <path>)\n").
    std::string TerminalPrefix() const;
    std::string TerminalSuffix() const;
    // Takes the work folder for this unattended run, waiting for another run to finish with it
    // (setting WorkFolderWait, seconds); false (logged, exit status set) when it cannot.
    bool LockWorkFolder();
    bool LockDesignerFolder();
    // Loads the report named on the command line; false (reported) when it could not be loaded.
    bool LoadDocument();

    std::vector<std::string> arguments_;
    std::unique_ptr<orvik::FrontEnd> frontEnd_;  // until start-up hands it to the context
    std::unique_ptr<orvik::AppContext> context_;
    std::unique_ptr<orvik::ReportSession> session_;
    std::unique_ptr<orvik::FolderLock> workFolderLock_;
    bool interactive_ = false;  // a designer window is starting or running
    bool reportLoaded_ = false;
    bool parametersAccepted_ = true;  // every /prm value named a parameter and was taken
    bool taskFound_ = false;
    int exitStatus_ = kExitSuccess;
};
