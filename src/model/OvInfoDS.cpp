#include "model/OvInfoDS.h"

#include "core/CellNumber.h"
#include "core/Log.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "model/AppContext.h"
#include "model/DataSourceKind.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace {

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

COvInfoDS::~COvInfoDS() {
    Disconnect();
}

void COvInfoDS::Disconnect() {
    Result.reset();
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

orvik::DataSourceKind& COvInfoDS::Kind() const {
    return orvik::DataSourceKindRegistry::Builtin().Find(tpDS.Value);
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
    if (const int plugIn = PlugInIndex(); plugIn >= 0)
        return PlugInOpen() ? PlugInOpen()(plugIn, *this) : 0;
    return Kind().Connect(*this, bOpenRS);
}

int COvInfoDS::OpenRSDS() {
    WaitCursor wait;
    if (tpDS.Value.empty() || !Connection) return 0;
    return Kind().Run(*this);
}

int COvInfoDS::GetDSRowCount() {
    if (!Result || !Result->IsOpen()) return 0;
    try {
        return static_cast<int>(Result->RowCount());
    } catch (const CADOException& error) {
        UxError(error, kDataSourceErrorSource, __LINE__);
        return 0;
    }
}

int COvInfoDS::GetDSColCount() {
    return Result && Result->IsOpen() ? Result->ColumnCount() : 0;
}

int COvInfoDS::GetDSCol2Count() {
    if (!Result || !Result->IsOpen()) return Kind().RowHeaderColumnsWithoutResult();
    return Result->RowHeaderColumnCount();
}

std::string COvInfoDS::GetDSHeader(int col) {
    return CleanCellText(Result && Result->IsOpen() ? Result->Header(col) : std::string());
}

Variant COvInfoDS::GetDSvarRC(int row, int col) {
    if (!Result || !Result->IsOpen()) return Kind().ValueWithoutResult();
    try {
        Variant value;
        if (!Result->Value(row, col, value)) return Variant::MakeI4(0);
        return value;
    } catch (const CADOException& error) {
        UxError(error, kDataSourceErrorSource, __LINE__);
        return Variant::MakeI4(0);
    }
}

std::string COvInfoDS::GetDSTextRC(int row, int col) {
    std::string text = VariantToText(GetDSvarRC(row, col));
    return CleanCellText(WithoutSalesAbbreviation(std::move(text)));
}
