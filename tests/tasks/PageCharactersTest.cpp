// Every kind of character a database, a title or a parameter can bring reaches the written page
// and reads back as itself, whichever way the page is made (streamed as it is built, built whole,
// poured into a layout) and whatever charset the page declares. The page is read back by an
// independent HTML parser (libxml2's), which decodes it by its own declaration, so a reference the
// browser would not understand, a byte in the wrong set or a cell that swallows the next sheet
// shows as a difference in the text.
#include <gtest/gtest.h>
#include <iconv.h>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "core/Paths.h"
#include "core/TextEncoding.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridViews.h"
#include "tasks/HtmlExport.h"

namespace orvik {
namespace {

// One sample of each class, last in its sheet as the "Café" that cut a page short was.
const std::vector<std::string> kSamples = {
    "Plain ASCII 42",
    "Café Ëlise über",      // Latin-1 letters, none in windows-1251
    "Продукты Север Ёж",    // Cyrillic, all in windows-1251
    "北京 東京",            // CJK
    "😀 𝄞",                  // beyond the basic plane
    "e\u0301 a\u0308",      // combining marks
    "\uFFFD",               // the replacement character itself
    "№ € ‘quoted’ – dash",  // punctuation from windows-1251's upper half
};

// What libxml2 reads the page as: the text of every cell of every table, per table id, and
// whether any table stands inside a cell.
struct ReadBack {
    std::vector<std::pair<std::string, std::vector<std::string>>> Tables;
    std::vector<std::string> Captions;
    std::string Body;  // the text of the whole body
    bool TableInsideCell = false;
};

std::string Content(xmlNode* node) {
    xmlChar* text = xmlNodeGetContent(node);
    std::string content = text ? reinterpret_cast<const char*>(text) : "";
    xmlFree(text);
    return content;
}

bool IsNamed(xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

void Collect(xmlNode* node, ReadBack& out, bool inCell) {
    for (; node; node = node->next) {
        if (IsNamed(node, "table")) {
            if (inCell) out.TableInsideCell = true;
            xmlChar* id = xmlGetProp(node, reinterpret_cast<const xmlChar*>("id"));
            out.Tables.push_back({id ? reinterpret_cast<const char*>(id) : "", {}});
            xmlFree(id);
        }
        if (IsNamed(node, "td") && !out.Tables.empty()) {
            out.Tables.back().second.push_back(Content(node));
        }
        if (IsNamed(node, "caption")) out.Captions.push_back(Content(node));
        if (IsNamed(node, "body")) out.Body = Content(node);
        Collect(node->children, out, inCell || IsNamed(node, "td"));
    }
}

ReadBack ParsePage(const std::string& bytes) {
    ReadBack result;
    // No encoding given: the parser goes by the page's own META, as a browser does.
    std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> document(
        htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                       HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET),
        xmlFreeDoc);
    if (document) Collect(xmlDocGetRootElement(document.get()), result, false);
    return result;
}

// True when `bytes` convert from `charset` without a single invalid sequence.
bool StrictlyDecodes(const std::string& bytes, const char* charset) {
    iconv_t converter = iconv_open("UTF-32LE", charset);
    std::string in = bytes, out(bytes.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    const size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    return result != static_cast<size_t>(-1) && inLeft == 0;
}

class PageCharacters : public ::testing::Test {
  protected:
    PageCharacters() {
        Report().StartNew();
        database_ = program_.Home().Path() + "chars.db";
        sqlite3* db = nullptr;
        sqlite3_open(database_.c_str(), &db);
        sqlite3_exec(db,
                     "create table samples (n int, text text); create table other (x text);"
                     "insert into other values ('next sheet');",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "insert into samples values (?, ?)", -1, &insert, nullptr);
        for (size_t i = 0; i < kSamples.size(); ++i) {
            sqlite3_bind_int(insert, 1, static_cast<int>(i));
            sqlite3_bind_text(insert, 2, kSamples[i].data(), static_cast<int>(kSamples[i].size()),
                              SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }

    CReport& Report() { return program_.Context().Report(); }

    COvInfoSheet& AddSheet(const char* name, const char* query, const std::string& title) {
        COvInfoDS* ds = Report().NewDataSource(name);
        ds->DSN.Value = "Provider=SQLite;Data Source=" + database_;
        ds->Qry.Value = query;
        COvInfoSheet* sheet = Report().NewSheet(name);
        sheet->cDS.Value = name;
        sheet->GetPropByName("Title")->Value = title;
        CreateGridView(program_.Context(), *sheet);
        return *sheet;
    }

    void AddParam(const std::string& value) {
        Report().Params.push_back(
            std::make_unique<COvInfoPrm>(&program_.Context().Registries(), GroupId::Param));
        COvInfoPrm& prm = *Report().Params.back();
        prm.Name.Value = "Who";
        prm.PrmVal.Value = value;
        prm.bVis.Value = "1";
    }

    // Runs an HTML step over a report of a panel, a sheet of every sample (titled with them all)
    // and a second sheet, and returns the page file's bytes.
    std::string Export(const std::string& layout, bool streamed) {
        std::string all;
        for (const std::string& sample : kSamples) all += sample + " | ";
        Report().ReportObject->GetPropByName("HTMLayout")->Value = layout;
        program_.Context().Page.WriteAsBuilt = streamed;
        AddParam(all);
        AddSheet("Samples", "select n, text from samples order by n", all);
        AddSheet("Other", "select x from other", "Other");
        Report().Tasks.push_back(
            std::make_unique<COvInfoAct>(&program_.Context().Registries(), GroupId::Task));
        COvInfoAct& step = *Report().Tasks.back();
        step.AType.Value = "HTML";
        program_.Context().Registries().PrepareNewCombo(step.AType, step.Props, true);
        EXPECT_EQ(DoExport(program_.Context(), step), 1);
        EXPECT_EQ(program_.Context().Page.TextInFile, streamed)
            << "the page was made the way asked for";
        std::string bytes;
        ReadWholeFile(PageFilePath(program_.Context()), bytes);
        return bytes;
    }

    test::TestProgram program_;
    std::string database_;
};

struct Way {
    const char* Name;
    const char* Layout;  // "" for the plain page
    bool Streamed;
    const char* Charset;  // what the written page must be valid in
};

constexpr const char* kBody =
    "<BODY><P>Layout: Café, 北京, 😀</P><DIV id=OrvikParam0></DIV>"
    "<DIV id=OrvikSheet0></DIV><DIV id=OrvikSheet1></DIV></BODY></HTML>";

const Way kWays[] = {
    {"plain page streamed", "", true, "CP1251"},
    {"plain page built whole", "", false, "CP1251"},
    {"layout declaring windows-1251",
     "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
     "charset=windows-1251\"><TITLE>Café 北京</TITLE></HEAD>",
     false, "CP1251"},
    {"layout declaring cp1251 with a short META", "<html><head><meta charset=cp1251></head>", false,
     "CP1251"},
    {"layout declaring UTF-8", "<HTML><HEAD><META charset=\"utf-8\"></HEAD>", false, "UTF-8"},
    {"layout declaring nothing", "<HTML><HEAD></HEAD>", false, "UTF-8"},
    {"layout declaring a set of its own",
     "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
     "charset=koi8-r\"></HEAD>",
     false, "UTF-8"},
};

TEST_F(PageCharacters, EveryCharacterReadsBackAsItselfWhicheverWayThePageIsWritten) {
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.Name);
        Report().StartNew();
        const std::string layout = *way.Layout ? std::string(way.Layout) + kBody : "";
        const std::string bytes = Export(layout, way.Streamed);
        EXPECT_TRUE(StrictlyDecodes(bytes, way.Charset)) << bytes;
        const ReadBack page = ParsePage(bytes);

        ASSERT_EQ(page.Tables.size(), 3u)
            << bytes;  // the panel and the two sheets, one after another
        EXPECT_FALSE(page.TableInsideCell) << bytes;
        EXPECT_EQ(page.Tables[2].first, "OrvikSheet1");
        EXPECT_EQ(page.Tables[2].second, (std::vector<std::string>{"x", "next sheet"}));

        // The sheet's cells: the header row, then each sample beside its number, in order.
        const auto& cells = page.Tables[1].second;
        ASSERT_EQ(cells.size(), 2 + 2 * kSamples.size()) << bytes;
        for (size_t i = 0; i < kSamples.size(); ++i)
            EXPECT_EQ(cells[3 + 2 * i], kSamples[i]) << "sample " << i;

        // The panel's value and the sheet's title hold every sample too.
        std::string all;
        for (const std::string& sample : kSamples) all += sample + " | ";
        EXPECT_EQ(page.Tables[0].second.at(1), all);
        ASSERT_EQ(page.Captions.size(), 2u);
        EXPECT_EQ(page.Captions[0], all);
        if (*way.Layout) {
            EXPECT_NE(page.Body.find("Layout: Café, 北京, 😀"), std::string::npos);
        }
    }
}

TEST_F(PageCharacters, AWindows1251PageStaysInItsSetAndWritesReferences) {
    const std::string bytes = Export("", true);
    EXPECT_NE(bytes.find("CHARSET=windows-1251"), std::string::npos);
    EXPECT_EQ(bytes.find("UTF-8"), std::string::npos);
    EXPECT_NE(bytes.find("Caf&#233; &#203;lise &#252;ber"), std::string::npos);
    EXPECT_NE(bytes.find("&#128512;"), std::string::npos);  // one reference, no pair
    EXPECT_NE(bytes.find("\xCF\xF0\xEE\xE4\xF3\xEA\xF2\xFB"), std::string::npos);  // "Продукты"
}

// Bytes that are no text (a blob, a column filled by another program) and control characters
// must not make the page invalid, whatever it is written in.
TEST_F(PageCharacters, BytesThatAreNoTextAreReplacedAndControlsDropped) {
    // Latin-1 "Café", a lone continuation byte, an overlong "/", a surrogate, then bell, NUL,
    // ESC, DEL and a C1 control, which are dropped, and a tab, which is text.
    static constexpr char kRaw[] =
        "Caf\xE9|\x80|\xC0\xAF|\xED\xA0\x80|bell\x07|nul\x00|esc\x1B|del\x7F|c1\xC2\x85|tab\tend";
    const std::string raw(kRaw, sizeof kRaw - 1);
    const std::string shown = "Caf?|?|??|???|bell|nul|esc|del|c1|tab\tend";
    std::string replaced = shown;
    for (size_t at; (at = replaced.find('?')) != std::string::npos;)
        replaced.replace(at, 1, "\uFFFD");

    for (const Way& way : {kWays[0], kWays[2], kWays[4]}) {
        SCOPED_TRACE(way.Name);
        Report().StartNew();
        sqlite3* db = nullptr;
        sqlite3_open(database_.c_str(), &db);
        sqlite3_exec(db, "delete from samples", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "insert into samples values (?, ?)", -1, &insert, nullptr);
        for (int n : {0, 1}) {
            sqlite3_bind_int(insert, 1, n);
            if (n == 0)
                sqlite3_bind_text(insert, 2, raw.data(), static_cast<int>(raw.size()),
                                  SQLITE_TRANSIENT);
            else
                sqlite3_bind_blob(insert, 2, raw.data(), static_cast<int>(raw.size()),
                                  SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_close(db);

        const std::string layout = *way.Layout ? std::string(way.Layout) + kBody : "";
        const std::string bytes = Export(layout, way.Streamed);
        EXPECT_TRUE(StrictlyDecodes(bytes, way.Charset));
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            EXPECT_TRUE(byte >= 0x20 || c == '\t' || c == '\n' || c == '\r') << int(byte);
            EXPECT_NE(byte, 0x7F);
        }
        const ReadBack page = ParsePage(bytes);
        ASSERT_EQ(page.Tables.size(), 3u) << bytes;
        const auto& cells = page.Tables[1].second;
        ASSERT_EQ(cells.size(), 6u) << bytes;
        const std::string& expected = std::string(way.Charset) == "UTF-8" ? replaced : shown;
        EXPECT_EQ(cells[3], expected) << "text column";
        EXPECT_EQ(cells[5], expected) << "blob column";
        EXPECT_EQ(page.Tables[2].second.at(1), "next sheet");
    }
}

// The page text kept for the mail step is valid UTF-8 too.
TEST(PageText, CleaningReplacesInvalidBytesAndDropsControlsOnlyWhenNeeded) {
    std::string clean = "Север, Café, 北京 😀\ttab\r\n";
    EXPECT_FALSE(CleanPageText(clean));
    EXPECT_EQ(clean, "Север, Café, 北京 😀\ttab\r\n");
    std::string dirty(
        "a\x00"
        "b\x1F"
        "c\xFF"
        "d\xC2\x9F"
        "e\xF0\x9F\x98",
        13);
    EXPECT_TRUE(CleanPageText(dirty));
    EXPECT_EQ(dirty,
              "abc\uFFFDd"
              "e\uFFFD\uFFFD\uFFFD");
    EXPECT_TRUE(IsValidUtf8(dirty));
}

}  // namespace
}  // namespace orvik
