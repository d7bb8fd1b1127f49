// The parts of the PDF plug-in that need no browser: what a page may load, how step values are
// read, the DevTools messages' JSON, and the document information written after the renderer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "Json.h"
#include "PdfMetadata.h"
#include "PdfProgram.h"
#include "PrintSettings.h"
#include "ResourcePolicy.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using pdf::ResourcePolicy;

TEST(PdfResourcePolicyTest, OnlyFilesInsideTheAllowedFoldersLoad) {
    const test::TempDir root;
    fs::create_directories(root.Path() + "allowed/img");
    fs::create_directories(root.Path() + "allowed-not");
    fs::create_directories(root.Path() + "outside");
    root.Write("allowed/img/a b.png", "x");
    root.Write("outside/secret.txt", "x");
    fs::create_symlink(root.Path() + "outside/secret.txt", root.Path() + "allowed/link.txt");
    fs::create_symlink(root.Path() + "outside", root.Path() + "allowed/door");
    // The folder is named with a trailing "/", as the work folder is.
    const ResourcePolicy policy({root.Path() + "allowed/"});
    const std::string base = "file://" + root.Path();

    EXPECT_TRUE(policy.Allows(base + "allowed/img/a%20b.png"));
    EXPECT_TRUE(policy.Allows("FILE://localhost" + root.Path() + "allowed/img/a%20b.png"));
    EXPECT_TRUE(policy.Allows(base + "allowed/not-there-yet.png"));
    EXPECT_TRUE(policy.Allows("data:image/png;base64,AAAA"));
    EXPECT_TRUE(policy.Allows("about:blank"));
    for (const std::string& url : {
             base + "outside/secret.txt",
             base + "allowed/../outside/secret.txt",
             base + "allowed/%2e%2e/outside/secret.txt",
             base + "allowed/link.txt",          // a link out of the folder
             base + "allowed/door/secret.txt",   // a linked folder
             base + "allowed-not/x.png",         // a sibling whose name starts alike
             base + "allowed",                   // the folder itself
             base + "allowed/img/a.png%00.txt",  // a NUL that would cut the name
             "file://evil.example" + root.Path() + "allowed/img/a%20b.png",
             std::string("file:///etc/passwd"),
             std::string("http://127.0.0.1/x.png"),
             std::string("https://example.com/x.css"),
             std::string("ftp://example.com/x"),
             std::string("ws://127.0.0.1:9/"),
             std::string("blob:null/1234"),
             std::string("javascript:alert(1)"),
             std::string("chrome://settings"),
         })
        EXPECT_FALSE(policy.Allows(url)) << url;
    // A policy without folders lets no file through.
    EXPECT_FALSE(ResourcePolicy({""}).Allows(base + "allowed/img/a%20b.png"));
}

TEST(PdfResourcePolicyTest, FileUrlsRoundTripAnyName) {
    for (const std::string& path :
         {std::string("/tmp/a b/c#d?e%f.htm"), std::string("/x/\xD0\xB6.htm")})
        EXPECT_EQ(ResourcePolicy::FileUrlPath(ResourcePolicy::FileUrl(path)), path);
}

TEST(PdfPrintSettingsTest, MarginsReadAsCssWritesThem) {
    pdf::Margins m;
    ASSERT_TRUE(pdf::ParseMargins("25.4mm", m));
    EXPECT_DOUBLE_EQ(m.Top, 1);
    EXPECT_DOUBLE_EQ(m.Left, 1);
    ASSERT_TRUE(pdf::ParseMargins("1in, 2.54cm", m));
    EXPECT_DOUBLE_EQ(m.Bottom, 1);
    EXPECT_DOUBLE_EQ(m.Right, 1);
    ASSERT_TRUE(pdf::ParseMargins(" 72pt 96px 0 50.8 ", m));
    EXPECT_DOUBLE_EQ(m.Top, 1);
    EXPECT_DOUBLE_EQ(m.Right, 1);
    EXPECT_DOUBLE_EQ(m.Bottom, 0);
    EXPECT_DOUBLE_EQ(m.Left, 2);
    ASSERT_TRUE(pdf::ParseMargins("1mm 2mm 3mm", m));
    EXPECT_DOUBLE_EQ(m.Left, m.Right);
    for (const char* bad : {"", "-1mm", "1km", "101mm", "1 2 3 4 5", "mm", "1mm;2mm"})
        EXPECT_FALSE(pdf::ParseMargins(bad, m)) << bad;

    pdf::Paper paper;
    EXPECT_TRUE(pdf::ParsePaper(" letter", paper));
    EXPECT_DOUBLE_EQ(paper.HeightInches, 11);
    EXPECT_FALSE(pdf::ParsePaper("A5", paper));
    pdf::Orientation turn;
    EXPECT_TRUE(pdf::ParseOrientation("", turn));
    EXPECT_EQ(turn, pdf::Orientation::Auto);
    EXPECT_TRUE(pdf::ParseOrientation("Landscape", turn));
    EXPECT_EQ(turn, pdf::Orientation::Landscape);
    EXPECT_FALSE(pdf::ParseOrientation("sideways", turn));
}

TEST(PdfPrintSettingsTest, RunningTextsShowValuesAsTextAndFieldsAsFields) {
    std::vector<std::string> substituted;
    const auto substitute = [&](const std::string& text) {
        substituted.push_back(text);
        std::string out = text;
        for (size_t at; (at = out.find("`Who")) != std::string::npos;)
            out.replace(at, 4, "<img src=x onerror=alert(1)> & \"co\"\x01");
        return out;
    };
    const std::string html =
        pdf::RunningTextTemplate("~Page~ of ~Pages~ for `Who, ~Title~~Page~", {}, substitute);
    EXPECT_NE(html.find("<span class=\"pageNumber\"></span> of <span class=\"totalPages\"></span>"
                        " for &lt;img src=x onerror=alert(1)&gt; &amp; &quot;co&quot;, "
                        "<span class=\"title\"></span><span class=\"pageNumber\"></span></div>"),
              std::string::npos)
        << html;
    // Only the author's text between the fields is substituted, each piece once.
    EXPECT_EQ(substituted, (std::vector<std::string>{" of ", " for `Who, "}));
}

TEST(PdfJsonTest, ReadsWhatTheBrowserSendsAndRefusesWhatItShouldNot) {
    pdf::JsonValue value;
    std::string error;
    ASSERT_TRUE(pdf::JsonValue::Parse(
        R"({"id":7,"result":{"data":"QUJD","list":[1,-2.5e1,true,null,"\u00e9\ud83d\ude00\n"]}})",
        value, error))
        << error;
    EXPECT_EQ(value["id"].Number(), 7);
    EXPECT_EQ(value["result"]["data"].Text(), "QUJD");
    const auto& list = value["result"]["list"].Items();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[1].Number(), -25);
    EXPECT_TRUE(list[2].Boolean());
    EXPECT_TRUE(list[3].IsNull());
    EXPECT_EQ(list[4].Text(), "\xC3\xA9\xF0\x9F\x98\x80\n");
    EXPECT_TRUE(value["missing"]["deeper"].IsNull());

    for (const std::string& bad :
         {std::string(R"({"a":)"), std::string(R"({"a":1} x)"), std::string(R"(["\x"])"),
          std::string(R"("\ud800)"), std::string(200, '[') + std::string(200, ']')})
        EXPECT_FALSE(pdf::JsonValue::Parse(bad, value, error)) << bad;

    // What goes out reads back as it was, control characters and broken UTF-8 made safe.
    const std::string sent = "a\"b\\c\n\x01\xFF/\xD0\xB6";
    ASSERT_TRUE(pdf::JsonValue::Parse(pdf::JsonQuote(sent), value, error)) << error;
    EXPECT_EQ(value.Text(), "a\"b\\c\n\x01\xEF\xBF\xBD/\xD0\xB6");
}

// A one-page PDF with a correct cross-reference table, as a renderer writes one.
std::string SmallPdf() {
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    const char* objects[] = {"<</Type /Catalog /Pages 2 0 R>>",
                             "<</Type /Pages /Kids [3 0 R] /Count 1>>",
                             "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200]>>",
                             "<</Title (Old) /Producer (Test)>>"};
    for (size_t i = 0; i < 4; ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 5\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    return pdf + "trailer\n<</Size 5 /Root 1 0 R /Info 4 0 R>>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
}

TEST(PdfMetadataTest, TitleAndSubjectReadBackExactly) {
    if (const std::string missing = test::MissingPdfTools(); !missing.empty())
        GTEST_SKIP() << "missing " << missing;
    const test::TempDir folder;
    std::string pdf = SmallPdf();
    const std::string title = "Sales (North) \\ \xD0\x9F\xD1\x80\xD0\xBE\xD0\xB4 \xF0\x9F\x93\x88";
    ASSERT_TRUE(pdf::SetDocumentInfo(pdf, title, "Daily ) report\n"));
    const std::string path = folder.Write("small.pdf", pdf);
    EXPECT_EQ(test::PdfInfo(path, "Title"), title);
    EXPECT_EQ(test::PdfInfo(path, "Subject"), "Daily ) report");
    EXPECT_EQ(test::PdfInfo(path, "Pages"), "1");
    EXPECT_EQ(test::PdfInfo(path, "Syntax Error"), "") << test::RunShell("pdfinfo " + path).Output;

    std::string broken = "%PDF-1.7\n1 0 obj <<>> endobj\n";
    const std::string before = broken;
    EXPECT_FALSE(pdf::SetDocumentInfo(broken, "t", "s"));
    EXPECT_EQ(broken, before);
}

}  // namespace
}  // namespace orvik
