#include "DataTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "data/AdoException.h"
#include "model/Registries.h"

namespace orvik::test {

std::string PostgresConnectionString() {
    const char* text = std::getenv("ORVIK_TEST_PG_ODBC");
    return text ? text : "";
}

std::string ProviderName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}

void ProviderTest::SetUp() {
    program_ = std::make_unique<TestProgram>();
    if (IsSqlite()) {
        // SQLite takes an empty file as an empty database; the provider itself never creates one.
        program_->Home().Write("test.db", "");
        connection_ = "Provider=SQLite;Data Source=test.db";
    } else {
        const std::string server = PostgresConnectionString();
        if (server.empty())
            GTEST_SKIP() << "no PostgreSQL test server (ORVIK_TEST_PG_ODBC is not set)";
        static std::atomic<int> counter{0};
        schema_ = "t" + std::to_string(getpid()) + "_" + std::to_string(counter++);
        // A server that was started must be reachable: this throws and fails the test otherwise.
        admin_.Open(server);
        admin_.Execute("CREATE SCHEMA " + schema_);
        connection_ = server + ";ConnSettings=SET search_path TO " + schema_;
    }
    admin_.Open(connection_, program_->Context().ProgramFolder());
}

void ProviderTest::TearDown() {
    if (!schema_.empty() && !PostgresConnectionString().empty()) {
        try {
            admin_.Open(PostgresConnectionString());
            admin_.Execute("DROP SCHEMA " + schema_ + " CASCADE");
        } catch (const CADOException&) {
            // A test that took the server's connection down leaves its schema to the cluster's end.
        }
    }
    admin_.Close();
}

void ProviderTest::Exec(const std::string& sql) {
    admin_.Execute(sql);
}

std::unique_ptr<COvInfoDS> ProviderTest::MakeSource(const std::string& query) {
    auto source = std::make_unique<COvInfoDS>(&Ctx().Registries(), GroupId::DataSource);
    source->tpDS.Value = "SQL";
    source->DSN.Value = connection_;
    source->Qry.Value = query;
    return source;
}

std::string ProviderTest::LastMessage() const {
    const auto& messages = program_->Front().Messages;
    return messages.empty() ? "" : messages.back().Text;
}

}  // namespace orvik::test
