#include "data/OdbcProvider.h"

#include "core/TextEncoding.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "core/StopRequest.h"
#include "data/AdoException.h"

namespace {

static_assert(sizeof(SQLWCHAR) == 2, "the driver manager must speak UTF-16");

std::basic_string<SQLWCHAR> ToUtf16(std::string_view text) {
    std::basic_string<SQLWCHAR> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char32_t code = 0xFFFD;
        size_t length = 1;
        if (byte < 0x80) {
            code = byte;
        } else if ((byte >> 5) == 0x6 && i + 1 < text.size()) {
            code = ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            length = 2;
        } else if ((byte >> 4) == 0xE && i + 2 < text.size()) {
            code = ((byte & 0x0Fu) << 12) |
                   ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                   (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            length = 3;
        } else if ((byte >> 3) == 0x1E && i + 3 < text.size()) {
            code = ((byte & 0x07u) << 18) |
                   ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
                   ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) |
                   (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            length = 4;
        }
        i += length;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<SQLWCHAR>(0xD800 + (code >> 10));
            out += static_cast<SQLWCHAR>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<SQLWCHAR>(code);
        }
    }
    return out;
}

void AppendUtf8(std::string& out, const SQLWCHAR* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        orvik::AppendUtf8(out, code);
    }
}

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6];
        SQLINTEGER native = 0;
        SQLWCHAR message[2048];
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message,
                                            sizeof message / sizeof message[0], &length);
        if (!SQL_SUCCEEDED(rc)) break;
        if (!text.empty()) text += '\n';
        const size_t available = sizeof message / sizeof message[0] - 1;
        AppendUtf8(
            text, message,
            std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), available));
    }
    return text.empty() ? std::string("The ODBC driver reported a failure without a message")
                        : text;
}

[[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle) {
    throw CADOException(AdoError::Failure, Diagnostics(type, handle), "ODBC");
}

class StatementHandle {
  public:
    explicit StatementHandle(void* handle) : handle_(handle) {}
    ~StatementHandle() { SQLFreeHandle(SQL_HANDLE_STMT, handle_); }
    StatementHandle(const StatementHandle&) = delete;
    StatementHandle& operator=(const StatementHandle&) = delete;
    SQLHSTMT get() const { return handle_; }

  private:
    SQLHSTMT handle_;
};

// How one result column is read from the driver.
enum class Fetch {
    Bool,
    BoolText,
    I1,
    UI1,
    I2,
    UI2,
    I4,
    UI4,
    I8,
    UI8,
    R4,
    R8,
    Decimal,
    Date,
    Time,
    Binary,
    Text
};

Fetch FetchFor(SQLSMALLINT sqlType, bool isUnsigned) {
    switch (sqlType) {
        case SQL_BIT:
            return Fetch::Bool;
        case SQL_TINYINT:
            return isUnsigned ? Fetch::UI1 : Fetch::I1;
        case SQL_SMALLINT:
            return isUnsigned ? Fetch::UI2 : Fetch::I2;
        case SQL_INTEGER:
            return isUnsigned ? Fetch::UI4 : Fetch::I4;
        case SQL_BIGINT:
            return isUnsigned ? Fetch::UI8 : Fetch::I8;
        case SQL_REAL:
            return Fetch::R4;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return Fetch::R8;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return Fetch::Decimal;
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIMESTAMP:
            return Fetch::Date;
        case SQL_TYPE_TIME:
        case SQL_TIME:
            return Fetch::Time;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return Fetch::Binary;
        default:
            return Fetch::Text;
    }
}

VariantType FieldTypeFor(Fetch fetch) {
    switch (fetch) {
        case Fetch::Bool:
        case Fetch::BoolText:
            return VariantType::Bool;
        case Fetch::I1:
            return VariantType::I1;
        case Fetch::UI1:
            return VariantType::UI1;
        case Fetch::I2:
            return VariantType::I2;
        case Fetch::UI2:
            return VariantType::UI2;
        case Fetch::I4:
            return VariantType::I4;
        case Fetch::UI4:
            return VariantType::UI4;
        case Fetch::I8:
            return VariantType::I8;
        case Fetch::UI8:
            return VariantType::UI8;
        case Fetch::R4:
            return VariantType::R4;
        case Fetch::R8:
            return VariantType::R8;
        case Fetch::Decimal:
            return VariantType::Decimal;
        case Fetch::Date:
            return VariantType::Date;
        default:
            return VariantType::String;
    }
}

// Reads a fixed-size value; false for SQL NULL.
template <typename T>
bool ReadFixed(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT cType, T& value) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(statement, column, cType, &value, sizeof value, &indicator);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, statement);
    return indicator != SQL_NULL_DATA;
}

// Reads a value of any length in pieces; false for SQL NULL. `unit` is the size of one character
// of `cType` (the terminator the driver adds to every piece but binary ones).
bool ReadLong(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT cType, size_t unit,
              std::string& bytes) {
    bytes.clear();
    char buffer[8192];
    const size_t terminator = cType == SQL_C_BINARY ? 0 : unit;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(statement, column, cType, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) return true;
        if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, statement);
        if (indicator == SQL_NULL_DATA) return false;
        const bool truncated = indicator == SQL_NO_TOTAL ||
                               static_cast<size_t>(indicator) > sizeof buffer - terminator;
        if (!truncated) {
            bytes.append(buffer, static_cast<size_t>(indicator));
            return true;
        }
        bytes.append(buffer, sizeof buffer - terminator);
    }
}

void FetchCell(SQLHSTMT statement, SQLUSMALLINT column, Fetch fetch, RowStore& into, size_t at) {
    switch (fetch) {
        case Fetch::Bool: {
            unsigned char value = 0;
            if (ReadFixed(statement, column, SQL_C_BIT, value))
                into.PutInteger(at, VariantType::Bool, value != 0);
            else
                into.PutNull(at);
            return;
        }
#define ORVIK_FETCH_INTEGER(Kind, CType, CTypeCode)         \
    case Fetch::Kind: {                                     \
        CType value = 0;                                    \
        if (ReadFixed(statement, column, CTypeCode, value)) \
            into.PutInteger(at, VariantType::Kind, value);  \
        else                                                \
            into.PutNull(at);                               \
        return;                                             \
    }
            ORVIK_FETCH_INTEGER(I1, signed char, SQL_C_STINYINT)
            ORVIK_FETCH_INTEGER(UI1, unsigned char, SQL_C_UTINYINT)
            ORVIK_FETCH_INTEGER(I2, SQLSMALLINT, SQL_C_SSHORT)
            ORVIK_FETCH_INTEGER(UI2, SQLUSMALLINT, SQL_C_USHORT)
            ORVIK_FETCH_INTEGER(I4, SQLINTEGER, SQL_C_SLONG)
            ORVIK_FETCH_INTEGER(UI4, SQLUINTEGER, SQL_C_ULONG)
            ORVIK_FETCH_INTEGER(I8, SQLBIGINT, SQL_C_SBIGINT)
#undef ORVIK_FETCH_INTEGER
        case Fetch::UI8: {
            SQLUBIGINT value = 0;
            if (ReadFixed(statement, column, SQL_C_UBIGINT, value))
                into.PutUnsigned(at, value);
            else
                into.PutNull(at);
            return;
        }
        case Fetch::R4: {
            SQLREAL value = 0;
            if (ReadFixed(statement, column, SQL_C_FLOAT, value))
                into.PutReal(at, VariantType::R4, value);
            else
                into.PutNull(at);
            return;
        }
        case Fetch::R8: {
            SQLDOUBLE value = 0;
            if (ReadFixed(statement, column, SQL_C_DOUBLE, value))
                into.PutReal(at, VariantType::R8, value);
            else
                into.PutNull(at);
            return;
        }
        case Fetch::Date: {
            SQL_TIMESTAMP_STRUCT value{};
            if (ReadFixed(statement, column, SQL_C_TYPE_TIMESTAMP, value))
                into.PutReal(at, VariantType::Date,
                             DateToDays(value.year, value.month, value.day, value.hour,
                                        value.minute, value.second + value.fraction / 1e9));
            else
                into.PutNull(at);
            return;
        }
        case Fetch::BoolText: {
            std::string text;
            if (!ReadLong(statement, column, SQL_C_CHAR, 1, text)) {
                into.PutNull(at);
                return;
            }
            const char first = text.empty() ? '0' : text[0];
            into.PutInteger(
                at, VariantType::Bool,
                first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y');
            return;
        }
        case Fetch::Decimal:
        case Fetch::Time: {
            std::string text;
            if (!ReadLong(statement, column, SQL_C_CHAR, 1, text)) {
                into.PutNull(at);
                return;
            }
            DecimalValue decimal;
            if (fetch == Fetch::Decimal && DecimalValue::Parse(text, decimal))
                into.PutDecimal(at, decimal);
            else
                into.PutText(at, text);  // NaN, or a time of day
            return;
        }
        case Fetch::Binary: {
            std::string bytes;
            if (ReadLong(statement, column, SQL_C_BINARY, 1, bytes))
                into.PutText(at, bytes);
            else
                into.PutNull(at);
            return;
        }
        case Fetch::Text: {
            std::string wide;
            if (!ReadLong(statement, column, SQL_C_WCHAR, sizeof(SQLWCHAR), wide)) {
                into.PutNull(at);
                return;
            }
            std::string text;
            text.reserve(wide.size() / 2);
            AppendUtf8(text, reinterpret_cast<const SQLWCHAR*>(wide.data()),
                       wide.size() / sizeof(SQLWCHAR));
            into.PutText(at, text);
            return;
        }
    }
}

}  // namespace

OdbcConnection::OdbcConnection(const std::string& connectionText, int loginTimeoutSeconds,
                               std::string fallbackProduct)
    : productName_(std::move(fallbackProduct)) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_)))
        throw CADOException(AdoError::Failure, "Unable to start the ODBC driver manager", "ODBC");
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_))) {
        const std::string message = Diagnostics(SQL_HANDLE_ENV, environment_);
        SQLFreeHandle(SQL_HANDLE_ENV, environment_);
        throw CADOException(AdoError::Failure, message, "ODBC");
    }
    if (loginTimeoutSeconds > 0)
        SQLSetConnectAttr(connection_, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)),
                          0);
    std::basic_string<SQLWCHAR> text = ToUtf16(connectionText);
    // No output buffer: the completed string some drivers return holds the password in clear.
    const SQLRETURN rc =
        SQLDriverConnectW(connection_, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()),
                          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    std::fill(text.begin(), text.end(), 0);
    if (!SQL_SUCCEEDED(rc)) {
        const std::string message = Diagnostics(SQL_HANDLE_DBC, connection_);
        SQLFreeHandle(SQL_HANDLE_DBC, connection_);
        SQLFreeHandle(SQL_HANDLE_ENV, environment_);
        throw CADOException(AdoError::Failure, message, "ODBC");
    }
    connected_ = true;

    // Brackets stay for SQL Server, where stored queries use them; other databases mostly reject
    // them, so their own quote is used.
    SQLWCHAR info[64] = {};
    SQLSMALLINT length = 0;
    std::string dbms;
    if (SQL_SUCCEEDED(SQLGetInfoW(connection_, SQL_DBMS_NAME, info, sizeof info, &length)))
        AppendUtf8(dbms, info, std::min<size_t>(length / sizeof(SQLWCHAR), std::size(info) - 1));
    std::string quote;
    if (SQL_SUCCEEDED(
            SQLGetInfoW(connection_, SQL_IDENTIFIER_QUOTE_CHAR, info, sizeof info, &length)))
        AppendUtf8(quote, info, std::min<size_t>(length / sizeof(SQLWCHAR), std::size(info) - 1));
    if (dbms.find("SQL Server") == std::string::npos && quote != " ") identifierQuote_ = quote;
    backslashEscapes_ =
        dbms.find("MySQL") != std::string::npos || dbms.find("MariaDB") != std::string::npos;
    if (!dbms.empty()) productName_ = dbms;
}

std::string OdbcConnection::QuoteIdentifier(std::string_view name) const {
    if (identifierQuote_.empty()) return CProviderConnection::QuoteIdentifier(name);
    // A quote inside the name is doubled, as SQL escapes it.
    std::string quoted = identifierQuote_;
    for (size_t at = 0; at < name.size();) {
        if (name.compare(at, identifierQuote_.size(), identifierQuote_) == 0) {
            quoted += identifierQuote_ + identifierQuote_;
            at += identifierQuote_.size();
        } else {
            quoted += name[at++];
        }
    }
    return quoted + identifierQuote_;
}

OdbcConnection::~OdbcConnection() {
    if (connected_) SQLDisconnect(connection_);
    SQLFreeHandle(SQL_HANDLE_DBC, connection_);
    SQLFreeHandle(SQL_HANDLE_ENV, environment_);
}

void* OdbcConnection::NewStatement() {
    SQLHSTMT statement = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection_, &statement)))
        Fail(SQL_HANDLE_DBC, connection_);
    return statement;
}

bool OdbcConnection::FetchFirstResult(void* handle, RowStore& into) {
    SQLHSTMT statement = handle;
    for (;;) {
        SQLSMALLINT columns = 0;
        if (!SQL_SUCCEEDED(SQLNumResultCols(statement, &columns))) Fail(SQL_HANDLE_STMT, statement);
        if (columns > 0) break;
        const SQLRETURN rc = SQLMoreResults(statement);
        if (rc == SQL_NO_DATA) return false;
        if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, statement);
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(statement, &columns);
    std::vector<Fetch> fetches;
    std::vector<FieldInfo> fields;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
        SQLWCHAR name[512];
        SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        if (!SQL_SUCCEEDED(SQLDescribeColW(statement, c, name, sizeof name / sizeof name[0],
                                           &nameLength, &sqlType, &size, &digits, &nullable)))
            Fail(SQL_HANDLE_STMT, statement);
        SQLLEN isUnsigned = SQL_FALSE;
        SQLColAttributeW(statement, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
        fetches.push_back(FetchFor(sqlType, isUnsigned == SQL_TRUE));
        if (fetches.back() == Fetch::Text) {
            // Some drivers hand booleans over as one-character text by default (psqlODBC's
            // BoolsAsChar); the database's own type name still says what the column is.
            SQLWCHAR typeName[64];
            SQLSMALLINT typeNameBytes = 0;
            if (SQL_SUCCEEDED(SQLColAttributeW(statement, c, SQL_DESC_TYPE_NAME, typeName,
                                               sizeof typeName, &typeNameBytes, nullptr))) {
                std::string type;
                AppendUtf8(
                    type, typeName,
                    std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(typeNameBytes, 0)) /
                                         sizeof(SQLWCHAR),
                                     63));
                for (char& ch : type)
                    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                if (type == "bool" || type == "boolean") fetches.back() = Fetch::BoolText;
            }
        }
        FieldInfo field;
        AppendUtf8(
            field.Name, name,
            std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)), 511));
        field.Type = FieldTypeFor(fetches.back());
        fields.push_back(std::move(field));
    }
    into.SetFields(std::move(fields));
    for (;;) {
        // A driver that reads rows from the server as they are asked for may be between two
        // calls when a stop comes, where a cancel has nothing to cancel.
        orvik::ThrowIfStopped("The query");
        const SQLRETURN rc = SQLFetch(statement);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, statement);
        into.AppendRow();
        for (size_t c = 0; c < fetches.size(); ++c)
            FetchCell(statement, static_cast<SQLUSMALLINT>(c + 1), fetches[c], into, c);
    }
    return true;
}

bool OdbcConnection::Execute(const std::string& command, RowStore& into) {
    const orvik::TimeLimitScope limit(timeoutSeconds_, "CommandTimeout");
    StatementHandle statement(NewStatement());
    std::basic_string<SQLWCHAR> text = ToUtf16(command);
    // The driver blocks until the server answers; only a cancel from another thread ends the
    // wait early, for a stop request or the time limit.
    SQLHSTMT handle = statement.get();
    const orvik::CancelOnStop cancel([handle] { SQLCancel(handle); });
    try {
        const SQLRETURN rc =
            SQLExecDirectW(statement.get(), text.data(), static_cast<SQLINTEGER>(text.size()));
        if (rc == SQL_NO_DATA) return false;  // a searched UPDATE or DELETE that touched no rows
        if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, statement.get());
        return FetchFirstResult(statement.get(), into);
    } catch (const CADOException&) {
        // The driver's own words for a cancel ("canceling statement due to user request") do not
        // say who cancelled it or why.
        const std::string reason = cancel.Reason();
        if (!reason.empty())
            throw CADOException(AdoError::Failure, "The query was stopped: " + reason, "ODBC");
        throw;
    } catch (const orvik::WorkStopped& stopped) {
        throw CADOException(AdoError::Failure, stopped.what(), "ODBC");
    }
}

bool OdbcConnection::ExecuteProcedure(const std::string& name, RowStore& into) {
    return Execute("{call " + name + "}", into);
}

void OdbcConnection::SchemaColumns(const std::string& table, RowStore& into) {
    StatementHandle statement(NewStatement());
    std::basic_string<SQLWCHAR> name = ToUtf16(table);
    const SQLRETURN rc =
        SQLColumnsW(statement.get(), nullptr, 0, nullptr, 0, table.empty() ? nullptr : name.data(),
                    static_cast<SQLSMALLINT>(name.size()), nullptr, 0);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, statement.get());
    FetchFirstResult(statement.get(), into);
}

void OdbcConnection::SchemaTables(RowStore& into) {
    StatementHandle statement(NewStatement());
    std::basic_string<SQLWCHAR> types = ToUtf16("TABLE,VIEW");
    const SQLRETURN rc = SQLTablesW(statement.get(), nullptr, 0, nullptr, 0, nullptr, 0,
                                    types.data(), static_cast<SQLSMALLINT>(types.size()));
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, statement.get());
    FetchFirstResult(statement.get(), into);
}

std::vector<std::string> InstalledOdbcDrivers() {
    std::vector<std::string> drivers;
    SQLHENV environment = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)))
        return drivers;
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLCHAR name[256];
        SQLCHAR attributes[1024];
        SQLSMALLINT nameLength = 0, attributesLength = 0;
        const SQLRETURN rc = SQLDrivers(environment, direction, name, sizeof name, &nameLength,
                                        attributes, sizeof attributes, &attributesLength);
        if (!SQL_SUCCEEDED(rc)) break;
        drivers.emplace_back(reinterpret_cast<const char*>(name));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    return drivers;
}

std::vector<std::string> InstalledOdbcDataSources() {
    std::vector<std::string> sources;
    SQLHENV environment = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)))
        return sources;
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
        SQLCHAR description[512];
        SQLSMALLINT nameLength = 0, descriptionLength = 0;
        const SQLRETURN rc = SQLDataSources(environment, direction, name, sizeof name, &nameLength,
                                            description, sizeof description, &descriptionLength);
        if (!SQL_SUCCEEDED(rc)) break;
        sources.emplace_back(reinterpret_cast<const char*>(name));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    return sources;
}
