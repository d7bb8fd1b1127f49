// Reads a rowset (a Discover reply, or the Tabular result of an Execute) into a RowStore, the
// table every data source reads. Columns come from the reply's inline schema, or from the rows
// themselves when a server sends none; a column a row leaves out is null there, as the protocol
// means it. When the caller knows the standard columns of the rowset, they come first in their
// standard order (report code reads some schema rowsets by position), whatever order the
// server chose, and the server's extra columns follow.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "data/RowStore.h"
#include "olap/XmlaResponse.h"

namespace orvik::xmla {

class RowsetPayload : public ReplyPayload {
  public:
    // The most rows and the most columns a rowset may have.
    static constexpr size_t kMaxRows = 5'000'000;
    static constexpr size_t kMaxColumns = 4096;

    // `standard`: the columns that come first, typed (empty: the server's order and types).
    RowsetPayload(RowStore& into, std::vector<FieldInfo> standard = {});

    void Begin(std::string_view rootNamespace) override;
    void Child(XmlaXmlReader& reader) override;
    // Writes the rows read into the RowStore. Throws CADOException when the reply held no rowset.
    void End() override;

  private:
    void ReadSchema(XmlaXmlReader& reader);
    void ReadRow(XmlaXmlReader& reader);
    // The column for the element `element`, added when new.
    size_t Column(XmlaXmlReader& reader, const std::string& element, const std::string& name,
                  VariantType type);

    RowStore& into_;
    std::string namespace_;
    std::vector<FieldInfo> fields_;
    std::unordered_map<std::string, size_t> byElement_;
    // Rows as read: (column, text) pairs. Held until the end because a row may bring a column
    // no schema declared, and a RowStore takes its columns before its first row.
    std::vector<std::vector<std::pair<size_t, std::string>>> rows_;
};

// Reads a whole rowset reply from `source` into `into`; see RowsetPayload. Throws XmlaFault for
// the server's errors, CADOException for a reply that is not a rowset or cannot be read.
ReplyInfo ReadRowsetReply(XmlaByteSource& source, RowStore& into,
                          std::vector<FieldInfo> standard = {});

}  // namespace orvik::xmla
