// Finding which declared aggregate tables the database holds. A missing table or column is the
// schema author's business, not the report's: the aggregate is left out with a warning and the
// fact table answers instead.
#include <algorithm>
#include <regex>

#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "data/Variant.h"
#include "olap/AggregateTables.h"
#include "olap/NameCase.h"
#include "olap/SqlDialect.h"

namespace orvik::cube {
namespace {

// True when the whole of `name` matches `pattern`. A pattern the regex engine gives up on
// (too complex for a name) matches nothing.
bool Matches(const std::string& pattern, const std::string& name, bool ignoreCase) {
    try {
        const auto flags =
            ignoreCase ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript;
        return std::regex_match(name, std::regex(pattern, flags));
    } catch (const std::regex_error&) {
        return false;
    }
}

bool ExcludedBy(const std::vector<AggregateExclude>& excludes, const std::string& table) {
    for (const AggregateExclude& exclude : excludes) {
        if (!exclude.Name.empty()) {
            if (exclude.IgnoreCase ? SameName(exclude.Name, table) : exclude.Name == table)
                return true;
        } else if (Matches(exclude.Pattern, table, exclude.IgnoreCase)) {
            return true;
        }
    }
    return false;
}

// Every column name the declaration relies on.
std::vector<std::string> DeclaredColumns(const AggregateDefinition& aggregate) {
    std::vector<std::string> columns = {aggregate.FactCount};
    for (const AggregateForeignKey& key : aggregate.ForeignKeys)
        columns.push_back(key.AggregateColumn);
    for (const AggregateMeasure& measure : aggregate.Measures) columns.push_back(measure.Column);
    for (const AggregateLevel& level : aggregate.Levels) columns.push_back(level.Column);
    return columns;
}

}  // namespace

void AggregateTables::Warn(int line, const std::string& what) {
    warn_("Cube schema " + catalog_ + " line " + std::to_string(line) + ": " + what);
}

std::string AggregateTables::Spelled(const std::vector<std::string>& names,
                                     const std::string& name) {
    for (const std::string& candidate : names)
        if (candidate == name) return candidate;
    for (const std::string& candidate : names)
        if (SameName(candidate, name)) return candidate;
    return "";
}

const std::vector<std::string>& AggregateTables::DatabaseTables() {
    if (tables_) return *tables_;
    CADORecordset rows(&database_);
    rows.OpenSchema(CADORecordset::schemaTables);
    std::vector<std::string> names;
    Variant name;
    for (; !rows.IsEOF(); rows.MoveNext()) {
        rows.GetFieldValue(2, name);
        // A server lists the same name once per schema holding it: the queries take the one
        // the session finds first.
        const std::string text = name.AsString();
        if (!text.empty() && std::find(names.begin(), names.end(), text) == names.end())
            names.push_back(text);
    }
    return *(tables_ = std::move(names));
}

bool AggregateTables::Excluded(const CubeDefinition& base, const AggregateDefinition& aggregate,
                               const std::string& table) {
    return ExcludedBy(base.AggregateExcludes, table) || ExcludedBy(aggregate.Excludes, table);
}

std::optional<AggregateTable> AggregateTables::Probe(const AggregateDefinition& aggregate,
                                                     const std::string& table) {
    const std::string quoted = QuoteIdentifier(DialectOf(database_), table, database_.Provider());
    AggregateTable found;
    found.Definition = &aggregate;
    found.Table = table;
    try {
        CADORecordset rows(&database_);
        rows.Open("SELECT * FROM " + quoted + " WHERE 1=0");
        std::vector<std::string> names;
        for (int field = 0; field < rows.GetFieldCount(); ++field)
            names.push_back(rows.GetFieldName(field));
        std::string missing;
        for (const std::string& column : DeclaredColumns(aggregate)) {
            const std::string spelled = Spelled(names, column);
            if (spelled.empty())
                missing += (missing.empty() ? "" : ", ") + column;
            else
                found.Columns[column] = spelled;
        }
        if (!missing.empty()) {
            Warn(aggregate.Line, "the aggregate table '" + table + "' has no column " + missing +
                                     ": it is not used");
            return std::nullopt;
        }
        rows.Open("SELECT COUNT(*) FROM " + quoted);
        Variant count;
        rows.GetFieldValue(0, count);
        found.Rows = count.AsInt64();
    } catch (const CADOException& error) {
        Warn(aggregate.Line, "the aggregate table '" + table +
                                 "' cannot be read and is not used: " + error.GetErrorMessage());
        return std::nullopt;
    }
    return found;
}

const std::vector<AggregateTable>& AggregateTables::Found(const CubeDefinition& base) {
    auto [entry, made] = found_.try_emplace(base.Name);
    std::vector<AggregateTable>& found = entry->second;
    if (!made || base.Aggregates.empty() || !base.Fact) return found;
    std::vector<std::string> tables;
    try {
        tables = DatabaseTables();
    } catch (const CADOException& error) {
        Warn(base.Line,
             "the database's tables cannot be listed, so the aggregate tables of the "
             "cube '" +
                 base.Name + "' are not used: " + error.GetErrorMessage());
        return found;
    }
    // A table serves one declaration: a named one before any pattern, and never the fact table.
    std::vector<std::string> taken = {base.Fact->IsJoin() ? "" : base.Fact->Table};
    auto free = [&](const std::string& table) { return Spelled(taken, table).empty(); };
    for (const AggregateDefinition& aggregate : base.Aggregates) {
        if (aggregate.Name.empty() || Excluded(base, aggregate, aggregate.Name)) continue;
        const std::string table = Spelled(tables, aggregate.Name);
        if (table.empty()) {
            Warn(aggregate.Line, "the aggregate table '" + aggregate.Name +
                                     "' is not in the database: it is not used");
            continue;
        }
        if (!free(table)) continue;
        taken.push_back(table);
        if (auto probed = Probe(aggregate, table)) found.push_back(std::move(*probed));
    }
    for (const AggregateDefinition& aggregate : base.Aggregates) {
        if (aggregate.Pattern.empty()) continue;
        for (const std::string& table : tables) {
            if (!free(table) || !Matches(aggregate.Pattern, table, false) ||
                Excluded(base, aggregate, table))
                continue;
            taken.push_back(table);
            if (auto probed = Probe(aggregate, table)) found.push_back(std::move(*probed));
        }
    }
    return found;
}

}  // namespace orvik::cube
