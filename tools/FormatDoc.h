// The reference of the report file format (docs/report-format.md), written from the property
// schema the program builds at start-up, so that the page names exactly the elements, values and
// defaults the program reads and writes and cannot fall behind them. The prose lives in a template
// (docs/report-format.md.in); each line "<!-- schema: NAME -->" in it is replaced by the tables of
// one object: its own properties, then, for each type it can have, what that type brings in.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class COvInfoObject;
class COvInfoProp;
class COvCombos;

namespace orvik {
class AppContext;
}

namespace orvik::formatdoc {

// A fault in the template, the notes or the schema that would make the page wrong or incomplete,
// so no page is written. The message says what to fix.
class FormatDocError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Descriptions the schema does not carry. A property is keyed "<block>.<name>" ("DS.Qry") or, for
// the property one type brings in, "<block>.<type>.<name>" ("ACT.FTP.Files"), which is looked up
// first; a type value is keyed "<block>.<property>=<value>" ("ACT.AType=HTML").
using Notes = std::map<std::string, std::string, std::less<>>;

// A child of an object's element that belongs to the file's structure rather than to a property
// ("ActParent"); listed in the object's table (or under one of its types) so that the table names
// everything the file holds.
struct FileElement {
    std::string Block;
    std::string Type;  // "<property>=<value>" when it belongs to one type, else ""
    std::string Name;
    std::string Meaning;
    std::string Value;
};

// The notes and file elements of the program's own schema.
const Notes& BuiltinNotes();
const std::vector<FileElement>& BuiltinFileElements();

// The blocks a template can ask for: "report", "SHEET", "GCols", "DS", "PRM", "ACT", "settings".
class FormatReference {
  public:
    // Makes one object of each kind in `context`, whose schema must be built, and starts a new
    // report there.
    FormatReference(AppContext& context, Notes notes = BuiltinNotes(),
                    std::vector<FileElement> fileElements = BuiltinFileElements());
    ~FormatReference();
    FormatReference(const FormatReference&) = delete;
    FormatReference& operator=(const FormatReference&) = delete;

    // The Markdown of block `name`. Throws FormatDocError for an unknown block, a property or type
    // whose caption is only its name and that has no note, and a property of a kind this page
    // cannot describe.
    std::string Block(std::string_view name);

    // `templateText` with every marker line replaced by its block and a first line saying the page
    // is generated. Throws FormatDocError when a block is missing, asked for twice or unknown, or
    // when a note or file element names nothing in the schema.
    std::string Fill(std::string_view templateText);

  private:
    struct Objects;

    std::string ObjectBlock(std::string_view block, const COvInfoObject& object);
    void TypeSections(std::string& out, std::string_view block, const COvInfoProp& prop, int level);
    void Table(std::string& out, std::string_view block, std::string_view type,
               const std::vector<const COvInfoProp*>& props);
    std::string SettingsBlock();
    std::string Meaning(std::string_view block, std::string_view type, const COvInfoProp& prop);
    std::string ValueText(const COvInfoProp& prop) const;
    std::string DefaultText(const COvInfoProp& prop) const;
    std::string GroupCaption(int group) const;
    std::vector<const COvCombos*> Entries(unsigned listId) const;
    std::vector<const COvInfoProp*> TemplatesOf(const COvCombos* entry) const;
    bool HasTypeSections(const COvInfoProp& prop) const;
    const std::string* FindNote(std::string_view key);

    AppContext& context_;
    Notes notes_;
    std::vector<FileElement> fileElements_;
    std::set<std::string, std::less<>> usedNotes_;
    std::set<size_t> usedFileElements_;
    std::unique_ptr<Objects> objects_;
};

}  // namespace orvik::formatdoc
