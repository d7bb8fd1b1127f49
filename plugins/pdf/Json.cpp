#include "Json.h"

#include <cstdio>
#include <cstdlib>

namespace pdf {
namespace {

// Deeper nesting than any DevTools reply has is refused rather than recursed into.
constexpr int kMaxDepth = 64;

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at `at`, 0 when the bytes there are not one.
size_t Utf8Length(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

}  // namespace

class JsonReader {
  public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    bool Read(JsonValue& out, std::string& error) {
        if (!Value(out, 0)) {
            error = "bad JSON at byte " + std::to_string(at_);
            return false;
        }
        Space();
        if (at_ != text_.size()) {
            error = "text after the JSON value at byte " + std::to_string(at_);
            return false;
        }
        return true;
    }

  private:
    void Space() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' ||
                                      text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool Hex4(unsigned& code) {
        if (at_ + 4 > text_.size()) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= c - '0';
            else if (c >= 'a' && c <= 'f')
                code |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                code |= c - 'A' + 10;
            else
                return false;
        }
        return true;
    }
    bool String(std::string& out) {
        if (at_ >= text_.size() || text_[at_] != '"') return false;
        ++at_;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char e = text_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned code = 0;
                    if (!Hex4(code)) return false;
                    if (code >= 0xD800 && code < 0xDC00 && Literal("\\u")) {
                        unsigned low = 0;
                        if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xD800 && code < 0xE000) {
                        code = 0xFFFD;
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool Value(JsonValue& out, int depth) {
        if (depth > kMaxDepth) return false;
        Space();
        if (at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '{') {
            out.kind_ = JsonValue::Kind::Object;
            ++at_;
            Space();
            if (at_ < text_.size() && text_[at_] == '}') return ++at_, true;
            for (;;) {
                Space();
                std::string name;
                if (!String(name)) return false;
                Space();
                if (at_ >= text_.size() || text_[at_++] != ':') return false;
                if (!Value(out.members_[name], depth + 1)) return false;
                Space();
                if (at_ >= text_.size()) return false;
                if (text_[at_] == '}') return ++at_, true;
                if (text_[at_++] != ',') return false;
            }
        }
        if (c == '[') {
            out.kind_ = JsonValue::Kind::Array;
            ++at_;
            Space();
            if (at_ < text_.size() && text_[at_] == ']') return ++at_, true;
            for (;;) {
                if (!Value(out.items_.emplace_back(), depth + 1)) return false;
                Space();
                if (at_ >= text_.size()) return false;
                if (text_[at_] == ']') return ++at_, true;
                if (text_[at_++] != ',') return false;
            }
        }
        if (c == '"') {
            out.kind_ = JsonValue::Kind::String;
            return String(out.text_);
        }
        if (Literal("true")) return out.kind_ = JsonValue::Kind::Boolean, out.number_ = 1, true;
        if (Literal("false")) return out.kind_ = JsonValue::Kind::Boolean, true;
        if (Literal("null")) return true;
        const size_t start = at_;
        while (at_ < text_.size() &&
               std::string_view("+-0123456789.eE").find(text_[at_]) != std::string_view::npos)
            ++at_;
        if (at_ == start) return false;
        const std::string number(text_.substr(start, at_ - start));
        char* end = nullptr;
        out.number_ = std::strtod(number.c_str(), &end);
        out.kind_ = JsonValue::Kind::Number;
        return end == number.c_str() + number.size();
    }

    std::string_view text_;
    size_t at_ = 0;
};

const JsonValue& JsonValue::operator[](std::string_view name) const {
    static const JsonValue kNull;
    if (kind_ != Kind::Object) return kNull;
    const auto found = members_.find(name);
    return found == members_.end() ? kNull : found->second;
}

bool JsonValue::Parse(std::string_view text, JsonValue& out, std::string& error) {
    out = JsonValue();
    return JsonReader(text).Read(out, error);
}

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out + "\"";
}

}  // namespace pdf
