#include "sources/ConnectedSourceKind.h"

#include <memory>

#include "core/Log.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "data/ConnectionString.h"
#include "model/OvInfoDS.h"
#include "params/ParamSubstitution.h"

namespace orvik {

namespace {
// The name errors of the data sources are reported under, as report authors know it from the log.
constexpr const char* kSource = "ovinfods";
// The seconds every command of a data source may run: reports run long aggregate queries.
constexpr int kCommandTimeout = 5000;
}  // namespace

int ConnectedSourceKind::Connect(COvInfoDS& source, bool runQuery) {
    const std::string connection = DSetParam(source.DSN.Value.c_str());
    if (connection.empty()) return 0;
    source.Disconnect();
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
    source.Connection = std::move(database);
    return runQuery ? source.OpenRSDS() : 1;
}

// Sources whose type no kind claims connect and run nothing, as they always have.
static const struct ConnectedFallback {
    ConnectedFallback() {
        DataSourceKindRegistry::Builtin().SetFallback(std::make_unique<ConnectedSourceKind>());
    }
} kFallback;

}  // namespace orvik
