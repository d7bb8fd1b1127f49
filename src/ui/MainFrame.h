// The designer's main window: the report explorer and the property bar docked beside a notebook
// that holds the page tab and one tab per sheet, with the menus, toolbar and a four-pane status
// bar. The window keeps no report state of its own: it shows the open report of the application
// context, asks the user what the design layer's document and commands need to know (file names,
// "save changes?") and shows what they answer; the front end (WxFrontEnd) routes the core's
// requests here.
#pragma once

#include <wx/aui/aui.h>
#include <wx/filehistory.h>
#include <wx/frame.h>
#include <wx/grid.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ObjectKind.h"

class COrvikApp;
class COvInfoObject;
class COvInfoSheet;
class CReport;

namespace orvik::design {
class DesignerDocument;
class EditHistory;
struct ObjectSnapshot;
}  // namespace orvik::design

namespace orvik::ui {

class CatalogBar;
class ExplorerPanel;
class PageView;
class PropertyBar;
class SheetTabs;

class MainFrame : public wxFrame {
  public:
    MainFrame();
    ~MainFrame() override;

    // The application whose report the window shows, once start-up has built its context: the
    // window takes its saved layout, recent files and language from it.
    void AttachApp(COrvikApp* app);

    // --- what the front end asks of the window ---
    void ShowProperties(ObjectKind kind, COvInfoObject* object);
    void ShowSettings();
    void RebuildExplorer();
    void SetExplorerItemText(void* item, const std::string& text);
    void CreateSheetTab(COvInfoSheet& sheet);
    void ActivateSheet(COvInfoSheet& sheet);
    void ShowPage(const std::string& path);
    void SheetRenamed(COvInfoSheet& sheet);
    void SheetRefreshed(COvInfoSheet& sheet);
    void SheetRowsArriving(COvInfoSheet& sheet, long rowsSoFar, long rowsInAll);
    void ReplaceSheetView(COvInfoSheet& sheet);
    void RemoveSheetView(COvInfoSheet& sheet);
    void SetPaneText(int pane, const std::string& text);
    void UpdateTitle();
    // Retitles menus, toolbar, bars, status panes, the explorer and the property bar.
    void Retranslate();

    // --- the File and View commands, callable without their file pickers ---
    // Starts a new report (offering to save the open one first).
    void NewReport();
    // Opens the report at `path` (offering to save the open one first); false when it was not
    // opened, and then the open report is still there.
    bool OpenReport(const std::string& path);
    // Saves to the report's own path (asking for one when it has none); false when not saved.
    bool SaveReport();
    // Saves to `path`; false when not saved.
    bool SaveReportAs(const std::string& path);
    // Edit > Undo and Redo: the report as it was before the last edit, or after the one undone.
    // False when there was nothing to do.
    bool Undo();
    bool Redo();
    // Edit > Copy, Cut and Paste of the object selected in the explorer; false when nothing was
    // done (no object of a kind that copies, nothing to paste).
    bool CopyObject(bool cut);
    bool PasteObject();
    // Runs every data source again and rebuilds the page (F5).
    void RebuildPage();
    // Mails the page to the addresses of the program settings.
    void SendMail();
    // File > Export PDF without its file dialog: the page printed to `path`; false (shown) when
    // it was not written.
    bool ExportPdf(const std::string& path);
    // File > Print Preview: the page printed to PDF and opened in the desktop's viewer.
    void PrintPreview();

    ExplorerPanel& Explorer() { return *explorer_; }
    PropertyBar& Properties() { return *properties_; }
    wxAuiNotebook& Tabs() { return *tabs_; }
    PageView& Page() { return *page_; }
    CatalogBar& Catalog() { return *catalog_; }
    // The grid of `sheet`'s tab (null when it has none).
    wxGrid* SheetGrid(const COvInfoSheet& sheet) const;
    // The tab index of `sheet` (-1 when it has none).
    int SheetTabIndex(const COvInfoSheet& sheet) const;

    // Removes every sheet tab (before the report's sheets are destroyed).
    void CloseSheetTabs();

    SheetTabs& Sheets() { return *sheetTabs_; }

  private:
    CReport* Report() const;
    // Asks whether to save a modified report before it goes, and saves it when told to. False
    // when the user cancelled or the save failed (said so): the report must stay.
    bool SettleUnsavedChanges();
    // Shows the error text of a File command (nothing when it is empty: already said).
    void ShowError(const std::string& text);
    void BuildMenus();
    void BuildToolBar();
    void BuildPanes();
    void RestoreLayout();
    void SaveLayout();
    void LoadRecentFiles();
    void SaveRecentFiles();
    void RememberRecent(const std::string& path);
    // Makes sure every sheet of the report has its tab and no tab outlives its sheet.
    void SyncSheetTabs();

    void OnOpen(wxCommandEvent&);
    void OnExportPdf(wxCommandEvent& event);
    void OnSaveAs(wxCommandEvent&);
    void OnRecent(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnDropFiles(wxDropFilesEvent& event);
    void OnIdle(wxIdleEvent& event);
    // The Edit menu (MainFrameEdit.cpp): undo and redo, objects cut, copied and pasted, the
    // page layout.
    wxMenu* BuildEditMenu();
    void BindEditCommands();
    void OnUndoRedo(wxCommandEvent& event);
    void OnClipboard(wxCommandEvent& event);
    // After Undo or Redo put another state of the report in place: tabs, tree and title follow.
    bool ShowRestored(bool restored);
    void OnAbout(wxCommandEvent&);

    COrvikApp* app_ = nullptr;
    wxAuiManager aui_;
    ExplorerPanel* explorer_ = nullptr;
    PropertyBar* properties_ = nullptr;
    wxAuiNotebook* tabs_ = nullptr;
    PageView* page_ = nullptr;
    CatalogBar* catalog_ = nullptr;
    wxToolBar* toolBar_ = nullptr;
    wxFileHistory recent_{4};
    std::unique_ptr<SheetTabs> sheetTabs_;
    // The report the window edits; there from AttachApp until the window closes.
    std::unique_ptr<design::DesignerDocument> document_;
    std::unique_ptr<design::EditHistory> history_;
    // The object last cut or copied, as it was then.
    std::unique_ptr<design::ObjectSnapshot> clipboard_;
};

}  // namespace orvik::ui
