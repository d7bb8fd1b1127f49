#include "sources/CatalogTree.h"

#include <cstdio>
#include <unordered_set>

#include "core/LanguageTexts.h"
#include "core/Run.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"

namespace orvik {
namespace {

std::string IdText(int id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(id));
    return text;
}

const std::string& Shown(const std::string& caption, const std::string& name) {
    return caption.empty() ? name : caption;
}

}  // namespace

CatalogTree::CatalogTree(Run& run, COvInfoDS& source)
    : run_(run), source_(source), builder_(run, source) {
    builder_.SetMemberLookup([this](const BuilderNode& node) { return MembersOf(node); });
}

std::string CatalogTree::Caption() const {
    return run_.Language().GetText(0x516);
}

void CatalogTree::Clear() {
    // The properties point at nodes that are about to go.
    builder_.ClearSelection();
    items_.clear();
    cubeItem_ = measuresItem_ = 0;
    builtFor_.clear();
    builtCube_.clear();
}

int CatalogTree::Add(int parentId, const std::string& caption, CatalogRole role,
                     const std::string& uniqueName) {
    auto item = std::make_unique<CatalogItem>();
    item->Node.Id = static_cast<int>(items_.size()) + 1;
    item->Node.UniqueName = uniqueName;
    item->ParentId = parentId;
    item->Caption = caption;
    item->Role = role;
    items_.push_back(std::move(item));
    return items_.back()->Node.Id;
}

int CatalogTree::Build(std::shared_ptr<OlapConnection> connection, const std::string& builtFor) {
    Clear();
    connection_ = std::move(connection);
    if (!connection_) return 0;
    FillCubeList(connection_->CubeNames());
    const std::string cube = source_.Get("nCube");
    builder_.SetCubeName(cube);
    if (!cube.empty()) {
        OlapCube catalog;
        try {
            catalog = connection_->Cube(cube);
        } catch (...) {
            DumpTree();
            throw;
        }
        cubeItem_ = Add(0, Shown(catalog.Caption, catalog.Name), CatalogRole::Cube,
                        "[" + catalog.Name + "]");
        measuresItem_ = Add(cubeItem_, "Measures", CatalogRole::MeasuresFolder, "[Measures]");
        for (const OlapMeasure& measure : catalog.Measures) {
            if (!measure.Visible) continue;
            Add(measuresItem_, Shown(measure.Caption, measure.Name), CatalogRole::Measure,
                measure.UniqueName);
        }
        for (const OlapDimension& dimension : catalog.Dimensions) {
            const int dimensionItem = Add(cubeItem_, Shown(dimension.Caption, dimension.Name),
                                          CatalogRole::Dimension, dimension.UniqueName);
            for (const OlapHierarchy& hierarchy : dimension.Hierarchies) {
                const int hierarchyItem =
                    Add(dimensionItem, Shown(hierarchy.Caption, hierarchy.Name),
                        CatalogRole::Hierarchy, hierarchy.UniqueName);
                for (const OlapLevel& level : hierarchy.Levels)
                    Add(hierarchyItem, Shown(level.Caption, level.Name), CatalogRole::Level,
                        level.UniqueName);
            }
        }
    }
    const int restored = builder_.RestoreSelection(
        [this](const std::string& uniqueName, char axis) { return FindNode(uniqueName, axis); });
    DumpTree();
    builtFor_ = builtFor;
    builtCube_ = cube;
    return restored;
}

bool CatalogTree::IsBuiltFor(const std::string& builtFor) const {
    return !builtFor_.empty() && builtFor_ == builtFor && builtCube_ == source_.Get("nCube");
}

void CatalogTree::FillCubeList(const std::vector<std::string>& cubes) {
    COvInfoProp* nCube = source_.GetPropByName("nCube");
    if (!nCube) return;
    CRegistries& registries = run_.Registries();
    if (cubeList_ == 0) {
        cubeList_ = registries.AddUserCombo();
    } else {
        nCube->SelectedCombo = nullptr;
        std::erase_if(registries.ComboValues, [this](const auto& e) { return e->Id == cubeList_; });
    }
    nCube->ComboId = static_cast<unsigned>(cubeList_);
    std::unordered_set<std::string> seen;
    for (const std::string& cube : cubes) {
        if (cube.empty() || !seen.insert(cube).second) continue;
        registries.ComboValues.push_back(std::make_unique<COvCombos>(cubeList_, cube, cube, -1));
        // A cube the catalog no longer has stays chosen: the report keeps naming it and the
        // tree stays empty, rather than the choice vanishing on the next save.
        if (cube == nCube->Value) {
            nCube->SelectedCombo = registries.ComboValues.back().get();
            nCube->ValueIndex = static_cast<int>(seen.size()) - 1;
        }
    }
}

CatalogItem* CatalogTree::Find(int id) const {
    if (id < 1 || id > static_cast<int>(items_.size())) return nullptr;
    return items_[static_cast<size_t>(id) - 1].get();
}

std::vector<AxisMenuEntry> CatalogTree::MenuFor(int id) const {
    const CatalogItem* item = Find(id);
    // The cube root is no element to query by itself, whatever its place in the tree.
    if (!item || item->ParentId == 0) return {};
    const char axis = item->Node.Axis;
    const CatalogItem* parent = Find(item->ParentId);
    if (parent && parent->Role == CatalogRole::MeasuresFolder)
        return {{QueryAxis::Data, "Add to Data", axis == QueryAxis::Data}};
    if (parent && parent->Role == CatalogRole::Cube) return {};
    return {{QueryAxis::Rows, "Add to Row", axis == QueryAxis::Rows},
            {QueryAxis::Columns, "Add to Columns", axis == QueryAxis::Columns},
            {QueryAxis::Filter, "Add to Filter", axis == QueryAxis::Filter}};
}

bool CatalogTree::AddToAxis(int id, char axis) {
    for (const AxisMenuEntry& entry : MenuFor(id)) {
        if (entry.Axis != axis) continue;
        builder_.AddToAxis(Find(id)->Node, axis);
        return true;
    }
    return false;
}

BuilderNode* CatalogTree::FindNode(const std::string& uniqueName, char axis) const {
    // A dimension and its first hierarchy share a unique name: the one that may go on the axis
    // is meant.
    for (const auto& item : items_) {
        if (item->Node.UniqueName != uniqueName) continue;
        for (const AxisMenuEntry& entry : MenuFor(item->Node.Id))
            if (entry.Axis == axis) return &item->Node;
    }
    return nullptr;
}

std::vector<CellSetMember> CatalogTree::MembersOf(const BuilderNode& node) const {
    const CatalogItem* item = Find(node.Id);
    if (!item || !connection_) return {};
    if (item->Role == CatalogRole::Level)
        return connection_->LevelMembers(builder_.CubeName(), node.UniqueName);
    // A hierarchy offers the members of each of its levels, level by level.
    std::vector<CellSetMember> members;
    for (const auto& level : items_) {
        if (level->ParentId != node.Id || level->Role != CatalogRole::Level) continue;
        std::vector<CellSetMember> more =
            connection_->LevelMembers(builder_.CubeName(), level->Node.UniqueName);
        members.insert(members.end(), std::make_move_iterator(more.begin()),
                       std::make_move_iterator(more.end()));
    }
    return members;
}

void CatalogTree::DumpTree() const {
    // The ids stand where the tree control's item handles would; the cube root's parent is 0.
    std::string text;
    for (const auto& item : items_)
        text +=
            IdText(item->Node.Id) + "   " + IdText(item->ParentId) + "   " + item->Caption + "\r\n";
    for (const BuilderNode* node : builder_.Selection())
        text += IdText(node->Id) + "   " + node->UniqueName + "   " + node->MemberList + "\r\n";
    WriteWorkFile(run_, "LastTree.txt", text);
}

CatalogTree& IniTreeBar(Run& run, COvInfoDS& source) {
    if (CatalogTree* tree = TreeBarOf(source)) return *tree;
    auto tree = std::make_unique<CatalogTree>(run, source);
    CatalogTree& made = *tree;
    source.KindState = std::move(tree);
    return made;
}

CatalogTree* TreeBarOf(const COvInfoDS& source) {
    return dynamic_cast<CatalogTree*>(source.KindState.get());
}

}  // namespace orvik
