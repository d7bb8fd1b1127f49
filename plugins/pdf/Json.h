// Just enough JSON for the browser's DevTools messages: a reader that builds a small tree and a
// writer for the strings that go into requests. The messages come from a child process that
// renders pages we do not trust, so the reader checks every bound and refuses deep nesting
// instead of assuming a well-behaved peer.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pdf {

class JsonValue {
  public:
    enum class Kind { Null, Boolean, Number, String, Array, Object };

    Kind Type() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::Null; }
    // The member `name` of an object; a null value when absent or not an object.
    const JsonValue& operator[](std::string_view name) const;
    // The text of a string, "" for anything else.
    const std::string& Text() const { return text_; }
    // The value of a number (0 for anything else).
    double Number() const { return number_; }
    bool Boolean() const { return kind_ == Kind::Boolean && number_ != 0; }
    const std::vector<JsonValue>& Items() const { return items_; }

    // Parses `text`; false (and `error` says where) when it is not one JSON value.
    static bool Parse(std::string_view text, JsonValue& out, std::string& error);

  private:
    friend class JsonReader;
    Kind kind_ = Kind::Null;
    double number_ = 0;
    std::string text_;
    std::vector<JsonValue> items_;
    std::map<std::string, JsonValue, std::less<>> members_;
};

// `text` as a JSON string literal, quotes included; bytes that are not valid UTF-8 become U+FFFD so
// the browser never refuses a request over a file name.
std::string JsonQuote(std::string_view text);

}  // namespace pdf
