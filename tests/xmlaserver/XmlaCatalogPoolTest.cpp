// Many requests at once on one catalog: each connection serves one request at a time, the pool
// opens no more connections than requests ran together, and every answer is right.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../olap/SmallShop.h"
#include "olap/CubeEngine.h"
#include "olap/XmlaCellSetReader.h"
#include "xmlaserver/XmlaService.h"

namespace orvik::test {
namespace {

// A real cube connection that notes when a second thread enters it while the first is inside.
class WatchedConnection : public OlapConnection {
    // Defined before its uses, which deduce its type.
    template <typename Call>
    auto Enter(Call&& call) {
        if (inside_.fetch_add(1) != 0) ++overlaps_;
        struct Leave {
            std::atomic<int>& inside;
            ~Leave() { --inside; }
        } leave{inside_};
        return call();
    }

  public:
    WatchedConnection(std::shared_ptr<OlapConnection> inner, std::atomic<int>& overlaps)
        : inner_(std::move(inner)), overlaps_(overlaps) {}
    std::vector<std::string> CubeNames() override {
        return Enter([&] { return inner_->CubeNames(); });
    }
    OlapCube Cube(const std::string& name) override {
        return Enter([&] { return inner_->Cube(name); });
    }
    std::vector<CellSetMember> LevelMembers(const std::string& cube,
                                            const std::string& level) override {
        return Enter([&] { return inner_->LevelMembers(cube, level); });
    }
    std::vector<CellSetMember> ChildMembers(const std::string& cube,
                                            const std::string& member) override {
        return Enter([&] { return inner_->ChildMembers(cube, member); });
    }
    CellSetData Execute(const std::string& mdx) override {
        return Enter([&] { return inner_->Execute(mdx); });
    }
    void SchemaRowset(const std::string& schemaId, const std::string& cube,
                      RowStore& into) override {
        Enter([&] {
            inner_->SchemaRowset(schemaId, cube, into);
            return 0;
        });
    }

  private:
    std::shared_ptr<OlapConnection> inner_;
    std::atomic<int>& overlaps_;
    std::atomic<int> inside_{0};
};

TEST(XmlaCatalogPool, ConnectionsServeOneRequestAtATimeAndAreReused) {
    SmallShop shop;
    std::atomic<int> overlaps{0}, opened{0};
    xmla::Service service;
    service.AddCatalog("Shop", [&] {
        ++opened;
        return std::make_shared<WatchedConnection>(OpenCubeConnection(shop.Connection()), overlaps);
    });
    const double total = shop.Sql("SELECT sum(amount) FROM sales");
    const std::string execute =
        "<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body><Execute "
        "xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><Command><Statement>SELECT "
        "{[Measures].[Amount]} ON 0 FROM [Sales]</Statement></Command></Execute></Body>"
        "</Envelope>";
    const std::string discover =
        "<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body><Discover "
        "xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><RequestType>MDSCHEMA_MEMBERS"
        "</RequestType></Discover></Body></Envelope>";
    constexpr int kThreads = 6, kRequests = 30;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRequests; ++r) {
                const bool cells = (r + t) % 2 == 0;
                const xmla::Answer answer =
                    service.Respond(cells ? execute : discover, xmla::Caller{});
                bool right = answer.Status == 200;
                if (right && cells) {
                    XmlaMemorySource source(answer.Body);
                    const CellSetData data = xmla::ReadCellSetReply(source);
                    right = data.Cells.size() == 1 && data.Cells[0].Value.AsDouble() == total;
                }
                if (!right) ++wrong;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(overlaps, 0);
    EXPECT_GE(opened, 1);
    EXPECT_LE(opened, kThreads);
    EXPECT_EQ(service.FindCatalog("shop")->OpenCount(), static_cast<size_t>(opened.load()));
}

}  // namespace
}  // namespace orvik::test
