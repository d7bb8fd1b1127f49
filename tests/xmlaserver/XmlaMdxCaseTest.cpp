// Every MDX case over FoodMart, answered twice: by the cube engine opened directly, and by our
// XMLA client asking orvik-xmla serving the same cube. Both must give the same cell set (axes,
// members with their properties, slicer, every cell's value and formatted text), or fail with
// the same message: what a report shows must not depend on which way it reached the cube.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "../olap/FoodMart.h"
#include "../olap/MdxCase.h"
#include "CellSetDifferences.h"
#include "XmlaServerProcess.h"
#include "data/AdoException.h"
#include "olap/CubeEngine.h"
#include "olap/XmlaConnection.h"

namespace orvik::test {
namespace {

namespace fs = std::filesystem;

TEST(XmlaMdxCases, ClientThroughServerGivesTheEnginesCellSets) {
    ORVIK_NEED_FOODMART(false);
    const std::string material = OlapMaterialFolder();
    const std::vector<std::string> names = MdxCaseNames(material + "/mdx-cases");
    ASSERT_FALSE(names.empty()) << "no MDX cases in " << material;
    const std::string cube = FoodMartCubeConnection(material, FoodMartSqlite(material), false);
    XmlaServerProcess server(
        {"--catalog", "FoodMart=" + cube, "--threads", "2", "--log",
         fs::temp_directory_path() / ("orvik-xmla-cases-" + std::to_string(getpid()) + ".log")});
    ASSERT_TRUE(server.Listening()) << server.Output();
    const std::shared_ptr<OlapConnection> engine = OpenCubeConnection(cube);
    XmlaConnection client("Provider=XMLA;Data Source=" + server.Url() +
                          ";Initial Catalog=FoodMart;Timeout=60");
    size_t answered = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const MdxCase kase = LoadMdxCase(material + "/mdx-cases/" + name + ".mdxcase");
        CellSetData direct, served;
        std::string directError, servedError;
        try {
            direct = engine->Execute(kase.Query);
        } catch (const CADOException& error) {
            directError = error.what();
        }
        try {
            served = client.Execute(kase.Query);
        } catch (const CADOException& error) {
            servedError = error.what();
        }
        if (!directError.empty()) {
            // The server's fault carries the engine's message whole.
            EXPECT_NE(servedError.find(directError), std::string::npos)
                << "engine: " << directError << "\nserver: " << servedError;
            continue;
        }
        ASSERT_EQ(servedError, "");
        ++answered;
        // A WHERE clause of an empty set leaves the engine's slicer without a position. Over
        // XMLA a slicer axis without tuples reads as one empty position, as the servers that
        // send none mean it; every cell is empty either way.
        if (direct.Slicer.Positions.empty()) direct.Slicer.Positions.assign(1, CellSetPosition{});
        std::string differences;
        for (const std::string& line : CellSetDifferences(direct, served, true))
            differences += "\n  " + line;
        EXPECT_EQ(differences, "");
    }
    EXPECT_GT(answered, names.size() / 2);
    EXPECT_EQ(server.Stop(), 0) << server.Output();
}

}  // namespace
}  // namespace orvik::test
