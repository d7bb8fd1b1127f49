// The run the designer's windows show. The designer is one of the program's edges: its windows
// are made by the toolkit, which passes nothing of ours to them, so they find the run here. The
// front end of a designer window sets it when a run takes the front end (WxFrontEnd::AttachedTo);
// nothing below the windows reads it, they get the run as an argument.
#pragma once

#include <string>

namespace orvik {
class AppContext;
}

namespace orvik::ui {

// The designer's run; null before one has started.
AppContext* DesignerContext();
void SetDesignerContext(AppContext* context);

// The text `id` in the designer run's language (built-in English before a run has started).
std::string UiText(int id);

}  // namespace orvik::ui
