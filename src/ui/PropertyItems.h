// The property bar's items: which grid editor a property gets for its kind, what the editor shows
// for the property's stored text, and what text an edited item stands for. The stored encodings
// themselves belong to the model (model/PropertyEncoding.h); this file only moves values between
// those texts and the grid's own value types.
#pragma once

#include <wx/propgrid/advprops.h>
#include <wx/propgrid/props.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class COvInfoProp;
class COvCombos;

namespace orvik::ui {

// Opens the editor routine `editorId` (a dialog-text property's ComboId) on `text`; true when the
// user accepted, with `text` holding the result; false leaves the value as it was.
using DialogEditor = std::function<bool(wxWindow* parent, unsigned editorId, wxString& text)>;

// What items need besides the property: the value-list entries, the program folder (with its
// trailing "/") that relative file and folder values sit in, and the dialog opener for dialog
// texts (none: a plain multi-line editor).
struct ItemSources {
    const std::vector<std::unique_ptr<COvCombos>>* Entries = nullptr;
    std::string ProgramFolder;
    DialogEditor Dialog;
};

// A time of day typed as "H:MM" or "H:MM:SS", as "HH:MM:SS"; nullopt when it is no valid time.
std::optional<std::string> NormalisedTime(const wxString& text);

// A text item that accepts only a time of day and keeps it as "HH:MM:SS".
class TimeProperty : public wxStringProperty {
  public:
    // An item showing `value` (already in the stored form, or empty).
    TimeProperty(const wxString& label, const wxString& name, const wxString& value);
    // Refuses anything but a time of day and rewrites what it accepts into its stored form.
    bool ValidateValue(wxVariant& value, wxPGValidationInfo& info) const override;
};

// A long-text item whose button opens a multi-line editor, or the editor the bar was given for
// the property.
class DialogTextProperty : public wxLongStringProperty {
  public:
    // `editorId` is what the editor is told; without `editor` the plain multi-line editor opens.
    DialogTextProperty(const wxString& label, const wxString& name, unsigned editorId,
                       DialogEditor editor);

  protected:
    // Opens the editor on `value`; true (with `value` replaced) when the user accepted.
    bool DisplayEditorDialog(wxPropertyGrid* grid, wxVariant& value) override;

  private:
    unsigned editorId_;
    DialogEditor editor_;
};

// A new grid item that edits `prop` (already resolved from a reference) by its kind, showing its
// current value. The caller appends it to a grid and then makes it read-only or masked.
wxPGProperty* MakePropertyItem(const COvInfoProp& prop, const wxString& label, const wxString& name,
                               const ItemSources& sources);

// Sets `item` (made by MakePropertyItem for `prop`) to show `prop`'s current value again.
void ShowStoredValue(wxPGProperty& item, const COvInfoProp& prop, const ItemSources& sources);

// `value` as the list item of `prop` takes it: a text naming an entry by its caption or by its
// stored name becomes the entry's position; any other value is returned as it is.
wxVariant ListItemValue(const COvInfoProp& prop, const wxVariant& value,
                        const ItemSources& sources);

// The text `item`'s value stands for, in the form the model's edit rules take in (a list shows
// the entry's caption, a path is absolute); nullopt when the item holds nothing storable.
std::optional<std::string> EditedText(const COvInfoProp& prop, const wxPGProperty& item);

}  // namespace orvik::ui
