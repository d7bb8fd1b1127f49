// Opening, starting and discarding reports: the File menu's logic without its dialogs. Each of
// these first offers to save a modified report (an unattended run answers No).
#pragma once

#include <string_view>

class CReport;

// Offers to save a modified report, then destroys every object of it.
void ClearDS(CReport& report);

// ClearDS, then starts a new empty report remembering `path` (or the last path given).
void InitOVK(CReport& report, std::string_view path = {});

// A new report named "New.ovk" (in the program folder until saved elsewhere) with one sheet.
void OnFileNew(CReport& report);

// Opens the report file `path` (the path the open dialog returned); returns what SerializeXML
// returned.
int OnFileOpen(CReport& report, std::string_view path);
