// The connection dialog: the provider chosen among those this build has, the keys every provider
// shares and its own (a file picker where the value is a file, the ODBC data sources offered, the
// password masked), the string as it will be written, and Test Connection with the database's
// answer and its tables.
#pragma once

#include <wx/dialog.h>

#include <map>
#include <string>
#include <vector>

#include "design/ConnectionEditor.h"

class wxChoice;
class wxFlexGridSizer;
class wxPanel;
class wxStaticText;
class wxTextCtrl;
class wxTreeCtrl;

namespace orvik::ui {

class ConnectionDialog : public wxDialog {
  public:
    ConnectionDialog(wxWindow* parent, const std::string& connection);

    // The string as the dialog would write it now.
    std::string Connection() const;
    // Chooses the provider at `index` of the choice (as the user would).
    void ChooseProvider(int index);
    // Sets the field of `key` (as typing would).
    void SetValue(const std::string& key, const std::string& value);
    // Test Connection: the answer shows under the fields, the tables in the browser.
    void Test();
    wxString Answer() const;
    wxTreeCtrl& Tables() { return *tables_; }
    const std::vector<design::ConnectionProvider>& Providers() const { return providers_; }

  private:
    void BuildFields();
    void ShowString();

    std::vector<design::ConnectionProvider> providers_;
    int provider_ = 0;
    std::map<std::string, std::string> values_;
    std::map<std::string, wxTextCtrl*> fields_;
    wxChoice* choice_ = nullptr;
    wxPanel* fieldPanel_ = nullptr;
    wxFlexGridSizer* fieldSizer_ = nullptr;
    wxTextCtrl* shown_ = nullptr;
    wxStaticText* answer_ = nullptr;
    wxTreeCtrl* tables_ = nullptr;
};

}  // namespace orvik::ui
