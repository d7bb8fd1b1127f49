// A sheet's part of the page when something other than the program's table makes it (a chart
// plug-in's view, a data-source kind whose results no grid shows): the export places it in the
// page, and the designer shows it in the sheet's own tab.
#pragma once

#include <optional>
#include <string>

class COvInfoAct;
class COvInfoDS;
class COvInfoSheet;

namespace orvik {

class Run;
class SheetRenderer;

// What makes `sheet`'s part when not the program's table: its view type, or else its source's
// kind; null when neither does.
SheetRenderer* SheetRendererOf(Run& run, const COvInfoSheet& sheet, const COvInfoDS* ds);

// `sheet`'s part as a page of its own, made as an HTML export would make it; nullopt when the
// program's table stands for the sheet or the type refused it.
std::optional<std::string> SheetPartPage(Run& run, COvInfoSheet& sheet);

}  // namespace orvik
