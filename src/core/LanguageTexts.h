// The program's user-visible texts: built-in English ones addressed by number, replaceable at run
// time by a language file beside the program ("orvik18_<code>.lng", lines of key = value). Menus,
// dialogs, property groups, properties and list entries are translated by name.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// A menu as translation sees it; the designer adapts its menu bar to this.
class CTranslatableMenu {
  public:
    virtual ~CTranslatableMenu() = default;
    virtual int TopLevelCount() const = 0;
    virtual void SetTopLevelText(int position, const std::string& text) = 0;
    virtual int ItemCount(int topLevel) const = 0;
    virtual int CommandId(int topLevel, int position) const = 0;  // 0 for separators and submenus
    virtual void SetItemText(int topLevel, int position, const std::string& text) = 0;
};

// A dialog as translation sees it.
class CTranslatableDialog {
  public:
    virtual ~CTranslatableDialog() = default;
    virtual void SetCaption(const std::string& text) = 0;
    virtual std::string ControlText(int id) const = 0;  // "" when there is no such control
    virtual void SetControlText(int id, const std::string& text) = 0;
};

class CLanguageTexts {
  public:
    // The longest value a language file may give a key, in characters.
    static constexpr size_t kMaxValueLength = 500;

    // The current language code ("ENG" = built-in English, no file).
    const std::string& Code() const { return code_; }
    // True when the code is a real three-letter code (only then are texts translated).
    bool Translating() const { return code_.size() == 3; }

    // The text for `id`: the language file's when it has one, else the built-in English text
    // ("?" when a language is active and neither exists, "???" otherwise).
    std::string GetText(int id) const;
    // The text of `id` used as a printf template for the arguments (see UsableTemplate).
    std::string TextF(int id, ...) const;
    // The language file's value of `name` (or `name` + `index` when index >= 0); "" when absent.
    std::string GetNamedText(std::string_view name, int index = -1) const;

    // Reads the code from the settings ("General"/"Language", default "ENG") and loads its file;
    // falls back to English when it has none.
    void InitLanguage(const std::string& storedCode, const std::string& programFolder);
    // Loads the language file of `code` from `programFolder`; true when at least one entry was
    // read. "ENG", or a code without a file, switches to the built-in texts. Of a duplicate key
    // the first value is kept; the keys are listed in DuplicateKeys() for whoever loaded the file
    // to report ("Dublicate lang key: <key>", see ReportDuplicateKeys).
    bool LoadLanguage(const std::string& code, const std::string& programFolder);
    // The keys the last loaded language file gave more than once, in file order.
    const std::vector<std::string>& DuplicateKeys() const { return duplicateKeys_; }

    // The language file of `code` in `programFolder` (matched without regard to case), or "".
    static std::string LanguageFilePath(const std::string& code, const std::string& programFolder);

    // The language file's text for `key` (line breaks expanded) when it has a non-empty one,
    // else `base`.
    std::string Translated(std::string_view key, const std::string& base) const;
    // Renames menu items by the keys prefix + position (top level) and prefix + command id.
    void TranslateMenu(CTranslatableMenu& menu, std::string_view prefix) const;
    // Renames a dialog's caption (key) and controls (key + control id, ids 1 to 31999).
    void TranslateDialog(CTranslatableDialog& dialog, std::string_view key) const;

    // Number of entries loaded from the current language file.
    size_t EntryCount() const { return table_.size(); }

  private:
    const std::string* Find(std::string_view key) const;

    std::string code_ = "ENG";
    std::map<std::string, std::string, std::less<>> table_;
    std::vector<std::string> duplicateKeys_;
};

// The built-in English text of `id`, or null when the program has none.
const char* BuiltinText(int id);

// The texts of a program that has loaded no language: the built-in English ones. Immutable, so
// code without a program at hand (a network session made by a test) can share it.
const CLanguageTexts& BuiltinLanguage();

// The template TextF formats with: `translated` when its printf conversions are exactly those
// of `builtin` (the same sequence, each with the same position, flags, width, precision, length
// modifier and letter), otherwise `builtin`. Without a built-in text, `translated`.
std::string UsableTemplate(const std::string& translated, const char* builtin);
