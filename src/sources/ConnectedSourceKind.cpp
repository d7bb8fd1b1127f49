#include "sources/ConnectedSourceKind.h"

#include <memory>

#include "core/Log.h"
#include "core/Run.h"
#include "core/SettingsStore.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "data/ConnectionString.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoProp.h"
#include "model/Registries.h"
#include "params/ParamSubstitution.h"

namespace orvik {

int QueryTimeoutSeconds(Run& run) {
    return SecondsFromText(run.Registries().SettingValue(kQueryTimeoutSetting), 5000);
}

void ReportSourceError(Run& run, const COvInfoDS& source, const std::exception& error, int line,
                       const std::string& text) {
    const std::runtime_error named(std::string(error.what()) + " (data source '" +
                                   source.NameValue() + "')");
    UxError(run, named, kDataSourceErrorSource, line, text.c_str());
}

int ConnectedSourceKind::Connect(orvik::Run& run, COvInfoDS& source, bool runQuery) {
    std::string connection;
    try {
        connection = DSetParam(run, source.DSN.Value, SubstitutionTarget::ConnectionString);
    } catch (const SubstitutionError& error) {
        ReportSourceError(run, source, error, __LINE__, MaskConnectionSecrets(source.DSN.Value));
        return 0;
    }
    if (connection.empty()) return 0;
    source.Disconnect();
    // The status bar and any error text show the string with its password masked.
    const std::string shown = MaskConnectionSecrets(connection);
    run.Front().SetPaneText(0, "ADO Connecting :" + shown);
    auto database = std::make_unique<CADODatabase>();
    try {
        // Reports run long aggregate queries, but a lock someone else holds is not waited out.
        database->SetLockTimeout(
            SecondsFromText(run.Registries().SettingValue("SqliteLockWait"), 30));
        database->Open(connection, run.ProgramFolder());
        // The kinds that run queries limit each one themselves, naming the setting when it stops
        // one; this limit serves whatever else runs commands on the connection.
        database->SetCommandTimeout(QueryTimeoutSeconds(run));
    } catch (const CADOException& error) {
        std::string text = shown;
        if (error.GetError() == AdoError::ProviderNotFound) {
            text += "\n\nADO could not find the specified provider '" +
                    ConnectionKeyValue(connection, "Provider") + "'\n" + AvailableProvidersText();
        }
        ReportSourceError(run, source, error, __LINE__, text);
        return 0;
    }
    source.Connection = std::move(database);
    return runQuery ? source.OpenRSDS(run) : 1;
}

// Sources whose type no kind claims connect and run nothing, as they always have.
static const struct ConnectedFallback {
    ConnectedFallback() {
        DataSourceKindRegistry::Builtin().SetFallback(std::make_unique<ConnectedSourceKind>());
    }
} kFallback;

}  // namespace orvik
