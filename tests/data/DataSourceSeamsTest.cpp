// Data source paths that do not depend on which database answers: what an empty or unknown
// connection does, plug-in types, the OLAP result seam, and a PostgreSQL server that goes away.
#include <gtest/gtest.h>

#include <algorithm>

#include "DataTestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoRecordset.h"
#include "data/CellSetResult.h"
#include "data/OdbcProvider.h"
#include "model/Registries.h"

namespace orvik::test {
namespace {

std::unique_ptr<COvInfoDS> Source(CRegistries& registries, const std::string& type,
                                  const std::string& dsn, const std::string& query = "") {
    auto source = std::make_unique<COvInfoDS>(&registries, GroupId::DataSource);
    source->tpDS.Value = type;
    source->DSN.Value = dsn;
    source->Qry.Value = query;
    return source;
}

TEST(DataSourceConnect, EmptyConnectionStringFailsSilently) {
    TestProgram program;
    auto source = Source(program.Context().Registries(), "SQL", "", "SELECT 1");
    EXPECT_EQ(source->OpenConnectDS(program.Context(), true), 0);
    EXPECT_TRUE(program.Front().Messages.empty());
    EXPECT_TRUE(program.Front().PaneTexts.empty());
    EXPECT_EQ(source->OpenRSDS(program.Context()), 0);  // no connection
    EXPECT_EQ(source->GetDSRowCount(program.Context()), 0);
    EXPECT_EQ(source->GetDSColCount(), 0);
    EXPECT_EQ(source->GetDSTextRC(program.Context(), 1, 0), "0");
}

TEST(DataSourceConnect, UnknownProviderNamesTheOnesThatExist) {
    TestProgram program;
    auto source = Source(program.Context().Registries(), "SQL",
                         "Provider=MSOLAP.3;Data Source=cube;Password=x9");
    EXPECT_EQ(source->OpenConnectDS(program.Context(), false), 0);
    ASSERT_EQ(program.Front().Messages.size(), 1u);
    const std::string& message = program.Front().Messages[0].Text;
    EXPECT_NE(message.find("ErrorMessage = Provider cannot be found."), std::string::npos);
    EXPECT_NE(message.find("Text = Provider=MSOLAP.3;Data Source=cube;Password=***\n\nADO could "
                           "not find the specified provider 'MSOLAP.3'\nProviders available here: "
                           "SQLite"),
              std::string::npos)
        << message;
}

TEST(DataSourceConnect, SqlServerProvidersGoThroughFreeTdsWhenInstalled) {
    TestProgram program;
    const auto drivers = InstalledOdbcDrivers();
    const bool haveFreeTds = std::any_of(drivers.begin(), drivers.end(), [](const std::string& d) {
        return d.find("FreeTDS") != std::string::npos;
    });
    auto source = Source(program.Context().Registries(), "SQL",
                         "Provider=SQLOLEDB.1;Data Source=127.0.0.1,1;User ID=sa;"
                         "Password=topsecret;Initial Catalog=x");
    EXPECT_EQ(source->OpenConnectDS(program.Context(), false), 0);
    ASSERT_EQ(program.Front().Messages.size(), 1u);
    const std::string& message = program.Front().Messages[0].Text;
    EXPECT_EQ(message.find("topsecret"), std::string::npos) << message;
    // With the driver, the attempt reaches the (absent) server; without it, the provider is named
    // as missing.
    EXPECT_EQ(message.find("could not find the specified provider") == std::string::npos,
              haveFreeTds)
        << message;
}

TEST(DataSourceConnect, SqliteFileIsFoundInTheProgramFolderAndAfterSubstitution) {
    TestProgram program;
    program.Home().Write("sub/data.db", "");
    auto source = Source(program.Context().Registries(), "SQL",
                         "Provider=SQLite;Data Source=sub\\data.db", "SELECT 2 AS two");
    ASSERT_EQ(source->OpenConnectDS(program.Context(), true), 1);
    EXPECT_EQ(source->GetDSTextRC(program.Context(), 1, 0), "2");
    source->DSN.Value = "Provider=SQLite;Data Source=~Dir~sub/data.db";
    ASSERT_EQ(source->OpenConnectDS(program.Context(), true), 1);
    EXPECT_EQ(source->GetDSHeader(0), "two");
    EXPECT_EQ(source->Connection->GetCommandTimeout(), 5000);
}

// A kind added to one program's registries (as a plug-in's is) opens that program's sources of
// its type, and no other program's.
TEST(DataSourceConnect, AKindInTheProgramsRegistriesOpensItsSources) {
    struct Recording : orvik::DataSourceKind {
        int Connect(orvik::Run&, COvInfoDS& source, bool) override {
            Opened = source.NameValue();
            return 7;
        }
        int Run(orvik::Run&, COvInfoDS&) override { return 1; }
        std::string Opened;
    };
    TestProgram program;
    TestProgram other;
    auto kind = std::make_shared<Recording>();
    program.Context().Registries().Types.Kinds.Register("PLG", kind);
    auto source =
        Source(program.Context().Registries(), "PLG", "Provider=SQLite;Data Source=none.db");
    source->Name.Value = "Mine";
    EXPECT_EQ(source->OpenConnectDS(program.Context(), true), 7);
    EXPECT_EQ(kind->Opened, "Mine");
    EXPECT_EQ(source->Connection, nullptr);
    EXPECT_TRUE(program.Front().Messages.empty());
    EXPECT_EQ(source->GetDSRowCount(program.Context()), 0);
    EXPECT_TRUE(source->GetDSvarRC(program.Context(), 1, 0).IsEmpty());
    EXPECT_EQ(source->GetDSCol2Count(), 0);

    EXPECT_FALSE(other.Context().Registries().Types.Kinds.Has("PLG"));
    EXPECT_FALSE(orvik::DataSourceKindRegistry::Builtin().Has("PLG"));
}

CellSetMember Member(const std::string& caption) {
    CellSetMember member;
    member.Caption = caption;
    return member;
}

CellSetData TwoAxes() {
    // Columns: (2023 . Q1), (2023 . Q2), (2024 . Q1); rows: (Moscow, Shop), (Kazan, Shop).
    CellSetData data;
    data.Axes.resize(2);
    for (const auto& [year, quarter] : std::vector<std::pair<std::string, std::string>>{
             {"2023", "Q1"}, {"2023", "Q2"}, {"2024", "Q1"}})
        data.Axes[0].Positions.push_back({{Member(year), Member(quarter)}});
    data.Axes[1].Positions.push_back({{Member("Moscow"), Member("Shop")}});
    data.Axes[1].Positions.push_back({{Member("Kazan"), Member("Shop")}});
    for (int i = 0; i < 6; ++i) data.Cells.push_back({Variant::MakeR8(1000.0 * (i + 1)), ""});
    return data;
}

TEST(DataSourceCellSet, RowHeaderColumnsComeFirst) {
    TestProgram program;
    auto source = Source(program.Context().Registries(), "OLAP", "Provider=Nothing");
    source->CellSet = std::make_unique<CADOMDCellSet>();
    source->CellSet->SetData(TwoAxes());
    source->Result = std::make_unique<orvik::CellSetResult>(*source->CellSet);
    EXPECT_EQ(source->GetDSRowCount(program.Context()), 2);
    EXPECT_EQ(source->GetDSColCount(), 5);
    EXPECT_EQ(source->GetDSCol2Count(), 2);
    EXPECT_EQ(source->GetDSHeader(2), "2023 . Q1");
    EXPECT_EQ(source->GetDSHeader(4), "2024 . Q1");
    EXPECT_EQ(source->GetDSHeader(1), "");
    EXPECT_EQ(source->GetDSHeader(5), "");
    EXPECT_EQ(source->GetDSTextRC(program.Context(), 2, 0), "Kazan");
    EXPECT_EQ(source->GetDSTextRC(program.Context(), 2, 1), "Shop");
    EXPECT_EQ(source->GetDSTextRC(program.Context(), 2, 3), "5 000.00");  // ordinal 1 × 3 + 1
    EXPECT_TRUE(source->GetDSvarRC(program.Context(), 1, 5).IsEmpty());
    EXPECT_EQ(source->GetDSvarRC(program.Context(), 0, 2).AsInt64(), 0);
    EXPECT_TRUE(program.Front().Messages.empty());
    EXPECT_EQ(source->GetDSvarRC(program.Context(), 3, 0).Type(),
              VariantType::I4);  // no third row: reported
    EXPECT_EQ(program.Front().Messages.size(), 1u);
}

TEST(DataSourceCellSet, SingleAxisIsOneRowWithoutRowHeaders) {
    TestProgram program;
    auto source = Source(program.Context().Registries(), "OLAP", "Provider=Nothing");
    CellSetData data = TwoAxes();
    data.Axes.pop_back();
    data.Cells.resize(3);
    source->CellSet = std::make_unique<CADOMDCellSet>();
    source->CellSet->SetData(std::move(data));
    source->Result = std::make_unique<orvik::CellSetResult>(*source->CellSet);
    EXPECT_EQ(source->GetDSRowCount(program.Context()), 1);
    EXPECT_EQ(source->GetDSColCount(), 3);
    EXPECT_EQ(source->GetDSCol2Count(), 0);
    EXPECT_EQ(source->GetDSHeader(0), "");  // column 0 has no header, even without row headers
    EXPECT_EQ(source->GetDSHeader(1), "2023 . Q2");
    EXPECT_EQ(source->GetDSTextRC(program.Context(), 1, 2), "3 000.00");  // ordinal = column
}

TEST(DataSourceCellSet, OpeningWithoutAProviderIsReported) {
    TestProgram program;
    program.Home().Write("x.db", "");
    auto source = Source(program.Context().Registries(), "OLAP", "Provider=SQLite;Data Source=x.db",
                         "SELECT {} ON 0 FROM [c]");
    ASSERT_EQ(source->OpenConnectDS(program.Context(), true), 0);
    EXPECT_EQ(source->CellSet, nullptr);
    ASSERT_EQ(program.Front().Messages.size(), 1u);
    EXPECT_NE(program.Front().Messages[0].Text.find("Provider cannot be found"), std::string::npos);

    // With an empty query the empty cell set is kept, as the query builder expects.
    source->Qry.Value = "";
    EXPECT_EQ(source->OpenRSDS(program.Context()), 1);
    ASSERT_NE(source->CellSet, nullptr);
    EXPECT_FALSE(source->CellSet->IsOpen());
    EXPECT_EQ(source->GetDSRowCount(program.Context()), 0);
}

TEST(DataSourcePostgres, ServerGoneIsAnErrorAndReconnectingHeals) {
    const std::string server = PostgresConnectionString();
    if (server.empty()) GTEST_SKIP() << "no PostgreSQL test server (ORVIK_TEST_PG_ODBC is not set)";
    TestProgram program;
    auto source = Source(program.Context().Registries(), "SQL", server,
                         "SELECT pg_terminate_backend(pg_backend_pid())");
    ASSERT_EQ(source->OpenConnectDS(program.Context(), false), 1);
    EXPECT_EQ(source->OpenRSDS(program.Context()),
              0);  // the server ends this session mid-statement
    source->Qry.Value = "SELECT 1";
    EXPECT_EQ(source->OpenRSDS(program.Context()),
              0);  // and nothing more goes through the dead connection
    EXPECT_GE(program.Front().Messages.size(), 2u);
    EXPECT_EQ(source->OpenConnectDS(program.Context(), true), 1);
    EXPECT_EQ(source->GetDSTextRC(program.Context(), 1, 0), "1");
}

}  // namespace
}  // namespace orvik::test
