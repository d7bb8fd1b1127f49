#include "olap/SqlDialect.h"

#include <cmath>
#include <cstdio>

#include "data/AdoDatabase.h"
#include "data/Variant.h"
#include "olap/NameCase.h"

namespace orvik::cube {
namespace {

using enum IdentifierQuoting;

constexpr SqlDialect kDialects[] = {
    {"generic", Provider, "1", "0", false, ""},
    {"sqlite", SqliteBrackets, "1", "0", false, ""},
    {"postgres", DoubleQuotes, "TRUE", "FALSE", false, ""},
    {"mssql", Brackets, "1", "0", false, "N"},
    {"mysql", Backticks, "TRUE", "FALSE", true, ""},
    {"mariadb", Backticks, "TRUE", "FALSE", true, ""},
    {"oracle", DoubleQuotes, "1", "0", false, ""},
};

// What a product name holds, lower-cased, and the dialect that serves it; the first match wins,
// so MariaDB is looked for before the MySQL it may also mention.
struct ProductPattern {
    std::string_view Contains;
    std::string_view Dialect;
};
constexpr ProductPattern kProducts[] = {
    {"sqlite", "sqlite"},   {"postgres", "postgres"}, {"sql server", "mssql"},
    {"mariadb", "mariadb"}, {"mysql", "mysql"},       {"oracle", "oracle"},
};

std::string Quoted(std::string_view name, char open, char close) {
    std::string text(1, open);
    for (char c : name) {
        text += c;
        if (c == close) text += close;
    }
    return text + close;
}

std::string TextLiteral(const SqlDialect& dialect, const std::string& text) {
    std::string literal = std::string(dialect.TextPrefix) + "'";
    for (char c : text) {
        literal += c;
        if (c == '\'' || (c == '\\' && dialect.BackslashEscapes)) literal += c;
    }
    return literal + "'";
}

}  // namespace

const SqlDialect* DialectNamed(std::string_view name) {
    for (const SqlDialect& dialect : kDialects)
        if (SameName(dialect.Name, name)) return &dialect;
    return nullptr;
}

const SqlDialect& DialectForProduct(std::string_view productName) {
    const std::string lowered = LowerAscii(std::string(productName));
    for (const ProductPattern& product : kProducts)
        if (lowered.find(product.Contains) != std::string::npos)
            return *DialectNamed(product.Dialect);
    return kDialects[0];
}

const SqlDialect& DialectOf(const CADODatabase& database) {
    return DialectForProduct(database.DatabaseProductName());
}

std::string QuoteIdentifier(const SqlDialect& dialect, std::string_view name,
                            const CProviderConnection& provider) {
    switch (dialect.Quoting) {
        case Brackets:
            return Quoted(name, '[', ']');
        case SqliteBrackets:
            return name.find(']') == std::string_view::npos ? Quoted(name, '[', ']')
                                                            : Quoted(name, '"', '"');
        case DoubleQuotes:
            return Quoted(name, '"', '"');
        case Backticks:
            return Quoted(name, '`', '`');
        case Provider:
            break;
    }
    return provider.QuoteIdentifier(name);
}

std::string SqlLiteral(const SqlDialect& dialect, const Variant& value) {
    switch (value.Type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return "NULL";
        case VariantType::String:
            return TextLiteral(dialect, value.AsString());
        case VariantType::Date:
            return TextLiteral(dialect, VariantToText(value));
        case VariantType::Bool:
            return std::string(value.AsInt64() ? dialect.True : dialect.False);
        case VariantType::Decimal:
            return value.AsDecimal().ToText();
        case VariantType::R4:
        case VariantType::R8: {
            const double number = value.AsDouble();
            // Read back as the float the database holds (PostgreSQL keeps NaN and infinities).
            if (std::isnan(number)) return TextLiteral(dialect, "NaN");
            if (std::isinf(number))
                return TextLiteral(dialect, number > 0 ? "Infinity" : "-Infinity");
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.17g", number);
            return buffer;
        }
        default:
            return std::to_string(value.AsInt64());
    }
}

}  // namespace orvik::cube
