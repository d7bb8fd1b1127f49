#include "ui/AboutBox.h"

#include <wx/artprov.h>
#include <wx/dialog.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>

#include "app/LibraryVersions.h"
#include "model/AppContext.h"
#include "plugin/PlugInLoader.h"
#include "ui/DesignerContext.h"
#include "ui/DialogTranslation.h"

namespace orvik::ui {
namespace {

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

wxListCtrl* MakeList(wxWindow* parent, const wxSize& size,
                     std::initializer_list<const char*> columns) {
    auto* list =
        new wxListCtrl(parent, wxID_ANY, wxDefaultPosition, size, wxLC_REPORT | wxLC_SINGLE_SEL);
    int column = 0;
    for (const char* caption : columns) list->InsertColumn(column++, caption);
    return list;
}

// Each column as wide as its widest text, its caption included.
void FitColumns(wxListCtrl& list, bool empty) {
    for (int c = 0; c < list.GetColumnCount(); ++c) {
        list.SetColumnWidth(c, wxLIST_AUTOSIZE_USEHEADER);
        const int caption = list.GetColumnWidth(c);
        if (empty) continue;
        list.SetColumnWidth(c, wxLIST_AUTOSIZE);
        list.SetColumnWidth(c, std::max(caption, list.GetColumnWidth(c)));
    }
}

}  // namespace

wxDialog* MakeAboutBox(wxWindow* parent) {
    auto* dialog = new wxDialog(parent, wxID_ANY, "About Orvik", wxDefaultPosition, wxDefaultSize,
                                wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    const auto versions = LibraryVersions();
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* title = new wxStaticText(dialog, wxID_ANY,
                                   "Orvik " + FromUtf8(versions.front().second) +
                                       ": report designer and unattended report runner");
    title->SetFont(title->GetFont().Bold().Larger());
    sizer->Add(title, 0, wxALL, 10);

    wxListCtrl* libraries = MakeList(dialog, wxSize(560, 215), {"Library", "Version"});
    libraries->SetName("libraries");
    std::vector<std::pair<std::string, std::string>> shown(versions.begin() + 1, versions.end());
    shown.emplace_back("wxWidgets", wxVERSION_NUM_DOT_STRING);
    for (size_t r = 0; r < shown.size(); ++r) {
        const long item = libraries->InsertItem(static_cast<long>(r), FromUtf8(shown[r].first));
        libraries->SetItem(item, 1, FromUtf8(shown[r].second));
    }
    FitColumns(*libraries, false);
    sizer->Add(libraries, 0, wxEXPAND | wxLEFT | wxRIGHT, 10);

    sizer->Add(new wxStaticText(dialog, wxID_ANY, "Plug-ins"), 0, wxLEFT | wxTOP, 10);
    // One row per plug-in, so a user can see which are there (and which are not).
    wxListCtrl* plugIns =
        MakeList(dialog, wxSize(560, 160), {"PlugIn Name", "FileName", "Ver.", "Note"});
    plugIns->SetName("plugins");
    auto* icons = new wxImageList(16, 16);
    icons->Add(wxArtProvider::GetBitmap(wxART_EXECUTABLE_FILE, wxART_LIST, wxSize(16, 16)));
    icons->Add(wxArtProvider::GetBitmap(wxART_NORMAL_FILE, wxART_LIST, wxSize(16, 16)));
    plugIns->AssignImageList(icons, wxIMAGE_LIST_SMALL);
    const auto rows = PlugInAboutRows(DesignerContext()->Registries());
    for (size_t r = 0; r < rows.size(); ++r) {
        const long item = plugIns->InsertItem(static_cast<long>(r), FromUtf8(rows[r].Name),
                                              static_cast<int>(r % 2));
        plugIns->SetItem(item, 1, FromUtf8(rows[r].FileName));
        plugIns->SetItem(item, 2, FromUtf8(rows[r].Version));
        plugIns->SetItem(item, 3, FromUtf8(rows[r].Note));
    }
    FitColumns(*plugIns, rows.empty());
    sizer->Add(plugIns, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);
    sizer->Add(dialog->CreateButtonSizer(wxOK), 0, wxALL | wxALIGN_RIGHT, 10);
    dialog->SetSizerAndFit(sizer);
    TranslateWindow(*dialog, "A");
    return dialog;
}

}  // namespace orvik::ui
