// A pull reader over an XMLA reply, built on libxml2's streaming reader so that a reply of a
// million cells is read node by node and never held whole. Every reply is treated as hostile:
// the nesting depth and the length of each text are capped, no entity is expanded, nothing is
// fetched from the network, and a reply that breaks off or is not XML ends in one CADOException
// that says what was wrong and where.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// Where the reply's bytes come from: an HTTP exchange, or memory (tests, the fuzz target).
class XmlaByteSource {
  public:
    virtual ~XmlaByteSource() = default;
    // Copies up to `size` bytes into `buffer`; 0 at the end. Throws CADOException when the
    // transport fails.
    virtual size_t Read(char* buffer, size_t size) = 0;
};

// A reply held in memory.
class XmlaMemorySource : public XmlaByteSource {
  public:
    // `bytes` must outlive the source.
    explicit XmlaMemorySource(std::string_view bytes) : bytes_(bytes) {}
    explicit XmlaMemorySource(const char* bytes) : bytes_(bytes) {}
    explicit XmlaMemorySource(std::string&&) = delete;  // would dangle
    size_t Read(char* buffer, size_t size) override;

  private:
    std::string_view bytes_;
};

class XmlaXmlReader {
  public:
    // Deepest element nesting accepted; MDDataSet needs about a dozen levels.
    static constexpr int kMaxDepth = 64;
    // Longest text of one element (a caption, a value, an error description).
    static constexpr size_t kMaxText = 1 << 20;

    explicit XmlaXmlReader(XmlaByteSource& source);
    ~XmlaXmlReader();
    XmlaXmlReader(const XmlaXmlReader&) = delete;
    XmlaXmlReader& operator=(const XmlaXmlReader&) = delete;

    // Moves to the next node; false at the end of the document. Throws CADOException when the
    // reply is not well-formed, breaks off, nests too deeply or the transport fails.
    bool Read();
    // True when the current node is the start of an element.
    bool AtElement() const;
    bool IsEmptyElement() const;
    int Depth() const;
    std::string_view LocalName() const;
    std::string_view NamespaceUri() const;
    // True when the current element is `localName` in namespace `ns` ("" matches any namespace).
    bool Is(std::string_view localName, std::string_view ns = {}) const;
    // The attribute `name` (without namespace) of the current element, or nothing.
    std::optional<std::string> Attribute(const char* name) const;
    // The attribute `localName` in namespace `ns` of the current element, or nothing.
    std::optional<std::string> Attribute(const char* localName, const char* ns) const;
    // The attribute `name` (in namespace `ns` when given) of the current element, "" when it
    // has none, without allocating: valid until the next call. For what every cell carries.
    std::string_view AttributeView(const char* name, const char* ns = nullptr);

    // Reads the current element's own text to its end (the text of nested elements is left
    // out) and leaves the reader on its last node. Throws when the text passes kMaxText.
    std::string ElementText();
    // Calls `child` for each child element of the current element, the reader on the child's
    // start; a child the callback does not read is skipped whole. Leaves the reader on the
    // current element's last node.
    template <typename Callback>
    void Children(Callback&& child);
    // Skips the current element with everything inside it.
    void SkipElement();

    // Where the reader is, for messages: "line 12".
    std::string Where() const;

  private:
    static int ReadCallback(void* context, char* buffer, int size);
    static int CloseCallback(void*) { return 0; }
    [[noreturn]] void Fail(const std::string& what) const;
    // Reads on until the end of the element that started at `depth`, unless it was empty.
    void FinishElement(int depth, bool empty);

    struct Handle;
    std::unique_ptr<Handle> handle_;
    XmlaByteSource& source_;
    std::exception_ptr sourceError_;
    std::string parseError_;
    std::string attribute_;  // AttributeView's value
    size_t bytesRead_ = 0;
    unsigned long serial_ = 0;  // counts Read calls, so Children knows whether a child was read
};

template <typename Callback>
void XmlaXmlReader::Children(Callback&& child) {
    if (IsEmptyElement()) return;
    const int depth = Depth();
    while (Read()) {
        if (!AtElement()) {
            if (Depth() <= depth) return;  // the end of the parent
            continue;
        }
        const int childDepth = Depth();
        const bool empty = IsEmptyElement();
        const unsigned long before = serial_;
        child();
        // The callback either read the child to its end or left it untouched.
        if (serial_ == before) FinishElement(childDepth, empty);
    }
    Fail("it ends inside an element");
}

}  // namespace orvik
