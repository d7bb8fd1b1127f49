#include "params/SqlScanner.h"

namespace orvik {

bool SqlScanner::FeedCode(char c) {
    state_ = State::Code;
    switch (c) {
        case '\'':
            // E'...' (not the end of a name such as "type'") reads backslashes as escapes.
            stringEscapes_ = backslashEscapes_ || ((previous_ == 'E' || previous_ == 'e') &&
                                                   !IsNameCharacter(beforePrevious_));
            state_ = State::String;
            return false;
        case '"':
            state_ = State::QuotedName;
            return false;
        case '[':
            state_ = State::BracketName;
            return false;
        case '-':
            if (previous_ == '-') {
                state_ = State::LineComment;
                return false;
            }
            break;
        case '*':
            if (previous_ == '/') {
                state_ = State::BlockComment;
                return false;
            }
            break;
        case '$':
            if (!IsNameCharacter(previous_)) {
                state_ = State::DollarTagOpen;
                tag_.assign(1, '$');
                return false;
            }
            break;
        default:
            break;
    }
    return true;
}

bool SqlScanner::Feed(char c) {
    bool code = false;
    switch (state_) {
        case State::Code:
            code = FeedCode(c);
            break;
        case State::String:
            if (c == '\'') {
                state_ = State::StringQuote;
            } else if (c == '\\' && stringEscapes_) {
                state_ = State::StringEscape;
            }
            break;
        case State::StringEscape:
            state_ = State::String;
            break;
        case State::StringQuote:
            if (c == '\'') {
                state_ = State::String;
            } else {
                previous_ = '\'';
                code = FeedCode(c);
            }
            break;
        case State::QuotedName:
            if (c == '"') state_ = State::QuotedNameQuote;
            break;
        case State::QuotedNameQuote:
            if (c == '"') {
                state_ = State::QuotedName;
            } else {
                previous_ = '"';
                code = FeedCode(c);
            }
            break;
        case State::BracketName:
            if (c == ']') state_ = State::BracketNameClose;
            break;
        case State::BracketNameClose:
            if (c == ']') {
                state_ = State::BracketName;
            } else {
                previous_ = ']';
                code = FeedCode(c);
            }
            break;
        case State::LineComment:
            if (c == '\n') state_ = State::Code;
            break;
        case State::BlockComment:
            if (c == '/' && previous_ == '*') {
                state_ = State::Code;
                c = ' ';  // the "/" closed the comment and starts nothing
            }
            break;
        case State::DollarTagOpen:
            if (c == '$') {
                tag_ += '$';
                recent_.clear();
                state_ = State::DollarString;
            } else if (IsNameCharacter(c) && c != '$' &&
                       !(tag_.size() == 1 && c >= '0' && c <= '9')) {
                tag_ += c;
            } else {
                // "$1" or a lone "$": a positional parameter or an operator, no string.
                previous_ = tag_.back();
                tag_.clear();
                code = FeedCode(c);
            }
            break;
        case State::DollarString:
            recent_.push_back(c);
            if (recent_.size() > tag_.size()) recent_.erase(recent_.begin());
            if (recent_ == tag_) {
                state_ = State::Code;
                tag_.clear();
                c = ' ';
            }
            break;
    }
    beforePrevious_ = previous_;
    previous_ = c;
    return code;
}

SqlSpot SqlScanner::Spot() const {
    switch (state_) {
        case State::String:
        case State::StringEscape:
            return SqlSpot::String;
        case State::QuotedName:
            return SqlSpot::QuotedName;
        case State::BracketName:
            return SqlSpot::BracketName;
        case State::LineComment:
            return SqlSpot::LineComment;
        case State::BlockComment:
            return SqlSpot::BlockComment;
        case State::DollarString:
            return SqlSpot::DollarString;
        default:
            return SqlSpot::Code;
    }
}

void SqlScanner::Placed(std::string_view text) {
    if (text.empty()) return;
    switch (state_) {
        case State::StringQuote:
        case State::QuotedNameQuote:
        case State::BracketNameClose:
        case State::DollarTagOpen:
            // The value stands after the string or name, or after a lone "$": in code.
            tag_.clear();
            state_ = State::Code;
            break;
        case State::DollarString:
            recent_.clear();
            break;
        default:
            break;
    }
    beforePrevious_ = text.size() > 1 ? text[text.size() - 2] : previous_;
    previous_ = text.back();
}

std::vector<std::string> SplitSqlStatements(std::string_view text, bool backslashEscapes) {
    std::vector<std::string> statements;
    SqlScanner scanner(backslashEscapes);
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (scanner.Feed(text[i]) && text[i] == ';') {
            statements.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    statements.emplace_back(text.substr(start));
    return statements;
}

}  // namespace orvik
