// Feeds arbitrary bytes to the page document as a layout page, and checks what placing pieces,
// setting attributes and setting style rules must keep whatever the page holds:
// - an unedited page reads back byte for byte;
// - elements come in document order, lie inside the text, nest properly and carry their names;
// - finding by id agrees with the element list;
// - an edit changes nothing before the edited element's start and nothing after its span;
// - an attribute edit keeps every element where it was (shifted by the length change) and reads
//   back as set;
// - a style property that was set reads back as set, through a fresh sheet too; a refused one
//   leaves the page as it was, and an edit of an existing STYLE element touches no other element.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "render/CssStyleSheet.h"
#include "render/HtmlDocument.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckShape(const std::string& text, const std::vector<CHtmlElement>& elements) {
    struct Open {
        std::size_t EndTagStart;
        std::size_t End;
    };
    std::vector<Open> open;
    std::size_t previous = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const CHtmlElement& e = elements[i];
        Check(e.Start < e.StartTagEnd && e.StartTagEnd <= e.EndTagStart && e.EndTagStart <= e.End &&
              e.End <= text.size());
        Check(text[e.Start] == '<' && text[e.StartTagEnd - 1] == '>');
        Check(!e.Name.empty() && e.Start + 1 + e.Name.size() <= e.StartTagEnd);
        Check(e.Name ==
              CHtmlScanner::ToUpper(std::string_view(text).substr(e.Start + 1, e.Name.size())));
        Check(i == 0 || e.Start > previous);
        previous = e.Start;
        while (!open.empty() && open.back().End <= e.Start) open.pop_back();
        if (!open.empty()) Check(e.End <= open.back().EndTagStart);
        open.push_back({e.EndTagStart, e.End});
    }
}

bool SameSpans(const CHtmlElement& a, const CHtmlElement& b) {
    return a.Start == b.Start && a.StartTagEnd == b.StartTagEnd && a.EndTagStart == b.EndTagStart &&
           a.End == b.End && a.Name == b.Name;
}

// Offsets after an edit that replaced [begin, end) by `length` bytes, for offsets outside it.
std::size_t Shifted(std::size_t offset, std::size_t end, std::size_t begin, std::size_t length) {
    return offset >= end ? offset - (end - begin) + length : offset;
}

std::string Slice(const std::string& text, std::size_t at, std::size_t length) {
    return at < text.size() ? text.substr(at, length) : std::string();
}

void CheckPlacement(const std::string& text, const std::vector<CHtmlElement>& all,
                    const std::string& piece) {
    for (std::size_t i = 0; i < all.size() && i < 4; ++i) {
        CHtmlDocument document(text);
        const std::optional<std::string> id = document.GetAttribute(all[i], "id");
        if (!id || id->empty()) continue;
        const std::optional<CHtmlElement> found = document.FindById(*id);
        Check(found.has_value());
        // The first element with that id in the list is the one found.
        for (const CHtmlElement& e : all) {
            const std::optional<std::string> other = document.GetAttribute(e, "id");
            if (other && *other == *id) {
                Check(SameSpans(e, *found));
                break;
            }
        }
        Check(document.PlacePiece(*id, piece));
        const std::string& after = document.Html();
        const std::size_t tail = text.size() - found->End;
        Check(after.size() >= found->Start + tail);
        Check(after.compare(0, found->Start, text, 0, found->Start) == 0);
        Check(after.compare(after.size() - tail, tail, text, found->End, tail) == 0);
        CheckShape(after, document.ElementsByTagName("*"));
    }
}

void CheckAttribute(const std::string& text, const std::vector<CHtmlElement>& all, std::size_t pick,
                    const std::string& name, const std::string& value) {
    if (all.empty()) return;
    const std::size_t index = pick % all.size();
    CHtmlDocument document(text);
    const CHtmlElement& target = all[index];
    if (!document.SetAttribute(target, name, value)) return;
    const std::string& after = document.Html();
    const std::size_t tail = text.size() - target.StartTagEnd;
    Check(after.compare(0, target.Start, text, 0, target.Start) == 0);
    Check(after.compare(after.size() - tail, tail, text, target.StartTagEnd, tail) == 0);
    const std::size_t length = after.size() - target.Start - tail;
    const std::vector<CHtmlElement> again = document.ElementsByTagName("*");
    Check(again.size() == all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const CHtmlElement& e = all[i];
        const std::size_t end = target.StartTagEnd;
        Check(again[i].Start == Shifted(e.Start, end, target.Start, length));
        Check(again[i].StartTagEnd == Shifted(e.StartTagEnd, end, target.Start, length));
        Check(again[i].EndTagStart == Shifted(e.EndTagStart, end, target.Start, length));
        Check(again[i].End == Shifted(e.End, end, target.Start, length));
    }
    Check(document.GetAttribute(again[index], name) == value);
}

void CheckRewrite(const std::string& text, std::size_t count, const char* tag, const char* name) {
    CHtmlDocument document(text);
    std::size_t next = 0;
    const std::size_t changed = document.RewriteAttribute(
        tag, name, [&](const std::optional<std::string>& value) -> std::optional<std::string> {
            if (!value || value->empty()) return std::nullopt;
            return "cid:OrvikID" + std::to_string(next++);
        });
    Check(changed == next);
    const std::vector<CHtmlElement> again = document.ElementsByTagName("*");
    Check(again.size() == count);
    CheckShape(document.Html(), again);
}

void CheckStyle(const std::string& text, const std::vector<CHtmlElement>& all,
                const std::vector<std::vector<std::string>>& settings) {
    CHtmlDocument document(text);
    CCssStyleSheet sheet(document);
    const bool hadStyle = sheet.StyleElementCount() > 0;
    for (const auto& s : settings) {
        const std::string before = document.Html();
        if (sheet.SetProperty(s[0], s[1], s[2])) {
            Check(sheet.GetProperty(s[0], s[1]) == s[2]);
            CHtmlDocument copy(document.Html());
            Check(CCssStyleSheet(copy).GetProperty(s[0], s[1]) == s[2]);
        } else {
            Check(document.Html() == before);
        }
    }
    const std::vector<CHtmlElement> again = document.ElementsByTagName("*");
    CheckShape(document.Html(), again);
    if (hadStyle) {
        Check(again.size() == all.size());
        for (std::size_t i = 0; i < all.size(); ++i) Check(again[i].Name == all[i].Name);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CHtmlDocument document(text);
    Check(document.Html() == text);
    const std::vector<CHtmlElement> all = document.ElementsByTagName("*");
    CheckShape(text, all);
    if (!all.empty()) {
        std::size_t same = 0;
        for (const CHtmlElement& e : all) same += e.Name == all.back().Name;
        Check(document.ElementsByTagName(all.back().Name).size() == same);
        const std::optional<CHtmlElement> first = document.FirstElementByTagName(all.back().Name);
        Check(first.has_value());
    }
    (void)document.Charset();
    for (const CHtmlElement& e : all) (void)document.GetStyleValue(e, "width");
    Check(document.Html() == text);

    // Pieces and values drawn from the input itself, so the fuzzer steers them too.
    const std::string piece = size % 2 == 0
                                  ? "<TABLE id=OrvikSheet0 border=1 class=sgo0>\n</TABLE>\n"
                                  : Slice(text, size / 2, 48);
    CheckPlacement(text, all, piece);
    CheckPlacement(text, all, "");
    const std::string value = Slice(text, size / 3, 24);
    CheckAttribute(text, all, size, "src", value);
    CheckAttribute(text, all, size / 7, "id", "cid:OrvikID0");
    CheckAttribute(text, all, size / 5, Slice(text, size / 4, 6), value);
    CheckRewrite(text, all.size(), "IMG", "src");
    CheckRewrite(text, all.size(), "*", "background");
    CheckStyle(text, all,
               {{".sh0", "background-color:", "c0c0c0"},
                {".sh0", "font:", " bold 8pt \"Arial\""},
                {".sgo0", "FILTER:", " progid:DXImageTransform.Microsoft.Gradient(gradientType=1)"},
                {Slice(text, size / 5, 8), "font", value},
                {".sh0", "border-width", Slice(text, size / 6, 12)},
                {".sge0", "background-color", "f0f0f0"}});

    CHtmlDocument appended(text);
    appended.AppendHtml(piece);
    Check(appended.Html() == text + piece);
    return 0;
}
