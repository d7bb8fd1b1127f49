// One program, many runs: eight different reports (SQL, a cube, a layout page, mail to a sink,
// commands) run on eight threads of one process, twice each, and every page, command output,
// mail and log section must be what the same report gives run alone by the real program in a
// process of its own. Built with ThreadSanitizer as well, where any data race between the runs
// fails the test.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "app/InProcessRun.h"
#include "core/Program.h"
#include "net/NetPeers.h"
#include "olap/SmallShop.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 2;

// What a run leaves that a person would look at.
struct RunResult {
    std::string Page;
    std::string Commands;  // the file the report's commands write, "" when it has none
    std::string Log;       // the run's log lines without times and line numbers
    std::vector<std::string> Mails;
};

class ConcurrentRuns : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1") != 0) {
            if (test::UnderCi()) FAIL() << "python3-aiosmtpd is missing under CI";
            GTEST_SKIP() << "the mail sink needs python3-aiosmtpd";
        }
        MakeDatabase();
        MakeReports();
    }

    void MakeDatabase() {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((data_.Path() + "sales.db").c_str(), &db), SQLITE_OK);
        const char* sql =
            "create table sales (region text, month integer, amount real);"
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 300) "
            "insert into sales select case i % 4 when 0 then 'North' when 1 then 'South' "
            "when 2 then 'East' else 'West' end, i % 12 + 1, i * 1.25 from n;";
        ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }

    std::string Source(const std::string& name, const std::string& query) const {
        return "<DS><Name>" + name +
               "</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data Source=" + data_.Path() +
               "sales.db</DSN><Qry>" + query + "</Qry></DS>";
    }
    static std::string Sheet(const std::string& name, const std::string& source) {
        return "<SHEET><Name>" + name + "</Name><cDS>" + source + "</cDS><tpVW>GRID</tpVW></SHEET>";
    }
    static std::string Task(const std::string& steps) {
        return "<ACT><Name>Daily</Name></ACT>" + steps;
    }
    static std::string Step(const std::string& name, const std::string& body) {
        return "<ACT><ActParent>0</ActParent><Name>" + name + "</Name>" + body + "</ACT>";
    }
    std::string Command(const std::string& report, const std::string& text) const {
        return Step("Cmd", "<AType>CMD</AType><cmd>" + text + " &gt;&gt; " + data_.Path() + report +
                               "-out.txt</cmd>");
    }

    void Write(const std::string& name, const std::string& body) {
        const std::string path =
            data_.Write(name + ".ovk",
                        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>" + body + "</root>\n");
        reports_.push_back({name, path});
    }

    void MakeReports() {
        const std::string html = Step("Page", "<AType>HTML</AType>");
        Write("sql", Source("S", "select region, sum(amount) from sales group by region") +
                         Sheet("Regions", "S") + Task(html));
        Write("params", "<PRM><Name>Region</Name><PrmVal>North</PrmVal></PRM>" +
                            Source("S", "select month, amount from sales where region = `Region") +
                            Sheet("Months", "S") + Task(html + Command("params", "echo `Region")));
        Write("cube", "<DS><Name>C</Name><tpDS>OLAP</tpDS><bQ>1</bQ><DSN>" + shop_.Connection() +
                          "</DSN><Qry>SELECT {[Measures].[Amount]} ON COLUMNS, "
                          "[Store].[Country].Members ON ROWS FROM [Sales]</Qry></DS>" +
                          Sheet("Cube", "C") + Task(html));
        Write("layout",
              "<SHEET><HTMLayout>&lt;HTML&gt;&lt;BODY&gt;&lt;H1&gt;Figures&lt;/H1&gt;&lt;DIV "
              "id=OrvikSheet0&gt;&lt;/DIV&gt;&lt;/BODY&gt;&lt;/HTML&gt;</HTMLayout></SHEET>" +
                  Source("S", "select month, count(*) from sales group by month") +
                  Sheet("Counts", "S") + Task(html));
        Write("mail", Source("S", "select region, max(amount) from sales group by region") +
                          Sheet("Top", "S") +
                          Task(html + Step("Send", "<AType>SMTP</AType><Srv>127.0.0.1:" +
                                                       std::to_string(sinkPort_) +
                                                       "</Srv><Adr>boss@example.com</Adr>")));
        Write("commands", Source("S", "select count(*) from sales") + Sheet("Count", "S") +
                              Task(Command("commands", "echo first") +
                                   Command("commands", "printf '%s\\n' second third")));
        // A second cube report on the same catalog: the runs share one cube connection.
        Write("two", Source("A", "select region from sales group by region") +
                         "<DS><Name>C</Name><tpDS>OLAP</tpDS><bQ>1</bQ><DSN>" + shop_.Connection() +
                         "</DSN><Qry>SELECT {[Measures].[Amount]} ON COLUMNS, "
                         "[Time].[Year].Members ON ROWS FROM [Sales]</Qry></DS>" +
                         Sheet("A", "A") + Sheet("C", "C") + Task(html));
        Write("dates", Source("S", "select month, min(amount) from sales group by month") +
                           Sheet("Dates", "S") +
                           Task(html + Command("dates", "echo ~date(m-1)~ ~date(d)~")));
    }

    // The log's messages in order, without times, source lines and what names the run itself
    // (its process, folder and report path).
    std::string Messages(const std::string& log) const {
        static const std::regex prefix(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d \(\d+\) : )");
        std::string out;
        size_t pos = 0;
        while (pos < log.size()) {
            size_t end = log.find('\n', pos);
            if (end == std::string::npos) end = log.size();
            std::string line = std::regex_replace(log.substr(pos, end - pos), prefix, "");
            pos = end + 1;
            if (line.empty() || line.rfind("Run ", 0) == 0) continue;
            out += Anonymous(line) + "\n";
        }
        return out;
    }
    std::string Anonymous(std::string text) const {
        for (const std::string& folder : {alone_.Path(), shared_.Path(), data_.Path()}) {
            for (size_t at; (at = text.find(folder)) != std::string::npos;)
                text.replace(at, folder.size(), "<folder>/");
        }
        text = std::regex_replace(text, std::regex("HTML/(Run-[A-Za-z0-9_-]+/)?"), "HTML/");
        return std::regex_replace(text, std::regex("127\\.0\\.0\\.1:\\d+"), "127.0.0.1:port");
    }

    // The mails the sink in `box` received for a report, their subject and HTML part.
    std::vector<std::string> MailsIn(const std::string& box) const {
        std::vector<std::string> mails;
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(box))
            if (entry.path().extension() == ".eml") files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) {
            // Everything the mail says but when it was sent.
            std::string mail;
            for (const auto& [key, value] : test::MimeSummary(file)) {
                if (key == "header.Date" || key.rfind("date.", 0) == 0) continue;
                mail += key + "=" + Anonymous(value) + "\n";
            }
            mails.push_back(mail);
        }
        return mails;
    }

    RunResult Collect(const std::string& report, const std::string& page, const std::string& log,
                      const std::string& box) const {
        RunResult result;
        result.Page = Anonymous(test::ReadFileBytes(page));
        result.Commands = test::ReadFileBytes(data_.Path() + report + "-out.txt");
        result.Log = Messages(log);
        if (report == "mail") result.Mails = MailsIn(box);
        return result;
    }

    // The report run by the real program in a process of its own, with a program folder of its
    // own.
    RunResult Alone(const std::string& report, const std::string& path) {
        const std::string home = alone_.Path() + report + "/";
        fs::create_directories(home);
        WriteSettings(home + "settings.ini");
        const std::string box = alone_.Path() + report + "-mail/";
        fs::create_directories(box);
        test::PeerProcess sink("smtp_sink.py", {box});
        EXPECT_TRUE(sink.Started()) << sink.Problem();
        SetSink(path, sink.Port());
        fs::remove(data_.Path() + report + "-out.txt");
        const std::string orvik = fs::canonical("/proc/self/exe").parent_path() / "orvik";
        const std::string command = "ORVIK_HOME=" + home + " ORVIK_CONFIG=" + home +
                                    "settings.ini " + orvik + " " + path +
                                    " /act:Daily 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << test::ReadFileBytes(home + "Orvik18.log");
        WaitForMails(box, report == "mail" ? 1 : 0);
        return Collect(report, home + "HTML/Orvik.htm", test::ReadFileBytes(home + "Orvik18.log"),
                       box);
    }

    // Points the mail report at the sink on `port` (each side has a sink of its own).
    void SetSink(const std::string& path, int port) {
        std::string text = test::ReadFileBytes(path);
        text = std::regex_replace(text, std::regex("127\\.0\\.0\\.1:\\d+"),
                                  "127.0.0.1:" + std::to_string(port));
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    static void WriteSettings(const std::string& path) {
        std::ofstream(path) << "[General]\nDefAdrFrom=reports@example.com\n";
    }

    static void WaitForMails(const std::string& box, size_t count) {
        for (int i = 0; i < 100; ++i) {
            size_t seen = 0;
            for (const auto& entry : fs::directory_iterator(box))
                seen += entry.path().extension() == ".eml";
            if (seen >= count) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    struct Report {
        std::string Name;
        std::string Path;
    };

    test::TempDir data_, alone_, shared_;
    test::SmallShop shop_;
    int sinkPort_ = 1;
    std::vector<Report> reports_;
};

TEST_F(ConcurrentRuns, EightReportsOnEightThreadsGiveWhatEachGivesAlone) {
    std::map<std::string, RunResult> alone;
    for (const Report& report : reports_) alone[report.Name] = Alone(report.Name, report.Path);

    // The runs in one process share one program and one mail sink.
    const std::string box = shared_.Path() + "mail/";
    fs::create_directories(box);
    test::PeerProcess sink("smtp_sink.py", {box});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    for (const Report& report : reports_) {
        SetSink(report.Path, sink.Port());
        fs::remove(data_.Path() + report.Name + "-out.txt");
    }
    WriteSettings(shared_.Path() + "settings.ini");
    Program program(shared_.Path(), shared_.Path() + "settings.ini");
    std::vector<std::vector<InProcessRunOutcome>> outcomes(reports_.size());
    std::vector<std::thread> threads;
    for (size_t k = 0; k < reports_.size(); ++k) {
        threads.emplace_back([&, k] {
            for (int round = 0; round < kRounds; ++round) {
                outcomes[k].push_back(
                    RunReportInProcess(program, {reports_[k].Path, "Daily", "",
                                                 reports_[k].Name + "-" + std::to_string(round)}));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    WaitForMails(box, kRounds);

    for (size_t k = 0; k < reports_.size(); ++k) {
        const std::string& name = reports_[k].Name;
        SCOPED_TRACE(name);
        const RunResult& expected = alone.at(name);
        for (int round = 0; round < kRounds; ++round) {
            const InProcessRunOutcome& outcome = outcomes[k][static_cast<size_t>(round)];
            EXPECT_TRUE(outcome.Succeeded) << outcome.FirstError;
            const RunResult got = Collect(name, outcome.WorkFolder + "Orvik.htm",
                                          test::ReadFileBytes(outcome.LogPath), box);
            EXPECT_FALSE(got.Page.empty() && !expected.Page.empty()) << "round " << round;
            EXPECT_EQ(got.Page, expected.Page) << "round " << round;
            EXPECT_EQ(got.Log, expected.Log) << "round " << round;
        }
        // Commands append: both rounds' lines, each round's as the run alone wrote them.
        EXPECT_EQ(test::ReadFileBytes(data_.Path() + name + "-out.txt"),
                  expected.Commands + expected.Commands);
    }
    // Both rounds' mails arrived, each the mail the report sends alone.
    const std::vector<std::string> mails = MailsIn(box);
    ASSERT_EQ(mails.size(), static_cast<size_t>(kRounds));
    ASSERT_EQ(alone.at("mail").Mails.size(), 1u);
    for (const std::string& mail : mails) EXPECT_EQ(mail, alone.at("mail").Mails[0]);
}

}  // namespace
}  // namespace orvik
