#include "data/ProviderRegistry.h"

#include <algorithm>

#include "data/AdoException.h"
#include "data/ConnectionString.h"

namespace orvik {
CellSetData DatabaseProvider::RunCellSet(const std::string&, const std::string&,
                                         const std::string&) {
    throw CADOException(AdoError::ProviderNotFound, AdoErrorMeaning(AdoError::ProviderNotFound));
}

PrefixedProvider::PrefixedProvider(std::vector<std::string> prefixes, std::string description)
    : description_(std::move(description)) {
    for (const std::string& prefix : prefixes) prefixes_.push_back(LowerConnectionText(prefix));
}

bool PrefixedProvider::Serves(std::string_view lowerName) const {
    return std::any_of(prefixes_.begin(), prefixes_.end(), [&](const std::string& prefix) {
        return !lowerName.empty() && lowerName.substr(0, prefix.size()) == prefix;
    });
}

ProviderRegistry::ProviderRegistry() : providers_(BuiltinDatabaseProviders()) {}

ProviderRegistry& ProviderRegistry::Process() {
    // Never destroyed: cube connections a run still holds may look it up while statics go.
    static auto* registry = new ProviderRegistry;
    return *registry;
}

void ProviderRegistry::Register(std::shared_ptr<DatabaseProvider> provider) {
    const std::lock_guard lock(mutex_);
    providers_.push_back(std::move(provider));
}

std::shared_ptr<DatabaseProvider> ProviderRegistry::Find(std::string_view connectionString) const {
    const std::string name = LowerConnectionText(ConnectionKeyValue(connectionString, "Provider"));
    const std::lock_guard lock(mutex_);
    for (const auto& provider : providers_)
        if (provider->Serves(name)) return provider;
    return nullptr;
}

std::string ProviderRegistry::AvailableText() const {
    std::string text = "Providers available here: ";
    const std::lock_guard lock(mutex_);
    bool first = true;
    for (const auto& provider : providers_) {
        const std::string description = provider->Description();
        if (description.empty()) continue;
        if (!first) text += "; ";
        text += description;
        first = false;
    }
    return text;
}

}  // namespace orvik
