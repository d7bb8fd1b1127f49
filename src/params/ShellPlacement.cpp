// Values in command lines for /bin/sh: each value is one word, whatever it holds. In bare text it
// is single-quoted unless it is made only of characters the shell gives no meaning; inside quotes
// the quotes are kept closed around it.
#include <string>

#include "params/ValuePlacement.h"

namespace orvik {
namespace {

bool IsShellSafe(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
           u >= 0x80 || std::string_view("_./:@%+,-").find(c) != std::string_view::npos;
}

// 'text' for the shell: a quote inside becomes '\'' (close, an escaped quote, open again).
void AppendSingleQuoted(std::string& out, std::string_view text) {
    out += '\'';
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += '\'';
}

// The word for a value in bare text.
std::string ShellWord(std::string_view value) {
    std::string out;
    if (const auto items = SplitMultiValue(value)) {
        // A chooser's list stays the one word 'a','b' that plain substitution has always made.
        for (std::string_view item : *items) {
            if (!out.empty()) out += ',';
            AppendSingleQuoted(out, item);
        }
        return out;
    }
    bool safe = !value.empty();
    for (char c : value) safe = safe && IsShellSafe(c);
    // A value that already is one quoted word ('20240315', as dates are written) stays as it is.
    const bool quotedWord = value.size() >= 2 && value.front() == '\'' && value.back() == '\'' &&
                            value.find('\'', 1) == value.size() - 1;
    if (safe || quotedWord) return std::string(value);
    AppendSingleQuoted(out, value);
    return out;
}

class ShellPlacement : public ValuePlacement {
  public:
    void AppendAuthorText(std::string_view text, std::string& out) override {
        out += text;
        for (char c : text) Feed(c);
    }

    void AppendValue(std::string_view name, std::string_view value, std::string& out) override {
        constexpr std::string_view kTarget = "command";
        std::string text;
        switch (state_) {
            case State::Code:
                text = ShellWord(value);
                // "$'...'" would read backslashes in the quotes as escapes.
                if (previous_ == '$' && text.front() == '\'') text.insert(0, "\"\"");
                break;
            case State::Single:
                for (char c : value) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
                break;
            case State::Double:
                for (char c : value) {
                    if (c == '\\' || c == '"' || c == '$' || c == '`') text += '\\';
                    text += c;
                }
                break;
            case State::Comment:
                for (char c : value) text += c == '\n' || c == '\r' ? ' ' : c;
                break;
            case State::CodeEscape:
            case State::DoubleEscape:
                RefuseValue(name, kTarget, "it would follow a backslash that escapes its start");
        }
        out += text;
        if (!text.empty()) previous_ = text.back();
    }

  private:
    enum class State { Code, CodeEscape, Single, Double, DoubleEscape, Comment };

    void Feed(char c) {
        switch (state_) {
            case State::Code:
                if (c == '\'') {
                    state_ = State::Single;
                } else if (c == '"') {
                    state_ = State::Double;
                } else if (c == '\\') {
                    state_ = State::CodeEscape;
                } else if (c == '#' &&
                           (previous_ == 0 || std::string_view(" \t\n;&|()<>").find(previous_) !=
                                                  std::string_view::npos)) {
                    state_ = State::Comment;
                }
                break;
            case State::CodeEscape:
                state_ = State::Code;
                c = 'x';  // an escaped character is part of a word, whatever it is
                break;
            case State::Single:
                if (c == '\'') state_ = State::Code;
                break;
            case State::Double:
                if (c == '"') {
                    state_ = State::Code;
                } else if (c == '\\') {
                    state_ = State::DoubleEscape;
                }
                break;
            case State::DoubleEscape:
                state_ = State::Double;
                break;
            case State::Comment:
                if (c == '\n') state_ = State::Code;
                break;
        }
        previous_ = c;
    }

    State state_ = State::Code;
    char previous_ = 0;
};

}  // namespace

std::unique_ptr<ValuePlacement> MakeShellPlacement() {
    return std::make_unique<ShellPlacement>();
}

}  // namespace orvik
