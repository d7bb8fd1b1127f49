// The server's replies as XMLA clients read them: the SOAP envelope with the session header,
// a rowset (Discover, and Execute in the Tabular format) with its inline schema, a cell set in
// the Multidimensional format (MDDataSet), and SOAP faults. Everything is appended to one string
// as it is produced, so a large cell set costs its text once, never a document tree beside it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/AdoCellSet.h"
#include "data/RowStore.h"
#include "olap/XmlaRequest.h"

namespace orvik::xmla {

// Opens the envelope and the DiscoverResponse/ExecuteResponse around a result; with a
// `sessionId` the header names the session the request ran in.
void BeginReply(std::string& out, Method method, std::string_view sessionId);
// Closes what BeginReply opened.
void EndReply(std::string& out, Method method);

// The rows of `rows` that `keep` accepts (all when it is empty), as a rowset root with its
// schema. Column names that are not XML names ("[Measures].[Unit Sales]") are escaped as
// _xHHHH_ and given whole in sql:field. The columns in `fixed` hold the text given there in
// every row, whatever the rowset holds (the catalog's name as the server calls it).
void WriteRowset(std::string& out, const RowStore& rows,
                 const std::function<bool(size_t row)>& keep = {},
                 const std::vector<std::pair<size_t, std::string>>& fixed = {});

// `data` as an MDDataSet root. `cube` names the cube in the cube information ("" leaves it out).
// Cells without value and formatted text are left out, as sparse cell sets are sent.
void WriteCellSet(std::string& out, const CellSetData& data, std::string_view cube);

// An empty result root (the answer to EndSession and to statements that return nothing).
void WriteEmptyRoot(std::string& out);

// A whole SOAP fault envelope: `code` is "Client" (the request was wrong) or "Server" (it could
// not be answered), `text` the message the client shows.
std::string FaultReply(std::string_view code, std::string_view text);

// The XML Schema text of `value`; false for empty and null, which are written as absent.
bool XsdText(const Variant& value, std::string& text);

}  // namespace orvik::xmla
