#include "ui/MainFrame.h"

#include <wx/artprov.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include <filesystem>
#include <map>

#include "app/OrvikApp.h"
#include "core/LanguageTexts.h"
#include "core/Run.h"
#include "core/SettingsStore.h"
#include "design/DesignerDocument.h"
#include "design/EditHistory.h"
#include "design/ExplorerModel.h"
#include "design/ObjectClipboard.h"
#include "design/PageRefresh.h"
#include "design/PdfExport.h"
#include "design/SendMail.h"
#include "model/AppContext.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "plugin/PlugInLoader.h"
#include "render/GridViews.h"
#include "tasks/ReportPage.h"
#include "ui/AboutBox.h"
#include "ui/CatalogBar.h"
#include "ui/DesignerContext.h"
#include "ui/ExplorerPanel.h"
#include "ui/PageView.h"
#include "ui/PropertyBar.h"
#include "ui/SheetGridTable.h"
#include "ui/SheetTabs.h"
#include "ui/SourceEditor.h"

namespace orvik::ui {
namespace {

enum CommandId {
    kSendMail = wxID_HIGHEST + 100,
    kRebuildPage,
    kToggleExplorer,
    kToggleProperties,
    kToggleCatalog,
    kExportPdf,
    kPrintPreview,
};

constexpr const char* kExplorerPane = "Explorer";
constexpr const char* kPropertyPane = "Property";
constexpr const char* kCatalogPane = "Catalog";
constexpr const char* kToolBarPane = "ToolBar";

wxString Utf8(const std::string& text) {
    return wxString::FromUTF8(text.c_str());
}
std::string ToUtf8(const wxString& text) {
    return std::string(text.utf8_str());
}

SettingsStore* Settings() {
    AppContext* context = DesignerContext();
    return context ? &context->Settings() : nullptr;
}

// The menu bar as language translation sees it. Each translation starts from the built-in
// English labels, so switching back to English restores them.
class MenuBarTranslation : public CTranslatableMenu {
  public:
    explicit MenuBarTranslation(wxMenuBar& bar) : bar_(bar) {}
    int TopLevelCount() const override { return static_cast<int>(bar_.GetMenuCount()); }
    void SetTopLevelText(int position, const std::string& text) override {
        bar_.SetMenuLabel(position, Utf8(text));
    }
    int ItemCount(int topLevel) const override {
        return static_cast<int>(bar_.GetMenu(topLevel)->GetMenuItemCount());
    }
    int CommandId(int topLevel, int position) const override {
        const wxMenuItem* item = bar_.GetMenu(topLevel)->FindItemByPosition(position);
        return item && !item->IsSeparator() && !item->IsSubMenu() ? item->GetId() : 0;
    }
    void SetItemText(int topLevel, int position, const std::string& text) override {
        wxMenuItem* item = bar_.GetMenu(topLevel)->FindItemByPosition(position);
        // The accelerator stays whatever the language calls the command.
        const wxString accel = item->GetItemLabel().AfterFirst('\t');
        item->SetItemLabel(Utf8(text) + (accel.empty() ? wxString() : "\t" + accel));
    }

  private:
    wxMenuBar& bar_;
};

struct MenuLabels {
    std::vector<wxString> TopLevel;
    std::map<int, wxString> Items;
};
MenuLabels& BuiltinMenuLabels() {
    static MenuLabels labels;
    return labels;
}

}  // namespace

MainFrame::MainFrame() : wxFrame(nullptr, wxID_ANY, "Orvik", wxDefaultPosition, wxSize(1280, 800)) {
    aui_.SetManagedWindow(this);
    BuildMenus();
    BuildToolBar();
    CreateStatusBar(4);
    const int widths[] = {-1, 160, 120, 120};
    GetStatusBar()->SetStatusWidths(4, widths);
    BuildPanes();
    DragAcceptFiles(true);

    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { NewReport(); }, wxID_NEW);
    Bind(wxEVT_MENU, &MainFrame::OnOpen, this, wxID_OPEN);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { SaveReport(); }, wxID_SAVE);
    Bind(wxEVT_MENU, &MainFrame::OnSaveAs, this, wxID_SAVEAS);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { SendMail(); }, kSendMail);
    Bind(wxEVT_MENU, &MainFrame::OnExportPdf, this, kExportPdf);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { PrintPreview(); }, kPrintPreview);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, wxID_EXIT);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { RebuildPage(); }, kRebuildPage);
    Bind(wxEVT_MENU, &MainFrame::OnRecent, this, wxID_FILE1, wxID_FILE9);
    BindEditCommands();
    Bind(wxEVT_MENU, &MainFrame::OnAbout, this, wxID_ABOUT);
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            if (app_ && !app_->OnAppHelp())
                ShowError(
                    "The documentation could not be shown: it was not found in the "
                    "program folder's doc/ or no browser could be started (xdg-open)");
        },
        wxID_HELP);
    for (const auto& [id, pane] : {std::pair{int(kToggleExplorer), kExplorerPane},
                                   std::pair{int(kToggleProperties), kPropertyPane},
                                   std::pair{int(kToggleCatalog), kCatalogPane}}) {
        const char* name = pane;
        Bind(
            wxEVT_MENU,
            [this, name](wxCommandEvent&) {
                wxAuiPaneInfo& info = aui_.GetPane(name);
                info.Show(!info.IsShown());
                aui_.Update();
            },
            id);
        Bind(
            wxEVT_UPDATE_UI,
            [this, name](wxUpdateUIEvent& event) { event.Check(aui_.GetPane(name).IsShown()); },
            id);
    }
    Bind(wxEVT_CLOSE_WINDOW, &MainFrame::OnClose, this);
    Bind(wxEVT_DROP_FILES, &MainFrame::OnDropFiles, this);
    Bind(wxEVT_IDLE, &MainFrame::OnIdle, this);
    UpdateTitle();
}

MainFrame::~MainFrame() {
    aui_.UnInit();
}

void MainFrame::AttachApp(COrvikApp* app) {
    app_ = app;
    if (AppContext* context = DesignerContext()) {
        // Files open the way start-up opened the first one: sheets run, page built.
        document_ = std::make_unique<design::DesignerDocument>(
            *context, [this](const std::string& path) { return app_ && app_->OpenDocument(path); });
    }
    if (AppContext* context = DesignerContext()) {
        history_ = std::make_unique<design::EditHistory>(*context,
                                                         context->Registries().HtmlFolder + "undo");
        history_->Start();
        const auto record = [this](const std::string& what) {
            if (history_) history_->Record(what);
        };
        properties_->OnEdited = record;
        sheetTabs_->OnDrop = [this, context](COvInfoSheet& sheet, const std::string& text,
                                             char axis) {
            return catalog_->Drop(text, sheet.GetDS(context->Report().DataSources), axis);
        };
        catalog_->OnChanged = [this, context](const std::string& what) {
            if (history_) history_->Record(what);
            HTMLRefresh(*context);
        };
        properties_->SetDialogEditor([this](wxWindow* parent, unsigned editorId, wxString& text) {
            return EditPropertyText(parent, editorId, text, properties_->Kind(),
                                    properties_->Object());
        });
        explorer_->OnEdited = record;
    }
    RestoreLayout();
    LoadRecentFiles();
    Retranslate();
    SyncSheetTabs();
    UpdateTitle();
    // Whatever the load said on its way ("Connecting ...") is over now.
    SetPaneText(0, "");
}

CReport* MainFrame::Report() const {
    AppContext* context = DesignerContext();
    return context ? &context->Report() : nullptr;
}

void MainFrame::BuildMenus() {
    auto* file = new wxMenu;
    file->Append(wxID_NEW, "&New\tCtrl+N");
    file->Append(wxID_OPEN, "&Open...\tCtrl+O");
    file->Append(wxID_SAVE, "&Save\tCtrl+S");
    file->Append(wxID_SAVEAS, "Save &As...\tCtrl+Shift+S");
    file->AppendSeparator();
    file->Append(kSendMail, "Send &Mail...");
    file->Append(kExportPdf, "Export &PDF...");
    file->Append(kPrintPreview, "Print Pre&view\tCtrl+Shift+P");
    file->AppendSeparator();
    recent_.UseMenu(file);
    file->AppendSeparator();
    file->Append(wxID_EXIT, "E&xit\tCtrl+Q");

    wxMenu* edit = BuildEditMenu();

    auto* view = new wxMenu;
    view->Append(kRebuildPage, "&Refresh Page\tF5");
    view->AppendSeparator();
    view->AppendCheckItem(kToggleExplorer, "Object &Explorer");
    view->AppendCheckItem(kToggleProperties, "&Property");
    view->AppendCheckItem(kToggleCatalog, "OLAP &Catalog");

    auto* help = new wxMenu;
    help->Append(wxID_HELP, "&Help\tF1");
    help->Append(wxID_ABOUT, "&About Orvik");

    auto* bar = new wxMenuBar;
    bar->Append(file, "&File");
    bar->Append(edit, "&Edit");
    bar->Append(view, "&View");
    bar->Append(help, "&Help");
    SetMenuBar(bar);

    MenuLabels& labels = BuiltinMenuLabels();
    labels.TopLevel.clear();
    labels.Items.clear();
    for (size_t top = 0; top < bar->GetMenuCount(); ++top) {
        labels.TopLevel.push_back(bar->GetMenuLabel(top));
        for (const wxMenuItem* item : bar->GetMenu(top)->GetMenuItems()) {
            if (!item->IsSeparator()) labels.Items[item->GetId()] = item->GetItemLabel();
        }
    }
}

void MainFrame::BuildToolBar() {
    toolBar_ = new wxToolBar(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                             wxTB_FLAT | wxTB_NODIVIDER | wxTB_HORIZONTAL);
    const wxSize size(22, 22);
    toolBar_->AddTool(wxID_NEW, "New", wxArtProvider::GetBitmap(wxART_NEW, wxART_TOOLBAR, size),
                      "New report");
    toolBar_->AddTool(wxID_OPEN, "Open",
                      wxArtProvider::GetBitmap(wxART_FILE_OPEN, wxART_TOOLBAR, size),
                      "Open a report");
    toolBar_->AddTool(wxID_SAVE, "Save",
                      wxArtProvider::GetBitmap(wxART_FILE_SAVE, wxART_TOOLBAR, size),
                      "Save the report");
    toolBar_->AddSeparator();
    toolBar_->AddTool(kRebuildPage, "Refresh",
                      wxArtProvider::GetBitmap(wxART_REDO, wxART_TOOLBAR, size),
                      "Run the data sources again and rebuild the page (F5)");
    toolBar_->Realize();
}

void MainFrame::BuildPanes() {
    explorer_ = new ExplorerPanel(this);
    explorer_->OnPageSelected = [this] { tabs_->SetSelection(0); };
    properties_ = new PropertyBar(this);
    tabs_ = new wxAuiNotebook(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                              wxAUI_NB_TOP | wxAUI_NB_TAB_MOVE | wxAUI_NB_SCROLL_BUTTONS);
    page_ = new PageView(tabs_);
    tabs_->AddPage(page_, "HTML", true);
    sheetTabs_ = std::make_unique<SheetTabs>(*tabs_);

    aui_.AddPane(toolBar_, wxAuiPaneInfo()
                               .Name(kToolBarPane)
                               .Caption("Toolbar")
                               .ToolbarPane()
                               .Top()
                               .LeftDockable(false)
                               .RightDockable(false));
    aui_.AddPane(explorer_, wxAuiPaneInfo()
                                .Name(kExplorerPane)
                                .Caption("Object Explorer")
                                .Left()
                                .Layer(1)
                                .Position(0)
                                .BestSize(320, 300)
                                .CloseButton(true));
    aui_.AddPane(properties_, wxAuiPaneInfo()
                                  .Name(kPropertyPane)
                                  .Caption("Property")
                                  .Left()
                                  .Layer(1)
                                  .Position(1)
                                  .BestSize(320, 420)
                                  .CloseButton(true));
    catalog_ = new CatalogBar(this);
    aui_.AddPane(catalog_, wxAuiPaneInfo()
                               .Name(kCatalogPane)
                               .Caption("OLAP Catalog")
                               .Right()
                               .BestSize(280, 400)
                               .CloseButton(true));
    aui_.AddPane(tabs_, wxAuiPaneInfo().Name("Tabs").CenterPane());
    aui_.Update();
}

void MainFrame::RestoreLayout() {
    SettingsStore* settings = Settings();
    if (!settings) return;
    const std::string whole = settings->GetString("General", "RebarState", "");
    if (!whole.empty()) {
        aui_.LoadPerspective(Utf8(whole), false);
    } else {
        for (const auto& [key, pane] :
             {std::pair{"ExplBarState", kExplorerPane}, std::pair{"PropBarState", kPropertyPane},
              std::pair{"BarState", kToolBarPane}}) {
            const std::string state = settings->GetString("General", key, "");
            if (!state.empty()) aui_.LoadPaneInfo(Utf8(state), aui_.GetPane(pane));
        }
    }
    // The captions follow the language, not what was saved.
    aui_.GetPane(kExplorerPane).Caption(Utf8(UiText(1301)));
    aui_.GetPane(kPropertyPane).Caption(Utf8(UiText(1300)));
    aui_.Update();
    int x = 0, y = 0, width = 0, height = 0, maximized = 1;
    const std::string rect = settings->GetString("General", "WindowRect", "");
    if (std::sscanf(rect.c_str(), "%d,%d,%d,%d,%d", &x, &y, &width, &height, &maximized) == 5 &&
        width >= 320 && height >= 240) {
        SetSize(x, y, width, height);
        if (maximized) Maximize();
    } else {
        Maximize();
    }
}

void MainFrame::SaveLayout() {
    SettingsStore* settings = Settings();
    if (!settings) return;
    settings->WriteString("General", "RebarState", ToUtf8(aui_.SavePerspective()));
    settings->WriteString("General", "ExplBarState",
                          ToUtf8(aui_.SavePaneInfo(aui_.GetPane(kExplorerPane))));
    settings->WriteString("General", "PropBarState",
                          ToUtf8(aui_.SavePaneInfo(aui_.GetPane(kPropertyPane))));
    settings->WriteString("General", "BarState",
                          ToUtf8(aui_.SavePaneInfo(aui_.GetPane(kToolBarPane))));
    const wxRect rect = IsMaximized() ? GetRect() : GetScreenRect();
    settings->WriteString("General", "WindowRect",
                          std::to_string(rect.x) + "," + std::to_string(rect.y) + "," +
                              std::to_string(rect.width) + "," + std::to_string(rect.height) + "," +
                              (IsMaximized() ? "1" : "0"));
}

void MainFrame::LoadRecentFiles() {
    SettingsStore* settings = Settings();
    if (!settings) return;
    // Oldest first, so the newest ends on top.
    for (int n = 4; n >= 1; --n) {
        const std::string path =
            settings->GetString("Recent File List", "File" + std::to_string(n), "");
        if (!path.empty()) recent_.AddFileToHistory(Utf8(path));
    }
}

void MainFrame::SaveRecentFiles() {
    SettingsStore* settings = Settings();
    if (!settings) return;
    for (size_t n = 0; n < 4; ++n) {
        settings->WriteString("Recent File List", "File" + std::to_string(n + 1),
                              n < recent_.GetCount() ? ToUtf8(recent_.GetHistoryFile(n)) : "");
    }
}

void MainFrame::RememberRecent(const std::string& path) {
    if (path.empty()) return;
    recent_.AddFileToHistory(Utf8(path));
    SaveRecentFiles();
}

// --- front-end requests ----------------------------------------------------------------------

void MainFrame::ShowProperties(ObjectKind kind, COvInfoObject* object) {
    properties_->ShowObject(kind, object);
    // The catalog bar follows the data source being edited.
    if (kind == ObjectKind::DataSource) catalog_->ShowSource(static_cast<COvInfoDS*>(object));
}

void MainFrame::ShowSettings() {
    properties_->ShowSettings();
}

void MainFrame::RebuildExplorer() {
    explorer_->Rebuild();
}

void MainFrame::SetExplorerItemText(void* item, const std::string& text) {
    if (item) explorer_->SetItemText(wxTreeItemId(item), Utf8(text));
}

void MainFrame::CreateSheetTab(COvInfoSheet& sheet) {
    sheetTabs_->Create(sheet);
}

void MainFrame::ActivateSheet(COvInfoSheet& sheet) {
    const int index = SheetTabIndex(sheet);
    if (index >= 0) tabs_->SetSelection(index);
}

void MainFrame::ShowPage(const std::string& path) {
    SyncSheetTabs();
    sheetTabs_->RefreshAll();
    page_->ShowFile(path);
}

void MainFrame::SheetRenamed(COvInfoSheet& sheet) {
    sheetTabs_->Renamed(sheet);
}

void MainFrame::SheetRefreshed(COvInfoSheet& sheet) {
    sheetTabs_->Refresh(sheet);
    SetPaneText(0, "");
}

void MainFrame::SheetRowsArriving(COvInfoSheet& sheet, long rowsSoFar, long rowsInAll) {
    // The fill goes on after this returns, so the window is painted now, not when idle: the
    // first screen of a long result is there while the rest is still being read.
    wxGrid* grid = SheetGrid(sheet);
    if (grid && tabs_->GetCurrentPage() == grid) {
        RefreshSheetGrid(*grid);
        grid->Update();
    }
    SetPaneText(0, "Reading " + sheet.Name.Value + ": " + std::to_string(rowsSoFar) + " of " +
                       std::to_string(rowsInAll) + " rows");
}

void MainFrame::ReplaceSheetView(COvInfoSheet& sheet) {
    sheetTabs_->Replace(sheet);
}

void MainFrame::RemoveSheetView(COvInfoSheet& sheet) {
    sheetTabs_->Remove(sheet);
}

void MainFrame::CloseSheetTabs() {
    sheetTabs_->CloseAll();
}

void MainFrame::SyncSheetTabs() {
    if (CReport* report = Report()) sheetTabs_->Sync(*report);
}

wxGrid* MainFrame::SheetGrid(const COvInfoSheet& sheet) const {
    return sheetTabs_->Grid(sheet);
}

int MainFrame::SheetTabIndex(const COvInfoSheet& sheet) const {
    return sheetTabs_->Index(sheet);
}

void MainFrame::SetPaneText(int pane, const std::string& text) {
    if (pane < 0 || pane >= GetStatusBar()->GetFieldsCount()) return;
    SetStatusText(Utf8(text), pane);
    GetStatusBar()->Update();
}

void MainFrame::UpdateTitle() {
    SetTitle(Utf8(document_ ? document_->Title() : design::WindowTitle("", false)));
}

void MainFrame::OnIdle(wxIdleEvent& event) {
    // Many edits mark the report modified deep in the core; the title catches up when idle.
    if (document_ && document_->Refresh()) UpdateTitle();
    event.Skip();
}

void MainFrame::Retranslate() {
    wxMenuBar* bar = GetMenuBar();
    const MenuLabels& labels = BuiltinMenuLabels();
    for (size_t top = 0; top < bar->GetMenuCount() && top < labels.TopLevel.size(); ++top) {
        bar->SetMenuLabel(top, labels.TopLevel[top]);
        for (wxMenuItem* item : bar->GetMenu(top)->GetMenuItems()) {
            if (auto found = labels.Items.find(item->GetId()); found != labels.Items.end())
                item->SetItemLabel(found->second);
        }
    }
    if (AppContext* context = DesignerContext()) {
        MenuBarTranslation translation(*bar);
        context->Language().TranslateMenu(translation, "M");
    }
    aui_.GetPane(kExplorerPane).Caption(Utf8(UiText(1301)));
    aui_.GetPane(kPropertyPane).Caption(Utf8(UiText(1300)));
    aui_.Update();
    tabs_->SetPageText(0, Utf8(UiText(1310)));
    explorer_->Rebuild();
    properties_->Refill();
    bar->Refresh();
}

// --- commands ----------------------------------------------------------------------------------

bool MainFrame::SettleUnsavedChanges() {
    AppContext* context = DesignerContext();
    if (!document_ || !context || !document_->NeedsSaving()) return true;
    // Asked through the front end, which tests answer in place of a person. Cancel (or Escape,
    // or closing the question) leaves everything as it was.
    const MessageBoxResult answer =
        ShowMessage(*context, UiText(0x533), UiText(0x534), MessageBoxButtons::YesNoCancel,
                    MessageBoxIcon::Question);
    if (answer == MessageBoxResult::Cancel) return false;
    if (answer != MessageBoxResult::Yes) return true;
    const design::DocumentResult saved = document_->Save();
    ShowError(saved.Error);
    return saved.Done;
}

void MainFrame::ShowError(const std::string& text) {
    AppContext* context = DesignerContext();
    if (context && !text.empty())
        ShowMessage(*context, text, {}, MessageBoxButtons::Ok, MessageBoxIcon::Error);
}

void MainFrame::NewReport() {
    if (!document_) return;
    CloseSheetTabs();
    if (!SettleUnsavedChanges()) {
        SyncSheetTabs();
        return;
    }
    wxBusyCursor busy;
    document_->New();
    if (history_) history_->Start();
    SyncSheetTabs();
    explorer_->RebuildForAnotherReport();
    HTMLRefresh(*DesignerContext());
    UpdateTitle();
}

bool MainFrame::OpenReport(const std::string& path) {
    if (!document_ || !app_) return false;
    CloseSheetTabs();
    if (!SettleUnsavedChanges()) {
        // The open report stays (cancelled, or its save failed); its tabs come back.
        SyncSheetTabs();
        return false;
    }
    wxBusyCursor busy;
    SetPaneText(0, "Opening " + path);
    const design::DocumentResult opened = document_->Open(path);
    ShowError(opened.Error);
    SyncSheetTabs();
    explorer_->RebuildForAnotherReport();
    if (opened) RememberRecent(document_->Path());
    if (history_) history_->Start();
    SetPaneText(0, opened ? "" : "The report could not be opened");
    UpdateTitle();
    return opened.Done;
}

bool MainFrame::SaveReport() {
    if (!document_) return false;
    if (!document_->HasFile()) {
        wxCommandEvent event;
        OnSaveAs(event);
        return !document_->Modified();
    }
    const design::DocumentResult saved = document_->Save();
    ShowError(saved.Error);
    UpdateTitle();
    return saved.Done;
}

bool MainFrame::SaveReportAs(const std::string& path) {
    if (!document_) return false;
    const design::DocumentResult saved = document_->SaveAs(path);
    if (!saved) {
        ShowError(saved.Error);
        return false;
    }
    RememberRecent(path);
    UpdateTitle();
    return true;
}

void MainFrame::RebuildPage() {
    CReport* report = Report();
    if (!report) return;
    wxBusyCursor busy;
    SetPaneText(0, "Running the data sources...");
    design::RebuildPage(*DesignerContext());
    if (report->ReportObject) report->ReportObject->ShowProp(DesignerContext()->Front());
    SetPaneText(0, "");
}

bool MainFrame::ExportPdf(const std::string& path) {
    if (!Report()) return false;
    wxBusyCursor busy;
    SetPaneText(0, "Printing the page to PDF...");
    const std::string error = design::ExportPagePdf(*DesignerContext(), path);
    ShowError(error);
    SetPaneText(0, error.empty() ? "The page was written to " + path : "");
    return error.empty();
}

void MainFrame::OnExportPdf(wxCommandEvent&) {
    if (!Report()) return;
    const std::filesystem::path report(document_ ? document_->Path() : std::string());
    const std::string name = (report.stem().empty() ? "Orvik" : report.stem().string()) + ".pdf";
    wxFileDialog dialog(this, "Export PDF", Utf8(report.parent_path().string()), Utf8(name),
                        "PDF documents (*.pdf)|*.pdf", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() == wxID_OK) ExportPdf(ToUtf8(dialog.GetPath()));
}

void MainFrame::PrintPreview() {
    if (!Report()) return;
    wxBusyCursor busy;
    SetPaneText(0, "Printing the page to PDF...");
    std::string failure;
    const std::string printed = design::PrintPageToPdf(*DesignerContext(), failure);
    SetPaneText(0, "");
    if (printed.empty()) return ShowError(failure);
    // The desktop's PDF viewer shows the pages as they will print, and prints them.
    if (!COrvikApp::OpenWithDesktop(printed))
        ShowError("No viewer could be started for " + printed + " (xdg-open)");
}

void MainFrame::SendMail() {
    CReport* report = Report();
    if (!report) return;
    wxBusyCursor busy;
    SetPaneText(0, "Sending the page...");
    const bool sent = design::OnFileSendMail(*DesignerContext());
    SetPaneText(0, sent ? "The page was sent" : "The page was not sent");
}

void MainFrame::OnOpen(wxCommandEvent&) {
    wxFileDialog dialog(this, "Open Report", "", "", "Orvik18 Files (*.ovk)|*.ovk|All Files (*)|*",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK) OpenReport(ToUtf8(dialog.GetPath()));
}

void MainFrame::OnSaveAs(wxCommandEvent&) {
    const std::filesystem::path current = document_ ? document_->Path() : "";
    wxFileDialog dialog(this, "Save Report As", Utf8(current.parent_path().string()),
                        Utf8(current.filename().string()), "Orvik18 Files (*.ovk)|*.ovk",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return;
    std::string path = ToUtf8(dialog.GetPath());
    if (std::filesystem::path(path).extension().empty()) path += ".ovk";
    SaveReportAs(path);
}

void MainFrame::OnRecent(wxCommandEvent& event) {
    const size_t index = static_cast<size_t>(event.GetId() - wxID_FILE1);
    if (index < recent_.GetCount()) {
        const std::string path = ToUtf8(recent_.GetHistoryFile(index));
        if (!OpenReport(path)) {
            recent_.RemoveFileFromHistory(index);
            SaveRecentFiles();
        }
    }
}

void MainFrame::OnDropFiles(wxDropFilesEvent& event) {
    if (event.GetNumberOfFiles() > 0) OpenReport(ToUtf8(event.GetFiles()[0]));
}

void MainFrame::OnAbout(wxCommandEvent&) {
    wxDialog* about = MakeAboutBox(this);
    about->ShowModal();
    about->Destroy();
}

void MainFrame::OnClose(wxCloseEvent& event) {
    // The tabs go before the sheets they show: a grid painted or focused in between would read a
    // sheet that is gone.
    CloseSheetTabs();
    // Cancel, or a failed save of a modified report, keeps the window open.
    if (!SettleUnsavedChanges() && event.CanVeto()) {
        SyncSheetTabs();
        event.Veto();
        return;
    }
    if (document_) document_->Close();
    document_.reset();
    SaveLayout();
    properties_->Clear();
    if (app_) {
        app_->Finish();
        app_ = nullptr;
    }
    Destroy();
}

}  // namespace orvik::ui
