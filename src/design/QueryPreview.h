// What the query editor's Run button shows: the first rows of a data source's query as the edited
// text stands (parameters substituted as a run substitutes them), or the error and where in the
// text it points; and the names the editor offers to complete (tables and columns of the
// source's database, the cube's measures, dimensions and levels).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class COvInfoDS;

namespace orvik {
class Run;
}

namespace orvik::design {

enum class QueryLanguage { Sql, Mdx };

// The language of `source`'s query: MDX for a cube source, SQL otherwise.
QueryLanguage LanguageOf(const COvInfoDS& source);

struct QueryPreview {
    std::vector<std::string> Headers;
    std::vector<std::vector<std::string>> Rows;  // at most the rows asked for
    long TotalRows = 0;
    std::string Error;                  // "" when the query ran
    std::optional<size_t> ErrorOffset;  // where in the edited text the error points, when known
};

// Runs `text` as `source`'s query on a connection of its own (the source's own is left alone),
// keeping the first `maxRows` rows. Never throws.
QueryPreview PreviewQuery(Run& run, const COvInfoDS& source, const std::string& text,
                          size_t maxRows = 100);

// Where in `query` the database's `error` points: "near "x"" (the first x), "at character N",
// "line L, column C" or "position N"; nullopt when it names no place.
std::optional<size_t> ErrorOffsetIn(const std::string& error, const std::string& query);

// The names worth completing in `source`'s query, sorted, without repeats: table and column names
// for SQL (read from the database), the cube's and its catalog's unique names for MDX (from the
// catalog the source has read). Empty when they cannot be read.
std::vector<std::string> CompletionNames(Run& run, const COvInfoDS& source);

}  // namespace orvik::design
