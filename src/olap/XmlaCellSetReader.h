// Reads an MDDataSet (the Multidimensional result of an Execute) into the program's cell set,
// the same CellSetData the embedded engine produces, so grids, builders and flattening read a
// server's result as they read our own. The reply is read as it arrives; only the cell set it
// describes is kept. Cells a server leaves out (both dialects send only non-empty ones) stay
// empty; an ordinal outside the cells the axes make is an error, as is a result too large to
// hold.
#pragma once

#include <string>
#include <vector>

#include "data/AdoCellSet.h"
#include "olap/XmlaResponse.h"

namespace orvik::xmla {

class CellSetPayload : public ReplyPayload {
  public:
    // The most cells a result may have (axes multiplied), as many as the embedded engine holds;
    // more is refused before anything is allocated for them.
    static constexpr size_t kMaxCells = 5'000'000;
    // The most positions one axis may have.
    static constexpr size_t kMaxPositions = 1'000'000;
    // Axes are named Axis0 ... Axis<kMaxAxes - 1>.
    static constexpr size_t kMaxAxes = 64;

    explicit CellSetPayload(CellSetData& into) : data_(into) {}

    void Begin(std::string_view rootNamespace) override;
    void Child(XmlaXmlReader& reader) override;
    // Throws CADOException when the reply held no cell set.
    void End() override;

  private:
    // A member property an axis asked for, by the element name its members carry it under.
    struct PropertyColumn {
        std::string Element;
        CellSetPropertyInfo Info;
    };
    struct AxisLayout {
        std::vector<std::vector<PropertyColumn>> Hierarchies;  // per member of a tuple
    };

    void ReadAxesInfo(XmlaXmlReader& reader);
    void ReadAxes(XmlaXmlReader& reader);
    void ReadSet(XmlaXmlReader& reader, const AxisLayout& layout,
                 std::vector<CellSetPosition>& into);
    CellSetMember ReadMember(XmlaXmlReader& reader, const AxisLayout& layout, size_t index);
    void ReadCells(XmlaXmlReader& reader);
    void SizeCells();
    // The axis `name` names ("Axis1", "SlicerAxis"), with its layout; throws for other names.
    std::pair<CellSetAxis*, AxisLayout*> AxisNamed(XmlaXmlReader& reader, const std::string& name);

    CellSetData& data_;
    std::string namespace_;
    std::vector<AxisLayout> layouts_;
    AxisLayout slicerLayout_;
    bool sawSlicer_ = false;
    bool sawOlapInfo_ = false;
    bool sawAxes_ = false;
    bool cellsSized_ = false;
};

// Reads a whole Execute reply from `source` into a cell set; the reply's warnings go to its
// Warnings. Throws XmlaFault for the server's errors, CADOException for a reply that is not a
// cell set or cannot be read.
CellSetData ReadCellSetReply(XmlaByteSource& source, ReplyInfo* info = nullptr);

}  // namespace orvik::xmla
