// A descriptor to derive from instead of CRepPlugIn: every operation already answers the way the
// program treats a plug-in that has nothing to say about an object, so a plug-in overrides only
// what it does. A plug-in that adds a sheet view, say, writes Init and ExportSheet and nothing
// more:
//
//     class MyView : public CRepPlugInBase {
//       public:
//         MyView() : CRepPlugInBase("My View", "1.0", "Sheets drawn my way") {}
//         void Init() override { AddListType("MYVIEW", "My View"); }
//         int ExportSheet(COvInfoSheet* sheet, COvInfoAct*, std::string& out) override { ... }
//     };
//     ORVIK_PLUGIN_ENTRY(MyView)
//
// This class adds no member and no operation of its own: the descriptor the program reads is
// CRepPlugIn's, slot for slot, so a plug-in built on it and one derived from CRepPlugIn directly
// are the same to the program.
#pragma once

#include <string>
#include <utility>

#include "orvik/RepPlugIn.h"

class CRepPlugInBase : public CRepPlugIn {
  public:
    // Each result below is what the program does for an object no loaded plug-in takes.

    // Registers nothing: a plug-in that only listens to edits of the program's own types, say.
    void Init() override {}
    // 2: the program renders the sheet itself, so a plug-in that owns only a data-source type
    // still gets the program's table on the page.
    int ExportSheet(COvInfoSheet*, COvInfoAct*, std::string&) override { return 2; }
    void RunTask(const char*, COvInfoAct*) override {}
    void Deliver(COvInfoAct*) override {}
    // 0: the data source failed to connect. A plug-in that registers a data-source type must
    // override this; one that does not is never asked.
    int OpenDataSource(COvInfoSheet*, COvInfoDS*) override { return 0; }
    // No view: the sheet shows none, as a sheet of a view type nobody registered.
    CSheetView* CreateView(COvInfoSheet*) override { return nullptr; }
    void ViewPropertyChanged(COvInfoProp*) override {}
    void PropertyChanged(COvInfoProp*) override {}

  protected:
    CRepPlugInBase() = default;
    // The name, version and note the about list shows.
    CRepPlugInBase(std::string name, std::string version, std::string note) {
        m_Name = std::move(name);
        m_Version = std::move(version);
        m_Note = std::move(note);
    }
    ~CRepPlugInBase() = default;
};
