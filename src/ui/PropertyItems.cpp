#include "ui/PropertyItems.h"

#include <wx/datectrl.h>
#include <wx/propgrid/advprops.h>
#include <wx/propgrid/propgrid.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/Paths.h"
#include "model/OvCombos.h"
#include "model/OvInfoProp.h"
#include "model/PropertyEncoding.h"
#include "params/ParameterValueList.h"

namespace orvik::ui {

namespace {

// Long texts of this list id get the grid's multi-line text item rather than the one-line one.
constexpr unsigned kLongTextComboId = 0x40000;

// Point sizes a font item is shown with; a stored size outside is someone's mistake, not a font.
constexpr double kSmallestPoints = 1.0, kLargestPoints = 1000.0;

std::string Utf8(const wxString& text) {
    const wxScopedCharBuffer bytes = text.utf8_str();
    return std::string(bytes.data(), bytes.length());
}

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

// The position of the entry named `name` among the entries of list `listId`, or -1.
long EntryPosition(const std::vector<std::unique_ptr<COvCombos>>& entries, unsigned listId,
                   const std::string& name) {
    long position = 0;
    for (const auto& entry : entries) {
        if (static_cast<unsigned>(entry->Id) != listId) continue;
        if (entry->Name == name) return position;
        ++position;
    }
    return -1;
}

wxPGChoices ListChoices(const std::vector<std::unique_ptr<COvCombos>>* entries, unsigned listId) {
    wxPGChoices choices;
    if (!entries) return choices;
    int position = 0;
    for (const auto& entry : *entries) {
        if (static_cast<unsigned>(entry->Id) == listId)
            choices.Add(FromUtf8(entry->Caption), position++);
    }
    return choices;
}

// The entry names of list `listId`, in order: what a check list offers and stores.
wxArrayString ListNames(const std::vector<std::unique_ptr<COvCombos>>* entries, unsigned listId) {
    wxArrayString names;
    if (!entries) return names;
    for (const auto& entry : *entries)
        if (static_cast<unsigned>(entry->Id) == listId) names.Add(FromUtf8(entry->Name));
    return names;
}

// A chooser-edited property over a value list (several entries at once, "[a],[b]"); the other
// chooser-edited properties (a reference's property chooser) have no list.
bool IsCheckList(const COvInfoProp& prop, const ItemSources& sources) {
    return prop.Kind == PropKind::Custom && !ListNames(sources.Entries, prop.ComboId).empty();
}

wxFont StoredFont(const std::string& value) {
    const std::optional<FontSetting> setting = DecodeFont(value);
    if (!setting) return *wxNORMAL_FONT;
    const double points = std::clamp(setting->SizeTenths / 10.0, kSmallestPoints, kLargestPoints);
    return wxFont(wxFontInfo(points)
                      .FaceName(FromUtf8(setting->Face))
                      .Bold(setting->Bold)
                      .Italic(setting->Italic)
                      .Underlined(setting->Underline)
                      .Strikethrough(setting->StrikeOut));
}

std::string FontText(const wxFont& font, const std::string& oldValue) {
    FontChoice choice;
    choice.Face = Utf8(font.GetFaceName());
    // The face is the first field of a comma-separated text: a comma in it would shift the rest.
    std::erase(choice.Face, ',');
    // Rounding the height down keeps a whole point size whole when the model rounds it back up.
    choice.PixelHeight =
        static_cast<int>(std::floor(font.GetFractionalPointSize() * kScreenDotsPerInch / 72.0));
    choice.Weight = font.GetNumericWeight();
    choice.Italic = font.GetStyle() != wxFONTSTYLE_NORMAL;
    choice.Underline = font.GetUnderlined();
    choice.StrikeOut = font.GetStrikethrough();
    // The toolkit knows no character-set numbers; the one the report came with is kept.
    if (const std::optional<FontSetting> old = DecodeFont(oldValue)) choice.CharSet = old->CharSet;
    return EncodeFont(choice);
}

std::optional<wxColour> ItemColour(const wxVariant& value) {
    wxColour colour;
    if (value.GetType() == wxS("wxColour")) {
        colour << value;
    } else if (value.GetType() == wxS("wxColourPropertyValue")) {
        wxColourPropertyValue chosen;
        chosen << value;
        colour = chosen.m_colour;
    }
    if (!colour.IsOk()) return std::nullopt;
    return colour;
}

std::string ShownPath(const std::string& value, const std::string& programFolder) {
    if (value.empty()) return value;
    const std::string path = ToNativePath(value);
    return IsAbsolutePath(path) ? path : programFolder + path;
}

}  // namespace

std::optional<std::string> NormalisedTime(const wxString& text) {
    const std::string plain = Utf8(text);
    int fields[3] = {0, 0, 0};
    int count = 0, digits = 0;
    for (const char c : plain) {
        if (c >= '0' && c <= '9') {
            if (count == 3 || ++digits > 2) return std::nullopt;
            fields[count] = fields[count] * 10 + (c - '0');
        } else if (c == ':' && digits > 0 && count < 2) {
            ++count;
            digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || count == 0) return std::nullopt;
    if (fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return std::nullopt;
    return EncodeTime(fields[0], fields[1], fields[2]);
}

TimeProperty::TimeProperty(const wxString& label, const wxString& name, const wxString& value)
    : wxStringProperty(label, name, value) {}

bool TimeProperty::ValidateValue(wxVariant& value, wxPGValidationInfo& info) const {
    const wxString text = value.GetString().Strip(wxString::both);
    if (text.empty()) return true;  // clearing the time is allowed
    const std::optional<std::string> time = NormalisedTime(text);
    if (!time) {
        info.SetFailureMessage(_("Enter a time of day as HH:MM:SS."));
        return false;
    }
    value = FromUtf8(*time);
    return true;
}

DialogTextProperty::DialogTextProperty(const wxString& label, const wxString& name,
                                       unsigned editorId, DialogEditor editor)
    : wxLongStringProperty(label, name), editorId_(editorId), editor_(std::move(editor)) {}

bool DialogTextProperty::DisplayEditorDialog(wxPropertyGrid* grid, wxVariant& value) {
    if (!editor_) return wxLongStringProperty::DisplayEditorDialog(grid, value);
    wxString text = value.GetString();
    if (!editor_(grid, editorId_, text)) return false;
    value = text;
    return true;
}

wxPGProperty* MakePropertyItem(const COvInfoProp& prop, const wxString& label, const wxString& name,
                               const ItemSources& sources) {
    wxPGProperty* item = nullptr;
    if (IsCheckList(prop, sources)) {
        item = new wxMultiChoiceProperty(label, name, ListNames(sources.Entries, prop.ComboId),
                                         wxArrayString());
        ShowStoredValue(*item, prop, sources);
        return item;
    }
    switch (prop.Kind) {
        case PropKind::Boolean:
            item = new wxBoolProperty(label, name);
            item->SetAttribute(wxPG_BOOL_USE_CHECKBOX, true);
            break;
        case PropKind::Colour:
            item = new wxColourProperty(label, name);
            break;
        case PropKind::List: {
            wxPGChoices choices = ListChoices(sources.Entries, prop.ComboId);
            item = new wxEnumProperty(label, name, choices);
            break;
        }
        case PropKind::DateTime:
            if (IsTimeFormat(prop.ComboId)) {
                item = new TimeProperty(label, name, wxString());
            } else {
                item = new wxDateProperty(label, name);
                item->SetAttribute(wxPG_DATE_FORMAT, wxS("%Y-%m-%d"));
                item->SetAttribute(wxPG_DATE_PICKER_STYLE,
                                   static_cast<long>(wxDP_DROPDOWN | wxDP_SHOWCENTURY));
            }
            break;
        case PropKind::Font:
            item = new wxFontProperty(label, name);
            break;
        case PropKind::File:
            item = new wxFileProperty(label, name);
            item->SetAttribute(wxPG_FILE_INITIAL_PATH, FromUtf8(sources.ProgramFolder));
            break;
        case PropKind::Folder:
            item = new wxDirProperty(label, name);
            break;
        case PropKind::DialogText:
            item = new DialogTextProperty(label, name, prop.ComboId, sources.Dialog);
            break;
        default:
            if (prop.Kind == PropKind::Text && prop.ComboId == kLongTextComboId &&
                !prop.IsOption(PropFlag::Secret)) {
                item = new wxLongStringProperty(label, name);
            } else {
                item = new wxStringProperty(label, name);
            }
            break;
    }
    ShowStoredValue(*item, prop, sources);
    return item;
}

void ShowStoredValue(wxPGProperty& item, const COvInfoProp& prop, const ItemSources& sources) {
    if (IsCheckList(prop, sources)) {
        wxArrayString ticked;
        for (const wxString& entry : ListNames(sources.Entries, prop.ComboId))
            if (IsEntryTicked(prop.Value, Utf8(entry))) ticked.Add(entry);
        item.SetValue(wxVariant(ticked));
        return;
    }
    switch (prop.Kind) {
        case PropKind::Boolean:
            // The text is what is saved; ValueIndex of a copy made at its default can lag behind.
            item.SetValue(wxVariant(std::atoi(prop.Value.c_str()) != 0));
            return;
        case PropKind::Colour: {
            // No colour (the page's own) is not black.
            const std::optional<Rgb> stored = DecodeColour(prop.Value);
            if (!stored) {
                item.SetValueToUnspecified();
                return;
            }
            const Rgb rgb = *stored;
            wxVariant value;
            value << wxColour(rgb.Red, rgb.Green, rgb.Blue);
            item.SetValue(value);
            return;
        }
        case PropKind::List: {
            const long position = prop.Value.empty() || !sources.Entries
                                      ? -1
                                      : EntryPosition(*sources.Entries, prop.ComboId, prop.Value);
            if (position < 0 || position >= static_cast<long>(item.GetChoices().GetCount())) {
                item.SetValueToUnspecified();
            } else {
                item.SetValue(wxVariant(position));
            }
            return;
        }
        case PropKind::DateTime:
            if (IsTimeFormat(prop.ComboId)) {
                item.SetValue(FromUtf8(NormalisedTime(FromUtf8(prop.Value)).value_or("")));
            } else if (IsValidDate(prop.Value)) {
                const int year = std::atoi(prop.Value.substr(0, 4).c_str());
                const int month = std::atoi(prop.Value.substr(5, 2).c_str());
                const int day = std::atoi(prop.Value.substr(8, 2).c_str());
                item.SetValue(
                    wxVariant(wxDateTime(static_cast<wxDateTime::wxDateTime_t>(day),
                                         static_cast<wxDateTime::Month>(month - 1), year)));
            } else {
                item.SetValueToUnspecified();
            }
            return;
        case PropKind::Font: {
            wxVariant value;
            value << StoredFont(prop.Value);
            item.SetValue(value);
            return;
        }
        case PropKind::File:
        case PropKind::Folder:
            item.SetValue(FromUtf8(ShownPath(prop.Value, sources.ProgramFolder)));
            return;
        default:
            item.SetValue(FromUtf8(prop.Value));
            return;
    }
}

wxVariant ListItemValue(const COvInfoProp& prop, const wxVariant& value,
                        const ItemSources& sources) {
    if (prop.Kind != PropKind::List || !sources.Entries || value.GetType() != wxS("string"))
        return value;
    const std::string text = Utf8(value.GetString());
    long position = 0, byName = -1;
    for (const auto& entry : *sources.Entries) {
        if (static_cast<unsigned>(entry->Id) != prop.ComboId) continue;
        if (entry->Caption == text) return wxVariant(position);
        if (byName < 0 && entry->Name == text) byName = position;
        ++position;
    }
    return byName < 0 ? value : wxVariant(byName);
}

std::optional<std::string> EditedText(const COvInfoProp& prop, const wxPGProperty& item) {
    const wxVariant value = item.GetValue();
    if (prop.Kind == PropKind::Custom && value.GetType() == wxS("arrstring")) {
        std::vector<std::string> chosen;
        for (const wxString& entry : value.GetArrayString()) chosen.push_back(Utf8(entry));
        return EncodeMultiValue(chosen);
    }
    switch (prop.Kind) {
        case PropKind::Boolean:
            if (value.IsNull()) return std::nullopt;
            return value.GetBool() ? "1" : "0";
        case PropKind::Colour: {
            const std::optional<wxColour> colour = ItemColour(value);
            if (!colour) return std::nullopt;
            return EncodeColour(Rgb{colour->Red(), colour->Green(), colour->Blue()});
        }
        case PropKind::List: {
            // An unspecified list item still answers with its first entry.
            const int selection = item.IsValueUnspecified() ? -1 : item.GetChoiceSelection();
            if (selection < 0) return std::nullopt;
            return Utf8(item.GetChoices().GetLabel(static_cast<unsigned>(selection)));
        }
        case PropKind::DateTime:
            if (IsTimeFormat(prop.ComboId)) {
                const wxString text = value.IsNull() ? wxString() : value.GetString();
                if (text.empty()) return std::string();
                return NormalisedTime(text);
            }
            if (value.IsNull() || !value.GetDateTime().IsValid()) return std::string();
            return EncodeDate(value.GetDateTime().GetYear(),
                              static_cast<int>(value.GetDateTime().GetMonth()) + 1,
                              value.GetDateTime().GetDay());
        case PropKind::Font: {
            wxFont font;
            font << value;
            if (!font.IsOk()) return std::nullopt;
            return FontText(font, prop.Value);
        }
        default:
            if (value.IsNull()) return std::string();
            return Utf8(value.GetString());
    }
}

}  // namespace orvik::ui
