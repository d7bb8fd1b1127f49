#include "ui/ConnectionDialog.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/filedlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include <algorithm>

#include "data/ConnectionString.h"
#include "data/OdbcProvider.h"
#include "model/AppContext.h"
#include "ui/DesignerContext.h"
#include "ui/DialogTranslation.h"

namespace orvik::ui {
namespace {

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

ConnectionDialog::ConnectionDialog(wxWindow* parent, const std::string& connection)
    : wxDialog(parent, wxID_ANY, "Connection", wxDefaultPosition, wxSize(760, 560),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      providers_(design::ConnectionProviders()) {
    const design::ConnectionProvider& current = design::ProviderOf(providers_, connection);
    provider_ = static_cast<int>(&current - providers_.data());
    values_ = design::ConnectionValues(current, connection);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(new wxStaticText(this, wxID_ANY, "Provider:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
             8);
    choice_ = new wxChoice(this, wxID_ANY);
    for (const design::ConnectionProvider& provider : providers_)
        choice_->Append(FromUtf8(provider.Caption));
    choice_->SetSelection(provider_);
    choice_->Bind(wxEVT_CHOICE,
                  [this](wxCommandEvent&) { ChooseProvider(choice_->GetSelection()); });
    top->Add(choice_, 1);
    sizer->Add(top, 0, wxEXPAND | wxALL, 8);

    auto* middle = new wxBoxSizer(wxHORIZONTAL);
    fieldPanel_ = new wxPanel(this);
    fieldSizer_ = new wxFlexGridSizer(3, 6, 6);
    fieldSizer_->AddGrowableCol(1);
    fieldPanel_->SetSizer(fieldSizer_);
    middle->Add(fieldPanel_, 3, wxEXPAND | wxRIGHT, 8);
    tables_ = new wxTreeCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(220, -1),
                             wxTR_HAS_BUTTONS | wxTR_HIDE_ROOT | wxTR_LINES_AT_ROOT);
    middle->Add(tables_, 2, wxEXPAND);
    sizer->Add(middle, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);

    auto* test = new wxButton(this, kTestButton, "&Test Connection");
    test->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Test(); });
    answer_ = new wxStaticText(this, wxID_ANY, "");
    auto* testRow = new wxBoxSizer(wxHORIZONTAL);
    testRow->Add(test, 0, wxRIGHT, 8);
    testRow->Add(answer_, 1, wxALIGN_CENTER_VERTICAL);
    sizer->Add(testRow, 0, wxEXPAND | wxALL, 8);

    shown_ = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxTE_READONLY);
    sizer->Add(shown_, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    sizer->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 8);
    SetSizer(sizer);
    BuildFields();
    TranslateWindow(*this, "DS");
}

void ConnectionDialog::BuildFields() {
    fieldPanel_->DestroyChildren();
    fields_.clear();
    fieldSizer_->Clear();
    const design::ConnectionProvider& provider = providers_[static_cast<size_t>(provider_)];
    std::vector<std::string> keys(design::kSharedConnectionKeys.begin(),
                                  design::kSharedConnectionKeys.end());
    keys.insert(keys.end(), provider.OwnKeys.begin(), provider.OwnKeys.end());
    for (const std::string& key : keys) {
        fieldSizer_->Add(new wxStaticText(fieldPanel_, wxID_ANY, FromUtf8(key) + ":"), 0,
                         wxALIGN_CENTER_VERTICAL);
        const long style = key == "Password" || key == "Pwd" ? wxTE_PASSWORD : 0;
        wxTextCtrl* field = nullptr;
        if (key == "Data Source" && provider.ListsOdbcSources) {
            // The data sources the driver manager knows, to choose from or to type over.
            auto* combo = new wxComboBox(fieldPanel_, wxID_ANY, FromUtf8(values_[key]));
            for (const std::string& name : InstalledOdbcDataSources())
                combo->Append(FromUtf8(name));
            combo->Bind(wxEVT_TEXT, [this, key, combo](wxCommandEvent&) {
                values_[key] = combo->GetValue().utf8_string();
                ShowString();
            });
            fieldSizer_->Add(combo, 1, wxEXPAND);
        } else {
            field = new wxTextCtrl(fieldPanel_, wxID_ANY, FromUtf8(values_[key]), wxDefaultPosition,
                                   wxDefaultSize, style);
            field->Bind(wxEVT_TEXT, [this, key, field](wxCommandEvent&) {
                values_[key] = field->GetValue().utf8_string();
                ShowString();
            });
            fields_[key] = field;
            fieldSizer_->Add(field, 1, wxEXPAND);
        }
        if (Contains(provider.FileKeys, key) && field) {
            auto* browse =
                new wxButton(fieldPanel_, wxID_ANY, "...", wxDefaultPosition, wxSize(32, -1));
            browse->Bind(wxEVT_BUTTON, [this, field](wxCommandEvent&) {
                wxFileDialog picker(this, "Choose a file", "", field->GetValue());
                if (picker.ShowModal() == wxID_OK) field->SetValue(picker.GetPath());
            });
            fieldSizer_->Add(browse);
        } else {
            fieldSizer_->AddSpacer(1);
        }
    }
    fieldPanel_->Layout();
    ShowString();
}

void ConnectionDialog::ShowString() {
    // What the property will hold, with the password shown as the property bar shows it.
    if (shown_) shown_->ChangeValue(FromUtf8(MaskConnectionSecrets(Connection())));
}

std::string ConnectionDialog::Connection() const {
    return design::BuildConnection(providers_[static_cast<size_t>(provider_)], values_);
}

void ConnectionDialog::ChooseProvider(int index) {
    if (index < 0 || index >= static_cast<int>(providers_.size())) return;
    provider_ = index;
    choice_->SetSelection(index);
    tables_->DeleteAllItems();
    answer_->SetLabel("");
    BuildFields();
}

void ConnectionDialog::SetValue(const std::string& key, const std::string& value) {
    const auto field = fields_.find(key);
    if (field != fields_.end())
        field->second->SetValue(FromUtf8(value));  // the text event stores it
}

void ConnectionDialog::Test() {
    AppContext* context = DesignerContext();
    if (!context) return;
    wxBusyCursor busy;
    const design::ConnectionTest test =
        design::TestConnection(*context, providers_[static_cast<size_t>(provider_)], Connection());
    answer_->SetForegroundColour(test.Connected ? wxColour(0, 110, 0) : wxColour(180, 0, 0));
    answer_->SetLabel(FromUtf8(test.Message));
    tables_->DeleteAllItems();
    const wxTreeItemId root = tables_->AddRoot("");
    for (const auto& [table, columns] : test.Tables) {
        const wxTreeItemId item = tables_->AppendItem(root, FromUtf8(table));
        for (const std::string& column : columns) tables_->AppendItem(item, FromUtf8(column));
    }
    Layout();
}

wxString ConnectionDialog::Answer() const {
    return answer_->GetLabel();
}

}  // namespace orvik::ui
