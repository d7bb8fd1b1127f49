// A rowset's inline schema declares its row type as a complexType named "row" whose sequence
// lists one element per column, with the column's XML Schema type and, for columns whose names
// are not XML names ("[Measures].[Unit Sales]" in a Tabular result), the real name in sql:field.
#include "olap/XmlaRowsetReader.h"

#include "olap/XmlaRequest.h"
#include "olap/XmlaValues.h"

namespace orvik::xmla {
namespace {

constexpr const char* kSource = "XMLA";
constexpr const char* kSqlNs = "urn:schemas-microsoft-com:xml-sql";
constexpr std::string_view kXmlSchemaNs = "http://www.w3.org/2001/XMLSchema";

}  // namespace

RowsetPayload::RowsetPayload(RowStore& into, std::vector<FieldInfo> standard)
    : into_(into), fields_(std::move(standard)) {
    for (size_t i = 0; i < fields_.size(); ++i) byElement_.emplace(fields_[i].Name, i);
}

void RowsetPayload::Begin(std::string_view rootNamespace) {
    namespace_ = rootNamespace;
}

size_t RowsetPayload::Column(XmlaXmlReader& reader, const std::string& element,
                             const std::string& name, VariantType type) {
    if (const auto found = byElement_.find(element); found != byElement_.end())
        return found->second;
    if (fields_.size() >= kMaxColumns)
        throw CADOException(AdoError::Failure,
                            "The OLAP server's rowset has more than " +
                                std::to_string(kMaxColumns) + " columns (" + reader.Where() + ")",
                            kSource);
    fields_.push_back({name, type});
    byElement_.emplace(element, fields_.size() - 1);
    return fields_.size() - 1;
}

void RowsetPayload::Child(XmlaXmlReader& reader) {
    if (namespace_ != kRowsetNs) return;  // End says what came instead
    if (reader.Is("schema", kXmlSchemaNs)) {
        ReadSchema(reader);
    } else if (reader.LocalName() == "row") {
        ReadRow(reader);
    }
}

void RowsetPayload::ReadSchema(XmlaXmlReader& reader) {
    reader.Children([&] {
        if (!reader.Is("complexType", kXmlSchemaNs) || reader.Attribute("name") != "row") return;
        reader.Children([&] {
            if (!reader.Is("sequence", kXmlSchemaNs)) return;
            reader.Children([&] {
                if (!reader.Is("element", kXmlSchemaNs)) return;
                const std::string element = reader.Attribute("name").value_or("");
                if (element.empty()) return;
                const std::string name =
                    reader.Attribute("field", kSqlNs).value_or(DecodeXmlName(element));
                Column(reader, element, name, XsdType(reader.Attribute("type").value_or("")));
            });
        });
    });
}

void RowsetPayload::ReadRow(XmlaXmlReader& reader) {
    if (rows_.size() >= kMaxRows)
        throw CADOException(AdoError::Failure,
                            "The OLAP server's rowset has more than " + std::to_string(kMaxRows) +
                                " rows: restrict the request",
                            kSource);
    std::vector<std::pair<size_t, std::string>> row;
    reader.Children([&] {
        const std::string element(reader.LocalName());
        const size_t column = Column(reader, element, DecodeXmlName(element), VariantType::String);
        row.emplace_back(column, reader.ElementText());
    });
    rows_.push_back(std::move(row));
}

void RowsetPayload::End() {
    if (namespace_ != kRowsetNs)
        throw CADOException(AdoError::Failure,
                            namespace_ == kMdDataSetNs
                                ? "The OLAP server answered with a cell set where a table was "
                                  "expected"
                                : "The OLAP server returned no rows for the request",
                            kSource);
    std::vector<FieldInfo> fields = fields_;
    into_.SetFields(std::move(fields));
    for (auto& row : rows_) {
        into_.AppendRow();
        for (size_t column = 0; column < fields_.size(); ++column) into_.PutNull(column);
        // A column a row repeats keeps its last value, as a reader by name would see it.
        for (auto& [column, text] : row) into_.Put(column, XsdValue(text, fields_[column].Type));
        row.clear();
        row.shrink_to_fit();
    }
    rows_.clear();
}

ReplyInfo ReadRowsetReply(XmlaByteSource& source, RowStore& into, std::vector<FieldInfo> standard) {
    RowsetPayload payload(into, std::move(standard));
    XmlaXmlReader reader(source);
    return ReadReply(reader, payload);
}

}  // namespace orvik::xmla
