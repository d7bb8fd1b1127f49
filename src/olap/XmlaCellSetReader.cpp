// An MDDataSet gives the axes' hierarchies and their asked properties first (OlapInfo), then
// the axes' tuples, then the cells by ordinal. The reader keeps to that order because the
// cells can only be sized once every axis is known; a reply that sends cells first is refused.
// Tuples come as Tuples (one Tuple per position), as Members (one member per position) or as a
// CrossProduct of such sets; the last is multiplied out here.
#include "olap/XmlaCellSetReader.h"

#include <charconv>

#include "olap/XmlaRequest.h"
#include "olap/XmlaValues.h"

namespace orvik::xmla {
namespace {

constexpr const char* kSource = "XMLA";

// Properties every member has by what it is; the cell set marks them so that grids do not
// show them as columns beside the member that already says them.
constexpr std::string_view kIntrinsicProperties[] = {
    "CAPTION",
    "CHILDREN_CARDINALITY",
    "DIMENSION_UNIQUE_NAME",
    "HIERARCHY_UNIQUE_NAME",
    "KEY",
    "LEVEL_NUMBER",
    "LEVEL_UNIQUE_NAME",
    "MEMBER_CAPTION",
    "MEMBER_KEY",
    "MEMBER_NAME",
    "MEMBER_ORDINAL",
    "MEMBER_TYPE",
    "MEMBER_UNIQUE_NAME",
    "NAME",
    "PARENT_COUNT",
    "PARENT_LEVEL",
    "PARENT_UNIQUE_NAME",
};

bool IsIntrinsic(std::string_view name) {
    for (std::string_view intrinsic : kIntrinsicProperties)
        if (intrinsic == name) return true;
    return false;
}

// The five member elements every tuple member carries; anything else is an asked property.
bool IsMemberField(std::string_view name) {
    return name == "UName" || name == "Caption" || name == "LName" || name == "LNum" ||
           name == "DisplayInfo";
}

[[noreturn]] void Fail(const XmlaXmlReader& reader, const std::string& what) {
    throw CADOException(
        AdoError::Failure,
        "The OLAP server's cell set cannot be read: " + what + " (" + reader.Where() + ")",
        kSource);
}

// The last bracketed part of a unique name: "[Store].[Store Name].[Store Sqft]" -> "Store Sqft";
// a name without brackets as it is.
std::string LastNamePart(const std::string& uniqueName) {
    if (uniqueName.empty() || uniqueName.back() != ']') return uniqueName;
    const size_t open = uniqueName.rfind('[');
    if (open == std::string::npos) return uniqueName;
    std::string part = uniqueName.substr(open + 1, uniqueName.size() - open - 2);
    // "]]" inside a name stands for one "]"; a part cut at such a pair is still readable.
    for (size_t at = part.find("]]"); at != std::string::npos; at = part.find("]]", at + 1))
        part.erase(at, 1);
    return part;
}

// One dialect names hierarchies bare ("Customers"), the other as unique names.
std::string HierarchyUniqueName(const std::string& name) {
    if (name.empty() || name.front() == '[') return name;
    return "[" + name + "]";
}

bool ReadCount(std::string_view text, uint64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

void CellSetPayload::Begin(std::string_view rootNamespace) {
    namespace_ = rootNamespace;
}

void CellSetPayload::Child(XmlaXmlReader& reader) {
    if (namespace_ != kMdDataSetNs) return;  // End says what came instead
    if (reader.LocalName() == "OlapInfo") {
        sawOlapInfo_ = true;
        reader.Children([&] {
            if (reader.LocalName() == "AxesInfo") ReadAxesInfo(reader);
        });
    } else if (reader.LocalName() == "Axes") {
        if (cellsSized_) Fail(reader, "axes follow the cells");
        sawAxes_ = true;
        ReadAxes(reader);
    } else if (reader.LocalName() == "CellData") {
        ReadCells(reader);
    }
}

std::pair<CellSetAxis*, CellSetPayload::AxisLayout*> CellSetPayload::AxisNamed(
    XmlaXmlReader& reader, const std::string& name) {
    if (name == "SlicerAxis") {
        sawSlicer_ = true;
        return {&data_.Slicer, &slicerLayout_};
    }
    uint64_t index = 0;
    if (!name.starts_with("Axis") || !ReadCount(std::string_view(name).substr(4), index) ||
        index >= kMaxAxes)
        Fail(reader, "an axis is named \"" + name.substr(0, 40) + "\"");
    if (data_.Axes.size() <= index) {
        data_.Axes.resize(index + 1);
        layouts_.resize(index + 1);
    }
    return {&data_.Axes[index], &layouts_[index]};
}

void CellSetPayload::ReadAxesInfo(XmlaXmlReader& reader) {
    reader.Children([&] {
        if (reader.LocalName() != "AxisInfo") return;
        // Not a structured binding: the lambdas below capture these, which not every compiler
        // we build with allows of bindings.
        const auto named = AxisNamed(reader, reader.Attribute("name").value_or(""));
        CellSetAxis* axis = named.first;
        AxisLayout* layout = named.second;
        axis->Hierarchies.clear();
        layout->Hierarchies.clear();
        reader.Children([&] {
            if (reader.LocalName() != "HierarchyInfo") return;
            CellSetHierarchyInfo info;
            info.UniqueName = HierarchyUniqueName(reader.Attribute("name").value_or(""));
            std::vector<PropertyColumn> columns;
            reader.Children([&] {
                const std::string element(reader.LocalName());
                if (IsMemberField(element)) return;
                PropertyColumn column;
                column.Element = element;
                column.Info.UniqueName = reader.Attribute("name").value_or(element);
                column.Info.Name = LastNamePart(DecodeXmlName(column.Info.UniqueName));
                column.Info.Type = XsdType(reader.Attribute("type").value_or("xsd:string"));
                column.Info.Intrinsic = IsIntrinsic(column.Info.Name);
                info.Properties.push_back(column.Info);
                columns.push_back(std::move(column));
            });
            axis->Hierarchies.push_back(std::move(info));
            layout->Hierarchies.push_back(std::move(columns));
        });
    });
}

void CellSetPayload::ReadAxes(XmlaXmlReader& reader) {
    reader.Children([&] {
        if (reader.LocalName() != "Axis") return;
        const auto named = AxisNamed(reader, reader.Attribute("name").value_or(""));
        CellSetAxis* axis = named.first;
        AxisLayout* layout = named.second;
        axis->Positions.clear();
        reader.Children([&] { ReadSet(reader, *layout, axis->Positions); });
    });
}

void CellSetPayload::ReadSet(XmlaXmlReader& reader, const AxisLayout& layout,
                             std::vector<CellSetPosition>& into) {
    const std::string_view kind = reader.LocalName();
    if (kind == "Tuples") {
        reader.Children([&] {
            if (reader.LocalName() != "Tuple") return;
            if (into.size() >= kMaxPositions)
                Fail(reader, "an axis has more than " + std::to_string(kMaxPositions) + " tuples");
            CellSetPosition position;
            reader.Children([&] {
                if (reader.LocalName() != "Member") return;
                position.Members.push_back(ReadMember(reader, layout, position.Members.size()));
            });
            into.push_back(std::move(position));
        });
    } else if (kind == "Members") {
        reader.Children([&] {
            if (reader.LocalName() != "Member") return;
            into.push_back(CellSetPosition{{ReadMember(reader, layout, 0)}});
        });
    } else if (kind == "CrossProduct") {
        // Each child set covers the next hierarchies of the tuple; the product varies the last
        // set fastest, as a crossjoin does.
        std::vector<CellSetPosition> product(1);
        reader.Children([&] {
            std::vector<CellSetPosition> part;
            ReadSet(reader, layout, part);
            if (!part.empty() && product.size() > kMaxPositions / part.size())
                Fail(reader,
                     "a cross product has more than " + std::to_string(kMaxPositions) + " tuples");
            std::vector<CellSetPosition> next;
            next.reserve(product.size() * part.size());
            for (const CellSetPosition& left : product) {
                for (const CellSetPosition& right : part) {
                    CellSetPosition joined = left;
                    joined.Members.Append(right.Members);
                    next.push_back(std::move(joined));
                }
            }
            product = std::move(next);
        });
        into.insert(into.end(), product.begin(), product.end());
    }
}

CellSetMember CellSetPayload::ReadMember(XmlaXmlReader& reader, const AxisLayout& layout,
                                         size_t index) {
    CellSetMember member;
    const std::vector<PropertyColumn>* columns =
        index < layout.Hierarchies.size() ? &layout.Hierarchies[index] : nullptr;
    reader.Children([&] {
        const std::string_view name = reader.LocalName();
        if (name == "UName") {
            member.UniqueName = reader.ElementText();
        } else if (name == "Caption") {
            member.Caption = reader.ElementText();
        } else if (name == "LName") {
            member.LevelUniqueName = reader.ElementText();
        } else if (name == "LNum") {
            const Variant number = XsdValue(reader.ElementText(), VariantType::I4);
            member.LevelNumber = number.Type() == VariantType::I4 ? number.AsInt64() : 0;
        } else if (name == "DisplayInfo") {
            return;
        } else {
            CellSetProperty property;
            VariantType type = VariantType::String;
            property.Name = DecodeXmlName(name);
            if (columns) {
                for (const PropertyColumn& column : *columns) {
                    if (column.Element != name) continue;
                    property.Name = column.Info.Name;
                    type = column.Info.Type;
                    break;
                }
            }
            // A null value is marked xsi:nil by servers that tell it from an empty text.
            const bool nil = reader.Attribute("nil", kXsiNs).value_or("") == "true";
            const std::string text = reader.ElementText();
            property.Value = nil ? Variant() : XsdValue(text, type);
            if (property.Name == "PARENT_UNIQUE_NAME")
                member.ParentUniqueName = property.Value.AsString();
            if (property.Name == "MEMBER_NAME") member.Name = property.Value.AsString();
            member.Properties.push_back(std::move(property));
        }
    });
    if (member.Name.empty()) member.Name = LastNamePart(member.UniqueName);
    return member;
}

void CellSetPayload::SizeCells() {
    if (cellsSized_) return;
    cellsSized_ = true;
    size_t total = 1;
    for (const CellSetAxis& axis : data_.Axes) {
        const size_t count = axis.Positions.size();
        if (count != 0 && total > kMaxCells / count)
            throw CADOException(AdoError::Failure,
                                "The OLAP server's result has more than " +
                                    std::to_string(kMaxCells) +
                                    " cells, more than a report can hold: narrow the query",
                                kSource);
        total *= count;
    }
    data_.Cells.assign(total, CellSetCell{});
}

void CellSetPayload::ReadCells(XmlaXmlReader& reader) {
    if (!sawOlapInfo_ && !sawAxes_) Fail(reader, "cells come before axes");
    SizeCells();
    const size_t total = data_.Cells.size();
    reader.Children([&] {
        if (reader.LocalName() != "Cell") return;
        uint64_t ordinal = 0;
        const std::string_view text = reader.AttributeView("CellOrdinal");
        if (!ReadCount(text, ordinal)) Fail(reader, "a cell has no readable CellOrdinal");
        if (ordinal >= total)
            Fail(reader, "cell ordinal " + std::string(text.substr(0, 20)) + " is outside the " +
                             std::to_string(total) + " cells of the axes");
        CellSetCell& cell = data_.Cells[ordinal];
        reader.Children([&] {
            if (reader.LocalName() == "Value") {
                const VariantType type = XsdType(reader.AttributeView("type", kXsiNs));
                cell.Value = XsdValue(reader.ElementText(), type);
            } else if (reader.LocalName() == "FmtValue") {
                cell.FormattedValue = reader.ElementText();
            }
        });
    });
}

void CellSetPayload::End() {
    if (namespace_ != kMdDataSetNs)
        throw CADOException(AdoError::Failure,
                            namespace_ == kRowsetNs
                                ? "The OLAP server answered with a table where a cell set was "
                                  "expected"
                                : "The OLAP server returned no cell set for the statement",
                            kSource);
    SizeCells();
    // An axis without positions has no member to describe.
    for (CellSetAxis& axis : data_.Axes)
        if (axis.Positions.empty()) axis.Hierarchies.clear();
    if (!sawSlicer_ || (data_.Slicer.Positions.empty() && data_.Slicer.Hierarchies.empty()))
        data_.Slicer.Positions.assign(1, CellSetPosition{});
}

CellSetData ReadCellSetReply(XmlaByteSource& source, ReplyInfo* info) {
    CellSetData data;
    CellSetPayload payload(data);
    XmlaXmlReader reader(source);
    ReplyInfo reply = ReadReply(reader, payload);
    data.Warnings = reply.Warnings;
    if (info) *info = std::move(reply);
    return data;
}

}  // namespace orvik::xmla
