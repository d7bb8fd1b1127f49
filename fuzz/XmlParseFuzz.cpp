// Feeds arbitrary bytes to the XML reader, walks what it made, and checks that what the writer
// produces from it reads back as the same tree.
//
// The check goes through the writer's own path: the parsed tree is copied into a fresh document
// the way the report writer builds one (names and values through AddElement, so values are
// escaped again; attribute text as read, since it is still escaped). Reading that text back must
// give the same names, attribute text and shape. Values come back exactly as they were for leaf
// elements, however much they look like entities, and empty for elements with children (the
// text after the last child wins). After that one round the text is a fixed point.
//
// Values read from a file are already decoded, so they cannot show a reader that decodes too
// much; the input itself is therefore also written as an element's text and as an attribute
// value, the way the program stores its own text, and must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/TextEncoding.h"
#include "persist/XmlDocument.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// Touches every read-side entry point on every element, without recursion.
void Walk(CXmlDocument& doc) {
    std::vector<CXmlElement*> pending{doc.GetRootElement()};
    while (!pending.empty()) {
        CXmlElement* element = pending.back();
        pending.pop_back();
        const std::string& attributes = element->GetAttributes();
        (void)element->GetAttribute(attributes.substr(0, attributes.find('=')));
        (void)element->GetAttribute("");
        std::size_t count = 0;
        for (CXmlElement* c = doc.GetFirstChild(element); c != nullptr;
             c = doc.GetNextChild(element)) {
            Check(c->GetParent() == element);
            pending.push_back(c);
            ++count;
        }
        Check(count == element->GetChildren().size());
        if (count > 0) {
            const std::string name = element->GetChildren().front()->GetName();
            for (CXmlElement* c = doc.FindFirstChild(element, name); c != nullptr;
                 c = doc.FindNextChild(element)) {
                --count;
            }
            Check(count < element->GetChildren().size());
        }
    }
}

// A start tag whose text ends in "/" reads back as an empty-element tag. Only hand-made junk
// has such names or attributes; the writer is not expected to round-trip them.
bool EndsInSlash(const CXmlElement& element) {
    const std::string& last =
        element.GetAttributes().empty() ? element.GetName() : element.GetAttributes();
    return !last.empty() && last.back() == '/';
}

// Copies `from` into `to` as a writer would build it; false when the tree holds an element the
// round trip cannot keep (see EndsInSlash).
bool CopyForWriting(const CXmlDocument& from, CXmlDocument& to) {
    to.Reset();
    const CXmlElement* source = from.GetRootElement();
    CXmlElement* root = to.GetRootElement();
    root->SetName(source->GetName());
    root->SetAttributes(source->GetAttributes());
    root->SetValue(CXmlElement::Escape(source->GetValue()));
    bool keepable = !EndsInSlash(*source);
    std::vector<std::pair<const CXmlElement*, CXmlElement*>> pending{{source, root}};
    while (!pending.empty()) {
        auto [original, copy] = pending.back();
        pending.pop_back();
        for (const auto& child : original->GetChildren()) {
            keepable = keepable && !EndsInSlash(*child);
            CXmlElement* added = to.AddElement(copy, child->GetName(), child->GetValue());
            added->SetAttributes(child->GetAttributes());
            pending.emplace_back(child.get(), added);
        }
    }
    return keepable;
}

// `back` is `before` written and read again: same shape, names and attribute text; values
// unchanged but for the mixed-content rule.
void CheckReadBack(const CXmlElement* before, const CXmlElement* back) {
    std::vector<std::pair<const CXmlElement*, const CXmlElement*>> pending{{before, back}};
    while (!pending.empty()) {
        auto [a, b] = pending.back();
        pending.pop_back();
        Check(a->GetName() == b->GetName());
        Check(a->GetAttributes() == b->GetAttributes());
        Check(a->GetChildren().size() == b->GetChildren().size());
        const std::string expected = a->GetChildren().empty() ? a->GetValue() : std::string();
        Check(b->GetValue() == expected);
        for (std::size_t i = 0; i < a->GetChildren().size(); ++i) {
            pending.emplace_back(a->GetChildren()[i].get(), b->GetChildren()[i].get());
        }
    }
}

// Text the program sets reads back as it was: element text up to the white space the reader
// trims from its ends, an attribute value whole.
void CheckTextReadsBack(std::string_view text) {
    CXmlDocument doc;
    doc.GetRootElement()->SetName("r");
    CXmlElement* element = doc.AddElement(doc.GetRootElement(), "v", text);
    element->SetAttributes(CXmlElement::FormatAttribute("a", text));
    CXmlDocument back;
    back.Parse(doc.Generate());
    Check(back.GetRootElement()->GetChildren().size() == 1);
    const CXmlElement* read = back.GetRootElement()->GetChildren().front().get();
    Check(read->GetValue() == orvik::Trim(text, " \t\n\r\v\f"));
    Check(read->GetAttribute("a") == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckTextReadsBack(input);

    CXmlDocument parsed;
    parsed.Parse(input);
    Walk(parsed);
    (void)parsed.Generate();  // values as read, unescaped: must merely not crash

    CXmlDocument written;
    const bool keepable = CopyForWriting(parsed, written);
    const std::string first = written.Generate();
    CXmlDocument reread;
    reread.Parse(first);
    if (!keepable) {
        return 0;
    }
    CheckReadBack(parsed.GetRootElement(), reread.GetRootElement());

    CopyForWriting(reread, written);
    const std::string second = written.Generate();
    CXmlDocument again;
    again.Parse(second);
    CopyForWriting(again, written);
    Check(written.Generate() == second);
    return 0;
}
