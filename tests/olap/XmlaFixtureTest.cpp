// Every recorded XMLA conversation, replayed: a loopback server answers the client with the
// recorded reply when the client's request asks what the recorded request asked (method,
// rowset, restrictions, statement, catalog), and the result is compared with the reply as a
// DOM reads it (every axis, tuple member, cell and rowset value) and with the recording
// project's own expected.csv where there is one. Execute requests go through the provider
// registry, as a report's cell set does; Discover requests through the client.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "FoodMart.h"
#include "XmlaPeer.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "olap/OlapSchemaRowsets.h"
#include "olap/XmlaClient.h"
#include "olap/XmlaConnection.h"

namespace orvik::test {
namespace {

namespace fs = std::filesystem;
using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Why `sent` does not ask what `recorded` asked; "" when it does. The client adds the catalog
// restriction of its connection where the recorded request had none.
std::string Difference(const AskedRequest& recorded, const AskedRequest& sent) {
    if (!sent.Valid) return "not an XMLA request";
    if (sent.Execute != recorded.Execute) return "Discover and Execute mixed up";
    if (sent.RequestType != recorded.RequestType) return "request type " + sent.RequestType;
    if (sent.Statement != recorded.Statement) return "statement " + sent.Statement;
    if (auto catalog = recorded.Properties.find("Catalog"); catalog != recorded.Properties.end())
        if (sent.Properties.count("Catalog") == 0 ||
            sent.Properties.at("Catalog") != catalog->second)
            return "catalog";
    if (recorded.Execute) return "";  // an Execute has no restrictions, whatever was recorded
    for (const auto& restriction : recorded.Restrictions)
        if (std::find(sent.Restrictions.begin(), sent.Restrictions.end(), restriction) ==
            sent.Restrictions.end())
            return "restriction " + restriction.first + " missing";
    for (const auto& [name, value] : sent.Restrictions)
        if (std::find(recorded.Restrictions.begin(), recorded.Restrictions.end(),
                      std::pair(name, value)) == recorded.Restrictions.end() &&
            name != "CATALOG_NAME")
            return "extra restriction " + name;
    return "";
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields(1);
        bool quoted = false;
        for (char c : line) {
            if (c == '"')
                quoted = !quoted;
            else if (c == ',' && !quoted)
                fields.emplace_back();
            else
                fields.back() += c;
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

// A value the client read against the text the reply carried.
void ExpectSameValue(const Variant& value, const std::string& text, const std::string& where) {
    if (value.Type() == VariantType::String || value.Type() == VariantType::Date) {
        if (value.Type() == VariantType::String) {
            EXPECT_EQ(value.AsString(), text) << where;
        }
        return;
    }
    if (value.Type() == VariantType::Bool) {
        EXPECT_EQ(value.AsInt64() != 0, text == "true" || text == "1") << where;
        return;
    }
    const double expected = std::strtod(text.c_str(), nullptr);
    EXPECT_NEAR(value.AsDouble(), expected, std::abs(expected) * 1e-12) << where;
}

struct Fixture {
    std::string Stem;  // the file name without ".response.xml"
    std::string Folder;
};

// How a failing case names its fixture (rather than as the struct's bytes).
void PrintTo(const Fixture& fixture, std::ostream* out) {
    *out << fixture.Stem;
}

std::vector<Fixture> Fixtures() {
    std::vector<Fixture> fixtures;
    const std::string folder = XmlaFixtureFolder();
    if (folder.empty()) return fixtures;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const std::string suffix = ".response.xml";
        if (name.size() > suffix.size() && name.ends_with(suffix))
            fixtures.push_back({name.substr(0, name.size() - suffix.size()), folder});
    }
    std::sort(fixtures.begin(), fixtures.end(),
              [](const Fixture& a, const Fixture& b) { return a.Stem < b.Stem; });
    return fixtures;
}

class XmlaFixture : public ::testing::TestWithParam<Fixture> {
  protected:
    std::string Path(const std::string& suffix) const {
        return GetParam().Folder + "/" + GetParam().Stem + suffix;
    }

    // The request the fixture implies: its recorded request, or what its name says.
    AskedRequest Implied() const {
        if (fs::exists(Path(".request.xml"))) return ReadRequest(ReadFile(Path(".request.xml")));
        AskedRequest asked;
        asked.Valid = true;
        const std::string& stem = GetParam().Stem;
        asked.Execute = stem.find("_EXECUTE_") != std::string::npos;
        for (const char* prefix : {"MDSCHEMA_", "DBSCHEMA_"})
            if (size_t at = stem.find(prefix); at != std::string::npos && !asked.Execute) {
                const size_t end = stem.find('_', stem.find('_', at) + 1);
                asked.RequestType = stem.substr(at, end - at);
            }
        return asked;
    }

    void CheckCellSet(const CellSetData& data, xmlNodePtr replyTop);
    void CheckRowset(const RowStore& rows, const std::vector<FieldInfo>& standard,
                     xmlNodePtr replyTop);
};

void XmlaFixture::CheckCellSet(const CellSetData& data, xmlNodePtr replyTop) {
    xmlNodePtr axes = Find(replyTop, "Axes");
    ASSERT_NE(axes, nullptr);
    size_t axisCount = 0;
    for (xmlNodePtr axis : Elements(axes, "Axis")) {
        const std::string name = Attribute(axis, "name");
        const bool slicer = name == "SlicerAxis";
        const CellSetAxis* ours = slicer ? &data.Slicer : nullptr;
        if (!slicer) {
            const size_t index = std::stoul(name.substr(4));
            axisCount = std::max(axisCount, index + 1);
            ASSERT_LT(index, data.Axes.size()) << name;
            ours = &data.Axes[index];
        }
        const std::vector<xmlNodePtr> tuples = Elements(Find(axis->children, "Tuples"), "Tuple");
        ASSERT_EQ(ours->Positions.size(), tuples.size()) << name;
        for (size_t t = 0; t < tuples.size(); ++t) {
            const std::vector<xmlNodePtr> members = Elements(tuples[t], "Member");
            ASSERT_EQ(ours->Positions[t].Members.size(), members.size()) << name << " " << t;
            for (size_t m = 0; m < members.size(); ++m) {
                const CellSetMember& member = ours->Positions[t].Members[m];
                EXPECT_EQ(member.UniqueName, Text(Find(members[m]->children, "UName")));
                EXPECT_EQ(member.Caption, Text(Find(members[m]->children, "Caption")));
                EXPECT_EQ(member.LevelUniqueName, Text(Find(members[m]->children, "LName")));
                EXPECT_EQ(member.LevelNumber, std::stoi(Text(Find(members[m]->children, "LNum"))));
            }
        }
    }
    EXPECT_EQ(data.Axes.size(), axisCount);
    size_t expectedCells = 1;
    for (const CellSetAxis& axis : data.Axes) expectedCells *= axis.Positions.size();
    ASSERT_EQ(data.Cells.size(), expectedCells);

    size_t valued = 0;
    for (xmlNodePtr cell : Elements(Find(replyTop, "CellData"), "Cell")) {
        const size_t ordinal = std::stoul(Attribute(cell, "CellOrdinal"));
        ASSERT_LT(ordinal, data.Cells.size());
        const CellSetCell& ours = data.Cells[ordinal];
        const std::string where = "cell " + std::to_string(ordinal);
        if (xmlNodePtr formatted = Find(cell->children, "FmtValue")) {
            EXPECT_EQ(ours.FormattedValue, Text(formatted)) << where;
        }
        if (xmlNodePtr value = Find(cell->children, "Value")) {
            ++valued;
            ExpectSameValue(ours.Value, Text(value), where);
        }
    }
    const size_t ours =
        std::count_if(data.Cells.begin(), data.Cells.end(),
                      [](const CellSetCell& cell) { return !cell.Value.IsEmpty(); });
    EXPECT_EQ(ours, valued) << "cells with a value";
}

void XmlaFixture::CheckRowset(const RowStore& rows, const std::vector<FieldInfo>& standard,
                              xmlNodePtr replyTop) {
    for (size_t i = 0; i < standard.size(); ++i)
        ASSERT_EQ(rows.Fields().at(i).Name, standard[i].Name) << "standard column " << i;
    const std::vector<xmlNodePtr> replyRows = Elements(Find(replyTop, "root"), "row");
    ASSERT_EQ(rows.RowCount(), replyRows.size());
    for (size_t r = 0; r < replyRows.size(); ++r) {
        std::set<size_t> seen;
        for (xmlNodePtr cell : Elements(replyRows[r])) {
            const auto& fields = rows.Fields();
            const auto field = std::find_if(fields.begin(), fields.end(), [&](const FieldInfo& f) {
                return f.Name == Name(cell);
            });
            ASSERT_NE(field, fields.end()) << Name(cell);
            const size_t column = static_cast<size_t>(field - fields.begin());
            seen.insert(column);
            ExpectSameValue(rows.Get(r, column), Text(cell),
                            "row " + std::to_string(r) + " " + Name(cell));
        }
        // What the row left out is null.
        for (size_t column = 0; column < rows.FieldCount(); ++column)
            if (!seen.count(column)) {
                EXPECT_TRUE(rows.Get(r, column).IsNull()) << "row " << r << " column " << column;
            }
    }
}

TEST_P(XmlaFixture, ReplayedReplyReadsAsItsRequestImplies) {
    ORVIK_NEED_XMLA_FIXTURES();
    const AskedRequest recorded = Implied();
    ASSERT_TRUE(recorded.Valid);
    const std::string reply = ReadFile(Path(".response.xml"));
    const bool haveRequest = fs::exists(Path(".request.xml"));
    std::string mismatch;
    XmlaPeer peer([&](const PeerRequest& request) {
        const AskedRequest sent = ReadRequest(request.Body);
        const std::string why =
            haveRequest ? Difference(recorded, sent)
            : (sent.Execute == recorded.Execute && sent.RequestType == recorded.RequestType)
                ? ""
                : "another request";
        if (!why.empty()) {
            mismatch = why;
            return PeerReply{400, "Bad Request", "text/plain", why};
        }
        // Replayed compressed, as servers send large replies.
        PeerReply answer;
        answer.Body = reply;
        answer.Gzip = true;
        return answer;
    });

    std::string connection = "Provider=MSOLAP.8;Data Source=" + peer.Url();
    std::string catalog;
    if (auto found = recorded.Properties.find("Catalog"); found != recorded.Properties.end())
        catalog = found->second;
    Pairs restrictions;
    for (const auto& [name, value] : recorded.Restrictions) {
        if (name == "CATALOG_NAME")
            catalog = value;
        else
            restrictions.emplace_back(name, value);
    }
    if (!catalog.empty()) connection += ";Initial Catalog=" + catalog;
    if (auto found = recorded.Properties.find("DataSourceInfo"); found != recorded.Properties.end())
        connection += ";DataSourceInfo=" + found->second;

    Document document(reply);
    ASSERT_NE(document.Doc, nullptr);
    xmlNodePtr top = xmlDocGetRootElement(document.Doc);
    const std::string csv = Path(".expected.csv");
    try {
        if (recorded.Execute) {
            CADOMDCellSet cells;
            cells.Open(recorded.Statement.empty() ? "SELECT FROM [Cube]" : recorded.Statement,
                       connection);
            CellSetData data;
            for (int a = 0; a < cells.AxisCount(); ++a) data.Axes.push_back(cells.Axis(a));
            data.Slicer = cells.Slicer();
            size_t total = 1;
            for (const CellSetAxis& axis : data.Axes) total *= axis.Positions.size();
            for (size_t c = 0; c < total; ++c)
                data.Cells.push_back(cells.Cell(static_cast<long>(c)));
            CheckCellSet(data, top);
            if (fs::exists(csv)) {
                const auto expected = ReadCsv(csv);
                ASSERT_FALSE(data.Axes.empty());
                const CellSetAxis& columns = data.Axes[0];
                const size_t rowFields = expected[0].size() - columns.Positions.size();
                for (size_t c = 0; c < columns.Positions.size(); ++c)
                    EXPECT_EQ(columns.Positions[c].Members.back().UniqueName,
                              expected[0][rowFields + c]);
                const size_t rowCount = data.Axes.size() > 1 ? data.Axes[1].Positions.size() : 1;
                ASSERT_EQ(expected.size() - 1, rowCount);
                for (size_t r = 0; r < rowCount; ++r) {
                    for (size_t f = 0; f < rowFields; ++f)
                        EXPECT_EQ(data.Axes[1].Positions[r].Members[f].Caption, expected[r + 1][f]);
                    for (size_t c = 0; c < columns.Positions.size(); ++c)
                        EXPECT_EQ(data.Cells[r * columns.Positions.size() + c].FormattedValue,
                                  expected[r + 1][rowFields + c]);
                }
            }
        } else {
            xmla::Client client(connection);
            std::vector<FieldInfo> standard;
            try {
                standard = OlapSchemaRowsetFields(FindOlapSchemaRowset(recorded.RequestType));
            } catch (const CADOException&) {
                // DBSCHEMA_CATALOGS: the server's columns as they come.
            }
            RowStore rows;
            client.Discover(recorded.RequestType, restrictions, rows, standard);
            CheckRowset(rows, standard, top);
            if (fs::exists(csv)) {
                const auto expected = ReadCsv(csv);
                ASSERT_EQ(expected.size() - 1, rows.RowCount());
                for (size_t f = 0; f < expected[0].size(); ++f) {
                    const auto& fields = rows.Fields();
                    const auto field =
                        std::find_if(fields.begin(), fields.end(),
                                     [&](const FieldInfo& i) { return i.Name == expected[0][f]; });
                    ASSERT_NE(field, fields.end()) << expected[0][f];
                    for (size_t r = 0; r + 1 < expected.size(); ++r)
                        EXPECT_EQ(rows.Get(r, field - fields.begin()).AsString(),
                                  expected[r + 1][f]);
                }
            }
        }
    } catch (const CADOException& error) {
        FAIL() << error.what() << (mismatch.empty() ? "" : "\nthe peer saw: " + mismatch);
    }
    EXPECT_EQ(mismatch, "");
    ASSERT_FALSE(peer.Requests().empty());
    EXPECT_NE(peer.Requests()[0].Header("accept-encoding").find("gzip"), std::string::npos);
}

std::string FixtureName(const ::testing::TestParamInfo<Fixture>& info) {
    std::string name;
    for (char c : info.param.Stem) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Recorded, XmlaFixture, ::testing::ValuesIn(Fixtures()), FixtureName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(XmlaFixture);

// Without the material the replays above are not even listed: this is what fails under CI.
TEST(XmlaFixtures, RecordedConversationsArePresent) {
    ORVIK_NEED_XMLA_FIXTURES();
    EXPECT_GE(Fixtures().size(), 20u);
}

}  // namespace
}  // namespace orvik::test

namespace orvik::test {
namespace {

// The recorded catalog rowsets of one server, answered by request type, read through the OLAP
// connection as the query builder and the catalog tree read the embedded engine's catalog.
TEST(XmlaCatalog, RecordedRowsetsMakeTheCubeTheBuilderBrowses) {
    ORVIK_NEED_XMLA_FIXTURES();
    const std::string folder = XmlaFixtureFolder();
    // The recordings of one server that hold all six catalog rowsets (recordings are named
    // "<recording>-<number>_<request type>_..."): the request type each answers.
    const std::vector<std::string> types = {"MDSCHEMA_CUBES",       "MDSCHEMA_DIMENSIONS",
                                            "MDSCHEMA_HIERARCHIES", "MDSCHEMA_LEVELS",
                                            "MDSCHEMA_MEASURES",    "MDSCHEMA_MEMBERS"};
    std::map<std::string, std::map<std::string, std::string>> byRecording;
    for (const Fixture& fixture : Fixtures())
        for (const std::string& type : types)
            if (fixture.Stem.find("_" + type + "_") != std::string::npos &&
                fs::exists(folder + "/" + fixture.Stem + ".request.xml"))
                byRecording[fixture.Stem.substr(0, fixture.Stem.find('-'))][type] = fixture.Stem;
    std::map<std::string, std::string> byType;
    for (const auto& [recording, stems] : byRecording)
        if (stems.size() == types.size()) byType = stems;
    ASSERT_EQ(byType.size(), types.size()) << "no recording holds every catalog rowset";
    std::map<std::string, std::string> replies;
    std::map<std::string, AskedRequest> recordedRequests;
    for (const auto& [type, stem] : byType) {
        replies[type] = ReadFile(folder + "/" + stem + ".response.xml");
        recordedRequests[type] = ReadRequest(ReadFile(folder + "/" + stem + ".request.xml"));
    }
    // What the recorded requests asked about: the cube, the dimension whose levels were read,
    // the hierarchy whose members were.
    const auto restriction = [&](const std::string& type, const std::string& name) {
        for (const auto& [key, value] : recordedRequests[type].Restrictions)
            if (key == name) return value;
        return std::string();
    };
    const std::string cubeName = restriction("MDSCHEMA_MEASURES", "CUBE_NAME");
    const std::string levelsOf = restriction("MDSCHEMA_LEVELS", "DIMENSION_UNIQUE_NAME");
    const std::string catalog = recordedRequests["MDSCHEMA_MEASURES"].Properties["Catalog"];
    ASSERT_FALSE(cubeName.empty());
    ASSERT_FALSE(levelsOf.empty());

    std::vector<std::string> asked;
    XmlaPeer peer([&](const PeerRequest& request) {
        const AskedRequest sent = ReadRequest(request.Body);
        asked.push_back(sent.RequestType);
        PeerReply reply;
        reply.Body = replies[sent.RequestType];
        for (const auto& [name, value] : sent.Restrictions)
            if (name == "LEVEL_UNIQUE_NAME") asked.back() += " " + value;
        return reply;
    });
    XmlaConnection connection("Provider=XMLA;Data Source=" + peer.Url() +
                              ";Initial Catalog=" + catalog);

    // The rows of a recorded rowset as a DOM reads them: all, or the cube's.
    const auto rows = [&](const std::string& type, bool cubeOnly = true) {
        std::vector<std::map<std::string, std::string>> out;
        Document document(replies[type]);
        for (xmlNodePtr row : Elements(Find(xmlDocGetRootElement(document.Doc), "root"), "row")) {
            std::map<std::string, std::string> values;
            for (xmlNodePtr cell : Elements(row)) values[Name(cell)] = Text(cell);
            if (!cubeOnly || values["CUBE_NAME"] == cubeName) out.push_back(values);
        }
        return out;
    };

    const std::vector<std::string> cubes = connection.CubeNames();
    ASSERT_EQ(cubes.size(), rows("MDSCHEMA_CUBES", false).size());
    std::string otherCase = cubeName;
    for (char& c : otherCase) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const OlapCube cube = connection.Cube(otherCase);  // names compare without case
    EXPECT_EQ(cube.Name, cubeName);

    const auto measures = rows("MDSCHEMA_MEASURES");
    ASSERT_EQ(cube.Measures.size(), measures.size());
    for (size_t i = 0; i < measures.size(); ++i) {
        EXPECT_EQ(cube.Measures[i].UniqueName, measures[i].at("MEASURE_UNIQUE_NAME"));
        EXPECT_EQ(cube.Measures[i].Caption, measures[i].at("MEASURE_CAPTION"));
    }

    // The server also lists shared dimensions under no cube: they are not the cube's.
    std::vector<std::string> dimensions;
    for (const auto& row : rows("MDSCHEMA_DIMENSIONS"))
        if (row.at("DIMENSION_TYPE") != "2") dimensions.push_back(row.at("DIMENSION_UNIQUE_NAME"));
    std::string ours;
    for (const OlapDimension& dimension : cube.Dimensions) ours += dimension.UniqueName + " ";
    ASSERT_EQ(cube.Dimensions.size(), dimensions.size()) << ours;
    size_t hierarchies = 0;
    for (size_t i = 0; i < dimensions.size(); ++i) {
        EXPECT_EQ(cube.Dimensions[i].UniqueName, dimensions[i]);
        hierarchies += cube.Dimensions[i].Hierarchies.size();
    }
    size_t recordedHierarchies = 0;
    for (const auto& row : rows("MDSCHEMA_HIERARCHIES"))
        recordedHierarchies += row.at("DIMENSION_UNIQUE_NAME") != "[Measures]";
    EXPECT_EQ(hierarchies, recordedHierarchies);

    // The dimension the level rowset was recorded for: its levels in depth order, All first.
    const auto withLevels =
        std::find_if(cube.Dimensions.begin(), cube.Dimensions.end(),
                     [&](const OlapDimension& d) { return d.UniqueName == levelsOf; });
    ASSERT_NE(withLevels, cube.Dimensions.end());
    const std::vector<OlapLevel>& levels = withLevels->Hierarchies.at(0).Levels;
    ASSERT_EQ(levels.size(), rows("MDSCHEMA_LEVELS").size());
    EXPECT_TRUE(levels.front().IsAll);
    for (size_t i = 1; i < levels.size(); ++i)
        EXPECT_EQ(levels[i].Number, levels[i - 1].Number + 1);

    const auto recorded = rows("MDSCHEMA_MEMBERS");
    ASSERT_FALSE(recorded.empty());
    const std::string level = recorded.back().at("LEVEL_UNIQUE_NAME");
    const auto members = connection.LevelMembers(cubeName, level);
    ASSERT_EQ(members.size(), recorded.size());
    for (size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(members[i].UniqueName, recorded[i].at("MEMBER_UNIQUE_NAME"));
        EXPECT_EQ(members[i].Caption, recorded[i].at("MEMBER_CAPTION"));
        EXPECT_EQ(members[i].ParentUniqueName, recorded[i].count("PARENT_UNIQUE_NAME")
                                                   ? recorded[i].at("PARENT_UNIQUE_NAME")
                                                   : "");
    }
    // Each rowset once: the cube is read once and kept.
    connection.Cube(cubeName);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "MDSCHEMA_LEVELS"), 1);
    EXPECT_EQ(asked.back(), "MDSCHEMA_MEMBERS " + level);
}

}  // namespace
}  // namespace orvik::test
