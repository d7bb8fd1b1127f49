#include "model/OvInfoProp.h"

#include "model/OvCombos.h"
#include "model/Registries.h"

COvInfoProp::COvInfoProp(const void* owner, int group, std::string name, std::string caption,
                         std::string defaultValue, unsigned flags, unsigned kind, unsigned comboId,
                         void* selectedCombo, int appended, int plugInIndex)
    : Group(group),
      Owner(owner),
      Name(std::move(name)),
      Caption(caption.empty() ? Name : std::move(caption)),
      BaseCaption(Caption),
      DefaultValue(std::move(defaultValue)),
      Flags(flags ? flags : PropFlag::Default),
      Kind(kind),
      ComboId(comboId),
      SelectedCombo(selectedCombo),
      Appended(appended),
      PlugInIndex(plugInIndex) {}

COvInfoProp::COvInfoProp(const COvInfoProp& source, int appended) : COvInfoProp(source) {
    RefBy = nullptr;
    CopyProp(source, appended);
}

void COvInfoProp::CopyProp(const COvInfoProp& source, int appended) {
    Owner = source.Owner;
    Group = source.Group;
    Flags = source.Flags;
    Kind = source.Kind;
    ComboId = source.ComboId;
    SelectedCombo = source.SelectedCombo;
    Name = source.Name;
    DefaultValue = source.DefaultValue;
    Caption = source.Caption;
    ValueIndex = source.ValueIndex;
    Value = source.Value;
    PlugInIndex = source.PlugInIndex;
    BaseCaption = source.BaseCaption;
    Appended = appended;
}

void COvInfoProp::PISetInt(int number, unsigned flags) {
    if (flags) Flags = flags;
    Value = std::to_string(number);
    ValueIndex = number;
}

void COvInfoProp::PISetString(std::string_view text, unsigned flags) {
    if (flags) Flags = flags;
    ValueIndex = 0;
    Value = text;
}

void COvInfoProp::PISetCombo(std::string_view value,
                             const std::vector<std::unique_ptr<COvCombos>>* entries,
                             unsigned listId) {
    if (!entries) {
        Value.clear();
        return;
    }
    const std::string wanted(value.empty() ? std::string_view(Value) : value);
    Value.clear();
    int position = 0;
    for (const auto& entry : *entries) {
        if (static_cast<unsigned>(entry->Id) != listId) continue;
        if (entry->Name == wanted) {
            Value = entry->Name;
            ValueIndex = position;
            SelectedCombo = entry.get();
            return;
        }
        ++position;
    }
}

std::string PropValue(std::string_view name, const std::vector<COvInfoProp*>& list) {
    for (const COvInfoProp* prop : list) {
        if (prop->Name == name) return prop->Value;
    }
    return {};
}
