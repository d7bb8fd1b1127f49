#include "olap/CubeEngine.h"
#include "olap/NameCase.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

#include "core/Paths.h"
#include "core/StopRequest.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/ConnectionString.h"
#include "olap/AggregateTables.h"
#include "olap/CellCache.h"
#include "olap/CellFetcher.h"
#include "olap/CubeModel.h"
#include "olap/CubeSchema.h"
#include "olap/MdxEvaluator.h"
#include "olap/MdxParser.h"
#include "olap/SqlDialect.h"

namespace orvik {
namespace {

constexpr const char* kSource = "Orvik.Cube";

CubeQueryTimings& Timings() {
    // Per thread: runs on other threads run queries of their own.
    thread_local CubeQueryTimings timings;
    return timings;
}

std::string ResolvePath(const std::string& path, const std::string& programFolder) {
    const std::string native = ToNativePath(path);
    if (native.empty() || IsAbsolutePath(native) || programFolder.empty()) return native;
    return WithTrailingSlash(programFolder) + native;
}

[[noreturn]] void Throw(const std::string& message) {
    throw CADOException(AdoError::Failure, message, kSource);
}

// A whole number of the connection string's `key`; `otherwise` when it is not given.
long CacheSetting(const std::string& connectionString, const char* key, long otherwise, long most) {
    const std::string text = ConnectionKeyValue(connectionString, key);
    if (text.empty()) return otherwise;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end || value < 0 || value > most)
        Throw(std::string(key) + "=" + text + " is not a whole number from 0 to " +
              std::to_string(most));
    return value;
}

// "REFRESH CUBE [name]": forget what was read of the cube; the cube's name, or "" for another
// statement.
std::string RefreshedCube(const std::string& mdx) {
    static const std::string kCommand = "refresh cube";
    size_t at = mdx.find_first_not_of(" \t\r\n");
    if (at == std::string::npos || LowerAscii(mdx.substr(at, kCommand.size())) != kCommand)
        return "";
    std::string name = mdx.substr(at + kCommand.size());
    const size_t first = name.find_first_not_of(" \t\r\n[");
    const size_t last = name.find_last_not_of(" \t\r\n];");
    if (first == std::string::npos || last < first) Throw("REFRESH CUBE needs a cube's name");
    return name.substr(first, last - first + 1);
}

class CubeConnection : public OlapConnection {
  public:
    CubeConnection(const std::string& connectionString, const std::string& programFolder) {
        const std::string dataSource = ConnectionKeyValue(connectionString, "Data Source");
        catalog_ = ConnectionKeyValue(connectionString, "Catalog");
        if (dataSource.empty()) Throw("No database given (Data Source=)");
        if (catalog_.empty()) Throw("No cube schema given (Catalog=)");
        catalog_ = ResolvePath(catalog_, programFolder);
        // A value holding "=" is a connection string of its own; anything else a SQLite file.
        const bool nested = dataSource.find('=') != std::string::npos;
        const std::string database =
            nested ? dataSource : "Provider=SQLite;" + ConnectionPair("Data Source", dataSource);
        cacheBytes_ =
            static_cast<size_t>(CacheSetting(connectionString, "CellCacheSize", 256, 1 << 20))
            << 20;
        cacheLife_ =
            std::chrono::seconds(CacheSetting(connectionString, "CellCache", 0, 365L * 24 * 3600));
        largeLevelRows_ = static_cast<size_t>(
            CacheSetting(connectionString, "LargeLevel",
                         static_cast<long>(cube::CubeModel::kDefaultLargeLevelRows), 1L << 40));
        database_.Open(database, programFolder);
        database_.SetCommandTimeout(0);
        // The database says what it is: a DSN or a driver file in the string does not.
        dialect_ = std::string(cube::DialectOf(database_).Name);
    }

    std::vector<std::string> CubeNames() override {
        const std::lock_guard use(useLock_);
        std::vector<std::string> names;
        for (const cube::CubeDefinition& cube : Schema().Cubes) names.push_back(cube.Name);
        return names;
    }

    OlapCube Cube(const std::string& name) override {
        const std::lock_guard use(useLock_);
        cube::CubeModel& model = Model(name);
        OlapCube cube;
        cube.Name = model.Definition().Name;
        cube.Caption = model.Definition().Caption;
        for (cube::Member* member : model.Measures().Roots)
            cube.Measures.push_back({member->Name, member->UniqueName, member->Caption,
                                     member->Measure->Aggregator, member->FormatString,
                                     member->Visible});
        for (cube::Member* member : model.Measures().CalculatedMembers)
            cube.Measures.push_back({member->Name, member->UniqueName, member->Caption,
                                     "calculated", member->FormatString, member->Visible});
        for (const cube::Kpi& kpi : model.Kpis()) {
            const cube::KpiDefinition& k = *kpi.Definition;
            cube.Kpis.push_back({k.Name, k.Caption, k.Description, k.DisplayFolder, k.Value, k.Goal,
                                 k.Status, k.Trend, k.Weight, k.StatusGraphic, k.TrendGraphic,
                                 k.Parent});
        }
        for (auto& hierarchy : model.Hierarchies()) {
            if (hierarchy->IsMeasures) continue;
            if (cube.Dimensions.empty() ||
                cube.Dimensions.back().Name != hierarchy->DimensionName) {
                OlapDimension dimension;
                dimension.Name = hierarchy->DimensionName;
                dimension.UniqueName = "[" + hierarchy->DimensionName + "]";
                dimension.Caption = hierarchy->Dimension->Caption;
                dimension.IsTime = hierarchy->IsTime;
                cube.Dimensions.push_back(std::move(dimension));
            }
            OlapHierarchy out;
            out.Name = hierarchy->Name;
            out.UniqueName = hierarchy->UniqueName;
            out.Caption = hierarchy->Definition->Caption;
            out.HasAll = hierarchy->HasAll();
            if (cube::Member* member = model.DefaultMember(*hierarchy))
                out.DefaultMember = member->UniqueName;
            for (const cube::Level& level : hierarchy->Levels)
                out.Levels.push_back({level.Name, level.UniqueName,
                                      level.Definition ? level.Definition->Caption : level.Name,
                                      level.Depth, level.Definition == nullptr});
            cube.Dimensions.back().Hierarchies.push_back(std::move(out));
        }
        return cube;
    }

    std::vector<CellSetMember> LevelMembers(const std::string& cubeName,
                                            const std::string& levelUniqueName) override {
        const std::lock_guard use(useLock_);
        cube::CubeModel& model = Model(cubeName);
        for (auto& hierarchy : model.Hierarchies())
            for (const cube::Level& level : hierarchy->Levels)
                if (level.UniqueName == levelUniqueName) {
                    cube::CellFetcher fetcher(model, Schema());
                    cube::QueryEvaluator evaluator(model, fetcher, levelUniqueName);
                    return Describe(evaluator.LevelMembers(level));
                }
        Throw("The level " + levelUniqueName + " is not in cube '" + cubeName + "'");
    }

    std::vector<CellSetMember> ChildMembers(const std::string& cubeName,
                                            const std::string& memberUniqueName) override {
        const std::lock_guard use(useLock_);
        cube::CubeModel& model = Model(cubeName);
        try {
            cube::CellFetcher fetcher(model, Schema());
            cube::QueryEvaluator evaluator(model, fetcher, memberUniqueName);
            const mdx::ExprPtr name = mdx::ParseExpression(memberUniqueName);
            cube::Member* member = evaluator.ResolveMember(*name);
            if (!member) return {};
            if (!member->Owner->IsMeasures) model.Load(*member->Owner);
            return Describe(member->Children);
        } catch (const mdx::MdxSyntaxError& error) {
            Throw(error.what());
        } catch (const cube::MdxEvaluationError& error) {
            Throw(error.what());
        }
    }

    CellSetData Execute(const std::string& mdx) override {
        const std::lock_guard use(useLock_);
        CubeQueryTimings timings;
        const auto start = std::chrono::steady_clock::now();
        try {
            if (const std::string cube = RefreshedCube(mdx); !cube.empty()) {
                Refresh(cube);
                return {};
            }
            const mdx::SelectStatement statement = mdx::ParseSelect(mdx);
            const auto parsed = std::chrono::steady_clock::now();
            timings.ParseSeconds = std::chrono::duration<double>(parsed - start).count();
            if (statement.Cube.empty()) Throw("The query names no cube");
            cube::CubeModel& model = Model(statement.Cube.back().Name);
            cube::CellCache& cache = Cache(model);
            if (const auto kept = cache.FindResult(mdx)) {
                CellSetData data = *kept;
                data.Notes.push_back("Answered with the result kept from the same query before");
                timings.AssemblySeconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - parsed)
                        .count();
                Timings() = timings;
                return data;
            }
            CellSetData data;
            {
                // Gone before the result is kept: what they held is room for its copy.
                cube::CellFetcher fetcher(model, Schema(), &cache);
                cube::QueryEvaluator evaluator(model, fetcher, mdx);
                data = evaluator.Run(statement);
                timings.SqlSeconds = fetcher.SqlSeconds();
                timings.SqlQueries = fetcher.SqlQueries();
            }
            cache.StoreResult(mdx, data);
            timings.AssemblySeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - parsed).count() -
                timings.SqlSeconds;
            Timings() = timings;
            return data;
        } catch (const mdx::MdxSyntaxError& error) {
            Throw(error.what());
        } catch (const cube::MdxEvaluationError& error) {
            Throw(error.what());
        } catch (const WorkStopped& stopped) {
            Throw(stopped.what());
        }
    }

  private:
    cube::CellCache& Cache(const cube::CubeModel& model) {
        auto& cache = caches_[model.Definition().Name];
        if (!cache) cache = std::make_unique<cube::CellCache>(cacheBytes_, cacheLife_);
        return *cache;
    }

    // Forgets the cells and members read of cube `name`: the next query reads them afresh.
    void Refresh(const std::string& name) {
        for (const cube::CubeDefinition& cube : Schema().Cubes)
            if (SameName(cube.Name, name)) {
                caches_.erase(cube.Name);  // keyed by members: gone before the members go
                models_.erase(cube.Name);
                if (aggregates_) aggregates_->Forget();  // they may have been rebuilt too
                return;
            }
        Throw("The cube '" + name + "' is not in the cube schema " + catalog_);
    }

    static std::vector<CellSetMember> Describe(const std::vector<cube::Member*>& members) {
        std::vector<CellSetMember> out;
        for (const cube::Member* member : members) {
            CellSetMember m;
            m.Caption = member->Caption;
            m.UniqueName = member->UniqueName;
            m.Name = member->Name;
            const auto& levels = member->Owner->Levels;
            m.LevelUniqueName =
                levels[std::min(static_cast<size_t>(member->Depth), levels.size() - 1)].UniqueName;
            m.LevelNumber = member->Depth;
            if (member->Parent) m.ParentUniqueName = member->Parent->UniqueName;
            out.push_back(std::move(m));
        }
        return out;
    }

    const cube::SchemaDefinition& Schema() {
        if (!schema_) {
            try {
                schema_ = std::make_unique<cube::SchemaDefinition>(
                    cube::ReadCubeSchema(catalog_, dialect_));
            } catch (const cube::CubeSchemaError& error) {
                Throw(error.what());
            }
            for (const std::string& warning : schema_->Warnings) Warn(warning);
        }
        return *schema_;
    }

    cube::CubeModel& Model(const std::string& name) {
        const cube::SchemaDefinition& schema = Schema();
        const cube::CubeDefinition* definition = nullptr;
        for (const cube::CubeDefinition& cube : schema.Cubes)
            if (LowerAscii(cube.Name) == LowerAscii(name)) definition = &cube;
        if (!definition) Throw("The cube '" + name + "' is not in the cube schema " + catalog_);
        auto found = models_.find(definition->Name);
        if (found != models_.end()) return *found->second;
        auto model = std::make_unique<cube::CubeModel>(*definition, database_);
        model->SetLargeLevelRows(largeLevelRows_);
        if (!aggregates_)
            aggregates_ = std::make_unique<cube::AggregateTables>(
                database_, catalog_, [this](std::string warning) { Warn(std::move(warning)); },
                [this](std::string note) { Note(std::move(note)); });
        model->UseAggregates(aggregates_.get());
        for (const cube::CalculatedMemberDefinition& calculated : definition->CalculatedMembers) {
            cube::Hierarchy* hierarchy = nullptr;
            for (auto& h : model->Hierarchies())
                if (LowerAscii(h->DimensionName) == LowerAscii(calculated.Dimension) ||
                    LowerAscii(h->UniqueName) == LowerAscii(calculated.Dimension) ||
                    LowerAscii("[" + h->DimensionName + "]") == LowerAscii(calculated.Dimension))
                    if (!hierarchy) hierarchy = h.get();
            if (!hierarchy) {
                Warn("Cube schema " + catalog_ + " line " + std::to_string(calculated.Line) +
                     ": the calculated member '" + calculated.Name +
                     "' names no dimension of its cube and is left out");
                continue;
            }
            std::shared_ptr<const mdx::Expr> formula;
            try {
                formula = mdx::ParseExpression(calculated.Formula);
            } catch (const mdx::MdxSyntaxError& error) {
                Warn("Cube schema " + catalog_ + " line " + std::to_string(calculated.Line) +
                     ": the formula of '" + calculated.Name + "' cannot be read: " + error.what());
                continue;
            }
            cube::Member* member =
                model->AddCalculated(*hierarchy, hierarchy->IsMeasures ? nullptr : hierarchy->All(),
                                     calculated.Name, formula);
            member->Caption = calculated.Caption;
            member->FormatString = calculated.FormatString;
            member->SolveOrder = calculated.SolveOrder;
            if (calculated.MemberOrdinal >= 0)
                member->Ordinal =
                    static_cast<size_t>(-1) / 2 + static_cast<size_t>(calculated.MemberOrdinal);
            member->Visible = calculated.Visible;
        }
        AddKpis(*definition, *model);
        return *models_.emplace(definition->Name, std::move(model)).first->second;
    }

    // A KPI whose expression cannot be read is left out, as a calculated member is: the rest of
    // the cube stays usable and the warning says which and why.
    void AddKpis(const cube::CubeDefinition& definition, cube::CubeModel& model) {
        for (const cube::KpiDefinition& kpi : definition.Kpis) {
            cube::Kpi parsed{&kpi, {}, {}, {}, {}, {}};
            const std::pair<const char*,
                            std::pair<const std::string*, std::shared_ptr<const mdx::Expr>*>>
                parts[] = {{"value", {&kpi.Value, &parsed.Value}},
                           {"goal", {&kpi.Goal, &parsed.Goal}},
                           {"status", {&kpi.Status, &parsed.Status}},
                           {"trend", {&kpi.Trend, &parsed.Trend}},
                           {"weight", {&kpi.Weight, &parsed.Weight}}};
            bool readable = true;
            for (const auto& [what, part] : parts) {
                if (part.first->empty()) continue;
                try {
                    *part.second = mdx::ParseExpression(*part.first);
                } catch (const mdx::MdxSyntaxError& error) {
                    Warn("Cube schema " + catalog_ + " line " + std::to_string(kpi.Line) +
                         ": the " + what + " of the KPI '" + kpi.Name +
                         "' cannot be read, so the KPI is left out: " + error.what());
                    readable = false;
                    break;
                }
            }
            if (readable) model.Kpis().push_back(std::move(parsed));
        }
    }

    CADODatabase database_;
    std::string catalog_;
    std::string dialect_;
    std::unique_ptr<cube::SchemaDefinition> schema_;
    std::unique_ptr<cube::AggregateTables> aggregates_;
    std::map<std::string, std::unique_ptr<cube::CubeModel>> models_;
    // Cells read, by cube; declared after the models, so they go first.
    std::map<std::string, std::unique_ptr<cube::CellCache>> caches_;
    size_t cacheBytes_ = 0;
    cube::CellCache::Clock::duration cacheLife_{};
    size_t largeLevelRows_ = 0;
    // The runs of one process share a connection (OpenOlapConnection keeps one per string), and
    // its models fill as queries need them: one query at a time.
    std::recursive_mutex useLock_;
    std::mutex warningsLock_;
    std::vector<std::string> warnings_;
    std::vector<std::string> notes_;

    void Warn(std::string warning) {
        std::lock_guard lock(warningsLock_);
        warnings_.push_back(std::move(warning));
    }
    void Note(std::string note) {
        // Notes are taken after each query; a connection used only for its catalog must not let
        // them pile up.
        constexpr size_t kKept = 1000;
        std::lock_guard lock(warningsLock_);
        if (notes_.size() < kKept) notes_.push_back(std::move(note));
    }

  public:
    std::vector<std::string> TakeWarnings() override {
        std::lock_guard lock(warningsLock_);
        return std::exchange(warnings_, {});
    }

    std::vector<std::string> TakeNotes() override {
        std::lock_guard lock(warningsLock_);
        return std::exchange(notes_, {});
    }
};

const struct CubeProviderRegistration {
    CubeProviderRegistration() {
        RegisterOlapProvider("Orvik.Cube", [](const std::string& connectionString,
                                              const std::string& programFolder) {
            return OpenCubeConnection(connectionString, programFolder);
        });
    }
} kRegistration;

}  // namespace

CubeQueryTimings LastCubeQueryTimings() {
    return Timings();
}

std::shared_ptr<OlapConnection> OpenCubeConnection(const std::string& connectionString,
                                                   const std::string& programFolder) {
    return std::make_shared<CubeConnection>(connectionString, programFolder);
}

}  // namespace orvik
