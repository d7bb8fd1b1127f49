// Help > About: the program's version, the libraries it runs on with theirs, and one row per
// plug-in (name, file, version, note), the rows alternating between two icons.
#pragma once

class wxDialog;
class wxWindow;

namespace orvik::ui {

// The about box, not yet shown (the caller shows it modally and destroys it).
wxDialog* MakeAboutBox(wxWindow* parent);

}  // namespace orvik::ui
