// Connection strings: reading keys, keeping passwords out of sight, the editor's rebuild and the
// translations that let reports made for Windows providers reach an ODBC driver.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "data/ConnectionString.h"
#include "data/ProviderConnection.h"

namespace orvik {
namespace {

TEST(ConnectionString, KeysMatchWholeAndQuotedValuesKeepTheirSemicolons) {
    const std::string text =
        "Provider=Microsoft.Jet.OLEDB.4.0; data source = C:\\x.mdb ;"
        "Jet OLEDB:Database Password=jet;Password=\"a;b\"\"c\";Extended Properties='x=1;y=2'";
    EXPECT_EQ(ConnectionKeyValue(text, "Data Source"), "C:\\x.mdb");
    // "Password" is also the tail of the Jet key; only the whole key counts.
    EXPECT_EQ(ConnectionKeyValue(text, "Password"), "a;b\"c");
    EXPECT_EQ(ConnectionKeyValue(text, "Extended Properties"), "x=1;y=2");
    EXPECT_EQ(ConnectionKeyValue(text, "Location"), "");
    EXPECT_EQ(ConnectionKeyValue("Driver={SQL Server};Server=s", "driver"), "SQL Server");
    EXPECT_EQ(ConnectionKeyValue("a==b=1;junk;c=2", "a=b"), "1");
    EXPECT_EQ(ConnectionKeyValue("a==b=1;junk;c=2", "c"), "2");
}

TEST(ConnectionString, PasswordsAreMaskedAndNothingElse) {
    EXPECT_EQ(MaskConnectionSecrets("Driver={X};UID=sa;PWD=s3cret;Port=5"),
              "Driver={X};UID=sa;PWD=***;Port=5");
    EXPECT_EQ(MaskConnectionSecrets("User ID=u;Password=\"a;b\";Data Source=d"),
              "User ID=u;Password=***;Data Source=d");
    EXPECT_EQ(MaskConnectionSecrets("pwd={x;y}"), "pwd=***");
    EXPECT_EQ(MaskConnectionSecrets("Jet OLEDB:Database Password=j"),
              "Jet OLEDB:Database Password=***");
    EXPECT_EQ(MaskConnectionSecrets("PWD=;Server=s"), "PWD=;Server=s");
}

TEST(ConnectionString, RebuildKeepsTheSixKeysInOrder) {
    const std::string edited =
        "Provider=SQLOLEDB.1;Password=p;Connect Timeout=30;User ID=u;Data Source=srv;"
        "Initial Catalog=db;Persist Security Info=False";
    EXPECT_EQ(DlgDSRebuild(edited),
              "Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv;User ID=u;Password=p");
    // A value with a ";" is quoted, and reads back whole.
    const std::string rebuilt = RebuildConnectionString("SQLite", "Data Source=a;b.db;x=1");
    EXPECT_EQ(rebuilt, "Provider=SQLite;Data Source=a");
    const std::string quoted = RebuildConnectionString("P", "Password='x;y'");
    EXPECT_EQ(ConnectionKeyValue(quoted, "Password"), "x;y");
    EXPECT_EQ(RebuildConnectionString("P", "Integrated Security=SSPI"),
              "Provider=P;Integrated Security=SSPI");
}

TEST(ConnectionString, RebuildWithoutProviderGivesNothing) {
    EXPECT_EQ(DlgDSRebuild("Data Source=x"), "");
}

TEST(ProviderMapping, WindowsStringsBecomeOdbcStrings) {
    EXPECT_EQ(SqlServerToOdbc("Provider=SQLOLEDB.1;Data Source=tcp:db.local,1444;"
                              "Initial Catalog=Sales;User ID=sa;Password=p;w",
                              "FreeTDS"),
              "Driver={FreeTDS};Server=db.local;Port=1444;Database=Sales;UID=sa;PWD=p;"
              "ClientCharset=UTF-8");
    EXPECT_EQ(SqlServerToOdbc("Provider=SQLNCLI11;Data Source=(local)\\SQLEXPRESS;"
                              "Integrated Security=SSPI;User ID=ignored",
                              "FreeTDS"),
              "Driver={FreeTDS};Server=localhost\\SQLEXPRESS;Trusted_Connection=Yes;"
              "ClientCharset=UTF-8");
    EXPECT_EQ(SqlServerToOdbc("Provider=MSOLEDBSQL;Data Source=.;Password={a;b}", "TDS"),
              "Driver={TDS};Server=localhost;Port=1433;PWD={a;b};ClientCharset=UTF-8");

    EXPECT_EQ(OdbcConnectionText("Provider=MSDASQL.1;Data Source=Sales;User ID=u;Password=p"),
              "DSN=Sales;UID=u;PWD=p");
    EXPECT_EQ(OdbcConnectionText("Provider=MSDASQL;Extended Properties=\"DSN=x;UID=y\""),
              "DSN=x;UID=y");
    EXPECT_EQ(OdbcConnectionText("Driver={PostgreSQL Unicode};Server=h;Data Source=ignored"),
              "Driver={PostgreSQL Unicode};Server=h;Data Source=ignored");
}

}  // namespace
}  // namespace orvik
