// Captions of the property model in the interface language: the program's own list entries,
// properties and groups, or one plug-in's, renamed from the loaded language file.
#pragma once

#include <string>
#include <string_view>

class CLanguageTexts;
class CRegistries;

namespace orvik {
class AppContext;
class Run;
}  // namespace orvik

// Sets the captions of the program's own items (plugInIndex < 0) or of one plug-in's items (whose
// short name is `plugInKey`) from `language`, falling back to their built-in captions.
void TranslateProperties(const CLanguageTexts& language, CRegistries& registries, int plugInIndex,
                         std::string_view plugInKey = {});

// Switches the running program to the language `code` (the user changed the setting): loads its
// file, re-translates every caption and lets the front end retitle menus, bars and the explorer.
// Returns what LoadLanguage returned.
bool ApplyLanguage(orvik::Run& context, const std::string& code);

// Tells the run's front end about every key the language file last loaded gave twice.
void ReportDuplicateKeys(orvik::Run& run);
