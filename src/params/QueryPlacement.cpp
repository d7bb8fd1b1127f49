// Values in queries. Inside a string a value's quotes are doubled, inside a bracketed name its
// "]" is; a value in bare code becomes a literal: a number stays a number, a chooser's list
// "[a],[b]" becomes 'a','b' and anything else one quoted string. So a value can never end the
// string it stands in, add a condition or start a statement of its own.
#include <string>

#include "params/SqlScanner.h"
#include "params/ValuePlacement.h"

namespace orvik {
namespace {

// `text` in single quotes with its quotes (and, where they escape, its backslashes) doubled.
void AppendQuoted(std::string& out, std::string_view text, char quote, bool backslashes) {
    out += quote;
    for (char c : text) {
        if (c == quote || (backslashes && c == '\\')) out += c;
        out += c;
    }
    out += quote;
}

// True when `value` already is one string literal: '...' with every inner quote doubled. The
// dates that date expressions write by default ('20240315') are such values.
bool IsOneLiteral(std::string_view value, bool backslashes) {
    if (value.size() < 2 || value.front() != '\'' || value.back() != '\'') return false;
    if (backslashes && value.find('\\') != std::string_view::npos) return false;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        if (value[i] != '\'') continue;
        if (i + 2 >= value.size() || value[i + 1] != '\'') return false;
        ++i;
    }
    return true;
}

// A value in bare code, as one literal (or a list of them).
std::string BareLiteral(std::string_view value, bool backslashes) {
    if (IsPlainNumber(value) || IsOneLiteral(value, backslashes)) return std::string(value);
    std::string out;
    if (const auto items = SplitMultiValue(value)) {
        for (std::string_view item : *items) {
            if (!out.empty()) out += ',';
            AppendQuoted(out, item, '\'', backslashes);
        }
        return out;
    }
    AppendQuoted(out, value, '\'', backslashes);
    return out;
}

// In a comment a value may not end it: no line break in a line comment, no "*/" (and no "/*",
// which nests in some databases) in a block comment.
std::string CommentText(std::string_view value, bool line) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (line) {
            out += c == '\n' || c == '\r' ? ' ' : c;
            continue;
        }
        out += c;
        if ((c == '*' || c == '/') && i + 1 < value.size() &&
            value[i + 1] == (c == '*' ? '/' : '*'))
            out += ' ';
    }
    return out;
}

// Characters that keep their meaning on both sides of "[": a name in SQL Server and SQLite, an
// index expression elsewhere.
bool IsBracketSafe(std::string_view value) {
    for (char c : value) {
        if (!IsNameCharacter(c) && c != ' ' && c != '.' && c != '#' && c != '@') return false;
    }
    return true;
}

// Two pieces of code side by side must not melt into one token: a name and a literal (E'..',
// N'..'), two literals ('a''b' is one), "-" and "-" (a comment), "/" and "*".
bool WouldJoin(char before, char after) {
    if (before == 0 || after == 0) return false;
    if (IsNameCharacter(before) && (after == '\'' || after == '"' || IsNameCharacter(after)))
        return true;
    if (before == '&' && after == '\'') return true;  // U&'...'
    return (before == after && (before == '\'' || before == '"' || before == '-')) ||
           (before == '/' && after == '*') || (before == '*' && after == '/');
}

class SqlPlacement : public ValuePlacement {
  public:
    explicit SqlPlacement(bool backslashEscapes) : scanner_(backslashEscapes) {}

    void AppendAuthorText(std::string_view text, std::string& out) override {
        if (text.empty()) return;
        if (valueEnded_ && WouldJoin(scanner_.Previous(), text.front())) out += ' ';
        valueEnded_ = false;
        out += text;
        scanner_.Feed(text);
    }

    void AppendValue(std::string_view name, std::string_view value, std::string& out) override {
        constexpr std::string_view kTarget = "query";
        const bool escapes = scanner_.BackslashEscapes();
        std::string text;
        switch (scanner_.Spot()) {
            case SqlSpot::Code:
                text = BareLiteral(value, backslashDialect());
                if (!text.empty() && WouldJoin(scanner_.Previous(), text.front()))
                    text.insert(0, 1, ' ');
                break;
            case SqlSpot::String:
                if (scanner_.EscapePending())
                    RefuseValue(name, kTarget,
                                "it would follow a backslash that escapes its start");
                for (char c : value) {
                    if (c == '\'' || (escapes && c == '\\')) text += c;
                    text += c;
                }
                break;
            case SqlSpot::QuotedName:
                for (char c : value) {
                    if (c == '"' || (backslashDialect() && c == '\\')) text += c;
                    text += c;
                }
                break;
            case SqlSpot::BracketName:
                if (!IsBracketSafe(value))
                    RefuseValue(
                        name, kTarget,
                        "inside [...] it may hold only letters, digits, blanks and . _ # @ $");
                text = value;
                break;
            case SqlSpot::LineComment:
            case SqlSpot::BlockComment:
                text = CommentText(value, scanner_.Spot() == SqlSpot::LineComment);
                if (!text.empty() && scanner_.Previous() == '*' && text.front() == '/')
                    text.insert(0, 1, ' ');
                if (!text.empty() && text.back() == '*') text += ' ';
                break;
            case SqlSpot::DollarString:
                if (value.find('$') != std::string_view::npos)
                    RefuseValue(name, kTarget, "inside a $-quoted string it may not hold '$'");
                text = value;
                break;
        }
        out += text;
        // Only a literal in code can melt into the author's next token.
        valueEnded_ = !text.empty() && scanner_.Spot() == SqlSpot::Code;
        scanner_.Placed(text);
    }

  private:
    bool backslashDialect() const { return scanner_.BackslashDialect(); }

    SqlScanner scanner_;
    bool valueEnded_ = false;
};

// MDX: [names] with "]]" for "]", strings in double or single quotes, comments as in SQL plus "//".
class MdxPlacement : public ValuePlacement {
  public:
    void AppendAuthorText(std::string_view text, std::string& out) override {
        if (text.empty()) return;
        if (valueEnded_ && WouldJoin(previous_, text.front())) out += ' ';
        valueEnded_ = false;
        out += text;
        for (char c : text) Feed(c);
    }

    void AppendValue(std::string_view name, std::string_view value, std::string& out) override {
        (void)name;
        if (state_ == State::QuoteSeen) state_ = State::Code;
        if (state_ == State::BracketClose) state_ = State::Code;
        std::string text;
        switch (state_) {
            case State::Code:
                text = BareLiteral(value, false);
                if (!text.empty() && WouldJoin(previous_, text.front())) text.insert(0, 1, ' ');
                break;
            case State::String:
                for (char c : value) {
                    if (c == quote_) text += c;
                    text += c;
                }
                break;
            case State::Bracket:
                for (char c : value) {
                    if (c == ']') text += c;
                    text += c;
                }
                break;
            case State::LineComment:
            case State::BlockComment:
                text = CommentText(value, state_ == State::LineComment);
                if (!text.empty() && previous_ == '*' && text.front() == '/')
                    text.insert(0, 1, ' ');
                if (!text.empty() && text.back() == '*') text += ' ';
                break;
            default:
                break;
        }
        out += text;
        if (!text.empty()) previous_ = text.back();
        valueEnded_ = !text.empty() && state_ == State::Code;
    }

  private:
    enum class State { Code, String, QuoteSeen, Bracket, BracketClose, LineComment, BlockComment };

    void FeedCode(char c) {
        state_ = State::Code;
        if (c == '"' || c == '\'') {
            quote_ = c;
            state_ = State::String;
        } else if (c == '[') {
            state_ = State::Bracket;
        } else if ((c == '-' && previous_ == '-') || (c == '/' && previous_ == '/')) {
            state_ = State::LineComment;
        } else if (c == '*' && previous_ == '/') {
            state_ = State::BlockComment;
        }
    }

    void Feed(char c) {
        switch (state_) {
            case State::Code:
                FeedCode(c);
                break;
            case State::String:
                if (c == quote_) state_ = State::QuoteSeen;
                break;
            case State::QuoteSeen:
                if (c == quote_) {
                    state_ = State::String;
                } else {
                    previous_ = quote_;
                    FeedCode(c);
                }
                break;
            case State::Bracket:
                if (c == ']') state_ = State::BracketClose;
                break;
            case State::BracketClose:
                if (c == ']') {
                    state_ = State::Bracket;
                } else {
                    previous_ = ']';
                    FeedCode(c);
                }
                break;
            case State::LineComment:
                if (c == '\n' || c == '\r') state_ = State::Code;
                break;
            case State::BlockComment:
                if (c == '/' && previous_ == '*') {
                    state_ = State::Code;
                    c = ' ';
                }
                break;
        }
        previous_ = c;
    }

    State state_ = State::Code;
    char quote_ = '"';
    char previous_ = 0;
    bool valueEnded_ = false;
};

}  // namespace

std::unique_ptr<ValuePlacement> MakeSqlPlacement(bool backslashEscapes) {
    return std::make_unique<SqlPlacement>(backslashEscapes);
}

std::unique_ptr<ValuePlacement> MakeMdxPlacement() {
    return std::make_unique<MdxPlacement>();
}

}  // namespace orvik
