#include "data/SqliteProvider.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "core/StopRequest.h"
#include "data/AdoException.h"

namespace {

// The connection's own command time-out, as messages name it.
constexpr const char* kCommandTimeoutName = "CommandTimeout";
// Virtual machine steps between two looks at the stop request: a fraction of a millisecond.
constexpr int kProgressSteps = 10000;
// The longest sleep between two tries for another program's lock, so a stop is seen quickly.
constexpr std::chrono::milliseconds kBusySleep(20);

// How a column's declared type refines what SQLite stored.
struct ColumnHint {
    enum Kind { None, Date, Decimal, Bool, Integer, Real, Text } kind = None;
    int scale = -1;  // NUMERIC(p,s): s; -1 when not declared
};

ColumnHint HintFor(const char* declared) {
    ColumnHint hint;
    if (!declared) return hint;
    std::string type(declared);
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (type.find("DATE") != std::string::npos || type.find("TIMESTAMP") != std::string::npos) {
        hint.kind = ColumnHint::Date;
    } else if (type.rfind("NUMERIC", 0) == 0 || type.rfind("DECIMAL", 0) == 0) {
        hint.kind = ColumnHint::Decimal;
        const size_t comma = type.find(',');
        if (comma != std::string::npos)
            hint.scale = std::clamp(std::atoi(type.c_str() + comma + 1), 0, 30);
        else if (type.find('(') != std::string::npos)
            hint.scale = 0;
    } else if (type.rfind("BOOL", 0) == 0) {
        hint.kind = ColumnHint::Bool;
    } else if (type.find("INT") != std::string::npos) {
        hint.kind = ColumnHint::Integer;
    } else if (type.find("REAL") != std::string::npos || type.find("FLOA") != std::string::npos ||
               type.find("DOUB") != std::string::npos) {
        hint.kind = ColumnHint::Real;
    } else if (type.find("CHAR") != std::string::npos || type.find("TEXT") != std::string::npos ||
               type.find("CLOB") != std::string::npos) {
        hint.kind = ColumnHint::Text;
    }
    return hint;
}

VariantType FieldTypeFor(const ColumnHint& hint) {
    switch (hint.kind) {
        case ColumnHint::Date:
            return VariantType::Date;
        case ColumnHint::Decimal:
            return VariantType::Decimal;
        case ColumnHint::Bool:
            return VariantType::Bool;
        case ColumnHint::Integer:
            return VariantType::I4;
        case ColumnHint::Real:
            return VariantType::R8;
        case ColumnHint::Text:
            return VariantType::String;
        case ColumnHint::None:
            break;
    }
    return VariantType::Empty;
}

bool ToDecimal(const char* text, int scale, DecimalValue& out) {
    if (!DecimalValue::Parse(text, out)) return false;
    // A declared scale pads whole numbers out to it (12 in NUMERIC(10,2) is 12.00).
    while (scale >= 0 && out.Scale < scale &&
           out.Mantissa < (static_cast<unsigned __int128>(1) << 120)) {
        out.Mantissa *= 10;
        ++out.Scale;
    }
    return true;
}

class Statement {
  public:
    explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return statement_; }

  private:
    sqlite3_stmt* statement_;
};

}  // namespace

SqliteConnection::SqliteConnection(const std::string& path) {
    // No SQLITE_OPEN_CREATE: a mistyped file name must fail, not leave an empty database behind.
    // A connection is only ever used by the thread that runs the report, so SQLite's own locking
    // around every call is pure cost (a few percent of a large result's load).
    const int rc =
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        // SQLite says only "unable to open database file": the reader needs to know which one,
        // as it was resolved, and why the system refused it.
        const int systemError = db_ ? sqlite3_system_errno(db_) : 0;
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        message += ": " + path;
        if (systemError != 0) message += std::string(" (") + std::strerror(systemError) + ")";
        sqlite3_close(db_);
        db_ = nullptr;
        throw CADOException(AdoError::Failure, message, "SQLite");
    }
    sqlite3_extended_result_codes(db_, 1);
    SetLockTimeout(kDefaultLockTimeout);
    // A large GROUP BY or ORDER BY (a cube's grouped facts above all) sorts in SQLite's sorter,
    // which merges on helper threads only when allowed to: a fifth of such a query's time on two
    // cores. Results are the same either way.
    const unsigned cores = std::thread::hardware_concurrency();
    sqlite3_limit(db_, SQLITE_LIMIT_WORKER_THREADS,
                  static_cast<int>(std::clamp(cores > 1 ? cores - 1 : 1u, 1u, 4u)));
    // Every command watches for a stop request and the time limit in force, however long it runs.
    sqlite3_progress_handler(db_, kProgressSteps, &SqliteConnection::Progress, this);
}

SqliteConnection::~SqliteConnection() {
    sqlite3_close_v2(db_);
}

void SqliteConnection::Fail(const std::string& message) const {
    if (!stopReason_.empty())
        throw CADOException(AdoError::Failure, "The query was stopped: " + stopReason_, "SQLite");
    if ((sqlite3_extended_errcode(db_) & 0xFF) == SQLITE_BUSY) {
        // Say whose the wait was and how long it lasted, so the reader knows what to look for.
        throw CADOException(AdoError::Failure,
                            message + " (another program held its lock on " +
                                sqlite3_db_filename(db_, "main") + " for more than " +
                                std::to_string(lockSeconds_) + " s)",
                            "SQLite");
    }
    throw CADOException(AdoError::Failure, message, "SQLite");
}

int SqliteConnection::Progress(void* self) {
    if (!orvik::ShouldStop()) return 0;
    static_cast<SqliteConnection*>(self)->stopReason_ = orvik::StopReason();
    return 1;
}

int SqliteConnection::BusyWait(void* self, int attempt) {
    auto* connection = static_cast<SqliteConnection*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) connection->busySince_ = now;
    if (orvik::ShouldStop()) {
        connection->stopReason_ = orvik::StopReason();
        return 0;
    }
    const auto end = connection->busySince_ + std::chrono::seconds(connection->lockSeconds_);
    if (now >= end) return 0;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kBusySleep, end - now));
    return 1;
}

void SqliteConnection::SetLockTimeout(int seconds) {
    // A lock another program holds is waited for this long, not for as long as a command may run:
    // an unattended run must not sit for hours behind a forgotten open transaction. The wait is
    // this program's own so that a stop request ends it too.
    lockSeconds_ = std::clamp(seconds, 0, INT_MAX / 1000);
    sqlite3_busy_handler(db_, &SqliteConnection::BusyWait, this);
}

void SqliteConnection::SetCommandTimeout(int seconds) {
    timeoutSeconds_ = std::max(0, seconds);
}

void SqliteConnection::Fetch(sqlite3_stmt* statement, RowStore& into) {
    const int columns = sqlite3_column_count(statement);
    std::vector<ColumnHint> hints(static_cast<size_t>(columns));
    std::vector<FieldInfo> fields(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        hints[c] = HintFor(sqlite3_column_decltype(statement, c));
        const char* name = sqlite3_column_name(statement, c);
        fields[c].Name = name ? name : "";
        fields[c].Type = FieldTypeFor(hints[c]);
    }
    into.SetFields(std::move(fields));
    for (;;) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) Fail(sqlite3_errmsg(db_));
        into.AppendRow();
        for (int c = 0; c < columns; ++c) {
            const ColumnHint& hint = hints[c];
            switch (sqlite3_column_type(statement, c)) {
                case SQLITE_NULL:
                    into.PutNull(c);
                    break;
                case SQLITE_INTEGER: {
                    const sqlite3_int64 value = sqlite3_column_int64(statement, c);
                    DecimalValue decimal;
                    if (hint.kind == ColumnHint::Bool) {
                        into.PutInteger(c, VariantType::Bool, value != 0);
                    } else if (hint.kind == ColumnHint::Decimal &&
                               ToDecimal(
                                   reinterpret_cast<const char*>(sqlite3_column_text(statement, c)),
                                   hint.scale, decimal)) {
                        into.PutDecimal(c, decimal);
                    } else if (value >= INT32_MIN && value <= INT32_MAX) {
                        into.PutInteger(c, VariantType::I4, value);
                    } else {
                        into.PutInteger(c, VariantType::I8, value);
                    }
                    break;
                }
                case SQLITE_FLOAT: {
                    const double value = sqlite3_column_double(statement, c);
                    DecimalValue decimal;
                    char text[400];  // the widest fixed-point double, with room for the scale
                    if (hint.kind == ColumnHint::Decimal && std::isfinite(value)) {
                        // Rounded to the declared scale, or to the digits a double really has;
                        // to_chars rounds as printf does, at a fraction of its cost.
                        const auto [end, error] =
                            hint.scale >= 0 ? std::to_chars(text, text + sizeof text - 1, value,
                                                            std::chars_format::fixed, hint.scale)
                                            : std::to_chars(text, text + sizeof text - 1, value,
                                                            std::chars_format::general, 15);
                        *end = '\0';
                        if (error == std::errc() && ToDecimal(text, hint.scale, decimal)) {
                            into.PutDecimal(c, decimal);
                            break;
                        }
                    }
                    into.PutReal(c, VariantType::R8, value);
                    break;
                }
                case SQLITE_TEXT: {
                    const auto* text =
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
                    const int length = sqlite3_column_bytes(statement, c);
                    double days;
                    if (hint.kind == ColumnHint::Date &&
                        ParseIsoDate(std::string_view(text, length), days))
                        into.PutReal(c, VariantType::Date, days);
                    else
                        into.PutText(c, std::string_view(text, length));
                    break;
                }
                default: {
                    const void* bytes = sqlite3_column_blob(statement, c);
                    const int length = sqlite3_column_bytes(statement, c);
                    into.PutText(c, std::string_view(static_cast<const char*>(bytes), length));
                    break;
                }
            }
        }
    }
}

namespace {

// `message`, with the place in the command the statement starting at `statementStart` failed at
// when SQLite knows it: "near "x"" alone cannot tell which x of a long query is meant.
std::string WithPlace(std::string message, std::ptrdiff_t statementStart, sqlite3* db) {
#if SQLITE_VERSION_NUMBER >= 3038000
    const int offset = sqlite3_error_offset(db);
    if (offset >= 0)
        message += " (at character " + std::to_string(statementStart + offset + 1) + ")";
#else
    (void)statementStart;
    (void)db;
#endif
    return message;
}

}  // namespace

bool SqliteConnection::Execute(const std::string& command, RowStore& into) {
    const orvik::TimeLimitScope limit(timeoutSeconds_, kCommandTimeoutName);
    stopReason_.clear();
    const char* rest = command.c_str();
    const char* end = rest + command.size();
    bool haveResult = false;
    // Every statement of the text runs, in order; the first that returns columns is the result,
    // as a batch's first result set is everywhere else.
    while (rest < end) {
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db_, rest, static_cast<int>(end - rest), &raw, &tail) != SQLITE_OK)
            Fail(WithPlace(sqlite3_errmsg(db_), rest - command.c_str(), db_));
        rest = tail;
        if (!raw) continue;  // only white space or a comment was left
        Statement statement(raw);
        if (!haveResult && sqlite3_column_count(raw) > 0) {
            Fetch(raw, into);
            haveResult = true;
            continue;
        }
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) Fail(sqlite3_errmsg(db_));
    }
    return haveResult;
}

bool SqliteConnection::ExecuteProcedure(const std::string& /*name*/, RowStore& /*into*/) {
    throw CADOException(AdoError::FeatureNotAvailable, "SQLite databases have no stored procedures",
                        "SQLite");
}

void SqliteConnection::SchemaColumns(const std::string& table, RowStore& into) {
    static const char* const kQuery =
        "SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, m.name AS TABLE_NAME, "
        "p.name AS COLUMN_NAME, p.type AS TYPE_NAME, p.cid + 1 AS ORDINAL_POSITION, "
        "CASE WHEN p.\"notnull\" THEN 'NO' ELSE 'YES' END AS IS_NULLABLE, "
        "p.dflt_value AS COLUMN_DEF "
        "FROM sqlite_master m JOIN pragma_table_info(m.name) p "
        "WHERE m.type IN ('table', 'view') AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
        "AND (?1 IS NULL OR m.name = ?1) ORDER BY m.name, p.cid";
    RunSchemaQuery(kQuery, table, into);
}

void SqliteConnection::SchemaTables(RowStore& into) {
    static const char* const kQuery =
        "SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, name AS TABLE_NAME, "
        "upper(type) AS TABLE_TYPE, NULL AS REMARKS FROM sqlite_master "
        "WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name";
    RunSchemaQuery(kQuery, {}, into);
}

void SqliteConnection::RunSchemaQuery(const char* query, const std::string& table, RowStore& into) {
    const orvik::TimeLimitScope limit(timeoutSeconds_, kCommandTimeoutName);
    stopReason_.clear();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, query, -1, &raw, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db_));
    Statement statement(raw);
    if (!table.empty())
        sqlite3_bind_text(raw, 1, table.c_str(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    Fetch(raw, into);
}
