#include "core/Log.h"

#include <stdexcept>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/Run.h"

using orvik::Run;

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

void AppendLogLine(const std::string& path, const std::string& message, int sourceLine) {
    if (path.empty()) return;
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

void UxSaveLog(Run& run, const std::string& message, const char* /*sourceFile*/, int sourceLine) {
    run.RememberLogLine(message);
    AppendLogLine(run.LogPath(), message, sourceLine);
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
void Deliver(Run& run, const std::string& message, orvik::MessageBoxButtons buttons,
             orvik::MessageBoxIcon icon) {
    // The header names our source file; what the user acts on is the error's own message.
    constexpr std::string_view kMessageLine = "ErrorMessage = ";
    const size_t at = message.find(kMessageLine);
    run.NoteError(at == std::string::npos
                      ? std::string_view(message)
                      : std::string_view(message).substr(at + kMessageLine.size()));
    if (run.BatchMode) {
        UxSaveLog(run, "UxError: " + message, __FILE__, __LINE__);
    } else {
        run.Front().ShowMessageBox(message, "", buttons, icon);
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

void UxError(Run& run, const std::exception& error, const char* sourceFile, int sourceLine,
             const char* text) {
    Deliver(run, UxErrorMessage(error, sourceFile, sourceLine, text), orvik::MessageBoxButtons::Ok,
            orvik::MessageBoxIcon::Error);
}

void UxError(Run& run, const CComError& error, const char* sourceFile, int sourceLine,
             const char* text) {
    Deliver(run, UxErrorMessage(error, sourceFile, sourceLine, text),
            orvik::MessageBoxButtons::OkCancel, orvik::MessageBoxIcon::None);
}
