// What a report file's bytes are read as: the encoding it declares, or a refusal that says
// where the bytes stop being that; and how deep its elements may nest.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "TestSupport.h"
#include "model/Report.h"
#include "persist/ReportFile.h"
#include "persist/ReportLifecycle.h"
#include "persist/XmlDocument.h"

namespace orvik {
namespace {

class ReportEncodingTest : public ::testing::Test {
  protected:
    CReport& Report() { return program.Context().Report(); }
    test::TestProgram program;
};

// A file is read in the encoding it declares. When its bytes are not valid in it, guessing
// another would turn its letters into others without a word: it is refused, and the message
// names the byte's offset in the file (CRs counted) so the author can find it.
TEST_F(ReportEncodingTest, AFileIsReadInTheEncodingItDeclaresOrRefusedWithTheOffset) {
    const auto report = [](const std::string& declaration, const std::string& name) {
        return declaration + "\r\n<root>\r\n\t<SHEET>\r\n\t\t<Name>" + name +
               "</Name>\r\n\t</SHEET>\r\n</root>\r\n";
    };
    const auto load = [&](const std::string& file, const std::string& bytes) {
        test::TestProgram fresh;
        CReport& loaded = fresh.Context().Report();
        InitOVK(fresh.Context());
        SerializeXML(fresh.Context(), program.Home().Write(file, bytes), 0);
        std::string messages;
        for (const auto& m : fresh.Front().Messages) messages += m.Text + "\n";
        return std::tuple(loaded.Loaded, loaded.Sheets.empty() ? "" : loaded.Sheets[0]->Name.Value,
                          messages);
    };
    const std::string utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
    const std::string ascii = "<?xml version=\"1.0\" encoding=\"us-ascii\"?>";
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";

    // Declared and valid: read as declared.
    const auto [valid, validName, validMessages] = load("u.ovk", report(utf8, "Café Север"));
    EXPECT_TRUE(valid);
    EXPECT_EQ(validName, "Café Север");
    EXPECT_EQ(validMessages.find("cannot be read"), std::string::npos) << validMessages;
    EXPECT_EQ(std::get<1>(load("l.ovk", report(latin1, "Caf\xE9"))), "Café");
    EXPECT_EQ(std::get<1>(load("a.ovk", report(ascii, "Plain"))), "Plain");
    // Nothing declared: UTF-8 when it is, windows-1251 otherwise, as before.
    EXPECT_EQ(std::get<1>(load("n.ovk", report("", "\xD1\xE5\xE2\xE5\xF0"))), "Север");

    // Latin-1 bytes in a file that says UTF-8, and in one that says US-ASCII.
    for (const auto& [declaration, label] :
         {std::pair(utf8, "UTF-8"), std::pair(ascii, "us-ascii")}) {
        const std::string bytes = report(declaration, "Caf\xE9");
        const size_t offset = bytes.find('\xE9');
        const auto [loaded, name, messages] = load("bad.ovk", bytes);
        EXPECT_FALSE(loaded) << label;
        EXPECT_EQ(name, "") << "nothing of it is taken";
        EXPECT_NE(messages.find("declares encoding=\""), std::string::npos) << messages;
        EXPECT_NE(messages.find("byte at offset " + std::to_string(offset) + " (0xE9)"),
                  std::string::npos)
            << messages;
    }
    // A byte cut out of the middle of a Cyrillic letter.
    const std::string cut = report(utf8, "Се\xD0");
    EXPECT_NE(std::get<2>(load("cut.ovk", cut))
                  .find("offset " + std::to_string(cut.find("\xD0<")) + " (0xD0)"),
              std::string::npos);
}

// Elements nested without end are no report: the file is refused with the limit and the line,
// and nothing that walks a report ever meets the depth.
TEST_F(ReportEncodingTest, AFileNestedDeeperThanAnyReportIsRefusedWithTheLine) {
    std::string deep = "<?xml version=\"1.0\"?>\n<root>\n<SHEET>\n<Name>S</Name>\n</SHEET>\n";
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    for (int i = 0; i < 100000; ++i) deep += "</a>";
    deep += "\n</root>\n";
    InitOVK(program.Context());
    SerializeXML(program.Context(), program.Home().Write("deep.ovk", deep), 0);
    EXPECT_FALSE(Report().Loaded);
    EXPECT_TRUE(Report().Sheets.empty());
    ASSERT_FALSE(program.Front().Messages.empty());
    EXPECT_NE(
        program.Front().Messages.back().Text.find(
            "nest deeper than " + std::to_string(CXmlDocument::kMaxDepth) + " levels (at line 6)"),
        std::string::npos)
        << program.Front().Messages.back().Text;
}

}  // namespace
}  // namespace orvik
