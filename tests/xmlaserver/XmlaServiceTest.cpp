// The server's protocol in-process, read back through our own XMLA client behind a loopback
// peer: catalogs a user may or may not see, sessions, restrictions, the Tabular format, and one
// clear SOAP fault for every request that is not one.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../olap/SmallShop.h"
#include "../olap/XmlaPeer.h"
#include "data/AdoException.h"
#include "olap/CubeEngine.h"
#include "olap/OlapProviderConnection.h"
#include "olap/XmlaClient.h"
#include "olap/XmlaConnection.h"
#include "olap/XmlaRowsetReader.h"
#include "xmlaserver/XmlaService.h"

namespace orvik::test {
namespace {

class XmlaServiceTest : public ::testing::Test {
  protected:
    XmlaServiceTest() {
        for (const char* name : {"Shop", "Secret"})
            service_.AddCatalog(name, [this] { return OpenCubeConnection(shop_.Connection()); });
        // The peer's requests arrive as alice, who may use Shop only.
        caller_.User = "alice";
        caller_.MayUseCatalog = [](const std::string& catalog) { return catalog == "Shop"; };
        peer_ = std::make_unique<XmlaPeer>([this](const PeerRequest& request) {
            xmla::Answer answer = service_.Respond(request.Body, caller_);
            PeerReply reply;
            reply.Status = answer.Status;
            reply.Body = std::move(answer.Body);
            return reply;
        });
    }

    std::string Dsn(const std::string& catalog) const {
        return "Provider=XMLA;Data Source=" + peer_->Url() +
               (catalog.empty() ? "" : ";Initial Catalog=" + catalog);
    }

    // The fault text the service answers `body` with ("" when it answered).
    std::string FaultOf(const std::string& body, const xmla::Caller& caller = {}) {
        const xmla::Answer answer = service_.Respond(body, caller);
        if (answer.Status == 200) return {};
        EXPECT_EQ(answer.Status, 500);
        RowStore rows;
        XmlaMemorySource source(answer.Body);
        try {
            xmla::ReadRowsetReply(source, rows);
        } catch (const CADOException& error) {
            EXPECT_EQ(error.what(),
                      "The OLAP server reports an error (soap:Client):\n" + answer.Fault)
                << "the fault is not a client fault carrying the service's text";
            return answer.Fault;
        }
        ADD_FAILURE() << "a fault the client cannot read: " << answer.Body;
        return {};
    }

    SmallShop shop_;
    xmla::Service service_;
    xmla::Caller caller_;
    std::unique_ptr<XmlaPeer> peer_;
};

TEST_F(XmlaServiceTest, UserSeesAndQueriesOnlyTheirCatalogs) {
    xmla::Client client(Dsn(""));
    RowStore catalogs;
    client.Discover("DBSCHEMA_CATALOGS", {}, catalogs);
    ASSERT_EQ(catalogs.RowCount(), 1u);
    EXPECT_EQ(catalogs.Get(0, 0).AsString(), "Shop");

    // Without a catalog the request goes to the first one the user may use.
    EXPECT_EQ(XmlaConnection(Dsn("")).CubeNames(), std::vector<std::string>{"Sales"});
    // A catalog the user may not see is answered like one that is not there at all.
    for (const char* other : {"Secret", "Nowhere"}) {
        try {
            XmlaConnection(Dsn(other)).Execute("SELECT FROM [Sales]");
            ADD_FAILURE() << other << " answered";
        } catch (const CADOException& error) {
            EXPECT_NE(std::string(error.what())
                          .find("There is no catalog '" + std::string(other) + "' you may use"),
                      std::string::npos)
                << error.what();
        }
    }
}

TEST_F(XmlaServiceTest, ClientGetsTheEnginesCellSetAndRowsets) {
    const std::string mdx =
        "SELECT {[Measures].[Amount]} ON 0, NON EMPTY [Store].[Store Name].Members ON 1 FROM "
        "[Sales] WHERE [Time].[2023]";
    const CellSetData direct = OpenCubeConnection(shop_.Connection())->Execute(mdx);
    XmlaConnection remote(Dsn("Shop"));
    const CellSetData served = remote.Execute(mdx);
    ASSERT_EQ(served.Axes.size(), 2u);
    ASSERT_EQ(served.Axes[1].Positions.size(), direct.Axes[1].Positions.size());
    for (size_t p = 0; p < direct.Axes[1].Positions.size(); ++p)
        EXPECT_EQ(served.Axes[1].Positions[p].Members[0].UniqueName,
                  direct.Axes[1].Positions[p].Members[0].UniqueName);
    ASSERT_EQ(served.Cells.size(), direct.Cells.size());
    for (size_t c = 0; c < direct.Cells.size(); ++c) {
        EXPECT_DOUBLE_EQ(served.Cells[c].Value.AsDouble(), direct.Cells[c].Value.AsDouble());
        EXPECT_EQ(served.Cells[c].FormattedValue, direct.Cells[c].FormattedValue);
    }
    ASSERT_EQ(served.Slicer.Positions.size(), 1u);
    EXPECT_EQ(served.Slicer.Positions[0].Members[0].UniqueName, "[Time].[2023]");

    // Members by their family: the children of USA, and Big Mart with its ancestors.
    auto members = [&](const std::string& member, const char* treeOp) {
        xmla::Client client(Dsn("Shop"));
        RowStore rows;
        client.Discover(
            "MDSCHEMA_MEMBERS",
            {{"CUBE_NAME", "Sales"}, {"MEMBER_UNIQUE_NAME", member}, {"TREE_OP", treeOp}}, rows);
        std::vector<std::string> names;
        size_t column = 0;
        while (rows.Fields()[column].Name != "MEMBER_UNIQUE_NAME") ++column;
        for (size_t r = 0; r < rows.RowCount(); ++r)
            names.push_back(rows.Get(r, column).AsString());
        return names;
    };
    std::vector<std::string> children;
    for (const CellSetMember& member :
         OpenCubeConnection(shop_.Connection())->ChildMembers("Sales", "[Store].[USA]"))
        children.push_back(member.UniqueName);
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(members("[Store].[USA]", "1"), children);
    EXPECT_EQ(members("[Store].[USA].[Big Mart]", "40"),  // self and ancestors
              (std::vector<std::string>{"[Store].[All Stores]", "[Store].[USA]",
                                        "[Store].[USA].[Big Mart]"}));
}

TEST_F(XmlaServiceTest, TabularExecuteIsTheFlattenedCellSet) {
    const std::string mdx =
        "SELECT {[Measures].[Amount]} ON 0, [Product].[Product].Members ON 1 FROM [Sales]";
    RowStore direct;
    FlattenCellSet(OpenCubeConnection(shop_.Connection())->Execute(mdx), direct);
    RowStore served;
    xmla::Client(Dsn("Shop")).ExecuteTabular(mdx, served);
    ASSERT_EQ(served.FieldCount(), direct.FieldCount());
    ASSERT_EQ(served.RowCount(), direct.RowCount());
    for (size_t c = 0; c < direct.FieldCount(); ++c) {
        EXPECT_EQ(served.Fields()[c].Name, direct.Fields()[c].Name);
        for (size_t r = 0; r < direct.RowCount(); ++r) {
            const Variant want = direct.Get(r, c), got = served.Get(r, c);
            if (want.Type() == VariantType::String)
                EXPECT_EQ(got.AsString(), want.AsString());
            else
                EXPECT_DOUBLE_EQ(got.AsDouble(), want.AsDouble());
        }
    }
}

TEST_F(XmlaServiceTest, SessionsBelongToTheirUserAndEnd) {
    auto request = [](const std::string& header, const char* statement = "SELECT FROM [Sales]") {
        return "<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Header>" + header +
               "</Header><Body><Execute xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><Command>"
               "<Statement>" +
               statement + "</Statement></Command></Execute></Body></Envelope>";
    };
    const xmla::Caller alice{"alice", {}}, bob{"bob", {}};
    const xmla::Answer begun = service_.Respond(request("<BeginSession/>"), alice);
    ASSERT_EQ(begun.Status, 200) << begun.Body;
    const size_t at = begun.Body.find("SessionId=\"");
    ASSERT_NE(at, std::string::npos) << begun.Body;
    const std::string id = begun.Body.substr(at + 11, 36);
    const std::string use = "<Session SessionId=\"" + id + "\"/>";
    EXPECT_EQ(FaultOf(request(use), alice), "");
    EXPECT_NE(FaultOf(request(use), bob).find("is not open on this server"), std::string::npos);
    EXPECT_EQ(FaultOf(request("<EndSession SessionId=\"" + id + "\"/>"), alice), "");
    EXPECT_NE(FaultOf(request(use), alice).find("is not open on this server"), std::string::npos);
    EXPECT_NE(FaultOf(request("<Session/>"), alice).find("names no SessionId"), std::string::npos);
}

TEST_F(XmlaServiceTest, EveryBrokenRequestIsOneClearClientFault) {
    const std::string soap = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">";
    const std::string xmla = " xmlns=\"urn:schemas-microsoft-com:xml-analysis\"";
    std::string deep;
    for (int i = 0; i < 200; ++i) deep += "<a>";
    std::string manyProperties = "<PropertyList>";
    for (int i = 0; i < 300; ++i)
        manyProperties += "<P" + std::to_string(i) + ">x</P" + std::to_string(i) + ">";
    manyProperties += "</PropertyList>";
    const std::pair<std::string, const char*> cases[] = {
        {"", "The request cannot be read: it is empty"},
        {"this is not XML", "The request cannot be read"},
        {"<Envelope/>", "is not a SOAP envelope"},
        {soap + "<s:Body><Frobnicate" + xmla + "/></s:Body></s:Envelope>",
         "does not know the method <Frobnicate>"},
        {soap + "<s:Body/></s:Envelope>", "holds neither Discover nor Execute"},
        {soap + "<s:Body><Execute" + xmla +
             "><Command><Statement> </Statement></Command>"
             "</Execute></s:Body></s:Envelope>",
         "holds no Statement"},
        {soap + "<s:Body><Discover" + xmla + "/></s:Body></s:Envelope>", "names no RequestType"},
        {soap + "<s:Body><Discover" + xmla +
             "><RequestType>MDSCHEMA_CUBES</RequestType>"
             "<Properties>" +
             manyProperties + "</Properties></Discover></s:Body></s:Envelope>",
         "holds more than 256 items"},
        {soap + deep, "nest more than 64 deep"},
        // An entity that would pull in a file is not expanded.
        {"<!DOCTYPE s:Envelope [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + soap +
             "<s:Body><Discover" + xmla +
             "><RequestType>&x;</RequestType></Discover></s:Body>"
             "</s:Envelope>",
         "names no RequestType"},
        {soap + "<s:Body><Discover" + xmla +
             "><RequestType>MDSCHEMA_FROBS</RequestType>"
             "</Discover></s:Body></s:Envelope>",
         ""},  // the engine's own refusal, a server fault: checked below
    };
    for (const auto& [body, expected] : cases) {
        if (!*expected) continue;
        const std::string fault = FaultOf(body);
        EXPECT_NE(fault.find(expected), std::string::npos) << body << "\n=> " << fault;
    }
    const xmla::Answer unknown = service_.Respond(cases[std::size(cases) - 1].first, {});
    EXPECT_EQ(unknown.Status, 500);
    EXPECT_NE(unknown.Fault.find("MDSCHEMA_CUBES"), std::string::npos)
        << "the refusal should name the rowsets there are: " << unknown.Fault;
}

TEST(XmlaStatementCube, IsTheNameAfterTheLastFromOutsideNamesAndComments) {
    EXPECT_EQ(xmla::StatementCube("SELECT FROM [Sales]"), "Sales");
    EXPECT_EQ(xmla::StatementCube("select {[Measures].[From x]} on 0 from Warehouse"), "Warehouse");
    EXPECT_EQ(xmla::StatementCube("SELECT -- FROM [A]\n/* FROM [B] */ FROM [C]]D] WHERE x"), "C]D");
    EXPECT_EQ(xmla::StatementCube("WITH MEMBER x AS 'FROM' SELECT"), "");
}

}  // namespace
}  // namespace orvik::test
