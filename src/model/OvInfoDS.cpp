#include "model/OvInfoDS.h"

#include "core/CellNumber.h"
#include "core/Log.h"
#include "core/Run.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "model/DataSourceKind.h"
#include "model/Registries.h"
#include "model/Report.h"

COvInfoDS::COvInfoDS(CRegistries* registries, int group)
    : COvInfoObject(orvik::ObjectKind::DataSource, registries),
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

void COvInfoDS::ShowProp(orvik::FrontEnd& front, CReport& report) {
    report.CurrentDataSource = this;
    ShowPropAs(front, orvik::ObjectKind::DataSource);
}

orvik::DataSourceKind& COvInfoDS::Kind() const {
    const orvik::DataSourceKindRegistry& kinds =
        registries_ ? registries_->Types.Kinds : orvik::DataSourceKindRegistry::Builtin();
    return kinds.Find(tpDS.Value);
}

int COvInfoDS::OpenConnectDS(orvik::Run& run, bool bOpenRS) {
    orvik::WaitCursor wait(run);
    return Kind().Connect(run, *this, bOpenRS);
}

int COvInfoDS::OpenRSDS(orvik::Run& run) {
    orvik::WaitCursor wait(run);
    if (tpDS.Value.empty() || !Connection) return 0;
    return Kind().Run(run, *this);
}

int COvInfoDS::GetDSRowCount(orvik::Run& run) {
    if (!Result || !Result->IsOpen()) return 0;
    try {
        return static_cast<int>(Result->RowCount());
    } catch (const CADOException& error) {
        UxError(run, error, kDataSourceErrorSource, __LINE__);
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

Variant COvInfoDS::GetDSvarRC(orvik::Run& run, int row, int col) {
    if (!Result || !Result->IsOpen()) return Kind().ValueWithoutResult();
    try {
        Variant value;
        if (!Result->Value(row, col, value)) return Variant::MakeI4(0);
        return value;
    } catch (const CADOException& error) {
        UxError(run, error, kDataSourceErrorSource, __LINE__);
        return Variant::MakeI4(0);
    }
}

std::string COvInfoDS::GetDSTextRC(orvik::Run& run, int row, int col) {
    std::string text = VariantToText(GetDSvarRC(run, row, col));
    return CleanCellText(WithoutSalesAbbreviation(std::move(text)));
}
