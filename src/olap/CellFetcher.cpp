#include "olap/CellFetcher.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "core/StopRequest.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "olap/CellCache.h"
#include "olap/StarQuery.h"

namespace orvik::cube {
namespace {

// Writes the key of a cell (its members' addresses and its compound) into `key`.
void WritePointerKey(const std::vector<Member*>& coordinate, int compound, std::string& key) {
    key.assign(reinterpret_cast<const char*>(coordinate.data()),
               coordinate.size() * sizeof(Member*));
    key.append(reinterpret_cast<const char*>(&compound), sizeof compound);
}

std::string PointerKey(const std::vector<Member*>& coordinate, int compound) {
    std::string key;
    WritePointerKey(coordinate, compound, key);
    return key;
}

}  // namespace

int CellFetcher::AddCompound(const TupleList& tuples) {
    std::string key;
    for (const Tuple& tuple : tuples) {
        key.append(reinterpret_cast<const char*>(tuple.data()), tuple.size() * sizeof(Member*));
        key += '\0';
    }
    auto found = compoundIds_.find(key);
    if (found != compoundIds_.end()) return found->second;
    compounds_.push_back(tuples);
    compoundKeys_.push_back(key);
    const int id = static_cast<int>(compounds_.size()) - 1;
    compoundIds_.emplace(std::move(key), id);
    return id;
}

bool CellFetcher::Lookup(const std::vector<Member*>& coordinate, int compound,
                         const Member& measure, Variant& value) {
    // A cell is looked up for every cell of every pass: its key is written into the same
    // buffer each time rather than allocated.
    std::string& key = lookupKey_;
    WritePointerKey(coordinate, compound, key);
    auto found = cells_.find(std::string_view(key));
    if (found != cells_.end()) {
        if (const Variant* cell = found->second.Find(measure.MeasureIndex)) {
            value = *cell;
            return true;
        }
    }
    if (cache_) {
        if (std::optional<Variant> kept =
                cache_->Find(CacheKey(coordinate, compound), measure.MeasureIndex)) {
            value = *kept;
            cells_[key][measure.MeasureIndex] = std::move(*kept);
            return true;
        }
    }
    Request& request = pending_[key];
    if (request.Coordinate.empty()) {
        request.Coordinate = coordinate;
        request.Compound = compound;
    }
    request.Measures.insert(measure.MeasureIndex);
    value = Variant();
    return false;
}

void CellFetcher::Prefill(const std::vector<Member*>& coordinate, int compound,
                          std::span<const int> measureIndexes, std::span<const Variant> values) {
    MeasureValues& cell = cells_[PointerKey(coordinate, compound)];
    cell.Reserve(measureIndexes.size());
    for (size_t m = 0; m < measureIndexes.size() && m < values.size(); ++m)
        cell[measureIndexes[m]] = values[m];
}

std::string CellFetcher::CacheKey(const std::vector<Member*>& coordinate, int compound) const {
    std::string key = PointerKey(coordinate, -1);
    if (compound >= 0) key += compoundKeys_[static_cast<size_t>(compound)];
    return key;
}

size_t CellFetcher::DistinctKeys(const Hierarchy& hierarchy, int depth) {
    const std::string id = hierarchy.UniqueName + "#" + std::to_string(depth);
    auto found = distinctKeys_.find(id);
    if (found != distinctKeys_.end()) return found->second;
    std::set<std::string> keys;
    for (const Member* member : hierarchy.ByLevel[static_cast<size_t>(depth)])
        keys.insert(member->KeySql);
    return distinctKeys_[id] = keys.size();
}

void CellFetcher::FetchPending() {
    // Group requests by base cube and shape: the depth of each hierarchy's member and the compound.
    std::map<std::string, std::vector<const Request*>> groups;
    std::map<std::string, std::string> groupCube;
    std::vector<std::string> cubeOfMeasure;
    const CubeDefinition& definition = cube_.Definition();
    for (const auto& [key, request] : pending_) {
        std::map<std::string, std::vector<int>> byCube;
        for (int m : request.Measures)
            byCube[definition.Measures[static_cast<size_t>(m)].Cube].push_back(m);
        for (const auto& [cubeName, measures] : byCube) {
            std::string shape = cubeName + '\0' + std::to_string(request.Compound) + ':';
            for (size_t h = 1; h < request.Coordinate.size(); ++h) {
                const Member* member = request.Coordinate[h];
                shape += std::to_string(member && !member->IsAll ? member->Depth : -1) + ',';
            }
            groups[shape].push_back(&request);
            groupCube[shape] = cubeName;
        }
    }
    for (const auto& [shape, requests] : groups) {
        ThrowIfStopped("The query");
        FetchGroup(requests, groupCube[shape]);
    }
    pending_.clear();
}

void CellFetcher::FetchGroup(const std::vector<const Request*>& requests,
                             const std::string& cubeName) {
    const CubeDefinition& definition = cube_.Definition();
    const CubeDefinition& base = BaseCube(schema_, definition, cubeName);
    const Request& first = *requests.front();
    std::vector<int> measures;
    for (const Request* request : requests)
        for (int m : request->Measures)
            if (definition.Measures[static_cast<size_t>(m)].Cube == cubeName) measures.push_back(m);
    std::sort(measures.begin(), measures.end());
    measures.erase(std::unique(measures.begin(), measures.end()), measures.end());

    // Hierarchies the cells vary on are grouped by and filtered to the keys asked for; one that
    // holds the same member in every cell is only filtered. Grouping starts at the nearest level
    // whose keys are unique, and a filter that would let every key through is left out: the
    // database then does no more than a hand-written GROUP BY would.
    auto& hierarchies = cube_.Hierarchies();
    StarQuery query(cube_, base);
    std::vector<std::pair<size_t, int>> grouped;  // hierarchy, first depth grouped
    for (size_t h = 1; h < first.Coordinate.size(); ++h) {
        const Member* member = first.Coordinate[h];
        if (!member || member->IsAll) continue;
        if (!query.Join(*hierarchies[h])) {
            // A virtual cube's measure over a dimension its cube lacks: only the All member has
            // cells there.
            for (const Request* request : requests)
                for (int m : measures)
                    cells_[PointerKey(request->Coordinate, request->Compound)][m] = Variant();
            return;
        }
        const bool constant = std::all_of(requests.begin(), requests.end(), [&](const Request* r) {
            return r->Coordinate[h] == member;
        });
        if (constant) {
            query.WhereMember(*member);
            continue;
        }
        if (IsParentChild(*member)) {
            std::vector<const Member*> members;
            for (const Request* request : requests) members.push_back(request->Coordinate[h]);
            query.GroupBySubtrees(members);
            grouped.emplace_back(h, member->Depth);
            continue;
        }
        const Hierarchy& hierarchy = *hierarchies[h];
        const int from = StarQuery::FirstKeyDepth(hierarchy, member->Depth);
        grouped.emplace_back(h, from);
        for (int depth = from; depth <= member->Depth; ++depth) {
            query.GroupBy(hierarchy, depth);
            std::set<std::string> keys;
            bool null = false;
            for (const Request* request : requests) {
                const Member* m = request->Coordinate[h];
                while (m && m->Depth > depth) m = m->Parent;
                if (!m) continue;
                if (m->KeySql == "NULL")
                    null = true;
                else
                    keys.insert(m->KeySql);
            }
            // Long key lists are left to GROUP BY (extra groups are read and ignored), and so is
            // a list of every key the level has.
            if (keys.size() > 1000 ||
                keys.size() + (null ? 1 : 0) >= DistinctKeys(hierarchy, depth))
                continue;
            query.WhereKeyIn(hierarchy, depth, {keys.begin(), keys.end()}, null);
        }
    }
    if (first.Compound >= 0) query.WhereAnyTuple(compounds_[static_cast<size_t>(first.Compound)]);
    for (int m : measures) query.Select(definition.Measures[static_cast<size_t>(m)]);

    const std::string sql = query.Sql();
    ReadGroup(sql, requests, grouped, query.KeyColumns(), measures, definition);
}

void CellFetcher::ReadGroup(const std::string& sql, const std::vector<const Request*>& requests,
                            const std::vector<std::pair<size_t, int>>& grouped, size_t keyColumns,
                            const std::vector<int>& measures, const CubeDefinition& definition) {
    std::unordered_map<std::string, std::string> byPath;
    for (const Request* request : requests) {
        const std::string key = PointerKey(request->Coordinate, request->Compound);
        for (int m : measures) cells_[key].Note(m);
        std::string path;
        for (const auto& [h, from] : grouped) {
            std::vector<const Member*> chain;
            for (const Member* m = request->Coordinate[h]; m && !m->IsAll && m->Depth >= from;
                 m = m->Parent)
                chain.push_back(m);
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += (*it)->Key + '\x1f';
        }
        byPath.emplace(std::move(path), key);
    }

    const auto start = std::chrono::steady_clock::now();
    CADORecordset rows(&cube_.Database());
    rows.Open(sql);
    std::vector<Variant> values(keyColumns + measures.size());
    for (; !rows.IsEOF(); rows.MoveNext()) {
        rows.GetRowValues(values);
        std::string path;
        for (size_t c = 0; c < keyColumns; ++c) AppendKeyPathPart(path, values[c]);
        auto found = byPath.find(path);
        if (found == byPath.end()) continue;
        auto& cell = cells_[found->second];
        for (size_t i = 0; i < measures.size(); ++i)
            cell[measures[i]] = MeasureCellValue(
                definition.Measures[static_cast<size_t>(measures[i])], values[keyColumns + i]);
    }
    sqlSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++sqlQueries_;
    if (!cache_) return;
    for (const Request* request : requests) {
        const auto& cell = cells_[PointerKey(request->Coordinate, request->Compound)];
        const std::string key = CacheKey(request->Coordinate, request->Compound);
        for (int m : measures) cache_->Store(key, m, *cell.Find(m));
    }
}

}  // namespace orvik::cube
