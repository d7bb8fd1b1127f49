// Replies a server (or whatever answers at its address) may send that no server should: cells
// outside the axes, axes whose product would exhaust memory, deep nesting, endless texts,
// entity bombs, elements out of order or missing, replies cut at any byte. Each must end in
// one CADOException or a sound reading, never a crash or a hang.
#include <gtest/gtest.h>

#include <cmath>

#include "data/AdoException.h"
#include "olap/XmlaCellSetReader.h"
#include "olap/XmlaRowsetReader.h"

namespace orvik::test {
namespace {

using xmla::CellSetPayload;

std::string Root(const std::string& inside) {
    return "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:mddataset\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">" +
           inside + "</root>";
}

std::string Axis(const std::string& name, int tuples) {
    std::string text = "<Axis name=\"" + name + "\"><Tuples>";
    for (int t = 0; t < tuples; ++t)
        text += "<Tuple><Member Hierarchy=\"D\"><UName>[D].[m" + std::to_string(t) +
                "]</UName><Caption>m" + std::to_string(t) + "</Caption></Member></Tuple>";
    return text + "</Tuples></Axis>";
}

std::string Cell(const std::string& ordinal, const std::string& inside) {
    return "<Cell CellOrdinal=\"" + ordinal + "\">" + inside + "</Cell>";
}

CellSetData Read(const std::string& reply) {
    XmlaMemorySource source(reply);
    return xmla::ReadCellSetReply(source);
}

std::string FailureOf(const std::string& reply) {
    try {
        Read(reply);
    } catch (const CADOException& error) {
        return error.what();
    }
    return "";
}

const std::string kTwoByTwo = "<Axes>" + Axis("Axis0", 2) + Axis("Axis1", 2) + "</Axes>";

TEST(XmlaHostileReply, CellOrdinalsOutsideTheAxesAreRefused) {
    EXPECT_NE(FailureOf(Root(kTwoByTwo + "<CellData>" + Cell("4", "") + "</CellData>"))
                  .find("cell ordinal 4 is outside the 4 cells"),
              std::string::npos);
    for (const char* ordinal : {"-1", "abc", "", "99999999999999999999999", "1e3", " 1"})
        EXPECT_NE(FailureOf(Root(kTwoByTwo + "<CellData>" + Cell(ordinal, "") + "</CellData>"))
                      .find("no readable CellOrdinal"),
                  std::string::npos)
            << ordinal;
    EXPECT_NE(FailureOf(Root(kTwoByTwo + "<CellData><Cell/></CellData>")).find("CellOrdinal"),
              std::string::npos);
}

TEST(XmlaHostileReply, AxesTooLargeToHoldAreRefusedBeforeAllocating) {
    const std::string reply = Root("<Axes>" + Axis("Axis0", 300) + Axis("Axis1", 300) +
                                   Axis("Axis2", 300) + "</Axes><CellData/>");
    EXPECT_NE(FailureOf(reply).find("more than " + std::to_string(CellSetPayload::kMaxCells)),
              std::string::npos);
    // A cross product multiplies without the reply growing.
    std::string sets;
    for (int s = 0; s < 3; ++s) {
        sets += "<Members Hierarchy=\"D" + std::to_string(s) + "\">";
        for (int m = 0; m < 101; ++m) sets += "<Member><UName>u</UName></Member>";
        sets += "</Members>";
    }
    EXPECT_NE(FailureOf(Root("<Axes><Axis name=\"Axis0\"><CrossProduct>" + sets +
                             "</CrossProduct></Axis></Axes>"))
                  .find("cross product"),
              std::string::npos);
}

TEST(XmlaHostileReply, StrangeAxisNamesAreRefused) {
    for (const char* name : {"Axis99999999999999999999", "Axis64", "Rows", "", "Axis-1"})
        EXPECT_NE(FailureOf(Root("<Axes>" + Axis(name, 1) + "</Axes>")).find("an axis is named"),
                  std::string::npos)
            << name;
}

TEST(XmlaHostileReply, DeepNestingAndEndlessTextAreRefused) {
    std::string deep;
    for (int i = 0; i < 100; ++i) deep += "<x>";
    for (int i = 0; i < 100; ++i) deep += "</x>";
    EXPECT_NE(FailureOf(Root(kTwoByTwo + "<CellData>" + Cell("0", deep) + "</CellData>"))
                  .find("nest more than"),
              std::string::npos);

    const std::string endless(XmlaXmlReader::kMaxText * 2, 'A');
    EXPECT_NE(FailureOf(Root(kTwoByTwo + "<CellData>" +
                             Cell("0", "<FmtValue>" + endless + "</FmtValue>") + "</CellData>"))
                  .find("longer than"),
              std::string::npos);
}

TEST(XmlaHostileReply, EntitiesAreNotExpanded) {
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE root [<!ENTITY a \"aaaaaaaaaa\">";
    for (char e = 'b'; e <= 'j'; ++e)
        bomb += std::string("<!ENTITY ") + e + " \"" + std::string(10, '&') + "\">";
    for (char e = 'b'; e <= 'j'; ++e) {
        std::string references;
        for (int i = 0; i < 10; ++i) references += std::string("&") + char(e - 1) + ";";
        bomb.replace(bomb.find(std::string(10, '&')), 10, references);
    }
    bomb +=
        "]>" + Root("<Axes/><CellData>" + Cell("0", "<FmtValue>&j;</FmtValue>") + "</CellData>");
    try {
        const CellSetData data = Read(bomb);
        ASSERT_EQ(data.Cells.size(), 1u);
        EXPECT_LT(data.Cells[0].FormattedValue.size(), 1000u);
    } catch (const CADOException&) {
        // Refusing it is as good.
    }
}

TEST(XmlaHostileReply, ElementsOutOfOrderAreRefused) {
    EXPECT_NE(FailureOf(Root("<CellData>" + Cell("0", "") + "</CellData>" + kTwoByTwo))
                  .find("before axes"),
              std::string::npos);
    EXPECT_NE(FailureOf(Root("<OlapInfo/><CellData/>" + kTwoByTwo)).find("axes follow the cells"),
              std::string::npos);
}

TEST(XmlaHostileReply, MissingElementsLeaveFieldsEmpty) {
    const CellSetData data =
        Read(Root("<Axes><Axis name=\"Axis0\"><Tuples><Tuple><Member/></Tuple><Tuple/></Tuples>"
                  "</Axis></Axes><CellData><Cell CellOrdinal=\"1\"><FmtValue>x</FmtValue></Cell>"
                  "</CellData>"));
    ASSERT_EQ(data.Axes.size(), 1u);
    ASSERT_EQ(data.Axes[0].Positions.size(), 2u);
    EXPECT_EQ(data.Axes[0].Positions[0].Members.at(0).UniqueName, "");
    EXPECT_TRUE(data.Axes[0].Positions[1].Members.empty());
    ASSERT_EQ(data.Cells.size(), 2u);
    EXPECT_TRUE(data.Cells[0].Value.IsEmpty());
    EXPECT_TRUE(data.Cells[1].Value.IsEmpty());
    EXPECT_EQ(data.Cells[1].FormattedValue, "x");
    // No slicer axis: the one empty tuple of a query without WHERE.
    ASSERT_EQ(data.Slicer.Positions.size(), 1u);
    EXPECT_TRUE(data.Slicer.Positions[0].Members.empty());
}

TEST(XmlaHostileReply, ValuesKeepTheirTypesAndOddTextsStayText) {
    struct Case {
        const char* Type;
        const char* Text;
        VariantType Expected;
        double Number;
    };
    const Case cases[] = {
        {"xsd:int", "42", VariantType::I4, 42},
        {"xs:double", "2.5E3", VariantType::R8, 2500},
        {"xsd:double", "1,5", VariantType::R8, 1.5},  // a decimal comma
        {"xsd:double", "-INF", VariantType::R8, -HUGE_VAL},
        {"xsd:decimal", "1594335.3767", VariantType::Decimal, 1594335.3767},
        {"xsd:int", "123456789012345678901234567890", VariantType::R8, 1.2345678901234568e29},
        {"xsd:long", "9.990", VariantType::R8, 9.99},
        {"xsd:boolean", "true", VariantType::Bool, 1},
        {"xsd:double", "n/a", VariantType::String, 0},
        {"", "12", VariantType::String, 12},
    };
    std::string cells;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string type =
            *cases[i].Type ? std::string(" xsi:type=\"") + cases[i].Type + "\"" : "";
        cells += Cell(std::to_string(i), "<Value" + type + ">" + cases[i].Text + "</Value>");
    }
    const CellSetData data = Read(Root("<Axes>" + Axis("Axis0", std::size(cases)) +
                                       "</Axes><CellData>" + cells + "</CellData>"));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Variant& value = data.Cells.at(i).Value;
        EXPECT_EQ(value.Type(), cases[i].Expected) << cases[i].Text;
        if (value.Type() == VariantType::String)
            EXPECT_EQ(value.AsString(), cases[i].Text);
        else
            EXPECT_DOUBLE_EQ(value.AsDouble(), cases[i].Number) << cases[i].Text;
    }
}

TEST(XmlaHostileReply, ReplyCutAtAnyByteIsOneError) {
    const std::string whole =
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
        "<ExecuteResponse xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return>" +
        Root(kTwoByTwo + "<CellData>" + Cell("3", "<Value xsi:type=\"xsd:int\">5</Value>") +
             "</CellData>") +
        "</return></ExecuteResponse></soap:Body></soap:Envelope>";
    EXPECT_EQ(Read(whole).Cells.at(3).Value.AsInt64(), 5);
    for (size_t cut = 0; cut < whole.size(); ++cut)
        EXPECT_NE(FailureOf(whole.substr(0, cut)), "") << "cut at " << cut;
}

TEST(XmlaHostileReply, RowsetsAreBoundedAndToleratePeculiarRows) {
    std::string wide = "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\"><row>";
    for (size_t c = 0; c <= xmla::RowsetPayload::kMaxColumns; ++c)
        wide += "<c" + std::to_string(c) + ">1</c" + std::to_string(c) + ">";
    wide += "</row></root>";
    RowStore rows;
    XmlaMemorySource wideSource(wide);
    try {
        xmla::ReadRowsetReply(wideSource, rows);
        ADD_FAILURE() << "a rowset of more columns than allowed was read";
    } catch (const CADOException& error) {
        EXPECT_NE(std::string(error.what()).find("columns"), std::string::npos);
    }

    // A repeated column keeps its last value; markup inside a value is not its text.
    XmlaMemorySource odd(
        "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\"><row><A>1</A><A>2</A>"
        "<B>x<i>y</i>z</B></row><row/></root>");
    xmla::ReadRowsetReply(odd, rows, {{"B", VariantType::String}});
    ASSERT_EQ(rows.RowCount(), 2u);
    EXPECT_EQ(rows.Fields()[0].Name, "B");
    EXPECT_EQ(rows.Get(0, 0).AsString(), "xz");
    EXPECT_EQ(rows.Get(0, 1).AsString(), "2");
    EXPECT_TRUE(rows.Get(1, 1).IsNull());
}

TEST(XmlaHostileReply, ReplyOfAnotherKindOrWithoutResultIsNamedAsSuch) {
    const std::string rowset = "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:rowset\"/>";
    const std::string empty = "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:empty\"/>";
    EXPECT_NE(FailureOf(rowset).find("a table where a cell set was expected"), std::string::npos);
    EXPECT_NE(FailureOf(empty).find("no cell set"), std::string::npos);
    EXPECT_NE(FailureOf("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                        "<soap:Body/></soap:Envelope>")
                  .find("holds no result"),
              std::string::npos);
    EXPECT_NE(FailureOf("").find("empty"), std::string::npos);
    EXPECT_NE(FailureOf("<?xml version=\"1.0\"?><!-- nothing -->").find("cannot be read"),
              std::string::npos);

    RowStore rows;
    const std::string cellSet = Root(kTwoByTwo);
    XmlaMemorySource cells(cellSet);
    try {
        xmla::ReadRowsetReply(cells, rows);
        ADD_FAILURE() << "a cell set was read as a table";
    } catch (const CADOException& error) {
        EXPECT_NE(std::string(error.what()).find("a cell set where a table was expected"),
                  std::string::npos);
    }
}

TEST(XmlaHostileReply, FloodOfErrorMessagesIsCapped) {
    std::string errors;
    for (int i = 0; i < 5000; ++i)
        errors += "<Error Description=\"failure number " + std::to_string(i) + "\"/>";
    try {
        Read(
            "<root xmlns=\"urn:schemas-microsoft-com:xml-analysis:empty\"><Messages "
            "xmlns=\"urn:schemas-microsoft-com:xml-analysis:exception\">" +
            errors + "</Messages></root>");
        ADD_FAILURE() << "the errors were not reported";
    } catch (const CADOException& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("failure number 0"), std::string::npos);
        EXPECT_EQ(message.find("failure number 4999"), std::string::npos);
        EXPECT_LT(message.size(), 2000u);
    }
}

}  // namespace
}  // namespace orvik::test
