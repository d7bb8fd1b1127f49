#include "data/AdoDatabase.h"

#include "data/AdoException.h"

CADODatabase::~CADODatabase() = default;

void CADODatabase::Open(const std::string& connectionString, const std::string& programFolder) {
    Close();
    provider_ = OpenProviderConnection(connectionString, programFolder, connectionTimeout_);
    connectionString_ = connectionString;
    provider_->SetCommandTimeout(commandTimeout_);
    if (lockTimeout_ >= 0) provider_->SetLockTimeout(lockTimeout_);
}

void CADODatabase::Close() {
    provider_.reset();
}

void CADODatabase::SetLockTimeout(int seconds) {
    lockTimeout_ = seconds;
    if (provider_) provider_->SetLockTimeout(seconds);
}

void CADODatabase::SetCommandTimeout(int seconds) {
    commandTimeout_ = seconds;
    if (provider_) provider_->SetCommandTimeout(seconds);
}

void CADODatabase::Execute(const std::string& command) {
    RowStore discarded;
    Provider().Execute(command, discarded);
}

std::string CADODatabase::GetProviderName() const {
    return provider_ ? provider_->ProviderName() : std::string();
}

std::string CADODatabase::DatabaseProductName() const {
    return provider_ ? provider_->DatabaseProductName() : std::string();
}

CProviderConnection& CADODatabase::Provider() {
    if (!provider_)
        throw CADOException(AdoError::ConnectionClosed,
                            AdoErrorMeaning(AdoError::ConnectionClosed));
    return *provider_;
}
