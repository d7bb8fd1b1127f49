// A bursting step run through a real session against a real mail server: every recipient's own
// page, subject and attachment; refused recipients counted while the others still get theirs;
// values from the database that must stay one value; the report as it was afterwards.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "TestSupport.h"
#include "app/ReportSession.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "net/NetPeers.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;

class BurstStepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        program_.Context().BatchMode = true;
        program_.Context().Registries().FindSetting("DefAdrFrom")->Value = "reports@example.org";
        database_ = program_.Home().Path() + "data.db";
        pwned_ = program_.Home().Path() + "pwned";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(database_.c_str(), &db), SQLITE_OK);
        const std::string hostile = "O''Hara; $(touch " + pwned_ + ")";
        const std::string sql =
            "create table sales (region text, note text);"
            "insert into sales values ('North', 'north-row-1'), ('North', 'north-row-2'),"
            "  ('South', 'south-row-1'), ('" +
            hostile +
            "', 'ohara-row-1');"
            "create table people (region text, email text, sort integer);";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }

    void AddRecipient(const std::string& region, const std::string& email) {
        sqlite3* db = nullptr;
        sqlite3_open(database_.c_str(), &db);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "insert into people values (?, ?, (select count(*) from people))",
                           -1, &insert, nullptr);
        sqlite3_bind_text(insert, 1, region.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, email.c_str(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }

    // Loads a report whose page shows the sales of parameter Region and a random stamp that no
    // parameter touches, and runs its task "Mail": one BURST step over the table people.
    // `stepElements` go into the step as they stand.
    void Run(const std::string& server, const std::string& regionParameter,
             const std::string& files = "", const std::string& stepElements = "") {
        const std::string dsn = "<DSN>Provider=SQLite;Data Source=" + database_ + "</DSN>";
        const std::string path = program_.Home().Write(
            "r.ovk",
            "<root><DS><Name>Sales</Name><tpDS>SQL</tpDS>" + dsn +
                "<Qry>select region, note from sales where region = '`Region' order by note"
                "</Qry></DS>"
                "<DS><Name>Stamp</Name><tpDS>SQL</tpDS>" +
                dsn +
                "<Qry>select 'stamp-' || abs(random()) as s</Qry></DS>"
                "<DS><Name>People</Name><tpDS>SQL</tpDS>" +
                dsn +
                "<Qry>select 1</Qry></DS>"
                "<ACT><Name>Mail</Name></ACT>"
                "<ACT><ActParent>0</ActParent><Name>Each</Name><AType>BURST</AType><Srv>" +
                server + "</Srv><Subj>Sales for `Region</Subj><Files>" + files +
                "</Files><BurstPrm>Region</BurstPrm><BurstDS>People</BurstDS>"
                "<BurstQry>select region, email from people order by sort</BurstQry>" +
                stepElements +
                "</ACT>"
                "<SHEET><Name>Sales</Name><cDS>Sales</cDS><tpVW>GRID</tpVW></SHEET>"
                "<SHEET><Name>Stamp</Name><cDS>Stamp</cDS><tpVW>GRID</tpVW></SHEET>" +
                regionParameter + "</root>");
        program_.Context().Report().StartNew(path);
        ReportSession session(program_.Context());
        ASSERT_TRUE(session.Read(path));
        EXPECT_EQ(session.RunTask("Mail"), 1);
    }

    // Each received mail by its envelope recipient: the subject, the page, the attachments.
    struct Mail {
        std::string Subject, Page, Attached;
    };
    std::map<std::string, Mail> Received() {
        std::map<std::string, Mail> mails;
        for (const auto& entry : fs::directory_iterator(mailbox_.Path())) {
            if (entry.path().extension() != ".eml") continue;
            auto summary = test::MimeSummary(entry.path().string());
            std::string envelope;
            ReadWholeFile(fs::path(entry.path()).replace_extension(".json").string(), envelope);
            Mail& mail = mails[summary["addresses.To"]];
            EXPECT_NE(envelope.find(summary["addresses.To"]), std::string::npos) << envelope;
            mail.Subject = summary["decoded.Subject"];
            for (int i = 1; summary.count("part." + std::to_string(i) + ".content_type"); ++i) {
                const std::string key = "part." + std::to_string(i) + ".";
                if (summary[key + "content_type"] == "text/html") mail.Page = summary[key + "text"];
                mail.Attached += summary[key + "filename"];
            }
        }
        return mails;
    }

    static std::string Stamp(const std::string& page) {
        std::smatch found;
        return std::regex_search(page, found, std::regex("stamp-[0-9]+")) ? found.str() : "";
    }

    std::string PageFile() {
        std::string bytes;
        ReadWholeFile(program_.Context().Registries().HtmlFolder + "Orvik.htm", bytes);
        return bytes;
    }

    const COvInfoPrm& Region() { return *program_.Context().Report().Params.at(0); }

    test::TestProgram program_;
    test::TempDir mailbox_;
    std::string database_, pwned_;
};

const std::string kTextRegion = "<PRM><Name>Region</Name><PrmVal>North</PrmVal></PRM>";

TEST_F(BurstStepTest, EachRecipientGetsTheirOwnPageSubjectAndAttachment) {
    test::PeerProcess sink("smtp_sink.py", {mailbox_.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    // The work folder is emptied when a report is read, so the attachments live beside it.
    const std::string folder = program_.Home().Path() + "att/";
    fs::create_directories(folder);
    std::ofstream(folder + "North.txt") << "for the north\n";
    std::ofstream(folder + "South.txt") << "for the south\n";
    AddRecipient("South", "bob@example.org; carol@example.org");
    AddRecipient("North", "ann@example.org");
    Run(sink.Address(), kTextRegion, folder + "`Region.txt");

    auto mails = Received();
    ASSERT_EQ(mails.size(), 3u);
    EXPECT_EQ(mails["ann@example.org"].Subject, "Sales for North");
    EXPECT_EQ(mails["bob@example.org"].Subject, "Sales for South");
    EXPECT_EQ(mails["carol@example.org"].Subject, "Sales for South");
    EXPECT_EQ(mails["ann@example.org"].Attached, "North.txt");
    EXPECT_EQ(mails["carol@example.org"].Attached, "South.txt");
    const std::string& north = mails["ann@example.org"].Page;
    EXPECT_NE(north.find("north-row-2"), std::string::npos) << north;
    EXPECT_EQ(north.find("south-row"), std::string::npos);
    for (const char* to : {"bob@example.org", "carol@example.org"}) {
        EXPECT_NE(mails[to].Page.find("south-row-1"), std::string::npos);
        EXPECT_EQ(mails[to].Page.find("north-row"), std::string::npos);
    }
    // The source no parameter reaches ran once: every page shows the same stamp.
    const std::string stamp = Stamp(north);
    ASSERT_FALSE(stamp.empty());
    EXPECT_EQ(Stamp(mails["bob@example.org"].Page), stamp);

    // Afterwards the report is as it was: the first value back, the page made with it.
    EXPECT_EQ(Region().PrmVal.Value, "North");
    EXPECT_NE(PageFile().find("north-row-1"), std::string::npos);
    EXPECT_EQ(PageFile().find("south-row"), std::string::npos);
    EXPECT_EQ(Stamp(PageFile()), stamp);
    EXPECT_TRUE(fs::exists(folder + "South.txt"));  // a user's attachment is never removed

    const std::string log = program_.ReadLog();
    EXPECT_NE(log.find("Burst South: sent to bob@example.org"), std::string::npos);
    EXPECT_NE(log.find("Burst South: sent to carol@example.org"), std::string::npos);
    EXPECT_NE(log.find("Burst North: sent to ann@example.org"), std::string::npos);
    EXPECT_NE(log.find("Burst Each: 3 sent, 0 failed"), std::string::npos);
    EXPECT_EQ(program_.Context().ErrorCount(), 0);
}

TEST_F(BurstStepTest, RefusedAndForgedAddressesAreCountedWhileTheOthersStillGetTheirs) {
    test::PeerProcess sink("smtp_sink_refusing.py", {mailbox_.Path(), "nobody"});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    AddRecipient("North", "nobody@example.org, ann@example.org");
    AddRecipient("South", "mallory@example.org\r\nRCPT TO:<eve@example.org>");
    AddRecipient("South", "bob@example.org");
    Run(sink.Address(), kTextRegion);

    auto mails = Received();
    EXPECT_EQ(mails.size(), 2u);
    EXPECT_NE(mails["ann@example.org"].Page.find("north-row-1"), std::string::npos);
    EXPECT_NE(mails["bob@example.org"].Page.find("south-row-1"), std::string::npos);
    EXPECT_EQ(mails.count("eve@example.org"), 0u);

    const std::string log = program_.ReadLog();
    EXPECT_TRUE(std::regex_search(
        log, std::regex("Burst North: sending to nobody@example.org failed: .*550")))
        << log;
    EXPECT_NE(log.find("Burst South: sending to mallory@example.org\\r\\nRCPT TO:<eve@example.org>"
                       " failed: "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Burst Each: 2 sent, 2 failed"), std::string::npos);
    EXPECT_EQ(program_.Context().ErrorCount(), 1);
    EXPECT_EQ(program_.Context().FirstError(), "Burst Each: 2 of 4 recipients failed");
}

// A row that names a mailbox twice, in whatever case, mails it once and says so; another row is
// another page and mails it again. Nothing of this is a failure.
TEST_F(BurstStepTest, AnAddressNamedTwiceInARowGetsItsPageOnce) {
    test::PeerProcess sink("smtp_sink.py", {mailbox_.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    AddRecipient("North", "ann@example.org; Ann@Example.ORG, bob@example.org;ann@example.org");
    AddRecipient("South", "ANN@example.org");
    Run(sink.Address(), kTextRegion);

    std::vector<std::string> envelopes;
    for (const auto& entry : fs::directory_iterator(mailbox_.Path())) {
        if (entry.path().extension() == ".json")
            envelopes.push_back(test::ReadFileBytes(entry.path().string()));
    }
    ASSERT_EQ(envelopes.size(), 3u);
    int toAnn = 0;
    for (const std::string& envelope : envelopes) {
        toAnn += envelope.find("ann@example.org") != std::string::npos ||
                 envelope.find("ANN@example.org") != std::string::npos;
    }
    EXPECT_EQ(toAnn, 2);
    const std::string log = program_.ReadLog();
    EXPECT_NE(log.find("Burst North: Ann@Example.ORG is named again in the row; it gets the page "
                       "once"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Burst North: ann@example.org is named again in the row"),
              std::string::npos);
    EXPECT_NE(log.find("Burst Each: 3 sent, 0 failed"), std::string::npos) << log;
    EXPECT_EQ(program_.Context().ErrorCount(), 0);
}

TEST_F(BurstStepTest, ValuesFromTheDatabaseStayOneValue) {
    test::PeerProcess sink("smtp_sink.py", {mailbox_.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    const std::string hostile = "O'Hara; $(touch " + pwned_ + ")";
    AddRecipient(hostile, "ann@example.org");
    Run(sink.Address(), kTextRegion);

    auto mails = Received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails["ann@example.org"].Subject, "Sales for " + hostile);
    EXPECT_NE(mails["ann@example.org"].Page.find("ohara-row-1"), std::string::npos);
    EXPECT_EQ(mails["ann@example.org"].Page.find("north-row"), std::string::npos);
    EXPECT_FALSE(fs::exists(pwned_));
    EXPECT_EQ(program_.Context().ErrorCount(), 0);
}

TEST_F(BurstStepTest, AListParameterTakesOnlyItsOwnValues) {
    test::PeerProcess sink("smtp_sink.py", {mailbox_.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    AddRecipient("North", "ann@example.org");
    AddRecipient("Atlantis", "bob@example.org;carol@example.org");
    AddRecipient("South", "dave@example.org");
    Run(sink.Address(),
        "<PRM><Name>Region</Name><Type>pcmb</Type><PrmVal>South</PrmVal>"
        "<cmbels>North;South</cmbels></PRM>");

    auto mails = Received();
    EXPECT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails.count("ann@example.org") + mails.count("dave@example.org"), 2u);
    const std::string log = program_.ReadLog();
    EXPECT_NE(log.find("Burst Atlantis: refused: it is not one of the parameter's list"),
              std::string::npos)
        << log;
    EXPECT_EQ(program_.Context().FirstError(), "Burst Each: 2 of 4 recipients failed");
    EXPECT_EQ(Region().PrmVal.Value, "South");
}

TEST_F(BurstStepTest, TheStepsOwnMailSessionOverridesTheSettings) {
    if (const std::string missing = test::MissingTlsPeers(); !missing.empty()) {
        if (test::UnderCi()) FAIL() << "missing under CI: " << missing;
        GTEST_SKIP() << "needs " << missing;
    }
    test::TempDir certificates;
    ASSERT_TRUE(test::MakeTestCertificates(certificates.Path()));
    const std::string base = certificates.Path() + "good";
    test::PeerProcess server(
        "smtp_secure.py", {mailbox_.Path(), "starttls-required", "--cert", base + ".pem", "--key",
                           base + ".key", "--user", "reports", "--password", "pa55"});
    ASSERT_TRUE(server.Started()) << server.Problem();
    // The program's settings would send this server plain text and a login it refuses.
    CRegistries& registries = program_.Context().Registries();
    registries.FindSetting("MailSecurity")->Value = "none";
    registries.FindSetting("MailUser")->Value = "someone-else";
    registries.FindSetting("MailPassword")->Value = "wrong";
    AddRecipient("North", "ann@example.org");
    AddRecipient("South", "bob@example.org");
    // The password comes from a command, asked once for the whole burst.
    const std::string asked = certificates.Path() + "asked";
    Run(server.Address(), kTextRegion, "",
        "<MailSecurity>starttls-required</MailSecurity><MailUser>reports</MailUser>"
        "<MailPasswordCommand>echo once &gt;&gt; " +
            asked + "; echo pa55</MailPasswordCommand><MailCAFile>" + certificates.Path() +
            "ca.pem</MailCAFile>");

    ASSERT_EQ(Received().size(), 2u) << program_.ReadLog();
    EXPECT_EQ(test::ReadFileBytes(asked), "once\n");
    const std::string envelope = test::ReadFileBytes(mailbox_.Path() + "001.json");
    EXPECT_NE(envelope.find("\"tls\": true"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("\"login\": \"reports\""), std::string::npos) << envelope;
    EXPECT_EQ(program_.Context().ErrorCount(), 0) << program_.ReadLog();
}

TEST_F(BurstStepTest, AStepThatCannotStartSendsNothingAndFailsTheRun) {
    test::PeerProcess sink("smtp_sink.py", {mailbox_.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    AddRecipient("North", "ann@example.org");
    Run(sink.Address(), "<PRM><Name>Area</Name><PrmVal>North</PrmVal></PRM>");
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(program_.Context().FirstError(),
              "Burst Each: the report has no parameter 'Region' (BurstPrm)");
}

}  // namespace
}  // namespace orvik
