// Written by hand rather than through a DOM, so that the reply costs its text and no more. The
// element forms are the common ones every client in our recorded conversations reads: the XMLA
// namespace as the default of the method response, rowset and MDDataSet roots in their own
// namespaces, xsi:type on cell values so that a client knows a number from a string.
#include "xmlaserver/XmlaReplyWriter.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace orvik::xmla {
namespace {

const char* MethodResponse(Method method) {
    return method == Method::Discover ? "DiscoverResponse" : "ExecuteResponse";
}

// A name as an element name: characters a name cannot hold become _xHHHH_ (for the first
// character, digits too; bytes of UTF-8 sequences stay as they are).
std::string ElementName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
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
    if (out.empty()) out = "_";
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

void Append(std::string& out, std::string_view a) {
    out.append(a.data(), a.size());
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // Control characters other than tab and line ends cannot appear in XML 1.0 at
                // all, not even as references: a value from a database could hold them.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                    out += "\xEF\xBF\xBD";
                else
                    out += c;
        }
    }
}

void AppendElement(std::string& out, std::string_view name, std::string_view text) {
    out += '<';
    Append(out, name);
    out += '>';
    AppendEscaped(out, text);
    out += "</";
    Append(out, name);
    out += '>';
}

// The hierarchy a member belongs to, as its axis describes it or as its unique name begins.
std::string HierarchyOf(const CellSetAxis& axis, size_t index, const CellSetMember& member) {
    if (index < axis.Hierarchies.size()) return axis.Hierarchies[index].UniqueName;
    return member.UniqueName.substr(0, member.UniqueName.find(']') + 1);
}

void WriteAxisInfo(std::string& out, std::string_view name, const CellSetAxis& axis) {
    out += "<AxisInfo name=\"";
    Append(out, name);
    out += "\">";
    for (const CellSetHierarchyInfo& hierarchy : axis.Hierarchies) {
        out += "<HierarchyInfo name=\"";
        AppendEscaped(out, hierarchy.UniqueName);
        out += "\"><UName name=\"";
        AppendEscaped(out, hierarchy.UniqueName);
        out += ".[MEMBER_UNIQUE_NAME]\" type=\"xsd:string\"/><Caption name=\"";
        AppendEscaped(out, hierarchy.UniqueName);
        out += ".[MEMBER_CAPTION]\" type=\"xsd:string\"/><LName name=\"";
        AppendEscaped(out, hierarchy.UniqueName);
        out += ".[LEVEL_UNIQUE_NAME]\" type=\"xsd:string\"/><LNum name=\"";
        AppendEscaped(out, hierarchy.UniqueName);
        out += ".[LEVEL_NUMBER]\" type=\"xsd:int\"/><DisplayInfo name=\"";
        AppendEscaped(out, hierarchy.UniqueName);
        out += ".[DISPLAY_INFO]\" type=\"xsd:unsignedInt\"/>";
        for (const CellSetPropertyInfo& property : hierarchy.Properties) {
            const std::string element = ElementName(property.Name);
            out += '<' + element + " name=\"";
            AppendEscaped(out, property.UniqueName);
            out += "\" type=\"";
            out += XsdName(property.Type);
            out += "\"/>";
        }
        out += "</HierarchyInfo>";
    }
    out += "</AxisInfo>";
}

void WriteAxis(std::string& out, std::string_view name, const CellSetAxis& axis) {
    out += "<Axis name=\"";
    Append(out, name);
    out += "\"><Tuples>";
    std::string text;
    for (const CellSetPosition& position : axis.Positions) {
        out += "<Tuple>";
        for (size_t m = 0; m < position.Members.size(); ++m) {
            const CellSetMember& member = position.Members[m];
            out += "<Member Hierarchy=\"";
            AppendEscaped(out, HierarchyOf(axis, m, member));
            out += "\">";
            AppendElement(out, "UName", member.UniqueName);
            AppendElement(out, "Caption", member.Caption);
            AppendElement(out, "LName", member.LevelUniqueName);
            AppendElement(out, "LNum", std::to_string(member.LevelNumber));
            out += "<DisplayInfo>0</DisplayInfo>";
            for (const CellSetProperty& property : member.Properties) {
                // A property the member has, but without value, is sent as nil rather than
                // left out, which would say the member has no such property.
                const std::string element = ElementName(property.Name);
                if (XsdText(property.Value, text))
                    AppendElement(out, element, text);
                else
                    out += '<' + element + " xsi:nil=\"true\"/>";
            }
            out += "</Member>";
        }
        out += "</Tuple>";
    }
    out += "</Tuples></Axis>";
}

}  // namespace

bool XsdText(const Variant& value, std::string& text) {
    char buffer[64];
    switch (value.Type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return false;
        case VariantType::Bool:
            text = value.AsInt64() ? "true" : "false";
            return true;
        case VariantType::R4:
        case VariantType::R8: {
            // The shortest text that reads back as the same double.
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.AsDouble());
            text.assign(buffer, result.ptr);
            return true;
        }
        case VariantType::Decimal:
            text = value.AsDecimal().ToText();
            return true;
        case VariantType::Currency:
            std::snprintf(buffer, sizeof buffer, "%.4f", value.AsCurrency() / 10000.0);
            text = buffer;
            return true;
        case VariantType::Date: {
            const DateParts p = value.AsDateParts();
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", p.Year, p.Month,
                          p.Day, p.Hour, p.Minute, p.Second);
            text = buffer;
            return true;
        }
        case VariantType::String:
            text = value.AsString();
            return true;
        case VariantType::UI8:
            text = std::to_string(static_cast<uint64_t>(value.AsInt64()));
            return true;
        default:
            text = std::to_string(value.AsInt64());
            return true;
    }
}

void BeginReply(std::string& out, Method method, std::string_view sessionId) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<soap:Envelope xmlns:soap=\"";
    Append(out, kSoapEnvelopeNs);
    out += "\">";
    if (!sessionId.empty()) {
        out += "<soap:Header><Session xmlns=\"";
        Append(out, kXmlaNs);
        out += "\" SessionId=\"";
        AppendEscaped(out, sessionId);
        out += "\"/></soap:Header>";
    }
    out += "<soap:Body><";
    out += MethodResponse(method);
    out += " xmlns=\"";
    Append(out, kXmlaNs);
    out += "\"><return>";
}

void EndReply(std::string& out, Method method) {
    out += "</return></";
    out += MethodResponse(method);
    out += "></soap:Body></soap:Envelope>";
}

void WriteRowset(std::string& out, const RowStore& rows,
                 const std::function<bool(size_t row)>& keep,
                 const std::vector<std::pair<size_t, std::string>>& fixed) {
    out += "<root xmlns=\"";
    Append(out, kRowsetNs);
    out +=
        "\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xmlns:sql=\"urn:schemas-microsoft-com:xml-sql\"><xsd:schema "
        "targetNamespace=\"";
    Append(out, kRowsetNs);
    out +=
        "\" elementFormDefault=\"qualified\"><xsd:element name=\"root\"><xsd:complexType>"
        "<xsd:sequence><xsd:element name=\"row\" type=\"row\" minOccurs=\"0\" "
        "maxOccurs=\"unbounded\"/></xsd:sequence></xsd:complexType></xsd:element>"
        "<xsd:complexType name=\"row\"><xsd:sequence>";
    std::vector<std::string> elements;
    for (const FieldInfo& field : rows.Fields()) {
        elements.push_back(ElementName(field.Name));
        out += "<xsd:element minOccurs=\"0\" name=\"" + elements.back() + "\" sql:field=\"";
        AppendEscaped(out, field.Name);
        out += "\" type=\"";
        out += XsdName(field.Type);
        out += "\"/>";
    }
    out += "</xsd:sequence></xsd:complexType></xsd:schema>";
    std::string text;
    for (size_t r = 0; r < rows.RowCount(); ++r) {
        if (keep && !keep(r)) continue;
        out += "<row>";
        for (size_t c = 0; c < rows.FieldCount(); ++c) {
            const std::string* given = nullptr;
            for (const auto& [column, value] : fixed)
                if (column == c) given = &value;
            if (given)
                AppendElement(out, elements[c], *given);
            else if (XsdText(rows.Get(r, c), text))
                AppendElement(out, elements[c], text);
        }
        out += "</row>";
    }
    out += "</root>";
}

void WriteCellSet(std::string& out, const CellSetData& data, std::string_view cube) {
    out += "<root xmlns=\"";
    Append(out, kMdDataSetNs);
    out += "\" xmlns:xsi=\"";
    out += kXsiNs;
    out += "\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><OlapInfo><CubeInfo>";
    if (!cube.empty()) {
        out += "<Cube>";
        AppendElement(out, "CubeName", cube);
        out += "</Cube>";
    }
    out += "</CubeInfo><AxesInfo>";
    for (size_t a = 0; a < data.Axes.size(); ++a)
        WriteAxisInfo(out, "Axis" + std::to_string(a), data.Axes[a]);
    WriteAxisInfo(out, "SlicerAxis", data.Slicer);
    out +=
        "</AxesInfo><CellInfo><Value name=\"VALUE\"/><FmtValue name=\"FORMATTED_VALUE\"/>"
        "</CellInfo></OlapInfo><Axes>";
    for (size_t a = 0; a < data.Axes.size(); ++a)
        WriteAxis(out, "Axis" + std::to_string(a), data.Axes[a]);
    WriteAxis(out, "SlicerAxis", data.Slicer);
    out += "</Axes><CellData>";
    std::string value;
    for (size_t c = 0; c < data.Cells.size(); ++c) {
        const CellSetCell& cell = data.Cells[c];
        const bool hasValue = XsdText(cell.Value, value);
        if (!hasValue && cell.FormattedValue.empty()) continue;
        out += "<Cell CellOrdinal=\"";
        out += std::to_string(c);
        out += "\">";
        if (hasValue) {
            out += "<Value xsi:type=\"";
            out += XsdName(cell.Value.Type());
            out += "\">";
            AppendEscaped(out, value);
            out += "</Value>";
        }
        AppendElement(out, "FmtValue", cell.FormattedValue);
        out += "</Cell>";
    }
    out += "</CellData></root>";
}

void WriteEmptyRoot(std::string& out) {
    out += "<root xmlns=\"";
    Append(out, kEmptyNs);
    out += "\"/>";
}

std::string FaultReply(std::string_view code, std::string_view text) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<soap:Envelope xmlns:soap=\"";
    Append(out, kSoapEnvelopeNs);
    out += "\"><soap:Body><soap:Fault><faultcode>soap:";
    Append(out, code);
    out += "</faultcode>";
    AppendElement(out, "faultstring", text);
    out += "<detail><Error xmlns=\"";
    Append(out, kXmlaNs);
    out += "\" ErrorCode=\"3238658121\" Description=\"";
    AppendEscaped(out, text);
    out += "\"/></detail></soap:Fault></soap:Body></soap:Envelope>";
    return out;
}

}  // namespace orvik::xmla
