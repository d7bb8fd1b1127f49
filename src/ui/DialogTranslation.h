// Dialogs translated by the language file, as the program's other texts are: the key alone gives
// the caption, the key followed by a control's id its label ("SH" the source editor, "SH1" its
// Run button, "SH5100" its OK button).
#pragma once

#include <string_view>

class wxDialog;

namespace orvik::ui {

// Control ids of the dialogs' own buttons, fixed so that language files can name them.
enum DialogControl {
    kRunButton = 1,
    kFindButton = 2,
    kInsertButton = 3,
    kTemplateButton = 4,
    kTestButton = 5,
};

void TranslateWindow(wxDialog& dialog, std::string_view key);

}  // namespace orvik::ui
