#include "core/Log.h"

#include <stdexcept>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/PlugInCall.h"
#include "core/ProgramContext.h"

using orvik::ProgramContext;

std::string FormatLogLine(const std::string& message, int sourceLine, const struct tm& when) {
    char date[32];
    char time[32];
    std::strftime(date, sizeof date, "%d/%m/%y", &when);
    std::strftime(time, sizeof time, "%H:%M:%S", &when);
    std::string text = message;
    std::string line;
    if (!text.empty() && text.front() == '\n') {
        text.erase(0, 1);
        line = "\n";
    }
    line += date;
    line += ' ';
    line += time;
    line += " (" + std::to_string(sourceLine) + ") : " + text + "\n";
    return line;
}

void UxSaveLog(const std::string& message, const char* /*sourceFile*/, int sourceLine) {
    ProgramContext* context = ProgramContext::Current();
    if (!context) return;
    context->RememberLogLine(message);
    if (context->StateFolder().empty()) return;
    const std::string path = context->StateFolder() + "Orvik18.log";
    // Opened, appended and closed per line: two programs sharing the log interleave whole lines.
    FILE* file = std::fopen(path.c_str(), "a");
    if (!file) return;
    const std::time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    const std::string line = FormatLogLine(message, sourceLine, local);
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

void UxSaveLog(const char* message, const char* sourceFile, int sourceLine) {
    UxSaveLog(std::string(message ? message : ""), sourceFile, sourceLine);
}

namespace {

std::string Header(const char* sourceFile, int sourceLine) {
    // The file's name alone: where the program was built means nothing where it runs.
    const char* slash = sourceFile ? std::strrchr(sourceFile, '/') : nullptr;
    const char* name = slash ? slash + 1 : sourceFile;
    return std::string("COM Error (in file=") + (name ? name : "") +
           "; line=" + std::to_string(sourceLine) + ")\n";
}

// Batch mode writes the error to the log; otherwise a person sees it in a message box (the
// database form with the error icon, the COM form as an OK/Cancel box whose answer is not used).
void Deliver(const std::string& message, orvik::MessageBoxButtons buttons,
             orvik::MessageBoxIcon icon) {
    ProgramContext* context = ProgramContext::Current();
    if (!context) return;
    // The header names our source file; what the user acts on is the error's own message.
    constexpr std::string_view kMessageLine = "ErrorMessage = ";
    const size_t at = message.find(kMessageLine);
    context->NoteError(at == std::string::npos
                           ? std::string_view(message)
                           : std::string_view(message).substr(at + kMessageLine.size()));
    if (context->BatchMode) {
        UxSaveLog("UxError: " + message, __FILE__, __LINE__);
    } else {
        context->Front().ShowMessageBox(message, "", buttons, icon);
    }
}

}  // namespace

std::string UxErrorMessage(const std::exception& error, const char* sourceFile, int sourceLine,
                           const char* text) {
    std::string message = Header(sourceFile, sourceLine) + "ErrorMessage = " + error.what();
    if (text && *text) message += std::string("\n\nText = ") + text;
    return message;
}

std::string UxErrorMessage(const CComError& error, const char* sourceFile, int sourceLine,
                           const char* text) {
    std::string message = Header(sourceFile, sourceLine) + "Source = " + error.Source +
                          "\nDescription = " + error.Description;
    if (text && *text) message += std::string("\n\nText = ") + text;
    return message;
}

void UxError(const std::exception& error, const char* sourceFile, int sourceLine,
             const char* text) {
    Deliver(UxErrorMessage(error, sourceFile, sourceLine, text), orvik::MessageBoxButtons::Ok,
            orvik::MessageBoxIcon::Error);
}

void UxError(const CComError& error, const char* sourceFile, int sourceLine, const char* text) {
    Deliver(UxErrorMessage(error, sourceFile, sourceLine, text), orvik::MessageBoxButtons::OkCancel,
            orvik::MessageBoxIcon::None);
}

void UxError(const char* message, const char* sourceFile, int sourceLine) {
    // Only plug-ins call this form. The source path they pass is where they were built, which
    // means nothing on the machine that runs them: the header names the plug-in's file instead.
    const std::string plugIn(orvik::CurrentPlugInFile());
    UxError(std::runtime_error(message ? message : ""),
            plugIn.empty() ? sourceFile : plugIn.c_str(), sourceLine);
}

void SetPaneTextStatBar(int pane, const char* text) {
    if (ProgramContext* context = ProgramContext::Current()) {
        context->Front().SetPaneText(pane, text ? text : "");
    }
}
