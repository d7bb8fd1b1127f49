// Opening, starting and discarding reports: the File menu's logic without its dialogs. Each of
// these first offers to save a modified report (an unattended run answers No); when the user
// asked for the save and it failed, the report is kept and the operation abandoned.
#pragma once

#include <string_view>

class CReport;
namespace orvik {
class Run;
}

// Offers to save a modified report, then destroys every object of it. Returns false, leaving the
// report as it was (still marked modified), when the user chose to save and the save failed.
bool ClearDS(orvik::Run& run);

// ClearDS, then starts a new empty report remembering `path` (or the last path given). False
// when ClearDS kept the old report.
bool InitOVK(orvik::Run& run, std::string_view path = {});

// A new report named "New.ovk" (in the program folder until saved elsewhere) with one sheet.
// False when the open report was kept.
bool OnFileNew(orvik::Run& run);

// Opens the report file `path` (the path the open dialog returned); returns what SerializeXML
// returned, or 0 when the open report was kept.
int OnFileOpen(orvik::Run& run, std::string_view path);
