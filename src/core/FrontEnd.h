// The one interface through which the core talks to whoever is in front of it: the designer's
// windows, the unattended runner (which writes message boxes to the log) or a test that records
// what was shown. The core never includes a toolkit header. What only the designer's own commands
// tell its windows is the design layer's (design/DesignerWindows.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/ObjectKind.h"

class COvInfoObject;
class COvInfoProp;
class COvInfoSheet;

namespace orvik {

class Run;

enum class MessageBoxButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageBoxIcon { None, Error, Warning, Information, Question };
enum class MessageBoxResult { Ok, Cancel, Yes, No };

class FrontEnd {
  public:
    virtual ~FrontEnd() = default;

    // The front end now serves `run` (it was handed to it at start-up or by SetFrontEnd).
    virtual void AttachedTo(Run& /*run*/) {}

    // Shows a modal message and returns the button the user chose.
    virtual MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                            MessageBoxButtons buttons, MessageBoxIcon icon) = 0;

    // Sets the text of one status-bar pane and repaints it at once.
    virtual void SetPaneText(int /*pane*/, std::string_view /*text*/) {}

    // Shows or clears the busy cursor around long work.
    virtual void SetWaitCursor(bool /*busy*/) {}

    // Fills the property bar with `object`'s properties; `kind` tells what the object is.
    virtual void ShowProperties(ObjectKind /*kind*/, COvInfoObject* /*object*/) {}

    // Fills the property bar with the program settings.
    virtual void ShowSettings() {}

    // The properties the property bar shows now, in its order (the settings when it shows those);
    // empty when it shows nothing or there is no property bar.
    virtual std::vector<COvInfoProp*> ShownPropertyList() { return {}; }

    // Renames an explorer item (`item` is the handle the explorer gave the object).
    virtual void SetExplorerItemText(void* /*item*/, std::string_view /*text*/) {}

    // Rebuilds the explorer tree after the report changed shape.
    virtual void RebuildExplorer() {}

    // Creates the view of a sheet that was loaded or added (its grid and tab).
    virtual void CreateViewDS(COvInfoSheet& /*sheet*/) {}

    // Makes a sheet's tab the current one.
    virtual void ActivateSheet(COvInfoSheet& /*sheet*/) {}

    // Retitles menus, status panes, bars and the explorer after the language changed.
    virtual void LanguageChanged() {}

    // Shows the page tab with the page file at `path` (just written).
    virtual void ShowPage(const std::string& /*path*/) {}

    // A sheet's grid is being filled: `rowsSoFar` of `rowsInAll` result rows are in. Said once the
    // first screenful is in and then every few ten thousand rows, so a window can show the first
    // rows (and the progress) of a long result at once instead of after the last one.
    virtual void SheetRowsArriving(COvInfoSheet& /*sheet*/, long /*rowsSoFar*/,
                                   long /*rowsInAll*/) {}
};

}  // namespace orvik
