// The OLAP catalog of a data source as a tree: the chosen cube at the root, a "Measures" folder
// with its measures, and one branch per dimension with its hierarchies and their levels. This is
// what the designer's catalog bar shows, kept as a model so that batch runs and tests build and
// use it without a window. The tree owns the source's query builder: its nodes are what the
// builder puts on axes, and every build restores the selection from the source's properties.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/DataSourceKind.h"
#include "olap/OlapConnection.h"
#include "sources/QueryBuilder.h"

namespace orvik {

class Run;

enum class CatalogRole { Cube, MeasuresFolder, Measure, Dimension, Hierarchy, Level };

// One node of the tree.
struct CatalogItem {
    BuilderNode Node;  // Node.Id is the item's id (from 1, in build order)
    int ParentId = 0;  // 0 for the cube root
    std::string Caption;
    CatalogRole Role = CatalogRole::Cube;
};

// One entry of a node's context menu.
struct AxisMenuEntry {
    char Axis;
    std::string Text;  // "Add to Data", "Add to Row", "Add to Columns", "Add to Filter"
    bool Checked;      // the node is on this axis already
};

class CatalogTree : public DataSourceKindState {
  public:
    // An empty tree for `source`, which must outlive it.
    // The tree of `source`, a data source of `run`'s report.
    CatalogTree(Run& run, COvInfoDS& source);

    // The bar's caption (language text 0x516).
    std::string Caption() const;

    // Rebuilds the tree from `connection`: fills the value list of the source's "nCube" with the
    // catalog's cubes, builds the nodes of the cube it names (none when it names none), restores
    // the builder's selection and writes LastTree.txt. `builtFor` is remembered for IsBuiltFor.
    // Returns how many elements were restored. Throws CADOException when the catalog cannot be
    // read; the tree is then empty and the selection cleared (the properties stay).
    int Build(std::shared_ptr<OlapConnection> connection, const std::string& builtFor);
    // True when the last Build was given `builtFor` and the source still names the cube it built.
    bool IsBuiltFor(const std::string& builtFor) const;
    // Makes the next IsBuiltFor false (a new connection was opened).
    void Invalidate() { builtFor_.clear(); }

    // The nodes in build order: a parent always before its children.
    const std::vector<std::unique_ptr<CatalogItem>>& Items() const { return items_; }
    // The node with `id`, or null.
    CatalogItem* Find(int id) const;
    // The ids of the cube root and the "Measures" folder (0 while the tree is empty).
    int CubeItem() const { return cubeItem_; }
    int MeasuresItem() const { return measuresItem_; }

    // What the context menu offers on node `id`: "Add to Data" for a measure; nothing for the
    // cube, the "Measures" folder and the dimensions; rows, columns and filter for the rest.
    std::vector<AxisMenuEntry> MenuFor(int id) const;
    // Chooses a context-menu entry (QueryBuilder::AddToAxis); false when node `id` does not offer
    // `axis`.
    bool AddToAxis(int id, char axis);

    QueryBuilder& Builder() { return builder_; }
    const QueryBuilder& Builder() const { return builder_; }

  private:
    int Add(int parentId, const std::string& caption, CatalogRole role,
            const std::string& uniqueName);
    void Clear();
    void FillCubeList(const std::vector<std::string>& cubes);
    std::vector<CellSetMember> MembersOf(const BuilderNode& node) const;
    BuilderNode* FindNode(const std::string& uniqueName, char axis) const;
    void DumpTree() const;

    Run& run_;
    COvInfoDS& source_;
    QueryBuilder builder_;
    std::shared_ptr<OlapConnection> connection_;
    std::vector<std::unique_ptr<CatalogItem>> items_;
    int cubeItem_ = 0;
    int measuresItem_ = 0;
    int cubeList_ = 0;  // the value list of "nCube", handed out on the first build
    std::string builtFor_;
    std::string builtCube_;
};

// The catalog tree of `source`, made on first use; the source keeps it (its KindState).
CatalogTree& IniTreeBar(Run& run, COvInfoDS& source);
// The catalog tree of `source`, or null when it has none yet.
CatalogTree* TreeBarOf(const COvInfoDS& source);

}  // namespace orvik
