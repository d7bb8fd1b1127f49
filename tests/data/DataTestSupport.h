// Shared ground for the data tests: one fixture that gives each test a fresh database of the
// provider under test, so a test body is written once and runs against SQLite (a file made by the
// test) and PostgreSQL (a throw-away cluster reached through unixODBC and psqlODBC).
//
// PostgreSQL runs only when scripts/test started a server and put its ODBC connection string in
// ORVIK_TEST_PG_ODBC. Without that variable the PostgreSQL cases are skipped; with it, a server
// that cannot be reached fails them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "data/AdoDatabase.h"
#include "model/OvInfoDS.h"

namespace orvik::test {

// The ODBC connection string of the test PostgreSQL server, or "" when none was started.
std::string PostgresConnectionString();

class ProviderTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override;
    void TearDown() override;

    bool IsSqlite() const { return GetParam() == "SQLite"; }
    // Runs statements on the test database through a connection of the test's own.
    void Exec(const std::string& sql);
    // A data source of type SQL on the test database with `query`.
    std::unique_ptr<COvInfoDS> MakeSource(const std::string& query);
    // The text of the last message the front end was shown ("" when none).
    std::string LastMessage() const;
    // The test's run.
    AppContext& Ctx() { return program_->Context(); }

    std::unique_ptr<TestProgram> program_;
    std::string connection_;  // the test database's connection string
    std::string schema_;      // PostgreSQL: the test's own schema
    CADODatabase admin_;
};

// Names the parameterized cases after their provider.
std::string ProviderName(const ::testing::TestParamInfo<std::string>& info);

}  // namespace orvik::test
