// The style rules of a page, edited one property at a time: how the export carries a sheet's
// colours and fonts into the rules of the user's layout page.
//
// The rules are those of every STYLE element of the page in document order. A selector names
// the last rule whose selector reads the same (blanks, comments and letter case aside), since
// that is the rule whose values a browser applies; a property is the last declaration of that
// name in it. Only the value text of that declaration is replaced, so the user's formatting,
// comments and other rules stay as they were.
//
// What is missing is made, because a generated table takes its colours from these rules and
// would show bare without them:
// - a missing declaration is added at the end of the rule's block ("; name:value");
// - a missing rule is added at the end of the last STYLE element ("selector {name:value}");
// - a page without a STYLE element gets one: at the end of HEAD; when there is no HEAD, as
//   "<HEAD><STYLE>...</STYLE></HEAD>" right after the HTML start tag; without either, in front
//   of the page's first element (or at the end of a page that has none).
// Values are written verbatim after the ":", blanks included. Text that would change more than
// its own declaration (an unclosed string, comment or bracket, a ";", "{", "}" or "</") is
// refused, and an edit that does not read back as written is undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "render/CssParser.h"
#include "render/HtmlDocument.h"

class CCssStyleSheet {
  public:
    // Works on the document's text; the document must outlive the sheet.
    explicit CCssStyleSheet(CHtmlDocument& document) : Document(document) {}

    // The value text of the property ("name" or "name:") in the rule with that selector, as
    // written between the ":" and the ";" or "}"; nullopt when there is no such rule or
    // declaration.
    std::optional<std::string> GetProperty(std::string_view selector,
                                           std::string_view property) const;
    // Sets the property ("name" or "name:") of the rule with that selector to `value`, making
    // the declaration, rule or STYLE element when missing (see above). False, with the page
    // unchanged, when the selector, name or value is refused or the edit would not read back.
    bool SetProperty(std::string_view selector, std::string_view property, std::string_view value);
    // The number of STYLE elements of the page.
    std::size_t StyleElementCount() const { return Sheets().size(); }

  private:
    // The content of one STYLE element, as offsets into the page.
    struct Sheet {
        std::size_t Start;
        std::size_t End;
    };
    // A rule with offsets relative to its sheet's content.
    struct Match {
        std::size_t SheetIndex;
        CCssRule Rule;
    };

    // The STYLE contents, found again when the page changed other than through this sheet.
    const std::vector<Sheet>& Sheets() const;
    std::optional<Match> FindRule(const std::string& normalizedSelector) const;
    // Puts an empty STYLE element in the page; returns where and how much was inserted, or
    // nullopt (page unchanged) when it would not be found as one.
    std::optional<std::pair<std::size_t, std::size_t>> CreateStyleElement();
    // Replaces page bytes inside sheet `index` and keeps the cached offsets right.
    void Splice(std::size_t index, std::size_t begin, std::size_t end, std::string_view text);

    CHtmlDocument& Document;
    mutable std::vector<Sheet> Cache;
    mutable std::optional<std::uint64_t> CacheGeneration;
};
