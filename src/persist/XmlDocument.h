// The XML reader and writer that report files go through.
//
// Reading is deliberately forgiving: one pass over the bytes, tags split off by "<" and ">",
// comments and declarations skipped, closing tags never checked against what they close. Any
// input, however broken, gives some tree and never an error, so a damaged report still opens
// with whatever could be recovered. Writing is strict and fixed: tab indentation and CR LF line
// ends, so files stay byte-for-byte like those the program has always written.
//
// The document works on bytes. Converting a whole file between character sets is the caller's
// business; ReadFileText and WriteFileText give it the raw text around Parse and Generate.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "persist/XmlElement.h"

class CXmlDocument {
  public:
    // Creates an empty document with the default declaration line.
    CXmlDocument() = default;
    ~CXmlDocument() = default;

    // Parsing keeps a pointer into the tree it owns, so a document is neither copied nor moved.
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // Reads the file and parses it: 1 on success; 0 when the file cannot be opened, is empty or
    // cannot be read, leaving the tree as it was.
    int Load(const std::string& path);
    // Writes Generate() to the file, replacing it atomically; returns 1. Throws std::system_error
    // when it cannot be written, and the old file is then left untouched.
    int Save(const std::string& path) const;
    // Rebuilds the tree from the text; never fails and returns 1.
    int Parse(std::string text);
    // True when the last Parse saw the root element close: a file cut short (a full disk, a
    // copy stopped half-way) leaves it open.
    bool RootClosed() const { return rootClosed_; }
    // Elements nest at most this deep below the root. A report nests four levels; the limit
    // keeps whatever walks the tree later from meeting a hostile file a million levels deep.
    static constexpr std::size_t kMaxDepth = 256;
    // Where in GetXml() the first element nested deeper than kMaxDepth starts; nullopt when none
    // did. Such elements and everything inside them are read past and left out of the tree.
    std::optional<std::size_t> TooDeepAt() const { return tooDeepAt_; }
    // The document text: Header, CR LF, then the root element and its subtree.
    std::string Generate() const;

    // The root element (always present, unnamed in an empty document).
    CXmlElement* GetRootElement() { return &Root; }
    // The root element, read-only.
    const CXmlElement* GetRootElement() const { return &Root; }

    // Appends a child to `parent` and returns it (nullptr when `parent` is null). The name is
    // trimmed of blanks; the value and attribute text are escaped for writing. Empty value or
    // attributes leave the field empty.
    CXmlElement* AddElement(CXmlElement* parent, std::string_view name, std::string_view value = {},
                            std::string_view attributes = {});

    // The first child of `element`, restarting its iteration; nullptr when there is none.
    static CXmlElement* GetFirstChild(CXmlElement* element);
    // The next child of `element` after the last one returned; nullptr at the end.
    static CXmlElement* GetNextChild(CXmlElement* element);
    // The first child of `element` named `name` (ignoring ASCII case); remembers the name.
    static CXmlElement* FindFirstChild(CXmlElement* element, std::string_view name);
    // The next child with the name given to FindFirstChild; nullptr when there is no more.
    static CXmlElement* FindNextChild(CXmlElement* element);

    // Empties the tree: the root loses its children, name, attributes and value.
    void Reset();

    // The declaration line written before the root (it carries its own line end, if any).
    const std::string& GetHeader() const { return Header; }
    // Replaces the declaration line.
    void SetHeader(std::string header) { Header = std::move(header); }
    // The text last given to Parse (after Load, without its CR characters).
    const std::string& GetXml() const { return Xml; }

    // The bytes of a regular, non-empty file with every CR removed; nullopt when the file cannot
    // be opened or read, is empty, or is not a regular file.
    static std::optional<std::string> ReadFileText(const std::string& path);
    // The same bytes with their CRs, as they stand in the file.
    static std::optional<std::string> ReadFileBytes(const std::string& path);
    // Removes every CR: files written on Windows and here alike end lines with CR LF, and the
    // parser sees LF only.
    static void DropCarriageReturns(std::string& text);
    // Writes the bytes to a temporary file beside `path` and renames it over `path`. Throws
    // std::system_error on failure, leaving `path` as it was and no temporary file behind.
    static void WriteFileText(const std::string& path, std::string_view text);

  private:
    // Stores the text gathered before a "<" as the current element's value.
    void StoreValue(std::string_view raw);
    // Acts on one tag; `inner` is its text between "<" and ">" (a view into Xml).
    void ProcessTag(std::string_view inner);

    std::string Header = "<?xml version=\"1.0\"?>\r\n";
    bool rootClosed_ = false;
    std::optional<std::size_t> tooDeepAt_;
    std::size_t depth_ = 0;    // how far below the root Current stands
    std::size_t skipped_ = 0;  // open elements read past for being too deep
    std::string Xml;
    CXmlElement Root;
    CXmlElement* Current = &Root;
};
