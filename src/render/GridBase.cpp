// Filling a sheet's grid from its data source and applying the sheet's look to it.
#include "render/GridBase.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "core/Run.h"
#include "core/TextReplace.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"
#include "data/RecordsetResult.h"
#include "model/DataSourceKind.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoGCols.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/CellSetFill.h"
#include "render/HtmlColours.h"
#include "render/KpiFill.h"

namespace {

CGridBase::KpiFiller& KpiFill() {
    static CGridBase::KpiFiller filler;
    return filler;
}

std::string CellKey(int row, int column) {
    return std::to_string(row) + "_" + std::to_string(column);
}

// The display text of a value exactly as VariantToText gives it, without its cost where that cost
// buys nothing. A million-row fill calls this for every cell, and printf and the locale's date
// formatting were most of the fill's time: integers and reals are spelt with to_chars (which
// rounds as printf does), and date texts are remembered per column, because report columns repeat
// their days. The grid tests compare every kind of value with VariantToText, so the two cannot
// drift apart unnoticed.
class CellTextMaker {
  public:
    // The text of `value`; the view lives until the next call.
    std::string_view Text(const Variant& value) {
        switch (value.Type()) {
            case VariantType::I1:
            case VariantType::UI1:
            case VariantType::I2:
            case VariantType::I4:
            case VariantType::Int:
                return Spell(static_cast<int>(value.AsInt64()));
            case VariantType::UI2:
            case VariantType::UI4:
            case VariantType::UInt:
                return Spell(static_cast<unsigned>(value.AsInt64()));
            case VariantType::I8:
                return Spell(static_cast<long long>(value.AsInt64()));
            case VariantType::UI8:
                return Spell(static_cast<unsigned long long>(value.AsInt64()));
            case VariantType::Date:
                return Remembered(value, value.AsDate());
            case VariantType::R8:
                return Real(value);
            case VariantType::Decimal:
                if (const DecimalValue decimal = value.AsDecimal(); decimal.Scale <= 38)
                    return Exact(decimal);
                [[fallthrough]];
            default:
                text_ = VariantToText(value);
                return text_;
        }
    }

  private:
    struct Slot {
        VariantType Type = VariantType::Empty;
        uint64_t Bits = 0;
        std::string Text;
    };
    static constexpr int kSlotBits = 10;
    static constexpr size_t kSlots = size_t{1} << kSlotBits;

    template <typename Integer>
    std::string_view Spell(Integer number) {
        const auto result = std::to_chars(digits_, digits_ + sizeof digits_, number);
        return {digits_, static_cast<size_t>(result.ptr - digits_)};
    }

    // "%.2f" with blanks every three digits before the point (at most three of them, the sign
    // not counted), as VariantToText spells 8-byte reals. to_chars rounds exactly as printf does.
    std::string_view Real(const Variant& value) {
        const double number = value.AsDouble();
        if (!std::isfinite(number) || std::fabs(number) >= 1e15) return Remembered(value, number);
        char plain[48];
        const auto result =
            std::to_chars(plain, plain + sizeof plain, number, std::chars_format::fixed, 2);
        const size_t length = static_cast<size_t>(result.ptr - plain);
        const size_t sign = plain[0] == '-' ? 1 : 0;
        const size_t integerDigits = length - 3 - sign;
        const size_t groups = std::min<size_t>(integerDigits > 0 ? (integerDigits - 1) / 3 : 0, 3);
        // Digits before the first blank, then groups of three, then the rest as it stands.
        size_t from = 0, to = 0;
        const size_t lead = integerDigits - 3 * groups + sign;
        for (; from < lead; ++from) digits_[to++] = plain[from];
        for (size_t g = 0; g < groups; ++g) {
            digits_[to++] = ' ';
            for (int d = 0; d < 3; ++d) digits_[to++] = plain[from++];
        }
        while (from < length) digits_[to++] = plain[from++];
        return {digits_, to};
    }

    // The exact digits with Scale of them after the point, as DecimalValue::ToText writes them.
    std::string_view Exact(const DecimalValue& decimal) {
        char* const end = digits_ + sizeof digits_;
        char* first = end;
        unsigned __int128 rest = decimal.Mantissa;
        int written = 0;
        // At least one digit before the point, so 0.05 is not written as .05.
        while (rest != 0 || written <= decimal.Scale) {
            if (written == decimal.Scale && decimal.Scale > 0) *--first = '.';
            *--first = static_cast<char>('0' + static_cast<int>(rest % 10));
            rest /= 10;
            ++written;
        }
        if (decimal.Negative) *--first = '-';
        return {first, static_cast<size_t>(end - first)};
    }

    std::string_view Remembered(const Variant& value, double number) {
        if (slots_.empty()) slots_.resize(kSlots);
        const uint64_t bits = std::bit_cast<uint64_t>(number);
        // Fibonacci hashing: whole-day dates differ only in their high mantissa bits.
        Slot& slot = slots_[(bits * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
        if (slot.Type != value.Type() || slot.Bits != bits) {
            slot.Type = value.Type();
            slot.Bits = bits;
            slot.Text = VariantToText(value);
        }
        return slot.Text;
    }

    char digits_[64];
    std::string text_;
    std::vector<Slot> slots_;
};

}  // namespace

void CGridBase::SetKpiFiller(KpiFiller filler) {
    KpiFill() = std::move(filler);
}

void CGridBase::Fill() {
    if (Mode == 0) ListMode = true;
    Editable = false;
    // The result objects belong to the source and die with each re-run: never keep old ones.
    DataSource = nullptr;
    RecordSet = nullptr;
    CellSet = nullptr;
    if (!Sheet || Sheet->cDS.Value.empty() || Sheet->tpVW.Value.empty()) return;
    DataSource = ForRun ? Sheet->GetDS(ForRun->Report().DataSources) : nullptr;
    if (!DataSource) {
        // The sheet names a source the report no longer has; what the grid showed is stale.
        DeleteAllItems();
        return;
    }
    const std::string& type = DataSource->tpDS.Value;
    if (!ForRun->Registries().Types.Kinds.Has(type)) {
        if (!type.empty()) {
            orvik::ShowMessage(*ForRun, "Unknown DSN type = " + type, {},
                               orvik::MessageBoxButtons::Ok, orvik::MessageBoxIcon::Warning);
        }
        return;
    }
    switch (DataSource->Kind().GridFill()) {
        case orvik::GridFillStyle::Table:
            // A result outlives nothing it was read through: a closed connection makes it stale.
            if (!DataSource->Result || !DataSource->Result->IsOpen() ||
                (DataSource->Connection && !DataSource->Connection->IsOpen())) {
                DeleteAllItems();
                return;
            }
            CellSetFlag = 0;
            RecordSet = DataSource->RecordSet.get();
            break;
        case orvik::GridFillStyle::CellSet: {
            CADOMDCellSet* cellSet = DataSource->CellSet.get();
            if (!cellSet || cellSet->GetQuery().empty()) return;
            CellSetFlag = 1;
            CellSet = cellSet;
            break;
        }
        case orvik::GridFillStyle::KpiList:
            CellSetFlag = 0;
            if (KpiFill())
                KpiFill()(*this);
            else
                orvik::FillKpiGrid(*this);
            return;
    }
    DeleteAllItems();
    PruneColumnDefinitions();
    if (CellSetFlag)
        FillCellSet(-2);
    else
        FillTable(*DataSource->Result, -1);
    if (Mode == 0) ApplySheetProperties();
    AutoSize();
    if (Mode == 0) SetFocusCell(0, 0);
}

void CGridBase::RefreshRows() {
    // The source may have run its query again since the last fill, which replaced the result the
    // grid remembered; take the current one.
    DataSource = Sheet && ForRun ? Sheet->GetDS(ForRun->Report().DataSources) : nullptr;
    RecordSet = DataSource ? DataSource->RecordSet.get() : nullptr;
    CellSet = DataSource ? DataSource->CellSet.get() : nullptr;
    if (CellSetFlag) {
        FillCellSet(0);
        return;
    }
    if (!RecordSet || !RecordSet->IsOpen()) return;
    RecordSet->Requery();
    FillRecordSet(0);
}

void CGridBase::PruneColumnDefinitions() {
    if (!Sheet) return;
    orvik::Run* context = ForRun;
    std::erase_if(Sheet->GridColumns, [context](const std::unique_ptr<COvInfoGCols>& column) {
        const bool unchanged =
            column->ColN.Value == column->ColN.DefaultValue && column->ColT.Value == "DEF";
        if (!column->ColT.Value.empty() && !column->ColN.Value.empty() && !unchanged) return false;
        // Properties its type brought in (bar colours, picture files) go with it.
        if (context) {
            for (const COvInfoProp* prop : column->Props) {
                if (prop != &column->ColN && prop != &column->ColT)
                    context->Registries().DestroyAppended(prop);
            }
        }
        return true;
    });
}

std::string CGridBase::CleanFieldTitle(std::string name) {
    orvik::ReplaceAll(name, ".[MEMBER_CAPTION]", "");
    orvik::ReplaceAll(name, "[Measures].", "");
    return name;
}

bool CGridBase::IsNumericType(VariantType type) {
    switch (type) {
        case VariantType::I1:
        case VariantType::UI1:
        case VariantType::I2:
        case VariantType::UI2:
        case VariantType::I4:
        case VariantType::UI4:
        case VariantType::I8:
        case VariantType::UI8:
        case VariantType::Int:
        case VariantType::UInt:
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Currency:
        case VariantType::Decimal:
            return true;
        default:
            return false;
    }
}

std::string CGridBase::ColumnTitle(int column, const std::string& title) {
    if (!Sheet) return title;
    const std::string key = CellKey(0, column);
    for (const auto& definition : Sheet->GridColumns) {
        if (definition->Key == key) {
            definition->ColT.DefaultValue = definition->ColN.Value;
            return definition->ColN.Value;
        }
    }
    CRegistries* registries = ForRun ? &ForRun->Registries() : nullptr;
    auto definition = std::make_unique<COvInfoGCols>(registries, GroupId::GridColumns);
    definition->ColN.DefaultValue = title;
    definition->ColN.Value = title;
    definition->ColT.Value = definition->ColT.DefaultValue;
    definition->Key = key;
    if (registries) registries->PrepareNewCombo(definition->ColT, definition->Props, true);
    Sheet->GridColumns.push_back(std::move(definition));
    return title;
}

void CGridBase::FillRecordSet(int start) {
    if (!RecordSet || !RecordSet->IsOpen()) return;
    FillTable(orvik::RecordsetResult(*RecordSet), start);
}

void CGridBase::FillTable(const orvik::ResultTable& result, int start) {
    if (!result.IsOpen()) return;
    const bool kpi = DataSource && DataSource->Kind().GridFill() == orvik::GridFillStyle::KpiList;
    if (start == -1) {
        const int fields = result.ColumnCount();
        SetColumnCount(fields);
        SetFixedRowCount(1);
        SetFixedColumnCount(0);
        if (fields > 0) SetColumnWidth(0, 20);
        for (int i = 0; i < fields; ++i) {
            std::string title = CleanFieldTitle(result.Header(i));
            if (!kpi) title = ColumnTitle(i, title);
            SetItemText(0, i, title);
        }
    }
    int row = start >= 1 ? GetRowCount() : 1;
    const long records = result.RowCount();
    ReserveRows(row + static_cast<int>(std::min<long>(records, 1 << 30)));
    const int fields = std::min(result.ColumnCount(), GetColumnCount());
    std::vector<CellTextMaker> makers(static_cast<size_t>(std::max(fields, 0)));
    std::vector<Variant> values(static_cast<size_t>(std::max(fields, 0)));
    std::string indicator;
    // A window shows the first rows as soon as they are in, and then the progress; the rows in
    // the grid so far are complete whenever it is told.
    constexpr long kFirstScreenRows = 64;
    constexpr long kProgressRows = 1 << 17;
    orvik::Run* context = records > kFirstScreenRows ? ForRun : nullptr;
    for (long record = 1; record <= records; ++record) {
        while (GetRowCount() <= row) InsertRow();
        result.ReadRow(record, values);
        for (int i = 0; i < fields; ++i) {
            const Variant& value = values[static_cast<size_t>(i)];
            std::string_view text = makers[i].Text(value);
            if (kpi && (i == 8 || i == 9)) {
                // Status and trend indicator names become picture file names on the page.
                indicator.assign(text);
                std::replace(indicator.begin(), indicator.end(), ' ', '_');
                text = indicator;
            }
            SetItemText(row, i, text);
            // Set either way: a refill may put text where a number stood.
            SetItemRightAligned(row, i, IsNumericType(value.Type()));
        }
        ++row;
        if (Sheet && context && (record == kFirstScreenRows || record % kProgressRows == 0))
            context->Front().SheetRowsArriving(*Sheet, record, records);
    }
    if (GetRowCount() > row) SetRowCount(row);
    Refresh();
    AutoSize();
}

void CGridBase::FillCellSet(int start) {
    if (CellSet && CellSet->IsOpen()) orvik::FillGridFromCellSet(*this, *CellSet, start);
}

void CGridBase::ApplyProperty(const COvInfoProp& prop) {
    const std::string& key = prop.Name;
    if (key == "hBC" || key == "gBC") {
        const std::optional<Rgb> colour = DecodeColour(prop.Value);
        if (!colour) return;
        if (key == "hBC") {
            DefaultCell(GridCellKind::FixedRow).BackColour = *colour;
            DefaultCell(GridCellKind::FixedColumn).BackColour = *colour;
        } else {
            DefaultCell(GridCellKind::Ordinary).BackColour = *colour;
        }
    } else if (key == "hF" || key == "gF") {
        const std::optional<FontChoice> font = LogicalFontFromText(prop.Value);
        if (!font) return;
        if (key == "hF") {
            DefaultCell(GridCellKind::FixedRow).Font = *font;
            DefaultCell(GridCellKind::FixedColumn).Font = *font;
        } else {
            DefaultCell(GridCellKind::Ordinary).Font = *font;
        }
    } else if (key == "ColN") {
        if (!Sheet) return;
        // The definition is found among the sheet's own rather than trusted from the property's
        // owner pointer: a property edited after its definition was pruned must do nothing.
        const auto owner = std::find_if(Sheet->GridColumns.begin(), Sheet->GridColumns.end(),
                                        [&prop](const std::unique_ptr<COvInfoGCols>& column) {
                                            return &column->ColN == &prop;
                                        });
        if (owner == Sheet->GridColumns.end()) return;
        const std::string& cellKey = (*owner)->Key;
        const size_t separator = cellKey.find('_');
        if (separator == std::string::npos) return;
        const int row = std::atoi(cellKey.substr(0, separator).c_str());
        const int column = std::atoi(cellKey.c_str() + separator + 1);
        SetItemText(row, column, prop.Value);
    } else {
        return;
    }
    Refresh();
}

void CGridBase::ApplySheetProperties() {
    if (!Sheet) return;
    for (const COvInfoProp* prop : Sheet->Props) ApplyProperty(*prop);
}

std::vector<COvInfoGCols*> CGridBase::FindColumnDefinitions(int row, int column) const {
    std::vector<COvInfoGCols*> found;
    if (!Sheet) return found;
    const std::string key = CellKey(row, column);
    for (const auto& definition : Sheet->GridColumns) {
        if (definition->Key == key) found.push_back(definition.get());
    }
    return found;
}

void CGridBase::OnFixedCellClick(int row, int column) {
    if (Mode != 0) return;
    if (row >= GetFixedRowCount() && column >= GetFixedColumnCount()) return;
    if (!ForRun) return;
    for (COvInfoGCols* definition : FindColumnDefinitions(row, column))
        definition->ShowProp(ForRun->Front());
}
