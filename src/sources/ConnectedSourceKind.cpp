#include "sources/ConnectedSourceKind.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "core/Log.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "data/ConnectionString.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoProp.h"
#include "params/ParamSubstitution.h"

namespace orvik {

namespace {
// The name errors of the data sources are reported under, as report authors know it from the log.
constexpr const char* kSource = "ovinfods";
// The seconds a setting gives, or `fallback` when it holds no number of them.
int SecondsSetting(const char* name, int fallback) {
    const std::string text = GetPropS(name);
    char* end = nullptr;
    const long seconds = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || seconds < 0) return fallback;
    return static_cast<int>(std::min<long>(seconds, 100'000'000));
}
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
        // Reports run long aggregate queries, but a lock someone else holds is not waited out.
        database->SetLockTimeout(SecondsSetting("SqliteLockWait", 30));
        database->Open(connection);
        database->SetCommandTimeout(SecondsSetting("QueryTimeout", 5000));
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
