// The built-in schema, registered once at start-up in a fixed order: the order decides the ids of
// groups and user lists, the positions of list entries and the order in which a type's extra
// properties appear on an object, and all of these show up in report files and plug-ins.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <span>

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "core/TextEncoding.h"
#include "model/DataSourceKind.h"
#include "model/Registries.h"
#include "model/TaskStep.h"

namespace {

// Language files beside the program: "orvik18_<code>.lng", matched without regard to case as
// they were on the system the reports come from.
std::vector<std::string> FindLanguageCodes(const std::string& folder) {
    std::vector<std::string> codes;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = orvik::ToUpperAscii(item.path().filename().string());
        if (!item.is_regular_file(error) || name.size() < 12 || name.rfind("ORVIK18_", 0) != 0 ||
            name.substr(name.size() - 4) != ".LNG") {
            continue;
        }
        const std::string code = name.substr(name.find("18_") + 3, 3);
        if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

// The HTML work folder holds the page being built and its pictures; a run starts with it empty.
void PrepareHtmlFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    orvik::RemoveFilesIn(folder);
}

void RegisterParameterTypes(CRegistries& r) {
    constexpr int list = ListId::ParameterTypes;
    constexpr int group = GroupId::ParamAppended;
    r.AddComboValue(list, "str", "String", -1);
    r.AddComboValue(list, "date", "Date", -1);
    if (COvCombos* e = r.AddComboValue(list, "rprop", "Ref Property", -1)) {
        r.AddProp(e, group, "cprop", "Prop Choice", "", 0, PropKind::List, ListId::None, nullptr,
                  -1);
    }
    if (COvCombos* e = r.AddComboValue(list, "pcmb", "PRM Combo", -1)) {
        r.AddProp(e, group, "cmbels", "Elements", "", 0, PropKind::Text, 0, nullptr, -1);
    }
    if (COvCombos* e = r.AddComboValue(list, "pcmbm", "PRM Combo MultiSelect", -1)) {
        r.AddProp(e, group, "cmbels", "Elements", "", 0, PropKind::Text, 0, nullptr, -1);
    }
    if (COvCombos* e = r.AddComboValue(list, "DScmb", "PRM Combo DS", -1)) {
        r.AddProp(e, group, "cDS", "Data Source", "", 0, PropKind::List, ListId::DataSources,
                  nullptr, -1);
        r.AddProp(e, group, "cDST", "Table(Cube)", "", 0, PropKind::List, ListId::None, nullptr,
                  -1);
        r.AddProp(e, group, "cDSC", "Column(Dim)", "", 0, PropKind::List, ListId::None, nullptr,
                  -1);
        r.AddProp(e, group, "cDSW", "Filter", "", 0x24, PropKind::Text, 0, nullptr, -1);
    }
}

void RegisterDataSourceTypes(CRegistries& r) {
    constexpr int list = ListId::DataSourceTypes;
    r.AddComboValue(list, "SQL", "SQL Query", -1);
    r.AddComboValue(list, "KPI", "KPI Report", -1);
    if (COvCombos* e = r.AddComboValue(list, "OLAP", "OLAP Report", -1)) {
        r.AddProp(e, GroupId::DataSource, "bQ", "Use MDX Query ?", "0", PropFlag::Boolean,
                  PropKind::Boolean, 0, nullptr, -1);
        r.AddProp(e, GroupId::DataSource, "nCube", "Cube, Perspective", "", 0, PropKind::List,
                  ListId::None, nullptr, -1);
    }
}

void RegisterColumnTypes(CRegistries& r) {
    constexpr int list = ListId::ColumnTypes;
    constexpr int group = GroupId::GridColumns;
    r.AddComboValue(list, "DEF", "Default", -1);
    if (COvCombos* e = r.AddComboValue(list, "BT", "Bar + Text", -1)) {
        r.AddProp(e, group, "BCP", "Positive Color", "0,255,0", 0, PropKind::Colour, 0, nullptr,
                  -1);
        r.AddProp(e, group, "BCN", "Negative Color", "255,0,0", 0, PropKind::Colour, 0, nullptr,
                  -1);
    }
    if (COvCombos* e = r.AddComboValue(list, "GSP", "Serial Pictures", -1)) {
        const int pictureTypes = r.AddUserCombo();
        r.AddComboValue(pictureTypes, "GPO", "Picture Only", -1);
        r.AddComboValue(pictureTypes, "GSPT", "Picture + Text", -1);
        r.AddComboValue(pictureTypes, "GTSP", "Text + Picture", -1);
        r.AddComboValue(pictureTypes, "GI", "Picture + Info Text", -1);
        // "GP" is none of the entries: a new column shows no picture type until one is chosen.
        r.AddProp(e, group, "SPT", "Picture Type", "GP", 0, PropKind::List, pictureTypes, nullptr,
                  -1);
        r.AddProp(e, group, "SPF", "Image File", "", 0, PropKind::File, 0, nullptr, -1);
    }
}

void RegisterOutputTypes(CRegistries& r) {
    COvCombos* e = r.AddComboValue(ListId::OutputTypes, "GRID", "Grid Control", -1);
    const int headers = r.AddPropGrpsInfo("Grid Headers");
    const int data = r.AddPropGrpsInfo("Grid Data");
    if (!e) return;
    r.AddProp(e, GroupId::List, "Title", "Title", "", 0, PropKind::Text, 0, nullptr, -1);
    r.AddProp(e, GroupId::List, "bTB", "Table Border", "0", PropFlag::Boolean, PropKind::Boolean, 0,
              nullptr, -1);
    r.AddProp(e, headers, "hF", "Font", "Arial,100", 0, PropKind::Font, 0, nullptr, -1);
    r.AddProp(e, headers, "hBC", "BG Color", "192,192,192", 0, PropKind::Colour, 0, nullptr, -1);
    r.AddProp(e, headers, "bGCH", "Gradint Color", "1", PropFlag::Boolean, PropKind::Boolean, 0,
              nullptr, -1);
    r.AddProp(e, data, "gF", "Font", "Arial,100", 0, PropKind::Font, 0, nullptr, -1);
    r.AddProp(e, data, "gBC", "BG Color", "255,255,255", 0, PropKind::Colour, 0, nullptr, -1);
    r.AddProp(e, data, "bGCG", "Gradint Color", "0", PropFlag::Boolean, PropKind::Boolean, 0,
              nullptr, -1);
}

// A password is shown masked and stored only in protected form.
constexpr unsigned kSecretFlags = PropFlag::Visible | PropFlag::Stored | PropFlag::Secret;

struct MailSessionSetting {
    const char* Name;
    const char* Caption;
    const char* Default;  // the setting's; a step's own value starts empty, deferring to it
    bool Secret;
};

// How mail reaches today's servers: encryption, login, certificate checks and how long a server
// may take to answer a connect. An empty MailSecurity follows the way the server is written
// (smtps:// TLS, smtp:// STARTTLS when offered, a bare name plain text, as it always was), except
// that a login is never sent in clear unless MailSecurity is none.
constexpr MailSessionSetting kMailSessionSettings[] = {
    {"MailSecurity", "Mail Security (none, starttls, starttls-required, tls)", "", false},
    {"MailUser", "Mail User", "", false},
    {"MailPassword", "Mail Password", "", true},
    {"MailPasswordCommand", "Mail Password Command", "", false},
    {"MailAuth", "Mail Login (auto, plain, login, xoauth2)", "auto", false},
    {"MailCAFile", "Mail Extra CA File", "", false},
    {"MailVerify", "Mail Certificate Check (1/0)", "1", false},
    {"MailConnectTimeout", "Mail Connect Timeout, s (0 = system's)", "30", false},
};

// How uploads reach today's servers: FTPS, SFTP, the login, the checks of the server's
// certificate or host key and the connect time-out. An empty FtpSecurity follows the way the
// server is written (ftps:// implicit TLS, sftp:// SFTP, otherwise plain FTP, as it always was),
// except that an FtpUser login goes to a plain FTP server over explicit FTPS.
constexpr MailSessionSetting kFtpSessionSettings[] = {
    {"FtpSecurity", "FTP Security (none, explicit, implicit, sftp)", "", false},
    {"FtpUser", "FTP User", "", false},
    {"FtpPassword", "FTP Password", "", true},
    {"FtpPasswordCommand", "FTP Password Command", "", false},
    {"FtpKeyFile", "SFTP Key File", "", false},
    {"FtpKnownHosts", "SFTP Known Hosts File", "~/.ssh/known_hosts", false},
    {"FtpCAFile", "FTP Extra CA File", "", false},
    {"FtpVerify", "FTP Certificate Check (1/0)", "1", false},
    {"FtpConnectTimeout", "FTP Connect Timeout, s (0 = system's)", "30", false},
};

void RegisterTaskTypes(CRegistries& r) {
    constexpr int list = ListId::TaskTypes;
    constexpr int group = GroupId::Task;
    // The message properties a mailing step has; a burst takes its addresses from its query.
    const auto addMessageProps = [&](COvCombos* e, bool withAddress) {
        r.AddProp(e, group, "Srv", "SMTP Server", "", 0, PropKind::Text, 0, nullptr, -1);
        if (withAddress)
            r.AddProp(e, group, "Adr", "Mail Adres", "", 0, PropKind::Text, 0, nullptr, -1);
        r.AddProp(e, group, "Cont", "Content", "", 0, PropKind::Text, 0, nullptr, -1);
        r.AddProp(e, group, "Files", "Attachments", "", 0, PropKind::Text, 0, nullptr, -1);
        r.AddProp(e, group, "Subj", "Subject", "", 0, PropKind::Text, 0, nullptr, -1);
        // "1": a mail whose attachments are not all there goes out without them (logged);
        // otherwise it is not sent and the step fails.
        r.AddProp(e, group, "MissingFilesOptional", "Missing Files Optional (1/0)", "", 0,
                  PropKind::Text, 0, nullptr, -1);
        // Rendered by the plug-in Pdf.rll: each inline SVG chart as an inline PNG for webmail
        // readers that show no SVG, and the page as a PDF attachment.
        r.AddProp(e, group, "BodyPictures", "Charts as Pictures (1/0)", "", 0, PropKind::Text, 0,
                  nullptr, -1);
        r.AddProp(e, group, "AttachPdf", "Attach the Page as PDF (1/0)", "", 0, PropKind::Text, 0,
                  nullptr, -1);
        r.AddProp(e, group, "RenderTimeout", "Render Timeout, s (empty: CmdTimeout)", "", 0,
                  PropKind::Text, 0, nullptr, -1);
    };
    // The mail session settings again, for a step whose server wants other ones; each one left
    // empty takes the program setting. A step's password travels with the report file, which is
    // copied and mailed about far more than the settings are, so it is kept protected there too.
    const auto addMailSessionProps = [&](COvCombos* e) {
        for (const MailSessionSetting& setting : kMailSessionSettings) {
            r.AddProp(e, group, setting.Name, setting.Caption, "",
                      setting.Secret ? kSecretFlags | PropFlag::FileSecret : 0, PropKind::Text, 0,
                      nullptr, -1);
        }
    };
    if (COvCombos* e = r.AddComboValue(list, "SMTP", "Send Mail SMTP", -1)) {
        addMessageProps(e, true);
        addMailSessionProps(e);
    }
    // Mails each recipient a query names their own page: the mail properties are the SMTP ones,
    // the addresses come from the query, one row per value of the parameter.
    if (COvCombos* e = r.AddComboValue(list, "BURST", "Burst Mail", -1)) {
        addMessageProps(e, false);
        r.AddProp(e, group, "BurstPrm", "Parameter", "", 0, PropKind::Text, 0, nullptr, -1);
        r.AddProp(e, group, "BurstDS", "Data Source", "", 0, PropKind::List, ListId::DataSources,
                  nullptr, -1);
        r.AddProp(e, group, "BurstQry", "Recipients Query", "", 0, PropKind::Text, 0, nullptr, -1);
        addMailSessionProps(e);
    }
    if (COvCombos* e = r.AddComboValue(list, "FTP", "FTP Upload", -1)) {
        r.AddProp(e, group, "Srv", "FTP Server", "", 0, PropKind::Text, 0, nullptr, -1);
        r.AddProp(e, group, "User", "User", "", 0, PropKind::Text, 0, nullptr, -1);
        r.AddProp(e, group, "Password", "Password", "", 0x45, PropKind::Text, 0, nullptr, -1);
        r.AddProp(e, group, "Files", "FTP Files", "*.*", 0, PropKind::Text, 0, nullptr, -1);
        // Each left empty takes the program setting.
        for (const MailSessionSetting& setting : kFtpSessionSettings) {
            r.AddProp(e, group, setting.Name, setting.Caption, "",
                      setting.Secret ? kSecretFlags : 0, PropKind::Text, 0, nullptr, -1);
        }
    }
    if (COvCombos* e = r.AddComboValue(list, "CMD", "DOS Command", -1)) {
        r.AddProp(e, group, "cmd", "Command", "", 0, PropKind::Text, 0, nullptr, -1);
    }
    // The task runner also knows these step types; without entries a stored step of such a type
    // would lose its type when the report is opened.
    r.AddComboValue(list, "HTML", "HTML Page", -1);
    r.AddComboValue(list, "HTMFile", "HTML File", -1);
    r.AddComboValue(list, "GRP", "Group", -1);
}

// Kinds and step types registered beyond the built-in lists get an entry of their own, so that
// report files keep them.
void ListRegisteredNames(CRegistries& r, int list, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (!r.FindComboValue(list, name)) r.AddComboValue(list, name, name, -1);
    }
}

}  // namespace

void BuildSchema(CRegistries& r, orvik::SettingsStore& settings) {
    r.NextUserListId = 101;
    r.ProgramSettings.clear();
    r.LiveProperties.clear();

    const int languages = r.AddUserCombo();
    const auto codes = FindLanguageCodes(r.ProgramFolder);
    // English is always a choice: with language files beside the program, a user who chose one
    // must still be able to come back to the built-in texts.
    r.AddComboValue(languages, "ENG", "ENG", -1);
    for (const std::string& code : codes) {
        if (code != "ENG") r.AddComboValue(languages, code, code, -1);
    }
    r.AddSetting("Language", "GUI Languige", "ENG", PropKind::List, languages);

    const int pictureFormats = r.AddUserCombo();
    for (const char* format : {"bmp", "jpg", "gif", "png"}) {
        r.AddComboValue(pictureFormats, format, format, -1);
    }
    r.AddSetting("DefPicFmt", "Default Picture Format", "png", PropKind::List, pictureFormats);
    r.AddSetting("DefSrvMail", "Default Mail Server", "", PropKind::Text, 0);
    r.AddSetting("DefSrvFTP", "Default FTP Server", "", PropKind::Text, 0);
    r.AddSetting("DefAdrFrom", "Default MailFromAdres", "", PropKind::Text, 0);
    r.AddSetting("DefAdrTo", "Default MailToAdres", "", PropKind::Text, 0);
    // Seconds a command step may run before it is stopped, 0 for no limit (see RunCommandStep).
    r.AddSetting("CmdTimeout", "Command Timeout, s (0 = none)", "3600", PropKind::Text, 0);
    // Seconds an unattended run waits for another one to finish with the work folder.
    r.AddSetting("WorkFolderWait", "Wait for Another Run, s", "300", PropKind::Text, 0);
    // Seconds a query may run, and a SQLite query may wait for another program's lock.
    r.AddSetting("QueryTimeout", "Query Timeout, s (0 = none)", "5000", PropKind::Text, 0);
    r.AddSetting("SqliteLockWait", "SQLite Lock Wait, s", "30", PropKind::Text, 0);
    // 1 writes the cube engine's choices (which aggregate table answered) to the log.
    r.AddSetting("CubeDebugLog", "Log Cube Engine Choices (1 = on)", "0", PropKind::Text, 0);
    // Seconds a plug-in call may go on after the run was asked to stop before the run is ended
    // without it.
    r.AddSetting("PlugInStopGrace", "Plug-in Stop Grace, s", "10", PropKind::Text, 0);
    // 1 loads plug-ins from files or folders that others can write (development only).
    r.AddSetting("PlugInAnyOwner", "Load Plug-ins Others Can Change", "0", PropKind::Text, 0);
    // Folders beyond the program's and the report's that mail and FTP may send pictures from.
    r.AddSetting("PictureFolders", "Picture Folders (;)", "", PropKind::Text, 0);
    using SettingTable = std::span<const MailSessionSetting>;
    for (SettingTable table :
         {SettingTable(kMailSessionSettings), SettingTable(kFtpSessionSettings)}) {
        for (const MailSessionSetting& setting : table) {
            COvInfoProp* added =
                r.AddSetting(setting.Name, setting.Caption, setting.Default, PropKind::Text, 0);
            if (setting.Secret) added->Flags = kSecretFlags;
        }
    }
    r.SettingsCount = static_cast<int>(r.LiveProperties.size());

    r.ReadSettings(settings);
    for (const auto& setting : r.ProgramSettings) CRegistries::WriteSetting(settings, *setting);

    // A run given a work folder of its own (the designer's, one of many in one process) keeps it.
    if (r.HtmlFolder.empty())
        r.HtmlFolder = (r.StateFolder.empty() ? r.ProgramFolder : r.StateFolder) + "HTML/";
    PrepareHtmlFolder(r.HtmlFolder);

    for (const char* caption :
         {"General Params", "Task Properties", "List Properties", "Grid Columns Properties",
          "DataSource Properties", "Param Properties", "Orvik Params", "Param Appended"}) {
        r.AddPropGrpsInfo(caption);
    }
    RegisterParameterTypes(r);
    RegisterDataSourceTypes(r);
    ListRegisteredNames(r, ListId::DataSourceTypes,
                        orvik::DataSourceKindRegistry::Builtin().Names());
    RegisterColumnTypes(r);
    RegisterOutputTypes(r);
    RegisterTaskTypes(r);
    ListRegisteredNames(r, ListId::TaskTypes, orvik::TaskStepRegistry::Builtin().Names());
}
