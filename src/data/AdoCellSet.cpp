#include "data/AdoCellSet.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "data/AdoException.h"
#include "data/ConnectionString.h"
#include "data/ProviderRegistry.h"

void CADOMDCellSet::Raise(long code, const std::string& description,
                          const std::string& source) const {
    lastError_ = AdoErrorText("CADOMDCellSet", query_, code, description, source);
    lastErrorCode_ = static_cast<uint32_t>(code);
    throw CADOException(code, description, source);
}

bool CADOMDCellSet::Open(const std::string& query, const std::string& connectionString,
                         const std::string& programFolder) {
    Close();
    query_ = query;
    const auto provider = orvik::ProviderRegistry::Process().Find(connectionString);
    if (!provider || !provider->ServesCellSets())
        Raise(AdoError::ProviderNotFound, AdoErrorMeaning(AdoError::ProviderNotFound), "");
    try {
        data_ = provider->RunCellSet(query, connectionString, programFolder);
    } catch (const CADOException& error) {
        Raise(error.GetError(), error.GetErrorMessage(), error.GetSource());
    }
    open_ = true;
    return true;
}

void CADOMDCellSet::SetData(CellSetData data) {
    data_ = std::move(data);
    open_ = true;
}

void CADOMDCellSet::Close() {
    data_ = {};
    open_ = false;
}

const CellSetAxis& CADOMDCellSet::Axis(int index) const {
    if (!open_ || index < 0 || static_cast<size_t>(index) >= data_.Axes.size())
        Raise(AdoError::InvalidArgument, AdoErrorMeaning(AdoError::InvalidArgument), "");
    return data_.Axes[static_cast<size_t>(index)];
}

const CellSetCell& CADOMDCellSet::Cell(long ordinal) const {
    if (!open_ || ordinal < 0 || static_cast<size_t>(ordinal) >= data_.Cells.size())
        Raise(AdoError::InvalidArgument, AdoErrorMeaning(AdoError::InvalidArgument), "");
    return data_.Cells[static_cast<size_t>(ordinal)];
}
