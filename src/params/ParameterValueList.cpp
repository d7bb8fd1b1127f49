#include "params/ParameterValueList.h"

#include <algorithm>
#include <memory>

#include "core/Log.h"
#include "core/Run.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "data/ProviderConnection.h"
#include "model/OvInfoPrm.h"
#include "model/PropertyReference.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/DateExpression.h"
#include "params/ValuePlacement.h"

std::vector<std::string> SplitComboElements(std::string_view elements) {
    std::vector<std::string> result;
    while (!elements.empty()) {
        const size_t semicolon = elements.find(';');
        result.emplace_back(elements.substr(0, semicolon));
        if (semicolon == std::string_view::npos) break;
        elements.remove_prefix(semicolon + 1);
    }
    return result;
}

std::string EncodeMultiValue(const std::vector<std::string>& chosen) {
    std::string value;
    for (const std::string& entry : chosen) {
        if (!value.empty()) value += ',';
        value += "[" + entry + "]";
    }
    return value;
}

bool IsEntryTicked(std::string_view value, std::string_view entry) {
    return value.find("[" + std::string(entry) + "]") != std::string_view::npos;
}

std::string DistinctValuesQuery(std::string_view quotedColumn, std::string_view quotedTable,
                                std::string_view condition) {
    std::string query =
        "Select distinct " + std::string(quotedColumn) + " From " + std::string(quotedTable) + " ";
    // A condition read back from a report file has lost its leading blank; "Where" must not run
    // into it.
    if (!condition.empty()) {
        query += "Where";
        if (condition.front() != ' ') query += ' ';
        query += condition;
    }
    return query;
}

namespace {

int NewList(orvik::Run& run, const std::vector<std::string>& entries) {
    CRegistries& registries = run.Registries();
    const int list = registries.AddUserCombo();
    for (const std::string& entry : entries) registries.AddComboValue(list, entry, entry, -1);
    return list;
}

// Offers `list` through `prop`: a drop-down, or the check-list chooser for several values at once.
void OfferList(COvInfoProp& prop, int list, bool multiSelect) {
    prop.Kind = multiSelect ? PropKind::Custom : PropKind::List;
    prop.ComboId = static_cast<unsigned>(list);
}

void BindReference(orvik::Run& run, COvInfoPrm& prm, bool bShow) {
    COvInfoProp* cprop = prm.GetPropByName("cprop");
    if (!cprop) return;
    // The property chooser that edits the reference belongs to the designer.
    cprop->Kind = PropKind::Custom;
    if (bShow) {
        prm.ShowProp(run.Front());
        return;
    }
    if (!cprop->DefaultValue.empty()) cprop->Value = cprop->DefaultValue;
    COvInfoProp* target = ResolvePropertyReference(run.Report(), cprop->Value);
    if (!target) return;
    prm.PrmVal.Kind = PropKind::Reference;
    prm.PrmVal.SelectedCombo = target;
    cprop->Value = target->Value;
}

void BuildElementList(orvik::Run& run, COvInfoPrm& prm) {
    const COvInfoProp* elements = prm.GetPropByName("cmbels");
    if (!elements || elements->Value.empty()) return;
    OfferList(prm.PrmVal, NewList(run, SplitComboElements(elements->Value)),
              prm.Type.Value != "pcmb");
}

// A table or column name as the database spells it. The display cleaning of cell texts (leading
// blanks, doubled spaces) would offer a name the values query then cannot find.
std::string NameText(const Variant& value) {
    return value.Type() == VariantType::String ? value.AsString() : VariantToText(value);
}

// Reads field `field` of every row of a schema or query result; with `onlyTable`, only rows whose
// field 2 (the table) equals it. Repeats of the entry just before are skipped when `skipRepeats`.
// Schema rows give names, read as they are; query rows give values, read as display texts.
std::vector<std::string> ReadColumn(CADORecordset& rows, int field, const std::string* onlyTable,
                                    bool skipRepeats, bool names) {
    std::vector<std::string> values;
    for (rows.MoveFirst(); !rows.IsEOF(); rows.MoveNext()) {
        Variant value;
        if (onlyTable) {
            rows.GetFieldValue(2, value);
            if (NameText(value) != *onlyTable) continue;
        }
        rows.GetFieldValue(field, value);
        std::string text = names ? NameText(value) : VariantToText(value);
        if (skipRepeats && !values.empty() && values.back() == text) continue;
        values.push_back(std::move(text));
    }
    return values;
}

// The open source a "DScmb" parameter lists from, or null (the user was told).
COvInfoDS* OpenListSource(orvik::Run& run, const COvInfoPrm& prm, const COvInfoProp& cDS) {
    COvInfoDS* ds = nullptr;
    for (const auto& candidate : run.Report().DataSources) {
        if (candidate->Name.Value == cDS.Value) {
            ds = candidate.get();
            break;
        }
    }
    // A list may name a source no sheet shows; it is connected here rather than left unusable.
    if (ds && !ds->DSN.Value.empty() && !(ds->Connection && ds->Connection->IsOpen())) {
        ds->OpenConnectDS(run, false);
    }
    if (!ds || !ds->Connection || !ds->Connection->IsOpen() || ds->DSN.Value.empty()) {
        const std::string why = !ds                     ? "the report has no such data source"
                                : ds->DSN.Value.empty() ? "the data source has no connection string"
                                                        : "its connection could not be opened";
        orvik::ShowMessage(run,
                           "WraperParam::DS is not open! (parameter '" + prm.Name.Value +
                               "' could not read its list from data source '" + cDS.Value +
                               "': " + why + ")",
                           {}, orvik::MessageBoxButtons::Ok, orvik::MessageBoxIcon::Warning);
        return nullptr;
    }
    return ds;
}

// The distinct values of the column a "DScmb" parameter lists from.
std::vector<std::string> DistinctValues(COvInfoDS& ds, const std::string& table,
                                        const std::string& column, const COvInfoProp* cDSW) {
    CADORecordset rows(ds.Connection.get());
    const CProviderConnection& provider = ds.Connection->Provider();
    rows.Open(DistinctValuesQuery(provider.QuoteIdentifier(column), provider.QuoteIdentifier(table),
                                  cDSW ? cDSW->Value : ""));
    return ReadColumn(rows, 0, nullptr, false, false);
}

void BuildDataSourceLists(orvik::Run& run, COvInfoPrm& prm, bool bShow) {
    COvInfoProp* cDS = prm.GetPropByName("cDS");
    COvInfoProp* cDST = prm.GetPropByName("cDST");
    COvInfoProp* cDSC = prm.GetPropByName("cDSC");
    const COvInfoProp* cDSW = prm.GetPropByName("cDSW");
    if (!cDS || !cDST || !cDSC || cDS->Value.empty()) return;
    COvInfoDS* ds = OpenListSource(run, prm, *cDS);
    if (!ds) return;
    try {
        CADORecordset rows(ds->Connection.get());
        if (cDST->Value.empty()) {
            rows.OpenSchema(CADORecordset::schemaColumns);
            OfferList(*cDST, NewList(run, ReadColumn(rows, 2, nullptr, true, true)), false);
            if (!cDST->DefaultValue.empty()) cDST->Value = cDST->DefaultValue;
            if (bShow) prm.ShowProp(run.Front());
        }
        if (cDSC->Value.empty() && !cDST->Value.empty()) {
            rows.OpenSchema(CADORecordset::schemaColumns);
            const auto columns = ReadColumn(rows, 3, &cDST->Value, true, true);
            OfferList(*cDSC, NewList(run, columns), columns.size() > kMaxPlainColumnList);
        }
        if (!cDST->Value.empty() && !cDSC->Value.empty()) {
            OfferList(prm.PrmVal, NewList(run, DistinctValues(*ds, cDST->Value, cDSC->Value, cDSW)),
                      true);
            if (bShow) prm.ShowProp(run.Front());
        }
    } catch (const CADOException& error) {
        UxError(run, error, "ovinfoprm", __LINE__);
    }
}

}  // namespace

namespace {

void BindParameter(orvik::Run& run, COvInfoPrm& prm, bool bShow, bool withData) {
    const std::string& type = prm.Type.Value;
    if (type == "date") {
        prm.PrmVal.Kind = PropKind::DateTime;
    } else if (type == "rprop") {
        BindReference(run, prm, bShow);
    } else if (type.rfind("pcmb", 0) == 0) {
        BuildElementList(run, prm);
    } else if (type == "DScmb" && withData) {
        BuildDataSourceLists(run, prm, bShow);
    }
}

}  // namespace

void BindParameterWithoutData(orvik::Run& run, COvInfoPrm& prm) {
    BindParameter(run, prm, false, false);
}

void WraperParam(orvik::Run& run, COvInfoPrm& prm, bool bShow) {
    BindParameter(run, prm, bShow, true);
}

std::optional<std::vector<std::string>> OfferedValues(orvik::Run& run, COvInfoPrm& prm) {
    const std::string& type = prm.Type.Value;
    if (type == "pcmb" || type == "pcmbm") {
        const COvInfoProp* elements = prm.GetPropByName("cmbels");
        return elements ? SplitComboElements(elements->Value) : std::vector<std::string>{};
    }
    if (type != "DScmb") return std::nullopt;
    const COvInfoProp* cDS = prm.GetPropByName("cDS");
    const COvInfoProp* cDST = prm.GetPropByName("cDST");
    const COvInfoProp* cDSC = prm.GetPropByName("cDSC");
    if (!cDS || !cDST || !cDSC || cDS->Value.empty() || cDST->Value.empty() || cDSC->Value.empty())
        return std::vector<std::string>{};
    COvInfoDS* ds = OpenListSource(run, prm, *cDS);
    if (!ds) return std::vector<std::string>{};
    return DistinctValues(*ds, cDST->Value, cDSC->Value, prm.GetPropByName("cDSW"));
}

std::optional<std::string> ChooseListValue(orvik::Run& run, COvInfoPrm& prm, std::string_view value,
                                           std::string& chosen) {
    chosen = value;
    // A date goes into queries as a date; "~garbage~" would fail every one of them later.
    if (prm.Type.Value == "date") return orvik::WhyNotADate(value);
    std::optional<std::vector<std::string>> offered;
    try {
        offered = OfferedValues(run, prm);
    } catch (const std::exception& error) {
        return std::string("its list could not be read: ") + error.what();
    }
    if (!offered || value.empty()) return std::nullopt;
    const auto isOffered = [&offered](std::string_view entry) {
        return std::find(offered->begin(), offered->end(), entry) != offered->end();
    };
    if (prm.Type.Value == "pcmb") {
        if (isOffered(value)) return std::nullopt;
        return std::string("it is not one of the parameter's list");
    }
    // Several at once: "[a],[b]"; one entry may also be given as it stands.
    if (isOffered(value)) {
        chosen = EncodeMultiValue({std::string(value)});
        return std::nullopt;
    }
    const auto items = orvik::SplitMultiValue(value);
    if (!items) return std::string("it is neither an entry of the list nor [entry],[entry]...");
    for (std::string_view item : *items) {
        if (!isOffered(item))
            return "[" + std::string(item) + "] is not one of the parameter's list";
    }
    return std::nullopt;
}
