// Values in connection strings: a value may not add a key of its own. At the start of a key's
// value it is put in ODBC braces when it would not come back bare; inside quotes or
// braces the closing character is doubled; elsewhere a ";" cannot be written and is refused.
#include <string>

#include "params/ValuePlacement.h"

namespace orvik {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A value that would not come back as it is when written bare: a ";" would end it, a leading
// quote, brace or "=" would be read as quoting, blanks at either end would be trimmed.
bool NeedsBraces(std::string_view value) {
    if (value.empty()) return false;
    return value.find(';') != std::string_view::npos ||
           std::string_view("\"'{=").find(value.front()) != std::string_view::npos ||
           IsBlank(value.front()) || IsBlank(value.back());
}

class ConnectionStringPlacement : public ValuePlacement {
  public:
    void AppendAuthorText(std::string_view text, std::string& out) override {
        out += text;
        for (char c : text) Feed(c);
    }

    void AppendValue(std::string_view name, std::string_view value, std::string& out) override {
        constexpr std::string_view kTarget = "connection string";
        if (state_ == State::QuotedClose || state_ == State::BracedClose) state_ = State::After;
        std::string text;
        switch (state_) {
            case State::Key:
                if (value.find_first_of("=;") != std::string_view::npos)
                    RefuseValue(name, kTarget, "a key may not hold '=' or ';'");
                text = value;
                break;
            case State::ValueStart:
                if (NeedsBraces(value)) {
                    text = "{";
                    for (char c : value) text += c == '}' ? std::string("}}") : std::string(1, c);
                    text += '}';
                    state_ = State::After;
                } else {
                    text = value;
                    if (!text.empty()) state_ = State::Bare;
                }
                break;
            case State::Bare:
            case State::After:
                if (value.find(';') != std::string_view::npos)
                    RefuseValue(name, kTarget, "';' may stand only in a value of its own");
                text = value;
                break;
            case State::Quoted:
            case State::Braced:
                for (char c : value) {
                    if (c == close_) text += c;
                    text += c;
                }
                break;
            default:
                break;
        }
        out += text;
        if (!text.empty()) justAfterEquals_ = false;
    }

  private:
    enum class State { Key, ValueStart, Bare, Quoted, QuotedClose, Braced, BracedClose, After };

    void Feed(char c) {
        switch (state_) {
            case State::Key:
                if (c == '=') {
                    state_ = State::ValueStart;
                    justAfterEquals_ = true;
                    return;
                }
                break;
            case State::ValueStart:
                if (c == '=' && justAfterEquals_) {
                    state_ = State::Key;  // "==" stands for "=" in a key
                } else if (c == '"' || c == '\'' || c == '{') {
                    close_ = c == '{' ? '}' : c;
                    state_ = c == '{' ? State::Braced : State::Quoted;
                } else if (c == ';') {
                    state_ = State::Key;
                } else if (c != ' ' && c != '\t') {
                    state_ = State::Bare;
                }
                break;
            case State::Quoted:
            case State::Braced:
                if (c == close_)
                    state_ = state_ == State::Quoted ? State::QuotedClose : State::BracedClose;
                break;
            case State::QuotedClose:
            case State::BracedClose:
                if (c == close_) {
                    state_ = state_ == State::QuotedClose ? State::Quoted : State::Braced;
                } else {
                    state_ = c == ';' ? State::Key : State::After;
                }
                break;
            case State::Bare:
            case State::After:
                if (c == ';') state_ = State::Key;
                break;
        }
        justAfterEquals_ = false;
    }

    State state_ = State::Key;
    char close_ = '}';
    bool justAfterEquals_ = false;  // a second "=" now would make "==", an "=" in the key
};

}  // namespace

std::unique_ptr<ValuePlacement> MakeConnectionStringPlacement() {
    return std::make_unique<ConnectionStringPlacement>();
}

}  // namespace orvik
