// What a report plug-in may call in the program: registering its types and properties, reading
// the open report (sheets, their data sources and grids, any object's property), parameter
// substitution and formulas, the log and the status bar. These are the only symbols the core
// library promises to plug-ins; a plug-in is linked against an interface library that holds
// nothing else, so reaching past this header fails at link time rather than at a user's site.
//
// The objects are opaque here: a plug-in holds pointers it was handed and asks through these
// functions. Strings are UTF-8. Everything runs on the program's one thread, synchronously.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#if defined(__GNUC__)
#define ORVIK_API __attribute__((visibility("default")))
#else
#define ORVIK_API
#endif

class COvCombos;
class COvInfoAct;
class COvInfoDS;
class COvInfoProp;
class COvInfoSheet;
class CGridView;

// What a sheet shows its result in: the program's grid, or a view a plug-in made for a sheet of
// its view type. The sheet owns its view and deletes it through this class, so a plug-in's view
// lives exactly as long as the sheet shows it.
class ORVIK_API CSheetView {
  public:
    virtual ~CSheetView() = default;
};

// Property groups (the property bar's sections) a plug-in's properties may join.
namespace OrvikGroup {
inline constexpr int Task = 1;
inline constexpr int DataSource = 4;
inline constexpr int Report = 6;
inline constexpr int GridHeaders = 8;
inline constexpr int GridData = 9;
}  // namespace OrvikGroup

// Property kinds: how a value is stored and edited.
namespace OrvikKind {
inline constexpr unsigned Boolean = 2;  // "1" / "0"
inline constexpr unsigned Colour = 3;   // "r,g,b"
inline constexpr unsigned List = 4;     // the name of an entry of the property's value list
inline constexpr unsigned Text = 6;     // free text
inline constexpr unsigned Font = 10;    // "face,size,style,charset,"
inline constexpr unsigned File = 11;    // a path
}  // namespace OrvikKind

// --- registration (call from the descriptor's Init; the entries carry the plug-in's index) ------
// Adds a data-source type, a sheet view type, a task type or an export format.
ORVIK_API COvCombos* AddDSNType(const char* name, const char* caption);
ORVIK_API COvCombos* AddListType(const char* name, const char* caption);
ORVIK_API COvCombos* AddExportType(const char* name, const char* caption);
ORVIK_API COvCombos* AddExportFormat(const char* name, const char* caption);
// Makes a new value list and returns its id; adds an entry to a value list.
ORVIK_API int AddUserCombo();
ORVIK_API COvCombos* AddUserComboValue(int listId, const char* name, const char* caption);
// Adds a property group (returns its id) and a property: `owner` is the type entry the property
// belongs to (a COvCombos* from the calls above), `kind` and `flags` as the report format says.
ORVIK_API int AddPropGrpsInfo(const char* caption);
ORVIK_API COvInfoProp* AddProp(const void* owner, int group, const char* name, const char* caption,
                               const char* defaultValue, unsigned flags, unsigned kind,
                               unsigned listId, COvCombos* selected);

// --- the open report ----------------------------------------------------------------------------
// The report's sheets in their order (the report object itself not counted); null past the end.
ORVIK_API int GetSheetCount();
ORVIK_API COvInfoSheet* GetSheetAt(int index);
// The data source a sheet shows, or null.
ORVIK_API COvInfoDS* GetSheetDS(COvInfoSheet* sheet);
// The sheet's grid view once its page part was made, or null (a plug-in's own view is not one).
ORVIK_API CGridView* GetSheetGridView(COvInfoSheet* sheet);
// The value of an object's property `name` (the report format's names: "Name", "Title", "tpVW",
// "OutFile", ...), "" when the object has no such property. For the report's own properties
// (title, parameters' values) pass the report object, GetReportObject().
ORVIK_API std::string GetObjPropS(const COvInfoSheet* sheet, const char* name);
ORVIK_API std::string GetObjPropS(const COvInfoDS* source, const char* name);
ORVIK_API std::string GetObjPropS(const COvInfoAct* step, const char* name);
ORVIK_API COvInfoSheet* GetReportObject();
// The name and value of a property handed to a change notification.
ORVIK_API std::string GetPropName(const COvInfoProp* prop);
ORVIK_API std::string GetPropValue(const COvInfoProp* prop);
// Whether the report's layout page has a placeholder for `sheet`; `width` and `height` get what
// its style attribute sets them to as written ("760px", "50%"), "" when unset or not found.
ORVIK_API bool GetSheetPlaceholderSize(COvInfoSheet* sheet, std::string& width,
                                       std::string& height);
// The HTML work folder pages are written to, with a trailing "/".
ORVIK_API std::string GetHtmlFolder();
// The value of program setting `name`; with `list`, of the property of that name in it.
ORVIK_API std::string GetPropS(std::string_view name,
                               const std::vector<COvInfoProp*>* list = nullptr);

// --- data sources (rows counted from 1, columns from 0, row-header columns first) ---------------
// Connects (and with `runQuery` runs the query); 1 on success, 0 on failure (already reported).
ORVIK_API int OpenConnectDS(COvInfoDS* source, bool runQuery);
ORVIK_API int GetDSRowCount(COvInfoDS* source);
ORVIK_API int GetDSColCount(COvInfoDS* source);
ORVIK_API int GetDSCol2Count(COvInfoDS* source);
ORVIK_API std::string GetDSHeader(COvInfoDS* source, int col);
ORVIK_API std::string GetDSTextRC(COvInfoDS* source, int row, int col);

// --- grids (rows and columns counted from 0, header rows first) ---------------------------------
// Row count, header rows included; -1 when `view` is not a grid view.
ORVIK_API int GV_getRowCount(CGridView* view);
// A cell's text cleaned for a formula (abbreviations and every space taken out).
ORVIK_API std::string GV_getRowCol(CGridView* view, int row, int col);
// Column count, header row count and row-header column count; -1 when `view` is not a grid view.
ORVIK_API int GV_getColCount(CGridView* view);
ORVIK_API int GV_getFixedRowCount(CGridView* view);
ORVIK_API int GV_getFixedColCount(CGridView* view);
// A cell's text as the page shows it; "" outside the grid.
ORVIK_API std::string GV_getCellText(CGridView* view, int row, int col);
// Whether the page right-aligns the cell (numbers are).
ORVIK_API bool GV_isRightAligned(CGridView* view, int row, int col);
// A column's width in pixels as the page lays it out; 0 for a hidden column.
ORVIK_API int GV_getColWidth(CGridView* view, int col);

// --- parameters and formulas --------------------------------------------------------------------
// `text` with the report's parameters and date expressions substituted.
ORVIK_API std::string DSetParam(const char* text);
// The value of a numeric expression formatted with "%f"; "" after a parser error (shown).
ORVIK_API std::string ParseValue(const char* expression);
// The value of a text property with every ~formula~ replaced by its result, evaluated against
// the data source of the sheet `view` shows.
ORVIK_API std::string PGetParsedValue(COvInfoProp* prop, CSheetView* view);

// --- log and status -----------------------------------------------------------------------------
// Appends one line to the program's log.
ORVIK_API void UxSaveLog(const char* message, const char* sourceFile, int sourceLine);
// Reports a failure: in an unattended run to the log and the run's status, otherwise in a box.
ORVIK_API void UxError(const char* message, const char* sourceFile, int sourceLine);
// Sets the text of a status-bar pane of the main window (nothing in unattended runs).
ORVIK_API void SetPaneTextStatBar(int pane, const char* text);
