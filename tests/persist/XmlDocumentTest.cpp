// Reading, writing and file handling of the report files' XML tree.
#include "persist/XmlDocument.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const CXmlElement* Child(const CXmlElement* element, std::size_t index) {
    return element->GetChildren().at(index).get();
}

class XmlFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvik-xml-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir;
};

}  // namespace

TEST(XmlParse, ReadsTreeSkippingDeclarationAndComments) {
    CXmlDocument doc;
    doc.Parse(
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<!-- by hand -->\n<root>\n"
        "\t<DS>\n\t\t<Name>\n   Data Source 1 \t\n</Name>\n\t\t<Qry>a &lt; b &amp;&amp; c</Qry>\n"
        "\t</DS>\n\t<GCols><C0_2   ColN=\"x &amp; y\" ColT=\"BT\"  /></GCols>\n</root>\n");
    const CXmlElement* root = doc.GetRootElement();
    EXPECT_EQ(root->GetName(), "root");
    ASSERT_EQ(root->GetChildren().size(), 2u);
    const CXmlElement* ds = Child(root, 0);
    EXPECT_EQ(ds->GetParent(), root);
    EXPECT_EQ(Child(ds, 0)->GetValue(), "Data Source 1");
    EXPECT_EQ(Child(ds, 1)->GetValue(), "a < b && c");
    const CXmlElement* column = Child(Child(root, 1), 0);
    EXPECT_EQ(column->GetName(), "C0_2");
    EXPECT_EQ(column->GetAttributes(), "ColN=\"x &amp; y\" ColT=\"BT\"");
    EXPECT_EQ(column->GetAttribute("ColN"), "x & y");
    EXPECT_TRUE(column->GetChildren().empty());
}

TEST(XmlParse, LastTextBeforeATagIsTheValue) {
    CXmlDocument doc;
    doc.Parse("<a>x<b/>y</a>");
    EXPECT_EQ(doc.GetRootElement()->GetValue(), "y");
    ASSERT_EQ(doc.GetRootElement()->GetChildren().size(), 1u);

    doc.Parse("<a>x<b>z</b>\n</a>");
    EXPECT_EQ(doc.GetRootElement()->GetValue(), "");
    EXPECT_EQ(Child(doc.GetRootElement(), 0)->GetValue(), "z");
}

TEST(XmlParse, DecodesEachEntityOnceAndLeavesOthersAsWritten) {
    CXmlDocument doc;
    doc.Parse("<a>&amp;lt;&quot;&gt;&apos;&amp;amp;</a>");
    EXPECT_EQ(doc.GetRootElement()->GetValue(), "&lt;\">&apos;&amp;");
    // Unknown, unfinished and numeric references are not the format's: they stay as written.
    doc.Parse("<a>&ltx; &lt &#60; &#x3C; & &; &amp</a>");
    EXPECT_EQ(doc.GetRootElement()->GetValue(), "&ltx; &lt &#60; &#x3C; & &; &amp");
    EXPECT_EQ(CXmlElement::Decode("&&lt;&amp;&&gt;&"), "&<&&>&");
}

TEST(XmlParse, IllFormedInputStillGivesATree) {
    CXmlDocument doc;
    // End tags are not matched; surplus ones stop at the root; a second top element joins it.
    doc.Parse("<a><b></x></y></z><c>1</c></a><d/>");
    const CXmlElement* root = doc.GetRootElement();
    ASSERT_EQ(root->GetChildren().size(), 3u);
    EXPECT_EQ(Child(root, 1)->GetName(), "c");
    EXPECT_EQ(Child(root, 2)->GetName(), "d");

    // A ">" in text is text; a comment holding one is cut short and its tail becomes text.
    doc.Parse("<a>1 > 0<!-- x > y --><b/></a>");
    ASSERT_EQ(doc.GetRootElement()->GetChildren().size(), 1u);
    EXPECT_EQ(Child(doc.GetRootElement(), 0)->GetName(), "b");
    doc.Parse("<a>1 > 0</a>");
    EXPECT_EQ(doc.GetRootElement()->GetValue(), "1 > 0");

    // A "<" inside a tag abandons it; trailing text and an unfinished tag are dropped.
    doc.Parse("<a><x <b>v</b>tail<c");
    ASSERT_EQ(doc.GetRootElement()->GetChildren().size(), 1u);
    EXPECT_EQ(Child(doc.GetRootElement(), 0)->GetName(), "b");
    EXPECT_EQ(Child(doc.GetRootElement(), 0)->GetValue(), "v");

    doc.Parse("");
    EXPECT_EQ(doc.GetRootElement()->GetName(), "");
    EXPECT_TRUE(doc.GetRootElement()->GetChildren().empty());
}

TEST(XmlGenerate, TabsCrLfOneLineValuesAndEmptyForm) {
    CXmlDocument doc;
    doc.SetHeader("<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>");
    CXmlElement* root = doc.GetRootElement();
    root->SetName("root");
    CXmlElement* ds = doc.AddElement(root, "  DS ");
    doc.AddElement(ds, "Qry", "a<b & c>d");
    doc.AddElement(ds, "C0_2", "", "ColN=\"x\" ColT=\"BT\" ");
    doc.AddElement(ds, "Empty");
    CXmlElement* mixed = doc.AddElement(root, "M", "v");
    doc.AddElement(mixed, "N");
    EXPECT_EQ(doc.Generate(),
              "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\r\n"
              "<root>\r\n"
              "\t<DS>\r\n"
              "\t\t<Qry>a&lt;b &amp; c&gt;d</Qry>\r\n"
              "\t\t<C0_2 ColN=\"x\" ColT=\"BT\"  />\r\n"
              "\t\t<Empty />\r\n"
              "\t</DS>\r\n"
              "\t<M>v\r\n"
              "\t\t<N />\r\n"
              "\t</M>\r\n"
              "</root>\r\n");

    CXmlDocument plain;
    plain.GetRootElement()->SetName("r");
    EXPECT_EQ(plain.Generate(), "<?xml version=\"1.0\"?>\r\n\r\n<r />\r\n");
}

TEST(XmlGenerate, WrittenTextReadsBack) {
    CXmlDocument doc;
    doc.GetRootElement()->SetName("root");
    const std::string query = "SELECT * FROM t WHERE a < 5 AND b > 'x&y' -- \"q\"";
    doc.AddElement(doc.GetRootElement(), "Qry", query);
    CXmlElement* column = doc.AddElement(doc.GetRootElement(), "C1");
    column->SetAttributes(CXmlElement::FormatAttribute("ColN", "say \"hi\" <b>") + " " +
                          CXmlElement::FormatAttribute("ColT", "BT") + " ");
    // Quotes passed through AddElement stay bare and end the value when read back.
    doc.AddElement(doc.GetRootElement(), "C2", "", "ColN=\"a\"b\"");

    CXmlDocument back;
    back.Parse(doc.Generate());
    const CXmlElement* root = back.GetRootElement();
    ASSERT_EQ(root->GetChildren().size(), 3u);
    EXPECT_EQ(Child(root, 0)->GetValue(), query);
    EXPECT_EQ(Child(root, 1)->GetAttribute("ColN"), "say \"hi\" <b>");
    EXPECT_EQ(Child(root, 1)->GetAttribute("ColT"), "BT");
    EXPECT_EQ(Child(root, 2)->GetAttribute("ColN"), "a");
}

TEST_F(XmlFileTest, EscapedLookingTextSurvivesEverySave) {
    const std::vector<std::string> values = {
        "<P>Use &lt;TD&gt;</P>", "&lt;",  "&amp;lt;", "&amp;amp;", "&quot;", "&&", "a < b > c",
        "say \"hi\" & 'bye'",    "&#60;", "&unknown;"};
    CXmlDocument doc;
    doc.GetRootElement()->SetName("root");
    for (const std::string& value : values) {
        CXmlElement* item = doc.AddElement(doc.GetRootElement(), "Item", value);
        item->SetAttributes(CXmlElement::FormatAttribute("V", value) + " " +
                            CXmlElement::FormatAttribute("W", "x"));
    }
    const std::string path = (dir / "r.ovk").string();
    ASSERT_EQ(doc.Save(path), 1);
    const std::string firstBytes = Read(path);

    // Read and write back twice, the way a report is opened and saved day after day.
    for (int round = 0; round < 2; ++round) {
        CXmlDocument back;
        ASSERT_EQ(back.Load(path), 1);
        const CXmlElement* root = back.GetRootElement();
        ASSERT_EQ(root->GetChildren().size(), values.size());
        CXmlDocument again;
        again.GetRootElement()->SetName("root");
        for (std::size_t i = 0; i < values.size(); ++i) {
            const CXmlElement* item = Child(root, i);
            EXPECT_EQ(item->GetValue(), values[i]);
            EXPECT_EQ(item->GetAttribute("V"), values[i]);
            EXPECT_EQ(item->GetAttribute("W"), "x");
            CXmlElement* copy = again.AddElement(again.GetRootElement(), "Item", item->GetValue());
            copy->SetAttributes(CXmlElement::FormatAttribute("V", item->GetAttribute("V")) + " " +
                                CXmlElement::FormatAttribute("W", item->GetAttribute("W")));
        }
        ASSERT_EQ(again.Save(path), 1);
        EXPECT_EQ(Read(path), firstBytes);
    }
}

TEST(XmlElement, GetAttributeIsAPlainTextSearch) {
    CXmlElement element;
    element.SetAttributes("xName=\"1\" Name=\"2\" Open=\"abc");
    EXPECT_EQ(element.GetAttribute("Name"), "1");
    EXPECT_EQ(element.GetAttribute("Open"), "abc");
    EXPECT_EQ(element.GetAttribute("Missing"), "");
    element.SetAttributes("A=");
    EXPECT_EQ(element.GetAttribute("A"), "");
}

TEST(XmlNavigate, IterationAndCaseInsensitiveFind) {
    CXmlDocument doc;
    doc.Parse("<root><DS>1</DS><ACT>2</ACT><ds>3</ds></root>");
    CXmlElement* root = doc.GetRootElement();
    std::string seen;
    for (CXmlElement* c = doc.GetFirstChild(root); c != nullptr; c = doc.GetNextChild(root)) {
        seen += c->GetValue();
    }
    EXPECT_EQ(seen, "123");
    EXPECT_EQ(doc.GetNextChild(root), nullptr);

    EXPECT_EQ(doc.FindFirstChild(root, "Ds")->GetValue(), "1");
    EXPECT_EQ(doc.FindNextChild(root)->GetValue(), "3");
    EXPECT_EQ(doc.FindNextChild(root), nullptr);
    EXPECT_EQ(doc.FindFirstChild(root, "PRM"), nullptr);

    EXPECT_EQ(doc.GetFirstChild(nullptr), nullptr);
    EXPECT_EQ(doc.FindFirstChild(nullptr, "x"), nullptr);
    EXPECT_EQ(doc.AddElement(nullptr, "x"), nullptr);

    doc.Reset();
    EXPECT_EQ(root->GetName(), "");
    EXPECT_EQ(doc.GetFirstChild(root), nullptr);
}

TEST_F(XmlFileTest, CrLfAndLfFilesLoadAlike) {
    CXmlDocument crlf;
    CXmlDocument lf;
    ASSERT_EQ(crlf.Load(Write("a.ovk", "<r>\r\n\t<Qry>a\r\nb</Qry>\r\n</r>\r\n")), 1);
    ASSERT_EQ(lf.Load(Write("b.ovk", "<r>\n\t<Qry>a\nb</Qry>\n</r>\n")), 1);
    EXPECT_EQ(crlf.Generate(), lf.Generate());
    EXPECT_EQ(Child(crlf.GetRootElement(), 0)->GetValue(), "a\nb");
}

TEST_F(XmlFileTest, FailedLoadLeavesTreeAlone) {
    CXmlDocument doc;
    doc.Parse("<kept/>");
    EXPECT_EQ(doc.Load((dir / "missing.ovk").string()), 0);
    EXPECT_EQ(doc.Load(Write("empty.ovk", "")), 0);
    EXPECT_EQ(doc.Load(dir.string()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(doc.Load((dir / "fifo").string()), 0);
    EXPECT_EQ(doc.GetRootElement()->GetName(), "kept");
}

TEST_F(XmlFileTest, SaveReplacesFileWithExactBytesAndKeepsItsMode) {
    CXmlDocument doc;
    doc.GetRootElement()->SetName("root");
    doc.AddElement(doc.GetRootElement(), "Name", "\xc0\xe1\xe2");
    const std::string path = Write("r.ovk", "old content that is longer than the new one......");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    EXPECT_EQ(doc.Save(path), 1);
    EXPECT_EQ(Read(path), doc.Generate());
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(XmlFileTest, FailedSaveThrowsAndLeavesNoTemporaryFile) {
    CXmlDocument doc;
    doc.GetRootElement()->SetName("root");
    EXPECT_THROW(doc.Save((dir / "no" / "such.ovk").string()), std::system_error);
    fs::create_directory(dir / "sub");
    EXPECT_THROW(doc.Save((dir / "sub").string()), std::system_error);
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST(XmlScale, DeepNestingAndHugeValuesStayLinear) {
    // A tree nested 300 000 deep must parse, generate and be destroyed without exhausting the
    // stack.
    const std::size_t depth = 300000;
    std::string deep;
    for (std::size_t i = 0; i < depth; ++i) {
        deep += "<a>";
    }
    {
        CXmlDocument doc;
        doc.Parse(deep);
        EXPECT_LT(doc.Generate().size(), depth * 160);
    }

    std::string huge = "<a>";
    for (int i = 0; i < 4000000; ++i) {
        huge += "x&amp;";
    }
    huge += "</a>";
    CXmlDocument doc;
    doc.Parse(std::move(huge));
    EXPECT_EQ(doc.GetRootElement()->GetValue().size(), 8000000u);
}
