#include "data/AdoRecordset.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "data/AdoDatabase.h"
#include "data/AdoException.h"

CADORecordset::CADORecordset(CADODatabase* database) : database_(database) {}

CADORecordset::~CADORecordset() = default;

void CADORecordset::Raise(long code, const std::string& description,
                          const std::string& source) const {
    lastError_ = AdoErrorText("CADORecordset", query_, code, description, source);
    throw CADOException(code, description, source);
}

void CADORecordset::RequireOpen() const {
    if (!IsOpen()) Raise(AdoError::ObjectClosed, AdoErrorMeaning(AdoError::ObjectClosed));
}

void CADORecordset::RequireField(int index) const {
    RequireOpen();
    if (index < 0 || static_cast<size_t>(index) >= rows_->FieldCount())
        Raise(AdoError::ItemNotFound, AdoErrorMeaning(AdoError::ItemNotFound));
}

void CADORecordset::Run(int option, int schemaKind, const std::string& table,
                        const std::string& schemaId) {
    Close();
    if (!database_ || !database_->IsOpen())
        Raise(AdoError::ConnectionClosed, AdoErrorMeaning(AdoError::ConnectionClosed));
    auto rows = std::make_unique<RowStore>();
    bool haveResult = false;
    try {
        CProviderConnection& provider = database_->Provider();
        if (schemaKind == schemaColumns) {
            provider.SchemaColumns(table, *rows);
            haveResult = true;
        } else if (schemaKind == schemaTables) {
            provider.SchemaTables(*rows);
            haveResult = true;
        } else if (schemaKind == schemaProviderSpecific) {
            provider.SchemaRowset(schemaId, table, *rows);
            haveResult = true;
        } else if (schemaKind != 0) {
            Raise(AdoError::FeatureNotAvailable, AdoErrorMeaning(AdoError::FeatureNotAvailable),
                  provider.ProviderName());
        } else if (option == openTable) {
            haveResult = provider.Execute("SELECT * FROM " + query_, *rows);
        } else if (option == openStoredProc) {
            haveResult = provider.ExecuteProcedure(query_, *rows);
        } else {
            haveResult = provider.Execute(query_, *rows);
        }
    } catch (const CADOException& error) {
        if (lastError_.empty())  // a provider failure not yet described
            Raise(error.GetError(), error.GetErrorMessage(), error.GetSource());
        throw;
    }
    // A command without a result set leaves the recordset closed, yet it ran.
    if (haveResult) {
        rows_ = std::move(rows);
        position_ = 0;
    }
}

bool CADORecordset::Open(const std::string& text, int option) {
    if (option < openUnknown || option > openStoredProc) {
        // A caller's slip, not the user's: said in the error the caller reports.
        throw CADOException(AdoError::Failure, "Unknown parameter. " + std::to_string(option),
                            "Orvik");
    }
    if (!text.empty()) {
        size_t start = 0;
        while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
            ++start;
        query_ = text.substr(start);
    }
    lastOption_ = option;
    lastSchemaKind_ = 0;
    lastError_.clear();
    Run(option, 0, {}, {});
    return true;
}

bool CADORecordset::OpenSchema(int kind, const std::string& table, const std::string& schemaId) {
    if (!schemaId.empty()) kind = schemaProviderSpecific;
    lastSchemaKind_ = kind == 0 ? schemaProviderSpecific : kind;
    lastSchemaTable_ = table;
    lastSchemaId_ = schemaId;
    lastError_.clear();
    Run(openUnknown, lastSchemaKind_, table, schemaId);
    return true;
}

bool CADORecordset::Requery() {
    lastError_.clear();
    Run(lastOption_, lastSchemaKind_, lastSchemaTable_, lastSchemaId_);
    return true;
}

bool CADORecordset::IsOpen() const {
    return rows_ != nullptr && database_ && database_->IsOpen();
}

void CADORecordset::Close() {
    rows_.reset();
    position_ = 0;
}

long CADORecordset::GetRecordCount() const {
    RequireOpen();
    return static_cast<long>(rows_->RowCount());
}

int CADORecordset::GetFieldCount() const {
    RequireOpen();
    return static_cast<int>(rows_->FieldCount());
}

std::string CADORecordset::GetFieldName(int index) const {
    RequireField(index);
    return rows_->Fields()[static_cast<size_t>(index)].Name;
}

VariantType CADORecordset::GetFieldType(int index) const {
    RequireField(index);
    return rows_->Fields()[static_cast<size_t>(index)].Type;
}

void CADORecordset::SetAbsolutePosition(long position) {
    RequireOpen();
    if (position < 1 || static_cast<size_t>(position) > rows_->RowCount())
        Raise(AdoError::InvalidArgument, AdoErrorMeaning(AdoError::InvalidArgument));
    position_ = position - 1;
}

long CADORecordset::GetAbsolutePosition() const {
    if (IsBOF() || IsEOF()) return 0;
    return position_ + 1;
}

bool CADORecordset::GetFieldValue(int index, Variant& value) const {
    RequireField(index);
    if (IsBOF() || IsEOF())
        Raise(AdoError::NoCurrentRecord, AdoErrorMeaning(AdoError::NoCurrentRecord));
    value = rows_->Get(static_cast<size_t>(position_), static_cast<size_t>(index));
    return true;
}

void CADORecordset::GetRowValues(std::vector<Variant>& values) const {
    RequireOpen();
    if (IsBOF() || IsEOF())
        Raise(AdoError::NoCurrentRecord, AdoErrorMeaning(AdoError::NoCurrentRecord));
    const size_t fields = rows_->FieldCount();
    const auto row = static_cast<size_t>(position_);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = i < fields ? rows_->Get(row, i) : Variant();
}

bool CADORecordset::GetFieldValue(const std::string& name, Variant& value) const {
    RequireOpen();
    const auto& fields = rows_->Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string& field = fields[i].Name;
        bool same = field.size() == name.size();
        for (size_t c = 0; same && c < name.size(); ++c)
            same = std::tolower(static_cast<unsigned char>(field[c])) ==
                   std::tolower(static_cast<unsigned char>(name[c]));
        if (same) return GetFieldValue(static_cast<int>(i), value);
    }
    Raise(AdoError::ItemNotFound, AdoErrorMeaning(AdoError::ItemNotFound));
}

bool CADORecordset::IsEOF() const {
    return !IsOpen() || static_cast<size_t>(std::max(position_, 0L)) >= rows_->RowCount();
}

bool CADORecordset::IsBOF() const {
    return !IsOpen() || position_ < 0 || rows_->RowCount() == 0;
}

void CADORecordset::MoveFirst() {
    RequireOpen();
    position_ = 0;
}

void CADORecordset::MoveLast() {
    RequireOpen();
    position_ = rows_->RowCount() == 0 ? 0 : static_cast<long>(rows_->RowCount()) - 1;
}

void CADORecordset::MoveNext() {
    RequireOpen();
    if (IsEOF()) Raise(AdoError::NoCurrentRecord, AdoErrorMeaning(AdoError::NoCurrentRecord));
    ++position_;
}

void CADORecordset::MovePrevious() {
    RequireOpen();
    if (position_ < 0 || rows_->RowCount() == 0)
        Raise(AdoError::NoCurrentRecord, AdoErrorMeaning(AdoError::NoCurrentRecord));
    --position_;
}
