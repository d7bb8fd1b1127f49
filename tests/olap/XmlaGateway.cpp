#include "XmlaGateway.h"

#include <cctype>
#include <cstdio>
#include <optional>

#include "data/AdoException.h"
#include "olap/XmlaRequest.h"

namespace orvik::test {
namespace {

using xmla::EscapeXml;

// A name as an element name: characters a name cannot hold become _xHHHH_.
std::string ElementName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool plain = std::isalpha(c) || c == '_' || c >= 0x80 ||
                           (i > 0 && (std::isdigit(c) || c == '-' || c == '.'));
        if (plain) {
            out += static_cast<char>(c);
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, "_x%04X_", c);
            out += escape;
        }
    }
    return out;
}

const char* XsdName(VariantType type) {
    switch (type) {
        case VariantType::Bool:
            return "xsd:boolean";
        case VariantType::I1:
        case VariantType::I2:
            return "xsd:short";
        case VariantType::UI1:
        case VariantType::UI2:
            return "xsd:unsignedShort";
        case VariantType::I4:
        case VariantType::Int:
            return "xsd:int";
        case VariantType::UI4:
        case VariantType::UInt:
            return "xsd:unsignedInt";
        case VariantType::I8:
            return "xsd:long";
        case VariantType::UI8:
            return "xsd:unsignedLong";
        case VariantType::R4:
        case VariantType::R8:
            return "xsd:double";
        case VariantType::Currency:
        case VariantType::Decimal:
            return "xsd:decimal";
        case VariantType::Date:
            return "xsd:dateTime";
        default:
            return "xsd:string";
    }
}

// The XML Schema text of `value`; nothing for empty and null.
std::optional<std::string> XsdText(const Variant& value) {
    char text[64];
    switch (value.Type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return std::nullopt;
        case VariantType::Bool:
            return value.AsInt64() ? "true" : "false";
        case VariantType::R4:
        case VariantType::R8:
            std::snprintf(text, sizeof text, "%.17g", value.AsDouble());
            return text;
        case VariantType::Decimal:
            return value.AsDecimal().ToText();
        case VariantType::Currency:
            std::snprintf(text, sizeof text, "%.4f", value.AsCurrency() / 10000.0);
            return text;
        case VariantType::Date: {
            const DateParts p = value.AsDateParts();
            std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", p.Year, p.Month,
                          p.Day, p.Hour, p.Minute, p.Second);
            return text;
        }
        case VariantType::String:
            return EscapeXml(value.AsString());
        case VariantType::UI8:
            return std::to_string(static_cast<uint64_t>(value.AsInt64()));
        default:
            return std::to_string(value.AsInt64());
    }
}

std::string Envelope(const char* method, const std::string& root) {
    return "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><" +
           std::string(method) + " xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return>" +
           root + "</return></" + method + "></soap:Body></soap:Envelope>";
}

std::string ColumnText(const RowStore& rows, size_t row, const std::string& column) {
    for (size_t c = 0; c < rows.FieldCount(); ++c)
        if (rows.Fields()[c].Name == column) {
            const Variant value = rows.Get(row, c);
            return value.Type() == VariantType::String ? value.AsString()
                                                       : XsdText(value).value_or("");
        }
    return {};
}

std::string Rowset(const RowStore& rows, const AskedRequest& asked) {
    std::string out =
        "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\" "
        "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:sql=\"urn:schemas-microsoft-com:xml-sql\"><xsd:schema><xsd:complexType "
        "name=\"row\"><xsd:sequence>";
    for (size_t c = 0; c < rows.FieldCount(); ++c) {
        const FieldInfo& field = rows.Fields()[c];
        // A flattened cell set's columns have no type of their own: a server declares the type
        // of the values it holds.
        VariantType type = field.Type;
        for (size_t r = 0; r < rows.RowCount() && type == VariantType::Empty; ++r)
            if (const Variant value = rows.Get(r, c); !value.IsNull()) type = value.Type();
        // A Tabular result's columns are MDX names, which the element name cannot hold.
        const std::string element = ElementName(field.Name);
        out += "<xsd:element name=\"" + element + "\" type=\"" + XsdName(type) + "\"" +
               (element != field.Name ? " sql:field=\"" + EscapeXml(field.Name) + "\"" : "") + "/>";
    }
    out += "</xsd:sequence></xsd:complexType></xsd:schema>";
    std::string treeOp;
    for (const auto& [name, value] : asked.Restrictions)
        if (name == "TREE_OP") treeOp = value;
    for (size_t r = 0; r < rows.RowCount(); ++r) {
        bool kept = true;
        for (const auto& [name, value] : asked.Restrictions) {
            if (name == "CATALOG_NAME" || name == "CUBE_NAME" || name == "TREE_OP") continue;
            // TREE_OP 1 asks for the children of the member named.
            const std::string column =
                name == "MEMBER_UNIQUE_NAME" && treeOp == "1" ? "PARENT_UNIQUE_NAME" : name;
            kept = kept && ColumnText(rows, r, column) == value;
        }
        if (!kept) continue;
        out += "<row>";
        for (size_t c = 0; c < rows.FieldCount(); ++c)
            if (auto text = XsdText(rows.Get(r, c))) {
                const std::string element = ElementName(rows.Fields()[c].Name);
                out += "<" + element + ">" + *text + "</" + element + ">";
            }
        out += "</row>";
    }
    return out + "</root>";
}

// The hierarchy a member belongs to, as its axis describes it or as its unique name begins.
std::string HierarchyOf(const CellSetAxis& axis, size_t index, const CellSetMember& member) {
    if (index < axis.Hierarchies.size()) return axis.Hierarchies[index].UniqueName;
    return member.UniqueName.substr(0, member.UniqueName.find("]") + 1);
}

void WriteAxisInfo(std::string& out, const std::string& name, const CellSetAxis& axis) {
    out += "<AxisInfo name=\"" + name + "\">";
    for (const CellSetHierarchyInfo& hierarchy : axis.Hierarchies) {
        const std::string h = EscapeXml(hierarchy.UniqueName);
        out += "<HierarchyInfo name=\"" + h + "\"><UName name=\"" + h +
               ".[MEMBER_UNIQUE_NAME]\"/><Caption name=\"" + h + ".[MEMBER_CAPTION]\"/>";
        for (const CellSetPropertyInfo& property : hierarchy.Properties)
            out += "<" + ElementName(property.Name) + " name=\"" + EscapeXml(property.UniqueName) +
                   "\" type=\"" + XsdName(property.Type) + "\"/>";
        out += "</HierarchyInfo>";
    }
    out += "</AxisInfo>";
}

void WriteAxis(std::string& out, const std::string& name, const CellSetAxis& axis) {
    out += "<Axis name=\"" + name + "\"><Tuples>";
    for (const CellSetPosition& position : axis.Positions) {
        out += "<Tuple>";
        for (size_t m = 0; m < position.Members.size(); ++m) {
            const CellSetMember& member = position.Members[m];
            out += "<Member Hierarchy=\"" + EscapeXml(HierarchyOf(axis, m, member)) + "\"><UName>" +
                   EscapeXml(member.UniqueName) + "</UName><Caption>" + EscapeXml(member.Caption) +
                   "</Caption><LName>" + EscapeXml(member.LevelUniqueName) + "</LName><LNum>" +
                   std::to_string(member.LevelNumber) + "</LNum><DisplayInfo>0</DisplayInfo>";
            for (const CellSetProperty& property : member.Properties)
                if (auto text = XsdText(property.Value))
                    out += "<" + ElementName(property.Name) + ">" + *text + "</" +
                           ElementName(property.Name) + ">";
            out += "</Member>";
        }
        out += "</Tuple>";
    }
    out += "</Tuples></Axis>";
}

std::string CellSet(const CellSetData& data) {
    std::string out =
        "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:mddataset\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><OlapInfo><AxesInfo>";
    for (size_t a = 0; a < data.Axes.size(); ++a)
        WriteAxisInfo(out, "Axis" + std::to_string(a), data.Axes[a]);
    WriteAxisInfo(out, "SlicerAxis", data.Slicer);
    out += "</AxesInfo></OlapInfo><Axes>";
    for (size_t a = 0; a < data.Axes.size(); ++a)
        WriteAxis(out, "Axis" + std::to_string(a), data.Axes[a]);
    WriteAxis(out, "SlicerAxis", data.Slicer);
    out += "</Axes><CellData>";
    for (size_t c = 0; c < data.Cells.size(); ++c) {
        const CellSetCell& cell = data.Cells[c];
        const auto value = XsdText(cell.Value);
        if (!value && cell.FormattedValue.empty()) continue;  // empty cells are left out
        out += "<Cell CellOrdinal=\"" + std::to_string(c) + "\">";
        if (value)
            out += "<Value xsi:type=\"" + std::string(XsdName(cell.Value.Type())) + "\">" + *value +
                   "</Value>";
        out += "<FmtValue>" + EscapeXml(cell.FormattedValue) + "</FmtValue></Cell>";
    }
    return out + "</CellData></root>";
}

}  // namespace

PeerReply GatewayReply(OlapConnection& connection, const PeerRequest& request) {
    const AskedRequest asked = ReadRequest(request.Body);
    PeerReply reply;
    try {
        const auto format = asked.Properties.find("Format");
        if (asked.Execute && format != asked.Properties.end() && format->second == "Tabular") {
            RowStore rows;
            connection.ExecuteRows(asked.Statement, rows);
            reply.Body = Envelope("ExecuteResponse", Rowset(rows, {}));
        } else if (asked.Execute) {
            reply.Body = Envelope("ExecuteResponse", CellSet(connection.Execute(asked.Statement)));
        } else {
            std::string cube;
            for (const auto& [name, value] : asked.Restrictions)
                if (name == "CUBE_NAME") cube = value;
            RowStore rows;
            connection.SchemaRowset(asked.RequestType, cube, rows);
            reply.Body = Envelope("DiscoverResponse", Rowset(rows, asked));
        }
    } catch (const CADOException& error) {
        reply.Status = 500;
        reply.Reason = "Internal Server Error";
        reply.Body =
            "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
            "<soap:Body><soap:Fault><faultcode>soap:Server</faultcode><faultstring>" +
            EscapeXml(error.what()) +
            "</faultstring></soap:Fault></soap:Body>"
            "</soap:Envelope>";
    }
    return reply;
}

}  // namespace orvik::test
