#include "ui/PageView.h"

#include <wx/filename.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/webview.h>

#include <filesystem>
#include <utility>

namespace orvik::ui {

PageView::PageView(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    if (wxWebView::IsBackendAvailable(wxWebViewBackendDefault)) {
        browser_ = wxWebView::New(this, wxID_ANY, wxWebViewDefaultURLStr);
        browser_->Bind(wxEVT_WEBVIEW_LOADED, [this](wxWebViewEvent& event) {
            // The blank page the view starts with is not a page of ours. A page asked for
            // before it finished can be lost under it: asked for again now.
            if (event.GetURL() != wxWebViewDefaultURLStr) {
                ++loadCount_;
            } else if (!startedUp_) {
                startedUp_ = true;
                if (!shownFile_.empty()) {
                    const std::string file = std::exchange(shownFile_, std::string());
                    ShowFile(file);
                }
            }
            event.Skip();
        });
        sizer->Add(browser_, 1, wxEXPAND);
    } else {
        // Without a browser engine the designer still edits reports; the page is in its file.
        sizer->Add(new wxStaticText(this, wxID_ANY,
                                    "No web view is available: the page is written to Orvik.htm "
                                    "in the HTML work folder."),
                   0, wxALL, 12);
    }
    SetSizer(sizer);
}

void PageView::ShowFile(const std::string& path) {
    if (!browser_) return;
    // A page of hundreds of thousands of rows would hold the browser engine (and the designer
    // with it) for minutes; the sheet tabs show such data, and the file opens in a browser.
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > kLargestShownPage) {
        wxString file = wxString::FromUTF8(path.c_str());
        file.Replace("&", "&amp;");
        file.Replace("<", "&lt;");
        browser_->SetPage(
            wxString::Format("<html><body style=\"font-family:sans-serif;margin:24px\">"
                             "<p>The page is %llu MB, too large to show here. It "
                             "was written to <code>%s</code>; the sheet tabs show "
                             "its data.</p></body></html>",
                             static_cast<unsigned long long>(size >> 20), file),
            "about:blank");
        shownFile_ = path;
        return;
    }
    const wxString url = wxFileName::FileNameToURL(wxFileName(wxString::FromUTF8(path.c_str())));
    if (shownFile_ == path && browser_->GetCurrentURL() == url) {
        browser_->Reload(wxWEBVIEW_RELOAD_NO_CACHE);
    } else {
        browser_->LoadURL(url);
    }
    shownFile_ = path;
}

}  // namespace orvik::ui
