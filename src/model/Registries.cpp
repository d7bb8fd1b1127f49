#include "model/Registries.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "core/LanguageTexts.h"
#include "core/SettingsStore.h"

namespace {
constexpr std::string_view kSettingsSection = "General";
}

int CRegistries::AddPropGrpsInfo(std::string_view caption) {
    auto group = std::make_unique<COvInfoPropGrps>(std::string(caption));
    group->Id = static_cast<int>(PropertyGroups.size());
    PropertyGroups.push_back(std::move(group));
    return PropertyGroups.back()->Id;
}

COvCombos* CRegistries::AddComboValue(int listId, std::string_view name, std::string_view caption,
                                      int plugInIndex) {
    if (FindComboValue(listId, name)) {
        if (Warn) Warn("Not Uniq Combo Value = '" + std::string(name) + "'");
        return nullptr;
    }
    ComboValues.push_back(
        std::make_unique<COvCombos>(listId, std::string(name), std::string(caption), plugInIndex));
    return ComboValues.back().get();
}

COvCombos* CRegistries::FindComboValue(int listId, std::string_view name) const {
    for (const auto& entry : ComboValues) {
        if (entry->Id == listId && entry->Name == name) return entry.get();
    }
    return nullptr;
}

void CRegistries::RemoveComboValue(int listId, std::string_view name) {
    COvCombos* entry = FindComboValue(listId, name);
    if (!entry) return;
    // Nothing may keep pointing at the entry once it is gone.
    for (COvInfoProp* prop : LiveProperties) {
        if (prop->SelectedCombo == entry) prop->SelectedCombo = nullptr;
    }
    for (const auto& prop : AppendedProperties) {
        if (prop->SelectedCombo == entry) prop->SelectedCombo = nullptr;
    }
    std::erase_if(ComboValues, [entry](const auto& e) { return e.get() == entry; });
}

COvInfoProp* CRegistries::AddProp(const void* owner, int group, std::string_view name,
                                  std::string_view caption, std::string_view defaultValue,
                                  unsigned flags, unsigned kind, unsigned listId, void* selected,
                                  int plugInIndex) {
    AppendedProperties.push_back(std::make_unique<COvInfoProp>(
        owner, group, std::string(name), std::string(caption), std::string(defaultValue), flags,
        kind, listId, selected, 0, plugInIndex));
    COvInfoProp* added = AppendedProperties.back().get();
    // Kept up to date rather than rebuilt: every object of a report registers its own properties
    // here while the report loads.
    if (templatesIndexed_ && owner) templatesByOwner_[owner].push_back(added);
    return added;
}

const std::vector<const COvInfoProp*>& CRegistries::TemplatesOf(const void* entry) {
    // Loading a report makes a copy of its templates for every list property it reads; walking
    // all properties (copies included) for each would make loading quadratic. The index holds
    // until a template comes or goes.
    if (!templatesIndexed_) {
        templatesByOwner_.clear();
        for (const auto& prop : AppendedProperties) {
            if (prop->Appended == 0 && prop->Owner)
                templatesByOwner_[prop->Owner].push_back(prop.get());
        }
        templatesIndexed_ = true;
    }
    static const std::vector<const COvInfoProp*> none;
    const auto found = templatesByOwner_.find(entry);
    return found == templatesByOwner_.end() ? none : found->second;
}

void CRegistries::PrepareNewCombo(COvInfoProp& prop, std::vector<COvInfoProp*>& props,
                                  bool setDefaults) {
    prop.PISetCombo(prop.Value, &ComboValues, prop.ComboId);
    // A value not in the list leaves SelectedCombo as it was; only a real match brings templates.
    const COvCombos* selected = prop.Value.empty() ? nullptr : prop.SelectedEntry();
    if (!selected) return;
    for (const COvInfoProp* template_ : TemplatesOf(selected)) {
        const COvInfoProp& source = *template_;
        auto copy = std::make_unique<COvInfoProp>(source, 1);
        copy->Owner = &prop;
        if (setDefaults) copy->Value = copy->DefaultValue;
        props.push_back(copy.get());
        AppendedProperties.push_back(std::move(copy));
    }
}

void CRegistries::ReplaceAppended(COvInfoProp& prop, std::vector<COvInfoProp*>& props) {
    std::vector<const COvInfoProp*> old;
    for (COvInfoProp* p : props) {
        if (p->Owner == &prop) old.push_back(p);
    }
    std::erase_if(props, [&prop](const COvInfoProp* p) { return p->Owner == &prop; });
    for (const COvInfoProp* p : old) DestroyAppended(p);
    PrepareNewCombo(prop, props, true);
}

void CRegistries::DestroyAppended(const COvInfoProp* prop) {
    std::erase(LiveProperties, prop);
    if (prop->Appended == 0 && templatesIndexed_ && prop->Owner) {
        if (const auto found = templatesByOwner_.find(prop->Owner);
            found != templatesByOwner_.end())
            std::erase(found->second, prop);
    }
    std::erase_if(AppendedProperties, [prop](const auto& p) { return p.get() == prop; });
}

void CRegistries::ReleaseReportProperties() {
    std::unordered_set<const void*> entries;
    for (const auto& entry : ComboValues) entries.insert(entry.get());
    std::erase_if(AppendedProperties, [&entries](const auto& p) {
        return p->Appended != 0 || !entries.contains(p->Owner);
    });
    templatesIndexed_ = false;
}

void CRegistries::ForgetLive(const std::vector<COvInfoProp*>& props) {
    if (props.empty() || LiveProperties.empty()) return;
    std::unordered_set<const COvInfoProp*> gone(props.begin(), props.end());
    std::erase_if(LiveProperties, [&gone](const COvInfoProp* p) { return gone.contains(p); });
}

void CRegistries::TruncateLiveToSettings() {
    if (LiveProperties.size() > static_cast<size_t>(SettingsCount)) {
        LiveProperties.resize(SettingsCount);
    }
}

COvInfoProp* CRegistries::AddSetting(std::string_view name, std::string_view caption,
                                     std::string_view defaultValue, unsigned kind,
                                     unsigned listId) {
    ProgramSettings.push_back(std::make_unique<COvInfoProp>(
        nullptr, GroupId::GeneralParams, std::string(name), std::string(caption),
        std::string(defaultValue), PropFlag::Default, kind, listId, nullptr, 0, -1));
    LiveProperties.push_back(ProgramSettings.back().get());
    return ProgramSettings.back().get();
}

COvInfoProp* CRegistries::FindSetting(std::string_view name) const {
    for (const auto& setting : ProgramSettings) {
        if (setting->Name == name) return setting.get();
    }
    return nullptr;
}

namespace {

bool IsWholeNumber(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void CRegistries::ReadSettings(const orvik::SettingsStore& store) {
    SettingWarnings.clear();
    if (!store.ReadProblem().empty()) SettingWarnings.push_back(store.ReadProblem());
    for (const auto& setting : ProgramSettings) {
        const std::string section =
            setting->Group == GroupId::GeneralParams ? std::string(kSettingsSection) : "";
        // A setting whose default is a number is read as one; a value that is not would quietly
        // become that default, so the user is told which value was passed over.
        if (IsWholeNumber(setting->DefaultValue) && store.Has(section, setting->Name)) {
            const std::string stored = store.GetString(section, setting->Name);
            const size_t first = stored.find_first_not_of(" \t");
            const size_t last = stored.find_last_not_of(" \t");
            const std::string trimmed =
                first == std::string::npos ? std::string() : stored.substr(first, last - first + 1);
            if (!IsWholeNumber(trimmed)) {
                SettingWarnings.push_back(
                    "The setting " + setting->Name + "=" + stored + " in " + store.Path() +
                    " is not a whole number of at least 0: " + setting->DefaultValue + " is used");
            }
        }
        // A protected setting must be read back through the same protection it was written with.
        setting->Value = setting->IsOption(PropFlag::Secret) && !setting->IsOption(PropFlag::Text)
                             ? store.GetSecret(section, setting->Name, setting->DefaultValue)
                             : store.GetString(section, setting->Name, setting->DefaultValue);
        if (setting->IsOption(PropFlag::Integer)) {
            setting->ValueIndex = std::atoi(setting->Value.c_str());
        } else if (setting->Kind == PropKind::List) {
            // The entry is selected for the property bar, but a stored value the list does not
            // hold (a language whose file is gone, "ENG" once any language file exists, a value
            // typed into the file) is kept: clearing it would write the loss back at once.
            const std::string stored = setting->Value;
            setting->PISetCombo(stored, &ComboValues, setting->ComboId);
            if (setting->Value.empty()) setting->Value = stored;
        }
    }
}

bool CRegistries::WriteSetting(orvik::SettingsStore& store, const COvInfoProp& setting) {
    if (!setting.IsStored()) return true;
    const std::string section =
        setting.Group == GroupId::GeneralParams ? std::string(kSettingsSection) : "";
    if (setting.IsOption(PropFlag::Integer)) {
        return store.WriteInt(section, setting.Name, setting.ValueIndex);
    }
    if (setting.IsOption(PropFlag::Text))
        return store.WriteString(section, setting.Name, setting.Value);
    if (setting.IsOption(PropFlag::Secret))
        return store.WriteSecret(section, setting.Name, setting.Value);
    return true;
}

std::string CRegistries::Text(int id) const {
    return (Language ? *Language : BuiltinLanguage()).GetText(id);
}
