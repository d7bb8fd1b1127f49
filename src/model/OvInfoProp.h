// A property: the unit everything settable in the program is made of. Program settings and every
// attribute of every report object are properties; each knows its key, caption, value as text,
// default, kind (how it is edited and encoded) and option flags, and for list-valued properties
// the value list it draws from.
#pragma once

#include "orvik/PlugInApi.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class COvCombos;
class CSheetView;

// Option bits of COvInfoProp::Flags.
namespace PropFlag {
constexpr unsigned Visible = 0x01;   // shown in the property bar
constexpr unsigned Stored = 0x04;    // written to the report file / settings store
constexpr unsigned ReadOnly = 0x08;  // shown, not editable
constexpr unsigned Integer = 0x10;   // reduced to its leading integer after each edit
constexpr unsigned Text = 0x20;      // a setting stored as a string
constexpr unsigned Secret = 0x40;    // a setting stored only in protected form
// A property of a report object written to the report file only in protected form (read back in
// either form). Report files made elsewhere keep the FTP password in clear, so Secret alone
// does not ask for this.
constexpr unsigned FileSecret = 0x80;
constexpr unsigned Default = 0x25;  // what a flags argument of 0 means
constexpr unsigned Boolean = 0x15;  // shown, stored, integer: every Boolean
}  // namespace PropFlag

// Value kinds (COvInfoProp::Kind) and so the encodings of COvInfoProp::Value.
namespace PropKind {
constexpr unsigned Boolean = 2;      // "1" / "0"
constexpr unsigned Colour = 3;       // "r,g,b"
constexpr unsigned List = 4;         // Name of an entry of list ComboId
constexpr unsigned DateTime = 5;     // "%Y-%m-%d", or "%H:%M:%S" with ComboId bits 0x9
constexpr unsigned Text = 6;         // free text
constexpr unsigned Font = 10;        // "face,size,style,charset," (or short "face,size")
constexpr unsigned File = 11;        // path, relative when inside the program folder
constexpr unsigned Folder = 12;      // as File, with a trailing "/"
constexpr unsigned DialogText = 13;  // free text edited in a dialog (ComboId = editor)
constexpr unsigned Custom = 14;      // edited by an in-place control (ComboId = control)
constexpr unsigned Reference = 15;   // stands for the property in SelectedCombo
}  // namespace PropKind

class COvInfoProp {
  public:
    // `caption` empty means Name; `flags` 0 means PropFlag::Default.
    COvInfoProp(const void* owner, int group, std::string name, std::string caption,
                std::string defaultValue, unsigned flags, unsigned kind, unsigned comboId = 0,
                void* selectedCombo = nullptr, int appended = 0, int plugInIndex = -1);
    // A copy of `source` made by CopyProp (RefBy is not copied).
    COvInfoProp(const COvInfoProp& source, int appended);
    COvInfoProp(const COvInfoProp&) = default;
    COvInfoProp& operator=(const COvInfoProp&) = default;

    // Copies every field but RefBy from `source`; Appended becomes `appended`.
    void CopyProp(const COvInfoProp& source, int appended);

    bool IsOption(unsigned mask) const { return (Flags & mask) == mask; }
    bool IsVisible() const { return IsOption(PropFlag::Visible); }
    bool IsStored() const { return IsOption(PropFlag::Stored); }
    bool IsReadOnly() const { return IsOption(PropFlag::ReadOnly); }

    // Sets an integer value ("%d" text, ValueIndex = number); `flags` replaces Flags unless 0.
    void PISetInt(int number, unsigned flags = 0);
    // Sets a text value (ValueIndex = 0); `flags` replaces Flags unless 0.
    void PISetString(std::string_view text, unsigned flags = 0);
    // Selects `value` (or, when empty, the current Value) among the entries of list `listId` in
    // `entries`. On a match Value, ValueIndex (position within that list) and SelectedCombo are
    // set; with no match Value is left empty and the other two keep what they held. With no
    // entries at all, Value becomes empty.
    void PISetCombo(std::string_view value, const std::vector<std::unique_ptr<COvCombos>>* entries,
                    unsigned listId);

    // The chosen list entry of a list-valued property (null when none).
    COvCombos* SelectedEntry() const { return static_cast<COvCombos*>(SelectedCombo); }

    int Group;
    // What the property belongs to: a report object, or the list entry that brings in an appended
    // template, or the list-valued property that brought in an appended copy. Null for settings.
    const void* Owner;
    std::string Name;
    std::string Caption;
    std::string BaseCaption;
    std::string Value;
    std::string DefaultValue;
    int ValueIndex = -1;
    unsigned Flags;
    unsigned Kind;
    unsigned ComboId;
    void* SelectedCombo;  // COvCombos* for lists, COvInfoProp* for references
    COvInfoProp* RefBy = nullptr;
    int Appended;
    int PlugInIndex;
};

// The value of the first property named `name` (case-sensitive) in `list`, or "" when none.
std::string PropValue(std::string_view name, const std::vector<COvInfoProp*>& list);
