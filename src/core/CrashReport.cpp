#include "core/CrashReport.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace orvik {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL};

// Fixed-size text that the handler can read without allocating.
template <size_t N>
struct FixedText {
    char Bytes[N] = {};
    size_t Length = 0;

    void Assign(std::string_view text) {
        Length = text.size() < N ? text.size() : N - 1;
        std::memcpy(Bytes, text.data(), Length);
        Bytes[Length] = '\0';
    }
    std::string_view View() const { return {Bytes, Length}; }
};

FixedText<4096> logPath;
FixedText<4096> terminalPrefix;
FixedText<4096> terminalSuffix;
// Two step-name buffers: the next name is written into the one the handler is not pointed at, then
// the pointer flips, so the handler never reads a half-written name.
FixedText<512> stepNames[2];
std::atomic<int> currentStepName{0};
long utcOffset = 0;
volatile sig_atomic_t handling = 0;

// An appender over a stack buffer: async-signal-safe replacement for snprintf.
class LineBuffer {
  public:
    LineBuffer(char* out, size_t size) : out_(out), size_(size) {}
    void Add(std::string_view text) {
        for (char c : text) {
            if (length_ + 1 >= size_) return;
            out_[length_++] = c;
        }
    }
    void AddNumber(long value, int minimumDigits = 1) {
        char digits[24];
        int count = 0;
        const bool negative = value < 0;
        unsigned long magnitude =
            negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0 && count < 20);
        while (count < minimumDigits && count < 20) digits[count++] = '0';
        if (negative) Add("-");
        while (count > 0) {
            const char digit[1] = {digits[--count]};
            Add({digit, 1});
        }
    }
    size_t Length() const { return length_; }

  private:
    char* out_;
    size_t size_;
    size_t length_ = 0;
};

void AddCrashReason(LineBuffer& line, int signal, std::string_view stepName) {
    line.Add("terminated by signal ");
    line.AddNumber(signal);
    if (!stepName.empty()) {
        line.Add(" while running step ");
        line.Add(stepName);
    }
}

// Days since 1970-01-01 to a civil date (Howard Hinnant's algorithm: integer arithmetic only).
void CivilFromDays(long days, long& year, int& month, int& day) {
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long dayOfEra = days - era * 146097;
    const long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

void WriteAll(int descriptor, const char* bytes, size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(descriptor, bytes, length);
        if (written <= 0) return;
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}

void OnFatalSignal(int signal) {
    // A second fault while reporting the first must not loop.
    if (handling) _exit(128 + signal);
    handling = 1;
    const std::string_view step = stepNames[currentStepName.load() & 1].View();

    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    char text[2048];
    if (logPath.Length > 0) {
        const int log = ::open(logPath.Bytes, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (log >= 0) {
            size_t length =
                FormatCrashLogPrefix(text, sizeof text, now.tv_sec, utcOffset, __LINE__);
            LineBuffer line(text + length, sizeof text - length);
            AddCrashReason(line, signal, step);
            line.Add("\n");
            WriteAll(log, text, length + line.Length());
            length = FormatCrashLogPrefix(text, sizeof text, now.tv_sec, utcOffset, __LINE__);
            LineBuffer stop(text + length, sizeof text - length);
            stop.Add("*** Stop Orvik ***\n\n\n");
            WriteAll(log, text, length + stop.Length());
            ::close(log);
        }
    }
    LineBuffer terminal(text, sizeof text);
    terminal.Add(terminalPrefix.View());
    AddCrashReason(terminal, signal, step);
    terminal.Add(terminalSuffix.View());
    WriteAll(STDERR_FILENO, text, terminal.Length());
    _exit(128 + signal);
}

}  // namespace

size_t FormatCrashLogPrefix(char* out, size_t size, std::time_t seconds, long utcOffsetSeconds,
                            int sourceLine) {
    const long local = static_cast<long>(seconds) + utcOffsetSeconds;
    long days = local / 86400;
    long secondOfDay = local % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    long year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(days, year, month, day);
    LineBuffer line(out, size);
    line.AddNumber(day, 2);
    line.Add("/");
    line.AddNumber(month, 2);
    line.Add("/");
    line.AddNumber(year % 100, 2);
    line.Add(" ");
    line.AddNumber(secondOfDay / 3600, 2);
    line.Add(":");
    line.AddNumber(secondOfDay / 60 % 60, 2);
    line.Add(":");
    line.AddNumber(secondOfDay % 60, 2);
    line.Add(" (");
    line.AddNumber(sourceLine);
    line.Add(") : ");
    return line.Length();
}

std::string CrashLine(int signal, std::string_view stepName) {
    char text[1024];
    LineBuffer line(text, sizeof text);
    AddCrashReason(line, signal, stepName);
    return std::string(text, line.Length());
}

void SetCrashStep(std::string_view stepName) {
    const int next = (currentStepName.load() + 1) & 1;
    stepNames[next].Assign(stepName);
    // A name read from the report must not break the log's one-line layout.
    for (size_t i = 0; i < stepNames[next].Length; ++i) {
        if (static_cast<unsigned char>(stepNames[next].Bytes[i]) < 0x20)
            stepNames[next].Bytes[i] = ' ';
    }
    currentStepName.store(next);
}

void InstallCrashHandlers(const CrashReportTargets& targets) {
    logPath.Assign(targets.LogPath);
    terminalPrefix.Assign(targets.TerminalPrefix);
    terminalSuffix.Assign(targets.TerminalSuffix);
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    utcOffset = local.tm_gmtoff;

    // A stack overflow leaves no stack to run the handler on: it gets one of its own.
    static char alternateStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    for (int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace orvik
