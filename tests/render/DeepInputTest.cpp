// Text from outside nested a hundred thousand levels deep must not exhaust the stack of whatever
// reads it. The page scanner, the style sheet reader and the report file reader walk their input
// with explicit stacks; each is run here on a thread whose stack is far too small for a
// recursive reader at that depth, so a recursion slipped in later crashes the test. The report
// reader also stops nesting at its limit and says where; the cube schema reader (libxml2)
// refuses such a file with an error that names the line.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>

#include "core/MarkupSanitizer.h"
#include "olap/CubeSchema.h"
#include "persist/XmlDocument.h"
#include "render/CssParser.h"
#include "render/CssStyleSheet.h"
#include "render/HtmlDocument.h"

namespace {

constexpr int kDepth = 100000;

// Runs `work` on a thread with a 256 KiB stack: a reader that recursed once per level of a
// hundred thousand would need many megabytes.
void OnSmallStack(const std::function<void()>& work) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 256 * 1024);
    pthread_t thread;
    auto* job = new std::function<void()>(work);
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* argument) -> void* {
                      auto* run = static_cast<std::function<void()>*>(argument);
                      (*run)();
                      delete run;
                      return nullptr;
                  },
                  job),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    out.reserve(piece.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(DeepInput, ALayoutNestedAHundredThousandDeepIsScannedAndFilled) {
    for (const std::string& nest : {std::string("<DIV>"), std::string("<TABLE><TR><TD>"),
                                    std::string("<UL><LI>"), std::string("<SPAN><B>")}) {
        SCOPED_TRACE(nest);
        const std::string page = "<HTML><HEAD><STYLE>.sh0 {color:red}</STYLE></HEAD><BODY>" +
                                 Repeat(nest, kDepth) + "<DIV id=OrvikSheet0>x</DIV>tail";
        OnSmallStack([&] {
            CHtmlDocument document(page);
            EXPECT_EQ(document.Charset(), "");
            EXPECT_TRUE(document.PlacePiece("OrvikSheet0", "<TABLE id=t></TABLE>"));
            EXPECT_NE(document.Html().find("<TABLE id=t></TABLE>tail"), std::string::npos);
            CCssStyleSheet rules(document);
            EXPECT_TRUE(rules.SetProperty(".sh0", "color", "blue"));
            EXPECT_EQ(rules.GetProperty(".sh0", "color"), "blue");
        });
    }
}

TEST(DeepInput, ACellNestedAHundredThousandDeepIsSanitizedWhole) {
    const std::string cell = Repeat("<b><font color=red>", kDepth) + "<script>alert(1)</script>v";
    OnSmallStack([&] {
        const std::string kept = orvik::SanitizeMarkup(cell);
        EXPECT_EQ(kept.find("alert"), std::string::npos);
        EXPECT_EQ(kept.substr(kept.size() - 1), "v");
        EXPECT_GT(kept.size(), 10u * kDepth);  // the plain markup stays
    });
}

TEST(DeepInput, AStyleSheetNestedAHundredThousandDeepIsReadPast) {
    const std::string sheet = ".a {x:1}\n@media {" + Repeat("{(", kDepth) + Repeat(")}", kDepth) +
                              "}\n.b {color:red; y:" + Repeat("[", kDepth) + Repeat("]", kDepth) +
                              "}\n.c {z:3}";
    OnSmallStack([&] {
        const auto rules = CCssParser::Rules(sheet);
        ASSERT_EQ(rules.size(), 3u);
        EXPECT_EQ(sheet.substr(rules[2].PreludeStart, 3), ".c ");
        const std::string block =
            sheet.substr(rules[1].BlockStart, rules[1].BlockEnd - rules[1].BlockStart);
        EXPECT_EQ(CCssParser::Declarations(block).size(), 2u);
    });
}

TEST(DeepInput, TheReportReaderStopsAtItsLimitAndSaysWhere) {
    const std::string deep = "<root>\n" + Repeat("<a>", kDepth) + "text" + Repeat("</a>", kDepth) +
                             "\n<after>kept</after>\n</root>";
    OnSmallStack([&] {
        CXmlDocument document;
        document.Parse(deep);
        ASSERT_TRUE(document.TooDeepAt());
        // The first element over the limit: the root's own line, then that many "<a>" before it.
        EXPECT_EQ(*document.TooDeepAt(), 7 + 3 * CXmlDocument::kMaxDepth);
        std::size_t depth = 0;
        for (const CXmlElement* at = document.GetRootElement(); !at->GetChildren().empty();
             at = at->GetChildren().front().get())
            ++depth;
        EXPECT_EQ(depth, CXmlDocument::kMaxDepth);
        // What follows the deep part is read as usual, and the document still closes.
        const auto& children = document.GetRootElement()->GetChildren();
        ASSERT_EQ(children.size(), 2u);
        EXPECT_EQ(children[1]->GetName(), "after");
        EXPECT_EQ(children[1]->GetValue(), "kept");
        EXPECT_TRUE(document.RootClosed());
        EXPECT_LT(document.Generate().size(), 100000u);
    });

    // Up to the limit, nothing is left out.
    CXmlDocument fits;
    fits.Parse("<root>" + Repeat("<a>", CXmlDocument::kMaxDepth) + "v" +
               Repeat("</a>", CXmlDocument::kMaxDepth) + "</root>");
    EXPECT_FALSE(fits.TooDeepAt());
    EXPECT_TRUE(fits.RootClosed());
}

TEST(DeepInput, ACubeSchemaNestedTooDeepIsRefusedWithTheLine) {
    const std::string schema = "<Schema name=\"S\">\n" + Repeat("<Cube>", kDepth) +
                               Repeat("</Cube>", kDepth) + "</Schema>";
    OnSmallStack([&] {
        try {
            orvik::cube::ParseCubeSchema(schema, "deep.xml", "sqlite");
            ADD_FAILURE() << "a schema nested a hundred thousand deep was accepted";
        } catch (const orvik::cube::CubeSchemaError& error) {
            const std::string what = error.what();
            EXPECT_NE(what.find("deep.xml line 2"), std::string::npos) << what;
            EXPECT_NE(what.find("elements nested deeper than 256 levels"), std::string::npos)
                << what;
            EXPECT_EQ(what.find("XML_PARSE_HUGE"), std::string::npos) << what;
        }
    });
}

}  // namespace
