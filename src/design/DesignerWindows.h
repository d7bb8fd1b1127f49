// The designer's half of the front end: what only the designer's own commands (edits, removals,
// the document) tell its windows. The core's front end keeps what any run may say (messages,
// status, progress) and what the report's lower layers still raise while it is edited.
#pragma once

class COvInfoSheet;

namespace orvik {
class Run;
}

namespace orvik::design {

class DesignerWindows {
  public:
    virtual ~DesignerWindows() = default;

    // A sheet was renamed: its tab takes the new name.
    virtual void SheetRenamed(COvInfoSheet& /*sheet*/) {}
    // A sheet's grid was refilled (its data source ran again): the window shows the new rows.
    virtual void SheetRefreshed(COvInfoSheet& /*sheet*/) {}
    // A sheet's output type changed: its view is made anew in the same tab position.
    virtual void ReplaceSheetView(COvInfoSheet& /*sheet*/) {}
    // A sheet is about to be deleted: its tab and view go.
    virtual void RemoveSheetView(COvInfoSheet& /*sheet*/) {}
    // The report's modified mark changed (the title shows it).
    virtual void ModifiedChanged(bool /*modified*/) {}
};

// The designer windows `run`'s front end has, or windows that show nothing when it has none (an
// unattended run, a server's request).
DesignerWindows& WindowsOf(Run& run);

}  // namespace orvik::design
