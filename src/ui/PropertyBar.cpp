#include "ui/PropertyBar.h"

#include <wx/sizer.h>

namespace orvik::ui {

PropertyBar::PropertyBar(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
    grid_ = new wxPropertyGrid(this, wxID_ANY);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid_, 1, wxEXPAND);
    SetSizer(sizer);
}
void PropertyBar::ShowObject(char, COvInfoObject*) {}
void PropertyBar::ShowSettings() {}
void PropertyBar::Refill() {}
void PropertyBar::Clear() {
    grid_->Clear();
}
bool PropertyBar::CommitValue(const std::string&, const wxVariant&) {
    return false;
}

}  // namespace orvik::ui
