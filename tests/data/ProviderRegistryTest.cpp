// One registry of providers: a connection string finds its provider by its Provider key, whether
// relational or a cube, and cell sets go only to providers that run MDX.
#include <gtest/gtest.h>

#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "data/ProviderRegistry.h"
#include "olap/OlapConnection.h"

namespace orvik {
namespace {

std::string DescriptionOf(std::string_view connection) {
    const auto provider = ProviderRegistry::Process().Find(connection);
    return provider ? provider->Description() : "(none)";
}

TEST(ProviderRegistry, TheProviderKeyPicksOneEntryForConnectionsAndCellSets) {
    EXPECT_EQ(DescriptionOf("Provider=SQLite;Data Source=a.db"),
              "SQLite (Data Source=<database file>)");
    EXPECT_EQ(DescriptionOf("DSN=sales"), "ODBC and MSDASQL (any installed ODBC driver or DSN)");
    EXPECT_EQ(DescriptionOf("Provider=MSDASQL.1;DSN=sales"), DescriptionOf("DSN=sales"));
    EXPECT_EQ(DescriptionOf("Provider=orvik.cube.2;Catalog=c.xml"),
              "Orvik.Cube (OLAP: Data Source=..., Catalog=...)");
    // OLAP servers: the Windows provider names and the generic one reach them over XMLA.
    EXPECT_EQ(DescriptionOf("Provider=MSOLAP.3"), DescriptionOf("Provider=XMLA"));
    EXPECT_NE(DescriptionOf("Provider=MSOLAP").find("over HTTP"), std::string::npos);
    EXPECT_EQ(DescriptionOf("Provider=MSDAORA"), "(none)");

    EXPECT_TRUE(IsOlapConnectionString("Provider=Orvik.Cube;Catalog=c.xml"));
    EXPECT_FALSE(IsOlapConnectionString("Provider=SQLite;Data Source=a.db"));

    // A relational provider runs no MDX: the cell set says the provider is not found.
    CADOMDCellSet cells;
    try {
        cells.Open("SELECT FROM [Sales]", "Provider=SQLite;Data Source=:memory:");
        FAIL() << "a relational provider ran MDX";
    } catch (const CADOException& error) {
        EXPECT_EQ(error.GetError(), AdoError::ProviderNotFound);
    }

    const std::string available = ProviderRegistry::Process().AvailableText();
    EXPECT_EQ(available.rfind("Providers available here: SQLite (Data Source=<database file>); "
                              "ODBC and MSDASQL",
                              0),
              0u)
        << available;
    EXPECT_NE(available.find("; Orvik.Cube (OLAP"), std::string::npos) << available;
}

}  // namespace
}  // namespace orvik
