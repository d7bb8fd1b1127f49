#include "design/QueryPreview.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <regex>

#include "core/Run.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"
#include "data/CellSetResult.h"
#include "data/ProviderConnection.h"
#include "data/RecordsetResult.h"
#include "data/Variant.h"
#include "design/ConnectionEditor.h"
#include "model/OvInfoDS.h"
#include "params/ParamSubstitution.h"
#include "params/SqlScanner.h"
#include "sources/CatalogTree.h"

namespace orvik::design {
namespace {

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

void ReadRows(const ResultTable& result, size_t maxRows, QueryPreview& preview) {
    const int columns = result.ColumnCount();
    for (int col = 0; col < columns; ++col) preview.Headers.push_back(result.Header(col));
    preview.TotalRows = result.RowCount();
    std::vector<Variant> values(static_cast<size_t>(columns));
    for (long row = 1; row <= preview.TotalRows && preview.Rows.size() < maxRows; ++row) {
        result.ReadRow(row, values);
        std::vector<std::string> texts;
        for (const Variant& value : values) texts.push_back(VariantToText(value));
        preview.Rows.push_back(std::move(texts));
    }
}

// The offset of `statement` (as run) in the edited text, when it stands there unchanged: then an
// offset into the statement is one into the text.
std::optional<size_t> StatementStart(const std::string& text, const std::string& statement) {
    const size_t at = text.find(statement);
    if (at == std::string::npos) return std::nullopt;
    return at;
}

}  // namespace

QueryLanguage LanguageOf(const COvInfoDS& source) {
    return source.tpDS.Value == "OLAP" ? QueryLanguage::Mdx : QueryLanguage::Sql;
}

std::optional<size_t> ErrorOffsetIn(const std::string& error, const std::string& query) {
    std::smatch found;
    static const std::regex character("(?:at )?(?:character|position) ([0-9]+)", std::regex::icase);
    if (std::regex_search(error, found, character)) {
        const size_t position = std::strtoul(found[1].str().c_str(), nullptr, 10);
        if (position >= 1 && position <= query.size()) return position - 1;
    }
    static const std::regex lineColumn("line ([0-9]+),? column ([0-9]+)", std::regex::icase);
    if (std::regex_search(error, found, lineColumn)) {
        size_t line = std::strtoul(found[1].str().c_str(), nullptr, 10);
        const size_t column = std::strtoul(found[2].str().c_str(), nullptr, 10);
        size_t at = 0;
        while (line > 1 && at != std::string::npos) {
            at = query.find('\n', at);
            if (at != std::string::npos) ++at;
            --line;
        }
        if (at != std::string::npos && column >= 1 && at + column - 1 <= query.size())
            return at + column - 1;
    }
    static const std::regex nearToken("near \"([^\"]+)\"");
    if (std::regex_search(error, found, nearToken)) {
        const size_t at = query.find(found[1].str());
        if (at != std::string::npos) return at;
    }
    return std::nullopt;
}

QueryPreview PreviewQuery(Run& run, const COvInfoDS& source, const std::string& text,
                          size_t maxRows) {
    QueryPreview preview;
    std::string statement = text;
    try {
        const std::string connection =
            DSetParam(run, source.DSN.Value, SubstitutionTarget::ConnectionString);
        if (LanguageOf(source) == QueryLanguage::Mdx) {
            statement = DSetParam(run, text, SubstitutionTarget::Mdx);
            CADOMDCellSet cells;
            cells.Open(statement, connection, run.ProgramFolder());
            ReadRows(CellSetResult(cells), maxRows, preview);
            return preview;
        }
        CADODatabase database;
        database.Open(connection, run.ProgramFolder());
        const bool backslashes = database.Provider().BackslashEscapesInStrings();
        const std::string query =
            DSetParam(run, text, PlacementOptions{SubstitutionTarget::Sql, backslashes});
        CADORecordset rows(&database);
        bool ran = false;
        for (std::string& each : SplitSqlStatements(query, backslashes)) {
            if (IsBlank(each)) continue;
            statement = std::move(each);
            rows.Open(statement, CADORecordset::openUnknown);
            ran = true;
        }
        if (!ran) {
            preview.Error = "There is no statement to run.";
            return preview;
        }
        ReadRows(RecordsetResult(rows), maxRows, preview);
    } catch (const std::exception& error) {
        preview = QueryPreview{};
        preview.Error = error.what();
        if (const auto start = StatementStart(text, statement))
            if (const auto offset = ErrorOffsetIn(preview.Error, statement))
                preview.ErrorOffset = *start + *offset;
    }
    return preview;
}

std::vector<std::string> CompletionNames(Run& run, const COvInfoDS& source) {
    std::vector<std::string> names;
    try {
        if (LanguageOf(source) == QueryLanguage::Mdx) {
            if (const CatalogTree* tree = TreeBarOf(source)) {
                for (const auto& item : tree->Items()) {
                    if (!item->Node.UniqueName.empty()) names.push_back(item->Node.UniqueName);
                    if (item->Role == CatalogRole::Cube) names.push_back("[" + item->Caption + "]");
                }
            }
        } else {
            CADODatabase database;
            database.Open(DSetParam(run, source.DSN.Value, SubstitutionTarget::ConnectionString),
                          run.ProgramFolder());
            for (const auto& [table, columns] : TablesOf(database)) {
                names.push_back(table);
                names.insert(names.end(), columns.begin(), columns.end());
            }
        }
    } catch (const std::exception&) {
        return {};  // nothing to offer is no error worth a message while typing
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace orvik::design
