// The PDF and PNG steps as a scheduler meets them: the real program runs a report with the
// plug-ins as built, Chromium renders, and poppler's tools read the file back. Screenshots of the
// first pages land in <build>/pdf-screenshots for people to look at.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "PdfProgram.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using test::PdfInfo;
using test::PdfText;
using test::SheetCells;
using test::Step;
using test::WithTask;

constexpr int kRows = 5000;

// Each non-empty line of `text`.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line != "\f") lines.push_back(line);
    }
    return lines;
}

// Writes the first page of `pdf` as a PNG into the build's screenshot folder.
void Screenshot(const test::PdfProgram& program, const std::string& pdf, const std::string& name) {
    const std::string folder = program.BuiltFolder() + "/../pdf-screenshots/";
    fs::create_directories(folder);
    test::RunShell("pdftoppm -png -r 70 -f 1 -l 1 -singlefile " + test::ShellWord(pdf) + " " +
                   test::ShellWord(folder + name));
}

class PdfStepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = test::MissingPdfTools(); !missing.empty())
            GTEST_SKIP() << "missing " << missing;
    }

    // A report whose sheet Rows shows `rows` numbered rows of `columns` columns: cell texts
    // "A<n>" in the first column and "Z<n>" in the last, so each row is known on any page.
    std::string LongSheetReport(int rows, int columns, const std::string& steps) {
        const std::string database = program.Home().Path() + "rows.db";
        std::string select = "'A' || n as first";
        for (int c = 2; c < columns; ++c)
            select += ", n * " + std::to_string(c) + " as c" + std::to_string(c);
        select += ", 'Z' || n as last";
        EXPECT_EQ(test::ExecuteSqlite(database,
                                      "create table rows as with recursive s(n) as (select 1 union "
                                      "all select n + 1 from s where n < " +
                                          std::to_string(rows) + ") select n from s"),
                  "");
        return WithTask(
            "<root><DS><Name>Rows</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data "
            "Source=" +
                database + "</DSN><Qry>select " + select +
                " from rows order by n</Qry></DS>\n"
                "<SHEET><Name>Rows</Name><cDS>Rows</cDS><tpVW>GRID</tpVW>"
                "<Title>Numbered rows</Title></SHEET></root>",
            "Print", steps);
    }

    test::PdfProgram program;
};

TEST_F(PdfStepTest, TheExamplePageKeepsEveryNumberItsChartAsVectorsAndItsMetadata) {
    const std::string report = WithTask(
        test::ReadFileBytes(std::string(ORVIK_SOURCE_DIR) + "/examples/sales/Sales.ovk"), "Print",
        Step("Page", "HTML") +
            Step("Document", "PDF",
                 "<OutFile>out/Sales `Category.pdf</OutFile><Subject>Sales of `Category</Subject>"
                 "<FooterText>Page ~Page~ of ~Pages~</FooterText>"));
    const std::string temporary = program.Home().Path() + "tmp";
    fs::create_directories(temporary);
    const test::ShellResult run = program.Run(report, "Print", "TMPDIR=" + temporary);
    ASSERT_EQ(run.Status, 0) << run.Output << program.Log();
    const std::string pdf = program.WorkFile("out/Sales Bikes.pdf");
    ASSERT_TRUE(fs::exists(pdf)) << program.Log();
    Screenshot(program, pdf, "example");

    // Every cell of both grid sheets, numbers above all, is text in the document.
    const std::string page = test::ReadFileBytes(program.WorkFile("Orvik.htm"));
    // Numbers are grouped with non-breaking spaces on the page; the text may read them as either.
    const auto spaced = [](std::string text, const std::string& space) {
        for (size_t at; (at = text.find(space)) != std::string::npos;)
            text.replace(at, space.size(), " ");
        return text;
    };
    const std::string text = spaced(PdfText(pdf), "\xC2\xA0");
    for (const char* sheet : {"OrvikSheet0", "OrvikSheet1"}) {
        const std::vector<std::string> cells = SheetCells(page, sheet);
        EXPECT_GT(cells.size(), 8u) << sheet;
        for (const std::string& cell : cells) {
            std::string shown = spaced(cell, "&nbsp;");
            shown.erase(0, shown.find_first_not_of(' '));
            if (shown.empty()) continue;
            EXPECT_NE(text.find(shown), std::string::npos) << sheet << ": " << cell;
        }
    }
    // The chart is drawn, not photographed: its labels are text and the file holds no picture.
    EXPECT_NE(text.find("Revenue by month and region"), std::string::npos);
    EXPECT_EQ(Lines(test::RunShell("pdfimages -list " + test::ShellWord(pdf)).Output).size(), 2u)
        << "only pdfimages' two heading lines";

    const int pages = std::stoi(PdfInfo(pdf, "Pages"));
    EXPECT_NE(program.Log().find("PDF " + pdf + ": " + std::to_string(pages) + " pages"),
              std::string::npos)
        << program.Log();
    EXPECT_EQ(PdfInfo(pdf, "Title"), "Daily sales");
    EXPECT_EQ(PdfInfo(pdf, "Subject"), "Sales of Bikes");
    EXPECT_NE(text.find("Page " + std::to_string(pages) + " of " + std::to_string(pages)),
              std::string::npos);
    // Every font is in the file.
    const std::vector<std::string> fonts =
        Lines(test::RunShell("pdffonts " + test::ShellWord(pdf)).Output);
    ASSERT_GT(fonts.size(), 2u);
    for (size_t i = 2; i < fonts.size(); ++i)
        EXPECT_NE(fonts[i].find(" yes "), std::string::npos) << "not embedded: " << fonts[i];
    // The renderer's private profile is gone, and nothing half-written is left beside the file.
    EXPECT_TRUE(fs::is_empty(temporary));
    for (const auto& entry : fs::directory_iterator(program.WorkFile("out")))
        EXPECT_EQ(entry.path().filename().string().rfind(".orvik-tmp", 0), std::string::npos);
}

TEST_F(PdfStepTest, ALongSheetRepeatsItsHeadOnEveryPageAndNeverSplitsARow) {
    const std::string report = LongSheetReport(
        kRows, 4,
        Step("Page", "HTML") + Step("Portrait", "PDF",
                                    "<OutFile>portrait.pdf</OutFile><Orientation>portrait</"
                                    "Orientation><FooterText>~Page~/~Pages~</FooterText>"));
    const test::ShellResult run = program.Run(report, "Print");
    ASSERT_EQ(run.Status, 0) << run.Output << program.Log();
    const std::string pdf = program.WorkFile("portrait.pdf");
    Screenshot(program, pdf, "long-sheet");

    const int pages = std::stoi(PdfInfo(pdf, "Pages"));
    ASSERT_GT(pages, 10);
    std::set<int> seen;
    int fullPage = 0;
    for (int p = 1; p <= pages; ++p) {
        std::istringstream text(PdfText(pdf, p, true));
        std::set<int> firsts, lasts;
        int heads = 0;
        bool footer = false;
        // Laid out, a line holds one row: its first cell and its last cell on the same line.
        for (std::string line; std::getline(text, line);) {
            std::istringstream words(line);
            std::vector<std::string> cells;
            for (std::string word; words >> word;) cells.push_back(word);
            if (cells.empty()) continue;
            heads += cells.front() == "first" && cells.back() == "last";
            footer = footer || (cells.size() == 1 &&
                                cells[0] == std::to_string(p) + "/" + std::to_string(pages));
            const auto number = [](const std::string& cell, char letter) {
                return cell.size() > 1 && cell[0] == letter &&
                               cell.find_first_not_of("0123456789", 1) == std::string::npos
                           ? std::stoi(cell.substr(1))
                           : -1;
            };
            if (const int row = number(cells.front(), 'A'); row > 0) firsts.insert(row);
            if (const int row = number(cells.back(), 'Z');
                row > 0 && number(cells.front(), 'A') == row)
                lasts.insert(row);
        }
        EXPECT_EQ(heads, 1) << "page " << p << " shows the head row once";
        EXPECT_TRUE(footer) << "page " << p << " is numbered";
        // A row is whole on its page: its first and its last cell stand there together.
        EXPECT_EQ(firsts, lasts) << "page " << p;
        for (const int row : firsts) EXPECT_TRUE(seen.insert(row).second) << "row " << row;
        if (p == 2) fullPage = static_cast<int>(firsts.size());
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kRows));
    // Pages after the first (which also holds the title) hold equally many rows.
    ASSERT_GT(fullPage, 0);
    EXPECT_LE(pages - 1, (kRows + fullPage - 1) / fullPage);
    EXPECT_GE(pages, (kRows + fullPage - 1) / fullPage);
    EXPECT_NE(program.Log().find("PDF " + pdf + ": " + std::to_string(pages) + " pages\n"),
              std::string::npos);
}

TEST_F(PdfStepTest, ThePaperAndItsTurnSetThePageCount) {
    const std::string report = LongSheetReport(
        600, 4,
        Step("Page", "HTML") +
            Step("Portrait", "PDF",
                 "<OutFile>portrait.pdf</OutFile><Orientation>portrait</Orientation>") +
            Step("Landscape", "PDF",
                 "<OutFile>landscape.pdf</OutFile><Orientation>landscape</Orientation>") +
            Step("Big", "PDF",
                 "<OutFile>a3.pdf</OutFile><PaperSize>A3</PaperSize><Tagged>0</Tagged>") +
            Step("Letter", "PDF",
                 "<OutFile>letter.pdf</OutFile><PaperSize>Letter</PaperSize><Margins>1in "
                 "0.5in</Margins>"));
    const test::ShellResult run = program.Run(report, "Print");
    ASSERT_EQ(run.Status, 0) << run.Output << program.Log();
    const auto pages = [&](const char* file) {
        return std::stoi(PdfInfo(program.WorkFile(file), "Pages"));
    };
    // Shorter pages hold fewer rows, taller ones more; a narrow sheet stays upright (auto).
    EXPECT_GT(pages("landscape.pdf"), pages("portrait.pdf"));
    EXPECT_LT(pages("a3.pdf"), pages("portrait.pdf"));
    // Paper sizes in points: A4 is 210 x 297 mm, A3 297 x 420 mm, Letter 8.5 x 11 in.
    const auto near = [&](const char* file, double width, double height) {
        double w = 0, h = 0;
        std::sscanf(PdfInfo(program.WorkFile(file), "Page size").c_str(), "%lf x %lf", &w, &h);
        EXPECT_NEAR(w, width, 1) << file;
        EXPECT_NEAR(h, height, 1) << file;
    };
    near("portrait.pdf", 595.3, 841.9);
    near("landscape.pdf", 841.9, 595.3);
    near("a3.pdf", 841.9, 1190.6);
    near("letter.pdf", 612, 792);
    EXPECT_EQ(PdfInfo(program.WorkFile("a3.pdf"), "Tagged"), "no");
    EXPECT_EQ(PdfInfo(program.WorkFile("portrait.pdf"), "Tagged"), "yes");
}

TEST_F(PdfStepTest, AWideSheetTurnsTheSheetAndShrinksToTheWidth) {
    const std::string report =
        LongSheetReport(100, 40,
                        Step("Page", "HTML") + Step("Wide", "PDF", "<OutFile>wide.pdf</OutFile>") +
                            Step("Cut", "PDF", "<OutFile>cut.pdf</OutFile><FitWidth>0</FitWidth>"));
    const test::ShellResult run = program.Run(report, "Print");
    ASSERT_EQ(run.Status, 0) << run.Output << program.Log();
    const std::string pdf = program.WorkFile("wide.pdf");
    Screenshot(program, pdf, "wide-sheet");
    double width = 0, height = 0;
    std::sscanf(PdfInfo(pdf, "Page size").c_str(), "%lf x %lf", &width, &height);
    EXPECT_GT(width, height);
    EXPECT_NE(program.Log().find("pages, landscape, scaled to"), std::string::npos)
        << program.Log();
    // Shrunk, the last column is on the page; without FitWidth it is cut off at the edge.
    const std::string first = PdfText(pdf, 1);
    EXPECT_NE(first.find("last"), std::string::npos);
    EXPECT_NE(first.find("Z1\n"), std::string::npos);
    EXPECT_EQ(PdfText(program.WorkFile("cut.pdf"), 1).find("Z1\n"), std::string::npos);
}

// A loopback listener that counts the connections it is offered.
class CountingListener {
  public:
    CountingListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(fd_, 16);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~CountingListener() { ::close(fd_); }
    int Port() const { return port_; }
    int Accepted() const {
        int count = 0;
        for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0; ++count) ::close(client);
        return count;
    }

  private:
    int fd_ = -1;
    int port_ = 0;
};

TEST_F(PdfStepTest, AHostilePageGetsNeitherTheNetworkNorFilesOutsideItsFolders) {
    const CountingListener web;
    const test::TempDir outside, pictures;
    outside.Write("secret.txt", "SECRET-OUTSIDE-MARKER");
    outside.Write("red.png", test::SolidPng(41, 41, 255, 0, 0));
    pictures.Write("green.png", test::SolidPng(30, 30, 0, 128, 0));
    program.Home().Write("settings.ini", "[General]\nPictureFolders=" + pictures.Path() + "\n");
    const std::string remote = "http://127.0.0.1:" + std::to_string(web.Port());
    // Data may carry plain markup, pictures included; the layout is anyone's who edits the report.
    const std::string database = program.Home().Path() + "hostile.db";
    ASSERT_EQ(test::ExecuteSqlite(
                  database,
                  "create table t (v text); insert into t values ('<img src=\"file://" +
                      outside.Path() + "red.png\">'), ('<img src=\"" + remote +
                      "/data.png\">'), ('<img src=\"file://" + pictures.Path() +
                      "green.png\">'), ('<a href=\"https://example.com/report\">the report</a>')"),
              "");
    const std::string layout =
        "&lt;HTML&gt;&lt;HEAD&gt;&lt;TITLE&gt;Hostile&lt;/TITLE&gt;&lt;LINK rel=stylesheet "
        "href=\"" +
        remote +
        "/style.css\"&gt;&lt;/HEAD&gt;&lt;BODY&gt;&lt;DIV id=OrvikSheet0&gt;&lt;/DIV&gt;"
        "&lt;IFRAME src=\"file://" +
        outside.Path() +
        "secret.txt\"&gt;&lt;/IFRAME&gt;"
        "&lt;IFRAME src=\"file:///etc/hostname\"&gt;&lt;/IFRAME&gt;"
        "&lt;IMG src=\"" +
        remote + "/layout.png\"&gt;&lt;/BODY&gt;&lt;/HTML&gt;";
    const std::string report = WithTask(
        "<root><DS><Name>T</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data Source=" + database +
            "</DSN><Qry>select v from t</Qry></DS>\n<SHEET><HTMLayout>" + layout +
            "</HTMLayout></SHEET><SHEET><Name>T</Name><cDS>T</cDS><tpVW>GRID</tpVW></SHEET></root>",
        "Print", Step("Page", "HTML") + Step("Document", "PDF", "<OutFile>hostile.pdf</OutFile>"));
    const test::ShellResult run = program.Run(report, "Print");
    ASSERT_EQ(run.Status, 0) << run.Output << program.Log();
    const std::string pdf = program.WorkFile("hostile.pdf");
    Screenshot(program, pdf, "hostile");

    EXPECT_EQ(web.Accepted(), 0) << "the page reached the network";
    // A link is a link in the document, not something to fetch.
    EXPECT_NE(test::ReadFileBytes(pdf).find("(https://example.com/report)"), std::string::npos);
    EXPECT_EQ(PdfText(pdf).find("SECRET-OUTSIDE-MARKER"), std::string::npos);
    // The picture from an allowed folder is in (30 x 30); the other local one (41 x 41) is not,
    // a broken-picture sign stands in its place.
    int allowed = 0, outsider = 0;
    for (const std::string& line :
         Lines(test::RunShell("pdfimages -list " + test::ShellWord(pdf)).Output)) {
        int page = 0, number = 0, width = 0, height = 0;
        char type[16];
        if (std::sscanf(line.c_str(), "%d %d %15s %d %d", &page, &number, type, &width, &height) !=
            5)
            continue;
        allowed += width == 30 && height == 30;
        outsider += width == 41 && height == 41;
    }
    EXPECT_EQ(allowed, 1);
    EXPECT_EQ(outsider, 0);
    const std::string log = program.Log();
    for (const std::string& refused : {outside.Path() + "red.png", outside.Path() + "secret.txt",
                                       remote + "/style.css", std::string("file:///etc/hostname")})
        EXPECT_NE(log.find(refused), std::string::npos) << refused << "\n" << log;
}

TEST_F(PdfStepTest, AHangingRendererIsStoppedAtItsTimeOutAndAMissingOneNamesItsPackage) {
    const std::string pidFile = program.Home().Path() + "renderer.pid";
    const std::string renderer = program.Home().Write(
        "hang.sh", "#!/bin/sh\necho $$ > " + pidFile + "\nsleep 600 &\nwait\n");
    fs::permissions(renderer, fs::perms::owner_all);
    const std::string report = LongSheetReport(
        10, 2,
        Step("Page", "HTML") +
            Step("Document", "PDF", "<OutFile>x.pdf</OutFile><Timeout>2</Timeout>"));
    // The renderer's private profile is made in TMPDIR, and removed again.
    const std::string temporary = program.Home().Path() + "tmp";
    fs::create_directories(temporary);
    const auto start = std::chrono::steady_clock::now();
    test::ShellResult run =
        program.Run(report, "Print", "TMPDIR=" + temporary + " ORVIK_PDF_RENDERER=" + renderer);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.Status, 1) << run.Output;
    EXPECT_LT(took, std::chrono::seconds(30));
    EXPECT_NE(program.Log().find("PDF step Document: the renderer " + renderer +
                                 " did not start: the renderer was stopped at its time-out"),
              std::string::npos)
        << program.Log();
    const pid_t group = std::atoi(test::ReadFileBytes(pidFile).c_str());
    ASSERT_GT(group, 0);
    EXPECT_TRUE(test::ProcessGroupGone(group, std::chrono::seconds(5)));
    EXPECT_FALSE(fs::exists(program.WorkFile("x.pdf")));
    EXPECT_TRUE(fs::is_empty(temporary));

    run = program.Run(report, "Print", "ORVIK_PDF_RENDERER=/nonexistent/chromium");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("/nonexistent/chromium, cannot be run"), std::string::npos)
        << run.Output;
}

TEST_F(PdfStepTest, StepValuesThatCannotBeReadAreNamed) {
    const std::string report =
        LongSheetReport(10, 2,
                        Step("Page", "HTML") + Step("Paper", "PDF", "<PaperSize>A5</PaperSize>") +
                            Step("Turn", "PDF", "<Orientation>sideways</Orientation>") +
                            Step("Edges", "PDF", "<Margins>1km</Margins>") +
                            Step("Escape", "PDF", "<OutFile>../../x.pdf</OutFile>") +
                            Step("Picture", "PNG", "<Width>5</Width>"));
    const test::ShellResult run = program.Run(report, "Print");
    EXPECT_EQ(run.Status, 1);
    const std::string log = program.Log();
    for (const char* said :
         {// Values off a list are dropped when the report is read, as for every list property.
          "Unknown value <A5> of PaperSize for <Paper> was dropped",
          "Unknown value <sideways> of Orientation for <Turn> was dropped",
          "PDF step Edges: Margins '1km'", "PDF step Escape: the file name '../../x.pdf' leads out",
          "PNG step Picture: Width '5' is not a number from 100 to 10000"})
        EXPECT_NE(log.find(said), std::string::npos) << said << "\n" << log;
}

TEST_F(PdfStepTest, APngStepPhotographsTheWholePage) {
    const std::string report =
        LongSheetReport(1000, 2,
                        Step("Page", "HTML") +
                            Step("Picture", "PNG",
                                 "<OutFile>page.png</OutFile><Width>400</Width><Scale>2</Scale>"));
    const test::ShellResult run = program.Run(report, "Print");
    ASSERT_EQ(run.Status, 0) << run.Output << program.Log();
    const std::string png = test::ReadFileBytes(program.WorkFile("page.png"));
    ASSERT_GT(png.size(), 24u);
    ASSERT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    const auto bigEndian = [&](size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) |
               (static_cast<unsigned char>(png[at + 1]) << 16) |
               (static_cast<unsigned char>(png[at + 2]) << 8) |
               static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(bigEndian(16), 800u);
    // The whole sheet, not the first screen of it, up to the tallest picture made.
    EXPECT_EQ(bigEndian(20), 16384u);
    EXPECT_NE(program.Log().find("800 pixels wide, cut at 16384 pixels down"), std::string::npos);
}

}  // namespace
}  // namespace orvik
