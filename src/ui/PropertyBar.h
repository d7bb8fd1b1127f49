// Placeholder until the property grid lands.
#pragma once

#include <wx/panel.h>
#include <wx/propgrid/propgrid.h>

#include <string>

class COvInfoObject;

namespace orvik::ui {

class PropertyBar : public wxPanel {
  public:
    explicit PropertyBar(wxWindow* parent);
    void ShowObject(char letter, COvInfoObject* object);
    void ShowSettings();
    void Refill();
    void Clear();
    wxPropertyGrid* Grid() const { return grid_; }
    bool CommitValue(const std::string& propertyName, const wxVariant& value);

  private:
    wxPropertyGrid* grid_;
};

}  // namespace orvik::ui
