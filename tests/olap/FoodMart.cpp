#include "FoodMart.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "data/ConnectionString.h"

extern char** environ;

namespace orvik::test {
namespace fs = std::filesystem;
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string ReadText(const std::string& path, size_t limit = 64 << 20) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char buffer[65536];
    while (text.size() < limit && (in.read(buffer, sizeof buffer) || in.gcount() > 0))
        text.append(buffer, static_cast<size_t>(in.gcount()));
    return text;
}

// The end of a log, enough to see why a loader failed.
std::string Tail(const std::string& path) {
    const std::string text = ReadText(path);
    return text.size() > 3000 ? "..." + text.substr(text.size() - 3000) : text;
}

// Where the test binary keeps what it makes once: build/test-data beside build/bin.
std::string TestDataFolder() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    const fs::path folder = error ? fs::temp_directory_path() / "orvik-test-data"
                                  : exe.parent_path().parent_path() / "test-data";
    fs::create_directories(folder, error);
    if (error) throw std::runtime_error("cannot make " + folder.string() + ": " + error.message());
    return folder.string();
}

// Files that go when the object does, however the function that made them ends.
struct RemovedAtEnd {
    std::vector<std::string> Paths;
    ~RemovedAtEnd() {
        std::error_code ignored;
        for (const std::string& path : Paths) fs::remove(path, ignored);
    }
};

// An exclusive flock on `path`, held for the object's life; waits for the holder to finish.
class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_ < 0) throw std::runtime_error("cannot open the lock file " + path);
        while (flock(fd_, LOCK_EX) != 0)
            if (errno != EINTR) throw std::runtime_error("cannot lock " + path);
    }
    ~FileLock() { close(fd_); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_;
};

// Runs `args` (looked up on PATH) with standard output and error in `logPath` and `extraEnv` added
// to the environment; kills it after `limit`. Returns its exit status (128 + signal when killed).
int RunLogged(const std::vector<std::string>& args, const std::string& logPath,
              const std::vector<std::string>& extraEnv, std::chrono::seconds limit) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** entry = environ; *entry; ++entry) envp.push_back(*entry);
    for (const std::string& entry : extraEnv) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot run " + args[0] + ": " + std::strerror(spawned));
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            throw std::runtime_error(args[0] + " did not finish within " +
                                     std::to_string(limit.count()) + " s");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// True when `target` exists and is newer than the loader and everything it reads.
bool IsCurrent(const std::string& target, const std::string& foodmart) {
    std::error_code error;
    const auto made = fs::last_write_time(target, error);
    if (error) return false;
    std::vector<fs::path> inputs = {fs::path(foodmart) / "load_foodmart_sqlite.py",
                                    fs::path(foodmart) / "foodmart.script"};
    for (const auto& entry : fs::directory_iterator(fs::path(foodmart) / "csv", error))
        inputs.push_back(entry.path());
    return std::all_of(inputs.begin(), inputs.end(), [&](const fs::path& input) {
        std::error_code inputError;
        const auto changed = fs::last_write_time(input, inputError);
        return !inputError && changed <= made;
    });
}

// Aggregate tables of sales_fact_1997 (`prefix` before each table name): the one FoodMart.xml
// declares by name, and a smaller one for AggregateSchemaText's pattern that keeps only time by
// month and product by family.
std::string AggregateTablesSql(const std::string& prefix) {
    const std::string fact =
        prefix + "sales_fact_1997 f JOIN " + prefix + "time_by_day t ON t.time_id = f.time_id";
    return "CREATE TABLE " + prefix +
           "agg_c_special_sales_fact_1997 AS SELECT f.product_id AS \"PRODUCT_ID\", "
           "f.customer_id AS \"CUSTOMER_ID\", f.promotion_id AS \"PROMOTION_ID\", "
           "f.store_id AS \"STORE_ID\", t.the_year AS \"TIME_YEAR\", "
           "t.quarter AS \"TIME_QUARTER\", t.month_of_year AS \"TIME_MONTH\", "
           "SUM(f.unit_sales) AS \"UNIT_SALES_SUM\", SUM(f.store_cost) AS \"STORE_COST_SUM\", "
           "SUM(f.store_sales) AS \"STORE_SALES_SUM\", COUNT(*) AS \"FACT_COUNT\" FROM " +
           fact +
           " GROUP BY f.product_id, f.customer_id, f.promotion_id, f.store_id, t.the_year, "
           "t.quarter, t.month_of_year;\n"
           "CREATE TABLE " +
           prefix +
           "agg_m_family_sales_fact_1997 AS SELECT t.the_year AS the_year, t.quarter AS quarter, "
           "t.month_of_year AS month_of_year, c.product_family AS product_family, "
           "SUM(f.unit_sales) AS unit_sales, SUM(f.store_cost) AS store_cost, "
           "SUM(f.store_sales) AS store_sales, COUNT(f.product_id) AS sales_count, "
           "COUNT(*) AS fact_count FROM " +
           fact + " JOIN " + prefix + "product p ON p.product_id = f.product_id JOIN " + prefix +
           "product_class c ON c.product_class_id = p.product_class_id "
           "GROUP BY t.the_year, t.quarter, t.month_of_year, c.product_family;\n";
}

// Adds the aggregate tables to the SQLite database at `path` (being made, so no one reads it).
void AddSqliteAggregates(const std::string& path) {
    sqlite3* db = nullptr;
    std::string fault;
    char* message = nullptr;
    const std::string sql = "BEGIN;\n" + AggregateTablesSql("") + "COMMIT;";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        fault = "cannot open it";
    else if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
        fault = message ? message : "failed";
    sqlite3_free(message);
    sqlite3_close(db);
    if (!fault.empty())
        throw std::runtime_error("adding aggregate tables to " + path + ": " + fault);
}

// The loader says nothing when a table's file is missing but "skip"; a database without the
// fact tables would only show up as baffling case failures.
void CheckFactTables(const std::string& path) {
    sqlite3* db = nullptr;
    std::string fault;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        fault = "cannot open it";
    } else {
        for (const char* table :
             {"sales_fact_1997", "inventory_fact_1997", "salary", "agg_c_special_sales_fact_1997",
              "agg_m_family_sales_fact_1997"}) {
            sqlite3_stmt* statement = nullptr;
            const std::string sql = std::string("SELECT count(*) FROM ") + table;
            long long rows = 0;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
                sqlite3_step(statement) == SQLITE_ROW)
                rows = sqlite3_column_int64(statement, 0);
            sqlite3_finalize(statement);
            if (rows == 0)
                fault += std::string(fault.empty() ? "" : ", ") + table + " is empty or missing";
        }
    }
    sqlite3_close(db);
    if (!fault.empty()) throw std::runtime_error("the FoodMart database " + path + ": " + fault);
}

bool HasTable(const std::string& path, const std::string& table) {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    bool found = false;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE name = ?1", -1, &statement,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        found = sqlite3_step(statement) == SQLITE_ROW;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return found;
}

struct TableColumn {
    std::string Name, Type;
    bool NotNull = false;
};

// "DECIMAL(10,4)" and the like in the HSQLDB script -> the PostgreSQL type.
std::string PostgresType(const std::string& type) {
    static const std::regex sized(R"(^(VARCHAR|CHAR|DECIMAL|NUMERIC)(\(\d+(,\d+)?\))?$)");
    static const std::map<std::string, std::string> plain = {
        {"INTEGER", "integer"},       {"SMALLINT", "smallint"}, {"BIGINT", "bigint"},
        {"TINYINT", "smallint"},      {"BOOLEAN", "boolean"},   {"DOUBLE", "double precision"},
        {"REAL", "double precision"}, {"DATE", "date"},         {"TIMESTAMP", "timestamp"}};
    if (auto found = plain.find(type); found != plain.end()) return found->second;
    std::smatch match;
    if (std::regex_match(type, match, sized)) {
        const std::string base =
            match[1] == "VARCHAR" || match[1] == "CHAR" ? "varchar" : "numeric";
        return base + match[2].str();
    }
    throw std::runtime_error("foodmart.script: unknown column type " + type);
}

bool IsPlainName(const std::string& name) {
    static const std::regex plain("^[A-Za-z_][A-Za-z0-9_]{0,62}$");
    return std::regex_match(name, plain);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The table definitions of the HSQLDB script, by table name.
std::map<std::string, std::vector<TableColumn>> ScriptTables(const std::string& scriptPath) {
    static const std::regex table(
        R"re(^CREATE TEXT TABLE "foodmart_csv"\."csv_(\w+)"\((.*)\)\s*$)re");
    static const std::regex column(R"re("([^"]+)" ([A-Z]+(\(\d+(,\d+)?\))?)( NOT NULL)?)re");
    std::map<std::string, std::vector<TableColumn>> tables;
    std::ifstream in(scriptPath);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (!line.starts_with("CREATE TEXT TABLE") || !std::regex_match(line, match, table))
            continue;
        const std::string body = match[2];
        auto& columns = tables[match[1]];
        for (std::sregex_iterator it(body.begin(), body.end(), column), end; it != end; ++it)
            columns.push_back({(*it)[1], (*it)[2], (*it)[5].matched});
    }
    if (tables.empty()) throw std::runtime_error("no table definitions in " + scriptPath);
    return tables;
}

// The tables the cube schema reads, in the order it first names them.
std::vector<std::string> SchemaTables(const std::string& schemaPath) {
    static const std::regex table(R"re(<Table\s+name="([^"]+)")re");
    const std::string xml = ReadText(schemaPath);
    std::vector<std::string> names;
    for (std::sregex_iterator it(xml.begin(), xml.end(), table), end; it != end; ++it)
        if (std::find(names.begin(), names.end(), (*it)[1]) == names.end())
            names.push_back((*it)[1]);
    return names;
}

std::string CsvHeader(const std::string& path) {
    std::ifstream in(path);
    std::string header;
    std::getline(in, header);
    if (!header.empty() && header.back() == '\r') header.pop_back();
    return header;
}

// One transaction under an advisory lock: the first session of a cluster loads, every later
// one finds the marker table and leaves. A failed load leaves nothing behind.
std::string PostgresLoadScript(const std::string& foodmart) {
    const auto definitions = ScriptTables(foodmart + "/foodmart.script");
    std::string script =
        "\\set ON_ERROR_STOP on\n"
        "BEGIN;\n"
        "SELECT pg_advisory_xact_lock(1997, 1);\n"
        "SELECT to_regclass('foodmart.load_marker') IS NOT NULL AS already_loaded \\gset\n"
        "\\if :already_loaded\n"
        "\\else\n"
        "DROP SCHEMA IF EXISTS foodmart CASCADE;\n"
        "CREATE SCHEMA foodmart;\n";
    for (const std::string& name : SchemaTables(foodmart + "/FoodMart.xml")) {
        const auto found = definitions.find(name);
        if (found == definitions.end() || !IsPlainName(name))
            throw std::runtime_error("FoodMart.xml names table \"" + name +
                                     "\", which foodmart.script does not define");
        const std::string csv = foodmart + "/csv/" + name + ".csv";
        if (csv.find_first_of("'\\\n") != std::string::npos)
            throw std::runtime_error("cannot hand psql the path " + csv);
        std::string header, columns;
        for (const TableColumn& column : found->second) {
            if (!IsPlainName(column.Name))
                throw std::runtime_error("foodmart.script: odd column name in " + name);
            header += (header.empty() ? "" : ",") + column.Name;
            columns += std::string(columns.empty() ? "" : ", ") + Lower(column.Name) + " " +
                       PostgresType(column.Type) + (column.NotNull ? " NOT NULL" : "");
        }
        // \copy takes columns by position, so the file must hold them in the declared order.
        if (CsvHeader(csv) != header)
            throw std::runtime_error(csv + " does not have the columns foodmart.script declares");
        script += "CREATE TABLE foodmart." + name + " (" + columns + ");\n";
        script +=
            "\\copy foodmart." + name + " FROM '" + csv + "' WITH (FORMAT csv, HEADER true)\n";
        script += "ANALYZE foodmart." + name + ";\n";
    }
    script +=
        "CREATE TABLE foodmart.load_marker (loaded_at timestamptz NOT NULL DEFAULT now());\n"
        "INSERT INTO foodmart.load_marker DEFAULT VALUES;\n"
        "\\echo foodmart loaded\n"
        "\\endif\n"
        // A cluster loaded before the aggregate tables existed gets them now.
        "SELECT to_regclass('foodmart.agg_m_family_sales_fact_1997') IS NOT NULL AS aggregated "
        "\\gset\n"
        "\\if :aggregated\n"
        "\\else\n" +
        AggregateTablesSql("foodmart.") +
        "ANALYZE foodmart.agg_c_special_sales_fact_1997;\n"
        "ANALYZE foodmart.agg_m_family_sales_fact_1997;\n"
        "\\echo foodmart aggregated\n"
        "\\endif\n"
        "COMMIT;\n";
    return script;
}

std::string FirstKey(const std::string& odbc, const std::vector<std::string>& keys) {
    for (const std::string& key : keys)
        if (std::string value = ConnectionKeyValue(odbc, key); !value.empty()) return value;
    return "";
}

}  // namespace

std::string OlapMaterialFolder() {
    std::vector<std::string> candidates;
    if (const char* dir = std::getenv("ORVIK_OLAP_DIR"); dir && *dir) candidates.push_back(dir);
    if (const char* source = std::getenv("ORVIK_TEST_SOURCE_DIR"); source && *source)
        candidates.push_back(std::string(source) + "/../shared/olap");
    // Test discovery runs at build time, without the test environment: the source folder the
    // build was configured from stands in for it.
    candidates.push_back(std::string(ORVIK_SOURCE_DIR) + "/../shared/olap");
    candidates.push_back("/work/shared/olap");
    for (const std::string& candidate : candidates) {
        std::error_code error;
        if (fs::is_regular_file(candidate + "/foodmart/FoodMart.xml", error) &&
            fs::is_directory(candidate + "/mdx-cases", error))
            return fs::weakly_canonical(candidate, error).string();
    }
    return "";
}

std::string XmlaFixtureFolder() {
    const std::string material = OlapMaterialFolder();
    std::error_code error;
    if (material.empty() || !fs::is_directory(material + "/xmla", error)) return "";
    return material + "/xmla";
}

bool RunningUnderCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

std::string PostgresTestServer() {
    const char* odbc = std::getenv("ORVIK_TEST_PG_ODBC");
    return odbc ? odbc : "";
}

std::string FoodMartMissing(bool postgres) {
    if (OlapMaterialFolder().empty()) return "no OLAP test material";
    if (postgres && PostgresTestServer().empty())
        return "no PostgreSQL test server (ORVIK_TEST_PG_ODBC is not set)";
    return "";
}

std::string FoodMartSqlite(const std::string& material) {
    static std::mutex guard;
    static std::map<std::string, std::string> made;
    std::lock_guard lock(guard);
    if (auto found = made.find(material); found != made.end()) return found->second;

    const std::string foodmart = material + "/foodmart";
    const std::string target = TestDataFolder() + "/foodmart.sqlite";
    const auto waitStart = Clock::now();
    FileLock fileLock(target + ".lock");
    if (!IsCurrent(target, foodmart) || !HasTable(target, "agg_m_family_sales_fact_1997")) {
        const double waited = SecondsSince(waitStart);
        const auto start = Clock::now();
        const std::string temporary = target + ".tmp." + std::to_string(getpid());
        const std::string log = target + ".log";
        // A process killed while building leaves its temporary behind; under the lock none is
        // in use.
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(fs::path(target).parent_path(), ignored))
            if (entry.path().filename().string().starts_with("foodmart.sqlite.tmp."))
                fs::remove(entry.path(), ignored);
        const int status = RunLogged({"/usr/bin/python3", foodmart + "/load_foodmart_sqlite.py",
                                      foodmart + "/csv", foodmart + "/foodmart.script", temporary},
                                     log, {}, std::chrono::seconds(300));
        if (status != 0) {
            fs::remove(temporary, ignored);
            throw std::runtime_error("the FoodMart loader failed with status " +
                                     std::to_string(status) + ":\n" + Tail(log));
        }
        AddSqliteAggregates(temporary);
        CheckFactTables(temporary);
        fs::rename(temporary, target);
        std::cerr << "[foodmart] made " << target << " in " << SecondsSince(start) << " s"
                  << (waited > 0.5 ? " (after waiting " + std::to_string(waited) + " s)" : "")
                  << "\n";
    }
    made[material] = target;
    return target;
}

std::string FoodMartPostgres(const std::string& material, const std::string& odbc) {
    static std::mutex guard;
    static std::map<std::string, std::string> loaded;
    std::lock_guard lock(guard);
    const std::string key = material + "\n" + odbc;
    if (auto found = loaded.find(key); found != loaded.end()) return found->second;

    const std::string folder = TestDataFolder();
    const std::string scriptPath = folder + "/foodmart-pg." + std::to_string(getpid()) + ".sql";
    const std::string log = folder + "/foodmart-pg." + std::to_string(getpid()) + ".log";
    const RemovedAtEnd cleanup{{scriptPath, log}};
    {
        std::ofstream out(scriptPath, std::ios::trunc);
        out << PostgresLoadScript(material + "/foodmart");
        if (!out) throw std::runtime_error("cannot write " + scriptPath);
    }
    std::vector<std::string> args = {"psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-f", scriptPath};
    const std::vector<std::pair<std::string, std::vector<std::string>>> options = {
        {"-h", {"Server", "Servername", "Host"}},
        {"-p", {"Port"}},
        {"-d", {"Database", "Db"}},
        {"-U", {"Uid", "UserName", "User"}}};
    for (const auto& [option, keys] : options)
        if (std::string value = FirstKey(odbc, keys); !value.empty()) {
            args.push_back(option);
            args.push_back(value);
        }
    // psql reads the password from the environment, so it never shows in a process list.
    std::vector<std::string> env = {"PGCONNECT_TIMEOUT=10"};
    if (std::string password = FirstKey(odbc, {"Pwd", "Password"}); !password.empty())
        env.push_back("PGPASSWORD=" + password);

    const auto start = Clock::now();
    const int status = RunLogged(args, log, env, std::chrono::seconds(300));
    const std::string output = ReadText(log);
    if (status != 0)
        throw std::runtime_error("loading FoodMart into PostgreSQL failed with status " +
                                 std::to_string(status) + ":\n" + output.substr(0, 3000));
    if (output.find("foodmart loaded") != std::string::npos)
        std::cerr << "[foodmart] loaded into PostgreSQL in " << SecondsSince(start) << " s\n";

    std::string reaching = odbc;
    if (!reaching.empty() && reaching.back() != ';') reaching += ';';
    reaching += "ConnSettings=SET search_path TO foodmart";
    loaded[key] = reaching;
    return reaching;
}

std::string FoodMartCubeConnection(const std::string& material, const std::string& dataSource,
                                   bool odbc, const std::string& catalog) {
    std::string source;
    if (odbc) {
        // An ODBC string always goes in double quotes, whatever it holds.
        source = "Data Source=\"";
        for (char c : dataSource) source += c == '"' ? std::string("\"\"") : std::string(1, c);
        source += '"';
    } else {
        source = ConnectionPair("Data Source", dataSource);
    }
    return "Provider=Orvik.Cube;" + source + ";" +
           ConnectionPair("Catalog",
                          catalog.empty() ? material + "/foodmart/FoodMart.xml" : catalog);
}

std::string AggregateSchemaText(std::string text) {
    const std::string exclusion = "<AggExclude name=\"agg_c_special_sales_fact_1997\" />";
    const std::string fact = "<Table name=\"sales_fact_1997\">";
    const size_t excluded = text.find(exclusion);
    if (excluded == std::string::npos || text.find(fact) == std::string::npos)
        throw std::runtime_error("FoodMart.xml no longer declares its aggregate as expected");
    text.erase(excluded, exclusion.size());
    text.insert(text.find(fact) + fact.size(), R"(
    <AggPattern pattern="agg_m_.*_sales_fact_1997">
        <AggFactCount column="fact_count"/>
        <AggMeasure name="[Measures].[Unit Sales]" column="unit_sales"/>
        <AggMeasure name="[Measures].[Store Cost]" column="store_cost"/>
        <AggMeasure name="[Measures].[Store Sales]" column="store_sales"/>
        <AggMeasure name="[Measures].[Sales Count]" column="sales_count"/>
        <AggLevel name="[Time].[Year]" column="the_year"/>
        <AggLevel name="[Time].[Quarter]" column="quarter"/>
        <AggLevel name="[Time].[Month]" column="month_of_year"/>
        <AggLevel name="[Product].[Product Family]" column="product_family"/>
    </AggPattern>)");
    return text;
}

std::string FoodMartAggregateSchema(const std::string& material) {
    static std::mutex guard;
    std::lock_guard lock(guard);
    const std::string target = TestDataFolder() + "/FoodMartAggregates.xml";
    const FileLock fileLock(target + ".lock");
    const std::string text = AggregateSchemaText(ReadText(material + "/foodmart/FoodMart.xml"));
    if (ReadText(target) != text) {
        // Others may be reading the last copy: the new one replaces it whole.
        const std::string temporary = target + ".tmp." + std::to_string(getpid());
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << text;
            if (!out) throw std::runtime_error("cannot write " + temporary);
        }
        fs::rename(temporary, target);
    }
    return target;
}

}  // namespace orvik::test
