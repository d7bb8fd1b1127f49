// The report page as an editable HTML document: the user's layout page, the generated page
// that mail delivery rewrites, the page the export writes out.
//
// The document is its text and nothing else. Queries scan the text (CHtmlScanner) and hand out
// elements as offsets; edits splice the text. So a page reads back byte for byte as it was
// loaded, except for the spans an edit replaced: scripts, comments, entities, unknown tags and
// the author's letter case all survive, which a parse-and-serialise round trip would not give.
// An element handle is valid until the next edit; handles from before an edit are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "render/HtmlScanner.h"

class CHtmlDocument {
  public:
    // Creates an empty document.
    CHtmlDocument() = default;
    // Creates a document holding `html`.
    explicit CHtmlDocument(std::string html) : Text(std::move(html)) {}

    // Replaces the whole page; element handles taken before become stale.
    void Load(std::string html);
    // The page text: exactly what was loaded when nothing was edited.
    const std::string& Html() const { return Text; }
    // Counts the edits made since construction; handles carry the count they were taken at.
    std::uint64_t Generation() const { return Edits; }

    // The first element in document order whose id attribute (references decoded) equals `id`
    // exactly; nullopt when there is none or `id` is empty.
    std::optional<CHtmlElement> FindById(std::string_view id) const;
    // The first element with that tag name (any letter case; "*" or "" for any); nullopt when
    // there is none. The scan stops at its end.
    std::optional<CHtmlElement> FirstElementByTagName(std::string_view tag) const;
    // Every element with that tag name (any letter case) in document order; "*" or "" gives
    // every element.
    std::vector<CHtmlElement> ElementsByTagName(std::string_view tag) const;
    // True while the handle still describes this document's text (no edit since it was taken).
    bool IsCurrent(const CHtmlElement& element) const;

    // The element's outer HTML; empty for a stale handle.
    std::string OuterHtml(const CHtmlElement& element) const;
    // The value of the element's first attribute of that name (any letter case), references
    // decoded; "" for an attribute without value; nullopt when absent or the handle is stale.
    std::optional<std::string> GetAttribute(const CHtmlElement& element,
                                            std::string_view name) const;
    // Sets an attribute's value, replacing only the old value's span, or adds the attribute
    // right after the tag name when the tag has none of that name. False for a stale handle or a
    // name that cannot stand in a tag.
    bool SetAttribute(const CHtmlElement& element, std::string_view name, std::string_view value);
    // The value of a property in the element's style attribute as written, blanks and
    // "!important" trimmed (the last declaration wins); "" when it is not set. Only the style
    // attribute counts, as for a browser's style object: width= and height= attributes do not.
    std::string GetStyleValue(const CHtmlElement& element, std::string_view property) const;

    // Replaces the element's outer HTML by `html`. False for a stale handle.
    bool ReplaceOuterHtml(const CHtmlElement& element, std::string_view html);
    // Adds `html` at the very end of the page text.
    void AppendHtml(std::string_view html);
    // Replaces the bytes from `begin` up to `end` (both kept within the text) by `text`.
    void ReplaceText(std::size_t begin, std::size_t end, std::string_view text);

    // Calls `rewrite` with the value of `attribute` (references decoded; nullopt when absent)
    // of every `tag` element in document order; a value it returns is set on that element as
    // SetAttribute does. One pass over the page however many elements change. Returns how many
    // were set.
    std::size_t RewriteAttribute(
        std::string_view tag, std::string_view attribute,
        const std::function<std::optional<std::string>(const std::optional<std::string>&)>&
            rewrite);

    // Puts a piece of the report in place of the element with the id: the element's width and
    // height style values go along as a style attribute "WIDTH:w; HEIGHT:h" on the piece's
    // first tag, right after its name (a bare number given "px"); an empty piece leaves
    // "<DIV id=ID style=...></DIV>".
    // False, with nothing changed, when no element has that id.
    bool PlacePiece(std::string_view id, std::string_view piece);

    // The character set the page declares in a META element (charset="X", or http-equiv
    // Content-Type with content "...charset=X"), as written; "" when it declares none.
    std::string Charset() const;

  private:
    std::string Text;
    std::uint64_t Edits = 0;
};
