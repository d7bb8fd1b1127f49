// Element storage, attribute lookup and the entity coding shared by the reader and the writer.
#include "persist/XmlElement.h"

#include <utility>

namespace {

// The entities the format knows and the characters they stand for. "&apos;" and numeric
// references were never written by the program nor read by it; they stay text.
struct Entity {
    std::string_view text;
    char character;
};
constexpr Entity kEntities[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}};

// Escapes text for the file; `quote` also turns double quotes into "&quot;".
std::string EscapeText(std::string_view text, bool quote) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += quote ? "&quot;" : "\"";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

CXmlElement::~CXmlElement() {
    RemoveChildren();
}

CXmlElement* CXmlElement::AddChild(std::string name) {
    auto child = std::make_unique<CXmlElement>();
    child->Name = std::move(name);
    child->Parent = this;
    Children.push_back(std::move(child));
    return Children.back().get();
}

void CXmlElement::RemoveChildren() {
    // Destroying the subtree through nested unique_ptr destructors would recurse once per level
    // and overflow the stack on a deeply nested (hostile or broken) file. Detach grandchildren
    // onto an explicit work list first, so every node dies childless.
    std::vector<std::unique_ptr<CXmlElement>> pending = std::move(Children);
    Children.clear();
    IterPos = 0;
    while (!pending.empty()) {
        std::unique_ptr<CXmlElement> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->Children) {
            pending.push_back(std::move(child));
        }
        node->Children.clear();
    }
}

std::string CXmlElement::GetAttribute(std::string_view name) const {
    std::string key(name);
    key += '=';
    const std::size_t pos = Attributes.find(key);
    if (pos == std::string::npos) {
        return {};
    }
    // Skip the equals sign and the opening quote without checking that it is one: files in the
    // wild are read the way they always have been.
    const std::size_t start = pos + key.size() + 1;
    if (start >= Attributes.size()) {
        return {};
    }
    const std::size_t end = Attributes.find('"', start);
    const std::size_t length = end == std::string::npos ? std::string::npos : end - start;
    return Decode(std::string_view(Attributes).substr(start, length));
}

std::string CXmlElement::Decode(std::string_view text) {
    std::size_t amp = text.find('&');
    if (amp == std::string_view::npos) {
        return std::string(text);
    }
    // One pass, left to right, never looking again at what a replacement produced: "&amp;lt;" is
    // what the writer makes of the text "&lt;", and that is what it must read back as.
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (amp != std::string_view::npos) {
        out.append(text.substr(from, amp - from));
        const std::string_view rest = text.substr(amp);
        from = amp + 1;
        char decoded = '&';
        for (const Entity& entity : kEntities) {
            if (rest.starts_with(entity.text)) {
                decoded = entity.character;
                from = amp + entity.text.size();
                break;
            }
        }
        out += decoded;
        amp = text.find('&', from);
    }
    out.append(text.substr(from));
    return out;
}

std::string CXmlElement::Escape(std::string_view text) {
    return EscapeText(text, false);
}

std::string CXmlElement::FormatAttribute(std::string_view name, std::string_view value) {
    std::string out(name);
    out += "=\"";
    out += EscapeText(value, true);
    out += '"';
    return out;
}
