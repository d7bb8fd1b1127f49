// The report server driven as a browser would: the real program on a free loopback port, its
// pages and downloads checked against SQL on the example database, and the attacks it must
// refuse (paths out of the reports folder, values that try to leave their place, forged cookies,
// forms without their token, oversized bodies).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <thread>

#include "ServeProcess.h"
#include "TestSupport.h"

namespace orvik::test {
namespace {

namespace fs = std::filesystem;

std::string Database() {
    return ProgramFolder() + "examples/sales/sales.db";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The value of `name` in the first hidden or plain input carrying it.
std::string InputValue(const std::string& page, const std::string& name) {
    const std::regex input("name=\"" + name + "\" value=\"([^\"]*)\"");
    std::smatch match;
    return std::regex_search(page, match, input) ? match[1].str() : "";
}

// The run id of a rendered page's bar.
std::string RunId(const std::string& page) {
    const std::regex base("<base href=\"/run/([0-9a-f]+)/\">");
    std::smatch match;
    return std::regex_search(page, match, base) ? match[1].str() : "";
}

// The number of a cell text ("693 862.55").
double CellNumber(std::string text) {
    std::erase(text, ' ');
    return std::atof(text.c_str());
}

// The CSV row starting with `first`, split on commas (the test data holds none in cells).
std::vector<std::string> CsvRow(const std::string& csv, const std::string& first) {
    std::istringstream lines(csv);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(first + ",", 0) != 0) continue;
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
        return cells;
    }
    return {};
}

class Serve : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("ORVIK_CONFIG", (home_.Path() + "settings.ini").c_str(), 1);
        const std::string sales =
            ReadFileBytes(std::string(ORVIK_SOURCE_DIR) + "/examples/sales/Sales.ovk");
        fs::create_directories(reports_.Path() + "sales");
        fs::create_directories(reports_.Path() + "hr");
        reports_.Write("sales/Sales.ovk", Replace(sales, "Data Source=examples/sales/sales.db",
                                                  "Data Source=" + Database()));
        reports_.Write("hr/Who.ovk", WhoReport("North"));
    }

    // A report with a free-text parameter that goes into a query, a title and a command.
    std::string WhoReport(const std::string& value) const {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>"
               "<DS><Name>Q</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data Source=" +
               Database() +
               "</DSN><Qry>select count(*) as matches from regions where name = '`Who'</Qry></DS>"
               "<ACT><Name>Mark</Name></ACT><ACT><ActParent>0</ActParent><Name>Touch</Name>"
               "<AType>CMD</AType><cmd>touch " +
               home_.Path() +
               "task-ran</cmd></ACT>"
               "<SHEET><HTMLayout>&lt;html&gt;&lt;head&gt;&lt;title&gt;People &amp;lt;b&amp;gt;"
               "&lt;/title&gt;&lt;/head&gt;&lt;body&gt;&lt;DIV id=OrvikSheet1&gt;&lt;/DIV&gt;"
               "&lt;/body&gt;&lt;/html&gt;</HTMLayout></SHEET>"
               "<SHEET><Name>Q</Name><cDS>Q</cDS><tpVW>GRID</tpVW><bVis>1</bVis>"
               "<Title>Asked for `Who</Title></SHEET>"
               "<PRM><Name>Who</Name><Type>str</Type><PrmVal>" +
               value + "</PrmVal><Tit>Who</Tit></PRM></root>\n";
    }

    std::string UsersFile(const std::string& lines) const {
        const std::string path = home_.Write("users", lines);
        chmod(path.c_str(), 0600);
        return path;
    }

    // Logs in through the form; the session cookie ("orvik_session=...") or "".
    static std::string LogIn(ServeProcess& server, const std::string& user,
                             const std::string& password) {
        const HttpReply form = Fetch(server.Url("/login"));
        const std::string token = InputValue(form.body, "csrf");
        const HttpReply reply = Fetch(server.Url("/login"), "POST",
                                      "csrf=" + token + "&user=" + user + "&password=" + password,
                                      "orvik_login=" + token);
        for (const std::string& cookie : reply.Headers("set-cookie"))
            if (cookie.rfind("orvik_session=", 0) == 0 &&
                cookie.find("Max-Age=0") == std::string::npos)
                return cookie.substr(0, cookie.find(';'));
        return {};
    }

    TempDir home_;
    TempDir reports_;
};

TEST_F(Serve, APageHasTheNumbersSqlGivesForItsValuesAndItsDownloadsAreOfTheSameRun) {
    ServeProcess server({"--reports", reports_.Path(), "--listen", "127.0.0.1:0"});
    ASSERT_NE(server.Port(), 0);
    const HttpReply list = Fetch(server.Url("/"));
    EXPECT_EQ(list.status, 200);
    EXPECT_NE(list.body.find("Daily sales"), std::string::npos);
    EXPECT_NE(list.body.find("People &amp;lt;b&amp;gt;"), std::string::npos) << "title escaped";

    const HttpReply form = Fetch(server.Url("/r/sales/Sales"));
    EXPECT_NE(form.body.find("<option>Clothing</option>"), std::string::npos);
    EXPECT_NE(form.body.find("value=\"West\" checked"), std::string::npos);
    EXPECT_NE(form.body.find("type=\"date\""), std::string::npos);

    for (const auto& [region, category] : std::vector<std::pair<std::string, std::string>>{
             {"North", "Bikes"}, {"East", "Clothing"}}) {
        const std::string query = "?From=2026-02-01&Day=2026-05-31&Category=" + category +
                                  "&Regions=" + region + "&Regions=West";
        const HttpReply page = Fetch(server.Url(std::string("/r/sales/Sales") + query));
        ASSERT_EQ(page.status, 200) << page.body;
        const std::string id = RunId(page.body);
        ASSERT_FALSE(id.empty());
        const double revenue =
            SqliteNumber(Database(),
                         "select round(sum(s.amount), 2) from sales s join regions r on "
                         "r.id = s.region_id where s.sale_date between '2026-02-01' and "
                         "'2026-05-31' and r.name = '" +
                             region + "'");
        const HttpReply csv = Fetch(server.Url("/run/" + id + "/Orvik-0.csv"));
        const std::vector<std::string> row = CsvRow(csv.body, region);
        ASSERT_GE(row.size(), 5u) << csv.body;
        EXPECT_NEAR(CellNumber(row[4]), revenue, 0.005);
        EXPECT_NE(page.body.find(Replace(row[4], " ", "&nbsp;")), std::string::npos)
            << "the page shows the CSV's number";
        EXPECT_TRUE(CsvRow(csv.body, region == "North" ? "South" : "North").empty())
            << "only the chosen regions";
        const double units =
            SqliteNumber(Database(),
                         "select sum(s.quantity) from sales s join products p on p.id = "
                         "s.product_id where s.sale_date between '2026-02-01' and '2026-05-31' "
                         "and p.category = '" +
                             category + "'");
        const HttpReply products = Fetch(server.Url("/r/sales/Sales.csv" + query));
        EXPECT_EQ(products.status, 200);
        EXPECT_NE(products.Header("content-disposition").find("Sales.csv"), std::string::npos);
        const HttpReply second = Fetch(server.Url("/run/" + id + "/Orvik-1.csv"));
        double top = 0;
        std::istringstream lines(second.body);
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line))
            top += CellNumber(line.substr(line.find(',', line.find(',') + 1) + 1));
        EXPECT_LE(top, units) << "the top ten are a part of the category's units";
        EXPECT_GT(top, 0);
        const HttpReply workbook = Fetch(server.Url("/run/" + id + "/Orvik.xlsx"));
        EXPECT_EQ(workbook.status, 200);
        EXPECT_EQ(workbook.body.substr(0, 2), "PK");
    }
    const std::string log = server.Output();
    EXPECT_NE(log.find("GET /r/sales/Sales 200"), std::string::npos) << log;
    EXPECT_NE(log.find("Regions=[East],[West]"), std::string::npos) << log;
    EXPECT_EQ(server.Terminate(), 0);
}

TEST_F(Serve, ValuesAreCheckedAsTheCommandLineChecksThemAndStayInTheirPlace) {
    ServeProcess server({"--reports", reports_.Path(), "--listen", "127.0.0.1:0"});
    ASSERT_NE(server.Port(), 0);
    // Not in the list, not a date, no such parameter: refused with the reason, nothing run.
    for (const char* query :
         {"?Category=Bikes%27%20or%201%3D1--", "?Day=2026-01-01%27;drop%20table%20sales",
          "?Category=Bikes;Regions=[North]", "?Nobody=%3Cscript%3Ealert(1)%3C/script%3E",
          "?Regions=%5BNorth%5D,%5BAtlantis%5D"}) {
        const HttpReply reply = Fetch(server.Url(std::string("/r/sales/Sales") + query));
        EXPECT_EQ(reply.status, 400) << query;
        EXPECT_NE(reply.body.find("<li>"), std::string::npos) << query;
        EXPECT_EQ(reply.body.find("<script>"), std::string::npos) << query;
    }
    // Free text: a quote stays inside its SQL literal, markup stays text.
    const HttpReply quoted = Fetch(server.Url("/r/hr/Who?Who=x%27%20or%20%271%27=%271"));
    ASSERT_EQ(quoted.status, 200) << quoted.body;
    const HttpReply count = Fetch(server.Url("/run/" + RunId(quoted.body) + "/Orvik-0.csv"));
    EXPECT_EQ(count.body, "matches\r\n0\r\n");
    const HttpReply marked = Fetch(server.Url("/r/hr/Who?Who=%3Cscript%3Ealert(1)%3C/script%3E"));
    ASSERT_EQ(marked.status, 200);
    EXPECT_EQ(marked.body.find("<script>alert"), std::string::npos) << marked.body;
    EXPECT_NE(marked.body.find("&lt;script&gt;alert(1)"), std::string::npos);
    // A password is masked in the bar, left out of the page's link and out of the log.
    reports_.Write("hr/Key.ovk",
                   Replace(WhoReport("North"), "<Name>Who</Name>", "<Name>Password</Name>"));
    const HttpReply keyed = Fetch(server.Url("/r/hr/Key?Password=hunter2"));
    EXPECT_EQ(keyed.status, 200) << keyed.body;
    EXPECT_NE(keyed.body.find("Password = ***"), std::string::npos);
    // (The report's own parameter panel shows it, as in a page a batch run writes.)
    const std::string bar = keyed.body.substr(0, keyed.body.find("</div>"));
    EXPECT_EQ(bar.find("hunter2"), std::string::npos) << bar;
    EXPECT_EQ(server.Output().find("hunter2"), std::string::npos);
    // A page render never runs the report's own tasks (a shell command here).
    EXPECT_FALSE(fs::exists(home_.Path() + "task-ran"));
}

TEST_F(Serve, NothingOutsideTheReportsFolderIsReachable) {
    const std::string outside = home_.Write("Secret.ovk", WhoReport("North"));
    fs::create_symlink(outside, reports_.Path() + "hr/Linked.ovk");
    fs::create_directory_symlink(home_.Path(), reports_.Path() + "away");
    reports_.Write("hr/<b>Bold.ovk", WhoReport("North"));
    ServeProcess server({"--reports", reports_.Path(), "--listen", "127.0.0.1:0"});
    ASSERT_NE(server.Port(), 0);
    for (const char* path :
         {"/r/../Secret", "/r/hr/../../Secret", "/r/%2e%2e/Secret", "/r/hr%2f..%2f..%2fSecret",
          "/r/hr/Linked", "/r/away/Secret", "/r//etc/passwd", "/r/hr/.hidden", "/r/hr\\..\\Who",
          "/run/../r/hr/Who", "/run/0123/../../Secret", "/r/hr/Who%00.ovk"}) {
        const HttpReply reply = Fetch(server.Url(path));
        EXPECT_TRUE(reply.status == 404 || reply.status == 400) << path << " " << reply.status;
        EXPECT_EQ(reply.body.find("Who</label>"), std::string::npos) << path;
    }
    const HttpReply list = Fetch(server.Url("/"));
    EXPECT_EQ(list.body.find("Linked"), std::string::npos);
    EXPECT_EQ(list.body.find("Secret"), std::string::npos);
    EXPECT_EQ(list.body.find("<b>Bold"), std::string::npos);
    EXPECT_NE(list.body.find("&lt;b&gt;Bold"), std::string::npos);
    // A run's folder gives its pictures and downloads, not its log.
    const HttpReply page = Fetch(server.Url("/r/hr/Who?Who=North"));
    const std::string id = RunId(page.body);
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(Fetch(server.Url("/run/" + id + "/Orvik18.log")).status, 404);
    EXPECT_EQ(Fetch(server.Url("/run/" + id + "/..%2FOrvik.htm")).status, 400);
    EXPECT_EQ(Fetch(server.Url("/run/" + id + "/Orvik-0.csv")).status, 200);
}

TEST_F(Serve, UsersLogInSeeTheirFoldersAndRunOnlyTheirTasksWithTheFormsToken) {
    // Made once with `orvik serve --hash-password` (cost 12), for the password "pw-ann-1".
    const std::string hash = "$2b$12$lsrfogfTwEcjsVWkFN6DsuhySV18tDbl28AZPD4jii9g0bhyg9mNe";
    const std::string users =
        UsersFile("# people\nann:" + hash + ":hr:Mark\nbob:" + hash + ":sales:*\n");
    ServeProcess server(
        {"--reports", reports_.Path(), "--listen", "127.0.0.1:0", "--users", users});
    ASSERT_NE(server.Port(), 0);
    const HttpReply anonymous = Fetch(server.Url("/r/hr/Who"));
    EXPECT_EQ(anonymous.status, 303);
    EXPECT_EQ(anonymous.Header("location"), "/login?next=%2Fr%2Fhr%2FWho");
    EXPECT_EQ(Fetch(server.Url("/"), "GET", "", "orvik_session=" + std::string(64, 'a')).status,
              303);
    EXPECT_EQ(LogIn(server, "ann", "wrong"), "");
    // A login form posted from elsewhere carries no matching token.
    EXPECT_EQ(Fetch(server.Url("/login"), "POST", "csrf=x&user=ann&password=pw-ann-1").status, 403);

    const std::string ann = LogIn(server, "ann", "pw-ann-1");
    ASSERT_FALSE(ann.empty()) << server.Output();
    const HttpReply list = Fetch(server.Url("/"), "GET", "", ann);
    EXPECT_NE(list.body.find("/r/hr/Who"), std::string::npos);
    EXPECT_EQ(list.body.find("/r/sales/Sales"), std::string::npos);
    EXPECT_EQ(Fetch(server.Url("/r/sales/Sales"), "GET", "", ann).status, 404);
    const HttpReply form = Fetch(server.Url("/r/hr/Who"), "GET", "", ann);
    const std::string csrf = InputValue(form.body, "csrf");
    ASSERT_EQ(csrf.size(), 64u);
    EXPECT_EQ(Fetch(server.Url("/r/hr/Who/task/Mark"), "POST", "", ann).status, 403);
    EXPECT_EQ(Fetch(server.Url("/r/hr/Who/task/Mark"), "POST", "csrf=" + std::string(64, '0'), ann)
                  .status,
              403);
    EXPECT_FALSE(fs::exists(home_.Path() + "task-ran"));
    const HttpReply ran = Fetch(server.Url("/r/hr/Who/task/Mark"), "POST", "csrf=" + csrf, ann);
    EXPECT_EQ(ran.status, 200) << ran.body;
    EXPECT_TRUE(fs::exists(home_.Path() + "task-ran"));

    const std::string bob = LogIn(server, "bob", "pw-ann-1");
    const HttpReply bobs = Fetch(server.Url("/r/sales/Sales"), "GET", "", bob);
    EXPECT_EQ(bobs.status, 200);
    EXPECT_EQ(Fetch(server.Url("/r/sales/Sales/task/Daily"), "POST",
                    "csrf=" + InputValue(bobs.body, "csrf"), ann)
                  .status,
              404);
    // A page of ann's run is not bob's to see.
    const HttpReply annPage = Fetch(server.Url("/r/hr/Who?Who=x"), "GET", "", ann);
    EXPECT_EQ(Fetch(server.Url("/run/" + RunId(annPage.body) + "/"), "GET", "", bob).status, 404);
    // Logged out, the cookie is worth nothing.
    EXPECT_EQ(Fetch(server.Url("/logout"), "POST", "csrf=" + csrf, ann).status, 303);
    EXPECT_EQ(Fetch(server.Url("/"), "GET", "", ann).status, 303);
    const std::string log = server.Output();
    EXPECT_EQ(log.find("pw-ann-1"), std::string::npos);
}

TEST_F(Serve, CookiesAreHttpOnlyAndStrictAndBodiesPastTheLimitAreRefused) {
    const std::string users =
        UsersFile("ann:$2b$12$lsrfogfTwEcjsVWkFN6DsuhySV18tDbl28AZPD4jii9g0bhyg9mNe:*:\n");
    ServeProcess server(
        {"--reports", reports_.Path(), "--listen", "127.0.0.1:0", "--users", users});
    ASSERT_NE(server.Port(), 0);
    const HttpReply form = Fetch(server.Url("/login"));
    const std::string cookie = form.Header("set-cookie");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    const HttpReply big = Fetch(server.Url("/login"), "POST", std::string(3u << 20, 'a'));
    EXPECT_EQ(big.status, 413);
    EXPECT_EQ(Fetch(server.Url("/health")).body, "ok\n");
}

TEST_F(Serve, ThousandsOfIdleConnectionsLeaveRoomForRealRequests) {
    ServeProcess server({"--reports", reports_.Path(), "--listen", "127.0.0.1:0"});
    ASSERT_NE(server.Port(), 0);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, 4096);
    limit.rlim_cur = std::max(limit.rlim_cur, wanted);
    setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 2200) GTEST_SKIP() << "too few descriptors to hold the connections";
    // More than a default connection limit of 1024, each sending half a request and waiting.
    std::vector<int> idle;
    for (int i = 0; i < 2000; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(server.Port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            send(fd, "GET /health HTTP/1.1\r\n", 22, MSG_NOSIGNAL);
            idle.push_back(fd);
        } else {
            close(fd);
        }
    }
    EXPECT_EQ(idle.size(), 2000u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(server.Url("/health")).body, "ok\n");
    EXPECT_EQ(Fetch(server.Url("/r/hr/Who?Who=North")).status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    for (const int fd : idle) close(fd);
}

TEST_F(Serve, IdenticalRequestsShareOneRunAndALongOneShowsProgressFirst) {
    // Slow enough to be caught running: a count over a few million generated rows.
    reports_.Write(
        "Slow.ovk",
        Replace(WhoReport("North"), "select count(*) as matches from regions where name = '`Who'",
                "with recursive c(x) as (select 1 union all select x + 1 from c where "
                "x &lt; 3000000) select count(*) as matches, '`Who' as who from c"));
    ServeProcess server({"--reports", reports_.Path(), "--listen", "127.0.0.1:0", "--wait", "0",
                         "--cache", "60", "--threads", "2"});
    ASSERT_NE(server.Port(), 0);
    std::vector<std::future<HttpReply>> replies;
    for (int i = 0; i < 4; ++i)
        replies.push_back(std::async(std::launch::async,
                                     [&server] { return Fetch(server.Url("/r/Slow?Who=same")); }));
    std::set<std::string> refreshes;
    for (auto& reply : replies) {
        const HttpReply got = reply.get();
        const std::regex refresh("url=/run/([0-9a-f]+)/");
        std::smatch match;
        ASSERT_TRUE(std::regex_search(got.body, match, refresh)) << got.body;
        refreshes.insert(match[1].str());
    }
    EXPECT_EQ(refreshes.size(), 1u) << "four identical requests, one run";
    const std::string id = *refreshes.begin();
    HttpReply page;
    for (int i = 0; i < 200 && RunId(page.body).empty(); ++i) {
        page = Fetch(server.Url("/run/" + id + "/"));
        if (RunId(page.body).empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(RunId(page.body), id);
    EXPECT_NE(page.body.find("3000000"), std::string::npos);
    // Cached now: the same values give the same run at once; other values another.
    EXPECT_EQ(RunId(Fetch(server.Url("/r/Slow?Who=same")).body), id);
    const HttpReply other = Fetch(server.Url("/r/Slow?Who=other"));
    EXPECT_EQ(other.body.find(id), std::string::npos);
    // SIGTERM with a run under way: it finishes within the grace time and the server ends.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Terminate(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

TEST_F(Serve, SigtermStopsARunThatOutlastsTheGraceTime) {
    // Minutes of counting, unless it is stopped.
    reports_.Write(
        "Endless.ovk",
        Replace(WhoReport("North"), "select count(*) as matches from regions where name = '`Who'",
                "with recursive c(x) as (select 1 union all select x + 1 from c where "
                "x &lt; 2000000000) select count(*) as matches from c"));
    ServeProcess server(
        {"--reports", reports_.Path(), "--listen", "127.0.0.1:0", "--wait", "0", "--grace", "1"});
    ASSERT_NE(server.Port(), 0);
    const HttpReply progress = Fetch(server.Url("/r/Endless?Who=x"));
    EXPECT_NE(progress.body.find("http-equiv=\"refresh\""), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Terminate(30), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_NE(server.Output().find("stopped"), std::string::npos);
}

TEST_F(Serve, OverHttpsTheSessionCookieIsSecure) {
    const std::string key = home_.Path() + "key.pem";
    const std::string cert = home_.Path() + "cert.pem";
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -days 1 "
        "-keyout " +
        key + " -out " + cert + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "no openssl to make a certificate";
    const std::string users =
        UsersFile("ann:$2b$12$lsrfogfTwEcjsVWkFN6DsuhySV18tDbl28AZPD4jii9g0bhyg9mNe:*:\n");
    ServeProcess server({"--reports", reports_.Path(), "--listen", "127.0.0.1:0", "--users", users,
                         "--cert", cert, "--key", key});
    ASSERT_NE(server.Port(), 0);
    const std::string base = "https://127.0.0.1:" + std::to_string(server.Port());
    const HttpReply form = Fetch(base + "/login");
    ASSERT_EQ(form.status, 200);
    const std::string token = InputValue(form.body, "csrf");
    const HttpReply login =
        Fetch(base + "/login", "POST", "csrf=" + token + "&user=ann&password=pw-ann-1",
              "orvik_login=" + token);
    EXPECT_EQ(login.status, 303);
    bool secure = false;
    for (const std::string& cookie : login.Headers("set-cookie"))
        if (cookie.rfind("orvik_session=", 0) == 0)
            secure = cookie.find("; Secure") != std::string::npos &&
                     cookie.find("HttpOnly") != std::string::npos;
    EXPECT_TRUE(secure);
}

TEST_F(Serve, AChangedReportIsReadAgainAndServingBeyondLoopbackNeedsUsers) {
    ServeProcess server({"--reports", reports_.Path(), "--listen", "127.0.0.1:0"});
    ASSERT_NE(server.Port(), 0);
    EXPECT_NE(Fetch(server.Url("/r/hr/Who")).body.find("value=\"North\""), std::string::npos);
    reports_.Write("hr/Who.ovk", WhoReport("Southern"));
    EXPECT_NE(Fetch(server.Url("/r/hr/Who")).body.find("value=\"Southern\""), std::string::npos);

    ServeProcess open({"--reports", reports_.Path(), "--listen", "0.0.0.0:0"}, false);
    EXPECT_EQ(open.Port(), 0);
    EXPECT_NE(open.Output().find("needs --users"), std::string::npos);
}

}  // namespace
}  // namespace orvik::test
