// The connection dialog's model: the string rebuilt from the provider and its keys, and a test of
// real connections (SQLite files, the small cube, the PostgreSQL test cluster when it runs).
#include "design/ConnectionEditor.h"

#include <algorithm>

#include "data/DataTestSupport.h"
#include "design/DesignerFixture.h"
#include "olap/SmallShop.h"

namespace orvik::design {
namespace {

using ConnectionEditorTest = test::DesignerFixture;

const ConnectionProvider& Named(const std::vector<ConnectionProvider>& providers,
                                const std::string& name) {
    return ProviderOf(providers, "Provider=" + name);
}

TEST_F(ConnectionEditorTest, TheStringIsRebuiltFromTheProviderAndItsKeysInOrder) {
    const std::vector<ConnectionProvider> providers = ConnectionProviders();
    const std::string edited =
        "Password=p;w;Connect Timeout=15;Data Source=shop.db;Provider=SQLite;User ID=anna";
    const ConnectionProvider& sqlite = ProviderOf(providers, edited);
    EXPECT_EQ(sqlite.Provider, "SQLite");
    std::map<std::string, std::string> values = ConnectionValues(sqlite, edited);
    // Keys the provider does not use go; Integrated Security was not there and does not come.
    EXPECT_EQ(BuildConnection(sqlite, values),
              "Provider=SQLite;Data Source=shop.db;User ID=anna;Password=p");
    values["Password"] = "a;b";
    values["Data Source"] = " spaced.db";
    EXPECT_EQ(BuildConnection(sqlite, values),
              "Provider=SQLite;Data Source=\" spaced.db\";User ID=anna;Password=\"a;b\"");

    const ConnectionProvider& cube = Named(providers, "Orvik.Cube");
    const std::string cubeText =
        "Provider=Orvik.Cube;Catalog=cube.xml;Data Source=sales.db;CellCache=60;Other=1";
    EXPECT_EQ(BuildConnection(cube, ConnectionValues(cube, cubeText)),
              "Provider=Orvik.Cube;Data Source=sales.db;Catalog=cube.xml;CellCache=60");
    EXPECT_TRUE(cube.IsCube);
    EXPECT_EQ(Named(providers, "MSOLAP.8").Provider, "XMLA");
    EXPECT_EQ(Named(providers, "MSDASQL.1").Provider, "MSDASQL");
    EXPECT_EQ(Named(providers, "Nothing").Provider, providers.front().Provider);
}

TEST_F(ConnectionEditorTest, TestingAConnectionListsItsTablesOrSaysWhyNot) {
    const std::vector<ConnectionProvider> providers = ConnectionProviders();
    const ConnectionProvider& sqlite = Named(providers, "SQLite");
    const ConnectionTest shop = TestConnection(
        Ctx(), sqlite, "Provider=SQLite;Data Source=" + program.Home().Path() + "shop.db");
    ASSERT_TRUE(shop.Connected) << shop.Message;
    EXPECT_EQ(shop.Message, "Connected: 2 tables.");
    ASSERT_EQ(shop.Tables.size(), 2u);
    EXPECT_EQ(shop.Tables[0].first, "sales");
    EXPECT_EQ(shop.Tables[0].second, (std::vector<std::string>{"region", "amount"}));

    const ConnectionTest missing = TestConnection(
        Ctx(), sqlite, "Provider=SQLite;Data Source=/nonexistent/folder/x.db;Password=Secret1");
    EXPECT_FALSE(missing.Connected);
    EXPECT_NE(missing.Message, "");
    EXPECT_EQ(missing.Message.find("Secret1"), std::string::npos);

    test::SmallShop cubeShop;
    const ConnectionTest cube =
        TestConnection(Ctx(), Named(providers, "Orvik.Cube"), cubeShop.Connection());
    ASSERT_TRUE(cube.Connected) << cube.Message;
    EXPECT_FALSE(cube.Tables.empty());

    const std::string postgres = test::PostgresConnectionString();
    if (postgres.empty()) return;  // the cluster is not running here (CI starts it)
    const ConnectionTest pg = TestConnection(Ctx(), Named(providers, "MSDASQL"), postgres);
    EXPECT_TRUE(pg.Connected) << pg.Message;
}

}  // namespace
}  // namespace orvik::design
