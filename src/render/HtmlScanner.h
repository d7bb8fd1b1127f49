// Finds where the elements of an HTML page start and end without building a tree and without
// touching a byte of the page.
//
// Layout pages are written by people and by old HTML editors: upper-case tags, unquoted
// attributes, unclosed paragraphs and cells, comments, scripts full of "<" and "</b>", tags the
// scanner has never heard of. The page is edited by splicing its text, so what matters is where
// each element's outer HTML begins and ends as a browser would see it. The scanner follows the
// browser's tokenizer (comments, raw-text elements, quoted attribute values) and the parts of
// its tree building that decide an element's extent: void elements, end tags that close what
// they find in scope and are ignored otherwise, and the implied ends of paragraphs, list items,
// table cells and rows and the head. One deliberate difference: "<DIV ... />" is taken as an
// empty element, as its author meant, so that replacing it can never swallow the rest of the page
// (raw-text elements such as SCRIPT and STYLE still run to their end tag, as in a browser).
//
// Every step is linear in the text: no search restarts from an earlier position, and the open
// elements are indexed by name so an end tag that closes nothing costs no walk down the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One element of a page, as offsets into its text.
struct CHtmlElement {
    std::size_t Start = 0;         // the "<" of the start tag
    std::size_t StartTagEnd = 0;   // just past the start tag's ">"
    std::size_t EndTagStart = 0;   // the "<" of its own end tag; End when it has none
    std::size_t End = 0;           // just past the element's outer HTML
    std::string Name;              // the tag name with ASCII letters in upper case
    std::uint64_t Generation = 0;  // the document's edit count when it was found
};

// One attribute of a start tag, as offsets into the text the tag was read from.
struct CHtmlAttribute {
    std::size_t NameStart = 0;
    std::size_t NameEnd = 0;
    std::size_t ValueStart = 0;  // the value's first byte, inside any quotes
    std::size_t ValueEnd = 0;    // just past the value, before any closing quote
    std::size_t End = 0;         // just past the attribute, closing quote included
    char Quote = 0;              // '"' or '\'' for a quoted value, 0 otherwise
    bool HasValue = false;       // false for a bare name such as "nowrap"
};

class CHtmlScanner {
  public:
    // Receives the elements of a scan.
    class Visitor {
      public:
        virtual ~Visitor() = default;
        // A start tag was read. EndTagStart and End are npos unless the element ended with its
        // start tag (void, self-closed or raw text). Returns true to be told the element's end.
        virtual bool OnStart(const CHtmlElement& element) = 0;
        // The complete extent of an element whose OnStart returned true.
        virtual void OnEnd(const CHtmlElement& element) { (void)element; }
        // Set by a callback to end the scan after it returns.
        bool Stop = false;
    };

    // Walks the text once; OnStart comes in document order of the start tags, OnEnd when an
    // element's end is known (at the latest at the end of the text).
    static void Scan(std::string_view text, Visitor& visitor);

    // The attributes of the element's start tag, in the order written (offsets into `text`).
    static std::vector<CHtmlAttribute> Attributes(std::string_view text,
                                                  const CHtmlElement& element);
    // Reads attributes from `from` up to the ">" that ends the tag and returns that ">"'s
    // offset, or npos when the text ends first. Attributes go to `attributes` and a closing
    // "/>" sets `selfClosing`, each when not null.
    static std::size_t ReadTag(std::string_view text, std::size_t from,
                               std::vector<CHtmlAttribute>* attributes, bool* selfClosing);

    // Attribute text with its character references replaced: the five XML ones, "&nbsp;" and
    // numeric ones, as UTF-8. Anything else stays as written.
    static std::string DecodeEntities(std::string_view text);
    // The text with "&", and `quote` when not 0, written as references, for an attribute value.
    static std::string EncodeAttribute(std::string_view text, char quote);
    // The text with ASCII letters in upper case.
    static std::string ToUpper(std::string_view text);
    // True when the texts are equal ignoring the case of ASCII letters.
    static bool EqualsIgnoreCase(std::string_view a, std::string_view b);
    // True for the blanks HTML separates attributes with.
    static bool IsSpace(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    }
};
