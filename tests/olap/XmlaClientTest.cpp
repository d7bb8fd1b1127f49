// The XMLA provider against a scripted loopback server: what the connection string turns into
// on the wire (catalog, login, sessions), how each way a server can fail reaches the user
// (SOAP fault, error messages, HTTP status, HTML page, no server, stall, broken-off reply), and
// that the password appears in no message.
#include <gtest/gtest.h>

#include <chrono>

#include "XmlaPeer.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "net/NetPeers.h"
#include "olap/OlapConnection.h"
#include "olap/XmlaClient.h"
#include "olap/XmlaConnection.h"

namespace orvik::test {
namespace {

std::string Soap(const std::string& body, const std::string& header = {}) {
    return "<?xml version=\"1.0\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">" +
           (header.empty() ? "" : "<soap:Header>" + header + "</soap:Header>") + "<soap:Body>" +
           body + "</soap:Body></soap:Envelope>";
}

std::string DiscoverReply(const std::string& rows, const std::string& extra = {}) {
    return Soap(
        "<DiscoverResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return><root "
        "xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\">" +
        rows + extra + "</root></return></DiscoverResponse>");
}

const std::string kCubeRows =
    "<row><CATALOG_NAME>Shop</CATALOG_NAME><CUBE_NAME>Sales</CUBE_NAME>"
    "</row><row><CUBE_NAME>$Store</CUBE_NAME><CUBE_SOURCE>2</CUBE_SOURCE>"
    "</row>";

std::string Base64Decode(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    int bits = 0, value = 0;
    for (char c : text) {
        const size_t at = alphabet.find(c);
        if (at == std::string::npos) break;
        value = (value << 6) | static_cast<int>(at);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

// The message `call` fails with; "" when it does not fail.
template <typename Call>
std::string FailureOf(Call&& call, long* code = nullptr) {
    try {
        call();
    } catch (const CADOException& error) {
        if (code) *code = error.GetError();
        return error.what();
    }
    return "";
}

TEST(XmlaProvider, ConnectionStringBecomesCatalogLoginAndSession) {
    int answered = 0;
    XmlaPeer peer([&](const PeerRequest&) {
        // The first reply opens a session, as a server that keeps sessions does.
        const std::string header =
            answered++ == 0 ? "<Session xmlns=\"urn:schemas-microsoft-com:xml-analysis\" "
                              "SessionId=\"S-42\"/>"
                            : "";
        PeerReply reply;
        reply.Body = Soap(
            "<DiscoverResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return><root "
            "xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\">" +
                kCubeRows + "</root></return></DiscoverResponse>",
            header);
        return reply;
    });
    {
        const auto connection = OpenOlapConnection(
            "Provider=MSOLAP.8;Data Source=" + peer.Url() +
            ";Initial Catalog=Shop & Co;User ID=ann;Password=\"s3;cr<t\";Timeout=20");
        // The dimension the server lists as a cube of its own is not a cube.
        EXPECT_EQ(connection->CubeNames(), std::vector<std::string>{"Sales"});
        RowStore rows;
        connection->SchemaRowset("MDSCHEMA_CUBES", "Sales", rows);
        ASSERT_EQ(rows.RowCount(), 2u);
        EXPECT_EQ(rows.Fields()[2].Name, "CUBE_NAME");  // standard position, whatever was sent
    }
    const std::vector<PeerRequest> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 3u);  // two Discovers, then the session's end
    for (const PeerRequest& request : requests) {
        EXPECT_EQ(request.Path, "/xmla");
        const std::string authorization = request.Header("authorization");
        ASSERT_EQ(authorization.rfind("Basic ", 0), 0u);
        EXPECT_EQ(Base64Decode(authorization.substr(6)), "ann:s3;cr<t");
        EXPECT_NE(request.Header("soapaction").find("urn:schemas-microsoft-com:xml-analysis:"),
                  std::string::npos);
    }
    EXPECT_NE(requests[0].Body.find("<BeginSession"), std::string::npos);
    EXPECT_NE(requests[0].Body.find("<Catalog>Shop &amp; Co</Catalog>"), std::string::npos);
    EXPECT_NE(requests[0].Body.find("<CATALOG_NAME>Shop &amp; Co</CATALOG_NAME>"),
              std::string::npos);
    EXPECT_NE(requests[1].Body.find("<Session soap:mustUnderstand=\"1\" SessionId=\"S-42\""),
              std::string::npos);
    EXPECT_NE(requests[1].Body.find("<CUBE_NAME>Sales</CUBE_NAME>"), std::string::npos);
    EXPECT_NE(requests[2].Body.find("<EndSession soap:mustUnderstand=\"1\" SessionId=\"S-42\""),
              std::string::npos);
}

TEST(XmlaProvider, ServerWithoutSessionsIsAskedAgainWithoutTheHeader) {
    XmlaPeer peer([](const PeerRequest& request) {
        PeerReply reply;
        if (request.Body.find("BeginSession") != std::string::npos) {
            reply.Status = 500;
            reply.Reason = "Internal Server Error";
            reply.Body = Soap(
                "<soap:Fault><faultcode>soap:MustUnderstand</faultcode><faultstring>Header not "
                "understood</faultstring></soap:Fault>");
        } else {
            reply.Body = DiscoverReply(kCubeRows);
        }
        return reply;
    });
    xmla::Client client("Data Source=" + peer.Url());
    RowStore first, second;
    client.Discover("MDSCHEMA_CUBES", {}, first);
    client.Discover("MDSCHEMA_CUBES", {}, second);
    EXPECT_EQ(first.RowCount(), 2u);
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].Body.find("Session"), std::string::npos);
    EXPECT_EQ(requests[2].Body.find("Session"), std::string::npos);
}

TEST(XmlaProvider, SessionTheServerEndedIsBegunAgain) {
    int sessions = 0;
    XmlaPeer peer([&](const PeerRequest& request) {
        PeerReply reply;
        std::string header;
        if (request.Body.find("<BeginSession") != std::string::npos) {
            header = "<Session xmlns=\"urn:schemas-microsoft-com:xml-analysis\" SessionId=\"S" +
                     std::to_string(++sessions) + "\"/>";
        } else if (request.Body.find("SessionId=\"S1\"") != std::string::npos) {
            reply.Status = 500;
            reply.Body = Soap(
                "<soap:Fault><faultcode>XMLAnalysisError.0xc1060000</faultcode><faultstring>The "
                "session with ID 'S1' does not exist.</faultstring></soap:Fault>");
            return reply;
        }
        reply.Body = Soap(
            "<DiscoverResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return><root "
            "xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\">" +
                kCubeRows + "</root></return></DiscoverResponse>",
            header);
        return reply;
    });
    xmla::Client client("Data Source=" + peer.Url());
    RowStore rows;
    client.Discover("MDSCHEMA_CUBES", {}, rows);
    client.Discover("MDSCHEMA_CUBES", {}, rows);  // S1 is gone by now
    client.Discover("MDSCHEMA_CUBES", {}, rows);
    EXPECT_EQ(rows.RowCount(), 2u);
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_NE(requests[2].Body.find("<BeginSession"), std::string::npos);
    EXPECT_NE(requests[3].Body.find("SessionId=\"S2\""), std::string::npos);
}

TEST(XmlaProvider, DataSourceThatIsNoAddressIsProviderNotFound) {
    for (const char* connection :
         {"Provider=MSOLAP.3;Data Source=olapserver;Initial Catalog=Sales",
          "Provider=XMLA;Data Source=ftp://olap/xmla", "Provider=msolap;Data Source=http://"}) {
        long code = 0;
        const std::string message = FailureOf([&] { OpenOlapConnection(connection); }, &code);
        EXPECT_EQ(code, AdoError::ProviderNotFound) << connection;
        EXPECT_NE(message.find("Provider cannot be found."), std::string::npos) << message;
        EXPECT_NE(message.find("reached over HTTP"), std::string::npos) << message;
    }
}

TEST(XmlaProvider, PasswordGoesToAnotherMachineOnlyEncryptedOrWhenAllowed) {
    const std::string message = FailureOf(
        [] { xmla::Client("Data Source=http://olap.example.com/xmla;User ID=a;Password=pw1"); });
    EXPECT_NE(message.find("https://"), std::string::npos) << message;
    EXPECT_EQ(message.find("pw1"), std::string::npos) << message;
    EXPECT_EQ(FailureOf([] {
                  xmla::Client(
                      "Data Source=http://olap.example.com/xmla;User ID=a;Password=pw1;"
                      "Allow Plain Text Password=True");
              }),
              "");
    EXPECT_EQ(FailureOf([] {
                  xmla::Client("Data Source=https://olap.example.com/xmla;User ID=a;Password=x");
              }),
              "");
}

TEST(XmlaProvider, ServerErrorsArriveInTheServersWords) {
    const std::string fault = Soap(
        "<soap:Fault><faultcode>XMLAnalysisError.0xc10e0002</faultcode><faultstring>Parser: The "
        "syntax for 'SELEC' is incorrect.</faultstring><detail><Error ErrorCode=\"3238658050\" "
        "Description=\"Query (1, 1) The syntax for 'SELEC' is incorrect.\"/></detail>"
        "</soap:Fault>");
    const std::string messages = Soap(
        "<ExecuteResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return><root "
        "xmlns=\"urn:schemas-microsoft-com:xml-analysis:empty\"><Exception "
        "xmlns=\"urn:schemas-microsoft-com:xml-analysis:exception\"/><Messages "
        "xmlns=\"urn:schemas-microsoft-com:xml-analysis:exception\"><Error ErrorCode=\"77\" "
        "Description=\"The cube 'Salez' does not exist.\"/></Messages></root></return>"
        "</ExecuteResponse>");
    const std::string warned = Soap(
        "<ExecuteResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return><root "
        "xmlns=\"urn:schemas-microsoft-com:xml-analysis:mddataset\"><Axes/><CellData><Cell "
        "CellOrdinal=\"0\"><Value xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:type=\"xsd:int\">7</Value></Cell></CellData><Messages "
        "xmlns=\"urn:schemas-microsoft-com:xml-analysis:exception\"><Warning "
        "Description=\"Totals are approximate.\"/></Messages></root></return>"
        "</ExecuteResponse>");
    std::string next;
    XmlaPeer peer([&](const PeerRequest&) {
        PeerReply reply;
        if (next != warned) {
            reply.Status = 500;
            reply.Reason = "Internal Server Error";
        }
        reply.Body = next;
        return reply;
    });
    const std::string connection = "Provider=XMLA;Data Source=" + peer.Url();
    CADOMDCellSet cells;
    next = fault;
    std::string message = FailureOf([&] { cells.Open("SELEC", connection); });
    EXPECT_NE(message.find("Parser: The syntax for 'SELEC' is incorrect."), std::string::npos);
    EXPECT_NE(message.find("Query (1, 1)"), std::string::npos) << message;
    EXPECT_NE(message.find("XMLAnalysisError.0xc10e0002"), std::string::npos) << message;
    next = messages;
    message = FailureOf([&] { cells.Open("SELECT FROM [Salez]", connection); });
    EXPECT_NE(message.find("The cube 'Salez' does not exist."), std::string::npos) << message;
    next = warned;
    cells.Open("SELECT FROM [Sales]", connection);
    EXPECT_EQ(cells.Cell(0).Value.AsInt64(), 7);
    EXPECT_EQ(cells.Warnings(), std::vector<std::string>{"Totals are approximate."});
}

TEST(XmlaProvider, HttpFailuresSayStatusAndWhatToCheck) {
    struct Case {
        PeerReply Reply;
        std::vector<std::string> Said;
    };
    const std::vector<Case> cases = {
        {{401, "Unauthorized", "text/html", "<html><body>Login</body></html>"},
         {"HTTP 401 Unauthorized", "User ID and Password"}},
        {{404, "Not Found", "text/plain", "nothing here"}, {"HTTP 404 Not Found", "Data Source"}},
        {{502, "Bad Gateway", "text/xml", "<oops"}, {"HTTP 502 Bad Gateway"}},
        {{200, "OK", "text/html", "<!DOCTYPE html><html><p>portal</p></html>"},
         {"HTML page", "XMLA address"}},
        {{200, "OK", "text/xml", "<html><p>portal</p></html>"}, {"not an XMLA reply", "<html>"}},
        {{200, "OK", "text/xml", ""}, {"empty"}},
    };
    for (const Case& kase : cases) {
        XmlaPeer peer([&](const PeerRequest&) { return kase.Reply; });
        const std::string message = FailureOf([&] {
            xmla::Client client("Data Source=" + peer.Url() + ";User ID=u;Password=hunter2");
            RowStore rows;
            client.Discover("MDSCHEMA_CUBES", {}, rows);
        });
        for (const std::string& said : kase.Said)
            EXPECT_NE(message.find(said), std::string::npos) << message << "\n" << kase.Reply.Body;
        EXPECT_NE(message.find("127.0.0.1"), std::string::npos) << message;
        EXPECT_EQ(message.find("hunter2"), std::string::npos) << message;
    }
}

TEST(XmlaProvider, ServerGoneStalledOrBrokenOffEndsInOneErrorInTime) {
    std::string url;
    {
        XmlaPeer gone([](const PeerRequest&) { return PeerReply{}; });
        url = gone.Url();
    }
    EXPECT_NE(FailureOf([&] {
                  xmla::Client("Data Source=" + url).Execute("SELECT FROM [S]");
              }).find("refuses the connection"),
              std::string::npos);

    const std::string body = DiscoverReply(kCubeRows + kCubeRows + kCubeRows);
    XmlaPeer stalled([&](const PeerRequest&) {
        PeerReply reply;
        reply.Body = body;
        reply.StallMs = 4000;
        return reply;
    });
    const auto start = std::chrono::steady_clock::now();
    const std::string stall = FailureOf([&] {
        xmla::Client client("Data Source=" + stalled.Url() + ";Timeout=1");
        RowStore rows;
        client.Discover("MDSCHEMA_CUBES", {}, rows);
    });
    EXPECT_NE(stall.find("within 1 s (Timeout)"), std::string::npos) << stall;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

    XmlaPeer cut([&](const PeerRequest&) {
        PeerReply reply;
        reply.Body = body;
        reply.CutAfter = body.size() / 2;
        return reply;
    });
    const std::string broken = FailureOf([&] {
        xmla::Client client("Data Source=" + cut.Url());
        RowStore rows;
        client.Discover("MDSCHEMA_CUBES", {}, rows);
    });
    EXPECT_NE(broken.find("broke off"), std::string::npos) << broken;
}

TEST(XmlaProvider, ServerThatNeverAcceptsIsGivenUpAfterTheConnectTimeout) {
    UnansweredPort port;
    ASSERT_NE(port.Port(), 0);
    const auto start = std::chrono::steady_clock::now();
    const std::string message = FailureOf([&] {
        xmla::Client("Data Source=http://" + port.Address() + "/xmla;Connect Timeout=1")
            .Execute("SELECT FROM [S]");
    });
    EXPECT_NE(message.find("within 1 s (Connect Timeout)"), std::string::npos) << message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(XmlaProvider, MissingCubeAndMissingKpiRowsetAreToldApart) {
    XmlaPeer peer([](const PeerRequest& request) {
        PeerReply reply;
        for (const char* refused : {"MDSCHEMA_KPIS", "MDSCHEMA_LEVELS"}) {
            // A server older than KPIs, and one level rowset that fails.
            if (request.Body.find(refused) == std::string::npos) continue;
            reply.Status = 500;
            reply.Body = Soap(
                "<soap:Fault><faultcode>soap:Client</faultcode><faultstring>Unknown request type " +
                std::string(refused) + "</faultstring></soap:Fault>");
            return reply;
        }
        reply.Body = DiscoverReply(kCubeRows);
        return reply;
    });
    XmlaConnection connection("Provider=XMLA;Data Source=" + peer.Url() + ";Initial Catalog=Shop");
    const std::string message = FailureOf([&] { connection.Cube("Stock"); });
    EXPECT_NE(message.find("has no cube 'Stock' in catalog 'Shop'"), std::string::npos) << message;

    RowStore kpis;
    connection.SchemaRowset("MDSCHEMA_KPIS", "Sales", kpis);
    EXPECT_EQ(kpis.RowCount(), 0u);
    ASSERT_GT(kpis.FieldCount(), 16u);
    EXPECT_EQ(kpis.Fields()[16].Name, "KPI_PARENT_KPI_NAME");
    const std::vector<std::string> warnings = connection.TakeWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("Unknown request type MDSCHEMA_KPIS"), std::string::npos);
    // Another rowset's failure is not hidden.
    EXPECT_NE(FailureOf([&] {
                  RowStore levels;
                  connection.SchemaRowset("MDSCHEMA_LEVELS", "Sales", levels);
              }).find("Unknown request type MDSCHEMA_LEVELS"),
              std::string::npos);
}

TEST(XmlaProvider, TabularResultNamesColumnsAsTheStatementDid) {
    XmlaPeer peer([](const PeerRequest& request) {
        EXPECT_NE(request.Body.find("<Format>Tabular</Format>"), std::string::npos);
        PeerReply reply;
        reply.Body = DiscoverReply(
            "<xsd:schema xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:sql=\"urn:schemas-microsoft-com:xml-sql\"><xsd:complexType name=\"row\">"
            "<xsd:sequence><xsd:element name=\"_x005B_Store_x005D_\" "
            "sql:field=\"[Store].[Store Name].[MEMBER_CAPTION]\" type=\"xsd:string\"/>"
            "<xsd:element name=\"_x005B_Measures_x005D_._x005B_Unit_x0020_Sales_x005D_\" "
            "type=\"xsd:double\"/></xsd:sequence></xsd:complexType></xsd:schema>"
            "<row><_x005B_Store_x005D_>Store 7</_x005B_Store_x005D_>"
            "<_x005B_Measures_x005D_._x005B_Unit_x0020_Sales_x005D_>12.5</"
            "_x005B_Measures_x005D_._x005B_Unit_x0020_Sales_x005D_></row>"
            "<row><_x005B_Store_x005D_>Store 9</_x005B_Store_x005D_></row>");
        return reply;
    });
    xmla::Client client("Data Source=" + peer.Url());
    RowStore rows;
    client.ExecuteTabular("SELECT ... ", rows);
    ASSERT_EQ(rows.FieldCount(), 2u);
    EXPECT_EQ(rows.Fields()[0].Name, "[Store].[Store Name].[MEMBER_CAPTION]");
    EXPECT_EQ(rows.Fields()[1].Name, "[Measures].[Unit Sales]");
    ASSERT_EQ(rows.RowCount(), 2u);
    EXPECT_DOUBLE_EQ(rows.Get(0, 1).AsDouble(), 12.5);
    EXPECT_TRUE(rows.Get(1, 1).IsNull());
}

}  // namespace
}  // namespace orvik::test
