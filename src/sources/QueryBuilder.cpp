#include "sources/QueryBuilder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string_view>
#include <unordered_set>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/Run.h"
#include "core/TextReplace.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik {
namespace {

constexpr const char* kProperties = " DIMENSION PROPERTIES MEMBER_NAME, PARENT_UNIQUE_NAME ";

// The first part of a unique name: "[Customer]" of "[Customer].[Country]". A "." inside brackets
// ("[Time.Weekly].[Week]") belongs to the name, and "]]" is a bracket inside one.
std::string FirstNamePart(const std::string& uniqueName) {
    if (uniqueName.empty() || uniqueName.front() != '[')
        return uniqueName.substr(0, uniqueName.find('.'));
    for (size_t i = 1; i < uniqueName.size(); ++i) {
        if (uniqueName[i] != ']') continue;
        if (i + 1 < uniqueName.size() && uniqueName[i + 1] == ']') {
            ++i;
            continue;
        }
        return uniqueName.substr(0, i + 1);
    }
    return uniqueName;
}

// A member list inside a quoted WITH expression: a quote in a member's name ("[Mom's]") would end
// the expression early, so it is doubled as MDX reads it back.
std::string QuotedExpression(std::string members) {
    ReplaceAll(members, "'", "''");
    return members;
}

std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) text += ',';
        text += item;
    }
    return text;
}

// Several elements on one axis are crossed with each other, left to right. The pieces are the
// elements themselves rather than the joined text cut at its commas, so a name with a comma in
// it stays one piece.
std::string Fold(const std::vector<std::string>& items) {
    std::string result = items.front();
    for (size_t i = 1; i < items.size(); ++i) result = "Crossjoin(" + result + "," + items[i] + ")";
    return result;
}

std::string IdText(int id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(id));
    return text;
}

bool IsAxisKey(const std::string& key) {
    return key.size() == 4 && key.compare(0, 3, "MDX") == 0 &&
           std::string_view("DRCF").find(key[3]) != std::string_view::npos;
}

}  // namespace

std::string BuildMdxText(const std::vector<const BuilderNode*>& selection,
                         const std::string& cube) {
    std::vector<std::string> data, rows, columns, filters;
    std::string with;
    int k = 0;
    for (const BuilderNode* node : selection) {
        const std::string& name = node->UniqueName;
        const std::string& members = node->MemberList;
        switch (node->Axis) {
            case QueryAxis::Data:
                data.push_back(name);
                break;
            case QueryAxis::Rows:
            case QueryAxis::Columns: {
                std::vector<std::string>& axis = node->Axis == QueryAxis::Rows ? rows : columns;
                if (members.empty()) {
                    axis.push_back(" {" + name + ".members}");
                    break;
                }
                const std::string set = "[Set" + std::to_string(k++) + "]";
                with += "\nSet " + set + " as 'HIERARCHIZE({" + QuotedExpression(members) + "})'";
                axis.push_back(set);
                break;
            }
            default: {
                // A filter without members would restrict nothing; it takes no number either.
                if (members.empty()) break;
                const std::string member =
                    FirstNamePart(name) + ".[Filter" + std::to_string(k++) + "]";
                with +=
                    "\nMember " + member + " as 'Aggregate({" + QuotedExpression(members) + "})'";
                filters.push_back(member);
                break;
            }
        }
    }

    std::string axes;
    if (!data.empty()) {
        const std::string measures = "{" + Join(data) + "}";
        if (columns.empty()) {
            axes = "\n" + measures + " On Columns";
        } else if (rows.empty()) {
            axes = "\n" + measures + " On Rows";
        } else if (data.size() > 1) {
            // Several measures beside both rows and columns: appended to the column text they
            // would be cut apart at their commas by the fold and the query could not be parsed.
            // As one set of their own, crossed onto the columns, every column tuple carries each
            // measure.
            columns.push_back(" " + measures);
        } else {
            axes = "\n" + measures + " On Pages";
        }
    }
    if (!columns.empty()) {
        if (!axes.empty()) axes += ',';
        axes += "\nNon Empty " + Fold(columns) + kProperties + " On Columns";
    }
    if (!rows.empty()) {
        if (!axes.empty()) axes += ',';
        axes += "\nNon Empty " + Fold(rows) + kProperties + " On Rows";
    }
    if (axes.empty()) return {};
    if (!with.empty()) with = "with" + with + "\n";
    std::string mdx = with + "Select " + axes + "\nFrom [" + cube + "]";
    if (!filters.empty()) mdx += "\nWhere (" + Join(filters) + ")";
    return mdx;
}

bool UsesQueryBuilder(const COvInfoDS& source) {
    const COvInfoProp* bQ = source.GetPropByName("bQ");
    if (!bQ) return false;
    std::string value = bQ->Value;
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value == "0" || value == "false";
}

void WriteWorkFile(Run& run, const std::string& name, const std::string& text) {
    CRegistries* registries = &run.Registries();
    if (registries->HtmlFolder.empty()) return;
    AtomicFile file(registries->HtmlFolder + name);
    if (file.Stream() && std::fwrite(text.data(), 1, text.size(), file.Stream()) != text.size())
        file.NoteWriteError();
    if (!file.Stream() || !file.Commit())
        UxSaveLog(run, "Cannot write " + registries->HtmlFolder + name + ": " + file.Error(),
                  __FILE__, __LINE__);
}

QueryBuilder::QueryBuilder(Run& run, COvInfoDS& source) : run_(run), source_(source) {}

COvInfoProp* QueryBuilder::PropertyOf(const BuilderNode& node) const {
    if (node.Axis == QueryAxis::None) return nullptr;
    for (COvInfoProp* prop : source_.Props)
        if (prop->SelectedCombo == &node && IsAxisKey(prop->Name)) return prop;
    return nullptr;
}

void QueryBuilder::AddToAxis(BuilderNode& node, char axis) {
    if (!IsAxisKey(std::string("MDX") + axis)) return;
    const bool wasOn = std::find(selection_.begin(), selection_.end(), &node) != selection_.end();
    const char before = node.Axis;
    if (wasOn) Remove(node);
    if (!wasOn || before != axis) {
        CRegistries* registries = &run_.Registries();
        const bool data = axis == QueryAxis::Data;
        // Like the axis properties a report file brings, these belong to the "OLAP" type: a new
        // type takes them away.
        auto prop = std::make_unique<COvInfoProp>(
            &source_.tpDS, GroupId::DataSource, std::string("MDX") + axis, "", "", 0,
            data ? PropKind::Text : PropKind::Custom, 0, &node, 1, -1);
        prop->Value = node.UniqueName;
        if (data) prop->Flags |= PropFlag::ReadOnly;
        if (!data) GiveMemberList(*prop, node);
        node.Axis = axis;
        node.MemberList.clear();
        selection_.push_back(&node);
        source_.Props.push_back(prop.get());
        registries->AppendedProperties.push_back(std::move(prop));
    }
    Rerun();
}

bool QueryBuilder::SetMemberList(BuilderNode& node, const std::string& members) {
    COvInfoProp* prop = PropertyOf(node);
    if (!prop) return false;
    prop->DefaultValue = members;
    node.MemberList = members;
    DumpFilter(members);
    Rerun();
    return true;
}

void QueryBuilder::Remove(BuilderNode& node) {
    std::erase(selection_, &node);
    COvInfoProp* prop = PropertyOf(node);
    node.Axis = QueryAxis::None;
    node.MemberList.clear();
    if (!prop) return;
    std::erase(source_.Props, prop);
    CRegistries* registries = &run_.Registries();
    // The list is the property's own, handed out when the property was made; 0 is no list.
    if (const int list = static_cast<int>(prop->ComboId); list != 0)
        std::erase_if(registries->ComboValues, [list](const auto& e) { return e->Id == list; });
    registries->DestroyAppended(prop);
}

void QueryBuilder::GiveMemberList(COvInfoProp& prop, const BuilderNode& node) const {
    CRegistries* registries = &run_.Registries();
    const int list = registries->AddUserCombo();
    prop.ComboId = static_cast<unsigned>(list);
    if (!members_) return;
    std::vector<CellSetMember> members;
    try {
        members = members_(node);
    } catch (const std::exception& error) {
        UxError(run_, error, kDataSourceErrorSource, __LINE__, node.UniqueName.c_str());
        return;
    }
    // A level may hold thousands of members: the registry's own adding would look each one up
    // among all entries of all lists.
    std::unordered_set<std::string> seen;
    for (const CellSetMember& member : members) {
        if (member.UniqueName.empty() || !seen.insert(member.UniqueName).second) continue;
        registries->ComboValues.push_back(
            std::make_unique<COvCombos>(list, member.UniqueName, member.Caption, -1));
    }
}

void QueryBuilder::Rerun() {
    source_.ShowProp(run_.Front(), run_.Report());
    source_.OpenRSDS(run_);
    source_.ShowProp(run_.Front(), run_.Report());
    run_.Report().Modified = true;
}

void QueryBuilder::ClearSelection() {
    for (BuilderNode* node : selection_) {
        node->Axis = QueryAxis::None;
        node->MemberList.clear();
    }
    selection_.clear();
    for (COvInfoProp* prop : source_.Props)
        if (IsAxisKey(prop->Name)) prop->SelectedCombo = nullptr;
}

int QueryBuilder::RestoreSelection(const NodeLookup& find) {
    ClearSelection();
    int restored = 0;
    for (COvInfoProp* prop : source_.Props) {
        if (!IsAxisKey(prop->Name)) continue;
        const char axis = prop->Name[3];
        BuilderNode* node = find(prop->Value, axis);
        // One element, one place: a second property naming the same element stays unused.
        if (!node || node->Axis != QueryAxis::None) continue;
        node->Axis = axis;
        node->MemberList = axis == QueryAxis::Data ? std::string() : prop->DefaultValue;
        prop->SelectedCombo = node;
        // Nobody chooses members in an unattended run: a level of thousands is not read for it.
        if (axis != QueryAxis::Data && prop->ComboId == 0 && !run_.BatchMode)
            GiveMemberList(*prop, *node);
        selection_.push_back(node);
        ++restored;
    }
    return restored;
}

std::string QueryBuilder::BuildMDX() const {
    const std::string mdx =
        BuildMdxText(std::vector<const BuilderNode*>(selection_.begin(), selection_.end()), cube_);
    WriteWorkFile(run_, "LastMDX.txt", mdx);
    return mdx;
}

std::string QueryBuilder::QueryText() const {
    if (UsesQueryBuilder(source_)) source_.Qry.Value = BuildMDX();
    return source_.Qry.Value;
}

void QueryBuilder::DumpFilter(const std::string& filterText) const {
    std::string text;
    for (const BuilderNode* node : selection_)
        text += IdText(node->Id) + "   " + node->UniqueName + "\t\t" + node->MemberList + "\r\n";
    text += "\r\nFilter = " + filterText;
    WriteWorkFile(run_, "LastFilter.txt", text);
}

}  // namespace orvik
