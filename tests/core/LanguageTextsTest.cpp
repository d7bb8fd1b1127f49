#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "TestSupport.h"
#include "core/LanguageTexts.h"
#include "model/PropertyTranslation.h"
#include "model/Registries.h"

namespace orvik {
namespace {

class LanguageTextsTest : public ::testing::Test {
  protected:
    CLanguageTexts& Language() { return program.Context().Language(); }
    bool Load(const std::string& code) {
        return Language().LoadLanguage(code, program.Home().Path());
    }
    test::TestProgram program;
};

TEST_F(LanguageTextsTest, BuiltInEnglishWithoutAFile) {
    EXPECT_EQ(Language().Code(), "ENG");
    EXPECT_EQ(program.Context().Language().GetText(0x401), "Name");
    EXPECT_EQ(program.Context().Language().GetText(1321), "Not Uniq Sheet Name ");
    EXPECT_EQ(program.Context().Language().GetText(448),
              "A graceful disconnect had occurred, Last Response: %1");
    EXPECT_EQ(program.Context().Language().GetText(99999),
              "?");  // "ENG" is a three-letter code like any other
    EXPECT_EQ(program.Context().Language().TextF(1316, 3), "Sheet");
    EXPECT_FALSE(Load("DEU"));  // no such file
    EXPECT_EQ(Language().Code(), "ENG");
}

TEST_F(LanguageTextsTest, AFileReplacesTextsByIdAndName) {
    const std::string longValue(600, 'x');
    program.Home().Write("orvik18_deu.lng",
                         "// comment line\n"
                         "\n"
                         "1025 = Bezeichnung \r\n"
                         "1316=Blatt\\nzwei\n"
                         "M_Name=Titel\n"
                         "m_Name=lower-case prefix never matches\n"
                         "1317 =\n"
                         "LONG=" +
                             longValue +
                             "\n"
                             "1025=second value is ignored\n"
                             "no equals sign here\n"
                             "A=Dialog\n"
                             "A7=Knopf\n");
    EXPECT_TRUE(Load("DEU"));  // found without regard to the file name's case
    EXPECT_EQ(Language().Code(), "DEU");
    EXPECT_EQ(program.Context().Language().GetText(0x401), "Bezeichnung");
    EXPECT_EQ(program.Context().Language().GetText(1316), "Blatt\nzwei");
    EXPECT_EQ(program.Context().Language().GetText(1317),
              "Data Source");  // an empty value never replaces a text
    EXPECT_EQ(program.Context().Language().GetText(99999), "?");
    EXPECT_EQ(Language().GetNamedText("LONG").size(), CLanguageTexts::kMaxValueLength);
    EXPECT_EQ(Language().GetNamedText("A"), "Dialog");
    EXPECT_EQ(Language().GetNamedText("A", 7), "Knopf");
    EXPECT_EQ(Language().GetNamedText("no equals sign here"), "");
    EXPECT_EQ(Language().GetNamedText("absent"), "");
    // The duplicate is reported once, and the first value kept.
    EXPECT_EQ(Language().DuplicateKeys(), std::vector<std::string>{"1025"});
    ReportDuplicateKeys(program.Context());
    ASSERT_EQ(program.Front().Messages.size(), 1u);
    EXPECT_EQ(program.Front().Messages[0].Text, "Dublicate lang key: 1025");

    // Back to English empties the table.
    EXPECT_FALSE(Load("ENG"));
    EXPECT_EQ(program.Context().Language().GetText(0x401), "Name");
    EXPECT_EQ(Language().EntryCount(), 0u);
}

TEST_F(LanguageTextsTest, WindowsCodePageFilesAndTheCharacterLimit) {
    // windows-1251 "Имя" for Name, and 501 Cyrillic letters that must be cut to 500 characters.
    program.Home().Write("orvik18_RUS.lng",
                         "1025=\xC8\xEC\xFF\nLONG=" + std::string(501, '\xE0') + "\n");
    ASSERT_TRUE(Load("RUS"));
    EXPECT_EQ(program.Context().Language().GetText(0x401), "Имя");
    const std::string cut = Language().GetNamedText("LONG");
    EXPECT_EQ(cut.size(), 1000u);  // 500 two-byte characters
}

TEST_F(LanguageTextsTest, CodesOfOtherLengthsLeaveEverythingInEnglish) {
    program.Home().Write("orvik18_DE.lng", "1025=Bezeichnung\n");
    EXPECT_FALSE(Load("DE"));
    EXPECT_EQ(program.Context().Language().GetText(0x401), "Name");
    EXPECT_EQ(program.Context().Language().GetText(99999), "???");
    Language().InitLanguage("DE", program.Home().Path());
    EXPECT_EQ(Language().Code(), "ENG");
}

TEST_F(LanguageTextsTest, ATranslatedTemplateWithOtherConversionsIsNotUsed) {
    program.Home().Write("orvik18_XYZ.lng", "1316=Blatt %s\n1315=Neu %d\n");
    ASSERT_TRUE(Load("XYZ"));
    // "%s" would read the integer argument as a pointer; the built-in template is used instead.
    EXPECT_EQ(program.Context().Language().TextF(1316, 3), "Sheet");
    EXPECT_EQ(program.Context().Language().GetText(1316), "Blatt %s");
}

TEST(UsableTemplate, ATranslationMustTakeExactlyTheBuiltInArguments) {
    // Same conversions, other words: the translation is used.
    EXPECT_EQ(UsableTemplate("%d Blatt von %s (%5.2f%%)", "Sheet %d of %s (%5.2f%%)"),
              "%d Blatt von %s (%5.2f%%)");
    EXPECT_EQ(UsableTemplate("Kein Argument", "No argument"), "Kein Argument");
    EXPECT_EQ(UsableTemplate("Fehler:%1", "Error:%1"), "Fehler:%1");
    // A length modifier or a "*" width changes what is read from the arguments.
    EXPECT_EQ(UsableTemplate("Blatt %ls", "Sheet %s"), "Sheet %s");
    EXPECT_EQ(UsableTemplate("Wert %Lf", "Value %f"), "Value %f");
    EXPECT_EQ(UsableTemplate("Blatt %*s", "Sheet %s"), "Sheet %s");
    EXPECT_EQ(UsableTemplate("Blatt %.*s", "Sheet %s"), "Sheet %s");
    // So does the order, and a position that reorders them.
    EXPECT_EQ(UsableTemplate("%s: %d", "%d: %s"), "%d: %s");
    EXPECT_EQ(UsableTemplate("%2$s: %1$d", "%d: %s"), "%d: %s");
    // Extra or missing conversions, also behind a literal percent sign.
    EXPECT_EQ(UsableTemplate("%s %s", "%s"), "%s");
    EXPECT_EQ(UsableTemplate("100%%s", "%s"), "%s");
    EXPECT_EQ(UsableTemplate("Blatt %", "Sheet"), "Sheet");
    // Without a built-in text there is nothing to compare with.
    EXPECT_EQ(UsableTemplate("%s", nullptr), "%s");
}

TEST_F(LanguageTextsTest, TranslatePropertiesUsesTheKeyFamiliesAndFallsBack) {
    program.Home().Write("orvik18_FRA.lng",
                         "C_SQL=Requete SQL\n"
                         "M_DefSrvMail=Serveur\n"
                         "P_Srv=Serveur SMTP\n"
                         "G_0=General\n");
    CRegistries& r = program.Context().Registries();
    ASSERT_TRUE(Load("FRA"));
    TranslateProperties(Language(), r, -1);
    EXPECT_EQ(r.FindComboValue(ListId::DataSourceTypes, "SQL")->Caption, "Requete SQL");
    EXPECT_EQ(r.FindComboValue(ListId::DataSourceTypes, "KPI")->Caption, "KPI Report");
    EXPECT_EQ(r.FindSetting("DefSrvMail")->Caption, "Serveur");
    EXPECT_EQ(r.PropertyGroups[0]->Caption, "General");
    EXPECT_EQ(r.PropertyGroups[1]->Caption, "Task Properties");
    int translatedTemplates = 0;
    for (const auto& prop : r.AppendedProperties) {
        if (prop->Name == "Srv" && prop->Caption == "Serveur SMTP") ++translatedTemplates;
    }
    EXPECT_EQ(translatedTemplates, 3);  // the SMTP, the burst mail and the FTP server
    // Back in English, every caption returns to the built-in one.
    EXPECT_FALSE(ApplyLanguage(program.Context(), "ENG"));
    EXPECT_EQ(r.FindComboValue(ListId::DataSourceTypes, "SQL")->Caption, "SQL Query");
    EXPECT_EQ(r.FindSetting("DefSrvMail")->Caption, "Default Mail Server");
}

class FakeMenu : public CTranslatableMenu {
  public:
    int TopLevelCount() const override { return 2; }
    void SetTopLevelText(int position, const std::string& text) override { top[position] = text; }
    int ItemCount(int) const override { return 2; }
    int CommandId(int topLevel, int position) const override {
        return position == 0 ? 0 : 100 + topLevel;
    }
    void SetItemText(int topLevel, int position, const std::string& text) override {
        items[topLevel][position] = text;
    }
    std::string top[2] = {"File", "Edit"};
    std::string items[2][2] = {{"-", "Open"}, {"-", "Copy"}};
};

TEST_F(LanguageTextsTest, MenusAreTranslatedByPositionAndCommand) {
    program.Home().Write("orvik18_DEU.lng", "M0=Datei\nM100=Oeffnen\nM1=\n");
    ASSERT_TRUE(Load("DEU"));
    FakeMenu menu;
    Language().TranslateMenu(menu, "M");
    EXPECT_EQ(menu.top[0], "Datei");
    EXPECT_EQ(menu.top[1], "Edit");
    EXPECT_EQ(menu.items[0][1], "Oeffnen");
    EXPECT_EQ(menu.items[1][1], "Copy");
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// The English file shipped with the program: every key it has names a text, group, property or
// list entry the program has (a renamed one would silently stop being translated), templates keep
// their arguments, and "ENG" stays as it was.
TEST(ShippedLanguageFile, PlainEnglishCoversWhatItNamesAndLeavesTheBuiltInTextsAlone) {
    test::TestProgram program;
    const std::string file = std::string(ORVIK_SOURCE_DIR) + "/lang/orvik18_ENU.lng";
    program.Home().Write("orvik18_ENU.lng", test::ReadFileBytes(file));
    CRegistries& registries = program.Context().Registries();
    CLanguageTexts& language = program.Context().Language();
    ASSERT_TRUE(language.LoadLanguage("ENU", program.Home().Path()));
    EXPECT_TRUE(language.DuplicateKeys().empty());
    // A parameter brings its layout properties.
    program.Context().Report().StartNew();
    test::AddParameter(program.Context().Report(), "Region", "North");
    TranslateProperties(language, registries, -1);

    std::istringstream lines(test::ReadFileBytes(file));
    int checked = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line.rfind("//", 0) == 0) continue;
        const std::string key = line.substr(0, line.find('='));
        const std::string value = line.substr(line.find('=') + 1);
        const std::string name = key.size() > 2 ? key.substr(2) : "";
        bool known = false;
        if (std::isdigit(static_cast<unsigned char>(key[0]))) {
            const char* builtin = BuiltinText(std::stoi(key));
            known = builtin != nullptr;
            if (builtin) {
                EXPECT_EQ(UsableTemplate(value, builtin), value) << key;
            }
        } else if (key.rfind("G_", 0) == 0) {
            for (const auto& group : registries.PropertyGroups)
                if (std::to_string(group->Id) == name) known = group->Caption == value;
        } else if (key.rfind("M_", 0) == 0) {
            for (const COvInfoProp* prop : registries.LiveProperties)
                if (prop->Name == name) known = prop->Caption == value;
        } else if (key.rfind("P_", 0) == 0) {
            for (const auto& prop : registries.AppendedProperties)
                if (prop->Name == name && prop->Appended == 0) known = prop->Caption == value;
        } else if (key.rfind("C_", 0) == 0) {
            for (const auto& entry : registries.ComboValues)
                if (entry->Name == name) known = entry->Caption == value;
        }
        EXPECT_TRUE(known) << key << " names nothing the program has, or was not applied";
        ++checked;
    }
    EXPECT_GT(checked, 40);
    EXPECT_EQ(language.GetText(1309), "Parameters");

    // Back to the built-in texts: exactly as they were.
    language.LoadLanguage("ENG", program.Home().Path());
    TranslateProperties(language, registries, -1);
    EXPECT_EQ(language.GetText(1309), "Orvik18 Param's");
    for (const auto& entry : registries.ComboValues) {
        if (entry->Name == "CMD") {
            EXPECT_EQ(entry->Caption, "DOS Command");
        }
    }
}

}  // namespace
}  // namespace orvik
