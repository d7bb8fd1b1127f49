#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "plugin/PlugInRunScope.h"

namespace orvik {
namespace {

std::vector<std::string> Names(const std::vector<COvInfoProp*>& props) {
    std::vector<std::string> names;
    for (const COvInfoProp* p : props) names.push_back(p->Name);
    return names;
}

TEST(Schema, GroupsListsAndSettingsInTheirFixedOrder) {
    test::TestProgram program;
    CRegistries& r = program.Context().Registries();

    std::vector<std::string> groups;
    for (const auto& g : r.PropertyGroups) groups.push_back(g->Caption);
    EXPECT_EQ(groups, (std::vector<std::string>{
                          "General Params", "Task Properties", "List Properties",
                          "Grid Columns Properties", "DataSource Properties", "Param Properties",
                          "Orvik Params", "Param Appended", "Grid Headers", "Grid Data"}));

    std::vector<std::string> entries;
    for (const auto& e : r.ComboValues) entries.push_back(std::to_string(e->Id) + ":" + e->Name);
    EXPECT_EQ(entries, (std::vector<std::string>{
                           "101:ENG",  "102:bmp",  "102:jpg", "102:gif",   "102:png", "8:str",
                           "8:date",   "8:rprop",  "8:pcmb",  "8:pcmbm",   "8:DScmb", "1:SQL",
                           "1:KPI",    "1:OLAP",   "7:DEF",   "7:BT",      "7:GSP",   "103:GPO",
                           "103:GSPT", "103:GTSP", "103:GI",  "4:GRID",    "5:SMTP",  "5:BURST",
                           "5:FTP",    "5:CMD",    "5:HTML",  "5:HTMFile", "5:GRP"}));

    std::vector<std::string> templates;
    for (const auto& t : r.AppendedProperties) {
        templates.push_back(static_cast<const COvCombos*>(t->Owner)->Name + ":" + t->Name);
    }
    EXPECT_EQ(templates, (std::vector<std::string>{"rprop:cprop",
                                                   "pcmb:cmbels",
                                                   "pcmbm:cmbels",
                                                   "DScmb:cDS",
                                                   "DScmb:cDST",
                                                   "DScmb:cDSC",
                                                   "DScmb:cDSW",
                                                   "OLAP:bQ",
                                                   "OLAP:nCube",
                                                   "BT:BCP",
                                                   "BT:BCN",
                                                   "GSP:SPT",
                                                   "GSP:SPF",
                                                   "GRID:Title",
                                                   "GRID:bTB",
                                                   "GRID:hF",
                                                   "GRID:hBC",
                                                   "GRID:bGCH",
                                                   "GRID:gF",
                                                   "GRID:gBC",
                                                   "GRID:bGCG",
                                                   "SMTP:Srv",
                                                   "SMTP:Adr",
                                                   "SMTP:Cont",
                                                   "SMTP:Files",
                                                   "SMTP:Subj",
                                                   "SMTP:MissingFilesOptional",
                                                   "SMTP:BodyPictures",
                                                   "SMTP:AttachPdf",
                                                   "SMTP:RenderTimeout",
                                                   "SMTP:MailSecurity",
                                                   "SMTP:MailUser",
                                                   "SMTP:MailPassword",
                                                   "SMTP:MailPasswordCommand",
                                                   "SMTP:MailAuth",
                                                   "SMTP:MailCAFile",
                                                   "SMTP:MailVerify",
                                                   "SMTP:MailConnectTimeout",
                                                   "BURST:Srv",
                                                   "BURST:Cont",
                                                   "BURST:Files",
                                                   "BURST:Subj",
                                                   "BURST:MissingFilesOptional",
                                                   "BURST:BodyPictures",
                                                   "BURST:AttachPdf",
                                                   "BURST:RenderTimeout",
                                                   "BURST:BurstPrm",
                                                   "BURST:BurstDS",
                                                   "BURST:BurstQry",
                                                   "BURST:MailSecurity",
                                                   "BURST:MailUser",
                                                   "BURST:MailPassword",
                                                   "BURST:MailPasswordCommand",
                                                   "BURST:MailAuth",
                                                   "BURST:MailCAFile",
                                                   "BURST:MailVerify",
                                                   "BURST:MailConnectTimeout",
                                                   "FTP:Srv",
                                                   "FTP:User",
                                                   "FTP:Password",
                                                   "FTP:Files",
                                                   "FTP:FtpSecurity",
                                                   "FTP:FtpUser",
                                                   "FTP:FtpPassword",
                                                   "FTP:FtpPasswordCommand",
                                                   "FTP:FtpKeyFile",
                                                   "FTP:FtpKnownHosts",
                                                   "FTP:FtpCAFile",
                                                   "FTP:FtpVerify",
                                                   "FTP:FtpConnectTimeout",
                                                   "CMD:cmd"}));

    std::vector<std::string> settings;
    for (const auto& s : r.ProgramSettings) settings.push_back(s->Name + "=" + s->Value);
    EXPECT_EQ(settings,
              (std::vector<std::string>{"Language=ENG",        "DefPicFmt=png",
                                        "DefSrvMail=",         "DefSrvFTP=",
                                        "DefAdrFrom=",         "DefAdrTo=",
                                        "CmdTimeout=3600",     "WorkFolderWait=300",
                                        "QueryTimeout=5000",   "SqliteLockWait=30",
                                        "CubeDebugLog=0",      "PlugInStopGrace=10",
                                        "PlugInAnyOwner=0",    "PictureFolders=",
                                        "MailSecurity=",       "MailUser=",
                                        "MailPassword=",       "MailPasswordCommand=",
                                        "MailAuth=auto",       "MailCAFile=",
                                        "MailVerify=1",        "MailConnectTimeout=30",
                                        "FtpSecurity=",        "FtpUser=",
                                        "FtpPassword=",        "FtpPasswordCommand=",
                                        "FtpKeyFile=",         "FtpKnownHosts=~/.ssh/known_hosts",
                                        "FtpCAFile=",          "FtpVerify=1",
                                        "FtpConnectTimeout=30"}));
    EXPECT_EQ(r.SettingsCount, 31);
    EXPECT_EQ(r.NextUserListId, 104);
    EXPECT_EQ(r.FindSetting("Language")->ComboId, 101u);
    EXPECT_EQ(r.FindSetting("DefPicFmt")->ValueIndex, 3);  // "png", fourth picture format
}

TEST(Schema, TemplateDetailsThatLaterFeaturesRelyOn) {
    test::TestProgram program;
    CRegistries& r = program.Context().Registries();
    const auto find = [&](std::string_view owner, std::string_view name) -> const COvInfoProp& {
        for (const auto& t : r.AppendedProperties) {
            if (t->Name == name && static_cast<const COvCombos*>(t->Owner)->Name == owner)
                return *t;
        }
        throw std::runtime_error("missing template");
    };
    EXPECT_EQ(find("DScmb", "cDSW").Flags, 0x24u);  // stored, not shown
    EXPECT_EQ(find("FTP", "Password").Flags, 0x45u);
    EXPECT_EQ(find("GSP", "SPT").DefaultValue, "GP");
    EXPECT_EQ(find("GSP", "SPT").ComboId, 103u);
    EXPECT_EQ(find("GRID", "hF").Group, GroupId::GridHeaders);
    EXPECT_EQ(find("GRID", "gBC").Group, GroupId::GridData);
    EXPECT_EQ(find("GRID", "bTB").Kind, PropKind::Boolean);
    EXPECT_EQ(find("FTP", "Files").DefaultValue, "*.*");
    EXPECT_EQ(find("DScmb", "cDS").ComboId, 3u);
}

TEST(Schema, SettingsAreReadFromTheStoreAndWrittenBack) {
    test::TempDir scratch;
    test::TestProgram program(false);
    program.Context().Settings().WriteString("General", "DefSrvMail", "smtp.local:2525");
    program.Context().Settings().WriteString("General", "DefPicFmt", "gif");
    BuildSchema(program.Context().Registries(), program.Context().Settings());
    EXPECT_EQ(program.Context().Registries().SettingValue("DefSrvMail"), "smtp.local:2525");
    EXPECT_EQ(program.Context().Registries().FindSetting("DefPicFmt")->ValueIndex, 2);
    // Defaults become persistent.
    SettingsStore reread(program.SettingsPath());
    EXPECT_EQ(reread.GetString("General", "Language", "absent"), "ENG");
    EXPECT_EQ(reread.GetString("General", "DefAdrTo", "absent"), "");
    EXPECT_EQ(reread.GetString("General", "DefSrvMail"), "smtp.local:2525");
}

TEST(Schema, SettingsThatCannotBeUsedAreNamedWithTheDefaultTaken) {
    test::TestProgram program(false);
    SettingsStore& store = program.Context().Settings();
    store.WriteString("General", "CmdTimeout", "abc");
    store.WriteString("General", "QueryTimeout", "-5");
    store.WriteString("General", "WorkFolderWait", " 20 ");
    store.WriteString("General", "DefSrvMail", "not a number, and need not be");
    CRegistries& registries = program.Context().Registries();
    BuildSchema(registries, store);
    ASSERT_EQ(registries.SettingWarnings.size(), 2u);
    EXPECT_EQ(registries.SettingWarnings[0],
              "The setting CmdTimeout=abc in " + program.SettingsPath() +
                  " is not a whole number of at least 0: 3600 is used");
    EXPECT_NE(registries.SettingWarnings[1].find("QueryTimeout=-5"), std::string::npos);
    // The user's value stays in the file for them to correct.
    EXPECT_EQ(SettingsStore(program.SettingsPath()).GetString("General", "CmdTimeout"), "abc");
}

TEST(Schema, ASettingsFileThatIsNoTextIsNeitherReadNorReplaced) {
    test::TempDir dir;
    const std::string binary =
        std::string("SQLite format 3") + '\0' + "\x01\x02" + "[General]\nLanguage=RUS\n";
    const std::string path = dir.Write("Orvik18.ini", binary);
    SettingsStore store(path);
    EXPECT_NE(store.ReadProblem().find("is not a text file"), std::string::npos);
    EXPECT_EQ(store.GetString("General", "Language", "ENG"), "ENG");
    EXPECT_FALSE(store.WriteString("General", "Language", "ENG"));
    EXPECT_EQ(store.LastError(), store.ReadProblem());
    std::string after;
    ASSERT_TRUE(ReadWholeFile(path, after));
    EXPECT_EQ(after, binary);
}

TEST(Schema, LanguageFilesAndTheHtmlWorkFolder) {
    test::TestProgram program(false);
    const test::TempDir& home = program.Home();
    home.Write("orvik18_deu.lng", "1=a\n");
    home.Write("Orvik18_RUS.lng", "1=a\n");
    home.Write("orvik18_deu.lng.bak", "");
    home.Write("HTML/Orvik.htm", "old page");
    home.Write("HTML/keep/inner.txt", "sub-folders stay");
    CRegistries& r = program.Context().Registries();
    BuildSchema(r, program.Context().Settings());

    std::vector<std::string> codes;
    for (const auto& e : r.ComboValues) {
        if (e->Id == ListId::Languages) codes.push_back(e->Name);
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"ENG", "DEU", "RUS"}));
    EXPECT_EQ(r.HtmlFolder, home.Path() + "HTML/");
    EXPECT_FALSE(std::filesystem::exists(home.Path() + "HTML/Orvik.htm"));
    EXPECT_TRUE(std::filesystem::exists(home.Path() + "HTML/keep/inner.txt"));
}

// A stored choice the list cannot offer right now is kept, in memory and in the file.
TEST(Schema, StoredListSettingsOutsideTheirListAreKept) {
    {
        test::TestProgram program(false);
        program.Home().Write("orvik18_deu.lng", "1=a\n");
        SettingsStore& store = program.Context().Settings();
        store.WriteString("General", "DefPicFmt", "tiff");
        CRegistries& r = program.Context().Registries();
        BuildSchema(r, store);
        EXPECT_EQ(r.FindSetting("Language")->Value, "ENG");  // always on the list
        EXPECT_EQ(r.FindSetting("DefPicFmt")->Value, "tiff");
        SettingsStore reread(program.SettingsPath());
        EXPECT_EQ(reread.GetString("General", "Language"), "ENG");
        EXPECT_EQ(reread.GetString("General", "DefPicFmt"), "tiff");
    }
    test::TestProgram chosen(false);
    chosen.Home().Write("orvik18_deu.lng", "1=a\n");
    chosen.Context().Settings().WriteString("General", "Language", "DEU");
    BuildSchema(chosen.Context().Registries(), chosen.Context().Settings());
    const COvInfoProp* language = chosen.Context().Registries().FindSetting("Language");
    EXPECT_EQ(language->Value, "DEU");
    ASSERT_NE(language->SelectedEntry(), nullptr);
    EXPECT_EQ(language->SelectedEntry()->Name, "DEU");
}

TEST(Schema, DuplicateListEntriesAreRefusedPerList) {
    test::TestProgram program;
    // Plug-ins register inside a call the program makes into them.
    const PlugInRunScope calling(program.Context());
    EXPECT_EQ(AddDSNType("SQL", "again"), nullptr);
    ASSERT_EQ(program.Front().Messages.size(), 1u);
    EXPECT_EQ(program.Front().Messages[0].Text, "Not Uniq Combo Value = 'SQL'");
    COvCombos* elsewhere = AddExportType("SQL", "");
    ASSERT_NE(elsewhere, nullptr);
    EXPECT_EQ(elsewhere->Caption, "SQL");
    EXPECT_EQ(elsewhere->PlugInIndex, -1);
    // Registrations made while a plug-in loads carry its index.
    program.Context().Registries().LoadedPlugInCount = 2;
    EXPECT_EQ(AddUserComboValue(ListId::ColumnTypes, "HEAT", "Heat map")->PlugInIndex, 1);
    EXPECT_EQ(AddUserCombo(), 104);
    EXPECT_EQ(AddUserCombo(), 105);
}

TEST(Schema, PrepareNewComboAttachesTheTypesProperties) {
    test::TestProgram program;
    program.Context().Report().StartNew();
    COvInfoDS withDefaults(&program.Context().Registries(), GroupId::DataSource),
        without(&program.Context().Registries(), GroupId::DataSource);
    for (COvInfoDS* ds : {&withDefaults, &without}) ds->tpDS.Value = "OLAP";
    program.Context().Registries().PrepareNewCombo(withDefaults.tpDS, withDefaults.Props, true);
    program.Context().Registries().PrepareNewCombo(without.tpDS, without.Props, false);
    EXPECT_EQ(Names(withDefaults.Props),
              (std::vector<std::string>{"Name", "tpDS", "DSN", "Qry", "bQ", "nCube"}));
    EXPECT_EQ(withDefaults.Get("bQ"), "0");
    EXPECT_EQ(withDefaults.Get("nCube"), "");
    EXPECT_EQ(without.Get("bQ"), "");
    const COvInfoProp* bQ = withDefaults.GetPropByName("bQ");
    EXPECT_EQ(bQ->Appended, 1);
    EXPECT_EQ(bQ->Owner, &withDefaults.tpDS);
    EXPECT_EQ(withDefaults.tpDS.ValueIndex, 2);

    // Picking another type replaces the copies.
    withDefaults.tpDS.Value = "SQL";
    program.Context().Registries().ReplaceAppended(withDefaults.tpDS, withDefaults.Props);
    EXPECT_EQ(Names(withDefaults.Props), (std::vector<std::string>{"Name", "tpDS", "DSN", "Qry"}));

    // A value in no list brings nothing, even though the old selection is still remembered.
    without.tpDS.Value = "NoSuchType";
    const size_t before = without.Props.size();
    program.Context().Registries().PrepareNewCombo(without.tpDS, without.Props, true);
    EXPECT_EQ(without.Props.size(), before);
}

// The templates a list entry brings are looked up through an index kept as templates come and
// go (a plug-in registers one after reports were read; a template is destroyed).
TEST(Schema, TemplatesAddedOrDestroyedLaterAreHonoured) {
    test::TestProgram program;
    CRegistries& registries = program.Context().Registries();
    program.Context().Report().StartNew();
    COvInfoDS first(&program.Context().Registries(), GroupId::DataSource);
    first.tpDS.Value = "OLAP";
    program.Context().Registries().PrepareNewCombo(first.tpDS, first.Props,
                                                   true);  // the index is built here

    COvCombos* olap = registries.FindComboValue(ListId::DataSourceTypes, "OLAP");
    ASSERT_NE(olap, nullptr);
    const COvInfoProp* late = registries.AddProp(olap, GroupId::DataSource, "late", "Late", "7", 0,
                                                 PropKind::Text, 0, nullptr, -1);
    COvInfoDS second(&program.Context().Registries(), GroupId::DataSource);
    second.tpDS.Value = "OLAP";
    program.Context().Registries().PrepareNewCombo(second.tpDS, second.Props, true);
    EXPECT_EQ(Names(second.Props),
              (std::vector<std::string>{"Name", "tpDS", "DSN", "Qry", "bQ", "nCube", "late"}));
    EXPECT_EQ(second.Get("late"), "7");

    registries.DestroyAppended(late);
    COvInfoDS third(&program.Context().Registries(), GroupId::DataSource);
    third.tpDS.Value = "OLAP";
    program.Context().Registries().PrepareNewCombo(third.tpDS, third.Props, true);
    EXPECT_EQ(Names(third.Props),
              (std::vector<std::string>{"Name", "tpDS", "DSN", "Qry", "bQ", "nCube"}));
}

}  // namespace
}  // namespace orvik
