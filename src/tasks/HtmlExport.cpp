#include "tasks/HtmlExport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include "core/AtomicFile.h"
#include "core/Run.h"
#include "core/TextEncoding.h"
#include "model/DataSourceKind.h"
#include "model/OvCombos.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/CssStyleSheet.h"
#include "render/GridView.h"
#include "render/GridViews.h"
#include "render/HtmlDocument.h"
#include "render/ParamHtml.h"
#include "tasks/SheetPart.h"

namespace {

constexpr std::string_view kGeneratorMeta =
    "<META content=\"MSHTML 6.00.2900.2180\" name=GENERATOR>";

// The step type of `step` when it makes each sheet's part its own way, else null.
orvik::TaskStep* SheetExportingStep(orvik::Run& run, const COvInfoAct& step) {
    orvik::TaskStep* type = run.Registries().Types.Steps.Find(step.AType.Value);
    return type && type->ExportsSheetsItself() ? type : nullptr;
}

bool IsVisible(const COvInfoObject& object) {
    const COvInfoProp* visible = object.GetPropByName("bVis");
    return !visible || std::atoi(visible->Value.c_str()) != 0;
}

COvInfoDS* DataSourceOf(const CReport& report, const COvInfoSheet& sheet) {
    return sheet.GetDS(report.DataSources);
}

// The page being built: plain text, or the layout document with the text read back from it.
class PageBuilder {
  public:
    PageBuilder(CReport& report, std::string& text, bool layoutMode)
        : report_(report), text_(text) {
        if (layoutMode) {
            text_ = report_.ReportObject->Get("HTMLayout");
            layout_.emplace(text_);
        }
    }

    bool LayoutMode() const { return layout_.has_value(); }
    CHtmlDocument* Layout() { return layout_ ? &*layout_ : nullptr; }

    void Place(const std::string& id, std::string part) {
        if (!layout_) {
            if (text_.empty()) {
                text_ = std::move(part);
            } else {
                text_ += part;
            }
            return;
        }
        if (!layout_->PlacePiece(id, part)) {
            // The layout has no place for this piece: it goes at the end rather than nowhere.
            text_ += part;
            layout_->Load(text_);
        }
        text_ = layout_->Html();
    }

  private:
    CReport& report_;
    std::string& text_;
    std::optional<CHtmlDocument> layout_;
};

// Copies a sheet's generated rule values into the same rules of the layout page, so its tables
// look as the sheet's properties say even where the layout defines the classes itself.
void UpdateLayoutRules(CCssStyleSheet& sheet, const std::string& style, int number) {
    for (const char* prefix : {".sh", ".sgo", ".sge"}) {
        const std::string selector = prefix + std::to_string(number);
        size_t at = style.find(selector + " ");
        if (at == std::string::npos) continue;
        const size_t blockStart = at + selector.size() + 2;
        const size_t blockEnd = style.find('}', blockStart);
        if (blockStart > style.size()) continue;
        const std::string block = style.substr(
            blockStart, blockEnd == std::string::npos ? std::string::npos : blockEnd - blockStart);
        for (const char* property :
             {"background-color:", "text-decoration:", "font:", "border-style:", "border-width:",
              "FILTER:", "background-image:"}) {
            const size_t name = block.find(property);
            if (name == std::string::npos) continue;
            const size_t valueStart = name + std::strlen(property);
            const size_t semicolon = block.find(';', valueStart);
            sheet.SetProperty(
                selector, property,
                block.substr(valueStart, semicolon == std::string::npos ? std::string::npos
                                                                        : semicolon - valueStart));
        }
    }
}

// The part of a page before its BODY tag (the whole page when it has none): where the META
// elements that declare its charset stand.
std::string_view HeadOf(std::string_view page) {
    for (size_t at = page.find('<'); at != std::string_view::npos; at = page.find('<', at + 1)) {
        if (at + 5 <= page.size() && orvik::EqualsIgnoringAsciiCase(page.substr(at + 1, 4), "body"))
            return page.substr(0, at);
    }
    return page;
}

// Removes every occurrence of `what`, looking again from the start after each removal. A page has
// a '<' every few bytes, so the search skips by the whole length of `what` rather than stopping at
// each '<'.
void RemoveAll(std::string& text, std::string_view what) {
    const std::boyer_moore_horspool_searcher searcher(what.begin(), what.end());
    for (;;) {
        const auto found = std::search(text.begin(), text.end(), searcher);
        if (found == text.end()) return;
        text.erase(static_cast<size_t>(found - text.begin()), what.size());
    }
}

// Makes every charset the page declares read `charset`, or declares it when the page has none.
}  // namespace

std::string WithDeclaredCharset(const std::string& text, const std::string& charset) {
    CHtmlDocument page(text);
    bool declared = false;
    page.RewriteAttribute("META", "charset", [&](const std::optional<std::string>& value) {
        if (!value) return std::optional<std::string>();
        declared = true;
        return std::optional<std::string>(charset);
    });
    page.RewriteAttribute("META", "content", [&](const std::optional<std::string>& value) {
        if (!value) return std::optional<std::string>();
        std::string lower = *value;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t at = lower.find("charset=");
        if (at == std::string::npos) return std::optional<std::string>();
        declared = true;
        size_t end = value->find_first_of("; \"'", at + 8);
        if (end == std::string::npos) end = value->size();
        return std::optional<std::string>(value->substr(0, at + 8) + charset + value->substr(end));
    });
    if (declared) return page.Html();
    const std::string meta =
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=" + charset + "\">";
    std::string result = page.Html();
    if (const auto head = page.FirstElementByTagName("HEAD")) {
        const std::string outer = page.OuterHtml(*head);
        const size_t tagEnd = outer.find('>');
        const size_t at = result.find(outer);
        if (tagEnd != std::string::npos && at != std::string::npos) {
            result.insert(at + tagEnd + 1, meta);
            return result;
        }
    }
    return meta + result;
}

std::string PageFilePath(orvik::Run& run) {
    return run.Registries().HtmlFolder + "Orvik.htm";
}

namespace {

// What a page's META declares, as far as writing it is concerned.
enum class Declared { Nothing, Utf8, Cp1251, Other };

Declared DeclaredCharsetOf(std::string_view page) {
    // The declaration lives in the head; reading the rest of a page of a million rows for it
    // would copy and scan hundreds of megabytes for nothing.
    const std::string declared = CHtmlDocument(std::string(HeadOf(page))).Charset();
    if (declared.empty()) return Declared::Nothing;
    // The labels browsers take for these two sets.
    for (const char* label : {"utf-8", "utf8", "unicode-1-1-utf-8"}) {
        if (orvik::EqualsIgnoringAsciiCase(declared, label)) return Declared::Utf8;
    }
    for (const char* label : {"windows-1251", "cp1251", "x-cp1251"}) {
        if (orvik::EqualsIgnoringAsciiCase(declared, label)) return Declared::Cp1251;
    }
    return Declared::Other;
}

}  // namespace

std::string EncodePage(const std::string& text, bool forceUtf8) {
    const Declared declared = DeclaredCharsetOf(text);
    std::string bytes;
    bytes.reserve(text.size());
    if (!forceUtf8 && declared == Declared::Cp1251) {
        // The page keeps the set it asks for; what the set cannot hold goes as references.
        orvik::AppendPageText(text, orvik::PageCharset::Cp1251, bytes);
    } else if (!forceUtf8 && declared == Declared::Nothing && orvik::FitsCp1251(text)) {
        orvik::AppendPageText(WithDeclaredCharset(text, "windows-1251"), orvik::PageCharset::Cp1251,
                              bytes);
    } else {
        // A set this program cannot write, or characters windows-1251 cannot hold in a page
        // that chose nothing: UTF-8, said so.
        orvik::AppendPageText(
            declared == Declared::Utf8 ? text : WithDeclaredCharset(text, "UTF-8"),
            orvik::PageCharset::Utf8, bytes);
    }
    return bytes;
}

namespace {

enum class PieceWrite { Done, DoesNotFit, Failed };

// Writes `text` to `file` in windows-1251, converted piece by piece so that a page of hundreds of
// megabytes is never held twice. False when the file cannot be written.
bool WriteCp1251Pieces(FILE* file, std::string_view text, std::string& piece) {
    constexpr size_t kPiece = size_t{1} << 20;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = std::min(text.size(), pos + kPiece);
        // A piece never ends inside a character.
        while (end > pos && end < text.size() &&
               (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        if (end == pos) end = std::min(text.size(), pos + kPiece);
        piece.clear();
        orvik::AppendPageText(text.substr(pos, end - pos), orvik::PageCharset::Cp1251, piece);
        if (std::fwrite(piece.data(), 1, piece.size(), file) != piece.size()) return false;
        pos = end;
    }
    return true;
}

// The open report keeps the record: it is what a run works on, and a new report (the next run)
// starts with none, so a file written for an earlier one is never taken for this one's.
void NoteWrittenFile(orvik::Run& run, const std::string& path) {
    std::error_code error;
    const std::filesystem::path made = std::filesystem::canonical(path, error);
    if (!error) run.WrittenFiles.insert(made.string());
}

}  // namespace

namespace {

// "Error write file <path> !", with the reason after it; counts as an error of the run.
void ReportWriteError(orvik::Run& run, const std::string& path, const std::string& reason) {
    orvik::ShowMessage(
        run, "Error write file " + path + " !" + (reason.empty() ? "" : " (" + reason + ")"), {},
        orvik::MessageBoxButtons::Ok, orvik::MessageBoxIcon::Error);
}

}  // namespace

void UxWriteFile(orvik::Run& run, const std::string& path, const std::string& text) {
    if (path.empty()) return;
    // Replaced whole or not at all, and never through a link planted where the file goes.
    orvik::AtomicFile file(path);
    if (file.Stream()) {
        bool written;
        if (DeclaredCharsetOf(text) == Declared::Cp1251) {
            // The usual page: it goes out as it is converted, never held twice.
            std::string piece;
            written = WriteCp1251Pieces(file.Stream(), text, piece);
        } else {
            const std::string bytes = EncodePage(text);
            written = std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) == bytes.size();
        }
        if (!written) file.NoteWriteError();
    }
    if (!file.Commit()) {
        // A page that was not written must not look like one that was.
        ReportWriteError(run, path, file.Error());
        return;
    }
    NoteWrittenFile(run, path);
}

namespace {

// A page written to its file as it is made, in windows-1251 (which its frame declares), so that
// a page of hundreds of megabytes is never held whole. The generator META the page drops is
// taken out of the stream too: a tail as long as that text stays back until more follows, so a
// META cut between two pieces is still found.
class StreamedPage {
  public:
    explicit StreamedPage(const std::string& path) : file_(path) {}
    StreamedPage(const StreamedPage&) = delete;
    StreamedPage& operator=(const StreamedPage&) = delete;

    // Takes `text` (leaving it empty); false once the page cannot be written this way.
    bool Append(std::string& text) {
        if (!Good()) return false;
        RemoveAll(text, kGeneratorMeta);
        if (!pending_.empty()) {
            // The tail held back from the text before meets this one: a META may be cut in two
            // there. The rare text that has one takes the slow road through one buffer.
            std::string junction = pending_;
            junction.append(text, 0, std::min(text.size(), kGeneratorMeta.size()));
            if (junction.find(kGeneratorMeta) != std::string::npos) {
                text.insert(0, pending_);
                pending_.clear();
                RemoveAll(text, kGeneratorMeta);
            } else {
                Write(pending_);
                pending_.clear();
            }
        }
        size_t cut = text.size() > kGeneratorMeta.size() ? text.size() - kGeneratorMeta.size() : 0;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        if (cut > 0) Write(std::string_view(text).substr(0, cut));
        pending_.assign(text, cut);
        text.clear();
        return Good();
    }

    // Writes what is left and puts the file in place: Done, or Failed (the reason in Error()).
    PieceWrite Finish() {
        if (Good() && !pending_.empty()) Write(pending_);
        pending_.clear();
        if (!file_.Stream()) state_ = PieceWrite::Failed;
        if (state_ == PieceWrite::Done && !file_.Commit()) state_ = PieceWrite::Failed;
        return state_;
    }

    const std::string& Error() const { return file_.Error(); }

  private:
    bool Good() const { return file_.Stream() && state_ == PieceWrite::Done; }
    void Write(std::string_view text) {
        if (WriteCp1251Pieces(file_.Stream(), text, piece_)) return;
        state_ = PieceWrite::Failed;
        file_.NoteWriteError();
    }

    orvik::AtomicFile file_;
    std::string pending_;
    std::string piece_;  // the converted bytes of a piece, reused
    PieceWrite state_ = PieceWrite::Done;
};

}  // namespace

namespace {

// The style rules of the report's grid sheets, in sheet order.
std::string GridStyles(const CReport& report) {
    std::string styles;
    for (size_t k = 0; k < report.Sheets.size(); ++k) {
        const COvInfoSheet& sheet = *report.Sheets[k];
        CGridView* view = FindGridView(sheet);
        if (sheet.tpVW.Value != "GRID" || !view) continue;
        styles += view->GetStyle(static_cast<int>(k));
    }
    return styles;
}

// The first lines of a plain page, up to its body.
std::string PageFrameStart(const std::string& styles) {
    std::string frame = "<HTML><HEAD>";
    frame += "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=windows-1251\">\n";
    if (!styles.empty()) frame += "<STYLE>" + styles + "</STYLE>\n";
    frame += "</HEAD><BODY>\n";
    return frame;
}

constexpr std::string_view kPageFrameEnd = "</BODY></HTML>";

// Whether the page `step` exports may go to its file as it is made: an unattended run asked for
// it, the page is the plain one (no layout to pour it into), it has a grid sheet (so it is
// framed, with the windows-1251 declaration), and no plug-in takes part in it.
bool CanStreamPage(orvik::Run& run, const COvInfoAct& step) {
    const CReport& report = run.Report();
    if (!run.Page.WriteAsBuilt || step.AType.Value.compare(0, 3, "HTM") != 0) return false;
    if (report.ReportObject && !report.ReportObject->Get("HTMLayout").empty()) return false;
    if (SheetExportingStep(run, step)) return false;
    bool hasGrid = false;
    for (const auto& sheet : report.Sheets) {
        if (sheet->tpVW.Value == "GRID" && FindGridView(*sheet)) hasGrid = true;
        if (!IsVisible(*sheet)) continue;
        const COvInfoDS* ds = DataSourceOf(report, *sheet);
        if (orvik::SheetRendererOf(run, *sheet, ds)) return false;
    }
    return hasGrid;
}

// Writes the plain page straight to its file. Returns DoesNotFit when the page cannot be framed
// before it is known whole (it must then be built whole).
PieceWrite StreamPage(CReport& report, const std::string& path, std::string& problem) {
    const std::string styles = GridStyles(report);
    // Without style rules a page is framed only when nothing in it declares a content type, which
    // is known only at its end: such a page is built whole.
    if (styles.empty()) return PieceWrite::DoesNotFit;
    StreamedPage out(path);
    std::string text = PageFrameStart(styles);
    bool going = out.Append(text);
    for (size_t i = 0; going && i < report.Params.size(); ++i) {
        const COvInfoPrm& prm = *report.Params[i];
        if (!IsVisible(prm)) continue;
        MakeParamHTML(report, prm, text);
        going = out.Append(text);
    }
    const std::function<void(std::string&)> flush = [&](std::string& piece) {
        going = going && out.Append(piece);
    };
    for (size_t k = 0; going && k < report.Sheets.size(); ++k) {
        const COvInfoSheet& sheet = *report.Sheets[k];
        const COvInfoDS* ds = DataSourceOf(report, sheet);
        CGridView* view = FindGridView(sheet);
        if (!IsVisible(sheet) || !view || !ds) continue;
        const orvik::PageStyle style = ds->Kind().Page();
        if (style == orvik::PageStyle::None) continue;
        view->AppendPagePart(text, style, static_cast<int>(k), flush);
        going = going && out.Append(text);
    }
    text = kPageFrameEnd;
    if (going) out.Append(text);
    const PieceWrite written = out.Finish();
    problem = out.Error();
    return written;
}

}  // namespace

int DoExport(orvik::Run& run, COvInfoAct& step) {
    CReport& report = run.Report();
    if (report.Sheets.empty()) return 0;
    orvik::WaitCursor busy(run);
    orvik::TaskStep* sheetExporter = SheetExportingStep(run, step);
    const std::string& type = step.AType.Value;
    const bool exportsPage = type.compare(0, 3, "HTM") == 0;

    std::string& pageText = run.Page.Text;
    pageText.clear();
    run.Page.TextInFile = false;
    if (CanStreamPage(run, step)) {
        const std::string path = PageFilePath(run);
        std::string problem;
        const PieceWrite written = StreamPage(report, path, problem);
        if (written == PieceWrite::Failed) {
            ReportWriteError(run, path, problem);
            return 1;
        }
        if (written == PieceWrite::Done) {
            NoteWrittenFile(run, path);
            run.Page.TextInFile = type != "HTMFile";
            return 1;
        }
        // A page without style rules: built whole below.
    }
    const bool layoutMode = report.ReportObject && !report.ReportObject->Get("HTMLayout").empty();
    PageBuilder page(report, pageText, layoutMode);

    for (size_t i = 0; i < report.Params.size(); ++i) {
        const COvInfoPrm& prm = *report.Params[i];
        if (!IsVisible(prm)) continue;
        std::string part;
        MakeParamHTML(report, prm, part);
        page.Place("OrvikParam" + std::to_string(i), part);
    }

    for (size_t k = 0; k < report.Sheets.size(); ++k) {
        COvInfoSheet& sheet = *report.Sheets[k];
        if (!IsVisible(sheet)) continue;
        const std::string id = "OrvikSheet" + std::to_string(k);
        COvInfoDS* ds = DataSourceOf(report, sheet);
        if (orvik::SheetRenderer* renderer = orvik::SheetRendererOf(run, sheet, ds)) {
            std::string part;
            const orvik::SheetExport result = renderer->ExportSheet(run, sheet, step, part);
            if (result == orvik::SheetExport::Refused) return 0;
            if (result == orvik::SheetExport::Done) {
                page.Place(id, std::move(part));
                continue;
            }
        }
        if (sheetExporter) {
            sheetExporter->ExportSheetItself(run, step);
            continue;
        }
        CGridView* view = FindGridView(sheet);
        if (!exportsPage || !view || !ds) continue;
        std::string part;
        view->AppendPagePart(part, ds->Kind().Page(), static_cast<int>(k));
        page.Place(id, std::move(part));
    }
    RemoveAll(pageText, kGeneratorMeta);
    if (!exportsPage) return 1;

    std::string styles;
    std::optional<CCssStyleSheet> rules;
    if (CHtmlDocument* layout = page.Layout()) rules.emplace(*layout);
    for (size_t k = 0; k < report.Sheets.size(); ++k) {
        const COvInfoSheet& sheet = *report.Sheets[k];
        CGridView* view = FindGridView(sheet);
        if (sheet.tpVW.Value != "GRID" || !view) continue;
        const std::string style = view->GetStyle(static_cast<int>(k));
        if (rules) UpdateLayoutRules(*rules, style, static_cast<int>(k));
        styles += style;
    }
    if (CHtmlDocument* layout = page.Layout()) {
        pageText = layout->Html();
    } else if (pageText.find("\"Content-Type\"") == std::string::npos || !styles.empty()) {
        // The sheets' tables can be hundreds of megabytes: the frame goes around them in place
        // instead of through temporary copies.
        pageText.insert(0, PageFrameStart(styles));
        pageText += kPageFrameEnd;
    }
    UxWriteFile(run, PageFilePath(run), pageText);
    // The page kept for the mail step is valid text too, whatever bytes its data held.
    orvik::CleanPageText(pageText);
    if (type == "HTMFile") pageText.clear();
    return 1;
}
