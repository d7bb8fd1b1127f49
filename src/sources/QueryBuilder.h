// The MDX query builder of an OLAP data source: the catalog elements the user put on the data,
// row, column and filter axes, each restricted to chosen members, and the MDX text made from
// them. The selection lives in the source's properties ("MDXD", "MDXR", "MDXC", "MDXF", one per
// element, in the order the elements were chosen), so the report file keeps it; the builder's
// own list is a view of those properties, rebuilt whenever the catalog tree is. Everything runs
// headless: a batch run builds its query here exactly as the designer does.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "data/AdoCellSet.h"

class COvInfoDS;
class COvInfoProp;

namespace orvik {

class Run;

// The axes an element can be put on; None when it is on no axis.
namespace QueryAxis {
constexpr char None = ' ';
constexpr char Data = 'D';
constexpr char Rows = 'R';
constexpr char Columns = 'C';
constexpr char Filter = 'F';
}  // namespace QueryAxis

// One catalog element as the builder sees it.
struct BuilderNode {
    // The node's id in its catalog tree: stable for the tree's life, so it stands where a tree
    // control's item handle would (in the dumps, in the properties that point back to nodes).
    int Id = 0;
    char Axis = QueryAxis::None;
    std::string UniqueName;  // "[Measures].[Unit Sales]", "[Time].[Quarter]", "[Time]"
    std::string MemberList;  // the chosen members' unique names joined by ","
};

// The MDX text for the elements of `selection`, in order, on cube `cube`: "" when none of them
// is on the data, row or column axis.
std::string BuildMdxText(const std::vector<const BuilderNode*>& selection, const std::string& cube);

class QueryBuilder {
  public:
    // The members an element on rows, columns or the filter may be restricted to; throws
    // CADOException when the catalog cannot say.
    using MemberLookup = std::function<std::vector<CellSetMember>(const BuilderNode& node)>;
    // The node named `uniqueName` that may go on `axis`, or null when the catalog has none.
    using NodeLookup = std::function<BuilderNode*(const std::string& uniqueName, char axis)>;

    // A builder for `source`, which must outlive it; the selection starts empty.
    // A builder for `source`, a data source of `run`'s report.
    QueryBuilder(Run& run, COvInfoDS& source);

    COvInfoDS& Source() const { return source_; }
    // The cube the query is made for.
    const std::string& CubeName() const { return cube_; }
    void SetCubeName(std::string cube) { cube_ = std::move(cube); }
    // Where AddToAxis finds the members for an element's value list.
    void SetMemberLookup(MemberLookup lookup) { members_ = std::move(lookup); }

    // The nodes on an axis, in the order they were put there. They belong to the catalog tree.
    const std::vector<BuilderNode*>& Selection() const { return selection_; }
    // The axis property that holds `node`'s place in the selection; null when it is on no axis.
    COvInfoProp* PropertyOf(const BuilderNode& node) const;

    // Puts `node` on `axis` (a QueryAxis letter other than None), or takes it off: a node already
    // on an axis leaves it together with its property (and that property's value list), and when
    // that was `axis` nothing more happens. Otherwise the node joins the selection with a new
    // property "MDX" + axis: rows, columns and filter get an in-place editor and a value list of
    // their own, filled with the element's members; data is read-only. Then the source is shown,
    // run again, shown again and the report marked changed.
    void AddToAxis(BuilderNode& node, char axis);
    // Restricts `node` (on an axis) to `members` (unique names joined by ","), keeping them in its
    // property, writes LastFilter.txt and runs the source again. False when `node` is on no axis.
    bool SetMemberList(BuilderNode& node, const std::string& members);

    // Forgets the selection before the tree's nodes go; the properties stay.
    void ClearSelection();
    // Rebuilds the selection from the source's axis properties, in their order: each property
    // whose element `find` knows puts that node on the property's axis with the property's
    // member list, and (unless the run is unattended) a value list of its members when its
    // property has none; an element the catalog no longer has is left out, its property kept.
    // Returns how many were restored.
    int RestoreSelection(const NodeLookup& find);

    // The MDX text for the selection, also written to LastMDX.txt in the HTML work folder.
    std::string BuildMDX() const;
    // The query text the source runs: with "Use MDX Query ?" off, the built MDX is stored into
    // Qry first. Always Qry's value.
    std::string QueryText() const;
    // Writes the selection and `filterText` to LastFilter.txt in the HTML work folder.
    void DumpFilter(const std::string& filterText) const;

  private:
    void Remove(BuilderNode& node);
    void GiveMemberList(COvInfoProp& prop, const BuilderNode& node) const;
    void Rerun();

    Run& run_;
    COvInfoDS& source_;
    std::string cube_;
    std::vector<BuilderNode*> selection_;
    MemberLookup members_;
};

// True when `source` takes its query from the builder ("Use MDX Query ?" is off).
bool UsesQueryBuilder(const COvInfoDS& source);

// Writes `text` to `name` in the HTML work folder, replacing it; nothing without a work folder.
// A file that cannot be written is logged, never fatal: these are diagnostics.
void WriteWorkFile(Run& run, const std::string& name, const std::string& text);

}  // namespace orvik
