#include "persist/ReportFile.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "core/LanguageTexts.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Run.h"
#include "core/SettingsStore.h"
#include "core/TextEncoding.h"
#include "model/PropertyReference.h"
#include "model/PropertyTranslation.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/ParameterValueList.h"
#include "persist/XmlDocument.h"

namespace {

using orvik::MessageBoxButtons;
using orvik::MessageBoxIcon;

void ReportProblem(orvik::Run& run, const std::string& text,
                   MessageBoxIcon icon = MessageBoxIcon::Warning) {
    orvik::ShowMessage(run, text, {}, MessageBoxButtons::Ok, icon);
}

// --- decoding ----------------------------------------------------------------------------------

std::string DeclaredEncoding(std::string_view text) {
    const size_t start = text.find("<?xml");
    if (start == std::string_view::npos || start > 16) return {};
    const size_t end = text.find("?>", start);
    const std::string_view declaration =
        text.substr(start, end == std::string_view::npos ? 200 : end - start);
    const size_t key = declaration.find("encoding");
    if (key == std::string_view::npos) return {};
    const size_t open = declaration.find_first_of("\"'", key);
    if (open == std::string_view::npos) return {};
    const size_t close = declaration.find(declaration[open], open + 1);
    if (close == std::string_view::npos) return {};
    std::string name(declaration.substr(open + 1, close - open - 1));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// Any other declared encoding goes through the C library's converter: the text, or where the
// first byte that is not valid in the encoding stands (npos when the library does not know it).
struct Converted {
    std::optional<std::string> Text;
    size_t BadByte = std::string::npos;
};

Converted ConvertToUtf8(std::string_view bytes, const std::string& encoding) {
    iconv_t converter = iconv_open("UTF-8", encoding.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return {};
    std::string in(bytes), out(bytes.size() * 4 + 16, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    const size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1))
        return {std::nullopt, static_cast<size_t>(inPtr - in.data())};
    out.resize(out.size() - outLeft);
    return {std::move(out)};
}

// --- loading -----------------------------------------------------------------------------------

// Query-builder items of one kind ("MDXC", "MDXR", "MDXD", "MDXF"): one text property per child.
void GetMDXProps(orvik::Run& run, CXmlElement* dsElement, const char* tag, const COvInfoProp& bQ,
                 std::vector<COvInfoProp*>& props) {
    CRegistries& registries = run.Registries();
    for (CXmlElement* child = CXmlDocument::FindFirstChild(dsElement, tag); child;
         child = CXmlDocument::FindNextChild(dsElement)) {
        auto item = std::make_unique<COvInfoProp>(
            bQ.Owner, bQ.Group, tag, "", "", PropFlag::Default, PropKind::Text, 0, nullptr, 1, -1);
        item->Value = child->GetValue();
        if (std::string_view(tag) == "MDXD") {
            item->Flags |= PropFlag::ReadOnly;
        } else {
            // The builder's filter editor edits these in place; the filter text rides along.
            item->Kind = PropKind::Custom;
            item->DefaultValue = child->GetAttribute("Filter");
        }
        props.push_back(item.get());
        registries.AppendedProperties.push_back(std::move(item));
    }
}

// A stored value that names no entry of its list was dropped; say so unless it was the default
// (the picture type's default is deliberately no entry) or a type, which gets its own message.
void NoteDroppedListValue(orvik::Run& run, const COvInfoProp& prop, const std::string& loaded,
                          const COvInfoObject& owner) {
    if (!prop.Value.empty() || loaded.empty() || loaded == prop.DefaultValue) return;
    if (prop.Name == "tpDS" || prop.Name == "tpVW") return;
    ReportProblem(run, "Unknown value <" + loaded + "> of " + prop.Name + " for <" +
                           owner.NameValue() + "> was dropped");
}

// The text a property is stored as in `element`: its child of the same name, or its attribute.
std::string StoredText(CXmlElement* element, const std::string& name, bool fromAttributes) {
    if (fromAttributes) return element->GetAttribute(name);
    CXmlElement* child = CXmlDocument::FindFirstChild(element, name);
    return child ? child->GetValue() : std::string();
}

void LoadProps(orvik::Run& run, CXmlElement* element, COvInfoObject& object, bool fromAttributes) {
    // The list grows while it is loaded: a type value attaches the type's properties behind it.
    for (size_t i = 0; i < object.Props.size(); ++i) {
        const COvInfoProp* prop = WraperProp(run, element, object.Props, i, fromAttributes);
        if (prop->Kind == PropKind::List && prop->ComboId != ListId::None && prop->IsStored()) {
            const std::string text = StoredText(element, prop->Name, fromAttributes);
            NoteDroppedListValue(run, *prop, text.empty() ? prop->DefaultValue : text, object);
            // A value no list knows (a missing plug-in's type) is emptied here, as it always was,
            // but the file keeps it.
            if (!fromAttributes && prop->Value.empty() && !text.empty())
                object.KeptElements.push_back({prop->Name, text, true});
        }
    }
}

// Keeps the child elements of `element` that name no property of `object` (nor one of `placed`,
// which the loader reads itself), so that a save writes them back.
void KeepUnplacedElements(CXmlElement* element, COvInfoObject& object,
                          std::initializer_list<std::string_view> placed) {
    for (const auto& child : element->GetChildren()) {
        const std::string& name = child->GetName();
        if (name.empty() || object.GetPropByName(name)) continue;
        if (std::find(placed.begin(), placed.end(), name) != placed.end()) continue;
        object.KeptElements.push_back({name, child->GetValue(), false});
    }
}

void DropAppended(orvik::Run& run, COvInfoObject& object) {
    for (const COvInfoProp* prop : object.Props) {
        if (prop->Appended) run.Registries().DestroyAppended(prop);
    }
}

// A step's parent is a task loaded before it; anything else makes it a task of its own.
COvInfoAct* ParentTask(const CReport& report, CXmlElement* actElement) {
    CXmlElement* parentElement = CXmlDocument::FindFirstChild(actElement, "ActParent");
    if (!parentElement) return nullptr;
    const std::string& text = parentElement->GetValue();
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return nullptr;
    }
    const size_t position = std::stoul(text);
    return position < report.Tasks.size() ? report.Tasks[position].get() : nullptr;
}

void LoadDataSource(orvik::Run& run, CXmlElement* element) {
    CReport& report = run.Report();
    auto ds = std::make_unique<COvInfoDS>(&run.Registries(), GroupId::DataSource);
    LoadProps(run, element, *ds, false);
    KeepUnplacedElements(element, *ds, {"MDXC", "MDXR", "MDXD", "MDXF"});
    if (ds->Name.Value.empty()) {
        ReportProblem(run, "A data source without a name was dropped");
        DropAppended(run, *ds);
        return;
    }
    if (const COvInfoProp* bQ = ds->GetPropByName("bQ"); bQ && bQ->ValueIndex == 0) {
        for (const char* tag : {"MDXC", "MDXR", "MDXD", "MDXF"})
            GetMDXProps(run, element, tag, *bQ, ds->Props);
    }
    COvInfoDS& added = *report.DataSources.emplace_back(std::move(ds));
    if (run.Registries().AddComboValue(ListId::DataSources, added.Name.Value, added.Name.Value,
                                       -1) &&
        added.tpDS.Value.empty()) {
        ReportProblem(run, "Unknown Type <" + report.LastLoadedType + "> for DS = <" +
                               added.Name.Value + ">;\nthe necessary PlugIn can not be loaded");
    }
}

void LoadParameter(orvik::Run& run, CXmlElement* element) {
    CReport& report = run.Report();
    auto prm = std::make_unique<COvInfoPrm>(&run.Registries(), GroupId::Param);
    LoadProps(run, element, *prm, false);
    KeepUnplacedElements(element, *prm, {});
    COvInfoPrm& added = *report.Params.emplace_back(std::move(prm));
    added.PrmVal.Caption = added.Name.Value;
    if (report.ReportObject) report.ReportObject->Props.push_back(&added.PrmVal);
}

void LoadTask(orvik::Run& run, CXmlElement* element) {
    CReport& report = run.Report();
    auto task = std::make_unique<COvInfoAct>(&run.Registries(), GroupId::Task);
    LoadProps(run, element, *task, false);
    task->Parent = ParentTask(report, element);
    // A top-level task's type is dropped on purpose (below), not kept for a plug-in.
    KeepUnplacedElements(element, *task, {"ActParent", "AType"});
    if (!task->Parent) {
        // A task is a name, not a step: it has no type. What the type brought in stays in the
        // list, so a file that gave a task a step's settings keeps them when saved again.
        std::erase(task->Props, &task->AType);
    } else {
        // Whether to deliver after a failure is the task's choice, not each step's.
        std::erase(task->Props, &task->SendAfterFailure);
    }
    report.Tasks.push_back(std::move(task));
}

void LoadSheet(orvik::Run& run, CXmlElement* element) {
    CReport& report = run.Report();
    CXmlElement* nameElement = CXmlDocument::FindFirstChild(element, "Name");
    if (!nameElement || nameElement->GetValue().empty()) {
        if (!report.ReportObject) return;
        // The report object also lists the value of every parameter read so far; those values
        // came from their own PRM elements and are not in this one, so reading them here would
        // set them back to their defaults when a PRM stands before the report's SHEET.
        std::vector<COvInfoProp*>& props = report.ReportObject->Props;
        std::vector<COvInfoProp*> values;
        for (const auto& prm : report.Params) values.push_back(&prm->PrmVal);
        std::erase_if(props, [&values](COvInfoProp* prop) {
            return std::find(values.begin(), values.end(), prop) != values.end();
        });
        LoadProps(run, element, *report.ReportObject, false);
        // The parameter values it lists are written from their parameters.
        KeepUnplacedElements(element, *report.ReportObject, {"PrmVal"});
        props.insert(props.end(), values.begin(), values.end());
        return;
    }
    auto sheet = std::make_unique<COvInfoSheet>(&run.Registries(), GroupId::List);
    LoadProps(run, element, *sheet, false);
    KeepUnplacedElements(element, *sheet, {"GCols"});
    if (CXmlElement* columns = CXmlDocument::FindFirstChild(element, "GCols")) {
        for (const auto& child : columns->GetChildren()) {
            auto column = std::make_unique<COvInfoGCols>(&run.Registries(), GroupId::GridColumns);
            column->Key = child->GetName().empty() ? std::string() : child->GetName().substr(1);
            LoadProps(run, child.get(), *column, true);
            sheet->GridColumns.push_back(std::move(column));
        }
    }
    if (sheet->tpVW.Value.empty()) {
        ReportProblem(run, "Unknown View Type <" + report.LastLoadedType + "> for Sheet = <" +
                               sheet->Name.Value + ">;\nthe necessary PlugIn can be not loaded");
    }
    report.Sheets.push_back(std::move(sheet));
}

// Whether `path` can be read as a report: an existing regular file. Opened without blocking, so
// a FIFO (or a device) named as the report is refused instead of stalling the program until some
// writer turns up.
bool IsReadableRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

// Parses the report file at `path` into `document`. Returns why a load must stop there ("" when
// it can go on); `warning` gets what is worth saying about a file that still reads.
std::string ParseReportFile(const std::string& path, CXmlDocument& document, std::string& warning) {
    const auto bytes = CXmlDocument::ReadFileBytes(path);
    if (!bytes) {
        std::error_code error;
        if (std::filesystem::file_size(path, error) == 0 && !error)
            return "The report file " + path + " is empty: there is no report in it";
        return "Cannot open XML file " + path;
    }
    const std::string encoding = DeclaredEncoding(*bytes);
    if ((encoding == "windows-1251" || encoding == "cp1251") && orvik::IsValidUtf8(*bytes) &&
        std::any_of(bytes->begin(), bytes->end(),
                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        warning = "The report file " + path +
                  " declares windows-1251 but its text is UTF-8: it was probably saved as UTF-8 "
                  "by an editor, and its letters will show garbled; change its first line to "
                  "encoding=\"UTF-8\"";
    }
    std::string problem;
    std::optional<std::string> text = DecodeReportText(*bytes, &problem);
    if (!text)
        return "The report file " + path + " cannot be read: " + problem +
               "; nothing of it was loaded";
    CXmlDocument::DropCarriageReturns(*text);
    document.Parse(std::move(*text));
    if (const auto deep = document.TooDeepAt()) {
        // No report nests like this; whatever was read of it would be a part taken for the whole.
        const std::string& xml = document.GetXml();
        const auto line = 1 + std::count(xml.begin(), xml.begin() + static_cast<long>(*deep), '\n');
        return "The report file " + path + " is damaged: its elements nest deeper than " +
               std::to_string(CXmlDocument::kMaxDepth) + " levels (at line " +
               std::to_string(line) + "); nothing of it was loaded";
    }
    if (!document.RootClosed()) {
        // What was read may be any part of the report; run or saved, it would lose the rest.
        return "The report file " + path + " is damaged: it ends (after " +
               std::to_string(bytes->size()) +
               " bytes) before its root element closes; nothing of it was loaded";
    }
    return {};
}

std::string CannotOpenText(const std::string& path) {
    return "Cannot open file " + path + " !";
}

// Reads the objects of the file into the (empty) report; false (reported) when the file is empty
// or cannot be read.
bool ReadObjects(orvik::Run& run, const std::string& path) {
    CXmlDocument document;
    std::string warning;
    const std::string error = ParseReportFile(path, document, warning);
    if (!warning.empty()) ReportProblem(run, warning, MessageBoxIcon::Warning);
    if (!error.empty()) {
        ReportProblem(run, error, MessageBoxIcon::Error);
        return false;
    }
    CXmlElement* root = document.GetRootElement();
    for (const auto& child : root->GetChildren()) {
        const std::string& name = child->GetName();
        if (name == "DS" || name == "DSs") {
            LoadDataSource(run, child.get());
        } else if (name == "PRM" || name == "PRMs") {
            LoadParameter(run, child.get());
        } else if (name == "ACT") {
            LoadTask(run, child.get());
        } else if (name == "SHEET") {
            LoadSheet(run, child.get());
        }
    }
    return true;
}

int Load(orvik::Run& run, const std::string& path) {
    CReport& report = run.Report();
    if (!IsReadableRegularFile(path)) {
        ReportProblem(run, CannotOpenText(path), MessageBoxIcon::Error);
        return 0;
    }
    // An unreadable file still leaves the designer showing the (empty) report it now has.
    if (ReadObjects(run, path)) report.Loaded = true;

    // Reading is not running: nothing here connects to a database or builds the page. The
    // parameters get what needs no data (editors, references, element lists); a session or the
    // designer runs the rest.
    for (const auto& sheet : report.Sheets) run.Front().CreateViewDS(*sheet);
    for (const auto& prm : report.Params) BindParameterWithoutData(run, *prm);
    run.Front().RebuildExplorer();
    TranslateProperties(run.Language(), run.Registries(), -1);
    if (report.ReportObject) report.ReportObject->ShowProp(run.Front());
    return 1;
}

// --- saving ------------------------------------------------------------------------------------

void AddProps(CXmlDocument& document, CXmlElement* element, const COvInfoObject& object) {
    const COvInfoProp* bQ = object.GetPropByName("bQ");
    const bool builtWithBuilder = bQ && bQ->Value == "0";
    for (const COvInfoProp* prop : object.Props) {
        if (!prop->IsStored() || prop->Value.empty()) continue;
        if (prop->Name == "Qry" && builtWithBuilder) continue;
        CXmlElement* child = document.AddElement(
            element, prop->Name,
            prop->IsOption(PropFlag::FileSecret) ? orvik::ProtectSecret(prop->Value) : prop->Value);
        if (prop->Name.compare(0, 3, "MDX") == 0 && !prop->DefaultValue.empty()) {
            child->SetAttributes(CXmlElement::FormatAttribute("Filter", prop->DefaultValue));
        }
    }
    for (const COvInfoObject::KeptElement& kept : object.KeptElements) {
        const COvInfoProp* prop = object.GetPropByName(kept.Name);
        // A kept type stands in for its emptied property until someone sets it; any other kept
        // element only while no property of that name has come.
        if (kept.Replaces ? prop && !prop->Value.empty() : prop != nullptr) continue;
        document.AddElement(element, kept.Name, kept.Value);
    }
}

bool ColumnIsCustomised(const COvInfoGCols& column) {
    return !column.ColT.Value.empty() && !column.ColN.Value.empty() &&
           (column.ColN.Value != column.ColN.DefaultValue || column.ColT.Value != "DEF");
}

void BuildDocument(orvik::Run& run, CXmlDocument& document) {
    CReport& report = run.Report();
    document.Reset();
    CXmlElement* root = document.GetRootElement();
    root->SetName("root");

    for (const auto& ds : report.DataSources)
        AddProps(document, document.AddElement(root, "DS"), *ds);

    for (const auto& task : report.Tasks) {
        CXmlElement* element = document.AddElement(root, "ACT");
        if (task->Parent) {
            for (size_t i = 0; i < report.Tasks.size(); ++i) {
                if (report.Tasks[i].get() == task->Parent) {
                    document.AddElement(element, "ActParent", std::to_string(i));
                    break;
                }
            }
        }
        AddProps(document, element, *task);
    }

    std::vector<const COvInfoSheet*> sheets;
    if (report.ReportObject) sheets.push_back(report.ReportObject.get());
    for (const auto& sheet : report.Sheets) sheets.push_back(sheet.get());
    for (const COvInfoSheet* sheet : sheets) {
        CXmlElement* element = document.AddElement(root, "SHEET");
        AddProps(document, element, *sheet);
        if (sheet->GridColumns.empty()) continue;
        CXmlElement* columns = document.AddElement(element, "GCols");
        for (const auto& column : sheet->GridColumns) {
            if (!ColumnIsCustomised(*column)) continue;
            std::string attributes;
            for (const COvInfoProp* prop : column->Props) {
                if (prop->IsStored() && !prop->Value.empty()) {
                    attributes += CXmlElement::FormatAttribute(prop->Name, prop->Value) + " ";
                }
            }
            document.AddElement(columns, "C" + column->Key)->SetAttributes(attributes);
        }
    }

    for (const auto& prm : report.Params) {
        if (prm->PrmVal.Kind == PropKind::Reference) {
            if (COvInfoProp* cprop = prm->GetPropByName("cprop")) {
                cprop->Value = FormatPropertyReference(
                    report, static_cast<const COvInfoProp*>(prm->PrmVal.SelectedCombo));
            }
        }
        AddProps(document, document.AddElement(root, "PRM"), *prm);
    }
}

// Writes the report to `path` and clears its modified mark; the error text, or "" once written.
std::string WriteReport(orvik::Run& run, const std::string& path) {
    CReport& report = run.Report();
    CXmlDocument document;
    BuildDocument(run, document);
    document.SetHeader(std::string(kReportHeaderCp1251));
    std::string text = document.Generate();
    if (auto legacy = orvik::Utf8ToCp1251(text)) {
        text = std::move(*legacy);
    } else {
        document.SetHeader(std::string(kReportHeaderUtf8));
        text = document.Generate();
    }
    try {
        CXmlDocument::WriteFileText(path, text);
    } catch (const std::exception& error) {
        return "Cannot save file " + path + " ! (" + error.what() + ")";
    }
    report.Modified = false;
    return {};
}

int Save(orvik::Run& run, const std::string& path) {
    const std::string error = WriteReport(run, path);
    if (error.empty()) return 1;
    ReportProblem(run, error, MessageBoxIcon::Error);
    return 0;
}

}  // namespace

std::optional<std::string> DecodeReportText(std::string_view bytes, std::string* problem) {
    const std::string encoding = DeclaredEncoding(bytes);
    // A file that says what it is in and is not is damaged or mislabelled: read as anything
    // else, its letters would silently turn into others.
    const auto refuse = [&](size_t at) -> std::optional<std::string> {
        if (problem) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(bytes[at]);
            *problem = "it declares encoding=\"" + encoding + "\" but the byte at offset " +
                       std::to_string(at) + " (0x" + kHex[byte >> 4] + kHex[byte & 15] +
                       ") is not valid in it";
        }
        return std::nullopt;
    };
    if (encoding == "utf-8" || encoding == "utf8") {
        const size_t bad = orvik::FirstInvalidUtf8(bytes);
        if (bad != std::string_view::npos) return refuse(bad);
        return std::string(bytes);
    }
    if (encoding == "windows-1251" || encoding == "cp1251") return orvik::Cp1251ToUtf8(bytes);
    if (encoding == "us-ascii" || encoding == "ascii") {
        const auto bad = std::find_if(bytes.begin(), bytes.end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        if (bad != bytes.end()) return refuse(static_cast<size_t>(bad - bytes.begin()));
        return std::string(bytes);
    }
    if (!encoding.empty()) {
        Converted converted = ConvertToUtf8(bytes, encoding);
        if (converted.Text) return std::move(*converted.Text);
        if (converted.BadByte < bytes.size()) return refuse(converted.BadByte);
    }
    return orvik::DecodeLegacyText(bytes);
}

std::string ResolveReportPath(orvik::Run& run, std::string_view path) {
    std::string resolved =
        orvik::ToNativePath(path.empty() ? std::string_view(run.Report().CurrentDocPath) : path);
    if (!resolved.empty() && resolved.find('/') == std::string::npos)
        resolved = run.ProgramFolder() + resolved;
    return resolved;
}

COvInfoProp* WraperProp(orvik::Run& run, CXmlElement* element, std::vector<COvInfoProp*>& props,
                        size_t index, bool fromAttributes) {
    CReport& report = run.Report();
    COvInfoProp* prop = props[index];
    if (!prop->IsStored()) return prop;
    std::string value = StoredText(element, prop->Name, fromAttributes);
    if (value.empty()) value = prop->DefaultValue;
    // A clear value, typed into the file by hand, reads as it stands.
    if (prop->IsOption(PropFlag::FileSecret)) value = orvik::UnprotectSecret(value);
    if (prop->Name == "Qry") {
        // The reader drops every CR; queries are held with CR LF line ends.
        std::string withCr;
        withCr.reserve(value.size() + value.size() / 32);
        for (const char c : value) {
            if (c == '\n') withCr += '\r';
            withCr += c;
        }
        value = std::move(withCr);
    }
    prop->Value = value;
    if (prop->IsOption(PropFlag::Integer)) prop->ValueIndex = std::atoi(value.c_str());
    if (prop->Kind == PropKind::List) {
        if (prop->Name == "tpDS" || prop->Name == "tpVW") report.LastLoadedType = value;
        // Choices built later (cubes, tables, columns, properties) have no list to check against.
        if (prop->ComboId != ListId::None) run.Registries().PrepareNewCombo(*prop, props, false);
    }
    return prop;
}

int SerializeXML(orvik::Run& run, std::string_view path, int save) {
    const std::string resolved = ResolveReportPath(run, path);
    return save ? Save(run, resolved) : Load(run, resolved);
}

int SaveDocument(orvik::Run& run, std::string_view path) {
    return SerializeXML(run, path, 1);
}

std::string WriteReportFile(orvik::Run& run, std::string_view path) {
    return WriteReport(run, ResolveReportPath(run, path));
}

std::string ReportFileProblem(orvik::Run& run, std::string_view path) {
    // An empty path is no file at all here, not the report's own.
    const std::string resolved = path.empty() ? std::string() : ResolveReportPath(run, path);
    if (!IsReadableRegularFile(resolved)) return CannotOpenText(resolved);
    CXmlDocument document;
    std::string warning;
    return ParseReportFile(resolved, document, warning);
}
