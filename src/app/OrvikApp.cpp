#include "app/OrvikApp.h"

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "app/CmdLineParser.h"
#include "app/HelpPage.h"
#include "app/ReportSession.h"
#include "app/WorkFolders.h"
#include "core/BatchFrontEnd.h"
#include "core/CrashReport.h"
#include "core/FolderLock.h"
#include "core/LanguageTexts.h"
#include "core/Log.h"
#include "core/LogText.h"
#include "core/SettingsStore.h"
#include "core/StateFolder.h"
#include "core/StopRequest.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoProp.h"
#include "model/PropertyTranslation.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/ParameterAssignment.h"
#include "persist/ReportFile.h"
#include "persist/ReportLifecycle.h"
#include "plugin/PlugInLoader.h"
#include "plugin/PlugInStopWatch.h"

COrvikApp::COrvikApp(std::vector<std::string> arguments, std::unique_ptr<orvik::FrontEnd> frontEnd)
    : arguments_(std::move(arguments)), frontEnd_(std::move(frontEnd)) {}

COrvikApp::~COrvikApp() = default;

std::string COrvikApp::UsageText() {
    return "Usage: orvik [REPORT.ovk] [/act:TASK] [/prm:TEXT] [/saveas:FILE]\n"
           "       orvik serve --reports DIR [...]   (serves reports to web browsers;\n"
           "                                        orvik serve --help says more)\n"
           "\n"
           "Opens REPORT.ovk in the designer, or with /act runs one of its tasks unattended.\n"
           "\n"
           "Keys begin with \"-\" or \"/\"; a value follows a \":\" and may be put in double\n"
           "quotes (/act:\"Daily Run\"). Keys are not case-sensitive, values are. When a key is\n"
           "given twice, its first value counts. The first argument that is not a key is the\n"
           "report; /srv/reports/Daily.ovk is a path, not a key.\n"
           "\n"
           "  /act:TASK       run the task TASK of the report and quit, without a window;\n"
           "                  every message goes to the log Orvik18.log in the program\n"
           "                  folder (/act alone runs every task of the report)\n"
           "  /prm:TEXT       parameter values for the run, set after loading and before\n"
           "                  the task: /prm:\"Region=North;Day=~date(d-1)~\" (a name the\n"
           "                  report does not have fails the run)\n"
           "  /saveas:FILE    load the report, run the /act task if one is given, and save\n"
           "                  the report to FILE, without a window (converts reports made\n"
           "                  elsewhere to this program's layout)\n"
           "  /?, -h, --help  show this text\n"
           "\n"
           "Environment: ORVIK_HOME sets the program folder (default: the executable's folder),\n"
           "ORVIK_CONFIG the settings file (default: ~/.config/Nobrant/Orvik18.ini). When the\n"
           "program folder cannot be written (an installed copy) and ORVIK_HOME is not set,\n"
           "the log and the HTML/ work folder are kept in $XDG_STATE_HOME/orvik (default\n"
           "~/.local/state/orvik).\n"
           "\n"
           "Exit status: 0 when the report loaded, the task existed and no step failed;\n"
           "1 when the run failed (the log says why); 2 when the program cannot start.\n";
}

std::string COrvikApp::HelpFileName(const std::string& programFolder, const std::string& code) {
    if (code != "ENG") {
        const std::string localized = "Orvik18_" + code + ".chm";
        std::error_code error;
        if (std::filesystem::exists(programFolder + localized, error)) return localized;
    }
    return "Orvik18.chm";
}

bool COrvikApp::OpenHelpFile(const std::string& programFolder, const std::string& code) {
    return OpenWithDesktop(programFolder + HelpFileName(programFolder, code));
}

bool COrvikApp::OpenWithDesktop(const std::string& path) {
    // The viewer runs as a grandchild whose parent ends at once: the program never waits for the
    // viewer and it leaves no zombie. Only that short-lived child is waited for, by its pid; a
    // plain wait() could take the status of some other child of ours.
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        const pid_t viewer = fork();
        if (viewer == 0) {
            execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(viewer < 0 ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool COrvikApp::OnAppHelp() const {
    // The language may have changed since start-up.
    const std::string code = context_ ? context_->Language().Code() : LanguageCode;
    std::error_code error;
    if (std::filesystem::exists(ProgramFolder + HelpFileName(ProgramFolder, code), error))
        return OpenHelpFile(ProgramFolder, code);
    // No help file of the old kind: the documentation that ships with the program, as a page.
    const std::string page =
        orvik::WriteHelpPage(ProgramFolder, context_ ? context_->Registries().HtmlFolder + "help"
                                                     : ProgramFolder + "HTML/help");
    return !page.empty() && OpenWithDesktop(page);
}

int COrvikApp::Run() {
    for (const std::string& argument : arguments_) {
        if (argument == "--help" || argument == "-h" || argument == "/?") {
            std::fputs(UsageText().c_str(), stdout);
            return kExitSuccess;
        }
    }
    try {
        if (!InitInstance()) {
            ExitInstance();
            return exitStatus_;
        }
        if (BatchMode) RunBatch();
    } catch (const std::bad_alloc&) {
        // Whatever held the memory is gone by now, so there is room to say what happened.
        UxSaveLog(*context_, "Orvik ran out of memory; the run was abandoned", __FILE__, __LINE__);
        UxSaveLog(*context_, "*** Stop Orvik ***\n\n", __FILE__, __LINE__);
        std::fputs("orvik: out of memory; the run was abandoned\n", stderr);
        exitStatus_ = kExitRunFailed;
    }
    ExitInstance();
    return exitStatus_;
}

bool COrvikApp::WantsDesigner(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "/?") return false;
    }
    const CCmdLineParser parser(arguments, false);
    for (const std::string& key : parser.Keys()) {
        if (key != "prm") return false;
    }
    return true;
}

int COrvikApp::RunDesigner(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fputs(
            "orvik: no display to open the designer on.\n"
            "Run a task unattended with: orvik REPORT.ovk /act:TASK   (see orvik --help)\n",
            stderr);
        return kExitCannotStart;
    }
    // Beside the executable, whatever ORVIK_HOME says: the program folder may be elsewhere.
    std::error_code error;
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
    const std::string library =
        (error ? std::filesystem::path("liborvikui.so") : self.parent_path() / "liborvikui.so")
            .string();
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char**);
    Entry entry = handle ? reinterpret_cast<Entry>(dlsym(handle, "OrvikRunDesigner")) : nullptr;
    if (!entry) {
        const char* reason = dlerror();
        std::fprintf(stderr, "orvik: the designer could not be loaded from %s: %s\n",
                     library.c_str(), reason ? reason : "no entry point");
        return kExitCannotStart;
    }
    // The library stays loaded to the end: its toolkit registers handlers that outlive main.
    return entry(argc, argv);
}

bool COrvikApp::StartInteractive() {
    interactive_ = true;
    try {
        return InitInstance();
    } catch (const std::bad_alloc&) {
        std::fputs("orvik: out of memory while starting\n", stderr);
        exitStatus_ = kExitRunFailed;
        return false;
    }
}

int COrvikApp::Finish() {
    ExitInstance();
    return exitStatus_;
}

bool COrvikApp::OpenDocument(const std::string& path) {
    DocumentPath = path;
    reportLoaded_ = LoadDocument();
    return reportLoaded_;
}

bool COrvikApp::InitInstance() {
    // A peer that closes a mail or FTP connection must give an error, not kill the program.
    std::signal(SIGPIPE, SIG_IGN);
    // A file that outgrows the size limit must fail its write with a reason, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    context_ = std::make_unique<orvik::AppContext>();
    orvik::AppContext& context = *context_;
    ProgramFolder = context.ProgramFolder();
    // An installed copy this user cannot write keeps its log and work folder in the user's state
    // folder. The run that makes it says so; later runs stay quiet for their scheduler.
    if (context.TheProgram().StateFolderMoved()) {
        std::string problem;
        const orvik::StateFolderMade made = orvik::MakeStateFolder(context.StateFolder(), problem);
        if (made != orvik::StateFolderMade::AlreadyThere) {
            std::fputs(
                orvik::MovedStateNotice(ProgramFolder, context.StateFolder(), problem).c_str(),
                stderr);
        }
    }

    CLanguageTexts& language = context.Language();
    language.InitLanguage(context.Settings().GetString("General", "Language", "ENG"),
                          ProgramFolder);
    ReportDuplicateKeys(context);
    LanguageCode = language.Code();

    const CCmdLineParser parser(arguments_, false);
    // A mistyped key (/pmr, /verbose) would otherwise run the report without what it meant.
    for (const std::string& key : parser.Keys()) {
        if (key == "act" || key == "prm" || key == "saveas") continue;
        std::fputs(("orvik: unknown key '/" + key + "'\n\n" + UsageText()).c_str(), stderr);
        exitStatus_ = kExitCannotStart;
        return false;
    }
    if (parser.HasKey("act")) {
        BatchMode = 1;
        RunAction = 1;
        TaskName = parser.GetVal("act").value_or("");
    }
    ParameterText = parser.GetVal("prm").value_or("");
    // Read once: the log's run line and the report's parameters take the same entries.
    ParameterAssignments = ParseParameterAssignments(ParameterText);
    SaveAsPath = parser.GetVal("saveas").value_or("");
    if (parser.HasKey("saveas")) BatchMode = 1;
    if (!parser.Paths().empty()) {
        // A path on the command line is relative to where the command runs, not to the program.
        DocumentPath = parser.Paths().front();
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(DocumentPath, error);
        if (!error) DocumentPath = absolute.lexically_normal().string();
    }
    context.BatchMode = BatchMode != 0;

    if (!BatchMode && !ORVIK_GUI && !frontEnd_) {
        std::fputs(
            "orvik: this build has no designer (it was built without wxWidgets).\n"
            "Run a task unattended with: orvik REPORT.ovk /act:TASK   (see orvik --help)\n",
            stderr);
        exitStatus_ = kExitCannotStart;
        return false;
    }
    if (BatchMode) {
        // A scheduler's SIGTERM or a Ctrl-C ends the run in order instead of killing it mid-step.
        orvik::InstallStopHandlers();
        // A crash, ours or a plug-in's, still leaves its line in the log and on the terminal.
        orvik::InstallCrashHandlers(
            {context.StateFolder() + "Orvik18.log", TerminalPrefix(), TerminalSuffix()});
        context.SetFrontEnd(std::make_unique<orvik::BatchFrontEnd>(context));
    } else if (frontEnd_) {
        context.SetFrontEnd(std::move(frontEnd_));
    }

    // Two runs in one program folder take turns: the schema below empties the work folder, which
    // must not happen under a run that is still writing or sending its page. The designer counts
    // as a run for as long as it is open, since it writes the page there after every edit: a
    // scheduled run waits for it (WorkFolderWait) and then fails saying why, rather than mailing
    // a page the designer replaced halfway.
    if (!LockWorkFolder()) return false;

    BuildSchema(context.Registries(), context.Settings());
    // Start-up translated nothing yet: the schema was built after the language was chosen.
    TranslateProperties(language, context.Registries(), -1);

    if (BatchMode) {
        UxSaveLog(*context_, "*** Start Orvik ***", __FILE__, __LINE__);
        UxSaveLog(*context_, RunLine(parser), __FILE__, __LINE__);
    }
    for (const std::string& warning : context.Registries().SettingWarnings)
        UxSaveLog(*context_, "Warning: " + orvik::EscapeForLog(warning), __FILE__, __LINE__);
    // Plug-ins come after the program's own types, before any report names theirs; a run's log
    // says which could not be loaded.
    orvik::LoadPlugIns(context);
    if (BatchMode) {
        // A plug-in call stuck after SIGTERM must not keep the run alive for ever.
        const COvInfoProp* grace = context.Registries().FindSetting("PlugInStopGrace");
        orvik::StartPlugInStopWatch(
            std::chrono::seconds(orvik::SecondsFromText(grace ? grace->Value : "", 10)),
            {[this](const std::string& reason) { TellTerminal(reason); },
             [path = context.LogPath()](const std::string& line) {
                 AppendLogLine(path, line, __LINE__);
             }});
    }
    InitOVK(context);
    // The loader shows the report's own properties; only without a report do the settings fill
    // the property bar.
    if (!DocumentPath.empty()) {
        reportLoaded_ = LoadDocument();
    } else {
        context.Front().ShowSettings();
    }
    return true;
}

bool COrvikApp::LockWorkFolder() {
    // A designer window writes its page after every edit into a folder of its own, so that a
    // scheduled run never waits for a designer someone left open.
    if (interactive_ && !BatchMode) return LockDesignerFolder();
    const std::string folder = orvik::SharedWorkFolder(context_->StateFolder());
    // Read from the store: the schema, where settings are registered, comes after the lock.
    const int seconds = orvik::SecondsFromText(
        context_->Settings().GetString("General", "WorkFolderWait", "300"), 300);
    std::string problem;
    const auto started = std::chrono::steady_clock::now();
    workFolderLock_ = orvik::FolderLock::Acquire(
        folder, std::chrono::seconds(seconds),
        [&] {
            // Someone starting the designer sees why no window comes yet.
            if (!BatchMode) {
                std::fprintf(stderr,
                             "orvik: waiting up to %d s for a run of Orvik to finish with the "
                             "work folder %s\n",
                             seconds, folder.c_str());
            }
            UxSaveLog(*context_,
                      "Waiting up to " + std::to_string(seconds) +
                          " s for another run of Orvik to finish with the work folder " + folder,
                      __FILE__, __LINE__);
        },
        problem);
    if (workFolderLock_) return true;
    const auto waited = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - started);
    UxSaveLog(*context_, "*** Start Orvik ***", __FILE__, __LINE__);
    // Only a wait that took place is worth naming: a folder that cannot be made fails at once.
    UxSaveLog(*context_,
              "The run did not start: " + problem +
                  (waited.count() >= 1 ? " (waited " + std::to_string(waited.count()) +
                                             " s, setting WorkFolderWait)"
                                       : std::string()),
              __FILE__, __LINE__);
    UxSaveLog(*context_, "*** Stop Orvik ***\n\n", __FILE__, __LINE__);
    exitStatus_ = kExitRunFailed;
    TellTerminal("the run did not start: " + problem);
    return false;
}

bool COrvikApp::LockDesignerFolder() {
    orvik::RemoveAbandonedDesignerFolders(context_->StateFolder());
    const std::string folder = orvik::DesignerWorkFolder(context_->StateFolder(), ::getpid());
    std::string problem;
    workFolderLock_ = orvik::FolderLock::AcquireOwn(folder, problem);
    if (workFolderLock_) {
        context_->Registries().HtmlFolder = folder;
        return true;
    }
    UxSaveLog(*context_, "The designer did not start: " + problem, __FILE__, __LINE__);
    exitStatus_ = kExitRunFailed;
    TellTerminal("the designer did not start: " + problem);
    return false;
}

bool COrvikApp::LoadDocument() {
    session_ = std::make_unique<orvik::ReportSession>(*context_);
    if (!session_->Read(DocumentPath)) return false;
    // Parameter values given for this run are set before anything runs, so the first queries
    // already see them.
    parametersAccepted_ = session_->ApplyParameters(ParameterAssignments);
    // The designer shows the report with its sheets and page; an unattended run makes them when
    // a step first needs them, and a conversion (/saveas) never does.
    if (!BatchMode) session_->Show();
    return true;
}

bool COrvikApp::SaveDocumentAs() {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(SaveAsPath, error);
    const std::string path = error ? SaveAsPath : absolute.lexically_normal().string();
    if (!SerializeXML(*context_, path, 1)) return false;
    UxSaveLog(*context_, "Saved report as " + path, __FILE__, __LINE__);
    return true;
}

void COrvikApp::RunBatch() {
    bool succeeded = reportLoaded_;
    if (RunAction) {
        RunTask();
        succeeded = succeeded && taskFound_;
    } else if (!reportLoaded_) {
        UxSaveLog(*context_,
                  DocumentPath.empty() ? "No report file was given: there is nothing to save"
                                       : "The report was not loaded: it is not saved",
                  __FILE__, __LINE__);
    }
    // A report that did not load is never saved over anything: the result would be empty.
    if (!SaveAsPath.empty() && reportLoaded_) succeeded = SaveDocumentAs() && succeeded;
    const int stopSignal = orvik::StopSignal();
    if (stopSignal != 0) {
        UxSaveLog(*context_, "The run was terminated by signal " + std::to_string(stopSignal),
                  __FILE__, __LINE__);
    }
    UxSaveLog(*context_, "*** Stop Orvik ***\n\n", __FILE__, __LINE__);
    succeeded = succeeded && context_->ErrorCount() == 0;
    exitStatus_ = succeeded ? kExitSuccess : kExitRunFailed;
    // As a shell reports a program ended by the signal: 143 for SIGTERM, 130 for SIGINT.
    if (stopSignal != 0) exitStatus_ = 128 + stopSignal;
    if (exitStatus_ != kExitSuccess) {
        std::string reason = context_->FirstError();
        if (stopSignal != 0) reason = "terminated by signal " + std::to_string(stopSignal);
        TellTerminal(reason.empty() ? "the run failed" : reason);
    }
}

std::string COrvikApp::RunLine(const CCmdLineParser& parser) const {
    // Names, not values: /prm values are logged one by one further on, secrets masked.
    std::string names;
    for (const ParameterAssignment& assignment : ParameterAssignments)
        names += (names.empty() ? "" : ",") + assignment.Name;
    std::string line = "Run " + std::to_string(getpid()) + ": report " +
                       (DocumentPath.empty() ? std::string("(none)") : DocumentPath);
    if (parser.HasKey("act")) line += ", task " + (TaskName.empty() ? "(all)" : TaskName);
    if (!names.empty()) line += ", /prm " + names;
    if (!SaveAsPath.empty()) line += ", /saveas " + SaveAsPath;
    return orvik::EscapeForLog(line);
}

std::string COrvikApp::TerminalPrefix() const {
    return "orvik: " +
           orvik::EscapeForLog(DocumentPath.empty() ? std::string("(no report)") : DocumentPath) +
           ": ";
}

std::string COrvikApp::TerminalSuffix() const {
    return " (log: " + (context_ ? context_->StateFolder() : ProgramFolder) + "Orvik18.log)\n";
}

void COrvikApp::TellTerminal(const std::string& reason) const {
    // One line, whether or not the log could be written: a scheduler mails what it prints.
    const std::string line = TerminalPrefix() + orvik::EscapeForLog(reason) + TerminalSuffix();
    std::fputs(line.c_str(), stderr);
}

void COrvikApp::RunTask() {
    UxSaveLog(*context_, "Act =" + TaskName, __FILE__, __LINE__);
    CReport& report = context_->Report();
    if (!reportLoaded_) {
        UxSaveLog(*context_,
                  DocumentPath.empty() ? "No report file was given: there is no task to run"
                                       : "The report was not loaded: there is no task to run",
                  __FILE__, __LINE__);
        context_->NoteError(DocumentPath.empty() ? "no report file was given" : "");
    } else if (!parametersAccepted_) {
        // A page made with values nobody asked for would replace a right one: nothing runs.
        UxSaveLog(*context_, "The /prm values were not all accepted: no task is run", __FILE__,
                  __LINE__);
    } else if (report.FindTopLevelTasks(TaskName).empty()) {
        std::string names;
        for (const COvInfoAct* task : report.FindTopLevelTasks({}))
            names += (names.empty() ? "'" : ", '") + task->Name.Value + "'";
        const std::string reason =
            TaskName.empty()
                ? std::string("The report has no task to run")
                : "The report has no task named '" + TaskName + "'" +
                      (names.empty() ? "; it has no tasks at all" : "; its tasks are " + names);
        UxSaveLog(*context_, reason, __FILE__, __LINE__);
        context_->NoteError(reason);
    } else {
        taskFound_ = true;
        session_->RunTaskToTheEnd(TaskName);
    }
}

void COrvikApp::ExitInstance() {
    session_.reset();
    context_.reset();
    workFolderLock_.reset();
}
