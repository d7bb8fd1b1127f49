// orvik-xmla as its users run it: a real process on a loopback port, with a users file. Each way
// a request can be wrong (no login, a wrong password, a catalog the user may not see, a body too
// big, a body that is not SOAP, a hostile statement) gets one clear answer, the server stays up
// and answers the next request, every request leaves one log line, and SIGTERM stops it cleanly.
// Starting is refused where it would be unsafe or could not work.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../olap/SmallShop.h"
#include "TestSupport.h"
#include "XmlaServerProcess.h"
#include "core/Paths.h"
#include "data/AdoException.h"
#include "http/UsersFile.h"
#include "olap/XmlaConnection.h"
#include "olap/XmlaHttp.h"
#include "olap/XmlaRowsetReader.h"

namespace orvik::test {
namespace {

struct Reply {
    long Status = 0;
    std::string Body;
};

Reply Post(const std::string& url, const std::string& body, const std::string& user = {},
           const std::string& password = {}) {
    xmla::HttpSettings settings;
    settings.Url = url;
    settings.User = user;
    settings.Password = password;
    settings.TimeoutSeconds = 30;
    xmla::HttpExchange exchange(settings, body,
                                "\"urn:schemas-microsoft-com:xml-analysis:Execute\"");
    exchange.Start();
    Reply reply;
    reply.Status = exchange.Status();
    char buffer[4096];
    while (const size_t n = exchange.Read(buffer, sizeof buffer)) reply.Body.append(buffer, n);
    return reply;
}

std::string Execute(const std::string& statement, const std::string& catalog = "Shop") {
    return "<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body><Execute "
           "xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><Command><Statement>" +
           statement + "</Statement></Command><Properties><PropertyList><Catalog>" + catalog +
           "</Catalog></PropertyList></Properties></Execute></Body></Envelope>";
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class XmlaServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Two users: alice may use Shop only, bob every catalog.
        users_ =
            folder_.Write("users", "# who may ask\nalice:" + http::HashPassword("alice-pw") +
                                       ":Shop:\nbob:" + http::HashPassword("bob-pw") + ":*:\n");
        chmod(users_.c_str(), 0600);
        log_ = folder_.Path() + "xmla.log";
    }

    std::vector<std::string> Arguments(std::vector<std::string> more = {}) const {
        std::vector<std::string> arguments = {"--catalog", "Shop=" + shop_.Connection(),
                                              "--catalog", "Secret=" + shop_.Connection(),
                                              "--log",     log_};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }

    SmallShop shop_;
    TempDir folder_;
    std::string users_, log_;
};

TEST_F(XmlaServerTest, EveryWrongRequestGetsOneClearAnswerAndTheServerStaysUp) {
    XmlaServerProcess server(Arguments({"--users", users_, "--max-request", "4096"}));
    ASSERT_TRUE(server.Listening()) << server.Output();
    const std::string url = server.Url();
    const std::string good = Execute("SELECT {[Measures].[Amount]} ON 0 FROM [Sales]");

    EXPECT_EQ(Post(url, good).Status, 401);
    const Reply wrong = Post(url, good, "alice", "bob-pw");
    EXPECT_EQ(wrong.Status, 401);
    EXPECT_NE(wrong.Body.find("user name or password is wrong"), std::string::npos) << wrong.Body;
    EXPECT_EQ(Post(url, good, "mallory", "x").Status, 401);

    const Reply hidden = Post(url, Execute("SELECT FROM [Sales]", "Secret"), "alice", "alice-pw");
    EXPECT_EQ(hidden.Status, 500);
    EXPECT_NE(hidden.Body.find("There is no catalog 'Secret' you may use"), std::string::npos)
        << hidden.Body;
    EXPECT_EQ(Post(url, Execute("SELECT FROM [Sales]", "Secret"), "bob", "bob-pw").Status, 200);

    const Reply big =
        Post(url, Execute(std::string(8000, ' ') + "SELECT FROM [Sales]"), "alice", "alice-pw");
    EXPECT_EQ(big.Status, 413);

    const Reply malformed =
        Post(url, "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>",
             "alice", "alice-pw");
    EXPECT_EQ(malformed.Status, 500);
    EXPECT_NE(malformed.Body.find("<faultcode>soap:Client</faultcode>"), std::string::npos);
    EXPECT_NE(malformed.Body.find("The request cannot be read"), std::string::npos)
        << malformed.Body;

    // Statements that attack the engine: nesting to exhaust its stack, a name that never ends,
    // markup that would break the reply if it were echoed unescaped.
    const std::string hostile[] = {
        "SELECT " + std::string(1500, '(') + "1" + std::string(1500, ')') + " ON 0 FROM [Sales]",
        "SELECT [Measures].[Amount ON 0 FROM [Sales]",
        "SELECT {[Store].[&lt;/faultstring&gt;&lt;x&gt;]} ON 0 FROM [Sales]",
    };
    for (const std::string& statement : hostile) {
        const Reply reply = Post(url, Execute(statement), "alice", "alice-pw");
        EXPECT_EQ(reply.Status, 500) << statement;
        EXPECT_EQ(Count(reply.Body, "<faultstring>"), 1u) << reply.Body;
        EXPECT_EQ(reply.Body.find("<x>"), std::string::npos) << reply.Body;
    }
    EXPECT_EQ(Post(url + "-not", good, "alice", "alice-pw").Status, 404);

    // Still up, and answering through the client as a report would.
    XmlaConnection client("Provider=XMLA;Data Source=" + url +
                          ";Initial Catalog=Shop;User ID=alice;Password=alice-pw");
    const CellSetData cells = client.Execute("SELECT {[Measures].[Amount]} ON 0 FROM [Sales]");
    ASSERT_EQ(cells.Cells.size(), 1u);
    EXPECT_DOUBLE_EQ(cells.Cells[0].Value.AsDouble(), shop_.Sql("SELECT sum(amount) FROM sales"));

    EXPECT_EQ(server.Stop(), 0) << server.Output();
    const std::string output = server.Output();
    EXPECT_NE(output.find("orvik-xmla stopped"), std::string::npos) << output;
    // One line per request, in the log as on standard error, and no password anywhere.
    std::string log;
    ASSERT_TRUE(ReadWholeFile(log_, log));
    EXPECT_EQ(Count(log, "xmla user="), Count(output, "xmla user="));
    // The request too big never reaches the handler: the HTTP layer refuses it before reading.
    EXPECT_EQ(Count(log, "xmla user="), 11u) << log;
    EXPECT_NE(log.find("xmla user=alice from=127.0.0.1 request=EXECUTE catalog=Shop cube=Sales "
                       "status=200"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("cells=1"), std::string::npos) << log;
    EXPECT_EQ(log.find("alice-pw"), std::string::npos);
    EXPECT_EQ(log.find("bob-pw"), std::string::npos);
}

TEST_F(XmlaServerTest, StartIsRefusedWhereItWouldBeUnsafeOrCannotWork) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {Arguments({"--users", users_, "--listen", "0.0.0.0:0"}), 1, "passwords would cross"},
        {{"--catalog", "Broken=Data Source=" + folder_.Path() +
                           "none.db;Catalog=" + folder_.Path() + "none.xml"},
         1,
         "the catalog 'Broken' cannot be opened"},
        {Arguments({"--users", folder_.Path() + "missing"}), 1, "missing"},
        {Arguments({"--threads", "0"}), 2, "--threads takes a whole number"},
        {{"--listen", "127.0.0.1:0"}, 2, "Name at least one catalog"},
        {Arguments({"--frobnicate"}), 2, "Unknown option '--frobnicate'"},
        {Arguments({"--catalog", "shop=x"}), 2, "The catalog 'shop' is named twice"},
    };
    for (const Case& kase : cases) {
        XmlaServerProcess server(kase.arguments);
        EXPECT_FALSE(server.Listening());
        EXPECT_EQ(server.WaitForExit(10), kase.status) << server.Output();
        EXPECT_NE(server.Output().find(kase.says), std::string::npos) << server.Output();
    }
}

}  // namespace
}  // namespace orvik::test
