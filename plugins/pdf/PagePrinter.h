// Prints a written page to PDF (or photographs it as PNG) in a headless browser. The page's own
// scripts do not run, every request it makes is vetted by a ResourcePolicy, and what the print
// needs that the screen does not (each sheet's header rows repeated on every page, rows kept
// whole) is added to the browser's copy of the page only: the file stays as written.
#pragma once

#include <string>
#include <vector>

#include "HeadlessBrowser.h"
#include "PrintSettings.h"
#include "ResourcePolicy.h"

namespace pdf {

struct PrintedPage {
    std::string Bytes;  // the PDF or PNG file
    int Pages = 0;      // PDF pages
    bool Landscape = false;
    double Scale = 1;                  // how much FitWidth shrank the page
    std::string Title;                 // the page's title
    bool Cut = false;                  // a PNG cut at the tallest picture made
    std::vector<std::string> Refused;  // what the page tried to load and was not allowed to
};

class PagePrinter {
  public:
    // Opens a tab in `browser` with the page at `pageFile` loaded under `policy`.
    PagePrinter(HeadlessBrowser& browser, const ResourcePolicy& policy,
                const std::string& pageFile);
    // Stops vetting requests through this object, which the browser may outlive.
    ~PagePrinter() { browser_.OnEvent = nullptr; }
    PagePrinter(const PagePrinter&) = delete;
    PagePrinter& operator=(const PagePrinter&) = delete;

    // The page as PDF laid out by `settings`.
    PrintedPage Pdf(const PrintSettings& settings);
    // The page as a PNG `width` CSS pixels wide at `scale` device pixels per CSS pixel, the whole
    // height of the page.
    PrintedPage Png(int width, double scale);

  private:
    // Moves each sheet's header rows into a table head and adds the print rules; returns the
    // widest the page gets at the current viewport width, in CSS pixels.
    double PrepareForPrint();
    void SetViewport(int width, int height, double scale);

    HeadlessBrowser& browser_;
    const ResourcePolicy& policy_;
    std::string session_;
    std::vector<std::string> refused_;
};

// The number of pages of a PDF as the renderer writes it (its page objects).
int CountPdfPages(const std::string& pdf);

}  // namespace pdf
