// One node of the small XML tree that report files are read into and written from.
//
// An element keeps its attributes as the raw text found between its name and the end of its
// start tag, and looks attributes up only when asked: report files hold few of them and most
// elements carry none. Text read from a file is held decoded; text set for writing is held
// escaped, exactly as it will appear in the file. The tree is owned top-down and torn down
// without recursion, so a document nested a million levels deep is harmless.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CXmlDocument;

class CXmlElement {
  public:
    // Creates an unnamed, empty element with no parent.
    CXmlElement() = default;
    // Destroys the element and its whole subtree.
    ~CXmlElement();

    // Children point back at their parent, so an element can be neither copied nor moved.
    CXmlElement(const CXmlElement&) = delete;
    CXmlElement& operator=(const CXmlElement&) = delete;

    // The element name as read or set.
    const std::string& GetName() const { return Name; }
    // The text content: decoded when read from a file, escaped when built for writing.
    const std::string& GetValue() const { return Value; }
    // The raw, escaped attribute text ("a="1" b="2""); see GetAttribute.
    const std::string& GetAttributes() const { return Attributes; }
    // The enclosing element, or nullptr for the root.
    CXmlElement* GetParent() const { return Parent; }
    // The children in document order.
    const std::vector<std::unique_ptr<CXmlElement>>& GetChildren() const { return Children; }

    // Replaces the name; the text is taken as it stands.
    void SetName(std::string name) { Name = std::move(name); }
    // Replaces the text content; the text must already be escaped if it is meant for writing.
    void SetValue(std::string value) { Value = std::move(value); }
    // Replaces the raw attribute text; it must already be escaped (see FormatAttribute).
    void SetAttributes(std::string attributes) { Attributes = std::move(attributes); }

    // Appends a new, empty child with the given name and returns it; the element owns it.
    CXmlElement* AddChild(std::string name);
    // Destroys every child (and their subtrees) and restarts child iteration.
    void RemoveChildren();

    // The decoded value of the first "name=" in the attribute text, or "" when there is none.
    // This is a plain text search: "Name" also matches inside "xName=".
    std::string GetAttribute(std::string_view name) const;

    // Decodes the four entities the format knows ("&amp;", "&quot;", "&lt;", "&gt;") in one pass,
    // so "&amp;lt;" reads as "&lt;": exactly what Escape or FormatAttribute was given. Any other
    // "&" stays as written.
    static std::string Decode(std::string_view text);
    // Escapes "&", "<" and ">" (in that order), the form in which text is written.
    static std::string Escape(std::string_view text);
    // Builds the escaped text name="value" for SetAttributes; a double quote inside the value is
    // written as "&quot;" so that it cannot end the value early.
    static std::string FormatAttribute(std::string_view name, std::string_view value);

  private:
    friend class CXmlDocument;

    std::string Name;
    std::string Attributes;
    std::string Value;
    std::vector<std::unique_ptr<CXmlElement>> Children;
    CXmlElement* Parent = nullptr;
    // Index of the child that GetNextChild/FindNextChild look at next.
    std::size_t IterPos = 0;
    // Name remembered by FindFirstChild for FindNextChild.
    std::string FindName;
};
