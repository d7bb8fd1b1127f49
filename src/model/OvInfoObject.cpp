#include "model/OvInfoObject.h"

#include <cstdlib>

#include "core/FrontEnd.h"
#include "core/LanguageTexts.h"
#include "model/Registries.h"

COvInfoObject::~COvInfoObject() {
    // The live-property list must not keep pointers to the members that die with this object.
    if (registries_) registries_->ForgetLive(Props);
}

COvInfoProp* COvInfoObject::GetPropByName(std::string_view name) const {
    for (COvInfoProp* prop : Props) {
        if (prop->Name == name) return prop;
    }
    return nullptr;
}

std::string COvInfoObject::Get(std::string_view name) const {
    const COvInfoProp* prop = GetPropByName(name);
    return prop ? prop->Value : std::string();
}

std::string COvInfoObject::NameValue() const {
    return Get(TypeTag == orvik::ObjectKind::GridColumns ? "ColN" : "Name");
}

void COvInfoObject::ChangeExplName(orvik::FrontEnd& front, std::string_view text) {
    front.SetExplorerItemText(ExplorerItem, text);
}

void COvInfoObject::StartAtDefault(COvInfoProp& prop) {
    prop.Value = prop.DefaultValue;
    if (prop.IsOption(PropFlag::Integer)) prop.ValueIndex = std::atoi(prop.Value.c_str());
}

std::string COvInfoObject::Caption(const CRegistries* registries, int id) {
    return registries ? registries->Text(id) : BuiltinLanguage().GetText(id);
}

void COvInfoObject::ShowPropAs(orvik::FrontEnd& front, orvik::ObjectKind kind) {
    front.ShowProperties(kind, this);
}

void COvInfoObject::AddOwn(COvInfoProp& prop, bool live) {
    StartAtDefault(prop);
    Props.push_back(&prop);
    if (live && registries_) registries_->LiveProperties.push_back(&prop);
}

std::string COvInfoObject::UnknownType(std::string_view name) const {
    if (!Get(name).empty()) return {};
    for (const KeptElement& kept : KeptElements)
        if (kept.Replaces && kept.Name == name) return kept.Value;
    return {};
}
