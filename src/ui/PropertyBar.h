// The designer's property bar: one object's property list (or the program settings) in a property
// grid, one section per property group, one editor per property chosen by its kind. A committed
// edit is written back into the property as its stored text and then handed to the design layer,
// which carries out what the change means for the rest of the report.
//
// Those consequences may ask the bar to show something else, or add and delete properties, while
// the grid is still inside its own change event; the grid must not be emptied there. So every
// refill asked for during an edit is postponed until the event is over, and what it would show is
// checked to still exist before it is shown.
#pragma once

#include <functional>

#include <wx/panel.h>
#include <wx/propgrid/propgrid.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/ObjectKind.h"
#include "ui/PropertyItems.h"

class COvInfoObject;
class COvInfoProp;

namespace orvik::ui {

class PropertyBar : public wxPanel {
  public:
    // Told after each edit the bar carried out, with the edited property's caption.
    std::function<void(const std::string& what)> OnEdited;

    // An empty bar in `parent`.
    explicit PropertyBar(wxWindow* parent);
    // Leaves any postponed refill undone.
    ~PropertyBar() override;

    // Shows `object`'s properties; `kind` says what it is. A null object empties the bar.
    void ShowObject(ObjectKind kind, COvInfoObject* object);
    // Shows the program settings.
    void ShowSettings();
    // Shows again what is shown, with current captions and values; empties the bar when the
    // object is no longer part of the open report.
    void Refill();
    // Shows nothing.
    void Clear();

    // The grid the properties are shown in.
    wxPropertyGrid* Grid() const { return grid_; }
    // What is shown: Settings, the object's kind, or None when nothing is.
    ObjectKind Kind() const { return kind_; }
    // The object shown (null for the settings and for nothing).
    COvInfoObject* Object() const { return object_; }
    // The properties of what is shown, in list order (empty when nothing is).
    std::vector<COvInfoProp*> ShownList() const;

    // The property an item edits (a reference's target), or null for sections and stale items.
    COvInfoProp* PropertyOf(const wxPGProperty* item) const;
    // The first shown item whose property (or referring property) is named `propertyName`.
    wxPGProperty* ItemFor(const std::string& propertyName) const;

    // Sets the item of property `propertyName` to `value` and commits it exactly as a user's edit
    // is committed (validation, change event, write-back, consequences). False when there is no
    // such editable item or the value does not pass the item's validation.
    bool CommitValue(const std::string& propertyName, const wxVariant& value);

    // Who opens the dialogs of dialog-text properties (none: a plain multi-line editor). Takes
    // effect with the next fill.
    void SetDialogEditor(DialogEditor editor) { dialogEditor_ = std::move(editor); }

  private:
    // A refill asked for while an edit is being handled, carried out after it.
    struct PendingShow {
        ObjectKind Kind = ObjectKind::None;
        COvInfoObject* Object = nullptr;
        unsigned Generation = 0;
    };

    void Show(ObjectKind kind, COvInfoObject* object);
    void Fill();
    void Postpone(ObjectKind kind, COvInfoObject* object);
    void SchedulePostponed();
    void ShowPostponed();
    ItemSources Sources() const;
    void OnChanged(wxPropertyGridEvent& event);
    // Writes `item`'s value back into its property and carries out the consequences.
    void CommitItem(wxPGProperty* item);

    wxPropertyGrid* grid_;
    ObjectKind kind_ = ObjectKind::None;
    COvInfoObject* object_ = nullptr;
    // Item -> the property it edits. Emptied as soon as an edit may have deleted properties, so a
    // stale item can never reach a dead property before the postponed refill replaces it.
    std::map<const wxPGProperty*, COvInfoProp*> properties_;
    // Item -> the kind-15 property it stands in for (only for such items).
    std::map<const wxPGProperty*, COvInfoProp*> referrers_;
    DialogEditor dialogEditor_;
    int editDepth_ = 0;
    bool hasPending_ = false;
    bool showScheduled_ = false;
    PendingShow pending_;
    unsigned generation_ = 0;  // counts fills, so a postponed one overtaken by another is dropped
    unsigned postponed_ = 0;   // counts postponements, to tell whether an edit asked for one
    // The property to select again after a postponed refill (compared only, never followed).
    std::uintptr_t reselect_ = 0;
};

}  // namespace orvik::ui
