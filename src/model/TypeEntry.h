// What every type a report names (a data-source kind, a view type, a step type) may answer beyond
// its own work, so that whoever asks need not know who brought the type: the program or a
// plug-in, whose entries forward these to it.
#pragma once

#include <string>

class COvInfoAct;
class COvInfoObject;
class COvInfoProp;
class COvInfoSheet;

namespace orvik {

class Run;

class TypeEntry {
  public:
    virtual ~TypeEntry() = default;
    // A property of `object`, which is of this type, changed in the designer. True when the
    // type was told (the designer then refreshes what it shows of the object).
    virtual bool PropertyChanged(Run& /*run*/, COvInfoObject& /*object*/, COvInfoProp& /*prop*/) {
        return false;
    }
};

// What a sheet's exported part is made by.
enum class SheetExport {
    Refused,  // the type refused the sheet: the export stops
    Done,     // the type wrote the sheet's part
    Builtin,  // the program's own table (or nothing) stands for the sheet
};

// The types that can make a sheet's part of the page themselves: view types, and data-source
// kinds whose results no grid shows.
class SheetRenderer : public TypeEntry {
  public:
    // True when ExportSheet may make the part: the page is then built whole, never streamed.
    virtual bool RendersSheets() const { return false; }
    // Makes the part of `sheet` that the export `task` puts on the page into `out`.
    virtual SheetExport ExportSheet(Run& /*run*/, COvInfoSheet& /*sheet*/, COvInfoAct& /*task*/,
                                    std::string& /*out*/) {
        return SheetExport::Builtin;
    }
};

}  // namespace orvik
