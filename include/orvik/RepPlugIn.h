// The descriptor every report plug-in hands the program. A plug-in is a shared library named
// "*.rll" in the program folder that exports
//
//     extern "C" CRepPlugIn* GetRepPlugIn();
//
// returning the same descriptor on every call (ORVIK_PLUGIN_ENTRY below writes it). The program
// loads plug-ins at start-up in file-name order, fills the members marked "program", numbers the
// descriptor by its place in the list, calls Init, and from then on hands every object whose type
// the plug-in registered to the operations below. Libraries stay loaded until the program ends.
#pragma once

#include <string>

#include "orvik/PlugInApi.h"

// The version of this interface. A plug-in built against another one is refused, never called:
// the slots and members below may have moved.
inline constexpr int kOrvikPlugInInterfaceVersion = 1;

class CRepPlugIn {
  public:
    // Read before anything else is touched; stays the first member in every version.
    const int m_InterfaceVersion = kOrvikPlugInInterfaceVersion;

    void* m_pApp = nullptr;                    // program: the application context
    const void* m_pDocClass = nullptr;         // program: tag of the document class
    const void* m_pChildFrameClass = nullptr;  // program: tag of the child-frame class
    const void* m_pMainFrameClass = nullptr;   // program: tag of the main-frame class
    void* m_pCurObj = nullptr;                 // program: the object whose property changed
    std::string m_FileName;                    // program: the library's file name
    std::string m_Version;                     // plug-in: shown in the about list
    std::string m_Name;                        // plug-in: shown in the about list
    std::string m_Note;                        // plug-in: shown in the about list
    int m_PlugInIndex = -1;                    // program: the place in the plug-in list

    // Slot 0: called once after loading; register types, lists and properties here.
    virtual void Init() = 0;
    // Slot 1: the page part of a sheet whose view or data-source type is the plug-in's. Return 1
    // with the HTML in `out` (placed like a sheet's table), 0 to fail the export (no page is
    // written), anything else to let the program render the sheet itself.
    virtual int ExportSheet(COvInfoSheet* sheet, COvInfoAct* task, std::string& out) = 0;
    // Slot 2: a task step of the plug-in's task type runs (`task` null when an export only asks
    // about the plug-in's own export format `type`).
    virtual void RunTask(const char* type, COvInfoAct* task) = 0;
    // Slot 3: deliver a step of the plug-in's task type.
    virtual void Deliver(COvInfoAct* task) = 0;
    // Slot 4: connect a data source of the plug-in's type; `sheet` is the sheet made or loaded
    // last. The result is the data source's OpenConnectDS result (1 success, 0 failure).
    virtual int OpenDataSource(COvInfoSheet* sheet, COvInfoDS* source) = 0;
    // Slot 5: make the view of a sheet of the plug-in's view type, after its data source was
    // connected and run. The sheet owns what is returned; null shows nothing.
    virtual CSheetView* CreateView(COvInfoSheet* sheet) = 0;
    // Slot 6: a property changed while the active sheet has the plug-in's view type;
    // m_pCurObj is the edited object.
    virtual void ViewPropertyChanged(COvInfoProp* prop) = 0;
    // Slot 7: a property of an object of one of the plug-in's types changed; the page is rebuilt
    // afterwards.
    virtual void PropertyChanged(COvInfoProp* prop) = 0;

  protected:
    // Plug-ins own their descriptors; the program never deletes one.
    ~CRepPlugIn() = default;
};

// The entry's name, as the loader looks it up.
inline constexpr const char* kRepPlugInEntry = "GetRepPlugIn";

// Writes the entry for a plug-in whose descriptor class is `DescriptorClass`.
#define ORVIK_PLUGIN_ENTRY(DescriptorClass)                                        \
    extern "C" __attribute__((visibility("default"))) CRepPlugIn* GetRepPlugIn() { \
        static DescriptorClass descriptor;                                         \
        return &descriptor;                                                        \
    }
