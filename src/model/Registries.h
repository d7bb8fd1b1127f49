// The registries that describe what properties exist: program settings, property groups, the
// entries of every value list, the templates of properties a list value brings in (and the copies
// made from them), and the list of live properties whose captions follow the interface language.
// Built once at start-up; plug-ins extend them through the exported registration functions.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/OvCombos.h"
#include "model/OvInfoProp.h"
#include "model/OvInfoPropGrps.h"
#include "model/TypeRegistries.h"
#include "orvik/PlugInApi.h"

class CRepPlugIn;
class CLanguageTexts;
class COvInfoDS;

namespace orvik {
class Run;
class SettingsStore;
}  // namespace orvik

// Ids of the value lists.
namespace ListId {
constexpr int None = 0;  // choices built elsewhere (cubes, tables, columns, properties)
constexpr int DataSourceTypes = 1;
constexpr int DataSources = 3;
constexpr int OutputTypes = 4;
constexpr int TaskTypes = 5;
constexpr int ExportFormats = 6;
constexpr int ColumnTypes = 7;
constexpr int ParameterTypes = 8;
constexpr int Languages = 101;
constexpr int PictureFormats = 102;
constexpr int SerialPictureTypes = 103;
}  // namespace ListId

// Ids of the built-in property groups.
namespace GroupId {
constexpr int GeneralParams = 0;
constexpr int Task = 1;
constexpr int List = 2;
constexpr int GridColumns = 3;
constexpr int DataSource = 4;
constexpr int Param = 5;
constexpr int Report = 6;
constexpr int ParamAppended = 7;
constexpr int GridHeaders = 8;
constexpr int GridData = 9;
}  // namespace GroupId

class CRegistries {
  public:
    CRegistries() = default;
    CRegistries(const CRegistries&) = delete;
    CRegistries& operator=(const CRegistries&) = delete;

    // Appends a group and returns its id.
    int AddPropGrpsInfo(std::string_view caption);
    // Hands out the next user list id.
    int AddUserCombo() { return NextUserListId++; }
    // Adds an entry to list `listId`. A name already in that list is refused with the message
    // "Not Uniq Combo Value = '<name>'" and null is returned.
    COvCombos* AddComboValue(int listId, std::string_view name, std::string_view caption,
                             int plugInIndex);
    // Removes the entry `name` of list `listId` (data sources leaving the report). Properties
    // that had it selected lose the selection.
    void RemoveComboValue(int listId, std::string_view name);
    // The entry `name` of list `listId`, or null.
    COvCombos* FindComboValue(int listId, std::string_view name) const;

    // Creates a property template (or an object's registered property, when `owner` is an object)
    // and appends it to AppendedProperties.
    COvInfoProp* AddProp(const void* owner, int group, std::string_view name,
                         std::string_view caption, std::string_view defaultValue, unsigned flags,
                         unsigned kind, unsigned listId, void* selected, int plugInIndex);

    // Re-selects `prop`'s value in its list and attaches a copy of every template that value
    // brings in to `props` (and to AppendedProperties); with `setDefaults` each copy starts at its
    // default value.
    void PrepareNewCombo(COvInfoProp& prop, std::vector<COvInfoProp*>& props, bool setDefaults);
    // After the user picked a new value for `prop`: drops the copies `prop` brought in before and
    // attaches those of the new value with their defaults.
    void ReplaceAppended(COvInfoProp& prop, std::vector<COvInfoProp*>& props);
    // Destroys the appended property `prop` (a copy or an object's registered property).
    void DestroyAppended(const COvInfoProp* prop);
    // Destroys everything a report brought into AppendedProperties, keeping the templates.
    void ReleaseReportProperties();

    // Forgets live properties that are about to be destroyed.
    void ForgetLive(const std::vector<COvInfoProp*>& props);
    // Cuts the live list back to the program settings (a new report starts).
    void TruncateLiveToSettings();

    // Adds a program setting (group 0 unless given) to ProgramSettings and LiveProperties.
    COvInfoProp* AddSetting(std::string_view name, std::string_view caption,
                            std::string_view defaultValue, unsigned kind, unsigned listId);
    // The program setting `name`, or null.
    COvInfoProp* FindSetting(std::string_view name) const;
    // The value of the program setting `name`; "" when there is no such setting.
    std::string SettingValue(std::string_view name) const {
        const COvInfoProp* setting = FindSetting(name);
        return setting ? setting->Value : std::string();
    }
    // Reads every setting from the store (a missing one takes its default), noting in
    // SettingWarnings each value that could not be used and why.
    void ReadSettings(const orvik::SettingsStore& store);
    // Writes one setting back the way its flags say (integer, string or protected).
    static bool WriteSetting(orvik::SettingsStore& store, const COvInfoProp& setting);

    // The plug-in index new registrations carry: the last loaded plug-in, -1 while none is.
    int CurrentPlugInIndex() const { return LoadedPlugInCount - 1; }

    // The text `id` in the program's language (built-in English without one).
    std::string Text(int id) const;
    // The language captions are read in; not owned, null = built-in English.
    const CLanguageTexts* Language = nullptr;
    // Told what a registration refused and why ("Not Uniq Combo Value = '<name>'"); may be empty.
    std::function<void(const std::string&)> Warn;
    // The data-source kinds, view types and step types, the program's and its plug-ins'.
    orvik::TypeRegistries Types;

    std::vector<std::unique_ptr<COvInfoProp>> ProgramSettings;
    // What the last ReadSettings could not use: an unreadable settings file, a number setting
    // holding no number. The run's log gets one line each.
    std::vector<std::string> SettingWarnings;
    std::vector<std::unique_ptr<COvInfoPropGrps>> PropertyGroups;
    std::vector<std::unique_ptr<COvCombos>> ComboValues;
    std::vector<std::unique_ptr<COvInfoProp>> AppendedProperties;
    std::vector<COvInfoProp*> LiveProperties;  // not owned

    int NextUserListId = 101;
    int SettingsCount = 0;
    int LoadedPlugInCount = 0;
    // The loaded plug-ins' descriptors by plug-in index (not owned: each is its library's).
    std::vector<CRepPlugIn*> PlugIns;
    bool PlugInsLoaded = false;
    std::string ProgramFolder;  // with trailing "/"
    std::string TempFolder;     // with trailing "/"
    std::string HtmlFolder;     // the HTML work folder, with trailing "/"
    std::string StateFolder;    // where the log and HTML/ go, with trailing "/"; "" = ProgramFolder

  private:
    // The templates (properties of list entries, in registration order) of list entry `entry`.
    const std::vector<const COvInfoProp*>& TemplatesOf(const void* entry);

    std::unordered_map<const void*, std::vector<const COvInfoProp*>> templatesByOwner_;
    bool templatesIndexed_ = false;
};

// Builds the whole schema in its fixed order: folders, language and picture-format lists, program
// settings (read from the store and written back), the HTML work folder (created and emptied), the
// groups, the value lists with their templates. Plug-ins are loaded by the caller afterwards.
void BuildSchema(CRegistries& registries, orvik::SettingsStore& settings);
