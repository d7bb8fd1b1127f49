#include "model/OvInfoDS.h"

#include "core/AppContext.h"
#include "core/Log.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"
#include "data/ConnectionString.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/ParamSubstitution.h"
#include "params/TextReplace.h"

namespace {

// The name errors of this file are reported under, as report authors know it from the log.
constexpr const char* kSource = "ovinfods";

// The seconds every command of a data source may run: reports run long aggregate queries.
constexpr int kCommandTimeout = 5000;

PlugInOpenHandler& PlugInOpen() {
    static PlugInOpenHandler handler;
    return handler;
}

class WaitCursor {
  public:
    WaitCursor() {
        if (orvik::AppContext* context = orvik::AppContext::Current())
            context->Front().SetWaitCursor(true);
    }
    ~WaitCursor() {
        if (orvik::AppContext* context = orvik::AppContext::Current())
            context->Front().SetWaitCursor(false);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

void SetPlugInOpenHandler(PlugInOpenHandler handler) {
    PlugInOpen() = std::move(handler);
}

COvInfoDS::COvInfoDS(int group)
    : COvInfoObject('D'),
      Name(this, group, "Name", "Name", "", 0, PropKind::Text),
      tpDS(this, group, "tpDS", "Type", "SQL", 0, PropKind::List, ListId::DataSourceTypes),
      DSN(this, group, "DSN", "DS Connection", "", 0, PropKind::DialogText,
          DialogEditor::ConnectionString),
      Qry(this, group, "Qry", "Query", "", 0, PropKind::DialogText, DialogEditor::QueryText) {
    for (COvInfoProp* prop : {&Name, &tpDS, &DSN, &Qry}) AddOwn(*prop, true);
}

// Results go before the connection they were read from.
COvInfoDS::~COvInfoDS() {
    RecordSet.reset();
    CellSet.reset();
    Connection.reset();
}

void COvInfoDS::ShowProp() {
    if (orvik::AppContext* context = orvik::AppContext::Current()) {
        context->Report().CurrentDataSource = this;
    }
    ShowPropAs('D');
}

int COvInfoDS::PlugInIndex() const {
    if (const COvCombos* entry = tpDS.SelectedEntry(); entry && entry->Name == tpDS.Value)
        return entry->PlugInIndex;
    if (orvik::AppContext* context = orvik::AppContext::Current())
        if (const COvCombos* entry =
                context->Registries().FindComboValue(ListId::DataSourceTypes, tpDS.Value))
            return entry->PlugInIndex;
    return -1;
}

int COvInfoDS::OpenConnectDS(bool bOpenRS) {
    WaitCursor wait;
    const std::string connection = DSetParam(DSN.Value.c_str());
    if (const int plugIn = PlugInIndex(); plugIn >= 0)
        return PlugInOpen() ? PlugInOpen()(plugIn, *this) : 0;
    if (connection.empty()) return 0;
    RecordSet.reset();
    CellSet.reset();
    Connection.reset();
    // The status bar and any error text show the string with its password masked.
    const std::string shown = MaskConnectionSecrets(connection);
    SetPaneTextStatBar(0, ("ADO Connecting :" + shown).c_str());
    auto database = std::make_unique<CADODatabase>();
    try {
        database->Open(connection);
        database->SetCommandTimeout(kCommandTimeout);
    } catch (const CADOException& error) {
        std::string text = shown;
        if (error.GetError() == AdoError::ProviderNotFound) {
            text += "\n\nADO could not find the specified provider '" +
                    ConnectionKeyValue(connection, "Provider") + "'\n" + AvailableProvidersText();
        }
        UxError(error, kSource, __LINE__, text.c_str());
        return 0;
    }
    Connection = std::move(database);
    return bOpenRS ? OpenRSDS() : 1;
}

int COvInfoDS::OpenRSDS() {
    WaitCursor wait;
    if (tpDS.Value.empty() || !Connection) return 0;
    if (tpDS.Value == "SQL") return OpenSqlResult();
    if (tpDS.Value == "OLAP") return OpenCellSet();
    return 1;  // KPI and plug-in types run their queries elsewhere
}

int COvInfoDS::OpenSqlResult() {
    if (Qry.Value.empty()) return 0;
    RecordSet.reset();
    auto recordset = std::make_unique<CADORecordset>(Connection.get());
    std::string rest = DSetParam(Qry.Value.c_str());
    std::string statement;
    bool ran = false;
    try {
        while (!rest.empty()) {
            // A ";" at the very start separates nothing: the whole text is one statement then.
            const size_t separator = rest.find(';');
            if (separator != std::string::npos && separator > 0) {
                statement = rest.substr(0, separator);
                rest.erase(0, separator + 1);
            } else {
                statement = std::move(rest);
                rest.clear();
            }
            // The blank tail after a final ";" is no statement: opening it would run the
            // previous statement a second time.
            if (IsBlank(statement)) continue;
            if (!recordset->Open(statement, CADORecordset::openUnknown)) return 0;
            ran = true;
        }
    } catch (const CADOException& error) {
        UxError(error, kSource, __LINE__, statement.c_str());
        return 0;
    }
    if (!ran) return 0;
    RecordSet = std::move(recordset);
    return 1;
}

int COvInfoDS::OpenCellSet() {
    CellSet.reset();
    auto cellSet = std::make_unique<CADOMDCellSet>();
    if (!Qry.Value.empty()) {
        const std::string query = DSetParam(Qry.Value.c_str());
        try {
            cellSet->Open(query, DSetParam(DSN.Value.c_str()));
        } catch (const CADOException& error) {
            UxError(error, kSource, __LINE__, query.c_str());
            return 0;
        }
    }
    CellSet = std::move(cellSet);
    return 1;
}

void COvInfoDS::CellSetShape(int& rowHeaders, int& dataColumns) const {
    rowHeaders = 0;
    dataColumns = 0;
    if (CellSet->AxisCount() < 1) return;
    dataColumns = static_cast<int>(CellSet->Axis(0).Positions.size());
    if (CellSet->AxisCount() > 1 && !CellSet->Axis(1).Positions.empty())
        rowHeaders = static_cast<int>(CellSet->Axis(1).Positions.front().Members.size());
}

int COvInfoDS::GetDSRowCount() {
    if (tpDS.Value == "SQL") {
        if (!RecordSet || !RecordSet->IsOpen()) return 0;
        try {
            return static_cast<int>(RecordSet->GetRecordCount());
        } catch (const CADOException& error) {
            UxError(error, kSource, __LINE__);
            return 0;
        }
    }
    if (tpDS.Value == "OLAP") {
        if (!CellSet || !CellSet->IsOpen()) return 0;
        return CellSet->AxisCount() > 1 ? static_cast<int>(CellSet->Axis(1).Positions.size()) : 1;
    }
    return 0;
}

int COvInfoDS::GetDSColCount() {
    if (tpDS.Value == "SQL") {
        if (!RecordSet || !RecordSet->IsOpen()) return 0;
        return RecordSet->GetFieldCount();
    }
    if (tpDS.Value == "OLAP") {
        if (!CellSet || !CellSet->IsOpen()) return 0;
        int rowHeaders, dataColumns;
        CellSetShape(rowHeaders, dataColumns);
        return rowHeaders + dataColumns;
    }
    return 0;
}

int COvInfoDS::GetDSCol2Count() {
    if (tpDS.Value == "SQL") return 1;
    if (tpDS.Value == "OLAP" && CellSet && CellSet->IsOpen()) {
        int rowHeaders, dataColumns;
        CellSetShape(rowHeaders, dataColumns);
        return rowHeaders;
    }
    return 0;
}

std::string COvInfoDS::GetDSHeader(int col) {
    std::string header;
    if (tpDS.Value == "SQL") {
        if (RecordSet && RecordSet->IsOpen() && col >= 0 && col < RecordSet->GetFieldCount())
            header = RecordSet->GetFieldName(col);
    } else if (tpDS.Value == "OLAP" && CellSet && CellSet->IsOpen()) {
        int rowHeaders, dataColumns;
        CellSetShape(rowHeaders, dataColumns);
        // Column 0 has no header, even when there are no row headers to fill it.
        if (col >= 1 && col >= rowHeaders && col < rowHeaders + dataColumns) {
            const CellSetPosition& position =
                CellSet->Axis(0).Positions[static_cast<size_t>(col - rowHeaders)];
            for (size_t m = 0; m < position.Members.size(); ++m) {
                if (m > 0) header += " . ";
                header += position.Members[m].Caption;
            }
        }
    }
    return CleanCellText(std::move(header));
}

Variant COvInfoDS::GetDSvarRC(int row, int col) {
    if (tpDS.Value == "SQL") {
        if (!RecordSet || !RecordSet->IsOpen()) return Variant::MakeI4(0);
        try {
            RecordSet->SetAbsolutePosition(row);
            Variant value;
            RecordSet->GetFieldValue(col, value);
            return value;
        } catch (const CADOException& error) {
            UxError(error, kSource, __LINE__);
            return Variant::MakeI4(0);
        }
    }
    if (tpDS.Value == "OLAP") {
        if (!CellSet || !CellSet->IsOpen() || row < 1 || col < 0) return Variant::MakeI4(0);
        try {
            int rowHeaders, dataColumns;
            CellSetShape(rowHeaders, dataColumns);
            if (col < rowHeaders) {
                const auto& positions = CellSet->Axis(1).Positions;
                if (static_cast<size_t>(row) > positions.size() ||
                    static_cast<size_t>(col) >= positions[row - 1].Members.size())
                    throw CADOException(AdoError::InvalidArgument,
                                        AdoErrorMeaning(AdoError::InvalidArgument));
                return Variant::MakeString(positions[row - 1].Members[col].Caption);
            }
            if (col < rowHeaders + dataColumns)
                return CellSet->Cell(static_cast<long>(row - 1) * dataColumns + (col - rowHeaders))
                    .Value;
            return Variant();
        } catch (const CADOException& error) {
            UxError(error, kSource, __LINE__);
            return Variant::MakeI4(0);
        }
    }
    return Variant();
}

std::string COvInfoDS::GetDSTextRC(int row, int col) {
    std::string text = VariantToText(GetDSvarRC(row, col));
    // Some cubes put this abbreviation in front of measure values.
    orvik::ReplaceAll(text, "Прод.", "");
    orvik::ReplaceAll(text, "Прод", "");
    return CleanCellText(std::move(text));
}
