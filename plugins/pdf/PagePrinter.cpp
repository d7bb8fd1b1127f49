#include "PagePrinter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace pdf {
namespace {

// CSS pixels per inch, as the renderer lays pages out.
constexpr double kPixelsPerInch = 96;
// The renderer's bounds for the print scale.
constexpr double kSmallestScale = 0.1;
// Device pixels a PNG may be tall.
constexpr double kTallestPng = 16384;

// Rules the print adds: a sheet's head repeats on each page it spans, neither a row nor a chart
// is cut by a page break, and a heading stays with what it heads.
constexpr const char* kPrintCss =
    "@media print {"
    " thead { display: table-header-group; }"
    " tr, img, svg { break-inside: avoid; page-break-inside: avoid; }"
    " caption, h1, h2, h3, h4 { break-after: avoid; page-break-after: avoid; }"
    "}";

// Run in the page (whose own scripts are off): a sheet's table carries its header rows as the
// leading rows whose every cell has the sheet's header class (sh<N>); they move into a THEAD so
// that the print repeats them. Returns the widest extent of the page's content.
constexpr const char* kPrepareScript = R"JS((css) => {
  for (const table of document.querySelectorAll('table[id^="OrvikSheet"]')) {
    const number = /^OrvikSheet(\d+)$/.exec(table.id);
    const body = table.tBodies[0];
    if (!number || !body || table.tHead) continue;
    const headerClass = 'sh' + number[1];
    const head = document.createElement('thead');
    while (body.rows.length > 1) {
      const row = body.rows[0];
      if (row.cells.length === 0 ||
          ![...row.cells].every((cell) => cell.classList.contains(headerClass))) break;
      head.appendChild(row);
    }
    if (head.rows.length) table.insertBefore(head, body);
  }
  const style = document.createElement('style');
  style.textContent = css;
  (document.head || document.documentElement).appendChild(style);
  let widest = document.documentElement.scrollWidth;
  for (const e of document.querySelectorAll('table, svg, img')) {
    widest = Math.max(widest, e.getBoundingClientRect().right + window.scrollX);
  }
  return widest;
})JS";

std::string Base64Decode(const std::string& text) {
    static const auto kTable = [] {
        std::array<int, 256> table{};
        table.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = i;
        return table;
    }();
    std::string out;
    out.reserve(text.size() / 4 * 3);
    unsigned value = 0;
    int bits = 0;
    for (const char c : text) {
        const int digit = kTable[static_cast<unsigned char>(c)];
        if (digit < 0) continue;  // padding and line breaks
        value = (value << 6) | static_cast<unsigned>(digit);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

}  // namespace

PagePrinter::PagePrinter(HeadlessBrowser& browser, const ResourcePolicy& policy,
                         const std::string& pageFile)
    : browser_(browser), policy_(policy) {
    const JsonValue target = browser_.Call("Target.createTarget", "{\"url\":\"about:blank\"}");
    const JsonValue attached = browser_.Call(
        "Target.attachToTarget",
        "{\"targetId\":" + JsonQuote(target["targetId"].Text()) + ",\"flatten\":true}");
    session_ = attached["sessionId"].Text();
    browser_.OnEvent = [this](const JsonValue& event) {
        if (event["method"].Text() != "Fetch.requestPaused") return;
        const JsonValue& params = event["params"];
        const std::string& url = params["request"]["url"].Text();
        const std::string id = JsonQuote(params["requestId"].Text());
        if (policy_.Allows(url)) {
            browser_.Send("Fetch.continueRequest", "{\"requestId\":" + id + "}",
                          event["sessionId"].Text());
            return;
        }
        if (std::find(refused_.begin(), refused_.end(), url) == refused_.end())
            refused_.push_back(url);
        browser_.Send("Fetch.failRequest",
                      "{\"requestId\":" + id + ",\"errorReason\":\"AccessDenied\"}",
                      event["sessionId"].Text());
    };
    // Every request, the page itself included, is paused until the policy has looked at it.
    browser_.Call("Fetch.enable", "{\"patterns\":[{\"urlPattern\":\"*\"}]}", session_);
    browser_.Call("Emulation.setScriptExecutionDisabled", "{\"value\":true}", session_);
    browser_.Call("Page.enable", "{}", session_);
    const JsonValue navigated =
        browser_.Call("Page.navigate",
                      "{\"url\":" + JsonQuote(ResourcePolicy::FileUrl(pageFile)) + "}", session_);
    if (const std::string& error = navigated["errorText"].Text(); !error.empty())
        throw BrowserError("the renderer could not open " + pageFile + ": " + error);
    browser_.WaitForEvent("Page.loadEventFired", session_);
}

void PagePrinter::SetViewport(int width, int height, double scale) {
    browser_.Call("Emulation.setDeviceMetricsOverride",
                  "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
                      ",\"deviceScaleFactor\":" + Number(scale) + ",\"mobile\":false}",
                  session_);
}

double PagePrinter::PrepareForPrint() {
    const JsonValue result = browser_.Call(
        "Runtime.evaluate",
        "{\"expression\":" +
            JsonQuote("(" + std::string(kPrepareScript) + ")(" + JsonQuote(kPrintCss) + ")") +
            ",\"returnByValue\":true}",
        session_);
    if (!result["exceptionDetails"].IsNull())
        throw BrowserError("the page could not be prepared for printing: " +
                           result["exceptionDetails"]["text"].Text());
    return result["result"]["value"].Number();
}

PrintedPage PagePrinter::Pdf(const PrintSettings& settings) {
    const Paper& paper = settings.PaperSize;
    const Margins& edges = settings.Edges;
    const double portraitWidth = (paper.WidthInches - edges.Left - edges.Right) * kPixelsPerInch;
    const double landscapeWidth = (paper.HeightInches - edges.Left - edges.Right) * kPixelsPerInch;
    if (portraitWidth < 10 || landscapeWidth < 10)
        throw BrowserError("the margins leave no room on the paper");
    // Laid out at the portrait width first: what overflows it is what does not fit.
    SetViewport(static_cast<int>(portraitWidth), 800, 1);
    const double widest = PrepareForPrint();

    PrintedPage printed;
    printed.Landscape = settings.Turn == Orientation::Landscape ||
                        (settings.Turn == Orientation::Auto && widest > portraitWidth + 1);
    const double width = printed.Landscape ? landscapeWidth : portraitWidth;
    if (settings.FitWidth && widest > width + 1)
        printed.Scale = std::max(kSmallestScale, width / widest);

    const bool running = !settings.HeaderTemplate.empty() || !settings.FooterTemplate.empty();
    // An empty template, not none: without one the renderer prints its own date and file name.
    const std::string header =
        settings.HeaderTemplate.empty() ? "<span></span>" : settings.HeaderTemplate;
    const std::string footer =
        settings.FooterTemplate.empty() ? "<span></span>" : settings.FooterTemplate;
    const JsonValue result = browser_.Call(
        "Page.printToPDF",
        "{\"landscape\":" + std::string(printed.Landscape ? "true" : "false") +
            ",\"displayHeaderFooter\":" + (running ? "true" : "false") + ",\"headerTemplate\":" +
            JsonQuote(header) + ",\"footerTemplate\":" + JsonQuote(footer) +
            ",\"printBackground\":true,\"scale\":" + Number(printed.Scale) + ",\"paperWidth\":" +
            Number(paper.WidthInches) + ",\"paperHeight\":" + Number(paper.HeightInches) +
            ",\"marginTop\":" + Number(edges.Top) + ",\"marginBottom\":" + Number(edges.Bottom) +
            ",\"marginLeft\":" + Number(edges.Left) + ",\"marginRight\":" + Number(edges.Right) +
            ",\"preferCSSPageSize\":false,\"generateTaggedPDF\":" +
            (settings.Tagged ? "true" : "false") + "}",
        session_);
    printed.Bytes = Base64Decode(result["data"].Text());
    if (printed.Bytes.compare(0, 5, "%PDF-") != 0)
        throw BrowserError("the renderer returned no PDF");
    printed.Pages = CountPdfPages(printed.Bytes);
    const JsonValue title = browser_.Call(
        "Runtime.evaluate", "{\"expression\":\"document.title\",\"returnByValue\":true}", session_);
    printed.Title = title["result"]["value"].Text();
    printed.Refused = refused_;
    return printed;
}

PrintedPage PagePrinter::Png(int width, double scale) {
    // A viewport one pixel tall: the page's height is then its content's, not the window's.
    SetViewport(width, 1, scale);
    PrepareForPrint();
    const JsonValue metrics = browser_.Call("Page.getLayoutMetrics", "{}", session_);
    double height = std::max(1.0, metrics["cssContentSize"]["height"].Number());
    PrintedPage printed;
    // A picture taller than this costs hundreds of megabytes and shows in no mail reader.
    if (height * scale > kTallestPng) {
        height = std::floor(kTallestPng / scale);
        printed.Cut = true;
    }
    const JsonValue shot = browser_.Call(
        "Page.captureScreenshot",
        "{\"format\":\"png\",\"captureBeyondViewport\":true,\"clip\":{\"x\":0,\"y\":0,"
        "\"width\":" +
            std::to_string(width) + ",\"height\":" + Number(std::ceil(height)) + ",\"scale\":1}}",
        session_);
    printed.Bytes = Base64Decode(shot["data"].Text());
    if (printed.Bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        throw BrowserError("the renderer returned no PNG");
    printed.Refused = refused_;
    return printed;
}

int CountPdfPages(const std::string& pdf) {
    // Each page is a dictionary "/Type /Page"; the page tree's nodes are "/Type /Pages".
    int pages = 0;
    constexpr std::string_view kMarker = "/Type /Page";
    for (size_t at = pdf.find(kMarker); at != std::string::npos;
         at = pdf.find(kMarker, at + kMarker.size())) {
        const size_t next = at + kMarker.size();
        if (next >= pdf.size() || !std::isalnum(static_cast<unsigned char>(pdf[next]))) ++pages;
    }
    return pages;
}

}  // namespace pdf
