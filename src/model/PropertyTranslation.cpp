#include "model/PropertyTranslation.h"

#include "core/LanguageTexts.h"
#include "core/Run.h"
#include "model/Registries.h"

void TranslateProperties(const CLanguageTexts& language, CRegistries& registries, int plugInIndex,
                         std::string_view plugInKey) {
    if (!language.Translating()) return;
    const bool own = plugInIndex < 0;
    const auto belongs = [&](int index) { return own ? index < 0 : index == plugInIndex; };
    const std::string prefix = own ? std::string() : std::string(plugInKey) + "_";

    for (const auto& entry : registries.ComboValues) {
        if (belongs(entry->PlugInIndex))
            entry->Caption = language.Translated(prefix + "C_" + entry->Name, entry->BaseCaption);
    }
    if (own) {
        for (COvInfoProp* prop : registries.LiveProperties)
            prop->Caption = language.Translated("M_" + prop->Name, prop->BaseCaption);
    }
    for (const auto& prop : registries.AppendedProperties) {
        if (prop->Appended == 0 && belongs(prop->PlugInIndex))
            prop->Caption = language.Translated(prefix + "P_" + prop->Name, prop->BaseCaption);
    }
    if (own) {
        for (const auto& group : registries.PropertyGroups)
            group->Caption =
                language.Translated("G_" + std::to_string(group->Id), group->BaseCaption);
    }
}

bool ApplyLanguage(orvik::Run& context, const std::string& code) {
    CLanguageTexts& language = context.Language();
    const bool loaded = language.LoadLanguage(code, context.ProgramFolder());
    ReportDuplicateKeys(context);
    // Back in English the captions return to their built-in texts, so translate either way.
    TranslateProperties(language, context.Registries(), -1);
    context.Front().LanguageChanged();
    return loaded;
}

void ReportDuplicateKeys(orvik::Run& run) {
    for (const std::string& key : run.Language().DuplicateKeys())
        orvik::ShowMessage(run, "Dublicate lang key: " + key, {}, orvik::MessageBoxButtons::Ok,
                           orvik::MessageBoxIcon::Warning);
}
