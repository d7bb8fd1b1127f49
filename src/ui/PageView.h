// The report page as the export builds it, shown by WebKitGTK: the designer writes the page file
// and this view loads it, so what the user sees is what a task would send. Links and scripts of
// the user's layout work as in a browser.
#pragma once

#include <wx/panel.h>

#include <string>

class wxWebView;

namespace orvik::ui {

class PageView : public wxPanel {
  public:
    // Pages larger than this are not loaded into the browser engine.
    static constexpr unsigned long long kLargestShownPage = 48ull << 20;

    explicit PageView(wxWindow* parent);

    // Shows the page file at `path` (reloads it when it is already shown).
    void ShowFile(const std::string& path);
    // The file last shown ("" before the first).
    const std::string& ShownFile() const { return shownFile_; }
    // Counts finished loads of our pages, so a test or a benchmark can tell a new one arrived.
    unsigned long LoadCount() const { return loadCount_; }
    wxWebView* Browser() const { return browser_; }

  private:
    wxWebView* browser_ = nullptr;
    std::string shownFile_;
    unsigned long loadCount_ = 0;
    bool startedUp_ = false;  // the starting blank page has loaded
};

}  // namespace orvik::ui
