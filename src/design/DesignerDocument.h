// The report one designer window edits, seen as a document: the file it is kept in, whether it has
// changes not yet saved, and the File commands on it. Nothing here talks to the user: the window
// asks (file pickers, "save changes?") and shows what the commands return.
//
// The report itself keeps the path and the modified mark (CReport::CurrentDocPath and Modified),
// because the layers below the designer read and write them too: a save clears the mark, the
// query builder sets it. The document is how the designer reads and changes them, and the one
// place that tells the front end (ModifiedChanged) when the mark moves.
#pragma once

#include <functional>
#include <string>

namespace orvik {
class AppContext;
}

namespace orvik::design {

// The outcome of a File command. On failure `Error` is the text to show the user; it is empty
// when the failure was already reported on the way (a load reports what it reads).
struct DocumentResult {
    bool Done = false;
    std::string Error;
    explicit operator bool() const { return Done; }
};

// The title of the designer window for a report kept at `path` ("Untitled" when it has none).
std::string WindowTitle(const std::string& path, bool modified);

class DesignerDocument {
  public:
    // Reads the report file at `path` into the run's report (emptied first) and shows it;
    // false when it was not read.
    using Loader = std::function<bool(const std::string& path)>;

    // `load` opens files; without it they are read and shown through a report session of
    // `context`. The document tells `context`'s front end when the mark changes.
    explicit DesignerDocument(AppContext& context, Loader load = {});

    // Where the report is kept: the file it came from or was saved to, "New.ovk" (in the program
    // folder) for a new one.
    const std::string& Path() const;
    // True when the report has a file of its own that Save writes to: one it was read from or
    // saved as. A new report has a path but no file yet, so the window asks where it goes.
    bool HasFile() const;
    std::string Title() const { return WindowTitle(Path(), Modified()); }

    bool Modified() const;
    void SetModified(bool modified);
    // True when replacing the report or closing the window would lose changes: the window asks
    // whether to save them first.
    bool NeedsSaving() const { return Modified(); }

    // Catches up with what changed below the designer since last asked (the mark set by the query
    // builder, say): tells the front end of a moved mark. True when the title would change.
    bool Refresh();

    // Each of these replaces the report and drops its unsaved changes; the window has settled
    // them first (NeedsSaving).
    //
    // A new report with one sheet, unmodified.
    DocumentResult New();
    // Reads the report at `path` (a bare name lies in the program folder). A file that cannot be
    // read (missing, empty, damaged) is refused before anything is dropped: the open report
    // stays as it was, changes and all.
    DocumentResult Open(const std::string& path);
    // Lets the report go (the window closes): its objects are destroyed.
    void Close();

    // Writes the report to its path (see Path: a new report goes to the program folder). A
    // failed save leaves the report marked modified.
    DocumentResult Save();
    // Writes the report to `path`, which becomes its file. A failed save changes nothing.
    DocumentResult SaveAs(const std::string& path);

  private:
    // Tells the front end the mark as it stands now when `changed`, or when it differs from
    // what the front end was last told.
    void Tell(bool changed);

    AppContext& context_;
    Loader load_;
    bool told_ = false;
    std::string titledPath_;
};

}  // namespace orvik::design
