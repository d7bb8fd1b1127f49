// What every report object (sheet, data source, parameter, grid column set, task) has in common:
// a type tag and an ordered list of properties, its own first and then those its type brings in.
// Objects hold their own properties as members, so they are neither copied nor moved.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/ObjectKind.h"
#include "model/OvInfoProp.h"

class CRegistries;
namespace orvik {
class FrontEnd;
}

class COvInfoObject {
  public:
    COvInfoObject(const COvInfoObject&) = delete;
    COvInfoObject& operator=(const COvInfoObject&) = delete;

    // The first property named `name` (case-sensitive), or null.
    COvInfoProp* GetPropByName(std::string_view name) const;
    // The value of the property `name`, or "" when there is none.
    std::string Get(std::string_view name) const;
    // The object's name (its Name property; ColN for grid column sets).
    std::string NameValue() const;
    // Renames the object's item in the explorer tree.
    void ChangeExplName(orvik::FrontEnd& front, std::string_view text);

    // An element of the object's entry in a report file that this program could not place: the
    // type a missing plug-in would have known (with Replaces set: the property itself was emptied)
    // and the properties that type brought. Written back as read, so a report saved where the
    // plug-in is missing keeps what only the plug-in understands.
    struct KeptElement {
        std::string Name;
        std::string Value;
        bool Replaces = false;
    };

    // The type text the file gave property `name` when no type of that name is known here (the
    // property was emptied and the text kept); "" when the type is known or none was given.
    std::string UnknownType(std::string_view name) const;

    // What the object is (a report object is a sheet here; COvInfoSheet::IsReportObject).
    const orvik::ObjectKind TypeTag;
    std::vector<COvInfoProp*> Props;
    std::vector<KeptElement> KeptElements;
    void* ExplorerItem = nullptr;  // the explorer's handle for the object's tree item

  protected:
    // `registries` (null for an object outside any report) lists the object's live properties.
    COvInfoObject(orvik::ObjectKind typeTag, CRegistries* registries)
        : TypeTag(typeTag), registries_(registries) {}
    ~COvInfoObject();

    // The text `id` in the language of `registries` (built-in English without them), for the
    // captions of properties made with the object.
    static std::string Caption(const CRegistries* registries, int id);
    // Shows the object's properties in the property bar, telling it what kind of object it is.
    void ShowPropAs(orvik::FrontEnd& front, orvik::ObjectKind kind);
    // A new object's properties start at their defaults (a new sheet is visible, a new
    // parameter a string), so what it shows is what a save and a reload give back.
    static void StartAtDefault(COvInfoProp& prop);
    // Appends an own property (at its default) to Props (and, when its caption follows the
    // language, to the live-property list).
    void AddOwn(COvInfoProp& prop, bool live);

    CRegistries* registries_;
};
